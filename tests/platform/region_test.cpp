// region_test.cpp - regions as lists of disjoint rectangles: random adds,
// subtractions, clips and intersections checked against a grid of the
// points covered, and the list itself (held inline, then grown) through
// copies, moves, swaps and appends of its own pieces.
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
        for (int step = 0; step < 40; ++step) {
            RECT r = rect();
            int op = pick(4);
            if (op <= 1) {
                plat::RegionAdd(rgn, r);
                if (rgn.size() == 1 && step > 0) {
                    // Past the piece limit a region becomes its bounds: a
                    // superset, so the model takes the bounds as well.
                    RECT b = rgn[0];
                    for (int y = 0; y < kSide; ++y)
                        for (int x = 0; x < kSide; ++x)
                            want.in[y][x] = want.in[y][x] || Inside(r, x, y) || Inside(b, x, y);
                    continue;
                }
                for (int y = 0; y < kSide; ++y)
                    for (int x = 0; x < kSide; ++x)
                        want.in[y][x] = want.in[y][x] || Inside(r, x, y);
            } else if (op == 2) {
                plat::RegionSubtract(rgn, r);
                for (int y = 0; y < kSide; ++y)
                    for (int x = 0; x < kSide; ++x)
                        want.in[y][x] = want.in[y][x] && !Inside(r, x, y);
            } else {
                Region other{r, rect()};
                plat::RegionSubtract(other, RECT{0, 0, 0, 0}); // nothing to take
                if (pick(2)) {
                    plat::RegionClip(rgn, r);
                    for (int y = 0; y < kSide; ++y)
                        for (int x = 0; x < kSide; ++x)
                            want.in[y][x] = want.in[y][x] && Inside(r, x, y);
                } else {
                    // other's two rectangles may overlap: made disjoint first.
                    Region disjoint;
                    for (const RECT &p : other)
                        plat::RegionAdd(disjoint, p);
                    Grid o = Cover(disjoint);
                    plat::RegionIntersect(rgn, disjoint);
                    for (int y = 0; y < kSide; ++y)
                        for (int x = 0; x < kSide; ++x)
                            want.in[y][x] = want.in[y][x] && o.in[y][x];
                }
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

// The list keeps its pieces in order whether they are held inline or not,
// through every way a region is copied, moved, swapped or appended to.
TEST(Region, PiecesSurviveGrowingCopyingAndSwapping)
{
    for (size_t n : {size_t(0), size_t(1), Region::kInline, Region::kInline + 1, 3 * Region::kInline}) {
        SCOPED_TRACE(n);
        Region a;
        std::vector<LONG> want;
        for (size_t i = 0; i < n; ++i) {
            a.push_back(RECT{LONG(i), 0, LONG(i) + 1, 1});
            want.push_back(LONG(i));
        }
        EXPECT_EQ(Lefts(a), want);
        Region copy(a);
        EXPECT_EQ(Lefts(copy), want);
        Region moved(std::move(copy));
        EXPECT_EQ(Lefts(moved), want);
        EXPECT_TRUE(copy.empty()); // NOLINT(bugprone-use-after-move): a moved-from region is empty
        Region small{RECT{100, 0, 101, 1}};
        small.swap(moved);
        EXPECT_EQ(Lefts(small), want);
        EXPECT_EQ(Lefts(moved), std::vector<LONG>{100});
        moved = small;
        EXPECT_EQ(Lefts(moved), want);
        // Its own pieces appended, past what it holds.
        small.append(small.begin(), small.end());
        std::vector<LONG> twice = want;
        twice.insert(twice.end(), want.begin(), want.end());
        EXPECT_EQ(Lefts(small), twice);
        if (n > 0) {
            // Its own first piece pushed when it is full.
            Region full;
            for (size_t i = 0; i < Region::kInline; ++i)
                full.push_back(RECT{LONG(i), 0, LONG(i) + 1, 1});
            full.push_back(full[0]);
            EXPECT_EQ(full.back().left, 0);
            EXPECT_EQ(full.size(), Region::kInline + 1);
        }
        small.erase(small.begin(), small.begin() + long(n));
        EXPECT_EQ(Lefts(small), want);
    }
}

// A region assigned over another, whatever either held before (inline, or
// grown past that and so kept elsewhere, larger or smaller than the
// source), holds exactly the source's pieces; so does a copy of it.
TEST(Region, AssignedOverAnyRegionHoldsTheSourcesPieces)
{
    const size_t sizes[] = {0, 1, 2, Region::kInline, Region::kInline + 1, 2 * Region::kInline,
                            4 * Region::kInline};
    for (size_t from : sizes)
        for (size_t over : sizes) {
            SCOPED_TRACE(testing::Message() << from << " over " << over);
            Region src, dst;
            std::vector<LONG> want;
            for (size_t i = 0; i < from; ++i) {
                src.push_back(RECT{LONG(10 + i), 0, LONG(11 + i), 1});
                want.push_back(LONG(10 + i));
            }
            for (size_t i = 0; i < over; ++i)
                dst.push_back(RECT{LONG(500 + i), 0, LONG(501 + i), 1});
            // Emptied first, as a kept record's clip is before it is set.
            Region cleared = dst;
            cleared.clear();
            dst = src;
            cleared = src;
            EXPECT_EQ(Lefts(dst), want);
            EXPECT_EQ(Lefts(cleared), want);
            EXPECT_TRUE(dst == src);
            // Then grown again: the pieces already held stay.
            dst.push_back(RECT{900, 0, 901, 1});
            std::vector<LONG> more = want;
            more.push_back(900);
            EXPECT_EQ(Lefts(dst), more);
            EXPECT_EQ(Lefts(src), want);
            Region copy(dst);
            EXPECT_EQ(Lefts(copy), more);
        }
}

} // namespace
