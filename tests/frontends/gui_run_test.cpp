// gui_run_test.cpp - the graphical front end on a virtual X server (Xvfb,
// started here): the sample card installed with real X mouse clicks and
// key presses (xdotool), leaving the same device as the unattended run of
// the same choices; stray clicks and keys on a disabled button change
// nothing; a focused edit's caret blinks in the host window; a click that
// reaches the program together with the window's taking of the focus still
// counts; the window shows the screen exactly, with Xlib or SDL; closing
// the host window mid-install lets the work finish and then closes the
// following dialogs by their close box, without a hang.
#include "frontend_kit.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

namespace {

using fekit::Bin;
using fekit::WaitUntil;

constexpr int kScale = 2;

struct Pt {
    int x, y;
};

// A child process of the test (output to a file), stopped by its own id
// when forgotten.
class Child {
public:
    ~Child() { Stop(); }
    bool Start(std::vector<std::string> argv, const std::string &out)
    {
        if ((pid_ = fork()) == 0) {
            if (FILE *f = std::fopen(out.c_str(), "w")) {
                dup2(fileno(f), 1);
                dup2(fileno(f), 2);
            }
            std::vector<char *> a;
            for (std::string &s : argv)
                a.push_back(s.data());
            a.push_back(nullptr);
            execv(a[0], a.data());
            _exit(127);
        }
        return pid_ > 0;
    }
    // The exit code, or -1 when it has not ended within ms.
    int Wait(int ms)
    {
        int code = -1, st;
        WaitUntil([&] {
            if (pid_ <= 0 || waitpid(pid_, &st, WNOHANG) != pid_)
                return pid_ <= 0;
            code = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            pid_ = 0;
            return true;
        }, ms);
        return code;
    }
    // Asks first, so that Xvfb removes its lock file and socket.
    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (Wait(5000) < 0 && pid_ > 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        pid_ = 0;
    }
    void Signal(int sig)
    {
        if (pid_ > 0)
            kill(pid_, sig);
    }
    // Whether the running process has a library whose file name holds name.
    bool HasLibrary(const std::string &name) const
    {
        std::string maps = pid_ > 0 ? cetest::ReadHostFile("/proc/" + std::to_string(pid_) + "/maps") : "";
        return maps.find(name) != std::string::npos;
    }

private:
    pid_t pid_ = 0;
};

// Device pixel of the centre of a control given in dialog units, on a
// centred page of cx x cy dialog units (frame 2, caption 20) on 240 x 320.
struct Page {
    int cx, cy;
    Pt Centre(int x, int y, int w, int h) const
    {
        Pt o = Origin();
        return Pt{o.x + (x * 6 / 4 + (x + w) * 6 / 4) / 2, o.y + (y * 13 / 8 + (y + h) * 13 / 8) / 2};
    }
    // A pixel dx, dy from the top left corner of a control at x, y.
    Pt At(int x, int y, int dx, int dy) const
    {
        Pt o = Origin();
        return Pt{o.x + x * 6 / 4 + dx, o.y + y * 13 / 8 + dy};
    }
    // The page's client area, on the screen.
    Pt Origin() const
    {
        int width = cx * 6 / 4 + 4, height = cy * 13 / 8 + 24;
        return Pt{(240 - width) / 2 + 2, (320 - height) / 2 + 22};
    }
};

class GuiRun : public fekit::FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/xdotool", X_OK) != 0)
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        // Xvfb picks a free display number itself and tells it through a
        // pipe: tests running side by side never share a display. It is
        // not reset when its last client leaves (an xdotool call, a run that
        // ended): a program connecting during the reset would be refused.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        bool started = xvfb_.Start({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-screen", "0",
                                    "800x800x24", "-nolisten", "tcp"},
                                   root.path + "/xvfb.log");
        close(fds[1]);
        std::string n;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (started && poll(&p, 1, 15000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            n += c;
        close(fds[0]);
        ASSERT_FALSE(n.empty()) << "Xvfb comes up and names its display: " << cetest::ReadHostFile(root.path + "/xvfb.log");
        display_ = ":" + n;
        setenv("DISPLAY", display_.c_str(), 1);
    }
    void TearDown() override
    {
        setup_.Stop();
        xvfb_.Stop();
        unsetenv("DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
    }

    void StartSetup(const std::vector<std::string> &answers = {})
    {
        std::vector<std::string> argv = {Bin("cesetup"), "--device", device, "--card", card, "--ui", "gui", "--scale",
                                         std::to_string(kScale), "--transcript", transcript_, "--screenshots", shots_};
        for (const std::string &a : answers)
            argv.insert(argv.end(), {"--answer", a});
        ASSERT_TRUE(setup_.Start(argv, root.path + "/cesetup.out"));
        ASSERT_TRUE(WaitUntil([&] {
            e2e::ProcessResult r = e2e::RunProgram({"/usr/bin/xdotool", "search", "--name", "^cesetup$"});
            window_ = r.out.substr(0, r.out.find('\n'));
            return r.exitCode == 0 && !window_.empty();
        })) << "the cesetup window appears: " << cetest::ReadHostFile(root.path + "/cesetup.out");
        // The window takes the keyboard once it is mapped.
        ASSERT_TRUE(WaitUntil([&] {
            Xdo({"windowfocus", window_});
            e2e::ProcessResult f = Xdo({"getwindowfocus"});
            return f.out.substr(0, f.out.find('\n')) == window_;
        })) << "the cesetup window has the keyboard focus";
    }

    e2e::ProcessResult Xdo(std::vector<std::string> args)
    {
        args.insert(args.begin(), "/usr/bin/xdotool");
        return e2e::RunProgram(args);
    }
    void Click(Pt p)
    {
        Xdo({"mousemove", "--window", window_, std::to_string(p.x * kScale + 1), std::to_string(p.y * kScale + 1),
             "click", "1"});
    }
    void Key(const std::string &k) { Xdo({"key", "--clearmodifiers", k}); }
    // The button pressed at from, the pointer moved to `to` in steps with
    // the button held; held calls back before the release there.
    void Drag(Pt from, Pt to, const std::function<void()> &held)
    {
        auto px = [](int v) { return std::to_string(v * kScale + 1); };
        Xdo({"mousemove", "--window", window_, px(from.x), px(from.y), "mousedown", "1"});
        for (int k = 1; k <= 4; ++k)
            Xdo({"mousemove", "--window", window_, px(from.x + (to.x - from.x) * k / 4),
                 px(from.y + (to.y - from.y) * k / 4)});
        held();
        Xdo({"mouseup", "1"});
    }
    // Runs f on a connection of its own to the display, with the host
    // window; false when the display cannot be opened.
    bool WithDisplay(const std::function<void(Display *, Window)> &f)
    {
        Display *d = XOpenDisplay(display_.c_str());
        if (!d)
            return false;
        f(d, Window(std::strtoul(window_.c_str(), nullptr, 10)));
        XCloseDisplay(d);
        return true;
    }
    // The device pixel at p as the host window shows it (0xRRGGBB).
    unsigned long ShownPixel(Pt p)
    {
        unsigned long v = ~0ul;
        WithDisplay([&](Display *d, Window w) {
            if (XImage *img = XGetImage(d, w, p.x * kScale, p.y * kScale, 1, 1, AllPlanes, ZPixmap)) {
                v = XGetPixel(img, 0, 0) & 0xFFFFFF;
                XDestroyImage(img);
            }
        });
        return v;
    }
    // Where the host window differs from a screenshot (each device pixel
    // scale x scale): "" when it shows it exactly, else the first pixel
    // that differs.
    std::string WindowDiffers(const std::string &png)
    {
        png_image p{};
        p.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&p, png.c_str()))
            return "cannot read " + png;
        p.format = PNG_FORMAT_RGB;
        std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(p));
        bool read = png_image_finish_read(&p, nullptr, rgb.data(), 0, nullptr) != 0;
        png_image_free(&p);
        if (!read)
            return "cannot read " + png;
        std::string diff = "no display";
        WithDisplay([&](Display *d, Window w) {
            XImage *img = XGetImage(d, w, 0, 0, p.width * kScale, p.height * kScale, AllPlanes, ZPixmap);
            diff = img ? "" : "cannot read the window";
            for (unsigned y = 0; img && diff.empty() && y < p.height * kScale; ++y)
                for (unsigned x = 0; diff.empty() && x < p.width * kScale; ++x) {
                    const unsigned char *c = &rgb[(size_t(y / kScale) * p.width + x / kScale) * 3];
                    unsigned long want = (unsigned long)c[0] << 16 | (unsigned long)c[1] << 8 | c[2];
                    unsigned long got = XGetPixel(img, int(x), int(y)) & 0xFFFFFF;
                    if (got != want) {
                        std::ostringstream o;
                        o << "window pixel " << x << "," << y << " is " << std::hex << got << ", the screen's "
                          << want;
                        diff = o.str();
                    }
                }
            if (img)
                XDestroyImage(img);
        });
        return diff;
    }
    // The first screenshot whose name ends with suffix.
    std::string Shot(const std::string &suffix)
    {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(shots_)) {
            std::string n = e.path().filename().string();
            if (n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                names.push_back(e.path().string());
        }
        std::sort(names.begin(), names.end());
        return names.empty() ? "" : names.front();
    }
    // Turns of the wheel with the pointer at p (button 5: towards the user).
    void Wheel(Pt p, int notchesDown)
    {
        Xdo({"mousemove", "--window", window_, std::to_string(p.x * kScale + 1), std::to_string(p.y * kScale + 1),
             "click", "--repeat", std::to_string(notchesDown), "--delay", "30", "5"});
    }

    // Waits until the nth showing of a page or message has been drawn.
    void WaitDrawn(const std::string &suffix, int nth)
    {
        ASSERT_TRUE(WaitUntil([&] { return fekit::CountShots(shots_, suffix) >= nth; }))
            << suffix << " #" << nth << " is drawn; " << cetest::ReadHostFile(root.path + "/cesetup.out");
    }

    // Each step: a screenshot's name and showing to wait for, then keys.
    void Walk(const std::vector<std::string> &steps)
    {
        for (const std::string &step : steps) {
            std::istringstream words(step);
            std::string shot, key;
            int nth = 0;
            words >> shot >> nth;
            ASSERT_NO_FATAL_FAILURE(WaitDrawn(shot, nth));
            while (words >> key)
                Key(key);
        }
    }

    // Gives the keyboard focus to the host window, or to no window.
    bool FocusHostWindow(bool on)
    {
        return WithDisplay([&](Display *d, Window w) {
            XSetInputFocus(d, on ? w : None, RevertToNone, CurrentTime);
            XSync(d, False);
        });
    }
    // Sends WM_DELETE_WINDOW, what the window manager's close button sends.
    bool CloseHostWindow()
    {
        Status ok = 0;
        WithDisplay([&](Display *d, Window w) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = w;
            e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            e.xclient.format = 32;
            e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
            e.xclient.data.l[1] = CurrentTime;
            ok = XSendEvent(d, w, False, NoEventMask, &e);
            XFlush(d);
        });
        return ok != 0;
    }

    Child xvfb_, setup_;
    std::string display_, window_, shots_ = root.path + "/shots", transcript_ = root.path + "/gui.jsonl";
};

const Page k105{155, 150}, k106{155, 103}, k104{151, 135}, k112{155, 162};

TEST_F(GuiRun, InstallWithClicksAndKeysMatchesTheUnattendedRun)
{
    ASSERT_NO_FATAL_FAILURE(StartSetup());
    // Dravex. The user comes back to the window (it takes the keyboard
    // focus) and taps Continue while the program is busy: the focus and
    // the click reach the program together, and the click still counts.
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("page-105.png", 1));
    ASSERT_TRUE(FocusHostWindow(false));
    setup_.Signal(SIGSTOP);
    bool focused = FocusHostWindow(true);
    Click(k105.Centre(17, 129, 40, 14)); // Continue
    setup_.Signal(SIGCONT);
    ASSERT_TRUE(focused);
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("page-107.png", 1));
    EXPECT_EQ(fekit::CountEvents(transcript_, "answer", 105), 1) << "the click answered page 105";
    Key("Return");
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("page-106.png", 1));
    Click(k106.Centre(17, 58, 93, 10));  // Current Location, then PDA Storage Memory again
    Click(k106.Centre(17, 45, 109, 10));
    Click(k106.Centre(14, 82, 42, 14));  // Continue
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("page-104.png", 1));
    Click(Pt{3, 3}); // the disabled main window: nothing
    // A tap on the folder's edit gives it the focus and the caret (at the
    // start of its text, a line high, 1 pixel inside the border): the host
    // window shows it blinking, on and off, while the page waits.
    Click(k104.Centre(7, 61, 137, 14));
    int clientH = (61 + 14) * 13 / 8 - 61 * 13 / 8 - 2;
    Pt caretTop = k104.At(7, 61, 1 + 2, 1 + (clientH - 13) / 2);
    bool on = false, off = false;
    WaitUntil([&] {
        unsigned long p = ShownPixel(caretTop);
        on = on || p == 0x000000ul;
        off = off || p == 0xFFFFFFul;
        return on && off;
    }, 5000);
    EXPECT_TRUE(on) << "the caret is seen";
    EXPECT_TRUE(off) << "and then not: it blinks";
    Click(k104.Centre(12, 114, 42, 14)); // Continue
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("message-216.png", 1));
    Key("Return");
    // Miska, then Glyphor (whose Install stays disabled until a language
    // is chosen), with keys only: OK has the focus of each box.
    ASSERT_NO_FATAL_FAILURE(Walk({"page-105.png 2 Tab shift+Tab Return", "page-107.png 2 Return",
                                  "page-104.png 2 Return", "message-216.png 2 space", "page-105.png 3 Return",
                                  "page-107.png 3 Return", "page-104.png 3 Return"}));
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("page-112.png", 1));
    int russian = fekit::ItemIndex(transcript_, 112, 1014, "Russian");
    ASSERT_GE(russian, 0);
    Key("Return"); // the default button is the disabled Install: nothing
    for (int i = 0; i <= russian; ++i)
        Key("Down");
    Click(k112.Centre(14, 141, 42, 14)); // Install, enabled now
    ASSERT_NO_FATAL_FAILURE(WaitDrawn("message-216.png", 3));
    Key("Return");
    ASSERT_EQ(setup_.Wait(20000), 0) << cetest::ReadHostFile(root.path + "/cesetup.out");
    EXPECT_EQ(fekit::CountEvents(transcript_, "message", 216), 3) << "three installations reported";
    ExpectLikeUnattendedInstall(transcript_);
}

// The language page and the first message box are left to the user
// (rules answer the rest). The box over the page left under it is shown in
// the host window pixel for pixel, also when only the changed parts of the
// picture were sent; on X the window is Xlib's, without SDL and its
// libraries, and SDL's window, when SDL_VIDEODRIVER asks for it, shows the
// same. "Russian", far down the list, is reached with the mouse alone (the
// wheel, the scroll bar's track or its thumb dragged, then a click on its
// line) or by typing its first letter until it comes; the install record
// says Russian each time.
TEST_F(GuiRun, ScreenShownExactlyAndLanguageReachedByWheelScrollBarOrTyping)
{
    std::vector<std::string> answers;
    for (const std::string &a : fekit::InstallAnswers())
        if (a.rfind("page 112", 0) != 0 && a.rfind("message 216", 0) != 0)
            answers.push_back(a);
    answers.insert(answers.end(), {"message 216#2: answer OK", "message 216#3: answer OK"});
    // The list (7, 40, 141 x 90 units; 212 x 146 pixels) shows `rows` of
    // its 39 entries; with the last page in view Russian is on it.
    const int rows = (90 * 13 / 8 - 2) / 13, count = 39;
    auto tapRussianThenInstall = [&] {
        int line = fekit::ItemIndex(transcript_, 112, 1014, "Russian") - (count - rows);
        ASSERT_TRUE(line >= 0 && line < rows) << "Russian is on the last page";
        Click(k112.At(7, 40, 30, 1 + line * 13 + 6));
        Click(k112.Centre(14, 141, 42, 14)); // Install
    };
    struct Case {
        const char *what, *driver;
        std::function<void()> choose;
    } cases[] = {
        {"the wheel", "",
         [&] {
             Wheel(k112.Centre(7, 40, 141, 90), 20); // far enough for the end of the list
             tapRussianThenInstall();
         }},
        // The track just above the down arrow, below the thumb until the
        // last page is in view.
        {"page clicks on the scroll bar's track", "",
         [&] {
             for (int k = 0; k < 4; ++k)
                 Click(k112.At(7, 40, 212 - 1 - 6, 146 - 1 - 13 - 3));
             tapRussianThenInstall();
         }},
        // The thumb starts at the top of the track (below the up arrow); it
        // follows the pointer (the track shows where it was) while the button
        // is held, and is let go well below the list.
        {"the scroll bar's thumb dragged to the bottom", "",
         [&] {
             Pt thumb = k112.At(7, 40, 212 - 1 - 6, 1 + 13 + 3);
             ASSERT_TRUE(WaitUntil([&] { return ShownPixel(thumb) == 0xC0C0C0ul; }))
                 << "the thumb's face is shown: " << ShownPixel(thumb);
             Drag(thumb, k112.At(7, 40, 212 + 30, 146 + 60), [&] {
                 EXPECT_TRUE(WaitUntil([&] { return ShownPixel(thumb) == 0xE0E0E0ul; }))
                     << "the thumb has left the top of the track before the release";
             });
             tapRussianThenInstall();
         }},
        {"typing R until it comes, then Enter, in SDL's window", "x11",
         [&] {
             Key("R");
             Key("R");
             Key("Return");
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        setenv("SDL_VIDEODRIVER", c.driver, 1);
        device = root.path + "/device-" + std::to_string(&c - cases);
        transcript_ = device + ".jsonl";
        shots_ = device + "-shots";
        ASSERT_NO_FATAL_FAILURE(StartSetup(answers));
        ASSERT_NO_FATAL_FAILURE(WaitDrawn("message-216.png", 1));
        std::string shot = Shot("message-216.png"), diff;
        EXPECT_TRUE(WaitUntil([&] { return (diff = WindowDiffers(shot)).empty(); }, 5000)) << diff;
        EXPECT_EQ(setup_.HasLibrary("libSDL2"), *c.driver != 0) << "SDL is loaded only when asked for";
        Key("Return");
        ASSERT_NO_FATAL_FAILURE(WaitDrawn("page-112.png", 1));
        c.choose();
        ASSERT_EQ(setup_.Wait(20000), 0) << cetest::ReadHostFile(root.path + "/cesetup.out");
        std::string record = e2e::RegExport(device, "HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\Glyphor CE PDA 1.0");
        EXPECT_NE(record.find("\"Language\"=\"Russian\""), std::string::npos) << record;
    }
}

TEST_F(GuiRun, ClosingTheHostWindowMidInstallFinishesTheWorkThenCloses)
{
    // A large package file keeps the progress page up for a while.
    std::string big(20 * 1024 * 1024, '\0');
    for (size_t i = 0; i < big.size(); i += 4096)
        big[i] = char(i / 4096);
    cetest::WriteHostFile(card + "/Dravex.exe.ARM", big);
    ASSERT_NO_FATAL_FAILURE(StartSetup());
    ASSERT_NO_FATAL_FAILURE(Walk({"page-105.png 1 Return", "page-107.png 1 Return", "page-106.png 1 Return",
                                  "page-104.png 1 Return", "page-103.png 1"}));
    ASSERT_TRUE(CloseHostWindow()) << "the close request is sent";
    ASSERT_EQ(setup_.Wait(40000), 4) << "the run ends by itself, as ended by the user: " << cetest::ReadHostFile(root.path + "/cesetup.out");

    EXPECT_EQ(cetest::ReadHostFile(device + "/store/Program Files/Dravex/Dravex.exe").size(), big.size())
        << "the file being copied was copied whole";
    std::vector<nlohmann::json> events = fekit::Events(transcript_);
    auto done = std::find_if(events.begin(), events.end(), [](const nlohmann::json &e) {
        return e.value("event", "") == "message" && e.value("id", -1) == 216;
    });
    ASSERT_NE(done, events.end()) << "Dravex's installation was reported";
    EXPECT_EQ(done->value("result", -1), 1) << "the close box of the OK box is OK";
    EXPECT_EQ(fekit::CountEvents(transcript_, "page", 105), 2) << "Miska's welcome page came";
    EXPECT_EQ(fekit::CountEvents(transcript_, "page", 107), 1) << "and was closed (Exit): no licence page after it";
    EXPECT_EQ(events.back().value("event", ""), "exit");
    EXPECT_TRUE(cetest::HostExists(device + "/store/Program Files/Dravex/Pocket Dravex 3.1 Standard.unload"))
        << "the installation was completed, with its unload log";
}

} // namespace
