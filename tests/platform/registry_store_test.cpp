// registry_store_test.cpp - what the device's registry keeps in its store
// beyond what a Win32 caller sees the same on every system: a key's
// last-write time, kept to the second, and a deleted subtree leaving no
// row behind. Device only (the conformance build has no such store).
#include <windows.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "helpers/testdevice.h"

namespace {

class RegStore : public cetest::DeviceFixture {
protected:
    HKEY Create(HKEY parent, const char16_t *path)
    {
        HKEY key = 0;
        EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS)
            << "creating " << cetest::U8(path);
        return key;
    }
    void SetDw(HKEY key, const char16_t *name, DWORD v)
    {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4), ERROR_SUCCESS);
    }
    // A count over the store's rows, read from outside (-1 when it cannot be).
    int Rows(const char *sql)
    {
        sqlite3 *db = nullptr;
        sqlite3_stmt *st = nullptr;
        int n = -1;
        if (sqlite3_open_v2((deviceDir + "/registry.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
        return n;
    }
};

// A key's last-write time follows the changes made in it to the second: a
// change in a later second moves it, the changes within one second leave it
// where the first put it (a count set over and over writes its value only).
TEST_F(RegStore, LastWriteTimeFollowsChangesToTheSecond)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Software\\Times");
    auto written = [&] {
        FILETIME ft = {};
        EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, &ft),
                  ERROR_SUCCESS);
        return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    };
    auto now = [] {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
        return uint64_t(ns / 100 + 116444736000000000LL);
    };
    constexpr uint64_t kSecond = 10000000;
    // Start just past a second's boundary, so that the next steps fall in it.
    while (now() % kSecond > kSecond / 2)
        Sleep(10);
    SetDw(key, u"a", 1);
    uint64_t first = written();
    uint64_t second = now() / kSecond;
    EXPECT_EQ(first / kSecond, second) << "set in this second";
    SetDw(key, u"a", 2);
    ASSERT_EQ(RegDeleteValueW(key, u"a"), ERROR_SUCCESS);
    if (now() / kSecond == second) {
        EXPECT_EQ(written(), first) << "changes in the same second keep the time";
    }
    while (now() / kSecond == second)
        Sleep(20);
    SetDw(key, u"b", 3);
    EXPECT_GE(written() / kSecond, second + 1) << "a change in a later second moves it";
    RegCloseKey(key);
}

// Every key and value of a deleted subtree goes from the store, the
// sibling's stay, and no value is left without its key.
TEST_F(RegStore, DeletingAKeyLeavesNoRowOfItsSubtree)
{
    for (const char16_t *path : {u"Tree\\A", u"Tree\\A\\B\\C", u"Tree\\A\\B\\C2", u"Tree\\A\\D", u"Tree\\Aside"}) {
        HKEY k = Create(HKEY_LOCAL_MACHINE, path);
        SetDw(k, u"x", 3);
        RegCloseKey(k);
    }
    const int keys = Rows("SELECT count(*) FROM keys"), vals = Rows("SELECT count(*) FROM vals");
    ASSERT_GT(keys, 0);
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"tree\\a"), ERROR_SUCCESS);
    EXPECT_EQ(Rows("SELECT count(*) FROM keys"), keys - 5) << "A, B, C, C2 and D";
    EXPECT_EQ(Rows("SELECT count(*) FROM vals"), vals - 4) << "the values of A, C, C2 and D";
    EXPECT_EQ(Rows("SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)"), 0);
    HKEY probe = 0;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Tree\\Aside", 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCloseKey(probe);
}

} // namespace
