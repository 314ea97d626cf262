// The key decoder: a small state machine over the bytes, and one table that
// names every escape sequence it knows. A sequence is looked up by its
// introducer, its final byte and (for "~" sequences) its first number, so
// modifier numbers after a ";" (Ctrl-Up is "ESC[1;5A") give the plain key.
#include "console/keys.h"

#include "kernel/unicode.h"

namespace zel {
namespace keys {

namespace {

constexpr int32_t ANY = -1;
constexpr int32_t PARAM_LIMIT = 9999;

struct Sequence {
    Decoder::Mode intro;  // CSI ("ESC["), SS3 ("ESCO") or CSI_LINUX ("ESC[[")
    uint8_t final;
    int32_t param;  // the first number, or ANY
    int32_t code;
};

constexpr Sequence SEQUENCES[] = {
    {Decoder::CSI, 'A', ANY, UP},        {Decoder::CSI, 'B', ANY, DOWN},
    {Decoder::CSI, 'C', ANY, RIGHT},     {Decoder::CSI, 'D', ANY, LEFT},
    {Decoder::CSI, 'F', ANY, END},       {Decoder::CSI, 'H', ANY, HOME},
    {Decoder::CSI, 'P', ANY, F1},        {Decoder::CSI, 'Q', ANY, F1 - 1},
    {Decoder::CSI, 'R', ANY, F1 - 2},    {Decoder::CSI, 'S', ANY, F1 - 3},
    {Decoder::CSI, '~', 1, HOME},        {Decoder::CSI, '~', 2, INSERT},
    {Decoder::CSI, '~', 3, DELETE},      {Decoder::CSI, '~', 4, END},
    {Decoder::CSI, '~', 5, PAGE_UP},     {Decoder::CSI, '~', 6, PAGE_DOWN},
    {Decoder::CSI, '~', 7, HOME},        {Decoder::CSI, '~', 8, END},
    {Decoder::CSI, '~', 11, F1},         {Decoder::CSI, '~', 12, F1 - 1},
    {Decoder::CSI, '~', 13, F1 - 2},     {Decoder::CSI, '~', 14, F1 - 3},
    {Decoder::CSI, '~', 15, F1 - 4},     {Decoder::CSI, '~', 17, F1 - 5},
    {Decoder::CSI, '~', 18, F1 - 6},     {Decoder::CSI, '~', 19, F1 - 7},
    {Decoder::CSI, '~', 20, F1 - 8},     {Decoder::CSI, '~', 21, F1 - 9},
    {Decoder::CSI, '~', 23, F1 - 10},    {Decoder::CSI, '~', 24, F12},
    {Decoder::SS3, 'A', ANY, UP},        {Decoder::SS3, 'B', ANY, DOWN},
    {Decoder::SS3, 'C', ANY, RIGHT},     {Decoder::SS3, 'D', ANY, LEFT},
    {Decoder::SS3, 'F', ANY, END},       {Decoder::SS3, 'H', ANY, HOME},
    {Decoder::SS3, 'P', ANY, F1},        {Decoder::SS3, 'Q', ANY, F1 - 1},
    {Decoder::SS3, 'R', ANY, F1 - 2},    {Decoder::SS3, 'S', ANY, F1 - 3},
    {Decoder::CSI_LINUX, 'A', ANY, F1},  {Decoder::CSI_LINUX, 'B', ANY, F1 - 1},
    {Decoder::CSI_LINUX, 'C', ANY, F1 - 2}, {Decoder::CSI_LINUX, 'D', ANY, F1 - 3},
    {Decoder::CSI_LINUX, 'E', ANY, F1 - 4},
};

int32_t lookup(const Decoder& d, uint8_t final) {
    if (d.overlong) return NONE;
    for (const Sequence& s : SEQUENCES) {
        if (s.intro == d.mode && s.final == final && (s.param == ANY || s.param == d.param)) return s.code;
    }
    return NONE;
}

void reset(Decoder& d) {
    d.mode = Decoder::GROUND;
    d.count = d.need = 0;
    d.param = -1;
    d.more_params = d.overlong = false;
}

// The byte as a key of its own, or the start of a sequence (no key).
uint32_t ground(Decoder& d, uint8_t byte, int32_t* out) {
    if (byte == 0x1B) {
        d.mode = Decoder::ESCAPE;
        return 0;
    }
    if (byte < 0x80) {
        *out = byte == 0x7F ? int32_t(BACKSPACE) : int32_t(byte);
        return 1;
    }
    int length = utf8::sequence_length(byte);
    if (length == 0) {
        *out = int32_t(utf8::REPLACEMENT);
        return 1;
    }
    d.mode = Decoder::UTF8;
    d.bytes[0] = byte;
    d.count = 1;
    d.need = uint8_t(length);
    return 0;
}

uint32_t utf8_byte(Decoder& d, uint8_t byte, int32_t* out) {
    if ((byte & 0xC0) != 0x80) {
        reset(d);
        out[0] = int32_t(utf8::REPLACEMENT);
        return 1 + ground(d, byte, out + 1);
    }
    d.bytes[d.count++] = byte;
    if (d.count < d.need) return 0;
    int32_t cp = -1;
    utf8::decode_char(d.bytes, d.bytes + d.count, &cp);
    reset(d);
    *out = cp < 0 ? int32_t(utf8::REPLACEMENT) : cp;
    return 1;
}

uint32_t escape_byte(Decoder& d, uint8_t byte, int32_t* out) {
    if (byte == '[' || byte == 'O') {
        d.mode = byte == '[' ? Decoder::CSI : Decoder::SS3;
        return 0;
    }
    reset(d);
    out[0] = ESC;
    return 1 + ground(d, byte, out + 1);
}

// Parameter bytes (digits and ";"), then one final byte. A control byte
// inside breaks the sequence: it ends as a key with no code and the byte
// counts as itself.
uint32_t sequence_byte(Decoder& d, uint8_t byte, int32_t* out) {
    if (d.mode == Decoder::CSI && byte == '[' && d.param < 0 && !d.more_params) {
        d.mode = Decoder::CSI_LINUX;
        return 0;
    }
    if (byte >= '0' && byte <= '9' && d.mode != Decoder::CSI_LINUX) {
        if (!d.more_params) {
            int32_t p = (d.param < 0 ? 0 : d.param) * 10 + (byte - '0');
            d.overlong |= p > PARAM_LIMIT;
            d.param = p > PARAM_LIMIT ? PARAM_LIMIT : p;
        }
        return 0;
    }
    if (byte >= 0x20 && byte <= 0x3F && d.mode != Decoder::CSI_LINUX) {
        d.more_params = true;
        return 0;
    }
    if (byte >= 0x40 && byte <= 0x7E) {
        *out = lookup(d, byte);
        reset(d);
        return 1;
    }
    reset(d);
    out[0] = NONE;
    return 1 + ground(d, byte, out + 1);
}

}  // namespace

uint32_t feed(Decoder& d, uint8_t byte, int32_t out[2]) {
    switch (d.mode) {
    case Decoder::GROUND: return ground(d, byte, out);
    case Decoder::UTF8: return utf8_byte(d, byte, out);
    case Decoder::ESCAPE: return escape_byte(d, byte, out);
    default: return sequence_byte(d, byte, out);
    }
}

bool is_pending(const Decoder& d) { return d.mode != Decoder::GROUND; }

bool flush(Decoder& d, int32_t* key) {
    if (d.mode == Decoder::GROUND) return false;
    *key = d.mode == Decoder::ESCAPE ? ESC : d.mode == Decoder::UTF8 ? int32_t(utf8::REPLACEMENT) : NONE;
    reset(d);
    return true;
}

}  // namespace keys
}  // namespace zel
