// file.cpp - file handles: CreateFileW, ReadFile, WriteFile, SetFilePointer,
// SetEndOfFile, GetFileSize, GetFileTime, SetFileTime, CloseHandle.
//
// Every handle owns its own host descriptor and its own record in the
// device's table of open files (sharing.cpp). Writes into the store are checked against its capacity
// before any byte reaches the host, and a write that fails leaves the file
// as it was.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "kernel/device.h"
#include "kernel/faults.h"
#include "kernel/files.h"
#include "kernel/handles.h"
#include "kernel/changes.h"
#include "kernel/threadlock.h"

#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131L
#endif

namespace plat {
namespace {

bool Writes(uint32_t access)
{
    return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
}

bool Reads(uint32_t access)
{
    return (access & (GENERIC_READ | GENERIC_ALL)) != 0;
}

// A read-only file is one its owner may not write on the host.
bool IsReadOnly(const struct stat &st)
{
    return (st.st_mode & S_IWUSR) == 0;
}

// The host calls on a resolved name: relative to its folder when that is
// held open.
int StatAt(const ResolvedPath &path, struct stat &st)
{
    if (path.parentDir)
        return fstatat(path.parentDir->fd, path.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    return lstat(path.hostPath.c_str(), &st);
}

int OpenAt(const ResolvedPath &path, int flags, mode_t mode = 0)
{
    if (path.parentDir)
        return openat(path.parentDir->fd, path.leaf.c_str(), flags, mode);
    return open(path.hostPath.c_str(), flags, mode);
}

// Whether this process may read the file by its mode bits (the open that
// would tell is put off; anything unusual is opened at once instead).
bool ModeLetsRead(const struct stat &st)
{
    static const uid_t euid = geteuid();
    static const gid_t egid = getegid();
    if (euid == 0)
        return true;
    if (st.st_uid == euid)
        return (st.st_mode & S_IRUSR) != 0;
    if (st.st_gid == egid)
        return (st.st_mode & S_IRGRP) != 0;
    return (st.st_mode & S_IROTH) != 0;
}

} // namespace

namespace {

// Taken while a handle without a descriptor gets one.
ThreadLock g_deferredLock;

} // namespace

// Opens a handle made without a descriptor. Caller holds g_deferredLock.
bool OpenDeferred(FileObject &f, uint32_t &error)
{
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = openat(f.parentDir->fd, f.leaf.c_str(), flags);
    if (fd < 0) {
        error = ErrorFromErrno(errno);
        return false;
    }
    // Only a folder moved or a file deleted or moved on the device since
    // the handle was made can have put another file at its name.
    struct stat st;
    if (ShareRemovals() != f.removals &&
        (fstat(fd, &st) != 0 || st.st_dev != f.dev || st.st_ino != f.ino)) {
        close(fd);
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    f.fd = fd;
    return true;
}

bool FileEnsureOpen(FileObject &f, uint32_t &error)
{
    if (f.fd >= 0 || f.standIn)
        return true;
    std::lock_guard<ThreadLock> guard(g_deferredLock);
    return OpenDeferred(f, error);
}

bool FileSizeOf(const FileObject &f, uint64_t &size)
{
    if (f.standIn) {
        size = ModuleStandInSize();
        return true;
    }
    if (f.sole) {
        size = f.size;
        return true;
    }
    struct stat st;
    if (fstat(f.fd, &st) != 0)
        return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

std::shared_ptr<FileObject> FileOpenResolved(const ResolvedPath &path, uint32_t access, uint32_t share,
                                             uint32_t disposition, uint32_t attributes, uint32_t *error,
                                             bool *existed)
{
    *existed = false;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const bool writes = Writes(access);
    if (disposition == TRUNCATE_EXISTING && !writes) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (path.isRoot || path.isMountPoint || path.kind == EntryKind::Folder || path.kind == EntryKind::Other) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    const bool truncating = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;

    if (path.standIn) {
        *existed = true;
        if (disposition == CREATE_NEW) {
            *error = ERROR_FILE_EXISTS;
            return nullptr;
        }
        auto f = std::make_shared<FileObject>();
        uint32_t e = (writes || truncating) ? ERROR_SHARING_VIOLATION : ModuleStandInOpen(f.get(), access, share);
        if (e) {
            *error = e;
            return nullptr;
        }
        f->standIn = true;
        f->access = access;
        f->share = share;
        f->inStore = path.inStore();
        return f;
    }

    bool exists = path.kind == EntryKind::File;
    int flags = (writes ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    int fd = -1;
    bool created = false;
    bool opened = false;
    struct stat st;
    ShareHold hold;
    // A handle that only reads a file nobody may write meanwhile takes no
    // host descriptor until it reads: the file is looked at and recorded,
    // so that it cannot be deleted or moved, and a handle that asks only
    // for the size (or holds the file) costs one stat, or none after a
    // lookup. Only a file found in its folder held open: that stays the
    // same folder wherever it is moved, by this process or another one,
    // so the name in it still reaches the file when it is read.
    bool deferred = path.parentDir && !writes && !truncating && !(share & FILE_SHARE_WRITE) &&
                    (disposition == OPEN_EXISTING || disposition == OPEN_ALWAYS);
    bool looked = path.kind == EntryKind::File && path.st.st_ino != 0;
    uint64_t removals = 0;
    // A few rounds settle races with other processes creating, deleting or
    // moving the same name between the lookup and the open.
    for (int round = 0; round < 8; ++round) {
        removals = ShareRemovals();
        if (exists && deferred) {
            if (looked)
                st = path.st;
            else if (StatAt(path, st) != 0) {
                if (errno != ENOENT) {
                    *error = ErrorFromErrno(errno);
                    return nullptr;
                }
                exists = false;
                continue;
            }
            looked = false;
            if (!S_ISREG(st.st_mode)) {
                *error = ERROR_ACCESS_DENIED;
                return nullptr;
            }
            if (Reads(access) && !ModeLetsRead(st)) {
                deferred = false;
                continue;
            }
            uint32_t e = ShareEnter(st, access, share, hold);
            if (e == kShareRemoving) {
                struct timespec ts = {0, 200000};
                nanosleep(&ts, nullptr);
                continue;
            }
            if (e) {
                *error = e;
                return nullptr;
            }
            // Deleted or moved since it was looked at: look again.
            struct stat now;
            if (ShareRemovals() != removals &&
                (StatAt(path, now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev)) {
                ShareLeave(hold);
                continue;
            }
            opened = true;
            break;
        }
        if (exists) {
            if (disposition == CREATE_NEW) {
                *error = ERROR_FILE_EXISTS;
                return nullptr;
            }
            fd = OpenAt(path, flags);
            if (fd < 0 && errno == ENOENT) {
                exists = false;
                continue;
            }
        } else {
            if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
                *error = ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
            if (path.inStore() && DeviceGetSettings().storageKb != 0 && StoreSpace().free == 0) {
                *error = ERROR_DISK_FULL;
                return nullptr;
            }
            fd = OpenAt(path, flags | O_CREAT | O_EXCL, mode);
            if (fd < 0 && errno == EEXIST) {
                exists = true;
                continue;
            }
            created = fd >= 0;
        }
        if (fd < 0) {
            *error = ErrorFromErrno(errno);
            return nullptr;
        }
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        uint32_t e = ShareEnter(st, access, share, hold);
        if (e == kShareRemoving) {
            close(fd);
            fd = -1;
            exists = true;
            created = false;
            struct timespec ts = {0, 200000};
            nanosleep(&ts, nullptr);
            continue;
        }
        if (e) {
            close(fd);
            *error = e;
            return nullptr;
        }
        // Deleted by another process between our open and our record.
        if (ShareRemovals() != removals && (fstat(fd, &st) != 0 || st.st_nlink == 0)) {
            ShareLeave(hold);
            close(fd);
            fd = -1;
            exists = false;
            created = false;
            continue;
        }
        if (!created && IsReadOnly(st) && (writes || truncating)) {
            ShareLeave(hold);
            close(fd);
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        opened = true;
        break;
    }
    if (!opened) {
        *error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }

    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (created) {
        PathNoteAdded(path.hostPath);
        PathFileMadeIn(path);
        FileForgetCreationTime(st);
    } else if (truncating && size > 0) {
        if (ftruncate(fd, 0) != 0) {
            *error = ErrorFromErrno(errno);
            ShareLeave(hold);
            close(fd);
            return nullptr;
        }
        if (path.inStore())
            StoreRelease(size);
        size = 0;
    }

    auto f = std::make_shared<FileObject>();
    if (created)
        f->change = FileObject::Change::Created;
    else if (truncating && size != static_cast<uint64_t>(st.st_size))
        f->change = FileObject::Change::Replaced;
    if (f->change != FileObject::Change::None || writes)
        f->devicePath = path.devicePath;
    f->fd = fd;
    f->dev = st.st_dev;
    if (fd < 0) {
        f->removals = removals;
        f->ino = st.st_ino;
        f->parentDir = path.parentDir;
        f->leaf = path.leaf;
    }
    f->shareHold = std::move(hold);
    f->access = access;
    f->share = share;
    f->inStore = path.inStore();
    f->sole = !(share & FILE_SHARE_WRITE);
    f->size = size;
    *existed = !created;
    return f;
}

namespace {

// Large enough that a package file of ordinary size is read with one call.
constexpr uint32_t kReadAhead = 128 * 1024;
// Reads of at least this many bytes are taken as reads of blocks, which do
// not step back into what they read.
constexpr uint32_t kSplitRead = 4096;

// Read-ahead blocks are reused, so that opening and reading many files does
// not make the heap grow and shrink for each.
ThreadLock g_spareLock;
std::vector<std::unique_ptr<uint8_t[]>> g_spareBlocks;

std::unique_ptr<uint8_t[]> TakeBlock()
{
    std::lock_guard<ThreadLock> guard(g_spareLock);
    if (g_spareBlocks.empty())
        return std::unique_ptr<uint8_t[]>(new uint8_t[kReadAhead]);
    auto b = std::move(g_spareBlocks.back());
    g_spareBlocks.pop_back();
    return b;
}

void GiveBlock(std::unique_ptr<uint8_t[]> b)
{
    std::lock_guard<ThreadLock> guard(g_spareLock);
    if (b && g_spareBlocks.size() < 4)
        g_spareBlocks.push_back(std::move(b));
}

// Reads at OFFSET until COUNT bytes or the end of the file.
uint32_t ReadAt(int fd, uint8_t *p, uint32_t count, uint64_t offset, uint32_t *got)
{
    uint32_t done = 0;
    while (done < count) {
        ssize_t r = pread(fd, p + done, count - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            *got = done;
            return ErrorFromErrno(errno);
        }
        if (r == 0)
            break;
        done += static_cast<uint32_t>(r);
    }
    *got = done;
    return 0;
}

// Serves a read of a file that only this handle may change from the block
// read ahead, refilling it at the position (or, for a read of a block,
// after the bytes asked for) when the position has left it. The kept size
// says where the file ends, so a read there costs nothing.
uint32_t ReadSole(FileObject &f, uint8_t *p, uint32_t count, uint32_t *got)
{
    uint32_t done = 0;
    while (done < count && f.pos < f.size) {
        if (f.readLen && f.pos >= f.readBase && f.pos < f.readBase + f.readLen) {
            uint32_t at = static_cast<uint32_t>(f.pos - f.readBase);
            uint32_t n = std::min(count - done, f.readLen - at);
            memcpy(p + done, f.readBuf.get() + at, n);
            f.pos += n;
            done += n;
            continue;
        }
        uint64_t left = f.size - f.pos;
        if (count - done >= kReadAhead || (left <= count - done && count - done >= kSplitRead)) {
            // Large reads, and final reads of a block, go straight to the
            // caller's buffer. A small read of a file's last bytes fills
            // the block like any other (a line reader steps back into it).
            uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(count - done, left));
            uint32_t n = 0;
            uint32_t e = ReadAt(f.fd, p + done, want, f.pos, &n);
            f.pos += n;
            done += n;
            if (e || n < want) {
                *got = done;
                return e;
            }
            continue;
        }
        if (!f.readBuf)
            f.readBuf = TakeBlock();
        // A read of a block (a copy's) gets its bytes straight into the
        // caller's buffer, and the block after them into the read-ahead,
        // with one call: the first block of the file is not copied twice.
        // Small reads (a line reader's, which steps back into what it
        // read) have the block start with their own bytes.
        const uint32_t first = count - done < kSplitRead ? 0 : count - done;
        struct iovec iov[2];
        iov[0].iov_base = p + done;
        iov[0].iov_len = first;
        iov[1].iov_base = f.readBuf.get();
        iov[1].iov_len = static_cast<size_t>(std::min<uint64_t>(kReadAhead, left - first));
        f.readLen = 0;
        ssize_t r = first ? preadv(f.fd, iov, 2, static_cast<off_t>(f.pos))
                          : pread(f.fd, iov[1].iov_base, iov[1].iov_len, static_cast<off_t>(f.pos));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            *got = done;
            return ErrorFromErrno(errno);
        }
        if (r == 0)
            break; // shorter than it was: someone outside the device cut it
        uint32_t mine = static_cast<uint32_t>(std::min<ssize_t>(r, first));
        f.pos += mine;
        done += mine;
        if (r > static_cast<ssize_t>(first)) {
            f.readBase = f.pos;
            f.readLen = static_cast<uint32_t>(r - static_cast<ssize_t>(first));
        }
    }
    *got = done;
    return 0;
}

} // namespace

namespace {

// Writes of at most this many bytes inside the file count towards mapping
// it, and a handle maps its file after this many of them.
constexpr uint32_t kSmallWrite = 512;
constexpr uint32_t kWritesBeforeMap = 16;
constexpr uint64_t kMapMax = 64ull << 20;

// Gives the file the write time of the last write made through the map.
void SettleMappedTime(FileObject &f)
{
    if (f.writtenAt.tv_sec == 0 || f.fd < 0)
        return;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = f.writtenAt;
    futimens(f.fd, times);
    f.writtenAt = {};
}

void Unmap(FileObject &f)
{
    SettleMappedTime(f);
    if (f.map)
        munmap(f.map, f.mapLen);
    f.map = nullptr;
    f.mapLen = 0;
    f.smallWrites = 0;
    f.mapTried = false;
}

// Writes COUNT bytes at POS through the file's mapping, making it when the
// handle has written small pieces inside its file often enough. False when
// the write must go to the host as usual. Only a sole handle maps (nobody
// else of the device can cut the file under the map), only a file without
// holes (a page first written through a map on a full store would fault
// rather than fail), and only inside the mapped length.
bool MappedWrite(FileObject &f, uint64_t pos, const uint8_t *p, uint32_t count)
{
    if (!f.map) {
        if (!f.sole || count > kSmallWrite || f.mapTried || ++f.smallWrites < kWritesBeforeMap)
            return false;
        f.mapTried = true;
        struct stat st;
        if (fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
            static_cast<uint64_t>(st.st_size) > kMapMax ||
            static_cast<uint64_t>(st.st_blocks) * 512 < static_cast<uint64_t>(st.st_size))
            return false;
        void *m = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, f.fd, 0);
        if (m == MAP_FAILED)
            return false;
        f.map = static_cast<uint8_t *>(m);
        f.mapLen = static_cast<uint64_t>(st.st_size);
    }
    if (count > kSmallWrite || pos + count > f.mapLen)
        return false;
    memcpy(f.map + pos, p, count);
    clock_gettime(CLOCK_REALTIME, &f.writtenAt);
    return true;
}

} // namespace

FileObject::~FileObject()
{
    Unmap(*this);
    if (change != Change::None && fd >= 0 && ChangesWanted()) {
        DeviceChange c;
        c.op = change == Change::Created ? DeviceChange::Create : DeviceChange::Replace;
        c.path = devicePath;
        uint64_t now = 0;
        if (FileSizeOf(*this, now))
            c.bytes = now;
        ChangesPublish(c);
    }
    if (standIn)
        ModuleStandInClosed(this);
    ShareLeave(shareHold);
    if (fd >= 0)
        close(fd);
    GiveBlock(std::move(readBuf));
}

uint32_t FileReadObject(FileObject &f, void *data, uint32_t count, uint32_t *got)
{
    *got = 0;
    if (!Reads(f.access))
        return ERROR_ACCESS_DENIED;
    if (f.standIn) {
        uint64_t size = ModuleStandInSize();
        uint64_t n = f.pos >= size ? 0 : std::min<uint64_t>(count, size - f.pos);
        ModuleStandInRead(f.pos, static_cast<uint8_t *>(data), static_cast<size_t>(n));
        f.pos += n;
        *got = static_cast<uint32_t>(n);
        return 0;
    }
    // Nothing to read costs nothing, also to a handle not opened yet.
    if (f.sole && (f.pos >= f.size || count == 0))
        return 0;
    uint32_t error = 0;
    if (!FileEnsureOpen(f, error))
        return error;
    if (f.sole)
        return ReadSole(f, static_cast<uint8_t *>(data), count, got);
    uint32_t e = ReadAt(f.fd, static_cast<uint8_t *>(data), count, f.pos, got);
    f.pos += *got;
    return e;
}

namespace {

uint32_t WriteBytes(FileObject &f, const void *data, uint32_t count);

// Host file systems found unable to copy between each other (a card on one,
// the store on another): their files' blocks go through the buffer without
// asking again each block.
struct NoHostCopy {
    dev_t from, to;
};
ThreadLock g_noHostCopyLock;
NoHostCopy g_noHostCopy[4];
int g_noHostCopyCount = 0;

bool HostCopyRefused(dev_t from, dev_t to)
{
    std::lock_guard<ThreadLock> guard(g_noHostCopyLock);
    for (int i = 0; i < g_noHostCopyCount; ++i)
        if (g_noHostCopy[i].from == from && g_noHostCopy[i].to == to)
            return true;
    return false;
}

void NoteHostCopyRefused(dev_t from, dev_t to)
{
    std::lock_guard<ThreadLock> guard(g_noHostCopyLock);
    for (int i = 0; i < g_noHostCopyCount; ++i)
        if (g_noHostCopy[i].from == from && g_noHostCopy[i].to == to)
            return;
    // The oldest pair makes room: asking the host again is only slower.
    if (g_noHostCopyCount == 4) {
        std::move(g_noHostCopy + 1, g_noHostCopy + 4, g_noHostCopy);
        --g_noHostCopyCount;
    }
    g_noHostCopy[g_noHostCopyCount++] = NoHostCopy{from, to};
}

// The copy made as its two calls would make it, through buf; `allowed`
// when the write's checks and fault were seen to already.
uint32_t CopyThroughBuffer(FileObject &s, FileObject &d, uint8_t *buf, uint32_t count, uint32_t *copied,
                           bool allowed = false)
{
    uint32_t got = 0;
    uint32_t e = FileReadObject(s, buf, count, &got);
    if (!e && got)
        e = allowed ? WriteBytes(d, buf, got) : FileWriteObject(d, buf, got);
    if (!e)
        *copied = got;
    return e;
}

} // namespace

uint32_t FileCopyObject(FileObject &s, FileObject &d, uint8_t *buf, uint32_t count, uint32_t *copied)
{
    *copied = 0;
    // The host copies inside itself when the source's size is known here
    // (so the destination's growth can be reserved first) and neither end
    // has bytes of its own in this process (a stand-in, a mapping). One
    // handle as both ends writes after what it read: the two calls do it.
    if (&s == &d || !Reads(s.access) || !s.sole || s.standIn || !Writes(d.access) || d.standIn || d.map ||
        d.fd < 0 || count == 0 || HostCopyRefused(s.dev, d.dev))
        return CopyThroughBuffer(s, d, buf, count, copied);
    if (s.pos >= s.size)
        return 0;
    uint32_t error = 0;
    if (!FileEnsureOpen(s, error))
        return error;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, s.size - s.pos));
    // From here on the read has happened, as far as the source is concerned.
    const uint64_t from = s.pos;
    if (FaultHit(FaultKind::FileWrite)) {
        s.pos += n;
        return ERROR_DISK_FULL;
    }
    uint64_t size;
    if (!FileSizeOf(d, size)) {
        s.pos += n;
        return ErrorFromErrno(errno);
    }
    const uint64_t pos = d.pos;
    const uint64_t growth = pos + n > size ? pos + n - size : 0;
    if (d.inStore && growth && !StoreReserve(growth)) {
        s.pos += n;
        return ERROR_DISK_FULL;
    }
    uint32_t done = 0;
    while (done < n) {
        loff_t in = static_cast<loff_t>(from + done), out = static_cast<loff_t>(pos + done);
        ssize_t r = copy_file_range(s.fd, &in, d.fd, &out, n - done, 0);
        if (r < 0 && errno == EINTR)
            continue;
        const int err = r < 0 ? errno : 0;
        if (r < 0 && done == 0 &&
            (err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EBADF)) {
            // A pair of files the host cannot copy between (other file
            // systems, the same file): the two calls do it.
            if (d.inStore && growth)
                StoreRelease(growth);
            if (err == EXDEV || err == ENOSYS || err == EOPNOTSUPP)
                NoteHostCopyRefused(s.dev, d.dev);
            return CopyThroughBuffer(s, d, buf, count, copied, true);
        }
        if (r < 0) {
            uint32_t e = ErrorFromErrno(err);
            // Nothing of a failed write stays: the file keeps its old end.
            if (growth && ftruncate(d.fd, static_cast<off_t>(size)) == 0 && d.inStore)
                StoreRelease(growth);
            d.readLen = 0;
            s.pos += n;
            return e;
        }
        if (r == 0)
            break; // shorter than it was: someone outside the device cut it
        done += static_cast<uint32_t>(r);
    }
    const uint64_t end = pos + done;
    if (d.inStore && growth) {
        uint64_t used = end > size ? end - size : 0;
        if (used < growth)
            StoreRelease(growth - used);
    }
    s.pos = from + done;
    // The destination's read-ahead no longer holds what the file does there.
    if (d.readLen && pos < d.readBase + d.readLen && end > d.readBase)
        d.readLen = 0;
    if (d.writtenAt.tv_sec)
        d.writtenAt = {}; // this write sets a later time itself
    d.pos = end;
    if (end > size)
        d.size = end;
    if (done && d.change == FileObject::Change::None)
        d.change = FileObject::Change::Replaced;
    *copied = done;
    return 0;
}

uint32_t FileWriteObject(FileObject &f, const void *data, uint32_t count)
{
    if (!Writes(f.access) || f.standIn)
        return ERROR_ACCESS_DENIED;
    if (count == 0)
        return 0;
    if (FaultHit(FaultKind::FileWrite))
        return ERROR_DISK_FULL;
    return WriteBytes(f, data, count);
}

namespace {

// A write allowed and not failed by an injected fault.
uint32_t WriteBytes(FileObject &f, const void *data, uint32_t count)
{
    uint64_t size;
    if (!FileSizeOf(f, size))
        return ErrorFromErrno(errno);
    const uint64_t pos = f.pos;
    uint64_t end = pos + count;
    uint64_t growth = end > size ? end - size : 0;
    if (f.inStore && growth && !StoreReserve(growth))
        return ERROR_DISK_FULL;

    const uint8_t *p = static_cast<const uint8_t *>(data);
    uint32_t done = 0;
    if (growth == 0 && f.fd >= 0 && MappedWrite(f, pos, p, count))
        done = count;
    else if (f.writtenAt.tv_sec)
        f.writtenAt = {}; // this write sets a later time itself
    while (done < count) {
        ssize_t w = pwrite(f.fd, p + done, count - done, static_cast<off_t>(pos + done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            uint32_t error = w < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL;
            // Nothing of a failed write stays: the file keeps its old end.
            if (growth && ftruncate(f.fd, static_cast<off_t>(size)) == 0 && f.inStore)
                StoreRelease(growth);
            f.readLen = 0;
            return error;
        }
        done += static_cast<uint32_t>(w);
    }
    // What was read ahead under the written bytes takes them too, so that
    // a reader marking what it has read (a log being undone) keeps its
    // block; a write reaching past the block's end cuts it there.
    if (f.readLen && pos < f.readBase + f.readLen && end > f.readBase) {
        if (!f.sole || pos < f.readBase) {
            f.readLen = 0;
        } else {
            uint32_t at = static_cast<uint32_t>(pos - f.readBase);
            uint32_t n = std::min(count, f.readLen - at);
            memcpy(f.readBuf.get() + at, p, n);
        }
    }
    f.pos = end;
    if (end > size)
        f.size = end;
    if (f.change == FileObject::Change::None)
        f.change = FileObject::Change::Replaced;
    return 0;
}

} // namespace

} // namespace plat

using namespace plat;

namespace {

// The file object behind a handle for the length of one call, borrowed
// (see HandleRef): none of these calls closes a handle, and a line reader
// makes a few of them a line.
HandleRef<FileObject> GetFile(HANDLE h)
{
    auto f = HandlePeek<FileObject>(h, HandleKind::File);
    if (!f)
        SetLastError(ERROR_INVALID_HANDLE);
    return f;
}

} // namespace

// CreateFileW
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    // A name in the plain form ("\a\b\c") is split without the full
    // parse, which it would pass as it is; any other is parsed fully.
    QuickPath q;
    const bool plain = QuickParse(lpFileName, q);
    DevicePath p;
    uint32_t error = 0;
    bool parsed = false;
    if (plain) {
        // A file name cannot end with a separator ("\" alone, the root
        // folder, is not of the plain form).
        if (q.trailingSep)
            error = ERROR_INVALID_NAME;
    } else {
        error = ParseDevicePath(lpFileName, false, p);
        parsed = true;
        if (!error && p.trailingSep && !p.parts.empty())
            error = ERROR_INVALID_NAME;
    }
    if (error) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The name is resolved into this thread's own record, whose texts keep
    // their room from one open to the next.
    static thread_local ResolvedPath scratch;
    struct Done {
        ResolvedPath &r;
        ~Done() { r.parentDir.reset(); }
    } done{scratch};
    ResolvedPath &r = scratch;
    r.Clear();
    bool existed = false;
    std::shared_ptr<FileObject> f;
    auto inKnownFolder = [&](bool newName) {
        return plain ? PathInKnownFolder(q, r, newName) : PathInKnownFolder(p, r, newName);
    };
    // An existing file in a folder already resolved is opened straight
    // away; only a name not found so (it may exist in another case) is
    // looked up.
    const bool makes = dwCreationDisposition != OPEN_EXISTING && dwCreationDisposition != TRUNCATE_EXISTING;
    if (makes && inKnownFolder(true)) {
        f = FileOpenResolved(r, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes,
                             &error, &existed);
        if (!f) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    } else if (dwCreationDisposition == OPEN_EXISTING && inKnownFolder(false)) {
        f = FileOpenResolved(r, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes,
                             &error, &existed);
        if (!f && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!f) {
        // The plain form passes the full parse.
        if (!parsed)
            ParseDevicePath(lpFileName, false, p);
        error = ResolveDevicePath(p, r);
        if (error) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        f = FileOpenResolved(r, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes,
                             &error, &existed);
    }
    if (!f) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = HandleAlloc(HandleKind::File, f);
    if (!h) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    // Opening an existing file where one may be created says so.
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
        SetLastError(existed ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return h;
}

// ReadFile
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto f = GetFile(hFile);
    if (!f)
        return FALSE;
    if (!lpBuffer && nNumberOfBytesToRead) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t got = 0;
    uint32_t error = FileReadObject(*f, lpBuffer, nNumberOfBytesToRead, &got);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = got;
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// CeCopyFileBlock
BOOL CeCopyFileBlock(HANDLE hSource, HANDLE hDest, LPVOID lpBuffer, DWORD nNumberOfBytes,
                     LPDWORD lpNumberOfBytesCopied)
{
    if (lpNumberOfBytesCopied)
        *lpNumberOfBytesCopied = 0;
    auto s = GetFile(hSource);
    if (!s)
        return FALSE;
    auto d = GetFile(hDest);
    if (!d)
        return FALSE;
    if (!lpBuffer && nNumberOfBytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t copied = 0;
    uint32_t error = FileCopyObject(*s, *d, static_cast<uint8_t *>(lpBuffer), nNumberOfBytes, &copied);
    if (lpNumberOfBytesCopied)
        *lpNumberOfBytesCopied = copied;
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// WriteFile
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto f = GetFile(hFile);
    if (!f)
        return FALSE;
    if (!lpBuffer && nNumberOfBytesToWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t error = FileWriteObject(*f, lpBuffer, nNumberOfBytesToWrite);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return TRUE;
}

// SetFilePointer
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    auto f = GetFile(hFile);
    if (!f)
        return INVALID_SET_FILE_POINTER;
    int64_t distance = lpDistanceToMoveHigh
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                                  static_cast<uint32_t>(lDistanceToMove))
                           : static_cast<int64_t>(lDistanceToMove);
    int64_t base;
    uint64_t size;
    switch (dwMoveMethod) {
    case FILE_BEGIN:
        base = 0;
        break;
    case FILE_CURRENT:
        base = static_cast<int64_t>(f->pos);
        break;
    case FILE_END:
        if (!FileSizeOf(*f, size)) {
            SetLastError(ErrorFromErrno(errno));
            return INVALID_SET_FILE_POINTER;
        }
        base = static_cast<int64_t>(size);
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    // Only the handle's own position moves; what was read ahead stays for
    // a read that comes back inside it (a line reader stepping back).
    f->pos = static_cast<uint64_t>(target);
    DWORD low = static_cast<DWORD>(static_cast<uint64_t>(target) & 0xffffffffu);
    if (lpDistanceToMoveHigh) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
        // A low part that looks like the failure value is told apart by
        // the last error.
        if (low == INVALID_SET_FILE_POINTER)
            SetLastError(NO_ERROR);
    }
    return low;
}

// SetEndOfFile
BOOL SetEndOfFile(HANDLE hFile)
{
    auto f = GetFile(hFile);
    if (!f)
        return FALSE;
    if (!Writes(f->access) || f->standIn) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    uint64_t size;
    if (!FileSizeOf(*f, size)) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    const uint64_t pos = f->pos;
    if (pos == size)
        return TRUE;
    // The map covers the old length: it goes before the file changes size.
    Unmap(*f);
    if (pos > size) {
        uint64_t growth = pos - size;
        if (f->inStore && !StoreReserve(growth)) {
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        if (ftruncate(f->fd, static_cast<off_t>(pos)) != 0) {
            SetLastError(ErrorFromErrno(errno));
            if (f->inStore)
                StoreRelease(growth);
            return FALSE;
        }
    } else {
        if (ftruncate(f->fd, static_cast<off_t>(pos)) != 0) {
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        if (f->inStore)
            StoreRelease(size - pos);
        // Bytes read ahead past the new end are gone.
        if (f->readLen && f->readBase + f->readLen > pos)
            f->readLen = 0;
    }
    f->size = pos;
    if (f->change == FileObject::Change::None)
        f->change = FileObject::Change::Replaced;
    return TRUE;
}

// GetFileSize
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    auto f = GetFile(hFile);
    if (!f)
        return INVALID_FILE_SIZE;
    uint64_t size;
    if (!FileSizeOf(*f, size)) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    DWORD low = static_cast<DWORD>(size & 0xffffffffu);
    if (lpFileSizeHigh) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
        if (low == INVALID_FILE_SIZE)
            SetLastError(NO_ERROR);
    }
    return low;
}

// FlushFileBuffers
BOOL FlushFileBuffers(HANDLE hFile)
{
    auto f = GetFile(hFile);
    if (!f)
        return FALSE;
    // Writes go straight to the host; there is nothing held back to flush.
    return TRUE;
}

// GetFileTime
BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime, LPFILETIME lpLastWriteTime)
{
    auto f = GetFile(hFile);
    if (!f)
        return FALSE;
    FileTimes t;
    if (f->standIn) {
        t.creation = t.access = t.write = ModuleStandInTime();
    } else {
        struct stat st;
        uint32_t error = 0;
        if (!FileEnsureOpen(*f, error)) {
            SetLastError(error);
            return FALSE;
        }
        SettleMappedTime(*f);
        if (fstat(f->fd, &st) != 0) {
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        t = FileTimesOf(f->fd, st);
    }
    auto put = [](LPFILETIME out, uint64_t v) {
        if (out) {
            out->dwLowDateTime = static_cast<DWORD>(v & 0xffffffffu);
            out->dwHighDateTime = static_cast<DWORD>(v >> 32);
        }
    };
    put(lpCreationTime, t.creation);
    put(lpLastAccessTime, t.access);
    put(lpLastWriteTime, t.write);
    return TRUE;
}

// SetFileTime
BOOL SetFileTime(HANDLE hFile, const FILETIME *lpCreationTime, const FILETIME *lpLastAccessTime,
                 const FILETIME *lpLastWriteTime)
{
    auto f = GetFile(hFile);
    if (!f)
        return FALSE;
    if (!Writes(f->access) || f->standIn) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto get = [](const FILETIME *in, uint64_t &v) -> const uint64_t * {
        if (!in)
            return nullptr;
        v = (static_cast<uint64_t>(in->dwHighDateTime) << 32) | in->dwLowDateTime;
        return &v;
    };
    uint64_t c, a, w;
    const uint64_t *pc = get(lpCreationTime, c);
    const uint64_t *pa = get(lpLastAccessTime, a);
    const uint64_t *pw = get(lpLastWriteTime, w);
    SettleMappedTime(*f);
    uint32_t error = FileSetTimes(f->fd, pc, pa, pw);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// CloseHandle
BOOL CloseHandle(HANDLE hObject)
{
    if (HandleFree(hObject, HandleKind::File) || HandleFree(hObject, HandleKind::Process))
        return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
