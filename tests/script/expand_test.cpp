// expand_test.cpp - the expansion of the language script: "@1".."@6"
// replaced by the chosen language's values in a copy beside the script,
// lines dropped for empty values, and failures that leave no copy behind.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "internal/faults.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kScript = "\\Storage Card\\Glyphor\\GlyphorProUniLang.load";
const char *kCopyRel = "Glyphor/GlyphorPro CE Handheld 1.0.load";
const char *kCopyDev = "\\Storage Card\\Glyphor\\GlyphorPro CE Handheld 1.0.load";

class ExpandTest : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        saved = g_pszExpandedScriptName;
        g_pszExpandedScriptName = "GlyphorPro CE Handheld 1.0.load";
        std::strcpy(path, kScript);
    }
    void TearDown() override
    {
        g_pszExpandedScriptName = saved;
        plat::FaultResetAll();
        ScriptFixture::TearDown();
    }

    // Values of the Turkish row, then the Danish one with empty @5 and @6.
    const char *turkey[7] = {"", "1055", "1254", "857", "tuq", "tuf", "Times New Roman Turkish"};
    const char *danish[7] = {"", "1030", "1252", "850", "da", "", ""};
    char path[264];
    const char *saved = nullptr;
};

TEST_F(ExpandTest, ReplacesTheFirstPlaceholderOfEachLine)
{
    CardFile("Glyphor/GlyphorProUniLang.load",
             CrLf({"// Glyphor", "regInt HKEY_LOCAL_MACHINE Nls x Locale @1", "  keep @4 blanks  ",
                   "two @1 and @2", "no placeholder", "font '@6'", "second @5"}));
    ASSERT_TRUE(ExpandScriptParams(path, turkey));
    EXPECT_STREQ(path, kCopyDev) << "the caller's path now names the copy";
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)),
              CrLf({"// Glyphor", "regInt HKEY_LOCAL_MACHINE Nls x Locale 1055", "  keep tuq blanks  ",
                    "two 1055 and @2", "no placeholder", "font 'Times New Roman Turkish'", "second tuf"}));
    EXPECT_TRUE(HostExists(CardHost("Glyphor/GlyphorProUniLang.load"))) << "the script itself stays";
}

TEST_F(ExpandTest, EmptyValuesDropTheirLines)
{
    CardFile("Glyphor/GlyphorProUniLang.load", CrLf({"a @1", "b @5", "c @6", "d @4"}));
    ASSERT_TRUE(ExpandScriptParams(path, danish));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a 1030", "d da"}));
}

TEST_F(ExpandTest, LineEndsBecomeCrLf)
{
    CardFile("Glyphor/GlyphorProUniLang.load", "a @1\nb\rc\n\rd");
    ASSERT_TRUE(ExpandScriptParams(path, danish));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a 1030", "b", "c", "d"}));
}

TEST_F(ExpandTest, EmptyScriptGivesEmptyCopy)
{
    CardFile("Glyphor/GlyphorProUniLang.load", "");
    ASSERT_TRUE(ExpandScriptParams(path, danish));
    EXPECT_TRUE(HostExists(CardHost(kCopyRel)));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), "");
}

// A line that would not fit in 512 bytes after the replacement stays as it was.
TEST_F(ExpandTest, OverlongResultKeepsTheLine)
{
    std::string line = std::string(505, 'x') + "@6";
    CardFile("Glyphor/GlyphorProUniLang.load", CrLf({line}));
    ASSERT_TRUE(ExpandScriptParams(path, turkey));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({line}));
}

TEST_F(ExpandTest, BadPlaceholdersFailAndLeaveNoCopy)
{
    struct Case {
        const char *what;
        std::string line;
    } cases[] = {
        {"digit 7", "x @7"},   {"digit 0", "@0"},    {"a letter", "mail@host"},
        {"at the end", "x @"}, {"only @", "@"},
    };
    for (const auto &c : cases) {
        // A stale copy from an earlier run goes away too.
        CardFile(kCopyRel, "stale");
        CardFile("Glyphor/GlyphorProUniLang.load", CrLf({"good @1", c.line, "after @2"}));
        std::strcpy(path, kScript);
        EXPECT_FALSE(ExpandScriptParams(path, turkey)) << c.what;
        EXPECT_STREQ(path, kScript) << c.what << ": the caller's path is unchanged";
        EXPECT_FALSE(HostExists(CardHost(kCopyRel))) << c.what << ": no copy is left behind";
    }
}

TEST_F(ExpandTest, BadValuesAreRefused)
{
    CardFile("Glyphor/GlyphorProUniLang.load", CrLf({"a @1"}));
    std::string v32(32, 'v'), v31(31, 'v');
    const char *tooLong[7] = {"", "1", "2", "3", v32.c_str(), "", ""};
    const char *missing[7] = {"", "1", "2", nullptr, "4", "", ""};
    const char *fits[7] = {"", v31.c_str(), "", "", "", "", ""};
    EXPECT_FALSE(ExpandScriptParams(path, tooLong)) << "a value of 32 bytes is refused";
    EXPECT_FALSE(HostExists(CardHost(kCopyRel)));
    EXPECT_FALSE(ExpandScriptParams(path, missing)) << "a missing value is refused";
    EXPECT_FALSE(HostExists(CardHost(kCopyRel)));
    EXPECT_STREQ(path, kScript);
    ASSERT_TRUE(ExpandScriptParams(path, fits)) << "31 bytes fit";
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a " + v31}));
}

TEST_F(ExpandTest, MissingScriptFails)
{
    EXPECT_FALSE(ExpandScriptParams(path, turkey));
    EXPECT_STREQ(path, kScript);
    EXPECT_FALSE(HostExists(CardHost(kCopyRel)));
}

// Expanding the expanded copy itself would empty the only script and then
// delete it; it is refused and the file stays.
TEST_F(ExpandTest, CopyOntoItselfIsRefused)
{
    CardFile(kCopyRel, CrLf({"a @1"}));
    std::strcpy(path, "\\Storage Card\\Glyphor\\glyphorpro ce handheld 1.0.LOAD");
    EXPECT_FALSE(ExpandScriptParams(path, turkey));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a @1"}));
}

// Every failed write of the copy fails the expansion and leaves no copy.
TEST_F(ExpandTest, WriteFailuresLeaveNoCopy)
{
    CardFile("Glyphor/GlyphorProUniLang.load", CrLf({"a @1", "b", "c @2", "d"}));
    for (int n = 1;; ++n) {
        ASSERT_LT(n, 50) << "the expansion never succeeded";
        std::strcpy(path, kScript);
        plat::FaultArm(plat::FaultKind::FileWrite, n);
        BOOL ok = ExpandScriptParams(path, turkey);
        bool fired = plat::FaultFired(plat::FaultKind::FileWrite);
        plat::FaultArm(plat::FaultKind::FileWrite, 0);
        if (!fired) {
            ASSERT_TRUE(ok) << "n=" << n;
            EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a 1055", "b", "c 1254", "d"}));
            break;
        }
        EXPECT_FALSE(ok) << "write " << n << " failed";
        EXPECT_STREQ(path, kScript) << "n=" << n;
        EXPECT_FALSE(HostExists(CardHost(kCopyRel))) << "n=" << n;
    }
}

} // namespace
