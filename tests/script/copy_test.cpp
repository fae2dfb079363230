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

void Fill(SCRIPT_TOKEN *t, const std::vector<std::string> &tokens)
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
    BOOL Copy(BOOL install, BOOL copyFiles, const std::vector<std::string> &tokens, BOOL shared = 0,
              COPY_PROGRESS *cp = nullptr)
    {
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        Fill(t, tokens);
        return CopyCommand(install, copyFiles, t, kSource, kFolder, shared, cp);
    }
};

// Where each line takes its package file from and where it puts it: a
// copied file replaces what was there and its removal deletes it; a skipped
// line needs no package file and leaves what is there in both modes.
TEST_F(CopyTest, SourceAndDestinationPaths)
{
    struct Case {
        const char *what;
        BOOL copyFiles;
        std::vector<std::string> tokens;
        const char *packageRel; // under the card's Pkg folder; nullptr: none
        const char *deviceRel;  // under the store
        bool copied;
    } cases[] = {
        {"sub-folders and ARM variant", 1, {"copy", "a\\bin", "x\\y", "Editor.exe"}, "a/bin/Editor.exe.ARM",
         "Program Files/Editor/x/y/Editor.exe", true},
        {"to the Windows folder without ARM", 1, {"copy", ".", "\\Windows", "Help.htm"}, "Help.htm",
         "Windows/Help.htm", true},
        {"extension case ignored", 1, {"copy", ".", ".", "Tool.DLL"}, "Tool.DLL.ARM",
         "Program Files/Editor/Tool.DLL", true},
        {"control panel applet", 1, {"copy", ".", "cpl", "Set.cpl"}, "Set.cpl.ARM",
         "Program Files/Editor/cpl/Set.cpl", true},
        {"an .exe inside a name only", 1, {"copy", ".", ".", "a.exe.txt"}, "a.exe.txt",
         "Program Files/Editor/a.exe.txt", true},
        {"from the card: libraries run", 0, {"copy", ".", ".", "v.DLL"}, "v.DLL.ARM",
         "Program Files/Editor/v.DLL", true},
        {"from the card: Windows in a relative folder", 0, {"copy", ".", "sys\\Windows", "a.txt"}, "a.txt",
         "Program Files/Editor/sys/Windows/a.txt", true},
        {"from the card: text stays", 0, {"copy", ".", ".", "Readme.txt"}, "Readme.txt",
         "Program Files/Editor/Readme.txt", false},
        {"from the card: applets stay", 0, {"copy", ".", ".", "x.cpl"}, "x.cpl.ARM",
         "Program Files/Editor/x.cpl", false},
        {"from the card: windows in small letters", 0, {"copy", ".", "\\windows", "w.txt"}, "w.txt",
         "Windows/w.txt", false},
        {"skipped without a package file", 0, {"copy", ".", ".", "None.txt"}, nullptr,
         "Program Files/Editor/None.txt", false},
    };
    for (const auto &c : cases) {
        MessageLog log;
        std::string content = std::string("content of ") + c.what;
        if (c.packageRel)
            CardFile(std::string("Pkg/") + c.packageRel, content);
        StoreFile(c.deviceRel, "an older and much longer text that was there before");
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        Fill(t, c.tokens);
        auto before = HostTree(deviceDir + "/store");
        EXPECT_TRUE(CopyCommand(1, c.copyFiles, t, kSource, kFolder, 0, nullptr)) << c.what;
        if (c.copied) {
            EXPECT_EQ(StoreRead(c.deviceRel), content) << c.what;
        } else {
            EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what << ": a skipped line copies nothing";
        }
        EXPECT_TRUE(CopyCommand(0, c.copyFiles, t, kSource, kFolder, 0, nullptr)) << c.what;
        EXPECT_EQ(StoreExists(c.deviceRel), !c.copied) << c.what << ": removal with the same flag";
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

// Only Yes retries: No, or a box that could not be shown (0), gives up.
TEST_F(CopyTest, RetryOnlyOnYes)
{
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
    {
        MessageLog log;
        log.defaultAnswer = 0;
        EXPECT_FALSE(Copy(1, 1, {"copy", ".", ".", "Missing.txt"}));
        EXPECT_EQ(log.Ids(), std::vector<int>{204});
    }
    MessageLog log;
    plat::SetMessageBoxHook([&](HWND, const std::u16string &text, const std::u16string &, UINT) {
        log.seen.push_back({MessageIdOfText(text), U8(text), 0});
        CardFile("Pkg/Late.txt", "arrived"); // the user put the card back
        return 6;
    });
    EXPECT_TRUE(Copy(1, 1, {"copy", ".", ".", "Late.txt"})) << "Yes copies again";
    EXPECT_EQ(log.Ids(), std::vector<int>{204});
    EXPECT_EQ(StoreRead("Program Files/Editor/Late.txt"), "arrived");
}

TEST_F(CopyTest, RefusedLinesShow212WithoutTrying)
{
    std::string longName(243, 'n'); // \Program Files\Editor\ + 243 = 265 bytes
    struct Case {
        const char *what;
        std::vector<std::string> tokens;
        DWORD cut;
    } cases[] = {
        {"destination over 263 bytes", {"copy", ".", ".", longName + ".txt"}, 0},
        {"source over 259 bytes", {"copy", std::string(240, 's'), "\\Windows", "a.txt"}, 0},
        {"no file name", {"copy", ".", "."}, 0},
        {"a folder that would be left", {"copy", ".", "..", "a.txt"}, 0},
        {"a dot folder", {"copy", ".", "\\Windows\\.\\x", "a.txt"}, 0},
        {"a forward-slash climb", {"copy", ".", "a/../../b", "a.txt"}, 0},
        {"destination folder that cannot be made", {"copy", ".", "bad<dir", "a.txt"}, 0},
        {"a file name the reader had to cut", {"copy", ".", ".", "a.txt"}, 1u << 3},
    };
    CardFile("Pkg/a.txt", "a");
    StoreFile("Program Files/Editor/keep.txt", "k"); // the install folder exists already
    for (const auto &c : cases) {
        MessageLog log;
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        Fill(t, c.tokens);
        auto before = HostTree(deviceDir + "/store");
        g_dwScriptTokensCut = c.cut;
        EXPECT_FALSE(CopyCommand(1, 1, t, kSource, kFolder, 1, nullptr)) << c.what;
        g_dwScriptTokensCut = 0;
        EXPECT_EQ(log.Ids(), std::vector<int>{212}) << c.what << ": no retry is offered";
        EXPECT_EQ(log.seen.empty() ? 0u : log.seen[0].type, 16u) << c.what;
        EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what;
        EXPECT_EQ(SharedCount("\\Program Files\\Editor\\a.txt"), 0u) << c.what;
    }
}

// Paths naming one file, and a file copied onto itself: refused (212, no
// retry) and it survives.
TEST_F(CopyTest, SamePathComparison)
{
    struct Case {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"\\Temp\\a.txt", "\\temp\\A.TXT", true}, {"\\Temp\\a.txt", "/Temp//a.txt", true},
        {"Temp\\a.txt", "\\Temp\\a.txt", true},   {"\\Temp\\", "\\Temp", true},
        {"\\Temp\\\xc4.txt", "\\Temp\\\xe4.txt", true}, // Latin-1 letters fold as the device folds them
        {"\\Temp\\a.txt", "\\Temp\\a.txt.ARM", false}, {"\\", "\\a", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PathsNameSameFile(c.a, c.b) != 0, c.same) << c.a << " / " << c.b;

    MessageLog log;
    StoreFile("Temp/self.txt", "precious");
    EXPECT_FALSE(InstallFile(1, "\\Temp\\self.txt", "/temp//SELF.txt", 0, nullptr));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    EXPECT_EQ(StoreRead("Temp/self.txt"), "precious");
    EXPECT_FALSE(InstallFile(1, nullptr, "\\x", 0, nullptr)) << "no source";
}

// A count is taken only with the shared flag (a reinstallation takes
// none); a count that cannot be kept fails the command (212) in both modes
// and removal keeps the file. Counted removal is shown through the log.
TEST_F(CopyTest, SharedCounts)
{
    MessageLog log;
    CardFile("Pkg/Lib.dll.ARM", "lib");
    const std::vector<std::string> line = {"copyShared", ".", "\\Windows", "Lib.dll"};
    EXPECT_TRUE(Copy(1, 1, line, 1));
    EXPECT_TRUE(Copy(1, 1, line, 0)) << "a reinstallation";
    EXPECT_EQ(SharedCount("\\Windows\\Lib.dll"), 1u) << "no count is taken without the shared flag";
    EXPECT_TRUE(log.seen.empty());

    ASSERT_TRUE(SetString(0x80000002u, u"Software\\Apps\\Shared", u"\\Windows\\Lib.dll", u"not a number"));
    EXPECT_FALSE(Copy(1, 1, line, 1));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    log.seen.clear();
    EXPECT_FALSE(Copy(0, 1, line, 1));
    EXPECT_EQ(log.Ids(), std::vector<int>{212});
    EXPECT_EQ(StoreRead("Windows/Lib.dll"), "lib") << "removal keeps a file whose count is unknown";
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

    // What is gone already is no error.
    EXPECT_TRUE(Copy(0, 1, {"copy", ".", "deep\\er", "gone.txt"}));
    EXPECT_TRUE(Copy(0, 1, {"copyShared", ".", ".", "never.dll"}, 1)) << "a count never taken releases to 0";
    EXPECT_TRUE(log.seen.empty());
}

// ---------------------------------------------------------------- progress

// Windows of one class that record the bar positions they are sent; the
// one with id 1001 stands in for the bar.
std::vector<WPARAM> g_positions;

LRESULT CALLBACK PaneProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != PBM_SETPOS)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    g_positions.push_back(GetDlgCtrlID(hwnd) == 1001 ? wParam : 9999); // 9999: sent to another window
    return 0;
}

class ProgressTest : public CopyTest {
protected:
    void SetUp() override
    {
        CopyTest::SetUp();
        g_positions.clear();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PaneProc;
        wc.hInstance = plat::kProgramInstance;
        wc.lpszClassName = u"ScriptTestPane";
        RegisterClassW(&wc);
        auto make = [](DWORD style, HWND parent, int id) {
            return CreateWindowExW(0, u"ScriptTestPane", u"", style, 0, 0, 100, 100, parent,
                                   (HMENU)(INT_PTR)id, plat::kProgramInstance, nullptr);
        };
        HWND main = make(WS_POPUP, 0, 0), page = make(WS_POPUP, main, 0);
        text = make(WS_CHILD, page, 1007);
        HWND bar = make(WS_CHILD, page, 1001);
        ASSERT_TRUE(main && page && text && bar);
        cp = {CopyProgress, main, page, bar, nullptr, 0, 0};
    }

    std::string Text()
    {
        WCHAR buf[300] = {};
        GetWindowTextW(text, buf, 300);
        return U8(buf);
    }

    HWND text = 0;
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
        {100, 90, 50, 100},       // never past the end
        {4000000000u, 3000000000u, 500000000u, 87}, // sums over 32 bits
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

    // Failed copies count nothing.
    log.defaultAnswer = 7;
    cp.dwBytesDone = 0;
    EXPECT_FALSE(Copy(1, 1, {"copy", ".", ".", "None.txt"}, 0, &cp));
    EXPECT_EQ(cp.dwBytesDone, 0u);
    EXPECT_FALSE(InstallFile(1, "\\Storage Card\\Pkg\\None.txt", "\\Temp\\x.txt", 0, &cp));
    EXPECT_EQ(cp.dwBytesDone, 0u);
}

} // namespace
