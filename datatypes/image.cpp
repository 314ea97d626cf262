// image!: the pixel record, pixels as values, the planes, make and to, the
// text forms, comparison, the codec entry points and the registration.
#include "datatypes/image.h"

#include <cstring>
#include <vector>

#include "core/block.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/integer.h"
#include "core/raise.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "datatypes/binary.h"
#include "datatypes/image_pixels.h"
#include "datatypes/pair.h"
#include "datatypes/tuple.h"
#include "io/file_io.h"
#include "platform/image_codecs.h"

namespace zel {
namespace image {

namespace {
// The answer of make and to; the caller copies it at once.
Cell answer;

constexpr uint32_t WHITE = 0xFFFFFFFFu;

uint32_t colour_of(uint32_t r, uint32_t g, uint32_t b, uint32_t transparency) {
    return (255 - transparency) << 24 | r << 16 | g << 8 | b;
}
}  // namespace

// ---- the cell and its pixels ---------------------------------------------------

uint32_t* pixels(const Cell* c) {
    Node n = cell::series_node(c);
    return n ? reinterpret_cast<uint32_t*>(series::data(node::buffer(n))) : nullptr;
}

namespace {

// A record of width * height pixels, left unset.
Node new_record(uint32_t w, uint32_t h) {
    uint32_t bytes = w * h * 4;  // at most 65535 * 65535 * 4 < 2^34: checked below
    if (uint64_t(w) * h * 4 > memory::MAX_DATA) error::raise(Err::internal_no_memory);
    Node n = series::new_bytes(bytes);
    series::reserve(node::buffer(n), bytes);
    return n;
}

}  // namespace

void init_cell(Cell* c, int64_t w, int64_t h) {
    w = std::max<int64_t>(w, 0);
    h = std::max<int64_t>(h, 0);
    if (w > os_image::MAX_SIDE || h > os_image::MAX_SIDE) {
        Cell size;
        pair::init_cell(&size, int32_t(std::min<int64_t>(w, INT32_MAX)), int32_t(std::min<int64_t>(h, INT32_MAX)));
        error::raise(Err::script_out_of_range, &size);
    }
    Node n = w && h ? new_record(uint32_t(w), uint32_t(h)) : 0;
    *c = Cell{T_IMAGE, 0, n, uint32_t(h) << 16 | uint32_t(w)};
    if (n) std::fill_n(pixels(c), w * h, WHITE);
}

Cell* push_scaled(const Cell* img, int64_t w, int64_t h) {
    Cell source = *img;  // the caller's cell may sit in a buffer that the new record moves
    Cell made;
    init_cell(&made, cell::series_node(&source) ? w : 0, cell::series_node(&source) ? h : 0);
    if (cell::series_node(&made))
        pixels::scale_nearest(pixels(&source), width(&source), height(&source), pixels(&made), width(&made),
                              height(&made));
    Cell* out = stack::push_slot();
    *out = made;
    return out;
}

// ---- pixels as values ------------------------------------------------------------

uint32_t from_tuple(const Cell* t) {
    const uint8_t* b = tuple::bytes(t);
    return colour_of(b[0], b[1], b[2], tuple::count(t) > 3 ? b[3] : 0);
}

uint32_t from_integer(int32_t value) {
    uint32_t v = uint32_t(value);
    return colour_of(v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24);
}

void write_tuple(Cell* out, uint32_t p) {
    tuple::write_colour(out, uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), int32_t(255 - (p >> 24)));
}

// ---- planes ---------------------------------------------------------------------

namespace {
constexpr uint32_t PLANE_BYTES[] = {1, 3, 4};
}  // namespace

Cell* extract_channels(const Cell* img, int32_t mode) {
    uint32_t n = count(img), unit = PLANE_BYTES[mode];
    Cell* out = stack::push_slot();
    binary::init_empty(out, n * unit);
    uint8_t* o = series::reserve(series::buffer_of(out), n * unit);
    const uint32_t* p = pixels(img);
    for (uint32_t i = 0; i < n; i++) {
        uint32_t v = p[i];
        if (mode == PLANE_ARGB) std::memcpy(o + 4 * i, &v, 4);
        else if (mode == PLANE_RGB) o[3 * i] = uint8_t(v >> 16), o[3 * i + 1] = uint8_t(v >> 8), o[3 * i + 2] = uint8_t(v);
        else o[i] = uint8_t(255 - (v >> 24));
    }
    return out;
}

namespace {

// Writes the plane's part of the colour into the pixel, keeping the rest.
uint32_t merge(uint32_t old, uint32_t colour, int32_t mode) {
    if (mode == PLANE_ARGB) return colour;
    if (mode == PLANE_RGB) return (old & 0xFF000000u) | (colour & 0xFFFFFF);
    return (old & 0xFFFFFF) | (colour & 0xFF000000u);
}

}  // namespace

void set_channels(const Cell* img, const Cell* value, int32_t mode) {
    uint32_t n = count(img);
    uint32_t* p = pixels(img);
    switch (cell::type(value)) {
    case T_BINARY: {
        const uint8_t* b = binary::head_address(value);
        uint32_t have = binary::length(value), unit = PLANE_BYTES[mode];
        uint32_t whole = std::min(n, have / unit);
        if (mode == PLANE_ARGB) {
            if (p) std::memcpy(p, b, std::min<uint64_t>(have, uint64_t(n) * 4));  // none without pixels
            return;
        }
        for (uint32_t i = 0; i < whole; i++) {
            const uint8_t* s = b + unit * i;
            uint32_t c = mode == PLANE_RGB ? colour_of(s[0], s[1], s[2], 0) : colour_of(0, 0, 0, s[0]);
            p[i] = merge(p[i], c, mode);
        }
        return;
    }
    case T_TUPLE:
    case T_INTEGER: {
        uint32_t c = cell::type(value) == T_TUPLE ? from_tuple(value) : from_integer(cell::get_int(value));
        if (mode == PLANE_ALPHA) c = colour_of(0, 0, 0, cell::type(value) == T_TUPLE ? tuple::bytes(value)[0] : c >> 16 & 0xFF);
        for (uint32_t i = 0; i < n; i++) p[i] = merge(p[i], c, mode);
        return;
    }
    default: error::raise(Err::script_invalid_arg, value);
    }
}

// ---- make and to ------------------------------------------------------------------

namespace {

[[noreturn]] void bad_to(const Cell* spec) {
    Cell type;
    cell::make_datatype(&type, T_IMAGE);
    error::raise(Err::script_bad_to_arg, &type, spec);
}

const Cell* to(Cell*, Cell* spec, uint32_t) {
    if (cell::type(spec) != T_IMAGE) bad_to(spec);
    return copy(spec, nullptr, false, nullptr);
}

// [size], [size rgb-binary-or-colour], [size rgb-binary alpha-binary]: rgb
// bytes are taken in whole triples, white once they run out; alpha bytes are
// transparencies, opaque once they run out.
const Cell* from_block(Cell* spec) {
    int32_t n = block::get_length(spec);
    const Cell* v = block::cell_at(spec, uint32_t(cell::series_index(spec)));
    if (cell::type(v) != T_PAIR) error::raise(Err::script_invalid_arg, v);
    const Cell* rgb = n > 1 ? v + 1 : nullptr;
    const Cell* alpha = n > 2 ? v + 2 : nullptr;
    if (rgb && cell::type(rgb) != T_BINARY && cell::type(rgb) != T_TUPLE) error::raise(Err::script_invalid_arg, rgb);
    if (alpha && cell::type(alpha) != T_BINARY) error::raise(Err::script_invalid_arg, alpha);
    init_cell(&answer, pair::x_of(v), pair::y_of(v));
    if (!cell::series_node(&answer)) return &answer;
    if (rgb && cell::type(rgb) == T_TUPLE) {
        set_channels(&answer, rgb, PLANE_ARGB);
        return &answer;
    }
    if (rgb) set_channels(&answer, rgb, PLANE_RGB);
    if (alpha) set_channels(&answer, alpha, PLANE_ALPHA);
    return &answer;
}

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    switch (cell::type(spec)) {
    case T_PAIR:
        init_cell(&answer, pair::x_of(spec), pair::y_of(spec));
        return &answer;
    case T_BLOCK:
        if (block::get_length(spec) > 0) return from_block(spec);
        if (proto && cell::type(proto) == T_IMAGE) return copy(proto, nullptr, false, nullptr);
        error::raise(Err::script_invalid_arg, spec);
    default: return to(proto, spec, type);
    }
}

}  // namespace

// ---- form and mold ------------------------------------------------------------------

namespace {

constexpr uint32_t PIXELS_A_LINE = 10;

int32_t line_break(const Cell* buffer, int32_t level, int32_t limit) {
    limit = datatype::append_text(buffer, "\n", 1, limit);
    return mold::indent(buffer, std::max(level, 0), limit);
}

int32_t hex(const Cell* buffer, uint32_t byte, int32_t limit) {
    return datatype::append_text(buffer, string::byte_to_hex(uint8_t(byte)), 2, limit);
}

// The colours from the head, six digits a pixel.
int32_t write_colours(const Cell* img, const Cell* buffer, bool flat, bool part, int32_t limit, int32_t indent) {
    uint32_t n = count(img), from = std::min(head(img), n);
    bool lines = !flat && n - from >= 8;
    limit = datatype::append_cstr(buffer, " #{", limit);
    if (lines) limit = line_break(buffer, indent, limit);
    for (uint32_t i = from; i < n; i++) {
        uint32_t v = pixels(img)[i];
        limit = hex(buffer, v >> 16 & 0xFF, limit);
        limit = hex(buffer, v >> 8 & 0xFF, limit);
        limit = hex(buffer, v & 0xFF, limit);
        if (lines && (i - from + 1) % PIXELS_A_LINE == 0) limit = line_break(buffer, indent, limit);
        if (part && limit <= 0) return limit;
    }
    if (lines && (n - from) % PIXELS_A_LINE != 0) limit = line_break(buffer, indent - 1, limit);
    return datatype::append_cstr(buffer, "}", limit);
}

// The transparency of every pixel, when any from the head is not opaque.
int32_t write_alpha(const Cell* img, const Cell* buffer, bool flat, bool part, int32_t limit, int32_t indent) {
    uint32_t n = count(img);
    const uint32_t* p = pixels(img);
    bool opaque = true;
    for (uint32_t i = std::min(head(img), n); i < n && opaque; i++) opaque = p[i] >> 24 == 255;
    if (opaque) return limit;
    limit = datatype::append_cstr(buffer, " #{", limit);
    if (!flat) limit = line_break(buffer, indent, limit);
    for (uint32_t i = 0; i < n; i++) {
        limit = hex(buffer, 255 - (pixels(img)[i] >> 24), limit);
        if (!flat && (i + 1) % PIXELS_A_LINE == 0 && i + 1 < n) limit = line_break(buffer, indent, limit);
        if (part && limit <= 0) return limit;
    }
    if (!flat) limit = line_break(buffer, indent - 1, limit);
    return datatype::append_cstr(buffer, "}", limit);
}

int32_t mold_pixels(Cell* img, Cell* buffer, bool only, bool flat, bool part, int32_t limit, int32_t indent) {
    if (!only) limit = datatype::append_cstr(buffer, "make image! [", limit);
    limit = datatype::append_cstr(buffer, integer::form_signed(int32_t(width(img))), limit);
    limit = datatype::append_cstr(buffer, "x", limit);
    limit = datatype::append_cstr(buffer, integer::form_signed(int32_t(height(img))), limit);
    if (!cell::series_node(img)) return datatype::append_cstr(buffer, " #{}]", limit);
    limit = write_colours(img, buffer, flat, part, limit, indent);
    if (part && limit <= 0) return limit;
    limit = write_alpha(img, buffer, flat, part, limit, indent);
    if (!only) limit = datatype::append_cstr(buffer, "]", limit);
    return limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return mold_pixels(value, buffer, false, false, part != nullptr, limit, 0);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int32_t limit, int32_t indent) {
    return mold_pixels(value, buffer, only, flat, part != nullptr, limit, indent + 1);
}

// ---- compare ----------------------------------------------------------------------

// Whole pixel buffers in their stored order, whatever the heads.
int32_t compare(Cell* a, Cell* b, int32_t op) {
    if (cell::type(b) != T_IMAGE) return actions::NOT_COMPARABLE;
    bool same = cell::series_node(a) == cell::series_node(b) && head(a) == head(b);
    if (op == actions::OP_SAME) return same ? 0 : -1;
    bool equality = op <= actions::OP_STRICT_EQUAL;
    if (same && equality) return 0;
    if (!equality && op != actions::OP_SORT && op != actions::OP_SORT_CASE && op != actions::OP_FIND)
        return actions::NOT_COMPARABLE;
    uint32_t na = count(a), nb = count(b);
    if (na != nb) return na < nb ? -1 : 1;
    if (na == 0) return 0;
    int c = std::memcmp(pixels(a), pixels(b), size_t(na) * 4);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// ---- the codecs ---------------------------------------------------------------------

// Decoded pixels go straight into a new record: nothing to release when the
// decoder gives up half way, the collector takes the record.
class Decoded final : public os_image::Target {
public:
    explicit Decoded(Cell* out) : out_(out) {}
    uint32_t* allocate(uint32_t w, uint32_t h) override {
        init_cell(out_, w, h);
        return pixels(out_);
    }

private:
    Cell* out_;
};

// The bytes are copied aside first: the decoder writes into a new series,
// whose allocation may move the source's buffer.
bool decode_bytes(Cell* out, const Cell* bin) {
    const uint8_t* at = binary::head_address(bin);
    std::vector<uint8_t> bytes(at, at + binary::length(bin));
    Decoded target(out);
    return os_image::decode(bytes.data(), bytes.size(), target);
}

}  // namespace

// out may be data's own cell, which a decoder that gives up leaves holding
// the half-made image: the error names the file kept aside.
void decode(Cell* out, const Cell* data) {
    if (cell::type(data) == T_BINARY) {
        if (os_image::sniff(binary::head_address(data), binary::length(data)) < 0) return cell::make_none(out);
        if (!decode_bytes(out, data)) error::raise(Err::access_bad_media);
        return;
    }
    Cell file = *data;
    Cell bytes = *io::read(&file, nullptr, nullptr, true, false);
    if (!decode_bytes(out, &bytes)) error::raise(Err::access_cannot_open, &file);
}

void encode(Cell* out, const Cell* img, int32_t format) {
    if (!cell::series_node(img)) error::raise(Err::access_bad_media);
    std::vector<uint8_t> bytes;
    if (!os_image::encode(format, pixels(img), width(img), height(img), bytes)) error::raise(Err::access_bad_media);
    *out = *binary::from_memory(bytes.data(), uint32_t(bytes.size()));
}

// ---- registration -------------------------------------------------------------------

void register_type() {
    datatype::register_({
        .id = T_IMAGE, .parent = T_SERIES, .name = "image!",
        .make = make, .to = to, .form = form, .mold = mold, .eval_path = eval_path, .compare = compare,
        .at = at, .back = INHERIT, .change = change, .copy = copy, .head = INHERIT, .is_head = INHERIT,
        .is_index = INHERIT, .is_length = length, .next = next, .pick = pick, .poke = poke, .skip = skip,
        .tail = tail, .is_tail = is_tail, .modify = INHERIT,
    });
}

}  // namespace image
}  // namespace zel
