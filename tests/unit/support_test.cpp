// The support routines: raising errors by identifier and by name, argument
// checks, reading words, loading a value from text, the size check of numbers, indentation, pattern
// fill and the boot literals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "datatypes/typeset.h"
#include "kernel/fail.h"
#include "kernel/temp_roots.h"
#include "natives_cases.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::block_of;
using test_values::enter_call;
using test_values::integer;
using test_values::logic;
using test_values::name_of;
using test_values::number;
using test_values::Raised;
using test_values::raised;
using test_values::text;
using test_values::unset;
using test_values::utf8_of;
using test_values::word_of;

using SupportTest = ::testing::Test;

// ---- raising errors -----------------------------------------------------------------------

TEST_F(SupportTest, RaiseBuildsTheCatalogErrorWithItsArguments) {
    Cell w = word_of("raised-h6"), two = integer(2);
    Raised r = raised([&] { error::raise(Err::script_no_value, &w, &two); });
    EXPECT_EQ(r.category, "script");
    EXPECT_EQ(r.id, "no-value");
    EXPECT_EQ(cell::word_symbol(r.arg(1)), cell::word_symbol(&w));
    EXPECT_EQ(cell::get_int(r.arg(2)), 2);
    EXPECT_EQ(cell::type(r.arg(3)), uint32_t(T_NONE));
    EXPECT_EQ(cell::get_int(error::field(&r.error, error::FIELD_CODE)), 300);

    Cell dt;
    cell::make_datatype(&dt, T_NATIVE);
    Raised bad = raised([&] { error::raise_bad_make(&dt, &two); });
    EXPECT_EQ(bad.id, "bad-make-arg");
    EXPECT_EQ(cell::datatype_id(bad.arg(1)), uint32_t(T_NATIVE));
}

TEST_F(SupportTest, FailRaisesByCategoryAndIdNames) {
    struct Case {
        const char* category;
        const char* id;
        const char* raised_category;
        const char* raised_id;
    };
    const Case cases[] = {
        {"math", "zero-divide", "math", "zero-divide"},
        {"internal", "no-memory", "internal", "no-memory"},
        {"access", "invalid-utf8", "access", "invalid-utf8"},
        {"throw", "break", "throw", "break"},
        {"script", "no-such-id", "internal", "invalid-error"},
        {"nonsense", "no-value", "internal", "invalid-error"},
    };
    for (const Case& c : cases) {
        Raised r = raised([&] { fail::raise(c.category, c.id); });
        EXPECT_EQ(r.category, c.raised_category) << c.id;
        EXPECT_EQ(r.id, c.raised_id) << c.id;
        EXPECT_STREQ(fail::last_category(), c.category);
        EXPECT_STREQ(fail::last_id(), c.id);
    }
}

TEST_F(SupportTest, BeforeTheStackExistsAnErrorUnwindsBare) {
    stack::init();
    try {
        fail::raise("script", "no-value");
        FAIL() << "returned";
    } catch (const Throw& t) {
        EXPECT_EQ(t.code, uint32_t(EXIT_ERROR));
    }
    EXPECT_STREQ(fail::last_id(), "no-value");
}

std::vector<std::string> traced;
void trace_raise(const Cell* err) { traced.push_back(name_of(error::id_symbol(err))); }

TEST_F(SupportTest, TheTracerSeesEachErrorBeforeItIsThrown) {
    traced.clear();
    error::set_raise_tracer(trace_raise);
    EXPECT_EQ(raised([] { error::raise(Err::math_overflow); }).id, "overflow");
    ASSERT_EQ(traced.size(), 1u);
    EXPECT_EQ(traced[0], "overflow");
}

// ---- argument checks ------------------------------------------------------------------------

TEST_F(SupportTest, ArgumentChecksNameTheCallAndTheType) {
    Cell ints;
    typeset::init_empty(&ints);
    typeset::set_bit(&ints, T_INTEGER);
    Cell seven = integer(7), word = text("word");
    enter_call("checker-h6", {seven, word});
    EXPECT_EQ(check::argument(&ints, 0, &seven), &seven);
    check::argument_at(&ints, 0, -1);  // refinement not given: no check
    check::argument_at(&ints, 0, 0);
    struct Case {
        const char* what;
        std::function<void()> run;
        uint32_t type;
    };
    const Case cases[] = {
        {"argument", [&] { check::argument(&ints, 1, &word); }, T_STRING},
        {"argument at", [&] { check::argument_at(&ints, 1, 1); }, T_STRING},
    };
    for (const Case& c : cases) {
        Raised r = raised([&] {
            enter_call("checker-h6", {seven, word});
            c.run();
        });
        EXPECT_EQ(r.id, "expect-arg") << c.what;
        EXPECT_EQ(name_of(cell::word_symbol(r.arg(1))), "checker-h6") << c.what;
        EXPECT_EQ(cell::type(r.arg(2)), uint32_t(T_DATATYPE)) << c.what;
        EXPECT_EQ(cell::datatype_id(r.arg(2)), c.type) << c.what;
    }
}

// ---- sizes from numbers -----------------------------------------------------------------------

TEST_F(SupportTest, FloatRangeTruncatesAndChecksTheTruncatedValue) {
    struct Case {
        Cell value;
        int32_t answer;  // or out of range when raises
        bool raises;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {integer(-7), -7, false},
        {number(2147483647.9), 2147483647, false},
        {number(-2147483648.9), -2147483647 - 1, false},
        {number(-2.5), -2, false},
        {number(0.99), 0, false},
        {number(2147483648.0), 0, true},
        {number(-2147483649.0), 0, true},
        {number(nan), 0, true},
        {number(inf), 0, true},
        {number(-inf), 0, true},
    };
    for (const Case& c : cases) {
        Cell v = c.value;
        if (c.raises) {
            Raised r = raised([&] { check::float_range(&v); });
            EXPECT_EQ(r.id, "out-of-range") << cell::get_float(&v);
            EXPECT_EQ(cell::word_symbol(r.arg(1)), cell::word_symbol(&v));
        } else {
            EXPECT_EQ(check::float_range(&v), c.answer);
        }
    }
}

// ---- reading words ----------------------------------------------------------------------------

TEST_F(SupportTest, ReadingAWordChecksForUnset) {
    Cell w = word_of("store-h6"), one = integer(1);
    word::set_value(&w, &one);
    EXPECT_EQ(cell::get_int(word::get_checked(&w)), 1);

    Cell fresh = word_of("fresh-store-h6");
    EXPECT_EQ(raised([&] { word::get_checked(&fresh); }).id, "no-value");
}

// ---- loading a value from text -------------------------------------------------------------------

// A stand-in lexer: space-separated words, "@" ends what it reads.
uint32_t toy_scan(const Cell* block, const Cell* text) {
    std::string s = utf8_of(text).substr(uint32_t(cell::series_index(text)));
    size_t stop = s.find('@');
    std::string body = s.substr(0, stop);
    for (size_t at = 0; at < body.size();) {
        size_t end = std::min(body.find(' ', at), body.size());
        if (end > at) *block::append_slot(block) = word_of(body.substr(at, end - at).c_str());
        at = end + 1;
    }
    return uint32_t(stop == std::string::npos ? s.size() : stop);
}

TEST_F(SupportTest, ValueFromStringTakesTheFirstOfAWholeLoad) {
    Cell complete = text("first second"), partial = text("first@"), empty = text("   ");
    load::set_scanner(nullptr);  // no lexer installed
    EXPECT_EQ(raised([&] { load::value_from_string(&complete); }).id, "not-done");
    load::set_scanner(toy_scan);
    const Cell* v = load::value_from_string(&complete);
    EXPECT_EQ(name_of(cell::word_symbol(v)), "first");
    EXPECT_EQ(cell::type(stack::reg.base), uint32_t(T_BLOCK));
    EXPECT_EQ(load::value_from_string(&partial), &statics::none_cell);
    const Cell* nothing = load::value_from_string(&empty);
    EXPECT_EQ(nothing, stack::reg.base);
    EXPECT_EQ(cell::type(nothing), uint32_t(T_UNSET));
    EXPECT_EQ(load::scan_type(&complete), uint32_t(T_WORD));
    EXPECT_EQ(load::scan_type(&empty), 0u);
}

// ---- text and memory -----------------------------------------------------------------------------

TEST_F(SupportTest, IndentAppendsFourSpacesALevel) {
    for (int32_t level : {0, 1, 3}) {
        Cell buffer = text("x");
        EXPECT_EQ(mold::indent(&buffer, level, 40), 40 - 4 * level);
        EXPECT_EQ(utf8_of(&buffer), "x" + std::string(size_t(4 * level), ' '));
    }
}

TEST_F(SupportTest, FillPatternRepeatsTheFirstUnit) {
    struct Case {
        uint32_t unit, count;
    };
    for (const Case& c : {Case{3, 5}, Case{3, 1}, Case{1, 0}, Case{2, 1000}, Case{16, 7}, Case{4, 9}}) {
        std::vector<uint8_t> bytes(size_t(c.unit) * std::max(c.count, 1u) + 8, 0xEE);
        for (uint32_t i = 0; i < c.unit; i++) bytes[i] = uint8_t('a' + i);
        uint8_t* end = memory::fill_pattern(bytes.data(), c.unit, c.count);
        size_t filled = size_t(c.unit) * c.count;
        EXPECT_EQ(end, bytes.data() + filled);
        for (size_t i = 0; i < filled; i++) ASSERT_EQ(bytes[i], uint8_t('a' + i % c.unit)) << c.unit << "x" << c.count;
        size_t untouched = std::max(filled, size_t(c.unit));
        for (size_t i = untouched; i < bytes.size(); i++) ASSERT_EQ(bytes[i], 0xEE) << c.unit << "x" << c.count;
    }
}

// ---- boot literals -------------------------------------------------------------------------------

TEST_F(SupportTest, BootLiteralsAreCellsOfTheImageBlock) {
    Cell obj{T_OBJECT, context::global_node, 1, 0};
    Cell five = integer(5);
    uint32_t first = roots::keep(&five);
    roots::keep(&obj);
    boot::set_literals(roots::block_node, first);
    EXPECT_EQ(cell::get_int(boot::value_at(0)), 5);
    EXPECT_EQ(boot::value_at(1), roots::at(first + 1));
    EXPECT_EQ(cell::object_context(boot::value_at(1)), context::global_node);
}

}  // namespace
