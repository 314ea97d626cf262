// The symbol table: interning, case aliases, canonical ids and the names kept.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/datatype.h"
#include "core/hashtable.h"
#include "core/murmur.h"
#include "core/symbol.h"
#include "kernel/unicode.h"

using namespace zel;

namespace {

using SymbolTest = ::testing::Test;

uint32_t symbol_count() { return series::length(node::buffer(symbol::block_node)); }

std::string name(uint32_t id) { return symbol::get_cstr(id); }

TEST_F(SymbolTest, BootSizes) {
    hashtable::Record* r = hashtable::record(symbol::table_node);
    EXPECT_EQ(r->kind, uint32_t(hashtable::KIND_WORDS));
    EXPECT_EQ(r->buckets, 16384u);
    EXPECT_EQ(r->keys, symbol::block_node);
}

TEST_F(SymbolTest, AliasesOfSpellings) {
    uint32_t lower = symbol::intern("print-it");
    EXPECT_EQ(symbol::intern("print-it"), lower);
    EXPECT_EQ(symbol::alias_of(lower), uint32_t(-1));
    EXPECT_EQ(symbol::resolve(lower), lower);

    uint32_t upper = symbol::intern("PRINT-IT");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(symbol::alias_of(upper), lower);
    EXPECT_EQ(symbol::resolve(upper), lower);
    EXPECT_EQ(name(upper), "PRINT-IT");

    uint32_t mixed = symbol::intern("Print-It");
    EXPECT_NE(mixed, upper);
    EXPECT_EQ(symbol::alias_of(mixed), lower);
    EXPECT_EQ(symbol::intern("PRINT-IT"), upper);

    uint32_t count = symbol_count();
    uint32_t fresh = symbol::intern("Never-Seen");
    EXPECT_EQ(symbol_count(), count + 1);
    EXPECT_EQ(symbol::alias_of(fresh), uint32_t(-1));
    EXPECT_EQ(symbol::intern("never-seen"), fresh + 1);
    EXPECT_EQ(symbol::resolve(fresh + 1), fresh);
}

// Only ASCII letters fold: non-ASCII spellings are symbols of their own.
TEST_F(SymbolTest, NonAsciiCaseIsDistinct) {
    uint32_t small = symbol::intern("\xc3\xa9t\xc3\xa9");  // été
    uint32_t capital = symbol::intern("\xc3\x89T\xc3\x89");
    uint32_t partly = symbol::intern("\xc3\xa9T\xc3\xa9");
    EXPECT_NE(small, capital);
    EXPECT_EQ(symbol::alias_of(small), uint32_t(-1));
    EXPECT_EQ(symbol::alias_of(capital), uint32_t(-1));
    EXPECT_EQ(symbol::alias_of(partly), small);
}

TEST_F(SymbolTest, NamesAndCachedStrings) {
    uint32_t id = symbol::make_from_buffer(reinterpret_cast<const uint8_t*>("lengthy-name and more"), 12);
    EXPECT_EQ(name(id), "lengthy-name");
    EXPECT_EQ(symbol::intern("lengthy-name"), id);

    Cell* rec = symbol::record_at(id);
    EXPECT_EQ(cell::type(rec), uint32_t(T_SYMBOL));
    EXPECT_EQ(cell::symbol_string(rec), 0u);
    rec = symbol::get(id);
    ASSERT_NE(cell::symbol_string(rec), 0u);
    Cell str{};
    cell::make_series(&str, T_STRING, cell::symbol_string(rec));
    uint32_t bytes;
    Node utf8 = utf8::from_string(&str, &bytes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(series::head_ptr(node::buffer(utf8))), bytes),
              "lengthy-name");
    Node cached = cell::symbol_string(rec);
    EXPECT_EQ(cell::symbol_string(symbol::get(id)), cached);

    Node text = string::from_utf8_new(reinterpret_cast<const uint8_t*>("\xce\xbb-word"), 7, false);
    cell::make_series(&str, T_STRING, text, 1);
    EXPECT_EQ(symbol::make_from_string(&str), symbol::intern("-word"));
}

TEST_F(SymbolTest, CompareNames) {
    struct Case {
        const char *a, *b;
        bool exact;
        bool equal;
    };
    static const Case cases[] = {
        {"abc", "abc", true, true},   {"abc", "ABC", true, false}, {"abc", "ABC", false, true},
        {"a-Z", "A-z", false, true},  {"ab[", "AB{", false, false},  // [ and { are not letters
        {"\xc3\xa9", "\xc3\x89", false, false},
    };
    for (const Case& c : cases) {
        int d = symbol::compare_names(reinterpret_cast<const uint8_t*>(c.a), reinterpret_cast<const uint8_t*>(c.b),
                                      uint32_t(strlen(c.a)), c.exact);
        EXPECT_EQ(d == 0, c.equal) << c.a << " " << c.b;
    }
}

// A symbol record hashes as its name does when it is interned.
TEST_F(SymbolTest, RecordHashIsTheLoweredName) {
    uint32_t id = symbol::intern("Hash-Me");
    EXPECT_EQ(hashtable::hash_value(symbol::record_at(id), false),
              hash::murmur3_ascii_lower(reinterpret_cast<const uint8_t*>("hash-me"), 7));
}

// Every alias names a symbol without alias, whichever spelling the probe
// sequence meets first. A small private table with many spellings of a few
// names, grown many times, puts later spellings ahead of earlier ones.
TEST_F(SymbolTest, AliasesNeverChain) {
    Node block = series::new_cells(4);
    Cell bv{};
    cell::make_series(&bv, T_BLOCK, block);
    Node table = hashtable::make(4, &bv, hashtable::KIND_WORDS, 0);
    std::mt19937 rng(99);
    const char* bases[] = {"alpha", "beta", "gamma-ray", "delta", "x"};
    std::vector<std::string> spellings;
    for (int i = 0; i < 3000; i++) {
        std::string s = bases[rng() % 5];
        s += std::to_string(rng() % 40);
        for (char& ch : s) {
            if (rng() % 2) ch = char(toupper(ch));
        }
        spellings.push_back(s);
    }
    for (const std::string& s : spellings) {
        symbol::intern_core(table, reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size()));
    }
    Cell* recs = series::writable_cells(node::buffer(block));
    uint32_t n = series::length(node::buffer(block));
    for (uint32_t i = 0; i < n; i++) {
        int32_t alias = int32_t(cell::symbol_alias(&recs[i]));
        if (alias < 0) continue;
        ASSERT_LT(uint32_t(alias), i + 1);
        EXPECT_EQ(int32_t(cell::symbol_alias(&recs[alias - 1])), -1) << "symbol " << i + 1 << " aliases an alias";
        uint32_t la, lb;
        const uint8_t* a = symbol::name_of(&recs[i], &la);
        const uint8_t* b = symbol::name_of(&recs[alias - 1], &lb);
        ASSERT_EQ(la, lb);
        EXPECT_EQ(symbol::compare_names(a, b, la, false), 0);
    }
    for (const std::string& s : spellings) {
        uint32_t id = symbol::intern_core(table, reinterpret_cast<const uint8_t*>(s.data()), uint32_t(s.size()));
        uint32_t len;
        const uint8_t* got = symbol::name_of(series::cells(node::buffer(block)) + (id - 1), &len);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), len), s);
    }
    EXPECT_EQ(series::length(node::buffer(block)), n);  // nothing added the second time
    EXPECT_GT(hashtable::record(table)->buckets, 4096u);
}

}  // namespace

namespace {

// symbol! is registered with its one action: records compare as their names.
TEST(SymbolType, ComparesRecordsAsTheirNames) {
    Cell a = *symbol::get(symbol::intern("apple-sym"));
    Cell b = *symbol::get(symbol::intern("APPLE-SYM"));
    Cell c = *symbol::get(symbol::intern("banana-sym"));
    EXPECT_EQ(symbol::compare(&a, &b, 0), 0);   // equal without regard to case
    EXPECT_NE(symbol::compare(&a, &b, 2), 0);   // strictly different
    EXPECT_LT(symbol::compare(&a, &c, 3), 0);
    Cell none;
    cell::make_none(&none);
    EXPECT_EQ(symbol::compare(&a, &none, 0), -2);
    EXPECT_EQ(types::row(T_SYMBOL).compare, symbol::compare);
    EXPECT_STREQ(types::name(T_SYMBOL).name, "symbol!");
}

}  // namespace
