// registry_process_test.cpp - the registry shared by processes: a writer
// killed at a random moment loses nothing it reported done nor keeps the
// registry locked, and a process holding a key open keeps the others off
// until it closes it.
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>
#include <string>

#include "helpers/testdevice.h"
#include "internal/registry.h"

namespace {

class RegProcess : public cetest::DeviceFixture {
protected:
    // Forks a child that opens its own registry and runs BODY with the write
    // end of a pipe; BODY's result is the child's exit status. A child must
    // not use the parent's database connection, so the parent lets go of the
    // registry first and takes it back with TakeRegistry.
    pid_t Fork(int &fromChild, const std::function<int(int)> &body)
    {
        plat::RegistryClose();
        int fds[2];
        if (pipe(fds) != 0)
            return -1;
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            std::string error;
            _exit(plat::RegistryOpen(deviceDir, error) ? body(fds[1]) : 2);
        }
        close(fds[1]);
        fromChild = fds[0];
        return pid;
    }
    void TakeRegistry()
    {
        std::string error;
        ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
    }
    HKEY CreateKey(const char16_t *path)
    {
        HKEY k = 0;
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &k, nullptr) ? 0 : k;
    }
};

std::u16string ValueName(uint32_t i)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "v%04u", i);
    return cetest::U16(buf);
}

DWORD ValueData(uint32_t i, int round) { return i * 2654435761u ^ static_cast<DWORD>(round); }

// Reads one progress report; false at the end of the pipe.
bool ReadReport(int fd, uint32_t &value)
{
    size_t got = 0;
    char *p = reinterpret_cast<char *>(&value);
    while (got < sizeof value) {
        ssize_t n = read(fd, p + got, sizeof value - got);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

TEST_F(RegProcess, AWriterKilledAtRandomLosesNothingItReported)
{
    std::random_device rd;
    unsigned seed = rd();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::u16string path = u"Durable\\Round " + cetest::U16(std::to_string(round));
        int reports = -1;
        pid_t pid = Fork(reports, [&](int out) {
            HKEY k = CreateKey(path.c_str());
            if (!k)
                return 3;
            for (uint32_t i = 0; i < 1000; ++i) {
                DWORD data = ValueData(i, round);
                if (RegSetValueExW(k, ValueName(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), 4))
                    return 4;
                if (write(out, &i, sizeof i) != static_cast<ssize_t>(sizeof i))
                    return 5;
            }
            return 0;
        });
        ASSERT_GE(pid, 0);
        uint32_t killAfter = rng() % 1000, last = 0, report;
        bool any = false, killed = false;
        // Reports written before the kill still count.
        while (ReadReport(reports, report)) {
            last = report;
            any = true;
            if (!killed && report >= killAfter) {
                // Somewhere inside one of the next calls.
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 400));
                kill(pid, SIGKILL);
                killed = true;
            }
        }
        close(reports);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "the writer failed on its own, status " << status;
        ASSERT_TRUE(any) << "the writer reported nothing";

        // The registry opens (an unreadable one would fail here), the key the
        // killed writer held open does not keep this process off (its lock
        // died with it; a waiter would give up and fail the open), and it
        // holds every reported value; any later one is whole or absent.
        TakeRegistry();
        HKEY k = 0;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &k), ERROR_SUCCESS);
        for (uint32_t i = 0; i < 1000; ++i) {
            DWORD data = 0, cb = 4, type = 0;
            LONG r = RegQueryValueExW(k, ValueName(i).c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&data), &cb);
            if (i <= last) {
                ASSERT_EQ(r, ERROR_SUCCESS) << "value " << i << " was reported written (last report " << last
                                            << ", kill after " << killAfter << ")";
            }
            if (r == ERROR_SUCCESS) {
                EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << i;
                EXPECT_EQ(cb, 4u) << i;
                EXPECT_EQ(data, ValueData(i, round)) << "value " << i;
            } else {
                EXPECT_EQ(r, ERROR_FILE_NOT_FOUND) << i;
            }
        }
        RegCloseKey(k);
    }
}

TEST_F(RegProcess, AnOpenKeyHoldsOtherProcessesOffUntilClosed)
{
    int ready = -1;
    pid_t pid = Fork(ready, [this](int out) {
        HKEY k = CreateKey(u"Lock");
        char c = 'r';
        if (!k || write(out, &c, 1) != 1)
            return 3;
        // Read, think, write: nobody may change the key meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        DWORD who = 1;
        if (RegSetValueExW(k, u"who", 0, REG_DWORD, reinterpret_cast<BYTE *>(&who), 4))
            return 5;
        RegCloseKey(k);
        return 0;
    });
    ASSERT_GE(pid, 0);
    char c;
    ASSERT_EQ(read(ready, &c, 1), 1);
    close(ready);
    TakeRegistry();
    auto start = std::chrono::steady_clock::now();
    HKEY k = CreateKey(u"Lock");
    ASSERT_NE(k, 0u);
    auto waited = std::chrono::steady_clock::now() - start;
    DWORD who = 2, v = 0, cb = 4;
    ASSERT_EQ(RegSetValueExW(k, u"who", 0, REG_DWORD, reinterpret_cast<BYTE *>(&who), 4), ERROR_SUCCESS);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    ASSERT_EQ(RegQueryValueExW(k, u"who", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb), ERROR_SUCCESS);
    EXPECT_EQ(v, 2u) << "this process's write came after the other's key was closed";
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 150)
        << "the open waited for the other process";
    RegCloseKey(k);
}

} // namespace
