// transcript.cpp - the run's JSON Lines transcript.
//
// Each event is one compact JSON object on its own line, flushed at once,
// so that a run that ends abruptly (exit code 3) still leaves every event
// before it. Events are numbered from 1 in the order they happen, whether
// or not a transcript is written; screenshots use the numbers.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <nlohmann/json.hpp>

#include "device/transcript.h"
#include "text/text.h"
#include "kernel/threadlock.h"

namespace plat {
namespace {

ThreadLock g_lock;
FILE *g_out = nullptr;
bool g_ownsFile = false;
int g_events = 0;
std::string g_path;
bool g_failed = false;

// The first failed write is said at once on stderr (the run goes on, so a
// full disk never stops an installation half-way); the loader then ends
// with exit code 2.
void NoteWriteFailure(int err)
{
    if (g_failed)
        return;
    g_failed = true;
    std::fprintf(stderr, "cesetup: cannot write the transcript %s (%s)\n", Printable(g_path).c_str(),
                 std::strerror(err));
}

} // namespace

bool TranscriptOpen(const std::string &path, std::string &error)
{
    std::lock_guard<ThreadLock> guard(g_lock);
    if (g_out && g_ownsFile)
        std::fclose(g_out);
    g_out = nullptr;
    g_ownsFile = false;
    g_events = 0;
    g_failed = false;
    g_path = path == "-" ? "on standard output" : path;
    if (path == "-") {
        g_out = stdout;
        return true;
    }
    g_out = std::fopen(path.c_str(), "w");
    if (!g_out) {
        error = "cannot write the transcript " + Printable(path) + " (" + std::strerror(errno) + ")";
        return false;
    }
    g_ownsFile = true;
    return true;
}

bool TranscriptClose()
{
    std::lock_guard<ThreadLock> guard(g_lock);
    if (g_out) {
        if (std::fflush(g_out) != 0 || std::ferror(g_out))
            NoteWriteFailure(errno);
        if (g_ownsFile && std::fclose(g_out) != 0)
            NoteWriteFailure(errno);
    }
    g_out = nullptr;
    g_ownsFile = false;
    return !g_failed;
}

void TranscriptWriteLine(const std::string &json)
{
    std::lock_guard<ThreadLock> guard(g_lock);
    ++g_events;
    if (!g_out)
        return;
    errno = 0;
    if (std::fputs(json.c_str(), g_out) < 0 || std::fputc('\n', g_out) == EOF || std::fflush(g_out) != 0)
        NoteWriteFailure(errno ? errno : EIO);
}

bool TranscriptIsOpen()
{
    std::lock_guard<ThreadLock> guard(g_lock);
    return g_out != nullptr;
}

void TranscriptCountEvent()
{
    std::lock_guard<ThreadLock> guard(g_lock);
    ++g_events;
}

int TranscriptNextEventNumber()
{
    std::lock_guard<ThreadLock> guard(g_lock);
    return g_events + 1;
}

void TranscriptLaunch(const std::u16string &program, const std::u16string &cmdline, bool started)
{
    nlohmann::ordered_json j;
    j["event"] = "launch";
    j["program"] = ToUtf8(program);
    j["cmdline"] = ToUtf8(cmdline);
    j["started"] = started;
    TranscriptWriteLine(j.dump());
}

void TranscriptExit(int code)
{
    nlohmann::ordered_json j;
    j["event"] = "exit";
    j["code"] = code;
    TranscriptWriteLine(j.dump());
}

} // namespace plat
