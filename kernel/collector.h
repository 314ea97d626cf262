// The garbage collector: precise, moving, and run only at safe points.
//
// A collection marks every series buffer that the roots reach (the root block,
// the symbol table, the ownership table, the value stack and the call frames,
// the global context, the value slots, the temporary-root stack, then every
// registered mark callback), sweeps the external resources and the ownership
// table, slides the live buffers of each series frame together, frees dead
// big series and gives the nodes of dead buffers back. Nodes stay put, except
// that a sparse node frame that has not changed for a while is evacuated at
// the start of a collection: its nodes are copied into other frames and every
// node slot that marking visits is rewritten to the new node.
//
// Allocation never collects; it asks for a collection, which the evaluator
// runs at its next safe point (or `recycle` runs at once).
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace collector {

struct State {
    bool enabled;       // start-up turns it on once the boot values are built
    bool running;       // set for the whole of a collection
    bool evacuation;    // node frames may be evacuated (cleared around rebuilds)
    uint32_t evacuations;  // collections that evacuated a node frame
};
extern State state;

// Resets the state (collector off, evacuation off), empties the temporary-root
// stack and the scratch arrays, and reads ZEL_GC_STRESS. Registered callbacks
// stay: boot calls init before any module registers.
void init();

// One full collection; nothing when one is already running.
void collect();
// A collection when the collector is enabled.
void do_cycle();
inline bool is_active() { return state.running; }

// Stress mode (ZEL_GC_STRESS=1, read by init): a collection at every safe
// point. Kept in the attention word.
inline bool is_stress() { return attention::has(attention::GC_STRESS); }
inline void set_stress(bool on) { attention::put(attention::GC_STRESS, on); }

// The evaluator's safe point: collects when an allocation asked for it or in
// stress mode, and only while the collector is enabled; true when it
// collected (buffers may have moved). It runs before every expression, so
// the common case is one load and one branch (the attention word).
inline bool wants_safe_point() {
    return attention::has(attention::COLLECT_REQUESTED | attention::GC_STRESS) && state.enabled;
}
inline bool safe_point() {
    if (attention::quiet() || !wants_safe_point()) return false;
    collect();
    return true;
}

// Mark callbacks for modules that hold values outside series; each is called
// with no arguments while the roots are marked. Unregistering clears the
// entry; the place is not used again.
using MarkFn = void (*)();
void register_(MarkFn fn);
void unregister(MarkFn fn);

// Marking primitives for the callbacks. Each takes the place that holds the
// node, so that a forwarded node is rewritten there.
// Marks the buffer; true when it was not marked before.
bool keep(Node* slot);
// Keeps the series and marks the values it holds (for a series of cells).
void mark_series(Node* slot);
// Marks the values of a range of cells by their types.
void mark_cells(Cell* first, Cell* end);
// Keeps a context and marks its words, its values and its record.
void mark_context_node(Node* slot);
// Rewrites forwarded nodes in a range of node variables (cycle stack).
void fix_refs(Node* first, Node* end);

// The image layer marks the native bitmap of an image! here once it exists.
using ImageMarkFn = void (*)(const Cell* image);
extern ImageMarkFn image_marker;

}  // namespace collector
}  // namespace zel
