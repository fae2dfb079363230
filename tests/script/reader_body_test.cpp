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
    int result = 1;  // returned by every call...
    int stopAt = -1; // ...except call number stopAt, which returns 0
};

int RecordingHandler(char *line, int command, SCRIPT_TOKEN *tokens, void *data)
{
    auto *r = static_cast<Recorder *>(data);
    Call c{line, command, {}, g_dwScriptTokensCut};
    for (int k = 0; k < SCRIPT_MAX_TOKENS; ++k)
        c.slots.emplace_back(tokens[k]);
    r->calls.push_back(c);
    return int(r->calls.size()) - 1 == r->stopAt ? 0 : r->result;
}

class BodyTest : public ScriptFixture {
protected:
    int Run(const std::string &text, BOOL install = 1, const char *folder = nullptr)
    {
        rec = Recorder();
        CardFile("Pkg/Body.load", text);
        return ReadScript(kPath, install, folder, RecordingHandler, &rec);
    }
    std::vector<int> Commands() const
    {
        std::vector<int> out;
        for (const auto &c : rec.calls)
            out.push_back(c.command);
        return out;
    }
    Recorder rec;
};

TEST_F(BodyTest, KeywordsCommandNumbersAndExit)
{
    struct Case {
        const char *line;
        int command; // -1: skipped, no handler call
    } cases[] = {
        {"regKeyCreate HKEY_LOCAL_MACHINE a", 0}, {"regstring r k x n v", 1},
        {"regInt r k x n 5", 2},                 {"COPY . \\Windows x.dll", 3},
        {"CopyShared . . a.dll", 4},             {"MkDir x", 5},
        {"createShortcut a b c d", 6},           {"REMOTEEXEC p c", 7},
        {"execonunload p c", 8},                 {"// a comment", 9},
        {"//Product", 9},                        {"Copy2 a b c", -1},
        {"/ / not a comment", -1},               {"'copy' . . a", 3},
        {"\"//\" quoted", 9},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Run(CrLf({c.line, "exit"})), 1) << c.line;
        const std::vector<int> want = c.command < 0 ? std::vector<int>{10} : std::vector<int>{c.command, 10};
        EXPECT_EQ(Commands(), want) << c.line;
    }
    for (const char *exitLine : {"EXIT", "Exit extra tokens"}) {
        EXPECT_EQ(Run(CrLf({"mkdir", exitLine, "copy . . never.txt", "mkdir"})), 1) << exitLine;
        EXPECT_EQ(Commands(), (std::vector<int>{5, 10})) << exitLine << ": lines after exit are never read";
    }
}

TEST_F(BodyTest, LinesTokensQuotesAndEscapes)
{
    std::string text = "\r\n   \r\n\t mkdir  a\t\r\n\r\n\n  // note \t\r\n"
                       "createShortcut '\\Windows\\Start Menu' \"My App.lnk\" . x\\\"y\r\nexit";
    EXPECT_EQ(Run(text), 1);
    ASSERT_EQ(rec.calls.size(), 4u) << "empty lines are skipped";
    EXPECT_EQ(rec.calls[0].line, "mkdir  a") << "lines are trimmed, blanks inside stay";
    EXPECT_EQ(rec.calls[1].line, "// note");
    EXPECT_EQ(rec.calls[2].line, "createShortcut '\\Windows\\Start Menu' \"My App.lnk\" . x\\\"y")
        << "the handler's line is the line as read, not the split copy";
    EXPECT_EQ(rec.calls[2].slots, (std::vector<std::string>{"createShortcut", "\\Windows\\Start Menu",
                                                            "My App.lnk", ".", "x\"y", "", "", "", "", ""}))
        << "quotes group blanks; a backslash before a quote makes it an ordinary byte";
    EXPECT_EQ(rec.calls[3].line, "exit");
}

// Slots beyond a line's token count are empty for every line, so a handler
// never sees a token of an earlier line.
TEST_F(BodyTest, SlotsBeyondTheCountAreEmpty)
{
    EXPECT_EQ(Run(CrLf({"copy a b c d e f g h i", "regKeyCreate HKEY_LOCAL_MACHINE", "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].slots[9], "i");
    EXPECT_EQ(rec.calls[1].slots[1], "HKEY_LOCAL_MACHINE");
    for (int k = 2; k < 10; ++k)
        EXPECT_EQ(rec.calls[1].slots[k], "") << "slot " << k << " of the second line";
    for (int k = 1; k < 10; ++k)
        EXPECT_EQ(rec.calls[2].slots[k], "") << "slot " << k << " of exit";
}

// "%P" becomes the install folder; a replacement that would not fit in 256
// bytes leaves that "%P" and the ones after it as they are (no error, no
// cut token).
TEST_F(BodyTest, PlaceholderReplacement)
{
    static const std::string kLong = "\\" + std::string(254, 'f'), k150 = "\\" + std::string(149, 'f');
    struct Case {
        const char *what;
        const char *folder;
        std::string token;
        std::string want;
    } cases[] = {
        {"two placeholders", "\\Program Files\\Dict", "%P;%P", "\\Program Files\\Dict;\\Program Files\\Dict"},
        {"in the middle", "\\A", "x%Py", "x\\Ay"},
        {"small p is no placeholder", "\\A", "%p\\x", "%p\\x"},
        {"no folder given", nullptr, "%P\\bin", "%P\\bin"},
        {"empty folder", "", "%P\\bin", "\\bin"},
        {"a folder holding %P is not expanded again", "\\a%Pb", "%P", "\\a%Pb"},
        {"exact fit of 255 bytes", kLong.c_str(), "%P", kLong},
        {"overflow stops the replacing", k150.c_str(), "%P;%P;%P", k150 + ";%P;%P"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Run(CrLf({"copy " + c.token, "exit"}), 1, c.folder), 1) << c.what;
        ASSERT_EQ(rec.calls.size(), 2u) << c.what;
        EXPECT_EQ(rec.calls[0].slots[1], c.want) << c.what;
        EXPECT_EQ(rec.calls[0].cut, 0u) << c.what;
        EXPECT_EQ(rec.calls[0].line, "copy " + c.token) << c.what << ": the line keeps its %P";
    }
}

TEST_F(BodyTest, ElevenTokensEndReading)
{
    EXPECT_EQ(Run(CrLf({"mkdir", "copy 1 2 3 4 5 6 7 8 9 10", "mkdir", "exit"})), 0);
    EXPECT_EQ(rec.calls.size(), 1u) << "only the line before the bad one was handled";
    EXPECT_EQ(Run(CrLf({"copy 1 2 3 4 5 6 7 8 9", "exit"})), 1) << "ten tokens are fine";
    EXPECT_EQ(Run(CrLf({"// 1 2 3 4 5 6 7 8 9 10", "exit"}), 0), 0) << "comments are split too";
}

// Install mode needs "exit"; removal mode reads to the end of the file; a
// missing file fails silently in both. A handler's 0 stops reading, and
// the last handler result is the result.
TEST_F(BodyTest, HowReadingEnds)
{
    std::string text = CrLf({"// a", "mkdir", "copy . . x"});
    EXPECT_EQ(Run(text, 1), 0) << "install mode needs exit";
    EXPECT_EQ(rec.calls.size(), 3u) << "every line was handled before the failure";
    EXPECT_EQ(Run(text, 0), 1) << "removal mode: the end of the file is a normal end";
    EXPECT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(Run("", 1), 0) << "an empty script has no exit";
    EXPECT_EQ(Run("", 0), 1) << "an empty log is read to its end";
    EXPECT_EQ(Run(CrLf({"unknown", "exit"})), 1) << "an unknown line is skipped, not a failure";

    MessageLog log;
    rec = Recorder();
    EXPECT_EQ(ReadScript("\\Storage Card\\none.load", 1, nullptr, RecordingHandler, &rec), 0);
    EXPECT_EQ(ReadScript("\\Storage Card\\none.load", 0, nullptr, RecordingHandler, &rec), 0);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_TRUE(log.seen.empty()) << "the reader shows nothing";

    CardFile("Pkg/Body.load", CrLf({"mkdir", "mkdir", "mkdir", "exit"}));
    rec.stopAt = 1;
    EXPECT_EQ(ReadScript(kPath, 1, nullptr, RecordingHandler, &rec), 0);
    EXPECT_EQ(rec.calls.size(), 2u) << "reading stops at the 0";
    rec = Recorder();
    rec.result = 7;
    EXPECT_EQ(ReadScript(kPath, 1, nullptr, RecordingHandler, &rec), 7) << "the last handler result";
}

// A line longer than 511 bytes comes back in pieces. A token longer than
// 255 bytes is cut to 255 in its slot, its bit set in g_dwScriptTokensCut
// while the handler runs.
TEST_F(BodyTest, LongLinesAndTokens)
{
    EXPECT_EQ(Run(CrLf({"// " + std::string(600, 'x'), "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 2u) << "the rest (x...) is no keyword and is skipped";
    EXPECT_EQ(rec.calls[0].line.size(), 511u);
    EXPECT_EQ(rec.calls[0].command, 9);

    EXPECT_EQ(Run(CrLf({"copy a " + std::string(300, 'b') + " c", "mkdir", "exit"})), 1);
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].slots[2], std::string(255, 'b'));
    EXPECT_EQ(rec.calls[0].cut, 1u << 2);
    EXPECT_EQ(rec.calls[1].cut, 0u) << "the flag belongs to one line";
    EXPECT_EQ(g_dwScriptTokensCut, 0u) << "and is clear after reading";
    EXPECT_EQ(Run(CrLf({"copy " + std::string(255, 'a'), "exit"})), 1);
    EXPECT_EQ(rec.calls[0].cut, 0u) << "255 bytes fit";
}

} // namespace
