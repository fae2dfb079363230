// shortcuts_test.cpp - the products' standard shortcuts: made after each
// run, kept while the executable is counted, re-pointed at another
// installed edition, and the Glyphor rows made without quotes.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "helpers/scriptkit.h"
#include "registry/regpath.h"
#include "registry/shortcuts.h"
#include "setup/setup.h"

#include <string>

using cetest::U16;
using cetest::U8;

namespace {

const std::string kPrograms = "Windows/Start Menu/Programs/";
const uint32_t kHKLM = 0x80000002u;

// The Windows CE shortcut text for a target.
std::string LinkText(const std::string &target)
{
    return std::to_string(target.size()) + "#" + target;
}
std::string Quoted(const std::string &s)
{
    return LinkText("\"" + s + "\"");
}

class ShortcutsTest : public cetest::ScriptFixture {
protected:
    // The "Target" of a product key, or "<none>".
    std::string Target(const std::string &product)
    {
        std::u16string v;
        return ReadString(kHKLM, u"Software\\Apps\\Veltrona Parvell\\" + U16(product), u"Target", v)
                   ? U8(v)
                   : "<none>";
    }
    static void Count(const std::string &path)
    {
        ASSERT_TRUE(SharedFileCount(1, path.c_str(), NULL)) << "counting " << path;
    }
};

// "Pocket Dravex 3.1" is the beginning of "Pocket Dravex 3.1 Pro" but another
// edition: removing Pro must point the link back at it.
TEST_F(ShortcutsTest, CountedExecutableKeepsShortcutAndEditionsTakeItBack)
{
    Count("\\Program Files\\Base\\Dravex.exe");
    EXPECT_TRUE(UpdateProductShortcuts(1, 0, "\\Program Files\\Base", "Pocket Dravex 3.1"));
    const std::string base = Quoted("\\Program Files\\Base\\Dravex.exe");
    EXPECT_EQ(StoreRead(kPrograms + "Pocket Dravex 3.1.lnk"), base)
        << "the link starts the installed executable, quoted";
    EXPECT_EQ(Target("Pocket Dravex 3.1"), "\\Program Files\\Base\\Dravex.exe")
        << "Target holds the executable without quotes";
    EXPECT_EQ(SharedCount("\\Pocket Dravex 3.1.lnk"), 1u) << "the row's link path receives the count";

    Count("\\Program Files\\Pro\\Dravex.exe");
    UpdateProductShortcuts(1, 0, "\\Program Files\\Pro", "Pocket Dravex 3.1 Pro");
    ASSERT_TRUE(SharedFileCount(0, "\\Program Files\\Pro\\Dravex.exe", NULL));
    UpdateProductShortcuts(0, 0, "\\Program Files\\Pro", "Pocket Dravex 3.1 Pro");
    EXPECT_EQ(StoreRead(kPrograms + "Pocket Dravex 3.1.lnk"), base);
}

TEST_F(ShortcutsTest, FindEditionTargetCases)
{
    WCHAR *target = NULL;
    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Standard", 1)) << "no editions yet";

    WriteProductTarget(u"\\A\\Scrivox.exe", u"Target", "Pocket MISKA 2.0 Standard");
    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Standard", 1))
        << "its own key is not another edition";

    // A key of the family without Target is passed over; another family too.
    ASSERT_TRUE(CreateKey(kHKLM, u"Software\\Apps\\Veltrona Parvell\\Pocket MISKA 2.0 Empty"));
    WriteProductTarget(u"\\D\\Dravex.exe", u"Target", "Pocket Dravex 3.1 Standard");
    EXPECT_TRUE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Pro", 1))
        << "Standard is found for Pro";
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(U8((const char16_t *)target), "\"\\A\\Scrivox.exe\"") << "quoted";
    LocalFree(target);
}

TEST_F(ShortcutsTest, GlyphorRowsAreMadeWithoutCountsOrTargetAndGoWithTheProduct)
{
    EXPECT_TRUE(UpdateProductShortcuts(1, 2, "\\Program Files\\Glyphor", "Glyphor CE PDA 1.0"));
    EXPECT_FALSE(StoreExists(kPrograms + "Glyphor/Layout Manager.lnk")) << "no Glyphor folder: no links";

    ASSERT_TRUE(CreateDirectoryW(u"\\Windows\\Start Menu\\Programs\\Glyphor", NULL));
    EXPECT_TRUE(UpdateProductShortcuts(1, 2, "\\Program Files\\Glyphor", "Glyphor CE PDA 1.0"));
    EXPECT_EQ(StoreRead(kPrograms + "Glyphor/Layout Manager.lnk"),
              LinkText("\\Windows\\ctlpnl.exe kbdsel.cpl"))
        << "no quotes round a system program with its argument";
    EXPECT_TRUE(UpdateProductShortcuts(0, 2, "\\Program Files\\Glyphor", "Glyphor CE PDA 1.0"));
    EXPECT_FALSE(StoreExists(kPrograms + "Glyphor/Layout Manager.lnk")) << "the removal takes them away";
    EXPECT_EQ(Target("Glyphor CE PDA 1.0"), "<none>");
    EXPECT_FALSE(KeyExists(kHKLM, u"Software\\Apps\\Shared")) << "nothing is counted for the Glyphor rows";
}

TEST_F(ShortcutsTest, RemovalWithoutSharedKeyLeavesNoDanglingLink)
{
    // Installed to run from where it is: nothing was ever counted. The
    // removal must not leave a link to the removed program behind.
    EXPECT_FALSE(UpdateProductShortcuts(0, 0, "\\Storage Card", "Pocket Dravex 3.1 Standard"))
        << "the shared key could not be opened";
    EXPECT_FALSE(StoreExists(kPrograms + "Pocket Dravex 3.1.lnk"));
    EXPECT_FALSE(KeyExists(kHKLM, u"Software\\Apps\\Shared")) << "a removal does not create the shared key";
}

} // namespace
