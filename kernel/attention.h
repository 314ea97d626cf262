// The attention word: one word whose bits are the reasons the evaluator must
// stop and look at its safe points and in its quick paths: a collection asked
// for by an allocation, the collector's stress mode, a halt asked for from
// outside (Ctrl-C), tracing switched on. It is the only home of these four
// switches: the memory manager, the collector, the console's signal handler
// and the trace switch set and clear their bits here.
//
// The hot paths test the whole word (one load and one branch) and look at
// the bits, and at what gates them (the collector's enabled switch), only
// when it is not zero.
//
// Every write is an atomic read-modify-write of the word: the halt's bit is
// set from a signal handler, which may interrupt the interpreter's own write
// of another bit, and a plain load-modify-store would lose it. The word is
// read atomically wherever the halt's bit counts, so that no read of it is
// hoisted out of a loop; the trace's bit alone changes only by the
// interpreter's own writes, which the compiler sees, so is_tracing reads it
// plainly (a test of memory, which an atomic load does not become).
#pragma once
#include <cstdint>

namespace zel {
namespace attention {

enum Bit : uint32_t {
    COLLECT_REQUESTED = 1u,  // an allocation found no room: collect at the next safe point
    GC_STRESS = 2u,          // ZEL_GC_STRESS=1: collect at every safe point
    HALT = 4u,               // stop at the next safe point as the word halt does
    TRACING = 8u,            // trace events are emitted
};

// Accessed through the atomic built-ins only, but for the trace's bit.
inline uint32_t word = 0;

inline uint32_t now() { return __atomic_load_n(&word, __ATOMIC_RELAXED); }
// Nothing to attend to: the common case of every test on the hot paths.
[[gnu::always_inline]] inline bool quiet() { return __builtin_expect(now() == 0, 1); }
inline bool has(uint32_t bits) { return (now() & bits) != 0; }
// The trace's bit (see above).
[[gnu::always_inline]] inline bool tracing() { return (word & TRACING) != 0; }

// Lock-free, so async-signal-safe.
static_assert(__atomic_always_lock_free(sizeof(uint32_t), 0));
inline void set(uint32_t bits) { __atomic_fetch_or(&word, bits, __ATOMIC_RELAXED); }
inline void clear(uint32_t bits) { __atomic_fetch_and(&word, ~bits, __ATOMIC_RELAXED); }
inline void put(uint32_t bits, bool on) { on ? set(bits) : clear(bits); }

}  // namespace attention
}  // namespace zel
