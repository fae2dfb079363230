// dialog_input_test.cpp - modal and modeless dialogs driven by injected
// user input: the procedure sees WM_INITDIALOG then the WM_COMMAND of the
// clicked button and ends with its id; the close box gives 2; radio groups
// exclude each other; a list selection notifies; typing notifies; keyboard
// navigation (Enter, Escape, arrows); the owner is disabled meanwhile.
#include <windows.h>

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

using Step = std::function<void(HWND)>;
std::vector<Event> g_events;
std::vector<Step> g_script; // what the "user" does each time the dialog waits
size_t g_step = 0;
bool g_ownerEnabledDuringDialog = true;
HWND g_owner = 0;
int g_lastSel = -2;        // the list's selection at its last LBN_SELCHANGE
std::u16string g_editText; // the edit's text at its last EN_CHANGE

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        g_events.push_back({msg, 0, 0});
        for (const char16_t *s : {u"English", u"German", u"French"})
            SendDlgItemMessageW(dlg, 1014, LB_ADDSTRING, 0, LPARAM(s));
        SetDlgItemTextW(dlg, 1006, u"\\Program Files\\App");
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    int id = LOWORD(wParam), code = HIWORD(wParam);
    g_events.push_back({msg, id, code});
    if (id == 1014 && code == LBN_SELCHANGE)
        g_lastSel = int(SendDlgItemMessageW(dlg, 1014, LB_GETCURSEL, 0, 0));
    if (id == 1006 && code == EN_CHANGE) {
        WCHAR buf[64];
        GetDlgItemTextW(dlg, 1006, buf, 64);
        g_editText = buf;
    }
    if (code == BN_CLICKED && (id == 1 || id == 2 || id == 1013 || id == 1002 || id == 1003))
        EndDialog(dlg, id);
    return TRUE;
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

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcW(h, m, w, l);
}

class DialogInput : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
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
    // Runs a page with a fresh script, every step of which must run, and
    // a fresh log.
    INT_PTR Run(int page, std::vector<Step> script)
    {
        g_events.clear();
        g_script = std::move(script);
        g_step = 0;
        HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(page), RT_DIALOG);
        auto *t = static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
        INT_PTR answer = DialogBoxIndirectParamW(plat::kProgramInstance, t, g_owner, PageProc, 0);
        EXPECT_EQ(g_step, g_script.size()) << "every step of the user ran";
        return answer;
    }
    static std::vector<int> Notes(int code)
    {
        std::vector<int> ids;
        for (const Event &e : g_events)
            if (e.msg == WM_COMMAND && e.code == code)
                ids.push_back(e.id);
        return ids;
    }
};

Step Click(int id)
{
    return [id](HWND dlg) { plat::InputClick(GetDlgItem(dlg, id)); };
}

TEST_F(DialogInput, InjectedInputAnswersThePage)
{
    struct Case {
        const char *what;
        int page;
        std::vector<Step> script;
        INT_PTR answer;
        std::vector<int> clicks; // BN_CLICKED ids in order
    } cases[] = {
        {"Continue", 105, {Click(1)}, 1, {1}},
        {"Skip", 105, {Click(1013)}, 1013, {1013}},
        {"Exit", 105, {Click(2)}, 2, {2}},
        {"Reinstall", 108, {Click(1002)}, 1002, {1002}},
        {"Remove", 108, {Click(1003)}, 1003, {1003}},
        {"licence Continue", 107, {Click(1)}, 1, {1}},
        {"the close box gives 2", 105, {[](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }}, 2, {2}},
        {"a disabled button ignores clicks",
         105,
         {[](HWND d) {
              EnableWindow(GetDlgItem(d, 1), FALSE);
              plat::InputClick(GetDlgItem(d, 1));
          },
          Click(1013)},
         1013,
         {1013}},
        {"Enter on the list presses the default button",
         112,
         {[](HWND d) {
             SetFocus(GetDlgItem(d, 1014));
             plat::InputKey(GetDlgItem(d, 1014), VK_RETURN);
         }},
         1,
         {1}},
        {"radio buttons of a group exclude each other",
         106,
         {[](HWND d) { CheckRadioButton(d, 1008, 1009, 1008); }, Click(1009),
          [](HWND d) {
              EXPECT_EQ(IsDlgButtonChecked(d, 1008), UINT(BST_UNCHECKED)) << "clicking the second clears the first";
              EXPECT_EQ(IsDlgButtonChecked(d, 1009), UINT(BST_CHECKED));
              plat::InputClick(GetDlgItem(d, 1));
          }},
         1,
         {1009, 1}},
        {"the down arrow moves to and checks the next radio; Escape answers 2",
         106,
         {[](HWND d) {
              CheckRadioButton(d, 1008, 1009, 1008);
              SetFocus(GetDlgItem(d, 1008));
          },
          [](HWND d) { plat::InputKey(GetDlgItem(d, 1008), VK_DOWN); },
          [](HWND d) {
              EXPECT_EQ(IsDlgButtonChecked(d, 1009), UINT(BST_CHECKED)) << "Current Location checked";
              EXPECT_EQ(GetDlgCtrlID(GetFocus()), 1009) << "and focused";
              plat::InputKey(GetFocus(), VK_ESCAPE);
          }},
         2,
         {1009, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Run(c.page, c.script), c.answer) << "the page's answer";
        ASSERT_FALSE(g_events.empty());
        EXPECT_EQ(g_events.front().msg, UINT(WM_INITDIALOG)) << "WM_INITDIALOG comes first";
        EXPECT_EQ(Notes(BN_CLICKED), c.clicks) << "the BN_CLICKED notes";
        EXPECT_FALSE(g_ownerEnabledDuringDialog) << "the owner is disabled while the page is up";
        EXPECT_TRUE(IsWindowEnabled(g_owner)) << "the owner is enabled again afterwards";
    }
    EXPECT_EQ(Run(105, {}), IDCANCEL) << "with no input to come the page ends as by its close box";
}

TEST_F(DialogInput, ListSelectionByTheUserNotifiesProgramSelectionDoesNot)
{
    g_lastSel = -2;
    size_t afterProgram = 99;
    EXPECT_EQ(Run(112, {[&](HWND dlg) {
                            HWND list = GetDlgItem(dlg, 1014);
                            SendMessageW(list, LB_SETCURSEL, 2, 0);
                            afterProgram = Notes(LBN_SELCHANGE).size();
                            POINT pt;
                            ASSERT_TRUE(plat::ListBoxItemPoint(list, 1, pt));
                            PostMessageW(list, WM_LBUTTONDOWN, 1, MAKELPARAM(pt.x, pt.y));
                            PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
                        },
                        Click(1)}),
              1);
    EXPECT_EQ(afterProgram, 0u) << "LB_SETCURSEL sends no LBN_SELCHANGE";
    EXPECT_EQ(Notes(LBN_SELCHANGE), std::vector<int>{1014}) << "a tap on an entry sends one LBN_SELCHANGE";
    EXPECT_EQ(g_lastSel, 1) << "the tapped entry is selected";
}

TEST_F(DialogInput, TypingIntoAnEditNotifiesEachChange)
{
    size_t afterSetText = 99;
    EXPECT_EQ(Run(104, {[&](HWND dlg) {
                            afterSetText = Notes(EN_CHANGE).size();
                            HWND e = GetDlgItem(dlg, 1006);
                            plat::InputClick(e);
                            SendMessageW(e, EM_SETSEL, 0, -1);
                            plat::InputChar(e, u'X');
                            plat::InputChar(e, u'y');
                            plat::InputChar(e, 0x08);
                        },
                        Click(2)}),
              2);
    EXPECT_EQ(afterSetText, 1u) << "WM_SETTEXT on an edit sends EN_CHANGE";
    EXPECT_EQ(Notes(EN_CHANGE).size(), 4u) << "then one EN_CHANGE per typed character";
    EXPECT_EQ(g_editText, u"X") << "typed over the selection, then one backspace";
}

TEST_F(DialogInput, MessageBoxReturnsThePressedButtonAndGivesTheFocusBack)
{
    HWND edit = CreateWindowExW(0, u"Edit", u"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, g_owner, HMENU(5), 0, nullptr);
    struct Case {
        UINT type;
        Step user;
        int result;
        const char *what;
    } cases[] = {
        {MB_OK, Click(IDOK), IDOK, "OK"},
        {MB_OK, [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDOK, "close box of an OK box"},
        {MB_OKCANCEL | MB_ICONEXCLAMATION, [](HWND) { plat::InputKey(GetFocus(), VK_ESCAPE); }, IDCANCEL,
         "Escape"},
        {MB_OKCANCEL, [](HWND) { plat::InputKey(GetFocus(), VK_RETURN); }, IDOK, "Enter on the default OK"},
        {MB_YESNO | MB_ICONQUESTION, Click(IDYES), IDYES, "Yes"},
        {MB_YESNO | MB_ICONQUESTION, Click(IDNO), IDNO, "No"},
    };
    for (const Case &c : cases) {
        SetFocus(edit);
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
        EXPECT_EQ(GetFocus(), edit) << c.what << ": the focus comes back";
    }
}

TEST_F(DialogInput, ModelessPageStaysUpAndEndDialogHidesIt)
{
    HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(103), RT_DIALOG);
    auto *t = static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
    HWND dlg = CreateDialogIndirectParamW(plat::kProgramInstance, t, g_owner, PageProc, 0);
    ASSERT_NE(dlg, HWND(0));
    EXPECT_TRUE(IsWindowVisible(dlg)) << "a WS_VISIBLE template shows at once";
    EXPECT_EQ(GetParent(dlg), g_owner);
    ASSERT_TRUE(EndDialog(dlg, 0));
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_TRUE(DestroyWindow(dlg));
}

} // namespace
