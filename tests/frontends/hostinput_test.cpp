// hostinput_test.cpp - host keys, clicks and window-close requests of the
// interactive front ends reach the wizard pages only as the window
// messages of the device: Tab and Shift+Tab walk the tab stops, Enter
// presses the focused or default button, Escape and the close box give 2,
// a click is a press and a release inside one enabled control, and input
// anywhere else (outside every control, on a disabled button, on the
// disabled main window) changes nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/hostinput.h"
#include "internal/resources.h"
#include "internal/window.h"

namespace {

std::vector<int> g_clicks;                       // BN_CLICKED ids, in order
std::vector<std::function<void(HWND)>> g_steps;  // the "user", one step per wait
size_t g_step = 0;
HWND g_owner = 0;

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        int id = LOWORD(wParam);
        g_clicks.push_back(id);
        if (id == 1 || id == 2 || id == 1013 || id == 1002 || id == 1003)
            EndDialog(dlg, id);
        return TRUE;
    }
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

const DLGTEMPLATE *Template(int id)
{
    HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
    return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return DefWindowProcW(h, m, w, l);
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

int FocusId()
{
    HWND f = GetFocus();
    return f ? GetDlgCtrlID(f) : 0;
}

class HostInput : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_clicks.clear();
        g_steps.clear();
        g_step = 0;
        plat::HostInputReset();
        plat::UiHooks hooks;
        hooks.idle = Idle;
        plat::SetUiHooks(hooks);
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = u"HostOwner";
        RegisterClassW(&wc);
        g_owner = CreateWindowExW(0, u"HostOwner", u"Setup", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 0, 0, 0, nullptr);
        ASSERT_NE(g_owner, HWND(0));
    }
    void TearDown() override
    {
        plat::HostInputReset();
        DeviceFixture::TearDown();
    }
    INT_PTR Run(int page) { return DialogBoxIndirectParamW(plat::kProgramInstance, Template(page), g_owner, PageProc, 0); }
};

TEST_F(HostInput, TabAndShiftTabWalkTheTabStopsBothWays)
{
    // Page 105: Continue (focused), Skip, Exit are the tab stops.
    std::vector<int> seen;
    auto note = [&](HWND) { seen.push_back(FocusId()); };
    auto key = [](plat::HostKey k) { return [k](HWND dlg) { plat::HostKeyPress(dlg, k); }; };
    g_steps = {note, key(plat::HostKey::Tab), note, key(plat::HostKey::Tab), note, key(plat::HostKey::Tab), note,
               key(plat::HostKey::BackTab), note, key(plat::HostKey::BackTab), note};
    EXPECT_EQ(Run(105), IDCANCEL) << "nothing pressed a button";
    EXPECT_EQ(seen, (std::vector<int>{1, 1013, 2, 1, 2, 1013})) << "focus after each Tab / Shift+Tab";
    EXPECT_TRUE(g_clicks.empty()) << "no button was pressed (" << g_clicks.size() << " clicks)";
    EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "Shift is released after Shift+Tab";
}

TEST_F(HostInput, EnterEscapeAndSpaceAnswerAsTheDeviceDoes)
{
    struct Case {
        const char *what;
        std::vector<std::function<void(HWND)>> steps;
        INT_PTR answer;
    } cases[] = {
        {"Enter on the focused Continue", {[](HWND d) { plat::HostKeyPress(d, plat::HostKey::Enter); }}, 1},
        {"Tab then Enter presses Skip",
         {[](HWND d) { plat::HostKeyPress(d, plat::HostKey::Tab); }, [](HWND d) { plat::HostKeyPress(d, plat::HostKey::Enter); }},
         1013},
        {"Tab then Space presses Skip",
         {[](HWND d) { plat::HostKeyPress(d, plat::HostKey::Tab); }, [](HWND d) { plat::HostKeyPress(d, plat::HostKey::Space); }},
         1013},
        {"Escape is the close box", {[](HWND d) { plat::HostKeyPress(d, plat::HostKey::Escape); }}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        g_clicks.clear();
        g_step = 0;
        g_steps = c.steps;
        EXPECT_EQ(Run(105), c.answer) << "the page's answer";
        EXPECT_EQ(g_clicks, std::vector<int>{int(c.answer)}) << "one BN_CLICKED of the answer";
    }
}

TEST_F(HostInput, ClickOnAButtonAndOnTheCloseBox)
{
    g_steps = {[](HWND d) { ClickAt(d, CentreOf(d, 1013)); }};
    EXPECT_EQ(Run(105), 1013) << "a click on Skip";
    g_step = 0;
    g_steps = {[](HWND d) {
        RECT box = plat::WindowCloseBoxRect(d);
        ASSERT_FALSE(IsRectEmpty(&box)) << "the page has a close box";
        ClickAt(d, POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2});
    }};
    EXPECT_EQ(Run(105), IDCANCEL) << "a click on the close box";
}

TEST_F(HostInput, InputAnywhereElseChangesNothing)
{
    // Each step is harmless; the page is then closed by the harness (2).
    std::vector<bool> posted;
    auto press = [&](POINT p) {
        return [&, p](HWND d) {
            bool down = plat::HostMouseDown(d, p.x, p.y);
            bool up = plat::HostMouseUp(d, p.x, p.y);
            posted.push_back(down || up);
        };
    };
    HWND probe = 0;
    g_steps = {
        [&](HWND d) {
            probe = d;
            posted.push_back(false);
        },
        press(POINT{1, 1}),       // the disabled main window, above the page
        press(POINT{-50, -50}),   // off the screen
        press(POINT{5000, 5000}), // off the screen
        [&](HWND d) {
            // The page's own background, between the controls.
            RECT r{};
            GetWindowRect(d, &r);
            bool down = plat::HostMouseDown(d, r.left + 3, r.bottom - 3);
            posted.push_back(down || plat::HostMouseUp(d, r.left + 3, r.bottom - 3));
        },
        [&](HWND d) {
            // Pressed on Continue, released off it: no click.
            POINT in = CentreOf(d, 1);
            plat::HostMouseDown(d, in.x, in.y);
            RECT r{};
            GetWindowRect(GetDlgItem(d, 1), &r);
            plat::HostMouseUp(d, r.right + 40, r.top - 40);
            posted.push_back(false);
        },
    };
    EXPECT_EQ(Run(105), IDCANCEL) << "no input above answered the page";
    EXPECT_TRUE(g_clicks.empty()) << "no button was clicked (" << g_clicks.size() << " clicks)";
    EXPECT_EQ(posted, (std::vector<bool>{false, false, false, false, false, false})) << "no message was posted";
}

TEST_F(HostInput, DisabledInstallTakesNeitherClicksNorKeys)
{
    // Page 112: Install is disabled until a language is selected.
    std::vector<bool> enabledSeen;
    g_steps = {
        [](HWND d) { ClickAt(d, CentreOf(d, 1)); },
        [](HWND d) { plat::HostKeyPress(d, plat::HostKey::Enter); }, // the default button is Install
        [&](HWND d) {
            enabledSeen.push_back(IsWindowEnabled(GetDlgItem(d, 1)) != FALSE);
            plat::HostKeyPress(d, plat::HostKey::Down); // the list has the focus: selects entry 0
        },
        [&](HWND d) {
            enabledSeen.push_back(IsWindowEnabled(GetDlgItem(d, 1)) != FALSE);
            ClickAt(d, CentreOf(d, 1));
        },
    };
    auto proc = [](HWND dlg, UINT msg, WPARAM w, LPARAM l) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            HWND list = GetDlgItem(dlg, 1014);
            SendMessageW(list, LB_ADDSTRING, 0, LPARAM(u"English"));
            SendMessageW(list, LB_ADDSTRING, 0, LPARAM(u"Russian"));
            EnableWindow(GetDlgItem(dlg, 1), FALSE);
            SetFocus(list);
            return FALSE;
        }
        return PageProc(dlg, msg, w, l);
    };
    EXPECT_EQ(DialogBoxIndirectParamW(plat::kProgramInstance, Template(112), g_owner, proc, 0), 1)
        << "Install answers once a language is chosen";
    EXPECT_EQ(enabledSeen, (std::vector<bool>{false, true})) << "Install enabled only after the selection";
    EXPECT_EQ(g_clicks, std::vector<int>{1}) << "the clicks and Enter on the disabled Install did nothing";
}

TEST_F(HostInput, TypingReplacesTheSelectedFolderText)
{
    std::u16string seen;
    g_steps = {
        [](HWND d) { ClickAt(d, CentreOf(d, 1006)); }, // focus the edit
        [](HWND d) {
            HWND e = GetDlgItem(d, 1006);
            SendMessageW(e, EM_SETSEL, 0, -1);
            for (char16_t c : std::u16string(u"\\Apps"))
                plat::HostChar(d, c);
        },
        [](HWND d) { plat::HostKeyPress(d, plat::HostKey::Backspace); },
        [](HWND d) {
            plat::HostChar(d, u'Z');
            plat::HostChar(d, u'\x01'); // control characters are not typed
        },
        [&](HWND d) {
            WCHAR buf[64];
            GetDlgItemTextW(d, 1006, buf, 64);
            seen = buf;
            plat::HostKeyPress(d, plat::HostKey::Escape);
        },
    };
    auto proc = [](HWND dlg, UINT msg, WPARAM w, LPARAM l) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            SetDlgItemTextW(dlg, 1006, u"\\Program Files\\X");
            return TRUE;
        }
        return PageProc(dlg, msg, w, l);
    };
    EXPECT_EQ(DialogBoxIndirectParamW(plat::kProgramInstance, Template(104), g_owner, proc, 0), IDCANCEL);
    EXPECT_EQ(cetest::U8(seen), "\\AppZ") << "typed text replaced the selection; Backspace removed one";
}

TEST_F(HostInput, WindowAtFindsTheDeepestVisibleControl)
{
    g_steps = {[](HWND d) {
        EXPECT_EQ(plat::HostWindowAt(CentreOf(d, 1).x, CentreOf(d, 1).y), GetDlgItem(d, 1)) << "Continue";
        RECT r{};
        GetWindowRect(d, &r);
        EXPECT_EQ(plat::HostWindowAt(r.left + 1, r.top + 1), d) << "the page's frame";
        EXPECT_EQ(plat::HostWindowAt(1, 1), g_owner) << "the main window around the page";
        EXPECT_EQ(plat::HostWindowAt(-1, -1), HWND(0)) << "off the screen";
        ShowWindow(GetDlgItem(d, 1), SW_HIDE);
        EXPECT_EQ(plat::HostWindowAt(CentreOf(d, 1).x, CentreOf(d, 1).y), d) << "a hidden control is not hit";
    }};
    EXPECT_EQ(Run(105), IDCANCEL);
}

TEST_F(HostInput, CloseRequestClosesEachLaterDialogOnce)
{
    // The host window is closed while no modal dialog waits (work runs).
    plat::HostCloseRequest();
    g_steps = {[](HWND d) { EXPECT_TRUE(plat::HostApplyClose(d)) << "the first wait gets the close"; }};
    EXPECT_EQ(Run(105), IDCANCEL) << "the waiting close reached the next page";

    // A Yes/No box has no Cancel: its close box does nothing, and the
    // close is not given to it again (the user answers).
    g_step = 0;
    std::vector<bool> applied;
    g_steps = {[&](HWND d) { applied.push_back(plat::HostApplyClose(d)); },
               [&](HWND d) { applied.push_back(plat::HostApplyClose(d)); },
               [](HWND d) { ClickAt(d, CentreOf(d, IDNO)); }};
    EXPECT_EQ(MessageBoxW(g_owner, u"Retry?", u"Setup", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(applied, (std::vector<bool>{true, false})) << "the close is given once per dialog";

    // An OK box is ended by its close box with OK.
    g_step = 0;
    g_steps = {[](HWND d) { plat::HostApplyClose(d); }};
    EXPECT_EQ(MessageBoxW(g_owner, u"Done.", u"Setup", MB_OK | MB_ICONINFORMATION), IDOK);

    plat::HostInputReset();
    g_step = 0;
    g_steps = {[](HWND d) { EXPECT_FALSE(plat::HostApplyClose(d)) << "no close after a reset"; }};
    EXPECT_EQ(Run(105), IDCANCEL);
}

TEST_F(HostInput, ModelessPageHasNoCloseBoxToGive)
{
    plat::HostCloseRequest();
    HWND page = CreateDialogIndirectParamW(plat::kProgramInstance, Template(103), g_owner, PageProc, 0);
    ASSERT_NE(page, HWND(0));
    EXPECT_FALSE(plat::HostApplyClose(page)) << "the progress page has no close box";
    plat::PumpPending();
    EXPECT_TRUE(IsWindow(page)) << "the progress page stays up";
    EXPECT_TRUE(plat::HostClosing()) << "the request waits for the next modal dialog";
    DestroyWindow(page);
}

TEST_F(HostInput, KeyStateFollowsTheKeyMessagesTaken)
{
    HWND h = g_owner;
    EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "up at first";
    PostMessageW(h, WM_KEYDOWN, VK_SHIFT, 1);
    EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "a posted key counts only once taken";
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_NE(GetKeyState(VK_SHIFT) & 0x8000, 0) << "down after WM_KEYDOWN was taken";
    PostMessageW(h, WM_KEYUP, VK_SHIFT, LPARAM(0xC0000001u));
    ASSERT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0) << "up after WM_KEYUP";
    EXPECT_EQ(GetKeyState(-1), 0) << "a key number out of range";
    EXPECT_EQ(GetKeyState(256), 0) << "a key number out of range";
}

} // namespace
