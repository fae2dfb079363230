// store.cpp - the object store's books: held bytes and capacity, and file
// times. (The sharing rule is in sharing.cpp.)
//
// Held bytes are counted once per opened device (a walk of store/ that never
// follows a link) and then kept up to date by every write, truncation and
// deletion, so that writes stay cheap.
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
#include <memory>
#include <mutex>
#include <utility>

#include "kernel/device.h"
#include "kernel/files.h"
#include "kernel/threadlock.h"

namespace plat {
namespace {

ThreadLock g_lock;
uint64_t g_countedGeneration = 0;
bool g_counted = false;
uint64_t g_held = 0;

// Creation times that the host file system could not store (no extended
// attributes), by device and inode, for the life of the process.
std::map<std::pair<dev_t, ino_t>, uint64_t> g_creationTimes;

constexpr const char *kCreatedAttr = "user.cesetup.created";
constexpr uint64_t kEpochDiff = 116444736000000000ull; // 1601 -> 1970 in 100 ns
constexpr uint64_t kMaxReported = 0x7fffffffull;       // 2 GiB - 1

// Sums the sizes of the files under the folder open as DIRFD (and closes
// it). The folder is read with getdents64 itself, and an entry's kind is
// taken from the listing where the host gives it: a folder costs its open
// and its reads, a file one stat (a link or an entry of unknown kind is
// looked at without following it).
uint64_t SumTree(int dirfd)
{
    uint64_t sum = 0;
    constexpr size_t kBuf = 32768; // on the heap: the walk recurses
    std::unique_ptr<char[]> buf(new char[kBuf]);
    for (;;) {
        ssize_t got = getdents64(dirfd, buf.get(), kBuf);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const struct dirent64 *e = reinterpret_cast<const struct dirent64 *>(buf.get() + at);
            at += e->d_reclen;
            const char *n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            bool folder = e->d_type == DT_DIR;
            if (!folder) {
                struct stat st;
                if (fstatat(dirfd, n, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISREG(st.st_mode))
                    sum += static_cast<uint64_t>(st.st_size);
                folder = S_ISDIR(st.st_mode);
            }
            if (folder) {
                int sub = openat(dirfd, n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0)
                    sum += SumTree(sub);
            }
        }
    }
    close(dirfd);
    return sum;
}

// Forgets what was kept for another opened device. Caller holds g_lock.
void SyncGeneration()
{
    uint64_t gen = DeviceGeneration();
    if (g_countedGeneration == gen)
        return;
    g_counted = false;
    g_held = 0;
    g_countedGeneration = gen;
    g_creationTimes.clear();
}

// Counts the store once per opened device, when a figure is first wanted.
// Caller holds g_lock.
void EnsureCounted()
{
    SyncGeneration();
    if (g_counted)
        return;
    g_held = 0;
    int fd = open(DeviceStoreDir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        g_held = SumTree(fd);
    g_counted = true;
}

uint64_t CapacityBytes()
{
    return DeviceGetSettings().storageKb * 1024ull;
}

} // namespace

uint64_t StoreHeldBytes()
{
    std::lock_guard<ThreadLock> guard(g_lock);
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
    std::lock_guard<ThreadLock> guard(g_lock);
    EnsureCounted();
    if (capacity != 0) {
        uint64_t held = g_held + standIn;
        if (held > capacity || bytes > capacity - held)
            return false;
    }
    g_held += bytes;
    return true;
}

// Bytes are given back after they left the store: before the first count
// there is nothing to take them from (a removal that writes nothing never
// walks the store).
void StoreRelease(uint64_t bytes)
{
    std::lock_guard<ThreadLock> guard(g_lock);
    SyncGeneration();
    if (!g_counted)
        return;
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
        std::lock_guard<ThreadLock> guard(g_lock);
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
            std::lock_guard<ThreadLock> guard(g_lock);
            g_creationTimes[{st.st_dev, st.st_ino}] = v;
        }
    }
    return 0;
}

void FileForgetCreationTime(const struct stat &st)
{
    std::lock_guard<ThreadLock> guard(g_lock);
    g_creationTimes.erase({st.st_dev, st.st_ino});
}

} // namespace plat
