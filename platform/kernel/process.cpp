// process.cpp - CreateProcessW.
//
// The device never runs a host program. A start is looked up in the
// device's files (a bare name in \Windows, then in \, with ".exe" added when
// it has no extension), succeeds when the program file exists there, and is
// reported to the launch hook either way (the run's transcript records it).
#include <windows.h>

#include <atomic>

#include "kernel/files.h"
#include "kernel/handles.h"
#include "kernel/process.h"

using namespace plat;

namespace {

struct ProcessObject : HandleObject {
    DWORD id = 0;
};

std::atomic<DWORD> g_nextId{0x100};
std::atomic<LaunchHook> g_launchHook{nullptr};

bool IsSep(char16_t c)
{
    return c == u'\\' || c == u'/';
}

// Whether PATH names an existing program file; RESOLVED gets its device path
// with the stored case.
bool ProgramExists(const std::u16string &path, std::u16string &resolved)
{
    DevicePath p;
    if (ParseDevicePath(path.c_str(), false, p) != 0 || p.trailingSep || p.parts.empty())
        return false;
    ResolvedPath r;
    if (ResolveDevicePath(p, r) != 0 || r.kind != EntryKind::File)
        return false;
    resolved = r.devicePath;
    return true;
}

// Splits a command line into its program (first token, quotes removed) and
// the rest.
void SplitCommandLine(const std::u16string &line, std::u16string &program, std::u16string &rest)
{
    size_t i = 0;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    if (i < line.size() && line[i] == u'"') {
        size_t end = line.find(u'"', i + 1);
        if (end == std::u16string::npos)
            end = line.size();
        program = line.substr(i + 1, end - i - 1);
        i = end < line.size() ? end + 1 : end;
    } else {
        size_t end = i;
        while (end < line.size() && line[end] != u' ' && line[end] != u'\t')
            ++end;
        program = line.substr(i, end - i);
        i = end;
    }
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    rest = line.substr(i);
}

} // namespace

// CreateProcessW
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation)
{
    std::u16string program, cmdline;
    if (lpApplicationName && lpApplicationName[0]) {
        program = lpApplicationName;
        if (lpCommandLine)
            cmdline = lpCommandLine;
    } else if (lpCommandLine && lpCommandLine[0]) {
        SplitCommandLine(lpCommandLine, program, cmdline);
    }
    if (program.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    std::u16string resolved;
    bool found = false;
    if (IsSep(program[0])) {
        found = ProgramExists(program, resolved);
    } else {
        std::u16string name = program;
        size_t sep = name.find_last_of(u"\\/");
        std::u16string title = sep == std::u16string::npos ? name : name.substr(sep + 1);
        if (title.find(u'.') == std::u16string::npos)
            name += u".exe";
        found = ProgramExists(u"\\Windows\\" + name, resolved) || ProgramExists(u"\\" + name, resolved);
    }

    if (LaunchHook hook = g_launchHook.load())
        hook(found ? resolved : program, cmdline, found);
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (lpProcessInformation) {
        auto proc = std::make_shared<ProcessObject>();
        auto thread = std::make_shared<ProcessObject>();
        proc->id = g_nextId.fetch_add(4);
        thread->id = g_nextId.fetch_add(4);
        HANDLE hp = HandleAlloc(HandleKind::Process, proc);
        HANDLE ht = hp ? HandleAlloc(HandleKind::Process, thread) : 0;
        if (!ht) {
            if (hp)
                HandleFree(hp, HandleKind::Process);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        lpProcessInformation->hProcess = hp;
        lpProcessInformation->hThread = ht;
        lpProcessInformation->dwProcessId = proc->id;
        lpProcessInformation->dwThreadId = thread->id;
    }
    return TRUE;
}

void plat::ProcessSetLaunchHook(LaunchHook hook)
{
    g_launchHook = hook;
}
