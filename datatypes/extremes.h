// The component-wise max and min of pairs, points and tuples: each
// component of the result is the greater (or lesser) of the two values'
// components, a number standing for every component.
#pragma once

#include "kernel/cell.h"

namespace zel {
namespace extremes {

// Combines value2 into value1 when either is a pair!, point or tuple that
// the component rules take (a number beside one of them, two pairs, two
// points, a pair and a point2D!, two tuples of one length); answers false,
// changing nothing, for every other couple.
bool combine(bool max, Cell* value1, Cell* value2);

}  // namespace extremes
}  // namespace zel
