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

TEST_F(EstimateTest, SumsTheCopiedPackageFiles)
{
    CardFile("Pkg/a.txt", Bytes(100));
    CardFile("Pkg/sub/b.txt", Bytes(50));
    CardFile("Pkg/Lib.dll.ARM", Bytes(25));
    ASSERT_TRUE(Estimate(CrLf({"copy . . a.txt", "regKeyCreate HKEY_LOCAL_MACHINE Software\\X", "copy sub doc b.txt",
                               "copyShared . \\Windows Lib.dll", "createShortcut . a.lnk . a.txt",
                               "remoteExec x y", "mkdir", "// a comment", "exit"})));
    EXPECT_EQ(total, 175u);
}

TEST_F(EstimateTest, MeasuresTheArmVariant)
{
    CardFile("Pkg/bin/Editor.exe.ARM", Bytes(300));
    CardFile("Pkg/bin/Editor.exe", Bytes(7));
    ASSERT_TRUE(Estimate(CrLf({"copy bin . Editor.exe", "exit"})));
    EXPECT_EQ(total, 300u);
}

// Shared files and files already at their destination count in full.
TEST_F(EstimateTest, CountsEveryCopyInFull)
{
    CardFile("Pkg/Lib.dll.ARM", Bytes(40));
    StoreFile("Windows/Lib.dll", Bytes(40));
    ASSERT_TRUE(SetDword(0x80000002u, u"Software\\Apps\\Shared", u"\\Windows\\Lib.dll", 3));
    ASSERT_TRUE(Estimate(CrLf({"copyShared . \\Windows Lib.dll", "copy . \\Windows Lib.dll", "exit"})));
    EXPECT_EQ(total, 80u);
}

TEST_F(EstimateTest, SkipRuleWhenRunningFromTheCard)
{
    CardFile("Pkg/Readme.txt", Bytes(1000));
    CardFile("Pkg/Viewer.exe.ARM", Bytes(200));
    CardFile("Pkg/Font.ttf", Bytes(30));
    CardFile("Pkg/x.cpl.ARM", Bytes(5000));
    CardFile("Pkg/w.txt", Bytes(4));
    std::string body = CrLf({"copy . . Readme.txt", "copy . . Viewer.exe", "copy . \\Windows\\Fonts Font.ttf",
                             "copy . . x.cpl", "copy . %P\\Windows w.txt", "exit"});
    ASSERT_TRUE(Estimate(body, 0));
    EXPECT_EQ(total, 234u) << "Viewer, Font and the %P\\Windows line (tested as written)";
    ASSERT_TRUE(Estimate(body, 1));
    EXPECT_EQ(total, 6234u) << "everything when copying to the device";
}

// A skipped line needs no package file.
TEST_F(EstimateTest, SkippedLinesNeedNoFile)
{
    ASSERT_TRUE(Estimate(CrLf({"copy . . Missing.txt", "exit"}), 0));
    EXPECT_EQ(total, 0u);
}

TEST_F(EstimateTest, NoCopyLinesGiveZero)
{
    ASSERT_TRUE(Estimate(CrLf({"regKeyCreate HKEY_LOCAL_MACHINE Software\\X", "exit"})));
    EXPECT_EQ(total, 0u);
}

TEST_F(EstimateTest, FailuresLeaveTheTotalAlone)
{
    CardFile("Pkg/a.txt", Bytes(10));
    struct Case {
        const char *what;
        std::string body;
    } cases[] = {
        {"a package file is missing", CrLf({"copy . . a.txt", "copy . . gone.txt", "exit"})},
        {"the ARM variant is missing", CrLf({"copy . . a.exe", "exit"})},
        {"no exit", CrLf({"copy . . a.txt"})},
        {"eleven tokens", CrLf({"copy . . a.txt 4 5 6 7 8 9 10", "exit"})},
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

// The estimate changes nothing on the device, and "%P" stays unreplaced.
TEST_F(EstimateTest, ChangesNothing)
{
    MessageLog log;
    CardFile("Pkg/a.txt", Bytes(10));
    auto before = HostTree(deviceDir + "/store");
    ASSERT_TRUE(Estimate(CrLf({"regKeyCreate HKEY_LOCAL_MACHINE Software\\Est", "copy . %P a.txt",
                               "createShortcut \\Windows e.lnk . a.txt", "exit"})));
    EXPECT_EQ(total, 10u);
    EXPECT_EQ(HostTree(deviceDir + "/store"), before);
    EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Est"));
}

TEST_F(EstimateTest, TotalStopsAtItsLargestValue)
{
    SCRIPT_SIZE size = {kSource, 0xfffffff0u, 1};
    SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS] = {};
    std::strcpy(t[0], "copy");
    std::strcpy(t[1], ".");
    std::strcpy(t[2], ".");
    std::strcpy(t[3], "a.txt");
    CardFile("Pkg/a.txt", Bytes(100));
    char line[] = "copy . . a.txt";
    EXPECT_EQ(SizeScriptCommand(line, SCRIPT_CMD_COPY, t, &size), 1);
    EXPECT_EQ(size.dwTotal, 0xffffffffu) << "the sum does not wrap round to a small figure";
    EXPECT_EQ(SizeScriptCommand(line, SCRIPT_CMD_REGKEYCREATE, t, &size), 1);
    EXPECT_EQ(size.dwTotal, 0xffffffffu);
}

} // namespace
