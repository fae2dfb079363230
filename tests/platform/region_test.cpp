// region_test.cpp - regions as lists of disjoint rectangles: random adds,
// subtractions, clips and intersections checked against a grid of the
// points covered, and the list itself (held inline, then grown) through
// copies, moves, swaps, assignments and appends of its own pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "gdi/region.h"

namespace {

using plat::Region;

constexpr int kSide = 24;

struct Grid {
    bool in[kSide][kSide] = {};
};

Grid Cover(const Region &rgn)
{
    Grid g;
    for (const RECT &r : rgn) {
        EXPECT_FALSE(plat::RectEmpty(r)) << "no empty piece";
        for (int y = std::max(0, int(r.top)); y < std::min(kSide, int(r.bottom)); ++y)
            for (int x = std::max(0, int(r.left)); x < std::min(kSide, int(r.right)); ++x) {
                EXPECT_FALSE(g.in[y][x]) << "pieces overlap at " << x << "," << y;
                g.in[y][x] = true;
            }
    }
    return g;
}

bool Inside(const RECT &r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Small rectangles over a small grid, so that pieces cut each other often
// and a region may grow past its pieces held inline.
TEST(Region, RandomOperationsMatchAGridOfPoints)
{
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        auto rect = [&] {
            int l = pick(kSide), t = pick(kSide);
            return RECT{l, t, l + 1 + pick(8), t + 1 + pick(8)};
        };
        Region rgn;
        Grid want;
        // The model: each point kept as keep(was in, x, y) says.
        auto model = [&](auto keep) {
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    want.in[y][x] = keep(want.in[y][x], x, y);
        };
        for (int step = 0; step < 40; ++step) {
            RECT r = rect();
            int op = pick(4);
            if (op <= 1) {
                plat::RegionAdd(rgn, r);
                // Past the piece limit a region becomes its bounds: a
                // superset, so the model takes the bounds as well.
                RECT b = rgn.size() == 1 && step > 0 ? rgn[0] : r;
                model([&](bool was, int x, int y) { return was || Inside(r, x, y) || Inside(b, x, y); });
            } else if (op == 2) {
                plat::RegionSubtract(rgn, r);
                model([&](bool was, int x, int y) { return was && !Inside(r, x, y); });
            } else {
                // Cut to r, or to two rectangles that may overlap (made
                // disjoint for the intersection).
                Region other{r, rect()}, disjoint;
                plat::RegionSubtract(other, RECT{0, 0, 0, 0}); // nothing to take
                for (const RECT &p : other)
                    plat::RegionAdd(disjoint, p);
                bool clip = pick(2);
                Grid o = Cover(clip ? Region{r} : disjoint);
                if (clip)
                    plat::RegionClip(rgn, r);
                else
                    plat::RegionIntersect(rgn, disjoint);
                model([&](bool was, int x, int y) { return was && o.in[y][x]; });
            }
            Grid got = Cover(rgn);
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    ASSERT_EQ(got.in[y][x], want.in[y][x]) << "at " << x << "," << y << " after step " << step;
        }
    }
}

std::vector<LONG> Lefts(const Region &r)
{
    std::vector<LONG> out;
    for (const RECT &p : r)
        out.push_back(p.left);
    return out;
}

// Runs of pieces with lefts from `first` on, one pixel wide.
Region Pieces(size_t n, LONG first, std::vector<LONG> *lefts = nullptr)
{
    Region r;
    for (size_t i = 0; i < n; ++i) {
        r.push_back(RECT{first + LONG(i), 0, first + LONG(i) + 1, 1});
        if (lefts)
            lefts->push_back(first + LONG(i));
    }
    return r;
}

// The list keeps its pieces in order whether they are held inline or grown
// past that, through every way a region is copied, moved, swapped,
// assigned over another of any size (emptied first or not), grown again,
// or appended to with its own pieces.
TEST(Region, PiecesSurviveEveryWayOfCopyingAndGrowing)
{
    const size_t sizes[] = {0, 1, 2, Region::kInline, Region::kInline + 1, 2 * Region::kInline,
                            4 * Region::kInline};
    for (size_t from : sizes)
        for (size_t over : sizes) {
            SCOPED_TRACE(testing::Message() << from << " over " << over);
            std::vector<LONG> want;
            Region src = Pieces(from, 10, &want), dst = Pieces(over, 500);
            EXPECT_EQ(Lefts(src), want);
            Region cleared = dst; // emptied first, as a kept record's clip is before it is set
            cleared.clear();
            dst = src;
            cleared = src;
            EXPECT_EQ(Lefts(dst), want);
            EXPECT_EQ(Lefts(cleared), want);
            EXPECT_TRUE(dst == src);
            Region moved(std::move(cleared));
            EXPECT_EQ(Lefts(moved), want);
            EXPECT_TRUE(cleared.empty()); // NOLINT(bugprone-use-after-move): a moved-from region is empty
            Region other = Pieces(over, 100), otherCopy = other;
            other.swap(moved);
            EXPECT_EQ(Lefts(other), want);
            EXPECT_TRUE(moved == otherCopy);
            // Grown again: the pieces already held stay.
            dst.push_back(RECT{900, 0, 901, 1});
            std::vector<LONG> more = want;
            more.push_back(900);
            EXPECT_EQ(Lefts(dst), more);
            EXPECT_EQ(Lefts(Region(dst)), more);
            EXPECT_EQ(Lefts(src), want);
            // Its own pieces appended, past what it holds, then taken out.
            src.append(src.begin(), src.end());
            std::vector<LONG> twice = want;
            twice.insert(twice.end(), want.begin(), want.end());
            EXPECT_EQ(Lefts(src), twice);
            src.erase(src.begin(), src.begin() + long(from));
            EXPECT_EQ(Lefts(src), want);
        }
    // Its own first piece pushed when it is full.
    Region full = Pieces(Region::kInline, 0);
    full.push_back(full[0]);
    EXPECT_EQ(full.back().left, 0);
    EXPECT_EQ(full.size(), Region::kInline + 1);
}

} // namespace
