// regpath_test.cpp - root names, key paths, shared counts and deletion of
// whole subtrees.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/faults.h"
#include "internal/handles.h"
#include "internal/registry.h"
#include "registry/regpath.h"

namespace {

class RegPath : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "a key was left open";
        cetest::DeviceFixture::TearDown();
    }

    bool KeyExists(HKEY root, const char16_t *path)
    {
        HKEY k = 0;
        LONG r = RegOpenKeyExW(root, path, 0, 0, &k);
        if (r == ERROR_SUCCESS)
            RegCloseKey(k);
        return r == ERROR_SUCCESS;
    }

    // The shared count of a path: its type and bytes, or missing.
    struct Stored {
        LONG result;
        DWORD type;
        std::string bytes;
    };
    Stored SharedValue(const std::string &path)
    {
        Stored s{ERROR_FILE_NOT_FOUND, 0, {}};
        HKEY k = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, 0, &k))
            return s;
        BYTE buf[64];
        DWORD cb = sizeof buf;
        s.result = RegQueryValueExW(k, cetest::U16(path).c_str(), nullptr, &s.type, buf, &cb);
        if (s.result == ERROR_SUCCESS)
            s.bytes.assign(reinterpret_cast<char *>(buf), cb);
        RegCloseKey(k);
        return s;
    }
    DWORD Count(const std::string &path)
    {
        Stored s = SharedValue(path);
        if (s.result != ERROR_SUCCESS)
            return 0;
        EXPECT_EQ(s.type, static_cast<DWORD>(REG_DWORD)) << path;
        EXPECT_EQ(s.bytes.size(), 4u) << path;
        DWORD v = 0;
        std::memcpy(&v, s.bytes.data(), std::min<size_t>(4, s.bytes.size()));
        EXPECT_NE(v, 0u) << "a count of 0 is never stored: " << path;
        return v;
    }
    void PutShared(const std::string &path, DWORD type, const std::string &bytes)
    {
        HKEY k = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, nullptr, 0, 0,
                                  nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(k, cetest::U16(path).c_str(), 0, type,
                                 reinterpret_cast<const BYTE *>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(k);
    }
};

TEST_F(RegPath, RootNames)
{
    struct Row {
        const char *name;
        HKEY root;
    } rows[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"hkey_local_machine", HKEY_LOCAL_MACHINE},
        {"Hkey_Local_Machine", HKEY_LOCAL_MACHINE},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"hKeY_cUrReNt_UsEr", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", 0},
        {"HKEY_USERS", 0},
        {"HKLM", 0},
        {"HKEY_LOCAL_MACHINE ", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(RegRootFromName(row.name), row.root) << (row.name ? row.name : "(null)");
}

TEST_F(RegPath, OpenOrCreateByPath)
{
    EXPECT_EQ(RegOpenKeyPath("Software\\Apps\\Demo", HKEY_LOCAL_MACHINE, 0), 0u)
        << "a missing key is not opened";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software")) << "and nothing was made";

    HKEY k = RegOpenKeyPath("Software\\Apps\\Demo", HKEY_LOCAL_MACHINE, 1);
    ASSERT_NE(k, 0u);
    RegCloseKey(k);
    // Every key made on the way has the setup's class.
    for (const char16_t *path : {u"Software", u"Software\\Apps", u"Software\\Apps\\Demo"}) {
        HKEY h = 0;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &h), ERROR_SUCCESS);
        WCHAR cls[32];
        DWORD cch = 32;
        ASSERT_EQ(RegQueryInfoKeyW(h, cls, &cch, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(cls, cch), u"ParvellRegClass") << cetest::U8(path);
        RegCloseKey(h);
    }

    // An existing key opens with either flag, in any case, and a key opened
    // without creating still takes values.
    HKEY again = RegOpenKeyPath("SOFTWARE\\apps\\demo", HKEY_LOCAL_MACHINE, 1);
    ASSERT_NE(again, 0u);
    RegCloseKey(again);
    HKEY ro = RegOpenKeyPath("software\\apps\\DEMO", HKEY_LOCAL_MACHINE, 0);
    ASSERT_NE(ro, 0u);
    DWORD v = 7;
    EXPECT_EQ(RegSetValueExW(ro, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(ro, u"v"), ERROR_SUCCESS);

    // Relative to an open key.
    HKEY sub = RegOpenKeyPath("Inner\\Most", ro, 1);
    ASSERT_NE(sub, 0u);
    RegCloseKey(sub);
    RegCloseKey(ro);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Demo\\Inner\\Most"));

    EXPECT_EQ(RegOpenKeyPath("x", 0x12345678u, 1), 0u) << "a bad parent";
    EXPECT_EQ(RegOpenKeyPath(nullptr, HKEY_LOCAL_MACHINE, 1), 0u);
}

TEST_F(RegPath, PathsThatDoNotFitAreRefusedNotCut)
{
    // 255 bytes fit (256 units with the terminator); 256 do not.
    std::string fits = "Long\\" + std::string(250, 'a');
    ASSERT_EQ(fits.size(), 255u);
    HKEY k = RegOpenKeyPath(fits.c_str(), HKEY_LOCAL_MACHINE, 1);
    ASSERT_NE(k, 0u);
    RegCloseKey(k);

    std::string tooLong = "Long\\" + std::string(250, 'a') + "b";
    EXPECT_EQ(RegOpenKeyPath(tooLong.c_str(), HKEY_LOCAL_MACHINE, 1), 0u);
    // Cutting the path would have named the existing key above: deleting the
    // long path must not delete it.
    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, tooLong.c_str()),
              ERROR_FILENAME_EXCED_RANGE);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, cetest::U16(fits).c_str()));
}

TEST_F(RegPath, SharedCountsAddAndRelease)
{
    const std::string file = "\\Program Files\\Dravex\\dravex.dll";
    DWORD count = 99;
    ASSERT_TRUE(SharedFileCount(1, file.c_str(), &count));
    EXPECT_EQ(count, 1u);
    ASSERT_TRUE(SharedFileCount(1, file.c_str(), &count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Count(file), 2u);
    Stored s = SharedValue(file);
    EXPECT_EQ(s.bytes, std::string("\x02\0\0\0", 4)) << "a little-endian REG_DWORD";

    ASSERT_TRUE(SharedFileCount(0, file.c_str(), &count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Count(file), 1u);
    ASSERT_TRUE(SharedFileCount(0, file.c_str(), &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SharedValue(file).result, ERROR_FILE_NOT_FOUND) << "the value is deleted at 0";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared"))
        << "the shared key itself stays";

    // Another object's count is its own; names compare without case.
    ASSERT_TRUE(SharedFileCount(1, "\\Windows\\A.DLL", nullptr));
    ASSERT_TRUE(SharedFileCount(1, "\\windows\\a.dll", &count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Count(file), 0u);
}

TEST_F(RegPath, ReleasingWhatWasNeverCountedCreatesNothing)
{
    DWORD count = 99;
    ASSERT_TRUE(SharedFileCount(0, "\\Windows\\never.dll", &count))
        << "no shared key at all";
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared"))
        << "releasing does not create the shared key";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software"));

    ASSERT_TRUE(SharedFileCount(1, "\\Windows\\other.dll", nullptr));
    count = 99;
    ASSERT_TRUE(SharedFileCount(0, "\\Windows\\never.dll", &count)) << "key there, value not";
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SharedValue("\\Windows\\never.dll").result, ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(SharedFileCount(0, "\\Windows\\never.dll", nullptr)) << "the count is optional";
}

TEST_F(RegPath, AValueThatIsNotACountFailsBothWaysAndStays)
{
    struct Row {
        const char *what;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {"a REG_SZ", REG_SZ, std::string(reinterpret_cast<const char *>(u"3"), 4)},
        {"a REG_BINARY", REG_BINARY, std::string("\x03\0\0\0", 4)},
        {"a two-byte REG_DWORD", REG_DWORD, std::string("\x03\0", 2)},
        {"an eight-byte REG_DWORD", REG_DWORD, std::string("\x03\0\0\0\0\0\0\0", 8)},
    };
    for (const auto &row : rows) {
        const std::string path = std::string("\\Windows\\") + row.what + ".dll";
        PutShared(path, row.type, row.bytes);
        DWORD count = 1234;
        EXPECT_FALSE(SharedFileCount(1, path.c_str(), &count)) << "adding over " << row.what;
        EXPECT_FALSE(SharedFileCount(0, path.c_str(), &count)) << "releasing " << row.what;
        EXPECT_EQ(count, 1234u) << "no count reported for " << row.what;
        Stored s = SharedValue(path);
        EXPECT_EQ(s.result, ERROR_SUCCESS) << row.what << " is still there";
        EXPECT_EQ(s.type, row.type) << row.what;
        EXPECT_EQ(s.bytes, row.bytes) << row.what << " unchanged";
    }
}

TEST_F(RegPath, ACountNeverWrapsToZero)
{
    const std::string path = "\\Windows\\busy.dll";
    PutShared(path, REG_DWORD, std::string("\xff\xff\xff\xff", 4));
    DWORD count = 5;
    EXPECT_FALSE(SharedFileCount(1, path.c_str(), &count)) << "one more would wrap to 0";
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(Count(path), 0xffffffffu);
    ASSERT_TRUE(SharedFileCount(0, path.c_str(), &count));
    EXPECT_EQ(count, 0xfffffffeu);
}

TEST_F(RegPath, BadSharedPathsAreRefused)
{
    DWORD count = 5;
    EXPECT_FALSE(SharedFileCount(1, nullptr, &count));
    EXPECT_FALSE(SharedFileCount(1, "", &count)) << "the unnamed value is no file's count";
    std::string fits = "\\" + std::string(258, 'f');
    std::string tooLong = fits + "g";
    EXPECT_TRUE(SharedFileCount(1, fits.c_str(), &count)) << "259 bytes fit";
    EXPECT_EQ(count, 1u);
    count = 5;
    EXPECT_FALSE(SharedFileCount(1, tooLong.c_str(), &count))
        << "a cut name would share the count of another file";
    EXPECT_FALSE(SharedFileCount(0, tooLong.c_str(), &count));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(Count(fits), 1u);
}

TEST_F(RegPath, AReleaseThatCannotReadTheRegistryFails)
{
    ASSERT_TRUE(SharedFileCount(1, "\\Windows\\kept.dll", nullptr));
    // With the registry gone, "not counted" must not be reported: the
    // caller would delete a file still in use.
    plat::RegistryClose();
    DWORD count = 77;
    EXPECT_FALSE(SharedFileCount(0, "\\Windows\\kept.dll", &count));
    EXPECT_EQ(count, 77u);
    EXPECT_FALSE(SharedFileCount(1, "\\Windows\\kept.dll", &count));
    std::string error;
    ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
    EXPECT_EQ(Count("\\Windows\\kept.dll"), 1u);
}

TEST_F(RegPath, EveryRefusedCommitLeavesTheCountConsistent)
{
    // Adding: from nothing (the shared key is made too), then on top.
    for (DWORD start = 0; start < 3; ++start) {
        const std::string path = "\\Windows\\faulty.dll";
        int n = 1;
        for (;; ++n) {
            ASSERT_LT(n, 20) << "the add never succeeded";
            plat::FaultArm(plat::FaultKind::RegistryCommit, n);
            DWORD count = 1234;
            BOOL ok = SharedFileCount(1, path.c_str(), &count);
            bool fired = plat::FaultFired(plat::FaultKind::RegistryCommit);
            plat::FaultArm(plat::FaultKind::RegistryCommit, 0);
            if (fired) {
                EXPECT_FALSE(ok) << "commit " << n << " failed, so the add failed";
                EXPECT_EQ(count, 1234u);
                EXPECT_EQ(Count(path), start) << "count unchanged after failed commit " << n;
                continue;
            }
            ASSERT_TRUE(ok);
            EXPECT_EQ(count, start + 1);
            EXPECT_EQ(Count(path), start + 1);
            break;
        }
        if (start == 0) {
            EXPECT_EQ(n, 3) << "two commits: the shared key, then the value";
        }
    }
    // Releasing: 3 -> 2 -> 1 -> 0, each with every failure on the way.
    for (DWORD start = 3; start > 0; --start) {
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 20);
            plat::FaultArm(plat::FaultKind::RegistryCommit, n);
            DWORD count = 1234;
            BOOL ok = SharedFileCount(0, "\\Windows\\faulty.dll", &count);
            bool fired = plat::FaultFired(plat::FaultKind::RegistryCommit);
            plat::FaultArm(plat::FaultKind::RegistryCommit, 0);
            if (fired) {
                EXPECT_FALSE(ok);
                EXPECT_EQ(count, 1234u);
                EXPECT_EQ(Count("\\Windows\\faulty.dll"), start);
                continue;
            }
            ASSERT_TRUE(ok);
            EXPECT_EQ(count, start - 1);
            EXPECT_EQ(Count("\\Windows\\faulty.dll"), start - 1);
            break;
        }
    }
}

TEST_F(RegPath, DeletingDeepTreesWhateverTheirNames)
{
    std::mt19937 rng(12345);
    const char *pieces[] = {"a", "B", "Zz", "_", "9", "Mixed Case", "x.y", "\xe9t\xe9"};
    std::vector<std::string> made;
    for (int i = 0; i < 60; ++i) {
        std::string path = "Tree";
        int depth = 1 + static_cast<int>(rng() % 7);
        for (int d = 0; d < depth; ++d)
            path += std::string("\\") + pieces[rng() % 8] + std::to_string(rng() % 3);
        HKEY k = RegOpenKeyPath(path.c_str(), HKEY_LOCAL_MACHINE, 1);
        ASSERT_NE(k, 0u) << path;
        DWORD v = static_cast<DWORD>(i);
        RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4);
        RegCloseKey(k);
        made.push_back(path);
    }
    HKEY keep = RegOpenKeyPath("TreeSibling\\Child", HKEY_LOCAL_MACHINE, 1);
    RegCloseKey(keep);

    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, "TREE"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Tree"));
    for (const auto &p : made)
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, cetest::U16(p).c_str())) << p;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"TreeSibling\\Child")) << "the sibling stays";

    // What is not there is deleted already.
    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, "Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, "No\\Such\\Key"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, u"Nothing"), ERROR_SUCCESS);

    // A subtree below an open key.
    HKEY parent = RegOpenKeyPath("TreeSibling", HKEY_LOCAL_MACHINE, 0);
    ASSERT_NE(parent, 0u);
    EXPECT_EQ(RegDeleteKeyTree(parent, u"child"), ERROR_SUCCESS);
    RegCloseKey(parent);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"TreeSibling\\Child"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"TreeSibling"));
}

TEST_F(RegPath, AnEmptyNameDeletesNothing)
{
    HKEY k = RegOpenKeyPath("Software\\Apps\\Veltrona Parvell\\Product", HKEY_LOCAL_MACHINE, 1);
    RegCloseKey(k);
    HKEY installer = RegOpenKeyPath("Software\\Apps\\Veltrona Parvell", HKEY_LOCAL_MACHINE, 0);
    ASSERT_NE(installer, 0u);
    // An empty name would name the parent itself and empty it.
    EXPECT_EQ(RegDeleteKeyPath(installer, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyTree(installer, u""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyTree(installer, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyPath(installer, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(installer);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell\\Product"));
}

TEST_F(RegPath, AFailedDeletionLeavesTheRestAndReportsTheError)
{
    HKEY k = RegOpenKeyPath("Partial\\A\\Deep", HKEY_LOCAL_MACHINE, 1);
    RegCloseKey(k);
    k = RegOpenKeyPath("Partial\\B", HKEY_LOCAL_MACHINE, 1);
    RegCloseKey(k);
    // The first deletion (Partial\A\Deep) goes through; the second is refused.
    plat::FaultArm(plat::FaultKind::RegistryCommit, 2);
    LONG r = RegDeleteKeyPath(HKEY_LOCAL_MACHINE, "Partial");
    EXPECT_EQ(r, ERROR_REGISTRY_IO_FAILED) << "the platform's error is passed on";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Partial")) << "the key itself stays";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Partial\\A\\Deep"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Partial\\A")) << "the refused deletion";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Partial\\B")) << "not reached";
    // Done again, it completes.
    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, "Partial"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Partial"));
}

} // namespace
