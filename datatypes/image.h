// image!: a two-dimensional series of pixels, read and written as tuples
// R.G.B.T (T the transparency, 255 minus the alpha).
//
// The cell: w1 the head, a pixel index counted row by row from the top-left
// pixel; w2 the node of the pixel record, 0 for an image without pixels;
// w3 the size, height in the high 16 bits and width in the low 16 bits.
// The record is an ordinary byte series of width * height 32-bit pixels
// 0xAARRGGBB (so B, G, R, A in memory), owned by the collector like any
// series: an unreachable image's pixels go at the next collection, and
// every access finds the buffer afresh through the node.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace image {

// Plane modes of extract_channels and set_channels.
enum Plane : int32_t { PLANE_ALPHA = 0, PLANE_RGB = 1, PLANE_ARGB = 2 };

// ---- the cell and its pixels ---------------------------------------------------

inline uint32_t width(const Cell* c) { return c->w3 & 0xFFFF; }
inline uint32_t height(const Cell* c) { return c->w3 >> 16; }
inline uint32_t count(const Cell* c) { return width(c) * height(c); }
inline uint32_t head(const Cell* c) { return c->w1; }
inline void set_head(Cell* c, uint32_t h) { c->w1 = h; }
// The image's pixels, or null without any; good until the next allocation.
uint32_t* pixels(const Cell* c);
// A new image of the size (white and opaque), head 0; a side of 0 gives an
// image without pixels; a side above 65,535 raises out-of-range.
void init_cell(Cell* c, int64_t width, int64_t height);
// Pushes a new image of the size (taken as init_cell takes it) holding the
// image's pixels scaled by nearest neighbour; an image without pixels gives
// one without pixels, 0x0.
Cell* push_scaled(const Cell* image, int64_t width, int64_t height);

// ---- pixels as values ------------------------------------------------------------

uint32_t from_tuple(const Cell* tuple);
// An integer's four bytes as a tuple's: R in the low byte, T in the high one.
uint32_t from_integer(int32_t value);
void write_tuple(Cell* out, uint32_t pixel);

// ---- planes ---------------------------------------------------------------------

// A new binary of the plane of every pixel, pushed on the value stack.
Cell* extract_channels(const Cell* image, int32_t mode);
void set_channels(const Cell* image, const Cell* value, int32_t mode);

// ---- codecs ---------------------------------------------------------------------

// The image decoded from a binary (none for an unknown signature; bad-media
// for a corrupt file) or from a file (cannot-open), into out.
void decode(Cell* out, const Cell* data);
// The image's bytes in the format (format index 0-4), into out.
void encode(Cell* out, const Cell* image, int32_t format);

// ---- series actions ----------------------------------------------------------------

// The pixel offset of an integer or pair index with base 1 or 0, clamped to
// 0 .. count; *outside set when the index names no pixel.
int64_t pixel_offset(const Cell* image, const Cell* index, int32_t base, bool* outside);
// A new image of the region, clipped to the image; head 0.
void crop(Cell* out, const Cell* image, int64_t x, int64_t y, int64_t w, int64_t h);

const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types);
const Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
const Cell* pick(Cell* series, int32_t index, Cell* index_cell);
const Cell* poke(Cell* series, int32_t index, Cell* index_cell, Cell* value);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t length(Cell* value);
void at();
void skip();
void next();
void tail();
void is_tail();

void register_type();

}  // namespace image
}  // namespace zel
