// LZ decompression: unpacks data that the build stores inside the program in
// the system's own LZ77-style format.
//
// Layout, little-endian: packed size P, unpacked size U, then P bytes of blocks.
// A block is a 32-bit output length L (1 to 1 MiB) and a bit stream, read least
// significant bit first, of tokens: flag 0 and an 8-bit literal, or flag 1, a
// length code and a distance code for a copy of 3 to 566 bytes from up to
// 262,144 bytes back inside the same block.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace lz {

constexpr uint32_t MAX_BLOCK = 0x100000;

// Unpacks [packed, packed + size). Answers a tracked heap block of U + 8 bytes
// (bytes past the produced ones are zero) and stores the count produced when
// asked; answers null, with nothing allocated, on malformed data.
uint8_t* decompress(const uint8_t* packed, size_t size, uint32_t* produced);

}  // namespace lz
}  // namespace zel
