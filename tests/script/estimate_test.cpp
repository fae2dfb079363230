// estimate_test.cpp - the space estimate: which copy lines count, which
// package file each one measures, and every way the estimate fails without
// touching the caller's total or the device.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kScript = "\\Storage Card\\Pkg\\Notes.load";
const char *kSource = "\\Storage Card\\Pkg";

class EstimateTest : public ScriptFixture {
protected:
    BOOL Estimate(const std::string &body, BOOL copyFiles = 1)
    {
        CardFile("Pkg/Notes.load", ScriptHeader().Text() + body);
        total = 0xabcdef;
        return EstimateScript(kScript, kSource, &total, copyFiles);
    }
    DWORD total = 0;
};

// The sum of the package files of the copy lines that will be carried out;
// the estimate changes nothing on the device.
TEST_F(EstimateTest, SumsTheCopiedPackageFiles)
{
    CardFile("Pkg/a.txt", Bytes(100));
    CardFile("Pkg/sub/b.txt", Bytes(50));
    CardFile("Pkg/Lib.dll.ARM", Bytes(25));
    CardFile("Pkg/bin/Editor.exe.ARM", Bytes(300));
    CardFile("Pkg/bin/Editor.exe", Bytes(7));
    CardFile("Pkg/Readme.txt", Bytes(1000));
    CardFile("Pkg/Viewer.exe.ARM", Bytes(200));
    CardFile("Pkg/Font.ttf", Bytes(30));
    CardFile("Pkg/x.cpl.ARM", Bytes(5000));
    CardFile("Pkg/w.txt", Bytes(4));
    StoreFile("Windows/Lib.dll", Bytes(25));
    ASSERT_TRUE(SetDword(0x80000002u, u"Software\\Apps\\Shared", u"\\Windows\\Lib.dll", 3));
    const std::string skipBody =
        CrLf({"copy . . Readme.txt", "copy . . Viewer.exe", "copy . \\Windows\\Fonts Font.ttf",
              "copy . . x.cpl", "copy . %P\\Windows w.txt", "exit"});
    struct Case {
        const char *what;
        std::string body;
        BOOL copyFiles;
        DWORD want;
    } cases[] = {
        {"copy lines among every other kind",
         CrLf({"copy . . a.txt", "regKeyCreate HKEY_LOCAL_MACHINE Software\\Est", "copy sub doc b.txt",
               "copyShared . \\Windows Lib.dll", "createShortcut \\Windows e.lnk . a.txt", "remoteExec x y",
               "mkdir", "// a comment", "exit"}),
         1, 175},
        {"the ARM variant is measured", CrLf({"copy bin . Editor.exe", "exit"}), 1, 300},
        {"shared files and files already there count in full",
         CrLf({"copyShared . \\Windows Lib.dll", "copy . \\Windows Lib.dll", "exit"}), 1, 50},
        {"running from the card: Viewer, Font and the %P\\Windows line (tested as written)", skipBody, 0,
         234},
        {"copying to the device: everything", skipBody, 1, 6234},
        {"a skipped line needs no package file", CrLf({"copy . . Missing.txt", "exit"}), 0, 0},
        {"%P stays unreplaced", CrLf({"copy . %P a.txt", "exit"}), 1, 100},
    };
    for (const auto &c : cases) {
        MessageLog log;
        auto before = HostTree(deviceDir + "/store");
        ASSERT_TRUE(Estimate(c.body, c.copyFiles)) << c.what;
        EXPECT_EQ(total, c.want) << c.what;
        EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what << ": nothing written";
        EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Est")) << c.what;
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

TEST_F(EstimateTest, FailuresLeaveTheTotalAlone)
{
    CardFile("Pkg/a.txt", Bytes(10));
    struct Case {
        const char *what;
        std::string body;
    } cases[] = {
        {"a package file is missing", CrLf({"copy . . a.txt", "copy . . gone.txt", "exit"})},
        {"no exit", CrLf({"copy . . a.txt"})},
        {"a cut file name", CrLf({"copy . . " + std::string(300, 'n'), "exit"})},
        {"no file name", CrLf({"copy . .", "exit"})},
        {"a package path over 259 bytes", CrLf({"copy " + std::string(250, 's') + " . a.txt", "exit"})},
    };
    for (const auto &c : cases) {
        MessageLog log;
        auto before = HostTree(deviceDir + "/store");
        EXPECT_FALSE(Estimate(c.body)) << c.what;
        EXPECT_EQ(total, 0xabcdefu) << c.what;
        EXPECT_TRUE(log.seen.empty()) << c.what << ": the estimate shows nothing";
        EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what;
    }
    DWORD t = 5;
    EXPECT_FALSE(EstimateScript("\\Storage Card\\none.load", kSource, &t, 1));
    EXPECT_EQ(t, 5u);
}

TEST_F(EstimateTest, TotalStopsAtItsLargestValue)
{
    SCRIPT_SIZE size = {kSource, 0xfffffff0u, 1};
    SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS] = {"copy", ".", ".", "a.txt"};
    CardFile("Pkg/a.txt", Bytes(100));
    char line[] = "copy . . a.txt";
    EXPECT_EQ(SizeScriptCommand(line, SCRIPT_CMD_COPY, t, &size), 1);
    EXPECT_EQ(size.dwTotal, 0xffffffffu) << "the sum does not wrap round to a small figure";
    EXPECT_EQ(SizeScriptCommand(line, SCRIPT_CMD_REGKEYCREATE, t, &size), 1);
    EXPECT_EQ(size.dwTotal, 0xffffffffu);
}

} // namespace
