// Raising language errors by name: the catalog table gives the identifier of
// a category word and an id word; a name that is not in the catalog is itself
// an internal invalid-error.
#include "kernel/fail.h"

#include <cstring>

#include "core/raise.h"

namespace zel {
namespace fail {

namespace {

const char* const CATEGORY_WORDS[] = {
#define ZEL_ERROR_CATEGORY(index, word, title) #word,
#define ZEL_ERROR(category, code, ident, word, kind, ...)
#include "datatypes/error_catalog.inc"
#undef ZEL_ERROR
#undef ZEL_ERROR_CATEGORY
};

struct Entry {
    uint32_t category;
    const char* word;
    Err id;
};

const Entry ERRORS[] = {
#define ZEL_ERROR_CATEGORY(index, word, title)
#define ZEL_ERROR(category, code, ident, word, kind, ...) {category, word, Err::ident},
#include "datatypes/error_catalog.inc"
#undef ZEL_ERROR
#undef ZEL_ERROR_CATEGORY
};

const char* cur_category = "";
const char* cur_id = "";

Err find(const char* category, const char* id) {
    for (const Entry& e : ERRORS) {
        if (std::strcmp(CATEGORY_WORDS[e.category], category) == 0 && std::strcmp(e.word, id) == 0) return e.id;
    }
    return Err::internal_invalid_error;
}

}  // namespace

void raise(const char* category, const char* id) {
    cur_category = category;
    cur_id = id;
    error::raise(find(category, id));
}

const char* last_category() { return cur_category; }
const char* last_id() { return cur_id; }

}  // namespace fail
}  // namespace zel
