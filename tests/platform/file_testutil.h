// file_testutil.h - small helpers shared by the platform tests (files, kernel, text, shell).
#ifndef CE_TESTS_FILE_TESTUTIL_H
#define CE_TESTS_FILE_TESTUTIL_H

#include <windows.h>

#include <dirent.h>

#include <set>
#include <string>

#include "helpers/testdevice.h"

// Expects CALL to return FAILED and to leave ERROR as the last error; a
// failure names the call.
#define EXPECT_FAILS(call, failed, error)                                                         \
    do {                                                                                          \
        SetLastError(0);                                                                          \
        EXPECT_EQ((call), (failed)) << #call;                                                     \
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)) << #call;                            \
    } while (0)

namespace filetest {

inline HANDLE Open(const std::u16string &path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, 0);
}

// Creates (or replaces) a device file holding DATA; false when any call fails.
inline bool Put(const std::u16string &path, const std::string &data)
{
    HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

// The whole content of a device file, or "<error N>".
inline std::string Get(const std::u16string &path)
{
    HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return "<error " + std::to_string(GetLastError()) + ">";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

inline uint64_t FreeBytes(const std::u16string &path = u"\\")
{
    ULARGE_INTEGER avail, total, free;
    if (!GetDiskFreeSpaceExW(path.c_str(), &avail, &total, &free))
        return ~0ull;
    return avail.QuadPart;
}

// Names in a host folder (not recursive), for "nothing else was touched".
inline std::set<std::string> HostNames(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d))
            names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

} // namespace filetest

#endif
