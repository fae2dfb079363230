// render_test.cpp - what the screen shows: every wizard page template and a
// message box of each style, drawn on a 240 x 320 and a 480 x 640 screen,
// compared pixel for pixel with the reference images in tests/reference/.
// A changed pixel fails the test and writes the reference, the new picture
// and their difference (changed pixels in red) as PNG files beside the
// build's programs. CESETUP_UPDATE_REFERENCES=1 writes new references.
// (Page 111's Remove is a disabled default button.) Also checked directly:
// text clipped inside its control.
#include <windows.h>

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "user/resources.h"
#include "gdi/screen.h"
#include "user/window.h"

namespace {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb; // RGB rows top-down
};

bool ReadPng(const std::string &path, Image &img)
{
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&p, path.c_str()))
        return false;
    p.format = PNG_FORMAT_RGB;
    img.width = p.width;
    img.height = p.height;
    img.rgb.assign(PNG_IMAGE_SIZE(p), 0);
    bool ok = png_image_finish_read(&p, nullptr, img.rgb.data(), 0, nullptr) != 0;
    png_image_free(&p);
    return ok;
}

bool WritePng(const std::string &path, const Image &img)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    p.width = img.width;
    p.height = img.height;
    p.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&p, path.c_str(), 0, img.rgb.data(), 0, nullptr) != 0;
}

// Compares the screen with its reference picture; on a difference writes
// the new picture, the reference and their difference (changed pixels red)
// and fails naming them.
void ExpectLikeReference(const std::string &name)
{
    Image got{plat::ScreenGet().width, plat::ScreenGet().height, plat::ScreenRgb()};
    std::string ref = std::string(CESETUP_SOURCE_DIR) + "/tests/reference/" + name + ".png";
    std::string diffs = std::string(CESETUP_BIN_DIR) + "/render-diffs/" + name;
    const char *update = std::getenv("CESETUP_UPDATE_REFERENCES");
    if (update && std::string(update) == "1") {
        ASSERT_TRUE(WritePng(ref, got)) << "writing " << ref;
        return;
    }
    Image want;
    if (!ReadPng(ref, want)) {
        WritePng(diffs + "-new.png", got);
        FAIL() << "no reference " << ref << " (the picture is " << diffs << "-new.png; run with "
               << "CESETUP_UPDATE_REFERENCES=1 to make the references)";
    }
    ASSERT_EQ(want.width, got.width) << name << ": width";
    ASSERT_EQ(want.height, got.height) << name << ": height";
    Image diff = got;
    long changed = 0;
    for (size_t i = 0; i + 2 < got.rgb.size(); i += 3) {
        bool same = got.rgb[i] == want.rgb[i] && got.rgb[i + 1] == want.rgb[i + 1] && got.rgb[i + 2] == want.rgb[i + 2];
        for (size_t k = 0; k < 3; ++k)
            diff.rgb[i + k] = same ? uint8_t(128 + got.rgb[i + k] / 2) : k ? 0 : 255;
        changed += !same;
    }
    if (changed) {
        WritePng(diffs + "-new.png", got);
        WritePng(diffs + "-reference.png", want);
        WritePng(diffs + "-diff.png", diff);
    }
    EXPECT_EQ(changed, 0) << name << ": pixels differ from " << ref << "; see " << diffs << "-diff.png";
}

// Fills the pages' variable parts as the wizard would.
INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM, LPARAM)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    if (HWND list = GetDlgItem(dlg, 1014)) {
        for (const char16_t *s : {u"Albanian", u"Belarusian", u"Bulgarian", u"Croatian", u"Czech", u"Danish",
                                  u"Dutch Belgian", u"Dutch Standard", u"English Canadian", u"English Irish",
                                  u"English United Kingdom", u"English United States", u"Russian"})
            SendMessageW(list, LB_ADDSTRING, 0, LPARAM(s));
        SendMessageW(list, LB_SETCURSEL, 12, 0);
    }
    if (HWND list = GetDlgItem(dlg, 1005)) {
        SendMessageW(list, LB_ADDSTRING, 0, LPARAM(u"Pocket Dravex 3.1 Standard"));
        SendMessageW(list, LB_ADDSTRING, 0, LPARAM(u"Pocket MISKA 2.0 Standard"));
        EnableWindow(GetDlgItem(dlg, 1), FALSE);
    }
    if (GetDlgItem(dlg, 1006)) {
        SetDlgItemTextW(dlg, 1006, u"\\Program Files\\A folder name far too long to be shown whole");
        SetDlgItemTextW(dlg, 1011, u"65536");
        SetDlgItemTextW(dlg, 1012, u"110");
    }
    if (HWND bar = GetDlgItem(dlg, 1001))
        SendMessageW(bar, 0x0402 /* PBM_SETPOS */, 40, 0);
    return TRUE;
}

std::function<void(HWND)> g_onShown; // run at the first wait of the next modal dialog

bool Idle(HWND dlg)
{
    if (dlg && g_onShown) {
        auto check = std::move(g_onShown);
        g_onShown = nullptr;
        check(dlg);
    }
    return false; // the dialog is then closed
}

class Render : public cetest::DeviceFixture, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        std::string size = GetParam();
        // The screen size is a device setting.
        std::string ini = cetest::ReadHostFile(deviceDir + "/device.ini");
        size_t at = ini.find("screen = 240x320");
        ASSERT_NE(at, std::string::npos) << ini;
        ini.replace(at, 16, "screen = " + size);
        cetest::WriteHostFile(deviceDir + "/device.ini", ini);
        plat::DeviceReset();
        Reopen({});
        ASSERT_EQ(std::to_string(plat::ScreenGet().width) + "x" + std::to_string(plat::ScreenGet().height), size);
        plat::UiHooks hooks;
        hooks.idle = Idle;
        plat::SetUiHooks(hooks);
        owner = cetest::CreateMainWindow(u"RenderMain");
        ASSERT_NE(owner, HWND(0));
    }
    const DLGTEMPLATE *Template(int id)
    {
        HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
        return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
    }
    // Shows a page and runs check once it is drawn and waits for input.
    void Shown(int id, DLGPROC proc, std::function<void(HWND)> check)
    {
        g_onShown = std::move(check);
        DialogBoxIndirectParamW(plat::kProgramInstance, Template(id), owner, proc, 0);
        EXPECT_FALSE(g_onShown) << "the page waited for input";
        g_onShown = nullptr;
    }
    std::string Name(const std::string &what) { return std::string(GetParam()) + "/" + what; }
    HWND owner = 0;
};

TEST_P(Render, EveryPageAsOnTheReference)
{
    for (int id : {105, 107, 106, 104, 112, 108, 111}) {
        SCOPED_TRACE("page " + std::to_string(id));
        Shown(id, PageProc, [&](HWND) { ExpectLikeReference(Name("page-" + std::to_string(id))); });
    }
    for (int id : {109, 103, 110}) {
        SCOPED_TRACE("page " + std::to_string(id));
        HWND page = CreateDialogIndirectParamW(plat::kProgramInstance, Template(id), owner, PageProc, 0);
        ASSERT_NE(page, HWND(0));
        plat::WindowPaintAll();
        ExpectLikeReference(Name("page-" + std::to_string(id)));
        DestroyWindow(page);
        plat::WindowPaintAll();
    }
}

TEST_P(Render, MessageBoxOfEachStyleAsOnTheReference)
{
    struct Case {
        UINT flags;
        const char16_t *text;
    } cases[] = {
        {MB_OK, u"Cannot initialize Setup. \"Dravex.exe\" is running."},
        {MB_ICONHAND, u"Installation process was not completed."},
        {MB_YESNO | MB_ICONQUESTION,
         u"Setup cannot copy file\n\n\\Storage Card\\Dravex.exe.ARM\nto\n\\Program Files\\Dravex\\Dravex.exe.\n\nRetry?"},
        {MB_ICONEXCLAMATION, u"Setup cannot read uninstallation information from the registry."},
        {MB_OKCANCEL | MB_ICONEXCLAMATION, u"The installation will not fit in the selected folder."},
        {MB_ICONASTERISK, u"\"Pocket Dravex 3.1 Standard\" has been successfully installed.\nTap it."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags));
        g_onShown = [&](HWND) { ExpectLikeReference(Name("message-" + std::to_string(c.flags))); };
        MessageBoxW(owner, c.text, u"Setup", c.flags);
        EXPECT_FALSE(g_onShown) << "the box waited for input";
        g_onShown = nullptr;
    }
}

TEST_P(Render, TextThatDoesNotFitIsClippedInsideItsControl)
{
    auto proc = [](HWND dlg, UINT msg, WPARAM w, LPARAM l) -> INT_PTR {
        INT_PTR r = PageProc(dlg, msg, w, l);
        if (msg == WM_INITDIALOG)
            SetWindowTextW(GetDlgItem(dlg, -1),
                           u"Setup can either copy application files to PDA storage memory or configure "
                           u"application to be run from current location. Please select the desired "
                           u"location. This sentence and the next do not fit. Nor does this one at all.");
        return r;
    };
    Shown(106, proc, [](HWND dlg) {
        // Page 106's long static (7, 7, 141 x 36 units) has more text than
        // room; the gap between it and the first radio button stays empty.
        RECT radio{}, page{};
        GetWindowRect(GetDlgItem(dlg, 1008), &radio);
        GetWindowRect(dlg, &page);
        int staticBottom = page.top + 22 + (7 + 36) * 13 / 8;
        ASSERT_LT(staticBottom, radio.top) << "a gap between the static and the radio button";
        int inked = 0;
        for (int y = staticBottom; y < radio.top; ++y)
            for (int x = page.left + 2 + 7 * 6 / 4; x < page.left + 2 + (7 + 141) * 6 / 4; ++x)
                inked += plat::ScreenPixel(x, y) != plat::kDialogFace;
        EXPECT_EQ(inked, 0) << "pixels drawn below the static's rectangle";
    });
}

INSTANTIATE_TEST_SUITE_P(Screens, Render, ::testing::Values("240x320", "480x640"),
                         [](const ::testing::TestParamInfo<const char *> &i) {
                             return std::string("s") + i.param;
                         });

} // namespace
