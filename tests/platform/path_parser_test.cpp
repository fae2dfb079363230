// path_parser_test.cpp - the device path parser alone (platform
// internals, so not part of the tests also built for Windows): how a path
// splits into names, and which names it refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "helpers/testdevice.h"
#include "kernel/files.h"

namespace {

// Each row is a path, whether its last name may be a pattern, and what the
// full parser gives: the error, or the names it splits into (joined by '|')
// and whether a separator ends it. The quick form of a path, taken by the
// calls on a name in a known folder, names what the full parser names or is
// not made at all; QUICK says it must be made (plain paths, the ones a
// removal or an installation gives), the rest may go to the full parser.
TEST(DevicePathParser, SplitsAndRefusesNamesAndTheQuickFormAgrees)
{
    const std::u16string pair = u"\xD83D\xDE00";
    const DWORD kBad = ERROR_INVALID_NAME;
    const struct {
        std::u16string path;
        bool pattern;
        DWORD error;
        std::u16string parts;
        bool trailing, quick;
    } rows[] = {
        {u"\\Program Files\\App\\f.txt", false, 0, u"Program Files|App|f.txt", false, true},
        {u"/A//B/", false, 0, u"A|B", true, true},
        {u"A\\b", false, 0, u"A|b", false, true},
        {u"\\", false, 0, u"", true, false},
        {u"\\A\\..x\\...", false, 0, u"A|..x|...", false, true},
        {u"\\\u00C4\\\u00E9x.txt", false, 0, u"\u00C4|\u00E9x.txt", false, true},
        {u"\\ab\u00E9cd\\e\u00E9f\\gh", false, 0, u"ab\u00E9cd|e\u00E9f|gh", false, true},
        {u"\\\u00C4\\\u00E9" + pair + u".txt", false, 0, u"\u00C4|\u00E9" + pair + u".txt", false, false},
        {u"\\" + pair, false, 0, pair, false, false},
        {u"\\A\\*.t?t", true, 0, u"A|*.t?t", false, false},
        {u"\\A\\.\\b", false, kBad, u"", false, false},
        {u"\\A\\..", false, kBad, u"", false, false},
        {u"\\A\\.", false, kBad, u"", false, false},
        {u"\\A\\b|c", false, kBad, u"", false, false},
        {u"\\A\\b<c", false, kBad, u"", false, false},
        {u"\\ab\\c<d", false, kBad, u"", false, false},
        {u"\\A\\b\"c", false, kBad, u"", false, false},
        {u"\\A\\b\x1f", false, kBad, u"", false, false},
        {u"\\A\\*.txt", false, kBad, u"", false, false},
        {u"\\A\\b?", false, kBad, u"", false, false},
        {u"\\A*\\b", true, kBad, u"", false, false},
        {u"\\A\\b?\\", true, kBad, u"", false, false},
        {u"\\a\xD83D\\b", false, kBad, u"", false, false},
        {u"\\a\xDE00" u"b", false, kBad, u"", false, false},
        {u"\\a\xD83D", false, kBad, u"", false, false},
        {u"", false, ERROR_PATH_NOT_FOUND, u"", false, false},
        {u"\\\\server\\x", false, ERROR_BAD_NETPATH, u"", false, false},
        {u"\\" + std::u16string(259, u'x'), false, kBad, u"", false, false},
        {u"a\\" + std::u16string(400, u'y'), false, kBad, u"", false, false},
        {u"\\" + std::u16string(258, u'x'), false, 0, std::u16string(258, u'x'), false, true},
        {u"a\\" + std::u16string(257, u'y'), false, 0, u"a|" + std::u16string(257, u'y'), false, true},
        {u"a/" + std::u16string(256, u'b'), false, 0, u"a|" + std::u16string(256, u'b'), false, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(cetest::U8(r.path));
        plat::DevicePath p;
        EXPECT_EQ(plat::ParseDevicePath(r.path.c_str(), r.pattern, p), r.error);
        if (!r.error) {
            std::u16string joined;
            for (const std::u16string &part : p.parts)
                joined += (joined.empty() ? u"" : u"|") + part;
            EXPECT_EQ(cetest::U8(joined), cetest::U8(r.parts));
            EXPECT_EQ(p.trailingSep, r.trailing);
        }

        plat::QuickPath q;
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
    plat::DevicePath p;
    EXPECT_EQ(plat::ParseDevicePath(nullptr, false, p), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    plat::QuickPath q;
    EXPECT_FALSE(plat::QuickParse(nullptr, q));
}

} // namespace
