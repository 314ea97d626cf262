// Typed printing on the console output.
#include "kernel/print.h"

#include <cstdio>
#include <cstring>

#include "kernel/hooks.h"
#include "kernel/output.h"

namespace zel {
namespace print {

namespace {

// The number printers' scratch: a 64-bit float in "%.16g" takes at most 24 bytes.
char number[64];

void formatted(int n) {
    if (n > 0) output::print_text(number, size_t(n) < sizeof number ? size_t(n) : sizeof number - 1);
}

void one(const Arg& a) {
    switch (a.type) {
    case ARG_LOGIC: output::print_cstring(a.i ? "true" : "false"); break;
    case ARG_INTEGER: integer(a.i); break;
    case ARG_CHAR: char_(uint8_t(a.i)); break;
    case ARG_FLOAT32: float32(a.f32); break;
    case ARG_FLOAT64: float64(a.f64); break;
    case ARG_CSTRING: output::print_cstring(a.s); break;
    default: hex(a.u); break;
    }
}

// The backend's inline rows must not be overwritten by a print.
struct TuiAside {
    TuiAside() { hooks::suspend_for_print(); }
    ~TuiAside() { hooks::resume_after_print(); }
};

}  // namespace

void integer(int32_t v) { formatted(std::snprintf(number, sizeof number, "%i", v)); }
void hex_byte(uint32_t v) { formatted(std::snprintf(number, sizeof number, "%02X", v)); }
void hex(uint64_t v) { formatted(std::snprintf(number, sizeof number, "%08llX", static_cast<unsigned long long>(v))); }
void float64(double v) { formatted(std::snprintf(number, sizeof number, "%.16g", v)); }
void float32(float v) { formatted(std::snprintf(number, sizeof number, "%.7g", double(v))); }

void values(uint32_t count, const Arg* args) {
    TuiAside aside;
    for (uint32_t i = 0; i < count; i++) one(args[i]);
}

void values_line(uint32_t count, const Arg* args) {
    TuiAside aside;
    for (uint32_t i = 0; i < count; i++) one(args[i]);
    output::print_text("\n", 1);
}

void chars(const char* s, uint32_t count) {
    TuiAside aside;
    output::print_text(s, strnlen(s, count));
}

void char_(uint8_t c) {
    TuiAside aside;
    output::print_text(reinterpret_cast<const char*>(&c), 1);
}

// Control characters with a name of their own; the others below 32 are "^"
// followed by the letter 64 + value.
struct Named {
    uint8_t c;
    char letter;
};
static const Named named[] = {{0, '@'}, {9, '-'}, {10, '/'}, {27, ']'}};

void char_literal(uint8_t c) {
    static const char digits[] = "0123456789ABCDEF";
    char text[16] = "#\"";
    size_t n = 2;
    if (c < 32) {
        char letter = char(64 + c);
        for (const Named& m : named)
            if (m.c == c) letter = m.letter;
        text[n++] = '^';
        text[n++] = letter;
    } else if (c < 128) {
        text[n++] = char(c);
    } else {
        const char form[] = {'^', '(', digits[c >> 4], digits[c & 15], ')'};
        std::memcpy(text + n, form, sizeof form);
        n += sizeof form;
    }
    text[n++] = '"';
    TuiAside aside;
    output::print_text(text, n);
}

}  // namespace print
}  // namespace zel
