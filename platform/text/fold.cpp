// fold.cpp - the device's one case-folding table and UTF-8 <-> UTF-16.
//
// Every name comparison of the device (file names, registry names, _wcsicmp,
// lstrcmpiW) goes through FoldCase, so a name found by one is found by all.
// The table folds to small letters over the BMP ranges that have simple
// one-to-one case pairs: ASCII, Latin-1, Latin Extended-A/B/Additional,
// Greek, Cyrillic, Armenian, Roman numerals, circled and fullwidth letters.
// It is built by the compiler: a program start fills no 256 KB of tables,
// and a run touches only the pages of the letters it compares.
#include "text/text.h"

#include <array>

namespace plat {
namespace {

struct CaseTables {
    std::array<char16_t, 0x10000> lower;
    std::array<char16_t, 0x10000> upper;
};

// Maps [first, last] to c + delta.
constexpr void Shift(CaseTables &t, unsigned first, unsigned last, int delta) {
    for (unsigned c = first; c <= last; ++c)
        t.lower[c] = static_cast<char16_t>(c + delta);
}

// Alternating pairs: the capital at `first` (and every second unit after it)
// is followed by its small letter.
constexpr void Pairs(CaseTables &t, unsigned first, unsigned last) {
    for (unsigned c = first; c < last; c += 2)
        t.lower[c] = static_cast<char16_t>(c + 1);
}

constexpr CaseTables BuildTables() {
    CaseTables t{};
    for (unsigned c = 0; c < 0x10000; ++c)
        t.lower[c] = t.upper[c] = static_cast<char16_t>(c);

    Shift(t, 'A', 'Z', 0x20);
    Shift(t, 0xC0, 0xD6, 0x20);
    Shift(t, 0xD8, 0xDE, 0x20);
    // Latin Extended-A. U+0130 (capital I with dot) and U+0131 (dotless i)
    // are left alone: folding them would make "I" and "i" unequal to
    // themselves in one direction only.
    Pairs(t, 0x100, 0x12F);
    Pairs(t, 0x132, 0x137);
    Pairs(t, 0x139, 0x148);
    Pairs(t, 0x14A, 0x177);
    t.lower[0x178] = 0xFF;
    Pairs(t, 0x179, 0x17E);
    // Latin Extended-B: only the regular runs.
    Pairs(t, 0x1CD, 0x1DC);
    Pairs(t, 0x1DE, 0x1EF);
    Pairs(t, 0x1F8, 0x21F);
    Pairs(t, 0x222, 0x233);
    // Greek.
    t.lower[0x386] = 0x3AC;
    Shift(t, 0x388, 0x38A, 0x25);
    t.lower[0x38C] = 0x3CC;
    Shift(t, 0x38E, 0x38F, 0x3F);
    Shift(t, 0x391, 0x3A1, 0x20);
    Shift(t, 0x3A3, 0x3AB, 0x20);
    Pairs(t, 0x3D8, 0x3EF);
    // Cyrillic.
    Shift(t, 0x400, 0x40F, 0x50);
    Shift(t, 0x410, 0x42F, 0x20);
    Pairs(t, 0x460, 0x481);
    Pairs(t, 0x48A, 0x4BF);
    t.lower[0x4C0] = 0x4CF;
    Pairs(t, 0x4C1, 0x4CE);
    Pairs(t, 0x4D0, 0x52F);
    // Armenian.
    Shift(t, 0x531, 0x556, 0x30);
    // Latin Extended Additional.
    Pairs(t, 0x1E00, 0x1E95);
    Pairs(t, 0x1EA0, 0x1EFF);
    // Roman numerals, circled letters, fullwidth letters.
    Shift(t, 0x2160, 0x216F, 0x10);
    Shift(t, 0x24B6, 0x24CF, 26);
    Shift(t, 0xFF21, 0xFF3A, 0x20);

    // The capital table is the inverse of the small one.
    for (unsigned c = 0; c < 0x10000; ++c)
        if (t.lower[c] != c)
            t.upper[t.lower[c]] = static_cast<char16_t>(c);
    return t;
}

constexpr CaseTables kTables = BuildTables();

const CaseTables &Tables() { return kTables; }

} // namespace

char16_t FoldCase(char16_t c) { return Tables().lower[c]; }

// The capital of c for CharUpperW; not part of name comparison.
char16_t UpperCase(char16_t c) { return Tables().upper[c]; }

std::u16string Fold(std::u16string_view s) {
    const CaseTables &t = Tables();
    std::u16string out(s);
    for (char16_t &c : out)
        c = t.lower[c];
    return out;
}

void AppendFolded(std::u16string &out, std::u16string_view s) {
    const CaseTables &t = Tables();
    size_t at = out.size();
    out.append(s.data(), s.size());
    char16_t *d = out.data() + at;
    for (size_t i = 0; i < s.size(); ++i)
        d[i] = t.lower[d[i]];
}

uint64_t FoldedHash(std::u16string_view s) {
    // FNV-1a over the folded units.
    const CaseTables &t = Tables();
    uint64_t h = 14695981039346656037ull;
    for (char16_t c : s) {
        h ^= t.lower[c];
        h *= 1099511628211ull;
    }
    return h;
}

int FoldCompare(std::u16string_view a, std::u16string_view b) {
    const CaseTables &t = Tables();
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int ca = t.lower[a[i]], cb = t.lower[b[i]];
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {

// Calls put(byte) for each byte of S in UTF-8, unpaired surrogates as
// U+FFFD; stops early when put returns false.
template <class Put> bool EncodeUtf8(std::u16string_view s, Put put) {
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        bool ok;
        if (cp < 0x80) {
            ok = put(cp);
        } else if (cp < 0x800) {
            ok = put(0xC0 | (cp >> 6)) && put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            ok = put(0xE0 | (cp >> 12)) && put(0x80 | ((cp >> 6) & 0x3F)) && put(0x80 | (cp & 0x3F));
        } else {
            ok = put(0xF0 | (cp >> 18)) && put(0x80 | ((cp >> 12) & 0x3F)) && put(0x80 | ((cp >> 6) & 0x3F)) &&
                 put(0x80 | (cp & 0x3F));
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::string ToUtf8(std::u16string_view s) {
    // Most names are ASCII: one unit, one byte.
    size_t ascii = 0;
    while (ascii < s.size() && s[ascii] < 0x80)
        ++ascii;
    if (ascii == s.size()) {
        std::string out(s.size(), '\0');
        for (size_t i = 0; i < s.size(); ++i)
            out[i] = static_cast<char>(s[i]);
        return out;
    }
    std::string out;
    out.reserve(s.size());
    EncodeUtf8(s, [&](uint32_t b) {
        out += static_cast<char>(b);
        return true;
    });
    return out;
}

bool ToUtf8Into(std::u16string_view s, char *out, size_t size) {
    if (size == 0)
        return false;
    // A leading run of ASCII units is its own bytes (names mostly are).
    size_t o = 0;
    while (o < s.size() && s[o] < 0x80 && o + 1 < size) {
        out[o] = static_cast<char>(s[o]);
        ++o;
    }
    s.remove_prefix(o);
    bool fits = EncodeUtf8(s, [&](uint32_t b) {
        if (o + 1 >= size)
            return false;
        out[o++] = static_cast<char>(b);
        return true;
    });
    out[fits ? o : 0] = 0;
    return fits;
}

// Decodes one UTF-8 sequence at s[i]; returns the code point and advances i,
// or returns U+FFFD for a malformed, overlong or surrogate sequence (one
// byte consumed, so decoding resynchronises on the next byte).
static uint32_t DecodeOne(std::string_view s, size_t &i) {
    unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len;
    uint32_t cp, min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < len; ++k) {
        unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += len;
    return cp;
}

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        uint32_t cp = DecodeOne(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

} // namespace plat
