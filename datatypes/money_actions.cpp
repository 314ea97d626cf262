// money!: make and to, text, path access, the single-value actions, random
// amounts, and the registration of its action row and of the number
// hand-overs.
#include <cstring>

#include "core/block.h"
#include "core/datatype.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/money.h"
#include "io/number_scan.h"

namespace zel {
namespace money {

using namespace number;

namespace {

// An answer of make, to and a path read, which the caller copies at once.
Cell answer;

// ---- make and to --------------------------------------------------------------

void of_text(Cell* out, const Cell* spec) {
    string::Text t = string::text_of(spec);
    int32_t error;
    lexer::scan_money(t.p, 0, t.len, t.unit, out, &error);
    if (error) raise_bad_to(T_MONEY, spec);
}

void convert(Cell* out, const Cell* spec) {
    if (types::is_any_string(spec)) return of_text(out, spec);
    switch (cell::type(spec)) {
    case T_INTEGER: return of_integer(out, cell::get_int(spec));
    case T_FLOAT: return of_float(out, cell::get_float(spec), true);
    case T_MONEY: *out = *spec; return;
    default: raise_bad_to(T_MONEY, spec);
    }
}

uint32_t currency_of_word(const Cell* word) {
    int32_t index = currency_index(word);
    if (index < 0) raise_make(T_MONEY, word);
    return uint32_t(index);
}

// The five decimals given as an integer 0-99999, added with the amount's sign.
void add_decimals(Cell* out, const Cell* decimals) {
    int32_t n = cell::get_int(decimals);
    if (cell::type(decimals) != T_INTEGER || n < 0 || n > 99999) raise_make(T_MONEY, decimals);
    Digits digits = digits_of(out);
    for (int32_t i = DIGITS - 1; i >= INTEGER_DIGITS; i--, n /= 10) digits.d[i] = uint8_t(n % 10);
    make(out, sign_of(out) < 0, currency_of(out), digits);
}

// [currency amount decimals]: the currency word is optional and never last;
// the decimals follow an integer amount only.
void of_block(Cell* out, const Cell* spec) {
    uint32_t index = uint32_t(cell::series_index(spec)), length = block::buffer_length(spec);
    uint32_t n = index < length ? length - index : 0;
    if (n < 1 || n > 3) raise_make(T_MONEY, spec);
    const Cell* cells = block::cell_at(spec, index);
    uint32_t currency = 0, i = 0;
    if (cell::type(cells) == T_WORD) {
        if (n == 1) raise_make(T_MONEY, cells);
        currency = currency_of_word(cells);
        i = 1;
    }
    const Cell* amount = cells + i;
    switch (cell::type(amount)) {
    case T_INTEGER: of_integer(out, cell::get_int(amount)); break;
    case T_FLOAT: of_float(out, cell::get_float(amount), true); break;
    default: raise_make(T_MONEY, amount);
    }
    store_currency(out, currency);
    if (++i < n) {
        if (cell::type(amount) != T_INTEGER) raise_make(T_MONEY, cells + i);
        add_decimals(out, cells + i);
    }
    if (++i < n) raise_make(T_MONEY, cells + i);
}

const Cell* to(Cell*, Cell* spec, uint32_t) {
    convert(&answer, spec);
    return &answer;
}

const Cell* make_action(Cell*, Cell* spec, uint32_t) {
    switch (cell::type(spec)) {
    case T_WORD:
        of_integer(&answer, 0);
        store_currency(&answer, currency_of_word(spec));
        break;
    case T_BLOCK: of_block(&answer, spec); break;
    default: convert(&answer, spec);
    }
    return &answer;
}

// ---- text ---------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[TEXT_SIZE];
    uint32_t n = write_text(value, true, SHOWN_DECIMALS, text);
    return datatype::append_text(buffer, text, n, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    char text[TEXT_SIZE];
    uint32_t n = write_text(value, false, all ? DECIMALS : SHOWN_DECIMALS, text);
    return datatype::append_text(buffer, text, n, limit);
}

// ---- fields -------------------------------------------------------------------

enum Field : int32_t { NO_FIELD = 0, CODE = 1, AMOUNT = 2 };

Field field_of(const Cell* element) {
    if (cell::type(element) == T_INTEGER) {
        int32_t n = cell::get_int(element);
        return n == CODE || n == AMOUNT ? Field(n) : NO_FIELD;
    }
    if (cell::type(element) != T_WORD) return NO_FIELD;
    uint32_t s = symbol::resolve(cell::word_symbol(element));
    if (s == symbol::resolve(words::symbol(words::S_code))) return CODE;
    if (s == symbol::resolve(words::symbol(words::S_amount))) return AMOUNT;
    return NO_FIELD;
}

const Cell* read_field(const Cell* value, Field f) {
    uint32_t currency = currency_of(value);
    if (f == AMOUNT) {
        answer = *value;
        store_currency(&answer, 0);
    } else if (currency) {
        char code[4] = {};
        std::memcpy(code, currency_code(currency), 3);
        answer = word::intern(code);
    } else {
        cell::make_none(&answer);
    }
    return &answer;
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool, bool,
                      bool) {
    if (value) error::raise(Err::script_bad_path_set, path, element);
    Field f = field_of(element);
    if (f == NO_FIELD) error::raise(Err::script_invalid_path, path, element);
    return read_field(parent, f);
}

const Cell* pick(Cell* value, int32_t, Cell* index_cell) {
    Field f = field_of(index_cell);
    if (f == NO_FIELD) error::raise(Err::script_out_of_range, index_cell);
    return read_field(value, f);
}

// ---- single values and arithmetic ---------------------------------------------

void absolute() { store_sign(stack::arg(0), false); }

const Cell* negate(Cell* value) {
    store_sign(value, !sign_flag(value));
    return value;
}

// The last integer digit decides; the decimals do not count.
int32_t last_integer_digit(const Cell* value) { return digits_of(value).d[INTEGER_DIGITS - 1]; }
int32_t is_even(Cell* value) { return last_integer_digit(value) % 2 == 0; }
int32_t is_odd(Cell* value) { return last_integer_digit(value) % 2 == 1; }

// ---- random -------------------------------------------------------------------

// A digit from 0 to its bound. The bound itself stands only when two further
// draws agree modulo 1000, which keeps results at the value itself rare.
int32_t bounded_digit(bool secure, int32_t bound) {
    for (;;) {
        int32_t d = random::in_range(secure, bound + 1) - 1;
        if (d < bound) return d;
        if (random::draw(secure) % 1000 == random::draw(secure) % 1000) return d;
    }
}

// Digits drawn from the first significant one down, each bounded by the
// value's digit until one falls below it; the rest are free.
const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w1 ^ value->w2 ^ value->w3 ^ (sign_flag(value) ? 1u : 0u)));
        return &statics::unset_cell;
    }
    Digits d = digits_of(value);
    if (is_zero(d)) return value;
    bool bounded = true;
    for (int32_t i = DIGITS - significant_digits(d); i < DIGITS; i++) {
        int32_t digit = bounded ? bounded_digit(secure, d.d[i]) : random::in_range(secure, 10) - 1;
        bounded = bounded && digit == d.d[i];
        d.d[i] = uint8_t(digit);
    }
    make(value, sign_flag(value), currency_of(value), d);
    return value;
}

void add() { arithmetic(OP_ADD); }
void subtract() { arithmetic(OP_SUBTRACT); }
void multiply() { arithmetic(OP_MULTIPLY); }
void divide() { arithmetic(OP_DIVIDE); }
void remainder() { arithmetic(OP_REMAINDER); }

}  // namespace

void register_type() {
    datatype::register_({.id = T_MONEY, .name = "money!", .make = make_action, .random = random,
                         .to = to, .form = form,
                         .mold = mold, .eval_path = eval_path, .compare = compare, .absolute = absolute,
                         .add = add, .divide = divide, .multiply = multiply, .negate = negate,
                         .remainder = remainder, .round = round, .subtract = subtract, .is_even = is_even,
                         .is_odd = is_odd, .pick = pick});
    seams.arithmetic[T_MONEY] = arithmetic;
    seams.money_as_integer = as_integer;
    seams.money_as_float = as_float;
    seams.money_of_integer = of_integer;
    seams.money_compare = compare;
}

}  // namespace money
}  // namespace zel
