// gui.cpp - the graphical front end (--ui gui): an SDL window that shows the
// device framebuffer, scaled by --scale, and turns the host's mouse and
// keyboard into the window messages of the device (see hostinput.h). The
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
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dlfcn.h>

#include <SDL.h>

#include "frontends/frontend_internal.h"
#include "frontends/hostinput.h"
#include "frontends/sdl_api.h"
#include "gdi/screen.h"
#include "text/text.h"
#include "user/query.h"
#include "user/ui.h"

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

class GuiFrontend : public InteractiveFrontend {
public:
    explicit GuiFrontend(int scale) : scale_(scale) {}
    ~GuiFrontend() override { Stop(); }

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
                if (Text(dlg, e.text.text))
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

    // Typed text (the space comes as a key, above).
    bool Text(HWND dlg, const char *utf8)
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

} // namespace

std::unique_ptr<InteractiveFrontend> MakeGuiFrontend(int scale)
{
    return std::make_unique<GuiFrontend>(scale);
}

} // namespace plat
