// char!: one Unicode code point, 0 to 0x10FFFF. Its arithmetic is the checked
// integer arithmetic, and a result that leaves the code-point range is a math
// overflow, so a char! always holds a valid code point.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace char_ {

void init();

Cell* append_new(const Cell* block, uint32_t code_point);
Cell* push(uint32_t code_point);

// The arithmetic actions: result slot (op) next argument.
void do_math(int32_t op);

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();

}  // namespace char_
}  // namespace zel
