// State the output natives leave for the console.
#pragma once
#include <cstdint>

namespace zel {
namespace natives {

// 1 after print, 0 after prin: whether the cursor stands at the start of a
// line once the last of them has written.
extern int32_t last_line_end;

}  // namespace natives
}  // namespace zel
