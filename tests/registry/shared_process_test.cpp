// shared_process_test.cpp - shared counts taken and released by two
// processes at once on one device end at the exact count.
#include <windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "helpers/scriptkit.h"
#include "registry/registry.h"
#include "registry/regpath.h"

namespace {

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
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "worker failed with status " << status;
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
    EXPECT_FALSE(ReadDword(0x80000002u, u"Software\\Apps\\Shared", cetest::U16(path), left))
        << "the count reached 0 exactly once and the value went; left " << left;
}

} // namespace
