// GIF through giflib, opened on first use. Only the first frame is decoded,
// record by record, so no frame is decoded that would not be shown, and
// the frame's rectangle is checked against the screen before the screen's
// pixels are asked for. The transparent colour of the frame's graphics
// control becomes alpha 0. Writing keeps the colours when there are at most
// 255 of them, else maps them onto a 6x7x6 cube; pixels below half opacity
// become the transparent colour.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/image_codecs.h"
#include "platform/shared_library.h"

namespace zel {
namespace os_image {

namespace {

struct Gif {
    bool ready = false;
    decltype(&DGifOpen) dopen;
    decltype(&DGifCloseFile) dclose;
    decltype(&DGifGetRecordType) record_type;
    decltype(&DGifGetImageDesc) image_desc;
    decltype(&DGifGetLine) get_line;
    decltype(&DGifGetExtension) extension;
    decltype(&DGifGetExtensionNext) extension_next;
    decltype(&DGifGetCode) code;
    decltype(&DGifGetCodeNext) code_next;
    decltype(&DGifExtensionToGCB) to_gcb;
    decltype(&EGifOpen) eopen;
    decltype(&EGifCloseFile) eclose;
    decltype(&EGifSetGifVersion) set_version;
    decltype(&EGifPutScreenDesc) put_screen;
    decltype(&EGifPutImageDesc) put_image;
    decltype(&EGifPutLine) put_line;
    decltype(&EGifPutExtension) put_extension;
    decltype(&EGifGCBToExtension) from_gcb;
    decltype(&GifMakeMapObject) make_map;
    decltype(&GifFreeMapObject) free_map;
};

Gif load() {
    Gif g{};
    platform::SharedLibrary lib = platform::open_shared_library("libgif.so.7");
    platform::resolve(&lib, &g.dopen, "DGifOpen");
    platform::resolve(&lib, &g.dclose, "DGifCloseFile");
    platform::resolve(&lib, &g.record_type, "DGifGetRecordType");
    platform::resolve(&lib, &g.image_desc, "DGifGetImageDesc");
    platform::resolve(&lib, &g.get_line, "DGifGetLine");
    platform::resolve(&lib, &g.extension, "DGifGetExtension");
    platform::resolve(&lib, &g.extension_next, "DGifGetExtensionNext");
    platform::resolve(&lib, &g.code, "DGifGetCode");
    platform::resolve(&lib, &g.code_next, "DGifGetCodeNext");
    platform::resolve(&lib, &g.to_gcb, "DGifExtensionToGCB");
    platform::resolve(&lib, &g.eopen, "EGifOpen");
    platform::resolve(&lib, &g.eclose, "EGifCloseFile");
    platform::resolve(&lib, &g.set_version, "EGifSetGifVersion");
    platform::resolve(&lib, &g.put_screen, "EGifPutScreenDesc");
    platform::resolve(&lib, &g.put_image, "EGifPutImageDesc");
    platform::resolve(&lib, &g.put_line, "EGifPutLine");
    platform::resolve(&lib, &g.put_extension, "EGifPutExtension");
    platform::resolve(&lib, &g.from_gcb, "EGifGCBToExtension");
    platform::resolve(&lib, &g.make_map, "GifMakeMapObject");
    platform::resolve(&lib, &g.free_map, "GifFreeMapObject");
    g.ready = lib.failure.empty();
    return g;
}

const Gif& gif() {
    static const Gif g = load();
    return g;
}

// ---- reading ------------------------------------------------------------------

struct Source {
    const uint8_t* data;
    size_t size, at;
};

int read_bytes(GifFileType* file, GifByteType* into, int wanted) {
    Source* s = static_cast<Source*>(file->UserData);
    size_t n = std::min(size_t(std::max(wanted, 0)), s->size - s->at);
    std::memcpy(into, s->data + s->at, n);
    s->at += n;
    return int(n);
}

struct Reading {
    GifFileType* file = nullptr;
    ~Reading() {
        int error;
        if (file) gif().dclose(file, &error);
    }
};

// The transparent index a graphics control extension names, and the rest
// of the extension's blocks skipped.
bool read_extension(GifFileType* file, int* transparent) {
    int code;
    GifByteType* block;
    if (gif().extension(file, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock control;
        if (gif().to_gcb(block[0], block + 1, &control) == GIF_ERROR) return false;
        *transparent = control.TransparentColor;
    }
    while (block)
        if (gif().extension_next(file, &block) == GIF_ERROR) return false;
    return true;
}

bool read_frame(GifFileType* file, int transparent, Target& target) {
    if (gif().image_desc(file) == GIF_ERROR) return false;
    const GifImageDesc& d = file->Image;
    int64_t sw = file->SWidth, sh = file->SHeight;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : file->SColorMap;
    if (!map || d.Width < 1 || d.Height < 1 || d.Left < 0 || d.Top < 0 || d.Left + int64_t(d.Width) > sw ||
        d.Top + int64_t(d.Height) > sh)
        return false;
    uint32_t* out = target.allocate(uint32_t(sw), uint32_t(sh));
    std::fill_n(out, sw * sh, 0u);  // outside the frame: transparent
    std::vector<GifPixelType> line(size_t(d.Width));
    static const int START[] = {0, 4, 2, 1}, STEP[] = {8, 8, 4, 2};
    int passes = d.Interlace ? 4 : 1;
    for (int p = 0; p < passes; p++) {
        int start = d.Interlace ? START[p] : 0, step = d.Interlace ? STEP[p] : 1;
        for (int y = start; y < d.Height; y += step) {
            if (gif().get_line(file, line.data(), d.Width) == GIF_ERROR) return false;
            uint32_t* row = out + (d.Top + y) * sw + d.Left;
            for (int x = 0; x < d.Width; x++) {
                int i = line[size_t(x)];
                if (i == transparent) continue;
                if (i >= map->ColorCount) return false;
                const GifColorType& c = map->Colors[i];
                row[x] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
            }
        }
    }
    return true;
}

// The records after the first frame, up to the trailer: later frames are
// skipped undecoded, so a stream cut short anywhere is refused.
bool reaches_trailer(GifFileType* file) {
    for (int transparent;;) {
        GifRecordType kind;
        if (gif().record_type(file, &kind) == GIF_ERROR) return false;
        if (kind == TERMINATE_RECORD_TYPE) return true;
        if (kind == EXTENSION_RECORD_TYPE) {
            if (!read_extension(file, &transparent)) return false;
            continue;
        }
        if (kind != IMAGE_DESC_RECORD_TYPE || gif().image_desc(file) == GIF_ERROR) return false;
        int size;
        GifByteType* block;
        if (gif().code(file, &size, &block) == GIF_ERROR) return false;
        while (block)
            if (gif().code_next(file, &block) == GIF_ERROR) return false;
    }
}

// ---- writing ------------------------------------------------------------------

int write_bytes(GifFileType* file, const GifByteType* from, int count) {
    auto* out = static_cast<std::vector<uint8_t>*>(file->UserData);
    out->insert(out->end(), from, from + count);
    return count;
}

struct Writing {
    GifFileType* file = nullptr;
    ColorMapObject* map = nullptr;
    ~Writing() {
        int error;
        if (file) gif().eclose(file, &error);
        if (map) gif().free_map(map);
    }
};

constexpr uint32_t TRANSPARENT = 255;
constexpr bool is_clear(uint32_t p) { return p >> 24 < 128; }

// The palette index of each pixel: exact colours when there are few.
std::vector<GifPixelType> palette_indexes(const uint32_t* px, uint64_t n, ColorMapObject* map) {
    std::unordered_map<uint32_t, uint32_t> exact;
    for (uint64_t i = 0; i < n && exact.size() <= TRANSPARENT; i++)
        if (!is_clear(px[i])) exact.emplace(px[i] & 0xFFFFFF, uint32_t(exact.size()));
    bool cube = exact.size() > TRANSPARENT;
    auto cube_index = [](uint32_t rgb) {
        return (rgb >> 16 & 0xFF) * 6 / 256 * 42 + (rgb >> 8 & 0xFF) * 7 / 256 * 6 + (rgb & 0xFF) * 6 / 256;
    };
    if (cube)
        for (uint32_t i = 0; i < 252; i++)
            map->Colors[i] = {GifByteType(i / 42 * 51), GifByteType(i / 6 % 7 * 255 / 6), GifByteType(i % 6 * 51)};
    else
        for (const auto& [rgb, i] : exact) map->Colors[i] = {GifByteType(rgb >> 16), GifByteType(rgb >> 8), GifByteType(rgb)};
    std::vector<GifPixelType> indexes(n);
    for (uint64_t i = 0; i < n; i++) {
        uint32_t rgb = px[i] & 0xFFFFFF;
        indexes[i] = GifPixelType(is_clear(px[i]) ? TRANSPARENT : cube ? cube_index(rgb) : exact.at(rgb));
    }
    return indexes;
}

}  // namespace

bool decode_gif(const uint8_t* data, size_t size, Target& target) {
    if (!gif().ready) return false;
    Source source{data, size, 0};
    Reading r;
    int error, transparent = -1;
    r.file = gif().dopen(&source, read_bytes, &error);
    if (!r.file || r.file->SWidth < 1 || r.file->SHeight < 1 || r.file->SWidth > int(MAX_SIDE) ||
        r.file->SHeight > int(MAX_SIDE))
        return false;
    for (;;) {
        GifRecordType kind;
        if (gif().record_type(r.file, &kind) == GIF_ERROR) return false;
        if (kind == IMAGE_DESC_RECORD_TYPE) return read_frame(r.file, transparent, target) && reaches_trailer(r.file);
        if (kind != EXTENSION_RECORD_TYPE || !read_extension(r.file, &transparent)) return false;
    }
}

bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    if (!gif().ready) return false;
    out.clear();
    Writing w;
    int error;
    w.map = gif().make_map(256, nullptr);
    if (!w.map) return false;
    std::vector<GifPixelType> indexes = palette_indexes(pixels, uint64_t(width) * height, w.map);
    w.file = gif().eopen(&out, write_bytes, &error);
    if (!w.file) return false;
    gif().set_version(w.file, true);
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, int(TRANSPARENT)};
    GifByteType extension[4];
    size_t length = gif().from_gcb(&control, extension);
    int w_ = int(width), h_ = int(height);
    if (gif().put_screen(w.file, w_, h_, 8, 0, w.map) == GIF_ERROR ||
        gif().put_extension(w.file, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_ERROR ||
        gif().put_image(w.file, 0, 0, w_, h_, false, nullptr) == GIF_ERROR)
        return false;
    for (uint32_t y = 0; y < height; y++)
        if (gif().put_line(w.file, indexes.data() + uint64_t(y) * width, w_) == GIF_ERROR) return false;
    GifFileType* file = w.file;
    w.file = nullptr;
    return gif().eclose(file, &error) != GIF_ERROR;
}

}  // namespace os_image
}  // namespace zel
