// sdl_api.cpp - loading the SDL library for the gui front end.
#include <SDL.h>

#include <dlfcn.h>

#include <mutex>

#include "frontends/sdl_api.h"

namespace plat {

SdlApi g_sdl;

bool SdlLoad(std::string &error)
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        void *lib = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (!lib) {
            const char *why = dlerror();
            failure = std::string("the gui front end needs the SDL2 library: ") + (why ? why : "not found");
            return;
        }
        SdlApi api;
        const char *missing = nullptr;
#define CE_SDL_LOAD(name)                                                                                          \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(lib, "SDL_" #name));                                     \
    if (!api.name && !missing)                                                                                     \
        missing = "SDL_" #name;
        CE_SDL_FUNCTIONS(CE_SDL_LOAD)
#undef CE_SDL_LOAD
        if (missing) {
            failure = std::string("the gui front end cannot use the SDL2 library: it has no ") + missing;
            return;
        }
        g_sdl = api;
    });
    error = failure;
    return failure.empty();
}

} // namespace plat
