// device.cpp - opening the emulated device: its folder, device.ini and mounts.
//
// The device is a host folder. device.ini holds its settings in INI form
// (section [device]); store/ is the object store, the device path "\".
// Bad settings are reported with the file, the line and what is accepted,
// and nothing is changed by a failed open.
#include "kernel/device.h"
#include "kernel/hostfile.h"
#include "kernel/files.h"
#include "kernel/handles.h"
#include "text/text.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plat {
namespace {

const char *const kKeys = "os_version, storage_kb, screen, running, fonts, program_kb";
const char *const kDefaultFonts = "Tahoma, Courier New, Times New Roman, Symbol, Wingdings";

// Folders of a new device's store, parents first.
const char *const kStandardFolders[] = {
    "Windows", "Windows/Start Menu", "Windows/Start Menu/Programs", "Windows/Desktop",
    "Program Files", "My Documents", "Temp",
};

struct State {
    bool open = false;
    uint64_t generation = 0;
    DeviceSettings settings;
    std::string dir;
    std::string storeDir;
    std::vector<Mount> mounts;
    std::u16string modulePath = u"\\Storage Card\\Setup.exe";
    DeviceAreaSteps areas;
};

State g_state;
} // namespace

const DeviceSettings *g_deviceOpen = nullptr;

namespace {
// Outside State, constant-initialised: the opener is set by a library
// constructor that may run before this file's dynamic initialisation.
DeviceOpener g_opener = nullptr;
bool g_openerTried = false;

std::string Trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A decimal number without sign, within [lo, hi].
bool ParseUnsigned(const std::string &text, uint64_t lo, uint64_t hi, uint64_t &out)
{
    if (text.empty() || text.size() > 19)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

std::vector<std::u16string> SplitList(const std::string &text)
{
    // Split by hand: a string stream would set up the C++ locale, which
    // nothing else in a run needs (50,000 instructions and 19 page faults).
    std::vector<std::u16string> items;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string item = Trim(text.substr(start, comma - start));
        if (!item.empty())
            items.push_back(FromUtf8(item));
        start = comma + 1;
    }
    return items;
}

bool ParseScreen(const std::string &text, uint32_t &w, uint32_t &h)
{
    size_t x = text.find('x');
    if (x == std::string::npos)
        return false;
    uint64_t a, b;
    if (!ParseUnsigned(text.substr(0, x), 64, 4096, a) || !ParseUnsigned(text.substr(x + 1), 64, 4096, b))
        return false;
    w = uint32_t(a);
    h = uint32_t(b);
    return true;
}

// Applies one key of device.ini (or of an override) to the settings. On
// failure, error says what the key accepts.
bool ApplySetting(DeviceSettings &s, const std::string &key, const std::string &value, std::string &error)
{
    uint64_t n;
    if (key == "os_version") {
        if (!ParseOsVersion(value, s.osMajor, s.osMinor)) {
            error = "os_version \"" + value + "\" is not a version X.Y (two decimal numbers, e.g. 4.20)";
            return false;
        }
    } else if (key == "storage_kb") {
        if (!ParseUnsigned(value, 0, uint64_t(1) << 40, n)) {
            error = "storage_kb \"" + value + "\" is not a size in KiB (a decimal number; 0 for the host's free space)";
            return false;
        }
        s.storageKb = n;
    } else if (key == "screen") {
        if (!ParseScreen(value, s.screenWidth, s.screenHeight)) {
            error = "screen \"" + value + "\" is not WIDTHxHEIGHT (each 64 to 4096 pixels, e.g. 240x320)";
            return false;
        }
    } else if (key == "running") {
        s.running = SplitList(value);
    } else if (key == "fonts") {
        s.fonts = SplitList(value);
    } else if (key == "program_kb") {
        if (!ParseUnsigned(value, 1, 65536, n)) {
            error = "program_kb \"" + value + "\" is not a size in KiB from 1 to 65536";
            return false;
        }
        s.programKb = uint32_t(n);
    } else {
        error = "unknown key \"" + key + "\" (keys: " + kKeys + ")";
        return false;
    }
    return true;
}

// device.ini is a few lines; anything far larger is not a settings file.
constexpr size_t kIniMaxBytes = 64 * 1024;
constexpr size_t kIniMaxLine = 4096;

bool ReadIni(const std::string &path, DeviceSettings &s, std::string &error)
{
    std::vector<std::string> lines;
    if (!ReadHostTextFile(path, kIniMaxBytes, kIniMaxLine, lines, error))
        return false;
    int lineNo = 0;
    bool inDevice = false;
    std::vector<std::pair<std::string, int>> seen;
    for (const std::string &line : lines) {
        ++lineNo;
        std::string t = Trim(line);
        if (lineNo == 1 && t.compare(0, 3, "\xEF\xBB\xBF") == 0)
            t = Trim(t.substr(3));
        if (t.empty() || t[0] == ';' || t[0] == '#')
            continue;
        std::string where = Printable(path) + " line " + std::to_string(lineNo) + ": ";
        if (t[0] == '[') {
            if (t.back() != ']') {
                error = where + "section header \"" + Printable(t) + "\" has no closing ]";
                return false;
            }
            std::string name = Trim(t.substr(1, t.size() - 2));
            if (name != "device") {
                error = where + "unknown section [" + Printable(name) + "] (the settings go in [device])";
                return false;
            }
            inDevice = true;
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos) {
            error = where + "\"" + Printable(t) + "\" is not key = value";
            return false;
        }
        if (!inDevice) {
            error = where + "key outside the [device] section";
            return false;
        }
        std::string key = Trim(t.substr(0, eq));
        std::string value = Trim(t.substr(eq + 1));
        // A key given twice leaves it unclear which one the device has.
        for (const auto &k : seen) {
            if (k.first == key) {
                error = where + "key \"" + Printable(key) + "\" given twice (also on line " +
                        std::to_string(k.second) + ")";
                return false;
            }
        }
        seen.emplace_back(key, lineNo);
        std::string why;
        if (!ApplySetting(s, key, value, why)) {
            error = where + Printable(why);
            return false;
        }
    }
    return true;
}

std::string DefaultIni(const DeviceOverrides &init)
{
    std::string os = init.osVersion ? *init.osVersion : "4.20";
    std::string kb = init.storageKb ? *init.storageKb : "65536";
    return "; Settings of this emulated Windows CE device.\n"
           "[device]\n"
           "os_version = " + os + "\n"
           "storage_kb = " + kb + "\n"
           "screen = 240x320\n"
           "running =\n"
           "fonts = " + std::string(kDefaultFonts) + "\n"
           "program_kb = 64\n";
}

bool MakeStore(const std::string &storeDir, std::string &error)
{
    std::error_code ec;
    fs::create_directories(storeDir, ec);
    for (const char *f : kStandardFolders) {
        if (!ec)
            fs::create_directories(storeDir + "/" + f, ec);
    }
    if (ec) {
        error = storeDir + ": cannot create the object store (" + ec.message() + ")";
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string &path, const std::string &content, std::string &error)
{
    std::string reason;
    if (WriteHostFileWhole(path, content, reason))
        return true;
    error = path + ": cannot be written (" + reason + ")";
    return false;
}

std::string Absolute(const std::string &dir)
{
    std::error_code ec;
    fs::path p = fs::absolute(dir, ec);
    if (ec)
        return dir;
    return p.lexically_normal().string();
}

// Validates the overrides into the settings without touching anything.
bool ApplyOverrides(DeviceSettings &s, const DeviceOverrides &o, std::string &error)
{
    if (o.osVersion && !ApplySetting(s, "os_version", *o.osVersion, error)) {
        error = "--os-version: " + error;
        return false;
    }
    if (o.storageKb && !ApplySetting(s, "storage_kb", *o.storageKb, error)) {
        error = "--storage-kb: " + error;
        return false;
    }
    for (const std::string &r : o.running) {
        if (Trim(r).empty()) {
            error = "--running: an empty window class name";
            return false;
        }
        s.running.push_back(FromUtf8(Trim(r)));
    }
    return true;
}

bool OpenAreas(const DeviceAreaSteps &areas, const std::string &dir, bool create, std::string &error)
{
    return !areas.open || areas.open(dir, create, error);
}

void CloseAreas(const DeviceAreaSteps &areas)
{
    if (areas.close)
        areas.close();
}

} // namespace

bool ParseOsVersion(const std::string &text, uint32_t &major, uint32_t &minor)
{
    size_t dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    uint64_t a, b;
    if (!ParseUnsigned(text.substr(0, dot), 0, 65535, a) || !ParseUnsigned(text.substr(dot + 1), 0, 65535, b))
        return false;
    major = uint32_t(a);
    minor = uint32_t(b);
    return true;
}

bool DeviceFolderCreate(const std::string &dirArg, const DeviceOverrides &init, const DeviceAreaSteps &areas,
                        std::string &error)
{
    std::string dir = Absolute(dirArg);
    DeviceSettings probe;
    probe.fonts = SplitList(kDefaultFonts);
    if (!ApplyOverrides(probe, init, error))
        return false;
    std::error_code ec;
    if (fs::exists(dir + "/device.ini", ec) || fs::exists(dir + "/store", ec)) {
        error = dir + ": already holds a device (remove it first to start afresh)";
        return false;
    }
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
        error = dir + ": is not a folder";
        return false;
    }
    fs::create_directories(dir, ec);
    if (ec) {
        error = dir + ": cannot create the device folder (" + ec.message() + ")";
        return false;
    }
    // The registry is created empty with the device, and device.ini comes
    // last, so that a device with settings is always complete.
    if (!MakeStore(dir + "/store", error) || !OpenAreas(areas, dir, true, error))
        return false;
    CloseAreas(areas);
    if (!WriteFileAtomically(dir + "/device.ini", DefaultIni(init), error))
        return false;
    return true;
}

bool DeviceFolderOpen(const std::string &dirArg, const DeviceOverrides &overrides, const DeviceAreaSteps &areas,
                      std::string &error)
{
    DeviceFolderClose();
    std::string dir = Absolute(dirArg);
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
        error = dir + ": is not a folder";
        return false;
    }
    std::string ini = dir + "/device.ini";
    if (!fs::exists(ini, ec)) {
        // A missing device (or a folder without settings) is made with defaults.
        DeviceSettings probe;
        if (!ApplyOverrides(probe, overrides, error))
            return false;
        fs::create_directories(dir, ec);
        if (ec) {
            error = dir + ": cannot create the device folder (" + ec.message() + ")";
            return false;
        }
        // The settings are written last: a run killed while it made the
        // device leaves no device.ini, and the next one makes it again
        // (every step is repeatable) instead of taking half a device.
        if (!MakeStore(dir + "/store", error) || !OpenAreas(areas, dir, true, error))
            return false;
        CloseAreas(areas);
        if (!WriteFileAtomically(ini, DefaultIni({}), error))
            return false;
    }
    DeviceSettings s;
    s.fonts = SplitList(kDefaultFonts);
    if (!ReadIni(ini, s, error))
        return false;
    if (!ApplyOverrides(s, overrides, error))
        return false;
    std::string store = dir + "/store";
    struct stat st;
    if (lstat(store.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        error = store + ": is not a folder (the object store must be a real folder)";
        return false;
    }
    // A device whose store is there is in use: its registry is kept, and a
    // missing or empty one is an error, never replaced by a new one. Only a
    // device without a store yet (settings written by hand before the first
    // run) gets a new registry with its store.
    bool fresh = !fs::exists(store, ec);
    if (fresh && !MakeStore(store, error))
        return false;
    if (!OpenAreas(areas, dir, fresh, error))
        return false;

    g_state.settings = s;
    g_state.dir = dir;
    g_state.storeDir = store;
    g_state.mounts.clear();
    g_state.modulePath = u"\\Storage Card\\Setup.exe";
    g_state.generation++;
    g_state.areas = areas;
    g_state.open = true;
    g_deviceOpen = &g_state.settings;
    return true;
}

void DeviceFolderClose()
{
    if (!g_state.open)
        return;
    // Open files, keys and windows of the old device must not reach the next.
    HandleReset();
    CloseAreas(g_state.areas);
    g_state.open = false;
    g_deviceOpen = nullptr;
    g_state.mounts.clear();
}

bool DeviceIsOpen()
{
    if (!g_state.open && g_opener) {
        // Recursive: the opener itself asks whether a device is open (and
        // finds it marked as tried).
        static std::recursive_mutex lock;
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (!g_openerTried) {
            g_openerTried = true;
            g_opener();
        }
    }
    return g_state.open;
}

void DeviceSetOpener(DeviceOpener opener)
{
    g_opener = opener;
    g_openerTried = false;
}

uint64_t DeviceGeneration()
{
    return g_state.generation;
}

const DeviceSettings &DeviceGetSettings()
{
    return g_state.settings;
}

DeviceSettings &DeviceMutableSettings()
{
    return g_state.settings;
}

const std::string &DeviceDir()
{
    return g_state.dir;
}

const std::string &DeviceStoreDir()
{
    return g_state.storeDir;
}

bool DeviceMount(const std::u16string &devicePath, const std::string &hostDir, std::string &error)
{
    std::u16string name = devicePath;
    while (!name.empty() && (name.front() == u'\\' || name.front() == u'/'))
        name.erase(name.begin());
    if (name.empty() || name.find_first_of(u"\\/") != std::u16string::npos) {
        error = "a mount must be a single name under \\";
        return false;
    }
    std::error_code ec;
    std::string abs = Absolute(hostDir);
    if (!fs::is_directory(abs, ec)) {
        error = hostDir + ": is not a folder";
        return false;
    }
    // Folders resolved before may lie under the new mount's name.
    PathForgetFolders();
    for (Mount &m : g_state.mounts) {
        if (FoldCompare(m.name, name) == 0) {
            m.hostDir = abs;
            return true;
        }
    }
    g_state.mounts.push_back(Mount{name, abs});
    return true;
}

const std::vector<Mount> &DeviceMounts()
{
    return g_state.mounts;
}

void DeviceSetModulePath(const std::u16string &devicePath)
{
    g_state.modulePath = devicePath;
}

const std::u16string &DeviceModulePath()
{
    return g_state.modulePath;
}

} // namespace plat
