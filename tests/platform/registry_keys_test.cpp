// registry_keys_test.cpp - conformance of the registry calls: keys, values,
// enumeration, deletion of subtrees, handles and error numbers.
#include <windows.h>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/faults.h"
#include "internal/handles.h"
#include "internal/registry.h"

namespace {

class RegKeys : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        cetest::DeviceFixture::TearDown();
    }

    HKEY Create(HKEY parent, const char16_t *path, const char16_t *cls = nullptr,
                DWORD *disposition = nullptr)
    {
        HKEY key = 0;
        std::u16string c = cls ? cls : u"";
        LONG r = RegCreateKeyExW(parent, path, 0, cls ? c.data() : nullptr, 0, 0, nullptr, &key,
                                 disposition);
        EXPECT_EQ(r, ERROR_SUCCESS) << "creating " << cetest::U8(path);
        return key;
    }
    LONG Open(HKEY parent, const char16_t *path, HKEY *key)
    {
        return RegOpenKeyExW(parent, path, 0, KEY_READ, key);
    }
    void SetSz(HKEY key, const char16_t *name, const std::u16string &text)
    {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * 2)),
                  ERROR_SUCCESS);
    }
    void SetDw(HKEY key, const char16_t *name, DWORD v)
    {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4),
                  ERROR_SUCCESS);
    }
    std::vector<std::u16string> SubKeys(HKEY key)
    {
        std::vector<std::u16string> out;
        for (DWORD i = 0;; ++i) {
            WCHAR name[256];
            DWORD cch = 256;
            LONG r = RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_NO_MORE_ITEMS)
                break;
            EXPECT_EQ(r, ERROR_SUCCESS) << "enumerating subkey " << i;
            if (r != ERROR_SUCCESS)
                break;
            out.emplace_back(name, cch);
        }
        return out;
    }
    std::vector<std::u16string> ValueNames(HKEY key)
    {
        std::vector<std::u16string> out;
        for (DWORD i = 0;; ++i) {
            WCHAR name[300];
            DWORD cch = 300;
            LONG r = RegEnumValueW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_NO_MORE_ITEMS)
                break;
            EXPECT_EQ(r, ERROR_SUCCESS) << "enumerating value " << i;
            if (r != ERROR_SUCCESS)
                break;
            out.emplace_back(name, cch);
        }
        return out;
    }
};

struct HostObject : plat::HandleObject {};

TEST_F(RegKeys, CreateNestedThenOpenInAnyCase)
{
    DWORD disp = 0;
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Demo", nullptr, &disp);
    EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY)) << "first creation";
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

    HKEY again = Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\apps\\DEMO", nullptr, &disp);
    EXPECT_EQ(disp, static_cast<DWORD>(REG_OPENED_EXISTING_KEY)) << "same key, other case";
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);

    HKEY opened = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"software\\APPS\\demo\\", &opened), ERROR_SUCCESS)
        << "a trailing separator is accepted";
    EXPECT_NE(opened, 0u);
    RegCloseKey(opened);

    HKEY apps = 0;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Software\\Apps", &apps), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(apps), std::vector<std::u16string>{u"Demo"})
        << "the name keeps the case it was created with";
    RegCloseKey(apps);

    // Another root is another tree.
    HKEY other = 0xdead;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\Apps\\Demo", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other, 0u) << "a failed open returns no handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "last error is set";
}

TEST_F(RegKeys, EmptySubkeyOpensTheKeyItself)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Self");
    SetDw(k, u"v", 5);
    HKEY same = 0;
    ASSERT_EQ(Open(k, u"", &same), ERROR_SUCCESS);
    DWORD v = 0, cb = 4;
    EXPECT_EQ(RegQueryValueExW(same, u"v", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 5u) << "the new handle reaches the same key";
    HKEY viaNull = 0;
    EXPECT_EQ(RegOpenKeyExW(k, nullptr, 0, 0, &viaNull), ERROR_SUCCESS);
    RegCloseKey(viaNull);
    RegCloseKey(same);
    RegCloseKey(k);
}

TEST_F(RegKeys, BadPathsAndArguments)
{
    struct Row {
        std::u16string path;
        LONG error;
    } rows[] = {
        {u"\\Leading", ERROR_BAD_PATHNAME},
        {u"a\\\\b", ERROR_BAD_PATHNAME},
        {u"\\", ERROR_BAD_PATHNAME},
        {std::u16string(256, u'x'), ERROR_INVALID_PARAMETER},
        {u"ok\\" + std::u16string(256, u'y'), ERROR_INVALID_PARAMETER},
    };
    for (const auto &row : rows) {
        HKEY k = 0x1234;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, row.path.c_str(), 0, nullptr, 0, 0, nullptr,
                                  &k, nullptr),
                  row.error)
            << "creating \"" << cetest::U8(row.path) << "\"";
        EXPECT_EQ(k, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(row.error));
        EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, row.path.c_str(), &k), row.error)
            << "opening \"" << cetest::U8(row.path) << "\"";
    }
    // Nothing was created by the refused calls.
    HKEY probe = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"ok", &probe), ERROR_FILE_NOT_FOUND);

    // 255 units is the longest name.
    std::u16string longest(255, u'z');
    HKEY k = Create(HKEY_LOCAL_MACHINE, longest.c_str());
    RegCloseKey(k);

    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, nullptr, 0, 0, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER)
        << "no result pointer";
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
    DWORD cb = 0;
    BYTE buf[4];
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"x", nullptr, nullptr, buf, nullptr),
              ERROR_INVALID_PARAMETER)
        << "data without a size";
    EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, u"x", 0, REG_BINARY, nullptr, 4),
              ERROR_INVALID_PARAMETER)
        << "a size without data";
    (void)cb;
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_INVALID_PARAMETER)
        << "a root is never deleted";
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegKeys, StaleAndForeignHandlesFailWithInvalidHandle)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Handles");
    ASSERT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE) << "closing twice";

    uint32_t foreign = plat::HandleAlloc(plat::HandleKind::File, std::make_shared<HostObject>());
    ASSERT_NE(foreign, 0u);
    const HKEY bad[] = {k, foreign, 0, 0x12345678u, 0x80000004u, INVALID_HANDLE_VALUE};
    for (HKEY h : bad) {
        DWORD cb = 0;
        HKEY sub = 0;
        WCHAR name[8];
        DWORD cch = 8;
        DWORD v = 1;
        EXPECT_EQ(RegQueryValueExW(h, u"v", nullptr, nullptr, nullptr, &cb), ERROR_INVALID_HANDLE)
            << "query through " << std::hex << h;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(RegSetValueExW(h, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4),
                  ERROR_INVALID_HANDLE)
            << "set through " << std::hex << h;
        EXPECT_EQ(RegCreateKeyExW(h, u"s", 0, nullptr, 0, 0, nullptr, &sub, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(Open(h, u"s", &sub), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyW(h, u"s"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteValueW(h, u"v"), ERROR_INVALID_HANDLE);
        if (h != 0 && h != 0x80000004u) {
            EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE) << "close " << std::hex << h;
        }
    }
    // The file handle was not touched by the registry.
    EXPECT_NE(plat::HandleGet(foreign, plat::HandleKind::File), nullptr);
    plat::HandleFree(foreign, plat::HandleKind::File);
    // Closing a predefined root is harmless.
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "no key handle leaked";
}

TEST_F(RegKeys, ClassIsKeptFromCreation)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Classy\\Inner", u"ParvellRegClass");
    RegCloseKey(k);
    // Opening again with another class changes nothing.
    k = Create(HKEY_LOCAL_MACHINE, u"Classy\\Inner", u"Other");
    WCHAR cls[64];
    DWORD cch = 64;
    DWORD subKeys = 9, values = 9;
    ASSERT_EQ(RegQueryInfoKeyW(k, cls, &cch, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(cls, cch), u"ParvellRegClass");
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 0u);
    RegCloseKey(k);

    HKEY parent = 0;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Classy", &parent), ERROR_SUCCESS);
    WCHAR name[64];
    DWORD cchName = 64;
    WCHAR cls2[64];
    DWORD cchCls = 64;
    FILETIME ft = {0, 0};
    ASSERT_EQ(RegEnumKeyExW(parent, 0, name, &cchName, nullptr, cls2, &cchCls, &ft), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, cchName), u"Inner");
    EXPECT_EQ(std::u16string(cls2, cchCls), u"ParvellRegClass");
    EXPECT_NE(ft.dwHighDateTime, 0u) << "a write time is reported";

    // A class that does not fit: 234, the size needed, nothing copied.
    WCHAR small[4] = {u'#', u'#', u'#', u'#'};
    DWORD cchSmall = 4;
    cchName = 64;
    EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &cchName, nullptr, small, &cchSmall, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(cchSmall, 16u) << "\"ParvellRegClass\" and its terminator";
    EXPECT_EQ(small[0], u'#') << "nothing copied";
    RegCloseKey(parent);
}

TEST_F(RegKeys, ValuesOfEachTypeReadBack)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Values");
    SetSz(k, u"Text", u"Hello \"world\" \\ end");
    SetDw(k, u"Number", 0xdeadbeef);
    const BYTE bin[] = {0, 1, 2, 0xff, 0x80};
    ASSERT_EQ(RegSetValueExW(k, u"Blob", 0, REG_BINARY, bin, sizeof bin), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    SetSz(k, nullptr, u"default");

    struct Row {
        const char16_t *name;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {u"text", REG_SZ,
         std::string(reinterpret_cast<const char *>(u"Hello \"world\" \\ end"), 40)},
        {u"NUMBER", REG_DWORD, std::string("\xef\xbe\xad\xde", 4)},
        {u"Blob", REG_BINARY, std::string(reinterpret_cast<const char *>(bin), sizeof bin)},
        {u"Empty", REG_BINARY, std::string()},
        {u"", REG_SZ, std::string(reinterpret_cast<const char *>(u"default"), 16)},
        {nullptr, REG_SZ, std::string(reinterpret_cast<const char *>(u"default"), 16)},
    };
    for (const auto &row : rows) {
        std::string label = row.name ? cetest::U8(row.name) : "(null)";
        DWORD type = 99, cb = 0;
        ASSERT_EQ(RegQueryValueExW(k, row.name, nullptr, &type, nullptr, &cb), ERROR_SUCCESS)
            << label;
        EXPECT_EQ(type, row.type) << label;
        EXPECT_EQ(cb, row.bytes.size()) << "size alone, " << label;
        std::vector<BYTE> buf(row.bytes.size() + 8, 0xcc);
        cb = static_cast<DWORD>(buf.size());
        ASSERT_EQ(RegQueryValueExW(k, row.name, nullptr, &type, buf.data(), &cb), ERROR_SUCCESS);
        EXPECT_EQ(cb, row.bytes.size()) << label;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buf.data()), cb), row.bytes) << label;
        EXPECT_EQ(buf[cb], 0xcc) << "nothing written past the data, " << label;
        if (!row.bytes.empty()) {
            // One byte short: 234, the size needed, the buffer untouched.
            std::vector<BYTE> shortBuf(row.bytes.size() - 1, 0xcc);
            cb = static_cast<DWORD>(shortBuf.size());
            EXPECT_EQ(RegQueryValueExW(k, row.name, nullptr, &type, shortBuf.data(), &cb),
                      ERROR_MORE_DATA)
                << label;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
            EXPECT_EQ(cb, row.bytes.size()) << "needed size, " << label;
            for (BYTE b : shortBuf)
                EXPECT_EQ(b, 0xcc) << "nothing copied, " << label;
        }
    }
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExW(k, u"Missing", nullptr, nullptr, nullptr, &cb),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(k, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(k, u"BLOB"), ERROR_SUCCESS) << "deleted in another case";
    EXPECT_EQ(RegQueryValueExW(k, u"Blob", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);
}

TEST_F(RegKeys, OverwritingKeepsTheNameCaseAndReplacesTypeAndData)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Overwrite");
    SetSz(k, u"MixedName", u"first");
    SetDw(k, u"MIXEDNAME", 7);
    EXPECT_EQ(ValueNames(k), std::vector<std::u16string>{u"MixedName"});
    DWORD type = 0, v = 0, cb = 4;
    ASSERT_EQ(RegQueryValueExW(k, u"mixedname", nullptr, &type, reinterpret_cast<BYTE *>(&v), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v, 7u);
    RegCloseKey(k);
}

TEST_F(RegKeys, EnumerationIsOrderedByFoldedName)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Order");
    // Folding is to small letters, so '_' (0x5F) sorts before every letter.
    const char16_t *names[] = {u"b", u"A", u"c", u"_x", u"a1", u"\u00c9t\u00e9", u"Zed"};
    for (const char16_t *n : names) {
        HKEY s = Create(k, n);
        RegCloseKey(s);
        SetDw(k, n, 1);
    }
    std::vector<std::u16string> expected = {u"_x", u"A", u"a1", u"b", u"c", u"Zed",
                                            u"\u00c9t\u00e9"};
    EXPECT_EQ(SubKeys(k), expected);
    EXPECT_EQ(ValueNames(k), expected);

    WCHAR name[8];
    DWORD cch = 8;
    EXPECT_EQ(RegEnumKeyExW(k, 7, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    cch = 8;
    EXPECT_EQ(RegEnumValueW(k, 100, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    // A name buffer that is too small: 234 with the units needed (terminator
    // included); nothing copied.
    WCHAR tiny[2] = {u'#', u'#'};
    cch = 2;
    EXPECT_EQ(RegEnumKeyExW(k, 2, tiny, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(cch, 3u) << "\"a1\" needs three units";
    EXPECT_EQ(tiny[0], u'#');
    cch = 2;
    EXPECT_EQ(RegEnumValueW(k, 2, tiny, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(cch, 3u);
    EXPECT_EQ(tiny[0], u'#');

    // Value data that does not fit: 234 with the bytes needed.
    WCHAR vname[8];
    DWORD cchv = 8, cb = 2, type = 0;
    BYTE data[2] = {0xcc, 0xcc};
    EXPECT_EQ(RegEnumValueW(k, 0, vname, &cchv, nullptr, &type, data, &cb), ERROR_MORE_DATA);
    EXPECT_EQ(cb, 4u);
    EXPECT_EQ(data[0], 0xcc);
    RegCloseKey(k);
}

TEST_F(RegKeys, DeletingAKeyRemovesItsWholeSubtree)
{
    HKEY a = Create(HKEY_LOCAL_MACHINE, u"Tree\\A");
    SetDw(a, u"v", 1);
    HKEY deep = Create(a, u"B\\C\\D\\E");
    SetSz(deep, u"s", u"deep");
    RegCloseKey(deep);
    RegCloseKey(a);
    HKEY sibling = Create(HKEY_LOCAL_MACHINE, u"Tree\\Aside");
    RegCloseKey(sibling);

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"tree\\a"), ERROR_SUCCESS);
    HKEY probe = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\A", &probe), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\A\\B\\C\\D\\E", &probe), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree", &probe), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(probe), std::vector<std::u16string>{u"Aside"}) << "the sibling stays";
    RegCloseKey(probe);

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Tree\\A"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Re-created, the key starts empty: nothing of the old subtree comes back.
    HKEY again = Create(HKEY_LOCAL_MACHINE, u"Tree\\A");
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExW(again, u"v", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SubKeys(again).empty());
    RegCloseKey(again);
}

// Windows answers calls through a handle whose key was deleted with
// ERROR_KEY_DELETED (1018); closing the handle still works. The same key
// name made again is another key: the old handle does not reach it.
TEST_F(RegKeys, HandlesOfDeletedKeysFailWithKeyDeleted)
{
    HKEY held = Create(HKEY_LOCAL_MACHINE, u"Doomed\\Child");
    HKEY parentHeld = Create(HKEY_LOCAL_MACHINE, u"Doomed");
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Doomed"), ERROR_SUCCESS);
    HKEY reborn = Create(HKEY_LOCAL_MACHINE, u"Doomed\\Child");
    SetDw(reborn, u"v", 3);

    for (HKEY h : {held, parentHeld}) {
        DWORD cb = 0, v = 1;
        HKEY sub = 0;
        WCHAR name[8];
        DWORD cch = 8;
        EXPECT_EQ(RegQueryValueExW(h, u"v", nullptr, nullptr, nullptr, &cb), ERROR_KEY_DELETED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_KEY_DELETED));
        EXPECT_EQ(RegSetValueExW(h, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegCreateKeyExW(h, u"x", 0, nullptr, 0, 0, nullptr, &sub, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &cb, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    }
    DWORD v = 0, cb = 4;
    EXPECT_EQ(RegQueryValueExW(reborn, u"v", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 3u) << "the old handle's failed set did not reach the new key";
    RegCloseKey(reborn);
}

TEST_F(RegKeys, QueryInfoCountsAndLongestNames)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Info");
    RegCloseKey(Create(k, u"ab"));
    RegCloseKey(Create(k, u"abcdef", u"cls12"));
    SetDw(k, u"n", 1);
    SetSz(k, u"longer", u"0123456789");
    DWORD sub = 0, maxSub = 0, maxCls = 0, vals = 0, maxName = 0, maxData = 0, cch = 0;
    ASSERT_EQ(RegQueryInfoKeyW(k, nullptr, &cch, nullptr, &sub, &maxSub, &maxCls, &vals, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(sub, 2u);
    EXPECT_EQ(maxSub, 6u);
    EXPECT_EQ(maxCls, 5u);
    EXPECT_EQ(vals, 2u);
    EXPECT_EQ(maxName, 6u);
    EXPECT_EQ(maxData, 22u);
    RegCloseKey(k);
}

TEST_F(RegKeys, ChangesSurviveReopeningTheDevice)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Lasting", u"K");
    SetSz(k, u"Name", u"kept");
    // The handle belongs to the device that is closed now.
    Reopen({});
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExW(k, u"Name", nullptr, nullptr, nullptr, &cb), ERROR_INVALID_HANDLE)
        << "handles of a closed device are stale";
    HKEY again = 0;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"LASTING", &again), ERROR_SUCCESS);
    WCHAR text[16];
    cb = sizeof text;
    ASSERT_EQ(RegQueryValueExW(again, u"name", nullptr, nullptr, reinterpret_cast<BYTE *>(text),
                               &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"kept");
    RegCloseKey(again);
}

TEST_F(RegKeys, ARefusedCommitChangesNothing)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Faults");
    SetDw(k, u"v", 1);

    // Opening an existing key commits nothing, so it does not use the fault.
    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    HKEY same = Create(HKEY_LOCAL_MACHINE, u"Faults");
    EXPECT_FALSE(plat::FaultFired(plat::FaultKind::RegistryCommit));
    RegCloseKey(same);

    DWORD two = 2;
    EXPECT_EQ(RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&two), 4),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_REGISTRY_IO_FAILED));
    DWORD v = 0, cb = 4;
    RegQueryValueExW(k, u"v", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb);
    EXPECT_EQ(v, 1u) << "the refused write changed nothing";

    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    HKEY created = 0x77;
    EXPECT_EQ(RegCreateKeyExW(k, u"New\\Deeper", 0, nullptr, 0, 0, nullptr, &created, nullptr),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(created, 0u);
    HKEY probe = 0;
    EXPECT_EQ(Open(k, u"New", &probe), ERROR_FILE_NOT_FOUND) << "no part of the path was made";

    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    EXPECT_EQ(RegDeleteValueW(k, u"v"), ERROR_REGISTRY_IO_FAILED);
    cb = 4;
    EXPECT_EQ(RegQueryValueExW(k, u"v", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb),
              ERROR_SUCCESS);

    RegCloseKey(Create(k, u"Sub"));
    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    EXPECT_EQ(RegDeleteKeyW(k, u"Sub"), ERROR_REGISTRY_IO_FAILED);
    ASSERT_EQ(Open(k, u"Sub", &probe), ERROR_SUCCESS) << "the key is still there";
    RegCloseKey(probe);
    RegCloseKey(k);
    EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "no key handle leaked";
}

TEST_F(RegKeys, DamagedDatabaseIsReportedAndKept)
{
    plat::DeviceClose();
    const std::string db = deviceDir + "/registry.db";
    ASSERT_TRUE(cetest::HostExists(db)) << "the registry lives in the device folder";
    std::remove((db + "-wal").c_str());
    std::remove((db + "-shm").c_str());
    const std::string garbage(8192, 'G');
    cetest::WriteHostFile(db, garbage);
    std::string error;
    EXPECT_FALSE(plat::RegistryOpen(deviceDir, error));
    EXPECT_NE(error.find(db), std::string::npos) << "the error names the file: " << error;
    EXPECT_EQ(cetest::ReadHostFile(db), garbage) << "the damaged file was not replaced";
    EXPECT_FALSE(plat::DeviceOpen(deviceDir, {}, error)) << "the device cannot be used either";
    EXPECT_NE(error.find("registry.db"), std::string::npos) << error;
    EXPECT_EQ(cetest::ReadHostFile(db), garbage);

    // With the registry unusable, calls fail cleanly.
    HKEY k = 0;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, 0, &k), ERROR_SUCCESS);
    EXPECT_EQ(k, 0u);
}

TEST_F(RegKeys, ATruncatedDatabaseIsRefused)
{
    plat::DeviceClose();
    const std::string db = deviceDir + "/registry.db";
    std::string before = cetest::ReadHostFile(db);
    ASSERT_GT(before.size(), 100u);
    std::remove((db + "-wal").c_str());
    std::remove((db + "-shm").c_str());
    cetest::WriteHostFile(db, before.substr(0, 100));
    std::string error;
    EXPECT_FALSE(plat::RegistryOpen(deviceDir, error));
    EXPECT_NE(error.find(db), std::string::npos) << error;
    EXPECT_EQ(cetest::ReadHostFile(db), before.substr(0, 100)) << "left as it was";
}

TEST_F(RegKeys, ADatabaseOfAnotherProgramIsRefused)
{
    plat::DeviceClose();
    const std::string db = deviceDir + "/registry.db";
    std::remove(db.c_str());
    std::remove((db + "-wal").c_str());
    std::remove((db + "-shm").c_str());
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    std::string before = cetest::ReadHostFile(db);
    std::string error;
    EXPECT_FALSE(plat::RegistryOpen(deviceDir, error));
    EXPECT_NE(error.find(db), std::string::npos) << error;
    EXPECT_NE(error.find("not a registry"), std::string::npos) << error;
    EXPECT_EQ(cetest::ReadHostFile(db), before) << "someone else's database is not touched";
}

} // namespace
