// The image codecs: pixel buffers to and from the bytes of BMP, PNG, GIF,
// JPEG and TIFF files. Pixels are 32-bit words 0xAARRGGBB (alpha is the
// opacity), rows packed from the top-left pixel without gaps.
//
// A decoder checks the file's sizes and offsets before it asks its target
// for pixels, and never reads outside the bytes it is given; a corrupt or
// truncated file answers false. The target may throw (refused memory); a
// decoder owns nothing that such a throw would leak.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zel {
namespace os_image {

// The format index shared with the codec objects.
enum Format : int32_t { FORMAT_BMP = 0, FORMAT_PNG = 1, FORMAT_GIF = 2, FORMAT_JPEG = 3, FORMAT_TIFF = 4 };
constexpr int32_t FORMAT_COUNT = 5;

// Sides are 16-bit: no decoder makes, and no encoder writes, a larger one.
constexpr uint32_t MAX_SIDE = 65535;

// Where a decoder puts the pixels: asked once, with sides of 1 to MAX_SIDE,
// for a buffer of width * height words.
class Target {
public:
    virtual uint32_t* allocate(uint32_t width, uint32_t height) = 0;

protected:
    ~Target() = default;
};

// The format from the leading signature, or -1 when none is known.
int32_t sniff(const uint8_t* data, size_t size);

// Decodes by the signature; false for an unknown, corrupt or truncated file.
bool decode(const uint8_t* data, size_t size, Target& target);
// Encodes width * height pixels; false when the format cannot be written.
bool encode(int32_t format, const uint32_t* pixels, uint32_t width, uint32_t height,
            std::vector<uint8_t>& out);

// The codecs by format: BMP is our own, the others are the system's
// libraries opened on first use (a missing library fails every call).
bool decode_bmp(const uint8_t* data, size_t size, Target& target);
bool encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out);
bool decode_png(const uint8_t* data, size_t size, Target& target);
bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out);
bool decode_jpeg(const uint8_t* data, size_t size, Target& target);
bool encode_jpeg(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out);
bool decode_gif(const uint8_t* data, size_t size, Target& target);
bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out);
bool decode_tiff(const uint8_t* data, size_t size, Target& target);
bool encode_tiff(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out);

}  // namespace os_image
}  // namespace zel
