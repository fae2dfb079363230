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
        plat::FaultResetAll();
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
    std::string v31(31, 'v');
    const char *fits[7] = {"", v31.c_str(), "", "", "", "", ""};
    struct Case {
        const char *what;
        std::string script;
        const char *const *values;
        std::string want;
    } cases[] = {
        {"the first placeholder of each line",
         CrLf({"// Glyphor", "regInt HKEY_LOCAL_MACHINE Nls x Locale @1", "  keep @4 blanks  ",
               "two @1 and @2", "no placeholder", "font '@6'", "second @5"}),
         kTurkey,
         CrLf({"// Glyphor", "regInt HKEY_LOCAL_MACHINE Nls x Locale 1055", "  keep tuq blanks  ",
               "two 1055 and @2", "no placeholder", "font 'Times New Roman Turkish'", "second tuf"})},
        {"empty values drop their lines", CrLf({"a @1", "b @5", "c @6", "d @4"}), kDanish,
         CrLf({"a 1030", "d da"})},
        {"line ends become CR LF", "a @1\nb\rc\n\rd", kDanish, CrLf({"a 1030", "b", "c", "d"})},
        {"a line that would not fit in 512 bytes stays", CrLf({std::string(505, 'x') + "@6"}), kTurkey,
         CrLf({std::string(505, 'x') + "@6"})},
        {"a value of 31 bytes fits", CrLf({"a @1"}), fits, CrLf({"a " + v31})},
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
    std::string v32(32, 'v');
    const char *tooLong[7] = {"", "1", "2", "3", v32.c_str(), "", ""};
    const char *missing[7] = {"", "1", "2", nullptr, "4", "", ""};
    struct Case {
        const char *what;
        const char *line; // nullptr: no script at all
        const char *const *values;
    } cases[] = {
        {"digit 7", "x @7", kTurkey},           {"digit 0", "@0", kTurkey},
        {"a value of 32 bytes", "x", tooLong}, {"a missing value", "x", missing},
        {"no script", nullptr, kTurkey},
    };
    for (const auto &c : cases) {
        std::remove(CardHost(kCopyRel).c_str());
        if (c.values == kTurkey && c.line)
            CardFile(kCopyRel, "stale");
        if (c.line)
            CardFile(kScriptRel, CrLf({"good @1", c.line, "after @2"}));
        else
            std::remove(CardHost(kScriptRel).c_str());
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

// Every failed write of the copy fails the expansion and leaves no copy.
TEST_F(ExpandTest, WriteFailuresLeaveNoCopy)
{
    CardFile(kScriptRel, CrLf({"a @1", "b", "c @2", "d"}));
    for (int n = 1;; ++n) {
        ASSERT_LT(n, 50) << "the expansion never succeeded";
        plat::FaultArm(plat::FaultKind::FileWrite, n);
        BOOL ok = Expand(kTurkey);
        bool fired = plat::FaultFired(plat::FaultKind::FileWrite);
        plat::FaultArm(plat::FaultKind::FileWrite, 0);
        if (!fired) {
            ASSERT_TRUE(ok) << "n=" << n;
            EXPECT_EQ(ReadHostFile(CardHost(kCopyRel)), CrLf({"a 1055", "b", "c 1254", "d"}));
            break;
        }
        EXPECT_FALSE(ok) << "write " << n << " failed";
        EXPECT_STREQ(path, kScript) << "n=" << n;
        EXPECT_FALSE(CopyExists()) << "n=" << n;
    }
}

} // namespace
