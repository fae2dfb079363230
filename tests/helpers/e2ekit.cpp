// e2ekit.cpp - child processes, transcripts and card builders for the
// end-to-end tests.
#include "helpers/e2ekit.h"

#include "helpers/scriptkit.h"
#include "helpers/testdevice.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace e2e {

ProcessResult RunProgram(const std::vector<std::string> &argv)
{
    ProcessResult r;
    cetest::TempDir tmp;
    std::string outPath = tmp.path + "/out";
    std::string errPath = tmp.path + "/err";
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int fds[3] = {open("/dev/null", O_RDONLY), open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                      open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
        for (int i = 0; i < 3; ++i)
            if (fds[i] < 0 || dup2(fds[i], i) < 0)
                _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    if (pid < 0)
        return r;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
    r.out = cetest::ReadHostFile(outPath);
    r.err = cetest::ReadHostFile(errPath);
    return r;
}

std::vector<nlohmann::json> ReadJsonLines(const std::string &path, std::string *error)
{
    std::vector<nlohmann::json> events;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "no transcript at " + path;
        return events;
    }
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object()) {
            if (error)
                *error = "line " + std::to_string(n) + " is not a JSON object: " + line;
            return events;
        }
        events.push_back(j);
    }
    return events;
}

// The ids of every event of a kind, in order (-1 when absent).
static std::vector<int> EventIds(const std::vector<nlohmann::json> &events, const char *kind)
{
    std::vector<int> ids;
    for (const auto &e : events)
        if (e.value("event", "") == kind)
            ids.push_back(e.value("id", -1));
    return ids;
}

std::vector<int> SetupRun::PageIds() const { return EventIds(events, "page"); }
std::vector<int> SetupRun::MessageIds() const { return EventIds(events, "message"); }

const nlohmann::json *SetupRun::Message(int id, int nth) const
{
    for (const auto &e : events)
        if (e.value("event", "") == "message" && e.value("id", -1) == id && --nth == 0)
            return &e;
    return nullptr;
}

const nlohmann::json *SetupRun::Control(int page, int control) const
{
    for (const auto &e : events)
        if (e.value("event", "") == "page" && e.value("id", 0) == page) {
            for (const auto &c : e["controls"])
                if (c.value("id", 0) == control)
                    return &c;
            return nullptr;
        }
    return nullptr;
}

std::vector<nlohmann::json> SetupRun::Launches() const
{
    std::vector<nlohmann::json> out;
    for (const auto &e : events)
        if (e.value("event", "") == "launch")
            out.push_back(e);
    return out;
}

SetupRun RunSetup(const SetupOptions &o)
{
    std::string transcript = fs::path(o.device).parent_path().string() + "/transcript-" +
                             std::to_string(getpid()) + "-" + std::to_string(rand()) + ".jsonl";
    std::vector<std::string> argv = {std::string(CESETUP_BIN_DIR) + "/cesetup", "--device", o.device, "--ui",
                                     "none", "--transcript", transcript};
    for (const auto &[option, value] : {std::pair{"--card", &o.card}, {"--run", &o.run}})
        if (!value->empty())
            argv.insert(argv.end(), {option, *value});
    for (const std::string &a : o.answers)
        argv.insert(argv.end(), {"--answer", a});
    argv.insert(argv.end(), o.extra.begin(), o.extra.end());

    ProcessResult p = RunProgram(argv);
    SetupRun r{p.exitCode, p.err, {}, ""};
    r.events = ReadJsonLines(transcript, &r.transcriptError);
    std::error_code ec;
    fs::remove(transcript, ec);
    return r;
}

std::string RegExport(const std::string &device, const std::string &key)
{
    std::vector<std::string> argv = {std::string(CESETUP_BIN_DIR) + "/cedevice", "reg", "export", device};
    if (!key.empty())
        argv.push_back(key);
    ProcessResult p = RunProgram(argv);
    return p.exitCode == 0 ? p.out : std::string();
}

std::map<std::string, std::string> Listing(const std::string &dir)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return out;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        out[fs::relative(it->path(), dir, ec).generic_string()] =
            it->is_directory(ec) ? "<dir>" : cetest::ReadHostFile(it->path().string());
    return out;
}

std::string Bmp24(int width, int height, unsigned rgb)
{
    uint32_t rowSize = (uint32_t(width) * 3 + 3) & ~3u, dataSize = rowSize * uint32_t(height);
    std::string s = "BM";
    // File header, then BITMAPINFOHEADER: {value, size in bytes}.
    const uint32_t fields[][2] = {{14 + 40 + dataSize, 4}, {0, 4}, {14 + 40, 4}, {40, 4}, {uint32_t(width), 4},
                                  {uint32_t(height), 4}, {1, 2}, {24, 2}, {0, 4}, {dataSize, 4}, {2835, 4},
                                  {2835, 4}, {0, 4}, {0, 4}};
    for (const auto &f : fields)
        for (uint32_t i = 0; i < f[1]; ++i)
            s.push_back(char((f[0] >> (8 * i)) & 0xff));
    std::string row;
    for (int x = 0; x < width; ++x)
        row += {char(rgb & 0xff), char((rgb >> 8) & 0xff), char((rgb >> 16) & 0xff)};
    row.resize(rowSize, '\0');
    for (int y = 0; y < height; ++y)
        s += row;
    return s;
}

std::string ProgramBytes(const std::string &name, size_t size)
{
    std::string unit = "MZ " + name + "\n", s;
    while (s.size() < size)
        s += unit;
    s.resize(size);
    return s;
}

static std::string Quoted(const std::string &s)
{
    return s.find(' ') == std::string::npos ? s : "'" + s + "'";
}

std::string Script(const Header &h, const std::vector<std::string> &body)
{
    std::vector<std::string> lines = {
        "// " + Quoted(h.product),
        "// HKEY_LOCAL_MACHINE " + Quoted(h.presenceKey),
        "// " + Quoted(h.folder),
        "// Setup.bmp=" + h.bitmap,
        std::string("// SelectAppLocation=") + (h.selectLocation ? "Yes" : "No"),
        "// " + Quoted(h.note),
    };
    lines.insert(lines.end(), body.begin(), body.end());
    return cetest::CrLf(lines);
}

} // namespace e2e
