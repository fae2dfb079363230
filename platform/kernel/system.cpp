// system.cpp - version, clock and time services: GetVersionExW,
// GetTickCount, Sleep, GetSystemTime, GetLocalTime and the FILETIME /
// SYSTEMTIME conversions.
#include <windows.h>

#include <errno.h>
#include <time.h>

#include "kernel/device.h"
#include "kernel/files.h"

namespace {

constexpr uint64_t kTicksPerDay = 864000000000ull; // 100 ns units

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFrom1601(int64_t y, unsigned m, unsigned d)
{
    // Days from 1970-01-01 (Howard Hinnant's algorithm), then shifted.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468 + 134774;
}

void CivilFromDays1601(int64_t days, int64_t &y, unsigned &m, unsigned &d)
{
    int64_t z = days - 134774 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool IsLeap(unsigned y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

void FromTm(const struct tm &t, long nsec, LPSYSTEMTIME out)
{
    out->wYear = static_cast<WORD>(t.tm_year + 1900);
    out->wMonth = static_cast<WORD>(t.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out->wDay = static_cast<WORD>(t.tm_mday);
    out->wHour = static_cast<WORD>(t.tm_hour);
    out->wMinute = static_cast<WORD>(t.tm_min);
    out->wSecond = static_cast<WORD>(t.tm_sec);
    out->wMilliseconds = static_cast<WORD>(nsec / 1000000);
}

} // namespace

// GetVersionExW
BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation)
{
    if (!lpVersionInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const plat::DeviceSettings &s = plat::DeviceGetSettings();
    lpVersionInformation->dwMajorVersion = s.osMajor;
    lpVersionInformation->dwMinorVersion = s.osMinor;
    lpVersionInformation->dwBuildNumber = 0;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_CE;
    for (WCHAR &c : lpVersionInformation->szCSDVersion)
        c = 0;
    return TRUE;
}

// GetTickCount
DWORD GetTickCount(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

// Sleep
void Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            struct timespec ts = {3600, 0};
            nanosleep(&ts, nullptr);
        }
    }
    struct timespec ts;
    ts.tv_sec = dwMilliseconds / 1000;
    ts.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// GetSystemTime
void GetSystemTime(LPSYSTEMTIME lpSystemTime)
{
    if (!lpSystemTime)
        return;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t;
    gmtime_r(&ts.tv_sec, &t);
    FromTm(t, ts.tv_nsec, lpSystemTime);
}

// GetLocalTime
void GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    if (!lpSystemTime)
        return;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t;
    localtime_r(&ts.tv_sec, &t);
    FromTm(t, ts.tv_nsec, lpSystemTime);
}

// SystemTimeToFileTime
BOOL SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, LPFILETIME lpFileTime)
{
    if (!lpSystemTime || !lpFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME &s = *lpSystemTime;
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.wYear < 1601 || s.wYear > 30827 || s.wMonth < 1 || s.wMonth > 12 || s.wDay < 1 || s.wHour > 23 ||
        s.wMinute > 59 || s.wSecond > 59 || s.wMilliseconds > 999 ||
        s.wDay > kDays[s.wMonth - 1] + ((s.wMonth == 2 && IsLeap(s.wYear)) ? 1u : 0u)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t days = static_cast<uint64_t>(DaysFrom1601(s.wYear, s.wMonth, s.wDay));
    uint64_t v = days * kTicksPerDay +
                 ((static_cast<uint64_t>(s.wHour) * 3600 + s.wMinute * 60u + s.wSecond) * 1000u + s.wMilliseconds) *
                     10000u;
    lpFileTime->dwLowDateTime = static_cast<DWORD>(v & 0xffffffffu);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(v >> 32);
    return TRUE;
}

// FileTimeToSystemTime
BOOL FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime)
{
    if (!lpFileTime || !lpSystemTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t v = (static_cast<uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
    if (v >= 0x8000000000000000ull) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = static_cast<int64_t>(v / kTicksPerDay);
    uint64_t rest = v % kTicksPerDay;
    int64_t y;
    unsigned m, d;
    CivilFromDays1601(days, y, m, d);
    SYSTEMTIME &s = *lpSystemTime;
    s.wYear = static_cast<WORD>(y);
    s.wMonth = static_cast<WORD>(m);
    s.wDay = static_cast<WORD>(d);
    s.wDayOfWeek = static_cast<WORD>((days + 1) % 7); // 1601-01-01 was a Monday
    uint64_t ms = rest / 10000u;
    s.wMilliseconds = static_cast<WORD>(ms % 1000);
    s.wSecond = static_cast<WORD>((ms / 1000) % 60);
    s.wMinute = static_cast<WORD>((ms / 60000) % 60);
    s.wHour = static_cast<WORD>(ms / 3600000);
    return TRUE;
}

// CompareFileTime
LONG CompareFileTime(const FILETIME *lpFileTime1, const FILETIME *lpFileTime2)
{
    if (!lpFileTime1 || !lpFileTime2)
        return 0;
    uint64_t a = (static_cast<uint64_t>(lpFileTime1->dwHighDateTime) << 32) | lpFileTime1->dwLowDateTime;
    uint64_t b = (static_cast<uint64_t>(lpFileTime2->dwHighDateTime) << 32) | lpFileTime2->dwLowDateTime;
    return a < b ? -1 : (a > b ? 1 : 0);
}
