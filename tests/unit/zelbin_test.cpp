// Zelbin: exact bytes of small values in both layouts, round trips of every
// datatype, shared and cyclic values, the frame fields the reader ignores,
// refused types, and hostile streams (fixed cases and a fuzz loop over
// mutated valid streams) that must fail with an error and touch nothing out
// of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/context.h"
#include "core/string.h"
#include "datatypes/binary.h"
#include "datatypes/typeset.h"
#include "io/zelbin.h"
#include "kernel/collector.h"
#include "natives_cases.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;
using natives_cases::run;

namespace {

// The collector stays off: decoded values are held in C++ locals.
struct ZelbinTest : natives_cases::NativesTest {
    void SetUp() override {
        NativesTest::SetUp();
        collector::state.enabled = false;
    }
};

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const Cell& bin) {
    const uint8_t* p = binary::head_address(&bin);
    return Bytes(p, p + binary::length(&bin));
}

Bytes encode(const Cell& v, bool compact) {
    return bytes_of(compact ? zelbin::encode_cp(&v) : zelbin::encode(&v));
}

std::string hex(const Bytes& b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t x : b) s += {digits[x >> 4], digits[x & 15]};
    return s;
}

Bytes unhex(std::string s) {
    std::erase(s, ' ');
    Bytes b;
    for (size_t i = 0; i + 1 < s.size(); i += 2) b.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
    return b;
}

// Decodes the stream into a new block and answers the block.
Cell decode_all(const Bytes& stream) {
    Cell target;
    block::write_cell(&target, 4);
    zelbin::decode(stream.data(), &target, true, int64_t(stream.size()));
    return target;
}

Cell first_of(const Cell& block) { return *block::cell_at(&block, 0); }

Cell round_trip(const Cell& v, bool compact) { return first_of(decode_all(encode(v, compact))); }

std::string mold_all(Cell v) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    actions::mold_dispatch(&v, &buffer, false, true, false, nullptr, INT32_MAX, 0);
    return natives_cases::text_of(&buffer);
}

// The payload of a stream without symbols: the header is 8 bytes and the
// compact counts two one-byte varints for small payloads, the fixed ones 8.
std::string payload_hex(const Cell& v, bool compact) {
    Bytes s = encode(v, compact);
    return hex(Bytes(s.begin() + (compact ? 10 : 16), s.end()));
}

const bool layouts[] = {true, false};

// ---- exact bytes ---------------------------------------------------------------

// Worked out by hand from the record tables; floats and doubles are IEEE 754
// little-endian (python3: struct.pack("<d", 12.345 / 100).hex()).
TEST_F(ZelbinTest, CompactBytes) {
    natives_cases::Case cases[] = {
        {"0", "80"},
        {"63", "bf"},
        {"-1", "0b01"},
        {"64", "0b8001"},
        {"1.0", "4c02"},
        {"0.5", "0c000000000000e03f"},
        {"-0.0", "0c0000000000000080"},
        {"50%", "6664"},
        {"12.345%", "26" "7cf2b0506b9abf3f"},
        {"1.2.3", "27010203"},
        {"1.2.3.4", "670401020304"},
        {"\"abc\"", "070c616263"},
        {"next next \"abc\"", "47020c616263"},
        {"none", "03"},
        {"true", "c2"},
        {"false", "c3"},
        {"#\"A\"", "0a41"},
        {"3x-4", "250607"},
        {"0:00:10", "6b14"},
        {"#{0102}", "29020102"},
        {"[1 2]", "05028182"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(payload_hex(run(c.code), true), c.expected);
    }
    Cell empty;
    typeset::init_empty(&empty);
    EXPECT_EQ(payload_hex(empty, true), "2100");
}

TEST_F(ZelbinTest, FixedBytes) {
    natives_cases::Case cases[] = {
        {"5", "0b000000 05000000"},
        {"1.0", "0c000000 0000f03f 00000000"},
        {"reduce [none 1.0]", "05000000 00000000 02000000 03000000 0c000000 0000f03f 00000000"},
        {"[1.0]", "05000000 00000000 01000000 00000000 0c000000 0000f03f 00000000"},
        {"\"abc\"", "07010000 00000000 03000000 61626300"},
        {"1.2.3", "27030000 01020300 00000000 00000000"},
        {"true", "04000000 01000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(payload_hex(run(c.code), false), hex(unhex(c.expected)));
    }
    Cell five = test_values::integer(5);
    five.header |= HDR_NEW_LINE;
    EXPECT_EQ(payload_hex(five, false), "0b00008005000000");
}

TEST_F(ZelbinTest, WholeStreams) {
    Cell s = test_values::text("abc");
    Cell b = test_values::block_of({s, s});
    EXPECT_EQ(hex(encode(b, true)), hex(unhex("5a454c42494e 02 01 01 0c 0502 070c616263 c1 07 020000")));
    EXPECT_EQ(hex(encode(b, false)),
              hex(unhex("5a454c42494e 02 00 01000000 34000000"
                        "05000000 00000000 02000000 07010000 00000000 03000000 61626300"
                        "07010800 00000000 ff000000 02000000 00000000 00000000")));
}

TEST_F(ZelbinTest, SymbolTables) {
    // Two spellings that differ in case are two names; fixed names pad to 8.
    Cell words = run("[a A a]");
    EXPECT_EQ(hex(encode(words, true)),
              hex(unhex("5a454c42494e 02 05 01 08 02 04 00000000 02000000 6100 4100 0503 0f00 0f01 0f00")));
    Bytes fixed = encode(words, false);
    EXPECT_EQ(fixed[7], 4);
    EXPECT_EQ(hex(Bytes(fixed.begin() + 16, fixed.begin() + 48)),
              hex(unhex("02000000 10000000 00000000 08000000 61000000 00000000 41000000 00000000")));
    for (bool compact : layouts) EXPECT_EQ(mold_all(round_trip(words, compact)), "[a A a]");
}

// ---- round trips ---------------------------------------------------------------

TEST_F(ZelbinTest, RoundTripsEveryType) {
    const char* sources[] = {
        "0", "-2147483648", "2147483647", "1.5", "-0.0", "1e300", "0.1", "12.345%", "-3%",
        "1:02:03.5", "-0:00:01", "3x4", "(1.5, 2)", "(1, 2, 3)", "1.2.3.4.5.6.7.8.9.10.11.12",
        "1-Jan-2000", "29-Feb-2024/13:14:15+5:30", "-$1.23", "EUR$99.5", "#\"^(3042)\"",
        "\"h\u00e9llo \u3042 \U0001F600\"", "%dir/file.txt", "http://example.org/a?b", "<tag a=1>",
        "a@b.example", "@ref", "#{00FF10}", "#issue", "[w: 'w :w /w w]", "[a/b :a/b a/b: 'a/b (1 + 2)]",
        "[1 [2 [3]] \"s\"]", "make hash! [a 1 b 2]", "#[a: 1 \"k\" [v] 3 4.5]",
        "make bitset! \"abc\"", "complement make bitset! [1 - 3]", "make typeset! [integer! string!]",
        "make vector! [integer! 16 [1 -2 300]]", "make vector! [float! 32 [1.5 2.5]]",
        "make vector! [char! 8 [#\"a\"]]", "make vector! [percent! 64 [50%]]", "integer!", "none",
        "true", "make object! [a: 1 b: \"two\" c: [3]]", "make object! [x: 1 y: make object! [z: 2]]",
    };
    for (bool compact : layouts) {
        for (const char* src : sources) {
            SCOPED_TRACE(std::string(src) + (compact ? " compact" : " fixed"));
            Cell v = run(src);
            EXPECT_EQ(mold_all(round_trip(v, compact)), mold_all(v));
        }
    }
}

TEST_F(ZelbinTest, NewLinesAndHeads) {
    Cell v = run("[1\n2 [\n3]]");
    Cell n = run("next next \"abcd\"");
    for (bool compact : layouts) {
        EXPECT_EQ(mold_all(round_trip(v, compact)), mold_all(v));
        Cell back = round_trip(n, compact);
        EXPECT_EQ(cell::series_index(&back), 2);
        EXPECT_EQ(mold_all(back), "\"cd\"");
    }
}

TEST_F(ZelbinTest, Callables) {
    Cell fn = run("func [a [integer!] /twice] [either twice [a * 2] [a + 1]]");
    Cell native = run(":print");
    Cell action = run(":append");
    Cell op = run(":+");
    for (bool compact : layouts) {
        Cell f = round_trip(fn, compact);
        ASSERT_EQ(cell::type(&f), T_FUNCTION);
        Cell name = test_values::word_of("zb-fn");
        word::set_value(&name, &f);
        EXPECT_EQ(natives_cases::eval_molded("zb-fn 41"), "42");
        EXPECT_EQ(natives_cases::eval_molded("zb-fn/twice 21"), "42");
        for (Cell c : {native, action, op}) {
            Cell back = round_trip(c, compact);
            EXPECT_EQ(back.header, c.header);
            EXPECT_EQ(cell::callable_index(&back), cell::callable_index(&c));
        }
        Cell plus = round_trip(op, compact);
        word::set_value(&name, &plus);
        EXPECT_EQ(natives_cases::eval_molded("40 zb-fn 2"), "42");
    }
}

TEST_F(ZelbinTest, ObjectsKeepTheirBindings) {
    Cell o = run("zb-o: make object! [n: 41 inc: func [] [n: n + 1] me: none] zb-o/me: zb-o zb-o");
    Cell name = test_values::word_of("zb-obj");
    for (bool compact : layouts) {
        Cell back = round_trip(o, compact);
        ASSERT_EQ(cell::type(&back), T_OBJECT);
        word::set_value(&name, &back);
        EXPECT_EQ(natives_cases::eval_molded("zb-obj/inc"), "42");
        EXPECT_EQ(natives_cases::eval_molded("zb-obj/n"), "42");
        EXPECT_EQ(natives_cases::eval_molded("same? zb-obj zb-obj/me"), "true");
    }
}

TEST_F(ZelbinTest, ChangeHandlersComeBack) {
    Cell o = run("make object! [a: 1 seen: copy [] on-change*: func [w o n] [append seen w]]");
    Cell name = test_values::word_of("zb-watched");
    for (bool compact : layouts) {
        Cell back = round_trip(o, compact);
        EXPECT_NE(cell::object_handlers(&back), 0u);
        word::set_value(&name, &back);
        EXPECT_EQ(natives_cases::eval_molded("zb-watched/a: 2 zb-watched/seen"), "[a]");
    }
}

TEST_F(ZelbinTest, Errors) {
    Cell e = run("make error! [type: 'script id: 'no-value arg1: 'zz]");
    for (bool compact : layouts) {
        Cell back = round_trip(e, compact);
        ASSERT_EQ(cell::type(&back), T_ERROR);
        EXPECT_EQ(mold_all(*error::field(&back, error::FIELD_ID)), "no-value");
        EXPECT_EQ(mold_all(*error::field(&back, error::FIELD_ARG1)), "zz");
    }
}

// ---- sharing ----------------------------------------------------------------------

TEST_F(ZelbinTest, SharedSeriesStayShared) {
    Cell s = test_values::text("abc");
    Cell b = test_values::block_of({s, s});
    for (bool compact : layouts) {
        Cell back = round_trip(b, compact);
        Cell one = *block::cell_at(&back, 0), two = *block::cell_at(&back, 1);
        EXPECT_EQ(cell::series_node(&one), cell::series_node(&two));
        string::append_cstr(&one, "d");
        EXPECT_EQ(natives_cases::text_of(&two), "abcd");
    }
}

TEST_F(ZelbinTest, CyclesTerminate) {
    Cell b = run("b: [1] append/only b b b");
    Cell m = run("m: #[k 1] put m 'self m m");
    for (bool compact : layouts) {
        Cell back = round_trip(b, compact);
        Cell inner = *block::cell_at(&back, 1);
        EXPECT_EQ(cell::series_node(&inner), cell::series_node(&back));
        Cell mb = round_trip(m, compact);
        EXPECT_EQ(cell::type(&mb), T_MAP);
    }
}

// ---- frame fields the reader ignores -------------------------------------------

TEST_F(ZelbinTest, RecordCountAndVersionAreIgnored) {
    Cell v = run("[1 \"two\" three]");
    Bytes compact = encode(v, true), fixed = encode(v, false);
    for (uint8_t version : {1, 2, 77}) {
        compact[6] = fixed[6] = version;
        EXPECT_EQ(mold_all(first_of(decode_all(compact))), mold_all(v));
        EXPECT_EQ(mold_all(first_of(decode_all(fixed))), mold_all(v));
    }
    for (const char* count : {"00", "e807"}) {
        Bytes s(compact.begin(), compact.begin() + 8);
        Bytes c = unhex(count);
        s.insert(s.end(), c.begin(), c.end());
        s.insert(s.end(), compact.begin() + 9, compact.end());
        EXPECT_EQ(mold_all(first_of(decode_all(s))), mold_all(v));
    }
    fixed[8] = 0;
    EXPECT_EQ(mold_all(first_of(decode_all(fixed))), mold_all(v));
}

TEST_F(ZelbinTest, PaddingWordsAreSkipped) {
    Bytes s = unhex("5a454c42494e 02 00 01000000 0c000000 00000000 0b000000 07000000");
    EXPECT_EQ(mold_all(first_of(decode_all(s))), "7");
}

TEST_F(ZelbinTest, BootForms) {
    // An object, a binding record storing 7 in its x, a word bound to it by
    // root index, and a word of the global context (root -1, index -1).
    Bytes s = unhex("5a454c42494e 01 05 01 19 01 02 00000000 7800"
                    "20 00 0e 12 01 00 85  c4 4f 00 00 01 87  4f 00 00 00  4f 00 ffffffff0f 01");
    Cell target;
    block::write_cell(&target, 4);
    zelbin::decode(s.data(), &target, false, int64_t(s.size()));
    ASSERT_EQ(block::buffer_length(&target), 3u);
    Cell obj = *block::cell_at(&target, 0), x = *block::cell_at(&target, 1), global = *block::cell_at(&target, 2);
    EXPECT_EQ(mold_all(obj), "make object! [\n    x: 7\n]");
    EXPECT_EQ(cell::object_class(&obj), 0u);  // the boot load keeps the stored class id
    EXPECT_EQ(cell::word_context(&x), cell::object_context(&obj));
    EXPECT_EQ(cell::word_context(&global), context::global_node);
    EXPECT_TRUE(test_support::raises(Err::script_zb_invalid_record, [&] { decode_all(s); }));
}

// ---- refusals and hostile input ---------------------------------------------------

TEST_F(ZelbinTest, RefusedTypes) {
    Cell handle{T_HANDLE, 0, 0, 0};
    Cell holder = test_values::block_of({test_values::integer(1), handle});
    for (bool compact : layouts) {
        EXPECT_TRUE(test_support::raises(Err::access_no_codec, [&] { encode(holder, compact); }));
        EXPECT_EQ(mold_all(round_trip(test_values::integer(3), compact)), "3");  // the state was reset
    }
    Bytes compact_handle = unhex("5a454c42494e 02 01 01 01 2e");
    EXPECT_TRUE(test_support::raises(Err::access_no_codec, [&] { decode_all(compact_handle); }));
    Bytes fixed_routine = unhex("5a454c42494e 02 00 01000000 04000000 1d000000");
    EXPECT_TRUE(test_support::raises(Err::access_no_codec, [&] { decode_all(fixed_routine); }));
}

struct Hostile {
    const char* what;
    const char* stream;
    Err id;
};

TEST_F(ZelbinTest, HostileStreams) {
    const Hostile cases[] = {
        {"bad magic", "5a454c42494f 02 01 01 01 80", Err::script_invalid_data},
        {"too short", "5a454c42", Err::script_invalid_data},
        {"fixed counts cut", "5a454c42494e 02 00 0100", Err::script_invalid_data},
        {"corrupt packed", "5a454c42494e 02 03 ffffffff", Err::script_invalid_data},
        {"first byte c5", "5a454c42494e 02 01 01 01 c5", Err::script_zb_invalid_record},
        {"type id 0", "5a454c42494e 02 01 01 01 00", Err::script_zb_invalid_record},
        {"type id 13", "5a454c42494e 02 01 01 01 0d", Err::script_zb_invalid_record},
        {"type id 42", "5a454c42494e 02 01 01 01 2a", Err::script_zb_invalid_record},
        {"logic typed", "5a454c42494e 02 01 01 01 04", Err::script_zb_invalid_record},
        {"payload past end", "5a454c42494e 02 01 01 05 80", Err::script_zb_invalid_record},
        {"record past payload", "5a454c42494e 02 01 01 01 0b", Err::script_zb_invalid_record},
        {"huge block count", "5a454c42494e 02 01 01 06 05 f0ffffff07", Err::script_zb_invalid_record},
        {"negative count", "5a454c42494e 02 01 01 06 05 ffffffff0f", Err::script_zb_invalid_record},
        {"varint sixth byte", "5a454c42494e 02 01 01 06 0b ffffffff1f", Err::script_zb_invalid_record},
        {"string past end", "5a454c42494e 02 01 01 03 07 0c 61", Err::script_zb_invalid_record},
        {"string unit 3", "5a454c42494e 02 01 01 03 07 07 61", Err::script_zb_invalid_record},
        {"head past tail", "5a454c42494e 02 01 01 04 47 05 04 61", Err::script_zb_invalid_record},
        {"reference out of range", "5a454c42494e 02 01 01 03 ff 01 05", Err::script_zb_invalid_record},
        {"reference too long", "5a454c42494e 02 01 01 03 ff 09 00", Err::script_zb_invalid_record},
        {"by-reference integer", "5a454c42494e 02 01 01 02 c1 80", Err::script_zb_invalid_record},
        {"binding outside boot", "5a454c42494e 02 01 01 02 c4 0f", Err::script_zb_invalid_record},
        {"symbol without table", "5a454c42494e 02 01 01 02 0f 00", Err::script_zb_invalid_record},
        {"symbol out of range", "5a454c42494e 02 05 01 02 01 02 00000000 6100 0f 01", Err::script_zb_invalid_record},
        {"names without nul", "5a454c42494e 02 05 01 02 01 02 00000000 6161 0f 00", Err::script_zb_invalid_record},
        {"offset past names", "5a454c42494e 02 05 01 02 01 02 09000000 6100 0f 00", Err::script_zb_invalid_record},
        {"bad date", "5a454c42494e 02 01 01 05 2f 00f00000", Err::script_zb_invalid_record},
        {"bad money digit", "5a454c42494e 02 01 01 0d 31 00 0a000000000000000000 00", Err::script_zb_invalid_record},
        {"typeset of id 60", "5a454c42494e 02 01 01 0a 21 08 00000000000000 08", Err::script_zb_invalid_record},
        {"vector of strings", "5a454c42494e 02 01 01 03 23 1c 00", Err::script_zb_invalid_record},
        {"odd map", "5a454c42494e 02 01 01 03 28 01 80", Err::script_zb_invalid_record},
        {"map block key", "5a454c42494e 02 01 01 05 28 02 05 00 80", Err::script_zb_invalid_record},
        {"unknown error code", "5a454c42494e 02 01 01 03 22 e707", Err::script_zb_invalid_record},
        {"bad native index", "5a454c42494e 02 01 01 04 15 00 05 00", Err::script_zb_invalid_record},
        {"action past table", "5a454c42494e 02 01 01 04 16 3f 05 00", Err::script_zb_invalid_record},
        {"fixed huge string", "5a454c42494e 02 00 01000000 0c000000 07010000 00000000 ffffff7f",
         Err::script_zb_invalid_record},
        {"fixed bad unit", "5a454c42494e 02 00 01000000 0c000000 07030000 00000000 00000000",
         Err::script_zb_invalid_record},
        {"fixed bad reference", "5a454c42494e 02 00 01000000 0c000000 ff000000 01000000 05000000",
         Err::script_zb_invalid_record},
        {"fixed record cut", "5a454c42494e 02 00 01000000 06000000 0b000000 0500", Err::script_zb_invalid_record},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes s = unhex(c.stream);
        EXPECT_TRUE(test_support::raises(c.id, [&] { decode_all(s); }));
    }
}

TEST_F(ZelbinTest, DeepNestingIsRefused) {
    Bytes s = unhex("5a454c42494e 02 01 01");
    Bytes payload;
    for (int i = 0; i < 100000; i++) payload.insert(payload.end(), {0x05, 0x01});
    payload.push_back(0x80);
    uint32_t n = uint32_t(payload.size());
    for (; n >= 0x80; n >>= 7) s.push_back(uint8_t((n & 0x7F) | 0x80));
    s.push_back(uint8_t(n));
    s.insert(s.end(), payload.begin(), payload.end());
    EXPECT_TRUE(test_support::raises(Err::script_zb_invalid_record, [&] { decode_all(s); }));
}

// Mutated valid streams decode to values or fail with the codec's errors;
// under the sanitizers this also shows that nothing is read out of bounds.
TEST_F(ZelbinTest, FuzzMutatedStreams) {
    Cell rich = run(
        "b: reduce [1 -70 1.5 25% 3x4 1.2.3 \"t\u00e9xt\" #{0102} 'w [a/b: c] #[k: 1] make hash! [x 2]"
        " make bitset! \"ab\" make vector! [integer! 16 [1 2]] 1-Jan-2000/10:00 $1.50 #\"c\""
        " make object! [f: func [x] [x + y] y: 2] :append make typeset! [block!]]"
        " append/only b b b");
    Cell knotted = run(
        "s: \"shared\" o: make object! [a: s b: [s] g: func [n] [n + a]] o/b: reduce [o s o/b]"
        " reduce [o :o/g s next s make error! [type: 'script id: 'no-value arg1: o]]");
    std::mt19937 rng(20261209);
    for (Bytes valid : {encode(rich, true), encode(rich, false), encode(knotted, true), encode(knotted, false)}) {
        for (int round = 0; round < 4000; round++) {
            Bytes s = valid;
            int edits = 1 + int(rng() % 4);
            for (int e = 0; e < edits; e++) {
                size_t at = 8 + rng() % (s.size() - 8);
                switch (rng() % 4) {
                case 0: s[at] = uint8_t(rng()); break;
                case 1: s[at] ^= uint8_t(1u << (rng() % 8)); break;
                case 2: s.resize(at); break;
                default: s[at] = uint8_t(rng() % 3 == 0 ? 0xFF : 0x80 | rng() % 0x50); break;
                }
                if (s.size() <= 8) break;
            }
            test_support::take_error_code();
            try {
                Cell out = decode_all(s);
                mold_all(out);
            } catch (...) {
                int32_t code = test_support::take_error_code();
                EXPECT_TRUE(code == int32_t(Err::script_zb_invalid_record) || code == int32_t(Err::script_invalid_data) ||
                            code == int32_t(Err::access_no_codec) || code == int32_t(Err::script_bad_field_set))
                    << "round " << round << " code " << code;
            }
        }
    }
}

}  // namespace
