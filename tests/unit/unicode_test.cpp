// Unicode conversion: UTF-8 and UTF-16 decoding and encoding, strings of 1-, 2-
// and 4-byte units, widening in place. python3's codecs are the oracle where
// they apply.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kernel/fail.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

using namespace zel;

namespace {

using Bytes = std::string;
using Chars = std::vector<uint32_t>;

// Runs a python3 program and answers what it printed.
std::string python(const std::string& program) {
    FILE* p = popen(("python3 - <<'EOF'\n" + program + "\nEOF\n").c_str(), "r");
    std::string out;
    if (!p) return out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
}

std::string hex(const Bytes& b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : b) s += {digits[c >> 4], digits[c & 15]};
    return s;
}

// python's decoding of each input, one line each: "ERR" or the code points.
std::vector<std::string> python_decode(const std::vector<Bytes>& inputs, const char* codec) {
    std::string program = "for h in [";
    for (const Bytes& b : inputs) program += "'" + hex(b) + "',";
    program += "]:\n"
               "  try: print(' '.join('%x' % ord(c) for c in bytes.fromhex(h).decode(" +
               std::string(codec) +
               ")))\n"
               "  except UnicodeDecodeError: print('ERR')\n";
    std::vector<std::string> lines;
    std::string out = python(program), line;
    for (char c : out) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

std::string chars_text(const Chars& cs) {
    std::string s;
    char buf[16];
    for (uint32_t c : cs) {
        std::snprintf(buf, sizeof buf, s.empty() ? "%x" : " %x", c);
        s += buf;
    }
    return s;
}

Chars chars_of(Node n) {
    SeriesBuffer* b = node::buffer(n);
    Chars out;
    for (uint8_t* p = series::raw_bytes(b); p < series::tail_ptr(b); p += series::unit(b))
        out.push_back(string::get_char(p, series::unit(b)));
    return out;
}

uint32_t unit_of(Node n) { return series::unit(node::buffer(n)); }

const uint8_t* u8(const Bytes& b) { return reinterpret_cast<const uint8_t*>(b.data()); }

// Runs f and answers the id of the error it raised, or "" when none.
template <class F>
std::string raised(F f) {
    try {
        f();
    } catch (const Throw&) {
        runtime::record.pending_code = 0;
        return fail::last_id();
    }
    return "";
}

Node string_of(const Chars& cs, uint32_t unit) {
    Node n = series::new_units(uint32_t(cs.size()), unit);
    SeriesBuffer* b = node::buffer(n);
    for (uint32_t c : cs) {
        string::put_char(series::tail_ptr(b), unit, c);
        b->tail += unit;
    }
    return n;
}

using UnicodeTest = ::testing::Test;

TEST(Utf8, SequenceLength) {
    struct Case {
        uint8_t lead;
        int length;
    };
    static const Case cases[] = {{0x00, 0}, {0x7F, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 2}, {0xDF, 2},
                                 {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xF7, 4}, {0xF8, 0}, {0xFF, 0}};
    for (const Case& c : cases) EXPECT_EQ(utf8::sequence_length(c.lead), c.length) << int(c.lead);
}

TEST(Utf8, EncodeAgreesWithPython) {
    static const uint32_t cps[] = {0, 0x41, 0x7F, 0x80, 0xFF, 0x7FF, 0x800, 0x4E00, 0xFFFD, 0xFFFF,
                                   0x10000, 0x1F600, 0x10FFFF};
    std::string program = "for c in [";
    for (uint32_t c : cps) program += std::to_string(c) + ",";
    program += "]: print(chr(c).encode('utf-8').hex())";
    std::string expected = python(program), got;
    for (uint32_t c : cps) {
        uint8_t out[4];
        uint32_t n = utf8::encode_char(c, out);
        EXPECT_EQ(n, utf8::encoded_size(c));
        got += hex(Bytes(reinterpret_cast<char*>(out), n)) + "\n";
    }
    EXPECT_EQ(got, expected);
}

TEST(Utf8, AboveMaxCodePointRaises) {
    uint8_t out[4];
    EXPECT_EQ(raised([] { utf8::encoded_size(0x110000); }), "invalid-char");
    EXPECT_EQ(raised([&] { utf8::encode_char(0xFFFFFFFF, out); }), "invalid-char");
}

TEST(Utf8, DecodeCharLengthSkipStayInBounds) {
    const Bytes text = "A\xC3\xA9\x80\xE4\xB8";  // A, e-acute, a stray follower, a cut sequence
    const uint8_t* s = u8(text);
    const uint8_t* end = s + text.size();
    struct Case {
        size_t at;
        int32_t cp;
        size_t next;
    };
    static const Case cases[] = {{0, 'A', 1}, {1, 0xE9, 3}, {3, -1, 4}, {4, -1, 4}};
    for (const Case& c : cases) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(s + c.at, end, &cp);
        EXPECT_EQ(cp, c.cp) << c.at;
        EXPECT_EQ(size_t(next - s), c.next) << c.at;
    }
    EXPECT_EQ(utf8::length(s, end), 4u);
    EXPECT_EQ(utf8::skip(s, end, 2), s + 3);
    EXPECT_EQ(utf8::skip(s, end, 99), end);
    uint32_t size;
    EXPECT_EQ(utf8::decode_checked(s + 4, 2, &size), -1);  // the bytes left cannot hold it
    EXPECT_EQ(utf8::decode_checked(s + 1, 2, &size), 0xE9);
    EXPECT_EQ(size, 2u);
}

TEST(Utf8, SizeOfUnits) {
    const uint32_t wide[] = {0x41, 0xE9, 0x4E00, 0x1F600};
    EXPECT_EQ(utf8::size_of_units(reinterpret_cast<const uint8_t*>(wide),
                                  reinterpret_cast<const uint8_t*>(wide + 4), 4), 10u);
    const uint8_t narrow[] = {0x41, 0xE9, 0xFF};
    EXPECT_EQ(utf8::size_of_units(narrow, narrow + 3, 1), 5u);
}

TEST_F(UnicodeTest, FromUtf8AgreesWithPython) {
    const std::vector<Bytes> inputs = {
        "",
        "abc\xC3\xA9",
        "\xE4\xB8\x80",
        "a\xF0\x9F\x98\x80",
        "\xEF\xBB\xBF",
        "\xEF\xBB\xBFhi",
        "\x80",
        "ab\x80",
        "\xC0\xAF",              // overlong '/'
        "\xE0\x80\x80",          // overlong NUL
        "\xED\xA0\x80",          // a surrogate
        "\xF4\x90\x80\x80",      // above 0x10FFFF
        "\xF5\x80\x80\x80",
        "\xF8\x88\x80\x80\x80",
        "\xFF",
        "\xE4\xB8",              // cut at the end
        "\xE4\x41\x41",
        "\xC3",
        std::string("a\0b", 3),
    };
    std::vector<std::string> expected = python_decode(inputs, "'utf-8-sig'");
    ASSERT_EQ(expected.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) {
        Node n = 0;
        std::string err = raised([&] { n = string::from_utf8_new(u8(inputs[i]), uint32_t(inputs[i].size()), false); });
        if (expected[i] == "ERR") {
            EXPECT_EQ(err, "invalid-utf8") << hex(inputs[i]);
        } else {
            ASSERT_EQ(err, "") << hex(inputs[i]);
            EXPECT_EQ(chars_text(chars_of(n)), expected[i]) << hex(inputs[i]);
        }
    }
}

TEST_F(UnicodeTest, FromUtf8TakesTheNarrowestUnit) {
    struct Case {
        Bytes in;
        uint32_t unit, count;
    };
    const Case cases[] = {
        {"abc\xC3\xA9", 1, 4}, {"a\xE4\xB8\x80", 2, 2}, {"a\xF0\x9F\x98\x80", 4, 2},
        {"\xE4\xB8\x80\xF0\x9F\x98\x80", 4, 2}, {"", 1, 0},
    };
    for (const Case& c : cases) {
        uint32_t produced = 99;
        Node n = string::from_utf8(u8(c.in), uint32_t(c.in.size()), 0, &produced, false);
        EXPECT_EQ(unit_of(n), c.unit) << hex(c.in);
        EXPECT_EQ(produced, c.count) << hex(c.in);
        EXPECT_EQ(series::length(node::buffer(n)), c.count) << hex(c.in);
    }
}

TEST_F(UnicodeTest, LineEnds) {
    struct Case {
        Bytes in;
        bool line_end;
        Chars out;
    };
    const Case cases[] = {
        {"a\r\nb", true, {'a', '\n', 'b'}},   {"a\r\nb", false, {'a', '\r', '\n', 'b'}},
        {"a\rb", true, {'a', '\n', 'b'}},     {"\r\r\n", true, {'\n', '\n'}},
        {"a\r", true, {'a', '\n'}},           {"\n\r", true, {'\n', '\n'}},
    };
    for (const Case& c : cases) {
        Node n = string::from_utf8(u8(c.in), uint32_t(c.in.size()), 0, nullptr, c.line_end);
        EXPECT_EQ(chars_of(n), c.out) << hex(c.in) << c.line_end;
    }
}

TEST_F(UnicodeTest, AppendWidensInPlaceAndKeepsTheNode) {
    Node n = string::from_utf8_new(u8("abc"), 3, false);
    EXPECT_EQ(unit_of(n), 1u);
    Cell s;
    cell::make_series(&s, T_STRING, n, 1);
    string::from_utf8_into(&s, u8("\xE4\xB8\x80"), 3, false);
    EXPECT_EQ(unit_of(n), 2u);
    EXPECT_EQ(chars_of(n), (Chars{'a', 'b', 'c', 0x4E00}));
    string::from_utf8_into(&s, u8("\xF0\x9F\x98\x80"), 4, false);
    EXPECT_EQ(unit_of(n), 4u);
    EXPECT_EQ(chars_of(n), (Chars{'a', 'b', 'c', 0x4E00, 0x1F600}));
    Node m = string::from_utf8_new(u8("x"), 1, false);
    string::from_utf8(u8("\xF0\x9F\x98\x80"), 4, m, nullptr, false);  // 1 straight to 4
    EXPECT_EQ(unit_of(m), 4u);
    EXPECT_EQ(chars_of(m), (Chars{'x', 0x1F600}));
}

TEST_F(UnicodeTest, FailedDecodeLeavesTheTargetAsItWas) {
    Node n = string::from_utf8_new(u8("ab"), 2, false);
    EXPECT_EQ(raised([&] { string::from_utf8(u8("\xE4\xB8\x80\x80"), 4, n, nullptr, false); }), "invalid-utf8");
    EXPECT_EQ(unit_of(n), 1u);
    EXPECT_EQ(chars_of(n), (Chars{'a', 'b'}));
}

TEST_F(UnicodeTest, WidenFullBuffers) {
    struct Case {
        uint32_t from, to;
        SeriesBuffer* (*widen)(SeriesBuffer*);
    };
    const Case cases[] = {{1, 2, string::widen_to_ucs2}, {1, 4, string::widen_to_ucs4},
                          {2, 4, string::widen_ucs2_to_ucs4}};
    for (const Case& c : cases) {
        Chars text;
        for (uint32_t i = 0; i < 64 / c.from; i++) text.push_back(0x41 + i % 26 + (c.from == 2 ? 0x100 : 0));
        Node n = string_of(text, c.from);
        ASSERT_EQ(series::room(node::buffer(n)), 0u);  // the wider text cannot fit as it is
        SeriesBuffer* b = c.widen(node::buffer(n));
        EXPECT_EQ(node::buffer(n), b);
        EXPECT_EQ(series::unit(b), c.to);
        EXPECT_EQ(chars_of(n), text);
    }
}

TEST_F(UnicodeTest, LoadUtf16AgreesWithPython) {
    const std::vector<Bytes> inputs = {
        Bytes("A\0B\0", 4),
        Bytes("\xE9\0", 2),
        Bytes("\x00\x4E", 2),
        Bytes("=\xD8\x00\xDE", 4),        // U+1F600 as a pair
        Bytes("=\xD8", 2),                // a high surrogate at the end
        Bytes("=\xD8\x41\x00", 4),        // a high surrogate before a letter
        Bytes("\x00\xDE\x41\x00", 4),     // a lone low surrogate
        Bytes("=\xD8=\xD8\x00\xDE", 6),   // unpaired high, then a pair
        Bytes("A\0B", 3),                 // an odd last byte
        Bytes("", 0),
    };
    std::vector<std::string> expected = python_decode(inputs, "'utf-16-le', 'replace'");
    ASSERT_EQ(expected.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); i++) {
        Node n = string::load_utf16(u8(inputs[i]), uint32_t(inputs[i].size()), 0, false);
        EXPECT_EQ(chars_text(chars_of(n)), expected[i]) << hex(inputs[i]);
    }
}

TEST_F(UnicodeTest, LoadUtf16UnitsAndLineEnds) {
    struct Case {
        Bytes in;
        bool line_end;
        uint32_t unit;
        Chars out;
    };
    const Case cases[] = {
        {Bytes("a\0\r\0\n\0", 6), true, 1, {'a', '\n'}},
        {Bytes("a\0\r\0b\0", 6), true, 1, {'a', '\n', 'b'}},
        {Bytes("\r\0\n\0", 4), false, 1, {'\r', '\n'}},
        {Bytes("\x00\x4E", 2), false, 2, {0x4E00}},
        {Bytes("=\xD8\x00\xDE", 4), false, 4, {0x1F600}},
    };
    for (const Case& c : cases) {
        Node n = string::load_utf16(u8(c.in), uint32_t(c.in.size()), 0, c.line_end);
        EXPECT_EQ(unit_of(n), c.unit) << hex(c.in);
        EXPECT_EQ(chars_of(n), c.out) << hex(c.in);
    }
}

TEST_F(UnicodeTest, CopiesOfStringValues) {
    Node n = string_of({'a', 0xE9, 0x4E00, 0x1F600}, 4);
    Cell s;
    cell::make_series(&s, T_STRING, n, 1);
    uint32_t len = 0;
    Node u = utf8::from_string(&s, &len);
    SeriesBuffer* b = node::buffer(u);
    EXPECT_EQ(len, 9u);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(series::raw_bytes(b)), len + 1),
              Bytes("\xC3\xA9\xE4\xB8\x80\xF0\x9F\x98\x80\0", 10));
    utf8::from_string_part(&s, 2, &len);
    EXPECT_EQ(len, 5u);

    Node w = utf16::from_string(&s, &len);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(unit_of(w), 2u);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(series::raw_bytes(node::buffer(w))), 10),
              Bytes("\xE9\0\x00\x4E=\xD8\x00\xDE\0\0", 10));
    utf16::from_string_part(&s, 1, &len);
    EXPECT_EQ(len, 1u);

    uint8_t out[16];
    EXPECT_EQ(string::write_utf8(&s, out, sizeof out), 9u);
    EXPECT_EQ(string::write_utf8(&s, out, 6), 5u);  // never half a character
    EXPECT_EQ(utf8::write_string_part(&s, 1, out, sizeof out), 2u);
    cell::make_series(&s, T_STRING, n, 9);  // an index past the tail reads as empty
    EXPECT_EQ(string::write_utf8(&s, out, sizeof out), 0u);
}

}  // namespace
