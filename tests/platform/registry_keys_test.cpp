// registry_keys_test.cpp - conformance of the registry calls: keys, values,
// enumeration, deletion of subtrees, handles and error numbers.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/faults.h"
#include "kernel/handles.h"
#include "registry/registry.h"

namespace {

using Names = std::vector<std::u16string>;

class RegKeys : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        cetest::DeviceFixture::TearDown();
    }
    HKEY Create(HKEY parent, const char16_t *path, DWORD *disposition = nullptr)
    {
        HKEY key = 0;
        EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, 0, nullptr, &key, disposition), ERROR_SUCCESS)
            << "creating " << cetest::U8(path);
        return key;
    }
    LONG Open(HKEY parent, const char16_t *path, HKEY *key) { return RegOpenKeyExW(parent, path, 0, KEY_READ, key); }
    void SetDw(HKEY key, const char16_t *name, DWORD v)
    {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4), ERROR_SUCCESS);
    }
    DWORD GetDw(HKEY key, const char16_t *name)
    {
        DWORD v = 0, cb = 4;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb), ERROR_SUCCESS);
        return v;
    }
    // The names of the subkeys (or of the values) in enumeration order.
    Names Enum(HKEY key, bool values = false)
    {
        Names out;
        for (DWORD i = 0;; ++i) {
            WCHAR name[300];
            DWORD cch = values ? 300 : 256;
            LONG r = values ? RegEnumValueW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr)
                            : RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (r != ERROR_SUCCESS) {
                EXPECT_EQ(r, ERROR_NO_MORE_ITEMS) << "enumerating item " << i;
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
                return out;
            }
            out.emplace_back(name, cch);
        }
    }
};

struct HostObject : plat::HandleObject {};

TEST_F(RegKeys, KeysOpenInAnyCaseAndKeepTheirName)
{
    DWORD disp = 0;
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Demo", &disp));
    EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY)) << "first creation";
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\apps\\DEMO", &disp));
    EXPECT_EQ(disp, static_cast<DWORD>(REG_OPENED_EXISTING_KEY)) << "same key, other case";
    HKEY apps = 0;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"software\\APPS\\", &apps), ERROR_SUCCESS) << "a trailing separator";
    EXPECT_EQ(Enum(apps), Names{u"Demo"}) << "the name keeps the case it was created with";
    RegCloseKey(apps);

    // Another root is another tree; a failed open returns no handle.
    HKEY other = (HKEY)0xdead;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\Apps\\Demo", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other, HKEY(0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "last error is set";

    HKEY h = (HKEY)0x1234;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"ok\\\\b", 0, nullptr, 0, 0, nullptr, &h, nullptr), ERROR_BAD_PATHNAME);
    EXPECT_EQ(h, HKEY(0));
    HKEY probe = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"ok", &probe), ERROR_FILE_NOT_FOUND) << "the refused calls made nothing";
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_INVALID_PARAMETER) << "a root is never deleted";
}

// Every call through a bad handle fails with the same error, KEY_DELETED for
// a deleted key (closing it still works) and INVALID_HANDLE for the rest.
void ExpectEveryCallFails(HKEY h, LONG error)
{
    SCOPED_TRACE(testing::Message() << "handle " << std::hex << h);
    DWORD cb = 0, v = 1, cch = 8;
    HKEY sub = 0;
    WCHAR name[8];
    EXPECT_EQ(RegQueryValueExW(h, u"v", nullptr, nullptr, nullptr, &cb), error);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(error));
    EXPECT_EQ(RegSetValueExW(h, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), error);
    EXPECT_EQ(RegCreateKeyExW(h, u"s", 0, nullptr, 0, 0, nullptr, &sub, nullptr), error);
    EXPECT_EQ(RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), error);
    EXPECT_EQ(RegDeleteValueW(h, u"v"), error);
    EXPECT_EQ(RegCloseKey(h), error == ERROR_KEY_DELETED ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

TEST_F(RegKeys, StaleAndForeignHandlesFailWithInvalidHandle)
{
    // Handle values may be reused once closed (Win32 does), so the closed
    // key is tried before any other handle is made.
    HANDLE file = CreateFileW(u"\\Temp\\k.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HKEY closed = Create(HKEY_LOCAL_MACHINE, u"Handles");
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    // A closed key, and a file handle (another kind).
    for (HKEY h : {closed, (HKEY)file})
        ExpectEveryCallFails(h, ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(file)) << "the file handle was not touched";
}

TEST_F(RegKeys, HandlesOfAnEarlierDeviceFailWithInvalidHandle)
{
    HKEY ofClosedDevice = Create(HKEY_LOCAL_MACHINE, u"Lasting");
    Reopen({});
    HKEY foreign = (HKEY)(uintptr_t)plat::HandleAlloc(plat::HandleKind::Window, std::make_shared<HostObject>());
    ASSERT_NE(foreign, HKEY(0));
    for (HKEY h : {ofClosedDevice, foreign})
        ExpectEveryCallFails(h, ERROR_INVALID_HANDLE);
    EXPECT_NE(plat::HandleGet((uint32_t)(uintptr_t)foreign, plat::HandleKind::Window), nullptr)
        << "the window handle was not touched";
    plat::HandleFree((uint32_t)(uintptr_t)foreign, plat::HandleKind::Window);
}

TEST_F(RegKeys, DeletingAKeyRemovesItsSubtreeAndItsHandlesFailCleanly)
{
    HKEY a = Create(HKEY_LOCAL_MACHINE, u"Tree\\A");
    SetDw(a, u"v", 1);
    HKEY deep = Create(a, u"B\\C");
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Tree\\Aside"));

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"tree\\a"), ERROR_SUCCESS);
    HKEY probe = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\A\\B\\C", &probe), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\Aside", &probe), ERROR_SUCCESS) << "the sibling stays";
    RegCloseKey(probe);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Tree\\A"), ERROR_FILE_NOT_FOUND);

    // Re-created, the key starts empty, and the handles held on the deleted
    // key and its subkey do not reach it.
    HKEY again = Create(HKEY_LOCAL_MACHINE, u"Tree\\A\\B\\C");
    SetDw(again, u"v", 3);
    ExpectEveryCallFails(a, ERROR_KEY_DELETED);
    ExpectEveryCallFails(deep, ERROR_KEY_DELETED);
    EXPECT_EQ(GetDw(again, u"v"), 3u) << "the old handles' failed calls did not reach the new key";
    RegCloseKey(again);
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\A", &probe), ERROR_SUCCESS);
    EXPECT_EQ(Enum(probe, true), Names{}) << "the old values did not come back";
    RegCloseKey(probe);
    EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "no key handle leaked";
}

TEST_F(RegKeys, ValuesReadBackAndShortBuffersCopyNothing)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Values");
    const std::u16string text = u"Hello \"world\" \\ end";
    ASSERT_EQ(RegSetValueExW(k, u"Text", 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()), 40), ERROR_SUCCESS);
    SetDw(k, u"NUMBER", 1);
    SetDw(k, u"Number", 0xdeadbeef); // replaces the data, keeps the name's first case
    const BYTE bin[] = {0, 1, 2, 0xff, 0x80};
    ASSERT_EQ(RegSetValueExW(k, u"Blob", 0, REG_BINARY, bin, sizeof bin), ERROR_SUCCESS);
    SetDw(k, u"_x", 0); // folded to small letters, '_' (0x5F) sorts before every letter
    EXPECT_EQ(Enum(k, true), (Names{u"_x", u"Blob", u"NUMBER", u"Text"})) << "in folded order";

    DWORD type = 99, cb = 0;
    BYTE buf[48];
    std::fill(buf, buf + sizeof buf, 0xcc);
    cb = sizeof buf;
    ASSERT_EQ(RegQueryValueExW(k, u"text", nullptr, &type, buf, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(buf), cb / 2), text + u'\0');
    EXPECT_EQ(buf[cb], 0xcc) << "nothing written past the data";
    EXPECT_EQ(GetDw(k, u"number"), 0xdeadbeefu);

    // One byte short: 234, the size needed, nothing copied.
    std::vector<BYTE> shortBuf(39, 0xcc);
    cb = 39;
    EXPECT_EQ(RegQueryValueExW(k, u"Text", nullptr, nullptr, shortBuf.data(), &cb), ERROR_MORE_DATA);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(cb, 40u) << "needed size";
    EXPECT_EQ(shortBuf, std::vector<BYTE>(39, 0xcc)) << "nothing copied";

    EXPECT_EQ(RegQueryValueExW(k, u"Missing", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(k, u"BLOB"), ERROR_SUCCESS) << "deleted in another case";
    EXPECT_EQ(RegDeleteValueW(k, u"Blob"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);
}

TEST_F(RegKeys, ARefusedCommitChangesNothing)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Faults");
    SetDw(k, u"v", 1);

    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    DWORD two = 2;
    EXPECT_EQ(RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&two), 4), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_REGISTRY_IO_FAILED));
    EXPECT_EQ(GetDw(k, u"v"), 1u) << "the refused write changed nothing";
    RegCloseKey(k);
}

TEST_F(RegKeys, ADamagedDatabaseIsReportedAndKept)
{
    plat::DeviceClose();
    const std::string db = deviceDir + "/registry.db";
    ASSERT_TRUE(cetest::HostExists(db)) << "the registry lives in the device folder";
    std::remove(db.c_str());
    std::remove((db + "-wal").c_str());
    std::remove((db + "-shm").c_str());
    cetest::WriteHostFile(db, std::string(8192, 'G'));
    const std::string before = cetest::ReadHostFile(db);
    std::string error;
    EXPECT_FALSE(plat::RegistryOpen(deviceDir, error));
    EXPECT_NE(error.find(db), std::string::npos) << "the error names the file: " << error;
    EXPECT_FALSE(plat::DeviceOpen(deviceDir, {}, error)) << "the device cannot be used either";
    EXPECT_EQ(cetest::ReadHostFile(db), before) << "the damaged file was not replaced";
    HKEY k = 0;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, 0, &k), ERROR_SUCCESS) << "calls fail cleanly";
    EXPECT_EQ(k, HKEY(0));
}

TEST_F(RegKeys, ThreadsOfOneProcessShareTheRegistry)
{
    // Each thread counts up a value of its own key and reads the others'
    // keys while the rest write: every call completes with the value it
    // should, the connection being used by one thread at a time.
    constexpr int kThreads = 4, kRounds = 150;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            std::u16string path = u"Software\\Threads\\T" + std::u16string(1, char16_t(u'0' + t));
            for (int i = 0; i < kRounds; ++i) {
                HKEY key = 0;
                if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
                    ERROR_SUCCESS) {
                    ++failures[t];
                    continue;
                }
                DWORD v = 0, cb = 4;
                LONG q = RegQueryValueExW(key, u"n", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb);
                if ((i == 0) != (q == ERROR_FILE_NOT_FOUND) || (i > 0 && v != DWORD(i)))
                    ++failures[t];
                v = DWORD(i + 1);
                if (RegSetValueExW(key, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4) != ERROR_SUCCESS)
                    ++failures[t];
                RegCloseKey(key);
                HKEY other = 0;
                std::u16string next = u"Software\\Threads\\T" + std::u16string(1, char16_t(u'0' + (t + 1) % kThreads));
                if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, next.c_str(), 0, KEY_READ, &other) == ERROR_SUCCESS)
                    RegCloseKey(other);
            }
        });
    }
    for (std::thread &th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Software\\Threads\\T0");
    EXPECT_EQ(GetDw(key, u"n"), DWORD(kRounds));
    RegCloseKey(key);
}

} // namespace
