// Typed printing: numbers, flags, bytes and C strings on the console output,
// for the fatal report and low-level diagnostics. Every routine writes through
// kernel/output.h, gives its text to the text hooks and flushes.
#pragma once
#include <cstdint>

namespace zel {
namespace print {

// The type of a typed argument; any other type prints as hexadecimal.
enum ArgType : uint32_t {
    ARG_LOGIC = 1,    // "true" or "false"
    ARG_INTEGER = 2,  // signed decimal
    ARG_CHAR = 3,     // the low byte, as one byte
    ARG_FLOAT32 = 4,  // "%.7g"
    ARG_FLOAT64 = 5,  // "%.16g"
    ARG_CSTRING = 6,  // a NUL-terminated byte string
    ARG_ADDRESS = 7,  // at least eight upper-case hexadecimal digits
};

struct Arg {
    uint32_t type;
    union {
        int32_t i;
        float f32;
        double f64;
        const char* s;
        uint64_t u;
    };
    static Arg logic(bool b) { Arg a; a.type = ARG_LOGIC; a.i = b; return a; }
    static Arg integer(int32_t v) { Arg a; a.type = ARG_INTEGER; a.i = v; return a; }
    static Arg byte(uint8_t c) { Arg a; a.type = ARG_CHAR; a.i = c; return a; }
    static Arg float32(float f) { Arg a; a.type = ARG_FLOAT32; a.f32 = f; return a; }
    static Arg float64(double f) { Arg a; a.type = ARG_FLOAT64; a.f64 = f; return a; }
    static Arg cstring(const char* s) { Arg a; a.type = ARG_CSTRING; a.s = s; return a; }
    static Arg address(uint64_t v) { Arg a; a.type = ARG_ADDRESS; a.u = v; return a; }
};

// The arguments one after another with no separator; the line variant adds LF.
void values(uint32_t count, const Arg* args);
void values_line(uint32_t count, const Arg* args);
// At most count bytes of s, stopping at NUL.
void chars(const char* s, uint32_t count);
// One byte as it is.
void char_(uint8_t c);
// A byte in the language's character notation: #"a", #"^/", #"^(C8)".
void char_literal(uint8_t c);

// Number printers.
void integer(int32_t v);     // "%i"
void hex_byte(uint32_t v);   // "%02X"
void hex(uint64_t v);        // "%08X", wider when the value needs it
void float64(double v);      // "%.16g"
void float32(float v);       // "%.7g"

}  // namespace print
}  // namespace zel
