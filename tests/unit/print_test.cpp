// Typed printing: the typed arguments, bytes, character literals and numbers.
#include <gtest/gtest.h>

#include <string>

#include "kernel/output.h"
#include "kernel/print.h"
#include "output_capture.h"

using namespace zel;

namespace {

using output_capture::capture;

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
    for (const Case& c : cases) EXPECT_EQ(capture(false, [&] { print::char_literal(c.c); }), c.text) << int(c.c);
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
    EXPECT_EQ(capture(false, [&] { print::values(n, args); }), want);
    EXPECT_EQ(capture(false, [&] { print::values_line(n, args); }), want + "\n");
    EXPECT_EQ(capture(false, [&] { print::values_line(0, args); }), "\n");
}

TEST(Print, Numbers) {
    EXPECT_EQ(capture(false, [] { print::integer(-2147483647 - 1); }), "-2147483648");
    EXPECT_EQ(capture(false, [] { print::hex_byte(0xA); }), "0A");
    EXPECT_EQ(capture(false, [] { print::hex(0xAB); }), "000000AB");
    EXPECT_EQ(capture(false, [] { print::float64(1.180591620717411e+21); }), "1.180591620717411e+21");
    EXPECT_EQ(capture(false, [] { print::float32(1.5f); }), "1.5");
}

TEST(Print, CharsStopAtNulOrCount) {
    EXPECT_EQ(capture(false, [] { print::chars("abcdef", 3); }), "abc");
    EXPECT_EQ(capture(false, [] { print::chars("ab\0cd", 5); }), "ab");
    EXPECT_EQ(capture(false, [] { print::chars("", 5); }), "");
    EXPECT_EQ(capture(false, [] { print::char_('\xE9'); }), "\xE9");
}

}  // namespace
