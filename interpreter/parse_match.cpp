// PARSE: matching one plain rule value (not a block, paren or keyword) at
// the input position. Block input compares whole values under the parse's
// comparison op; string input compares characters, folding case unless the
// parse is case-sensitive; binary input compares bytes, text rules by their
// UTF-8 bytes.
#include <algorithm>
#include <cstring>

#include "core/bitset.h"
#include "core/block.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/error.h"
#include "datatypes/typeset.h"
#include "interpreter/parse_internal.h"
#include "io/lexer.h"
#include "kernel/casefold.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace parse {

void unit_at(const Parser& p, int32_t index, Cell* out) {
    if (index < 0 || uint32_t(index) >= series::buffer_length(p.input)) {
        *out = statics::none_cell;  // a paren may have shortened the input: nothing is read past its tail
    } else if (is_block_input(p)) {
        *out = *block::cell_at(p.input, uint32_t(index));
        cell::clear_flag(out);
    } else if (cell::type(p.input) == T_BINARY) {
        cell::make_integer(out, int32_t(string::char_at(p.input, uint32_t(index))));
    } else {
        cell::make_char(out, string::char_at(p.input, uint32_t(index)));
    }
}

namespace {

// Folding of the code points below 256, made from the case tables at start-up
// so that it folds exactly as they do; the rest goes to the tables.
uint32_t fold_low[256];

inline uint32_t fold(uint32_t cp) { return cp < 256 ? fold_low[cp] : case_::convert(cp, true); }
inline uint32_t fold(uint32_t cp, bool exact) { return exact ? cp : fold(cp); }

inline Units units_at(const Cell* series, uint32_t index) {
    SeriesBuffer* b = string::buffer_of(series);
    uint32_t shift = series::unit_shift(b);
    return Units{series::head_ptr(b) + (size_t(index) << shift), series::unit(b), shift};
}

// The characters a text rule stands for: a char!, or the text of an
// any-string from its index, a tag! inside its brackets.
struct RuleText {
    uint32_t count;
    uint32_t single;  // a char!'s character
    Units text;       // a string's characters (text.p null for a char!)
    bool brackets;

    uint32_t at(uint32_t k) const {
        if (!text.p) return single;
        if (brackets) {
            if (k == 0) return '<';
            if (k == count - 1) return '>';
            k--;
        }
        return text.at(k);
    }
    // Both texts in 1-byte units (ASCII): compared byte by byte.
    bool is_narrow() const { return text.p && !brackets && text.unit == 1; }
};

RuleText rule_text(const Cell* rule) {
    if (cell::type(rule) == T_CHAR) return RuleText{1, cell::get_char(rule), Units{nullptr, 1, 0}, false};
    Cell v = *rule;
    uint32_t length = string::get_length(&v);
    bool tag = cell::type(rule) == T_TAG;
    return RuleText{length + (tag ? 2 : 0), 0, units_at(&v, uint32_t(cell::series_index(&v))), tag};
}

// Characters of the rule against characters of the input.
int32_t match_chars(const Parser& p, const RuleText& t) {
    int32_t pos = position(p);
    if (int64_t(end_of(p)) - pos < int64_t(t.count)) return -1;
    Units in = units_at(p.input, uint32_t(pos));
    bool exact = is_case(p);
    if (t.is_narrow() && in.unit == 1) {
        if (exact) return std::memcmp(in.p, t.text.p, t.count) == 0 ? int32_t(t.count) : -1;
        for (uint32_t k = 0; k < t.count; k++)
            if (fold_low[in.p[k]] != fold_low[t.text.p[k]]) return -1;
        return int32_t(t.count);
    }
    for (uint32_t k = 0; k < t.count; k++)
        if (fold(in.at(k), exact) != fold(t.at(k), exact)) return -1;
    return int32_t(t.count);
}

// The UTF-8 bytes of the rule's characters against the input bytes; only
// ASCII letters fold, so the bytes of longer sequences compare exactly.
int32_t match_utf8(const Parser& p, const RuleText& t) {
    int32_t pos = position(p), end = end_of(p), at = pos;
    bool exact = is_case(p);
    for (uint32_t k = 0; k < t.count; k++) {
        uint8_t bytes[4];
        uint32_t n = utf8::encode_char(t.at(k), bytes);
        if (end - at < int32_t(n)) return -1;
        for (uint32_t j = 0; j < n; j++, at++) {
            uint32_t b = string::char_at(p.input, uint32_t(at));
            if (b < 0x80 && bytes[j] < 0x80 ? fold(b, exact) != fold(bytes[j], exact) : b != bytes[j]) return -1;
        }
    }
    return at - pos;
}

int32_t match_bytes(const Parser& p, const Cell* rule) {
    Cell r = *rule;
    int32_t pos = position(p);
    uint32_t count = uint32_t(series::get_length(&r, false));
    if (int64_t(end_of(p)) - pos < int64_t(count)) return -1;
    for (uint32_t k = 0; k < count; k++)
        if (string::char_at(p.input, uint32_t(pos) + k) != string::char_at(&r, uint32_t(cell::series_index(&r)) + k))
            return -1;
    return int32_t(count);
}

int32_t match_bitset(const Parser& p, const Cell* rule) {
    int32_t pos = position(p);
    if (pos >= end_of(p)) return -1;
    return string::bitset_has(rule, units_at(p.input, uint32_t(pos)).at(0)) ? 1 : -1;
}

bool type_matches(const Cell* rule, uint32_t type) {
    return cell::type(rule) == T_DATATYPE ? cell::datatype_id(rule) == type : typeset::has(rule, type);
}

// Loads one value from the bytes at the position. Bytes that are no valid
// source hold no value of any type, so a syntax error only fails the match;
// any other error goes on.
bool load_one(const Parser& p, Cell* loaded, lexer::Result* r) {
    lexer::Request request;
    request.mode = lexer::MODE_ONE;
    Cell* top = stack::reg.top;
    stack::enter_try(words::word(words::W_load));
    bool failed = exits::catch_error(
        [&] { *r = lexer::scan_binary(loaded, p.input, end_of(p) - position(p), request); });
    if (!failed) {
        stack::leave_drop();
        return true;
    }
    Cell raised = *stack::top();
    stack::reg.top = top;
    if (symbol::resolve(error::category_symbol(&raised)) != symbol::resolve(cell::word_symbol(words::word(words::W_syntax))))
        stack::throw_error(&raised);
    return false;
}

// One value loaded by the lexer from the bytes at the position.
int32_t match_loaded(const Parser& p, const Cell* rule) {
    if (position(p) >= end_of(p)) return -1;
    Cell loaded = statics::none_cell;
    temp_roots::Hold hold(&loaded);
    lexer::Result r{};
    if (!load_one(p, &loaded, &r)) return -1;
    if (cell::type(&loaded) != T_BLOCK || block::get_length(&loaded) < 1) return -1;
    const Cell* value = block::cell_at(&loaded, uint32_t(cell::series_index(&loaded)));
    return type_matches(rule, cell::type(value)) && r.consumed > 0 ? int32_t(r.consumed) : -1;
}

int32_t match_in_text(Parser& p, const Cell* rule) {
    uint32_t t = cell::type(rule);
    bool binary = cell::type(p.input) == T_BINARY;
    if (t == T_CHAR && !binary) {  // the commonest text rule: one character
        int32_t pos = position(p);
        if (pos >= end_of(p)) return -1;
        bool exact = is_case(p);
        return fold(units_at(p.input, uint32_t(pos)).at(0), exact) == fold(cell::get_char(rule), exact) ? 1 : -1;
    }
    if (t == T_CHAR || types::is_any_string(t)) {
        RuleText text = rule_text(rule);
        return binary ? match_utf8(p, text) : match_chars(p, text);
    }
    if (t == T_BITSET) return match_bitset(p, rule);
    if (t == T_BINARY) return binary ? match_bytes(p, rule) : -1;
    if (t == T_DATATYPE || t == T_TYPESET) {
        if (!binary) error::raise(Err::script_parse_unsupported);
        return match_loaded(p, rule);
    }
    return -1;
}

int32_t match_in_block(Parser& p, const Cell* rule) {
    int32_t pos = position(p);
    if (pos >= end_of(p)) return -1;
    Cell value = *block::cell_at(p.input, uint32_t(pos));
    uint32_t t = cell::type(rule);
    if (t == T_DATATYPE || t == T_TYPESET) return type_matches(rule, cell::type(&value)) ? 1 : -1;
    Cell r = *rule;
    if (t == T_LIT_WORD) {
        int32_t op = is_case(p) ? actions::OP_WORD_MATCH : actions::OP_WORD_MATCH_ALT;
        return actions::compare(&value, &r, op) ? 1 : -1;
    }
    return actions::compare(&value, &r, p.op) ? 1 : -1;
}

}  // namespace

void init_match() {
    for (uint32_t cp = 0; cp < 256; cp++) fold_low[cp] = case_::convert(cp, true);
}

int64_t match_char_run(const Parser& p, const Cell* rule, const uint8_t* at, uint32_t unit, uint32_t shift, int64_t room) {
    Units in{at, unit, shift};
    bool exact = is_case(p);
    uint32_t c = fold(cell::get_char(rule), exact);
    int64_t n = 0;
    while (n < room && fold(in.at(uint32_t(n)), exact) == c) n++;
    return n;
}

int32_t match_value(Parser& p, const Cell* rule) {
    return is_block_input(p) ? match_in_block(p, rule) : match_in_text(p, rule);
}

}  // namespace parse
}  // namespace zel
