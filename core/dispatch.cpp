// Action dispatch: lookup by the first argument's datatype, the entry
// routines of the action table, and the comparison entry.
#include "core/dispatch.h"

#include <cstring>

#include "core/context.h"
#include "core/datatype.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/logic.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "datatypes/handle.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"

namespace zel {
namespace actions {

Entry table[ACTION_COUNT];
Entry plain_table[ACTION_COUNT];

// ---- lookup -------------------------------------------------------------------

// Native port actors, named by the value of a handle! (index + 1).
constexpr uint32_t PORT_ACTORS = 16;
static const ActionRow* port_actors[PORT_ACTORS];

uint32_t add_port_actor(const ActionRow* row) {
    for (uint32_t i = 0; i < PORT_ACTORS; i++) {
        if (port_actors[i]) continue;
        port_actors[i] = row;
        return i + 1;
    }
    return 0;
}

// The native actor row of a port whose actor (third field) is a handle!;
// null for an actor of any other type. A handle naming no row has no actions.
static const ActionRow* native_actor(const Cell* port) {
    static const ActionRow none{};
    const Cell* actor = context::value_at(cell::object_context(port), 2);
    if (cell::type(actor) != T_HANDLE) return nullptr;
    uint32_t h = handle::value_of(actor);
    return h >= 1 && h <= PORT_ACTORS && port_actors[h - 1] ? port_actors[h - 1] : &none;
}

const ActionRow* port_row(const Cell* value, bool* from_actor) {
    const ActionRow* actor = native_actor(value);
    *from_actor = actor != nullptr;
    return actor;
}

void raise_missing(uint32_t type, bool from_actor) {
    if (from_actor) error::raise(Err::access_no_port_action);
    check::expect_arg(0, type);
}

// The typed lookup every entry makes: the port rule, then one read of the
// row.
template <class F>
static F impl(const Cell* value, uint32_t type, F ActionRow::*member, uint32_t id) {
    bool from_actor;
    F fn = row_for(value, type, id, &from_actor).*member;
    if (!fn) raise_missing(type, from_actor);
    return fn;
}

template <class F>
static F impl(const Cell* value, F ActionRow::*member, uint32_t id) {
    return impl(value, cell::type(value), member, id);
}

PathFn eval_path_of(const Cell* value, const Cell* path, const Cell* element, int32_t index) {
    PathFn fn = types::row(cell::type(value)).eval_path;
    if (fn) return fn;
    Cell datatype;
    cell::make_datatype(&datatype, cell::type(value));
    if (!path) error::raise(Err::script_bad_path_type2, element, &datatype);
    Cell rest = *path;
    cell::set_series_index(&rest, uint32_t(index + 1));
    error::raise(Err::script_bad_path_type, path, &datatype, &rest);
}

// ---- frame access -------------------------------------------------------------

static inline Cell* arg(uint32_t k) { return stack::reg.base + k; }
// A refinement without an argument: used or not.
static inline bool flag(const int32_t* r, int i) { return r[i] >= 0; }
// A refinement with an argument: its cell, or null when not used.
static inline Cell* opt(const int32_t* r, int i) { return r[i] >= 0 ? stack::reg.base + r[i] : nullptr; }
// An implementation that answers a cell leaves it as the result; null means
// it wrote the result slot itself. An exit taken by code the action ran (a
// sort comparator) has moved the base to its target, whose value stays.
static inline void result(const Cell* c) {
    if (c && !exits::pending()) *stack::reg.base = *c;
}

// A count argument (/part limit, /dup count).
static int32_t count_of(const Cell* c) {
    return cell::type(c) == T_INTEGER ? cell::get_int(c) : 0;
}

// ---- frame only ---------------------------------------------------------------

#define FRAME_ENTRY(member) \
    void member(const int32_t*) { impl(arg(0), &ActionRow::member, ACT_##member)(); }
FRAME_ENTRY(absolute)
FRAME_ENTRY(add)
FRAME_ENTRY(divide)
FRAME_ENTRY(multiply)
FRAME_ENTRY(power)
FRAME_ENTRY(remainder)
FRAME_ENTRY(subtract)
FRAME_ENTRY(and_)
FRAME_ENTRY(or_)
FRAME_ENTRY(xor_)
FRAME_ENTRY(at)
FRAME_ENTRY(back)
FRAME_ENTRY(head)
FRAME_ENTRY(is_head)
FRAME_ENTRY(is_index)
FRAME_ENTRY(next)
FRAME_ENTRY(skip)
FRAME_ENTRY(tail)
FRAME_ENTRY(is_tail)
#undef FRAME_ENTRY

// ---- value in, result out -----------------------------------------------------

#define VALUE_ENTRY(member)                                                 \
    void member(const int32_t*) {                                           \
        Cell* v = arg(0);                                                   \
        result(impl(v, &ActionRow::member, ACT_##member)(v));               \
    }
VALUE_ENTRY(negate)
VALUE_ENTRY(complement)
VALUE_ENTRY(clear)
VALUE_ENTRY(create)
VALUE_ENTRY(close)
VALUE_ENTRY(delete_)
VALUE_ENTRY(is_open)
VALUE_ENTRY(query)
VALUE_ENTRY(update)
#undef VALUE_ENTRY

void is_even(const int32_t*) {
    Cell* v = arg(0);
    cell::make_logic(stack::reg.base, impl(v, &ActionRow::is_even, ACT_is_even)(v) != 0);
}

void is_odd(const int32_t*) {
    Cell* v = arg(0);
    cell::make_logic(stack::reg.base, impl(v, &ActionRow::is_odd, ACT_is_odd)(v) != 0);
}

void is_length(const int32_t*) {
    Cell* v = arg(0);
    int32_t n = impl(v, &ActionRow::is_length, ACT_is_length)(v);
    if (exits::pending()) return;  // as in result()
    if (n < 0) cell::make_none(stack::reg.base);
    else cell::make_integer(stack::reg.base, n);
}

// ---- construction and reflection ----------------------------------------------

// make and to dispatch on the type a datatype! names, else on the first
// argument's own type.
static void make_with(MakeFn ActionRow::*member, uint32_t id) {
    Cell* proto = arg(0);
    uint32_t type = cell::type(proto) == T_DATATYPE ? cell::datatype_id(proto) : cell::type(proto);
    result(impl(proto, type, member, id)(proto, arg(1), type));
}

void make(const int32_t*) { make_with(&ActionRow::make, ACT_make); }
void to(const int32_t*) { make_with(&ActionRow::to, ACT_to); }

void reflect(const int32_t*) {
    Cell* v = arg(0);
    result(impl(v, &ActionRow::reflect, ACT_reflect)(v, cell::word_symbol(arg(1))));
}

// random value /seed /secure /only
void random(const int32_t* r) {
    Cell* v = arg(0);
    result(impl(v, &ActionRow::random, ACT_random)(v, flag(r, 0), flag(r, 1), flag(r, 2)));
}

// round value /to scale /even /down /half-down /floor /ceiling /half-ceiling
void round(const int32_t* r) {
    Cell* v = arg(0);
    result(impl(v, &ActionRow::round, ACT_round)(v, opt(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                                 flag(r, 4), flag(r, 5), flag(r, 6)));
}

// ---- form and mold ------------------------------------------------------------

constexpr int32_t NO_LIMIT = 2147483647;

// The text entries: the value's text goes into a new string kept above the
// result slot, cut to the /part limit, and becomes the result. A limit below
// 1 answers an empty string without asking the type.
template <class Call>
static void text_entry(Cell* part, Call call) {
    Cell* base = stack::reg.base;
    int32_t limit = part ? count_of(part) : NO_LIMIT;
    if (limit < 1) {
        string::write_cell(base, 16);
        return;
    }
    Cell part_arg;  // the buffer is pushed over the argument cells
    if (part) part_arg = *part;
    stack::keep();
    Cell* buffer = stack::push_slot();
    string::write_cell(buffer, 16);
    call(base, buffer, part ? &part_arg : nullptr, limit);
    if (part) string::truncate(string::buffer_of(buffer), uint32_t(limit));
    *base = *buffer;
}

// form value /part limit
void form(const int32_t* r) {
    FormFn fn = impl(arg(0), &ActionRow::form, ACT_form);
    text_entry(opt(r, 0), [fn](Cell* v, Cell* buffer, Cell* part, int32_t limit) {
        fn(v, buffer, part, limit);
    });
}

// mold value /only /all /flat /part limit
void mold(const int32_t* r) {
    MoldFn fn = impl(arg(0), &ActionRow::mold, ACT_mold);
    bool only = flag(r, 0), all = flag(r, 1), flat = flag(r, 2);
    text_entry(opt(r, 3), [=](Cell* v, Cell* buffer, Cell* part, int32_t limit) {
        fn(v, buffer, only, all, flat, part, limit, 0);
    });
}

int32_t form_dispatch(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return impl(value, &ActionRow::form, ACT_form)(value, buffer, part, limit);
}

int32_t mold_dispatch(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                      int32_t limit, int32_t indent) {
    return impl(value, &ActionRow::mold, ACT_mold)(value, buffer, only, all, flat, part, limit, indent);
}

// ---- series access ------------------------------------------------------------

// The index argument of pick and poke as a number: true 1, false 2, an
// integer! or char! its value, anything else 0.
static int32_t index_number(const Cell* index) {
    switch (cell::type(index)) {
    case T_LOGIC: return cell::get_logic(index) ? 1 : 2;
    case T_INTEGER:
    case T_CHAR: return int32_t(cell::get_char(index));
    default: return 0;
    }
}

void pick(const int32_t*) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::pick, ACT_pick)(s, index_number(arg(1)), arg(1)));
}

void poke(const int32_t*) { result(poke_dispatch(arg(0), arg(1), arg(2))); }

const Cell* poke_dispatch(Cell* series, Cell* index, Cell* value) {
    return impl(series, &ActionRow::poke, ACT_poke)(series, index_number(index), index, value);
}

// ---- /part and /dup of append, insert and change ------------------------------

// The types whose values have a buffer a /part may measure.
static constexpr types::Mask PART_TYPES = types::SERIES | types::bit(T_MAP);

static uint32_t tail_of(const Cell* s) { return series::length(node::buffer(cell::series_node(s))); }

// An index past the tail (another value shortened the buffer) goes back to it.
static void clip(Cell* s) {
    uint32_t tail = tail_of(s);
    if (uint32_t(cell::series_index(s)) > tail) cell::set_series_index(s, tail);
}

// The length a /part argument gives the series: a count, or a position of the
// same series. A negative length moves the series' start back by as much as
// it can and counts the distance. For a port! or image! target of change the
// index stays as it is, only a count serves and a negative one is 0.
static int32_t part_length(Cell* series, const Cell* part, bool change) {
    uint32_t t = cell::type(series);
    if (change && (t == T_PORT || t == T_IMAGE)) {
        if (cell::type(part) != T_INTEGER) error::raise_bad_refine("part", part);
        return cell::get_int(part) < 0 ? 0 : cell::get_int(part);
    }
    if (!types::in(PART_TYPES, t)) error::raise(Err::script_invalid_part, part);
    clip(series);
    int32_t length;
    if (cell::type(part) == T_INTEGER) {
        length = cell::get_int(part);
    } else {
        if (cell::type(part) != t || cell::series_node(part) != cell::series_node(series)) {
            error::raise_bad_refine("part", part);
        }
        Cell end = *part;
        clip(&end);
        length = cell::series_index(&end) - cell::series_index(series);
    }
    if (length < 0) {
        int32_t start = cell::series_index(series) + length;
        if (start < 0) start = 0;
        length = cell::series_index(series) - start;
        cell::set_series_index(series, uint32_t(start));
    }
    return length;
}

// The normalised /part length (-1 without /part) and /dup count (1 without);
// false when the action has nothing to do and its target stays the result.
[[gnu::always_inline]] static inline bool insert_counts(const int32_t* r, Cell* measured, bool change, int32_t* part,
                                                        int32_t* dup) {
    *part = -1;
    if (Cell* p = opt(r, 0)) {
        *part = part_length(measured, p, change);
        if (*part == 0) return false;
    }
    Cell* d = opt(r, 2);
    *dup = d ? count_of(d) : 1;
    return *dup >= 1;
}

// append/insert series value /part length /only /dup count
[[gnu::always_inline]] static inline void insert_with(const int32_t* r, InsertFn ActionRow::*member, uint32_t id,
                                                      bool append) {
    Cell* s = arg(0);
    InsertFn fn = impl(s, member, id);
    int32_t part, dup;
    if (!insert_counts(r, arg(1), false, &part, &dup)) return;
    result(fn(s, arg(1), part, flag(r, 1), dup, append));
}

void append(const int32_t* r) { insert_with(r, &ActionRow::append, ACT_append, true); }
void insert(const int32_t* r) { insert_with(r, &ActionRow::insert, ACT_insert, false); }

// change series value /part range /only /dup count
void change(const int32_t* r) {
    Cell* s = arg(0);
    ChangeFn fn = impl(s, &ActionRow::change, ACT_change);
    int32_t part, dup;
    if (!insert_counts(r, s, true, &part, &dup)) return;
    result(fn(s, arg(1), part, flag(r, 1), dup));
}

// ---- the other series actions -------------------------------------------------

// copy value /part range /deep /types kind
void copy(const int32_t* r) { result(copy_dispatch(arg(0), opt(r, 0), flag(r, 1), opt(r, 2))); }

const Cell* copy_dispatch(Cell* value, Cell* part, bool deep, Cell* types) {
    return impl(value, &ActionRow::copy, ACT_copy)(value, part, deep, types);
}

// find series value /part /only /case /same /any /with /skip /last /reverse
// /tail /match
void find(const int32_t* r) {
    result(find_dispatch(arg(0), arg(1), opt(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                         opt(r, 5), opt(r, 6), flag(r, 7), flag(r, 8), flag(r, 9), flag(r, 10)));
}

const Cell* find_dispatch(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                          bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                          bool match) {
    return impl(series, &ActionRow::find, ACT_find)(series, value, part, only, case_, same, any, with,
                                                    skip, last, reverse, tail, match);
}

// select: find without /tail and /match
void select(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::select, ACT_select)(s, arg(1), opt(r, 0), flag(r, 1), flag(r, 2),
                                                   flag(r, 3), flag(r, 4), opt(r, 5), opt(r, 6),
                                                   flag(r, 7), flag(r, 8)));
}

// move origin target /part length
void move(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::move, ACT_move)(s, arg(1), opt(r, 0)));
}

// put series key value /case
void put(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::put, ACT_put)(s, arg(1), arg(2), flag(r, 0)));
}

// remove series /part range /key key
void remove(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::remove, ACT_remove)(s, opt(r, 0), opt(r, 1)));
}

// reverse series /part range /skip size
void reverse(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::reverse, ACT_reverse)(s, opt(r, 0), opt(r, 1)));
}

// sort series /case /skip size /compare comparator /part length /all
// /reverse /stable
void sort(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::sort, ACT_sort)(s, flag(r, 0), opt(r, 1), opt(r, 2), opt(r, 3),
                                               flag(r, 4), flag(r, 5), flag(r, 6)));
}

void swap(const int32_t*) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::swap, ACT_swap)(s, arg(1)));
}

// take series /part length /deep /last
void take(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::take, ACT_take)(s, opt(r, 0), flag(r, 1), flag(r, 2)));
}

// trim series /head /tail /auto /lines /all /with characters
void trim(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::trim, ACT_trim)(s, flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                               flag(r, 4), opt(r, 5)));
}

// modify target field value /case
void modify(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::modify, ACT_modify)(s, arg(1), arg(2), flag(r, 0)));
}

// ---- ports and files ----------------------------------------------------------

// open port /new /read /write /seek /allow access
void open(const int32_t* r) {
    result(open_dispatch(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), opt(r, 4)));
}

const Cell* open_dispatch(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return impl(port, &ActionRow::open, ACT_open)(port, new_, read, write, seek, allow);
}

// read source /part length /seek index /binary /lines /info /as encoding
void read(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::read, ACT_read)(s, opt(r, 0), opt(r, 1), flag(r, 2), flag(r, 3),
                                               flag(r, 4), opt(r, 5)));
}

void rename(const int32_t*) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::rename, ACT_rename)(s, arg(1)));
}

// write destination data /binary /lines /info /append /part length /seek
// index /allow access /as encoding
void write(const int32_t* r) {
    Cell* s = arg(0);
    result(impl(s, &ActionRow::write, ACT_write)(s, arg(1), flag(r, 0), flag(r, 1), flag(r, 2),
                                                 flag(r, 3), opt(r, 4), opt(r, 5), opt(r, 6), opt(r, 7)));
}

const Cell* eval_path_dispatch(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                               Cell* prev_element, int32_t index, bool case_, bool get, bool last,
                               bool notify) {
    return eval_path_of(parent, path, element, index)(parent, element, value, path, prev_value, prev_element, index, case_, get, last, notify);
}

// ---- comparison ---------------------------------------------------------------

// How each op reads the raw answer r.
enum Reading : uint8_t { R_EQ, R_NE, R_LT, R_LE, R_GT, R_GE, R_BAD };
static constexpr Reading readings[] = {
    R_EQ, R_NE, R_EQ, R_LT, R_LE, R_GT, R_GE, R_BAD, R_BAD, R_EQ, R_EQ, R_EQ, R_EQ,
};

bool compare(Cell* value1, Cell* value2, int32_t op) {
    Reading how = op >= 0 && op < int32_t(sizeof readings) ? readings[op] : R_BAD;
    if (how == R_BAD) runtime::error_report(101, reinterpret_cast<uintptr_t>(&compare_values));
    int32_t r = impl(value1, &ActionRow::compare, ACT_compare)(value1, value2, op);
    if (r == NOT_COMPARABLE) {
        if (how >= R_LT) error::raise(Err::script_invalid_compare, value1, value2);
        return how == R_NE;
    }
    switch (how) {
    case R_EQ: return r == 0;
    case R_NE: return r != 0;
    case R_LT: return r < 0;
    case R_LE: return r <= 0;
    case R_GT: return r > 0;
    default: return r >= 0;
    }
}

void compare_to_logic(int32_t op) {
    Cell* base = stack::reg.base;
    cell::make_logic(base, compare(base, base + 1, op));
}

static int32_t sign_of(int32_t a, int32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

int32_t compare_values(Cell* value1, Cell* value2, int32_t op) {
    switch (cell::type(value1)) {
    case T_LOGIC: return int32_t(logic::is_truthy(value1)) - int32_t(logic::is_truthy(value2));
    case T_NATIVE:
    case T_ACTION:
    case T_OP: return sign_of(int32_t(cell::callable_index(value1)), int32_t(cell::callable_index(value2)));
    case T_FUNCTION:
    case T_ROUTINE: return sign_of(int32_t(cell::callable_extra(value1)), int32_t(cell::callable_extra(value2)));
    default: return impl(value1, &ActionRow::compare, ACT_compare)(value1, value2, op);
    }
}

// Hash tables ask for equality through the compare action; a type without
// one falls back to the tables' own payload equality. The common key types
// of the same type are compared in place, as their compare actions would
// for the table's two operators: integers and chars by value (both
// case-sensitive), words by their symbol (exact for strict equality, by the
// canonical form otherwise), strings character by character.
static bool table_equal(const Cell* a, const Cell* b, uint32_t op) {
    uint32_t t = cell::type(a);
    if (t == cell::type(b)) {
        switch (t) {
        case T_INTEGER:
        case T_CHAR: return cell::get_int(a) == cell::get_int(b);
        case T_WORD:
        case T_SET_WORD:
        case T_GET_WORD:
        case T_LIT_WORD: return hashtable::same_value(a, b, op);
        case T_STRING:
            if (cell::series_index(a) >= 0 && cell::series_index(b) >= 0) return hashtable::same_value(a, b, op);
            break;
        default: break;
        }
    }
    if (!types::row(cell::type(a)).compare) return hashtable::same_value(a, b, op);
    return compare(const_cast<Cell*>(a), const_cast<Cell*>(b), int32_t(op));
}

// ---- the table ----------------------------------------------------------------

void copy_entries(const Entry* list) { std::memcpy(table, list, sizeof table); }

// The entry with constant positions, inlined into this one: its flag()
// and opt() tests fold away.
template <Entry entry>
[[gnu::flatten]] static void plain(const int32_t*) {
    entry(NO_REFINEMENTS.refs);
}

void init_table() {
    Entry list[ACTION_COUNT] = {};
#define ZEL_ACTION_PLACE(member)                   \
    list[ACT_##member - 1] = member;               \
    plain_table[ACT_##member - 1] = plain<member>;
    ZEL_ACTION_ENTRIES(ZEL_ACTION_PLACE)
#undef ZEL_ACTION_PLACE
    copy_entries(list);
    hashtable::equal = table_equal;
}

}  // namespace actions
}  // namespace zel
