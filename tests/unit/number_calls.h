// Calling the number actions from the unit tests: values made in C++, and an
// action's entry run as the evaluator runs it (a frame named after the
// action, the arguments pushed, refinement positions), answering the result
// or the error it raised.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/string.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "interpreter/actions.h"
#include "interpreter/exits.h"
#include "interpreter/stack.h"
#include "test_support.h"

namespace zel {
namespace number_calls {

inline Cell i32(int32_t v) {
    Cell c;
    cell::make_integer(&c, v);
    return c;
}

inline Cell f64(double d) {
    Cell c;
    cell::make_float(&c, d);
    return c;
}

inline Cell ch(uint32_t cp) {
    Cell c;
    cell::make_char(&c, cp);
    return c;
}

inline Cell tm(double s) {
    Cell c;
    c.header = T_TIME;
    cell::put_float(&c, s);
    return c;
}

inline Cell dt(uint32_t type) {
    Cell c;
    cell::make_datatype(&c, type);
    return c;
}

// A value of a type whose module is not there yet: only its type counts.
inline Cell stand_in(uint32_t type) {
    Cell c{type, 0, 0, 0};
    return c;
}

inline Cell str(const char* s, uint32_t type = T_STRING) {
    Cell c;
    string::write_cell(&c, 16);
    string::append_cstr(&c, s);
    cell::set_type(&c, type);
    return c;
}

inline Cell bytes(std::initializer_list<uint8_t> b) {
    Cell c;
    binary::init_empty(&c, 16);
    for (uint8_t x : b) binary::append_bytes(&c, &x, 1);
    return c;
}

inline std::string text_of(const Cell& s) {
    Cell copy = s;
    std::string out;
    uint32_t n = string::get_length(&copy);
    for (uint32_t i = 0; i < n; i++) out += char(string::char_at(&copy, copy.w1 + i));
    return out;
}

struct Outcome {
    Cell value;   // the result (unset after an error)
    int32_t code; // the error's code, -1 when none was raised
    Cell error;   // the error (unset when none)
    uint32_t type() const { return cell::type(&value); }
    int32_t i() const { return cell::get_int(&value); }
    double f() const { return cell::get_float(&value); }
    // The argument of the error at position 1 to 3.
    const Cell* arg(uint32_t n) const { return error::field(&error, error::FIELD_ARG1 + n - 1); }
};

using Entry = void (*)(const int32_t*);

// Runs the entry in a frame named after the action, under a try frame.
inline Outcome run_action(const char* action, Entry entry, std::initializer_list<Cell> args,
                    std::initializer_list<int32_t> refs = {}) {
    Cell try_word = word::intern("try"), w = word::intern(action);
    stack::enter_try(&try_word);
    stack::enter_native(&w);
    for (const Cell& a : args) stack::push(&a);
    int32_t positions[16];
    int n = 0;
    for (int32_t r : refs) positions[n++] = r;
    Outcome o;
    cell::make_unset(&o.value);
    cell::make_unset(&o.error);
    o.code = -1;
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

// Binary actions by their words.
inline Outcome arith(const char* action, const Cell& a, const Cell& b) {
    struct Row {
        const char* name;
        Entry entry;
    };
    static const Row rows[] = {
        {"add", actions::add},         {"subtract", actions::subtract},
        {"multiply", actions::multiply}, {"divide", actions::divide},
        {"remainder", actions::remainder}, {"power", actions::power},
        {"and~", actions::and_},       {"or~", actions::or_},
        {"xor~", actions::xor_},
    };
    for (const Row& r : rows)
        if (std::strcmp(r.name, action) == 0) return run_action(action, r.entry, {a, b});
    ADD_FAILURE() << "no action " << action;
    return {};
}

// round value /to scale, the modes given by name ("even", "down",
// "half-down", "floor", "ceiling", "half-ceiling").
inline Outcome rounded(const Cell& value, const Cell* scale, const char* mode = "") {
    static const char* const modes[] = {"even", "down", "half-down", "floor", "ceiling", "half-ceiling"};
    int32_t r[7] = {scale ? 1 : -1, -1, -1, -1, -1, -1, -1};
    for (int i = 0; i < 6; i++)
        if (std::strcmp(mode, modes[i]) == 0) r[i + 1] = 0;
    Cell s = scale ? *scale : i32(0);
    return run_action("round", actions::round, {value, s}, {r[0], r[1], r[2], r[3], r[4], r[5], r[6]});
}

inline Outcome to_type(uint32_t type, const Cell& spec) { return run_action("to", actions::to, {dt(type), spec}); }
inline Outcome make_type(uint32_t type, const Cell& spec) {
    return run_action("make", actions::make, {dt(type), spec});
}

inline std::string formed(const Cell& v) { return text_of(run_action("form", actions::form, {v}, {-1}).value); }
inline std::string molded(const Cell& v, bool all = false) {
    return text_of(run_action("mold", actions::mold, {v}, {-1, all ? 0 : -1, -1, -1}).value);
}

inline bool truth(Entry entry, const char* action, const Cell& v) {
    return run_action(action, entry, {v}).value.w1 != 0;
}

// The comparison entry's answer, or the code of the error it raised.
inline int32_t compared(Cell a, Cell b, int32_t op) {
    Cell try_word = word::intern("try");
    stack::enter_try(&try_word);
    bool answer = false;
    if (exits::catch_error([&] { answer = actions::compare(&a, &b, op); })) {
        stack::adjust_result();
        return cell::get_int(error::field(stack::reg.base, error::FIELD_CODE));
    }
    stack::leave();
    return answer;
}

inline int32_t code(Err e) { return int32_t(e); }

}  // namespace number_calls
}  // namespace zel
