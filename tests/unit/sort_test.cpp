// Sorting: the stable sort against python3's sorted (stable) on tagged
// records, its comparison counts on presorted input, both sorts on adversarial
// shapes, and what a throwing or meddling comparator leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/fail.h"
#include "kernel/runtime.h"
#include "kernel/sort.h"

using namespace zel;

namespace {

// A record the size of a cell: a key and the record's original position.
struct Tagged {
    int32_t key;
    uint32_t tag;
    uint32_t pad[2];
};

struct Counter {
    long calls = 0;
};

int32_t by_key(const void* a, const void* b, uintptr_t counter, uintptr_t) {
    if (counter) reinterpret_cast<Counter*>(counter)->calls++;
    int32_t x = static_cast<const Tagged*>(a)->key, y = static_cast<const Tagged*>(b)->key;
    return (x > y) - (x < y);
}

std::vector<Tagged> tagged(const std::vector<int32_t>& keys) {
    std::vector<Tagged> v(keys.size());
    for (size_t i = 0; i < keys.size(); i++) v[i] = {keys[i], uint32_t(i), {0, 0}};
    return v;
}

std::vector<uint32_t> tags(const std::vector<Tagged>& v) {
    std::vector<uint32_t> t;
    for (const Tagged& r : v) t.push_back(r.tag);
    return t;
}

using SortFn = void (*)(void*, uint32_t, uint32_t, uintptr_t, uintptr_t, sort::Compare);

long run_sort(SortFn fn, std::vector<Tagged>& v) {
    Counter counter;
    fn(v.data(), uint32_t(v.size()), sizeof(Tagged), reinterpret_cast<uintptr_t>(&counter), 0, by_key);
    return counter.calls;
}

// python3 builds inputs of several shapes, one per pair of lines: the keys,
// then the original positions in the order of sorted(..., key=key), which is
// stable.
const char* ORACLE_SCRIPT =
    "python3 -c \""
    "import random\n"
    "random.seed(99)\n"
    "def emit(keys):\n"
    "  print(' '.join(map(str, keys)))\n"
    "  print(' '.join(str(i) for i, k in sorted(enumerate(keys), key=lambda p: p[1])))\n"
    "for n in (2, 3, 23, 24, 25, 48, 49, 100, 1000, 5000):\n"
    "  emit([random.randint(0, 9) for i in range(n)])\n"
    "  emit([random.randint(0, 10**6) for i in range(n)])\n"
    "  runs = []\n"
    "  while len(runs) < n:\n"
    "    r = sorted(random.randint(0, 50) for i in range(random.randint(1, 80)))\n"
    "    runs += r if random.random() < 0.5 else r[::-1]\n"
    "  emit(runs[:n])\n"
    "  emit([(i // 7) % 13 for i in range(n)])\n"
    "\"";

std::vector<long> numbers(const std::string& line) {
    std::vector<long> v;
    std::istringstream in(line);
    for (long x; in >> x;) v.push_back(x);
    return v;
}

TEST(Sort, StableMatchesPythonSorted) {
    FILE* pipe = popen(ORACLE_SCRIPT, "r");
    ASSERT_NE(pipe, nullptr);
    std::string keys_line, order_line;
    char buf[1 << 16];
    int inputs = 0;
    auto next_line = [&](std::string& out) {
        out.clear();
        while (std::fgets(buf, sizeof buf, pipe)) {
            out += buf;
            if (out.back() == '\n') return true;
        }
        return !out.empty();
    };
    while (next_line(keys_line) && next_line(order_line)) {
        std::vector<long> keys = numbers(keys_line), order = numbers(order_line);
        std::vector<int32_t> k(keys.begin(), keys.end());
        std::vector<Tagged> v = tagged(k);
        run_sort(sort::stable, v);
        EXPECT_EQ(tags(v), std::vector<uint32_t>(order.begin(), order.end())) << "input " << inputs;
        inputs++;
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(inputs, 40);
}

TEST(Sort, StableKeepsEqualRecordsInOrder) {
    std::vector<Tagged> v = tagged(std::vector<int32_t>(1000, 5));
    long calls = run_sort(sort::stable, v);
    EXPECT_EQ(tags(v), tags(tagged(std::vector<int32_t>(1000, 5))));
    EXPECT_EQ(calls, 999);  // one non-descending run
}

TEST(Sort, StablePresortedInputTakesOnePass) {
    for (uint32_t n : {2u, 24u, 25u, 1000u}) {
        std::vector<int32_t> up(n), down(n);
        std::iota(up.begin(), up.end(), 0);
        std::reverse_copy(up.begin(), up.end(), down.begin());
        std::vector<Tagged> a = tagged(up), d = tagged(down);
        EXPECT_EQ(run_sort(sort::stable, a), long(n - 1)) << n;
        EXPECT_EQ(run_sort(sort::stable, d), long(n - 1)) << n;  // one reversal, no merge
        for (uint32_t i = 0; i < n; i++) {
            EXPECT_EQ(a[i].key, int32_t(i));
            EXPECT_EQ(d[i].key, int32_t(i));
        }
    }
}

TEST(Sort, FewRecordsAndOddRecordSizes) {
    std::vector<Tagged> none, one = tagged({7});
    EXPECT_EQ(run_sort(sort::stable, none), 0);
    EXPECT_EQ(run_sort(sort::stable, one), 0);
    EXPECT_EQ(run_sort(sort::quick, one), 0);
    // Three-byte records: swapped and copied byte by byte.
    auto by_first_byte = [](const void* a, const void* b, uintptr_t, uintptr_t) -> int32_t {
        return *static_cast<const unsigned char*>(a) - *static_cast<const unsigned char*>(b);
    };
    std::string text = "zb1ya2xc3wd4ve5uf6tg7sh8ri9qj0pkAolBnmCmnDloEkpFjqGirHhsIgtJfuKevLdwMcxNbyOazP";
    for (SortFn fn : {SortFn(sort::stable), SortFn(sort::quick)}) {
        std::string s = text;
        fn(s.data(), uint32_t(s.size() / 3), 3, 0, 0, by_first_byte);
        for (size_t i = 3; i < s.size(); i += 3) EXPECT_LE(s[i - 3], s[i]);
        std::string sorted_s = s, sorted_text = text;
        std::sort(sorted_s.begin(), sorted_s.end());
        std::sort(sorted_text.begin(), sorted_text.end());
        EXPECT_EQ(sorted_s, sorted_text);  // records moved whole
    }
}

std::vector<int32_t> shape(const std::string& name, int32_t n) {
    std::vector<int32_t> v(n);
    for (int32_t i = 0; i < n; i++) {
        if (name == "sorted") v[i] = i;
        else if (name == "reversed") v[i] = n - i;
        else if (name == "equal") v[i] = 3;
        else if (name == "organ-pipe") v[i] = std::min(i, n - 1 - i);
        else if (name == "sawtooth") v[i] = i % 64;
        else if (name == "two-values") v[i] = (i * 7919) % 2;
        else if (name == "sorted-with-tail") v[i] = i < n - 5 ? i : n - i;
        else v[i] = int32_t((uint32_t(i) * 2654435761u) % 100000);  // scrambled
    }
    return v;
}

TEST(Sort, BothSortsOnAdversarialShapes) {
    const int32_t n = 20000;
    const long bound = long(3 * n * std::log2(n));
    for (const char* name : {"sorted", "reversed", "equal", "organ-pipe", "sawtooth", "two-values",
                             "sorted-with-tail", "scrambled"}) {
        std::vector<int32_t> keys = shape(name, n);
        std::vector<int32_t> expected = keys;
        std::stable_sort(expected.begin(), expected.end());
        for (SortFn fn : {SortFn(sort::stable), SortFn(sort::quick)}) {
            std::vector<Tagged> v = tagged(keys);
            long calls = run_sort(fn, v);
            std::vector<int32_t> got;
            for (const Tagged& r : v) got.push_back(r.key);
            EXPECT_EQ(got, expected) << name;
            EXPECT_LT(calls, bound) << name;
            std::vector<uint32_t> t = tags(v);
            std::sort(t.begin(), t.end());
            for (int32_t i = 0; i < n; i++) ASSERT_EQ(t[i], uint32_t(i)) << name;
        }
    }
}

TEST(Sort, QuickAdaptsToPresortedInput) {
    std::vector<Tagged> up = tagged(shape("sorted", 5000)), down = tagged(shape("reversed", 5000));
    EXPECT_EQ(run_sort(sort::quick, up), 4999);
    EXPECT_EQ(run_sort(sort::quick, down), 4999);
    EXPECT_EQ(down.front().key, 1);
    EXPECT_EQ(down.back().key, 5000);
}

TEST(Sort, ContextWordsReachTheComparator) {
    static uintptr_t seen1, seen2;
    auto probe = [](const void* a, const void* b, uintptr_t c1, uintptr_t c2) -> int32_t {
        seen1 = c1;
        seen2 = c2;
        return by_key(a, b, 0, 0);
    };
    for (SortFn fn : {SortFn(sort::stable), SortFn(sort::quick)}) {
        seen1 = seen2 = 0;
        std::vector<Tagged> v = tagged({3, 1, 2});
        fn(v.data(), 3, sizeof(Tagged), 0xC0FFEE, 0xBEEF, probe);
        EXPECT_EQ(seen1, 0xC0FFEEu);
        EXPECT_EQ(seen2, 0xBEEFu);
    }
}

// Throws on the limit-th call, as a language error raised in a user
// comparator would.
int32_t throwing(const void* a, const void* b, uintptr_t counter, uintptr_t limit) {
    if (++reinterpret_cast<Counter*>(counter)->calls == long(limit)) fail::raise("user", "message");
    return by_key(a, b, 0, 0);
}

TEST(Sort, ThrowingComparatorLeavesTheRecordsWhole) {
    std::vector<int32_t> keys = shape("scrambled", 3000);
    for (long limit : {1L, 50L, 2500L, 20000L}) {
        size_t blocks = heap::count();
        std::vector<Tagged> v = tagged(keys);
        Counter counter;
        EXPECT_THROW(sort::stable(v.data(), uint32_t(v.size()), sizeof(Tagged), reinterpret_cast<uintptr_t>(&counter),
                                  uintptr_t(limit), throwing),
                     Throw);
        EXPECT_EQ(tags(v), tags(tagged(keys))) << "stable, throw at " << limit;  // untouched
        EXPECT_EQ(heap::count(), blocks);

        v = tagged(keys);
        counter.calls = 0;
        EXPECT_THROW(sort::quick(v.data(), uint32_t(v.size()), sizeof(Tagged), reinterpret_cast<uintptr_t>(&counter),
                                 uintptr_t(limit), throwing),
                     Throw);
        std::vector<uint32_t> t = tags(v);  // a permutation: no record lost or doubled
        std::sort(t.begin(), t.end());
        EXPECT_EQ(t, tags(tagged(keys))) << "quick, throw at " << limit;
        for (const Tagged& r : v) ASSERT_EQ(r.key, keys[r.tag]);
    }
}

// Overwrites a record of the caller's array at every call, as user code that
// changes the series being sorted would.
int32_t meddling(const void* a, const void* b, uintptr_t caller, uintptr_t count) {
    static uint32_t step;
    Tagged* records = reinterpret_cast<Tagged*>(caller);
    records[step++ % count] = Tagged{-1, 0xFFFFFFFF, {0, 0}};
    return by_key(a, b, 0, 0);
}

TEST(Sort, StableSortOutlastsAComparatorThatChangesTheRecords) {
    std::vector<int32_t> keys = shape("scrambled", 500);
    std::vector<Tagged> v = tagged(keys);
    sort::stable(v.data(), 500, sizeof(Tagged), reinterpret_cast<uintptr_t>(v.data()), 500, meddling);
    std::vector<Tagged> expected = tagged(keys);
    run_sort(sort::stable, expected);
    EXPECT_EQ(tags(v), tags(expected));
}

TEST(Sort, OversizedStableSortRaisesScriptError) {
    Tagged dummy[2] = {};
    EXPECT_THROW(sort::stable(dummy, 0x10000, 0x10001, 0, 0, by_key), Throw);
    EXPECT_STREQ(fail::last_category(), "script");
    EXPECT_STREQ(fail::last_id(), "out-of-range");
}

}  // namespace
