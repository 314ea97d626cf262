// The lexer core: the automaton's inner loop, the token loop of the four
// modes, the lexer stack and its series markers, paths, the event callback
// and syntax errors.
#include "io/lexer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/block.h"
#include "core/datatype.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/map.h"
#include "datatypes/pair.h"
#include "io/lexer_internal.h"
#include "kernel/collector.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"
#include "kernel/temp_roots.h"
#include "kernel/unicode.h"

namespace zel {
namespace lexer {

Stack stack;
State* current = nullptr;

namespace {

constexpr uint32_t FIRST_STACK_CELLS = 1000;
constexpr uint32_t SCRATCH_SIZE = 100000;
constexpr uint32_t ERROR_TEXT_CHARS = 30;

// The UTF-8 text of string! input, used as a stack so that nested scans
// stack their texts.
struct Scratch {
    uint8_t* bytes;
    uint32_t used;
};
Scratch scratch;
Caller caller = nullptr;
bool ready = false;

// Unwinding inside a scan: Halt ends a scan or prescan at an error, Skip
// abandons a token a callback refused to see raised.
struct Halt {};
struct Skip {};

// Bytes that a token of these terminal states takes with it: the delimiters
// and the closing byte of strings, chars, binaries, percents, points and tags.
const uint8_t consumes[STATE_COUNT - FIRST_TERMINAL] = {
    0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1,  // 66-78
    1, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0,  // 79-101
};

// The type argument of events for tokens without a datatype: a word, or the
// datatype of the series they delimit.
struct ExitName {
    const char* word;
    uint32_t type;
};
const ExitName exit_names[S_STRING - FIRST_TERMINAL] = {
    {"eof", 0},       {nullptr, T_ERROR}, {nullptr, T_BLOCK},  {nullptr, T_BLOCK},    {nullptr, T_PAREN},
    {nullptr, T_PAREN}, {nullptr, T_STRING}, {nullptr, T_STRING}, {nullptr, T_MAP},   {nullptr, T_PATH},
    {nullptr, T_DATATYPE}, {"comment", 0}, {"comma", 0},
};

const char* const event_names[6] = {"prescan", "scan", "load", "open", "close", "error"};

// Bytes after which a ":" ends a set-path: white space, delimiters, the end.
bool ends_path(uint8_t byte) {
    switch (char_classes[byte] & 0xFF) {
    case 0: case 1: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 28: case 35: case 39:
        return true;
    default:
        return false;
    }
}

Cell* marker_cell(const State* s) { return s->marker == NO_MARKER ? nullptr : stack.cells + s->marker; }

}  // namespace

// ---- input -------------------------------------------------------------------

const uint8_t* input_bytes(const State* s) {
    if (s->fixed) return s->fixed;
    return series::head_ptr(node::buffer(cell::series_node(&s->input))) + s->input_at;
}

// A callback may have shortened a binary! input: never read past its tail.
static void clamp_input(State* s) {
    if (s->fixed) return;
    SeriesBuffer* b = node::buffer(cell::series_node(&s->input));
    uint32_t left = series::length(b) > s->input_at ? series::length(b) - s->input_at : 0;
    s->length = std::min(s->length, left);
    s->pos = std::min(s->pos, s->length);
}

// The position of a byte as the input value counts it: bytes, or characters
// of a string!, counted on from the last position asked for.
static uint32_t input_index(State* s, uint32_t byte) {
    if (!s->input_is_string) return byte;
    const uint8_t* in = input_bytes(s);
    if (byte < s->char_byte) s->char_byte = s->char_count = 0;
    s->char_count += utf8::length(in + s->char_byte, in + byte);
    s->char_byte = byte;
    return s->char_count;
}

static uint32_t byte_of_index(State* s, uint32_t index) {
    if (!s->input_is_string) return std::min(index, s->length);
    const uint8_t* in = input_bytes(s);
    return uint32_t(utf8::skip(in, in + s->length, index) - in);
}

// ---- the automaton -----------------------------------------------------------

// The end of a raw string %%{...}%%: the first "}" followed by as many "%" as
// opened it. The automaton cannot count them, so the token is measured here.
static void raw_string_end(State* s, const uint8_t* in) {
    uint32_t p = s->token_start, n = 0, counted = s->token_end;
    while (p < s->length && in[p] == '%') p++, n++;
    uint32_t end = s->length;
    s->state = S_ERROR;
    s->prev_state = 10;
    for (p++; p < s->length; p++) {
        if (in[p] != '}') continue;
        uint32_t q = p + 1;
        while (q < s->length && q - p - 1 < n && in[q] == '%') q++;
        if (q - p - 1 < n) continue;
        bool more = q < s->length && transitions[12 * CLASS_COUNT + (char_classes[in[q]] & 0xFF)] < FIRST_TERMINAL;
        if (!more) s->state = S_RAW_STRING;
        end = q;
        break;
    }
    for (uint32_t i = counted; i < end; i++) s->line += in[i] == '\n';
    s->pos = s->token_end = end;
}

// One token from the entry state: one class lookup, one transition, one skip
// and one line lookup per byte. Most bytes leave the state as it is (white
// space, the inside of a word, a string or a comment), so such a run is taken
// by a shorter loop that only tests for the state changing and counts its
// skips at the end.
static void next_token(State* s) {
    const uint8_t* in = input_bytes(s);
    uint32_t p = s->pos, end = s->length, st = s->token_entry, next, flags = 0, drop = 0, lines = 0;
    for (;;) {
        const uint8_t* row = transitions + st * CLASS_COUNT;
        uint32_t from = p, c = 0;
        while (p < end && row[(c = char_classes[in[p]]) & 0xFF] == st) {
            flags |= c;
            lines += line_steps[c & 0xFF];
            p++;
        }
        drop += skips[st] * (p - from);
        if (p >= end) {
            next = row[CLASS_END];
            break;
        }
        next = row[c & 0xFF];
        drop += skips[next];
        if (next >= FIRST_TERMINAL) break;
        flags |= c;
        lines += line_steps[c & 0xFF];
        st = next;
        p++;
    }
    s->token_start = s->pos + drop;
    s->token_end = p;
    s->flags = flags & ~0xFFu;
    s->line += lines;
    s->token_lines = lines;
    s->prev_state = st;
    s->state = next;
    s->pos = p + (consumes[next - FIRST_TERMINAL] | (next == S_FILE && st == 8));
    if (next == S_RAW_STRING || (next == S_ERROR && st >= 10 && st <= 12)) raw_string_end(s, in);
    s->type = token_types[s->state];
}

// Unicode spaces separate tokens. Those in front of a token are passed over
// (true when there were any): the token is then read again from after them.
static bool skip_unicode_spaces(State* s) {
    const uint8_t* in = input_bytes(s);
    const uint8_t* end = in + s->token_end;
    const uint8_t* p = in + s->token_start;
    int32_t cp = 0;
    for (const uint8_t* q; p < end && (q = utf8::decode_char(p, end, &cp), cp >= 0 && is_unicode_space(cp));) p = q;
    if (p == in + s->token_start) return false;
    s->token_start = uint32_t(p - in);
    return true;
}

// A word token holding a Unicode space is cut at the first one.
static void cut_at_unicode_space(State* s) {
    const uint8_t* in = input_bytes(s);
    const uint8_t* end = in + s->token_end;
    const uint8_t* p = in + s->token_start;
    int32_t cp = 0;
    const uint8_t* cut = p;
    uint32_t flags = 0;
    while (cut < end) {
        const uint8_t* q = utf8::decode_char(cut, end, &cp);
        if (q == cut) q = cut + 1;  // a sequence cut short by the token's end
        if (cp >= 0 && is_unicode_space(cp)) break;
        for (const uint8_t* b = cut; b < q; b++) flags |= char_classes[*b];
        cut = q;
    }
    s->flags = flags & ~0xFFu;
    if (cut < end) s->pos = s->token_end = uint32_t(cut - in);
}

uint32_t state_type(uint32_t state) { return state < STATE_COUNT ? token_types[state] : 0; }

// ---- the lexer stack ---------------------------------------------------------

Cell* alloc_cell(State* s) {
    if (stack.top == stack.capacity) {
        stack.cells = static_cast<Cell*>(heap::resize(stack.cells, size_t(stack.capacity) * 2 * sizeof(Cell)));
        stack.capacity *= 2;
    }
    Cell* c = stack.cells + stack.top++;
    *c = Cell{T_UNSET | (s->token_lines ? HDR_NEW_LINE : 0u), 0, 0, 0};
    return c;
}

void mark_roots() {
    collector::mark_cells(stack.cells, stack.cells + stack.top);
    for (State* s = current; s; s = s->outer) {
        collector::mark_cells(&s->input, &s->input + 1);
        collector::mark_cells(&s->callback, &s->callback + 1);
    }
}

// Folds cells [first, top) into a new series of cells.
static Node fold_cells(uint32_t first) {
    uint32_t n = stack.top - first;
    Node node = series::new_cells(n);
    SeriesBuffer* b = node::buffer(node);
    if (n) std::memcpy(series::writable_bytes(b), stack.cells + first, size_t(n) * sizeof(Cell));
    b->tail = b->head + n * uint32_t(sizeof(Cell));
    return node;
}

// ---- events ------------------------------------------------------------------

static Cell kind_cell(uint32_t state, uint32_t type) {
    Cell c{T_NONE, 0, 0, 0};
    if (type) {
        datatype::write_cell(&c, type);
    } else if (state >= FIRST_TERMINAL && state < S_STRING) {
        const ExitName& e = exit_names[state - FIRST_TERMINAL];
        if (e.word) word::write_cell(symbol::intern(e.word), &c);
        else datatype::write_cell(&c, e.type);
    }
    return c;
}

static Cell type_cell(State* s, uint32_t type) { return kind_cell(s->state, type); }

Cell exit_states() {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(STATE_COUNT - FIRST_TERMINAL));
    temp_roots::Hold hold(&block);
    for (uint32_t state = FIRST_TERMINAL; state < STATE_COUNT; state++) {
        Cell kind;
        if (state == S_HEX || state == S_RAW_STRING) {
            word::write_cell(symbol::intern(state == S_HEX ? "hex" : "rawstring"), &kind);
        } else {
            kind = kind_cell(state, state < S_STRING ? 0 : token_types[state]);
        }
        *block::append_slot(&block) = kind;
    }
    return block;
}

// Calls the callback; on return the scan goes on from where the callback put
// the input's index (the caller writes the argument back into args[1]).
static bool call(State* s, uint32_t event, const Cell* type, const Cell* token, uint32_t at) {
    if (!(s->mask & event)) return true;
    if (!caller) error::raise(Err::internal_not_done);
    Cell args[5];
    uint32_t e = 0;
    while ((1u << e) != event) e++;
    word::write_cell(symbol::intern(event_names[e]), &args[0]);
    args[1] = s->input;
    uint32_t reported = cell::series_index(&s->input) + input_index(s, at);
    if (cell::type(&s->input) != T_NONE) cell::set_series_index(&args[1], reported);
    args[2] = *type;
    cell::make_integer(&args[3], int32_t(s->line));
    args[4] = *token;
    bool go_on;
    {
        temp_roots::Hold hold(args, 5);
        go_on = caller(&s->callback, args);
    }
    clamp_input(s);
    uint32_t moved_to = uint32_t(cell::series_index(&args[1])), from = uint32_t(cell::series_index(&s->input));
    if (cell::type(&s->input) != T_NONE && moved_to != reported && cell::series_node(&args[1]) == cell::series_node(&s->input)) {
        uint32_t index = moved_to > from ? moved_to - from : 0;
        s->pos = byte_of_index(s, index);
        s->moved = true;
    }
    return go_on;
}

static bool fire_range(State* s, uint32_t event, const Cell* type, uint32_t start, uint32_t end, uint32_t at) {
    if (!(s->mask & event)) return true;
    Cell token;
    uint32_t first = uint32_t(cell::series_index(&s->input));
    pair::init_cell(&token, int32_t(first + input_index(s, start) + 1), int32_t(first + input_index(s, end) + 1));
    return call(s, event, type, &token, at);
}

bool fire_event(State* s, uint32_t event, int32_t type, uint32_t start, uint32_t end) {
    Cell t = type_cell(s, uint32_t(std::max(type, 0)));
    return fire_range(s, event, &t, start, end, s->pos);
}

bool fire_load(State* s, const Cell* value) {
    if (!(s->mask & EVENT_LOAD)) return true;
    Cell t = type_cell(s, cell::type(value));
    return call(s, EVENT_LOAD, &t, value, s->pos);
}

uint32_t event_mask(const Cell* callback) {
    if (cell::type(callback) != T_FUNCTION) return EVENT_ALL;
    // A function's extra block holds its body first.
    SeriesBuffer* extra = node::buffer(cell::callable_extra(callback));
    if (series::length(extra) == 0) return EVENT_ALL;
    const Cell* body = series::cells(extra);
    if (cell::type(body) != T_BLOCK) return EVENT_ALL;
    SeriesBuffer* b = node::buffer(cell::series_node(body));
    if (series::length(b) <= uint32_t(cell::series_index(body))) return EVENT_ALL;
    const Cell* first = series::cells(b) + cell::series_index(body);
    if (cell::type(first) != T_BLOCK) return EVENT_ALL;
    SeriesBuffer* words = node::buffer(cell::series_node(first));
    uint32_t mask = 0;
    for (uint32_t i = uint32_t(cell::series_index(first)); i < series::length(words); i++) {
        const Cell* w = series::cells(words) + i;
        if (cell::type(w) != T_WORD) continue;
        const char* name = symbol::get_cstr(cell::word_symbol(w));
        for (uint32_t e = 0; e < 6; e++)
            if (std::strcmp(name, event_names[e]) == 0) mask |= 1u << e;
    }
    return mask;
}

void set_caller(Caller c) { caller = c; }

// ---- errors ------------------------------------------------------------------

static Cell text_string(const char* text) {
    Cell c;
    string::write_cell(&c, uint32_t(std::strlen(text)));
    string::append_cstr(&c, text);
    return c;
}

// Up to 30 characters of the input from start, stopping at a line end.
static Cell error_text(State* s, uint32_t start) {
    Cell c;
    string::write_cell(&c, ERROR_TEXT_CHARS);
    const uint8_t* in = input_bytes(s);
    const uint8_t* p = in + std::min(start, s->length);
    const uint8_t* end = in + s->length;
    SeriesBuffer* b = string::buffer_of(&c);
    for (uint32_t n = 0; n < ERROR_TEXT_CHARS && p < end && *p != '\n'; n++) {
        int32_t cp;
        const uint8_t* q = utf8::decode_char(p, end, &cp);
        b = string::append_char(b, cp < 0 ? utf8::REPLACEMENT : uint32_t(cp));
        p = q > p ? q : p + 1;
        in = input_bytes(s);
    }
    return c;
}

[[noreturn]] static void raise_syntax(State* s, int32_t kind, uint32_t start) {
    char line_text[24];
    std::snprintf(line_text, sizeof line_text, "(line %u)", s->line);
    Cell line = text_string(line_text);
    Cell text = error_text(s, start);
    temp_roots::Hold hold_line(&line), hold_text(&text);
    switch (kind) {
    case K_BAD_CHAR: error::raise(Err::syntax_bad_char, &line, &text);
    case K_CONSTRUCT: error::raise(Err::syntax_malconstruct, &line, &text);
    case K_UNEXPECTED_CLOSE:
    case K_UNCLOSED: {
        const char missing[2] = {s->missing, 0};
        Cell what = text_string(missing);
        error::raise(Err::syntax_missing, &line, &what, &text);
    }
    default: {
        Cell type;
        datatype::write_cell(&type, uint32_t(kind));
        error::raise(Err::syntax_invalid, &line, &type, &text);
    }
    }
}

// Drops the paths being built: an error inside one abandons all of them.
// Answers whether there were any, and moves start to the outermost one.
static bool drop_paths(State* s, uint32_t* start) {
    bool dropped = false;
    for (Cell* m; (m = marker_cell(s)) && types::is_any_path(marker_type(m));) {
        *start = std::min(*start, marker_offset(m));
        stack.top = s->marker;
        s->marker = marker_back(m) ? s->marker - marker_back(m) : NO_MARKER;
        dropped = true;
    }
    return dropped;
}

// After a callback refused the token [start, end): the scan goes on from
// where the callback put the input, but always at least one byte past the
// token's start, so that refusing every event still ends the scan.
static void pass_refused(State* s, uint32_t start, uint32_t end) {
    if (!s->moved || s->pos <= start) s->pos = std::min(s->length, std::max(end, start + 1));
}

void throw_error(State* s, int32_t kind, uint32_t start, uint32_t end) {
    if (s->braces) {
        start = std::min(start, s->brace_start);
        s->braces = 0;
    }
    s->entry = S_START;
    if (s->mode == MODE_SCAN || s->mode == MODE_PRESCAN) {
        s->type = T_ERROR;
        throw Halt{};
    }
    if (s->mask & EVENT_ERROR) {
        uint32_t t = kind > 0 ? uint32_t(kind) : s->path_type ? s->path_type : s->type ? s->type : T_ERROR;
        Cell type = type_cell(s, t);
        s->moved = false;
        if (!fire_range(s, EVENT_ERROR, &type, start, end, start)) {
            drop_paths(s, &start);
            s->path_type = 0;
            pass_refused(s, start, end);
            s->skipped_error = true;
            throw Skip{};
        }
    }
    if (drop_paths(s, &start) && !types::is_any_path(uint32_t(kind))) kind = K_BAD_CHAR;
    raise_syntax(s, kind, start);
}

// ---- series ------------------------------------------------------------------

void open_series(State* s, uint32_t type, uint32_t position) {
    Cell* m = marker_cell(s);
    if (m && (marker_type(m) == T_POINT2D || marker_type(m) == T_POINT3D)) throw_error(s, T_POINT2D, position, s->pos);
    if (!fire(s, EVENT_OPEN, int32_t(type), s->token_start, s->pos)) return;
    uint32_t at = stack.top;
    Cell* c = alloc_cell(s);
    c->header = T_MARKER | (c->header & HDR_NEW_LINE);
    set_marker(c, s->marker == NO_MARKER ? 0 : at - s->marker, type, position);
    s->marker = at;
    if (types::is_any_path(type)) s->path_type = type;
}

// Whether a closing type ends the series a marker opened.
static bool closes(uint32_t open, uint32_t close) {
    if (open == close) return true;
    if (close == T_BLOCK) return open == T_MAP;
    if (close == T_PAREN) return open == T_POINT2D || open == T_POINT3D;
    return close == T_SET_PATH && types::is_any_path(open);
}

static void element_end(State* s);

void close_series(State* s, uint32_t type) {
    Cell* m = marker_cell(s);
    uint32_t start = s->token_start;
    if (!m || !closes(marker_type(m), type)) {
        s->missing = type == T_BLOCK ? '[' : '(';
        if (m && types::is_any_path(marker_type(m))) start = marker_offset(m);
        throw_error(s, K_UNEXPECTED_CLOSE, start, s->pos);
    }
    if (!fire(s, EVENT_CLOSE, int32_t(marker_type(m) == T_MAP ? T_MAP : type), s->token_start, s->pos)) return;
    m = marker_cell(s);  // a callback may have grown the stack
    uint32_t open = marker_type(m), at = s->marker, position = marker_offset(m);
    // A map literal holds pairs whose keys a map can take.
    if (open == T_MAP && !map::is_pair_list(stack.cells + at + 1, stack.top - at - 1))
        throw_error(s, T_MAP, position, s->pos);
    if (open == T_POINT2D || open == T_POINT3D) {
        close_point(s, open, at);
        Cell* outer = marker_cell(s);
        if (outer && types::is_any_path(marker_type(outer))) element_end(s);
        return;
    }
    uint32_t result = open == T_MAP ? T_MAP : type;
    uint32_t line_flag = m->header & HDR_NEW_LINE;
    s->marker = marker_back(m) ? at - marker_back(m) : NO_MARKER;
    Node node = fold_cells(at + 1);
    stack.top = at + 1;
    Cell* c = stack.cells + at;
    *c = Cell{result | line_flag, 0, node, 0};
    if (result == T_MAP) map::from_literal(c);
    s->type = result;
    if (types::is_any_path(result)) {
        Cell* outer = marker_cell(s);
        s->path_type = outer && types::is_any_path(marker_type(outer)) ? marker_type(outer) : 0;
    }
    Cell* outer = marker_cell(s);
    if (outer && types::is_any_path(marker_type(outer))) element_end(s);
}

// After an element of a path: "/" goes on to the next element, ":" at the
// path's end makes it a set-path, anything else ends the path.
static void element_end(State* s) {
    const uint8_t* in = input_bytes(s);
    uint32_t p = s->pos;
    Cell* m = marker_cell(s);
    if (p < s->length && in[p] == '/') {
        s->pos = p + 1;
        s->entry = S_PATH;
        return;
    }
    uint32_t type = marker_type(m);
    if (p < s->length && in[p] == ':') {
        if (p + 1 < s->length && !ends_path(in[p + 1])) throw_error(s, T_PATH, marker_offset(m), p + 1);
        s->pos = p + 1;
        type = T_SET_PATH;
    }
    uint32_t token_type = s->type;
    close_series(s, type);
    s->type = token_type;
}

// ---- the token loop ----------------------------------------------------------

static void run_scanner(State* s) { scanners[s->state - FIRST_TERMINAL](s); }

// In the one-value, scan and prescan modes the scan ends after the first
// complete value.
static bool is_complete(const State* s) {
    return s->mode != MODE_LOAD && s->type && s->marker == NO_MARKER && stack.top - s->base <= 1;
}

static bool prescan_token(State* s) {
    uint32_t st = s->state;
    if (st <= S_STRING && st != S_STRING) run_scanner(s);
    else if (st > S_STRING && s->token_entry == S_PATH) element_end(s);
    if (!(st == S_PAREN_OPEN && s->point_paren) && s->token_entry != S_BRACED)
        fire(s, EVENT_PRESCAN, int32_t(token_types[st]), s->token_start, s->pos);
    return !is_complete(s);
}

// Answers false when the scan ends after this token.
static bool process(State* s) {
    uint32_t st = s->state;
    s->point_paren = st == S_PAREN_OPEN && point_ahead(s);
    if (s->mode == MODE_PRESCAN) return prescan_token(s);
    s->moved = false;
    if (!(s->point_paren) && s->token_entry != S_BRACED &&
        !fire(s, EVENT_PRESCAN, int32_t(token_types[st]), s->token_start, s->pos)) {
        if (st != S_END) pass_refused(s, s->token_start, s->pos);
        return true;
    }
    if (st < S_STRING) {
        run_scanner(s);
        return !is_complete(s);
    }
    const Loader load = loaders[st - FIRST_TERMINAL];
    bool skip = false;
    if (s->mode == MODE_SCAN || (s->mask & EVENT_SCAN)) {
        load(s, s->token_start, s->token_end, s->flags, false);
        skip = !fire(s, EVENT_SCAN, int32_t(s->type), s->token_start, s->pos);
    }
    if (!skip && s->mode != MODE_SCAN) {
        load(s, s->token_start, s->token_end, s->flags, true);
        if (s->mask & EVENT_LOAD) {
            Cell value = stack.cells[stack.top - 1];
            if (!fire_load(s, &value)) stack.top--;
        }
    }
    if (s->token_entry == S_PATH) element_end(s);
    return !is_complete(s);
}

static void scan_tokens(State* s) {
    for (;;) {
        s->token_entry = s->entry;
        s->entry = S_START;
        next_token(s);
        if ((s->flags & F_MULTIBYTE) && skip_unicode_spaces(s)) {
            // What follows the spaces is read afresh, as after any white space.
            s->entry = s->token_entry;
            s->pos = s->token_start;
            continue;
        }
        if (s->state == S_WORD && (s->flags & F_MULTIBYTE)) cut_at_unicode_space(s);
        bool go_on;
        try {
            go_on = process(s);
        } catch (const Skip&) {
            continue;
        }
        s->result_type = s->type;
        if (!go_on || s->state == S_END) return;
    }
}

// An open block, paren or map at the end of the input.
static void check_unclosed(State* s) {
    Cell* m = marker_cell(s);
    if (!m) return;
    s->missing = marker_type(m) == T_BLOCK || marker_type(m) == T_MAP ? ']' : ')';
    s->type = marker_type(m);
    throw_error(s, K_UNCLOSED, marker_offset(m), s->length);
}

// Copies the cells of the scan into the destination.
static void deliver(State* s, Cell* out, const Cell* into) {
    if (s->mode == MODE_SCAN || s->mode == MODE_PRESCAN) stack.top = s->base;
    uint32_t n = stack.top - s->base;
    if (into) {
        SeriesBuffer* b = node::buffer(cell::series_node(into));
        uint8_t* at = series::reserve(b, n * uint32_t(sizeof(Cell)));
        if (n) std::memcpy(at, stack.cells + s->base, size_t(n) * sizeof(Cell));
        *out = *into;
        return;
    }
    Node node = fold_cells(s->base);
    cell::make_series(out, T_BLOCK, node);
}

static Result run(State* s, Cell* out, const Request& r) {
    s->outer = current;
    s->base = stack.top;
    s->marker = NO_MARKER;
    s->line = 1;
    s->mode = r.mode;
    s->callback = r.callback ? *r.callback : statics::none_cell;
    s->mask = r.callback ? event_mask(r.callback) : 0;
    current = s;
    struct Unlink {
        State* s;
        ~Unlink() {
            stack.top = s->base;
            current = s->outer;
        }
    } unlink{s};
    temp_roots::Hold hold_out(out);
    try {
        scan_tokens(s);
        try {
            check_unclosed(s);
        } catch (const Skip&) {
            cell::make_none(out);
            return Result{T_ERROR, input_index(s, s->pos)};
        }
    } catch (const Halt&) {
        s->result_type = T_ERROR;
    }
    deliver(s, out, r.into);
    uint32_t type = s->skipped_error && s->pos >= s->length ? T_ERROR : s->result_type;
    return Result{type, input_index(s, s->pos)};
}

static void init_state(State* s, const uint8_t* fixed, uint32_t length) {
    std::memset(static_cast<void*>(s), 0, sizeof *s);
    s->fixed = fixed;
    s->length = length;
    s->input = statics::none_cell;
}

// ---- entries -----------------------------------------------------------------

Result scan(Cell* out, const uint8_t* bytes, uint32_t length, const Request& request) {
    init();
    State s;
    init_state(&s, bytes, length);
    return run(&s, out, request);
}

Result scan_binary(Cell* out, const Cell* binary, int32_t length, const Request& request) {
    init();
    State s;
    init_state(&s, nullptr, 0);
    s.input = *binary;
    SeriesBuffer* b = node::buffer(cell::series_node(binary));
    uint32_t index = std::min(uint32_t(cell::series_index(binary)), series::length(b));
    uint32_t left = series::length(b) - index;
    cell::set_series_index(&s.input, index);
    s.input_at = index;
    s.length = length < 0 ? left : std::min(uint32_t(length), left);
    return run(&s, out, request);
}

Result scan_string(Cell* out, const Cell* text, int32_t length, const Request& request) {
    init();
    Cell str = *text;
    uint32_t chars = string::get_length(&str);
    if (length >= 0) chars = std::min(chars, uint32_t(length));
    uint32_t unit = series::unit(string::buffer_of(&str));
    uint32_t room = chars * (unit == 4 ? 4 : unit + 1) + 1;
    uint32_t saved = scratch.used;
    uint8_t* own = nullptr;
    uint8_t* bytes;
    if (room <= SCRATCH_SIZE - scratch.used) {
        bytes = scratch.bytes + scratch.used;
        scratch.used += room;
    } else {
        bytes = own = static_cast<uint8_t*>(heap::alloc(room));
    }
    struct Release {
        uint8_t* own;
        uint32_t saved;
        ~Release() {
            if (own) heap::free(own);
            scratch.used = saved;
        }
    } release{own, saved};
    uint32_t n = uint32_t(utf8::write_string_part(&str, chars, bytes, room));
    State s;
    init_state(&s, bytes, n);
    s.input = str;
    s.input_is_string = true;
    return run(&s, out, request);
}

Cell load_text(const char* utf8, size_t length) {
    Cell* slot = stack::push(&statics::none_cell);
    uint32_t at = stack::index_of(slot);
    Cell result;
    cell::make_none(&result);
    scan(&result, reinterpret_cast<const uint8_t*>(utf8), uint32_t(length), Request{});
    *stack::cell_at(at) = result;
    return result;
}

// The scanner behind load/value-from-string: the first value of the text.
static uint32_t load_first(const Cell* block, const Cell* text) {
    Request r;
    r.mode = MODE_ONE;
    Cell out = *block;
    r.into = block;
    return scan_string(&out, text, -1, r).consumed;
}

void init() {
    if (ready) return;
    stack.cells = static_cast<Cell*>(heap::alloc(FIRST_STACK_CELLS * sizeof(Cell)));
    stack.capacity = FIRST_STACK_CELLS;
    stack.top = 0;
    scratch.bytes = static_cast<uint8_t*>(heap::alloc(SCRATCH_SIZE));
    scratch.used = 0;
    collector::register_(mark_roots);
    load::set_scanner(load_first);
    ready = true;
}

}  // namespace lexer
}  // namespace zel
