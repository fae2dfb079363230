// find.cpp - file searches: FindFirstFileW, FindNextFileW, FindClose.
//
// A search takes a snapshot of the matching entries when it starts and
// returns them in one fixed order, by case-folded name in code-unit order,
// so that "the first file found" is the same on every host. "." and "..",
// host symbolic links and other special host entries are never returned.
#include <windows.h>

#include <dirent.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "kernel/device.h"
#include "kernel/files.h"
#include "kernel/handles.h"
#include "text/text.h"

using namespace plat;

namespace {

struct FindObject : HandleObject {
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

struct Found {
    std::u16string folded;
    WIN32_FIND_DATAW data;
};

void PutTime(FILETIME &out, uint64_t v)
{
    out.dwLowDateTime = static_cast<DWORD>(v & 0xffffffffu);
    out.dwHighDateTime = static_cast<DWORD>(v >> 32);
}

bool HasWildcards(const std::u16string &s)
{
    return s.find_first_of(u"*?") != std::u16string::npos;
}

WIN32_FIND_DATAW MakeData(const std::u16string &name, bool folder, bool readOnly, uint64_t size, const FileTimes &t,
                          uint32_t oid)
{
    WIN32_FIND_DATAW d;
    memset(&d, 0, sizeof d);
    d.dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY
                                : (FILE_ATTRIBUTE_ARCHIVE | (readOnly ? FILE_ATTRIBUTE_READONLY : 0));
    PutTime(d.ftCreationTime, t.creation);
    PutTime(d.ftLastAccessTime, t.access);
    PutTime(d.ftLastWriteTime, t.write);
    if (!folder) {
        d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        d.nFileSizeLow = static_cast<DWORD>(size & 0xffffffffu);
    }
    d.dwOID = oid;
    size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
    std::copy(name.begin(), name.begin() + static_cast<long>(n), d.cFileName);
    d.cFileName[n] = 0;
    return d;
}

Found FromHost(const std::u16string &name, const std::string &hostPath, const struct stat &st)
{
    bool folder = S_ISDIR(st.st_mode);
    bool readOnly = (st.st_mode & S_IWUSR) == 0;
    FileTimes t = FileTimesOf(-1, st, hostPath.c_str());
    return {Fold(name), MakeData(name, folder, readOnly, static_cast<uint64_t>(st.st_size), t,
                                 static_cast<uint32_t>(st.st_ino))};
}

Found StandIn(const std::u16string &name)
{
    FileTimes t;
    t.creation = t.access = t.write = ModuleStandInTime();
    return {Fold(name), MakeData(name, false, false, ModuleStandInSize(), t, 0)};
}

// ---------------------------------------------------------------- kept names

// The names in the host folder HOST, "." and ".." and entries that are
// neither files nor folders left out. Read afresh at every search: a search
// is rare, and the watch that once let a folder's names be kept cost more
// than it saved (closing it at exit waited out the kernel's grace period,
// about 13 ms in every other run).
void FolderNames(const std::string &host, std::vector<std::string> &names)
{
    names.clear();
    int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    alignas(8) char buf[16384];
    for (;;) {
        ssize_t n = getdents64(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const struct dirent64 *e = reinterpret_cast<const struct dirent64 *>(buf + at);
            at += e->d_reclen;
            const char *nm = e->d_name;
            if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0)))
                continue;
            if (e->d_type != DT_REG && e->d_type != DT_DIR && e->d_type != DT_UNKNOWN)
                continue;
            names.emplace_back(nm);
        }
    }
    close(fd);
}

// Lists the folder R, keeping the entries that match PATTERN.
void ListFolder(const ResolvedPath &folder, const std::u16string &pattern, std::vector<Found> &out)
{
    const std::vector<Mount> &mounts = DeviceMounts();
    std::u16string standInName;
    bool standInHere = ModuleNameInFolder(folder.devicePath, standInName);
    std::u16string standInFolded = Fold(standInName);

    std::vector<std::string> names;
    FolderNames(folder.hostPath, names);
    for (const std::string &entry : names) {
        const char *n = entry.c_str();
        std::u16string name = FromUtf8(n);
        std::u16string folded = Fold(name);
        if (standInHere && folded == standInFolded)
            standInHere = false; // a real file is there
        if (folder.isRoot) {
            bool shadowed = false;
            for (const Mount &m : mounts)
                shadowed = shadowed || FoldCompare(m.name, name) == 0;
            if (shadowed)
                continue;
        }
        if (!PatternMatch(pattern, name))
            continue;
        std::string host = folder.hostPath + "/" + n;
        struct stat st;
        if (lstat(host.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
            continue;
        out.push_back(FromHost(name, host, st));
    }
    if (folder.isRoot) {
        for (const Mount &m : mounts) {
            struct stat st;
            if (PatternMatch(pattern, m.name) && stat(m.hostDir.c_str(), &st) == 0)
                out.push_back(FromHost(m.name, m.hostDir, st));
        }
    }
    if (standInHere && PatternMatch(pattern, standInName))
        out.push_back(StandIn(standInName));
}

} // namespace

// FindFirstFileW
HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData)
{
    if (!lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DevicePath p;
    uint32_t error = ParseDevicePath(lpFileName, true, p);
    if (!error && (p.parts.empty() || p.trailingSep))
        error = ERROR_FILE_NOT_FOUND;
    if (error) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string pattern = p.parts.back();
    std::vector<Found> found;
    if (!HasWildcards(pattern)) {
        ResolvedPath r;
        error = ResolveDevicePath(p, r);
        if (error) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        if (r.standIn)
            found.push_back(StandIn(r.name));
        else if (r.isMountPoint || r.kind == EntryKind::File || r.kind == EntryKind::Folder)
            found.push_back(FromHost(r.name, r.hostPath, r.st));
    } else {
        DevicePath folderPath = p;
        folderPath.parts.pop_back();
        ResolvedPath folder;
        error = ResolveDevicePath(folderPath, folder);
        if (!error && folder.kind != EntryKind::Folder)
            error = ERROR_PATH_NOT_FOUND;
        if (error) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        ListFolder(folder, pattern, found);
    }
    if (found.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.folded != b.folded)
            return a.folded < b.folded;
        return std::u16string_view(a.data.cFileName) < std::u16string_view(b.data.cFileName);
    });
    auto f = std::make_shared<FindObject>();
    f->entries.reserve(found.size());
    for (Found &e : found)
        f->entries.push_back(e.data);
    HANDLE h = HandleAlloc(HandleKind::Find, f);
    if (!h) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = f->entries[0];
    f->next = 1;
    return h;
}

// FindNextFileW
BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData)
{
    auto f = HandleGetAs<FindObject>(hFindFile, HandleKind::Find);
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (f->next >= f->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = f->entries[f->next++];
    return TRUE;
}

// FindClose
BOOL FindClose(HANDLE hFindFile)
{
    if (!HandleFree(hFindFile, HandleKind::Find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
