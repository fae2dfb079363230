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
    std::u16string text;
    std::u16string caption;
    UINT type;
};

class Supp : public cetest::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        shown.clear();
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
    std::vector<Shown> shown;
    int answer = IDOK;
};

TEST_F(Supp, MessageBoxBeforeInitShowsNothing)
{
    Supp_MsgDone();
    EXPECT_EQ(Supp_MsgBox(0, 205, MB_ICONHAND), 0);
    EXPECT_TRUE(shown.empty()) << "no box before Supp_MsgInit";
}

TEST_F(Supp, MessageBoxFormatsTheStringWithCaptionAndStyle)
{
    ASSERT_EQ(Supp_MsgInit(plat::kProgramInstance, 201), TRUE);
    answer = IDYES;
    EXPECT_EQ(Supp_MsgBox(0, 204, 36, u"\\Storage Card\\a.exe", u"\\Program Files\\a.exe"), IDYES)
        << "returns the pressed button";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              u"Setup cannot copy file\n\n\\Storage Card\\a.exe\nto\n\\Program Files\\a.exe.\n\nPlease check to "
              u"ensure the destination folder has sufficient free space.\nRetry?");
    EXPECT_EQ(shown[0].caption, u"Setup");
    EXPECT_EQ(shown[0].type, 36u);

    answer = IDOK;
    EXPECT_EQ(Supp_MsgBox(0, 220, 49, 1234), IDOK);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[1].text.find(u"at least 1234 Kb free space"), std::u16string::npos) << "%d filled";

    // A "%" inside an argument is inserted unchanged.
    Supp_MsgBox(0, 216, 64, u"50% Off", u"note");
    EXPECT_EQ(shown[2].text, u"\"50% Off\" has been successfully installed.\nnote");
}

TEST_F(Supp, OwnerIsTheActiveWindowWhenNoneIsGiven)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"SuppOwner";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, u"SuppOwner", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, 0, 0, 0, nullptr);
    ASSERT_EQ(GetActiveWindow(), w);
    Supp_MsgInit(plat::kProgramInstance, 201);
    Supp_MsgBox(0, 205, 16);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, w);
}

TEST_F(Supp, MessageBoxResetsTheCursor)
{
    Supp_MsgInit(plat::kProgramInstance, 201);
    SetCursor(LoadCursorW(0, IDC_WAIT));
    Supp_MsgBox(0, 205, 16);
    EXPECT_EQ(SetCursor(0), HCURSOR(0)) << "the wait cursor was removed before the box";
}

TEST_F(Supp, InitWithAMissingStringKeepsTheEarlierState)
{
    ASSERT_TRUE(Supp_MsgInit(plat::kProgramInstance, 201));
    EXPECT_FALSE(Supp_MsgInit(plat::kProgramInstance, 203)) << "203 is not in the string table";
    EXPECT_FALSE(Supp_MsgInit(0x1234, 201)) << "an instance without resources";
    Supp_MsgBox(0, 205, 16);
    ASSERT_EQ(shown.size(), 1u) << "the earlier instance stays in force";
    EXPECT_EQ(shown[0].caption, u"Setup");
    // A second successful init replaces the caption.
    ASSERT_TRUE(Supp_MsgInit(plat::kProgramInstance, 205));
    Supp_MsgBox(0, 206, 16);
    EXPECT_EQ(shown[1].caption, u"Installation process was not completed.");
    Supp_MsgDone();
    EXPECT_EQ(Supp_MsgBox(0, 206, 16), 0);
    EXPECT_EQ(shown.size(), 2u) << "nothing after Supp_MsgDone";
}

TEST_F(Supp, FindChildWindowByClassAndId)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"SuppParent";
    RegisterClassW(&wc);
    HWND parent = CreateWindowExW(0, u"SuppParent", u"", WS_VISIBLE, 0, 0, 100, 100, 0, 0, 0, nullptr);
    HWND lonely = CreateWindowExW(0, u"SuppParent", u"", WS_VISIBLE, 0, 0, 100, 100, 0, 0, 0, nullptr);
    HWND b1 = CreateWindowExW(0, u"Button", u"a", WS_CHILD, 0, 0, 5, 5, parent, HMENU(1), 0, nullptr);
    HWND s2 = CreateWindowExW(0, u"Static", u"b", WS_CHILD, 0, 0, 5, 5, parent, HMENU(2), 0, nullptr);
    HWND p3 = CreateWindowExW(0, u"msctls_progress32", u"", WS_CHILD, 0, 0, 5, 5, parent, HMENU(3), 0, nullptr);
    HWND b4 = CreateWindowExW(0, u"Button", u"c", WS_CHILD, 0, 0, 5, 5, parent, HMENU(4), 0, nullptr);
    HWND grandchild = CreateWindowExW(0, u"Edit", u"", WS_CHILD, 0, 0, 5, 5, b1, HMENU(5), 0, nullptr);
    ASSERT_NE(grandchild, HWND(0));
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
        {u"msctls_progress32", 3, p3, "full long name"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Supp_FindChildWindow(parent, c.cls, c.id), c.want) << c.what;
    EXPECT_EQ(Supp_FindChildWindow(lonely, nullptr, 0), HWND(0)) << "a parent without children";
}

int CALLBACK CountFonts(const LOGFONTW *lf, const TEXTMETRICW *, DWORD type, LPARAM lParam)
{
    auto *seen = reinterpret_cast<std::vector<std::pair<std::u16string, DWORD>> *>(lParam);
    seen->push_back({lf->lfFaceName, type});
    return seen->size() < 2 ? 1 : 0;
}

TEST_F(Supp, IsFontInstalledIgnoresCase)
{
    EXPECT_TRUE(Supp_IsFontInstalled(0, u"tahoma")) << "a default family in another case";
    EXPECT_TRUE(Supp_IsFontInstalled(0, u"Courier New"));
    EXPECT_FALSE(Supp_IsFontInstalled(0, u"Arial"));
    HDC dc = GetDC(0);
    EXPECT_TRUE(Supp_IsFontInstalled(dc, u"WINGDINGS"));
    ReleaseDC(0, dc);
    plat::DeviceMutableSettings().fonts = {u"Glyphor Sans"};
    EXPECT_TRUE(Supp_IsFontInstalled(0, u"glyphor sans"));
    EXPECT_FALSE(Supp_IsFontInstalled(0, u"Tahoma")) << "only the device's families count";
}

TEST_F(Supp, EnumFontFamiliesStopsAtZeroAndReturnsTheLastValue)
{
    std::vector<std::pair<std::u16string, DWORD>> seen;
    EXPECT_EQ(EnumFontFamiliesW(0, nullptr, CountFonts, LPARAM(&seen)), 0) << "the callback's last result";
    ASSERT_EQ(seen.size(), 2u) << "enumeration stops when the callback returns 0";
    EXPECT_EQ(seen[0].first, u"Tahoma");
    EXPECT_EQ(seen[1].first, u"Courier New");
    EXPECT_EQ(seen[0].second, DWORD(TRUETYPE_FONTTYPE));
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
    WNDCLASSW wc{};
    wc.lpfnWndProc = PumpProc;
    wc.lpszClassName = u"SuppPump";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, u"SuppPump", u"", WS_VISIBLE, 0, 0, 50, 50, 0, 0, 0, nullptr);
    g_pumped.clear();
    PostMessageW(w, WM_USER + 1, 0, 0);
    PostMessageW(w, WM_USER + 2, 0, 0);
    EXPECT_EQ(Supp_PeekMessages(0), 0);
    EXPECT_EQ(g_pumped, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, 0, 0, 0, PM_REMOVE)) << "queue empty and windows painted";
    EXPECT_EQ(Supp_PeekMessages(0), 0) << "an empty queue returns at once";
}

TEST_F(Supp, IsMonoScreenAlwaysTrue)
{
    EXPECT_EQ(Supp_IsMonoScreen(), TRUE);
}

} // namespace
