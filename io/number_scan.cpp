// Number scanners for conversions and for the lexer's number loaders.
#include "io/number_scan.h"

#include <cstring>
#include <limits>

#include "core/string_actions.h"
#include "datatypes/money.h"
#include "kernel/floattext.h"
#include "kernel/unicode.h"

namespace zel {
namespace lexer {

int32_t scan_integer(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, int32_t* error) {
    const uint8_t* p = text + size_t(start) * unit;
    const uint8_t* end = p + size_t(length) * unit;
    *error = 0;
    bool negative = false;
    if (p < end) {
        uint32_t c = string::get_char(p, unit);
        if (c == '+' || c == '-') {
            negative = c == '-';
            p += unit;
        }
    }
    int64_t value = 0;
    for (; p < end; p += unit) {
        uint32_t c = string::get_char(p, unit);
        if (c == '\'') continue;
        if (c < '0' || c > '9') {
            *error = -1;
            break;
        }
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX)) {
            // Only the lowest integer lies beyond the highest.
            if (negative && value == int64_t(INT32_MAX) + 1 && p + unit >= end) return INT32_MIN;
            *error = -2;
            value /= 10;
            break;
        }
    }
    return int32_t(negative ? -value : value);
}

// The float syntax: a small automaton over the classes below. States: 0
// start, 1 after a sign, 2 integer digits, 3 a point with no digit before, 4
// an apostrophe in the integer digits, 5 after the point or in the fraction,
// 6 after "e", 7 an apostrophe in the fraction, 8 the exponent's sign, 9
// exponent digits; 10 rejects.
enum FloatClass : uint8_t { FC_OTHER, FC_DIGIT, FC_SIGN, FC_EXP, FC_POINT, FC_APOSTROPHE };
static constexpr uint8_t FLOAT_REJECT = 10;
static const uint8_t float_next[10][6] = {
    //  other digit sign exp point apostrophe
    {10, 2, 1, 10, 3, 10},   // 0
    {10, 2, 10, 10, 3, 10},  // 1
    {10, 2, 10, 6, 5, 4},    // 2
    {10, 5, 10, 10, 10, 10}, // 3
    {10, 2, 10, 10, 10, 10}, // 4
    {10, 5, 10, 6, 10, 7},   // 5
    {10, 9, 8, 10, 10, 10},  // 6
    {10, 5, 10, 10, 10, 10}, // 7
    {10, 9, 10, 10, 10, 10}, // 8
    {10, 9, 10, 10, 10, 10}, // 9
};
static const bool float_accepts[10] = {false, false, true, false, false, true, false, false, false, true};

static FloatClass float_class(uint8_t b) {
    if (b >= '0' && b <= '9') return FC_DIGIT;
    switch (b) {
    case '+': case '-': return FC_SIGN;
    case 'e': case 'E': return FC_EXP;
    case '.': return FC_POINT;
    case '\'': return FC_APOSTROPHE;
    default: return FC_OTHER;
    }
}

bool is_float_syntax(const uint8_t* start, const uint8_t* end) {
    if (end - start > ptrdiff_t(FLOAT_TEXT_MAX)) return false;
    uint8_t state = 0;
    for (const uint8_t* p = start; p < end && state != FLOAT_REJECT; p++) state = float_next[state][float_class(*p)];
    return state != FLOAT_REJECT && float_accepts[state];
}

double scan_float(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, int32_t* error,
                  int32_t exponent_shift) {
    *error = -1;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (length > FLOAT_TEXT_MAX) return nan;
    char buffer[FLOAT_TEXT_MAX] = {};
    const uint8_t* p = text + size_t(start) * unit;
    for (uint32_t i = 0; i < length; i++) {
        uint32_t c = string::get_char(p + size_t(i) * unit, unit);
        if (c > 0x7F) return nan;
        buffer[i] = c == ',' ? '.' : char(c);
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(buffer);
    if (!is_float_syntax(bytes, bytes + length)) return nan;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < length; i++)
        if (buffer[i] != '\'') buffer[kept++] = buffer[i];
    int32_t unconsumed = 0;
    double value = float_::from_text(buffer, buffer + kept, exponent_shift, &unconsumed);
    if (unconsumed != 0) return nan;
    *error = 0;
    return value;
}

void scan_tuple(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, Cell* out, int32_t* error) {
    uint8_t bytes[12] = {};
    uint32_t count = 0, value = 0, digits = 0;
    *error = -1;
    const uint8_t* p = text + size_t(start) * unit;
    for (uint32_t i = 0; i <= length; i++) {
        uint32_t c = i < length ? string::get_char(p + size_t(i) * unit, unit) : '.';
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            digits++;
            if (value > 255) return;
            continue;
        }
        if (c != '.' || digits == 0 || count == 12) return;
        bytes[count++] = uint8_t(value);
        value = digits = 0;
    }
    out->header = T_TUPLE | (count << 19);
    std::memcpy(reinterpret_cast<uint8_t*>(out) + 4, bytes, 12);
    *error = 0;
}

static bool is_letter(uint32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// The sign and the currency code; answers the position of the amount, or
// length + 1 when the text is no money.
static uint32_t split_prefix(const string::Text& t, bool lexer_form, MoneyText* out) {
    auto at = [&t](uint32_t k) { return k < t.len ? string::char_of(t, k) : 0u; };
    uint32_t i = 0;
    if (at(0) == '+' || at(0) == '-') out->negative = at(i++) == '-';
    if (is_letter(at(i))) {
        for (uint32_t k = 0; k < 3; k++) {
            if (!is_letter(at(i + k))) return t.len + 1;
            out->code[k] = char(at(i + k));
        }
        out->has_code = true;
        i += 3;
        return at(i) == '$' ? i + 1 : t.len + 1;
    }
    if (at(i) == '$') return i + 1;
    return lexer_form ? t.len + 1 : i;
}

bool split_money(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, bool lexer_form,
                 MoneyText* out) {
    *out = MoneyText{};
    const string::Text t{text + size_t(start) * unit, unit, length};
    enum { NOTHING, DIGIT, APOSTROPHE, POINT } prev = NOTHING;
    bool in_fraction = false;
    for (uint32_t i = split_prefix(t, lexer_form, out); i < length; i++) {
        uint32_t c = string::char_of(t, i);
        if (c >= '0' && c <= '9') {
            if (in_fraction) {
                if (out->fraction_count < sizeof out->fraction) out->fraction[out->fraction_count] = char(c);
                out->fraction_count++;
            } else if (out->integer_count || c != '0') {
                if (out->integer_count < sizeof out->integer) out->integer[out->integer_count] = char(c);
                out->integer_count++;
            }
            prev = DIGIT;
            continue;
        }
        bool point = c == '.' || (lexer_form && c == ',');
        if (prev != DIGIT || in_fraction || (c != '\'' && !point)) return false;
        in_fraction = point;
        prev = point ? POINT : APOSTROPHE;
    }
    return prev == DIGIT;
}

void scan_money(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, Cell* out, int32_t* error) {
    MoneyText m;
    bool read = split_money(text, start, length, unit, false, &m) && money::from_text(out, m);
    *error = read ? 0 : -1;
}

}  // namespace lexer
}  // namespace zel
