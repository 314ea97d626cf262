// port!: make, mold and the forwarding of every action to the actor's
// function of the same name.
#include "datatypes/port.h"

#include "core/actions.h"
#include "core/block.h"
#include "core/context.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/evaluator.h"
#include "core/exits.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/url.h"
#include "core/word.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace port {

namespace {

// Field positions of a port, of a scheme and of a port spec.
constexpr int32_t PORT_SPEC = 0, PORT_SCHEME = 1, PORT_ACTOR = 2;
constexpr int32_t SCHEME_ACTOR = 3;
constexpr int32_t SPEC_SCHEME = 0;

Cell* field_at(const Cell* obj, int32_t index) { return context::value_at(cell::object_context(obj), index); }

// The value of a global word, or of a field of an object (none when the
// object is none or has no such field).
Cell global(const char* name) {
    Cell word = word::intern(name);
    return *word::get_value(&word);
}
Cell field(const Cell* obj, const char* name) {
    if (cell::type(obj) != T_OBJECT) return statics::none_cell;
    Cell word = word::intern(name);
    return *object::get_word_cell(obj, &word);
}

Cell flag(bool set) { return set ? statics::true_cell : statics::false_cell; }
Cell given(const Cell* value) { return value ? *value : statics::none_cell; }
Cell count_if(bool set, int32_t n) {
    Cell c = statics::none_cell;
    if (set) cell::make_integer(&c, n);
    return c;
}

// ---- calling the actor --------------------------------------------------------

// Calls the actor's function named by the action with the cells (the port
// first); answers its result, pushed, or null when an exit is under way.
const Cell* call_actor(const char* action, const Cell* args, uint32_t count) {
    Cell actor = *field_at(args, PORT_ACTOR);
    if (cell::type(&actor) != T_OBJECT) error::raise(Err::access_invalid_port, args);
    Cell name = word::intern(action);
    Cell fn = *object::get_word_cell(&actor, &name);
    if (cell::type(&fn) != T_FUNCTION) error::raise(Err::access_no_port_action, &name);
    temp_roots::Hold hold(&fn);
    evaluator::invoke_positional(&fn, &name, args, count);
    return exits::pending() ? nullptr : stack::top();
}

// The action on the port alone, or on the port and one plain argument.
const Cell* forward_port_only(const char* action, Cell* port) { return call_actor(action, port, 1); }
const Cell* forward(const char* action, Cell* port, const Cell* argument) {
    Cell args[2] = {*port, given(argument)};
    return call_actor(action, args, 2);
}

// Navigation works on the call frame: the port and, for at and skip, the
// index; the result goes to the result slot.
void navigate(const char* action, bool with_index) {
    const Cell* r = forward(action, stack::arg(0), with_index ? stack::arg(1) : nullptr);
    if (r) *stack::arg(0) = *r;
}
#define ZEL_PORT_NAVIGATION(X) \
    X(at, "at", true) X(skip, "skip", true) X(back, "back", false) X(head, "head", false) \
    X(is_head, "head?", false) X(is_index, "index?", false) X(next, "next", false)      \
    X(tail, "tail", false) X(is_tail, "tail?", false)
#define ZEL_PORT_NAV_FN(member, name, with_index) \
    void member() { navigate(name, with_index); }
ZEL_PORT_NAVIGATION(ZEL_PORT_NAV_FN)
#undef ZEL_PORT_NAV_FN

const Cell* clear(Cell* port) { return forward("clear", port, nullptr); }
const Cell* create(Cell* port) { return forward_port_only("create", port); }
const Cell* close(Cell* port) { return forward_port_only("close", port); }
const Cell* delete_(Cell* port) { return forward_port_only("delete", port); }
const Cell* query(Cell* port) { return forward_port_only("query", port); }
const Cell* update(Cell* port) { return forward_port_only("update", port); }

// length? answers a count: an integer from the actor, else none. An exit
// under way leaves the count unread.
int32_t is_length(Cell* port) {
    const Cell* r = forward("length?", port, nullptr);
    return r && cell::type(r) == T_INTEGER ? cell::get_int(r) : -1;
}

const Cell* pick(Cell* port, int32_t, Cell* index) { return forward("pick", port, index); }
const Cell* poke(Cell* port, int32_t, Cell* index, Cell* value) {
    Cell args[3] = {*port, *index, *value};
    return call_actor("poke", args, 3);
}

const Cell* insert(Cell* port, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    Cell args[7] = {*port, *value, flag(part >= 0), count_if(part >= 0, part), flag(only),
                    flag(dup > 1), count_if(dup > 1, dup)};
    return call_actor(append ? "append" : "insert", args, 7);
}
const Cell* change(Cell* port, Cell* value, int32_t part, bool only, int32_t dup) {
    Cell args[7] = {*port, *value, flag(part >= 0), count_if(part >= 0, part), flag(only),
                    flag(dup > 1), count_if(dup > 1, dup)};
    return call_actor("change", args, 7);
}

const Cell* copy(Cell* port, Cell* part, bool deep, Cell* types) {
    Cell args[6] = {*port, flag(part), given(part), flag(deep), flag(types), given(types)};
    return call_actor("copy", args, 6);
}

const Cell* find(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Cell args[16] = {*port,      *value,      flag(part),    given(part),  flag(only),   flag(case_),
                     flag(same), flag(any),   flag(with),    given(with),  flag(skip),   given(skip),
                     flag(last), flag(reverse), flag(tail),  flag(match)};
    return call_actor("find", args, 16);
}
const Cell* select(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse) {
    Cell args[14] = {*port,      *value,    flag(part), given(part), flag(only), flag(case_), flag(same),
                     flag(any),  flag(with), given(with), flag(skip), given(skip), flag(last),
                     flag(reverse)};
    return call_actor("select", args, 14);
}

const Cell* move(Cell* port, Cell* target, Cell* part) {
    Cell args[4] = {*port, *target, flag(part), given(part)};
    return call_actor("move", args, 4);
}
const Cell* modify(Cell* port, Cell* field_word, Cell* value, bool case_) {
    Cell args[4] = {*port, *field_word, *value, flag(case_)};
    return call_actor("modify", args, 4);
}
const Cell* put(Cell* port, Cell* key, Cell* value, bool case_) {
    Cell args[4] = {*port, *key, *value, flag(case_)};
    return call_actor("put", args, 4);
}
const Cell* remove(Cell* port, Cell* part, Cell*) {
    Cell args[3] = {*port, flag(part), given(part)};
    return call_actor("remove", args, 3);
}
const Cell* reverse(Cell* port, Cell* part, Cell*) {
    Cell args[3] = {*port, flag(part), given(part)};
    return call_actor("reverse", args, 3);
}
const Cell* sort(Cell* port, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
                 bool stable) {
    Cell args[11] = {*port,       flag(case_),    flag(skip), given(skip), flag(compare), given(compare),
                     flag(part),  given(part),    flag(all),  flag(reverse), flag(stable)};
    return call_actor("sort", args, 11);
}
const Cell* swap(Cell* port, Cell* other) {
    Cell args[2] = {*port, *other};
    return call_actor("swap", args, 2);
}
const Cell* take(Cell* port, Cell* part, bool deep, bool last) {
    Cell args[5] = {*port, flag(part), given(part), flag(deep), flag(last)};
    return call_actor("take", args, 5);
}
const Cell* trim(Cell* port, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    Cell args[8] = {*port, flag(head), flag(tail), flag(auto_), flag(lines), flag(all), flag(with), given(with)};
    return call_actor("trim", args, 8);
}
const Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    Cell args[7] = {*port, flag(new_), flag(read), flag(write), flag(seek), flag(allow), given(allow)};
    return call_actor("open", args, 7);
}
const Cell* rename(Cell* port, Cell* to) {
    Cell args[2] = {*port, *to};
    return call_actor("rename", args, 2);
}

// read and write: open, then copy (after an insert for write), then close;
// the answer is what copy gave, kept across close.
const Cell* open_copy_close(Cell* port, bool write, bool seek, Cell* data, Cell* part) {
    if (!open(port, false, false, write, seek, nullptr)) return nullptr;
    Cell length = part && cell::type(part) == T_INTEGER ? *part : statics::none_cell;
    bool counted = cell::type(&length) == T_INTEGER;
    if (write && !insert(port, data, counted ? cell::get_int(&length) : -1, false, 1, false)) return nullptr;
    const Cell* copied = write ? copy(port, nullptr, false, nullptr) : copy(port, part, false, nullptr);
    if (!copied) return nullptr;
    Cell result = *copied;
    temp_roots::Hold hold(&result);
    if (!close(port)) return nullptr;
    return stack::push(&result);
}
const Cell* read(Cell* port, Cell* part, Cell* seek, bool, bool, bool, Cell*) {
    return open_copy_close(port, false, seek, nullptr, part);
}
const Cell* write(Cell* port, Cell* data, bool, bool, bool, bool, Cell* part, Cell* seek, Cell*, Cell*) {
    return open_copy_close(port, true, seek, data, part);
}

// ---- make and mold --------------------------------------------------------------

// The spec object: a copy of an object, or the port-spec prototype (the
// parts of a url) made with a block.
Cell spec_object(Cell* spec, const Cell* standard) {
    if (cell::type(spec) == T_OBJECT) return *object::copy(spec, nullptr, false, nullptr);
    if (cell::type(spec) != T_BLOCK) error::raise(Err::syntax_malconstruct, spec);
    Cell proto = field(standard, "url-parts");
    const Cell* made = object::make(&proto, spec, T_OBJECT);
    return made ? *made : statics::unset_cell;
}

const Cell* make(Cell*, Cell* spec, uint32_t) {
    Cell system = global("system");
    Cell standard = field(&system, "standard");
    // A spec block runs code, which may take these objects out of the system.
    temp_roots::Hold hold_system(&system);
    temp_roots::Hold hold_standard(&standard);
    Cell spec_obj = spec_object(spec, &standard);
    if (exits::pending()) return nullptr;
    temp_roots::Hold hold_spec(&spec_obj);
    Cell scheme = *field_at(&spec_obj, SPEC_SCHEME);
    if (cell::type(&scheme) != T_WORD) error::raise(Err::access_no_scheme, &spec_obj);
    Cell proto = field(&standard, "port");
    Cell port = *object::copy(&proto, nullptr, false, nullptr);
    cell::set_type(&port, T_PORT);
    cell::set_type(context::owner_of(cell::object_context(&port)), T_PORT);
    temp_roots::Hold hold_port(&port);
    *field_at(&port, PORT_SPEC) = spec_obj;
    *field_at(&port, PORT_SCHEME) = scheme;
    Cell schemes = field(&system, "schemes");
    const Cell* found = cell::type(&schemes) == T_BLOCK ? block::select_word(&schemes, &scheme, false) : nullptr;
    Cell registered = found ? *found : statics::none_cell;
    if (cell::type(&registered) != T_OBJECT) error::raise(Err::access_unknown_scheme, &scheme);
    Cell actor = *field_at(&registered, SCHEME_ACTOR);
    if (cell::type(&actor) != T_OBJECT && cell::type(&actor) != T_HANDLE) error::raise(Err::access_invalid_actor);
    *field_at(&port, PORT_ACTOR) = actor;
    return stack::push(&port);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    static const char HEAD[] = "make port! [";
    if (cycles::find(cell::object_context(value))) return datatype::append_text(buffer, "...", 3, limit);
    limit = datatype::append_text(buffer, HEAD, sizeof HEAD - 1, limit);
    limit = object::mold_into(value, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat) limit = mold::indent(buffer, indent, limit);
    return datatype::append_text(buffer, "]", 1, limit);
}
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return mold(value, buffer, false, false, false, part, limit, 0);
}

// A url! opens on the port that its parts make: parse-url raises on a url
// that does not parse.
bool make_from_url(const Cell* url, Cell* port) {
    Cell parser = global("url-parser");
    Cell fn = field(&parser, "parse-url");
    if (cell::type(&fn) != T_FUNCTION) return false;
    temp_roots::Hold hold(&fn);
    Cell name = word::intern("parse-url");
    Cell args[2] = {*url, statics::true_cell};
    evaluator::invoke_positional(&fn, &name, args, 2);
    exits::raise_pending();
    Cell parts = *stack::top();
    if (cell::type(&parts) != T_OBJECT) return false;
    temp_roots::Hold hold_parts(&parts);
    const Cell* made = make(nullptr, &parts, T_PORT);
    if (!made) return false;
    *port = *made;
    return true;
}

}  // namespace

void register_type() {
    datatype::register_({
        .id = T_PORT, .parent = T_OBJECT, .name = "port!",
        .make = make, .reflect = INHERIT, .form = form, .mold = mold, .eval_path = INHERIT,
        .compare = INHERIT,
        .append = insert, .at = at, .back = back, .change = change, .clear = clear, .copy = copy,
        .find = find, .head = head, .is_head = is_head, .is_index = is_index, .insert = insert,
        .is_length = is_length, .move = move, .next = next, .pick = pick, .poke = poke, .put = put,
        .remove = remove, .reverse = reverse, .select = select, .sort = sort, .skip = skip,
        .swap = swap, .tail = tail, .is_tail = is_tail, .take = take, .trim = trim,
        .create = create, .close = close, .delete_ = delete_, .modify = modify, .open = open,
        .query = query, .read = read, .rename = rename, .update = update, .write = write,
    });
    url::set_port_maker(make_from_url);
}

}  // namespace port
}  // namespace zel
