// main.cpp - the setup program's entry point and its main window.
//
// SetupMain prepares the process-wide state, picks the Glyphor product's
// script names by the system version, makes one full-screen window that
// shows the setup bitmap on a dark blue ground, posts itself the start
// message and runs the message loop. The whole setup runs inside the
// window's handling of that message.
#include <windows.h>
#include <commctrl.h>

#include "script/script.h"
#include "setup/setup.h"
#include "support/supp.h"

HINSTANCE g_hSetupInstance = 0;
HBITMAP g_hSetupBitmap = 0;

static const WCHAR s_szMainClass[] = TEXT("VeltronaParvellMainWndClass");

// The ground behind the setup bitmap: red 0, green 0, blue 196.
#define SETUP_GROUND_COLOR RGB(0, 0, 196)

int WINAPI SetupMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    OSVERSIONINFOW vi;
    MSG msg;
    HWND hwndMain;
    HANDLE hIcon;
    BOOL fGot;

    g_hSetupInstance = hInstance;
    InitCommonControls();
    Supp_MsgInit(hInstance, IDS_CAPTION);

    // A failed query leaves the fields as zeroed here, which reads as a
    // system below 2.11.
    vi = {};
    vi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    GetVersionExW(&vi);
    SelectGlyphorScripts(vi.dwMajorVersion * 100 + vi.dwMinorVersion);

    hwndMain = CreateMainWindow(hInstance);
    if (!hwndMain) {
        Supp_MsgBox(NULL, IDS_CANNOT_INITIALIZE, MB_ICONHAND);
        return 0;
    }

    hIcon = LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON, 16, 16, 0);
    if (hIcon)
        SendMessageW(hwndMain, WM_SETICON, ICON_SMALL, (LPARAM)hIcon);

    ShowWindow(hwndMain, nCmdShow);
    UpdateWindow(hwndMain);
    PostMessageW(hwndMain, WM_SETUP_START, 0, 0);

    msg = {};
    for (;;) {
        fGot = GetMessageW(&msg, NULL, 0, 0);
        if (fGot != 1)
            break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    Supp_MsgDone();
    if (IsWindow(hwndMain))
        DestroyWindow(hwndMain);
    return (int)msg.wParam;
}

HWND CreateMainWindow(HINSTANCE hInstance)
{
    WNDCLASSW wc;

    wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = 0;
    wc.hCursor = 0;
    wc.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = s_szMainClass;
    if (!RegisterClassW(&wc))
        return NULL;
    return CreateWindowExW(0, s_szMainClass, TEXT("Setup"), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);
}

// Paints the ground and the setup bitmap through a memory buffer one pixel
// larger than the client area in each direction. A picture wider than the
// area is cropped to its middle; a narrower one sits 5 pixels in.
static void PaintMainWindow(HWND hwnd)
{
    PAINTSTRUCT ps;
    RECT rc;
    HDC hdc, hdcMem, hdcBmp;
    HBITMAP hbmBuffer, hbmOldMem, hbmOldBmp;
    HBRUSH hbr;
    BITMAP bm;
    int w, h, srcX, dstX, cx;

    GetClientRect(hwnd, &rc);
    w = rc.right - rc.left + 1;
    h = rc.bottom - rc.top + 1;

    hdc = BeginPaint(hwnd, &ps);
    hdcMem = CreateCompatibleDC(hdc);
    hbmBuffer = CreateCompatibleBitmap(hdc, w, h);
    hbmOldMem = (HBITMAP)SelectObject(hdcMem, hbmBuffer);

    hbr = CreateSolidBrush(SETUP_GROUND_COLOR);
    FillRect(hdcMem, &rc, hbr);
    DeleteObject(hbr);

    if (g_hSetupBitmap) {
        hdcBmp = CreateCompatibleDC(hdc);
        bm = {};
        GetObjectW(g_hSetupBitmap, sizeof(BITMAP), &bm);
        hbmOldBmp = (HBITMAP)SelectObject(hdcBmp, g_hSetupBitmap);
        if (w < bm.bmWidth) {
            srcX = (bm.bmWidth - w) / 2;
            dstX = 0;
            cx = w;
        } else {
            srcX = 0;
            dstX = 5;
            cx = bm.bmWidth;
        }
        BitBlt(hdcMem, dstX, 5, cx, bm.bmHeight, hdcBmp, srcX, 0, SRCCOPY);
        SelectObject(hdcBmp, hbmOldBmp);
        DeleteDC(hdcBmp);
    }

    BitBlt(hdc, 0, 0, w, h, hdcMem, 0, 0, SRCCOPY);
    SelectObject(hdcMem, hbmOldMem);
    DeleteObject(hbmBuffer);
    DeleteDC(hdcMem);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 1;
    case WM_PAINT:
        PaintMainWindow(hwnd);
        return 1;
    case WM_SETUP_START:
        RunSetup(g_hSetupInstance, hwnd);
        DestroyWindow(hwnd);
        return 1;
    default:
        return DefWindowProcW(hwnd, uMsg, wParam, lParam);
    }
}
