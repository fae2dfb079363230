// bench_ui.cpp - speed of the window manager on the paths the setup uses
// most: one progress step of a file copy as the copy commands make it (the
// file name and the bar set, the progress page and the full-screen main
// window with its setup bitmap invalidated and updated, the page's messages
// pumped), a modal page shown, painted and answered, and a screenshot.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "helpers/testdevice.h"
#include "device/device.h"
#include "user/resources.h"
#include "frontends/frontend_internal.h"
#include "gdi/screen.h"
#include "user/window.h"
#include "script/script.h"
#include "setup/setup.h"
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
        // The setup's own main window, showing a 200 x 80 setup bitmap.
        main = CreateMainWindow(plat::kProgramInstance);
        g_hSetupBitmap = CreateBitmap(200, 80, 1, 32, nullptr);
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

INT_PTR CALLBACK EndOnClick(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

// A block of a file copy as the host makes it (read from one file, written
// to another): between two progress steps of an install the kernel copies
// this much and leaves the caches cold for the step.
struct HostCopy {
    int in = -1, out = -1;
    std::vector<char> buf = std::vector<char>(32000);
    off_t at = 0;
    explicit HostCopy(const std::string &dir)
    {
        std::string src = dir + "/copy-src", dst = dir + "/copy-dst";
        in = open(src.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        out = open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char> data(1 << 20, 'x');
        if (in < 0 || out < 0 || write(in, data.data(), data.size()) != ssize_t(data.size()))
            std::abort();
    }
    ~HostCopy()
    {
        close(in);
        close(out);
    }
    void Block()
    {
        if (pread(in, buf.data(), buf.size(), at) != ssize_t(buf.size()) ||
            pwrite(out, buf.data(), buf.size(), at) != ssize_t(buf.size()))
            std::abort();
        at = (at + 32000) % (32 * 32000);
    }
};

// The copy alone, to take from the progress step with copy 1.
void BM_CopyBlock(benchmark::State &state)
{
    BenchDevice &d = Device();
    HostCopy copy(d.root.path);
    for (auto _ : state)
        copy.Block();
}
BENCHMARK(BM_CopyBlock)->Unit(benchmark::kMicrosecond);

// One step of a copy's progress: CopyProgress sets the page's text and the
// bar, invalidates and updates the page and the main window under it, and
// pumps the page's messages.
// With a new file every step (new_file 1) the file name's text is drawn
// each time; a copy of 100 KB files draws it once in four steps. The bar
// moves at every step of a 100 KB total (bar_moves 1); of a card's total
// of 200 MB it moves once in fifty steps or so (bar_moves 0: once in 64,
// as an install of many files shows it).
void BM_ProgressStep(benchmark::State &state)
{
    const bool newFile = state.range(0) != 0;
    const bool barMoves = state.range(1) != 0;
    BenchDevice &d = Device();
    HWND bar = 0;
    HWND page = CreateSetupPage(plat::kProgramInstance, IDD_INSTALL_PROGRESS, d.main, ProgressDlgProc, LPARAM(&bar));
    if (!page || !bar) {
        state.SkipWithError("the progress page cannot be made");
        return;
    }
    UpdateWindow(page);
    Supp_PeekMessages(page);
    const DWORD total = barMoves ? 100000 : 64 * 100000;
    COPY_PROGRESS cp = {CopyProgress, d.main, page, bar, "\\Storage Card\\Bulk\\d7\\f1207.bin", total, 0};
    // Names of the bench card's shape, of a few lengths.
    std::vector<std::string> names;
    for (int i = 0; i < 64; ++i)
        names.push_back("\\Storage Card\\Bulk\\d" + std::to_string(i % 40) + "\\f" + std::to_string(i * 37) +
                        (i % 3 ? ".bin" : ".dat"));
    DWORD bytes = 0;
    size_t step = 0;
    const bool cold = state.range(2) != 0;
    HostCopy copy(d.root.path);
    for (auto _ : state) {
        if (cold)
            copy.Block();
        ++step;
        // A slow bar moves by 1% in 64 steps (1,000 bytes a step).
        bytes = barMoves ? (bytes + 32000) % 100000 : DWORD(step * 1000 % total);
        if (newFile)
            cp.pszSourceFile = names[step % names.size()].c_str();
        CopyProgress(bytes, 0, &cp);
    }
    // The page shows what the last step set: the run really painted.
    if (SendMessageW(bar, PBM_GETPOS, 0, 0) != LRESULT(uint64_t(bytes) * 100 / total))
        state.SkipWithError("the bar does not show the last step");
    DestroyWindow(page);
    Supp_PeekMessages(0);
}
BENCHMARK(BM_ProgressStep)
    ->ArgNames({"new_file", "bar_moves", "copy"})
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({0, 0, 0})
    ->Args({1, 0, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Unit(benchmark::kMicrosecond);

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
