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
// decompression raises invalid-data (the boot load ends the process, see
// load_boot).
const Cell* decode(const uint8_t* data, const Cell* target, bool codec, int64_t length);

// The boot image: the binding records (a set-word and its value, for each
// pair of the bindings block), then every value of the values block, in the
// compact layout with version 1. Only the boot load reads binding records.
Cell encode_boot(const Cell* bindings, const Cell* values);

// Loads a boot image into the root block with the collector off (its active
// flag is restored afterwards), binds the words of its binding records and
// names its values as the boot literals (boot::value_at 0 is its first record
// that is not a binding); with keep_base the literals named before stay
// named. Answers the first value loaded (null when none). The length bounds
// the reading: a truncated or corrupted image raises zb-invalid-record and
// leaves the root block and every word as they were; a bad magic or a failed
// decompression prints its message and ends the process with
// BOOT_FAILURE_STATUS.
const Cell* load_boot(const uint8_t* image, uint32_t length, bool keep_base);
constexpr int BOOT_FAILURE_STATUS = 1;

}  // namespace zelbin
}  // namespace zel
