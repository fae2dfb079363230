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
#include "kernel/threadlock.h"

namespace plat {
namespace {

bool IsSep(char16_t c)
{
    return c == u'\\' || c == u'/';
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

ThreadLock g_indexLock;
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
    std::lock_guard<ThreadLock> guard(g_indexLock);
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

uint64_t NameHash(std::u16string_view name)
{
    return FoldedHash(name);
}

// With HELD (DIR held open), the exact name is one component to look up
// there; a name missing there is looked for by the folder's path as well
// (the folder may have been replaced from outside the device), and HELD is
// then dropped, so that the caller acts on the path.
// ACTUAL is the name as given (in UTF-8) unless another spelling was found;
// the result says which.
bool LookupChild(const std::string &dir, const std::u16string &name, std::string &actual, EntryKind &kind,
                 struct stat &st, bool scan, std::shared_ptr<HostDir> *held = nullptr)
{
    actual = ToUtf8(name);
    const std::string &u8 = actual;
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
        kind = KindOf(st);
        return true;
    }
    kind = EntryKind::Missing;
    if (errno != ENOENT)
        return true;
    std::string found;
    if (scan)
        found = FindFolded(dir, name);
    if (found.empty() || found == u8)
        return true;
    full = dir + "/" + found;
    if (lstat(full.c_str(), &st) != 0)
        return true;
    actual = std::move(found);
    kind = KindOf(st);
    return false;
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
    int mount = -1; // the mount it lies on, -1 for the store
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

// Paths of one tree differ mostly in their last names: the last unit is
// looked at before the rest, which is compared as bytes.
bool SameText(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() &&
           (a.empty() || (a.back() == b.back() && memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0));
}

struct SameKey {
    bool operator()(const std::u16string &a, const std::u16string &b) const { return SameText(a, b); }
};

std::unordered_map<std::u16string, CachedFolder, std::hash<std::u16string>, SameKey> g_folders; // under g_indexLock
uint64_t g_foldersSeq = 0;
uint64_t g_foldersGeneration = 0;
// Moves whenever a folder leaves the cache: a pointer into g_folders taken
// under one epoch is good while the epoch stays.
uint64_t g_foldersEpoch = 0;

// The folders the last looks at the cache found, by their keys: a run of
// calls on the names of one folder (a copy, a removal, with the looks at
// its parent between them) finds it again without hashing its path. A
// pointer into g_folders stays good across insertions only, so these are
// dropped whenever a folder leaves the cache. The path as it was spelt
// when found (it folds to the key) spares folding it again when the next
// call spells it the same way.
struct RecentFolder {
    std::u16string key, raw;
    bool rawKnown = false;
    CachedFolder *folder = nullptr;
};
constexpr size_t kRecent = 4;
RecentFolder g_recent[kRecent];
size_t g_recentNext = 0;
// Room to build a key in without a new string each call.
std::u16string g_key, g_prefix;

void ForgetRecent()
{
    for (RecentFolder &r : g_recent)
        r.folder = nullptr;
}

// The cached folder with the folded KEY; RAW, when given, is the spelling
// the key was folded from.
CachedFolder *FindFolder(const std::u16string &key, const std::u16string_view *raw = nullptr)
{
    RecentFolder *r = nullptr;
    for (RecentFolder &one : g_recent)
        if (one.folder && SameText(key, one.key))
            r = &one;
    if (!r) {
        auto it = g_folders.find(key);
        if (it == g_folders.end())
            return nullptr;
        r = &g_recent[g_recentNext];
        g_recentNext = (g_recentNext + 1) % kRecent;
        r->key = key;
        r->folder = &it->second;
        r->rawKnown = false;
    }
    if (raw) {
        r->rawKnown = true;
        r->raw.assign(raw->data(), raw->size());
    }
    return r->folder;
}

// Folders found by the quick calls, by the spelling they were named with:
// a removal names the folders of a package in turn (more of them than the
// recent ones), each spelt the same way every time. A slot is good while
// the cache's epoch is the one it was filled under.
struct SpeltSlot {
    std::u16string raw;
    CachedFolder *folder = nullptr;
    uint64_t epoch = 0;
};
constexpr size_t kSpeltSlots = 256;
SpeltSlot g_spelt[kSpeltSlots];

// Four units at a time: the spelling is compared in full once its slot is
// found, so the hash only spreads the folders of a run over the slots.
size_t SpeltSlotOf(std::u16string_view path)
{
    uint64_t h = path.size() * 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 4 <= path.size(); i += 4) {
        uint64_t w;
        memcpy(&w, path.data() + i, sizeof w);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    for (; i < path.size(); ++i)
        h = (h ^ path[i]) * 0x100000001B3ull;
    h ^= h >> 32;
    return static_cast<size_t>((h ^ (h >> 16)) % kSpeltSlots);
}

// The cached folder with the device path PATH ("\a\b", in any case), or
// null: by its spelling when it was found so before, else by its folded
// key (left in g_key when it is not found). RECENT: through the recent
// folders, which it then joins. Caller holds g_indexLock.
CachedFolder *FolderOf(std::u16string_view path, bool recent = false)
{
    SpeltSlot &slot = g_spelt[SpeltSlotOf(path)];
    if (slot.folder && slot.epoch == g_foldersEpoch && SameText(path, slot.raw))
        return slot.folder;
    g_key.clear();
    AppendFolded(g_key, path);
    CachedFolder *f = nullptr;
    if (recent) {
        f = FindFolder(g_key, &path);
    } else {
        auto it = g_folders.find(g_key);
        if (it != g_folders.end())
            f = &it->second;
    }
    if (f) {
        slot.raw.assign(path);
        slot.folder = f;
        slot.epoch = g_foldersEpoch;
    }
    return f;
}

// A recent folder found by the spelling RAW, or null.
CachedFolder *FolderSpeltAs(std::u16string_view raw)
{
    for (RecentFolder &r : g_recent)
        if (r.folder && r.rawKnown && SameText(raw, r.raw))
            return r.folder;
    return nullptr;
}

// A recent folder found by the names of PARTS before the last, spelt as
// they are, or null. Caller holds g_indexLock.
CachedFolder *FolderSpeltAs(const std::vector<std::u16string> &parts)
{
    for (RecentFolder &r : g_recent) {
        if (!r.folder || !r.rawKnown)
            continue;
        // From the last name back, as SameText.
        std::u16string_view raw = r.raw;
        size_t k = parts.size() - 1;
        for (; k-- > 0;) {
            std::u16string_view part = parts[k];
            if (raw.size() < 1 + part.size())
                break;
            std::u16string_view tail = raw.substr(raw.size() - part.size());
            if (!SameText(tail, part) || raw[raw.size() - part.size() - 1] != u'\\')
                break;
            raw.remove_suffix(1 + part.size());
        }
        if (k == static_cast<size_t>(-1) && raw.empty())
            return r.folder;
    }
    return nullptr;
}

// The cached folder of the last name of PARTS, or null. When it is not
// found, the folded key of that folder is left in g_key (a path's key is
// the path as given, folded: a mount's name folds like the name given for
// it) and its spelling in g_prefix. Caller holds g_indexLock.
CachedFolder *KnownFolderOfLast(const std::vector<std::u16string> &parts)
{
    if (CachedFolder *f = FolderSpeltAs(parts))
        return f;
    size_t len = 0;
    for (size_t k = 0; k + 1 < parts.size(); ++k)
        len += 1 + parts[k].size();
    g_prefix.resize(len);
    char16_t *at = g_prefix.data();
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        *at++ = u'\\';
        memcpy(at, parts[k].data(), parts[k].size() * sizeof(char16_t));
        at += parts[k].size();
    }
    // Spelt as before, beyond the recent ones (a card's folder and the
    // folder copied to take turns with the rest): no folded key.
    return FolderOf(g_prefix, true);
}

void ClearFolders()
{
    g_folders.clear();
    ForgetRecent();
    ++g_foldersEpoch;
}

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
        ClearFolders();
        g_foldersSeq = seq;
        g_foldersGeneration = DeviceGeneration();
    }
}

// The name NAME came (DELTA 1) or went (-1) in the folder F.
void CountName(CachedFolder &f, std::u16string_view name, int delta)
{
    if (f.entries >= 0)
        f.entries = std::max<int64_t>(0, f.entries + delta);
    if (f.complete) {
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

// A name came (DELTA 1) or went (-1) in the folder that holds DEVICEPATH.
void CountInFolder(const std::u16string &devicePath, int delta)
{
    std::u16string_view path = devicePath;
    size_t cut = path.rfind(u'\\');
    std::u16string_view parent =
        cut == std::u16string_view::npos || cut == 0 ? std::u16string_view(u"\\") : path.substr(0, cut);
    CachedFolder *found = FolderSpeltAs(parent);
    if (!found) {
        g_key.clear();
        AppendFolded(g_key, parent);
        found = FindFolder(g_key, &parent);
    }
    if (found)
        CountName(*found, cut == std::u16string_view::npos ? path : path.substr(cut + 1), delta);
}

// This process changed the folder tree: counted for the others; when
// someone else changed it since this process last looked, the cache goes.
// Caller holds g_indexLock.
void NoteChange()
{
    CheckFolderCache();
    uint64_t *count = ChangeCount();
    if (!count) {
        ClearFolders();
        return;
    }
    uint64_t before = __atomic_fetch_add(count, 1, __ATOMIC_ACQ_REL);
    if (before != g_foldersSeq)
        ClearFolders();
    g_foldersSeq = before + 1;
}

void ForgetFolderTree(const std::u16string &devicePath)
{
    ForgetRecent();
    ++g_foldersEpoch;
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
    std::lock_guard<ThreadLock> guard(g_indexLock);
    NoteChange();
    CountInFolder(r.devicePath, +1);
    CachedFolder f;
    f.host = r.hostPath;
    f.device = r.devicePath;
    f.entries = 0; // made just now, by this process
    f.complete = true;
    f.mount = r.mount;
    g_folders[Fold(r.devicePath)] = std::move(f);
}

void PathFolderGone(const std::u16string &devicePath)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    NoteChange();
    ForgetFolderTree(devicePath);
    CountInFolder(devicePath, -1);
}

void PathFileMade(const std::u16string &devicePath)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    NoteChange();
    CountInFolder(devicePath, +1);
}

void PathFileMadeIn(const ResolvedPath &r)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    NoteChange();
    // The epoch moves whenever a folder leaves the cache (NoteChange's
    // clearing included): while it stays, the folder found is there.
    if (r.folder && r.folderEpoch == g_foldersEpoch)
        CountName(*static_cast<CachedFolder *>(const_cast<void *>(r.folder)), r.name, +1);
    else
        CountInFolder(r.devicePath, +1);
}

void PathFileGone(const std::u16string &devicePath)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    NoteChange();
    CountInFolder(devicePath, -1);
}

void PathForgetFolders()
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    ClearFolders();
}

bool PathFolderKnownQuick(const QuickPath &p, int64_t &entries)
{
    if (p.names == 0)
        return false;
    std::lock_guard<ThreadLock> guard(g_indexLock);
    CheckFolderCache();
    CachedFolder *f = FolderOf(p.All());
    if (!f)
        return false;
    entries = f->entries;
    return true;
}

bool PathKnownFile(const QuickPath &p, KnownFile &out)
{
    if (p.names < 2 || p.trailingSep || !DeviceIsOpen())
        return false;
    std::u16string_view last = p.Last();
    size_t deviceLength;
    {
        std::lock_guard<ThreadLock> guard(g_indexLock);
        CheckFolderCache();
        CachedFolder *f = FolderOf(p.Folder());
        if (!f)
            return false;
        out.dir = HeldDir(*f);
        if (!out.dir)
            return false;
        out.folder = f;
        out.epoch = g_foldersEpoch;
        out.mount = f->mount;
        deviceLength = f->device.size() + 1 + last.size();
    }
    // The module's path is never taken on trust: it may be the stand-in.
    if (ModulePathMayBe(deviceLength) || !ToUtf8Into(last, out.leaf, sizeof out.leaf))
        return false;
    return fstatat(out.dir->fd, out.leaf, &out.st, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace {

// The folder of the file last deleted by name, by the path it was named
// with: a removal then removes that folder, named the same way, which is
// answered without parsing the name again.
struct LastDelete {
    char16_t raw[kQuickPathMax + 1];
    size_t len = 0;
    CachedFolder *folder = nullptr;
    uint64_t epoch = 0;
} g_lastDelete;

} // namespace

bool PathFolderOfLastDelete(const char16_t *path, int64_t &entries)
{
    if (!path)
        return false;
    std::lock_guard<ThreadLock> guard(g_indexLock);
    CheckFolderCache();
    const LastDelete &d = g_lastDelete;
    if (!d.folder || d.epoch != g_foldersEpoch)
        return false;
    size_t i = 0;
    while (i < d.len && path[i] == d.raw[i])
        ++i;
    if (i != d.len || path[i] != 0)
        return false;
    entries = d.folder->entries;
    return true;
}

void PathKnownFileGone(const QuickPath &p, const KnownFile &known, const char16_t *raw, std::u16string *devicePath)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    NoteChange();
    CachedFolder *f = g_foldersEpoch == known.epoch ? static_cast<CachedFolder *>(const_cast<void *>(known.folder))
                                                    : FolderOf(p.Folder());
    if (f)
        CountName(*f, p.Last(), -1);
    g_lastDelete.folder = f;
    g_lastDelete.epoch = g_foldersEpoch;
    g_lastDelete.len = p.rawFolder;
    memcpy(g_lastDelete.raw, raw, p.rawFolder * sizeof(char16_t));
    if (devicePath) {
        std::u16string_view folder = f ? std::u16string_view(f->device) : p.Folder();
        devicePath->reserve(folder.size() + 1 + p.Last().size());
        devicePath->assign(folder);
        *devicePath += u'\\';
        *devicePath += p.Last();
    }
}

bool PathFolderKnown(const std::u16string &devicePath, int64_t &entries)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    CheckFolderCache();
    auto it = g_folders.find(Fold(devicePath));
    if (it == g_folders.end())
        return false;
    entries = it->second.entries;
    return true;
}

void PathFolderCounted(const ResolvedPath &folder, int64_t entries)
{
    std::lock_guard<ThreadLock> guard(g_indexLock);
    CheckFolderCache();
    CachedFolder &f = g_folders[Fold(folder.devicePath)];
    f.host = folder.hostPath;
    f.device = folder.devicePath;
    f.entries = entries;
    f.mount = folder.mount;
}

namespace {

// Fills OUT for the name LAST in the cached folder F, as PathInKnownFolder
// says; false when a new name cannot be taken as missing there. Caller
// holds g_indexLock; the module's path is checked after (KnownFolderDone).
bool FillInKnownFolder(CachedFolder &f, std::u16string_view last, bool newName, ResolvedPath &out)
{
    // A new name is taken as missing only where every name is known.
    if (newName && (!f.complete || f.names.count(NameHash(last))))
        return false;
    // Each text is built in place, from the folder's own: a name of the
    // plain form is a few units, and its UTF-8 fits this at any length.
    char leaf[kQuickPathMax * 3 + 1];
    if (!ToUtf8Into(last, leaf, sizeof leaf))
        return false;
    out.leaf.assign(leaf);
    out.hostPath.reserve(f.host.size() + 1 + out.leaf.size());
    out.hostPath.assign(f.host);
    out.hostPath += '/';
    out.hostPath += out.leaf;
    out.devicePath.reserve(f.device.size() + 1 + last.size());
    out.devicePath.assign(f.device);
    out.devicePath += u'\\';
    out.devicePath.append(last);
    out.name.assign(last);
    out.parentDir = HeldDir(f);
    out.mount = f.mount;
    out.folder = &f;
    out.folderEpoch = g_foldersEpoch;
    out.kind = newName ? EntryKind::Missing : EntryKind::File;
    if (!newName)
        out.st.st_mode = S_IFREG;
    return true;
}

// The module's path is never taken on trust: it may be the stand-in.
bool KnownFolderDone(const ResolvedPath &out)
{
    return !ModuleIsPath(out);
}

} // namespace

bool PathInKnownFolder(const DevicePath &path, ResolvedPath &out, bool newName)
{
    if (path.parts.size() < 2 || path.trailingSep || !DeviceIsOpen())
        return false;
    out = ResolvedPath();
    {
        std::lock_guard<ThreadLock> guard(g_indexLock);
        CheckFolderCache();
        CachedFolder *f = KnownFolderOfLast(path.parts);
        if (!f || !FillInKnownFolder(*f, path.parts.back(), newName, out))
            return false;
    }
    return KnownFolderDone(out);
}

bool PathInKnownFolder(const QuickPath &p, ResolvedPath &out, bool newName)
{
    if (p.names < 2 || p.trailingSep || !DeviceIsOpen())
        return false;
    {
        std::lock_guard<ThreadLock> guard(g_indexLock);
        CheckFolderCache();
        // Spelt as the last call named it (a copy names the card's folder
        // and the one copied to in turn): no folded key.
        CachedFolder *f = FolderSpeltAs(p.Folder());
        if (!f)
            f = FolderOf(p.Folder(), true);
        if (!f || !FillInKnownFolder(*f, p.Last(), newName, out))
            return false;
    }
    return KnownFolderDone(out);
}

// The folder's new stamp is taken after the addition: a change made by
// another process in the few instructions between the caller's lookup and
// this call would go unseen by folded lookups (exact names still resolve).
void PathNoteAdded(const std::string &hostPath)
{
    size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos)
        return;
    std::lock_guard<ThreadLock> guard(g_indexLock);
    // Most runs never scan a folder (names are found as spelt): nothing
    // to keep right then.
    if (g_indexes.empty())
        return;
    std::string dir = hostPath.substr(0, slash);
    std::string name = hostPath.substr(slash + 1);
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

// What each ASCII unit is to a path: most are plain name characters.
enum : uint8_t { kPlain, kSep, kRefused, kWild };

struct AsciiKinds {
    uint8_t kind[128];
};

constexpr AsciiKinds MakeAsciiKinds()
{
    AsciiKinds t{};
    for (int c = 0; c < 0x20; ++c)
        t.kind[c] = kRefused;
    for (char c : {'<', '>', ':', '"', '|'})
        t.kind[static_cast<int>(c)] = kRefused;
    t.kind[static_cast<int>('*')] = kWild;
    t.kind[static_cast<int>('?')] = kWild;
    t.kind[static_cast<int>('\\')] = kSep;
    t.kind[static_cast<int>('/')] = kSep;
    return t;
}

constexpr AsciiKinds kAsciiKinds = MakeAsciiKinds();

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
    // Wildcards only in the last name, and only when asked for.
    const bool wildLast = patternLast && !out.trailingSep;

    // One pass splits and checks: refused characters, lone surrogates
    // (no host name could keep them), "." and "..".
    size_t i = 0;
    while (i < len) {
        while (i < len && IsSep(path[i]))
            ++i;
        if (i >= len)
            break;
        size_t start = i;
        bool wild = false;
        for (; i < len; ++i) {
            char16_t c = path[i];
            if (c >= 0x80) {
                if (c >= 0xd800 && c < 0xe000) {
                    if (c >= 0xdc00 || i + 1 >= len || path[i + 1] < 0xdc00 || path[i + 1] >= 0xe000)
                        return ERROR_INVALID_NAME;
                    ++i;
                }
                continue;
            }
            uint8_t kind = kAsciiKinds.kind[c];
            if (kind == kPlain)
                continue;
            if (kind == kSep)
                break;
            if (kind == kRefused)
                return ERROR_INVALID_NAME;
            wild = true;
        }
        size_t n = i - start;
        if (path[start] == u'.' && (n == 1 || (n == 2 && path[start + 1] == u'.')))
            return ERROR_INVALID_NAME;
        if (wild && !(wildLast && i == len))
            return ERROR_INVALID_NAME;
        out.parts.emplace_back(path + start, n);
    }
    return 0;
}

bool QuickParse(const char16_t *path, QuickPath &out)
{
    out.len = out.names = out.lastName = out.rawFolder = 0;
    out.trailingSep = false;
    if (!path || !path[0] || (IsSep(path[0]) && IsSep(path[1])))
        return false;
    // One pass over the units, the terminator included. The text is one
    // unit longer than the path at most: a backslash before a first name
    // given without one.
    char16_t *o = out.text;
    char16_t *const end = out.text + kQuickPathMax;
    char16_t *start = nullptr; // the name being read
    size_t sepAt = 0;          // where the last run of separators began
    const char16_t *s = path;
    for (;; ++s) {
        char16_t c = *s;
        uint8_t kind = c < 0x80 ? kAsciiKinds.kind[c] : (c >= 0xd800 && c < 0xe000) ? uint8_t(kRefused) : uint8_t(kPlain);
        if (kind == kPlain) {
            if (o >= end)
                return false;
            if (!start) {
                *o++ = u'\\';
                start = o;
                ++out.names;
                out.rawFolder = sepAt;
            }
            *o++ = c;
            // The plain ASCII units that follow, without the checks above.
            for (;;) {
                char16_t d = s[1];
                if (d >= 0x80 || kAsciiKinds.kind[d] != kPlain || o >= end)
                    break;
                *o++ = d;
                ++s;
            }
            continue;
        }
        // The terminator reads as a refused unit: it ends the last name.
        if (kind != kSep && c != 0)
            return false;
        if (start) {
            size_t n = static_cast<size_t>(o - start);
            if (start[0] == u'.' && (n == 1 || (n == 2 && start[1] == u'.')))
                return false;
            out.lastName = static_cast<size_t>(start - out.text);
            start = nullptr;
            sepAt = static_cast<size_t>(s - path);
        }
        if (c == 0)
            break;
    }
    size_t len = static_cast<size_t>(s - path);
    if (len >= MAX_PATH || out.names == 0)
        return false;
    out.trailingSep = IsSep(path[len - 1]);
    out.len = static_cast<size_t>(o - out.text);
    return true;
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
    // The walk's folder is built where the result wants it.
    std::string &host = out.hostParent;
    std::u16string &dev = out.devicePath;
    const std::string *top = &DeviceStoreDir();
    size_t i = 0;

    if (parts.empty()) {
        out.isRoot = true;
        out.kind = EntryKind::Folder;
        out.hostPath = *top;
        out.hostParent = *top;
        out.devicePath = u"\\";
        if (stat(top->c_str(), &out.st) != 0)
            return ERROR_PATH_NOT_FOUND;
        return 0;
    }

    const std::vector<Mount> &mounts = DeviceMounts();
    for (size_t k = 0; k < mounts.size(); ++k) {
        if (FoldCompare(mounts[k].name, parts[0]) == 0) {
            out.mount = static_cast<int>(k);
            top = &mounts[k].hostDir;
            dev = u"\\";
            dev += mounts[k].name;
            i = 1;
            break;
        }
    }
    if (out.mount >= 0 && parts.size() == 1) {
        out.isMountPoint = true;
        out.kind = EntryKind::Folder;
        out.hostPath = *top;
        out.hostParent = *top;
        out.name = mounts[out.mount].name;
        // The mount's own folder was named by the user of the host: it is
        // the one place where the host's view is taken as it is.
        if (stat(top->c_str(), &out.st) != 0)
            return ERROR_PATH_NOT_FOUND;
        return 0;
    }

    // The deepest folder of the path already resolved. When that is the
    // last name's folder (a file in a known folder: most opens and
    // deletes), what the last step needs of it is taken here too.
    bool lastKnown = false, lastScan = true;
    std::shared_ptr<HostDir> lastHeld;
    CachedFolder *hit = nullptr;
    {
        std::lock_guard<ThreadLock> guard(g_indexLock);
        CheckFolderCache();
        if (!g_folders.empty() && i + 1 < parts.size()) {
            // The last name's folder first: one look when it is known, and
            // none at all when it is a recent one, spelt the same way (the
            // mount's name included).
            size_t best = parts.size() - 1;
            hit = KnownFolderOfLast(parts);
            size_t from = i == 0 ? 0 : 1 + parts[0].size();
            if (!hit) {
                // Else the deepest known from the top (folding keeps the
                // length, so each folder's key is a prefix of that one).
                size_t end = from;
                for (size_t k = i; k + 2 < parts.size(); ++k) {
                    end += 1 + parts[k].size();
                    g_prefix.assign(g_key, 0, end);
                    CachedFolder *f = FindFolder(g_prefix);
                    if (!f)
                        break;
                    hit = f;
                    best = k + 1;
                }
            }
            if (hit) {
                host = hit->host;
                dev.reserve(hit->device.size() + 1 + parts.back().size());
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
    if (!hit)
        host = *top;
    for (; i < parts.size(); ++i) {
        std::string actual;
        EntryKind kind;
        struct stat st;
        std::shared_ptr<HostDir> held;
        bool exact;
        {
            // In a folder whose every name is known, a name not found under
            // its exact spelling needs no scan.
            bool scan = true;
            if (lastKnown && i + 1 == parts.size()) {
                scan = lastScan;
                held = std::move(lastHeld);
            } else {
                std::lock_guard<ThreadLock> guard(g_indexLock);
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
            exact = LookupChild(host, parts[i], actual, kind, st, scan, &held);
        }
        if (i + 1 < parts.size()) {
            if (kind != EntryKind::Folder) {
                out.hostParent.clear();
                out.devicePath.clear();
                return ERROR_PATH_NOT_FOUND;
            }
            host += "/";
            host += actual;
            dev += u'\\';
            if (exact)
                dev += parts[i];
            else
                dev += FromUtf8(actual);
            std::lock_guard<ThreadLock> guard(g_indexLock);
            CachedFolder f;
            f.host = host;
            f.device = dev;
            f.mount = out.mount;
            g_folders.emplace(Fold(dev), std::move(f));
            continue;
        }
        out.kind = kind;
        out.hostPath.reserve(host.size() + 1 + actual.size());
        out.hostPath = host;
        out.hostPath += '/';
        out.hostPath += actual;
        if (kind == EntryKind::Missing) {
            out.name = parts[i];
        } else {
            out.st = st;
            out.name = exact ? parts[i] : FromUtf8(actual);
            if (held) {
                out.parentDir = std::move(held);
                out.leaf = std::move(actual);
            }
        }
        dev += u'\\';
        dev += out.name;
        if (kind == EntryKind::Folder) {
            std::lock_guard<ThreadLock> guard(g_indexLock);
            CachedFolder f;
            f.host = out.hostPath;
            f.device = dev;
            f.mount = out.mount;
            g_folders.emplace(Fold(dev), std::move(f));
        }
    }

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
