// recovery_test.cpp - runs that stop in the middle and the runs after them:
// an installation or removal that ends at an unanswered box (the process
// exits at once, as if killed there) or killed at their first moments, a
// leftover expanded language script, an unload log holding a line the
// removal refuses, and a removal started from the installed uninstaller.
// Each ends with the device as a clean installation and removal leave it.
#include "e2e_fixture.h"

#include <windows.h>

#include <filesystem>

namespace fs = std::filesystem;
using e2etest::E2ETest;
using e2etest::InstallAnswers;

namespace {

const std::vector<std::string> kRemoveAnswers = {"page 108: click Remove", "message 217: answer OK"};

class RecoveryTest : public E2ETest {
protected:
    // A package with a shared program, a plain file, a shared file in
    // \Windows and a shortcut, then lines given by the test.
    void Card(const std::vector<std::string> &tail = {})
    {
        e2e::Header h{"Pocket Dravex 3.1 Standard", "Software\\Dravex", "Dravex", "Dravex.bmp"};
        std::vector<std::string> body = {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Dravex",
                                         "regString HKEY_LOCAL_MACHINE Software\\Dravex x Folder '%P'",
                                         "copyShared . . Dravex.exe", "copy . . Readme.txt",
                                         "copyShared . \\Windows dvxcore.dll",
                                         "createShortcut '\\Windows\\Start Menu' 'Dravex Help.lnk' . Readme.txt"};
        body.insert(body.end(), tail.begin(), tail.end());
        body.push_back("exit");
        CardFile("DravexStd.load", e2e::Script(h, body));
        CardFile("Dravex.exe.ARM", e2e::ProgramBytes("Dravex.exe", 3000));
        CardFile("dvxcore.dll.ARM", e2e::ProgramBytes("dvxcore.dll", 2000));
        CardFile("Readme.txt", "readme\r\n");
        CardFile("Dravex.bmp", e2e::Bmp24(20, 10, 0x102030));
    }

    // The store's files and the registry export, for comparisons.
    std::string State()
    {
        std::string out;
        for (const auto &[path, content] : e2e::Listing(device + "/store"))
            out += path + " = " + std::to_string(std::hash<std::string>{}(content)) + "\n";
        return out + e2e::RegExport(device);
    }

    // A device on which the package was installed and removed cleanly.
    std::string CleanState()
    {
        std::string saved = device;
        device = root.path + "/reference";
        e2e::SetupRun in = Run(InstallAnswers());
        EXPECT_EQ(in.MessageIds(), std::vector<int>{216}) << in.err;
        e2e::SetupRun out = Run(kRemoveAnswers);
        EXPECT_EQ(out.MessageIds(), std::vector<int>{217}) << out.err;
        std::string state = State();
        device = saved;
        return state;
    }

    void SetShared(const char16_t *path, DWORD type, const void *data, DWORD cb)
    {
        OnDevice([&] {
            HKEY h = 0;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, nullptr, 0, 0, nullptr, &h,
                                      nullptr),
                      ERROR_SUCCESS);
            EXPECT_EQ(RegSetValueExW(h, (LPCWSTR)path, 0, type, (const BYTE *)data, cb), ERROR_SUCCESS);
            RegCloseKey(h);
        });
    }
};

// Each row leaves the device as a run stopped in the middle leaves it (the
// process exits at an unanswered box, as if killed there, or the state is
// made by hand), then one run must finish the job: afterwards the device
// is as a clean installation and removal leave it.
TEST_F(RecoveryTest, InterruptedRunIsFinishedByTheNextRun)
{
    Card();
    const std::string clean = CleanState();
    const std::string logPath = StorePath("Program Files/Dravex/Pocket Dravex 3.1 Standard.unload");
    auto install = [&] {
        e2e::SetupRun in = Run(InstallAnswers());
        ASSERT_EQ(in.MessageIds(), std::vector<int>{216}) << in.err;
    };
    // An installation that ends at the unanswered 213 of a bad line, with
    // the script half done.
    auto stopInScript = [&] {
        Card({"regKeyCreate HKEY_BOGUS Software\\Stop"});
        e2e::SetupRun stopped = Run({"page 105: click Continue", "page 107: click Continue",
                                     "page 106: click Continue", "page 104: click Continue"});
        ASSERT_EQ(stopped.exitCode, 3) << "ended at the unanswered 213: " << stopped.err;
        ASSERT_TRUE(StoreHas("Windows/dvxcore.dll")) << "the script had run up to the bad line";
    };
    // The record a removal or installation killed at its first moments
    // leaves: only the log's name, or the whole record; and whether the
    // install folder is there.
    auto record = [&](bool whole, bool folder) {
        install();
        ASSERT_EQ(Run(kRemoveAnswers).MessageIds(), std::vector<int>{217});
        OnDevice([&] {
            HKEY h = 0;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard",
                                      0, nullptr, 0, 0, nullptr, &h, nullptr),
                      ERROR_SUCCESS);
            const char16_t unload[] = u"\\Program Files\\Dravex\\Pocket Dravex 3.1 Standard.unload";
            const char16_t dir[] = u"\\Program Files\\Dravex";
            DWORD one = 1;
            EXPECT_EQ(RegSetValueExW(h, u"UnloadFileName", 0, REG_SZ, (const BYTE *)unload, sizeof(unload)),
                      ERROR_SUCCESS);
            if (whole) {
                RegSetValueExW(h, u"InstallFolder", 0, REG_SZ, (const BYTE *)dir, sizeof(dir));
                RegSetValueExW(h, u"DstDiskSpaceReq", 0, REG_DWORD, (const BYTE *)&one, 4);
                RegSetValueExW(h, u"CopyFiles", 0, REG_DWORD, (const BYTE *)&one, 4);
            }
            RegCloseKey(h);
        });
        if (folder)
            fs::create_directories(StorePath("Program Files/Dravex"));
    };
    const std::vector<std::string> skip = {"page 105: click Skip"};
    struct Row {
        const char *what;
        std::function<void()> interrupt;
        std::vector<std::string> answers; // the run that finishes the job
        std::vector<int> pages, messages; // pages unchecked when empty
        std::function<void()> after;
    } rows[] = {
        // The next run offers maintenance, and Remove leaves a clean device.
        {"installation stopped in the script, then removed", stopInScript, kRemoveAnswers, {}, {217}},
        // The earlier run is undone and the product installed with its shared
        // counts taken once, so that a removal after it leaves a clean device.
        {"installation stopped in the script, then reinstalled",
         [&] {
             stopInScript();
             Card();
         },
         {"page 108: click Reinstall", "message 218: answer OK"}, {}, {218},
         [&] {
             std::string reg = e2e::RegExport(device);
             EXPECT_TRUE(Contains(reg, "\"\\\\Windows\\\\dvxcore.dll\"=dword:00000001")) << reg;
             EXPECT_TRUE(Contains(reg, "\"\\\\Program Files\\\\Dravex\\\\Setup.exe\"=dword:00000001")) << reg;
             e2e::SetupRun removal = Run(kRemoveAnswers);
             EXPECT_EQ(removal.MessageIds(), std::vector<int>{217}) << removal.err;
         }},
        // A reinstallation that stops early keeps the earlier log (it lists
        // every count the product holds), and nothing of its own log stays.
        {"reinstallation stopped early, then removed",
         [&] {
             install();
             CardFile("DravexStd.load",
                      e2e::Script(e2e::Header{"Pocket Dravex 3.1 Standard", "Software\\Dravex", "Dravex", "Dravex.bmp"},
                                  {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Dravex",
                                   "regKeyCreate HKEY_BOGUS Software\\Stop", "exit"}));
             e2e::SetupRun stopped = Run({"page 108: click Reinstall"});
             ASSERT_EQ(stopped.exitCode, 3) << stopped.err;
             Card();
         },
         kRemoveAnswers, {}, {217}},
        // A removal that stops after the presence key is gone (a shared count
        // it cannot give back ends it at the unanswered 212): the next run
        // still offers maintenance and gives back each count once.
        {"removal stopped after the presence key",
         [&] {
             install();
             SetShared(u"\\Windows\\dvxcore.dll", REG_SZ, u"x", 4);
             e2e::SetupRun stopped = Run({"page 108: click Remove"});
             ASSERT_EQ(stopped.exitCode, 3) << stopped.err;
             ASSERT_FALSE(Contains(e2e::RegExport(device), "[HKEY_LOCAL_MACHINE\\Software\\Dravex]"));
             ASSERT_FALSE(StoreHas("Program Files/Dravex/Dravex.exe")) << "lines before the stop were undone";
             DWORD one = 1;
             SetShared(u"\\Windows\\dvxcore.dll", REG_DWORD, &one, 4);
         },
         kRemoveAnswers, {108, 110}, {217}},
        // A removal killed after deleting the presence key and before marking
        // its line left a log that read as a complete installation's, and the
        // next run offered only a first installation.
        {"removal killed with the presence key line marked, the key still there",
         [&] {
             install();
             std::string log = cetest::ReadHostFile(logPath);
             size_t at = log.find("regKeyCreate HKEY_LOCAL_MACHINE Software\\Dravex");
             ASSERT_NE(at, std::string::npos) << log;
             log.replace(at, 2, "//");
             cetest::WriteHostFile(logPath, log);
         },
         kRemoveAnswers, {108, 110}, {217}},
        {"removal killed with the log deleted before the record", [&] { record(true, true); }, skip, {105}, {}},
        {"installation killed with its record written in part", [&] { record(false, false); }, skip, {105}, {}},
        {"installation killed with its record written, no log nor folder yet", [&] { record(true, false); }, skip,
         {105}, {}},
        // A line of the unload log that the removal refuses (a path leaving
        // its folder, a cut token) is passed over; the removal goes on.
        {"log with refused lines",
         [&] {
             install();
             std::string log = cetest::ReadHostFile(logPath);
             size_t at = log.find("copy . . Readme.txt");
             ASSERT_NE(at, std::string::npos);
             log.insert(at, "copy . \\Windows\\..\\Temp Readme.txt\r\ncopyShared .. . Dravex.exe\r\n");
             cetest::WriteHostFile(logPath, log);
         },
         kRemoveAnswers, {}, {217}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(device);
        Card();
        row.interrupt();
        if (HasFatalFailure())
            return;
        e2e::SetupRun next = Run(row.answers);
        if (!row.pages.empty()) {
            EXPECT_EQ(next.PageIds(), row.pages) << next.err;
        }
        EXPECT_EQ(next.MessageIds(), row.messages) << next.err;
        if (row.after)
            row.after();
        EXPECT_EQ(State(), clean);
    }
}

// A leftover expanded language script (a run killed before it deleted it)
// sorts before the language script and matches the product's pattern; the
// next installation still takes the language script and asks the language.
TEST_F(RecoveryTest, LeftoverExpandedScriptIsNotTakenForThePackage)
{
    e2e::Header h{"Glyphor CE PDA 1.0", "Software\\Glyphor", "Glyphor", "Setup.bmp", false};
    std::vector<std::string> body = {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Glyphor",
                                     "regString HKEY_LOCAL_MACHINE Software\\Glyphor x LCID @1", "exit"};
    CardFile("GlyphorWce/GlyphorProUniLang.load", e2e::Script(h, body));
    body[1] = "regString HKEY_LOCAL_MACHINE Software\\Glyphor x LCID 0x0406";
    CardFile("GlyphorWce/GlyphorPro CE Handheld 1.0.load", e2e::Script(h, body));

    e2e::SetupRun r = Run({"page 105: click Continue", "page 107: click Continue", "page 104: click Continue",
                           "page 112: select 1014 Russian; click Install", "message 216: answer OK"});
    EXPECT_EQ(r.PageIds(), (std::vector<int>{105, 107, 109, 104, 112, 103})) << r.err;
    std::string reg = e2e::RegExport(device);
    EXPECT_TRUE(Contains(reg, "\"Language\"=\"Russian\"")) << reg;
    EXPECT_FALSE(Contains(reg, "0x0406")) << "the leftover was not run";
    EXPECT_FALSE(cetest::HostExists(card + "/GlyphorWce/GlyphorPro CE Handheld 1.0.load")) << "removed after the run";
    for (const auto &entry : fs::directory_iterator(card + "/GlyphorWce"))
        EXPECT_EQ(entry.path().filename().string().find('~'), std::string::npos) << entry.path();
}

// A Miska removal started from the installed uninstaller treats Miska's
// standard shortcuts as a removal from the card does: both links and their
// count value go.
TEST_F(RecoveryTest, UninstallerRemovalTakesTheRemovedProductsShortcuts)
{
    auto miskaCard = [&](const std::string &dir) {
        e2e::Header h{"Pocket MISKA 2.0 Standard", "Software\\Miska", "Miska", "Miska.bmp"};
        cetest::WriteHostFile(dir + "/MiskaWce/MiskaStd.load",
                              e2e::Script(h, {"regKeyCreate HKEY_LOCAL_MACHINE Software\\Miska",
                                              "copyShared . . Scrivox.exe", "exit"}));
        cetest::WriteHostFile(dir + "/MiskaWce/Scrivox.exe.ARM", e2e::ProgramBytes("Scrivox.exe", 1500));
        cetest::WriteHostFile(dir + "/MiskaWce/Miska.bmp", e2e::Bmp24(20, 10, 0x302010));
    };
    miskaCard(card);
    std::string clean = CleanState();
    e2e::SetupRun in = Run(InstallAnswers());
    ASSERT_EQ(in.MessageIds(), std::vector<int>{216}) << in.err;
    ASSERT_TRUE(StoreHas("Windows/Start Menu/Programs/Pocket MISKA 2.0.lnk"));

    e2e::SetupRun removal = RunAs("\\Program Files\\Miska\\Setup.exe",
                                  {"page 111: select 1005 #0; click Remove", "message 217: answer OK"});
    EXPECT_EQ(removal.MessageIds(), std::vector<int>{217}) << removal.err;
    EXPECT_FALSE(StoreHas("Windows/Start Menu/Programs/Pocket MISKA 2.0.lnk"));
    EXPECT_FALSE(StoreHas("Windows/Start Menu/Pocket MISKA 2.0.lnk"));
    // The running uninstaller cannot delete itself; its count is given back.
    EXPECT_TRUE(StoreHas("Program Files/Miska/Setup.exe"));
    fs::remove_all(StorePath("Program Files/Miska"));
    EXPECT_EQ(State(), clean);
}

} // namespace
