// tag!, email! and handle!: their faces (form and mold), email paths, tag
// paths through string!, and handle comparison.
#include <gtest/gtest.h>

#include <string>

#include "core/datatype.h"
#include "core/stack.h"
#include "core/word.h"
#include "datatypes/handle.h"
#include "datatypes/tag.h"
#include "tests/unit/test_support.h"
#include "tests/unit/test_values.h"

using namespace zel;

namespace {

using test_values::formed;
using test_values::integer;
using test_values::molded;
using test_values::text;
using test_values::utf8_of;

const Cell* path(Cell* parent, Cell element, Cell* value = nullptr) {
    Cell p = *parent;
    return types::row(cell::type(parent)).eval_path(parent, &element, value, &p, nullptr, nullptr, 1, false,
                                                    value == nullptr, true, false);
}

Cell handle_of(uint32_t value, uint32_t kind) {
    Cell h;
    handle::init_cell(&h, value, kind);
    return h;
}

TEST(Tag, FormAndMoldBetweenAngleBrackets) {
    EXPECT_EQ(formed(text("a", T_TAG)), "<a>");
    EXPECT_EQ(molded(text("a", T_TAG)), "<a>");
    EXPECT_EQ(molded(text("img src=\"x\" \xC3\xA9", T_TAG)), "<img src=\"x\" \xC3\xA9>");
    Cell t = text("abc", T_TAG);
    cell::set_series_index(&t, 1);
    EXPECT_EQ(formed(t), "<bc>");
}

TEST(Tag, PathPicksACharacterAsStringDoes) {
    Cell t = text("abc", T_TAG);
    const Cell* c = path(&t, integer(2));
    ASSERT_EQ(cell::type(c), uint32_t(T_CHAR));
    EXPECT_EQ(cell::get_char(c), uint32_t('b'));
}

TEST(Email, MoldIsTheTextItself) {
    EXPECT_EQ(molded(text("joe@example.com", T_EMAIL)), "joe@example.com");
    EXPECT_EQ(formed(text("joe@example.com", T_EMAIL)), "joe@example.com");
}

TEST(Email, UserAndHostPaths) {
    struct Case {
        const char* address;
        const char* user;
        const char* host;
    };
    const Case cases[] = {
        {"joe@example.com", "joe", "example.com"},
        {"joe", "joe", ""},
        {"@h", "", "h"},
        {"a@b@c", "a", "b@c"},
    };
    for (const Case& c : cases) {
        Cell e = text(c.address, T_EMAIL);
        const Cell* user = path(&e, word::intern("user"));
        EXPECT_EQ(cell::type(user), uint32_t(T_STRING));
        EXPECT_EQ(utf8_of(*user), c.user);
        EXPECT_EQ(utf8_of(*path(&e, word::intern("HOST"))), c.host);  // words match without regard to case
    }
    Cell e = text("joe@example.com", T_EMAIL);
    const Cell* c = path(&e, integer(1));
    ASSERT_EQ(cell::type(c), uint32_t(T_CHAR));
    EXPECT_EQ(cell::get_char(c), uint32_t('j'));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_path, [&] { path(&e, word::intern("domain")); }));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_path, [&] { path(&e, text("user", T_STRING)); }));
}

TEST(Email, SettingAPartReplacesIt) {
    struct Case {
        const char* address;
        const char* field;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"joe@example.com", "user", "ann", "ann@example.com"},
        {"joe@example.com", "host", "h.org", "joe@h.org"},
        {"joe", "host", "h.org", "joe@h.org"},
        {"joe", "user", "ann", "ann"},
    };
    for (const Case& c : cases) {
        Cell e = text(c.address, T_EMAIL);
        Cell v = text(c.value, T_STRING);
        const Cell* r = path(&e, word::intern(c.field), &v);
        EXPECT_EQ(r, &v);
        EXPECT_EQ(utf8_of(e), c.expected);
    }
}

TEST(Handle, FormAndMold) {
    Cell w = handle_of(0x1234, handle::WINDOW);
    EXPECT_EQ(formed(w), "00001234h");
    EXPECT_EQ(molded(w), "handle!");
    EXPECT_EQ(molded(w, true), "#[handle! 00001234h window]");
    EXPECT_EQ(molded(handle_of(0, handle::NONE), true), "#[handle! 00000000h]");
    EXPECT_EQ(molded(handle_of(0xFFFFFFFE, handle::RICH_TEXT), true), "#[handle! FFFFFFFEh rich-text]");
    EXPECT_EQ(cell::word_index(&w), 0xFFFFFFFFu);
}

TEST(Handle, ComparesByNativeValue) {
    Cell a = handle_of(5, handle::FD), b = handle_of(7, handle::FONT), minus = handle_of(0xFFFFFFFF, handle::FD);
    EXPECT_EQ(handle::compare(&a, &b, 3), -1);
    EXPECT_EQ(handle::compare(&b, &a, 3), 1);
    EXPECT_EQ(handle::compare(&a, &a, 0), 0);
    EXPECT_EQ(handle::compare(&minus, &a, 3), -1);  // signed
    Cell five = integer(5);
    for (int32_t op : {0, 1, 2, 3, 4, 5, 6, 9, 12}) EXPECT_EQ(handle::compare(&a, &five, op), 1) << op;
}

TEST(Handle, Constructors) {
    Cell* saved = stack::reg.base;
    Cell* top = stack::reg.top;
    stack::reg.base = top;
    const Cell* r = handle::to_result(9, handle::MONITOR);
    EXPECT_EQ(r, top);
    EXPECT_EQ(handle::kind_of(r), uint32_t(handle::MONITOR));
    EXPECT_EQ(handle::value_of(r), 9u);
    Cell* n = handle::push_null();
    EXPECT_EQ(cell::type(n), uint32_t(T_HANDLE));
    EXPECT_EQ(handle::kind_of(n), 0u);
    EXPECT_EQ(handle::value_of(n), 0u);
    stack::reg.top = top;
    stack::reg.base = saved;
}

}  // namespace
