// copy_test.cpp - the copy commands: source and destination paths, the ARM
// variant, the skip rule, retries, shared counts, refused paths, removal,
// and the progress display (text and bar position).
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "internal/msgbox.h"

#include <windows.h>
#include <commctrl.h>

#include "script/script.h"

using namespace cetest;

namespace {

const char *kSource = "\\Storage Card\\Pkg";
const char *kFolder = "\\Program Files\\Editor";

void Fill(SCRIPT_TOKEN *t, std::initializer_list<std::string> tokens)
{
    for (int k = 0; k < SCRIPT_MAX_TOKENS; ++k)
        t[k][0] = 0;
    int k = 0;
    for (const auto &s : tokens) {
        std::strncpy(t[k], s.c_str(), SCRIPT_TOKEN_SIZE - 1);
        t[k][SCRIPT_TOKEN_SIZE - 1] = 0;
        ++k;
    }
}

class CopyTest : public ScriptFixture {
protected:
    BOOL Copy(BOOL install, BOOL copyFiles, std::initializer_list<std::string> tokens, BOOL shared = 0,
              COPY_PROGRESS *cp = nullptr)
    {
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        Fill(t, tokens);
        return CopyCommand(install, copyFiles, t, kSource, kFolder, shared, cp);
    }
};

// Where each line takes its package file from and where it puts it.
TEST_F(CopyTest, SourceAndDestinationPaths)
{
    struct Case {
        const char *what;
        BOOL copyFiles;
        std::vector<std::string> tokens;
        const char *packageRel; // under the card's Pkg folder
        const char *deviceRel;  // under the store; nullptr: skipped
    } cases[] = {
        {"sub-folder and ARM variant", 1, {"copy", "bin", ".", "Editor.exe"}, "bin/Editor.exe.ARM",
         "Program Files/Editor/Editor.exe"},
        {"to the Windows folder without ARM", 1, {"copy", ".", "\\Windows", "Help.htm"}, "Help.htm",
         "Windows/Help.htm"},
        {"extension case ignored", 1, {"copy", ".", ".", "Tool.DLL"}, "Tool.DLL.ARM", "Program Files/Editor/Tool.DLL"},
        {"control panel applet", 1, {"copy", ".", "cpl", "Set.cpl"}, "Set.cpl.ARM",
         "Program Files/Editor/cpl/Set.cpl"},
        {"relative destination sub-folders", 1, {"copy", "a\\b", "x\\y", "f.txt"}, "a/b/f.txt",
         "Program Files/Editor/x/y/f.txt"},
        {"an .exe inside a name only", 1, {"copy", ".", ".", "a.exe.txt"}, "a.exe.txt",
         "Program Files/Editor/a.exe.txt"},
        {"no extension", 1, {"copy", ".", ".", "README"}, "README", "Program Files/Editor/README"},
        {"from the card: program runs", 0, {"copy", ".", ".", "Viewer.exe"}, "Viewer.exe.ARM",
         "Program Files/Editor/Viewer.exe"},
        {"from the card: libraries run", 0, {"copy", ".", ".", "v.DLL"}, "v.DLL.ARM", "Program Files/Editor/v.DLL"},
        {"from the card: fonts go to Windows", 0, {"copy", ".", "\\Windows\\Fonts", "Font.ttf"}, "Font.ttf",
         "Windows/Fonts/Font.ttf"},
        {"from the card: Windows in a relative folder", 0, {"copy", ".", "sys\\Windows", "a.txt"}, "a.txt",
         "Program Files/Editor/sys/Windows/a.txt"},
        {"from the card: text stays", 0, {"copy", ".", ".", "Readme.txt"}, "Readme.txt", nullptr},
        {"from the card: applets stay", 0, {"copy", ".", ".", "x.cpl"}, "x.cpl.ARM", nullptr},
        {"from the card: windows in small letters", 0, {"copy", ".", "\\windows", "w.txt"}, "w.txt", nullptr},
    };
    for (const auto &c : cases) {
        MessageLog log;
        std::string content = std::string("content of ") + c.what;
        CardFile(std::string("Pkg/") + c.packageRel, content);
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        for (auto &s : t)
            s[0] = 0;
        for (size_t k = 0; k < c.tokens.size(); ++k)
            std::strcpy(t[k], c.tokens[k].c_str());
        auto before = HostTree(deviceDir + "/store");
        EXPECT_TRUE(CopyCommand(1, c.copyFiles, t, kSource, kFolder, 0, nullptr)) << c.what;
        if (c.deviceRel) {
            EXPECT_EQ(StoreRead(c.deviceRel), content) << c.what;
            // Removal with the same flag deletes it again.
            EXPECT_TRUE(CopyCommand(0, c.copyFiles, t, kSource, kFolder, 0, nullptr)) << c.what;
            EXPECT_FALSE(StoreExists(c.deviceRel)) << c.what;
        } else {
            EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what << ": a skipped line copies nothing";
        }
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

// A skipped line needs no package file, and in removal mode it deletes nothing.
TEST_F(CopyTest, SkippedLinesTouchNothing)
{
    MessageLog log;
    StoreFile("Program Files/Editor/Readme.txt", "installed earlier");
    EXPECT_TRUE(Copy(1, 0, {"copy", ".", ".", "Readme.txt"}));
    EXPECT_TRUE(Copy(0, 0, {"copy", ".", ".", "Readme.txt"}));
    EXPECT_EQ(StoreRead("Program Files/Editor/Readme.txt"), "installed earlier");
    EXPECT_TRUE(log.seen.empty());
}

TEST_F(CopyTest, ExistingFilesAreOverwritten)
{
    MessageLog log;
    StoreFile("Program Files/Editor/a.txt", "old and longer text");
    CardFile("Pkg/a.txt", "new");
    EXPECT_TRUE(Copy(1, 1, {"copy", ".", ".", "a.txt"}));
    EXPECT_EQ(StoreRead("Program Files/Editor/a.txt"), "new");
}

TEST_F(CopyTest, RetryYesThenNo)
{
    MessageLog log;
    log.answers = {6, 7};
    EXPECT_FALSE(Copy(1, 1, {"copy", ".", ".", "Missing.exe"}));
    ASSERT_EQ(log.Ids(), (std::vector<int>{204, 204})) << "two attempts, then the user gave up";
    EXPECT_EQ(log.seen[0].type, 36u);
    EXPECT_EQ(log.seen[0].text, "Setup cannot copy file\n\n\\Storage Card\\Pkg\\Missing.exe.ARM\nto\n"
                                "\\Program Files\\Editor\\Missing.exe.\n\nPlease check to ensure the "
                                "destination folder has sufficient free space.\nRetry?");
    EXPECT_FALSE(StoreExists("Program Files/Editor/Missing.exe"));
}

TEST_F(CopyTest, RetryYesCopiesAgain)
{
    MessageLog log;
    plat::SetMessageBoxHook([&](HWND, const std::u16string &text, const std::u16string &, UINT) {
        log.seen.push_back({MessageIdOfText(text), U8(text), 0});
        CardFile("Pkg/Late.txt", "arrived"); // the user put the card back
        return 6;
    });
    EXPECT_TRUE(Copy(1, 1, {"copy", ".", ".", "Late.txt"}));
    EXPECT_EQ(log.Ids(), std::vector<int>{204});
    EXPECT_EQ(StoreRead("Program Files/Editor/Late.txt"), "arrived");
}

// Only Yes retries: a box that could not be shown (0) gives up instead of
// trying for ever.
TEST_F(CopyTest, NoAnswerGivesUp)
{
    MessageLog log;
    log.defaultAnswer = 0;
    EXPECT_FALSE(Copy(1, 1, {"copy", ".", ".", "Missing.txt"}));
    EXPECT_EQ(log.Ids(), std::vector<int>{204});
}

TEST_F(CopyTest, RefusedLinesShow212WithoutTrying)
{
    std::string longName(243, 'n'); // \Program Files\Editor\ + 243 = 265 bytes
    struct Case {
        const char *what;
        std::vector<std::string> tokens;
    } cases[] = {
        {"destination over 263 bytes", {"copy", ".", ".", longName + ".txt"}},
        {"source over 259 bytes", {"copy", std::string(240, 's'), "\\Windows", "a.txt"}},
        {"no file name", {"copy", ".", "."}},
        {"a folder that would be left", {"copy", ".", "..", "a.txt"}},
        {"a dot folder", {"copy", ".", "\\Windows\\.\\x", "a.txt"}},
        {"a forward-slash climb", {"copy", ".", "a/../../b", "a.txt"}},
        {"destination folder that cannot be made", {"copy", ".", "bad<dir", "a.txt"}},
    };
    CardFile("Pkg/a.txt", "a");
    StoreFile("Program Files/Editor/keep.txt", "k"); // the install folder exists already
    for (const auto &c : cases) {
        MessageLog log;
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        for (auto &s : t)
            s[0] = 0;
        for (size_t k = 0; k < c.tokens.size(); ++k)
            std::strcpy(t[k], c.tokens[k].c_str());
        auto before = HostTree(deviceDir + "/store");
        EXPECT_FALSE(CopyCommand(1, 1, t, kSource, kFolder, 1, nullptr)) << c.what;
        EXPECT_EQ(log.Ids(), std::vector<int>{212}) << c.what << ": no retry is offered";
        EXPECT_EQ(log.seen.empty() ? 0u : log.seen[0].type, 16u) << c.what;
        EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what;
        EXPECT_EQ(SharedCount("\\Program Files\\Editor\\a.txt"), 0u) << c.what;
    }
}

TEST_F(CopyTest, SamePathComparison)
{
    struct Case {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"\\Temp\\a.txt", "\\temp\\A.TXT", true},
        {"\\Temp\\a.txt", "/Temp//a.txt", true},
        {"Temp\\a.txt", "\\Temp\\a.txt", true},
        {"\\Temp\\\xc4.txt", "\\Temp\\\xe4.txt", true}, // Latin-1 letters fold as the device folds them
        {"\\Temp\\", "\\Temp", true},
        {"\\Temp\\a.txt", "\\Temp\\a.txt.ARM", false},
        {"\\Temp\\a.txt", "\\Tmp\\a.txt", false},
        {"\\", "\\a", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PathsNameSameFile(c.a, c.b) != 0, c.same) << c.a << " / " << c.b;
}

// A file copied onto itself is refused (212, no retry) and survives.
TEST_F(CopyTest, CopyOntoItselfIsRefused)
{
    MessageLog log;
    StoreFile("Temp/self.txt", "precious");
    EXPECT_FALSE(InstallFile(1, "\\Temp\\self.txt", "/temp//SELF.txt", 0, nullptr));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    EXPECT_EQ(StoreRead("Temp/self.txt"), "precious");
}

// A token the reader had to cut is never acted on.
TEST_F(CopyTest, CutTokensAreRefused)
{
    MessageLog log;
    CardFile("Pkg/a.txt", "a");
    g_dwScriptTokensCut = 1u << 3;
    BOOL ok = Copy(1, 1, {"copy", ".", ".", "a.txt"});
    g_dwScriptTokensCut = 0;
    EXPECT_FALSE(ok);
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    EXPECT_FALSE(StoreExists("Program Files/Editor/a.txt"));
}

TEST_F(CopyTest, SharedCounts)
{
    MessageLog log;
    CardFile("Pkg/Lib.dll.ARM", "lib");
    EXPECT_TRUE(Copy(1, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 1));
    EXPECT_TRUE(Copy(1, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 1));
    EXPECT_EQ(SharedCount("\\Windows\\Lib.dll"), 2u);
    EXPECT_TRUE(Copy(1, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 0)) << "a reinstallation";
    EXPECT_EQ(SharedCount("\\Windows\\Lib.dll"), 2u) << "no count is taken without the shared flag";

    EXPECT_TRUE(Copy(0, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 1));
    EXPECT_EQ(StoreRead("Windows/Lib.dll"), "lib") << "one user is left";
    EXPECT_EQ(SharedCount("\\Windows\\Lib.dll"), 1u);
    EXPECT_TRUE(Copy(0, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 1));
    EXPECT_FALSE(StoreExists("Windows/Lib.dll"));
    EXPECT_TRUE(StoreExists("Windows")) << "a folder with other files stays";
    EXPECT_TRUE(log.seen.empty());
}

// A count that cannot be kept fails the command with 212, in both modes;
// in removal mode the file stays.
TEST_F(CopyTest, SharedCountThatCannotBeKept)
{
    MessageLog log;
    CardFile("Pkg/Lib.dll.ARM", "lib");
    ASSERT_TRUE(SetString(0x80000002u, u"Software\\Apps\\Shared", u"\\Windows\\Lib.dll", u"not a number"));
    EXPECT_FALSE(Copy(1, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 1));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    log.seen.clear();
    EXPECT_FALSE(Copy(0, 1, {"copyShared", ".", "\\Windows", "Lib.dll"}, 1));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    EXPECT_EQ(StoreRead("Windows/Lib.dll"), "lib") << "removal keeps a file whose count is unknown";
}

TEST_F(CopyTest, RemovalOfWhatIsGone)
{
    MessageLog log;
    EXPECT_TRUE(Copy(0, 1, {"copy", ".", "deep\\er", "gone.txt"}));
    EXPECT_TRUE(Copy(0, 1, {"copyShared", ".", ".", "never.dll"}, 1)) << "a count never taken releases to 0";
    EXPECT_TRUE(log.seen.empty());
}

TEST_F(CopyTest, RemovalRemovesEmptiedFolders)
{
    MessageLog log;
    CardFile("Pkg/a.txt", "a");
    CardFile("Pkg/b.txt", "b");
    StoreFile("Program Files/Other/o.txt", "o");
    ASSERT_TRUE(Copy(1, 1, {"copy", ".", "x\\y", "a.txt"}));
    ASSERT_TRUE(Copy(1, 1, {"copy", ".", "x", "b.txt"}));
    ASSERT_TRUE(Copy(0, 1, {"copy", ".", "x\\y", "a.txt"}));
    EXPECT_FALSE(StoreExists("Program Files/Editor/x/y"));
    EXPECT_TRUE(StoreExists("Program Files/Editor/x/b.txt")) << "a folder that is not empty stays";
    ASSERT_TRUE(Copy(0, 1, {"copy", ".", "x", "b.txt"}));
    EXPECT_FALSE(StoreExists("Program Files/Editor")) << "up to the emptied install folder";
    EXPECT_TRUE(StoreExists("Program Files/Other/o.txt")) << "a folder holding another product stays";
}

// ---------------------------------------------------------------- progress

// A window that records the positions it is sent, standing in for the bar.
std::vector<WPARAM> g_positions;

LRESULT CALLBACK BarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == PBM_SETPOS) {
        g_positions.push_back(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class ProgressTest : public CopyTest {
protected:
    void SetUp() override
    {
        CopyTest::SetUp();
        g_positions.clear();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = BarProc;
        wc.hInstance = plat::kProgramInstance;
        wc.lpszClassName = u"ScriptTestBar";
        RegisterClassW(&wc);
        WNDCLASSW pc = {};
        pc.lpfnWndProc = DefWindowProcW;
        pc.hInstance = plat::kProgramInstance;
        pc.lpszClassName = u"ScriptTestPane";
        RegisterClassW(&pc);
        main = CreateWindowExW(0, u"ScriptTestPane", u"main", WS_POPUP, 0, 0, 100, 100, 0, 0,
                               plat::kProgramInstance, nullptr);
        page = CreateWindowExW(0, u"ScriptTestPane", u"page", WS_POPUP, 0, 0, 100, 100, main, 0,
                               plat::kProgramInstance, nullptr);
        text = CreateWindowExW(0, u"ScriptTestPane", u"", WS_CHILD, 0, 0, 10, 10, page, (HMENU)1007,
                               plat::kProgramInstance, nullptr);
        bar = CreateWindowExW(0, u"ScriptTestBar", u"", WS_CHILD, 0, 0, 10, 10, page, (HMENU)1001,
                              plat::kProgramInstance, nullptr);
        ASSERT_NE(main, 0u);
        ASSERT_NE(page, 0u);
        ASSERT_NE(text, 0u);
        ASSERT_NE(bar, 0u);
        cp = {CopyProgress, main, page, bar, nullptr, 0, 0};
    }

    std::string Text()
    {
        WCHAR buf[300] = {};
        GetWindowTextW(text, buf, 300);
        return U8(buf);
    }

    HWND main = 0, page = 0, text = 0, bar = 0;
    COPY_PROGRESS cp;
};

TEST_F(ProgressTest, Percentages)
{
    struct Case {
        DWORD total, done, current;
        WPARAM want;
    } cases[] = {
        {200, 80, 50, 65},
        {3, 1, 0, 33},            // the quotient is cut
        {0, 0, 0, 0},             // no total: the bar stays at the start
        {0, 500, 20, 0},
        {100, 90, 50, 100},       // never past the end
        {4000000000u, 3000000000u, 500000000u, 87}, // sums over 32 bits
        {0xffffffffu, 0xffffffffu, 0, 100},
        {1000000, 0, 0, 0},
    };
    cp.pszSourceFile = "\\Storage Card\\Pkg\\bin\\Editor.exe.ARM";
    for (const auto &c : cases) {
        g_positions.clear();
        cp.dwTotalBytes = c.total;
        cp.dwBytesDone = c.done;
        EXPECT_TRUE(CopyProgress(c.current, 0, &cp));
        ASSERT_EQ(g_positions.size(), 1u) << c.total << "/" << c.done << "/" << c.current;
        EXPECT_EQ(g_positions[0], c.want) << c.total << "/" << c.done << "/" << c.current;
        EXPECT_EQ(cp.dwBytesDone, c.done) << "the callback does not count bytes itself";
    }
    EXPECT_EQ(Text(), "Copying file: Editor.exe.ARM") << "the package name's title";
}

TEST_F(ProgressTest, DuringACopy)
{
    MessageLog log;
    CardFile("Pkg/Big.exe.ARM", Bytes(70000));
    cp.dwTotalBytes = 100000;
    cp.dwBytesDone = 30000;
    EXPECT_TRUE(Copy(1, 1, {"copy", ".", ".", "Big.exe"}, 0, &cp));
    EXPECT_EQ(g_positions, (std::vector<WPARAM>{30, 62, 94})) << "once before each block of 32000 bytes";
    EXPECT_EQ(cp.dwBytesDone, 100000u) << "the file's length is added once it is copied";
    EXPECT_EQ(Text(), "Copying file: Big.exe.ARM");
    EXPECT_EQ(StoreRead("Program Files/Editor/Big.exe"), Bytes(70000));
}

TEST_F(ProgressTest, FailedCopiesCountNothing)
{
    MessageLog log;
    log.defaultAnswer = 7;
    cp.dwTotalBytes = 100;
    EXPECT_FALSE(Copy(1, 1, {"copy", ".", ".", "None.txt"}, 0, &cp));
    EXPECT_EQ(cp.dwBytesDone, 0u);
    EXPECT_FALSE(InstallFile(1, "\\Storage Card\\Pkg\\None.txt", "\\Temp\\x.txt", 0, &cp));
    EXPECT_EQ(cp.dwBytesDone, 0u);
}

// The driver's own copies go through InstallFile with its record.
TEST_F(ProgressTest, InstallFileWithoutRecord)
{
    MessageLog log;
    CardFile("Setup.exe", Bytes(1234));
    EXPECT_TRUE(InstallFile(1, "\\Storage Card\\Setup.exe", "\\Program Files\\New\\Sub\\Setup.exe", 1, nullptr));
    EXPECT_EQ(StoreRead("Program Files/New/Sub/Setup.exe"), Bytes(1234));
    EXPECT_EQ(SharedCount("\\Program Files\\New\\Sub\\Setup.exe"), 1u);
    EXPECT_TRUE(InstallFile(0, "\\Storage Card\\Setup.exe", "\\Program Files\\New\\Sub\\Setup.exe", 1, nullptr));
    EXPECT_FALSE(StoreExists("Program Files/New"));
    EXPECT_FALSE(InstallFile(1, nullptr, "\\x", 0, nullptr));
    EXPECT_TRUE(log.seen.empty());
}

} // namespace
