// reader_body_test.cpp - reading script bodies: which lines reach the
// handler, the line it is given beside its tokens, the eleven-token limit
// and the final "exit" in install and removal mode.
#include <gtest/gtest.h>

#include "helpers/scriptkit.h"
#include "script/script.h"

using namespace cetest;

namespace {

// What a handler call received.
struct Call {
    std::string line;
    int command;
    std::string slot1;
    DWORD cut;
};

int RecordingHandler(char *line, int command, SCRIPT_TOKEN *tokens, void *data)
{
    static_cast<std::vector<Call> *>(data)->push_back({line, command, tokens[1], g_dwScriptTokensCut});
    return 1;
}

class BodyTest : public ScriptFixture {
protected:
    int Run(const std::vector<std::string> &lines, BOOL install = 1, const char *folder = nullptr)
    {
        calls.clear();
        CardFile("Pkg/Body.load", CrLf(lines));
        return ReadScript("\\Storage Card\\Pkg\\Body.load", install, folder, RecordingHandler, &calls);
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

// Skipped lines never reach the handler, nor do lines after "exit"; the
// handler gets the line as written (its "%P" kept) and the replaced tokens.
TEST_F(BodyTest, WhatReachesTheHandler)
{
    EXPECT_EQ(Run({"regKeyCreate HKEY_LOCAL_MACHINE a", "Copy2 a b c", "//Product", "/ / not a comment",
                   "  copy %P;%P " + std::string(300, 'c') + "  ", "EXIT", "mkdir"},
                  1, "\\Dict"),
              1);
    EXPECT_EQ(Commands(), (std::vector<int>{0, 9, 3, 10}));
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2].line, "copy %P;%P " + std::string(300, 'c')) << "trimmed, its %P kept";
    EXPECT_EQ(calls[2].slot1, "\\Dict;\\Dict");
    EXPECT_EQ(calls[2].cut, 1u << 2) << "the cut token is made known to the handler";
    EXPECT_EQ(calls[3].cut, 0u) << "and only for its own line";
}

// Install mode needs "exit"; removal mode reads to the end of the file.
// Eleven tokens end the reading as a failure.
TEST_F(BodyTest, HowReadingEnds)
{
    const std::vector<std::string> lines = {"// a", "mkdir", "copy . . x"};
    EXPECT_EQ(Run(lines, 1), 0) << "install mode needs exit";
    EXPECT_EQ(calls.size(), 3u) << "every line was handled before the failure";
    EXPECT_EQ(Run(lines, 0), 1) << "removal mode: the end of the file is a normal end";
    EXPECT_EQ(Run({"mkdir", "copy 1 2 3 4 5 6 7 8 9 10", "mkdir", "exit"}), 0);
    EXPECT_EQ(calls.size(), 1u) << "only the line before the bad one was handled";
    EXPECT_EQ(Run({"copy 1 2 3 4 5 6 7 8 9", "exit"}), 1) << "ten tokens are fine";
}

} // namespace
