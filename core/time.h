// time!: a duration or a time of day, kept as a float of seconds (negative
// values and fractions allowed). Most arithmetic is float!'s; this module adds
// the hour, minute and second view, the text form, conversion and path
// access.
//
// The view: hours are the seconds / 3600 truncated toward zero (so they carry
// the sign), minutes come from the magnitude (0 to 59), and the seconds part
// is fmod(seconds, 60), which keeps the sign.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace time {

void init();

// ---- cells --------------------------------------------------------------------
Cell* write_cell(Cell* c, double seconds);
Cell* append_new(const Cell* block, double seconds);
Cell* push(double seconds);

// ---- the view -----------------------------------------------------------------
// Whole hours, truncated toward zero; math overflow when they do not fit.
int32_t get_hours(double seconds);
// The minutes of the magnitude, 0 to 59 (0 for infinities and NaN).
int32_t get_minutes(double seconds);
// Appends hours:minutes:seconds (a "-" first for a negative time); answers
// the limit less the characters written.
int32_t form_into(double seconds, const Cell* buffer, int32_t limit);

// ---- actions ------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
const Cell* pick(Cell* value, int32_t index, Cell* index_cell);
void add();
void subtract();
void multiply();
void divide();
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling);
int32_t is_even(Cell* value);
int32_t is_odd(Cell* value);

}  // namespace time
}  // namespace zel
