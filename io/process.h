// Running other programs for `call` and `browse`: the command and the
// redirection values become a launch plan, output captured from the child is
// appended to its target value, and targets are handed to the desktop's
// opener.
#pragma once
#include <cstdint>
#include <string>

#include "kernel/cell.h"

namespace zel {
namespace call {

// Runs the command (a string!, or a file! naming a program) as described by
// the flags; in, out and err are the redirection values (string!, binary! or
// file!) or null. Waits when asked, with /console and with any redirection,
// and then answers the exit status; else the process id. -1 when a
// redirection file cannot be opened or the command cannot be started. Text
// holding a NUL, which the system would cut short, raises invalid-arg.
int32_t run(const Cell* command, bool wait, bool console, bool shell, const Cell* in, const Cell* out,
            const Cell* err);

// Appends captured bytes at the tail of a binary! as they are, or of a
// string! as UTF-8 text (a malformed byte becomes U+FFFD).
void append_output(const Cell* target, const std::string& bytes);

// Opens a url! or file! with the desktop's opener (xdg-open, found through
// PATH), without a shell and without waiting. The target is a single
// argument, never parsed; a relative file path starting with "-" is given
// as "./-..." so it cannot pass for an option, and a url! starting with "-"
// raises invalid-arg. Nothing is reported when no opener can be started.
void browse(const Cell* target);

}  // namespace call
}  // namespace zel
