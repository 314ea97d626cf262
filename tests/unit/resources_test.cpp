// The external-resource table: growth that keeps indexes, the mark and sweep
// that releases each dead object once, kinds and explicit release.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/resources.h"
#include "kernel/runtime.h"

using namespace zel;

namespace {

std::vector<void*> released;
void note_release(void* object) { released.push_back(object); }

// Each case runs on a table of its own; the table other suites use comes back.
struct Resources : ::testing::Test {
    resources::Table saved = resources::table;
    uint32_t kind = 0;
    int objects[3000] = {};
    void SetUp() override {
        resources::init();
        kind = resources::register_kind("thing", note_release);
        released.clear();
    }
    void TearDown() override {
        heap::free(resources::table.kinds);
        heap::free(resources::table.slots);
        resources::table = saved;
    }
};

TEST_F(Resources, StoringTheThousandthObjectDoublesAndKeepsIndexes) {
    for (uint32_t i = 0; i < 999; i++) ASSERT_EQ(resources::store(&objects[i], kind), i);
    EXPECT_EQ(resources::table.capacity, 1000u);
    EXPECT_EQ(resources::store(&objects[999], kind), 999u);
    EXPECT_EQ(resources::table.capacity, 2000u);
    EXPECT_EQ(resources::store(&objects[1000], kind), 1000u);
    for (uint32_t i = 0; i <= 1000; i++) ASSERT_EQ(resources::table.slots[i].object, &objects[i]);
    EXPECT_EQ(resources::table.slots[1999].next, resources::END);
}

TEST_F(Resources, MarkedSlotSurvivesOnceThenIsReleasedExactlyOnce) {
    uint32_t a = resources::store(&objects[0], kind);
    resources::store(&objects[1], kind);
    EXPECT_TRUE(resources::mark(a, nullptr));
    EXPECT_FALSE(resources::mark(a, nullptr));
    resources::sweep();
    EXPECT_EQ(released, std::vector<void*>{&objects[1]});
    EXPECT_EQ(resources::table.slots[a].flags, kind);  // unmarked, still in use
    resources::sweep();
    resources::sweep();
    EXPECT_EQ(released, (std::vector<void*>{&objects[1], &objects[0]}));
    EXPECT_EQ(resources::table.used_head, resources::END);
}

TEST_F(Resources, MarkCanStoreANewObject) {
    uint32_t a = resources::store(&objects[0], kind);
    EXPECT_TRUE(resources::mark(a, &objects[5]));
    EXPECT_EQ(resources::table.slots[a].object, &objects[5]);
    EXPECT_FALSE(resources::mark(5000, nullptr));  // beyond the table
}

TEST_F(Resources, KindZeroOrUnknownReleasesNothing) {
    resources::store(&objects[0], 0);
    resources::store(&objects[1], 7);
    resources::sweep();
    resources::release_object(0, &objects[2]);
    resources::release_object(kind, &objects[3]);
    EXPECT_EQ(released, std::vector<void*>{&objects[3]});
    EXPECT_EQ(resources::table.used_head, resources::END);
}

TEST_F(Resources, ReleaseSlotFreesItForTheNextStore) {
    struct Case { bool release; size_t calls; };
    const Case cases[] = {{true, 1}, {false, 0}};
    for (const Case& c : cases) {
        released.clear();
        uint32_t keep = resources::store(&objects[0], kind);
        uint32_t s = resources::store(&objects[1], kind);
        EXPECT_EQ(resources::release_slot(s, c.release), -1);
        EXPECT_EQ(released.size(), c.calls);
        EXPECT_EQ(resources::table.slots[s].flags, resources::SLOT_FREE);
        EXPECT_EQ(resources::table.used_head, keep);
        EXPECT_EQ(resources::store(&objects[2], kind), s);
        resources::release_slot(s, false);
        resources::release_slot(keep, false);
    }
}

TEST_F(Resources, KindTableGrowsPastTwentyEntries) {
    uint32_t last = 0;
    for (int i = 0; i < 30; i++) last = resources::register_kind("more", note_release);
    EXPECT_EQ(last, 31u);
    resources::release_object(last, &objects[9]);
    EXPECT_EQ(released, std::vector<void*>{&objects[9]});
}

}  // namespace
