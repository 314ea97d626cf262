// Print hooks: what happens when a value or a raw text is printed. The print
// natives call the value hooks with a string value; the raw printers of the
// console output call the text hooks, so that other modules can take over or
// copy the output. Hooks run in the order they were added.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace hooks {

using ValueHook = void (*)(const Cell* string_value, bool line);
using TextHook = void (*)(const void* text, uint32_t length, uint32_t flag);

constexpr uint32_t LIST_STEP = 5;  // first capacity and growth of a list

template <class Hook>
struct List {
    Hook* items;  // tracked array
    uint32_t count;
    uint32_t capacity;
};

extern List<ValueHook> value_hooks;
extern List<TextHook> text_hooks;
extern bool print_ready;

// Makes both lists, adds print::string_value to the value hooks and sets the
// print-ready flag.
void init();
// Appends each hook that is not null to its list.
void add(ValueHook value, TextHook text);
// Removes the first equal entry of each from its list; an absent hook changes
// nothing.
void remove(ValueHook value, TextHook text);
void call(const Cell* string_value, bool line);
void call_text(const void* text, uint32_t length, uint32_t flag);

// A terminal backend that owns the screen (the view's text-terminal backend)
// installs these while it is active: to step aside around every typed print,
// so that its inline rows are not overwritten, and to run one pass of its
// event loop when `wait` has slept. With none installed each call does
// nothing, so the output and the natives below the view need not know it.
struct TerminalBackend {
    void (*suspend_for_print)();
    void (*resume_after_print)();
    void (*poll_events)();
};
// Installs the backend (null: none).
void set_terminal_backend(const TerminalBackend* backend);
void suspend_for_print();
void resume_after_print();
void poll_events();

}  // namespace hooks

namespace print {
// Prints a string value from its head to its tail with the printer of its unit
// size (the line printers when line is set), the terminal backend suspended
// around it.
void string_value(const Cell* string_value, bool line);
}  // namespace print

}  // namespace zel
