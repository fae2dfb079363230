// pages_test.cpp - the wizard pages in-process: what each shows after
// WM_INITDIALOG (pages opened modeless and inspected), and the answer and
// data each gives when a user's input closes it (pages run modal, answered
// by the unattended front end's rules; message boxes seen through the
// message-box hook).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "helpers/scriptkit.h"
#include "internal/device.h"
#include "internal/faults.h"
#include "internal/frontend.h"
#include "internal/frontend_internal.h"
#include "internal/msgbox.h"
#include "language/languages.h"
#include "script/script.h"
#include "setup/setup.h"
#include "support/supp.h"

#include <string>
#include <vector>

using cetest::U16;
using cetest::U8;

namespace {

class PagesTest : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        cetest::DeviceFixture::SetUp();
        plat::FrontendSetAbort([this](int code, const std::string &message) { aborts.push_back(message); });
        owner = CreateMainWindow(plat::kProgramInstance);
        ASSERT_NE(owner, 0u);
        g_fSelectAppLocation = 1;
    }

    void TearDown() override
    {
        plat::UiShutdown();
        plat::FrontendSetAbort(nullptr);
        if (IsWindow(owner))
            DestroyWindow(owner);
        UnregisterClassW(u"VeltronaParvellMainWndClass", plat::kProgramInstance);
        MSG m;
        while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) {
        }
        Supp_MsgDone();
        cetest::DeviceFixture::TearDown();
    }

    // Runs a page modal, answered by the given rules.
    INT_PTR Modal(int page, DLGPROC proc, LPARAM param, const std::vector<std::string> &rules)
    {
        plat::UiShutdown();
        plat::UiOptions o;
        o.mode = plat::UiMode::None;
        o.answerRules = rules;
        std::string error;
        EXPECT_TRUE(plat::UiInit(o, error)) << error;
        INT_PTR r = ShowSetupPage(plat::kProgramInstance, page, owner, proc, param);
        EXPECT_TRUE(aborts.empty()) << "the rules could be carried out: "
                                    << (aborts.empty() ? "" : aborts[0]);
        return r;
    }

    // Opens a page modeless, to look at it after WM_INITDIALOG.
    HWND Open(int page, DLGPROC proc, LPARAM param)
    {
        HWND dlg = CreateSetupPage(plat::kProgramInstance, page, owner, proc, param);
        EXPECT_NE(dlg, 0u) << "page " << page;
        return dlg;
    }

    static std::string Text(HWND dlg, int id)
    {
        WCHAR buf[1100] = {};
        GetDlgItemTextW(dlg, id, buf, 1100);
        return U8((const char16_t *)buf);
    }
    static bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != 0; }
    static LRESULT Send(HWND dlg, int id, UINT msg, WPARAM w = 0, LPARAM l = 0)
    {
        return SendDlgItemMessageW(dlg, id, msg, w, l);
    }
    static std::string ListItem(HWND dlg, int id, int index)
    {
        WCHAR buf[300] = {};
        Send(dlg, id, LB_GETTEXT, index, (LPARAM)buf);
        return U8((const char16_t *)buf);
    }

    HWND owner = 0;
    cetest::MessageLog log; // answers OK unless told otherwise
    std::vector<std::string> aborts;
};

// What each button of the simple pages answers.
TEST_F(PagesTest, PageAnswers)
{
    const char16_t name[] = u"Pocket Dravex 3.1";
    const struct {
        int page;
        DLGPROC proc;
        const char *rule;
        INT_PTR answer;
    } cases[] = {
        {IDD_WELCOME, WelcomeDlgProc, "page 105: click Skip", 1013},
        {IDD_WELCOME, WelcomeDlgProc, "page 105: close", 2},
        {IDD_EULA, EulaDlgProc, "page 107: click Continue", 1},
        {IDD_EULA, EulaDlgProc, "page 107: click Exit", 2},
        {IDD_MAINTENANCE, MaintenanceDlgProc, "page 108: click Remove", 1003},
        {IDD_MAINTENANCE, MaintenanceDlgProc, "page 108: click Reinstall", 1002},
        {IDD_REMOVE_LIST, RemoveListDlgProc, "page 111: close", 2},
    };
    char path[SCRIPT_DEST_SIZE] = "";
    REMOVE_LIST_PARAM list = {"\\Program Files\\Empty", path};
    for (const auto &c : cases) {
        LPARAM param = c.page == IDD_REMOVE_LIST ? (LPARAM)&list : (LPARAM)name;
        EXPECT_EQ(Modal(c.page, c.proc, param, {c.rule}), c.answer) << c.rule;
    }
}

// The product name is an argument of the texts (a % in it is kept); the
// first button has the focus.
TEST_F(PagesTest, WelcomeAndMaintenanceTexts)
{
    const char16_t odd[] = u"100% \"Dravex\" %s";
    HWND dlg = Open(IDD_WELCOME, WelcomeDlgProc, (LPARAM)odd);
    EXPECT_EQ(Text(dlg, IDC_PAGE_TEXT), "Welcome to the \"100% \"Dravex\" %s\" Setup program.\n"
                                        "This program will install \"100% \"Dravex\" %s\" \non your PDA.");
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDOK)) << "Continue has the focus";
    DestroyWindow(dlg);

    const char16_t name[] = u"Pocket MISKA 2.0 Standard";
    dlg = Open(IDD_MAINTENANCE, MaintenanceDlgProc, (LPARAM)name);
    EXPECT_EQ(Text(dlg, IDC_PAGE_TEXT),
              "Welcome to the \"Pocket MISKA 2.0 Standard\" installation maintenance program.\n"
              "This program lets you make changes to the current installation.\n"
              "Click one of the following options:");
    EXPECT_EQ(Text(dlg, IDC_REMOVE_TEXT), "Remove \"Pocket MISKA 2.0 Standard\".");
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_REMOVE)) << "Remove has the focus";
    DestroyWindow(dlg);

    for (int n = 1; n <= 2; ++n) {
        plat::FaultArm(plat::FaultKind::Alloc, n);
        dlg = Open(IDD_WELCOME, WelcomeDlgProc, (LPARAM)name);
        EXPECT_TRUE(plat::FaultFired(plat::FaultKind::Alloc)) << "allocation " << n << " failed";
        EXPECT_EQ(Text(dlg, IDC_PAGE_TEXT), "Welcome to the \"%s\" Setup program.\n"
                                            "This program will install \"%s\" \non your PDA.")
            << "allocation " << n << " failing leaves the template text";
        DestroyWindow(dlg);
        plat::FaultArm(plat::FaultKind::Alloc, 0);
    }
}

TEST_F(PagesTest, LocationShowsAndSetsTheCopyFilesFlag)
{
    for (DWORD flag : {1u, 0u}) {
        HWND dlg = Open(IDD_LOCATION, LocationDlgProc, (LPARAM)&flag);
        EXPECT_EQ(Send(dlg, IDC_STORAGE_MEMORY, BM_GETCHECK), flag ? BST_CHECKED : BST_UNCHECKED) << flag;
        EXPECT_EQ(Send(dlg, IDC_CURRENT_LOCATION, BM_GETCHECK), flag ? BST_UNCHECKED : BST_CHECKED) << flag;
        DestroyWindow(dlg);
    }
    const struct {
        DWORD in;
        const char *rule;
        INT_PTR answer;
        DWORD out;
    } cases[] = {
        {1, "page 106: check \"Current Location\"; click Continue", 1, 0},
        {0, "page 106: check \"PDA Storage Memory\"; click Continue", 1, 1},
        {1, "page 106: check 1009; click Skip", 1013, 1},
    };
    for (const auto &c : cases) {
        DWORD flag = c.in;
        EXPECT_EQ(Modal(IDD_LOCATION, LocationDlgProc, (LPARAM)&flag, {c.rule}), c.answer) << c.rule;
        EXPECT_EQ(flag, c.out) << c.rule;
    }
}

TEST_F(PagesTest, DestinationShowsSpaceAndFolder)
{
    char folder[SCRIPT_DEST_SIZE] = "\\Program Files\\Dravex";
    DESTINATION_PARAM p = {folder, 100 * 1024 + 1023};
    HWND dlg = Open(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p);
    EXPECT_EQ(Text(dlg, IDC_FOLDER), "\\Program Files\\Dravex");
    EXPECT_EQ(Text(dlg, IDC_REQUIRED_KB), "100") << "required bytes / 1024, rounded down";
    EXPECT_EQ(Text(dlg, IDC_FREE_KB), "65536") << "free space of the empty default store";
    EXPECT_EQ(GetWindowLongW(GetDlgItem(dlg, IDC_FOLDER), GWL_STYLE) & ES_READONLY, 0) << "editable";
    SetDlgItemTextW(dlg, IDC_FOLDER, u"\\\\server\\share");
    EXPECT_EQ(Text(dlg, IDC_FREE_KB), "???") << "free space that cannot be determined";
    DestroyWindow(dlg);

    g_fSelectAppLocation = 0;
    dlg = Open(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p);
    EXPECT_NE(GetWindowLongW(GetDlgItem(dlg, IDC_FOLDER), GWL_STYLE) & ES_READONLY, 0)
        << "SelectAppLocation=No: the folder is only confirmed";
    DestroyWindow(dlg);
    g_fSelectAppLocation = 1;

    EXPECT_EQ(Modal(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p,
                    {"page 104: set 1006 \"\\Program Files\\Elsewhere\"; click Skip"}),
              1013);
    EXPECT_STREQ(folder, "\\Program Files\\Dravex") << "Skip leaves the folder";
    EXPECT_EQ(Modal(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p,
                    {"page 104: set 1006 \"\\Program Files\\Elsewhere\"; click Continue"}),
              1);
    EXPECT_STREQ(folder, "\\Program Files\\Elsewhere") << "Continue stores the folder";
    EXPECT_TRUE(log.seen.empty()) << "enough space: no question";
}

TEST_F(PagesTest, DestinationNotEnoughSpaceAsks219)
{
    plat::DeviceMutableSettings().storageKb = 16;
    char folder[SCRIPT_DEST_SIZE] = "\\Program Files\\Dravex";
    DESTINATION_PARAM p = {folder, 40 * 1024};
    log.answers = {IDCANCEL, IDOK};
    EXPECT_EQ(Modal(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p,
                    {"page 104: click Continue; set 1006 \\Temp; click Continue"}),
              1);
    ASSERT_EQ(log.seen.size(), 2u) << "asked twice";
    EXPECT_EQ(log.seen[0].type, 49u);
    EXPECT_EQ(log.seen[0].text.substr(0, 53), "The installation will not fit in the selected folder.");
    EXPECT_STREQ(folder, "\\Temp") << "OK stores the folder after all";
}

TEST_F(PagesTest, DestinationUnknownSpaceAsks220WithKb)
{
    char folder[SCRIPT_DEST_SIZE] = "\\\\server\\share";
    DESTINATION_PARAM p = {folder, 100 * 1024};
    log.answers = {IDCANCEL};
    EXPECT_EQ(
        Modal(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p, {"page 104: click Continue; click Skip"}),
        1013);
    ASSERT_EQ(log.seen.size(), 1u);
    EXPECT_NE(log.seen[0].text.find("at least 100 Kb free space"), std::string::npos) << log.seen[0].text;
    EXPECT_EQ(log.seen[0].type, 49u);
    EXPECT_STREQ(folder, "\\\\server\\share") << "Cancel kept the page, Skip left the folder";
}

TEST_F(PagesTest, LanguageListAndChoice)
{
    LANGUAGEROW row = {};
    HWND dlg = Open(IDD_LANGUAGE, LanguageDlgProc, (LPARAM)&row);
    EXPECT_EQ(Send(dlg, IDC_LANGUAGE_LIST, LB_GETCOUNT), 39);
    EXPECT_EQ(ListItem(dlg, IDC_LANGUAGE_LIST, 0), "Albanian");
    EXPECT_EQ(ListItem(dlg, IDC_LANGUAGE_LIST, 38), "Ukrainian");
    EXPECT_EQ(Send(dlg, IDC_LANGUAGE_LIST, LB_GETCURSEL), LB_ERR) << "nothing selected";
    EXPECT_FALSE(Enabled(dlg, IDOK)) << "Install waits for a language";
    SendMessageW(dlg, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindow(dlg)) << "Install reached without a selection (Enter) does nothing";
    EXPECT_EQ(row.pszName, nullptr) << "no row copied without a selection";
    DestroyWindow(dlg);

    const struct {
        const char *rule;
        INT_PTR answer;
        const char *name, *layout, *layout2, *face;
    } cases[] = {
        {"page 112: select 1014 Turkey; click Install", 1, "Turkey", "tuq", "tuf", "Times New Roman Turkish"},
        {"page 112: select 1014 Greek; click Skip", 1013, nullptr, nullptr, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        LANGUAGEROW r = {};
        EXPECT_EQ(Modal(IDD_LANGUAGE, LanguageDlgProc, (LPARAM)&r, {c.rule}), c.answer) << c.rule;
        if (!c.name) {
            EXPECT_EQ(r.pszName, nullptr) << c.rule << ": Skip copies nothing";
            continue;
        }
        ASSERT_NE(r.pszName, nullptr) << c.rule;
        EXPECT_EQ(U8((const char16_t *)r.pszName), c.name);
        EXPECT_STREQ(r.apszParam[3], c.layout) << c.rule;
        EXPECT_STREQ(r.apszParam[4], c.layout2) << c.rule;
        EXPECT_STREQ(r.apszParam[5], c.face) << c.rule;
    }
}

TEST_F(PagesTest, RemovalListShowsReadableLogsAndGivesThePath)
{
    char path[SCRIPT_DEST_SIZE] = "";
    REMOVE_LIST_PARAM empty = {"\\Program Files\\Empty", path};
    HWND dlg = Open(IDD_REMOVE_LIST, RemoveListDlgProc, (LPARAM)&empty);
    EXPECT_EQ(Send(dlg, IDC_REMOVE_LIST, LB_GETCOUNT), 0);
    EXPECT_FALSE(Enabled(dlg, IDOK)) << "Remove is disabled";
    SendMessageW(dlg, WM_COMMAND, IDOK, 0);
    EXPECT_STREQ(path, "") << "Remove without an entry does nothing";
    DestroyWindow(dlg);

    std::string header =
        "// 'Pocket Dravex 3.1 Standard'\r\n// HKEY_LOCAL_MACHINE Software\\Dravex\r\n// Dravex\r\n"
        "// Setup.bmp=D.bmp\r\n// SelectAppLocation=Yes\r\n// 'Note'\r\nexit\r\n";
    std::string header2 = "// 'Pocket MISKA 2.0 Pro'\r\n// HKEY_LOCAL_MACHINE Software\\Miska\r\n// Miska\r\n"
                          "// Setup.bmp=M.bmp\r\n// SelectAppLocation=No\r\n// 'Note'\r\n";
    cetest::WriteHostFile(StoreHost("Program Files/Suite/b.unload"), header);
    cetest::WriteHostFile(StoreHost("Program Files/Suite/a.unload"), "// only one line\r\n");
    cetest::WriteHostFile(StoreHost("Program Files/Suite/c.unload"), header2);
    cetest::WriteHostFile(StoreHost("Program Files/Suite/d.load"), header2);
    REMOVE_LIST_PARAM p = {"\\Program Files\\Suite", path};
    dlg = Open(IDD_REMOVE_LIST, RemoveListDlgProc, (LPARAM)&p);
    ASSERT_EQ(Send(dlg, IDC_REMOVE_LIST, LB_GETCOUNT), 2) << "the unreadable log is left out";
    EXPECT_EQ(ListItem(dlg, IDC_REMOVE_LIST, 0), "Pocket Dravex 3.1 Standard") << "in the order found";
    EXPECT_EQ(ListItem(dlg, IDC_REMOVE_LIST, 1), "Pocket MISKA 2.0 Pro");
    ASSERT_EQ(log.seen.size(), 1u) << "the reader reports the bad log";
    EXPECT_NE(log.seen[0].text.find("a.unload"), std::string::npos) << log.seen[0].text;
    DestroyWindow(dlg);

    EXPECT_EQ(Modal(IDD_REMOVE_LIST, RemoveListDlgProc, (LPARAM)&p,
                    {"page 111: select 1005 \"Pocket MISKA 2.0 Pro\"; click Remove"}),
              1);
    EXPECT_STREQ(path, "\\Program Files\\Suite\\c.unload");
}

TEST_F(PagesTest, ProgressPagesSitBelowTheCentre)
{
    HWND bar = (HWND)12345;
    HWND dlg = Open(IDD_INSTALL_PROGRESS, ProgressDlgProc, (LPARAM)&bar);
    EXPECT_EQ(bar, GetDlgItem(dlg, IDC_PROGRESS_BAR)) << "the slot receives the bar";
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    RECT main = {}, page = {};
    GetWindowRect(owner, &main);
    GetWindowRect(dlg, &page);
    EXPECT_EQ(page.left, ((main.right - main.left) - (page.right - page.left)) / 2);
    EXPECT_EQ(page.top, ((main.bottom - main.top) - (page.bottom - page.top)) / 2 + 90)
        << "90 pixels below the centre";
    DestroyWindow(dlg);

    dlg = Open(IDD_REMOVE_PROGRESS, ProgressDlgProc, 0);
    EXPECT_EQ(GetDlgItem(dlg, IDC_PROGRESS_BAR), 0u) << "the removal page has no bar";
    GetWindowRect(dlg, &page);
    EXPECT_EQ(page.top, ((main.bottom - main.top) - (page.bottom - page.top)) / 2 + 90);
    DestroyWindow(dlg);
}

} // namespace
