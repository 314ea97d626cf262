// Error identities. An error is named by its code, category x 100 + the id's
// position among the category's ids, so one 16-bit number carries both the
// category and the id; the catalog table gives the words and templates.
#pragma once
#include <cstdint>

namespace zel {

enum class Err : uint16_t {
#define ZEL_ERROR_CATEGORY(index, word, title)
#define ZEL_ERROR(category, code, ident, word, kind, ...) ident = code,
#include "datatypes/error_catalog.inc"
#undef ZEL_ERROR
#undef ZEL_ERROR_CATEGORY
};

enum ErrorCategory : uint32_t {
    CAT_THROW, CAT_NOTE, CAT_SYNTAX, CAT_SCRIPT, CAT_MATH, CAT_ACCESS,
    CAT_RESERVED1, CAT_RESERVED2, CAT_USER, CAT_INTERNAL, CATEGORY_COUNT,
};

inline uint32_t category_of(Err e) { return uint32_t(e) / 100; }
// Position of the id in its category object, after `code` and `type`.
inline uint32_t position_of(Err e) { return uint32_t(e) % 100 + 2; }

}  // namespace zel
