// Shared by the unit tests: values made in C++, the text of string values read
// back, running code under a try frame to see the error it raises, and calling
// an action's entry as the evaluator calls it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/actions.h"
#include "core/block.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/logic.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "io/lexer.h"
#include "kernel/unicode.h"

namespace zel {
namespace test_values {

// ---- values -------------------------------------------------------------------

inline Cell integer(int32_t v) {
    Cell c;
    cell::make_integer(&c, v);
    return c;
}

// A float!.
inline Cell number(double d) {
    Cell c;
    cell::make_float(&c, d);
    return c;
}

inline Cell ch(uint32_t code_point) {
    Cell c;
    cell::make_char(&c, code_point);
    return c;
}

inline Cell logic(bool b) { return b ? statics::true_cell : statics::false_cell; }
inline Cell none() { return statics::none_cell; }
inline Cell unset() { return statics::unset_cell; }

// A word of the name, or a lit-word!, set-word!, ... by the type given.
inline Cell word_of(const char* name, uint32_t type = T_WORD) { return word::intern_as(name, type); }

// A string! (or another string type) of the UTF-8 text.
inline Cell text(const std::string& utf8, uint32_t type = T_STRING) {
    Cell c;
    string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()), &c, string::ENC_UTF8);
    cell::set_type(&c, type);
    return c;
}

// A binary! of the bytes, at the index.
inline Cell binary_of(const std::vector<uint8_t>& bytes, int32_t index = 0) {
    Cell c;
    binary::init_empty(&c, 0);
    if (!bytes.empty()) binary::append_bytes(&c, bytes.data(), uint32_t(bytes.size()));
    cell::set_series_index(&c, uint32_t(index));
    return c;
}

// A block! of the cells, with room for one more, at the index.
inline Cell block_of(const std::vector<Cell>& cells, int32_t index = 0) {
    Cell b;
    cell::make_series(&b, T_BLOCK, series::new_cells(uint32_t(cells.size()) + 1));
    for (const Cell& c : cells) *block::append_slot(&b) = c;
    cell::set_series_index(&b, uint32_t(index));
    return b;
}

// A block! of the integers, with room for just them, at the index.
inline Cell ints(const std::vector<int32_t>& values, int32_t index = 0) {
    Cell b;
    block::write_cell(&b, int32_t(values.size()));
    for (int32_t v : values) *block::append_slot(&b) = integer(v);
    cell::set_series_index(&b, uint32_t(index));
    return b;
}

// A copy of the value with another type (a word as a set-word!, ...).
inline Cell as(Cell v, uint32_t type) {
    cell::set_type(&v, type);
    return v;
}

// The cell at position i of a block's buffer, counted from its head (not
// from the block's index).
inline Cell* at(const Cell& block, uint32_t i) { return series::writable_cells(node::buffer(cell::series_node(&block))) + i; }

// The values of the source text, as the lexer loads them, in a block.
inline Cell load(const char* source) { return lexer::load_text(source, std::strlen(source)); }

// ---- reading back ---------------------------------------------------------------

// The characters of a string value from its index, as UTF-8.
inline std::string utf8_of(const Cell& s) {
    std::string out;
    for (uint32_t i = uint32_t(cell::series_index(&s)), n = string::get_abs_length(&s); i < n; i++) {
        uint8_t bytes[4];
        out.append(reinterpret_cast<char*>(bytes), utf8::encode_char(string::char_at(&s, i), bytes));
    }
    return out;
}
inline std::string utf8_of(const Cell* s) { return utf8_of(*s); }

// The spelling of a symbol ("" for none), or of a word's symbol.
inline std::string name_of(uint32_t symbol) { return symbol ? symbol::get_cstr(symbol) : ""; }
inline std::string name_of(const Cell* word) { return name_of(cell::word_symbol(word)); }

// The value formed or molded (all: /all) through the action dispatch.
inline std::string formed(Cell v) {
    Cell buffer;
    string::write_cell(&buffer, 64);
    actions::form_dispatch(&v, &buffer, nullptr, INT32_MAX);
    return utf8_of(buffer);
}
inline std::string molded(Cell v, bool all = false) {
    Cell buffer;
    string::write_cell(&buffer, 64);
    actions::mold_dispatch(&v, &buffer, false, all, false, nullptr, INT32_MAX, 0);
    return utf8_of(buffer);
}

// The ids of the actions a registry row supports, in id order.
inline std::vector<uint32_t> supported(const ActionRow& row) {
    std::vector<uint32_t> ids;
#define ZEL_SUPPORTED(member, id, shape) \
    if (row.member) ids.push_back(id);
    ZEL_ACTIONS(ZEL_SUPPORTED)
#undef ZEL_SUPPORTED
    return ids;
}

// ---- errors ---------------------------------------------------------------------

// What f raised under a try frame: the error (unset when nothing was raised)
// with its category and id words.
struct Raised {
    std::string category, id;
    Cell error;
    // The error's argument 1 to 3 (none when nothing was raised).
    const Cell* arg(uint32_t n) const {
        if (cell::type(&error) != T_ERROR) return &statics::none_cell;
        return error::field(&error, error::FIELD_ARG1 + n - 1);
    }
};

// Runs f under a try frame; the stacks are as they were afterwards.
template <class F>
Raised raised(F f) {
    Cell* top = stack::reg.top;
    Cell* base = stack::reg.base;
    stack::Frame* frames = stack::reg.call_top;
    Cell name = *words::word(words::W_try_);
    stack::enter_try(&name);
    Raised r{"", "", unset()};
    if (exits::catch_error(f)) {
        r.error = *stack::top();
        r.category = name_of(error::category_symbol(&r.error));
        r.id = name_of(error::id_symbol(&r.error));
    }
    stack::reg.top = top;
    stack::reg.base = base;
    stack::reg.call_top = frames;
    return r;
}

// ---- calls ----------------------------------------------------------------------

// Enters a native frame named after the call and pushes its arguments after
// the result slot.
inline stack::Frame* enter_call(const char* name, const std::vector<Cell>& args = {}) {
    Cell w = word::intern(name);
    stack::Frame* f = stack::enter_native(&w);
    for (const Cell& a : args) stack::push(&a);
    return f;
}

// What an action entry answered: its result, or the error it raised.
struct Outcome {
    Cell value;    // the result (unset after an error)
    int32_t code;  // the error's code, -1 when none was raised
    Cell error;    // the error (unset when none)
    uint32_t type() const { return cell::type(&value); }
    int32_t i() const { return cell::get_int(&value); }
    double f() const { return cell::get_float(&value); }
    // The argument of the error at position 1 to 3 (none when nothing was
    // raised).
    const Cell* arg(uint32_t n) const {
        if (cell::type(&error) != T_ERROR) return &statics::none_cell;
        return error::field(&error, error::FIELD_ARG1 + n - 1);
    }
};

using Entry = void (*)(const int32_t*);

// Runs an action's entry as the evaluator runs it: in a frame named after the
// action, under a try frame, with the arguments pushed and the refinements'
// frame positions (-1 for one not used).
inline Outcome run_action(const char* action, Entry entry, std::initializer_list<Cell> args,
                          std::initializer_list<int32_t> refs = {}) {
    Cell try_word = word::intern("try"), w = word::intern(action);
    stack::enter_try(&try_word);
    stack::enter_native(&w);
    for (const Cell& a : args) stack::push(&a);
    int32_t positions[16];
    int n = 0;
    for (int32_t r : refs) positions[n++] = r;
    Outcome o{unset(), -1, unset()};
    if (exits::catch_error([&] { entry(positions); })) {
        stack::adjust_result();
        o.error = *stack::reg.base;
        o.code = cell::get_int(error::field(&o.error, error::FIELD_CODE));
    } else {
        o.value = *stack::reg.base;
        stack::leave();
        stack::leave();
    }
    return o;
}

// ---- oracles --------------------------------------------------------------------

// The standard output of a shell command (an oracle such as python3).
inline std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    pclose(pipe);
    return out;
}

}  // namespace test_values
}  // namespace zel
