// threadlock_test.cpp - the lock skipped while the process has one thread
// still excludes once threads exist, also when it was used alone before.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "kernel/threadlock.h"

namespace {

TEST(ThreadLock, ExcludesOnceThreadsExist)
{
    plat::ThreadLock lock;
    volatile long count = 0;
    {
        // Perhaps with no other thread yet: nothing is taken, nothing is
        // left held.
        std::lock_guard<plat::ThreadLock> guard(lock);
        ++count;
    }
    constexpr int kThreads = 4, kRounds = 200000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                std::lock_guard<plat::ThreadLock> guard(lock);
                // A read and a write apart, so that a lock that excludes
                // nothing loses counts.
                long seen = count;
                count = seen + 1;
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_FALSE(plat::ProcessAlone());
    EXPECT_EQ(count, 1 + long(kThreads) * kRounds);
}

} // namespace
