// The output, comparison and logic natives: print and prin, the seven
// comparisons, same?, not, type? and the max/min engine.
//
// print reduces a block into one scratch block kept in the root block, so
// printing a block allocates no block of its own; a print nested in the
// reduced code appends after the values its caller already holds there, and
// every print cuts the scratch block back to where it found it, whichever way
// it leaves.
#include "interpreter/natives_output.h"

#include <cmath>
#include <cstring>

#include "core/block.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/logic.h"
#include "core/stack.h"
#include "core/string.h"
#include "datatypes/extremes.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "kernel/hooks.h"

namespace zel {
namespace natives {

int32_t last_line_end;

namespace {

constexpr int32_t NO_LIMIT = 0x7FFFFFFF;

Cell* arg(uint32_t k) { return stack::reg.base + k; }

// ---- print and prin ----------------------------------------------------------------

// Puts the scratch block back (tail and position) on every way out of a print.
struct ScratchMark {
    int32_t index;
    uint32_t tail;
    ScratchMark() {
        Cell* s = print_scratch();
        index = cell::series_index(s);
        tail = block::buffer_length(s);
        s->w1 = tail;
    }
    ~ScratchMark() {
        Cell* s = print_scratch();
        block::truncate_at(s, tail);
        s->w1 = uint32_t(index);
    }
    ScratchMark(const ScratchMark&) = delete;
    ScratchMark& operator=(const ScratchMark&) = delete;
};

// The values of the block's expressions, appended to the scratch block; false
// when an exit is pending (the frames are then already placed for it).
bool reduce_into_scratch(const Cell* code) {
    uint32_t position = uint32_t(cell::series_index(code));
    while (position < block::buffer_length(code)) {
        position = interp::eval_next_at(code, position, true);
        if (exits::pending()) return false;
        block::append_copy(print_scratch(), stack::top());
        stack::pop(1);
    }
    return true;
}

// Hands a string! as it is, anything else formed, to the print hooks.
void emit(Cell* value, bool line) {
    if (cell::type(value) == T_STRING) {
        Cell text = *value;
        uint32_t length = string::get_abs_length(&text);
        if (uint32_t(cell::series_index(&text)) > length) text.w1 = length;
        hooks::call(&text, line);
        return;
    }
    Cell* buffer = stack::push_slot();
    string::write_cell(buffer, 16);
    actions::form_dispatch(value, buffer, nullptr, NO_LIMIT);
    hooks::call(buffer, line);
}

void output(bool line) {
    if (cell::type(arg(0)) == T_BLOCK) {
        ScratchMark mark;
        if (!reduce_into_scratch(arg(0))) return;
        Cell reduced = *print_scratch();
        emit(&reduced, line);
    } else {
        emit(arg(0), line);
    }
    last_line_end = line ? 1 : 0;
    cell::make_unset(arg(0));
}

void print_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_print, r);
    output(true);
}

void prin_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_prin, r);
    output(false);
}

// ---- comparisons ---------------------------------------------------------------------

template <uint32_t INDEX, int32_t OP>
void compare_native(bool check, const int32_t* r) {
    if (check) check_args(INDEX, r);
    actions::compare_to_logic(OP);
}

// How same? compares two values of one type.
enum SameRule : uint8_t {
    SAME_ALL,      // all three payload words
    SAME_ALWAYS,   // every value of the type is the same
    SAME_W1,       // the first payload word
    SAME_W2,       // the second payload word
    SAME_W1_W2,    // position and node of a series; natives, actions, point2D!
    SAME_W2_W3,    // the bits of a float-like value; pair!, op!
    SAME_TUPLE,    // same length and bytes
    SAME_MONEY,    // the money compare
};

struct SameRow {
    uint32_t type;
    SameRule rule;
};

constexpr SameRow SAME_ROWS[] = {
    {T_DATATYPE, SAME_W1}, {T_LOGIC, SAME_W1}, {T_OBJECT, SAME_W1},
    {T_CHAR, SAME_W2}, {T_INTEGER, SAME_W2}, {T_BITSET, SAME_W2},
    {T_BLOCK, SAME_W1_W2}, {T_PAREN, SAME_W1_W2}, {T_PATH, SAME_W1_W2}, {T_LIT_PATH, SAME_W1_W2},
    {T_SET_PATH, SAME_W1_W2}, {T_GET_PATH, SAME_W1_W2}, {T_HASH, SAME_W1_W2},
    {T_STRING, SAME_W1_W2}, {T_FILE, SAME_W1_W2}, {T_URL, SAME_W1_W2}, {T_TAG, SAME_W1_W2},
    {T_EMAIL, SAME_W1_W2}, {T_REF, SAME_W1_W2}, {T_BINARY, SAME_W1_W2}, {T_VECTOR, SAME_W1_W2},
    {T_IMAGE, SAME_W1_W2},
    {T_FLOAT, SAME_W2_W3}, {T_PERCENT, SAME_W2_W3}, {T_PAIR, SAME_W2_W3}, {T_TIME, SAME_W2_W3},
    {T_TUPLE, SAME_TUPLE},
    {T_NONE, SAME_ALWAYS}, {T_UNSET, SAME_ALWAYS},
    {T_MONEY, SAME_MONEY},
    {T_ACTION, SAME_W1_W2}, {T_NATIVE, SAME_W1_W2}, {T_POINT2D, SAME_W1_W2},
    {T_OP, SAME_W2_W3},
};

struct SameTable {
    SameRule rules[TYPE_TABLE_SIZE];
    constexpr SameTable() : rules() {
        for (const SameRow& row : SAME_ROWS) rules[row.type] = row.rule;
    }
};
constexpr SameTable SAME_TABLE;

// A tuple keeps its length in header bits 19-22 and its bytes from payload
// word 1 on.
constexpr uint32_t TUPLE_LENGTH_SHIFT = 19;
constexpr uint32_t TUPLE_LENGTH_MASK = 0xFu << TUPLE_LENGTH_SHIFT;

bool is_same_tuple(const Cell* a, const Cell* b) {
    uint32_t length = (a->header & TUPLE_LENGTH_MASK) >> TUPLE_LENGTH_SHIFT;
    if (length != (b->header & TUPLE_LENGTH_MASK) >> TUPLE_LENGTH_SHIFT) return false;
    return std::memcmp(&a->w1, &b->w1, length < 12 ? length : 12) == 0;
}

bool is_same(Cell* a, Cell* b) {
    uint32_t type = cell::type(a);
    if (type != cell::type(b)) return false;
    switch (SAME_TABLE.rules[type]) {
    case SAME_ALWAYS: return true;
    case SAME_W1: return a->w1 == b->w1;
    case SAME_W2: return a->w2 == b->w2;
    case SAME_W1_W2: return a->w1 == b->w1 && a->w2 == b->w2;
    case SAME_W2_W3: return a->w2 == b->w2 && a->w3 == b->w3;
    case SAME_TUPLE: return is_same_tuple(a, b);
    case SAME_MONEY: return actions::compare_values(a, b, actions::OP_SAME) == 0;
    case SAME_ALL: break;
    }
    return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3;
}

void same_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_same, r);
    cell::make_logic(arg(0), is_same(arg(0), arg(1)));
}

// ---- not and type? -------------------------------------------------------------------

void not_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_not_, r);
    cell::make_logic(arg(0), !logic::is_truthy(arg(0)));
}

void type_of_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_type, r);
    uint32_t type = cell::type(arg(0));
    if (r[0] >= 0) {
        *arg(0) = types::name(type).word;
        cell::clear_flag(arg(0));
    } else {
        datatype::write_cell(arg(0), type);
    }
}

// ---- max and min -----------------------------------------------------------------------

bool is_nan_number(const Cell* v) {
    uint32_t type = cell::type(v);
    return (type == T_FLOAT || type == T_PERCENT) && std::isnan(cell::get_float(v));
}

bool is_plain_number(const Cell* v) {
    uint32_t type = cell::type(v);
    return type == T_FLOAT || type == T_PERCENT || type == T_INTEGER;
}

// A NaN against a number wins, whichever side it stands on; pairs, points
// and tuples go component by component; otherwise the compare action orders
// the two, so that for equal values max answers the first and min the
// second.
void extreme(bool max) {
    Cell* a = arg(0);
    Cell* b = arg(1);
    if (is_nan_number(a) && is_plain_number(b)) return;
    if (is_nan_number(b) && is_plain_number(a)) {
        *a = *b;
        return;
    }
    if (extremes::combine(max, a, b)) return;
    bool lesser = actions::compare(a, b, actions::OP_LESSER);
    if (lesser == max) *a = *b;
}

void max_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_max, r);
    extreme(true);
}

void min_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_min, r);
    extreme(false);
}

#define ZEL_COMPARE_SPEC(doc) "\"" doc "\" value1 [any-type!] value2 [any-type!]"

constexpr NativeDef DEFS[] = {
    {NAT_print, "print", R"~("Outputs a value followed by a newline" value [any-type!])~", print_native},
    {NAT_prin, "prin", R"~("Outputs a value" value [any-type!])~", prin_native},
    {NAT_is_equal, "equal?", ZEL_COMPARE_SPEC("Returns TRUE if two values are equal"),
     compare_native<25, actions::OP_EQUAL>},
    {NAT_is_not_equal, "not-equal?", ZEL_COMPARE_SPEC("Returns TRUE if two values are not equal"),
     compare_native<26, actions::OP_NOT_EQUAL>},
    {NAT_is_strict_equal, "strict-equal?", ZEL_COMPARE_SPEC("Returns TRUE if two values are equal, and also the same datatype"),
     compare_native<27, actions::OP_STRICT_EQUAL>},
    {NAT_is_lesser, "lesser?", ZEL_COMPARE_SPEC("Returns TRUE if the first value is less than the second"),
     compare_native<28, actions::OP_LESSER>},
    {NAT_is_greater, "greater?", ZEL_COMPARE_SPEC("Returns TRUE if the first value is greater than the second"),
     compare_native<29, actions::OP_GREATER>},
    {NAT_is_lesser_or_equal, "lesser-or-equal?", ZEL_COMPARE_SPEC("Returns TRUE if the first value is less than or equal to the second"),
     compare_native<30, actions::OP_LESSER_OR_EQUAL>},
    {NAT_is_greater_or_equal, "greater-or-equal?",
     ZEL_COMPARE_SPEC("Returns TRUE if the first value is greater than or equal to the second"),
     compare_native<31, actions::OP_GREATER_OR_EQUAL>},
    {NAT_is_same, "same?", ZEL_COMPARE_SPEC("Returns TRUE if two values have the same identity"), same_native},
    {NAT_not_, "not", R"~("Returns the logical complement of a value (truthy or falsy)" value [any-type!])~",
     not_native},
    {NAT_is_type, "type?",
     R"~("Returns the datatype of a value" value [any-type!]
        /word "Return a word value, rather than a datatype value")~",
     type_of_native},
    {NAT_max, "max", R"~("Returns the greater of the two values" value1 [scalar! series!] value2 [scalar! series!])~",
     max_native},
    {NAT_min, "min", R"~("Returns the lesser of the two values" value1 [scalar! series!] value2 [scalar! series!])~",
     min_native},
};
static_assert(matches_ids(DEFS), "a native row out of order or misnamed");

#undef ZEL_COMPARE_SPEC

}  // namespace

const Module module_output = {DEFS, sizeof DEFS / sizeof DEFS[0]};

}  // namespace natives
}  // namespace zel
