// Prepared blocks: the side table of forms, their decoding from a block's
// cells, their memory bound and the sanitizer builds' check of the writers.
#include "interpreter/prepared.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/context.h"
#include "core/native_ids.h"
#include "kernel/os.h"

namespace zel {
namespace prepared {

bool enabled = true;
uint32_t generation = 0;
FormTable<Form> table;

namespace {

// Longer blocks are data more often than code: not prepared.
constexpr uint32_t MAX_CELLS = 4096;
// The forms together; past this a collection is asked for.
constexpr size_t MAX_BYTES = size_t(8) << 20;

size_t bytes_of(const Form* f) {
    return sizeof(Form) + f->exprs.capacity() * sizeof(Expr) + f->chains.capacity() * sizeof(Chain) +
           f->ops.capacity() * sizeof(OpStep) + f->calls.capacity() * sizeof(CallNode) +
           f->args.capacity() * sizeof(Arg) + f->snapshot.capacity() * sizeof(Cell) +
           f->inline_calls.size() * sizeof(InlineCall) + f->fields.size() * sizeof(FieldCache) + f->plan_bytes;
}

}  // namespace

void account(Form* f) {
    table.bytes -= f->bytes;
    f->bytes = bytes_of(f);
    table.bytes += f->bytes;
}

namespace {

// ---- decoding ---------------------------------------------------------------------

struct Code {
    const Cell* cells;
    uint32_t count;
};

Code code_of(Node n) {
    SeriesBuffer* b = node::buffer(n);
    return {series::cells(b), uint32_t(series::length(b))};
}

}  // namespace

// A word whose slot a form may remember: of the global context, or, when
// read (not assigned, which an object's change handler may see), of an
// object's context.
SlotCache cache_for(const Cell* word, bool assigned) {
    Node ctx = cell::word_context(word);
    bool on = false, local = false;
    if (ctx != 0 && cell::word_index(word) >= 0) {
        const Cell* cc = context::cell_of(ctx);
        on = ctx == context::global_values.context ||
             (!assigned && !context::is_on_stack(cc) && context::kind_of(cc) == context::KIND_OBJECT &&
              context::has_values(cc));
        local = ctx != context::global_values.context && context::is_on_stack(cc);
    }
    return SlotCache{nullptr, 0, on, local};
}

namespace {

// A path's field cache (see FieldCache), empty, kept in the form: its
// index in Form::fields.
uint32_t new_field(Form* f) {
    f->fields.push_back(std::make_unique<FieldCache>());
    return uint32_t(f->fields.size() - 1);
}

// A word's value that reading the word simply pushes.
bool pushes(const Cell* value) { return WORD_CLASSES.of[cell::type(value)] == WORD_PUSH; }

const Cell* op_held(const Cell* c) {
    if (cell::type(c) != T_WORD) return nullptr;
    const Cell* slot = context::bound_slot(c);
    return slot && cell::type(slot) == T_OP ? slot : nullptr;
}

// A path of an object's word and one field word (o/x).
bool field_shaped(const Cell* path) {
    Code p = code_of(cell::series_node(path));
    uint32_t at = uint32_t(cell::series_index(path));
    return p.count == at + 2 && cell::type(p.cells + at) == T_WORD && cell::type(p.cells + at + 1) == T_WORD;
}

// Where an operand may be more than a value: a right operand may be a
// paren; the first operand of a call's argument may be a paren or a call;
// that of a whole expression a paren that calls, or a call. The value of an
// assignment (ASSIGNED) is a whole expression whose first operand may be a
// native's or action's call too (the general way takes the assignment whole
// otherwise).
enum Place : uint8_t { FIRST, OPERAND, ARGUMENT, ASSIGNED };

bool is_control(uint32_t native);

// How deep calls nest in arguments: the decoder recurses.
constexpr uint32_t MAX_NESTING = 16;

// A paren that starts with a word holding a callable: it calls.
bool paren_calls(const Cell* paren) {
    const Cell* value = paren_head(paren);
    return value && WORD_CLASSES.of[cell::type(value)] == WORD_CALL;
}

bool chain(Form* f, const Code& code, uint32_t pos, uint32_t* index, Place place, uint32_t depth);

// A paren of nothing but a call that the evaluator answers in place, its
// arguments written as values or words (checked again on every run).
bool paren_of_inline_call(const Cell* paren) {
    uint32_t arity = paren_inline_arity(paren);
    Code p = code_of(cell::series_node(paren));
    uint32_t at = uint32_t(cell::series_index(paren));
    if (!arity || at + 1 + arity != p.count) return false;
    for (uint32_t k = at + 1; k < p.count; k++)
        if (cell::type(p.cells + k) != T_WORD && !SELF_EVALUATING.of[cell::type(p.cells + k)]) return false;
    return true;
}

// What a paren of one call answered in place holds (see InlineCall), its
// buffer marked SER_PLAIN, which is what a form of it would find (it holds
// no chain); null when the paren has a form of its own or the callable's
// list is not made yet or takes other arguments.
// The call of cells (its word, then its arguments) kept in the form.
InlineCall* new_inline_call(Form* f, const Cell* cells, const Cell* callable, uint32_t arity) {
    auto ic = std::make_unique<InlineCall>();
    ic->arity = arity;
    ic->word = cells[0];
    ic->word_cache = cache_for(cells, false);
    ic->callable = *callable;
    const Cell* entries = argument_entries(callable);
    for (uint32_t k = 0; k < arity; k++) {
        ic->args[k] = cells[k + 1];
        if (cell::type(cells + k + 1) == T_WORD) ic->arg_caches[k] = cache_for(cells + k + 1, false);
        ic->entries[k] = entries[k];
    }
    f->inline_calls.push_back(std::move(ic));
    return f->inline_calls.back().get();
}
const InlineCall* inline_call(Form* f, const Cell* paren, uint32_t arity) {
    SeriesBuffer* b = node::buffer(cell::series_node(paren));
    const Cell* cells = series::cells(b) + cell::series_index(paren);
    const Cell* callable = context::bound_slot(cells);
    if ((b->flags & SER_PREPARED) || plain_arity(callable) != int32_t(arity)) return nullptr;
    b->flags |= SER_PLAIN;
    InlineCall* ic = new_inline_call(f, cells, callable, arity);
    ic->head = b->head;
    ic->tail = b->tail;
    return ic;
}

// A right operand that is a call answered in place (see L_INLINE_CALL): the
// position after its arguments, or 0.
uint32_t inline_call_leaf(Form* f, const Code& code, uint32_t pos, const Cell* callable, Leaf* out) {
    uint32_t arity = inline_arity_of(callable), end = pos + 1 + arity;
    if (!arity || end > code.count || plain_arity(callable) != int32_t(arity)) return 0;
    for (uint32_t k = pos + 1; k < end; k++) {
        uint32_t t = cell::type(code.cells + k);
        if (t == T_WORD ? op_held(code.cells + k) != nullptr : !SELF_EVALUATING.of[t]) return 0;
    }
    if (end < code.count && op_held(code.cells + end)) return 0;  // the last argument's operator
    out->kind = L_INLINE_CALL;
    out->inline_call = new_inline_call(f, code.cells + pos, callable, arity);
    return end;
}

// A call of a word holding a callable, its arguments each a chain: the
// position after its last argument, or 0.
uint32_t call_leaf(Form* f, const Code& code, uint32_t pos, const Cell* value, Leaf* out, uint32_t depth) {
    int32_t arity = plain_arity(value);
    if (arity < 0 || depth >= MAX_NESTING) return 0;
    uint32_t args[4], at = pos + 1;
    for (int32_t k = 0; k < arity; k++) {
        if (k >= 4 || !chain(f, code, at, args + k, ARGUMENT, depth + 1)) return 0;
        at = f->chains[args[k]].end;
    }
    out->kind = L_CALL;
    out->call = uint32_t(f->calls.size());
    f->calls.push_back(CallNode{*value, uint32_t(f->args.size()), uint32_t(arity), false, {}});
    const Cell* entries = argument_entries(value);
    for (int32_t k = 0; k < arity; k++) {
        const Chain& ch = f->chains[args[k]];
        bool leaf = ch.op_count == 0 && (ch.first.kind == L_VALUE || ch.first.kind == L_WORD);
        ArgKind kind = leaf ? (ch.first.kind == L_VALUE ? A_VALUE : A_WORD) : ch.runs ? A_CALLS : A_CHAIN;
        f->args.push_back(Arg{ch.first.cell, entries[k], args[k], ch.end, kind, ch.word_after, {}});
    }
    return at;
}

// An operand at the position: the position after it, or 0.
uint32_t leaf(Form* f, const Code& code, uint32_t pos, Place place, Leaf* out, uint32_t depth) {
    const Cell* c = code.cells + pos;
    out->cell = *c;
    uint32_t t = cell::type(c);
    if (SELF_EVALUATING.of[t]) {
        out->kind = L_VALUE;
        return pos + 1;
    }
    switch (t) {
    case T_WORD: {
        const Cell* value = context::bound_slot(c);
        out->kind = L_WORD;
        out->cache = cache_for(c, false);
        if (value && pushes(value)) return pos + 1;
        // A native's or action's call that starts an expression costs no
        // less from a form than from the cells (nor does a block of one):
        // only a function's is decoded there.
        uint32_t vt = value ? cell::type(value) : T_UNSET;
        bool call = value && WORD_CLASSES.of[vt] == WORD_CALL &&
                    (place == ARGUMENT || ((place == FIRST || place == ASSIGNED) && vt == T_FUNCTION) ||
                     (place == ASSIGNED && (vt == T_ACTION || (vt == T_NATIVE && !is_control(cell::callable_index(value))))));
        if ((place == OPERAND || place == ASSIGNED) && vt == T_ACTION) {  // answered in place when it can be
            if (uint32_t end = inline_call_leaf(f, code, pos, value, out)) return end;
        }
        return call ? call_leaf(f, code, pos, value, out, depth) : 0;
    }
    case T_PATH:
        out->kind = L_FIELD;
        if (!field_shaped(c)) return 0;
        out->field = f->fields[new_field(f)].get();
        return pos + 1;
    case T_PAREN:
        if (paren_of_inline_call(c)) {
            out->kind = L_CALL_PAREN;
            out->inline_call = inline_call(f, c, paren_inline_arity(c));
            return pos + 1;
        }
        out->kind = paren_calls(c) ? L_CODE_PAREN : L_PAREN;
        return (place != FIRST && place != ASSIGNED) || out->kind == L_CODE_PAREN ? pos + 1 : 0;
    default: return 0;
    }
}

// The sizes of the form's vectors, put back when a decode fails.
struct Mark {
    size_t ops, chains, calls, args;
    explicit Mark(const Form* f) : ops(f->ops.size()), chains(f->chains.size()), calls(f->calls.size()), args(f->args.size()) {}
    bool undo(Form* f) const {
        f->ops.resize(ops);
        f->chains.resize(chains);
        f->calls.resize(calls);
        f->args.resize(args);
        return false;
    }
};

bool leaf_runs(const Leaf& l) { return l.kind == L_CALL || l.kind == L_CODE_PAREN; }
// A call whose arguments run no code, of a function answered in place.
bool answered(const Form* f, const Leaf& l) {
    if (l.kind != L_CALL) return false;
    const CallNode& c = f->calls[l.call];
    for (uint32_t k = 0; k < c.arg_count; k++)
        if (f->chains[f->args[c.args + k].chain].runs) return false;
    return answers_in_place(&c.callable, c.arg_count);
}

// The chain from the position: false when its cells are no chain.
bool chain(Form* f, const Code& code, uint32_t pos, uint32_t* index, Place place, uint32_t depth) {
    Mark mark(f);
    Chain ch{};
    ch.start = pos;
    if (pos >= code.count || !(pos = leaf(f, code, pos, place, &ch.first, depth))) return mark.undo(f);
    ch.first_end = pos;
    ch.runs = leaf_runs(ch.first) && !answered(f, ch.first);
    std::vector<OpStep> steps;
    while (pos < code.count) {
        const Cell* op = op_held(code.cells + pos);
        if (!op) break;
        OpStep step{};
        step.word = code.cells[pos];
        step.cache = cache_for(&step.word, false);
        std::memcpy(&step.head, op, sizeof step.head);
        step.extra = cell::callable_extra(op);
        uint32_t right_end = pos + 1 < code.count ? leaf(f, code, pos + 1, OPERAND, &step.right, depth) : 0;
        if (!right_end) return mark.undo(f);
        step.int_right = step.right.kind == L_VALUE && cell::type(&step.right.cell) == T_INTEGER;
        ch.runs = ch.runs || leaf_runs(step.right);
        step.end = right_end;
        steps.push_back(step);
        pos = right_end;
    }
    ch.ops = uint32_t(f->ops.size());
    ch.op_count = uint32_t(steps.size());
    ch.word_int = ch.first.kind == L_WORD && steps.size() == 1 && steps[0].right.kind == L_VALUE &&
                  cell::type(&steps[0].right.cell) == T_INTEGER;
    ch.int_run = !steps.empty() && steps[0].int_right;
    f->ops.insert(f->ops.end(), steps.begin(), steps.end());
    ch.end = pos;
    ch.word_after = pos < code.count && cell::type(code.cells + pos) == T_WORD;
    *index = uint32_t(f->chains.size());
    f->chains.push_back(ch);
    return true;
}

// A chain that runs no code.
bool plain_chain(Form* f, const Code& code, uint32_t pos, uint32_t* index) {
    Mark mark(f);
    if (!chain(f, code, pos, index, FIRST, 0)) return false;
    return !f->chains[*index].runs || mark.undo(f);
}

// if, unless, either: the condition's chain and the blocks written after it.
bool branch(Form* f, const Code& code, Expr* e, uint32_t blocks) {
    Mark mark(f);
    if (!plain_chain(f, code, e->pos + 1, &e->chain)) return false;
    uint32_t at = f->chains[e->chain].end;
    for (uint32_t k = 0; k < blocks; k++)
        if (at + k >= code.count || cell::type(code.cells + at + k) != T_BLOCK) return mark.undo(f);
    e->next = at + blocks;
    return true;
}

bool is_control(uint32_t native) {
    return native == NAT_if || native == NAT_unless || native == NAT_either || native == NAT_return ||
           native == NAT_break || native == NAT_continue;
}

// while, until, forever, loop: the blocks written after the call (after
// loop's count, a chain that runs no code).
bool loop(Form* f, const Code& code, Expr* e, bool counted, uint32_t blocks) {
    Mark mark(f);
    uint32_t at = e->pos + 1;
    if (counted) {
        if (!plain_chain(f, code, at, &e->chain)) return false;
        at = f->chains[e->chain].end;
    }
    for (uint32_t k = 0; k < blocks; k++)
        if (at + k >= code.count || cell::type(code.cells + at + k) != T_BLOCK) return mark.undo(f);
    e->kind = E_LOOP;
    e->next = at + blocks;
    return true;
}

// if, unless, either, return, break and continue in their own kinds, when
// their chain runs no code; loops whose blocks are written in the code.
bool control_expr(Form* f, const Code& code, Expr* e, const Cell* value) {
    if (cell::type(value) != T_NATIVE) return false;
    switch (cell::callable_index(value)) {
    case NAT_while: return loop(f, code, e, false, 2);
    case NAT_until:
    case NAT_forever: return loop(f, code, e, false, 1);
    case NAT_loop: return loop(f, code, e, true, 1);
    case NAT_if:
    case NAT_unless: e->kind = E_BRANCH; return branch(f, code, e, 1);
    case NAT_either: e->kind = E_BRANCH; return branch(f, code, e, 2);
    case NAT_return:
        if (!plain_chain(f, code, e->pos + 1, &e->chain)) return false;
        e->kind = E_RETURN;
        e->next = f->chains[e->chain].end;
        return true;
    case NAT_break:
    case NAT_continue:
        e->kind = E_BREAK;
        e->next = e->pos + 1;
        return true;
    }
    return false;
}

// A native's or action's call whose arguments are all chains that run no
// code and start with no paren (which the general evaluator may run as a
// block, with a safe point): its call node, in e->call. Its end stays for
// a run to find, as any call's.
bool holds_arguments(const Form* f, const CallNode& c) {
    for (uint32_t k = 0; k < c.arg_count; k++) {
        const Chain& ch = f->chains[f->args[c.args + k].chain];
        if (ch.runs || ch.first.kind == L_PAREN) return false;
    }
    return true;
}
bool held_arguments(Form* f, const Code& code, Expr* e, const Cell* value) {
    Mark mark(f);
    Leaf call{};
    if (!call_leaf(f, code, e->pos, value, &call, 0)) return false;
    if (!holds_arguments(f, f->calls[call.call])) return mark.undo(f);
    e->call = call.call;
    return true;
}
// An assignment of a chain that is only a native's or action's call whose
// arguments it may hold so: its call in e->call.
bool held_assignment(Form* f, Expr* e) {
    const Chain& ch = f->chains[e->chain];
    if (ch.first.kind != L_CALL || ch.op_count) return false;
    const CallNode& c = f->calls[ch.first.call];
    uint32_t t = cell::type(&c.callable);
    if ((t != T_NATIVE && t != T_ACTION) || !holds_arguments(f, c)) return false;
    e->call = ch.first.call;
    return true;
}

// A word holding a callable at the start of an expression: a control
// native's kind, else a chain that starts with the call, else a call whose
// arguments the general evaluator gathers (none for a routine).
void call_expr(Form* f, const Code& code, Expr* e, const Cell* value) {
    e->callable = *value;
    if (control_expr(f, code, e, value)) return;
    // The control natives' conditions that call go through their in-place
    // checks in the general evaluator.
    bool control = cell::type(value) == T_NATIVE && is_control(cell::callable_index(value));
    if (!control && chain(f, code, e->pos, &e->chain, FIRST, 0)) e->kind = E_CHAIN;
    else e->kind = cell::type(value) == T_ROUTINE ? E_GENERAL : E_CALL;
    if (e->kind == E_CALL && !control && cell::type(value) != T_FUNCTION) e->held_args = held_arguments(f, code, e, value);
    if (!e->held_args) return;
    // The call ends after its last argument, whose chain takes any operator
    // after it.
    const CallNode& c = f->calls[e->call];
    e->next = c.arg_count ? f->args[c.args + c.arg_count - 1].end : e->pos + 1;
    e->frameless = frameless_call(value, c.arg_count);
}

Expr decode(Form* f, const Code& code, uint32_t pos) {
    Expr e{};
    e.kind = E_GENERAL;
    e.pos = pos;
    const Cell* c = code.cells + pos;
    e.word = *c;
    uint32_t t = cell::type(c);
    bool set_field = t == T_SET_PATH && field_shaped(c);
    if (t == T_SET_WORD || set_field) {
        if (chain(f, code, pos + 1, &e.chain, ASSIGNED, 0)) e.kind = set_field ? E_SET_FIELD : E_SET;
        if (e.kind == E_SET_FIELD) e.call = new_field(f);
        if (e.kind == E_SET) {
            e.held_args = held_assignment(f, &e);
            e.cache = cache_for(c, true);
            const Cell* first = &f->chains[e.chain].first.cell;
            e.self_update = f->chains[e.chain].word_int && cell::word_context(first) == cell::word_context(c) &&
                            cell::word_index(first) == cell::word_index(c);
        }
    } else if (t == T_WORD) {
        e.cache = cache_for(c, false);
        const Cell* value = context::bound_slot(c);
        if (value && !pushes(value)) {
            if (cell::type(value) != T_OP && cell::type(value) != T_UNSET) call_expr(f, code, &e, value);
        } else if (value && chain(f, code, pos, &e.chain, FIRST, 0)) {
            e.kind = E_CHAIN;
        }
    } else if ((SELF_EVALUATING.of[t] || t == T_PATH || t == T_PAREN) && chain(f, code, pos, &e.chain, FIRST, 0)) {
        e.kind = E_CHAIN;
    }
    if (e.kind == E_CHAIN || e.kind == E_SET || e.kind == E_SET_FIELD) {
        e.next = f->chains[e.chain].end;
        e.runs = f->chains[e.chain].runs;
    }
    if (e.kind == E_GENERAL || (e.kind == E_CALL && !e.held_args)) e.next = 0;
    e.word_next = e.next && e.next < code.count && cell::type(code.cells + e.next) == T_WORD;
    if (e.word_next) e.next_cache = cache_for(code.cells + e.next, false);
    return e;
}

// An expression that may run code which its form runs (see one_call).
bool calls(const Expr& e) {
    return e.kind == E_BRANCH || e.kind == E_RETURN || e.kind == E_LOOP || (is_chain(e) && e.runs) ||
           (e.kind == E_CALL && e.held_args && !e.frameless);
}
// A while whose blocks are written in the code counts as quick: the loop
// turns take its turns frameless while they run no code (see the evaluator);
// so does a call answered without its frame.
bool is_quick(const Expr& e) {
    return is_pure(e) || e.kind == E_BRANCH || (e.kind == E_LOOP && cell::callable_index(&e.callable) == NAT_while) ||
           (e.kind == E_CALL && e.frameless);
}
// An expression the form runs from a chain of its own: a chain or its
// assignment, a branch's condition, a return's value.
bool holds_chain(const Expr& e) { return is_chain(e) || e.kind == E_BRANCH || e.kind == E_RETURN; }

// Whether each expression of a decoded form is a chain that runs no code,
// the last one maybe a return of one (see Form::answers).
bool only_answers(const Form* f) {
    for (size_t k = 0, n = f->exprs.size(); k < n; k++) {
        const Expr& e = f->exprs[k];
        if (e.kind == E_CHAIN ? e.runs : !(e.kind == E_RETURN && k + 1 == n)) return false;
    }
    return !f->exprs.empty();
}

// Decodes from the position on while each expression's end is known.
void decode_from(Form* f, uint32_t pos) {
    Code code = code_of(f->node);
    f->pure = f->quick = f->exprs.empty();
    while (pos < code.count) {
        Expr e = decode(f, code, pos);
        f->exprs.push_back(e);
        f->pure = f->pure && is_pure(e);
        f->quick = f->quick && is_quick(e);
        if (!e.next) {
            f->pure = f->quick = false;
            return;
        }
        pos = e.next;
    }
    f->decoded = true;
    f->count = uint32_t(f->exprs.size());
    f->one_call = f->count == 1 && calls(f->exprs[0]);
    f->answers = only_answers(f);
}

}  // namespace

void init() {
    char value[8];
    enabled = !(os::get_env("ZEL_PREPARE", value, sizeof value) == 1 && value[0] == '0');
}

Form* make(const Cell* block) {
    if (!enabled) return nullptr;
    if (table.bytes > MAX_BYTES) {
        memory::request_collection();
        return nullptr;
    }
    Node n = cell::series_node(block);
    SeriesBuffer* b = node::buffer(n);
    uint32_t start = uint32_t(cell::series_index(block)), count = uint32_t(series::length(b));
    if (start >= count || count - start > MAX_CELLS) return nullptr;
    Form* f = new Form{};
    f->node = n;
    f->start = start;
    f->head = b->head;
    f->tail = b->tail;
    decode_from(f, start);
    if (!f->one_call && std::none_of(f->exprs.begin(), f->exprs.end(), holds_chain)) {
        delete f;  // a form left in the table no longer holds: the buffer is not marked prepared
        b->flags |= SER_PLAIN;
        return nullptr;
    }
    Form*& entry = table.entry(n);
    if (entry) {  // a form running further up the C++ stack notices by the generation
        table.bytes -= entry->bytes;
        delete entry;
        generation++;
    }
    entry = f;
#ifdef ZEL_CHECK_PREPARED
    f->snapshot.assign(series::cells(b), series::cells(b) + count);
#endif
    account(f);
    b->flags |= SER_PREPARED;
    return f;
}

bool extend(Form* f, uint32_t pos) {
    if (f->decoded) return false;
    decode_from(f, pos);
    account(f);
    return true;
}

void settle(Form* f) {
    if (!f->decoded) return;
    f->pure = std::all_of(f->exprs.begin(), f->exprs.end(), is_pure);
    f->quick = std::all_of(f->exprs.begin(), f->exprs.end(), is_quick);
    f->one_call = f->count == 1 && calls(f->exprs[0]);
    f->answers = only_answers(f);
}

void forget_all() {
    table.forget();
    generation++;
}

}  // namespace prepared

#ifdef ZEL_CHECK_PREPARED
void check_snapshot(const std::vector<Cell>& snapshot, const SeriesBuffer* b, const char* what) {
    const Cell* now = series::cells(const_cast<SeriesBuffer*>(b));
    if (snapshot.empty() || std::memcmp(now, snapshot.data(), snapshot.size() * sizeof(Cell)) == 0) return;
    for (size_t i = 0; i < snapshot.size(); i++) {
        if (std::memcmp(now + i, &snapshot[i], sizeof(Cell)) == 0) continue;
        std::fprintf(stderr, "zel: a %s (node %u) changed at cell %zu without being unprepared\n", what, b->node, i);
        break;
    }
    std::abort();
}
#endif

}  // namespace zel
