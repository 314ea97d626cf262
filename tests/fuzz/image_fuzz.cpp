// libFuzzer target for the image decoders: every input is decoded by its
// signature (BMP, PNG, GIF, JPEG, TIFF). Refusing the input is an answer,
// not a finding; a crash, a sanitizer report, a leak or a hang is. Seed it
// with small files of each format.
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/image_codecs.h"

namespace {

// Pixels into a vector, capped so that a huge declared size is not a finding
// of its own.
class Pixels final : public zel::os_image::Target {
public:
    uint32_t* allocate(uint32_t width, uint32_t height) override {
        uint64_t n = uint64_t(width) * height;
        if (n > (1u << 24)) throw std::bad_alloc();
        pixels_.assign(n, 0);
        return pixels_.data();
    }

private:
    std::vector<uint32_t> pixels_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Pixels target;
    try {
        zel::os_image::decode(data, size, target);
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
