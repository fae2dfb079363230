// device.h (Win32 build) - the device calls some platform tests make; on
// Win32 there is no emulated device, so each call records a device-only
// check (see cetest::DeviceOnly) and does nothing.
#ifndef CE_CONFORMANCE_DEVICE_H
#define CE_CONFORMANCE_DEVICE_H

#include <optional>
#include <string>
#include <vector>

namespace plat {

struct DeviceOverrides {
    std::optional<std::string> osVersion;
    std::optional<std::string> storageKb;
    std::vector<std::string> running;
};

bool DeviceOpen(const std::string &dir, const DeviceOverrides &overrides, std::string &error);
void DeviceClose();
void DeviceSetModulePath(const std::u16string &path);

} // namespace plat

#endif
