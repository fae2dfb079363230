// ctype.cpp - _isctype, the C runtime's character classes for single bytes.
//
// The classes are those of the "C" locale: only ASCII has letters, digits,
// blanks and punctuation; bytes above 127 belong to no class, so a byte of
// an accented or Cyrillic letter is never taken for a digit or a space.
#include <windows.h>

namespace {

int ClassOf(unsigned c) {
    int m = 0;
    if (c >= 'A' && c <= 'Z')
        m |= _UPPER | 0x0100;
    if (c >= 'a' && c <= 'z')
        m |= _LOWER | 0x0100;
    if (c >= '0' && c <= '9')
        m |= _DIGIT;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))
        m |= _HEX;
    if (c == ' ' || (c >= 9 && c <= 13))
        m |= _SPACE;
    if (c == ' ' || c == '\t')
        m |= _BLANK;
    if (c < 32 || c == 127)
        m |= _CONTROL;
    if ((c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) ||
        (c >= 123 && c <= 126))
        m |= _PUNCT;
    return m;
}

} // namespace

// _isctype: nonzero when c belongs to any class of desc. c is a byte value
// (a negative char is taken as its byte); EOF and values past 255 belong
// to no class.
int _isctype(int c, int desc) {
    if (c == -1 || c < -128 || c > 255)
        return 0;
    return ClassOf(static_cast<unsigned>(c) & 0xFF) & desc;
}
