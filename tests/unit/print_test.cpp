// Typed printing: the typed arguments, bytes, character literals and numbers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "kernel/output.h"
#include "kernel/print.h"

using namespace zel;

namespace {

template <class F>
std::string capture(F f) {
    int fds[2];
    if (pipe(fds) != 0) return "<no pipe>";
    output::attach(fds[1], false);
    f();
    output::init();
    close(fds[1]);
    std::string out;
    char buf[1024];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    close(fds[0]);
    return out;
}

TEST(Print, CharLiteral) {
    struct Case {
        uint8_t c;
        const char* text;
    };
    static const Case cases[] = {
        {0, "#\"^@\""},   {9, "#\"^-\""},    {10, "#\"^/\""},    {27, "#\"^]\""},
        {1, "#\"^A\""},   {13, "#\"^M\""},   {31, "#\"^_\""},    {32, "#\" \""},
        {'a', "#\"a\""},  {127, "#\"\x7f\""}, {128, "#\"^(80)\""}, {200, "#\"^(C8)\""},
        {255, "#\"^(FF)\""},
    };
    for (const Case& c : cases) EXPECT_EQ(capture([&] { print::char_literal(c.c); }), c.text) << int(c.c);
}

// The float texts are python3's '%.16g' and '%.7g' of the same values.
TEST(Print, TypedValues) {
    const print::Arg args[] = {
        print::Arg::logic(true),       print::Arg::cstring(" "), print::Arg::logic(false),
        print::Arg::cstring(" "),      print::Arg::integer(-5),  print::Arg::byte('x'),
        print::Arg::float64(0.1),      print::Arg::cstring(" "), print::Arg::float64(1.0 / 3),
        print::Arg::cstring(" "),      print::Arg::float64(1e300), print::Arg::cstring(" "),
        print::Arg::float64(-0.0),     print::Arg::cstring(" "), print::Arg::float32(123456789.0f),
        print::Arg::cstring(" "),      print::Arg::address(0xDEADBEEF), print::Arg::cstring(" "),
        print::Arg::address(0x1F),     print::Arg::cstring(" "), print::Arg::address(0x123456789AULL),
    };
    const uint32_t n = sizeof args / sizeof args[0];
    const std::string want =
        "true false -5x0.1 0.3333333333333333 1e+300 -0 1.234568e+08 DEADBEEF 0000001F 123456789A";
    EXPECT_EQ(capture([&] { print::values(n, args); }), want);
    EXPECT_EQ(capture([&] { print::values_line(n, args); }), want + "\n");
    EXPECT_EQ(capture([&] { print::values_line(0, args); }), "\n");
}

TEST(Print, Numbers) {
    EXPECT_EQ(capture([] { print::integer(-2147483647 - 1); }), "-2147483648");
    EXPECT_EQ(capture([] { print::hex_byte(0xA); }), "0A");
    EXPECT_EQ(capture([] { print::hex(0xAB); }), "000000AB");
    EXPECT_EQ(capture([] { print::float64(1.180591620717411e+21); }), "1.180591620717411e+21");
    EXPECT_EQ(capture([] { print::float32(1.5f); }), "1.5");
}

TEST(Print, CharsStopAtNulOrCount) {
    EXPECT_EQ(capture([] { print::chars("abcdef", 3); }), "abc");
    EXPECT_EQ(capture([] { print::chars("ab\0cd", 5); }), "ab");
    EXPECT_EQ(capture([] { print::chars("", 5); }), "");
    EXPECT_EQ(capture([] { print::char_('\xE9'); }), "\xE9");
}

}  // namespace
