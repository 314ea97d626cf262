// Groups of datatypes that modules test values against, one bit per type id,
// with a predicate per group. Every module takes its groups from here, so a
// group means the same thing everywhere.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace types {

using Mask = uint64_t;
static_assert(TYPE_TABLE_SIZE <= 64, "a mask has a bit for every type id");

constexpr Mask bit(uint32_t t) { return Mask(1) << t; }
constexpr bool in(Mask group, uint32_t t) { return t < 64 && (group & bit(t)) != 0; }

constexpr Mask ANY_PATH = bit(T_PATH) | bit(T_LIT_PATH) | bit(T_SET_PATH) | bit(T_GET_PATH);
constexpr Mask ANY_BLOCK = bit(T_BLOCK) | bit(T_PAREN) | bit(T_HASH) | ANY_PATH;
constexpr Mask ANY_STRING = bit(T_STRING) | bit(T_FILE) | bit(T_URL) | bit(T_TAG) | bit(T_EMAIL) | bit(T_REF);
// The any-blocks without a hash table: their cells are all they hold.
constexpr Mask UNHASHED_BLOCK = ANY_BLOCK & ~bit(T_HASH);
// The blocks whose values a form or a conversion takes one by one.
constexpr Mask PLAIN_BLOCK = bit(T_BLOCK) | bit(T_PAREN) | bit(T_HASH);
constexpr Mask SERIES = ANY_BLOCK | ANY_STRING | bit(T_BINARY) | bit(T_VECTOR) | bit(T_IMAGE);
constexpr Mask ANY_WORD = bit(T_WORD) | bit(T_SET_WORD) | bit(T_LIT_WORD) | bit(T_GET_WORD) | bit(T_REFINEMENT);
// The words that name a variable: any-word but refinement!.
constexpr Mask VARIABLE_WORD = ANY_WORD & ~bit(T_REFINEMENT);
// The values whose payload is a symbol: the words and issue!.
constexpr Mask SYMBOLIC = ANY_WORD | bit(T_ISSUE);
constexpr Mask ANY_FUNCTION = bit(T_NATIVE) | bit(T_ACTION) | bit(T_OP) | bit(T_FUNCTION) | bit(T_ROUTINE);
// The callables whose body is a block of code with its own frame context.
constexpr Mask FUNCTION_LIKE = bit(T_FUNCTION) | bit(T_ROUTINE);
constexpr Mask ANY_OBJECT = bit(T_OBJECT) | bit(T_ERROR) | bit(T_PORT);
constexpr Mask NUMBER = bit(T_INTEGER) | bit(T_FLOAT) | bit(T_PERCENT);
constexpr Mask INTEGER_OR_FLOAT = bit(T_INTEGER) | bit(T_FLOAT);

inline bool is_any_path(uint32_t t) { return in(ANY_PATH, t); }
inline bool is_any_block(uint32_t t) { return in(ANY_BLOCK, t); }
inline bool is_any_string(uint32_t t) { return in(ANY_STRING, t); }
inline bool is_series(uint32_t t) { return in(SERIES, t); }
inline bool is_any_word(uint32_t t) { return in(ANY_WORD, t); }
inline bool is_variable_word(uint32_t t) { return in(VARIABLE_WORD, t); }
inline bool is_symbolic(uint32_t t) { return in(SYMBOLIC, t); }
inline bool is_callable(uint32_t t) { return in(ANY_FUNCTION, t); }
inline bool is_function_like(uint32_t t) { return in(FUNCTION_LIKE, t); }
inline bool is_number(uint32_t t) { return in(NUMBER, t); }

inline bool is_any_block(const Cell* v) { return is_any_block(cell::type(v)); }
inline bool is_any_string(const Cell* v) { return is_any_string(cell::type(v)); }

}  // namespace types
}  // namespace zel
