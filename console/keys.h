// Key codes from terminal input: a decoder that takes the bytes a terminal
// sends for each key (UTF-8 characters, control characters and the CSI and
// SS3 escape sequences of the cursor, editing and function keys) and answers
// the console's key codes. It keeps its state between bytes, so a sequence
// split across reads decodes the same.
#pragma once
#include <cstdint>

namespace zel {
namespace keys {

// A character key is its code point (Enter 13, Tab 9, Backspace 8, Esc 27,
// Ctrl-A to Ctrl-Z 1 to 26); the other keys have negative codes.
enum Code : int32_t {
    NONE = 0,  // a key that has no code
    BACKSPACE = 8,
    ENTER = 13,
    ESC = 27,
    UP = -20,
    DOWN = -21,
    RIGHT = -22,
    LEFT = -23,
    END = -24,
    HOME = -25,
    INSERT = -26,
    DELETE = -27,
    PAGE_UP = -28,
    PAGE_DOWN = -29,
    F1 = -31,  // F2 is -32, and so on to F12, -42
    F12 = -42,
};

struct Decoder {
    enum Mode : uint8_t { GROUND, UTF8, ESCAPE, CSI, CSI_LINUX, SS3 } mode = GROUND;
    uint8_t bytes[4];    // the UTF-8 sequence so far
    uint8_t count = 0;   // its bytes
    uint8_t need = 0;    // its length
    int32_t param = -1;  // the first number of a CSI sequence, -1 when none
    bool more_params = false;
    bool overlong = false;  // a number too large for any key
};

// Takes one byte; the keys it completes go to out (at most two: a byte that
// breaks a sequence ends it as a key of its own and then counts as itself).
// Answers their number.
uint32_t feed(Decoder& d, uint8_t byte, int32_t out[2]);
// True while a sequence is unfinished.
bool is_pending(const Decoder& d);
// Ends an unfinished sequence when no more bytes come: a lone ESC is the Esc
// key, a cut UTF-8 character U+FFFD, any other sequence a key with no code.
// False when nothing was pending.
bool flush(Decoder& d, int32_t* key);

}  // namespace keys
}  // namespace zel
