// x11_api.cpp - loading the Xlib library for the gui front end.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dlfcn.h>

#include <mutex>

#define CE_X11_API_LOADER
#include "frontends/x11_api.h"

namespace plat {

X11Api g_x11;

bool X11Load(std::string &error)
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        // Bound lazily: only the calls made are looked up.
        void *lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        if (!lib) {
            const char *why = dlerror();
            failure = std::string("the gui front end needs the X11 library: ") + (why ? why : "not found");
            return;
        }
        X11Api api;
        const char *missing = nullptr;
#define CE_X11_LOAD(name)                                                                                          \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(lib, #name));                                            \
    if (!api.name && !missing)                                                                                     \
        missing = #name;
        CE_X11_FUNCTIONS(CE_X11_LOAD)
#undef CE_X11_LOAD
        if (missing) {
            failure = std::string("the gui front end cannot use the X11 library: it has no ") + missing;
            return;
        }
        g_x11 = api;
    });
    error = failure;
    return failure.empty();
}

} // namespace plat
