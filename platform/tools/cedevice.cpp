// cedevice.cpp - the device tool: makes devices, shows their registry and
// products, compares them, and checks packages (the commands of the other
// files of this folder).
//
// Exit codes: 0 done, 1 usage error, 2 the device or card cannot be used
// (one line on stderr naming the file and why), 3 a difference or problem
// found (diff, lint, check).
#include "device/device.h"
#include "registry/registry.h"
#include "tools/run.h"
#include "tools/tool.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: cedevice init DIR [--os-version X.Y] [--storage-kb N]\n"
    "       cedevice reg export DIR [KEY]\n"
    "       cedevice reg dump DIR\n"
    "       cedevice run DIR [--card CARD] [--transcript FILE] PROGRAM [ARGS...]\n"
    "       cedevice products DIR [--json]\n"
    "       cedevice snapshot DIR FILE\n"
    "       cedevice diff A B [--json]\n"
    "       cedevice lint CARD [--json]\n"
    "       cedevice check CARD [-j N] [--os-version X.Y] [--storage-kb N] [--json]\n";

const char kHelp[] =
    "\n"
    "commands:\n"
    "  init       make a new device folder\n"
    "  reg        the registry as REGEDIT4 text (export) or JSON Lines (dump)\n"
    "  run        start a host program as a process of the device (its support library works on DIR)\n"
    "  products   the products installed on the device, from their install records\n"
    "  snapshot   every store file (path, size, SHA-256) and the registry, as one JSON file\n"
    "  diff       the differences of two devices or snapshots (exit 3 when they differ)\n"
    "  lint       check the scripts and headers of a card without running them (exit 3 on errors)\n"
    "  check      install and remove each product of a card on scratch devices (exit 3 on problems)\n"
    "  --version  print the version\n"
    "  --help     print this help\n"
    "\n"
    "exit codes: 0 done, 1 usage error, 2 the device or card cannot be used, 3 differences or problems found\n";

} // namespace

namespace cedevice {

int Usage(const std::string &why)
{
    if (!why.empty())
        std::cerr << "cedevice: " << why << "\n";
    std::cerr << kUsage;
    return 1;
}

int Fail(const std::string &why)
{
    std::cerr << "cedevice: " << why << "\n";
    return 2;
}

} // namespace cedevice

namespace {

using cedevice::Fail;
using cedevice::Usage;

int Init(const std::vector<std::string> &args)
{
    if (args.empty())
        return Usage("init needs the device folder");
    plat::DeviceOverrides init;
    std::string dir;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--os-version" || a == "--storage-kb") {
            if (i + 1 >= args.size())
                return Usage(a + " needs a value");
            (a == "--os-version" ? init.osVersion : init.storageKb) = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (dir.empty()) {
            dir = a;
        } else {
            return Usage("unexpected argument \"" + a + "\"");
        }
    }
    if (dir.empty())
        return Usage("init needs the device folder");
    std::string error;
    if (!plat::DeviceCreate(dir, init, error)) {
        // Bad option values are usage errors; everything else is the device's.
        if (error.rfind("--", 0) == 0)
            return Usage(error);
        return Fail(error);
    }
    return 0;
}

using cedevice::OpenExisting;

int Reg(const std::vector<std::string> &args)
{
    if (args.empty())
        return Usage("reg needs export or dump");
    const std::string &verb = args[0];
    std::string error;
    if (verb == "export") {
        if (args.size() < 2 || args.size() > 3)
            return Usage("reg export needs DIR and at most one KEY");
        if (!OpenExisting(args[1], error))
            return Fail(error);
        std::string key = args.size() == 3 ? args[2] : "";
        bool ok = plat::RegistryExport(std::cout, key, error);
        std::cout.flush();
        plat::DeviceClose();
        return ok ? 0 : Fail(error);
    }
    if (verb == "dump") {
        if (args.size() != 2)
            return Usage("reg dump needs DIR");
        if (!OpenExisting(args[1], error))
            return Fail(error);
        bool ok = plat::RegistryDump(std::cout, error);
        std::cout.flush();
        plat::DeviceClose();
        return ok ? 0 : Fail(error);
    }
    return Usage("unknown reg command \"" + verb + "\"");
}

} // namespace

namespace cedevice {

bool OpenExisting(const std::string &dir, std::string &error)
{
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::path(dir) / "device.ini", ec)) {
        error = dir + ": no device here (make one with: cedevice init " + dir + ")";
        return false;
    }
    return plat::DeviceOpenForReading(dir, error);
}

} // namespace cedevice

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage("");
    std::string cmd = args[0];
    args.erase(args.begin());
    if (cmd == "init")
        return Init(args);
    if (cmd == "reg")
        return Reg(args);
    if (cmd == "run")
        return cetool::Run(args, Usage);
    if (cmd == "products")
        return cedevice::Products(args);
    if (cmd == "snapshot")
        return cedevice::Snapshot(args);
    if (cmd == "diff")
        return cedevice::Diff(args);
    if (cmd == "lint")
        return cedevice::Lint(args);
    if (cmd == "check")
        return cedevice::Check(args, argv[0]);
    if (cmd == "--help" || cmd == "-h") {
        std::cout << kUsage << kHelp;
        return 0;
    }
    if (cmd == "--version") {
        std::cout << "cedevice " << CESETUP_VERSION << "\n";
        return 0;
    }
    return Usage("unknown command \"" + cmd + "\"");
}
