// run.cpp - `cedevice run`: starts a host program as a process of a device.
//
//   cedevice run DIR [--card CARD] [--transcript FILE] PROGRAM [ARGS...]
//
// The program's support library (libcesupport.so) opens its device on first
// use from the environment set here (CE_DEVICE, CE_CARD, CE_TRANSCRIPT), so
// it runs as cesetup does: the device's files with their sharing rules
// across processes, its registry lock, its module path. The device and the
// card are checked before the program starts; the program then replaces
// this process, so its exit code is the run's.
#include "device/device.h"
#include "tools/run.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace cetool {

int Run(const std::vector<std::string> &args, int (*usage)(const std::string &))
{
    std::string dir, card, transcript;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--card" || a == "--transcript") {
            if (i + 1 >= args.size())
                return usage(a + " needs a value");
            (a == "--card" ? card : transcript) = args[++i];
        } else if (a == "--") {
            ++i;
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option " + a + " (options of run come before the program)");
        } else if (dir.empty()) {
            dir = a;
        } else {
            break; // the program: everything from here is its own
        }
    }
    if (dir.empty() || i >= args.size())
        return usage("run needs the device folder and a program");

    std::error_code ec;
    std::string error;
    if (!fs::exists(fs::path(dir) / "device.ini", ec)) {
        std::cerr << "cedevice: " << dir << ": no device here (make one with: cedevice init " << dir << ")\n";
        return 2;
    }
    // Opened once here so that a bad device.ini or a damaged registry is
    // reported by the tool, before the program starts.
    bool ok = plat::DeviceOpen(dir, {}, error);
    plat::DeviceClose();
    if (!ok) {
        std::cerr << "cedevice: " << error << "\n";
        return 2;
    }
    if (!card.empty() && !fs::is_directory(card, ec)) {
        std::cerr << "cedevice: --card " << card << ": is not a folder\n";
        return 2;
    }

    // Absolute, so that a program changing its folder keeps its device.
    setenv("CE_DEVICE", fs::absolute(dir).c_str(), 1);
    if (card.empty())
        unsetenv("CE_CARD");
    else
        setenv("CE_CARD", fs::absolute(card).c_str(), 1);
    if (transcript.empty())
        unsetenv("CE_TRANSCRIPT");
    else
        setenv("CE_TRANSCRIPT", transcript == "-" ? "-" : fs::absolute(transcript).c_str(), 1);

    std::vector<char *> argv;
    for (size_t k = i; k < args.size(); ++k)
        argv.push_back(const_cast<char *>(args[k].c_str()));
    argv.push_back(nullptr);
    std::cout.flush();
    execvp(argv[0], argv.data());
    int e = errno;
    std::cerr << "cedevice: " << args[i] << ": cannot be started (" << std::strerror(e) << ")\n";
    return e == ENOENT ? 127 : 126;
}

} // namespace cetool
