// regstore.h - the registry area's private view of its store, shared by the
// Reg* calls (registry.cpp) and the text forms (regexport.cpp); the store
// itself (schema, device lock, transactions) is regstore.cpp.
//
// Keys are rows with a parent; the four predefined roots are the rows 1 to 4.
// Names are kept as UTF-16 with their case; lookups and the enumeration
// order use the case-folded name, stored big-endian so that SQLite's byte
// order is the code-unit order.
//
// Everything here is used with the process's registry mutex held (Call
// holds it), except the pure name helpers.
#ifndef CE_PLATFORM_REGISTRY_REGSTORE_H
#define CE_PLATFORM_REGISTRY_REGSTORE_H

#include <windows.h>

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace plat {
namespace reg {

constexpr int kRootCount = 4;

// Windows limits: a key name component has at most 255 units; value names
// are longer on the device (the setup names shared counts by full paths).
constexpr size_t kMaxKeyNameLen = 255;
constexpr size_t kMaxValueNameLen = 16383;
constexpr size_t kMaxPathLen = 32767;

// Full names of the roots, in handle order (HKEY_CLASSES_ROOT first).
extern const char16_t *const kRootNames[kRootCount];

// Row id of the root with that predefined handle value, or 0.
int64_t RootIdOfHandle(uint32_t hkey);

// ---------------------------------------------------------------- names

// Stored forms: the name as UTF-16LE bytes, its folded form as UTF-16BE.
std::string NameBlob(std::u16string_view s);
std::string FoldedBlob(std::u16string_view s);
std::u16string NameFromBlob(const void *p, int n);

// Length of a caller's string, refusing one longer than max.
bool BoundedLength(LPCWSTR s, size_t max, size_t &len);

// Splits a subkey path into its names. A leading or doubled separator is
// refused as Windows refuses it; one trailing separator is accepted.
LONG SplitPath(LPCWSTR path, std::vector<std::u16string> &names);

// Now, in 100-nanosecond intervals since 1601-01-01.
int64_t NowFileTime();

// ---------------------------------------------------------------- the store

// The process's registry mutex.
std::recursive_mutex &Mutex();

// Whether this process has the store open (a child made by fork() has not:
// it drops what it inherited first).
bool StoreOpen();

// The open connection and the file behind it.
sqlite3 *Db();
const std::string &DbPath();

// Changes whenever the store is opened or closed; key handles made under an
// older generation are stale.
uint64_t Generation();

// Win32 error for an SQLite result.
LONG ErrorOf(int rc);

// Steps again a change refused with SQLITE_BUSY inside a transaction that
// has read, while the device lock is held; otherwise returns SQLITE_BUSY.
int StepWhileBusy(sqlite3_stmt *s);

// A cached prepared statement, reset when the holder goes.
class Stmt {
public:
    explicit Stmt(const char *sql);
    ~Stmt()
    {
        if (s_) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    Stmt &Int(int i, int64_t v)
    {
        if (s_)
            sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    // Binds bytes; an empty string is an empty blob, never NULL.
    Stmt &Blob(int i, const std::string &v) { return Blob(i, v.data(), v.size()); }
    Stmt &Blob(int i, const void *p, size_t n)
    {
        if (s_)
            sqlite3_bind_blob(s_, i, n ? p : "", static_cast<int>(n), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step()
    {
        if (!s_)
            return prepareError_ ? prepareError_ : SQLITE_ERROR;
        int rc = sqlite3_step(s_);
        return rc == SQLITE_BUSY ? StepWhileBusy(s_) : rc;
    }
    // Runs a statement that returns no rows.
    int Run()
    {
        int rc = Step();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    int64_t ColInt(int c) { return sqlite3_column_int64(s_, c); }
    std::u16string ColName(int c)
    {
        return NameFromBlob(sqlite3_column_blob(s_, c), sqlite3_column_bytes(s_, c));
    }
    std::string ColBytes(int c)
    {
        const void *p = sqlite3_column_blob(s_, c);
        int n = sqlite3_column_bytes(s_, c);
        return p && n > 0 ? std::string(static_cast<const char *>(p), static_cast<size_t>(n))
                          : std::string();
    }

private:
    sqlite3_stmt *s_ = nullptr;
    int prepareError_ = 0;
};

int Exec(const char *sql);

// The transaction of one Reg* call, made under the device lock (Call).
// While this process holds the device lock no other process changes the
// store, so what a call read stays true until the lock is given back:
// calls made under one hold of the lock (a key handle opened, a value read
// and then set through it) share one SQLite transaction. A call begins it
// when none is open; a change commits it before the call returns; a change
// that is not committed is rolled back when the Txn goes; a read leaves it
// open, and it ends when the device lock is released.
class Txn {
public:
    Txn();
    ~Txn();
    Txn(const Txn &) = delete;
    Txn &operator=(const Txn &) = delete;

    // ERROR_SUCCESS when the transaction is open.
    LONG Started() const { return rc_ == SQLITE_OK ? ERROR_SUCCESS : ErrorOf(rc_); }

    // Commits the change. The fault hook may refuse it, as a failed write
    // of the device's store would: nothing is changed then.
    LONG CommitChange();

private:
    int rc_ = SQLITE_OK;
};

// Held by every Reg* call: the process's registry mutex and the device lock.
class Call {
public:
    Call();
    ~Call();
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    LONG Error() const { return err_; }

private:
    std::lock_guard<std::recursive_mutex> guard_;
    LONG err_ = ERROR_SUCCESS;
    bool locked_ = false;
};

// A key handle holds a share of the device lock while it is open: taken
// inside a Call (which holds the lock), given back when the handle goes.
// A share of an older generation is not given back (its lock went with
// the store it was taken on).
void LockShareTake();
void LockShareGive(uint64_t generation);

// ---------------------------------------------------------------- keys

// Inside a transaction.
bool KeyExists(int64_t id);
// The child of parent with that name (any case); 0 when missing, -1 on error.
int64_t FindChild(int64_t parent, const std::u16string &name, int &rc);
// Follows names from a key; ERROR_FILE_NOT_FOUND when one is missing.
LONG WalkNames(int64_t from, const std::vector<std::u16string> &names, int64_t &id);
// Sets the key's last-write time to now (kept to the second).
int TouchKey(int64_t id);

// ---------------------------------------------------------------- text forms

struct ValueRow {
    std::u16string name;
    uint32_t type = 0;
    std::string data; // raw bytes
};

struct KeyRow {
    int64_t id = 0;
    std::u16string path; // "HKEY_LOCAL_MACHINE\Software\Apps", stored case
    std::u16string cls;
    std::vector<ValueRow> values; // enumeration order
    bool hasChildren = false;
};

// Walks the keys under startPath ("" = every root) in enumeration order,
// parents first, inside one read transaction of the open store, calling
// visit for each. A root is visited only when it is the start or holds
// values. False with a message when the store is not open, the start key
// does not exist, or reading fails.
bool Walk(const std::string &startPathUtf8, const std::function<void(const KeyRow &)> &visit,
          std::string &error);

} // namespace reg
} // namespace plat

#endif
