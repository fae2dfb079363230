// x11_api.h - the Xlib functions the gui front end calls on an X display,
// taken from the library when the gui starts (as SDL is, see sdl_api.h).
// On X the window is drawn through Xlib itself: SDL brings some fifty
// libraries and, when it starts its video, opens the display twice, reads
// the input method's whole compose table and asks D-Bus for a session bus
// (forking dbus-launch where none is set), about 0.04 s of CPU that the
// 240 x 320 picture does not need. Included after <X11/Xlib.h>; the calls
// keep their names.
#ifndef CE_PLATFORM_X11_API_H
#define CE_PLATFORM_X11_API_H

#include <string>

#define CE_X11_FUNCTIONS(X)                                                                                        \
    X(XCheckMaskEvent) X(XCheckTypedEvent) X(XCloseDisplay) X(XCloseIM) X(XCreateGC) X(XCreateIC) X(XCreateImage) \
    X(XCreateWindow) X(XDestroyIC) X(XDestroyWindow) X(XFilterEvent) X(XFlush) X(XFreeGC) X(XInternAtoms)         \
    X(XLookupString) X(XMapWindow) X(XNextEvent) X(XOpenDisplay) X(XOpenIM) X(XPending) X(XPutImage)             \
    X(XResizeWindow) X(XSetClassHint) X(XSetErrorHandler) X(XSetICFocus) X(XSetLocaleModifiers)                  \
    X(XSetWMHints) X(XSetWMNormalHints) X(XSetWMProtocols) X(XStoreName) X(XUnsetICFocus) X(Xutf8LookupString)    \
    X(XChangeProperty)

namespace plat {

struct X11Api {
#define CE_X11_MEMBER(name) decltype(&::name) name = nullptr;
    CE_X11_FUNCTIONS(CE_X11_MEMBER)
#undef CE_X11_MEMBER
};
extern X11Api g_x11;

// Loads the library once; false with ERROR saying why.
bool X11Load(std::string &error);

} // namespace plat

#ifndef CE_X11_API_LOADER
#define XCheckMaskEvent plat::g_x11.XCheckMaskEvent
#define XCheckTypedEvent plat::g_x11.XCheckTypedEvent
#define XCloseDisplay plat::g_x11.XCloseDisplay
#define XCloseIM plat::g_x11.XCloseIM
#define XCreateGC plat::g_x11.XCreateGC
#define XCreateIC plat::g_x11.XCreateIC
#define XCreateImage plat::g_x11.XCreateImage
#define XCreateWindow plat::g_x11.XCreateWindow
#define XDestroyIC plat::g_x11.XDestroyIC
#define XDestroyWindow plat::g_x11.XDestroyWindow
#define XFilterEvent plat::g_x11.XFilterEvent
#define XFlush plat::g_x11.XFlush
#define XFreeGC plat::g_x11.XFreeGC
#define XInternAtoms plat::g_x11.XInternAtoms
#define XLookupString plat::g_x11.XLookupString
#define XMapWindow plat::g_x11.XMapWindow
#define XNextEvent plat::g_x11.XNextEvent
#define XOpenDisplay plat::g_x11.XOpenDisplay
#define XOpenIM plat::g_x11.XOpenIM
#define XPending plat::g_x11.XPending
#define XPutImage plat::g_x11.XPutImage
#define XResizeWindow plat::g_x11.XResizeWindow
#define XSetClassHint plat::g_x11.XSetClassHint
#define XSetErrorHandler plat::g_x11.XSetErrorHandler
#define XSetICFocus plat::g_x11.XSetICFocus
#define XSetLocaleModifiers plat::g_x11.XSetLocaleModifiers
#define XSetWMHints plat::g_x11.XSetWMHints
#define XSetWMNormalHints plat::g_x11.XSetWMNormalHints
#define XSetWMProtocols plat::g_x11.XSetWMProtocols
#define XStoreName plat::g_x11.XStoreName
#define XUnsetICFocus plat::g_x11.XUnsetICFocus
#define Xutf8LookupString plat::g_x11.Xutf8LookupString
#define XChangeProperty plat::g_x11.XChangeProperty
#endif

#endif
