// copy_test.cpp - the copy commands: source and destination paths, the ARM
// variant, the skip rule, retries, a file copied onto itself, the progress
// bar's percentages, and the space estimate of the copy lines.
#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>
#include <commctrl.h>

#include "helpers/scriptkit.h"
#include "script/script.h"
#include "user/msgbox.h"

using namespace cetest;

namespace {

const char *kSource = "\\Storage Card\\Pkg";
const char *kFolder = "\\Program Files\\Editor";

class CopyTest : public ScriptFixture {
protected:
    BOOL Copy(BOOL install, BOOL copyFiles, const std::vector<std::string> &tokens)
    {
        SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
        for (size_t k = 0; k < SCRIPT_MAX_TOKENS; ++k)
            std::strcpy(t[k], k < tokens.size() ? tokens[k].c_str() : "");
        return CopyCommand(install, copyFiles, t, kSource, kFolder, 0, nullptr);
    }
};

TEST(PathHasDotComponent, DotPartsAnywhere)
{
    const char *dotted[] = {".", "..", "\\Program Files\\.\\f0.bin", "\\Program Files\\..\\f0.bin",
                            "\\Program Files/../f0.bin", "a/./b", "a\\b\\..", "a\\b\\.", "..\\a", "./a",
                            "a..\\.", "a.\\..", "a\\\\..\\"};
    const char *plain[] = {"", "...", "\\Program Files\\Bulk\\f0.bin", "a.\\b", "a..\\b", ".a\\b",
                           "..a\\b", "a\\...\\b", "a\\.b.", "\\\\", "a.b\\c..d\\e...f"};
    for (const char *path : dotted)
        EXPECT_TRUE(PathHasDotComponent(path)) << path;
    for (const char *path : plain)
        EXPECT_FALSE(PathHasDotComponent(path)) << path;
}

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
        {"from the card: libraries run", 0, {"copy", ".", ".", "v.DLL"}, "v.DLL.ARM",
         "Program Files/Editor/v.DLL", true},
        {"from the card: text stays", 0, {"copy", ".", ".", "Readme.txt"}, "Readme.txt",
         "Program Files/Editor/Readme.txt", false},
        {"skipped without a package file", 0, {"copy", ".", ".", "None.txt"}, nullptr,
         "Program Files/Editor/None.txt", false},
    };
    for (const auto &c : cases) {
        MessageLog log;
        std::string content = std::string("content of ") + c.what;
        if (c.packageRel)
            CardFile(std::string("Pkg/") + c.packageRel, content);
        StoreFile(c.deviceRel, "an older and much longer text that was there before");
        auto before = HostTree(deviceDir + "/store");
        EXPECT_TRUE(Copy(1, c.copyFiles, c.tokens)) << c.what;
        if (c.copied) {
            EXPECT_EQ(StoreRead(c.deviceRel), content) << c.what;
        } else {
            EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what << ": a skipped line copies nothing";
        }
        EXPECT_TRUE(Copy(0, c.copyFiles, c.tokens)) << c.what;
        EXPECT_EQ(StoreExists(c.deviceRel), !c.copied) << c.what << ": removal with the same flag";
    }
}

// Only Yes retries: No gives up. A file copied onto itself (however the
// path is spelt) is refused (212, no retry) and survives.
TEST_F(CopyTest, RetryOnlyOnYesAndNeverOntoItself)
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
        StoreFile("Temp/self.txt", "precious");
        log.seen.clear();
        EXPECT_FALSE(InstallFile(1, "\\Temp\\self.txt", "/temp//SELF.txt", 0, nullptr));
        EXPECT_EQ(log.Ids(), std::vector<int>{212});
        EXPECT_EQ(StoreRead("Temp/self.txt"), "precious");
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

TEST_F(CopyTest, ProgressPercentages)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PaneProc;
    wc.hInstance = plat::kProgramInstance;
    wc.lpszClassName = u"ScriptTestPane";
    RegisterClassW(&wc);
    auto make = [](DWORD style, HWND parent, int id) {
        return CreateWindowExW(0, u"ScriptTestPane", u"", style, 0, 0, 100, 100, parent, (HMENU)(INT_PTR)id,
                               plat::kProgramInstance, nullptr);
    };
    HWND main = make(WS_POPUP, 0, 0), page = make(WS_POPUP, main, 0);
    HWND text = make(WS_CHILD, page, 1007), bar = make(WS_CHILD, page, 1001);
    ASSERT_TRUE(main && page && text && bar);
    COPY_PROGRESS cp = {CopyProgress, main, page, bar, "\\Storage Card\\Pkg\\bin\\Editor.exe.ARM", 0, 0};
    struct Case {
        DWORD total, done, current;
        WPARAM want;
    } cases[] = {
        {200, 80, 50, 65},
        {0, 0, 0, 0},                               // no total: the bar stays at the start
        {100, 90, 50, 100},                         // never past the end
        {4000000000u, 3000000000u, 500000000u, 87}, // sums over 32 bits
    };
    for (const auto &c : cases) {
        g_positions.clear();
        cp.dwTotalBytes = c.total;
        cp.dwBytesDone = c.done;
        EXPECT_TRUE(CopyProgress(c.current, 0, &cp));
        EXPECT_EQ(g_positions, std::vector<WPARAM>{c.want}) << c.total << "/" << c.done << "/" << c.current;
    }
    WCHAR buf[300] = {};
    GetWindowTextW(text, buf, 300);
    EXPECT_EQ(U8(buf), "Copying file: Editor.exe.ARM") << "the package name's title";
}

// The sum of the package files of the copy lines that will be carried out;
// a missing package file fails and leaves the caller's total alone. The
// estimate changes nothing on the device and shows nothing, and its sum
// does not wrap round to a small figure.
TEST_F(CopyTest, EstimateSumsTheCopiedPackageFiles)
{
    MessageLog log;
    CardFile("Pkg/a.txt", Bytes(100));
    CardFile("Pkg/Lib.dll.ARM", Bytes(25));
    CardFile("Pkg/Lib.dll", Bytes(7));
    CardFile("Pkg/Readme.txt", Bytes(1000));
    DWORD total = 0;
    auto estimate = [&](const std::vector<std::string> &body, BOOL copyFiles) {
        CardFile("Pkg/Notes.load", ScriptHeader().Text() + CrLf(body));
        total = 0xabcdef;
        return EstimateScript("\\Storage Card\\Pkg\\Notes.load", kSource, &total, copyFiles);
    };
    const std::vector<std::string> body = {"copy . . a.txt", "regKeyCreate HKEY_LOCAL_MACHINE Software\\Est",
                                           "copyShared . \\Windows Lib.dll", "copy . . Readme.txt", "// c", "exit"};
    auto before = HostTree(deviceDir + "/store");
    ASSERT_TRUE(estimate(body, 1));
    EXPECT_EQ(total, 1125u) << "copying to the device: every copy line, the ARM variant measured";
    ASSERT_TRUE(estimate(body, 0));
    EXPECT_EQ(total, 25u) << "running from the card: the text files stay and are not counted";
    EXPECT_EQ(HostTree(deviceDir + "/store"), before) << "nothing written";
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Est"));
    EXPECT_FALSE(estimate({"copy . . a.txt", "copy . . gone.txt", "exit"}, 1));
    EXPECT_EQ(total, 0xabcdefu);
    EXPECT_TRUE(log.seen.empty());

    SCRIPT_SIZE size = {kSource, 0xfffffff0u, 1};
    SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS] = {"copy", ".", ".", "a.txt"};
    char line[] = "copy . . a.txt";
    EXPECT_EQ(SizeScriptCommand(line, SCRIPT_CMD_COPY, t, &size), 1);
    EXPECT_EQ(size.dwTotal, 0xffffffffu) << "the sum does not wrap round to a small figure";
}

} // namespace
