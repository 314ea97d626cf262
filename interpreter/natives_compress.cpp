// The compress and decompress natives: the method word picks the coder of
// io/deflate.h; the result is a new binary! of the exact size.
#include <algorithm>
#include <cstdint>

#include "core/raise.h"
#include "core/stack.h"
#include "datatypes/binary.h"
#include "interpreter/natives.h"
#include "interpreter/natives_system.h"
#include "io/deflate.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace natives {
namespace system {

using stack::reg;

namespace {

constexpr uint32_t SIZE_REFINEMENT = 0;

const compress::Method& method_arg(const Cell* word) {
    const compress::Method* m = compress::method_of(word);
    if (!m) error::raise(Err::script_invalid_arg, word);
    return *m;
}

// Room for any encoding of n bytes: every byte as a 9-bit literal at worst,
// the block header and end code, and the largest envelope.
size_t encoded_bound(size_t n) { return (n * 9 + 3 + 7 + 7) / 8 + 18; }

// A buffer for a result of n bytes; a size no binary! can hold is a lack of
// memory, as it would be for any other series.
Node new_result(size_t n) {
    if (n > memory::MAX_DATA) error::raise(Err::internal_no_memory);
    return series::new_bytes(uint32_t(n));
}

// The first room for a size the caller gave: what the input is likely to
// fill, never all of a size the data may be far from.
size_t first_room(size_t in_length) { return std::max<size_t>(4096, in_length * 8); }

// Decodes the input (the first argument) into a new buffer of size bytes:
// the buffer, with the bytes written in *produced; or 0 when the data is
// corrupt or needs more room (*produced is then the size it needs).
Node decode_into(const compress::Method& method, size_t size, size_t* produced) {
    Node out = new_result(size);
    *produced = size;
    const uint8_t* in = binary::head_address(reg.base);
    int rc = method.decode(series::data(node::buffer(out)), produced, in, binary::length(reg.base));
    if (rc == ZIP_DONE) return out;
    if (rc != ZIP_NO_ROOM) *produced = SIZE_MAX;  // no room would do
    return 0;
}

}  // namespace

void compress(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_compress, refinements);
    const compress::Method& method = method_arg(reg.base + 1);
    bool is_binary = cell::type(reg.base) == T_BINARY;
    uint32_t n = 0;
    Node text = is_binary ? 0 : utf8::from_string(reg.base, &n);
    if (is_binary) n = binary::length(reg.base);
    Node scratch = new_result(encoded_bound(n));
    const uint8_t* in = is_binary ? binary::head_address(reg.base) : series::head_ptr(node::buffer(text));
    SeriesBuffer* b = node::buffer(scratch);
    size_t produced = b->size;
    if (method.encode(series::data(b), &produced, in, n) != ZIP_DONE)
        error::raise(Err::script_invalid_data, reg.base);
    stack::return_value(binary::from_memory(series::data(node::buffer(scratch)), uint32_t(produced)));
}

// The decoded size is measured by a first decoding without output, unless
// the caller gave one (zlib and deflate only). A given size is a bound, not
// a promise: decoding starts in a buffer of first_room at most, and data
// that needs more is decoded again into the size the decoder counted, when
// that is within the bound. Data past the bound fails as corrupt data does.
void decompress(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_decompress, refinements);
    const compress::Method& method = method_arg(reg.base + 1);
    size_t bound = 0;
    if (refinements[SIZE_REFINEMENT] >= 0) {
        const Cell* sz = reg.base + refinements[SIZE_REFINEMENT];
        if (cell::get_int(sz) < 0) error::raise(Err::script_invalid_arg, sz);
        if (method.sized) bound = size_t(cell::get_int(sz));
    }
    size_t in_length = binary::length(reg.base);
    size_t size = std::min(bound, first_room(in_length));
    if (size == 0) {
        int rc = method.decode(nullptr, &size, binary::head_address(reg.base), in_length);
        if (rc != ZIP_DONE && rc != ZIP_NO_ROOM) error::raise(Err::script_invalid_data, reg.base);
    }
    size_t produced;
    Node out = decode_into(method, size, &produced);
    if (out == 0 && size < bound && produced <= bound) out = decode_into(method, produced, &produced);
    if (out == 0) error::raise(Err::script_invalid_data, reg.base);
    node::buffer(out)->tail = uint32_t(produced);
    Cell* result = stack::push_slot();
    cell::make_series(result, T_BINARY, out);
    stack::return_value(result);
}

}  // namespace system
}  // namespace natives
}  // namespace zel
