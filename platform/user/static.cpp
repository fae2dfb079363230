// static.cpp - the Static control: text (left, centred, right aligned,
// wrapped at words) and icons.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gdi/gdi.h"
#include "gdi/screen.h"
#include "user/window.h"

namespace plat {
namespace {

// An icon static's icon, and whether the control loaded it (from its
// template) and so frees it.
struct StaticState : ControlRecord {
    static constexpr BuiltinClass kKind = BuiltinClass::Static;
    StaticState() : ControlRecord(kKind) {}
    HICON icon = 0;
    bool ownsIcon = false;
    // A text static's picture, kept while what it shows stays the same: a
    // repaint (a progress page's file name, many times a second) is then a
    // blit that finds the screen already so, instead of the text drawn anew.
    HDC pictureDc = 0;
    HBITMAP picture = 0;
    HGDIOBJ pictureOld = 0;
    int pictureWidth = 0, pictureHeight = 0;
    std::u16string pictureText;
    // pictureText holds no null (a plain line holds none): a text set again
    // is compared with it character by character, each of the caller's read
    // only after the one before matched (and so was not its end).
    bool pictureNoNull = false;
    int pictureAlign = -1;
    COLORREF pictureColor = 0;
    bool pictureNoPrefix = false;
    // The picture's one line, when it shows one: a new text that only
    // changes its end (the next file's name) is drawn again from there.
    // pictureInk is the box of its glyphs (the whole picture when not
    // known): outside it the picture is all ground.
    bool pictureOneLine = false;
    std::u16string pictureLine;
    // The line is pictureText itself (a plain line): pictureLine is not
    // kept.
    bool pictureLineIsText = false;
    RECT pictureInk{0, 0, 0, 0};
    // The width of pictureText in 1/64 pixels when it is a plain line
    // (PlainLineFits, with pictureNoPrefix); else -1. The next name is then
    // measured from where it differs.
    long pictureText64 = -1;
    // When the screen was last found to show the picture as the static
    // shows it now: the screen's count of changes, the layout count and the
    // style then. While all three stay so (nothing drawn on the screen,
    // nothing moved), it still does (the text is compared again). A text
    // given by WM_SETTEXT forgets it.
    bool shownKnown = false;
    uint64_t shownChanges = 0, shownLayout = 0;
    DWORD shownStyle = 0;

    ~StaticState() { DropPicture(); }
    void DropPicture()
    {
        if (pictureDc) {
            SelectObject(pictureDc, pictureOld);
            DeleteDC(pictureDc);
        }
        if (picture)
            DeleteObject(picture);
        pictureDc = 0;
        picture = 0;
        pictureOld = 0;
        pictureAlign = -1;
        pictureOneLine = false;
        pictureText64 = -1;
        shownKnown = false;
    }
};

// One line at y, aligned in r.
void DrawLine(HDC hdc, const RECT &r, int y, const std::u16string &l, int align, COLORREF color)
{
    int x = r.left;
    if (align != 0) {
        int tw = GdiTextWidth(l);
        x = align == 1 ? r.left + (r.right - r.left - tw) / 2 : r.right - tw;
    }
    GdiText(hdc, x, y, l, color);
}

void DrawLines(HDC hdc, const RECT &r, const std::vector<std::u16string> &lines, int align, COLORREF color)
{
    int lh = GdiTextHeight();
    int y = r.top;
    for (const std::u16string &l : lines) {
        if (y >= r.bottom)
            break;
        DrawLine(hdc, r, y, l, align, color);
        y += lh;
    }
}

// Whether text's characters from `from` on (and the one before, if any),
// up to `end`, are plain: no mnemonic, break, tab or null, single spaces
// between words.
bool PlainFrom(const std::u16string &text, size_t from, bool noPrefix, size_t end = std::u16string::npos)
{
    end = std::min(end, text.size());
    for (size_t i = from ? from - 1 : 0; i < end; ++i) {
        char16_t c = text[i];
        if (c > u'&')
            continue; // none of those below: most of a name
        if ((c == u'&' && !noPrefix) || c == u'\r' || c == u'\n' || c == u'\t' || c == 0 ||
            (c == u' ' && text[i + 1] == u' '))
            return false;
    }
    return true;
}

// Whether text is a plain line that fits in width: it is then its own one
// line, as the wrap would keep it whole (the widths of its pieces add up
// to its width). w64: the width of a plain line, in 1/64 pixels.
bool PlainLineFits(const std::u16string &text, int width, bool noPrefix, long &w64)
{
    if (text.empty() || text.front() == u' ' || text.back() == u' ' || !PlainFrom(text, 0, noPrefix))
        return false;
    w64 = GdiTextWidth64(text.data(), text.size());
    return ((w64 + 32) >> 6) <= width;
}

bool PlainLineFits(const std::u16string &text, int width, bool noPrefix)
{
    long w64;
    return PlainLineFits(text, width, noPrefix, w64);
}

// The same for a text following old, a plain line of width old64: only
// what follows their common start is looked at and measured.
bool PlainLineFitsAfter(const std::u16string &old, long old64, const std::u16string &text, int width, bool noPrefix,
                        long &w64)
{
    size_t same = GdiSameStart(old.data(), text.data(), std::min(old.size(), text.size()));
    if (same == 0)
        return PlainLineFits(text, width, noPrefix, w64);
    if (text.back() == u' ')
        return false;
    // Widths of pieces add up: the common end is left out of both sides
    // too (a file name's extension, the digits after those that changed).
    size_t tail = 0, most = std::min(old.size(), text.size()) - same;
    const char16_t *oldEnd = old.data() + old.size(), *textEnd = text.data() + text.size();
    for (; tail + 4 <= most; tail += 4) {
        uint64_t a, b;
        std::memcpy(&a, oldEnd - tail - 4, sizeof a);
        std::memcpy(&b, textEnd - tail - 4, sizeof b);
        if (a != b)
            break;
    }
    while (tail < most && oldEnd[-1 - std::ptrdiff_t(tail)] == textEnd[-1 - std::ptrdiff_t(tail)])
        ++tail;
    // The common end is plain as in the old line: only what lies before
    // it is looked at (the last of that with the end's first, for a space
    // after a space).
    if (!PlainFrom(text, same, noPrefix, text.size() - tail))
        return false;
    w64 = old64 - GdiTextWidth64(old.data() + same, old.size() - same - tail) +
          GdiTextWidth64(text.data() + same, text.size() - same - tail);
    return ((w64 + 32) >> 6) <= width;
}

// Whether text holds no null, four characters at a time.
bool NoNull(const std::u16string &text)
{
    const char16_t *t = text.data();
    size_t n = text.size(), i = 0;
    uint64_t nulls = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t x;
        std::memcpy(&x, t + i, sizeof x);
        nulls |= (x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull;
    }
    for (; i < n; ++i)
        nulls |= t[i] == 0;
    return nulls == 0;
}

// Whether two texts are the same, compared as memory (a name compared
// with == goes character by character).
bool SameString(const std::u16string &a, const std::u16string &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// Draws the text through the static's picture; true when the picture was
// copied to dc whole (else it was drawn straight, or there is nothing).
bool DrawTextPicture(StaticState &s, HDC dc, const RECT &r, const std::u16string &text, int align, COLORREF color,
                     bool noPrefix)
{
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return false;
    bool same = s.pictureDc && s.pictureWidth == width && s.pictureHeight == height && s.pictureAlign == align &&
                s.pictureColor == color && s.pictureNoPrefix == noPrefix && SameString(s.pictureText, text);
    if (!same) {
        s.shownKnown = false;
        // A plain line that fits is its own line: no list of lines is made
        // (a progress page's file name, at every new file).
        std::vector<std::u16string> lines;
        const std::u16string *line = &text;
        long w64 = -1;
        bool plain = s.pictureText64 >= 0 && s.pictureNoPrefix == noPrefix
                         ? PlainLineFitsAfter(s.pictureText, s.pictureText64, text, width, noPrefix, w64)
                         : PlainLineFits(text, width, noPrefix, w64);
        if (!plain) {
            w64 = -1;
            lines = TextLines(text, width, noPrefix);
            line = lines.size() == 1 ? &lines[0] : nullptr;
        }
        bool oneLine = line != nullptr;
        if (oneLine && s.pictureOneLine && s.pictureDc && s.pictureWidth == width && s.pictureHeight == height &&
            align == 0 && s.pictureAlign == 0 && s.pictureColor == color) {
            // Only what differs from the old line is drawn again, and the
            // blit copies only that.
            // When the screen still shows the old picture, the change is
            // drawn there at once, and no copy is made.
            bool shown;
            s.pictureInk = GdiTextChange(s.pictureDc, 0, 0, s.pictureLineIsText ? s.pictureText : s.pictureLine,
                                         s.pictureInk, *line, color, kDialogFace, dc, r.left, r.top, shown);
            if (line != &text)
                s.pictureLine = *line;
            s.pictureLineIsText = line == &text;
            s.pictureText = text;
            s.pictureNoNull = plain || NoNull(text);
            s.pictureText64 = w64;
            s.pictureNoPrefix = noPrefix;
            return shown || BitBlt(dc, r.left, r.top, width, height, s.pictureDc, 0, 0, SRCCOPY) != FALSE;
        }
        if (!s.pictureDc || s.pictureWidth != width || s.pictureHeight != height) {
            s.DropPicture();
            s.pictureDc = CreateCompatibleDC(dc);
            s.picture = CreateCompatibleBitmap(dc, width, height);
            if (!s.pictureDc || !s.picture) {
                // No memory for a picture: drawn straight, as it is.
                s.DropPicture();
                GdiFill(dc, r, kDialogFace);
                if (line == &text)
                    DrawLine(dc, r, r.top, text, align, color);
                else
                    DrawLines(dc, r, lines, align, color);
                return false;
            }
            s.pictureOld = SelectObject(s.pictureDc, s.picture);
            s.pictureWidth = width;
            s.pictureHeight = height;
        }
        RECT all{0, 0, width, height};
        GdiFill(s.pictureDc, all, kDialogFace);
        if (line == &text)
            DrawLine(s.pictureDc, all, 0, text, align, color);
        else
            DrawLines(s.pictureDc, all, lines, align, color);
        s.pictureText = text;
        s.pictureNoNull = plain || NoNull(text);
        s.pictureText64 = w64;
        s.pictureAlign = align;
        s.pictureColor = color;
        s.pictureNoPrefix = noPrefix;
        s.pictureOneLine = oneLine;
        s.pictureInk = all;
        s.pictureLineIsText = line == &text;
        if (oneLine && line != &text)
            s.pictureLine = *line;
    }
    return BitBlt(dc, r.left, r.top, width, height, s.pictureDc, 0, 0, SRCCOPY) != FALSE;
}

// How a text static shows its text now: alignment and colour.
struct TextLook {
    int align;
    COLORREF color;
    bool noPrefix;
};
bool TextLookOf(const Window &w, TextLook &look)
{
    DWORD type = w.style & SS_TYPEMASK;
    if (type == SS_ICON || type == SS_BLACKRECT || type == SS_BLACKFRAME)
        return false;
    look.align = type == SS_CENTER ? 1 : type == SS_RIGHT ? 2 : 0;
    look.color = (w.style & WS_DISABLED) ? RGB(128, 128, 128) : RGB(0, 0, 0);
    look.noPrefix = (w.style & SS_NOPREFIX) != 0;
    return true;
}

// Whether a text equals a string ended by a null, in one pass (comparing
// with == first counts the string's length, character by character). Four
// of the text's characters at a time are seen to hold no null: each of s's
// is then read only after the one before matched (so was not its end).
bool SameText(const std::u16string &text, const char16_t *s)
{
    const char16_t *t = text.data();
    size_t n = text.size(), i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t x;
        std::memcpy(&x, t + i, sizeof x);
        if ((x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull)
            break; // a null among them: one by one below
        if (s[i] != t[i] || s[i + 1] != t[i + 1] || s[i + 2] != t[i + 2] || s[i + 3] != t[i + 3])
            return false;
    }
    for (; i < n; ++i)
        if (t[i] != s[i] || s[i] == 0)
            return false; // s ends first (or text holds a null): not read past it
    return s[n] == 0;
}

// Whether the screen still shows the picture as it was last found to (see
// shownKnown), the static's text being the picture's.
inline bool ShownAsKnown(const StaticState &s, const Window &w)
{
    return s.shownKnown && ScreenGet().pixels.Changes() == s.shownChanges && WindowLayout() == s.shownLayout &&
           w.style == s.shownStyle && SameString(s.pictureText, w.text);
}

// Whether a text holding no null equals a string ended by a null: each of
// s's characters is read only after the one before matched, so was not
// its end.
inline bool SameNoNullText(const std::u16string &text, const char16_t *s)
{
    const char16_t *t = text.data();
    const size_t n = text.size();
    const char16_t *const end = t + (n & ~size_t(7));
    for (; t != end; t += 8, s += 8)
        if (s[0] != t[0] || s[1] != t[1] || s[2] != t[2] || s[3] != t[3] || s[4] != t[4] || s[5] != t[5] ||
            s[6] != t[6] || s[7] != t[7])
            return false;
    size_t i = 0;
    if (n & 4) {
        if (s[0] != t[0] || s[1] != t[1] || s[2] != t[2] || s[3] != t[3])
            return false;
        i = 4;
    }
    switch (n & 3) { // the last few, each compared only after the one before
    case 3:
        return s[i] == t[i] && s[i + 1] == t[i + 1] && s[i + 2] == t[i + 2] && s[i + 3] == 0;
    case 2:
        return s[i] == t[i] && s[i + 1] == t[i + 1] && s[i + 2] == 0;
    case 1:
        return s[i] == t[i] && s[i + 1] == 0;
    default:
        return s[i] == 0;
    }
}

// Whether the screen shows the static as its picture of what it shows
// now: drawing it again would change nothing.
bool PictureShown(StaticState &s, HWND hwnd, const Window &w)
{
    PixelRows &screen = ScreenGet().pixels;
    if (ShownAsKnown(s, w))
        return true;
    s.shownKnown = false;
    TextLook look;
    if (!s.pictureDc || !IsWindowVisible(hwnd) || !TextLookOf(w, look))
        return false;
    RECT c = WindowClientScreenRect(w), wr = WindowScreenRect(w);
    if (c.left != wr.left || c.top != wr.top || c.right != wr.right || c.bottom != wr.bottom)
        return false; // a frame too would be painted again
    if (s.pictureWidth != c.right - c.left || s.pictureHeight != c.bottom - c.top || s.pictureAlign != look.align ||
        s.pictureColor != look.color || s.pictureNoPrefix != look.noPrefix || !SameString(s.pictureText, w.text))
        return false;
    if (!GdiScreenHolds(s.pictureDc, c.left, c.top, WindowVisibleClient(hwnd, w)))
        return false;
    s.shownKnown = true;
    s.shownChanges = screen.Changes();
    s.shownLayout = WindowLayout();
    s.shownStyle = w.style;
    return true;
}

// After a paint that copied the picture whole through its DC: when that
// DC's clip was all of the window's visible client area (an update of the
// whole static, a new name), the screen now shows the picture as the
// static shows it, as PictureShown would find, without reading it back.
void NoteShownAfterPaint(StaticState &s, HWND hwnd, const Window &w)
{
    s.shownKnown = false;
    RECT c = WindowClientScreenRect(w), wr = WindowScreenRect(w);
    if (!w.beganPaint || !WindowShown(w) || c.left != wr.left || c.top != wr.top || c.right != wr.right ||
        c.bottom != wr.bottom || s.pictureWidth != c.right - c.left || s.pictureHeight != c.bottom - c.top)
        return;
    if (w.paintClip != WindowVisibleClient(hwnd, w))
        return; // part of it was left as the screen had it
    s.shownKnown = true;
    s.shownChanges = ScreenGet().pixels.Changes();
    s.shownLayout = WindowLayout();
    s.shownStyle = w.style;
}

} // namespace

std::vector<std::u16string> TextLines(const std::u16string &text, int width, bool noPrefix)
{
    if (PlainLineFits(text, width, noPrefix))
        return {text};
    std::vector<std::u16string> lines;
    std::u16string cur;
    auto flush = [&]() {
        lines.push_back(cur);
        cur.clear();
    };
    // Split into paragraphs at line breaks, then wrap each at spaces. A
    // line's width is kept as it grows: widths in 1/64 pixels add up.
    std::u16string para;
    const long space64 = GdiTextWidth64(u" ", 1);
    auto wrap = [&](const std::u16string &p) {
        size_t i = 0;
        cur.clear();
        long cur64 = 0;
        while (i < p.size()) {
            size_t j = i;
            while (j < p.size() && p[j] != u' ')
                ++j;
            long word64 = GdiTextWidth64(p.data() + i, j - i);
            if (!cur.empty() && ((cur64 + space64 + word64 + 32) >> 6) > width) {
                flush();
                cur.assign(p, i, j - i);
                cur64 = word64;
            } else {
                if (!cur.empty()) {
                    cur.push_back(u' ');
                    cur64 += space64;
                }
                cur.append(p, i, j - i);
                cur64 += word64;
            }
            i = j;
            while (i < p.size() && p[i] == u' ') {
                if (i > j) {
                    cur.push_back(u' ');
                    cur64 += space64;
                }
                ++i;
            }
        }
        flush();
    };
    std::u16string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (!noPrefix && c == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                shown.push_back(u'&');
                ++i;
            }
            continue;
        }
        shown.push_back(c);
    }
    for (char16_t c : shown) {
        if (c == u'\r')
            continue;
        if (c == u'\n') {
            wrap(para);
            para.clear();
        } else {
            para.push_back(c == u'\t' ? u' ' : c);
        }
    }
    wrap(para);
    return lines;
}

void DrawTextBlock(HDC hdc, const RECT &r, const std::u16string &text, int align, COLORREF color, bool noPrefix)
{
    DrawLines(hdc, r, TextLines(text, r.right - r.left, noPrefix), align, color);
}

namespace {

// The text StaticKeepsText last found unlike its static's (and the static's
// text then): the WM_SETTEXT its caller sends next need not compare them
// again. Only ever a reason to skip the shortcut, never to take it.
struct Unlike {
    HWND hwnd = 0;
    LPCWSTR text = nullptr;
    const char16_t *had = nullptr;
    size_t hadSize = 0;
};
thread_local Unlike t_unlike;

// The messages a static answers without calling out (or only passes on to
// DefWindowProcW, using nothing of the window after): the window and its
// record are borrowed, not held (a progress page's file name gets some
// twelve thousand of them in an install). Returns false, leaving `out`
// alone, for the messages that are handled holding the window.
bool StaticAnswer(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &out)
{
    switch (msg) {
    case WM_NCCREATE:
    case WM_NCDESTROY:
    case WM_PAINT:
    case WM_ENABLE:
    case STM_SETICON:
    case STM_SETIMAGE:
        return false;
    default:
        break;
    }
    auto w = WindowPeek(hwnd);
    if (!w) {
        out = 0;
        return true;
    }
    StaticState *s = ControlPeek<StaticState>(*w);
    if (!s) {
        out = DefWindowProcW(hwnd, msg, wParam, lParam);
        return true;
    }
    switch (msg) {
    case WM_GETDLGCODE:
        out = DLGC_STATIC;
        return true;
    case WM_SETTEXT: {
        // The same text again (a progress page's file name, set at every
        // block of the file) on a static the screen still shows as its
        // picture: a repaint would change nothing, so none is asked for.
        LPCWSTR t = reinterpret_cast<LPCWSTR>(lParam);
        const Unlike u = t_unlike;
        t_unlike = Unlike{};
        bool unlike = u.hwnd == hwnd && u.text == t && u.had == w->text.data() && u.hadSize == w->text.size();
        if (t && !unlike && SameText(w->text, t) && PictureShown(*s, hwnd, *w)) {
            out = TRUE;
            return true;
        }
        // The text may change: the screen is no longer known to show it.
        s->shownKnown = false;
        out = DefWindowProcW(hwnd, msg, wParam, lParam);
        return true;
    }
    case STM_GETICON:
    case STM_GETIMAGE:
        out = LRESULT(s->icon);
        return true;
    case WM_ERASEBKGND:
        out = 1;
        return true;
    default:
        out = DefWindowProcW(hwnd, msg, wParam, lParam);
        return true;
    }
}

bool KeepsTextOtherwise(StaticState &s, HWND hwnd, Window &w, LPCWSTR text);

// Notes text as unlike the static's (see Unlike); false, as the static
// does not keep it.
__attribute__((noinline)) bool NoteUnlike(HWND hwnd, const Window &w, LPCWSTR text)
{
    t_unlike = Unlike{hwnd, text, w.text.data(), w.text.size()};
    return false;
}

} // namespace

bool StaticKeepsText(HWND hwnd, Window &w, LPCWSTR text)
{
    StaticState *s = w.proc == StaticProc ? ControlPeek<StaticState>(w) : nullptr;
    if (!s || !text)
        return false;
    // The screen as ScreenGet has it when it need not make it (else it is
    // left to the slower look).
    const Screen *screen = g_screen;
    const DeviceSettings *ds = g_deviceOpen;
    if (s->shownKnown && s->pictureNoNull && screen && ds && screen->width == ds->screenWidth &&
        screen->height == ds->screenHeight && screen->pixels.Changes() == s->shownChanges &&
        WindowLayout() == s->shownLayout && w.style == s->shownStyle) {
        // Shown as last found: the text given is compared with the
        // picture's, which holds no null, then the static's with it.
        if (!SameNoNullText(s->pictureText, text))
            return NoteUnlike(hwnd, w, text); // (at worst the same text is set again)
        if (SameString(s->pictureText, w.text))
            return true;
    }
    return KeepsTextOtherwise(*s, hwnd, w, text);
}

namespace {

// StaticKeepsText when the screen is not known to show the picture still.
__attribute__((noinline)) bool KeepsTextOtherwise(StaticState &s, HWND hwnd, Window &w, LPCWSTR text)
{
    if (!SameText(w.text, text)) {
        t_unlike = Unlike{hwnd, text, w.text.data(), w.text.size()};
        return false;
    }
    return PictureShown(s, hwnd, w);
}

} // namespace

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer;
    if (StaticAnswer(hwnd, msg, wParam, lParam, answer))
        return answer;
    auto w = WindowGet(hwnd);
    if (!w)
        return 0;
    DWORD type = w->style & SS_TYPEMASK;
    if (msg == WM_NCCREATE && !ControlMake<StaticState>(*w))
        return FALSE;
    auto s = ControlOf<StaticState>(*w);
    if (!s)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCCREATE: {
        // An icon static's text is the icon's resource id.
        const CREATESTRUCTW *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        if (type == SS_ICON && cs && cs->lpszName && IS_INTRESOURCE(cs->lpszName)) {
            s->icon = LoadImageW(cs->hInstance, cs->lpszName, IMAGE_ICON, 32, 32, 0);
            s->ownsIcon = s->icon != 0;
            return TRUE;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    case WM_NCDESTROY:
        // Icons loaded from the template belong to the control; icons set
        // with STM_SETICON stay their owner's.
        if (s->icon && s->ownsIcon)
            DestroyIcon(s->icon);
        w->control.reset();
        return 0;
    case STM_SETICON:
    case STM_SETIMAGE: {
        HICON old = s->icon;
        if (s->ownsIcon && old)
            DestroyIcon(old), old = 0;
        s->ownsIcon = false;
        s->icon = HICON(msg == STM_SETICON ? wParam : WPARAM(lParam));
        WindowInvalidate(hwnd, true);
        return LRESULT(old);
    }
    case WM_ENABLE:
        WindowInvalidate(hwnd, true);
        return 0;
    case WM_PAINT:
        ControlPaint(hwnd, [&](HDC dc, const RECT &r) {
            TextLook look;
            if (TextLookOf(*w, look)) {
                if (DrawTextPicture(*s, dc, r, w->text, look.align, look.color, look.noPrefix))
                    NoteShownAfterPaint(*s, hwnd, *w);
                return;
            }
            GdiFill(dc, r, kDialogFace);
            if (type == SS_ICON) {
                if (s->icon)
                    GdiDrawIcon(dc, 0, 0, s->icon);
            } else if (type == SS_BLACKRECT) {
                GdiFill(dc, r, RGB(0, 0, 0));
            } else {
                GdiFrame(dc, r, RGB(0, 0, 0));
            }
        });
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace plat
