// Message digests: MD5, SHA-1, SHA-256, SHA-384 and SHA-512, computed here
// from their published definitions (RFC 1321, FIPS 180-4). This is the
// service the checksum module asks for digests; it keeps no state between
// calls. A digest may be fed in pieces, so that HMAC hashes a pad and the
// data one after the other without joining them in a new buffer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace platform {

enum DigestKind : uint32_t { DIGEST_MD5, DIGEST_SHA1, DIGEST_SHA256, DIGEST_SHA384, DIGEST_SHA512, DIGEST_KINDS };

constexpr uint32_t DIGEST_MAX_SIZE = 64;    // bytes of the longest digest (SHA-512)
constexpr uint32_t DIGEST_MAX_BLOCK = 128;  // bytes of the longest block (SHA-384, SHA-512)

// A digest under way. The 32-bit algorithms keep their chaining words in
// h32, SHA-384 and SHA-512 in h64.
struct DigestState {
    DigestKind kind;
    uint32_t filled;  // bytes waiting in block
    uint64_t total;   // bytes fed so far
    uint32_t h32[8];
    uint64_t h64[8];
    uint8_t block[DIGEST_MAX_BLOCK];
};

// The bytes of the digest and of the block the algorithm works on.
uint32_t digest_size(DigestKind kind);
uint32_t digest_block_size(DigestKind kind);

void digest_begin(DigestState* s, DigestKind kind);
void digest_feed(DigestState* s, const uint8_t* bytes, size_t length);
// Pads the message, runs the last blocks and writes digest_size(kind) bytes.
void digest_end(DigestState* s, uint8_t* out);

// The digest of one buffer.
void digest(DigestKind kind, const uint8_t* bytes, size_t length, uint8_t* out);

}  // namespace platform
}  // namespace zel
