// dialog_input_test.cpp - modal and modeless dialogs driven by injected
// user input: the procedure sees WM_INITDIALOG then the WM_COMMAND of the
// clicked button and ends with its id; the close box gives 2; radio groups
// exclude each other; a list selection notifies; typing notifies; keyboard
// navigation (Enter, Escape, Tab, arrows); the owner is disabled meanwhile.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/device.h"
#include "internal/window.h"

namespace {

struct Event {
    UINT msg;
    int id;
    int code;
};

std::vector<Event> g_events;
// What the test's "user" does each time the dialog waits for input.
std::vector<std::function<void(HWND)>> g_script;
size_t g_step = 0;
bool g_ownerEnabledDuringDialog = true;
HWND g_owner = 0;

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        g_events.push_back({msg, 0, 0});
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        g_events.push_back({msg, id, code});
        if (code == BN_CLICKED && (id == 1 || id == 2 || id == 1013 || id == 1002 || id == 1003))
            EndDialog(dlg, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

bool Idle(HWND dlg)
{
    if (g_owner)
        g_ownerEnabledDuringDialog = IsWindowEnabled(g_owner) != FALSE;
    if (!dlg || g_step >= g_script.size())
        return false; // the dialog is then closed as by its close box
    g_script[g_step++](dlg);
    return true;
}

const DLGTEMPLATE *Template(int id)
{
    HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
    return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcW(h, m, w, l);
}

class DialogInput : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_events.clear();
        g_script.clear();
        g_step = 0;
        plat::UiHooks hooks;
        hooks.idle = Idle;
        plat::SetUiHooks(hooks);
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = u"OwnerClass";
        RegisterClassW(&wc);
        g_owner = CreateWindowExW(0, u"OwnerClass", u"Setup", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, 0, nullptr);
        ASSERT_NE(g_owner, HWND(0));
    }
    INT_PTR Run(int page)
    {
        return DialogBoxIndirectParamW(plat::kProgramInstance, Template(page), g_owner, PageProc, 0);
    }
    static std::vector<int> Commands()
    {
        std::vector<int> ids;
        for (const Event &e : g_events)
            if (e.msg == WM_COMMAND && e.code == BN_CLICKED)
                ids.push_back(e.id);
        return ids;
    }
};

TEST_F(DialogInput, ClickedButtonEndsThePageWithItsId)
{
    struct Case {
        int page;
        int button;
    } cases[] = {{105, 1}, {105, 1013}, {105, 2}, {108, 1002}, {108, 1003}, {107, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE("page " + std::to_string(c.page) + " button " + std::to_string(c.button));
        g_events.clear();
        g_step = 0;
        g_script = {[&](HWND dlg) { plat::InputClick(GetDlgItem(dlg, c.button)); }};
        EXPECT_EQ(Run(c.page), c.button) << "the page's answer";
        ASSERT_FALSE(g_events.empty());
        EXPECT_EQ(g_events.front().msg, UINT(WM_INITDIALOG)) << "WM_INITDIALOG comes first";
        EXPECT_EQ(Commands(), std::vector<int>{c.button}) << "one BN_CLICKED of the clicked button";
        EXPECT_FALSE(g_ownerEnabledDuringDialog) << "the owner is disabled while the page is up";
        EXPECT_TRUE(IsWindowEnabled(g_owner)) << "the owner is enabled again afterwards";
    }
}

TEST_F(DialogInput, CloseBoxGivesCancel)
{
    g_script = {[](HWND dlg) { PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }};
    EXPECT_EQ(Run(105), IDCANCEL);
    EXPECT_EQ(Commands(), std::vector<int>{IDCANCEL});
}

TEST_F(DialogInput, DisabledButtonIgnoresClicks)
{
    g_script = {[](HWND dlg) {
                    EnableWindow(GetDlgItem(dlg, 1), FALSE);
                    plat::InputClick(GetDlgItem(dlg, 1));
                },
                [](HWND dlg) { plat::InputClick(GetDlgItem(dlg, 1013)); }};
    EXPECT_EQ(Run(105), 1013);
    EXPECT_EQ(Commands(), std::vector<int>{1013}) << "the disabled Continue sent nothing";
}

TEST_F(DialogInput, RadioButtonsOfAGroupExcludeEachOther)
{
    int check1008 = -1, check1009 = -1;
    g_script = {[](HWND dlg) { CheckRadioButton(dlg, 1008, 1009, 1008); },
                [](HWND dlg) { plat::InputClick(GetDlgItem(dlg, 1009)); },
                [&](HWND dlg) {
                    check1008 = int(IsDlgButtonChecked(dlg, 1008));
                    check1009 = int(IsDlgButtonChecked(dlg, 1009));
                    plat::InputClick(GetDlgItem(dlg, 1));
                }};
    EXPECT_EQ(Run(106), 1);
    EXPECT_EQ(check1008, BST_UNCHECKED) << "clicking the second radio clears the first";
    EXPECT_EQ(check1009, BST_CHECKED);
    EXPECT_EQ(Commands(), (std::vector<int>{1009, 1})) << "the radio's BN_CLICKED, then Continue";
}

TEST_F(DialogInput, ArrowKeysMoveAndCheckWithinTheRadioGroup)
{
    int check1009 = -1;
    g_script = {[](HWND dlg) {
                    CheckRadioButton(dlg, 1008, 1009, 1008);
                    SetFocus(GetDlgItem(dlg, 1008));
                },
                [](HWND dlg) { plat::InputKey(GetDlgItem(dlg, 1008), VK_DOWN); },
                [&](HWND dlg) {
                    check1009 = int(IsDlgButtonChecked(dlg, 1009));
                    plat::InputKey(GetFocus(), VK_ESCAPE);
                }};
    EXPECT_EQ(Run(106), IDCANCEL) << "Escape answers IDCANCEL";
    EXPECT_EQ(check1009, BST_CHECKED) << "the down arrow moved to and checked Current Location";
}

TEST_F(DialogInput, EnterPressesTheDefaultButton)
{
    g_script = {[](HWND dlg) {
        // Focus on the list: Enter goes to the default push button (1).
        SetFocus(GetDlgItem(dlg, 1014));
        plat::InputKey(GetDlgItem(dlg, 1014), VK_RETURN);
    }};
    EXPECT_EQ(Run(112), 1);
}

TEST_F(DialogInput, TabMovesFocusToTheNextTabStop)
{
    int after = 0, before = 0;
    g_script = {[&](HWND dlg) {
                    before = GetDlgCtrlID(GetFocus());
                    plat::InputKey(GetFocus(), VK_TAB);
                },
                [&](HWND dlg) {
                    after = GetDlgCtrlID(GetFocus());
                    plat::InputClick(GetDlgItem(dlg, 2));
                }};
    EXPECT_EQ(Run(105), 2);
    EXPECT_EQ(before, 1) << "WM_INITDIALOG returning TRUE focuses the first tab stop";
    EXPECT_EQ(after, 1013) << "Tab moved to Skip";
}

struct ListLog {
    int selChanges = 0;
    int lastSel = -2;
};
ListLog g_list;

INT_PTR CALLBACK ListProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        for (const char16_t *s : {u"English", u"German", u"French"})
            SendDlgItemMessageW(dlg, 1014, LB_ADDSTRING, 0, LPARAM(s));
        SendDlgItemMessageW(dlg, 1014, LB_SETCURSEL, WPARAM(-1), 0);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == 1014 && HIWORD(wParam) == LBN_SELCHANGE) {
        ++g_list.selChanges;
        g_list.lastSel = int(SendDlgItemMessageW(dlg, 1014, LB_GETCURSEL, 0, 0));
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogInput, ListSelectionByTheUserNotifiesProgramSelectionDoesNot)
{
    g_list = ListLog{};
    int afterProgram = -1;
    g_script = {[&](HWND dlg) {
                    SendDlgItemMessageW(dlg, 1014, LB_SETCURSEL, 2, 0);
                    afterProgram = g_list.selChanges;
                    POINT pt;
                    ASSERT_TRUE(plat::ListBoxItemPoint(GetDlgItem(dlg, 1014), 1, pt));
                    PostMessageW(GetDlgItem(dlg, 1014), WM_LBUTTONDOWN, 1, MAKELPARAM(pt.x, pt.y));
                    PostMessageW(GetDlgItem(dlg, 1014), WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
                },
                [](HWND dlg) { plat::InputClick(GetDlgItem(dlg, 1)); }};
    EXPECT_EQ(DialogBoxIndirectParamW(plat::kProgramInstance, Template(112), g_owner, ListProc, 0), 1);
    EXPECT_EQ(afterProgram, 0) << "LB_SETCURSEL sends no LBN_SELCHANGE";
    EXPECT_EQ(g_list.selChanges, 1) << "a tap on an entry sends one LBN_SELCHANGE";
    EXPECT_EQ(g_list.lastSel, 1) << "the tapped entry is selected";
}

struct EditLog {
    int changes = 0;
    std::u16string text;
};
EditLog g_edit;

INT_PTR CALLBACK EditProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetDlgItemTextW(dlg, 1006, u"\\Program Files\\App");
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == 1006 && HIWORD(wParam) == EN_CHANGE) {
        ++g_edit.changes;
        WCHAR buf[64];
        GetDlgItemTextW(dlg, 1006, buf, 64);
        g_edit.text = buf;
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogInput, TypingIntoAnEditNotifiesEachChange)
{
    g_edit = EditLog{};
    int afterSetText = -1;
    g_script = {[&](HWND dlg) {
                    afterSetText = g_edit.changes;
                    HWND e = GetDlgItem(dlg, 1006);
                    plat::InputClick(e);
                    SendMessageW(e, EM_SETSEL, 0, -1);
                    plat::InputChar(e, u'X');
                    plat::InputChar(e, u'y');
                    plat::InputChar(e, 0x08);
                },
                [](HWND dlg) {
                    SendDlgItemMessageW(dlg, 1006, EM_SETREADONLY, TRUE, 0);
                    plat::InputChar(GetDlgItem(dlg, 1006), u'Z');
                },
                [](HWND dlg) { plat::InputClick(GetDlgItem(dlg, 2)); }};
    EXPECT_EQ(DialogBoxIndirectParamW(plat::kProgramInstance, Template(104), g_owner, EditProc, 0), 2);
    EXPECT_EQ(afterSetText, 1) << "WM_SETTEXT on an edit sends EN_CHANGE";
    EXPECT_EQ(g_edit.changes, 4) << "one EN_CHANGE per typed character, none when read-only";
    EXPECT_EQ(g_edit.text, u"X") << "typed over the selection, then one backspace";
}

TEST_F(DialogInput, MessageBoxReturnsThePressedButton)
{
    struct Case {
        UINT type;
        std::function<void(HWND)> user;
        int result;
        const char *what;
    } cases[] = {
        {MB_OK, [](HWND box) { plat::InputClick(GetDlgItem(box, IDOK)); }, IDOK, "OK"},
        {MB_OK, [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDOK, "close box of an OK box"},
        {MB_OKCANCEL | MB_ICONEXCLAMATION, [](HWND box) { plat::InputKey(GetFocus(), VK_ESCAPE); }, IDCANCEL,
         "Escape"},
        {MB_OKCANCEL, [](HWND box) { plat::InputKey(GetFocus(), VK_RETURN); }, IDOK, "Enter on the default OK"},
        {MB_YESNO | MB_ICONQUESTION, [](HWND box) { plat::InputClick(GetDlgItem(box, IDYES)); }, IDYES, "Yes"},
        {MB_YESNO | MB_ICONQUESTION, [](HWND box) { plat::InputClick(GetDlgItem(box, IDNO)); }, IDNO, "No"},
    };
    for (const Case &c : cases) {
        g_step = 0;
        int buttons = 0;
        g_script = {[&](HWND box) {
            for (HWND k = GetWindow(box, GW_CHILD); k; k = GetWindow(k, GW_HWNDNEXT)) {
                WCHAR cls[16];
                GetClassNameW(k, cls, 16);
                buttons += std::u16string(cls) == u"Button";
            }
            c.user(box);
        }};
        EXPECT_EQ(MessageBoxW(g_owner, u"Question?", u"Setup", c.type), c.result) << c.what;
        EXPECT_EQ(buttons, (c.type & MB_TYPEMASK) == MB_OK ? 1 : 2) << c.what << ": buttons of the style";
        EXPECT_FALSE(g_ownerEnabledDuringDialog) << c.what << ": owner disabled";
        EXPECT_TRUE(IsWindowEnabled(g_owner));
    }
}

TEST_F(DialogInput, FocusComesBackAfterAMessageBox)
{
    HWND edit = CreateWindowExW(0, u"Edit", u"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, g_owner, HMENU(5), 0, nullptr);
    SetFocus(edit);
    g_script = {[](HWND box) { plat::InputClick(GetDlgItem(box, IDOK)); }};
    MessageBoxW(g_owner, u"Note", u"Setup", MB_OK);
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(DialogInput, UnansweredDialogIsClosedNotWaitedFor)
{
    g_script.clear();
    EXPECT_EQ(Run(105), IDCANCEL) << "with no input to come the dialog ends as by its close box";
}

TEST_F(DialogInput, ModelessPageStaysUpAndEndDialogHidesIt)
{
    HWND dlg = CreateDialogIndirectParamW(plat::kProgramInstance, Template(103), g_owner, PageProc, 0);
    ASSERT_NE(dlg, HWND(0));
    EXPECT_TRUE(IsWindowVisible(dlg)) << "a WS_VISIBLE template shows at once";
    EXPECT_EQ(GetParent(dlg), g_owner);
    HWND bar = GetDlgItem(dlg, 1001);
    EXPECT_EQ(SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100)), MAKELRESULT(0, 100));
    EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 40, 0), 0) << "PBM_SETPOS returns the previous position";
    EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 250, 0), 40);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 100) << "positions are kept in the range";
    ASSERT_TRUE(EndDialog(dlg, 0));
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_TRUE(DestroyWindow(dlg));
}

} // namespace
