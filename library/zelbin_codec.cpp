// The Zelbin codec object's routines over io/zelbin.*: a value to a stream
// in either layout, and a stream (or the file or url holding one) back to
// its value.
#include "library/zelbin_codec.h"

#include "core/block.h"
#include "core/logic.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/url.h"
#include "datatypes/binary.h"
#include "io/file_io.h"
#include "io/zelbin.h"
#include "library/routines.h"

namespace zel {
namespace zelbin_codec {

namespace {

// The shortest stream that can hold a value: the 8-byte header and more
// than two bytes of records.
constexpr uint32_t MIN_STREAM = 11;

Cell* arg(uint32_t k) { return stack::arg(k); }

void encode_star() {
    bool compact = logic::is_truthy(arg(1));
    Cell stream = compact ? zelbin::encode_cp(arg(0)) : zelbin::encode(arg(0));
    *arg(0) = stream;
}

// The bytes of the payload: a binary as it is, a file or url read whole.
const Cell* stream_of(Cell* payload) {
    switch (cell::type(payload)) {
    case T_BINARY: return payload;
    case T_FILE: return io::read(payload, nullptr, nullptr, true, false);
    case T_URL: return url::read(payload, nullptr, nullptr, true, false, false, nullptr);
    default: error::raise(Err::script_invalid_data, payload);
    }
}

// Decoding evaluates nothing, so the stream's bytes stay where they are
// while the records are read.
void decode() {
    Cell stream = *stream_of(arg(0));  // the payload or the bytes read, on the value stack
    uint32_t size = binary::length(&stream);
    if (size < MIN_STREAM) error::raise(Err::script_invalid_data, arg(0));
    Cell* target = stack::push_slot();
    block::write_cell(target, 1);
    zelbin::decode(binary::head_address(&stream), target, true, size);
    *arg(0) = block::buffer_length(target) == 1 ? *block::cell_at(target, 0) : *target;
}

const routines::Def ROUTINES[] = {
    {"zelbin-encode*", R"~(data [any-type!] compact? [logic!])~", encode_star},
    {"zelbin-decode", R"~(payload [any-type!])~", decode},
};

}  // namespace

void bind() { routines::bind_all(ROUTINES); }

}  // namespace zelbin_codec
}  // namespace zel
