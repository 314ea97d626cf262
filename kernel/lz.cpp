// LZ decompression: a bit reader over the block data and a token decoder that
// checks every copy against the block it belongs to, so no input reads or
// writes outside the two buffers.
#include "kernel/lz.h"

#include "kernel/runtime.h"

namespace zel {
namespace lz {

static uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Bits come from the bottom of the buffer; bytes are added at its top only
// when needed, so the reader touches exactly the bytes whose bits it uses.
// Reading past the end gives zero bits and marks the stream as overrun.
struct BitReader {
    const uint8_t* pos;
    const uint8_t* end;
    uint64_t bits;
    unsigned count;
    bool overrun;
};

static uint32_t take(BitReader& br, unsigned k) {
    while (br.count < k) {
        if (br.pos == br.end) {
            br.overrun = true;
            return 0;
        }
        br.bits |= uint64_t(*br.pos++) << br.count;
        br.count += 8;
    }
    uint32_t v = uint32_t(br.bits & ((uint64_t(1) << k) - 1));
    br.bits >>= k;
    br.count -= k;
    return v;
}

// The copy length less 3: up to five prefix steps, each a 1 bit announcing a
// field, then a 9-bit field when all five were 0.
static uint32_t read_length(BitReader& br) {
    static const struct {
        uint8_t bits;
        uint8_t base;
    } steps[] = {{2, 0}, {2, 4}, {2, 8}, {3, 12}, {5, 20}};
    for (const auto& s : steps)
        if (take(br, 1)) return take(br, s.bits) + s.base;
    return take(br, 9) + 52;
}

// The distance less 1: a 4-bit width j less 2, then j bits above 2^j
// (or 3 bits when j is 2).
static uint32_t read_distance(BitReader& br) {
    unsigned j = take(br, 4) + 2;
    if (j == 2) return take(br, 3);
    return take(br, j) + (uint32_t(1) << j);
}

static bool decode_block(BitReader& br, uint8_t* block, uint32_t length) {
    uint32_t n = 0;
    while (n < length) {
        if (take(br, 1) == 0) {
            uint8_t byte = uint8_t(take(br, 8));
            if (br.overrun) return false;
            block[n++] = byte;
            continue;
        }
        uint32_t copy = read_length(br) + 3;
        uint32_t distance = read_distance(br);
        if (br.overrun || distance >= n || copy > length - n) return false;
        for (uint32_t stop = n + copy; n < stop; n++) block[n] = block[n - distance - 1];
    }
    return true;
}

// The output block, freed unless handed to the caller.
struct Output {
    uint8_t* data;
    ~Output() { heap::free(data); }
    uint8_t* release() {
        uint8_t* d = data;
        data = nullptr;
        return d;
    }
};

uint8_t* decompress(const uint8_t* packed, size_t size, uint32_t* produced) {
    if (size < 8) return nullptr;
    uint32_t packed_size = read_le32(packed);
    uint32_t unpacked_size = read_le32(packed + 4);
    if (packed_size > size - 8) return nullptr;
    // Every block costs at least five bytes; a header asking for more than
    // the blocks could give is refused before it costs an allocation.
    if (unpacked_size > uint64_t(packed_size / 5) * MAX_BLOCK) return nullptr;
    Output out{static_cast<uint8_t*>(heap::alloc_zeroed(size_t(unpacked_size) + 8))};
    const uint8_t* pos = packed + 8;
    const uint8_t* end = pos + packed_size;
    uint32_t done = 0;
    while (pos < end) {
        if (end - pos < 4) return nullptr;
        uint32_t length = read_le32(pos);
        pos += 4;
        if (length < 1 || length > MAX_BLOCK || length > unpacked_size - done) return nullptr;
        BitReader br{pos, end, 0, 0, false};
        if (!decode_block(br, out.data + done, length)) return nullptr;
        pos = br.pos;
        done += length;
    }
    if (produced) *produced = done;
    return out.release();
}

}  // namespace lz
}  // namespace zel
