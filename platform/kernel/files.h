// files.h - device paths, their host files, and the object store's books.
//
// Every device path is parsed and resolved here before any host call is
// made, so that nothing outside the store or a mount is ever touched: names
// are checked, case is folded component by component, and host symbolic
// links are never followed. Other areas that need a file of the device
// (bitmaps, the loader) use DeviceFileHostPath or the Win32 file calls.
#ifndef CE_PLATFORM_FILES_H
#define CE_PLATFORM_FILES_H

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "kernel/handles.h"

namespace plat {

// ---------------------------------------------------------------- paths

struct DevicePath {
    std::vector<std::u16string> parts; // components, separators dropped
    bool trailingSep = false;          // the path ended with \ or /
};

// Parses a device path. With patternLast, '*' and '?' are allowed in the
// last component. Returns 0, or ERROR_INVALID_NAME / ERROR_BAD_NETPATH /
// ERROR_INVALID_PARAMETER (null) / ERROR_PATH_NOT_FOUND (empty).
uint32_t ParseDevicePath(const char16_t *path, bool patternLast, DevicePath &out);

// The device path a parsed path names, in the case given ("\\" for none).
std::u16string DevicePathText(const DevicePath &path);

enum class EntryKind { Missing, File, Folder, Other };

// A host folder held open (O_PATH), so that names in it are reached with
// one component to look up instead of the whole host path.
struct HostDir {
    int fd = -1;
    ~HostDir();
};

struct ResolvedPath {
    bool isRoot = false;       // "\"
    bool isMountPoint = false; // "\Storage Card" itself
    int mount = -1;            // index in DeviceMounts(), -1 for the store
    std::string hostPath;      // host path of the entry (last name as stored, or as given when missing)
    std::string hostParent;    // host folder that holds it (the entry itself for the root)
    std::u16string devicePath; // absolute, with \ and each existing component in its stored case
    std::u16string name;       // last component as stored (or as given)
    EntryKind kind = EntryKind::Missing;
    struct stat st {};         // valid when kind is File or Folder
    bool standIn = false;      // the module's stand-in program file (no host file)
    // When set: hostParent held open, and the last name as stored there.
    std::shared_ptr<HostDir> parentDir;
    std::string leaf;
    // Set by PathInKnownFolder: the cached folder that holds it, good while
    // the folder cache's epoch is still this one (PathFileMadeIn).
    const void *folder = nullptr;
    uint64_t folderEpoch = 0;
    bool inStore() const { return mount < 0; }
    // As a new record, its texts keeping their room.
    void Clear()
    {
        isRoot = isMountPoint = standIn = false;
        mount = -1;
        hostPath.clear();
        hostParent.clear();
        devicePath.clear();
        name.clear();
        kind = EntryKind::Missing;
        st = {};
        parentDir.reset();
        leaf.clear();
        folder = nullptr;
        folderEpoch = 0;
    }
};

// Resolves a parsed path. Returns 0 (the last component may be missing) or
// ERROR_PATH_NOT_FOUND when a folder along the way is missing or not a folder.
uint32_t ResolveDevicePath(const DevicePath &path, ResolvedPath &out);

// Tells the lookup that the platform itself has just made HOSTPATH (a file
// or folder), so that its folder need not be scanned again.
void PathNoteAdded(const std::string &hostPath);

// The cache of resolved folders, kept right as this process changes the
// folder tree (and dropped when another process of the device changes it):
// a folder made, a folder removed or moved away (with everything below),
// a file made or deleted (the known number of names in its folder).
void PathFolderMade(const ResolvedPath &folder);
void PathFolderGone(const std::u16string &devicePath);
void PathFileMade(const std::u16string &devicePath);
// PathFileMade for a file just made at a resolved path: the folder that
// PathInKnownFolder found for it is counted without a look-up.
void PathFileMadeIn(const ResolvedPath &file);
void PathFileGone(const std::u16string &devicePath);
// Drops the whole cache (a mount was added).
void PathForgetFolders();
// How many paths were resolved by walking their folders from the top: a
// file named in a folder already known (in any case) is opened without it.
uint64_t PathWalks();
// Whether the folder (device path in any case) is known to exist; ENTRIES
// is the number of names in it when known, else -1.
bool PathFolderKnown(const std::u16string &devicePath, int64_t &entries);
// Records the folder as existing with that many names in it.
void PathFolderCounted(const ResolvedPath &folder, int64_t entries);

// For opening an existing file without looking it up first: when the
// folder of PATH is already resolved, fills OUT as if its last component
// were a file of that exact name there (the open itself then finds out;
// a caller that gets "not found" must resolve the path properly, since the
// name may exist in another case). False when the folder is not known.
// With NEWNAME, for making a file: only in a folder made by this process
// whose names are all known and none folds like the last component; OUT
// then says the name is missing (an exact name made behind the device's
// back is still found by the exclusive create). OUT's hostParent is left
// empty: its held folder (parentDir) stands for it.
bool PathInKnownFolder(const DevicePath &path, ResolvedPath &out, bool newName = false);

// A device path in its plain form, "\a\b\c" (one backslash before each
// name), split without a copy to the heap: the calls that act on a name in a
// folder already resolved (the deletes of a removal, the folder removal
// after each) need no more. A path the full parser would refuse or treat
// apart (wildcards, surrogates, "." or "..", a network name, too long) has
// none: QuickParse says false and the caller parses it fully.
constexpr size_t kQuickPathMax = 260;
struct QuickPath {
    char16_t text[kQuickPathMax + 1];
    size_t len = 0;      // units in text
    size_t lastName = 0; // where the last name starts (after its backslash)
    size_t names = 0;
    bool trailingSep = false;
    size_t rawFolder = 0; // units of the path as given before its last name's separators
    std::u16string_view All() const { return {text, len}; }
    std::u16string_view Folder() const { return {text, lastName - 1}; }
    std::u16string_view Last() const { return {text + lastName, len - lastName}; }
};
bool QuickParse(const char16_t *path, QuickPath &out);

// PathInKnownFolder for a path in the plain form, which names the folder
// as the full parse would (OUT is expected fresh).
bool PathInKnownFolder(const QuickPath &p, ResolvedPath &out, bool newName = false);

// Whether the folder P names (one name at least) is known to exist, as
// PathFolderKnown.
bool PathFolderKnownQuick(const QuickPath &p, int64_t &entries);

// A file named in a folder already resolved and held open, found there
// under its exact spelling.
struct KnownFile {
    std::shared_ptr<HostDir> dir;
    char leaf[kQuickPathMax * 3 + 1]; // the last name in UTF-8
    struct stat st {};                // its lstat: what it is
    int mount = -1;
    uint64_t epoch = 0;               // of the folder cache when found
    const void *folder = nullptr;     // the cached folder, while the epoch holds
    bool inStore() const { return mount < 0; }
};
// True with OUT filled when the folder of P is resolved and held open and
// its last name is there as spelt. False when the caller must resolve the
// path itself: the folder is not known, the name is not there under that
// spelling (it may be under another), or it may be the module's own path.
bool PathKnownFile(const QuickPath &p, KnownFile &out);
// The file PathKnownFile found has been deleted: as PathFileGone, without
// looking its folder up again. DEVICEPATH, when given, receives its device
// path in stored case.
// RAW is the path as given to the call.
void PathKnownFileGone(const QuickPath &p, const KnownFile &f, const char16_t *raw, std::u16string *devicePath);
// Whether PATH, exactly as given, names the folder of the file last
// deleted so; ENTRIES is then its number of names when known, else -1.
bool PathFolderOfLastDelete(const char16_t *path, int64_t &entries);

// Host path of an existing regular file of the device; false with a Win32
// error otherwise. For reading only: writes must go through the file calls,
// which keep the store's books.
bool DeviceFileHostPath(const std::u16string &devicePath, std::string &hostPath, uint32_t &error);

// Matches a file name against a search pattern ('*' any run, '?' one unit,
// a trailing ".*" also matching a name without a dot), ignoring case with
// the device's folding.
bool PatternMatch(std::u16string_view pattern, std::u16string_view name);

// Win32 error for a host errno.
uint32_t ErrorFromErrno(int e);

// ---------------------------------------------------------------- object store books

// Capacity in bytes of the store (storage_kb; 0 means the host's free space,
// capped at 2 GiB - 1).
struct StoreFigures {
    uint64_t total = 0;
    uint64_t free = 0;
};
StoreFigures StoreSpace();

// Reserves bytes about to be written into the store; false (nothing
// reserved) when they would pass the capacity.
bool StoreReserve(uint64_t bytes);
// Gives bytes back (a truncation, a deletion, a write that failed).
void StoreRelease(uint64_t bytes);
// Bytes held by regular files under store/, the stand-in program included.
uint64_t StoreHeldBytes();

// ---------------------------------------------------------------- open files

// A handle's record in the device's table of open files.
struct ShareTable;
struct ShareHold {
    std::shared_ptr<ShareTable> table;
    uint64_t serial = 0;
};

struct FileObject : HandleObject {
    int fd = -1;
    uint32_t access = 0;       // GENERIC_READ | GENERIC_WRITE
    uint32_t share = 0;        // FILE_SHARE_*
    bool inStore = false;      // its bytes count against the store's capacity
    bool standIn = false;      // the module's stand-in: no host file
    // The handle's position, kept here: the host descriptor's own position
    // is never used (reads and writes say where).
    uint64_t pos = 0;
    // While no other handle may write the file (this one's share mode denies
    // writing), its size and bytes change only through this handle: the
    // size is kept here and reads are served from a block read ahead, which
    // stays valid across seeks. Otherwise every size is asked of the host.
    bool sole = false;
    uint64_t size = 0; // valid when sole
    std::unique_ptr<uint8_t[]> readBuf;
    uint64_t readBase = 0;
    uint32_t readLen = 0; // bytes of the file from readBase held in readBuf
    // Small writes inside a sole handle's file, after many of them (a log
    // marked line by line), go through a shared mapping of the file: they
    // are in the host's page cache at once, as a write's bytes are, without
    // a system call each. The write time they would have set is set when
    // the handle closes or its times are asked for (writtenAt).
    uint8_t *map = nullptr;
    uint64_t mapLen = 0;
    uint32_t smallWrites = 0;
    bool mapTried = false;
    struct timespec writtenAt {}; // tv_sec 0: nothing written through the map since
    // What this handle did to the file, published as one change when it
    // closes (with the size then): made it, or replaced its bytes.
    enum class Change : uint8_t { None, Created, Replaced } change = Change::None;
    std::u16string devicePath;
    ShareHold shareHold;
    // A handle that only reads may have no descriptor yet (fd < 0): it is
    // opened on its first read, by its leaf in its folder held open, and
    // is the file that was recorded (device and inode) unless deletes or
    // moves happened since.
    std::shared_ptr<HostDir> parentDir;
    std::string leaf;
    uint64_t removals = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    ~FileObject() override;
};

// Opens a resolved file with Win32 semantics (access, share mode, creation
// disposition). Returns the object or null with *error set.
std::shared_ptr<FileObject> FileOpenResolved(const ResolvedPath &path, uint32_t access, uint32_t share,
                                             uint32_t disposition, uint32_t attributes, uint32_t *error,
                                             bool *existed);

// Gives a handle made without a descriptor its descriptor; false with a
// Win32 error when the file can no longer be opened.
bool FileEnsureOpen(FileObject &f, uint32_t &error);
// Writes through an open file with the store's rules (fault injection,
// capacity). 0 or a Win32 error; nothing is written on failure.
uint32_t FileWriteObject(FileObject &f, const void *data, uint32_t count);
// Reads; 0 or a Win32 error.
uint32_t FileReadObject(FileObject &f, void *data, uint32_t count, uint32_t *got);
// A read of up to count bytes from s and a write of them to d, in one;
// 0 or a Win32 error, *copied the bytes written. buf (count bytes) takes
// them on the way when the host cannot copy between the two files.
uint32_t FileCopyObject(FileObject &s, FileObject &d, uint8_t *buf, uint32_t count, uint32_t *copied);
// The file's size: kept, or asked of the host. False with errno set.
bool FileSizeOf(const FileObject &f, uint64_t &size);

// The three times of a host file, as FILETIME values.
struct FileTimes {
    uint64_t creation = 0, access = 0, write = 0;
};
// From an open descriptor, or (fd < 0) from the host path without
// following a link.
FileTimes FileTimesOf(int fd, const struct stat &st, const char *hostPath = nullptr);
// Sets the times given (null pointers keep a time). 0 or a Win32 error.
uint32_t FileSetTimes(int fd, const uint64_t *creation, const uint64_t *access, const uint64_t *write);

// Whether any handle (in this or another process) has the host file open
// (ST: its lstat, as the lookup found it). New opens of the file wait while
// ACTION runs, so that a delete or move decided under it cannot race an
// open. ACTION gets ST and returns 0 or a Win32 error; the result is
// ACTION's, 32 when a handle has the file open, 5 when it is not a regular
// file.
using FileAction = uint32_t (*)(const struct stat &st, void *context);
uint32_t FileWithNoOpenHandles(const struct stat &st, FileAction action, void *context);
// The same with any callable (a lambda), called in place.
template <typename F>
uint32_t FileWithNoOpenHandles(const struct stat &st, F &&action)
{
    using Fn = std::remove_reference_t<F>;
    return FileWithNoOpenHandles(
        st, [](const struct stat &s, void *c) -> uint32_t { return (*static_cast<Fn *>(c))(s); },
        const_cast<void *>(static_cast<const void *>(&action)));
}

// The sharing rule: records a new handle's access and share mode where
// every process of the device sees them and tests them against the handles
// already open on the file (ST of the open descriptor). 0 with HOLD set,
// ERROR_SHARING_VIOLATION, or kShareRemoving when the file is being deleted
// or moved right now (the caller opens the name again).
constexpr uint32_t kShareRemoving = 170; // ERROR_BUSY
uint32_t ShareEnter(const struct stat &st, uint32_t access, uint32_t share, ShareHold &hold);
// Forgets a handle's record.
void ShareLeave(ShareHold &hold);
// How many deletes and moves the device has seen: an open that took its
// descriptor before a change of this count and recorded itself after looks
// again at what it opened.
uint64_t ShareRemovals();
// Counts a change that may have moved open files away from their names
// (a folder moved).
void ShareCountRemoval();
// A new file reuses an inode: forget any creation time kept for it.
void FileForgetCreationTime(const struct stat &st);

uint64_t FileTimeFromTimespec(const struct timespec &ts);
struct timespec TimespecFromFileTime(uint64_t ft);
uint64_t FileTimeNow();

// ---------------------------------------------------------------- module

// The instance handle of the program (GetModuleHandleW(NULL)).
uint32_t ProgramInstance();

// Whether a resolved path names the module file; makes sure the module is
// held open when it is a real file.
bool ModuleIsPath(const ResolvedPath &path);
// Whether the module's device path has that many units (a path of another
// length is not it, and needs no closer look).
bool ModulePathMayBe(size_t deviceLength);
uint64_t ModuleStandInSize();
// Bytes the stand-in holds in the store (0 when it lies on a mount or a
// real file is there).
uint64_t ModuleStandInHeldBytes();
uint64_t ModuleStandInTime();
// Fills bytes of the stand-in program file.
void ModuleStandInRead(uint64_t offset, uint8_t *out, size_t count);
// Applies the sharing rule to a new open of the stand-in (0 or 32) and
// records it; ModuleStandInClosed forgets it.
uint32_t ModuleStandInOpen(const FileObject *f, uint32_t access, uint32_t share);
void ModuleStandInClosed(const FileObject *f);
// When the module lies in the folder with this device path, its file name
// (as the module path gives it): listings add the stand-in under it when no
// real entry has that name.
bool ModuleNameInFolder(const std::u16string &folderDevicePath, std::u16string &name);

} // namespace plat

#endif
