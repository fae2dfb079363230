// shortcuts_test.cpp - the products' standard shortcuts: made after each
// run, kept while the executable is counted, removed or re-pointed at
// another installed edition otherwise.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "helpers/testdevice.h"
#include "registry/regpath.h"
#include "registry/shortcuts.h"
#include "setup/setup.h"

#include <string>

using cetest::U16;
using cetest::U8;

namespace {

const char kPrograms[] = "Windows/Start Menu/Programs/";
const char kStartMenu[] = "Windows/Start Menu/";

class ShortcutsTest : public cetest::DeviceFixture {
protected:
    // The Windows CE shortcut text for a target.
    static std::string LinkText(const std::string &target)
    {
        return std::to_string(target.size()) + "#" + target;
    }

    std::string ReadStore(const std::string &rel) { return cetest::ReadHostFile(StoreHost(rel)); }
    bool StoreHas(const std::string &rel) { return cetest::HostExists(StoreHost(rel)); }

    // A REG_SZ value under HKEY_LOCAL_MACHINE, or "<none>".
    static std::string SzValue(const std::string &key, const std::string &name)
    {
        HKEY h = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (LPCWSTR)U16(key).c_str(), 0, 0, &h) != ERROR_SUCCESS)
            return "<none>";
        WCHAR buf[300] = {};
        DWORD cb = sizeof(buf) - sizeof(WCHAR), type = 0;
        LONG r = RegQueryValueExW(h, (LPCWSTR)U16(name).c_str(), NULL, &type, (BYTE *)buf, &cb);
        RegCloseKey(h);
        if (r != ERROR_SUCCESS)
            return "<none>";
        return U8(std::u16string((const char16_t *)buf));
    }

    // A REG_DWORD value of the shared key, or -1.
    static long long SharedValue(const std::string &name)
    {
        HKEY h = 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (LPCWSTR)u"Software\\Apps\\Shared", 0, 0, &h) != ERROR_SUCCESS)
            return -1;
        DWORD v = 0, cb = 4, type = 0;
        LONG r = RegQueryValueExW(h, (LPCWSTR)U16(name).c_str(), NULL, &type, (BYTE *)&v, &cb);
        RegCloseKey(h);
        return r == ERROR_SUCCESS && type == REG_DWORD ? (long long)v : -1;
    }

    static void Count(const std::string &path, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(SharedFileCount(1, path.c_str(), NULL)) << "counting " << path;
    }
    static void Release(const std::string &path)
    {
        DWORD n = 99;
        ASSERT_TRUE(SharedFileCount(0, path.c_str(), &n)) << "releasing " << path;
    }
};

TEST_F(ShortcutsTest, BuildShortcutPathJoinsSpecialFolderAndRow)
{
    const struct {
        int row;
        std::string expected;
    } cases[] = {
        {0, "\\Windows\\Start Menu\\Programs\\Pocket Dravex 3.1.lnk"},
        {1, "\\Windows\\Start Menu\\Programs\\Pocket MISKA 2.0.lnk"},
        {2, "\\Windows\\Start Menu\\Pocket MISKA 2.0.lnk"},
        {3, "\\Windows\\Start Menu\\Programs\\Glyphor\\Layout Manager.lnk"},
        {4, "\\Windows\\Start Menu\\Programs\\Glyphor\\Web Site.lnk"},
    };
    for (const auto &c : cases) {
        WCHAR link[SHORTCUT_PATH_SIZE] = {};
        BuildShortcutPath(c.row, link);
        EXPECT_EQ(U8((const char16_t *)link), c.expected) << "row " << c.row;
    }
    // It appends: what the caller had stays in front.
    WCHAR link[SHORTCUT_PATH_SIZE] = u"X";
    BuildShortcutPath(0, link);
    EXPECT_EQ(U8((const char16_t *)link), "X\\Windows\\Start Menu\\Programs\\Pocket Dravex 3.1.lnk");
}

TEST_F(ShortcutsTest, CountedExecutableKeepsShortcutAndRecordsTarget)
{
    Count("\\Program Files\\Dravex\\Dravex.exe");
    EXPECT_TRUE(UpdateProductShortcuts(1, 0, "\\Program Files\\Dravex", "Pocket Dravex 3.1 Standard"));

    EXPECT_EQ(ReadStore(std::string(kPrograms) + "Pocket Dravex 3.1.lnk"),
              LinkText("\"\\Program Files\\Dravex\\Dravex.exe\""))
        << "the link starts the installed executable, quoted";
    EXPECT_EQ(SzValue("Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard", "Target"),
              "\\Program Files\\Dravex\\Dravex.exe")
        << "Target holds the executable without quotes";
    EXPECT_EQ(SharedValue("\\Pocket Dravex 3.1.lnk"), 1) << "the row's link path receives the count";
    EXPECT_EQ(SharedValue("\\Program Files\\Dravex\\Dravex.exe"), 1) << "the executable's count is untouched";
}

TEST_F(ShortcutsTest, UncountedExecutableLosesItsShortcut)
{
    // The link's full path carries a count that must go with the link.
    Count("\\Windows\\Start Menu\\Programs\\Pocket Dravex 3.1.lnk");
    Count("\\Program Files\\Other.exe"); // the shared key exists
    EXPECT_TRUE(UpdateProductShortcuts(1, 0, "\\Program Files\\Dravex", "Pocket Dravex 3.1 Standard"));

    EXPECT_FALSE(StoreHas(std::string(kPrograms) + "Pocket Dravex 3.1.lnk")) << "an uncounted executable keeps no link";
    EXPECT_EQ(SzValue("Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard", "Target"),
              "\\Program Files\\Dravex\\Dravex.exe")
        << "Target is written whatever the count";
    EXPECT_EQ(SharedValue("\\Windows\\Start Menu\\Programs\\Pocket Dravex 3.1.lnk"), -1)
        << "the full link path's count is deleted";
    EXPECT_EQ(SharedValue("\\Pocket Dravex 3.1.lnk"), -1) << "no count is written for the row";
}

TEST_F(ShortcutsTest, ProductOneMakesBothLinksWithOneTarget)
{
    Count("\\Program Files\\Miska\\Scrivox.exe");
    EXPECT_TRUE(UpdateProductShortcuts(1, 1, "\\Program Files\\Miska", "Pocket MISKA 2.0 Standard"));
    std::string want = LinkText("\"\\Program Files\\Miska\\Scrivox.exe\"");
    EXPECT_EQ(ReadStore(std::string(kPrograms) + "Pocket MISKA 2.0.lnk"), want) << "Programs link";
    EXPECT_EQ(ReadStore(std::string(kStartMenu) + "Pocket MISKA 2.0.lnk"), want) << "Start Menu link";
    EXPECT_EQ(SzValue("Software\\Apps\\Veltrona Parvell\\Pocket MISKA 2.0 Standard", "Target"),
              "\\Program Files\\Miska\\Scrivox.exe");
    EXPECT_FALSE(StoreHas(std::string(kPrograms) + "Pocket Dravex 3.1.lnk")) << "other products' rows are left alone";
}

TEST_F(ShortcutsTest, EditionsShareTheShortcutInBothOrders)
{
    const std::string exeA = "\\Program Files\\MiskaA\\Scrivox.exe";
    const std::string exeB = "\\Program Files\\MiskaB\\Scrivox.exe";
    const std::string link = std::string(kPrograms) + "Pocket MISKA 2.0.lnk";
    const std::string start = std::string(kStartMenu) + "Pocket MISKA 2.0.lnk";

    for (int removeFirst = 0; removeFirst < 2; ++removeFirst) {
        SCOPED_TRACE(removeFirst ? "remove the first edition first" : "remove the second edition first");
        Count(exeA);
        UpdateProductShortcuts(1, 1, "\\Program Files\\MiskaA", "Pocket MISKA 2.0 Standard");
        EXPECT_EQ(ReadStore(link), LinkText("\"" + exeA + "\""));
        Count(exeB);
        UpdateProductShortcuts(1, 1, "\\Program Files\\MiskaB", "Pocket MISKA 2.0 Pro");
        EXPECT_EQ(ReadStore(link), LinkText("\"" + exeB + "\"")) << "installing the second points at it";

        const std::string gone = removeFirst ? exeA : exeB;
        const std::string stays = removeFirst ? exeB : exeA;
        const char *goneName = removeFirst ? "Pocket MISKA 2.0 Standard" : "Pocket MISKA 2.0 Pro";
        const char *staysName = removeFirst ? "Pocket MISKA 2.0 Pro" : "Pocket MISKA 2.0 Standard";
        const char *goneFolder = removeFirst ? "\\Program Files\\MiskaA" : "\\Program Files\\MiskaB";
        const char *staysFolder = removeFirst ? "\\Program Files\\MiskaB" : "\\Program Files\\MiskaA";

        Release(gone);
        UpdateProductShortcuts(0, 1, goneFolder, goneName);
        RegDeleteKeyPath(HKEY_LOCAL_MACHINE, (std::string("Software\\Apps\\Veltrona Parvell\\") + goneName).c_str());
        EXPECT_EQ(ReadStore(link), LinkText("\"" + stays + "\"")) << "re-pointed at the remaining edition";
        EXPECT_EQ(ReadStore(start), LinkText("\"" + stays + "\"")) << "the Start Menu link too";

        EXPECT_EQ(SharedValue("\\Pocket MISKA 2.0.lnk"), 1) << "the row's count stays while an edition is left";

        Release(stays);
        UpdateProductShortcuts(0, 1, staysFolder, staysName);
        EXPECT_EQ(SharedValue("\\Pocket MISKA 2.0.lnk"), -1) << "the last removal takes the row's count away";
        RegDeleteKeyPath(HKEY_LOCAL_MACHINE, (std::string("Software\\Apps\\Veltrona Parvell\\") + staysName).c_str());
        EXPECT_FALSE(StoreHas(link)) << "no edition left: no link";
        EXPECT_FALSE(StoreHas(start)) << "no edition left: no Start Menu link";
    }
}

TEST_F(ShortcutsTest, EditionWhoseNameStartsAnotherIsStillFound)
{
    // "Pocket Dravex 3.1" is the beginning of "Pocket Dravex 3.1 Pro" but
    // another edition: removing Pro must point the link at it.
    Count("\\Program Files\\Base\\Dravex.exe");
    UpdateProductShortcuts(1, 0, "\\Program Files\\Base", "Pocket Dravex 3.1");
    Count("\\Program Files\\Pro\\Dravex.exe");
    UpdateProductShortcuts(1, 0, "\\Program Files\\Pro", "Pocket Dravex 3.1 Pro");
    Release("\\Program Files\\Pro\\Dravex.exe");
    UpdateProductShortcuts(0, 0, "\\Program Files\\Pro", "Pocket Dravex 3.1 Pro");
    EXPECT_EQ(ReadStore(std::string(kPrograms) + "Pocket Dravex 3.1.lnk"),
              LinkText("\"\\Program Files\\Base\\Dravex.exe\""));
}

TEST_F(ShortcutsTest, FindEditionTargetCases)
{
    WCHAR *target = NULL;
    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Standard", 1)) << "no editions yet";
    EXPECT_EQ(target, nullptr) << "untouched on failure";

    WriteProductTarget(u"\\A\\Scrivox.exe", u"Target", "Pocket MISKA 2.0 Standard");
    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Standard", 1)) << "its own key is not another edition";
    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "pocket miska 2.0 standard", 1)) << "its own key, other case";

    // A key of the family without Target is passed over; another family too.
    HKEY h = RegOpenKeyPath("Software\\Apps\\Veltrona Parvell\\Pocket MISKA 2.0 Empty", HKEY_LOCAL_MACHINE, 1);
    ASSERT_NE(h, 0u);
    RegCloseKey(h);
    WriteProductTarget(u"\\D\\Dravex.exe", u"Target", "Pocket Dravex 3.1 Standard");
    EXPECT_TRUE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Pro", 1)) << "the Standard edition is found for Pro";
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(U8((const char16_t *)target), "\"\\A\\Scrivox.exe\"") << "quoted";
    LocalFree(target);
    target = NULL;

    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "Glyphor CE PDA 1.0", 2)) << "the Glyphor product has no family";
    EXPECT_FALSE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Pro", 7)) << "no such product";
}

TEST_F(ShortcutsTest, LongFolderLeavesPlaceholder)
{
    std::string folder = "\\Program Files\\" + std::string(250, 'x');
    Count("\\Program Files\\Dravex\\Dravex.exe");
    UpdateProductShortcuts(1, 0, folder.c_str(), "Pocket Dravex 3.1 Standard");
    EXPECT_EQ(SzValue("Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard", "Target"), "%P\\Dravex.exe")
        << "a target that would pass 260 bytes keeps %P";
}

TEST_F(ShortcutsTest, LinkThatCannotBeMadeChangesNothing)
{
    // Without the Programs folder the link cannot be made.
    ASSERT_TRUE(RemoveDirectoryW(u"\\Windows\\Start Menu\\Programs"));
    Count("\\Program Files\\Dravex\\Dravex.exe");
    EXPECT_TRUE(UpdateProductShortcuts(1, 0, "\\Program Files\\Dravex", "Pocket Dravex 3.1 Standard"));
    EXPECT_EQ(SzValue("Software\\Apps\\Veltrona Parvell\\Pocket Dravex 3.1 Standard", "Target"), "<none>")
        << "no Target for a row that was skipped";
    EXPECT_EQ(SharedValue("\\Pocket Dravex 3.1.lnk"), -1) << "no count for a row that was skipped";
}

TEST_F(ShortcutsTest, GlyphorRowsAreMadeWithoutCountsOrTargetAndGoWithTheProduct)
{
    // Without the Glyphor folder the links cannot be made at all.
    EXPECT_TRUE(UpdateProductShortcuts(1, 2, "\\Program Files\\Glyphor", "Glyphor CE PDA 1.0"));
    EXPECT_FALSE(StoreHas(std::string(kPrograms) + "Glyphor/Layout Manager.lnk"));

    ASSERT_TRUE(CreateDirectoryW(u"\\Windows\\Start Menu\\Programs\\Glyphor", NULL));
    // Installing twice (a reinstallation) keeps the links.
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(UpdateProductShortcuts(1, 2, "\\Program Files\\Glyphor", "Glyphor CE PDA 1.0"));
        EXPECT_EQ(ReadStore(std::string(kPrograms) + "Glyphor/Layout Manager.lnk"),
                  LinkText("\\Windows\\ctlpnl.exe kbdsel.cpl"));
        EXPECT_EQ(ReadStore(std::string(kPrograms) + "Glyphor/Web Site.lnk"),
                  LinkText("\\Windows\\iexplore.exe " + U8((const char16_t *)g_szVendorWebAddress)));
    }
    // The removal takes them away; the folder stays, as shortcut folders do.
    EXPECT_TRUE(UpdateProductShortcuts(0, 2, "\\Program Files\\Glyphor", "Glyphor CE PDA 1.0"));
    EXPECT_FALSE(StoreHas(std::string(kPrograms) + "Glyphor/Layout Manager.lnk"));
    EXPECT_FALSE(StoreHas(std::string(kPrograms) + "Glyphor/Web Site.lnk"));
    EXPECT_TRUE(StoreHas(std::string(kPrograms) + "Glyphor"));
    EXPECT_EQ(SzValue("Software\\Apps\\Veltrona Parvell\\Glyphor CE PDA 1.0", "Target"), "<none>");
    HKEY h = 0;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, 0, &h), ERROR_SUCCESS)
        << "nothing is counted for the Glyphor rows";
}

TEST_F(ShortcutsTest, RemovalWithoutSharedKeyLeavesNoDanglingLink)
{
    // Installed to run from where it is: nothing was ever counted. The
    // removal must not leave a link to the removed program behind.
    EXPECT_FALSE(UpdateProductShortcuts(0, 0, "\\Storage Card", "Pocket Dravex 3.1 Standard"))
        << "the shared key could not be opened";
    EXPECT_FALSE(StoreHas(std::string(kPrograms) + "Pocket Dravex 3.1.lnk"));
    HKEY h = 0;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Shared", 0, 0, &h), ERROR_SUCCESS)
        << "a removal does not create the shared key";
}

TEST_F(ShortcutsTest, EditionTargetStoredWithoutTerminatorIsQuotedWhole)
{
    HKEY h = RegOpenKeyPath("Software\\Apps\\Veltrona Parvell\\Pocket MISKA 2.0 Odd", HKEY_LOCAL_MACHINE, 1);
    ASSERT_NE(h, 0u);
    const char16_t text[] = u"\\Odd\\Scrivox.exe";
    ASSERT_EQ(RegSetValueExW(h, u"Target", 0, REG_SZ, (const BYTE *)text, (sizeof(text) / 2 - 1) * 2), ERROR_SUCCESS);
    RegCloseKey(h);
    WCHAR *target = NULL;
    ASSERT_TRUE(FindEditionTarget(&target, u"Target", "Pocket MISKA 2.0 Pro", 1));
    EXPECT_EQ(U8((const char16_t *)target), "\"\\Odd\\Scrivox.exe\"");
    LocalFree(target);
}

} // namespace
