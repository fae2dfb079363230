// device_test.cpp - the device folder: device.ini settings, creation, overrides.
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
        {"[device]\nos_version = 4\n", "line 2: os_version \"4\" is not a version"},
        {"[device]\nscreen = 10x10\n", "screen \"10x10\""},
        {"[other]\nos_version = 4.20\n", "line 1: unknown section [other]"},
        {"[device]\njust words\n", "line 2: \"just words\" is not key = value"},
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

TEST(DeviceIni, ValuesReachTheSettingsAndOverridesApplyForOneRunOnly)
{
    TempDir tmp;
    std::string error;
    std::string dir = tmp.path + "/dev";
    WriteHostFile(dir + "/device.ini", "[device]\nos_version = 2.10\nscreen = 480x640\nrunning = Wnd1, Wnd2\n");
    ASSERT_TRUE(plat::DeviceOpen(dir, {}, error)) << error;
    const plat::DeviceSettings &s = plat::DeviceGetSettings();
    EXPECT_EQ(s.osMinor, 10u) << "2.10 is minor 10, not 1";
    EXPECT_EQ(s.screenWidth * 1000 + s.screenHeight, 480640u);
    EXPECT_EQ(s.running, (std::vector<std::u16string>{u"Wnd1", u"Wnd2"}));
    EXPECT_EQ(s.storageKb, 65536u) << "the default";
    EXPECT_TRUE(fs::is_directory(dir + "/store/Windows/Start Menu/Programs"));

    plat::DeviceOverrides o;
    o.osVersion = "2.11";
    ASSERT_TRUE(plat::DeviceOpen(dir, o, error)) << error;
    EXPECT_EQ(plat::DeviceGetSettings().osMinor, 11u);
    ASSERT_TRUE(plat::DeviceOpen(dir, {}, error)) << error;
    EXPECT_EQ(plat::DeviceGetSettings().osMinor, 10u) << "an override was written to device.ini";
    plat::DeviceClose();
}

} // namespace
