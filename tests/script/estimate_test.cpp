// estimate_test.cpp - the space estimate: which copy lines count, which
// package file each one measures, and a failure that leaves the caller's
// total alone.
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
    CardFile("Pkg/Lib.dll.ARM", Bytes(25));
    CardFile("Pkg/Lib.dll", Bytes(7));
    CardFile("Pkg/Readme.txt", Bytes(1000));
    const std::string body =
        CrLf({"copy . . a.txt", "regKeyCreate HKEY_LOCAL_MACHINE Software\\Est", "copyShared . \\Windows Lib.dll",
              "copy . . Readme.txt", "// a comment", "exit"});
    struct Case {
        const char *what;
        BOOL copyFiles;
        DWORD want;
    } cases[] = {
        {"copying to the device: every copy line, the ARM variant measured", 1, 1125},
        {"running from the card: the text file stays and is not counted", 0, 25},
    };
    for (const auto &c : cases) {
        MessageLog log;
        auto before = HostTree(deviceDir + "/store");
        ASSERT_TRUE(Estimate(body, c.copyFiles)) << c.what;
        EXPECT_EQ(total, c.want) << c.what;
        EXPECT_EQ(HostTree(deviceDir + "/store"), before) << c.what << ": nothing written";
        EXPECT_FALSE(KeyExists(0x80000002u, u"Software\\Est")) << c.what;
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

TEST_F(EstimateTest, AMissingPackageFileFailsAndLeavesTheTotal)
{
    MessageLog log;
    CardFile("Pkg/a.txt", Bytes(10));
    EXPECT_FALSE(Estimate(CrLf({"copy . . a.txt", "copy . . gone.txt", "exit"})));
    EXPECT_EQ(total, 0xabcdefu);
    EXPECT_TRUE(log.seen.empty()) << "the estimate shows nothing";
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
