// find.cpp - file searches: FindFirstFileW, FindNextFileW, FindClose.
//
// A search takes a snapshot of the matching entries when it starts and
// returns them in one fixed order, by case-folded name in code-unit order,
// so that "the first file found" is the same on every host. "." and "..",
// host symbolic links and other special host entries are never returned.
//
// The names a folder held when last read are kept for a few folders, each
// watched by inotify: a program looks for its files several times in one
// folder (the setup lists the card for each script it looks for), and a
// look whose watch reported nothing reads no folder. Every entry found is
// still looked at afresh; only the list of names is kept.
#include <windows.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
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

// A folder's names as read, good while its watch reports no change. Any
// process's change to a folder is queued on the watch before that change's
// call returns, so a list whose watch is empty when it is used is the
// folder as it is.
struct NameList {
    int wd = -1;          // the folder's watch; -1 for an unused slot
    bool current = false; // the names are the folder's (nothing reported since)
    std::string host;     // the folder's host path as listed
    dev_t dev = 0;        // and the folder itself: a path that now leads
    ino_t ino = 0;        // to another folder is read again
    std::vector<std::string> names;
};

constexpr size_t kKeptLists = 8;
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                IN_MOVE_SELF | IN_ONLYDIR;

std::mutex g_listLock;
int g_watchFd = -1;       // -1: not made yet; -2: no watches on this host
bool g_forked = false;    // this is a child: the watches are its parent's
NameList g_lists[kKeptLists];
size_t g_nextList = 0;

// Gives up a slot, and its watch unless another slot (the same folder by
// another path) has it.
void DropList(NameList &l)
{
    bool shared = false;
    for (const NameList &o : g_lists)
        shared = shared || (&o != &l && o.wd == l.wd);
    if (l.wd >= 0 && !shared && g_watchFd >= 0)
        inotify_rm_watch(g_watchFd, l.wd);
    l = NameList();
}

// A child shares its parent's watch queue: what one of them reads the other
// would miss. The child starts its own.
void ForgetAfterFork()
{
    g_forked = true;
}

// Takes in what the watches reported. False when watches cannot be used
// (then nothing is kept).
bool ReadWatches()
{
    if (g_forked) {
        if (g_watchFd >= 0)
            close(g_watchFd);
        g_watchFd = -1;
        for (NameList &l : g_lists)
            l = NameList();
        g_forked = false;
    }
    if (g_watchFd == -1) {
        static std::once_flag once;
        std::call_once(once, [] { pthread_atfork(nullptr, nullptr, ForgetAfterFork); });
        g_watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (g_watchFd < 0) {
            g_watchFd = -2;
            return false;
        }
        return true;
    }
    if (g_watchFd < 0)
        return false;
    alignas(struct inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = read(g_watchFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0)
            break; // anything else: no list is trusted again
        for (ssize_t at = 0; at < n;) {
            const struct inotify_event *e = reinterpret_cast<const struct inotify_event *>(buf + at);
            at += static_cast<ssize_t>(sizeof *e + e->len);
            for (NameList &l : g_lists) {
                if (e->mask & IN_Q_OVERFLOW) {
                    l.current = false;
                } else if (l.wd == e->wd) {
                    l.current = false;
                    if (e->mask & IN_IGNORED)
                        l = NameList(); // the watch went with its folder
                }
            }
        }
        // A read that left room for another event took all there were.
        if (static_cast<size_t>(n) + sizeof(struct inotify_event) + NAME_MAX + 1 <= sizeof buf)
            return true;
    }
    for (NameList &l : g_lists)
        DropList(l);
    close(g_watchFd);
    g_watchFd = -2;
    return false;
}

// Whether every change to the folder open as FD reaches its watch: on a
// file system of this machine's kernel, yes; on a network or FUSE file
// system (or an overlay, whose lower folders change behind it) another
// machine's or layer's change would not, so such a folder is read each time.
bool WatchesSeeAll(int fd)
{
    struct statfs fs;
    if (fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x01021994: // tmpfs
    case 0x858458f6: // ramfs
    case 0xEF53:     // ext2, ext3, ext4
    case 0x9123683E: // btrfs
    case 0x58465342: // xfs
    case 0xF2F52010: // f2fs
    case 0x4d44:     // vfat
    case 0x2011BAB0: // exfat
        return true;
    default:
        return false;
    }
}

// The names in the host folder HOST (whose stat is ST, taken for this
// look), "." and ".." and entries that are neither files nor folders left
// out.
void FolderNames(const std::string &host, const struct stat &st, std::vector<std::string> &names)
{
    std::lock_guard<std::mutex> guard(g_listLock);
    const bool watching = ReadWatches();
    NameList *kept = nullptr;
    if (watching) {
        for (NameList &l : g_lists) {
            if (l.wd >= 0 && l.host == host && l.dev == st.st_dev && l.ino == st.st_ino) {
                if (l.current) {
                    names = l.names;
                    return;
                }
                kept = &l; // watched, changed since: read again
            }
        }
    }
    names.clear();
    int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // The watch is set on the folder opened (through its descriptor), and
    // before it is read: a change made while it is read is reported, and
    // the list is read again at its next use. A path that no longer leads
    // to the folder looked up is read but not kept. A live watch is on the
    // folder it was set on, so a kept one whose folder is this one serves.
    int wd = -1;
    struct stat now;
    if (kept) {
        wd = kept->wd;
    } else if (watching && fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
               WatchesSeeAll(fd)) {
        char self[40];
        snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        wd = inotify_add_watch(g_watchFd, self, kWatchMask);
    }
    alignas(8) char buf[16384];
    bool whole = true;
    for (;;) {
        ssize_t n = getdents64(fd, buf, sizeof buf);
        if (n <= 0) {
            whole = n == 0;
            break;
        }
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
    if (wd < 0)
        return;
    NameList *slot = kept;
    if (!slot) {
        slot = &g_lists[g_nextList];
        g_nextList = (g_nextList + 1) % kKeptLists;
        if (slot->wd == wd)
            *slot = NameList(); // the same folder by another path: the watch stays
        else
            DropList(*slot);
        slot->wd = wd;
        slot->host = host;
        slot->dev = st.st_dev;
        slot->ino = st.st_ino;
    }
    slot->names = names;
    slot->current = whole;
}

// Lists the folder R, keeping the entries that match PATTERN.
void ListFolder(const ResolvedPath &folder, const std::u16string &pattern, std::vector<Found> &out)
{
    const std::vector<Mount> &mounts = DeviceMounts();
    std::u16string standInName;
    bool standInHere = ModuleNameInFolder(folder.devicePath, standInName);
    std::u16string standInFolded = Fold(standInName);

    std::vector<std::string> names;
    FolderNames(folder.hostPath, folder.st, names);
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
