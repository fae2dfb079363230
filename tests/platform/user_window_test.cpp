// user_window_test.cpp - conformance tests of windows and the message queue:
// creation, parent/owner/children, handles, sent and posted messages,
// WM_QUIT and focus.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "user/window.h"

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

TEST_F(UserWindow, StaleOrForeignHandleFailsWithInvalidWindowHandle)
{
    HWND w = Make();
    ASSERT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(w));
    SetLastError(0);
    EXPECT_FALSE(SetWindowTextW(w, u"x")) << "a destroyed window";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    SetLastError(0);
    EXPECT_EQ(SendMessageW(HWND(b), WM_USER + 50, 0, 0), 0) << "a handle of another kind";
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
    std::vector<UINT> posted;
    BOOL r;
    while ((r = GetMessageW(&m, 0, 0, 0)) == 1)
        if (m.message >= WM_USER)
            posted.push_back(m.message);
    EXPECT_EQ(r, 0) << "GetMessageW result for WM_QUIT";
    EXPECT_EQ(m.wParam, WPARAM(7)) << "exit code carried by WM_QUIT";
    EXPECT_EQ(posted, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}))
        << "posted messages come before WM_QUIT, in order";
    EXPECT_EQ(GetMessageW(&m, 0, WM_USER, WM_USER), -1) << "a wait that no input can end is refused";
}

TEST_F(UserWindow, ChildrenOwnedPopupsAndFocus)
{
    HWND top = Make();
    HWND a = Make(WS_CHILD | WS_VISIBLE, top, 11);
    HWND b = Make(WS_CHILD | WS_VISIBLE, top, 12);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetDlgItem(top, 12), b);
    HWND popup = CreateWindowExW(0, u"TestWndClass", u"", WS_POPUP, 0, 0, 10, 10, a, 0, 0, nullptr);
    EXPECT_EQ(GetParent(popup), top) << "GetParent of an owned popup is its (top-level) owner";
    SetFocus(b);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), HWND(0)) << "focus leaves a destroyed window";
    ASSERT_TRUE(DestroyWindow(top));
    EXPECT_FALSE(IsWindow(a)) << "children die with their parent";
    EXPECT_FALSE(IsWindow(popup)) << "owned popups die with their owner";
}

// The tree checker holds after creations and destructions, and names each
// kind of broken link made by hand (each undone before the next).
TEST_F(UserWindow, TreeCheckerFindsBrokenLinks)
{
    HWND a = Make(WS_VISIBLE);
    HWND b = Make(WS_CHILD | WS_VISIBLE, a, 1);
    HWND c = Make(WS_CHILD | WS_VISIBLE, b, 2);
    HWND d = Make(WS_POPUP | WS_VISIBLE, a);
    HWND gone = Make(WS_CHILD, a, 3);
    ASSERT_TRUE(a && b && c && d && gone);
    ASSERT_TRUE(DestroyWindow(gone));
    EXPECT_EQ(plat::WindowTreeProblem(), "");
    auto wa = plat::WindowGet(a), wb = plat::WindowGet(b), wd = plat::WindowGet(d);
    ASSERT_EQ(wd->owner, a);

    const struct {
        const char *fault;
        std::function<void()> make, undo;
        const char *found;
    } rows[] = {
        {"child names another parent", [&] { wb->parent = d; }, [&] { wb->parent = a; }, "as parent"},
        {"child listed twice", [&] { wb->children.push_back(c); }, [&] { wb->children.pop_back(); }, "twice"},
        {"owner cycle", [&] { wa->owner = d; }, [&] { wa->owner = 0; }, "owner cycle"},
        {"owner a child window", [&] { wd->owner = b; }, [&] { wd->owner = a; }, "not a live top-level"},
        {"destroyed child still listed", [&] { wa->children.push_back(gone); }, [&] { wa->children.pop_back(); },
         "dead child"},
        {"child without WS_CHILD", [&] { wb->style &= ~WS_CHILD; }, [&] { wb->style |= WS_CHILD; }, "not WS_CHILD"},
        {"child in no list", [&] { wb->children.clear(); }, [&] { wb->children.push_back(c); }, "in no list"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.fault);
        row.make();
        EXPECT_NE(plat::WindowTreeProblem().find(row.found), std::string::npos) << plat::WindowTreeProblem();
        row.undo();
        EXPECT_EQ(plat::WindowTreeProblem(), "");
    }

    ASSERT_TRUE(DestroyWindow(b));
    EXPECT_EQ(plat::WindowTreeProblem(), "") << "a destroyed subtree is unlinked";
    ASSERT_TRUE(DestroyWindow(a));
    EXPECT_FALSE(IsWindow(d)) << "owned popups go with their owner";
    EXPECT_EQ(plat::WindowTreeProblem(), "");
}

} // namespace
