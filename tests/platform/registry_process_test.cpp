// registry_process_test.cpp - the registry shared by processes: a writer
// killed at a random moment loses nothing it reported done, and a process
// holding a key open keeps the others off until it closes it.
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <string>

#include "helpers/testdevice.h"
#include "internal/registry.h"

namespace {

class RegProcess : public cetest::DeviceFixture {
protected:
    // A forked child must not use the parent's database connection, so the
    // parent lets go of the registry first; children open their own.
    void ReleaseRegistry() { plat::RegistryClose(); }
    void TakeRegistry()
    {
        std::string error;
        ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
    }
};

std::u16string ValueName(uint32_t i)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "v%04u", i);
    return cetest::U16(buf);
}

DWORD ValueData(uint32_t i, int round)
{
    return i * 2654435761u ^ static_cast<DWORD>(round);
}

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
        ReleaseRegistry();
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            std::string error;
            if (!plat::RegistryOpen(deviceDir, error))
                _exit(2);
            std::u16string path = u"Durable\\Round " + cetest::U16(std::to_string(round));
            HKEY k = 0;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &k,
                                nullptr) != ERROR_SUCCESS)
                _exit(3);
            for (uint32_t i = 0; i < 1000; ++i) {
                DWORD data = ValueData(i, round);
                if (RegSetValueExW(k, ValueName(i).c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE *>(&data), 4) != ERROR_SUCCESS)
                    _exit(4);
                if (write(fds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i))
                    _exit(5);
            }
            _exit(0);
        }
        close(fds[1]);
        uint32_t killAfter = rng() % 1000;
        uint32_t last = 0;
        bool any = false;
        uint32_t report;
        while (ReadReport(fds[0], report)) {
            last = report;
            any = true;
            if (report >= killAfter) {
                // Somewhere inside one of the next calls.
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 400));
                kill(pid, SIGKILL);
                break;
            }
        }
        // Reports written before the kill still count.
        while (ReadReport(fds[0], report)) {
            last = report;
            any = true;
        }
        close(fds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "the writer failed on its own, status " << status;
        ASSERT_TRUE(any) << "the writer reported nothing";

        // The registry opens (an unreadable one would fail here) and holds
        // every reported value; any later one is whole or absent.
        TakeRegistry();
        std::u16string path = u"Durable\\Round " + cetest::U16(std::to_string(round));
        HKEY k = 0;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &k), ERROR_SUCCESS);
        for (uint32_t i = 0; i < 1000; ++i) {
            DWORD data = 0, cb = 4, type = 0;
            LONG r = RegQueryValueExW(k, ValueName(i).c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE *>(&data), &cb);
            if (i <= last) {
                ASSERT_EQ(r, ERROR_SUCCESS) << "round " << round << ": value " << i
                                            << " was reported written (last report " << last
                                            << ", kill after " << killAfter << ")";
            }
            if (r == ERROR_SUCCESS) {
                EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << i;
                EXPECT_EQ(cb, 4u) << i;
                EXPECT_EQ(data, ValueData(i, round)) << "round " << round << " value " << i;
            } else {
                EXPECT_EQ(r, ERROR_FILE_NOT_FOUND) << i;
            }
        }
        RegCloseKey(k);
    }
}

TEST_F(RegProcess, AnOpenKeyHoldsOtherProcessesOffUntilClosed)
{
    ReleaseRegistry();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        std::string error;
        if (!plat::RegistryOpen(deviceDir, error))
            _exit(2);
        HKEY k = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Lock", 0, nullptr, 0, 0, nullptr, &k, nullptr))
            _exit(3);
        char c = 'r';
        if (write(ready[1], &c, 1) != 1)
            _exit(4);
        // Read, think, write: nobody may change the key meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        DWORD who = 1;
        if (RegSetValueExW(k, u"who", 0, REG_DWORD, reinterpret_cast<BYTE *>(&who), 4))
            _exit(5);
        RegCloseKey(k);
        _exit(0);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    TakeRegistry();
    auto start = std::chrono::steady_clock::now();
    HKEY k = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Lock", 0, nullptr, 0, 0, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    auto waited = std::chrono::steady_clock::now() - start;
    DWORD who = 2;
    ASSERT_EQ(RegSetValueExW(k, u"who", 0, REG_DWORD, reinterpret_cast<BYTE *>(&who), 4),
              ERROR_SUCCESS);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    DWORD v = 0, cb = 4;
    ASSERT_EQ(RegQueryValueExW(k, u"who", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 2u) << "this process's write came after the other's key was closed";
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 150)
        << "the open waited for the other process";
    RegCloseKey(k);
}

TEST_F(RegProcess, AKilledHolderDoesNotLockTheRegistryForever)
{
    ReleaseRegistry();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        std::string error;
        if (!plat::RegistryOpen(deviceDir, error))
            _exit(2);
        HKEY k = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Held", 0, nullptr, 0, 0, nullptr, &k, nullptr))
            _exit(3);
        char c = 'r';
        if (write(ready[1], &c, 1) != 1)
            _exit(4);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    TakeRegistry();
    auto start = std::chrono::steady_clock::now();
    HKEY k = 0;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Held", 0, 0, &k), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count(),
              2000)
        << "the dead holder's lock was released by the system";
}

} // namespace
