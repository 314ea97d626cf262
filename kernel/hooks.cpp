// Print hooks: two tracked lists of routines grown 5 entries at a time, and
// the default value hook that prints a string value on the console.
#include "kernel/hooks.h"

#include <cstdio>
#include <cstring>

#include "kernel/memory.h"
#include "kernel/output.h"
#include "kernel/runtime.h"

namespace zel {
namespace hooks {

List<ValueHook> value_hooks;
List<TextHook> text_hooks;
bool print_ready = false;

// A new array LIST_STEP entries longer, the entries copied, the old one freed.
template <class Hook>
static void append(List<Hook>& list, Hook hook) {
    if (list.count == list.capacity) {
        Hook* grown = static_cast<Hook*>(heap::alloc((list.capacity + LIST_STEP) * sizeof(Hook)));
        if (list.count) std::memcpy(grown, list.items, list.count * sizeof(Hook));
        heap::free(list.items);
        list.items = grown;
        list.capacity += LIST_STEP;
    }
    list.items[list.count++] = hook;
}

template <class Hook>
static void take_out(List<Hook>& list, Hook hook) {
    for (uint32_t i = 0; i < list.count; i++) {
        if (list.items[i] != hook) continue;
        std::memmove(list.items + i, list.items + i + 1, (list.count - i - 1) * sizeof(Hook));
        list.count--;
        return;
    }
}

void init() {
    value_hooks = List<ValueHook>{};
    text_hooks = List<TextHook>{};
    append(value_hooks, static_cast<ValueHook>(print::string_value));
    text_hooks.items = static_cast<TextHook*>(heap::alloc(LIST_STEP * sizeof(TextHook)));
    text_hooks.capacity = LIST_STEP;
    print_ready = true;
}

void add(ValueHook value, TextHook text) {
    if (value) append(value_hooks, value);
    if (text) append(text_hooks, text);
}

void remove(ValueHook value, TextHook text) {
    if (value) take_out(value_hooks, value);
    if (text) take_out(text_hooks, text);
}

void call(const Cell* string_value, bool line) {
    for (uint32_t i = 0; i < value_hooks.count; i++) value_hooks.items[i](string_value, line);
}

void call_text(const void* text, uint32_t length, uint32_t flag) {
    for (uint32_t i = 0; i < text_hooks.count; i++) text_hooks.items[i](text, length, flag);
}

static const TerminalBackend* terminal = nullptr;

void set_terminal_backend(const TerminalBackend* backend) { terminal = backend; }

void suspend_for_print() {
    if (terminal) terminal->suspend_for_print();
}
void resume_after_print() {
    if (terminal) terminal->resume_after_print();
}
void poll_events() {
    if (terminal) terminal->poll_events();
}

}  // namespace hooks

namespace print {

using Printer = void (*)(const void* text, uint32_t bytes);

struct UnitPrinters {
    uint32_t unit;
    Printer plain, line;
};

static const UnitPrinters printers[] = {
    {1, output::print_latin1, output::print_latin1_line},
    {2, output::print_ucs2, output::print_ucs2_line},
    {4, output::print_ucs4, output::print_ucs4_line},
};

static void print_with(SeriesBuffer* b, uint32_t index, bool line) {
    uint32_t unit = series::unit(b);
    for (const UnitPrinters& p : printers) {
        if (p.unit != unit) continue;
        uint32_t used = b->tail - b->head;
        uint64_t at = uint64_t(index) << series::unit_shift(b);
        uint32_t start = at < used ? uint32_t(at) : used;
        (line ? p.line : p.plain)(series::head_ptr(b) + start, used - start);
        return;
    }
    char message[48];
    int n = std::snprintf(message, sizeof message, "Error: unknown string encoding: %u", unit);
    output::print_latin1_line(message, uint32_t(n));
}

// Prints from the value's position, clamped to the tail.
void string_value(const Cell* string_value, bool line) {
    Node n = cell::series_node(string_value);
    if (!n) return;
    int32_t index = cell::series_index(string_value);
    hooks::suspend_for_print();
    print_with(node::buffer(n), index > 0 ? uint32_t(index) : 0, line);
    hooks::resume_after_print();
}

}  // namespace print
}  // namespace zel
