// sharing.cpp - the sharing rule across the processes of a device: a table
// of the files open on it, kept in shared memory.
//
// Every handle of every process on a device is one entry of DIR/open-files,
// mapped by each process: the file's host identity, the handle's access and
// what it denies. A new open, a delete or a move checks and changes the
// table under a process-shared mutex, so that an uncontended open costs no
// system call at all. The mutex is robust: a process killed while holding
// it leaves the table as it was before its last change (each change that
// takes more than one store keeps an undo record), and the entries of a
// dead process are dropped by the first process that meets one in its way.
// Each process holds a lock on a byte of its own for as long as it lives,
// which is how the others tell it is gone.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <mutex>

#include "kernel/device.h"
#include "kernel/faults.h"
#include "kernel/files.h"
#include "kernel/threadlock.h"

namespace plat {

namespace {

constexpr uint32_t kMagic = 0x46534543; // "CESF"
constexpr uint32_t kVersion = 1;
constexpr uint32_t kProcs = 256;
constexpr uint32_t kEntries = 4096;
// Lock bytes of the process slots, past the end of the table.
constexpr off_t kProcLockBase = off_t(1) << 30;

enum : uint32_t { kRead = 1, kWrite = 2, kDenyRead = 4, kDenyWrite = 8, kRemoving = 16 };

struct Entry {
    uint64_t dev, ino;
    uint64_t serial; // names the entry for its removal
    uint32_t proc;   // the slot of the process that holds it
    uint32_t flags;
};

struct Undo {
    uint32_t valid;
    uint32_t index; // the entry overwritten
    uint32_t count; // the count before the change
    uint32_t pad;
    Entry old;
};

struct Proc {
    uint32_t inUse;
    int32_t pid; // for people looking at the file; liveness is the lock
};

struct Table {
    uint32_t magic, version;
    char bootId[40];
    pthread_mutex_t mutex;
    uint64_t removals; // deletes and moves done, read without the mutex
    uint64_t nextSerial;
    uint32_t count;
    Undo undo;
    Proc procs[kProcs];
    Entry entries[kEntries];
};

// Keeps the compiler from moving stores across the steps of a change: a
// process killed between two steps leaves what the undo record expects.
inline void Step()
{
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
}

} // namespace

// The table as one process sees it, for one opened device.
struct ShareTable {
    Table *t = nullptr;
    int fd = -1;        // holds this process's slot lock
    uint32_t slot = 0;  // this process's slot
    bool shared = false; // false: the table is this process's own
    bool inherited = false; // made before a fork, in the child
    ~ShareTable()
    {
        if (shared) {
            munmap(t, sizeof(Table));
            if (fd >= 0)
                close(fd); // releases the slot lock
        } else {
            pthread_mutex_destroy(&t->mutex);
            delete t;
        }
    }
};

namespace {

ThreadLock g_attachLock;
std::shared_ptr<ShareTable> g_table;
uint64_t g_tableGeneration = 0;
bool g_forked = false;

void MarkForked()
{
    g_forked = true;
}

const char *BootId()
{
    static char id[40];
    static std::once_flag once;
    std::call_once(once, [] {
        int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ssize_t n = read(fd, id, sizeof id - 1);
            id[n > 0 ? n : 0] = 0;
            close(fd);
        }
    });
    return id;
}

bool InitMutex(pthread_mutex_t *m, bool shared)
{
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    if (shared) {
        pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST);
    }
    bool ok = pthread_mutex_init(m, &a) == 0;
    pthread_mutexattr_destroy(&a);
    return ok;
}

bool SlotLock(int fd, uint32_t slot, short type, int cmd)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kProcLockBase + slot;
    fl.l_len = 1;
    return fcntl(fd, cmd, &fl) == 0 && (cmd != F_OFD_GETLK || fl.l_type != F_UNLCK);
}

bool Alive(const ShareTable &s, uint32_t proc)
{
    if (!s.shared || proc == s.slot)
        return true;
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kProcLockBase + proc;
    fl.l_len = 1;
    if (fcntl(s.fd, F_OFD_GETLK, &fl) != 0)
        return true; // cannot tell: kept
    return fl.l_type != F_UNLCK;
}

// Removes entry I. Caller holds the mutex.
void EraseAt(Table *t, uint32_t i)
{
    uint32_t last = t->count - 1;
    if (i != last) {
        t->undo.index = i;
        t->undo.count = t->count;
        t->undo.old = t->entries[i];
        Step();
        __atomic_store_n(&t->undo.valid, 1, __ATOMIC_RELEASE);
        Step();
        t->entries[i] = t->entries[last];
        Step();
        if (FaultHit(FaultKind::ShareTableKill))
            raise(SIGKILL);
    }
    __atomic_store_n(&t->count, last, __ATOMIC_RELEASE);
    Step();
    __atomic_store_n(&t->undo.valid, 0, __ATOMIC_RELEASE);
}

// Drops every entry of a process that has gone. Caller holds the mutex.
void Purge(Table *t, uint32_t proc)
{
    for (uint32_t i = 0; i < t->count;) {
        if (t->entries[i].proc == proc)
            EraseAt(t, i);
        else
            ++i;
    }
    if (proc < kProcs)
        t->procs[proc].inUse = 0;
}

// Puts back what a process killed in the middle of a change left.
void Recover(Table *t)
{
    if (t->undo.valid) {
        t->entries[t->undo.index] = t->undo.old;
        t->count = t->undo.count;
        t->undo.valid = 0;
    }
    if (t->count > kEntries)
        t->count = 0;
}

bool Lock(ShareTable &s)
{
    int r = pthread_mutex_lock(&s.t->mutex);
    if (r == EOWNERDEAD) {
        Recover(s.t);
        pthread_mutex_consistent(&s.t->mutex);
        r = 0;
    }
    // A table written over from outside is taken as empty rather than
    // read past its end.
    if (r == 0 && s.t->count > kEntries)
        s.t->count = 0;
    return r == 0;
}

void Unlock(ShareTable &s)
{
    pthread_mutex_unlock(&s.t->mutex);
}

// Takes a free slot, or the slot of a process that has gone. Caller holds
// the mutex.
bool ClaimSlot(ShareTable &s)
{
    for (uint32_t p = 0; p < kProcs; ++p) {
        Proc &proc = s.t->procs[p];
        if (proc.inUse && SlotLock(s.fd, p, F_WRLCK, F_OFD_GETLK))
            continue;
        if (!SlotLock(s.fd, p, F_WRLCK, F_OFD_SETLK))
            continue;
        if (proc.inUse)
            Purge(s.t, p);
        s.slot = p;
        proc.pid = static_cast<int32_t>(getpid());
        proc.inUse = 1;
        return true;
    }
    return false;
}

// The device's table, mapped from DIR/open-files. Null when it cannot be
// made (a device folder that cannot be written, no shared mappings): the
// process then keeps the rule among its own handles only.
std::shared_ptr<ShareTable> MapShared()
{
    std::string path = DeviceDir() + "/open-files";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return nullptr;
    auto s = std::make_shared<ShareTable>();
    s->fd = fd;
    // Made and checked by one process at a time.
    if (flock(fd, LOCK_EX) != 0) {
        close(fd);
        s->fd = -1;
        return nullptr;
    }
    struct stat st;
    bool fresh = false;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        flock(fd, LOCK_UN);
        return nullptr;
    }
    if (st.st_size != static_cast<off_t>(sizeof(Table))) {
        if (ftruncate(fd, 0) != 0 || ftruncate(fd, sizeof(Table)) != 0) {
            flock(fd, LOCK_UN);
            return nullptr;
        }
        fresh = true;
    }
    void *m = mmap(nullptr, sizeof(Table), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (m == MAP_FAILED) {
        flock(fd, LOCK_UN);
        return nullptr;
    }
    s->t = static_cast<Table *>(m);
    s->shared = true;
    Table *t = s->t;
    // A table left from before the host restarted names processes that
    // are all gone, and its mutex may still look held: it starts again.
    if (fresh || t->magic != kMagic || t->version != kVersion || strncmp(t->bootId, BootId(), sizeof t->bootId) != 0) {
        memset(t, 0, sizeof(Table));
        snprintf(t->bootId, sizeof t->bootId, "%s", BootId());
        t->version = kVersion;
        if (!InitMutex(&t->mutex, true)) {
            flock(fd, LOCK_UN);
            return nullptr;
        }
        t->magic = kMagic;
    }
    bool claimed = false;
    if (Lock(*s)) {
        claimed = ClaimSlot(*s);
        Unlock(*s);
    }
    flock(fd, LOCK_UN);
    return claimed ? s : nullptr;
}

std::shared_ptr<ShareTable> MakePrivate()
{
    auto s = std::make_shared<ShareTable>();
    s->t = new Table();
    InitMutex(&s->t->mutex, false);
    return s;
}

// Whether the table attached is this process's and the opened device's
// (g_attachLock held).
bool AttachedStillGood()
{
    return g_table && !g_forked && g_tableGeneration == DeviceGeneration();
}

// The table of the opened device for this process.
std::shared_ptr<ShareTable> Current()
{
    // Attached already (so the fork handler is in place) and still good:
    // every open and close asks.
    {
        std::lock_guard<ThreadLock> guard(g_attachLock);
        if (AttachedStillGood())
            return g_table;
    }
    static std::once_flag forkHandler;
    std::call_once(forkHandler, [] { pthread_atfork(nullptr, nullptr, MarkForked); });
    std::lock_guard<ThreadLock> guard(g_attachLock);
    if (g_forked) {
        // A child process: the parent's slot and entries are the parent's.
        g_forked = false;
        if (g_table)
            g_table->inherited = true;
        if (g_table && g_table->shared) {
            close(g_table->fd);
            g_table->fd = -1;
        }
        g_table.reset();
    }
    if (!g_table || g_tableGeneration != DeviceGeneration()) {
        g_table = MapShared();
        if (!g_table)
            g_table = MakePrivate();
        g_tableGeneration = DeviceGeneration();
    }
    return g_table;
}

uint32_t FlagsOf(uint32_t access, uint32_t share)
{
    uint32_t f = 0;
    if (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL))
        f |= kRead;
    if (access & (GENERIC_WRITE | GENERIC_ALL))
        f |= kWrite;
    if (!(share & FILE_SHARE_READ))
        f |= kDenyRead;
    if (!(share & FILE_SHARE_WRITE))
        f |= kDenyWrite;
    return f;
}

// Whether two handles may be open on one file at once.
bool Compatible(uint32_t a, uint32_t b)
{
    return !((a & kRead) && (b & kDenyRead)) && !((a & kWrite) && (b & kDenyWrite)) &&
           !((b & kRead) && (a & kDenyRead)) && !((b & kWrite) && (a & kDenyWrite));
}

// Looks at the other handles of the file: 0 when FLAGS may join them
// (REMOVER: when there are none), else the verdict. Entries of processes
// that have gone are dropped on the way. Caller holds the mutex.
uint32_t Check(ShareTable &s, const struct stat &st, uint32_t flags, bool remover)
{
    Table *t = s.t;
    for (uint32_t i = 0; i < t->count; ++i) {
        const Entry &e = t->entries[i];
        if (e.dev != static_cast<uint64_t>(st.st_dev) || e.ino != static_cast<uint64_t>(st.st_ino))
            continue;
        if (!(e.flags & kRemoving) && !remover && Compatible(e.flags, flags))
            continue;
        if (e.proc >= kProcs || !Alive(s, e.proc)) {
            Purge(t, e.proc);
            i = static_cast<uint32_t>(-1); // the entries moved: look again
            continue;
        }
        return (e.flags & kRemoving) ? kShareRemoving : ERROR_SHARING_VIOLATION;
    }
    return 0;
}

// Adds an entry. Caller holds the mutex.
bool Insert(ShareTable &s, const struct stat &st, uint32_t flags, uint64_t &serial)
{
    Table *t = s.t;
    if (t->count >= kEntries) {
        // Full: the entries of processes that have gone make room.
        for (uint32_t p = 0; p < kProcs; ++p)
            if (t->procs[p].inUse && !Alive(s, p))
                Purge(t, p);
        if (t->count >= kEntries)
            return false;
    }
    Entry &e = t->entries[t->count];
    e.dev = static_cast<uint64_t>(st.st_dev);
    e.ino = static_cast<uint64_t>(st.st_ino);
    e.serial = serial = ++t->nextSerial;
    e.proc = s.slot;
    e.flags = flags;
    Step();
    __atomic_store_n(&t->count, t->count + 1, __ATOMIC_RELEASE);
    return true;
}

void Remove(ShareTable &s, uint64_t serial)
{
    Table *t = s.t;
    for (uint32_t i = 0; i < t->count; ++i) {
        if (t->entries[i].serial == serial && t->entries[i].proc == s.slot) {
            EraseAt(t, i);
            return;
        }
    }
}

} // namespace

uint64_t ShareRemovals()
{
    // Asked two or three times an open: the table already attached is
    // read in place, without a reference of its own.
    {
        std::lock_guard<ThreadLock> guard(g_attachLock);
        if (AttachedStillGood())
            return __atomic_load_n(&g_table->t->removals, __ATOMIC_ACQUIRE);
    }
    auto s = Current();
    return __atomic_load_n(&s->t->removals, __ATOMIC_ACQUIRE);
}

void ShareCountRemoval()
{
    auto s = Current();
    __atomic_fetch_add(&s->t->removals, 1, __ATOMIC_ACQ_REL);
}

uint32_t ShareEnter(const struct stat &st, uint32_t access, uint32_t share, ShareHold &hold)
{
    auto s = Current();
    uint32_t flags = FlagsOf(access, share);
    if (!Lock(*s))
        return ERROR_TOO_MANY_OPEN_FILES;
    uint32_t verdict = Check(*s, st, flags, false);
    uint64_t serial = 0;
    if (!verdict && !Insert(*s, st, flags, serial))
        verdict = ERROR_TOO_MANY_OPEN_FILES;
    Unlock(*s);
    if (!verdict) {
        hold.table = s;
        hold.serial = serial;
    }
    return verdict;
}

void ShareLeave(ShareHold &hold)
{
    if (!hold.table)
        return;
    ShareTable &s = *hold.table;
    if (!s.inherited && Lock(s)) {
        Remove(s, hold.serial);
        Unlock(s);
    }
    hold.table.reset();
}

// The remover's own entry marks the file while it acts, so that an open
// racing it waits and opens the name again once it is done; an open that
// took the file before and records itself after sees the count of removals
// move and looks again.
uint32_t FileWithNoOpenHandles(const struct stat &st, FileAction action, void *context)
{
    if (!S_ISREG(st.st_mode))
        return ERROR_ACCESS_DENIED;
    auto s = Current();
    if (!Lock(*s))
        return ERROR_TOO_MANY_OPEN_FILES;
    uint32_t error = Check(*s, st, kRemoving, true);
    if (error == kShareRemoving)
        error = ERROR_SHARING_VIOLATION;
    uint64_t serial = 0;
    if (!error && !Insert(*s, st, kRemoving, serial))
        error = ERROR_TOO_MANY_OPEN_FILES;
    Unlock(*s);
    if (error)
        return error;
    error = action(st, context);
    if (Lock(*s)) {
        Remove(*s, serial);
        if (!error)
            __atomic_fetch_add(&s->t->removals, 1, __ATOMIC_ACQ_REL);
        Unlock(*s);
    }
    return error;
}

} // namespace plat
