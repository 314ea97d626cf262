// TIFF through libtiff, opened on first use, over the bytes in memory: the
// library reads through our procedures, which never reach outside them, and
// checks strip and tile offsets against the size they answer. The layout
// this codec writes is read row by row as stored; any other goes through
// the library's general reader. Its messages
// are silenced (a failure is answered, not printed); any error while the
// pixels are read fails the decode. Written as 8-bit RGBA with
// unassociated alpha, LZW-compressed.
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "platform/image_codecs.h"
#include "platform/shared_library.h"

namespace zel {
namespace os_image {

namespace {

struct Tiff {
    bool ready = false;
    decltype(&TIFFClientOpen) open;
    decltype(&TIFFClose) close;
    decltype(&TIFFGetField) get_field;
    decltype(&TIFFSetField) set_field;
    decltype(&TIFFRGBAImageOK) rgba_ok;
    decltype(&TIFFReadRGBAImageOriented) read_rgba;
    decltype(&TIFFWriteScanline) write_scanline;
    decltype(&TIFFReadScanline) read_scanline;
    decltype(&TIFFScanlineSize) scanline_size;
    decltype(&TIFFIsTiled) is_tiled;
    decltype(&TIFFSetErrorHandler) set_error_handler;
    decltype(&TIFFSetWarningHandler) set_warning_handler;
};

Tiff load() {
    Tiff t{};
    platform::SharedLibrary lib = platform::open_shared_library("libtiff.so.6");
    platform::resolve(&lib, &t.open, "TIFFClientOpen");
    platform::resolve(&lib, &t.close, "TIFFClose");
    platform::resolve(&lib, &t.get_field, "TIFFGetField");
    platform::resolve(&lib, &t.set_field, "TIFFSetField");
    platform::resolve(&lib, &t.rgba_ok, "TIFFRGBAImageOK");
    platform::resolve(&lib, &t.read_rgba, "TIFFReadRGBAImageOriented");
    platform::resolve(&lib, &t.write_scanline, "TIFFWriteScanline");
    platform::resolve(&lib, &t.read_scanline, "TIFFReadScanline");
    platform::resolve(&lib, &t.scanline_size, "TIFFScanlineSize");
    platform::resolve(&lib, &t.is_tiled, "TIFFIsTiled");
    platform::resolve(&lib, &t.set_error_handler, "TIFFSetErrorHandler");
    platform::resolve(&lib, &t.set_warning_handler, "TIFFSetWarningHandler");
    t.ready = lib.failure.empty();
    if (t.ready) {
        t.set_error_handler(nullptr);
        t.set_warning_handler(nullptr);
    }
    return t;
}

const Tiff& tiff() {
    static const Tiff t = load();
    return t;
}

// A stream over memory: bytes read from a fixed span, or written into a
// growing vector at any position.
struct Stream {
    const uint8_t* data;
    std::vector<uint8_t>* out;
    uint64_t size, at;
};

Stream* stream(thandle_t h) { return static_cast<Stream*>(h); }

tmsize_t read_proc(thandle_t h, void* into, tmsize_t n) {
    Stream* s = stream(h);
    uint64_t k = std::min<uint64_t>(uint64_t(std::max<tmsize_t>(n, 0)), s->at < s->size ? s->size - s->at : 0);
    if (s->data) std::memcpy(into, s->data + s->at, k);
    else std::memcpy(into, s->out->data() + s->at, k);
    s->at += k;
    return tmsize_t(k);
}

tmsize_t write_proc(thandle_t h, void* from, tmsize_t n) {
    Stream* s = stream(h);
    if (!s->out || n < 0) return -1;
    uint64_t end = s->at + uint64_t(n);
    if (end > s->out->size()) s->out->resize(end);
    std::memcpy(s->out->data() + s->at, from, size_t(n));
    s->at = end;
    s->size = std::max(s->size, end);
    return n;
}

toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
    Stream* s = stream(h);
    uint64_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->size : 0;
    s->at = base + offset;
    return s->at;
}

int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return stream(h)->size; }
int map_proc(thandle_t, void**, toff_t*) { return 0; }
void unmap_proc(thandle_t, void*, toff_t) {}

struct Open {
    TIFF* file = nullptr;
    ~Open() {
        if (file) tiff().close(file);
    }
};

TIFF* open(Stream& s, const char* mode) {
    return tiff().open("memory", mode, &s, read_proc, write_proc, seek_proc, close_proc, size_proc, map_proc, unmap_proc);
}

// The library's packed words hold R in the low byte; ours hold B there.
uint32_t swap_red_blue(uint32_t p) { return (p & 0xFF00FF00u) | (p >> 16 & 0xFF) | (p & 0xFF) << 16; }

// The library's general reader answers colours premultiplied by the alpha;
// ours are not.
uint32_t unpremultiply(uint32_t p) {
    uint32_t a = p >> 24;
    if (a == 255 || a == 0) return a ? p : 0;
    auto channel = [a](uint32_t c) { return std::min(255u, (c * 255 + a / 2) / a); };
    return a << 24 | channel(p >> 16 & 0xFF) << 16 | channel(p >> 8 & 0xFF) << 8 | channel(p & 0xFF);
}

// 8-bit RGB or RGBA in strips, the layout this codec writes, read row by
// row as stored, so that colours under an unassociated alpha stay exact.
// Answers -1 when the file has another layout.
int read_plain_rgb(TIFF* file, uint32_t w, uint32_t h, uint32_t* out) {
    uint16_t photometric = 0, bits = 0, samples = 0, planar = PLANARCONFIG_CONTIG, extras = 0;
    uint16_t* extra_kinds = nullptr;
    tiff().get_field(file, TIFFTAG_PHOTOMETRIC, &photometric);
    tiff().get_field(file, TIFFTAG_BITSPERSAMPLE, &bits);
    tiff().get_field(file, TIFFTAG_SAMPLESPERPIXEL, &samples);
    tiff().get_field(file, TIFFTAG_PLANARCONFIG, &planar);
    tiff().get_field(file, TIFFTAG_EXTRASAMPLES, &extras, &extra_kinds);
    bool alpha = samples == 4 && extras == 1 && extra_kinds && extra_kinds[0] == EXTRASAMPLE_UNASSALPHA;
    if (photometric != PHOTOMETRIC_RGB || bits != 8 || planar != PLANARCONFIG_CONTIG || tiff().is_tiled(file) ||
        !(samples == 3 || alpha) || tiff().scanline_size(file) != tmsize_t(w) * samples)
        return -1;
    std::vector<uint8_t> row(size_t(w) * samples);
    for (uint32_t y = 0; y < h; y++) {
        if (tiff().read_scanline(file, row.data(), y, 0) < 0) return 0;
        for (uint32_t x = 0; x < w; x++) {
            const uint8_t* p = row.data() + size_t(x) * samples;
            out[uint64_t(y) * w + x] = uint32_t(alpha ? p[3] : 255) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    return 1;
}

}  // namespace

bool decode_tiff(const uint8_t* data, size_t size, Target& target) {
    if (!tiff().ready) return false;
    Stream s{data, nullptr, size, 0};
    Open t;
    t.file = open(s, "rm");
    if (!t.file) return false;
    uint32_t w = 0, h = 0;
    char why[1024];
    if (!tiff().get_field(t.file, TIFFTAG_IMAGEWIDTH, &w) || !tiff().get_field(t.file, TIFFTAG_IMAGELENGTH, &h) ||
        w < 1 || h < 1 || w > MAX_SIDE || h > MAX_SIDE || !tiff().rgba_ok(t.file, why))
        return false;
    uint32_t* out = target.allocate(w, h);
    int plain = read_plain_rgb(t.file, w, h, out);
    if (plain >= 0) return plain == 1;
    if (!tiff().read_rgba(t.file, w, h, out, ORIENTATION_TOPLEFT, 1)) return false;
    std::transform(out, out + uint64_t(w) * h, out, [](uint32_t p) { return unpremultiply(swap_red_blue(p)); });
    return true;
}

bool encode_tiff(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    if (!tiff().ready) return false;
    out.clear();
    Stream s{nullptr, &out, 0, 0};
    Open t;
    t.file = open(s, "w");
    if (!t.file) return false;
    uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    tiff().set_field(t.file, TIFFTAG_IMAGEWIDTH, width);
    tiff().set_field(t.file, TIFFTAG_IMAGELENGTH, height);
    tiff().set_field(t.file, TIFFTAG_BITSPERSAMPLE, 8);
    tiff().set_field(t.file, TIFFTAG_SAMPLESPERPIXEL, 4);
    tiff().set_field(t.file, TIFFTAG_EXTRASAMPLES, 1, &extra);
    tiff().set_field(t.file, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    tiff().set_field(t.file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    tiff().set_field(t.file, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    tiff().set_field(t.file, TIFFTAG_ROWSPERSTRIP, std::max(1u, 65536u / (width * 4)));
    std::vector<uint32_t> row(width);
    for (uint32_t y = 0; y < height; y++) {
        std::transform(pixels + uint64_t(y) * width, pixels + uint64_t(y + 1) * width, row.begin(), swap_red_blue);
        if (tiff().write_scanline(t.file, row.data(), y, 0) < 0) return false;
    }
    TIFF* file = t.file;
    t.file = nullptr;
    tiff().close(file);  // writes the directory
    return !out.empty();
}

}  // namespace os_image
}  // namespace zel
