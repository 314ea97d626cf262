// The cycle stack: the series and objects that a recursive walk (mold, form,
// bind, ownership) is currently inside, so that a value which contains itself
// is visited once and molded as a short mark instead of forever.
//
// Entries are nodes: the series node of a series, the context node of an
// object. The stack holds 1000 entries; the push that would fill the last one
// empties the stack and raises internal error too-deep, so 999 nested walks fit.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace cycles {

constexpr uint32_t CAPACITY = 1000;

// Makes the stack in tracked memory; a second call only empties it.
void init();

// Raises internal too-deep, after emptying the stack, when the push fills it.
void push(Node n);
void pop();
void drop(uint32_t n);
void reset();
bool find(Node n);
uint32_t depth();

// Restores the stack to its depth at construction, on every way out of a walk.
struct Scope {
    uint32_t depth = cycles::depth();
    ~Scope() {
        if (cycles::depth() > depth) drop(cycles::depth() - depth);
    }
};

// The node a walk records for a value: the context of an object, else the
// series.
Node node_of(const Cell* value);

// When the value is on the stack, appends its mark to the buffer string
// (mold: "[...]", "(...)", "#[...]", "make object! [...]" or "..." by type;
// form: "..."), takes its length from the limit and answers true.
bool mold_marker(const Cell* value, const Cell* buffer, int32_t* limit, bool mold);

// The collector's fix-up of entries whose node it forwarded.
using NodeFixer = void (*)(Node* first, Node* end);
void mark(NodeFixer fix);

}  // namespace cycles
}  // namespace zel
