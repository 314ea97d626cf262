// The zlib and gzip envelopes around raw deflate data: their headers, and
// the Adler-32 (zlib) or CRC-32 and size (gzip) trailers that check the
// decoded bytes.
#include <cstring>

#include "interpreter/checksum.h"
#include "io/deflate.h"

namespace zel {

namespace {

constexpr size_t ZLIB_HEADER = 2, ZLIB_TRAILER = 4, GZIP_HEADER = 10, GZIP_TRAILER = 8;

// gzip header flags; the three high bits are reserved.
enum GzipFlag : uint8_t { FHCRC = 2, FEXTRA = 4, FNAME = 8, FCOMMENT = 16, RESERVED = 0xE0 };

uint32_t read_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t read_le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
void write_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (24 - 8 * i));
}
void write_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

// Deflates behind a header of head bytes and answers the whole length with
// a trailer of tail bytes; *fits tells whether all of it has room.
size_t deflate_body(uint8_t* out, size_t capacity, size_t head, size_t tail, const uint8_t* in, size_t in_length,
                    bool* fits) {
    size_t n = capacity - head;
    bool body_fits = deflate::compress(out + head, &n, in, in_length) == ZIP_DONE;
    size_t total = head + n + tail;
    *fits = body_fits && total <= capacity;
    return total;
}

// Skips a NUL-terminated text of the gzip header; false when it has no end.
bool skip_text(const uint8_t* in, size_t end, size_t* p) {
    const void* nul = std::memchr(in + *p, 0, end - *p);
    if (!nul) return false;
    *p = size_t(static_cast<const uint8_t*>(nul) - in) + 1;
    return true;
}

// The offset of the deflate data after the gzip header, 0 for a bad header.
// Every field must end before the trailer.
size_t gzip_data_start(const uint8_t* in, size_t end) {
    uint8_t flags = in[3];
    if (in[0] != 0x1F || in[1] != 0x8B || in[2] != 8 || (flags & RESERVED)) return 0;
    size_t p = GZIP_HEADER;
    if (flags & FEXTRA) {
        if (end - p < 2) return 0;
        size_t extra = read_le16(in + p);
        p += 2;
        if (extra > end - p) return 0;
        p += extra;
    }
    if ((flags & FNAME) && !skip_text(in, end, &p)) return 0;
    if ((flags & FCOMMENT) && !skip_text(in, end, &p)) return 0;
    if (flags & FHCRC) {
        if (end - p < 2) return 0;
        if ((checksum::crc32(in, uint32_t(p)) & 0xFFFF) != read_le16(in + p)) return 0;
        p += 2;
    }
    return p;
}

}  // namespace

namespace zlib {

// Header 0x78 0x01: deflate with a 32 KB window, no dictionary, and check
// bits that make the pair a multiple of 31.
int compress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length) {
    size_t capacity = out ? *length : 0;
    if (capacity < ZLIB_HEADER + ZLIB_TRAILER) {
        *length = in_length + ZLIB_HEADER + ZLIB_TRAILER;
        return ZIP_BAD_DATA;
    }
    out[0] = 0x78;
    out[1] = 0x01;
    bool fits;
    size_t total = deflate_body(out, capacity, ZLIB_HEADER, ZLIB_TRAILER, in, in_length, &fits);
    if (fits) write_be32(out + total - ZLIB_TRAILER, checksum::adler32(in, uint32_t(in_length)));
    *length = total;
    return fits ? ZIP_DONE : ZIP_NO_ROOM;
}

int decompress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length) {
    if (in_length < ZLIB_HEADER + ZLIB_TRAILER) return ZIP_BAD_DATA;
    uint32_t cmf = in[0], flg = in[1];
    bool good = (cmf * 256 + flg) % 31 == 0 && (cmf & 15) == 8 && (cmf >> 4) <= 7 && !(flg & 0x20);
    if (!good) return ZIP_BAD_DATA;
    size_t data = in_length - ZLIB_HEADER - ZLIB_TRAILER, used = 0;
    if (int rc = inflate::decompress_counted(out, length, in + ZLIB_HEADER, data, &used)) return rc;
    if (used != data) return ZIP_BAD_DATA;  // bytes between the data and the trailer
    uint32_t sum = checksum::adler32(out, uint32_t(*length));
    return sum == read_be32(in + in_length - ZLIB_TRAILER) ? ZIP_DONE : ZIP_BAD_DATA;
}

}  // namespace zlib

namespace gzip {

// A 10-byte header with no flags and no time, extra flags 4 and system
// byte 4; the trailer holds the CRC-32 and the length of the input.
int compress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length) {
    static const uint8_t header[GZIP_HEADER] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4};
    size_t capacity = out ? *length : 0;
    if (capacity < GZIP_HEADER + GZIP_TRAILER) {
        *length = in_length + GZIP_HEADER + GZIP_TRAILER;
        return ZIP_BAD_DATA;
    }
    std::memcpy(out, header, GZIP_HEADER);
    bool fits;
    size_t total = deflate_body(out, capacity, GZIP_HEADER, GZIP_TRAILER, in, in_length, &fits);
    if (fits) {
        write_le32(out + total - GZIP_TRAILER, checksum::crc32(in, uint32_t(in_length)));
        write_le32(out + total - 4, uint32_t(in_length));
    }
    *length = total;
    return fits ? ZIP_DONE : ZIP_NO_ROOM;
}

// The trailer's size is the decoded length modulo 2^32.
int decompress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length) {
    if (in_length < GZIP_HEADER + GZIP_TRAILER) return ZIP_BAD_DATA;
    size_t end = in_length - GZIP_TRAILER;
    size_t start = gzip_data_start(in, end);
    if (!start) return ZIP_BAD_DATA;
    size_t used = 0;
    if (int rc = inflate::decompress_counted(out, length, in + start, end - start, &used)) return rc;
    bool good = used == end - start && uint32_t(*length) == read_le32(in + end + 4) &&
                checksum::crc32(out, uint32_t(*length)) == read_le32(in + end);
    return good ? ZIP_DONE : ZIP_BAD_DATA;
}

}  // namespace gzip
}  // namespace zel
