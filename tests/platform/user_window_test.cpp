// user_window_test.cpp - conformance tests of windows and the message queue:
// creation, parent/owner/children, handles, sent and posted messages,
// WM_QUIT, focus and the caret.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "gdi/screen.h"
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

LRESULT Dispatch(HWND h, UINT msg)
{
    MSG m{h, msg, 0, 0, 0, {0, 0}};
    return DispatchMessageW(&m);
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

// Every call of the message and painting paths refuses a destroyed window,
// and a handle of another kind, the way the platform does: its failure
// value and, except for the default procedure (which sets no error),
// ERROR_INVALID_WINDOW_HANDLE; and none reaches the destroyed window's
// procedure.
TEST_F(UserWindow, MessageAndPaintCallsRefuseADestroyedWindow)
{
    constexpr DWORD kUntouched = 0xBEEF;
    RECT r;
    PAINTSTRUCT ps;
    MSG m;
    struct Case {
        const char *call;
        std::function<LRESULT(HWND)> run;
        LRESULT failed;
        DWORD error;
    };
    const std::vector<Case> cases = {
        {"SendMessageW", [](HWND h) { return SendMessageW(h, WM_USER + 50, 0, 0); }, 0, ERROR_INVALID_WINDOW_HANDLE},
        {"SetWindowTextW", [](HWND h) { return LRESULT(SetWindowTextW(h, u"x")); }, FALSE, ERROR_INVALID_WINDOW_HANDLE},
        {"DispatchMessageW", [](HWND h) { return Dispatch(h, WM_USER + 50); }, 0, ERROR_INVALID_WINDOW_HANDLE},
        {"DispatchMessageW of WM_PAINT", [](HWND h) { return Dispatch(h, WM_PAINT); }, 0,
         ERROR_INVALID_WINDOW_HANDLE},
        {"UpdateWindow", [](HWND h) { return LRESULT(UpdateWindow(h)); }, FALSE, ERROR_INVALID_WINDOW_HANDLE},
        {"InvalidateRect", [](HWND h) { return LRESULT(InvalidateRect(h, nullptr, TRUE)); }, FALSE,
         ERROR_INVALID_WINDOW_HANDLE},
        {"GetClientRect", [&r](HWND h) { return LRESULT(GetClientRect(h, &r)); }, FALSE,
         ERROR_INVALID_WINDOW_HANDLE},
        {"BeginPaint", [&ps](HWND h) { return LRESULT(BeginPaint(h, &ps)); }, 0, ERROR_INVALID_WINDOW_HANDLE},
        {"IsDialogMessageW", [&m](HWND h) { return LRESULT(IsDialogMessageW(h, &(m = {h, WM_KEYDOWN, VK_TAB}))); },
         FALSE, ERROR_INVALID_WINDOW_HANDLE},
        {"DefWindowProcW of WM_PAINT", [](HWND h) { return DefWindowProcW(h, WM_PAINT, 0, 0); }, 0, kUntouched},
        {"DefWindowProcW of WM_SETTEXT",
         [](HWND h) { return DefWindowProcW(h, WM_SETTEXT, 0, LPARAM(u"x")); }, 0, kUntouched},
        {"DefWindowProcW of WM_GETTEXTLENGTH", [](HWND h) { return DefWindowProcW(h, WM_GETTEXTLENGTH, 0, 0); }, 0,
         kUntouched},
    };
    HBRUSH foreign = CreateSolidBrush(RGB(1, 2, 3));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        HWND w = Make();
        ASSERT_TRUE(w);
        InvalidateRect(w, nullptr, TRUE); // something to paint, were it still there
        ASSERT_TRUE(DestroyWindow(w));
        g_seen.clear();
        for (HWND h : {w, HWND(foreign)}) {
            SetLastError(kUntouched);
            EXPECT_EQ(c.run(h), c.failed) << (h == w ? "destroyed" : "foreign");
            EXPECT_EQ(GetLastError(), c.error) << (h == w ? "destroyed" : "foreign");
        }
        EXPECT_TRUE(g_seen.empty()) << "the destroyed window's procedure was called";
    }
    DeleteObject(foreign);
}

// GetDlgItem answers from the children as they are now: each case asks
// for an id once (so that the answer may be kept), changes the children,
// and asks again. Children are made with ids 11, 12, 13 in that order.
TEST_F(UserWindow, GetDlgItemFollowsTheChildrenAsTheyChange)
{
    struct Case {
        const char *name;
        int id;                // asked for, before and after
        int renumber, newId;   // child renumbered (-1 none) and its new id
        int destroy;           // child destroyed (-1 none)
        int expect;            // the child expected after (-1 none, 3 a new child with the id)
    };
    const Case cases[] = {
        {"nothing changed", 12, -1, 0, -1, 1},
        {"the child renumbered", 12, 1, 40, -1, -1},
        {"an earlier child given the id", 13, 0, 13, -1, 0},
        {"the child destroyed", 12, -1, 0, 1, -1},
        {"the child destroyed, a later one with the same id", 12, 2, 12, 1, 2},
        {"a new child for an id not found before", 50, -1, 0, -1, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HWND top = Make();
        HWND kids[4];
        for (int i = 0; i < 3; ++i)
            kids[i] = Make(WS_CHILD | WS_VISIBLE, top, 11 + i);
        GetDlgItem(top, c.id);
        EXPECT_EQ(GetDlgItem(top, 11), kids[0]) << "another id asked between";
        GetDlgItem(top, c.id);
        if (c.renumber >= 0)
            SetWindowLongW(kids[c.renumber], GWL_ID, c.newId);
        if (c.destroy >= 0)
            DestroyWindow(kids[c.destroy]);
        if (c.expect == 3)
            kids[3] = Make(WS_CHILD | WS_VISIBLE, top, c.id);
        HWND expect = c.expect < 0 ? HWND(0) : kids[c.expect];
        SetLastError(0);
        EXPECT_EQ(GetDlgItem(top, c.id), expect);
        EXPECT_EQ(GetLastError(), expect ? DWORD(0) : DWORD(1421)) << "ERROR_CONTROL_ID_NOT_FOUND when none";
        DestroyWindow(top);
    }
}

// SetDlgItemTextW sets the text of the child GetDlgItem finds now: each
// case sets an id's text twice (so that the child found may be kept),
// changes the children, and sets it again. A dialog destroyed after its
// item was set is refused as a stale handle.
TEST_F(UserWindow, SetDlgItemTextFollowsTheChildrenAsTheyChange)
{
    struct Case {
        const char *name;
        int id;              // set, before and after
        int renumber, newId; // child renumbered (-1 none) and its new id
        int destroy;         // child destroyed (-1 none)
        int expect;          // the child expected after (-1 none, 3 a new child with the id)
    };
    const Case cases[] = {
        {"nothing changed", 12, -1, 0, -1, 1},
        {"the child renumbered", 12, 1, 40, -1, -1},
        {"an earlier child given the id", 13, 0, 13, -1, 0},
        {"the child destroyed", 12, -1, 0, 1, -1},
        {"the child destroyed, a later one with the same id", 12, 2, 12, 1, 2},
        {"a new child for an id not found before", 50, -1, 0, -1, 3},
    };
    auto textOf = [](HWND h) {
        WCHAR buf[16] = {};
        GetWindowTextW(h, buf, 16);
        return std::u16string(buf);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HWND top = Make();
        HWND kids[4] = {};
        for (int i = 0; i < 3; ++i)
            kids[i] = Make(WS_CHILD | WS_VISIBLE, top, 11 + i);
        SetDlgItemTextW(top, c.id, u"before");
        SetDlgItemTextW(top, c.id, u"before");
        if (c.renumber >= 0)
            SetWindowLongW(kids[c.renumber], GWL_ID, c.newId);
        if (c.destroy >= 0)
            DestroyWindow(kids[c.destroy]);
        if (c.expect == 3)
            kids[3] = Make(WS_CHILD | WS_VISIBLE, top, c.id);
        SetLastError(0);
        EXPECT_EQ(SetDlgItemTextW(top, c.id, u"after"), c.expect >= 0 ? TRUE : FALSE);
        EXPECT_EQ(GetLastError(), c.expect >= 0 ? DWORD(0) : DWORD(1421)) << "ERROR_CONTROL_ID_NOT_FOUND when none";
        for (int i = 0; i < 4; ++i) {
            if (kids[i] && IsWindow(kids[i])) {
                EXPECT_EQ(textOf(kids[i]) == u"after", i == c.expect) << "child " << i;
            }
        }
        DestroyWindow(top);
        SetLastError(0);
        EXPECT_FALSE(SetDlgItemTextW(top, c.id, u"gone")) << "a destroyed dialog";
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    }
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

// IsChild follows the chain of parents only: children and their children,
// not the window itself, its owned popups or siblings; a stale handle is
// nobody's child. Messages of a child pass a filter on its ancestor.
// Children are listed in creation order, an owned popup's parent is its
// top-level owner, focus leaves a destroyed window, and children and owned
// popups die with their window.
TEST_F(UserWindow, IsChildFollowsParentsNotOwners)
{
    HWND top = Make();
    HWND child = Make(WS_CHILD | WS_VISIBLE, top, 1);
    HWND grandchild = Make(WS_CHILD | WS_VISIBLE, child, 2);
    HWND sibling = Make(WS_CHILD | WS_VISIBLE, top, 3);
    HWND popup = Make(WS_POPUP | WS_VISIBLE, child);
    HWND gone = Make(WS_CHILD, child, 4);
    ASSERT_TRUE(DestroyWindow(gone));
    struct {
        const char *what;
        HWND parent, hwnd;
        BOOL expected;
    } rows[] = {
        {"direct child", top, child, TRUE},
        {"child of a child", top, grandchild, TRUE},
        {"the window itself", child, child, FALSE},
        {"the parent of the window", grandchild, child, FALSE},
        {"a sibling", child, sibling, FALSE},
        {"an owned popup", child, popup, FALSE},
        {"a popup's owner's parent", top, popup, FALSE},
        {"a destroyed child", child, gone, FALSE},
        {"no parent", 0, child, FALSE},
    };
    for (const auto &r : rows)
        EXPECT_EQ(IsChild(r.parent, r.hwnd), r.expected) << r.what;
    ASSERT_TRUE(PostMessageW(grandchild, WM_USER + 7, 0, 0));
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, sibling, 0, 0, PM_NOREMOVE)) << "a filter on a sibling";
    ASSERT_TRUE(PeekMessageW(&m, top, 0, 0, PM_REMOVE)) << "a filter on an ancestor takes its children's messages";
    EXPECT_EQ(m.hwnd, grandchild);
    EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), sibling);
    EXPECT_EQ(GetDlgItem(top, 3), sibling);
    EXPECT_EQ(GetParent(popup), top) << "GetParent of an owned popup is its (top-level) owner";
    SetFocus(sibling);
    DestroyWindow(sibling);
    EXPECT_EQ(GetFocus(), HWND(0)) << "focus leaves a destroyed window";
    ASSERT_TRUE(DestroyWindow(top));
    EXPECT_FALSE(IsWindow(grandchild)) << "children die with their parent";
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

// The caret: made hidden, shown by as many ShowCaret as HideCaret before,
// by its owner only; seen over its window's client area (clipped to it)
// and in pictures of the screen, inverted; it blinks only when a front end
// asks with its clock, comes on again when moved, and goes with its window.
TEST_F(UserWindow, CaretShownHiddenMovedBlinkingAndDestroyed)
{
    HWND top = Make();
    HWND c = CreateWindowExW(0, u"TestWndClass", u"", WS_CHILD | WS_VISIBLE, 10, 20, 60, 30, top, HMENU(1), 0,
                             nullptr);
    ASSERT_NE(c, HWND(0));
    UpdateWindow(top);
    POINT o{0, 0};
    ClientToScreen(c, &o);
    auto seen = [](bool picture) {
        plat::Region r = plat::ScreenCaretRects(picture);
        return r.size() == 1 ? r[0] : RECT{-1, -1, -1, -1};
    };
    auto is = [](const RECT &r, int l, int t, int rr, int b) {
        return r.left == l && r.top == t && r.right == rr && r.bottom == b;
    };
    POINT p{};
    EXPECT_FALSE(SetCaretPos(1, 1)) << "no caret yet";
    EXPECT_FALSE(GetCaretPos(&p));
    EXPECT_FALSE(ShowCaret(0));
    ASSERT_TRUE(CreateCaret(c, 0, 2, 13));
    EXPECT_TRUE(plat::ScreenCaretRects(true).empty()) << "a new caret is hidden";
    EXPECT_FALSE(ShowCaret(top)) << "only its owner shows it";
    EXPECT_TRUE(ShowCaret(c));
    EXPECT_TRUE(is(seen(true), o.x, o.y, o.x + 2, o.y + 13)) << "at the client area's corner, 2 x 13";
    EXPECT_TRUE(SetCaretPos(5, 3));
    ASSERT_TRUE(GetCaretPos(&p));
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 3);
    EXPECT_TRUE(is(seen(false), o.x + 5, o.y + 3, o.x + 7, o.y + 16));
    std::vector<uint8_t> rgb = plat::ScreenRgb();
    size_t at = (size_t(o.y + 3) * plat::ScreenGet().width + size_t(o.x + 5)) * 3;
    uint32_t under = plat::ScreenPixel(o.x + 5, o.y + 3);
    EXPECT_EQ(rgb[at], uint8_t(~GetRValue(under))) << "pictures show it inverted over the window";
    EXPECT_EQ(plat::ScreenPixel(o.x + 5, o.y + 3), under) << "the window's pixels are left as they are";

    EXPECT_TRUE(HideCaret(c));
    EXPECT_TRUE(HideCaret(0));
    EXPECT_TRUE(ShowCaret(c));
    EXPECT_TRUE(plat::ScreenCaretRects(true).empty()) << "two hides need two shows";
    EXPECT_EQ(plat::CaretBlinkDue(1000), -1) << "a hidden caret does not blink";
    EXPECT_TRUE(ShowCaret(c));
    EXPECT_FALSE(plat::ScreenCaretRects(true).empty());

    const int blink = int(GetCaretBlinkTime());
    ASSERT_GT(blink, 0);
    EXPECT_EQ(plat::CaretBlinkDue(1000), blink) << "the phase starts at the first reading of the clock";
    EXPECT_FALSE(plat::CaretBlink(1000 + blink - 1));
    EXPECT_TRUE(plat::CaretBlink(1000 + blink)) << "off";
    EXPECT_TRUE(plat::ScreenCaretRects(false).empty()) << "the screen shows the off phase";
    EXPECT_FALSE(plat::ScreenCaretRects(true).empty()) << "pictures show the caret in any phase";
    EXPECT_TRUE(plat::CaretBlink(1000 + 5 * blink)) << "on again, once, after a long sleep";
    EXPECT_FALSE(plat::ScreenCaretRects(false).empty());
    EXPECT_EQ(plat::CaretBlinkDue(1000 + 5 * blink), blink);
    EXPECT_TRUE(plat::CaretBlink(1000 + 6 * blink)) << "off";
    EXPECT_TRUE(SetCaretPos(59, 0)) << "half outside the client area";
    EXPECT_TRUE(is(seen(false), o.x + 59, o.y, o.x + 60, o.y + 13)) << "moved: on at once, clipped to the window";
    EXPECT_EQ(plat::CaretBlinkDue(1000 + 6 * blink + 7), blink);

    ASSERT_TRUE(CreateCaret(top, 0, 1, 5));
    EXPECT_TRUE(plat::ScreenCaretRects(true).empty()) << "a new caret replaces the old one, hidden";
    EXPECT_FALSE(ShowCaret(c)) << "c owns none now";
    ASSERT_TRUE(CreateCaret(c, 0, 1, 5));
    ShowCaret(c);
    DestroyWindow(c);
    EXPECT_FALSE(GetCaretPos(&p)) << "the caret goes with its window";
    EXPECT_TRUE(plat::ScreenCaretRects(true).empty());
    EXPECT_FALSE(DestroyCaret()) << "nothing left to destroy";
}

} // namespace
