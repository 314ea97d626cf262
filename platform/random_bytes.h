// Bytes from the operating system's cryptographically secure source.
#pragma once
#include <cstdint>

namespace zel {
namespace platform {

// Fills the buffer; false when the source fails (the buffer is then not
// to be used).
bool secure_random(uint8_t* buffer, uint32_t length);

}  // namespace platform
}  // namespace zel
