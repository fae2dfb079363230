// client.cpp - the device of a client program of the support library.
//
// libcesupport.so is used by host programs that did not open a device the
// way the loader does. It registers a first-use opener: the first call that
// needs the device opens the one named by the environment, as `cedevice run`
// sets it up:
//   CE_DEVICE      the device folder (an existing device; none is made)
//   CE_CARD        a host folder mounted as \Storage Card (optional)
//   CE_MODULE      the device path the program runs as (optional; default
//                  \Storage Card\NAME with a card, else \Windows\NAME)
//   CE_TRANSCRIPT  a file for the run's JSON Lines transcript (optional)
// Without a device every call that needs one fails as on a device without
// storage, and one line on stderr says how to name one. Only this library
// links this file: the programs open their device themselves.
#include "device/device.h"
#include "text/text.h"
#include "device/transcript.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace plat {
namespace {

const char *Env(const char *name)
{
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

// The program's own file name, from the host's record of the process.
std::string ProgramName()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string name = ec ? std::string() : exe.filename().string();
    return name.empty() ? std::string("client") : name;
}

// An absolute device path with "\" separators, or false.
bool ModulePathFrom(const std::string &text, std::u16string &out)
{
    std::u16string p = FromUtf8(text);
    for (char16_t &c : p)
        if (c == u'/')
            c = u'\\';
    if (p.empty() || p == u"\\" || p.rfind(u"\\\\", 0) == 0)
        return false;
    if (p[0] != u'\\')
        p.insert(p.begin(), u'\\');
    out = p;
    return true;
}

bool Refuse(const std::string &why)
{
    std::fprintf(stderr, "libcesupport: %s\n", why.c_str());
    return false;
}

bool OpenFromEnvironment()
{
    const char *dir = Env("CE_DEVICE");
    if (!dir)
        return Refuse("no device (set CE_DEVICE or use cedevice run)");
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::path(dir) / "device.ini", ec))
        return Refuse(std::string("CE_DEVICE ") + dir + ": no device here (make one with: cedevice init " + dir + ")");
    std::string error;
    if (!DeviceOpen(dir, {}, error))
        return Refuse(error);
    const char *card = Env("CE_CARD");
    if (card && !DeviceMount(u"Storage Card", card, error)) {
        DeviceClose();
        return Refuse(std::string("CE_CARD ") + error);
    }
    std::u16string module;
    if (const char *m = Env("CE_MODULE")) {
        if (!ModulePathFrom(m, module)) {
            DeviceClose();
            return Refuse(std::string("CE_MODULE \"") + m + "\" is not a device path of a program file");
        }
    } else {
        module = (card ? u"\\Storage Card\\" : u"\\Windows\\") + FromUtf8(ProgramName());
    }
    DeviceSetModulePath(module);
    if (const char *t = Env("CE_TRANSCRIPT")) {
        if (!TranscriptOpen(t, error)) {
            DeviceClose();
            return Refuse(std::string("CE_TRANSCRIPT ") + error);
        }
    }
    return true;
}

// Registered when the library is loaded; nothing is opened before first use.
__attribute__((constructor)) void RegisterOpener()
{
    DeviceSetOpener(&OpenFromEnvironment);
}

} // namespace
} // namespace plat
