// The method words of compress and decompress, and the coders each names.
#include "core/symbol.h"
#include "io/deflate.h"

namespace zel {
namespace compress {

namespace {

constexpr uint32_t METHODS = 3;

// zlib and deflate data say nothing of their decoded size, so a size the
// caller knows spares the measuring pass; gzip always measures.
const Method methods[METHODS] = {
    {"zlib", zlib::compress, zlib::decompress, true},
    {"deflate", deflate::compress, inflate::decompress, true},
    {"gzip", gzip::compress, gzip::decompress, false},
};

uint32_t method_symbols[METHODS];  // canonical ids

}  // namespace

void init() {
    for (uint32_t m = 0; m < METHODS; m++) method_symbols[m] = symbol::resolve(symbol::intern(methods[m].name));
}

const Method* method_of(const Cell* word) {
    uint32_t s = symbol::resolve(cell::word_symbol(word));
    for (uint32_t m = 0; m < METHODS; m++)
        if (method_symbols[m] == s) return &methods[m];
    return nullptr;
}

}  // namespace compress
}  // namespace zel
