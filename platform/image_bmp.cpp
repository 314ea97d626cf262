// BMP: read with 1, 4 and 8 bits a pixel through a palette, 16, 24 and 32
// bits directly or through channel masks, rows bottom-up or top-down;
// written as 32-bit pixels with channel masks (a V4 header), so the alpha
// channel survives. Compressed run-length files are refused.
#include <algorithm>
#include <cstring>

#include "platform/image_codecs.h"

namespace zel {
namespace os_image {

namespace {

constexpr uint32_t FILE_HEADER = 14;
constexpr uint32_t V4_HEADER = 108;
constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

uint32_t u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One channel read through its mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0, shift = 0, max = 0;
    void set(uint32_t m) {
        mask = m;
        shift = m ? uint32_t(__builtin_ctz(m)) : 0;
        max = m >> shift;
    }
    // In 64 bits: a channel may be as wide as the pixel.
    uint32_t read(uint32_t v) const { return max ? uint32_t(uint64_t((v & mask) >> shift) * 255 / max) : 0; }
};

struct Layout {
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0, colours = 0, header = 0, offset = 0;
    bool top_down = false;
    Channel r, g, b, a;
};

bool read_layout(const uint8_t* d, size_t size, Layout& l) {
    if (size < FILE_HEADER + 12 || d[0] != 'B' || d[1] != 'M') return false;
    l.offset = u32(d + 10);
    l.header = u32(d + FILE_HEADER);
    const uint8_t* h = d + FILE_HEADER;
    if (l.header == 12) {
        l.width = u16(h + 4);
        l.height = int16_t(u16(h + 6));
        l.bits = u16(h + 10);
    } else {
        if (l.header < 40 || size < FILE_HEADER + uint64_t(l.header)) return false;
        l.width = int32_t(u32(h + 4));
        l.height = int32_t(u32(h + 8));
        l.bits = u16(h + 14);
        l.compression = u32(h + 16);
        l.colours = u32(h + 32);
    }
    if (l.height < 0) {
        l.top_down = true;
        l.height = -l.height;
    }
    return l.width >= 1 && l.height >= 1 && l.width <= MAX_SIDE && l.height <= MAX_SIDE;
}

// The channel masks: given after a 40-byte header, inside a larger one, or
// the defaults of 16 bits (5-5-5) and 32 bits (8-8-8, no alpha).
bool read_masks(const uint8_t* d, size_t size, Layout& l) {
    if (l.compression == BI_RGB) {
        if (l.bits == 16) l.r.set(0x7C00), l.g.set(0x03E0), l.b.set(0x001F);
        if (l.bits == 32) l.r.set(0xFF0000), l.g.set(0xFF00), l.b.set(0xFF);
        return true;
    }
    if (l.compression != BI_BITFIELDS && l.compression != BI_ALPHABITFIELDS) return false;
    if (l.bits != 16 && l.bits != 32) return false;
    uint32_t count = l.compression == BI_ALPHABITFIELDS || l.header >= 56 ? 4 : 3;
    uint64_t at = FILE_HEADER + 40;
    if (at + 4 * count > size) return false;
    l.r.set(u32(d + at));
    l.g.set(u32(d + at + 4));
    l.b.set(u32(d + at + 8));
    if (count == 4) l.a.set(u32(d + at + 12));
    return true;
}

uint32_t pixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

}  // namespace

bool decode_bmp(const uint8_t* d, size_t size, Target& target) {
    Layout l;
    if (!read_layout(d, size, l)) return false;
    bool paletted = l.bits == 1 || l.bits == 4 || l.bits == 8;
    if (!paletted && l.bits != 16 && l.bits != 24 && l.bits != 32) return false;
    if (paletted ? l.compression != BI_RGB : !read_masks(d, size, l)) return false;
    // Indexes past the palette's entries read as black; the format has no
    // transparency.
    uint32_t palette[256];
    std::fill_n(palette, 256, pixel(0, 0, 0, 255));
    if (paletted) {
        uint64_t entries = l.colours ? l.colours : 1u << l.bits;
        uint32_t entry = l.header == 12 ? 3 : 4;
        uint64_t at = FILE_HEADER + uint64_t(l.header);
        if (entries > 256 || at + entries * entry > size) return false;
        for (uint32_t i = 0; i < entries; i++) {
            const uint8_t* p = d + at + i * entry;
            palette[i] = pixel(p[2], p[1], p[0], 255);
        }
    }
    uint64_t stride = (uint64_t(l.width) * l.bits + 31) / 32 * 4;
    if (l.offset > size || stride * uint64_t(l.height) > size - l.offset) return false;
    uint32_t w = uint32_t(l.width), h = uint32_t(l.height);
    uint32_t* out = target.allocate(w, h);
    // Without an alpha mask, the byte the colour masks leave free may hold one.
    bool top_byte_free = l.bits == 32 && !((l.r.mask | l.g.mask | l.b.mask) & 0xFF000000u);
    bool any_alpha = false;
    for (uint32_t y = 0; y < h; y++) {
        const uint8_t* row = d + l.offset + stride * (l.top_down ? y : h - 1 - y);
        uint32_t* o = out + uint64_t(y) * w;
        for (uint32_t x = 0; x < w; x++) {
            if (paletted) {
                uint32_t bit = x * l.bits, shift = 8 - l.bits - bit % 8;
                o[x] = palette[(row[bit / 8] >> shift) & ((1u << l.bits) - 1)];
            } else if (l.bits == 24) {
                const uint8_t* p = row + x * 3;
                o[x] = pixel(p[2], p[1], p[0], 255);
            } else {
                uint32_t v = l.bits == 16 ? u16(row + x * 2) : u32(row + x * 4);
                uint32_t alpha = l.a.mask ? l.a.read(v) : top_byte_free ? v >> 24 : 255;
                any_alpha = any_alpha || alpha != 0;
                o[x] = pixel(l.r.read(v), l.g.read(v), l.b.read(v), alpha);
            }
        }
    }
    // A 32-bit file without an alpha mask whose fourth bytes are all zero
    // did not use them: it is opaque.
    if (l.bits == 32 && !l.a.mask && !any_alpha)
        for (uint64_t i = 0; i < uint64_t(w) * h; i++) out[i] |= 0xFF000000u;
    return true;
}

bool encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    uint32_t data = width * height * 4, offset = FILE_HEADER + V4_HEADER;
    out.clear();
    out.reserve(offset + data);
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + data);
    put32(out, 0);
    put32(out, offset);
    put32(out, V4_HEADER);
    put32(out, width);
    put32(out, height);  // bottom-up
    put16(out, 1);
    put16(out, 32);
    put32(out, BI_BITFIELDS);
    put32(out, data);
    put32(out, 2835);  // 72 dots an inch
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(out, mask);
    put32(out, 0x73524742);  // the colour space "sRGB"
    out.resize(offset, 0);   // end points and gammas
    for (uint32_t y = height; y-- > 0;)
        for (uint32_t x = 0; x < width; x++) put32(out, pixels[uint64_t(y) * width + x]);
    return true;
}

}  // namespace os_image
}  // namespace zel
