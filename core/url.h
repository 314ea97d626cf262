// url!: resource locators as text. Its construction from blocks, its mold
// with percent escapes, path access (url/a), the percent decoding and encoding
// that dehex, enhex and the lexer use, and read, write and open, which hand an
// http locator to the HTTP client and any other to a port.
//
// A url! is laid out as a string! (core/string.h); file! is its child type.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace url {

// ---- percent encoding ---------------------------------------------------------

// The tables of encode_byte.
enum EncodeMode : int32_t {
    ENCODE_COMPONENT = 254,  // enhex of a string!: letters, digits and "-._~" stay
    ENCODE_MOLD = 255,       // mold and enhex of the other text types: file::mold_safe stays
};

// Appends the value's text (from its index) to the target string with the
// percent escapes decoded; an escaped UTF-8 sequence that does not decode
// raises access error invalid-utf8.
void decode(const Cell* value, const Cell* target);
// Appends the value's UTF-8 text percent-encoded (ASCII only) to the target.
void encode_char(const Cell* value, const Cell* target, int32_t mode);
// Writes the byte, or "%" and two upper-case hexadecimal digits when it is
// 0x80 or above or not safe in the mode, into out; answers the count (1 or 3).
uint32_t encode_byte(int32_t mode, uint8_t byte, char out[3]);
// True when [p, end) starts with "%" and two hexadecimal digits; the byte they
// give goes to out.
bool decode_escape(const uint8_t* p, const uint8_t* end, uint8_t* out);

// ---- services the I/O layer provides -----------------------------------------

// The HTTP client: the method word, the url, a headers block or none, the
// body (none, block!, string! or binary!) and the /binary, /lines and /info
// flags; answers the response, or none when no connection could be made.
using HttpRequest = const Cell* (*)(const Cell* method, const Cell* url, const Cell* headers,
                                    const Cell* body, bool binary, bool lines, bool info);
// Makes a port (not opened) for a non-http locator into *port: the standard
// library's parse-url on a copy of the url, then the port! prototype; answers
// false when parse-url did not answer an object.
using PortMaker = bool (*)(const Cell* url, Cell* port);
// Installed by the modules that provide them; until then read, write and open
// raise internal error not-done.
void set_http_client(HttpRequest request);
void set_port_maker(PortMaker maker);

// A port for the url in the result slot; with open, the port's open action
// runs with the given refinements. invalid-arg when no port can be made.
Cell* open_port(Cell* url, bool open, bool new_, bool read, bool write, bool seek, Cell* allow);

// ---- actions ------------------------------------------------------------------

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
const Cell* open(Cell* url, bool new_, bool read, bool write, bool seek, Cell* allow);
const Cell* read(Cell* url, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
const Cell* write(Cell* url, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
                  Cell* seek, Cell* allow, Cell* as);

void init();

}  // namespace url
}  // namespace zel
