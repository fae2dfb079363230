// pixels.h - pixel stores: a bitmap's pixels and the screen's.
//
// A row made of a few runs of one colour each (a ground filled across, a
// band of another colour) is kept as those runs until something reads its
// pixels or draws other than runs on it. A window painted again and again
// with the same ground (the main window at every progress step) then
// writes nothing, and a new black bitmap costs no clearing.
//
// Each store also names its content with a key: two stores with the same
// key hold the same pixels. A store made with Reset, then drawn on only in
// ways the caller describes (SetKey after a fill or a copy from a store of
// known key), reaches the same key each time it is made the same way; any
// other change gives it a key of its own. A buffer bitmap painted alike at
// every step then takes its finished picture whole from the last one
// (Adopt), and a screen that still holds a copy of that picture skips the
// copy (Holds).
#ifndef CE_PLATFORM_PIXELS_H
#define CE_PLATFORM_PIXELS_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace plat {

// The first pixel of [x0, x1) of p that is not c, or x1.
int FirstOther(const uint32_t *p, int x0, int x1, uint32_t c);

class PixelRows {
public:
    // A row kept as runs has at most this many.
    static constexpr int kMaxRuns = 10;
    // A store's pixels, from calloc: fresh pages stay untouched until used.
    struct FreePixels {
        void operator()(uint32_t *p) const { std::free(p); }
    };
    using Pixels = std::unique_ptr<uint32_t[], FreePixels>;
    // A row as runs: run i covers [end[i - 1], end[i]) (run 0 from 0).
    // Every byte is set (unused runs are 0), so rows compare as memory.
    struct Row {
        uint8_t runs;    // 0: the pixels are the row; else the runs are
        uint8_t written; // the runs are in the pixels too
        uint16_t end[kMaxRuns];
        uint16_t unused;
        uint32_t colour[kMaxRuns];
    };

    PixelRows() = default;
    PixelRows(const PixelRows &) = delete;
    PixelRows &operator=(const PixelRows &) = delete;
    // A large store goes back to a small pool for the next one: a window
    // painted through a fresh buffer bitmap takes the same memory again
    // instead of growing and trimming the heap each time.
    ~PixelRows();

    // w x h pixels, all of colour c (nothing is written until needed).
    // False when the memory cannot be had.
    bool Reset(int w, int h, uint32_t c);
    // On a store still all of one colour as Reset left it (its rows not
    // made): the rectangle of one colour is only noted, and drawn when a
    // row is first used. A fresh buffer filled and then taken whole from a
    // dropped one (Adopt) never draws it. False when the store is not so
    // (draw it row by row then).
    bool FillFresh(int left, int top, int right, int bottom, uint32_t c);
    // Takes pixels already made (w * h COLORREF values, rows top-down).
    bool Assign(int w, int h, const uint32_t *px);
    // w x h pixels the caller writes whole, at once, where this returns
    // (rows top-down): a picture decoded in place, its memory not cleared
    // nor copied. Null when the memory cannot be had.
    uint32_t *Overwrite(int w, int h);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Counts the changes of the pixels: the same count means the same
    // picture (a front end need not show it again).
    uint64_t Changes() const { return changes_; }

    // The key of what the store holds now.
    uint64_t Key()
    {
        if (!keyKnown_) {
            key_ = NewKey();
            keyKnown_ = true;
        }
        return key_;
    }
    // After a drawing the caller describes: k, derived with Mix from the
    // key before and all the drawing depends on, names the pixels now.
    void SetKey(uint64_t k)
    {
        key_ = k;
        keyKnown_ = true;
        derived_ = true;
    }
    // Takes the pixels of a store of this size dropped earlier whose key
    // was k, or of this very store before its last Reset (untouched since):
    // true when the store now holds them (and nothing is to be drawn to
    // get there).
    bool Adopt(uint64_t k);
    // One 64-bit value folded into a key.
    static uint64_t Mix(uint64_t key, uint64_t v)
    {
        uint64_t x = key ^ (v * 0x9E3779B97F4A7C15ull);
        x ^= x >> 30;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 27;
        x *= 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }

    // Copies the store remembers receiving: the parts still hold the
    // pixels of the store keyed src, read (dx, dy) away, until something
    // is drawn over them.
    struct Part {
        int left, top, right, bottom;
    };
    static constexpr int kHeldParts = 8;
    // True when each of the n parts lies in a part of such a copy.
    bool Holds(uint64_t src, int dx, int dy, const Part *parts, int n) const;
    // Remembers a copy just made (more than kHeldParts parts: not kept).
    void NoteCopy(uint64_t src, int dx, int dy, const Part *parts, int n);

    // A store copied out whole (a static's picture blitted to the screen)
    // marks its key then; what is drawn on it afterwards is gathered in
    // one box. A copy onto a store still holding that key's pixels need
    // then copy only the box.
    void Anchor()
    {
        anchorKey_ = Key();
        anchored_ = true;
        dirty_ = Part{0, 0, 0, 0};
    }
    // The key last anchored and the box of all changes since; false when
    // there is none (never anchored, or the store was made again since).
    bool ChangedSince(uint64_t &key, Part &box) const
    {
        if (!anchored_)
            return false;
        key = anchorKey_;
        box = dirty_;
        return true;
    }

    // Rows drawn one by one in a rectangle (a fill, a copy, a line of
    // text): the copies held and the box changed since an anchor are seen
    // to once, for the box of all that changed, when Gathered ends.
    class Gathered {
    public:
        // Within another (a fill inside a copy) the outer one gathers.
        explicit Gathered(PixelRows *rows) : rows_(rows && !rows->gathering_ ? rows : nullptr)
        {
            if (rows_) {
                rows_->gathering_ = true;
                rows_->gathered_ = Part{0, 0, 0, 0};
            }
        }
        Gathered(const Gathered &) = delete;
        Gathered &operator=(const Gathered &) = delete;
        ~Gathered()
        {
            if (rows_)
                rows_->EndGathering();
        }

    private:
        PixelRows *rows_;
    };

    // The run of r (a row kept as runs) that holds x.
    static int RunAt(const Row &r, int x)
    {
        int i = 0;
        while (i + 1 < r.runs && r.end[i] <= x)
            ++i;
        return i;
    }
    // Row y as runs of one colour, or null when its pixels are the row.
    const Row *Runs(int y)
    {
        if (lazy_)
            Settle();
        const Row &r = rows_[size_t(y)];
        return r.runs ? &r : nullptr;
    }
    // Row y's pixels to read.
    const uint32_t *Read(int y)
    {
        if (lazy_)
            Settle();
        Row &r = rows_[size_t(y)];
        if (r.runs && !r.written)
            WriteRuns(y, r);
        return RowAt(y);
    }
    // One colour over [x0, x1) of row y.
    void Fill(int y, int x0, int x1, uint32_t c)
    {
        if (lazy_)
            Settle();
        Row &r = rows_[size_t(y)];
        if (r.runs == 1 && r.colour[0] == c)
            return; // one colour all across already
        // Rows alike are filled alike (a rectangle filled row by row): the
        // runs the last such fill made are taken again.
        if (memo_.valid && memo_.x0 == x0 && memo_.x1 == x1 && memo_.colour == c && Same(r, memo_.before)) {
            r = memo_.after;
            Changed(y, x0, x1);
            return;
        }
        FillRow(y, r, x0, x1, c);
    }
    // Pixels over [x0, x1) of row y (src may lie in the same row).
    void Put(int y, int x0, int x1, const uint32_t *src);
    // The same for rows [top, bottom), row k from src + k * stride (not
    // within this store): a few changed columns of a line of text are one
    // change, not one a row.
    void PutRect(int top, int bottom, int x0, int x1, const uint32_t *src, size_t stride);
    // Row y over [x0, x1) given the colours of src (a row kept as runs,
    // possibly row y itself) from sx0 on. Rows alike copied from rows alike
    // (a ground blitted row by row) take the runs the last such copy made.
    void CopyRuns(int y, int x0, int x1, const Row &src, int sx0)
    {
        if (lazy_)
            Settle();
        Row &r = rows_[size_t(y)];
        if (r.runs == 0) {
            // A narrow strip of one colour that is there already (the ground
            // beside a window on top) is done here.
            if (x1 - x0 <= 8 && (x0 > 0 || x1 < width_)) {
                int i = RunAt(src, sx0);
                if (src.end[i] >= sx0 + (x1 - x0)) {
                    const uint32_t *p = RowAt(y);
                    int x = x0;
                    while (x < x1 && p[x] == src.colour[i])
                        ++x;
                    if (x == x1)
                        return;
                }
            }
            CopyRunsToPixels(y, x0, x1, src, sx0);
            return;
        }
        if (copyMemo_.valid && copyMemo_.x0 == x0 && copyMemo_.x1 == x1 && copyMemo_.sx0 == sx0 &&
            Same(src, copyMemo_.src) && Same(r, copyMemo_.before)) {
            if (copyMemo_.changed) {
                r = copyMemo_.after;
                Changed(y, x0, x1);
            }
            return;
        }
        CopyRunsRow(y, r, x0, x1, src, sx0);
    }

private:
    // The last fill of a row of runs that gave runs: before and after.
    // (Only `valid` is set when made: a store is made at every paint, and
    // the rest is written whenever valid is.)
    struct Memo {
        bool valid = false;
        int x0, x1;
        uint32_t colour;
        Row before, after;
    };
    // The last copy of runs onto a row of runs that gave runs.
    struct CopyMemo {
        bool valid = false;
        bool changed;
        int x0, x1, sx0;
        Row src, before, after;
    };
    // A copy remembered by the store receiving it.
    struct Held {
        uint64_t src;
        int dx, dy, n;
        Part box; // around the parts
        Part part[kHeldParts];
    };
    static constexpr int kHeld = 4;

    uint32_t *RowAt(int y) { return px_.get() + size_t(y) * size_t(width_); }
    // Pixels of [x0, x1) of row y changed: a new count, a key of its own,
    // and the copies held there forgotten.
    // (Called for every row drawn: kept inline, the rare part not.)
    __attribute__((always_inline)) void Changed(int y, int x0, int x1)
    {
        ++changes_;
        keyKnown_ = false;
        derived_ = false;
        if (held_ || anchored_)
            Touched(Part{x0, y, x1, y + 1});
    }
    void Touched(const Part &p);
    // b grown to take in p (an empty b becomes p).
    static void Grow(Part &b, const Part &p)
    {
        if (b.left >= b.right) {
            b = p;
            return;
        }
        b.left = std::min(b.left, p.left);
        b.top = std::min(b.top, p.top);
        b.right = std::max(b.right, p.right);
        b.bottom = std::max(b.bottom, p.bottom);
    }
    // All of the store changed (a new size, a picture taken whole).
    void ChangedAll();
    // The copies held in a part that box meets forgotten.
    void Forget(const Part &box);
    // The rows made what the noted fills say.
    void Settle();
    static uint64_t NewKey();
    // Rows compared as memory, word by word (every byte of a row is set).
    static bool Same(const Row &a, const Row &b)
    {
        static_assert(sizeof(Row) % 4 == 0, "rows compare as words");
        constexpr size_t kWords = sizeof(Row) / 8;
        const char *pa = reinterpret_cast<const char *>(&a), *pb = reinterpret_cast<const char *>(&b);
        uint64_t d = 0;
        for (size_t i = 0; i < kWords; ++i) {
            uint64_t x, y;
            std::memcpy(&x, pa + 8 * i, 8);
            std::memcpy(&y, pb + 8 * i, 8);
            d |= x ^ y;
        }
        if (sizeof(Row) % 8) {
            uint32_t x, y;
            std::memcpy(&x, pa + 8 * kWords, 4);
            std::memcpy(&y, pb + 8 * kWords, 4);
            d |= x ^ y;
        }
        return d == 0;
    }
    void CopyRunsRow(int y, Row &r, int x0, int x1, const Row &src, int sx0);
    void CopyRunsToPixels(int y, int x0, int x1, const Row &src, int sx0);
    // zero: new memory is cleared (it may be read before it is written).
    bool Size(int w, int h, bool zero = true);
    void WriteRuns(int y, Row &r);
    void FillRow(int y, Row &r, int x0, int x1, uint32_t c);
    // Row y made ready for new pixels over [x0, x1): its runs written out,
    // the runs dropped.
    uint32_t *Write(int y, int x0, int x1);

    int width_ = 0;
    int height_ = 0;
    uint64_t changes_ = 0;
    Pixels px_; // zero when first had (rows start as runs)
    size_t capacity_ = 0;
    std::vector<Row> rows_;
    Memo memo_;
    CopyMemo copyMemo_;
    uint64_t key_ = 0;
    bool keyKnown_ = false; // key_ names the pixels
    bool derived_ = false;  // ... and was derived, so may be reached again
    int held_ = 0;
    // Rows not made yet: 1, every row is one run of base_; 2, and the
    // rectangle pending_ is of pendingColour_.
    int lazy_ = 0;
    uint32_t base_ = 0;
    Part pending_{};
    uint32_t pendingColour_ = 0;
    Held heldCopies_[kHeld]; // the first held_ of them
    // Reset on a store whose picture had a derived key keeps that picture's
    // rows and pixels, unused while the rows are not made: its key, for
    // Adopt (a buffer bitmap kept and made again at every step).
    bool formerKnown_ = false;
    uint64_t formerKey_ = 0;
    // The key of the last Reset and what it was given (a buffer is reset
    // alike at every paint): the same again is not worked out again.
    int resetW_ = -1, resetH_ = -1;
    uint32_t resetColour_ = 0;
    uint64_t resetKey_ = 0;
    // See Anchor: the key anchored, and the box drawn on since.
    bool anchored_ = false;
    uint64_t anchorKey_ = 0;
    Part dirty_{0, 0, 0, 0};
    // See Gathered: on, and the box of the changes gathered.
    bool gathering_ = false;
    Part gathered_{0, 0, 0, 0};
    void EndGathering()
    {
        gathering_ = false;
        if (gathered_.left >= gathered_.right)
            return;
        if (held_)
            Forget(gathered_);
        if (anchored_)
            Grow(dirty_, gathered_);
    }
};

} // namespace plat

#endif
