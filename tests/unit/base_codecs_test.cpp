// Base-2, base-16, base-58 and base-64 encoders and decoders, against the RFC
// 4648 vectors and coreutils base64/basenc (base 58 against a python3 big-
// integer conversion).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "datatypes/base_codecs.h"
#include "kernel/memory.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::run;

using Bytes = std::vector<uint8_t>;
enum Base { B2, B16, B58, B64 };

Bytes to_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string encode(Base base, const Bytes& in) {
    static uint8_t* (*const encoders[])(uint8_t*, const uint8_t*, uint32_t) = {
        binary::encode_base2, binary::encode_base16, binary::encode_base58, binary::encode_base64};
    static uint64_t (*const sizes[])(uint32_t) = {binary::base2_size, binary::base16_size, binary::base58_size,
                                                 binary::base64_size};
    uint32_t n = uint32_t(in.size());
    std::string out(size_t(sizes[base](n)), '\0');
    uint8_t* start = reinterpret_cast<uint8_t*>(out.data());
    uint8_t* end = encoders[base](start, in.data(), n);
    out.resize(size_t(end - start));
    return out;
}

// Decodes text held in units of the given size; "invalid" when the decoder
// answers no binary.
std::string decode(Base base, const std::u32string& text, uint32_t unit = 1) {
    static Node (*const decoders[])(const uint8_t*, uint32_t, uint32_t) = {
        binary::decode_base2, binary::decode_base16, binary::decode_base58, binary::decode_base64};
    std::vector<uint8_t> units(text.size() * unit);
    for (size_t i = 0; i < text.size(); i++) string::put_char(units.data() + i * unit, unit, text[i]);
    Node n = decoders[base](units.data(), uint32_t(text.size()), unit);
    if (!n) return "invalid";
    SeriesBuffer* b = node::buffer(n);
    return std::string(series::raw_bytes(b), series::tail_ptr(b));
}

std::u32string wide(const std::string& s) { return std::u32string(s.begin(), s.end()); }

std::string hex(const Bytes& b) {
    std::string s;
    for (uint8_t c : b) {
        char d[3];
        std::snprintf(d, sizeof d, "%02X", c);
        s += d;
    }
    return s;
}

// Deterministic sample inputs of lengths 0 to 70, leading zero bytes included.
std::vector<Bytes> samples() {
    std::vector<Bytes> out;
    uint32_t x = 12345;
    for (uint32_t len = 0; len <= 70; len += 1 + len / 8) {
        Bytes b(len);
        for (auto& c : b) {
            x = x * 1103515245 + 12345;
            c = uint8_t(x >> 16);
        }
        if (len % 3 == 0 && len > 1) b[0] = b[1] = 0;
        out.push_back(b);
    }
    return out;
}

}  // namespace

TEST(BaseCodecs, Rfc4648Vectors) {
    struct Case {
        const char* in;
        const char* b64;
        const char* b16;
    };
    const Case cases[] = {
        {"", "", ""},           {"f", "Zg==", "66"},           {"fo", "Zm8=", "666F"},
        {"foo", "Zm9v", "666F6F"}, {"foob", "Zm9vYg==", "666F6F62"}, {"fooba", "Zm9vYmE=", "666F6F6261"},
        {"foobar", "Zm9vYmFy", "666F6F626172"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encode(B64, to_bytes(c.in)), c.b64);
        EXPECT_EQ(encode(B16, to_bytes(c.in)), c.b16);
        EXPECT_EQ(decode(B64, wide(c.b64)), c.in);
        EXPECT_EQ(decode(B16, wide(c.b16)), c.in);
    }
}

TEST(BaseCodecs, AgainstCoreutils) {
    for (const Bytes& b : samples()) {
        std::string feed = "printf '%s' '" + hex(b) + "' | basenc --base16 -d | ";
        std::string b64 = run(feed + "base64 -w0");
        std::string b2 = run(feed + "basenc --base2msbf -w0");
        EXPECT_EQ(encode(B64, b), b64) << hex(b);
        EXPECT_EQ(encode(B2, b), b2) << hex(b);
        std::string raw(b.begin(), b.end());
        EXPECT_EQ(decode(B64, wide(b64)), raw);
        EXPECT_EQ(decode(B2, wide(b2)), raw);
        EXPECT_EQ(decode(B16, wide(hex(b))), raw);
    }
}

TEST(BaseCodecs, Base58AgainstPython) {
    EXPECT_EQ(encode(B58, to_bytes("Hello World!")), "2NEpo7TZRRrLZSi2U");
    const char* script =
        "python3 -c \"import sys\n"
        "A='123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz'\n"
        "b=bytes.fromhex(sys.argv[1]); n=int.from_bytes(b,'big'); s=''\n"
        "while n: n,r=divmod(n,58); s=A[r]+s\n"
        "print('1'*(len(b)-len(b.lstrip(bytes(1))))+s, end='')\" ";
    for (const Bytes& b : samples()) {
        std::string expected = run(std::string(script) + "'" + hex(b) + "'");
        EXPECT_EQ(encode(B58, b), expected) << hex(b);
        EXPECT_EQ(decode(B58, wide(expected)), std::string(b.begin(), b.end()));
    }
}

TEST(BaseCodecs, Base58Edges) {
    EXPECT_EQ(encode(B58, {}), "");
    EXPECT_EQ(encode(B58, {0, 0, 1, 2, 3}).substr(0, 3), "11L");
    EXPECT_EQ(encode(B58, {0, 0}), "11");
    EXPECT_EQ(decode(B58, U"1"), std::string(1, '\0'));
    EXPECT_EQ(decode(B58, U"2NEpo7TZRRrLZSi2U"), "Hello World!");
    EXPECT_EQ(decode(B58, U"2NEpo 7TZRR\nrLZSi2U"), "Hello World!");
    EXPECT_EQ(decode(B58, U"2NEpo7TZRRrLZSi2U\u00E9garbage"), "Hello World!");  // above 127 ends the text
    EXPECT_EQ(decode(B58, U"0"), "invalid");
    EXPECT_EQ(decode(B58, U"l"), "invalid");
    EXPECT_EQ(decode(B58, U"="), "invalid");
}

TEST(BaseCodecs, Base64Edges) {
    struct Case {
        std::u32string text;
        std::string expected;
    };
    const Case cases[] = {
        {U"TWFu", "Man"},         {U"TWE=", "Ma"},        {U"TQ==", "M"},
        {U"TW Fu", "Man"},        {U"TW\tFu", "Man"},     {U"TW\nFu", "Man"},
        {U"TW'Fu", "Man"},        {U"TQ", ""},            {U"T===", "invalid"},
        {U"=", "invalid"},        {U"TQ==garbage!", "M"}, {U"TW*u", "invalid"},
        {U"TWFu;comment\nTWFu", "ManMan"}, {U"TWFu;comment", "Man"},
        {U"TWFu\u00E9", "invalid"},
    };
    for (const Case& c : cases) EXPECT_EQ(decode(B64, c.text), c.expected);
    EXPECT_EQ(encode(B64, to_bytes("Man")), "TWFu");
    EXPECT_EQ(encode(B64, to_bytes("Ma")), "TWE=");
    EXPECT_EQ(encode(B64, to_bytes("M")), "TQ==");
    EXPECT_EQ(binary::base64_digits[uint8_t('A')], 0);
    EXPECT_EQ(binary::base64_digits[uint8_t('/')], 63);
    EXPECT_EQ(binary::base64_digits[uint8_t(' ')], binary::BASE64_BLANK);
    EXPECT_EQ(binary::base64_digits[uint8_t('*')], binary::BASE64_INVALID);
}

TEST(BaseCodecs, Base16Edges) {
    struct Case {
        std::u32string text;
        std::string expected;
    };
    const Case cases[] = {
        {U"0a ff", "\x0A\xFF"},
        {U"ABC", "\xAB"},
        {U"0G", "invalid"},
        {U"", ""},
        {U"41;x\n42", "AB"},
        // code points above 127 are not digits, whatever their low seven bits
        {U"4\u00B1", "invalid"},
        {U"\u0131\u0131", "invalid"},
        {U"4\U00010031", "invalid"},
    };
    for (const Case& c : cases) {
        for (uint32_t unit : {1u, 2u, 4u}) {
            bool fits = true;
            for (char32_t ch : c.text) fits &= unit == 4 || ch < (unit == 1 ? 0x100u : 0x10000u);
            if (fits) {
                EXPECT_EQ(decode(B16, c.text, unit), c.expected) << unit;
            }
        }
    }
}

TEST(BaseCodecs, Base2Edges) {
    EXPECT_EQ(decode(B2, U"00000001 ; one\n"), "\x01");
    EXPECT_EQ(decode(B2, U"0000 0001 0100 0001"), "\x01" "A");
    EXPECT_EQ(decode(B2, U"0101"), "invalid");
    EXPECT_EQ(decode(B2, U"00000002"), "invalid");
    EXPECT_EQ(encode(B2, {0x81}), "10000001");
}
