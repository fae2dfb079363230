// regstore.cpp - the registry's store: an SQLite database in the device
// folder, the device lock that serialises processes, and the transactions
// the Reg* calls (registry.cpp) run in.
//
// The store is DIR/registry.db in WAL mode. Every change is committed
// before its call returns, so a process killed at any moment leaves a
// readable registry holding every change whose call had returned.
//
// Several processes may use one device. They are serialised by an advisory
// lock (flock) on DIR/registry.lock, which a process holds for the length of
// each call AND for as long as it has any key handle open. So a
// read-then-write made through one key handle (the shared counts of the
// setup: open, query, set, close) cannot interleave with another process's,
// while every single change is still committed at once. Keys are only open
// briefly in this system; a process that keeps one open holds the others
// off the registry until it closes it (a waiter gives up after a while with
// ERROR_REGISTRY_IO_FAILED rather than hanging).
//
// Since nobody else changes the store while the lock is held, the calls
// made under one hold share one SQLite transaction: the reads of a
// read-then-write (open, query, set) take one snapshot and the write
// commits it, so a shared count costs one transaction, not three.
#include "registry/regstore.h"

#include <cassert>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <cstdio>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <unordered_map>

#include "kernel/faults.h"
#include "registry/registry.h"
#include "text/text.h"

namespace plat {
namespace reg {

const char16_t *const kRootNames[kRootCount] = {
    u"HKEY_CLASSES_ROOT",
    u"HKEY_CURRENT_USER",
    u"HKEY_LOCAL_MACHINE",
    u"HKEY_USERS",
};

int64_t RootIdOfHandle(uint32_t hkey)
{
    if (hkey >= 0x80000000u && hkey < 0x80000000u + kRootCount)
        return static_cast<int64_t>(hkey - 0x80000000u) + 1;
    return 0;
}


// ---------------------------------------------------------------- names

// Stored forms: the name as UTF-16LE bytes, its folded form as UTF-16BE.
std::string NameBlob(std::u16string_view s)
{
    std::string out(s.size() * 2, '\0');
    for (size_t i = 0; i < s.size(); ++i) {
        out[2 * i] = static_cast<char>(s[i] & 0xff);
        out[2 * i + 1] = static_cast<char>(s[i] >> 8);
    }
    return out;
}

std::string FoldedBlob(std::u16string_view s)
{
    std::u16string f = Fold(s);
    std::string out(f.size() * 2, '\0');
    for (size_t i = 0; i < f.size(); ++i) {
        out[2 * i] = static_cast<char>(f[i] >> 8);
        out[2 * i + 1] = static_cast<char>(f[i] & 0xff);
    }
    return out;
}

std::u16string NameFromBlob(const void *p, int n)
{
    const unsigned char *b = static_cast<const unsigned char *>(p);
    std::u16string out;
    if (!b || n <= 0)
        return out;
    out.resize(static_cast<size_t>(n) / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    return out;
}

// Length of a caller's string, refusing one longer than max.
bool BoundedLength(LPCWSTR s, size_t max, size_t &len)
{
    len = 0;
    if (!s)
        return true;
    while (s[len]) {
        if (++len > max)
            return false;
    }
    return true;
}

// Splits a subkey path into its names. A leading or doubled separator is
// refused as Windows refuses it; one trailing separator is accepted.
LONG SplitPath(LPCWSTR path, std::vector<std::u16string> &names)
{
    names.clear();
    size_t len;
    if (!BoundedLength(path, kMaxPathLen, len))
        return ERROR_INVALID_PARAMETER;
    if (len == 0)
        return ERROR_SUCCESS;
    std::u16string_view all(path, len);
    if (all[0] == u'\\')
        return ERROR_BAD_PATHNAME;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = all.size();
        if (end == start)
            return ERROR_BAD_PATHNAME;
        if (end - start > kMaxKeyNameLen)
            return ERROR_INVALID_PARAMETER;
        names.emplace_back(all.substr(start, end - start));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

int64_t NowFileTime()
{
    // 100-nanosecond intervals since 1601-01-01.
    auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return since1970 / 100 + 116444736000000000LL;
}

// ---------------------------------------------------------------- the store

namespace {

// How long a call waits for another process to leave the registry.
constexpr int kLockWaitMs = 30000;

const char *const kFormat = "cesetup-registry 1";

struct Store {
    sqlite3 *db = nullptr;
    std::string dir;
    std::string dbPath;
    int lockFd = -1;
    bool mayCreate = true;   // a registry without tables may be made (a new device)
    bool readOnly = false;   // opened for reading only (tools that change nothing)
    dev_t dbDev = 0;         // the database file as opened: a file removed or
    ino_t dbIno = 0;         // replaced under a running device is refused
    bool goneReported = false;
    int lockDepth = 0; // calls in progress + open key handles
    bool inherited = false; // this process is a child made by fork()
    uint64_t generation = 0;
    std::unordered_map<const char *, sqlite3_stmt *> statements;
    // Keys seen to exist in the open transaction. Every change ends the
    // transaction it is made in, so what one transaction saw stays true
    // until it ends; a new one starts with an empty list.
    int64_t seenLive[4] = {};
    unsigned seenCount = 0;
};

std::recursive_mutex g_mu;
Store g_store;
uint64_t g_generation = 0;

// A child made by fork() inherits the parent's connection and lock file
// description; neither may be used (nor closed) by the child, so they are
// dropped and the child opens the registry afresh. The fork handler marks
// them, which spares every call a getpid().
void MarkInherited()
{
    if (g_store.db != nullptr)
        g_store.inherited = true;
}

void ForgetInheritedStore()
{
    if (g_store.inherited) {
        if (g_store.lockFd >= 0)
            close(g_store.lockFd);
        g_store = Store{};
        ++g_generation;
    }
}

} // namespace

std::recursive_mutex &Mutex()
{
    return g_mu;
}

bool StoreOpen()
{
    return g_store.db != nullptr && !g_store.inherited;
}

sqlite3 *Db()
{
    return g_store.db;
}

const std::string &DbPath()
{
    return g_store.dbPath;
}

uint64_t Generation()
{
    return g_generation;
}

LONG ErrorOf(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// ---------------------------------------------------------------- SQL

Stmt::Stmt(const char *sql)
{
    auto it = g_store.statements.find(sql);
    if (it != g_store.statements.end()) {
        s_ = it->second;
    } else if (sqlite3_prepare_v3(g_store.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_,
                                  nullptr) == SQLITE_OK) {
        g_store.statements.emplace(sql, s_);
    } else {
        prepareError_ = sqlite3_errcode(g_store.db);
        s_ = nullptr;
    }
}

int Exec(const char *sql)
{
    return sqlite3_exec(g_store.db, sql, nullptr, nullptr, nullptr);
}

namespace {

// BEGIN, COMMIT and ROLLBACK, prepared once like every other statement.
int RunCached(const char *sql)
{
    Stmt st(sql);
    return st.Run();
}

bool InTxn()
{
    return sqlite3_get_autocommit(g_store.db) == 0;
}

// Ends whatever transaction is open; nothing uncommitted is kept.
void EndTxn()
{
    if (g_store.db != nullptr && InTxn())
        RunCached("ROLLBACK");
}

} // namespace

Txn::Txn()
{
    if (InTxn())
        return;
    g_store.seenCount = 0;
    rc_ = RunCached("BEGIN");
}

Txn::~Txn()
{
    if (sqlite3_txn_state(g_store.db, nullptr) == SQLITE_TXN_WRITE)
        RunCached("ROLLBACK");
}

// Whether the database file is still the one opened. SQLite keeps writing to
// a file that was deleted or replaced under it, and every change would then
// be lost with the process; such a registry is refused, said once.
static bool DatabaseStillThere()
{
    struct stat st;
    if (stat(g_store.dbPath.c_str(), &st) == 0 && st.st_dev == g_store.dbDev && st.st_ino == g_store.dbIno)
        return true;
    if (!g_store.goneReported) {
        g_store.goneReported = true;
        std::fprintf(stderr, "%s: the registry database was removed or replaced while in use; "
                             "no change is made to it\n", g_store.dbPath.c_str());
    }
    return false;
}

LONG Txn::CommitChange()
{
    if (rc_ != SQLITE_OK)
        return ErrorOf(rc_);
    if (!DatabaseStillThere()) {
        RunCached("ROLLBACK");
        return ERROR_REGISTRY_IO_FAILED;
    }
    if (FaultHit(FaultKind::RegistryCommit)) {
        RunCached("ROLLBACK");
        return ERROR_REGISTRY_IO_FAILED;
    }
    int rc = RunCached("COMMIT");
    if (rc != SQLITE_OK) {
        EndTxn();
        return ErrorOf(rc);
    }
    return ERROR_SUCCESS;
}

// Under the device lock this process is the device's only writer, yet
// SQLite's write lock may still be held for a moment by another process that
// only reads: one opening the registry cold rebuilds the log's index under
// it, and a reader that catches a header half written takes it to read
// again. SQLite does not wait for it once the transaction has read (it
// cannot tell that from a second writer), so the change waits here. Nothing
// was written when the lock was refused: the statement is simply run again.
int StepWhileBusy(sqlite3_stmt *s)
{
    sqlite3 *db = sqlite3_db_handle(s);
    if (g_store.lockDepth <= 0 || db != g_store.db || sqlite3_stmt_readonly(s) ||
        sqlite3_txn_state(db, nullptr) != SQLITE_TXN_READ)
        return SQLITE_BUSY;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    long pauseNs = 20000;
    int rc = SQLITE_BUSY;
    while (rc == SQLITE_BUSY && std::chrono::steady_clock::now() < deadline) {
        struct timespec ts = {0, pauseNs};
        nanosleep(&ts, nullptr);
        if (pauseNs < 2000000)
            pauseNs *= 2;
        sqlite3_reset(s);
        rc = sqlite3_step(s);
    }
    return rc;
}

// ---------------------------------------------------------------- device lock

namespace {

bool LockAcquire()
{
    if (g_store.lockDepth > 0) {
        ++g_store.lockDepth;
        return true;
    }
    // A reader on a folder where no lock file could be opened: nobody can
    // change that registry either.
    if (g_store.lockFd < 0 && g_store.readOnly) {
        g_store.lockDepth = 1;
        return true;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    long pauseNs = 50000;
    for (;;) {
        if (flock(g_store.lockFd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        struct timespec ts = {0, pauseNs};
        nanosleep(&ts, nullptr);
        if (pauseNs < 2000000)
            pauseNs *= 2;
    }
    g_store.lockDepth = 1;
    return true;
}

void LockRelease()
{
    if (g_store.lockDepth <= 0)
        return;
    assert(g_store.lockDepth < 1 << 20 && "a lock taken without being given back");
    if (--g_store.lockDepth == 0) {
        // The snapshot is true only while the lock is held.
        EndTxn();
        if (g_store.lockFd >= 0)
            flock(g_store.lockFd, LOCK_UN);
    }
}

} // namespace

Call::Call() : guard_(g_mu)
{
    ForgetInheritedStore();
    if (!StoreOpen()) {
        err_ = ERROR_REGISTRY_IO_FAILED;
        return;
    }
    if (!LockAcquire()) {
        err_ = ERROR_REGISTRY_IO_FAILED;
        return;
    }
    locked_ = true;
}

Call::~Call()
{
    if (locked_)
        LockRelease();
}

void LockShareTake()
{
    // Only a call that holds the lock hands a share of it to a key handle.
    assert(g_store.lockDepth > 0);
    ++g_store.lockDepth;
}

void LockShareGive(uint64_t generation)
{
    std::lock_guard<std::recursive_mutex> guard(g_mu);
    if (generation == g_generation && StoreOpen())
        LockRelease();
}

// ---------------------------------------------------------------- keys

bool KeyExists(int64_t id)
{
    const unsigned n = std::min<unsigned>(g_store.seenCount, std::size(g_store.seenLive));
    for (unsigned i = 0; i < n; ++i)
        if (g_store.seenLive[i] == id)
            return true;
    Stmt st("SELECT 1 FROM keys WHERE id = ?1");
    st.Int(1, id);
    if (st.Step() != SQLITE_ROW)
        return false;
    g_store.seenLive[g_store.seenCount++ % std::size(g_store.seenLive)] = id;
    return true;
}

// The child of parent with that name (any case); 0 when missing, -1 on error.
int64_t FindChild(int64_t parent, const std::u16string &name, int &rc)
{
    Stmt st("SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    st.Int(1, parent).Blob(2, FoldedBlob(name));
    rc = st.Step();
    if (rc == SQLITE_ROW) {
        rc = SQLITE_OK;
        return st.ColInt(0);
    }
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
        return 0;
    }
    return -1;
}

// Follows names from a key; ERROR_FILE_NOT_FOUND when one is missing.
LONG WalkNames(int64_t from, const std::vector<std::u16string> &names, int64_t &id)
{
    id = from;
    for (const auto &n : names) {
        int rc;
        int64_t child = FindChild(id, n, rc);
        if (child < 0)
            return ErrorOf(rc);
        if (child == 0)
            return ERROR_FILE_NOT_FOUND;
        id = child;
    }
    return ERROR_SUCCESS;
}

// A key's last-write time is kept to the second: a change within the
// second it already shows leaves the key's row alone, so that a value set
// again and again (a shared count) writes the value's page only, not the
// key's as well.
int TouchKey(int64_t id)
{
    Stmt st("UPDATE keys SET written = ?2 WHERE id = ?1 AND written / 10000000 <> ?2 / 10000000");
    st.Int(1, id).Int(2, NowFileTime());
    return st.Run();
}

// One Reg* call on a key handle: the call's locks, the key behind the
// handle, then (from Begin) the transaction in which the key must still
// exist. Members go in reverse order, so the transaction ends before the

// ---------------------------------------------------------------- opening

namespace {

bool HasMetaTable()
{
    sqlite3_stmt *st = nullptr;
    bool has = sqlite3_prepare_v2(g_store.db,
                                  "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'meta'",
                                  -1, &st, nullptr) == SQLITE_OK &&
               sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    return has;
}

// Whether the database is this platform's registry, in a format it knows.
bool CheckFormat(std::string &error)
{
    std::string format;
    bool found = false;
    if (HasMetaTable()) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(g_store.db, "SELECT value FROM meta WHERE name = 'format'", -1, &st,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char *t = sqlite3_column_text(st, 0);
            format = t ? reinterpret_cast<const char *>(t) : "";
            found = true;
        }
        sqlite3_finalize(st);
    }
    if (!found) {
        error = g_store.dbPath +
                ": not a registry database of this platform (unknown tables); it was left as it is";
        return false;
    }
    if (format != kFormat) {
        error = g_store.dbPath + ": not a registry database of this platform (format \"" + format +
                "\"); it was left as it is";
        return false;
    }
    return true;
}

// Creates the tables of a new registry, or checks those of an existing one.
bool PrepareSchema(std::string &error)
{
    const std::string &file = g_store.dbPath;
    // Reading the schema is the first access to the file: a file that is not
    // a database fails here, before anything could be written to it.
    int tables = 0;
    {
        sqlite3_stmt *st = nullptr;
        int rc = sqlite3_prepare_v2(g_store.db,
                                    "SELECT count(*) FROM sqlite_master WHERE type = 'table'", -1,
                                    &st, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            tables = sqlite3_column_int(st, 0);
        std::string msg = sqlite3_errmsg(g_store.db);
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW) {
            error = file + ": the registry database is damaged or unreadable (" + msg +
                    "); it was left as it is";
            return false;
        }
    }
    if (tables > 0) {
        sqlite3_stmt *st = nullptr;
        std::string verdict;
        int rc = sqlite3_prepare_v2(g_store.db, "PRAGMA quick_check", -1, &st, nullptr);
        if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char *t = sqlite3_column_text(st, 0);
            verdict = t ? reinterpret_cast<const char *>(t) : "";
        } else {
            verdict = sqlite3_errmsg(g_store.db);
        }
        sqlite3_finalize(st);
        if (verdict != "ok") {
            error = file + ": the registry database is damaged (" + verdict +
                    "); it was left as it is";
            return false;
        }
    }
    if (tables == 0 && !g_store.mayCreate) {
        // An existing device's registry is never replaced by an empty one.
        error = file + ": the registry database is empty (it holds no registry); it was left as it is";
        return false;
    }
    // An existing file must be this platform's registry before anything is
    // written to it (even the journal mode).
    if (tables > 0 && !CheckFormat(error))
        return false;
    if (g_store.readOnly)
        return true;
    if (Exec("PRAGMA journal_mode = WAL") != SQLITE_OK) {
        error = file + ": cannot use the registry database (" + sqlite3_errmsg(g_store.db) + ")";
        return false;
    }
    // Every commit reaches the operating system before the call returns, so
    // a killed process loses nothing that it reported done.
    Exec("PRAGMA synchronous = NORMAL");
    if (tables > 0)
        return true;

    // Two processes may make a new device's registry together: the check
    // and the creation happen under SQLite's write lock.
    if (Exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        error = file + ": cannot use the registry database (" + sqlite3_errmsg(g_store.db) + ")";
        return false;
    }
    if (HasMetaTable()) {
        Exec("ROLLBACK");
        return CheckFormat(error);
    }
    static const char *const kSchema =
        "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
        " name BLOB NOT NULL, folded BLOB NOT NULL, class BLOB NOT NULL,"
        " written INTEGER NOT NULL);"
        "CREATE UNIQUE INDEX keys_by_parent ON keys(parent, folded);"
        "CREATE TABLE vals(key INTEGER NOT NULL, name BLOB NOT NULL, folded BLOB NOT NULL,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded)) WITHOUT ROWID;"
        "INSERT INTO meta VALUES('format', 'cesetup-registry 1');";
    int rc = Exec(kSchema);
    for (int i = 0; rc == SQLITE_OK && i < reg::kRootCount; ++i) {
        Stmt st("INSERT INTO keys(id, parent, name, folded, class, written)"
                " VALUES(?1, 0, ?2, ?3, ?4, ?5)");
        st.Int(1, i + 1)
            .Blob(2, NameBlob(reg::kRootNames[i]))
            .Blob(3, FoldedBlob(reg::kRootNames[i]))
            .Blob(4, std::string())
            .Int(5, NowFileTime());
        rc = st.Run();
    }
    if (rc == SQLITE_OK)
        rc = Exec("COMMIT");
    if (rc != SQLITE_OK) {
        error = file + ": cannot create the registry (" + sqlite3_errmsg(g_store.db) + ")";
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

void CloseStoreLocked()
{
    for (auto &s : g_store.statements)
        sqlite3_finalize(s.second);
    g_store.statements.clear();
    if (g_store.db)
        sqlite3_close_v2(g_store.db);
    if (g_store.lockFd >= 0)
        close(g_store.lockFd); // releases the device lock
    g_store = Store{};
    ++g_generation; // open key handles become stale
}

} // namespace

} // namespace reg

// ---------------------------------------------------------------- device side

using namespace reg;

namespace {

// The database as a URI that SQLite opens read-only without the shared-memory
// file it could not create in a read-only folder ('%', '?' and '#' escaped).
std::string ImmutableUri(const std::string &path)
{
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", (unsigned char)c);
            uri += hex;
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

bool WalPending(const std::string &dbPath)
{
    struct stat st;
    return stat((dbPath + "-wal").c_str(), &st) == 0 && st.st_size > 0;
}

// Opens the store; readOnly: for reading only, which opens it read-only when
// the device cannot be written (or always).
bool OpenStore(const std::string &deviceDir, std::string &error, bool create, bool readOnly, bool always = false)
{
    static std::once_flag forkHandler;
    std::call_once(forkHandler, [] {
        pthread_atfork(nullptr, nullptr, MarkInherited);
        // No page cache made whole at the open (SQLite's default takes 20
        // pages at once and writes into each): the registry is a few pages,
        // and each page of memory first written costs a fault. Refused,
        // harmlessly, when SQLite is already in use in this process.
        sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    });
    std::lock_guard<std::recursive_mutex> guard(g_mu);
    ForgetInheritedStore();
    if (g_store.db)
        CloseStoreLocked();
    std::string dir = deviceDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = dir + ": the device folder does not exist";
        return false;
    }
    std::string dbPath = dir + "/registry.db";
    bool exists = stat(dbPath.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        error = dbPath + ": the registry database is not a regular file";
        return false;
    }
    if (!exists && !create) {
        error = dbPath + ": the registry database is missing (restore it, or make a new device with cedevice init)";
        return false;
    }
    // A device that cannot be written cannot keep a change: said as such.
    // A reader opens it read-only; a folder it can write it opens as usual,
    // so that the write-ahead log is folded in and removed at the close.
    bool writable = access(dir.c_str(), W_OK) == 0 && (!exists || access(dbPath.c_str(), W_OK) == 0);
    readOnly = readOnly && (always || !writable);
    if (!readOnly && !writable) {
        error = dbPath + ": the registry database is read-only (the device folder or the file cannot be written)";
        return false;
    }
    std::string lockPath = dir + "/registry.lock";
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && readOnly) {
        // A reader takes the lock through a read-only descriptor, or none in
        // a folder where no lock file can be made.
        fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno != ENOENT && errno != EACCES && errno != EROFS) {
            error = lockPath + ": cannot open the registry lock (" + std::strerror(errno) + ")";
            return false;
        }
    } else if (fd < 0) {
        error = lockPath + ": cannot open the registry lock (" + std::strerror(errno) + ")";
        return false;
    }
    // The connection takes no lock of its own: every use of it is made
    // under g_mu (a Call, or the open, close and walk here), so SQLite's
    // lock around each of its calls would only repeat that one.
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(dbPath.c_str(), &db,
                             (readOnly ? SQLITE_OPEN_READONLY
                                       : SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0)) |
                                 SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    if (rc == SQLITE_OK && readOnly &&
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK &&
        !WalPending(dbPath)) {
        // A WAL database wants its shared-memory file, which a read-only
        // folder cannot hold; with no pending log the file alone is the
        // whole registry and is read as it stands.
        sqlite3_close_v2(db);
        db = nullptr;
        rc = sqlite3_open_v2(ImmutableUri(dbPath).c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    }
    if (rc != SQLITE_OK) {
        error = dbPath + ": cannot open the registry database (" +
                (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ")";
        if (db)
            sqlite3_close_v2(db);
        if (fd >= 0)
            close(fd);
        return false;
    }
    sqlite3_busy_timeout(db, kLockWaitMs);
    sqlite3_extended_result_codes(db, 0);
    g_store.db = db;
    g_store.dir = dir;
    g_store.dbPath = dbPath;
    g_store.lockFd = fd;
    g_store.mayCreate = create && !readOnly;
    g_store.readOnly = readOnly;
    g_store.goneReported = false;
    ++g_generation;
    g_store.generation = g_generation;
    if (!PrepareSchema(error)) {
        // A full disk is said as such, not as damage.
        struct statvfs fs;
        if (statvfs(dir.c_str(), &fs) == 0 && fs.f_bavail == 0)
            error = dbPath + ": the disk holding the device is full; the registry database was left as it is";
        CloseStoreLocked();
        return false;
    }
    if (stat(dbPath.c_str(), &st) == 0) {
        g_store.dbDev = st.st_dev;
        g_store.dbIno = st.st_ino;
    }
    return true;
}

} // namespace

bool RegistryOpen(const std::string &deviceDir, std::string &error, bool create)
{
    return OpenStore(deviceDir, error, create, false);
}

bool RegistryOpenForReading(const std::string &deviceDir, std::string &error)
{
    if (OpenStore(deviceDir, error, false, true))
        return true;
    // A device that could be written but not opened so (a full disk leaves
    // no room for the shared-memory file) is still read, read-only.
    std::string again;
    return OpenStore(deviceDir, again, false, true, true);
}

void RegistryClose()
{
    std::lock_guard<std::recursive_mutex> guard(g_mu);
    ForgetInheritedStore();
    if (g_store.db)
        CloseStoreLocked();
}

// ---------------------------------------------------------------- walking (text forms)

namespace reg {

namespace {

bool ReadValues(int64_t id, std::vector<ValueRow> &out)
{
    Stmt st("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded");
    st.Int(1, id);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        ValueRow v;
        v.name = st.ColName(0);
        v.type = static_cast<uint32_t>(st.ColInt(1));
        v.data = st.ColBytes(2);
        out.push_back(std::move(v));
    }
    return rc == SQLITE_DONE;
}

struct Child {
    int64_t id;
    std::u16string name;
    std::u16string cls;
};

bool ReadChildren(int64_t id, std::vector<Child> &out)
{
    Stmt st("SELECT id, name, class FROM keys WHERE parent = ?1 ORDER BY folded");
    st.Int(1, id);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        out.push_back(Child{st.ColInt(0), st.ColName(1), st.ColName(2)});
    return rc == SQLITE_DONE;
}

// Depth-first, parents first; an explicit stack keeps deep trees safe.
bool WalkFrom(int64_t id, const std::u16string &path, const std::u16string &cls, bool visitAlways,
              const std::function<void(const KeyRow &)> &visit)
{
    struct Pending {
        int64_t id;
        std::u16string path;
        std::u16string cls;
        bool always;
    };
    std::vector<Pending> stack;
    stack.push_back(Pending{id, path, cls, visitAlways});
    while (!stack.empty()) {
        Pending p = std::move(stack.back());
        stack.pop_back();
        KeyRow row;
        row.id = p.id;
        row.path = p.path;
        row.cls = p.cls;
        std::vector<Child> children;
        if (!ReadValues(p.id, row.values) || !ReadChildren(p.id, children))
            return false;
        row.hasChildren = !children.empty();
        if (p.always || !row.values.empty())
            visit(row);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(Pending{it->id, p.path + u"\\" + it->name, it->cls, true});
    }
    return true;
}

bool WalkTree(const std::string &startPathUtf8, const std::function<void(const KeyRow &)> &visit,
              std::string &error)
{
    bool ok = true;
    if (startPathUtf8.empty()) {
        for (int i = 0; ok && i < kRootCount; ++i)
            ok = WalkFrom(i + 1, kRootNames[i], u"", false, visit);
    } else {
        std::u16string path = FromUtf8(startPathUtf8);
        while (!path.empty() && path.back() == u'\\')
            path.pop_back();
        size_t sep = path.find(u'\\');
        std::u16string rootName = path.substr(0, sep);
        int root = -1;
        for (int i = 0; i < kRootCount; ++i)
            if (FoldCompare(rootName, kRootNames[i]) == 0)
                root = i;
        if (root < 0) {
            error = "unknown registry root \"" + ToUtf8(rootName) +
                    "\" (roots: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
                    "HKEY_USERS)";
            return false;
        }
        std::vector<std::u16string> names;
        std::u16string rest = sep == std::u16string::npos ? u"" : path.substr(sep + 1);
        if (SplitPath(rest.c_str(), names) != ERROR_SUCCESS) {
            error = "bad registry key \"" + startPathUtf8 + "\"";
            return false;
        }
        // The path as stored, with each name in its stored case.
        std::u16string shown = kRootNames[root];
        std::u16string cls;
        int64_t id = root + 1;
        for (const auto &n : names) {
            Stmt st("SELECT id, name, class FROM keys WHERE parent = ?1 AND folded = ?2");
            st.Int(1, id).Blob(2, FoldedBlob(n));
            int rc = st.Step();
            if (rc != SQLITE_ROW) {
                if (rc == SQLITE_DONE)
                    error = "no such registry key: " + startPathUtf8;
                else
                    error = g_store.dbPath + ": cannot read the registry (" +
                            sqlite3_errmsg(g_store.db) + ")";
                return false;
            }
            id = st.ColInt(0);
            shown += u"\\" + st.ColName(1);
            cls = st.ColName(2);
        }
        // A root is shown as in the whole export: only when it holds values.
        ok = WalkFrom(id, shown, cls, !names.empty(), visit);
    }
    if (!ok)
        error = g_store.dbPath + ": cannot read the registry (" + sqlite3_errmsg(g_store.db) + ")";
    return ok;
}

} // namespace

bool Walk(const std::string &startPathUtf8, const std::function<void(const KeyRow &)> &visit,
          std::string &error)
{
    std::lock_guard<std::recursive_mutex> guard(g_mu);
    ForgetInheritedStore();
    if (!StoreOpen()) {
        error = "the registry is not open";
        return false;
    }
    // One read transaction: the text shows one moment of the registry even
    // while other processes write. A transaction that this process keeps
    // under the device lock (a key handle is open) is such a moment already.
    const bool ownTxn = !InTxn();
    if (ownTxn && Exec("BEGIN") != SQLITE_OK) {
        error = g_store.dbPath + ": cannot read the registry (" + sqlite3_errmsg(g_store.db) + ")";
        return false;
    }
    bool ok = WalkTree(startPathUtf8, visit, error);
    if (ownTxn)
        Exec("ROLLBACK");
    return ok;
}

} // namespace reg
} // namespace plat
