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

TEST_F(FrontendOptions, UnusableChoicesAndMissingAnswersEndWithAClearError)
{
    setenv("DISPLAY", ":987", 1); // no X server answers on this display number
    struct Case {
        std::vector<std::string> options;
        int code;
        std::string message; // a part of the one stderr line
    } cases[] = {
        {{"--ui", "none", "--scale", "0"}, 2, "--scale \"0\" is not a whole number from 1 to 8"},
        {{"--ui", "gui"}, 2, "the gui front end cannot open the display"},
        {{"--ui", "none"}, 3, "no answer for page 105"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options.back());
        e2e::ProcessResult r = Setup(c.options);
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(c.message), std::string::npos) << "stderr: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
        EXPECT_FALSE(cetest::HostExists(device + "/store/Program Files/Dravex")) << "nothing was installed";
    }
}

} // namespace
