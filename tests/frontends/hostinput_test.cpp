// hostinput_test.cpp - dialogs driven by injected user input: host keys
// and clicks of the interactive front ends reach the wizard pages only as
// the window messages of the device. The page procedure sees WM_INITDIALOG
// first, then the WM_COMMAND of the clicked button and ends with its id;
// Tab and Shift+Tab walk the tab stops, Enter presses the focused or
// default button, Escape and the close box give 2, radio buttons of a group
// exclude each other, a list selection sends LBN_SELCHANGE and typing
// EN_CHANGE; input anywhere else (outside every control, on a disabled
// button, on the disabled main window) changes nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "frontends/hostinput.h"
#include "user/resources.h"
#include "user/window.h"

namespace {

using Step = std::function<void(HWND)>;
using plat::HostKey;
std::vector<int> g_clicks; // BN_CLICKED ids, in order
std::vector<UINT> g_msgs;  // WM_INITDIALOG and WM_COMMAND, in order
int g_enChanges = 0;
std::vector<Step> g_steps; // the "user", one step per wait
size_t g_step = 0;
HWND g_owner = 0;
std::u16string g_chosen; // page 112: the entry selected when Install was pressed

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG || msg == WM_COMMAND)
        g_msgs.push_back(msg);
    if (msg == WM_INITDIALOG) {
        // Page 112: Install is disabled until a language is selected.
        if (HWND list = GetDlgItem(dlg, 1014)) {
            for (const char16_t *s : {u"English", u"Estonian", u"Finnish", u"French", u"German", u"Greek",
                                      u"Hungarian", u"Icelandic", u"Italian", u"Latvian", u"Lithuanian",
                                      u"Norwegian", u"Polish", u"Portuguese", u"Romanian", u"Russian",
                                      u"Serbian", u"Slovak"})
                SendMessageW(list, LB_ADDSTRING, 0, LPARAM(s));
            EnableWindow(GetDlgItem(dlg, 1), FALSE);
            SetFocus(list);
            return FALSE;
        }
        SetDlgItemTextW(dlg, 1006, u"\\Program Files\\X"); // page 104's folder
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        int id = LOWORD(wParam);
        g_clicks.push_back(id);
        if (HWND list = GetDlgItem(dlg, 1014)) {
            WCHAR buf[32] = {0};
            SendMessageW(list, LB_GETTEXT, WPARAM(SendMessageW(list, LB_GETCURSEL, 0, 0)), LPARAM(buf));
            g_chosen = buf;
        }
        if (id == 1 || id == 2 || id == 1013)
            EndDialog(dlg, id);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == 1006 && HIWORD(wParam) == EN_CHANGE)
        ++g_enChanges;
    if (msg == WM_COMMAND && LOWORD(wParam) == 1014 && HIWORD(wParam) == LBN_SELCHANGE) {
        EnableWindow(GetDlgItem(dlg, 1), TRUE);
        return TRUE;
    }
    return FALSE;
}

bool Idle(HWND dlg)
{
    if (!dlg || g_step >= g_steps.size())
        return false; // closed as by its close box
    g_steps[g_step++](dlg);
    return true;
}

POINT CentreOf(HWND dlg, int id)
{
    RECT r{};
    GetWindowRect(GetDlgItem(dlg, id), &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A full click of the host mouse at a screen point.
void ClickAt(HWND dlg, POINT p)
{
    plat::HostMouseDown(dlg, p.x, p.y);
    plat::HostMouseUp(dlg, p.x, p.y);
}

Step Click(int id)
{
    return [id](HWND d) { ClickAt(d, CentreOf(d, id)); };
}

// A key press, after checking which control has the focus (0: not checked).
Step Key(HostKey k, int focus = 0)
{
    return [k, focus](HWND d) {
        if (focus) {
            HWND f = GetFocus();
            EXPECT_EQ(f ? GetDlgCtrlID(f) : 0, focus) << "the focus before the key";
        }
        plat::HostKeyPress(d, k);
    };
}

class HostInput : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        plat::HostInputReset();
        plat::UiHooks hooks;
        hooks.idle = Idle;
        plat::SetUiHooks(hooks);
        g_owner = cetest::CreateMainWindow(u"HostOwner");
        ASSERT_NE(g_owner, HWND(0));
    }
    static const DLGTEMPLATE *Template(int id)
    {
        HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
        return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
    }
    // Runs a page under a fresh script, every step of which must run.
    INT_PTR Run(int page, std::vector<Step> steps)
    {
        g_clicks.clear();
        g_msgs.clear();
        g_enChanges = 0;
        g_steps = std::move(steps);
        g_step = 0;
        INT_PTR r = DialogBoxIndirectParamW(plat::kProgramInstance, Template(page), g_owner, PageProc, 0);
        EXPECT_EQ(g_step, g_steps.size()) << "every step of the user ran";
        EXPECT_FALSE(g_msgs.empty() || g_msgs[0] != WM_INITDIALOG) << "WM_INITDIALOG comes first";
        EXPECT_TRUE(IsWindowEnabled(g_owner)) << "the owner is enabled again afterwards";
        return r;
    }
};

// Each row: a page, the user's steps, the page's answer and the
// BN_CLICKED ids it saw; for the language page the entry chosen when
// Install was pressed, for the folder page the EN_CHANGE count.
TEST_F(HostInput, InputAnswersAsTheDeviceDoes)
{
    // Pressed and released somewhere harmless; whether a message was posted.
    std::vector<bool> posted;
    auto press = [&](POINT p) {
        return [&, p](HWND d) {
            bool down = plat::HostMouseDown(d, p.x, p.y);
            posted.push_back(plat::HostMouseUp(d, p.x, p.y) || down);
        };
    };
    auto installEnabled = [](bool on) {
        return [on](HWND d) { EXPECT_EQ(IsWindowEnabled(GetDlgItem(d, 1)) != FALSE, on) << "Install enabled"; };
    };
    // The language list: the wheel over it, or anywhere on the page for the
    // focused list (Exit does not scroll); its top entry.
    auto wheel = [](bool overList, int notches) {
        return [=](HWND d) {
            POINT p = CentreOf(d, overList ? 1014 : 2);
            EXPECT_TRUE(plat::HostMouseWheel(d, p.x, p.y, notches * WHEEL_DELTA));
        };
    };
    auto top = [](int want) {
        return [want](HWND d) { EXPECT_EQ(SendDlgItemMessageW(d, 1014, LB_GETTOPINDEX, 0, 0), want) << "top entry"; };
    };
    Step tapRussian = [](HWND d) {
        HWND list = GetDlgItem(d, 1014);
        int russian = int(SendMessageW(list, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"Russian")));
        RECT r{}, client{};
        ASSERT_EQ(SendMessageW(list, LB_GETITEMRECT, WPARAM(russian), LPARAM(&r)), 1);
        GetClientRect(list, &client);
        ASSERT_TRUE(r.top >= 0 && r.bottom <= client.bottom) << "Russian is in view";
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(list, &p);
        ClickAt(d, p);
    };
    Step typeR = [](HWND d) { plat::HostChar(d, u'R'); };
    // The thumb (at the top of the track) pressed, dragged down past the
    // list's end in steps, and released there.
    auto thumb = [](HWND d) {
        RECT r{};
        GetWindowRect(GetDlgItem(d, 1014), &r);
        int bar = GetSystemMetrics(SM_CXVSCROLL);
        return POINT{r.right - 1 - bar / 2, r.top + 1 + bar + 2};
    };
    Step pressThumb = [=](HWND d) { EXPECT_TRUE(plat::HostMouseDown(d, thumb(d).x, thumb(d).y)); };
    auto dragTo = [=](int dy) {
        return [=](HWND d) {
            EXPECT_EQ(GetCapture(), GetDlgItem(d, 1014)) << "the list has the mouse";
            POINT p = thumb(d);
            EXPECT_TRUE(plat::HostMouseMove(d, p.x + 40, p.y + dy)) << "the move goes to the list, off it or not";
        };
    };
    Step release = [=](HWND d) { EXPECT_TRUE(plat::HostMouseUp(d, thumb(d).x + 40, thumb(d).y + 400)); };
    Step noCapture = [](HWND) { EXPECT_EQ(GetCapture(), HWND(0)) << "released"; };
    struct Case {
        const char *what;
        int page; // 105: Continue (focused), Skip, Exit are the tab stops
        std::vector<Step> steps;
        INT_PTR answer;
        std::vector<int> clicks;
        const char *chosen = nullptr;
        int enChanges = -1;
    } cases[] = {
        {"Tab and Shift+Tab walk the tab stops both ways", 105,
         {Key(HostKey::Tab, 1), Key(HostKey::Tab, 1013), Key(HostKey::Tab, 2), Key(HostKey::BackTab, 1),
          Key(HostKey::BackTab, 2), [](HWND) { EXPECT_EQ(GetDlgCtrlID(GetFocus()), 1013); }},
         IDCANCEL, {}},
        {"Enter on the focused Continue", 105, {Key(HostKey::Enter)}, 1, {1}},
        {"Escape is the close box", 105, {Key(HostKey::Escape)}, 2, {2}},
        {"a click on Skip, the owner disabled meanwhile", 105,
         {[](HWND d) {
             EXPECT_FALSE(IsWindowEnabled(g_owner)) << "the owner while the page is up";
             Click(1013)(d);
         }},
         1013, {1013}},
        {"a click on the close box", 105,
         {[](HWND d) {
             RECT box = plat::WindowCloseBoxRect(d);
             ASSERT_FALSE(IsRectEmpty(&box)) << "the page has a close box";
             ClickAt(d, POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2});
         }},
         IDCANCEL, {2}},
        // Input anywhere else changes nothing; the harness then closes the page.
        {"input outside every button", 105,
         {press(POINT{1, 1}),       // the disabled main window, above the page
          press(POINT{5000, 5000}), // off the screen
          [&](HWND d) {             // the page's own background, between the controls
              RECT r{};
              GetWindowRect(d, &r);
              press(POINT{r.left + 3, r.bottom - 3})(d);
          },
          [](HWND d) { // pressed on Continue, released off it: no click
              POINT in = CentreOf(d, 1);
              RECT r{};
              GetWindowRect(GetDlgItem(d, 1), &r);
              plat::HostMouseDown(d, in.x, in.y);
              plat::HostMouseUp(d, r.right + 40, r.top - 40);
          },
          [&](HWND) { EXPECT_EQ(posted, std::vector<bool>(3, false)) << "no message was posted"; }},
         IDCANCEL, {}},
        // The default button is the disabled Install; the list has the focus.
        {"clicks and Enter on the disabled Install do nothing", 112,
         {Click(1), Key(HostKey::Enter), installEnabled(false), Key(HostKey::Down, 1014), installEnabled(true),
          Click(1)},
         1, {1}, "English"},
        {"the wheel, then a tap on the entry out of view", 112,
         {wheel(false, -1), top(3), wheel(true, -1), top(6), wheel(true, -9), top(18 - 11), tapRussian, Click(1)},
         1, {1}, "Russian"},
        {"typing R twice, then Enter", 112, {typeR, typeR, Key(HostKey::Enter, 1014)}, 1, {1}, "Russian"},
        {"the thumb dragged to the end, then a tap", 112,
         {pressThumb, dragTo(0), top(0), dragTo(400), top(18 - 11), release, noCapture, top(18 - 11), tapRussian,
          Click(1)},
         1, {1}, "Russian"},
        {"radio buttons of a group exclude each other", 106,
         {[](HWND d) { CheckRadioButton(d, 1008, 1009, 1008); }, Click(1009),
          [](HWND d) {
              EXPECT_EQ(IsDlgButtonChecked(d, 1008), UINT(BST_UNCHECKED)) << "the first is cleared";
              EXPECT_EQ(IsDlgButtonChecked(d, 1009), UINT(BST_CHECKED));
          },
          Click(1)},
         1, {1009, 1}},
        // One EN_CHANGE per typed character and one for Backspace.
        {"typing replaces the selection", 104,
         {Click(1006), // focus the edit
          [](HWND d) {
              g_enChanges = 0;
              SendDlgItemMessageW(d, 1006, EM_SETSEL, 0, -1);
              for (char16_t c : std::u16string(u"\\Apps"))
                  plat::HostChar(d, c);
          },
          Key(HostKey::Backspace),
          [](HWND d) {
              plat::HostChar(d, u'\x01'); // control characters are not typed
              WCHAR buf[64];
              GetDlgItemTextW(d, 1006, buf, 64);
              EXPECT_EQ(cetest::U8(buf), "\\App") << "typed text replaced the selection";
          }},
         IDCANCEL, {}, nullptr, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        g_chosen.clear();
        EXPECT_EQ(Run(c.page, c.steps), c.answer) << "the page's answer";
        EXPECT_EQ(g_clicks, c.clicks) << "the BN_CLICKED of the answer only";
        EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "Shift is released after Shift+Tab";
        if (c.chosen) {
            EXPECT_EQ(cetest::U8(g_chosen), c.chosen) << "the entry chosen";
        }
        if (c.enChanges >= 0) {
            EXPECT_EQ(g_enChanges, c.enChanges);
        }
    }
}

// The host window's close reaches each dialog once, as a tap on its close
// box would; asked again, that dialog is left to the user. A dialog made
// after it has gone has a close of its own; a window without a close box,
// or one already gone, takes none.
TEST_F(HostInput, HostCloseGivesEachDialogOneClose)
{
    auto quiet = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    auto closePosted = [](HWND d) {
        MSG m;
        bool any = false;
        while (PeekMessageW(&m, d, 0, 0, PM_REMOVE))
            any = any || (m.message == WM_SYSCOMMAND && m.wParam == SC_CLOSE);
        return any;
    };
    HWND first = CreateDialogIndirectParamW(plat::kProgramInstance, Template(105), g_owner, quiet, 0);
    ASSERT_NE(first, HWND(0));
    closePosted(first);
    EXPECT_FALSE(plat::HostApplyClose(first)) << "no close asked yet";
    plat::HostCloseRequest();
    EXPECT_FALSE(plat::HostApplyClose(g_owner)) << "the main window has no close box";
    EXPECT_TRUE(plat::HostApplyClose(first));
    EXPECT_TRUE(closePosted(first)) << "the close box's command";
    EXPECT_FALSE(plat::HostApplyClose(first)) << "it had its close: the user decides";
    EXPECT_FALSE(closePosted(first));
    ASSERT_TRUE(DestroyWindow(first));
    EXPECT_FALSE(plat::HostApplyClose(first)) << "gone";
    HWND second = CreateDialogIndirectParamW(plat::kProgramInstance, Template(105), g_owner, quiet, 0);
    ASSERT_NE(second, HWND(0));
    closePosted(second);
    EXPECT_TRUE(plat::HostApplyClose(second)) << "a new dialog has its own close";
    EXPECT_TRUE(closePosted(second));
    EXPECT_FALSE(plat::HostApplyClose(second));
    DestroyWindow(second);
    plat::HostInputReset();
}

} // namespace
