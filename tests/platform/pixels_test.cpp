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

// The store against the plain array m, w pixels a row: each row's runs
// first (reading writes them out, not changing them), then its pixels.
void ExpectSame(PixelRows &p, const std::vector<uint32_t> &m, int w, const char *what)
{
    for (int y = 0; y < p.Height(); ++y) {
        std::vector<uint32_t> want(m.begin() + long(y) * w, m.begin() + long(y + 1) * w);
        if (const PixelRows::Row *r = p.Runs(y)) {
            ASSERT_EQ(Expand(*r, w), want) << what << ": runs of row " << y;
        }
        const uint32_t *row = p.Read(y);
        ASSERT_EQ(std::vector<uint32_t>(row, row + w), want) << what << ": row " << y;
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
        std::vector<uint32_t> m(size_t(w) * size_t(h), colours[0]); // what p must hold
        auto at = [&](int x, int y) { return m[size_t(y) * size_t(w) + size_t(x)]; };
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
            std::vector<uint32_t> old = m;
            // Row yy of the model over [x0, x1) from src.
            auto set = [&](int yy, const uint32_t *src) {
                std::copy(src, src + (x1 - x0), m.begin() + long(yy) * w + x0);
            };
            int op = pick(8);
            if (op == 5) { // runs copied from the other store, or from a row of this one
                int a = pick(qw + 1), b = pick(qw + 1);
                q.Fill(0, std::min(a, b), std::max(a, b), colours[pick(4)]);
                if (!q.Runs(0)) { // too many runs: the row went to pixels
                    ASSERT_TRUE(q.Reset(qw, 1, colours[pick(4)]));
                }
                int y2 = pick(h);
                bool own = pick(2) && p.Runs(y2);
                std::vector<uint32_t> colour = Expand(own ? *p.Runs(y2) : *q.Runs(0), own ? w : qw);
                int sx0 = pick(std::max(1, int(colour.size()) - (x1 - x0) + 1));
                if (sx0 + (x1 - x0) > int(colour.size()))
                    continue;
                p.CopyRuns(y, x0, x1, own ? *p.Runs(y2) : *q.Runs(0), sx0);
                set(y, colour.data() + sx0);
            } else if (op == 0) { // a read in between writes the runs out
                p.Read(y);
            } else if (op == 1 || op == 6) { // pixels, sometimes those already there; rows of them
                int y1 = op == 1 ? y + 1 : y + 1 + pick(h - y);
                std::vector<uint32_t> src(size_t(x1 - x0) * size_t(y1 - y));
                for (size_t i = 0; i < src.size(); ++i)
                    src[i] = pick(4) ? at(x0 + int(i) % std::max(1, x1 - x0), y + int(i) / std::max(1, x1 - x0))
                                     : colours[pick(4)];
                if (op == 1)
                    p.Put(y, x0, x1, src.data());
                else
                    p.PutRect(y, y1, x0, x1, src.data(), size_t(x1 - x0));
                for (int yy = y; yy < y1; ++yy)
                    set(yy, src.data() + size_t(yy - y) * size_t(x1 - x0));
            } else {
                std::vector<uint32_t> c(size_t(x1 - x0), colours[pick(4)]);
                p.Fill(y, x0, x1, c.empty() ? 0 : c[0]);
                set(y, c.data());
            }
            if (p.Changes() == before) {
                ASSERT_EQ(old, m) << "seed " << seed << " step " << step << ": a change not counted";
            }
            if (step % 25 == 0)
                ExpectSame(p, m, w, "during");
        }
        ExpectSame(p, m, w, "at the end");
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
// Each copy follows the same first one, on the row above.
TEST(PixelRows, RowsCopiedAlikeOnlyWhenTheCopyIsTheSame)
{
    PixelRows src;
    ASSERT_TRUE(src.Reset(50, 3, 0x111111));
    src.Fill(1, 10, 30, 0x222222);
    src.Fill(2, 0, 50, 0x333333);
    struct Copy {
        int srcRow, x1, sx0;
        uint32_t before; // the row's colour before
    };
    const Copy first{1, 40, 0, 0xAAAAAA};
    const Copy copies[] = {first, {2, 40, 0, 0xAAAAAA}, {1, 40, 5, 0xAAAAAA}, {1, 39, 0, 0xAAAAAA},
                           {1, 40, 0, 0xBBBBBB}};
    PixelRows p;
    ASSERT_TRUE(p.Reset(40, 2 * int(std::size(copies)), 0));
    for (int y = 0; y < 2 * int(std::size(copies)); ++y) {
        const Copy &c = y % 2 ? copies[size_t(y / 2)] : first;
        p.Fill(y, 0, 40, c.before);
        p.CopyRuns(y, 0, c.x1, *src.Runs(c.srcRow), c.sx0);
        std::vector<uint32_t> want = Expand(*src.Runs(c.srcRow), 50); // read, src would change
        const uint32_t *got = p.Read(y);
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(got[x], x < c.x1 ? want[size_t(c.sx0 + x)] : c.before) << "copy " << y << " at " << x;
    }
}

// A picture of distinct pixels on a ground: rows [top, bottom) hold it
// from column left on, the rest is the ground.
struct Framed {
    int w, h, top, bottom, left, n;
    std::vector<uint32_t> px = Pixels(size_t(n));
    static std::vector<uint32_t> Pixels(size_t n)
    {
        std::vector<uint32_t> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
        return v;
    }
    void Paint(PixelRows &p, int shift = 0) const
    {
        for (int y = top; y < bottom; ++y)
            p.Put(y, left + shift, left + shift + n, px.data());
    }
    bool Shown(PixelRows &p, uint32_t ground, int shift = 0) const
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool in = y >= top && y < bottom && x >= left + shift && x < left + shift + n;
                if (p.Read(y)[x] != (in ? px[size_t(x - left - shift)] : ground))
                    return false;
            }
        return true;
    }
};
const Framed kLarge{241, 100, 5, 85, 5, 200};

// A buffer bitmap painted again: the store's memory comes back from the
// pool holding the last picture; the new one is right, whether its pixels
// are those left there or not. A store reset at another size over one
// given whole shows only its colour.
TEST(PixelRows, AStoreTakenBackPaintsRightOverItsOldPixels)
{
    const struct {
        uint32_t ground;
        int shift;
    } rounds[] = {{0xA00000, 0}, {0xA00000, 0}, {0x00A000, 0}, {0x00A000, 3}, {0xA00000, 0}};
    for (const auto &r : rounds) {
        PixelRows p;
        ASSERT_TRUE(p.Reset(kLarge.w, kLarge.h, 0));
        for (int y = 0; y < kLarge.h; ++y)
            p.Fill(y, 0, kLarge.w, r.ground);
        kLarge.Paint(p, r.shift);
        EXPECT_TRUE(kLarge.Shown(p, r.ground, r.shift)) << r.ground << " " << r.shift;
    }
    {
        PixelRows a;
        ASSERT_TRUE(a.Assign(200, 200, std::vector<uint32_t>(200 * 200, 0xABCDEF).data()));
    } // its store goes to the pool
    PixelRows b;
    ASSERT_TRUE(b.Reset(190, 201, 0x112233));
    EXPECT_TRUE((Framed{190, 201, 0, 0, 0, 0}.Shown(b, 0x112233)));
}

// A picture with a derived key is taken whole, once, by a store made at its
// size that reaches that key before any row is used: the store that drew it,
// made again, or (a large one, kept in the shared pool when dropped) another
// store. Never at another size, with another key, once a row is used, when
// its key was not derived, or when it was changed after its key was set.
TEST(PixelRows, APictureIsTakenWholeOnceByAStoreReachingItsKey)
{
    const Framed small{30, 8, 2, 6, 3, 20}; // below the size kept in the shared pool
    struct Case {
        const char *what;
        bool dropped;     // drawn in a store dropped, not in the one made again
        bool derive;      // the picture's key was set by its painter
        bool changeAfter; // ... and then it was drawn on
        int widen;        // the size made again, against the picture's
        int between;      // 0 nothing, 1 a rectangle noted, 2 a row read, 3 a row filled
        bool otherKey;    // another key is adopted
        bool taken;
    };
    const Case cases[] = {
        {"untouched", false, true, false, 0, 0, false, true},
        {"a fresh rectangle noted", false, true, false, 0, 1, false, true},
        {"a row read", false, true, false, 0, 2, false, false},
        {"a row filled", false, true, false, 0, 3, false, false},
        {"another key", false, true, false, 0, 0, true, false},
        {"another size", false, true, false, -1, 0, false, false},
        {"a key not derived", false, false, false, 0, 0, false, false},
        {"dropped", true, true, false, 0, 0, false, true},
        {"dropped, then another size", true, true, false, 1, 0, false, false},
        {"dropped, changed after its key was set", true, true, true, 0, 0, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // A key of its own: a picture left in the pool by a case before is
        // not this one's.
        const uint64_t key = PixelRows::Mix(1234, uint64_t(&c - cases));
        const Framed &f = c.dropped ? kLarge : small;
        PixelRows p;
        uint64_t own;
        {
            PixelRows q;
            PixelRows &painter = c.dropped ? q : p;
            ASSERT_TRUE(painter.Reset(f.w, f.h, 0x5));
            f.Paint(painter);
            if (c.derive)
                painter.SetKey(key);
            if (c.changeAfter)
                painter.Fill(0, 0, 1, 0x77);
            own = painter.Key();
        } // q goes to the pool
        const int w = f.w + c.widen;
        ASSERT_TRUE(p.Reset(w, f.h, 0x9));
        if (c.between == 1)
            EXPECT_TRUE(p.FillFresh(0, 0, 4, 4, 0x7));
        if (c.between == 2)
            EXPECT_EQ(p.Read(0)[0], 0x9u);
        if (c.between == 3)
            p.Fill(1, 0, 2, 0x7);
        uint64_t changes = p.Changes();
        const uint64_t asked = c.otherKey ? PixelRows::Mix(key, 1) : c.derive ? key : own;
        bool taken = p.Adopt(asked);
        EXPECT_EQ(taken, c.taken);
        if (!taken) {
            // What the store holds is what was drawn since it was made.
            EXPECT_EQ(p.Read(f.h - 1)[w - 1], 0x9u);
            continue;
        }
        EXPECT_EQ(p.Key(), asked);
        EXPECT_NE(p.Changes(), changes) << "taking a picture is a change";
        EXPECT_TRUE(f.Shown(p, 0x5));
        PixelRows other;
        ASSERT_TRUE(other.Reset(f.w, f.h, 0x9));
        EXPECT_FALSE(other.Adopt(asked)) << "taken once";
        p.Fill(0, 0, 1, 0x66);
        EXPECT_FALSE(p.Adopt(asked)) << "taken once";
        EXPECT_EQ(p.Read(0)[0], 0x66u);
        EXPECT_EQ(other.Read(0)[0], 0x9u) << "the memory taken is the taker's own";
    }
}

// Keys name what a store holds: stores reset alike share a key, a change
// gives a new one, drawing what is there already keeps it. A copy the store
// remembers holds until something is drawn over one of its parts (or the
// store is made again); drawing beside them, or what is there, keeps it.
TEST(PixelRows, KeysAndHeldCopiesFollowTheContent)
{
    const PixelRows::Part parts[] = {{0, 0, 5, 100}, {95, 0, 100, 100}};
    struct Case {
        const char *what;
        void (*draw)(PixelRows &);
        bool changes, holds;
    };
    static const uint32_t px[4] = {1, 2, 3, 4};
    const Case cases[] = {
        {"nothing", [](PixelRows &) {}, false, true},
        {"fill of the colour there", [](PixelRows &p) { p.Fill(50, 0, 300, 0x10); }, false, true},
        {"fill between the parts", [](PixelRows &p) { p.Fill(50, 5, 95, 0x20); }, true, true},
        {"fill over a part's edge", [](PixelRows &p) { p.Fill(50, 4, 6, 0x20); }, true, false},
        {"pixels in the right part", [](PixelRows &p) { p.Put(99, 96, 99, px); }, true, false},
        {"rows of pixels between the parts", [](PixelRows &p) { p.PutRect(7, 9, 50, 52, px, 2); }, true, true},
        {"rows of pixels over a part", [](PixelRows &p) { p.PutRect(7, 9, 96, 98, px, 2); }, true, false},
        {"runs copied over a part",
         [](PixelRows &p) {
             PixelRows::Row r{};
             r.runs = 1;
             r.end[0] = 300;
             r.colour[0] = 0x30;
             p.CopyRuns(10, 0, 3, r, 0);
         },
         true, false},
        {"reset of another size", [](PixelRows &p) { p.Reset(300, 99, 0x10); }, true, false},
        {"reset of another width", [](PixelRows &p) { p.Reset(299, 100, 0x10); }, true, false},
        {"reset of another colour", [](PixelRows &p) { p.Reset(300, 100, 0x11); }, true, false},
        {"reset alike", [](PixelRows &p) { p.Reset(300, 100, 0x10); }, false, false},
        {"reset otherwise, then alike",
         [](PixelRows &p) {
             p.Reset(300, 100, 0x11);
             p.Reset(300, 100, 0x10);
         },
         false, false},
        {"reset alike, then in another colour",
         [](PixelRows &p) {
             p.Reset(300, 100, 0x10);
             p.Reset(300, 100, 0x12);
         },
         true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PixelRows a, b;
        ASSERT_TRUE(a.Reset(300, 100, 0x10));
        ASSERT_TRUE(b.Reset(300, 100, 0x10));
        ASSERT_EQ(a.Key(), b.Key()) << "stores reset alike";
        a.NoteCopy(77, 1, 2, parts, 2);
        c.draw(a);
        EXPECT_EQ(a.Key() != b.Key(), c.changes);
        EXPECT_EQ(a.Holds(77, 1, 2, parts, 2), c.holds);
        const PixelRows::Part inner = {1, 10, 4, 20}, wider = {0, 0, 6, 100};
        EXPECT_EQ(a.Holds(77, 1, 2, &inner, 1), c.holds) << "a part within";
        EXPECT_FALSE(a.Holds(78, 1, 2, parts, 2)) << "another source";
        EXPECT_FALSE(a.Holds(77, 0, 2, parts, 2)) << "another place in it";
        EXPECT_FALSE(a.Holds(77, 1, 2, &wider, 1)) << "beyond the parts";
    }
    PixelRows a, b;
    ASSERT_TRUE(a.Assign(2, 2, px));
    ASSERT_TRUE(b.Assign(2, 2, px));
    EXPECT_NE(a.Key(), b.Key()) << "pixels given from outside are a key of their own";
}

} // namespace

