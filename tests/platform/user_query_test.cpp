// user_query_test.cpp - the controls' own records and the front ends' read
// of them and of windows (user/query.h): a record lives exactly as long as
// its control, a read names the class it reads, and a window is read as the
// window calls report it, without a message and without the last error
// changing.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "user/query.h"
#include "user/window.h"

using namespace plat;

namespace {

class Query : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        InitCommonControls();
        parent = CreateWindowExW(0, u"Static", u"", WS_VISIBLE, 0, 0, 200, 200, 0, 0, 0, nullptr);
        ASSERT_NE(parent, HWND(0));
    }
    HWND Make(const char16_t *cls, DWORD style = 0, const char16_t *text = u"")
    {
        return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 60, parent, HMENU(7), 0,
                               nullptr);
    }
    HWND parent = 0;
};

// Every read against a window of every kind: only the control's own class
// reads, and what it reads is the state the control's messages set.
TEST_F(Query, EachReadTakesOnlyItsOwnClass)
{
    HWND button = Make(u"Button", BS_AUTOCHECKBOX, u"Check");
    HWND edit = Make(u"Edit", 0, u"hello");
    HWND stat = Make(u"Static", SS_LEFT, u"text");
    HWND list = Make(u"ListBox");
    HWND bar = Make(u"msctls_progress32");
    SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(edit, EM_SETSEL, 4, 1);
    for (const char16_t *t : {u"one", u"two", u"three"})
        SendMessageW(list, LB_ADDSTRING, 0, LPARAM(t));
    SendMessageW(list, LB_SETCURSEL, 2, 0);
    HWND stale = Make(u"Button");
    ASSERT_TRUE(DestroyWindow(stale));

    struct Row {
        const char *name;
        HWND hwnd;
        bool button, edit, list;
    } rows[] = {
        {"button", button, true, false, false},
        {"edit", edit, false, true, false},
        {"list box", list, false, false, true},
        {"static", stat, false, false, false},
        {"progress bar", bar, false, false, false},
        {"top-level static", parent, false, false, false},
        {"stale button", stale, false, false, false},
        {"null", 0, false, false, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        SetLastError(1234);
        ButtonView b;
        b.check = 99;
        EXPECT_EQ(QueryButton(r.hwnd, b), r.button);
        EXPECT_EQ(b.check, r.button ? BST_CHECKED : 99) << "a failed read leaves the view as it was";
        EditView e;
        e.selStart = e.selEnd = 99;
        EXPECT_EQ(QueryEdit(r.hwnd, e), r.edit);
        EXPECT_EQ(e.selStart, r.edit ? 4 : 99) << "the selection as set, caret at its end";
        EXPECT_EQ(e.selEnd, r.edit ? 1 : 99);
        ListBoxView l;
        l.curSel = 99;
        EXPECT_EQ(QueryListBox(r.hwnd, l), r.list);
        std::vector<std::u16string> entries;
        if (r.list)
            entries = {u"one", u"two", u"three"};
        EXPECT_EQ(l.items, entries);
        EXPECT_EQ(l.curSel, r.list ? 2 : 99);
        EXPECT_EQ(GetLastError(), 1234u) << "a front end's read leaves the program's last error alone";
    }
}

// The class procedure under a subclass: after it has handled WM_NCDESTROY
// the subclass asks it once more (as a subclass may), with what it asked.
WNDPROC g_base = nullptr;
UINT g_ask = 0;
LRESULT g_answer = -1;

LRESULT CALLBACK SubclassProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    LRESULT r = g_base(h, m, w, l);
    if (m == WM_NCDESTROY)
        g_answer = g_base(h, g_ask, 0, 0);
    return r;
}

// A control's record goes with its window: released when DestroyWindow
// sends WM_NCDESTROY (not kept until a reset), and the procedure called
// after that finds none instead of a freed one.
TEST_F(Query, ControlRecordIsReleasedAtDestroy)
{
    struct Row {
        const char16_t *cls;
        UINT ask; // a message the control answers from its record
        LRESULT before;
    } rows[] = {
        {u"Button", BM_GETCHECK, BST_CHECKED},
        {u"Edit", EM_GETSEL, MAKELRESULT(1, 2)},
        {u"Static", STM_GETICON, 0},
        {u"ListBox", LB_GETCOUNT, 1},
        {u"msctls_progress32", PBM_GETPOS, 30},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(cetest::U8(r.cls));
        WNDCLASSW wc{};
        ASSERT_TRUE(GetClassInfoW(0, r.cls, &wc));
        g_base = wc.lpfnWndProc;
        wc.lpfnWndProc = SubclassProc;
        std::u16string name = u"Sub" + std::u16string(r.cls);
        wc.lpszClassName = name.c_str();
        ASSERT_NE(RegisterClassW(&wc), ATOM(0));
        HWND c = Make(name.c_str(), 0, u"text");
        ASSERT_NE(c, HWND(0));
        SendMessageW(c, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(c, EM_SETSEL, 1, 2);
        SendMessageW(c, LB_ADDSTRING, 0, LPARAM(u"entry"));
        SendMessageW(c, PBM_SETPOS, 30, 0);
        EXPECT_EQ(SendMessageW(c, r.ask, 0, 0), r.before);
        auto w = plat::WindowGet(c);
        ASSERT_TRUE(w && w->control) << "the control made its record at creation";
        std::weak_ptr<plat::ControlRecord> record = w->control;
        g_ask = r.ask;
        g_answer = -1;
        ASSERT_TRUE(DestroyWindow(c));
        EXPECT_TRUE(record.expired()) << "the record is released with the control";
        EXPECT_EQ(g_answer, 0) << "asked after WM_NCDESTROY, the control has no state left to answer from";
    }
}

// What the window calls report of a window, to hold a read against.
struct Reported {
    DWORD style;
    std::u16string text;
    int id;
    RECT rect, client;
    std::vector<HWND> children;
};

Reported Report(HWND h)
{
    Reported r{};
    r.style = DWORD(GetWindowLongW(h, GWL_STYLE));
    WCHAR buf[256] = {0};
    GetWindowTextW(h, buf, 256);
    r.text = buf;
    r.id = GetDlgCtrlID(h);
    GetWindowRect(h, &r.rect);
    GetClientRect(h, &r.client);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    OffsetRect(&r.client, origin.x, origin.y);
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        r.children.push_back(c);
    return r;
}

bool SameRect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT &r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// A message box while it is shown: the dialog and message-box reads take
// it, a control's read does not, and it is read as a window (a dialog whose
// children are its text and buttons, as GetWindow walks them); once
// MessageBoxW returns nothing reads it.
TEST_F(Query, MessageBoxIsReadWhileShown)
{
    UiHooks saved = GetUiHooks();
    struct Seen {
        HWND box = 0, yes = 0, no = 0;
        bool dialog = false, message = false, button = false, window = false, drawn = false;
        DialogView page;
        MessageBoxView text;
        WindowView view;
        Reported want{};
    } seen;
    UiHooks h;
    h.idle = [&](HWND dlg) {
        seen.box = dlg;
        seen.dialog = QueryDialog(dlg, seen.page);
        seen.message = QueryMessageBox(dlg, seen.text);
        ButtonView b;
        seen.button = QueryButton(dlg, b);
        seen.want = Report(dlg);
        seen.window = QueryWindow(dlg, seen.view);
        seen.yes = GetDlgItem(dlg, IDYES);
        seen.no = GetDlgItem(dlg, IDNO);
        InputClick(seen.no);
        return true;
    };
    h.drawn = [&] { seen.drawn = true; };
    SetUiHooks(h);
    int result = MessageBoxW(parent, u"Remove it?", u"Setup", MB_YESNO | MB_ICONQUESTION);
    SetUiHooks(saved);
    EXPECT_EQ(result, IDNO);
    ASSERT_NE(seen.box, HWND(0));
    EXPECT_TRUE(seen.dialog);
    EXPECT_TRUE(seen.page.modal);
    EXPECT_EQ(seen.page.resourceId, -1);
    EXPECT_TRUE(seen.message);
    EXPECT_EQ(seen.text.text, u"Remove it?");
    EXPECT_EQ(seen.text.type, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_FALSE(seen.button) << "a dialog is no button";
    EXPECT_TRUE(seen.drawn) << "the front end heard that everything was painted";
    const WindowView &v = seen.view;
    ASSERT_TRUE(seen.window);
    EXPECT_EQ(v.kind, BuiltinClass::Dialog);
    EXPECT_EQ(v.text, u"Setup");
    EXPECT_EQ(v.style, seen.want.style);
    EXPECT_EQ(v.parent, HWND(0)) << "an owned popup has no parent";
    EXPECT_EQ(v.children, seen.want.children);
    EXPECT_NE(std::find(v.children.begin(), v.children.end(), seen.yes), v.children.end());
    EXPECT_NE(std::find(v.children.begin(), v.children.end(), seen.no), v.children.end());
    EXPECT_TRUE(SameRect(v.rect, seen.want.rect));
    EXPECT_TRUE(SameRect(v.client, seen.want.client));
    MessageBoxView after;
    EXPECT_FALSE(QueryMessageBox(seen.box, after));
    DialogView afterPage;
    EXPECT_FALSE(QueryDialog(seen.box, afterPage));
    EXPECT_FALSE(QueryMessageBox(parent, after)) << "a window that is no message box";
    EXPECT_FALSE(QueryDialog(parent, afterPage)) << "a window that is no dialog";
}

int g_sent = 0; // messages the counting windows' procedure was given
LRESULT CALLBACK CountingProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    ++g_sent;
    return DefWindowProcW(h, m, w, l);
}

HWND MakeCounting(const char16_t *text, DWORD style, HWND parent, int id, int x, int y, int cx, int cy)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"QueryCounting";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"QueryCounting", text, style, x, y, cx, cy, parent, HMENU(INT_PTR(id)), 0, nullptr);
}

// Every kind of window a front end reads (the main window, a dialog, each
// control class, a window of a program's own class), all into one view in
// turn: each read is the window as the window calls report it, with no
// trace of the window read before, no message sent, the last error kept.
TEST_F(Query, WindowIsReadAsTheWindowCallsReportIt)
{
    HWND main = MakeCounting(u"Setup", WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, 240, 320);
    ASSERT_NE(main, HWND(0));
    HRSRC res = FindResourceW(kProgramInstance, MAKEINTRESOURCEW(104), RT_DIALOG);
    auto templ = static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(0, res)));
    ASSERT_NE(templ, nullptr);
    HWND dlg = CreateDialogIndirectParamW(kProgramInstance, templ, main,
                                          [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dlg, HWND(0));
    HWND button = Make(u"Button", BS_AUTORADIOBUTTON, u"&Radio");
    HWND edit = Make(u"Edit", WS_BORDER | ES_READONLY, u"typed text");
    HWND stat = Make(u"Static", SS_CENTER, u"label");
    HWND list = CreateWindowExW(0, u"ListBox", u"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL, 20, 30, 100,
                                80, parent, HMENU(9), 0, nullptr);
    HWND bar = Make(u"msctls_progress32");
    HWND own = MakeCounting(u"own", WS_CHILD, parent, 11, 5, 6, 7, 8);
    EnableWindow(own, FALSE);

    struct Row {
        const char *name;
        HWND hwnd;
        const char16_t *className;
        BuiltinClass kind;
        HWND parent;
        RECT rect; // {0,0,0,0}: as GetWindowRect reports it
    } rows[] = {
        {"main window", main, u"QueryCounting", BuiltinClass::None, 0, {0, 0, 240, 320}},
        {"dialog", dlg, u"Dialog", BuiltinClass::Dialog, 0, {}},
        {"button", button, u"Button", BuiltinClass::Button, parent, {10, 10, 130, 70}},
        {"edit", edit, u"Edit", BuiltinClass::Edit, parent, {10, 10, 130, 70}},
        {"static", stat, u"Static", BuiltinClass::Static, parent, {10, 10, 130, 70}},
        {"list box", list, u"ListBox", BuiltinClass::ListBox, parent, {20, 30, 120, 110}},
        {"progress bar", bar, u"msctls_progress32", BuiltinClass::Progress, parent, {10, 10, 130, 70}},
        {"hidden, disabled child of a program's class", own, u"QueryCounting", BuiltinClass::None, parent,
         {5, 6, 12, 14}},
        {"top-level static with children", parent, u"Static", BuiltinClass::Static, 0, {0, 0, 200, 200}},
    };
    WindowView v;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        Reported want = Report(r.hwnd);
        int sent = g_sent;
        SetLastError(1234);
        ASSERT_TRUE(QueryWindow(r.hwnd, v));
        EXPECT_EQ(GetLastError(), 1234u) << "a front end's read leaves the program's last error alone";
        EXPECT_EQ(g_sent, sent) << "a read sends no message";
        EXPECT_EQ(cetest::U8(v.className), cetest::U8(r.className));
        EXPECT_EQ(v.kind, r.kind);
        EXPECT_EQ(v.style, want.style);
        EXPECT_EQ(v.text, want.text);
        EXPECT_EQ(v.id, want.id);
        EXPECT_EQ(v.parent, r.parent);
        EXPECT_EQ(v.children, want.children) << "the children in creation order";
        if (r.rect.right) {
            EXPECT_TRUE(SameRect(v.rect, r.rect)) << Show(v.rect);
        }
        EXPECT_TRUE(SameRect(v.rect, want.rect)) << Show(v.rect) << " against " << Show(want.rect);
        EXPECT_TRUE(SameRect(v.client, want.client)) << Show(v.client) << " against " << Show(want.client);
        EXPECT_FALSE(v.destroyed);
    }
    // What the rows read, told apart: a control's own id and text, the
    // frame and scroll bar taken from the client area.
    ASSERT_TRUE(QueryWindow(own, v));
    EXPECT_EQ(v.id, 11);
    EXPECT_EQ(v.style & (WS_VISIBLE | WS_DISABLED), DWORD(WS_DISABLED));
    ASSERT_TRUE(QueryWindow(list, v));
    EXPECT_EQ(v.id, 9);
    EXPECT_TRUE(SameRect(v.client, RECT{21, 31, 119 - kScrollBarWidth, 109})) << Show(v.client);
    ASSERT_TRUE(QueryWindow(edit, v));
    EXPECT_EQ(v.text, u"typed text");
    EXPECT_TRUE(v.style & ES_READONLY);
    ASSERT_TRUE(QueryWindow(parent, v));
    EXPECT_EQ(v.children, (std::vector<HWND>{button, edit, stat, list, bar, own}));
}

// A stale handle, a handle of another kind and no handle read nothing and
// leave the view as it was, whatever it held.
TEST_F(Query, WindowReadOfNoWindowLeavesTheViewAlone)
{
    HWND gone = Make(u"Button", 0, u"gone");
    ASSERT_TRUE(DestroyWindow(gone));
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    struct Row {
        const char *name;
        HWND hwnd;
    } rows[] = {{"destroyed window", gone}, {"brush", HWND(brush)}, {"null", 0}, {"made up", HWND(0x7FFFFFF0)}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        WindowView v;
        v.className = u"kept";
        v.kind = BuiltinClass::Edit;
        v.style = 0x1234;
        v.text = u"kept text";
        v.id = 77;
        v.parent = parent;
        v.children = {parent};
        v.rect = RECT{1, 2, 3, 4};
        v.client = RECT{5, 6, 7, 8};
        v.destroyed = true;
        SetLastError(1234);
        EXPECT_FALSE(QueryWindow(r.hwnd, v));
        EXPECT_EQ(GetLastError(), 1234u);
        EXPECT_EQ(v.className, u"kept");
        EXPECT_EQ(v.kind, BuiltinClass::Edit);
        EXPECT_EQ(v.style, 0x1234u);
        EXPECT_EQ(v.text, u"kept text");
        EXPECT_EQ(v.id, 77);
        EXPECT_EQ(v.parent, parent);
        EXPECT_EQ(v.children, std::vector<HWND>{parent});
        EXPECT_TRUE(SameRect(v.rect, RECT{1, 2, 3, 4}));
        EXPECT_TRUE(SameRect(v.client, RECT{5, 6, 7, 8}));
        EXPECT_TRUE(v.destroyed);
    }
    DeleteObject(brush);
}

// A window being destroyed is still read, marked so, with its children as
// they are at that point; its children are marked too once their turn
// comes. Children keep creation order when one goes and another comes.
HWND g_dying = 0;
std::vector<std::pair<HWND, WindowView>> g_readAtDestroy;
LRESULT CALLBACK ReadAtDestroyProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_DESTROY) {
        WindowView v;
        if (QueryWindow(g_dying, v))
            g_readAtDestroy.emplace_back(h, v);
    }
    return DefWindowProcW(h, m, w, l);
}

TEST_F(Query, WindowBeingDestroyedAndChildrenOrder)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ReadAtDestroyProc;
    wc.lpszClassName = u"QueryDying";
    ASSERT_NE(RegisterClassW(&wc), ATOM(0));
    HWND top = CreateWindowExW(0, u"QueryDying", u"top", WS_VISIBLE, 0, 0, 100, 100, 0, 0, 0, nullptr);
    auto child = [&](int id) {
        return CreateWindowExW(0, u"QueryDying", u"c", WS_CHILD | WS_VISIBLE, id, id, 10, 10, top,
                               HMENU(INT_PTR(id)), 0, nullptr);
    };
    HWND a = child(1), b = child(2), c = child(3);
    HWND inner = CreateWindowExW(0, u"QueryDying", u"inner", WS_CHILD, 0, 0, 5, 5, a, 0, 0, nullptr);
    ASSERT_TRUE(a && b && c && inner);
    WindowView v;
    ASSERT_TRUE(QueryWindow(top, v));
    EXPECT_EQ(v.children, (std::vector<HWND>{a, b, c})) << "a child's own children are not its parent's";
    SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    g_dying = b;
    ASSERT_TRUE(DestroyWindow(b));
    HWND d = child(4);
    ASSERT_TRUE(QueryWindow(top, v));
    EXPECT_EQ(v.children, (std::vector<HWND>{a, c, d}));
    ASSERT_EQ(g_readAtDestroy.size(), 1u);
    EXPECT_TRUE(g_readAtDestroy[0].second.destroyed) << "read from its own WM_DESTROY";
    EXPECT_FALSE(QueryWindow(b, v)) << "gone once DestroyWindow returns";

    // The top-level window as each window of its tree hears WM_DESTROY:
    // marked destroyed, its children still listed until each has gone.
    g_readAtDestroy.clear();
    g_dying = top;
    ASSERT_TRUE(DestroyWindow(top));
    ASSERT_EQ(g_readAtDestroy.size(), 5u) << "top, a, inner, c, d";
    EXPECT_EQ(g_readAtDestroy[0].first, top);
    for (const auto &seen : g_readAtDestroy) {
        EXPECT_TRUE(seen.second.destroyed);
        EXPECT_EQ(seen.second.text, u"top");
        EXPECT_EQ(seen.second.children, (std::vector<HWND>{a, c, d}));
    }
    EXPECT_FALSE(QueryWindow(top, v));
    g_dying = 0;
    g_readAtDestroy.clear();
}

// A peek finds what was posted and the quit asked for, each once, however
// the queue was emptied before: the count of what waits never goes stale.
TEST_F(Query, PeekFindsEachPostAndQuitOnce)
{
    MSG m;
    while (PeekMessageW(&m, 0, 0, 0, PM_REMOVE))
        DispatchMessageW(&m); // paints what is due
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(PostMessageW(parent, WM_USER + 1, 0, 0));
        EXPECT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_NOREMOVE));
        EXPECT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
        EXPECT_EQ(m.message, UINT(WM_USER + 1));
        EXPECT_FALSE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) << "taken already";
        PostQuitMessage(3);
        PostQuitMessage(4);
        ASSERT_TRUE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE));
        EXPECT_EQ(m.message, UINT(WM_QUIT));
        EXPECT_EQ(m.wParam, WPARAM(4));
        EXPECT_FALSE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) << "one quit for two asked";
    }
}

} // namespace
