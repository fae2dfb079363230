// device_test.cpp - the device folder: device.ini settings are checked with clear errors.
#include "helpers/testdevice.h"

#include <filesystem>

namespace fs = std::filesystem;
using cetest::ReadHostFile;
using cetest::TempDir;
using cetest::WriteHostFile;

namespace {

TEST(DeviceIni, SettingsAreCheckedWithClearErrors)
{
    const struct {
        const char *body;
        const char *errorPart; // nullptr: the file is accepted
    } cases[] = {
        {"; comment\n# other\n[device]\nscreen = 480x640\nrunning = A, B ,\n", nullptr},
        {"[device]\nscren = 240x320\n",
         "line 2: unknown key \"scren\" (keys: os_version, storage_kb, screen, running, fonts, program_kb)"},
        {"[other]\nos_version = 4.20\n", "line 1: unknown section [other]"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        TempDir tmp;
        std::string dir = tmp.path + "/dev";
        WriteHostFile(dir + "/device.ini", c.body);
        std::string error;
        bool ok = plat::DeviceOpen(dir, {}, error);
        EXPECT_EQ(ok, c.errorPart == nullptr) << error;
        if (c.errorPart) {
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << "error was: " << error;
            EXPECT_NE(error.find(dir + "/device.ini"), std::string::npos) << "error names no file: " << error;
            EXPECT_FALSE(fs::exists(dir + "/store")) << "a refused device is left as it was";
            EXPECT_EQ(ReadHostFile(dir + "/device.ini"), c.body);
        }
        plat::DeviceClose();
    }
}

// The lists of device.ini: items split at commas, trimmed, empty ones
// dropped; a missing list keeps its default.
TEST(DeviceIni, ListsAreSplitAtCommas)
{
    using List = std::vector<std::u16string>;
    const struct {
        const char *lines;
        List running;
        List fonts;
    } cases[] = {
        {"running = A, B ,\n", {u"A", u"B"},
         {u"Tahoma", u"Courier New", u"Times New Roman", u"Symbol", u"Wingdings"}},
        {"running =\nfonts = Tahoma,,  Courier New ,\n", {}, {u"Tahoma", u"Courier New"}},
        {"running = ,,,\nfonts = One\n", {}, {u"One"}},
        {"running = Only one, \xc3\x9c" "ber\nfonts = ,a b,\n", {u"Only one", u"\u00dcber"}, {u"a b"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines);
        TempDir tmp;
        std::string dir = tmp.path + "/dev";
        WriteHostFile(dir + "/device.ini", std::string("[device]\n") + c.lines);
        std::string error;
        ASSERT_TRUE(plat::DeviceOpen(dir, {}, error)) << error;
        EXPECT_EQ(plat::DeviceGetSettings().running, c.running);
        EXPECT_EQ(plat::DeviceGetSettings().fonts, c.fonts);
        plat::DeviceClose();
    }
}

} // namespace
