// Compression: a deflate encoder, a decoder for every kind of deflate block,
// the zlib and gzip envelopes around them, and the method words by which the
// compress and decompress natives choose one.
//
// Every routine works on caller buffers: an output buffer, an in/out length
// (capacity in, bytes produced or needed out) and the input. Nothing is
// written outside the output buffer; the routines go on counting past its
// end, so that the caller learns the size needed. Capacities stay below
// 4 GiB (they are binary! buffers).
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

// Result codes of the encoders and decoders.
enum ZipResult : int {
    ZIP_DONE = 0,
    ZIP_NO_ROOM = 1,      // the output does not fit; the length out is the size needed
    ZIP_BAD_DATA = 2,     // the input ends inside a block; a bad envelope; a tiny capacity
    ZIP_BAD_CODE = 3,     // a stored block past the input's end, a bad Huffman code
    ZIP_BAD_BLOCK = 4,    // the reserved block type
    ZIP_BAD_DISTANCE = 5  // a distance before the start of the output
};

namespace deflate {
// Raw deflate data: one final block with the fixed Huffman codes.
int compress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);
}

namespace inflate {
// Decodes raw deflate data. With no output buffer and a capacity of 0 it
// measures: ZIP_NO_ROOM with the decoded size.
int decompress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);
// The same, answering in *used the bytes the data took (its last one
// counted whole): an envelope's trailer follows them.
int decompress_counted(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length, size_t* used);
}

namespace zlib {
// ZIP_BAD_DATA when the capacity is below 6 (the length out is then the
// input length plus 6).
int compress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);
// The inflate result, or ZIP_BAD_DATA for a bad header or checksum, or
// when anything but the trailer follows the compressed data.
int decompress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);
}

namespace gzip {
// ZIP_BAD_DATA when the capacity is below 18 (the length out is then the
// input length plus 18).
int compress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);
// The inflate result, or ZIP_BAD_DATA for a bad header, size or checksum,
// or when anything but the trailer follows the compressed data.
int decompress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);
}

namespace compress {

using Coder = int (*)(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length);

struct Method {
    const char* name;
    Coder encode;
    Coder decode;
    bool sized;  // a size given by the caller may stand in for measuring
};

// Interns the method words zlib, deflate and gzip.
void init();
// The method a word names (compared without case), or null.
const Method* method_of(const Cell* word);

}  // namespace compress
}  // namespace zel
