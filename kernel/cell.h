// The value cell: every Zel value is one 16-byte cell, a header word (type id in
// bits 0-7, flags above) and three payload words. Payload families:
//   datatype  w1 = type id named            logic    w1 = 1 / 0
//   integer   w2 = signed 32-bit value      float    w2..w3 = IEEE double (low, high)
//   series    w1 = head index, w2 = node, w3 = type-specific extra word
//   word      w1 = context node, w2 = symbol id, w3 = index in context (-1 unknown)
//   context   w1 = node of word hash table, w2 = node of values (or value-stack index)
//   object    w1 = context node, w2 = class id, w3 = change-handler node
//   symbol    w1 = alias id or -1, w2 = cached string node, w3 = node of UTF-8 name
// Nodes are 32-bit handles into the node table, never pointers, so cells stay small.
#pragma once
#include <cstdint>
#include <cstring>

namespace zel {

struct Cell {
    uint32_t header, w1, w2, w3;
};
static_assert(sizeof(Cell) == 16, "a cell is four 32-bit words");

using Node = uint32_t;  // index into the node table; 0 is no node

enum TypeId : uint32_t {
    T_NONE_ID = 0,  // never a valid type
    T_DATATYPE = 1, T_UNSET, T_NONE, T_LOGIC, T_BLOCK, T_PAREN, T_STRING, T_FILE, T_URL,
    T_CHAR = 10, T_INTEGER, T_FLOAT, T_SYMBOL, T_CONTEXT, T_WORD, T_SET_WORD, T_LIT_WORD,
    T_GET_WORD, T_REFINEMENT,
    T_ISSUE = 20, T_NATIVE, T_ACTION, T_OP, T_FUNCTION, T_PATH, T_LIT_PATH, T_SET_PATH,
    T_GET_PATH, T_ROUTINE,
    T_BITSET = 30, T_TRIPLE, T_OBJECT, T_TYPESET, T_ERROR, T_VECTOR, T_HASH, T_PAIR,
    T_PERCENT, T_TUPLE,
    T_MAP = 40, T_BINARY, T_SERIES, T_TIME, T_TAG, T_EMAIL, T_HANDLE, T_DATE, T_PORT,
    T_MONEY,
    T_REF = 50, T_POINT2D, T_POINT3D, T_IMAGE, T_EVENT,
    TYPE_COUNT = 55,       // ids 0..54 are defined
    TYPE_TABLE_SIZE = 57,  // the registry has room for ids 0..56
};

// Header flag bits.
enum HeaderBits : uint32_t {
    HDR_TYPE_MASK = 0xFFu,
    HDR_TRACE_OFF = 0x200u,        // function!: tracing off for the body
    HDR_TRACE_ON = 0x400u,         // function!: tracing back on for the body
    HDR_CTX_KIND_MASK = 0x1800u,   // context cell: 0 global, 1 function, 2 object
    HDR_CTX_KIND_SHIFT = 11,
    HDR_ASSIGNED = 0x2000u,        // word! in an object's symbol block: field assigned
    HDR_OWNED = 0x10000u,          // context cell, image!: has an owner
    HDR_OP_TYPE_MASK = 0xFF0000u,  // op!: type id of the wrapped callable
    HDR_OP_TYPE_SHIFT = 16,
    HDR_ON_STACK = 0x400000u,      // context cell: values live on the value stack
    HDR_SELF = 0x1000000u,         // context cell: made with the self flag
    HDR_ROUTINE_ARGC_MASK = 0x3E000000u,  // routine!: argument count, bits 25-29
    HDR_ROUTINE_ARGC_SHIFT = 25,
    HDR_NEW_LINE = 0x40000000u,    // value starts a new line when its block is molded
};

namespace cell {

inline uint32_t type(const Cell* c) { return c->header & HDR_TYPE_MASK; }
// Replaces the type byte and keeps every flag.
inline void set_type(Cell* c, uint32_t t) { c->header = (c->header & ~HDR_TYPE_MASK) | t; }
inline void clear_flag(Cell* c) { c->header &= ~HDR_NEW_LINE; }
inline Cell* copy(const Cell* src, Cell* dst) {
    if (src != dst) *dst = *src;
    return dst;
}

inline double get_float(const Cell* c) {
    double d;
    uint64_t bits = (uint64_t(c->w3) << 32) | c->w2;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline void put_float(Cell* c, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    c->w2 = uint32_t(bits);
    c->w3 = uint32_t(bits >> 32);
}
inline int32_t get_int(const Cell* c) { return int32_t(c->w2); }

// The makers write the whole cell, so no stale payload word travels with a
// value.
inline void make_unset(Cell* c) { *c = Cell{T_UNSET, 0, 0, 0}; }
inline void make_none(Cell* c) { *c = Cell{T_NONE, 0, 0, 0}; }
[[gnu::always_inline]] inline void make_logic(Cell* c, bool b) { *c = Cell{T_LOGIC, b ? 1u : 0u, 0, 0}; }
inline void make_integer(Cell* c, int32_t v) { *c = Cell{T_INTEGER, 0, uint32_t(v), 0}; }
inline void make_float(Cell* c, double d) {
    *c = Cell{T_FLOAT, 0, 0, 0};
    put_float(c, d);
}
inline void make_char(Cell* c, uint32_t cp) { *c = Cell{T_CHAR, 0, cp, 0}; }
inline void make_datatype(Cell* c, uint32_t t) { *c = Cell{T_DATATYPE, t, 0, 0}; }
inline void make_series(Cell* c, uint32_t t, Node n, int32_t index = 0) {
    c->header = t;
    c->w1 = uint32_t(index);
    c->w2 = n;
    c->w3 = 0;
}

// ---- payload accessors, one set per family ----------------------------------
// Outside these, only code that treats a cell as opaque bits (copying,
// hashing, byte layouts) touches w1..w3.
constexpr uint32_t datatype_id(const Cell* c) { return c->w1; }
constexpr bool get_logic(const Cell* c) { return c->w1 != 0; }
constexpr void set_int(Cell* c, int32_t v) { c->w2 = uint32_t(v); }
constexpr uint32_t get_char(const Cell* c) { return c->w2; }
constexpr void set_char(Cell* c, uint32_t cp) { c->w2 = cp; }

// series: head index, node, type-specific extra word.
constexpr Node series_node(const Cell* c) { return c->w2; }
constexpr int32_t series_index(const Cell* c) { return int32_t(c->w1); }
constexpr uint32_t series_extra(const Cell* c) { return c->w3; }
constexpr void set_series_node(Cell* c, Node n) { c->w2 = n; }
constexpr void set_series_index(Cell* c, int32_t i) { c->w1 = uint32_t(i); }
constexpr void set_series_extra(Cell* c, uint32_t x) { c->w3 = x; }

// word: bound context, symbol as written, slot index (-1 not looked up).
constexpr Node word_context(const Cell* c) { return c->w1; }
constexpr uint32_t word_symbol(const Cell* c) { return c->w2; }
constexpr int32_t word_index(const Cell* c) { return int32_t(c->w3); }
constexpr void set_word_context(Cell* c, Node n) { c->w1 = n; }
constexpr void set_word_symbol(Cell* c, uint32_t s) { c->w2 = s; }
constexpr void set_word_index(Cell* c, int32_t i) { c->w3 = uint32_t(i); }

// context cell: word table, values node (or value-stack index), values a
// call holds on the stack.
constexpr Node context_table(const Cell* c) { return c->w1; }
constexpr uint32_t context_values(const Cell* c) { return c->w2; }
constexpr uint32_t context_stack_count(const Cell* c) { return c->w3; }
constexpr void set_context_table(Cell* c, Node n) { c->w1 = n; }
constexpr void set_context_values(Cell* c, uint32_t v) { c->w2 = v; }
constexpr void set_context_stack_count(Cell* c, uint32_t n) { c->w3 = n; }

// object (error!, port!): context, class id, change-handler record.
constexpr Node object_context(const Cell* c) { return c->w1; }
constexpr uint32_t object_class(const Cell* c) { return c->w2; }
constexpr Node object_handlers(const Cell* c) { return c->w3; }
constexpr void set_object_context(Cell* c, Node n) { c->w1 = n; }
constexpr void set_object_class(Cell* c, uint32_t id) { c->w2 = id; }
constexpr void set_object_handlers(Cell* c, Node n) { c->w3 = n; }

// symbol record: alias id (-1 none), cached string node, UTF-8 name node.
constexpr int32_t symbol_alias(const Cell* c) { return int32_t(c->w1); }
constexpr Node symbol_string(const Cell* c) { return c->w2; }
constexpr Node symbol_name(const Cell* c) { return c->w3; }
constexpr void set_symbol_alias(Cell* c, int32_t id) { c->w1 = uint32_t(id); }
constexpr void set_symbol_string(Cell* c, Node n) { c->w2 = n; }
constexpr void set_symbol_name(Cell* c, Node n) { c->w3 = n; }

// word!, object! and function! alike: the context in w1.
constexpr Node context_of(const Cell* c) { return c->w1; }

// callables: native!/action!/op! table index or function!/routine! context,
// spec block node, extra block node.
constexpr uint32_t callable_index(const Cell* c) { return c->w1; }
constexpr Node callable_context(const Cell* c) { return c->w1; }
constexpr Node callable_spec(const Cell* c) { return c->w2; }
constexpr Node callable_extra(const Cell* c) { return c->w3; }
constexpr void set_callable_index(Cell* c, uint32_t i) { c->w1 = i; }
constexpr void set_callable_context(Cell* c, Node n) { c->w1 = n; }
constexpr void set_callable_spec(Cell* c, Node n) { c->w2 = n; }
constexpr void set_callable_extra(Cell* c, Node n) { c->w3 = n; }

}  // namespace cell

// The four shared static cells: answered by routines that return unset, none,
// true or false without making a new cell. Nothing may write into them.
namespace statics {
extern const Cell unset_cell, none_cell, true_cell, false_cell;
}

}  // namespace zel
