// What the console output asks of the text-terminal backend: to step aside
// around every typed print so that its inline rows are not overwritten, and to
// run one pass of its event loop when `wait` has slept. Each call does nothing
// while the backend is not active.
#pragma once

namespace zel {
namespace tui {

// Set by the backend while it owns the terminal.
extern bool active;

void suspend_for_print();
void resume_after_print();
void poll_events();

}  // namespace tui
}  // namespace zel
