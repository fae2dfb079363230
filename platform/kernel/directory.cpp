// directory.cpp - folders and volumes: CreateDirectoryW, RemoveDirectoryW,
// GetDiskFreeSpaceExW.
#include <windows.h>

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "kernel/device.h"
#include "kernel/files.h"
#include "kernel/changes.h"

using namespace plat;

namespace {

// Folder calls accept a trailing separator.
uint32_t ResolveFolderName(LPCWSTR name, DevicePath &p, ResolvedPath &r)
{
    uint32_t error = ParseDevicePath(name, false, p);
    if (!error)
        error = ResolveDevicePath(p, r);
    return error;
}

// Whether the stand-in program file lies in the folder R (it makes the
// folder not empty).
bool HoldsStandIn(const DevicePath &folder, const ResolvedPath &r)
{
    std::u16string name;
    if (!ModuleNameInFolder(r.devicePath, name))
        return false;
    DevicePath p = folder;
    p.trailingSep = false;
    p.parts.push_back(name);
    ResolvedPath m;
    return ResolveDevicePath(p, m) == 0 && m.standIn;
}

// Number of names in a host folder, or -1.
int64_t CountNames(const std::string &hostDir)
{
    DIR *d = opendir(hostDir.c_str());
    if (!d)
        return -1;
    int64_t n = 0;
    while (struct dirent *e = readdir(d)) {
        const char *name = e->d_name;
        if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))))
            ++n;
    }
    closedir(d);
    return n;
}

} // namespace

// CreateDirectoryW
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes)
{
    int64_t entries;
    // A folder already resolved exists: no host call (making every folder
    // of a file's path before each copy costs nothing then), and no full
    // parse of a name in the plain form, whose look-up is the same.
    QuickPath q;
    const bool plain = QuickParse(lpPathName, q);
    if (plain && PathFolderKnownQuick(q, entries)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    DevicePath p;
    uint32_t error = ParseDevicePath(lpPathName, false, p);
    if (!plain && !error && !p.parts.empty() && PathFolderKnown(DevicePathText(p), entries))
        error = ERROR_ALREADY_EXISTS;
    ResolvedPath r;
    if (!error)
        error = ResolveDevicePath(p, r);
    if (!error && (r.isRoot || r.isMountPoint || r.kind != EntryKind::Missing))
        error = ERROR_ALREADY_EXISTS;
    if (!error && mkdir(r.hostPath.c_str(), 0777) != 0)
        error = errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    PathNoteAdded(r.hostPath);
    PathFolderMade(r);
    if (ChangesWanted())
        ChangesPublish({DeviceChange::Mkdir, r.devicePath});
    return TRUE;
}

// RemoveDirectoryW
BOOL RemoveDirectoryW(LPCWSTR lpPathName)
{
    int64_t entries = -1;
    // A folder known to hold names is not removed: no host call (removing
    // the folders of a file's path after each delete costs nothing then),
    // and not even a full parse of the name when it is in its plain form.
    if (PathFolderOfLastDelete(lpPathName, entries) && entries > 0) {
        SetLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    {
        QuickPath q;
        if (QuickParse(lpPathName, q) && PathFolderKnownQuick(q, entries) && entries > 0) {
            SetLastError(ERROR_DIR_NOT_EMPTY);
            return FALSE;
        }
    }
    DevicePath p;
    uint32_t error = ParseDevicePath(lpPathName, false, p);
    if (!error && !p.parts.empty() && PathFolderKnown(DevicePathText(p), entries) && entries > 0) {
        SetLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    ResolvedPath r;
    if (!error)
        error = ResolveDevicePath(p, r);
    if (!error) {
        if (r.isRoot || r.isMountPoint)
            error = ERROR_ACCESS_DENIED;
        else if (r.kind == EntryKind::Missing)
            error = ERROR_PATH_NOT_FOUND;
        else if (r.kind != EntryKind::Folder)
            error = ERROR_DIRECTORY;
        else if (HoldsStandIn(p, r))
            error = ERROR_DIR_NOT_EMPTY;
    }
    if (!error && rmdir(r.hostPath.c_str()) != 0) {
        error = (errno == ENOTEMPTY || errno == EEXIST) ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno);
        // Counted once, the folder's names are then kept as files go.
        if (error == ERROR_DIR_NOT_EMPTY)
            PathFolderCounted(r, CountNames(r.hostPath));
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    PathFolderGone(r.devicePath);
    if (ChangesWanted())
        ChangesPublish({DeviceChange::Rmdir, r.devicePath});
    return TRUE;
}

// GetDiskFreeSpaceExW
BOOL GetDiskFreeSpaceExW(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                         PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes)
{
    // No name, or an empty one, means the object store's root.
    LPCWSTR name = (lpDirectoryName && lpDirectoryName[0]) ? lpDirectoryName : u"\\";
    DevicePath p;
    ResolvedPath r;
    uint32_t error = ResolveFolderName(name, p, r);
    if (!error && r.kind == EntryKind::Missing)
        error = ERROR_PATH_NOT_FOUND;
    if (!error && r.kind != EntryKind::Folder)
        error = ERROR_DIRECTORY;
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    uint64_t avail, total, free;
    if (r.inStore()) {
        StoreFigures f = StoreSpace();
        avail = free = f.free;
        total = f.total;
    } else {
        // A mount reports its host folder's own figures.
        struct statvfs vfs;
        if (statvfs(DeviceMounts()[static_cast<size_t>(r.mount)].hostDir.c_str(), &vfs) != 0) {
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        avail = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
        total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
        free = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
    }
    if (lpFreeBytesAvailableToCaller)
        lpFreeBytesAvailableToCaller->QuadPart = avail;
    if (lpTotalNumberOfBytes)
        lpTotalNumberOfBytes->QuadPart = total;
    if (lpTotalNumberOfFreeBytes)
        lpTotalNumberOfFreeBytes->QuadPart = free;
    return TRUE;
}
