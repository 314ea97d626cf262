// Pixel algorithms over raw 32-bit pixel buffers (row-major, rows packed)
// and the plane geometry they use: copying a rectangle out, resampling an
// image into any quadrilateral with bilinear filtering, resizing, scaling by
// nearest neighbour, packed 4:2:2 YCbCr frames to pixels, and drawing an
// image into one to four corner points. They serve a graphical drawing
// backend.
#pragma once
#include <cstdint>
#include <vector>

#include "kernel/cell.h"

namespace zel {
namespace vec2 {

struct Vec {
    double x, y;
};

double length(const Vec& v);
void normalize(Vec& v);
void set(Vec& v, float x, float y);
void between(Vec& v, float ax, float ay, float bx, float by);
double cross(const Vec& a, const Vec& b);
double dot(const Vec& a, const Vec& b);
// The sign of cross(point - start, end - start).
bool is_cross_negative(const Vec& point, const Vec& start, const Vec& end);
bool is_cross_positive(const Vec& point, const Vec& start, const Vec& end);
double distance_to_line(const Vec& point, const Vec& start, const Vec& end);
// Turns the vector by the angle in degrees, counter-clockwise with y up.
void rotate(Vec& v, double degrees);

}  // namespace vec2

namespace quad {

// Corners top-left, top-right, bottom-right, bottom-left for an upright
// image; edge k runs from corner k to corner k + 1 (mod 4).
struct Quad {
    float x[4], y[4];
};

void mirror_x(Quad& q, float c);
void mirror_y(Quad& q, float c);
// Points on an edge are inside.
bool is_contains(const Quad& q, const vec2::Vec& point);

}  // namespace quad

namespace pixels {

// Where a resampled buffer goes and how large it is.
struct Placement {
    int32_t x = 0, y = 0, width = 0, height = 0;
};

// Copies the rectangle, clipped to the source, into target (rows packed at
// the clipped width); false when x or y is negative or outside the source.
bool copy_rect(const uint32_t* source, int32_t source_width, int32_t source_height, int32_t x, int32_t y,
               int32_t width, int32_t height, uint32_t* target);
// The source drawn into the quadrilateral, in a buffer of the quadrilateral's
// bounding box; empty for a source with a side below 1.
std::vector<uint32_t> resample_quad(const uint32_t* source, int32_t source_width, int32_t source_height,
                                    const quad::Quad& q, Placement* placed);
// The source resampled to the new size; empty unless the output has exactly
// that size.
std::vector<uint32_t> resize(const uint32_t* source, int32_t source_width, int32_t source_height,
                             int32_t new_width, int32_t new_height);
// Nearest neighbour: each target pixel takes the source pixel under its
// centre. Both sides of both sizes at least 1.
void scale_nearest(const uint32_t* source, uint32_t source_width, uint32_t source_height, uint32_t* target,
                   uint32_t width, uint32_t height);
// Packed 4:2:2 YCbCr (Y0 Cb Y1 Cr for two pixels) to opaque pixels.
void yuy2_to_rgb(uint32_t pixels_per_row, uint32_t rows, const uint8_t* source, uint32_t* target);

}  // namespace pixels

namespace image {

// Draws the image, or its crop (offset and size pairs, or null), into the
// points of the cells first .. first + count - 1 (pair! or point2D!): one
// point places it unscaled, two give opposite corners, three a
// parallelogram, four the corners top-left, top-right, bottom-left,
// bottom-right. A mirrored quadrilateral answers a negative width or
// height. Writes the new image into result, or none for another count.
void transform(const Cell* image, const Cell* crop_offset, const Cell* crop_size, const Cell* first,
               uint32_t count, Cell* result, pixels::Placement* placed);

}  // namespace image
}  // namespace zel
