// discovery_test.cpp - finding a product's script in a folder: the pattern
// first, then an unload log, the language-script flag, and message 215 only
// when the caller asks for it.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

class DiscoveryTest : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        saved = g_pszLanguageScriptName;
        std::strcpy(found, "untouched");
    }
    void TearDown() override
    {
        g_pszLanguageScriptName = saved;
        ScriptFixture::TearDown();
    }
    BOOL Find(const std::string &folder, const char *pattern, BOOL handled = 0, BOOL report = 0)
    {
        install = language = 55;
        return FindScript(folder.c_str(), pattern, found, &install, &language, handled, report);
    }

    char found[264];
    BOOL install = 0, language = 0;
    const char *saved = nullptr;
};

// Each case has a card folder of its own.
TEST_F(DiscoveryTest, WhatIsFound)
{
    struct Case {
        const char *what;
        std::vector<std::string> files;
        const char *languageScript, *pattern;
        const char *folderSuffix; // appended to the folder given
        const char *want;
        BOOL install, language;
    } cases[] = {
        {"the script before an unload log", {"Dict.unload", "Dravex Dict.load"}, "GlyphorProUniLang.load",
         "Dravex*.load", "", "Dravex Dict.load", 1, 0},
        {"an unload log when there is no script", {"Dict.unload", "Miska.load"}, "GlyphorProUniLang.load",
         "Dravex*.load", "", "Dict.unload", 0, 0},
        {"the language script whatever its case, named as stored", {"glyphorprounilang.LOAD"},
         "GlyphorProUniLang.load", "GlyphorPro*.load", "", "glyphorprounilang.LOAD", 1, 1},
    };
    int n = 0;
    for (const auto &c : cases) {
        MessageLog log;
        const std::string folder = "Pkg" + std::to_string(++n);
        for (const auto &f : c.files)
            CardFile(folder + "/" + f, "x");
        g_pszLanguageScriptName = c.languageScript;
        ASSERT_TRUE(Find("\\Storage Card\\" + folder + c.folderSuffix, c.pattern, 0, 1)) << c.what;
        EXPECT_EQ(std::string(found), "\\Storage Card\\" + folder + "\\" + c.want) << c.what;
        EXPECT_EQ(install, c.install) << c.what;
        EXPECT_EQ(language, c.language) << c.what;
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

// Nothing found: 215 only when not handled and
// asked for; the install flag is cleared, nothing else is written.
TEST_F(DiscoveryTest, NothingFound)
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
