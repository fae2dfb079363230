// expand_test.cpp - the expansion of the language script: "@1".."@6"
// replaced by the chosen language's values in a copy beside the script,
// lines dropped for empty values, and failures that leave no copy behind.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kScript = "\\Storage Card\\Glyphor\\GlyphorProUniLang.load";
const char *kScriptRel = "Glyphor/GlyphorProUniLang.load";
const char *kCopyRel = "Glyphor/GlyphorPro CE Handheld 1.0.load";
const char *kCopyDev = "\\Storage Card\\Glyphor\\GlyphorPro CE Handheld 1.0.load";

// Values of the Turkish row, then the Danish one with empty @5 and @6.
const char *kTurkey[7] = {"", "1055", "1254", "857", "tuq", "tuf", "Times New Roman Turkish"};
const char *kDanish[7] = {"", "1030", "1252", "850", "da", "", ""};

class ExpandTest : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        saved = g_pszExpandedScriptName;
        g_pszExpandedScriptName = "GlyphorPro CE Handheld 1.0.load";
    }
    void TearDown() override
    {
        g_pszExpandedScriptName = saved;
        ScriptFixture::TearDown();
    }
    BOOL Expand(const char *const *values, const char *from = kScript)
    {
        std::strcpy(path, from);
        return ExpandScriptParams(path, values);
    }
    bool CopyExists() const { return HostExists(CardHost(kCopyRel)); }

    char path[264];
    const char *saved = nullptr;
};

TEST_F(ExpandTest, TheCopyOfTheScript)
{
    struct Case {
        const char *what;
        std::string script;
        const char *const *values;
        std::string want;
    } cases[] = {
        {"the first placeholder of each line",
         CrLf({"// Glyphor", "  keep @4 blanks  ", "two @1 and @2", "font '@6'"}), kTurkey,
         CrLf({"// Glyphor", "  keep tuq blanks  ", "two 1055 and @2", "font 'Times New Roman Turkish'"})},
        {"empty values drop their lines", CrLf({"a @1", "b @5", "c @6", "d @4"}), kDanish,
         CrLf({"a 1030", "d da"})},
    };
    for (const auto &c : cases) {
        CardFile(kScriptRel, c.script);
        ASSERT_TRUE(Expand(c.values)) << c.what;
        EXPECT_STREQ(path, kCopyDev) << c.what << ": the caller's path now names the copy";
        EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), c.want) << c.what;
        EXPECT_EQ(ReadHostFile(CardHost(kScriptRel)), c.script) << c.what << ": the script itself stays";
    }
}

// A failed expansion leaves the caller's path and no copy; a bad
// placeholder found while copying also takes away a stale copy from an
// earlier run.
TEST_F(ExpandTest, FailuresLeaveNoCopy)
{
    const char *missing[7] = {"", "1", "2", nullptr, "4", "", ""};
    struct Case {
        const char *what, *line;
        const char *const *values;
    } cases[] = {{"digit 7", "x @7", kTurkey}, {"a missing value", "x", missing}};
    for (const auto &c : cases) {
        std::remove(CardHost(kCopyRel).c_str());
        if (c.values == kTurkey) // found while copying: a stale copy goes too
            CardFile(kCopyRel, "stale");
        CardFile(kScriptRel, CrLf({"good @1", c.line, "after @2"}));
        EXPECT_FALSE(Expand(c.values)) << c.what;
        EXPECT_STREQ(path, kScript) << c.what << ": the caller's path is unchanged";
        EXPECT_FALSE(CopyExists()) << c.what << ": no copy is left behind";
    }

    // Expanding the expanded copy itself would empty the only script and
    // then delete it; it is refused and the file stays.
    CardFile(kCopyRel, CrLf({"a @1"}));
    EXPECT_FALSE(Expand(kTurkey, "\\Storage Card\\Glyphor\\glyphorpro ce handheld 1.0.LOAD"));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a @1"}));
}

} // namespace
