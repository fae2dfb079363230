// registry.cpp - the device registry: the Reg* calls over the store of
// regstore.cpp.
//
// A call is made under the device lock and in one transaction of the store
// (see regstore.cpp); a change is committed before the call returns. A key
// handle holds a share of the device lock while it is open.
//
// Handles of deleted keys: the key's row is gone (row ids are never
// reused), and every call through such a handle fails with
// ERROR_KEY_DELETED, as on Windows; closing it still succeeds.
#include <windows.h>

#include <cstring>
#include <optional>
#include <vector>

#include "kernel/handles.h"
#include "kernel/changes.h"
#include "registry/regstore.h"

namespace plat {
namespace {

using namespace reg;

// Largest value data a call may store.
constexpr DWORD kMaxValueSize = 1024 * 1024;

LONG Fail(LONG err)
{
    SetLastError(static_cast<DWORD>(err));
    return err;
}

LONG ValueName(LPCWSTR name, std::u16string &out)
{
    size_t len;
    if (!BoundedLength(name, kMaxValueNameLen, len))
        return ERROR_INVALID_PARAMETER;
    out.assign(name ? name : u"", len);
    return ERROR_SUCCESS;
}

void ToFileTime(int64_t v, PFILETIME ft)
{
    if (!ft)
        return;
    ft->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(v) & 0xffffffffu);
    ft->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(v) >> 32);
}

// ---------------------------------------------------------------- key handles

struct KeyObject : HandleObject {
    int64_t id = 0;
    uint64_t generation = 0;
    bool counted = false; // holds a share of the device lock
    ~KeyObject() override
    {
        if (counted)
            LockShareGive(generation);
    }
};

// A new handle for a key; the device lock stays held while it is open.
HKEY NewKeyHandle(int64_t id)
{
    auto obj = std::make_shared<KeyObject>();
    obj->id = id;
    obj->generation = Generation();
    uint32_t h = HandleAlloc(HandleKind::RegKey, obj);
    if (h == 0)
        return 0;
    LockShareTake();
    obj->counted = true;
    return h;
}

// The key row behind a handle: a predefined root or a live key handle.
LONG ResolveKey(HKEY hKey, int64_t &id)
{
    id = reg::RootIdOfHandle(hKey);
    if (id != 0)
        return ERROR_SUCCESS;
    auto obj = HandleGetAs<KeyObject>(hKey, HandleKind::RegKey);
    if (!obj || obj->generation != Generation())
        return ERROR_INVALID_HANDLE;
    id = obj->id;
    return ERROR_SUCCESS;
}

// Inside a transaction: the handle's key must still exist.
LONG CheckLive(int64_t id)
{
    return KeyExists(id) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// One Reg* call on a key handle: the call's locks, the key behind the
// handle, then (from Begin) the transaction in which the key must still
// exist. Members go in reverse order, so the transaction ends before the
// locks are released.
class KeyCall {
public:
    explicit KeyCall(HKEY hKey)
    {
        if ((err_ = call_.Error()) == ERROR_SUCCESS)
            err_ = ResolveKey(hKey, id_);
    }
    KeyCall(const KeyCall &) = delete;
    KeyCall &operator=(const KeyCall &) = delete;

    LONG Error() const { return err_; }
    int64_t Id() const { return id_; }

    // Fails with the call's own error first, so a call with nothing to
    // check in between can begin at once.
    LONG Begin()
    {
        if (err_ != ERROR_SUCCESS)
            return err_;
        txn_.emplace();
        LONG err = txn_->Started();
        return err != ERROR_SUCCESS ? err : CheckLive(id_);
    }
    LONG Commit() { return txn_->CommitChange(); }

private:
    Call call_;
    LONG err_ = ERROR_SUCCESS;
    int64_t id_ = 0;
    std::optional<Txn> txn_;
};

} // namespace
} // namespace plat

using namespace plat;
using namespace plat::reg;

// ---------------------------------------------------------------- the Reg* calls

namespace {

// The full path of a key ("HKEY_LOCAL_MACHINE\\Software\\X", names as
// stored), for change notices; inside the call's transaction.
std::u16string KeyPathOf(int64_t id)
{
    std::u16string path;
    for (int depth = 0; id != 0 && depth < 512; ++depth) {
        Stmt st("SELECT parent, name FROM keys WHERE id = ?1");
        st.Int(1, id);
        if (st.Step() != SQLITE_ROW)
            break;
        std::u16string name = st.ColName(1);
        path = path.empty() ? name : name + u"\\" + path;
        id = st.ColInt(0);
    }
    return path;
}

void PublishKeyChange(DeviceChange::Op op, std::u16string key, std::u16string value = u"")
{
    DeviceChange c;
    c.op = op;
    c.key = std::move(key);
    c.value = std::move(value);
    ChangesPublish(c);
}

// RegCreateKeyExW and RegOpenKeyExW share this: open (and maybe create)
// hKey\subKey and hand out a new handle.
LONG OpenOrCreate(HKEY hKey, LPCWSTR lpSubKey, bool create, LPCWSTR lpClass, PHKEY phkResult,
                  LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return Fail(ERROR_INVALID_PARAMETER);
    *phkResult = 0;
    KeyCall kc(hKey);
    if (kc.Error())
        return Fail(kc.Error());
    const int64_t id = kc.Id();
    std::vector<std::u16string> names;
    LONG err = SplitPath(lpSubKey, names);
    if (err)
        return Fail(err);
    std::u16string cls;
    size_t clsLen;
    if (!BoundedLength(lpClass, kMaxValueNameLen, clsLen))
        return Fail(ERROR_INVALID_PARAMETER);
    if (lpClass)
        cls.assign(lpClass, clsLen);

    if ((err = kc.Begin()) != ERROR_SUCCESS)
        return Fail(err);
    bool created = false;
    int64_t cur = id;
    const bool notify = create && ChangesWanted();
    std::vector<std::u16string> made;
    for (const auto &n : names) {
        int rc;
        int64_t child = FindChild(cur, n, rc);
        if (child < 0)
            return Fail(ErrorOf(rc));
        if (child == 0) {
            if (!create)
                return Fail(ERROR_FILE_NOT_FOUND);
            Stmt st("INSERT INTO keys(parent, name, folded, class, written)"
                    " VALUES(?1, ?2, ?3, ?4, ?5)");
            st.Int(1, cur).Blob(2, NameBlob(n)).Blob(3, FoldedBlob(n)).Blob(4, NameBlob(cls));
            st.Int(5, NowFileTime());
            if ((rc = st.Run()) != SQLITE_OK)
                return Fail(ErrorOf(rc));
            child = sqlite3_last_insert_rowid(Db());
            created = true;
            if (notify)
                made.push_back(KeyPathOf(child));
        }
        cur = child;
    }
    HKEY h = NewKeyHandle(cur);
    if (h == 0)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    if (created) {
        if ((err = kc.Commit()) != ERROR_SUCCESS) {
            HandleFree(h, HandleKind::RegKey);
            return Fail(err);
        }
    }
    *phkResult = h;
    if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    for (std::u16string &k : made)
        PublishKeyChange(DeviceChange::KeyCreate, std::move(k));
    return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer counted in units, terminator
// included. Too small: ERROR_MORE_DATA, nothing copied.
LONG CheckNameRoom(const std::u16string &s, LPDWORD lpcch)
{
    return *lpcch < s.size() + 1 ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

void CopyName(const std::u16string &s, LPWSTR dst, LPDWORD lpcch)
{
    std::memcpy(dst, s.data(), s.size() * sizeof(WCHAR));
    dst[s.size()] = 0;
    *lpcch = static_cast<DWORD>(s.size());
}

} // namespace

// RegCreateKeyExW
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                     PHKEY phkResult, LPDWORD lpdwDisposition)
{
    return OpenOrCreate(hKey, lpSubKey, true, lpClass, phkResult, lpdwDisposition);
}

// RegOpenKeyExW
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult)
{
    return OpenOrCreate(hKey, lpSubKey, false, nullptr, phkResult, nullptr);
}

// RegCloseKey
LONG RegCloseKey(HKEY hKey)
{
    if (reg::RootIdOfHandle(hKey) != 0)
        return ERROR_SUCCESS; // the predefined roots are never closed
    std::lock_guard<std::recursive_mutex> guard(Mutex());
    if (!HandleFree(hKey, HandleKind::RegKey))
        return Fail(ERROR_INVALID_HANDLE);
    return ERROR_SUCCESS;
}

// RegQueryValueExW
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpData && !lpcbData)
        return Fail(ERROR_INVALID_PARAMETER);
    KeyCall kc(hKey);
    if (kc.Error())
        return Fail(kc.Error());
    const int64_t id = kc.Id();
    LONG err;
    std::u16string name;
    if ((err = ValueName(lpValueName, name)) != ERROR_SUCCESS)
        return Fail(err);
    if ((err = kc.Begin()) != ERROR_SUCCESS)
        return Fail(err);
    DWORD type;
    std::string data;
    {
        Stmt st("SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
        st.Int(1, id).Blob(2, FoldedBlob(name));
        int rc = st.Step();
        if (rc == SQLITE_DONE)
            return Fail(ERROR_FILE_NOT_FOUND);
        if (rc != SQLITE_ROW)
            return Fail(ErrorOf(rc));
        type = static_cast<DWORD>(st.ColInt(0));
        data = st.ColBytes(1);
    }
    if (lpType)
        *lpType = type;
    if (lpData) {
        if (*lpcbData < data.size()) {
            *lpcbData = static_cast<DWORD>(data.size());
            return Fail(ERROR_MORE_DATA);
        }
        if (!data.empty())
            std::memcpy(lpData, data.data(), data.size());
    }
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_SUCCESS;
}

// RegSetValueExW
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE *lpData, DWORD cbData)
{
    if ((!lpData && cbData != 0) || cbData > kMaxValueSize)
        return Fail(ERROR_INVALID_PARAMETER);
    KeyCall kc(hKey);
    if (kc.Error())
        return Fail(kc.Error());
    const int64_t id = kc.Id();
    LONG err;
    std::u16string name;
    if ((err = ValueName(lpValueName, name)) != ERROR_SUCCESS)
        return Fail(err);
    if ((err = kc.Begin()) != ERROR_SUCCESS)
        return Fail(err);
    // An existing value keeps the case of its name.
    Stmt st("INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
            " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    st.Int(1, id).Blob(2, NameBlob(name)).Blob(3, FoldedBlob(name)).Int(4, dwType);
    st.Blob(5, lpData, cbData);
    int rc = st.Run();
    if (rc == SQLITE_OK)
        rc = TouchKey(id);
    if (rc != SQLITE_OK)
        return Fail(ErrorOf(rc));
    std::u16string key = ChangesWanted() ? KeyPathOf(id) : std::u16string();
    if ((err = kc.Commit()) != ERROR_SUCCESS)
        return Fail(err);
    if (!key.empty())
        PublishKeyChange(DeviceChange::ValueSet, std::move(key), name);
    return ERROR_SUCCESS;
}

// RegDeleteValueW
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    KeyCall kc(hKey);
    if (kc.Error())
        return Fail(kc.Error());
    const int64_t id = kc.Id();
    LONG err;
    std::u16string name;
    if ((err = ValueName(lpValueName, name)) != ERROR_SUCCESS)
        return Fail(err);
    if ((err = kc.Begin()) != ERROR_SUCCESS)
        return Fail(err);
    Stmt st("DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    st.Int(1, id).Blob(2, FoldedBlob(name));
    int rc = st.Run();
    if (rc != SQLITE_OK)
        return Fail(ErrorOf(rc));
    if (sqlite3_changes(Db()) == 0)
        return Fail(ERROR_FILE_NOT_FOUND);
    if ((rc = TouchKey(id)) != SQLITE_OK)
        return Fail(ErrorOf(rc));
    std::u16string key = ChangesWanted() ? KeyPathOf(id) : std::u16string();
    if ((err = kc.Commit()) != ERROR_SUCCESS)
        return Fail(err);
    if (!key.empty())
        PublishKeyChange(DeviceChange::ValueDelete, std::move(key), name);
    return ERROR_SUCCESS;
}

// RegDeleteKeyW
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    KeyCall kc(hKey);
    if (kc.Error())
        return Fail(kc.Error());
    const int64_t id = kc.Id();
    LONG err;
    std::vector<std::u16string> names;
    if ((err = SplitPath(lpSubKey, names)) != ERROR_SUCCESS)
        return Fail(err);
    // A key deletes its subtree, never itself through an empty name, and
    // never a root.
    if (names.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    if ((err = kc.Begin()) != ERROR_SUCCESS)
        return Fail(err);
    int64_t target;
    if ((err = WalkNames(id, names, target)) != ERROR_SUCCESS)
        return Fail(err);
    int64_t parent;
    {
        Stmt st("SELECT parent FROM keys WHERE id = ?1");
        st.Int(1, target);
        if (st.Step() != SQLITE_ROW)
            return Fail(ERROR_FILE_NOT_FOUND);
        parent = st.ColInt(0);
    }
    std::u16string gone = ChangesWanted() ? KeyPathOf(target) : std::u16string();
    // The subtree, parents first, found and deleted key by key with plain
    // statements: a product's keys are a handful, and a recursive query
    // costs a short-lived process more to prepare and run the first time
    // (about a millisecond each) than the whole walk. Every key has one
    // parent, so the walk from a key meets each key below it once.
    int rc = SQLITE_OK;
    std::vector<int64_t> subtree{target};
    for (size_t k = 0; rc == SQLITE_OK && k < subtree.size(); ++k) {
        Stmt st("SELECT id FROM keys WHERE parent = ?1");
        st.Int(1, subtree[k]);
        while ((rc = st.Step()) == SQLITE_ROW)
            subtree.push_back(st.ColInt(0));
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    for (size_t k = 0; rc == SQLITE_OK && k < subtree.size(); ++k) {
        Stmt st("DELETE FROM vals WHERE key = ?1");
        st.Int(1, subtree[k]);
        rc = st.Run();
        if (rc == SQLITE_OK) {
            Stmt key("DELETE FROM keys WHERE id = ?1");
            key.Int(1, subtree[k]);
            rc = key.Run();
        }
    }
    if (rc == SQLITE_OK)
        rc = TouchKey(parent);
    if (rc != SQLITE_OK)
        return Fail(ErrorOf(rc));
    if ((err = kc.Commit()) != ERROR_SUCCESS)
        return Fail(err);
    if (!gone.empty())
        PublishKeyChange(DeviceChange::KeyDelete, std::move(gone));
    return ERROR_SUCCESS;
}

// RegEnumKeyExW
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcClass, PFILETIME lpftLastWriteTime)
{
    if (!lpName || !lpcName || (lpClass && !lpcClass))
        return Fail(ERROR_INVALID_PARAMETER);
    KeyCall kc(hKey);
    LONG err = kc.Begin();
    if (err != ERROR_SUCCESS)
        return Fail(err);
    const int64_t id = kc.Id();
    std::u16string name, cls;
    int64_t written;
    {
        Stmt st("SELECT name, class, written FROM keys WHERE parent = ?1 ORDER BY folded"
                " LIMIT 1 OFFSET ?2");
        st.Int(1, id).Int(2, dwIndex);
        int rc = st.Step();
        if (rc == SQLITE_DONE)
            return Fail(ERROR_NO_MORE_ITEMS);
        if (rc != SQLITE_ROW)
            return Fail(ErrorOf(rc));
        name = st.ColName(0);
        cls = st.ColName(1);
        written = st.ColInt(2);
    }
    // Nothing is copied unless everything fits; the sizes say what would.
    bool small = CheckNameRoom(name, lpcName) != ERROR_SUCCESS ||
                 (lpClass && CheckNameRoom(cls, lpcClass) != ERROR_SUCCESS);
    if (small) {
        *lpcName = static_cast<DWORD>(name.size() + 1);
        if (lpClass)
            *lpcClass = static_cast<DWORD>(cls.size() + 1);
        return Fail(ERROR_MORE_DATA);
    }
    CopyName(name, lpName, lpcName);
    if (lpClass)
        CopyName(cls, lpClass, lpcClass);
    ToFileTime(written, lpftLastWriteTime);
    return ERROR_SUCCESS;
}

// RegEnumValueW
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return Fail(ERROR_INVALID_PARAMETER);
    KeyCall kc(hKey);
    LONG err = kc.Begin();
    if (err != ERROR_SUCCESS)
        return Fail(err);
    const int64_t id = kc.Id();
    std::u16string name;
    DWORD type;
    std::string data;
    {
        Stmt st("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded"
                " LIMIT 1 OFFSET ?2");
        st.Int(1, id).Int(2, dwIndex);
        int rc = st.Step();
        if (rc == SQLITE_DONE)
            return Fail(ERROR_NO_MORE_ITEMS);
        if (rc != SQLITE_ROW)
            return Fail(ErrorOf(rc));
        name = st.ColName(0);
        type = static_cast<DWORD>(st.ColInt(1));
        data = st.ColBytes(2);
    }
    bool small = CheckNameRoom(name, lpcchValueName) != ERROR_SUCCESS ||
                 (lpData && *lpcbData < data.size());
    if (lpType)
        *lpType = type;
    if (small) {
        *lpcchValueName = static_cast<DWORD>(name.size() + 1);
        if (lpcbData)
            *lpcbData = static_cast<DWORD>(data.size());
        return Fail(ERROR_MORE_DATA);
    }
    CopyName(name, lpValueName, lpcchValueName);
    if (lpData && !data.empty())
        std::memcpy(lpData, data.data(), data.size());
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_SUCCESS;
}

// RegQueryInfoKeyW
LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcMaxSubKeyLen, LPDWORD lpcMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcMaxValueNameLen, LPDWORD lpcMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    if (lpClass && !lpcClass)
        return Fail(ERROR_INVALID_PARAMETER);
    KeyCall kc(hKey);
    LONG err = kc.Begin();
    if (err != ERROR_SUCCESS)
        return Fail(err);
    const int64_t id = kc.Id();
    std::u16string cls;
    int64_t written;
    {
        Stmt st("SELECT class, written FROM keys WHERE id = ?1");
        st.Int(1, id);
        int rc = st.Step();
        if (rc == SQLITE_DONE)
            return Fail(ERROR_KEY_DELETED);
        if (rc != SQLITE_ROW)
            return Fail(ErrorOf(rc));
        cls = st.ColName(0);
        written = st.ColInt(1);
    }
    int64_t subKeys, maxSub, maxCls, values, maxName, maxData;
    {
        Stmt st("SELECT count(*), ifnull(max(length(name)), 0) / 2,"
                " ifnull(max(length(class)), 0) / 2 FROM keys WHERE parent = ?1");
        st.Int(1, id);
        int rc = st.Step();
        if (rc != SQLITE_ROW)
            return Fail(ErrorOf(rc));
        subKeys = st.ColInt(0);
        maxSub = st.ColInt(1);
        maxCls = st.ColInt(2);
    }
    {
        Stmt st("SELECT count(*), ifnull(max(length(name)), 0) / 2,"
                " ifnull(max(length(data)), 0) FROM vals WHERE key = ?1");
        st.Int(1, id);
        int rc = st.Step();
        if (rc != SQLITE_ROW)
            return Fail(ErrorOf(rc));
        values = st.ColInt(0);
        maxName = st.ColInt(1);
        maxData = st.ColInt(2);
    }
    if (lpClass) {
        if (CheckNameRoom(cls, lpcClass) != ERROR_SUCCESS) {
            *lpcClass = static_cast<DWORD>(cls.size() + 1);
            return Fail(ERROR_MORE_DATA);
        }
        CopyName(cls, lpClass, lpcClass);
    } else if (lpcClass) {
        *lpcClass = static_cast<DWORD>(cls.size());
    }
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(subKeys);
    if (lpcMaxSubKeyLen)
        *lpcMaxSubKeyLen = static_cast<DWORD>(maxSub);
    if (lpcMaxClassLen)
        *lpcMaxClassLen = static_cast<DWORD>(maxCls);
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(values);
    if (lpcMaxValueNameLen)
        *lpcMaxValueNameLen = static_cast<DWORD>(maxName);
    if (lpcMaxValueLen)
        *lpcMaxValueLen = static_cast<DWORD>(maxData);
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    ToFileTime(written, lpftLastWriteTime);
    return ERROR_SUCCESS;
}
