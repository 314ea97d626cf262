// Contexts: the maps from words to value slots, and binding.
//
// A context is a series of two cells reached through its node:
//   1. the context cell (type context!): kind in header bits 11-12 (global,
//      function, object), HDR_ON_STACK when its values live on the value stack,
//      HDR_SELF, HDR_OWNED; w1 the node of its kind-2 word table, whose key
//      series is the symbol block (one word! cell per word, in order of
//      addition, bound to this context with its own position as index); w2
//      the node of the values block, or with HDR_ON_STACK the value-stack
//      index of the first value (stack::index_of) while the function runs
//      and 0 otherwise; w3, with HDR_ON_STACK, the number of values a call
//      holds on the stack (the words the context had when it was made);
//   2. the owner cell: the object! or function! that owns the context, unset
//      until the owner is made.
// A bound word holds the context node and the index of its slot, so reading
// and assigning it cost no lookup. In the global context two spellings of one
// name may each have a word cell while sharing the first spelling's slot.
#pragma once
#include <cstdint>

#include "core/hashtable.h"
#include "core/stack.h"
#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace context {

enum Kind : uint32_t { KIND_GLOBAL = 0, KIND_FUNCTION = 1, KIND_OBJECT = 2 };

// The global context, made at boot for this many words.
extern Node global_node;
// The context made by make_global with the node of its values block, so that
// reading a global word takes one node lookup instead of two (the collector
// rewrites both when it moves nodes).
struct GlobalValues {
    Node context, values;
};
extern GlobalValues global_values;
constexpr uint32_t GLOBAL_WORDS = hashtable::BIG_WORDS_REQUEST;

[[gnu::always_inline]] inline Cell* cell_of(Node ctx) { return series::record_cells(node::buffer(ctx)); }
inline Cell* owner_of(Node ctx) { return cell_of(ctx) + 1; }
inline uint32_t kind_of(const Cell* ctx) { return (ctx->header & HDR_CTX_KIND_MASK) >> HDR_CTX_KIND_SHIFT; }
inline bool is_on_stack(const Cell* ctx) { return (ctx->header & HDR_ON_STACK) != 0; }
inline Node table_of(const Cell* ctx) { return cell::context_table(ctx); }
inline Node symbols_node(const Cell* ctx) { return hashtable::record(cell::context_table(ctx))->keys; }
// The symbol block's buffer; good until a word is added.
inline SeriesBuffer* symbols(const Cell* ctx) { return node::buffer(symbols_node(ctx)); }
inline uint32_t word_count(const Cell* ctx) { return series::length(symbols(ctx)); }
// The word cell at a position of the symbol block.
inline Cell* word_at(const Cell* ctx, int32_t index) { return series::record_cells(symbols(ctx)) + index; }
// False for a function context whose function is not running.
inline bool has_values(const Cell* ctx) { return cell::context_values(ctx) != 0; }

// Registers context!, which has no actions.
void init();
// Makes the global context.
void make_global();
// The collector's part: marks the global context.
void mark_global();

// A new context for n words (at least 1): the word table copied from the
// context copy_from (0 for none) or empty, and without stack values a block
// of n unset values. The owner cell is unset.
Node create(uint32_t n, bool on_stack, bool self, Node copy_from, uint32_t kind);
// A context for a function spec: its word!, get-word!, lit-word! and
// refinement! values in order.
Node make(const Cell* spec, bool on_stack, bool self, uint32_t kind);
// A new context with the object's words rebound to it and fresh unset values;
// the object is pointed at it.
Node clone(Cell* object, uint32_t kind);

// The slot index of the symbol, or -1; with any_case every spelling matches.
int32_t lookup_word(Node ctx, uint32_t symbol, bool any_case);
// As lookup_word, but an absent symbol is added (a word cell only): then the
// answer is -1 and *added receives its position.
int32_t lookup_word_in(Node ctx, uint32_t symbol, bool any_case, int32_t* added);
// The slot of the word's symbol (any spelling), adding the word, and an unset
// value unless the values are on the stack, when absent.
int32_t find_or_add(Node ctx, const Cell* word);
// Adds the word with the value when absent, else overwrites its value.
void put(Node ctx, const Cell* word, const Cell* value);
// Adds every set-word! of the block from its position; true when it grew.
bool collect_set_words(Node ctx, const Cell* block);

// The global context's word for the symbol, added with an unset value when
// absent (see context.cpp for the spellings).
Cell add_word(uint32_t symbol, bool any_case, bool spelling);
// add_word without regard to other spellings; while booting the word is also
// kept in the root block.
Cell add_global(uint32_t symbol);

// The value slot at an index, or null when the context has no values there.
Cell* slot(Node ctx, int32_t index);
// The value slot of a values block at an index.
inline Cell* value_at(Node ctx, int32_t index) {
    return series::record_cells(node::buffer(cell::context_values(cell_of(ctx)))) + index;
}
// The slot of a context's value on the value stack (the context is on the
// stack, running or not), or null.
[[gnu::always_inline]] inline Cell* slot_on_stack(const Cell* cc, uint32_t index) {
    uint32_t values = cell::context_values(cc);
    return values && index < cell::context_stack_count(cc) ? stack::cell_at(values + index) : nullptr;
}
// bound_slot for a word known to be bound to a context on the stack.
[[gnu::always_inline]] inline Cell* stack_slot(const Cell* word) {
    return slot_on_stack(cell_of(cell::word_context(word)), uint32_t(cell::word_index(word)));
}
// The value slot of a bound word with a known index, found inline for the
// common cases: the global context, any context whose values block exists,
// and a running function's values on the value stack. It answers exactly
// what get_word_value answers when that finds a slot; null sends the caller
// to get_word_value for the rest and for its errors. With plain, an object's
// field answers null too: assigning one is more than a copy (set_word_value).
template <bool plain = false>
[[gnu::always_inline]] inline Cell* bound_slot(const Cell* word) {
    Node ctx = cell::word_context(word);
    int32_t index = cell::word_index(word);
    if (index < 0 || ctx == 0) return nullptr;
    if (ctx == global_values.context) return series::record_cells(node::buffer(global_values.values)) + index;
    const Cell* cc = cell_of(ctx);
    if (cell::context_values(cc) == 0) return nullptr;
    if (is_on_stack(cc)) return slot_on_stack(cc, uint32_t(index));
    if (plain && kind_of(cc) == KIND_OBJECT) return nullptr;
    return series::record_cells(node::buffer(cell::context_values(cc))) + index;
}

// The value cell of the symbol (any spelling) in the context, the global
// context standing in for one whose values are on the stack; null when absent.
Cell* get_word_cell(uint32_t symbol, Node ctx);

// Reading and assigning a word through a context; both answer the slot.
Cell* get_word_value(const Cell* word, Node ctx);
// get_word_value in the word's own context, inline when bound_slot finds it.
inline Cell* word_value(const Cell* word) {
    Cell* s = bound_slot(word);
    return s ? s : get_word_value(word, cell::word_context(word));
}
Cell* set_word_value(Cell* word, const Cell* value, Node ctx, bool notify);

// Binds the word to the context when the context holds its symbol.
void bind_word(Node ctx, Cell* word);
// Binds every word of the block and of the blocks nested in it; with self, a
// word! self is bound to the context with index -1 (it reads as the owner).
void bind(const Cell* block, Node ctx, bool self);
// A deep clone of the block (block::clone with deep and deep_all) into out,
// bound to the context as bind without self would bind it, every block it
// reaches given the series flags.
void clone_bound(const Cell* block, Cell* out, Node ctx, uint32_t series_flags);

// The object layer's on-change* protocol, called after an object field was
// assigned through a word: owner, word, old value, new value.
using ChangeNotifier = void (*)(Cell* owner, Cell* word, Cell* old_value, Cell* new_value);
void set_change_notifier(ChangeNotifier notifier);

}  // namespace context

}  // namespace zel
