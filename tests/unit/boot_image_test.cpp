// The boot image: its frame and binding records as the build writes them,
// the words and literals the load gives, the collector's flag around it, and
// the refusal of an image that is corrupted, truncated or names a native the
// table does not hold (refused whole: no word bound, no root value left).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/boot_image.h"
#include "console/boot_words.h"
#include "core/actions.h"
#include "core/block.h"
#include "core/native.h"
#include "core/roots.h"
#include "core/support.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "interpreter/natives.h"
#include "io/zelbin.h"
#include "kernel/collector.h"
#include "kernel/output.h"
#include "kernel/runtime.h"
#include "natives_cases.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes embedded() { return Bytes(boot_image::data, boot_image::data + boot_image::size); }

uint32_t varint(const Bytes& s, size_t& at) {
    uint32_t v = 0;
    for (int shift = 0;; shift += 7) {
        uint8_t b = s.at(at++);
        v |= uint32_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
}

void put_varint(Bytes& s, uint32_t v) {
    for (; v >= 0x80; v >>= 7) s.push_back(uint8_t(v | 0x80));
    s.push_back(uint8_t(v));
}

// The compact frame of a stream with a symbol table.
struct Frame {
    uint8_t version, flags;
    std::vector<std::string> names;
    size_t payload_at;
    uint32_t payload_length;
};

Frame frame_of(const Bytes& s) {
    Frame f{s.at(6), s.at(7), {}, 0, 0};
    size_t at = 8;
    varint(s, at);  // record count
    f.payload_length = varint(s, at);
    uint32_t count = varint(s, at), names_size = varint(s, at);
    size_t names_at = at + 4 * size_t(count);
    for (uint32_t i = 0; i < count; i++) {
        size_t o = at + 4 * i;
        uint32_t offset = s[o] | s[o + 1] << 8 | s[o + 2] << 16 | uint32_t(s[o + 3]) << 24;
        f.names.emplace_back(reinterpret_cast<const char*>(s.data() + names_at + offset));
    }
    f.payload_at = names_at + names_size;
    return f;
}

uint32_t position_of(const Frame& f, const std::string& name) {
    for (uint32_t i = 0; i < f.names.size(); i++)
        if (f.names[i] == name) return i;
    ADD_FAILURE() << name << " is not in the symbol table";
    return 0;
}

std::string mold_spec(Node spec) { return test_values::molded(Cell{T_BLOCK, 0, spec, 0}, true); }

std::string mold_text(const char* spec_text) {
    Cell spec = test_values::load(spec_text);
    std::string molded = test_values::molded(spec, true);
    stack::pop(1);
    return molded;
}

Cell* global(const char* name) {
    Cell w = word::intern(name);
    return word::get_value(&w);
}

Bytes stream(const Cell& bin) {
    const uint8_t* p = binary::head_address(&bin);
    return Bytes(p, p + binary::length(&bin));
}

// The collector stays off, as for the other unit tests; the literals the
// boot load named are named again after each test.
struct BootImageTest : natives_cases::NativesTest {
    Node literals_block;
    uint32_t literals_first;
    void SetUp() override {
        NativesTest::SetUp();
        collector::state.enabled = false;
        boot::get_literals(&literals_block, &literals_first);
    }
    void TearDown() override {
        boot::set_literals(literals_block, literals_first);
        NativesTest::TearDown();
    }
    static uint32_t root_length() { return series::length(node::buffer(roots::block_node)); }
    // The stream of the binding pairs and the values, as the build writes it.
    static Bytes image_of(const std::vector<Cell>& bindings, const std::vector<Cell>& values) {
        Cell b = test_values::block_of(bindings), v = test_values::block_of(values);
        return stream(zelbin::encode_boot(&b, &v));
    }
    static Cell set_word(const char* name) { return test_values::word_of(name, T_SET_WORD); }
};

TEST_F(BootImageTest, FrameIsCompactWithSymbolsAndVersion1) {
    Bytes s = embedded();
    Frame f = frame_of(s);
    EXPECT_EQ(std::string(s.begin(), s.begin() + 6), "ZELBIN");
    EXPECT_EQ(f.version, 1);
    EXPECT_EQ(f.flags, 0x05);
    EXPECT_EQ(f.payload_at + f.payload_length, s.size());
}

TEST_F(BootImageTest, UnsetIsBoundByItsBindingRecord) {
    Bytes s = embedded();
    Frame f = frame_of(s);
    Bytes record = {0xC4, 0x10};
    put_varint(record, position_of(f, "unset!"));
    record.insert(record.end(), {0x01, 0x02});
    EXPECT_NE(std::search(s.begin() + long(f.payload_at), s.end(), record.begin(), record.end()), s.end());
    EXPECT_EQ(natives_cases::eval_molded("unset!"), "unset!");
    EXPECT_EQ(natives_cases::eval_molded("type? integer!"), "datatype!");
}

// Every action and native carries the spec its table holds, doc strings
// included; make's doc string is the first value of its spec.
TEST_F(BootImageTest, ActionAndNativeSpecsAreTheTables) {
    for (uint32_t id = 1; id <= ACTION_COUNT; id++) {
        const char* text = boot_words::action_spec(id);
        if (!text) continue;
        const Cell* bound = native::bound_value(T_ACTION, id);
        ASSERT_NE(bound, nullptr) << "action " << id;
        EXPECT_EQ(cell::type(bound), T_ACTION);
        EXPECT_EQ(mold_spec(cell::callable_spec(bound)), mold_text(text)) << "action " << id;
    }
    for (uint32_t index = 1; index <= natives::COUNT; index++) {
        const natives::NativeDef* d = natives::find(index);
        if (!d) continue;
        const Cell* value = global(d->name);
        ASSERT_EQ(cell::type(value), T_NATIVE) << d->name;
        EXPECT_EQ(cell::callable_index(value), index);
        EXPECT_EQ(mold_spec(cell::callable_spec(value)), mold_text(d->spec)) << d->name;
    }
    Cell make_spec = test_values::load(boot_words::action_spec(ACT_make));
    std::string doc = test_values::molded(*test_values::at(make_spec, 0));
    stack::pop(1);
    EXPECT_EQ(natives_cases::eval_molded("pick reflect :make 'spec 1"), doc);
    EXPECT_EQ(natives_cases::eval_molded("type? :make"), "action!");
}

// Binding records take no literal index and leave no root value; a native!
// or action! bound is kept after the literals.
TEST_F(BootImageTest, LiteralZeroIsTheFirstRecordAfterTheBindings) {
    Cell answer = test_values::integer(42);
    Bytes s = image_of({set_word("zz-boot-answer"), answer, set_word("zz-boot-add"), *global("add")},
                       {test_values::integer(7), test_values::text("seven")});
    uint32_t before = root_length();
    const Cell* first = zelbin::load_boot(s.data(), uint32_t(s.size()), false);
    EXPECT_EQ(first, roots::at(before));
    EXPECT_EQ(test_values::molded(*boot::value_at(0)), "7");
    EXPECT_EQ(test_values::molded(*boot::value_at(1)), "\"seven\"");
    EXPECT_EQ(root_length(), before + 3);  // the two values, then the kept add
    EXPECT_EQ(natives_cases::eval_molded("zz-boot-answer"), "42");
    EXPECT_EQ(natives_cases::eval_molded("zz-boot-add 1 2"), "3");
}

// The fixed layout offers the same boot forms: a word header with bit 25 set
// is a binding record (root -1: the global context), its value follows.
TEST_F(BootImageTest, FixedLayoutImageLoadsTheSameWay) {
    Bytes s = {'Z', 'E', 'L', 'B', 'I', 'N', 1, 0x04};
    auto word32 = [&](uint32_t w) {
        for (int i = 0; i < 32; i += 8) s.push_back(uint8_t(w >> i));
    };
    for (uint32_t w : {1u, 32u, 1u, 16u, 0u}) word32(w);  // records, payload, symbols, names, offset
    std::string name = "zz-fixed-boot";
    s.insert(s.end(), name.begin(), name.end());
    s.resize(s.size() + 16 - name.size(), 0);
    for (uint32_t w : {0x02000000u | T_SET_WORD, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu, uint32_t(T_INTEGER), 5u,
                       uint32_t(T_INTEGER), 7u})
        word32(w);
    uint32_t before = root_length();
    zelbin::load_boot(s.data(), uint32_t(s.size()), false);
    EXPECT_EQ(root_length(), before + 1);
    EXPECT_EQ(test_values::molded(*boot::value_at(0)), "7");
    EXPECT_EQ(natives_cases::eval_molded("zz-fixed-boot"), "5");
}

TEST_F(BootImageTest, KeepBaseLeavesTheLiteralsAsTheyWere) {
    Bytes s = image_of({}, {test_values::integer(1)});
    Cell before = *boot::value_at(0);
    zelbin::load_boot(s.data(), uint32_t(s.size()), true);
    EXPECT_EQ(test_values::molded(*boot::value_at(0)), test_values::molded(before));
}

TEST_F(BootImageTest, CollectorFlagIsRestored) {
    Bytes good = image_of({}, {test_values::integer(1)});
    Bytes bad = good;
    bad.pop_back();
    for (bool active : {false, true}) {
        collector::state.enabled = active;
        zelbin::load_boot(good.data(), uint32_t(good.size()), true);
        EXPECT_EQ(collector::state.enabled, active);
        bool active_after_refusal = !active;
        EXPECT_TRUE(test_support::raises(Err::script_zb_invalid_record, [&] {
            struct Read {
                bool& flag;
                ~Read() { flag = collector::state.enabled; }
            } read{active_after_refusal};
            zelbin::load_boot(bad.data(), uint32_t(bad.size()), true);
        }));
        EXPECT_EQ(active_after_refusal, active);
        collector::state.enabled = false;
    }
}

// A native index of 0, or one past the natives registered, is corrupted data.
TEST_F(BootImageTest, NativeIndexOutsideTheTableIsRefused) {
    for (uint32_t index : {0u, natives::table.fill}) {
        Cell native = *global("print");
        cell::set_callable_index(&native, index);
        Bytes s = image_of({set_word("zz-boot-native"), native}, {});
        uint32_t before = root_length();
        EXPECT_TRUE(test_support::raises(Err::script_zb_invalid_record,
                                         [&] { zelbin::load_boot(s.data(), uint32_t(s.size()), false); }))
            << index;
        EXPECT_EQ(root_length(), before);
        EXPECT_EQ(cell::type(global("zz-boot-native")), T_UNSET);
    }
}

// The embedded image cut short or with a record byte no record has: refused,
// with the words it binds and the root block as they were.
TEST_F(BootImageTest, CorruptedOrTruncatedImageIsRefusedWhole) {
    Bytes s = embedded();
    Frame f = frame_of(s);
    Cell* make = global("make");
    Cell saved = *make;
    Cell sentinel = test_values::integer(99);
    std::vector<Bytes> broken;
    for (size_t cut : {s.size() - 1, s.size() / 2, f.payload_at + 3, size_t(9)})
        broken.emplace_back(s.begin(), s.begin() + long(cut));
    broken.push_back(s);
    broken.back()[f.payload_at] = 0xC5;
    broken.push_back(s);
    broken.back()[s.size() - 1] = 0xC5;
    for (const Bytes& b : broken) {
        *global("make") = sentinel;
        uint32_t before = root_length();
        EXPECT_TRUE(test_support::raises(Err::script_zb_invalid_record,
                                         [&] { zelbin::load_boot(b.data(), uint32_t(b.size()), false); }))
            << b.size();
        EXPECT_EQ(root_length(), before);
        EXPECT_EQ(test_values::molded(*global("make")), "99");
    }
    *global("make") = saved;
}

// Bad frames end the process with their message and a failing status; the
// messages go to standard error here so the death test can read them.
void load_on_stderr(const Bytes& s) {
    output::attach(2, false);
    zelbin::load_boot(s.data(), uint32_t(s.size()), false);
}

TEST_F(BootImageTest, BadMagicOrPackingEndsTheProcess) {
    Bytes magic = embedded();
    magic[5] = 'X';
    EXPECT_EXIT(load_on_stderr(magic), ::testing::ExitedWithCode(zelbin::BOOT_FAILURE_STATUS),
                "Error: Not a Zelbin file!");
    EXPECT_EXIT(load_on_stderr(Bytes{'Z', 'E'}), ::testing::ExitedWithCode(zelbin::BOOT_FAILURE_STATUS),
                "Error: Not a Zelbin file!");
    Bytes packed = embedded();
    packed[7] |= 0x02;
    EXPECT_EXIT(load_on_stderr(packed), ::testing::ExitedWithCode(zelbin::BOOT_FAILURE_STATUS),
                "Error: Zelbin compressed data corrupted!");
}

}  // namespace
