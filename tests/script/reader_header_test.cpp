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

TEST_F(HeaderTest, AcceptedHeaders)
{
    struct Case {
        const char *what;
        std::string text;
        HKEY wantRoot;
        const char *wantBitmap;
        BOOL wantFlag;
    } cases[] = {
        // A body that the reader of the whole script would refuse does not matter.
        {"the default header; only six lines are read",
         ScriptHeader().Text() + CrLf({"a b c d e f g h i j k l", "copy"}), HKEY_LOCAL_MACHINE, "Notes.bmp",
         1},
        {"root in small letters", With(1, "// hkey_current_user Software\\Notes"), HKEY_CURRENT_USER,
         "Notes.bmp", 1},
        {"SelectAppLocation=No", With(4, "// SelectAppLocation=No"), HKEY_LOCAL_MACHINE, "Notes.bmp", 0},
    };
    for (const auto &c : cases) {
        MessageLog log;
        g_fSelectAppLocation = !c.wantFlag;
        EXPECT_TRUE(Read(c.text)) << c.what;
        EXPECT_STREQ(product, "Demo Notes 1.0") << c.what << ": quotes keep the blanks in one token";
        EXPECT_EQ(root, c.wantRoot) << c.what;
        EXPECT_STREQ(key, "Software\\Notes") << c.what;
        EXPECT_STREQ(folder, "\\Program Files\\Notes") << c.what;
        EXPECT_STREQ(g_szSetupBitmapName, c.wantBitmap) << c.what;
        EXPECT_EQ(g_fSelectAppLocation, c.wantFlag) << c.what;
        EXPECT_STREQ(note, "Tap the Notes icon to start.")
            << c.what << ": line 6 replaces the text of line 5";
        EXPECT_TRUE(log.seen.empty()) << c.what << ": a good header shows nothing";
    }
}

// Every way a header can fail: 211 with the path, result 0.
TEST_F(HeaderTest, EveryFailureShows211)
{
    auto l = ScriptHeader().Lines();
    auto five = l;
    five.pop_back();
    struct Case {
        const char *what;
        std::string text;
    } cases[] = {
        {"missing file", ""},
        {"five lines", CrLf(five)},
        {"no blank after the slashes", With(0, "//Product")},
        {"key line with two tokens", With(1, "// HKEY_LOCAL_MACHINE")},
        {"bitmap without =", With(3, "// Setup.bmp")},
        {"eleven tokens", With(5, "// a b c d e f g h i j")},
    };
    for (const auto &c : cases) {
        MessageLog log;
        const bool missing = std::string(c.what) == "missing file";
        const char *path = missing ? "\\Storage Card\\Nothing.load" : kPath;
        EXPECT_FALSE(missing ? ReadScriptHeader(path, product, &root, key, folder, note) : Read(c.text))
            << c.what;
        ASSERT_EQ(log.Ids(), std::vector<int>{211}) << c.what;
        EXPECT_EQ(log.seen[0].text, std::string("Setup cannot read from the file\n\n") + path + ".")
            << c.what;
        EXPECT_EQ(log.seen[0].type, 16u) << c.what;
    }
}

// Texts longer than the caller's buffers fail the header (211) rather than
// being cut; the limits are exact.
TEST_F(HeaderTest, TextsOverTheirBuffersFail)
{
    struct Case {
        int line;
        std::string token;
        size_t fits; // the longest length that fits
    } cases[] = {
        {1, "HKEY_LOCAL_MACHINE ", 255}, {2, "", 248}, {3, "a=", 259},
    };
    for (const auto &c : cases) {
        for (size_t len : {c.fits, c.fits + 1}) {
            MessageLog log;
            std::string what =
                "line " + std::to_string(c.line + 1) + " with " + std::to_string(len) + " bytes";
            std::strcpy(g_szSetupBitmapName, "Setup.bmp");
            BOOL ok = Read(With(c.line, "// " + c.token + std::string(len, 'x')));
            EXPECT_EQ(ok != 0, len == c.fits) << what;
            EXPECT_EQ(log.Count(211), len == c.fits ? 0 : 1) << what;
            if (len == c.fits) {
                const char *out[] = {product, key, folder, g_szSetupBitmapName, nullptr, note};
                // The folder is "\Program Files\" + its token.
                EXPECT_EQ(std::strlen(out[c.line]), c.line == 2 ? len + 15 : len)
                    << what << " comes back whole";
            } else if (c.line == 3) {
                EXPECT_STREQ(g_szSetupBitmapName, "Setup.bmp") << what << ": the old name stays";
            }
        }
    }
}

} // namespace
