// device.h - the emulated device: its host folder, settings and mounts.
//
// A device is a host folder holding device.ini, the object store (store/,
// the device path "\") and whatever else the platform keeps there (the
// registry database). One device is open per process; the loader opens it
// before SetupMain, tests open a fresh one per test.
#ifndef CE_PLATFORM_DEVICE_H
#define CE_PLATFORM_DEVICE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plat {

// The program's module instance (GetModuleHandleW(NULL), SetupMain's first
// argument); its resources are those registered with ResourcesSet.
constexpr uint32_t kProgramInstance = 0x7fff0000u;

struct DeviceSettings {
    uint32_t osMajor = 4;
    uint32_t osMinor = 20;
    uint64_t storageKb = 65536;      // 0: the host disk's free space
    uint32_t screenWidth = 240;
    uint32_t screenHeight = 320;
    std::vector<std::u16string> running; // window classes of running applications
    std::vector<std::u16string> fonts;   // installed font families
    uint32_t programKb = 64;             // size of the stand-in program file
};

// Values given for one run that override device.ini (loader options).
struct DeviceOverrides {
    std::optional<std::string> osVersion; // "X.Y"
    std::optional<std::string> storageKb; // decimal
    std::vector<std::string> running;     // added to the device's list
};

// Parses "X.Y" (two decimal integers). False for anything else.
bool ParseOsVersion(const std::string &text, uint32_t &major, uint32_t &minor);

// The parts of the device that areas above the kernel keep in its folder
// (the registry database). The kernel runs them at the right moments of the
// device's life; the device layer (platform/device) says which they are.
struct DeviceAreaSteps {
    // Opens the areas' part of the device in DIR; create: the device is
    // new (make what is missing), else a missing part is an error. False
    // with a message naming the file.
    bool (*open)(const std::string &dir, bool create, std::string &error) = nullptr;
    // Closes it again (after every handle of the device was dropped).
    void (*close)() = nullptr;
};

// Creates a new device folder with defaults, the standard folders and the
// areas' parts. Fails (with a message naming the folder) when DIR already
// holds a device.
bool DeviceFolderCreate(const std::string &dir, const DeviceOverrides &init, const DeviceAreaSteps &areas,
                        std::string &error);

// Opens DIR as the process's device, creating a missing one, with the
// areas' parts. A bad device.ini or an unusable part is an error naming the
// file.
bool DeviceFolderOpen(const std::string &dir, const DeviceOverrides &overrides, const DeviceAreaSteps &areas,
                      std::string &error);

// Closes the open device: handles, the areas' parts and mounts are released.
void DeviceFolderClose();

// Whether a device is open. In a process that opened none itself, the
// first call runs the opener set with DeviceSetOpener (once), so that a
// client program of the support library gets its device on first use.
bool DeviceIsOpen();

// Sets the first-use opener: it opens a device (DeviceFolderOpen) or reports why
// it cannot, and returns whether one is open. Null removes it.
using DeviceOpener = bool (*)();
void DeviceSetOpener(DeviceOpener opener);
// Grows by one with every DeviceFolderOpen, so that areas can drop caches kept
// for an earlier device (the store's held bytes, for instance).
uint64_t DeviceGeneration();
const DeviceSettings &DeviceGetSettings();
// The open device's settings, null while none is open (nor opened on first
// use yet): read inline where the screen's size is checked at every paint.
extern const DeviceSettings *g_deviceOpen;
DeviceSettings &DeviceMutableSettings(); // tests adjust a running device
const std::string &DeviceDir();      // absolute host path of DIR
const std::string &DeviceStoreDir(); // absolute host path of DIR/store

// Mounts a host folder at a device path directly under "\" (for the card,
// L"\\Storage Card"). The folder must exist.
bool DeviceMount(const std::u16string &devicePath, const std::string &hostDir, std::string &error);

struct Mount {
    std::u16string name;  // the mount's name under "\", as given ("Storage Card")
    std::string hostDir;  // absolute host path
};
const std::vector<Mount> &DeviceMounts();

// The device path the program was started as (GetModuleFileNameW).
void DeviceSetModulePath(const std::u16string &devicePath);
const std::u16string &DeviceModulePath();

} // namespace plat

#endif
