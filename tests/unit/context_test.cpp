// Contexts: making, lookup and growth with spellings, reading and assigning
// words with their errors, object fields, values on the value stack, binding.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/context.h"
#include "core/cycles.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/boot.h"
#include "kernel/memory.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::at;
using test_values::block_of;
using test_values::integer;
using test_values::name_of;
using test_values::Raised;
using test_values::raised;
using test_values::word_of;

using ContextTest = ::testing::Test;

// ---- small builders -----------------------------------------------------------------

Cell nested(uint32_t type, const std::vector<Cell>& cells) {
    Cell b = block_of(cells);
    cell::set_type(&b, type);
    return b;
}

std::vector<std::string> names(Node ctx) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < context::word_count(context::cell_of(ctx)); i++)
        out.push_back(name_of(cell::word_symbol(context::word_at(context::cell_of(ctx), int32_t(i)))));
    return out;
}

// A new object context of the spec's words, owned by an object whose
// change-handler word is handler.
Node object_context(const std::vector<Cell>& spec, uint32_t handler = 0) {
    Cell b = block_of(spec);
    Node ctx = context::make(&b, false, true, context::KIND_OBJECT);
    *context::owner_of(ctx) = Cell{T_OBJECT, ctx, 1, handler};
    return ctx;
}

// ---- making -----------------------------------------------------------------------------

TEST_F(ContextTest, MakeTakesTheWordsOfASpec) {
    Cell spec = block_of({word_of("a"), word_of("b"), word_of("c", T_REFINEMENT), word_of("e", T_SET_WORD),
                          word_of("d"), integer(5), word_of("f", T_GET_WORD), word_of("g", T_LIT_WORD)});
    Node ctx = context::make(&spec, false, false, context::KIND_FUNCTION);
    EXPECT_EQ(names(ctx), (std::vector<std::string>{"a", "b", "c", "d", "f", "g"}));
    const Cell* cc = context::cell_of(ctx);
    EXPECT_EQ(cell::type(cc), uint32_t(T_CONTEXT));
    EXPECT_EQ(context::kind_of(cc), uint32_t(context::KIND_FUNCTION));
    EXPECT_EQ(series::length(node::buffer(cell::context_values(cc))), 6u);
    EXPECT_EQ(cell::type(context::owner_of(ctx)), uint32_t(T_UNSET));
    for (int32_t i = 0; i < 6; i++) {
        const Cell* w = context::word_at(cc, i);
        EXPECT_EQ(cell::word_context(w), ctx);
        EXPECT_EQ(cell::word_index(w), i);
        EXPECT_EQ(cell::type(context::slot(ctx, i)), uint32_t(T_UNSET));
    }
}

TEST_F(ContextTest, MakeOfTheSpecABRefinementCDGivesFourWords) {
    Cell spec = block_of({word_of("a"), word_of("b"), word_of("c", T_REFINEMENT), word_of("d")});
    Node ctx = context::make(&spec, false, false, context::KIND_FUNCTION);
    EXPECT_EQ(names(ctx), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(ContextTest, CreateSetsTheHeaderFlags) {
    struct Case {
        bool on_stack, self;
        uint32_t kind;
    };
    for (const Case& k : {Case{false, false, 0}, Case{true, false, 1}, Case{false, true, 2}}) {
        Node ctx = context::create(0, k.on_stack, k.self, 0, k.kind);
        const Cell* cc = context::cell_of(ctx);
        EXPECT_EQ(context::kind_of(cc), k.kind);
        EXPECT_EQ(context::is_on_stack(cc), k.on_stack);
        EXPECT_EQ((cc->header & HDR_SELF) != 0, k.self);
        EXPECT_EQ(context::has_values(cc), !k.on_stack);
        if (!k.on_stack) {
            EXPECT_EQ(series::length(node::buffer(cell::context_values(cc))), 1u);  // raised to one word
        }
    }
}

TEST_F(ContextTest, CloneRebindsTheWordsAndStartsUnset) {
    Node ctx = object_context({word_of("x"), word_of("y")});
    cell::make_integer(context::slot(ctx, 0), 7);
    Cell object = *context::owner_of(ctx);
    Node copy = context::clone(&object, context::KIND_OBJECT);
    EXPECT_NE(copy, ctx);
    EXPECT_EQ(cell::object_context(&object), copy);
    EXPECT_EQ(names(copy), names(ctx));
    EXPECT_EQ(cell::word_context(context::word_at(context::cell_of(copy), 1)), copy);
    EXPECT_EQ(cell::word_context(context::word_at(context::cell_of(ctx), 1)), ctx);
    EXPECT_EQ(cell::type(context::slot(copy, 0)), uint32_t(T_UNSET));
    EXPECT_EQ(cell::get_int(context::slot(ctx, 0)), 7);
    EXPECT_TRUE(context::cell_of(copy)->header & HDR_SELF);
    Cell z = word_of("z");
    context::find_or_add(copy, &z);
    EXPECT_EQ(names(ctx).size(), 2u);  // the copy's words are its own
}

// ---- lookup and growth --------------------------------------------------------------------

TEST_F(ContextTest, LookupByExactOrAnySpelling) {
    Node ctx = object_context({word_of("look-h6")});
    uint32_t lower = symbol::intern("look-h6"), upper = symbol::intern("LOOK-H6");
    EXPECT_EQ(context::lookup_word(ctx, lower, false), 0);
    EXPECT_EQ(context::lookup_word(ctx, upper, false), -1);
    EXPECT_EQ(context::lookup_word(ctx, upper, true), 0);
    int32_t added = -5;
    EXPECT_EQ(context::lookup_word_in(ctx, upper, false, &added), -1);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(cell::word_symbol(context::word_at(context::cell_of(ctx), 1)), upper);
    EXPECT_EQ(context::lookup_word_in(ctx, upper, false, &added), 1);
}

TEST_F(ContextTest, FindOrAddAppendsAValueUnlessOnTheStack) {
    Node ctx = object_context({word_of("p")});
    uint32_t values = series::length(node::buffer(cell::context_values(context::cell_of(ctx))));
    Cell q = word_of("q"), big_p = word_of("P");
    EXPECT_EQ(context::find_or_add(ctx, &big_p), 0);
    EXPECT_EQ(context::find_or_add(ctx, &q), 1);
    EXPECT_EQ(series::length(node::buffer(cell::context_values(context::cell_of(ctx)))), values + 1);

    Node fn = context::create(1, true, false, 0, context::KIND_FUNCTION);
    EXPECT_EQ(context::find_or_add(fn, &q), 0);
    EXPECT_EQ(cell::context_values(context::cell_of(fn)), 0u);
}

TEST_F(ContextTest, PutAndCollectSetWords) {
    Node ctx = object_context({word_of("m")});
    Cell m = word_of("m"), n = word_of("n"), one = integer(1), two = integer(2);
    context::put(ctx, &n, &one);
    EXPECT_EQ(cell::get_int(context::slot(ctx, context::lookup_word(ctx, cell::word_symbol(&n), true))), 1);
    context::put(ctx, &n, &two);
    context::put(ctx, &m, &one);
    EXPECT_EQ(cell::get_int(context::slot(ctx, 1)), 2);
    EXPECT_EQ(cell::get_int(context::slot(ctx, 0)), 1);

    Cell body = block_of({word_of("m", T_SET_WORD), word_of("k"), word_of("o", T_SET_WORD), integer(3),
                          word_of("r", T_SET_WORD)});
    cell::set_series_index(&body, 1);  // from the second cell: m: is not collected (present anyway)
    EXPECT_TRUE(context::collect_set_words(ctx, &body));
    EXPECT_EQ(names(ctx), (std::vector<std::string>{"m", "n", "o", "r"}));
    EXPECT_FALSE(context::collect_set_words(ctx, &body));
    cell::set_series_index(&body, 99);  // past the tail: clamped, nothing to do
    EXPECT_FALSE(context::collect_set_words(ctx, &body));
}

// A later spelling of a global name gets its own word cell sharing the first
// spelling's slot; intern answers the first word under the caller's spelling.
TEST_F(ContextTest, GlobalSpellingsShareTheFirstSlot) {
    uint32_t lower = symbol::intern("share-h6");
    uint32_t upper = symbol::intern("SHARE-H6");
    uint32_t mixed = symbol::intern("Share-H6");
    Cell first = context::add_global(lower);
    Cell second = context::add_global(upper);
    EXPECT_EQ(cell::word_symbol(&second), upper);
    EXPECT_EQ(cell::word_index(&second), cell::word_index(&first));
    EXPECT_EQ(context::lookup_word(context::global_node, upper, false), cell::word_index(&first));
    Cell third = context::add_global(mixed);
    EXPECT_EQ(cell::word_index(&third), cell::word_index(&first));

    Cell seven = integer(7);
    word::set_value(&second, &seven);
    EXPECT_EQ(cell::get_int(word::get_value(&first)), 7);
    EXPECT_EQ(cell::get_int(word::get_value(&third)), 7);

    uint32_t words_before = context::word_count(context::cell_of(context::global_node));
    uint32_t roots_before = series::length(node::buffer(roots::block_node));
    Cell spelled = word::intern("sHARE-h6");
    EXPECT_EQ(name_of(cell::word_symbol(&spelled)), "sHARE-h6");
    EXPECT_EQ(cell::word_index(&spelled), cell::word_index(&first));
    EXPECT_EQ(context::word_count(context::cell_of(context::global_node)), words_before);
    EXPECT_EQ(series::length(node::buffer(roots::block_node)), roots_before + 1);
    EXPECT_EQ(cell::word_symbol(roots::at(roots_before)), cell::word_symbol(&spelled));
    EXPECT_EQ(cell::get_int(word::get_value(&spelled)), 7);
}

// Whichever spelling reaches the global context first, the others share its
// slot: one name never has two values.
TEST_F(ContextTest, AFirstSpellingAddedLaterSharesTheSlotToo) {
    uint32_t lower = symbol::intern("order-h6");
    uint32_t upper = symbol::intern("ORDER-H6");
    ASSERT_EQ(symbol::resolve(upper), lower);
    Cell later = context::add_global(upper);
    Cell first = context::add_global(lower);
    EXPECT_EQ(cell::word_symbol(&first), lower);
    EXPECT_EQ(cell::word_index(&first), cell::word_index(&later));
    Cell eight = integer(8);
    word::set_value(&first, &eight);
    EXPECT_EQ(cell::get_int(word::get_value(&later)), 8);
}

// Global lookups without regard to case answer what the word table answers,
// for every spelling, as words arrive, under a fresh global context and back
// in the old one, words added to it meanwhile included.
TEST_F(ContextTest, GlobalLookupsAgreeWithTheWordTable) {
    auto table_slot = [](Node ctx, uint32_t sym) {
        int32_t pos = hashtable::find_word(context::table_of(context::cell_of(ctx)), sym, true);
        return pos < 0 ? -1 : int32_t(cell::word_index(context::word_at(context::cell_of(ctx), pos)));
    };
    auto agree = [&](Node ctx, const std::vector<uint32_t>& syms) {
        for (uint32_t s : syms) EXPECT_EQ(context::lookup_word(ctx, s, true), table_slot(ctx, s)) << name_of(s);
    };
    Node old_global = context::global_node;
    std::vector<uint32_t> syms;
    for (int i = 0; i < 300; i++) {
        std::string n = std::to_string(i);
        uint32_t lower = symbol::intern(("index-h6-" + n).c_str());
        syms.push_back(lower);
        if (i % 3 == 0) syms.push_back(symbol::intern(("INDEX-H6-" + n).c_str()));
        if (i % 2 == 0) context::add_global(lower);
    }
    agree(old_global, syms);
    uint32_t other_spelling = symbol::intern("INDEX-H6-0");
    EXPECT_EQ(context::lookup_word(old_global, other_spelling, true), table_slot(old_global, other_spelling));
    EXPECT_GE(context::lookup_word(old_global, other_spelling, true), 0);
    EXPECT_EQ(context::lookup_word(old_global, symbol::intern("index-h6-1"), true), -1);

    Node fresh = context::create(8, false, false, 0, context::KIND_GLOBAL);
    context::global_node = fresh;
    Cell absent{T_WORD, 0, symbol::intern("index-h6-1"), 0};
    int32_t added = context::find_or_add(old_global, &absent);
    context::global_node = old_global;
    EXPECT_EQ(context::lookup_word(old_global, cell::word_symbol(&absent), true), added);

    context::global_node = fresh;
    Cell moved{T_WORD, 0, symbol::intern("index-h6-0"), 0};
    EXPECT_EQ(context::lookup_word(fresh, cell::word_symbol(&moved), true), -1);
    EXPECT_EQ(context::find_or_add(fresh, &moved), 0);
    EXPECT_EQ(context::lookup_word(fresh, other_spelling, true), 0);
    agree(fresh, syms);
    context::global_node = old_global;
    agree(old_global, syms);
}

TEST_F(ContextTest, AddGlobalKeepsTheWordWhileBooting) {
    uint32_t before = series::length(node::buffer(roots::block_node));
    runtime::booting = true;
    Cell w = context::add_global(symbol::intern("booted-h6"));
    runtime::booting = false;
    ASSERT_EQ(series::length(node::buffer(roots::block_node)), before + 1);
    EXPECT_EQ(cell::word_symbol(roots::at(before)), cell::word_symbol(&w));
    context::add_global(symbol::intern("later-h6"));
    EXPECT_EQ(series::length(node::buffer(roots::block_node)), before + 1);
}

TEST_F(ContextTest, GetWordCellUsesTheGlobalContextForStackValues) {
    Node ctx = object_context({word_of("cell-h6")});
    cell::make_integer(context::slot(ctx, 0), 3);
    EXPECT_EQ(cell::get_int(context::get_word_cell(symbol::intern("CELL-H6"), ctx)), 3);
    EXPECT_EQ(context::get_word_cell(symbol::intern("absent-h6"), ctx), nullptr);
    Node fn = context::create(1, true, false, 0, context::KIND_FUNCTION);
    Cell g = word_of("cell-h6");
    Cell four = integer(4);
    word::set_value(&g, &four);
    EXPECT_EQ(cell::get_int(context::get_word_cell(cell::word_symbol(&g), fn)), 4);
}

// ---- reading and assigning ---------------------------------------------------------------

TEST_F(ContextTest, ReadingAndAssigningRaiseByTheContextsState) {
    Cell spec = block_of({word_of("arg")});
    Node fn = context::make(&spec, true, false, context::KIND_FUNCTION);
    Cell bound = *context::word_at(context::cell_of(fn), 0);
    Cell loose = word_of("loose-h6");
    cell::set_word_index(&loose, uint32_t(-1));
    Cell one = integer(1);
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* id;
    };
    const Case cases[] = {
        {"read, index -1", [&] { word::get_value(&loose); }, "no-value"},
        {"read, not running", [&] { word::get_value(&bound); }, "not-in-context"},
        {"set, not running", [&] { word::set_value(&bound, &one); }, "not-defined"},
    };
    for (const Case& c : cases) {
        Raised r = raised(c.run);
        EXPECT_EQ(r.id, c.id) << c.what;
        EXPECT_EQ(name_of(cell::word_symbol(r.arg(1))), c.id == std::string("no-value") ? "loose-h6" : "arg") << c.what;
    }
}

TEST_F(ContextTest, UnboundWordsAreNotDefined) {
    Cell r = *words::refinement(words::R_part);
    Cell one = integer(1);
    EXPECT_EQ(raised([&] { word::get_value(&r); }).id, "not-defined");
    EXPECT_EQ(raised([&] { word::set_value(&r, &one); }).id, "not-defined");
}

TEST_F(ContextTest, AssigningAnIndexlessWordLooksItUpOrAddsIt) {
    Node ctx = object_context({word_of("have")});
    Cell have{T_WORD, ctx, symbol::intern("have"), uint32_t(-1)};
    Cell fresh{T_WORD, ctx, symbol::intern("fresh-h6"), uint32_t(-1)};
    Cell two = integer(2);
    context::set_word_value(&have, &two, ctx, false);
    EXPECT_EQ(cell::word_index(&have), 0u);
    context::set_word_value(&fresh, &two, ctx, false);
    EXPECT_EQ(cell::word_index(&fresh), 1u);
    EXPECT_EQ(cell::get_int(context::slot(ctx, 1)), 2);
}

TEST_F(ContextTest, SelfReadsAsTheOwner) {
    Node ctx = object_context({word_of("v")});
    Cell self{T_WORD, ctx, words::symbol(words::S_self), uint32_t(-1)};
    const Cell* owner = word::get_value(&self);
    EXPECT_EQ(cell::type(owner), uint32_t(T_OBJECT));
    EXPECT_EQ(cell::object_context(owner), ctx);
}

TEST_F(ContextTest, StoresIntoObjectFieldsSetTheAssignedBit) {
    Node ctx = object_context({word_of("f1"), word_of("f2")});
    Cell f2 = *context::word_at(context::cell_of(ctx), 1);
    Cell five = integer(5);
    word::set_value(&f2, &five);
    EXPECT_FALSE(context::word_at(context::cell_of(ctx), 0)->header & HDR_ASSIGNED);
    EXPECT_TRUE(context::word_at(context::cell_of(ctx), 1)->header & HDR_ASSIGNED);
    EXPECT_EQ(cell::get_int(context::slot(ctx, 1)), 5);

    Cell spec = block_of({word_of("g1")});
    Node fn = context::make(&spec, false, false, context::KIND_FUNCTION);
    Cell g1 = *context::word_at(context::cell_of(fn), 0);
    word::set_value(&g1, &five);
    EXPECT_FALSE(context::word_at(context::cell_of(fn), 0)->header & HDR_ASSIGNED);
}

struct Change {
    uint32_t word_symbol;
    int32_t old_value, new_value, slot_then;
    ptrdiff_t stack_depth;
};
std::vector<Change> changes;
Node watched = 0;

void record_change(Cell* owner, Cell* word, Cell* old_value, Cell* new_value) {
    EXPECT_EQ(cell::object_context(owner), watched);
    changes.push_back({cell::word_symbol(word), cell::get_int(old_value), cell::get_int(new_value),
                       cell::get_int(context::slot(watched, 0)), stack::reg.top - stack::reg.bottom});
}

TEST_F(ContextTest, AssigningAFieldTellsAnOwnerWithAHandler) {
    context::set_change_notifier(record_change);
    changes.clear();
    watched = object_context({word_of("watched-h6")}, 1);
    Cell w = *context::word_at(context::cell_of(watched), 0);
    Cell one = integer(1), two = integer(2);
    word::set_value(&w, &one);
    word::set_value(&w, &two);
    context::set_word_value(&w, &one, watched, false);  // the caller asks for no notification
    ptrdiff_t depth = stack::reg.top - stack::reg.bottom;
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].word_symbol, cell::word_symbol(&w));
    EXPECT_EQ(changes[1].old_value, 1);
    EXPECT_EQ(changes[1].new_value, 2);
    EXPECT_EQ(changes[1].slot_then, 2);              // the slot holds the new value already
    EXPECT_EQ(changes[1].stack_depth, depth + 1);    // the old value is on the stack meanwhile
    EXPECT_EQ(cell::get_int(context::slot(watched, 0)), 1);

    Node quiet = object_context({word_of("quiet-h6")}, 0);
    Cell q = *context::word_at(context::cell_of(quiet), 0);
    word::set_value(&q, &one);
    EXPECT_EQ(changes.size(), 2u);
    context::set_change_notifier(nullptr);
}

// A running function's values live on the value stack; a word added to its
// context afterwards has no cell there and is never written.
TEST_F(ContextTest, ValuesOnTheStackStayInsideTheFrame) {
    Cell spec = block_of({word_of("s1"), word_of("s2")});
    Node fn = context::make(&spec, true, false, context::KIND_FUNCTION);
    EXPECT_EQ(cell::context_stack_count(context::cell_of(fn)), 2u);
    Cell none;
    cell::make_none(&none);
    Cell* first = stack::push(&none);
    stack::push(&none);
    Cell guard = integer(99);
    Cell* after = stack::push(&guard);
    cell::set_context_values(context::cell_of(fn), stack::index_of(first));

    Cell s2 = *context::word_at(context::cell_of(fn), 1);
    Cell six = integer(6);
    word::set_value(&s2, &six);
    EXPECT_EQ(cell::get_int(first + 1), 6);
    EXPECT_EQ(cell::get_int(word::get_value(&s2)), 6);

    Cell late = word_of("late-h6");
    int32_t index = context::find_or_add(fn, &late);
    EXPECT_EQ(index, 2);
    Cell bound{T_WORD, fn, cell::word_symbol(&late), uint32_t(index)};
    EXPECT_EQ(raised([&] { word::set_value(&bound, &six); }).id, "not-defined");
    EXPECT_EQ(raised([&] { word::get_value(&bound); }).id, "not-in-context");
    EXPECT_EQ(cell::get_int(after), 99);
    cell::set_context_values(context::cell_of(fn), 0);
}

// The inline slot finder answers the slot that context::slot answers, or
// null where reading goes to get_word_value; its plain form also refuses an
// object's field, whose assignment is more than a copy.
TEST_F(ContextTest, BoundSlotAnswersAsTheSlotLookup) {
    Cell global = word_of("bound-h23");
    Node object = object_context({word_of("f")});
    Cell spec = block_of({word_of("s1")});
    Node fn = context::make(&spec, true, false, context::KIND_FUNCTION);
    Cell none;
    cell::make_none(&none);
    Cell* first = stack::push(&none);
    cell::set_context_values(context::cell_of(fn), stack::index_of(first));
    Cell late = word_of("late-h23");
    int32_t past = context::find_or_add(fn, &late);
    struct Case {
        const char* what;
        Cell word;
        bool found, plain_found;
    };
    const Case cases[] = {
        {"global", global, true, true},
        {"object field", *context::word_at(context::cell_of(object), 0), true, false},
        {"running function", *context::word_at(context::cell_of(fn), 0), true, true},
        {"past the values on the stack", Cell{T_WORD, fn, cell::word_symbol(&late), uint32_t(past)}, false, false},
        {"index -1", Cell{T_WORD, object, cell::word_symbol(&global), uint32_t(-1)}, false, false},
        {"unbound", Cell{T_WORD, 0, cell::word_symbol(&global), 0}, false, false},
    };
    for (const Case& c : cases) {
        Cell* expected = cell::word_context(&c.word) ? context::slot(cell::word_context(&c.word), cell::word_index(&c.word)) : nullptr;
        EXPECT_EQ(context::bound_slot(&c.word), c.found ? expected : nullptr) << c.what;
        EXPECT_EQ(context::bound_slot<true>(&c.word), c.plain_found ? expected : nullptr) << c.what;
    }
    cell::set_context_values(context::cell_of(fn), 0);
    Cell not_running = *context::word_at(context::cell_of(fn), 0);
    EXPECT_EQ(context::bound_slot(&not_running), nullptr);
    stack::pop(1);
}

// ---- binding -----------------------------------------------------------------------------

TEST_F(ContextTest, BindReachesNestedBlocksAndSkipsOtherWords) {
    Node ctx = object_context({word_of("ba"), word_of("bb"), word_of("bc")});
    Cell inner_paren = nested(T_PAREN, {word_of("bc", T_GET_WORD)});
    Cell path = nested(T_PATH, {word_of("bb"), word_of("ba", T_REFINEMENT)});
    Cell inner = block_of({word_of("BB", T_SET_WORD), inner_paren, path});
    Cell body = block_of({word_of("ba", T_LIT_WORD), inner, word_of("other-h6"), integer(1),
                          word_of("ba", T_ISSUE), word_of("self")});
    cell::set_series_index(&body, 1);  // binding starts at the head, not at the position
    context::bind(&body, ctx, false);
    EXPECT_EQ(cell::word_context(at(body, 0)), ctx);
    EXPECT_EQ(cell::word_index(at(body, 0)), 0u);
    EXPECT_EQ(cell::word_context(at(inner, 0)), ctx);
    EXPECT_EQ(cell::word_index(at(inner, 0)), 1u);
    EXPECT_EQ(cell::word_symbol(at(inner, 0)), symbol::intern("BB"));  // the spelling stays
    EXPECT_EQ(cell::word_index(at(inner_paren, 0)), 2u);
    EXPECT_EQ(cell::word_context(at(path, 1)), ctx);
    EXPECT_EQ(cell::word_context(at(body, 2)), context::global_node);
    EXPECT_EQ(cell::word_context(at(body, 4)), context::global_node);  // issues are not bound
    EXPECT_EQ(cell::word_context(at(body, 5)), context::global_node);  // self without the flag: a plain word
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(ContextTest, BindWithSelfMakesSelfReadAsTheOwner) {
    Node ctx = object_context({word_of("bs")});
    Cell body = block_of({word_of("self"), word_of("self", T_GET_WORD), word_of("bs")});
    context::bind(&body, ctx, true);
    EXPECT_EQ(cell::word_context(at(body, 0)), ctx);
    EXPECT_EQ(cell::word_index(at(body, 0)), -1);
    EXPECT_EQ(cell::object_context(word::get_value(at(body, 0))), ctx);
    EXPECT_EQ(cell::word_context(at(body, 1)), context::global_node);  // only a plain word! self
}

TEST_F(ContextTest, BindingABlockThatContainsItselfEnds) {
    Node ctx = object_context({word_of("loop-h6")});
    Cell body = block_of({word_of("loop-h6")});
    *block::append_slot(&body) = body;
    Cell outer = block_of({body, word_of("loop-h6")});
    context::bind(&outer, ctx, false);
    EXPECT_EQ(cell::word_context(at(body, 0)), ctx);
    EXPECT_EQ(cell::word_context(at(outer, 1)), ctx);
    EXPECT_EQ(cycles::depth(), 0u);
}

// Two copies hold the same words bound alike; a hash! is the same series in
// both (a clone keeps it shared).
void expect_bound_alike(const Cell& a, const Cell& b) {
    uint32_t n = block::buffer_length(&a);
    ASSERT_EQ(n, block::buffer_length(&b));
    for (uint32_t i = 0; i < n; i++) {
        const Cell* x = at(a, i);
        const Cell* y = at(b, i);
        ASSERT_EQ(cell::type(x), cell::type(y)) << i;
        if (types::is_any_word(cell::type(x))) {
            EXPECT_EQ(cell::word_symbol(x), cell::word_symbol(y)) << i;
            EXPECT_EQ(cell::word_context(x), cell::word_context(y)) << i;
            EXPECT_EQ(cell::word_index(x), cell::word_index(y)) << i;
        } else if (cell::type(x) == T_HASH) {
            EXPECT_EQ(cell::series_node(x), cell::series_node(y)) << i;
        } else if (types::is_any_block(cell::type(x))) {
            EXPECT_NE(cell::series_node(x), cell::series_node(y)) << i;
            expect_bound_alike(*x, *y);
        }
    }
}

// Every block the value reaches carries the series flags.
bool all_flagged(const Cell& b, uint32_t flags) {
    if ((node::buffer(cell::series_node(&b))->flags & flags) != flags) return false;
    for (uint32_t i = 0; i < block::buffer_length(&b); i++)
        if (types::is_any_block(cell::type(at(b, i))) && !all_flagged(*at(b, i), flags)) return false;
    return true;
}

// A copy bound as it is made binds what a bind of the finished copy binds,
// a hash! kept shared included, and flags every block the copy reaches.
TEST_F(ContextTest, CloneBoundBindsTheCopyAsBindBindsIt) {
    for (bool with_hash : {false, true}) {
        Cell spec = block_of({word_of("cb-a"), word_of("cb-b")});
        Node ctx = context::make(&spec, true, false, context::KIND_FUNCTION);
        Cell inner = block_of({word_of("cb-a"), word_of("other-h6")});
        Cell paren = nested(T_PAREN, {word_of("cb-b", T_SET_WORD), word_of("CB-A", T_GET_WORD)});
        Cell path = nested(T_PATH, {word_of("cb-a"), word_of("cb-b", T_REFINEMENT)});
        std::vector<Cell> cells{word_of("cb-a", T_LIT_WORD), word_of("self"), inner, paren, path, integer(1)};
        Cell hashed = nested(T_HASH, {word_of("cb-b"), block_of({word_of("cb-a")})});
        if (with_hash) cells.push_back(hashed);
        Cell body = block_of(cells, 1);
        Cell made;
        context::clone_bound(&body, &made, ctx, SER_LIBRARY);
        EXPECT_EQ(cell::word_context(at(inner, 0)), context::global_node) << with_hash;  // the source stays
        EXPECT_EQ(cell::word_context(at(hashed, 0)) == ctx, with_hash);  // the shared hash is bound
        EXPECT_TRUE(all_flagged(made, SER_LIBRARY)) << with_hash;
        Cell expected;
        block::clone(&body, &expected, true, true);
        context::bind(&expected, ctx, false);
        expect_bound_alike(expected, made);
        EXPECT_EQ(cycles::depth(), 0u);
    }
}

// The cycle stack holds 1000 entries: 999 nested blocks bind, 1000 raise
// too-deep and leave the stack empty.
TEST_F(ContextTest, BindNestingIsLimitedByTheCycleStack) {
    Node ctx = object_context({word_of("deep-h6")});
    for (uint32_t depth : {999u, 1000u}) {
        Cell innermost = block_of({word_of("deep-h6")});
        Cell b = innermost;
        for (uint32_t i = 1; i < depth; i++) b = block_of({b});
        Raised r = raised([&] { context::bind(&b, ctx, false); });
        EXPECT_EQ(r.id, depth == 999 ? "" : "too-deep") << depth;
        EXPECT_EQ(cell::word_context(at(innermost, 0)) == ctx, depth == 999) << depth;
        EXPECT_EQ(cycles::depth(), 0u);
    }
}

}  // namespace
