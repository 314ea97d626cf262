// The ownership table, the value slots, the cycle stack and the runtime words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/context.h"
#include "core/cycles.h"
#include "core/ownership.h"
#include "core/runtime_words.h"
#include "core/symbol.h"
#include "core/value_slots.h"
#include "core/word.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::at;
using test_values::block_of;
using test_values::integer;
using test_values::raised;
using test_values::text;
using test_values::utf8_of;

using OwnershipTest = ::testing::Test;

// An object with the fields of the names, and a change handler when handler
// is not 0.
Cell object_of(const std::vector<const char*>& fields, uint32_t handler) {
    std::vector<Cell> spec;
    for (const char* f : fields) spec.push_back(word::intern(f));
    Cell b = block_of(spec);
    Node ctx = context::make(&b, false, true, context::KIND_OBJECT);
    Cell o{T_OBJECT, ctx, 1, handler};
    *context::owner_of(ctx) = o;
    return o;
}

bool series_owned(const Cell& v) { return node::buffer(cell::series_node(&v))->flags & SER_OWNED; }
bool context_owned(const Cell& o) { return context::cell_of(cell::object_context(&o))->header & HDR_OWNED; }

// ---- ownership ------------------------------------------------------------------------------

TEST_F(OwnershipTest, AssignReachesNestedSeriesAndObjects) {
    Cell owner = object_of({"items"}, 1);
    Cell field = *context::word_at(context::cell_of(cell::object_context(&owner)), 0);
    Cell name = text("name");
    Cell inner = block_of({name, integer(1)});
    Cell child = object_of({"c"}, 0);
    Cell child_text = text("child");
    *context::slot(cell::object_context(&child), 0) = child_text;
    Cell skipped = text("skipped");
    Cell outer = block_of({skipped, inner, child});
    cell::set_series_index(&outer, 1);  // from its position: the first string is not reached
    ownership::assign(&outer, &owner, &field);
    for (const Cell* v : {&outer, &inner, &name, &child_text}) EXPECT_TRUE(series_owned(*v));
    EXPECT_FALSE(series_owned(skipped));
    EXPECT_TRUE(context_owned(child));
    EXPECT_FALSE(context_owned(owner));
    Cell* recorded = ownership::owner_of(cell::series_node(&inner));
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(cell::object_context(recorded), cell::object_context(&owner));
    EXPECT_EQ(cell::word_symbol(&recorded[1]), cell::word_symbol(&field));
    EXPECT_EQ(cell::object_context(ownership::owner_of(cell::object_context(&child))), cell::object_context(&owner));
    EXPECT_EQ(ownership::owner_of(cell::series_node(&skipped)), nullptr);

    ownership::assign_object(&inner, &owner, &field);
    EXPECT_TRUE(context_owned(owner));
}

TEST_F(OwnershipTest, ReleaseUndoesTheNestedAssignment) {
    Cell owner = object_of({"f"}, 1);
    Cell field = *context::word_at(context::cell_of(cell::object_context(&owner)), 0);
    Cell deepest = block_of({text("x")});
    Cell inner = block_of({deepest});
    Cell outer = block_of({inner, integer(2)});
    ownership::assign(&outer, &owner, &field);
    ASSERT_TRUE(series_owned(deepest));
    ownership::release(&outer);
    for (const Cell* v : {&outer, &inner, &deepest, at(deepest, 0)}) {
        EXPECT_FALSE(series_owned(*v));
        EXPECT_EQ(ownership::owner_of(cell::series_node(v)), nullptr);
    }
}

TEST_F(OwnershipTest, AWalkDoesNotReenterWhatItIsInside) {
    Cell owner = object_of({"f"}, 1);
    Cell field = *context::word_at(context::cell_of(cell::object_context(&owner)), 0);
    Cell loop = block_of({integer(1)});
    *block::append_slot(&loop) = loop;
    Cell self_object = object_of({"me"}, 0);
    *context::slot(cell::object_context(&self_object), 0) = self_object;
    *block::append_slot(&loop) = self_object;
    ownership::assign(&loop, &owner, &field);
    EXPECT_TRUE(series_owned(loop));
    EXPECT_TRUE(context_owned(self_object));
    ownership::release(&loop);
    EXPECT_FALSE(series_owned(loop));
    EXPECT_FALSE(context_owned(self_object));
    EXPECT_EQ(cycles::depth(), 0u);
}

struct DeepChange {
    Node owner;
    uint32_t word, action;
    Node target;
    int32_t new_value, index, part;
};
std::vector<DeepChange> deep_changes;

void record_deep_change(Cell* owner, Cell* word, const Cell* target, const Cell* action, const Cell* new_value,
                        int32_t index, int32_t part) {
    deep_changes.push_back({cell::object_context(owner), cell::word_symbol(word), cell::series_node(action), cell::series_node(target), cell::get_int(new_value), index, part});
}

TEST_F(OwnershipTest, NotifyReachesOwnersWithAHandler) {
    ownership::set_notifier(record_deep_change);
    deep_changes.clear();
    Cell owner = object_of({"watched"}, 1);
    Cell field = *context::word_at(context::cell_of(cell::object_context(&owner)), 0);
    Cell owned = block_of({integer(1)});
    Cell loose = block_of({integer(1)});
    Cell silent_owner = object_of({"quiet"}, 0);
    Cell silent = block_of({});
    ownership::assign(&owned, &owner, &field);
    ownership::assign(&silent, &silent_owner, &field);
    Cell seven = integer(7);
    const Cell* appended = words::word(words::W_appended);
    EXPECT_TRUE(ownership::notify(&owned, appended, &seven, 1, 1));
    EXPECT_FALSE(ownership::notify(&loose, appended, &seven, 0, 1));
    EXPECT_TRUE(ownership::notify(&silent, appended, &seven, 0, 1));  // owned, but nobody to tell
    ASSERT_EQ(deep_changes.size(), 1u);
    const DeepChange& d = deep_changes[0];
    EXPECT_EQ(d.owner, cell::object_context(&owner));
    EXPECT_EQ(d.word, cell::word_symbol(&field));
    EXPECT_EQ(d.action, cell::series_node(appended));
    EXPECT_EQ(d.target, cell::series_node(&owned));
    EXPECT_EQ(d.new_value, 7);
    EXPECT_EQ(d.index, 1);
    EXPECT_EQ(d.part, 1);
    ownership::release(&owned);
    EXPECT_FALSE(ownership::notify(&owned, appended, &seven, 1, 1));
    EXPECT_EQ(deep_changes.size(), 1u);
}

TEST_F(OwnershipTest, OwnedObjectsAndImagesCarryTheirMark) {
    Cell owner = object_of({"f"}, 1);
    Cell field = *context::word_at(context::cell_of(cell::object_context(&owner)), 0);
    Cell child = object_of({"g"}, 0);
    Cell image;
    cell::make_series(&image, T_IMAGE, series::new_bytes(16));
    ownership::assign(&child, &owner, &field);
    ownership::assign(&image, &owner, &field);
    EXPECT_TRUE(context_owned(child));
    EXPECT_TRUE(image.header & HDR_OWNED);
    EXPECT_FALSE(series_owned(image));
    Cell number = integer(3);
    ownership::assign(&number, &owner, &field);  // nothing to own
    EXPECT_EQ(number.header, uint32_t(T_INTEGER));
}

// ---- value slots ---------------------------------------------------------------------------

TEST_F(OwnershipTest, ValueSlotsHandOutAndTakeBackHandles) {
    value_slots::init();
    Cell one = integer(1), two = integer(2);
    uint32_t a = value_slots::add(&one);
    uint32_t b = value_slots::add(&two);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_EQ(cell::get_int(value_slots::get(b)), 2);
    value_slots::free(a);
    value_slots::free(0);
    EXPECT_EQ(value_slots::add(&two), a);
    EXPECT_EQ(cell::get_int(value_slots::get(a)), 2);
}

TEST_F(OwnershipTest, ValueSlotsDoubleWhenFull) {
    value_slots::init();
    for (uint32_t i = 1; i <= value_slots::INITIAL_CAPACITY; i++) {
        Cell v = integer(int32_t(i));
        EXPECT_EQ(value_slots::add(&v), i);
    }
    Cell last = integer(-1);
    EXPECT_EQ(value_slots::add(&last), value_slots::INITIAL_CAPACITY + 1);
    EXPECT_EQ(series::length(node::buffer(value_slots::block_node)), 2 * value_slots::INITIAL_CAPACITY);
    for (uint32_t i = 1; i <= value_slots::INITIAL_CAPACITY; i++) {
        ASSERT_EQ(cell::get_int(value_slots::get(i)), int32_t(i));
    }
    Cell again = integer(5);
    EXPECT_EQ(value_slots::add(&again), value_slots::INITIAL_CAPACITY + 2);
}

// ---- the cycle stack -------------------------------------------------------------------------

TEST_F(OwnershipTest, CycleStackPushPopFind) {
    cycles::push(11);
    cycles::push(22);
    EXPECT_TRUE(cycles::find(11));
    EXPECT_TRUE(cycles::find(22));
    EXPECT_FALSE(cycles::find(33));
    cycles::pop();
    EXPECT_FALSE(cycles::find(22));
    cycles::drop(5);
    EXPECT_EQ(cycles::depth(), 0u);
    cycles::pop();  // empty: nothing happens
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(OwnershipTest, TheThousandthEntryIsTooDeep) {
    for (uint32_t i = 1; i < cycles::CAPACITY; i++) cycles::push(i);
    EXPECT_EQ(cycles::depth(), 999u);
    EXPECT_EQ(raised([] { cycles::push(1000); }).id, "too-deep");
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(OwnershipTest, MoldMarkersByType) {
    struct Case {
        uint32_t type;
        const char* mold;
    };
    const Case cases[] = {{T_BLOCK, "[...]"}, {T_HASH, "[...]"},  {T_PAREN, "(...)"},
                          {T_MAP, "#[...]"},  {T_PATH, "..."},    {T_SET_PATH, "..."},
                          {T_OBJECT, "make object! [...]"}};
    for (const Case& c : cases) {
        Cell v;
        if (c.type == T_OBJECT) {
            v = object_of({"o"}, 0);
        } else {
            cell::make_series(&v, c.type, series::new_cells(1));
        }
        for (bool mold : {true, false}) {
            Cell buffer = text("<");
            int32_t limit = 50;
            EXPECT_FALSE(cycles::mold_marker(&v, &buffer, &limit, mold));
            cycles::push(cycles::node_of(&v));
            EXPECT_TRUE(cycles::mold_marker(&v, &buffer, &limit, mold));
            cycles::pop();
            std::string want = std::string("<") + (mold ? c.mold : "...");
            EXPECT_EQ(utf8_of(&buffer), want);
            EXPECT_EQ(limit, 50 - int32_t(want.size() - 1));
        }
    }
}

// ---- runtime words ---------------------------------------------------------------------------

TEST_F(OwnershipTest, RuntimeWordsHaveTheirSpellings) {
    struct Case {
        uint32_t symbol;
        const char* name;
    };
    const Case symbols[] = {
        {words::symbol(words::S_spec), "spec"},        {words::symbol(words::S_logic_type), "logic!"},
        {words::symbol(words::S_macos), "macOS"},      {words::symbol(words::S_bar), "|"},
        {words::symbol(words::S_dash), "-"},           {words::symbol(words::S_is_events), "events?"},
        {words::symbol(words::S_no_trace), "no-trace"}, {cell::word_symbol(words::keyword(words::K_netbsd)), "NetBSD"},
        {cell::word_symbol(words::keyword(words::K_end)), "end"},     {cell::word_symbol(words::word(words::W_put_ed)), "put-ed"},
        {cell::word_symbol(words::word(words::W_tag_not_found)), "<not-found>"},
        {cell::word_symbol(words::word(words::W_on_deep_change)), "on-deep-change*"},
        {cell::word_symbol(words::word(words::W_tag_applied)), "<applied>"},
        {cell::word_symbol(words::refinement(words::R_with)), "with"}, {cell::word_symbol(words::issue_ooo()), "ooo"},
    };
    for (const Case& c : symbols) EXPECT_STREQ(symbol::get_cstr(c.symbol), c.name);
    EXPECT_EQ(words::table.changed_symbol, symbol::intern("changed"));
}

TEST_F(OwnershipTest, RuntimeWordsAreBoundAsTheirGroupsSay) {
    for (uint32_t k = 0; k < words::KEYWORD_COUNT; k++) {
        const Cell* w = words::keyword(words::Keyword(k));
        EXPECT_EQ(cell::type(w), uint32_t(T_WORD));
        EXPECT_EQ(cell::word_context(w), context::global_node);
        EXPECT_EQ(cell::word_symbol(context::word_at(context::cell_of(context::global_node), cell::word_index(w))), cell::word_symbol(w)) << k;
    }
    for (uint32_t i = 0; i < words::WORD_COUNT; i++) EXPECT_EQ(cell::word_context(words::word(words::Word(i))), context::global_node);
    for (uint32_t r = 0; r < words::REFINEMENT_COUNT; r++) {
        const Cell* ref = words::refinement(words::Refinement(r));
        EXPECT_EQ(cell::type(ref), uint32_t(T_REFINEMENT));
        EXPECT_EQ(cell::word_context(ref), 0u);
    }
    EXPECT_EQ(cell::type(words::issue_ooo()), uint32_t(T_ISSUE));
    EXPECT_EQ(cell::word_index(words::issue_ooo()), -1);
}

// On fresh tables, the symbols come out numbered in list order: the bare
// symbols first, then each word name not met before.
TEST_F(OwnershipTest, RuntimeSymbolsAreInternedInListOrder) {
    Node saved_block = symbol::block_node, saved_table = symbol::table_node, saved_global = context::global_node;
    words::Table saved_words = words::table;
    symbol::make_tables(symbol::BOOT_SYMBOLS);
    context::make_global();
    words::init();
    for (uint32_t s = 0; s < words::SYMBOL_COUNT; s++) EXPECT_EQ(words::symbol(words::Symbol(s)), s + 1) << s;
    uint32_t next = words::SYMBOL_COUNT + 1;
    for (uint32_t w = 0; w < words::WORD_COUNT; w++) {
        uint32_t id = cell::word_symbol(words::word(words::Word(w)));
        if (id >= next) {
            EXPECT_EQ(id, next++) << symbol::get_cstr(id);
        }
    }
    EXPECT_EQ(series::length(node::buffer(symbol::block_node)), next - 1);
    symbol::block_node = saved_block;
    symbol::table_node = saved_table;
    context::global_node = saved_global;
    words::table = saved_words;
}

}  // namespace
