// The evaluation, binding and function-making natives: do, reduce, compose,
// get, set, unset, value?, bind, in, context?, construct, extend, func,
// function, does, has and apply.
#include <cstddef>
#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/function.h"
#include "core/logic.h"
#include "core/native.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/map.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "interpreter/path_walk.h"
#include "interpreter/trace.h"
#include "io/lexer.h"
#include "kernel/stack_guard.h"
#include "kernel/temp_roots.h"

namespace zel {

namespace {

Cell* arg(uint32_t k) { return stack::reg.base + k; }
const Cell* anon() { return words::word(words::W_tag_anon); }
bool used(const int32_t* r, uint32_t i) { return r[i] >= 0; }

void verify(bool flag, uint32_t index, const int32_t* refinements) {
    if (flag) natives::check_args(index, refinements);
}

uint32_t live_tail(const Cell* s) { return series::length(node::buffer(cell::series_node(s))); }

// The series with its index brought back to the tail when past it.
Cell clamped(const Cell* s) {
    Cell c = *s;
    if (uint32_t(cell::series_index(&c)) > live_tail(&c)) cell::set_series_index(&c, live_tail(&c));
    return c;
}

// The value as a single expression, its value into the result slot.
void eval_single(const Cell* value) {
    Cell code;
    block::write_cell(&code, 1);
    temp_roots::Hold hold(&code);
    block::append_copy(&code, value);
    interp::eval_next_at(&code, 0, false);
}

// ---- do ---------------------------------------------------------------------------------

bool is_script(const Cell* value) { return cell::type(value) == T_FILE || cell::type(value) == T_URL; }

// A script file or URL runs through the library's do-file, which reads it
// and keeps system/script for the run; a trace callback goes with it, for
// the script's own code.
void do_script(const Cell* value, const int32_t* r, const Cell* callback) {
    const Cell* runner = context::get_word_cell(symbol::intern("do-file"), context::global_node);
    if (!runner || cell::type(runner) != T_FUNCTION) error::raise(Err::internal_not_done);
    Cell call[4] = {*runner, *value, callback ? *callback : statics::none_cell,
                    used(r, 1) ? *arg(uint32_t(r[1])) : statics::none_cell};
    temp_roots::Hold hold(call, 4);
    interp::invoke(&call[0], anon(), call + 1, 3);
    if (exits::pending()) return;
    stack::return_value(stack::top());
}

// do/expand: the library's preprocessor rewrites the code in place, with
// none as its job, before it runs. The code cell is rooted by the caller.
void expand_code(const Cell* code) {
    const Cell* pre = context::get_word_cell(symbol::intern("preprocessor"), context::global_node);
    if (!pre || cell::type(pre) != T_OBJECT) error::raise(Err::internal_not_done);
    const Cell* expand = context::get_word_cell(symbol::intern("expand"), cell::object_context(pre));
    if (!expand || cell::type(expand) != T_FUNCTION) error::raise(Err::internal_not_done);
    Cell call[3] = {*expand, *code, statics::none_cell};
    temp_roots::Hold hold(call, 3);
    interp::invoke(&call[0], anon(), call + 1, 2);
    if (!exits::pending()) stack::pop(1);
}

// Evaluates the value by its type into the result slot; answers false on a
// pending exit.
void do_value(const Cell* value, const int32_t* r) {
    switch (cell::type(value)) {
    case T_BLOCK: case T_PAREN: case T_HASH: {
        Cell code = clamped(value);
        temp_roots::Hold hold(&code);
        if (used(r, 0) && cell::type(&code) != T_HASH) {
            expand_code(&code);
            if (exits::pending()) return;
        }
        if (!used(r, 2)) {
            interp::eval(anon(), &code, true);
            return;
        }
        uint32_t next = interp::eval_next(&code);
        if (exits::pending()) return;
        cell::set_series_index(&code, next);
        Cell w = *arg(uint32_t(r[2]));
        word::set_value(&w, &code);
        return;
    }
    case T_STRING: {
        Cell code;
        cell::make_none(&code);
        temp_roots::Hold hold(&code);
        lexer::scan_string(&code, value, -1, lexer::Request{});
        do_value(&code, r);
        return;
    }
    case T_FILE: case T_URL: do_script(value, r, nullptr); return;
    case T_ERROR: stack::throw_error(value);
    default: eval_single(value);
    }
}

// Ends the trace run without an event.
void drop_trace() {
    interp::trace_state.run = false;
    interp::switch_tracing(false);
    interp::trace_state.callback = statics::none_cell;
}

// Ends a trace run whose evaluation ended normally: the stacks are as the
// call left them, so an error the end event raises passes on as usual.
void end_trace() {
    try {
        interp::trace_end();
    } catch (const Throw&) {
        drop_trace();
        throw;
    }
}

// Ends a trace run that an exit or an error is leaving. The frames down to
// the exit's target are gone already, so the end event runs under a barrier
// of its own, above one reserved cell (a break leaves its value at the top),
// and what the callback raises there gives way to the exit; the stacks and
// the pending code are then put back as the exit placed them.
void end_trace_leaving() {
    stack::Registers saved = stack::reg;
    uint32_t code = exits::pending();
    exits::clear();
    stack::push_slot();
    stack::enter_eval(anon());
    bool failed = exits::catch_error([] { interp::trace_end(); });
    if (failed || exits::pending()) drop_trace();
    stack::reg = saved;
    runtime::record.pending_code = code;
}

void do_(bool c, const int32_t* r) {
    verify(c, NAT_do, r);
    Cell value = *arg(0);
    temp_roots::Hold hold(&value);
    // A run already active keeps its callback: the nested /trace does nothing.
    if (used(r, 3) && !interp::trace_state.run && is_script(&value)) {
        do_script(&value, r, arg(uint32_t(r[3])));
        return;
    }
    if (!used(r, 3) || interp::trace_state.run) {
        do_value(&value, r);
        return;
    }
    try {
        interp::trace_start(arg(uint32_t(r[3])));  // its init event may fail
        do_value(&value, r);
    } catch (const Throw&) {
        end_trace_leaving();
        throw;
    }
    if (exits::pending()) end_trace_leaving();
    else end_trace();
}

// ---- reduce and compose ----------------------------------------------------------------

// The target of reduce and compose: a new block, or the /into block, whose
// owner hears of the values added once they are in.
struct Target {
    Cell out;
    bool into;
    uint32_t start;
};

// A new block has room for the count of values expected.
Target open_target(const int32_t* r, uint32_t into_ref, int32_t expected) {
    Target t{};
    t.into = used(r, into_ref);
    if (t.into) t.out = *arg(uint32_t(r[into_ref]));
    else block::write_cell(&t.out, expected);
    t.start = live_tail(&t.out);
    return t;
}

// A block read while values go into the same series is read as it was:
// reading it live would follow the values as they arrive, for ever.
void snapshot_if_target(Cell* read, const Cell* out) {
    if (cell::series_node(read) == cell::series_node(out)) block::clone(read, read, false, false);
}

void close_target(Target& t) {
    if (t.into) {
        uint32_t added = live_tail(&t.out) - t.start;
        series::announce(&t.out, words::word(words::W_inserted), nullptr, int32_t(t.start), int32_t(added));
    } else {
        cell::set_series_index(&t.out, 0);
    }
    stack::return_value(&t.out);
}

void reduce(bool c, const int32_t* r) {
    verify(c, NAT_reduce, r);
    Cell source = *arg(0);
    if (cell::type(&source) != T_BLOCK) {
        if (!types::is_callable(cell::type(&source))) eval_single(&source);
        return;
    }
    temp_roots::Hold hold_source(&source);
    Target t = open_target(r, 0, interp::reduce_estimate(&source));
    temp_roots::Hold hold_out(&t.out);
    snapshot_if_target(&source, &t.out);
    stack::enter_native(anon());
    if (!interp::reduce_into(&source, &t.out)) return;
    stack::leave_reset();
    close_target(t);
}

bool compose_into(Cell* out, const Cell* source, bool deep, bool only);

// A paren's value composed into out: none for unset, a block's values
// spliced unless only. False on a pending exit.
bool compose_paren(Cell* out, const Cell* paren, bool only) {
    if (block::cell_count(block::buffer_of(paren)) == uint32_t(cell::series_index(paren))) return true;
    Cell result;
    if (!interp::paren_into(paren, &result)) return false;
    if (cell::type(&result) == T_UNSET) return true;
    if (only || cell::type(&result) != T_BLOCK) {
        block::insert_unmarked(out, &result);
        return true;
    }
    temp_roots::Hold hold_result(&result);
    snapshot_if_target(&result, out);
    uint32_t from = uint32_t(cell::series_index(&result)), tail = live_tail(&result);
    if (from < tail) block::insert_run_unmarked(out, block::cell_at(&result, from), tail - from);
    return true;
}

// A nested block composed into a new block of its own, added to out.
bool compose_nested(Cell* out, const Cell* nested, bool only) {
    Cell inner;
    block::write_cell(&inner, block::get_length(nested));
    temp_roots::Hold hold_inner(&inner);
    if (!compose_into(&inner, nested, true, only)) return false;
    cell::set_series_index(&inner, 0);
    block::insert_unmarked(out, &inner);
    return true;
}

// Composes the source's values into out; answers false on a pending exit.
// Values are copied from where they lie: out is never the source's series
// (see snapshot_if_target), and only a paren's evaluation moves buffers.
bool compose_into(Cell* out, const Cell* source, bool deep, bool only) {
    stack_guard::check();  // a block may hold itself
    Cell src = *source;
    temp_roots::Hold hold(&src);
    for (uint32_t i = uint32_t(cell::series_index(&src));; i++) {
        SeriesBuffer* b = block::buffer_of(&src);
        const Cell* cells = series::cells(b);
        uint32_t count = block::cell_count(b), t = T_UNSET, run = i;
        for (; i < count; i++) {
            t = cell::type(cells + i);
            if (t == T_PAREN || (t == T_BLOCK && deep)) break;
        }
        if (i > run) block::insert_run_unmarked(out, cells + run, i - run);
        if (i >= count) return true;
        Cell v = cells[i];
        if (!(t == T_PAREN ? compose_paren(out, &v, only) : compose_nested(out, &v, only))) return false;
    }
}

void compose(bool c, const int32_t* r) {
    verify(c, NAT_compose, r);
    Cell source = *arg(0);
    if (cell::type(&source) != T_BLOCK) {
        Cell expected, got;
        cell::make_datatype(&expected, T_BLOCK);
        cell::make_datatype(&got, cell::type(&source));
        error::raise(Err::script_expect_val, &expected, &got);
    }
    temp_roots::Hold hold_source(&source);
    Target t = open_target(r, 2, block::get_length(&source));
    temp_roots::Hold hold_out(&t.out);
    snapshot_if_target(&source, &t.out);
    if (!compose_into(&t.out, &source, used(r, 0), used(r, 1))) return;
    close_target(t);
}

// ---- get, set, unset, value? ---------------------------------------------------------------

void get(bool c, const int32_t* r) {
    verify(c, NAT_get, r);
    Cell* target = arg(0);
    if (types::is_any_path(cell::type(target))) {
        // A field the path does not find reads as unset, which only /any takes.
        Cell result;
        if (!path_walk::walk(target, nullptr, used(r, 1), &result)) return;
        if (cell::type(&result) == T_UNSET && !used(r, 0)) error::raise(Err::script_no_value, target);
        stack::return_value(&result);
        return;
    }
    if (cell::type(target) == T_OBJECT) {
        stack::return_value(object::reflect(target, words::symbol(words::S_values)));
        return;
    }
    Cell value = *word::get_value(target);
    if (cell::type(&value) == T_UNSET && !used(r, 0)) error::raise(Err::script_no_value, target);
    stack::return_value(&value);
}

void set(bool c, const int32_t* r) {
    verify(c, NAT_set, r);
    Cell* target = arg(0);
    const Cell* value = arg(1);
    bool any = used(r, 0), case_ = used(r, 1), only = used(r, 2), some = used(r, 3);
    if (cell::type(value) == T_UNSET && !any) error::raise(Err::script_need_value, target);
    switch (cell::type(target)) {
    case T_OBJECT: object::set_values(target, value, any, only, some); break;
    case T_BLOCK: {
        Cell words = *target;
        stack::enter_native(anon());
        int32_t n = block::get_length(&words);  // below 0 past the tail: no words
        natives::set_many(&words, value, uint32_t(n > 0 ? n : 0), any, only, some);
        stack::leave_reset();
        break;
    }
    case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: {
        Cell ignored;
        if (!path_walk::walk(target, value, case_, &ignored)) return;
        break;
    }
    default: word::set_value(target, value);
    }
    stack::return_value(arg(1));
}

void unset_(bool c, const int32_t* r) {
    verify(c, NAT_unset, r);
    Cell* target = arg(0);
    if (cell::type(target) == T_WORD) {
        word::set_value(target, &statics::unset_cell);
    } else {
        Cell words = *target;
        temp_roots::Hold hold(&words);
        for (uint32_t i = uint32_t(cell::series_index(&words)); i < live_tail(&words); i++) {
            Cell w = *block::cell_at(&words, i);
            if (cell::type(&w) == T_WORD) word::set_value(&w, &statics::unset_cell);
        }
    }
    stack::return_value(&statics::unset_cell);
}

void is_value(bool c, const int32_t* r) {
    verify(c, NAT_is_value, r);
    cell::make_logic(arg(0), cell::type(word::get_value(arg(0))) != T_UNSET);
    stack::keep();
}

// ---- binding ---------------------------------------------------------------------------------

// The context of a word, object or function; 0 for a native, action or op,
// whose first payload word is an index and which have no context.
Node context_of(const Cell* v) {
    uint32_t t = cell::type(v);
    return t == T_NATIVE || t == T_ACTION || t == T_OP ? 0 : cell::callable_context(v);
}

void context_q(bool c, const int32_t* r) {
    verify(c, NAT_is_context, r);
    Node ctx = cell::object_context(arg(0));
    const Cell* owner = ctx ? context::owner_of(ctx) : &statics::none_cell;
    uint32_t t = cell::type(owner);
    stack::return_value(t == T_OBJECT || t == T_FUNCTION ? owner : &statics::none_cell);
}

void bind(bool c, const int32_t* r) {
    verify(c, NAT_bind, r);
    Node ctx = context_of(arg(1));
    Cell target = *arg(0);
    if (!ctx) {  // an unbound word names no context: nothing to bind to
        stack::return_value(&target);
        return;
    }
    if (cell::type(&target) != T_BLOCK) {
        context::bind_word(ctx, &target);
        stack::return_value(&target);
        return;
    }
    if (used(r, 0)) block::clone(arg(0), &target, true, false);
    context::bind(&target, ctx, (context::cell_of(ctx)->header & HDR_SELF) != 0);
    stack::return_value(&target);
}

void in(bool c, const int32_t* r) {
    verify(c, NAT_in, r);
    Node ctx = context_of(arg(0));
    Cell w = *arg(1);
    int32_t index = ctx ? context::lookup_word(ctx, cell::word_symbol(&w), true) : -1;
    if (index < 0) {
        stack::return_value(&statics::none_cell);
        return;
    }
    if (cell::type(&w) == T_REFINEMENT) cell::set_type(&w, T_WORD);
    cell::set_word_context(&w, ctx);
    cell::set_word_index(&w, uint32_t(index));
    stack::return_value(&w);
}

// ---- objects and maps -------------------------------------------------------------------------

void construct(bool c, const int32_t* r) {
    verify(c, NAT_construct, r);
    const Cell* proto = used(r, 0) ? arg(uint32_t(r[0])) : nullptr;
    Cell made = *object::make_new(arg(0), proto, used(r, 1));
    stack::return_value(&made);
}

// Objects cannot be extended yet.
void extend(bool c, const int32_t* r) {
    verify(c, NAT_extend, r);
    if (cell::type(arg(0)) != T_MAP) error::raise(Err::internal_not_done);
    map::insert_pairs(arg(0), arg(1), used(r, 0));
    stack::return_value(arg(0));
}

// ---- making functions --------------------------------------------------------------------------

// A function of a spec (copied here) and a body, into the result slot.
void make_function(const Cell* spec, const Cell* body) {
    Cell s;
    block::clone(spec, &s, false, false);
    temp_roots::Hold hold(&s);
    Cell b = clamped(body);
    temp_roots::Hold hold_body(&b);
    uint32_t flags = function::validate_spec(&s);
    // A library function's blocks are marked as they are copied, so that
    // mark_library finds its body marked already.
    bool library = interp::eval_state.loading;
    function::build_value(&s, &b, 0, 0, 0, flags, library ? uint32_t(SER_LIBRARY) : 0u);
    if (library) interp::mark_library(stack::top());
    stack::return_value(stack::top());
}

void func(bool c, const int32_t* r) {
    verify(c, NAT_func, r);
    Cell spec = clamped(arg(0));
    make_function(&spec, arg(1));
}

void function_(bool c, const int32_t* r) {
    verify(c, NAT_function, r);
    Cell spec;
    Cell source = clamped(arg(0));
    block::clone(&source, &spec, true, false);
    temp_roots::Hold hold(&spec);
    function::collect_words(&spec, arg(1));
    make_function(&spec, arg(1));
}

void does(bool c, const int32_t* r) {
    verify(c, NAT_does, r);
    Cell spec;
    block::write_cell(&spec, 1);
    temp_roots::Hold hold(&spec);
    make_function(&spec, arg(0));
}

void has(bool c, const int32_t* r) {
    verify(c, NAT_has, r);
    Cell spec;
    Cell vars = clamped(arg(0));
    block::clone(&vars, &spec, false, false);
    temp_roots::Hold hold(&spec);
    block::insert_value(&spec, words::refinement(words::R_local), true, false);
    make_function(&spec, arg(1));
}

// ---- apply -------------------------------------------------------------------------------

// An applied call: the callable (an op! unwrapped), the name of its frame,
// the path whose refinements it takes (mode 2) and where the argument values
// come from.
struct Applied {
    Cell callable, name, path, code;
    uint32_t pos;
    bool all, safer, has_path;
};
// apply holds the four cells as one run.
static_assert(offsetof(Applied, name) == offsetof(Applied, callable) + sizeof(Cell) &&
              offsetof(Applied, path) == offsetof(Applied, callable) + 2 * sizeof(Cell) &&
              offsetof(Applied, code) == offsetof(Applied, callable) + 3 * sizeof(Cell));

constexpr uint32_t MAX_APPLY_REFINEMENTS = 64;

// The callable of apply's first argument, with its frame name and path.
void resolve_callable(Applied& a, const Cell* target) {
    a.has_path = types::is_any_path(cell::type(target));
    Cell value = *target;
    if (a.has_path) {
        a.path = *target;
        uint32_t start = uint32_t(cell::series_index(target));
        if (start >= live_tail(target)) error::raise(Err::script_invalid_arg, target);
        a.name = *block::cell_at(target, start);
        value = *word::get_value(&a.name);
    } else if (types::is_variable_word(cell::type(target))) {
        a.name = *target;
        value = *word::get_value(target);
    } else {
        a.name = *words::word(words::W_tag_applied);
    }
    if (!types::is_callable(cell::type(&value))) error::raise(Err::script_invalid_arg, target);
    if (cell::type(&value) == T_OP)
        value.header = (value.header & ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK)) | op::wrapped_type(&value);
    a.callable = value;
}

bool same_symbol(uint32_t x, uint32_t y) { return symbol::resolve(x) == symbol::resolve(y); }

// Whether the path uses the refinement: its elements are checked as a
// call's path is (a word, or a get-word whose value decides; bad-refine,
// dup-refine, no-refine).
bool path_names(const Applied& a, const Cell& refinement, Node list) {
    if (!a.has_path) return false;
    bool named = false;
    uint32_t from = uint32_t(cell::series_index(&a.path)) + 1;
    for (uint32_t i = from; i < live_tail(&a.path); i++) {
        bool used;
        interp::checked_refinement(&a.path, from, i, list, &a.name, &used);
        if (same_symbol(cell::word_symbol(block::cell_at(&a.path, i)), cell::word_symbol(&refinement))) named = used;
    }
    return named;
}

// The next value of the arguments block pushed as the next frame cell; at the
// tail none (or, outside /all, script error no-arg). False on a pending exit.
bool push_next(Applied& a, const Cell& entry) {
    if (a.pos >= live_tail(&a.code)) {
        Cell arg_word{T_WORD, 0, interp::entry_symbol(&entry), uint32_t(-1)};
        if (!a.all && cell::type(&entry) == T_TYPESET) error::raise(Err::script_no_arg, &a.name, &arg_word);
        stack::push(cell::type(&entry) == T_REFINEMENT ? &statics::false_cell : &statics::none_cell);
        return true;
    }
    a.pos = interp::eval_next_at(&a.code, a.pos, true);
    return !exits::pending();
}

// Fills the frame from the argument list; answers false on a pending exit.
bool fill_frame(Applied& a, Node list, int32_t* refs) {
    bool function_like = cell::type(&a.callable) == T_FUNCTION || cell::type(&a.callable) == T_ROUTINE;
    bool active = true;
    uint32_t arg_number = 0;
    for (uint32_t k = 0; k < series::length(node::buffer(list)); k++) {
        Cell e = series::cells(node::buffer(list))[k];
        switch (cell::type(&e)) {
        case T_TYPESET:
            if (interp::fetch_mode(&e) == interp::FETCH_RETURN) break;
            if (active) {
                if (!push_next(a, e)) return false;
                check::argument(&e, arg_number++, stack::top());
                break;
            }
            arg_number++;
            // The argument of an inactive refinement, present under /all:
            // evaluated and dropped, or with /safer (which makes refinement
            // arguments single values) stepped over unevaluated.
            if (a.all && a.safer) {
                if (a.pos < live_tail(&a.code)) a.pos++;
            } else if (a.all) {
                if (!push_next(a, e)) return false;
                stack::pop(1);
            }
            if (function_like) stack::push(&statics::none_cell);
            break;
        case T_REFINEMENT:
            arg_number++;
            if (interp::entry_ordinal(&e) > MAX_APPLY_REFINEMENTS) error::raise(Err::internal_limit_hit, &e);
            if (a.all) {
                if (!push_next(a, e)) return false;
                active = logic::is_truthy(stack::top());
                stack::pop(1);
            } else {
                active = path_names(a, e, list);
            }
            if (function_like) stack::push(active ? &statics::true_cell : &statics::false_cell);
            else refs[interp::entry_ordinal(&e) - 1] = active ? int32_t(stack::reg.top - stack::reg.base) : -1;
            break;
        case T_INTEGER:
            if (function_like) function::init_refinement(uint32_t(cell::get_int(&e)));
            break;
        }
    }
    return true;
}

// Runs the callable on the frame in place; its result ends as the top value.
// A function's trace events name it by the frame's name.
void run_applied(const Cell* callable, const Cell* name, const int32_t* refs) {
    switch (cell::type(callable)) {
    case T_FUNCTION:
        interp::call_function(callable, name);
        if (exits::pending()) return;
        stack::leave_func();
        return;
    case T_ROUTINE: interp::call_routine(callable); break;
    case T_ACTION:
        if (cell::callable_index(callable) < 1 || cell::callable_index(callable) > ACTION_COUNT || !actions::table[cell::callable_index(callable) - 1])
            error::raise(Err::internal_not_done);
        actions::table[cell::callable_index(callable) - 1](refs);
        break;
    default: {
        natives::Routine routine = natives::routine(cell::callable_index(callable));
        if (!routine) error::raise(Err::internal_not_done);
        routine(false, refs);
    }
    }
    if (!exits::pending()) stack::leave();
}

void apply(bool c, const int32_t* r) {
    verify(c, NAT_apply, r);
    Applied a{statics::none_cell, statics::none_cell, statics::none_cell, statics::none_cell, 0, false, false, false};
    temp_roots::Hold hold(&a.callable, 4);
    a.all = used(r, 0);
    a.safer = used(r, 1);
    a.code = clamped(arg(1));
    a.pos = uint32_t(cell::series_index(&a.code));
    resolve_callable(a, arg(0));
    Node list = interp::prepare_spec(&a.callable);
    temp_roots::Hold hold_list(&list);
    stack::push(&a.callable);
    if (cell::type(&a.callable) == T_FUNCTION) stack::enter_func(&a.name, cell::callable_context(&a.callable));
    else stack::enter_frame(&a.name, stack::KIND_NATIVE);
    int32_t refs[MAX_APPLY_REFINEMENTS];
    if (!fill_frame(a, list, refs)) return;
    if (cell::type(&a.callable) == T_FUNCTION) {
        uint32_t need = cell::context_stack_count(context::cell_of(cell::callable_context(&a.callable)));
        while (uint32_t(stack::reg.top - stack::reg.base) < need) stack::push(&statics::none_cell);
    }
    run_applied(&a.callable, &a.name, refs);
    if (exits::pending()) return;
    stack::return_value(stack::top());
}

constexpr natives::NativeDef DEFS[] = {
    {NAT_func, "func", "{Defines a function with a given spec and body} spec [block!] body [block!]", func},
    {NAT_function, "function",
     "{Defines a function, making all set-words found in body, local} spec [block!] body [block!]"
     " /extern {Exclude words that follow this refinement}",
     function_},
    {NAT_does, "does", "{Defines a function with no arguments or local variables} body [block!]", does},
    {NAT_has, "has", "{Defines a function with local variables, but no arguments} vars [block!] body [block!]", has},
    {NAT_do, "do",
     "{Evaluates a value, returning the last evaluation result} value [any-type!]"
     " /expand {Expand directives before evaluation}"
     " /args {If value is a script, this will set its system/script/args}"
     " arg {Args passed to a script (normally a string)}"
     " /next {Do next expression only, return it, update block word}"
     " position [word!] {Word updated with new block position}"
     " /trace callback [function! [event [word!] code [any-block! none!] offset [integer!]"
     " value [any-type!] ref [any-type!] frame [pair!]]]",
     do_},
    {NAT_get, "get",
     "{Returns the value a word refers to} word [any-word! any-path! object!]"
     " /any {If word has no value, return UNSET rather than causing an error}"
     " /case {Use case-sensitive comparison (path only)} return: [any-type!]",
     get},
    {NAT_set, "set",
     "{Sets the value(s) one or more words refer to}"
     " word [any-word! block! object! any-path!] {Word, object, map path or block of words to set}"
     " value [any-type!] {Value or block of values to assign to words}"
     " /any {Allow UNSET as a value rather than causing an error}"
     " /case {Use case-sensitive comparison (path only)}"
     " /only {Block or object value argument is set as a single value}"
     " /some {None values in a block or object value argument, are not set} return: [any-type!]",
     set},
    {NAT_reduce, "reduce",
     "{Returns a copy of a block, evaluating all expressions} value [any-type!]"
     " /into {Put results in out block, instead of creating a new block}"
     " out [any-block!] {Target block for results, when /into is used}",
     reduce},
    {NAT_compose, "compose",
     "{Returns a copy of a block, evaluating only parens} value [block!]"
     " /deep {Compose nested blocks}"
     " /only {Compose nested blocks as blocks containing their values}"
     " /into {Put results in out block, instead of creating a new block}"
     " out [any-block!] {Target block for results, when /into is used}",
     compose},
    {NAT_bind, "bind",
     "{Bind words to a context; returns rebound words} word [block! any-word!]"
     " context [any-word! any-object! function!] /copy {Deep copy blocks before binding}"
     " return: [block! any-word!]",
     bind},
    {NAT_in, "in",
     "{Returns the given word bound to the object's context} object [any-object! any-function!]"
     " word [any-word! refinement!]",
     in},
    {NAT_construct, "construct",
     "{Makes a new object from an unevaluated spec; standard logic words are evaluated} block [block!]"
     " /with {Use a prototype object} object [object!] {Prototype object}"
     " /only {Don't evaluate standard logic words}",
     construct},
    {NAT_is_value, "value?", "{Returns TRUE if the word has a value} value [word!] return: [logic!]", is_value},
    {NAT_extend, "extend",
     "{Extend an object or map value with list of key and value pairs} obj [object! map!]"
     " spec [block! hash! map!] /case {Use case-sensitive comparison}",
     extend},
    {NAT_unset, "unset",
     "{Unsets the value of a word in its current context} word [word! block!] {Word or block of words}",
     unset_},
    {NAT_is_context, "context?",
     "{Returns the context to which a word is bound} word [any-word!] {Word to check}"
     " return: [object! function! none!]",
     context_q},
    {NAT_apply, "apply",
     "{Apply a function to a reduced block of arguments}"
     " func [word! path! any-function!] {Function to apply, with eventual refinements}"
     " args [block!] {Block of args, reduced first}"
     " /all {Provide every argument in the function spec, in order, tail-completed with false/none.}"
     " /safer {Forces single refinement arguments, skip them when inactive instead of evaluating}",
     apply},
};
static_assert(natives::matches_ids(DEFS), "a native row out of order or misnamed");

}  // namespace

// ---- set-many ------------------------------------------------------------------------------------

namespace natives {

// Value i of a block-valued source, none past the tail.
static Cell value_at(const Cell* source, uint32_t i) {
    uint32_t at = uint32_t(cell::series_index(source)) + i;
    return at < live_tail(source) ? *block::cell_at(source, at) : statics::none_cell;
}

static Cell word_at(const Cell* words, uint32_t i) {
    uint32_t at = uint32_t(cell::series_index(words)) + i;
    return at < live_tail(words) ? *block::cell_at(words, at) : statics::none_cell;
}

void set_many(const Cell* words_block, const Cell* value, uint32_t n, bool any, bool only, bool some) {
    Cell words = *words_block, source = *value;
    // A map gives its live pairs: a removed pair's value cell is no value.
    if (cell::type(&source) == T_MAP) map::body_of(value, &source);
    temp_roots::Hold hold_words(&words);
    temp_roots::Hold hold_source(&source);
    bool block_valued = !only && (types::is_any_block(cell::type(&source)) || cell::type(&source) == T_MAP);
    for (uint32_t i = 0; i < n; i++) {
        Cell w = word_at(&words, i);
        if (!types::is_variable_word(cell::type(&w))) error::raise(Err::script_invalid_arg, &w);
        Cell v = block_valued ? value_at(&source, i) : source;
        if (!any && cell::type(&v) == T_UNSET) error::raise(Err::script_need_value, &w);
    }
    for (uint32_t i = 0; i < n; i++) {
        Cell w = word_at(&words, i);
        Cell v = block_valued ? value_at(&source, i) : source;
        if (some && cell::type(&v) == T_NONE) continue;
        if (!types::is_variable_word(cell::type(&w))) error::raise(Err::script_invalid_arg, &w);
        if (!any && cell::type(&v) == T_UNSET) error::raise(Err::script_need_value, &w);
        word::set_value(&w, &v);
    }
}

}  // namespace natives

const natives::Module natives::module_eval = {DEFS, sizeof DEFS / sizeof DEFS[0]};

}  // namespace zel
