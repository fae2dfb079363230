// tui.cpp - the terminal front end (--ui tui): the device's dialogs drawn as
// text with ncurses, and the terminal's keys (and mouse clicks, where the
// terminal reports them) turned into the window messages of the device.
//
// Each dialog is a box with its title; its controls are laid out where
// their pixel rectangles fall, scaled to the terminal (80 x 24 and larger;
// a resize redraws at the new size). Buttons show as [ Caption ], the
// default one bold, the focused one in reverse; radio buttons as (*) / ( );
// edits with their text and caret, one that takes no typing marked
// "read-only"; list boxes with the selected entry in reverse and ">" beside
// it, and a scroll indicator when not every entry fits; the progress bar as
// a filled bar with its percentage. The last line says which keys do what.
// Keys typed while work runs stay in the terminal until the next modal page.
// Once the terminal is given back, the run's summary is printed there.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#define NCURSES_WIDECHAR 1
#include <curses.h>

#include "frontends/curses_api.h"

#include "frontends/frontend_internal.h"
#include "frontends/hostinput.h"
#include "text/text.h"
#include "user/query.h"
#include "user/ui.h"

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_hangup = 0;

// The wheel, where the terminal reports it, comes as buttons 4 and 5.
constexpr mmask_t kWheelUp = BUTTON4_PRESSED;
#if NCURSES_MOUSE_VERSION > 1
constexpr mmask_t kWheelDown = BUTTON5_PRESSED;
#else
constexpr mmask_t kWheelDown = 0;
#endif

void OnHangup(int)
{
    g_hangup = 1;
}

// The mapping from device pixels to terminal cells for one drawing.
struct Layout {
    int originX = 0, originY = 0; // device pixel at cell (left, top)
    int left = 0, top = 1;        // cell of that pixel
    int pxPerCol = 3, pxPerRow = 13;
    int Col(int x) const { return left + (x - originX) / pxPerCol; }
    int Row(int y) const { return top + (y - originY) / pxPerRow; }
    int PixelX(int col) const { return originX + (col - left) * pxPerCol + pxPerCol / 2; }
    int PixelY(int row) const { return originY + (row - top) * pxPerRow + pxPerRow / 2; }
};

std::string Utf8(const std::u16string &s)
{
    return ToUtf8(s);
}

// The caption as shown: "&" marks the mnemonic and is not drawn.
std::u16string Shown(const std::u16string &s, bool prefix)
{
    std::u16string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (prefix && s[i] == u'&') {
            if (i + 1 < s.size() && s[i + 1] == u'&')
                out.push_back(u'&'), ++i;
            continue;
        }
        if (s[i] == u'\r')
            continue;
        out.push_back(s[i]);
    }
    return out;
}

// Word wrap into lines of at most width characters; "\n" breaks lines.
std::vector<std::u16string> Wrap(const std::u16string &text, int width)
{
    std::vector<std::u16string> lines;
    width = std::max(1, width);
    size_t start = 0;
    for (;;) {
        size_t nl = text.find(u'\n', start);
        std::u16string para = text.substr(start, nl == std::u16string::npos ? std::u16string::npos : nl - start);
        std::u16string line;
        size_t i = 0;
        while (i < para.size()) {
            size_t sp = para.find(u' ', i);
            std::u16string word = para.substr(i, sp == std::u16string::npos ? std::u16string::npos : sp - i);
            i = sp == std::u16string::npos ? para.size() : sp + 1;
            if (word.empty() && line.empty())
                continue;
            std::u16string candidate = line.empty() ? word : line + u" " + word;
            if (int(candidate.size()) <= width) {
                line = candidate;
                continue;
            }
            if (!line.empty())
                lines.push_back(line);
            // A word longer than the line is cut into pieces.
            while (int(word.size()) > width) {
                lines.push_back(word.substr(0, size_t(width)));
                word.erase(0, size_t(width));
            }
            line = word;
        }
        lines.push_back(line);
        if (nl == std::u16string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

class TuiFrontend : public InteractiveFrontend {
public:
    ~TuiFrontend() override { Stop(); }

    bool Start(std::string &error) override
    {
        if (!isatty(0) || !isatty(1)) {
            error = "the tui front end needs a terminal on standard input and output (use --ui none)";
            return false;
        }
        if (!CursesLoad(error)) {
            error += " (use --ui none)";
            return false;
        }
        std::setlocale(LC_ALL, "");
        screen_ = newterm(nullptr, stdout, stdin);
        if (!screen_) {
            error = "the tui front end cannot use this terminal (TERM is unknown; use --ui none)";
            return false;
        }
        set_term(screen_);
        started_ = true;
        set_escdelay(25);
        cbreak();
        noecho();
        nonl();
        keypad(stdscr, TRUE);
        mousemask(BUTTON1_PRESSED | BUTTON1_RELEASED | BUTTON1_CLICKED | kWheelUp | kWheelDown, nullptr);
        mouseinterval(0);
        std::signal(SIGHUP, OnHangup);
        g_hangup = 0;
        return true;
    }

    bool WaitInput(HWND dlg) override
    {
        int fastErrors = 0;
        for (;;) {
            if (g_hangup || gone_)
                return false;
            Draw(dlg);
            wtimeout(stdscr, 250);
            wint_t ch = 0;
            Clock::time_point asked = Clock::now();
            int kind = wget_wch(stdscr, &ch);
            if (kind == ERR) {
                // A read that fails at once, again and again, is a terminal
                // that has gone away (even with SIGHUP ignored).
                if (Clock::now() - asked < std::chrono::milliseconds(5) && ++fastErrors > 50)
                    gone_ = true;
                continue;
            }
            fastErrors = 0;
            if (kind == KEY_CODE_YES) {
                if (ch == KEY_RESIZE)
                    continue;
                if (ch == KEY_MOUSE) {
                    if (Mouse(dlg))
                        return true;
                    continue;
                }
                if (FunctionKey(dlg, int(ch)))
                    return true;
                continue;
            }
            if (CharKey(dlg, ch))
                return true;
        }
    }

    void Poll() override
    {
        if (!screen_)
            return;
        Clock::time_point now = Clock::now();
        if (now - lastPoll_ < std::chrono::milliseconds(50))
            return;
        lastPoll_ = now;
        Draw(0);
    }

    bool PrintsSummary() const override { return started_; }

    void Stop() override
    {
        if (!screen_)
            return;
        endwin();
        delscreen(screen_);
        screen_ = nullptr;
        std::signal(SIGHUP, SIG_DFL);
    }

private:
    bool FunctionKey(HWND dlg, int k)
    {
        switch (k) {
        case KEY_BTAB: HostKeyPress(dlg, HostKey::BackTab); return true;
        case KEY_ENTER: HostKeyPress(dlg, HostKey::Enter); return true;
        case KEY_UP: HostKeyPress(dlg, HostKey::Up); return true;
        case KEY_DOWN: HostKeyPress(dlg, HostKey::Down); return true;
        case KEY_LEFT: HostKeyPress(dlg, HostKey::Left); return true;
        case KEY_RIGHT: HostKeyPress(dlg, HostKey::Right); return true;
        case KEY_HOME: HostKeyPress(dlg, HostKey::Home); return true;
        case KEY_END: HostKeyPress(dlg, HostKey::End); return true;
        case KEY_PPAGE: HostKeyPress(dlg, HostKey::PageUp); return true;
        case KEY_NPAGE: HostKeyPress(dlg, HostKey::PageDown); return true;
        case KEY_DC: HostKeyPress(dlg, HostKey::Delete); return true;
        case KEY_BACKSPACE: HostKeyPress(dlg, HostKey::Backspace); return true;
        default: return false;
        }
    }

    bool CharKey(HWND dlg, wint_t c)
    {
        switch (c) {
        case L'\t': HostKeyPress(dlg, HostKey::Tab); return true;
        case L'\r':
        case L'\n': HostKeyPress(dlg, HostKey::Enter); return true;
        case 27: HostKeyPress(dlg, HostKey::Escape); return true;
        case 8:
        case 127: HostKeyPress(dlg, HostKey::Backspace); return true;
        case L' ': HostKeyPress(dlg, HostKey::Space); return true;
        default: break;
        }
        if (c < 0x20 || c > 0xFFFF)
            return false;
        HostChar(dlg, char16_t(c));
        return true;
    }

    // A click where the terminal reports one: pressed and released on the
    // cell, at the device pixel in the middle of it.
    bool Mouse(HWND dlg)
    {
        MEVENT m;
        if (getmouse(&m) != OK)
            return false;
        int x = layout_.PixelX(m.x), y = layout_.PixelY(m.y);
        if (m.bstate & (kWheelUp | kWheelDown))
            return HostMouseWheel(dlg, x, y, (m.bstate & kWheelUp) ? WHEEL_DELTA : -WHEEL_DELTA);
        if (m.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
            int onList = ListClick(dlg, m.y, m.x);
            if (onList >= 0)
                return onList == 1;
        }
        if (m.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
            bool down = HostMouseDown(dlg, x, y);
            if (m.bstate & BUTTON1_CLICKED)
                return HostMouseUp(dlg, x, y) || down;
            return down;
        }
        if (m.bstate & BUTTON1_RELEASED)
            return HostMouseUp(dlg, x, y);
        return false;
    }

    void Put(int row, int col, const std::u16string &s, int maxCols, attr_t attr = 0)
    {
        if (row < 0 || row >= LINES || maxCols <= 0)
            return;
        std::u16string t = s;
        if (col < 0) {
            if (int(t.size()) <= -col)
                return;
            t.erase(0, size_t(-col));
            maxCols += col;
            col = 0;
        }
        int room = std::min(maxCols, COLS - col);
        if (room <= 0)
            return;
        if (int(t.size()) > room)
            t.resize(size_t(room));
        attron(attr);
        mvaddstr(row, col, Utf8(t).c_str());
        attroff(attr);
    }

    void Draw(HWND waiting)
    {
        werase(stdscr);
        curs_set(0);
        lists_.clear();
        // The dialogs decide the scale: their union fills the terminal.
        std::vector<HWND> shown;
        RECT u{0, 0, 0, 0};
        std::u16string header = u"Setup";
        WindowView w;
        for (HWND h : WindowTopLevels()) {
            if (!QueryWindow(h, w) || !(w.style & WS_VISIBLE) || w.destroyed)
                continue;
            DialogView dialog;
            if (!QueryDialog(h, dialog)) {
                if (!w.text.empty())
                    header = w.text;
                continue;
            }
            RECT r = w.rect;
            if (shown.empty())
                u = r;
            else
                u = RECT{std::min(u.left, r.left), std::min(u.top, r.top), std::max(u.right, r.right),
                         std::max(u.bottom, r.bottom)};
            shown.push_back(h);
        }
        Put(0, 0, std::u16string(size_t(std::max(0, COLS)), u' '), COLS, A_REVERSE);
        Put(0, 1, header, COLS - 2, A_REVERSE | A_BOLD);
        if (!shown.empty()) {
            int w = u.right - u.left, h = u.bottom - u.top;
            layout_.pxPerCol = std::max(3, (w + COLS - 1) / std::max(1, COLS));
            // The first line is the header, the last one the keys.
            int rowsFree = std::max(1, LINES - 2);
            layout_.pxPerRow = std::max(12, (h + rowsFree - 1) / rowsFree);
            layout_.originX = u.left;
            layout_.originY = u.top;
            layout_.left = std::max(0, (COLS - w / layout_.pxPerCol) / 2);
            layout_.top = 1 + std::max(0, (rowsFree - h / layout_.pxPerRow) / 2);
            for (HWND d : shown)
                DrawDialog(d);
        }
        Put(LINES - 1, 0, std::u16string(size_t(std::max(0, COLS)), u' '), COLS, A_REVERSE);
        Put(LINES - 1, 1, KeyLine(waiting), COLS - 2, A_REVERSE);
        if (caretRow_ >= 0) {
            curs_set(1);
            wmove(stdscr, caretRow_, caretCol_);
        }
        caretRow_ = -1;
        wrefresh(stdscr);
    }

    void DrawDialog(HWND dlg)
    {
        WindowView d;
        if (!QueryWindow(dlg, d))
            return;
        RECT r = d.rect;
        int c0 = layout_.Col(r.left), r0 = layout_.Row(r.top);
        int c1 = std::max(c0 + 4, layout_.Col(r.right - 1)), r1 = std::max(r0 + 2, layout_.Row(r.bottom - 1));
        for (int y = r0; y <= r1; ++y)
            Put(y, c0, std::u16string(size_t(c1 - c0 + 1), u' '), c1 - c0 + 1);
        if (r0 >= 0 && r1 < LINES && c0 >= 0 && c1 < COLS) {
            mvhline(r0, c0 + 1, ACS_HLINE, c1 - c0 - 1);
            mvhline(r1, c0 + 1, ACS_HLINE, c1 - c0 - 1);
            mvvline(r0 + 1, c0, ACS_VLINE, r1 - r0 - 1);
            mvvline(r0 + 1, c1, ACS_VLINE, r1 - r0 - 1);
            mvaddch(r0, c0, ACS_ULCORNER);
            mvaddch(r0, c1, ACS_URCORNER);
            mvaddch(r1, c0, ACS_LLCORNER);
            mvaddch(r1, c1, ACS_LRCORNER);
        }
        Put(r0, c0 + 2, u" " + d.text + u" ", c1 - c0 - 6, A_BOLD);
        if ((d.style & WS_SYSMENU) && (d.style & WS_CAPTION) == WS_CAPTION)
            Put(r0, c1 - 4, u"[x]", 3);
        for (HWND c : d.children)
            DrawControl(c, c0 + 1, c1 - 1, r1 - 1);
    }

    void DrawControl(HWND h, int minCol, int maxCol, int maxRow)
    {
        WindowView &w = control_;
        if (!QueryWindow(h, w) || !(w.style & WS_VISIBLE))
            return;
        RECT r = w.rect;
        int col = std::max(minCol, layout_.Col(r.left));
        int row = layout_.Row(r.top);
        int cols = std::max(1, std::min(maxCol, layout_.Col(r.right - 1)) - col + 1);
        int rows = std::max(1, std::min(maxRow, layout_.Row(r.bottom - 1)) - row + 1);
        bool enabled = !(w.style & WS_DISABLED);
        bool focused = WindowFocus() == h;
        attr_t dim = enabled ? 0 : A_DIM;
        switch (w.kind) {
        case BuiltinClass::Button: {
            DWORD type = w.style & BS_TYPEMASK;
            std::u16string caption = Shown(w.text, true);
            if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON || type == BS_CHECKBOX ||
                type == BS_AUTOCHECKBOX) {
                bool radio = type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
                ButtonView button;
                QueryButton(h, button);
                std::u16string mark = radio ? (button.check ? u"(*) " : u"( ) ") : (button.check ? u"[x] " : u"[ ] ");
                Put(row, col, mark + caption, cols, dim | (focused ? A_REVERSE : 0));
            } else {
                std::u16string label = u"[ " + caption + u" ]";
                int at = col + std::max(0, (cols - int(label.size())) / 2);
                attr_t a = dim | (type == BS_DEFPUSHBUTTON ? A_BOLD : 0) | (focused ? A_REVERSE : 0);
                Put(row + (rows - 1) / 2, at, label, maxCol - at + 1, a);
            }
            break;
        }
        case BuiltinClass::Static: {
            DWORD type = w.style & 0x1F;
            if (type == SS_ICON) {
                Put(row, col, u"[i]", cols);
                break;
            }
            int align = type == SS_CENTER ? 1 : type == SS_RIGHT ? 2 : 0;
            std::vector<std::u16string> lines = Wrap(Shown(w.text, !(w.style & SS_NOPREFIX)), cols);
            // Text that does not fit is cut at the control's edge.
            for (int i = 0; i < int(lines.size()) && i < rows; ++i) {
                int pad = align == 1 ? (cols - int(lines[size_t(i)].size())) / 2
                          : align == 2 ? cols - int(lines[size_t(i)].size())
                                       : 0;
                Put(row + i, col + std::max(0, pad), lines[size_t(i)], cols, dim);
            }
            break;
        }
        case BuiltinClass::Edit: {
            int inner = std::max(1, cols - 2);
            bool editable = enabled && !(w.style & ES_READONLY);
            // An edit that takes no typing says so at its right end.
            std::u16string tag = editable ? u"" : enabled ? u" read-only " : u" disabled ";
            if (!tag.empty() && inner >= int(tag.size()) + 4)
                inner -= int(tag.size());
            else
                tag.clear();
            const std::u16string &t = w.text;
            EditView sel;
            QueryEdit(h, sel);
            int caret = sel.selEnd;
            int first = std::max(0, caret - inner + 1);
            std::u16string view = t.substr(size_t(std::min<int>(first, int(t.size()))));
            if (int(view.size()) > inner)
                view.resize(size_t(inner));
            view.resize(size_t(inner), u' ');
            int y = row + (rows - 1) / 2;
            Put(y, col + 1 + inner, tag, int(tag.size()), A_REVERSE | A_DIM);
            inner += int(tag.size());
            Put(y, col, u"[", 1, dim);
            Put(y, col + 1, view, inner, dim | (editable ? A_UNDERLINE : 0));
            int a = std::min(sel.selStart, sel.selEnd) - first, b = std::max(sel.selStart, sel.selEnd) - first;
            if (focused && b > a) {
                a = std::max(a, 0);
                b = std::min(b, inner);
                if (b > a)
                    Put(y, col + 1 + a, view.substr(size_t(a), size_t(b - a)), b - a, A_REVERSE);
            }
            Put(y, col + 1 + inner, u"]", 1, dim);
            if (focused && editable) {
                caretRow_ = y;
                caretCol_ = col + 1 + std::min(caret - first, inner - 1);
            }
            break;
        }
        case BuiltinClass::ListBox: {
            ListBoxView list;
            QueryListBox(h, list);
            DrawList(h, list, row, col, std::max(1, rows), cols, dim, focused);
            break;
        }
        case BuiltinClass::Progress: {
            PBRANGE range{};
            SendMessageW(h, PBM_GETRANGE, 0, LPARAM(&range));
            int pos = int(SendMessageW(h, PBM_GETPOS, 0, 0));
            int span = std::max(1, range.iHigh - range.iLow);
            int pct = std::clamp((pos - range.iLow) * 100 / span, 0, 100);
            std::u16string tail = FromUtf8(" " + std::to_string(pct) + "%");
            int bar = std::max(1, cols - 2 - int(tail.size()));
            int filled = bar * pct / 100;
            std::u16string s = u"[" + std::u16string(size_t(filled), u'#') + std::u16string(size_t(bar - filled), u'.') +
                               u"]" + tail;
            Put(row, col, s, cols);
            break;
        }
        default:
            if (!w.text.empty())
                Put(row, col, Shown(w.text, true), cols, dim);
            break;
        }
    }

    // Where a list box was drawn, so that a click on a line takes the entry
    // shown there, whatever the scale.
    struct DrawnList {
        HWND hwnd;
        int row, col, rows, cols;
        int top;  // the entry on the first line
        bool bar; // the last column is its scroll indicator
    };

    // A list box: the entries in view, the selection in reverse with ">" at
    // its left; with more entries than lines, a scroll indicator on the
    // right ("^" and "v" at the ends, "#" for the part in view).
    void DrawList(HWND h, const ListBoxView &w, int row, int col, int rows, int cols, attr_t dim, bool focused)
    {
        int count = int(w.items.size());
        // The terminal may have fewer lines for the list than the device has
        // entries in view: the selection is kept on them.
        int top = w.topIndex;
        if (w.curSel >= 0 && w.curSel < top)
            top = w.curSel;
        else if (w.curSel >= top + rows)
            top = w.curSel - rows + 1;
        top = std::clamp(top, 0, std::max(0, count - rows));
        bool bar = count > rows && cols > 3;
        int textCols = std::max(1, cols - 1 - (bar ? 1 : 0));
        // The focused list with nothing selected marks the line the keys start from.
        int marked = w.curSel >= 0 ? w.curSel : focused ? top : -1;
        for (int k = 0; k < rows; ++k) {
            int i = top + k;
            std::u16string line;
            if (i < count)
                line = w.items[size_t(i)];
            line.resize(size_t(textCols), u' ');
            attr_t a = dim | (i == w.curSel ? A_REVERSE | (focused ? A_BOLD : 0) : 0);
            Put(row + k, col + 1, line, textCols, a);
            Put(row + k, col, i == marked && i < count ? u">" : u"|", 1, focused ? A_BOLD : 0);
        }
        if (bar) {
            int track = std::max(1, rows - 2);
            int maxTop = std::max(1, count - rows);
            int thumb = std::clamp(track * rows / count, 1, track);
            int at = (track - thumb) * std::min(top, maxTop) / maxTop;
            int x = col + 1 + textCols;
            for (int k = 0; k < rows; ++k) {
                std::u16string c = k == 0 ? u"^" : k == rows - 1 ? u"v" : (k - 1 >= at && k - 1 < at + thumb) ? u"#" : u":";
                if (rows == 1)
                    c = top > 0 ? u"^" : u"v";
                Put(row + k, x, c, 1, dim | A_REVERSE);
            }
        }
        lists_.push_back(DrawnList{h, row, col, rows, cols, top, bar});
    }

    // A click on a drawn list: a tap on the line's entry, or on the scroll
    // indicator the scroll bar's request. -1 when the cell is on no list, else
    // whether messages were posted.
    int ListClick(HWND dlg, int y, int x)
    {
        for (const DrawnList &l : lists_) {
            if (y < l.row || y >= l.row + l.rows || x < l.col || x >= l.col + l.cols)
                continue;
            WindowView w;
            if (!QueryWindow(l.hwnd, w) || (w.style & WS_DISABLED) || HostWindowAt(layout_.PixelX(x), layout_.PixelY(y)) != l.hwnd)
                return 0;
            if (l.bar && x == l.col + l.cols - 1) {
                int k = y - l.row;
                WORD code = k == 0 ? SB_LINEUP : k == l.rows - 1 ? SB_LINEDOWN
                            : k - 1 < (l.rows - 2) / 2   ? SB_PAGEUP
                                                           : SB_PAGEDOWN;
                PostMessageW(l.hwnd, WM_VSCROLL, code, 0);
                PostMessageW(l.hwnd, WM_VSCROLL, SB_ENDSCROLL, 0);
                return 1;
            }
            // The device's view may differ from the lines shown: the entry is
            // brought into it, then tapped where the device shows it.
            POINT p;
            if (!ListBoxItemPoint(l.hwnd, l.top + y - l.row, p))
                return 0;
            ClientToScreen(l.hwnd, &p);
            return HostMouseDown(dlg, p.x, p.y) && HostMouseUp(dlg, p.x, p.y);
        }
        return -1;
    }

    // The bottom line: the keys of the focused control, then those of the page.
    std::u16string KeyLine(HWND waiting)
    {
        WindowView d, w;
        if (!QueryWindow(waiting, d))
            return u"Please wait while setup works...";
        std::u16string hint;
        HWND f = WindowFocus();
        if (QueryWindow(f, w) && w.parent == waiting) {
            bool enabled = !(w.style & WS_DISABLED);
            DWORD type = w.style & BS_TYPEMASK;
            switch (w.kind) {
            case BuiltinClass::ListBox: hint = u"arrows, PgUp/PgDn, letters: choose  "; break;
            case BuiltinClass::Edit:
                hint = enabled && !(w.style & ES_READONLY) ? u"type: change the text  " : u"read-only: cannot be changed  ";
                break;
            case BuiltinClass::Button:
                hint = type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON ? u"arrows: choose  " : u"Space: press  ";
                break;
            default: break;
            }
        }
        std::u16string keys = hint + u"Tab: next  Enter: default button";
        if (d.style & WS_SYSMENU)
            keys += u"  Esc: close";
        return keys;
    }

    std::vector<DrawnList> lists_;
    WindowView control_; // the control being drawn, its storage kept between draws
    SCREEN *screen_ = nullptr;
    bool started_ = false; // the terminal was taken (so it is told the summary)
    bool gone_ = false; // the terminal cannot be read any more
    Layout layout_;
    int caretRow_ = -1, caretCol_ = 0;
    Clock::time_point lastPoll_{};
};

} // namespace

std::unique_ptr<InteractiveFrontend> MakeTuiFrontend()
{
    return std::make_unique<TuiFrontend>();
}

} // namespace plat
