// Raising language errors from the kernel: records the error's identity, lets the
// error module (when present) build the error value, then unwinds with the error
// exit code.
#include "kernel/fail.h"

#include "kernel/runtime.h"

namespace zel {
namespace fail {

static const char* cur_category = "";
static const char* cur_id = "";
static Builder builder = nullptr;

void raise(const char* category, const char* id) {
    cur_category = category;
    cur_id = id;
    if (builder) builder(category, id);
    runtime::throw_code(EXIT_ERROR);
}

const char* last_category() { return cur_category; }
const char* last_id() { return cur_id; }
void set_builder(Builder b) { builder = b; }

}  // namespace fail
}  // namespace zel
