// expand_test.cpp - the language script: its expansion ("@1".."@6"
// replaced by the chosen language's values in a copy beside the script,
// lines dropped for empty values, failures that leave no copy behind), and
// finding a product's script in a folder (the pattern first, then an unload
// log, the language-script flag, message 215 only when asked for).
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
        g_pszExpandedScriptName = "GlyphorPro CE Handheld 1.0.load";
        g_pszLanguageScriptName = "GlyphorProUniLang.load";
        std::strcpy(found, "untouched");
    }
    void TearDown() override
    {
        g_pszExpandedScriptName = savedExpanded;
        g_pszLanguageScriptName = savedLanguage;
        ScriptFixture::TearDown();
    }
    BOOL Expand(const char *const *values, const char *from = kScript)
    {
        std::strcpy(path, from);
        return ExpandScriptParams(path, values);
    }
    BOOL Find(const std::string &folder, const char *pattern, BOOL handled = 0, BOOL report = 0)
    {
        install = language = 55;
        return FindScript(folder.c_str(), pattern, found, &install, &language, handled, report);
    }

    char path[264], found[264];
    BOOL install = 0, language = 0;
    const char *savedExpanded = g_pszExpandedScriptName, *savedLanguage = g_pszLanguageScriptName;
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
        EXPECT_FALSE(HostExists(CardHost(kCopyRel))) << c.what << ": no copy is left behind";
    }

    // Expanding the expanded copy itself would empty the only script and
    // then delete it; it is refused and the file stays.
    CardFile(kCopyRel, CrLf({"a @1"}));
    EXPECT_FALSE(Expand(kTurkey, "\\Storage Card\\Glyphor\\glyphorpro ce handheld 1.0.LOAD"));
    EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a @1"}));
}

TEST_F(ExpandTest, FindWhatIsThere)
{
    struct Case {
        const char *what;
        std::vector<std::string> files;
        const char *pattern, *want;
        BOOL install, language;
    } cases[] = {
        {"the script before an unload log", {"Dict.unload", "Dravex Dict.load"}, "Dravex*.load",
         "Dravex Dict.load", 1, 0},
        {"an unload log when there is no script", {"Dict.unload", "Miska.load"}, "Dravex*.load",
         "Dict.unload", 0, 0},
        {"the language script whatever its case, named as stored", {"glyphorprounilang.LOAD"},
         "GlyphorPro*.load", "glyphorprounilang.LOAD", 1, 1},
        {"a stale expanded copy is passed over", {"GlyphorPro CE Handheld 1.0.load", "GlyphorProUniLang.load"},
         "GlyphorPro*.load", "GlyphorProUniLang.load", 1, 1},
    };
    int n = 0;
    for (const auto &c : cases) {
        MessageLog log;
        const std::string folder = "\\Storage Card\\Pkg" + std::to_string(++n);
        for (const auto &f : c.files)
            CardFile("Pkg" + std::to_string(n) + "/" + f, "x");
        ASSERT_TRUE(Find(folder, c.pattern, 0, 1)) << c.what;
        EXPECT_EQ(std::string(found), folder + "\\" + c.want) << c.what;
        EXPECT_EQ(install, c.install) << c.what;
        EXPECT_EQ(language, c.language) << c.what;
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

// Nothing found: 215 only when not handled and asked for; the install
// flag is cleared, nothing else is written.
TEST_F(ExpandTest, FindNothing)
{
    struct Case {
        BOOL handled, report;
        int messages;
    } cases[] = {{0, 1, 1}, {0, 0, 0}, {1, 1, 0}};
    CardFile("Pkg/Miska.load", "another product");
    for (const auto &c : cases) {
        MessageLog log;
        std::string what = std::to_string(c.handled) + std::to_string(c.report);
        EXPECT_FALSE(Find("\\Storage Card\\Pkg", "Dravex*.load", c.handled, c.report)) << what;
        EXPECT_EQ(log.Count(215), c.messages) << what;
        EXPECT_EQ(int(log.seen.size()), c.messages) << what;
        EXPECT_EQ(install, 0) << what << ": the flag is cleared when nothing is found";
        EXPECT_STREQ(found, "untouched") << what;
    }
}

} // namespace
