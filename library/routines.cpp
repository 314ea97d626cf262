// The routines bound to words. Each reads its arguments from the call frame
// (the call has checked them against the spec) and leaves its result in the
// result slot, which is also its first argument.
#include "library/routines.h"

#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/file.h"
#include "core/integer.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/routine.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/time.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/event.h"
#include "datatypes/tuple.h"
#include "interpreter/trace.h"
#include "io/clipboard.h"
#include "io/file_io.h"
#include "io/lexer.h"
#include "io/os_info.h"
#include "kernel/os.h"
#include "kernel/output.h"
#include "library/type_predicates.h"
#include "platform/process.h"
#include "platform/system.h"

namespace zel {
namespace routines {

namespace {

Cell* arg(uint32_t k) { return stack::arg(k); }
int32_t int_arg(uint32_t k) { return cell::get_int(arg(k)); }

void set_logic(bool b) { cell::make_logic(arg(0), b); }
void set_integer(int32_t n) { cell::make_integer(arg(0), n); }
void set_unset() { *arg(0) = statics::unset_cell; }

// Output is buffered, so what a script printed goes out before the process
// ends; nothing else is cleaned up.
void quit_return() {
    output::flush();
    platform::exit_process(int_arg(0));
}


void set_quiet() {
    if (!types::is_variable_word(cell::type(arg(0)))) check::expect_arg(0, cell::type(arg(0)));
    Cell word = *arg(0), value = *arg(1);
    context::set_word_value(&word, &value, cell::word_context(&word), false);
    *arg(0) = value;
}

bool is_slot_series(uint32_t t) {
    return types::in(types::UNHASHED_BLOCK, t);
}

void set_slot_quiet() {
    if (!is_slot_series(cell::type(arg(0)))) check::expect_arg(0, cell::type(arg(0)));
    uint32_t index = uint32_t(cell::series_index(arg(0)));
    if (index < block::buffer_length(arg(0))) cell::copy(arg(1), block::writable_cell_at(arg(0), index));
}

void shift_right() { set_integer(integer::shift(int_arg(0), int_arg(1), false, false)); }
void shift_left() { set_integer(integer::shift(int_arg(0), int_arg(1), true, false)); }
void shift_logical() { set_integer(integer::shift(int_arg(0), int_arg(1), false, true)); }

void is_last_lf() { set_logic(output::is_last_lf()); }

void get_current_dir() {
    Cell* dir = file::current_dir();
    cell::set_type(dir, T_FILE);
    *arg(0) = *dir;
}

void set_current_dir() {
    file::LocalPath path(arg(0));
    if (!os::set_current_dir(path.c_str())) error::raise(Err::access_cannot_open, arg(0));
}

void create_dir() {
    if (!io::make_dir(arg(0))) error::raise(Err::access_no_create, arg(0));
}

void is_exists() { set_logic(io::is_exists(arg(0))); }

void os_info() {
    const char fields[] = "name: arch: version: build: none";
    Cell spec = lexer::load_text(fields, std::strlen(fields));
    Cell object = *object::make_new(&spec, nullptr, false);
    *arg(0) = object;
    platform::os_info(arg(0));
    stack::keep();
}

// The first negative component raises invalid-arg.
void expect_components(uint32_t count) {
    for (uint32_t k = 0; k < count; k++) {
        if (int_arg(k) < 0) error::raise(Err::script_invalid_arg, arg(k));
    }
}

void as_color() {
    expect_components(3);
    uint8_t bytes[3] = {uint8_t(int_arg(0)), uint8_t(int_arg(1)), uint8_t(int_arg(2))};
    tuple::init_cell(arg(0), bytes, 3);
}

// The components overlap: one above 255 spills into the next byte.
void as_ipv4() {
    expect_components(4);
    uint32_t w = 0;
    for (uint32_t k = 0; k < 4; k++) w |= uint32_t(int_arg(k)) << (8 * k);
    uint8_t bytes[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
    tuple::init_cell(arg(0), bytes, 4);
}

// A lead byte's sequence length; a stray continuation byte counts alone.
uint32_t utf8_step(uint8_t lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    return lead < 0xF0 ? 3 : 4;
}

void count_chars() {
    SeriesBuffer* b = series::buffer_of(arg(0));
    const uint8_t* bytes = series::head_ptr(b);
    uint32_t end = series::length(b), to = uint32_t(cell::series_index(arg(1)));
    if (to > end) to = end;
    int32_t count = 0;
    for (uint32_t i = uint32_t(cell::series_index(arg(0))); i < to; i += utf8_step(bytes[i])) count++;
    set_integer(count);
}

uint32_t stack_size() { return uint32_t(stack::reg.top - stack::reg.bottom); }

void stack_size_q() { set_integer(int32_t(stack_size())); }

void pick_stack() {
    int32_t idx = int_arg(0);
    if (idx > 0 && uint32_t(idx) < stack_size()) {
        *arg(0) = *stack::cell_at(uint32_t(idx));
    } else {
        *arg(0) = statics::none_cell;
    }
}

// The routine's own frame is the evaluator's: the call it reports is the
// caller's.
void frame_index_q() { set_integer(int32_t(stack::top_frame()->saved_base)); }

void collect_calls() { stack::trace(arg(0)); }

void is_tracing() { set_logic(interp::is_tracing()); }

void set_tracing() {
    interp::set_tracing(cell::get_logic(arg(0)));
    set_unset();
}

void monotonic_time() { time::write_cell(arg(0), platform::monotonic_seconds()); }

void write_stdout() {
    io::write_file(nullptr, arg(0), -1, -1, false, false);
    set_unset();
}

const Def ROUTINES[] = {
    {"quit-return", R"~("Stops evaluation and exits the program with a given status"
        status [integer!] "Process termination value to return")~", quit_return},
    {"set-quiet", R"~("Set an object's field to a value without triggering eventual object's events"
        word [any-type!] value [any-type!] return: [any-type!])~", set_quiet},
    {"set-slot-quiet", R"~("Set a value in series without triggering eventual owner's events"
        series [any-type!] value [any-type!])~", set_slot_quiet},
    {"shift-right", R"~("Shift bits to the right" data [integer!] bits [integer!])~", shift_right},
    {"shift-left", R"~("Shift bits to the left" data [integer!] bits [integer!])~", shift_left},
    {"shift-logical", R"~("Shift bits to the right (unsigned)" data [integer!] bits [integer!])~",
     shift_logical},
    {"last-lf?", R"~("Internal Use Only")~", is_last_lf},
    {"get-current-dir", R"~("Returns the platform's current directory for the process")~", get_current_dir},
    {"set-current-dir", R"~("Sets the platform's current process directory" path [file!])~", set_current_dir},
    {"create-dir", R"~("Create the given directory" path [file!])~", create_dir},
    {"exists?", R"~("Returns TRUE if the file exists" path [file!] return: [logic!])~", is_exists},
    {"os-info", R"~("Returns detailed operating system version information")~", os_info},
    {"as-color", R"~("Combine R, G and B values into a tuple" r [integer!] g [integer!] b [integer!])~",
     as_color},
    {"as-ipv4", R"~("Combine a, b, c and d values into a tuple"
        a [integer!] b [integer!] c [integer!] d [integer!])~", as_ipv4},
    {"as-rgba", R"~("Combine R, G, B and A color components into a tuple"
        r [integer!] g [integer!] b [integer!] a [integer!])~", as_ipv4},
    {"count-chars", R"~("Count UTF-8 encoded characters between two positions in a binary series"
        start [binary!] pos [binary!] return: [integer!])~", count_chars},
    {"stack-size?", "return: [integer!]", stack_size_q},
    {"pick-stack", "idx [integer!]", pick_stack},
    {"frame-index?", "return: [integer!]", frame_index_q},
    {"collect-calls", "blk [block!]", collect_calls},
    {"tracing?", "", is_tracing},
    {"set-tracing", "on [logic!]", set_tracing},
    {"monotonic-time", "return: [time!]", monotonic_time},
    {"read-clipboard", R"~("Return the contents of the system clipboard"
        return: [any-type!] "false on failure, none if empty, otherwise: string!, block! of files!, or an image!")~",
     io::clipboard::read},
    {"write-clipboard", R"~("Write content to the system clipboard"
        data [any-type!] "string!, block! of files!, an image! or none!"
        return: [logic!] "indicates success")~", io::clipboard::write},
    {"write-stdout", R"~("Write data to STDOUT" data [any-type!])~", write_stdout},
    {"event?", R"~("Returns true if the value is this type" value [any-type!] return: [logic!])~",
     event::is_event},
    {"find-flag?", "facet flag [word!] return: [logic!]", event::is_find_flag},
    {"send-event-os", "event [event!] queued? [logic!] return: [logic!]", event::send_event_os},
};

// The id of the datatype that the spec's return: names alone, else -1.
int32_t return_code(const Cell* spec) {
    SeriesBuffer* b = series::buffer_of(spec);
    const Cell* cells = series::cells(b);
    for (uint32_t i = 0, n = series::length(b); i + 1 < n; i++) {
        if (cell::type(cells + i) != T_SET_WORD || cell::type(cells + i + 1) != T_BLOCK) continue;
        SeriesBuffer* types = series::buffer_of(cells + i + 1);
        if (series::length(types) != 1 || cell::type(series::cells(types)) != T_WORD) return -1;
        const Cell* type = context::word_value(series::cells(types));
        return cell::type(type) == T_DATATYPE ? int32_t(cell::datatype_id(type)) : -1;
    }
    return -1;
}

// The routine of the spec block that make_spec gives, kept in the root
// block; whatever making the spec and the routine leaves on the value
// stack is dropped.
template <typename MakeSpec>
uint32_t keep_made(const char* name, routine::Fn fn, MakeSpec make_spec) {
    Cell* top = stack::reg.top;
    Cell spec_block = make_spec();
    uint32_t index = routine::find(name);
    if (!index) index = routine::register_(name, fn);
    uint32_t kept = roots::keep(routine::make(&spec_block, nullptr, index, return_code(&spec_block), false));
    stack::reg.top = top;
    return kept;
}

// A spec written as the one before it (the type predicates share a few) is
// a deep copy of that routine's spec block, which no code can have changed
// since it was lexed: the same cells, cheaper than lexing the text again.
uint32_t keep_like(const Def& d, uint32_t kept_before) {
    return keep_made(d.name, d.fn, [&] {
        Cell before;
        cell::make_series(&before, T_BLOCK, cell::callable_spec(roots::at(kept_before)));
        return *block::copy(&before, nullptr, true, nullptr);
    });
}

bool bound = false;

}  // namespace

// A routine and its spec block stay in the root block.
uint32_t keep(const char* name, const char* spec, routine::Fn fn) {
    return keep_made(name, fn, [&] { return lexer::load_text(spec, std::strlen(spec)); });
}

void bind_all(const Def* defs, uint32_t count) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; i++) {
        const Def& d = defs[i];
        bool like = i > 0 && std::strcmp(d.spec, defs[i - 1].spec) == 0;
        kept = like ? keep_like(d, kept) : keep(d.name, d.spec, d.fn);
        Cell w = word::intern(d.name);
        word::set_value(&w, roots::at(kept));
    }
}

void bind() {
    if (bound) return;
    bound = true;
    bind_all(ROUTINES);
    type_predicates::bind();
}

}  // namespace routines
}  // namespace zel
