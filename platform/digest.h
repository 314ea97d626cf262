// Message digests: MD5, SHA-1, SHA-256, SHA-384 and SHA-512, computed by the
// EVP interface of libcrypto, which is opened on the first digest. This is
// the service the checksum module asks for digests. A digest may be fed in
// pieces, so that HMAC hashes a pad and the data one after the other without
// joining them in a new buffer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace platform {

enum DigestKind : uint32_t { DIGEST_MD5, DIGEST_SHA1, DIGEST_SHA256, DIGEST_SHA384, DIGEST_SHA512, DIGEST_KINDS };

constexpr uint32_t DIGEST_MAX_SIZE = 64;    // bytes of the longest digest (SHA-512)
constexpr uint32_t DIGEST_MAX_BLOCK = 128;  // bytes of the longest block (SHA-384, SHA-512)

// A digest under way. The context is the library's, made by digest_begin
// and freed by digest_end, so every begin must meet its end; it is null
// once the library has failed.
struct DigestState {
    DigestKind kind;
    void* context;
};

// The bytes of the digest and of the block the algorithm works on.
uint32_t digest_size(DigestKind kind);
uint32_t digest_block_size(DigestKind kind);

void digest_begin(DigestState* s, DigestKind kind);
void digest_feed(DigestState* s, const uint8_t* bytes, size_t length);
// Writes digest_size(kind) bytes and ends the digest. False when the library
// failed at any step (out of memory, or the algorithm refused by its
// configuration) or could not be opened; the bytes are then zeros.
bool digest_end(DigestState* s, uint8_t* out);

// The digest of one buffer; false as digest_end.
bool digest(DigestKind kind, const uint8_t* bytes, size_t length, uint8_t* out);

}  // namespace platform
}  // namespace zel
