// store.cpp - the object store's books: held bytes and capacity, file times,
// and the sharing locks that every process on a device sees.
//
// Held bytes are counted once per opened device (a walk of store/ that never
// follows a link) and then kept up to date by every write, truncation and
// deletion, so that writes stay cheap. Sharing uses open-file-description
// locks on reserved bytes far beyond any file's data: each handle holds read
// locks saying what it accesses and what it denies, and a new open tests
// those bytes. A whole-file flock serialises the test with the taking, so
// two processes cannot both pass the test.
#include <windows.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

#include "kernel/device.h"
#include "kernel/files.h"

namespace plat {
namespace {

std::mutex g_lock;
uint64_t g_countedGeneration = 0;
bool g_counted = false;
uint64_t g_held = 0;

// Creation times that the host file system could not store (no extended
// attributes), by device and inode, for the life of the process.
std::map<std::pair<dev_t, ino_t>, uint64_t> g_creationTimes;

constexpr const char *kCreatedAttr = "user.cesetup.created";
constexpr uint64_t kEpochDiff = 116444736000000000ull; // 1601 -> 1970 in 100 ns
constexpr uint64_t kMaxReported = 0x7fffffffull;       // 2 GiB - 1

uint64_t SumTree(int dirfd)
{
    uint64_t sum = 0;
    DIR *d = fdopendir(dirfd);
    if (!d) {
        close(dirfd);
        return 0;
    }
    while (struct dirent *e = readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        struct stat st;
        if (fstatat(dirfd, n, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            sum += static_cast<uint64_t>(st.st_size);
        } else if (S_ISDIR(st.st_mode)) {
            int sub = openat(dirfd, n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                sum += SumTree(sub);
        }
    }
    closedir(d);
    return sum;
}

// Counts the store once per opened device. Caller holds g_lock.
void EnsureCounted()
{
    uint64_t gen = DeviceGeneration();
    if (g_counted && g_countedGeneration == gen)
        return;
    g_held = 0;
    int fd = open(DeviceStoreDir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        g_held = SumTree(fd);
    g_counted = true;
    g_countedGeneration = gen;
    g_creationTimes.clear();
}

uint64_t CapacityBytes()
{
    return DeviceGetSettings().storageKb * 1024ull;
}

} // namespace

uint64_t StoreHeldBytes()
{
    std::lock_guard<std::mutex> guard(g_lock);
    EnsureCounted();
    return g_held + ModuleStandInHeldBytes();
}

StoreFigures StoreSpace()
{
    StoreFigures f;
    uint64_t capacity = CapacityBytes();
    if (capacity == 0) {
        struct statvfs vfs;
        if (statvfs(DeviceStoreDir().c_str(), &vfs) == 0) {
            uint64_t avail = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
            uint64_t total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
            f.free = avail < kMaxReported ? avail : kMaxReported;
            f.total = total < kMaxReported ? total : kMaxReported;
        }
        return f;
    }
    uint64_t held = StoreHeldBytes();
    f.total = capacity;
    f.free = held >= capacity ? 0 : capacity - held;
    return f;
}

bool StoreReserve(uint64_t bytes)
{
    uint64_t capacity = CapacityBytes();
    uint64_t standIn = ModuleStandInHeldBytes();
    std::lock_guard<std::mutex> guard(g_lock);
    EnsureCounted();
    if (capacity != 0) {
        uint64_t held = g_held + standIn;
        if (held > capacity || bytes > capacity - held)
            return false;
    }
    g_held += bytes;
    return true;
}

void StoreRelease(uint64_t bytes)
{
    std::lock_guard<std::mutex> guard(g_lock);
    EnsureCounted();
    g_held = bytes > g_held ? 0 : g_held - bytes;
}

// ---------------------------------------------------------------- times

uint64_t FileTimeFromTimespec(const struct timespec &ts)
{
    int64_t units = static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
    return static_cast<uint64_t>(units + static_cast<int64_t>(kEpochDiff));
}

struct timespec TimespecFromFileTime(uint64_t ft)
{
    int64_t units = static_cast<int64_t>(ft - kEpochDiff);
    struct timespec ts;
    int64_t sec = units / 10000000;
    int64_t rem = units % 10000000;
    if (rem < 0) {
        rem += 10000000;
        --sec;
    }
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(rem * 100);
    return ts;
}

uint64_t FileTimeNow()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeFromTimespec(ts);
}

FileTimes FileTimesOf(int fd, const struct stat &st, const char *hostPath)
{
    FileTimes t;
    t.access = FileTimeFromTimespec(st.st_atim);
    t.write = FileTimeFromTimespec(st.st_mtim);
    uint64_t stored;
    ssize_t got = fd >= 0 ? fgetxattr(fd, kCreatedAttr, &stored, sizeof stored)
                          : hostPath ? lgetxattr(hostPath, kCreatedAttr, &stored, sizeof stored) : -1;
    if (got == static_cast<ssize_t>(sizeof stored)) {
        t.creation = stored;
        return t;
    }
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_creationTimes.find({st.st_dev, st.st_ino});
        if (it != g_creationTimes.end()) {
            t.creation = it->second;
            return t;
        }
    }
    // The host keeps the birth time itself on most file systems; where it
    // cannot, the write time is the best stand-in.
    struct statx sx;
    int sr = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx)
                     : hostPath ? statx(AT_FDCWD, hostPath, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) : -1;
    if (sr == 0 && (sx.stx_mask & STATX_BTIME)) {
        struct timespec ts;
        ts.tv_sec = sx.stx_btime.tv_sec;
        ts.tv_nsec = sx.stx_btime.tv_nsec;
        t.creation = FileTimeFromTimespec(ts);
    } else {
        t.creation = t.write;
    }
    return t;
}

uint32_t FileSetTimes(int fd, const uint64_t *creation, const uint64_t *access, const uint64_t *write)
{
    if (access || write) {
        struct timespec ts[2];
        ts[0].tv_nsec = UTIME_OMIT;
        ts[1].tv_nsec = UTIME_OMIT;
        if (access)
            ts[0] = TimespecFromFileTime(*access);
        if (write)
            ts[1] = TimespecFromFileTime(*write);
        if (futimens(fd, ts) != 0)
            return ErrorFromErrno(errno);
    }
    if (creation) {
        uint64_t v = *creation;
        if (fsetxattr(fd, kCreatedAttr, &v, sizeof v, 0) != 0) {
            struct stat st;
            if (fstat(fd, &st) != 0)
                return ErrorFromErrno(errno);
            std::lock_guard<std::mutex> guard(g_lock);
            g_creationTimes[{st.st_dev, st.st_ino}] = v;
        }
    }
    return 0;
}

void FileForgetCreationTime(const struct stat &st)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_creationTimes.erase({st.st_dev, st.st_ino});
}

// ---------------------------------------------------------------- sharing

namespace {

// Lock bytes, far past any data a file of the device can hold.
constexpr off_t kLockBase = static_cast<off_t>(1) << 62;
// Each handle holds read locks on the slots saying what it accesses and
// what it denies. The order makes the slots of every common open one run,
// taken with one call: read + deny write (a reader), open + deny read +
// deny write + write (an exclusive writer), and so on. A delete or move
// holds the last slot while it decides and acts.
enum LockSlot { kSlotRead = 0, kSlotOpen, kSlotDenyWrite, kSlotWrite, kSlotDenyRead, kSlotRemoving, kSlotCount };

// Whether another open file description holds a lock on slots
// [first, first + count).
bool OthersHold(int fd, int first, int count)
{
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + first;
    fl.l_len = count;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0)
        return false;
    return fl.l_type != F_UNLCK;
}

// A host file system without locks (some network or FUSE mounts) cannot
// keep the sharing rule; files there open as if nothing else had them open
// rather than not at all.
bool LocksUnsupported(int e)
{
    return e == ENOLCK || e == EOPNOTSUPP || e == ENOSYS || e == EINVAL;
}

int SetSlots(int fd, short type, int first, int count)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + first;
    fl.l_len = count;
    return fcntl(fd, F_OFD_SETLK, &fl);
}

// Takes read locks on the slots set in MASK, one call per run of slots.
// 0 or an errno.
int SlotsTake(int fd, unsigned mask)
{
    for (int slot = 0; slot < kSlotCount;) {
        if (!(mask & (1u << slot))) {
            ++slot;
            continue;
        }
        int end = slot;
        while (end < kSlotCount && (mask & (1u << end)))
            ++end;
        if (SetSlots(fd, F_RDLCK, slot, end - slot) != 0)
            return errno;
        slot = end;
    }
    return 0;
}

// 0 when the handles that others hold on the file allow this open,
// ERROR_SHARING_VIOLATION, or kShareRemoving.
uint32_t OthersAllow(int fd, bool reads, bool writes, uint32_t share)
{
    // The common case: nobody else has the file open.
    if (!OthersHold(fd, 0, kSlotCount))
        return 0;
    if (OthersHold(fd, kSlotRemoving, 1))
        return kShareRemoving;
    if ((reads && OthersHold(fd, kSlotDenyRead, 1)) || (writes && OthersHold(fd, kSlotDenyWrite, 1)) ||
        (!(share & FILE_SHARE_READ) && OthersHold(fd, kSlotRead, 1)) ||
        (!(share & FILE_SHARE_WRITE) && OthersHold(fd, kSlotWrite, 1)))
        return ERROR_SHARING_VIOLATION;
    return 0;
}

} // namespace

// The new handle's locks are taken first and the others' tested after, so
// that of two opens racing each sees the other: both may back off, never
// both pass. A backed-off open tries again after a short pause, so that of
// two racing opens one normally wins, as on Windows.
uint32_t ShareEnter(int fd, uint32_t access, uint32_t share)
{
    const bool reads = (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL)) != 0;
    const bool writes = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    unsigned mask = 1u << kSlotOpen;
    if (reads)
        mask |= 1u << kSlotRead;
    if (writes)
        mask |= 1u << kSlotWrite;
    if (!(share & FILE_SHARE_READ))
        mask |= 1u << kSlotDenyRead;
    if (!(share & FILE_SHARE_WRITE))
        mask |= 1u << kSlotDenyWrite;
    for (int attempt = 0;; ++attempt) {
        int e = SlotsTake(fd, mask);
        if (e != 0) {
            SetSlots(fd, F_UNLCK, 0, kSlotCount);
            return LocksUnsupported(e) ? 0 : ERROR_TOO_MANY_OPEN_FILES;
        }
        uint32_t verdict = OthersAllow(fd, reads, writes, share);
        if (verdict == 0)
            return 0;
        SetSlots(fd, F_UNLCK, 0, kSlotCount);
        if (verdict == kShareRemoving || attempt == 2)
            return verdict;
        struct timespec ts = {0, (attempt + 1) * 300000L + (getpid() % 7) * 50000L};
        nanosleep(&ts, nullptr);
    }
}

// A remover marks the file first and looks for handles after, as an open
// does: an open racing it sees the mark and opens the name again, after
// the remover is done.
uint32_t FileWithNoOpenHandles(const std::string &hostPath, const std::function<uint32_t(int fd)> &action)
{
    int fd = open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ErrorFromErrno(errno);
    uint32_t error;
    if (SetSlots(fd, F_RDLCK, kSlotRemoving, 1) != 0 && !LocksUnsupported(errno))
        error = ErrorFromErrno(errno);
    else if (OthersHold(fd, kSlotOpen, 1))
        error = ERROR_SHARING_VIOLATION;
    else
        error = action(fd);
    close(fd); // releases the mark
    return error;
}

} // namespace plat
