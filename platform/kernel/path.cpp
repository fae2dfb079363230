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
#include <string.h>
#include <sys/stat.h>

#include "internal/device.h"
#include "internal/files.h"
#include "internal/text.h"

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

bool IsAscii(const std::u16string &s)
{
    for (char16_t c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Looks NAME up in the host folder DIR. On a hit, ACTUAL is the host name
// (UTF-8, stored case) and ST its lstat; KIND is Missing when nothing folds
// to the same name.
void LookupChild(const std::string &dir, const std::u16string &name, std::string &actual, EntryKind &kind,
                 struct stat &st)
{
    std::string u8 = ToUtf8(name);
    std::string full = dir + "/" + u8;
    if (lstat(full.c_str(), &st) == 0) {
        actual = u8;
        kind = KindOf(st);
        return;
    }
    kind = EntryKind::Missing;
    if (errno != ENOENT)
        return;

    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    const bool ascii = IsAscii(name);
    std::u16string folded = Fold(name);
    std::string best;
    bool found = false;
    while (struct dirent *e = readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        bool match;
        if (ascii) {
            size_t len = strlen(n);
            match = len == folded.size();
            for (size_t k = 0; match && k < len; ++k) {
                unsigned char b = static_cast<unsigned char>(n[k]);
                match = b < 0x80 && FoldCase(b) == folded[k];
            }
        } else {
            match = Fold(FromUtf8(n)) == folded;
        }
        // Two host names that fold alike can only come from outside the
        // device; the lowest in byte order wins, so the choice is stable.
        if (match && (!found || best.compare(n) > 0)) {
            best = n;
            found = true;
        }
    }
    closedir(d);
    if (!found)
        return;
    full = dir + "/" + best;
    if (lstat(full.c_str(), &st) != 0)
        return;
    actual = best;
    kind = KindOf(st);
}

} // namespace

uint32_t ParseDevicePath(const char16_t *path, bool patternLast, DevicePath &out)
{
    out.parts.clear();
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

uint32_t ResolveDevicePath(const DevicePath &path, ResolvedPath &out)
{
    out = ResolvedPath();
    if (!DeviceIsOpen())
        return ERROR_NOT_READY;
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
            dev = u"\\" + mounts[k].name;
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

    for (; i < parts.size(); ++i) {
        std::string actual;
        EntryKind kind;
        struct stat st;
        LookupChild(host, parts[i], actual, kind, st);
        if (i + 1 < parts.size()) {
            if (kind != EntryKind::Folder)
                return ERROR_PATH_NOT_FOUND;
            host += "/";
            host += actual;
            dev += u"\\";
            dev += FromUtf8(actual);
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
        }
        dev += u"\\";
        dev += out.name;
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

bool PatternMatch(std::u16string_view pattern, std::u16string_view name)
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
