// The memory manager: buffer sizes and flags, frame and big-series placement,
// growth that keeps the node, the nearly-full-frame rule, and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "kernel/fail.h"
#include "kernel/memory.h"
#include "kernel/memory_internal.h"
#include "kernel/runtime.h"
#include "tests/unit/test_support.h"

using namespace zel;

namespace {

// Runs a case on series frames and big series of its own, so that frame counts
// and free space are known; the nodes the case took are given back at the end.
struct OwnFrames {
    memory::Record saved;
    bool saved_request;
    OwnFrames() {
        test_support::memory_ready();
        saved = memory::record;
        saved_request = memory::is_collect_requested();
        memory::record.first_series_frame = nullptr;
        memory::record.last_series_frame = nullptr;
        memory::record.current_series_frame = nullptr;
        memory::record.first_big = nullptr;
        memory::record.next_frame_size = memory::record.first_frame_size;
        memory::clear_collect_request();
        memory::make_first_frames();
    }
    // The frames join the others: a series of another module that grew while
    // the case ran may live in them now, so nothing is freed.
    ~OwnFrames() {
        memory::Record& r = memory::record;
        SeriesFrame* own = r.first_series_frame;
        BigSeries* own_big = r.first_big;
        r.first_series_frame = saved.first_series_frame;
        r.last_series_frame = saved.last_series_frame;
        r.current_series_frame = saved.current_series_frame;
        r.first_big = saved.first_big;
        r.next_frame_size = saved.next_frame_size;
        if (saved_request) memory::request_collection();
        else memory::clear_collect_request();
        while (own) {
            SeriesFrame* next = own->next;
            memory::link_series_frame(own);
            own = next;
        }
        while (own_big) {
            BigSeries* next = own_big->next;
            own_big->prev = nullptr;
            own_big->next = r.first_big;
            if (r.first_big) r.first_big->prev = own_big;
            r.first_big = own_big;
            own_big = next;
        }
    }
    static int frames() {
        int n = 0;
        for (SeriesFrame* f = memory::record.first_series_frame; f; f = f->next) n++;
        return n;
    }
    static SeriesFrame* frame_holding(SeriesBuffer* b) {
        for (SeriesFrame* f = memory::record.first_series_frame; f; f = f->next)
            if (reinterpret_cast<uint8_t*>(b) >= f->first && reinterpret_cast<uint8_t*>(b) < f->free) return f;
        return nullptr;
    }
};

bool aligned8(SeriesBuffer* b) { return reinterpret_cast<uintptr_t>(series::data(b)) % 8 == 0; }

// Runs f and answers the id of the internal error it raised, or "" when none.
template <class F>
std::string internal_error(F f) {
    try {
        f();
    } catch (const Throw& t) {
        runtime::record.pending_code = 0;
        return t.code == EXIT_ERROR ? std::string(fail::last_id()) : "code " + std::to_string(t.code);
    }
    return "";
}

TEST(Memory, NewBuffersHaveTheirSizeUnitAndFlags) {
    test_support::memory_ready();
    struct Case { const char* what; Node n; uint32_t size, unit, length_room; };
    const Case cases[] = {
        {"new_bytes(0) is 16 bytes", series::new_bytes(0), 16, 1, 16},
        {"new_bytes(17) rounds to 32", series::new_bytes(17), 32, 1, 32},
        {"new_units(0, 1)", series::new_units(0, 1), 16, 1, 16},
        {"new_units(0, 2)", series::new_units(0, 2), 16, 2, 8},
        {"new_units(0, 4) has room for 4", series::new_units(0, 4), 16, 4, 4},
        {"new_units(5, 4)", series::new_units(5, 4), 32, 4, 8},
        {"new_cells(3)", series::new_cells(3), 48, 16, 3},
        {"new_cells(0)", series::new_cells(0), 0, 16, 0},
        {"new_fixed(40, 2, 0)", series::new_fixed(40, 2, 0), 40, 2, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SeriesBuffer* b = node::buffer(c.n);
        EXPECT_EQ(b->size, c.size);
        EXPECT_EQ(series::unit(b), c.unit);
        EXPECT_EQ(b->node, c.n);
        EXPECT_EQ(b->head, 0u);
        EXPECT_EQ(series::length(b), 0u);
        EXPECT_EQ(series::room(b) >> series::unit_shift(b), c.length_room);
        EXPECT_EQ(b->flags & (SER_IN_USE | SER_ALLOCATED), SER_IN_USE | SER_ALLOCATED);
        EXPECT_EQ(b->flags & SER_BIG, 0u);
        EXPECT_TRUE(aligned8(b));
    }
    EXPECT_TRUE(node::buffer(cases[8].n)->flags & SER_FIXED);
}

TEST(Memory, FilledAndUnsetBuffers) {
    test_support::memory_ready();
    SeriesBuffer* f = node::buffer(series::new_filled(20, 0xAB));
    for (uint32_t i = 0; i < 20; i++) EXPECT_EQ(series::data(f)[i], 0xAB);
    SeriesBuffer* u = node::buffer(series::new_cells_unset(3));
    for (int i = 0; i < 3; i++) EXPECT_EQ(reinterpret_cast<Cell*>(series::data(u))[i].header, uint32_t(T_UNSET));
    EXPECT_EQ(series::length(u), 0u);
}

TEST(Memory, MiddleHeadStaysOnAUnitBoundary) {
    test_support::memory_ready();
    struct Case { uint32_t units, unit, head; };
    const Case cases[] = {{3, 16, 16}, {4, 16, 32}, {10, 1, 8}, {12, 4, 24}};
    for (const Case& c : cases) {
        SeriesBuffer* b = node::buffer(series::alloc(c.units, c.unit, -1));
        EXPECT_EQ(b->head, c.head) << c.units << " x " << c.unit;
        EXPECT_EQ(b->tail, c.head);
        EXPECT_TRUE(b->flags & SER_MID_HEAD);
    }
    EXPECT_EQ(node::buffer(series::alloc(4, 16, 16))->head, 16u);
}

TEST(Memory, BigSeriesThreshold) {
    OwnFrames own;
    // The test is on the rounded data size plus header and spare word: 0x1FFFE8
    // bytes make exactly 0x200000 before rounding.
    struct Case { uint32_t bytes; bool big; };
    const Case cases[] = {{0x1FFFE0, false}, {0x1FFFE1, true}, {0x1FFFE8, true}, {0x300000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        SeriesBuffer* b = node::buffer(series::new_bytes(c.bytes));
        EXPECT_EQ((b->flags & SER_BIG) != 0, c.big);
        EXPECT_EQ(OwnFrames::frame_holding(b) == nullptr, c.big);
        EXPECT_GE(b->size, c.bytes);
        EXPECT_TRUE(aligned8(b));
    }
    EXPECT_TRUE(memory::is_collect_requested());
}

TEST(Memory, FramesAreOneThenTwoMebibytes) {
    OwnFrames own;
    SeriesFrame* first = memory::record.first_series_frame;
    EXPECT_EQ(first->end - first->first, 0x100000);
    EXPECT_FALSE(memory::is_collect_requested());
    SeriesBuffer* b = node::buffer(series::new_bytes(0x180000));  // too big for the first frame
    SeriesFrame* second = OwnFrames::frame_holding(b);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->end - second->first, 0x200000);
    EXPECT_EQ(memory::record.current_series_frame, second);
    EXPECT_TRUE(memory::is_collect_requested());
    EXPECT_EQ(memory::record.next_frame_size, 0x200000u);
    for (SeriesFrame* f = memory::record.first_series_frame; f && f->next; f = f->next) EXPECT_LT(f, f->next);
}

// Leaves the current frame with exactly free_bytes free.
void fill_frame_to(uint32_t free_bytes) {
    SeriesFrame* f = memory::record.current_series_frame;
    uint32_t used = uint32_t(f->end - f->free) - free_bytes;
    if (used % 16 == 0) {  // one buffer's need is 8 past a multiple of 16
        series::new_bytes(16);
        used -= 40;
    }
    series::new_bytes(used - BUFFER_OVERHEAD);
    ASSERT_EQ(uint32_t(f->end - f->free), free_bytes);
}

TEST(Memory, NearlyFullFrameIsPassedOverForANewOne) {
    // Free space moves in steps of 8: 52,424 is the largest below 52,428 and
    // 52,432 the smallest at or above it.
    struct Case { uint32_t left_free; bool new_frame; };
    const Case cases[] = {{52424, true}, {52432, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left_free);
        OwnFrames own;
        SeriesFrame* first = memory::record.current_series_frame;
        fill_frame_to(c.left_free);
        series::new_bytes(0x1FFFE0);  // fills a second frame but for 8 bytes
        ASSERT_EQ(OwnFrames::frames(), 2);
        SeriesBuffer* b = node::buffer(series::new_bytes(1000));
        EXPECT_EQ(OwnFrames::frames(), c.new_frame ? 3 : 2);
        EXPECT_EQ(OwnFrames::frame_holding(b) == first, !c.new_frame);
    }
}

TEST(Memory, AppendDoublesAndKeepsTheNode) {
    test_support::memory_ready();
    Node n = series::new_cells(0);
    Cell block;
    cell::make_series(&block, T_BLOCK, n);
    uint32_t expected_sizes[] = {16, 32, 64, 64, 128, 128, 128, 128};
    for (int32_t i = 0; i < 8; i++) {
        SeriesBuffer* before = node::buffer(n);
        Cell* c = block::append_slot(&block);
        EXPECT_EQ(c->header, uint32_t(T_UNSET));
        cell::make_integer(c, i);
        SeriesBuffer* b = node::buffer(n);
        EXPECT_EQ(b->size, expected_sizes[i]);
        EXPECT_EQ(b->node, n);
        if (b != before) {
            EXPECT_EQ(before->node, 0u);
            EXPECT_EQ(before->flags & SER_IN_USE, 0u);
        }
    }
    SeriesBuffer* b = node::buffer(n);
    ASSERT_EQ(series::length(b), 8u);
    for (int32_t i = 0; i < 8; i++) EXPECT_EQ(cell::get_int(series::cells(b) + i), i);
}

TEST(Memory, ReserveGrowsToFitAndAnswersTheOldTail) {
    test_support::memory_ready();
    struct Case { uint32_t used, reserve, size_after; };
    // Twice the request when it exceeds the area, else twice the area.
    const Case cases[] = {{0, 16, 16}, {10, 10, 32}, {0, 100, 208}, {16, 17, 48}, {5, 0, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.used << " + " << c.reserve);
        Node n = series::new_bytes(16);
        SeriesBuffer* b = node::buffer(n);
        for (uint32_t i = 0; i < c.used; i++) series::data(b)[i] = uint8_t(i + 1);
        b->tail = c.used;
        uint8_t* at = series::reserve(b, c.reserve);
        b = node::buffer(n);
        EXPECT_EQ(b->size, c.size_after);
        EXPECT_EQ(at, series::data(b) + c.used);
        EXPECT_EQ(b->tail, c.used + c.reserve);
        for (uint32_t i = 0; i < c.used; i++) EXPECT_EQ(series::data(b)[i], i + 1);
    }
}

TEST(Memory, ShrinkingCutsTheCopyAndTheTail) {
    OwnFrames own;
    Node n = series::new_bytes(64);
    SeriesBuffer* b = node::buffer(n);
    for (uint32_t i = 0; i < 64; i++) series::data(b)[i] = uint8_t(i + 1);
    b->tail = 64;
    SeriesBuffer* nb = series::expand(b, 16);
    EXPECT_EQ(node::buffer(n), nb);
    EXPECT_EQ(nb->size, 16u);
    EXPECT_EQ(nb->tail, 16u);
    for (uint32_t i = 0; i < 16; i++) EXPECT_EQ(series::data(nb)[i], i + 1);
    // Nothing was written past the new buffer: the frame is fresh there.
    SeriesFrame* f = memory::record.current_series_frame;
    for (uint8_t* p = series::data(nb) + 16; p < f->free + 64; p++) ASSERT_EQ(*p, 0) << p - series::data(nb);
}

TEST(Memory, ExpandKeepsContent) {
    test_support::memory_ready();
    Node n = series::new_bytes(16);
    SeriesBuffer* b = node::buffer(n);
    std::memcpy(series::data(b), "abc", 3);
    b->head = 1;
    b->tail = 3;
    SeriesBuffer* nb = series::expand(b, 40);
    EXPECT_EQ(nb->size, 48u);
    EXPECT_EQ(nb->head, 0u);
    EXPECT_EQ(nb->tail, 2u);
    EXPECT_EQ(std::memcmp(series::data(nb), "bc", 2), 0);
    EXPECT_EQ(series::expand(nb, 0)->size, 96u);  // 0: twice the size
}

TEST(Memory, CopiesTakeTheUsedPartAndTheFlags) {
    test_support::memory_ready();
    Node n = series::new_units(8, 2);
    SeriesBuffer* b = node::buffer(n);
    std::memcpy(series::data(b), "aabbccdd", 8);
    b->head = 2;
    b->tail = 8;
    series::set_flags(n, SER_OWNED | SER_COMPLEMENT);
    struct Case { const char* what; Node copy; const char* text; uint32_t flags; };
    const Case cases[] = {
        {"copy_buffer", series::copy_buffer(b), "bbccdd", SER_OWNED | SER_COMPLEMENT},
        {"copy_part", series::copy_part(n, 2, 2), "ccdd", SER_COMPLEMENT},
        {"copy_part past the tail", series::copy_part(n, 4, 9), "dd", SER_COMPLEMENT},
        {"copy_part beyond", series::copy_part(n, 40, 1), "", SER_COMPLEMENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SeriesBuffer* cb = node::buffer(c.copy);
        EXPECT_NE(c.copy, n);
        EXPECT_EQ(series::unit(cb), 2u);
        EXPECT_EQ(cb->flags & (SER_OWNED | SER_COMPLEMENT), c.flags);
        ASSERT_EQ(cb->tail - cb->head, std::strlen(c.text));
        EXPECT_EQ(std::memcmp(series::head_ptr(cb), c.text, cb->tail), 0);
    }
}

TEST(Memory, ReleasedNodeIsTakenAgainCleared) {
    test_support::memory_ready();
    Node n = series::new_bytes(4);
    NodeFrame* f = node::frame_of(n);
    ASSERT_NE(f, nullptr);
    // The buffer is left behind, as a move leaves one, so nothing later takes
    // it for the owner of the node.
    SeriesBuffer* b = node::buffer(n);
    b->flags &= ~SER_IN_USE;
    b->node = 0;
    uint32_t in_use = f->in_use;
    node::release(n);
    EXPECT_EQ(f->in_use, in_use - 1);
    EXPECT_EQ(node::buffer(n), nullptr);
    EXPECT_EQ(node::take(), n);
    EXPECT_EQ(node::buffer(n), nullptr);
    EXPECT_EQ(node::frame_of(0), nullptr);
    node::release(n);
}

// Empty node frames beyond a few (at least eight, at most as many as are in
// use) go back after a collection, their slots cleared; the current frame is
// one with room.
TEST(Memory, EmptyNodeFramesBeyondAFewAreReleasedAfterACollection) {
    test_support::memory_ready();
    Node keep = node::take();  // the older frame stays in use, whatever ran before
    uint32_t used = 0;
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next) used += f->in_use != 0;
    uint32_t allowed = std::max(8u, used), fresh_frames = allowed + 5;
    NodeFrame* last = memory::record.last_node_frame;
    std::vector<Node> taken;
    std::vector<uint32_t> indexes;
    while (indexes.size() < fresh_frames) {
        taken.push_back(node::take());
        if (memory::record.last_node_frame != last) {
            last = memory::record.last_node_frame;
            indexes.push_back(last->index);
        }
    }
    for (Node n : taken) node::release(n);
    memory::release_node_frames();
    uint32_t empty = 0, gone = 0;
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next) empty += f->in_use == 0;
    for (uint32_t index : indexes) gone += node::frame_slots[index] == nullptr;
    EXPECT_LE(empty, allowed);
    EXPECT_GE(gone, 5u);
    EXPECT_EQ(node::frame_of(taken.back()), nullptr);  // the last frame made is among those gone
    ASSERT_NE(memory::record.current_node_frame, nullptr);
    EXPECT_NE(memory::record.current_node_frame->first_free, 0u);
    node::release(keep);
}

TEST(Memory, OversizedRequestsRaiseNoMemory) {
    test_support::memory_ready();
    Node n = series::new_bytes(16);
    EXPECT_EQ(internal_error([] { series::new_units(0x40000000, 4); }), "no-memory");
    EXPECT_EQ(internal_error([] { series::new_units(0xFFFFFFFF, 16); }), "no-memory");
    EXPECT_EQ(internal_error([&] { series::reserve(node::buffer(n), 0xFFFFFFF0); }), "no-memory");
    EXPECT_EQ(node::buffer(n)->size, 16u);  // the failed growth left the series alone
}

TEST(Memory, SweepOfBigSeriesKeepsTheMarkedOnes) {
    OwnFrames own;
    Node kept = series::new_bytes(0x200000);
    Node dead = series::new_bytes(0x200000);
    uint64_t total = memory::record.total;
    node::buffer(kept)->flags |= SER_MARK;
    memory::sweep_big_series();
    EXPECT_EQ(node::buffer(kept)->flags & SER_MARK, 0u);
    EXPECT_EQ(memory::big_buffer(memory::record.first_big), node::buffer(kept));
    EXPECT_EQ(memory::record.first_big->next, nullptr);
    EXPECT_LT(memory::record.total, total);
    EXPECT_EQ(node::buffer(dead), nullptr);
}

// Empty series frames beyond two go back; the answer is the kept frames' bytes.
TEST(Memory, EmptySeriesFramesBeyondTwoAreReleased) {
    OwnFrames own;
    series::new_bytes(0x180000);  // a second frame, now current
    SeriesFrame* second = memory::record.current_series_frame;
    for (int i = 0; i < 3; i++) memory::new_series_frame();  // three more, empty
    ASSERT_EQ(OwnFrames::frames(), 5);
    uint64_t kept = memory::release_series_frames();  // the first holds nothing, nor do the three
    EXPECT_EQ(OwnFrames::frames(), 3);
    uint64_t empty_bytes = 0;
    bool second_stays = false;
    for (SeriesFrame* f = memory::record.first_series_frame; f; f = f->next) {
        if (f->free == f->first) empty_bytes += f->block_bytes;
        second_stays |= f == second;
    }
    EXPECT_TRUE(second_stays);
    EXPECT_GE(kept, empty_bytes);
    EXPECT_LT(kept, empty_bytes + 2 * PAGE_SIZE);
}


}  // namespace
