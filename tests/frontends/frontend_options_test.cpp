// frontend_options_test.cpp - choosing the front end from the loader's
// options: a --scale out of range, a front end that cannot start (no
// display, no terminal) is a clear error (exit code 2) when asked for by
// name, while --ui auto falls back to the next front end; screenshots are
// written with the terminal front end too.
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

TEST_F(FrontendOptions, UnusableChoicesEndWithAClearError)
{
    // No X server answers on this display number.
    setenv("DISPLAY", ":987", 1);
    struct Case {
        std::vector<std::string> options;
        std::string message; // a part of the one stderr line
    } cases[] = {
        {{"--ui", "none", "--scale", "0"}, "--scale \"0\" is not a whole number from 1 to 8"},
        {{"--ui", "none", "--scale", "9"}, "--scale \"9\""},
        {{"--ui", "none", "--scale", "two"}, "--scale \"two\""},
        {{"--ui", "none", "--scale"}, "--scale needs a value"},
        {{"--ui", "none", "--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"--ui", "sideways"}, "--ui \"sideways\" is not one of auto, gui, tui, none"},
        {{"--ui", "gui"}, "the gui front end cannot open the display"},
        {{"--ui", "tui"}, "the tui front end needs a terminal"},
    };
    for (const Case &c : cases) {
        std::string line;
        for (const std::string &o : c.options)
            line += o + " ";
        SCOPED_TRACE(line);
        e2e::ProcessResult r = Setup(c.options);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        std::string first = r.err.substr(0, r.err.find('\n'));
        EXPECT_NE(first.find(c.message), std::string::npos) << "stderr: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
        EXPECT_FALSE(cetest::HostExists(device + "/store/Program Files/Dravex")) << "nothing was installed";
    }
}

TEST_F(FrontendOptions, AutoWithoutAUsableDisplayOrTerminalRunsUnattended)
{
    setenv("DISPLAY", ":987", 1);
    std::vector<std::string> options = {"--ui", "auto"};
    for (const std::string &a : fekit::InstallAnswers())
        options.insert(options.end(), {"--answer", a});
    e2e::ProcessResult r = Setup(options);
    EXPECT_EQ(r.exitCode, 0) << "the unattended front end answered every page: " << r.err;
    EXPECT_TRUE(cetest::HostExists(device + "/store/Program Files/Glyphor")) << "the installation ran";

    // Without answers the unattended front end names the first page.
    unsetenv("DISPLAY");
    e2e::ProcessResult bare = Setup({"--ui", "auto", "--device", root.path + "/other"});
    EXPECT_EQ(bare.exitCode, 3) << bare.err;
    EXPECT_NE(bare.err.find("no answer for page 105"), std::string::npos) << bare.err;
}

} // namespace
