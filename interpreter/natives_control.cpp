// The control natives: conditions (if, unless, either, any, all, switch,
// case) and loops (while, until, loop, repeat, forever, foreach, forall,
// remove-each), with the loop step routines compiled loops share.
//
// Every loop opens a loop frame named <body> around its turns, so break and
// continue from any depth land on it. foreach, forall and remove-each keep
// their state on the value stack below that frame: the series copy two cells
// below its base, the word (or words block) one cell below, and for
// remove-each the element count three cells below.
#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/logic.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/image.h"
#include "datatypes/map.h"
#include "datatypes/typeset.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "kernel/temp_roots.h"

namespace zel {

namespace {

Cell* arg(uint32_t k) { return stack::reg.base + k; }
const Cell* anon() { return words::word(words::W_tag_anon); }
const Cell* body_name() { return words::word(words::W_tag_body); }

void verify(bool flag, uint32_t index, const int32_t* refinements) {
    if (flag) natives::check_args(index, refinements);
}

// The end of a block as it stands now: code may shorten its own block.
uint32_t live_tail(const Cell* block) { return block::buffer_length(block); }

// ---- loop turns ---------------------------------------------------------------------

enum Turn { TURN_NEXT, TURN_CONTINUE, TURN_BREAK, TURN_EXIT };

// Evaluates the body in the loop frame on top, its value into the frame's
// result slot, and takes break and continue (body_ran, after a body that
// ran). TURN_EXIT: another exit passes, the caller returns at once.
Turn body_ran() {
    switch (exits::pending()) {
    case EXIT_NONE: return TURN_NEXT;
    case EXIT_CONTINUE: exits::clear(); return TURN_CONTINUE;
    case EXIT_BREAK:
        exits::clear();
        stack::keep();
        return TURN_BREAK;
    default: return TURN_EXIT;
    }
}
Turn run_body(interp::LoopBlock& body) {
    stack::keep();
    interp::eval_turn(body, body_name(), true);
    return body_ran();
}

// Opens the loop frame with its result slot set.
void open_loop(const Cell* result) {
    stack::enter_loop(body_name());
    stack::push(result);
}

// The turns of a loop frame that stops only when more() fails or the body
// breaks; the frame then gives its last value. Another exit passing leaves
// the frame to it.
template <typename More>
void run_turns(const Cell* body_block, More more) {
    interp::LoopBlock body{body_block};
    open_loop(&statics::unset_cell);
    while (more()) {
        Turn t = run_body(body);
        if (t == TURN_EXIT) return;
        if (t == TURN_BREAK) break;
    }
    stack::leave_last();
}

// ---- series kinds ---------------------------------------------------------------------

enum SeriesKind { KIND_NOT_SERIES, KIND_BLOCK, KIND_TEXT, KIND_MAP, KIND_IMAGE };

SeriesKind kind_of(uint32_t type) {
    if (types::is_any_block(type)) return KIND_BLOCK;
    if (types::is_any_string(type) || type == T_BINARY || type == T_VECTOR) return KIND_TEXT;
    switch (type) {
    case T_MAP: return KIND_MAP;
    case T_IMAGE: return KIND_IMAGE;
    default: return KIND_NOT_SERIES;
    }
}

Cell* loop_series() { return stack::reg.base - 2; }
Cell* loop_words() { return stack::reg.base - 1; }

// The value of pick at a position (1-based) of a series.
Cell pick_at(Cell* series, int32_t n) {
    auto pick = actions::lookup<ACT_pick>(series);
    Cell index;
    cell::make_integer(&index, n);
    return *pick(series, n, &index);
}

void assign_word(const Cell* word, const Cell* value) {
    Cell w = *word;
    Cell v = *value;
    word::set_value(&w, &v);
}

}  // namespace

// ---- loop step routines ----------------------------------------------------------------

namespace loop {

bool is_more(const Cell* series) {
    if (cell::type(series) == T_IMAGE) return image::head(series) < image::count(series);
    return uint32_t(cell::series_index(series)) < series::length(node::buffer(cell::series_node(series)));
}

// Word i gets what pick answers at i: characters, bytes, an image's pixels as
// tuples, none past the tail. The words are read where they lie now: a body
// that shortened the words block leaves no word to assign past its tail (as
// for a block's values).
void assign_from_series(const Cell* words_block, Cell* series, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        Cell value = pick_at(series, int32_t(i) + 1);
        uint32_t at = uint32_t(cell::series_index(words_block)) + i;
        if (at >= block::buffer_length(words_block)) error::raise(Err::script_invalid_arg, &statics::none_cell);
        assign_word(block::cell_at(words_block, at), &value);
    }
}

bool foreach_step(uint32_t n) {
    bool more = is_more(loop_series()) && n > 0;
    if (more) {
        Cell words_block = *loop_words();
        switch (kind_of(cell::type(loop_series()))) {
        case KIND_BLOCK: natives::set_many(&words_block, loop_series(), n, true, false, false); break;
        case KIND_TEXT:
        case KIND_IMAGE: assign_from_series(&words_block, loop_series(), n); break;
        case KIND_MAP: more = map::set_loop_words(&words_block, loop_series()); break;
        default: error::raise(Err::internal_not_done);
        }
    }
    cell::set_series_index(loop_series(), cell::series_index(loop_series()) + n);
    return more;
}

bool foreach_step_indexed() {
    Cell* s = loop_series();
    Cell value;
    if (cell::type(s) == T_BLOCK) {
        SeriesBuffer* buf = node::buffer(cell::series_node(s));
        if (uint32_t(cell::series_index(s)) >= series::length(buf)) return false;
        value = series::cells(buf)[cell::series_index(s)];
    } else {
        if (!is_more(s)) return false;
        value = pick_at(s, 1);
    }
    assign_word(loop_words(), &value);
    cell::set_series_index(loop_series(), cell::series_index(loop_series()) + 1);
    return true;
}

// Removes the n values just stepped over when the body's value (the loop
// frame's result) is truthy; the count cell lies three cells below the base.
void remove_each_step(uint32_t n) {
    if (!logic::is_truthy(stack::reg.base)) return;
    Cell* s = loop_series();
    cell::set_series_index(s, uint32_t(cell::series_index(s)) >= n ? cell::series_index(s) - n : 0);
    auto remove = actions::lookup<ACT_remove>(s);
    Cell* count = stack::reg.base - 3;
    Cell at = *remove(s, n > 1 ? count : nullptr, nullptr);
    *loop_series() = at;
}

bool forall_next(bool advance) {
    Cell* v = word::get_value(stack::reg.base - 1);
    if (advance) cell::set_series_index(v, cell::series_index(v) + 1);
    return !is_more(v);
}

void check_series_arg() { assign_word(stack::reg.base - 1, stack::reg.base - 2); }

}  // namespace loop

namespace {

// ---- conditions -----------------------------------------------------------------------

// The block as a whole, its last value into the result slot; or none.
void eval_or_none(bool condition, const Cell* block) {
    if (condition) interp::eval(anon(), block, true);
    else cell::make_none(stack::reg.base);
}

void if_(bool c, const int32_t* r) {
    verify(c, NAT_if, r);
    eval_or_none(logic::is_truthy(arg(0)), arg(1));
}

void unless(bool c, const int32_t* r) {
    verify(c, NAT_unless, r);
    eval_or_none(!logic::is_truthy(arg(0)), arg(1));
}

void either(bool c, const int32_t* r) {
    verify(c, NAT_either, r);
    interp::eval(anon(), logic::check_condition(arg(0)) ? arg(1) : arg(2), true);
}

// any and all: expression by expression; stop_when_truthy tells them apart.
// The block is copied out first, as the result slot holds it.
void any_all(bool stop_when_truthy) {
    Cell conds = *arg(0);
    temp_roots::Hold hold(&conds);
    uint32_t pos = uint32_t(cell::series_index(&conds));
    Cell* result = stack::reg.base;
    cell::make_none(result);
    while (pos < live_tail(&conds)) {
        stack::keep();
        pos = interp::eval_next_at(&conds, pos, true);
        if (exits::pending()) return;
        bool truthy = logic::is_truthy(stack::top());
        if (stop_when_truthy ? truthy : !truthy) {
            stack::return_value(truthy ? stack::top() : &statics::none_cell);
            return;
        }
        if (!stop_when_truthy) *result = *stack::top();
    }
    stack::keep();
}

void any(bool c, const int32_t* r) {
    verify(c, NAT_any, r);
    any_all(true);
}

void all(bool c, const int32_t* r) {
    verify(c, NAT_all, r);
    any_all(false);
}

// The first block after the first cell equal to the value (same type), or
// null; a block value matches nothing. matched tells a match without a
// block after it from no match.
const Cell* find_branch(const Cell* value, const Cell* cases, bool* matched) {
    *matched = false;
    if (cell::type(value) == T_BLOCK) return nullptr;
    uint32_t tail = live_tail(cases);
    for (uint32_t i = uint32_t(cell::series_index(cases)); i < tail; i++) {
        const Cell* key = block::cell_at(cases, i);
        if (cell::type(key) != cell::type(value) || !actions::compare(const_cast<Cell*>(value), const_cast<Cell*>(key), actions::OP_EQUAL))
            continue;
        *matched = true;
        for (uint32_t j = i + 1; j < tail; j++)
            if (cell::type(block::cell_at(cases, j)) == T_BLOCK) return block::cell_at(cases, j);
        return nullptr;
    }
    return nullptr;
}

void switch_cases(bool c, const int32_t* r) {
    verify(c, NAT_switch, r);
    bool matched;
    const Cell* branch = find_branch(arg(0), arg(1), &matched);
    if (branch) interp::eval(anon(), branch, true);
    else if (!matched && r[0] >= 0) interp::eval(anon(), arg(uint32_t(r[0])), true);
    else stack::return_value(&statics::none_cell);
}

// case: conditions and branches under a native frame of its own; the value
// of the last branch taken, or none.
void case_(bool c, const int32_t* r) {
    verify(c, NAT_case, r);
    bool all = r[0] >= 0;
    Cell* cases = arg(0);
    uint32_t pos = uint32_t(cell::series_index(cases));
    stack::enter_native(anon());
    stack::push(&statics::none_cell);
    bool selected = false;
    while (pos < live_tail(cases)) {
        selected = false;
        stack::keep();
        pos = interp::eval_next_at(cases, pos, true);
        if (exits::pending()) return;
        if (pos >= live_tail(cases)) error::raise(Err::script_need_value, words::keyword(words::K_case_));
        bool truthy = logic::check_condition(stack::top());
        stack::keep();
        if (!truthy) {
            pos++;
            continue;
        }
        const Cell* next = block::cell_at(cases, pos);
        if (cell::type(next) == T_BLOCK) {
            Cell branch = *next;
            pos++;
            interp::eval(anon(), &branch, true);
        } else {
            pos = interp::eval_next_at(cases, pos, false);
        }
        if (exits::pending()) return;
        selected = true;
        if (!all) break;
    }
    if (!selected) cell::make_none(stack::reg.base);
    stack::leave_last();
}

// ---- loops ----------------------------------------------------------------------------

void while_(bool c, const int32_t* r) {
    interp::WhileResume resume = interp::take_while_resume();
    verify(c, NAT_while, r);
    interp::LoopBlock cond{arg(0)}, body{arg(1)};
    open_loop(&statics::unset_cell);
    for (interp::QuickWhile q = interp::first_while(cond, body, resume);; q = interp::quick_while(cond, body)) {
        if (q == interp::WHILE_END) break;
        if (q == interp::WHILE_NONE) {
            stack::keep();
            interp::eval_turn(cond, anon(), false);
        }
        if (q == interp::WHILE_NONE || q == interp::WHILE_COND) {
            if (uint32_t code = exits::pending()) {
                if (code != EXIT_BREAK && code != EXIT_CONTINUE) return;
                exits::clear();
                error::raise(Err::throw_while_cond);
            }
            if (!logic::check_condition(stack::top())) break;
        }
        Turn t = q == interp::WHILE_BODY ? body_ran() : run_body(body);
        if (t == TURN_EXIT) return;
        if (t == TURN_BREAK) break;
    }
    stack::return_value(&statics::unset_cell);
    stack::leave_last();
}

void until(bool c, const int32_t* r) {
    verify(c, NAT_until, r);
    interp::LoopBlock body{arg(0)};
    open_loop(&statics::unset_cell);
    for (;;) {
        Turn t = run_body(body);
        if (t == TURN_EXIT) return;
        if (t == TURN_BREAK) break;
        if (t == TURN_NEXT && logic::check_condition(stack::reg.base)) break;
    }
    stack::leave_last();
}

// loop and repeat: the body count times (none when the count is not
// positive); repeat's word, when given, holds the turn counted from 1. The
// counter is 64-bit so a count of the largest integer still ends.
void run_counted(const Cell* word, int32_t count, const Cell* body) {
    if (count <= 0) {
        stack::return_value(&statics::none_cell);
        return;
    }
    int64_t i = 0;
    interp::LoopBlock turn{body};
    open_loop(&statics::unset_cell);
    for (;;) {
        interp::QuickCount q = interp::may_run_quick(turn) ? interp::quick_count(turn, word, &i, count)
                                                           : interp::COUNT_NONE;
        if (q == interp::COUNT_END) break;
        if (q == interp::COUNT_NONE) {
            if (++i > count) break;
            if (word) {
                Cell counter;
                cell::make_integer(&counter, int32_t(i));
                assign_word(word, &counter);
            }
        }
        Turn t = q == interp::COUNT_BODY ? body_ran() : run_body(turn);
        if (t == TURN_EXIT) return;
        if (t == TURN_BREAK) break;
    }
    stack::leave_last();
}

void loop_(bool c, const int32_t* r) {
    verify(c, NAT_loop, r);
    int32_t count = check::float_range(arg(0));
    run_counted(nullptr, count, arg(1));
}

void repeat(bool c, const int32_t* r) {
    verify(c, NAT_repeat, r);
    Cell* word = arg(0);
    int32_t count = check::float_range(arg(1));
    run_counted(word, count, arg(2));
}

void forever(bool c, const int32_t* r) {
    verify(c, NAT_forever, r);
    run_turns(arg(0), [] { return true; });
}

// The number of loop words; a words block must hold at least one.
uint32_t word_count(const Cell* words_arg) {
    if (cell::type(words_arg) != T_BLOCK) return 1;
    int32_t n = block::get_length(words_arg);
    if (n <= 0) error::raise(Err::script_invalid_arg, words_arg);
    return uint32_t(n);
}

// foreach and remove-each take one step of their words.
bool step(bool one_word, uint32_t n) { return one_word ? loop::foreach_step_indexed() : loop::foreach_step(n); }

void foreach(bool c, const int32_t* r) {
    verify(c, NAT_foreach, r);
    Cell* words_arg = arg(0);
    Cell* body = arg(2);
    bool one_word = cell::type(words_arg) == T_WORD;
    uint32_t n = word_count(words_arg);
    if (cell::type(arg(1)) == T_MAP && (one_word || n != 2))
        error::raise(Err::script_invalid_arg, words_arg);
    stack::push(arg(1));
    stack::push(words_arg);
    run_turns(body, [&] { return step(one_word, n); });
}

// The types forall walks.
Cell forall_types() {
    Cell ts;
    typeset::init_empty(&ts);
    for (uint32_t t = 1; t < TYPE_COUNT; t++)
        if (kind_of(t) == KIND_BLOCK || kind_of(t) == KIND_TEXT || kind_of(t) == KIND_IMAGE) typeset::set_bit(&ts, t);
    return ts;
}

void forall(bool c, const int32_t* r) {
    verify(c, NAT_forall, r);
    Cell* word = arg(0);
    interp::LoopBlock body{arg(1)};
    Cell start = *word::get_checked(word);
    Cell types = forall_types();
    check::argument(&types, 0, &start);
    stack::push(&start);
    stack::push(word);
    open_loop(&statics::unset_cell);
    bool broke = false;
    while (loop::is_more(word::get_value(loop_words()))) {
        Turn t = run_body(body);
        if (t == TURN_EXIT) return;
        if (t == TURN_BREAK) {
            broke = true;
            break;
        }
        Cell* now = word::get_value(loop_words());
        if (!typeset::has(&types, cell::type(now)) || cell::series_node(now) != cell::series_node(loop_series()))
            error::raise(Err::script_bad_loop_series, now);
        if (loop::forall_next(true)) break;
    }
    if (!broke) loop::check_series_arg();
    stack::leave_last();
}

void remove_each(bool c, const int32_t* r) {
    verify(c, NAT_remove_each, r);
    Cell* words_arg = arg(0);
    Cell* body = arg(2);
    bool one_word = cell::type(words_arg) == T_WORD;
    uint32_t n = word_count(words_arg);
    interp::LoopBlock body_turn{body};
    Cell count;
    cell::make_integer(&count, int32_t(n));
    stack::push(&count);
    stack::push(arg(1));
    stack::push(words_arg);
    open_loop(&statics::unset_cell);
    while (step(one_word, n)) {
        Turn t = run_body(body_turn);
        if (t == TURN_EXIT) return;
        if (t == TURN_BREAK) break;
        if (t == TURN_NEXT) loop::remove_each_step(n);
    }
    stack::leave();
    stack::return_value(arg(1));
}

constexpr natives::NativeDef DEFS[] = {
    {NAT_if, "if",
     "{If conditional expression is truthy, evaluate block; else return NONE}"
     " cond [any-type!] then-blk [block!]",
     if_},
    {NAT_unless, "unless",
     "{If conditional expression is falsy, evaluate block; else return NONE}"
     " cond [any-type!] then-blk [block!]",
     unless},
    {NAT_either, "either",
     "{If conditional expression is truthy, evaluate the first branch; else evaluate the alternative}"
     " cond [any-type!] true-blk [block!] false-blk [block!]",
     either},
    {NAT_any, "any", "{Evaluates and returns the first truthy value, if any; else NONE} conds [block!]", any},
    {NAT_all, "all", "{Evaluates and returns the last value if all are truthy; else NONE} conds [block!]", all},
    {NAT_while, "while",
     "{Evaluates body as long as condition block evaluates to truthy value}"
     " cond [block!] {Condition block to evaluate on each iteration}"
     " body [block!] {Block to evaluate on each iteration}",
     while_},
    {NAT_until, "until", "{Evaluates body until it is truthy} body [block!]", until},
    {NAT_loop, "loop", "{Evaluates body a number of times} count [integer! float!] body [block!]", loop_},
    {NAT_repeat, "repeat",
     "{Evaluates body a number of times, tracking iteration count}"
     " 'word [word!] {Iteration counter; not local to loop}"
     " value [integer! float!] {Number of times to evaluate body} body [block!]",
     repeat},
    {NAT_forever, "forever", "{Evaluates body repeatedly forever} body [block!]", forever},
    {NAT_foreach, "foreach",
     "{Evaluates body for each value in a series}"
     " 'word [word! block!] {Word, or words, to set on each iteration}"
     " series [series! map!] body [block!]",
     foreach},
    {NAT_forall, "forall",
     "{Evaluates body for all values in a series}"
     " 'word [word!] {Word referring to series to iterate over} body [block!]",
     forall},
    {NAT_remove_each, "remove-each",
     "{Removes values for each block that returns truthy value}"
     " 'word [word! block!] {Word or block of words to set each time}"
     " data [series!] {The series to traverse (modified)}"
     " body [block!] {Block to evaluate (return truthy value to remove)}",
     remove_each},
    {NAT_switch, "switch",
     "{Evaluates the first block following the value found in cases}"
     " value [any-type!] {The value to match} cases [block!]"
     " /default {Specify a default block, if value is not found in cases}"
     " case [block!] {Default block to evaluate}",
     switch_cases},
    {NAT_case, "case",
     "{Evaluates the block following the first truthy condition}"
     " cases [block!] {Block of condition-block pairs}"
     " /all {Test all conditions, evaluating the block following each truthy condition}",
     case_},
};
static_assert(natives::matches_ids(DEFS), "a native row out of order or misnamed");

}  // namespace

const natives::Module natives::module_control = {DEFS, sizeof DEFS / sizeof DEFS[0]};

}  // namespace zel
