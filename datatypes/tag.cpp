// tag! and email!: their own form, mold and path access; everything else is
// string!'s, through inheritance.
#include "datatypes/tag.h"

#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/symbol.h"

namespace zel {

namespace {

// The row both types start from: string!'s actions, taken by inheritance;
// each then sets its own.
TypeTable string_row(uint32_t id, const char* name) {
    return {
        .id = id, .parent = T_STRING, .name = name,
        .make = INHERIT, .reflect = INHERIT, .to = INHERIT, .form = INHERIT, .mold = INHERIT,
        .eval_path = INHERIT, .compare = INHERIT,
        .append = INHERIT, .at = INHERIT, .back = INHERIT, .change = INHERIT, .clear = INHERIT,
        .copy = INHERIT, .find = INHERIT, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
        .insert = INHERIT, .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = INHERIT,
        .poke = INHERIT, .put = INHERIT, .remove = INHERIT, .reverse = INHERIT, .select = INHERIT,
        .skip = INHERIT, .swap = INHERIT, .tail = INHERIT, .is_tail = INHERIT, .take = INHERIT,
        .modify = INHERIT,
    };
}

}  // namespace

namespace tag {

Cell* push_copy(const Cell* value) { return stack::push(value); }

// "<", the text as string! forms it, ">".
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    limit = datatype::append_text(buffer, "<", 1, limit);
    limit = string::form(value, buffer, part, limit);
    return datatype::append_text(buffer, ">", 1, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

void register_type() {
    TypeTable t = string_row(T_TAG, "tag!");
    t.form = form;
    t.mold = mold;
    datatype::register_(t);
}

}  // namespace tag

namespace email {

Cell* push_copy(const Cell* value) { return stack::push(value); }

// The address as it is written: no quotes, no escapes.
int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return string::form(value, buffer, part, limit);
}

namespace {

bool names(const Cell* w, words::Symbol s) {
    return cell::type(w) == T_WORD && symbol::resolve(cell::word_symbol(w)) == symbol::resolve(words::symbol(s));
}

// Characters from the index: [start, end) of the user or the host part. An
// address without "@" is all user, with an empty host at its end.
struct Part {
    uint32_t start, end;
    bool has_at;
};

Part part_of(Cell* email, bool user) {
    uint32_t length = string::get_length(email);
    int32_t at = string::find_char(email, '@');
    if (at < 0) return user ? Part{0, length, false} : Part{length, length, false};
    return user ? Part{0, uint32_t(at), true} : Part{uint32_t(at) + 1, length, true};
}

Cell answer;

}  // namespace

// email/user and email/host read or replace the text before and after the
// first "@"; an integer! picks a character as for string!.
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify) {
    if (cell::type(element) == T_INTEGER) {
        return string::eval_path(parent, element, value, path, prev_value, prev_element, index, case_, get,
                                 last, notify);
    }
    bool user = names(element, words::S_user);
    if (!user && !names(element, words::S_host)) error::raise(Err::script_invalid_path, path, element);
    Part p = part_of(parent, user);
    uint32_t base = uint32_t(cell::series_index(parent));
    if (!value) {
        Cell from = *parent;
        cell::set_series_index(&from, base + p.start);
        string::write_cell(&answer, p.end - p.start);
        string::concatenate(&answer, &from, int32_t(p.end - p.start), 0, true, string::COPY_APPEND);
        return &answer;
    }
    Cell text;
    string::write_cell(&text, 16);
    if (!user && !p.has_at) string::append_cstr(&text, "@");
    string::append_formed(&text, value, false, nullptr, 0x7FFFFFFF);
    string::remove_at(parent, base + p.start, p.end - p.start);
    string::copy_part_into(parent, &text, -1, base + p.start, true, string::COPY_INSERT);
    return value;
}

void register_type() {
    TypeTable t = string_row(T_EMAIL, "email!");
    t.mold = mold;
    t.eval_path = eval_path;
    datatype::register_(t);
}

}  // namespace email
}  // namespace zel
