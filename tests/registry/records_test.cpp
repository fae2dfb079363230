// records_test.cpp - writing, reading and deleting install records, with the
// messages they show and a refused commit at every step.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/device.h"
#include "internal/faults.h"
#include "internal/handles.h"
#include "internal/msgbox.h"
#include "registry/records.h"
#include "support/supp.h"

namespace {

const char16_t kText209[] = u"Setup cannot write uninstallation information to the registry. "
                            u"You will not be able to uninstall the application.";
const char16_t kText210[] = u"Setup cannot read uninstallation information from the registry. "
                            u"The application cannot be uninstalled.";
const char16_t kText214[] = u"Setup cannot read uninstallation information from the registry. "
                            u"Automatic reinstall is not possible.";

struct Shown {
    std::u16string text;
    std::u16string caption;
    UINT type;
};

class Records : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        cetest::DeviceFixture::SetUp();
        ASSERT_TRUE(Supp_MsgInit(plat::kProgramInstance, 201));
        plat::SetMessageBoxHook([this](HWND, const std::u16string &text,
                                       const std::u16string &caption, UINT type) {
            shown.push_back({text, caption, type});
            return IDOK;
        });
    }
    void TearDown() override
    {
        plat::SetMessageBoxHook({});
        plat::FaultResetAll();
        EXPECT_EQ(plat::HandleCount(plat::HandleKind::RegKey), 0u) << "a key was left open";
        cetest::DeviceFixture::TearDown();
    }

    void ExpectOneMessage(const char16_t *text, UINT type, const char *when)
    {
        ASSERT_EQ(shown.size(), 1u) << when;
        EXPECT_EQ(shown[0].text, text) << when;
        EXPECT_EQ(shown[0].caption, u"Setup") << when;
        EXPECT_EQ(shown[0].type, type) << when;
        shown.clear();
    }

    std::u16string ProductPath(const char *product)
    {
        return u"Software\\Apps\\Veltrona Parvell\\" + cetest::U16(product);
    }
    bool Exists(const std::u16string &path)
    {
        HKEY k = 0;
        LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &k);
        if (r == ERROR_SUCCESS)
            RegCloseKey(k);
        return r == ERROR_SUCCESS;
    }
    // A value of the product key: result, type and bytes.
    LONG Query(const char *product, const char16_t *name, DWORD *type, std::string *bytes)
    {
        HKEY k = 0;
        LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductPath(product).c_str(), 0, 0, &k);
        if (r)
            return r;
        BYTE buf[1024];
        DWORD cb = sizeof buf;
        r = RegQueryValueExW(k, name, nullptr, type, buf, &cb);
        if (r == ERROR_SUCCESS && bytes)
            bytes->assign(reinterpret_cast<char *>(buf), cb);
        RegCloseKey(k);
        return r;
    }
    void Put(const char *product, const char16_t *name, DWORD type, const std::string &bytes)
    {
        HKEY k = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ProductPath(product).c_str(), 0, nullptr, 0,
                                  0, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(k);
    }
    void Remove(const char *product, const char16_t *name)
    {
        HKEY k = 0;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductPath(product).c_str(), 0, 0, &k),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueW(k, name), ERROR_SUCCESS);
        RegCloseKey(k);
    }
    static std::string Sz(const std::u16string &s)
    {
        std::string out(reinterpret_cast<const char *>(s.c_str()), (s.size() + 1) * 2);
        return out;
    }
    static std::string Dw(DWORD v) { return std::string(reinterpret_cast<const char *>(&v), 4); }

    // Output buffers filled with a mark, so untouched outputs can be seen.
    struct Outputs {
        char folder[260];
        char unload[260];
        DWORD copyFiles = 0xabababab;
        DWORD space = 0xcdcdcdcd;
        WCHAR language[64];
        Outputs()
        {
            std::memset(folder, '#', sizeof folder);
            folder[259] = 0;
            std::memset(unload, '#', sizeof unload);
            unload[259] = 0;
            for (auto &c : language)
                c = u'#';
            language[63] = 0;
        }
        bool FolderUntouched() const { return folder[0] == '#'; }
        bool UnloadUntouched() const { return unload[0] == '#'; }
        bool LanguageUntouched() const { return language[0] == u'#'; }
    };
    BOOL Read(const char *product, BOOL reinstall, Outputs &o)
    {
        return ReadInstallRecord(product, reinstall, o.folder, &o.copyFiles, o.unload, &o.space,
                                 o.language);
    }

    std::vector<Shown> shown;
};

TEST_F(Records, TheNamesTable)
{
    EXPECT_EQ(std::u16string(g_RegNames.pszTarget), u"Target");
    EXPECT_EQ(std::u16string(g_RegNames.pszClass), u"ParvellRegClass");
    EXPECT_STREQ(g_RegNames.pszSharedKey, "Software\\Apps\\Shared");
    EXPECT_STREQ(g_RegNames.pszInstallerKey, "Software\\Apps\\Veltrona Parvell");
    EXPECT_EQ(std::u16string(g_RegNames.pszInstallFolder), u"InstallFolder");
    EXPECT_EQ(std::u16string(g_RegNames.pszUnloadFileName), u"UnloadFileName");
    EXPECT_EQ(std::u16string(g_RegNames.pszDstDiskSpaceReq), u"DstDiskSpaceReq");
    EXPECT_EQ(std::u16string(g_RegNames.pszCopyFiles), u"CopyFiles");
    EXPECT_EQ(std::u16string(g_RegNames.pszLanguage), u"Language");
    EXPECT_STREQ(g_RegNames.pszProgramFiles, "\\Program Files");
    EXPECT_STREQ(g_RegNames.pszWindows, "\\Windows");
}

TEST_F(Records, WrittenRecordHoldsFiveTypedValuesAndReadsBack)
{
    ASSERT_TRUE(WriteInstallRecord("Pocket Dravex 3.1", "\\Program Files\\Dravex", 1,
                                   "\\Program Files\\Dravex\\Pocket Dravex 3.1.unload", 123456,
                                   u"Russian"));
    EXPECT_TRUE(shown.empty()) << "no message on success";

    struct Row {
        const char16_t *name;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {u"InstallFolder", REG_SZ, Sz(u"\\Program Files\\Dravex")},
        {u"UnloadFileName", REG_SZ, Sz(u"\\Program Files\\Dravex\\Pocket Dravex 3.1.unload")},
        {u"DstDiskSpaceReq", REG_DWORD, Dw(123456)},
        {u"CopyFiles", REG_DWORD, Dw(1)},
        {u"Language", REG_SZ, Sz(u"Russian")},
    };
    for (const auto &row : rows) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_EQ(Query("Pocket Dravex 3.1", row.name, &type, &bytes), ERROR_SUCCESS)
            << cetest::U8(row.name);
        EXPECT_EQ(type, row.type) << cetest::U8(row.name);
        EXPECT_EQ(bytes, row.bytes) << cetest::U8(row.name);
    }
    // The installer key has the setup's class.
    HKEY installer = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell", 0, 0,
                            &installer),
              ERROR_SUCCESS);
    WCHAR cls[32];
    DWORD cch = 32;
    RegQueryInfoKeyW(installer, cls, &cch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(std::u16string(cls, cch), u"ParvellRegClass");
    RegCloseKey(installer);

    for (BOOL reinstall : {0, 1}) {
        Outputs o;
        ASSERT_TRUE(Read("POCKET DRAVEX 3.1", reinstall, o)) << "names ignore case";
        EXPECT_STREQ(o.folder, "\\Program Files\\Dravex");
        EXPECT_STREQ(o.unload, "\\Program Files\\Dravex\\Pocket Dravex 3.1.unload");
        EXPECT_EQ(o.copyFiles, 1u);
        EXPECT_EQ(o.space, 123456u);
        EXPECT_EQ(std::u16string(o.language), u"Russian");
    }
    EXPECT_TRUE(shown.empty());

    // Outputs other than the language are optional.
    WCHAR language[64];
    EXPECT_TRUE(ReadInstallRecord("Pocket Dravex 3.1", 0, nullptr, nullptr, nullptr, nullptr,
                                  language));
    EXPECT_EQ(std::u16string(language), u"Russian");
}

TEST_F(Records, WritingTwiceKeepsOneKeyWithTheSecondValues)
{
    ASSERT_TRUE(WriteInstallRecord("Miska", "\\Program Files\\A", 1, "\\Program Files\\A\\Miska.unload",
                                   10, u"UNKNOWN"));
    ASSERT_TRUE(WriteInstallRecord("MISKA", "\\Storage Card\\B", 0, "\\Storage Card\\B\\Miska.unload",
                                   20, u"Danish"));
    HKEY installer = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell", 0, 0,
                            &installer),
              ERROR_SUCCESS);
    DWORD subKeys = 0;
    RegQueryInfoKeyW(installer, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(installer);
    EXPECT_EQ(subKeys, 1u) << "one product key";
    Outputs o;
    ASSERT_TRUE(Read("Miska", 0, o));
    EXPECT_STREQ(o.folder, "\\Storage Card\\B");
    EXPECT_EQ(o.copyFiles, 0u);
    EXPECT_EQ(o.space, 20u);
    EXPECT_EQ(std::u16string(o.language), u"Danish");
}

TEST_F(Records, NoLanguageIsStoredAsUnknown)
{
    ASSERT_TRUE(WriteInstallRecord("Dravex", "\\Program Files\\Dravex", 1,
                                   "\\Program Files\\Dravex\\Dravex.unload", 1, u"UNKNOWN"));
    std::string bytes;
    ASSERT_EQ(Query("Dravex", u"Language", nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, Sz(u"UNKNOWN"));
    // A caller without any language name gets the same.
    ASSERT_TRUE(WriteInstallRecord("Other", "\\x", 1, "\\x\\Other.unload", 1, nullptr));
    ASSERT_EQ(Query("Other", u"Language", nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, Sz(u"UNKNOWN"));
}

TEST_F(Records, MissingLanguageReadsAsUnknownAndStillSucceeds)
{
    ASSERT_TRUE(WriteInstallRecord("Glyphor", "\\Program Files\\G", 1, "\\Program Files\\G\\G.unload",
                                   5, u"Turkey"));
    Remove("Glyphor", u"Language");
    Outputs o;
    EXPECT_TRUE(Read("Glyphor", 1, o));
    EXPECT_EQ(std::u16string(o.language), u"UNKNOWN");
    EXPECT_TRUE(shown.empty()) << "a missing language is not a failure";
}

TEST_F(Records, AnIncompleteRecordFailsButFillsWhatItRead)
{
    struct Row {
        const char16_t *missing;
    } rows[] = {{u"CopyFiles"}, {u"DstDiskSpaceReq"}, {u"InstallFolder"}, {u"UnloadFileName"}};
    for (const auto &row : rows) {
        for (BOOL reinstall : {0, 1}) {
            ASSERT_TRUE(WriteInstallRecord("Partial", "\\Program Files\\P", 1,
                                           "\\Program Files\\P\\Partial.unload", 77, u"Greek"));
            Remove("Partial", row.missing);
            Outputs o;
            std::string what = cetest::U8(row.missing) + (reinstall ? " (reinstall)" : "");
            EXPECT_FALSE(Read("Partial", reinstall, o)) << what;
            ExpectOneMessage(reinstall ? kText214 : kText210, reinstall ? 48u : 16u, what.c_str());
            std::u16string missing = row.missing;
            if (missing == u"InstallFolder")
                EXPECT_TRUE(o.FolderUntouched()) << what;
            else
                EXPECT_STREQ(o.folder, "\\Program Files\\P") << what;
            if (missing == u"UnloadFileName")
                EXPECT_TRUE(o.UnloadUntouched()) << what;
            else
                EXPECT_STREQ(o.unload, "\\Program Files\\P\\Partial.unload") << what;
            EXPECT_EQ(o.copyFiles, missing == u"CopyFiles" ? 0xababababu : 1u) << what;
            EXPECT_EQ(o.space, missing == u"DstDiskSpaceReq" ? 0xcdcdcdcdu : 77u) << what;
            EXPECT_EQ(std::u16string(o.language), u"Greek") << what;
        }
    }
}

TEST_F(Records, AMissingProductKey)
{
    // Removal: message 210 and no output at all.
    Outputs o;
    EXPECT_FALSE(Read("Never Installed", 0, o));
    ExpectOneMessage(kText210, 16, "removal");
    EXPECT_TRUE(o.FolderUntouched());
    EXPECT_TRUE(o.UnloadUntouched());
    EXPECT_EQ(o.copyFiles, 0xababababu);
    EXPECT_EQ(o.space, 0xcdcdcdcdu);
    EXPECT_TRUE(o.LanguageUntouched()) << "not even the language";

    // Reinstall: message 214, the language becomes UNKNOWN, nothing else.
    Outputs r;
    EXPECT_FALSE(Read("Never Installed", 1, r));
    ExpectOneMessage(kText214, 48, "reinstall");
    EXPECT_EQ(std::u16string(r.language), u"UNKNOWN");
    EXPECT_TRUE(r.FolderUntouched());
    EXPECT_TRUE(r.UnloadUntouched());
    EXPECT_EQ(r.copyFiles, 0xababababu);
    EXPECT_EQ(r.space, 0xcdcdcdcdu);

    // The same when the installer key exists but the product's does not.
    ASSERT_TRUE(WriteInstallRecord("Someone Else", "\\x", 1, "\\x\\y.unload", 1, u"UNKNOWN"));
    Outputs s;
    EXPECT_FALSE(Read("Never Installed", 1, s));
    ExpectOneMessage(kText214, 48, "reinstall with an installer key");
    EXPECT_EQ(std::u16string(s.language), u"UNKNOWN");
    EXPECT_FALSE(Exists(ProductPath("Never Installed"))) << "reading creates nothing";
}

TEST_F(Records, StoredTextsWithoutTerminatorsComeBackTerminated)
{
    ASSERT_TRUE(WriteInstallRecord("Odd", "\\x", 1, "\\x\\Odd.unload", 1, u"Polish"));
    // 64 units of language with no terminator fill the 128-byte buffer.
    std::u16string lang64(64, u'L');
    Put("Odd", u"Language", REG_SZ, std::string(reinterpret_cast<const char *>(lang64.data()), 128));
    std::u16string folder(260, u'F');
    Put("Odd", u"InstallFolder", REG_SZ,
        std::string(reinterpret_cast<const char *>(folder.data()), 520));
    Outputs o;
    EXPECT_TRUE(Read("Odd", 0, o));
    EXPECT_EQ(std::u16string(o.language), std::u16string(63, u'L')) << "cut and terminated";
    EXPECT_EQ(std::string(o.folder), std::string(259, 'F')) << "cut and terminated";

    // A language too long for the buffer is not read: UNKNOWN.
    std::u16string lang65(65, u'M');
    Put("Odd", u"Language", REG_SZ, Sz(lang65));
    Outputs p;
    EXPECT_TRUE(Read("Odd", 0, p));
    EXPECT_EQ(std::u16string(p.language), u"UNKNOWN");
}

TEST_F(Records, DeletingRecords)
{
    // Nothing to delete: success, and the installer key is made.
    EXPECT_TRUE(DeleteInstallRecord("Pocket MISKA 2.0"));
    EXPECT_TRUE(Exists(u"Software\\Apps\\Veltrona Parvell"));
    EXPECT_TRUE(shown.empty()) << "deleting shows no message";

    ASSERT_TRUE(WriteInstallRecord("Pocket MISKA 2.0", "\\a", 1, "\\a\\m.unload", 1, u"UNKNOWN"));
    ASSERT_TRUE(WriteInstallRecord("Pocket MISKA 2.0 Pro", "\\b", 1, "\\b\\m.unload", 1, u"UNKNOWN"));
    Put("Pocket MISKA 2.0", u"Target", REG_SZ, Sz(u"\\a\\miska.exe"));
    HKEY extra = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (ProductPath("Pocket MISKA 2.0") + u"\\Sub\\Deeper").c_str(),
                              0, nullptr, 0, 0, nullptr, &extra, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(extra);

    EXPECT_TRUE(DeleteInstallRecord("pocket miska 2.0"));
    EXPECT_FALSE(Exists(ProductPath("Pocket MISKA 2.0"))) << "gone with its values and subkeys";
    EXPECT_TRUE(Exists(ProductPath("Pocket MISKA 2.0 Pro"))) << "the other edition stays";
    EXPECT_TRUE(Exists(u"Software\\Apps\\Veltrona Parvell")) << "the installer key is never deleted";
    Outputs o;
    EXPECT_FALSE(Read("Pocket MISKA 2.0", 0, o));
    shown.clear();
}

TEST_F(Records, AnEmptyProductNameTouchesNoRecord)
{
    ASSERT_TRUE(WriteInstallRecord("Dravex", "\\d", 1, "\\d\\Dravex.unload", 1, u"UNKNOWN"));
    // "" would name the installer key itself, which holds every record.
    EXPECT_FALSE(WriteInstallRecord("", "\\e", 1, "\\e\\.unload", 1, u"UNKNOWN"));
    ExpectOneMessage(kText209, 16, "writing");
    DWORD type;
    HKEY installer = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Veltrona Parvell", 0, 0,
                            &installer),
              ERROR_SUCCESS);
    DWORD values = 9;
    RegQueryInfoKeyW(installer, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(installer);
    EXPECT_EQ(values, 0u) << "nothing written on the installer key";

    EXPECT_FALSE(DeleteInstallRecord(""));
    EXPECT_FALSE(DeleteInstallRecord(nullptr));
    EXPECT_TRUE(Exists(ProductPath("Dravex"))) << "no record was deleted";
    EXPECT_EQ(Query("Dravex", u"CopyFiles", &type, nullptr), ERROR_SUCCESS);

    Outputs o;
    EXPECT_FALSE(Read("", 0, o));
    ExpectOneMessage(kText210, 16, "reading");
    EXPECT_TRUE(o.FolderUntouched());
}

TEST_F(Records, PathsThatDoNotFitAreRefusedBeforeWriting)
{
    std::string longFolder = "\\" + std::string(259, 'f'); // 260 bytes: no room for the zero
    std::string fits = "\\" + std::string(258, 'f');
    EXPECT_FALSE(WriteInstallRecord("Long", longFolder.c_str(), 1, "\\u.unload", 1, u"UNKNOWN"));
    ExpectOneMessage(kText209, 16, "long folder");
    EXPECT_FALSE(WriteInstallRecord("Long", "\\f", 1, (longFolder + ".unload").c_str(), 1,
                                    u"UNKNOWN"));
    ExpectOneMessage(kText209, 16, "long unload log");
    EXPECT_FALSE(Exists(ProductPath("Long"))) << "nothing was written";
    ASSERT_TRUE(WriteInstallRecord("Long", fits.c_str(), 1, "\\u.unload", 1, u"UNKNOWN"));
    Outputs o;
    ASSERT_TRUE(Read("Long", 0, o));
    EXPECT_EQ(std::string(o.folder), fits);
}

TEST_F(Records, EveryRefusedCommitLeavesAConsistentPrefix)
{
    // The record's commits in order: installer key, product key, then the
    // five values.
    const char16_t *order[] = {u"InstallFolder", u"UnloadFileName", u"DstDiskSpaceReq",
                               u"CopyFiles", u"Language"};
    int n = 1;
    for (;; ++n) {
        ASSERT_LT(n, 20) << "the write never succeeded";
        // Each attempt starts from no record at all.
        LONG cleared = RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software");
        ASSERT_TRUE(cleared == ERROR_SUCCESS || cleared == ERROR_FILE_NOT_FOUND) << cleared;
        plat::FaultArm(plat::FaultKind::RegistryCommit, n);
        BOOL ok = WriteInstallRecord("Faulty", "\\Program Files\\F", 1,
                                     "\\Program Files\\F\\Faulty.unload", 42, u"Latvian");
        bool fired = plat::FaultFired(plat::FaultKind::RegistryCommit);
        plat::FaultArm(plat::FaultKind::RegistryCommit, 0);
        if (!fired) {
            ASSERT_TRUE(ok);
            EXPECT_TRUE(shown.empty());
            break;
        }
        EXPECT_FALSE(ok) << "commit " << n << " was refused";
        ExpectOneMessage(kText209, 16, ("refused commit " + std::to_string(n)).c_str());
        EXPECT_EQ(Exists(u"Software\\Apps\\Veltrona Parvell"), n > 1) << n;
        EXPECT_EQ(Exists(ProductPath("Faulty")), n > 2) << n;
        // Values written before the failure stay; none after it exists.
        for (int i = 0; i < 5; ++i) {
            DWORD type = 0;
            LONG r = Query("Faulty", order[i], &type, nullptr);
            bool written = i < n - 3;
            EXPECT_EQ(r == ERROR_SUCCESS, written)
                << cetest::U8(order[i]) << " after refused commit " << n;
        }
    }
    EXPECT_EQ(n, 8) << "seven commits";
    Outputs o;
    ASSERT_TRUE(Read("Faulty", 1, o));
    EXPECT_EQ(std::u16string(o.language), u"Latvian");
    EXPECT_EQ(o.space, 42u);

    // Deleting: one refused commit leaves the whole record.
    plat::FaultArm(plat::FaultKind::RegistryCommit, 1);
    EXPECT_FALSE(DeleteInstallRecord("Faulty"));
    plat::FaultArm(plat::FaultKind::RegistryCommit, 0);
    Outputs p;
    EXPECT_TRUE(Read("Faulty", 0, p)) << "the record is whole";
    EXPECT_TRUE(DeleteInstallRecord("Faulty"));
}

} // namespace
