// module.cpp - the program's module: its instance handle, its file name, and
// the program file at the module path.
//
// As on the device, the file the program was started as stays open for the
// whole run: a real file there is held by a handle that reads nothing and
// lets others only read, so writes, deletes and moves of it fail with a
// sharing violation. When no file is there, a stand-in program file of
// program_kb KiB beginning with "MZ" is served in its place, so that a
// program copying "itself" copies a file whose size does not depend on how
// the host program was built.
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "kernel/device.h"
#include "kernel/files.h"
#include "text/text.h"

#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126L
#endif

namespace plat {
namespace {

struct StandInOpen {
    const FileObject *file;
    uint32_t access;
    uint32_t share;
};

struct ModuleState {
    // What the state was computed for.
    bool valid = false;
    uint64_t generation = 0;
    std::u16string raw;
    size_t mounts = 0;

    bool parsed = false;
    DevicePath path;
    std::u16string folded;       // "\a\b\setup.exe", folded
    std::u16string foldedParent; // "\a\b" ("\" for the root)
    bool inStore = false;
    std::shared_ptr<FileObject> hold;
    dev_t holdDev = 0;
    ino_t holdIno = 0;
    std::vector<StandInOpen> standIns;
};

// Never destroyed: handles closed by other objects' destructors at exit
// still reach them.
std::recursive_mutex &g_lock = *new std::recursive_mutex;
ModuleState &g_state = *new ModuleState;

// Fixed times of the stand-in: 2000-01-01 00:00:00 UTC.
constexpr uint64_t kStandInTime = 125911584000000000ull;

std::u16string JoinFolded(const std::vector<std::u16string> &parts, size_t count)
{
    std::u16string s;
    for (size_t i = 0; i < count; ++i) {
        s += u'\\';
        s += Fold(parts[i]);
    }
    return s.empty() ? std::u16string(u"\\") : s;
}

// Recomputes the state when the device, its mounts or the module path
// changed. Caller holds g_lock.
ModuleState &State()
{
    uint64_t gen = DeviceGeneration();
    const std::u16string &raw = DeviceModulePath();
    size_t mounts = DeviceMounts().size();
    // Every file resolved asks: the path is compared as bytes.
    if (g_state.valid && g_state.generation == gen && g_state.mounts == mounts && g_state.raw.size() == raw.size() &&
        memcmp(g_state.raw.data(), raw.data(), raw.size() * sizeof(char16_t)) == 0)
        return g_state;
    std::shared_ptr<FileObject> old = std::move(g_state.hold);
    g_state = ModuleState();
    g_state.valid = true;
    g_state.generation = gen;
    g_state.raw = raw;
    g_state.mounts = mounts;
    g_state.parsed = ParseDevicePath(raw.c_str(), false, g_state.path) == 0 && !g_state.path.parts.empty() &&
                     !g_state.path.trailingSep;
    if (g_state.parsed) {
        const auto &parts = g_state.path.parts;
        g_state.folded = JoinFolded(parts, parts.size());
        g_state.foldedParent = JoinFolded(parts, parts.size() - 1);
        g_state.inStore = true;
        for (const Mount &m : DeviceMounts())
            if (FoldCompare(m.name, parts[0]) == 0)
                g_state.inStore = false;
    }
    return g_state;
}

// Holds the real module file open (no access, others may read).
void EnsureHold(ModuleState &s, const ResolvedPath &path)
{
    if (s.hold && s.holdDev == path.st.st_dev && s.holdIno == path.st.st_ino)
        return;
    s.hold.reset();
    uint32_t error = 0;
    bool existed = false;
    s.hold = FileOpenResolved(path, 0, FILE_SHARE_READ, OPEN_EXISTING, 0, &error, &existed);
    if (s.hold) {
        s.holdDev = path.st.st_dev;
        s.holdIno = path.st.st_ino;
    }
}

uint8_t StandInByte(uint64_t i)
{
    if (i == 0)
        return 'M';
    if (i == 1)
        return 'Z';
    // Fixed filler that differs from offset to offset, so a read from the
    // wrong place shows.
    return static_cast<uint8_t>((i * 131u + (i >> 9)) & 0xff);
}

} // namespace

uint32_t ProgramInstance()
{
    return kProgramInstance;
}

bool ModuleIsPath(const ResolvedPath &path)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    ModuleState &s = State();
    if (!s.parsed || path.isRoot || path.isMountPoint)
        return false;
    // Folding keeps the length: a path of another length is not it, and
    // every file opened is asked about, so that costs no folded copy.
    if (path.devicePath.size() != s.folded.size() || Fold(path.devicePath) != s.folded)
        return false;
    if (path.kind == EntryKind::File && !path.standIn)
        EnsureHold(s, path);
    return true;
}

bool ModulePathMayBe(size_t deviceLength)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    ModuleState &s = State();
    return s.parsed && s.folded.size() == deviceLength;
}

uint64_t ModuleStandInSize()
{
    return static_cast<uint64_t>(DeviceGetSettings().programKb) * 1024u;
}

uint64_t ModuleStandInTime()
{
    return kStandInTime;
}

uint64_t ModuleStandInHeldBytes()
{
    DevicePath p;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        ModuleState &s = State();
        if (!s.parsed || !s.inStore)
            return 0;
        p = s.path;
    }
    ResolvedPath r;
    if (ResolveDevicePath(p, r) != 0 || !r.standIn)
        return 0;
    return ModuleStandInSize();
}

namespace {

// x * 131 for x = 0 .. 767: a block's bytes are a run of this table plus
// the block's own term.
struct FillerTable {
    uint8_t v[768];
    constexpr FillerTable() : v()
    {
        for (unsigned x = 0; x < 768; ++x)
            v[x] = static_cast<uint8_t>(x * 131u);
    }
};
constexpr FillerTable kFiller;

} // namespace

// Reads the filler a block of 512 at a time: within one block the added
// term (offset >> 9) is fixed, so sixteen bytes are copied from the table
// and added to at once (byte by byte the copy of the program file cost 13
// instructions a byte).
void ModuleStandInRead(uint64_t offset, uint8_t *out, size_t count)
{
    typedef uint8_t Bytes16 __attribute__((vector_size(16)));
    size_t i = 0;
    while (i < count && offset + i < 2) {
        out[i] = StandInByte(offset + i);
        ++i;
    }
    while (i < count) {
        uint64_t at = offset + i;
        size_t run = static_cast<size_t>(std::min<uint64_t>(count - i, 512 - (at & 511)));
        uint8_t high = static_cast<uint8_t>(at >> 9);
        const uint8_t *from = kFiller.v + (at & 255);
        uint8_t *o = out + i;
        size_t j = 0;
        for (; j + 16 <= run; j += 16) {
            Bytes16 b;
            memcpy(&b, from + j, 16);
            b += high;
            memcpy(o + j, &b, 16);
        }
        for (; j < run; ++j)
            o[j] = static_cast<uint8_t>(from[j] + high);
        i += run;
    }
}

uint32_t ModuleStandInOpen(const FileObject *f, uint32_t access, uint32_t share)
{
    bool reads = (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL)) != 0;
    bool writes = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    // The program's own hold lets others read only.
    if (writes)
        return ERROR_SHARING_VIOLATION;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    ModuleState &s = State();
    for (const StandInOpen &o : s.standIns) {
        bool oReads = (o.access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL)) != 0;
        bool oWrites = (o.access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
        if ((reads && !(o.share & FILE_SHARE_READ)) || (!(share & FILE_SHARE_READ) && oReads) ||
            (!(share & FILE_SHARE_WRITE) && oWrites))
            return ERROR_SHARING_VIOLATION;
    }
    s.standIns.push_back({f, access, share});
    return 0;
}

void ModuleStandInClosed(const FileObject *f)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto &v = g_state.standIns;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].file == f) {
            v.erase(v.begin() + static_cast<long>(i));
            return;
        }
    }
}

bool ModuleNameInFolder(const std::u16string &folderDevicePath, std::u16string &name)
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    ModuleState &s = State();
    if (!s.parsed || folderDevicePath.size() != s.foldedParent.size() || Fold(folderDevicePath) != s.foldedParent)
        return false;
    name = s.path.parts.back();
    return true;
}

} // namespace plat

using namespace plat;

// GetModuleFileNameW
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    if (hModule != 0 && hModule != kProgramInstance) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!lpFilename) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DevicePath p;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        ModuleState &s = State();
        if (!s.parsed) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        p = s.path;
    }
    // Each existing component in its stored case, the rest as given.
    std::u16string full;
    ResolvedPath r;
    if (ResolveDevicePath(p, r) == 0) {
        full = r.devicePath;
    } else {
        DevicePath prefix;
        for (size_t i = 0; i < p.parts.size(); ++i) {
            prefix.parts.push_back(p.parts[i]);
            ResolvedPath pr;
            bool known = ResolveDevicePath(prefix, pr) == 0 && pr.kind != EntryKind::Missing;
            full += u'\\';
            full += known ? pr.name : p.parts[i];
            if (known)
                prefix.parts.back() = pr.name;
        }
    }
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (full.size() >= nSize) {
        // Cut to fit, terminated, and reported as cut.
        std::copy(full.begin(), full.begin() + (nSize - 1), lpFilename);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::copy(full.begin(), full.end(), lpFilename);
    lpFilename[full.size()] = 0;
    return static_cast<DWORD>(full.size());
}

// GetModuleHandleW
HMODULE GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (!lpModuleName)
        return kProgramInstance;
    // The program's own file name (with or without its folder) names it.
    std::u16string name(lpModuleName);
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    ModuleState &s = State();
    if (s.parsed) {
        DevicePath p;
        if (ParseDevicePath(lpModuleName, false, p) == 0 && !p.parts.empty()) {
            bool hasFolder = name.find_first_of(u"\\/") != std::u16string::npos;
            if (hasFolder ? JoinFolded(p.parts, p.parts.size()) == s.folded
                          : FoldCompare(p.parts.back(), s.path.parts.back()) == 0)
                return kProgramInstance;
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
}
