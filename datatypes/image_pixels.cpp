// Pixel algorithms and plane geometry: see image_pixels.h.
#include "datatypes/image_pixels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "datatypes/image.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "platform/image_codecs.h"

namespace zel {

// ---- vectors ------------------------------------------------------------------------

namespace vec2 {

double length(const Vec& v) { return std::sqrt(v.x * v.x + v.y * v.y); }

void normalize(Vec& v) {
    double n = length(v);
    v.x /= n;
    v.y /= n;
}

void set(Vec& v, float x, float y) { v = {x, y}; }
void between(Vec& v, float ax, float ay, float bx, float by) { v = {double(bx) - ax, double(by) - ay}; }
double cross(const Vec& a, const Vec& b) { return a.x * b.y - a.y * b.x; }
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y; }

namespace {
double cross_to_line(const Vec& point, const Vec& start, const Vec& end) {
    return cross({point.x - start.x, point.y - start.y}, {end.x - start.x, end.y - start.y});
}
}  // namespace

bool is_cross_negative(const Vec& point, const Vec& start, const Vec& end) { return cross_to_line(point, start, end) < 0; }
bool is_cross_positive(const Vec& point, const Vec& start, const Vec& end) { return cross_to_line(point, start, end) > 0; }

double distance_to_line(const Vec& point, const Vec& start, const Vec& end) {
    Vec unit{end.x - start.x, end.y - start.y};
    normalize(unit);
    return std::fabs(cross({point.x - start.x, point.y - start.y}, unit));
}

void rotate(Vec& v, double degrees) {
    double r = degrees * M_PI / 180, c = std::cos(r), s = std::sin(r);
    v = {v.x * c - v.y * s, v.x * s + v.y * c};
}

}  // namespace vec2

// ---- quadrilaterals -------------------------------------------------------------------

namespace quad {

void mirror_x(Quad& q, float c) {
    for (float& x : q.x) x = 2 * c - x;
}

void mirror_y(Quad& q, float c) {
    for (float& y : q.y) y = 2 * c - y;
}

bool is_contains(const Quad& q, const vec2::Vec& point) {
    for (int k = 0; k < 4; k++) {
        int n = (k + 1) % 4;
        if (vec2::is_cross_positive(point, {q.x[k], q.y[k]}, {q.x[n], q.y[n]})) return false;
    }
    return true;
}

}  // namespace quad

// ---- pixel buffers ----------------------------------------------------------------------

namespace pixels {

bool copy_rect(const uint32_t* source, int32_t sw, int32_t sh, int32_t x, int32_t y, int32_t width, int32_t height,
               uint32_t* target) {
    if (x < 0 || y < 0 || x >= sw || y >= sh) return false;
    int32_t w = std::min(width, sw - x), h = std::min(height, sh - y);
    for (int32_t row = 0; row < h && w > 0; row++)
        std::memcpy(target + int64_t(row) * w, source + int64_t(y + row) * sw + x, size_t(w) * 4);
    return true;
}

namespace {

uint32_t channel(uint32_t p, int shift) { return p >> shift & 0xFF; }

// Bilinear: each byte of the four neighbours weighed alike.
uint32_t blend(const uint32_t* s, int32_t sw, int32_t sh, float u, float v) {
    int32_t iu = int32_t(u), iv = int32_t(v);
    int32_t iu1 = iu + 1 == sw ? iu : iu + 1, iv1 = iv + 1 == sh ? iv : iv + 1;
    float fu = std::max(u - float(iu), 0.0f), fv = std::max(v - float(iv), 0.0f);
    uint32_t a = s[int64_t(iv) * sw + iu], b = s[int64_t(iv) * sw + iu1];
    uint32_t c = s[int64_t(iv1) * sw + iu], d = s[int64_t(iv1) * sw + iu1];
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float f = (1 - fu) * (1 - fv) * float(channel(a, shift)) + fu * (1 - fv) * float(channel(b, shift)) +
                  (1 - fu) * fv * float(channel(c, shift)) + fu * fv * float(channel(d, shift));
        out |= std::min(uint32_t(f), 255u) << shift;
    }
    return out;
}

}  // namespace

std::vector<uint32_t> resample_quad(const uint32_t* source, int32_t sw, int32_t sh, const quad::Quad& q,
                                    Placement* placed) {
    if (sw < 1 || sh < 1) return {};
    float min_x = FLT_MAX, min_y = FLT_MAX, max_x = -FLT_MAX, max_y = -FLT_MAX;
    for (int k = 0; k < 4; k++) {
        min_x = std::min(min_x, q.x[k]), max_x = std::max(max_x, q.x[k]);
        min_y = std::min(min_y, q.y[k]), max_y = std::max(max_y, q.y[k]);
    }
    constexpr float LIMIT = float(os_image::MAX_SIDE);
    if (!(min_x >= -LIMIT && min_y >= -LIMIT && max_x - min_x <= LIMIT && max_y - min_y <= LIMIT)) return {};
    Placement p{int32_t(min_x), int32_t(min_y), int32_t(max_x - min_x), int32_t(max_y - min_y)};
    vec2::Vec start[4], unit[4];
    for (int k = 0; k < 4; k++) {
        int n = (k + 1) % 4;
        vec2::set(start[k], q.x[k], q.y[k]);
        vec2::between(unit[k], q.x[k], q.y[k], q.x[n], q.y[n]);
        vec2::normalize(unit[k]);
    }
    std::vector<uint32_t> out(size_t(p.width) * size_t(p.height), 0);
    for (int32_t j = 0; j < p.height; j++)
        for (int32_t i = 0; i < p.width; i++) {
            vec2::Vec point{double(p.x + i), double(p.y + j)};
            if (!quad::is_contains(q, point)) continue;
            double d[4];
            for (int k = 0; k < 4; k++) d[k] = std::fabs(vec2::cross({point.x - start[k].x, point.y - start[k].y}, unit[k]));
            if (!(d[3] + d[1] > 0) || !(d[0] + d[2] > 0)) continue;
            float u = float(d[3] / (d[3] + d[1]) * sw), v = float(d[0] / (d[0] + d[2]) * sh);
            if (!(u > -1 && u < float(sw) && v > -1 && v < float(sh))) continue;
            out[size_t(j) * size_t(p.width) + size_t(i)] = blend(source, sw, sh, u, v);
        }
    *placed = p;
    return out;
}

std::vector<uint32_t> resize(const uint32_t* source, int32_t sw, int32_t sh, int32_t w, int32_t h) {
    quad::Quad q{{0, float(w), float(w), 0}, {0, 0, float(h), float(h)}};
    Placement p;
    std::vector<uint32_t> out = resample_quad(source, sw, sh, q, &p);
    if (p.width != w || p.height != h) return {};
    return out;
}

void scale_nearest(const uint32_t* source, uint32_t sw, uint32_t sh, uint32_t* target, uint32_t w, uint32_t h) {
    for (uint64_t y = 0; y < h; y++) {
        const uint32_t* row = source + (2 * y + 1) * sh / (2 * h) * sw;
        for (uint64_t x = 0; x < w; x++) target[y * w + x] = row[(2 * x + 1) * sw / (2 * w)];
    }
}

void yuy2_to_rgb(uint32_t per_row, uint32_t rows, const uint8_t* source, uint32_t* target) {
    auto clamp = [](int32_t c) { return uint32_t(std::clamp(c, 0, 255)); };
    for (uint64_t k = 0, pairs = uint64_t(per_row) * rows / 2; k < pairs; k++) {
        const uint8_t* s = source + 4 * k;
        int32_t cb = s[1] - 128, cr = s[3] - 128;
        int32_t r = (cr * 91881) >> 16, g = ((cr * 46792) >> 16) + ((cb * 21889) >> 16), b = (cb * 116129) >> 16;
        for (int32_t half = 0; half < 2; half++) {
            int32_t y = s[2 * half];
            target[2 * k + uint64_t(half)] = 0xFF000000u | clamp(y + b) << 16 | clamp(y - g) << 8 | clamp(y + r);
        }
    }
}

}  // namespace pixels

// ---- drawing an image into points ---------------------------------------------------------

namespace image {

namespace {

bool point_of(const Cell* c, float* x, float* y) {
    if (cell::type(c) == T_PAIR) {
        *x = float(pair::x_of(c)), *y = float(pair::y_of(c));
        return true;
    }
    if (cell::type(c) != T_POINT2D) return false;
    *x = point::get(c, 0), *y = point::get(c, 1);
    return true;
}

// The quadrilateral of the points, or false for another count or a value
// that is no point.
bool quad_of(const Cell* first, uint32_t count, float sw, float sh, quad::Quad& q) {
    float x[4], y[4];
    if (count < 1 || count > 4) return false;
    for (uint32_t k = 0; k < count; k++)
        if (!point_of(first + k, &x[k], &y[k])) return false;
    switch (count) {
    case 1: q = {{x[0], x[0] + sw, x[0] + sw, x[0]}, {y[0], y[0], y[0] + sh, y[0] + sh}}; break;
    case 2: q = {{x[0], x[1], x[1], x[0]}, {y[0], y[0], y[1], y[1]}}; break;
    case 3: q = {{x[0], x[1], x[1] + x[2] - x[0], x[2]}, {y[0], y[1], y[1] + y[2] - y[0], y[2]}}; break;
    default: q = {{x[0], x[1], x[3], x[2]}, {y[0], y[1], y[3], y[2]}}; break;
    }
    return true;
}

}  // namespace

void transform(const Cell* img, const Cell* crop_offset, const Cell* crop_size, const Cell* first, uint32_t count,
               Cell* result, pixels::Placement* placed) {
    cell::make_none(result);
    int32_t w = int32_t(width(img)), h = int32_t(height(img)), cx = 0, cy = 0, sw = w, sh = h;
    if (crop_offset && crop_size) {
        cx = pair::x_of(crop_offset), cy = pair::y_of(crop_offset);
        sw = std::min(pair::x_of(crop_size), w - cx), sh = std::min(pair::y_of(crop_size), h - cy);
    }
    quad::Quad q;
    if (!quad_of(first, count, float(sw), float(sh), q)) return;
    bool flip_x = q.x[0] > q.x[1], flip_y = q.y[1] > q.y[2];
    if (flip_x) quad::mirror_x(q, q.x[0]);
    if (flip_y) quad::mirror_y(q, q.y[0]);
    std::vector<uint32_t> cropped;
    const uint32_t* source = pixels(img);
    if (crop_offset && crop_size && sw > 0 && sh > 0) {
        cropped.resize(size_t(sw) * size_t(sh));
        if (!pixels::copy_rect(source, w, h, cx, cy, sw, sh, cropped.data())) return;
        source = cropped.data();
    }
    pixels::Placement p;
    std::vector<uint32_t> out = source ? pixels::resample_quad(source, sw, sh, q, &p) : std::vector<uint32_t>{};
    if (out.empty()) return;
    init_cell(result, p.width, p.height);
    std::copy(out.begin(), out.end(), pixels(result));
    if (flip_x) p.width = -p.width;
    if (flip_y) p.height = -p.height;
    *placed = p;
}

}  // namespace image
}  // namespace zel
