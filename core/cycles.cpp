// The cycle stack: a flat array searched linearly, which suits the usual
// shallow nesting of blocks and objects.
#include "core/cycles.h"

#include <cstring>

#include "core/raise.h"
#include "core/string.h"
#include "kernel/runtime.h"

namespace zel {
namespace cycles {

static Node* base = nullptr;
static Node* top = nullptr;
static Node* limit = nullptr;

void init() {
    if (!base) {
        base = static_cast<Node*>(heap::alloc(CAPACITY * sizeof(Node)));
        limit = base + CAPACITY;
    }
    top = base;
}

void push(Node n) {
    *top++ = n;
    if (top == limit) {
        reset();
        error::raise(Err::internal_too_deep);
    }
}

void pop() {
    if (top > base) top--;
}

void drop(uint32_t n) { top = n < uint32_t(top - base) ? top - n : base; }

void reset() { top = base; }

bool find(Node n) {
    for (const Node* p = base; p < top; p++) {
        if (*p == n) return true;
    }
    return false;
}

uint32_t depth() { return uint32_t(top - base); }

Node node_of(const Cell* value) {
    return cell::type(value) == T_OBJECT ? cell::object_context(value) : cell::series_node(value);
}

static const char* mark_of(uint32_t type) {
    switch (type) {
    case T_BLOCK:
    case T_HASH: return "[...]";
    case T_PAREN: return "(...)";
    case T_MAP: return "#[...]";
    case T_OBJECT: return "make object! [...]";
    }
    return "...";
}

bool mold_marker(const Cell* value, const Cell* buffer, int32_t* limit_left, bool mold) {
    if (!find(node_of(value))) return false;
    const char* text = mold ? mark_of(cell::type(value)) : "...";
    uint32_t n = uint32_t(std::strlen(text));
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text), n);
    *limit_left -= int32_t(n);
    return true;
}

void mark(NodeFixer fix) { fix(base, top); }

}  // namespace cycles
}  // namespace zel
