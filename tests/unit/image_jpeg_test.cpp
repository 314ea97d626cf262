// JPEG files of inks (CMYK and YCCK, plain and with the Adobe marker's
// inverted inks), written here through libjpeg, decode to the colours the
// inks leave of white; the cut-short forms of each are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "platform/image_codecs.h"

namespace zel {
namespace {

struct Ink {
    uint8_t c, m, y, k;
};

// A picture of two 16x16 squares, each of one ink; the squares fill whole
// blocks, so the stored inks come back nearly exact.
constexpr uint32_t WIDTH = 32, HEIGHT = 16;
const Ink LEFT{0, 255, 255, 0}, RIGHT{51, 102, 153, 64};

// The file of the picture, the inks stored in the colour space given
// (CMYK or YCCK), inverted or not, with or without the Adobe marker.
std::vector<uint8_t> ink_file(J_COLOR_SPACE stored, bool inverted, bool adobe_marker) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &bytes, &size);
    info.image_width = WIDTH;
    info.image_height = HEIGHT;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_set_quality(&info, 100, TRUE);
    // No subsampled channel: its smoothing would blur the squares' edge.
    for (int i = 0; i < info.num_components; i++) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    info.write_Adobe_marker = adobe_marker;
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(WIDTH * 4);
    for (uint32_t x = 0; x < WIDTH; x++) {
        const Ink& ink = x < WIDTH / 2 ? LEFT : RIGHT;
        const uint8_t inks[4] = {ink.c, ink.m, ink.y, ink.k};
        for (int i = 0; i < 4; i++) row[4 * x + i] = inverted ? uint8_t(255 - inks[i]) : inks[i];
    }
    while (info.next_scanline < HEIGHT) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(bytes, bytes + size);
    std::free(bytes);
    return out;
}

class Pixels final : public os_image::Target {
public:
    uint32_t* allocate(uint32_t width, uint32_t height) override {
        width_ = width;
        pixels_.assign(size_t(width) * height, 0);
        return pixels_.data();
    }
    uint32_t width_ = 0;
    std::vector<uint32_t> pixels_;
};

// The colour left of white: each channel keeps what its ink and the black
// let through.
uint32_t colour_of(const Ink& ink) {
    auto left = [&](uint8_t v) { return uint32_t((255 - v) * (255 - ink.k) / 255.0 + 0.5); };
    return 0xFF000000u | left(ink.c) << 16 | left(ink.m) << 8 | left(ink.y);
}

// The largest difference of a channel between two pixels.
uint32_t distance(uint32_t a, uint32_t b) {
    uint32_t most = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int32_t d = int32_t(a >> shift & 0xFF) - int32_t(b >> shift & 0xFF);
        most = std::max<uint32_t>(most, uint32_t(std::abs(d)));
    }
    return most;
}

TEST(ImageJpegTest, InksDecodeToColours) {
    struct Case {
        const char* name;
        J_COLOR_SPACE stored;
        bool inverted, adobe_marker;
    };
    const Case cases[] = {
        {"plain CMYK", JCS_CMYK, false, false},
        {"Adobe CMYK", JCS_CMYK, true, true},
        {"Adobe YCCK", JCS_YCCK, true, true},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = ink_file(c.stored, c.inverted, c.adobe_marker);
        Pixels out;
        ASSERT_TRUE(os_image::decode(file.data(), file.size(), out)) << c.name;
        ASSERT_EQ(out.width_, WIDTH) << c.name;
        ASSERT_EQ(out.pixels_.size(), size_t(WIDTH * HEIGHT)) << c.name;
        for (uint32_t i = 0; i < WIDTH * HEIGHT; i++) {
            uint32_t want = colour_of(i % WIDTH < WIDTH / 2 ? LEFT : RIGHT);
            ASSERT_LE(distance(out.pixels_[i], want), 3u) << c.name << " pixel " << i << std::hex << " "
                                                          << out.pixels_[i] << " " << want;
        }
    }
}

TEST(ImageJpegTest, CutShortInkFilesAreRefused) {
    std::vector<uint8_t> file = ink_file(JCS_YCCK, true, true);
    for (size_t n = 3; n < file.size(); n++) {
        Pixels out;
        EXPECT_FALSE(os_image::decode(file.data(), n, out)) << n;
    }
}

}  // namespace
}  // namespace zel
