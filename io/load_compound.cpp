// Loaders of the compound number literals: percents ("50%"), tuples
// ("1.2.3"), pairs ("10x20") and points ("(1, 2)" and "(1, 2, 3)"), and the
// close of a paren that commas made a point.
#include <cmath>
#include <cstring>
#include <limits>

#include "core/float.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"
#include "io/lexer_internal.h"
#include "io/number_scan.h"

namespace zel {
namespace lexer {

bool special_float(const uint8_t* p, const uint8_t* end, double* out) {
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) p++;
    if (end - p != 6 || std::memcmp(p, "1.#", 3) != 0) return false;
    char letters[4] = {};
    for (int i = 0; i < 3; i++) letters[i] = char(p[3 + i] & ~0x20);
    if (std::strcmp(letters, "NAN") == 0) *out = std::numeric_limits<double>::quiet_NaN();
    else if (std::strcmp(letters, "INF") == 0) *out = negative ? -HUGE_VAL : HUGE_VAL;
    else return false;
    return true;
}

namespace {

bool is_blank(uint8_t b) { return b == ' ' || b == '\t'; }

// One coordinate of a point: a float, an integer or a special float, with
// blanks around it.
bool coordinate(const uint8_t* p, const uint8_t* end, float* out) {
    while (p < end && is_blank(*p)) p++;
    while (end > p && is_blank(end[-1])) end--;
    uint32_t length = uint32_t(end - p);
    if (length == 0 || length > FLOAT_TEXT_MAX) return false;
    double d;
    if (!special_float(p, end, &d)) {
        int32_t error;
        d = scan_float(p, 0, length, 1, &error);
        if (error) return false;
    }
    *out = float(d);
    return true;
}

// The "(" at open opened no series, so its token's line count was never
// used: a line end in the blanks before it marks the point.
bool line_before(const uint8_t* in, uint32_t open) {
    while (open > 0 && (in[open - 1] == ' ' || in[open - 1] == '\t' || in[open - 1] == '\r')) open--;
    return open > 0 && in[open - 1] == '\n';
}

}  // namespace

// A number and "%": the fraction is the number divided by 100, read as one
// correctly rounded value (dividing after reading would round twice, and
// 1e-5% would not come back as the 1e-7 it was molded from).
void load_percent(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    int32_t error;
    double d = scan_float(input_bytes(s), start, end - start, 1, &error, -2);
    if (error) invalid(s, T_PERCENT);
    s->type = T_PERCENT;
    if (!load) return;
    Cell c;
    percent::init_cell(&c, d);
    put(alloc_cell(s), c);
}

void load_tuple(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    Cell c;
    int32_t error;
    scan_tuple(input_bytes(s), start, end - start, 1, &c, &error);
    if (error || tuple::count(&c) < 3) invalid(s, T_TUPLE);
    s->type = T_TUPLE;
    if (load) put(alloc_cell(s), c);
}

// Two integers joined by "x" or "X", each read as the integer loader reads
// one (a sign, digits, apostrophes between digits) and within 32 bits.
void load_pair(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    uint32_t cut = start;
    while (cut < end && in[cut] != 'x' && in[cut] != 'X') cut++;
    int32_t v[2];
    const uint32_t from[] = {start, cut + 1}, to[] = {cut, end};
    for (int i = 0; i < 2; i++) {
        bool digit = false;
        for (uint32_t k = from[i]; k < to[i]; k++) {
            digit |= in[k] >= '0' && in[k] <= '9';
            if (in[k] == '\'' && k + 1 < to[i] && in[k + 1] == '\'') invalid(s, T_PAIR);
        }
        int32_t error = 0;
        v[i] = from[i] < to[i] ? scan_integer(in, from[i], to[i] - from[i], 1, &error) : 0;
        if (!digit || error) invalid(s, T_PAIR);
    }
    s->type = T_PAIR;
    if (!load) return;
    Cell c;
    pair::init_cell(&c, v[0], v[1]);
    put(alloc_cell(s), c);
}

// The text between "(" and ")": two or three coordinates separated by
// commas. An error names point3D! once a second comma was seen.
void load_point(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    float c[3];
    uint32_t n = 0, from = start;
    bool closed = end < s->length && in[end] == ')';
    for (uint32_t k = start; k <= end; k++) {
        if (k < end && in[k] != ',') continue;
        uint32_t type = n >= 2 ? T_POINT3D : T_POINT2D;
        if (n == 3 || !coordinate(in + from, in + k, c + n)) throw_error(s, int32_t(type), start - 1, s->pos);
        n++;
        from = k + 1;
    }
    uint32_t type = n == 3 ? T_POINT3D : T_POINT2D;
    if (n < 2 || !closed) throw_error(s, int32_t(type), start - 1, s->pos);
    s->type = type;
    if (!load) return;
    Cell p;
    point::init(&p, type, c);
    if (line_before(in, start - 1)) p.header |= HDR_NEW_LINE;
    put(alloc_cell(s), p);
}

// A paren whose commas made it a point: its values, integers or floats, two
// for a point2D! and three for a point3D!, become the point in the marker's
// place. The scan-only modes keep no values and check nothing.
void close_point(State* s, uint32_t type, uint32_t at) {
    Cell* m = stack.cells + at;
    uint32_t position = marker_offset(m), line = m->header & HDR_NEW_LINE;
    float c[3] = {0, 0, 0};
    if (s->mode == MODE_LOAD || s->mode == MODE_ONE) {
        uint32_t n = stack.top - at - 1;
        if (n != point::dimension(type)) throw_error(s, int32_t(type), position, s->pos);
        for (uint32_t i = 0; i < n; i++) {
            const Cell* v = stack.cells + at + 1 + i;
            if (cell::type(v) == T_INTEGER) c[i] = float(cell::get_int(v));
            else if (cell::type(v) == T_FLOAT) c[i] = float(cell::get_float(v));
            else throw_error(s, int32_t(type), position, s->pos);
        }
    }
    s->marker = marker_back(m) ? at - marker_back(m) : NO_MARKER;
    stack.top = at + 1;
    point::init(m, type, c);
    m->header |= line;
    s->type = type;
}

}  // namespace lexer
}  // namespace zel
