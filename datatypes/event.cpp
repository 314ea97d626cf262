// event!: construction from a spec block, field access by path and pick, the
// type and flag word tables, the routines bound to words, and the
// registration of its action row.
#include "datatypes/event.h"

#include <iterator>

#include "core/block.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/logic.h"
#include "core/raise.h"
#include "core/routine.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/pair.h"
#include "kernel/memory.h"

namespace zel {
namespace event {

namespace {

// An answer of make and of a field read, which the caller copies at once.
Cell answer;
Backend backend{};

const char* const TYPE_NAMES[TYPE_COUNT + 1] = {
    nullptr,     "down",     "up",     "mid-down",  "mid-up", "alt-down", "alt-up",    "aux-down",
    "aux-up",    "click",    "dbl-click", "wheel",  "over",   "key",      "key-down",  "key-up",
    "ime",       "focus",    "unfocus", "enter",    "zoom",   "pan",      "rotate",    "two-tap",
    "press-tap", "select",   "change", "menu",      "close",  "move",     "resize",    "moving",
    "resizing",  "time",     "drawing", "scroll",
};

// The runtime's symbols of the fields, from field 1 on.
const words::Symbol FIELD_SYMBOLS[FIELD_COUNT] = {
    words::S_type,        words::S_face,        words::S_window,      words::S_offset,  words::S_key,
    words::S_picked,      words::S_flags,       words::S_is_away,     words::S_is_down, words::S_is_mid_down,
    words::S_is_alt_down, words::S_is_aux_down, words::S_is_ctrl,     words::S_is_shift, words::S_orientation,
};

struct Flag {
    const char* name;
    uint32_t bit;
};

// In the order the flags field lists them.
const Flag FLAGS[] = {
    {"control", 0x10000000u},  {"shift", 0x20000000u},    {"alt", 0x40000000u},
    {"command", 0x80000000u},  {"away", 0x04000000u},     {"down", 0x02000000u},
    {"mid-down", 0x01000000u}, {"alt-down", 0x00800000u}, {"aux-down", 0x00400000u},
};

// The flag bit each of the logic fields away? to shift? tests.
const uint32_t FIELD_BITS[FIELD_COUNT + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0x04000000u, 0x02000000u, 0x01000000u, 0x00800000u, 0x00400000u,
    0x10000000u, 0x20000000u, 0,
};


// The canonical symbol ids of the names above, taken once at registration so
// that a path step or a spec word compares ids instead of interning names.
uint32_t type_ids[TYPE_COUNT + 1];
uint32_t field_ids[FIELD_COUNT + 1];
uint32_t flag_ids[std::size(FLAGS)];

void intern_names() {
    for (uint32_t i = 1; i <= TYPE_COUNT; i++) type_ids[i] = symbol::resolve(symbol::intern(TYPE_NAMES[i]));
    for (int32_t i = 1; i <= FIELD_COUNT; i++)
        field_ids[i] = symbol::resolve(words::symbol(FIELD_SYMBOLS[i - 1]));
    for (size_t i = 0; i < std::size(FLAGS); i++) flag_ids[i] = symbol::resolve(symbol::intern(FLAGS[i].name));
}

bool names(const Cell* word, int32_t field) { return symbol::resolve(cell::word_symbol(word)) == field_ids[field]; }

// The index of the word's name in a table of ids from index 1, or 0.
int32_t lookup(const Cell* word, const uint32_t* ids, int32_t count) {
    uint32_t id = symbol::resolve(cell::word_symbol(word));
    for (int32_t i = 1; i <= count; i++)
        if (ids[i] == id) return i;
    return 0;
}

bool is_built(const Cell* e) { return e->header & BUILT; }

// The cell of a built event's block that holds face, window, offset or
// picked (in that order), or null when the event has no block.
const Cell* held(const Cell* e, int32_t field) {
    uint32_t k = field == F_PICKED ? 3 : uint32_t(field - F_FACE);
    return payload(e) ? series::cells(node::buffer(payload(e))) + k : nullptr;
}

const Cell* none() {
    cell::make_none(&answer);
    return &answer;
}

const Cell* backend_field(const Cell* e, int32_t field) {
    return backend.field ? backend.field(payload(e), field) : none();
}

// A field held in the block of a built event, or its default.
const Cell* held_field(const Cell* e, int32_t field) {
    if (!is_built(e)) return backend_field(e, field);
    const Cell* c = held(e, field);
    if (c) return c;
    if (field == F_OFFSET) pair::init_cell(&answer, 0, 0);
    else if (field == F_PICKED) cell::make_integer(&answer, 0);
    else cell::make_none(&answer);
    return &answer;
}

const Cell* key_field(const Cell* e) {
    if (!is_built(e)) return backend_field(e, F_KEY);
    uint32_t key = flags(e) & KEY_MASK;
    if (!key) return none();
    cell::make_char(&answer, key);
    return &answer;
}

// The words of the flag bits set, as a new block.
const Cell* flags_field(const Cell* e) {
    block::write_cell(&answer, 1);
    for (const Flag& f : FLAGS) {
        if (!(flags(e) & f.bit)) continue;
        Cell w = word::intern(f.name);
        block::append_copy(&answer, &w);
    }
    return &answer;
}

// ---- make ---------------------------------------------------------------------

struct Spec {
    Cell slots[4];  // face, window, offset, picked
    bool any_held;
};

// A bound word! or get-word! that has a value stands for it.
const Cell* resolved(const Cell* v) {
    if (cell::type(v) != T_WORD && cell::type(v) != T_GET_WORD) return v;
    const Cell* slot = context::bound_slot(v);
    return slot && cell::type(slot) != T_UNSET ? slot : v;
}

void keep(Spec& s, uint32_t k, const Cell* v) {
    s.slots[k] = *v;
    cell::clear_flag(&s.slots[k]);
    s.any_held = true;
}

void read_pair(Cell* e, Spec& s, const Cell* set_word, const Cell* v) {
    uint32_t t = cell::type(v);
    if (names(set_word, F_TYPE)) {
        if (t == T_WORD || t == T_LIT_WORD) set_type(e, v);
    } else if (names(set_word, F_KEY)) {
        if (t == T_CHAR) set_flags(e, flags(e) | (cell::get_char(v) & KEY_MASK));
    } else if (names(set_word, F_FLAGS)) {
        if (t != T_BLOCK) return;
        const Cell* c = block::cell_at(v, uint32_t(cell::series_index(v)));
        const Cell* end = block::tail_cell(v);
        for (; c < end; c++)
            if (cell::type(c) == T_WORD) set_flags(e, flags(e) | flag_bit(c));
    } else if (names(set_word, F_FACE) || names(set_word, F_WINDOW)) {
        if (t == T_OBJECT) keep(s, names(set_word, F_FACE) ? 0 : 1, v);
    } else if (names(set_word, F_OFFSET)) {
        if (t == T_PAIR || t == T_POINT2D) keep(s, 2, v);
    } else if (names(set_word, F_PICKED)) {
        if (t == T_INTEGER) keep(s, 3, v);
    }
}

void make_block(Cell* e, const Spec& s) {
    Cell b;
    block::write_cell(&b, 4);
    for (const Cell& c : s.slots) block::append_copy(&b, &c);
    set_payload(e, cell::series_node(&b));
}

}  // namespace

void set_backend(const Backend& b) { backend = b; }

// ---- fields -------------------------------------------------------------------

int32_t field_index(const Cell* word, const Cell* value) {
    int32_t n = types::is_any_word(cell::type(word)) ? lookup(word, field_ids, FIELD_COUNT) : 0;
    if (n) return n;
    if (value && cell::type(value) == T_EVENT) error::raise(Err::script_cannot_use, word, value);
    return -1;
}

Cell type_word(const Cell* e) {
    Cell w;
    if (type_id(e) >= 1 && type_id(e) <= TYPE_COUNT) w = word::intern(TYPE_NAMES[type_id(e)]);
    else cell::make_none(&w);
    return w;
}

void set_type(Cell* e, const Cell* word) {
    int32_t id = lookup(word, type_ids, int32_t(TYPE_COUNT));
    if (!id) error::raise(Err::script_not_event_type, word);
    set_type_id(e, uint32_t(id));
}

uint32_t flag_bit(const Cell* word) {
    uint32_t id = symbol::resolve(cell::word_symbol(word));
    for (size_t i = 0; i < std::size(FLAGS); i++)
        if (flag_ids[i] == id) return FLAGS[i].bit;
    return 0;
}

const Cell* get_field(const Cell* e, int32_t field) {
    switch (field) {
    case F_TYPE: answer = type_word(e); return &answer;
    case F_FACE: case F_WINDOW: case F_OFFSET: case F_PICKED: return held_field(e, field);
    case F_KEY: return key_field(e);
    case F_FLAGS: return flags_field(e);
    case F_ORIENTATION: return backend_field(e, field);
    default:
        cell::make_logic(&answer, (flags(e) & FIELD_BITS[field]) != 0);
        return &answer;
    }
}

Cell* push_value(const Cell* value) { return stack::push(value); }

bool has_flag(const Cell* flags, const Cell* word) {
    uint32_t want = symbol::resolve(cell::word_symbol(word));
    if (cell::type(flags) == T_WORD) return symbol::resolve(cell::word_symbol(flags)) == want;
    if (cell::type(flags) != T_BLOCK) return false;
    const Cell* c = block::cell_at(flags, uint32_t(cell::series_index(flags)));
    for (const Cell* end = block::tail_cell(flags); c < end; c++) {
        uint32_t t = cell::type(c);
        if ((t == T_WORD || t == T_LIT_WORD) && symbol::resolve(cell::word_symbol(c)) == want) return true;
    }
    return false;
}

// ---- actions ------------------------------------------------------------------

const Cell* make(Cell*, Cell* spec, uint32_t) {
    Cell e{T_EVENT | BUILT, 0, 0, 0};
    Spec s{};
    for (Cell& c : s.slots) cell::make_none(&c);
    pair::init_cell(&s.slots[2], 0, 0);
    cell::make_integer(&s.slots[3], 0);
    if (cell::type(spec) == T_BLOCK) {
        uint32_t length = block::buffer_length(spec);
        for (uint32_t i = uint32_t(cell::series_index(spec)); i + 1 < length; i++) {
            const Cell* c = block::cell_at(spec, i);
            if (cell::type(c) != T_SET_WORD) continue;
            read_pair(&e, s, c, resolved(block::cell_at(spec, i + 1)));
            i++;
        }
    }
    if (s.any_held) make_block(&e, s);
    answer = e;
    return &answer;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "event", 5, limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// Events are equal to one another and have no order.
int32_t compare(Cell*, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_EVENT) return -2;
    switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12: return 0;
    default: return -2;
    }
}

const Cell* pick(Cell* value, int32_t index, Cell* index_cell) {
    if (types::is_any_word(cell::type(index_cell))) index = field_index(index_cell, value);
    if (index < 1 || index > FIELD_COUNT) error::raise(Err::script_out_of_range, index_cell);
    return get_field(value, index);
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                      bool, bool, bool) {
    int32_t field = field_index(element, nullptr);
    if (field < 0) error::raise(Err::script_invalid_path, path, element);
    if (!value) return get_field(parent, field);
    if (field != F_TYPE || cell::type(value) != T_WORD) error::raise(Err::script_bad_path_set, path, element);
    set_type(parent, value);
    return value;
}

// ---- routines -----------------------------------------------------------------

void is_event() { cell::make_logic(stack::arg(0), cell::type(stack::arg(0)) == T_EVENT); }

void is_find_flag() { cell::make_logic(stack::arg(0), has_flag(stack::arg(0), stack::arg(1))); }

void send_event_os() {
    bool sent = backend.send && backend.send(stack::arg(0), logic::is_truthy(stack::arg(1)));
    cell::make_logic(stack::arg(0), sent);
}

static void register_routine(const char* name, routine::Fn fn) {
    if (!routine::find(name)) routine::register_(name, fn);
}

void register_type() {
    intern_names();
    datatype::register_({.id = T_EVENT, .parent = 0, .name = "event!", .make = make, .form = form,
                         .mold = mold, .eval_path = eval_path, .compare = compare, .pick = pick});
    register_routine("event?", is_event);
    register_routine("send-event-os", send_event_os);
    register_routine("find-flag?", is_find_flag);
}

}  // namespace event
}  // namespace zel
