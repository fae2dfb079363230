// testdevice.h (Win32 build) - the device fixture of the platform tests,
// standing in for the emulated device when the same tests are built with
// mingw-w64 against the real headers and run under Wine.
//
// The store is a drive: the folder that the drive letter in CECONF_DRIVE
// (default S:) names is emptied and given the standard folders before each
// test, and the current directory is its root, so "\Temp\x" lands there.
// "\Storage Card" is a plain folder of that drive. The registry roots that
// the tests use are keys under HKEY_CURRENT_USER\Software\CesetupConformance,
// made fresh for each test.
#ifndef CE_CONFORMANCE_TESTDEVICE_H
#define CE_CONFORMANCE_TESTDEVICE_H

#include <gtest/gtest.h>

#include <windows.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "kernel/device.h"

namespace cetest {

// Records a check that only the emulated device can make (its handle table,
// injected faults, its database): a difference of its own kind, listed.
void DeviceOnly(const char *what);

// The registry root that stands for a predefined one (0 local machine, 1
// current user) inside the test key.
HKEY TestRoot(int which);

struct TempDir {
    std::string path;
};

void WriteHostFile(const std::string &path, const std::string &content);
std::string ReadHostFile(const std::string &path);
bool HostExists(const std::string &path);

std::u16string U16(const std::string &utf8);
std::string U8(const std::u16string &utf16);

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Reopen(const plat::DeviceOverrides &overrides);
    std::string StoreHost(const std::string &rel) const;
    std::string CardHost(const std::string &rel) const;

    TempDir root;
    std::string deviceDir;
    std::string cardDir;
};

} // namespace cetest

// The tests spell device strings as UTF-16 literals (char16_t), the real
// headers as wchar_t: the same 16-bit units, so each call the tests make
// gets a char16_t form that hands them on unchanged.
inline const wchar_t *CeW(const char16_t *s) { return reinterpret_cast<const wchar_t *>(s); }
inline wchar_t *CeW(char16_t *s) { return reinterpret_cast<wchar_t *>(s); }

inline HANDLE CreateFileW(const char16_t *a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g)
{
    return ::CreateFileW(CeW(a), b, c, d, e, f, g);
}
inline BOOL DeleteFileW(const char16_t *a) { return ::DeleteFileW(CeW(a)); }
inline BOOL MoveFileW(const char16_t *a, const char16_t *b) { return ::MoveFileW(CeW(a), CeW(b)); }
inline BOOL CopyFileW(const char16_t *a, const char16_t *b, BOOL c) { return ::CopyFileW(CeW(a), CeW(b), c); }
inline BOOL CreateDirectoryW(const char16_t *a, LPSECURITY_ATTRIBUTES b) { return ::CreateDirectoryW(CeW(a), b); }
inline BOOL RemoveDirectoryW(const char16_t *a) { return ::RemoveDirectoryW(CeW(a)); }
inline DWORD GetFileAttributesW(const char16_t *a) { return ::GetFileAttributesW(CeW(a)); }
inline BOOL SetFileAttributesW(const char16_t *a, DWORD b) { return ::SetFileAttributesW(CeW(a), b); }
inline BOOL GetDiskFreeSpaceExW(const char16_t *a, PULARGE_INTEGER b, PULARGE_INTEGER c, PULARGE_INTEGER d)
{
    return ::GetDiskFreeSpaceExW(CeW(a), b, c, d);
}
inline HANDLE FindFirstFileW(const char16_t *a, LPWIN32_FIND_DATAW b) { return ::FindFirstFileW(CeW(a), b); }
inline DWORD GetModuleFileNameW(HMODULE a, char16_t *b, DWORD c) { return ::GetModuleFileNameW(a, CeW(b), c); }
// Windows CE accepts access masks without enforcing them, and the tests
// rely on that (keys opened with 0 are written); desktop Win32 enforces
// them, so keys are opened here with full access to compare the rest.
inline LONG RegCreateKeyExW(HKEY a, const char16_t *b, DWORD c, char16_t *d, DWORD e, REGSAM,
                            LPSECURITY_ATTRIBUTES g, PHKEY h, LPDWORD i)
{
    return ::RegCreateKeyExW(a, CeW(b), c, CeW(d), e, KEY_ALL_ACCESS, g, h, i);
}
inline LONG RegOpenKeyExW(HKEY a, const char16_t *b, DWORD c, REGSAM, PHKEY e)
{
    return ::RegOpenKeyExW(a, CeW(b), c, KEY_ALL_ACCESS, e);
}
inline LONG RegQueryValueExW(HKEY a, const char16_t *b, LPDWORD c, LPDWORD d, LPBYTE e, LPDWORD f)
{
    return ::RegQueryValueExW(a, CeW(b), c, d, e, f);
}
inline LONG RegSetValueExW(HKEY a, const char16_t *b, DWORD c, DWORD d, const BYTE *e, DWORD f)
{
    return ::RegSetValueExW(a, CeW(b), c, d, e, f);
}
inline LONG RegDeleteValueW(HKEY a, const char16_t *b) { return ::RegDeleteValueW(a, CeW(b)); }
inline LONG RegDeleteKeyW(HKEY a, const char16_t *b) { return ::RegDeleteKeyW(a, CeW(b)); }
inline LONG RegEnumKeyExW(HKEY a, DWORD b, char16_t *c, LPDWORD d, LPDWORD e, char16_t *f, LPDWORD g, PFILETIME h)
{
    return ::RegEnumKeyExW(a, b, CeW(c), d, e, CeW(f), g, h);
}
inline LONG RegEnumValueW(HKEY a, DWORD b, char16_t *c, LPDWORD d, LPDWORD e, LPDWORD f, LPBYTE g, LPDWORD h)
{
    return ::RegEnumValueW(a, b, CeW(c), d, e, f, g, h);
}

// From here on the tests' WCHAR buffers hold char16_t, as on the device.
#undef WCHAR
#define WCHAR char16_t

// The predefined roots the tests use are the fixture's test keys.
#undef HKEY_LOCAL_MACHINE
#undef HKEY_CURRENT_USER
#define HKEY_LOCAL_MACHINE (cetest::TestRoot(0))
#define HKEY_CURRENT_USER (cetest::TestRoot(1))

// Host calls that the device's own tests make (symbolic links, processes);
// Windows has none of them here, so they fail, and the tests that rely on
// them are listed as not run.
int symlink(const char *target, const char *linkpath);
int lstat(const char *path, struct stat *st);

#endif
