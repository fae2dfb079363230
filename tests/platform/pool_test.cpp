// pool_test.cpp - pooled object memory: a block is never handed to two live
// objects, alone or with threads, and objects are made and destroyed as
// std::make_shared would.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "kernel/pool.h"

namespace {

int g_live = 0; // objects made and not yet destroyed (single-threaded cases)

struct Tracked {
    explicit Tracked(int v) : value(v)
    {
        ++g_live;
        for (int &w : words)
            w = v;
    }
    ~Tracked() { --g_live; }
    bool Intact() const
    {
        for (int w : words)
            if (w != value)
                return false;
        return true;
    }
    int value;
    int words[13];
};

TEST(Pool, ABlockServesOneLiveObjectAtATime)
{
    // More rounds and objects than the pool keeps, freed in changing orders.
    std::vector<std::shared_ptr<Tracked>> live;
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 40; ++i)
            live.push_back(plat::MakePooled<Tracked>(round * 100 + i));
        std::set<const Tracked *> places;
        for (const auto &p : live) {
            EXPECT_TRUE(places.insert(p.get()).second) << "two live objects in one block";
            EXPECT_TRUE(p->Intact()) << "an object was written over";
        }
        EXPECT_EQ(g_live, int(live.size()));
        // Every other one goes, then the rest in reverse on odd rounds.
        std::vector<std::shared_ptr<Tracked>> kept;
        for (size_t i = 0; i < live.size(); ++i)
            if (i % 2)
                kept.push_back(live[i]);
        live.clear();
        if (round % 2)
            while (!kept.empty())
                kept.pop_back();
        live = std::move(kept);
    }
    live.clear();
    EXPECT_EQ(g_live, 0);
}

TEST(Pool, ThreadsMakingAndFreeingAtOnceKeepTheirObjects)
{
    struct Marked {
        explicit Marked(long v) : a(v), b(~v) {}
        long a, b;
    };
    constexpr int kThreads = 4, kRounds = 200000;
    std::vector<std::thread> threads;
    std::vector<int> spoiled(kThreads, 0);
    std::atomic<int> ready{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &spoiled, &ready] {
            // All start at once, so that the lists are shared while busy.
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
            }
            std::vector<std::shared_ptr<Marked>> mine;
            for (int i = 0; i < kRounds; ++i) {
                long v = long(t) << 32 | i;
                mine.push_back(plat::MakePooled<Marked>(v));
                if (mine.size() > 8) {
                    for (const auto &m : mine)
                        if (m->b != ~m->a || (m->a >> 32) != t)
                            ++spoiled[size_t(t)];
                    mine.erase(mine.begin(), mine.begin() + 5);
                }
            }
        });
    for (auto &th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(spoiled[size_t(t)], 0) << "thread " << t;
}

} // namespace
