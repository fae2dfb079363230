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

namespace {

// The quick form of a path, taken by the calls on a name in a known folder,
// names what the full parser names or is not made at all. Each row is a
// path and whether the quick form must be made (plain paths, the ones a
// removal or an installation gives); the rest may go to the full parser.
TEST(DevicePathParser, QuickFormAgreesWithTheFullParse)
{
    const std::u16string pair = u"\xD83D\xDE00";
    const struct {
        std::u16string path;
        bool quick;
    } rows[] = {
        {u"\\Program Files\\App\\f.txt", true},
        {u"/A//B/", true},
        {u"A\\b", true},
        {u"\\A\\..x\\...", true},
        {u"\\\u00C4\\\u00E9x.txt", true},
        {u"\\" + std::u16string(258, u'x'), true},
        {u"a\\" + std::u16string(257, u'y'), true},
        {u"a/" + std::u16string(256, u'b'), true},
        {u"\\ab\u00E9cd\\e\u00E9f\\gh", true},
        {u"\\ab\\c<d", false},
        {u"a\\" + std::u16string(400, u'y'), false},
        {u"\\", false},
        {u"", false},
        {u"\\\\server\\x", false},
        {u"\\" + std::u16string(259, u'x'), false},
        {u"\\A\\.\\b", false},
        {u"\\A\\..", false},
        {u"\\A\\.", false},
        {u"\\A\\b|c", false},
        {u"\\A\\*.txt", false},
        {u"\\A\\b?", false},
        {u"\\a\xD83D\\b", false},
        {u"\\" + pair, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(cetest::U8(r.path));
        plat::QuickPath q;
        plat::DevicePath p;
        bool quick = plat::QuickParse(r.path.c_str(), q);
        uint32_t error = plat::ParseDevicePath(r.path.c_str(), false, p);
        if (r.quick) {
            EXPECT_TRUE(quick);
        }
        if (!quick)
            continue;
        ASSERT_EQ(error, 0u);
        EXPECT_EQ(cetest::U8(std::u16string(q.All())), cetest::U8(plat::DevicePathText(p)));
        EXPECT_EQ(q.names, p.parts.size());
        ASSERT_FALSE(p.parts.empty());
        EXPECT_EQ(cetest::U8(std::u16string(q.Last())), cetest::U8(p.parts.back()));
        EXPECT_EQ(q.trailingSep, p.trailingSep);
        std::u16string folder;
        for (size_t k = 0; k + 1 < p.parts.size(); ++k)
            folder += u"\\" + p.parts[k];
        EXPECT_EQ(cetest::U8(std::u16string(q.Folder())), cetest::U8(folder));
        // The path as given up to the separators before its last name
        // names the same folder.
        std::u16string rawFolder = r.path.substr(0, q.rawFolder);
        ASSERT_LT(q.rawFolder, r.path.size());
        EXPECT_TRUE(r.path[q.rawFolder] == u'\\' || r.path[q.rawFolder] == u'/');
        if (q.names > 1) {
            plat::QuickPath f;
            ASSERT_TRUE(plat::QuickParse(rawFolder.c_str(), f));
            EXPECT_EQ(cetest::U8(std::u16string(f.All())), cetest::U8(folder));
        } else {
            EXPECT_EQ(q.rawFolder, 0u);
        }
    }
    plat::QuickPath q;
    EXPECT_FALSE(plat::QuickParse(nullptr, q));
}

} // namespace
