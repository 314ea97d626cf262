// Zelbin boot load: the boot image decoded into the root block with the
// collector off, its bindings given to their words only once the whole image
// has been read (so a refused image binds nothing), and its values named as
// the boot literals.
#include "core/block.h"
#include "core/context.h"
#include "core/native.h"
#include "core/roots.h"
#include "core/support.h"
#include "io/zelbin.h"
#include "io/zelbin_internal.h"
#include "kernel/collector.h"

namespace zel {
namespace zelbin {

namespace {

// Half-built values sit in the root block while the image loads: no
// collection may run, whichever way the load ends.
struct CollectorOff {
    bool active = collector::state.enabled;
    CollectorOff() { collector::state.enabled = false; }
    ~CollectorOff() { collector::state.enabled = active; }
};

}  // namespace

// A native! or action! bound here is also kept in the root block, so that a
// value made later for the same routine gets its argument list (see
// native::keep_bound) even after its word is set to something else.
void apply_boot_bindings() {
    for (const Binding& b : boot_bindings) {
        *context::slot(b.context, b.index) = b.value;
        uint32_t t = cell::type(&b.value);
        if (t == T_NATIVE || t == T_ACTION) native::keep_bound(roots::keep(&b.value));
    }
    boot_bindings.clear();
}

const Cell* load_boot(const uint8_t* image, uint32_t length, bool keep_base) {
    CollectorOff off;
    is_codec = false;
    Node previous_block;
    uint32_t previous_first;
    boot::get_literals(&previous_block, &previous_first);
    Cell root{T_BLOCK, 0, roots::block_node, 0};
    uint32_t base = block::buffer_length(&root);
    const Cell* first;
    try {
        first = decode(image, &root, false, length);
    } catch (...) {
        block::truncate_at(&root, base);
        throw;
    }
    if (keep_base) boot::set_literals(previous_block, previous_first);
    else boot::set_literals(roots::block_node, base);
    return first;
}

}  // namespace zelbin
}  // namespace zel
