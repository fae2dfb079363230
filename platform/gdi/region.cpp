// region.cpp - regions as lists of disjoint rectangles.
#include "gdi/region.h"

#include <algorithm>

namespace plat {
namespace {

// A region that grows past this many pieces becomes its bounding
// rectangle: painting a little more is cheaper than keeping a long list.
constexpr size_t kMaxPieces = 32;

// The parts of a outside b (at most four), appended to out.
void Cut(const RECT &a, const RECT &b, Region &out)
{
    RECT in;
    if (!RectIntersect(a, b, in)) {
        out.push_back(a);
        return;
    }
    if (a.top < in.top)
        out.push_back(RECT{a.left, a.top, a.right, in.top});
    if (in.bottom < a.bottom)
        out.push_back(RECT{a.left, in.bottom, a.right, a.bottom});
    if (a.left < in.left)
        out.push_back(RECT{a.left, in.top, in.left, in.bottom});
    if (in.right < a.right)
        out.push_back(RECT{in.right, in.top, a.right, in.bottom});
}

} // namespace

void RegionAdd(Region &rgn, const RECT &r)
{
    if (RectEmpty(r))
        return;
    if (rgn.empty()) {
        rgn.push_back(r);
        return;
    }
    Region add{r};
    for (const RECT &have : rgn) {
        Region rest;
        for (const RECT &piece : add)
            Cut(piece, have, rest);
        add.swap(rest);
        if (add.empty())
            return;
    }
    rgn.append(add.begin(), add.end());
    if (rgn.size() > kMaxPieces) {
        RECT all = RegionBounds(rgn);
        rgn.assign(1, all);
    }
}

void RegionSubtract(Region &rgn, const RECT &r)
{
    if (RectEmpty(r) || rgn.empty())
        return;
    Region out;
    out.reserve(rgn.size() + 3);
    for (const RECT &piece : rgn)
        Cut(piece, r, out);
    rgn.swap(out);
}

void RegionClip(Region &rgn, const RECT &r)
{
    size_t n = 0;
    for (const RECT &piece : rgn) {
        RECT in;
        if (RectIntersect(piece, r, in))
            rgn[n++] = in;
    }
    rgn.resize(n);
}

void RegionIntersect(Region &rgn, const Region &other)
{
    // One rectangle on either side (a window seen whole, an update region
    // of one piece): a clip in place.
    if (other.size() == 1) {
        RegionClip(rgn, other[0]);
        return;
    }
    if (rgn.size() == 1) {
        RECT r = rgn[0];
        rgn = other;
        RegionClip(rgn, r);
        return;
    }
    Region out;
    for (const RECT &a : rgn)
        for (const RECT &b : other) {
            RECT in;
            if (RectIntersect(a, b, in))
                out.push_back(in);
        }
    rgn.swap(out);
}

void RegionOffset(Region &rgn, int dx, int dy)
{
    for (RECT &piece : rgn) {
        piece.left += dx;
        piece.right += dx;
        piece.top += dy;
        piece.bottom += dy;
    }
}

RECT RegionBounds(const Region &rgn)
{
    if (rgn.empty())
        return RECT{0, 0, 0, 0};
    RECT b = rgn[0];
    for (const RECT &piece : rgn) {
        b.left = std::min(b.left, piece.left);
        b.top = std::min(b.top, piece.top);
        b.right = std::max(b.right, piece.right);
        b.bottom = std::max(b.bottom, piece.bottom);
    }
    return b;
}

} // namespace plat
