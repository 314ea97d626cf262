// What the files of the PARSE engine share: the work stacks, the state of one
// parse, and the routines that match single values and edit the input.
//
// Positions are absolute indexes into the input series (units: cells,
// characters or bytes). Nothing here keeps a pointer into a series buffer
// across a call that may evaluate code: the input is re-read through its
// cell on the input stack, whose node the collector keeps and updates.
#pragma once
#include <algorithm>
#include <cstdint>

#include "core/series.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/type_groups.h"
#include "kernel/cell.h"

namespace zel {
namespace parse {

// ---- work stacks ------------------------------------------------------------------
// Shared by every active parse; each call works above the tops it found.
// A rule-stack entry is three cells: the rule position (the rules block at
// the rule that pushed it), the input position, and a record (the keyword
// code as an integer!, or a collect's target series).
constexpr uint32_t STACK_CELLS = 10000;
constexpr uint32_t ENTRY_CELLS = 3;

enum EntryKind : uint8_t { ENTRY_BLOCK, ENTRY_COMMAND, ENTRY_COLLECT };

// The keyword codes that command records carry.
enum Code : int32_t {
    CODE_REPEAT = -1, CODE_TO = -2, CODE_THRU = -3, CODE_COPY = -4, CODE_SET = -5, CODE_NOT = -6,
    CODE_INTO = -7, CODE_REMOVE = -9, CODE_WHILE = -11, CODE_COLLECT = -12, CODE_KEEP = -13,
    CODE_KEEP_PAREN = -14, CODE_AHEAD = -16, CODE_CHANGE = -17, CODE_CHANGE_ONLY = -18, CODE_CASE = -19,
};

// The block entries are also counted by a hash of their rule and input
// positions (nodes and indexes), so that the check for a block entered again
// at the same positions walks the stack only when the hash is taken. A
// collection may renumber nodes: it marks the counts stale, and the next
// check counts the entries again.
constexpr uint32_t SEEN_BUCKETS = 256;

struct WorkStacks {
    Cell rules[STACK_CELLS];
    EntryKind kinds[STACK_CELLS / ENTRY_CELLS];
    uint8_t hashes[STACK_CELLS / ENTRY_CELLS];  // of block entries
    uint16_t seen[SEEN_BUCKETS];                // block entries by hash
    bool seen_stale;
    uint32_t rule_top;  // cells in use
    Cell inputs[STACK_CELLS];
    uint32_t input_top;
};
extern WorkStacks work;

// ---- one parse --------------------------------------------------------------------
enum Signal : uint8_t { SIGNAL_NONE, SIGNAL_BREAK, SIGNAL_REJECT };

struct Parser {
    uint32_t rule_base, input_base;  // the tops this call found
    Cell* input;                     // the input being parsed; w1 is the position
    int32_t limit;                   // absolute end of the input, -1 for its tail
    int32_t op;                      // comparison op: 0 equal, 2 strict-equal
    Signal signal;                   // a break or reject on its way to a repetition
    const Cell* callback;            // the trace function, or null
    int32_t collect;                 // entry index of the innermost collect, -1 none
    Cell* result;                    // where an outermost collect leaves its block
    bool forms;                      // rules blocks are run from their forms (no trace, preparation on)
    bool block_input, text_input;    // the input's type: block-like, or any-string (set_input)
};

// Makes the cell, whose value is set, the input; its type is read once
// (nothing but the parse writes the cell, and it keeps the type).
inline void set_input(Parser& p, Cell* input) {
    p.input = input;
    p.block_input = types::is_any_block(input);
    p.text_input = types::is_any_string(input);
}

inline int32_t position(const Parser& p) { return cell::series_index(p.input); }
inline void set_position(Parser& p, int32_t at) { cell::set_series_index(p.input, uint32_t(at)); }
inline bool is_case(const Parser& p) { return p.op == 2; }

// ---- matching values (parse_match.cpp) ------------------------------------------------
// The characters of a text series from a position. Nothing that runs while
// one is in use evaluates code, so the buffer stays where it is.
struct Units {
    const uint8_t* p;
    uint32_t unit, shift;
    uint32_t at(uint32_t k) const { return string::get_char(p + (size_t(k) << shift), unit); }
};

// Fills the folding table of the lower code points; the case tables must be ready.
void init_match();
// The position where the input ends (its tail or the part limit), for the
// input's length.
inline int32_t end_of(const Parser& p, int32_t length) { return p.limit >= 0 && p.limit < length ? p.limit : length; }
// The same for the input as it is now.
inline int32_t end_of(const Parser& p) { return end_of(p, int32_t(series::buffer_length(p.input))); }
// The units a value used as a rule matches at the position, or -1. Blocks,
// parens and keywords are the machine's; these are the plain values.
int32_t match_value(Parser& p, const Cell* rule);
// match_run for a char! over room units of the input from at, folding case
// unless the parse is case-sensitive.
int64_t match_char_run(const Parser& p, const Cell* rule, const uint8_t* at, uint32_t unit, uint32_t shift, int64_t room);

// How many units in a row, at most most, a char! or bitset! rule matches
// from the position of string input; -1 for other rules and inputs. In line:
// the charset's run is the inner loop of most text parses.
[[gnu::always_inline]] inline int64_t match_run(const Parser& p, const Cell* rule, int64_t most) {
    uint32_t t = cell::type(rule);
    if ((t != T_CHAR && t != T_BITSET) || !p.text_input) return -1;
    SeriesBuffer* b = string::buffer_of(p.input);
    int32_t pos = position(p);
    int64_t room = std::min<int64_t>(most, int64_t(end_of(p, int32_t(series::length(b)))) - pos), n = 0;
    if (room <= 0) return 0;
    uint32_t shift = series::unit_shift(b);
    const uint8_t* at = series::head_ptr(b) + (size_t(pos) << shift);
    if (t != T_BITSET) return match_char_run(p, rule, at, series::unit(b), shift, room);
    string::BitsetBits bits = string::bitset_bits(rule);
    if (shift == 0) {
        while (n < room && bits.has(at[n])) n++;
        return n;
    }
    Units in{at, series::unit(b), shift};
    while (n < room && bits.has(in.at(uint32_t(n)))) n++;
    return n;
}
// The input unit at an index as a value: the cell, a char! or an integer!.
void unit_at(const Parser& p, int32_t index, Cell* out);
// True when the input is a block-like series.
inline bool is_block_input(const Parser& p) { return p.block_input; }

// ---- editing and collecting (parse_edit.cpp) --------------------------------------------
// Removes count units at start; the position goes to start.
void remove_range(Parser& p, int32_t start, int32_t count);
// Inserts the value at an index; the position moves past the new part when
// the insertion is at or before it.
void insert_at(Parser& p, int32_t where, const Cell* value, bool only);
// Replaces count units at start by the value; the position goes after it.
void change_range(Parser& p, int32_t start, int32_t count, const Cell* value, bool only);

// The target of a collect: its own new block, or the series a word holds.
enum CollectKind : uint8_t { COLLECT_PLAIN, COLLECT_SET, COLLECT_INTO, COLLECT_AFTER };
// Fills the record cell of a collect entry with its target; raises the
// collect-into errors for a bad series.
void collect_open(Parser& p, Cell* record, CollectKind kind, const Cell* word);
// Ends a collect: hands the block to the enclosing collect, the word or the
// caller; outer is the enclosing collect's entry index.
void collect_close(Parser& p, Cell* record, CollectKind kind, const Cell* word, int32_t outer, bool ok);
// keep: the units in [start, end), or one value; pick spreads several.
void keep_range(Parser& p, int32_t start, int32_t end, bool pick);
void keep_value(Parser& p, const Cell* value, bool pick);

}  // namespace parse
}  // namespace zel
