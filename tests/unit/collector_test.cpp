// The collector: what the roots keep, what dies, what moves and stays whole,
// marking by type, deep nesting, node-frame evacuation, and a random model of
// building, dropping and collecting checked against plain vectors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/cycles.h"
#include "core/hashtable.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "kernel/collector.h"
#include "kernel/memory.h"
#include "kernel/memory_internal.h"
#include "kernel/os.h"
#include "kernel/resources.h"
#include "kernel/temp_roots.h"
#include "tests/unit/test_support.h"
#include "tests/unit/test_values.h"

using namespace zel;

namespace {

using test_values::integer;

// Node frames of the other suites stand behind an empty frame for the time of
// a case: their nodes look free, so roots left by other suites mark nothing
// here, and the case's own frames take node numbers that no other suite uses.
NodeFrame hidden;

// Each case collects in a memory of its own: fresh node and series frames,
// an empty resource table, empty stacks, no ownership table and the collector
// switched on. Everything comes back afterwards.
struct Collector : ::testing::Test {
    memory::Record saved_record{};
    std::vector<SeriesBuffer**> saved_slots;
    resources::Table saved_resources{};
    collector::State saved_state{};
    bool saved_request = false, saved_stress = false;
    stack::Registers saved_stack{};
    Node saved_ownership = 0;

    void SetUp() override {
        test_support::memory_ready();
        saved_record = memory::record;
        saved_slots.assign(node::frame_slots, node::frame_slots + node::MAX_NODE_FRAMES);
        for (auto& s : node::frame_slots)
            if (s) s = hidden.slots;
        memory::Record& r = memory::record;
        r.first_node_frame = r.last_node_frame = r.current_node_frame = nullptr;
        r.first_series_frame = r.last_series_frame = r.current_series_frame = nullptr;
        r.first_big = nullptr;
        r.next_frame_size = r.first_frame_size;
        saved_request = memory::is_collect_requested();
        memory::clear_collect_request();
        memory::make_first_frames();
        saved_resources = resources::table;
        resources::init();
        saved_state = collector::state;
        collector::state.enabled = true;
        saved_stress = collector::is_stress();
        collector::set_stress(false);
        collector::state.evacuation = true;
        saved_stack = stack::reg;
        stack::init();
        saved_ownership = ownership::table_node;
        ownership::table_node = 0;
    }
    void TearDown() override {
        memory::free_all();
        std::copy(saved_slots.begin(), saved_slots.end(), node::frame_slots);
        memory::record = saved_record;
        heap::free(resources::table.kinds);
        heap::free(resources::table.slots);
        resources::table = saved_resources;
        collector::state = saved_state;
        collector::set_stress(saved_stress);
        if (saved_request) memory::request_collection();
        else memory::clear_collect_request();
        stack::reg = saved_stack;
        ownership::table_node = saved_ownership;
    }
};

bool alive(Node n) { return node::frame_of(n) && node::slot(n); }

uint32_t nodes_in_use() {
    uint32_t n = 0;
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next) n += f->in_use;
    return n;
}

uint32_t node_frames() {
    uint32_t n = 0;
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next) n++;
    return n;
}

uint32_t series_frames() {
    uint32_t n = 0;
    for (SeriesFrame* f = memory::record.first_series_frame; f; f = f->next) n++;
    return n;
}

Cell series_cell(uint32_t type, Node n) {
    Cell c{};
    cell::make_series(&c, type, n);
    return c;
}

Node block_of(const std::vector<Cell>& cells) {
    Node n = series::new_cells(uint32_t(cells.size()));
    SeriesBuffer* b = node::buffer(n);
    if (!cells.empty()) std::memcpy(series::writable_cells(b), cells.data(), cells.size() * sizeof(Cell));
    b->tail = b->head + uint32_t(cells.size() * sizeof(Cell));
    return n;
}

Node ints_block(const std::vector<int32_t>& values) {
    std::vector<Cell> cells;
    for (int32_t v : values) cells.push_back(integer(v));
    return block_of(cells);
}

Node text(const std::string& s) {
    Node n = series::new_bytes(uint32_t(s.size()));
    SeriesBuffer* b = node::buffer(n);
    std::memcpy(series::raw_bytes(b), s.data(), s.size());
    b->tail = b->head + uint32_t(s.size());
    return n;
}

std::string text_of(Node n) {
    SeriesBuffer* b = node::buffer(n);
    return std::string(reinterpret_cast<char*>(series::raw_bytes(b)), series::length(b));
}

std::vector<int32_t> ints_of(Node n) {
    std::vector<int32_t> out;
    SeriesBuffer* b = node::buffer(n);
    for (uint32_t i = 0; i < series::length(b); i++) out.push_back(cell::get_int(series::cells(b) + i));
    return out;
}

void append(Node block, const Cell& value) { *series::append_slot(node::buffer(block)) = value; }

// ---- roots, death and moving ----------------------------------------------------------

TEST_F(Collector, HeldSeriesSurvivesAndKeepsItsContentWhenCompactionMovesIt) {
    Node garbage = ints_block({1, 2, 3, 4, 5, 6, 7, 8});
    Node inner = text("inner text");
    Cell held = series_cell(T_BLOCK, block_of({integer(10), series_cell(T_STRING, inner), integer(30)}));
    Node kept_text = text("a held node");
    SeriesBuffer* block_before = node::buffer(cell::series_node(&held));
    SeriesBuffer* text_before = node::buffer(kept_text);
    {
        temp_roots::Hold hold_cell(&held);
        temp_roots::Hold hold_node(&kept_text);
        collector::collect();
    }
    EXPECT_FALSE(alive(garbage));
    ASSERT_TRUE(alive(cell::series_node(&held)));
    EXPECT_LT(node::buffer(cell::series_node(&held)), block_before);
    EXPECT_LT(node::buffer(kept_text), text_before);
    EXPECT_EQ(node::buffer(cell::series_node(&held))->node, cell::series_node(&held));
    Cell* c = series::writable_cells(node::buffer(cell::series_node(&held)));
    EXPECT_EQ(cell::get_int(c + 0), 10);
    EXPECT_EQ(cell::series_node(&c[1]), inner);
    EXPECT_EQ(text_of(inner), "inner text");
    EXPECT_EQ(cell::get_int(c + 2), 30);
    EXPECT_EQ(text_of(kept_text), "a held node");
    EXPECT_EQ(temp_roots::stack.count, 0u);
}

TEST_F(Collector, HoldEndsWithItsScopeAlsoOnAThrow) {
    Node n = text("short-lived");
    try {
        temp_roots::Hold hold(&n);
        throw Throw{EXIT_ERROR};
    } catch (const Throw&) {
    }
    EXPECT_EQ(temp_roots::stack.count, 0u);
    collector::collect();
    EXPECT_FALSE(alive(n));
}

TEST_F(Collector, HeldRunOfCellsKeepsEveryOne) {
    Cell run[3] = {series_cell(T_BLOCK, ints_block({1})), integer(7), series_cell(T_STRING, text("x"))};
    temp_roots::Hold hold(run, 3);
    collector::collect();
    EXPECT_TRUE(alive(cell::series_node(&run[0])));
    EXPECT_TRUE(alive(cell::series_node(&run[2])));
    EXPECT_EQ(ints_of(cell::series_node(&run[0])), std::vector<int32_t>{1});
}

TEST_F(Collector, ValueStackKeepsItsCellsUpToTheTopOnly) {
    Node kept = ints_block({1, 2, 3});
    Node above = text("above the top");
    Cell below_cell = series_cell(T_BLOCK, kept);
    Cell above_cell = series_cell(T_STRING, above);
    stack::push(&below_cell);
    stack::push(&above_cell);
    stack::pop(1);
    ASSERT_EQ(cell::series_node(&stack::reg.top[0]), above);
    collector::collect();
    EXPECT_FALSE(alive(above));
    ASSERT_TRUE(alive(cell::series_node(&stack::reg.top[-1])));
    EXPECT_EQ(ints_of(cell::series_node(&stack::reg.top[-1])), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(Collector, CallFramesKeepTheirContexts) {
    Node word_context = block_of({Cell{T_CONTEXT, 0, 0, 0}, integer(1)});
    Node lost = block_of({Cell{T_CONTEXT, 0, 0, 0}, integer(2)});
    Cell word{T_WORD, word_context, 1, 0};
    stack::enter_block(&word);
    collector::collect();
    EXPECT_TRUE(alive(stack::top_frame()->word_context));
    EXPECT_FALSE(alive(lost));
}

// The ownership table holds what it owns weakly: an entry goes when its key
// series dies, while the owner recorded in it lives on.
TEST_F(Collector, OwnershipEntriesOfDeadSeriesArePurged) {
    ownership::table_node = hashtable::make(8, nullptr, hashtable::KIND_OWNERSHIP, 3);
    Node owned = text("owned");
    Node lost = text("lost");
    Node owner = ints_block({9});
    for (Node key : {owned, lost}) {
        Cell* entry = hashtable::put(ownership::table_node, key);
        entry[0] = series_cell(T_STRING, key);
        entry[1] = series_cell(T_BLOCK, owner);
    }
    temp_roots::Hold hold(&owned);
    collector::collect();
    EXPECT_FALSE(alive(lost));
    EXPECT_TRUE(alive(owner));
    EXPECT_NE(hashtable::get(ownership::table_node, owned), nullptr);
    EXPECT_EQ(hashtable::get(ownership::table_node, lost), nullptr);
}

Node callback_node;
void mark_callback_node() { collector::mark_series(&callback_node); }

TEST_F(Collector, RegisteredCallbackKeepsItsValuesUntilUnregistered) {
    callback_node = block_of({series_cell(T_STRING, text("reached"))});
    Node inner = cell::series_node(series::cells(node::buffer(callback_node)));
    collector::register_(mark_callback_node);
    collector::collect();
    EXPECT_TRUE(alive(callback_node));
    EXPECT_EQ(text_of(inner), "reached");
    collector::unregister(mark_callback_node);
    collector::collect();
    EXPECT_FALSE(alive(callback_node));
    EXPECT_FALSE(alive(inner));
}

TEST_F(Collector, FixedBufferIsMarkedAgainInEveryCollection) {
    Node fixed = series::new_fixed(64, 16, 0);
    Node inner = ints_block({5, 6});
    *series::append_slot(node::buffer(fixed)) = series_cell(T_BLOCK, inner);
    temp_roots::Hold hold(&fixed);
    for (int i = 0; i < 3; i++) {
        collector::collect();
        ASSERT_TRUE(alive(inner)) << "collection " << i;
        EXPECT_FALSE(node::buffer(fixed)->flags & SER_MARK);
    }
    EXPECT_EQ(ints_of(inner), (std::vector<int32_t>{5, 6}));
}

TEST_F(Collector, BigSeriesLiveWhileHeldAndGoWhenNot) {
    Node kept = series::new_bytes(BIG_SERIES_THRESHOLD);
    Node lost = series::new_bytes(BIG_SERIES_THRESHOLD);
    ASSERT_TRUE(node::buffer(kept)->flags & SER_BIG);
    std::memset(series::raw_bytes(node::buffer(kept)), 0x5A, 100);
    temp_roots::Hold hold(&kept);
    collector::collect();
    EXPECT_FALSE(alive(lost));
    ASSERT_TRUE(alive(kept));
    EXPECT_FALSE(node::buffer(kept)->flags & SER_MARK);
    EXPECT_EQ(series::head_ptr(node::buffer(kept))[99], 0x5A);
    EXPECT_EQ(memory::record.first_big->next, nullptr);
}

// Empty frames beyond the two kept for reuse go back, and the kept ones count
// as growth already made: a collection requested by the frames a program
// fills next comes as soon as it would have without them.
TEST_F(Collector, DeadBuffersLeaveAndEmptyFramesGoBack) {
    std::vector<Node> lost;
    for (int i = 0; i < 120; i++) lost.push_back(series::new_bytes(60000));
    ASSERT_GT(series_frames(), 3u);
    uint32_t cycle = memory::record.cycle;
    collector::collect();
    for (Node n : lost) EXPECT_FALSE(alive(n));
    EXPECT_EQ(series_frames(), 2u);
    uint64_t kept = 0;
    for (SeriesFrame* f = memory::record.first_series_frame; f; f = f->next) kept += f->block_bytes;
    EXPECT_GE(memory::record.total - memory::record.total_collected, kept);
    EXPECT_EQ(nodes_in_use(), 0u);
    EXPECT_EQ(memory::record.cycle, cycle + 1);
    EXPECT_FALSE(collector::is_active());
    EXPECT_TRUE(alive(series::new_bytes(10)));
}

// ---- safe points -----------------------------------------------------------------------

// Fills the current frame with garbage until an allocation asks for a collection.
void fill_until_requested() {
    while (!memory::is_collect_requested()) series::new_bytes(60000);
}

TEST_F(Collector, DisabledCollectorLetsAllocationTakeNewFrames) {
    collector::state.enabled = false;
    uint32_t cycle = memory::record.cycle;
    fill_until_requested();
    EXPECT_EQ(series_frames(), 2u);
    collector::safe_point();
    collector::do_cycle();
    EXPECT_EQ(memory::record.cycle, cycle);
    EXPECT_TRUE(memory::is_collect_requested());
    memory::clear_collect_request();
    fill_until_requested();
    EXPECT_EQ(series_frames(), 3u);
}

TEST_F(Collector, SafePointCollectsOnRequestOrUnderStress) {
    struct Case {
        bool enabled, requested, stress, collects;
    };
    const Case cases[] = {
        {true, false, false, false}, {true, true, false, true},   {true, false, true, true},
        {false, true, false, false}, {false, false, true, false}, {false, true, true, false},
    };
    for (const Case& c : cases) {
        collector::state.enabled = c.enabled;
        collector::set_stress(c.stress);
        if (c.requested) memory::request_collection();
        else memory::clear_collect_request();
        uint32_t cycle = memory::record.cycle;
        collector::safe_point();
        EXPECT_EQ(memory::record.cycle, cycle + (c.collects ? 1 : 0))
            << c.enabled << c.requested << c.stress;
        if (c.collects) {
            EXPECT_FALSE(memory::is_collect_requested());
        }
    }
}

TEST_F(Collector, StressModeComesFromTheEnvironmentOnce) {
    struct Case {
        const char* value;
        bool stress;
    };
    const Case cases[] = {{"1", true}, {"0", false}, {"", false}, {"11", false}, {nullptr, false}};
    char saved[64];
    bool had = os::get_env("ZEL_GC_STRESS", saved, sizeof saved) > 0;
    for (const Case& c : cases) {
        os::set_env("ZEL_GC_STRESS", c.value);
        collector::init();
        EXPECT_EQ(collector::is_stress(), c.stress) << (c.value ? c.value : "(unset)");
        EXPECT_FALSE(collector::state.enabled);
        EXPECT_FALSE(collector::state.evacuation);
    }
    os::set_env("ZEL_GC_STRESS", had ? saved : nullptr);
}

// ---- marking by type -------------------------------------------------------------------

// A value to hold, the nodes it must keep alive and nodes it must not.
struct Shape {
    const char* name;
    std::function<Cell(std::vector<Node>& kept, std::vector<Node>& dropped)> build;
};

Node track(std::vector<Node>& list, Node n) {
    list.push_back(n);
    return n;
}

// A context cell: a word table over an empty word block, and its values.
Cell context_cell(std::vector<Node>& kept, std::vector<Node>& dropped, bool on_stack) {
    Cell words = series_cell(T_BLOCK, track(kept, series::new_cells(4)));
    Node table = track(kept, hashtable::make(4, &words, hashtable::KIND_WORDS, 0));
    Node values = track(on_stack ? dropped : kept, ints_block({1}));
    return Cell{T_CONTEXT | (on_stack ? uint32_t(HDR_ON_STACK) : 0u), table, values, 0};
}

// A context: the record of its cell and its owner cell.
Node context_of(std::vector<Node>& kept, std::vector<Node>& dropped) {
    Cell owner = series_cell(T_STRING, track(kept, text("owner")));
    return track(kept, block_of({context_cell(kept, dropped, false), owner}));
}

const Shape SHAPES[] = {
    {"block! and what it holds",
     [](auto& kept, auto&) {
         Node s = track(kept, text("nested"));
         return series_cell(T_BLOCK, track(kept, block_of({series_cell(T_STRING, s)})));
     }},
    {"get-path!", [](auto& kept, auto&) { return series_cell(T_GET_PATH, track(kept, ints_block({1}))); }},
    {"string! with its extra series",
     [](auto& kept, auto&) {
         Cell c = series_cell(T_STRING, track(kept, text("s")));
         cell::set_series_extra(&c, track(kept, text("extra")));
         return c;
     }},
    {"symbol!",
     [](auto& kept, auto&) {
         return Cell{T_SYMBOL, uint32_t(-1), track(kept, text("cached")), track(kept, text("name"))};
     }},
    {"context! with its values", [](auto& kept, auto& dropped) { return context_cell(kept, dropped, false); }},
    {"context! with values on the stack",
     [](auto& kept, auto& dropped) { return context_cell(kept, dropped, true); }},
    {"word! bound to a context",
     [](auto& kept, auto& dropped) {
         return Cell{T_WORD, context_of(kept, dropped), 1, 0};
     }},
    {"native!: spec and extra",
     [](auto& kept, auto& dropped) {
         return Cell{T_NATIVE, track(dropped, ints_block({0})), track(kept, ints_block({1})),
                     track(kept, ints_block({2}))};
     }},
    {"op! of a function!: its context too",
     [](auto& kept, auto& dropped) {
         return Cell{T_OP | (T_FUNCTION << HDR_OP_TYPE_SHIFT), context_of(kept, dropped),
                     track(kept, ints_block({1})), track(kept, ints_block({2}))};
     }},
    {"op! of a native!: no context",
     [](auto& kept, auto& dropped) {
         return Cell{T_OP | (T_NATIVE << HDR_OP_TYPE_SHIFT), track(dropped, ints_block({0})),
                     track(kept, ints_block({1})), track(kept, ints_block({2}))};
     }},
    {"function!",
     [](auto& kept, auto& dropped) {
         return Cell{T_FUNCTION, context_of(kept, dropped), track(kept, ints_block({1})),
                     track(kept, ints_block({2}))};
     }},
    {"binary!", [](auto& kept, auto&) { return series_cell(T_BINARY, track(kept, text("b"))); }},
    {"object! with a change handler",
     [](auto& kept, auto& dropped) {
         return Cell{T_OBJECT, context_of(kept, dropped), 1000001, track(kept, text("handler"))};
     }},
    {"map! and its table",
     [](auto& kept, auto&) {
         Cell block = series_cell(T_BLOCK, track(kept, ints_block({1, 2})));
         Node table = track(kept, hashtable::make(2, &block, hashtable::KIND_MAP, 0));
         Cell c = block;
         c.header = T_MAP;
         cell::set_series_extra(&c, table);
         return c;
     }},
    {"event! holding a series",
     [](auto& kept, auto&) { return Cell{T_EVENT | 0x1000u, 0, track(kept, ints_block({1})), 0}; }},
    {"event! without one",
     [](auto&, auto& dropped) { return Cell{T_EVENT, 0, track(dropped, ints_block({1})), 0}; }},
    {"integer! whose value looks like a node",
     [](auto&, auto& dropped) { return integer(int32_t(track(dropped, ints_block({1})))); }},
    {"none!", [](auto&, auto& dropped) { return Cell{T_NONE, track(dropped, text("a")), 0, 0}; }},
};

TEST_F(Collector, MarksWhatEachTypeRefersTo) {
    for (const Shape& s : SHAPES) {
        std::vector<Node> kept, dropped;
        Cell value = s.build(kept, dropped);
        temp_roots::Hold hold(&value);
        collector::collect();
        for (Node n : kept) EXPECT_TRUE(alive(n)) << s.name << ": node " << n;
        for (Node n : dropped) EXPECT_FALSE(alive(n)) << s.name << ": node " << n;
    }
}

std::vector<void*> released_objects;
void note_release(void* object) { released_objects.push_back(object); }

TEST_F(Collector, HandleKeepsItsResourceUnlessTheIndexIsNegative) {
    struct Case {
        int32_t index;
        bool keeps;
    };
    const Case cases[] = {{0, true}, {-1, false}, {INT32_MIN, false}};
    uint32_t kind = resources::register_kind("thing", note_release);
    int object = 0;
    for (const Case& c : cases) {
        released_objects.clear();
        uint32_t slot = resources::store(&object, kind);
        Cell handle{T_HANDLE, 0, 0, uint32_t(c.index == 0 ? int32_t(slot) : c.index)};
        temp_roots::Hold hold(&handle);
        collector::collect();
        EXPECT_EQ(released_objects.size(), c.keeps ? 0u : 1u) << c.index;
        EXPECT_EQ(resources::table.slots[slot].flags & resources::SLOT_MARK, 0u);
        if (c.keeps) resources::release_slot(slot, false);
    }
}

// ---- depth --------------------------------------------------------------------------------

constexpr uint32_t DEEP = 100000;

// A block holding a block holding a block ... DEEP levels down to an empty one.
Node deep_chain() {
    Node inner = series::new_cells(1);
    for (uint32_t i = 0; i < DEEP; i++) inner = block_of({series_cell(T_BLOCK, inner)});
    return inner;
}

TEST_F(Collector, DeeplyNestedBlocksAreMarkedWithoutRecursion) {
    Node kept = deep_chain();
    deep_chain();
    temp_roots::Hold hold(&kept);
    collector::collect();
    EXPECT_EQ(nodes_in_use(), DEEP + 1);
    uint32_t depth = 0;
    for (Node n = kept; series::length(node::buffer(n)); n = cell::series_node(series::cells(node::buffer(n)))) depth++;
    EXPECT_EQ(depth, DEEP);
}

// ---- node-frame evacuation ------------------------------------------------------------

// 10,100 texts fill the first node frame and begin a second; when the first
// half of them die, the second frame is sparse and steady and its nodes move
// into the first.
TEST_F(Collector, EvacuatedNodesAreForwardedEverywhereMarkingLooks) {
    constexpr uint32_t COUNT = 10100;
    Node root = series::new_cells(COUNT);
    for (uint32_t i = 0; i < COUNT; i++) append(root, series_cell(T_STRING, text(std::to_string(i))));
    ASSERT_EQ(node_frames(), 2u);
    Node held = cell::series_node(&series::cells(node::buffer(root))[COUNT - 1]);
    Node before = held;
    ASSERT_EQ(node::frame_of(held), memory::record.last_node_frame);
    for (uint32_t i = 0; i < COUNT / 2; i++) cell::make_none(series::writable_cells(node::buffer(root)) + i);
    temp_roots::Hold hold_root(&root);
    temp_roots::Hold hold_one(&held);
    cycles::init();
    cycles::push(held);
    ownership::table_node = hashtable::make(8, nullptr, hashtable::KIND_OWNERSHIP, 3);
    *hashtable::put(ownership::table_node, held) = series_cell(T_STRING, held);
    uint32_t evacuations = collector::state.evacuations;
    for (int i = 0; i < 12 && collector::state.evacuations == evacuations; i++) collector::collect();
    EXPECT_EQ(collector::state.evacuations, evacuations + 1);
    EXPECT_EQ(node_frames(), 1u);
    EXPECT_NE(held, before);
    EXPECT_TRUE(cycles::find(held));
    cycles::pop();
    Cell* owned = hashtable::get(ownership::table_node, held);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(cell::series_node(owned), held);
    EXPECT_EQ(hashtable::get(ownership::table_node, before), nullptr);
    EXPECT_EQ(text_of(held), std::to_string(COUNT - 1));
    Cell* c = series::writable_cells(node::buffer(root));
    for (uint32_t i = COUNT / 2; i < COUNT; i++) {
        ASSERT_TRUE(alive(cell::series_node(&c[i]))) << i;
        ASSERT_EQ(node::buffer(cell::series_node(&c[i]))->node, cell::series_node(&c[i]));
        ASSERT_EQ(text_of(cell::series_node(&c[i])), std::to_string(i));
    }
    EXPECT_EQ(cell::series_node(&c[COUNT - 1]), held);
    collector::collect();  // the old arrays of the rebuilt ownership table go
    EXPECT_EQ(nodes_in_use(), 1 + COUNT / 2 + 4);  // and the ownership table's four
}

TEST_F(Collector, NoEvacuationWhileSwitchedOff) {
    collector::state.evacuation = false;
    Node root = series::new_cells(10100);
    for (uint32_t i = 0; i < 10100; i++) append(root, series_cell(T_STRING, text("t")));
    for (uint32_t i = 0; i < 5050; i++) cell::make_none(series::writable_cells(node::buffer(root)) + i);
    temp_roots::Hold hold(&root);
    uint32_t evacuations = collector::state.evacuations;
    for (int i = 0; i < 12; i++) collector::collect();
    EXPECT_EQ(collector::state.evacuations, evacuations);
    EXPECT_EQ(node_frames(), 2u);
}

// ---- a random model ----------------------------------------------------------------------

// Entries of a held root block: each a block whose first cell is a text and the
// rest integers. Random steps build, drop, grow and collect; after each
// collection the memory must match the model exactly, and hold no more nodes
// than the model has series.
TEST_F(Collector, RandomBuildDropCollectMatchesAModel) {
    struct Entry {
        std::string text;
        std::vector<int32_t> ints;
    };
    std::vector<Entry> model;
    std::mt19937 rng(20240607);
    Node root = series::new_cells(8);
    temp_roots::Hold hold(&root);
    auto entry_node = [&](size_t i) { return cell::series_node(&series::cells(node::buffer(root))[i]); };
    auto check = [&](int step) {
        ASSERT_EQ(series::length(node::buffer(root)), model.size()) << step;
        for (size_t i = 0; i < model.size(); i++) {
            Cell* c = series::writable_cells(node::buffer(entry_node(i)));
            ASSERT_EQ(text_of(cell::series_node(c)), model[i].text) << step;
            std::vector<int32_t> ints = ints_of(entry_node(i));
            ints.erase(ints.begin());
            ASSERT_EQ(ints, model[i].ints) << step;
        }
        ASSERT_EQ(nodes_in_use(), 1 + 2 * model.size()) << step;
    };
    for (int step = 0; step < 4000; step++) {
        uint32_t op = rng() % 10;
        if (op < 4 || model.empty()) {
            Entry e{std::string(rng() % 40, char('a' + rng() % 26)), {}};
            for (uint32_t k = rng() % 30; k > 0; k--) e.ints.push_back(int32_t(rng()));
            std::vector<Cell> cells{series_cell(T_STRING, text(e.text))};
            for (int32_t v : e.ints) cells.push_back(integer(v));
            Node n = block_of(cells);
            if (rng() % 3) {
                append(root, series_cell(T_BLOCK, n));
                model.push_back(e);
            }
        } else if (op < 7) {
            size_t i = rng() % model.size();
            SeriesBuffer* b = node::buffer(root);
            Cell* c = series::writable_cells(b);
            c[i] = c[model.size() - 1];
            b->tail -= sizeof(Cell);
            model[i] = model.back();
            model.pop_back();
        } else if (op < 9) {
            size_t i = rng() % model.size();
            int32_t v = int32_t(rng());
            append(entry_node(i), integer(v));
            model[i].ints.push_back(v);
        } else {
            collector::collect();
            check(step);
        }
    }
    collector::collect();
    check(-1);
}

}  // namespace
