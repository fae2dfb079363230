// commands_test.cpp - the line dispatcher and the shortcut and program-start
// handlers called directly: command numbers, logging, shared and unshared
// shortcuts in removal, counts that cannot be released, and cut tokens.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "internal/transcript.h"
#include "script/script.h"

using namespace cetest;

namespace {

const uint32_t kHKLM = 0x80000002u;
const char *kFolder = "\\Program Files\\Cmd";

void Fill(SCRIPT_TOKEN *t, std::initializer_list<std::string> tokens)
{
    for (int k = 0; k < SCRIPT_MAX_TOKENS; ++k)
        t[k][0] = 0;
    int k = 0;
    for (const auto &s : tokens)
        std::strcpy(t[k++], s.c_str());
}

class CommandsTest : public ScriptFixture {
protected:
    void TearDown() override
    {
        plat::TranscriptClose();
        ScriptFixture::TearDown();
    }
    MessageLog log;
    SCRIPT_TOKEN t[SCRIPT_MAX_TOKENS];
};

TEST_F(CommandsTest, DispatchAndLogging)
{
    SCRIPT_RUN run = {};
    run.fInstall = 1;
    run.fCopyFiles = 1;
    run.pszSourceFolder = "\\Storage Card\\Pkg";
    run.pszInstallFolder = kFolder;
    ASSERT_EQ(XFile_Create("\\Temp\\cmd.unload", &run.hUnloadLog), 0u);
    Fill(t, {"mkdir"});
    char mkdir[] = "mkdir", comment[] = "// c", bogus[] = "bogus";
    EXPECT_EQ(ExecScriptCommand(mkdir, SCRIPT_CMD_MKDIR, t, &run), 1);
    EXPECT_EQ(ExecScriptCommand(comment, SCRIPT_CMD_COMMENT, t, &run), 1);
    for (int n : {-1, 11})
        EXPECT_EQ(ExecScriptCommand(bogus, n, t, &run), 0) << "command number " << n << " is no command";
    EXPECT_EQ(ExecScriptCommand(bogus, SCRIPT_CMD_MKDIR, t, nullptr), 0) << "no record";
    run.fInstall = 0;
    EXPECT_EQ(ExecScriptCommand(comment, SCRIPT_CMD_COMMENT, t, &run), 1);
    XFile_Close(&run.hUnloadLog);
    EXPECT_EQ(StoreRead("Temp/cmd.unload"), "mkdir\r\n// c\r\n") << "removal mode never writes the log";
    EXPECT_TRUE(log.seen.empty());
}

TEST_F(CommandsTest, Shortcuts)
{
    // An existing, longer file is replaced; the shared flag takes a count.
    StoreFile("Windows/r.lnk", "an old and much longer shortcut text");
    Fill(t, {"createShortcut", "\\Windows", "r.lnk", "\\Windows", "b.exe"});
    EXPECT_TRUE(ShortcutCommand(1, t, kFolder, 1));
    EXPECT_EQ(StoreRead("Windows/r.lnk"), "14#\\Windows\\b.exe");
    EXPECT_EQ(SharedCount("\\Windows\\r.lnk"), 1u);

    // A link that cannot be made takes no count.
    Fill(t, {"createShortcut", "\\Windows\\a|b", "f.lnk", ".", "a.exe"});
    EXPECT_TRUE(ShortcutCommand(1, t, kFolder, 1));
    EXPECT_EQ(SharedCount("\\Windows\\a|b\\f.lnk"), 0u);

    // Unshared: deleted in removal whatever the count says, count left alone.
    Fill(t, {"createShortcut", "\\Windows", "s.lnk", ".", "a.exe"});
    EXPECT_TRUE(ShortcutCommand(1, t, kFolder, 0));
    ASSERT_TRUE(StoreExists("Windows/s.lnk"));
    EXPECT_EQ(SharedCount("\\Windows\\s.lnk"), 0u) << "no count without the shared flag";
    ASSERT_TRUE(SetDword(kHKLM, u"Software\\Apps\\Shared", u"\\Windows\\s.lnk", 4));
    EXPECT_TRUE(ShortcutCommand(0, t, kFolder, 0));
    EXPECT_FALSE(StoreExists("Windows/s.lnk"));
    EXPECT_EQ(SharedCount("\\Windows\\s.lnk"), 4u) << "an unshared removal leaves the count alone";

    // Shared, with a count that cannot be released: the link is deleted.
    EXPECT_TRUE(ShortcutCommand(1, t, kFolder, 0));
    ASSERT_TRUE(SetString(kHKLM, u"Software\\Apps\\Shared", u"\\Windows\\s.lnk", u"junk"));
    EXPECT_TRUE(ShortcutCommand(0, t, kFolder, 1));
    EXPECT_FALSE(StoreExists("Windows/s.lnk"));

    EXPECT_TRUE(ShortcutCommand(0, t, kFolder, 0)) << "removing a link that is not there is no error";
    EXPECT_TRUE(log.seen.empty()) << "shortcuts never show a message";
}

TEST_F(CommandsTest, CutTokensAreNeverActedOn)
{
    std::string transcript = root.path + "/t.jsonl";
    std::string err;
    ASSERT_TRUE(plat::TranscriptOpen(transcript, err)) << err;

    Fill(t, {"remoteExec", "\\Windows\\cut.exe", "arg"});
    g_dwScriptTokensCut = 1u << 1;
    EXPECT_TRUE(RemoteExecCommand(1, t));
    g_dwScriptTokensCut = 0;
    EXPECT_EQ(ReadHostFile(transcript).find("cut.exe"), std::string::npos) << "no program was started";
    EXPECT_TRUE(RemoteExecCommand(1, t));
    EXPECT_NE(ReadHostFile(transcript).find("cut.exe"), std::string::npos) << "the same line uncut starts it";

    Fill(t, {"createShortcut", "\\Windows", "cut.lnk", ".", "a.exe"});
    g_dwScriptTokensCut = 1u << 4;
    EXPECT_TRUE(ShortcutCommand(1, t, kFolder, 1));
    g_dwScriptTokensCut = 0;
    EXPECT_FALSE(StoreExists("Windows/cut.lnk"));

    Fill(t, {"regKeyCreate", "HKEY_LOCAL_MACHINE", "Software\\Cut"});
    g_dwScriptTokensCut = 1u << 2;
    EXPECT_FALSE(RegKeyCommand(1, t));
    EXPECT_FALSE(RegKeyCommand(0, t));
    g_dwScriptTokensCut = 0;
    EXPECT_FALSE(KeyExists(kHKLM, u"Software\\Cut"));
    EXPECT_EQ(log.Ids(), (std::vector<int>{213, 213}));
}

TEST_F(CommandsTest, ValueTypesOtherThanTextAndNumberAreRefused)
{
    Fill(t, {"regInt", "HKEY_LOCAL_MACHINE", "Software\\Typed", "x", "v", "1"});
    EXPECT_FALSE(RegValueCommand(1, t, REG_BINARY));
    EXPECT_EQ(log.Ids(), std::vector<int>{213});
    EXPECT_TRUE(RegValueCommand(0, t, REG_BINARY)) << "removal does nothing, whatever the type";
}

} // namespace
