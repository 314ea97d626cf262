#include "interpreter/checksum.h"

namespace zel {
namespace checksum {

namespace {

// The table of the reflected polynomial, built on first use.
struct CrcTable {
    uint32_t entries[256];
    CrcTable() {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
    }
};

}  // namespace

uint32_t crc32(const uint8_t* bytes, uint32_t length) {
    static const CrcTable table;
    uint32_t c = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; i++) c = table.entries[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// The sums are reduced after chunks of at most 3,854 bytes, which is as far
// as s2 can grow within 32 bits from a reduced start.
uint32_t adler32(const uint8_t* bytes, uint32_t length) {
    constexpr uint32_t MOD = 65521, CHUNK = 3854;
    uint32_t s1 = 1, s2 = 0;
    while (length > 0) {
        uint32_t n = length < CHUNK ? length : CHUNK;
        length -= n;
        for (uint32_t i = 0; i < n; i++) {
            s1 += bytes[i];
            s2 += s1;
        }
        bytes += n;
        s1 %= MOD;
        s2 %= MOD;
    }
    return s2 << 16 | s1;
}

}  // namespace checksum
}  // namespace zel
