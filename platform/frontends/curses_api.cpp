// curses_api.cpp - loading the ncurses library for the tui front end.
#define NCURSES_WIDECHAR 1
#include <curses.h>

#include <dlfcn.h>

#include <mutex>

#define CE_CURSES_API_LOADER
#include "frontends/curses_api.h"

namespace plat {

CursesApi g_curses;

bool CursesLoadLibrary(const char *library, CursesApi &api, std::string &error)
{
    void *lib = dlopen(library, RTLD_LAZY | RTLD_LOCAL);
    if (!lib) {
        const char *why = dlerror();
        error = std::string("the tui front end needs the ncursesw library: ") + (why ? why : "not found");
        return false;
    }
    CursesApi got;
    const char *missing = nullptr;
#define CE_CURSES_LOAD(name, member)                                                                               \
    got.member##_##name = reinterpret_cast<decltype(got.member##_##name)>(dlsym(lib, #name));                      \
    if (!got.member##_##name && !missing)                                                                          \
        missing = #name;
#define CE_CURSES_LOAD_FUNCTION(name) CE_CURSES_LOAD(name, f)
#define CE_CURSES_LOAD_VARIABLE(name) CE_CURSES_LOAD(name, v)
    CE_CURSES_FUNCTIONS(CE_CURSES_LOAD_FUNCTION)
    CE_CURSES_VARIABLES(CE_CURSES_LOAD_VARIABLE)
#undef CE_CURSES_LOAD_FUNCTION
#undef CE_CURSES_LOAD_VARIABLE
#undef CE_CURSES_LOAD
    if (missing) {
        error = std::string("the tui front end cannot use the ncursesw library ") + library + ": it has no " +
                missing;
        dlclose(lib);
        return false;
    }
    // Kept loaded for the rest of the process: the calls point into it.
    api = got;
    return true;
}

bool CursesLoad(std::string &error)
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] { CursesLoadLibrary("libncursesw.so.6", g_curses, failure); });
    error = failure;
    return failure.empty();
}

} // namespace plat
