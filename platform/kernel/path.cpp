// path.cpp - device paths: parsing, confinement and case-insensitive lookup.
//
// A device path is split into components and checked before any host call:
// "." and "..", refused characters and over-long paths never reach the host.
// Each component is then looked up in its host folder, first under its exact
// name (one lstat, the common case), then by a scan comparing folded names.
// lstat is used throughout, so a host symbolic link is seen as what it is
// and never followed; callers treat such entries as unusable.
#include <windows.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "kernel/device.h"
#include "kernel/files.h"
#include "text/text.h"

namespace plat {
namespace {

bool IsSep(char16_t c)
{
    return c == u'\\' || c == u'/';
}

// Characters the device's file system refuses in names.
bool IsRefused(char16_t c, bool wildcardsAllowed)
{
    if (c < 0x20)
        return true;
    switch (c) {
    case u'<':
    case u'>':
    case u':':
    case u'"':
    case u'|':
        return true;
    case u'*':
    case u'?':
        return !wildcardsAllowed;
    default:
        return false;
    }
}

// A lone surrogate cannot become a host (UTF-8) name without changing into
// another name, so it is refused like any other invalid character.
bool HasLoneSurrogate(const std::u16string &s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c >= 0xd800 && c < 0xdc00) {
            if (i + 1 >= s.size() || s[i + 1] < 0xdc00 || s[i + 1] >= 0xe000)
                return true;
            ++i;
        } else if (c >= 0xdc00 && c < 0xe000) {
            return true;
        }
    }
    return false;
}

EntryKind KindOf(const struct stat &st)
{
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    if (S_ISDIR(st.st_mode))
        return EntryKind::Folder;
    return EntryKind::Other;
}

// Folded names of the folders looked into, so that a name that is not there
// under its exact spelling (every new file) costs no scan of its folder.
// An index is trusted only while its folder's change time is the one seen
// when it was made; the platform's own additions are entered as they
// happen. A name found in an index is always checked with lstat, so a stale
// entry can only make a lookup fall back to the truth.
struct FolderIndex {
    struct timespec ctime, mtime;
    ino_t ino = 0;
    dev_t dev = 0;
    std::unordered_map<std::u16string, std::string> names; // folded -> host name
};

std::mutex g_indexLock;
std::unordered_map<std::string, FolderIndex> g_indexes;
uint64_t g_indexGeneration = 0;
constexpr size_t kMaxIndexes = 256;

bool SameStamp(const FolderIndex &x, const struct stat &st)
{
    return x.ino == st.st_ino && x.dev == st.st_dev && x.ctime.tv_sec == st.st_ctim.tv_sec &&
           x.ctime.tv_nsec == st.st_ctim.tv_nsec && x.mtime.tv_sec == st.st_mtim.tv_sec &&
           x.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

void SetStamp(FolderIndex &x, const struct stat &st)
{
    x.ino = st.st_ino;
    x.dev = st.st_dev;
    x.ctime = st.st_ctim;
    x.mtime = st.st_mtim;
}

bool IsDots(const char *n)
{
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

// Scans DIR into a new index. Of two host names that fold alike (they can
// only come from outside the device) the lowest in byte order is kept, so
// the choice is stable.
bool BuildIndex(const std::string &dir, FolderIndex &index)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return false;
    while (struct dirent *e = readdir(d)) {
        if (IsDots(e->d_name))
            continue;
        std::string name = e->d_name;
        auto inserted = index.names.emplace(Fold(FromUtf8(name)), name);
        if (!inserted.second && inserted.first->second.compare(name) > 0)
            inserted.first->second = name;
    }
    closedir(d);
    return true;
}

// The host name in DIR that folds like NAME, or empty.
std::string FindFolded(const std::string &dir, const std::u16string &name)
{
    struct stat dst;
    if (stat(dir.c_str(), &dst) != 0)
        return std::string();
    std::u16string folded = Fold(name);
    std::lock_guard<std::mutex> guard(g_indexLock);
    if (g_indexGeneration != DeviceGeneration()) {
        g_indexes.clear();
        g_indexGeneration = DeviceGeneration();
    }
    auto it = g_indexes.find(dir);
    if (it == g_indexes.end() || !SameStamp(it->second, dst)) {
        if (g_indexes.size() >= kMaxIndexes)
            g_indexes.clear();
        FolderIndex index;
        // The stamp is taken before the scan: a change during the scan
        // makes the next lookup scan again.
        SetStamp(index, dst);
        if (!BuildIndex(dir, index))
            return std::string();
        it = g_indexes.insert_or_assign(dir, std::move(index)).first;
    }
    auto hit = it->second.names.find(folded);
    return hit == it->second.names.end() ? std::string() : hit->second;
}

// Looks NAME up in the host folder DIR. On a hit, ACTUAL is the host name
// (UTF-8, stored case) and ST its lstat; KIND is Missing when nothing folds
// to the same name. Without SCAN, a name not there under its exact spelling
// is taken as missing (the folder's names are known and none folds alike).
// Names known to be in a folder, kept small: the hash of each folded name
// (a folder of thousands of files costs a few words a name). A hash that is
// there sends the lookup to the folder itself; one that is not says the
// name is missing.
using NameHashes = std::unordered_multiset<uint64_t>;

uint64_t NameHash(const std::u16string &name)
{
    return std::hash<std::u16string>{}(Fold(name));
}

// With HELD (DIR held open), the exact name is one component to look up
// there; a name missing there is looked for by the folder's path as well
// (the folder may have been replaced from outside the device), and HELD is
// then dropped, so that the caller acts on the path.
void LookupChild(const std::string &dir, const std::u16string &name, std::string &actual, EntryKind &kind,
                 struct stat &st, bool scan, std::shared_ptr<HostDir> *held = nullptr)
{
    std::string u8 = ToUtf8(name);
    std::string full;
    int found0 = -1;
    if (held && *held) {
        found0 = fstatat((*held)->fd, u8.c_str(), &st, AT_SYMLINK_NOFOLLOW);
        if (found0 != 0)
            held->reset();
    }
    if (found0 != 0)
        found0 = lstat((full = dir + "/" + u8).c_str(), &st);
    if (found0 == 0) {
        actual = u8;
        kind = KindOf(st);
        return;
    }
    kind = EntryKind::Missing;
    if (errno != ENOENT)
        return;
    std::string found;
    if (scan)
        found = FindFolded(dir, name);
    if (found.empty() || found == u8)
        return;
    full = dir + "/" + found;
    if (lstat(full.c_str(), &st) != 0)
        return;
    actual = found;
    kind = KindOf(st);
}

// ---------------------------------------------------------------- resolved folders

// Folders already resolved, by folded device path, so that a path whose
// folders are known costs no host call to reach its last component. Every
// process of a device counts the changes it makes to the folder tree
// (folders made, removed or moved, files deleted or moved) in a small
// shared file, DIR/changes; the cache is kept while that count moves only
// by this process's own changes, which it applies to the cache as it makes
// them, and is dropped as soon as another process has changed anything.
struct CachedFolder {
    std::string host;      // host path, each component in its stored case
    std::u16string device; // device path in stored case
    int64_t entries = -1;  // names in the folder when known, else -1
    // Made by this process: every name in it is known, so a name that is
    // not there costs no scan of the folder.
    bool complete = false;
    NameHashes names;
    std::shared_ptr<HostDir> dir; // opened when a file in it is first opened
    bool dirTried = false;
};

// Folders held open, at most this many at once.
std::atomic<int> g_dirFds{0};
constexpr int kMaxDirFds = 128;

// The cached folder held open, opened on first use while there is room.
// Caller holds g_indexLock.
const std::shared_ptr<HostDir> &HeldDir(CachedFolder &f)
{
    if (!f.dirTried && g_dirFds.load() < kMaxDirFds) {
        f.dirTried = true;
        int fd = open(f.host.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            f.dir = std::make_shared<HostDir>();
            f.dir->fd = fd;
            ++g_dirFds;
        }
    }
    return f.dir;
}

std::unordered_map<std::u16string, CachedFolder> g_folders; // under g_indexLock
uint64_t g_foldersSeq = 0;
uint64_t g_foldersGeneration = 0;

struct SharedCount {
    uint64_t generation = 0;
    uint64_t *count = nullptr; // in the shared mapping; null when it could not be made
};
SharedCount g_shared;

// The device's change count, mapped once per opened device. Caller holds
// g_indexLock.
uint64_t *ChangeCount()
{
    if (g_shared.generation == DeviceGeneration())
        return g_shared.count;
    if (g_shared.count)
        munmap(g_shared.count, sizeof(uint64_t));
    g_shared = SharedCount();
    g_shared.generation = DeviceGeneration();
    std::string file = DeviceDir() + "/changes";
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st;
    // Growing it is harmless when two processes do it at once.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_size >= 8 || ftruncate(fd, 8) == 0)) {
        void *m = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (m != MAP_FAILED)
            g_shared.count = static_cast<uint64_t *>(m);
    }
    close(fd);
    return g_shared.count;
}

// Drops the cache when the device changed or another process changed the
// folder tree. Caller holds g_indexLock.
void CheckFolderCache()
{
    uint64_t *count = ChangeCount();
    uint64_t seq = count ? __atomic_load_n(count, __ATOMIC_ACQUIRE) : 0;
    if (!count || seq != g_foldersSeq || g_foldersGeneration != DeviceGeneration()) {
        g_folders.clear();
        g_foldersSeq = seq;
        g_foldersGeneration = DeviceGeneration();
    }
}

std::u16string ParentOf(const std::u16string &devicePath)
{
    size_t cut = devicePath.rfind(u'\\');
    return cut == std::u16string::npos || cut == 0 ? std::u16string(u"\\") : devicePath.substr(0, cut);
}

std::u16string NameOf(const std::u16string &devicePath)
{
    size_t cut = devicePath.rfind(u'\\');
    return cut == std::u16string::npos ? devicePath : devicePath.substr(cut + 1);
}

// A name came (DELTA 1) or went (-1) in the folder that holds DEVICEPATH.
void CountInFolder(const std::u16string &devicePath, int delta)
{
    auto it = g_folders.find(Fold(ParentOf(devicePath)));
    if (it == g_folders.end())
        return;
    CachedFolder &f = it->second;
    if (f.entries >= 0)
        f.entries = std::max<int64_t>(0, f.entries + delta);
    if (f.complete) {
        std::u16string name = NameOf(devicePath);
        uint64_t h = NameHash(name);
        if (delta > 0) {
            f.names.insert(h);
        } else {
            auto one = f.names.find(h);
            if (one != f.names.end())
                f.names.erase(one);
        }
    }
}

// This process changed the folder tree: counted for the others; when
// someone else changed it since this process last looked, the cache goes.
// Caller holds g_indexLock.
void NoteChange()
{
    CheckFolderCache();
    uint64_t *count = ChangeCount();
    if (!count) {
        g_folders.clear();
        return;
    }
    uint64_t before = __atomic_fetch_add(count, 1, __ATOMIC_ACQ_REL);
    if (before != g_foldersSeq)
        g_folders.clear();
    g_foldersSeq = before + 1;
}

void ForgetFolderTree(const std::u16string &devicePath)
{
    std::u16string key = Fold(devicePath);
    std::u16string below = key + u"\\";
    for (auto it = g_folders.begin(); it != g_folders.end();) {
        if (it->first == key || it->first.compare(0, below.size(), below) == 0)
            it = g_folders.erase(it);
        else
            ++it;
    }
}

} // namespace

HostDir::~HostDir()
{
    if (fd >= 0) {
        close(fd);
        --g_dirFds;
    }
}

void PathFolderMade(const ResolvedPath &r)
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    NoteChange();
    CountInFolder(r.devicePath, +1);
    CachedFolder f;
    f.host = r.hostPath;
    f.device = r.devicePath;
    f.entries = 0; // made just now, by this process
    f.complete = true;
    g_folders[Fold(r.devicePath)] = std::move(f);
}

void PathFolderGone(const std::u16string &devicePath)
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    NoteChange();
    ForgetFolderTree(devicePath);
    CountInFolder(devicePath, -1);
}

void PathFileMade(const std::u16string &devicePath)
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    NoteChange();
    CountInFolder(devicePath, +1);
}

void PathFileGone(const std::u16string &devicePath)
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    NoteChange();
    CountInFolder(devicePath, -1);
}

void PathForgetFolders()
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    g_folders.clear();
}

bool PathFolderKnown(const std::u16string &devicePath, int64_t &entries)
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    CheckFolderCache();
    auto it = g_folders.find(Fold(devicePath));
    if (it == g_folders.end())
        return false;
    entries = it->second.entries;
    return true;
}

void PathFolderCounted(const ResolvedPath &folder, int64_t entries)
{
    std::lock_guard<std::mutex> guard(g_indexLock);
    CheckFolderCache();
    CachedFolder &f = g_folders[Fold(folder.devicePath)];
    f.host = folder.hostPath;
    f.device = folder.devicePath;
    f.entries = entries;
}

bool PathInKnownFolder(const DevicePath &path, ResolvedPath &out, bool newName)
{
    if (path.parts.size() < 2 || path.trailingSep || !DeviceIsOpen())
        return false;
    // The cache's key, folded as it is built: every open of a file asks.
    std::u16string key;
    size_t len = 0;
    for (size_t k = 0; k + 1 < path.parts.size(); ++k)
        len += 1 + path.parts[k].size();
    key.reserve(len);
    for (size_t k = 0; k + 1 < path.parts.size(); ++k) {
        key += u'\\';
        for (char16_t c : path.parts[k])
            key += FoldCase(c);
    }
    out = ResolvedPath();
    {
        std::lock_guard<std::mutex> guard(g_indexLock);
        CheckFolderCache();
        auto it = g_folders.find(key);
        if (it == g_folders.end())
            return false;
        // A new name is taken as missing only where every name is known.
        if (newName && (!it->second.complete || it->second.names.count(NameHash(path.parts.back()))))
            return false;
        out.hostParent = it->second.host;
        out.devicePath = it->second.device;
        out.parentDir = HeldDir(it->second);
    }
    const std::vector<Mount> &mounts = DeviceMounts();
    for (size_t k = 0; k < mounts.size(); ++k)
        if (FoldCompare(mounts[k].name, path.parts[0]) == 0)
            out.mount = static_cast<int>(k);
    out.name = path.parts.back();
    out.leaf = ToUtf8(out.name);
    out.hostPath = out.hostParent + "/" + out.leaf;
    out.devicePath += u'\\';
    out.devicePath += out.name;
    out.kind = newName ? EntryKind::Missing : EntryKind::File;
    if (!newName)
        out.st.st_mode = S_IFREG;
    // The module's path is never taken on trust: it may be the stand-in.
    return !ModuleIsPath(out);
}

// The folder's new stamp is taken after the addition: a change made by
// another process in the few instructions between the caller's lookup and
// this call would go unseen by folded lookups (exact names still resolve).
void PathNoteAdded(const std::string &hostPath)
{
    size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos)
        return;
    std::string dir = hostPath.substr(0, slash);
    std::string name = hostPath.substr(slash + 1);
    std::lock_guard<std::mutex> guard(g_indexLock);
    auto it = g_indexes.find(dir);
    if (it == g_indexes.end())
        return;
    struct stat dst;
    if (stat(dir.c_str(), &dst) != 0) {
        g_indexes.erase(it);
        return;
    }
    it->second.names[Fold(FromUtf8(name))] = name;
    SetStamp(it->second, dst);
}

std::u16string DevicePathText(const DevicePath &path)
{
    std::u16string out;
    for (const auto &part : path.parts) {
        out += u'\\';
        out += part;
    }
    return out.empty() ? std::u16string(u"\\") : out;
}

uint32_t ParseDevicePath(const char16_t *path, bool patternLast, DevicePath &out)
{
    out.parts.clear();
    out.parts.reserve(8); // deeper paths are rare
    out.trailingSep = false;
    if (!path)
        return ERROR_INVALID_PARAMETER;
    size_t len = 0;
    while (path[len])
        ++len;
    if (len == 0)
        return ERROR_PATH_NOT_FOUND;
    if (len >= 2 && IsSep(path[0]) && IsSep(path[1]))
        return ERROR_BAD_NETPATH;
    if (len >= MAX_PATH)
        return ERROR_INVALID_NAME;
    out.trailingSep = IsSep(path[len - 1]);

    size_t i = 0;
    while (i < len) {
        while (i < len && IsSep(path[i]))
            ++i;
        if (i >= len)
            break;
        size_t start = i;
        while (i < len && !IsSep(path[i]))
            ++i;
        out.parts.emplace_back(path + start, i - start);
    }
    for (size_t k = 0; k < out.parts.size(); ++k) {
        const std::u16string &part = out.parts[k];
        if (part == u"." || part == u"..")
            return ERROR_INVALID_NAME;
        bool wild = patternLast && !out.trailingSep && k + 1 == out.parts.size();
        for (char16_t c : part)
            if (IsRefused(c, wild))
                return ERROR_INVALID_NAME;
        if (HasLoneSurrogate(part))
            return ERROR_INVALID_NAME;
    }
    return 0;
}

std::atomic<uint64_t> g_walks{0};

uint64_t PathWalks()
{
    return g_walks.load(std::memory_order_relaxed);
}

uint32_t ResolveDevicePath(const DevicePath &path, ResolvedPath &out)
{
    out = ResolvedPath();
    if (!DeviceIsOpen())
        return ERROR_NOT_READY;
    g_walks.fetch_add(1, std::memory_order_relaxed);
    const std::vector<std::u16string> &parts = path.parts;
    std::string host = DeviceStoreDir();
    std::u16string dev;
    size_t i = 0;

    if (parts.empty()) {
        out.isRoot = true;
        out.kind = EntryKind::Folder;
        out.hostPath = host;
        out.hostParent = host;
        out.devicePath = u"\\";
        if (stat(host.c_str(), &out.st) != 0)
            return ERROR_PATH_NOT_FOUND;
        return 0;
    }

    const std::vector<Mount> &mounts = DeviceMounts();
    for (size_t k = 0; k < mounts.size(); ++k) {
        if (FoldCompare(mounts[k].name, parts[0]) == 0) {
            out.mount = static_cast<int>(k);
            host = mounts[k].hostDir;
            dev = u"\\";
            dev += mounts[k].name;
            i = 1;
            break;
        }
    }
    if (out.mount >= 0 && parts.size() == 1) {
        out.isMountPoint = true;
        out.kind = EntryKind::Folder;
        out.hostPath = host;
        out.hostParent = host;
        out.devicePath = dev;
        out.name = mounts[out.mount].name;
        // The mount's own folder was named by the user of the host: it is
        // the one place where the host's view is taken as it is.
        if (stat(host.c_str(), &out.st) != 0)
            return ERROR_PATH_NOT_FOUND;
        return 0;
    }

    // The deepest folder of the path already resolved. When that is the
    // last name's folder (a file in a known folder: most opens and
    // deletes), what the last step needs of it is taken here too.
    bool lastKnown = false, lastScan = true;
    std::shared_ptr<HostDir> lastHeld;
    {
        std::lock_guard<std::mutex> guard(g_indexLock);
        CheckFolderCache();
        if (!g_folders.empty()) {
            std::u16string key = Fold(dev);
            size_t best = 0;
            CachedFolder *hit = nullptr;
            for (size_t k = i; k + 1 < parts.size(); ++k) {
                key += u'\\';
                key += Fold(parts[k]);
                auto it = g_folders.find(key);
                if (it == g_folders.end())
                    break;
                hit = &it->second;
                best = k + 1;
            }
            if (hit) {
                host = hit->host;
                dev = hit->device;
                i = best;
                if (i + 1 == parts.size()) {
                    lastKnown = true;
                    if (hit->complete)
                        lastScan = hit->names.count(NameHash(parts[i])) != 0;
                    lastHeld = HeldDir(*hit);
                }
            }
        }
    }
    for (; i < parts.size(); ++i) {
        std::string actual;
        EntryKind kind;
        struct stat st;
        std::shared_ptr<HostDir> held;
        {
            // In a folder whose every name is known, a name not found under
            // its exact spelling needs no scan.
            bool scan = true;
            if (lastKnown && i + 1 == parts.size()) {
                scan = lastScan;
                held = std::move(lastHeld);
            } else {
                std::lock_guard<std::mutex> guard(g_indexLock);
                auto it = g_folders.find(Fold(dev));
                if (it != g_folders.end()) {
                    if (it->second.complete)
                        scan = it->second.names.count(NameHash(parts[i])) != 0;
                    // The last name is looked up in its folder held open,
                    // and the caller acts on it there (a delete, an open).
                    if (i + 1 == parts.size() && it->second.host == host)
                        held = HeldDir(it->second);
                }
            }
            LookupChild(host, parts[i], actual, kind, st, scan, &held);
        }
        if (i + 1 < parts.size()) {
            if (kind != EntryKind::Folder)
                return ERROR_PATH_NOT_FOUND;
            host += "/";
            host += actual;
            dev += u'\\';
            dev += FromUtf8(actual);
            std::lock_guard<std::mutex> guard(g_indexLock);
            CachedFolder f;
            f.host = host;
            f.device = dev;
            g_folders.emplace(Fold(dev), std::move(f));
            continue;
        }
        out.hostParent = host;
        out.kind = kind;
        if (kind == EntryKind::Missing) {
            out.name = parts[i];
            out.hostPath = host + "/" + ToUtf8(parts[i]);
        } else {
            out.st = st;
            out.name = FromUtf8(actual);
            out.hostPath = host + "/" + actual;
            if (held) {
                out.parentDir = std::move(held);
                out.leaf = actual;
            }
        }
        dev += u'\\';
        dev += out.name;
        if (kind == EntryKind::Folder) {
            std::lock_guard<std::mutex> guard(g_indexLock);
            CachedFolder f;
            f.host = out.hostPath;
            f.device = dev;
            g_folders.emplace(Fold(dev), std::move(f));
        }
    }
    out.devicePath = dev;

    // The module file: a real one is held open for the run; a missing one
    // is served as the stand-in program file.
    if ((out.kind == EntryKind::Missing || out.kind == EntryKind::File) && ModuleIsPath(out)) {
        if (out.kind == EntryKind::Missing) {
            out.standIn = true;
            out.kind = EntryKind::File;
            out.st = {};
            out.st.st_mode = S_IFREG | 0644;
            out.st.st_size = static_cast<off_t>(ModuleStandInSize());
        }
    }
    return 0;
}

bool DeviceFileHostPath(const std::u16string &devicePath, std::string &hostPath, uint32_t &error)
{
    DevicePath p;
    error = ParseDevicePath(devicePath.c_str(), false, p);
    if (error)
        return false;
    ResolvedPath r;
    error = ResolveDevicePath(p, r);
    if (error)
        return false;
    if (r.kind == EntryKind::Missing || r.standIn) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (r.kind != EntryKind::File) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    hostPath = r.hostPath;
    return true;
}

namespace {

bool PlainMatch(std::u16string_view pattern, std::u16string_view name)
{
    std::u16string p = Fold(pattern);
    std::u16string n = Fold(name);
    // Greedy matching with one backtrack point: the last '*' seen.
    size_t pi = 0, ni = 0, starP = std::u16string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::u16string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

} // namespace

bool PatternMatch(std::u16string_view pattern, std::u16string_view name)
{
    if (PlainMatch(pattern, name))
        return true;
    // As on Windows, a trailing ".*" also stands for no extension at all:
    // "*.*" lists every name, "readme.*" finds "readme".
    size_t n = pattern.size();
    return n >= 2 && pattern.substr(n - 2) == u".*" && name.find(u'.') == std::u16string_view::npos &&
           PlainMatch(pattern.substr(0, n - 2), name);
}

uint32_t ErrorFromErrno(int e)
{
    switch (e) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ELOOP:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_INVALID_NAME;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EXDEV:
        return 17; // ERROR_NOT_SAME_DEVICE
    case EIO:
        return ERROR_IO_DEVICE;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

} // namespace plat
