// bench_paint.cpp - the time to draw one whole wizard page into the device's
// 240 x 320 framebuffer (frame, caption, every control and its text), for
// the page templates of the wizard and a message box; the goal is under
// 2 ms a page. Each iteration checks that the page's pixels were drawn.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "helpers/testdevice.h"
#include "device/device.h"
#include "user/resources.h"
#include "gdi/screen.h"
#include "user/window.h"

namespace {

struct PaintDevice {
    cetest::TempDir root;
    HWND main = 0;

    PaintDevice()
    {
        std::string error;
        plat::DeviceOverrides o;
        if (!plat::DeviceOpen(root.path + "/device", o, error))
            std::abort();
        plat::ResourcesSet(g_ceResourceData, g_ceResourceSize);
        main = cetest::CreateMainWindow(u"PaintMain");
        plat::WindowPaintAll();
    }
    ~PaintDevice() { plat::DeviceClose(); }
};

PaintDevice &Device()
{
    static PaintDevice device;
    return device;
}

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

// The number of pixels inside r that differ from the dialog face colour:
// a drawn page has text and frames there.
long DrawnPixels(const RECT &r)
{
    long n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (plat::ScreenPixel(x, y) != plat::kDialogFace)
                ++n;
    return n;
}

void BM_PaintPage(benchmark::State &state)
{
    PaintDevice &d = Device();
    int id = int(state.range(0));
    HRSRC res = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
    auto templ = static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, res)));
    HWND page = CreateDialogIndirectParamW(plat::kProgramInstance, templ, d.main, Quiet, 0);
    if (!page) {
        state.SkipWithError("the page cannot be made");
        return;
    }
    ShowWindow(page, SW_SHOW);
    plat::WindowPaintAll();
    RECT r{};
    GetWindowRect(page, &r);
    auto wipe = [&] {
        plat::Screen &s = plat::ScreenGet();
        for (int y = r.top; y < r.bottom; ++y)
            s.pixels.Fill(y, r.left, r.right, RGB(0xC0, 0xC0, 0xC0));
    };
    wipe();
    for (auto _ : state) {
        plat::WindowInvalidate(page, true);
        plat::WindowPaintAll();
        // Outside the timing: the page must have been drawn, then it is
        // wiped for the next round.
        state.PauseTiming();
        if (DrawnPixels(r) < 200) {
            state.SkipWithError("the page was not drawn");
            break;
        }
        wipe();
        state.ResumeTiming();
    }
    DestroyWindow(page);
    plat::WindowPaintAll();
    state.SetLabel("page " + std::to_string(id));
}
BENCHMARK(BM_PaintPage)->Arg(103)->Arg(104)->Arg(105)->Arg(106)->Arg(107)->Arg(108)->Arg(109)->Arg(110)->Arg(111)->Arg(112)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
