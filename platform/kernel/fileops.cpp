// fileops.cpp - whole-file operations by name: DeleteFileW, MoveFileW,
// CopyFileW, GetFileAttributesW, SetFileAttributesW.
//
// A file that any handle has open is neither deleted nor moved (sharing
// violation); the decision and the deed happen under the file's open lock,
// so no open can slip in between. Moves between the store and a mount copy
// the file (keeping its times and attributes) and then delete the source;
// a copy that fails leaves no partial destination.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "kernel/faults.h"
#include "kernel/files.h"
#include "kernel/handles.h"
#include "text/text.h"
#include "kernel/changes.h"

#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif

using namespace plat;

namespace {

bool IsReadOnly(const struct stat &st)
{
    return (st.st_mode & S_IWUSR) == 0;
}

// Parses and resolves a name given to a file call (no trailing separator).
uint32_t ResolveFileName(LPCWSTR name, ResolvedPath &r, DevicePath &p)
{
    p = DevicePath();
    uint32_t error = ParseDevicePath(name, false, p);
    if (!error && p.trailingSep && !p.parts.empty())
        error = ERROR_INVALID_NAME;
    if (!error)
        error = ResolveDevicePath(p, r);
    return error;
}

uint32_t ResolveFileName(LPCWSTR name, ResolvedPath &r)
{
    DevicePath p;
    return ResolveFileName(name, r, p);
}

// Copies the open source SRC (of SIZE bytes) to a new host file DST, with
// the source's times and read-only state. Nothing is left at DST on failure.
uint32_t CopyAcross(int src, const struct stat &srcSt, const ResolvedPath &dst)
{
    uint64_t size = static_cast<uint64_t>(srcSt.st_size);
    if (dst.inStore() && !StoreReserve(size))
        return ERROR_DISK_FULL;
    int out = open(dst.hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) {
        uint32_t e = errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
        if (dst.inStore())
            StoreRelease(size);
        return e;
    }
    std::vector<uint8_t> buf(65536);
    uint32_t error = 0;
    off_t at = 0;
    for (;;) {
        ssize_t n = pread(src, buf.data(), buf.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = ErrorFromErrno(errno);
            break;
        }
        if (n == 0)
            break;
        if (FaultHit(FaultKind::FileWrite)) {
            error = ERROR_DISK_FULL;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = write(out, buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                error = w < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL;
                break;
            }
            done += w;
        }
        if (error)
            break;
        at += n;
    }
    if (!error) {
        FileTimes t = FileTimesOf(src, srcSt);
        struct stat outSt;
        if (fstat(out, &outSt) == 0)
            FileForgetCreationTime(outSt);
        error = FileSetTimes(out, &t.creation, &t.access, &t.write);
        if (!error && IsReadOnly(srcSt))
            fchmod(out, 0444);
    }
    close(out);
    if (error) {
        unlink(dst.hostPath.c_str());
        if (dst.inStore())
            StoreRelease(size);
    }
    return error;
}

// Deletes a file found by name in a folder already resolved: no path to
// walk, and nothing else to look up but the name itself.
// Unlinks a file found as FOUND when no handle has it open (LEAF in the
// folder DIR_FD, or HOST when there is no folder held), and gives its bytes
// back to the store's count.
uint32_t UnlinkUnopened(const struct stat &found, int dirFd, const char *leaf, const char *host, bool inStore)
{
    return FileWithNoOpenHandles(found, [&](const struct stat &st) -> uint32_t {
        if ((dirFd >= 0 ? unlinkat(dirFd, leaf, 0) : unlink(host)) != 0)
            return ErrorFromErrno(errno);
        if (inStore)
            StoreRelease(static_cast<uint64_t>(st.st_size));
        return 0;
    });
}

uint32_t DeleteKnownFile(const QuickPath &q, const KnownFile &k, const char16_t *raw)
{
    if (!S_ISREG(k.st.st_mode) || IsReadOnly(k.st))
        return ERROR_ACCESS_DENIED;
    uint32_t error = UnlinkUnopened(k.st, k.dir->fd, k.leaf, nullptr, k.inStore());
    if (error)
        return error;
    if (ChangesWanted()) {
        DeviceChange change;
        change.op = DeviceChange::Delete;
        PathKnownFileGone(q, k, raw, &change.path);
        ChangesPublish(change);
    } else {
        PathKnownFileGone(q, k, raw, nullptr);
    }
    return 0;
}

} // namespace

// DeleteFileW
BOOL DeleteFileW(LPCWSTR lpFileName)
{
    {
        QuickPath q;
        KnownFile k;
        if (QuickParse(lpFileName, q) && PathKnownFile(q, k)) {
            uint32_t error = DeleteKnownFile(q, k, lpFileName);
            if (error) {
                SetLastError(error);
                return FALSE;
            }
            return TRUE;
        }
    }
    ResolvedPath r;
    uint32_t error = ResolveFileName(lpFileName, r);
    if (!error) {
        if (r.kind == EntryKind::Missing)
            error = ERROR_FILE_NOT_FOUND;
        else if (r.isRoot || r.isMountPoint || r.kind != EntryKind::File)
            error = ERROR_ACCESS_DENIED;
        else if (r.standIn)
            error = ERROR_SHARING_VIOLATION;
        else if (IsReadOnly(r.st))
            error = ERROR_ACCESS_DENIED;
    }
    if (!error) {
        error = UnlinkUnopened(r.st, r.parentDir ? r.parentDir->fd : -1, r.leaf.c_str(), r.hostPath.c_str(),
                               r.inStore());
        if (!error) {
            PathFileGone(r.devicePath);
            if (ChangesWanted())
                ChangesPublish({DeviceChange::Delete, r.devicePath});
        }
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// MoveFileW
BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName)
{
    ResolvedPath src, dst;
    DevicePath dstPath;
    uint32_t error = ResolveFileName(lpExistingFileName, src);
    if (!error) {
        if (src.kind == EntryKind::Missing)
            error = ERROR_FILE_NOT_FOUND;
        else if (src.isRoot || src.isMountPoint || src.kind == EntryKind::Other)
            error = ERROR_ACCESS_DENIED;
        else if (src.standIn)
            error = ERROR_SHARING_VIOLATION;
    }
    if (!error)
        error = ResolveFileName(lpNewFileName, dst, dstPath);
    if (!error && (dst.isRoot || dst.isMountPoint))
        error = ERROR_ALREADY_EXISTS;
    if (!error && dst.kind != EntryKind::Missing) {
        // Renaming a file to its own name in another case is allowed.
        bool same = !dst.standIn && dst.kind == src.kind && dst.st.st_dev == src.st.st_dev &&
                    dst.st.st_ino == src.st.st_ino && dst.hostPath == src.hostPath;
        if (!same)
            error = ERROR_ALREADY_EXISTS;
        else if (dstPath.parts.back() == src.name)
            return TRUE;
        else
            dst.hostPath = dst.hostParent + "/" + ToUtf8(dstPath.parts.back());
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }

    if (src.kind == EntryKind::Folder) {
        if (src.mount != dst.mount) {
            SetLastError(ERROR_NOT_SAME_DEVICE);
            return FALSE;
        }
        // A folder cannot move into its own subtree. Windows CE names no
        // error for it; like desktop Win32 it is an invalid parameter (the
        // request can never succeed), not a refused access.
        if (dst.hostPath.compare(0, src.hostPath.size() + 1, src.hostPath + "/") == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (rename(src.hostPath.c_str(), dst.hostPath.c_str()) != 0) {
            SetLastError(errno == EEXIST || errno == ENOTEMPTY ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
            return FALSE;
        }
        ShareCountRemoval(); // handles not opened yet find their files again

        PathNoteAdded(dst.hostPath);
        PathFolderGone(src.devicePath);
        PathFileMade(dst.devicePath);
        // A folder moves whole: its own two changes stand for its contents.
        if (ChangesWanted()) {
            ChangesPublish({DeviceChange::Rmdir, src.devicePath});
            ChangesPublish({DeviceChange::Mkdir, dst.devicePath});
        }
        return TRUE;
    }

    const bool sameVolume = src.mount == dst.mount;
    error = FileWithNoOpenHandles(src.st, [&](const struct stat &st) -> uint32_t {
        if (sameVolume) {
            unsigned flags = dst.hostPath == src.hostPath ? 0 : RENAME_NOREPLACE;
            if (dst.kind != EntryKind::Missing)
                flags = 0; // a change of case only
            if (renameat2(AT_FDCWD, src.hostPath.c_str(), AT_FDCWD, dst.hostPath.c_str(), flags) != 0)
                return errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
            return 0;
        }
        int fd = open(src.hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return ErrorFromErrno(errno);
        uint32_t e = CopyAcross(fd, st, dst);
        close(fd);
        if (e)
            return e;
        if (unlink(src.hostPath.c_str()) != 0) {
            e = ErrorFromErrno(errno);
            unlink(dst.hostPath.c_str());
            if (dst.inStore())
                StoreRelease(static_cast<uint64_t>(st.st_size));
            return e;
        }
        if (src.inStore())
            StoreRelease(static_cast<uint64_t>(st.st_size));
        return 0;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    PathNoteAdded(dst.hostPath);
    PathFileGone(src.devicePath);
    PathFileMade(dst.devicePath);
    if (ChangesWanted()) {
        ChangesPublish({DeviceChange::Delete, src.devicePath});
        DeviceChange made{DeviceChange::Create, dst.devicePath};
        made.bytes = static_cast<uint64_t>(src.st.st_size);
        ChangesPublish(made);
    }
    return TRUE;
}

// CopyFileW
BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists)
{
    ResolvedPath src, dst;
    uint32_t error = ResolveFileName(lpExistingFileName, src);
    if (!error && src.kind == EntryKind::Missing)
        error = ERROR_FILE_NOT_FOUND;
    if (!error)
        error = ResolveFileName(lpNewFileName, dst);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    bool existed = false;
    auto in = FileOpenResolved(src, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &error, &existed);
    if (!in) {
        SetLastError(error);
        return FALSE;
    }
    bool readOnly = !src.standIn && IsReadOnly(src.st);
    auto out = FileOpenResolved(dst, GENERIC_WRITE, 0, bFailIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, &error,
                                &existed);
    if (!out) {
        SetLastError(error);
        return FALSE;
    }
    std::vector<uint8_t> buf(65536);
    for (;;) {
        uint32_t got = 0;
        error = FileReadObject(*in, buf.data(), static_cast<uint32_t>(buf.size()), &got);
        if (error || got == 0)
            break;
        error = FileWriteObject(*out, buf.data(), got);
        if (error)
            break;
    }
    int outFd = out->fd;
    if (error) {
        // No partial copy stays behind.
        struct stat st;
        if (fstat(outFd, &st) == 0 && dst.inStore())
            StoreRelease(static_cast<uint64_t>(st.st_size));
        // The partial copy is taken back below: no change to report.
        out->change = FileObject::Change::None;
        out.reset();
        in.reset();
        ResolvedPath again;
        if (ResolveFileName(lpNewFileName, again) == 0 && again.kind == EntryKind::File && !again.standIn &&
            unlink(again.hostPath.c_str()) == 0)
            PathFileGone(again.devicePath);
        SetLastError(error);
        return FALSE;
    }
    if (readOnly)
        fchmod(outFd, 0444);
    return TRUE;
}

// GetFileAttributesW
DWORD GetFileAttributesW(LPCWSTR lpFileName)
{
    // A folder already resolved: no host call, and no full parse of a name
    // in the plain form, whose look-up is the same.
    int64_t entries;
    QuickPath q;
    const bool plain = QuickParse(lpFileName, q);
    if (plain && PathFolderKnownQuick(q, entries))
        return FILE_ATTRIBUTE_DIRECTORY;
    DevicePath p;
    uint32_t error = ParseDevicePath(lpFileName, false, p);
    if (!plain && !error && !p.parts.empty() && PathFolderKnown(DevicePathText(p), entries))
        return FILE_ATTRIBUTE_DIRECTORY;
    ResolvedPath r;
    if (!error)
        error = ResolveDevicePath(p, r);
    if (!error && r.kind == EntryKind::Missing)
        error = ERROR_FILE_NOT_FOUND;
    if (!error && r.kind == EntryKind::Other)
        error = ERROR_ACCESS_DENIED;
    if (error) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (r.kind == EntryKind::Folder)
        return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attrs = FILE_ATTRIBUTE_ARCHIVE;
    if (!r.standIn && IsReadOnly(r.st))
        attrs |= FILE_ATTRIBUTE_READONLY;
    return attrs;
}

// SetFileAttributesW
BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes)
{
    DevicePath p;
    uint32_t error = ParseDevicePath(lpFileName, false, p);
    ResolvedPath r;
    if (!error)
        error = ResolveDevicePath(p, r);
    if (!error && r.kind == EntryKind::Missing)
        error = ERROR_FILE_NOT_FOUND;
    if (!error && (r.kind == EntryKind::Other || r.isRoot || r.isMountPoint))
        error = ERROR_ACCESS_DENIED;
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    // Only the read-only state of files is kept; folders and the stand-in
    // program file take the call without change.
    if (r.kind == EntryKind::Folder || r.standIn)
        return TRUE;
    int fd = open(r.hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    struct stat st;
    int rc = fstat(fd, &st);
    if (rc == 0) {
        mode_t mode = st.st_mode & 07777;
        mode = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | 0200);
        rc = fchmod(fd, mode);
    }
    int saved = errno;
    close(fd);
    if (rc != 0) {
        SetLastError(ErrorFromErrno(saved));
        return FALSE;
    }
    return TRUE;
}
