// user_controls_test.cpp - conformance sequences for the standard controls
// (ListBox, Edit, Button, msctls_progress32) and the resources (string
// table, icons), checking documented results and error values.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/device.h"
#include "internal/resources.h"

namespace {

std::vector<std::pair<int, int>> g_notes; // (id, code) of WM_COMMAND

LRESULT CALLBACK ParentProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_COMMAND)
        g_notes.push_back({LOWORD(w), HIWORD(w)});
    return DefWindowProcW(h, m, w, l);
}

class Controls : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        g_notes.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProc;
        wc.lpszClassName = u"CtlParent";
        RegisterClassW(&wc);
        parent = CreateWindowExW(0, u"CtlParent", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 0, 0, 0, nullptr);
    }
    HWND Make(const char16_t *cls, DWORD style, int id, const char16_t *text = u"")
    {
        return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 60, parent,
                               HMENU(uintptr_t(id)), 0, nullptr);
    }
    HWND parent = 0;
};

TEST_F(Controls, ListBoxMessages)
{
    HWND lb = Make(u"ListBox", LBS_NOTIFY | WS_BORDER, 1005);
    EXPECT_EQ(SendMessageW(lb, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR) << "nothing selected at first";
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"Zeta")), 0) << "unsorted: appended";
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"alpha")), 1);
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"Mid")), 2);
    EXPECT_EQ(SendMessageW(lb, LB_SETITEMDATA, 1, LPARAM(0x12345678)), TRUE);
    EXPECT_EQ(SendMessageW(lb, LB_GETITEMDATA, 1, 0), LPARAM(0x12345678));
    EXPECT_EQ(SendMessageW(lb, LB_GETITEMDATA, 7, 0), LB_ERR) << "no entry 7";
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXTLEN, 0, 0), 4);
    WCHAR buf[16];
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 2, LPARAM(buf)), 3);
    EXPECT_EQ(std::u16string(buf), u"Mid");
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 3, LPARAM(buf)), LB_ERR);
    EXPECT_EQ(SendMessageW(lb, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"ALPHA")), 1) << "exact search ignores case";
    EXPECT_EQ(SendMessageW(lb, LB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(lb, LB_SETCURSEL, 9, 0), LB_ERR) << "out of range";
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR) << "and the selection is gone";
    SendMessageW(lb, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(SendMessageW(lb, LB_DELETESTRING, 0, 0), 2) << "count left";
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 0) << "the selection follows its entry";
    EXPECT_TRUE(g_notes.empty()) << "no notification for program changes";
    SendMessageW(lb, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(g_notes.size(), 1u) << "the arrow key is a user selection";
    EXPECT_EQ(g_notes[0], std::make_pair(1005, int(LBN_SELCHANGE)));
    EXPECT_EQ(SendMessageW(lb, LB_RESETCONTENT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(lb, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR);

    HWND sorted = Make(u"ListBox", LBS_SORT, 1);
    for (const char16_t *s : {u"m", u"Z"})
        SendMessageW(sorted, LB_ADDSTRING, 0, LPARAM(s));
    EXPECT_EQ(SendMessageW(sorted, LB_ADDSTRING, 0, LPARAM(u"a")), 0) << "sorted: inserted in order";
    SendMessageW(sorted, LB_GETTEXT, 2, LPARAM(buf));
    EXPECT_EQ(std::u16string(buf), u"Z") << "case is ignored in the order";
}

TEST_F(Controls, EditSelectionReplaceAndReadOnly)
{
    HWND e = Make(u"Edit", WS_BORDER | ES_AUTOHSCROLL, 1006, u"hello");
    g_notes.clear();
    ASSERT_TRUE(SetWindowTextW(e, u"\\Program Files\\Old"));
    ASSERT_EQ(g_notes.size(), 2u);
    EXPECT_EQ(g_notes[0].second, EN_UPDATE);
    EXPECT_EQ(g_notes[1], std::make_pair(1006, int(EN_CHANGE))) << "WM_SETTEXT notifies";
    SendMessageW(e, EM_SETSEL, 15, -1);
    DWORD a = 0, b = 0;
    SendMessageW(e, EM_GETSEL, WPARAM(&a), LPARAM(&b));
    EXPECT_EQ(a, 15u);
    EXPECT_EQ(b, 18u) << "-1 selects to the end";
    g_notes.clear();
    SendMessageW(e, EM_REPLACESEL, TRUE, LPARAM(u"New"));
    WCHAR buf[64];
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\New");
    EXPECT_EQ(g_notes.back(), std::make_pair(1006, int(EN_CHANGE)));
    EXPECT_EQ(SendMessageW(e, EM_SETREADONLY, TRUE, 0), TRUE);
    EXPECT_TRUE(GetWindowLongW(e, GWL_STYLE) & ES_READONLY) << "EM_SETREADONLY sets the style";
    g_notes.clear();
    SendMessageW(e, WM_CHAR, u'x', 0);
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\New") << "a read-only edit takes no typing";
    EXPECT_TRUE(g_notes.empty());
    SetWindowTextW(e, u"line one\r\nline two");
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"line one") << "a single-line edit keeps one line";
}

TEST_F(Controls, ButtonChecksAndClicks)
{
    HWND r1 = Make(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1008, u"A");
    HWND r2 = Make(u"Button", BS_AUTORADIOBUTTON, 1009, u"B");
    HWND other = Make(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1010, u"C");
    SendMessageW(r1, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_CHECKED);
    g_notes.clear();
    SendMessageW(r2, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(r2, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "same group";
    EXPECT_EQ(SendMessageW(other, BM_GETCHECK, 0, 0), BST_CHECKED) << "another group is left alone";
    ASSERT_EQ(g_notes.size(), 1u);
    EXPECT_EQ(g_notes[0], std::make_pair(1009, int(BN_CLICKED)));
    // A press released outside the button is no click.
    g_notes.clear();
    HWND push = Make(u"Button", BS_PUSHBUTTON, 1, u"OK");
    SendMessageW(push, WM_LBUTTONDOWN, 1, MAKELPARAM(5, 5));
    SendMessageW(push, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
    EXPECT_TRUE(g_notes.empty());
    EnableWindow(push, FALSE);
    SendMessageW(push, BM_CLICK, 0, 0);
    EXPECT_TRUE(g_notes.empty()) << "a disabled button is not clicked";
    EXPECT_EQ(SendMessageW(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
}

TEST_F(Controls, ProgressBarRangeAndPosition)
{
    InitCommonControls();
    HWND p = Make(PROGRESS_CLASSW, WS_BORDER, 1001);
    ASSERT_NE(p, HWND(0));
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(p, PBM_SETRANGE, 0, MAKELPARAM(10, 20)), MAKELRESULT(0, 100)) << "previous range";
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 10) << "position kept inside the new range";
    EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 15, 0), 10);
    EXPECT_EQ(SendMessageW(p, PBM_DELTAPOS, 3, 0), 15);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 18);
    EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 250, 0), 18);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 20) << "a position past the range is kept in it";
    PBRANGE r{};
    EXPECT_EQ(SendMessageW(p, PBM_GETRANGE, TRUE, LPARAM(&r)), 10);
    EXPECT_EQ(r.iHigh, 20);
    SendMessageW(p, PBM_SETRANGE32, 0, 1000);
    EXPECT_EQ(SendMessageW(p, PBM_SETSTEP, 300, 0), 10) << "the default step";
    SendMessageW(p, PBM_SETPOS, 0, 0);
    EXPECT_EQ(SendMessageW(p, PBM_STEPIT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 300) << "a step larger than 127";
}

TEST_F(Controls, StringTableTexts)
{
    struct Case {
        UINT id;
        const char16_t *text;
    } cases[] = {
        {201, u"Setup"},
        {205, u"Installation process was not completed."},
        {211, u"Setup cannot read from the file\n\n%s."},
        {216, u"\"%s\" has been successfully installed.\n%s"},
        {221, u"\"Error processing GlyphorCE configuration file!\""},
        {222, u"Cannot initialize Setup. \"%s\" is running."},
    };
    for (const Case &c : cases) {
        WCHAR buf[1024];
        int n = LoadStringW(plat::kProgramInstance, c.id, buf, 1024);
        EXPECT_EQ(std::u16string(buf), std::u16string(c.text)) << "string " << c.id;
        EXPECT_EQ(n, int(std::u16string(c.text).size())) << "string " << c.id;
        EXPECT_EQ(plat::ResourceLastStringId(), c.id) << "the last string loaded is remembered";
    }
    for (UINT id = 201; id <= 222; ++id) {
        WCHAR buf[1024];
        bool missing = id == 202 || id == 203;
        EXPECT_EQ(LoadStringW(0, id, buf, 1024) == 0, missing) << "string " << id;
    }
    WCHAR small[4];
    EXPECT_EQ(LoadStringW(0, 205, small, 4), 3) << "cut to the buffer";
    EXPECT_EQ(std::u16string(small), u"Ins");
    SetLastError(0);
    EXPECT_EQ(LoadStringW(0, 4000, small, 4), 0);
    EXPECT_EQ(small[0], 0) << "an empty string for a missing id";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Controls, ResourceLookups)
{
    SetLastError(0);
    EXPECT_EQ(FindResourceW(0, MAKEINTRESOURCEW(113), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(0, MAKEINTRESOURCEW(1), RT_BITMAP), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
    HRSRC r = FindResourceW(plat::kProgramInstance, u"#105", RT_DIALOG);
    ASSERT_NE(r, nullptr) << "\"#105\" names the ordinal";
    const void *data = LockResource(LoadResource(0, r));
    EXPECT_EQ(plat::ResourceDialogIdOf(data), 105);
    EXPECT_EQ(plat::ResourceDialogIdOf(static_cast<const char *>(data) + SizeofResource(0, r) - 1), 105);
    EXPECT_EQ(plat::ResourceDialogIdOf(&r), -1) << "a pointer outside the resources";
    for (int id : {101, 102}) {
        HICON small = HICON(LoadImageW(plat::kProgramInstance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        ASSERT_NE(small, HICON(0)) << "icon " << id;
        HDC dc = CreateCompatibleDC(0);
        HBITMAP b = CreateCompatibleBitmap(dc, 32, 32);
        SelectObject(dc, b);
        RECT all{0, 0, 32, 32};
        FillRect(dc, &all, GetStockObject(WHITE_BRUSH));
        ASSERT_TRUE(DrawIcon(dc, 0, 0, small));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255)) << "the icon's corner is transparent";
        EXPECT_NE(GetPixel(dc, 8, 12), RGB(255, 255, 255)) << "its middle is drawn";
        EXPECT_EQ(GetPixel(dc, 20, 20), RGB(255, 255, 255)) << "the 16x16 image was chosen";
        DeleteDC(dc);
        DeleteObject(b);
        EXPECT_TRUE(DestroyIcon(small));
    }
    EXPECT_EQ(LoadImageW(plat::kProgramInstance, MAKEINTRESOURCEW(103), IMAGE_ICON, 16, 16, 0), HANDLE(0));
    EXPECT_FALSE(plat::ResourcesSet("garbage", 7)) << "not a resource file";
    WCHAR buf[8];
    EXPECT_GT(LoadStringW(0, 201, buf, 8), 0) << "the registered resources are kept";
}

} // namespace
