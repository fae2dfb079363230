// reader_body_test.cpp - reading script bodies: keywords and their
// command numbers, comments, skipped lines, tokens and their slots, "%P"
// replacement, the eleven-token limit, the final "exit" in install and
// removal mode, and the handler's result.
#include <gtest/gtest.h>

#include <cstring>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

const char *kPath = "\\Storage Card\\Pkg\\Body.load";

// What a handler call received.
struct Call {
    std::string line;
    int command;
    std::vector<std::string> slots; // all ten
    DWORD cut;
};

struct Recorder {
    std::vector<Call> calls;
    int result = 1;       // returned by every call...
    int stopAt = -1;      // ...except call number stopAt, which returns 0
};

int RecordingHandler(char *line, int command, SCRIPT_TOKEN *tokens, void *data)
{
    auto *r = static_cast<Recorder *>(data);
    Call c{line, command, {}, g_dwScriptTokensCut};
    for (int k = 0; k < SCRIPT_MAX_TOKENS; ++k)
        c.slots.emplace_back(tokens[k]);
    r->calls.push_back(c);
    if (int(r->calls.size()) - 1 == r->stopAt)
        return 0;
    return r->result;
}

class BodyTest : public ScriptFixture {
protected:
    int Run(const std::string &text, BOOL install = 1, const char *folder = nullptr)
    {
        CardFile("Pkg/Body.load", text);
        return ReadScript(kPath, install, folder, RecordingHandler, &rec);
    }
    Recorder rec;
};

TEST_F(BodyTest, KeywordsAndCommandNumbers)
{
    struct Case {
        const char *line;
        int command; // -1: skipped, no handler call
    } cases[] = {
        {"regKeyCreate HKEY_LOCAL_MACHINE a", 0}, {"REGKEYCREATE x y", 0},
        {"regString r k x n v", 1},              {"regstring r k x n v", 1},
        {"regInt r k x n 5", 2},                 {"copy . . a.txt", 3},
        {"COPY . \\Windows x.dll", 3},           {"copyShared . . a.dll", 4},
        {"CopyShared . . a.dll", 4},             {"mkdir", 5},
        {"MkDir x", 5},                          {"createShortcut a b c d", 6},
        {"remoteExec p c", 7},                   {"REMOTEEXEC p c", 7},
        {"ExecOnUnload p c", 8},                 {"execonunload p c", 8},
        {"// a comment", 9},                     {"//Product", 9},
        {"//", 9},                               {"///x", 9},
        {"Copy2 a b c", -1},                     {"copy2", -1},
        {"/ / not a comment", -1},               {"rem x", -1},
        {"'copy' . . a", 3},                     {"\"//\" quoted", 9},
    };
    for (const auto &c : cases) {
        rec = Recorder();
        int r = Run(CrLf({c.line, "exit"}));
        EXPECT_EQ(r, 1) << c.line;
        if (c.command < 0) {
            ASSERT_EQ(rec.calls.size(), 1u) << c.line << ": only exit is handled";
            EXPECT_EQ(rec.calls[0].command, 10) << c.line;
        } else {
            ASSERT_EQ(rec.calls.size(), 2u) << c.line;
            EXPECT_EQ(rec.calls[0].command, c.command) << c.line;
            EXPECT_EQ(rec.calls[1].command, 10) << c.line;
        }
    }
}

TEST_F(BodyTest, ExitInAnyCaseEndsReading)
{
    for (const char *exitLine : {"exit", "EXIT", "Exit extra tokens"}) {
        rec = Recorder();
        EXPECT_EQ(Run(CrLf({"mkdir", exitLine, "copy . . never.txt", "mkdir"})), 1) << exitLine;
        ASSERT_EQ(rec.calls.size(), 2u) << exitLine << ": lines after exit are never read";
        EXPECT_EQ(rec.calls[1].command, 10) << exitLine;
    }
}

TEST_F(BodyTest, LinesAreTrimmedAndEmptyOnesSkipped)
{
    std::string text = "\r\n   \r\n\t mkdir  a\t\r\n\r\n\n  // note \t\r\nexit";
    EXPECT_EQ(Run(text), 1);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].line, "mkdir  a") << "blanks inside stay";
    EXPECT_EQ(rec.calls[1].line, "// note");
    EXPECT_EQ(rec.calls[2].line, "exit");
}

TEST_F(BodyTest, TokensQuotesAndEscapes)
{
    EXPECT_EQ(Run(CrLf({"createShortcut '\\Windows\\Start Menu' \"My App.lnk\" . x\\\"y", "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 2u);
    const auto &s = rec.calls[0].slots;
    EXPECT_EQ(s[0], "createShortcut");
    EXPECT_EQ(s[1], "\\Windows\\Start Menu");
    EXPECT_EQ(s[2], "My App.lnk");
    EXPECT_EQ(s[3], ".");
    EXPECT_EQ(s[4], "x\"y") << "a backslash before a quote makes it an ordinary byte";
    EXPECT_EQ(rec.calls[0].line, "createShortcut '\\Windows\\Start Menu' \"My App.lnk\" . x\\\"y")
        << "the handler's line is the line as read, not the split copy";
}

// Slots beyond a line's token count are empty for every line, so a handler
// never sees a token of an earlier line.
TEST_F(BodyTest, SlotsBeyondTheCountAreEmpty)
{
    EXPECT_EQ(Run(CrLf({"copy a b c d e f g h i", "regKeyCreate HKEY_LOCAL_MACHINE", "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].slots[9], "i");
    EXPECT_EQ(rec.calls[1].slots[1], "HKEY_LOCAL_MACHINE");
    for (int k = 2; k < 10; ++k) {
        EXPECT_EQ(rec.calls[1].slots[k], "") << "slot " << k << " of the second line";
    }
    for (int k = 1; k < 10; ++k) {
        EXPECT_EQ(rec.calls[2].slots[k], "") << "slot " << k << " of exit";
    }
}

TEST_F(BodyTest, PlaceholderReplacement)
{
    static const std::string kLong = "\\" + std::string(254, 'f');
    struct Case {
        const char *what;
        const char *folder;
        std::string token;
        std::string want;
    } cases[] = {
        {"folder then path", "\\Program Files\\Dict", "%P\\bin", "\\Program Files\\Dict\\bin"},
        {"two placeholders", "\\Program Files\\Dict", "%P;%P", "\\Program Files\\Dict;\\Program Files\\Dict"},
        {"in the middle", "\\A", "x%Py", "x\\Ay"},
        {"small p is no placeholder", "\\A", "%p\\x", "%p\\x"},
        {"no folder given", nullptr, "%P\\bin", "%P\\bin"},
        {"empty folder", "", "%P\\bin", "\\bin"},
        {"a folder holding %P is not expanded again", "\\a%Pb", "%P", "\\a%Pb"},
        {"exact fit of 255 bytes", kLong.c_str(), "%P", kLong},
    };
    for (const auto &c : cases) {
        rec = Recorder();
        EXPECT_EQ(Run(CrLf({"copy " + c.token, "exit"}), 1, c.folder), 1) << c.what;
        ASSERT_EQ(rec.calls.size(), 2u) << c.what;
        EXPECT_EQ(rec.calls[0].slots[1], c.want) << c.what;
        EXPECT_EQ(rec.calls[0].line, "copy " + c.token) << c.what << ": the line keeps its %P";
    }
}

// A replacement that does not fit in 256 bytes leaves that "%P" and the
// ones after it as they are; this is no error.
TEST_F(BodyTest, PlaceholderOverflowStops)
{
    std::string folder = "\\" + std::string(149, 'f'); // 150 bytes
    EXPECT_EQ(Run(CrLf({"copy %P;%P;%P", "exit"}), 1, folder.c_str()), 1);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].slots[1], folder + ";%P;%P");
    EXPECT_EQ(rec.calls[0].cut, 0u) << "an unreplaced %P is no cut token";
}

TEST_F(BodyTest, ElevenTokensEndReading)
{
    EXPECT_EQ(Run(CrLf({"mkdir", "copy 1 2 3 4 5 6 7 8 9 10", "mkdir", "exit"})), 0);
    EXPECT_EQ(rec.calls.size(), 1u) << "only the line before the bad one was handled";
    rec = Recorder();
    EXPECT_EQ(Run(CrLf({"copy 1 2 3 4 5 6 7 8 9", "exit"})), 1) << "ten tokens are fine";
    EXPECT_EQ(Run(CrLf({"// 1 2 3 4 5 6 7 8 9 10", "exit"}), 0), 0) << "comments are split too";
}

TEST_F(BodyTest, MissingExit)
{
    std::string text = CrLf({"// a", "mkdir", "copy . . x"});
    EXPECT_EQ(Run(text, 1), 0) << "install mode needs exit";
    EXPECT_EQ(rec.calls.size(), 3u) << "every line was handled before the failure";
    rec = Recorder();
    EXPECT_EQ(Run(text, 0), 1) << "removal mode: the end of the file is a normal end";
    EXPECT_EQ(rec.calls.size(), 3u);
    rec = Recorder();
    EXPECT_EQ(Run("", 1), 0) << "an empty script has no exit";
    EXPECT_EQ(Run("", 0), 1) << "an empty log is read to its end";
}

TEST_F(BodyTest, HandlerResult)
{
    rec.result = 7;
    EXPECT_EQ(Run(CrLf({"mkdir", "exit"})), 7) << "the last handler result is returned";
    rec = Recorder();
    rec.stopAt = 1;
    EXPECT_EQ(Run(CrLf({"mkdir", "mkdir", "mkdir", "exit"})), 0);
    EXPECT_EQ(rec.calls.size(), 2u) << "reading stops at the 0";
    rec = Recorder();
    EXPECT_EQ(Run(CrLf({"unknown", "exit"})), 1) << "a skipped line leaves the result as it was";
}

TEST_F(BodyTest, MissingFileFailsSilently)
{
    MessageLog log;
    EXPECT_EQ(ReadScript("\\Storage Card\\none.load", 1, nullptr, RecordingHandler, &rec), 0);
    EXPECT_EQ(ReadScript("\\Storage Card\\none.load", 0, nullptr, RecordingHandler, &rec), 0);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_TRUE(log.seen.empty()) << "the reader shows nothing";
}

// A line longer than 511 bytes comes back in pieces: the first 511 bytes,
// then the rest as a line of its own.
TEST_F(BodyTest, LongLinesComeBackInPieces)
{
    std::string longComment = "// " + std::string(600, 'x');
    EXPECT_EQ(Run(CrLf({longComment, "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 2u) << "the rest (x...) is no keyword and is skipped";
    EXPECT_EQ(rec.calls[0].line.size(), 511u);
    EXPECT_EQ(rec.calls[0].command, 9);
}

// A token longer than 255 bytes is cut to 255 in its slot, and its bit is
// set in g_dwScriptTokensCut while the handler runs.
TEST_F(BodyTest, LongTokensAreCutAndFlagged)
{
    std::string big(300, 'b');
    EXPECT_EQ(Run(CrLf({"copy a " + big + " c", "mkdir", "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].slots[2], std::string(255, 'b'));
    EXPECT_EQ(rec.calls[0].cut, 1u << 2);
    EXPECT_EQ(rec.calls[1].cut, 0u) << "the flag belongs to one line";
    EXPECT_EQ(g_dwScriptTokensCut, 0u) << "and is clear after reading";
    rec = Recorder();
    EXPECT_EQ(Run(CrLf({"copy " + std::string(255, 'a'), "exit"})), 1);
    EXPECT_EQ(rec.calls[0].cut, 0u) << "255 bytes fit";
}

} // namespace
