// The library's Zel sources, embedded at build time (tools/embed_library.py
// writes the table from library/*.zel, in the order library/library.cmake
// lists them).
#pragma once
#include <cstdint>

namespace zel {
namespace library {

struct Source {
    const char* name;  // the file name, for start-up errors
    const char* text;  // UTF-8, NUL-terminated
    uint32_t length;   // bytes, without the NUL
};

extern const Source SOURCES[];
extern const uint32_t SOURCE_COUNT;

}  // namespace library
}  // namespace zel
