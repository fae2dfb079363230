// text.h - the device's one case folding and the host's UTF-8 names.
//
// File names, registry names, _wcsicmp and lstrcmpiW all fold case with the
// same table (to small letters, as _wcsicmp does), so that a name found by
// one is found by all.
#ifndef CE_PLATFORM_TEXT_H
#define CE_PLATFORM_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

char16_t FoldCase(char16_t c);
// The capital letter of c (the inverse of FoldCase), for CharUpperW.
char16_t UpperCase(char16_t c);
std::u16string Fold(std::u16string_view s);
// Appends S folded to OUT (no new string for each name of a path).
void AppendFolded(std::u16string &out, std::u16string_view s);
// A hash of S folded, the same for every spelling that folds alike.
uint64_t FoldedHash(std::u16string_view s);
// Compares the folded code units: <0, 0, >0.
int FoldCompare(std::u16string_view a, std::u16string_view b);

// Host names are UTF-8; device names UTF-16 (unpaired surrogates become U+FFFD).
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);
// The same as ToUtf8 into a buffer of SIZE bytes with its terminator (no
// allocation); false, and OUT empty, when it does not fit.
bool ToUtf8Into(std::u16string_view s, char *out, size_t size);

// Text from a host file for an error message: control bytes (and DEL)
// written as \xNN, everything else as it is.
std::string Printable(std::string_view s);

// Reads a small host text file into lines (LF or CR LF ends, the ends
// removed). Refused with a one-line error naming the file and the cause:
// not there or unreadable, not a regular file (a folder, a FIFO, a device
// such as /dev/zero), more than maxBytes, a line longer than maxLine.
bool ReadHostTextFile(const std::string &path, size_t maxBytes, size_t maxLine, std::vector<std::string> &lines,
                      std::string &error);

} // namespace plat

#endif
