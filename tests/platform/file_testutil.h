// file_testutil.h - small helpers shared by the platform tests (files, kernel, text, shell).
#ifndef CE_TESTS_FILE_TESTUTIL_H
#define CE_TESTS_FILE_TESTUTIL_H

#include <windows.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
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

// Reads up to COUNT bytes at the handle's position; "<error>" on failure.
inline std::string ReadSome(HANDLE h, DWORD count)
{
    std::string buf(count, '\0');
    DWORD got = 0;
    if (!ReadFile(h, &buf[0], count, &got, nullptr))
        return "<error>";
    buf.resize(got);
    return buf;
}

// LEN bytes that differ at every offset within 251 bytes; SEED shifts them.
inline std::string Pattern(size_t len, int seed = 0)
{
    std::string s(len, '\0');
    for (size_t i = 0; i < len; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251 + static_cast<size_t>(seed) * 13) & 0xff);
    return s;
}

#ifdef WIFEXITED // not in the Win32 build, which has no fork
// Runs BODY in a child process of the same device and waits for it: BODY's
// result as the exit code, -1 when the child did not exit by itself.
inline int InChild(const std::function<int()> &body)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
#endif

// A child process that runs BODY, reports its one-byte result and holds
// what it opened until Finish.
struct Child {
    pid_t pid = -1;
    int up[2] = {-1, -1}, down[2] = {-1, -1};
    template <class F> explicit Child(F body)
    {
        if (pipe(up) != 0 || pipe(down) != 0 || (pid = fork()) < 0)
            abort();
        if (pid == 0) {
            char result = body(), c;
            close(down[1]);
            if (write(up[1], &result, 1) == 1) {
                while (read(down[0], &c, 1) > 0) {
                }
            }
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
    }
    char Report()
    {
        char c = 0;
        return read(up[0], &c, 1) == 1 ? c : 0;
    }
    void Finish()
    {
        if (down[1] >= 0) {
            close(down[1]);
            down[1] = -1;
            waitpid(pid, nullptr, 0);
            close(up[0]);
        }
    }
    ~Child() { Finish(); }
};

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
