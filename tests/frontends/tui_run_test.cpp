// tui_run_test.cpp - the terminal front end in a real terminal (tmux): the
// first installation of the sample card walked with keys, each page's text
// checked on the screen (with the key line, the read-only mark of a folder
// that cannot be changed and the list's marker on its selection), leaving
// the same device as the unattended run of the same choices, and the run's
// summary in the terminal afterwards; then a removal from the maintenance
// page.
#include "frontend_kit.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using fekit::Bin;
using fekit::WaitUntil;

std::string Shell(const std::string &s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A tmux server of this test's own (its own socket), holding one pane.
class Tmux {
public:
    Tmux() : socket_("cesetup-tui-" + std::to_string(getpid())) {}
    ~Tmux() { Kill(); }
    // The server goes, and so does its socket, which tmux leaves behind.
    void Kill()
    {
        Run({"kill-server"});
        const char *dir = std::getenv("TMUX_TMPDIR");
        std::remove(((dir && *dir ? dir : "/tmp") + std::string("/tmux-") + std::to_string(getuid()) + "/" + socket_)
                        .c_str());
    }

    bool Start(const std::string &command)
    {
        return Run({"new-session", "-d", "-s", "main", "-x", "80", "-y", "24", command}).exitCode == 0;
    }
    void Keys(std::vector<std::string> keys)
    {
        keys.insert(keys.begin(), {"send-keys", "-t", "main"});
        Run(keys);
    }
    std::string Screen() { return Run({"capture-pane", "-p", "-t", "main"}).out; }
    void Stop() { Run({"kill-session", "-t", "main"}); }
    // Waits until every text is on the screen (kept in last).
    bool WaitFor(const std::vector<std::string> &texts, int ms = 10000)
    {
        std::string missing;
        bool all = WaitUntil(
            [&] {
                last = Screen();
                for (const std::string &t : texts)
                    if (last.find(t) == std::string::npos) {
                        missing = t;
                        return false;
                    }
                return true;
            },
            ms);
        EXPECT_TRUE(all) << "\"" << missing << "\" never came on the screen:\n" << last;
        return all;
    }
    std::string last; // the screen last seen

private:
    e2e::ProcessResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"/usr/bin/tmux", "-L", socket_, "-f", "/dev/null"});
        return e2e::RunProgram(args);
    }
    std::string socket_;
};

class TuiRun : public fekit::FrontendRun {
protected:
    void SetUp() override
    {
        if (access("/usr/bin/tmux", X_OK) != 0)
            GTEST_SKIP() << "tmux is not installed";
        FrontendRun::SetUp();
    }
    // cesetup in the terminal; its exit code goes to a file, and the
    // terminal stays to be read.
    std::string Command(const std::string &transcript)
    {
        return "TERM=screen " + Shell(Bin("cesetup")) + " --device " + Shell(device) + " --card " + Shell(card) +
               " --ui tui --record " + Shell(root.path + "/recorded.txt") + " --screenshots " +
               Shell(root.path + "/shots") + " --transcript " +
               Shell(transcript) + " 2>" + Shell(root.path + "/stderr") + "; echo $? > " + Shell(root.path + "/rc") +
               "; sleep 60";
    }
    int WaitExit()
    {
        std::string rc = root.path + "/rc";
        if (!WaitUntil([&] { return !cetest::ReadHostFile(rc).empty(); }, 15000))
            return -1;
        int code = std::atoi(cetest::ReadHostFile(rc).c_str());
        std::remove(rc.c_str());
        return code;
    }
    // Waits for the nth showing of a page (its event: the page is up),
    // then for its texts on the screen.
    bool At(const std::string &transcript, int id, int nth, const std::vector<std::string> &texts)
    {
        bool up = WaitUntil([&] { return fekit::CountEvents(transcript, "page", id) >= nth; });
        EXPECT_TRUE(up) << "page " << id << " #" << nth << " comes";
        return up && tmux.WaitFor(texts);
    }
    Tmux tmux;
};

TEST_F(TuiRun, InstallWithKeysThenRemoveFromTheMaintenancePage)
{
    std::string t1 = root.path + "/install.jsonl";
    ASSERT_TRUE(tmux.Start(Command(t1))) << "tmux starts";

    // Dravex: welcome, licence, location, folder.
    // Every text is waited for: a page is drawn in more than one write, and
    // the screen may be read between them.
    ASSERT_TRUE(At(t1, 105, 1, {"Welcome!", "Continue", "Exit", "Pocket Dravex 3.1 Standard", "[ Skip ]"}));
    tmux.Keys({"Tab", "BTab", "Enter"}); // to Skip and back: Continue
    // Then each page (0: a message box) taken with Enter; Miska has no location page.
    struct Step {
        int page, nth;
        std::vector<std::string> texts;
    } steps[] = {
        {107, 1, {"Please Read the EULA", "WARNING!", "End User License Agreement"}},
        {106, 1, {"Select Application Location", "(*) PDA Storage Memory", "( ) Current Location"}},
        {104, 1, {"Destination Folder", "\\Program Files\\Dravex", "Space available:", "Space required:"}},
        {0, 0, {"has been successfully", "[ OK ]", "Pocket Dravex 3.1 Standard"}},
        {105, 2, {"Welcome!", "MISKA"}}, {107, 2, {"Please Read the EULA"}},
        {104, 2, {"Destination Folder", "\\Program Files\\Miska"}}, {0, 0, {"has been successfully", "MISKA"}},
        {105, 3, {"Welcome!", "Glyphor"}}, {107, 3, {"Please Read the EULA"}},
        {104, 3, {"Destination Folder", "\\Program Files\\Glyphor", "read-only ]", "Enter: default button"}},
    };
    for (const Step &st : steps) {
        ASSERT_TRUE(st.page ? At(t1, st.page, st.nth, st.texts) : tmux.WaitFor(st.texts)) << st.page << " #" << st.nth;
        tmux.Keys({"Enter"});
    }
    ASSERT_TRUE(At(t1, 112, 1,
                   {"Select Glyphor CE PDA Language", "Please select the default language", "[ Install ]",
                    "letters: choose"}));
    int russian = fekit::ItemIndex(t1, 112, 1014, "Russian");
    ASSERT_GE(russian, 0) << "Russian is in the list";
    tmux.Keys({"Enter"}); // nothing selected: Install is disabled, nothing happens
    tmux.Keys(std::vector<std::string>(size_t(russian + 1), "Down"));
    tmux.WaitFor({">Russian"});
    EXPECT_EQ(fekit::CountEvents(t1, "page", 103), 2) << "Enter on the disabled Install did not install";
    tmux.Keys({"Enter"});
    ASSERT_TRUE(tmux.WaitFor({"has been successfully", "Glyphor"}));
    tmux.Keys({"Enter"});
    ASSERT_EQ(WaitExit(), 0) << "the run ends normally: " << cetest::ReadHostFile(root.path + "/stderr");
    EXPECT_TRUE(tmux.WaitFor({"setup finished (exit code 0)", "installed: Pocket Dravex 3.1 Standard",
                              "             Pocket MISKA 2.0 Standard", "             Glyphor CE PDA 1.0",
                              "removed:   none", "messages:  3", "[OK] \"Glyphor CE PDA 1.0\" has been"}))
        << "the summary is left in the terminal";
    tmux.Stop();

    ExpectLikeUnattendedInstall(t1);
    EXPECT_EQ(fekit::CountShots(root.path + "/shots", ".png"), int(fekit::PageIds(t1).size()) + 3)
        << "a screenshot of every page and message box";
    // The keys became answer events, as an unattended run writes them.
    std::vector<std::string> answers;
    for (const nlohmann::json &e : fekit::Events(t1))
        if (e.value("event", "") == "answer")
            answers.push_back(std::to_string(e.value("id", -1)) + " " + e["actions"].dump());
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.front(), "105 [\"click 1\"]") << "Tab, Shift+Tab and Enter pressed Continue";
    EXPECT_EQ(answers.back(), "112 [\"select 1014 #" + std::to_string(russian) + "\",\"click 1\"]")
        << "the arrows chose the entry, Enter installed";
    // The recorded answers replay the run unattended to the same device.
    std::string recorded = cetest::ReadHostFile(root.path + "/recorded.txt");
    EXPECT_NE(recorded.find("page 112#1: select 1014 #" + std::to_string(russian) + "; click 1"), std::string::npos)
        << recorded;
    e2e::SetupRun replay = Replay(root.path + "/recorded.txt");
    ASSERT_EQ(replay.exitCode, 0) << replay.err << "\n" << recorded;
    ExpectSameDevices("replayed from the record", replayDevice, replayCard);

    // Removal of Dravex from its maintenance page; Exit on Miska's.
    std::string t2 = root.path + "/remove.jsonl";
    ASSERT_TRUE(tmux.Start(Command(t2)));
    ASSERT_TRUE(At(t2, 108, 1,
                   {"Setup", "maintenance program.", "[ Remove ]", "[ Reinstall ]",
                    "Remove \"Pocket Dravex 3.1 Standard\"."}));
    tmux.Keys({"Enter"});
    ASSERT_TRUE(tmux.WaitFor({"has been successfully", "uninstalled."}));
    tmux.Keys({"Enter"});
    ASSERT_TRUE(At(t2, 108, 2, {"maintenance program.", "MISKA"}));
    tmux.Keys({"Escape"});
    ASSERT_EQ(WaitExit(), 4) << "ended with the close box: " << cetest::ReadHostFile(root.path + "/stderr");
    EXPECT_TRUE(tmux.WaitFor({"removed:   Pocket Dravex 3.1 Standard", "installed: none"}));

    e2e::SetupRun refRemove = Reference({"page 108: click 1003", "message 217: answer OK", "page 108#2: close"});
    ASSERT_EQ(refRemove.exitCode, 4) << refRemove.err;
    ExpectSameAsReference("after the removal");
    EXPECT_FALSE(cetest::HostExists(device + "/store/Program Files/Dravex/Dravex.exe")) << "Dravex is gone";
    EXPECT_TRUE(cetest::HostExists(device + "/store/Program Files/Miska/Scrivox.exe")) << "Miska stays";
}

} // namespace
