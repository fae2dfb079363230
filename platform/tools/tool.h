// tool.h - what the commands of the device tool share: the usage and
// failure exits, and opening an existing device.
#ifndef CE_PLATFORM_TOOLS_TOOL_H
#define CE_PLATFORM_TOOLS_TOOL_H

#include <string>
#include <vector>

namespace cedevice {

// Prints the reason and the usage on stderr; exit code 1.
int Usage(const std::string &why);
// One line on stderr; exit code 2 (the device or card cannot be used).
int Fail(const std::string &why);
// Opens an existing device for reading (read-only when it cannot be
// written); never makes one.
bool OpenExisting(const std::string &dir, std::string &error);

// A device in a temporary folder with a card mounted as \Storage Card,
// open in this process; closed and removed when it goes.
struct ScratchDevice {
    ScratchDevice();
    ~ScratchDevice();
    ScratchDevice(const ScratchDevice &) = delete;
    ScratchDevice &operator=(const ScratchDevice &) = delete;
    bool Open(const std::string &card, std::string &error);
    std::string dir;

private:
    bool opened_ = false;
};

// The commands; args are those after the command's name.
int Products(const std::vector<std::string> &args);
int Snapshot(const std::vector<std::string> &args);
int Diff(const std::vector<std::string> &args);
int Lint(const std::vector<std::string> &args);
// argv0 finds cesetup beside the tool.
int Check(const std::vector<std::string> &args, const char *argv0);

} // namespace cedevice

#endif
