// error!: the catalog and the prototype error made at boot, building errors by
// id or from a make spec, the fields a throw and a catch fill in, and the
// actions of error! other than form (the report, error_report.cpp).
#include "datatypes/error.h"

#include <cstring>

#include "core/context.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/logic.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error_report.h"
#include "kernel/collector.h"
#include "kernel/memory.h"

namespace zel {
namespace error {

namespace {

// ---- the catalog as data ------------------------------------------------------

enum PieceKind : uint8_t { PIECE_END, PIECE_TEXT, PIECE_GET, PIECE_WORD };
struct Piece {
    PieceKind kind;
    uint8_t arg;  // 1-3 for the words argN and :argN
    const char* text;
};
enum TemplateKind : uint8_t { STR, BLK, WRD };
struct IdEntry {
    uint8_t category;
    const char* word;
    TemplateKind kind;
    Piece pieces[7];
};
struct CategoryEntry {
    const char* word;
    const char* title;
};

#define T(s) Piece{PIECE_TEXT, 0, s}
#define G(n) Piece{PIECE_GET, n, nullptr}
#define W(n) Piece{PIECE_WORD, n, nullptr}
const IdEntry IDS[] = {
#define ZEL_ERROR_CATEGORY(index, word, title)
#define ZEL_ERROR(category, code, ident, word, kind, ...) {category, word, kind, {__VA_ARGS__}},
#include "datatypes/error_catalog.inc"
#undef ZEL_ERROR
#undef ZEL_ERROR_CATEGORY
};
#undef T
#undef G
#undef W

const CategoryEntry CATEGORIES[] = {
#define ZEL_ERROR_CATEGORY(index, word, title) {#word, title},
#define ZEL_ERROR(category, code, ident, word, kind, ...)
#include "datatypes/error_catalog.inc"
#undef ZEL_ERROR
#undef ZEL_ERROR_CATEGORY
};
static_assert(sizeof CATEGORIES / sizeof CATEGORIES[0] == CATEGORY_COUNT, "ten categories");

const char* const FIELD_NAMES[FIELD_COUNT] = {"code", "type", "id", "arg1", "arg2",
                                              "arg3", "near", "where", "stack", "files"};

// Class id of every error! value.
constexpr uint32_t ERROR_CLASS = 1;
// The fixed class ids of the objects made here, which the system object
// takes over: the catalog (system/catalog/errors), its first category (the
// others follow at every second number) and the prototype
// (system/standard/error).
constexpr uint32_t CATALOG_CLASS = 183, FIRST_CATEGORY_CLASS = 185, PROTOTYPE_CLASS = 244;
// Room of the block fill_stack makes for the call names.
constexpr uint32_t STACK_NAMES = 20;

// ---- module state ---------------------------------------------------------------

// The objects the module holds, which its collector callback marks (a
// collection may move their contexts to other nodes).
enum Kept { KEPT_CATALOG, KEPT_PROTOTYPE, KEPT_STATE, KEPT_COUNT };

struct Module {
    Cell kept[KEPT_COUNT];
    uint32_t stack_trace_symbol, source_files_symbol, stack_symbol;
    Evaluator eval;
    Cell built;  // the last error built, for the caller to copy
    bool marked;  // the collector callback is registered
};
Module M{};

Node catalog_ctx() { return cell::object_context(&M.kept[KEPT_CATALOG]); }
Node prototype_ctx() { return cell::object_context(&M.kept[KEPT_PROTOTYPE]); }

void mark() { collector::mark_cells(M.kept, M.kept + KEPT_COUNT); }

// ---- objects made here ------------------------------------------------------------

// An object cell over the context, also recorded as the context's owner.
Cell make_object(Node ctx, uint32_t type, uint32_t class_id) {
    Cell obj = {type, ctx, class_id, 0};
    *context::owner_of(ctx) = obj;
    return obj;
}

// Adds a field named by the text with a copy of the value.
void add_field(Node ctx, const char* name, const Cell* value) {
    Cell w;
    word::write_cell(symbol::intern(name), &w);
    context::put(ctx, &w, value);
}

// create() gives n values up front and adding a word appends one more; keep
// one value per word.
void fit_values(Node ctx) {
    SeriesBuffer* b = node::buffer(cell::context_values(context::cell_of(ctx)));
    b->tail = b->head + context::word_count(context::cell_of(ctx)) * uint32_t(sizeof(Cell));
}

Node new_object_context(uint32_t words) {
    return context::create(words, false, false, 0, context::KIND_OBJECT);
}

Cell text_value(const char* text) {
    Cell s;
    string::write_cell(&s, uint32_t(std::strlen(text)));
    string::append_cstr(&s, text);
    return s;
}

const char* const ARG_NAMES[] = {"", "arg1", "arg2", "arg3"};

// The words arg1 to arg3 (from 1), interned once for the whole catalog, each
// where it is first named, so that the global words come in the same order.
struct ArgWords {
    Cell word[4];
    bool made[4] = {};
    const Cell& get(uint32_t i) {
        if (!made[i]) word[i] = word::intern(ARG_NAMES[i]);
        made[i] = true;
        return word[i];
    }
};

Cell template_value(const IdEntry& e, ArgWords& args) {
    if (e.kind == STR) return text_value(e.pieces[0].text);
    if (e.kind == WRD) return args.get(1);
    uint32_t n = 0;
    while (n < 7 && e.pieces[n].kind != PIECE_END) n++;
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(n));
    for (uint32_t i = 0; i < n; i++) {
        const Piece& p = e.pieces[i];
        Cell v = p.kind == PIECE_TEXT ? text_value(p.text) : args.get(p.arg);
        if (p.kind == PIECE_GET) cell::set_type(&v, T_GET_WORD);
        *block::append_slot(&block) = v;
    }
    return block;
}

Cell make_category(uint32_t index, ArgWords& args) {
    uint32_t ids = 0;
    for (const IdEntry& e : IDS) ids += e.category == index;
    Node ctx = new_object_context(2 + ids);
    Cell code;
    cell::make_integer(&code, int32_t(index * 100));
    add_field(ctx, "code", &code);
    Cell title = text_value(CATEGORIES[index].title);
    add_field(ctx, "type", &title);
    for (const IdEntry& e : IDS) {
        if (e.category != index) continue;
        Cell t = template_value(e, args);
        add_field(ctx, e.word, &t);
    }
    fit_values(ctx);
    return make_object(ctx, T_OBJECT, FIRST_CATEGORY_CLASS + 2 * index);
}

void make_catalog() {
    Node ctx = new_object_context(CATEGORY_COUNT);
    ArgWords args;
    for (uint32_t i = 0; i < CATEGORY_COUNT; i++) {
        Cell category = make_category(i, args);
        add_field(ctx, CATEGORIES[i].word, &category);
    }
    fit_values(ctx);
    M.kept[KEPT_CATALOG] = make_object(ctx, T_OBJECT, CATALOG_CLASS);
}

void make_prototype() {
    Node ctx = new_object_context(FIELD_COUNT);
    for (const char* name : FIELD_NAMES) add_field(ctx, name, &statics::none_cell);
    fit_values(ctx);
    M.kept[KEPT_PROTOTYPE] = make_object(ctx, T_OBJECT, PROTOTYPE_CLASS);
}

// The state the report reads until the system's own takes over: a trace
// level of 1 and no source files.
void make_state() {
    Node ctx = new_object_context(2);
    Cell level;
    cell::make_integer(&level, 1);
    add_field(ctx, "stack-trace", &level);
    Cell files;
    cell::make_series(&files, T_BLOCK, series::new_cells(4));
    add_field(ctx, "source-files", &files);
    fit_values(ctx);
    M.kept[KEPT_STATE] = make_object(ctx, T_OBJECT, 0);
}

// ---- lookups ----------------------------------------------------------------------

// The state field of the symbol, or null.
Cell* state_field(uint32_t symbol) { return context::get_word_cell(symbol, cell::object_context(&M.kept[KEPT_STATE])); }

void set_code(Cell* err, uint32_t category_position, uint32_t id_position) {
    cell::make_integer(field(err, FIELD_CODE), int32_t(category_position * 100 + id_position - 2));
}

// The field's own word (bound to the prototype), as invalid-spec-field names it.
[[noreturn]] void raise_spec_field(uint32_t position) {
    Cell w = *context::word_at(context::cell_of(prototype_ctx()), int32_t(position));
    raise(Err::script_invalid_spec_field, &w);
}

// ---- building ---------------------------------------------------------------------

// A new error on the value stack: a copy of the prototype's fields.
Cell* push_new() {
    Node ctx = context::create(FIELD_COUNT, false, false, prototype_ctx(), context::KIND_OBJECT);
    Cell* from = context::value_at(prototype_ctx(), 0);
    Cell* to = context::value_at(ctx, 0);
    for (uint32_t i = 0; i < FIELD_COUNT; i++) to[i] = from[i];
    Cell err = make_object(ctx, T_ERROR, ERROR_CLASS);
    return stack::push(&err);
}

// The error leaves the value stack for the answer cell.
const Cell* finish(Cell* err) {
    M.built = *err;
    stack::reg.top = err;
    return &M.built;
}

void set_args(Cell* err, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    const Cell* args[3] = {arg1, arg2, arg3};
    for (uint32_t i = 0; i < 3; i++)
        if (args[i]) *field(err, FIELD_ARG1 + i) = *args[i];
}

// type and id from the words of a spec block: [category id ...].
void identify(Cell* err, const Cell* type, const Cell* id) {
    int32_t c = find_category(type);
    if (c < 0) raise_spec_field(FIELD_TYPE);
    *field(err, FIELD_TYPE) = *type;
    if (!id) raise_spec_field(FIELD_ID);
    if (cell::type(id) != T_WORD) raise(Err::script_invalid_arg, id);
    int32_t i = find_id(uint32_t(c), id);
    if (i < 0) raise_spec_field(FIELD_ID);
    *field(err, FIELD_ID) = *id;
    set_code(err, uint32_t(c), uint32_t(i));
}

void make_from_code(Cell* err, const Cell* spec) {
    int32_t code = cell::get_int(spec);
    *field(err, FIELD_CODE) = *spec;
    if (code < 0 || uint32_t(code / 100) >= category_count()) raise(Err::script_out_of_range, spec);
    uint32_t c = uint32_t(code / 100);
    uint32_t i = uint32_t(code % 100) + 2;
    *field(err, FIELD_TYPE) = *context::word_at(context::cell_of(catalog_ctx()), int32_t(c));
    const Cell* ctx = context::cell_of(cell::object_context(category(c)));
    if (i >= context::word_count(ctx)) raise(Err::script_out_of_range, spec);
    *field(err, FIELD_ID) = *context::word_at(ctx, int32_t(i));
}

// A block of set-words, evaluated in the new error's context.
void make_from_fields(Cell* err, Cell* spec) {
    context::bind(spec, cell::object_context(err), false);
    if (!M.eval) raise(Err::internal_not_done);
    M.eval(spec);
    const Cell* type = field(err, FIELD_TYPE);
    int32_t c = cell::type(type) == T_WORD ? find_category(type) : -1;
    if (c < 0) raise_spec_field(FIELD_TYPE);
    const Cell* id = field(err, FIELD_ID);
    int32_t i = cell::type(id) == T_WORD ? find_id(uint32_t(c), id) : -1;
    if (i < 0) raise_spec_field(FIELD_ID);
    set_code(err, uint32_t(c), uint32_t(i));
}

void make_from_block(Cell* err, Cell* spec) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t length = series::length(b);
    uint32_t index = uint32_t(cell::series_index(spec));
    if (index >= length) raise(Err::internal_invalid_error);
    Cell first = series::cells(b)[index];
    switch (cell::type(&first)) {
    case T_WORD: {
        Cell second = index + 1 < length ? series::cells(b)[index + 1] : statics::unset_cell;
        identify(err, &first, index + 1 < length ? &second : nullptr);
        return;
    }
    case T_SET_WORD: make_from_fields(err, spec); return;
    }
    raise(Err::internal_invalid_error);
}

}  // namespace

// ---- boot -------------------------------------------------------------------------------

void init() {
    make_catalog();
    make_prototype();
    make_state();
    if (!M.marked) collector::register_(mark);
    M.marked = true;
    M.stack_trace_symbol = symbol::intern("stack-trace");
    M.source_files_symbol = symbol::intern("source-files");
    M.stack_symbol = symbol::intern("stack");
}

const Cell* catalog() { return &M.kept[KEPT_CATALOG]; }
const Cell* prototype() { return &M.kept[KEPT_PROTOTYPE]; }
const Cell* state() { return &M.kept[KEPT_STATE]; }
void use_state(const Cell* state_object) { M.kept[KEPT_STATE] = *state_object; }
void set_evaluator(Evaluator eval) { M.eval = eval; }

Cell* field(const Cell* error, uint32_t position) { return context::value_at(cell::object_context(error), int32_t(position)); }
const Cell* category(uint32_t position) { return context::value_at(catalog_ctx(), int32_t(position)); }
uint32_t category_count() { return context::word_count(context::cell_of(catalog_ctx())); }

int32_t find_category(const Cell* word) {
    int32_t i = context::lookup_word(catalog_ctx(), cell::word_symbol(word), true);
    return i >= 0 && cell::type(category(uint32_t(i))) == T_OBJECT ? i : -1;
}

// code and type are members of every category but name no error.
int32_t find_id(uint32_t category_position, const Cell* word) {
    int32_t i = context::lookup_word(cell::object_context(category(category_position)), cell::word_symbol(word), true);
    return i >= 2 ? i : -1;
}

void set_identity(const Cell* error, Err id) {
    uint32_t c = category_of(id);
    *field(error, FIELD_TYPE) = *context::word_at(context::cell_of(catalog_ctx()), int32_t(c));
    *field(error, FIELD_ID) = *context::word_at(context::cell_of(cell::object_context(category(c))), int32_t(position_of(id)));
}

int32_t stack_trace_level() {
    const Cell* v = state_field(M.stack_trace_symbol);
    return v && cell::type(v) == T_INTEGER ? cell::get_int(v) : 0;
}

// ---- building ------------------------------------------------------------------------------

const Cell* build(Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    Cell args[3];
    const Cell* given[3] = {arg1, arg2, arg3};
    for (int i = 0; i < 3; i++)
        if (given[i]) args[i] = *given[i];
    Cell* err = push_new();
    cell::make_integer(field(err, FIELD_CODE), int32_t(id));
    set_identity(err, id);
    set_args(err, arg1 ? &args[0] : nullptr, arg2 ? &args[1] : nullptr, arg3 ? &args[2] : nullptr);
    return finish(err);
}

const Cell* build(const Cell* category_word, const Cell* id_word, const Cell* arg1, const Cell* arg2,
                  const Cell* arg3) {
    Cell type = *category_word, id = *id_word, args[3];
    const Cell* given[3] = {arg1, arg2, arg3};
    for (int i = 0; i < 3; i++)
        if (given[i]) args[i] = *given[i];
    Cell* err = push_new();
    identify(err, &type, &id);
    set_args(err, arg1 ? &args[0] : nullptr, arg2 ? &args[1] : nullptr, arg3 ? &args[2] : nullptr);
    return finish(err);
}

const Cell* make(Cell*, Cell* spec, uint32_t) {
    switch (cell::type(spec)) {
    case T_STRING: return build(Err::user_message, spec);
    case T_INTEGER: case T_BLOCK: break;
    default: {
        Cell type;
        datatype::write_cell(&type, T_ERROR);
        raise(Err::script_bad_make_arg, &type, spec);
    }
    }
    Cell s = *spec;
    Cell* err = push_new();
    if (cell::type(&s) == T_INTEGER)
        make_from_code(err, &s);
    else
        make_from_block(err, &s);
    return finish(err);
}

// ---- what throws and catches fill in ------------------------------------------------------------

void fill_where(const Cell* error, const Cell* word) {
    Cell* where = field(error, FIELD_WHERE);
    if (cell::type(where) == T_NONE) *where = *word;
}

void fill_stack(const Cell* error) {
    if (cell::type(error) != T_ERROR || cell::type(field(error, FIELD_STACK)) != T_INTEGER) return;
    uint32_t end = uint32_t(cell::get_int(field(error, FIELD_STACK)));
    int32_t level = stack_trace_level();
    Cell names;
    cell::make_series(&names, T_BLOCK, series::new_cells(STACK_NAMES));
    stack::collect_names(level > 0 ? uint32_t(level) : 1, &names, end);
    *field(error, FIELD_STACK) = names;
    const Cell* files = state_field(M.source_files_symbol);
    if (!files || cell::type(files) != T_BLOCK) return;
    SeriesBuffer* b = node::buffer(cell::series_node(files));
    uint32_t index = uint32_t(cell::series_index(files)), length = series::length(b);
    if (index >= length) return;
    Cell copy;
    cell::make_series(&copy, T_BLOCK,
                      series::copy_part(cell::series_node(files), index * uint32_t(sizeof(Cell)), length - index));
    *field(error, FIELD_FILES) = copy;
}

uint32_t category_symbol(const Cell* error) {
    const Cell* w = field(error, FIELD_TYPE);
    return cell::type(w) == T_WORD ? cell::word_symbol(w) : 0;
}

uint32_t id_symbol(const Cell* error) {
    const Cell* w = field(error, FIELD_ID);
    return cell::type(w) == T_WORD ? cell::word_symbol(w) : 0;
}

Cell argument_word(uint32_t n) {
    Cell call = stack::get_call();
    const Cell* callee = context::get_word_cell(cell::word_symbol(&call), cell::word_context(&call) ? cell::word_context(&call) : context::global_node);
    switch (callee ? cell::type(callee) : T_NONE) {
    case T_NATIVE: case T_ACTION: case T_OP: case T_FUNCTION: case T_ROUTINE: break;
    default: return statics::none_cell;
    }
    SeriesBuffer* b = node::buffer(cell::callable_spec(callee));
    for (const Cell *c = series::cells(b), *end = c + series::length(b); c < end; c++) {
        switch (cell::type(c)) {
        case T_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT:
            if (n-- == 0) return *c;
        }
    }
    return statics::none_cell;
}

// ---- actions -----------------------------------------------------------------------------------
// mold, eval-path and compare treat the error as the object it is.

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    static const char HEAD[] = "make error! [";
    // An error inside its own fields is written as a mark.
    if (cycles::find(cell::object_context(value))) return datatype::append_text(buffer, "...", 3, limit);
    if (!only) limit = datatype::append_text(buffer, HEAD, sizeof HEAD - 1, limit);
    limit = object::mold_into(value, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent > 0) limit = mold::indent(buffer, indent, limit);
    if (!only) limit = datatype::append_text(buffer, "]", 1, limit);
    return limit;
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify) {
    uint32_t t = cell::type(element);
    bool is_word = t == T_WORD || t == T_SET_WORD || t == T_GET_WORD || t == T_LIT_WORD;
    if (is_word && symbol::resolve(cell::word_symbol(element)) == symbol::resolve(M.stack_symbol))
        raise(Err::script_invalid_path_set, path);
    return object::eval_path(parent, element, value, path, prev_value, prev_element, index, case_, get, last,
                             notify);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) { return object::compare(value1, value2, op); }

void register_type() {
    datatype::register_({.id = T_ERROR, .parent = T_OBJECT, .name = "error!", .make = make,
                         .reflect = INHERIT, .form = form, .mold = mold, .eval_path = eval_path,
                         .compare = compare, .copy = INHERIT, .find = INHERIT, .select = INHERIT});
}

}  // namespace error
}  // namespace zel
