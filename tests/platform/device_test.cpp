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
        {"[device]\nstorage_kb = -5\n", "storage_kb \"-5\""},
        {"[device]\nscreen = 240*320\n", "screen \"240*320\""},
        {"[device]\nscreen = 10x10\n", "screen \"10x10\""},
        {"[device]\nprogram_kb = 0\n", "program_kb \"0\""},
        {"[other]\nos_version = 4.20\n", "line 1: unknown section [other]"},
        {"os_version = 4.20\n", "line 1: key outside the [device] section"},
        {"[device]\njust words\n", "line 2: \"just words\" is not key = value"},
        {"[device\n", "has no closing ]"},
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

TEST(DeviceIni, ValuesAndDefaultsReachTheSettings)
{
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(plat::DeviceOpen(tmp.path + "/new/dev", {}, error)) << error;
    const plat::DeviceSettings &s = plat::DeviceGetSettings();
    EXPECT_EQ(s.osMajor * 100 + s.osMinor, 420u);
    EXPECT_EQ(s.storageKb, 65536u);
    EXPECT_EQ(s.screenWidth * 1000 + s.screenHeight, 240320u);
    EXPECT_TRUE(s.running.empty());
    ASSERT_EQ(s.fonts.size(), 5u);
    EXPECT_EQ(s.fonts[0], u"Tahoma");
    EXPECT_EQ(s.programKb, 64u);
    for (const char *f : {"Windows/Start Menu/Programs", "Windows/Desktop", "Program Files", "My Documents", "Temp"})
        EXPECT_TRUE(fs::is_directory(tmp.path + "/new/dev/store/" + f)) << f;

    std::string dir = tmp.path + "/dev";
    WriteHostFile(dir + "/device.ini", "[device]\nos_version = 2.10\nstorage_kb = 100\nscreen = 480x640\n"
                                       "running = PocketDravexWndClass, pMiskaSpellerApp\nfonts = Tahoma\n"
                                       "program_kb = 3\n");
    ASSERT_TRUE(plat::DeviceOpen(dir, {}, error)) << error;
    EXPECT_EQ(s.osMajor, 2u);
    EXPECT_EQ(s.osMinor, 10u) << "2.10 is minor 10, not 1";
    EXPECT_EQ(s.storageKb, 100u);
    EXPECT_EQ(s.screenWidth * 1000 + s.screenHeight, 480640u);
    EXPECT_EQ(s.running, (std::vector<std::u16string>{u"PocketDravexWndClass", u"pMiskaSpellerApp"}));
    EXPECT_EQ(s.fonts.size(), 1u);
    EXPECT_EQ(s.programKb, 3u);
    plat::DeviceClose();
}

TEST(DeviceIni, OverridesApplyForOneRunOnly)
{
    TempDir tmp;
    std::string dir = tmp.path + "/dev";
    std::string error;
    plat::DeviceOverrides o;
    o.osVersion = "2.11";
    o.storageKb = "10";
    o.running = {"pMiskaSpellerApp"};
    ASSERT_TRUE(plat::DeviceOpen(dir, o, error)) << error;
    EXPECT_EQ(plat::DeviceGetSettings().osMinor, 11u);
    EXPECT_EQ(plat::DeviceGetSettings().storageKb, 10u);
    EXPECT_EQ(plat::DeviceGetSettings().running.size(), 1u);
    ASSERT_TRUE(plat::DeviceOpen(dir, {}, error)) << error;
    EXPECT_EQ(plat::DeviceGetSettings().osMinor, 20u) << "an override was written to device.ini";
    EXPECT_TRUE(plat::DeviceGetSettings().running.empty());

    const struct {
        const char *os, *kb, *part;
    } bad[] = {{"2", nullptr, "--os-version"}, {nullptr, "ten", "--storage-kb"}};
    for (const auto &b : bad) {
        plat::DeviceOverrides ov;
        if (b.os)
            ov.osVersion = b.os;
        if (b.kb)
            ov.storageKb = b.kb;
        EXPECT_FALSE(plat::DeviceOpen(dir, ov, error));
        EXPECT_NE(error.find(b.part), std::string::npos) << error;
    }
    plat::DeviceClose();

    // Versions are two decimal integers.
    const struct {
        const char *text;
        uint32_t major, minor; // major 0: refused
    } versions[] = {{"2.10", 2, 10}, {"2.011", 2, 11}, {"2", 0, 0}, {".1", 0, 0}, {"2.", 0, 0}, {"2.-1", 0, 0}, {"2.1x", 0, 0}};
    for (const auto &v : versions) {
        uint32_t ma = 0, mi = 0;
        EXPECT_EQ(plat::ParseOsVersion(v.text, ma, mi), v.major != 0) << v.text;
        if (v.major) {
            EXPECT_EQ(ma * 1000 + mi, v.major * 1000 + v.minor) << v.text;
        }
    }
}

TEST(DeviceMount, NamesAreSingleFoldersAndHostFoldersMustExist)
{
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(plat::DeviceOpen(tmp.path + "/dev", {}, error)) << error;
    EXPECT_FALSE(plat::DeviceMount(u"Storage Card", tmp.path + "/missing", error));
    EXPECT_FALSE(plat::DeviceMount(u"a\\b", tmp.path, error));
    EXPECT_FALSE(plat::DeviceMount(u"\\", tmp.path, error));
    ASSERT_TRUE(plat::DeviceMount(u"\\Storage Card", tmp.path, error)) << error;
    ASSERT_TRUE(plat::DeviceMount(u"storage card", tmp.path + "/dev", error)) << error;
    ASSERT_EQ(plat::DeviceMounts().size(), 1u) << "the same name folded must replace the mount";
    EXPECT_EQ(plat::DeviceMounts()[0].name, u"Storage Card");
    plat::DeviceClose();
    EXPECT_TRUE(plat::DeviceMounts().empty());
}

} // namespace
