// threadlock.h - a mutex not taken while the process has one thread.
//
// Painting takes a few process-wide locks at every progress step (the
// message queues, the pool of pixel stores); each lock and unlock is an
// atomic operation, paid even when no other thread exists. While the
// process has one thread no other can hold the lock, and none starts inside
// a locked section (nothing there makes a thread), so the lock is skipped.
// Not for use with condition variables.
#ifndef CE_PLATFORM_THREADLOCK_H
#define CE_PLATFORM_THREADLOCK_H

#include <ext/atomicity.h>

#include <mutex>

namespace plat {

inline bool ProcessAlone()
{
    return __gnu_cxx::__is_single_threaded();
}

class ThreadLock {
public:
    void lock()
    {
        if (ProcessAlone())
            return;
        mutex_.lock();
        taken_ = true; // under the mutex
    }
    void unlock()
    {
        if (!taken_)
            return;
        taken_ = false;
        mutex_.unlock();
    }

private:
    std::mutex mutex_;
    bool taken_ = false;
};

} // namespace plat

#endif
