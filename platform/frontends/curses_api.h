// curses_api.h - the ncurses functions and variables the tui front end
// uses, taken from the library when the tui starts rather than when the
// program does: loading ncurses and its terminfo library cost every run
// some 0.5 ms of CPU, also the ones without a terminal. Included after
// <curses.h>; the calls and variables keep their names (the front end
// writes werase, wmove and wrefresh on stdscr: "erase" and "move" are also
// names of the C++ library).
#ifndef CE_PLATFORM_CURSES_API_H
#define CE_PLATFORM_CURSES_API_H

#include <string>

#define CE_CURSES_FUNCTIONS(X)                                                                                     \
    X(cbreak) X(curs_set) X(delscreen) X(endwin) X(getmouse) X(keypad) X(mouseinterval) X(mousemask) X(newterm)    \
    X(noecho) X(nonl) X(set_escdelay) X(set_term) X(waddch) X(waddnstr) X(wattr_off) X(wattr_on) X(werase)         \
    X(wget_wch) X(whline) X(wmove) X(wrefresh) X(wtimeout) X(wvline)
#define CE_CURSES_VARIABLES(X) X(COLS) X(LINES) X(acs_map) X(stdscr)

namespace plat {

struct CursesApi {
#define CE_CURSES_FUNCTION(name) decltype(&::name) f_##name = nullptr;
#define CE_CURSES_VARIABLE(name) decltype(&::name) v_##name = nullptr;
    CE_CURSES_FUNCTIONS(CE_CURSES_FUNCTION)
    CE_CURSES_VARIABLES(CE_CURSES_VARIABLE)
#undef CE_CURSES_FUNCTION
#undef CE_CURSES_VARIABLE
};
extern CursesApi g_curses;

// Loads the library once; false with ERROR saying why.
bool CursesLoad(std::string &error);
// Loads the library of that name into API (for CursesLoad and its tests).
bool CursesLoadLibrary(const char *library, CursesApi &api, std::string &error);

} // namespace plat

// The loader itself names the symbols, not the table's entries.
#ifndef CE_CURSES_API_LOADER
#define cbreak plat::g_curses.f_cbreak
#define curs_set plat::g_curses.f_curs_set
#define delscreen plat::g_curses.f_delscreen
#define endwin plat::g_curses.f_endwin
#define getmouse plat::g_curses.f_getmouse
#define keypad plat::g_curses.f_keypad
#define mouseinterval plat::g_curses.f_mouseinterval
#define mousemask plat::g_curses.f_mousemask
#define newterm plat::g_curses.f_newterm
#define noecho plat::g_curses.f_noecho
#define nonl plat::g_curses.f_nonl
#define set_escdelay plat::g_curses.f_set_escdelay
#define set_term plat::g_curses.f_set_term
#define waddch plat::g_curses.f_waddch
#define waddnstr plat::g_curses.f_waddnstr
#define wattr_off plat::g_curses.f_wattr_off
#define wattr_on plat::g_curses.f_wattr_on
#define werase plat::g_curses.f_werase
#define wget_wch plat::g_curses.f_wget_wch
#define whline plat::g_curses.f_whline
#define wmove plat::g_curses.f_wmove
#define wrefresh plat::g_curses.f_wrefresh
#define wtimeout plat::g_curses.f_wtimeout
#define wvline plat::g_curses.f_wvline
#undef COLS
#undef LINES
#undef acs_map
#undef stdscr
#define COLS (*plat::g_curses.v_COLS)
#define LINES (*plat::g_curses.v_LINES)
#define acs_map (*plat::g_curses.v_acs_map)
#define stdscr (*plat::g_curses.v_stdscr)
#endif

#endif
