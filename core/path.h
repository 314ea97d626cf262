// The path family (path!, lit-path!, set-path!, get-path!) and paren!: cell
// series that are blocks in every way but how they are made, converted,
// formed and molded, and how the evaluator treats them. Their storage,
// navigation, search and modification are block!'s, taken by inheritance.
//
// A path molds as its elements joined by "/": a/b, 'a/b, a/b:, :a/b. A paren
// molds as a block in parentheses.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

namespace path {
// Sets the cell's type to path! and pushes a copy on the value stack.
Cell* push(Cell* c);
// Turns the cell into an empty path! with room for n cells.
Cell* write_cell(Cell* c, int32_t n);

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* value, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
// Registers path! after block!.
void init();
}  // namespace path

// The other path types: a prefix or suffix around path!'s mold.
#define ZEL_PATH_KIND(ns)                                                                               \
    namespace ns {                                                                                     \
    Cell* push(Cell* c);                                                                               \
    int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, \
                 int32_t indent);                                                                      \
    void init();                                                                                       \
    }
ZEL_PATH_KIND(lit_path)
ZEL_PATH_KIND(set_path)
ZEL_PATH_KIND(get_path)
ZEL_PATH_KIND(paren)
#undef ZEL_PATH_KIND

}  // namespace zel
