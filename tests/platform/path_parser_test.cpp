// path_parser_test.cpp - the device path parser alone (platform
// internals, so not part of the tests also built for Windows): how a path
// splits into names, and which names it refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "helpers/testdevice.h"
#include "kernel/files.h"

namespace {

// The parser alone: each row is a path, whether its last name may be a
// pattern, and the error (0: the names it splits into, joined by '|').
TEST(DevicePathParser, SplitsAndRefusesNames)
{
    const std::u16string pair = u"\xD83D\xDE00";
    const struct {
        std::u16string path;
        bool pattern;
        DWORD error;
        std::u16string parts;
        bool trailing;
    } rows[] = {
        {u"\\Program Files\\App\\f.txt", false, 0, u"Program Files|App|f.txt", false},
        {u"/A//B/", false, 0, u"A|B", true},
        {u"\\", false, 0, u"", true},
        {u"\\A\\..x\\...", false, 0, u"A|..x|...", false},
        {u"\\\u00C4\\\u00E9" + pair + u".txt", false, 0, u"\u00C4|\u00E9" + pair + u".txt", false},
        {u"\\A\\*.t?t", true, 0, u"A|*.t?t", false},
        {u"\\A\\.\\b", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\..", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\b|c", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\b<c", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\b\"c", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\b\x1f", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\*.txt", false, ERROR_INVALID_NAME, u"", false},
        {u"\\A*\\b", true, ERROR_INVALID_NAME, u"", false},
        {u"\\A\\b?\\", true, ERROR_INVALID_NAME, u"", false},
        {u"\\a\xD83D\\b", false, ERROR_INVALID_NAME, u"", false},
        {u"\\a\xDE00" u"b", false, ERROR_INVALID_NAME, u"", false},
        {u"\\a\xD83D", false, ERROR_INVALID_NAME, u"", false},
        {u"", false, ERROR_PATH_NOT_FOUND, u"", false},
        {u"\\\\server\\x", false, ERROR_BAD_NETPATH, u"", false},
        {u"\\" + std::u16string(259, u'x'), false, ERROR_INVALID_NAME, u"", false},
        {u"\\" + std::u16string(258, u'x'), false, 0, std::u16string(258, u'x'), false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(cetest::U8(r.path));
        plat::DevicePath p;
        EXPECT_EQ(plat::ParseDevicePath(r.path.c_str(), r.pattern, p), r.error);
        if (r.error)
            continue;
        std::u16string joined;
        for (const std::u16string &part : p.parts)
            joined += (joined.empty() ? u"" : u"|") + part;
        EXPECT_EQ(cetest::U8(joined), cetest::U8(r.parts));
        EXPECT_EQ(p.trailingSep, r.trailing);
    }
    plat::DevicePath p;
    EXPECT_EQ(plat::ParseDevicePath(nullptr, false, p), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
}

} // namespace
