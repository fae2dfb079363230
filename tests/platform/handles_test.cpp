// The device's handle table: stale, foreign and hostile values refused,
// values not given again soon, objects freed outside the table's locks, and
// look-ups that stay right while other threads make and free handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "kernel/handles.h"

namespace {

using plat::HandleKind;

struct Thing : plat::HandleObject {
    explicit Thing(int v = 0) : value(v) {}
    int value;
};

// Frees another handle as it dies, as a DC frees the objects it made.
struct Holder : plat::HandleObject {
    uint32_t other = 0;
    bool *freed = nullptr;
    ~Holder() override { *freed = plat::HandleFree(other, HandleKind::Gdi); }
};

bool Legal(uint32_t h)
{
    return h >= 0x100 && h % 4 == 0 && h < 0x80000000u;
}

TEST(Handles, LiveHandleOfItsKindOnly)
{
    auto thing = std::make_shared<Thing>(7);
    uint32_t h = plat::HandleAlloc(HandleKind::File, thing);
    ASSERT_TRUE(Legal(h)) << h;
    EXPECT_EQ(plat::HandleGetAs<Thing>(h, HandleKind::File).get(), thing.get());
    EXPECT_EQ(plat::HandleGet(h, HandleKind::Window), nullptr) << "a file handle passed as a window";
    EXPECT_FALSE(plat::HandleFree(h, HandleKind::Window)) << "freed through the wrong kind";
    EXPECT_NE(plat::HandleGet(h, HandleKind::File), nullptr) << "a refused free must leave the handle";
    EXPECT_TRUE(plat::HandleFree(h, HandleKind::File));
    EXPECT_EQ(plat::HandleGet(h, HandleKind::File), nullptr) << "stale handle";
    EXPECT_FALSE(plat::HandleFree(h, HandleKind::File)) << "freed twice";
    EXPECT_EQ(thing.use_count(), 1) << "the table keeps no count of a freed object";
}

TEST(Handles, HostileValuesAreRefused)
{
    uint32_t live = plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>());
    const uint32_t values[] = {0, 1, 4, 0xFC, live + 1, live + 2, live + 3, 0x7FFFFFFC, 0x80000000u,
                               0x80000002u, 0xFFFFFFFFu, 0xFFFFFFFCu, 0x7FC000FCu};
    for (uint32_t v : values) {
        EXPECT_EQ(plat::HandleGet(v, HandleKind::Gdi), nullptr) << std::hex << v;
        EXPECT_FALSE(plat::HandleFree(v, HandleKind::Gdi)) << std::hex << v;
    }
    EXPECT_NE(plat::HandleGet(live, HandleKind::Gdi), nullptr);
    plat::HandleFree(live, HandleKind::Gdi);
}

// A handle made and freed over and over (a DC per paint) must not come back
// soon, and every value stays legal as the slots' generations wrap around.
TEST(Handles, FreedValuesAreNotGivenAgainSoon)
{
    uint32_t first = plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>());
    ASSERT_TRUE(plat::HandleFree(first, HandleKind::Gdi));
    std::set<uint32_t> recent;
    for (int i = 0; i < 4096; ++i) {
        uint32_t h = plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>());
        ASSERT_NE(h, first) << "given again after " << i << " others";
        EXPECT_TRUE(recent.insert(h).second) << "given twice within 4096";
        plat::HandleFree(h, HandleKind::Gdi);
    }
    // Then on until every generation of the reused slots has been passed
    // and they start again from the lowest values.
    bool top = false, wrapped = false;
    for (int i = 0; i < 20000000 && !wrapped; ++i) {
        uint32_t h = plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>());
        ASSERT_TRUE(Legal(h)) << std::hex << h << " after " << std::dec << i;
        top = top || h >= 0x7F000000u;
        wrapped = top && h < 0x1000000u;
        plat::HandleFree(h, HandleKind::Gdi);
    }
    EXPECT_TRUE(wrapped) << "the generations never wrapped round";
}

// Both ways of taking a handle (its object returned, or moved into a
// place the caller names), with the process alone and then with another
// thread alive (the locked path): a refused take hands nothing over and
// leaves the handle; a take hands the object over alive, and the value is
// then refused everywhere.
TEST(Handles, EachWayOfTakingHandsOverTheObjectOnce)
{
    using Take = std::shared_ptr<plat::HandleObject> (*)(uint32_t, HandleKind);
    const struct {
        const char *what;
        Take take;
    } ways[] = {
        {"returned", [](uint32_t h, HandleKind k) { return plat::HandleTake(h, k); }},
        {"moved into a place",
         [](uint32_t h, HandleKind k) {
             std::shared_ptr<plat::HandleObject> into;
             bool took = plat::HandleTakeInto(h, k, into);
             EXPECT_EQ(took, into != nullptr);
             return into;
         }},
    };
    for (bool threads : {false, true})
        for (const auto &way : ways) {
            SCOPED_TRACE(testing::Message() << way.what << (threads ? ", another thread alive" : ", alone"));
            std::atomic<bool> stop{false};
            std::thread other;
            if (threads)
                other = std::thread([&stop] {
                    while (!stop.load())
                        std::this_thread::yield();
                });
            auto thing = std::make_shared<Thing>(11);
            std::weak_ptr<Thing> seen = thing;
            uint32_t h = plat::HandleAlloc(HandleKind::Gdi, std::move(thing));
            ASSERT_TRUE(Legal(h));
            EXPECT_EQ(way.take(h, HandleKind::File), nullptr) << "another kind's";
            EXPECT_EQ(way.take(h + 4, HandleKind::Gdi), nullptr) << "a value not made";
            EXPECT_NE(plat::HandleGet(h, HandleKind::Gdi), nullptr) << "a refused take leaves the handle";
            std::shared_ptr<plat::HandleObject> taken = way.take(h, HandleKind::Gdi);
            ASSERT_NE(taken, nullptr);
            EXPECT_EQ(static_cast<Thing &>(*taken).value, 11);
            EXPECT_EQ(taken.use_count(), 1) << "the table keeps nothing of it";
            EXPECT_EQ(plat::HandleGet(h, HandleKind::Gdi), nullptr);
            EXPECT_EQ(way.take(h, HandleKind::Gdi), nullptr) << "taken once";
            EXPECT_FALSE(plat::HandleFree(h, HandleKind::Gdi));
            // The slot serves others later, never under the old value.
            std::vector<uint32_t> made;
            for (int i = 0; i < 2000; ++i) {
                uint32_t n = plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>());
                EXPECT_NE(n, h);
                made.push_back(n);
            }
            EXPECT_EQ(plat::HandleGet(h, HandleKind::Gdi), nullptr);
            for (uint32_t n : made)
                plat::HandleFree(n, HandleKind::Gdi);
            taken.reset();
            EXPECT_TRUE(seen.expired());
            stop = true;
            if (other.joinable())
                other.join();
        }
}

TEST(Handles, ObjectIsDestroyedOutsideTheTable)
{
    uint32_t inner = plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>());
    bool freed = false;
    auto holder = std::make_shared<Holder>();
    holder->other = inner;
    holder->freed = &freed;
    uint32_t outer = plat::HandleAlloc(HandleKind::Gdi, std::move(holder));
    ASSERT_TRUE(plat::HandleFree(outer, HandleKind::Gdi)); // would deadlock under the table's lock
    EXPECT_TRUE(freed);
    EXPECT_EQ(plat::HandleGet(inner, HandleKind::Gdi), nullptr);
}

TEST(Handles, ResetDropsEveryHandleAndIsCounted)
{
    uint64_t resets = plat::HandleResetCount();
    std::vector<uint32_t> made;
    for (int i = 0; i < 100; ++i)
        made.push_back(plat::HandleAlloc(i % 2 ? HandleKind::Window : HandleKind::RegKey, std::make_shared<Thing>(i)));
    plat::HandleReset();
    EXPECT_EQ(plat::HandleResetCount(), resets + 1);
    EXPECT_EQ(plat::HandleCount(HandleKind::Window), 0u);
    EXPECT_EQ(plat::HandleCount(HandleKind::RegKey), 0u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(plat::HandleGet(made[size_t(i)], i % 2 ? HandleKind::Window : HandleKind::RegKey), nullptr);
    uint32_t next = plat::HandleAlloc(HandleKind::Window, std::make_shared<Thing>());
    EXPECT_EQ(std::count(made.begin(), made.end(), next), 0) << "a value of before the reset given again at once";
    plat::HandleFree(next, HandleKind::Window);
}

// Threads make, look up and free their own handles while another looks up
// every value there may be: each look-up finds its own object or nothing.
TEST(Handles, ThreadsEachFindTheirOwnObjects)
{
    size_t before = plat::HandleCount(HandleKind::File);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread prowler([&] {
        while (!stop.load())
            for (uint32_t h = 0x100; h < 0x100 + 4 * 20000; h += 4)
                if (auto t = std::dynamic_pointer_cast<Thing>(plat::HandleGet(h, HandleKind::File)))
                    if (t->value < 0 || t->value >= 300000 || t->value % 100000 >= 20000)
                        ++wrong; // not an object a worker made: freed or torn
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < 20000; ++i) {
                int value = w * 100000 + i;
                uint32_t h = plat::HandleAlloc(HandleKind::File, std::make_shared<Thing>(value));
                auto t = plat::HandleGetAs<Thing>(h, HandleKind::File);
                if (!t || t->value != value)
                    ++wrong;
                if (!plat::HandleFree(h, HandleKind::File) || plat::HandleGet(h, HandleKind::File))
                    ++wrong;
            }
        });
    for (auto &t : workers)
        t.join();
    stop = true;
    prowler.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(plat::HandleCount(HandleKind::File), before);
}

// Threads making and freeing many handles at the same moment (the table's
// lock guards the free list and its growth): every handle made is its own,
// each finds its own object, and every one is freed once.
TEST(Handles, ThreadsMakingHandlesAtOnceGetDistinctOnes)
{
    size_t before = plat::HandleCount(HandleKind::File);
    constexpr int kThreads = 4, kEach = 3000;
    std::vector<std::vector<uint32_t>> made(kThreads);
    std::atomic<int> ready{0}, wrong{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kThreads; ++w)
        workers.emplace_back([&, w] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            for (int round = 0; round < 3; ++round) {
                for (int i = 0; i < kEach; ++i)
                    made[size_t(w)].push_back(
                        plat::HandleAlloc(HandleKind::File, std::make_shared<Thing>(w * 100000 + i)));
                for (int i = 0; i < kEach; ++i) {
                    auto t = plat::HandleGetAs<Thing>(made[size_t(w)][size_t(i)], HandleKind::File);
                    if (!t || t->value != w * 100000 + i)
                        ++wrong;
                }
                for (uint32_t h : made[size_t(w)])
                    if (!plat::HandleFree(h, HandleKind::File))
                        ++wrong;
                made[size_t(w)].clear();
            }
        });
    for (auto &t : workers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(plat::HandleCount(HandleKind::File), before);
}

} // namespace
