// object!: making, copying, the construct rule, set, paths, select, put,
// modify, reflect, form, mold and compare.
#include "core/object.h"

#include <initializer_list>

#include "core/block.h"
#include "core/context.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/evaluator.h"
#include "core/exits.h"
#include "core/function.h"
#include "core/integer.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace object {

namespace {

uint32_t class_counter = FIRST_CLASS;

inline uint32_t words_of(Node ctx) { return context::word_count(context::cell_of(ctx)); }
inline Cell* value_at(Node ctx, uint32_t i) { return context::value_at(ctx, int32_t(i)); }
inline Cell* word_at(Node ctx, uint32_t i) { return context::word_at(context::cell_of(ctx), int32_t(i)); }

bool is_symbol(uint32_t symbol, uint32_t wanted) { return symbol::resolve(symbol) == symbol::resolve(wanted); }
bool is_runtime_symbol(uint32_t symbol, words::Symbol s) { return is_symbol(symbol, words::symbol(s)); }
bool is_handler_word(const Cell* w) {
    return is_symbol(cell::word_symbol(w), cell::word_symbol(words::word(words::W_on_change))) ||
           is_symbol(cell::word_symbol(w), cell::word_symbol(words::word(words::W_on_deep_change)));
}

// A new object context for n words, with no words yet: adding a word appends
// its value.
Node new_context(uint32_t n) {
    Node ctx = context::create(n, false, true, 0, context::KIND_OBJECT);
    SeriesBuffer* values = node::buffer(cell::context_values(context::cell_of(ctx)));
    values->tail = values->head;
    return ctx;
}

// A deep copy of a series value in place (its flags kept).
void copy_series(Cell* slot_cell, Node ctx, uint32_t i) {
    Cell v = *slot_cell, copy;
    if (types::is_any_block(&v)) block::clone(&v, &copy, true, true);
    else copy = *actions::copy_dispatch(&v, nullptr, true, nullptr);
    copy.header |= v.header & ~HDR_TYPE_MASK;
    *value_at(ctx, i) = copy;
}

// A function field gets a function of its own, bound to the object first and
// to its own context then; it runs interpreted.
void rebind_function(Node ctx, uint32_t i) {
    Cell fn = *value_at(ctx, i);
    Cell body = function::extra(&fn)[function::EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) error::raise(Err::script_bad_func_def, &fn);
    Cell spec;
    cell::make_series(&spec, T_BLOCK, cell::callable_spec(&fn));
    Cell copy;
    block::clone(&body, &copy, true, true);
    temp_roots::Hold hold(&copy);
    context::bind(&copy, ctx, true);
    function::build_value(&spec, &copy, 0, 0, 0, fn.header & (HDR_TRACE_OFF | HDR_TRACE_ON));
    *value_at(ctx, i) = *stack::top();
    stack::pop(1);
}

// The fields a copy gives series and functions of their own: every series
// type (with all) or the strings, blocks, parens and paths.
void own_fields(Node ctx, bool all_series) {
    for (uint32_t i = 0; i < words_of(ctx); i++) {
        uint32_t t = cell::type(value_at(ctx, i));
        bool series = all_series ? types::is_series(t) : types::is_any_string(t) || types::is_any_block(t);
        if (series && t != T_IMAGE) copy_series(value_at(ctx, i), ctx, i);
        else if (t == T_FUNCTION) rebind_function(ctx, i);
    }
}

// Pushes an object of the context and copies it into the context's owner cell.
Cell* push(Node ctx, Node handlers, uint32_t class_id) {
    Cell obj{T_OBJECT, ctx, class_id, handlers};
    *context::owner_of(ctx) = obj;
    return stack::push(&obj);
}

// The copy core: a new context with the source's words and values; the
// result is pushed (type and class id kept, handlers kept unless fresh).
Cell* copy_core(const Cell* source, bool deep, Cell* types, bool fresh) {
    Cell src = *source;
    temp_roots::Hold hold(&src);
    Node from = cell::object_context(&src);
    uint32_t n = words_of(from);
    Node ctx = context::create(n, false, true, from, context::KIND_OBJECT);
    for (uint32_t i = 0; i < n; i++) *value_at(ctx, i) = *value_at(from, i);
    Cell* result = push(ctx, fresh ? 0 : cell::object_handlers(&src), cell::object_class(&src));
    cell::set_type(result, cell::type(&src));
    *context::owner_of(ctx) = *result;
    if (deep && !types) {
        own_fields(ctx, false);
    } else {
        for (uint32_t i = 0; i < n; i++)
            if (cell::type(value_at(ctx, i)) == T_FUNCTION) rebind_function(ctx, i);
        if (types) {
            if (deep && cycles::find(from)) {
                cycles::reset();
                error::raise(Err::internal_no_cycle);
            }
            Cell values;
            cell::make_series(&values, T_BLOCK, cell::context_values(context::cell_of(ctx)));
            if (deep) cycles::push(from);
            block::copy_by_types(&values, 0, n, 1, types, deep);
            if (deep) cycles::pop();
        }
    }
    if (fresh) set_handlers(result, ctx);
    return result;
}

// The block fields copied from a prototype see the new object's words.
void bind_blocks(Node ctx) {
    for (uint32_t i = 0; i < words_of(ctx); i++) {
        Cell v = *value_at(ctx, i);
        if (types::is_any_block(&v)) context::bind(&v, ctx, true);
    }
}

void clear_marks(Node ctx) {
    for (uint32_t i = 0; i < words_of(ctx); i++) {
        word_at(ctx, i)->header &= ~HDR_ASSIGNED;
        cell::clear_flag(value_at(ctx, i));
    }
}

// make with a block: the set-words become fields, the block is bound to the
// object and evaluated in it. Null when an exit left the evaluation.
const Cell* make_from_block(Cell* proto, Cell* spec, uint32_t type) {
    Cell body = *spec;
    temp_roots::Hold hold(&body);
    bool has_proto = types::in(types::ANY_OBJECT, cell::type(proto));
    Cell* obj = has_proto ? copy_core(proto, true, nullptr, false) : write_cell(stack::push_slot(), 4);
    if (!has_proto) cell::set_type(obj, type);
    Node ctx = cell::object_context(obj);
    bool grew = context::collect_set_words(ctx, &body);
    context::bind(&body, ctx, true);
    if (has_proto) bind_blocks(ctx);
    evaluator::eval(words::word(words::W_tag_anon), &body, false);
    if (exits::pending()) return nullptr;
    stack::pop(1);
    obj = stack::top();
    clear_marks(ctx);
    if (grew || !has_proto) cell::set_object_class(obj, new_class_id());
    set_handlers(obj, ctx);
    return obj;
}

// make with an object: its words are added or overwrite, then the result's
// series and functions become its own.
const Cell* make_from_object(Cell* proto, Cell* spec, uint32_t type) {
    Cell from = *spec;
    temp_roots::Hold hold(&from);
    bool has_proto = cell::type(proto) == T_OBJECT;
    Cell* obj = has_proto ? copy_core(proto, true, nullptr, false) : write_cell(stack::push_slot(), 4);
    if (!has_proto) cell::set_type(obj, type);
    Node ctx = cell::object_context(obj);
    uint32_t before = words_of(ctx);
    for (uint32_t i = 0; i < words_of(cell::object_context(&from)); i++) {
        Cell w = *word_at(cell::object_context(&from), i), v = *value_at(cell::object_context(&from), i);
        context::put(ctx, &w, &v);
    }
    own_fields(ctx, true);
    obj = stack::top();
    if (words_of(ctx) > before || !has_proto) cell::set_object_class(obj, new_class_id());
    set_handlers(obj, ctx);
    return obj;
}

}  // namespace

uint32_t new_class_id() { return ++class_counter; }

// ---- cells and fields ----------------------------------------------------------------

Cell* write_cell(Cell* c, uint32_t n) {
    Node ctx = new_context(n);
    *c = Cell{T_OBJECT, ctx, 0, 0};
    *context::owner_of(ctx) = *c;
    return c;
}

int32_t lookup_word(const Cell* obj, const Cell* word) { return context::lookup_word(cell::object_context(obj), cell::word_symbol(word), true); }

const Cell* get_word_cell(const Cell* obj, const Cell* word) {
    int32_t i = lookup_word(obj, word);
    return i < 0 ? &statics::none_cell : value_at(cell::object_context(obj), uint32_t(i));
}

Cell* get_values_at(Node ctx, int32_t index) { return context::value_at(ctx, index); }
uint32_t count_words(const Cell* obj) { return words_of(cell::object_context(obj)); }

// ---- construct and set ------------------------------------------------------------------

// The value of a construct field: logic and none words read as their values.
static Cell construct_value(const Cell* v, bool only) {
    if (only || cell::type(v) != T_WORD) return *v;
    using namespace words;
    uint32_t s = cell::word_symbol(v);
    for (Symbol t : {S_true_, S_yes, S_on}) if (is_runtime_symbol(s, t)) return statics::true_cell;
    for (Symbol f : {S_false_, S_no, S_off}) if (is_runtime_symbol(s, f)) return statics::false_cell;
    if (is_runtime_symbol(s, S_none)) return statics::none_cell;
    return *v;
}

const Cell* make_new(const Cell* spec, const Cell* proto, bool only) {
    Cell body = *spec;
    temp_roots::Hold hold(&body);
    Cell* obj;
    if (proto) {
        obj = copy_core(proto, true, nullptr, true);
    } else {
        obj = write_cell(stack::push_slot(), 4);
        cell::set_object_class(obj, new_class_id());
    }
    Node ctx = cell::object_context(obj);
    uint32_t start = uint32_t(cell::series_index(&body)), tail = block::buffer_length(&body);
    for (uint32_t i = start; i < tail; i++) {
        if (cell::type(block::cell_at(&body, i)) != T_SET_WORD) continue;
        uint32_t j = i;
        while (j < tail && cell::type(block::cell_at(&body, j)) == T_SET_WORD) j++;
        Cell v = j < tail ? construct_value(block::cell_at(&body, j), only) : statics::none_cell;
        for (; i < j; i++) {
            Cell w = *block::cell_at(&body, i);
            context::put(ctx, &w, &v);
        }
        i = j;
    }
    return stack::top();
}

void set_values(const Cell* obj, const Cell* value, bool any, bool only, bool some) {
    Cell target = *obj, source = *value;
    temp_roots::Hold hold_target(&target), hold_source(&source);
    Node ctx = cell::object_context(&target);
    uint32_t n = words_of(ctx);
    uint32_t t = cell::type(&source);
    bool spread = !only && (t == T_BLOCK || t == T_OBJECT);
    // The value each field would receive (null: none is assigned for a short
    // block; a missing source field leaves the field alone).
    auto incoming = [&](uint32_t i, Cell* out) -> bool {
        if (!spread) {
            *out = source;
            return true;
        }
        if (t == T_OBJECT) {
            int32_t k = context::lookup_word(cell::object_context(&source), cell::word_symbol(word_at(ctx, i)), true);
            if (k < 0) return false;
            *out = *value_at(cell::object_context(&source), uint32_t(k));
            return true;
        }
        uint32_t at = uint32_t(cell::series_index(&source)) + i;
        *out = at < block::buffer_length(&source) ? *block::cell_at(&source, at) : statics::none_cell;
        return true;
    };
    Cell v;
    if (spread && !some && !any) {
        for (uint32_t i = 0; i < n; i++)
            if (incoming(i, &v) && cell::type(&v) == T_UNSET) error::raise(Err::script_need_value, word_at(ctx, i));
    }
    for (uint32_t i = 0; i < n && i < words_of(ctx); i++) {
        if (!incoming(i, &v) || (some && cell::type(&v) == T_NONE)) continue;
        Cell old = *value_at(ctx, i);
        *value_at(ctx, i) = v;
        word_at(ctx, i)->header |= HDR_ASSIGNED;
        Cell w = *word_at(ctx, i);
        if (cell::object_handlers(&target) && !is_handler_word(&w)) notify_change(&target, &w, &old, &v);
    }
}

// ---- mold and form --------------------------------------------------------------------------

int32_t mold_into(const Cell* obj, Cell* buffer, bool only, bool all, bool flat, Cell* argument, int32_t part,
                  bool indent, int32_t level, bool mold) {
    Node ctx = cell::object_context(obj);
    uint32_t n = words_of(ctx);
    if (n == 0) return part;
    bool indented = indent && !flat && !only;
    const char* sep = flat ? " " : "\n";
    if (mold && !only && !flat) part = datatype::append_text(buffer, "\n", 1, part);
    cycles::push(ctx);
    for (uint32_t i = 0; i < n; i++) {
        if (part <= 0) break;
        Cell name = *word_at(ctx, i);
        if (!all && is_handler_word(&name)) continue;
        if (indented) part = mold::indent(buffer, level, part);
        cell::set_type(&name, T_WORD);
        part = actions::mold_dispatch(&name, buffer, false, false, false, nullptr, part, 0);
        part = datatype::append_text(buffer, ": ", 2, part);
        Cell value = *value_at(ctx, i);
        if (cell::type(&value) == T_NONE_ID) cell::make_unset(&value);
        if (cell::type(&value) == T_WORD) part = datatype::append_text(buffer, "'", 1, part);
        part = actions::mold_dispatch(&value, buffer, false, all, flat, argument, part, level);
        if (indented || i + 1 < n) part = datatype::append_text(buffer, sep, 1, part);
    }
    cycles::pop();
    return part;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    if (cycles::mold_marker(value, buffer, &limit, false)) return limit;
    return mold_into(value, buffer, false, false, false, part, limit, false, 0, false);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    static const char HEAD[] = "make object! [";
    if (cycles::mold_marker(value, buffer, &limit, true)) return limit;
    if (!only) limit = datatype::append_text(buffer, HEAD, sizeof HEAD - 1, limit);
    limit = mold_into(value, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent > 0) limit = mold::indent(buffer, indent, limit);
    if (!only) limit = datatype::append_text(buffer, "]", 1, limit);
    return limit;
}

// ---- paths, select, put --------------------------------------------------------------------

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                      bool get, bool last, bool) {
    uint32_t t = cell::type(element);
    if (t != T_WORD && t != T_SET_WORD && t != T_GET_WORD && t != T_LIT_WORD)
        error::raise(Err::script_invalid_path, path, element);
    Node ctx = cell::object_context(parent);
    int32_t i = context::lookup_word(ctx, cell::word_symbol(element), true);
    if (i >= 0 && cell::word_context(element) != ctx) {
        cell::set_word_context(element, ctx);
        cell::set_word_index(element, uint32_t(i));
    }
    Cell* slot = i >= 0 ? value_at(ctx, uint32_t(i)) : nullptr;
    if (!slot || (!value && cell::type(slot) == T_UNSET)) {
        if (get && last) return &statics::unset_cell;
        error::raise(last ? Err::script_invalid_path : Err::script_unset_path, path, element);
    }
    if (!value) return slot;
    Cell old = *slot, obj = *parent;
    *slot = *value;
    word_at(ctx, uint32_t(i))->header |= HDR_ASSIGNED;
    if (cell::object_handlers(&obj)) notify_change(&obj, element, &old, value);
    return value;
}

const Cell* select(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    uint32_t t = cell::type(value);
    if (t != T_WORD && t != T_SET_WORD && t != T_GET_WORD && t != T_LIT_WORD) {
        Cell datatype;
        cell::make_datatype(&datatype, t);
        error::raise(Err::script_invalid_type, &datatype);
    }
    return get_word_cell(series, value);
}

const Cell* put(Cell* series, Cell* key, Cell* value, bool) {
    if (cell::type(key) != T_WORD) {
        Cell datatype;
        cell::make_datatype(&datatype, cell::type(key));
        error::raise(Err::script_invalid_key_type, &datatype);
    }
    Cell k = *key;
    eval_path(series, &k, value, key, nullptr, nullptr, 0, false, false, true, false);
    return value;
}

// ---- modify and reflect -------------------------------------------------------------------

const Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    uint32_t s = cell::word_symbol(field);
    Node ctx = cell::object_context(target);
    if (is_symbol(s, cell::word_symbol(words::word(words::W_changed)))) {
        if (cell::type(value) != T_NONE) error::raise(Err::script_invalid_arg, value);
        for (uint32_t i = 0; i < words_of(ctx); i++) word_at(ctx, i)->header &= ~HDR_ASSIGNED;
    } else if (is_runtime_symbol(s, words::S_owner)) {
        Cell obj = *target;
        for (uint32_t i = 0; i < words_of(ctx); i++) {
            Cell w = *word_at(ctx, i);
            ownership::assign_object(value_at(ctx, i), &obj, &w);
        }
        context::cell_of(ctx)->header |= HDR_OWNED;
    } else if (is_runtime_symbol(s, words::S_owned)) {
        if (cell::type(value) == T_NONE) {
            ownership::release(target);
        } else if (cell::type(value) == T_BLOCK && block::get_length(value) >= 2) {
            Cell owner = *block::head_cell(value), word = *(block::head_cell(value) + 1);
            ownership::assign_object(target, &owner, &word);
        }
    }
    return value;
}

// A new block on the value stack that the reflect routines fill.
static Cell* new_block(uint32_t n) { return block::write_cell(stack::push_slot(), int32_t(n)); }

static const Cell* reflect_words(Node ctx, bool changed_only) {
    Cell* b = new_block(words_of(ctx));
    for (uint32_t i = 0; i < words_of(ctx); i++) {
        Cell w = *word_at(ctx, i);
        if (changed_only && !(w.header & HDR_ASSIGNED)) continue;
        w.header = T_WORD;
        *block::append_slot(b) = w;
    }
    return b;
}

static const Cell* reflect_body(Node ctx) {
    Cell* b = new_block(2 * words_of(ctx));
    for (uint32_t i = 0; i < words_of(ctx); i++) {
        Cell w = *word_at(ctx, i), v = *value_at(ctx, i);
        w.header = uint32_t(T_SET_WORD) | HDR_NEW_LINE;
        if (cell::type(&v) == T_WORD) cell::set_type(&v, T_LIT_WORD);
        else if (cell::type(&v) == T_PATH) cell::set_type(&v, T_LIT_PATH);
        *block::append_slot(b) = w;
        *block::append_slot(b) = v;
    }
    return b;
}

const Cell* reflect(Cell* value, uint32_t field) {
    static Cell answer;
    Node ctx = cell::object_context(value);
    using namespace words;
    if (is_symbol(field, table.changed_symbol)) return reflect_words(ctx, true);
    if (is_runtime_symbol(field, S_words)) return reflect_words(ctx, false);
    if (is_runtime_symbol(field, S_body)) return reflect_body(ctx);
    if (is_runtime_symbol(field, S_values)) {
        Cell* b = stack::push_slot();
        cell::make_series(b, T_BLOCK, series::copy_buffer(node::buffer(cell::context_values(context::cell_of(ctx)))));
        return b;
    }
    if (is_runtime_symbol(field, S_class_)) {
        cell::make_integer(&answer, int32_t(cell::object_class(value)));
    } else if (is_runtime_symbol(field, S_owner)) {
        cell::make_logic(&answer, (context::cell_of(ctx)->header & HDR_OWNED) != 0);
    } else if (is_runtime_symbol(field, S_is_events)) {
        cell::make_logic(&answer, cell::object_handlers(value) != 0);
    } else {
        error::raise(Err::internal_not_done);
    }
    return &answer;
}

// ---- compare and copy -------------------------------------------------------------------------

static int32_t sign(int64_t d) { return d < 0 ? -1 : d > 0; }

// Field by field: words by canonical symbol, values by type unless both are
// words or both numbers, then by the values' own comparison.
static int32_t compare_fields(const Cell* a, const Cell* b, int32_t op) {
    uint32_t n = words_of(cell::object_context(a)), m = words_of(cell::object_context(b));
    if (n != m) return n < m ? -1 : 1;
    cycles::push(cell::object_context(a));
    cycles::push(cell::object_context(b));
    int32_t r = 0;
    for (uint32_t i = 0; i < n && r == 0; i++) {
        uint32_t sa = symbol::resolve(cell::word_symbol(word_at(cell::object_context(a), i))), sb = symbol::resolve(cell::word_symbol(word_at(cell::object_context(b), i)));
        if (sa != sb) {
            r = sign(int64_t(sa) - int64_t(sb));
            break;
        }
        Cell va = *value_at(cell::object_context(a), i), vb = *value_at(cell::object_context(b), i);
        uint32_t ta = cell::type(&va), tb = cell::type(&vb);
        if (ta != tb && !(types::is_any_word(ta) && types::is_any_word(tb)) && !(types::is_number(ta) && types::is_number(tb)))
            r = sign(int64_t(ta) - int64_t(tb));
        else
            r = actions::compare_values(&va, &vb, op);
    }
    cycles::drop(2);
    return r;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != cell::type(value1)) return actions::NOT_COMPARABLE;
    if (cell::object_context(value1) == cell::object_context(value2)) return 0;
    if (op == actions::OP_SAME) return -1;
    if (cycles::find(cell::object_context(value1))) return cycles::find(cell::object_context(value2)) ? 0 : -1;
    return compare_fields(value1, value2, op);
}

const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types) {
    if (part) {
        Cell refinement = *words::refinement(words::R_part);
        error::raise(Err::script_invalid_refine_arg, &refinement, part);
    }
    return copy_core(value, deep, types, true);
}

// ---- make and registration -----------------------------------------------------------------

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    switch (cell::type(spec)) {
    case T_BLOCK: return make_from_block(proto, spec, type);
    case T_OBJECT: return make_from_object(proto, spec, type);
    }
    error::raise(Err::syntax_malconstruct, spec);
}

static void on_change(Cell* owner, Cell* word, Cell* old_value, Cell* new_value) {
    notify_change(owner, word, old_value, new_value);
}

static void on_deep_change(Cell* owner, Cell* word, const Cell* target, const Cell* action,
                           const Cell* new_value, int32_t index, int32_t part) {
    notify_deep_change(owner, word, target, action, new_value, index, part);
}

void init() {
    datatype::register_({.id = T_OBJECT, .parent = 0, .name = "object!", .make = make, .reflect = reflect,
                         .form = form, .mold = mold, .eval_path = eval_path, .compare = compare,
                         .copy = copy, .put = put, .select = select, .modify = modify});
    install_notifiers();
}

// A part of a scalar held by a field was set through a path (o/t/hour: 5):
// the field takes the new value before on-change* hears of it, as with any
// field assignment.
static void on_field_part_change(Cell* owner, const Cell* word, const Cell* old_value, const Cell* new_value) {
    int32_t i = context::lookup_word(cell::object_context(owner), cell::word_symbol(word), true);
    if (i >= 0) *value_at(cell::object_context(owner), uint32_t(i)) = *new_value;
    notify_change(owner, word, old_value, new_value);
}

void install_notifiers() {
    context::set_change_notifier(on_change);
    ownership::set_notifier(on_deep_change);
    number::seams.object_notify_change = on_field_part_change;
}

}  // namespace object
}  // namespace zel
