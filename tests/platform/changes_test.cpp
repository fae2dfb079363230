// changes_test.cpp - the change notices of the device's own file and
// registry calls: one per change that happened, in order, none for a failed
// call or a read.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/changes.h"
#include "text/text.h"

namespace {

class Changes : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        plat::ChangesSubscribe([this](const plat::DeviceChange &c) {
            std::string s = plat::ChangeOpName(c.op);
            if (c.op <= plat::DeviceChange::Rmdir)
                s += " " + plat::ToUtf8(c.path);
            else
                s += " " + plat::ToUtf8(c.key);
            if (c.op == plat::DeviceChange::Create || c.op == plat::DeviceChange::Replace)
                s += " " + std::to_string(c.bytes);
            if (c.op == plat::DeviceChange::ValueSet || c.op == plat::DeviceChange::ValueDelete)
                s += " : " + plat::ToUtf8(c.value);
            seen.push_back(s);
        });
    }
    void TearDown() override
    {
        plat::ChangesSubscribe(nullptr);
        DeviceFixture::TearDown();
    }
    std::vector<std::string> seen;
};

void Write(const char16_t *path, DWORD disposition, const std::string &data, DWORD access = GENERIC_WRITE)
{
    HANDLE h = CreateFileW(path, access, 0, nullptr, disposition, 0, 0);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD n = 0;
    if (!data.empty())
        WriteFile(h, data.data(), DWORD(data.size()), &n, nullptr);
    CloseHandle(h);
}

HKEY Create(const char16_t *path)
{
    HKEY k = 0;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &k, nullptr);
    return k;
}

TEST_F(Changes, EachChangeThatHappenedOnceAndNothingElse)
{
    struct Step {
        const char *what;
        std::function<void()> act;
        std::vector<std::string> want;
    } steps[] = {
        {"a new file, written", [] { Write(u"\\Temp\\a.txt", CREATE_NEW, "hello"); }, {"create \\Temp\\a.txt 5"}},
        {"read only", [] { Write(u"\\Temp\\a.txt", OPEN_EXISTING, "", GENERIC_READ); }, {}},
        {"opened for writing, nothing written", [] { Write(u"\\temp\\A.TXT", OPEN_EXISTING, ""); }, {}},
        {"CREATE_NEW on an existing file fails", [] { Write(u"\\Temp\\a.txt", CREATE_NEW, "x"); }, {}},
        {"replaced", [] { Write(u"\\temp\\A.TXT", CREATE_ALWAYS, "hi"); }, {"replace \\Temp\\a.txt 2"}},
        {"moved", [] { MoveFileW(u"\\Temp\\a.txt", u"\\Temp\\b.txt"); },
         {"delete \\Temp\\a.txt", "create \\Temp\\b.txt 2"}},
        {"copy of a missing file fails", [] { CopyFileW(u"\\Temp\\none", u"\\Temp\\c.txt", FALSE); }, {}},
        {"copied", [] { CopyFileW(u"\\Temp\\b.txt", u"\\Temp\\c.txt", FALSE); }, {"create \\Temp\\c.txt 2"}},
        {"delete of a missing file fails", [] { DeleteFileW(u"\\Temp\\none"); }, {}},
        {"deleted", [] { DeleteFileW(u"\\Temp\\c.txt"); }, {"delete \\Temp\\c.txt"}},
        {"folder made", [] { CreateDirectoryW(u"\\Temp\\F", nullptr); }, {"mkdir \\Temp\\F"}},
        {"folder exists", [] { CreateDirectoryW(u"\\Temp\\f", nullptr); }, {}},
        {"folder not empty", [] { RemoveDirectoryW(u"\\Temp"); }, {}},
        {"folder removed", [] { RemoveDirectoryW(u"\\Temp\\F"); }, {"rmdir \\Temp\\F"}},
        {"keys made along the path",
         [] { RegCloseKey(Create(u"Software\\A\\B")); },
         {"key-create HKEY_LOCAL_MACHINE\\Software", "key-create HKEY_LOCAL_MACHINE\\Software\\A",
          "key-create HKEY_LOCAL_MACHINE\\Software\\A\\B"}},
        {"key opened", [] { RegCloseKey(Create(u"software\\a")); }, {}},
        {"value set",
         [] {
             HKEY k = Create(u"Software\\A");
             DWORD v = 1;
             RegSetValueExW(k, u"N", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4);
             RegDeleteValueW(k, u"missing");
             RegDeleteValueW(k, u"n");
             RegCloseKey(k);
         },
         {"value-set HKEY_LOCAL_MACHINE\\Software\\A : N", "value-delete HKEY_LOCAL_MACHINE\\Software\\A : n"}},
        {"key deleted with its subkeys", [] { RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\A"); },
         {"key-delete HKEY_LOCAL_MACHINE\\Software\\A"}},
        {"missing key", [] { RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\A"); }, {}},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        seen.clear();
        s.act();
        EXPECT_EQ(seen, s.want);
    }
}

} // namespace
