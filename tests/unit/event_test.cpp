// event! below the language: the cell layout of a built event, the field,
// type and flag tables, pick, the routines' flag test, the registration and
// the backend seam for events the view engine makes.
#include <gtest/gtest.h>

#include "core/datatype.h"
#include "core/routine.h"
#include "datatypes/event.h"
#include "datatypes/pair.h"
#include "natives_cases.h"
#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace {

using namespace test_values;

struct EventTest : ::testing::Test {
    static void SetUpTestSuite() { test_support::interpreter_ready(); }
    // Every test leaves the registry as it found it.
    types::Registry saved = types::registry;
    ~EventTest() override { types::registry = saved; }
};

Cell made(const char* spec) {
    Cell s = load(spec);
    return *event::make(nullptr, &s, T_EVENT);
}

std::string field(const Cell& e, int32_t n) { return molded(*event::get_field(&e, n)); }

TEST_F(EventTest, RegistersItsOwnActionsAndRoutines) {
    event::register_type();
    event::register_type();  // a second registration changes nothing
    EXPECT_EQ(supported(types::row(T_EVENT)),
              (std::vector<uint32_t>{ACT_make, ACT_form, ACT_mold, ACT_eval_path, ACT_compare, ACT_pick}));
    EXPECT_STREQ(types::name(T_EVENT).name, "event!");
    for (const char* name : {"event?", "send-event-os", "find-flag?"}) EXPECT_NE(routine::find(name), 0u) << name;
}

TEST_F(EventTest, KeyEventHoldsEverythingInTheCell) {
    Cell e = made("type: 'key key: #\"a\" flags: [shift]");
    EXPECT_EQ(e.header, uint32_t(T_EVENT) | event::BUILT);
    EXPECT_EQ(event::type_id(&e), 13u);
    EXPECT_EQ(event::payload(&e), 0u);  // no block without face, window, offset or picked
    EXPECT_EQ(event::flags(&e), 0x20000000u | 'a');
    struct Case {
        int32_t field;
        const char* text;
    };
    const Case cases[] = {{event::F_TYPE, "key"},    {event::F_FACE, "none"},   {event::F_WINDOW, "none"},
                          {event::F_OFFSET, "0x0"},  {event::F_KEY, "#\"a\""},  {event::F_PICKED, "0"},
                          {event::F_FLAGS, "[shift]"}, {event::F_SHIFT, "true"}, {event::F_CTRL, "false"},
                          {event::F_ORIENTATION, "none"}};
    for (const Case& c : cases) EXPECT_EQ(field(e, c.field), c.text) << c.field;
}

TEST_F(EventTest, HeldFieldsLiveInAFourCellBlock) {
    Cell e = made("offset: 10x20 picked: 3");
    ASSERT_NE(event::payload(&e), 0u);
    EXPECT_EQ(series::length(node::buffer(event::payload(&e))), 4u);
    EXPECT_EQ(field(e, event::F_OFFSET), "10x20");
    EXPECT_EQ(field(e, event::F_PICKED), "3");
    EXPECT_EQ(field(e, event::F_FACE), "none");
    EXPECT_EQ(field(e, event::F_TYPE), "none");  // no type given
    EXPECT_EQ(field(e, event::F_KEY), "none");
}

TEST_F(EventTest, FlagWordsAndTheirBits) {
    struct Case {
        const char* word;
        uint32_t bit;
    };
    const Case cases[] = {{"control", 0x10000000u}, {"SHIFT", 0x20000000u},    {"alt", 0x40000000u},
                          {"command", 0x80000000u}, {"away", 0x04000000u},     {"down", 0x02000000u},
                          {"mid-down", 0x01000000u}, {"alt-down", 0x00800000u}, {"aux-down", 0x00400000u},
                          {"ctrl", 0u},             {"up", 0u}};
    for (const Case& c : cases) {
        Cell w = word_of(c.word);
        EXPECT_EQ(event::flag_bit(&w), c.bit) << c.word;
    }
    Cell e = made("flags: [command alt aux-down away]");
    EXPECT_EQ(field(e, event::F_FLAGS), "[alt command away aux-down]");
    EXPECT_EQ(field(e, event::F_AWAY), "true");
    EXPECT_EQ(field(e, event::F_AUX_DOWN), "true");
    EXPECT_EQ(field(e, event::F_DOWN), "false");
}

TEST_F(EventTest, FindFlag) {
    Cell shift = word_of("shift"), alt = word_of("alt");
    Cell listed = load("down 'shift");
    Cell plain = load("down shift");
    Cell as_text = load("\"shift\"");
    EXPECT_TRUE(event::has_flag(&plain, &shift));
    EXPECT_TRUE(event::has_flag(&listed, &shift));
    EXPECT_FALSE(event::has_flag(&alt, &shift));
    EXPECT_TRUE(event::has_flag(&shift, &shift));
    EXPECT_FALSE(event::has_flag(&as_text, &shift));
    Cell past = plain;
    cell::set_series_index(&past, 2);  // from the block's position on
    EXPECT_FALSE(event::has_flag(&past, &shift));
}

// The routines as a call runs them: arguments in the frame, the answer left
// in the result slot.
Cell call_routine(const char* name, const std::vector<Cell>& args) {
    event::register_type();
    enter_call(name, args);
    routine::entry(routine::find(name))->fn();
    Cell result = *stack::reg.base;
    stack::leave();
    return result;
}

TEST_F(EventTest, RoutinesLeaveTheirAnswerInTheResultSlot) {
    Cell e = made("type: 'up"), shift = word_of("shift"), flags = load("down shift");
    EXPECT_EQ(molded(call_routine("event?", {e})), "true");
    EXPECT_EQ(molded(call_routine("event?", {integer(1)})), "false");
    EXPECT_EQ(molded(call_routine("find-flag?", {flags, shift})), "true");
    EXPECT_EQ(molded(call_routine("find-flag?", {word_of("alt"), shift})), "false");
    EXPECT_EQ(molded(call_routine("send-event-os", {e, test_values::logic(true)})), "false");  // no backend
}

TEST_F(EventTest, FieldIndexAndTypeWords) {
    Cell e = made("type: 'drawing");
    EXPECT_EQ(molded(event::type_word(&e)), "drawing");
    Cell face = word_of("Face"), nothing = word_of("nothing");
    EXPECT_EQ(event::field_index(&face, &e), event::F_FACE);
    EXPECT_EQ(event::field_index(&nothing, nullptr), -1);
    EXPECT_TRUE(test_support::raises(Err::script_cannot_use, [&] { event::field_index(&nothing, &e); }));
    Cell up = word_of("up"), bogus = word_of("bogus");
    event::set_type(&e, &up);
    EXPECT_EQ(event::type_id(&e), 2u);
    EXPECT_TRUE(test_support::raises(Err::script_not_event_type, [&] { event::set_type(&e, &bogus); }));
    EXPECT_EQ(event::type_id(&e), 2u);
}

TEST_F(EventTest, PickByNumberAndWord) {
    Cell e = made("type: 'time key: #\"z\"");
    Cell one = integer(1), key = word_of("key"), nothing = word_of("nothing");
    EXPECT_EQ(molded(*event::pick(&e, 1, &one)), "time");
    EXPECT_EQ(molded(*event::pick(&e, 0, &key)), "#\"z\"");
    for (int32_t n : {0, 16, -1}) {
        Cell i = integer(n);
        EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { event::pick(&e, n, &i); })) << n;
    }
    EXPECT_TRUE(test_support::raises(Err::script_cannot_use, [&] { event::pick(&e, 0, &nothing); }));
}

TEST_F(EventTest, ComparesEqualToAnyEventOnly) {
    Cell a = made("type: 'up"), b = made("type: 'down"), i = integer(1);
    for (int32_t op : {0, 1, 2, 7, 8, 9, 12}) EXPECT_EQ(event::compare(&a, &b, op), 0) << op;
    for (int32_t op : {3, 4, 5, 6}) EXPECT_EQ(event::compare(&a, &b, op), -2) << op;
    EXPECT_EQ(event::compare(&a, &i, 0), -2);
}

// The seam a view backend fills: its own events (no BUILT flag) read their
// fields through it; flags and the flag tests still come from word 3.
const Cell* fake_field(uint32_t native, int32_t n) {
    static Cell c;
    pair::init_cell(&c, int32_t(native), n);
    return &c;
}

TEST_F(EventTest, BackendEventsReadFieldsThroughTheSeam) {
    Cell e{T_EVENT, 1, 42, 0x10000000u};
    EXPECT_EQ(field(e, event::F_OFFSET), "none");  // no backend installed
    event::set_backend({fake_field, nullptr});
    EXPECT_EQ(field(e, event::F_OFFSET), "42x4");
    EXPECT_EQ(field(e, event::F_KEY), "42x5");
    EXPECT_EQ(field(e, event::F_TYPE), "down");
    EXPECT_EQ(field(e, event::F_CTRL), "true");
    event::set_backend({});
}

// Scripts see event! once the start-up body has registered it and bound its
// word; done here as the start-up body does it.
void bind_event_word() {
    types::register_event();
    Cell w = types::name(T_EVENT).word, datatype;
    cell::make_datatype(&datatype, T_EVENT);
    word::set_value(&w, &datatype);
}

TEST_F(EventTest, ScriptsMakeEventsAndReachTheirFieldsByPath) {
    natives_cases::words_ready();
    bind_event_word();
    const natives_cases::Case cases[] = {
        {"e: make event! [type: 'key key: #\"a\" flags: [shift]] reduce [e/type e/key e/shift? e/ctrl?]",
         "[key #\"a\" true false]"},
        {"e: make event! [offset: 10x20] reduce [e/offset e/face e/picked]", "[10x20 none 0]"},
        {"f: [down shift] e: make event! [flags: f] e/flags", "[shift down]"},
        {"e: make event! [type: 'down] e/type: 'up e/type", "up"},
        {"e: make event! [] reduce [e/type e/orientation]", "[none none]"},
        {"form make event! [type: 'up]", "\"event\""},
        {"(make event! [type: 'up]) = make event! [type: 'down]", "true"},
    };
    natives_cases::check_values(cases);
    const natives_cases::ErrorCase errors[] = {
        {"make event! [type: 'bogus]", Err::script_not_event_type},
        {"e: make event! [] e/nothing", Err::script_invalid_path},
        {"e: make event! [] e/key: #\"b\"", Err::script_bad_path_set},
        {"e: make event! [] e/type: \"up\"", Err::script_bad_path_set},
    };
    natives_cases::check_errors(errors);
}

}  // namespace
}  // namespace zel
