// reader_header_test.cpp - the six-line script header: what it gives back,
// every way it fails (each shows message 211 with the path), and the
// process-wide bitmap name and location choice it sets.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kPath = "\\Storage Card\\Pkg\\Notes.load";

// The default header with one line replaced.
std::string With(int line, const std::string &text)
{
    auto l = ScriptHeader().Lines();
    l[line] = text;
    return CrLf(l);
}

class HeaderTest : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        std::strcpy(g_szSetupBitmapName, "Setup.bmp");
        g_fSelectAppLocation = 1;
    }

    // Reads the header of a script holding text; the out buffers start
    // with a marker so that untouched values can be seen.
    BOOL Read(const std::string &text)
    {
        CardFile("Pkg/Notes.load", text);
        std::strcpy(product, "#");
        std::strcpy(key, "#");
        std::strcpy(folder, "#");
        std::strcpy(note, "#");
        root = 0xdead;
        return ReadScriptHeader(kPath, product, &root, key, folder, note);
    }

    char product[256], key[256], folder[264], note[256];
    HKEY root = 0;
};

TEST_F(HeaderTest, AcceptedHeader)
{
    MessageLog log;
    // A body that the reader of the whole script would refuse does not matter.
    EXPECT_TRUE(Read(With(4, "// SelectAppLocation=No") + CrLf({"a b c d e f g h i j k l", "copy"})));
    EXPECT_STREQ(product, "Demo Notes 1.0") << "quotes keep the blanks in one token";
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_STREQ(key, "Software\\Notes");
    EXPECT_STREQ(folder, "\\Program Files\\Notes");
    EXPECT_STREQ(g_szSetupBitmapName, "Notes.bmp");
    EXPECT_EQ(g_fSelectAppLocation, 0);
    EXPECT_STREQ(note, "Tap the Notes icon to start.") << "line 6 replaces the text of line 5";
    // The longest folder the caller's buffer holds ("\Program Files\" and
    // 248 bytes) comes back whole.
    EXPECT_TRUE(Read(With(2, "// " + std::string(248, 'x'))));
    EXPECT_EQ(std::string(folder), "\\Program Files\\" + std::string(248, 'x'));
    EXPECT_TRUE(log.seen.empty()) << "a good header shows nothing";
}

// Every way a header can fail: 211 with the path, result 0.
TEST_F(HeaderTest, EveryFailureShows211)
{
    auto five = ScriptHeader().Lines();
    five.pop_back();
    struct Case {
        const char *what;
        std::string text;
    } cases[] = {
        {"five lines", CrLf(five)},
        {"no blank after the slashes", With(0, "//Product")},
        {"bitmap without =", With(3, "// Setup.bmp")},
        {"eleven tokens", With(5, "// a b c d e f g h i j")},
        {"a folder over the caller's buffer is not cut", With(2, "// " + std::string(249, 'x'))},
    };
    for (const auto &c : cases) {
        MessageLog log;
        EXPECT_FALSE(Read(c.text)) << c.what;
        ASSERT_EQ(log.Ids(), std::vector<int>{211}) << c.what;
        EXPECT_EQ(log.seen[0].text, std::string("Setup cannot read from the file\n\n") + kPath + ".");
        EXPECT_EQ(log.seen[0].type, 16u) << c.what;
    }
}

} // namespace
