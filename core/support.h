// The services that datatype modules and natives call for the steps the
// evaluator would otherwise do: fetching boot literals, raising errors,
// checking arguments, reading a word's value, reading a value from text,
// and a few text and memory helpers of the series actions.
// (error::raise itself is declared in core/raise.h.)
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

// The boot image's literals: one run of cells of a block, which the boot
// image loader names once it has decoded the image.
namespace boot {
void set_literals(Node block, uint32_t first);
// The block and first position named last (0 and 0 before any).
void get_literals(Node* block, uint32_t* first);
// Literal n (from 0); good until the block moves.
const Cell* value_at(uint32_t n);
}  // namespace boot

namespace error {
// The evaluator's trace of raised errors (the error event), called with each
// error before it is thrown while tracing is on; null when off.
using RaiseTracer = void (*)(const Cell* error);
void set_raise_tracer(RaiseTracer tracer);
// Script error bad-make-arg with the type and the spec.
[[noreturn]] void raise_bad_make(const Cell* type, const Cell* spec);
// Script error invalid-refine-arg: the refinement's word and the value given.
[[noreturn]] void raise_bad_refine(const char* refinement, const Cell* value);
}  // namespace error

// Argument checks. The argument number is the argument's position in the
// callee's spec, used only to name it in the expect-arg error.
namespace check {
// The value when its type is in the typeset, else script error expect-arg.
const Cell* argument(const Cell* typeset, uint32_t arg_number, const Cell* value);
// Checks the frame cell at the index; nothing when the index is negative
// (the refinement owning the argument was not given).
void argument_at(const Cell* typeset, uint32_t arg_number, int32_t frame_index);
// Script error expect-arg naming the current call, the type and the argument
// (from 0).
[[noreturn]] void expect_arg(uint32_t arg_number, uint32_t type);
// A size argument as a 32-bit integer: an integer! as it is, a number
// truncated toward zero; out-of-range for a NaN or a truncation outside the
// 32-bit range.
int32_t float_range(const Cell* value);
}  // namespace check

// Reading words.
namespace word {
// The word's value; no-value when it is unset.
Cell* get_checked(Cell* word);
}  // namespace word

namespace load {
// The lexer's entry: loads the characters of the text from its index into the
// block and answers how many characters it consumed.
using Scanner = uint32_t (*)(const Cell* block, const Cell* text);
void set_scanner(Scanner scanner);
Scanner current_scanner();
// Loads the text into a block in the result slot and answers its first value;
// none when the lexer stopped before the end, unset (the result slot made
// unset) when the text holds no value.
const Cell* value_from_string(const Cell* text);
// The type of the first value the text reads as, 0 when it holds none.
uint32_t scan_type(const Cell* text);
}  // namespace load

namespace mold {
// Appends level times four spaces; answers the limit less what it appended.
int32_t indent(const Cell* buffer, int32_t level, int32_t limit);
}  // namespace mold

namespace memory {
// The first unit at dest is the pattern: repeats it until count units are
// filled, doubling the filled part each copy. Answers the end of the range.
uint8_t* fill_pattern(uint8_t* dest, uint32_t unit, uint32_t count);
}  // namespace memory

}  // namespace zel
