// Checksums and message digests: CRC-32 and Adler-32 for the gzip and zlib
// envelopes, the Internet checksum, and the digests and HMACs that the
// `checksum` native offers by method word.
#pragma once
#include <cstdint>

namespace zel {
namespace checksum {

// CRC-32 of ISO-HDLC / IEEE 802.3 (initial all ones, reflected, final
// complement), as gzip uses it.
uint32_t crc32(const uint8_t* bytes, uint32_t length);
// Adler-32 of RFC 1950 (s2 in the high half, s1 in the low), as zlib uses it.
uint32_t adler32(const uint8_t* bytes, uint32_t length);

}  // namespace checksum
}  // namespace zel
