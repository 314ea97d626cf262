// The path walk: reading through the eval-path actions, and a set whose last
// step changes a scalar in place putting the changed scalar back.
#include "interpreter/path_walk.h"

#include <gtest/gtest.h>

#include "core/raise.h"
#include "core/stack.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "kernel/temp_roots.h"
#include "natives_cases.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::block_of;
using test_values::integer;
using test_values::name_of;
using test_values::Raised;
using test_values::raised;
using test_values::word_of;

TEST(PathWalkTest, AReadStepsThroughTheElements) {
    Cell holder = word_of("path-err-h6");
    Cell w = word_of("path-arg-h6");
    Raised r = raised([&] { error::raise(Err::script_no_value, &w); });
    Cell err = r.error;
    word::set_value(&holder, &err);
    Cell path = block_of({holder, word_of("id")});
    cell::set_type(&path, T_PATH);
    Cell result;
    ASSERT_TRUE(path_walk::walk(&path, nullptr, false, &result));
    EXPECT_EQ(name_of(cell::word_symbol(&result)), "no-value");
    // The head alone: the walk answers the head word's value.
    Cell head_only = block_of({holder});
    cell::set_type(&head_only, T_PATH);
    ASSERT_TRUE(path_walk::walk(&head_only, nullptr, false, &result));
    EXPECT_EQ(cell::type(&result), uint32_t(T_ERROR));
    Cell seven = integer(7);
    Cell not_word = block_of({seven});
    cell::set_type(&not_word, T_PATH);
    EXPECT_EQ(raised([&] { path_walk::walk(&not_word, nullptr, false, &result); }).id, "word-first");
}

// A set whose last step changes a part of a time puts the time back where
// the step before found it; an object with on-change* hears of the change
// with the field already holding the new time, and a value its handler
// stores stays.
TEST(PathWalkTest, ASetWritesAChangedScalarBack) {
    struct Case {
        const char* setup;
        const char* path;  // the head word and the elements
        const char* check;
        const char* expected;
    };
    const Case cases[] = {
        {"t: 1:30:00 u: t", "t hour", "reduce [t u]", "[5:30:00 1:30:00]"},
        {"o: make object! [t: 1:30:00]", "o t hour", "o/t", "5:30:00"},
        {"b: [x 1:00 y 1:30:00]", "b y hour", "b", "[x 1:00:00 y 5:30:00]"},
        {"b: [[1:00] [1:30:00]]", "b 2 1 hour", "b", "[[1:00:00] [5:30:00]]"},
        {"r: copy [] o: make object! [t: 1:30:00 on-change*: make function! [[w o n] [append r reduce [w o n]]]]",
         "o t hour", "reduce [o/t r]", "[5:30:00 [t 1:30:00 5:30:00]]"},
        {"obj: make object! [t: 1:30:00 on-change*: make function! [[w old new] [if new/hour > 3 [obj/t: 3:00]]]]",
         "obj t hour", "obj/t", "3:00:00"},
    };
    natives_cases::words_ready();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        natives_cases::run(c.setup);
        Cell path = test_values::load(c.path);
        temp_roots::Hold hold_path(&path);
        cell::set_type(&path, T_SET_PATH);
        Cell five = integer(5), result;
        ASSERT_TRUE(path_walk::walk(&path, &five, false, &result));
        EXPECT_EQ(cell::get_int(&result), 5);
        EXPECT_EQ(natives_cases::eval_molded(c.check), c.expected);
    }
}

}  // namespace
