// dialog_templates_test.cpp - the ten page templates of the resources load
// as dialogs with their controls at the dialog-unit positions, ids,
// classes, texts and styles.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "user/resources.h"

namespace {

struct Ctl {
    int id; // -1: none
    const char16_t *cls;
    const char16_t *text; // nullptr: not checked
    int x, y, cx, cy;
    DWORD style; // bits that must be set
};

struct Page {
    int id;
    const char16_t *title;
    int cx, cy;
    bool modal;
    std::vector<Ctl> controls;
};

const DWORD TAB = WS_TABSTOP;

const std::vector<Page> &Pages()
{
    static const std::vector<Page> pages = {
        {103, u"Installing application, please wait...", 155, 50, false,
         {{-1, u"Static", nullptr, 7, 7, 20, 20, SS_ICON},
          {1001, u"msctls_progress32", u"", 7, 34, 141, 9, WS_BORDER},
          {1007, u"Static", u"Copying file:   ", 32, 15, 116, 8, 0}}},
        {104, u"Destination Folder", 151, 135, true,
         {{1006, u"Edit", u"", 7, 61, 137, 14, WS_BORDER | ES_AUTOHSCROLL},
          {1, u"Button", u"&Continue", 12, 114, 42, 14, BS_DEFPUSHBUTTON | TAB},
          {1013, u"Button", u"&Skip", 54, 114, 42, 14, TAB},
          {2, u"Button", u"E&xit", 96, 114, 42, 14, TAB},
          {-1, u"Static", nullptr, 7, 18, 132, 31, 0},
          {-1, u"Static", u"Space available:", 7, 79, 61, 8, 0},
          {1011, u"Static", u"", 72, 79, 26, 8, SS_RIGHT},
          {-1, u"Static", u"Kb", 101, 79, 10, 8, 0},
          {-1, u"Static", u"Space required:", 7, 90, 61, 8, 0},
          {1012, u"Static", u"", 72, 90, 26, 8, SS_RIGHT},
          {-1, u"Static", u"Kb", 101, 90, 10, 8, 0}}},
        {105, u"Welcome!", 155, 150, true,
         {{1, u"Button", u"&Continue", 17, 129, 40, 14, TAB},
          {1013, u"Button", u"&Skip", 57, 129, 40, 14, TAB},
          {2, u"Button", u"E&xit", 97, 129, 40, 14, TAB},
          {-1, u"Static", nullptr, 7, 17, 21, 20, SS_ICON},
          {1010, u"Static", nullptr, 34, 1, 113, 74, 0},
          {-1, u"Static", nullptr, 7, 87, 140, 31, 0}}},
        {106, u"Select Application Location", 155, 103, true,
         {{1008, u"Button", u"PDA Storage Memory", 17, 45, 109, 10, BS_AUTORADIOBUTTON | WS_GROUP},
          {1009, u"Button", u"Current Location", 17, 58, 93, 10, BS_AUTORADIOBUTTON},
          {1, u"Button", u"&Continue", 14, 82, 42, 14, BS_DEFPUSHBUTTON | TAB},
          {1013, u"Button", u"&Skip", 56, 82, 42, 14, TAB},
          {2, u"Button", u"E&xit", 98, 82, 42, 14, TAB},
          {-1, u"Static", nullptr, 7, 7, 141, 36, 0}}},
        {107, u"Please Read the EULA", 155, 150, true,
         {{1, u"Button", u"&Continue", 14, 129, 42, 14, TAB},
          {1013, u"Button", u"&Skip", 56, 129, 42, 14, TAB},
          {2, u"Button", u"E&xit", 98, 129, 42, 14, TAB},
          {-1, u"Static", nullptr, 7, 1, 140, 20, 0},
          {-1, u"Static", nullptr, 7, 23, 140, 44, 0},
          {-1, u"Static", nullptr, 7, 71, 140, 53, 0}}},
        {108, u"Setup", 155, 159, true,
         {{1003, u"Button", u"Re&move", 7, 78, 42, 14, BS_DEFPUSHBUTTON | TAB},
          {1002, u"Button", u"&Reinstall", 7, 98, 42, 14, TAB},
          {1013, u"Button", u"&Skip", 7, 118, 42, 14, TAB},
          {2, u"Button", u"E&xit", 7, 138, 42, 14, TAB},
          {-1, u"Static", nullptr, 7, 20, 21, 20, SS_ICON},
          {1010, u"Static", nullptr, 34, 0, 113, 67, 0},
          {1004, u"Static", u"Remove \"%s\".", 54, 69, 91, 25, 0},
          {-1, u"Static", u"Repeat the last installation to restore missing files.", 53, 97, 91, 18, 0},
          {-1, u"Static", u"Skip this component.", 53, 121, 79, 8, 0},
          {-1, u"Static", u"Exit installation.", 55, 140, 75, 8, 0}}},
        {109, u"Setup", 155, 54, false,
         {{-1, u"Static", nullptr, 13, 15, 21, 20, SS_ICON},
          {-1, u"Static", u"Calculating free space\n required for installation,\n please wait...", 39, 14, 98, 25,
           SS_CENTER}}},
        {110, u"Setup", 155, 50, false,
         {{-1, u"Static", nullptr, 7, 15, 21, 20, SS_ICON},
          {-1, u"Static", u"Uninstalling application, please wait...", 35, 15, 89, 21, SS_CENTER}}},
        {111, u"Setup", 155, 130, true,
         {{1005, u"ListBox", nullptr, 7, 43, 140, 62, LBS_NOTIFY | WS_BORDER | WS_VSCROLL},
          {1, u"Button", u"&Remove", 52, 109, 50, 14, BS_DEFPUSHBUTTON | TAB},
          {-1, u"Static", nullptr, 7, 9, 21, 20, SS_ICON},
          {1010, u"Static", nullptr, 38, 4, 109, 35, 0}}},
        {112, u"Select Glyphor CE PDA Language", 155, 162, true,
         {{1014, u"ListBox", nullptr, 7, 40, 141, 90, LBS_NOTIFY | WS_BORDER | WS_VSCROLL},
          {1, u"Button", u"&Install", 14, 141, 42, 14, BS_DEFPUSHBUTTON | TAB},
          {1013, u"Button", u"&Skip", 56, 141, 42, 14, TAB},
          {2, u"Button", u"E&xit", 98, 141, 42, 14, TAB},
          {-1, u"Static", nullptr, 15, 7, 124, 38, 0}}},
    };
    return pages;
}

INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

const DLGTEMPLATE *Template(int id)
{
    HRSRC r = FindResourceW(0, MAKEINTRESOURCEW(id), RT_DIALOG);
    return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(0, r)));
}

std::u16string Text(HWND w)
{
    WCHAR text[512];
    GetWindowTextW(w, text, 512);
    return text;
}

class DialogTemplates : public cetest::DeviceFixture {};

TEST_F(DialogTemplates, EveryPageLoadsWithItsControlsInPlace)
{
    HINSTANCE inst = plat::kProgramInstance;
    for (const Page &p : Pages()) {
        SCOPED_TRACE("page " + std::to_string(p.id));
        const DLGTEMPLATE *t = Template(p.id);
        ASSERT_NE(t, nullptr) << "dialog resource missing";
        EXPECT_EQ(t->cx, p.cx) << "template width in dialog units";
        EXPECT_EQ(t->cy, p.cy);
        DWORD must = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
        EXPECT_EQ(t->style & must, must) << "style " << std::hex << t->style;
        EXPECT_EQ((t->style & WS_SYSMENU) != 0, p.modal) << "close box only on modal pages";
        EXPECT_EQ((t->style & WS_VISIBLE) != 0, !p.modal) << "work pages are visible at once";

        HWND dlg = CreateDialogIndirectParamW(inst, t, 0, QuietProc, 0);
        ASSERT_NE(dlg, HWND(0)) << "error " << GetLastError();
        EXPECT_EQ(Text(dlg), std::u16string(p.title));
        RECT cr;
        GetClientRect(dlg, &cr);
        EXPECT_EQ(cr.right, p.cx * 6 / 4) << "client width in pixels";
        EXPECT_EQ(cr.bottom, p.cy * 13 / 8) << "client height in pixels";
        POINT origin{0, 0};
        ClientToScreen(dlg, &origin);

        HWND c = GetWindow(dlg, GW_CHILD);
        for (const Ctl &e : p.controls) {
            SCOPED_TRACE("control " + std::to_string(e.id) + " at " + std::to_string(e.x) + "," + std::to_string(e.y));
            ASSERT_NE(c, HWND(0)) << "fewer controls than the page has";
            int id = GetDlgCtrlID(c);
            EXPECT_EQ(id == 0xFFFF ? -1 : id, e.id);
            WCHAR cls[64];
            GetClassNameW(c, cls, 64);
            EXPECT_EQ(std::u16string(cls), std::u16string(e.cls));
            if (e.text) {
                EXPECT_EQ(Text(c), std::u16string(e.text));
            }
            DWORD style = DWORD(GetWindowLongW(c, GWL_STYLE)), want = e.style | WS_CHILD | WS_VISIBLE;
            EXPECT_EQ(style & want, want) << "style " << std::hex << style;
            if (std::u16string(e.cls) == u"Static" && (e.style & SS_TYPEMASK) == SS_ICON) {
                EXPECT_NE(SendMessageW(c, STM_GETICON, 0, 0), 0) << "the icon static shows an icon";
            }
            RECT r;
            GetWindowRect(c, &r);
            EXPECT_EQ(r.left - origin.x, e.x * 6 / 4);
            EXPECT_EQ(r.top - origin.y, e.y * 13 / 8);
            EXPECT_EQ(r.right - r.left, e.cx * 6 / 4);
            EXPECT_EQ(r.bottom - r.top, e.cy * 13 / 8);
            c = GetWindow(c, GW_HWNDNEXT);
        }
        EXPECT_EQ(c, HWND(0)) << "more controls than the page has";
        DestroyWindow(dlg);
    }
}

TEST_F(DialogTemplates, TemplatesAreReadOnlyWithinTheirResource)
{
    EXPECT_EQ(CreateDialogIndirectParamW(0, nullptr, 0, QuietProc, 0), HWND(0));
    // The end of a resource bounds the parse: a template cut at its end fails.
    HRSRC r = FindResourceW(0, MAKEINTRESOURCEW(109), RT_DIALOG);
    DWORD size = SizeofResource(0, r);
    ASSERT_GT(size, 20u);
    SetLastError(0);
    const uint8_t *tail = reinterpret_cast<const uint8_t *>(Template(109)) + size - 18; // inside the last control
    EXPECT_EQ(CreateDialogIndirectParamW(0, reinterpret_cast<const DLGTEMPLATE *>(tail), 0, QuietProc, 0), HWND(0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// A dialog procedure may destroy its dialog while handling a message; the
// default dialog procedure then finishes the message without the dialog:
// it answers 0 and leaves the focus and the other windows alone.
UINT g_destroyOn = 0;
INT_PTR g_destroyAnswer = FALSE;

INT_PTR CALLBACK DestroyingProc(HWND dlg, UINT msg, WPARAM, LPARAM)
{
    if (msg != g_destroyOn)
        return FALSE;
    DestroyWindow(dlg);
    return g_destroyAnswer;
}

TEST_F(DialogTemplates, ADialogDestroyedByItsProcedureFinishesTheMessage)
{
    struct Case {
        const char *name;
        UINT msg;
        WPARAM wParam;
        INT_PTR answer;
    };
    const Case cases[] = {
        {"WM_PAINT", WM_PAINT, 0, FALSE},
        {"WM_SETFOCUS", WM_SETFOCUS, 0, FALSE},
        {"WM_ACTIVATE, deactivated", WM_ACTIVATE, 0, FALSE},
        {"a message the procedure answers", WM_USER + 7, 0, TRUE},
        {"WM_GETDLGCODE", WM_GETDLGCODE, 0, FALSE},
    };
    HWND other = CreateWindowExW(0, u"Static", u"", WS_VISIBLE, 0, 0, 10, 10, 0, 0, 0, nullptr);
    ASSERT_TRUE(other);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_destroyOn = 0;
        HWND dlg = CreateDialogIndirectParamW(plat::kProgramInstance, Template(104), 0, DestroyingProc, 0);
        ASSERT_TRUE(dlg);
        HWND edit = GetDlgItem(dlg, 1006);
        ASSERT_TRUE(edit);
        SetFocus(edit);
        SetWindowLongW(dlg, DWL_MSGRESULT, 99);
        g_destroyOn = c.msg;
        g_destroyAnswer = c.answer;
        EXPECT_EQ(SendMessageW(dlg, c.msg, c.wParam, 0), 0);
        EXPECT_FALSE(IsWindow(dlg));
        EXPECT_FALSE(IsWindow(edit));
        EXPECT_EQ(GetFocus(), HWND(0)) << "the focus went with the dialog";
        EXPECT_TRUE(IsWindow(other));
    }
    DestroyWindow(other);
}

} // namespace
