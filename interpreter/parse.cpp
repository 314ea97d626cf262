// PARSE: the machine that walks the rules. A rules block is a list of
// alternatives separated by `|`; each alternative is a sequence of rules,
// and a rule is a plain value, a sub-block, a paren, or a keyword with its
// arguments. Failure of a rule skips to the next alternative and puts the
// input back where the block started.
//
// Every sub-block and every keyword that takes a rule pushes an entry on the
// shared rule stack before it recurses, so the depth of C++ recursion is
// bounded by the stack's limit (parse-stack), and re-entering a block at the
// same input position is seen there (parse-infinite). The entries also root
// the blocks and inputs being parsed, so a paren may reassign the words that
// led to them. The input is always re-read through its cell on the input
// stack: a paren may change any series and a safe point may move buffers.
// A rules block runs from its prepared form (below), made when it is first
// entered, which spares the commonest rules the decode of their cells.
#include "interpreter/parse.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "core/block.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/logic.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string_actions.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "interpreter/parse_internal.h"
#include "interpreter/prepared.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace parse {

WorkStacks work;

namespace {

// ---- keywords ---------------------------------------------------------------------

enum Keyword : uint8_t {
    KW_NONE_WORD, KW_BAR, KW_SKIP, KW_END, KW_NONE, KW_FAIL, KW_BREAK, KW_REJECT, KW_ANY, KW_SOME,
    KW_OPT, KW_WHILE, KW_TO, KW_THRU, KW_NOT, KW_AHEAD, KW_REMOVE, KW_COPY, KW_SET, KW_CASE, KW_INTO,
    KW_QUOTE, KW_IF, KW_INSERT, KW_CHANGE, KW_COLLECT, KW_KEEP,
    // modifiers: words with a meaning after a keyword only
    KW_ONLY, KW_PICK, KW_AFTER,
};

// How far each keyword reaches: plain (nothing after it), prefix (words,
// then a rule), operand (one value after it ends the rule), special (insert,
// change, collect and keep, whose optional words and forms extent reads);
// modifiers mean something only after one of those.
enum Shape : uint8_t { SHAPE_PLAIN, SHAPE_PREFIX, SHAPE_OPERAND, SHAPE_SPECIAL, SHAPE_MODIFIER };

struct KeywordRow {
    Shape shape;
    uint8_t words;  // word arguments before the rule of a prefix keyword
    int32_t code;   // the command record's code; 0: no entry of its own
};

const KeywordRow rows[] = {
    {SHAPE_MODIFIER, 0, 0},         // not a keyword
    {SHAPE_PLAIN, 0, 0},            // |
    {SHAPE_PLAIN, 0, 0},            // skip
    {SHAPE_PLAIN, 0, 0},            // end
    {SHAPE_PLAIN, 0, 0},            // none
    {SHAPE_PLAIN, 0, 0},            // fail
    {SHAPE_PLAIN, 0, 0},            // break
    {SHAPE_PLAIN, 0, 0},            // reject
    {SHAPE_PREFIX, 0, CODE_REPEAT}, // any
    {SHAPE_PREFIX, 0, CODE_REPEAT}, // some
    {SHAPE_PREFIX, 0, CODE_REPEAT}, // opt
    {SHAPE_PREFIX, 0, CODE_WHILE},  // while
    {SHAPE_PREFIX, 0, CODE_TO},     // to
    {SHAPE_PREFIX, 0, CODE_THRU},   // thru
    {SHAPE_PREFIX, 0, CODE_NOT},    // not
    {SHAPE_PREFIX, 0, CODE_AHEAD},  // ahead
    {SHAPE_PREFIX, 0, CODE_REMOVE}, // remove
    {SHAPE_PREFIX, 1, CODE_COPY},   // copy
    {SHAPE_PREFIX, 1, CODE_SET},    // set
    {SHAPE_PREFIX, 1, CODE_CASE},   // case
    {SHAPE_OPERAND, 0, CODE_INTO},  // into
    {SHAPE_OPERAND, 0, 0},          // quote
    {SHAPE_OPERAND, 0, 0},          // if
    {SHAPE_SPECIAL, 0, 0},          // insert
    {SHAPE_SPECIAL, 0, CODE_CHANGE},   // change
    {SHAPE_SPECIAL, 0, CODE_COLLECT},  // collect
    {SHAPE_SPECIAL, 0, CODE_KEEP},     // keep
    {SHAPE_MODIFIER, 0, 0},         // only
    {SHAPE_MODIFIER, 0, 0},         // pick
    {SHAPE_MODIFIER, 0, 0},         // after
};

// Canonical symbol id -> keyword, filled at init.
std::vector<uint8_t> keyword_table;

void fill_keywords() {
    const std::pair<uint32_t, Keyword> names[] = {
        {cell::word_symbol(words::keyword(words::K_bar)), KW_BAR}, {words::symbol(words::S_skip), KW_SKIP}, {words::symbol(words::S_end), KW_END},
        {words::symbol(words::S_none), KW_NONE}, {words::symbol(words::S_fail), KW_FAIL}, {words::symbol(words::S_break_), KW_BREAK},
        {words::symbol(words::S_reject), KW_REJECT}, {words::symbol(words::S_any), KW_ANY}, {words::symbol(words::S_some), KW_SOME},
        {words::symbol(words::S_opt), KW_OPT}, {words::symbol(words::S_while_), KW_WHILE}, {words::symbol(words::S_to), KW_TO},
        {words::symbol(words::S_thru), KW_THRU}, {words::symbol(words::S_not_), KW_NOT}, {words::symbol(words::S_ahead), KW_AHEAD},
        {words::symbol(words::S_remove), KW_REMOVE}, {words::symbol(words::S_copy), KW_COPY}, {words::symbol(words::S_set), KW_SET},
        {words::symbol(words::S_case_), KW_CASE}, {words::symbol(words::S_into), KW_INTO}, {words::symbol(words::S_quote), KW_QUOTE},
        {words::symbol(words::S_if_), KW_IF}, {words::symbol(words::S_insert), KW_INSERT}, {cell::word_symbol(words::word(words::W_change)), KW_CHANGE},
        {words::symbol(words::S_collect), KW_COLLECT}, {words::symbol(words::S_keep), KW_KEEP}, {words::symbol(words::S_only), KW_ONLY},
        {words::symbol(words::S_pick), KW_PICK}, {words::symbol(words::S_after), KW_AFTER},
    };
    for (const auto& n : names) {
        uint32_t id = symbol::resolve(n.first);
        if (id >= keyword_table.size()) keyword_table.resize(id + 1, KW_NONE_WORD);
        keyword_table[id] = n.second;
    }
}

inline Keyword keyword_of(const Cell* v) {
    if (cell::type(v) != T_WORD) return KW_NONE_WORD;
    uint32_t id = symbol::resolve(cell::word_symbol(v));
    return id < keyword_table.size() ? Keyword(keyword_table[id]) : KW_NONE_WORD;
}

// A keyword that acts as a rule (the modifiers are plain words there).
Keyword rule_keyword(const Cell* v) {
    Keyword k = keyword_of(v);
    return rows[k].shape == SHAPE_MODIFIER ? KW_NONE_WORD : k;
}

// ---- the rules block --------------------------------------------------------------

inline uint32_t rules_length(const Cell* blk) { return block::buffer_length(blk); }
inline Cell rule_at(const Cell* blk, uint32_t i) {
    if (i >= rules_length(blk)) return statics::none_cell;
    Cell v = *block::cell_at(blk, i);
    cell::clear_flag(&v);
    return v;
}
inline Cell rule_position(const Cell* blk, uint32_t i) {
    Cell at = *blk;
    cell::set_series_index(&at, i);
    return at;
}

// A keyword needs a value at i: at the end, or at a `|` where a rule is due,
// it raises parse-end.
void need(const Cell* blk, uint32_t i, const Cell* keyword, bool literal = false) {
    if (i >= rules_length(blk)) error::raise(Err::script_parse_end, keyword);
    Cell v = rule_at(blk, i);
    if (!literal && keyword_of(&v) == KW_BAR) error::raise(Err::script_parse_end, keyword);
}

// A word holding the input series (at any position): the position argument
// of insert and change.
bool is_position_word(const Parser& p, const Cell* v) {
    if (cell::type(v) != T_WORD || rule_keyword(v) != KW_NONE_WORD || cell::word_context(v) == 0) return false;
    const Cell* value = context::word_value(v);
    return types::is_series(cell::type(value)) && cell::series_node(value) == cell::series_node(p.input);
}

// A rule cell decoded: the value (its new-line flag cleared), its keyword
// (KW_BAR and the modifiers included), and for a word that is no rule
// keyword the slot of its value, when it has one. A step decodes its cell
// once: extent and the match read the same decode, and nothing between them
// runs code (a trace callback does; the match decodes again after it). The
// slot lies in a context's values, so a decode is good only until code runs
// or anything is allocated.
struct Rule {
    Cell v;
    Keyword k;
    const Cell* held;  // the word's value, or null
};

// The slot of a word: where a word's value lies, or null when it has none
// (an unbound word, or one whose context has no cell for it).
inline const Cell* word_slot(const Cell* w) {
    const Cell* held = context::bound_slot(w);
    if (!held && cell::word_context(w) && cell::word_index(w) >= 0) held = context::slot(cell::word_context(w), cell::word_index(w));
    return held;
}

inline void decode_value(Rule& r) {
    r.k = KW_NONE_WORD;
    r.held = nullptr;
    if (cell::type(&r.v) != T_WORD) return;
    r.k = keyword_of(&r.v);
    if (rows[r.k].shape == SHAPE_MODIFIER) r.held = word_slot(&r.v);
}

inline Rule decode(const Cell* blk, uint32_t i) {
    Rule r;
    r.v = rule_at(blk, i);
    decode_value(r);
    return r;
}

// A keyword that acts as a rule (the modifiers are plain words there).
inline Keyword rule_keyword(const Rule& r) { return rows[r.k].shape == SHAPE_MODIFIER ? KW_NONE_WORD : r.k; }

// A repeat count: an integer!, or a word that is no keyword and holds one.
// A word without a value is no count; matching it reports why.
inline bool is_count(const Rule& r) {
    return cell::type(&r.v) == T_INTEGER || (r.held && cell::type(r.held) == T_INTEGER);
}

bool count_at(const Cell* blk, uint32_t i, Cell* count) {
    Rule r = decode(blk, i);
    if (!is_count(r)) return false;
    *count = r.held ? *r.held : r.v;
    return true;
}

// What an extent depended on besides the cells: the words whose values it
// asked whether they were counts (none of them was), or dynamic when a
// word's value made a difference (a count, insert's position word).
struct ExtentLog {
    static constexpr uint32_t MOST = 2;
    uint32_t words[MOST];
    uint32_t count = 0;
    bool dynamic = false;
};

// is_count for the rule at position at, noted in the log.
inline bool count_noted(const Rule& r, uint32_t at, ExtentLog* log) {
    bool count = is_count(r);
    if (log && cell::type(&r.v) == T_WORD && rows[r.k].shape == SHAPE_MODIFIER) {
        if (count || log->count == ExtentLog::MOST) log->dynamic = true;
        else log->words[log->count++] = at;
    }
    return count;
}

// The index after the rule that starts at i, r its decode. Prefix keywords
// and counts chain without recursion, so the walk costs no machine stack.
uint32_t extent(const Parser& p, const Cell* blk, uint32_t i, Rule r, ExtentLog* log = nullptr) {
    uint32_t trailer = 0;
    Cell change_word = statics::none_cell;
    for (;;) {
        if (count_noted(r, i, log)) {
            Cell v = r.v;
            i += count_noted(decode(blk, i + 1), i + 1, log) ? 2 : 1;
            if (i >= rules_length(blk)) error::raise(Err::script_parse_rule, &v);
            r = decode(blk, i);
            continue;
        }
        const Cell& v = r.v;
        Keyword k = rule_keyword(r);
        const KeywordRow& row = rows[k];
        uint32_t j = i + 1;
        switch (k == KW_NONE_WORD ? SHAPE_PLAIN : row.shape) {
        case SHAPE_PLAIN:
        case SHAPE_MODIFIER: j = i + 1; break;
        case SHAPE_OPERAND:
            need(blk, i + 1, &v, k == KW_QUOTE);
            j = i + 2;
            break;
        case SHAPE_PREFIX: {
            for (uint32_t w = 1; w <= row.words; w++) need(blk, i + w, &v);
            Cell keyword = v;
            i += 1 + row.words;
            r = decode(blk, i);
            if (i >= rules_length(blk) || r.k == KW_BAR) error::raise(Err::script_parse_end, &keyword);
            continue;
        }
        case SHAPE_SPECIAL: {
            Cell next = rule_at(blk, j);
            Keyword m = keyword_of(&next);
            if (k == KW_COLLECT && (m == KW_SET || m == KW_INTO || m == KW_AFTER)) j += 2;
            if ((k == KW_INSERT || k == KW_CHANGE) && m == KW_ONLY) j++;
            if (k == KW_KEEP && m == KW_PICK) j++;
            need(blk, j, &v);
            Cell operand = rule_at(blk, j);
            if (k == KW_INSERT) {
                if (log && cell::type(&operand) == T_WORD) log->dynamic = true;
                if (is_position_word(p, &operand)) need(blk, ++j, &v);
                j++;
                break;
            }
            if (k == KW_KEEP && cell::type(&operand) == T_PAREN) {
                j++;
                break;
            }
            if (k == KW_CHANGE) {
                trailer++;
                change_word = v;
            }
            i = j;
            r = decode(blk, i);
            continue;
        }
        }
        if (trailer) need(blk, j + trailer - 1, &change_word);
        return j + trailer;
    }
}

uint32_t extent(const Parser& p, const Cell* blk, uint32_t i) { return extent(p, blk, i, decode(blk, i)); }

// extent, with the commonest rules, one value that is no count or a keyword
// with nothing after it, inline.
inline uint32_t next_of(const Parser& p, const Cell* blk, uint32_t i, const Rule& r) {
    Keyword k = rule_keyword(r);
    bool single = k == KW_NONE_WORD ? !is_count(r) : rows[k].shape == SHAPE_PLAIN;
    return single ? i + 1 : extent(p, blk, i, r);
}

// ---- rules blocks prepared ----------------------------------------------------------

// A rules block is not decoded again from its cells each time it is
// entered: its form keeps, per rule position, the keyword and kind of the
// cell, and where the rule and its alternative end, found the first time a
// parse needed them. A form holds while the buffer keeps its SER_RULES mark
// (which every writer of its cells clears) and its head and tail; an end
// that depended on a word's value holds while those words hold no count. Forms name
// nodes, so every collection forgets them all; nothing keeps a form or a
// step across anything that runs code or allocates, so forgetting them
// then, or making and dropping others, leaves no one with a dangling one.
// A trace callback gets the general steps, which fire its events.

// What the cell may be as a rule, which tells the form's quick paths to try.
enum StepKind : uint8_t {
    STEP_OTHER,    // a count, set- or get-word, or a keyword taking more
    STEP_PLAIN,    // a keyword with nothing after it (skip, end, none, fail, break, reject, |)
    STEP_REPEAT,   // any, some, opt, while
    STEP_VALUE,    // a value that may match as it is, or a word that may hold one or a block
    STEP_BLOCK,    // a sub-block
    STEP_PAREN,    // code to run
};

struct Step {
    uint32_t next;   // the index after the rule, 0 until found
    uint32_t fail;   // the `|` or the length that ends the alternative when the rule fails, 0 until found
    uint32_t fail_from;  // the index after the rule that fail was found from
    uint32_t words[ExtentLog::MOST];  // the words next depends on
    uint8_t word_count;
    Keyword k;
    StepKind kind;
};

StepKind step_kind(const Cell* v, Keyword k) {
    switch (cell::type(v)) {
    case T_WORD:
        if (rows[k].shape == SHAPE_MODIFIER) return STEP_VALUE;
        if (rows[k].shape == SHAPE_PLAIN) return STEP_PLAIN;
        return k == KW_ANY || k == KW_SOME || k == KW_OPT || k == KW_WHILE ? STEP_REPEAT : STEP_OTHER;
    case T_SET_WORD:
    case T_GET_WORD:
    case T_INTEGER: return STEP_OTHER;
    case T_PAREN: return STEP_PAREN;
    case T_BLOCK: return STEP_BLOCK;
    default: return STEP_VALUE;
    }
}

struct Form {
    uint32_t head, tail;
    uint32_t count;  // the steps, one a cell
    std::vector<Step> steps;
    std::vector<Cell> snapshot;  // the cells when made (sanitizer builds)
};

FormTable<Form> forms;
constexpr uint32_t MAX_FORM_CELLS = 4096;
constexpr size_t MAX_FORM_BYTES = size_t(4) << 20;  // past it every form is forgotten

Form* make_form(Node n, SeriesBuffer* b, const Cell* blk) {
    uint32_t length = series::length(b);
    if (length > MAX_FORM_CELLS) return nullptr;
    if (forms.bytes > MAX_FORM_BYTES) forms.forget();
    Form*& slot = forms.entry(n);
    if (!slot) {
        slot = new Form;
        forms.bytes += sizeof(Form);
    }
    forms.bytes -= slot->steps.capacity() * sizeof(Step);
    slot->head = b->head;
    slot->tail = b->tail;
    slot->steps.assign(length, Step{});
    slot->count = length;
    for (uint32_t i = 0; i < length; i++) {
        Step& s = slot->steps[i];
        const Cell* v = block::cell_at(blk, i);
        s.k = keyword_of(v);
        s.kind = step_kind(v, s.k);
    }
    forms.bytes += slot->steps.capacity() * sizeof(Step);
#ifdef ZEL_CHECK_PREPARED
    slot->snapshot.assign(series::cells(b), series::cells(b) + length);
#endif
    b->flags |= SER_RULES;
    return slot;
}

// Sanitizer builds: aborts when the cells differ from those the form was
// made from while the buffer's mark says they are unchanged (a writer that
// did not unprepare).
#ifdef ZEL_CHECK_PREPARED
void check_unchanged(Form* f, const Cell* blk) {
    check_snapshot(f->snapshot, node::buffer(cell::series_node(blk)), "prepared rules block");
}
#else
inline void check_unchanged(Form*, const Cell*) {}
#endif

// The form of the rules block, made when there is none; null while a trace
// watches (the general steps fire its events) and with preparation off.
inline Form* form_of(const Parser& p, const Cell* blk) {
    if (!p.forms) return nullptr;
    Node n = cell::series_node(blk);
    SeriesBuffer* b = node::buffer(n);
    Form* f = forms.find(n);
    if (f && (b->flags & SER_RULES) && f->head == b->head && f->tail == b->tail) return f;
    return make_form(n, b, blk);
}

[[gnu::always_inline]] inline Rule decode_step(const Cell* blk, uint32_t i, const Step& s) {
    Rule r;
    r.v = *block::cell_at(blk, i);
    cell::clear_flag(&r.v);
    r.k = s.k;
    r.held = cell::type(&r.v) == T_WORD && rows[r.k].shape == SHAPE_MODIFIER ? word_slot(&r.v) : nullptr;
    return r;
}

// Whether the words a step's next depends on still hold no count.
inline bool words_hold(const Cell* blk, const Step& s) {
    for (uint32_t w = 0; w < s.word_count; w++) {
        const Cell* held = word_slot(block::cell_at(blk, s.words[w]));
        if (held && cell::type(held) == T_INTEGER) return false;
    }
    return true;
}

// next_of through the form: found once, then read while its words hold.
inline uint32_t step_next(const Parser& p, const Cell* blk, uint32_t i, const Rule& r, Step& s) {
    if (s.next && words_hold(blk, s)) return s.next;
    ExtentLog log;
    uint32_t next = extent(p, blk, i, r, &log);
    if (!log.dynamic) {
        s.next = next;
        s.word_count = uint8_t(log.count);
        std::copy(log.words, log.words + log.count, s.words);
    }
    return next;
}

// ---- the work stacks ----------------------------------------------------------------

void mark_work() {
    collector::mark_cells(work.rules, work.rules + work.rule_top);
    collector::mark_cells(work.inputs, work.inputs + work.input_top);
    work.seen_stale = true;
    forms.forget();
}

inline uint8_t seen_hash(const Cell* rule, const Cell* input) {
    uint32_t h = cell::series_node(rule) * 0x9E3779B1u ^ uint32_t(cell::series_index(rule)) * 0x85EBCA6Bu ^
                 cell::series_node(input) * 0xC2B2AE35u ^ uint32_t(cell::series_index(input)) * 0x27D4EB2Fu;
    return uint8_t(h >> 24);
}

void count_seen() {
    std::fill(std::begin(work.seen), std::end(work.seen), uint16_t(0));
    for (uint32_t e = 0; e < work.rule_top; e += ENTRY_CELLS) {
        if (work.kinds[e / ENTRY_CELLS] != ENTRY_BLOCK) continue;
        uint8_t h = seen_hash(&work.rules[e], &work.rules[e + 1]);
        work.hashes[e / ENTRY_CELLS] = h;
        work.seen[h]++;
    }
    work.seen_stale = false;
}

// A rule-stack entry for the life of a scope: the rule position, the input
// position and the record.
struct Entry {
    uint32_t at, e;  // its first cell, its index
    Entry(const Parser& p, EntryKind kind, const Cell* rule, int32_t code) : at(work.rule_top), e(at / ENTRY_CELLS) {
        push(p, kind, rule, code);
    }
    // A block's entry, hash its seen_hash.
    Entry(const Parser& p, const Cell* rule, uint8_t hash) : at(work.rule_top), e(at / ENTRY_CELLS) {
        push(p, ENTRY_BLOCK, rule, 0);
        work.hashes[e] = hash;
        work.seen[hash]++;
    }
    void push(const Parser& p, EntryKind kind, const Cell* rule, int32_t code) {
        if (work.rule_top + ENTRY_CELLS > STACK_CELLS) error::raise(Err::script_parse_stack);
        work.rules[at] = *rule;
        work.rules[at + 1] = *p.input;
        cell::make_integer(&work.rules[at + 2], code);
        work.kinds[e] = kind;
        work.rule_top += ENTRY_CELLS;
    }
    ~Entry() {
        if (work.kinds[e] == ENTRY_BLOCK) work.seen[work.hashes[e]]--;
        work.rule_top = at;
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    int32_t index() const { return int32_t(e); }
    Cell* rule() const { return &work.rules[at]; }
    Cell* record() const { return &work.rules[at + 2]; }
};

// Entering a block that is already active at the same rule and input
// positions would loop for ever. The counts by hash rule out most entries
// at once; the walk tests the rule's node and index first, which tell most
// of the others apart.
// Answers the entry's hash.
uint8_t check_infinite(const Parser& p, const Cell* block) {
    if (work.seen_stale) count_seen();
    uint8_t hash = seen_hash(block, p.input);
    if (work.seen[hash] == 0) return hash;
    Node node = cell::series_node(block), input = cell::series_node(p.input);
    int32_t index = cell::series_index(block), at = cell::series_index(p.input);
    for (uint32_t e = p.rule_base; e < work.rule_top; e += ENTRY_CELLS) {
        const Cell* r = &work.rules[e];
        if (cell::series_node(r) != node || cell::series_index(r) != index) continue;
        const Cell* in = &work.rules[e + 1];
        if (work.kinds[e / ENTRY_CELLS] == ENTRY_BLOCK && cell::series_node(in) == input && cell::series_index(in) == at)
            error::raise(Err::script_parse_infinite, block);
    }
    return hash;
}

// ---- trace and parens -------------------------------------------------------------

enum Event : uint8_t { EV_PUSH, EV_POP, EV_FETCH, EV_MATCH, EV_ITERATE, EV_PAREN, EV_END };

// A callback's false or none stops the whole parse with the state it saw.
struct Stop {
    bool ok;
};

const Cell* event_word(Event e) {
    static const words::Word names[] = {words::W_push, words::W_pop, words::W_fetch, words::W_match,
                                        words::W_iterate, words::W_paren};
    return e == EV_END ? words::keyword(words::K_end) : words::word(names[e]);
}

void call_trace(const Parser& p, Event e, bool ok, const Cell* blk, uint32_t i) {
    Cell args[5] = {statics::unset_cell, statics::unset_cell, statics::unset_cell, statics::unset_cell,
                    statics::unset_cell};
    temp_roots::Hold hold(args, 5);
    args[0] = *event_word(e);
    cell::make_logic(&args[1], ok);
    args[2] = rule_position(blk, i);
    args[3] = *p.input;
    block::write_cell(&args[4], int32_t(work.rule_top - p.rule_base));
    for (uint32_t c = p.rule_base; c < work.rule_top; c++) block::append_copy(&args[4], &work.rules[c]);
    Cell* top = stack::reg.top;
    interp::invoke_raising(p.callback, words::word(words::W_tag_parse_callback), args, 5);
    bool go_on = logic::is_truthy(stack::top());
    stack::reg.top = top;
    if (!go_on) throw Stop{ok};
}

inline void fire(const Parser& p, Event e, bool ok, const Cell* blk, uint32_t i) {
    if (p.callback) call_trace(p, e, ok, blk, i);
}

// Evaluates a paren; its value comes back. A pending exit leaves as the
// exception, which the native turns back.
Cell eval_paren(const Parser& p, const Cell* paren, const Cell* blk, uint32_t i) {
    Cell code = *paren;
    temp_roots::Hold hold(&code);
    Cell* top = stack::reg.top;
    interp::eval_raising(words::word(words::W_paren), &code);
    Cell result = *stack::top();
    stack::reg.top = top;
    if (p.callback) {
        temp_roots::Hold hold_result(&result);  // the callback may collect
        call_trace(p, EV_PAREN, true, blk, i);
    }
    return result;
}

// The value of insert and change: a paren's result, a word's value, or the
// value itself.
Cell operand_value(const Parser& p, const Cell* v, const Cell* blk, uint32_t i) {
    uint32_t t = cell::type(v);
    if (t == T_PAREN) return eval_paren(p, v, blk, i);
    if (t == T_PATH || t == T_GET_PATH || t == T_SET_PATH || t == T_LIT_PATH)
        error::raise(Err::script_parse_rule, v);
    if (t != T_WORD) return *v;
    Cell value = cell::word_context(v) ? *context::word_value(v) : statics::unset_cell;
    if (cell::type(&value) == T_UNSET) error::raise(Err::script_no_value, v);
    return value;
}

Cell word_argument(const Cell* blk, uint32_t i) {
    Cell w = rule_at(blk, i);
    if (cell::type(&w) != T_WORD) error::raise(Err::script_parse_rule, &w);
    return w;
}

// ---- matching ---------------------------------------------------------------------

bool match_block(Parser& p, const Cell* block);
// The block rule at i (a form's STEP_BLOCK) matched.
inline bool sub_block(Parser& p, const Cell* blk, uint32_t i) {
    Cell rules = *block::cell_at(blk, i);
    cell::clear_flag(&rules);
    return match_block(p, &rules);
}

bool match_rule(Parser& p, const Cell* blk, uint32_t i);
inline bool rule_in_line(Parser& p, const Cell* blk, uint32_t i);
bool match_decoded(Parser& p, const Cell* blk, uint32_t i, const Rule& r);
bool match_traced(Parser& p, const Cell* blk, uint32_t i, const Rule& r);

// The rule at i, r its decode.
inline bool match_step(Parser& p, const Cell* blk, uint32_t i, const Rule& r) {
    return p.callback ? match_traced(p, blk, i, r) : match_decoded(p, blk, i, r);
}

inline bool step_form(Parser& p, const Cell* blk, uint32_t i, Form* f, Step& s, uint32_t* next, bool* quiet);
inline int repeat_form(Parser& p, const Cell* blk, uint32_t i, Keyword k, Form* f, bool* quiet);
bool keyword(Parser& p, Keyword k, const Cell* blk, uint32_t i);
bool step_one(Parser& p, const Cell* blk, uint32_t i);
bool match_plain(Parser& p, const Cell* rule, const Cell* blk, uint32_t i);

// Where the alternative of a failed rule ends: its `|` or the block's
// length, walking on from next, the index after the rule.
uint32_t alternative_end(const Parser& p, const Cell* blk, uint32_t next) {
    while (next < rules_length(blk)) {
        Rule w = decode(blk, next);
        if (w.k == KW_BAR) break;
        next = next_of(p, blk, next, w);
    }
    return next;
}

// The same through the form, kept in the failed rule's step with the index
// the walk started from, when no word decided any of the rules' ends on it.
uint32_t alternative_end(const Parser& p, const Cell* blk, uint32_t i, uint32_t next, Form* f) {
    if (i >= f->count) return alternative_end(p, blk, next);  // the rule's code shortened the block
    Step& failed = f->steps[i];
    if (failed.fail && failed.fail_from == next) return failed.fail;
    uint32_t from = next, length = rules_length(blk);
    bool fixed = true;
    while (next < length) {
        Step& s = f->steps[next];
        if (s.k == KW_BAR) break;
        uint32_t at = next;
        next = step_next(p, blk, at, decode_step(blk, at, s), s);
        fixed = fixed && s.next == next && !s.word_count;
    }
    if (fixed) {
        failed.fail = next;
        failed.fail_from = from;
    }
    return next;
}

bool match_block(Parser& p, const Cell* block) {
    Entry entry(p, block, check_infinite(p, block));
    const Cell* blk = entry.rule();
    int32_t start = position(p);
    uint32_t i = uint32_t(cell::series_index(blk));
    fire(p, EV_PUSH, true, blk, i);
    bool ok = true;
    Form* f = form_of(p, blk);
    if (f) check_unchanged(f, blk);
    for (;;) {
        uint32_t length = f ? f->count : rules_length(blk);
        if (i >= length) break;
        uint32_t next;
        bool quiet = false;
        if (f) {
            Step& s = f->steps[i];
            if (s.k == KW_BAR) break;
            quiet = true;
            ok = step_form(p, blk, i, f, s, &next, &quiet);
        } else {
            Rule r = decode(blk, i);
            if (r.k == KW_BAR) break;
            next = next_of(p, blk, i, r);
            ok = match_step(p, blk, i, r);
        }
        // A match may have run code that changed the block or forgot the forms.
        if (!quiet) f = form_of(p, blk);
        if (p.signal != SIGNAL_NONE) break;
        if (ok) {
            i = next;
            continue;
        }
        next = f ? alternative_end(p, blk, i, next, f) : alternative_end(p, blk, next);
        length = rules_length(blk);
        if (next >= length) break;
        if (next + 1 >= length) {
            Cell bar = rule_at(blk, next);
            error::raise(Err::script_parse_end, &bar);
        }
        i = next + 1;
        set_position(p, start);
        ok = true;
    }
    if (!ok) set_position(p, start);
    fire(p, EV_POP, ok, blk, i);
    return ok;
}

// The value a rule matches as it is, when matching it runs no code and can
// change nothing: a plain value, or a word holding one, against text input
// (but datatypes on binary input, which the lexer reads), or a datatype or
// typeset against block input. Null for any other rule, and while a trace
// callback watches. Matching these allocates nothing either, so a word's
// slot stays where it is for the whole repetition.
// What a value's type makes of it as a rule in terminal().
enum TerminalClass : uint8_t { TERMINAL_VALUE, TERMINAL_NO, TERMINAL_TYPES };
struct TerminalClasses {
    TerminalClass of[256];
    constexpr TerminalClasses() : of{} {
        for (uint32_t t : {T_WORD, T_SET_WORD, T_GET_WORD, T_INTEGER, T_PAREN, T_BLOCK, T_UNSET}) of[t] = TERMINAL_NO;
        of[T_DATATYPE] = of[T_TYPESET] = TERMINAL_TYPES;
    }
};
constexpr TerminalClasses TERMINAL_CLASSES;

inline const Cell* terminal(const Parser& p, const Rule& r) {
    if (p.callback) return nullptr;
    const Cell* v = &r.v;
    if (cell::type(v) == T_WORD) {
        if (!r.held || rule_keyword(r) != KW_NONE_WORD) return nullptr;
        v = r.held;
    }
    TerminalClass c = TERMINAL_CLASSES.of[cell::type(v)];
    if (c == TERMINAL_NO) return nullptr;
    if (is_block_input(p)) return c == TERMINAL_TYPES ? v : nullptr;
    return c == TERMINAL_TYPES && cell::type(p.input) == T_BINARY ? nullptr : v;
}

// repeat for a terminal: its rounds without a decode or a trace each.
[[gnu::always_inline]] inline bool repeat_terminal(Parser& p, const Cell* value, int32_t min, int32_t max, bool is_while) {
    int32_t start = position(p);
    int64_t count = match_run(p, value, max < 0 ? INT64_MAX : max);
    if (count >= 0) {
        if (count < min) return false;
        set_position(p, int32_t(start + count));
        return true;
    }
    count = 0;
    while (max < 0 || count < max) {
        int32_t n = match_value(p, value);
        if (n < 0) break;
        set_position(p, position(p) + n);
        count++;
        if (!is_while && n == 0) break;
    }
    if (count >= min) return true;
    set_position(p, start);
    return false;
}

// Repeats the rule at i from min to max times (max -1: no limit). A round
// that neither advances nor shortens the input ends it, except for while.
// The count is 64 bits wide: a while that never ends goes on counting
// rounds for as long as it runs.
// repeat_terminal out of line, for repeat: a chain of prefix keywords
// recurses through repeat, whose frame stays small.
[[gnu::noinline]] bool repeat_terminal_out(Parser& p, const Cell* value, int32_t min, int32_t max, bool is_while) {
    return repeat_terminal(p, value, min, max, is_while);
}

bool repeat(Parser& p, const Cell* blk, uint32_t i, int32_t min, int32_t max, bool is_while) {
    Rule r = decode(blk, i);
    if (const Cell* value = terminal(p, r)) return repeat_terminal_out(p, value, min, max, is_while);
    int32_t start = position(p);
    int64_t count = 0;
    while (max < 0 || count < max) {
        int32_t before = position(p);
        uint32_t length_before = series::buffer_length(p.input);
        bool ok = rule_in_line(p, blk, i);
        Signal s = p.signal;
        p.signal = SIGNAL_NONE;
        if (s == SIGNAL_BREAK) return true;
        if (s == SIGNAL_REJECT) {
            set_position(p, start);
            return false;
        }
        if (!ok) {
            set_position(p, before);
            break;
        }
        count++;
        fire(p, EV_ITERATE, true, blk, i);
        if (!is_while && position(p) == before && series::buffer_length(p.input) >= length_before) break;
    }
    if (count >= min) return true;
    set_position(p, start);
    return false;
}

// The bounds of the repeating keywords.
struct Repetition {
    int32_t min, max;  // max -1: no limit
    bool is_while;
};

// The repeating keywords are numbered in a row, in this table's order.
static_assert(KW_SOME == KW_ANY + 1 && KW_OPT == KW_ANY + 2 && KW_WHILE == KW_ANY + 3);
constexpr Repetition REPETITIONS[] = {{0, -1, false}, {1, -1, false}, {0, 1, false}, {0, -1, true}};

inline const Repetition* repetition_of(Keyword k) {
    return k >= KW_ANY && k <= KW_WHILE ? &REPETITIONS[k - KW_ANY] : nullptr;
}

// The repetition of the rule after the keyword at i in the keyword's entry.
[[gnu::noinline]] bool repeat_entered(Parser& p, const Cell* blk, uint32_t i, Keyword k, const Repetition& rep) {
    Cell at = rule_position(blk, i);
    Entry entry(p, ENTRY_COMMAND, &at, rows[k].code);
    return repeat(p, blk, i + 1, rep.min, rep.max, rep.is_while);
}

// A repeating keyword through the form, untraced, before a rule whose end
// is known: a terminal, run without the rule-stack entry that only a trace
// or an error of the rule could see (its room is still checked, as the
// entry would raise parse-stack); or a block or a word holding one, run as
// keyword() runs it, which clears quiet. -1 for any other rule after the
// keyword.
[[gnu::always_inline]] inline int repeat_form(Parser& p, const Cell* blk, uint32_t i, Keyword k, Form* f, bool* quiet) {
    const Repetition* rep = repetition_of(k);
    if (!rep) return -1;
    const Step& s = f->steps[i + 1];
    if (s.kind != STEP_VALUE && s.kind != STEP_BLOCK) return -1;
    Rule r = decode_step(blk, i + 1, s);
    if (const Cell* value = terminal(p, r)) {
        if (work.rule_top + ENTRY_CELLS > STACK_CELLS) error::raise(Err::script_parse_stack);
        return repeat_terminal(p, value, rep->min, rep->max, rep->is_while);
    }
    if (s.kind == STEP_VALUE && !(r.held && cell::type(r.held) == T_BLOCK)) return -1;
    *quiet = false;
    return repeat_entered(p, blk, i, k, *rep);
}

// The rule at i through its step, untraced. next, when asked for, gets the
// index after the rule; quiet is cleared when the match may have run code
// or allocated (the form may then no longer hold). The quick paths are
// rules whose end is known without a look at what words hold beyond what
// the match reads anyway: keywords with nothing after them, repetitions of
// a terminal, terminals, and blocks or words holding one; anything else is
// the general step.
[[gnu::always_inline]] inline bool step_form(Parser& p, const Cell* blk, uint32_t i, Form* f, Step& s, uint32_t* next, bool* quiet) {
    switch (s.kind) {
    case STEP_PLAIN:  // none of these runs code
        if (next) *next = i + 1;
        return s.k == KW_SKIP ? step_one(p, blk, i) : keyword(p, s.k, blk, i);
    case STEP_REPEAT:
        if (i + 1 < f->count) {
            int fast = repeat_form(p, blk, i, s.k, f, quiet);
            if (fast >= 0) {
                if (next) *next = i + 2;
                return fast != 0;
            }
        }
        break;
    case STEP_VALUE: {
        Rule r = decode_step(blk, i, s);
        if (const Cell* value = terminal(p, r)) {
            if (next) *next = i + 1;
            return match_plain(p, value, blk, i);
        }
        *quiet = false;
        if (r.held && cell::type(r.held) == T_BLOCK) {
            if (next) *next = i + 1;
            Cell rules = *r.held;
            return match_block(p, &rules);
        }
        if (next) *next = step_next(p, blk, i, r, s);
        return match_step(p, blk, i, r);
    }
    case STEP_BLOCK:
        *quiet = false;
        if (next) *next = i + 1;
        return sub_block(p, blk, i);
    case STEP_PAREN: {
        *quiet = false;
        if (next) *next = i + 1;
        Cell code = *block::cell_at(blk, i);
        cell::clear_flag(&code);
        eval_paren(p, &code, blk, i);
        return true;
    }
    case STEP_OTHER: break;
    }
    *quiet = false;
    Rule r = decode_step(blk, i, s);
    if (next) *next = step_next(p, blk, i, r, s);
    return match_step(p, blk, i, r);
}

bool counted(Parser& p, const Cell* blk, uint32_t i) {
    Cell first = statics::none_cell, second;
    count_at(blk, i, &first);
    int32_t min = cell::get_int(&first), max = min;
    if (min < 0) error::raise(Err::script_out_of_range, &first);
    uint32_t rule = i + 1;
    if (count_at(blk, i + 1, &second)) {
        max = cell::get_int(&second);
        if (max < min) error::raise(Err::script_parse_rule, &second);
        rule++;
    }
    if (rule >= rules_length(blk)) error::raise(Err::script_parse_rule, &first);
    if (max == 0) return true;
    Cell at = rule_position(blk, i);
    Entry entry(p, ENTRY_COMMAND, &at, CODE_REPEAT);
    return repeat(p, blk, rule, min, max, false);
}

bool search(Parser& p, const Cell* blk, uint32_t i, bool thru) {
    Cell target = rule_at(blk, i + 1);
    if (rule_keyword(&target) == KW_END) {
        set_position(p, end_of(p));
        return true;
    }
    int32_t start = position(p);
    for (int64_t k = start; k <= end_of(p); k++) {
        set_position(p, int32_t(k));
        if (match_rule(p, blk, i + 1)) {
            if (!thru) set_position(p, int32_t(k));
            return true;
        }
        if (p.signal != SIGNAL_NONE) break;
    }
    set_position(p, start);
    return false;
}

// copy and set: the rule after the word, then the word gets what it matched.
[[gnu::noinline]] bool capture(Parser& p, const Cell* blk, uint32_t i, bool copy) {
    Cell w = word_argument(blk, i + 1);
    int32_t start = position(p);
    if (!match_rule(p, blk, i + 2)) return false;
    Cell value = statics::none_cell;
    int32_t end = position(p);
    if (copy) {
        Cell from = *p.input, part;
        cell::set_series_index(&from, uint32_t(start));
        cell::make_integer(&part, end > start ? end - start : 0);
        value = *actions::copy_dispatch(&from, &part, false, nullptr);
    } else if (end > start) {
        unit_at(p, start, &value);
    }
    word::set_value(&w, &value);
    return true;
}

[[gnu::noinline]] bool into(Parser& p, const Cell* blk, uint32_t i) {
    if (!is_block_input(p)) error::raise(Err::script_parse_block, p.input);
    Cell rules = rule_at(blk, i + 1);
    if (cell::type(&rules) == T_WORD) rules = *context::word_value(&rules);
    if (cell::type(&rules) != T_BLOCK) error::raise(Err::script_parse_rule, &rules);
    int32_t pos = position(p);
    if (pos >= end_of(p)) return false;
    Cell value = *block::cell_at(p.input, uint32_t(pos));
    uint32_t t = cell::type(&value);
    bool nested = types::is_series(t) && t != T_VECTOR && t != T_IMAGE;
    if (!nested) return false;
    if (work.input_top + 1 > STACK_CELLS) error::raise(Err::script_parse_stack);
    struct Scope {
        Parser& p;
        Cell* input;
        int32_t limit;
        ~Scope() {
            work.input_top--;
            set_input(p, input);
            p.limit = limit;
        }
    } scope{p, p.input, p.limit};
    cell::clear_flag(&value);
    work.inputs[work.input_top] = value;
    set_input(p, &work.inputs[work.input_top++]);
    p.limit = -1;
    bool ok = match_block(p, &rules) && position(p) >= end_of(p);
    if (ok) cell::set_series_index(scope.input, uint32_t(pos + 1));
    return ok;
}

[[gnu::noinline]] bool quoted(Parser& p, const Cell* blk, uint32_t i) {
    Cell v = rule_at(blk, i + 1);
    uint32_t t = cell::type(&v);
    bool literal = is_block_input(p) || t == T_CHAR || t == T_BINARY || types::is_any_string(t);
    int32_t n = -1;
    if (literal && is_block_input(p)) {
        int32_t pos = position(p);
        Cell value = pos < end_of(p) ? *block::cell_at(p.input, uint32_t(pos)) : statics::unset_cell;
        n = pos < end_of(p) && actions::compare(&value, &v, p.op) ? 1 : -1;
    } else if (literal) {
        n = match_value(p, &v);
    }
    fire(p, EV_MATCH, n >= 0, blk, i);
    if (n < 0) return false;
    set_position(p, position(p) + n);
    return true;
}

[[gnu::noinline]] bool if_(Parser& p, const Cell* blk, uint32_t i) {
    Cell v = rule_at(blk, i + 1);
    if (cell::type(&v) != T_PAREN) error::raise(Err::script_parse_rule, &v);
    Cell result = eval_paren(p, &v, blk, i + 1);
    return logic::is_truthy(&result);
}

bool case_(Parser& p, const Cell* blk, uint32_t i) {
    Cell w = word_argument(blk, i + 1);
    Cell* value = context::word_value(&w);
    int32_t saved = p.op;
    p.op = logic::is_truthy(value) ? actions::OP_STRICT_EQUAL : actions::OP_EQUAL;
    bool ok = match_rule(p, blk, i + 2);
    p.op = saved;
    return ok;
}

bool remove(Parser& p, const Cell* blk, uint32_t i) {
    int32_t start = position(p);
    if (!match_rule(p, blk, i + 1)) return false;
    remove_range(p, start, position(p) - start);
    return true;
}

[[gnu::noinline]] bool insert(Parser& p, const Cell* blk, uint32_t i) {
    uint32_t j = i + 1;
    Cell v = rule_at(blk, j);
    bool only = keyword_of(&v) == KW_ONLY;
    if (only) v = rule_at(blk, ++j);
    Cell place = statics::none_cell;
    if (is_position_word(p, &v)) {
        place = v;
        v = rule_at(blk, ++j);
    }
    Cell value = operand_value(p, &v, blk, j);
    int32_t where = position(p);
    if (cell::type(&place) == T_WORD) {
        const Cell* held = context::word_value(&place);
        if (cell::series_node(held) == cell::series_node(p.input)) where = cell::series_index(held);
    }
    where = std::max(0, std::min(where, int32_t(series::buffer_length(p.input))));
    insert_at(p, where, &value, only);
    return true;
}

[[gnu::noinline]] bool change(Parser& p, const Cell* blk, uint32_t i) {
    uint32_t j = i + 1;
    Cell v = rule_at(blk, j);
    bool only = keyword_of(&v) == KW_ONLY;
    if (only) v = rule_at(blk, ++j);
    uint32_t value_at = extent(p, blk, j);
    int32_t start = position(p), end;
    if (is_position_word(p, &v)) {
        // The part between the two positions, whichever comes first.
        int32_t length = int32_t(series::buffer_length(p.input));
        int32_t held = std::clamp(cell::series_index(context::word_value(&v)), 0, length);
        start = std::min(start, held);
        end = std::max(position(p), held);
    } else {
        if (!match_rule(p, blk, j)) return false;
        end = position(p);
    }
    Cell operand = rule_at(blk, value_at);
    Cell value = operand_value(p, &operand, blk, value_at);
    change_range(p, start, end > start ? end - start : 0, &value, only);
    return true;
}

[[gnu::noinline]] bool collect(Parser& p, const Cell* blk, uint32_t i, const Entry& entry) {
    uint32_t j = i + 1;
    Cell m = rule_at(blk, j);
    Keyword k = keyword_of(&m);
    CollectKind kind = k == KW_SET ? COLLECT_SET : k == KW_INTO ? COLLECT_INTO : k == KW_AFTER ? COLLECT_AFTER
                                                                                             : COLLECT_PLAIN;
    Cell w = statics::none_cell;
    if (kind != COLLECT_PLAIN) {
        w = word_argument(blk, j + 1);
        j += 2;
    }
    work.kinds[uint32_t(entry.index())] = ENTRY_COLLECT;
    collect_open(p, entry.record(), kind, &w);
    int32_t outer = p.collect;
    p.collect = entry.index();
    bool ok = match_rule(p, blk, j);
    p.collect = outer;
    collect_close(p, entry.record(), kind, &w, outer, ok);
    return ok;
}

[[gnu::noinline]] bool keep(Parser& p, const Cell* blk, uint32_t i) {
    if (p.collect < 0) error::raise(Err::script_parse_keep);
    uint32_t j = i + 1;
    Cell v = rule_at(blk, j);
    bool pick = keyword_of(&v) == KW_PICK;
    if (pick) v = rule_at(blk, ++j);
    if (cell::type(&v) == T_PAREN) {
        Cell value = eval_paren(p, &v, blk, j);
        keep_value(p, &value, pick);
        return true;
    }
    int32_t start = position(p);
    if (!match_rule(p, blk, j)) return false;
    keep_range(p, start, position(p), pick);
    return true;
}

bool step_one(Parser& p, const Cell* blk, uint32_t i) {
    bool ok = position(p) < end_of(p);
    if (ok) set_position(p, position(p) + 1);
    fire(p, EV_MATCH, ok, blk, i);
    return ok;
}

// The keywords whose steps keep values of their own run out of line: a
// chain of prefix keywords recurses through this function, whose frame
// stays small.
bool keyword(Parser& p, Keyword k, const Cell* blk, uint32_t i) {
    switch (k) {
    case KW_SKIP: return step_one(p, blk, i);
    case KW_END: return position(p) >= end_of(p);
    case KW_NONE: return true;
    case KW_FAIL: return false;
    case KW_BREAK: p.signal = SIGNAL_BREAK; return true;
    case KW_REJECT: p.signal = SIGNAL_REJECT; return false;
    case KW_QUOTE: return quoted(p, blk, i);
    case KW_IF: return if_(p, blk, i);
    case KW_INSERT: return insert(p, blk, i);
    default: break;
    }
    Cell at = rule_position(blk, i);
    Entry entry(p, ENTRY_COMMAND, &at, rows[k].code);
    if (const Repetition* rep = repetition_of(k)) return repeat(p, blk, i + 1, rep->min, rep->max, rep->is_while);
    switch (k) {
    case KW_TO: return search(p, blk, i, false);
    case KW_THRU: return search(p, blk, i, true);
    case KW_COPY: return capture(p, blk, i, true);
    case KW_SET: return capture(p, blk, i, false);
    case KW_INTO: return into(p, blk, i);
    case KW_CASE: return case_(p, blk, i);
    case KW_REMOVE: return remove(p, blk, i);
    case KW_CHANGE: return change(p, blk, i);
    case KW_COLLECT: return collect(p, blk, i, entry);
    case KW_KEEP: return keep(p, blk, i);
    case KW_NOT:
    case KW_AHEAD: {
        int32_t start = position(p);
        bool ok = match_rule(p, blk, i + 1);
        set_position(p, start);
        return k == KW_NOT ? !ok : ok;
    }
    default: return true;
    }
}

bool match_plain(Parser& p, const Cell* rule, const Cell* blk, uint32_t i) {
    int32_t n = match_value(p, rule);
    fire(p, EV_MATCH, n >= 0, blk, i);
    if (n < 0) return false;
    set_position(p, position(p) + n);
    return true;
}

// A word that is no keyword stands for its value: a sub-rule, a count, a
// paren to run, or a value to match.
bool match_word(Parser& p, const Rule& r, const Cell* blk, uint32_t i) {
    Cell value = r.held ? *r.held : *context::word_value(&r.v);
    switch (cell::type(&value)) {
    case T_UNSET: error::raise(Err::script_parse_rule, &r.v);
    case T_BLOCK: return match_block(p, &value);
    case T_INTEGER: return counted(p, blk, i);
    case T_PAREN: eval_paren(p, &value, blk, i); return true;
    default: return match_plain(p, &value, blk, i);
    }
}

// The rule at i, r its decode, without a trace.
bool match_decoded(Parser& p, const Cell* blk, uint32_t i, const Rule& r) {
    const Cell& v = r.v;
    switch (cell::type(&v)) {
    case T_WORD: {
        Keyword k = rule_keyword(r);
        return k != KW_NONE_WORD ? keyword(p, k, blk, i) : match_word(p, r, blk, i);
    }
    case T_SET_WORD: {
        Cell w = v, here = *p.input;
        word::set_value(&w, &here);
        return true;
    }
    case T_GET_WORD: {
        const Cell* held = context::word_value(&v);
        if (!types::is_series(cell::type(held)) || cell::series_node(held) != cell::series_node(p.input))
            error::raise(Err::script_parse_invalid_ref, &v);
        set_position(p, cell::series_index(held));
        return true;
    }
    case T_INTEGER: return counted(p, blk, i);
    case T_PAREN: eval_paren(p, &v, blk, i); return true;
    case T_BLOCK: return match_block(p, &v);
    default: return match_plain(p, &v, blk, i);
    }
}

// The same after the fetch event of a trace.
bool match_traced(Parser& p, const Cell* blk, uint32_t i, const Rule& r) {
    fire(p, EV_FETCH, true, blk, i);
    Rule fresh = r;
    decode_value(fresh);  // the callback may have set words
    return match_decoded(p, blk, i, fresh);
}

// match_rule through the form, out of line: the general path, which a
// chain of prefix keywords recurses through, keeps its small frame.
[[gnu::noinline]] bool rule_from_form(Parser& p, const Cell* blk, uint32_t i, Form* f) {
    bool quiet = true;
    return step_form(p, blk, i, f, f->steps[i], nullptr, &quiet);
}

// match_rule in line, for the rounds of a repetition.
[[gnu::always_inline]] inline bool rule_in_line(Parser& p, const Cell* blk, uint32_t i) {
    Form* f = form_of(p, blk);
    if (f && i < f->count) {
        // A sub-block, the commonest rule a keyword takes, is entered here.
        if (f->steps[i].kind == STEP_BLOCK) return sub_block(p, blk, i);
        return rule_from_form(p, blk, i, f);
    }
    return match_step(p, blk, i, decode(blk, i));
}

// Out of line for the keywords that take a rule: a chain of prefix keywords
// recurses through it, and their frames stay small.
bool match_rule(Parser& p, const Cell* blk, uint32_t i) { return rule_in_line(p, blk, i); }

// Puts both work stacks back to the tops a call found, on every way out.
struct Bases {
    uint32_t rules, inputs;
    ~Bases() {
        work.rule_top = rules;
        work.input_top = inputs;
    }
};

}  // namespace

void init() {
    static bool installed = false;
    work.rule_top = work.input_top = 0;
    count_seen();
    keyword_table.clear();
    fill_keywords();
    init_match();
    if (!installed) collector::register_(mark_work);
    installed = true;
}

void run(const Cell* input, const Cell* rules, int32_t op, int32_t limit, const Cell* callback, Cell* out) {
    Bases bases{work.rule_top, work.input_top};
    if (work.input_top + 1 > STACK_CELLS) error::raise(Err::script_parse_stack);
    Cell result = statics::unset_cell;
    temp_roots::Hold hold(&result);
    Parser p{work.rule_top, work.input_top, &work.inputs[work.input_top], limit, op, SIGNAL_NONE, callback, -1,
             &result, !callback && prepared::enabled, false, false};
    work.inputs[work.input_top++] = *input;
    set_input(p, p.input);
    bool ok;
    try {
        Cell blk = *rules;
        ok = match_block(p, &blk);
        ok = ok && p.signal != SIGNAL_REJECT && position(p) >= end_of(p);
        fire(p, EV_END, ok, &blk, rules_length(&blk));
    } catch (const Stop& stop) {
        cell::make_logic(out, stop.ok);
        return;
    }
    if (cell::type(&result) == T_BLOCK) *out = result;
    else cell::make_logic(out, ok);
}

}  // namespace parse
}  // namespace zel
