// pixels_test.cpp - pixel stores that keep rows as runs of one colour:
// random fills, puts and reads checked against a plain array, the runs
// against the pixels they stand for, and the change count against what
// really changed.
#include <gtest/gtest.h>

#include <iterator>
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
        // Another store whose rows are copied as runs (a ground blitted).
        PixelRows q;
        int qw = 1 + pick(60);
        ASSERT_TRUE(q.Reset(qw, 1, colours[1]));
        for (int step = 0; step < 300; ++step) {
            int y = pick(h);
            int x0 = pick(3) == 0 ? 0 : pick(w + 1);
            int x1 = pick(3) == 0 ? w : pick(w + 1);
            if (x0 > x1)
                std::swap(x0, x1);
            uint64_t before = p.Changes();
            std::vector<uint32_t> old = m.px;
            switch (pick(7)) {
            case 5: { // runs copied from the other store, or from a row of this one
                int a = pick(qw + 1), b = pick(qw + 1);
                if (a > b)
                    std::swap(a, b);
                q.Fill(0, a, b, colours[pick(4)]);
                if (!q.Runs(0)) { // too many runs: the row went to pixels
                    ASSERT_TRUE(q.Reset(qw, 1, colours[pick(4)]));
                }
                int y2 = pick(h);
                bool own = pick(2) && p.Runs(y2);
                PixelRows::Row src = own ? *p.Runs(y2) : *q.Runs(0);
                std::vector<uint32_t> colour = Expand(src, own ? w : qw);
                int sx0 = pick(std::max(1, int(colour.size()) - (x1 - x0) + 1));
                if (sx0 + (x1 - x0) > int(colour.size()))
                    break;
                p.CopyRuns(y, x0, x1, own ? *p.Runs(y2) : *q.Runs(0), sx0);
                for (int x = x0; x < x1; ++x)
                    m.px[size_t(y) * size_t(w) + size_t(x)] = colour[size_t(sx0 + x - x0)];
                break;
            }
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
            if (p.Changes() == before) {
                ASSERT_EQ(old, m.px) << "seed " << seed << " step " << step << ": a change not counted";
            }
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

// Rows alike copied row by row take the last copy's result only when the
// copy is the same: the same source runs, span and start, onto the same row.
TEST(PixelRows, RowsCopiedAlikeOnlyWhenTheCopyIsTheSame)
{
    PixelRows src;
    ASSERT_TRUE(src.Reset(50, 3, 0x111111));
    src.Fill(1, 10, 30, 0x222222);
    src.Fill(2, 0, 50, 0x333333);
    struct Copy {
        int srcRow, x0, x1, sx0;
        uint32_t before; // the row's colour before
    };
    const Copy copies[] = {
        {1, 0, 40, 0, 0xAAAAAA},  // first of its kind
        {1, 0, 40, 0, 0xAAAAAA},  // the same again
        {2, 0, 40, 0, 0xAAAAAA},  // other source runs
        {1, 0, 40, 5, 0xAAAAAA},  // other start
        {1, 0, 39, 0, 0xAAAAAA},  // other span
        {1, 0, 40, 0, 0xBBBBBB},  // onto another row
    };
    PixelRows p;
    ASSERT_TRUE(p.Reset(40, int(std::size(copies)), 0));
    for (int y = 0; y < int(std::size(copies)); ++y) {
        const Copy &c = copies[size_t(y)];
        p.Fill(y, 0, 40, c.before);
        p.CopyRuns(y, c.x0, c.x1, *src.Runs(c.srcRow), c.sx0);
        const uint32_t *want = src.Read(c.srcRow);
        const uint32_t *got = p.Read(y);
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(got[x], x < c.x1 ? want[c.sx0 + x - c.x0] : c.before) << "copy " << y << " at " << x;
    }
}

// A buffer bitmap painted again: the store's memory comes back from the
// pool holding the last picture; the new one is right, whether its pixels
// are those left there or not.
TEST(PixelRows, AStoreTakenBackPaintsRightOverItsOldPixels)
{
    const int w = 241, h = 100;
    std::vector<uint32_t> picture(200);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    auto paint = [&](PixelRows &p, uint32_t ground, int shift) {
        ASSERT_TRUE(p.Reset(w, h, 0));
        for (int y = 0; y < h; ++y)
            p.Fill(y, 0, w, ground);
        for (int y = 5; y < 85; ++y)
            p.Put(y, 5 + shift, 205 + shift, picture.data());
    };
    auto check = [&](PixelRows &p, uint32_t ground, int shift) {
        for (int y = 0; y < h; ++y) {
            const uint32_t *row = p.Read(y);
            for (int x = 0; x < w; ++x) {
                bool in = y >= 5 && y < 85 && x >= 5 + shift && x < 205 + shift;
                ASSERT_EQ(row[x], in ? picture[size_t(x - 5 - shift)] : ground) << y << "," << x;
            }
        }
    };
    const struct {
        uint32_t ground;
        int shift;
    } rounds[] = {{0xA00000, 0}, {0xA00000, 0}, {0x00A000, 0}, {0x00A000, 3}, {0xA00000, 0}};
    for (const auto &r : rounds) {
        PixelRows p;
        paint(p, r.ground, r.shift);
        check(p, r.ground, r.shift);
    }
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

// Keys name what a store holds: stores reset alike share a key, a change
// gives a new one, drawing what is there already keeps it.
TEST(PixelRows, KeysFollowTheContent)
{
    const uint32_t row[4] = {1, 2, 3, 4};
    struct Case {
        const char *what;
        void (*draw)(PixelRows &, const uint32_t *);
        bool changes;
    };
    const Case cases[] = {
        {"fill of the colour there", [](PixelRows &p, const uint32_t *) { p.Fill(3, 0, 300, 0x10); }, false},
        {"fill of another colour", [](PixelRows &p, const uint32_t *) { p.Fill(3, 10, 20, 0x20); }, true},
        {"pixels put", [](PixelRows &p, const uint32_t *r) { p.Put(7, 50, 54, r); }, true},
        {"reset of another size", [](PixelRows &p, const uint32_t *) { p.Reset(300, 99, 0x10); }, true},
        {"reset of another width", [](PixelRows &p, const uint32_t *) { p.Reset(299, 100, 0x10); }, true},
        {"reset of another colour", [](PixelRows &p, const uint32_t *) { p.Reset(300, 100, 0x11); }, true},
        {"reset alike", [](PixelRows &p, const uint32_t *) { p.Reset(300, 100, 0x10); }, false},
        {"reset otherwise, then alike",
         [](PixelRows &p, const uint32_t *) {
             p.Reset(300, 100, 0x11);
             p.Reset(300, 100, 0x10);
         },
         false},
        {"reset alike, then in another colour",
         [](PixelRows &p, const uint32_t *) {
             p.Reset(300, 100, 0x10);
             p.Reset(300, 100, 0x12);
         },
         true},
    };
    for (const Case &c : cases) {
        PixelRows a, b;
        ASSERT_TRUE(a.Reset(300, 100, 0x10));
        ASSERT_TRUE(b.Reset(300, 100, 0x10));
        ASSERT_EQ(a.Key(), b.Key()) << "stores reset alike";
        c.draw(a, row);
        EXPECT_EQ(a.Key() != b.Key(), c.changes) << c.what;
    }
    PixelRows a, b;
    ASSERT_TRUE(a.Assign(2, 2, row));
    ASSERT_TRUE(b.Assign(2, 2, row));
    EXPECT_NE(a.Key(), b.Key()) << "pixels given from outside are a key of their own";
}

// A store dropped with a derived key is taken whole, once, by a store of
// its size reaching that key; never by two, never at another size, never
// once changed beyond its key.
TEST(PixelRows, APictureIsTakenWholeOnceByAStoreReachingItsKey)
{
    const int w = 241, h = 100;
    std::vector<uint32_t> picture(200);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    auto paint = [&](PixelRows &p, uint64_t key, bool changeAfter) {
        ASSERT_TRUE(p.Reset(w, h, 0x5));
        for (int y = 5; y < 85; ++y)
            p.Put(y, 5, 205, picture.data());
        p.SetKey(key);
        if (changeAfter)
            p.Fill(0, 0, 1, 0x77);
    };
    auto isPicture = [&](PixelRows &p) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool in = y >= 5 && y < 85 && x >= 5 && x < 205;
                if (p.Read(y)[x] != (in ? picture[size_t(x - 5)] : 0x5u))
                    return false;
            }
        return true;
    };
    const uint64_t key = PixelRows::Mix(42, 7);
    {
        PixelRows a;
        paint(a, key, false);
    }
    PixelRows b, c, d;
    ASSERT_TRUE(c.Reset(w, h, 0x9));
    ASSERT_TRUE(d.Reset(w + 1, h, 0x9));
    EXPECT_FALSE(d.Adopt(key)) << "another size";
    ASSERT_TRUE(b.Reset(w, h, 0x9));
    ASSERT_TRUE(b.Adopt(key));
    EXPECT_EQ(b.Key(), key);
    EXPECT_TRUE(isPicture(b));
    EXPECT_FALSE(c.Adopt(key)) << "the picture went to b";
    EXPECT_EQ(c.Read(50)[50], 0x9u);
    b.Fill(50, 50, 51, 0x66);
    EXPECT_TRUE(isPicture(c) == false && c.Read(50)[50] == 0x9u) << "b's memory is its own";
    {
        PixelRows e;
        paint(e, PixelRows::Mix(key, 1), true);
    }
    PixelRows f;
    ASSERT_TRUE(f.Reset(w, h, 0x9));
    EXPECT_FALSE(f.Adopt(PixelRows::Mix(key, 1))) << "changed after its key was set: not kept whole";
}

// A store made again at its size keeps its last picture (with a derived
// key) for itself: reaching that key before any row is used takes it back;
// any other key, a row used first, another size, or a picture whose key
// was not derived, does not.
TEST(PixelRows, AStoreMadeAgainTakesBackItsOwnPictureOnlyUntouched)
{
    const int w = 30, h = 8; // below the size kept in the shared pool
    std::vector<uint32_t> picture(20);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    const uint64_t key = PixelRows::Mix(1234, 5);
    auto paint = [&](PixelRows &p, bool derive) {
        ASSERT_TRUE(p.Reset(w, h, 0x5));
        for (int y = 2; y < 6; ++y)
            p.Put(y, 3, 23, picture.data());
        if (derive)
            p.SetKey(key);
    };
    auto isPicture = [&](PixelRows &p) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool in = y >= 2 && y < 6 && x >= 3 && x < 23;
                if (p.Read(y)[x] != (in ? picture[size_t(x - 3)] : 0x5u))
                    return false;
            }
        return true;
    };
    struct Case {
        const char *what;
        bool derive;         // the picture's key was set by its painter
        int width;           // the size made again
        int between;         // 0 nothing, 1 a rectangle noted, 2 a row read, 3 a row filled
        uint64_t asked;      // the key adopted
        bool taken;
    };
    const Case cases[] = {
        {"untouched", true, w, 0, key, true},
        {"a fresh rectangle noted", true, w, 1, key, true},
        {"a row read", true, w, 2, key, false},
        {"a row filled", true, w, 3, key, false},
        {"another key", true, w, 0, PixelRows::Mix(key, 1), false},
        {"another size", true, w - 1, 0, key, false},
        {"a key not derived", false, w, 0, key, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PixelRows p;
        paint(p, c.derive);
        uint64_t own = p.Key();
        ASSERT_TRUE(p.Reset(c.width, h, 0x9));
        if (c.between == 1)
            EXPECT_TRUE(p.FillFresh(0, 0, 4, 4, 0x7));
        if (c.between == 2)
            EXPECT_EQ(p.Read(0)[0], 0x9u);
        if (c.between == 3)
            p.Fill(1, 0, 2, 0x7);
        uint64_t changes = p.Changes();
        bool taken = p.Adopt(c.derive ? c.asked : own);
        EXPECT_EQ(taken, c.taken);
        if (!taken) {
            // What the store holds is what was drawn since it was made.
            EXPECT_EQ(p.Read(h - 1)[c.width - 1], 0x9u);
            continue;
        }
        EXPECT_EQ(p.Key(), c.asked);
        EXPECT_NE(p.Changes(), changes) << "taking a picture is a change";
        EXPECT_TRUE(isPicture(p));
        p.Fill(0, 0, 1, 0x66);
        EXPECT_FALSE(p.Adopt(c.asked)) << "taken once";
        EXPECT_EQ(p.Read(0)[0], 0x66u);
    }
}

// A copy the store remembers holds until something is drawn over one of
// its parts; drawing beside them, or drawing what is there, keeps it.
TEST(PixelRows, HeldCopiesAreForgottenWhereDrawnOver)
{
    const uint32_t px[3] = {7, 8, 9};
    const PixelRows::Part parts[] = {{0, 0, 5, 100}, {95, 0, 100, 100}};
    struct Case {
        const char *what;
        void (*draw)(PixelRows &, const uint32_t *);
        bool holds;
    };
    const Case cases[] = {
        {"nothing", [](PixelRows &, const uint32_t *) {}, true},
        {"fill between the parts", [](PixelRows &p, const uint32_t *) { p.Fill(50, 5, 95, 0x20); }, true},
        {"fill of the colour there", [](PixelRows &p, const uint32_t *) { p.Fill(50, 0, 100, 0x10); }, true},
        {"fill over a part's edge", [](PixelRows &p, const uint32_t *) { p.Fill(50, 4, 6, 0x20); }, false},
        {"pixels in the right part", [](PixelRows &p, const uint32_t *s) { p.Put(99, 96, 99, s); }, false},
        {"runs copied over a part",
         [](PixelRows &p, const uint32_t *) {
             PixelRows::Row r{};
             r.runs = 1;
             r.end[0] = 100;
             r.colour[0] = 0x30;
             p.CopyRuns(10, 0, 3, r, 0);
         },
         false},
        {"reset", [](PixelRows &p, const uint32_t *) { p.Reset(100, 100, 0x10); }, false},
    };
    for (const Case &c : cases) {
        PixelRows p;
        ASSERT_TRUE(p.Reset(100, 100, 0x10));
        p.NoteCopy(77, 1, 2, parts, 2);
        c.draw(p, px);
        EXPECT_EQ(p.Holds(77, 1, 2, parts, 2), c.holds) << c.what;
        const PixelRows::Part inner = {1, 10, 4, 20};
        EXPECT_EQ(p.Holds(77, 1, 2, &inner, 1), c.holds) << c.what << ": a part within";
        EXPECT_FALSE(p.Holds(78, 1, 2, parts, 2)) << c.what << ": another source";
        EXPECT_FALSE(p.Holds(77, 0, 2, parts, 2)) << c.what << ": another place in it";
        const PixelRows::Part wider = {0, 0, 6, 100};
        EXPECT_FALSE(p.Holds(77, 1, 2, &wider, 1)) << c.what << ": beyond the parts";
    }
}

} // namespace

