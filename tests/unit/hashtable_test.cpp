// Hash tables: MurmurHash3, value hashing, sizes and growth of every kind,
// equal values of a hash!, record tables, intmap, and a model check of each
// against the standard containers.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/hashtable.h"
#include "core/murmur.h"
#include "core/symbol.h"
#include "kernel/unicode.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::integer;

using HashTableTest = ::testing::Test;

Cell text(const char* utf8, uint32_t type = T_STRING) {
    Cell c{};
    Node n = string::from_utf8_new(reinterpret_cast<const uint8_t*>(utf8), uint32_t(strlen(utf8)), false);
    cell::make_series(&c, type, n);
    return c;
}

Cell word(const char* name, uint32_t type = T_WORD) {
    Cell c{type, 0, symbol::intern(name), uint32_t(-1)};
    return c;
}

Node new_block(const std::vector<Cell>& cells) {
    Node b = series::new_cells(uint32_t(cells.size()) + 1);
    for (const Cell& c : cells) *series::append_slot(node::buffer(b)) = c;
    return b;
}

Cell block_value(Node b) {
    Cell c{};
    cell::make_series(&c, T_BLOCK, b);
    return c;
}

Cell* at(Node block, uint32_t pos) { return series::writable_cells(node::buffer(block)) + pos; }

// Appends a cell to the indexed block and indexes it, as the block actions do.
void append(Node t, Node block, const Cell& c) {
    *series::append_slot(node::buffer(block)) = c;
    hashtable::put_value(t, at(block, series::length(node::buffer(block)) - 1));
}

std::set<int32_t> all_positions(Node t, const Cell& v, hashtable::FindOptions o = {}) {
    std::set<int32_t> found;
    hashtable::Cursor cur;
    for (int32_t p = hashtable::find(t, &v, o, &cur); p >= 0; p = hashtable::find_next(t, &v, o, &cur)) {
        EXPECT_TRUE(found.insert(p).second) << "position " << p << " answered twice";
    }
    return found;
}

// The numbers python3 prints for the script run with the arguments.
std::vector<unsigned long> run_python(const std::string& script, const std::vector<std::string>& args) {
    std::string cmd = "python3 -c '" + script + "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    std::vector<unsigned long> out;
    FILE* f = popen(cmd.c_str(), "r");
    unsigned long v;
    while (f && fscanf(f, "%lu", &v) == 1) out.push_back(v);
    if (f) pclose(f);
    return out;
}

// A small MurmurHash3_x86_32 in python, independent of the C++ one.
const char* PY_MURMUR =
    "def mm3(data, seed=0):\n"
    "    M = 0xffffffff\n"
    "    rotl = lambda x, r: ((x << r) | (x >> (32 - r))) & M\n"
    "    def scr(k):\n"
    "        return (rotl((k * 0xcc9e2d51) & M, 15) * 0x1b873593) & M\n"
    "    h, n = seed, len(data)\n"
    "    for i in range(0, n - n % 4, 4):\n"
    "        h = (rotl(h ^ scr(int.from_bytes(data[i:i+4], \"little\")), 13) * 5 + 0xe6546b64) & M\n"
    "    if n % 4:\n"
    "        h ^= scr(int.from_bytes(data[n - n % 4:], \"little\"))\n"
    "    h ^= n\n"
    "    h ^= h >> 16; h = (h * 0x85ebca6b) & M; h ^= h >> 13; h = (h * 0xc2b2ae35) & M\n"
    "    return h ^ (h >> 16)\n";

TEST_F(HashTableTest, MurmurPublishedVectors) {
    // The published vectors, checked with the python implementation above.
    struct Case {
        const char* data;
        uint32_t seed, hash;
    };
    static const Case cases[] = {
        {"", 0, 0x00000000},
        {"", 1, 0x514E28B7},
        {"", 0xFFFFFFFF, 0x81F16F39},
        {"The quick brown fox jumps over the lazy dog", 0, 0x2E4FF723},
        {"a", 0, 0x3C2569B2},
        {"abc", 0, 0xB3DD93FA},
        {"abcd", 0x9747B28C, 0xF0478627},
        {"Hello, world!", 0x9747B28C, 0x24884CBA},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hash::murmur3_seeded(c.data, int32_t(strlen(c.data)), c.seed), c.hash) << c.data;
    }
    EXPECT_EQ(hash::murmur3("abc", 3), hash::murmur3_seeded("abc", 3, hash::seed));
}

TEST_F(HashTableTest, MurmurAgreesWithPython) {
    // Each input hashed with a seed, and lowered with seed 0 as symbol names are.
    std::string script = std::string(PY_MURMUR) +
                         "import sys\n"
                         "for s in sys.argv[1:]:\n"
                         "    b = s.encode()\n"
                         "    print(mm3(b, 0x1234), mm3(b.lower(), 0))\n";
    // The letters' neighbours and bytes whose low seven bits are letters must not fold.
    std::vector<std::string> inputs = {"", "x", "xY", "XYZ", "0123456789ABCDEFg", "\xc3\x89t\xc3\xa9",
                                       "@AZ[`az{", "\xd8\x80Q\xda\x80\xc3\x9a"};
    std::vector<unsigned long> out = run_python(script, inputs);
    ASSERT_EQ(out.size(), 2 * inputs.size()) << "python3 is needed as the oracle";
    for (size_t i = 0; i < inputs.size(); i++) {
        const std::string& s = inputs[i];
        EXPECT_EQ(hash::murmur3_seeded(s.data(), int32_t(s.size()), 0x1234), out[2 * i]) << s;
        EXPECT_EQ(hash::murmur3_ascii_lower(reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size())),
                  out[2 * i + 1])
            << s;
    }
}

// A string hashes its code points as 32-bit blocks, folded to upper case unless
// the case flag is set, whatever the unit of its buffer.
TEST_F(HashTableTest, StringHashAgreesWithPython) {
    std::vector<std::string> samples = {"hello", "\xc3\x9cn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9",
                                        "\xce\xb1\xce\xb2\xce\xb3", "\xf0\x9f\x98\x80 smile", ""};
    std::string script = std::string(PY_MURMUR) +
                         "import sys\n"
                         "for s in sys.argv[1:]:\n"
                         "    print(mm3(s.upper().encode(\"utf-32-le\")), mm3(s.encode(\"utf-32-le\")))\n";
    std::vector<unsigned long> out = run_python(script, samples);
    ASSERT_EQ(out.size(), 2 * samples.size()) << "python3 is needed as the oracle";
    for (size_t i = 0; i < samples.size(); i++) {
        Cell str = text(samples[i].c_str());
        EXPECT_EQ(hashtable::hash_value(&str, false), out[2 * i]) << samples[i];
        EXPECT_EQ(hashtable::hash_value(&str, true), out[2 * i + 1]) << samples[i];
    }
}

TEST_F(HashTableTest, HashOfValues) {
    Cell unset{}, none{};
    cell::make_unset(&unset);
    cell::make_none(&none);
    EXPECT_EQ(hashtable::hash_value(&none, false), uint32_t(-1));
    EXPECT_EQ(hashtable::hash_value(&unset, false), uint32_t(-2));
    Cell i = integer(7);
    EXPECT_EQ(hashtable::hash_value(&i, false), hashtable::hash_int(7));
    EXPECT_EQ(hashtable::hash_int(0), 0u);
    EXPECT_EQ(hashtable::hash_int(1), 0x514E28B7u);  // the final mix of MurmurHash3 of "" with seed 1
    Cell lower = word("alpha"), upper = word("ALPHA", T_SET_WORD);
    EXPECT_EQ(hashtable::hash_value(&lower, false), hashtable::hash_value(&upper, false));
    Cell s1 = text("abc"), s2 = text("abc");
    Cell b1 = block_value(cell::series_node(&s1)), b2 = block_value(cell::series_node(&s2));
    EXPECT_NE(hashtable::hash_value(&b1, false), hashtable::hash_value(&b2, false));  // identity
}

// Text hashes with the same folding as the equality that matches it, so
// characters whose upper cases meet but whose lower cases differ still meet.
TEST_F(HashTableTest, TextFoldsLikeTheComparison) {
    struct Pair {
        const char *a, *b;
    };
    static const Pair pairs[] = {
        {"\xc5\xbf", "s"},            // long s and s
        {"\xc4\xb1", "i"},            // dotless i and i
        {"\xcf\x82", "\xcf\x83"},     // final sigma and sigma
        {"\xc2\xb5", "\xce\xbc"},     // micro sign and mu
        {"Stra\xc3\x9f" "e", "STRA\xc3\x9f" "E"},
    };
    for (const Pair& p : pairs) {
        Cell a = text(p.a), b = text(p.b);
        EXPECT_TRUE(hashtable::same_value(&a, &b, hashtable::OP_EQUAL)) << p.a;
        EXPECT_FALSE(hashtable::same_value(&a, &b, hashtable::OP_STRICT_EQUAL)) << p.a;
        EXPECT_EQ(hashtable::hash_value(&a, false), hashtable::hash_value(&b, false)) << p.a;
        Node block = new_block({integer(1), a});
        Cell bv = block_value(block);
        Node t = hashtable::make(2, &bv, hashtable::KIND_HASH, 0);
        EXPECT_EQ(hashtable::find(t, &b, {}, nullptr), 1) << p.a;
        EXPECT_EQ(hashtable::find(t, &b, {true, false}, nullptr), -1) << p.a;
    }
}

TEST_F(HashTableTest, Sizes) {
    struct Case {
        uint32_t request, kind, buckets, bound;
    };
    static const Case cases[] = {
        {3, 0, 8, 6},          // 4 / 0.77 = 5.19
        {0, 0, 8, 6},          // raised to 4
        {10, 1, 16, 12},       // 12.98
        {4000, 2, 16384, 12615},  // doubled first: 8000 / 0.77 = 10389.6
        {3999, 2, 8192, 6307},
        {4000, 1, 8192, 6307},    // only kind 2 doubles
        {1000, 4, 2048, 1576},
    };
    for (const Case& c : cases) {
        Node t = hashtable::make(c.request, nullptr, c.kind, 3);
        EXPECT_EQ(hashtable::record(t)->buckets, c.buckets) << c.request << " kind " << c.kind;
        EXPECT_EQ(hashtable::record(t)->bound, c.bound) << c.request << " kind " << c.kind;
        EXPECT_EQ(hashtable::record(t)->kind, c.kind);
    }
    EXPECT_EQ(hashtable::record(hashtable::make(1000, nullptr, 4, 3))->index, 64u);  // entry size
}

TEST_F(HashTableTest, HashGrowsOnTheSeventhInsertion) {
    Node block = new_block({integer(1), integer(2), integer(3), integer(4), integer(5), integer(6)});
    Cell bv = block_value(block);
    Node t = hashtable::make(3, &bv, hashtable::KIND_HASH, 0);
    EXPECT_EQ(hashtable::record(t)->buckets, 8u);
    EXPECT_EQ(hashtable::record(t)->occupied, 6u);
    append(t, block, integer(7));
    EXPECT_EQ(hashtable::record(t)->buckets, 16u);  // 9 x 1.5 = 13.5
    EXPECT_EQ(hashtable::record(t)->bound, 12u);
    EXPECT_EQ(hashtable::record(t)->count, 7u);
    for (int32_t v = 1; v <= 7; v++) {
        Cell c = integer(v);
        EXPECT_EQ(all_positions(t, c), std::set<int32_t>{v - 1}) << v;
    }
    Cell absent = integer(8);
    EXPECT_EQ(hashtable::find(t, &absent, {}, nullptr), -1);
}

// Kinds 1 and 2 and the record kinds grow by their own rules.
TEST_F(HashTableTest, GrowthByKind) {
    std::vector<Cell> keys;
    for (int32_t i = 0; i < 7; i++) keys.push_back(integer(i));
    Node map_block = new_block({});
    Cell mv = block_value(map_block);
    Node map = hashtable::make(4, &mv, hashtable::KIND_MAP, 0);
    for (const Cell& k : keys) append(map, map_block, k);
    EXPECT_EQ(hashtable::record(map)->buckets, 16u);  // doubles
    EXPECT_EQ(hashtable::record(map)->bound, 12u);    // 16 x 0.77 + 0.5

    Node words_block = new_block({});
    Cell wv = block_value(words_block);
    Node words = hashtable::make(4, &wv, hashtable::KIND_WORDS, 0);
    const char* names[] = {"g1", "g2", "g3", "g4", "g5", "g6", "g7"};
    for (const char* n : names) append(words, words_block, word(n));
    EXPECT_EQ(hashtable::record(words)->buckets, 256u);  // 16 x 9 = 144, rounded up
    EXPECT_EQ(hashtable::record(words)->bound, 197u);
    for (uint32_t i = 0; i < 7; i++) {
        EXPECT_EQ(hashtable::find_word(words, symbol::intern(names[i]), false), int32_t(i));
    }

    Node records = hashtable::make(4, nullptr, hashtable::KIND_RECORDS, 1);
    for (uint32_t k = 0; k < 7; k++) hashtable::put(records, k * 1000)->w2 = k;
    EXPECT_EQ(hashtable::record(records)->buckets, 16u);
    EXPECT_EQ(hashtable::record(records)->bound, 12u);
    for (uint32_t k = 0; k < 7; k++) EXPECT_EQ(hashtable::get(records, k * 1000)->w2, k);
}

// Putting and deleting never grows count. The same key takes its own deleted
// bucket again; new keys each leave one behind, so occupied climbs to the bound
// and the rebuild there clears the deleted buckets at the same size.
TEST_F(HashTableTest, DeleteAndReinsert) {
    Node same = hashtable::make(4, nullptr, hashtable::KIND_RECORDS, 1);
    Node fresh = hashtable::make(4, nullptr, hashtable::KIND_RECORDS, 1);
    uint32_t most_occupied = 0;
    for (uint32_t round = 0; round < 40; round++) {
        hashtable::delete_(same, hashtable::put(same, 100));
        EXPECT_EQ(hashtable::record(same)->occupied, 1u);
        Cell* v = hashtable::put(fresh, 100 + round);
        EXPECT_EQ(hashtable::record(fresh)->count, 1u);
        most_occupied = std::max(most_occupied, hashtable::record(fresh)->occupied);
        hashtable::delete_(fresh, v);
        EXPECT_EQ(hashtable::record(fresh)->count, 0u);
        EXPECT_EQ(hashtable::get(fresh, 100 + round), nullptr);
    }
    EXPECT_EQ(hashtable::record(same)->count, 0u);
    EXPECT_EQ(most_occupied, hashtable::record(fresh)->bound);
    EXPECT_EQ(hashtable::record(fresh)->buckets, 8u);

    Node block = new_block({integer(5), integer(6)});
    Cell bv = block_value(block);
    Node h = hashtable::make(2, &bv, hashtable::KIND_HASH, 0);
    for (int round = 0; round < 20; round++) {
        hashtable::delete_(h, at(block, 1));
        Cell six = integer(6);
        EXPECT_EQ(hashtable::find(h, &six, {}, nullptr), -1);
        hashtable::put_value(h, at(block, 1));
        EXPECT_EQ(hashtable::find(h, &six, {}, nullptr), 1);
        EXPECT_EQ(hashtable::record(h)->count, 2u);
    }
    EXPECT_EQ(hashtable::record(h)->buckets, 8u);
}

TEST_F(HashTableTest, EqualValuesShareABucket) {
    Node block = new_block({integer(1), integer(2), integer(1), integer(1), text("a"), text("A"), word("a"),
                            word("a", T_SET_WORD)});
    Cell bv = block_value(block);
    Node t = hashtable::make(8, &bv, hashtable::KIND_HASH, 0);
    Cell one = integer(1), a = text("a"), w = word("A");
    EXPECT_EQ(hashtable::record(t)->count, 5u);  // 1, 2, "a" and two word types
    EXPECT_EQ(all_positions(t, one), (std::set<int32_t>{0, 2, 3}));
    EXPECT_EQ(all_positions(t, a), (std::set<int32_t>{4, 5}));
    EXPECT_EQ(all_positions(t, a, {true, false}), std::set<int32_t>{4});
    EXPECT_EQ(all_positions(t, w), std::set<int32_t>{6});
    EXPECT_EQ(all_positions(t, w, {false, true}), (std::set<int32_t>{6, 7}));

    hashtable::delete_(t, at(block, 2));
    EXPECT_EQ(all_positions(t, one), (std::set<int32_t>{0, 3}));
    hashtable::delete_(t, at(block, 0));
    EXPECT_EQ(all_positions(t, one), std::set<int32_t>{3});
    hashtable::delete_(t, at(block, 3));
    EXPECT_TRUE(all_positions(t, one).empty());
    EXPECT_EQ(hashtable::record(t)->count, 4u);
    hashtable::put_value(t, at(block, 2));
    EXPECT_EQ(all_positions(t, one), std::set<int32_t>{2});
}

TEST_F(HashTableTest, RemoveRangeShiftsPositions) {
    Node block = new_block({integer(10), integer(20), integer(30), integer(40), integer(50), integer(40)});
    Cell bv = block_value(block);
    Node t = hashtable::make(6, &bv, hashtable::KIND_HASH, 0);
    hashtable::remove_range(t, 1, 2);
    SeriesBuffer* b = node::buffer(block);
    std::memmove(at(block, 1), at(block, 3), 3 * sizeof(Cell));
    b->tail -= 2 * sizeof(Cell);
    struct Case {
        int32_t value;
        std::set<int32_t> positions;
    };
    const Case cases[] = {{10, {0}}, {20, {}}, {30, {}}, {40, {1, 3}}, {50, {2}}};
    for (const Case& c : cases) EXPECT_EQ(all_positions(t, integer(c.value)), c.positions) << c.value;

    hashtable::shift_positions(t, 1, 2);  // two cells inserted before position 1
    std::memmove(at(block, 3), at(block, 1), 3 * sizeof(Cell));
    *at(block, 1) = integer(60);
    *at(block, 2) = integer(70);
    b->tail += 2 * sizeof(Cell);
    hashtable::put_value(t, at(block, 1));
    hashtable::put_value(t, at(block, 2));
    const Case after[] = {{10, {0}}, {60, {1}}, {70, {2}}, {40, {3, 5}}, {50, {4}}};
    for (const Case& c : after) EXPECT_EQ(all_positions(t, integer(c.value)), c.positions) << c.value;
    hashtable::delete_(t, at(block, 5));
    EXPECT_EQ(all_positions(t, integer(40)), std::set<int32_t>{3});
}

TEST_F(HashTableTest, MapKeysAreUniqueUnderStrictEquality) {
    Node block = new_block({text("k"), integer(1), text("K"), integer(2), text("k"), integer(3)});
    Cell bv = block_value(block);
    Node t = hashtable::make(4, &bv, hashtable::KIND_MAP, 0);
    EXPECT_EQ(hashtable::record(t)->count, 2u);  // "k" and "K"; the second "k" found the first
    Cell k = text("k"), upper = text("K");
    EXPECT_EQ(all_positions(t, k, {true, false}), std::set<int32_t>{0});
    EXPECT_EQ(all_positions(t, upper, {true, false}), std::set<int32_t>{2});
    EXPECT_EQ(all_positions(t, k), (std::set<int32_t>{0, 2}));
    EXPECT_EQ(hashtable::put_value(t, at(block, 4)), 0);
}

// After a collection a table keyed by identity is rebuilt on its next use.
TEST_F(HashTableTest, StampedTablesRebuildAfterACollection) {
    Node inner1 = new_block({integer(1)}), inner2 = new_block({integer(2)});
    Node block = new_block({integer(9), block_value(inner1), block_value(inner2)});
    Cell bv = block_value(block);
    Node h = hashtable::make(4, &bv, hashtable::KIND_HASH, 0);
    Node r = hashtable::make(4, nullptr, hashtable::KIND_RECORDS, 1);
    hashtable::put(r, inner1)->w2 = 11;
    uint32_t stamp = memory::record.cycle + 1;
    EXPECT_EQ(hashtable::record(h)->stamp, stamp);
    EXPECT_EQ(hashtable::record(r)->stamp, stamp);
    Node old_flags = hashtable::record(r)->flags;

    memory::record.cycle++;
    Cell b2 = block_value(inner2);
    EXPECT_EQ(hashtable::find(h, &b2, {}, nullptr), 2);
    EXPECT_EQ(hashtable::get(r, inner1)->w2, 11u);
    EXPECT_EQ(hashtable::record(h)->stamp, stamp + 1);
    EXPECT_EQ(hashtable::record(r)->stamp, stamp + 1);
    EXPECT_NE(hashtable::record(r)->flags, old_flags);
    memory::record.cycle--;

    Node plain = new_block({integer(1)});
    Cell pv = block_value(plain);
    EXPECT_EQ(hashtable::record(hashtable::make(4, &pv, hashtable::KIND_HASH, 0))->stamp, 0u);
}

TEST_F(HashTableTest, CopyAndClear) {
    Node block = new_block({integer(1), integer(1), integer(2)});
    Cell bv = block_value(block);
    Node t = hashtable::make(4, &bv, hashtable::KIND_HASH, 0);
    Node c = hashtable::copy(t);
    hashtable::delete_(t, at(block, 0));
    EXPECT_EQ(all_positions(c, integer(1)), (std::set<int32_t>{0, 1}));
    EXPECT_EQ(all_positions(t, integer(1)), std::set<int32_t>{1});
    hashtable::clear(c);
    EXPECT_EQ(hashtable::record(c)->count, 0u);
    EXPECT_TRUE(all_positions(c, integer(1)).empty());
    hashtable::put_block(c, 0, 1);
    EXPECT_EQ(all_positions(c, integer(1)), (std::set<int32_t>{0, 1}));

    Node r = hashtable::make(4, nullptr, hashtable::KIND_RECORDS, 2);
    hashtable::put(r, 5)[1] = integer(55);
    Node rc = hashtable::copy(r);
    hashtable::clear(r);
    EXPECT_EQ(hashtable::get(r, 5), nullptr);
    ASSERT_NE(hashtable::get(rc, 5), nullptr);
    EXPECT_EQ(cell::get_int(hashtable::get(rc, 5) + 1), 55);
    EXPECT_EQ(cell::type(hashtable::get(rc, 5)), uint32_t(T_UNSET));
}

// The ownership kind holds its owned values weakly: marking leaves them out and
// the purge drops the entries whose series was not marked.
std::vector<Node> kept;
std::vector<std::pair<Cell*, Cell*>> marked_ranges;

TEST_F(HashTableTest, MarkAndPurge) {
    Node t = hashtable::make(8, nullptr, hashtable::KIND_OWNERSHIP, 3);
    std::vector<Node> owned;
    for (int i = 0; i < 4; i++) {
        Node s = series::new_cells(1);
        owned.push_back(s);
        Cell* v = hashtable::put(t, s);
        cell::make_series(v, T_BLOCK, s);
        v[1] = integer(i);
    }
    kept.clear();
    marked_ranges.clear();
    hashtable::Marker m{[](Node* slot) {
                            kept.push_back(*slot);
                            return true;
                        },
                        [](Cell* first, Cell* end) { marked_ranges.push_back({first, end}); }};
    Node slot = t;
    hashtable::mark(&slot, m);
    EXPECT_EQ(kept.size(), 4u);  // record, flags, entries, entry series
    ASSERT_EQ(marked_ranges.size(), 4u);
    for (auto& r : marked_ranges) {
        EXPECT_EQ(r.second - r.first, 2);
        EXPECT_EQ(cell::type(r.first), uint32_t(T_INTEGER));  // the owner cell, not the owned block
    }

    node::buffer(owned[1])->flags |= SER_MARK;
    node::buffer(owned[3])->flags |= SER_MARK;
    hashtable::purge_unmarked(t);
    node::buffer(owned[1])->flags &= ~SER_MARK;
    node::buffer(owned[3])->flags &= ~SER_MARK;
    EXPECT_EQ(hashtable::record(t)->count, 2u);
    EXPECT_EQ(hashtable::get(t, owned[0]), nullptr);
    EXPECT_EQ(hashtable::get(t, owned[2]), nullptr);
    EXPECT_EQ(cell::get_int(hashtable::get(t, owned[1]) + 1), 1);
    EXPECT_EQ(cell::get_int(hashtable::get(t, owned[3]) + 1), 3);
}

TEST_F(HashTableTest, ContextWordsByAnySpelling) {
    Node block = new_block({word("ctx-one"), word("ctx-two"), word("CTX-ONE")});
    Cell bv = block_value(block);
    Node t = hashtable::make(4, &bv, hashtable::KIND_WORDS, 0);
    uint32_t lower = symbol::intern("ctx-one"), upper = symbol::intern("CTX-ONE");
    uint32_t mixed = symbol::intern("Ctx-Two");
    EXPECT_EQ(hashtable::find_word(t, lower, false), 0);
    EXPECT_EQ(hashtable::find_word(t, upper, false), 2);
    EXPECT_EQ(hashtable::find_word(t, mixed, false), -1);
    EXPECT_EQ(hashtable::find_word(t, mixed, true), 1);
    EXPECT_EQ(hashtable::find_word(t, symbol::intern("ctx-three"), true), -1);
}

TEST_F(HashTableTest, RecordTableMatchesModel) {
    std::mt19937 rng(12345);
    Node t = hashtable::make(4, nullptr, hashtable::KIND_RECORDS, 1);
    std::unordered_map<uint32_t, uint32_t> model;
    for (int i = 0; i < 20000; i++) {
        uint32_t key = rng() % 300 * 0x10001;
        switch (rng() % 3) {
        case 0: {
            uint32_t v = rng();
            hashtable::put(t, key)->w2 = v;
            model[key] = v;
            break;
        }
        case 1: {
            Cell* c = hashtable::get(t, key);
            auto it = model.find(key);
            ASSERT_EQ(c != nullptr, it != model.end()) << key;
            if (c) {
                ASSERT_EQ(c->w2, it->second);
            }
            break;
        }
        default:
            if (Cell* c = hashtable::get(t, key)) hashtable::delete_(t, c);
            model.erase(key);
        }
        ASSERT_EQ(hashtable::record(t)->count, model.size());
        ASSERT_LE(hashtable::record(t)->occupied, hashtable::record(t)->bound);
    }
    for (auto& [k, v] : model) EXPECT_EQ(hashtable::get(t, k)->w2, v);
}

TEST_F(HashTableTest, IntMapMatchesModel) {
    std::mt19937 rng(777);
    intmap::Map* m = intmap::make(3);
    EXPECT_EQ(m->buckets, 8u);
    EXPECT_EQ(m->bound, 6u);
    std::unordered_map<uint32_t, uint32_t> model;
    for (int i = 0; i < 20000; i++) {
        uint32_t key = rng() % 5000, value;
        if (rng() % 2) {
            uint32_t v = rng();
            intmap::put(m, key, v);
            model[key] = v;
        } else {
            bool found = intmap::get(m, key, &value);
            ASSERT_EQ(found, model.count(key) == 1) << key;
            if (found) {
                ASSERT_EQ(value, model[key]);
            }
        }
    }
    EXPECT_EQ(m->count, model.size());
    intmap::destroy(m);
}

// A hash! follows its block through appends, removals and changes.
TEST_F(HashTableTest, HashIndexMatchesModel) {
    std::mt19937 rng(4242);
    Node block = new_block({});
    Cell bv = block_value(block);
    Node t = hashtable::make(3, &bv, hashtable::KIND_HASH, 0);
    std::vector<int32_t> model;
    for (int i = 0; i < 6000; i++) {
        uint32_t op = rng() % 4;
        if (op <= 1 || model.empty()) {
            int32_t v = int32_t(rng() % 40);
            append(t, block, integer(v));
            model.push_back(v);
        } else if (op == 2) {
            uint32_t pos = rng() % model.size();
            hashtable::remove_range(t, pos, 1);
            SeriesBuffer* b = node::buffer(block);
            std::memmove(at(block, pos), at(block, pos + 1), (model.size() - pos - 1) * sizeof(Cell));
            b->tail -= sizeof(Cell);
            model.erase(model.begin() + pos);
        } else {
            uint32_t pos = rng() % model.size();
            int32_t v = int32_t(rng() % 40);
            hashtable::delete_(t, at(block, pos));
            *at(block, pos) = integer(v);
            hashtable::put_value(t, at(block, pos));
            model[pos] = v;
        }
        if (i % 97 == 0 || i > 5900) {
            for (int32_t v = 0; v < 40; v++) {
                std::set<int32_t> want;
                for (size_t p = 0; p < model.size(); p++)
                    if (model[p] == v) want.insert(int32_t(p));
                ASSERT_EQ(all_positions(t, integer(v)), want) << "value " << v << " step " << i;
            }
        }
        ASSERT_LE(hashtable::record(t)->occupied, hashtable::record(t)->bound);
    }
}

}  // namespace
