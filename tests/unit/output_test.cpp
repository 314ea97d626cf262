// Console output: the escape parser's bounds, the redirected path writing every
// byte unchanged, the console path's pass-through and screen report, buffering
// across the buffer size, and a closed pipe.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kernel/hooks.h"
#include "kernel/output.h"
#include "kernel/unicode.h"
#include "output_capture.h"
#include "test_support.h"

using namespace zel;

namespace {

using output_capture::capture;

// The text in units of the given size, in a buffer of exactly its length so
// that a read past the end is caught by the address sanitizer.
std::vector<uint8_t> units_of(const std::string& s, uint32_t unit) {
    std::vector<uint8_t> out(s.size() * unit);
    for (size_t i = 0; i < s.size(); i++) string::put_char(out.data() + i * unit, unit, uint8_t(s[i]));
    return out;
}

TEST(EscapeParser, StopsAtTheEndOfTheText) {
    struct Case {
        std::string text;
        uint32_t units, final, count, n0, n1;
    };
    const Case cases[] = {
        {"\x1b", 0, 0, 0, 0, 0},                 // ESC at the end
        {"\x1b" "A", 0, 0, 0, 0, 0},             // ESC not followed by "["
        {"\x1b[", 2, 0, 0, 0, 0},                // unfinished
        {"\x1b[12;", 5, 0, 1, 12, 0},
        {"\x1b[12;3", 6, 0, 2, 12, 3},
        {"\x1b[70000A", 8, 'A', 1, 70000 % 65535, 0},
        {"\x1b[1;31mX", 7, 'm', 2, 1, 31},
        {"\x1b[1;31;42m", 10, 'm', 1, 42, 0},    // a new pair after the second number
        {"\x1b[;5H", 5, 'H', 2, 0, 5},
        {"\x1b[?25l", 3, '?', 0, 0, 0},
        {"\x1b[s", 3, 's', 0, 0, 0},
    };
    for (uint32_t unit : {1u, 2u, 4u}) {
        for (const Case& c : cases) {
            std::vector<uint8_t> text = units_of(c.text, unit);
            output::Escape e = output::parse_escape(text.data(), uint32_t(c.text.size()), unit);
            SCOPED_TRACE(c.text.substr(1) + " unit " + std::to_string(unit));
            EXPECT_EQ(e.units, c.units);
            EXPECT_EQ(e.final, c.final);
            EXPECT_EQ(e.count, c.count);
            if (c.count > 0) {
                EXPECT_EQ(e.n[0], c.n0);
            }
            if (c.count > 1) {
                EXPECT_EQ(e.n[1], c.n1);
            }
        }
    }
}

using Printer = void (*)(const void*, uint32_t);

struct PrintCase {
    Printer printer;
    uint32_t unit;
    std::vector<uint32_t> text;
    std::string redirected, console;
};

std::string print_units(const PrintCase& c, bool console) {
    std::vector<uint8_t> text(c.text.size() * c.unit);
    for (size_t i = 0; i < c.text.size(); i++) string::put_char(text.data() + i * c.unit, c.unit, c.text[i]);
    return capture(console, [&] { c.printer(text.data(), uint32_t(text.size())); });
}

std::vector<uint32_t> cps(const std::string& s) { return std::vector<uint32_t>(s.begin(), s.end()); }

TEST(Output, RedirectedAndConsolePaths) {
    const std::string colour = "\x1b[31mred\x1b[0m";
    const PrintCase cases[] = {
        {output::print_latin1, 1, cps(colour), colour, colour},
        {output::print_latin1_line, 1, cps(colour), colour + "\n", colour + "\n"},
        {output::print_latin1, 1, {'a', 0xE9}, "a\xC3\xA9", "a\xC3\xA9"},
        {output::print_ucs2_line, 2, {0x4E00, 'x'}, "\xE4\xB8\x80x\n", "\xE4\xB8\x80x\n"},
        {output::print_ucs4_line, 4, {0x1F600}, "\xF0\x9F\x98\x80\n", "\xF0\x9F\x98\x80\n"},
        // A lone ESC is a character; an unfinished sequence is dropped on a terminal.
        {output::print_latin1, 1, cps("x\x1b"), "x\x1b", "x\x1b"},
        {output::print_latin1, 1, cps("x\x1b" "7y"), "x\x1b" "7y", "x\x1b" "7y"},
        {output::print_ucs2, 2, cps("x\x1b[12;"), "x\x1b[12;", "x"},
        {output::print_latin1, 1, cps("\x1b[2J\x1b[5;10H"), "\x1b[2J\x1b[5;10H", "\x1b[2J\x1b[5;10H"},
        // A final character that no terminal takes ends a sequence without effect.
        {output::print_ucs2, 2, {0x1b, '[', '3', 0x4E00, 'z'}, "\x1b[3\xE4\xB8\x80z", "z"},
        // 4-byte text is not scanned, so it is never reported on.
        {output::print_ucs4, 4, cps("\x1b[?"), "\x1b[?", "\x1b[?"},
        {output::print_latin1, 1, cps("\x1b[?"), "\x1b[?", "<report>"},
    };
    for (const PrintCase& c : cases) {
        EXPECT_EQ(print_units(c, false), c.redirected) << c.console;
        if (c.console == "<report>") {
            EXPECT_EQ(print_units(c, true).rfind("Screen buffer info:\n   size______ ", 0), 0u);
        } else {
            EXPECT_EQ(print_units(c, true), c.console) << c.redirected;
        }
    }
}

TEST(Output, ScreenReport) {
    std::string text = "a\x1b[?b";
    std::string got = capture(true, [&] { output::print_latin1(text.data(), uint32_t(text.size())); });
    // A pipe has no window: the report shows the 80 x 24 default.
    EXPECT_EQ(got,
              "aScreen buffer info:\n"
              "   size______ 80x24\n"
              "   cursor____ 0x0\n"
              "   attribute_ 00000007\n"
              "   left______ 0 top: 0\n"
              "   right_____ 79 bottom: 23\n"
              "   max_______ 80x24\n"
              "b");
}

TEST(Output, LongTextCrossesTheBuffer) {
    for (bool console : {false, true}) {
        std::vector<uint8_t> text(3001, 0xE9);
        std::string got = capture(console, [&] { output::print_latin1_line(text.data(), uint32_t(text.size())); });
        std::string want;
        for (size_t i = 0; i < text.size(); i++) want += "\xC3\xA9";
        EXPECT_EQ(got, want + "\n");
    }
}

// Every print into a closed pipe raises, and the output works again once
// it is attached to a descriptor that takes the bytes.
TEST(Output, ClosedPipeRaisesAtEveryPrint) {
    signal(SIGPIPE, SIG_IGN);  // as the runtime's start does
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    output::attach(fds[1], false);
    EXPECT_TRUE(test_support::raises(Err::access_cannot_open, [] { output::print_cstring("nobody reads this\n"); }));
    EXPECT_TRUE(output::has_failed());
    EXPECT_TRUE(test_support::raises(Err::access_cannot_open, [] { output::print_ucs4_line(U"still nobody", 48); }));
    output::print_cstring("");  // nothing to write: nothing fails
    EXPECT_FALSE(output::has_failed());
    output::init();
    close(fds[1]);
    std::string got = capture(false, [] { output::print_cstring("read again\n"); });
    EXPECT_EQ(got, "read again\n");
}

TEST(Output, LastLineFeed) {
    struct Case {
        const char* text;
        bool line, last_lf;
    };
    static const Case cases[] = {{"a\n", false, true}, {"a", false, false}, {"a", true, true}, {"", true, true}};
    for (const Case& c : cases) {
        capture(false, [&] {
            uint32_t n = uint32_t(strlen(c.text));
            if (c.line) output::print_latin1_line(c.text, n);
            else output::print_latin1(c.text, n);
        });
        EXPECT_EQ(output::is_last_lf(), c.last_lf) << c.text << c.line;
    }
}

std::string hooked;
void text_hook(const void* text, uint32_t length, uint32_t) { hooked.append(static_cast<const char*>(text), length); }

TEST(Output, CstringGoesToTheTextHooks) {
    hooked.clear();
    hooks::add(nullptr, text_hook);
    std::string got = capture(false, [] { output::print_cstring("caf\xC3\xA9\n"); });
    hooks::remove(nullptr, text_hook);
    EXPECT_EQ(got, "caf\xC3\xA9\n");
    EXPECT_EQ(hooked, "caf\xC3\xA9\n");
}

}  // namespace
