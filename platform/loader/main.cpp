// main.cpp - the loader: reads the host options, opens the device, mounts
// the card, then starts the program as on the device (SetupMain).
//
// Exit codes: 0 when no product's turn failed and the wizard was not ended
// early; 1 when a turn failed or nothing was found; 4 when the user ended
// the wizard with Exit or a close box; 2 when the options or the device
// cannot be used (one line on stderr saying why); 3 when the unattended
// front end meets a page or message without an answer (it ends the run
// itself).
#include <windows.h>

#include "device/device.h"
#include "frontends/frontend.h"
#include "user/resources.h"
#include "text/text.h"
#include "device/transcript.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern "C" const unsigned char g_ceResourceData[];
extern "C" const size_t g_ceResourceSize;

// The program's entry point, as on the device.
int WINAPI SetupMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);

namespace {

const char kUsage[] =
    "usage: cesetup --device DIR [--card DIR | --run DEVICE-PATH] [--ui auto|gui|tui|none]\n"
    "               [--answers FILE] [--answer RULE]... [--record FILE] [--transcript FILE|-]\n"
    "               [--progress | --no-progress] [--screenshots DIR] [--scale N]\n"
    "               [--os-version X.Y] [--storage-kb N] [--running CLASS]...\n";

const char kHelp[] =
    "\n"
    "Runs the setup program on an emulated Windows CE device.\n"
    "\n"
    "options:\n"
    "  --device DIR          the device folder (made with defaults when missing)\n"
    "  --card DIR            mount DIR as \\Storage Card and start \\Storage Card\\Setup.exe\n"
    "  --run DEVICE-PATH     start the program as this device path (the uninstaller copy)\n"
    "  --ui MODE             auto (default), gui, tui or none (unattended, from answer rules)\n"
    "  --answers FILE        answer rules, one a line: SELECTOR: ACTION; ACTION...\n"
    "  --answer RULE         one more answer rule, after the file's (may be repeated)\n"
    "  --record FILE         write answer rules that replay this run under --ui none\n"
    "  --transcript FILE|-   write every event of the run as JSON Lines (- is stdout)\n"
    "  --progress            show progress on stderr (default with --ui none when stderr is a terminal)\n"
    "  --no-progress         do not show progress\n"
    "  --screenshots DIR     write a PNG of the screen for each page and message box\n"
    "  --scale N             host pixels per device pixel of the gui window, 1 to 8 (default 2)\n"
    "  --os-version X.Y      the system version reported to the program, for this run\n"
    "  --storage-kb N        the store's capacity in KiB for this run (0: the host's free space)\n"
    "  --running CLASS       a window class of an application running on the device (repeatable)\n"
    "  --version             print the version and exit\n"
    "  --help                print this help and exit\n"
    "\n"
    "exit codes:\n"
    "  0  every product handled (installed, removed or skipped)\n"
    "  1  a product's installation or removal failed, or no package was found\n"
    "  2  the options or the device cannot be used\n"
    "  3  a page or message had no answer (--ui none)\n"
    "  4  the user ended the setup with Exit or a close box\n";

struct Options {
    std::string device;
    std::string card;
    bool cardGiven = false;
    std::string run;
    bool runGiven = false;
    std::string transcript;
    plat::UiOptions ui;
    plat::DeviceOverrides overrides;
};

// The loader writes to the descriptors, not through stdout and stderr: the
// program's own code naming those variables would copy them into its export
// table, and the C++ streams would set up the locale at every start.
int Fail(const std::string &why)
{
    dprintf(STDERR_FILENO, "cesetup: %s\n", why.c_str());
    return 2;
}

bool EndsWithIgnoringCase(const std::string &s, const std::string &tail)
{
    if (s.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

// Whether a folder looks like a package: an installation script or an
// unload log in it or in one of its sub-folders (the products' own).
// (Plain POSIX listing: the C++ directory iterator would put a C library
// variable into the program's export table.)
bool HoldsPackage(const std::string &dir, int depth = 1)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return false;
    bool found = false;
    while (!found) {
        struct dirent *e = readdir(d);
        if (!e)
            break;
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "/" + name;
        // The entry's kind as the folder gives it; a link, or a host that
        // does not say, is looked at.
        bool folder = e->d_type == DT_DIR;
        if (e->d_type != DT_DIR && e->d_type != DT_REG) {
            struct stat st;
            if (stat(path.c_str(), &st) != 0)
                continue;
            folder = S_ISDIR(st.st_mode);
        }
        if (folder)
            found = depth > 0 && HoldsPackage(path, depth - 1);
        else
            found = EndsWithIgnoringCase(name, ".load") || EndsWithIgnoringCase(name, ".unload");
    }
    closedir(d);
    return found;
}

// Parses the options; on failure error says which and why.
bool ParseOptions(int argc, char **argv, Options &o, std::string &error)
{
    o.ui.mode = plat::UiMode::Auto;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string value;
        size_t eq = a.find('=');
        bool inlineValue = a.rfind("--", 0) == 0 && eq != std::string::npos;
        if (inlineValue) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
        }
        auto need = [&](std::string &out) {
            if (inlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--device") {
            if (!need(o.device))
                return false;
        } else if (a == "--card") {
            if (!need(o.card))
                return false;
            o.cardGiven = true;
        } else if (a == "--run") {
            if (!need(o.run))
                return false;
            o.runGiven = true;
        } else if (a == "--ui") {
            if (!need(v))
                return false;
            if (v == "auto")
                o.ui.mode = plat::UiMode::Auto;
            else if (v == "gui")
                o.ui.mode = plat::UiMode::Gui;
            else if (v == "tui")
                o.ui.mode = plat::UiMode::Tui;
            else if (v == "none")
                o.ui.mode = plat::UiMode::None;
            else {
                error = "--ui \"" + v + "\" is not one of auto, gui, tui, none";
                return false;
            }
        } else if (a == "--answers") {
            if (!need(o.ui.answersFile))
                return false;
        } else if (a == "--answer") {
            if (!need(v))
                return false;
            o.ui.answerRules.push_back(v);
        } else if (a == "--progress" || a == "--no-progress") {
            if (inlineValue) {
                error = a + " takes no value";
                return false;
            }
            o.ui.progress = a == "--progress" ? 1 : 0;
        } else if (a == "--record") {
            if (!need(o.ui.recordFile))
                return false;
        } else if (a == "--transcript") {
            if (!need(o.transcript))
                return false;
        } else if (a == "--screenshots") {
            if (!need(o.ui.screenshotsDir))
                return false;
        } else if (a == "--scale") {
            // Host pixels per device pixel of the gui front end's window.
            if (!need(v))
                return false;
            if (v.empty() || v.size() > 1 || v[0] < '1' || v[0] > '8') {
                error = "--scale \"" + v + "\" is not a whole number from 1 to 8";
                return false;
            }
            o.ui.scale = v[0] - '0';
        } else if (a == "--os-version") {
            if (!need(v))
                return false;
            o.overrides.osVersion = v;
        } else if (a == "--storage-kb") {
            if (!need(v))
                return false;
            o.overrides.storageKb = v;
        } else if (a == "--running") {
            if (!need(v))
                return false;
            o.overrides.running.push_back(v);
        } else {
            error = "unknown option \"" + a + "\"";
            return false;
        }
    }
    if (o.device.empty()) {
        error = "--device DIR is required (the emulated device's folder; a missing one is made)";
        return false;
    }
    if (!o.cardGiven && !o.runGiven) {
        if (!HoldsPackage(".")) {
            error = "no package in the current folder: name the package folder with --card DIR "
                    "(or start an installed copy with --run DEVICE-PATH)";
            return false;
        }
        o.card = ".";
        o.cardGiven = true;
    }
    return true;
}

// Turns the --run value into an absolute device path with "\" separators.
bool NormaliseRunPath(const std::string &in, std::u16string &out, std::string &error)
{
    std::u16string p = plat::FromUtf8(in);
    for (char16_t &c : p)
        if (c == u'/')
            c = u'\\';
    if (p.empty() || p == u"\\") {
        error = "--run \"" + in + "\" does not name a program file";
        return false;
    }
    if (p.rfind(u"\\\\", 0) == 0) {
        error = "--run \"" + in + "\" is a network name, not a device path";
        return false;
    }
    if (p[0] != u'\\')
        p.insert(p.begin(), u'\\');
    out = p;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            dprintf(STDOUT_FILENO, "%s%s", kUsage, kHelp);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            dprintf(STDOUT_FILENO, "cesetup %s\n", CESETUP_VERSION);
            return 0;
        }
    }
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, o, error)) {
        // One line, as for every other refusal; --help shows the usage.
        dprintf(STDERR_FILENO, "cesetup: %s (see cesetup --help)\n", error.c_str());
        return 2;
    }
    std::u16string modulePath = u"\\Storage Card\\Setup.exe";
    if (o.runGiven && !NormaliseRunPath(o.run, modulePath, error))
        return Fail(error);
    if (o.cardGiven) {
        std::error_code ec;
        if (!std::filesystem::is_directory(o.card, ec))
            return Fail("--card " + o.card + ": is not a folder");
    }

    if (!plat::DeviceOpen(o.device, o.overrides, error))
        return Fail(error);
    if (o.cardGiven && !plat::DeviceMount(u"Storage Card", o.card, error))
        return Fail(error);
    plat::DeviceSetModulePath(modulePath);
    plat::ResourcesSet(g_ceResourceData, g_ceResourceSize);

    if (!o.transcript.empty() && !plat::TranscriptOpen(o.transcript, error))
        return Fail(error);
    if (!plat::UiInit(o.ui, error)) {
        plat::TranscriptClose();
        return Fail(error);
    }

    int result = SetupMain(plat::kProgramInstance, 0, const_cast<LPWSTR>(u""), SW_SHOW);
    // The program's own result is 0 after a normal run; what the run did
    // comes from the pages and messages the user saw.
    int code = plat::UiExitCode();
    if (result != 0 && code == 0)
        code = 1;

    plat::UiShutdown(code);
    plat::TranscriptExit(code);
    // A transcript that could not be written is a run whose record is lost.
    if (!plat::TranscriptClose())
        code = 2;
    plat::DeviceClose();
    return code;
}
