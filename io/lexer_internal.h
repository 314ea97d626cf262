// The lexer's private parts, shared by the automaton (lexer.cpp), its tables
// (lexer_tables.cpp) and the token scanners and loaders (scanners.cpp).
//
// The automaton maps every input byte to one of 40 character classes; a row
// of 40 next states per non-terminal state (0-64) drives it, and a state of 66
// or more ends a token. Values are built on the lexer's own cell stack, a
// tracked heap block that the collector marks, and folded into series when a
// block, paren or path closes.
#pragma once
#include <array>
#include <cstdint>

#include "io/lexer.h"
#include "kernel/cell.h"

namespace zel {
namespace lexer {

constexpr uint32_t CLASS_COUNT = 40;
constexpr uint32_t CLASS_END = 39;        // NUL, and the end of the input
constexpr uint32_t NONTERMINAL_COUNT = 65;
constexpr uint32_t STATE_COUNT = 102;

// States the code names; the rest are reached only through the table.
enum StateId : uint32_t {
    S_START = 0,
    S_BRACED = 4,        // inside {...}, entered by the "{" scanner
    S_POINT_BODY = 35,   // inside "(x, y)", entered by the "(" scanner
    S_PATH = 59,         // start of a path element, entered after "/"
    FIRST_TERMINAL = 66,
    S_END = 66, S_ERROR, S_BLOCK_OPEN, S_BLOCK_CLOSE, S_PAREN_OPEN, S_PAREN_CLOSE,
    S_BRACE_OPEN, S_BRACE_CLOSE, S_MAP_OPEN, S_PATH_STEP, S_CONSTRUCT, S_COMMENT, S_COMMA,
    S_STRING = 79, S_WORD, S_ISSUE, S_INTEGER, S_REFINEMENT, S_CHAR, S_FILE, S_BINARY,
    S_PERCENT, S_FLOAT, S_SPECIAL_FLOAT, S_TUPLE, S_DATE, S_PAIR, S_POINT, S_TIME, S_MONEY,
    S_TAG, S_URL, S_EMAIL, S_HEX, S_RAW_STRING, S_REF,
};

// Token flags: the bits above the class byte of a character-table entry,
// OR-ed over the bytes of a token.
enum TokenFlags : uint32_t {
    F_PERCENT = 0x40000u, F_GREATER = 0x80000u, F_LESS = 0x100000u, F_SIGN = 0x200000u,
    F_NUL = 0x400000u, F_HASH = 0x800000u, F_EXPONENT = 0x1000000u, F_APOSTROPHE = 0x2000000u,
    F_COLON = 0x4000000u, F_COMMA = 0x8000000u, F_DOT = 0x10000000u, F_CARET = 0x20000000u,
    F_LEAD_2 = 0x40000000u,  // lead bytes C2-EF
    F_LEAD_4 = 0x80000000u,  // lead bytes F0-F7
    F_MULTIBYTE = F_LEAD_2 | F_LEAD_4,
};

extern const std::array<uint32_t, 256> char_classes;
extern const uint8_t transitions[NONTERMINAL_COUNT * CLASS_COUNT];
extern const uint8_t skips[STATE_COUNT];
extern const uint8_t token_types[STATE_COUNT];
extern const uint8_t line_steps[CLASS_COUNT];

// Lexical error kinds other than a datatype id.
enum ErrorKind : int32_t {
    K_BAD_CHAR = -1, K_CONSTRUCT = -2, K_UNEXPECTED_CLOSE = -3, K_UNCLOSED = -4,
};

// An open series on the lexer stack: a cell of this type, w1 the distance in
// cells back to the enclosing marker (0 for none), w2 the type being opened,
// w3 the byte offset of the opening character.
constexpr uint32_t T_MARKER = T_TRIPLE;
constexpr uint32_t NO_MARKER = 0xFFFFFFFFu;
constexpr void set_marker(Cell* m, uint32_t back, uint32_t type, uint32_t offset) {
    m->w1 = back;
    m->w2 = type;
    m->w3 = offset;
}
constexpr uint32_t marker_back(const Cell* m) { return m->w1; }
constexpr uint32_t marker_type(const Cell* m) { return m->w2; }
constexpr uint32_t marker_offset(const Cell* m) { return m->w3; }
constexpr void set_marker_type(Cell* m, uint32_t type) { m->w2 = type; }

// One active scan. Scans nest (a callback may transcode): the states form a
// chain from the innermost, and share the lexer stack, each from its base.
struct State {
    State* outer;
    uint32_t base;           // first stack cell of this scan
    uint32_t marker;         // stack index of the innermost marker, or NO_MARKER
    // The input: fixed bytes, or the bytes of the binary! in `input` from
    // input_at on, fetched again after anything that may move them.
    const uint8_t* fixed;
    uint32_t input_at;
    uint32_t length;
    Cell input;              // string! or binary! reported to the callback
    bool input_is_string;
    uint32_t char_byte, char_count;  // last byte position converted to characters
    uint32_t pos;            // where the next token starts
    // The current token.
    uint32_t token_start, token_end;
    uint32_t flags;
    uint32_t state, prev_state, entry;
    uint32_t line, token_lines;
    uint32_t type;           // datatype id recognised (0 none)
    uint32_t path_type;      // type of the path being opened
    // A braced string in progress.
    uint32_t braces, brace_start;
    bool brace_newline;
    uint32_t token_entry;    // the entry state the current token started in
    uint32_t result_type;    // type of the last token processed
    Mode mode;
    Cell callback;
    uint32_t mask;
    bool point_paren;        // the "(" token opens a point literal
    bool moved;              // the callback moved the input's index
    bool skipped_error;      // a callback turned an error into a skip
    char missing;            // the character a missing error names
};

// The lexer stack, shared by all active scans.
struct Stack {
    Cell* cells;
    uint32_t capacity;
    uint32_t top;
};
extern Stack stack;
extern State* current;

// Bytes of the input, good until anything may move a binary! input.
const uint8_t* input_bytes(const State* s);

// Shared routines of the scanners and loaders.
Cell* alloc_cell(State* s);
void open_series(State* s, uint32_t type, uint32_t position);
void close_series(State* s, uint32_t type);
[[noreturn]] void throw_error(State* s, int32_t kind, uint32_t start, uint32_t end);
// A syntax error naming the type, over the current token.
[[noreturn]] void invalid(State* s, uint32_t type);
// Makes the cell the value, keeping the new-line flag it was given.
void put(Cell* c, const Cell& value);
// Fires an event with a token range; answers the callback's verdict (true
// when there is no callback or the event is not asked for). The mask is
// tested inline: most scans have no callback, and every token fires.
bool fire_event(State* s, uint32_t event, int32_t type, uint32_t start, uint32_t end);
inline bool fire(State* s, uint32_t event, int32_t type, uint32_t start, uint32_t end) {
    return !(s->mask & event) || fire_event(s, event, type, start, end);
}
bool fire_load(State* s, const Cell* value);

// Scanners (states 66-81) and loaders (79-101); a loader with load false
// only validates and records the recognised type.
using Scanner = void (*)(State* s);
using Loader = void (*)(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);
extern const Scanner scanners[STATE_COUNT - FIRST_TERMINAL];
extern const Loader loaders[STATE_COUNT - FIRST_TERMINAL];

// date! (load_date.cpp).
void load_date(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);

// Loaders of the compound number literals (load_compound.cpp), and the close
// of a paren that commas made a point (type) whose marker is at stack index at.
void load_percent(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);
void load_tuple(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);
void load_pair(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);
void load_point(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);
void close_point(State* s, uint32_t type, uint32_t at);

// "1.#NaN", "1.#INF" and "-1.#INF" in [p, end), with an optional sign and the
// letters in any case; false for any other text.
bool special_float(const uint8_t* p, const uint8_t* end, double* out);

// Whether a "(" token starts a point literal "(x, y)".
bool point_ahead(const State* s);

// Decodes one escape after "^" at p (below end); answers the code point, or
// -1 when malformed, and the position after it.
int32_t decode_escape(const uint8_t* p, const uint8_t* end, const uint8_t** after);
// True for the code points that separate tokens like a space.
bool is_unicode_space(uint32_t cp);

}  // namespace lexer
}  // namespace zel
