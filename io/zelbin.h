// Zelbin: the binary serialisation of values. One stream holds one value
// (the boot image: a sequence of them) in a frame of a header, an optional
// symbol table and a payload of records, in one of two record layouts:
// compact (variable-length integers) or fixed (32-bit words). Series,
// contexts and functions met again are written once and then referred to by
// the path of positions that leads to their first occurrence, so shared and
// cyclic values come back shared and cyclic.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace zelbin {

// True while a stream is decoded for the codec object and while a writer
// runs; false during the boot load (which selects the boot record forms).
extern bool is_codec;

// The whole stream of the value as a new binary!, in the fixed or the compact
// layout. A value of a type without a record raises access error no-codec.
Cell encode(const Cell* value);
Cell encode_cp(const Cell* value);

// Decodes the stream at data and appends every top-level value to the target
// block; answers the first cell decoded (null when none was). A negative
// length leaves the end to the stream's own header. codec tells the codec
// object (true) from the boot load. Corrupted data raises script error
// zb-invalid-record with the 1-based byte position; a bad magic or a failed
// decompression raises invalid-data (the boot load ends the process).
Cell* decode(const uint8_t* data, const Cell* target, bool codec, int64_t length);

}  // namespace zelbin
}  // namespace zel
