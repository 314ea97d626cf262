// The boot image the build embeds in the programs that start the whole
// system (zel, the test programs): a Zelbin stream made by the first stage
// (tools/make_boot_image.cpp) from the boot words and the library sources.
// It lives in its own library, zel-image, generated in the build directory,
// so that zel-core (which the first stage links) does not need it.
#pragma once
#include <cstdint>

#include "kernel/runtime.h"

namespace zel {
namespace boot_image {

extern const uint8_t data[];
extern const uint32_t size;

// Names the image in the runtime record, where start-up finds it.
inline void install() {
    runtime::record.boot_image = data;
    runtime::record.boot_image_size = size;
}

}  // namespace boot_image
}  // namespace zel
