// xstr_token_test.cpp - the command-line splitter, the field readers,
// trimming and in-place replacement.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/xstr.h"

namespace {

struct Parsed {
    int result;
    int count;
    std::vector<std::string> tokens;
};

Parsed Parse(const std::string &text, int capacity = 10, int title = 0) {
    static char line[512];
    memset(line, 0, sizeof line);
    memcpy(line, text.data(), text.size());
    char *tokens[16] = {};
    Parsed p;
    p.count = -1;
    p.result = XStr_ParseCmdLine(line, tokens, capacity, &p.count, title);
    for (int i = 0; i < p.count && i < 16; ++i) {
        EXPECT_TRUE(tokens[i] >= line && tokens[i] < line + sizeof line) << "token points into the line";
        p.tokens.push_back(tokens[i]);
    }
    return p;
}

TEST(XStrParseCmdLine, Table) {
    struct Row {
        const char *line;
        std::vector<std::string> tokens;
    } rows[] = {
        {"copy \"a b\" c", {"copy", "a b", "c"}},
        {"x\\\"y", {"x\"y"}},
        {"'it''s'", {"it", "s"}},
        {"", {}},
        {"  \t ", {}},
        {"a\"b", {"a\"b"}},                                 // quotes inside a plain token
        {"\"it's a\" 'say \"hi\"'", {"it's a", "say \"hi\""}}, // the other quote inside
        {"\"open ended", {"open ended"}},                    // no closing quote
        {"\"\" x", {"", "x"}},                               // two quotes: empty token
        {"a\\\"", {"a\""}},                                  // escaped quote at the end
        {"\"a\\\"\" b", {"a\"", "b"}},                       // escaped quote, then the delimiter
        {"\"a\\\" b\"", {"a\" b"}},                          // escaped quote inside a quoted token
        {"\"a\\\"\\\"b\"", {"a\"\\", "b\""}},                // byte after an escape is not an escape
        {"a\\b c", {"a\\b", "c"}},                           // backslash before anything else
        {"a\\\" b", {"a\"", "b"}},                           // escaped quote then blank ends plain token
        {" \tone\t\ttwo  ", {"one", "two"}},
        {"\"x\"y", {"x", "y"}},                              // a closing quote needs no blank after it
        {"'a", {"a"}},
        {"\"", {""}},
    };
    for (const Row &r : rows) {
        Parsed p = Parse(r.line);
        EXPECT_EQ(p.result, 1) << "line [" << r.line << "]";
        EXPECT_EQ(p.count, (int)r.tokens.size()) << "line [" << r.line << "]";
        EXPECT_EQ(p.tokens, r.tokens) << "line [" << r.line << "]";
    }
}

TEST(XStrParseCmdLine, TooManyTokens) {
    Parsed p = Parse("w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11", 10);
    EXPECT_EQ(p.result, 0) << "eleven words, capacity 10";
    EXPECT_EQ(p.count, 10) << "count stored although the result is 0";
    ASSERT_EQ(p.tokens.size(), 10u);
    EXPECT_EQ(p.tokens[9], "w10") << "tokens stored so far stay valid";

    Parsed exact = Parse("w1 w2 w3 w4 w5 w6 w7 w8 w9 w10", 10);
    EXPECT_EQ(exact.result, 1) << "ten words fit";
    EXPECT_EQ(exact.count, 10);

    Parsed trailing = Parse("w1 w2 w3 w4 w5 w6 w7 w8 w9 w10   ", 10);
    EXPECT_EQ(trailing.result, 1) << "trailing blanks are not a token";

    Parsed none = Parse("x", 0);
    EXPECT_EQ(none.result, 0) << "capacity 0 and one token";
    EXPECT_EQ(none.count, 0);
}

TEST(XStrParseCmdLine, TitleFlag) {
    Parsed p = Parse("\\Windows\\app.exe -q", 10, 1);
    ASSERT_EQ(p.count, 2);
    EXPECT_EQ(p.tokens[0], "app.exe");
    EXPECT_EQ(p.tokens[1], "-q") << "only the first token";
    Parsed q = Parse("\"\\Program Files\\My App\\run.exe\" x", 10, 1);
    ASSERT_EQ(q.count, 2);
    EXPECT_EQ(q.tokens[0], "run.exe");
    Parsed plain = Parse("\\Windows\\app.exe", 10, 0);
    EXPECT_EQ(plain.tokens[0], "\\Windows\\app.exe") << "flag 0 keeps the path";
    Parsed bare = Parse("app.exe", 10, 1);
    EXPECT_EQ(bare.tokens[0], "app.exe");
    Parsed empty = Parse("", 10, 1);
    EXPECT_EQ(empty.count, 0);
}

TEST(XStrParseCmdLine, CountMayBeNull) {
    char line[] = "a b";
    char *tokens[4];
    EXPECT_EQ(XStr_ParseCmdLine(line, tokens, 4, nullptr, 0), 1);
    EXPECT_STREQ(tokens[1], "b");
}

TEST(XStrBlankDelim, SkipAndFind) {
    const char *s = " \t x y";
    int n = -1;
    EXPECT_EQ(XStr_SkipBlankDelimEx(s, &n), s + 3);
    EXPECT_EQ(n, 3);
    const char *b = "   ";
    EXPECT_EQ(XStr_SkipBlankDelim(b), b + 3) << "only blanks: the terminator";
    EXPECT_EQ(XStr_SkipBlankDelim(nullptr), nullptr);
    EXPECT_EQ(XStr_FindBlankDelim(s + 3), s + 4);
    EXPECT_EQ(XStr_FindBlankDelim("xyz"), nullptr);
    EXPECT_EQ(XStr_FindBlankDelim(nullptr), nullptr);
    const char *c = "a,b";
    EXPECT_EQ(XStr_FindCommaDelim(c), c + 1);
    EXPECT_EQ(XStr_FindCommaDelim("ab"), nullptr);
    EXPECT_EQ(XStr_FindCommaDelim(nullptr), nullptr);
}

TEST(XStrFields, BlankDelimited) {
    char text[] = "one two ";
    char *cursor = text;
    char field[16];
    std::vector<std::string> got;
    while (XStr_GetBlankDelimeteredSubstring(&cursor, field, sizeof field))
        got.push_back(field);
    EXPECT_EQ(got, (std::vector<std::string>{"one", "two", ""}));
    EXPECT_EQ(cursor, nullptr);

    char text2[] = "  alpha";
    cursor = text2;
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(&cursor, nullptr, 0), 1) << "no destination: skip";
    EXPECT_EQ(cursor, nullptr) << "field ran to the end";
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(&cursor, field, sizeof field), 0);
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(nullptr, field, sizeof field), 0);
}

TEST(XStrFields, BlankDelimitedPtr) {
    char text[] = "  ab cd";
    char *cursor = text;
    char *f = XStr_GetBlankDelimeteredSubstringPtr(&cursor);
    EXPECT_EQ(f, text + 2);
    EXPECT_EQ(cursor, text + 4);
    f = XStr_GetBlankDelimeteredSubstringPtr(&cursor);
    EXPECT_EQ(f, text + 5);
    EXPECT_EQ(cursor, nullptr) << "field runs to the end";
    EXPECT_STREQ(text, "  ab cd") << "nothing terminated";
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstringPtr(&cursor), nullptr);
}

TEST(XStrFields, CommaDelimited) {
    char text[] = "a,,b";
    char *cursor = text;
    char field[16];
    std::vector<std::string> got;
    while (XStr_GetCommaDelimeteredSubstring(&cursor, field, sizeof field))
        got.push_back(field);
    EXPECT_EQ(got, (std::vector<std::string>{"a", "", "b"}));

    char text2[] = " x y ,z";
    cursor = text2;
    ASSERT_EQ(XStr_GetCommaDelimeteredSubstring(&cursor, field, sizeof field), 1);
    EXPECT_STREQ(field, " x y ") << "blanks belong to the field";
    EXPECT_EQ(cursor, text2 + 6) << "past the comma";
}

TEST(XStrFields, SizeRule) {
    // A field of size - 1 bytes would fit with its terminator, yet is refused.
    char text[] = "abcd efg";
    char *cursor = text;
    char field[8];
    memset(field, '#', sizeof field);
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(&cursor, field, 5), 0) << "4 bytes, size 5";
    EXPECT_EQ(cursor, text) << "cursor left alone";
    EXPECT_EQ(field[0], '#') << "nothing copied";
    EXPECT_EQ(XStr_GetBlankDelimeteredSubstring(&cursor, field, 6), 1) << "4 bytes, size 6";
    EXPECT_STREQ(field, "abcd");

    char ctext[] = "abcd,efg";
    cursor = ctext;
    memset(field, '#', sizeof field);
    EXPECT_EQ(XStr_GetCommaDelimeteredSubstring(&cursor, field, 5), 0) << "4 bytes, size 5";
    EXPECT_EQ(cursor, ctext);
    EXPECT_EQ(field[0], '#');
    EXPECT_EQ(XStr_GetCommaDelimeteredSubstring(&cursor, field, 6), 1);
    EXPECT_STREQ(field, "abcd");
    EXPECT_EQ(XStr_GetCommaDelimeteredSubstring(&cursor, field, 4), 0) << "3 bytes, size 4";
    EXPECT_EQ(XStr_GetCommaDelimeteredSubstring(&cursor, field, 5), 1);
    EXPECT_STREQ(field, "efg");
    EXPECT_EQ(cursor, nullptr);
}

TEST(XStrTrim, TrimAndStrip) {
    struct Row {
        const char *text;
        const char *trimmed;
        int removed;
        const char *stripped;
        int leading, trailing;
    } rows[] = {
        {"abc", "abc", 0, "abc", 0, 0},
        {"  abc \t ", "  abc", 3, "abc", 2, 3},
        {"", "", 0, "", 0, 0},
        {" \t ", "", 3, "", 3, 0},        // blanks only: all leading
        {"a b", "a b", 0, "a b", 0, 0},
        {"\tx\t", "\tx", 1, "x", 1, 1},
        {"x \n", "x \n", 0, "x \n", 0, 0}, // a line feed is not a blank
    };
    for (const Row &r : rows) {
        char s[32];
        strcpy(s, r.text);
        int removed = -1;
        EXPECT_EQ(XStr_TrimStringEx(s, &removed), (int)strlen(r.trimmed)) << "[" << r.text << "]";
        EXPECT_STREQ(s, r.trimmed) << "[" << r.text << "]";
        EXPECT_EQ(removed, r.removed) << "[" << r.text << "]";

        strcpy(s, r.text);
        int lead = -1, trail = -1;
        EXPECT_EQ(XStr_StripStringEx(s, &lead, &trail), (int)strlen(r.stripped)) << "[" << r.text << "]";
        EXPECT_STREQ(s, r.stripped) << "[" << r.text << "]";
        EXPECT_EQ(lead, r.leading) << "[" << r.text << "]";
        EXPECT_EQ(trail, r.trailing) << "[" << r.text << "]";

        strcpy(s, r.text);
        EXPECT_EQ(XStr_StripString(s), (int)strlen(r.stripped));
        strcpy(s, r.text);
        EXPECT_EQ(XStr_TrimString(s), (int)strlen(r.trimmed));
    }
}

TEST(XStrTrim, CrLfsAnywhere) {
    char s[] = "a\r\nb\rc\n\r\n";
    EXPECT_EQ(XStr_StripStringCRLFs(s), 3);
    EXPECT_STREQ(s, "abc");
    char t[] = "plain";
    EXPECT_EQ(XStr_StripStringCRLFs(t), 5);
    EXPECT_STREQ(t, "plain");
}

TEST(XStrTrim, BlankStringChars) {
    char s[] = "a,b;c,d";
    EXPECT_EQ(XStr_BlankStringChars(s, ",;"), 7);
    EXPECT_STREQ(s, "a b c d");
    char t[] = "abc";
    EXPECT_EQ(XStr_BlankStringChars(t, ""), 3);
    EXPECT_STREQ(t, "abc");
}

TEST(XStrReplace, FitsAndShifts) {
    struct Row {
        const char *text;
        int first, last;
        const char *replacement;
        int size;
        int result;
        const char *expected;
    } rows[] = {
        {"a%1b", 1, 2, "XYZ", 16, 1, "aXYZb"},   // grows
        {"a%1b", 1, 2, "", 16, 1, "ab"},         // shrinks to nothing
        {"%1", 0, 1, "v", 16, 1, "v"},
        {"ab%1", 2, 3, "cd", 16, 1, "abcd"},
        {"%1cd", 0, 1, "ab", 16, 1, "abcd"},
        {"a%1b", 1, 2, "XYZ", 6, 1, "aXYZb"},    // 5 bytes and terminator: fits
        {"a%1b", 1, 2, "XYZ", 5, 0, "a%1b"},     // 5 bytes fill size exactly: refused
        {"a%1b", 1, 2, "XYZW", 6, 0, "a%1b"},
        {"abc", 1, 1, "123", 16, 1, "a123c"},    // a single byte replaced
    };
    for (const Row &r : rows) {
        char buf[64];
        memset(buf, '#', sizeof buf);
        strcpy(buf, r.text);
        char before[64];
        memcpy(before, buf, sizeof buf);
        int got = XStr_ReplaceSubstring(buf, r.size, buf + r.first, buf + r.last, r.replacement);
        EXPECT_EQ(got, r.result) << r.text << " -> " << r.replacement << " size " << r.size;
        EXPECT_STREQ(buf, r.expected) << r.text << " -> " << r.replacement << " size " << r.size;
        if (!got) {
            EXPECT_EQ(memcmp(buf, before, sizeof buf), 0) << "refused: buffer unchanged";
        }
        for (int i = r.size; i < 64; ++i)
            ASSERT_EQ(buf[i], before[i]) << "byte " << i << " past the size changed";
    }
}

TEST(XStrReplace, OverflowLeavesBufferUnchanged) {
    char buf[256];
    strcpy(buf, "path=%1;end");
    char copy[256];
    memcpy(copy, buf, sizeof buf);
    std::string big(300, 'x');
    char *q = strchr(buf, '%');
    EXPECT_EQ(XStr_ReplaceSubstring(buf, sizeof buf, q, q + 1, big.c_str()), 0);
    EXPECT_EQ(memcmp(buf, copy, sizeof buf), 0) << "nothing changed";
}

TEST(XStrReplace, BadArgumentsAreRefused) {
    char buf[32] = "abc";
    char other[8] = "xyz";
    EXPECT_EQ(XStr_ReplaceSubstring(nullptr, 32, buf, buf, "x"), 0);
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 0, buf, buf, "x"), 0) << "size 0";
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 32, buf, buf, nullptr), 0);
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 32, other, other, "x"), 0) << "first outside the buffer";
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 32, buf + 2, buf, "x"), 0) << "last before first";
    EXPECT_EQ(XStr_ReplaceSubstring(buf, 32, buf, buf + 5, "x"), 0) << "last past the string";
    EXPECT_STREQ(buf, "abc");
}

TEST(XStrReplace, ReplacementFromTheSameBuffer) {
    char buf[32] = "%1|value";
    EXPECT_EQ(XStr_ReplaceSubstring(buf, sizeof buf, buf, buf + 1, buf + 3), 1);
    EXPECT_STREQ(buf, "value|value");
}

} // namespace

namespace {

// Random lines of blanks, quotes, backslashes and letters: the splitter
// stays inside the line, every token is a terminated string of it, the
// count never passes the capacity, and a result of 1 means nothing was
// left over.
TEST(XStrParseCmdLine, RandomLinesStayInsideTheLine) {
    const char alphabet[] = " \t\"'\\ab";
    unsigned seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int iter = 0; iter < 20000; ++iter) {
        // Blanks around the line: a scan that ran past the terminator would
        // take them for delimiters and write there.
        char buf[64 + 2];
        memset(buf, ' ', sizeof buf);
        int len = next() % 40;
        char *line = buf + 1;
        for (int i = 0; i < len; ++i)
            line[i] = alphabet[next() % (sizeof alphabet - 1)];
        line[len] = 0;
        std::string original(line);
        int capacity = next() % 12;
        char *tokens[12];
        int count = -1;
        int result = XStr_ParseCmdLine(line, tokens, capacity, &count, next() % 2);
        ASSERT_EQ(buf[0], ' ') << "byte before the line written for [" << original << "]";
        ASSERT_TRUE(count >= 0 && count <= capacity) << "count " << count << " for [" << original << "]";
        for (int t = 0; t < count; ++t) {
            ASSERT_TRUE(tokens[t] >= line && tokens[t] <= line + len) << "token outside [" << original << "]";
            ASSERT_LE(tokens[t] + strlen(tokens[t]), line + len) << "token runs past [" << original << "]";
        }
        for (int i = 1 + len + 1; i < (int)sizeof buf; ++i)
            ASSERT_EQ(buf[i], ' ') << "byte past the line's terminator written for [" << original << "]";
        if (result == 1 && capacity > count) {
            // Splitting again with room to spare finds no more tokens.
            char again[64];
            strcpy(again, original.c_str());
            char *more[12];
            int n2 = -1;
            XStr_ParseCmdLine(again, more, 11, &n2, 0);
            ASSERT_EQ(n2, count) << "same line, larger capacity: [" << original << "]";
        }
    }
}

} // namespace
