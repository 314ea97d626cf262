// The services of datatype modules and natives: raising errors, argument
// checks, stores into words and slots, refinement slots, switch cases,
// loading a value from text, and small text and memory helpers.
#include "core/support.h"

#include <cmath>
#include <cstring>

#include "core/context.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/logic.h"
#include "core/native.h"
#include "core/native_ids.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "datatypes/typeset.h"
#include "kernel/runtime.h"

namespace zel {

// ---- boot literals ---------------------------------------------------------------

namespace boot {

static Node literals_block = 0;
static uint32_t literals_first = 0;

void set_literals(Node block, uint32_t first) {
    literals_block = block;
    literals_first = first;
}

Cell* value_at(uint32_t n) { return series::cells(node::buffer(literals_block)) + literals_first + n; }

Node node_at(uint32_t n) { return value_at(n)->w1; }

}  // namespace boot

// ---- errors ----------------------------------------------------------------------

namespace error {

static RaiseTracer raise_tracer = nullptr;

void set_raise_tracer(RaiseTracer tracer) { raise_tracer = tracer; }
RaiseTracer current_raise_tracer() { return raise_tracer; }

// Before boot has made the catalog and the value stack there is nowhere to
// build an error or to throw it to: it unwinds with the error code alone, to
// the root catch, which ends the process (a failed boot).
static bool is_ready() { return cell::type(catalog()) == T_OBJECT && stack::reg.bottom; }

void raise(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    if (!is_ready()) runtime::throw_code(EXIT_ERROR);
    Cell err = *build(id, arg1, arg2, arg3);
    if (raise_tracer) raise_tracer(&err);
    stack::throw_error(&err);
}

void raise_bad_make(const Cell* type, const Cell* spec) { raise(Err::script_bad_make_arg, type, spec); }

void raise_bad_refine(const char* refinement, const Cell* value) {
    Cell word = word::intern(refinement);
    raise(Err::script_invalid_refine_arg, &word, value);
}

void make_and_push(const Cell* category, const Cell* id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    natives::Routine print = natives::routine(NAT_print);
    if (!print) raise(Err::internal_not_done);
    stack::enter_native(words::word(words::W_tag_body));
    stack::push(build(category, id, arg1, arg2, arg3));
    int32_t no_refinements[1] = {-1};
    print(false, no_refinements);
    stack::set_result(&statics::unset_cell);
    stack::leave();
}

}  // namespace error

// ---- argument checks ---------------------------------------------------------------

namespace check {

void expect_arg(uint32_t arg_number, uint32_t type) {
    Cell call = stack::get_call();
    Cell datatype;
    cell::make_datatype(&datatype, type);
    Cell arg = error::argument_word(arg_number);
    error::raise(Err::script_expect_arg, &call, &datatype, &arg);
}

const Cell* argument(const Cell* typeset, uint32_t arg_number, const Cell* value) {
    if (!typeset::has(typeset, cell::type(value))) expect_arg(arg_number, cell::type(value));
    return value;
}

void argument_at(const Cell* typeset, uint32_t arg_number, int32_t frame_index) {
    if (frame_index >= 0) argument(typeset, arg_number, stack::arg(uint32_t(frame_index)));
}

const Cell* optional_argument(const Cell* refinement, const Cell* typeset, uint32_t arg_number,
                              const Cell* value) {
    if (refinement->w1 != 0) argument(typeset, arg_number, value);
    return value;
}

const Cell* argument_set(uint32_t arg_number, const Cell* value) {
    if (cell::type(value) == T_UNSET) expect_arg(arg_number, T_UNSET);
    return value;
}

// The range is tested on the truncated value, so that 2147483647.9 (which
// truncates into range) is accepted and 2147483648.0 is not.
int32_t float_range(const Cell* value) {
    if (cell::type(value) == T_INTEGER) return cell::get_int(value);
    double d = std::trunc(cell::get_float(value));
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) error::raise(Err::script_out_of_range, value);
    return int32_t(d);
}

}  // namespace check

// ---- stores into words and slots -------------------------------------------------------

namespace word {

void set_checked(Cell* word) {
    if (cell::type(stack::top()) == T_UNSET) error::raise(Err::script_need_value, word);
    set_value(word, stack::top());
}

void set_from_stack(Cell* word) {
    set_checked(word);
    stack::reset();
}

Cell* get_checked(Cell* word) {
    Cell* v = get_value(word);
    if (cell::type(v) == T_UNSET) error::raise(Err::script_no_value, word);
    return v;
}

}  // namespace word

namespace context {

Cell* slot_at(Node ctx, int32_t index) {
    Cell* s = slot(ctx, index);
    if (!s) error::raise(Err::script_not_defined, word_at(cell_of(ctx), index));
    return s;
}

Cell* set_slot(Node ctx, int32_t index) {
    if (cell::type(stack::top()) == T_UNSET) error::raise(Err::script_need_value, word_at(cell_of(ctx), index));
    return cell::copy(stack::top(), slot_at(ctx, index));
}

Cell* set_slot_reset(Node ctx, int32_t index) {
    Cell* s = set_slot(ctx, index);
    stack::reset();
    return s;
}

void store_slot(Node ctx, int32_t index) {
    if (kind_of(cell_of(ctx)) == KIND_OBJECT) word_at(cell_of(ctx), index)->header |= HDR_ASSIGNED;
    cell::copy(stack::top(), value_at(ctx, index));
    stack::reset();
}

}  // namespace context

namespace frame {

void set_refinement(const Cell* condition, int32_t frame_index, uint32_t arg_count) {
    Cell* refinement = stack::arg(uint32_t(frame_index));
    if (logic::check_type(condition, true)) {
        refinement->w1 = 1;
        return;
    }
    for (uint32_t i = 1; i <= arg_count; i++) cell::make_none(refinement + i);
}

constexpr uint32_t MAX_REFINEMENTS = 64;

void set_refinements(uint32_t index, bool native, uint32_t positions, const RefinementGroup* groups,
                     uint32_t count) {
    if (positions > MAX_REFINEMENTS) error::raise(Err::internal_limit_hit);
    int32_t list[MAX_REFINEMENTS];
    for (uint32_t i = 0; i < positions; i++) list[i] = -1;
    for (uint32_t g = 0; g < count; g++) {
        const RefinementGroup& group = groups[g];
        if (group.position < 1 || group.position > positions) error::raise(Err::internal_limit_hit);
        if (logic::check_type(group.condition, true)) {
            list[group.position - 1] = group.frame_index;
            continue;
        }
        for (uint32_t i = 0; i < group.arg_count; i++) cell::make_none(stack::arg(uint32_t(group.frame_index) + i));
    }
    if (native) {
        natives::Routine routine = natives::routine(index);
        if (!routine) error::raise(Err::internal_not_done);
        routine(true, list);
        return;
    }
    if (index < 1 || index > ACTION_COUNT || !actions::table[index - 1]) error::raise(Err::internal_not_done);
    actions::table[index - 1](list);
}

}  // namespace frame

// ---- switch cases ------------------------------------------------------------------------------

namespace switch_ {

static bool matches(Cell* value, Cell* key) {
    return cell::type(key) == cell::type(value) && actions::compare(value, key, actions::OP_EQUAL);
}

// The answer for a match at position at: the next cell (the match itself
// when it is the last), or with skip_to_block the first block! after it.
static const Cell* answer_for(const Cell* cases, uint32_t at, uint32_t tail, bool skip_to_block) {
    if (!skip_to_block) return cases + (at + 1 < tail ? at + 1 : at);
    for (uint32_t i = at + 1; i < tail; i++) {
        if (cell::type(cases + i) == T_BLOCK) return cases + i;
    }
    return &statics::none_cell;
}

const Cell* find_case(bool push, bool skip_to_block) {
    Cell value = *stack::arg(0);
    Cell block = *stack::arg(1);
    const Cell* answer = &statics::none_cell;
    if (cell::type(&value) != T_BLOCK) {
        SeriesBuffer* b = node::buffer(cell::series_node(&block));
        uint32_t tail = series::length(b);
        uint32_t step = push ? 1 : 2;
        for (uint32_t i = uint32_t(cell::series_index(&block)); i < tail; i += step) {
            if (matches(&value, series::cells(b) + i)) {
                answer = answer_for(series::cells(node::buffer(cell::series_node(&block))), i, tail, skip_to_block);
                break;
            }
        }
    }
    if (push) return stack::push(answer);
    stack::set_result(answer);
    return stack::reg.base;
}

}  // namespace switch_

// ---- loading a value from text -----------------------------------------------------------------

namespace load {

static Scanner scanner = nullptr;

void set_scanner(Scanner s) { scanner = s; }
Scanner current_scanner() { return scanner; }

// Loads the text into a new block in the cell; answers the characters consumed.
static uint32_t scan_into(Cell* block, const Cell* text) {
    if (!scanner) error::raise(Err::internal_not_done);
    cell::make_series(block, T_BLOCK, series::new_cells(4));
    return scanner(block, text);
}

const Cell* value_from_string(const Cell* text) {
    Cell copy = *text;
    Cell* result = stack::reg.base;
    uint32_t consumed = scan_into(result, &copy);
    if (consumed < string::get_length(&copy)) return &statics::none_cell;
    SeriesBuffer* b = node::buffer(cell::series_node(result));
    if (series::length(b) == 0) {
        cell::make_unset(result);
        return result;
    }
    return series::cells(b);
}

uint32_t scan_type(const Cell* text) {
    Cell block;
    scan_into(&block, text);
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    return series::length(b) ? cell::type(series::cells(b)) : 0;
}

}  // namespace load

// ---- text and memory ----------------------------------------------------------------------------

namespace mold {

int32_t indent(const Cell* buffer, int32_t level, int32_t limit) {
    for (int32_t i = 0; i < level; i++) string::append_cstr(buffer, "    ");
    return limit - 4 * level;
}

}  // namespace mold

namespace memory {

uint8_t* fill_pattern(uint8_t* dest, uint32_t unit, uint32_t count) {
    size_t total = size_t(unit) * count;
    if (total == 0) return dest;
    size_t filled = unit;
    while (total - filled >= filled) {
        std::memcpy(dest + filled, dest, filled);
        filled *= 2;
    }
    std::memcpy(dest + filled, dest, total - filled);
    return dest + total;
}

}  // namespace memory
}  // namespace zel
