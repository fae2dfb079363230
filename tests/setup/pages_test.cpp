// pages_test.cpp - the destination and language pages in-process: what
// they show after WM_INITDIALOG (opened modeless and inspected), and what
// they give when a user's input closes them (run modal, answered by the
// unattended front end's rules; message boxes seen through the hook).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "helpers/scriptkit.h"
#include "kernel/device.h"
#include "frontends/frontend.h"
#include "frontends/frontend_internal.h"
#include "user/msgbox.h"
#include "language/languages.h"
#include "script/script.h"
#include "setup/setup.h"
#include "support/supp.h"

#include <string>
#include <vector>

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

    HWND owner = 0;
    cetest::MessageLog log; // answers OK unless told otherwise
    std::vector<std::string> aborts;
};

TEST_F(PagesTest, DestinationShowsSpaceAndFolder)
{
    char folder[SCRIPT_DEST_SIZE] = "\\Program Files\\Dravex";
    DESTINATION_PARAM p = {folder, 100 * 1024 + 1023};
    HWND dlg = Open(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p);
    EXPECT_EQ(Text(dlg, IDC_REQUIRED_KB), "100") << "required bytes / 1024, rounded down";
    EXPECT_EQ(Text(dlg, IDC_FREE_KB), "65536") << "free space of the empty default store";
    SetDlgItemTextW(dlg, IDC_FOLDER, u"\\\\server\\share");
    EXPECT_EQ(Text(dlg, IDC_FREE_KB), "???") << "free space that cannot be determined";
    DestroyWindow(dlg);
}

// Too little space asks 219 (Cancel keeps the page, OK takes the folder
// after all); space that cannot be known asks 220 with the required Kb.
TEST_F(PagesTest, DestinationAsks219And220)
{
    plat::DeviceMutableSettings().storageKb = 16;
    char folder[SCRIPT_DEST_SIZE] = "\\Program Files\\Dravex";
    DESTINATION_PARAM p = {folder, 40 * 1024};
    log.answers = {IDCANCEL, IDCANCEL, IDOK};
    EXPECT_EQ(Modal(IDD_DESTINATION, DestinationDlgProc, (LPARAM)&p,
                    {"page 104: click Continue; set 1006 \\\\server\\share; click Continue; click Continue"}),
              1);
    ASSERT_EQ(log.seen.size(), 3u);
    EXPECT_EQ(log.seen[0].text.substr(0, 53), "The installation will not fit in the selected folder.");
    EXPECT_NE(log.seen[1].text.find("at least 40 Kb free space"), std::string::npos) << log.seen[1].text;
    for (const auto &m : log.seen)
        EXPECT_EQ(m.type, 49u) << m.text;
    EXPECT_STREQ(folder, "\\\\server\\share") << "OK stores the folder";
}

TEST_F(PagesTest, LanguageListAndChoice)
{
    LANGUAGEROW row = {};
    HWND dlg = Open(IDD_LANGUAGE, LanguageDlgProc, (LPARAM)&row);
    EXPECT_EQ(SendDlgItemMessageW(dlg, IDC_LANGUAGE_LIST, LB_GETCOUNT, 0, 0), 39);
    EXPECT_FALSE(Enabled(dlg, IDOK)) << "Install waits for a language";
    SendMessageW(dlg, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(IsWindow(dlg)) << "Install reached without a selection (Enter) does nothing";
    EXPECT_EQ(row.pszName, nullptr) << "no row copied without a selection";
    SendDlgItemMessageW(dlg, IDC_LANGUAGE_LIST, LB_SETCURSEL, 5, 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_LIST, LBN_SELCHANGE),
                 (LPARAM)GetDlgItem(dlg, IDC_LANGUAGE_LIST));
    EXPECT_TRUE(Enabled(dlg, IDOK)) << "a selection enables Install";
    DestroyWindow(dlg);

    LANGUAGEROW r = {};
    EXPECT_EQ(Modal(IDD_LANGUAGE, LanguageDlgProc, (LPARAM)&r,
                    {"page 112: select 1014 Turkey; click Install"}),
              1);
    ASSERT_NE(r.pszName, nullptr);
    EXPECT_EQ(U8((const char16_t *)r.pszName), "Turkey");
    EXPECT_STREQ(r.apszParam[4], "tuf") << "the whole row is given back";
}

} // namespace
