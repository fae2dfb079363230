// gui.cpp - the graphical front end (--ui gui): a host window that shows the
// device framebuffer, scaled by --scale, and turns the host's mouse and
// keyboard into the window messages of the device (see hostinput.h). On an
// X display the window is Xlib's own; on Wayland (or when SDL_VIDEODRIVER
// names a driver) it is SDL's. The
// pointer's moves count only while the left button is held (a stylus on
// the device touches the screen to move): they drag a scroll bar's thumb.
//
// The window is repainted whenever the program waits for input and, while
// work runs behind a modeless page, at most every 30 ms. Input that comes
// while no modal dialog is on top (during the work) is dropped, as the
// progress pages take none; the host window's close button is kept and
// given to the next modal dialog's close box. While it waits, the caret
// blinks (at GetCaretBlinkTime): the window is shown again at each change.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <SDL.h>

#include "frontends/frontend_internal.h"
#include "frontends/hostinput.h"
#include "frontends/sdl_api.h"
#include "gdi/screen.h"
#include "text/text.h"
#include "user/query.h"
#include "user/ui.h"

// After the platform's headers: Xlib's macros (None, Status, Bool) would
// meet their names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "frontends/x11_api.h"

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;

// Whether the top-most visible window is a modal dialog still waiting.
bool ModalOnTop()
{
    std::vector<HWND> tops = WindowTopLevels();
    WindowView w;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        DialogView dialog;
        if (QueryWindow(*it, w) && (w.style & WS_VISIBLE) && !w.destroyed)
            return QueryDialog(*it, dialog) && dialog.modal && !dialog.ended;
    }
    return false;
}

bool SameRects(const Region &a, const Region &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const RECT &p, const RECT &q) {
               return p.left == q.left && p.top == q.top && p.right == q.right && p.bottom == q.bottom;
           });
}

uint64_t NowMs()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

// Typed text (UTF-8) given to the dialog character by character; the
// space is not, since both windows send it as a key. True when any was.
bool TypedText(HWND dlg, const char *utf8)
{
    std::u16string s = FromUtf8(utf8);
    bool any = false;
    for (char16_t c : s)
        if (c != u' ') {
            HostChar(dlg, c);
            any = true;
        }
    return any;
}

// The window through SDL: on Wayland, or where SDL_VIDEODRIVER asks for it.
class SdlFrontend : public InteractiveFrontend {
public:
    explicit SdlFrontend(int scale) : scale_(scale) {}
    ~SdlFrontend() override { Stop(); }

    bool Start(std::string &error) override
    {
        // Only a real display will do: SDL's headless drivers would give a
        // window nobody sees, waiting for ever. SDL_VIDEODRIVER still wins.
        if (!SdlLoad(error)) {
            error += " (use --ui tui or --ui none)";
            return false;
        }
        const char *wayland = std::getenv("WAYLAND_DISPLAY");
        const char *display = std::getenv("DISPLAY");
        bool useWayland = wayland && *wayland;
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, useWayland ? "wayland,x11" : "x11", SDL_HINT_DEFAULT);
        // A 240 x 320 picture needs no GPU: drawn in software, the window
        // does not load the host's OpenGL stack, whose start (with Mesa's
        // shader compiler where there is no GPU) cost 0.2 to 0.3 s of CPU,
        // more than the install of a 2,000-file card spends painting.
        // The environment's SDL_RENDER_DRIVER and SDL_FRAMEBUFFER_ACCELERATION
        // still win.
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
        SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, "software", SDL_HINT_DEFAULT);
        // Every click is a tap on the device, also the one that gives the
        // window the focus. SDL otherwise drops a click it reads within
        // 10 ms of reading a focus change: when the program was busy, the
        // focus and a click made well after it are read together and the
        // click was lost.
        SDL_SetHintWithPriority(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1", SDL_HINT_DEFAULT);
        // Before SDL opens the display: SDL keeps the handler it finds and
        // puts it back when it closes the display, whose last errors would
        // otherwise meet Xlib's own handler, which ends the program.
        if (!useWayland)
            TolerateXErrors(true);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            std::string which = useWayland ? std::string(wayland) : display && *display ? std::string(display) : "";
            error = "the gui front end cannot open the display" + (which.empty() ? std::string(" (DISPLAY is not set)")
                                                                                : " \"" + which + "\"") +
                    ": " + SDL_GetError() + " (use --ui tui or --ui none)";
            return false;
        }
        started_ = true;
        TolerateXErrors(false);
        Screen &s = ScreenGet();
        window_ = SDL_CreateWindow("cesetup", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                   int(s.width) * scale_, int(s.height) * scale_, SDL_WINDOW_SHOWN);
        if (!window_) {
            error = std::string("the gui front end cannot make its window: ") + SDL_GetError();
            Stop();
            return false;
        }
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (!renderer_)
            renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) {
            error = std::string("the gui front end cannot draw into its window: ") + SDL_GetError();
            Stop();
            return false;
        }
        SDL_StartTextInput();
        return true;
    }

    bool WaitInput(HWND dlg) override
    {
        Present(true);
        for (;;) {
            // Wakes for the caret's next blink, else now and then.
            uint64_t now = NowMs();
            if (CaretBlink(now))
                Present(false);
            int due = CaretBlinkDue(now);
            SDL_Event e;
            if (!SDL_WaitEventTimeout(&e, due >= 0 ? std::min(due + 1, 200) : 200)) {
                // Nothing came: the window may have been uncovered.
                Present(false);
                continue;
            }
            switch (e.type) {
            case SDL_QUIT:
                HostCloseRequest();
                if (HostApplyClose(dlg))
                    return true;
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                    HostCloseRequest();
                    if (HostApplyClose(dlg))
                        return true;
                } else {
                    Present(true);
                }
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button == SDL_BUTTON_LEFT &&
                    HostMouseDown(dlg, e.button.x / scale_, e.button.y / scale_))
                    return true;
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.button == SDL_BUTTON_LEFT && HostMouseUp(dlg, e.button.x / scale_, e.button.y / scale_))
                    return true;
                break;
            case SDL_MOUSEMOTION:
                // Only a drag moves anything, as a stylus on the device.
                if ((e.motion.state & SDL_BUTTON_LMASK) &&
                    HostMouseMove(dlg, e.motion.x / scale_, e.motion.y / scale_))
                    return true;
                break;
            case SDL_MOUSEWHEEL: {
                int x, y;
                SDL_GetMouseState(&x, &y);
                int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
                if (HostMouseWheel(dlg, x / scale_, y / scale_, notches * WHEEL_DELTA))
                    return true;
                break;
            }
            case SDL_KEYDOWN:
                if (Key(dlg, e.key.keysym))
                    return true;
                break;
            case SDL_TEXTINPUT:
                if (TypedText(dlg, e.text.text))
                    return true;
                break;
            default:
                break;
            }
        }
    }

    void Poll() override
    {
        if (!window_)
            return;
        Clock::time_point now = Clock::now();
        if (now - lastPoll_ < std::chrono::milliseconds(30))
            return;
        lastPoll_ = now;
        SDL_PumpEvents();
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_QUIT, SDL_QUIT) > 0)
            HostCloseRequest();
        bool uncovered = false;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT) > 0) {
            if (e.window.event == SDL_WINDOWEVENT_CLOSE)
                HostCloseRequest();
            else
                uncovered = true;
        }
        // Input made during the work is for no one; input for a modal
        // dialog just shown stays queued for it.
        if (!ModalOnTop())
            SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
        Present(uncovered);
    }

    void Stop() override
    {
        if (texture_)
            SDL_DestroyTexture(texture_);
        if (renderer_)
            SDL_DestroyRenderer(renderer_);
        if (window_)
            SDL_DestroyWindow(window_);
        texture_ = nullptr;
        renderer_ = nullptr;
        window_ = nullptr;
        // Marked stopped first: an exit from inside the quit (Xlib's own
        // handling of an error) runs this again from the destructor, which
        // must not quit a half-closed display a second time.
        bool started = started_;
        started_ = false;
        if (started)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

private:
    // An X protocol error (SDL asking after a window the server already let
    // go, at the window's end) would make Xlib end the whole program with
    // exit code 1, in the middle of an install or after it finished. The
    // display is only shown, so such an error is passed over. Xlib is the
    // library SDL loads (load: loaded here first, and kept, when SDL has
    // not yet); without it nothing is done.
    static void TolerateXErrors(bool load)
    {
        void *x11 = dlopen("libX11.so.6", RTLD_LAZY | (load ? RTLD_GLOBAL : RTLD_NOLOAD));
        if (!x11)
            return;
        using Handler = int (*)(void *, void *);
        using SetHandler = Handler (*)(Handler);
        auto set = reinterpret_cast<SetHandler>(dlsym(x11, "XSetErrorHandler"));
        if (set)
            set([](void *, void *) { return 0; });
        if (!load)
            dlclose(x11);
    }

    // Shows the framebuffer; unchanged pixels are not sent again unless
    // the window needs them (force).
    void Present(bool force)
    {
        if (!renderer_)
            return;
        Screen &s = ScreenGet();
        Region caret = ScreenCaretRects(false);
        if (!force && shown_ && s.pixels.Changes() == shownChanges_ && SameRects(caret, shownCaret_))
            return;
        if (!texture_ || texW_ != s.width || texH_ != s.height) {
            if (texture_)
                SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XBGR8888, SDL_TEXTUREACCESS_STREAMING, int(s.width),
                                         int(s.height));
            texW_ = s.width;
            texH_ = s.height;
            SDL_SetWindowSize(window_, int(s.width) * scale_, int(s.height) * scale_);
        }
        if (!texture_)
            return;
        // COLORREF rows are the texture's own layout (red in the lowest byte).
        void *tex = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture_, nullptr, &tex, &pitch) != 0)
            return;
        for (uint32_t y = 0; y < s.height; ++y)
            std::memcpy(static_cast<uint8_t *>(tex) + size_t(y) * size_t(pitch), s.pixels.Read(int(y)),
                        size_t(s.width) * 4);
        // The caret over the pixels, inverted (it is in no window's pixels).
        for (const RECT &r : caret)
            for (int y = r.top; y < r.bottom; ++y) {
                uint32_t *row = reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(tex) + size_t(y) * size_t(pitch));
                for (int x = r.left; x < r.right; ++x)
                    row[x] ^= 0x00FFFFFFu;
            }
        SDL_UnlockTexture(texture_);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
        shown_ = true;
        shownChanges_ = s.pixels.Changes();
        shownCaret_ = std::move(caret);
    }

    bool Key(HWND dlg, const SDL_Keysym &k)
    {
        HostKey key;
        switch (k.sym) {
        case SDLK_TAB: key = (k.mod & KMOD_SHIFT) ? HostKey::BackTab : HostKey::Tab; break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: key = HostKey::Enter; break;
        case SDLK_ESCAPE: key = HostKey::Escape; break;
        case SDLK_UP: key = HostKey::Up; break;
        case SDLK_DOWN: key = HostKey::Down; break;
        case SDLK_LEFT: key = HostKey::Left; break;
        case SDLK_RIGHT: key = HostKey::Right; break;
        case SDLK_HOME: key = HostKey::Home; break;
        case SDLK_END: key = HostKey::End; break;
        case SDLK_PAGEUP: key = HostKey::PageUp; break;
        case SDLK_PAGEDOWN: key = HostKey::PageDown; break;
        case SDLK_DELETE: key = HostKey::Delete; break;
        case SDLK_BACKSPACE: key = HostKey::Backspace; break;
        case SDLK_SPACE: key = HostKey::Space; break;
        default: return false;
        }
        HostKeyPress(dlg, key);
        return true;
    }

    int scale_;
    bool started_ = false;
    SDL_Window *window_ = nullptr;
    SDL_Renderer *renderer_ = nullptr;
    SDL_Texture *texture_ = nullptr;
    uint32_t texW_ = 0, texH_ = 0;
    bool shown_ = false;            // a picture was shown
    uint64_t shownChanges_ = 0;     // the screen's change count when it was
    Region shownCaret_;             // and the caret shown over it
    Clock::time_point lastPoll_{};
};

// The window straight through Xlib, on an X display. It shows the same
// pixels as the SDL window (each device pixel scale x scale), but sends
// the server only the rows that changed since the last picture, each band
// from its first to its last changed column. The input method (and with
// it the locale's compose table, some 6,000 lines read at its opening) is
// opened at the first key press, before that key is looked at.
class X11Frontend : public InteractiveFrontend {
public:
    explicit X11Frontend(int scale) : scale_(scale) {}
    ~X11Frontend() override { Stop(); }

    // After a failed Start: whether the SDL window may still serve (this
    // display's pixels are laid out in a way not handled here, or Xlib is
    // missing); false when the display itself cannot be had.
    bool SdlMayServe() const { return sdlMayServe_; }

    bool Start(std::string &error) override
    {
        sdlMayServe_ = false;
        if (!X11Load(error)) {
            sdlMayServe_ = true;
            return false;
        }
        // A late error (a window the server let go first) must not end
        // the run: the display is only shown.
        XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
        display_ = XOpenDisplay(nullptr);
        if (!display_) {
            const char *name = std::getenv("DISPLAY");
            error = std::string("the gui front end cannot open the display") +
                    (name && *name ? " \"" + std::string(name) + "\": no X server answers there"
                                   : std::string(" (DISPLAY is not set)")) +
                    " (use --ui tui or --ui none)";
            return false;
        }
        int screen = DefaultScreen(display_);
        Visual *visual = DefaultVisual(display_, screen);
        int depth = DefaultDepth(display_, screen);
        if (!Shift(visual->red_mask, red_) || !Shift(visual->green_mask, green_) || !Shift(visual->blue_mask, blue_) ||
            (depth != 24 && depth != 32)) {
            error = "the gui front end does not draw on this display's pixel format";
            sdlMayServe_ = true;
            Stop();
            return false;
        }
        visual_ = visual;
        depth_ = depth;
        Screen &s = ScreenGet();
        int w = int(s.width) * scale_, h = int(s.height) * scale_;
        XSetWindowAttributes attr{};
        attr.background_pixmap = None; // no clearing before each picture
        attr.border_pixel = 0;
        attr.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                          Button1MotionMask | FocusChangeMask | StructureNotifyMask;
        int x = std::max(0, (DisplayWidth(display_, screen) - w) / 2);
        int y = std::max(0, (DisplayHeight(display_, screen) - h) / 2);
        window_ = XCreateWindow(display_, RootWindow(display_, screen), x, y, unsigned(w), unsigned(h), 0, depth,
                                InputOutput, visual, CWBackPixmap | CWBorderPixel | CWEventMask, &attr);
        if (!window_) {
            error = "the gui front end cannot make its window";
            Stop();
            return false;
        }
        char name[] = "cesetup";
        XStoreName(display_, window_, name);
        XClassHint cls{name, name};
        XSetClassHint(display_, window_, &cls);
        XWMHints wm{};
        wm.flags = InputHint | StateHint;
        wm.input = True;
        wm.initial_state = NormalState;
        XSetWMHints(display_, window_, &wm);
        SizeHints(w, h, true, x, y);
        char *names[] = {const_cast<char *>("WM_PROTOCOLS"), const_cast<char *>("WM_DELETE_WINDOW"),
                         const_cast<char *>("_NET_WM_PID")};
        Atom atoms[3] = {};
        XInternAtoms(display_, names, 3, False, atoms);
        protocols_ = atoms[0];
        deleteWindow_ = atoms[1];
        XSetWMProtocols(display_, window_, &deleteWindow_, 1);
        long pid = long(getpid());
        XChangeProperty(display_, window_, atoms[2], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&pid), 1);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        XMapWindow(display_, window_);
        XFlush(display_);
        return true;
    }

    bool WaitInput(HWND dlg) override
    {
        // The window keeps what it was sent until it is uncovered (Expose).
        Present(false);
        for (;;) {
            // Wakes for the caret's next blink, else now and then.
            uint64_t now = NowMs();
            if (CaretBlink(now))
                Present(false);
            if (!XPending(display_)) {
                int due = CaretBlinkDue(now);
                pollfd p{ConnectionNumber(display_), POLLIN, 0};
                if (poll(&p, 1, due >= 0 ? std::min(due + 1, 200) : 200) <= 0)
                    Present(false); // nothing came: the window may have been uncovered
                continue;
            }
            XEvent e;
            XNextEvent(display_, &e);
            if (e.type == KeyPress && !imTried_)
                OpenInputMethod();
            if (ic_ && XFilterEvent(&e, None))
                continue;
            switch (e.type) {
            case ClientMessage:
                if (IsClose(e)) {
                    HostCloseRequest();
                    if (HostApplyClose(dlg))
                        return true;
                }
                break;
            case Expose:
                exposed_ = true;
                if (e.xexpose.count == 0)
                    Present(true);
                break;
            case FocusIn:
                if (ic_)
                    XSetICFocus(ic_);
                break;
            case FocusOut:
                if (ic_)
                    XUnsetICFocus(ic_);
                break;
            case ButtonPress:
                if (e.xbutton.button == Button1 && HostMouseDown(dlg, e.xbutton.x / scale_, e.xbutton.y / scale_))
                    return true;
                // The wheel comes as buttons 4 (away from the user) and 5.
                if ((e.xbutton.button == Button4 || e.xbutton.button == Button5) &&
                    HostMouseWheel(dlg, e.xbutton.x / scale_, e.xbutton.y / scale_,
                                   e.xbutton.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA))
                    return true;
                break;
            case ButtonRelease:
                if (e.xbutton.button == Button1 && HostMouseUp(dlg, e.xbutton.x / scale_, e.xbutton.y / scale_))
                    return true;
                break;
            case MotionNotify:
                // Only a drag moves anything, as a stylus on the device.
                if ((e.xmotion.state & Button1Mask) && HostMouseMove(dlg, e.xmotion.x / scale_, e.xmotion.y / scale_))
                    return true;
                break;
            case KeyPress:
                if (Key(dlg, e.xkey))
                    return true;
                break;
            default:
                break;
            }
        }
    }

    void Poll() override
    {
        if (!display_)
            return;
        Clock::time_point now = Clock::now();
        if (now - lastPoll_ < std::chrono::milliseconds(30))
            return;
        lastPoll_ = now;
        XEvent e;
        while (XCheckTypedEvent(display_, ClientMessage, &e))
            if (IsClose(e))
                HostCloseRequest();
        bool uncovered = false;
        while (XCheckTypedEvent(display_, Expose, &e))
            uncovered = exposed_ = true;
        // Input made during the work is for no one; input for a modal
        // dialog just shown stays queued for it.
        if (!ModalOnTop())
            while (XCheckMaskEvent(display_, KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                                 Button1MotionMask,
                                   &e)) {
            }
        Present(uncovered);
    }

    void Stop() override
    {
        if (!display_)
            return;
        if (ic_)
            XDestroyIC(ic_);
        if (im_)
            XCloseIM(im_);
        if (image_) {
            image_->data = nullptr; // frame_ owns the pixels
            XDestroyImage(image_);
        }
        if (gc_)
            XFreeGC(display_, gc_);
        if (window_)
            XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
        ic_ = nullptr;
        im_ = nullptr;
        image_ = nullptr;
        gc_ = nullptr;
        window_ = 0;
        display_ = nullptr;
    }

private:
    // A channel's mask as the shift of its 8 bits.
    static bool Shift(unsigned long mask, int &shift)
    {
        for (shift = 0; shift <= 24; shift += 8)
            if (mask == 0xFFul << shift)
                return true;
        return false;
    }

    // The window keeps the screen's size (a fixed size, as the SDL window
    // made without resizing has); when made, at the place asked.
    void SizeHints(int w, int h, bool place, int x = 0, int y = 0)
    {
        XSizeHints hints{};
        hints.flags = PMinSize | PMaxSize | (place ? USPosition : 0);
        hints.x = x;
        hints.y = y;
        hints.min_width = hints.max_width = w;
        hints.min_height = hints.max_height = h;
        XSetWMNormalHints(display_, window_, &hints);
    }

    bool IsClose(const XEvent &e) const
    {
        return e.xclient.message_type == protocols_ && e.xclient.format == 32 &&
               Atom(e.xclient.data.l[0]) == deleteWindow_;
    }

    // In the user's locale, as the keys' text is; the program's own locale
    // is put back after.
    void OpenInputMethod()
    {
        imTried_ = true;
        const char *was = std::setlocale(LC_ALL, nullptr);
        std::string before = was ? was : "C";
        std::setlocale(LC_ALL, "");
        XSetLocaleModifiers("");
        char name[] = "cesetup";
        im_ = XOpenIM(display_, nullptr, name, name);
        std::setlocale(LC_ALL, before.c_str());
        if (!im_)
            return;
        ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                        XNFocusWindow, window_, nullptr);
        if (ic_)
            XSetICFocus(ic_);
    }

    bool Key(HWND dlg, XKeyEvent &k)
    {
        char text[64];
        KeySym sym = NoSymbol;
        int n = 0;
        if (ic_) {
            Status status = 0;
            n = Xutf8LookupString(ic_, &k, text, int(sizeof text) - 1, &sym, &status);
            if (status != XLookupChars && status != XLookupBoth)
                n = 0;
            if (status != XLookupKeySym && status != XLookupBoth)
                sym = NoSymbol;
        } else {
            // Latin-1 without an input method: made UTF-8 here.
            char latin[32];
            int m = XLookupString(&k, latin, int(sizeof latin), &sym, nullptr);
            for (int i = 0; i < m && n < int(sizeof text) - 2; ++i) {
                unsigned char c = static_cast<unsigned char>(latin[i]);
                if (c < 0x80) {
                    text[n++] = char(c);
                } else {
                    text[n++] = char(0xC0 | (c >> 6));
                    text[n++] = char(0x80 | (c & 0x3F));
                }
            }
        }
        text[std::max(0, n)] = '\0';
        HostKey key;
        switch (sym) {
        case XK_Tab: key = (k.state & ShiftMask) ? HostKey::BackTab : HostKey::Tab; break;
        case XK_ISO_Left_Tab: key = HostKey::BackTab; break;
        case XK_Return:
        case XK_KP_Enter: key = HostKey::Enter; break;
        case XK_Escape: key = HostKey::Escape; break;
        case XK_Up: key = HostKey::Up; break;
        case XK_Down: key = HostKey::Down; break;
        case XK_Left: key = HostKey::Left; break;
        case XK_Right: key = HostKey::Right; break;
        case XK_Home: key = HostKey::Home; break;
        case XK_End: key = HostKey::End; break;
        case XK_Page_Up: key = HostKey::PageUp; break;
        case XK_Page_Down: key = HostKey::PageDown; break;
        case XK_Delete: key = HostKey::Delete; break;
        case XK_BackSpace: key = HostKey::Backspace; break;
        case XK_space: key = HostKey::Space; break;
        default:
            // Typed text: control characters (Ctrl with a letter) are none.
            if (n <= 0 || static_cast<unsigned char>(text[0]) < 0x20 || text[0] == 0x7F)
                return false;
            return TypedText(dlg, text);
        }
        HostKeyPress(dlg, key);
        return true;
    }

    // Shows the framebuffer: the rows that differ from the picture last
    // sent (or all of them when the window needs them: force). Nothing is
    // sent before the window is first exposed: the server would drop it.
    void Present(bool force)
    {
        if (!window_ || !exposed_)
            return;
        Screen &s = ScreenGet();
        Region caret = ScreenCaretRects(false);
        if (!force && shown_ && s.pixels.Changes() == shownChanges_ && SameRects(caret, shownCaret_))
            return;
        int w = int(s.width), h = int(s.height);
        if (!image_ || w != shownW_ || h != shownH_) {
            if (!Resize(w, h))
                return;
            force = true;
        }
        // The picture as it is to be seen, each row's changed columns noted.
        changed_.assign(size_t(h), Span{0, 0});
        for (int y = 0; y < h; ++y) {
            uint32_t *row = row_.data();
            std::memcpy(row, s.pixels.Read(y), size_t(w) * 4);
            // The caret over the pixels, inverted (it is in no window's pixels).
            for (const RECT &r : caret)
                if (y >= r.top && y < r.bottom)
                    for (int x = std::max(0, int(r.left)); x < std::min(w, int(r.right)); ++x)
                        row[x] ^= 0x00FFFFFFu;
            uint32_t *was = &shownPx_[size_t(y) * size_t(w)];
            int left = 0, right = w;
            if (!force) {
                while (left < w && row[left] == was[left])
                    ++left;
                if (left == w)
                    continue;
                while (right > left && row[right - 1] == was[right - 1])
                    --right;
            }
            std::memcpy(was + left, row + left, size_t(right - left) * 4);
            changed_[size_t(y)] = Span{left, right};
        }
        // Runs of changed rows (at most a band's height each), from the
        // first to the last changed column of any of their rows.
        for (int y = 0; y < h;) {
            if (changed_[size_t(y)].left == changed_[size_t(y)].right) {
                ++y;
                continue;
            }
            int top = y, left = w, right = 0;
            for (; y < h && y - top < kBandRows && changed_[size_t(y)].left != changed_[size_t(y)].right; ++y) {
                left = std::min(left, changed_[size_t(y)].left);
                right = std::max(right, changed_[size_t(y)].right);
            }
            SendRows(top, y, left, right);
        }
        XFlush(display_);
        shown_ = true;
        shownChanges_ = s.pixels.Changes();
        shownCaret_ = std::move(caret);
    }

    // Sends device rows [top, bottom) from column left to right, each
    // pixel scale x scale, through the band picture.
    void SendRows(int top, int bottom, int left, int right)
    {
        int w = shownW_, sc = scale_, stride = w * sc;
        for (int y = top; y < bottom; ++y) {
            const uint32_t *src = &shownPx_[size_t(y) * size_t(w)];
            uint32_t *out = &band_[size_t(y - top) * size_t(sc) * size_t(stride)];
            for (int x = left; x < right; ++x) {
                uint32_t c = src[x];
                uint32_t v = ((c & 0xFFu) << red_) | (((c >> 8) & 0xFFu) << green_) | (((c >> 16) & 0xFFu) << blue_);
                for (int k = 0; k < sc; ++k)
                    out[x * sc + k] = v;
            }
            for (int k = 1; k < sc; ++k)
                std::memcpy(out + size_t(k) * size_t(stride) + left * sc, out + left * sc,
                            size_t((right - left) * sc) * 4);
        }
        XPutImage(display_, window_, gc_, image_, left * sc, 0, left * sc, top * sc, unsigned((right - left) * sc),
                  unsigned((bottom - top) * sc));
    }

    // The pictures for a screen of w x h pixels, and the window's size.
    bool Resize(int w, int h)
    {
        if (image_) {
            image_->data = nullptr;
            XDestroyImage(image_);
            image_ = nullptr;
        }
        int sc = scale_;
        band_.resize(size_t(w) * size_t(sc) * size_t(kBandRows) * size_t(sc));
        shownPx_.resize(size_t(w) * size_t(h));
        row_.resize(size_t(w));
        image_ = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0, reinterpret_cast<char *>(band_.data()),
                              unsigned(w * sc), unsigned(kBandRows * sc), 32, w * sc * 4);
        if (!image_ || image_->bits_per_pixel != 32) {
            if (image_) {
                image_->data = nullptr;
                XDestroyImage(image_);
                image_ = nullptr;
            }
            return false;
        }
        // The pixels are this machine's 32-bit words; Xlib reorders them
        // for a server of the other byte order.
        uint32_t one = 1;
        image_->byte_order = *reinterpret_cast<unsigned char *>(&one) ? LSBFirst : MSBFirst;
        if (shownW_ != 0 && (w != shownW_ || h != shownH_)) {
            XResizeWindow(display_, window_, unsigned(w * sc), unsigned(h * sc));
            SizeHints(w * sc, h * sc, false);
        }
        shownW_ = w;
        shownH_ = h;
        return true;
    }

    int scale_;
    bool sdlMayServe_ = false;
    Display *display_ = nullptr;
    Visual *visual_ = nullptr;
    int depth_ = 24;
    int red_ = 16, green_ = 8, blue_ = 0; // where each channel goes in a pixel
    Window window_ = 0;
    GC gc_ = nullptr;
    Atom protocols_ = 0, deleteWindow_ = 0;
    bool imTried_ = false;
    XIM im_ = nullptr;
    XIC ic_ = nullptr;
    // Pictures go out in bands of at most this many device rows, through
    // one band-sized buffer (a whole scaled screen would be 1.2 MB to fault
    // in at scale 2).
    static constexpr int kBandRows = 16;
    struct Span {
        int left, right;
    };
    XImage *image_ = nullptr;       // over band_
    std::vector<uint32_t> band_;    // a band of the window's pixels, scaled
    std::vector<uint32_t> shownPx_; // the device pixels sent (caret included)
    std::vector<uint32_t> row_;     // one screen row being compared
    std::vector<Span> changed_;     // each row's changed columns
    int shownW_ = 0, shownH_ = 0;
    bool exposed_ = false;          // the window can be drawn on
    bool shown_ = false;
    uint64_t shownChanges_ = 0;
    Region shownCaret_;
    Clock::time_point lastPoll_{};
};

// The X window where an X display is used, else (Wayland, or SDL_VIDEODRIVER
// set) the SDL one, which still wins when set.
class GuiFrontend : public InteractiveFrontend {
public:
    explicit GuiFrontend(int scale) : scale_(scale) {}
    ~GuiFrontend() override { Stop(); }

    bool Start(std::string &error) override
    {
        const char *wayland = std::getenv("WAYLAND_DISPLAY");
        const char *driver = std::getenv("SDL_VIDEODRIVER");
        if (!(wayland && *wayland) && !(driver && *driver)) {
            auto x11 = std::make_unique<X11Frontend>(scale_);
            if (x11->Start(error)) {
                impl_ = std::move(x11);
                return true;
            }
            if (!x11->SdlMayServe())
                return false;
            error.clear();
        }
        auto sdl = std::make_unique<SdlFrontend>(scale_);
        if (!sdl->Start(error))
            return false;
        impl_ = std::move(sdl);
        return true;
    }
    bool WaitInput(HWND dlg) override { return impl_ && impl_->WaitInput(dlg); }
    void Poll() override
    {
        if (impl_)
            impl_->Poll();
    }
    void Stop() override
    {
        if (impl_)
            impl_->Stop();
    }

private:
    int scale_;
    std::unique_ptr<InteractiveFrontend> impl_;
};

} // namespace

std::unique_ptr<InteractiveFrontend> MakeGuiFrontend(int scale)
{
    return std::make_unique<GuiFrontend>(scale);
}

} // namespace plat
