// device.h - the device's life, over every area: opening a device folder
// opens the kernel's part (settings, store, mounts) and the parts of the
// areas above it (the registry), wires the kernel's reports up to the
// transcript, registers the common controls' classes; closing and resetting
// go through every area the same way.
//
// This is the one place that knows all the areas below the front ends, so
// that no area calls one above it. Programs, tools and tests open devices
// here; the front ends add their reset step.
#ifndef CE_PLATFORM_DEVICE_DEVICE_H
#define CE_PLATFORM_DEVICE_DEVICE_H

#include <string>

#include "kernel/device.h"

namespace plat {

// Creates a new device folder with defaults and the standard folders. Fails
// (with a message naming the folder) when DIR already holds a device.
bool DeviceCreate(const std::string &dir, const DeviceOverrides &init, std::string &error);

// Opens DIR as the process's device, creating a missing one. A bad
// device.ini or a damaged registry is an error naming the file.
bool DeviceOpen(const std::string &dir, const DeviceOverrides &overrides, std::string &error);

// Opens an existing device DIR for tools that change nothing: its registry
// is opened read-only (a read-only device folder can be read; changes are
// refused).
bool DeviceOpenForReading(const std::string &dir, std::string &error);

// Closes the open device: handles, mounts and the registry are released.
void DeviceClose();

// Forgets every window, class, queued message and what the areas that
// added a reset step keep (the front ends): a test starts afresh.
void DeviceReset();

// Adds a step that DeviceReset runs after the window manager's (at most a
// few; a step already added is not added twice).
void DeviceAddResetStep(void (*step)());

} // namespace plat

#endif
