// kill_test.cpp - a cesetup child killed (SIGKILL) at random moments of an
// installation and of a removal of a generated card; after each kill the
// registry opens, and a recovery run followed by an installation and a
// removal leaves the device as a clean installation and removal leave it.
// scripts/kill_runs.py does the same at length on bigger cards.
#include "e2e_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;
using e2etest::Bin;
using e2etest::Cedevice;
using e2etest::E2ETest;
using e2etest::InstallAnswers;

namespace {

const std::vector<std::string> kRemove = {"page 108: click Remove", "message *: answer OK"};
const std::vector<std::string> kRecover = {"page 108: click Remove", "page 105: click Skip", "message *: answer OK"};
constexpr int kKills = 20;
constexpr int kFiles = 20;

class KillTest : public E2ETest {
protected:
    void SetUp() override
    {
        E2ETest::SetUp();
        e2e::Header h{"Pocket Dravex 3.1 Kill", "Software\\Kill", "Kill", "Kill.bmp"};
        std::vector<std::string> body = {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Kill",
                                         "regString HKEY_LOCAL_MACHINE Software\\Kill x Folder %P"};
        for (int i = 0; i < kFiles; ++i) {
            std::string name = "f" + std::to_string(i) + ".dat";
            CardFile(name, std::string(200 + 37 * i, char('a' + i % 26)));
            body.push_back(std::string(i % 3 == 0 ? "copyShared" : "copy") + " . sub" + std::to_string(i % 4) + " " +
                           name);
            if (i % 10 == 5)
                body.push_back("createShortcut '\\Windows\\Start Menu' k" + std::to_string(i) + ".lnk . " + name);
        }
        body.push_back("copyShared . \\Windows f0.dat");
        body.push_back("exit");
        CardFile("DravexKill.load", e2e::Script(h, body));
        CardFile("Kill.bmp", e2e::Bmp24(16, 8, 0x405060));
    }

    std::vector<std::string> Argv(const std::string &dev, const std::vector<std::string> &rules) const
    {
        std::vector<std::string> argv = {Bin("cesetup"), "--device", dev, "--card", card,
                                         "--ui", "none"};
        for (const std::string &r : rules)
            argv.insert(argv.end(), {"--answer", r});
        return argv;
    }

    // Runs cesetup to its end; its duration in seconds.
    double Timed(const std::string &dev, const std::vector<std::string> &rules)
    {
        auto start = std::chrono::steady_clock::now();
        e2e::ProcessResult r = e2e::RunProgram(Argv(dev, rules));
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    // Starts cesetup and kills it after the delay (unless it has ended).
    void KillAfter(const std::string &dev, const std::vector<std::string> &rules, double seconds)
    {
        std::vector<std::string> args = Argv(dev, rules);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }

    // The device's files by content and its registry; empty when the
    // registry does not open. The setup's own keys, made by its first
    // installation and never deleted, are left out while they hold nothing.
    std::string State(const std::string &dev)
    {
        e2e::ProcessResult reg = Cedevice({"reg", "export", dev});
        if (reg.exitCode != 0)
            return "";
        std::string out;
        for (const auto &[path, content] : e2e::Listing(dev + "/store"))
            out += path + " " + std::to_string(std::hash<std::string>{}(content)) + "\n";
        // An install killed between taking a shared count and writing its
        // log line keeps that count: taking it first is the safe order (the
        // other could give back a count never taken and delete a file another
        // product uses). Such a count names a file that was never copied; it
        // is left out, while a count of a file that is there still counts.
        const std::string shared = "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Shared]\n";
        size_t section = reg.out.find(shared);
        if (section != std::string::npos) {
            size_t line = section + shared.size();
            while (line < reg.out.size() && reg.out[line] == '"') {
                size_t end = reg.out.find('\n', line);
                size_t quote = reg.out.find("\"=", line + 1);
                if (end == std::string::npos || quote == std::string::npos || quote > end)
                    break;
                std::string name;
                for (size_t i = line + 1; i < quote; ++i) {
                    if (reg.out[i] == '\\' && i + 1 < quote && reg.out[i + 1] == '\\')
                        ++i;
                    name += reg.out[i] == '\\' ? '/' : reg.out[i];
                }
                if (!fs::exists(dev + "/store" + name))
                    reg.out.erase(line, end + 1 - line);
                else
                    line = end + 1;
            }
        }
        for (const char *key : {"Software\\Apps\\Veltrona Parvell", "Software\\Apps\\Shared", "Software\\Apps",
                                "Software"}) {
            std::string empty = std::string("[HKEY_LOCAL_MACHINE\\") + key + "]\n\n";
            size_t at = reg.out.find(empty);
            if (at != std::string::npos)
                reg.out.erase(at, empty.size());
        }
        return out + reg.out;
    }

    // Kills kKills runs of the installation or the removal, each on a fresh
    // device, at random moments within the length of an uninterrupted run,
    // timed on a device where an installation and removal then leave the
    // clean state.
    void KillLoop(const char *what, bool removal)
    {
        std::string timing = root.path + "/timing";
        double install = Timed(timing, InstallAnswers()), remove = Timed(timing, kRemove);
        std::string clean = State(timing);
        ASSERT_FALSE(clean.empty());
        const std::vector<std::string> &rules = removal ? kRemove : InstallAnswers();
        double length = removal ? remove : install;

        // A failure names its seed; CESETUP_KILL_SEED gives it back to a run.
        const char *given = std::getenv("CESETUP_KILL_SEED");
        unsigned seed = given ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device{}();
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> moment(0.0, length);
        // On a machine so loaded that the kills would overrun the suite's
        // time, the loop ends early (after at least a few kills).
        auto start = std::chrono::steady_clock::now();
        for (int n = 0; n < kKills; ++n) {
            if (n >= 3 && std::chrono::steady_clock::now() - start > std::chrono::seconds(90)) {
                std::printf("%s: %d kills in the time given\n", what, n);
                break;
            }
            double at = moment(rng);
            SCOPED_TRACE(std::string(what) + " killed at " + std::to_string(at) + " s, seed " + std::to_string(seed));
            std::string dev = root.path + "/" + what + std::to_string(n);
            if (removal)
                Timed(dev, InstallAnswers());
            KillAfter(dev, rules, at);
            // A run killed while it made the new device leaves none yet.
            if (fs::exists(dev + "/device.ini")) {
                ASSERT_FALSE(State(dev).empty()) << "the registry opens after the kill";
            }
            Timed(dev, kRecover);
            EXPECT_EQ(State(dev), clean) << "after the recovery run";
            fs::remove_all(dev);
        }
    }
};

TEST_F(KillTest, KilledInstallationIsRecovered)
{
    KillLoop("install", false);
}

TEST_F(KillTest, KilledRemovalIsRecovered)
{
    KillLoop("remove", true);
}

} // namespace
