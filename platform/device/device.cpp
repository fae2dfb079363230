// device.cpp - the device's life composed from the areas' steps.
//
// The kernel opens the device folder and runs the steps of the areas above
// it that keep parts there (the registry); it reports launches through its
// hook, which goes to the transcript. Nothing below this layer knows the
// areas above it.
#include "device/device.h"

#include "commctrl/progress.h"
#include "device/transcript.h"
#include "kernel/process.h"
#include "registry/registry.h"
#include "user/window.h"

#include <mutex>

namespace plat {
namespace {

bool OpenRegistry(const std::string &dir, bool create, std::string &error)
{
    return RegistryOpen(dir, error, create);
}

const DeviceAreaSteps kAreas = {OpenRegistry, RegistryClose};

// Tools that only read open an existing registry read-only, so that they
// work on a device folder that cannot be written.
bool OpenRegistryForReading(const std::string &dir, bool, std::string &error)
{
    return RegistryOpenForReading(dir, error);
}

const DeviceAreaSteps kReadingAreas = {OpenRegistryForReading, RegistryClose};

// Constant-initialised: steps are added from static initialisers.
constexpr int kMaxResetSteps = 8;
void (*g_resetSteps[kMaxResetSteps])() = {};
std::mutex g_resetLock;

// What every opened device gets from the areas that keep no part in it.
void Wire()
{
    ProcessSetLaunchHook(TranscriptLaunch);
    CommctrlRegisterClasses();
}

} // namespace

bool DeviceCreate(const std::string &dir, const DeviceOverrides &init, std::string &error)
{
    return DeviceFolderCreate(dir, init, kAreas, error);
}

bool DeviceOpen(const std::string &dir, const DeviceOverrides &overrides, std::string &error)
{
    if (!DeviceFolderOpen(dir, overrides, kAreas, error))
        return false;
    Wire();
    return true;
}

bool DeviceOpenForReading(const std::string &dir, std::string &error)
{
    if (!DeviceFolderOpen(dir, {}, kReadingAreas, error))
        return false;
    Wire();
    return true;
}

void DeviceClose()
{
    DeviceFolderClose();
}

void DeviceReset()
{
    UserReset();
    std::lock_guard<std::mutex> guard(g_resetLock);
    for (auto step : g_resetSteps)
        if (step)
            step();
}

void DeviceAddResetStep(void (*step)())
{
    std::lock_guard<std::mutex> guard(g_resetLock);
    for (auto &slot : g_resetSteps) {
        if (slot == step)
            return;
        if (!slot) {
            slot = step;
            return;
        }
    }
}

} // namespace plat
