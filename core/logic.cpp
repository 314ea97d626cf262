// unset!, none! and logic!: their actions, their registration (which the
// shared static cells stand beside) and the truth tests.
#include "core/logic.h"

#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/stack.h"
#include "core/support.h"
#include "kernel/fail.h"
#include "kernel/memory.h"

namespace zel {

namespace statics {
const Cell unset_cell = {T_UNSET, 0, 0, 0};
const Cell none_cell = {T_NONE, 0, 0, 0};
const Cell true_cell = {T_LOGIC, 1, 0, 0};
const Cell false_cell = {T_LOGIC, 0, 0, 0};
}  // namespace statics

namespace {

// compare of a type without a payload: every value of it is the same.
int32_t compare_empty(const Cell* value2, uint32_t type, int32_t op) {
    return cell::type(value2) == type && compare_common::is_identity_op(op) ? 0 : -2;
}

const Cell* logic_of(bool b) { return b ? &statics::true_cell : &statics::false_cell; }

}  // namespace

// ---- unset! -----------------------------------------------------------------

namespace unset {

Cell* append_new(const Cell* block) {
    Cell* c = block::append_slot(block);
    cell::make_unset(c);
    return c;
}

Cell* push() { return stack::push(&statics::unset_cell); }
void set_result() { cell::make_unset(stack::reg.base); }

const Cell* make(Cell*, Cell*, uint32_t) { return &statics::unset_cell; }

int32_t form(Cell*, Cell*, Cell*, int32_t limit) { return limit; }

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    return datatype::append_mold(buffer, "unset", 5, all, limit);
}

int32_t compare(Cell*, Cell* value2, int32_t op) { return compare_empty(value2, T_UNSET, op); }

void init() {
    datatype::register_({.id = T_UNSET, .parent = 0, .name = "unset!", .make = make, .to = make,
                         .form = form, .mold = mold, .compare = compare});
}

}  // namespace unset

// ---- none! ------------------------------------------------------------------

namespace none {

Cell* append_new(const Cell* block) {
    Cell* c = block::append_slot(block);
    cell::make_none(c);
    return c;
}

Cell* push() { return stack::push(&statics::none_cell); }
void set_result() { cell::make_none(stack::reg.base); }

const Cell* make(Cell*, Cell*, uint32_t) { return &statics::none_cell; }

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "none", 4, limit); }

int32_t mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    return datatype::append_mold(buffer, "none", 4, all, limit);
}

int32_t compare(Cell*, Cell* value2, int32_t op) { return compare_empty(value2, T_NONE, op); }

const Cell* clear(Cell*) { return &statics::none_cell; }
int32_t length(Cell*) { return -1; }

static const Cell* find(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
    return &statics::none_cell;
}
static const Cell* select(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    return &statics::none_cell;
}
static const Cell* remove(Cell*, Cell*, Cell*) { return &statics::none_cell; }
static const Cell* take(Cell*, Cell*, bool, bool) { return &statics::none_cell; }

void init() {
    datatype::register_({.id = T_NONE, .parent = 0, .name = "none!", .make = make, .to = make, .form = form,
                         .mold = mold, .compare = compare, .clear = clear, .find = find,
                         .is_length = length, .remove = remove, .select = select, .take = take});
}

}  // namespace none

// ---- logic! -----------------------------------------------------------------

namespace logic {

Cell* append_new(const Cell* block, bool b) {
    Cell* c = block::append_slot(block);
    cell::make_logic(c, b);
    return c;
}

Cell* push(bool b) { return stack::push(logic_of(b)); }
void set_result(bool b) { cell::make_logic(stack::reg.base, b); }

bool check_type(const Cell* value, bool error) {
    if (error && cell::type(value) == T_UNSET) fail::raise("script", "no-value");
    return is_truthy(value);
}

void no_return() { fail::raise("script", "no-return"); }

const Cell* to(Cell*, Cell* spec, uint32_t) {
    if (cell::type(spec) == T_LOGIC) return logic_of(cell::get_logic(spec) != 0);
    return logic_of(cell::type(spec) != T_NONE);
}

// Numbers convert by value (NaN is not 0.0, so it is true); the rest as to.
const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    switch (cell::type(spec)) {
    case T_INTEGER: return logic_of(cell::get_int(spec) != 0);
    case T_FLOAT:
    case T_PERCENT: return logic_of(cell::get_float(spec) != 0.0);
    }
    return to(proto, spec, type);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    return cell::get_logic(value) ? datatype::append_text(buffer, "true", 4, limit)
                     : datatype::append_text(buffer, "false", 5, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    return cell::get_logic(value) ? datatype::append_mold(buffer, "true", 4, all, limit)
                     : datatype::append_mold(buffer, "false", 5, all, limit);
}

// false sorts before true.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_LOGIC || !compare_common::is_identity_op(op)) return -2;
    return int32_t(cell::get_logic(value1)) - int32_t(cell::get_logic(value2));
}

const Cell* complement(Cell* value) { return logic_of(cell::get_logic(value) == 0); }

// A draw above the middle of the 31-bit range is true.
static const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (!seed) return logic_of(random::draw(secure) > 0x3FFFFFFF);
    random::seed(int32_t(cell::get_logic(value)));
    return &statics::unset_cell;
}

void bitwise(Cell* left, const Cell* right, Bitwise op) {
    if (cell::type(right) != T_LOGIC) check::expect_arg(1, cell::type(right));
    uint32_t a = cell::get_logic(left), b = cell::get_logic(right);
    uint32_t r = op == BIT_AND ? a & b : op == BIT_OR ? a | b : a ^ b;
    cell::make_logic(left, r != 0);
}

// and~, or~ and xor~ read their two operands from the call frame and leave the
// answer in its result slot.
template <Bitwise op>
static void bitwise_in_frame() {
    bitwise(stack::reg.base, stack::reg.base + 1, op);
}

void init() {
    datatype::register_({.id = T_LOGIC, .parent = 0, .name = "logic!", .make = make, .random = random,
                         .to = to, .form = form,
                         .mold = mold, .compare = compare, .and_ = bitwise_in_frame<BIT_AND>,
                         .complement = complement, .or_ = bitwise_in_frame<BIT_OR>,
                         .xor_ = bitwise_in_frame<BIT_XOR>});
}

}  // namespace logic
}  // namespace zel
