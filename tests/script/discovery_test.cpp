// discovery_test.cpp - finding a product's script in a folder: the pattern
// first, then an unload log, the language-script flag, and message 215 only
// when the caller asks for it.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kFolder = "\\Storage Card\\Pkg";

class DiscoveryTest : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        saved = g_pszLanguageScriptName;
        g_pszLanguageScriptName = "GlyphorProUniLang.load";
        std::strcpy(found, "untouched");
    }
    void TearDown() override
    {
        g_pszLanguageScriptName = saved;
        ScriptFixture::TearDown();
    }
    BOOL Find(const char *pattern, BOOL handled = 0, BOOL report = 0, const char *folder = kFolder)
    {
        install = 55;
        language = 55;
        return FindScript(folder, pattern, found, &install, &language, handled, report);
    }

    char found[264];
    BOOL install = 0, language = 0;
    const char *saved = nullptr;
};

TEST_F(DiscoveryTest, ScriptBeforeUnloadLog)
{
    MessageLog log;
    CardFile("Pkg/Dict.unload", "log");
    CardFile("Pkg/Dravex Dict.load", "script");
    ASSERT_TRUE(Find("Dravex*.load"));
    EXPECT_STREQ(found, "\\Storage Card\\Pkg\\Dravex Dict.load");
    EXPECT_EQ(install, 1);
    EXPECT_EQ(language, 0);
}

TEST_F(DiscoveryTest, UnloadLogWhenNoScript)
{
    MessageLog log;
    CardFile("Pkg/Dict.unload", "log");
    CardFile("Pkg/Miska.load", "another product");
    ASSERT_TRUE(Find("Dravex*.load", 0, 1));
    EXPECT_STREQ(found, "\\Storage Card\\Pkg\\Dict.unload");
    EXPECT_EQ(install, 0);
    EXPECT_EQ(language, 0);
    EXPECT_TRUE(log.seen.empty());
}

TEST_F(DiscoveryTest, LanguageScriptWhateverItsCase)
{
    MessageLog log;
    CardFile("Pkg/glyphorprounilang.LOAD", "script");
    ASSERT_TRUE(Find("GlyphorPro*.load"));
    EXPECT_EQ(install, 1);
    EXPECT_EQ(language, 1);
    EXPECT_STREQ(found, "\\Storage Card\\Pkg\\glyphorprounilang.LOAD") << "the name keeps its stored case";

    // The older system's names do not match the newer one's file.
    g_pszLanguageScriptName = "GlyphorHpcUniLang.load";
    ASSERT_TRUE(Find("Glyphor*.load"));
    EXPECT_EQ(language, 0);
}

TEST_F(DiscoveryTest, NothingFound)
{
    struct Case {
        BOOL handled, report;
        int messages;
    } cases[] = {{0, 1, 1}, {0, 0, 0}, {1, 1, 0}, {1, 0, 0}};
    for (const auto &c : cases) {
        MessageLog log;
        EXPECT_FALSE(Find("Dravex*.load", c.handled, c.report)) << c.handled << c.report;
        EXPECT_EQ(log.Count(215), c.messages) << c.handled << c.report;
        EXPECT_EQ(int(log.seen.size()), c.messages);
        if (c.messages) {
            EXPECT_EQ(log.seen[0].type, 16u);
        }
        EXPECT_EQ(install, 0) << "the flag is cleared when nothing is found";
        EXPECT_EQ(language, 55) << "the language flag is not written";
        EXPECT_STREQ(found, "untouched");
    }
}

TEST_F(DiscoveryTest, MissingFolderIsLikeAnEmptyOne)
{
    MessageLog log;
    EXPECT_FALSE(Find("Dravex*.load", 0, 1, "\\Storage Card\\NoSuchFolder"));
    EXPECT_EQ(log.Ids(), std::vector<int>{215});
}

TEST_F(DiscoveryTest, FirstMatchInThePlatformsOrder)
{
    MessageLog log;
    CardFile("Pkg/Dravex b.load", "b");
    CardFile("Pkg/DRAVEX A.load", "a");
    CardFile("Pkg/Dravex c.load", "c");
    ASSERT_TRUE(Find("Dravex*.load"));
    EXPECT_STREQ(found, "\\Storage Card\\Pkg\\DRAVEX A.load") << "names come in case-folded order";
}

TEST_F(DiscoveryTest, FolderWithTrailingDelimiter)
{
    MessageLog log;
    CardFile("Pkg/Miska 2.load", "m");
    ASSERT_TRUE(Find("Miska*.load", 0, 0, "\\Storage Card\\Pkg\\"));
    EXPECT_STREQ(found, "\\Storage Card\\Pkg\\Miska 2.load");
}

} // namespace
