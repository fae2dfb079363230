// device_test.cpp - the device folder: device.ini settings are checked with clear errors.
#include "helpers/testdevice.h"

#include <filesystem>

namespace fs = std::filesystem;
using cetest::ReadHostFile;
using cetest::TempDir;
using cetest::WriteHostFile;

namespace {

// Each body is refused with an error naming the file and the line, leaving
// the device as it was, or accepted with its lists: items split at commas,
// trimmed, empty ones dropped; a missing list keeps its default.
TEST(DeviceIni, SettingsAreCheckedAndListsSplitAtCommas)
{
    using List = std::vector<std::u16string>;
    const List kFonts = {u"Tahoma", u"Courier New", u"Times New Roman", u"Symbol", u"Wingdings"};
    const struct {
        const char *body;
        const char *errorPart; // nullptr: the file is accepted
        List running, fonts;
    } cases[] = {
        {"; comment\n# other\n[device]\nscreen = 480x640\nrunning = A, B ,\n", nullptr, {u"A", u"B"}, kFonts},
        {"[device]\nrunning =\nfonts = Tahoma,,  Courier New ,\n", nullptr, {}, {u"Tahoma", u"Courier New"}},
        {"[device]\nrunning = ,,,\nfonts = One\n", nullptr, {}, {u"One"}},
        {"[device]\nrunning = Only one, \xc3\x9c" "ber\nfonts = ,a b,\n", nullptr, {u"Only one", u"\u00dcber"},
         {u"a b"}},
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
        } else if (ok) {
            EXPECT_EQ(plat::DeviceGetSettings().running, c.running);
            EXPECT_EQ(plat::DeviceGetSettings().fonts, c.fonts);
        }
        plat::DeviceClose();
    }
}

} // namespace
