// The console's input routines: input-stdin and read-stdin read standard
// input directly; _set-buffer-history and _read-input read one line for ask
// (through the line reader on a terminal, the pipe reader otherwise);
// _terminate-console leaves raw mode; _input-ended? tells the console that
// standard input has ended.
#pragma once

#include "kernel/cell.h"

namespace zel {
namespace console_input {

// Starts the terminal layer and binds the routines to their words.
// Idempotent.
void bind();
// The routine! that starts the console (system/console/init): sets the
// window title, measures the window and takes the console's signals. Kept in
// the root block; bound to no word.
const Cell* init_routine();

}  // namespace console_input
}  // namespace zel
