// flows_test.cpp - the setup's ways through a product's turn, run end to
// end with cesetup --ui none: maintenance, reinstallation, uninstall mode,
// current location, a running application, nothing found, Skip, failed
// copies, not enough space, the system version, unanswered boxes.
#include "e2e_fixture.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using e2etest::Bin;
using e2etest::E2ETest;
using e2etest::InstallAnswers;

namespace {

class FlowsTest : public E2ETest {
protected:
    // Removes a value of a product's install record, with the device opened
    // in this process for a moment.
    void DeleteRecordValue(const std::string &product, const char16_t *value)
    {
        OnDevice([&] {
            HKEY h = 0;
            std::u16string key = u"Software\\Apps\\Veltrona Parvell\\" + cetest::U16(product);
            ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (LPCWSTR)key.c_str(), 0, 0, &h), ERROR_SUCCESS);
            EXPECT_EQ(RegDeleteValueW(h, (LPCWSTR)value), ERROR_SUCCESS);
            RegCloseKey(h);
        });
    }

    void InstallDravex()
    {
        e2e::SetupRun r = Run(InstallAnswers());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ASSERT_EQ(r.MessageIds(), std::vector<int>{216}) << "the first installation succeeded";
    }
};

TEST_F(FlowsTest, OnlyMiskaOnTheCardPassesTheOthersOverSilently)
{
    e2e::Header h{"Pocket MISKA 2.0 Standard", "Software\\Miska", "Miska", "Setup.bmp", false};
    CardFile("Miska1.load", e2e::Script(h, {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Miska", "exit"}));
    e2e::SetupRun r = Run(InstallAnswers());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.PageIds(), (std::vector<int>{105, 107, 109, 104, 103}));
    EXPECT_EQ(r.MessageIds(), std::vector<int>{216});
    const nlohmann::json *welcome = r.Control(105, 1010);
    ASSERT_NE(welcome, nullptr) << "the welcome text is shown";
    EXPECT_EQ(welcome->value("text", ""), "Welcome to the \"Pocket MISKA 2.0 Standard\" Setup program.\n"
                                          "This program will install \"Pocket MISKA 2.0 Standard\" \non your PDA.");
    // A header with SelectAppLocation=No shows the folder read-only.
    const nlohmann::json *folder = r.Control(104, 1006);
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->value("readonly", false)) << "the folder cannot be edited";
    EXPECT_EQ(folder->value("text", ""), "\\Program Files\\Miska");
    // Every transcript event carries its fields.
    ASSERT_FALSE(r.events.empty());
    for (const auto &e : r.events) {
        std::string kind = e.value("event", "");
        if (kind == "page") {
            EXPECT_TRUE(e.contains("id") && e.contains("title") && e.contains("modal") && e["controls"].is_array())
                << e.dump();
            EXPECT_TRUE(e.value("id", 0) != 103 || !e.value("modal", true)) << "the progress page is modeless";
        } else if (kind == "answer") {
            EXPECT_TRUE(e.contains("id") && e["actions"].is_array() && e.contains("result")) << e.dump();
        } else if (kind == "message") {
            EXPECT_TRUE(e.contains("flags") && e.contains("caption") && e.contains("text") && e.contains("result"))
                << e.dump();
        } else if (kind == "change") {
            EXPECT_TRUE(e.contains("op") && (e.contains("path") || e.contains("key"))) << e.dump();
        } else {
            EXPECT_TRUE(kind == "launch" || kind == "exit") << e.dump();
        }
    }
    EXPECT_EQ(r.events.back().value("code", -1), 0) << "the last event is the exit";
}

// Flows of one run checked by the pages and boxes shown, after a setup:
// what is on the card and what was done to the first installation.
enum class Start { Empty, Dravex, BadHeader, DravexAndMiska, Glyphor, Installed, NoCopyFiles, NoUnloadNoReadme };

struct Flow {
    const char *name;
    Start start;
    std::vector<std::string> answers;
    std::vector<std::string> extra;
    std::vector<int> pages, messages;
    int boxId = 0;               // a box whose text and style are checked
    const char *boxText = nullptr;
    int boxFlags = -1;
    bool stillInstalled = false; // the first installation was left alone
    int code = 0;                // the exit code, also in the transcript's exit event
    const char *err = "";        // a part of stderr
};

class FlowTable : public FlowsTest, public ::testing::WithParamInterface<Flow> {};

TEST_P(FlowTable, ShowsThePagesAndBoxes)
{
    const Flow &f = GetParam();
    if (f.start != Start::Empty && f.start != Start::Glyphor)
        DravexCard();
    if (f.start == Start::BadHeader) // line 5 is neither Yes nor No
        CardFile("DravexStd.load", "// Dravex\r\n// HKEY_LOCAL_MACHINE Software\\Dravex\r\n// Dravex\r\n"
                                   "// Setup.bmp=Dravex.bmp\r\n// SelectAppLocation=Maybe\r\n// Done\r\nexit\r\n");
    if (f.start == Start::DravexAndMiska) {
        DravexCard("Pocket MISKA 2.0 Standard", "Software\\Miska", "Miska", true, "MiskaWce");
        fs::rename(card + "/MiskaWce/DravexStd.load", card + "/MiskaWce/MiskaStd.load");
    }
    if (f.start == Start::Glyphor) // a script for one system version only
        CardFile("GlyphorWce/GlyphorHpcUniLang.load",
                 e2e::Script(e2e::Header{"Glyphor CE PDA 1.0", "Software\\Glyphor", "Glyphor", "Setup.bmp", false},
                             {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Glyphor",
                              "regString HKEY_LOCAL_MACHINE Software\\Glyphor x LCID @1", "exit"}));
    if (f.start >= Start::Installed)
        InstallDravex();
    if (f.start == Start::NoCopyFiles)
        DeleteRecordValue("Pocket Dravex 3.1 Standard", u"CopyFiles");
    if (f.start == Start::NoUnloadNoReadme) {
        DeleteRecordValue("Pocket Dravex 3.1 Standard", u"UnloadFileName");
        fs::remove(card + "/Readme.txt"); // the estimate cannot measure it
    }
    e2e::SetupRun r = Run(f.answers, f.extra);
    ASSERT_EQ(r.exitCode, f.code) << r.err;
    EXPECT_TRUE(Contains(r.err, f.err)) << "stderr names it: " << r.err;
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.back().dump(), "{\"code\":" + std::to_string(f.code) + ",\"event\":\"exit\"}");
    EXPECT_EQ(r.PageIds(), f.pages);
    EXPECT_EQ(r.MessageIds(), f.messages);
    if (f.boxId) {
        const nlohmann::json *m = r.Message(f.boxId);
        ASSERT_NE(m, nullptr) << f.boxId;
        if (f.boxText) {
            EXPECT_EQ(m->value("text", ""), f.boxText);
        }
        EXPECT_EQ(m->value("flags", -1), f.boxFlags);
    }
    if (f.stillInstalled) {
        EXPECT_TRUE(StoreHas("Program Files/Dravex/Dravex.exe")) << "nothing was removed";
    }
}

const std::vector<std::string> kGlyphorAnswers = {"page 105: click Continue", "page 107: click Continue",
                                                  "page 104: click Continue", "page 112: click Exit",
                                                  "message 215: answer OK", "message 205: answer OK"};
const std::vector<std::string> kRemoveAnswers = {"page 108: click Remove", "message 210: answer OK",
                                                 "message 206: answer OK", "message 215: answer OK",
                                                 "message 205: answer OK"};

INSTANTIATE_TEST_SUITE_P(
    Flows, FlowTable,
    ::testing::Values(
        Flow{"NothingFoundShows215Then205", Start::Empty, {"message 215: answer OK", "message 205: answer OK"}, {},
             {}, {215, 205}, 205, "Installation process was not completed.", 16, false, 1},
        // An unanswered box ends the run at once, naming it.
        Flow{"Unanswered215EndsTheRun", Start::Empty, {}, {}, {}, {}, 0, nullptr, -1, false, 3, "215"},
        Flow{"Unanswered205EndsTheRun", Start::Empty, {"message 215: answer OK"}, {}, {}, {215}, 0, nullptr, -1,
             false, 3, "205"},
        // The system version picks the Glyphor scripts: Exit on the
        // language page, or nothing found.
        Flow{"Version2_0FindsTheHpcScript", Start::Glyphor, kGlyphorAnswers, {"--os-version", "2.0"},
             {105, 107, 109, 104, 112}, {}, 0, nullptr, -1, false, 4},
        Flow{"Version2_10FindsTheHpcScript", Start::Glyphor, kGlyphorAnswers, {"--os-version", "2.10"},
             {105, 107, 109, 104, 112}, {}, 0, nullptr, -1, false, 4},
        Flow{"Version2_11FindsNothing", Start::Glyphor, kGlyphorAnswers, {"--os-version", "2.11"}, {}, {215, 205}, 0,
             nullptr, -1, false, 1},
        Flow{"Version4_20FindsNothing", Start::Glyphor, kGlyphorAnswers, {"--os-version", "4.20"}, {}, {215, 205}, 0,
             nullptr, -1, false, 1},
        // A header that cannot be read fails its product's turn.
        Flow{"HeaderFailureFailsTheRun", Start::BadHeader, {"message *: answer OK"}, {}, {}, {211, 205, 215, 205},
             211, nullptr, 16, false, 1},
        Flow{"ExitOnTheWelcomePageEndsTheRunEarly", Start::Dravex, {"page 105: click Exit"}, {}, {105}, {}, 0,
             nullptr, -1, false, 4},
        // A skipped product suppresses 215 and 205; each is offered once.
        Flow{"SkipEverywhereShowsNoMessage", Start::DravexAndMiska, {"page 105: click Skip"}, {}, {105, 105}, {}},
        Flow{"SkipOfTheLanguageProductShowsNoMessage", Start::Glyphor, {"page 105: click Skip"}, {"--os-version", "2.0"},
             {105}, {}},
        // Miska is not offered after Exit.
        Flow{"ExitEndsTheSetupAtOnce", Start::DravexAndMiska, {"page 105: click Continue", "page 107: click Exit"},
             {}, {105, 107}, {}, 0, nullptr, -1, false, 4},
        Flow{"RunningApplicationEndsTheSetup", Start::Dravex, {"message 222: answer OK"},
             {"--running", "PocketDravexWndClass"}, {}, {222}, 222,
             "Cannot initialize Setup. \"Pocket Dravex 3.1\" is running.", 0, false, 1},
        // The first-install pages follow 214.
        Flow{"ReinstallWithUnreadableRecordAsksAgain", Start::NoCopyFiles,
             {"page 108: click Reinstall", "message 214: answer OK", "page 106: click Continue",
              "page 104: click Continue", "message 218: answer OK"},
             {}, {108, 106, 109, 104, 103}, {214, 218}, 214, nullptr, 48},
        // Nothing was handled, so the last product's search reports too.
        Flow{"ReinstallWithUnreadableRecordAndFailedEstimateEndsIn208", Start::NoUnloadNoReadme,
             {"page 108: click Reinstall", "message 214: answer OK", "page 106: click Continue",
              "message 208: answer OK", "message 215: answer OK", "message 205: answer OK"},
             {}, {108, 106, 109}, {214, 208, 215, 205}, 0, nullptr, -1, false, 1},
        Flow{"MaintenanceSkip", Start::Installed, {"page 108: click Skip"}, {}, {108}, {}, 0, nullptr, -1, true},
        Flow{"MaintenanceExit", Start::Installed, {"page 108: click Exit"}, {}, {108}, {}, 0, nullptr, -1, true, 4},
        Flow{"MaintenanceClose", Start::Installed, {"page 108: close"}, {}, {108}, {}, 0, nullptr, -1, true, 4},
        Flow{"RemovalWithUnreadableRecordShows210Then206", Start::NoCopyFiles, kRemoveAnswers, {}, {108},
             {210, 206, 215, 205}, 0, nullptr, -1, true, 1}),
    [](const ::testing::TestParamInfo<Flow> &info) { return std::string(info.param.name); });

// Screenshots are numbered by the events of the run, written or not: an
// install and its removal take the same names without a transcript as with
// one (each copied and deleted file is an event, made or only counted).
TEST_F(FlowsTest, ScreenshotsAreNumberedAlikeWithAndWithoutATranscript)
{
    DravexCard();
    auto shotNames = [](const std::string &dir) {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    std::vector<std::string> removal = {"page 108: click Remove", "message 217: answer OK"};
    std::string with = root.path + "/with", without = root.path + "/without";
    ASSERT_EQ(Run(InstallAnswers(), {"--screenshots", with + "/install"}).exitCode, 0);
    ASSERT_EQ(Run(removal, {"--screenshots", with + "/removal"}).exitCode, 0);
    for (const char *step : {"install", "removal"}) {
        std::vector<std::string> argv = {Bin("cesetup"), "--device", root.path + "/other",
                                         "--card", card, "--ui", "none", "--screenshots", without + "/" + step};
        for (const std::string &a : std::string(step) == "install" ? InstallAnswers() : removal)
            argv.insert(argv.end(), {"--answer", a});
        e2e::ProcessResult r = e2e::RunProgram(argv);
        ASSERT_EQ(r.exitCode, 0) << step << ": " << r.err;
        std::vector<std::string> a = shotNames(with + "/" + step), b = shotNames(without + "/" + step);
        EXPECT_FALSE(a.empty()) << step;
        EXPECT_EQ(a, b) << step;
    }
}

TEST_F(FlowsTest, ProductNameLeavingTheFolderFailsCleanly)
{
    // The product name becomes the unload log's file name: one that climbs
    // out of the installation folder is refused by the device.
    DravexCard("..\\..\\..\\..\\evil");
    e2e::SetupRun r = Run({"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
                           "page 104: click Continue", "message 205: answer OK", "message 215: answer OK"});
    ASSERT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.MessageIds(), (std::vector<int>{205, 215, 205})) << "the run fails with a clear message";
    for (const auto &[path, content] : e2e::Listing(root.path))
        EXPECT_EQ(path.find("evil"), std::string::npos) << "nothing named by the product was written: " << path;
}

// A package without its setup bitmap installs, reinstalls and is removed
// like any other; a reinstallation with a readable record asks nothing.
TEST_F(FlowsTest, ReinstallWithoutSetupBitmapAsksNothingAndRemovalEmptiesTheFolder)
{
    DravexCard();
    fs::remove(card + "/Dravex.bmp");
    InstallDravex();
    EXPECT_TRUE(StoreHas("Program Files/Dravex/Setup.exe"));
    EXPECT_FALSE(StoreHas("Program Files/Dravex/Dravex.bmp"));
    fs::remove(StorePath("Program Files/Dravex/Dravex.exe"));
    e2e::SetupRun r = Run({"page 108: click Reinstall", "message 218: answer OK"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.PageIds(), (std::vector<int>{108, 103})) << "no location, estimate or folder page";
    EXPECT_EQ(r.MessageIds(), std::vector<int>{218});
    EXPECT_TRUE(StoreHas("Program Files/Dravex/Dravex.exe")) << "the missing file is restored";
    std::string shared = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Shared");
    EXPECT_TRUE(Contains(shared, "\"\\\\Program Files\\\\Dravex\\\\Dravex.exe\"=dword:00000001"))
        << "a reinstallation takes no second count: " << shared;
    e2e::SetupRun removal = Run({"page 108: click Remove", "message 217: answer OK"});
    EXPECT_EQ(removal.MessageIds(), std::vector<int>{217});
    EXPECT_FALSE(StoreHas("Program Files/Dravex")) << "the emptied installation folder goes too";
}

TEST_F(FlowsTest, CurrentLocationCopiesNothingOfItsOwn)
{
    DravexCard();
    e2e::SetupRun r = Run({"page 105: click Continue", "page 107: click Continue",
                           "page 106: check \"Current Location\"; click Continue", "message 216: answer OK"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.PageIds(), (std::vector<int>{105, 107, 106, 103})) << "no calculating and no folder page";
    EXPECT_EQ(r.MessageIds(), std::vector<int>{216});
    EXPECT_TRUE(cetest::HostExists(card + "/Pocket Dravex 3.1 Standard.unload")) << "the log lies beside the script";
    EXPECT_FALSE(StoreHas("Program Files/Dravex")) << "nothing goes to the default folder";
    EXPECT_EQ(cetest::ReadHostFile(card + "/Dravex.exe"), cetest::ReadHostFile(card + "/Dravex.exe.ARM"))
        << "program files still arrive under their plain names beside the script";
    std::string record =
        e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard");
    EXPECT_TRUE(Contains(record, "\"CopyFiles\"=dword:00000000")) << record;
    for (const auto &[path, content] : e2e::Listing(device + "/store"))
        EXPECT_FALSE(content.substr(0, 2) == "MZ" && content.size() == 64u * 1024u)
            << "the setup program was copied to " << path;
}

TEST_F(FlowsTest, FailedCopyAnsweredNo)
{
    DravexCard();
    // The script makes a folder where its copy must write a file.
    e2e::Header h{"Pocket Dravex 3.1 Standard", "Software\\Dravex", "Dravex"};
    CardFile("DravexStd.load",
             e2e::Script(h, {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Dravex",
                             "createShortcut '%P\\Readme.txt' x.lnk . Dravex.exe", "copy . . Readme.txt", "exit"}));
    e2e::SetupRun r = Run({"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
                           "page 104: click Continue", "message 204: answer No", "message 205: answer OK",
                           "message 215: answer OK"});
    ASSERT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.MessageIds(), (std::vector<int>{204, 205, 215, 205}));
    // The failed installation is recorded, so maintenance is offered next.
    e2e::SetupRun again = Run({"page 108: click Exit"});
    EXPECT_EQ(again.PageIds(), std::vector<int>{108});
}

// A folder whose free space is unknown asks 220 with the required Kb;
// not enough space asks 219. Cancel keeps the page each time.
TEST_F(FlowsTest, UnknownOrTooLittleSpaceAsksAndCancelKeepsThePage)
{
    DravexCard();
    CardFile("Dravex.exe.ARM", e2e::ProgramBytes("Dravex.exe", 40 * 1024));
    e2e::SetupRun r = Run({"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
                           "page 104: set 1006 \\\\server\\share; click Continue; set 1006 \"\\Program Files\\Dravex\"; "
                           "click Continue; click Continue",
                           "message 220: answer Cancel", "message 219#1: answer Cancel", "message 219#2: answer OK",
                           "message 204: answer No", "message 205: answer OK", "message 215: answer OK"},
                          {"--storage-kb", "16"});
    ASSERT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.MessageIds(), (std::vector<int>{220, 219, 219, 204, 205, 215, 205}));
    std::string kb = std::to_string((40 * 1024 + 22 + 64 * 1024 + 6054) / 1024);
    const nlohmann::json *unknown = r.Message(220), *tooLittle = r.Message(219);
    ASSERT_TRUE(unknown && tooLittle);
    EXPECT_NE(unknown->value("text", "").find("at least " + kb + " Kb"), std::string::npos) << unknown->value("text", "");
    EXPECT_EQ(tooLittle->value("flags", 0), 49);
    const nlohmann::json *freeKb = r.Control(104, 1011), *requiredKb = r.Control(104, 1012);
    ASSERT_TRUE(freeKb && requiredKb);
    EXPECT_EQ(freeKb->value("text", ""), "16") << "free Kb";
    EXPECT_EQ(requiredKb->value("text", ""), kb) << "required Kb";
}

TEST_F(FlowsTest, UninstallModeListsLogsRemovesOneAndEnds)
{
    DravexCard();
    DravexCard("Pocket MISKA 2.0 Standard", "Software\\Miska", "Miska", true, "MiskaWce");
    fs::rename(card + "/MiskaWce/DravexStd.load", card + "/MiskaWce/MiskaStd.load");
    // Both products into one folder.
    e2e::SetupRun install = Run({"page 105: click Continue", "page 107: click Continue", "page 106: click Continue",
                                 "page 104: set 1006 \"\\Program Files\\Suite\"; click Continue",
                                 "message 216: answer OK"});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    ASSERT_EQ(install.MessageIds(), (std::vector<int>{216, 216}));

    e2e::SetupRun r = RunAs("\\Program Files\\Suite\\Setup.exe",
                            {"page 111: select 1005 \"Pocket MISKA 2.0 Standard\"; click Remove",
                             "message 217: answer OK"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.PageIds(), (std::vector<int>{111, 110})) << "no maintenance page, and nothing after one removal";
    EXPECT_EQ(r.MessageIds(), std::vector<int>{217});
    const nlohmann::json *list = r.Control(111, 1005), *remove = r.Control(111, 1);
    ASSERT_TRUE(list && remove);
    EXPECT_EQ((*list)["items"], nlohmann::json::array({"Pocket Dravex 3.1 Standard", "Pocket MISKA 2.0 Standard"}));
    EXPECT_EQ(list->value("selected", 0), -1);
    EXPECT_FALSE(remove->value("enabled", true)) << "Remove is disabled until an entry is chosen";
    EXPECT_FALSE(StoreHas("Program Files/Suite/Pocket MISKA 2.0 Standard.unload"));
    EXPECT_TRUE(StoreHas("Program Files/Suite/Pocket Dravex 3.1 Standard.unload"));
    EXPECT_TRUE(StoreHas("Program Files/Suite/Setup.exe")) << "still counted by Dravex (and running)";
    std::string reg = e2e::RegExport(device);
    EXPECT_FALSE(Contains(reg, "[HKEY_LOCAL_MACHINE\\Software\\Miska]"));
    EXPECT_TRUE(Contains(reg, "[HKEY_LOCAL_MACHINE\\Software\\Dravex]"));

    // Cancelling the list goes on with the next product without the list.
    e2e::SetupRun cancel = RunAs("\\Program Files\\Suite\\Setup.exe", {"page 111: close"});
    EXPECT_EQ(cancel.exitCode, 0) << cancel.err;
    EXPECT_EQ(cancel.PageIds(), std::vector<int>{111});
    EXPECT_TRUE(cancel.MessageIds().empty());

    // A log whose presence key is gone leads into the welcome page.
    OnDevice([] { EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Dravex"), ERROR_SUCCESS); });
    e2e::SetupRun welcome =
        RunAs("\\Program Files\\Suite\\Setup.exe", {"page 111: select 1005 #0; click Remove", "page 105: click Exit"});
    ASSERT_EQ(welcome.exitCode, 4) << welcome.err;
    EXPECT_EQ(welcome.PageIds(), (std::vector<int>{111, 105}));
}

TEST_F(FlowsTest, LanguageExpansionFailureShows221)
{
    e2e::Header h{"Glyphor CE PDA 1.0", "Software\\Glyphor", "Glyphor", "Setup.bmp", false};
    CardFile("GlyphorWce/GlyphorProUniLang.load",
             e2e::Script(h, {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Glyphor",
                             "regString HKEY_LOCAL_MACHINE Software\\Glyphor x Bad @7", "exit"}));
    e2e::SetupRun r = Run({"page 105: click Continue", "page 107: click Continue", "page 104: click Continue",
                           "page 112: select 1014 Danish; click Install", "message 221: answer OK"});
    ASSERT_EQ(r.exitCode, 1) << "the product's turn failed: " << r.err;
    EXPECT_EQ(r.MessageIds(), std::vector<int>{221});
    const nlohmann::json *m = r.Message(221);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->value("text", ""), "\"Error processing GlyphorCE configuration file!\"");
    EXPECT_FALSE(cetest::HostExists(card + "/GlyphorWce/GlyphorPro CE Handheld 1.0.load")) << "no copy is left";
    EXPECT_FALSE(StoreHas("Program Files/Glyphor")) << "nothing was run";
}

} // namespace
