// PARSE: the rules that change the input (insert, remove, change) and the
// ones that gather values (collect, keep). Every change goes through the
// series actions of the input's own type, so owned series announce it and
// strings widen as they must; the position and the part limit then follow
// the change in length.
#include <algorithm>

#include "core/actions.h"
#include "core/block.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/raise.h"
#include "core/series.h"
#include "core/string_actions.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "interpreter/parse_internal.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace parse {

namespace {

inline int32_t length_of(const Cell* s) { return int32_t(series::buffer_length(s)); }

// Inserts the value into the target at its index and moves the index past
// what went in.
void store(Cell* target, const Cell* value, bool only) {
    Cell v = *value;
    temp_roots::Hold hold(&v);
    int32_t before = length_of(target);
    Cell at = *target;
    actions::lookup<ACT_insert>(&at)(&at, &v, -1, only, 1, false);
    cell::set_series_index(target, uint32_t(cell::series_index(target) + length_of(target) - before));
}

Cell* collect_record(Parser& p) {
    if (p.collect < 0) error::raise(Err::script_parse_keep);
    return &work.rules[uint32_t(p.collect) * ENTRY_CELLS + 2];
}

// The series of collect into/after: not the input, and able to hold what the
// input's parts are (no binary! for text or values, no text for values).
void check_target(const Parser& p, const Cell* target) {
    uint32_t t = cell::type(target);
    bool series = types::is_series(t) && t != T_VECTOR && t != T_IMAGE;
    if (!series) error::raise(Err::script_parse_into_type);
    if (cell::series_node(target) == cell::series_node(p.input)) error::raise(Err::script_parse_into_bad);
    bool binary_input = cell::type(p.input) == T_BINARY;
    if ((t == T_BINARY && !binary_input) || (types::is_any_string(t) && is_block_input(p)))
        error::raise(Err::script_parse_into_type);
}

}  // namespace

void remove_range(Parser& p, int32_t start, int32_t count) {
    if (count > 0) {
        Cell at = *p.input;
        cell::set_series_index(&at, uint32_t(start));
        Cell part;
        cell::make_integer(&part, count);
        actions::lookup<ACT_remove>(&at)(&at, &part, nullptr);
        if (p.limit > start) p.limit -= std::min(count, p.limit - start);
    }
    set_position(p, start);
}

// A limit follows the text an edit adds or removes before it; one given
// as far as the integers reach stays there.
static void move_limit(Parser& p, int32_t delta) {
    p.limit = int32_t(std::clamp<int64_t>(int64_t(p.limit) + delta, 0, INT32_MAX));
}

void insert_at(Parser& p, int32_t where, const Cell* value, bool only) {
    Cell v = *value;
    temp_roots::Hold hold(&v);
    int32_t before = length_of(p.input);
    Cell at = *p.input;
    cell::set_series_index(&at, uint32_t(where));
    actions::lookup<ACT_insert>(&at)(&at, &v, -1, only, 1, false);
    int32_t delta = length_of(p.input) - before;
    if (where <= position(p)) set_position(p, position(p) + delta);
    if (p.limit >= where) move_limit(p, delta);
}

void change_range(Parser& p, int32_t start, int32_t count, const Cell* value, bool only) {
    Cell v = *value;
    temp_roots::Hold hold(&v);
    int32_t before = length_of(p.input);
    Cell at = *p.input;
    cell::set_series_index(&at, uint32_t(start));
    actions::lookup<ACT_change>(&at)(&at, &v, count, only, 1);
    int32_t delta = length_of(p.input) - before;
    set_position(p, std::min(start + count + delta, length_of(p.input)));
    if (p.limit >= start + count) move_limit(p, delta);
}

void collect_open(Parser& p, Cell* record, CollectKind kind, const Cell* word) {
    if (kind == COLLECT_PLAIN || kind == COLLECT_SET) {
        block::write_cell(record, 8);
        return;
    }
    const Cell* target = context::word_value(word);
    check_target(p, target);
    *record = *target;
}

void collect_close(Parser& p, Cell* record, CollectKind kind, const Cell* word, int32_t outer, bool ok) {
    Cell w = *word;
    Cell collected = *record;  // its own block is answered from the head
    cell::set_series_index(&collected, 0);
    switch (kind) {
    case COLLECT_PLAIN:
        if (outer < 0) *p.result = collected;
        else if (ok) store(&work.rules[uint32_t(outer) * ENTRY_CELLS + 2], &collected, true);
        break;
    case COLLECT_SET: word::set_value(&w, &collected); break;
    case COLLECT_AFTER: word::set_value(&w, record); break;
    case COLLECT_INTO: break;
    }
}

void keep_range(Parser& p, int32_t start, int32_t end, bool pick) {
    Cell* record = collect_record(p);
    end = std::min(end, length_of(p.input));  // a paren may have shortened the input
    if (end <= start) return;
    Cell kept;
    if (end - start == 1 || pick) {
        for (int32_t k = start; k < end; k++) {
            unit_at(p, k, &kept);
            store(record, &kept, true);
        }
        return;
    }
    Cell from = *p.input, part;
    cell::set_series_index(&from, uint32_t(start));
    cell::make_integer(&part, end - start);
    kept = *actions::copy_dispatch(&from, &part, false, nullptr);
    store(record, &kept, true);
}

void keep_value(Parser& p, const Cell* value, bool pick) { store(collect_record(p), value, !pick); }

}  // namespace parse
}  // namespace zel
