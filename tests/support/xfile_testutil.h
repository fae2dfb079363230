// xfile_testutil.h - shared helpers of the file layer's tests.
//
// Test files are made and inspected through the device's own calls, never
// through the file layer under test, so that a fault in it cannot hide itself.
#ifndef CE_TESTS_SUPPORT_XFILE_TESTUTIL_H
#define CE_TESTS_SUPPORT_XFILE_TESTUTIL_H

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "helpers/testdevice.h"

namespace xftest {

inline std::u16string W(const std::string &s) { return cetest::U16(s); }

// Creates (or replaces) a device file holding data.
inline bool PutFile(const std::string &path, const std::string &data)
{
    HANDLE h = CreateFileW((LPCWSTR)W(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, data.data(), (DWORD)data.size(), &written, NULL) && written == data.size();
    CloseHandle(h);
    return ok;
}

// The whole content of a device file, or nothing when it cannot be read.
inline std::optional<std::string> GetFile(const std::string &path)
{
    HANDLE h = CreateFileW((LPCWSTR)W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, 0);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

inline DWORD Attributes(const std::string &path) { return GetFileAttributesW((LPCWSTR)W(path).c_str()); }

// Whether a file (folder: false) or a folder (folder: true) is there.
inline bool There(const std::string &path, bool folder)
{
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}
inline bool FileThere(const std::string &path) { return There(path, false); }
inline bool FolderThere(const std::string &path) { return There(path, true); }

inline bool MakeFolder(const std::string &path) { return CreateDirectoryW((LPCWSTR)W(path).c_str(), NULL) != 0; }

// Free bytes of the volume that holds the path, as the device reports them.
inline uint64_t FreeBytes(const std::string &path)
{
    ULARGE_INTEGER avail{}, total{}, free{};
    return GetDiskFreeSpaceExW((LPCWSTR)W(path).c_str(), &avail, &total, &free) ? avail.QuadPart : UINT64_MAX;
}

// Bytes that differ from position to position, so that a misplaced or
// repeated block shows.
inline std::string Pattern(size_t n, unsigned seed = 1)
{
    std::string s(n, '\0');
    uint32_t x = 2463534242u ^ seed;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x & 0xff);
    }
    return s;
}

} // namespace xftest

#endif
