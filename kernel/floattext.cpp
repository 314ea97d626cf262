// Float text: layout of the digits that std::to_chars generates (correctly
// rounded, shortest or to a precision), the printf-style form texts, and a
// reader that normalises a number text for std::from_chars.
#include "kernel/floattext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace zel {
namespace float_ {

bool pretty = true;
bool full = false;

static const char TEXT_INF[] = "1.#INF";
static const char TEXT_NEG_INF[] = "-1.#INF";
static const char TEXT_NAN[] = "1.#NaN";

static size_t put_text(char* out, const char* text) {
    size_t n = std::strlen(text);
    std::memcpy(out, text, n + 1);
    return n;
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The digits of a positive finite double: value = 0.d1 d2 ... dn times 10^k.
struct Digits {
    char d[MAX_DIGITS + 1];
    int n;
    int k;
};

static void generate(double mag, int32_t precision, Digits& g) {
    char sci[64];
    std::to_chars_result r = precision > 0
        ? std::to_chars(sci, sci + sizeof sci, mag, std::chars_format::scientific,
                        int(precision > MAX_DIGITS ? MAX_DIGITS : precision) - 1)
        : std::to_chars(sci, sci + sizeof sci, mag, std::chars_format::scientific);
    const char* p = sci;
    g.n = 0;
    for (; *p != 'e'; p++)
        if (is_digit(*p)) g.d[g.n++] = *p;
    while (g.n > 1 && g.d[g.n - 1] == '0') g.n--;
    int exponent = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), r.ptr, exponent);
    g.k = exponent + 1;
}

static char* put_exponent(char* p, int e) {
    *p++ = 'e';
    return std::to_chars(p, p + 8, e).ptr;
}

static char* put_zeros(char* p, int count) {
    for (; count > 0; count--) *p++ = '0';
    return p;
}

static char* layout(const Digits& g, bool keep_zero_fraction, char* p) {
    if (g.k >= 18 || g.k < -6) {  // exponent notation
        *p++ = g.d[0];
        if (g.n > 1) {
            *p++ = '.';
            std::memcpy(p, g.d + 1, g.n - 1);
            p += g.n - 1;
        } else if (keep_zero_fraction) {
            p += put_text(p, ".0");
        }
        return put_exponent(p, g.k - 1);
    }
    if (g.k >= 1) {  // point inside or after the digits
        if (g.n > g.k) {
            std::memcpy(p, g.d, g.k);
            p += g.k;
            *p++ = '.';
            std::memcpy(p, g.d + g.k, g.n - g.k);
            return p + (g.n - g.k);
        }
        std::memcpy(p, g.d, g.n);
        p = put_zeros(p + g.n, g.k - g.n);
        return keep_zero_fraction ? p + put_text(p, ".0") : p;
    }
    p += put_text(p, "0.");
    p = put_zeros(p, -g.k);
    std::memcpy(p, g.d, g.n);
    return p + g.n;
}

size_t format_double(double value, int32_t precision, bool keep_zero_fraction, char* out) {
    if (std::isnan(value)) return put_text(out, TEXT_NAN);
    if (std::isinf(value)) return put_text(out, value < 0 ? TEXT_NEG_INF : TEXT_INF);
    bool negative = std::signbit(value);
    if (value == 0) {
        static const char* const zeros[2][2] = {{"0", "-0"}, {"0.0", "-0.0"}};
        return put_text(out, zeros[keep_zero_fraction][negative]);
    }
    Digits g;
    generate(std::fabs(value), precision, g);
    char* p = out;
    if (negative) *p++ = '-';
    p = layout(g, keep_zero_fraction, p);
    *p = '\0';
    return size_t(p - out);
}

// How each kind is formed: the conversion (null: format_double to six digits),
// the retry conversion, the pretty zero, and the suffix rules.
struct KindRule {
    const char* conversion;
    const char* retry;
    const char* pretty_zero;
    bool add_zero_fraction;
    bool percent;
};

static const KindRule kind_rules[] = {
    {"%.7g", "%.5g", "0.0", true, false},    // KIND_FLOAT32
    {"%.16g", "%.14g", "0.0", true, false},  // KIND_FLOAT
    {"%.7g", "%.14g", "0%", false, true},    // KIND_PERCENT32
    {"%.13g", "%.14g", "0%", false, true},   // KIND_PERCENT
    {nullptr, "%.5g", "0.0", false, false},  // KIND_TIME
    {"%.7g", "%.5g", "0", false, false},     // KIND_POINT
};

// A text whose mantissa runs to 17 characters or more and ends in "01" or
// "99" is most likely a binary rounding artefact (0.7999999999999999).
static bool is_artefact(const char* t, size_t len) {
    const char* e = static_cast<const char*>(std::memchr(t, 'e', len));
    size_t m = e ? size_t(e - t) : len;
    if (m <= 16) return false;
    if (!e && t[t[0] == '-'] == '0' && m <= 17) return false;
    return (t[m - 2] == '0' && t[m - 1] == '1') || (t[m - 2] == '9' && t[m - 1] == '9');
}

static size_t print_g(char* out, const char* conversion, double value) {
    return size_t(std::snprintf(out, TEXT_SIZE, conversion, value));
}

// "1e+020" -> "1e20", "1e-005" -> "1e-5".
static size_t clean_exponent(char* t, size_t len) {
    char* e = static_cast<char*>(std::memchr(t, 'e', len));
    if (!e) return len;
    char* from = e + 1;
    char* to = e + 1;
    if (*from == '+') from++;
    else if (*from == '-') *to++ = *from++;
    while (*from == '0' && is_digit(from[1])) from++;
    std::memmove(to, from, size_t(t + len - from) + 1);
    return len - size_t(from - to);
}

static size_t add_zero_fraction(char* t, size_t len) {
    if (std::memchr(t, '.', len)) return len;
    char* e = static_cast<char*>(std::memchr(t, 'e', len));
    char* at = e ? e : t + len;
    std::memmove(at + 2, at, size_t(t + len - at) + 1);
    at[0] = '.';
    at[1] = '0';
    return len + 2;
}

size_t form_into(double value, int32_t kind, char* out) {
    if (std::isnan(value)) return put_text(out, TEXT_NAN);
    if (std::isinf(value)) return put_text(out, value < 0 ? TEXT_NEG_INF : TEXT_INF);
    const KindRule& rule = kind_rules[kind >= KIND_FLOAT32 && kind <= KIND_POINT ? kind : KIND_FLOAT];
    if (pretty && std::fabs(value) < 0x1p-52) return put_text(out, rule.pretty_zero);
    size_t len = rule.conversion ? print_g(out, rule.conversion, value)
                                 : format_double(value, 6, false, out);
    if (pretty && is_artefact(out, len)) len = print_g(out, rule.retry, value);
    len = clean_exponent(out, len);
    if (rule.percent) {
        out[len++] = '%';
        out[len] = '\0';
    } else if (rule.add_zero_fraction) {
        len = add_zero_fraction(out, len);
    }
    return len;
}

// Reading. Digits past KEEP_DIGITS cannot change the rounding except through
// whether any of them is non-zero (no halfway point of a double has more than
// 767 significant digits), so they collapse into one sticky "1".
static const int KEEP_DIGITS = 800;
// Exponents beyond this give infinity or zero whatever the digits; reading
// stops growing the exponent there, so no count can overflow.
static const int64_t EXPONENT_CAP = 1000000;

struct Scan {
    char digits[KEEP_DIGITS + 16];  // significant digits, then "e" and an exponent
    int count;                      // significant digits kept
    bool sticky;                    // a non-zero digit was dropped
    int64_t point;                  // value = 0.digits times 10^point
};

static void take_digit(Scan& s, char c) {
    if (s.count < KEEP_DIGITS) s.digits[s.count++] = c;
    else if (c != '0') s.sticky = true;
}

// Reads the digits of [p, end), the point after the integer part; answers
// where reading stopped. A range without any digit stops at its start.
static const char* scan_mantissa(const char* p, const char* end, Scan& s) {
    const char* start = p;
    bool any = false;
    for (; p < end && is_digit(*p); p++, any = true) {
        if (s.count == 0 && *p == '0') continue;
        take_digit(s, *p);
        s.point++;
    }
    if (p < end && *p == '.') {
        for (p++; p < end && is_digit(*p); p++, any = true) {
            if (s.count == 0 && *p == '0') s.point--;
            else take_digit(s, *p);
        }
    }
    return any ? p : start;
}

// Reads "e", an optional sign and at least one digit; answers p unchanged when
// no exponent stands there.
static const char* scan_exponent(const char* p, const char* end, int64_t& exponent) {
    if (p + 1 >= end || (*p != 'e' && *p != 'E')) return p;
    const char* q = p + 1;
    bool negative = *q == '-';
    if (*q == '+' || *q == '-') q++;
    if (q >= end || !is_digit(*q)) return p;
    int64_t e = 0;
    for (; q < end && is_digit(*q); q++)
        if (e < EXPONENT_CAP) e = e * 10 + (*q - '0');
    exponent = negative ? -e : e;
    return q;
}

static double convert(Scan& s, int64_t exponent) {
    if (s.sticky) s.digits[s.count++] = '1';
    else
        while (s.digits[s.count - 1] == '0') s.count--;
    int64_t k = s.point + exponent;
    if (k > 309) return std::numeric_limits<double>::infinity();  // at least 1e309
    if (k < -323) return 0.0;                                      // below 1e-324
    char* end = s.digits + s.count;
    *end++ = 'e';
    end = std::to_chars(end, s.digits + sizeof s.digits, k - s.count).ptr;
    double v = 0;
    if (std::from_chars(s.digits, end, v).ec != std::errc())
        return k > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return v;
}

// "1.#INF", "-1.#INF", "1.#NaN": one digit, ".", "#" and a letter.
static bool read_special(const char* p, const char* end, bool negative, double& v) {
    if (end - p < 4 || !is_digit(p[0]) || p[1] != '.' || p[2] != '#') return false;
    switch (p[3]) {
    case 'I': case 'i':
        v = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    case 'N': case 'n':
        v = std::numeric_limits<double>::quiet_NaN();
        return true;
    default:
        return false;
    }
}

double from_text(const char* start, const char* end, int32_t exponent_shift, int32_t* unconsumed) {
    const char* p = start;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-')) p++;
    double v;
    if (read_special(p, end, negative, v)) {
        *unconsumed = 0;
        return v;
    }
    Scan s;
    s.count = 0;
    s.sticky = false;
    s.point = 0;
    const char* stop = scan_mantissa(p, end, s);
    if (stop == p) {
        *unconsumed = int32_t(end - start);
        return 0.0;
    }
    int64_t exponent = 0;
    stop = scan_exponent(stop, end, exponent);
    *unconsumed = int32_t(end - stop);
    v = s.count == 0 ? 0.0 : convert(s, exponent + exponent_shift);
    return negative ? -v : v;
}

}  // namespace float_
}  // namespace zel
