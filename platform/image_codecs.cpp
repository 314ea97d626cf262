// The codec choice: signatures and the table of decoders and encoders by
// format index.
#include <cstring>

#include "platform/image_codecs.h"

namespace zel {
namespace os_image {

namespace {

struct Signature {
    int32_t format;
    const char* bytes;
    size_t size;
};
const Signature SIGNATURES[] = {
    {FORMAT_PNG, "\x89PNG", 4},     {FORMAT_JPEG, "\xFF\xD8\xFF", 3}, {FORMAT_BMP, "BM", 2},
    {FORMAT_GIF, "GIF87a", 6},      {FORMAT_GIF, "GIF89a", 6},        {FORMAT_TIFF, "II*\0", 4},
    {FORMAT_TIFF, "MM\0*", 4},
};

using Decoder = bool (*)(const uint8_t*, size_t, Target&);
using Encoder = bool (*)(const uint32_t*, uint32_t, uint32_t, std::vector<uint8_t>&);
// Indexed by format.
const Decoder DECODERS[FORMAT_COUNT] = {decode_bmp, decode_png, decode_gif, decode_jpeg, decode_tiff};
const Encoder ENCODERS[FORMAT_COUNT] = {encode_bmp, encode_png, encode_gif, encode_jpeg, encode_tiff};

}  // namespace

int32_t sniff(const uint8_t* data, size_t size) {
    for (const Signature& s : SIGNATURES)
        if (size >= s.size && std::memcmp(data, s.bytes, s.size) == 0) return s.format;
    return -1;
}

bool decode(const uint8_t* data, size_t size, Target& target) {
    int32_t format = sniff(data, size);
    return format >= 0 && DECODERS[format](data, size, target);
}

bool encode(int32_t format, const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    return format >= 0 && format < FORMAT_COUNT && ENCODERS[format](pixels, width, height, out);
}

}  // namespace os_image
}  // namespace zel
