// The screen form of an edited line: the prompt and the line written from the
// prompt's origin, each character placed in cells as the terminal places it
// (wide characters two cells, starting the next row when one cell is left;
// combining marks none; a Tab four spaces), with the cell positions of the
// cursor and of the end. Nothing in the line reaches the terminal raw: a
// control character shows as "^" and a letter, and hidden input as "*".
#pragma once
#include <cstdint>
#include <string>

namespace zel {
namespace line_layout {

struct Placed {
    std::string bytes;  // what to write from the origin
    int32_t cursor;     // cells from column 0 of the origin's row
    int32_t end;
};

// prompt is UTF-8 as the caller gave it; its colour sequences ("ESC[...m")
// pass through and take no cell, its other control characters show safely.
Placed place(const std::string& prompt, const std::u32string& line, size_t cursor, bool hidden,
             int32_t origin_column, int32_t columns);
// The bytes and cells of one character appended at the position.
int32_t place_char(std::string& out, char32_t c, bool hidden, int32_t position, int32_t columns);

}  // namespace line_layout
}  // namespace zel
