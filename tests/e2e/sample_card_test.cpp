// sample_card_test.cpp - the bundled sample card end to end: a first
// installation of all three products (Russian as the keyboard language),
// then the removal of each from the maintenance page, which leaves the
// device as it was apart from the keys that are never deleted.
#include "e2e_fixture.h"

#include <windows.h>

#include "device/device.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using e2etest::E2ETest;

namespace {

class SampleCardTest : public E2ETest {
protected:
    void SetUp() override
    {
        E2ETest::SetUp();
        fs::copy(std::string(CESETUP_SOURCE_DIR) + "/samples/card", card, fs::copy_options::recursive);
    }
};

TEST_F(SampleCardTest, InstallAllThreeThenRemoveEach)
{
    // A fresh device, as it was before anything was installed.
    e2e::ProcessResult init = e2e::RunProgram({std::string(CESETUP_BIN_DIR) + "/cedevice", "init", device});
    ASSERT_EQ(init.exitCode, 0) << init.err;
    std::map<std::string, std::string> storeBefore = e2e::Listing(device + "/store");
    std::vector<std::string> regBefore = RegLines(e2e::RegExport(device));
    std::map<std::string, std::string> cardBefore = e2e::Listing(card);

    std::vector<std::string> answers = e2etest::InstallAnswers();
    answers.push_back("page 112: select 1014 Russian; click Install");
    e2e::SetupRun install = Run(answers);
    ASSERT_EQ(install.exitCode, 0) << install.err;

    const std::vector<int> pages = {105, 107, 106, 109, 104, 103,  // Dravex may choose its location
                                    105, 107, 109, 104, 103,       // Miska may not
                                    105, 107, 109, 104, 112, 103}; // Glyphor asks for the language
    EXPECT_EQ(install.PageIds(), pages) << "pages of the three first installations";
    EXPECT_EQ(install.MessageIds(), (std::vector<int>{216, 216, 216}));
    const nlohmann::json *done = install.Message(216);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->value("text", ""), "\"Pocket Dravex 3.1 Standard\" has been successfully installed.\n"
                                       "Tap Pocket Dravex 3.1 in the Programs menu to start drawing.");
    EXPECT_EQ(done->value("flags", 0), 64);
    EXPECT_EQ(done->value("caption", ""), "Setup");

    // Package files arrive under their plain names; the setup program and
    // its bitmap are copied beside them.
    EXPECT_EQ(ReadStore("Program Files/Dravex/Dravex.exe"), cetest::ReadHostFile(card + "/Dravex.exe.ARM"));
    EXPECT_EQ(ReadStore("Windows/dvxcore.dll"), cetest::ReadHostFile(card + "/dvxcore.dll.ARM"));
    EXPECT_EQ(ReadStore("Program Files/Miska/Scrivox.exe"), cetest::ReadHostFile(card + "/MiskaWce/Scrivox.exe.ARM"));
    EXPECT_EQ(ReadStore("Windows/glyphkbd.dll"), cetest::ReadHostFile(card + "/GlyphorWce/glyphkbd.dll.ARM"));
    std::string setupCopy = ReadStore("Program Files/Dravex/Setup.exe");
    EXPECT_EQ(setupCopy.size(), 64u * 1024u) << "the stand-in program file is copied";
    EXPECT_EQ(setupCopy.substr(0, 2), "MZ");
    EXPECT_EQ(ReadStore("Program Files/Miska/Miska.bmp"), cetest::ReadHostFile(card + "/MiskaWce/Miska.bmp"));
    EXPECT_TRUE(StoreHas("Program Files/Glyphor/Glyphor CE PDA 1.0.unload")) << "each log lies in its folder";
    std::string log = ReadStore("Program Files/Dravex/Pocket Dravex 3.1 Standard.unload");
    EXPECT_EQ(log.substr(0, 31), "// 'Pocket Dravex 3.1 Standard'") << "the unload log starts with the header";

    // Standard shortcuts: the executables were counted, so the links stay.
    EXPECT_EQ(ReadStore("Windows/Start Menu/Programs/Pocket Dravex 3.1.lnk"), LinkText("\"\\Program Files\\Dravex\\Dravex.exe\""));
    EXPECT_EQ(ReadStore("Windows/Start Menu/Pocket MISKA 2.0.lnk"), LinkText("\"\\Program Files\\Miska\\Scrivox.exe\""));
    EXPECT_TRUE(StoreHas("Windows/Start Menu/Programs/Glyphor/Layout Manager.lnk"));

    // The expanded language script is gone from the card.
    EXPECT_EQ(e2e::Listing(card), cardBefore) << "the card is as it was";

    std::string reg = e2e::RegExport(device);
    EXPECT_TRUE(Contains(reg, "\"AnsiCodePage\"=\"1251\"")) << reg;
    EXPECT_TRUE(Contains(reg, "\"LCID\"=\"1049\"")) << reg;
    EXPECT_TRUE(Contains(reg, "\"FontFace\"=\"Times New Roman Cyr\"")) << reg;
    EXPECT_FALSE(Contains(reg, "SecondLayout")) << "the line of the empty @5 is dropped";
    std::string glyphorRecord = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\Glyphor CE PDA 1.0");
    EXPECT_TRUE(Contains(glyphorRecord, "\"Language\"=\"Russian\"")) << glyphorRecord;
    EXPECT_TRUE(Contains(glyphorRecord, "\"CopyFiles\"=dword:00000001")) << glyphorRecord;
    std::string dravexRecord =
        e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard");
    EXPECT_TRUE(Contains(dravexRecord, "\"Language\"=\"UNKNOWN\"")) << dravexRecord;
    EXPECT_TRUE(Contains(dravexRecord, "\"Target\"=\"\\\\Program Files\\\\Dravex\\\\Dravex.exe\"")) << dravexRecord;
    EXPECT_TRUE(Contains(dravexRecord, "\"UnloadFileName\"=\"\\\\Program Files\\\\Dravex\\\\Pocket Dravex 3.1 Standard.unload\""))
        << dravexRecord;

    std::vector<nlohmann::json> launches = install.Launches();
    ASSERT_EQ(launches.size(), 1u) << "remoteExec starts the program once";
    EXPECT_EQ(launches[0].value("program", ""), "\\Program Files\\Dravex\\Dravex.exe");
    EXPECT_EQ(launches[0].value("cmdline", ""), "/register");
    EXPECT_TRUE(launches[0].value("started", false));

    // Maintenance: every product is found installed and removed.
    e2e::SetupRun removal = Run({"page 108: click Remove", "message 217: answer OK"});
    ASSERT_EQ(removal.exitCode, 0) << removal.err;
    EXPECT_EQ(removal.PageIds(), (std::vector<int>{108, 110, 108, 110, 108, 110}));
    EXPECT_EQ(removal.MessageIds(), (std::vector<int>{217, 217, 217}));
    const nlohmann::json *removed = removal.Message(217, 2);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->value("text", ""), "\"Pocket MISKA 2.0 Standard\" has been successfully uninstalled.\n"
                                          "Pocket MISKA checks your spelling as you write.");

    // The store is as before, apart from the folder that the Glyphor
    // script's shortcut lines made (removal never removes shortcut
    // folders); its standard links went with the product.
    std::map<std::string, std::string> storeAfter = e2e::Listing(device + "/store");
    EXPECT_FALSE(storeAfter.count("Windows/Start Menu/Programs/Glyphor/Layout Manager.lnk"));
    EXPECT_FALSE(storeAfter.count("Windows/Start Menu/Programs/Glyphor/Web Site.lnk"));
    storeAfter.erase("Windows/Start Menu/Programs/Glyphor");
    EXPECT_EQ(storeAfter, storeBefore) << "the removal leaves the store as it was";

    // The registry: only the installer key and the shared key (and their
    // parents) stay, without values.
    std::vector<std::string> regAfter = RegLines(e2e::RegExport(device));
    std::vector<std::string> expected = regBefore;
    for (const char *k : {"[HKEY_LOCAL_MACHINE\\Software]", "[HKEY_LOCAL_MACHINE\\Software\\Apps]",
                          "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Shared]",
                          "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell]"})
        expected.push_back(k);
    std::sort(expected.begin(), expected.end());
    std::sort(regAfter.begin(), regAfter.end());
    EXPECT_EQ(regAfter, expected);
}

TEST_F(SampleCardTest, ReinstallTakesTheRecordedLanguage)
{
    std::vector<std::string> answers = e2etest::InstallAnswers();
    answers.push_back("page 112: select 1014 Russian; click Install");
    ASSERT_EQ(Run(answers).MessageIds(), (std::vector<int>{216, 216, 216}));

    // The recorded name is found whatever its case.
    std::string error;
    ASSERT_TRUE(plat::DeviceOpen(device, {}, error)) << error;
    HKEY h = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell\\Glyphor CE PDA 1.0", 0, 0, &h),
              ERROR_SUCCESS);
    const char16_t lower[] = u"russian";
    ASSERT_EQ(RegSetValueExW(h, u"Language", 0, REG_SZ, (const BYTE *)lower, sizeof(lower)), ERROR_SUCCESS);
    RegCloseKey(h);
    plat::DeviceClose();

    e2e::SetupRun r = Run({"page 108#1: click Skip", "page 108#2: click Skip", "page 108#3: click Reinstall",
                           "message 218: answer OK"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.PageIds(), (std::vector<int>{108, 108, 108, 103})) << "no language page on reinstallation";
    EXPECT_EQ(r.MessageIds(), std::vector<int>{218});
    std::string reg = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Glyphor\\Layouts");
    EXPECT_TRUE(Contains(reg, "\"LCID\"=\"1049\"")) << reg;
    EXPECT_FALSE(cetest::HostExists(card + "/GlyphorWce/GlyphorPro CE Handheld 1.0.load")) << "the expanded copy is deleted";
}

TEST_F(SampleCardTest, SkipEverywhereShowsNoMessage)
{
    e2e::SetupRun r = Run({"page 105: click Skip"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.PageIds(), (std::vector<int>{105, 105, 105})) << "every product is offered once";
    EXPECT_TRUE(r.MessageIds().empty()) << "skipped products report nothing";
    EXPECT_FALSE(StoreHas("Program Files/Dravex"));
}

TEST_F(SampleCardTest, SampleAnswersInstallEverything)
{
    e2e::SetupRun r = Run({}, {"--answers", std::string(CESETUP_SOURCE_DIR) + "/samples/answers.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.MessageIds(), (std::vector<int>{216, 216, 216}));
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.back().value("event", ""), "exit");
    EXPECT_EQ(r.events.back().value("code", -1), 0);
}

} // namespace
