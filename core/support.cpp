// The services of datatype modules and natives: raising errors, argument
// checks, reading words, loading a value from text, and small text and
// memory helpers.
#include "core/support.h"

#include <cmath>
#include <cstring>

#include "core/exits.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
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

void get_literals(Node* block, uint32_t* first) {
    *block = literals_block;
    *first = literals_first;
}

const Cell* value_at(uint32_t n) { return series::cells(node::buffer(literals_block)) + literals_first + n; }

}  // namespace boot

// ---- errors ----------------------------------------------------------------------

namespace error {

static RaiseTracer raise_tracer = nullptr;

void set_raise_tracer(RaiseTracer tracer) { raise_tracer = tracer; }

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

// The range is tested on the truncated value, so that 2147483647.9 (which
// truncates into range) is accepted and 2147483648.0 is not.
int32_t float_range(const Cell* value) {
    if (cell::type(value) == T_INTEGER) return cell::get_int(value);
    double d = std::trunc(cell::get_float(value));
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) error::raise(Err::script_out_of_range, value);
    return int32_t(d);
}

}  // namespace check

// ---- reading words -------------------------------------------------------------------------

namespace word {

Cell* get_checked(Cell* word) {
    Cell* v = get_value(word);
    if (cell::type(v) == T_UNSET) error::raise(Err::script_no_value, word);
    return v;
}

}  // namespace word

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
