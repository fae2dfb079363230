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

// A live handle is found under its kind (and subtype, when asked for one)
// only; a refused free leaves it; freed, it is stale; and no value that was
// never made, nor one beside a live one, is taken for it.
TEST(Handles, LiveHandleOfItsKindOnlyAndHostileValuesRefused)
{
    auto thing = std::make_shared<Thing>(7);
    uint32_t h = plat::HandleAlloc(HandleKind::File, thing, 3);
    ASSERT_TRUE(Legal(h)) << h;
    EXPECT_EQ(plat::HandleGetAs<Thing>(h, HandleKind::File).get(), thing.get());
    EXPECT_EQ(plat::HandlePeekSub<Thing>(h, HandleKind::File, 3).get(), thing.get());
    EXPECT_EQ(plat::HandlePeekSub<Thing>(h, HandleKind::File, 2).get(), nullptr) << "another subtype";
    EXPECT_EQ(plat::HandleGet(h, HandleKind::Window), nullptr) << "a file handle passed as a window";
    EXPECT_FALSE(plat::HandleFree(h, HandleKind::Window)) << "freed through the wrong kind";
    const uint32_t values[] = {0, 1, 4, 0xFC, h + 1, h + 2, h + 3, 0x7FFFFFFC, 0x80000000u,
                               0x80000002u, 0xFFFFFFFFu, 0xFFFFFFFCu, 0x7FC000FCu};
    for (uint32_t v : values) {
        EXPECT_EQ(plat::HandleGet(v, HandleKind::File), nullptr) << std::hex << v;
        EXPECT_FALSE(plat::HandleFree(v, HandleKind::File)) << std::hex << v;
    }
    EXPECT_NE(plat::HandleGet(h, HandleKind::File), nullptr) << "a refused free must leave the handle";
    EXPECT_TRUE(plat::HandleFree(h, HandleKind::File));
    EXPECT_EQ(plat::HandleGet(h, HandleKind::File), nullptr) << "stale handle";
    EXPECT_EQ(plat::HandlePeekSub<Thing>(h, HandleKind::File, 3).get(), nullptr) << "stale handle";
    EXPECT_FALSE(plat::HandleFree(h, HandleKind::File)) << "freed twice";
    EXPECT_EQ(thing.use_count(), 1) << "the table keeps no count of a freed object";
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
    for (bool threads : {false, true})
        for (bool into : {false, true}) {
            SCOPED_TRACE(testing::Message() << (into ? "moved into a place" : "returned")
                                            << (threads ? ", another thread alive" : ", alone"));
            auto take = [into](uint32_t h, HandleKind k) {
                if (!into)
                    return plat::HandleTake(h, k);
                std::shared_ptr<plat::HandleObject> place;
                bool took = plat::HandleTakeInto(h, k, place);
                EXPECT_EQ(took, place != nullptr);
                return place;
            };
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
            EXPECT_EQ(take(h, HandleKind::File), nullptr) << "another kind's";
            EXPECT_EQ(take(h + 4, HandleKind::Gdi), nullptr) << "a value not made";
            EXPECT_NE(plat::HandleGet(h, HandleKind::Gdi), nullptr) << "a refused take leaves the handle";
            std::shared_ptr<plat::HandleObject> taken = take(h, HandleKind::Gdi);
            ASSERT_NE(taken, nullptr);
            EXPECT_EQ(static_cast<Thing &>(*taken).value, 11);
            EXPECT_EQ(taken.use_count(), 1) << "the table keeps nothing of it";
            EXPECT_EQ(plat::HandleGet(h, HandleKind::Gdi), nullptr);
            EXPECT_EQ(take(h, HandleKind::Gdi), nullptr) << "taken once";
            EXPECT_FALSE(plat::HandleFree(h, HandleKind::Gdi));
            // The slot serves others later, never under the old value.
            std::vector<uint32_t> made;
            for (int i = 0; i < 2000; ++i) {
                made.push_back(plat::HandleAlloc(HandleKind::Gdi, std::make_shared<Thing>()));
                EXPECT_NE(made.back(), h);
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

// Threads make, look up and free many handles at the same moment (the
// table's lock guards the free list and its growth) while another looks up
// every value there may be: every handle made is its own, each look-up
// finds its own object or nothing, and every handle is freed once.
TEST(Handles, ThreadsEachFindTheirOwnObjects)
{
    size_t before = plat::HandleCount(HandleKind::File);
    constexpr int kThreads = 3, kEach = 3000, kRounds = 6;
    std::atomic<bool> stop{false};
    std::atomic<int> ready{0}, wrong{0};
    std::thread prowler([&] {
        while (!stop.load())
            for (uint32_t h = 0x100; h < 0x100 + 4 * 20000; h += 4)
                if (auto t = std::dynamic_pointer_cast<Thing>(plat::HandleGet(h, HandleKind::File)))
                    if (t->value < 0 || t->value >= kThreads * 100000 || t->value % 100000 >= kEach)
                        ++wrong; // not an object a worker made: freed or torn
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < kThreads; ++w)
        workers.emplace_back([&, w] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            std::vector<uint32_t> made;
            for (int round = 0; round < kRounds; ++round) {
                for (int i = 0; i < kEach; ++i)
                    made.push_back(plat::HandleAlloc(HandleKind::File, std::make_shared<Thing>(w * 100000 + i)));
                for (int i = 0; i < kEach; ++i) {
                    auto t = plat::HandleGetAs<Thing>(made[size_t(i)], HandleKind::File);
                    if (!t || t->value != w * 100000 + i)
                        ++wrong;
                }
                for (uint32_t h : made)
                    if (!plat::HandleFree(h, HandleKind::File) || plat::HandleGet(h, HandleKind::File))
                        ++wrong;
                made.clear();
            }
        });
    for (auto &t : workers)
        t.join();
    stop = true;
    prowler.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(plat::HandleCount(HandleKind::File), before);
}

} // namespace
