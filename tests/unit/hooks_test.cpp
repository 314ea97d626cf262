// Print hooks: list growth and order, removal, calls with their arguments,
// the default hook that prints a string value by its unit size, and the
// terminal backend's calls around prints and for event polling.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/hooks.h"
#include "kernel/memory.h"
#include "kernel/output.h"
#include "kernel/runtime.h"
#include "tests/unit/test_support.h"

using namespace zel;

namespace {

std::vector<int> calls;

template <int K>
void value_hook(const Cell*, bool line) { calls.push_back(line ? K + 100 : K); }

template <int K>
void text_hook(const void* text, uint32_t length, uint32_t flag) {
    calls.push_back(K);
    calls.push_back(static_cast<const char*>(text)[0]);
    calls.push_back(int(length));
    calls.push_back(int(flag));
}

// Sends console output to a temporary file for the life of the object.
struct Capture {
    FILE* file = std::tmpfile();
    bool was_console = output::is_console();
    Capture() { output::attach(fileno(file), false); }
    ~Capture() {
        output::attach(1, was_console);
        std::fclose(file);
    }
    std::string text() {
        output::flush();
        std::string s;
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;) s += char(c);
        return s;
    }
};

// Each case runs on hook lists of its own; the lists other suites use come back.
struct Hooks : ::testing::Test {
    hooks::List<hooks::ValueHook> saved_values = hooks::value_hooks;
    hooks::List<hooks::TextHook> saved_texts = hooks::text_hooks;
    bool saved_ready = hooks::print_ready;
    void SetUp() override {
        test_support::memory_ready();
        hooks::init();
        calls.clear();
    }
    void TearDown() override {
        heap::free(hooks::value_hooks.items);
        heap::free(hooks::text_hooks.items);
        hooks::value_hooks = saved_values;
        hooks::text_hooks = saved_texts;
        hooks::print_ready = saved_ready;
    }
    static std::vector<hooks::ValueHook> values() {
        return {hooks::value_hooks.items, hooks::value_hooks.items + hooks::value_hooks.count};
    }
};

// A string value over a new buffer of the unit, holding the code points.
Cell string_of(uint32_t unit, std::initializer_list<uint32_t> cps, int32_t index = 0) {
    Node n = series::new_units(uint32_t(cps.size()), unit);
    SeriesBuffer* b = node::buffer(n);
    for (uint32_t cp : cps) {
        std::memset(series::tail_ptr(b), 0, unit);
        std::memcpy(series::tail_ptr(b), &cp, unit < 4 ? unit : 4);  // little-endian: the low bytes
        b->tail += unit;
    }
    Cell c;
    cell::make_series(&c, T_STRING, n, index);
    return c;
}

TEST_F(Hooks, InitAddsThePrinterAndSetsReady) {
    EXPECT_TRUE(hooks::print_ready);
    EXPECT_EQ(values(), std::vector<hooks::ValueHook>{print::string_value});
    EXPECT_EQ(hooks::value_hooks.capacity, 5u);
    EXPECT_EQ(hooks::text_hooks.count, 0u);
}

TEST_F(Hooks, SixthHookGrowsTheListAndKeepsOrder) {
    hooks::add(value_hook<1>, nullptr);
    hooks::add(value_hook<2>, nullptr);
    hooks::add(value_hook<3>, nullptr);
    hooks::add(value_hook<4>, nullptr);
    EXPECT_EQ(hooks::value_hooks.capacity, 5u);
    hooks::add(value_hook<5>, nullptr);
    EXPECT_EQ(hooks::value_hooks.capacity, 10u);
    EXPECT_EQ(values(), (std::vector<hooks::ValueHook>{print::string_value, value_hook<1>, value_hook<2>,
                                                       value_hook<3>, value_hook<4>, value_hook<5>}));
    hooks::remove(print::string_value, nullptr);
    Cell none;
    cell::make_none(&none);
    hooks::call(&none, true);
    EXPECT_EQ(calls, (std::vector<int>{101, 102, 103, 104, 105}));
}

TEST_F(Hooks, RemoveTakesTheFirstEqualEntryAndIgnoresAbsentOnes) {
    hooks::add(value_hook<1>, text_hook<1>);
    hooks::add(value_hook<2>, nullptr);
    hooks::add(value_hook<1>, nullptr);
    auto before = values();
    hooks::remove(value_hook<3>, text_hook<2>);
    EXPECT_EQ(values(), before);
    EXPECT_EQ(hooks::text_hooks.count, 1u);
    hooks::remove(value_hook<1>, text_hook<1>);
    EXPECT_EQ(values(), (std::vector<hooks::ValueHook>{print::string_value, value_hook<2>, value_hook<1>}));
    EXPECT_EQ(hooks::text_hooks.count, 0u);
}

TEST_F(Hooks, TextHooksReceiveTheirArguments) {
    hooks::add(nullptr, text_hook<1>);
    hooks::add(nullptr, text_hook<2>);
    EXPECT_EQ(hooks::value_hooks.count, 1u);
    hooks::call_text("xyz", 3, 7);
    EXPECT_EQ(calls, (std::vector<int>{1, 'x', 3, 7, 2, 'x', 3, 7}));
}

TEST_F(Hooks, StringValueIsPrintedByItsUnitFromItsPosition) {
    // Expected UTF-8 from python3: 'h\u00e9\u20ac\U0001F600'.encode()
    struct Case { const char* what; Cell value; bool line; std::string out; };
    const Case cases[] = {
        {"latin-1", string_of(1, {'h', 0xE9}), false, "h\xC3\xA9"},
        {"latin-1 line", string_of(1, {'h', 0xE9}), true, "h\xC3\xA9\n"},
        {"ucs-2", string_of(2, {'h', 0x20AC}), true, "h\xE2\x82\xAC\n"},
        {"ucs-4", string_of(4, {0x1F600, 'h'}), false, "\xF0\x9F\x98\x80h"},
        {"from the position", string_of(2, {'a', 'b', 'c'}, 2), false, "c"},
        {"position past the tail", string_of(1, {'a'}, 5), true, "\n"},
        {"unknown unit", string_of(16, {'a'}), false, "Error: unknown string encoding: 16\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Capture out;
        hooks::call(&c.value, c.line);
        EXPECT_EQ(out.text(), c.out);
    }
}

// A backend that owns the screen is asked to step aside around each typed
// print; with none installed the calls do nothing.
TEST_F(Hooks, AnInstalledTerminalBackendStepsAsideAroundPrints) {
    static std::vector<int> steps;
    static const hooks::TerminalBackend backend{[] { steps.push_back(1); }, [] { steps.push_back(2); },
                                                [] { steps.push_back(3); }};
    steps.clear();
    Cell s = string_of(1, {'a'});
    hooks::set_terminal_backend(&backend);
    {
        Capture out;
        hooks::call(&s, false);
        EXPECT_EQ(out.text(), "a");
    }
    hooks::poll_events();
    hooks::set_terminal_backend(nullptr);
    hooks::poll_events();
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3}));
}

}  // namespace
