// user_controls_test.cpp - conformance sequences for the standard controls
// (ListBox, Edit, Button, msctls_progress32) and the resources (string
// table, icons), checking documented results and error values.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "user/resources.h"

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
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), LB_ERR) << "nothing selected at first";
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"Zeta")), 0) << "unsorted: appended";
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"alpha")), 1);
    EXPECT_EQ(SendMessageW(lb, LB_ADDSTRING, 0, LPARAM(u"Mid")), 2);
    WCHAR buf[16];
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 1, LPARAM(buf)), 5);
    EXPECT_EQ(std::u16string(buf), u"alpha");
    EXPECT_EQ(SendMessageW(lb, LB_GETTEXT, 3, LPARAM(buf)), LB_ERR) << "no entry 3";
    EXPECT_EQ(SendMessageW(lb, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"ALPHA")), 1) << "exact search ignores case";
    SendMessageW(lb, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(SendMessageW(lb, LB_DELETESTRING, 0, 0), 2) << "count left";
    EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 0) << "the selection follows its entry";
    EXPECT_TRUE(g_notes.empty()) << "no notification for program changes";
    SendMessageW(lb, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(g_notes.size(), 1u) << "the arrow key is a user selection";
    EXPECT_EQ(g_notes[0], std::make_pair(1005, int(LBN_SELCHANGE)));
}

TEST_F(Controls, EditReadOnlyAndButtonGroups)
{
    HWND e = Make(u"Edit", WS_BORDER | ES_AUTOHSCROLL, 1006, u"\\Program Files\\Old");
    SendMessageW(e, EM_SETSEL, 15, -1);
    SendMessageW(e, EM_REPLACESEL, TRUE, LPARAM(u"New"));
    WCHAR buf[64];
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\New") << "-1 selected to the end, which was replaced";
    EXPECT_EQ(SendMessageW(e, EM_SETREADONLY, TRUE, 0), TRUE);
    g_notes.clear();
    SendMessageW(e, WM_CHAR, u'x', 0);
    GetWindowTextW(e, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\New") << "a read-only edit takes no typing";
    EXPECT_TRUE(g_notes.empty());

    HWND r1 = Make(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1008, u"A");
    HWND r2 = Make(u"Button", BS_AUTORADIOBUTTON, 1009, u"B");
    HWND other = Make(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 1010, u"C");
    SendMessageW(r1, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(r2, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(r1, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "same group";
    EXPECT_EQ(SendMessageW(other, BM_GETCHECK, 0, 0), BST_CHECKED) << "another group is left alone";
}

TEST_F(Controls, ProgressBarKeepsItsPositionInRange)
{
    InitCommonControls();
    HWND p = Make(PROGRESS_CLASSW, WS_BORDER, 1001);
    ASSERT_NE(p, HWND(0));
    EXPECT_EQ(SendMessageW(p, PBM_SETRANGE, 0, MAKELPARAM(10, 20)), MAKELRESULT(0, 100)) << "previous range";
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 10) << "position kept inside the new range";
    EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 250, 0), 10);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 20) << "a position past the range is kept in it";
}

TEST_F(Controls, StringTableAndResourceLookups)
{
    WCHAR buf[1024];
    EXPECT_EQ(LoadStringW(plat::kProgramInstance, 216, buf, 1024), 40);
    EXPECT_EQ(std::u16string(buf), u"\"%s\" has been successfully installed.\n%s");
    EXPECT_EQ(plat::ResourceLastStringId(), 216u) << "the last string loaded is remembered";
    WCHAR small[4];
    EXPECT_EQ(LoadStringW(0, 205, small, 4), 3) << "cut to the buffer";
    EXPECT_EQ(std::u16string(small), u"Ins");
    SetLastError(0);
    EXPECT_EQ(LoadStringW(0, 4000, small, 4), 0);
    EXPECT_EQ(small[0], 0) << "an empty string for a missing id";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    HRSRC r = FindResourceW(plat::kProgramInstance, u"#105", RT_DIALOG);
    ASSERT_NE(r, nullptr) << "\"#105\" names the ordinal";
    EXPECT_EQ(plat::ResourceDialogIdOf(LockResource(LoadResource(0, r))), 105);
    EXPECT_FALSE(plat::ResourcesSet("garbage", 7)) << "not a resource file";
    EXPECT_GT(LoadStringW(0, 201, buf, 8), 0) << "the registered resources are kept";
}

} // namespace
