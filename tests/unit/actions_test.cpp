// Action dispatch: the table, lookup by the first argument's type and the
// port rule, the argument normalisations of the entries, and comparison.
// Implementations are stand-ins installed in the registry rows for each test,
// so that what the dispatch layer passes is seen exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "datatypes/error.h"
#include "test_values.h"

namespace zel {

namespace {

using test_values::integer;
using test_values::utf8_of;
using test_values::word_of;

using stack::reg;

ActionRow saved_rows[TYPE_TABLE_SIZE];

class ActionsTest : public ::testing::Test {
protected:
    void SetUp() override { std::memcpy(saved_rows, types::registry.rows, sizeof saved_rows); }
    void TearDown() override { std::memcpy(types::registry.rows, saved_rows, sizeof saved_rows); }
    static ActionRow& row(uint32_t type) { return types::registry.rows[type]; }
};

// A block of n integers, at index.
Cell block_of(uint32_t n, uint32_t index = 0) {
    Cell b;
    cell::make_series(&b, T_BLOCK, series::new_cells(n + 1), int32_t(index));
    for (uint32_t i = 0; i < n; i++) *block::append_slot(&b) = integer(int32_t(i));
    return b;
}

// Runs the action's entry (run_action); answers the error raised, or none.
// The result is left in *result when there is one.
Cell run(const char* action, std::initializer_list<Cell> args, std::initializer_list<int32_t> refs,
         test_values::Entry entry, Cell* result = nullptr) {
    test_values::Outcome o = test_values::run_action(action, entry, args, refs);
    if (o.code >= 0) return o.error;
    if (result) *result = o.value;
    return test_values::none();
}

uint32_t id_of(const Cell& err) { return cell::type(&err) == T_ERROR ? error::id_symbol(&err) : 0; }
uint32_t symbol_of(const char* name) { return symbol::intern(name); }

TEST_F(ActionsTest, TableHasAnEntryForEveryNamedAction) {
    for (uint32_t id = 1; id <= ACTION_COUNT; id++) {
        bool unnamed = id == ACT_eval_path || id == ACT_set_path || id == ACT_compare;
        EXPECT_EQ(actions::table[id - 1] == nullptr, unnamed) << id;
        EXPECT_EQ(actions::plain_table[id - 1] == nullptr, unnamed) << id;
    }
    EXPECT_EQ(actions::table[ACT_append - 1], &actions::append);
    EXPECT_EQ(actions::table[ACT_write - 1], &actions::write);
}

TEST_F(ActionsTest, UnsupportedActionRaisesExpectArg) {
    struct Case {
        const char* action;
        void (*entry)(const int32_t*);
        std::initializer_list<int32_t> refs;
    };
    row(T_INTEGER) = ActionRow{};
    const Case cases[] = {
        {"negate", actions::negate, {}},
        {"add", actions::add, {}},
        {"append", actions::append, {-1, -1, -1}},
        {"length?", actions::is_length, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        Cell err = run(c.action, {integer(5), integer(6)}, c.refs, c.entry);
        ASSERT_EQ(id_of(err), symbol_of("expect-arg"));
        EXPECT_EQ(cell::word_symbol(error::field(&err, error::FIELD_ARG1)), symbol_of(c.action));
        Cell* type = error::field(&err, error::FIELD_ARG2);
        EXPECT_EQ(cell::type(type), uint32_t(T_DATATYPE));
        EXPECT_EQ(cell::datatype_id(type), uint32_t(T_INTEGER));
    }
}

uint32_t made_type, made_proto_type;
const Cell* fake_make(Cell* proto, Cell*, uint32_t type) {
    made_type = type;
    made_proto_type = cell::type(proto);
    return &statics::true_cell;
}

TEST_F(ActionsTest, MakeDispatchesOnTheTypeADatatypeNames) {
    row(T_INTEGER).make = fake_make;
    row(T_INTEGER).to = fake_make;
    row(T_DATATYPE).make = nullptr;
    Cell type, result;
    cell::make_datatype(&type, T_INTEGER);
    for (auto entry : {actions::make, actions::to}) {
        made_type = 0;
        EXPECT_EQ(id_of(run("make", {type, integer(1)}, {}, entry, &result)), 0u);
        EXPECT_EQ(made_type, uint32_t(T_INTEGER));
        EXPECT_EQ(made_proto_type, uint32_t(T_DATATYPE));
        EXPECT_EQ(cell::type(&result), uint32_t(T_LOGIC));
        EXPECT_EQ(id_of(run("make", {integer(3), integer(1)}, {}, entry)), 0u);
        EXPECT_EQ(made_proto_type, uint32_t(T_INTEGER));
    }
    cell::make_datatype(&type, T_DATATYPE);  // datatype! has no make
    Cell err = run("make", {type, integer(1)}, {}, actions::make);
    ASSERT_EQ(id_of(err), symbol_of("expect-arg"));
    EXPECT_EQ(cell::datatype_id(error::field(&err, error::FIELD_ARG2)), uint32_t(T_DATATYPE));
}

int32_t picked;
const Cell* fake_pick(Cell*, int32_t index, Cell*) {
    picked = index;
    return &statics::none_cell;
}
int32_t poked;
const Cell* fake_poke(Cell*, int32_t index, Cell*, Cell* value) {
    poked = index * 100 + cell::get_int(value);
    return value;
}

TEST_F(ActionsTest, PickAndPokeIndexNumbers) {
    row(T_BLOCK).pick = fake_pick;
    row(T_BLOCK).poke = fake_poke;
    Cell ch;
    cell::make_char(&ch, 'a');
    struct Case {
        Cell index;
        int32_t number;
    };
    const Case cases[] = {
        {statics::true_cell, 1}, {statics::false_cell, 2}, {integer(7), 7},
        {integer(-3), -3},       {ch, 97},                 {statics::none_cell, 0},
    };
    Cell b = block_of(3);
    for (const Case& c : cases) {
        run("pick", {b, c.index}, {}, actions::pick);
        EXPECT_EQ(picked, c.number);
        Cell result;
        run("poke", {b, c.index, integer(5)}, {}, actions::poke, &result);
        EXPECT_EQ(poked, c.number * 100 + 5);
        EXPECT_EQ(cell::get_int(&result), 5);
    }
}

bool formed;
int32_t fake_form(Cell*, Cell* buffer, Cell*, int32_t limit) {
    formed = true;
    string::append_cstr(buffer, "[1 2 3]");
    return limit - 7;
}
bool mold_only, mold_all, mold_flat;
int32_t mold_indent;
int32_t fake_mold(Cell* v, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    mold_only = only, mold_all = all, mold_flat = flat, mold_indent = indent;
    return fake_form(v, buffer, part, limit);
}

TEST_F(ActionsTest, FormAndMoldCutToThePartLimit) {
    row(T_BLOCK).form = fake_form;
    row(T_BLOCK).mold = fake_mold;
    Cell b = block_of(3);
    struct Case {
        bool part;
        int32_t limit;
        const char* text;
        bool called;
    };
    const Case cases[] = {
        {false, 0, "[1 2 3]", true}, {true, 3, "[1 ", true}, {true, 100, "[1 2 3]", true},
        {true, 0, "", false},        {true, -1, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Cell result;
        formed = false;
        if (c.part) run("form", {b, integer(c.limit)}, {1}, actions::form, &result);
        else run("form", {b}, {-1}, actions::form, &result);
        EXPECT_EQ(cell::type(&result), uint32_t(T_STRING));
        EXPECT_EQ(utf8_of(&result), c.text);
        EXPECT_EQ(formed, c.called);
    }
    // mold /all /part 3: the flag has no argument, /part's lands at the same position.
    Cell result;
    run("mold", {b, integer(3)}, {-1, 1, -1, 1}, actions::mold, &result);
    EXPECT_EQ(utf8_of(&result), "[1 ");
    EXPECT_FALSE(mold_only);
    EXPECT_TRUE(mold_all);
    EXPECT_FALSE(mold_flat);
    EXPECT_EQ(mold_indent, 0);
}

struct Inserted {
    bool called;
    int32_t part, dup;
    bool only, append;
    uint32_t value_index;
} inserted;
const Cell* fake_insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    inserted = {true, part, dup, only, append, uint32_t(cell::series_index(value))};
    return series;
}
const Cell* fake_change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    inserted = {true, part, dup, only, false, uint32_t(cell::series_index(series))};
    (void)value;
    return series;
}

// append series value /part length /only /dup count: the frame holds series,
// value, then the arguments at the positions given.
TEST_F(ActionsTest, AppendNormalisesPartAndDup) {
    row(T_BLOCK).append = fake_insert;
    row(T_BLOCK).insert = fake_insert;
    Cell target = block_of(2);
    Cell value = block_of(5, 3);
    Cell other_buffer = block_of(5, 4);
    Cell same_buffer = value;
    cell::set_series_index(&same_buffer, 4);
    Cell before_value = value;
    cell::set_series_index(&before_value, 1);
    Cell past_tail = value;
    cell::set_series_index(&past_tail, 10);
    Cell at_head = value;
    cell::set_series_index(&at_head, 0);
    struct Case {
        const char* name;
        Cell value;
        Cell part;  // header 0: no /part
        Cell dup;   // header 0: no /dup
        bool called;
        int32_t length, count;
        uint32_t value_index;
        const char* error;
    };
    Cell none{};
    const Case cases[] = {
        {"plain", value, none, none, true, -1, 1, 3, nullptr},
        {"part 2", value, integer(2), none, true, 2, 1, 3, nullptr},
        {"part 0", value, integer(0), none, false, 0, 0, 0, nullptr},
        {"dup 3", value, none, integer(3), true, -1, 3, 3, nullptr},
        {"dup 0", value, none, integer(0), false, 0, 0, 0, nullptr},
        {"part -2 moves back", value, integer(-2), none, true, 2, 1, 1, nullptr},
        {"part -9 stops at the head", value, integer(-9), none, true, 3, 1, 0, nullptr},
        {"part negative at the head", at_head, integer(-1), none, false, 0, 0, 0, nullptr},
        {"part to a position", value, same_buffer, none, true, 1, 1, 3, nullptr},
        {"part to an earlier position", value, before_value, none, true, 2, 1, 1, nullptr},
        {"index past the tail", past_tail, integer(2), none, true, 2, 1, 5, nullptr},
        {"part on another buffer", value, other_buffer, none, false, 0, 0, 0, "invalid-refine-arg"},
        {"part of no series", integer(4), integer(1), none, false, 0, 0, 0, "invalid-part"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        inserted = {};
        bool part = c.part.header != 0, dup = c.dup.header != 0;
        Cell args[4] = {target, c.value, c.part, c.dup};
        Cell result;
        Cell err;
        if (part && dup) err = run("append", {args[0], args[1], args[2], args[3]}, {2, -1, 3}, actions::append, &result);
        else if (part) err = run("append", {args[0], args[1], args[2]}, {2, -1, -1}, actions::append, &result);
        else if (dup) err = run("append", {args[0], args[1], args[3]}, {-1, -1, 2}, actions::append, &result);
        else err = run("append", {args[0], args[1]}, {-1, -1, -1}, actions::append, &result);
        if (c.error) {
            EXPECT_EQ(id_of(err), symbol_of(c.error));
            EXPECT_FALSE(inserted.called);
            continue;
        }
        ASSERT_EQ(id_of(err), 0u);
        EXPECT_EQ(inserted.called, c.called);
        EXPECT_EQ(cell::series_node(&result), cell::series_node(&target));  // the series is the result either way
        if (!c.called) continue;
        EXPECT_EQ(inserted.part, c.length);
        EXPECT_EQ(inserted.dup, c.count);
        EXPECT_EQ(inserted.value_index, c.value_index);
        EXPECT_TRUE(inserted.append);
    }
    // insert passes the flag false; /only arrives as given.
    run("insert", {target, value}, {-1, 2, -1}, actions::insert);
    EXPECT_FALSE(inserted.append);
    EXPECT_TRUE(inserted.only);
}

TEST_F(ActionsTest, ChangeMeasuresItsTarget) {
    row(T_BLOCK).change = fake_change;
    Cell target = block_of(5, 4);
    run("change", {target, integer(1), integer(-3)}, {2, -1, -1}, actions::change);
    EXPECT_TRUE(inserted.called);
    EXPECT_EQ(inserted.part, 3);
    EXPECT_EQ(inserted.value_index, 1u);
}

int32_t raw_answer;
int32_t fake_compare(Cell*, Cell*, int32_t) { return raw_answer; }

// The compare entry reads the raw answer by the op; -2 raises under an
// ordering and means "different" otherwise.
TEST_F(ActionsTest, CompareReadsTheRawAnswerByOp) {
    row(T_INTEGER).compare = fake_compare;
    enum { F, T, RAISES };
    struct Case {
        int32_t op;
        int answers[4];  // for raw -1, 0, 1, -2
    };
    const Case cases[] = {
        {0, {F, T, F, F}},  {1, {T, F, T, T}},  {2, {F, T, F, F}},  {3, {T, F, F, RAISES}},
        {4, {T, T, F, RAISES}}, {5, {F, F, T, RAISES}}, {6, {F, T, T, RAISES}},
        {9, {F, T, F, F}},  {10, {F, T, F, F}}, {11, {F, T, F, F}}, {12, {F, T, F, F}},
    };
    const int32_t raws[4] = {-1, 0, 1, -2};
    Cell a = integer(1), b = integer(2);
    for (const Case& c : cases) {
        for (int i = 0; i < 4; i++) {
            SCOPED_TRACE(std::to_string(c.op) + " raw " + std::to_string(raws[i]));
            raw_answer = raws[i];
            Cell try_word = word_of("try");
            stack::enter_try(&try_word);
            bool answer = false;
            bool raised = exits::catch_error([&] { answer = actions::compare(&a, &b, c.op); });
            if (raised) {
                stack::adjust_result();
                EXPECT_EQ(id_of(*reg.base), symbol_of("invalid-compare"));
                EXPECT_EQ(cell::get_int(error::field(reg.base, error::FIELD_ARG2)), 2);
                stack::init();
            } else {
                stack::leave();
            }
            EXPECT_EQ(raised, c.answers[i] == RAISES);
            if (!raised) {
                EXPECT_EQ(answer, c.answers[i] == T);
            }
        }
    }
}

TEST_F(ActionsTest, CompareToLogicWritesTheResultSlot) {
    row(T_INTEGER).compare = fake_compare;
    raw_answer = -1;
    Cell result;
    run("lesser?", {integer(1), integer(2)}, {}, [](const int32_t*) { actions::compare_to_logic(3); },
        &result);
    EXPECT_EQ(cell::type(&result), uint32_t(T_LOGIC));
    EXPECT_EQ(cell::series_index(&result), 1u);
}

TEST_F(ActionsTest, CompareValuesAnswersSomeTypesItself) {
    row(T_INTEGER).compare = fake_compare;
    raw_answer = 17;
    auto callable = [](uint32_t type, uint32_t w1, uint32_t w3) {
        return Cell{type, w1, 0, w3};
    };
    struct Case {
        Cell a, b;
        int32_t answer;
    };
    const Case cases[] = {
        {statics::true_cell, statics::false_cell, 1},
        {statics::false_cell, statics::true_cell, -1},
        {statics::true_cell, statics::true_cell, 0},
        {callable(T_NATIVE, 3, 0), callable(T_NATIVE, 5, 0), -1},
        {callable(T_ACTION, 0x80000000u, 0), callable(T_ACTION, 1, 0), -1},  // signed
        {callable(T_OP, 5, 0), callable(T_OP, 5, 0), 0},
        {callable(T_FUNCTION, 9, 4), callable(T_FUNCTION, 1, 2), 1},
        {callable(T_ROUTINE, 0, 2), callable(T_ROUTINE, 0, 2), 0},
        {integer(1), integer(2), 17},
    };
    for (Case c : cases) EXPECT_EQ(actions::compare_values(&c.a, &c.b, 0), c.answer) << c.a.header;
}

bool actor_appended;
const Cell* actor_append(Cell* series, Cell*, int32_t, bool, int32_t, bool) {
    actor_appended = true;
    return series;
}

TEST_F(ActionsTest, PortActionsComeFromANativeActor) {
    static ActionRow actor{};
    actor.append = actor_append;
    uint32_t handle = actions::add_port_actor(&actor);
    ASSERT_NE(handle, 0u);
    row(T_PORT).form = fake_form;
    Node ctx = context::create(3, false, false, 0, context::KIND_OBJECT);
    Cell port{T_PORT, ctx, 0, 0};
    Cell* actor_field = context::value_at(ctx, 2);
    *actor_field = Cell{T_HANDLE, 0, handle, 0};
    actor_appended = false;
    EXPECT_EQ(id_of(run("append", {port, integer(1)}, {-1, -1, -1}, actions::append)), 0u);
    EXPECT_TRUE(actor_appended);
    EXPECT_EQ(id_of(run("insert", {port, integer(1)}, {-1, -1, -1}, actions::insert)),
              symbol_of("no-port-action"));
    // Below append, the port! row as for any type.
    formed = false;
    EXPECT_EQ(id_of(run("form", {port}, {-1}, actions::form)), 0u);
    EXPECT_TRUE(formed);
    // An actor that is no handle! leaves the port! row in charge, which
    // wants an actor object.
    cell::make_none(actor_field);
    EXPECT_EQ(id_of(run("append", {port, integer(1)}, {-1, -1, -1}, actions::append)),
              symbol_of("invalid-port"));
    EXPECT_EQ(actions::lookup_for_value<ACT_form>(T_PORT, &port), fake_form);
}

TEST_F(ActionsTest, PathLookupRaisesPathErrors) {
    row(T_INTEGER).eval_path = nullptr;
    Cell element = word_of("x"), parent = integer(3);
    Cell path = block_of(3);
    path.header = T_PATH;
    Cell try_word = word_of("try");
    stack::enter_try(&try_word);
    ASSERT_TRUE(exits::catch_error([&] { actions::eval_path_of(&parent, nullptr, &element, 1); }));
    stack::adjust_result();
    EXPECT_EQ(id_of(*reg.base), symbol_of("bad-path-type2"));
    EXPECT_EQ(cell::series_node(error::field(reg.base, error::FIELD_ARG1)), cell::series_node(&element));
    EXPECT_EQ(cell::series_index(error::field(reg.base, error::FIELD_ARG2)), uint32_t(T_INTEGER));
    stack::init();
    stack::enter_try(&try_word);
    ASSERT_TRUE(exits::catch_error([&] { actions::eval_path_of(&parent, &path, &element, 1); }));
    stack::adjust_result();
    EXPECT_EQ(id_of(*reg.base), symbol_of("bad-path-type"));
    Cell* rest = error::field(reg.base, error::FIELD_ARG3);
    EXPECT_EQ(cell::type(rest), uint32_t(T_PATH));
    EXPECT_EQ(cell::series_index(rest), 2u);
    EXPECT_EQ(cell::word_symbol(rest), cell::word_symbol(&path));
}

// Integers, chars, words and strings are compared in place; other key
// types go through their compare action.
TEST_F(ActionsTest, HashTablesCompareThroughTheCompareAction) {
    row(T_FLOAT).compare = fake_compare;
    Cell a, b;
    cell::make_float(&a, 1.0);
    cell::make_float(&b, 2.0);
    raw_answer = 0;
    EXPECT_TRUE(hashtable::equal(&a, &b, hashtable::OP_EQUAL));
    raw_answer = -2;
    EXPECT_FALSE(hashtable::equal(&a, &b, hashtable::OP_STRICT_EQUAL));
    row(T_FLOAT).compare = nullptr;  // no compare: the tables' own equality
    EXPECT_TRUE(hashtable::equal(&a, &a, hashtable::OP_EQUAL));
    EXPECT_FALSE(hashtable::equal(&a, &b, hashtable::OP_EQUAL));
}

}  // namespace
}  // namespace zel
