// The evaluator: expressions, words, set-words, parens, paths, the infix
// look-ahead, argument lists and the gathering of a call's arguments.
#include "interpreter/eval.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/block.h"
#include "core/block_search.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/evaluator.h"
#include "core/exits.h"
#include "core/function.h"
#include "core/logic.h"
#include "core/native.h"
#include "core/native_ids.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "datatypes/map.h"
#include "datatypes/typeset.h"
#include "interpreter/fastpath.h"
#include "interpreter/path_walk.h"
#include "interpreter/prepared.h"
#include "interpreter/trace.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "kernel/fail.h"
#include "kernel/stack_guard.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace interp {

EvalState eval_state{nullptr, 0, stack::INTERPRETED, false};

namespace {

// ---- code access ------------------------------------------------------------------
// Code is walked by node and position; the tail is read again every time.

[[gnu::always_inline]] inline SeriesBuffer* code_buffer(const Cell* block) { return node::buffer_in_line(cell::series_node(block)); }
// Code (blocks, parens, paths) holds cells: its length needs no unit lookup.
using block::cell_count;
inline uint32_t live_tail(const Cell* block) { return cell_count(code_buffer(block)); }
inline Cell fetch(const Cell* block, uint32_t pos) { return series::cells(code_buffer(block))[pos]; }

// Whether two cells hold the same 16 bytes, in two compares (a
// call of memcmp where the compiler does not expand it).
[[gnu::always_inline]] inline bool same_bits(const Cell* a, const Cell* b) {
    uint64_t x[2], y[2];
    std::memcpy(x, a, sizeof(Cell));
    std::memcpy(y, b, sizeof(Cell));
    return ((x[0] ^ y[0]) | (x[1] ^ y[1])) == 0;
}

// Whether a trace, a due collection or a halt asks a quick path to leave the
// expression to the general one (whose safe point takes the collection and
// the halt): while nothing does, one load and one branch (the attention
// word); the precise tests lie behind it.
[[gnu::always_inline]] inline bool attention_due() {
    return !attention::quiet() &&
           (attention::has(attention::TRACING | attention::HALT) || collector::wants_safe_point());
}
// The same for a collection or a halt alone.
[[gnu::always_inline]] inline bool safe_point_due() {
    return !attention::quiet() && (attention::has(attention::HALT) || collector::wants_safe_point());
}

inline const Cell* anon() { return words::word(words::W_tag_anon); }
inline const Cell* body_word() { return words::word(words::W_tag_body); }

// An op! reaches a call unwrapped; an op! met as a path's value is not called.
inline bool is_called(uint32_t t) { return types::is_callable(t) && t != T_OP; }

// What reading a word does with its value: most values are simply pushed.
using prepared::WordClass;
using prepared::WORD_PUSH;
using prepared::WORD_CALL;
using prepared::WORD_SPECIAL;
using prepared::WORD_CLASSES;
[[gnu::always_inline]] inline WordClass word_class(const Cell* value) { return WORD_CLASSES.of[cell::type(value)]; }

// Frames of calls made from library code are not marked interpreted.
inline uint32_t interp_bit() { return eval_state.frame_bit; }

// The callable an op! wraps: its copy with the wrapped type.
Cell unwrap(const Cell* op) {
    Cell c = *op;
    c.header = (c.header & ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK)) | op::wrapped_type(op);
    return c;
}

[[noreturn]] void not_callable(const Cell* value) {
    Cell datatype;
    cell::make_datatype(&datatype, cell::type(value));
    error::raise(Err::internal_not_callable, &datatype);
}

// A fetch event whose callback may run a collection: the cells the caller
// goes on with (the value fetched, an operator) are kept current meanwhile.
void emit_fetch(const Cell* code, uint32_t pos, Cell* value, Cell* also = nullptr) {
    temp_roots::Hold hold_value(value), hold_also(also ? also : value);
    emit_event(EV_FETCH, code, int32_t(pos), nullptr, value);
}

// A word of the symbol bound to nothing: names an argument in an error.
Cell loose_word(uint32_t symbol, uint32_t type) { return Cell{type, 0, symbol, uint32_t(-1)}; }

bool same_symbol(uint32_t a, uint32_t b) { return symbol::resolve(a) == symbol::resolve(b); }

uint32_t block_length(const Cell* block) {
    int32_t n = int32_t(live_tail(block)) - cell::series_index(block);
    return n > 0 ? uint32_t(n) : 0;
}

// ---- argument lists ------------------------------------------------------------------

uint32_t canonical_local() { return symbol::resolve(cell::word_symbol(words::refinement(words::R_local))); }

// /local and the word!s after it up to a set-word or the end.
uint32_t count_locals(Node spec, uint32_t from) {
    SeriesBuffer* b = node::buffer(spec);
    uint32_t n = 1;
    for (uint32_t i = from + 1; i < series::length(b); i++) {
        uint32_t t = cell::type(series::cells(b) + i);
        if (t == T_SET_WORD) break;
        n += t == T_WORD;
    }
    return n;
}

constexpr uint32_t mode_of_word(uint32_t t) {
    return t == T_GET_WORD ? FETCH_AS_IS : t == T_LIT_WORD ? FETCH_QUOTED : FETCH_EVAL;
}

// The typeset entry of an argument whose type block (if any) follows at i + 1.
Cell argument_entry(Node spec, uint32_t i, uint32_t mode, uint32_t symbol) {
    Cell entry;
    SeriesBuffer* b = node::buffer(spec);
    Cell next = i + 1 < series::length(b) ? series::cells(b)[i + 1] : statics::none_cell;
    if (cell::type(&next) == T_BLOCK && block_length(&next) > 0) {
        typeset::from_type_block(&entry, &next);
    } else {
        typeset::init_all_but_unset(&entry);
    }
    entry.header = T_TYPESET | (mode << FETCH_SHIFT);
    interp::set_entry_symbol(&entry, symbol);
    return entry;
}

Node build_arg_list(Node spec, bool function_like) {
    Cell list;
    cell::make_series(&list, T_BLOCK, series::new_cells(series::length(node::buffer(spec)) + 1));
    temp_roots::Hold hold(&list);
    uint32_t n = series::length(node::buffer(spec)), ordinal = 0, locals = 0;
    uint32_t i = n && cell::type(series::cells(node::buffer(spec))) == T_BLOCK ? 1 : 0;
    for (; i < n && !locals; i++) {
        Cell c = series::cells(node::buffer(spec))[i];
        Cell entry;
        switch (cell::type(&c)) {
        case T_WORD:
        case T_LIT_WORD:
        case T_GET_WORD: entry = argument_entry(spec, i, mode_of_word(cell::type(&c)), cell::word_symbol(&c)); break;
        case T_REFINEMENT:
            if (symbol::resolve(cell::word_symbol(&c)) == canonical_local()) {
                locals = count_locals(spec, i);
                continue;
            }
            entry = c;
            interp::set_entry_ordinal(&entry, ++ordinal);
            break;
        case T_SET_WORD:
            if (!same_symbol(cell::word_symbol(&c), words::symbol(words::S_return_))) error::raise(Err::script_bad_func_def, &c);
            entry = argument_entry(spec, i, FETCH_RETURN, cell::word_symbol(&c));
            break;
        default: continue;
        }
        *block::append_slot(&list) = entry;
    }
    uint32_t end = function_like ? locals : ordinal;
    if (end) cell::make_integer(block::append_slot(&list), int32_t(end));
    return cell::series_node(&list);
}

// ---- a call in progress ------------------------------------------------------------------

struct Call {
    Cell callable;         // an op! already unwrapped
    Cell name;             // the word naming the frame (held with the callable)
    const Cell* code;      // the code the arguments come from, or null
    uint32_t pos;          // the next position in it
    bool infix;            // the first argument is already on the stack
    const Cell* path;      // refinements come from this path's elements...
    uint32_t path_from;    // ... from this position on
    const Cell* given;     // or the arguments are these cells (invoke)
    uint32_t given_count;
    uint32_t given_next;
    bool positional;       // the given cells fill refinement slots too
    Node args;             // the argument list
};
// call() holds the callable and the name as one run of two cells.
static_assert(offsetof(Call, name) == offsetof(Call, callable) + sizeof(Cell));

inline Cell entry_at(Node list, uint32_t k) { return series::cells(node::buffer(list))[k]; }
inline uint32_t list_length(Node list) { return series::length(node::buffer(list)); }

// Argument lists of the callables called lately, by the node of their extra
// block: one load instead of two node lookups per call. A collection forgets
// them all, as it may free nodes and move others. A node may sit in either
// slot of its pair: two callables of a hot loop whose nodes fall on the same
// pair would otherwise make each other's list again on every call (their
// node numbers, not the code, decide that).
struct ListMemo {
    Node extra, list;
    int32_t plain_args;  // see plain_arguments
};
constexpr uint32_t LIST_MEMO_SLOTS = 128;
ListMemo list_memo[LIST_MEMO_SLOTS];

// Refinement positions of a native call live here, not on the heap.
using actions::MAX_REFINEMENTS;

// A plain call copies its argument entries (plain values) out of the list.
constexpr uint32_t MAX_PLAIN_ARGS = 4;

// The number of arguments of a native's, action's, function's or routine's
// list when they are all evaluated and come first, followed by nothing but
// return: entries (which a call skips) or, for a native or action, by
// refinements whose number ends the list: the commonest shape, gathered
// without the general loop. Else -1.
int32_t plain_arguments(const Cell* callable, Node list) {
    uint32_t type = cell::type(callable);
    if (type != T_NATIVE && type != T_ACTION && type != T_FUNCTION && type != T_ROUTINE) return -1;
    SeriesBuffer* b = node::buffer(list);
    const Cell* e = series::cells(b);
    uint32_t n = cell_count(b), k = 0;
    while (k < n && cell::type(e + k) == T_TYPESET && fetch_mode(e + k) == FETCH_EVAL) k++;
    uint32_t args = k;
    if (args > MAX_PLAIN_ARGS) return -1;
    while (k < n && cell::type(e + k) == T_TYPESET && fetch_mode(e + k) == FETCH_RETURN) k++;
    if (k == n) return int32_t(args);
    if (type == T_FUNCTION) return -1;  // refinements and locals take the general gather
    const Cell* count = e + n - 1;
    bool counted = cell::type(e + k) == T_REFINEMENT && cell::type(count) == T_INTEGER &&
                   uint32_t(cell::get_int(count)) <= MAX_REFINEMENTS;
    return counted ? int32_t(args) : -1;
}

// The refinements of a plain call: all unused.
using actions::NO_REFINEMENTS;

// The memo of the argument list, made on the first call (prepare_spec).
// Neither slot of the pair holds the node: the list is made into the first
// slot, the first's memo moving to the second. Making a list may collect,
// which forgets every memo: the pair is read after it.
[[gnu::noinline]] const ListMemo& list_memo_made(const Cell* callable, ListMemo* pair) {
    Node list = prepare_spec(callable);
    ListMemo made{cell::callable_extra(callable), list, plain_arguments(callable, list)};
    pair[1] = pair[0];
    pair[0] = made;
    return pair[0];
}
[[gnu::always_inline]] inline const ListMemo& list_memo_of(const Cell* callable) {
    Node extra = cell::callable_extra(callable);
    ListMemo* pair = list_memo + 2 * (extra % (LIST_MEMO_SLOTS / 2));
    if (pair[0].extra == extra) return pair[0];
    if (pair[1].extra == extra) return pair[1];
    return list_memo_made(callable, pair);
}
inline Node arg_list(const Cell* callable) { return list_memo_of(callable).list; }

uint32_t expression(const Cell* code, uint32_t pos, bool infix_off, SeriesBuffer* b);
uint32_t first_expression(const Cell* code, uint32_t pos, SeriesBuffer* b);
bool paren_call(const Cell* paren);
enum PathMode { PATH_CALL, PATH_GET, PATH_SET };
uint32_t eval_path(const Cell* path, PathMode mode, const Cell* code, uint32_t pos);
uint32_t call(Call& c);
// The commonest path, an object's word and one field word bound to the
// object (o/x), and the field it names (see object_slot): false for any
// other path or a field that needs the walk. Good until anything evaluates.
struct FieldRef {
    const Cell* object;
    const Cell* element;
    Cell* slot;
};
bool field_ref(const Cell* path, bool setting, FieldRef* f);
// The field's word in its object's symbol block, whose header holds the
// field's changed mark (good until the block grows or moves).
inline Cell* field_mark(const Cell* object, const Cell* element) {
    return context::word_at(context::cell_of(cell::object_context(object)), cell::word_index(element));
}
// Writes the value into a field found by object_slot and sets its changed
// mark (its word, see field_mark), as the object's eval-path would.
[[gnu::always_inline]] inline void set_field(Cell* slot, Cell* mark, const Cell* value) {
    *slot = *value;
    mark->header |= HDR_ASSIGNED;
}
// The value of a path read in place (see field_ref) when it is simply pushed.
inline const Cell* path_value(const Cell* path) {
    FieldRef f;
    return field_ref(path, false, &f) && word_class(f.slot) == WORD_PUSH ? f.slot : nullptr;
}

// eval() inline, for the evaluator's own commonest blocks: a paren, a
// branch, a function body (one C++ frame less per nesting).
// Unnamed is set where the caller names the block <anon> or <body>; a
// loop's turn (eval_turn) keeps the form the block ran from, or was given.
// Nested is set for a function's body and a taken branch's block, the
// blocks of a recursive call's path: a one-call form runs there inside
// eval_prepared, one C++ layer less than through eval_prepared_one. Body is
// set for a function's body run by function_body (a copy of its own, so
// that branch blocks do not test for it).
template <bool Unnamed = true, bool Nested = false, bool Body = false>
[[gnu::always_inline]] inline void eval_block(const Cell* name, const Cell* block, bool keep_last,
                                              LoopBlock* turn = nullptr);

[[noreturn]] void no_arg(const Cell* name, const Cell& entry) {
    Cell arg = loose_word(entry_symbol(&entry), T_WORD);
    error::raise(Err::script_no_arg, name, &arg);
}

[[noreturn]] void bad_arg(const Cell* name, const Cell& entry, uint32_t type) {
    Cell datatype, arg = loose_word(entry_symbol(&entry), T_WORD);
    cell::make_datatype(&datatype, type);
    error::raise(Err::script_expect_arg, name, &datatype, &arg);
}

// Where each type's bit sits in a typeset's payload words: one load and one
// bit test per argument. Types beyond the typeset's range have no bit.
struct TypeBit {
    uint8_t word;
    uint32_t mask;
};
struct TypeBits {
    TypeBit of[256];
    TypeBits() : of{} {
        for (uint32_t t = 0; t < 96; t++) of[t] = {uint8_t(typeset::word_of(t)), typeset::mask_of(t)};
    }
};
const TypeBits TYPE_BITS;

// The argument has just been pushed: the stack holds at least it.
inline void check_type(const Cell* name, const Cell& entry) {
    uint32_t t = cell::type(stack::last());
    TypeBit bit = TYPE_BITS.of[t];
    if (!(typeset::words(&entry)[bit.word] & bit.mask)) bad_arg(name, entry, t);
}
inline void check_arg(const Call& c, const Cell& entry) { check_type(&c.name, entry); }

// Pushes one argument by its fetch mode.
void fetch_arg(Call& c, const Cell& entry) {
    uint32_t mode = fetch_mode(&entry);
    if (c.given) {
        const Cell* v = c.given_next < c.given_count ? c.given + c.given_next : &statics::none_cell;
        c.given_next++;
        stack::push(v);
        return;
    }
    SeriesBuffer* b = code_buffer(c.code);
    if (c.pos >= cell_count(b)) {
        if (mode == FETCH_EVAL || !typeset::has(&entry, T_UNSET)) no_arg(&c.name, entry);
        stack::push(&statics::unset_cell);
        return;
    }
    if (mode == FETCH_EVAL) {
        c.pos = expression(c.code, c.pos, c.infix, b);
        return;
    }
    Cell v = fetch(c.code, c.pos++);
    if (is_tracing()) emit_fetch(c.code, c.pos - 1, &v);
    if (mode == FETCH_QUOTED) {
        switch (cell::type(&v)) {
        case T_PAREN: eval(anon(), &v, false); return;
        case T_GET_WORD: stack::push(word::get_value(&v)); return;
        case T_GET_PATH: eval_path(&v, PATH_GET, nullptr, 0); return;
        }
    }
    stack::push(&v);
    if (is_tracing()) emit_event(EV_PUSH, c.code, int32_t(c.pos - 1), nullptr, &v);
}

// The common argument, evaluated from the code with more code to come,
// without fetch_arg's other modes; false leaves it to fetch_arg.
inline bool eval_arg(Call& c, const Cell& entry) {
    if (c.given || (entry.header & FETCH_MASK) != 0) return false;
    SeriesBuffer* b = code_buffer(c.code);
    if (c.pos >= cell_count(b)) return false;
    c.pos = expression(c.code, c.pos, c.infix, b);
    return true;
}

// The position of the refinement entry of the symbol in the list, or -1.
int32_t find_refinement(Node list, uint32_t symbol) {
    for (uint32_t k = 0, n = list_length(list); k < n; k++) {
        Cell e = entry_at(list, k);
        if (cell::type(&e) == T_REFINEMENT && same_symbol(cell::word_symbol(&e), symbol)) return int32_t(k);
    }
    return -1;
}

bool is_argument(const Cell& e) { return cell::type(&e) == T_TYPESET && fetch_mode(&e) != FETCH_RETURN; }

int32_t path_refinement(const Call& c, uint32_t at, bool* used) {
    return checked_refinement(c.path, c.path_from, at, c.args, &c.name, used);
}

// The refinements a path gives, in path order; a function's refinement and
// argument cells sit in the frame in spec order and are written in place.
void use_path_refinements(Call& c, int32_t* refs) {
    bool function_like = types::is_function_like(cell::type(&c.callable));
    for (uint32_t at = c.path_from; at < live_tail(c.path); at++) {
        bool used;
        uint32_t k = uint32_t(path_refinement(c, at, &used));
        if (function_like) cell::make_logic(stack::reg.base + k, used);
        else if (used) refs[entry_ordinal(series::cells(node::buffer(c.args)) + k) - 1] = int32_t(stack::reg.top - stack::reg.base);
        for (uint32_t m = k + 1; m < list_length(c.args); m++) {
            Cell e = entry_at(c.args, m);
            if (!is_argument(e)) break;
            fetch_arg(c, e);
            if (exits::pending()) return;
            c.args = arg_list(&c.callable);
            check_arg(c, e);
            if (!function_like) continue;
            stack::reg.base[m] = used ? *stack::top() : statics::none_cell;
            stack::pop(1);
        }
    }
}

// A native's or action's refinements are all unused until a path says
// otherwise, and its list ends with their number: they are marked without
// reading the rest of the list (false when there are more than a call holds).
bool unused_refinements(SeriesBuffer* list, int32_t* refs) {
    const Cell* count = series::cells(list) + cell_count(list) - 1;
    if (cell::type(count) != T_INTEGER || uint32_t(cell::get_int(count)) > MAX_REFINEMENTS) return false;
    for (int32_t i = 0, n = cell::get_int(count); i < n; i++) refs[i] = -1;
    return true;
}

// A positional call's refinement flag: set only by a true logic!.
bool given_flag(Call& c) {
    const Cell* v = c.given_next < c.given_count ? c.given + c.given_next : &statics::none_cell;
    c.given_next++;
    return cell::type(v) == T_LOGIC && cell::get_logic(v);
}

// Fills the frame: the arguments before the first refinement, then for a
// function or routine false for each refinement, none for its arguments and
// false and none for /local and its words. Answers false on a pending exit.
bool gather(Call& c, int32_t* refs) {
    bool function_like = types::is_function_like(cell::type(&c.callable));
    bool active = true;
    SeriesBuffer* list = node::buffer(c.args);  // fetched again after an evaluation
    for (uint32_t k = 0, n = cell_count(list); k < n; k++) {
        Cell e = series::cells(list)[k];
        switch (cell::type(&e)) {
        case T_TYPESET:
            if (fetch_mode(&e) == FETCH_RETURN) break;
            if (!active) {
                if (c.positional) c.given_next++;
                if (function_like) stack::push(&statics::none_cell);
                break;
            }
            if (c.infix && k == 0) {
                stack::push_slot();
            } else {
                if (!eval_arg(c, e)) fetch_arg(c, e);
                if (exits::pending()) return false;
                c.args = arg_list(&c.callable);  // a collection may have moved the node
                list = node::buffer(c.args);
            }
            check_arg(c, e);
            break;
        case T_REFINEMENT:
            if (c.positional && function_like) {
                active = given_flag(c);
                stack::push(active ? &statics::true_cell : &statics::false_cell);
                break;
            }
            if (!function_like && unused_refinements(list, refs)) {
                k = n;
                break;
            }
            active = false;
            if (function_like) stack::push(&statics::false_cell);
            else if (entry_ordinal(&e) <= MAX_REFINEMENTS) refs[entry_ordinal(&e) - 1] = -1;
            else error::raise(Err::internal_limit_hit, &e);
            break;
        case T_INTEGER:
            if (function_like) function::init_refinement(uint32_t(cell::get_int(&e)));
            break;
        }
    }
    if (c.path && c.path_from < live_tail(c.path)) use_path_refinements(c, refs);
    return !exits::pending();
}

// A function's words beyond its spec (added to its context later) get none;
// cc is the function's context cell.
void pad_frame(const Cell* cc) {
    while (uint32_t(stack::reg.top - stack::reg.base) < cell::context_stack_count(cc)) stack::push(&statics::none_cell);
}

// ---- natives and actions ----------------------------------------------------------------

// How the evaluator's fast paths take an action or native.
enum FastKind : uint8_t { FAST_NONE, FAST_ARITH, FAST_QUERY, FAST_COMPARE, FAST_PICK, FAST_SELECT, FAST_PUT };
struct Fast {
    FastKind kind;
    uint8_t op;
};

// The fast path of each action, by action id.
struct FastActions {
    Fast of[ACTION_COUNT + 1];
    constexpr FastActions() : of{} {
        of[ACT_add] = {FAST_ARITH, actions::ARITH_ADD};
        of[ACT_subtract] = {FAST_ARITH, actions::ARITH_SUBTRACT};
        of[ACT_multiply] = {FAST_ARITH, actions::ARITH_MULTIPLY};
        of[ACT_divide] = {FAST_ARITH, actions::ARITH_DIVIDE};
        of[ACT_remainder] = {FAST_ARITH, actions::ARITH_REMAINDER};
        of[ACT_or_] = {FAST_ARITH, actions::ARITH_OR};
        of[ACT_and_] = {FAST_ARITH, actions::ARITH_AND};
        of[ACT_xor_] = {FAST_ARITH, actions::ARITH_XOR};
        of[ACT_pick] = {FAST_PICK, 0};
        of[ACT_select] = {FAST_SELECT, 0};
        of[ACT_put] = {FAST_PUT, 0};
        of[ACT_is_length] = {FAST_QUERY, actions::Q_LENGTH};
        of[ACT_is_index] = {FAST_QUERY, actions::Q_INDEX};
        of[ACT_is_head] = {FAST_QUERY, actions::Q_IS_HEAD};
        of[ACT_is_tail] = {FAST_QUERY, actions::Q_IS_TAIL};
        of[ACT_next] = {FAST_QUERY, actions::Q_NEXT};
        of[ACT_back] = {FAST_QUERY, actions::Q_BACK};
        of[ACT_head] = {FAST_QUERY, actions::Q_HEAD};
        of[ACT_tail] = {FAST_QUERY, actions::Q_TAIL};
    }
};
constexpr FastActions FAST_ACTIONS;
inline Fast fast_action(uint32_t id) { return id <= ACTION_COUNT ? FAST_ACTIONS.of[id] : Fast{FAST_NONE, 0}; }
// The number of arguments of an action call that fast_call_in_place may
// answer (its arguments plain values), or 0.
inline uint32_t inline_arity(Fast f) {
    return f.kind == FAST_PICK || f.kind == FAST_SELECT ? 2 : f.kind == FAST_QUERY ? 1 : 0;
}

// The comparison natives, by native index (equal? is 25): their op codes.
constexpr uint32_t FIRST_COMPARE_NATIVE = 25;
constexpr int8_t COMPARE_OPS[] = {actions::OP_EQUAL,  actions::OP_NOT_EQUAL,         actions::OP_STRICT_EQUAL,
                                  actions::OP_LESSER, actions::OP_GREATER,           actions::OP_LESSER_OR_EQUAL,
                                  actions::OP_GREATER_OR_EQUAL};

inline Fast fast_native(uint32_t index) {
    uint32_t k = index - FIRST_COMPARE_NATIVE;
    if (k < sizeof COMPARE_OPS) return {FAST_COMPARE, uint8_t(COMPARE_OPS[k])};
    return {FAST_NONE, 0};
}

// a + b, or a - b when subtract, into r; false on an overflow, which the
// generic path turns into a float!.
[[gnu::always_inline]] inline bool int_sum(bool subtract, int32_t a, int32_t b, int32_t* r) {
    return !(subtract ? __builtin_sub_overflow(a, b, r) : __builtin_add_overflow(a, b, r));
}

// The inline answer of a two-operand fast path in place of the left
// operand; false when the operands need the generic routine.
inline bool binary_inline(Fast f, Cell* left, const Cell* right) {
    if (f.kind == FAST_ARITH) {
        // integer! + and - integer!, the commonest, without the call
        int32_t r;
        if (f.op <= actions::ARITH_SUBTRACT && cell::type(left) == T_INTEGER && cell::type(right) == T_INTEGER &&
            int_sum(f.op == actions::ARITH_SUBTRACT, cell::get_int(left), cell::get_int(right), &r)) {
            actions::store_cell(left, left->header, left->w1, uint32_t(r), left->w3);
            return true;
        }
        return actions::arith_inline(f.op, left, right, left);
    }
    bool answer;
    if (f.kind != FAST_COMPARE || !actions::compare_inline(f.op, left, right, &answer)) return false;
    actions::store_logic(left, answer);
    return true;
}

// The inline answer of a fast path into the result slot; false when the
// operands need the generic routine.
bool run_fast_path(Fast f) {
    Cell* base = stack::reg.base;
    switch (f.kind) {
    case FAST_NONE: return false;
    case FAST_QUERY:
        if (!actions::query_inline(base, f.op, base)) return false;
        break;
    case FAST_PICK:
        if (cell::type(base + 1) != T_INTEGER || !actions::select_inline(base, cell::get_int(base + 1), base))
            return false;
        break;
    case FAST_SELECT:
        if (!map::select_number(base, base + 1, base)) return false;
        break;
    case FAST_PUT:  // in its frame only: it writes, and a new key allocates as the action would
        if (!fail::or_no_memory([&] { return map::put_number(base, base + 1, base + 2); })) return false;
        *base = base[2];
        break;
    default:
        if (!binary_inline(f, base, base + 1)) return false;
    }
    stack::keep();
    return true;
}
// Most natives and actions have no fast path: they are told without a call.
inline bool run_fast(Fast f) { return f.kind != FAST_NONE && run_fast_path(f); }

// Memory the system refuses to a C++ container inside a native or action
// is the no-memory error of that call. A plain call (no refinement used)
// takes an action's entry that reads no refinement (actions::plain_table).
template <bool Plain = false>
void run_native(const Cell* callable, const int32_t* refs) {
    uint32_t index = cell::callable_index(callable);
    if (cell::type(callable) == T_ACTION) {
        const actions::Entry* entries = Plain ? actions::plain_table : actions::table;
        if (index < 1 || index > ACTION_COUNT || !entries[index - 1]) not_callable(callable);
        if (!run_fast(fast_action(index))) fail::or_no_memory([&] { entries[index - 1](refs); });
        return;
    }
    natives::Routine routine = natives::routine(index);
    if (!routine) not_callable(callable);
    if (!run_fast(fast_native(index))) fail::or_no_memory([&] { routine(false, refs); });
}

// ---- infix operators in place ---------------------------------------------------------
// An infix operator whose callable is an action or comparison native with a
// fast path skips the general call: with a right operand that is a number
// written in the code or a word holding one it is applied in place of the
// left operand (no frame at all); with any other right operand its frame is
// opened and the operand evaluated into it as a call would, and only then
// the routine runs if the operands need it. What the general call checks is
// checked once per operator: that its callable is there and its argument
// list takes the operand types as they come, evaluated.

enum OperandTypes : uint8_t { TAKES_INTEGER = 1, TAKES_FLOAT = 2 };

struct FastOp {
    Fast fast;
    uint8_t takes;  // OperandTypes both arguments accept; 0: no fast path
};

// Operators checked so far, by the node of their extra block, with the
// callable they wrap (the op! cell's header, which holds the wrapped type,
// and its index word, compared as one). A collection forgets them all, as a
// freed node may come back naming another callable.
struct OpMemo {
    uint64_t head;
    Node extra;
    FastOp fast;
};
inline uint64_t op_head(const Cell* op) {
    uint64_t head;
    std::memcpy(&head, op, sizeof head);
    return head;
}
constexpr uint32_t OP_MEMO_SLOTS = 32;
OpMemo op_memo[OP_MEMO_SLOTS];

void forget_ops() {
    for (OpMemo& m : op_memo) m = OpMemo{};
}

uint8_t operand_types(const Cell* e) {
    uint32_t mask = 0;
    if (typeset::has(e, T_INTEGER)) mask |= TAKES_INTEGER;
    if (typeset::has(e, T_FLOAT)) mask |= TAKES_FLOAT;
    return uint8_t(mask);
}

bool has_routine(const Cell* callable) {
    uint32_t index = cell::callable_index(callable);
    if (cell::type(callable) == T_NATIVE) return natives::routine(index) != nullptr;
    return index >= 1 && index <= ACTION_COUNT && actions::table[index - 1];
}

// The operand types the operator (unwrapped) takes with nothing more than
// its fast path: two evaluated arguments (and any return: entry, which a
// call skips).
uint8_t operator_takes(const Cell* op) {
    if (!has_routine(op)) return 0;
    SeriesBuffer* b = node::buffer(prepare_spec(op));
    const Cell* e = series::cells(b);
    uint32_t args = 0, takes = TAKES_INTEGER | TAKES_FLOAT;
    for (uint32_t k = 0, n = cell_count(b); k < n; k++) {
        if (cell::type(e + k) != T_TYPESET) return 0;
        if (fetch_mode(e + k) == FETCH_RETURN) continue;
        if (fetch_mode(e + k) != FETCH_EVAL || ++args > 2) return 0;
        takes &= operand_types(e + k);
    }
    return uint8_t(args == 2 ? takes : 0);
}

FastOp check_operator(const Cell* op_value) {
    Cell op = unwrap(op_value);
    uint32_t t = cell::type(&op);
    Fast f = t == T_ACTION ? fast_action(cell::callable_index(&op)) : t == T_NATIVE ? fast_native(cell::callable_index(&op)) : Fast{FAST_NONE, 0};
    if (f.kind != FAST_ARITH && f.kind != FAST_COMPARE) return {f, 0};
    return {f, operator_takes(&op)};
}

// The fast path of an op! value: none while tracing, whose events only the
// general call emits.
inline FastOp memo_operator(const Cell* op) {
    OpMemo& m = op_memo[cell::callable_extra(op) % OP_MEMO_SLOTS];
    uint64_t head = op_head(op);
    if (m.head != head || m.extra != cell::callable_extra(op)) m = OpMemo{head, cell::callable_extra(op), check_operator(op)};
    return m.fast;
}
inline FastOp fast_operator(const Cell* op) {
    if (is_tracing()) return {{FAST_NONE, 0}, 0};
    return memo_operator(op);
}

struct OperandTakes {
    uint8_t of[256];
    constexpr OperandTakes() : of{} {
        of[T_INTEGER] = TAKES_INTEGER;
        of[T_FLOAT] = TAKES_FLOAT;
    }
};
constexpr OperandTakes OPERAND_TAKES;
inline uint8_t takes_of(const Cell* value) { return OPERAND_TAKES.of[cell::type(value)]; }

inline bool takes_both(uint8_t takes, const Cell* left, const Cell* right) {
    uint8_t l = takes_of(left), r = takes_of(right);
    return l && r && (takes & (l | r)) == (l | r);
}

// The commonest step first: an integer and an integer written in the code
// under + or - (binary_inline's first case), in place of the left one; false
// with nothing done when it does not apply.
[[gnu::always_inline]] inline bool int_literal_step(const FastOp& fast, Cell* left, const Cell* right) {
    if (fast.fast.kind != FAST_ARITH || fast.fast.op > actions::ARITH_SUBTRACT || !(fast.takes & TAKES_INTEGER) ||
        cell::type(right) != T_INTEGER || cell::type(left) != T_INTEGER)
        return false;
    int32_t r;
    if (!int_sum(fast.fast.op == actions::ARITH_SUBTRACT, cell::get_int(left), cell::get_int(right), &r)) return false;
    cell::set_int(left, r);
    return true;
}

// The operator applied to the top value and the operand at the position of
// the code's buffer; false leaves everything as it was. Nothing here moves a
// buffer (an argument list made on the first use is a new series).
bool paren_in_place(const FastOp& op, const Cell* paren);

// Where value_in_place stopped: the slot of the operator it could not apply
// in place and that operator's fast path, or a null op at the expression's end.
struct Stop {
    const Cell* op;
    FastOp fast;
};
inline uint32_t expression_in_place(SeriesBuffer* b, uint32_t pos, bool parens, Stop* stop);
uint32_t infix_from(const Cell* code, uint32_t pos, SeriesBuffer* b, const Stop& stop);

uint32_t fast_call_in_place(SeriesBuffer* b, uint32_t pos, Cell* out);

// A right operand that is a selection or query in place (n + length? r).
[[gnu::noinline]] uint32_t call_operand_in_place(const FastOp& op, SeriesBuffer* b, uint32_t at) {
    Cell right;
    uint32_t end = fast_call_in_place(b, at, &right);
    Cell* left = stack::last();
    return end && takes_both(op.takes, left, &right) && binary_inline(op.fast, left, &right) ? end : 0;
}

// The value of the word a paren starts with; null when it starts with no
// word or the word has no value.
[[gnu::always_inline]] inline const Cell* paren_head(const Cell* paren) {
    SeriesBuffer* b = code_buffer(paren);
    uint32_t at = uint32_t(cell::series_index(paren));
    if (at >= cell_count(b) || cell::type(series::cells(b) + at) != T_WORD) return nullptr;
    return context::bound_slot(series::cells(b) + at);
}

// Whether a paren starts with a word holding a function or native: then it
// cannot apply in place, and paren_in_place need not be asked.
inline bool starts_with_call(const Cell* paren) {
    const Cell* value = paren_head(paren);
    return value && (cell::type(value) == T_FUNCTION || cell::type(value) == T_NATIVE);
}

// The right operand at the position applied in place to the top value: the
// position after it, or 0 when it does not apply. cells and count are the
// buffer's, read once by the caller: nothing in place moves or resizes a
// buffer. A paren operand is taken when parens is set.
[[gnu::always_inline]] inline uint32_t operand_in_place(const FastOp& op, SeriesBuffer* b, const Cell* cells,
                                                        uint32_t count, uint32_t at, bool parens) {
    if (at >= count) return 0;
    const Cell* right = cells + at;
    switch (cell::type(right)) {
    case T_PAREN: return parens && !starts_with_call(right) && paren_in_place(op, right) ? at + 1 : 0;
    case T_WORD:
        if (!(right = context::bound_slot(right))) return 0;
        if (cell::type(right) == T_ACTION) return call_operand_in_place(op, b, at);
        break;
    case T_PATH:
        if (!(right = path_value(right))) return 0;
        break;
    }
    Cell* left = stack::last();
    return takes_both(op.takes, left, right) && binary_inline(op.fast, left, right) ? at + 1 : 0;
}
[[gnu::always_inline]] inline uint32_t infix_in_place(const FastOp& op, SeriesBuffer* b, uint32_t at) {
    return operand_in_place(op, b, series::cells(b), cell_count(b), at, true);
}

// The argument entry of the k-th argument (from 0) of a list.
Cell nth_argument(Node list, uint32_t k) {
    SeriesBuffer* b = node::buffer(list);
    for (const Cell *e = series::cells(b), *end = e + cell_count(b); e < end; e++)
        if (is_argument(*e) && k-- == 0) return *e;
    return statics::none_cell;
}

// The right operand of an operator evaluated from the code at the position
// into the operator's frame: the position after it.
struct CodeOperand {
    uint32_t operator()(Cell* w, const Cell* op, const Cell* code, uint32_t at) const {
        SeriesBuffer* b = code_buffer(code);
        if (at >= cell_count(b)) no_arg(w, nth_argument(arg_list(op), 1));
        Cell right = series::cells(b)[at];
        if (cell::type(&right) == T_PAREN && !is_tracing()) {  // the commonest operand not applied in place
            if (!paren_call(&right)) eval_block(anon(), &right, false);
            return at + 1;
        }
        return expression(code, at, true, b);
    }
};

// An operator in its frame, both operands there, that the fast path does
// not answer: the type check and the routine (held: the unwrapped op! and
// its word, rooted). False on a pending exit, the frame left as it is.
[[gnu::noinline]] bool apply_operator(Cell* held, const Cell* code, uint32_t at) {
    Cell *op = held, *w = held + 1;
    check_type(w, nth_argument(arg_list(op), 1));
    if (is_tracing()) emit_event(EV_CALL, code, int32_t(at), w, op);
    int32_t none[1] = {-1};
    run_native(op, none);
    if (exits::pending()) return false;
    if (is_tracing()) emit_event(EV_RETURN, code, int32_t(at), w, stack::top());
    return true;
}

// The operator with a right operand to evaluate, its left operand of a type
// it takes: the frame and the operand as the general call makes them, then
// the fast path, or the type check and the routine.
template <class Operand = CodeOperand>
[[gnu::always_inline]] inline uint32_t infix_evaluated(Cell* held, const FastOp& fast, const Cell* code,
                                                       uint32_t at, Operand operand = {}) {
    Cell *op = held, *w = held + 1;
    temp_roots::Hold hold(held, 2);
    stack::reg.top--;
    stack::enter_frame(w, stack::KIND_NATIVE | interp_bit());
    stack::push_slot();
    at = operand(w, op, code, at);
    if (exits::pending()) return at;
    Cell* base = stack::reg.base;
    if (takes_both(fast.takes, base, base + 1) && binary_inline(fast.fast, base, base + 1)) {
        stack::keep();
    } else if (!apply_operator(held, code, at)) {
        return at;
    }
    stack::leave();
    return at;
}

// ---- calls -----------------------------------------------------------------------------

// A function's frame records its context (a function always has one) and
// the values word it holds now.
[[gnu::always_inline]] inline stack::Frame* enter_function(const Cell* name, Node ctx) {
    return stack::push_frame(name, stack::KIND_FUNCTION | interp_bit(), ctx, cell::context_values(context::cell_of(ctx)));
}

// if, unless, either and return run in place of their call (below).
uint32_t branch_in_place(const Cell* code, uint32_t pos, const Cell* w, const Cell* native);
inline uint32_t take_branch(uint32_t index, Cell* condition, const Cell* const* branch, const Cell* w,
                            const Cell* native, uint32_t at);
inline uint32_t take_block(uint32_t index, Cell* condition, const Cell* const* branch, const Cell* w,
                           const Cell* native, uint32_t at);
inline Cell* branch_frame(uint32_t index, Cell* condition, const Cell* const* branch, const Cell* w,
                          const Cell* native);
inline uint32_t branch_left(uint32_t at);
[[gnu::always_inline]] inline bool linked_block(Cell* block, SeriesBuffer* b, prepared::FormLink& link);
uint32_t returned_in_place(const Cell* code, uint32_t pos, const Cell* native);

// either in its frame, its arguments checked: the native's work without the
// native's call (the commonest native in recursive functions).
inline void either_branch() {
    Cell* base = stack::reg.base;
    eval_block<true, true>(anon(), logic::check_condition(base) ? base + 1 : base + 2, true);
}

// Copies of a plain call's argument entries (no evaluation can move them),
// each a cell copy of its own: a copy of variable length calls memcpy.
static_assert(MAX_PLAIN_ARGS == 4);
[[gnu::always_inline]] inline void copy_entries(Cell* entries, Node list, uint32_t args) {
    const Cell* from = series::cells(node::buffer(list));
    switch (args) {
    case 4: entries[3] = from[3]; [[fallthrough]];
    case 3: entries[2] = from[2]; [[fallthrough]];
    case 2: entries[1] = from[1]; [[fallthrough]];
    case 1: entries[0] = from[0];
    }
}

inline const Cell* pushed_value(SeriesBuffer* b, uint32_t pos);
inline uint32_t infix_after(const Cell* code, uint32_t pos, SeriesBuffer* b);
inline const Cell* infix_op_at(SeriesBuffer* b, uint32_t pos);
uint32_t infix(const Cell* code, uint32_t pos, SeriesBuffer* b);

uint32_t call_paren_in_place(SeriesBuffer* b, uint32_t pos, const Cell* action, Stop* stop);

// The action a paren's first word holds when fast_call_in_place may answer
// its call: then the paren may give its value in place. Else null.
[[gnu::always_inline]] inline const Cell* inline_call_of(const Cell* paren) {
    const Cell* value = paren_head(paren);
    return value && cell::type(value) == T_ACTION && inline_arity(fast_action(cell::callable_index(value))) ? value
                                                                                                              : nullptr;
}

// An argument that is no plain value: a paren that gives its value in place
// (a call answered in place and the operators after it applied in place, as
// an assignment's value is taken), or one that paren_call takes, runs
// without expression()'s entry, whose checks paren_call makes (no safe point
// or halt due, no trace); anything else is expression()'s.
[[gnu::always_inline]] inline uint32_t argument_expression(const Cell* code, uint32_t pos, SeriesBuffer* b) {
    const Cell* c = series::cells(b) + pos;
    if (cell::type(c) == T_PAREN) {
        if (const Cell* action = inline_call_of(c)) {
            Stop stop;
            uint32_t at = call_paren_in_place(b, pos, action, &stop);
            if (at) return stop.op ? infix_from(code, at, b, stop) : at;
        }
        Cell paren = *c;
        if (paren_call(&paren)) return exits::pending() ? pos + 1 : infix_after(code, pos + 1, code_buffer(code));
    }
    return expression(code, pos, false, b);
}

// The arguments of a plain call, each evaluated from the code and checked
// against its entry (copies of the list's entries: no evaluation can move
// them). False on a pending exit. An argument that starts with a plain value
// skips expression()'s entry: the next expression takes the safe point and a
// halt. The look for an operator after such a value finds the slot of the
// word there, which, when it simply pushes, is the next argument's value
// (nothing ran in between). The code's buffer is fetched again only after
// something was evaluated. A name not held as a root is given a frame whose
// context node the collector keeps current: it takes that node after each
// evaluation.
[[gnu::always_inline]] inline bool plain_arguments(const Cell* code, uint32_t* pos, Cell* name, const Cell* entries,
                                                   uint32_t args, const stack::Frame* frame = nullptr) {
    SeriesBuffer* b = code_buffer(code);
    const Cell* ahead = nullptr;  // the value of the word at *pos, found by the look for an operator
    for (uint32_t k = 0; k < args; k++) {
        uint32_t count = cell_count(b);
        if (*pos >= count) no_arg(name, entries[k]);
        if (const Cell* value = ahead ? ahead : pushed_value(b, *pos)) {
            stack::push(value);
            (*pos)++;
            ahead = nullptr;
            const Cell* next = series::cells(b) + *pos;
            if (*pos < count && cell::type(next) == T_WORD) {
                const Cell* slot = context::bound_slot(next);
                if (slot && cell::type(slot) == T_OP) {
                    *pos = infix(code, *pos, b);
                    if (exits::pending()) return false;
                    if (frame) cell::set_word_context(name, frame->word_context);
                    b = code_buffer(code);
                } else if (slot && k + 1 < args && word_class(slot) == WORD_PUSH) {
                    ahead = slot;
                }
            }
        } else {
            *pos = argument_expression(code, *pos, b);
            if (exits::pending()) return false;
            if (frame) cell::set_word_context(name, frame->word_context);
            b = code_buffer(code);
        }
        check_type(name, entries[k]);
    }
    return true;
}

// A native, action or routine called plainly, in its frame with its
// arguments gathered: runs it and closes the frame (left open on an exit).
// A name not held as a root takes the frame's context node again (see
// plain_arguments).
[[gnu::always_inline]] inline void run_plain_native(const Cell* code, uint32_t pos, Cell* name, const Cell* callable,
                                                    const stack::Frame* frame = nullptr) {
    if (cell::type(callable) == T_NATIVE && cell::callable_index(callable) == NAT_either && !is_tracing()) {
        either_branch();
    } else {
        if (is_tracing()) emit_event(EV_CALL, code, int32_t(pos), name, callable);
        if (cell::type(callable) == T_ROUTINE) call_routine(callable);
        else run_native<true>(callable, NO_REFINEMENTS.refs);
    }
    if (exits::pending()) return;
    if (frame && !is_tracing()) {
        // The frame is the top one: popped, the result moved over the
        // callable's cell (stack::leave and drop_below in one).
        Cell* callee = stack::reg.base;
        stack::reg.call_top = const_cast<stack::Frame*>(frame);
        stack::reg.base = stack::reg.bottom + frame->saved_base;
        callee[-1] = *callee;
        stack::reg.top = callee;
        return;
    }
    if (frame) cell::set_word_context(name, frame->word_context);
    stack::leave();
    if (is_tracing()) emit_event(EV_RETURN, code, int32_t(pos), name, stack::top());
    stack::drop_below();
}

// The frame of a native or action called plainly: the callable pushed, the
// frame opened over it (run_native_in_frame finds the callable under the
// frame's base).
[[gnu::always_inline]] inline const stack::Frame* enter_native(const Cell* native, Cell* name) {
    stack::push(native);
    return stack::enter_frame(name, stack::KIND_NATIVE | interp_bit());
}
[[gnu::always_inline]] inline void run_native_in_frame(const Cell* code, uint32_t pos, Cell* name,
                                                       const stack::Frame* frame) {
    run_plain_native(code, pos, name, stack::reg.base - 1, frame);
}

// A native, action, function or routine whose arguments are all evaluated
// from the code: the general call below without its walk of the argument
// list.
uint32_t call_plain(Call& c, uint32_t args) {
    Cell entries[MAX_PLAIN_ARGS];
    copy_entries(entries, c.args, args);
    stack::push(&c.callable);
    bool function = cell::type(&c.callable) == T_FUNCTION;
    if (function) enter_function(&c.name, cell::callable_context(&c.callable));
    else stack::enter_frame(&c.name, stack::KIND_NATIVE | interp_bit());
    if (!plain_arguments(c.code, &c.pos, &c.name, entries, args)) return c.pos;
    if (function) {
        pad_frame(context::cell_of(cell::callable_context(&c.callable)));
        call_function(&c.callable, &c.name);
        if (exits::pending()) return c.pos;
        stack::leave_func();
        stack::drop_below();
        return c.pos;
    }
    run_plain_native(c.code, c.pos, &c.name, &c.callable);
    return c.pos;
}

// Opens the frame, gathers the arguments and runs the callable; the result
// takes the placeholder's cell (or, infix, the left value's). Answers the next
// code position.
uint32_t call(Call& c) {
    temp_roots::Hold hold(&c.callable, 2);  // the callable and the name, adjacent
    uint32_t type = cell::type(&c.callable);
    if (!is_called(type)) not_callable(&c.callable);
    if (is_tracing()) emit_event(EV_OPEN, c.code, int32_t(c.pos), &c.name, &c.callable);
    const ListMemo& memo = list_memo_of(&c.callable);
    c.args = memo.list;
    if (memo.plain_args >= 0 && c.code && !c.infix && !c.path) return call_plain(c, uint32_t(memo.plain_args));
    if (c.infix) stack::reg.top--;
    else stack::push(&c.callable);
    int32_t refs[MAX_REFINEMENTS];
    if (type == T_FUNCTION) {
        enter_function(&c.name, cell::callable_context(&c.callable));
    } else {
        stack::enter_frame(&c.name, stack::KIND_NATIVE | interp_bit());
    }
    if (!gather(c, refs)) return c.pos;
    switch (type) {
    case T_FUNCTION:
        pad_frame(context::cell_of(cell::callable_context(&c.callable)));
        call_function(&c.callable, &c.name);
        if (exits::pending()) return c.pos;
        stack::leave_func();
        break;
    case T_ROUTINE:
        if (is_tracing()) emit_event(EV_CALL, c.code, int32_t(c.pos), &c.name, &c.callable);
        call_routine(&c.callable);
        stack::leave();
        if (is_tracing()) emit_event(EV_RETURN, c.code, int32_t(c.pos), &c.name, stack::top());
        break;
    default:
        if (is_tracing()) emit_event(EV_CALL, c.code, int32_t(c.pos), &c.name, &c.callable);
        run_native(&c.callable, refs);
        if (exits::pending()) return c.pos;
        stack::leave();
        if (is_tracing()) emit_event(EV_RETURN, c.code, int32_t(c.pos), &c.name, stack::top());
    }
    if (!c.infix) stack::drop_below();
    return c.pos;
}

// Switches tracing back off when a body run untraced ends on any path, as
// the body may have switched it on.
struct UntracedBody {
    ~UntracedBody() { switch_tracing(false); }
};

// A function's frame, its arguments in: pads it, runs the body and leaves
// the result in the callable's cell, the frame closed (left open on an
// exit). Untraced, the body runs without call_function's layers; tracing
// switched on by an argument, a trace flag or library code leave it to
// call_function.
// Nothing is held as a temporary root: the callable is the value-stack cell
// below the frame and the name's context node the frame's, both kept current
// by the collector. The frame records the values word of the context, which
// every way of leaving the frame (this one, an exit that pops it, an error)
// puts back; the context cell is looked up again after the arguments and
// after the body, either of which may move it. The frame takes returns only
// once the arguments are in: a return in an argument leaves the caller.
[[gnu::always_inline]] inline void function_body(const Cell* fn, Cell* name, stack::Frame* frame, uint32_t args) {
    Cell* cc = context::cell_of(cell::callable_context(fn));
    if (cell::context_stack_count(cc) > args) pad_frame(cc);  // words added to the context since
    if (is_tracing() || (fn->header & (HDR_TRACE_OFF | HDR_TRACE_ON)) || (cc->header & LIBRARY_CONTEXT)) {
        call_function(fn, name);
    } else {
        cell::set_context_values(cc, stack::index_of(stack::reg.base));
        frame->header |= stack::CATCH_RETURN;
        {
            UntracedBody scope;
            const Cell* body = function::extra(fn) + function::EXTRA_BODY;
            if (cell::type(body) == T_BLOCK) eval_block<true, true, true>(body_word(), body, true);
            else stack::set_result(&statics::unset_cell);
            if (!exits::pending() && is_tracing())  // the body started a trace
                emit_event(EV_EPILOG, function::extra(fn) + function::EXTRA_BODY, 0, fn, stack::reg.base);
        }
        uint32_t exit = exits::pending();
        if (exit == EXIT_RETURN || exit == EXIT_EXIT) {
            exits::clear();
        } else if (exit) {
            if (frame < stack::reg.call_top) stack::clear_catch_return(frame);
            return;
        }
        // The frame is the top one: popped here, its context's values put
        // back, the result in the callable's cell.
        Cell* callee = stack::reg.base;
        stack::reg.call_top = frame;
        stack::reg.base = stack::reg.bottom + frame->saved_base;
        cell::set_context_values(context::cell_of(frame->function_context), frame->saved_values);
        callee[-1] = *callee;
        stack::reg.top = callee;
        return;
    }
    if (exits::pending()) return;
    stack::leave_func();
    stack::drop_below();
}

// A word holding a function whose arguments are all evaluated from the
// code, called untraced: call_plain and call_function in one, without the
// general call's layers (see function_body).
[[gnu::noinline]] uint32_t function_call(const Cell* code, uint32_t pos, const Cell* w, const Cell* value,
                                         uint32_t args, Node list) {
    Cell name = *w;
    Cell entries[MAX_PLAIN_ARGS];
    copy_entries(entries, list, args);
    const Cell* fn = stack::push(value);
    stack::Frame* frame = enter_function(&name, cell::callable_context(value));
    if (!plain_arguments(code, &pos, &name, entries, args, frame)) return pos;
    function_body(fn, &name, frame, args);
    return pos;
}

// A word holding a native or action whose arguments are all evaluated from
// the code, called untraced: call and call_plain in one, without the
// general call's record and its checks of a callable the caller has seen.
// Nothing is held as a temporary root: the callable is read from the value
// stack below the frame, and the name's context node from the frame.
// Made once for each count of arguments (native_call picks the one), so
// that the gathering is unrolled.
template <uint32_t Args>
[[gnu::noinline]] uint32_t native_call_of(const Cell* code, uint32_t pos, const Cell* w, const Cell* value, Node list) {
    Cell name = *w;
    Cell entries[Args ? Args : 1];
    copy_entries(entries, list, Args);
    const stack::Frame* frame = enter_native(value, &name);
    if (!plain_arguments(code, &pos, &name, entries, Args, frame)) return pos;
    run_native_in_frame(code, pos, &name, frame);
    return pos;
}
static_assert(MAX_PLAIN_ARGS == 4);
// Inlined wherever it is called: out of line, the pick costs its callers a
// call on every native they call.
[[gnu::always_inline]] inline uint32_t native_call(const Cell* code, uint32_t pos, const Cell* w, const Cell* value,
                                                   uint32_t args, Node list) {
    switch (args) {
    case 0: return native_call_of<0>(code, pos, w, value, list);
    case 1: return native_call_of<1>(code, pos, w, value, list);
    case 2: return native_call_of<2>(code, pos, w, value, list);
    case 3: return native_call_of<3>(code, pos, w, value, list);
    default: return native_call_of<4>(code, pos, w, value, list);
    }
}

Call code_call(const Cell* callable, const Cell* name, const Cell* code, uint32_t pos) {
    Call c{};
    c.callable = *callable;
    c.name = *name;
    c.code = code;
    c.pos = pos;
    return c;
}

// ---- expressions -----------------------------------------------------------------------

// A word whose value is not simply pushed: a call, or an error.
[[gnu::always_inline]] inline uint32_t word_call(const Cell* code, uint32_t pos, const Cell* w, const Cell* value) {
    if (word_class(value) == WORD_CALL) {
        if (cell::type(value) == T_NATIVE) {
            uint32_t index = cell::callable_index(value);
            uint32_t next = index == NAT_if || index == NAT_unless || index == NAT_either
                                ? branch_in_place(code, pos, w, value)
                            : index == NAT_return ? returned_in_place(code, pos, value)
                                                     : 0;
            if (next) return next;
            // break and continue take no argument: the exit is taken at once,
            // as the native would take it from its frame.
            if ((index == NAT_break || index == NAT_continue) && !is_tracing() &&
                list_memo_of(value).plain_args == 0 && stack::break_in_place(index == NAT_continue))
                return pos;
        }
        if (!is_tracing() && cell::type(value) != T_ROUTINE) {
            const ListMemo& memo = list_memo_of(value);
            if (memo.plain_args >= 0) {
                if (cell::type(value) == T_FUNCTION)
                    return function_call(code, pos, w, value, uint32_t(memo.plain_args), memo.list);
                return native_call(code, pos, w, value, uint32_t(memo.plain_args), memo.list);
            }
        }
        Call c = code_call(value, w, code, pos);
        return call(c);
    }
    if (cell::type(value) == T_UNSET) error::raise(Err::script_no_value, w);
    error::raise(Err::script_no_op_arg, w);
}

// word_call out of line, for compound_expression (traced calls, mostly).
[[gnu::noinline]] uint32_t traced_word_call(const Cell* code, uint32_t pos, const Cell* w, const Cell* value) {
    return word_call(code, pos, w, value);
}

// Pushes a value that evaluates to itself.
inline void push_value(const Cell* code, uint32_t pos, const Cell* w, const Cell* value) {
    Cell* pushed = stack::push(value);
    if (is_tracing()) {
        Cell copy = *pushed;
        emit_event(EV_PUSH, code, int32_t(pos - 1), w, &copy);
    }
}

// An assignment in its frame (named by the set-word, which it holds): the
// value evaluated into the frame by value(), which answers the position
// after it, then given to the word.
template <class Value>
[[gnu::always_inline]] inline uint32_t set_word_framed(const Cell* code, const Cell* sw, Value value) {
    stack::enter_frame(sw, stack::KIND_NATIVE | interp_bit());
    stack::push(sw);
    uint32_t pos = value();
    if (exits::pending()) return pos;
    Cell word = *stack::reg.base;  // the frame's copy, kept current by the collector
    Cell* slot_value = stack::reg.base + 1;
    Cell* slot = cell::type(slot_value) == T_UNSET ? nullptr : context::bound_slot<true>(&word);
    if (slot) {
        *slot = *slot_value;
        stack::set_result(slot_value);
    } else {
        word::set_from_frame();
    }
    if (is_tracing()) emit_event(EV_SET, code, int32_t(pos), &word, stack::reg.base);
    stack::leave();
    return pos;
}

// The value (the frame's second cell) goes to the word; a plain slot takes a
// copy here, anything else (unset, object fields, unbound or new words) goes
// through the word layer. An expression that applies in place needs no frame
// when the slot is plain.
[[gnu::always_inline]] inline uint32_t set_word_expression(const Cell* code, uint32_t pos, const Cell* sw) {
    SeriesBuffer* b = code_buffer(code);
    if (pos >= cell_count(b)) error::raise(Err::script_need_value, sw);
    Stop stop;
    uint32_t at = expression_in_place(b, pos, true, &stop);
    if (at && !stop.op) {
        Cell* value = stack::last();
        Cell* slot = cell::type(value) == T_UNSET ? nullptr : context::bound_slot<true>(sw);
        if (slot) {
            *slot = *value;
            return at;
        }
    }
    Cell so_far;  // the part of the value computed in place moves into the frame
    if (at) {
        so_far = *stack::top();
        stack::pop(1);
    }
    return set_word_framed(code, sw, [&] {
        if (!at) return first_expression(code, pos, b);
        stack::push(&so_far);
        return stop.op ? infix_from(code, at, b, stop) : at;
    });
}

// A set-path's assignment in its frame: the value evaluated into the frame
// by value(), which answers the position after it, then set through the
// path (held meanwhile). Library code names the frame eval-set-path, which
// call-stack reports show.
template <class Value>
[[gnu::always_inline]] inline uint32_t set_path_framed(const Cell* code, Cell* path, Value value) {
    temp_roots::Hold hold(path);
    stack::enter_frame(eval_state.library ? words::word(words::W_eval_set_path) : anon(),
                       stack::KIND_NATIVE | interp_bit());
    uint32_t pos = value();
    if (exits::pending()) return pos;
    eval_path(path, PATH_SET, code, pos);
    if (exits::pending()) return pos;
    if (is_tracing()) emit_event(EV_SET, code, int32_t(pos), path, stack::reg.base);
    stack::leave();
    return pos;
}

// An expression that applies in place assigned to a field that a path
// names (see field_ref) needs no frame; else the part of the value computed
// in place moves into the frame, as for a set-word.
uint32_t set_path_expression(const Cell* code, uint32_t pos, const Cell* path_value) {
    Cell path = *path_value;
    SeriesBuffer* b = code_buffer(code);
    if (pos >= cell_count(b)) error::raise(Err::script_need_value, &path);
    Stop stop;
    uint32_t at = expression_in_place(b, pos, true, &stop);
    FieldRef f;
    if (at && !stop.op && field_ref(&path, true, &f)) {
        set_field(f.slot, field_mark(f.object, f.element), stack::top());
        return at;
    }
    Cell so_far{};
    if (at) {
        so_far = *stack::top();
        stack::pop(1);
    }
    return set_path_framed(code, &path, [&] {
        if (!at) return first_expression(code, pos, b);
        stack::push(&so_far);
        return stop.op ? infix_from(code, at, b, stop) : at;
    });
}

// The op! that the word at the position holds, or null: only a word bound to
// a context that has values is looked at. Good until anything evaluates.
[[gnu::always_inline]] inline const Cell* op_of(const Cell* w) {
    if (cell::type(w) != T_WORD) return nullptr;
    const Cell* slot = context::bound_slot(w);
    return slot && cell::type(slot) == T_OP ? slot : nullptr;
}
[[gnu::always_inline]] inline const Cell* infix_op_at(SeriesBuffer* b, uint32_t pos) {
    return pos < cell_count(b) ? op_of(series::cells(b) + pos) : nullptr;
}

// Applies the operators that follow, each to the value before it. b is the
// code's buffer, fetched again only after something was evaluated.
// The general application of the operator in the slot at the position (the
// word there) to the top value: its frame, its right operand evaluated.
[[gnu::always_inline]] inline uint32_t infix_call(const Cell* code, uint32_t pos, SeriesBuffer* b, const Cell* slot,
                                                  FastOp fast) {
    Cell held[2] = {unwrap(slot), series::cells(b)[pos]};  // the operator and its word, adjacent
    Cell &op = held[0], &w = held[1];
    if (fast.takes & takes_of(stack::last())) return infix_evaluated(held, fast, code, pos + 1);
    if (is_tracing()) emit_fetch(code, pos, &w, &op);
    Call c = code_call(&op, &w, code, pos + 1);
    c.infix = true;
    return call(c);
}

uint32_t infix(const Cell* code, uint32_t pos, SeriesBuffer* b) {
    while (const Cell* slot = infix_op_at(b, pos)) {
        FastOp fast = fast_operator(slot);
        if (pos + 1 < cell_count(b) && int_literal_step(fast, stack::last(), series::cells(b) + pos + 1)) {
            pos += 2;
            continue;
        }
        uint32_t next = fast.takes & takes_of(stack::last()) ? infix_in_place(fast, b, pos + 1) : 0;
        if (next) {
            pos = next;
            continue;
        }
        pos = infix_call(code, pos, b, slot, fast);
        if (exits::pending()) break;
        b = code_buffer(code);
    }
    return pos;
}

// infix() from an operator that value_in_place could not apply in place.
uint32_t infix_from(const Cell* code, uint32_t pos, SeriesBuffer* b, const Stop& stop) {
    pos = infix_call(code, pos, b, stop.op, stop.fast);
    return exits::pending() ? pos : infix(code, pos, code_buffer(code));
}

// The look-ahead after a value: the common answer (no word follows) inline.
inline uint32_t infix_after(const Cell* code, uint32_t pos, SeriesBuffer* b) {
    if (pos >= cell_count(b) || cell::type(series::cells(b) + pos) != T_WORD) return pos;
    return infix(code, pos, b);
}

// What a step of run_code (the runner of a block whose form is one
// expression that calls) answers for the position after its expression
// when it knows that is the block's tail (no position after an expression
// is 0): then run_code does not look at the block again.
constexpr uint32_t AT_TAIL = 0;
// infix_after for such a step: AT_TAIL at the block's live tail.
[[gnu::always_inline]] inline uint32_t step_end(const Cell* code, uint32_t pos) {
    SeriesBuffer* b = code_buffer(code);
    return pos >= cell_count(b) ? AT_TAIL : infix_after(code, pos, b);
}

// Evaluates a first cell that is more than a value to push, with every trace
// event. Kept apart from expression(), which does the common cases without
// the registers this one needs.
[[gnu::noinline]] uint32_t compound_expression(const Cell* code, uint32_t pos, bool infix_off, SeriesBuffer* b) {
    Cell v = series::cells(b)[pos++];
    if (is_tracing()) emit_fetch(code, pos - 1, &v);
    switch (uint32_t t = cell::type(&v)) {
    case T_WORD: {
        const Cell* value = context::word_value(&v);
        if (word_class(value) != WORD_PUSH) {
            pos = traced_word_call(code, pos, &v, value);
            break;
        }
        push_value(code, pos, &v, value);
        return infix_off ? pos : infix_after(code, pos, code_buffer(code));
    }
    // An assignment's own expression took every operator that follows.
    case T_SET_WORD: return set_word_expression(code, pos, &v);
    case T_LIT_WORD:
    case T_LIT_PATH:
        cell::set_type(&v, t == T_LIT_WORD ? T_WORD : T_PATH);
        stack::push(&v);
        break;
    case T_GET_WORD: stack::push(context::word_value(&v)); break;
    case T_PAREN: eval(anon(), &v, false); break;
    case T_SET_PATH: return set_path_expression(code, pos, &v);
    case T_GET_PATH: pos = eval_path(&v, PATH_GET, code, pos); break;
    case T_PATH: pos = eval_path(&v, PATH_CALL, code, pos); break;
    case T_NATIVE:
    case T_ACTION:
    case T_FUNCTION:
    case T_ROUTINE: {
        Call c = code_call(&v, anon(), code, pos);
        pos = call(c);
        break;
    }
    case T_OP: error::raise(Err::script_no_op_arg, &v);
    default:
        push_value(code, pos, nullptr, &v);
        return infix_off ? pos : infix_after(code, pos, code_buffer(code));
    }
    if (infix_off || exits::pending()) return pos;
    return infix_after(code, pos, code_buffer(code));
}

// The types that evaluate to themselves (as a first cell of an expression).
using prepared::SELF_EVALUATING;

// The value a code cell evaluates to when that is the cell itself or the
// value of a word that simply pushes it; else null.
[[gnu::always_inline]] inline const Cell* plain_value(const Cell* c) {
    uint32_t t = cell::type(c);
    if (t == T_WORD) {
        const Cell* value = context::bound_slot(c);
        return value && word_class(value) == WORD_PUSH ? value : nullptr;
    }
    if (SELF_EVALUATING.of[t]) return c;
    return t == T_PATH ? path_value(c) : nullptr;
}

// The value of a block that is one such cell from its index, which eval()
// gives without running anything; else null.
// b: the block's buffer.
[[gnu::always_inline]] inline const Cell* lone_value(const Cell* block, SeriesBuffer* b) {
    uint32_t first = uint32_t(cell::series_index(block));
    return first + 1 == cell_count(b) ? plain_value(series::cells(b) + first) : nullptr;
}

// The value an untraced expression starts with when its first cell
// evaluates to itself or is a word that simply pushes its value; else null,
// for expression().
[[gnu::always_inline]] inline const Cell* pushed_value(SeriesBuffer* b, uint32_t pos) {
    if (is_tracing()) return nullptr;
    const Cell* c = series::cells(b) + pos;
    uint32_t t = cell::type(c);
    if (t != T_WORD) return SELF_EVALUATING.of[t] ? c : nullptr;
    const Cell* value = context::bound_slot(c);
    return value && word_class(value) == WORD_PUSH ? value : nullptr;
}

// An expression of a plain value and operators that apply in place (see
// infix_in_place) gives its value without a frame, a held cell or a safe
// point: nothing in it can call, raise or collect. The value is pushed and
// the operators applied while they can be; answers the position reached,
// with stop->op null when the expression ends there, else the operator there
// (its slot and fast path in *stop) is the evaluator's to apply (infix_from
// goes on from it as infix() would); 0, with nothing pushed, when the
// expression starts with no plain value (computed_in_place takes some of
// those). A right operand may be a paren of such an expression, when parens
// is set. A full value stack is left to the evaluator, whose overflow error
// names the code.
[[gnu::noinline]] uint32_t value_in_place(SeriesBuffer* b, uint32_t pos, const Cell* value, bool parens, Stop* stop) {
    if (is_tracing() || stack::reg.top + 2 >= stack::reg.limit) return 0;
    Cell* result = stack::push(value);
    const Cell* cells = series::cells(b);
    uint32_t count = cell_count(b);
    for (pos++; pos < count;) {
        const Cell* slot = op_of(cells + pos);
        if (!slot) break;
        FastOp fast = memo_operator(slot);
        if (pos + 1 < count && int_literal_step(fast, result, cells + pos + 1)) {
            pos += 2;
            continue;
        }
        uint32_t next = fast.takes & takes_of(result) ? operand_in_place(fast, b, cells, count, pos + 1, parens) : 0;
        if (!next) {
            *stop = Stop{slot, fast};
            return pos;
        }
        pos = next;
    }
    stop->op = nullptr;
    return pos;
}

// Whether the argument entry takes a value of the type.
[[gnu::always_inline]] inline bool entry_takes(const Cell* entry, uint32_t type) {
    TypeBit bit = TYPE_BITS.of[type];
    return (typeset::words(entry)[bit.word] & bit.mask) != 0;
}

// The answer of an action's fast path that selects or queries, into out;
// false when it has none for these arguments (second is first for a query).
[[gnu::always_inline]] inline bool fast_answer(Fast f, const Cell* first, const Cell* second, Cell* out) {
    return f.kind == FAST_PICK     ? cell::type(second) == T_INTEGER &&
                                         actions::select_inline(first, cell::get_int(second), out)
           : f.kind == FAST_SELECT ? map::select_number(first, second, out)
                                   : actions::query_inline(first, f.op, out);
}

// fast_call_in_place (below) with the action its word at the position holds.
[[gnu::always_inline]] inline uint32_t action_in_place(SeriesBuffer* b, uint32_t pos, const Cell* action, Cell* out) {
    const Cell* c = series::cells(b) + pos;
    Fast f = fast_action(cell::callable_index(action));
    uint32_t args = inline_arity(f);
    // An action with a fast path has its routine: nothing else could be called.
    if (!args || pos + args >= cell_count(b) || infix_op_at(b, pos + args + 1)) return 0;
    const Cell* first = plain_value(c + 1);
    const Cell* second = args == 2 ? plain_value(c + 2) : first;
    const ListMemo& memo = list_memo_of(action);
    if (!first || !second || memo.plain_args != int32_t(args)) return 0;
    const Cell* entries = series::cells(node::buffer(memo.list));
    if (!entry_takes(entries, cell::type(first)) || !entry_takes(entries + args - 1, cell::type(second))) return 0;
    return fast_answer(f, first, second, out) ? pos + args + 1 : 0;
}
// A call of an action whose fast path selects (pick: a block and an
// integer; select: a map and an integer or char key) or queries (length?,
// next, ...: a block) with its arguments written as plain values, and no
// operator after the last one (which would make it an expression): the fast
// path's answer, into out, when it has one and the argument list takes the
// arguments as they are. The position after the call, or 0.
uint32_t fast_call_in_place(SeriesBuffer* b, uint32_t pos, Cell* out) {
    const Cell* c = series::cells(b) + pos;
    const Cell* action = cell::type(c) == T_WORD ? context::bound_slot(c) : nullptr;
    return action && cell::type(action) == T_ACTION ? action_in_place(b, pos, action, out) : 0;
}

// A paren argument of one call answered in place, the action its first word
// holds, and the operators after the paren applied in place as
// value_in_place applies them: the position reached, with stop as
// value_in_place leaves it, or 0 with nothing pushed.
[[gnu::noinline]] uint32_t call_paren_in_place(SeriesBuffer* b, uint32_t pos, const Cell* action, Stop* stop) {
    const Cell* paren = series::cells(b) + pos;
    SeriesBuffer* inner = code_buffer(paren);
    uint32_t at = uint32_t(cell::series_index(paren));
    Cell value;
    if (action_in_place(inner, at, action, &value) != cell_count(inner)) return 0;
    return value_in_place(b, pos, &value, true, stop);
}

// The value of a paren wholly of an expression that applies in place and
// starts with a plain value, or of one call answered in place (an operator
// after its last argument would be part of that argument), into out; false
// when it is neither.
bool paren_value_in_place(const Cell* paren, Cell* out) {
    SeriesBuffer* inner = code_buffer(paren);
    uint32_t at = uint32_t(cell::series_index(paren)), count = cell_count(inner);
    if (at >= count) return false;
    if (const Cell* v = plain_value(series::cells(inner) + at)) {
        Stop end_stop;
        uint32_t end = value_in_place(inner, at, v, false, &end_stop);
        if (!end) return false;
        *out = *stack::top();
        stack::pop(1);
        return !end_stop.op && end == count;
    }
    return fast_call_in_place(inner, at, out) == count;
}

// An expression whose first cell is no plain value but gives one in place
// all the same: a call as above, or (with paren_first) a paren wholly of an
// expression that applies in place and starts with a plain value or such a
// call. Its value is pushed and the operators after it applied as
// value_in_place does.
[[gnu::noinline]] uint32_t computed_in_place(SeriesBuffer* b, uint32_t pos, bool parens, Stop* stop,
                                             bool paren_first) {
    if (pos >= cell_count(b) || is_tracing()) return 0;
    Cell value;
    const Cell* c = series::cells(b) + pos;
    uint32_t next;
    if (cell::type(c) != T_PAREN) {
        next = fast_call_in_place(b, pos, &value);
    } else {
        if (!paren_first || !paren_value_in_place(c, &value)) return 0;
        next = pos + 1;
    }
    return next ? value_in_place(b, next - 1, &value, parens, stop) : 0;
}

// The common answer (the expression starts with a plain value) inline.
[[gnu::always_inline]] inline uint32_t expression_in_place(SeriesBuffer* b, uint32_t pos, bool parens, Stop* stop) {
    if (pos >= cell_count(b)) return 0;
    const Cell* c = series::cells(b) + pos;
    if (cell::type(c) == T_WORD) {  // looked up once
        const Cell* value = context::bound_slot(c);
        if (!value) return 0;
        if (word_class(value) == WORD_PUSH) return value_in_place(b, pos, value, parens, stop);
        return cell::type(value) == T_ACTION ? computed_in_place(b, pos, parens, stop, true) : 0;
    }
    if (SELF_EVALUATING.of[cell::type(c)]) return value_in_place(b, pos, c, parens, stop);
    if (cell::type(c) == T_PATH) {
        const Cell* value = path_value(c);
        return value ? value_in_place(b, pos, value, parens, stop) : 0;
    }
    return cell::type(c) == T_PAREN ? computed_in_place(b, pos, parens, stop, true) : 0;
}

// if, unless and either whose condition applies in place, with their
// blocks written as plain values and no operator after the last: the
// native's work without gathering its arguments through the evaluator. A
// branch that if or unless does not take answers none without a frame,
// which nothing in it could have seen; a branch taken runs in the native's
// frame, filled as the call fills it (the condition and the blocks), so
// errors and listings see the same call. The argument list must take the
// arguments as they are. Answers the position after the call, or 0 to leave
// the call to the general path, with nothing pushed.
[[gnu::noinline]] uint32_t branch_in_place(const Cell* code, uint32_t pos, const Cell* w, const Cell* native) {
    uint32_t index = cell::callable_index(native), blocks = index == NAT_either ? 2 : 1;
    const ListMemo memo = list_memo_of(native);  // a copy: a call in the condition may take its slot
    if (memo.plain_args != int32_t(blocks + 1) || is_tracing()) return 0;
    SeriesBuffer* b = code_buffer(code);
    Stop stop;
    uint32_t at = expression_in_place(b, pos, true, &stop);
    if (!at) return 0;
    // The condition is read where the operator wrote it; the blocks where
    // they lie (nothing moves before the branch runs).
    Cell* condition = stack::last();
    const Cell* entries = series::cells(node::buffer(memo.list));
    const Cell* branch[2] = {nullptr, nullptr};
    bool fits = !stop.op && entry_takes(entries, cell::type(condition)) && at + blocks <= cell_count(b) &&
                !infix_op_at(b, at + blocks);
    for (uint32_t k = 0; fits && k < blocks; k++) {
        branch[k] = plain_value(series::cells(b) + at + k);
        fits = branch[k] && cell::type(branch[k]) == T_BLOCK && entry_takes(entries + 1 + k, T_BLOCK);
    }
    if (!fits) {
        stack::pop(1);
        return 0;
    }
    return take_branch(index, condition, branch, w, native, at + blocks);
}

// The answer of if, unless or either in place of the condition when it
// runs no code: none for a branch not taken, and a branch of one plain
// value gives that value (its frame could change nothing anyone could see:
// nothing in it calls, raises or lists the stack). False when a block must
// run; either's unset condition raises in the frame.
// looked: set to the buffer of the block the branch takes, when it got as
// far as looking at it (always, when it answers false: a frame taking the
// block finds it there with nothing run since).
[[gnu::always_inline]] inline bool branch_answer(uint32_t index, Cell* condition, const Cell* const* branch,
                                                 SeriesBuffer** looked = nullptr) {
    if (index != NAT_either && logic::is_truthy(condition) != (index == NAT_if)) {
        *condition = statics::none_cell;
        return true;
    }
    const Cell* chosen = branch[index == NAT_either && !logic::is_truthy(condition) ? 1 : 0];
    SeriesBuffer* cb = code_buffer(chosen);
    if (looked) *looked = cb;
    if (cell::type(condition) == T_UNSET) return false;
    const Cell* value = lone_value(chosen, cb);
    if (!value) return false;
    *condition = *value;
    return true;
}

// The branch if, unless or either takes, the condition pushed (in place of
// the call) and the blocks read where they lie; at is the position after
// the call.
[[gnu::always_inline]] inline uint32_t take_branch(uint32_t index, Cell* condition, const Cell* const* branch,
                                                   const Cell* w, const Cell* native, uint32_t at) {
    if (branch_answer(index, condition, branch)) return at;
    return take_block(index, condition, branch, w, native, at);
}

// take_branch when a block must run: in the native's frame, filled as the
// call fills it, so that errors and listings see the same call.
[[gnu::always_inline]] inline uint32_t take_block(uint32_t index, Cell* condition, const Cell* const* branch,
                                                  const Cell* w, const Cell* native, uint32_t at) {
    eval_block<true, true>(anon(), branch_frame(index, condition, branch, w, native), true);
    return branch_left(at);
}
// The branch's frame, opened and filled: the block it takes (in the frame).
[[gnu::always_inline]] inline Cell* branch_frame(uint32_t index, Cell* condition, const Cell* const* branch,
                                                 const Cell* w, const Cell* native) {
    uint32_t blocks = index == NAT_either ? 2 : 1;
    if (condition + 2 + blocks < stack::reg.limit) {  // no push below would overflow: written in place
        Cell value = *condition;
        *condition = *native;
        stack::reg.top = condition + 1;
        stack::enter_frame(w, stack::KIND_NATIVE | interp_bit());
        condition[1] = value;
        condition[2] = *branch[0];
        if (blocks == 2) condition[3] = *branch[1];
        stack::reg.top = condition + 2 + blocks;
    } else {
        Cell args[3] = {*condition, *branch[0], branch[1] ? *branch[1] : statics::none_cell};
        stack::reg.top = condition;
        stack::push(native);
        stack::enter_frame(w, stack::KIND_NATIVE | interp_bit());
        for (uint32_t k = 0; k <= blocks; k++) stack::push(args + k);
    }
    Cell* base = stack::reg.base;
    return index != NAT_either || logic::check_condition(base) ? base + 1 : base + 2;
}
// After the taken block: the frame closed, the value in place of the call
// (left open on an exit).
[[gnu::always_inline]] inline uint32_t branch_left(uint32_t at) {
    if (exits::pending()) return at;
    stack::leave();
    stack::drop_below();
    return at;
}

// return whose value applies in place: the exit is taken at once, as the
// native would take it from its frame (nothing could have seen the frame).
// 0 leaves the call to the general path, with nothing pushed; so does a
// return that no function takes, for its error.
[[gnu::noinline]] uint32_t returned_in_place(const Cell* code, uint32_t pos, const Cell* native) {
    const ListMemo memo = list_memo_of(native);  // a copy: a call in the value may take its slot
    if (memo.plain_args != 1) return 0;
    Cell* top = stack::reg.top;
    Stop stop;
    uint32_t at = expression_in_place(code_buffer(code), pos, true, &stop);
    if (!at) return 0;
    bool takes = !stop.op && entry_takes(series::cells(node::buffer(memo.list)), stack::top_type());
    Cell value = *stack::top();
    stack::reg.top = top;
    return takes && stack::return_in_place(&value) ? at : 0;
}

// The whole expression from the position to the tail in place: its value
// pushed, or false with nothing pushed.
bool tail_in_place(SeriesBuffer* b, uint32_t pos, bool parens) {
    Stop stop;
    uint32_t end = expression_in_place(b, pos, parens, &stop);
    if (end && !stop.op && end == cell_count(b)) return true;
    if (end) stack::pop(1);
    return false;
}

// A right operand written as a paren, applied in place when the paren is
// such an expression from its position to its tail.
[[gnu::noinline]] bool paren_in_place(const FastOp& op, const Cell* paren) {
    if (!tail_in_place(code_buffer(paren), uint32_t(cell::series_index(paren)), false)) return false;
    Cell* right = stack::top();
    bool done = takes_both(op.takes, right - 1, right) && binary_inline(op.fast, right - 1, right);
    stack::pop(1);
    return done;
}

// A halt asked for from outside (Ctrl-C) is taken at the safe point: the
// word halt's function runs there, and the expression stops when it leaves
// an exit pending (it throws to the console); true then. A halt that is no
// function is not called.
[[gnu::cold, gnu::noinline]] bool take_halt() {
    attention::clear(attention::HALT);
    Cell name = word::intern("halt");
    const Cell* value = context::word_value(&name);
    if (!value || !types::is_callable(cell::type(value))) return false;
    Cell callable = *value;
    invoke(&callable, &name, nullptr, 0);
    if (exits::pending()) return true;
    stack::pop(1);
    return false;
}

// One expression from the position; b is the code's buffer, fetched by the
// caller since the last evaluation (and again here after a collection). A
// value that evaluates to itself, or a word holding one, is pushed here, and
// the buffer stays valid for the look-ahead; the rest (and anything while
// tracing) goes to compound_expression.
uint32_t expression(const Cell* code, uint32_t pos, bool infix_off, SeriesBuffer* b) {
    if (!attention::quiet()) [[unlikely]] {
        if (collector::safe_point()) b = code_buffer(code);
        if (is_halt_requested()) {
            if (take_halt()) return pos;
            b = code_buffer(code);
        }
        if (is_tracing()) return compound_expression(code, pos, infix_off, b);
    }
    const Cell* c = series::cells(b) + pos;
    uint32_t t = cell::type(c);
    const Cell* value = c;
    if (t == T_WORD) {
        // The word is looked up once: its value is pushed, or called here.
        value = context::bound_slot(c);
        WordClass k = value ? word_class(value) : WORD_SPECIAL;
        if (k == WORD_CALL) {
            Cell w = *c;
            pos = word_call(code, pos + 1, &w, value);
            if (infix_off || exits::pending()) return pos;
            return infix_after(code, pos, code_buffer(code));
        }
        if (k == WORD_SPECIAL) return compound_expression(code, pos, infix_off, b);
    } else if (!SELF_EVALUATING.of[t]) {
        // An assignment and a paren, the commonest other first cells, skip
        // the general switch.
        if (t == T_SET_WORD) return set_word_expression(code, pos + 1, c);
        if (t != T_PAREN) return compound_expression(code, pos, infix_off, b);
        Cell paren = *c;
        if (!paren_call(&paren)) eval_block(anon(), &paren, false);
        if (infix_off || exits::pending()) return pos + 1;
        return infix_after(code, pos + 1, code_buffer(code));
    }
    stack::push(value);
    return infix_off ? pos + 1 : infix_after(code, pos + 1, b);
}

// expression() after expression_in_place found no plain value to start
// with (or could not run, which compound_expression handles as well).
uint32_t first_expression(const Cell* code, uint32_t pos, SeriesBuffer* b) {
    if (!attention::quiet()) [[unlikely]] {
        if (collector::safe_point()) b = code_buffer(code);
        if (is_halt_requested()) {
            if (take_halt()) return pos;
            b = code_buffer(code);
        }
    }
    return compound_expression(code, pos, false, b);
}

// ---- paths -------------------------------------------------------------------------------

// An object's eval-path binds a word element to the object: the path's own
// cell keeps that binding.
void keep_binding(const Cell* path, uint32_t i, const Cell* element) {
    if (i >= live_tail(path)) return;
    const Cell* held = series::cells(node::buffer(cell::series_node(path))) + i;
    if (cell::type(held) == cell::type(element) && cell::word_symbol(held) == cell::word_symbol(element) &&
        types::is_variable_word(cell::type(held))) {
        Cell* c = series::writable_cells(node::buffer(cell::series_node(path))) + i;
        cell::set_word_context(c, cell::word_context(element));
        cell::set_word_index(c, cell::word_index(element));
    }
}

// The name of a call reached through a path: the element's word, in the
// object's context when the value came from an object.
Cell path_call_name(const Cell* element, const Cell* parent) {
    if (cell::type(element) != T_WORD) return *anon();
    Cell name = *element;
    if (parent && cell::type(parent) == T_OBJECT) cell::set_word_context(&name, cell::object_context(parent));
    return name;
}

// A word element already bound to the object's own context (the path cell
// keeps the binding of the first walk) names its field by index: the slot
// of the field to read (set), or null when the field needs the object's
// eval-path: an unset field to read, a change handler to tell, values that
// live on the stack, any other value or element.
Cell* object_slot(const Cell* object, const Cell* element, bool setting) {
    if (cell::type(object) != T_OBJECT || cell::type(element) != T_WORD || cell::word_context(element) != cell::object_context(object) ||
        cell::word_index(element) < 0)
        return nullptr;
    Node ctx = cell::object_context(object);
    const Cell* cc = context::cell_of(ctx);
    if (context::is_on_stack(cc) || !context::has_values(cc)) return nullptr;
    Cell* slot = context::value_at(ctx, cell::word_index(element));
    return (setting ? cell::object_handlers(object) != 0 : cell::type(slot) == T_UNSET) ? nullptr : slot;
}

// The field read, or written when the set path ends there, by index (see
// object_slot); false for anything else, which the action handles (errors
// included).
bool object_field(const Cell* object, const Cell* element, PathMode mode, bool last, Cell* selected) {
    bool setting = mode == PATH_SET && last;
    Cell* slot = object_slot(object, element, setting);
    if (!slot) return false;
    if (setting) set_field(slot, field_mark(object, element), stack::reg.base);
    *selected = *slot;
    return true;
}

// Selects one step: the fast paths for a block and an integer and for an
// object's field, else the walk's step through the value's eval-path action
// (always for the step before a set's last, which records where its answer
// lives).
void step(path_walk::Walk& w, Cell* element, uint32_t index, PathMode mode, uint32_t remaining) {
    bool last = remaining == 0;
    Cell selected;
    bool inline_hit = !w.locating(remaining) &&
                      (cell::type(element) == T_INTEGER
                           ? !(w.setting() && last) && actions::select_inline(w.current(), cell::get_int(element),
                                                                              &selected)
                           : object_field(w.current(), element, mode, last, &selected));
    if (inline_hit) w.advance(element, &selected);
    else w.step(element, index, remaining);
}

bool field_ref(const Cell* path, bool setting, FieldRef* f) {
    SeriesBuffer* b = code_buffer(path);
    uint32_t start = uint32_t(cell::series_index(path));
    if (cell_count(b) != start + 2) return false;
    const Cell* head = series::cells(b) + start;
    f->object = cell::type(head) == T_WORD ? context::bound_slot(head) : nullptr;
    f->element = head + 1;
    return f->object && (f->slot = object_slot(f->object, f->element, setting)) != nullptr;
}

// The commonest path in one step without the walk: false when the path is
// anything else, or the field needs the walk (a call, an error, a change
// handler).
bool field_path(const Cell* path, PathMode mode) {
    FieldRef f;
    if (is_tracing() || !field_ref(path, mode == PATH_SET, &f)) return false;
    if (mode == PATH_SET) {
        set_field(f.slot, field_mark(f.object, f.element), stack::reg.base);
        return true;
    }
    if (mode == PATH_CALL && word_class(f.slot) == WORD_CALL) return false;
    stack::push(f.slot);
    return true;
}

uint32_t eval_path(const Cell* path_value, PathMode mode, const Cell* code, uint32_t pos) {
    if (field_path(path_value, mode)) return pos;
    Cell path = *path_value;
    temp_roots::Hold hold_path(&path);
    uint32_t start = uint32_t(cell::series_index(&path));
    Cell head = path_walk::head_word(&path);
    if (is_tracing()) {
        temp_roots::Hold hold_head(&head);
        emit_event(EV_ENTER, &path, int32_t(start), nullptr, nullptr);
        emit_fetch(&path, start, &head);
    }
    path_walk::Walk w(&path, &head, mode == PATH_SET ? stack::reg.base : nullptr, mode == PATH_GET, false);
    if (is_called(cell::type(w.current()))) {
        if (mode == PATH_GET) error::raise(Err::script_invalid_path_get, &path);
        if (mode == PATH_SET) error::raise(Err::script_invalid_path, &path, &head);
        Call c = code_call(w.current(), &head, code, pos);
        c.path = &path;
        c.path_from = start + 1;
        return call(c);
    }
    for (uint32_t i = start + 1; i < live_tail(&path); i++) {
        Cell element;
        if (!path_walk::element_at(&path, i, &element)) return pos;
        step(w, &element, i - start - 1, mode, path_walk::remaining_after(&path, i));
        keep_binding(&path, i, &element);
        if (mode == PATH_CALL && is_called(cell::type(w.current()))) {
            Cell name = path_call_name(&element, w.previous());
            Call c = code_call(w.current(), &name, code, pos);
            c.path = &path;
            c.path_from = i + 1;
            return call(c);
        }
    }
    if (mode != PATH_SET) stack::push(w.current());
    return pos;
}

// ---- running a block ------------------------------------------------------------------------

// The current code follows the innermost eval of a block that is not the
// library's own: the user's code, also where a library function runs it (as
// the console and do-file do), but no block of a library function's body.
// The scopes form a chain whose code cells the collector marks (mark_roots),
// so a scope's cell is rooted and kept current like a held one.
struct CodeScope {
    Cell* code;
    Cell* saved;
    CodeScope* outer;
    static inline CodeScope* innermost = nullptr;
    [[gnu::always_inline]] explicit CodeScope(Cell* code) : CodeScope(code, code_buffer(code)) {}
    // b: the code's buffer, found by the caller.
    [[gnu::always_inline]] CodeScope(Cell* code, const SeriesBuffer* b) : code(code), saved(eval_state.code), outer(innermost) {
        innermost = this;
        if (!(b->flags & SER_LIBRARY)) eval_state.code = code;
    }
    [[gnu::always_inline]] ~CodeScope() {
        innermost = outer;
        eval_state.code = saved;
    }
    CodeScope(const CodeScope&) = delete;
    CodeScope& operator=(const CodeScope&) = delete;
};
// The current code switched to a cell that the value stack roots, without a
// scope record or a copy: a branch's block run where it lies in its frame.
struct CurrentCode {
    Cell* saved;
    [[gnu::always_inline]] CurrentCode(Cell* code, const SeriesBuffer* b) : saved(eval_state.code) {
        if (!(b->flags & SER_LIBRARY)) eval_state.code = code;
    }
    [[gnu::always_inline]] ~CurrentCode() { eval_state.code = saved; }
    CurrentCode(const CurrentCode&) = delete;
    CurrentCode& operator=(const CurrentCode&) = delete;
};

// A trace event emitted from a block run without its frame reports as its
// base the cell the frame's base would have been.
void emit_at(Cell* slot, uint32_t event, const Cell* code, uint32_t pos, const Cell* value) {
    Cell* base = stack::reg.base;
    stack::reg.base = slot;
    emit_event(event, code, int32_t(pos), nullptr, value);
    stack::reg.base = base;
}

// Natives that word_call runs in place of their call (branch_in_place,
// returned_in_place, break_in_place).
inline bool is_in_place_native(uint32_t index) {
    return index == NAT_if || index == NAT_unless || index == NAT_either || index == NAT_return ||
           index == NAT_break || index == NAT_continue;
}

// The argument list of a word's value when it is a native or action that
// word_call calls plainly (native_call), else null.
[[gnu::always_inline]] inline const ListMemo* plain_native(const Cell* value) {
    uint32_t t = cell::type(value);
    if (t != T_ACTION && (t != T_NATIVE || is_in_place_native(cell::callable_index(value)))) return nullptr;
    const ListMemo& memo = list_memo_of(value);  // making the list allocates and never collects
    return memo.plain_args >= 0 ? &memo : nullptr;
}
// The same of a word in the code, its value put in *value; null for any
// other cell.
[[gnu::always_inline]] inline const ListMemo* plain_native_word(const Cell* c, const Cell** value) {
    *value = cell::type(c) == T_WORD ? context::bound_slot(c) : nullptr;
    return *value ? plain_native(*value) : nullptr;
}

// The call of such a word at the position, and the operators after it
// (none after an exit): the position after them.
[[gnu::always_inline]] inline uint32_t plain_native_expression(const Cell* code, uint32_t pos, Cell* w,
                                                               const Cell* value, uint32_t args, Node list) {
    uint32_t next = native_call(code, pos + 1, w, value, args, list);
    return exits::pending() ? next : infix_after(code, next, code_buffer(code));
}

// The first expression of a block run as code: one that starts with a word
// holding a native or action called plainly goes to its call without
// expression()'s dispatch, which would do the same (no safe point or halt
// being due, no trace); anything else is expression()'s.
[[gnu::always_inline]] inline uint32_t statement(const Cell* code, uint32_t pos, SeriesBuffer* b) {
    const Cell* c = series::cells(b) + pos;
    if (cell::type(c) == T_WORD && !attention_due()) {
        const Cell* value;
        if (const ListMemo* memo = plain_native_word(c, &value)) {
            Cell w = *c;
            return plain_native_expression(code, pos, &w, value, uint32_t(memo->plain_args), memo->list);
        }
    }
    return expression(code, pos, false, b);
}

// Evaluates from the position to the live tail, each expression into the
// slot (the result slot of the block's frame, or where it would be when the
// block runs without one); b is the code's buffer, good until the first
// evaluation. False on a pending exit (also one that arrived as the
// exception, which becomes the pending code again here).
bool run(Cell* code, uint32_t pos, SeriesBuffer* b, Cell* slot) {
    try {
        do {
            stack::reg.top = slot;
            cell::set_series_index(code, pos);
            if (is_tracing()) {
                emit_at(slot, EV_EXPR, code, pos, nullptr);
                b = code_buffer(code);
            }
            pos = expression(code, pos, false, b);
            if (exits::pending()) return false;
            b = code_buffer(code);
        } while (pos < cell_count(b));
        return true;
    } catch (const Throw& t) {
        if (!exits::is_pending_code(t.code)) throw;
        runtime::record.pending_code = t.code;
        return false;
    }
}

// The first expression of a block without a frame: run() for one
// expression, kept apart so that it can be inlined.
[[gnu::always_inline]] inline bool run_one(Cell* code, uint32_t* pos, SeriesBuffer* b) {
    try {
        *pos = statement(code, *pos, b);
        return !exits::pending();
    } catch (const Throw& t) {
        if (!exits::is_pending_code(t.code)) throw;
        runtime::record.pending_code = t.code;
        return false;
    }
}

// ---- prepared blocks ------------------------------------------------------------------------
// A block's prepared form (interpreter/prepared.h) run expression by
// expression. A plain chain, an assignment of one, a branch's or return's
// condition are computed from the form as value_in_place would compute them
// from the cells, each word looked up and each operator compared where the
// general evaluator looks them up; a call whose arguments the form does
// not hold starts where word_call starts, one whose arguments it holds runs
// as tree_chain runs it (below).
// Whatever does not hold (a word's value of another class, an operator
// replaced, operand types without an inline answer) leaves that expression,
// with nothing done, to expression(), and the form does not try it again.
// After anything that may run code the form must still hold (no collection
// or remaking forgot it, its block unchanged, no trace started, the
// expression ended where it did before); else run() goes on from there.

using prepared::Form;

// The integer case of an operator's fast path: add, subtract, multiply,
// remainder and the comparisons, when both its arguments take integer!.
prepared::IntOp int_op_of(FastOp f) {
    if (!(f.takes & TAKES_INTEGER)) return prepared::INT_NONE;
    if (f.fast.kind == FAST_COMPARE) {
        switch (f.fast.op) {
        case actions::OP_EQUAL:
        case actions::OP_STRICT_EQUAL: return prepared::INT_EQUAL;
        case actions::OP_NOT_EQUAL: return prepared::INT_NOT_EQUAL;
        case actions::OP_LESSER: return prepared::INT_LESSER;
        case actions::OP_LESSER_OR_EQUAL: return prepared::INT_LESSER_OR_EQUAL;
        case actions::OP_GREATER: return prepared::INT_GREATER;
        case actions::OP_GREATER_OR_EQUAL: return prepared::INT_GREATER_OR_EQUAL;
        default: return prepared::INT_NONE;
        }
    }
    if (f.fast.kind != FAST_ARITH) return prepared::INT_NONE;
    switch (f.fast.op) {
    case actions::ARITH_ADD: return prepared::INT_ADD;
    case actions::ARITH_SUBTRACT: return prepared::INT_SUBTRACT;
    case actions::ARITH_MULTIPLY: return prepared::INT_MULTIPLY;
    case actions::ARITH_REMAINDER: return prepared::INT_REMAINDER;
    default: return prepared::INT_NONE;
    }
}

[[gnu::noinline]] void learn_fast(prepared::OpStep& s, const Cell* op) {
    FastOp f = memo_operator(op);
    s.fast = {uint8_t(f.fast.kind), f.fast.op, f.takes};
    s.int_op = int_op_of(f);
    s.fast_known = true;
}
[[gnu::always_inline]] inline FastOp fast_of(prepared::OpStep& s, const Cell* op) {
    if (!s.fast_known) [[unlikely]] learn_fast(s, op);
    return FastOp{Fast{FastKind(s.fast[0]), s.fast[1]}, s.fast[2]};
}

// Two integers under an operator's integer case, into out (which may be
// the left one), as binary_inline answers them in place of the left one;
// false on an overflow, which the generic path turns into a float!, and on
// a remainder the generic path refuses (by zero, or of the least integer
// by -1).
// The arithmetic cases (an integer! answer) apart: a op b into r.
inline bool is_int_arith(uint8_t op) { return op >= prepared::INT_ADD && op <= prepared::INT_REMAINDER; }
[[gnu::always_inline]] inline bool int_arith(prepared::IntOp op, int32_t a, int32_t b, int32_t* r) {
    using namespace prepared;
    switch (op) {
    case INT_ADD: return !__builtin_add_overflow(a, b, r);
    case INT_SUBTRACT: return !__builtin_sub_overflow(a, b, r);
    case INT_MULTIPLY: return !__builtin_mul_overflow(a, b, r);
    default:  // INT_REMAINDER
        if (b == 0 || (a == INT32_MIN && b == -1)) return false;
        *r = a % b;
        return true;
    }
}
[[gnu::always_inline]] inline bool int_inline(prepared::IntOp op, Cell* out, const Cell* left, const Cell* right) {
    using namespace prepared;
    int32_t a = cell::get_int(left), b = cell::get_int(right), r;
    switch (op) {  // int_arith's cases each with its op known, so that its switch folds away
    case INT_ADD:
        if (!int_arith(INT_ADD, a, b, &r)) return false;
        break;
    case INT_SUBTRACT:
        if (!int_arith(INT_SUBTRACT, a, b, &r)) return false;
        break;
    case INT_MULTIPLY:
        if (!int_arith(INT_MULTIPLY, a, b, &r)) return false;
        break;
    case INT_REMAINDER:
        if (!int_arith(INT_REMAINDER, a, b, &r)) return false;
        break;
    case INT_EQUAL: return cell::make_logic(out, a == b), true;
    case INT_NOT_EQUAL: return cell::make_logic(out, a != b), true;
    case INT_LESSER: return cell::make_logic(out, a < b), true;
    case INT_LESSER_OR_EQUAL: return cell::make_logic(out, a <= b), true;
    case INT_GREATER: return cell::make_logic(out, a > b), true;
    default: return cell::make_logic(out, a >= b), true;
    }
    actions::store_cell(out, left->header, left->w1, uint32_t(r), left->w3);
    return true;
}
[[gnu::always_inline]] inline bool int_inline(const prepared::OpStep& s, Cell* out, const Cell* left, const Cell* right) {
    return int_inline(prepared::IntOp(s.int_op), out, left, right);
}

// A form's word's slot through its cache (see prepared::SlotCache), as
// context::bound_slot answers it. Sanitizer builds look the slot up afresh
// on every hit and abort when the cache is stale (a buffer that moved
// without node::set), and likewise for a function's word.
template <bool plain = false>
[[gnu::always_inline]] inline Cell* cached_slot(const Cell* word, prepared::SlotCache& c) {
    if (c.epoch == node::epoch) {
#ifdef ZEL_CHECK_PREPARED
        if (c.slot != context::bound_slot<plain>(word)) {
            std::fprintf(stderr, "zel: a remembered word slot is stale\n");
            std::abort();
        }
#endif
        return c.slot;
    }
#ifdef ZEL_CHECK_PREPARED
    if (c.local && context::stack_slot(word) != context::bound_slot<plain>(word)) {
        std::fprintf(stderr, "zel: a function word's slot is not the one its context gives\n");
        std::abort();
    }
#endif
    if (c.local) return context::stack_slot(word);
    Cell* slot = context::bound_slot<plain>(word);
    if (c.on && slot) {
        c.slot = slot;
        c.epoch = node::epoch;
    }
    return slot;
}

// A buffer's head and tail as one word (see prepared::holds).
[[gnu::always_inline]] inline uint64_t extent_of(const SeriesBuffer* b) {
    uint64_t extent;
    std::memcpy(&extent, &b->head, sizeof extent);
    return extent;
}

// The field a path names as field_ref finds it, its cache filled (see
// prepared::FieldCache): the slot, or null when field_ref finds none.
[[gnu::noinline]] Cell* fill_field(const Cell* path, bool setting, prepared::FieldCache& c) {
    FieldRef fr;
    c.epoch = 0;
    if (!field_ref(path, setting, &fr)) return nullptr;
    SeriesBuffer* b = code_buffer(path);
    const Cell* cells = series::cells(b) + cell::series_index(path);
    c.extent = extent_of(b);
    c.cells[0] = cells[0];
    c.cells[1] = cells[1];
    c.object = *fr.object;
    c.word = prepared::cache_for(cells, false);
    c.slot = fr.slot;
    c.mark = field_mark(fr.object, fr.element);
    c.epoch = node::epoch;
    return fr.slot;
}
// The field a path names through its cache, as field_ref answers it: the
// slot, or null. A field read must not be unset (object_slot's test, made
// here on each hit); a field assigned has no change handlers, which the
// object's cell tells. Sanitizer builds ask field_ref on every hit and
// abort when the cache is stale.
[[gnu::always_inline]] inline Cell* cached_field(const Cell* path, prepared::FieldCache& c, bool setting) {
    SeriesBuffer* b = code_buffer(path);
    const Cell* cells = series::cells(b) + cell::series_index(path);
    if (c.epoch != node::epoch || extent_of(b) != c.extent || !same_bits(cells, c.cells) ||
        !same_bits(cells + 1, c.cells + 1))
        return fill_field(path, setting, c);
    const Cell* object = cached_slot(c.cells, c.word);
    if (!object || !same_bits(object, &c.object)) return fill_field(path, setting, c);
#ifdef ZEL_CHECK_PREPARED
    FieldRef fr;
    bool found = field_ref(path, setting, &fr);
    if (found != (setting || cell::type(c.slot) != T_UNSET) || (found && fr.slot != c.slot)) {
        std::fprintf(stderr, "zel: a remembered field slot is stale\n");
        std::abort();
    }
#endif
    return setting || cell::type(c.slot) != T_UNSET ? c.slot : nullptr;
}

// An L_FIELD operand's value when it is simply pushed, or null (out of
// line: the runners that take operands in line keep their registers).
[[gnu::noinline]] const Cell* field_value(const prepared::Leaf& l) {
    const Cell* value = cached_field(&l.cell, *l.field, false);
    return value && word_class(value) == WORD_PUSH ? value : nullptr;
}
// An E_SET_FIELD's assignment of the value, or false when field_ref finds
// no field to write in place (out of line, as field_value).
[[gnu::noinline]] bool assign_field(Form* f, const prepared::Expr& e, const Cell* value) {
    prepared::FieldCache& c = *f->fields[e.call];
    Cell* target = cached_field(&e.word, c, true);
    if (!target) return false;
    set_field(target, c.mark, value);
    return true;
}

bool chain_into(Form* f, const prepared::Chain& ch, bool parens, Cell* out);
inline bool chain_value(Form* f, const prepared::Chain& ch, bool parens, Cell* out);
const Cell* answered_call(Form* f, const prepared::Leaf& leaf, uint32_t start, Cell* out, uint32_t* end = nullptr);

// An operator step's word still holding its op!, compared by its first two
// words (its header holds the type) and its extra block: the op!, or null.
[[gnu::always_inline]] inline const Cell* same_op(const prepared::OpStep& s) {
    const Cell* op = cached_slot(&s.word, s.cache);
    return op && op_head(op) == s.head && cell::callable_extra(op) == s.extra ? op : nullptr;
}

// The form of a paren operand when that is one chain to its tail that runs
// no code, else null. A paren without a form is prepared here (its parent's
// form runs, so it runs again and again); one whose form no longer holds is
// not remade here, as that form may be running further up.
[[gnu::always_inline]] inline Form* paren_chain_form(const Cell* paren) {
    Node n = cell::series_node(paren);
    SeriesBuffer* b = node::buffer(n);
    Form* f = prepared::find(n);
    if (!f && !(b->flags & SER_PLAIN)) f = prepared::make(paren);
    bool one_chain = f && prepared::holds(f, b) && f->start == uint32_t(cell::series_index(paren)) &&
                     f->exprs.size() == 1 && f->exprs[0].kind == prepared::E_CHAIN &&
                     f->exprs[0].next == cell_count(b) && !f->chains[f->exprs[0].chain].runs;
    return one_chain ? f : nullptr;
}
// Such a paren's value into out.
[[gnu::noinline]] const Cell* paren_value(const Cell* paren, Cell* out) {
    Form* f = paren_chain_form(paren);
    return f && chain_value(f, f->chains[f->exprs[0].chain], false, out) ? out : nullptr;
}

// A paren of one call answered in place (prepared::L_CALL_PAREN): its value
// into out as computed_in_place computes it, or null. It runs no code and
// takes no paren in turn, so it is taken at any depth. While the paren's
// cells are those its leaf holds (prepared::InlineCall), compared bit for
// bit (its buffer's mark cannot tell: another form or run marks it again
// after a write), its words are read through their caches and the call's
// list is the one its callable had; else the paren is read from its cells.
[[gnu::always_inline]] inline bool same_inline_call(const prepared::InlineCall& ic, const Cell* cells) {
    bool same = same_bits(cells, &ic.word) && same_bits(cells + 1, ic.args);
    return same && (ic.arity == 1 || same_bits(cells + 2, ic.args + 1));
}
// The call's value from what the form keeps of it (its cells checked by
// the caller), or null.
[[gnu::always_inline]] inline const Cell* inline_call_value(const prepared::InlineCall* ic, Cell* out) {
    const Cell* action = cached_slot(&ic->word, ic->word_cache);
    if (!action || !same_bits(action, &ic->callable)) return nullptr;
    const Cell* args[2];
    for (uint32_t k = 0; k < ic->arity; k++) {
        const Cell* a = ic->args + k;
        if (cell::type(a) == T_WORD) {
            a = cached_slot(a, ic->arg_caches[k]);
            if (!a || word_class(a) != WORD_PUSH) return nullptr;
        }
        if (!entry_takes(ic->entries + k, cell::type(a))) return nullptr;
        args[k] = a;
    }
    return fast_answer(fast_action(cell::callable_index(action)), args[0], args[ic->arity - 1], out) ? out : nullptr;
}
[[gnu::noinline]] const Cell* call_paren_value(const prepared::Leaf& l, Cell* out) {
    const Cell* paren = &l.cell;
    SeriesBuffer* b = code_buffer(paren);
    uint32_t at = uint32_t(cell::series_index(paren));
    const prepared::InlineCall* ic = l.inline_call;
    if (!ic || b->head != ic->head || b->tail != ic->tail || !same_inline_call(*ic, series::cells(b) + at))
        return at < cell_count(b) && fast_call_in_place(b, at, out) == cell_count(b) ? out : nullptr;
    return inline_call_value(ic, out);
}
// A right operand that is such a call written in the form's block
// (prepared::L_INLINE_CALL): its cells are the form's, and the chain's end
// is checked for an operator as any chain's is.
[[gnu::noinline]] const Cell* inline_operand_value(const prepared::Leaf& l, Cell* out) {
    return inline_call_value(l.inline_call, out);
}

// An operand's value, or null when the general evaluator must take it.
[[gnu::always_inline]] inline const Cell* leaf_value(const prepared::Leaf& l, Cell* scratch, bool parens) {
    switch (l.kind) {
    case prepared::L_VALUE: return &l.cell;
    case prepared::L_WORD: {
        const Cell* value = cached_slot(&l.cell, l.cache);
        return value && word_class(value) == WORD_PUSH ? value : nullptr;
    }
    case prepared::L_FIELD: return field_value(l);
    case prepared::L_PAREN: return parens ? paren_value(&l.cell, scratch) : nullptr;
    default:  // L_CODE_PAREN and L_CALL run code: see tree_chain
        if (l.kind == prepared::L_CALL_PAREN) return call_paren_value(l, scratch);
        return l.kind == prepared::L_INLINE_CALL ? inline_operand_value(l, scratch) : nullptr;
    }
}

// The chain runner: the chain's value into out, or false when the general
// evaluator must take the expression (out is then garbage; nothing else
// was written). A paren operand is taken when parens is set (one level, as
// value_in_place takes them). Two integers under an operator with an
// integer case are answered here; other operands through the fast path's
// operand types and binary_inline.
// The commonest shape, its guards in one go: an integer word under an
// operator with an integer case (learnt on the first run of chain_value),
// its value into out. WORD_INT_NONE: the chain is not of that shape now
// (chain_value takes it whole, nothing was written).
enum WordInt { WORD_INT_NO, WORD_INT_YES, WORD_INT_NONE };
[[gnu::always_inline]] inline WordInt word_int_value(Form* f, const prepared::Chain& ch, Cell* out) {
    if (!ch.word_int || !f->ops[ch.ops].int_op) return WORD_INT_NONE;
    const prepared::OpStep& s = f->ops[ch.ops];
    const Cell* value = cached_slot(&ch.first.cell, ch.first.cache);
    if (!value || cell::type(value) != T_INTEGER) return WORD_INT_NONE;
    if (!same_op(s)) return WORD_INT_NO;
    return int_inline(s, out, value, &s.right.cell) ? WORD_INT_YES : WORD_INT_NO;
}

// A chain's leading integer steps with integers written in the code
// (learnt), from s, applied to out while it is an integer!, kept as a
// number until the last of them: the step after them, or null when the
// general evaluator must take the chain. Out of line: the runner's other
// callers keep their registers.
[[gnu::noinline]] prepared::OpStep* int_steps(prepared::OpStep* s, const prepared::OpStep* end, Cell* out) {
    if (!is_int_arith(s->int_op) || cell::type(out) != T_INTEGER) return s;
    int32_t acc = cell::get_int(out);
    do {
        if (!same_op(*s) || !int_arith(prepared::IntOp(s->int_op), acc, cell::get_int(&s->right.cell), &acc))
            return nullptr;
    } while (++s < end && s->int_right && is_int_arith(s->int_op));
    actions::store_cell(out, out->header, out->w1, uint32_t(acc), out->w3);
    return s;
}

[[gnu::always_inline]] inline bool chain_value(Form* f, const prepared::Chain& ch, bool parens, Cell* out) {
    if (WordInt w = word_int_value(f, ch, out); w != WORD_INT_NONE) return w == WORD_INT_YES;
    Cell scratch;
    const Cell* value = leaf_value(ch.first, &scratch, parens);
    if (!value && (ch.first.kind != prepared::L_CALL || !(value = answered_call(f, ch.first, ch.start, &scratch))))
        return false;
    *out = *value;
    prepared::OpStep *s = f->ops.data() + ch.ops, *end = s + ch.op_count;
    if (ch.int_run && (s = int_steps(s, end, out)) == nullptr) return false;
    for (; s < end; s++) {
        const Cell* op = same_op(*s);
        if (!op) return false;
        FastOp fast = fast_of(*s, op);
        const Cell* right = fast.takes & takes_of(out) ? leaf_value(s->right, &scratch, parens) : nullptr;
        if (!right) return false;
        if (s->int_op && cell::type(out) == T_INTEGER && cell::type(right) == T_INTEGER) {
            if (!int_inline(*s, out, out, right)) return false;
            continue;
        }
        if (!takes_both(fast.takes, out, right) || !binary_inline(fast.fast, out, right)) return false;
    }
    return true;
}
[[gnu::noinline]] bool chain_into(Form* f, const prepared::Chain& ch, bool parens, Cell* out) {
    return chain_value(f, ch, parens, out);
}

// The chain's value pushed, or false with nothing pushed. The commonest
// shape inline, the rest through chain_into.
inline bool prepared_chain(Form* f, const prepared::Chain& ch, bool parens) {
    Cell* top = stack::reg.top;
    if (top + 2 >= stack::reg.limit) return false;
    WordInt w = word_int_value(f, ch, top);
    if (w == WORD_INT_NONE ? !chain_into(f, ch, parens, top) : w == WORD_INT_NO) return false;
    stack::reg.top = top + 1;
    return true;
}

// A chain that is the whole expression, its value into out: no operator
// follows it now.
[[gnu::always_inline]] inline bool no_op_next(const prepared::Expr& e, SeriesBuffer* b) {
    if (!e.word_next) return true;
    const Cell* next = cached_slot(series::cells(b) + e.next, e.next_cache);
    return !next || cell::type(next) != T_OP;
}
[[gnu::always_inline]] inline bool whole_chain_value(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* out) {
    return chain_value(f, f->chains[e.chain], true, out) && no_op_next(e, b);
}
// The same, pushed.
[[gnu::noinline]] bool whole_chain(Form* f, const prepared::Expr& e, SeriesBuffer* b) {
    if (stack::reg.top + 2 >= stack::reg.limit || !whole_chain_value(f, e, b, stack::reg.top)) return false;
    stack::reg.top++;
    return true;
}

// The callable an expression starts with, still the word's value.
[[gnu::always_inline]] inline const Cell* same_callable(const prepared::Expr& e) {
    const Cell* value = cached_slot(&e.word, e.cache);
    return value && same_bits(value, &e.callable) ? value : nullptr;
}

// Whether the argument list of a branch's native takes a block for each
// block argument, after a condition: learnt once per expression (see
// prepared::Expr::fit).
// leading: the arguments before the blocks (a condition, a count; 0 or 1).
[[gnu::noinline]] void learn_fit(const prepared::Expr& e, const Cell* native, uint32_t blocks, uint32_t leading = 1) {
    const ListMemo& memo = list_memo_of(native);
    bool fits = memo.plain_args == int32_t(blocks + leading);
    const Cell* entries = fits ? series::cells(node::buffer(memo.list)) : nullptr;
    for (uint32_t k = 0; fits && k < blocks; k++) fits = entry_takes(entries + leading + k, T_BLOCK);
    if (fits && leading) e.condition_entry = entries[0];
    e.fit = fits ? prepared::FIT_YES : prepared::FIT_NO;
}

// if, unless, either with a chain for condition: branch_in_place's checks,
// the condition's value into condition and the blocks found where they lie;
// false when the argument list does not take them as they are.
[[gnu::always_inline]] inline bool branch_arguments(Form* f, const prepared::Expr& e, SeriesBuffer* b, const Cell* native,
                                                const Cell** branch, Cell* condition) {
    uint32_t blocks = cell::callable_index(native) == NAT_either ? 2 : 1;
    if (e.fit == prepared::FIT_UNKNOWN) [[unlikely]] learn_fit(e, native, blocks);
    if (e.fit != prepared::FIT_YES || !whole_chain_value(f, e, b, condition)) return false;
    const Cell* at = series::cells(b) + (e.next - blocks);
    branch[0] = at;
    if (blocks == 2) branch[1] = at + 1;
    return entry_takes(&e.condition_entry, cell::type(condition));
}
// The block a branch from a form takes (take_block): the position after
// the call. An operator that the block put after the call applies to the
// call's value, as after any call. With links, it is a step of run_code.
// chosen_buffer: with links, the buffer of the block the branch takes, as
// branch_answer found it.
[[gnu::always_inline]] inline uint32_t prepared_block(const Cell* code, const prepared::Expr& e, uint32_t index,
                                                      Cell* condition, const Cell* const* branch, const Cell* native,
                                                      prepared::FormLink* links = nullptr,
                                                      SeriesBuffer* chosen_buffer = nullptr) {
    Cell w = e.word;
    uint32_t next = e.next;  // read before the block runs: a collection there frees the form
    if (!links) {
        next = take_block(index, condition, branch, &w, native, next);
    } else {  // take_block, the block run from its linked form when that serves
        Cell* chosen = branch_frame(index, condition, branch, &w, native);
        if (!(chosen_buffer->flags & SER_PREPARED) ||
            !linked_block(chosen, chosen_buffer, links[chosen - stack::reg.base - 1]))
            eval_block<true, true>(anon(), chosen, true);
        next = branch_left(next);
    }
    if (exits::pending()) return next;
    return links ? step_end(code, next) : infix_after(code, next, code_buffer(code));
}
uint32_t prepared_branch(const Cell* code, Form* f, const prepared::Expr& e, SeriesBuffer* b, const Cell* native) {
    const Cell* branch[2] = {nullptr, nullptr};
    Cell* condition = stack::reg.top;
    if (condition + 2 >= stack::reg.limit || !branch_arguments(f, e, b, native, branch, condition)) return 0;
    stack::reg.top = condition + 1;
    uint32_t index = cell::callable_index(native);
    if (branch_answer(index, condition, branch)) return e.next;
    return prepared_block(code, e, index, condition, branch, native);
}

// A branch that runs no code (branch_answer) from the form, its value at
// slot (the value top); false with nothing done when a block must run or
// the general evaluator must take it.
bool quick_branch(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot) {
    const Cell* native = same_callable(e);
    const Cell* branch[2] = {nullptr, nullptr};
    if (!native || !branch_arguments(f, e, b, native, branch, slot) ||
        !branch_answer(cell::callable_index(native), slot, branch))
        return false;
    stack::reg.top = slot + 1;
    return true;
}

// return with a chain: returned_in_place's checks.
[[gnu::always_inline]] inline uint32_t prepared_return(Form* f, const prepared::Expr& e, SeriesBuffer* b, const Cell* native) {
    if (e.fit == prepared::FIT_UNKNOWN) [[unlikely]] learn_fit(e, native, 0);
    Cell* top = stack::reg.top;
    if (e.fit != prepared::FIT_YES || !whole_chain(f, e, b)) return 0;
    bool takes = entry_takes(&e.condition_entry, stack::top_type());
    Cell value = *stack::top();
    stack::reg.top = top;
    return takes && stack::return_in_place(&value) ? e.next : 0;
}
// A return of a chain that runs no code that ends a function's body run by
// function_body (the last expression of the body's form): the frame the
// return would take is the function's (the body runs without a frame of
// its own), where the chain's value becomes the body's value all the same,
// so the value is left at slot (the value top) as the body's last, without
// the exit. False with nothing done when the return is not the one
// decoded, or its value does not apply in place or is not of a type it
// takes (the general path then runs it, or raises its error).
[[gnu::always_inline]] inline bool body_return(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot) {
    const Cell* native = same_callable(e);
    if (!native || slot + 2 >= stack::reg.limit) return false;
    if (e.fit == prepared::FIT_UNKNOWN) [[unlikely]] learn_fit(e, native, 0);
    if (e.fit != prepared::FIT_YES || !whole_chain_value(f, e, b, slot) || !entry_takes(&e.condition_entry, cell::type(slot)))
        return false;
    stack::reg.top = slot + 1;
    return true;
}
// Whether the k-th expression of a body's form is a return that ends it.
[[gnu::always_inline]] inline bool ends_body(const Form* f, uint32_t k) {
    return f->decoded && k + 1 == f->count && f->exprs[k].kind == prepared::E_RETURN;
}

// ---- loops from forms ------------------------------------------------------------------------
// while, until, forever and loop with their blocks written in the code:
// the native's frame opened as native_call opens it (enter_native), the
// arguments pushed and checked after it in native_call's order (so that
// an overflow is raised where it was), and the native run as
// native_call runs it (run_native_in_frame). Its turns, errors, listings and exits see
// the same frames. The position after the call, or 0 with nothing done
// when the word holds another native, the argument list does not take the
// arguments as they are, loop's count misses, an operator follows the
// last block now, or a trace runs. Out of line, whole, so that the runner
// of forms keeps its shape.
// A while's turns are taken first without its frames (frameless_while)
// while they run no code: no error, listing, trace or exit can see the
// frames then. A while ended by its condition or by a lone break is done
// there; else the frames are opened as above and the native goes on from
// where the turns stopped (while_resume).
WhileResume while_resume{STOP_NONE, 0, nullptr};
}  // namespace
// How frameless_while went: its blocks do not fit it (nothing done; for
// the generation's life), its condition is not prepared yet (nothing done),
// it stopped (*stop tells where), or the loop ended.
enum Frameless { FRAMELESS_REFUSED, FRAMELESS_UNREADY, FRAMELESS_STOPPED, FRAMELESS_ENDED };
Frameless frameless_while(const Cell* blocks, WhileResume* stop);
namespace {
uint32_t enter_loop(const Cell* code, const prepared::Expr& e, SeriesBuffer* b, const Cell* native, uint32_t blocks,
                    const Cell* count, const WhileResume& stop);

// Whether the stacks have room for the frames and cells of a loop native
// called from a form and its turns' slot: the frameless turns are taken
// only then, so that an overflow is raised where it was.
inline bool loop_room(const Cell* top = stack::reg.top) {
    return top + 8 < stack::reg.limit && stack::reg.call_top + 2 < stack::reg.call_limit;
}

[[gnu::noinline]] uint32_t prepared_loop(const Cell* code, Form* f, const prepared::Expr& e, SeriesBuffer* b,
                                         bool* ran_code) {
    const Cell* native = same_callable(e);
    if (!native) return 0;
    uint32_t index = cell::callable_index(native);
    bool counted = index == NAT_loop;
    uint32_t blocks = index == NAT_while ? 2 : 1;
    if (e.fit == prepared::FIT_UNKNOWN) [[unlikely]] learn_fit(e, native, blocks, counted ? 1 : 0);
    Cell count;
    if (e.fit != prepared::FIT_YES || is_tracing() || !no_op_next(e, b)) return 0;
    if (counted && (!chain_value(f, f->chains[e.chain], true, &count) ||
                    !entry_takes(&e.condition_entry, cell::type(&count))))
        return 0;
    const Cell* at = series::cells(b) + (e.next - blocks);
    WhileResume stop{STOP_NONE, 0, nullptr};
    if (index == NAT_while && (code_buffer(at + 1)->flags & SER_PREPARED) && loop_room() &&
        e.frameless_refused != prepared::generation + 1) {
        Frameless run = frameless_while(at, &stop);
        if (run == FRAMELESS_ENDED) {
            stack::push(&statics::unset_cell);  // what while gives, where the call would leave it
            return e.next;
        }
        if (run == FRAMELESS_REFUSED) e.frameless_refused = prepared::generation + 1;
    }
    *ran_code = true;
    return enter_loop(code, e, b, native, blocks, counted ? &count : nullptr, stop);
}

// The loop native's call from the form (see prepared_loop): its frame, its
// arguments, the native run, its stop where its turns stopped frameless.
uint32_t enter_loop(const Cell* code, const prepared::Expr& e, SeriesBuffer* b, const Cell* native, uint32_t blocks,
                    const Cell* count, const WhileResume& stop) {
    uint32_t next = e.next;  // read before the native runs: a collection there frees the form
    const Cell* at = series::cells(b) + (next - blocks);  // nothing allocates until the native runs
    Cell name = e.word;
    const stack::Frame* frame = enter_native(native, &name);
    if (count) stack::push(count);
    for (uint32_t k = 0; k < blocks; k++) stack::push(at + k);
    while_resume = stop;
    run_native_in_frame(code, next, &name, frame);
    return exits::pending() ? next : infix_after(code, next, code_buffer(code));
}

// A while of a quick form whose turns began frameless (quick_loop), from
// where they stopped: its checks were made then, and no code ran since.
uint32_t resumed_loop(const Cell* code, const prepared::Expr& e, SeriesBuffer* b, const WhileResume& stop) {
    return enter_loop(code, e, b, same_callable(e), 2, nullptr, stop);
}

// A while of a quick form in a loop's quick turn, at slot (the value top),
// with prepared_loop's checks, taken frameless (frameless_while). LOOP_NONE:
// nothing done, the turn's general way takes it; LOOP_DONE: the loop ended,
// its value at slot; LOOP_BEGUN: *stop tells where its turns stopped, and
// the rest of the block goes on from there (run_prepared's resume) before
// any safe point; LOOP_REFUSED: the same with nothing done, the while's
// blocks not fit for frameless turns (the caller stops taking the form's
// turns quickly: each would end there). Not taken when a stack check on that way could fail, so
// that an overflow is raised where it was. A fit not yet learnt is learnt
// by the general way (it may make the argument list).
enum LoopRun { LOOP_NONE, LOOP_DONE, LOOP_BEGUN, LOOP_REFUSED };
constexpr uintptr_t LOOP_STACK_MARGIN = 64 * 1024;
LoopRun quick_loop(const prepared::Expr& e, SeriesBuffer* b, Cell* slot, WhileResume* stop) {
    const Cell* native = same_callable(e);
    stack::reg.top = slot;
    if (!native || cell::callable_index(native) != NAT_while || e.fit != prepared::FIT_YES || is_tracing() ||
        !no_op_next(e, b) || !loop_room() || stack_guard::stack_point() < stack_guard::floor + LOOP_STACK_MARGIN)
        return LOOP_NONE;
    const Cell* at = series::cells(b) + (e.next - 2);
    *stop = {STOP_NONE, 0, nullptr};
    if (!(code_buffer(at + 1)->flags & SER_PREPARED) || e.frameless_refused == prepared::generation + 1)
        return LOOP_REFUSED;
    if (Frameless run = frameless_while(at, stop); run != FRAMELESS_ENDED) {
        if (run == FRAMELESS_REFUSED) e.frameless_refused = prepared::generation + 1;
        return run == FRAMELESS_STOPPED ? LOOP_BEGUN : LOOP_REFUSED;
    }
    *slot = statics::unset_cell;
    stack::reg.top = slot + 1;
    return LOOP_DONE;
}

// ---- chains that call -----------------------------------------------------------------------
// A chain that runs code (a call with its arguments' chains, a paren that
// calls) is run from the form as the general evaluator runs it from the
// cells: the same frames, opened and closed in the same order, the same
// checks of each argument, the same lookups. A call's callable is compared
// with the one decoded where word_call would look it up. After anything that
// ran code the form must still hold (no collection or remaking forgot it, its
// block unchanged, no trace started); where it does not, the expression goes
// on from the cells at the position reached, as the general evaluator would
// have gone on: the remaining arguments through plain_arguments, the
// remaining operators through infix. A guard that misses before anything of
// its part ran leaves that part (an argument, an operator) to the cells too.

// Whether the form of the block at node n still serves after code ran: no
// collection or remaking forgot it (the generation taken before), its block
// unchanged, no trace started.
inline bool still_holds(const Form* f, Node n, uint32_t generation) {
    return prepared::generation == generation && prepared::holds(f, node::buffer_in_line(n)) && !is_tracing();
}

// The form after a general step of the k-th expression that ended at next:
// null when it no longer serves the rest of the block (see still_holds, or
// the expression ended elsewhere than before).
inline Form* form_after_step(Form* f, uint32_t k, uint32_t next, Node n, uint32_t generation) {
    if (!still_holds(f, n, generation)) return nullptr;
    prepared::Expr& e = f->exprs[k];
    if (!e.next) e.next = next;
    return e.next == next ? f : nullptr;
}

// The form a chain runs from, while it holds.
struct Tree {
    const Cell* code;  // held by the caller, its index at the expression
    Form* f;           // its node read only while the generation is the same
    uint32_t generation;
    bool broken;
    // After code ran: false (for good) when the form no longer holds.
    bool holds() {
        if (!broken) broken = !(prepared::generation == generation && still_holds(f, f->node, generation));
        return !broken;
    }
};

uint32_t tree_chain(Tree& t, uint32_t index);
void code_paren(const Cell* paren, SeriesBuffer* b, Form* call_form, const Cell* checked = nullptr);

// The arguments of a call from the form, each checked as plain_arguments
// checks it: one written as a value, or a word holding one, with no
// operator after it now, pushed as plain_arguments pushes it; one that is a
// chain from its chain. From the argument that misses, or after the form
// broke, the rest come from the cells. False on a pending exit.
[[gnu::always_inline]] inline bool tree_arguments(Tree& t, const prepared::CallNode& c, uint32_t* pos, Cell* name,
                                                  const stack::Frame* frame) {
    for (uint32_t k = 0; k < c.arg_count; k++) {
        uint32_t next = 0;
        Cell entry;
        if (!t.broken) {
            const prepared::Arg& a = t.f->args[c.args + k];
            entry = a.entry;
            switch (a.kind) {
            case prepared::A_VALUE:
            case prepared::A_WORD: {
                const Cell* value = &a.cell;
                if (a.kind == prepared::A_WORD) {
                    value = context::bound_slot(value);
                    if (!value || word_class(value) != WORD_PUSH) break;
                }
                if (a.word_after && infix_op_at(code_buffer(t.code), a.end)) break;
                stack::push(value);
                next = a.end;
                break;
            }
            case prepared::A_CHAIN:
                if (!prepared_chain(t.f, t.f->chains[a.chain], true)) break;
                next = a.end;
                if (!a.word_after) break;
                if (SeriesBuffer* b = code_buffer(t.code); infix_op_at(b, next)) {  // an operator there now: infix applies it
                    next = infix(t.code, next, b);
                    if (exits::pending()) {
                        *pos = next;
                        return false;
                    }
                    cell::set_word_context(name, frame->word_context);
                    t.holds();
                }
                break;
            default:
                next = tree_chain(t, a.chain);
                if (!next) break;
                if (exits::pending()) {
                    *pos = next;
                    return false;
                }
                cell::set_word_context(name, frame->word_context);
            }
        }
        if (!next) {  // the callable lies below the frame: its list gives the entries
            Cell entries[MAX_PLAIN_ARGS];
            copy_entries(entries, arg_list(stack::reg.base - 1), c.arg_count);
            return plain_arguments(t.code, pos, name, entries + k, c.arg_count - k, frame);
        }
        *pos = next;  // an exit taken in the argument has returned above: the others run no code
        check_type(name, entry);
    }
    return true;
}

// A call from the form (its word at pos): the position after it, its value
// pushed; 0 with nothing done when the word holds another callable or a
// trace runs. function_call and native_call with the arguments taken from
// their chains. The callable compared equal has the argument list it had
// when decoded (a list is made once per callable and not changed): its
// arity and entries are the form's.
// checked: the word's value, when the caller compared it (untraced).
[[gnu::always_inline]] inline uint32_t tree_call(Tree& t, const prepared::Leaf& leaf, uint32_t pos,
                                                 const Cell* checked = nullptr) {
    prepared::CallNode c = t.f->calls[leaf.call];
    if (!c.framed && cell::type(&c.callable) == T_FUNCTION) {  // answered in the top cell when it can be
        Cell* top = stack::reg.top;
        uint32_t end;
        if (top + 2 < stack::reg.limit && answered_call(t.f, leaf, pos, top, &end)) {
            stack::reg.top = top + 1;
            return end;
        }
    }
    const Cell* value = checked ? checked : cached_slot(&leaf.cell, leaf.cache);
    if (!checked && (!value || !same_bits(value, &c.callable) || is_tracing())) return 0;
    Cell name = leaf.cell;
    pos++;
    if (cell::type(value) == T_FUNCTION) {
        const Cell* fn = stack::push(value);
        stack::Frame* frame = enter_function(&name, cell::callable_context(value));
        if (tree_arguments(t, c, &pos, &name, frame)) function_body(fn, &name, frame, c.arg_count);
        return pos;
    }
    const stack::Frame* frame = enter_native(value, &name);
    if (tree_arguments(t, c, &pos, &name, frame)) run_native_in_frame(t.code, pos, &name, frame);
    return pos;
}

// A paren operand whose form is a call alone (a chain of one call operand,
// to the paren's tail), while that form holds and no trace, collection or
// halt is due (which code_paren leaves to eval()): its form, else null.
// The form found is linked from the operand for the generation's life:
// then only what a run may change is checked again (the paren's cells, an
// expression left to the general evaluator, which is no longer one call's).
[[gnu::noinline]] Form* find_call_paren(const prepared::Leaf& leaf, SeriesBuffer* b) {
    const Cell* paren = &leaf.cell;
    if (!(b->flags & SER_PREPARED)) return nullptr;
    Form* f = prepared::find(cell::series_node(paren));
    if (!f || !prepared::holds(f, b) || f->start != uint32_t(cell::series_index(paren)) || !f->one_call ||
        f->exprs[0].kind != prepared::E_CHAIN)
        return nullptr;
    const prepared::Chain& ch = f->chains[f->exprs[0].chain];
    if (ch.first.kind != prepared::L_CALL || ch.op_count || ch.end != cell_count(b)) return nullptr;
    leaf.paren_form = f;
    leaf.paren_generation = prepared::generation;
    return f;
}
// b: the paren's buffer, found by the caller.
[[gnu::always_inline]] inline Form* call_paren_form(const prepared::Leaf& leaf, SeriesBuffer* b) {
    Form* f = leaf.paren_form;
    if (f && leaf.paren_generation == prepared::generation) {
        if (!prepared::holds(f, b) || !f->one_call) return nullptr;
    } else if (!(f = find_call_paren(leaf, b))) {
        return nullptr;
    }
    return attention_due() ? nullptr : f;
}


// The callable of a paren operand's call form when it is a function or
// native its word still holds (then the paren starts with a call, as
// starts_with_call tells otherwise), else null.
[[gnu::always_inline]] inline const Cell* paren_callable(const Form* f) {
    const prepared::Leaf& leaf = f->chains[f->exprs[0].chain].first;
    const Cell* callable = &f->calls[leaf.call].callable;
    if (cell::type(callable) != T_FUNCTION && cell::type(callable) != T_NATIVE) return nullptr;
    const Cell* value = cached_slot(&leaf.cell, leaf.cache);
    return value && same_bits(value, callable) ? value : nullptr;
}

// An operator whose right operand, at the position, is a paren that calls,
// its left operand on top of a type it takes: applied as infix_evaluated
// applies it (the frame the same to anything that looks while the paren
// runs), the position after the paren answered. The left operand stays
// where it lies as the frame's first; the integer case is answered from
// the step's own after the paren, and the op! is unwrapped only for the
// routine. The form found for the paren still serves it (nothing ran
// since), and its call's word holds the callable compared.
[[gnu::always_inline]] inline uint32_t paren_operand(const prepared::OpStep& s, const Cell* op, const FastOp& fast,
                                                     const Cell* code, uint32_t at, SeriesBuffer* pb, Form* pf,
                                                     const Cell* callable) {
    prepared::IntOp int_op = prepared::IntOp(s.int_op);  // s may be gone after the paren
    Cell held[2] = {*op, s.word};
    temp_roots::Hold hold(held, 2);
    stack::reg.top--;
    stack::enter_frame(held + 1, stack::KIND_NATIVE | interp_bit());
    stack::push_slot();
    code_paren(&s.right.cell, pb, pf, callable);  // copied there before anything runs
    if (exits::pending()) return at + 1;
    Cell* base = stack::reg.base;
    if ((int_op != prepared::INT_NONE && cell::type(base) == T_INTEGER && cell::type(base + 1) == T_INTEGER &&
         int_inline(int_op, base, base, base + 1)) ||
        (takes_both(fast.takes, base, base + 1) && binary_inline(fast.fast, base, base + 1))) {
        stack::pop_frame(&base);  // the frame pushed above is the top one: the answer at its base stays
        stack::reg.top = base + 1;
        return at + 1;
    }
    held[0] = unwrap(held);
    if (apply_operator(held, code, at + 1)) stack::leave();
    return at + 1;
}

// The operators of a chain that runs code, from the k-th (at pos), each
// compared and applied as prepared_chain applies it; a right operand that is
// a paren that calls takes the general application (its frame, the paren
// run as a block). Where one does not apply, infix goes on from it.
[[gnu::always_inline]] inline uint32_t tree_operators(Tree& t, uint32_t ops, uint32_t count, uint32_t pos) {
    for (uint32_t k = 0; k < count; k++) {
        prepared::OpStep& s = t.f->ops[ops + k];
        const Cell* op = same_op(s);
        if (!op) break;
        FastOp fast = fast_of(s, op);
        if (s.right.kind == prepared::L_CODE_PAREN) {  // infix's step, the paren run as code_paren runs it
            // The form holds: the paren lies at pos + 1, and one that starts
            // with a call does not apply in place.
            bool takes = fast.takes & takes_of(stack::last());
            SeriesBuffer* pb = takes ? code_buffer(&s.right.cell) : nullptr;
            Form* pf = takes ? call_paren_form(s.right, pb) : nullptr;
            const Cell* callable = pf ? paren_callable(pf) : nullptr;
            uint32_t next = takes && !callable && !starts_with_call(&s.right.cell)
                                ? infix_in_place(fast, code_buffer(t.code), pos + 1)
                                : 0;
            if (next) {
                pos = next;
            } else if (takes) {
                pos = paren_operand(s, op, fast, t.code, pos + 1, pb, pf, callable);
            } else {
                pos = infix_call(t.code, pos, code_buffer(t.code), op, fast);
            }
            if (exits::pending() || !t.holds()) return pos;
            continue;
        }
        Cell scratch;
        Cell* result = stack::last();
        const Cell* right = fast.takes & takes_of(result) ? leaf_value(s.right, &scratch, true) : nullptr;
        if (!right || !takes_both(fast.takes, result, right) || !binary_inline(fast.fast, result, right)) break;
        pos = s.end;
    }
    return pos;
}

// A chain from the form: the position after it (and after any operator
// found after it now, applied as the general evaluator applies it), its
// value pushed; 0 with nothing done when its first operand misses.
uint32_t tree_chain(Tree& t, uint32_t index) {
    const prepared::Chain* ch = &t.f->chains[index];  // read before code runs, found again after
    uint32_t pos = ch->first_end;
    prepared::LeafKind first = ch->first.kind;
    if (first == prepared::L_CALL) {
        pos = tree_call(t, ch->first, ch->start);
        if (!pos) return 0;
    } else if (first == prepared::L_CODE_PAREN) {
        SeriesBuffer* pb = code_buffer(&ch->first.cell);
        code_paren(&ch->first.cell, pb, call_paren_form(ch->first, pb));
    } else {
        Cell scratch;
        const Cell* value = leaf_value(ch->first, &scratch, true);
        if (!value || stack::reg.top + 2 >= stack::reg.limit) return 0;
        stack::push(value);
    }
    if (exits::pending()) return pos;
    if (first == prepared::L_CALL || first == prepared::L_CODE_PAREN) {
        if (!t.holds()) return infix_after(t.code, pos, code_buffer(t.code));
        ch = &t.f->chains[index];
    }
    if (ch->op_count) {
        pos = tree_operators(t, ch->ops, ch->op_count, pos);
        if (exits::pending()) return pos;
        if (!t.broken) ch = &t.f->chains[index];
    }
    // Where the chain ended as decoded while its form holds, only a word
    // there could hold an operator now.
    if (!t.broken && pos == ch->end && !ch->word_after) return pos;
    SeriesBuffer* b = code_buffer(t.code);
    if (!infix_op_at(b, pos)) return pos;
    pos = infix(t.code, pos, b);
    t.holds();
    return pos;
}

// A pure form's expression (a chain or its assignment) from the form, its
// value pushed at slot (the value top, with room for one more); false with
// nothing done when the general evaluator must run it. An assigned value
// goes to the word's slot and the value stack from where it was computed.
[[gnu::always_inline]] inline bool pure_expression(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot) {
    if (e.self_update) {
        // n: n + 1: the word's slot found once, for the operand and the
        // assignment (a field of an object takes the path below).
        const prepared::Chain& ch = f->chains[e.chain];
        const prepared::OpStep& s = f->ops[ch.ops];
        Cell* target = cached_slot<true>(&e.word, e.cache);
        if (s.int_op && target && cell::type(target) == T_INTEGER) {
            Cell value;
            if (!same_op(s) || !int_inline(s, &value, target, &s.right.cell) || !no_op_next(e, b)) return false;
            *target = value;
            *slot = value;
            stack::reg.top = slot + 1;
            return true;
        }
    }
    if (e.kind == prepared::E_CHAIN) {
        if (!whole_chain_value(f, e, b, slot)) return false;
        stack::reg.top = slot + 1;
        return true;
    }
    Cell value;
    if (!whole_chain_value(f, e, b, &value)) return false;
    if (e.kind == prepared::E_SET) {
        Cell* target = cell::type(&value) == T_UNSET ? nullptr : cached_slot<true>(&e.word, e.cache);
        if (!target) return false;
        *target = value;
    } else if (!assign_field(f, e, &value)) {
        return false;
    }
    *slot = value;
    stack::reg.top = slot + 1;
    return true;
}
template <bool Planned = false>
bool quick_call(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot);

// An expression of a quick form (prepared::Form::quick) that runs no code,
// its value at slot as pure_expression leaves it; false with nothing done
// when it must run code or the general evaluator must take it.
[[gnu::always_inline]] inline bool quick_expression(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot) {
    switch (e.kind) {
    case prepared::E_CHAIN:
    case prepared::E_SET:
    case prepared::E_SET_FIELD: return pure_expression(f, e, b, slot);
    case prepared::E_BRANCH: return quick_branch(f, e, b, slot);
    default:
        if (e.kind != prepared::E_CALL) [[likely]]
            return false;
        return quick_call(f, e, b, slot);
    }
}

// A quick form's expressions from the first, each as quick_expression runs
// it, up to one it cannot take or a safe point that is due: how many ran,
// *pos the position after the last of them.
[[gnu::always_inline]] inline uint32_t quick_run(Form* f, SeriesBuffer* b, Cell* slot, uint32_t* pos) {
    uint32_t k = 0;
    for (const prepared::Expr* e = f->exprs.data(); k < f->count; k++, e++) {
        if (safe_point_due() || !quick_expression(f, *e, b, slot)) break;
        *pos = e->next;
    }
    return k;
}

// The exit a branch's chosen block takes when it is a lone break or
// continue (its word holding that native, which takes no argument):
// NAT_break or NAT_continue; 0 for any other block. The condition is at
// slot.
uint32_t lone_exit(uint32_t index, const Cell* slot, const Cell* const* branch) {
    bool truthy = logic::is_truthy(slot);
    if (index == NAT_either ? cell::type(slot) == T_UNSET : truthy != (index == NAT_if)) return 0;
    const Cell* chosen = branch[index == NAT_either && !truthy ? 1 : 0];
    SeriesBuffer* cb = code_buffer(chosen);
    uint32_t at = uint32_t(cell::series_index(chosen));
    if (at + 1 != cell_count(cb) || cell::type(series::cells(cb) + at) != T_WORD) return 0;
    const Cell* value = context::bound_slot(series::cells(cb) + at);
    if (!value || cell::type(value) != T_NATIVE) return 0;
    uint32_t exit = cell::callable_index(value);
    return (exit == NAT_break || exit == NAT_continue) && list_memo_of(value).plain_args == 0 ? exit : 0;
}
// Such an exit taken in place of the branch: the general path would open
// the branch's frame, run the block and take the exit from its word
// (word_call), which pops that frame again, so nothing could see it. False
// with nothing done when the block is anything else or no loop takes the
// exit (the general path then raises the error with the branch's frame in
// place).
bool exit_in_place(uint32_t index, const Cell* slot, const Cell* const* branch) {
    uint32_t exit = lone_exit(index, slot, branch);
    return exit && stack::break_in_place(exit == NAT_continue);
}

// A branch of a quick form whose chosen block is a lone break or continue:
// the exit taken in place of the branch (exit_in_place), its condition
// computed here. False with nothing done otherwise.
[[gnu::noinline]] bool branch_exit(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot) {
    const Cell* native = same_callable(e);
    const Cell* branch[2] = {nullptr, nullptr};
    return native && branch_arguments(f, e, b, native, branch, slot) &&
           exit_in_place(cell::callable_index(native), slot, branch);
}

// pure_expression at the value top.
[[gnu::always_inline]] inline bool pure_at_top(Form* f, const prepared::Expr& e, SeriesBuffer* b) {
    Cell* slot = stack::reg.top;
    return slot + 2 < stack::reg.limit && pure_expression(f, e, b, slot);
}
// Out of line, for reduce (the general runner of forms takes it inline).
[[gnu::noinline]] bool pure_expression_at(Form* f, const prepared::Expr& e, SeriesBuffer* b) {
    return pure_at_top(f, e, b);
}

// The assignment of a chain that runs code, from the form (see
// tree_chain): its frame is opened as set_word_expression and
// set_path_expression open it, and a chain that misses there is evaluated
// from the cells in it. (A chain alone goes to tree_chain directly.) In
// line: out of line, its entry and exit cost an assigned call (x: f x)
// some 15 instructions.
[[gnu::always_inline]] inline uint32_t chain_expression(const Cell* code, Form* f, const prepared::Expr& e) {
    Tree t{code, f, prepared::generation, false};
    uint32_t chain = e.chain, start = e.pos + 1;
    Cell target = e.word;
    auto value = [&] {
        uint32_t next = tree_chain(t, chain);
        return next ? next : first_expression(code, start, code_buffer(code));
    };
    if (e.kind == prepared::E_SET) return set_word_framed(code, &target, value);
    return set_path_framed(code, &target, value);
}

// The answer of an action's fast path that nothing could see it gave
// without its frame (it cannot raise, allocate or run code), into out; false
// with nothing done when the frame is needed. put takes a key where the map
// tells it is (its store of a new key allocates).
[[gnu::always_inline]] inline bool answer_without_frame(Fast f, Cell* args, uint32_t count, Cell* out) {
    switch (f.kind) {
    case FAST_PUT:
        if (count != 3 || !map::put_remembered(args, args + 1, args + 2)) return false;
        *out = args[2];
        return true;
    case FAST_PICK:
    case FAST_SELECT:
    case FAST_QUERY: return count == inline_arity(f) && fast_answer(f, args, args + count - 1, out);
    default: return false;
    }
}

// A native's or action's call whose arguments the form holds (see
// prepared::Expr::held_args), untraced: the arguments computed from their
// chains above the value top, each checked against its entry, before
// anything is pushed (nothing in them can run code, raise or collect), then
// the frame opened over them as native_call_of opens it and the native run
// there. The position after the call (and the operators after it), or 0
// with nothing done when an argument misses: the general call then takes it
// from the cells, and raises what it raises. A word after an argument that
// holds an op! now takes the operator into that argument: the next
// argument's word must still push its value, the last's must hold no op!.
// The held arguments computed into args (above the value top, which the
// caller checked has room), each checked against its entry: the position
// after the last, or 0 when one misses (nothing else was written).
[[gnu::always_inline]] inline uint32_t held_arguments(Form* f, uint32_t start, const prepared::CallNode& c,
                                                      SeriesBuffer* b, Cell* args) {
    // Read once: the stores to args could alias them for the compiler.
    const prepared::Chain* chains = f->chains.data();
    const prepared::Arg* a = f->args.data() + c.args;
    const prepared::Arg* end = a + c.arg_count;
    if (a == end) return start + 1;
    for (Cell* arg = args;; a++, arg++) {
        if (a->kind == prepared::A_VALUE) {
            *arg = a->cell;
        } else if (a->kind == prepared::A_WORD) {
            const prepared::Leaf& l = chains[a->chain].first;
            const Cell* v = cached_slot(&l.cell, l.cache);
            if (!v || word_class(v) != WORD_PUSH) return 0;
            *arg = *v;
        } else if (!chain_into(f, chains[a->chain], true, arg)) {
            return 0;
        }
        if (!entry_takes(&a->entry, cell::type(arg))) return 0;
        if (a + 1 == end) break;
    }
    return a->word_after && infix_op_at(b, a->end) ? 0 : a->end;
}

// The call a chain starts with (an L_CALL) when its callable is a function
// whose body only computes its value (prepared::Form::answers) and whose
// context holds its arguments alone, answered without its frame, untraced:
// the arguments computed from their chains above the value top
// (held_arguments), the context's values pointed at them while the body's
// chains are computed as a run of the body computes them from its form,
// then put back. Nothing in that runs code, raises, allocates on the
// collector's heap or passes a safe point, so nothing could see the frame
// the call does without. The value into out (end: the position after the
// call), or null with nothing done: the general call then makes it, and
// raises what it raises. A call found framed by nature is marked so
// (prepared::CallNode::framed).
// The body's form of a function whose call with arity held arguments may
// be answered in place (see answered_call), its buffer into *bb; else null,
// *framed telling whether the function is framed by nature (rather than its
// body having no form that holds yet).
[[gnu::always_inline]] inline Form* answering_body(const Cell* fn, uint32_t arity, SeriesBuffer** bb, bool* framed) {
    *framed = true;
    if (cell::type(fn) != T_FUNCTION || (fn->header & (HDR_TRACE_OFF | HDR_TRACE_ON))) return nullptr;
    const Cell* cc = context::cell_of(cell::callable_context(fn));
    const Cell* body = function::extra(fn) + function::EXTRA_BODY;
    if ((cc->header & LIBRARY_CONTEXT) || cell::context_stack_count(cc) != arity || cell::type(body) != T_BLOCK)
        return nullptr;
    SeriesBuffer* b = code_buffer(body);
    Form* f = b->flags & SER_PREPARED ? prepared::find(cell::series_node(body)) : nullptr;
    if (!f || !prepared::holds(f, b) || f->start != uint32_t(cell::series_index(body))) {
        *framed = false;
        return nullptr;
    }
    *bb = b;
    return f->answers ? f : nullptr;
}

[[gnu::noinline]] const Cell* answered_call(Form* f, const prepared::Leaf& leaf, uint32_t start, Cell* out,
                                            uint32_t* end) {
    const prepared::CallNode& c = f->calls[leaf.call];
    if (c.framed || cell::type(&c.callable) != T_FUNCTION) return nullptr;
    const Cell* fn = cached_slot(&leaf.cell, leaf.cache);
    if (!fn || !same_bits(fn, &c.callable) || is_tracing()) return nullptr;
    SeriesBuffer* bb;
    bool framed;
    Form* bf = answering_body(fn, c.arg_count, &bb, &framed);
    if (!bf) {
        c.framed = framed;
        return nullptr;
    }
    Cell* cc = context::cell_of(cell::callable_context(fn));
    Cell* top = stack::reg.top;
    Cell* args = top + 1;
    if (args + c.arg_count + 2 >= stack::reg.limit || stack::reg.call_top >= stack::reg.call_limit) return nullptr;
    // Calls answered so in the arguments and the body take theirs above these.
    stack::reg.top = args + c.arg_count;
    uint32_t after = held_arguments(f, start, c, node::buffer_in_line(f->node), args);
    bool answered = after != 0;
    uint32_t values = cell::context_values(cc);
    if (answered) cell::set_context_values(cc, stack::index_of(args));
    for (const prepared::Expr *e = bf->exprs.data(), *last = e + bf->exprs.size(); answered && e < last; e++) {
        if (e->kind == prepared::E_RETURN) {
            const Cell* native = same_callable(*e);
            if (native && e->fit == prepared::FIT_UNKNOWN) learn_fit(*e, native, 0);
            answered = native && e->fit == prepared::FIT_YES && whole_chain_value(bf, *e, bb, out) &&
                       entry_takes(&e->condition_entry, cell::type(out));
        } else {
            answered = whole_chain_value(bf, *e, bb, out);
        }
    }
    stack::reg.top = top;
    cell::set_context_values(cc, values);
    if (!answered) return nullptr;
    if (end) *end = after;
    return out;
}

[[gnu::noinline]] uint32_t held_native_call(const Cell* code, Form* f, const prepared::Expr& e, SeriesBuffer* b,
                                            const Cell* value) {
    const prepared::CallNode& c = f->calls[e.call];
    Cell* top = stack::reg.top;
    if (top + c.arg_count + 2 >= stack::reg.limit) return 0;
    Cell* args = top + 1;
    uint32_t pos = held_arguments(f, e.pos, c, b, args);
    if (!pos) return 0;
    if (cell::type(value) == T_ACTION && stack::reg.call_top < stack::reg.call_limit &&
        answer_without_frame(fast_action(cell::callable_index(value)), args, c.arg_count, top)) {
        stack::reg.top = top + 1;
        return infix_after(code, pos, code_buffer(code));
    }
    Cell name = e.word;
    *top = *value;
    stack::reg.top = args;
    const stack::Frame* frame = stack::enter_frame(&name, stack::KIND_NATIVE | interp_bit());
    stack::reg.top = args + c.arg_count;
    run_native_in_frame(code, pos, &name, frame);
    return exits::pending() ? pos : infix_after(code, pos, code_buffer(code));
}

// An assignment of a native's or action's call whose arguments the form
// holds (prepared::Expr::held_args on an E_SET), untraced: the arguments
// computed from their chains where the call's frame will have them, then
// the assignment's frame and the call's opened over them as chain_expression
// and tree_call open them, and the native run there. The position after the
// call (and any operator after it now, applied in the assignment's frame as
// there), or 0 with nothing done when the word holds another callable or an
// argument misses: chain_expression then takes it.
[[gnu::noinline]] uint32_t held_set_call(const Cell* code, Form* f, const prepared::Expr& e, SeriesBuffer* b) {
    const prepared::Chain& ch = f->chains[e.chain];
    const prepared::CallNode& c = f->calls[e.call];
    const Cell* value = cached_slot(&ch.first.cell, ch.first.cache);
    if (!value || !same_bits(value, &c.callable)) return 0;
    Cell* slot = stack::reg.top;  // the assignment's frame: the set-word, then the callable
    Cell* args = slot + 2;
    if (args + c.arg_count + 2 >= stack::reg.limit) return 0;
    uint32_t pos = held_arguments(f, ch.start, c, b, args);
    if (!pos) return 0;
    Cell target = e.word, name = ch.first.cell;
    uint32_t count = c.arg_count;  // the form may be gone after the native
    return set_word_framed(code, &target, [&] {
        stack::push(value);
        const stack::Frame* frame = stack::enter_frame(&name, stack::KIND_NATIVE | interp_bit());
        stack::reg.top = args + count;
        run_native_in_frame(code, pos, &name, frame);
        return exits::pending() ? pos : infix_after(code, pos, code_buffer(code));
    });
}

// A call of a quick form (prepared::Expr::frameless) answered without its
// frame as held_native_call answers it, its value at slot: nothing in it
// runs code, raises, allocates or collects, and nothing could see the frame
// it does without. False with nothing done (the arguments computed above
// slot are no one's) when the answer needs the frame: the general way then
// takes the call, which computes them again; past a few such runs the
// form is no longer quick (its turns would stop there every time).
// Planned: a plan's step, whose callable's slot the plan holds steady
// (its callable is e.callable).
constexpr uint8_t MAX_FRAME_MISSES = 8;
template <bool Planned>
[[gnu::noinline]] bool quick_call(Form* f, const prepared::Expr& e, SeriesBuffer* b, Cell* slot) {
    const Cell* value = &e.callable;
    if constexpr (!Planned) {
        if (e.kind != prepared::E_CALL || !e.frameless) return false;
        value = cached_slot(&e.word, e.cache);  // same_callable, in line
        if (!value || !same_bits(value, &e.callable)) return false;
    }
    const prepared::CallNode& c = f->calls[e.call];
    Cell* args = slot + 1;
    if (args + c.arg_count + 1 >= stack::reg.limit || stack::reg.call_top >= stack::reg.call_limit) return false;
    uint32_t pos = held_arguments(f, e.pos, c, b, args);
    if (!pos || (c.arg_count == 0 && !no_op_next(e, b))) return false;  // else held_arguments looked
    if (!answer_without_frame(fast_action(cell::callable_index(value)), args, c.arg_count, slot)) {
        if (++e.frame_misses == MAX_FRAME_MISSES) f->quick = false;
        return false;
    }
    stack::reg.top = slot + 1;
    return true;
}

// A chain that runs code only for the function's call it starts with,
// not yet found framed: answered_call may answer it, and the chain be
// computed as one that runs no code. (A native's or action's call is
// never answered so.)
inline bool answerable_chain(const Form* f, const prepared::Chain& ch) {
    if (ch.first.kind != prepared::L_CALL) return false;
    const prepared::CallNode& c = f->calls[ch.first.call];
    if (c.framed || cell::type(&c.callable) != T_FUNCTION) return false;
    for (uint32_t k = 0; k < ch.op_count; k++) {
        prepared::LeafKind right = f->ops[ch.ops + k].right.kind;
        if (right == prepared::L_CODE_PAREN || right == prepared::L_CALL) return false;
    }
    return true;
}

// An expression whose call was answered without running code
// (answerable_chain): from now on it runs none, as though decoded so (the
// decoder could not tell before the callee's body had a form), so that the
// form may become pure or quick; a run that misses leaves it to the general
// evaluator as any such expression. The position after it.
[[gnu::noinline]] uint32_t answered_expression(Form* f, const prepared::Expr& e) {
    f->chains[e.chain].runs = false;
    f->exprs[size_t(&e - f->exprs.data())].runs = false;
    prepared::settle(f);
    return e.next;
}

// The expression run from its form: the position after it, or 0 with
// nothing done when the general evaluator must run it. *ran_code tells
// whether it may have run code (a call, a branch).
[[gnu::always_inline]] inline uint32_t prepared_expression(const Cell* code, Form* f, const prepared::Expr& e, SeriesBuffer* b,
                                                             bool* ran_code) {
    using namespace prepared;
    *ran_code = false;
    switch (e.kind) {
    case E_CHAIN:
        if (e.runs) {  // a statement that calls: its chain, without chain_expression's layer
            if (answerable_chain(f, f->chains[e.chain]) && pure_at_top(f, e, b)) return answered_expression(f, e);
            Tree t{code, f, prepared::generation, false};
            uint32_t next = tree_chain(t, e.chain);
            *ran_code = next != 0;
            return next;
        }
        return pure_at_top(f, e, b) ? e.next : 0;
    case E_SET:
    case E_SET_FIELD:
        if (e.runs) {
            // An assigned call answered without its frame (answered_call)
            // needs no frame for the assignment either.
            if (answerable_chain(f, f->chains[e.chain]) && pure_at_top(f, e, b)) return answered_expression(f, e);
            *ran_code = true;
            if (e.held_args && !is_tracing())
                if (uint32_t pos = held_set_call(code, f, e, b)) return pos;
            return chain_expression(code, f, e);
        }
        return pure_at_top(f, e, b) ? e.next : 0;
    case E_CALL: {
        const Cell* value = same_callable(e);
        if (!value) return 0;
        *ran_code = true;
        if (e.held_args && !is_tracing())
            if (uint32_t pos = held_native_call(code, f, e, b, value)) return pos;
        Cell w = e.word;
        uint32_t pos = word_call(code, e.pos + 1, &w, value);
        return exits::pending() ? pos : infix_after(code, pos, code_buffer(code));
    }
    case E_BRANCH:
        if (const Cell* native = same_callable(e)) {
            *ran_code = true;
            return prepared_branch(code, f, e, b, native);
        }
        return 0;
    case E_RETURN:
        if (const Cell* native = same_callable(e)) return prepared_return(f, e, b, native);
        return 0;
    case E_BREAK: {
        const Cell* native = same_callable(e);
        bool done = native && list_memo_of(native).plain_args == 0 &&
                    stack::break_in_place(cell::callable_index(native) == NAT_continue);
        return done ? e.next : 0;
    }
    default: return e.kind == E_LOOP ? prepared_loop(code, f, e, b, ran_code) : 0;
    }
}

// The form's expression, from it or, when it misses, by the general
// evaluator: the position after it (AT_TAIL for a chain that ended at the
// tail). Its value goes to the value top, which is at slot.
struct FormStep {
    Form* f;
    Cell* slot;
    [[gnu::always_inline]] uint32_t operator()(const Cell* code) const {
        stack::reg.top = slot;
        const prepared::Expr& e = f->exprs[0];
        uint32_t next;
        if (e.kind == prepared::E_CHAIN && !answerable_chain(f, f->chains[e.chain])) {
            uint32_t end = e.next;  // the block's tail (a one-call form is decoded), read before code runs
            Tree t{code, f, prepared::generation, false};
            next = tree_chain(t, e.chain);
            // Unbroken, the form held after the last code the chain ran.
            if (next == end && !t.broken) return AT_TAIL;
        } else {
            bool ran_code;
            next = prepared_expression(code, f, e, code_buffer(code), &ran_code);
        }
        if (next) return next;
        prepared::to_general(f, 0);  // nothing ran: the form still holds
        return expression(code, uint32_t(cell::series_index(code)), false, code_buffer(code));
    }
};

// A block whose form is one expression that calls (a chain or its
// assignment, a branch, a return), run as eval_prepared_rest runs it
// without the loop over expressions: step runs the expression (in the
// block's scope); what follows it when the block has grown meanwhile goes
// to run(). A step that knows it ended at the block's tail answers AT_TAIL.
// code: the block's cell, rooted by the caller.
template <class Step>
[[gnu::always_inline]] inline void run_code(Cell* code, Cell* slot, bool keep_last, Step step) {
    uint32_t start = uint32_t(cell::series_index(code));
    try {
        uint32_t next = step(code);
        if (exits::pending()) return;
        if (next != AT_TAIL) {
            SeriesBuffer* b = code_buffer(code);
            if (next < cell_count(b) && !run(code, next, b, slot)) return;
        }
    } catch (const Throw& t) {
        if (!exits::is_pending_code(t.code)) throw;
        runtime::record.pending_code = t.code;
        return;
    }
    // is_tracing() read in line: the compiler kept a call of it here.
    if (attention::tracing()) emit_at(slot, EV_EXIT, code, start, slot);
    if (keep_last) stack::set_result(slot);
}
// The same with its stack check, the block's cell copied. b is the block's
// buffer, found by the caller. The copy is rooted by its scope even where
// the caller keeps the block reachable: a collection may move the block's
// node (node-frame evacuation), and only rooted cells are rewritten.
template <class Step>
[[gnu::always_inline]] inline void run_one_call(const Cell* block, const SeriesBuffer* b, Cell* slot, bool keep_last,
                                                Step step) {
    stack_guard::check("stack-overflow");
    Cell code = *block;
    CodeScope scope(&code, b);  // roots the copy
    run_code(&code, slot, keep_last, step);
}
[[gnu::always_inline]] inline void run_one_call(const Cell* block, const SeriesBuffer* b, Form* f, Cell* slot,
                                                bool keep_last) {
    run_one_call(block, b, slot, keep_last, FormStep{f, slot});
}
// Such a paren run as code_paren runs it (its scope, its stack check, the
// rest of the paren when the call made it grow), the call straight from
// the paren's form as tree_chain runs a chain of one call: without
// code_paren's and the paren's chain's layers. The value is pushed. The
// step is forced into run_one_call: the compiler kept it out of line, with
// some 25 instructions of entry and exit a call.
// checked: as for tree_call.
[[gnu::always_inline]] inline void run_call_paren(const Cell* paren, SeriesBuffer* b, Form* f, const Cell* checked) {
    prepared::check_unchanged(f, b);
    run_one_call(paren, b, stack::reg.top, false, [f, checked](const Cell* code) __attribute__((always_inline)) {
        Tree t{code, f, prepared::generation, false};
        const prepared::Chain& ch = f->chains[f->exprs[0].chain];
        uint32_t next = tree_call(t, ch.first, ch.start, checked);
        if (!next) {
            prepared::to_general(f, 0);  // nothing ran: the form still holds
            return expression(code, uint32_t(cell::series_index(code)), false, code_buffer(code));
        }
        return exits::pending() ? next : step_end(code, next);
    });
}

// A block whose form is one branch: its condition and blocks are taken
// before the block's scope is set up, as they run no code, so that a branch
// answered without running a block (branch_answer) needs no scope or stack
// check; a block taken runs in the scope. False with nothing done when the
// form's expression misses (run_one_call takes it then).
[[gnu::always_inline]] inline bool run_one_branch(const Cell* block, SeriesBuffer* b, Form* f, Cell* slot,
                                                  bool keep_last) {
    const prepared::Expr& e = f->exprs[0];
    const Cell* native = same_callable(e);
    const Cell* branch[2] = {nullptr, nullptr};
    if (!native || slot + 2 >= stack::reg.limit || !branch_arguments(f, e, b, native, branch, slot)) return false;
    stack::reg.top = slot + 1;
    uint32_t index = cell::callable_index(native);
    SeriesBuffer* cb;
    if (!branch_answer(index, slot, branch, &cb)) {
        run_one_call(block, b, slot, keep_last,
                     [&e, index, slot, branch0 = branch[0], branch1 = branch[1], native, f, cb](const Cell* code) {
                         const Cell* const taken[2] = {branch0, branch1};
                         return prepared_block(code, e, index, slot, taken, native, f->taken, cb);
                     });
    } else if (keep_last) {
        stack::set_result(slot);  // the form is the whole block: nothing follows
    }
    return true;
}
// A branch's chosen block (in its frame, marked prepared) whose form is one
// expression that calls, other than a branch, run from the form its
// branch's form keeps linked: as eval_prepared runs it, without the
// lookup and the cases that do not apply, and in place: the block's cell in
// the frame is its code, rooted by the value stack, and the body's run that
// took the branch has checked the stack for this frame. False with nothing
// done when eval_prepared might do anything else with it (eval_block takes
// it then). b: the block's buffer, found by the caller with nothing run since.
[[gnu::always_inline]] inline bool linked_block(Cell* block, SeriesBuffer* b, prepared::FormLink& link) {
    // A link of this generation is the form of this block: the branch's
    // form holds, so its cells (the blocks it links) are those of the run
    // that made the link, and a form made anew counts a new generation.
    Form* f = link.form;
    if (!f || link.generation != prepared::generation) {
        f = prepared::find(cell::series_node(block));
        link = {f, prepared::generation};
    }
    if (!f || f->quick || !f->one_call || f->exprs[0].kind == prepared::E_BRANCH) return false;
    if (f->start != uint32_t(cell::series_index(block)) || !prepared::holds(f, b) || attention_due())
        return false;
    prepared::check_unchanged(f, b);
    CurrentCode current(block, b);
    run_code(block, stack::reg.top, true, FormStep{f, stack::reg.top});
    return true;
}

// run_one_call out of line, for the blocks that do not nest (see eval_block).
[[gnu::noinline]] void eval_prepared_one(const Cell* block, Form* f, Cell* slot, bool keep_last) {
    run_one_call(block, code_buffer(block), f, slot, keep_last);
}

inline bool one_call(const Form* f) { return f->one_call; }
// A form of one branch is quick, and runs from the quick path
// while its branch takes no block; once its branch ran a block, the quick
// attempt (its condition computed for nothing) is dropped for the one-call
// path, which takes the branch itself: a function body such as
// `either n < 2 [n] [...]` runs its blocks on every call.

// A paren that calls, as eval() runs it: from its form when that is one
// expression that calls (no collection or halt due, no trace); call_form is
// its form when call_paren_form found it a call alone, checked the value of
// its call's word when the caller compared it with the form's callable; b
// the paren's buffer, found by the caller with nothing run since.
[[gnu::noinline]] void code_paren(const Cell* paren, SeriesBuffer* b, Form* call_form, const Cell* checked) {
    if (call_form) {
        run_call_paren(paren, b, call_form, checked);
        return;
    }
    Form* f = (b->flags & SER_PREPARED) ? prepared::find(cell::series_node(paren)) : nullptr;
    if (f && prepared::holds(f, b) && f->start == uint32_t(cell::series_index(paren)) && one_call(f) &&
        !attention_due()) {
        prepared::check_unchanged(f, b);
        run_one_call(paren, b, f, stack::reg.top, false);
        return;
    }
    Cell code = *paren;
    eval_block(anon(), &code, false);
}

// Runs the block from the k-th expression of its form (at pos), each into
// the slot as run() does. False on a pending exit. body: the block is a
// function's body run by function_body. resume: the k-th expression is a
// while whose turns began frameless (see quick_loop), which goes on from
// there, with no safe point before it.
[[gnu::always_inline]] inline bool run_prepared(Cell* code, Form* f, uint32_t k, uint32_t pos, Cell* slot, bool body,
                                                const WhileResume* resume = nullptr) {
    const uint32_t generation = prepared::generation;
    const Node n = f->node;
    try {
        for (;;) {
            stack::reg.top = slot;
            cell::set_series_index(code, pos);
            bool ran_code = true;
            uint32_t next;
            if (resume) [[unlikely]] {
                next = resumed_loop(code, f->exprs[k], node::buffer(n), *resume);
                resume = nullptr;
            } else {
                if (!attention::quiet() && (collector::safe_point() || is_halt_requested())) break;
                SeriesBuffer* b = node::buffer(n);
                if (body && ends_body(f, k) && body_return(f, f->exprs[k], b, slot)) {
                    next = f->exprs[k].next;
                    ran_code = false;
                } else {
                    next = prepared_expression(code, f, f->exprs[k], b, &ran_code);
                }
            }
            SeriesBuffer* b = node::buffer(n);
            if (!next) {
                // Taken by the general evaluator from now on (a branch that
                // misses has run nothing: it checks before it runs).
                prepared::to_general(f, k);
                next = expression(code, pos, false, b);
                ran_code = true;
            }
            if (exits::pending()) return false;
            if (ran_code && !form_after_step(f, k, next, n, generation)) {
                pos = next;
                break;
            }
            pos = next;
            if (pos >= cell_count(node::buffer(n))) return true;
            if (++k == f->exprs.size() && !prepared::extend(f, pos)) break;
        }
    } catch (const Throw& t) {
        if (!exits::is_pending_code(t.code)) throw;
        runtime::record.pending_code = t.code;
        return false;
    }
    SeriesBuffer* b = code_buffer(code);
    return pos >= cell_count(b) || run(code, pos, b, slot);
}

// The rest of a block from the k-th expression of its form (at pos), in
// the block's scope as eval_block runs it (body and resume as for
// run_prepared).
[[gnu::always_inline]] inline void rest_in_scope(const Cell* block, Form* f, uint32_t k, uint32_t pos, Cell* slot,
                                                 bool keep_last, bool body, const WhileResume* resume) {
    stack_guard::check("stack-overflow");
    Cell code = *block;
    CodeScope scope(&code);
    uint32_t start = uint32_t(cell::series_index(&code));
    if (!run_prepared(&code, f, k, pos, slot, body, resume)) return;
    if (is_tracing()) emit_at(slot, EV_EXIT, &code, start, slot);
    if (keep_last) stack::set_result(slot);
}
// Body: the block is a function's body run by function_body (a copy of
// its own, so that the loops' runs do not test for it).
template <bool Body = false>
[[gnu::noinline]] void eval_prepared_rest(const Cell* block, Form* f, uint32_t k, uint32_t pos, Cell* slot,
                                          bool keep_last) {
    rest_in_scope(block, f, k, pos, slot, keep_last, Body, nullptr);
}
// The same from a while whose turns began frameless (quick_loop).
[[gnu::noinline]] void resumed_rest(const Cell* block, Form* f, uint32_t k, uint32_t pos, Cell* slot, bool keep_last,
                                    const WhileResume& stop) {
    rest_in_scope(block, f, k, pos, slot, keep_last, false, &stop);
}

// The form a loop's next turn runs from while no form is remade or forgotten.
inline void keep_form(LoopBlock* turn, Form* f) {
    turn->form = f;
    turn->quick = f->quick;
    turn->generation = prepared::generation;
}

// A block a loop applies in place (a condition with an operator) is
// prepared on its second turn: it never reaches note_run. A lone value is
// not: pushing it in place costs less than any form.
[[gnu::noinline]] void note_turn(LoopBlock* turn, const Cell* block, SeriesBuffer* b) {
    if (++turn->general_turns != 2 || !prepared::enabled || (b->flags & SER_PLAIN)) return;
    if (Form* f = prepared::make(block)) keep_form(turn, f);
}

// A block whose form holds, run from it: false when it has none or the
// block is not run from the form's start. Body: the block is a function's
// body run by function_body. A quick form runs nothing but its
// own chains and branches that take no block: no code can see the current
// code, raise, collect or trace while it runs, so it needs neither the held
// code nor its scope, up to an expression that must run code or that the
// general evaluator must take, or a safe point that is due.
template <bool Nested, bool Body>
[[gnu::always_inline]] inline bool eval_prepared_in(const Cell* block, SeriesBuffer* b, bool keep_last, LoopBlock* turn) {
    Form* f = prepared::find(cell::series_node(block));
    uint32_t pos = uint32_t(cell::series_index(block));
    // A body's run (function_body) has tested for a trace, and is no loop's turn.
    if (!f || !prepared::holds(f, b) || f->start != pos || (!Body && is_tracing())) return false;
    prepared::check_unchanged(f, b);
    if (!Body && turn) keep_form(turn, f);
    Cell* slot = stack::reg.top;
    uint32_t k = 0;
    if (f->quick && slot + 2 < stack::reg.limit) {
        k = quick_run(f, b, slot, &pos);
        if (k == f->count) {
            if (keep_last) stack::set_result(slot);
            return true;
        }
        stack::reg.top = slot;
        if (k == 0 && one_call(f)) f->quick = false;  // see the note at one_call
    }
    if (!f->quick && one_call(f)) {
        if (safe_point_due()) return false;
        if (f->exprs[0].kind == prepared::E_BRANCH && run_one_branch(block, b, f, slot, keep_last)) return true;
        if (Body && f->exprs[0].kind == prepared::E_RETURN && body_return(f, f->exprs[0], b, slot)) {
            if (keep_last) stack::set_result(slot);
            return true;
        }
        if constexpr (Nested) run_one_call(block, b, f, slot, keep_last);
        else eval_prepared_one(block, f, slot, keep_last);
        return true;
    }
    eval_prepared_rest<Body>(block, f, k, pos, slot, keep_last);
    return true;
}

template <bool Nested, bool Body>
[[gnu::noinline]] bool eval_prepared(const Cell* block, SeriesBuffer* b, bool keep_last, LoopBlock* turn) {
    return eval_prepared_in<Nested, Body>(block, b, keep_last, turn);
}

// A block run a second time is prepared; its form is used from the next
// run (and by the loop whose turn it is).
[[gnu::noinline]] void note_run(const Cell* block, SeriesBuffer* b, LoopBlock* turn) {
    if (!prepared::enabled) return;
    if (!(b->flags & SER_RAN)) {
        b->flags |= SER_RAN;
        return;
    }
    Form* f = prepared::find(cell::series_node(block));
    if (!f || !prepared::holds(f, b)) f = prepared::make(block);
    if (f && turn && f->start == uint32_t(cell::series_index(block))) keep_form(turn, f);
}

void eval_for_error(const Cell* block) {
    eval_raising(anon(), block);
    stack::pop(1);
}

// The memos name nodes that a collection may free or move.
void forget_memos() {
    forget_ops();
    prepared::forget_all();
    for (ListMemo& m : list_memo) m = ListMemo{0, 0, -1};
}

void mark_roots() {
    mark_trace();
    for (CodeScope* scope = CodeScope::innermost; scope; scope = scope->outer)
        collector::mark_cells(scope->code, scope->code + 1);
    forget_memos();
}

// The lexer's event callbacks: the answer is whether the result is truthy.
bool lexer_call(const Cell* callback, const Cell* args) {
    Cell* top = stack::reg.top;
    invoke_raising(callback, words::word(words::W_tag_lexer_callback), args, 5);
    bool answer = logic::is_truthy(stack::top());
    stack::reg.top = top;
    return answer;
}

}  // namespace

// ---- public entries -------------------------------------------------------------------------

int32_t checked_refinement(const Cell* path, uint32_t from, uint32_t at, Node list, const Cell* name, bool* used) {
    Cell e = fetch(path, at);
    *used = true;
    if (cell::type(&e) == T_GET_WORD) *used = logic::is_truthy(word::get_value(&e));
    else if (cell::type(&e) != T_WORD) error::raise(Err::script_bad_refine, &e);
    for (uint32_t j = from; j < at; j++) {
        Cell before = fetch(path, j);
        if (same_symbol(cell::word_symbol(&before), cell::word_symbol(&e))) error::raise(Err::script_dup_refine, path);
    }
    int32_t k = find_refinement(list, cell::word_symbol(&e));
    if (k < 0) {
        Cell refinement = loose_word(cell::word_symbol(&e), T_REFINEMENT);
        error::raise(Err::script_no_refine, name, &refinement);
    }
    return k;
}

Node prepare_spec(const Cell* callable) {
    const Cell* cache = series::cells(node::buffer(cell::callable_extra(callable))) + native::EXTRA_ARGS;
    if (cell::type(cache) == T_BLOCK) return cell::series_node(cache);
    Node list = build_arg_list(cell::callable_spec(callable), types::is_function_like(cell::type(callable)));
    cell::make_series(series::record_cells(node::buffer(cell::callable_extra(callable))) + native::EXTRA_ARGS, T_BLOCK, list);
    return list;
}

// The walk allocates nothing, so the cells stay where they are.
static void mark_library_blocks(const Cell* block) {
    SeriesBuffer* b = node::buffer(cell::series_node(block));
    if (b->flags & SER_LIBRARY) return;
    b->flags |= SER_LIBRARY;
    for (const Cell *c = series::cells(b), *end = c + cell_count(b); c < end; c++)
        if (types::is_any_block(c)) mark_library_blocks(c);
}

void mark_library(const Cell* function) {
    context::cell_of(cell::callable_context(function))->header |= LIBRARY_CONTEXT;
    const Cell* body = function::extra(function) + function::EXTRA_BODY;
    if (types::is_any_block(body)) mark_library_blocks(body);
}

bool is_library(const Cell* function) {
    if (cell::type(function) == T_ROUTINE) return true;
    return cell::type(function) == T_FUNCTION && (context::cell_of(cell::callable_context(function))->header & LIBRARY_CONTEXT);
}

// A sort comparator that is a function: its answer is copied out and popped,
// so a sort leaves the stack as it found it; a pending exit leaves as the
// exception, which the sort turns back.
static const Cell* call_comparator(const Cell* fn, const Cell* first, const Cell* second) {
    static Cell answer;
    Cell args[2] = {*first, *second};
    invoke_raising(fn, nullptr, args, 2);
    answer = *stack::top();
    stack::pop(1);
    return &answer;
}

void init() {
    static bool installed = false;
    evaluator::services = {eval, invoke_raising, invoke_positional, prepare_spec, current_code};
    block::set_compare_caller(call_comparator);
    error::set_evaluator(eval_for_error);
    error::set_raise_tracer(trace_error);
    lexer::set_caller(lexer_call);
    object::install_notifiers();
    prepared::init();
    forget_memos();
    if (!installed) collector::register_(mark_roots);
    installed = true;
}

// A block of a plain value and operators that all apply in place up to its
// tail (a condition like [i < n], a branch like [n]) gives its value at once,
// where a run would leave it: its frame, current code and safe point would
// change nothing anyone could see.
[[gnu::noinline]] static bool expression_block_in_place(SeriesBuffer* b, uint32_t pos, const Cell* value,
                                                         bool keep_last) {
    Stop stop;
    uint32_t end = value_in_place(b, pos, value, true, &stop);
    if (!end) return false;
    if (stop.op || end < cell_count(b)) {
        stack::pop(1);
        return false;
    }
    if (keep_last) stack::set_result(stack::top());
    return true;
}
[[gnu::always_inline]] inline bool eval_in_place(SeriesBuffer* b, uint32_t pos, const Cell* value, bool keep_last) {
    if (pos + 1 == cell_count(b) && !is_tracing() && stack::reg.top + 1 < stack::reg.limit) {
        Cell* result = stack::push(value);  // a lone value, the commonest: no operator to look for
        if (keep_last) stack::set_result(result);
        return true;
    }
    return expression_block_in_place(b, pos, value, keep_last);
}

// A block in its own frame: a named one, or one that starts while a trace
// runs. Kept apart from eval(), whose frameless path is the commonest.
[[gnu::noinline]] static void eval_in_frame(const Cell* name, const Cell* block, bool keep_last) {
    Cell code = *block;
    CodeScope scope(&code);
    uint32_t pos = uint32_t(cell::series_index(&code));
    stack::enter_frame(name, stack::KIND_BLOCK | interp_bit());
    if (is_tracing()) emit_event(EV_ENTER, &code, int32_t(pos), nullptr, nullptr);
    SeriesBuffer* b = code_buffer(&code);
    if (pos >= cell_count(b)) {
        if (is_halt_requested() && take_halt()) return;  // an empty block has no expression to take it
        stack::push(&statics::unset_cell);
    } else if (!run(&code, pos, b, stack::reg.base)) {
        return;
    }
    if (is_tracing()) emit_event(EV_EXIT, &code, int32_t(pos), nullptr, stack::reg.base);
    if (keep_last) stack::leave_last();
    else stack::leave();
}

// An unnamed block frame is no exit's target and no listing shows it, and
// each expression of the block pushes its value where the frame's result
// slot would be: so such a block runs without it. A named frame, or a trace
// running when the block starts, takes the frame.
void eval(const Cell* name, const Cell* block, bool keep_last) { eval_block<false>(name, block, keep_last); }

void find_form(LoopBlock& turn) {
    Node n = cell::series_node(turn.block);
    Form* f = prepared::find(n);
    if (f && f->start == uint32_t(cell::series_index(turn.block))) keep_form(&turn, f);
}

// A turn through eval(), which keeps the form the next turn may run from.
void general_turn(LoopBlock& turn, const Cell* name, bool keep_last) {
    turn.form = nullptr;
    turn.quick = false;
    eval_block<false>(name, turn.block, keep_last, &turn);
}

// A turn from the block's form while it holds and no collection or halt is
// due (eval() takes those): a quick form's expressions straight from the
// form, as eval_prepared runs them, any other form as eval_prepared runs it.
void form_turn(LoopBlock& turn, const Cell* name, bool keep_last) {
    Form* f = turn.form;
    SeriesBuffer* b = node::buffer(f->node);
    if (!prepared::holds(f, b) || attention_due())
        return general_turn(turn, name, keep_last);
    prepared::check_unchanged(f, b);
    Cell* slot = stack::reg.top;
    uint32_t k = 0;
    if (f->quick && slot + 2 < stack::reg.limit) {
        const prepared::Expr* e = f->exprs.data();
        for (uint32_t count = f->count; k < count; k++, e++)
            if (!quick_expression(f, *e, b, slot)) break;
        if (k == f->count) {
            if (keep_last) stack::set_result(slot);
            return;
        }
        stack::reg.top = slot;
        if (f->exprs[k].kind == prepared::E_BRANCH && branch_exit(f, f->exprs[k], b, slot)) return;
        if (k == 0 && one_call(f)) f->quick = false;  // see the note at one_call
    }
    if (!f->quick && one_call(f)) {
        eval_prepared_one(turn.block, f, slot, keep_last);
        return;
    }
    eval_prepared_rest(turn.block, f, k, f->exprs[k].pos, slot, keep_last);
}

// Whether a loop's next block may run from its quick form: no trace, no
// collection or halt due (a general turn takes those).
inline bool quick_turns() { return !attention_due(); }

// How a block ran from its quick form: not at all, wholly, or up to an
// expression after which the general path ran the rest of the block or an
// exit was taken (branch_exit).
enum QuickRun { RUN_NONE, RUN_DONE, RUN_REST };

// A loop's block ready for quick turns: its quick form while that holds, or
// the lone plain value of a block that keeps no form (which eval() gives as
// it is). It is checked once for a run of turns: a quick turn runs no code,
// allocates nothing and so moves, changes and collects nothing, and no
// trace can start in it; so what held for one turn that ran wholly from
// the form holds for the next. A due collection and a halt, which may be
// asked for meanwhile, are tested on every turn.
//
// For the same reason a form of a few integer steps gets a plan for the
// run (QuickPlan): each expression a chain of integer operands under
// operators with an integer case, alone, assigned to a word, or a branch's
// condition, an integer written in the code or a word's or field's value
// assigned (PC_STORE, PC_COPY), or a while whose blocks take frameless
// turns (PlanWhile). An operand is an integer written in the code, a word, a
// field of an object held by a word (o/x, as field_ref finds it: see
// plan_field), or a paren whose own form is such a chain (as paren_value
// takes it); an assignment is to a word or to such a field; each
// operator is a step, a paren's and a chain's earlier steps leaving their
// values in the plan's own cells. The checks of what no quick turn can
// change are made once, when the plan is made: the operator words still
// hold their op!s and the branch word its native, the argument fit, no
// operator after an expression, the parens' forms, every word's slot (no
// turn allocates or leaves a frame, so slots stay put), a field's path and
// the object its word holds. While every slot the run's turns assign (a
// plan's, a block's without a plan, repeat's counter) holds neither an op!,
// a callable nor an object when the run's plans are made (assigns_safely),
// none of them is a word a plan checked. A turn may
// give a word any value a block holds ((pick b i)), an op! too: so no value
// step after the first starts with a word, the cell after the step before,
// which the plan checks for an operator only when made (such a step's
// value is dropped: it is rare). Each turn still tests the operands'
// types and the integer case's answer (overflow), and the first step that
// misses goes on as quick_block goes, from its expression (what the
// expression's earlier steps wrote is the plan's own); a while's step that
// stops goes on from its expression with the stop as resume. A plan kept
// for later runs is checked against what it recorded (plan_holds).
constexpr uint32_t MAX_PLAN_EXPRS = 4, MAX_PLAN_STEPS = 12, MAX_PLAN_CELLS = 4;
enum PlanKind : uint8_t { PLAN_INNER, PLAN_VALUE, PLAN_SET, PLAN_BRANCH };
// What a step does, the one thing a turn dispatches on: an operator's
// integer case (in IntOp's order), a branch deciding on the value its
// condition's steps left at the turn's slot, an integer written in the
// code assigned to a word (x: 0), a while's turns (PlanWhile).
enum PlanCode : uint8_t {
    PC_ADD, PC_SUBTRACT, PC_MULTIPLY, PC_REMAINDER,
    PC_EQUAL, PC_NOT_EQUAL, PC_LESSER, PC_LESSER_OR_EQUAL, PC_GREATER, PC_GREATER_OR_EQUAL,
    PC_IF, PC_UNLESS, PC_EITHER, PC_STORE, PC_WHILE,
    // An addition or subtraction of an integer written in the code to the
    // word it assigns (n: n + 1): only the number's word of the cell changes.
    PC_ADD_TO, PC_SUBTRACT_FROM,
    // A comparison that is the whole condition of if or unless, deciding
    // the branch in the same step (in the comparisons' order).
    PC_BRANCH_EQUAL, PC_BRANCH_NOT_EQUAL, PC_BRANCH_LESSER, PC_BRANCH_LESSER_OR_EQUAL, PC_BRANCH_GREATER,
    PC_BRANCH_GREATER_OR_EQUAL,
    // A call answered without its frame (Expr::frameless), as a quick turn
    // answers it (quick_call): its callable's word is a steady slot, it
    // checks its arguments itself and assigns no word.
    PC_CALL,
    // An operator's arithmetic case whose operands are integers whatever
    // the turn: each an integer written in the code or an inner cell, which
    // holds an integer once the step before has written it (in PC_ADD's
    // order).
    PC_ADD_TYPED, PC_SUBTRACT_TYPED, PC_MULTIPLY_TYPED, PC_REMAINDER_TYPED,
    // A paren of one call answered in place, as an operand (PlanParenCall),
    // and a call answered without its frame whose arguments the plan's
    // cells hold (PlanCall): see plan_held.
    PC_PAREN_CALL, PC_HELD,
    // A word's or field's value assigned as it is (t: o/x), when reading it
    // simply pushes it (no callable, op! or unset): the value may be of any
    // such type.
    PC_COPY,
    // The changed mark of an object's field assigned by the step before
    // (out: the field's word in the object's symbol block), as set_field
    // sets it; not needed when the field was marked when the plan was made
    // (see plan_field_mark).
    PC_MARK
};
static_assert(PC_ADD == prepared::INT_ADD - 1 && PC_GREATER_OR_EQUAL == prepared::INT_GREATER_OR_EQUAL - 1);
inline PlanCode plan_code(prepared::IntOp op) { return PlanCode(op - 1); }
struct PlanStep {
    PlanCode code;
    PlanKind kind;          // PLAN_INNER: a value a later step of its expression takes
    uint8_t expr;           // the form's expression it belongs to
    bool chooses;           // a comparison's branch step: the answer that chooses the block (true for if)
    uint32_t native_index;  // a branch's native; a while's place in QuickPlan::whiles
    // A branch's exits: NAT_break or NAT_continue when the block it chooses
    // (the first, either's second) is that lone word (see lone_exit), else 0.
    uint32_t exits[2];
    union {
        const prepared::OpStep* op;  // an operator's step (null for a branch, a store or a while)
        const prepared::Expr* call;  // a call's expression (PC_CALL)
    };
    const Cell* left;
    const Cell* right;
    Cell* out;              // an inner step's cell, an assignment's slot; null: the turn's slot
    Cell* target;           // an assignment's slot
    const Cell* branch[2];  // a branch's blocks
};
// A word whose slot a plan's step reads or assigns, and that slot.
struct PlanWord {
    const Cell* word;
    const Cell* slot;
    bool local;  // of a function's context: its slot moves with the frame
};
// A field a plan's step reads or assigns through its path (o/x), and its
// slot (see plan_field).
struct PlanField {
    const Cell* path;
    const Cell* slot;
    bool setting;
};
constexpr uint32_t MAX_PLAN_FIELDS = 8;
constexpr uint32_t MAX_PLAN_WORDS = 2 * MAX_PLAN_STEPS + MAX_PLAN_EXPRS + MAX_PLAN_FIELDS;
// A cell that must hold exactly what it held when the plan was made for the
// plan to serve a later run: an operator word's slot, a branch word's, a
// lone exit's word cell in its block and its slot, a field path's cells and
// the slot of its object's word, a field's word in its object's symbol
// block. Such a slot of the global context or an object's, or a cell of a
// block, stays put while node::epoch is the same.
struct SteadySlot {
    const Cell* slot;
    Cell value;
};
constexpr uint32_t MAX_STEADY = MAX_PLAN_STEPS + 5 * MAX_PLAN_EXPRS + 4 * MAX_PLAN_FIELDS;
// A block the plan reads cells of (a lone exit's, a paren call's, a field's
// path): its extent when the plan was made.
struct ExitBlock {
    const SeriesBuffer* b;
    uint32_t head, tail;
};
constexpr uint32_t MAX_EXTENTS = 2 * MAX_PLAN_EXPRS + MAX_PLAN_FIELDS;
struct QuickPlan;
// A while of the form whose turns a step takes without its frames, as
// frameless_while takes them: its blocks (the condition's, the body's
// after it, where they lie in the form's block), the condition's lone value
// (a constant one when the body's plan does not assign it) or its form and
// plan, the body's form and plan. Found again at each run that takes the
// plan (while_ready), since the blocks' forms and plans may change between
// runs; nothing in a run changes them.
struct PlanWhile {
    const Cell* blocks;
    uint32_t expr;  // the while's in the form
    const Cell* cond_value;
    bool constant;
    Form *cf, *bf;
    const QuickPlan *cp, *rp;
};
// A held call's step (PC_HELD): the call as quick_call answers it, its
// arguments read from the plan's cells (a value written in the code, a
// word's slot, the inner cell its chain's steps leave) and checked on each
// turn against their entries as held_arguments checks them (a value written
// in the code was checked when the plan was made).
constexpr uint32_t MAX_HELD_ARGS = 3;
struct PlanCall {
    const prepared::Expr* e;
    const prepared::Arg* args;
    uint32_t count;
    Fast fast;
    bool word[MAX_HELD_ARGS];     // a word's slot: it must still push its value
    bool checked[MAX_HELD_ARGS];  // tested against its entry on each turn
    const Cell* operands[MAX_HELD_ARGS];
};
// A paren of one call answered in place as a chain's operand
// (PC_PAREN_CALL), as call_paren_value answers it while its cells are those
// its leaf holds: the paren's extent and cells and its callable's slot are
// steady, its arguments values written in it or words' slots.
struct PlanParenCall {
    const prepared::InlineCall* ic;
    Fast fast;
    bool word[2];
    const Cell* operands[2];
#ifdef ZEL_CHECK_PREPARED
    const Cell* paren;
#endif
};
struct QuickPlan {
    uint32_t count;  // of steps; 0: no plan
    // The form and its block's buffer, for the calls' steps (the buffer
    // stays put while node::epoch is the plan's).
    Form* form;
    SeriesBuffer* b;
    bool calls;  // some step is a call
    uint32_t cells;  // inner cells in use
    PlanStep steps[MAX_PLAN_STEPS];
    Cell inner[MAX_PLAN_CELLS];
    Cell* last_target;  // the last step's assignment, copied to the turn's slot
    // What keeps the plan good for a later run (see kept_plan): the forms'
    // generation and node::epoch it was made in, the words it reads and
    // assigns, the parens' forms.
    uint32_t generation;
    uint64_t epoch;
    uint32_t word_count, paren_count, field_count;
    bool local;  // some word is a function's local
    bool never;  // the form's expressions are of kinds no plan takes
    PlanWord words[MAX_PLAN_WORDS];
    PlanField fields[MAX_PLAN_FIELDS];
    Form* parens[MAX_PLAN_CELLS];
    // Checked at each later run: the steady slots, the slots of the words
    // after expressions (none may hold an op!), the lone exits' blocks.
    uint32_t steady_count, unop_count, exit_count;
    SteadySlot steady[MAX_STEADY];
    const Cell* unop[MAX_PLAN_EXPRS];
    ExitBlock exit_blocks[MAX_EXTENTS];
    uint32_t while_count;
    bool making;  // make_plan runs on it (a block nested in itself finds no plan)
    PlanWhile whiles[MAX_PLAN_EXPRS];
    uint32_t held_count, paren_call_count;
    PlanCall held[MAX_PLAN_EXPRS];
    PlanParenCall paren_calls[MAX_PLAN_CELLS];
};

// A slot the plan needs steady, recorded once; false for a function's
// local (its slot moves with the frame) or a word with no slot.
bool plan_steady(QuickPlan& p, const Cell* slot, const prepared::SlotCache& c) {
    if (!slot || c.local) return false;
    for (uint32_t k = 0; k < p.steady_count; k++)
        if (p.steady[k].slot == slot) return true;
    if (p.steady_count == MAX_STEADY) return false;
    p.steady[p.steady_count++] = SteadySlot{slot, *slot};
    return true;
}

struct QuickBlock {
    Form* f;  // null: value is the block's lone value
    SeriesBuffer* b;
    const Cell* value;
};

// The type an integer case answers.
uint32_t int_op_type(prepared::IntOp op) { return op >= prepared::INT_EQUAL ? T_LOGIC : T_INTEGER; }

bool plan_chain(QuickPlan& p, uint8_t expr, Form* f, const prepared::Chain& ch, Cell* out);

// A word's slot a plan uses, recorded: null when there is none.
[[gnu::always_inline]] inline Cell* plan_word(QuickPlan& p, const Cell* word, Cell* slot, const prepared::SlotCache& c) {
    if (slot) p.words[p.word_count++] = PlanWord{word, slot, c.local};
    p.local |= c.local;
    return slot;
}

// Whether a word is bound to a function's context (its slot moves with the
// frame).
inline bool word_is_local(const Cell* word) {
    Node ctx = cell::word_context(word);
    return ctx && ctx != context::global_values.context && context::is_on_stack(context::cell_of(ctx));
}

// A paren of one call as an operand (see PlanParenCall): the step that
// answers it into an inner cell, or null when it does not fit.
const Cell* plan_paren_call(QuickPlan& p, uint8_t expr, const prepared::Leaf& l) {
    const prepared::InlineCall* ic = l.inline_call;
    SeriesBuffer* pb = code_buffer(&l.cell);
    uint32_t at = uint32_t(cell::series_index(&l.cell));
    if (!ic || pb->head != ic->head || pb->tail != ic->tail || !same_inline_call(*ic, series::cells(pb) + at) ||
        p.cells == MAX_PLAN_CELLS || p.count == MAX_PLAN_STEPS || p.paren_call_count == MAX_PLAN_CELLS ||
        p.exit_count == MAX_EXTENTS)
        return nullptr;
    const Cell* action = cached_slot(&ic->word, ic->word_cache);
    if (!action || !same_bits(action, &ic->callable) || !plan_steady(p, action, ic->word_cache)) return nullptr;
    prepared::SlotCache none{nullptr, 0, false, false};
    for (uint32_t k = 0; k <= ic->arity; k++)
        if (!plan_steady(p, series::cells(pb) + at + k, none)) return nullptr;
    PlanParenCall& pc = p.paren_calls[p.paren_call_count];
    pc.ic = ic;
    pc.fast = fast_action(cell::callable_index(action));
#ifdef ZEL_CHECK_PREPARED
    pc.paren = &l.cell;
#endif
    for (uint32_t k = 0; k < ic->arity; k++) {
        const Cell* a = ic->args + k;
        pc.word[k] = cell::type(a) == T_WORD;
        if (pc.word[k]) a = plan_word(p, a, cached_slot(a, ic->arg_caches[k]), ic->arg_caches[k]);
        else if (!entry_takes(ic->entries + k, cell::type(a))) return nullptr;
        if (!a) return nullptr;
        pc.operands[k] = a;
    }
    p.exit_blocks[p.exit_count++] = ExitBlock{pb, pb->head, pb->tail};
    Cell* out = &p.inner[p.cells++];
    p.steps[p.count++] = PlanStep{PC_PAREN_CALL, PLAN_INNER, expr,    false,   p.paren_call_count++, {0, 0}, nullptr,
                                  nullptr,       nullptr,    out,     nullptr, {nullptr, nullptr}};
    return out;
}

// A field of an object held by a word (o/x) that a plan reads or assigns:
// its slot as field_ref finds it, or null. What field_ref decides from is
// steady for the plan: the path's extent and cells (the element's binding
// names the field's index), the object word's value (the object, its
// context and its change handlers: a field with handlers is not assigned
// here), and so the field's slot, which stays put while node::epoch is the
// same. The object word may be a function's local (its slot then checked as
// the plan's other words are). A field read is tested on each turn as a
// word's value is (an unset field is no integer); *word, when asked for,
// is the field's word in the object's symbol block, which an assignment
// marks (see plan_field_mark).
Cell* plan_field(QuickPlan& p, const Cell* path, bool setting, Cell** word = nullptr) {
    FieldRef fr;
    if (p.field_count == MAX_PLAN_FIELDS || p.exit_count == MAX_EXTENTS || !field_ref(path, setting, &fr))
        return nullptr;
    SeriesBuffer* pb = code_buffer(path);
    const Cell* head = series::cells(pb) + cell::series_index(path);
    prepared::SlotCache steady{nullptr, 0, false, false};
    prepared::SlotCache object{nullptr, 0, false, word_is_local(head)};
    if (!plan_steady(p, head, steady) || !plan_steady(p, fr.element, steady) ||
        !plan_word(p, head, const_cast<Cell*>(fr.object), object) || !plan_steady(p, fr.object, steady))
        return nullptr;
    p.exit_blocks[p.exit_count++] = ExitBlock{pb, pb->head, pb->tail};
    p.fields[p.field_count++] = PlanField{path, fr.slot, setting};
    if (word) *word = field_mark(fr.object, fr.element);
    return fr.slot;
}

// The changed mark of a field a plan's step assigns (target, through its
// word in the symbol block): a PC_MARK step after the assignment, or none
// when the field is marked already, its word then a steady slot (nothing in
// a run clears the mark; a later run whose word lost it makes the plan
// again). False when the plan is full.
bool plan_field_mark(QuickPlan& p, uint8_t expr, Cell* word, Cell* target) {
    prepared::SlotCache steady{nullptr, 0, false, false};
    if (word->header & HDR_ASSIGNED) return plan_steady(p, word, steady);
    if (p.count == MAX_PLAN_STEPS) return false;
    p.steps[p.count++] = PlanStep{PC_MARK, PLAN_SET, expr,   false, 0,     {0, 0},
                                  nullptr, nullptr,  nullptr, word, target, {nullptr, nullptr}};
    return true;
}

// An operand of a plan: an integer written in the code, a word's slot
// (whose value each turn tests for an integer), a field's slot (see
// plan_field), or the inner cell of a paren's chain, whose steps are added
// first; null when it is none.
[[gnu::always_inline]] inline const Cell* plan_operand(QuickPlan& p, uint8_t expr, const prepared::Leaf& l) {
    switch (l.kind) {
    case prepared::L_VALUE: return cell::type(&l.cell) == T_INTEGER ? &l.cell : nullptr;
    case prepared::L_WORD: return plan_word(p, &l.cell, cached_slot(&l.cell, l.cache), l.cache);
    case prepared::L_FIELD: return plan_field(p, &l.cell, false);
    case prepared::L_PAREN: {
        Form* pf = paren_chain_form(&l.cell);
        if (!pf || p.cells == MAX_PLAN_CELLS) return nullptr;
        p.parens[p.paren_count++] = pf;
        Cell* out = &p.inner[p.cells++];
        return plan_chain(p, expr, pf, pf->chains[pf->exprs[0].chain], out) ? out : nullptr;
    }
    case prepared::L_CALL_PAREN: return plan_paren_call(p, expr, l);
    default: return nullptr;
    }
}

// Whether a step's operand is an integer on every turn that reaches the
// step: an integer written in the code or a paren's inner cell (leaf l),
// or the inner cell the step before wrote (l null).
inline bool plan_integer(const QuickPlan& p, const prepared::Leaf* l, const Cell* operand) {
    bool inner = operand >= p.inner && operand < p.inner + MAX_PLAN_CELLS;
    return l ? l->kind == prepared::L_VALUE || (l->kind == prepared::L_PAREN && inner) : inner;
}

// The steps of a chain of the form f that runs no code, its value left in
// out (an inner cell), or at the turn's slot for an expression's own chain
// (out null); false when the chain does not fit a plan. A value an inner
// cell takes must be an integer: later steps take it as one.
bool plan_chain(QuickPlan& p, uint8_t expr, Form* f, const prepared::Chain& ch, Cell* out) {
    if (ch.runs || ch.op_count == 0) return false;
    const Cell* left = plan_operand(p, expr, ch.first);
    Cell* acc = out;
    if (!acc && ch.op_count > 1) {
        if (p.cells == MAX_PLAN_CELLS) return false;
        acc = &p.inner[p.cells++];
    }
    for (uint32_t j = 0; j < ch.op_count; j++) {
        prepared::OpStep& s = f->ops[ch.ops + j];
        const Cell* op = left ? same_op(s) : nullptr;
        if (!op || !plan_steady(p, op, s.cache)) return false;
        fast_of(s, op);  // learnt on its first run
        const Cell* right = plan_operand(p, expr, s.right);
        bool last = j + 1 == ch.op_count;
        if (!right || !s.int_op || p.count == MAX_PLAN_STEPS || ((!last || out) && int_op_type(s.int_op) != T_INTEGER))
            return false;
        PlanStep& step = p.steps[p.count++];
        step = PlanStep{plan_code(s.int_op), PLAN_INNER, expr, false, 0, {0, 0}, &s, left, right, last ? out : acc, nullptr,
                        {nullptr, nullptr}};
        if (step.code <= PC_REMAINDER && plan_integer(p, j ? nullptr : &ch.first, left) &&
            plan_integer(p, &s.right, right))
            step.code = PlanCode(PC_ADD_TYPED + step.code);
        left = step.out;
    }
    return true;
}

// no_op_next for a plan: the slot of the word after the expression
// recorded, to be tested again at each later run; false (no plan) for a
// word with no slot or a function's local.
bool plan_no_op_next(QuickPlan& p, const prepared::Expr& e, SeriesBuffer* b) {
    if (!e.word_next) return true;
    const Cell* next = cached_slot(series::cells(b) + e.next, e.next_cache);
    if (!next || e.next_cache.local || cell::type(next) == T_OP || p.unop_count == MAX_PLAN_EXPRS) return false;
    p.unop[p.unop_count++] = next;
    return true;
}

// The exit a branch block of a plan takes when chosen: NAT_break or
// NAT_continue when it is that lone word (as lone_exit finds it), its
// block's extent, its word cell and the word's slot then checked at each
// later run; else 0.
uint32_t plan_exit(QuickPlan& p, const Cell* block) {
    SeriesBuffer* cb = code_buffer(block);
    uint32_t at = uint32_t(cell::series_index(block));
    const Cell* word = series::cells(cb) + at;
    if (at + 1 != cell_count(cb) || cell::type(word) != T_WORD || p.exit_count == MAX_EXTENTS) return 0;
    bool local = word_is_local(word);
    prepared::SlotCache none{nullptr, 0, false, local};
    const Cell* value = context::bound_slot(word);
    if (!value || cell::type(value) != T_NATIVE || local) return 0;
    uint32_t exit = cell::callable_index(value);
    if ((exit != NAT_break && exit != NAT_continue) || list_memo_of(value).plain_args != 0) return 0;
    uint32_t steady = p.steady_count;
    if (!plan_steady(p, word, none) || !plan_steady(p, value, none)) {
        p.steady_count = steady;
        return 0;
    }
    p.exit_blocks[p.exit_count++] = ExitBlock{cb, cb->head, cb->tail};
    return exit;
}

// A call answered without its frame whose arguments fit a plan (see
// PlanCall): its arguments' steps and its own, or false with the plan as
// it was (its call then a PC_CALL step).
bool plan_held(Form* f, const prepared::Expr& e, SeriesBuffer* b, QuickPlan& p, uint8_t expr, const Cell* callable) {
    const prepared::CallNode& c = f->calls[e.call];
    if (c.arg_count == 0 || c.arg_count > MAX_HELD_ARGS || p.held_count == MAX_PLAN_EXPRS ||
        cell::type(callable) != T_ACTION)
        return false;
    QuickPlan before_steps = p;  // restored when an argument does not fit
    auto refuse = [&] {
        p = before_steps;
        return false;
    };
    PlanCall& pc = p.held[p.held_count];
    pc.e = &e;
    pc.args = f->args.data() + c.args;
    pc.count = c.arg_count;
    pc.fast = fast_action(cell::callable_index(callable));
    for (uint32_t j = 0; j < c.arg_count; j++) {
        const prepared::Arg& a = pc.args[j];
        const prepared::Chain& ch = f->chains[a.chain];
        const Cell* operand = nullptr;
        pc.word[j] = a.kind == prepared::A_WORD;
        pc.checked[j] = a.kind != prepared::A_VALUE;
        if (a.kind == prepared::A_VALUE) {
            operand = entry_takes(&a.entry, cell::type(&a.cell)) ? &a.cell : nullptr;
        } else if (a.kind == prepared::A_WORD) {
            operand = plan_word(p, &ch.first.cell, cached_slot(&ch.first.cell, ch.first.cache), ch.first.cache);
        } else if (a.kind == prepared::A_CHAIN && p.cells < MAX_PLAN_CELLS) {
            Cell* out = &p.inner[p.cells++];
            operand = plan_chain(p, expr, f, ch, out) ? out : nullptr;
        }
        if (!operand) return refuse();
        pc.operands[j] = operand;
    }
    // An operator after the last argument would take it: the word there
    // is checked at each later run (no turn assigns an op!).
    const prepared::Arg& last = pc.args[c.arg_count - 1];
    if (last.word_after && last.end < cell_count(b)) {
        const Cell* word = series::cells(b) + last.end;
        const Cell* slot = cell::type(word) == T_WORD ? context::bound_slot(word) : nullptr;
        if (slot && (word_is_local(word) || cell::type(slot) == T_OP || p.unop_count == MAX_PLAN_EXPRS)) return refuse();
        if (slot) p.unop[p.unop_count++] = slot;
    }
    if (p.count == MAX_PLAN_STEPS) return refuse();
    p.steps[p.count++] = PlanStep{PC_HELD, PLAN_VALUE, expr,    false,   p.held_count++, {0, 0}, nullptr,
                                  nullptr, nullptr,    nullptr, nullptr, {nullptr, nullptr}};
    p.calls = true;
    return true;
}

// The steps of a form's expression (its chain's last one as the kind says).
bool while_ready(const Cell* blocks, PlanWhile* w);

// A while's step (see PlanWhile): with prepared_loop's checks, those that no
// run changes made here and checked again at each later run.
bool plan_while_step(const prepared::Expr& e, SeriesBuffer* b, QuickPlan& p, uint8_t expr) {
    const Cell* native = same_callable(e);
    if (!native || cell::callable_index(native) != NAT_while || e.fit != prepared::FIT_YES ||
        e.frameless_refused == prepared::generation + 1 || p.while_count == MAX_PLAN_EXPRS ||
        p.count == MAX_PLAN_STEPS || !plan_steady(p, native, e.cache) || !plan_no_op_next(p, e, b))
        return false;
    PlanWhile& w = p.whiles[p.while_count];
    w.blocks = series::cells(b) + (e.next - 2);
    w.expr = expr;
    if (!(code_buffer(w.blocks + 1)->flags & SER_PREPARED) || !while_ready(w.blocks, &w)) return false;
    p.steps[p.count++] = PlanStep{PC_WHILE, PLAN_VALUE, expr, false,   p.while_count++, {0, 0}, nullptr,
                                  nullptr,  nullptr,    nullptr, nullptr,         {nullptr, nullptr}};
    return true;
}

// An assignment's slot: the word's, or the field's (its word in the
// symbol block into *mark, see plan_field); null when it has none.
Cell* plan_target(QuickPlan& p, const prepared::Expr& e, Cell** mark) {
    if (e.kind == prepared::E_SET) return plan_word(p, &e.word, cached_slot<true>(&e.word, e.cache), e.cache);
    return plan_field(p, &e.word, true, mark);
}

[[gnu::always_inline]] inline bool plan_expression(Form* f, const prepared::Expr& e, SeriesBuffer* b, QuickPlan& p,
                                                   uint8_t expr) {
    if (e.kind == prepared::E_LOOP) return plan_while_step(e, b, p, expr);
    if (e.kind == prepared::E_CALL) {
        const Cell* callable = same_callable(e);
        if (!e.frameless || !callable || p.count == MAX_PLAN_STEPS || !plan_steady(p, callable, e.cache)) return false;
        if (plan_held(f, e, b, p, expr, callable)) return true;
        PlanStep& step = p.steps[p.count++];
        step = PlanStep{PC_CALL, PLAN_VALUE, expr, false, 0, {0, 0}, nullptr, nullptr, nullptr, nullptr, nullptr,
                        {nullptr, nullptr}};
        step.call = &e;
        p.calls = true;
        return true;
    }
    const prepared::Chain& ch = f->chains[e.chain];
    Cell* mark = nullptr;
    if ((e.kind == prepared::E_SET || e.kind == prepared::E_SET_FIELD) && !ch.runs && ch.op_count == 0) {
        // An integer written in the code, or a word's or field's value, assigned.
        bool store = ch.first.kind == prepared::L_VALUE && cell::type(&ch.first.cell) == T_INTEGER;
        if ((!store && ch.first.kind != prepared::L_WORD && ch.first.kind != prepared::L_FIELD) ||
            p.count == MAX_PLAN_STEPS || !plan_no_op_next(p, e, b))
            return false;
        const Cell* value = store ? &ch.first.cell : plan_operand(p, expr, ch.first);
        Cell* target = value ? plan_target(p, e, &mark) : nullptr;
        if (!target) return false;
        p.steps[p.count++] = PlanStep{store ? PC_STORE : PC_COPY, PLAN_SET, expr, false,  0,      {0, 0},
                                      nullptr,                    value,    nullptr, target, target, {nullptr, nullptr}};
        return !mark || plan_field_mark(p, expr, mark, target);
    }
    if (!plan_chain(p, expr, f, ch, nullptr) || !plan_no_op_next(p, e, b)) return false;
    PlanStep& step = p.steps[p.count - 1];
    switch (e.kind) {
    case prepared::E_CHAIN: step.kind = PLAN_VALUE; return true;
    case prepared::E_SET:
    case prepared::E_SET_FIELD:
        step.kind = PLAN_SET;
        step.out = step.target = plan_target(p, e, &mark);
        if (!step.target) return false;
        if (step.out == step.left && step.op->right.kind == prepared::L_VALUE &&
            (step.code == PC_ADD || step.code == PC_SUBTRACT))
            step.code = step.code == PC_ADD ? PC_ADD_TO : PC_SUBTRACT_FROM;
        return !mark || plan_field_mark(p, expr, mark, step.target);
    case prepared::E_BRANCH: {
        // The condition's value at the turn's slot, the branch a step of its own.
        step.kind = PLAN_VALUE;
        const Cell* native = same_callable(e);
        if (!native || p.count == MAX_PLAN_STEPS || !plan_steady(p, native, e.cache)) return false;
        uint32_t index = cell::callable_index(native), blocks = index == NAT_either ? 2 : 1;
        if (e.fit == prepared::FIT_UNKNOWN) learn_fit(e, native, blocks);
        if (e.fit != prepared::FIT_YES || !entry_takes(&e.condition_entry, int_op_type(step.op->int_op))) return false;
        const Cell* first = series::cells(b) + (e.next - blocks);
        if (index != NAT_either && step.code >= PC_EQUAL && step.code <= PC_GREATER_OR_EQUAL) {
            // The comparison decides the branch in its own step.
            step.code = PlanCode(PC_BRANCH_EQUAL + (step.code - PC_EQUAL));
            step.kind = PLAN_BRANCH;
            step.chooses = index == NAT_if;
            step.native_index = index;
            step.exits[0] = plan_exit(p, first);
            step.exits[1] = 0;
            step.branch[0] = first;
            step.branch[1] = nullptr;
            return true;
        }
        PlanStep& branch = p.steps[p.count++];
        branch = PlanStep{index == NAT_if ? PC_IF : index == NAT_unless ? PC_UNLESS : PC_EITHER,
                          PLAN_BRANCH,
                          expr,
                          false,
                          index,
                          {plan_exit(p, first), blocks == 2 ? plan_exit(p, first + 1) : 0},
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr,
                          nullptr,
                          {first, blocks == 2 ? first + 1 : nullptr}};
        return true;
    }
    default: return false;
    }
}

// Whether one of the plan's steps assigns the slot.
bool plan_assigns(const QuickPlan& p, const Cell* slot) {
    for (uint32_t k = 0; k < p.count; k++)
        if (p.steps[k].kind == PLAN_SET && p.steps[k].target == slot) return true;
    return false;
}

// A value which every checked word holds: an op!, a callable, the object
// of a field's path (see QuickPlan). A slot that holds none when a run's
// plans are made is no checked word's, whatever the run assigns it (a
// copied object too: PC_COPY takes no op! or callable).
inline bool guarded_value(const Cell* value) {
    uint32_t t = cell::type(value);
    return t == T_OP || t == T_OBJECT || word_class(value) == WORD_CALL;
}
inline bool assigns_safely(const QuickPlan& p) {
    for (uint32_t k = 0; k < p.count; k++)
        if (p.steps[k].kind == PLAN_SET && guarded_value(p.steps[k].target)) return false;
    return true;
}
// The same for what a block's quick turns assign without a plan: a word's
// slot (an object's field, whose assignment the general path takes, ends
// the run), or any field (the object may be another on the next turn).
bool assigns_safely(const QuickBlock& q, const QuickPlan* p) {
    if (p) return assigns_safely(*p);
    if (!q.f) return true;
    for (const prepared::Expr& e : q.f->exprs) {
        if (e.kind == prepared::E_SET_FIELD) return false;
        if (e.kind != prepared::E_SET) continue;
        const Cell* target = cached_slot<true>(&e.word, e.cache);
        if (target && guarded_value(target)) return false;
    }
    return true;
}

// The plan of a ready block's form, or none (count 0).
[[gnu::noinline]] void make_plan(Form* f, SeriesBuffer* b, QuickPlan* plan) {
    QuickPlan& p = *plan;
    p.count = p.cells = p.word_count = p.paren_count = p.field_count = 0;
    p.steady_count = p.unop_count = p.exit_count = p.while_count = 0;
    p.local = p.calls = false;
    p.held_count = p.paren_call_count = 0;
    p.form = f;
    p.b = b;
    p.generation = prepared::generation;
    p.epoch = node::epoch;
    p.never = f->count > MAX_PLAN_EXPRS || std::any_of(f->exprs.begin(), f->exprs.end(), [](const prepared::Expr& e) {
                  return !prepared::is_chain(e) && e.kind != prepared::E_BRANCH &&
                         e.kind != prepared::E_LOOP && (e.kind != prepared::E_CALL || !e.frameless);
              });
    if (p.never) return;
    p.making = true;
    for (uint32_t k = 0; k < f->count; k++) {
        const prepared::Expr& e = f->exprs[k];
        if (!plan_expression(f, e, b, p, uint8_t(k)) ||
            (k && e.kind == prepared::E_CHAIN && f->chains[e.chain].first.kind == prepared::L_WORD)) {
            p.count = 0;
            p.making = false;
            return;
        }
    }
    p.making = false;
    if (!assigns_safely(p)) p.count = 0;
    // The turn's value (a condition's, a counted loop's last) is at its slot.
    PlanStep& last = p.steps[p.count ? p.count - 1 : 0];
    p.last_target = p.count && last.kind == PLAN_SET ? last.target : nullptr;
}

// Whether a plan made for an earlier run serves this one: what make_plan
// checked still holds. The forms it names live while the generation is the
// same, the parens' forms must still hold; the words' slots of the global
// context and of objects, and the branch blocks' cells, stay put while
// node::epoch is the same, function locals only while their frame is the
// same; the steady slots are compared with the cells they held, the words
// after expressions, the extents of the blocks whose cells it reads and
// what the plan assigns are read again. The fit and the operators' integer cases are learnt for the
// form's life.
bool plan_holds(const QuickPlan& p) {
    if (p.generation != prepared::generation || p.epoch != node::epoch) return false;
    for (uint32_t k = 0; k < p.paren_count; k++)
        if (!prepared::holds(p.parens[k], node::buffer(p.parens[k]->node))) return false;
#ifdef ZEL_CHECK_PREPARED
    for (uint32_t k = 0; k < p.word_count; k++) {
        const PlanWord& w = p.words[k];
        if (!w.local && w.slot != context::bound_slot(w.word)) {
            std::fprintf(stderr, "zel: a kept plan's word slot is stale\n");
            std::abort();
        }
    }
#endif
    for (uint32_t k = 0; p.local && k < p.word_count; k++)
        if (p.words[k].local && context::stack_slot(p.words[k].word) != p.words[k].slot) return false;
    for (uint32_t k = 0; k < p.steady_count; k++)
        if (!same_bits(p.steady[k].slot, &p.steady[k].value)) return false;
    for (uint32_t k = 0; k < p.unop_count; k++)
        if (cell::type(p.unop[k]) == T_OP) return false;
    for (uint32_t k = 0; k < p.exit_count; k++) {
        const ExitBlock& x = p.exit_blocks[k];
        if (x.b->head != x.head || x.b->tail != x.tail) return false;
    }
#ifdef ZEL_CHECK_PREPARED
    for (uint32_t k = 0; k < p.field_count; k++) {
        FieldRef fr;
        const PlanField& pf = p.fields[k];
        bool found = field_ref(pf.path, pf.setting, &fr);
        if ((found || pf.setting) && (!found || fr.slot != pf.slot)) {
            std::fprintf(stderr, "zel: a kept plan's field slot is stale\n");
            std::abort();
        }
    }
#endif
    return assigns_safely(p);
}

// A kept plan's whiles found again for this run (see PlanWhile).
bool whiles_ready(QuickPlan& p, const Form* f) {
    for (uint32_t k = 0; k < p.while_count; k++) {
        PlanWhile& w = p.whiles[k];
        if (f->exprs[w.expr].frameless_refused == prepared::generation + 1 || !while_ready(w.blocks, &w)) return false;
    }
    return true;
}

// The plan of a ready block's form for this run, or null: the one kept with
// the form while it holds, else made again (kept as well).
[[gnu::noinline]] const QuickPlan* kept_plan(Form* f, SeriesBuffer* b) {
    QuickPlan* p = f->plan.get();
    if (p && (p->never || p->making)) return nullptr;
    if (p && p->count && plan_holds(*p) && whiles_ready(*p, f)) return p;
    if (!p) {
        p = new QuickPlan;
        p->making = false;
        f->plan.reset(p);
        f->plan_bytes = sizeof(QuickPlan);
        prepared::account(f);
    }
    make_plan(f, b, p);
    return p->count ? p : nullptr;
}

}  // namespace interp

void prepared::Form::PlanFree::operator()(interp::QuickPlan* p) const { delete p; }

namespace interp {

// A plan is looked for only when wanted: the turns it serves must outnumber one.
[[gnu::always_inline]] inline bool quick_ready(LoopBlock& turn, QuickBlock* q, const QuickPlan** plan,
                                               bool plan_wanted = true) {
    Form* f = turn.form;
    q->f = f;
    q->b = nullptr;
    q->value = nullptr;
    *plan = nullptr;
    if (!f) {
        q->value = lone_value(turn.block, code_buffer(turn.block));
        return q->value != nullptr;
    }
    if (turn.generation != prepared::generation || !f->quick) {
        turn.quick = false;
        return false;
    }
    SeriesBuffer* b = node::buffer(f->node);
    if (!prepared::holds(f, b)) return false;
    prepared::check_unchanged(f, b);
    q->b = b;
    if (plan_wanted) *plan = kept_plan(f, b);
    return true;
}

// A plan's turn at slot: the count of steps done, all of them when the
// turn ran wholly; a branch that must run its block stops at its step with
// its condition at slot (*taken set); any other step that misses has
// written nothing but the slot and the inner cells, which the form's turn
// writes again.
// A branch step whose condition chose a block (or either's): that block's
// answer at slot (branch_answer), false when the block must run.
[[gnu::noinline]] bool plan_branch(const PlanStep& s, Cell* slot) { return branch_answer(s.native_index, slot, s.branch); }

// The exit of a branch step that must run its block (its condition at
// slot): the plan's lone exit of the chosen block, or 0. Sanitizer builds
// find it again as lone_exit does and abort on a difference.
[[gnu::always_inline]] inline uint32_t plan_step_exit(const PlanStep& s, const Cell* slot) {
    uint32_t exit = s.exits[s.native_index == NAT_either && !logic::is_truthy(slot) ? 1 : 0];
#ifdef ZEL_CHECK_PREPARED
    if (exit != lone_exit(s.native_index, slot, s.branch)) {
        std::fprintf(stderr, "zel: a plan's lone exit is stale\n");
        std::abort();
    }
#endif
    return exit;
}

[[gnu::always_inline]] inline bool int_operands(const PlanStep* s) {
    return cell::type(s->left) == T_INTEGER && cell::type(s->right) == T_INTEGER;
}

bool plan_while(const PlanWhile& w, Cell* slot, WhileResume* stop);

// A PC_PAREN_CALL step's answer into out, or false when it has none.
[[gnu::noinline]] bool paren_call_step(const PlanParenCall& pc, Cell* out) {
    const prepared::InlineCall* ic = pc.ic;
#ifdef ZEL_CHECK_PREPARED
    SeriesBuffer* pb = code_buffer(pc.paren);
    if (pb->head != ic->head || pb->tail != ic->tail ||
        !same_inline_call(*ic, series::cells(pb) + cell::series_index(pc.paren))) {
        std::fprintf(stderr, "zel: a plan's paren call is stale\n");
        std::abort();
    }
#endif
    const Cell* args[2];
    for (uint32_t k = 0; k < ic->arity; k++) {
        const Cell* a = pc.operands[k];
        if (pc.word[k] && (word_class(a) != WORD_PUSH || !entry_takes(ic->entries + k, cell::type(a)))) return false;
        args[k] = a;
    }
    return fast_answer(pc.fast, args[0], args[ic->arity - 1], out);
}
// A PC_HELD step's answer at slot as quick_call gives it (a frame needed
// counts its miss there), or false.
[[gnu::noinline]] bool held_step(const QuickPlan& p, const PlanCall& pc, Cell* slot) {
    Cell* args = slot + 1;
    if (args + pc.count + 1 >= stack::reg.limit || stack::reg.call_top >= stack::reg.call_limit) return false;
    for (uint32_t j = 0; j < pc.count; j++) {
        const Cell* v = pc.operands[j];
        if (pc.checked[j] && ((pc.word[j] && word_class(v) != WORD_PUSH) || !entry_takes(&pc.args[j].entry, cell::type(v))))
            return false;
        args[j] = *v;
    }
    if (!answer_without_frame(pc.fast, args, pc.count, slot)) {
        if (++pc.e->frame_misses == MAX_FRAME_MISSES) p.form->quick = false;
        return false;
    }
    stack::reg.top = slot + 1;
    return true;
}

// A plan's turn at slot (see above); a while's step that stops short of its
// loop's end stops the turn there with *stop telling where its turns stopped.
// Value: the turn's value is wanted at slot (a while's body gives none).
template <bool Value = true>
[[gnu::always_inline]] inline uint32_t plan_turn(const QuickPlan& p, Cell* slot, bool* taken, WhileResume* stop) {
    const PlanStep* first = p.steps;
    const PlanStep* end = first + p.count;
    for (const PlanStep* s = first; s < end; s++) {
        Cell* out = s->out ? s->out : slot;  // no operand's
        // Every code has its case (a missing one fails the build), so the
        // default is unreachable and the jump table needs no range test.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch-enum"
        switch (s->code) {
#define PLAN_INT_CASE(code, op)                                                                       \
    case code:                                                                                        \
        if (!int_operands(s) || !int_inline(prepared::op, out, s->left, s->right)) return uint32_t(s - first); \
        continue;
            PLAN_INT_CASE(PC_ADD, INT_ADD)
            PLAN_INT_CASE(PC_SUBTRACT, INT_SUBTRACT)
            PLAN_INT_CASE(PC_MULTIPLY, INT_MULTIPLY)
            PLAN_INT_CASE(PC_REMAINDER, INT_REMAINDER)
// Their left operand is written whole by the step before or not at all
// (store_with_w2).
#define PLAN_TYPED_CASE(code, op)                                                                        \
    case code: {                                                                                         \
        int32_t r;                                                                                       \
        if (!int_arith(prepared::op, cell::get_int(s->left), cell::get_int(s->right), &r))               \
            return uint32_t(s - first);                                                                  \
        actions::store_with_w2(out, s->left, uint32_t(r));                                               \
        continue;                                                                                        \
    }
            PLAN_TYPED_CASE(PC_ADD_TYPED, INT_ADD)
            PLAN_TYPED_CASE(PC_SUBTRACT_TYPED, INT_SUBTRACT)
            PLAN_TYPED_CASE(PC_MULTIPLY_TYPED, INT_MULTIPLY)
            PLAN_TYPED_CASE(PC_REMAINDER_TYPED, INT_REMAINDER)
#undef PLAN_TYPED_CASE
            PLAN_INT_CASE(PC_EQUAL, INT_EQUAL)
            PLAN_INT_CASE(PC_NOT_EQUAL, INT_NOT_EQUAL)
            PLAN_INT_CASE(PC_LESSER, INT_LESSER)
            PLAN_INT_CASE(PC_LESSER_OR_EQUAL, INT_LESSER_OR_EQUAL)
            PLAN_INT_CASE(PC_GREATER, INT_GREATER)
            PLAN_INT_CASE(PC_GREATER_OR_EQUAL, INT_GREATER_OR_EQUAL)
#undef PLAN_INT_CASE
        case PC_IF:
            if (logic::is_truthy(slot)) break;
            *slot = statics::none_cell;
            continue;
        case PC_UNLESS:
            if (!logic::is_truthy(slot)) break;
            *slot = statics::none_cell;
            continue;
        case PC_EITHER: break;
        case PC_STORE: *out = *s->left; continue;
        case PC_COPY:
            if (word_class(s->left) != WORD_PUSH) return uint32_t(s - first);
            *out = *s->left;
            continue;
        case PC_MARK: out->header |= HDR_ASSIGNED; continue;  // set_field's mark
        case PC_WHILE:
            if (!plan_while(p.whiles[s->native_index], slot, stop)) return uint32_t(s - first);
            continue;
        case PC_CALL:
            if (!quick_call<true>(p.form, *s->call, p.b, slot)) return uint32_t(s - first);
            continue;
        case PC_PAREN_CALL:
            if (!paren_call_step(p.paren_calls[s->native_index], s->out)) return uint32_t(s - first);
            continue;
        case PC_HELD:
            if (!held_step(p, p.held[s->native_index], slot)) return uint32_t(s - first);
            continue;
        case PC_ADD_TO:
        case PC_SUBTRACT_FROM: {
            int32_t r;
            int32_t a = cell::get_int(out), b = cell::get_int(s->right);
            if (cell::type(out) != T_INTEGER ||
                (s->code == PC_ADD_TO ? __builtin_add_overflow(a, b, &r) : __builtin_sub_overflow(a, b, &r)))
                return uint32_t(s - first);
            out->w2 = uint32_t(r);  // as int_inline's answer in place of its left operand
            continue;
        }
#define PLAN_BRANCH_CASE(code, cmp)                                                    \
    case code: {                                                                       \
        if (!int_operands(s)) return uint32_t(s - first);                              \
        bool answer = cell::get_int(s->left) cmp cell::get_int(s->right);              \
        if (answer != s->chooses) {                                                    \
            *slot = statics::none_cell;                                                \
            continue;                                                                  \
        }                                                                              \
        cell::make_logic(slot, answer);                                                \
        break;                                                                         \
    }
            PLAN_BRANCH_CASE(PC_BRANCH_EQUAL, ==)
            PLAN_BRANCH_CASE(PC_BRANCH_NOT_EQUAL, !=)
            PLAN_BRANCH_CASE(PC_BRANCH_LESSER, <)
            PLAN_BRANCH_CASE(PC_BRANCH_LESSER_OR_EQUAL, <=)
            PLAN_BRANCH_CASE(PC_BRANCH_GREATER, >)
            PLAN_BRANCH_CASE(PC_BRANCH_GREATER_OR_EQUAL, >=)
#undef PLAN_BRANCH_CASE
        default: __builtin_unreachable();
        }
#pragma GCC diagnostic pop
        if (!plan_branch(*s, slot)) {
            *taken = true;
            return uint32_t(s - first);
        }
    }
    if (Value && p.last_target) *slot = *p.last_target;
    return p.count;
}

// A turn of a ready block's form from its k-th expression at slot (the
// loop frame's first free cell), as form_turn runs it.
[[gnu::always_inline]] inline QuickRun quick_from(LoopBlock& turn, const QuickBlock& q, uint32_t k, Cell* slot,
                                                  bool keep_last) {
    Form* f = q.f;
    stack::reg.top = slot;
    uint32_t count = f->count;
    for (const prepared::Expr* e = f->exprs.data() + k; k < count; k++, e++) {
        if (e->kind == prepared::E_LOOP) [[unlikely]] {
            WhileResume stop;
            LoopRun run = quick_loop(*e, q.b, slot, &stop);
            if (run == LOOP_DONE) continue;
            if (run == LOOP_NONE) break;
            if (run == LOOP_REFUSED) f->quick = false;
            resumed_rest(turn.block, f, k, e->pos, slot, keep_last, stop);
            return RUN_REST;
        }
        if (!quick_expression(f, *e, q.b, slot)) break;
    }
    if (k == count) {
        if (keep_last) stack::set_result(slot);
        return RUN_DONE;
    }
    stack::reg.top = slot;
    if (f->exprs[k].kind == prepared::E_BRANCH && branch_exit(f, f->exprs[k], q.b, slot)) return RUN_REST;
    if (k == 0) return RUN_NONE;
    eval_prepared_rest(turn.block, f, k, f->exprs[k].pos, slot, keep_last);
    return RUN_REST;
}

// After a plan's step missed (in its expression k): a branch that must
// run its block (its condition at slot) takes its exit in place or leaves
// the rest of the block to the general way, as quick_from goes on after
// branch_exit; any other step goes on from the form.
[[gnu::noinline]] QuickRun plan_missed(LoopBlock& turn, const QuickBlock& q, const PlanStep& s, Cell* slot,
                                       bool keep_last, bool taken, const WhileResume& stop) {
    uint32_t k = s.expr;
    if (s.code == PC_WHILE) {  // its turns stopped: it goes on from there, in the block's scope, as quick_from goes on
        stack::reg.top = slot;
        resumed_rest(turn.block, q.f, k, q.f->exprs[k].pos, slot, keep_last, stop);
        return RUN_REST;
    }
    // A call that missed has counted its miss (quick_call): the general way
    // takes it, as after quick_from's miss.
    bool call = s.code == PC_CALL || s.code == PC_HELD;
    if (!taken && !call) return quick_from(turn, q, k, slot, keep_last);
    stack::reg.top = slot;
    if (call) {
        if (k == 0) return RUN_NONE;
        eval_prepared_rest(turn.block, q.f, k, q.f->exprs[k].pos, slot, keep_last);
        return RUN_REST;
    }
    if (uint32_t exit = plan_step_exit(s, slot); exit && stack::break_in_place(exit == NAT_continue)) return RUN_REST;
    if (k == 0) return RUN_NONE;
    eval_prepared_rest(turn.block, q.f, k, q.f->exprs[k].pos, slot, keep_last);
    return RUN_REST;
}

// A turn of a ready block at slot: through its plan when it has one
// (Planned: the caller tells, for the turns of a block alone).
template <bool Planned = true>
[[gnu::always_inline]] inline QuickRun quick_block(LoopBlock& turn, const QuickBlock& q, const QuickPlan* plan,
                                                   Cell* slot, bool keep_last) {
    if (!q.f) {
        *slot = *q.value;
        stack::reg.top = slot + 1;
        if (keep_last) stack::set_result(slot);
        return RUN_DONE;
    }
    if (!Planned || !plan) return quick_from(turn, q, 0, slot, keep_last);
    bool taken = false;
    WhileResume stop;
    uint32_t k = plan_turn(*plan, slot, &taken, &stop);
    if (k != plan->count) return plan_missed(turn, q, plan->steps[k], slot, keep_last, taken, stop);
    stack::reg.top = slot + 1;
    if (keep_last) stack::set_result(slot);
    return RUN_DONE;
}

// Whether quick turns may go on: no collection or halt due.
[[gnu::always_inline]] inline bool next_quick_turn() {
    return !safe_point_due();
}

QuickWhile quick_while(LoopBlock& cond, LoopBlock& body) {
    Cell* slot = stack::reg.base + 1;
    QuickBlock c, r;
    const QuickPlan *cp = nullptr, *rp = nullptr;
    // A body known not quick ends the run after its condition's first turn,
    // so the condition's plan would serve that one turn: none is made.
    bool body_quick = !body.form || body.generation != prepared::generation || body.quick;
    if (slot + 2 >= stack::reg.limit || !quick_turns() || !quick_ready(cond, &c, &cp, body_quick)) return WHILE_NONE;
    bool body_ready = false;
    for (;;) {
        QuickRun done = quick_block(cond, c, cp, slot, false);
        if (done != RUN_DONE) return done == RUN_NONE ? WHILE_NONE : WHILE_COND;
        if (!logic::check_condition(slot)) return WHILE_END;
        if (!body_ready) {
            if (!(body_ready = quick_ready(body, &r, &rp))) return WHILE_TRUE;
            // Either block's assignments may overwrite a word the other's
            // plan checked (the condition's ran once since its plan was made).
            if (!assigns_safely(c, cp) || !assigns_safely(r, rp)) cp = rp = nullptr;
        }
        done = quick_block(body, r, rp, slot, false);  // while gives unset whatever its body gives
        if (done != RUN_DONE) return done == RUN_NONE ? WHILE_TRUE : WHILE_BODY;
        if (!next_quick_turn()) return WHILE_NONE;
    }
}

// The turns of a while called from a form (prepared_loop), before its
// frames are opened, at the value top: the condition a lone value or a
// plan, the body a plan, checked as quick_while checks them. Ended: a falsy
// condition, a lone break taken; stopped: *stop tells where the turns
// stopped before anything ran the general way: a turn that needs more, a
// due collection or halt (at the start of a turn: the native takes it), a
// condition that is unset (the native raises).
// The readiness of a while's blocks for turns without its frames (see
// PlanWhile): the body a quick form with a plan, the condition a lone value
// or a quick form with a plan, neither plan holding a while of its own
// (whose stop could not be resumed from the block's expression).
// FRAMELESS_UNREADY when only the condition, neither a lone value nor
// prepared yet, stands in the way.
Frameless while_readiness(const Cell* blocks, PlanWhile* w) {
    LoopBlock body{blocks + 1};
    if (!body.quick) return FRAMELESS_REFUSED;  // the commonest refusal first: a body that calls
    LoopBlock cond{blocks};
    QuickBlock c, r;
    const QuickPlan *cp = nullptr, *rp = nullptr;
    if (!quick_ready(body, &r, &rp) || !rp || rp->while_count) return FRAMELESS_REFUSED;
    // A condition's plan with a call is refused: its answer may be unset.
    if (!quick_ready(cond, &c, &cp) || (c.f && !cp) || (cp && (cp->while_count || cp->calls)))
        return c.f || (code_buffer(cond.block)->flags & SER_PREPARED) ? FRAMELESS_REFUSED : FRAMELESS_UNREADY;
    w->cf = c.f;
    w->bf = r.f;
    w->cp = cp;
    w->rp = rp;
    w->cond_value = c.value;
    // A condition of one value is the same on every turn unless the body's
    // plan assigns it (a word's slot): nothing else runs in these turns.
    w->constant = !cp && !plan_assigns(*rp, c.value);
    return FRAMELESS_ENDED;
}
bool while_ready(const Cell* blocks, PlanWhile* w) { return while_readiness(blocks, w) == FRAMELESS_ENDED; }

// The turns of a ready while (see frameless_while) at slot.
template <bool Constant>
[[gnu::always_inline]] inline Frameless frameless_turns_of(const PlanWhile& w, Cell* slot, WhileResume* stop) {
    const QuickPlan *cp = w.cp, *rp = w.rp;
    const Cell* value = w.cond_value;
    if (Constant && (cell::type(value) == T_UNSET || !logic::is_truthy(value)))
        return cell::type(value) == T_UNSET ? FRAMELESS_STOPPED : FRAMELESS_ENDED;
    for (;;) {
        bool taken = false;
        if (Constant) {
        } else if (!cp) {
            *slot = *value;
            if (cell::type(slot) == T_UNSET) return FRAMELESS_STOPPED;
            if (!logic::is_truthy(slot)) return FRAMELESS_ENDED;
        } else if (uint32_t k = plan_turn(*cp, slot, &taken, stop); k != cp->count) {
            if (uint32_t e = cp->steps[k].expr) *stop = {STOP_COND, e, w.cf};
            return FRAMELESS_STOPPED;
        } else if (!logic::is_truthy(slot)) {
            return FRAMELESS_ENDED;  // a plan's value is never unset (no call in it, PC_COPY's test)
        }
        if (uint32_t k = plan_turn<false>(*rp, slot, &taken, stop); k != rp->count) {
            const PlanStep& s = rp->steps[k];
            uint32_t exit = taken ? plan_step_exit(s, slot) : 0;
            if (exit == NAT_break) return FRAMELESS_ENDED;
            if (exit != NAT_continue) {
                *stop = {s.expr ? STOP_BODY : STOP_TRUE, s.expr, w.bf};
                return FRAMELESS_STOPPED;
            }
        }
        if (!next_quick_turn()) return FRAMELESS_STOPPED;
    }
}
[[gnu::always_inline]] inline Frameless frameless_turns(const PlanWhile& w, Cell* slot, WhileResume* stop) {
    return w.constant ? frameless_turns_of<true>(w, slot, stop) : frameless_turns_of<false>(w, slot, stop);
}

Frameless frameless_while(const Cell* blocks, WhileResume* stop) {
    if (!quick_turns()) return FRAMELESS_STOPPED;
    // A plan given out assigns nothing that holds an op! or a callable
    // (assigns_safely), so the blocks' plans cannot overwrite each other's
    // checked words (see quick_while).
    PlanWhile w;
    if (Frameless ready = while_readiness(blocks, &w); ready != FRAMELESS_ENDED) return ready;
    return frameless_turns(w, stack::reg.top, stop);
}

// A while's step in a plan's turn at slot (see PlanWhile), with
// quick_loop's checks that a run may change: room on the stacks, no
// collection or halt due. False when its turns stopped (*stop tells where)
// or were not taken (*stop at the start).
[[gnu::noinline]] bool plan_while(const PlanWhile& w, Cell* slot, WhileResume* stop) {
    *stop = {STOP_NONE, 0, nullptr};
    if (!loop_room(slot) || stack_guard::stack_point() < stack_guard::floor + LOOP_STACK_MARGIN || !next_quick_turn())
        return false;
    if (frameless_turns(w, slot, stop) != FRAMELESS_ENDED) return false;
    *slot = statics::unset_cell;
    return true;
}

WhileResume take_while_resume() {
    WhileResume r = while_resume;
    while_resume.stop = STOP_NONE;
    return r;
}

// The rest of a stopped turn runs in the loop's frame as quick_while runs
// it (quick_from, plan_missed).
QuickWhile first_while(LoopBlock& cond, LoopBlock& body, const WhileResume& resume) {
    switch (resume.stop) {
    case STOP_NONE: return quick_while(cond, body);
    case STOP_TRUE: return WHILE_TRUE;
    default: {
        bool in_cond = resume.stop == STOP_COND;
        Cell* slot = stack::reg.base + 1;
        stack::reg.top = slot;
        eval_prepared_rest((in_cond ? cond : body).block, resume.form, resume.k, resume.form->exprs[resume.k].pos, slot,
                           false);
        return in_cond ? WHILE_COND : WHILE_BODY;
    }
    }
}

// The turns of quick_count, made apart for a body with a plan and one
// without, whose turns then test nothing more.
template <bool Planned>
[[gnu::always_inline]] inline QuickCount count_turns(LoopBlock& body, const QuickBlock& r, const QuickPlan* rp,
                                                     Cell* target, int64_t* turns, int64_t count) {
    Cell* slot = stack::reg.base + 1;
    for (;;) {
        ++*turns;
        if (target) cell::make_integer(target, int32_t(*turns));
        QuickRun done = quick_block<Planned>(body, r, rp, slot, true);
        if (done != RUN_DONE) return done == RUN_NONE ? COUNT_BEGUN : COUNT_BODY;
        if (*turns >= count) return COUNT_END;
        if (!next_quick_turn()) return COUNT_NONE;
    }
}

// The counter word is set here only when that is a plain copy (no object
// field, whose change handler would run code); its slot stays put while
// the turns run no code. It is assigned as a plan's words are (see
// QuickPlan): the body's plan is dropped when it holds an op! or a callable.
QuickCount quick_count(LoopBlock& body, const Cell* word, int64_t* turns, int64_t count) {
    Cell* slot = stack::reg.base + 1;
    QuickBlock r;
    const QuickPlan* rp;
    if (*turns >= count) return COUNT_END;
    if (slot + 2 >= stack::reg.limit || !quick_turns() || !quick_ready(body, &r, &rp)) return COUNT_NONE;
    Cell* target = word ? context::bound_slot<true>(word) : nullptr;
    if (word && !target) return COUNT_NONE;
    if (target && guarded_value(target)) rp = nullptr;
    return rp ? count_turns<true>(body, r, rp, target, turns, count)
                    : count_turns<false>(body, r, rp, target, turns, count);
}

namespace {

// A block run in a frame of its own name (a parse rule's paren), untraced:
// while its form is quick, its expressions run from the form without the
// frame, as eval_prepared_in runs them (none runs code, raises or passes a
// safe point, so nothing could see the frame); from the first that the
// form cannot take on, the rest runs in the frame. Prepared on its second
// run, as an unnamed block is.
[[gnu::noinline]] void named_block(const Cell* name, const Cell* block, SeriesBuffer* b, bool keep_last) {
    Form* f = b->flags & SER_PREPARED ? prepared::find(cell::series_node(block)) : nullptr;
    uint32_t pos = uint32_t(cell::series_index(block));
    Cell* slot = stack::reg.top;
    if (!f || !prepared::holds(f, b)) {
        if (!(b->flags & SER_PLAIN)) note_run(block, b, nullptr);
        eval_in_frame(name, block, keep_last);
        return;
    }
    if (!f->quick || f->start != pos || slot + 2 >= stack::reg.limit) {
        eval_in_frame(name, block, keep_last);
        return;
    }
    prepared::check_unchanged(f, b);
    uint32_t k = quick_run(f, b, slot, &pos);
    if (k == f->count) {
        if (keep_last) stack::set_result(slot);
        return;
    }
    stack::reg.top = slot;
    Cell rest = *block;
    cell::set_series_index(&rest, pos);
    eval_in_frame(name, &rest, keep_last);
}

template <bool Unnamed, bool Nested, bool Body>
[[gnu::always_inline]] inline void eval_block(const Cell* name, const Cell* block, bool keep_last, LoopBlock* turn) {
    SeriesBuffer* b = code_buffer(block);
    if ((b->flags & SER_PREPARED) && (Unnamed || cell::word_symbol(name) == stack::reg.body_symbol ||
                                      cell::word_symbol(name) == stack::reg.anon_symbol)) {
        if constexpr (Body) {
            if (eval_prepared_in<Nested, Body>(block, b, keep_last, turn)) return;
        } else if (eval_prepared<Nested, Body>(block, b, keep_last, turn)) {
            return;
        }
    }
    uint32_t pos = uint32_t(cell::series_index(block)), tail = cell_count(b);
    // A block done in place passes no safe point, so a halt asked for takes
    // the general path, whose first expression takes it.
    if (pos < tail && (tail - pos) % 2 && !is_halt_requested()) {  // a value and whole operator pairs
        const Cell* first = plain_value(series::cells(b) + pos);
        if (first && eval_in_place(b, pos, first, keep_last)) {
            // With operators after the value, a loop's body is prepared on
            // its second turn, a function's body or a branch's block on its
            // second run: its form's quick path costs less than the
            // in-place one. (Nested blocks run for no loop turn.)
            if (pos + 1 < tail) {
                if constexpr (Nested) {
                    if (!(b->flags & SER_PLAIN)) note_run(block, b, nullptr);
                } else if (turn) {
                    note_turn(turn, block, b);
                }
            }
            return;
        }
    }
    // Past the in-place path (whose nesting is bounded), parens and blocks
    // nest without call frames.
    stack_guard::check("stack-overflow");
    if (pos >= tail || is_tracing()) {
        eval_in_frame(name, block, keep_last);
        return;
    }
    if (!Unnamed && cell::word_symbol(name) != stack::reg.body_symbol && cell::word_symbol(name) != stack::reg.anon_symbol) {
        named_block(name, block, b, keep_last);
        return;
    }
    if (!(b->flags & SER_PLAIN)) note_run(block, b, turn);
    Cell code = *block;
    CodeScope scope(&code);
    Cell* slot = stack::reg.top;
    uint32_t next = pos;
    cell::set_series_index(&code, pos);
    if (!run_one(&code, &next, b)) return;  // most blocks hold one expression
    b = code_buffer(&code);
    if (next < cell_count(b) && !run(&code, next, b, slot)) return;
    if (is_tracing()) emit_at(slot, EV_EXIT, &code, pos, slot);
    if (keep_last) stack::set_result(slot);
}

// A paren whose first cell is a word holding a native or action whose
// arguments are all evaluated (select m k), run as eval_block runs a paren
// without a form, minus the layers that cannot apply to it: the in-place
// attempt (a word holding a callable is no plain value), the general
// expression's dispatch and word_call's tests; the call is made in the
// paren's scope and whatever follows it in the paren runs as run() runs it.
// False with nothing done for any other paren, and when eval_block's path
// must take it: a form to run, a trace, a safe point or halt due (taken
// there by the first expression).
[[gnu::noinline]] bool paren_call(const Cell* paren) {
    SeriesBuffer* b = code_buffer(paren);
    uint32_t at = uint32_t(cell::series_index(paren));
    if ((b->flags & SER_PREPARED) || at >= cell_count(b) || attention_due())
        return false;
    const Cell* c = series::cells(b) + at;
    const Cell* value;
    const ListMemo* memo = plain_native_word(c, &value);
    if (!memo) return false;
    uint32_t args = uint32_t(memo->plain_args);
    Node list = memo->list;
    if (!(b->flags & SER_PLAIN)) note_run(paren, b, nullptr);
    Cell w = *c;
    run_one_call(paren, b, stack::reg.top, false,
                 [&](const Cell* code) { return plain_native_expression(code, at, &w, value, args, list); });
    return true;
}

}  // namespace

// A step over an expression that applies in place leaves its value where
// the frame would have left it.
uint32_t eval_next_at(const Cell* block, uint32_t position, bool keep) {
    SeriesBuffer* b = code_buffer(block);
    Stop stop;
    uint32_t at = expression_in_place(b, position, true, &stop);
    if (at && !stop.op) {
        if (!keep) stack::set_result(stack::top());
        return at;
    }
    Cell so_far{};  // the part of the value computed in place moves into the frame
    if (at) {
        so_far = *stack::top();
        stack::pop(1);
    }
    Cell code = *block;
    CodeScope scope(&code);
    stack::enter_frame(body_word(), stack::KIND_NATIVE | interp_bit());
    cell::set_series_index(&code, position);
    if (is_tracing()) emit_event(EV_EXPR, &code, int32_t(position), nullptr, nullptr);
    uint32_t next;
    if (at) {
        stack::push(&so_far);
        next = infix_from(&code, at, code_buffer(&code), stop);
    } else {
        next = first_expression(&code, position, code_buffer(&code));
    }
    if (exits::pending()) return next;
    if (keep) stack::leave();
    else stack::leave_last();
    return next;
}

uint32_t eval_next(const Cell* block) {
    uint32_t index = uint32_t(cell::series_index(block));
    if (index >= live_tail(block)) {
        stack::set_result(&statics::unset_cell);
        return index;
    }
    return eval_next_at(block, index, false);
}

void eval_raising(const Cell* name, const Cell* block) {
    eval(name, block, false);
    exits::raise_pending();
}

void invoke(const Cell* callable, const Cell* name, const Cell* args, uint32_t count) {
    Call c{};
    c.callable = cell::type(callable) == T_OP ? unwrap(callable) : *callable;
    c.name = name ? *name : *anon();
    c.given = args;
    c.given_count = count;
    call(c);
}

void invoke_positional(const Cell* callable, const Cell* name, const Cell* args, uint32_t count) {
    Call c{};
    c.callable = *callable;
    c.name = name ? *name : *anon();
    c.given = args;
    c.given_count = count;
    c.positional = true;
    call(c);
}

void invoke_raising(const Cell* callable, const Cell* name, const Cell* args, uint32_t count) {
    invoke(callable, name, args, count);
    exits::raise_pending();
}

Cell current_code() { return eval_state.code ? *eval_state.code : statics::unset_cell; }

// ---- reduce and compose -----------------------------------------------------------------
// reduce's expressions and compose's parens run from the blocks' prepared
// forms where those are plain chains or their assignments, as a block's run
// takes them (pure_expression): nothing in such a chain can run code,
// collect or raise, so a step needs no frame, safe point or held code.
// Any other expression is a step of the general evaluator (eval_next_at),
// after which the form must still hold as run_prepared checks it; else the
// rest of the block is read by the general evaluator alone.

namespace {

// The form a block met by reduce or compose runs from, made the second time
// the block is met (the first marks it), as a block's run makes one; null
// when none serves (tracing, nothing to prepare, or the form holds for
// another index).
Form* form_for_run(const Cell* block, SeriesBuffer* b) {
    if (!prepared::enabled || is_tracing() || (b->flags & SER_PLAIN)) return nullptr;
    Form* f = prepared::find(cell::series_node(block));
    if (!f || !prepared::holds(f, b)) {
        if (!(b->flags & SER_RAN)) {
            b->flags |= SER_RAN;
            return nullptr;
        }
        f = prepared::make(block);
    }
    if (!f || f->start != uint32_t(cell::series_index(block))) return nullptr;
    prepared::check_unchanged(f, b);
    return f;
}

}  // namespace

int32_t reduce_estimate(const Cell* block) {
    Form* f = prepared::find(cell::series_node(block));
    if (f && f->decoded && f->start == uint32_t(cell::series_index(block)) && prepared::holds(f, code_buffer(block)))
        return int32_t(f->exprs.size());
    return block::get_length(block);
}

namespace {

// reduce from the k-th expression of the form (or with no form), at pos:
// each expression from the form when it is a plain chain or its
// assignment, else by the general evaluator.
[[gnu::noinline]] bool reduce_steps(const Cell* block, Cell* out, Form* f, uint32_t k, uint32_t pos) {
    const Node n = cell::series_node(block);
    const uint32_t generation = prepared::generation;
    while (pos < cell_count(node::buffer(n))) {
        stack::reset();
        uint32_t next;
        if (f && prepared::is_pure(f->exprs[k]) && pure_expression_at(f, f->exprs[k], node::buffer(n))) {
            block::insert_unmarked(out, stack::last());
            next = f->exprs[k].next;
        } else {
            if (f && prepared::is_pure(f->exprs[k])) {
                prepared::to_general(f, k);
            }
            next = eval_next_at(block, pos, true);
            if (exits::pending()) return false;
            block::insert_unmarked(out, stack::top());
            if (f) f = form_after_step(f, k, next, n, generation);
        }
        pos = next;
        if (f && ++k == f->exprs.size() && (pos >= cell_count(node::buffer(n)) || !prepared::extend(f, pos)))
            f = nullptr;
    }
    return true;
}

}  // namespace

// A form of plain chains only is run in one loop: nothing in it can run
// code or allocate, so the block stays as it is, and the values go straight
// to out's tail when they all fit there.
bool reduce_into(const Cell* block, Cell* out) {
    SeriesBuffer* b = code_buffer(block);
    uint32_t pos = uint32_t(cell::series_index(block));
    if (pos >= cell_count(b)) return true;
    Form* f = form_for_run(block, b);
    uint32_t k = 0;
    if (f && f->pure) {
        Cell* to = block::tail_room(out, f->count);
        for (const prepared::Expr* e = f->exprs.data(); k < f->count; k++, e++) {
            if (e->kind == prepared::E_CHAIN && to) {  // computed where it goes, as pure_at_top would at the top
                if (stack::reg.top + 2 >= stack::reg.limit || !whole_chain_value(f, *e, b, to + k)) break;
                cell::clear_flag(to + k);
                continue;
            }
            stack::reset();
            if (!pure_at_top(f, *e, b)) break;
            if (!to) {
                block::insert_unmarked(out, stack::last());
                continue;
            }
            to[k] = *stack::last();
            cell::clear_flag(to + k);
        }
        if (to) block::take_tail(out, k);
        if (k == f->count) return true;
        pos = f->exprs[k].pos;
    }
    return reduce_steps(block, out, f, k, pos);
}

// A paren of one cell that eval() gives in place (lone_value) gives it
// here, as eval_block's in-place path does, untraced and with no halt
// asked for (which the general path takes); a paren whose form is one plain
// chain (or its assignment) gives its value from the form; a miss has done
// nothing, so the general run starts afresh.
namespace {
[[gnu::noinline]] bool paren_run_into(const Cell* paren, SeriesBuffer* b, Cell* out);
}
bool paren_into(const Cell* paren, Cell* out) {
    SeriesBuffer* b = code_buffer(paren);
    if (const Cell* value = lone_value(paren, b); value && !is_tracing() && !is_halt_requested()) {
        *out = *value;
        return true;
    }
    return paren_run_into(paren, b, out);
}
namespace {
// The rest of paren_into, out of line: the lone value's path saves no
// registers for it.
bool paren_run_into(const Cell* paren, SeriesBuffer* b, Cell* out) {
    Form* f = form_for_run(paren, b);
    if (f && f->pure && f->count == 1 && !is_halt_requested() && pure_at_top(f, f->exprs[0], b)) {
        *out = *stack::last();
        stack::pop(1);
        return true;
    }
    eval(anon(), paren, false);
    if (exits::pending()) return false;
    *out = *stack::top();
    stack::pop(1);
    return true;
}
}  // namespace

}  // namespace interp

const Cell* prepared::argument_entries(const Cell* callable) {
    return series::cells(node::buffer(interp::arg_list(callable)));
}

const Cell* prepared::paren_head(const Cell* paren) { return interp::paren_head(paren); }

bool prepared::frameless_call(const Cell* callable, uint32_t count) {
    if (cell::type(callable) != T_ACTION) return false;
    interp::Fast f = interp::fast_action(cell::callable_index(callable));
    return f.kind == interp::FAST_PUT ? count == 3 : interp::inline_arity(f) != 0 && count == interp::inline_arity(f);
}

uint32_t prepared::paren_inline_arity(const Cell* paren) {
    const Cell* action = interp::inline_call_of(paren);
    return action ? inline_arity_of(action) : 0;
}

uint32_t prepared::inline_arity_of(const Cell* callable) {
    return cell::type(callable) == T_ACTION ? interp::inline_arity(interp::fast_action(cell::callable_index(callable)))
                                            : 0;
}

bool prepared::answers_in_place(const Cell* callable, uint32_t arity) {
    SeriesBuffer* b;
    bool framed;
    return interp::answering_body(callable, arity, &b, &framed) != nullptr;
}

int32_t prepared::plain_arity(const Cell* callable) {
    uint32_t t = cell::type(callable);
    if (t != T_NATIVE && t != T_ACTION && t != T_FUNCTION) return -1;
    const Cell* list = series::cells(node::buffer(cell::callable_extra(callable))) + native::EXTRA_ARGS;
    return cell::type(list) == T_BLOCK ? interp::list_memo_of(callable).plain_args : -1;
}

}  // namespace zel
