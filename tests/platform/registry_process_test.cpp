// registry_process_test.cpp - the registry shared by processes: a writer
// killed at a random moment loses nothing it reported done nor keeps the
// registry locked.
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "helpers/testdevice.h"
#include "registry/registry.h"

namespace {

class RegProcess : public cetest::DeviceFixture {};

std::u16string ValueName(uint32_t i) { return u"v" + cetest::U16(std::to_string(i)); }

DWORD ValueData(uint32_t i, int round) { return i * 2654435761u ^ static_cast<DWORD>(round); }

// The child: opens its own registry (never the parent's connection) and
// writes 1000 values, reporting each on OUT once the call returned.
int Writer(const std::string &deviceDir, const std::u16string &path, int round, int out)
{
    std::string error;
    HKEY k = 0;
    if (!plat::RegistryOpen(deviceDir, error) ||
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr))
        return 3;
    for (uint32_t i = 0; i < 1000; ++i) {
        DWORD data = ValueData(i, round);
        if (RegSetValueExW(k, ValueName(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), 4))
            return 4;
        if (write(out, &i, sizeof i) != static_cast<ssize_t>(sizeof i))
            return 5;
    }
    return 0;
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
        plat::RegistryClose();
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            _exit(Writer(deviceDir, path, round, fds[1]));
        }
        close(fds[1]);
        uint32_t killAfter = rng() % 1000, last = 0, report;
        bool any = false, killed = false;
        // Reports written before the kill still count (a pipe keeps whole 4-byte writes).
        while (read(fds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report)) {
            last = report;
            any = true;
            if (!killed && report >= killAfter) {
                // Somewhere inside one of the next calls.
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 400));
                kill(pid, SIGKILL);
                killed = true;
            }
        }
        close(fds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "the writer failed on its own, status " << status;
        ASSERT_TRUE(any) << "the writer reported nothing";

        // The registry opens (an unreadable one would fail here), the key the
        // killed writer held open does not keep this process off (its lock
        // died with it), and it holds every reported value; any later one is
        // whole or absent.
        std::string error;
        ASSERT_TRUE(plat::RegistryOpen(deviceDir, error)) << error;
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
                EXPECT_EQ(type * 100 + cb, REG_DWORD * 100 + 4u) << "type and size of value " << i;
                EXPECT_EQ(data, ValueData(i, round)) << "value " << i;
            } else {
                EXPECT_EQ(r, ERROR_FILE_NOT_FOUND) << i;
            }
        }
        RegCloseKey(k);
    }
}

DWORD QueryDword(HKEY root, const char16_t *path, const char16_t *name)
{
    HKEY k = 0;
    DWORD data = 0, cb = 4;
    if (RegOpenKeyExW(root, path, 0, 0, &k) != ERROR_SUCCESS)
        return 0xffffffffu;
    if (RegQueryValueExW(k, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&data), &cb) != ERROR_SUCCESS)
        data = 0xfffffffeu;
    RegCloseKey(k);
    return data;
}

// Reads made while a key handle is open share what they saw; once the last
// handle is closed this process must see another's changes again. The
// child uses the registry without the parent closing its own first: what
// it inherited through fork() is dropped, never used.
TEST_F(RegProcess, ChangesOfAnotherProcessShowOnceTheHandlesAreClosed)
{
    HKEY k = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Seen", 0, nullptr, 0, 0, nullptr, &k, nullptr), ERROR_SUCCESS);
    for (DWORD round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        DWORD mine = round * 10;
        ASSERT_EQ(RegSetValueExW(k, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&mine), 4), ERROR_SUCCESS);
        ASSERT_EQ(QueryDword(k, u"", u"n"), mine);
        // Keep the handle open across the fork: the child waits for it.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ready[0]);
            HKEY inherited = 0;
            // The parent's connection is not this process's: calls fail
            // until the child opens the registry itself.
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Seen", 0, 0, &inherited) == ERROR_SUCCESS)
                _exit(6);
            std::string error;
            if (!plat::RegistryOpen(deviceDir, error))
                _exit(3);
            if (write(ready[1], "r", 1) != 1)
                _exit(5);
            HKEY c = 0;
            DWORD theirs = round * 10 + 1;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Seen", 0, 0, &c) != ERROR_SUCCESS ||
                RegSetValueExW(c, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&theirs), 4) != ERROR_SUCCESS)
                _exit(4);
            RegCloseKey(c);
            _exit(0);
        }
        close(ready[1]);
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        // The child cannot change the value while this handle is open.
        usleep(20000);
        EXPECT_EQ(QueryDword(k, u"", u"n"), mine);
        ASSERT_EQ(RegCloseKey(k), ERROR_SUCCESS);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        EXPECT_EQ(QueryDword(HKEY_LOCAL_MACHINE, u"Seen", u"n"), mine + 1);
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Seen", 0, 0, &k), ERROR_SUCCESS);
        EXPECT_EQ(QueryDword(k, u"", u"n"), mine + 1);
    }
    RegCloseKey(k);
}

// The device lock makes a process the registry's only writer, yet SQLite's
// own write lock can be held for a moment by another process that only
// reads: one that opens the registry cold rebuilds the log's index under it,
// and a reader that catches a header half written takes it to read again.
// A change under the device lock waits that out instead of failing. Here a
// second connection holds the write lock for a while, as such a reader
// would, while a change is made inside a transaction that has read already.
TEST_F(RegProcess, AChangeWaitsOutAReaderHoldingTheWriteLock)
{
    HKEY k = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Busy", 0, nullptr, 0, 0, nullptr, &k, nullptr), ERROR_SUCCESS);
    DWORD data = 1, cb = 4;
    ASSERT_EQ(RegSetValueExW(k, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExW(k, u"n", nullptr, nullptr, reinterpret_cast<BYTE *>(&data), &cb), ERROR_SUCCESS);

    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open_v2((deviceDir + "/registry.db").c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    });
    data = 2;
    LONG set = RegSetValueExW(k, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), 4);
    release.join();
    sqlite3_close(other);
    EXPECT_EQ(set, ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(QueryDword(HKEY_LOCAL_MACHINE, u"Busy", u"n"), set == ERROR_SUCCESS ? 2u : 1u);
}

} // namespace
