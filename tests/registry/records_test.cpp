// records_test.cpp - writing, reading and deleting install records, with the
// messages they show.
#include <windows.h>

#include <string>

#include "helpers/scriptkit.h"
#include "kernel/handles.h"
#include "registry/records.h"

using cetest::U16;
using cetest::U8;

namespace {

const char kText209[] = "Setup cannot write uninstallation information to the registry. "
                        "You will not be able to uninstall the application.";
const char kText210[] = "Setup cannot read uninstallation information from the registry. "
                        "The application cannot be uninstalled.";
const char kText214[] = "Setup cannot read uninstallation information from the registry. "
                        "Automatic reinstall is not possible.";
const uint32_t kHKLM = 0x80000002u;

std::string Sz(const std::u16string &s)
{
    return std::string(reinterpret_cast<const char *>(s.c_str()), (s.size() + 1) * 2);
}

std::u16string ProductPath(const char *product)
{
    return u"Software\\Apps\\Veltrona Parvell\\" + U16(product);
}

// Output buffers filled with a mark, so untouched outputs can be seen.
struct Outputs {
    char folder[260] = "#", unload[260] = "#";
    DWORD copyFiles = 0xabababab, space = 0xcdcdcdcd;
    WCHAR language[64] = u"#";
};

class Records : public cetest::ScriptFixture {
protected:
    void TearDown() override
    {
        EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "a key was left open";
        cetest::ScriptFixture::TearDown();
    }

    void ExpectOneMessage(const char *text, UINT type, const std::string &when)
    {
        ASSERT_EQ(log.seen.size(), 1u) << when;
        EXPECT_EQ(log.seen[0].text, text) << when;
        EXPECT_EQ(log.seen[0].type, type) << when;
        log.seen.clear();
    }
    BOOL Read(const char *product, BOOL reinstall, Outputs &o)
    {
        return ReadInstallRecord(product, reinstall, o.folder, &o.copyFiles, o.unload, &o.space, o.language);
    }

    cetest::MessageLog log;
};

TEST_F(Records, WrittenRecordHoldsFiveTypedValuesAndReadsBack)
{
    ASSERT_TRUE(WriteInstallRecord("Pocket Dravex 3.1", "\\Program Files\\Dravex", 1,
                                   "\\Program Files\\Dravex\\Pocket Dravex 3.1.unload", 123456, u"Russian"));
    DWORD space = 123456;
    const struct {
        const char16_t *name;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {u"InstallFolder", REG_SZ, Sz(u"\\Program Files\\Dravex")},
        {u"DstDiskSpaceReq", REG_DWORD, std::string(reinterpret_cast<char *>(&space), 4)},
        {u"Language", REG_SZ, Sz(u"Russian")},
    };
    for (const auto &row : rows) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_EQ(QueryValue(kHKLM, ProductPath("Pocket Dravex 3.1"), row.name, &type, &bytes), ERROR_SUCCESS)
            << U8(row.name);
        EXPECT_EQ(type, row.type) << U8(row.name);
        EXPECT_EQ(bytes, row.bytes) << U8(row.name);
    }
    Outputs o;
    ASSERT_TRUE(Read("POCKET DRAVEX 3.1", 1, o)) << "names ignore case";
    EXPECT_STREQ(o.unload, "\\Program Files\\Dravex\\Pocket Dravex 3.1.unload");
    EXPECT_EQ(o.copyFiles, 1u);
    EXPECT_EQ(o.space, 123456u);
    EXPECT_EQ(std::u16string(o.language), u"Russian");
    EXPECT_TRUE(log.seen.empty()) << "no message on success";
}

// A record missing one of its four values fails (210, or 214 when
// reinstalling) and fills what it read; a missing language reads as UNKNOWN
// and is no failure.
TEST_F(Records, IncompleteRecordsAndAMissingLanguage)
{
    const struct {
        const char16_t *removed;
        BOOL reinstall;
    } rows[] = {{u"CopyFiles", 0}, {u"InstallFolder", 1}, {u"UnloadFileName", 0}, {u"DstDiskSpaceReq", 1},
                {u"Language", 0}};
    for (const auto &r : rows) {
        const std::u16string m = r.removed;
        const std::string what = U8(m);
        ASSERT_TRUE(WriteInstallRecord("Partial", "\\Program Files\\P", 1, "\\Program Files\\P\\Partial.unload",
                                       77, u"Greek"));
        HKEY k = 0;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductPath("Partial").c_str(), 0, 0, &k), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueW(k, r.removed), ERROR_SUCCESS) << what;
        RegCloseKey(k);
        Outputs o;
        if (m == u"Language") {
            EXPECT_TRUE(Read("Partial", r.reinstall, o)) << what;
            EXPECT_TRUE(log.seen.empty()) << what;
            EXPECT_EQ(std::u16string(o.language), u"UNKNOWN") << what;
            continue;
        }
        EXPECT_FALSE(Read("Partial", r.reinstall, o)) << what;
        ExpectOneMessage(r.reinstall ? kText214 : kText210, r.reinstall ? 48u : 16u, what);
        EXPECT_STREQ(o.folder, m == u"InstallFolder" ? "#" : "\\Program Files\\P") << what;
        EXPECT_STREQ(o.unload, m == u"UnloadFileName" ? "#" : "\\Program Files\\P\\Partial.unload") << what;
        EXPECT_EQ(o.copyFiles, m == u"CopyFiles" ? 0xababababu : 1u) << what;
        EXPECT_EQ(o.space, m == u"DstDiskSpaceReq" ? 0xcdcdcdcdu : 77u) << what;
    }
}

TEST_F(Records, AStoredTextWithoutTerminatorComesBackCutAndTerminated)
{
    ASSERT_TRUE(WriteInstallRecord("Odd", "\\x", 1, "\\x\\Odd.unload", 1, u"Polish"));
    std::u16string folder(260, u'F'); // 520 bytes, no terminator: fills the 260-byte buffer
    ASSERT_TRUE(PutValue(kHKLM, ProductPath("Odd"), u"InstallFolder", REG_SZ,
                         std::string(reinterpret_cast<const char *>(folder.data()), 520)));
    Outputs o;
    EXPECT_TRUE(Read("Odd", 0, o));
    EXPECT_EQ(std::string(o.folder), std::string(259, 'F'));
}

TEST_F(Records, DeletingRecords)
{
    ASSERT_TRUE(WriteInstallRecord("Pocket MISKA 2.0", "\\a", 1, "\\a\\m.unload", 1, u"UNKNOWN"));
    ASSERT_TRUE(WriteInstallRecord("Pocket MISKA 2.0 Pro", "\\b", 1, "\\b\\m.unload", 1, u"UNKNOWN"));
    ASSERT_TRUE(PutValue(kHKLM, ProductPath("Pocket MISKA 2.0"), u"Target", REG_SZ, Sz(u"\\a\\miska.exe")));
    ASSERT_TRUE(CreateKey(kHKLM, ProductPath("Pocket MISKA 2.0") + u"\\Sub\\Deeper"));

    EXPECT_TRUE(DeleteInstallRecord("pocket miska 2.0"));
    EXPECT_FALSE(KeyExists(kHKLM, ProductPath("Pocket MISKA 2.0"))) << "gone with its values and subkeys";
    EXPECT_TRUE(KeyExists(kHKLM, ProductPath("Pocket MISKA 2.0 Pro"))) << "the other edition stays";
    EXPECT_TRUE(KeyExists(kHKLM, u"Software\\Apps\\Veltrona Parvell")) << "the installer key is never deleted";
    EXPECT_TRUE(log.seen.empty()) << "deleting shows no message";
}

TEST_F(Records, AnEmptyProductNameTouchesNoRecord)
{
    ASSERT_TRUE(WriteInstallRecord("Dravex", "\\d", 1, "\\d\\Dravex.unload", 1, u"UNKNOWN"));
    // "" would name the installer key itself, which holds every record.
    EXPECT_FALSE(WriteInstallRecord("", "\\e", 1, "\\e\\.unload", 1, u"UNKNOWN"));
    ExpectOneMessage(kText209, 16, "writing");
    EXPECT_FALSE(DeleteInstallRecord(""));
    EXPECT_EQ(QueryValue(kHKLM, ProductPath("Dravex"), u"CopyFiles", nullptr, nullptr), ERROR_SUCCESS)
        << "no record was deleted";
}

} // namespace
