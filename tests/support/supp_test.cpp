// supp_test.cpp - message boxes from the string table.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "kernel/device.h"
#include "user/msgbox.h"
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
    std::vector<Shown> shown;
    int answer = IDOK;
};

TEST_F(Supp, MessageBoxTextCaptionStyleOwnerAndCursor)
{
    HWND active = cetest::CreateMainWindow(u"SuppOwner");
    ASSERT_EQ(GetActiveWindow(), active);
    EXPECT_EQ(Supp_MsgBox(0, 205, MB_ICONHAND), 0) << "no box before Supp_MsgInit";
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
    Supp_MsgDone();
    EXPECT_EQ(Supp_MsgBox(0, 206, 16), 0);
    EXPECT_EQ(shown.size(), 2u) << "nothing after Supp_MsgDone";
}

} // namespace
