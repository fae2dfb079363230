// reader_split_test.cpp - ScriptSplitLine on its own: the command number of
// a line, its tokens in the ten slots (quotes, escapes, blanks), the cut
// bits of tokens longer than a slot, "%P" replacement, and the lines it
// refuses (eleven tokens, 512 bytes and more).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/script.h"

namespace {

struct Split {
    int command;
    int count;
    DWORD cut;
    std::vector<std::string> slots; // all ten
};

// Splits LINE into slots that hold a leftover of an earlier line, so that a
// slot the call does not write shows.
Split SplitOf(const std::string &line, const char *folder = nullptr)
{
    SCRIPT_TOKEN slots[SCRIPT_MAX_TOKENS];
    for (auto &slot : slots)
        strcpy(slot, "old");
    Split s{0, -7, 0xdead, {}};
    s.command = ScriptSplitLine(line.c_str(), folder, slots, &s.count, &s.cut);
    for (const auto &slot : slots)
        s.slots.emplace_back(slot);
    return s;
}

std::vector<std::string> Slots(std::vector<std::string> tokens)
{
    tokens.resize(SCRIPT_MAX_TOKENS);
    return tokens;
}

TEST(ScriptSplitLine, CommandsTokensAndCuts)
{
    const std::string t255(255, 't'), t256(256, 'u'), t300(300, 'v');
    struct Case {
        const char *what;
        std::string line;
        const char *folder;
        int command;
        int count;
        DWORD cut;
        std::vector<std::string> tokens;
    } cases[] = {
        {"a copy line", "copy d0 d0 f0.bin", nullptr, SCRIPT_CMD_COPY, 4, 0, {"copy", "d0", "d0", "f0.bin"}},
        {"keywords in any case", "REGKEYCREATE HKEY_LOCAL_MACHINE a", nullptr, SCRIPT_CMD_REGKEYCREATE, 3, 0,
         {"REGKEYCREATE", "HKEY_LOCAL_MACHINE", "a"}},
        {"regString", "regstring k v s", nullptr, SCRIPT_CMD_REGSTRING, 4, 0, {"regstring", "k", "v", "s"}},
        {"regInt", "RegInt k v 1", nullptr, SCRIPT_CMD_REGINT, 4, 0, {"RegInt", "k", "v", "1"}},
        {"copyShared", "copyshared . . a.dll", nullptr, SCRIPT_CMD_COPYSHARED, 4, 0, {"copyshared", ".", ".", "a.dll"}},
        {"mkdir alone", "MkDir", nullptr, SCRIPT_CMD_MKDIR, 1, 0, {"MkDir"}},
        {"createShortcut", "createSHORTCUT a b", nullptr, SCRIPT_CMD_CREATESHORTCUT, 3, 0, {"createSHORTCUT", "a", "b"}},
        {"remoteExec", "remoteexec p", nullptr, SCRIPT_CMD_REMOTEEXEC, 2, 0, {"remoteexec", "p"}},
        {"ExecOnUnload", "EXECONUNLOAD p c", nullptr, SCRIPT_CMD_EXECONUNLOAD, 3, 0, {"EXECONUNLOAD", "p", "c"}},
        {"exit in capitals", "EXIT", nullptr, SCRIPT_CMD_EXIT, 1, 0, {"EXIT"}},
        {"a comment of its own", "//", nullptr, SCRIPT_CMD_COMMENT, 1, 0, {"//"}},
        {"a comment glued to its text", "//copy a b c", nullptr, SCRIPT_CMD_COMMENT, 4, 0, {"//copy", "a", "b", "c"}},
        {"one slash", "/copy", nullptr, SCRIPT_LINE_SKIPPED, 1, 0, {"/copy"}},
        {"a keyword with more after it", "copyx a", nullptr, SCRIPT_LINE_SKIPPED, 2, 0, {"copyx", "a"}},
        {"a keyword cut short", "cop a", nullptr, SCRIPT_LINE_SKIPPED, 2, 0, {"cop", "a"}},
        {"exit with more after it", "exits", nullptr, SCRIPT_LINE_SKIPPED, 1, 0, {"exits"}},
        {"an empty line", "", nullptr, SCRIPT_LINE_SKIPPED, 0, 0, {}},
        {"blanks only", " \t ", nullptr, SCRIPT_LINE_SKIPPED, 0, 0, {}},
        {"blanks and tabs around", " \tcopy\ta \t b\t", nullptr, SCRIPT_CMD_COPY, 3, 0, {"copy", "a", "b"}},
        {"quoted tokens hold blanks", "copy \"a b\" 'c d' e", nullptr, SCRIPT_CMD_COPY, 4, 0,
         {"copy", "a b", "c d", "e"}},
        {"the other quote inside quotes", "copy \"it's\" 'say \"x\"'", nullptr, SCRIPT_CMD_COPY, 3, 0,
         {"copy", "it's", "say \"x\""}},
        {"escaped quotes", "copy x\\\"y \"p\\\"q r\" \\'", nullptr, SCRIPT_CMD_COPY, 4, 0,
         {"copy", "x\"y", "p\"q r", "'"}},
        {"a backslash before anything else", "copy a\\b c\\", nullptr, SCRIPT_CMD_COPY, 3, 0,
         {"copy", "a\\b", "c\\"}},
        {"quotes inside a plain token", "copy a\"b c'd", nullptr, SCRIPT_CMD_COPY, 3, 0, {"copy", "a\"b", "c'd"}},
        {"a quote without its end", "copy \"a b", nullptr, SCRIPT_CMD_COPY, 2, 0, {"copy", "a b"}},
        {"two quoted tokens glued", "copy 'it''s'", nullptr, SCRIPT_CMD_COPY, 3, 0, {"copy", "it", "s"}},
        {"an empty quoted token", "copy \"\" x", nullptr, SCRIPT_CMD_COPY, 3, 0, {"copy", "", "x"}},
        {"an escaped quote ends the line", "copy x\\\"", nullptr, SCRIPT_CMD_COPY, 2, 0, {"copy", "x\""}},
        {"a quoted keyword", "\"copy\" a", nullptr, SCRIPT_CMD_COPY, 2, 0, {"copy", "a"}},
        {"ten tokens", "copy 1 2 3 4 5 6 7 8 9", nullptr, SCRIPT_CMD_COPY, 10, 0,
         {"copy", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
        {"a token of 255 bytes fits", "copy " + t255, nullptr, SCRIPT_CMD_COPY, 2, 0, {"copy", t255}},
        {"a token of 256 bytes is cut", "copy " + t256, nullptr, SCRIPT_CMD_COPY, 2, 1u << 1,
         {"copy", t256.substr(0, 255)}},
        {"a cut fourth token", "copy a b " + t300 + " c", nullptr, SCRIPT_CMD_COPY, 5, 1u << 3,
         {"copy", "a", "b", t300.substr(0, 255), "c"}},
        {"a cut keyword", t256, nullptr, SCRIPT_LINE_SKIPPED, 1, 1u, {t256.substr(0, 255)}},
        {"%P becomes the folder", "copy %P\\x a%Pb%P", "\\Program Files\\Bulk", SCRIPT_CMD_COPY, 3, 0,
         {"copy", "\\Program Files\\Bulk\\x", "a\\Program Files\\Bulkb\\Program Files\\Bulk"}},
        {"%P stays without a folder", "copy %P\\x", nullptr, SCRIPT_CMD_COPY, 2, 0, {"copy", "%P\\x"}},
        {"%p is not a placeholder", "copy %p", "\\F", SCRIPT_CMD_COPY, 2, 0, {"copy", "%p"}},
        {"a folder holding %P goes in once", "copy %P.%P", "A%PB", SCRIPT_CMD_COPY, 2, 0, {"copy", "A%PB.A%PB"}},
        {"the command from the replaced slot", "%P a", "copy", SCRIPT_CMD_COPY, 2, 0, {"copy", "a"}},
        {"a cut token with %P", "copy %P" + t256.substr(0, 254), "\\F", SCRIPT_CMD_COPY, 2, 1u << 1,
         {"copy", "\\F" + t256.substr(0, 253)}},
        {"the longest line", "copy " + std::string(506, 'w'), nullptr, SCRIPT_CMD_COPY, 2, 1u << 1,
         {"copy", std::string(255, 'w')}},
    };
    for (const Case &c : cases) {
        Split s = SplitOf(c.line, c.folder);
        EXPECT_EQ(s.command, c.command) << c.what;
        EXPECT_EQ(s.count, c.count) << c.what;
        EXPECT_EQ(s.cut, c.cut) << c.what;
        EXPECT_EQ(s.slots, Slots(c.tokens)) << c.what << ": every slot is written";
    }
}

// Eleven tokens, or a line of 512 bytes or more, are refused before any
// slot or out value is written.
TEST(ScriptSplitLine, RefusedLines)
{
    struct Case {
        const char *what;
        std::string line;
    } cases[] = {
        {"eleven tokens", "copy 1 2 3 4 5 6 7 8 9 10"},
        {"eleven quoted tokens", "'a' 'b' 'c' 'd' 'e' 'f' 'g' 'h' 'i' 'j' 'k'"},
        {"eleven tokens glued by quotes", "'copy''1''2''3''4''5''6''7''8''9''10'"},
        {"quotes in a plain token glue nothing", "copy'1''2''3''4''5''6''7''8''9''10' 1 2 3 4 5 6 7 8 9 10"},
        {"a line of 512 bytes", "copy " + std::string(507, 'w')},
        {"a longer line", "copy a " + std::string(900, 'w')},
    };
    for (const Case &c : cases) {
        Split s = SplitOf(c.line);
        EXPECT_EQ(s.command, SCRIPT_LINE_BAD) << c.what;
        EXPECT_EQ(s.count, -7) << c.what;
        EXPECT_EQ(s.cut, 0xdeadu) << c.what;
        EXPECT_EQ(s.slots, std::vector<std::string>(SCRIPT_MAX_TOKENS, "old")) << c.what;
    }
}

// The out arguments are optional.
TEST(ScriptSplitLine, WithoutOutArguments)
{
    SCRIPT_TOKEN slots[SCRIPT_MAX_TOKENS];
    EXPECT_EQ(ScriptSplitLine("copyShared a b c", nullptr, slots, nullptr, nullptr), SCRIPT_CMD_COPYSHARED);
    EXPECT_STREQ(slots[3], "c");
    EXPECT_STREQ(slots[4], "");
}

} // namespace
