// Checksums and message digests: CRC-32 and Adler-32 for the gzip and zlib
// envelopes, the Internet checksum, and the digests and HMACs that the
// `checksum` native offers by method word; and the secure random bytes of
// the cryptographic service.
#pragma once
#include <cstdint>

namespace zel {
namespace checksum {

// The method words, in the order init interns them.
enum Method : uint32_t { M_TCP, M_MD5, M_SHA1, M_CRC32, M_ADLER32, M_SHA256, M_SHA384, M_SHA512, M_HASH, METHODS };

// Digest method codes: tcp 0, crc32 1, and the digests 2 (md5) to 6 (sha512).
enum Code : int32_t { C_NONE = -1, C_TCP, C_CRC32, C_MD5, C_SHA1, C_SHA256, C_SHA384, C_SHA512 };

// A digest or an HMAC: size bytes of bytes hold it (0 for none).
struct Digest {
    uint8_t bytes[64];
    uint32_t size;
};

// Interns the method words.
void init();
// The method a word's symbol names, compared without case; METHODS for
// any other word.
Method method_of(uint32_t symbol);
// The method's digest code; C_NONE for adler32 and hash.
Code method_code(Method m);
// The digest's size in bytes; 0 for a code that is no digest.
uint32_t digest_size(int32_t code);

// CRC-32 of ISO-HDLC / IEEE 802.3 (initial all ones, reflected, final
// complement), as gzip uses it.
uint32_t crc32(const uint8_t* bytes, uint32_t length);
// Adler-32 of RFC 1950 (s2 in the high half, s1 in the low), as zlib uses it.
uint32_t adler32(const uint8_t* bytes, uint32_t length);
// The 16-bit Internet checksum; an odd last byte counts as a low byte.
uint32_t tcp(const uint8_t* bytes, uint32_t length);

// The digest of a code from C_MD5 to C_SHA512; invalid-arg with the code for
// any other, feature-na when the digest service fails.
Digest digest(const uint8_t* bytes, uint32_t length, int32_t code);
// The HMAC of RFC 2104 keyed by key. A method that is no digest prints that
// it has no HMAC and answers an empty digest; feature-na as digest.
Digest hmac(const uint8_t* data, uint32_t length, const uint8_t* key, uint32_t key_length, Method m);
// The hash method: the hash tables' MurmurHash3 of the bytes (with the
// runtime seed); given a table size above 0, the bucket it falls in, the
// hash modulo that size.
uint32_t table_hash(const uint8_t* bytes, uint32_t length, uint32_t size);

}  // namespace checksum

namespace crypto {

// Fills the buffer from the system's secure source; false when the source
// fails, and the buffer is then not to be used.
bool gen_random(uint8_t* buffer, uint32_t length);

}  // namespace crypto
}  // namespace zel
