// regpath_test.cpp - root names, key paths, shared counts (also taken by two
// processes at once) and deletion of whole subtrees.
#include <windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "helpers/scriptkit.h"
#include "kernel/handles.h"
#include "registry/registry.h"
#include "registry/regpath.h"

using cetest::U16;

namespace {

const uint32_t kHKLM = 0x80000002u;
const char16_t kShared[] = u"Software\\Apps\\Shared";

class RegPath : public cetest::ScriptFixture {
protected:
    void TearDown() override
    {
        EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "a key was left open";
        cetest::ScriptFixture::TearDown();
    }
    // The stored shared value of a path: the registry's result, with its
    // type and bytes.
    long SharedValue(const std::string &path, DWORD *type = nullptr, std::string *bytes = nullptr)
    {
        return QueryValue(kHKLM, kShared, U16(path), type, bytes);
    }
    static void MakeKey(const char *path)
    {
        HKEY k = RegOpenKeyPath(path, HKEY_LOCAL_MACHINE, 1);
        ASSERT_NE(k, 0u) << path;
        RegCloseKey(k);
    }
};

TEST_F(RegPath, RootNames)
{
    EXPECT_EQ(RegRootFromName("hkey_local_machine"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegRootFromName("hKeY_cUrReNt_UsEr"), HKEY_CURRENT_USER);
    EXPECT_EQ(RegRootFromName("HKEY_CLASSES_ROOT"), 0u) << "only the two roots scripts may name";
    EXPECT_EQ(RegRootFromName("HKEY_LOCAL_MACHINE "), 0u);
}

TEST_F(RegPath, OpenOrCreateByPath)
{
    EXPECT_EQ(RegOpenKeyPath("Software\\Apps\\Demo", HKEY_LOCAL_MACHINE, 0), 0u) << "a missing key is not opened";
    EXPECT_FALSE(KeyExists(kHKLM, u"Software")) << "and nothing was made";
    MakeKey("Software\\Apps\\Demo");
    EXPECT_TRUE(KeyExists(kHKLM, u"Software\\Apps\\Demo")) << "every key on the way is made";
    // An existing key opens in any case, and a key opened without creating
    // still takes values.
    HKEY ro = RegOpenKeyPath("software\\apps\\DEMO", HKEY_LOCAL_MACHINE, 0);
    ASSERT_NE(ro, 0u);
    DWORD v = 7;
    EXPECT_EQ(RegSetValueExW(ro, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
    RegCloseKey(ro);
}

// Deleting refuses what would name another key than the one meant.
TEST_F(RegPath, PathsThatDoNotFitOrAreEmptyDeleteNothing)
{
    std::string fits = "Long\\" + std::string(250, 'a'); // 255 bytes: 256 units with the terminator
    MakeKey(fits.c_str());
    std::string tooLong = fits + "b";
    EXPECT_EQ(RegOpenKeyPath(tooLong.c_str(), HKEY_LOCAL_MACHINE, 1), 0u);
    // Cutting the path would have named the existing key above.
    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, tooLong.c_str()), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_TRUE(KeyExists(kHKLM, U16(fits)));

    MakeKey("Software\\Apps\\Veltrona Parvell\\Product");
    HKEY installer = RegOpenKeyPath("Software\\Apps\\Veltrona Parvell", HKEY_LOCAL_MACHINE, 0);
    ASSERT_NE(installer, 0u);
    // An empty name would name the parent itself and empty it.
    EXPECT_EQ(RegDeleteKeyPath(installer, ""), ERROR_INVALID_PARAMETER);
    RegCloseKey(installer);
    EXPECT_TRUE(KeyExists(kHKLM, u"Software\\Apps\\Veltrona Parvell\\Product"));
}

TEST_F(RegPath, SharedCountsAddAndRelease)
{
    const std::string file = "\\Program Files\\Dravex\\dravex.dll";
    DWORD count = 99;
    ASSERT_TRUE(SharedFileCount(0, file.c_str(), nullptr)) << "never counted, no shared key at all";
    ASSERT_TRUE(SharedFileCount(0, file.c_str(), &count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(KeyExists(kHKLM, u"Software")) << "releasing does not create the shared key";

    for (DWORD want : {1u, 2u}) {
        ASSERT_TRUE(SharedFileCount(1, file.c_str(), &count));
        EXPECT_EQ(count, want);
    }
    DWORD type = 0;
    std::string bytes;
    EXPECT_EQ(SharedValue(file, &type, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(bytes, std::string("\x02\0\0\0", 4)) << "a little-endian REG_DWORD";

    ASSERT_TRUE(SharedFileCount(0, file.c_str(), &count));
    ASSERT_TRUE(SharedFileCount(0, file.c_str(), &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SharedValue(file), ERROR_FILE_NOT_FOUND) << "the value is deleted at 0, never stored as 0";
    EXPECT_TRUE(KeyExists(kHKLM, kShared)) << "the shared key itself stays";
    count = 99;
    ASSERT_TRUE(SharedFileCount(0, file.c_str(), &count)) << "key there, value not";
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SharedValue(file), ERROR_FILE_NOT_FOUND);

    // Names compare without case.
    ASSERT_TRUE(SharedFileCount(1, "\\Windows\\A.DLL", nullptr));
    ASSERT_TRUE(SharedFileCount(1, "\\windows\\a.dll", &count));
    EXPECT_EQ(count, 2u);
}

// A stored value that is not a count fails both changes and stays as it was.
TEST_F(RegPath, AStringInTheWayStays)
{
    const std::string path = "\\Windows\\text.dll", bytes(reinterpret_cast<const char *>(u"3"), 4);
    ASSERT_TRUE(PutValue(kHKLM, kShared, U16(path), REG_SZ, bytes));
    DWORD count = 1234, type = 0;
    EXPECT_FALSE(SharedFileCount(1, path.c_str(), &count)) << "adding";
    EXPECT_FALSE(SharedFileCount(0, path.c_str(), &count)) << "releasing";
    EXPECT_EQ(count, 1234u) << "no count reported";
    std::string stored;
    SharedValue(path, &type, &stored);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(stored, bytes) << "unchanged";
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
    EXPECT_EQ(SharedCount("\\Windows\\kept.dll"), 1u);
}

TEST_F(RegPath, DeletingDeepTreesWhateverTheirNames)
{
    std::mt19937 rng(12345);
    const char *pieces[] = {"a", "B", "Zz", "_", "9", "Mixed Case", "x.y", "\xe9t\xe9"};
    std::vector<std::string> made;
    for (int i = 0; i < 25; ++i) {
        std::string path = "Tree";
        for (int d = 0, depth = 1 + int(rng() % 7); d < depth; ++d)
            path += std::string("\\") + pieces[rng() % 8] + std::to_string(rng() % 3);
        MakeKey(path.c_str());
        made.push_back(path);
    }
    MakeKey("TreeSibling\\Child");

    EXPECT_EQ(RegDeleteKeyPath(HKEY_LOCAL_MACHINE, "TREE"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(kHKLM, u"Tree"));
    for (const auto &p : made)
        EXPECT_FALSE(KeyExists(kHKLM, U16(p))) << p;
    EXPECT_TRUE(KeyExists(kHKLM, u"TreeSibling\\Child")) << "the sibling stays";
}

class SharedProcesses : public cetest::ScriptFixture {
protected:
    // Runs body in two forked workers that start together (each with its own
    // database connection), waits for both and reopens the registry here.
    void TwoWorkers(const std::function<int()> &body)
    {
        plat::RegistryClose(); // forked children must not use this process's connection
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t workers[2];
        for (pid_t &pid : workers) {
            pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                close(go[1]);
                std::string error;
                char c;
                if (!plat::RegistryOpen(deviceDir, error) || read(go[0], &c, 1) != 1)
                    _exit(2);
                _exit(body());
            }
        }
        close(go[0]);
        ASSERT_EQ(write(go[1], "gg", 2), 2);
        close(go[1]);
        for (pid_t pid : workers) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker failed with status " << status;
        }
        std::string error;
        ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
    }
};

// Each worker does 500 rounds of add, add, release (net +1 a round), so
// every lost update shows in the final count; then both release it all.
TEST_F(SharedProcesses, TwoProcessesEndAtTheExactCount)
{
    const char *path = "\\Windows\\shared by both.dll";
    const int kRounds = 500;
    TwoWorkers([&] {
        for (int i = 0; i < kRounds; ++i) {
            DWORD count = 0;
            if (!SharedFileCount(1, path, &count) || count == 0 || !SharedFileCount(1, path, &count) ||
                count < 2 || !SharedFileCount(0, path, &count) || count == 0)
                return 4;
        }
        return 0;
    });
    EXPECT_EQ(SharedCount(path), uint32_t(2 * kRounds)) << "no update was lost";

    TwoWorkers([&] {
        for (int i = 0; i < kRounds; ++i)
            if (!SharedFileCount(0, path, nullptr))
                return 4;
        return 0;
    });
    uint32_t left = 0;
    EXPECT_FALSE(ReadDword(kHKLM, kShared, U16(path), left))
        << "the count reached 0 exactly once and the value went; left " << left;
}

} // namespace
