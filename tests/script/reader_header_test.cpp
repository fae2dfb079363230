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

class HeaderTest : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        std::strcpy(g_szSetupBitmapName, "Setup.bmp");
        g_fSelectAppLocation = 1;
    }

    // Reads the header of a script holding text; the out buffers start
    // filled with a marker so that untouched values can be seen.
    BOOL Read(const std::string &text)
    {
        CardFile("Pkg/Notes.load", text);
        std::memset(product, '#', sizeof(product));
        product[sizeof(product) - 1] = 0;
        std::strcpy(key, "#");
        std::strcpy(folder, "#");
        std::strcpy(note, "#");
        root = 0xdead;
        return ReadScriptHeader(kPath, product, &root, key, folder, note);
    }

    char product[256];
    char key[256];
    char folder[264];
    char note[256];
    HKEY root = 0;
};

TEST_F(HeaderTest, GivesBackEveryValue)
{
    MessageLog log;
    ScriptHeader h;
    ASSERT_TRUE(Read(h.Text() + CrLf({"exit"})));
    EXPECT_STREQ(product, "Demo Notes 1.0") << "quotes keep the blanks in one token";
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_STREQ(key, "Software\\Notes");
    EXPECT_STREQ(folder, "\\Program Files\\Notes");
    EXPECT_STREQ(g_szSetupBitmapName, "Notes.bmp");
    EXPECT_EQ(g_fSelectAppLocation, 1);
    EXPECT_STREQ(note, "Tap the Notes icon to start.") << "line 6 replaces the text of line 5";
    EXPECT_TRUE(log.seen.empty()) << "a good header shows nothing, saw " << log.seen.size();
}

TEST_F(HeaderTest, AcceptedVariants)
{
    struct Case {
        const char *what;
        std::string rootName, bitmap, location;
        HKEY wantRoot;
        const char *wantBitmap;
        BOOL wantFlag;
    } cases[] = {
        {"root in small letters", "hkey_current_user", "Setup.bmp=Logo.bmp", "SelectAppLocation=No",
         HKEY_CURRENT_USER, "Logo.bmp", 0},
        {"mixed-case root", "Hkey_Local_Machine", "x=Logo.bmp", "SelectAppLocation=Yes", HKEY_LOCAL_MACHINE,
         "Logo.bmp", 1},
        {"only the first = splits", "HKEY_LOCAL_MACHINE", "a=b=c.bmp", "SelectAppLocation=No",
         HKEY_LOCAL_MACHINE, "b=c.bmp", 0},
        {"nothing after =", "HKEY_LOCAL_MACHINE", "Setup.bmp=", "SelectAppLocation=Yes", HKEY_LOCAL_MACHINE,
         "", 1},
    };
    for (const auto &c : cases) {
        MessageLog log;
        ScriptHeader h;
        h.root = c.rootName;
        h.bitmap = c.bitmap;
        h.location = c.location;
        g_fSelectAppLocation = !c.wantFlag;
        EXPECT_TRUE(Read(h.Text())) << c.what;
        EXPECT_EQ(root, c.wantRoot) << c.what;
        EXPECT_STREQ(g_szSetupBitmapName, c.wantBitmap) << c.what;
        EXPECT_EQ(g_fSelectAppLocation, c.wantFlag) << c.what;
        EXPECT_TRUE(log.seen.empty()) << c.what;
    }
}

TEST_F(HeaderTest, NullOutputsAreNotWritten)
{
    MessageLog log;
    CardFile("Pkg/Notes.load", ScriptHeader().Text());
    EXPECT_TRUE(ReadScriptHeader(kPath, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(g_szSetupBitmapName, "Notes.bmp") << "the process-wide values are still set";
}

TEST_F(HeaderTest, LineEndsOfEveryKind)
{
    MessageLog log;
    auto lines = ScriptHeader().Lines();
    std::string text = lines[0] + "\n" + lines[1] + "\r" + lines[2] + "\n\r" + lines[3] + "\r\n" + lines[4] +
                       "\n" + lines[5]; // the last line has no end at all
    ASSERT_TRUE(Read(text));
    EXPECT_STREQ(note, "Tap the Notes icon to start.");
    EXPECT_STREQ(folder, "\\Program Files\\Notes");
}

// Every way a header can fail: 211 with the path, result 0.
TEST_F(HeaderTest, EveryFailureShows211)
{
    auto with = [](int line, const std::string &text) {
        auto l = ScriptHeader().Lines();
        l[line] = text;
        return CrLf(l);
    };
    auto without = [](int line) {
        auto l = ScriptHeader().Lines();
        l.erase(l.begin() + line);
        return CrLf(l);
    };
    std::string lines5 = without(5);
    std::string emptyFirst = "\r\n" + ScriptHeader().Text();
    auto l = ScriptHeader().Lines();
    l.insert(l.begin() + 2, "");
    std::string emptyBetween = CrLf(l);

    struct Case {
        const char *what;
        std::string text;
    } cases[] = {
        {"empty file", ""},
        {"five lines", lines5},
        {"empty line before the header", emptyFirst},
        {"empty line between header lines", emptyBetween},
        {"no blank after the slashes", with(0, "//Product")},
        {"three slashes", with(0, "/// Product")},
        {"product line with three tokens", with(0, "// Demo Notes")},
        {"first token not //", with(0, "## Product")},
        {"key line with two tokens", with(1, "// HKEY_LOCAL_MACHINE")},
        {"root not accepted", with(1, "// HKEY_CLASSES_ROOT Software\\Notes")},
        {"root HKEY_USERS", with(1, "// HKEY_USERS Software\\Notes")},
        {"folder line with three tokens", with(2, "// My Notes")},
        {"bitmap without =", with(3, "// Setup.bmp")},
        {"location in small letters", with(4, "// SelectAppLocation=yes")},
        {"location of another word", with(4, "// SelectAppLocation=Maybe")},
        {"location line empty of its token", with(4, "//")},
        {"note line with three tokens", with(5, "// Tap here")},
        {"eleven tokens", with(5, "// a b c d e f g h i j")},
        {"comment line of one token", with(5, "//")},
    };
    for (const auto &c : cases) {
        MessageLog log;
        EXPECT_FALSE(Read(c.text)) << c.what;
        ASSERT_EQ(log.Ids(), std::vector<int>{211}) << c.what;
        EXPECT_EQ(log.seen[0].text, std::string("Setup cannot read from the file\n\n") + kPath + ".") << c.what;
        EXPECT_EQ(log.seen[0].type, 16u) << c.what;
    }
}

TEST_F(HeaderTest, MissingFileShows211)
{
    MessageLog log;
    EXPECT_FALSE(ReadScriptHeader("\\Storage Card\\Nothing.load", product, &root, key, folder, note));
    ASSERT_EQ(log.Ids(), std::vector<int>{211});
    EXPECT_NE(log.seen[0].text.find("\\Storage Card\\Nothing.load"), std::string::npos) << log.seen[0].text;
}

// Values given back before the failing line stay as they were written;
// later ones are untouched. The bitmap name of a header that fails at line
// 5 is already replaced.
TEST_F(HeaderTest, ValuesBeforeTheFailureStay)
{
    MessageLog log;
    auto l = ScriptHeader().Lines();
    l[4] = "// SelectAppLocation=No!";
    g_fSelectAppLocation = 1;
    EXPECT_FALSE(Read(CrLf(l)));
    EXPECT_STREQ(product, "Demo Notes 1.0");
    EXPECT_STREQ(key, "Software\\Notes");
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_STREQ(folder, "\\Program Files\\Notes");
    EXPECT_STREQ(g_szSetupBitmapName, "Notes.bmp");
    EXPECT_EQ(g_fSelectAppLocation, 1) << "the flag is set only by a good line 5";
    EXPECT_STREQ(note, "#") << "the note is not written";
}

// Texts longer than the caller's buffers fail the header (211) rather than
// being cut; the limits are exact.
TEST_F(HeaderTest, TextsOverTheirBuffersFail)
{
    struct Case {
        const char *what;
        int line;
        std::string token;
        bool ok;
    } cases[] = {
        {"product of 255 bytes", 0, std::string(255, 'p'), true},
        {"product of 256 bytes", 0, std::string(256, 'p'), false},
        {"key of 255 bytes", 1, "HKEY_LOCAL_MACHINE " + std::string(255, 'k'), true},
        {"key of 256 bytes", 1, "HKEY_LOCAL_MACHINE " + std::string(256, 'k'), false},
        {"folder of 248 bytes", 2, std::string(248, 'f'), true},
        {"folder of 249 bytes", 2, std::string(249, 'f'), false},
        {"bitmap of 259 bytes", 3, "a=" + std::string(259, 'b'), true},
        {"bitmap of 260 bytes", 3, "a=" + std::string(260, 'b'), false},
        {"note of 255 bytes", 5, std::string(255, 'n'), true},
        {"note of 256 bytes", 5, std::string(256, 'n'), false},
    };
    for (const auto &c : cases) {
        MessageLog log;
        auto l = ScriptHeader().Lines();
        l[c.line] = "// " + c.token;
        std::strcpy(g_szSetupBitmapName, "Setup.bmp");
        BOOL ok = Read(CrLf(l));
        EXPECT_EQ(ok != 0, c.ok) << c.what;
        EXPECT_EQ(log.Count(211), c.ok ? 0 : 1) << c.what;
        if (c.ok && c.line == 0) {
            EXPECT_EQ(std::strlen(product), 255u) << c.what;
        }
        if (c.ok && c.line == 2) {
            EXPECT_EQ(std::strlen(folder), 263u) << c.what;
        }
        if (c.ok && c.line == 3) {
            EXPECT_EQ(std::strlen(g_szSetupBitmapName), 259u) << c.what;
        }
        if (!c.ok && c.line == 3) {
            EXPECT_STREQ(g_szSetupBitmapName, "Setup.bmp") << c.what << ": the old name stays";
        }
    }
}

TEST_F(HeaderTest, OnlyTheSixLinesAreRead)
{
    MessageLog log;
    // A body that the reader of the whole script would refuse does not matter here.
    std::string text = ScriptHeader().Text() + CrLf({"a b c d e f g h i j k l", "copy"});
    EXPECT_TRUE(Read(text));
    EXPECT_TRUE(log.seen.empty());
}

} // namespace
