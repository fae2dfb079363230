// pixels.cpp - pixel stores with rows kept as runs of one colour.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "kernel/threadlock.h"
#include <new>

#include "gdi/pixels.h"

namespace plat {

namespace {

// Stores of pixel rows dropped, kept for the next ones made. Only stores of
// at least a quarter of a small screen are worth keeping. A store whose key
// was derived is kept with its rows and key, whole, for a store reaching
// that key again (a buffer bitmap painted alike at every step).
constexpr size_t kSpareMinPixels = 16384;
constexpr size_t kSpareMaxPixels = size_t(1) << 22;
constexpr size_t kSpareCount = 4;
struct Spare {
    bool used = false;
    uint64_t age = 0; // when it was put here: the oldest goes first
    PixelRows::Pixels px;
    size_t capacity = 0;
    bool whole = false; // the rows, key and size below are the picture px holds
    uint64_t key = 0;
    int width = 0, height = 0;
    std::vector<PixelRows::Row> rows;
};
// A few places, not a list: a store is put back and taken out at every
// paint step, and a list's erase moved the others each time.
struct SparePool {
    ThreadLock lock;
    Spare stores[kSpareCount];
    uint64_t ages = 0;
    // How many hold a whole picture: none (the usual case, once a buffer
    // bitmap is kept for the next) and no store need be looked for.
    // Changed only under the lock; read without it.
    std::atomic<int> wholes{0};
    void AddWholes(int d) { wholes.store(wholes.load(std::memory_order_relaxed) + d, std::memory_order_relaxed); }
};
// Never destroyed: stores may be dropped by objects destroyed at exit.
SparePool &Pool()
{
    static SparePool *pool = new SparePool;
    return *pool;
}

} // namespace

namespace {

// Four pixels at a time, in the vector registers every x86-64 has.
typedef uint32_t V4 __attribute__((vector_size(16)));

inline V4 Load4(const uint32_t *p)
{
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline bool AnySet(V4 v)
{
    uint64_t lo, hi;
    std::memcpy(&lo, &v, 8);
    std::memcpy(&hi, reinterpret_cast<const char *>(&v) + 8, 8);
    return (lo | hi) != 0;
}

// Copies n pixels of src over p (not overlapping) in one pass; what
// differed is added to diff. The last four are done as four even when they
// overlap the ones before (a text's changed columns are a few pixels).
inline void CopyDiffering(uint32_t *__restrict p, const uint32_t *__restrict src, int n, V4 &diff)
{
    if (n < 4) {
        uint32_t d = 0;
        for (int k = 0; k < n; ++k) {
            d |= p[k] ^ src[k];
            p[k] = src[k];
        }
        diff[0] |= d;
        return;
    }
    for (int k = 0; k < n - 4; k += 4) {
        V4 v = Load4(src + k);
        diff |= Load4(p + k) ^ v;
        std::memcpy(p + k, &v, sizeof v);
    }
    // The last four, over some copied already when n is not a multiple of
    // four (those now differ in nothing).
    V4 v = Load4(src + n - 4);
    diff |= Load4(p + n - 4) ^ v;
    std::memcpy(p + n - 4, &v, sizeof v);
}

// One colour over [x0, x1): a short span (a static's width) by vector
// stores, a long one by doubling what is done with memcpy.
void Spread(uint32_t *p, int x0, int x1, uint32_t c)
{
    size_t n = x1 > x0 ? size_t(x1 - x0) : 0;
    p += x0;
    const V4 cv = {c, c, c, c};
    size_t done = 0;
    size_t upTo = std::min<size_t>(n, 256);
    // Sixteen pixels a turn (a row across is 15 turns, not 60), then four.
    for (; done + 16 <= upTo; done += 16) {
        std::memcpy(p + done, &cv, sizeof cv);
        std::memcpy(p + done + 4, &cv, sizeof cv);
        std::memcpy(p + done + 8, &cv, sizeof cv);
        std::memcpy(p + done + 12, &cv, sizeof cv);
    }
    for (; done + 4 <= upTo; done += 4)
        std::memcpy(p + done, &cv, sizeof cv);
    if (n <= 256) {
        for (; done < n; ++done)
            p[done] = c;
        return;
    }
    while (done < n) {
        size_t k = std::min(done, n - done);
        std::memcpy(p + done, p, k * sizeof *p);
        done += k;
    }
}

PixelRows::Row OneColour(int width, uint32_t c)
{
    PixelRows::Row r{};
    r.runs = 1;
    r.end[0] = uint16_t(width);
    r.colour[0] = c;
    return r;
}

} // namespace

// Blocks of 16 pixels compared at once, four to a vector (a repainted
// ground is mostly the colour already).
int FirstOther(const uint32_t *p, int x0, int x1, uint32_t c)
{
    const V4 cv = {c, c, c, c};
    int x = x0;
    for (; x + 16 <= x1; x += 16) {
        V4 d = (Load4(p + x) ^ cv) | (Load4(p + x + 4) ^ cv) | (Load4(p + x + 8) ^ cv) | (Load4(p + x + 12) ^ cv);
        if (AnySet(d))
            break;
    }
    for (; x + 4 <= x1; x += 4)
        if (AnySet(Load4(p + x) ^ cv))
            break;
    while (x < x1 && p[x] == c)
        ++x;
    return x;
}

PixelRows::~PixelRows()
{
    if (!px_ || capacity_ < kSpareMinPixels || capacity_ > kSpareMaxPixels)
        return;
    bool whole = keyKnown_ && derived_;
    if (whole && lazy_)
        Settle();
    SparePool &pool = Pool();
    std::lock_guard<ThreadLock> guard(pool.lock);
    // A free place, else the oldest goes.
    Spare *to = nullptr;
    for (Spare &sp : pool.stores)
        if (!to || (!sp.used && to->used) || (sp.used == to->used && sp.age < to->age))
            to = &sp;
    if (to->used && to->whole)
        pool.AddWholes(-1);
    if (whole)
        pool.AddWholes(1);
    to->used = true;
    to->age = ++pool.ages;
    to->px = std::move(px_);
    to->capacity = capacity_;
    to->whole = whole;
    to->key = key_;
    to->width = width_;
    to->height = height_;
    if (whole)
        to->rows = std::move(rows_);
    else
        to->rows.clear();
}

uint64_t PixelRows::NewKey()
{
    // Keys of their own never come from Mix in practice: 2^64 values.
    static std::atomic<uint64_t> next{1};
    // While the process is alone no other thread takes one: a plain
    // increment serves (a paint takes several new keys).
    if (ProcessAlone()) {
        uint64_t k = next.load(std::memory_order_relaxed);
        next.store(k + 1, std::memory_order_relaxed);
        return Mix(0x6B657973ull, k);
    }
    return Mix(0x6B657973ull, next.fetch_add(1, std::memory_order_relaxed));
}

inline void PixelRows::ChangedAll()
{
    ++changes_;
    keyKnown_ = false;
    derived_ = false;
    lazy_ = 0;
    held_ = 0;
    anchored_ = false;
    memo_.valid = false;
    copyMemo_.valid = false;
    formerKnown_ = false;
}

bool PixelRows::Adopt(uint64_t k)
{
    if (formerKnown_ && lazy_ && k == formerKey_) {
        // The rows and pixels are still those of the picture keyed k.
        ChangedAll();
        SetKey(k);
        return true;
    }
    if (size_t(width_) * size_t(height_) < kSpareMinPixels)
        return false; // such stores are not kept
    SparePool &pool = Pool();
    if (pool.wholes.load(std::memory_order_relaxed) == 0)
        return false;
    std::lock_guard<ThreadLock> guard(pool.lock);
    for (Spare &s : pool.stores) {
        if (!s.used || !s.whole || s.key != k || s.width != width_ || s.height != height_)
            continue;
        pool.AddWholes(-1);
        // This store's memory takes the picture's place in the pool.
        std::swap(px_, s.px);
        std::swap(capacity_, s.capacity);
        std::swap(rows_, s.rows);
        s.whole = false;
        s.rows.clear();
        ChangedAll();
        SetKey(k);
        return true;
    }
    return false;
}

bool PixelRows::Holds(uint64_t src, int dx, int dy, const Part *parts, int n) const
{
    for (int i = 0; i < held_; ++i) {
        const Held &h = heldCopies_[i];
        if (h.src != src || h.dx != dx || h.dy != dy)
            continue;
        // The very parts noted (a window repainted through the same clip).
        if (h.n == n && std::memcmp(h.part, parts, sizeof(Part) * size_t(n)) == 0)
            return true;
        bool all = true;
        for (int j = 0; j < n && all; ++j) {
            const Part &p = parts[j];
            bool in = false;
            for (int k = 0; k < h.n && !in; ++k) {
                const Part &q = h.part[k];
                in = p.left >= q.left && p.top >= q.top && p.right <= q.right && p.bottom <= q.bottom;
            }
            all = in;
        }
        if (all)
            return true;
    }
    return false;
}

void PixelRows::NoteCopy(uint64_t src, int dx, int dy, const Part *parts, int n)
{
    if (n <= 0 || n > kHeldParts)
        return;
    if (held_ == kHeld) {
        // The oldest goes.
        std::move(heldCopies_ + 1, heldCopies_ + kHeld, heldCopies_);
        --held_;
    }
    Held &h = heldCopies_[held_++];
    h.src = src;
    h.dx = dx;
    h.dy = dy;
    h.n = n;
    h.box = parts[0];
    for (int i = 0; i < n; ++i) {
        h.part[i] = parts[i];
        h.box.left = std::min(h.box.left, parts[i].left);
        h.box.top = std::min(h.box.top, parts[i].top);
        h.box.right = std::max(h.box.right, parts[i].right);
        h.box.bottom = std::max(h.box.bottom, parts[i].bottom);
    }
}

void PixelRows::Touched(const Part &p)
{
    if (gathering_) {
        Grow(gathered_, p);
        return;
    }
    if (held_)
        Forget(p);
    if (anchored_)
        Grow(dirty_, p);
}

void PixelRows::Forget(const Part &b)
{
    auto meets = [&b](const Part &q) {
        return b.top < q.bottom && b.bottom > q.top && b.left < q.right && b.right > q.left;
    };
    for (int i = 0; i < held_;) {
        const Held &h = heldCopies_[i];
        bool hit = false;
        if (meets(h.box))
            for (int k = 0; k < h.n && !hit; ++k)
                hit = meets(h.part[k]);
        if (hit) {
            std::move(heldCopies_ + i + 1, heldCopies_ + held_, heldCopies_ + i);
            --held_;
        } else {
            ++i;
        }
    }
}

bool PixelRows::Size(int w, int h, bool zero)
{
    size_t n = size_t(w) * size_t(h);
    if (n > capacity_) {
        Pixels px;
        size_t capacity = 0;
        if (n >= kSpareMinPixels) {
            SparePool &pool = Pool();
            std::lock_guard<ThreadLock> guard(pool.lock);
            // Bare memory only: a whole picture is kept for its key (a
            // store taking it gives its own memory back in its place).
            // The oldest that fits.
            Spare *from = nullptr;
            for (Spare &sp : pool.stores)
                if (sp.used && !sp.whole && sp.capacity >= n && (!from || sp.age < from->age))
                    from = &sp;
            if (from) {
                px = std::move(from->px);
                capacity = from->capacity;
                from->used = false;
            }
        }
        if (!px) {
            // Zeroed: pixels are compared before they are written (a store
            // often gets back memory that already holds them), and fresh
            // memory must not be read unset. calloc clears only memory that
            // is not fresh from the system: a large store's pages are not
            // touched (faulted in) until used.
            px.reset(static_cast<uint32_t *>(zero ? std::calloc(n, sizeof(uint32_t))
                                                  : std::malloc(n * sizeof(uint32_t))));
            if (!px)
                return false; // the old pixels stay as they were
            capacity = n;
        }
        px_ = std::move(px);
        capacity_ = capacity;
    }
    width_ = w;
    height_ = h;
    ChangedAll();
    return true;
}

bool PixelRows::Reset(int w, int h, uint32_t c)
{
    // A picture that may be reached again, left in place at the same size.
    bool keep = lazy_ == 0 && keyKnown_ && derived_ && px_ && w == width_ && h == height_ &&
                rows_.size() == size_t(h);
    uint64_t former = key_;
    if (w >= 0 && h >= 0 && size_t(w) * size_t(h) <= capacity_) {
        // Memory enough (a buffer made again at the same size): as Size.
        width_ = w;
        height_ = h;
        ChangedAll();
    } else if (!Size(w, h)) {
        return false;
    }
    formerKnown_ = keep;
    formerKey_ = former;
    // The rows are made when first used (a buffer taken whole from a
    // dropped one never makes them).
    lazy_ = 1;
    base_ = c;
    // Every store reset alike holds the same pixels.
    if (w != resetW_ || h != resetH_ || c != resetColour_) {
        resetW_ = w;
        resetH_ = h;
        resetColour_ = c;
        resetKey_ = Mix(Mix(Mix(0x7265736574ull, uint64_t(w)), uint64_t(h)), c);
    }
    SetKey(resetKey_);
    return true;
}

bool PixelRows::FillFresh(int left, int top, int right, int bottom, uint32_t c)
{
    if (lazy_ != 1)
        return false;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom)
        return true;
    if (left == 0 && top == 0 && right == width_ && bottom == height_) {
        base_ = c; // all of it: still one colour
    } else {
        pending_ = Part{left, top, right, bottom};
        pendingColour_ = c;
        lazy_ = 2;
    }
    ++changes_;
    keyKnown_ = false;
    derived_ = false;
    held_ = 0;
    anchored_ = false;
    return true;
}

void PixelRows::Settle()
{
    // What the rows hold is what the key already names: it stays.
    int lazy = lazy_;
    lazy_ = 0;
    formerKnown_ = false;
    rows_.assign(size_t(height_), OneColour(width_, base_));
    if (lazy != 2)
        return;
    uint64_t key = key_;
    bool keyKnown = keyKnown_, derived = derived_;
    for (int y = pending_.top; y < pending_.bottom; ++y)
        Fill(y, pending_.left, pending_.right, pendingColour_);
    key_ = key;
    keyKnown_ = keyKnown;
    derived_ = derived;
}

bool PixelRows::Assign(int w, int h, const uint32_t *px)
{
    if (!Size(w, h))
        return false;
    std::copy(px, px + size_t(w) * size_t(h), px_.get());
    rows_.assign(size_t(h), Row{});
    return true;
}

uint32_t *PixelRows::Overwrite(int w, int h)
{
    if (!Size(w, h, false))
        return nullptr;
    rows_.assign(size_t(h), Row{});
    return px_.get();
}

void PixelRows::WriteRuns(int y, Row &r)
{
    uint32_t *p = RowAt(y);
    int x = 0;
    for (int i = 0; i < r.runs; ++i) {
        Spread(p, x, r.end[i], r.colour[i]);
        x = r.end[i];
    }
    r.written = 1;
}

uint32_t *PixelRows::Write(int y, int x0, int x1)
{
    Row &r = rows_[size_t(y)];
    // A row of pixels is all zero already (every byte of a row is set, a
    // row of pixels always from Row{}).
    if (r.runs) {
        if (!r.written)
            WriteRuns(y, r);
        r = Row{};
    }
    Changed(y, x0, x1);
    return RowAt(y);
}

void PixelRows::FillRow(int y, Row &r, int x0, int x1, uint32_t c)
{
    if (x1 <= x0)
        return;
    if (r.runs == 0) {
        uint32_t *p = RowAt(y);
        if (x1 - x0 <= 4 && x1 - x0 < width_) {
            // A frame's edge, a pixel or two (drawn down a whole window):
            // looked at here.
            int from = x0;
            while (from < x1 && p[from] == c)
                ++from;
            if (from == x1)
                return;
            for (int x = from; x < x1; ++x)
                p[x] = c;
            Changed(y, from, x1);
            return;
        }
        // Pixels already of that colour are no change.
        int from = FirstOther(p, x0, x1, c);
        if (x0 == 0 && x1 == width_) {
            // Across the row: runs from now on (the next fill of it costs
            // nothing), already written when the pixels held the colour.
            r = OneColour(width_, c);
            r.written = from == x1;
        } else if (from < x1) {
            Spread(p, from, x1, c);
        }
        if (from < x1)
            Changed(y, from, x1);
        return;
    }
    // Already that colour there: the run holding x0 reaches x1.
    int i = 0;
    while (r.end[i] <= x0)
        ++i;
    if (r.colour[i] == c && r.end[i] >= x1)
        return;
    // The runs with [x0, x1) put in, equal neighbours joined.
    Row n{};
    auto add = [&](int end, uint32_t colour) {
        if (n.runs && n.colour[n.runs - 1] == colour) {
            n.end[n.runs - 1] = uint16_t(end);
            return true;
        }
        if (n.runs == kMaxRuns)
            return false;
        n.end[n.runs] = uint16_t(end);
        n.colour[n.runs] = colour;
        ++n.runs;
        return true;
    };
    bool fits = true;
    int x = 0;
    for (int k = 0; k < r.runs && fits; ++k) {
        int a = x, b = r.end[k];
        x = b;
        if (a < x0)
            fits = add(std::min(b, x0), r.colour[k]);
        if (fits && b > x0 && a < x1)
            fits = add(std::min(b, x1), c);
        if (fits && b > x1)
            fits = add(b, r.colour[k]);
    }
    if (fits) {
        memo_ = Memo{true, x0, x1, c, r, n};
        r = n;
        Changed(y, x0, x1);
        return;
    }
    Spread(Write(y, x0, x1), x0, x1, c);
}

void PixelRows::CopyRunsRow(int y, Row &r, int x0, int x1, const Row &src, int sx0)
{
    // src may be this very row: its runs are read from a copy.
    const Row from = src;
    Row before = r;
    uint64_t changes = changes_;
    int shift = x0 - sx0, sx1 = sx0 + (x1 - x0);
    for (int i = 0, x = 0; i < from.runs && x < sx1; x = from.end[i++]) {
        int a = std::max(x, sx0), b = std::min(int(from.end[i]), sx1);
        if (a < b)
            Fill(y, a + shift, b + shift, from.colour[i]);
    }
    if (before.runs && r.runs)
        copyMemo_ = CopyMemo{true, changes_ != changes, x0, x1, sx0, from, before, r};
}

// The same onto a row of pixels: each piece compared, then written where
// it differs (a strip of ground beside a window on top is mostly so).
void PixelRows::CopyRunsToPixels(int y, int x0, int x1, const Row &src, int sx0)
{
    uint32_t *p = RowAt(y);
    int shift = x0 - sx0, sx1 = sx0 + (x1 - x0);
    if (x0 == 0 && x1 == width_) {
        // Across the row: the row is runs from now on (a ground painted
        // again where a picture was is then no longer compared pixel by
        // pixel); its pixels are left as they are, written only if equal.
        Row n{};
        bool same = true;
        for (int i = 0, x = 0; i < src.runs && x < sx1; x = src.end[i++]) {
            int a = std::max(x, sx0) + shift, b = std::min(int(src.end[i]), sx1) + shift;
            if (a >= b)
                continue;
            same = same && FirstOther(p, a, b, src.colour[i]) == b;
            n.end[n.runs] = uint16_t(b);
            n.colour[n.runs] = src.colour[i];
            ++n.runs;
        }
        n.written = same;
        rows_[size_t(y)] = n;
        if (!same)
            Changed(y, x0, x1);
        return;
    }
    bool changed = false;
    for (int i = 0, x = 0; i < src.runs && x < sx1; x = src.end[i++]) {
        int a = std::max(x, sx0) + shift, b = std::min(int(src.end[i]), sx1) + shift;
        int from = a < b ? FirstOther(p, a, b, src.colour[i]) : b;
        if (from < b) {
            Spread(p, from, b, src.colour[i]);
            changed = true;
        }
    }
    if (changed)
        Changed(y, x0, x1);
}

void PixelRows::Put(int y, int x0, int x1, const uint32_t *src)
{
    if (x1 <= x0)
        return;
    if (lazy_)
        Settle();
    size_t n = size_t(x1 - x0) * sizeof(uint32_t);
    // The same pixels again (a window repainted unchanged) write nothing
    // and are no change.
    Row &r = rows_[size_t(y)];
    uint32_t *p = RowAt(y);
    if (r.runs == 0 || r.written) {
        if (std::memcmp(p + x0, src, n) == 0)
            return;
        if (r.runs == 0) {
            // Already pixels (text on a picture, a picture on the screen):
            // written where they are.
            std::memmove(p + x0, src, n);
            Changed(y, x0, x1);
            return;
        }
        std::memmove(Write(y, x0, x1) + x0, src, n);
        return;
    }
    // Runs not yet written (a new bitmap, a filled ground): only the runs
    // outside [x0, x1) are written. They are written without being
    // compared first: the row changes anyway, and a fresh store's memory
    // read before it is written costs a page fault more (the zero page
    // mapped, then replaced).
    // src cannot lie in this row: its pixels were never written.
    int x = 0;
    for (int i = 0; i < r.runs; ++i) {
        int a = x, b = r.end[i];
        x = b;
        if (a < x0)
            Spread(p, a, std::min(b, x0), r.colour[i]);
        if (b > x1)
            Spread(p, std::max(a, x1), b, r.colour[i]);
    }
    std::memcpy(p + x0, src, n);
    r = Row{};
    Changed(y, x0, x1);
}

void PixelRows::PutRect(int top, int bottom, int x0, int x1, const uint32_t *src, size_t stride)
{
    if (x1 <= x0)
        return;
    if (lazy_)
        Settle();
    // Kept here: the pixels written could otherwise be the members read.
    const Row *rows = rows_.data();
    uint32_t *p = px_.get() + size_t(top) * size_t(width_) + size_t(x0);
    const size_t w = size_t(width_);
    const int n = x1 - x0;
    // What differed, over all the rows of pixels: when anything did, the
    // rectangle is one change (the rows of a line of text all change).
    V4 diff = {0, 0, 0, 0};
    for (int y = top; y < bottom; ++y, src += stride, p += w) {
        if (rows[y].runs) {
            Put(y, x0, x1, src); // runs to write out: as one row
            rows = rows_.data();
            continue;
        }
        CopyDiffering(p, src, n, diff);
    }
    if (AnySet(diff)) {
        ++changes_;
        keyKnown_ = false;
        derived_ = false;
        if (held_ || anchored_)
            Touched(Part{x0, top, x1, bottom});
    }
}

} // namespace plat
