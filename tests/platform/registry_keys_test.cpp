// registry_keys_test.cpp - conformance of the registry calls: keys, values,
// enumeration, deletion of subtrees, handles and error numbers.
#include <windows.h>

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/faults.h"
#include "internal/handles.h"
#include "internal/registry.h"

namespace {

using Names = std::vector<std::u16string>;

class RegKeys : public cetest::DeviceFixture {
protected:
    void TearDown() override
    {
        plat::FaultResetAll();
        cetest::DeviceFixture::TearDown();
    }
    HKEY Create(HKEY parent, const char16_t *path, const char16_t *cls = nullptr, DWORD *disposition = nullptr)
    {
        HKEY key = 0;
        std::u16string c = cls ? cls : u"";
        EXPECT_EQ(RegCreateKeyExW(parent, path, 0, cls ? c.data() : nullptr, 0, 0, nullptr, &key, disposition),
                  ERROR_SUCCESS)
            << "creating " << cetest::U8(path);
        return key;
    }
    LONG Open(HKEY parent, const char16_t *path, HKEY *key) { return RegOpenKeyExW(parent, path, 0, KEY_READ, key); }
    void SetSz(HKEY key, const char16_t *name, const std::u16string &text)
    {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * 2)),
                  ERROR_SUCCESS);
    }
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
                return out;
            }
            out.emplace_back(name, cch);
        }
    }
};

struct HostObject : plat::HandleObject {};

TEST_F(RegKeys, KeysOpenInAnyCaseAndKeepTheirNameAndClass)
{
    DWORD disp = 0;
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Demo", u"ParvellRegClass", &disp));
    EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY)) << "first creation";
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\apps\\DEMO", u"Other", &disp);
    EXPECT_EQ(disp, static_cast<DWORD>(REG_OPENED_EXISTING_KEY)) << "same key, other case";
    SetDw(k, u"v", 5);
    WCHAR cls[64];
    DWORD cch = 64, subKeys = 9, values = 9;
    ASSERT_EQ(RegQueryInfoKeyW(k, cls, &cch, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                               nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(cls, cch), u"ParvellRegClass") << "opening with another class changes nothing";
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 1u);

    // An empty subkey (or a null one, measured alike) opens the key itself.
    HKEY same = 0;
    ASSERT_EQ(Open(k, u"", &same), ERROR_SUCCESS);
    EXPECT_EQ(GetDw(same, u"v"), 5u) << "the new handle reaches the same key";
    RegCloseKey(same);
    RegCloseKey(k);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"software\\APPS\\demo\\", &k), ERROR_SUCCESS) << "a trailing separator";
    RegCloseKey(k);

    HKEY apps = 0;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Software\\Apps", &apps), ERROR_SUCCESS);
    EXPECT_EQ(Enum(apps), Names{u"Demo"}) << "the name keeps the case it was created with";
    WCHAR name[64], cls2[64];
    DWORD cchName = 64, cchCls = 64;
    FILETIME ft = {0, 0};
    ASSERT_EQ(RegEnumKeyExW(apps, 0, name, &cchName, nullptr, cls2, &cchCls, &ft), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(cls2, cchCls), u"ParvellRegClass");
    EXPECT_NE(ft.dwHighDateTime, 0u) << "a write time is reported";
    // A class that does not fit: 234, the size needed, nothing copied.
    WCHAR small[4] = {u'#', u'#', u'#', u'#'};
    DWORD cchSmall = 4;
    cchName = 64;
    EXPECT_EQ(RegEnumKeyExW(apps, 0, name, &cchName, nullptr, small, &cchSmall, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(cchSmall, 16u) << "\"ParvellRegClass\" and its terminator";
    EXPECT_EQ(small[0], u'#') << "nothing copied";
    RegCloseKey(apps);

    // Another root is another tree.
    HKEY other = 0xdead;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\Apps\\Demo", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other, 0u) << "a failed open returns no handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "last error is set";
}

TEST_F(RegKeys, BadPathsAndArguments)
{
    const struct {
        std::u16string path;
        LONG error;
    } rows[] = {
        {u"\\Leading", ERROR_BAD_PATHNAME},
        {u"a\\\\b", ERROR_BAD_PATHNAME},
        {u"ok\\" + std::u16string(256, u'y'), ERROR_INVALID_PARAMETER},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE("\"" + cetest::U8(row.path) + "\"");
        HKEY k = 0x1234;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, row.path.c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr),
                  row.error);
        EXPECT_EQ(k, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(row.error));
        EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, row.path.c_str(), &k), row.error);
    }
    HKEY probe = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"ok", &probe), ERROR_FILE_NOT_FOUND) << "the refused calls made nothing";
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, std::u16string(255, u'z').c_str())); // the longest name

    BYTE buf[4];
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, nullptr, 0, 0, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER)
        << "no result pointer";
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"x", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER)
        << "data without a size";
    EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, u"x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER)
        << "a size without data";
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_INVALID_PARAMETER) << "a root is never deleted";
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
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
    EXPECT_EQ(RegOpenKeyExW(h, u"s", 0, 0, &sub), error);
    EXPECT_EQ(RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), error);
    EXPECT_EQ(RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), error);
    EXPECT_EQ(RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &cb, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr),
              error);
    EXPECT_EQ(RegDeleteKeyW(h, u"s"), error);
    EXPECT_EQ(RegDeleteValueW(h, u"v"), error);
    if (h != 0x80000004u) {
        EXPECT_EQ(RegCloseKey(h), error == ERROR_KEY_DELETED ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
    }
}

TEST_F(RegKeys, StaleAndForeignHandlesFailWithInvalidHandle)
{
    HKEY closed = Create(HKEY_LOCAL_MACHINE, u"Handles");
    HKEY ofClosedDevice = Create(HKEY_LOCAL_MACHINE, u"Lasting", u"K");
    SetDw(ofClosedDevice, u"Name", 42);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    Reopen({});
    uint32_t foreign = plat::HandleAlloc(plat::HandleKind::File, std::make_shared<HostObject>());
    ASSERT_NE(foreign, 0u);
    // Not in the table, from an earlier device, of another kind, just past the roots.
    for (HKEY h : {closed, ofClosedDevice, foreign, 0x80000004u})
        ExpectEveryCallFails(h, ERROR_INVALID_HANDLE);
    EXPECT_NE(plat::HandleGet(foreign, plat::HandleKind::File), nullptr) << "the file handle was not touched";
    plat::HandleFree(foreign, plat::HandleKind::File);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "closing a predefined root is harmless";
    EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "no key handle leaked";

    // What was written before the device closed is still there.
    HKEY k = 0;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"LASTING", &k), ERROR_SUCCESS);
    EXPECT_EQ(GetDw(k, u"name"), 42u);
    RegCloseKey(k);
}

TEST_F(RegKeys, DeletingAKeyRemovesItsSubtreeAndItsHandlesFailCleanly)
{
    HKEY a = Create(HKEY_LOCAL_MACHINE, u"Tree\\A");
    SetDw(a, u"v", 1);
    HKEY deep = Create(a, u"B\\C\\D\\E");
    SetSz(deep, u"s", u"deep");
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Tree\\Aside"));

    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"tree\\a"), ERROR_SUCCESS);
    HKEY probe = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\A", &probe), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree\\A\\B\\C\\D\\E", &probe), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree", &probe), ERROR_SUCCESS);
    EXPECT_EQ(Enum(probe), Names{u"Aside"}) << "the sibling stays";
    RegCloseKey(probe);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Tree\\A"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Re-created, the key starts empty, and the handles held on the deleted
    // key and its subkey do not reach it.
    HKEY again = Create(HKEY_LOCAL_MACHINE, u"Tree\\A\\B\\C\\D\\E");
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

TEST_F(RegKeys, ValuesOfEachTypeReadBack)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Values");
    SetSz(k, u"Text", u"Hello \"world\" \\ end");
    SetSz(k, u"NUMBER", u"first");
    SetDw(k, u"Number", 0xdeadbeef); // replaces type and data, keeps the name's first case
    const BYTE bin[] = {0, 1, 2, 0xff, 0x80};
    ASSERT_EQ(RegSetValueExW(k, u"Blob", 0, REG_BINARY, bin, sizeof bin), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    SetSz(k, nullptr, u"default");
    EXPECT_EQ(Enum(k, true), (Names{u"", u"Blob", u"Empty", u"NUMBER", u"Text"}));

    const std::string dflt(reinterpret_cast<const char *>(u"default"), 16);
    const struct {
        const char16_t *name;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {u"text", REG_SZ, std::string(reinterpret_cast<const char *>(u"Hello \"world\" \\ end"), 40)},
        {u"number", REG_DWORD, std::string("\xef\xbe\xad\xde", 4)},
        {u"Blob", REG_BINARY, std::string(reinterpret_cast<const char *>(bin), sizeof bin)},
        {u"Empty", REG_BINARY, std::string()},
        {u"", REG_SZ, dflt},
        {nullptr, REG_SZ, dflt},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name ? cetest::U8(row.name) : "(null)");
        DWORD type = 99, cb = 0;
        ASSERT_EQ(RegQueryValueExW(k, row.name, nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
        EXPECT_EQ(type, row.type);
        EXPECT_EQ(cb, row.bytes.size()) << "size alone";
        std::vector<BYTE> buf(row.bytes.size() + 8, 0xcc);
        cb = static_cast<DWORD>(buf.size());
        ASSERT_EQ(RegQueryValueExW(k, row.name, nullptr, &type, buf.data(), &cb), ERROR_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buf.data()), cb), row.bytes);
        EXPECT_EQ(buf[cb], 0xcc) << "nothing written past the data";
    }
    // One byte short (one check serves every type): 234, the size needed, nothing copied.
    std::vector<BYTE> shortBuf(39, 0xcc);
    DWORD cb = 39;
    EXPECT_EQ(RegQueryValueExW(k, u"Text", nullptr, nullptr, shortBuf.data(), &cb), ERROR_MORE_DATA);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(cb, 40u) << "needed size";
    EXPECT_EQ(shortBuf, std::vector<BYTE>(39, 0xcc)) << "nothing copied";
    EXPECT_EQ(RegQueryValueExW(k, u"Missing", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(k, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(k, u"BLOB"), ERROR_SUCCESS) << "deleted in another case";
    EXPECT_EQ(RegQueryValueExW(k, u"Blob", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);
}

TEST_F(RegKeys, EnumerationIsOrderedByFoldedNameAndCounted)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Order");
    // Folding is to small letters, so '_' (0x5F) sorts before every letter.
    for (const char16_t *n : {u"b", u"A", u"c", u"_x", u"a1", u"\u00c9t\u00e9", u"Zed"}) {
        RegCloseKey(Create(k, n, n[0] == u'c' ? u"cls12" : nullptr));
        SetDw(k, n, 1);
    }
    SetSz(k, u"longer", u"0123456789");
    const Names expected = {u"_x", u"A", u"a1", u"b", u"c", u"Zed", u"\u00c9t\u00e9"};
    EXPECT_EQ(Enum(k), expected);
    Names values = expected;
    values.insert(values.begin() + 5, u"longer");
    EXPECT_EQ(Enum(k, true), values);

    DWORD sub = 0, maxSub = 0, maxCls = 0, vals = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &sub, &maxSub, &maxCls, &vals, &maxName, &maxData,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(sub, 7u);
    EXPECT_EQ(maxSub, 3u);
    EXPECT_EQ(maxCls, 5u);
    EXPECT_EQ(vals, 8u);
    EXPECT_EQ(maxName, 6u);
    EXPECT_EQ(maxData, 22u);

    WCHAR name[8];
    DWORD cch = 8;
    EXPECT_EQ(RegEnumKeyExW(k, 7, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    cch = 8;
    EXPECT_EQ(RegEnumValueW(k, 100, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    // A name buffer that is too small: 234 with the units needed (terminator
    // included); nothing copied.
    WCHAR tiny[2] = {u'#', u'#'};
    cch = 2;
    EXPECT_EQ(RegEnumKeyExW(k, 2, tiny, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(cch, 3u) << "\"a1\" needs three units";
    EXPECT_EQ(tiny[0], u'#');
    // Value data that does not fit: 234 with the bytes needed.
    DWORD cb = 2, type = 0;
    BYTE data[2] = {0xcc, 0xcc};
    cch = 8;
    EXPECT_EQ(RegEnumValueW(k, 0, name, &cch, nullptr, &type, data, &cb), ERROR_MORE_DATA);
    EXPECT_EQ(cb, 4u);
    EXPECT_EQ(data[0], 0xcc);
    RegCloseKey(k);
}

TEST_F(RegKeys, ARefusedCommitChangesNothing)
{
    HKEY k = Create(HKEY_LOCAL_MACHINE, u"Faults");
    SetDw(k, u"v", 1);
    RegCloseKey(Create(k, u"Sub"));

    // Opening an existing key commits nothing, so it does not use the fault.
    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Faults"));
    EXPECT_FALSE(plat::FaultFired(plat::FaultKind::RegistryCommit));
    DWORD two = 2;
    EXPECT_EQ(RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&two), 4), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_REGISTRY_IO_FAILED));
    EXPECT_EQ(GetDw(k, u"v"), 1u) << "the refused write changed nothing";

    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    HKEY created = 0x77;
    EXPECT_EQ(RegCreateKeyExW(k, u"New\\Deeper", 0, nullptr, 0, 0, nullptr, &created, nullptr),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(created, 0u);
    HKEY probe = 0;
    EXPECT_EQ(Open(k, u"New", &probe), ERROR_FILE_NOT_FOUND) << "no part of the path was made";

    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    EXPECT_EQ(RegDeleteValueW(k, u"v"), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(GetDw(k, u"v"), 1u);
    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    EXPECT_EQ(RegDeleteKeyW(k, u"Sub"), ERROR_REGISTRY_IO_FAILED);
    ASSERT_EQ(Open(k, u"Sub", &probe), ERROR_SUCCESS) << "the key is still there";
    RegCloseKey(probe);
    RegCloseKey(k);
    EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "no key handle leaked";
}

TEST_F(RegKeys, ADamagedDatabaseIsReportedAndKept)
{
    plat::DeviceClose();
    const std::string db = deviceDir + "/registry.db";
    ASSERT_TRUE(cetest::HostExists(db)) << "the registry lives in the device folder";
    const std::string good = cetest::ReadHostFile(db);
    ASSERT_GT(good.size(), 100u);
    const struct {
        const char *what, *mentions;
    } cases[] = {{"garbage", ""}, {"truncated", ""}, {"another program's", "not a registry"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.what) + " database");
        std::remove(db.c_str());
        std::remove((db + "-wal").c_str());
        std::remove((db + "-shm").c_str());
        if (c.what[0] == 'g') {
            cetest::WriteHostFile(db, std::string(8192, 'G'));
        } else if (c.what[0] == 't') {
            cetest::WriteHostFile(db, good.substr(0, 100));
        } else {
            sqlite3 *other = nullptr;
            ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr, nullptr,
                                   nullptr),
                      SQLITE_OK);
            sqlite3_close(other);
        }
        const std::string before = cetest::ReadHostFile(db);
        std::string error;
        EXPECT_FALSE(plat::RegistryOpen(deviceDir, error));
        EXPECT_NE(error.find(db), std::string::npos) << "the error names the file: " << error;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        EXPECT_FALSE(plat::DeviceOpen(deviceDir, {}, error)) << "the device cannot be used either";
        EXPECT_NE(error.find("registry.db"), std::string::npos) << error;
        EXPECT_EQ(cetest::ReadHostFile(db), before) << "the damaged file was not replaced";
        // With the registry unusable, calls fail cleanly.
        HKEY k = 0;
        EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, 0, &k), ERROR_SUCCESS);
        EXPECT_EQ(k, 0u);
    }
}

} // namespace
