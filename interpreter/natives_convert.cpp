// The conversion natives: URL escapes (dehex, enhex), base encodings (debase,
// enbase), case conversion, as-pair, as (the same series under a related
// type) and the new-line markers of list series.
#include <cmath>
#include <cstdint>

#include "core/block.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "core/url.h"
#include "datatypes/base_codecs.h"
#include "datatypes/binary.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "interpreter/natives.h"
#include "kernel/unicode.h"

namespace zel {
namespace natives {
namespace {

Cell* arg(uint32_t k) { return stack::reg.base + k; }

// ---- URL escapes ---------------------------------------------------------------------

void dehex_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_dehex, r);
    Cell* out = stack::push_slot();
    string::write_cell(out, string::get_length(arg(0)));
    url::decode(arg(0), out);
    *arg(0) = *out;
}

// A string! keeps only letters, digits and "-._~"; the other text types keep
// what their mold keeps.
void enhex_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_enhex, r);
    int32_t mode = cell::type(arg(0)) == T_STRING ? url::ENCODE_COMPONENT : url::ENCODE_MOLD;
    Cell* out = stack::push_slot();
    string::write_cell(out, string::get_length(arg(0)));
    url::encode_char(arg(0), out, mode);
    *arg(0) = *out;
}

// ---- base encodings -------------------------------------------------------------------

struct Codec {
    int32_t base;
    uint64_t (*size)(uint32_t count);
    uint8_t* (*encode)(uint8_t* dest, const uint8_t* source, uint32_t count);
    Node (*decode)(const uint8_t* text, uint32_t length, uint32_t unit);
};

constexpr Codec CODECS[] = {
    {64, binary::base64_size, binary::encode_base64, binary::decode_base64},
    {58, binary::base58_size, binary::encode_base58, binary::decode_base58},
    {16, binary::base16_size, binary::encode_base16, binary::decode_base16},
    {2, binary::base2_size, binary::encode_base2, binary::decode_base2},
};

// The codec of /base (refinement 0), base 64 without it.
const Codec& codec_of(const int32_t* r) {
    if (r[0] < 0) return CODECS[0];
    const Cell* base = arg(uint32_t(r[0]));
    for (const Codec& c : CODECS)
        if (c.base == cell::get_int(base)) return c;
    error::raise(Err::script_invalid_arg, base);
}

// Text that is not valid in the base answers none.
void debase_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_debase, r);
    const Codec& codec = codec_of(r);
    uint32_t length = string::get_length(arg(0));
    Node bytes = codec.decode(string::head_ptr(arg(0)), length, series::unit(string::buffer_of(arg(0))));
    if (bytes) cell::make_series(arg(0), T_BINARY, bytes);
    else cell::make_none(arg(0));
}

void enbase_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_enbase, r);
    const Codec& codec = codec_of(r);
    Cell source = *arg(0);
    uint32_t count;
    if (cell::type(&source) == T_STRING) cell::make_series(&source, T_BINARY, utf8::from_string(arg(0), &count));
    else count = binary::length(&source);
    uint64_t size = codec.size(count);
    if (size > uint64_t(INT32_MAX)) error::raise(Err::script_too_long);
    Cell* out = stack::push_slot();
    string::write_cell(out, uint32_t(size));
    uint8_t* dest = series::reserve(string::buffer_of(out), uint32_t(size));
    uint8_t* end = codec.encode(dest, binary::head_address(&source), count);
    string::truncate(string::buffer_of(out), uint32_t(end - dest));
    *arg(0) = *out;
}

// ---- case ------------------------------------------------------------------------------

// string /part limit: a number limit counts characters (a float truncated).
void change_case(bool upper, const int32_t* r) {
    Cell count;
    const Cell* limit = r[0] >= 0 ? arg(uint32_t(r[0])) : nullptr;
    if (limit && (cell::type(limit) == T_FLOAT || cell::type(limit) == T_PERCENT)) {
        cell::make_integer(&count, check::float_range(limit));
        limit = &count;
    }
    case_::change_string(arg(0), upper, limit);
}

void uppercase_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_uppercase, r);
    change_case(true, r);
}

void lowercase_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_lowercase, r);
    change_case(false, r);
}

// ---- as-pair and as ----------------------------------------------------------------------

// An integer! as it is, a float! truncated toward zero; a float that is not
// finite or does not fit 32 bits is an invalid argument.
int32_t pair_coordinate(const Cell* v) {
    if (cell::type(v) == T_INTEGER) return cell::get_int(v);
    double d = std::trunc(cell::get_float(v));
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) error::raise(Err::script_invalid_arg, v);
    return int32_t(d);
}

void as_pair_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_as_pair, r);
    int32_t x = pair_coordinate(arg(0)), y = pair_coordinate(arg(1));
    pair::init_cell(arg(0), x, y);
}

// Point coordinates are 32-bit floats, integers converted.
float point_coordinate(const Cell* v) {
    return cell::type(v) == T_INTEGER ? float(cell::get_int(v)) : float(cell::get_float(v));
}

void as_point2D_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_as_point2D, r);
    float x = point_coordinate(arg(0)), y = point_coordinate(arg(1));
    point2D::init_cell(arg(0), x, y);
}

void as_point3D_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_as_point3D, r);
    float x = point_coordinate(arg(0)), y = point_coordinate(arg(1)), z = point_coordinate(arg(2));
    point3D::init_cell(arg(0), x, y, z);
}

// The currency must be in the list; the amount is exact, a float with at
// most five decimals.
void as_money_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_as_money, r);
    const Cell* currency = arg(0);
    int32_t index = money::currency_index(currency);
    if (index < 0) error::raise(Err::script_bad_denom, currency);
    Cell out;
    const Cell* amount = arg(1);
    if (cell::type(amount) == T_INTEGER) money::of_integer(&out, cell::get_int(amount));
    else money::of_float(&out, cell::get_float(amount), true);
    money::store_currency(&out, uint32_t(index));
    *arg(0) = out;
}

// The families whose members share one layout: 1 the block-like types, 2 the
// text types; 0 for every other type.
uint32_t family_of(uint32_t type) {
    if (types::in(types::UNHASHED_BLOCK, type)) return 1;
    return types::is_any_string(type) ? 2 : 0;
}

void as_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_as, r);
    const Cell* type = arg(0);
    uint32_t target = cell::type(type) == T_DATATYPE ? cell::datatype_id(type) : cell::type(type);
    Cell spec = *arg(1);
    uint32_t family = family_of(target);
    if (family == 0 || family != family_of(cell::type(&spec))) {
        Cell from, to;
        cell::make_datatype(&from, cell::type(&spec));
        cell::make_datatype(&to, target);
        error::raise(Err::script_not_same_class, &from, &to);
    }
    cell::set_type(&spec, target);
    *arg(0) = spec;
}

// ---- new-line markers ----------------------------------------------------------------------

void mark(Cell* c, bool on) {
    if (on) c->header |= HDR_NEW_LINE;
    else c->header &= ~HDR_NEW_LINE;
}

// position value /all /skip size: without a period only the cell at the
// position changes; with one, every cell from the position on, those on the
// period to value and the others to its opposite.
void new_line_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_new_line, r);
    const Cell* position = arg(0);
    bool on = cell::get_logic(arg(1)) != 0;
    int32_t period = r[0] >= 0 ? 1 : 0;
    if (r[1] >= 0) {
        const Cell* size = arg(uint32_t(r[1]));
        period = cell::get_int(size);
        if (period <= 0) error::raise(Err::script_out_of_range, size);
    }
    uint32_t index = uint32_t(cell::series_index(position));
    uint32_t length = block::buffer_length(position);
    if (period == 0) {
        if (index < length) mark(block::writable_cell_at(position, index), on);
        return;
    }
    for (uint32_t i = 0; index + i < length; i++)
        mark(block::writable_cell_at(position, index + i), i % uint32_t(period) == 0 ? on : !on);
}

void new_line_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_new_line, r);
    const Cell* position = arg(0);
    uint32_t index = uint32_t(cell::series_index(position));
    bool marked = index < block::buffer_length(position) && (block::cell_at(position, index)->header & HDR_NEW_LINE);
    cell::make_logic(arg(0), marked);
}

// ---- the table ---------------------------------------------------------------------------

#define ZEL_HEX_SPEC(doc) "\"" doc "\" value [any-string!] return: [string!] \"Always return a string\""
#define ZEL_CASE_SPEC(doc)                                                                   \
    "\"" doc "\" string [any-string! char!] \"Value to convert (modified when series)\""     \
    " /part \"Limits to a given length or position\" limit [number! any-string!]"             \
    " return: [any-string! char!]"
#define ZEL_BASE_SPEC                                                                        \
    " /base \"Binary base to use\" base-value [integer!] \"The base to convert from: 64, 58, 16, or 2\""

constexpr NativeDef DEFS[] = {
    {NAT_dehex, "dehex", ZEL_HEX_SPEC("Converts URL-style hex encoded (%xx) strings"), dehex_native},
    {NAT_enhex, "enhex", ZEL_HEX_SPEC("Encode URL-style hex encoded (%xx) strings"), enhex_native},
    {NAT_uppercase, "uppercase", ZEL_CASE_SPEC("Converts string of characters to uppercase"), uppercase_native},
    {NAT_lowercase, "lowercase", ZEL_CASE_SPEC("Converts string of characters to lowercase"), lowercase_native},
    {NAT_as_pair, "as-pair", R"~("Combine X and Y values into a pair" x [integer! float!] y [integer! float!])~",
     as_pair_native},
    {NAT_as_point2D, "as-point2D", R"~("Combine X and Y values into a 2D point" x [integer! float!] y [integer! float!])~",
     as_point2D_native},
    {NAT_as_point3D, "as-point3D",
     R"~("Combine X, Y and Z values into a 3D point" x [integer! float!] y [integer! float!] z [integer! float!])~",
     as_point3D_native},
    {NAT_as_money, "as-money",
     R"~("Combine currency code and amount into a monetary value"
        currency [word!] amount [integer! float!] return: [money!])~",
     as_money_native},
    {NAT_debase, "debase",
     R"~("Decodes binary-coded string (BASE-64 default) to binary value"
        value [string!] "The string to decode")~" ZEL_BASE_SPEC,
     debase_native},
    {NAT_new_line, "new-line",
     R"~("Sets or clears the new-line marker within a list series"
        position [any-list!] "Position to change marker (modified)"
        value [logic!] "Set TRUE for newline"
        /all "Set/clear marker to end of series"
        /skip "Set/clear marker periodically to the end of the series" size [integer!]
        return: [any-list!])~",
     new_line_native},
    {NAT_is_new_line, "new-line?",
     R"~("Returns the state of the new-line marker within a list series"
        position [any-list!] "Position to check marker"
        return: [logic!])~",
     new_line_q_native},
    {NAT_enbase, "enbase",
     R"~("Encodes a string into a binary-coded string (BASE-64 default)"
        value [binary! string!] "If string, will be UTF8 encoded")~" ZEL_BASE_SPEC,
     enbase_native},
    {NAT_as, "as",
     R"~("Coerce a series into a compatible datatype without copying it"
        type [datatype! block! paren! any-path! any-string!] "The datatype or example value"
        spec [block! paren! any-path! any-string!] "The series to coerce")~",
     as_native},
};
static_assert(matches_ids(DEFS), "a native row out of order or misnamed");

#undef ZEL_HEX_SPEC
#undef ZEL_CASE_SPEC
#undef ZEL_BASE_SPEC

}  // namespace

const Module module_convert = {DEFS, sizeof DEFS / sizeof DEFS[0]};

}  // namespace natives
}  // namespace zel
