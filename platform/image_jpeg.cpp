// JPEG through libjpeg(-turbo), opened on first use. The library ends a
// failed call through its error exit, which must not return: ours jumps back
// to the setjmp of the step that made the call. Those steps are small
// functions owning nothing; the library's state lives in a struct that the
// caller owns and whose destructor releases it, so neither a jump nor a
// throw from the pixel target leaks. A warning (a truncated or damaged
// stream, which the library would fill with grey) fails the decode too.
//
// CMYK and YCCK files come out of the library as inks, which we turn into
// colours ourselves; files with an Adobe marker store the inks inverted.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "platform/image_codecs.h"
#include "platform/shared_library.h"

namespace zel {
namespace os_image {

namespace {

struct Jpeg {
    bool ready = false;
    decltype(&jpeg_std_error) std_error;
    decltype(&jpeg_CreateDecompress) create_decompress;
    decltype(&jpeg_mem_src) mem_src;
    decltype(&jpeg_read_header) read_header;
    decltype(&jpeg_start_decompress) start_decompress;
    decltype(&jpeg_read_scanlines) read_scanlines;
    decltype(&jpeg_finish_decompress) finish_decompress;
    decltype(&jpeg_destroy_decompress) destroy_decompress;
    decltype(&jpeg_CreateCompress) create_compress;
    decltype(&jpeg_mem_dest) mem_dest;
    decltype(&jpeg_set_defaults) set_defaults;
    decltype(&jpeg_start_compress) start_compress;
    decltype(&jpeg_write_scanlines) write_scanlines;
    decltype(&jpeg_finish_compress) finish_compress;
    decltype(&jpeg_destroy_compress) destroy_compress;
};

Jpeg load() {
    Jpeg j{};
    platform::SharedLibrary lib = platform::open_shared_library("libjpeg.so.62");
    platform::resolve(&lib, &j.std_error, "jpeg_std_error");
    platform::resolve(&lib, &j.create_decompress, "jpeg_CreateDecompress");
    platform::resolve(&lib, &j.mem_src, "jpeg_mem_src");
    platform::resolve(&lib, &j.read_header, "jpeg_read_header");
    platform::resolve(&lib, &j.start_decompress, "jpeg_start_decompress");
    platform::resolve(&lib, &j.read_scanlines, "jpeg_read_scanlines");
    platform::resolve(&lib, &j.finish_decompress, "jpeg_finish_decompress");
    platform::resolve(&lib, &j.destroy_decompress, "jpeg_destroy_decompress");
    platform::resolve(&lib, &j.create_compress, "jpeg_CreateCompress");
    platform::resolve(&lib, &j.mem_dest, "jpeg_mem_dest");
    platform::resolve(&lib, &j.set_defaults, "jpeg_set_defaults");
    platform::resolve(&lib, &j.start_compress, "jpeg_start_compress");
    platform::resolve(&lib, &j.write_scanlines, "jpeg_write_scanlines");
    platform::resolve(&lib, &j.finish_compress, "jpeg_finish_compress");
    platform::resolve(&lib, &j.destroy_compress, "jpeg_destroy_compress");
    j.ready = lib.failure.empty();
    return j;
}

const Jpeg& jpeg() {
    static const Jpeg j = load();
    return j;
}

// The error manager with the way back to the step that called the library.
struct Errors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    bool warned;
};

[[noreturn]] void error_exit(j_common_ptr info) { std::longjmp(reinterpret_cast<Errors*>(info->err)->back, 1); }
void quiet(j_common_ptr) {}
void note_warning(j_common_ptr info, int level) {
    if (level < 0) reinterpret_cast<Errors*>(info->err)->warned = true;
}

void install(Errors& e) {
    jpeg().std_error(&e.manager);
    e.manager.error_exit = error_exit;
    e.manager.output_message = quiet;
    e.manager.emit_message = note_warning;
    e.warned = false;
}

struct Decompress {
    jpeg_decompress_struct info{};
    Errors errors{};
    bool inks = false;      // rows come as C, M, Y, K
    bool inverted = false;  // 255 is no ink
    Decompress() { install(errors), info.err = &errors.manager; }
    ~Decompress() { jpeg().destroy_decompress(&info); }  // safe on a struct never created
    Decompress(const Decompress&) = delete;
    Decompress& operator=(const Decompress&) = delete;
};

// Each step returns false when the library took its error exit.
bool read_header(Decompress& d, const uint8_t* data, size_t size) {
    if (setjmp(d.errors.back)) return false;
    jpeg().create_decompress(&d.info, JPEG_LIB_VERSION, sizeof d.info);
    jpeg().mem_src(&d.info, data, static_cast<unsigned long>(size));
    if (jpeg().read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
    d.inks = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.inverted = d.inks && d.info.saw_Adobe_marker;
    // Four bytes a pixel either way; BGRA is our pixel words' memory order.
    d.info.out_color_space = d.inks ? JCS_CMYK : JCS_EXT_BGRA;
    return true;
}

uint8_t times(uint32_t a, uint32_t b) { return uint8_t((a * b + 127) / 255); }

// A row of inks C, M, Y, K to B, G, R and an opaque alpha, in place: each
// colour is what its ink and the black leave of the light.
void inks_to_colours(uint8_t* p, uint32_t count, bool inverted) {
    auto light = [inverted](uint8_t ink) { return inverted ? uint32_t(ink) : 255u - ink; };
    for (uint8_t* end = p + 4 * uint64_t(count); p < end; p += 4) {
        uint32_t c = light(p[0]), m = light(p[1]), y = light(p[2]), k = light(p[3]);
        p[0] = times(y, k), p[1] = times(m, k), p[2] = times(c, k), p[3] = 255;
    }
}

bool read_rows(Decompress& d, uint32_t* out) {
    if (setjmp(d.errors.back)) return false;
    jpeg().start_decompress(&d.info);
    if (d.info.output_width != d.info.image_width || d.info.output_components != 4) return false;
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(out + uint64_t(d.info.output_scanline) * d.info.output_width);
        if (jpeg().read_scanlines(&d.info, &row, 1) != 1) return false;
        if (d.inks) inks_to_colours(row, d.info.output_width, d.inverted);
    }
    jpeg().finish_decompress(&d.info);
    return !d.errors.warned;
}

struct Compress {
    jpeg_compress_struct info{};
    Errors errors{};
    unsigned char* bytes = nullptr;  // the library's own buffer
    unsigned long size = 0;
    Compress() { install(errors), info.err = &errors.manager; }
    ~Compress() {
        jpeg().destroy_compress(&info);
        std::free(bytes);
    }
    Compress(const Compress&) = delete;
    Compress& operator=(const Compress&) = delete;
};

bool write_rows(Compress& c, const uint32_t* pixels, uint32_t width, uint32_t height) {
    if (setjmp(c.errors.back)) return false;
    jpeg().create_compress(&c.info, JPEG_LIB_VERSION, sizeof c.info);
    jpeg().mem_dest(&c.info, &c.bytes, &c.size);
    c.info.image_width = width;
    c.info.image_height = height;
    c.info.input_components = 4;
    c.info.in_color_space = JCS_EXT_BGRA;  // the alpha byte is not stored
    jpeg().set_defaults(&c.info);
    jpeg().start_compress(&c.info, TRUE);
    while (c.info.next_scanline < height) {
        // The library reads the rows it is given and never writes them.
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(pixels + uint64_t(c.info.next_scanline) * width));
        jpeg().write_scanlines(&c.info, &row, 1);
    }
    jpeg().finish_compress(&c.info);
    return true;
}

}  // namespace

bool decode_jpeg(const uint8_t* data, size_t size, Target& target) {
    if (!jpeg().ready) return false;
    Decompress d;
    if (!read_header(d, data, size)) return false;
    uint32_t w = d.info.image_width, h = d.info.image_height;
    if (w < 1 || h < 1 || w > MAX_SIDE || h > MAX_SIDE) return false;
    return read_rows(d, target.allocate(w, h));
}

bool encode_jpeg(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    if (!jpeg().ready) return false;
    Compress c;
    if (!write_rows(c, pixels, width, height)) return false;
    out.assign(c.bytes, c.bytes + c.size);
    return true;
}

}  // namespace os_image
}  // namespace zel
