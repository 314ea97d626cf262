// The word family: making, pushing, reading and assigning words, and the word
// actions (form and mold by name, comparison by canonical symbol).
#include "core/word.h"

#include "core/context.h"
#include "core/datatype.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "kernel/boot.h"
#include "kernel/casefold.h"

namespace zel {
namespace word {


Cell intern(const char* name) {
    Cell w = context::add_word(symbol::intern(name), true, true);
    if (runtime::booting) roots::keep(&w);
    return w;
}

void write_cell(uint32_t symbol, Cell* c) {
    Cell w{T_WORD, context::global_node, symbol, 0};
    cell::set_word_index(&w, uint32_t(context::find_or_add(context::global_node, &w)));
    *c = w;
}

Cell get_or_add(Node ctx, uint32_t symbol) {
    int32_t pos = hashtable::find_word(context::table_of(context::cell_of(ctx)), symbol, false);
    if (pos >= 0) return *context::word_at(context::cell_of(ctx), pos);
    return context::add_word(symbol, false, false);
}

Cell* symbol_record(const Cell* word) { return symbol::get(cell::word_symbol(word)); }

uint32_t scan_name(const Cell* word) {
    Cell name;
    cell::make_series(&name, T_STRING, cell::symbol_string(symbol_record(word)));
    return load::scan_type(&name);
}

// ---- typed words ----------------------------------------------------------------

Cell* append_new(const Cell* block, const char* name, uint32_t type) {
    Cell w = intern(name);
    cell::set_type(&w, type);
    return cell::copy(&w, block::append_slot(block));
}

Cell intern_as(const char* name, uint32_t type) {
    Cell w = intern(name);
    cell::set_type(&w, type);
    return w;
}

// ---- storing ------------------------------------------------------------------

void set_from_frame() {
    Cell w = *stack::arg(0);
    Cell* value = stack::arg(1);
    if (cell::type(value) == T_UNSET) error::raise(Err::script_need_value, &w);
    set_value(&w, value);
    stack::set_result(stack::arg(1));
}

// ---- make and to ----------------------------------------------------------------

[[noreturn]] static void bad_to(uint32_t type, const Cell* spec) {
    Cell dt;
    cell::make_datatype(&dt, type);
    error::raise(Err::script_bad_to_arg, &dt, spec);
}

// A string! of one character.
static void char_string(Cell* out, uint32_t cp) {
    string::write_cell(out, 4);
    string::append_char(string::buffer_of(out), cp);
}

static void load_word(Cell* spec) {
    Cell text = *spec;
    if (cell::type(spec) == T_CHAR) char_string(&text, cell::get_char(spec));
    const Cell* v = load::value_from_string(&text);
    if (!types::is_symbolic(cell::type(v))) error::raise(Err::script_invalid_chars);
    *spec = *v;
}

const Cell* make(Cell*, Cell* spec, uint32_t type) {
    switch (cell::type(spec)) {
    case T_WORD:
    case T_SET_WORD:
    case T_LIT_WORD:
    case T_GET_WORD: break;
    case T_REFINEMENT:
    case T_ISSUE:
        if (!types::is_variable_word(scan_name(spec))) bad_to(type, spec);
        context::bind_word(context::global_node, spec);
        break;
    case T_STRING:
    case T_CHAR: load_word(spec); break;
    case T_DATATYPE: *spec = types::name(cell::datatype_id(spec)).word; break;
    case T_LOGIC: write_cell(words::symbol(cell::get_logic(spec) ? words::S_true_ : words::S_false_), spec); break;
    default: bad_to(type, spec);
    }
    cell::set_type(spec, type);
    return spec;
}

// ---- form and mold ----------------------------------------------------------------

static int32_t append_name(const Cell* word, Cell* buffer, int32_t limit) {
    Cell name;
    cell::make_series(&name, T_STRING, cell::symbol_string(symbol_record(word)));
    string::concatenate(buffer, &name, -1, 0, true, string::COPY_APPEND);
    return limit - int32_t(string::get_abs_length(&name));
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) { return append_name(value, buffer, limit); }

// The marks a word type adds around its name.
struct Marks {
    const char* before;
    const char* after;
};
static Marks marks_of(uint32_t type) {
    switch (type) {
    case T_SET_WORD: return {"", ":"};
    case T_LIT_WORD: return {"'", ""};
    case T_GET_WORD: return {":", ""};
    case T_REFINEMENT: return {"/", ""};
    case T_ISSUE: return {"#", ""};
    }
    return {"", ""};
}

static int32_t append_mark(Cell* buffer, const char* mark, int32_t limit) {
    if (!*mark) return limit;
    string::append_cstr(buffer, mark);
    return limit - 1;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    Marks m = marks_of(cell::type(value));
    limit = append_mark(buffer, m.before, limit);
    limit = append_name(value, buffer, limit);
    return append_mark(buffer, m.after, limit);
}

// ---- compare -------------------------------------------------------------------------

// The two names as text, compared for an ordering op: in upper case, except
// for the case-sensitive sort order.
static int32_t order_names(const Cell* a, const Cell* b, int32_t op) {
    Cell x, y;
    cell::make_series(&x, T_STRING, cell::symbol_string(symbol_record(a)));
    cell::make_series(&y, T_STRING, cell::symbol_string(symbol_record(b)));
    uint32_t nx = string::get_abs_length(&x), ny = string::get_abs_length(&y);
    bool fold = op != 8;
    for (uint32_t i = 0; i < nx && i < ny; i++) {
        uint32_t cx = string::char_at(&x, i), cy = string::char_at(&y, i);
        if (fold) {
            cx = case_::convert(cx, true);
            cy = case_::convert(cy, true);
        }
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return nx == ny ? 0 : nx < ny ? -1 : 1;
}

static int32_t differ(bool same) { return same ? 0 : 1; }

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = cell::type(value1), t2 = cell::type(value2);
    if (!types::is_symbolic(t2) || (t2 == T_ISSUE && t1 != T_ISSUE)) return -2;
    bool canonical = symbol::resolve(cell::word_symbol(value1)) == symbol::resolve(cell::word_symbol(value2));
    bool exact = cell::word_symbol(value1) == cell::word_symbol(value2);
    bool word_and_lit = (t1 == T_WORD && t2 == T_LIT_WORD) || (t1 == T_LIT_WORD && t2 == T_WORD);
    switch (op) {
    case 0:
    case 1:
    case 12: return differ(canonical);
    case 2: return differ(t1 == t2 && exact);
    case 9: return differ(t1 == t2 && exact && cell::word_context(value1) == cell::word_context(value2));
    case 10: return differ(word_and_lit ? exact : t1 == t2 && exact);
    case 11: return differ((word_and_lit || t1 == t2) && canonical);
    case 3: case 4: case 5: case 6: case 7: case 8: return order_names(value1, value2, op);
    }
    return -2;
}

void is_index() {
    Cell* w = stack::arg(0);
    Cell result;
    if (cell::word_index(w) < 0) {
        cell::make_none(&result);
    } else {
        cell::make_integer(&result, cell::word_index(w) + 1);
    }
    stack::set_result(&result);
}

void init() {
    datatype::register_({.id = T_WORD, .parent = T_SYMBOL, .name = "word!", .make = make, .to = make,
                         .form = form, .mold = mold, .compare = compare, .is_index = is_index});
}

}  // namespace word

// ---- the typed members ------------------------------------------------------------------

static void register_word_type(uint32_t id, const char* name, bool has_index) {
    TypeTable t{.id = id, .parent = T_WORD, .name = name, .make = INHERIT, .to = INHERIT, .form = INHERIT,
                .mold = word::mold, .compare = INHERIT};
    if (has_index) t.is_index = INHERIT;
    datatype::register_(t);
}

namespace lit_word {
void init() { register_word_type(T_LIT_WORD, "lit-word!", true); }
}
namespace set_word {
void init() { register_word_type(T_SET_WORD, "set-word!", true); }
}
namespace get_word {
void init() { register_word_type(T_GET_WORD, "get-word!", true); }
}

namespace refinement {

void write_cell(Cell* c, const char* name) { *c = Cell{T_REFINEMENT, 0, symbol::intern(name), uint32_t(-1)}; }

Cell* intern(const char* name, const Cell* block) {
    Cell r;
    write_cell(&r, name);
    return cell::copy(&r, block::append_slot(block));
}

void init() { register_word_type(T_REFINEMENT, "refinement!", false); }

}  // namespace refinement

namespace issue {

static void write_symbol(Cell* c, uint32_t symbol) { *c = Cell{T_ISSUE, context::global_node, symbol, uint32_t(-1)}; }

void write_cell(Cell* c, const char* name) { write_symbol(c, symbol::intern(name)); }

Cell* append_new(const char* name, const Cell* block) {
    Cell i;
    write_cell(&i, name);
    return cell::copy(&i, block::append_slot(block));
}

Cell intern(const char* name) {
    Cell i;
    write_cell(&i, name);
    if (runtime::booting) {
        roots::keep(&i);
    } else {
        stack::push(&i);
    }
    return i;
}

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    uint32_t t = cell::type(spec);
    if (types::is_symbolic(t)) {
        cell::set_type(spec, type);
        return spec;
    }
    if (t == T_STRING) {
        write_symbol(spec, symbol::make_from_string(spec));
    } else if (t == T_CHAR) {
        uint8_t utf8[4];
        write_symbol(spec, symbol::make_from_buffer(utf8, utf8::encode_char(cell::get_char(spec), utf8)));
    } else {
        return word::make(proto, spec, type);
    }
    cell::set_type(spec, type);
    return spec;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    return cell::type(value2) == T_ISSUE ? word::compare(value1, value2, op) : -2;
}

void init() {
    datatype::register_({.id = T_ISSUE, .parent = T_WORD, .name = "issue!", .make = make, .to = make,
                         .form = INHERIT, .mold = word::mold, .compare = compare});
}

}  // namespace issue
}  // namespace zel
