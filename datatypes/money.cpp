// money!: the cell layout, the currency list, the conversions from and to
// integers, floats and text.
#include "datatypes/money.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/float.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/support.h"
#include "core/symbol.h"
#include "kernel/floattext.h"

namespace zel {
namespace money {

// ---- cells --------------------------------------------------------------------

// The 12 payload bytes: the currency, then the packed digits.
static uint8_t* payload(Cell* c) { return reinterpret_cast<uint8_t*>(c) + 4; }
static const uint8_t* payload(const Cell* c) { return reinterpret_cast<const uint8_t*>(c) + 4; }

uint32_t currency_of(const Cell* c) { return payload(c)[0]; }

void store_currency(Cell* c, uint32_t index) { payload(c)[0] = uint8_t(index); }

Digits digits_of(const Cell* c) {
    Digits out;
    const uint8_t* packed = payload(c) + 1;
    for (int32_t i = 0; i < DIGITS; i++) out.d[i] = i % 2 ? packed[i / 2] & 0xF : packed[i / 2] >> 4;
    return out;
}

void store_digits(Cell* c, const Digits& digits) {
    uint8_t* packed = payload(c) + 1;
    for (int32_t i = 0; i < DIGITS; i += 2) packed[i / 2] = uint8_t(digits.d[i] << 4 | digits.d[i + 1]);
}

void init_cell(Cell* c, bool negative, uint32_t currency, const uint8_t packed[11]) {
    *c = Cell{T_MONEY, 0, 0, 0};
    store_sign(c, negative);
    store_currency(c, currency);
    std::memcpy(payload(c) + 1, packed, 11);
}

void make(Cell* c, bool negative, uint32_t currency, const Digits& digits) {
    *c = Cell{T_MONEY, 0, 0, 0};
    store_sign(c, negative && !money::is_zero(digits));
    store_currency(c, currency);
    store_digits(c, digits);
}

// ---- sign tests ---------------------------------------------------------------

bool is_zero(const Cell* c) {
    const uint8_t* packed = payload(c) + 1;
    for (int32_t i = 0; i < 11; i++)
        if (packed[i]) return false;
    return true;
}

int32_t sign_of(const Cell* c) {
    if (is_zero(c)) return 0;
    return sign_flag(c) ? -1 : 1;
}

// ---- currencies ---------------------------------------------------------------

static const char CURRENCIES[] =
    "AEDAFNALLAMDANGAOAARSAUDAWGAZN"
    "BAMBBDBDTBTCBGNBHDBIFBMDBNDBOB"
    "BRLBSDBTNBWPBYNBZDCADCDFCHFCKD"
    "CLPCNYCOPCRCCUCCUPCVECZKDJFDKK"
    "DOPDZDEGPERNETBETHEURFJDFKPFOK"
    "GBPGELGGPGHSGIPGMDGNFGTQGYDHKD"
    "HNLHRKHTGHUFIDRILSIMPINRIQDIRR"
    "ISKJEPJMDJODJPYKESKGSKHRKIDKMF"
    "KPWKRWKWDKYDKZTLAKLBPLKRLRDLSL"
    "LYDMADMDLMGAMKDMMKMNTMOPMRUMUR"
    "MVRMWKMXNMYRMZNNADNGNNIONOKNPR"
    "NZDOMRPABPENPGKPHPPKRPLNPNDPRB"
    "PYGQARZELRONRSDRUBRWFSARSBDSCR"
    "SDGSEKSGDSHPSLLSLSSOSSRDSSPSTN"
    "SYPSZLTHBTJSTMTTNDTOPTRYTTDTVD"
    "TWDTZSUAHUGXUSDUYUUZSVESVNDVUV"
    "WSTCFAXAFXCDXOFCFPXPFYERZARZMW";
static_assert(sizeof CURRENCIES == 3 * CURRENCY_COUNT + 1, "three letters a currency");

// Codes added through system/locale/currencies, after the built-in ones.
static char added_codes[3 * (MAX_CURRENCIES - CURRENCY_COUNT)];
static uint32_t added_count = 0;

static char upper(char ch) { return ch >= 'a' && ch <= 'z' ? char(ch - 'a' + 'A') : ch; }

uint32_t currency_count() { return CURRENCY_COUNT + added_count; }

int32_t currency_index(const char* code, uint32_t length) {
    if (length != 3) return -1;
    char key[3] = {upper(code[0]), upper(code[1]), upper(code[2])};
    for (uint32_t i = 1; i <= currency_count(); i++)
        if (std::memcmp(currency_code(i), key, 3) == 0) return int32_t(i);
    return -1;
}

int32_t add_currency(const char* code, uint32_t length) {
    if (length != 3) return -1;
    for (uint32_t i = 0; i < 3; i++)
        if (upper(code[i]) < 'A' || upper(code[i]) > 'Z') return -1;
    if (int32_t known = currency_index(code, length); known > 0) return known;
    if (currency_count() >= MAX_CURRENCIES) return -1;
    char* slot = added_codes + 3 * added_count++;
    for (uint32_t i = 0; i < 3; i++) slot[i] = upper(code[i]);
    return int32_t(currency_count());
}

int32_t currency_index(const Cell* word) {
    uint32_t length;
    const uint8_t* name = symbol::name_of(symbol::get(cell::word_symbol(word)), &length);
    return currency_index(reinterpret_cast<const char*>(name), length);
}

const char* currency_code(uint32_t index) {
    return index <= CURRENCY_COUNT ? CURRENCIES + 3 * (index - 1) : added_codes + 3 * (index - 1 - CURRENCY_COUNT);
}

// ---- conversions --------------------------------------------------------------

bool from_text(Cell* c, const MoneyText& m) {
    int32_t currency = m.has_code ? currency_index(m.code, 3) : 0;
    uint32_t count = m.integer_count;
    if (currency < 0 || count > uint32_t(INTEGER_DIGITS)) return false;
    Digits digits{};
    for (uint32_t i = 0; i < count; i++) digits.d[INTEGER_DIGITS - count + i] = uint8_t(m.integer[i] - '0');
    for (uint32_t i = 0; i < m.fraction_count && i < uint32_t(DECIMALS); i++)
        digits.d[INTEGER_DIGITS + i] = uint8_t(m.fraction[i] - '0');
    make(c, m.negative, uint32_t(currency), digits);
    return true;
}

void of_integer(Cell* c, int32_t value) {
    Digits digits{};
    uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
    for (int32_t i = INTEGER_DIGITS - 1; magnitude; i--, magnitude /= 10) digits.d[i] = uint8_t(magnitude % 10);
    make(c, value < 0, 0, digits);
}

int32_t as_integer(const Cell* c) {
    Digits digits = digits_of(c);
    uint64_t magnitude = 0;
    for (int32_t i = 0; i < INTEGER_DIGITS; i++) magnitude = magnitude * 10 + digits.d[i];
    bool negative = sign_of(c) < 0;
    if (magnitude > (negative ? 2147483648u : 2147483647u)) number::raise_type_limit(T_INTEGER);
    return negative ? int32_t(0 - uint32_t(magnitude)) : int32_t(magnitude);
}

bool is_float_too_large(double d) { return !(std::fabs(d) < 1e17); }

bool is_float_too_small(double d) { return d != 0 && std::fabs(d) < 1e-5; }

void raise_make(uint32_t type, const Cell* spec) {
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise_bad_make(&datatype, spec);
}

[[noreturn]] static void raise_float(double d) {
    Cell spec;
    cell::make_float(&spec, d);
    raise_make(T_MONEY, &spec);
}

// The shortest text that reads back to the float: a value with a short
// decimal form (0.1, 2.675) converts exactly. In the range accepted the text
// is always plain notation.
bool of_float_cut(Cell* c, double d) {
    char text[float_::TEXT_SIZE];
    size_t n = float_::format_double(d, 0, false, text);
    const char* p = text + (text[0] == '-');
    const char* point = std::strchr(p, '.');
    const char* end = text + n;
    const char* integer_end = point ? point : end;
    const char* fraction = point ? point + 1 : end;
    if (*p == '0') p++;
    MoneyText m{};
    m.negative = d < 0;
    m.integer_count = uint32_t(integer_end - p);
    m.fraction_count = uint32_t(end - fraction);
    std::memcpy(m.integer, p, std::min<size_t>(m.integer_count, sizeof m.integer));
    std::memcpy(m.fraction, fraction, std::min<size_t>(m.fraction_count, sizeof m.fraction));
    if (!from_text(c, m)) raise_float(d);
    return m.fraction_count > uint32_t(DECIMALS);
}

void of_float(Cell* c, double d, bool strict) {
    if (is_float_too_large(d) || is_float_too_small(d)) raise_float(d);
    Cell cut;
    if (of_float_cut(&cut, d) && strict) raise_float(d);
    *c = cut;
}

double as_float(const Cell* c) {
    char text[TEXT_SIZE];
    Cell magnitude = *c;
    store_sign(&magnitude, false);
    store_currency(&magnitude, 0);
    uint32_t n = write_text(&magnitude, false, DECIMALS, text);
    int32_t unconsumed = 0;
    double d = float_::from_text(text + 1, text + n, 0, &unconsumed);
    if (unconsumed != 0) raise_make(T_FLOAT, c);
    return sign_of(c) < 0 ? -d : d;
}

// ---- text ---------------------------------------------------------------------

// Form groups the digits in threes from the point: an apostrophe follows the
// digit at position p (1-based) when (p + 1) mod 3 is 0, except the last
// integer digit.
static bool apostrophe_after(int32_t p) { return (p + 1) % 3 == 0 && p != INTEGER_DIGITS; }

uint32_t write_text(const Cell* c, bool grouped, int32_t decimals, char* out) {
    char* o = out;
    if (sign_of(c) < 0) *o++ = '-';
    if (uint32_t cur = currency_of(c); cur >= 1 && cur <= currency_count()) {
        std::memcpy(o, currency_code(cur), 3);
        o += 3;
    }
    *o++ = '$';
    Digits digits = digits_of(c);
    int32_t first = 0;
    while (first < INTEGER_DIGITS - 1 && digits.d[first] == 0) first++;
    int32_t last = decimals < 1 ? INTEGER_DIGITS : INTEGER_DIGITS + (decimals > DECIMALS ? DECIMALS : decimals);
    for (int32_t i = first; i < last; i++) {
        if (i == INTEGER_DIGITS) *o++ = '.';
        *o++ = char('0' + digits.d[i]);
        if (grouped && i + 1 < last && apostrophe_after(i + 1)) *o++ = '\'';
    }
    *o = '\0';
    return uint32_t(o - out);
}

}  // namespace money
}  // namespace zel
