// The pixel algorithms and plane geometry: quadrilateral membership, the
// rectangle copy, resampling into quadrilaterals, YCbCr frames, and drawing
// an image into points.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "datatypes/image.h"
#include "datatypes/image_pixels.h"
#include "datatypes/pair.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace {

std::vector<uint32_t> numbered(int32_t w, int32_t h) {
    std::vector<uint32_t> px(size_t(w) * size_t(h));
    for (size_t i = 0; i < px.size(); i++) px[i] = 0xFF000000u | uint32_t(i * 0x010203);
    return px;
}

quad::Quad rectangle(float w, float h) { return {{0, w, w, 0}, {0, 0, h, h}}; }

TEST(ImagePixelsTest, PointsOnEdgesAreInside) {
    quad::Quad q = rectangle(4, 3);
    EXPECT_TRUE(quad::contains(q, {0, 0}));
    EXPECT_TRUE(quad::contains(q, {4, 1}));
    EXPECT_TRUE(quad::contains(q, {2, 3}));
    EXPECT_TRUE(quad::contains(q, {2, 1}));
    EXPECT_FALSE(quad::contains(q, {4.5, 1}));
    EXPECT_FALSE(quad::contains(q, {-0.1, 1}));
    EXPECT_FALSE(quad::contains(q, {2, 3.1}));
}

TEST(ImagePixelsTest, VectorRoutines) {
    vec2::Vec v{3, 4};
    EXPECT_DOUBLE_EQ(vec2::length(v), 5);
    vec2::normalize(v);
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    EXPECT_DOUBLE_EQ(vec2::distance_to_line({2, 5}, {0, 1}, {10, 1}), 4);
    EXPECT_TRUE(vec2::is_cross_positive({1, 1}, {0, 0}, {1, 0}) != vec2::is_cross_negative({1, 1}, {0, 0}, {1, 0}));
    quad::Quad q = rectangle(2, 2);
    quad::mirror_x(q, 0);
    EXPECT_EQ(q.x[1], -2);
}

TEST(ImagePixelsTest, CopyRectClipsAndRefusesOutsideCorners) {
    std::vector<uint32_t> src = numbered(3, 2), out(6, 0);
    EXPECT_FALSE(pixels::copy_rect(src.data(), 3, 2, 3, 0, 1, 1, out.data()));
    EXPECT_FALSE(pixels::copy_rect(src.data(), 3, 2, -1, 0, 1, 1, out.data()));
    ASSERT_TRUE(pixels::copy_rect(src.data(), 3, 2, 1, 0, 5, 5, out.data()));
    EXPECT_EQ(out[0], src[1]);
    EXPECT_EQ(out[1], src[2]);
    EXPECT_EQ(out[2], src[4]);  // rows packed at the clipped width of 2
    EXPECT_EQ(out[3], src[5]);
}

TEST(ImagePixelsTest, ResamplingIntoItsOwnRectangleGivesTheSource) {
    std::vector<uint32_t> src = numbered(4, 3);
    pixels::Placement p;
    std::vector<uint32_t> out = pixels::resample_quad(src.data(), 4, 3, rectangle(4, 3), &p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(p.width, 4);
    EXPECT_EQ(p.height, 3);
    EXPECT_EQ(out, src);
    EXPECT_TRUE(pixels::resample_quad(src.data(), 0, 3, rectangle(4, 3), &p).empty());
}

TEST(ImagePixelsTest, ResizeDoublesAndBlends) {
    std::vector<uint32_t> src{0xFF000000u, 0xFF0000FEu};
    std::vector<uint32_t> out = pixels::resize(src.data(), 2, 1, 4, 1);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], src[0]);
    EXPECT_EQ(out[1], 0xFF00007Fu);  // half way between the two
    EXPECT_EQ(out[2], src[1]);
}

TEST(ImagePixelsTest, NeutralChromaGivesGrey) {
    const uint8_t frame[] = {10, 128, 200, 128, 0, 128, 255, 128};
    uint32_t out[4];
    pixels::yuy2_to_rgb(4, 1, frame, out);
    EXPECT_EQ(out[0], 0xFF0A0A0Au);
    EXPECT_EQ(out[1], 0xFFC8C8C8u);
    EXPECT_EQ(out[2], 0xFF000000u);
    EXPECT_EQ(out[3], 0xFFFFFFFFu);
}

TEST(ImagePixelsTest, TransformPlacesMirrorsAndCounts) {
    Cell img, result, points[4];
    temp_roots::Hold hold_img(&img), hold_result(&result);
    image::init_cell(&img, 2, 2);
    std::vector<uint32_t> src = numbered(2, 2);
    std::copy(src.begin(), src.end(), image::pixels(&img));
    pixels::Placement p;
    pair::init_cell(&points[0], 5, 6);
    image::transform(&img, nullptr, nullptr, points, 1, &result, &p);
    ASSERT_EQ(cell::type(&result), T_IMAGE);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 6);
    EXPECT_EQ(p.width, 2);
    EXPECT_EQ(image::pixels(&result)[3], src[3]);
    pair::init_cell(&points[0], 4, 0);
    pair::init_cell(&points[1], 0, 4);
    image::transform(&img, nullptr, nullptr, points, 2, &result, &p);
    EXPECT_EQ(p.width, -4);  // mirrored left to right
    EXPECT_EQ(p.height, 4);
    image::transform(&img, nullptr, nullptr, points, 0, &result, &p);
    EXPECT_EQ(cell::type(&result), T_NONE);
}

}  // namespace
}  // namespace zel
