// Typed buffers: appends that grow under the same node, 1-based picks and pokes,
// searches by value, removal and insertion, and out-of-range access.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/buffer.h"
#include "kernel/memory.h"

using namespace zel;

namespace {

struct Buffer : ::testing::Test {
    static std::vector<int32_t> ints(Node n) {
        std::vector<int32_t> v;
        for (uint32_t i = 1; i <= buffer::length(n); i++) v.push_back(array::pick_int(n, i));
        return v;
    }
};

TEST_F(Buffer, FindOnEmptyAnswersMinusOne) {
    Node n = buffer::alloc_units(0, 4);
    EXPECT_EQ(buffer::length(n), 0u);
    EXPECT_EQ(buffer::find_int(n, 0), -1);
    EXPECT_EQ(buffer::find_pointer(n, nullptr), -1);
}

TEST_F(Buffer, AppendGrowsUnderTheSameNode) {
    Node n = buffer::alloc_units(0, 4);
    SeriesBuffer* first = node::buffer(n);
    std::vector<int32_t> want;
    for (int32_t i = 0; i < 100; i++) {
        buffer::append_int(n, i * 3 - 50);
        want.push_back(i * 3 - 50);
    }
    EXPECT_NE(node::buffer(n), first);
    EXPECT_EQ(node::buffer(n)->node, n);
    EXPECT_EQ(ints(n), want);
}

TEST_F(Buffer, IntegerEntries) {
    Node n = buffer::alloc_units(2, 4);
    for (int32_t v : {10, 20, 30, 20}) buffer::append_int(n, v);
    struct Find { int32_t value, offset; };
    for (const Find& f : {Find{10, 0}, Find{20, 4}, Find{30, 8}, Find{99, -1}})
        EXPECT_EQ(buffer::find_int(n, f.value), f.offset) << f.value;
    buffer::poke_int(n, 2, 25);
    buffer::poke_int(n, 0, 1);  // out of range: nothing changes
    buffer::poke_int(n, 5, 1);
    EXPECT_EQ(ints(n), (std::vector<int32_t>{10, 25, 30, 20}));
    EXPECT_EQ(array::pick_int(n, 0), 0);
    EXPECT_EQ(array::pick_int(n, 5), 0);
    buffer::remove_at(n, 4, 4);
    EXPECT_EQ(ints(n), (std::vector<int32_t>{10, 30, 20}));
    buffer::insert_int(n, 7, 1);
    buffer::insert_int(n, 8, 5);  // length + 1: at the tail
    buffer::insert_int(n, 9, 9);  // beyond: ignored
    EXPECT_EQ(ints(n), (std::vector<int32_t>{7, 10, 30, 20, 8}));
    buffer::remove_at(n, 12, 100);  // cut to the used part
    EXPECT_EQ(ints(n), (std::vector<int32_t>{7, 10, 30}));
}

TEST_F(Buffer, PointerEntries) {
    int a, b, c;
    Node n = buffer::alloc_units(0, sizeof(void*));
    for (void* p : {(void*)&a, (void*)&b, (void*)&c}) buffer::append_pointer(n, p);
    EXPECT_EQ(buffer::length(n), 3u);
    EXPECT_EQ(buffer::pick_pointer(n, 2), &b);
    EXPECT_EQ(buffer::pick_pointer(n, 4), nullptr);
    EXPECT_EQ(buffer::find_pointer(n, &c), int32_t(2 * sizeof(void*)));
    buffer::remove_pointer(n, &b);
    buffer::remove_pointer(n, &b);  // absent: nothing changes
    EXPECT_EQ(buffer::length(n), 2u);
    EXPECT_EQ(buffer::pick_pointer(n, 1), &a);
    EXPECT_EQ(buffer::pick_pointer(n, 2), &c);
}

TEST_F(Buffer, ByteEntriesLengthAndCopy) {
    Node n = buffer::alloc_units(0, 1);
    buffer::append_byte(n, 'x');
    buffer::append_bytes(n, "yz0123456789abcdefgh", 20);
    EXPECT_EQ(buffer::length(n), 21u);
    EXPECT_EQ(array::pick_byte(n, 1), 'x');
    EXPECT_EQ(array::pick_byte(n, 21), 'h');
    EXPECT_EQ(array::pick_byte(n, 22), 0);
    Node c = buffer::copy(n);
    EXPECT_NE(c, n);
    EXPECT_EQ(buffer::length(c), 21u);
    EXPECT_EQ(buffer::flags(c) & SER_UNIT_MASK, 1u);
    EXPECT_EQ(array::pick_byte(c, 2), 'y');
    buffer::set_length(n, 3);
    EXPECT_EQ(buffer::length(n), 2u);
    buffer::set_length(n, 100000);  // kept inside the data area
    EXPECT_EQ(buffer::length(n), node::buffer(n)->size);
    buffer::clear(n);
    EXPECT_EQ(buffer::length(n), 0u);
    EXPECT_EQ(buffer::length(c), 21u);
}

}  // namespace
