// shared_process_test.cpp - shared counts taken and released by two
// processes at once on one device end at the exact count.
#include <windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "helpers/testdevice.h"
#include "internal/registry.h"
#include "registry/regpath.h"

namespace {

class SharedProcesses : public cetest::DeviceFixture {};

// Each worker does 500 rounds of add, add, release (net +1 a round), so
// every lost update shows in the final count.
TEST_F(SharedProcesses, TwoProcessesEndAtTheExactCount)
{
    const char *path = "\\Windows\\shared by both.dll";
    const int kRounds = 500;
    // Forked children must not use this process's database connection.
    plat::RegistryClose();
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t workers[2];
    for (pid_t &pid : workers) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(go[1]);
            std::string error;
            if (!plat::RegistryOpen(deviceDir, error))
                _exit(2);
            char c;
            if (read(go[0], &c, 1) != 1) // both start together
                _exit(3);
            for (int i = 0; i < kRounds; ++i) {
                DWORD count = 0;
                if (!SharedFileCount(1, path, &count) || count == 0)
                    _exit(4);
                if (!SharedFileCount(1, path, &count) || count < 2)
                    _exit(5);
                if (!SharedFileCount(0, path, &count) || count == 0)
                    _exit(6);
            }
            _exit(0);
        }
    }
    close(go[0]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    close(go[1]);
    for (pid_t pid : workers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "worker failed with status " << status;
    }
    std::string error;
    ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
    HKEY k = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, 0, &k),
              ERROR_SUCCESS);
    DWORD v = 0, cb = 4, type = 0;
    ASSERT_EQ(RegQueryValueExW(k, cetest::U16(path).c_str(), nullptr, &type,
                               reinterpret_cast<BYTE *>(&v), &cb),
              ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v, static_cast<DWORD>(2 * kRounds)) << "no update was lost";

    // And releasing them all, from two processes again, leaves nothing.
    plat::RegistryClose();
    for (pid_t &pid : workers) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (!plat::RegistryOpen(deviceDir, error))
                _exit(2);
            for (int i = 0; i < kRounds; ++i)
                if (!SharedFileCount(0, path, nullptr))
                    _exit(4);
            _exit(0);
        }
    }
    for (pid_t pid : workers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, 0, &k),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(k, cetest::U16(path).c_str(), nullptr, nullptr, nullptr, &cb),
              ERROR_FILE_NOT_FOUND)
        << "the count reached 0 exactly once and the value went";
    RegCloseKey(k);
}

} // namespace
