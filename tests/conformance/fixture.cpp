// fixture.cpp - the Win32 side of the device fixture: the store as a drive,
// the registry under a test key of the current user.
#include <windows.h>

// Taken before the fixture header turns the roots into test keys.
static const HKEY kRealCurrentUser = HKEY_CURRENT_USER;

#include "helpers/testdevice.h"
#include "kernel/faults.h"
#include "kernel/handles.h"
#include "registry/registry.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace cetest {

namespace {

const wchar_t kTestKey[] = L"Software\\CesetupConformance";
HKEY g_roots[2];

std::string Env(const char *name, const char *fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? v : fallback;
}

fs::path HostPath(const std::string &utf8)
{
    return fs::u8path(utf8);
}

bool StartsWithNoCase(const std::wstring &s, const std::wstring &prefix)
{
    return s.size() >= prefix.size() &&
           CompareStringOrdinal(s.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// Closes the file handles a test left open inside the fixture's folders, as
// closing the device does on the device (an open file could not be removed
// before the next test). The handle table is small: its values are walked.
void CloseLeftHandles(const std::string &rootPath, const std::string &drive)
{
    const std::wstring prefixes[2] = {L"\\\\?\\" + HostPath(rootPath).wstring(),
                                      L"\\\\?\\" + HostPath(drive).wstring()};
    for (uintptr_t v = 4; v < 0x4000; v += 4) {
        HANDLE h = reinterpret_cast<HANDLE>(v);
        if (GetFileType(h) != FILE_TYPE_DISK)
            continue;
        wchar_t name[1024];
        DWORD n = GetFinalPathNameByHandleW(h, name, 1024, 0);
        if (n == 0 || n >= 1024)
            continue;
        if (StartsWithNoCase(name, prefixes[0]) || StartsWithNoCase(name, prefixes[1]))
            CloseHandle(h);
    }
}

// The entries under a folder that still cannot be deleted, each with its
// error, so that a failure to empty the store names what holds it.
std::string HeldEntries(const fs::path &top)
{
    std::string out;
    int listed = 0;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const auto &e : fs::recursive_directory_iterator(top, ec))
        entries.push_back(e.path());
    entries.push_back(top);
    // Deepest first, so that a folder is tried after what it holds.
    for (auto it = entries.rbegin(); it != entries.rend() && listed < 5; ++it) {
        DWORD attributes = GetFileAttributesW(it->wstring().c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;
        bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (folder ? RemoveDirectoryW(it->wstring().c_str()) : DeleteFileW(it->wstring().c_str()))
            continue;
        DWORD error = GetLastError();
        if (folder && error == ERROR_DIR_NOT_EMPTY)
            continue;
        out += "; held: " + it->u8string() + " (error " + std::to_string(error) + ")";
        ++listed;
    }
    return out;
}

} // namespace

void DeviceOnly(const char *what)
{
    ADD_FAILURE() << "device-only: " << what;
}

HKEY TestRoot(int which)
{
    return g_roots[which];
}

void WriteHostFile(const std::string &path, const std::string &content)
{
    std::error_code ec;
    fs::create_directories(HostPath(path).parent_path(), ec);
    std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadHostFile(const std::string &path)
{
    std::ifstream in(HostPath(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool HostExists(const std::string &path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(HostPath(path), ec));
}

std::u16string U16(const std::string &s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::u16string out(n, u'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), reinterpret_cast<wchar_t *>(out.data()), n);
    return out;
}

std::string U8(const std::u16string &s)
{
    const wchar_t *w = reinterpret_cast<const wchar_t *>(s.data());
    int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void DeviceFixture::SetUp()
{
    // CECONF_ROOT is the host folder (as a Windows path) whose device\store
    // folder the drive names.
    root.path = Env("CECONF_ROOT", "");
    ASSERT_FALSE(root.path.empty()) << "CECONF_ROOT is not set";
    const std::string drive = Env("CECONF_DRIVE", "S:");
    deviceDir = root.path + "\\device";
    const std::string store = deviceDir + "\\store";
    cardDir = store + "\\Storage Card";

    SetCurrentDirectoryW(HostPath(root.path).wstring().c_str());
    CloseLeftHandles(root.path, drive);
    // With the long-name prefix: a test may leave names past MAX_PATH.
    std::error_code ec;
    const fs::path top = HostPath("\\\\?\\" + root.path);
    // Read-only files (a test leaves some) are made writable first.
    for (const auto &e : fs::recursive_directory_iterator(top, ec))
        SetFileAttributesW(e.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const auto &e : fs::directory_iterator(top, ec)) {
        // Under Wine a file a test closed a moment ago (or a process of an
        // earlier test held) can still refuse to go for a while ("Sharing
        // violation"; over five seconds on a machine loaded by other
        // builds): tried again for up to twenty seconds.
        for (int attempt = 0; attempt < 1000; ++attempt) {
            fs::remove_all(e.path(), ec);
            if (!ec)
                break;
            Sleep(20);
        }
        ASSERT_FALSE(ec) << "emptying " << e.path().u8string() << ": " << ec.message() << HeldEntries(e.path());
    }
    for (const char *dir : {"Windows\\Start Menu\\Programs", "Windows\\Desktop", "Program Files", "My Documents",
                            "Temp", "Storage Card"})
        fs::create_directories(HostPath(store + "\\" + dir), ec);
    const std::wstring driveRoot = HostPath(drive + "\\").wstring();
    ASSERT_TRUE(SetCurrentDirectoryW(driveRoot.c_str())) << "the store drive " << drive << ": " << GetLastError();
    ASSERT_EQ(GetFileAttributesW(L"\\Storage Card"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
        << "the drive " << drive << " does not name " << store;

    RegDeleteTreeW(kRealCurrentUser, kTestKey);
    const wchar_t *names[2] = {L"Software\\CesetupConformance\\LocalMachine",
                               L"Software\\CesetupConformance\\CurrentUser"};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::RegCreateKeyExW(kRealCurrentUser, names[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &g_roots[i],
                                    nullptr),
                  ERROR_SUCCESS)
            << "the registry test key";
    }
}

void DeviceFixture::TearDown()
{
    for (HKEY &k : g_roots) {
        if (k)
            RegCloseKey(k);
        k = nullptr;
    }
    RegDeleteTreeW(kRealCurrentUser, kTestKey);
    SetCurrentDirectoryW(HostPath(root.path).wstring().c_str());
}

void DeviceFixture::Reopen(const plat::DeviceOverrides &)
{
    DeviceOnly("reopening the device with other settings");
}

std::string DeviceFixture::StoreHost(const std::string &rel) const
{
    return deviceDir + "\\store\\" + rel;
}

std::string DeviceFixture::CardHost(const std::string &rel) const
{
    return cardDir + "\\" + rel;
}

} // namespace cetest

// Device-only calls: recorded as such, with the result of a failure.
namespace plat {

bool DeviceOpen(const std::string &, const DeviceOverrides &, std::string &error)
{
    error = "no emulated device under Win32";
    return cetest::DeviceOnly("plat::DeviceOpen"), false;
}
void DeviceClose() { cetest::DeviceOnly("plat::DeviceClose"); }
void DeviceSetModulePath(const std::u16string &) { cetest::DeviceOnly("plat::DeviceSetModulePath"); }
void FaultArm(FaultKind, int) { cetest::DeviceOnly("plat::FaultArm"); }
uint32_t HandleAlloc(HandleKind, std::shared_ptr<HandleObject>) { return cetest::DeviceOnly("plat::HandleAlloc"), 0; }
std::shared_ptr<HandleObject> HandleGet(uint32_t, HandleKind) { return cetest::DeviceOnly("plat::HandleGet"), nullptr; }
bool HandleFree(uint32_t, HandleKind) { return cetest::DeviceOnly("plat::HandleFree"), false; }
size_t HandleCount(HandleKind) { return cetest::DeviceOnly("plat::HandleCount"), SIZE_MAX; }
bool RegistryOpen(const std::string &, std::string &error)
{
    error = "no emulated device under Win32";
    return cetest::DeviceOnly("plat::RegistryOpen"), false;
}

} // namespace plat

// Host calls without a Win32 counterpart here: they fail.
static int NoSuchCall() { return errno = ENOSYS, -1; }
int symlink(const char *, const char *) { return NoSuchCall(); }
int lstat(const char *, struct stat *) { return NoSuchCall(); }
pid_t fork(void) { return NoSuchCall(); }
pid_t waitpid(pid_t, int *, int) { return NoSuchCall(); }
int pipe(int *) { return NoSuchCall(); }
int kill(pid_t, int) { return NoSuchCall(); }
