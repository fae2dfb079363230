// region.h - regions as lists of disjoint rectangles: the update regions of
// windows and the visible clip of window DCs.
//
// The device has a handful of windows, so a region holds a few rectangles;
// plain lists are both simple and fast here.
#ifndef CE_PLATFORM_REGION_H
#define CE_PLATFORM_REGION_H

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>

#include "windef.h"

namespace plat {

// Disjoint rectangles, none empty. The first few are held in the region
// itself: regions are made and dropped many times a repaint, and a window's
// visible part is rarely more than a handful of rectangles.
class Region {
public:
    using value_type = RECT;
    using iterator = RECT *;
    using const_iterator = const RECT *;
    static constexpr size_t kInline = 6;

    Region() = default;
    Region(std::initializer_list<RECT> rects) { append(rects.begin(), rects.end()); }
    Region(const Region &o) { CopyFrom(o); }
    Region(Region &&o) noexcept { take(o); }
    Region &operator=(const Region &o)
    {
        if (this != &o) {
            clear();
            CopyFrom(o);
        }
        return *this;
    }
    Region &operator=(Region &&o) noexcept
    {
        if (this != &o) {
            heap_.reset();
            size_ = 0;
            take(o);
        }
        return *this;
    }

    RECT *begin() { return data(); }
    RECT *end() { return data() + size_; }
    const RECT *begin() const { return data(); }
    const RECT *end() const { return data() + size_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    RECT &operator[](size_t i) { return data()[i]; }
    const RECT &operator[](size_t i) const { return data()[i]; }
    RECT &front() { return data()[0]; }
    RECT &back() { return data()[size_ - 1]; }
    const RECT &front() const { return data()[0]; }
    const RECT &back() const { return data()[size_ - 1]; }

    void clear() { size_ = 0; }
    void reserve(size_t n)
    {
        if (n <= capacity())
            return;
        std::unique_ptr<RECT[]> grown(new RECT[n]);
        std::copy(begin(), end(), grown.get());
        heap_ = std::move(grown);
        heapCapacity_ = n;
    }
    void push_back(const RECT &r)
    {
        if (size_ == capacity()) {
            RECT copy = r; // r may lie in the region
            reserve(capacity() * 2);
            data()[size_++] = copy;
            return;
        }
        data()[size_++] = r;
    }
    void resize(size_t n)
    {
        reserve(n);
        for (size_t i = size_; i < n; ++i)
            data()[i] = RECT{0, 0, 0, 0};
        size_ = n;
    }
    void assign(size_t n, const RECT &r)
    {
        RECT copy = r;
        clear();
        reserve(n);
        for (size_t i = 0; i < n; ++i)
            data()[i] = copy;
        size_ = n;
    }
    // Appends [first, last) (which may lie in the region itself).
    template <class It> void append(It first, It last)
    {
        size_t n = size_t(std::distance(first, last));
        if (size_ + n > capacity()) {
            // The source may lie in the region: copy it out first.
            std::unique_ptr<RECT[]> add(new RECT[n ? n : 1]);
            std::copy(first, last, add.get());
            reserve(std::max(size_ + n, capacity() * 2));
            std::copy(add.get(), add.get() + n, end());
        } else {
            std::copy(first, last, end());
        }
        size_ += n;
    }
    RECT *erase(RECT *first, RECT *last)
    {
        RECT *e = std::copy(last, end(), first);
        size_ = size_t(e - data());
        return first;
    }
    RECT *erase(RECT *at) { return erase(at, at + 1); }
    void swap(Region &o) noexcept
    {
        // Two regions held inline (the usual case) swap their used pieces.
        if (!heap_ && !o.heap_) {
            size_t n = std::max(size_, o.size_);
            for (size_t i = 0; i < n; ++i)
                std::swap(inline_[i], o.inline_[i]);
            std::swap(size_, o.size_);
            return;
        }
        Region t(std::move(o));
        o = std::move(*this);
        *this = std::move(t);
    }
    bool operator==(const Region &o) const
    {
        return size_ == o.size_ && std::equal(begin(), end(), o.begin(), [](const RECT &a, const RECT &b) {
                   return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
               });
    }
    bool operator!=(const Region &o) const { return !(*this == o); }

private:
    // Into an empty region: rectangles that fit where it keeps them (the
    // usual case, a window's clip copied into each DC made for it) copied
    // straight, without the general append's checks.
    void CopyFrom(const Region &o)
    {
        if (o.size_ <= capacity()) {
            const RECT *from = o.data();
            RECT *to = data();
            for (size_t i = 0; i < o.size_; ++i)
                to[i] = from[i];
            size_ = o.size_;
            return;
        }
        append(o.begin(), o.end());
    }
    RECT *data() { return heap_ ? heap_.get() : inline_; }
    const RECT *data() const { return heap_ ? heap_.get() : inline_; }
    size_t capacity() const { return heap_ ? heapCapacity_ : kInline; }
    void take(Region &o)
    {
        if (o.heap_) {
            heap_ = std::move(o.heap_);
            heapCapacity_ = o.heapCapacity_;
        } else {
            std::copy(o.inline_, o.inline_ + o.size_, inline_);
        }
        size_ = o.size_;
        o.size_ = 0;
    }

    // The size first: a region of one rectangle is read from one cache line.
    size_t size_ = 0;
    RECT inline_[kInline];
    std::unique_ptr<RECT[]> heap_;
    size_t heapCapacity_ = 0;
};

// Inline: painting calls these some fifty times a progress step.
inline bool RectEmpty(const RECT &r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

// The common part of a and b; false (and r empty) when there is none.
inline bool RectIntersect(const RECT &a, const RECT &b, RECT &r)
{
    r = RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
    if (RectEmpty(r)) {
        r = RECT{0, 0, 0, 0};
        return false;
    }
    return true;
}

// Adds r to the region (only the parts not already in it).
void RegionAdd(Region &rgn, const RECT &r);
// Takes r out of the region.
void RegionSubtract(Region &rgn, const RECT &r);
// Keeps only the parts inside r.
void RegionClip(Region &rgn, const RECT &r);
// Keeps only the parts inside the other region.
void RegionIntersect(Region &rgn, const Region &other);
void RegionOffset(Region &rgn, int dx, int dy);
// The smallest rectangle holding the region (empty for an empty region).
RECT RegionBounds(const Region &rgn);

} // namespace plat

#endif
