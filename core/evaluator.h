// The evaluator's services that the modules below it need: running a block
// (an object's body), calling a handler from code that cannot test for a
// pending exit (a change handler), the argument list of a callable's spec,
// and the code being run. The evaluator installs them when it starts
// (interp::init); a module below calls them here and so never depends on
// the evaluator itself.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace evaluator {

struct Services {
    void (*eval)(const Cell* name, const Cell* block, bool keep_last);
    void (*invoke_raising)(const Cell* callable, const Cell* name, const Cell* args, uint32_t count);
    // A call whose cells set the refinements too (interp::invoke_positional);
    // the caller tests exits::pending() after it.
    void (*invoke_positional)(const Cell* callable, const Cell* name, const Cell* args, uint32_t count);
    Node (*prepare_spec)(const Cell* callable);
    Cell (*current_code)();
};

// The evaluator installs its own; until then each raises internal not-done.
extern Services services;

inline void eval(const Cell* name, const Cell* block, bool keep_last) { services.eval(name, block, keep_last); }
inline void invoke_raising(const Cell* callable, const Cell* name, const Cell* args, uint32_t count) {
    services.invoke_raising(callable, name, args, count);
}
inline void invoke_positional(const Cell* callable, const Cell* name, const Cell* args, uint32_t count) {
    services.invoke_positional(callable, name, args, count);
}
inline Node prepare_spec(const Cell* callable) { return services.prepare_spec(callable); }
inline Cell current_code() { return services.current_code(); }

}  // namespace evaluator
}  // namespace zel
