// reader_body_test.cpp - reading script bodies: keywords and their
// command numbers, comments, token slots, "%P" replacement, the
// eleven-token limit and the final "exit" in install and removal mode.
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

int RecordingHandler(char *line, int command, SCRIPT_TOKEN *tokens, void *data)
{
    Call c{line, command, {}, g_dwScriptTokensCut};
    for (int k = 0; k < SCRIPT_MAX_TOKENS; ++k)
        c.slots.emplace_back(tokens[k]);
    static_cast<std::vector<Call> *>(data)->push_back(c);
    return 1;
}

class BodyTest : public ScriptFixture {
protected:
    int Run(const std::string &text, BOOL install = 1, const char *folder = nullptr)
    {
        calls.clear();
        CardFile("Pkg/Body.load", text);
        return ReadScript(kPath, install, folder, RecordingHandler, &calls);
    }
    std::vector<int> Commands() const
    {
        std::vector<int> out;
        for (const auto &c : calls)
            out.push_back(c.command);
        return out;
    }
    std::vector<Call> calls;
};

TEST_F(BodyTest, KeywordsCommandNumbersAndExit)
{
    struct Case {
        const char *line;
        int command; // -1: skipped, no handler call
    } cases[] = {
        {"regKeyCreate HKEY_LOCAL_MACHINE a", 0}, {"COPY . \\Windows x.dll", 3}, {"CopyShared . . a.dll", 4},
        {"execonunload p c", 8},                 {"//Product", 9},              {"Copy2 a b c", -1},
        {"/ / not a comment", -1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Run(CrLf({c.line, "exit"})), 1) << c.line;
        const std::vector<int> want = c.command < 0 ? std::vector<int>{10} : std::vector<int>{c.command, 10};
        EXPECT_EQ(Commands(), want) << c.line;
    }
    EXPECT_EQ(Run(CrLf({"mkdir", "EXIT", "copy . . never.txt"})), 1);
    EXPECT_EQ(Commands(), (std::vector<int>{5, 10})) << "lines after exit are never read";
}

// Slots beyond a line's token count are empty for every line, so a handler
// never sees a token of an earlier line.
TEST_F(BodyTest, SlotsBeyondTheCountAreEmpty)
{
    EXPECT_EQ(Run(CrLf({"copy a b c d e f g h i", "regKeyCreate HKEY_LOCAL_MACHINE", "exit"})), 1);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].slots, (std::vector<std::string>{"regKeyCreate", "HKEY_LOCAL_MACHINE", "", "", "", "",
                                                            "", "", "", ""}));
    EXPECT_EQ(calls[2].slots, (std::vector<std::string>{"exit", "", "", "", "", "", "", "", "", ""}));
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
        {"exact fit of 255 bytes", kLong.c_str(), "%P", kLong},
        {"overflow stops the replacing", k150.c_str(), "%P;%P;%P", k150 + ";%P;%P"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Run(CrLf({"copy " + c.token, "exit"}), 1, c.folder), 1) << c.what;
        ASSERT_EQ(calls.size(), 2u) << c.what;
        EXPECT_EQ(calls[0].slots[1], c.want) << c.what;
        EXPECT_EQ(calls[0].cut, 0u) << c.what;
        EXPECT_EQ(calls[0].line, "copy " + c.token) << c.what << ": the line keeps its %P";
    }
}

TEST_F(BodyTest, ElevenTokensEndReading)
{
    EXPECT_EQ(Run(CrLf({"mkdir", "copy 1 2 3 4 5 6 7 8 9 10", "mkdir", "exit"})), 0);
    EXPECT_EQ(calls.size(), 1u) << "only the line before the bad one was handled";
    EXPECT_EQ(Run(CrLf({"copy 1 2 3 4 5 6 7 8 9", "exit"})), 1) << "ten tokens are fine";
}

// Install mode needs "exit"; removal mode reads to the end of the file.
TEST_F(BodyTest, HowReadingEnds)
{
    std::string text = CrLf({"// a", "mkdir", "copy . . x"});
    EXPECT_EQ(Run(text, 1), 0) << "install mode needs exit";
    EXPECT_EQ(calls.size(), 3u) << "every line was handled before the failure";
    EXPECT_EQ(Run(text, 0), 1) << "removal mode: the end of the file is a normal end";
}

} // namespace
