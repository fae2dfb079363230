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

TEST(ScriptSplitLine, CommandsTokensAndCuts)
{
    const std::string t255(255, 't'), t256(256, 'u'), t300(300, 'v'), f150 = "\\" + std::string(149, 'f');
    const int COPY = SCRIPT_CMD_COPY, SKIP = SCRIPT_LINE_SKIPPED;
    struct Case {
        const char *what;
        std::string line;
        int command;
        std::vector<std::string> tokens; // the count is theirs
        const char *folder = nullptr;
        DWORD cut = 0;
    } cases[] = {
        {"a copy line", "copy d0 d0 f0.bin", COPY, {"copy", "d0", "d0", "f0.bin"}},
        {"keywords in any case", "REGKEYCREATE HKEY_LOCAL_MACHINE a", SCRIPT_CMD_REGKEYCREATE,
         {"REGKEYCREATE", "HKEY_LOCAL_MACHINE", "a"}},
        {"regString", "regstring k v s", SCRIPT_CMD_REGSTRING, {"regstring", "k", "v", "s"}},
        {"regInt", "RegInt k v 1", SCRIPT_CMD_REGINT, {"RegInt", "k", "v", "1"}},
        {"copyShared", "copyshared . . a.dll", SCRIPT_CMD_COPYSHARED, {"copyshared", ".", ".", "a.dll"}},
        {"mkdir alone", "MkDir", SCRIPT_CMD_MKDIR, {"MkDir"}},
        {"createShortcut", "createSHORTCUT a b", SCRIPT_CMD_CREATESHORTCUT, {"createSHORTCUT", "a", "b"}},
        {"remoteExec", "remoteexec p", SCRIPT_CMD_REMOTEEXEC, {"remoteexec", "p"}},
        {"ExecOnUnload", "EXECONUNLOAD p c", SCRIPT_CMD_EXECONUNLOAD, {"EXECONUNLOAD", "p", "c"}},
        {"exit in capitals", "EXIT", SCRIPT_CMD_EXIT, {"EXIT"}},
        {"a comment of its own", "//", SCRIPT_CMD_COMMENT, {"//"}},
        {"a comment glued to its text", "//copy a b c", SCRIPT_CMD_COMMENT, {"//copy", "a", "b", "c"}},
        {"one slash", "/copy", SKIP, {"/copy"}},
        {"a keyword with more after it", "copyx a", SKIP, {"copyx", "a"}},
        {"a keyword cut short", "cop a", SKIP, {"cop", "a"}},
        {"exit with more after it", "exits", SKIP, {"exits"}},
        {"an empty line", "", SKIP, {}},
        {"blanks only", " \t ", SKIP, {}},
        {"blanks and tabs around", " \tcopy\ta \t b\t", COPY, {"copy", "a", "b"}},
        {"quoted tokens hold blanks", "copy \"a b\" 'c d' e", COPY, {"copy", "a b", "c d", "e"}},
        {"the other quote inside quotes", "copy \"it's\" 'say \"x\"'", COPY, {"copy", "it's", "say \"x\""}},
        {"escaped quotes", "copy x\\\"y \"p\\\"q r\" \\'", COPY, {"copy", "x\"y", "p\"q r", "'"}},
        {"an escaped quote, then the closing one", "copy \"a\\\"\" b", COPY, {"copy", "a\"", "b"}},
        {"the byte after an escape is no escape", "copy \"a\\\"\\\"b\"", COPY, {"copy", "a\"\\", "b\""}},
        {"a backslash before anything else", "copy a\\b c\\", COPY, {"copy", "a\\b", "c\\"}},
        {"quotes inside a plain token", "copy a\"b c'd", COPY, {"copy", "a\"b", "c'd"}},
        {"a quote without its end", "copy \"a b", COPY, {"copy", "a b"}},
        {"two quoted tokens glued", "copy 'it''s'", COPY, {"copy", "it", "s"}},
        {"a closing quote needs no blank after it", "copy \"x\"y", COPY, {"copy", "x", "y"}},
        {"an empty quoted token", "copy \"\" x", COPY, {"copy", "", "x"}},
        {"an escaped quote ends the line", "copy x\\\"", COPY, {"copy", "x\""}},
        {"a quoted keyword", "\"copy\" a", COPY, {"copy", "a"}},
        {"ten tokens", "copy 1 2 3 4 5 6 7 8 9", COPY, {"copy", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
        {"a token of 255 bytes fits", "copy " + t255, COPY, {"copy", t255}},
        {"a token of 256 bytes is cut", "copy " + t256, COPY, {"copy", t256.substr(0, 255)}, nullptr, 1u << 1},
        {"a cut fourth token", "copy a b " + t300 + " c", COPY, {"copy", "a", "b", t300.substr(0, 255), "c"},
         nullptr, 1u << 3},
        {"a cut keyword", t256, SKIP, {t256.substr(0, 255)}, nullptr, 1u},
        {"%P becomes the folder", "copy %P\\x a%Pb%P", COPY,
         {"copy", "\\Program Files\\Bulk\\x", "a\\Program Files\\Bulkb\\Program Files\\Bulk"},
         "\\Program Files\\Bulk"},
        {"%P stays without a folder", "copy %P\\x", COPY, {"copy", "%P\\x"}},
        {"%p is not a placeholder", "copy %p", COPY, {"copy", "%p"}, "\\F"},
        {"a folder holding %P goes in once", "copy %P.%P", COPY, {"copy", "A%PB.A%PB"}, "A%PB"},
        {"the command from the replaced slot", "%P a", COPY, {"copy", "a"}, "copy"},
        {"a folder filling the slot exactly", "copy %P", COPY, {"copy", t255}, t255.c_str()},
        {"a folder that no longer fits stops the replacing", "copy %P;%P;%P", COPY,
         {"copy", f150 + ";%P;%P"}, f150.c_str()},
        {"a cut token with %P", "copy %P" + t256.substr(0, 254), COPY, {"copy", "\\F" + t256.substr(0, 253)},
         "\\F", 1u << 1},
        {"the longest line", "copy " + std::string(506, 'w'), COPY, {"copy", std::string(255, 'w')}, nullptr,
         1u << 1},
    };
    for (const Case &c : cases) {
        Split s = SplitOf(c.line, c.folder);
        EXPECT_EQ(s.command, c.command) << c.what;
        EXPECT_EQ(s.count, (int)c.tokens.size()) << c.what;
        EXPECT_EQ(s.cut, c.cut) << c.what;
        std::vector<std::string> slots = c.tokens;
        slots.resize(SCRIPT_MAX_TOKENS);
        EXPECT_EQ(s.slots, slots) << c.what << ": every slot is written";
    }
}

// Eleven tokens, or a line of 512 bytes or more, are refused before any
// slot or out value is written.
TEST(ScriptSplitLine, RefusedLines)
{
    const std::string lines[] = {
        "copy 1 2 3 4 5 6 7 8 9 10",
        "'a' 'b' 'c' 'd' 'e' 'f' 'g' 'h' 'i' 'j' 'k'", // quoted
        "'copy''1''2''3''4''5''6''7''8''9''10'",       // glued by quotes
        "copy'1''2''3''4''5''6''7''8''9''10' 1 2 3 4 5 6 7 8 9 10", // quotes in a plain token glue nothing
        "copy " + std::string(507, 'w'),                            // 512 bytes
        "copy a " + std::string(900, 'w'),
    };
    for (const std::string &line : lines) {
        Split s = SplitOf(line);
        const std::string what = line.substr(0, 60);
        EXPECT_EQ(s.command, SCRIPT_LINE_BAD) << what;
        EXPECT_EQ(s.count, -7) << what;
        EXPECT_EQ(s.cut, 0xdeadu) << what;
        EXPECT_EQ(s.slots, std::vector<std::string>(SCRIPT_MAX_TOKENS, "old")) << what;
    }
    // The out arguments are optional.
    SCRIPT_TOKEN slots[SCRIPT_MAX_TOKENS];
    EXPECT_EQ(ScriptSplitLine("copyShared a b c", nullptr, slots, nullptr, nullptr), SCRIPT_CMD_COPYSHARED);
    EXPECT_STREQ(slots[3], "c");
    EXPECT_STREQ(slots[4], "");
}

} // namespace
