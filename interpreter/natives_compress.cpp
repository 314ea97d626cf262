// The compress and decompress natives: the method word picks the coder of
// io/deflate.h; the result is a new binary! of the exact size.
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
// the caller gave it (zlib and deflate only); a size too small for the data
// fails as corrupt data does.
void decompress(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_decompress, refinements);
    const compress::Method& method = method_arg(reg.base + 1);
    size_t size = 0;
    if (refinements[SIZE_REFINEMENT] >= 0) {
        const Cell* sz = reg.base + refinements[SIZE_REFINEMENT];
        if (cell::get_int(sz) < 0) error::raise(Err::script_invalid_arg, sz);
        if (method.sized) size = size_t(cell::get_int(sz));
    }
    size_t in_length = binary::length(reg.base);
    if (size == 0) {
        int rc = method.decode(nullptr, &size, binary::head_address(reg.base), in_length);
        if (rc != ZIP_DONE && rc != ZIP_NO_ROOM) error::raise(Err::script_invalid_data, reg.base);
    }
    Node out = new_result(size);
    SeriesBuffer* b = node::buffer(out);
    size_t produced = size;
    if (method.decode(series::data(b), &produced, binary::head_address(reg.base), in_length) != ZIP_DONE)
        error::raise(Err::script_invalid_data, reg.base);
    b->tail = uint32_t(produced);
    Cell* result = stack::push_slot();
    cell::make_series(result, T_BINARY, out);
    stack::return_value(result);
}

}  // namespace system
}  // namespace natives
}  // namespace zel
