// curses_load_test.cpp - the tui front end's ncurses, loaded when the tui
// starts: the real library gives every function and variable the front end
// uses; a library that is missing, or that is not ncurses, is refused with
// a message naming what is wrong, and leaves the table as it was.
#define NCURSES_WIDECHAR 1
#include <curses.h>

#include <gtest/gtest.h>

#include <string>

#define CE_CURSES_API_LOADER
#include "frontends/curses_api.h"

namespace {

// The names the table lacks (empty when it is whole).
std::string Unset(const plat::CursesApi &api)
{
    std::string out;
#define CE_CHECK(name, member)                                                                                     \
    if (!api.member##_##name)                                                                                      \
        out += std::string(out.empty() ? "" : " ") + #name;
#define CE_CHECK_FUNCTION(name) CE_CHECK(name, f)
#define CE_CHECK_VARIABLE(name) CE_CHECK(name, v)
    CE_CURSES_FUNCTIONS(CE_CHECK_FUNCTION)
    CE_CURSES_VARIABLES(CE_CHECK_VARIABLE)
#undef CE_CHECK_FUNCTION
#undef CE_CHECK_VARIABLE
#undef CE_CHECK
    return out;
}

TEST(CursesLoad, TheSystemLibraryGivesEveryEntry)
{
    plat::CursesApi api;
    std::string error;
    ASSERT_TRUE(plat::CursesLoadLibrary("libncursesw.so.6", api, error)) << error;
    EXPECT_EQ(Unset(api), "") << "entries not found in libncursesw.so.6";
    EXPECT_EQ(error, "");
    // The process-wide table the front end calls through is the same.
    ASSERT_TRUE(plat::CursesLoad(error)) << error;
    EXPECT_EQ(Unset(plat::g_curses), "");
    EXPECT_EQ(plat::g_curses.f_newterm, api.f_newterm);
}

TEST(CursesLoad, AMissingOrWrongLibraryIsRefusedClearly)
{
    struct {
        const char *library;
        const char *says;  // what the message must hold
    } cases[] = {
        {"libcesetup-no-such-curses.so.0", "the tui front end needs the ncursesw library: "
                                           "libcesetup-no-such-curses.so.0"},
        // Libraries that are there but are not ncurses: the first missing
        // name. The terminfo library has half of them.
        {"libz.so.1", "the tui front end cannot use the ncursesw library libz.so.1: it has no cbreak"},
        {"libtinfo.so.6", "the tui front end cannot use the ncursesw library libtinfo.so.6: it has no delscreen"},
    };
    for (const auto &c : cases) {
        plat::CursesApi api;
        std::string error;
        EXPECT_FALSE(plat::CursesLoadLibrary(c.library, api, error)) << c.library;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.library << ": said \"" << error << "\"";
        // Nothing half-loaded is left for the front end to call.
        EXPECT_EQ(api.f_newterm, nullptr) << c.library;
        EXPECT_EQ(api.v_stdscr, nullptr) << c.library;
    }
}

} // namespace
