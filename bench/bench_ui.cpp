// bench_ui.cpp - speed of the window manager on the paths the setup uses
// most: one progress step of a file copy (move the bar, pump the messages,
// repaint), a modal page shown, painted and answered, and a screenshot.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "helpers/testdevice.h"
#include "internal/device.h"
#include "internal/resources.h"
#include "internal/screen.h"
#include "internal/window.h"
#include "support/supp.h"

namespace {

struct BenchDevice {
    cetest::TempDir root;
    HWND main = 0;

    BenchDevice()
    {
        std::string error;
        if (!plat::DeviceOpen(root.path + "/device", {}, error))
            std::abort();
        plat::ResourcesSet(g_ceResourceData, g_ceResourceSize);
        main = cetest::CreateMainWindow(u"BenchMain");
        Supp_PeekMessages(0);
    }
    ~BenchDevice() { plat::DeviceClose(); }
};

BenchDevice &Device()
{
    static BenchDevice device;
    return device;
}

const DLGTEMPLATE *Template(int id)
{
    HRSRC r = FindResourceW(plat::kProgramInstance, MAKEINTRESOURCEW(id), RT_DIALOG);
    return static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(plat::kProgramInstance, r)));
}

INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

INT_PTR CALLBACK EndOnClick(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

// One step of a copy's progress: the bar moves and the page repaints.
void BM_ProgressStep(benchmark::State &state)
{
    BenchDevice &d = Device();
    HWND page = CreateDialogIndirectParamW(plat::kProgramInstance, Template(103), d.main, Quiet, 0);
    HWND bar = GetDlgItem(page, 1001);
    Supp_PeekMessages(page);
    int pos = 0;
    for (auto _ : state) {
        SendMessageW(bar, PBM_SETPOS, WPARAM(pos++ % 100), 0);
        Supp_PeekMessages(page);
    }
    DestroyWindow(page);
    Supp_PeekMessages(0);
}
BENCHMARK(BM_ProgressStep);

// A modal page: created from its template, painted, clicked, ended.
void BM_ModalPage(benchmark::State &state)
{
    BenchDevice &d = Device();
    plat::UiHooks hooks;
    hooks.idle = [](HWND dlg) {
        plat::InputClick(GetDlgItem(dlg, 1));
        return true;
    };
    plat::SetUiHooks(hooks);
    for (auto _ : state) {
        INT_PTR r = DialogBoxIndirectParamW(plat::kProgramInstance, Template(105), d.main, EndOnClick, 0);
        if (r != 1)
            state.SkipWithError("page not answered");
        Supp_PeekMessages(0); // the main window repaints where the page was
    }
    plat::SetUiHooks(plat::UiHooks{});
}
BENCHMARK(BM_ModalPage);

void BM_Screenshot(benchmark::State &state)
{
    BenchDevice &d = Device();
    (void)d;
    std::string path = d.root.path + "/shot.png";
    std::string error;
    for (auto _ : state)
        if (!plat::ScreenSavePng(path, error))
            state.SkipWithError(error.c_str());
}
BENCHMARK(BM_Screenshot);

} // namespace

BENCHMARK_MAIN();
