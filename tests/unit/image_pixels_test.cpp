// The pixel algorithms and plane geometry: quadrilateral membership, the
// rectangle copy, resampling into quadrilaterals, YCbCr frames, and drawing
// an image into points.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "datatypes/image.h"
#include "datatypes/image_pixels.h"
#include "core/exits.h"
#include "core/stack.h"
#include "core/word.h"
#include "datatypes/error.h"
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
    EXPECT_TRUE(quad::is_contains(q, {0, 0}));
    EXPECT_TRUE(quad::is_contains(q, {4, 1}));
    EXPECT_TRUE(quad::is_contains(q, {2, 3}));
    EXPECT_TRUE(quad::is_contains(q, {2, 1}));
    EXPECT_FALSE(quad::is_contains(q, {4.5, 1}));
    EXPECT_FALSE(quad::is_contains(q, {-0.1, 1}));
    EXPECT_FALSE(quad::is_contains(q, {2, 3.1}));
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

// Each target pixel takes the source pixel under its centre.
TEST(ImagePixelsTest, NearestNeighbourScaling) {
    struct Case {
        uint32_t sw, sh, w, h;
        std::vector<uint32_t> picked;  // source index of each target pixel
    };
    const Case cases[] = {
        {1, 1, 3, 2, {0, 0, 0, 0, 0, 0}},
        {3, 2, 1, 1, {4}},
        {3, 2, 3, 2, {0, 1, 2, 3, 4, 5}},
        {3, 2, 6, 1, {3, 3, 4, 4, 5, 5}},
        {2, 1, 3, 1, {0, 1, 1}},
        {3, 1, 2, 2, {0, 2, 0, 2}},
        {4, 4, 2, 2, {5, 7, 13, 15}},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> src = numbered(int32_t(c.sw), int32_t(c.sh)), out(c.w * c.h, 0);
        pixels::scale_nearest(src.data(), c.sw, c.sh, out.data(), c.w, c.h);
        std::vector<uint32_t> want;
        for (uint32_t k : c.picked) want.push_back(src[k]);
        EXPECT_EQ(out, want) << c.sw << "x" << c.sh << " to " << c.w << "x" << c.h;
    }
    // Doubling and halving again gives the source back.
    std::vector<uint32_t> src = numbered(3, 2), big(24), back(6);
    pixels::scale_nearest(src.data(), 3, 2, big.data(), 6, 4);
    pixels::scale_nearest(big.data(), 6, 4, back.data(), 3, 2);
    EXPECT_EQ(back, src);
}

// Scaled images: the size asked for, a side of 0 or a source without pixels
// gives an image without pixels, and a side above 65,535 is refused.
TEST(ImagePixelsTest, PushScaled) {
    Cell img;
    temp_roots::Hold hold(&img);
    image::init_cell(&img, 3, 2);
    std::vector<uint32_t> src = numbered(3, 2);
    std::copy(src.begin(), src.end(), image::pixels(&img));
    Cell* saved = stack::reg.top;
    Cell* down = image::push_scaled(&img, 1, 1);
    EXPECT_EQ(down, stack::last());
    ASSERT_EQ(image::count(down), 1u);
    EXPECT_EQ(image::pixels(down)[0], src[4]);
    Cell* back = image::push_scaled(down, 3, 2);
    EXPECT_EQ(image::width(back), 3u);
    EXPECT_EQ(image::height(back), 2u);
    EXPECT_EQ(std::vector<uint32_t>(image::pixels(back), image::pixels(back) + 6), std::vector<uint32_t>(6, src[4]));
    Cell* flat = image::push_scaled(&img, 0, 2);
    EXPECT_EQ(cell::series_node(flat), 0u);
    EXPECT_EQ(image::width(flat), 0u);
    EXPECT_EQ(image::height(flat), 2u);
    Cell empty;
    image::init_cell(&empty, 0, 0);
    Cell* none = image::push_scaled(&empty, 2, 2);
    EXPECT_EQ(cell::series_node(none), 0u);
    EXPECT_EQ(image::count(none), 0u);
    EXPECT_EQ(image::width(none), 0u);
    stack::reg.top = saved;
    Cell try_word = word::intern("try");
    stack::enter_try(&try_word);
    ASSERT_TRUE(exits::catch_error([&] { image::push_scaled(&img, 65536, 1); }));
    EXPECT_EQ(cell::get_int(error::field(stack::top(), error::FIELD_CODE)), int32_t(Err::script_out_of_range));
    stack::reg.top = saved;
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
