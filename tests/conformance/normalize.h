// normalize.h - a conformance failure message as the list of expected
// differences names it (runner.cpp; tested on the host in
// tests/platform/conformance_normalize_test.cpp).
#ifndef CE_CONFORMANCE_NORMALIZE_H
#define CE_CONFORMANCE_NORMALIZE_H

#include <cstddef>
#include <string>

namespace conformance {

inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline bool IsWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

inline bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline bool EndsWith(const std::string &s, size_t begin, size_t end, const char *tail)
{
    size_t n = std::char_traits<char>::length(tail);
    return end - begin >= n && s.compare(end - n, n, tail) == 0;
}

// The message without its source locations ("../tests/x.cpp:12: ": a run
// of characters other than spaces and colons ending in .cpp or .h, then a
// line number and ": ").
inline std::string WithoutLocations(const std::string &s)
{
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        size_t end = i;
        while (end < s.size() && !IsSpace(s[end]) && s[end] != ':')
            ++end;
        if (end == i) {
            out += s[i++];
            continue;
        }
        // At least one character before the extension.
        bool source = end < s.size() && s[end] == ':' &&
                      ((end - i > 4 && EndsWith(s, i, end, ".cpp")) || (end - i > 2 && EndsWith(s, i, end, ".h")));
        size_t digits = end + 1;
        while (source && digits < s.size() && s[digits] >= '0' && s[digits] <= '9')
            ++digits;
        if (source && digits > end + 1 && s.compare(digits, 2, ": ") == 0) {
            i = digits + 2;
            continue;
        }
        out.append(s, i, end - i);
        i = end;
    }
    return out;
}

// Each word that is a hexadecimal number ("0x" and digits, or 8 to 16 hex
// digits alone) as <hex>.
inline std::string HexAsMark(const std::string &s)
{
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (!IsWordChar(s[i])) {
            out += s[i++];
            continue;
        }
        size_t end = i;
        while (end < s.size() && IsWordChar(s[end]))
            ++end;
        size_t hexFrom = s.compare(i, 2, "0x") == 0 && end - i > 2 ? i + 2 : i;
        bool hex = true;
        for (size_t k = hexFrom; k < end && hex; ++k)
            hex = IsHexDigit(s[k]);
        if (hex && (hexFrom > i || (end - i >= 8 && end - i <= 16)))
            out += "<hex>";
        else
            out.append(s, i, end - i);
        i = end;
    }
    return out;
}

// One line, without source locations (they move when a test is edited) and
// without hexadecimal values (handles and pointers differ from run to run).
// By hand, not with std::regex: it recurses once a character and overflowed
// the stack on a message with a long word.
inline std::string Normalize(const std::string &message)
{
    std::string s = HexAsMark(WithoutLocations(message)), out;
    for (char c : s) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace conformance

#endif
