// pixels_test.cpp - pixel stores that keep rows as runs of one colour:
// random fills, puts and reads checked against a plain array, the runs
// against the pixels they stand for, and the change count against what
// really changed.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gdi/pixels.h"

namespace {

using plat::PixelRows;

// The pixels a row's runs stand for.
std::vector<uint32_t> Expand(const PixelRows::Row &r, int width)
{
    std::vector<uint32_t> out;
    int x = 0;
    for (int i = 0; i < r.runs; ++i) {
        EXPECT_GT(int(r.end[i]), x) << "runs are not empty and go left to right";
        out.insert(out.end(), size_t(r.end[i] - x), r.colour[i]);
        x = r.end[i];
    }
    EXPECT_EQ(x, width) << "runs cover the row";
    return out;
}

struct Model {
    int w, h;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

void ExpectSame(PixelRows &p, const Model &m, const char *what)
{
    for (int y = 0; y < m.h; ++y) {
        // The runs first (reading writes them out, not changing them).
        if (const PixelRows::Row *r = p.Runs(y)) {
            std::vector<uint32_t> runs = Expand(*r, m.w);
            for (int x = 0; x < m.w; ++x)
                ASSERT_EQ(runs[size_t(x)], m.At(x, y)) << what << ": runs of row " << y << " at " << x;
        }
        const uint32_t *row = p.Read(y);
        for (int x = 0; x < m.w; ++x)
            ASSERT_EQ(row[x], m.At(x, y)) << what << ": row " << y << " at " << x;
    }
}

// Few colours and spans often touching the row's ends, so that runs join,
// split, overflow into pixels and come back to runs.
TEST(PixelRows, RandomDrawingMatchesAPlainArray)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        const uint32_t colours[] = {0x000000, 0xFF0000, 0x00FF00, 0xC0C0C0};
        int w = 1 + pick(40), h = 1 + pick(6);
        PixelRows p;
        ASSERT_TRUE(p.Reset(w, h, colours[0]));
        Model m{w, h, std::vector<uint32_t>(size_t(w) * size_t(h), colours[0])};
        for (int step = 0; step < 300; ++step) {
            int y = pick(h);
            int x0 = pick(3) == 0 ? 0 : pick(w + 1);
            int x1 = pick(3) == 0 ? w : pick(w + 1);
            if (x0 > x1)
                std::swap(x0, x1);
            uint64_t before = p.Changes();
            std::vector<uint32_t> old = m.px;
            switch (pick(5)) {
            case 0: // a read in between writes the runs out
                p.Read(y);
                break;
            case 1: { // pixels, sometimes those already there
                std::vector<uint32_t> src(size_t(x1 - x0));
                for (size_t i = 0; i < src.size(); ++i)
                    src[i] = pick(4) ? m.At(x0 + int(i), y) : colours[pick(4)];
                p.Put(y, x0, x1, src.data());
                for (int x = x0; x < x1; ++x)
                    m.px[size_t(y) * size_t(w) + size_t(x)] = src[size_t(x - x0)];
                break;
            }
            default: {
                uint32_t c = colours[pick(4)];
                p.Fill(y, x0, x1, c);
                for (int x = x0; x < x1; ++x)
                    m.px[size_t(y) * size_t(w) + size_t(x)] = c;
            }
            }
            if (p.Changes() == before)
                ASSERT_EQ(old, m.px) << "seed " << seed << " step " << step << ": a change not counted";
            if (step % 25 == 0)
                ExpectSame(p, m, "during");
        }
        ExpectSame(p, m, "at the end");
    }
}

// Drawing what is already there is no change, whether the row is runs or
// pixels, read or not.
TEST(PixelRows, DrawingWhatIsThereIsNoChange)
{
    PixelRows p;
    ASSERT_TRUE(p.Reset(241, 2, 0));
    const uint32_t blue = 0xA00000;
    std::vector<uint32_t> picture(100, 0x123456);
    p.Fill(0, 0, 240, blue); // one pixel short of the width
    p.Put(1, 5, 105, picture.data());
    p.Read(0);
    p.Read(1);
    uint64_t shown = p.Changes();
    p.Fill(0, 0, 240, blue);
    p.Fill(0, 10, 20, blue);
    p.Put(1, 5, 105, picture.data());
    p.Fill(1, 50, 60, 0x123456);
    EXPECT_EQ(p.Changes(), shown);
    ASSERT_NE(p.Runs(0), nullptr) << "a filled row stays runs";
    EXPECT_EQ(p.Runs(0)->runs, 2);
    EXPECT_EQ(p.Runs(1), nullptr) << "a row with a picture is pixels";
    p.Fill(0, 240, 241, blue);
    EXPECT_NE(p.Changes(), shown);
    ASSERT_NE(p.Runs(0), nullptr);
    EXPECT_EQ(p.Runs(0)->runs, 1) << "equal neighbours join";
}

TEST(PixelRows, ResetReusesAStoreWithoutTheOldPixels)
{
    std::vector<uint32_t> old(200 * 200, 0xABCDEF);
    {
        PixelRows a;
        ASSERT_TRUE(a.Assign(200, 200, old.data()));
        EXPECT_EQ(a.Read(199)[199], 0xABCDEFu);
    } // its store goes to the pool
    PixelRows b;
    ASSERT_TRUE(b.Reset(190, 201, 0x112233));
    for (int y = 0; y < 201; y += 50)
        for (int x = 0; x < 190; x += 37)
            EXPECT_EQ(b.Read(y)[x], 0x112233u) << y << "," << x;
    EXPECT_EQ(b.Width(), 190);
    EXPECT_EQ(b.Height(), 201);
}

} // namespace
