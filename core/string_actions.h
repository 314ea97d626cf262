// The actions of string!: comparison, search and conversion
// (core/string_compare.cpp), mold (core/string_mold.cpp) and the modifying
// actions with the set operations (core/string_modify.cpp). file!, url! and
// the other text types reach them through inheritance in the registry.
//
// Every routine reads the characters in the unit of their own buffer (1, 2 or
// 4 bytes), and compares without regard to case by converting both sides to
// upper case through the case tables. A routine that may run user code (an
// owner notification, a sort comparator) keeps (node, index) across it and
// reads the buffer again afterwards.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace string {

// The characters of a text: the address of the first, the unit and the
// count. Good until the buffer changes or anything evaluates.
struct Text {
    const uint8_t* p;
    uint32_t unit;
    uint32_t len;
};
inline uint32_t char_of(const Text& t, uint32_t i) { return get_char(t.p + size_t(i) * t.unit, t.unit); }
// The text of a series value from its index (an index past the tail counts
// as the tail), of a symbol! record, or of a word!'s spelling.
Text text_of(const Cell* value);

// Registers string! (parent series!).
void init();

// ---- comparison, search and conversion ----------------------------------------

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
// Appends the form of a value as append and to take it: a char! is its
// character, a text its characters, and with splice a block!, paren! or
// hash! gives the form of each element in turn with nothing between them.
// Answers the limit less what was appended (the caller cuts the excess).
int32_t append_formed(Cell* buffer, Cell* value, bool splice, Cell* part, int32_t limit);
// -2 for values of different types, unless value2 is text and op is equal or
// not-equal; else is_equal_part without the match flag.
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// The core comparison: -1, 0 or 1 as value1 sorts before, equal to or after
// value2. With match, the answer is 0 when value1 begins with value2.
int32_t is_equal_part(Cell* value1, Cell* value2, int32_t op, bool match);
const Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);

// A bitset's bits read once, for a run of tests where nothing runs that
// could move or change its buffer.
struct BitsetBits {
    const uint8_t* bits;
    uint32_t bytes;
    bool complement;  // the answer beyond the stored bits
    bool has(uint32_t cp) const { return (cp >> 3) < bytes ? (bits[cp >> 3] & (0x80u >> (cp & 7))) != 0 : complement; }
};

inline BitsetBits bitset_bits(const Cell* bitset) {
    SeriesBuffer* b = node::buffer(cell::series_node(bitset));
    return BitsetBits{series::head_ptr(b), b->tail - b->head, (b->flags & SER_COMPLEMENT) != 0};
}

// True when the code point is in the bitset (beyond its bits: complemented).
inline bool bitset_has(const Cell* bitset, uint32_t cp) { return bitset_bits(bitset).has(cp); }

// ---- mold -----------------------------------------------------------------------

// Escape mode of mold_char for characters inside a string.
constexpr int32_t ESCAPE_IN_STRING = 253;

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
// Appends one character in escaped form (see the mold file for the rules).
void mold_char(const Cell* buffer, uint32_t cp, int32_t mode, bool all);
// Double quotes and line feeds among count units of the unit at start.
void count_quotes_and_lines(const uint8_t* start, uint32_t count, uint32_t unit, uint32_t* quotes,
                            uint32_t* lines);
// The offset of the first "{" among count units that has no matching "}"
// after it (nested braces counted), or count when every "{" is matched.
uint32_t first_unmatched_brace(const uint8_t* start, uint32_t count, uint32_t unit);

// ---- modification ---------------------------------------------------------------

// append and insert (the append flag tells them apart), change.
const Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
const Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
const Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
                 bool reverse, bool stable);
const Cell* swap(Cell* series1, Cell* series2);
const Cell* take(Cell* series, Cell* part, bool deep, bool last);
const Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
// Removes from the index every character of the set held by chars (a text or
// binary from its index, or one char! or integer!); the default set (null) is
// tab, line feed, carriage return and space.
void trim_chars(Cell* series, const Cell* chars);

// The set operations of the natives (codes of block::SetOp) over the current
// frame's first two argument cells (one for unique): the result, a new series
// of the first argument's type at index 0, replaces the first argument and is
// answered. skip is the record size (null for 1).
const Cell* do_set_op(bool case_, Cell* skip, int32_t op);

}  // namespace string

namespace case_ {
// Changes the case of a char! value, or of a string from its index, in place;
// limit (null: to the tail) is an integer! count or a position in the same
// string. The owner of the string is told afterwards.
void change_string(Cell* value, bool upper, const Cell* limit);
}  // namespace case_

}  // namespace zel
