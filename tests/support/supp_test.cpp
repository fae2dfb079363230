// supp_test.cpp - the window and message support functions: message boxes
// from the string table, the message pump, the child-window and font
// lookups.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "internal/device.h"
#include "internal/msgbox.h"
#include "support/supp.h"

namespace {

struct Shown {
    HWND owner;
    std::u16string text, caption;
    UINT type;
};

class Supp : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        plat::SetMessageBoxHook([this](HWND owner, const std::u16string &t, const std::u16string &c, UINT type) {
            shown.push_back({owner, t, c, type});
            return answer;
        });
    }
    void TearDown() override
    {
        Supp_MsgDone();
        plat::SetMessageBoxHook(nullptr);
        DeviceFixture::TearDown();
    }
    // A visible top-level window of a new class.
    static HWND TopWindow(const char16_t *cls, WNDPROC proc = DefWindowProcW)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = cls;
        RegisterClassW(&wc);
        return CreateWindowExW(0, cls, u"", WS_VISIBLE, 0, 0, 100, 100, 0, 0, 0, nullptr);
    }
    std::vector<Shown> shown;
    int answer = IDOK;
};

TEST_F(Supp, MessageBoxTextCaptionStyleOwnerAndCursor)
{
    HWND active = TopWindow(u"SuppOwner");
    ASSERT_EQ(GetActiveWindow(), active);
    ASSERT_EQ(Supp_MsgInit(plat::kProgramInstance, 201), TRUE);
    answer = IDYES;
    SetCursor(LoadCursorW(0, IDC_WAIT));
    EXPECT_EQ(Supp_MsgBox(0, 204, 36, u"\\Storage Card\\a.exe", u"\\Program Files\\a.exe"), IDYES)
        << "returns the pressed button";
    EXPECT_EQ(SetCursor(0), HCURSOR(0)) << "the wait cursor was removed before the box";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              u"Setup cannot copy file\n\n\\Storage Card\\a.exe\nto\n\\Program Files\\a.exe.\n\n"
              u"Please check to ensure the destination folder has sufficient free space.\nRetry?");
    EXPECT_EQ(shown[0].caption, u"Setup");
    EXPECT_EQ(shown[0].type, 36u);
    EXPECT_EQ(shown[0].owner, active) << "no owner given: the active window";

    // A "%" inside an argument is inserted unchanged.
    Supp_MsgBox(0, 216, 64, u"50% Off", u"note");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, u"\"50% Off\" has been successfully installed.\nnote");
}

TEST_F(Supp, InitAndDoneDecideWhetherBoxesShow)
{
    EXPECT_EQ(Supp_MsgBox(0, 205, MB_ICONHAND), 0);
    EXPECT_TRUE(shown.empty()) << "no box before Supp_MsgInit";
    ASSERT_TRUE(Supp_MsgInit(plat::kProgramInstance, 201));
    EXPECT_FALSE(Supp_MsgInit(plat::kProgramInstance, 203)) << "203 is not in the string table";
    Supp_MsgBox(0, 205, 16);
    ASSERT_EQ(shown.size(), 1u) << "the earlier instance stays in force";
    EXPECT_EQ(shown[0].caption, u"Setup");
    ASSERT_TRUE(Supp_MsgInit(plat::kProgramInstance, 205));
    Supp_MsgBox(0, 206, 16);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].caption, u"Installation process was not completed.") << "a second init replaces it";
    Supp_MsgDone();
    EXPECT_EQ(Supp_MsgBox(0, 206, 16), 0);
    EXPECT_EQ(shown.size(), 2u) << "nothing after Supp_MsgDone";
}

TEST_F(Supp, FindChildWindowByClassAndId)
{
    HWND parent = TopWindow(u"SuppParent");
    auto child = [](const char16_t *cls, HWND p, int id) {
        return CreateWindowExW(0, cls, u"", WS_CHILD, 0, 0, 5, 5, p, HMENU(id), 0, nullptr);
    };
    HWND b1 = child(u"Button", parent, 1), s2 = child(u"Static", parent, 2);
    HWND p3 = child(u"msctls_progress32", parent, 3), b4 = child(u"Button", parent, 4);
    ASSERT_NE(child(u"Edit", b1, 5), HWND(0));
    struct Case {
        const char16_t *cls;
        int id;
        HWND want;
        const char *what;
    } cases[] = {
        {nullptr, 0, b1, "any class, any id: the first child"},
        {u"static", 0, s2, "class compared without case"},
        {u"BUTTON", 4, b4, "class and id"},
        {nullptr, 3, p3, "id only"},
        {u"Button", 3, 0, "id of another class"},
        {u"Edit", 0, 0, "grandchildren are not searched"},
        {u"msctls_progress", 0, 0, "a longer class name does not match"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Supp_FindChildWindow(parent, c.cls, c.id), c.want) << c.what;
}

int CALLBACK CountFonts(const LOGFONTW *lf, const TEXTMETRICW *, DWORD type, LPARAM lParam)
{
    auto *seen = reinterpret_cast<std::vector<std::pair<std::u16string, DWORD>> *>(lParam);
    seen->push_back({lf->lfFaceName, type});
    return seen->size() < 2 ? 1 : 0;
}

TEST_F(Supp, FontsAndScreen)
{
    EXPECT_TRUE(Supp_IsFontInstalled(0, u"tahoma")) << "a default family in another case";
    EXPECT_FALSE(Supp_IsFontInstalled(0, u"Arial"));
    HDC dc = GetDC(0);
    EXPECT_TRUE(Supp_IsFontInstalled(dc, u"WINGDINGS"));
    ReleaseDC(0, dc);

    // The enumeration stops when the callback returns 0 and returns its
    // last result.
    std::vector<std::pair<std::u16string, DWORD>> seen;
    EXPECT_EQ(EnumFontFamiliesW(0, nullptr, CountFonts, LPARAM(&seen)), 0) << "the callback's last result";
    ASSERT_EQ(seen.size(), 2u) << "enumeration stops when the callback returns 0";
    EXPECT_EQ(seen[0].first, u"Tahoma");
    EXPECT_EQ(seen[1].first, u"Courier New");
    EXPECT_EQ(seen[0].second, DWORD(TRUETYPE_FONTTYPE));

    plat::DeviceMutableSettings().fonts = {u"Glyphor Sans"};
    EXPECT_TRUE(Supp_IsFontInstalled(0, u"glyphor sans"));
    EXPECT_FALSE(Supp_IsFontInstalled(0, u"Tahoma")) << "only the device's families count";
    EXPECT_EQ(Supp_IsMonoScreen(), TRUE);
}

std::vector<UINT> g_pumped;
LRESULT CALLBACK PumpProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m >= WM_USER)
        g_pumped.push_back(m);
    return DefWindowProcW(h, m, w, l);
}

TEST_F(Supp, PeekMessagesRunsEverythingWaitingAndReturns)
{
    HWND w = TopWindow(u"SuppPump", PumpProc);
    g_pumped.clear();
    PostMessageW(w, WM_USER + 1, 0, 0);
    PostMessageW(w, WM_USER + 2, 0, 0);
    EXPECT_EQ(Supp_PeekMessages(0), 0);
    EXPECT_EQ(g_pumped, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) << "queue empty and windows painted";
    EXPECT_EQ(Supp_PeekMessages(0), 0) << "an empty queue returns at once";
}

} // namespace
