// user_window_test.cpp - conformance tests of windows and the message queue:
// classes, creation, parent/owner/children, styles, text, handles, sent and
// posted messages, WM_QUIT, focus and FindWindowW.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/device.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK RecordProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_USER || msg == WM_CREATE || msg == WM_DESTROY || msg == WM_SETTEXT)
        g_seen.push_back({hwnd, msg, wParam});
    if (msg == WM_USER + 50)
        return 1234;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class UserWindow : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_seen.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordProc;
        wc.lpszClassName = u"TestWndClass";
        wc.hbrBackground = GetStockObject(LTGRAY_BRUSH);
        ASSERT_NE(RegisterClassW(&wc), 0) << "RegisterClassW failed, error " << GetLastError();
    }
    HWND Make(DWORD style = WS_VISIBLE, HWND parent = 0, int id = 0)
    {
        return CreateWindowExW(0, u"TestWndClass", u"Title", style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, parent, HMENU(uintptr_t(id)), 0, nullptr);
    }
};

TEST_F(UserWindow, ClassesAreRegisteredOnceAndMustExist)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordProc;
    wc.lpszClassName = u"testwndclass"; // names compare without case
    SetLastError(0);
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS)) << "error of a second registration";
    EXPECT_EQ(RegisterClassW(nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 10, 10, 0, 0, 0, nullptr), HWND(0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(UserWindow, TopLevelGeometry)
{
    HWND w = Make();
    ASSERT_NE(w, HWND(0));
    RECT r;
    ASSERT_TRUE(GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 240) << "width of a CW_USEDEFAULT window on a 240x320 screen";
    EXPECT_EQ(r.bottom, 320);
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 240) << "WS_VISIBLE alone has no frame";
    EXPECT_EQ(r.bottom, 320);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, UINT(WM_CREATE));

    HWND framed = CreateWindowExW(0, u"TestWndClass", u"T", WS_POPUP | WS_CAPTION, 10, 20, 100, 80, 0, 0, 0, nullptr);
    ASSERT_TRUE(GetClientRect(framed, &r));
    EXPECT_EQ(r.right, 100 - 2 * 2) << "client width with a 2-pixel frame";
    EXPECT_EQ(r.bottom, 80 - 2 * 2 - 20) << "client height with a 20-pixel caption";
    POINT p{0, 0};
    ClientToScreen(framed, &p);
    EXPECT_EQ(p.x, 12);
    EXPECT_EQ(p.y, 42);

    ASSERT_TRUE(SetWindowPos(framed, 0, 30, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    GetWindowRect(framed, &r);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 100) << "SWP_NOSIZE keeps the size";
    ASSERT_TRUE(MoveWindow(framed, 1, 2, 3, 4, TRUE));
    GetWindowRect(framed, &r);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 6);

    // The screen size follows the device.
    plat::DeviceMutableSettings().screenWidth = 480;
    plat::DeviceMutableSettings().screenHeight = 640;
    ASSERT_TRUE(GetWindowRect(Make(), &r));
    EXPECT_EQ(r.right, 480);
    EXPECT_EQ(r.bottom, 640);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
}

TEST_F(UserWindow, StaleHandleFailsWithInvalidWindowHandle)
{
    HWND w = Make();
    ASSERT_TRUE(IsWindow(w));
    ASSERT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(w));
    struct Call {
        const char *name;
        std::function<bool()> fails;
    } calls[] = {
        {"GetWindowLongW", [&] { return GetWindowLongW(w, GWL_STYLE) == 0; }},
        {"SetWindowTextW", [&] { return !SetWindowTextW(w, u"x"); }},
        {"GetClientRect", [&] { RECT r; return !GetClientRect(w, &r); }},
        {"DestroyWindow", [&] { return !DestroyWindow(w); }},
        {"ShowWindow", [&] { return !ShowWindow(w, SW_SHOW); }},
        {"PostMessageW", [&] { return !PostMessageW(w, WM_USER, 0, 0); }},
        {"GetParent", [&] { return GetParent(w) == 0; }},
        {"GetDlgItem", [&] { return GetDlgItem(w, 1) == 0; }},
    };
    for (auto &c : calls) {
        SetLastError(0);
        EXPECT_TRUE(c.fails()) << c.name << " on a destroyed window";
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE)) << c.name;
    }
    // A handle of another kind is refused in the same way.
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    SetLastError(0);
    EXPECT_FALSE(IsWindow(HWND(b)));
    EXPECT_EQ(SendMessageW(HWND(b), WM_USER + 50, 0, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    DeleteObject(b);
}

TEST_F(UserWindow, SentMessagesRunAtOncePostedOnesInOrderThenQuit)
{
    HWND w = Make();
    g_seen.clear();
    ASSERT_TRUE(PostMessageW(w, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostMessageW(w, WM_USER + 2, 2, 0));
    EXPECT_EQ(SendMessageW(w, WM_USER + 50, 0, 0), 1234) << "result of a sent message";
    ASSERT_EQ(g_seen.size(), 1u) << "the sent message is handled before the posted ones";
    PostQuitMessage(7);
    ASSERT_TRUE(PostMessageW(w, WM_USER + 3, 3, 0)) << "posted after the quit";
    MSG m;
    std::vector<UINT> got;
    BOOL r;
    while ((r = GetMessageW(&m, 0, 0, 0)) == 1) {
        got.push_back(m.message);
        DispatchMessageW(&m);
    }
    EXPECT_EQ(r, 0) << "GetMessageW result for WM_QUIT";
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(m.wParam, WPARAM(7)) << "exit code carried by WM_QUIT";
    std::vector<UINT> posted;
    for (UINT g : got)
        if (g >= WM_USER)
            posted.push_back(g);
    EXPECT_EQ(posted, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}))
        << "posted messages come before WM_QUIT, in order";
    EXPECT_FALSE(PeekMessageW(&m, 0, WM_USER, WM_USER + 100, PM_REMOVE)) << "queue empty afterwards";
    EXPECT_EQ(GetMessageW(&m, 0, WM_USER, WM_USER), -1) << "a wait that no input can end is refused";

    PostMessageW(w, WM_USER + 9, 0, 0);
    ASSERT_TRUE(PeekMessageW(&m, 0, WM_USER, WM_USER + 100, PM_NOREMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 9));
    ASSERT_TRUE(PeekMessageW(&m, 0, WM_USER, WM_USER + 100, PM_REMOVE)) << "PM_NOREMOVE left the message";
    EXPECT_FALSE(PeekMessageW(&m, 0, WM_USER, WM_USER + 100, PM_REMOVE));
}

TEST_F(UserWindow, ChildrenOwnedPopupsAndFocus)
{
    HWND top = Make();
    HWND a = Make(WS_CHILD | WS_VISIBLE, top, 11);
    HWND b = Make(WS_CHILD | WS_VISIBLE, top, 12);
    HWND c = Make(WS_CHILD, top, 13);
    EXPECT_EQ(GetWindow(top, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
    EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), HWND(0));
    EXPECT_EQ(GetParent(b), top);
    EXPECT_EQ(GetWindowLongW(b, GWL_ID), 12);
    EXPECT_EQ(GetDlgCtrlID(c), 13);
    EXPECT_EQ(GetDlgItem(top, 13), c);
    EXPECT_FALSE(IsWindowVisible(c));
    EXPECT_TRUE(IsWindowVisible(a));
    HWND popup = CreateWindowExW(0, u"TestWndClass", u"", WS_POPUP, 0, 0, 10, 10, a, 0, 0, nullptr);
    EXPECT_EQ(GetParent(popup), top) << "GetParent of an owned popup is its (top-level) owner";
    EXPECT_EQ(GetWindow(popup, GW_CHILD), HWND(0));
    EXPECT_EQ(GetActiveWindow(), top) << "a visible top-level window becomes active";
    SetFocus(b);
    EXPECT_EQ(GetFocus(), b);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), HWND(0)) << "focus leaves a destroyed window";
    ASSERT_TRUE(DestroyWindow(top));
    EXPECT_FALSE(IsWindow(a)) << "children die with their parent";
    EXPECT_FALSE(IsWindow(popup)) << "owned popups die with their owner";
}

TEST_F(UserWindow, TextStyleAndEnabledState)
{
    HWND w = Make();
    WCHAR buf[16];
    EXPECT_EQ(GetWindowTextW(w, buf, 16), 5);
    EXPECT_EQ(std::u16string(buf), u"Title");
    ASSERT_TRUE(SetWindowTextW(w, u"A much longer title"));
    EXPECT_EQ(GetWindowTextLengthW(w), 19);
    EXPECT_EQ(GetWindowTextW(w, buf, 5), 4) << "text is cut to the buffer";
    EXPECT_EQ(std::u16string(buf), u"A mu");
    WCHAR cls[8];
    EXPECT_EQ(GetClassNameW(w, cls, 8), 7);
    EXPECT_EQ(std::u16string(cls), u"TestWnd");
    EXPECT_TRUE(IsWindowEnabled(w));
    EXPECT_FALSE(EnableWindow(w, FALSE)) << "was enabled";
    EXPECT_FALSE(IsWindowEnabled(w));
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_DISABLED);
    EXPECT_TRUE(EnableWindow(w, TRUE)) << "was disabled";
    EXPECT_TRUE(ShowWindow(w, SW_HIDE)) << "was visible";
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_FALSE(ShowWindow(w, SW_SHOW)) << "was hidden";
}

TEST_F(UserWindow, FindWindowFindsOwnWindowsAndRunningApplications)
{
    HWND w = Make();
    EXPECT_EQ(FindWindowW(u"testwndclass", nullptr), w);
    EXPECT_EQ(FindWindowW(nullptr, u"Title"), w);
    EXPECT_EQ(FindWindowW(u"MiskaMainWnd", nullptr), HWND(0)) << "nothing runs on a new device";
    plat::DeviceMutableSettings().running.push_back(u"MiskaMainWnd");
    HWND other = FindWindowW(u"MiskaMainWnd", nullptr);
    EXPECT_NE(other, HWND(0)) << "a running application's window is found";
    EXPECT_TRUE(IsWindow(other));
    EXPECT_EQ(FindWindowW(u"MISKAMAINWND", nullptr), other) << "same window again, any case";
}

TEST_F(UserWindow, PaintMessagesComeWhenNothingIsPosted)
{
    HWND w = Make();
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_PAINT)) << "a new visible window needs painting";
    DispatchMessageW(&m);
    EXPECT_FALSE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) << "painted once";
    InvalidateRect(w, nullptr, TRUE);
    PostMessageW(w, WM_USER + 1, 0, 0);
    ASSERT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 1)) << "posted messages come before WM_PAINT";
}

} // namespace
