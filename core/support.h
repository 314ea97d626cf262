// The services that datatype modules and natives call for the steps the
// evaluator would otherwise do: fetching boot literals, raising errors,
// checking arguments, storing the value-stack top into words and context
// slots, refinement slots, switch cases, reading a value from text,
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
// Literal n (from 0); good until the block moves.
Cell* value_at(uint32_t n);
// Payload word 1 of literal n: the context of a boot object! or function!.
Node node_at(uint32_t n);
}  // namespace boot

namespace error {
// The evaluator's trace of raised errors (the error event), called with each
// error before it is thrown while tracing is on; null when off.
using RaiseTracer = void (*)(const Cell* error);
void set_raise_tracer(RaiseTracer tracer);
RaiseTracer current_raise_tracer();
// Script error bad-make-arg with the type and the spec.
[[noreturn]] void raise_bad_make(const Cell* type, const Cell* spec);
// Script error invalid-refine-arg: the refinement's word and the value given.
[[noreturn]] void raise_bad_refine(const char* refinement, const Cell* value);
// Shows an error without throwing it: builds the error of the category and
// id words with up to three arguments (null: none) under a native frame named
// <body>, prints it with the print native, and leaves unset as the top value.
void make_and_push(const Cell* category, const Cell* id, const Cell* arg1, const Cell* arg2, const Cell* arg3);
}  // namespace error

// Argument checks. The argument number is the argument's position in the
// callee's spec, used only to name it in the expect-arg error.
namespace check {
// The value when its type is in the typeset, else script error expect-arg.
const Cell* argument(const Cell* typeset, uint32_t arg_number, const Cell* value);
// Checks the frame cell at the index; nothing when the index is negative
// (the refinement owning the argument was not given).
void argument_at(const Cell* typeset, uint32_t arg_number, int32_t frame_index);
// Checks only when the refinement was given; answers the value.
const Cell* optional_argument(const Cell* refinement, const Cell* typeset, uint32_t arg_number,
                              const Cell* value);
// Script error expect-arg naming the current call, the type and the argument
// (from 0).
[[noreturn]] void expect_arg(uint32_t arg_number, uint32_t type);
// expect-arg naming unset! when the value is unset; else the value.
const Cell* argument_set(uint32_t arg_number, const Cell* value);
// A size argument as a 32-bit integer: an integer! as it is, a number
// truncated toward zero; out-of-range for a NaN or a truncation outside the
// 32-bit range.
int32_t float_range(const Cell* value);
}  // namespace check

// Stores of the value-stack top into words.
namespace word {
// need-value naming the word when the top is unset; else assigns it.
void set_checked(Cell* word);
// set_checked, then the top goes back to the arguments base.
void set_from_stack(Cell* word);
// The word's value; no-value when it is unset.
Cell* get_checked(Cell* word);
}  // namespace word

// Stores of the value-stack top into context slots.
namespace context {
// The slot at the index; not-defined naming the word there when the context
// has no values.
Cell* slot_at(Node ctx, int32_t index);
// need-value naming the word at the index when the top is unset; else copies
// the top into the slot and answers it.
Cell* set_slot(Node ctx, int32_t index);
// set_slot, then the top goes back to the arguments base.
Cell* set_slot_reset(Node ctx, int32_t index);
// No unset check: marks an object's field assigned, copies the top into the
// slot (of a values block) and puts the top back to the arguments base.
void store_slot(Node ctx, int32_t index);
}  // namespace context

namespace frame {
// The frame cell at the index is a refinement's logic!: set when the
// condition is true, else the arg_count cells after it become none.
void set_refinement(const Cell* condition, int32_t frame_index, uint32_t arg_count);

// One refinement decided at run time: its condition, its position among the
// routine's refinements (from 1), the frame index of its first argument and
// its argument count.
struct RefinementGroup {
    const Cell* condition;
    uint32_t position;
    int32_t frame_index;
    uint32_t arg_count;
};
// Calls native index (native set) or action id (native clear) on the current
// frame with a refinement list of `positions` entries: a group whose
// condition is true (as set_refinement tests it) gives its frame index, a
// false one leaves -1 and sets its argument cells to none. A native is called
// with the check flag set.
void set_refinements(uint32_t index, bool native, uint32_t positions, const RefinementGroup* groups,
                     uint32_t count);
}  // namespace frame

namespace switch_ {
// Finds the frame's first argument among the cases of the block in its second
// argument (one cell at a time with push, else key/value pairs) and answers
// the cell after the match (the match itself when it is the last), or with
// skip_to_block the first block! after it; none when nothing matches. The
// answer is pushed (push) or written to the result slot.
const Cell* find_case(bool push, bool skip_to_block);
}  // namespace switch_

// Reading a value from text, through the lexer.
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
