// PNG through libpng's simplified interface, opened on first use. That
// interface catches the library's own error exits inside the library and
// answers a status, so no long jump ever crosses our frames; its work
// struct is freed on every path, a throw from the pixel target included.
#include <png.h>

#include <cstring>

#include "platform/image_codecs.h"
#include "platform/shared_library.h"

namespace zel {
namespace os_image {

namespace {

struct Png {
    bool ready = false;
    decltype(&png_image_begin_read_from_memory) begin_read;
    decltype(&png_image_finish_read) finish_read;
    decltype(&png_image_write_to_memory) write_to_memory;
    decltype(&png_image_free) free;
};

Png load() {
    Png p{};
    platform::SharedLibrary lib = platform::open_shared_library("libpng16.so.16");
    platform::resolve(&lib, &p.begin_read, "png_image_begin_read_from_memory");
    platform::resolve(&lib, &p.finish_read, "png_image_finish_read");
    platform::resolve(&lib, &p.write_to_memory, "png_image_write_to_memory");
    platform::resolve(&lib, &p.free, "png_image_free");
    p.ready = lib.failure.empty();
    return p;
}

const Png& png() {
    static const Png p = load();
    return p;
}

// The simplified interface's work struct, freed however the scope ends.
struct Image {
    png_image image{};
    Image() { image.version = PNG_IMAGE_VERSION; }
    ~Image() { png().free(&image); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

// The chunk chain runs whole up to an IEND chunk: the library stops reading
// once it has the pixels, so a file cut short after them would pass.
bool chunks_complete(const uint8_t* data, size_t size) {
    constexpr size_t SIGNATURE = 8, FRAME = 12;  // length, type, CRC
    for (size_t at = SIGNATURE; size - at >= FRAME;) {
        size_t length = size_t(data[at]) << 24 | size_t(data[at + 1]) << 16 | size_t(data[at + 2]) << 8 | data[at + 3];
        if (length > size - at - FRAME) return false;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
        at += FRAME + length;
    }
    return false;
}

}  // namespace

bool decode_png(const uint8_t* data, size_t size, Target& target) {
    if (!png().ready || size < 8 || !chunks_complete(data, size)) return false;
    Image im;
    if (!png().begin_read(&im.image, data, size)) return false;
    uint32_t w = im.image.width, h = im.image.height;
    if (w < 1 || h < 1 || w > MAX_SIDE || h > MAX_SIDE) return false;
    im.image.format = PNG_FORMAT_BGRA;  // in memory B, G, R, A: our pixel words
    uint32_t* out = target.allocate(w, h);
    return png().finish_read(&im.image, nullptr, out, int32_t(w * 4), nullptr) != 0;
}

bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    if (!png().ready) return false;
    Image im;
    im.image.width = width;
    im.image.height = height;
    im.image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png().write_to_memory(&im.image, nullptr, &size, 0, pixels, int32_t(width * 4), nullptr)) return false;
    out.resize(size);
    if (!png().write_to_memory(&im.image, out.data(), &size, 0, pixels, int32_t(width * 4), nullptr)) return false;
    out.resize(size);
    return true;
}

}  // namespace os_image
}  // namespace zel
