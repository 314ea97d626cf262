// handle!: an opaque native handle of the view and platform layers, held in
// the cell with its kind: w1 the kind index, w2 the native value, w3 always -1.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace handle {

// Kinds, by index; NONE is the null handle and has no name.
enum Kind : uint32_t { NONE = 0, FD, MONITOR, WINDOW, FONT, RICH_TEXT, KIND_COUNT };

void init_cell(Cell* c, uint32_t value, uint32_t kind);
constexpr uint32_t kind_of(const Cell* c) { return c->w1; }
constexpr uint32_t value_of(const Cell* c) { return c->w2; }
inline void write_slot(Cell* slot, uint32_t value, uint32_t kind) { init_cell(slot, value, kind); }
// The handle becomes the current call's result.
const Cell* to_result(uint32_t value, uint32_t kind);
Cell* push_null();

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

void register_type();

}  // namespace handle
}  // namespace zel
