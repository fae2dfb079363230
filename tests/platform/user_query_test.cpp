// user_query_test.cpp - the controls' own records and the front ends' read
// of them (user/query.h): a record lives exactly as long as its control,
// and a read names the class it reads.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

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

// A message box while it is shown: the dialog and message-box reads take
// it, a control's read does not; once MessageBoxW returns nothing reads it.
TEST_F(Query, MessageBoxIsReadWhileShown)
{
    UiHooks saved = GetUiHooks();
    struct Seen {
        HWND box = 0;
        bool dialog = false, message = false, button = false, drawn = false;
        DialogView page;
        MessageBoxView text;
    } seen;
    UiHooks h;
    h.idle = [&](HWND dlg) {
        seen.box = dlg;
        seen.dialog = QueryDialog(dlg, seen.page);
        seen.message = QueryMessageBox(dlg, seen.text);
        ButtonView b;
        seen.button = QueryButton(dlg, b);
        InputClick(GetDlgItem(dlg, IDNO));
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
    MessageBoxView after;
    EXPECT_FALSE(QueryMessageBox(seen.box, after));
    DialogView afterPage;
    EXPECT_FALSE(QueryDialog(seen.box, afterPage));
    EXPECT_FALSE(QueryMessageBox(parent, after)) << "a window that is no message box";
    EXPECT_FALSE(QueryDialog(parent, afterPage)) << "a window that is no dialog";
}

} // namespace
