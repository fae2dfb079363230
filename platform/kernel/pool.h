// pool.h - memory for objects made and freed many times a second.
//
// A paint makes and frees several device contexts, a bitmap and a brush at
// every progress step. Their blocks (object and count together, as
// std::allocate_shared lays them out) go back to a short list of their size
// when freed and are taken from it again, instead of going through the
// heap each time.
#ifndef CE_PLATFORM_POOL_H
#define CE_PLATFORM_POOL_H

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>

#include "kernel/threadlock.h"

namespace plat {

// Freed blocks of one size and alignment; at most kKept are kept, the
// rest go back to the heap.
template <size_t Size, size_t Align> class BlockList {
public:
    static void *Take()
    {
        std::lock_guard<ThreadLock> guard(lock_);
        return count_ ? blocks_[--count_] : nullptr;
    }
    static bool Give(void *p)
    {
        std::lock_guard<ThreadLock> guard(lock_);
        if (count_ == kKept)
            return false;
        blocks_[count_++] = p;
        return true;
    }

private:
    static constexpr int kKept = 16;
    static inline ThreadLock lock_;
    static inline void *blocks_[kKept] = {};
    static inline int count_ = 0;
};

template <class T> struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U> PoolAllocator(const PoolAllocator<U> &) {}

    T *allocate(size_t n)
    {
        if (n == 1)
            if (void *p = BlockList<sizeof(T), alignof(T)>::Take())
                return static_cast<T *>(p);
        return static_cast<T *>(::operator new(n * sizeof(T), std::align_val_t(alignof(T))));
    }
    void deallocate(T *p, size_t n)
    {
        if (n == 1 && BlockList<sizeof(T), alignof(T)>::Give(p))
            return;
        ::operator delete(p, std::align_val_t(alignof(T)));
    }
    template <class U> bool operator==(const PoolAllocator<U> &) const { return true; }
    template <class U> bool operator!=(const PoolAllocator<U> &) const { return false; }
};

// std::make_shared with the object's memory from its pool.
template <class T, class... Args> std::shared_ptr<T> MakePooled(Args &&...args)
{
    return std::allocate_shared<T>(PoolAllocator<T>(), std::forward<Args>(args)...);
}

} // namespace plat

#endif
