// function!: spec checking, local-word collection, building function values
// and the function actions.
#include "core/function.h"

#include "core/block.h"
#include "core/callable_internal.h"
#include "core/compare_common.h"
#include "core/context.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/evaluator.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"

namespace zel {
namespace function {

// The cell the make and reflect actions answer; the dispatch layer copies it
// at once.
static Cell made;

// ---- block access -----------------------------------------------------------------
// By absolute position, fetched again at each use: nothing here evaluates, but
// appending to a block moves its buffer.

static uint32_t length_of(const Cell* b) { return series::length(node::buffer(cell::series_node(b))); }
static const Cell* at(const Cell* b, uint32_t i) { return series::cells(node::buffer(cell::series_node(b))) + i; }
static uint32_t type_at(const Cell* b, uint32_t i) { return i < length_of(b) ? cell::type(at(b, i)) : T_NONE_ID; }

static bool is_symbol(const Cell* word, uint32_t symbol) {
    return symbol::resolve(cell::word_symbol(word)) == symbol::resolve(symbol);
}
static bool is_refinement(const Cell* c, words::Refinement r) {
    return cell::type(c) == T_REFINEMENT && is_symbol(c, cell::word_symbol(words::refinement(r)));
}

// ---- spec checking ----------------------------------------------------------------

[[noreturn]] static void bad_def(const Cell* spec) { error::raise(Err::script_bad_func_def, spec); }

// The attribute block: words only; trace and no-trace switch tracing.
static uint32_t attributes(const Cell* spec, const Cell* block) {
    uint32_t flags = 0;
    for (uint32_t i = uint32_t(cell::series_index(block)); i < length_of(block); i++) {
        const Cell* c = at(block, i);
        if (cell::type(c) != T_WORD) bad_def(spec);
        if (is_symbol(c, words::symbol(words::S_trace))) flags |= HDR_TRACE_ON;
        if (is_symbol(c, words::symbol(words::S_no_trace))) flags |= HDR_TRACE_OFF;
    }
    return flags;
}

static bool is_type_member(uint32_t type) { return type == T_DATATYPE || type == T_TYPESET || type == T_WORD; }

// A type block names datatypes and typesets, directly or through words.
static void check_type_block(const Cell* block) {
    for (uint32_t i = uint32_t(cell::series_index(block)); i < length_of(block); i++) {
        Cell element = *at(block, i);
        uint32_t type = cell::type(&element);
        if (type == T_WORD) type = cell::type(word::get_checked(&element));
        if (!is_type_member(type)) error::raise(Err::script_invalid_type_spec, &element);
    }
}

struct SpecWalk {
    const Cell* spec;
    uint32_t length;
    bool locals_seen;
    bool return_seen;
};

// An argument or local word at i; answers the position after it and its type
// block.
static uint32_t check_argument(SpecWalk& w, uint32_t i) {
    if (w.locals_seen && type_at(w.spec, i) != T_WORD) bad_def(w.spec);
    if (type_at(w.spec, i + 1) == T_STRING && type_at(w.spec, i + 2) == T_BLOCK) bad_def(w.spec);
    if (w.return_seen && !w.locals_seen) bad_def(w.spec);
    if (type_at(w.spec, i + 1) != T_BLOCK) return i + 1;
    Cell types = *at(w.spec, i + 1);
    check_type_block(&types);
    return i + 2;
}

// `return:` and its type block, once, before /local, before refinements.
static uint32_t check_return(SpecWalk& w, uint32_t i) {
    if (!is_symbol(at(w.spec, i), words::symbol(words::S_return_)) || w.return_seen || w.locals_seen) {
        bad_def(w.spec);
    }
    if (type_at(w.spec, i + 1) != T_BLOCK) bad_def(w.spec);
    uint32_t after = type_at(w.spec, i + 2);
    if (i + 2 < w.length && after != T_REFINEMENT && after != T_STRING) bad_def(w.spec);
    w.return_seen = true;
    return i + 2;
}

static bool may_follow_refinement(uint32_t type) {
    switch (type) {
    case T_WORD: case T_GET_WORD: case T_LIT_WORD: case T_REFINEMENT: case T_SET_WORD: case T_STRING:
        return true;
    default: return false;
    }
}

static uint32_t check_refinement(SpecWalk& w, uint32_t i) {
    if (is_refinement(at(w.spec, i), words::R_local)) w.locals_seen = true;
    else if (w.locals_seen || w.return_seen) bad_def(w.spec);
    if (i + 1 < w.length && !may_follow_refinement(type_at(w.spec, i + 1))) bad_def(w.spec);
    return i + 1;
}

static bool is_spec_word(uint32_t type) {
    return type == T_WORD || type == T_LIT_WORD || type == T_GET_WORD || type == T_REFINEMENT;
}

// No word, lit-word, get-word or refinement names a word twice. The walk
// allocates nothing, so the cells stay where they are.
static void check_duplicates(const Cell* spec) {
    const Cell* cells = at(spec, 0);
    uint32_t length = length_of(spec);
    for (uint32_t i = uint32_t(cell::series_index(spec)); i < length; i++) {
        if (!is_spec_word(cell::type(cells + i))) continue;
        uint32_t name = symbol::resolve(cell::word_symbol(cells + i));
        for (uint32_t j = i + 1; j < length; j++) {
            if (is_spec_word(cell::type(cells + j)) && symbol::resolve(cell::word_symbol(cells + j)) == name) {
                error::raise(Err::script_dup_vars, at(spec, j));
            }
        }
    }
}

uint32_t validate_spec(const Cell* spec) {
    SpecWalk w{spec, length_of(spec), false, false};
    uint32_t i = uint32_t(cell::series_index(spec)), flags = 0;
    if (type_at(spec, i) == T_BLOCK) {
        Cell block = *at(spec, i++);
        flags = attributes(spec, &block);
    }
    while (i < w.length) {
        switch (type_at(spec, i)) {
        case T_WORD: case T_LIT_WORD: case T_GET_WORD: i = check_argument(w, i); break;
        case T_SET_WORD: i = check_return(w, i); break;
        case T_REFINEMENT: i = check_refinement(w, i); break;
        case T_STRING: i++; break;
        default: bad_def(spec);
        }
    }
    check_duplicates(spec);
    return flags;
}

// ---- local-word collection --------------------------------------------------------

struct Collector {
    Cell collected;  // the words collected, in the order first met
    Cell ignore;     // the words never to collect: the spec's, then each collected
};

static bool is_ignored(const Collector& k, const Cell* word) {
    for (uint32_t i = 0; i < length_of(&k.ignore); i++) {
        if (type_at(&k.ignore, i) == T_WORD && is_symbol(at(&k.ignore, i), cell::word_symbol(word))) return true;
    }
    return false;
}

static void collect(Collector& k, const Cell* word) {
    Cell w = *word;
    w.header = T_WORD;
    if (is_ignored(k, &w)) return;
    *block::append_slot(&k.collected) = w;
    *block::append_slot(&k.ignore) = w;
}

static bool is_any_word_type(uint32_t type) { return type == T_WORD || type == T_GET_WORD || type == T_LIT_WORD; }

// The word list of foreach and remove-each.
static void collect_list(Collector& k, const Cell* list) {
    for (uint32_t i = uint32_t(cell::series_index(list)); i < length_of(list); i++) {
        if (is_any_word_type(type_at(list, i))) collect(k, at(list, i));
    }
}

// After foreach, remove-each and repeat: the word the loop sets. Answers the
// cells taken.
static uint32_t collect_loop_word(Collector& k, const Cell* body, uint32_t i) {
    const Cell* w = at(body, i);
    bool each = is_symbol(w, words::symbol(words::S_foreach)) || is_symbol(w, words::symbol(words::S_remove_each));
    if (!each && !is_symbol(w, words::symbol(words::S_repeat))) return 0;
    uint32_t next = type_at(body, i + 1);
    if (each && next == T_BLOCK) {
        Cell list = *at(body, i + 1);
        collect_list(k, &list);
        return 1;
    }
    if (next != T_WORD && next != T_SET_WORD) return 0;
    collect(k, at(body, i + 1));
    return 1;
}

// Walks the body and the blocks and parens in it; a block met again inside
// itself is walked once.
static void walk(Collector& k, const Cell* body) {
    Node n = cell::series_node(body);
    if (cycles::find(n)) return;
    cycles::push(n);
    for (uint32_t i = uint32_t(cell::series_index(body)); i < length_of(body); i++) {
        switch (type_at(body, i)) {
        case T_SET_WORD: collect(k, at(body, i)); break;
        case T_BLOCK:
        case T_PAREN: {
            Cell inner = *at(body, i);
            walk(k, &inner);
            break;
        }
        case T_WORD: i += collect_loop_word(k, body, i); break;
        default: break;
        }
    }
    cycles::pop();
}

// The spec's words all become word!; a value that cannot name a word is
// refused when the spec had /extern, else left to match nothing.
static void normalise_ignore(const Cell* ignore, bool had_extern) {
    for (uint32_t i = 0; i < length_of(ignore); i++) {
        Cell* c = block::writable_cell_at(ignore, i);
        switch (cell::type(c)) {
        case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: cell::set_type(c, T_WORD); break;
        case T_WORD: case T_BLOCK: case T_STRING: break;
        default:
            if (had_extern) error::raise(Err::script_bad_func_extern, c);
        }
    }
}

static int32_t find_refinement(const Cell* spec, uint32_t from, words::Refinement r) {
    for (uint32_t i = from; i < length_of(spec); i++) {
        if (is_refinement(at(spec, i), r)) return int32_t(i);
    }
    return -1;
}

// Cuts the spec at /extern; the words after a /local that follows the extern
// words are locals already.
static bool cut_extern(Collector& k, const Cell* spec) {
    int32_t ext = find_refinement(spec, uint32_t(cell::series_index(spec)), words::R_extern_);
    if (ext < 0) return false;
    int32_t local = find_refinement(spec, uint32_t(ext) + 1, words::R_local);
    if (local >= 0) {
        for (uint32_t i = uint32_t(local) + 1; i < length_of(spec); i++) {
            if (type_at(spec, i) == T_WORD) *block::append_slot(&k.collected) = *at(spec, i);
        }
    }
    block::truncate_at(spec, uint32_t(ext));
    return true;
}

static void remove_local_word(const Cell* collected) {
    for (uint32_t i = 0; i < length_of(collected); i++) {
        if (is_symbol(at(collected, i), cell::word_symbol(words::word(words::W_local)))) {
            block::close_gap(collected, i, 1);
            return;
        }
    }
}

Cell collect_words(Cell* spec, const Cell* body) {
    Collector k;
    block::write_cell(&k.collected, 8);
    block::clone(spec, &k.ignore, false, false);
    bool had_extern = cut_extern(k, spec);
    normalise_ignore(&k.ignore, had_extern);
    walk(k, body);
    if (length_of(&k.collected) == 0) return k.collected;
    if (find_refinement(spec, uint32_t(cell::series_index(spec)), words::R_local) < 0) {
        *block::append_slot(spec) = *words::refinement(words::R_local);
    }
    remove_local_word(&k.collected);
    for (uint32_t i = 0; i < length_of(&k.collected); i++) *block::append_slot(spec) = *at(&k.collected, i);
    return k.collected;
}

// ---- locals of a call ---------------------------------------------------------------

int32_t count_refinement_args(Node spec, uint32_t index, bool required) {
    Cell b;
    cell::make_series(&b, T_BLOCK, spec);
    int32_t local = find_refinement(&b, index, words::R_local);
    if (local < 0) return required ? -1 : 0;
    int32_t n = 1;
    for (uint32_t i = uint32_t(local) + 1; i < length_of(&b) && type_at(&b, i) != T_SET_WORD; i++) {
        n += type_at(&b, i) == T_WORD;
    }
    return n;
}

void init_refinement(uint32_t n) {
    stack::push(&statics::false_cell);
    for (uint32_t i = 1; i < n; i++) stack::push(&statics::none_cell);
}

// ---- building ----------------------------------------------------------------------

static void put_integer(Cell* c, int32_t v) {
    if (v) cell::make_integer(c, v);
    else cell::make_unset(c);
}

Node build_value(const Cell* spec, const Cell* body, Node ctx, int32_t entry, int32_t builder, uint32_t flags,
                 uint32_t body_flags) {
    Cell s = *spec;
    if (cell::series_index(&s) > 0) block::clone(spec, &s, false, false);
    Node extra = series::new_cells_unset(EXTRA_CELLS);
    SeriesBuffer* eb = node::buffer(extra);
    eb->tail = eb->head + EXTRA_CELLS * uint32_t(sizeof(Cell));
    bool made_here = ctx == 0;
    if (made_here) ctx = context::make(&s, true, false, context::KIND_FUNCTION);
    Cell* fn = stack::push_slot();
    fn->header = T_FUNCTION | flags;
    cell::set_callable_context(fn, ctx);
    cell::set_callable_spec(fn, cell::series_node(&s));
    cell::set_callable_extra(fn, extra);
    *context::owner_of(ctx) = *fn;
    Cell copy = statics::none_cell;
    if (body && made_here) context::clone_bound(body, &copy, ctx, body_flags);
    else if (body) block::clone(body, &copy, true, true);
    Cell* cells = series::record_cells(node::buffer(extra));
    cells[EXTRA_BODY] = copy;
    put_integer(&cells[EXTRA_ENTRY], entry);
    put_integer(&cells[EXTRA_BUILDER], builder);
    return ctx;
}

// ---- actions -----------------------------------------------------------------------

// make function! [spec body]
const Cell* make(Cell*, Cell* spec, uint32_t) {
    if (cell::type(spec) != T_BLOCK) bad_def(spec);
    uint32_t i = uint32_t(cell::series_index(spec));
    if (type_at(spec, i) != T_BLOCK || type_at(spec, i + 1) != T_BLOCK) bad_def(spec);
    Cell fspec = *at(spec, i), body = *at(spec, i + 1);
    uint32_t flags = validate_spec(&fspec);
    build_value(&fspec, &body, 0, 0, 0, flags);
    // The spec block is the caller's: the argument list is read from it now,
    // while it is the spec that was checked (as reflect does below).
    evaluator::prepare_spec(stack::top());
    made = *stack::top();
    stack::pop(1);
    return &made;
}

// The spec handed out is the function's own block, which the caller may
// change: the argument list that calls follow is read from it first, so
// calls keep to the spec the function was made with.
const Cell* reflect(Cell* value, uint32_t field_symbol) {
    if (callable::is_field(field_symbol, words::S_spec)) {
        evaluator::prepare_spec(value);
        cell::make_series(&made, T_BLOCK, cell::callable_spec(value));
        return &made;
    }
    if (callable::is_field(field_symbol, words::S_body)) return extra(value) + EXTRA_BODY;
    if (!callable::is_field(field_symbol, words::S_words)) error::raise(Err::internal_not_done);
    // The symbol block's word cells are bound to the context already.
    const Cell* cc = context::cell_of(context_of(value));
    cell::make_series(&made, T_BLOCK, series::copy_part(context::symbols_node(cc), 0, context::word_count(cc)));
    return &made;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "?function?", 10, limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    limit = datatype::append_text(buffer, "func ", 5, limit);
    limit = callable::mold_spec(value, buffer, all, flat, part, limit, indent);
    Cell body = extra(value)[EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) return datatype::append_text(buffer, " none", 5, limit);
    return actions::mold_dispatch(&body, buffer, false, all, flat, part, limit, indent);
}

// Only a function and its copies, which share the extra block, are equal.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != cell::type(value1) || !compare_common::is_identity_op(op)) return -2;
    return compare_common::three_way(int32_t(cell::callable_extra(value1)), int32_t(cell::callable_extra(value2)));
}

void init() {
    datatype::register_({.id = T_FUNCTION, .parent = T_CONTEXT, .name = "function!", .make = make,
                         .reflect = reflect, .form = form, .mold = mold, .compare = compare});
}

}  // namespace function
}  // namespace zel
