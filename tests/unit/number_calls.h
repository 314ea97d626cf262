// Calling the number actions from the unit tests: short makers of number
// values, and the binary actions, round, make and to, form and mold and
// compare run through their entries (test_values::run_action).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/dispatch.h"
#include "core/exits.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace number_calls {

using test_values::ch;
using test_values::Entry;
using test_values::Outcome;
using test_values::run_action;

inline Cell i32(int32_t v) { return test_values::integer(v); }
inline Cell f64(double d) { return test_values::number(d); }

inline Cell tm(double s) {
    Cell c{};
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

inline Cell str(const char* s, uint32_t type = T_STRING) { return test_values::text(s, type); }
inline Cell bytes(std::initializer_list<uint8_t> b) { return test_values::binary_of(b); }
inline std::string text_of(const Cell& s) { return test_values::utf8_of(s); }

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
    Cell answer = run_action(action, entry, {v}).value;
    return cell::get_logic(&answer);
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
