// lint.cpp - the device tool's lint command: every installation script of
// a card checked without running it. The card is mounted on a scratch
// device, and each script is read with the program's own line reader,
// splitter, command table and path rules (script/), so that what lint
// reports is what the setup program would meet.
#include <windows.h>

#include "device/device.h"
#include "text/text.h"
#include "registry/regpath.h"
#include "script/script.h"
#include "setup/setup.h"
#include "support/xfile.h"
#include "support/xstr.h"
#include "tools/tool.h"

#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <cstdlib>

#include <nlohmann/json.hpp>
#include <unistd.h>

namespace cedevice {
namespace {

const char kCard[] = "\\Storage Card";

struct Problem {
    std::string file;
    int line = 0;
    bool error = true;
    std::string code;
    std::string text;
};

// Tokens each command needs (keyword included), and the most it reads.
struct Arity {
    int need, read;
};
const Arity kArity[] = {
    {3, 3},  // regKeyCreate root path
    {6, 6},  // regString root path x name text
    {6, 6},  // regInt root path x name number
    {4, 4},  // copy sub dest name
    {4, 4},  // copyShared
    {1, 10}, // mkdir: nothing read
    {5, 5},  // createShortcut folder name target-folder target-name
    {2, 3},  // remoteExec program [command line]
    {2, 3},  // ExecOnUnload
    {1, 10}, // comment
    {1, 1},  // exit
};

std::string Lower(std::string s)
{
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Why the device would refuse a path, or "" when it takes it: a network
// name, a "." or ".." component, a character its file system refuses, or
// 260 units or more.
std::string RefusedPath(const std::string &path)
{
    if (path.rfind("\\\\", 0) == 0)
        return "it is a network name";
    if (PathHasDotComponent(path.c_str()))
        return "a \".\" or \"..\" component would leave its folder";
    for (unsigned char c : path)
        if (c < 32 || std::string("<>:\"|?*").find(char(c)) != std::string::npos)
            return std::string("the device refuses the character '") + (c < 32 ? std::string("\\x") + std::to_string(c)
                                                                                   : std::string(1, char(c))) + "'";
    if (path.size() >= MAX_PATH)
        return "it is " + std::to_string(path.size()) + " characters long (the device takes at most 259)";
    return "";
}

class ScriptLint {
public:
    ScriptLint(std::string file, std::string devicePath, std::string sourceFolder, bool languageScript,
               std::vector<Problem> &out)
        : file_(std::move(file)), path_(std::move(devicePath)), source_(std::move(sourceFolder)),
          language_(languageScript), out_(out)
    {
    }

    void Run()
    {
        HANDLE h = XFILE_NO_HANDLE;
        if (XFile_Open(path_.c_str(), XFILE_MODE_READ, &h) != 0) {
            Report(0, true, "unreadable", "cannot be read");
            return;
        }
        char line[SCRIPT_LINE_SIZE];
        int physical = 0, reads = 0;
        bool continues = false, exitSeen = false, afterExitReported = false;
        DWORD cch = 0;
        while (ScriptReadLine(h, line, &cch)) {
            if (!continues) {
                ++physical;
            } else if (line[0] != 0) {
                Report(physical, true, "line-too-long",
                       "longer than 511 bytes: the reader splits it after byte 511, and \"" + Excerpt(line) +
                           "\" is read as a line of its own");
            }
            continues = cch == SCRIPT_LINE_SIZE - 1;
            ++reads;
            if (reads <= 6) {
                Header(reads - 1, physical, line);
                continue;
            }
            if (line[0] == 0)
                continue;
            if (exitSeen) {
                if (!afterExitReported)
                    Report(physical, false, "after-exit", "lines after \"exit\" are never read");
                afterExitReported = true;
                continue;
            }
            exitSeen = Body(physical, line);
        }
        XFile_Close(&h);
        for (int missing = reads; missing < 6; ++missing)
            Report(physical, true, "header-missing",
                   "header line " + std::to_string(missing + 1) + " is missing (the header has six lines)");
        if (!exitSeen)
            Report(physical, true, "missing-exit",
                   "no \"exit\" line: the installation fails at the end, after every line has been carried out");
    }

private:
    static std::string Excerpt(const char *text)
    {
        std::string s(text);
        return s.size() > 24 ? s.substr(0, 24) + "..." : s;
    }

    void Report(int line, bool error, const std::string &code, const std::string &text)
    {
        out_.push_back({file_, line, error, code, text});
    }

    void Header(int n, int physical, const char *line)
    {
        char folder[SCRIPT_DEST_SIZE] = "";
        int why = ScriptHeaderLineProblem(n, line, folder);
        if (n == 2 && why == SCRIPT_HDR_OK)
            folder_ = folder;
        static const char *const kWhat[] = {
            "product name", "presence key (root and path)", "default folder", "setup bitmap (Setup.bmp=NAME)",
            "location choice (SelectAppLocation=Yes or =No)", "completion note",
        };
        static const int kTokens[] = {2, 3, 2, 2, 2, 2};
        std::string which = "header line " + std::to_string(n + 1) + " (" + kWhat[n] + ")";
        switch (why) {
        case SCRIPT_HDR_OK:
            return;
        case SCRIPT_HDR_SPLIT:
            Report(physical, true, "header-malformed", which + " has more than 10 tokens");
            return;
        case SCRIPT_HDR_MARKER:
            Report(physical, true, "header-malformed", which + " must begin with \"//\" (an empty line is not allowed)");
            return;
        case SCRIPT_HDR_TOKENS:
            Report(physical, true, "header-malformed",
                   which + " must have " + std::to_string(kTokens[n]) + " tokens (quote values holding blanks)");
            return;
        case SCRIPT_HDR_ROOT:
            Report(physical, true, "bad-root", which + ": no such root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)");
            return;
        case SCRIPT_HDR_TOO_LONG:
            Report(physical, true, "header-malformed", which + " is too long");
            return;
        case SCRIPT_HDR_BITMAP:
            Report(physical, true, "header-malformed", which + " has no \"=\" before the bitmap name");
            return;
        case SCRIPT_HDR_LOCATION:
            Report(physical, true, "header-malformed", which + " must be SelectAppLocation=Yes or SelectAppLocation=No");
            return;
        default:
            Report(physical, true, "header-malformed", which + " cannot be read");
        }
    }

    void Placeholders(int physical, const char *line)
    {
        std::string s(line);
        if (s.find("%p") != std::string::npos)
            Report(physical, false, "placeholder-case", "\"%p\" is not replaced: the install folder is \"%P\" (capital P)");
        size_t at = s.find('@');
        if (!language_ || at == std::string::npos)
            return;
        char digit = at + 1 < s.size() ? s[at + 1] : 0;
        if (digit < '1' || digit > '6') {
            Report(physical, true, "placeholder-unfilled",
                   "\"@" + std::string(digit ? std::string(1, digit) : "") +
                       "\" cannot be filled: the language script takes @1 to @6 only (its expansion fails)");
            return;
        }
        size_t second = s.find('@', at + 1);
        if (second != std::string::npos)
            Report(physical, false, "placeholder-unfilled", "only the first \"@N\" of a line is filled");
    }

    // Checks one body line; true when it is the "exit" line.
    bool Body(int physical, const char *line)
    {
        SCRIPT_TOKEN raw[SCRIPT_MAX_TOKENS], tok[SCRIPT_MAX_TOKENS];
        int count = 0;
        DWORD cut = 0, cutAfter = 0;
        int cmd = ScriptSplitLine(line, nullptr, raw, &count, &cut);
        if (cmd == SCRIPT_LINE_BAD) {
            Report(physical, true, "token-count", "more than 10 tokens: the script fails at this line");
            return false;
        }
        if (cmd == SCRIPT_LINE_SKIPPED) {
            Report(physical, true, "unknown-keyword",
                   std::string("unknown keyword \"") + raw[0] + "\": the line is skipped");
            return false;
        }
        if (cmd == SCRIPT_CMD_COMMENT)
            return false; // only copied to the unload log
        Placeholders(physical, line);
        for (int k = 0; k < count; ++k)
            if (cut & (DWORD(1) << k))
                Report(physical, true, "token-too-long",
                       "token " + std::to_string(k + 1) + " is longer than 255 bytes: the line is refused");
        // With the default folder in place of %P, as a first installation has it.
        ScriptSplitLine(line, folder_.c_str(), tok, nullptr, &cutAfter);
        for (int k = 0; k < count; ++k)
            if (std::string(tok[k]).find("%P") != std::string::npos)
                Report(physical, true, "placeholder-unfilled",
                       "token " + std::to_string(k + 1) + ": \"%P\" cannot be replaced by " + folder_ +
                           " (the token would pass 255 bytes)");
        const Arity a = kArity[cmd];
        if (count < a.need) {
            Report(physical, true, "token-count",
                   std::string(raw[0]) + " takes " + std::to_string(a.need - 1) + " arguments, this line has " +
                       std::to_string(count - 1));
            return cmd == SCRIPT_CMD_EXIT;
        }
        if (count > a.read)
            Report(physical, false, "token-count",
                   std::string(raw[0]) + " reads " + std::to_string(a.read - 1) + " arguments; the rest are ignored");

        switch (cmd) {
        case SCRIPT_CMD_REGKEYCREATE:
        case SCRIPT_CMD_REGSTRING:
        case SCRIPT_CMD_REGINT:
            if (RegRootFromName(tok[1]) == 0)
                Report(physical, true, "bad-root",
                       std::string("no registry root \"") + tok[1] +
                           "\" (roots: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER)");
            break;
        case SCRIPT_CMD_COPY:
        case SCRIPT_CMD_COPYSHARED:
            Copy(physical, tok);
            break;
        case SCRIPT_CMD_CREATESHORTCUT:
            Shortcut(physical, tok);
            break;
        case SCRIPT_CMD_REMOTEEXEC:
        case SCRIPT_CMD_EXECONUNLOAD: {
            std::string why = RefusedPath(tok[1]);
            if (!why.empty())
                Report(physical, true, "bad-path", std::string("program \"") + tok[1] + "\": " + why);
            break;
        }
        default:
            break;
        }
        return cmd == SCRIPT_CMD_EXIT;
    }

    void Copy(int physical, SCRIPT_TOKEN *tok)
    {
        char source[SCRIPT_DEST_SIZE];
        if (!CopySourcePath(source_.c_str(), tok[1], tok[3], source)) {
            Report(physical, true, "bad-path", std::string("the package path of \"") + tok[3] + "\" is too long");
        } else if (PathHasDotComponent(source)) {
            Report(physical, true, "bad-path",
                   std::string("the package path ") + source + " has a \".\" or \"..\" component");
        } else {
            DWORD length = 0;
            if (XFile_FileLengthByName(source, &length) != 0)
                Report(physical, true, "source-missing",
                       std::string("the package file ") + Relative(source) + " is not on the card");
        }
        char dest[COPY_SCRATCH_SIZE];
        ScriptFolderPath(folder_.c_str(), tok[2], tok[3], dest);
        std::string why = tok[3][0] ? RefusedPath(dest) : "no file name";
        if (!why.empty()) {
            Report(physical, true, "bad-path", std::string("destination ") + dest + ": " + why);
            return;
        }
        for (const auto &d : destinations_) {
            if (PathsNameSameFile(d.first.c_str(), dest)) {
                Report(physical, true, "duplicate-destination",
                       std::string(dest) + " is copied already at line " + std::to_string(d.second));
                return;
            }
        }
        destinations_.push_back({dest, physical});
    }

    void Shortcut(int physical, SCRIPT_TOKEN *tok)
    {
        char link[COPY_SCRATCH_SIZE], target[COPY_SCRATCH_SIZE];
        ScriptFolderPath(folder_.c_str(), tok[1], tok[2], link);
        ScriptFolderPath(folder_.c_str(), tok[3], tok[4], target);
        std::string why = tok[2][0] ? RefusedPath(link) : "no file name";
        if (!why.empty())
            Report(physical, true, "bad-path", std::string("shortcut ") + link + ": " + why);
        for (const auto &d : destinations_)
            if (PathsNameSameFile(d.first.c_str(), target))
                return;
        Report(physical, false, "shortcut-target",
               std::string("the shortcut's target ") + target + " is not installed by this script (before this line)");
    }

    // A card path as the author knows it: relative to the card.
    static std::string Relative(const std::string &devicePath)
    {
        std::string prefix = std::string(kCard) + "\\";
        return devicePath.rfind(prefix, 0) == 0 ? devicePath.substr(prefix.size()) : devicePath;
    }

    std::string file_, path_, source_;
    bool language_;
    std::vector<Problem> &out_;
    std::string folder_ = "\\Program Files\\";
    std::vector<std::pair<std::string, int>> destinations_;
};

// The scripts of the card: every "*.load" in its root and in the product
// folders of the product table, by the device's listing order.
std::vector<std::string> CardScripts(const std::string &cardDevice)
{
    std::vector<std::string> folders = {cardDevice};
    for (int i = 0; i < PRODUCT_COUNT; ++i)
        folders.push_back(cardDevice + "\\" + g_aProducts[i].pszFolderKeyWord);
    std::vector<std::string> scripts;
    for (const std::string &folder : folders) {
        std::u16string pattern = plat::FromUtf8(folder + "\\*.load");
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.c_str()), &fd);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                scripts.push_back(folder + "\\" + plat::ToUtf8(reinterpret_cast<const char16_t *>(fd.cFileName)));
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return scripts;
}

bool IsLanguageScript(const std::string &name)
{
    // Either system version's language script.
    return Lower(name) == "glyphorhpcunilang.load" || Lower(name) == "glyphorprounilang.load";
}

} // namespace

// A scratch device in a temporary folder, removed when it goes.
ScratchDevice::ScratchDevice() {}

bool ScratchDevice::Open(const std::string &card, std::string &error)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/cedevice-XXXXXX";
    if (!mkdtemp(&tmpl[0])) {
        error = "cannot make a scratch device folder in " + tmpl.substr(0, tmpl.rfind('/')) +
                " (set TMPDIR to a writable folder)";
        return false;
    }
    dir = tmpl;
    std::string device = dir + "/device";
    if (!plat::DeviceCreate(device, {}, error) || !plat::DeviceOpen(device, {}, error))
        return false;
    opened_ = true;
    return plat::DeviceMount(u"Storage Card", card, error);
}

ScratchDevice::~ScratchDevice()
{
    if (opened_)
        plat::DeviceClose();
    std::error_code ec;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ec);
}

int Lint(const std::vector<std::string> &args)
{
    bool asJson = false;
    std::string card;
    for (const std::string &a : args) {
        if (a == "--json")
            asJson = true;
        else if (a.size() > 1 && a[0] == '-')
            return Usage("unknown option " + a);
        else if (card.empty())
            card = a;
        else
            return Usage("unexpected argument \"" + a + "\"");
    }
    if (card.empty())
        return Usage("lint needs the card folder");
    std::error_code ec;
    if (!std::filesystem::is_directory(card, ec))
        return Fail(card + ": is not a folder (name the package folder, the one holding the .load scripts)");
    ScratchDevice scratch;
    std::string error;
    if (!scratch.Open(card, error))
        return Fail(error);

    std::vector<Problem> problems;
    std::vector<std::string> scripts = CardScripts(kCard);
    if (scripts.empty())
        problems.push_back({card, 0, true, "no-script", "no installation script (*.load) on the card"});
    for (const std::string &script : scripts) {
        std::string rel = script.substr(sizeof kCard);
        std::string host = (std::filesystem::path(card) / rel).string();
        for (char &c : host)
            if (c == '\\')
                c = '/';
        std::string folder = script.substr(0, script.rfind('\\'));
        ScriptLint(host, script, folder, IsLanguageScript(script.substr(script.rfind('\\') + 1)), problems).Run();
    }

    bool errors = false;
    for (const Problem &p : problems) {
        errors = errors || p.error;
        if (asJson) {
            nlohmann::ordered_json j;
            j["file"] = p.file;
            j["line"] = p.line;
            j["severity"] = p.error ? "error" : "warning";
            j["code"] = p.code;
            j["text"] = p.text;
            std::cout << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
        } else {
            std::cout << p.file << ":" << p.line << ": " << (p.error ? "error" : "warning") << ": " << p.text << " ["
                      << p.code << "]\n";
        }
    }
    std::cout.flush();
    return errors ? 3 : 0;
}

} // namespace cedevice
