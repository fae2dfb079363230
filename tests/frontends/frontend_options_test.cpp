// frontend_options_test.cpp - choosing the front end from the loader's
// options: an option out of range or a front end that cannot start is a
// one-line error with exit code 2; the unattended front end without an
// answer ends the run with exit code 3 naming the page.
#include "frontend_kit.h"

#include <algorithm>
#include <cstdlib>

namespace {

using fekit::Bin;

class FrontendOptions : public fekit::FrontendRun {
protected:
    e2e::ProcessResult Setup(const std::vector<std::string> &extra)
    {
        std::vector<std::string> argv = {Bin("cesetup"), "--device", device, "--card", card};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return e2e::RunProgram(argv);
    }
    void TearDown() override { unsetenv("DISPLAY"); }
};

// Without --card or --run the current folder must hold a package.
TEST_F(FrontendOptions, UnusableChoicesAndMissingAnswersEndWithAClearError)
{
    setenv("DISPLAY", ":987", 1); // no X server answers on this display number
    struct Case {
        const char *layout; // what the current folder holds
        std::vector<std::string> options;
        int code;
        std::string message; // a part of the one stderr line
    } cases[] = {
        {"", {"--card", card, "--ui", "none", "--scale", "0"}, 2, "--scale \"0\" is not a whole number from 1 to 8"},
        {"", {"--card", card, "--ui", "gui"}, 2, "the gui front end cannot open the display"},
        {"", {"--card", card, "--ui", "none"}, 3, "no answer for page 105"},
        {"", {"--ui", "none"}, 2, "no package in the current folder: name the package folder with --card DIR"},
        {"notes.txt", {"--ui", "none"}, 2, "no package in the current folder"},
        {"Dravex.LOAD", {"--ui", "none"}, 3, "no answer for"},         // a script: the program runs
        {"MiskaWce/Miska.load", {"--ui", "none"}, 3, "no answer for"}, // in a product's sub-folder
        {"Suite/Suite.unload", {"--ui", "none"}, 3, "no answer for"},  // an uninstaller's folder
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + c.options.back());
        cetest::TempDir here;
        if (*c.layout)
            cetest::WriteHostFile(here.path + "/" + c.layout, "// x\r\n");
        std::string dev = root.path + "/dev-" + std::to_string(&c - cases);
        std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$1\" && shift && exec \"$@\"", "sh", here.path,
                                         Bin("cesetup"), "--device", dev};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        e2e::ProcessResult r = e2e::RunProgram(argv);
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(c.message), std::string::npos) << "stderr: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
        EXPECT_FALSE(cetest::HostExists(dev + "/store/Program Files/Dravex")) << "nothing was installed";
    }
}

TEST_F(FrontendOptions, HelpListsEveryOptionOnItsOwnLineAndTheExitCodes)
{
    e2e::ProcessResult help = e2e::RunProgram({Bin("cesetup"), "--help"});
    ASSERT_EQ(help.exitCode, 0);
    auto lineStarting = [&](const std::string &start) {
        size_t n = 0;
        for (size_t at = help.out.find("\n" + start); at != std::string::npos; at = help.out.find("\n" + start, at + 1))
            ++n;
        return n;
    };
    for (const char *option : {"--device", "--card", "--run", "--ui", "--answers", "--answer", "--record",
                               "--transcript", "--screenshots", "--scale", "--os-version", "--storage-kb",
                               "--running", "--version", "--help"}) {
        EXPECT_EQ(lineStarting(std::string("  ") + option + " "), 1u) << option << " has one line of its own:\n"
                                                                      << help.out;
        // Every option listed is one the program takes.
        e2e::ProcessResult r = e2e::RunProgram({Bin("cesetup"), option});
        EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << option << ": " << r.err;
    }
    for (const char *code : {"0", "1", "2", "3", "4"})
        EXPECT_EQ(lineStarting(std::string("  ") + code + "  "), 1u) << "exit code " << code;

    for (const char *tool : {"cesetup", "cedevice"}) {
        e2e::ProcessResult v = e2e::RunProgram({Bin(tool), "--version"});
        EXPECT_EQ(v.exitCode, 0) << tool;
        EXPECT_EQ(v.out.rfind(std::string(tool) + " 0.", 0), 0u) << tool << " names itself and its version: " << v.out;
        EXPECT_EQ(std::count(v.out.begin(), v.out.end(), '\n'), 1) << v.out;
    }
}

// An answers record that cannot be written whole (a full disk) is said on
// stderr when the run ends; the run itself ends as it would have.
TEST_F(FrontendOptions, ARecordThatCannotBeWrittenIsSaid)
{
    e2e::ProcessResult r = Setup({"--ui", "none", "--record", "/dev/full"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("no answer for page 105"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the answers record /dev/full could not be written whole"), std::string::npos) << r.err;
    const std::string record = root.path + "/record.txt";
    r = Setup({"--ui", "none", "--record", record});
    EXPECT_EQ(r.err.find("answers record"), std::string::npos) << "a record written whole is not mentioned: " << r.err;
    EXPECT_NE(cetest::ReadHostFile(record).find("# answers recorded by cesetup"), std::string::npos);
}

} // namespace
