// The C++ side of the system object: `boot-value` hands the library's source
// the values the runtime owns (so each keeps one home), `fixed-class` gives
// the objects made at start-up their fixed class ids, and small routines let
// the change handlers reach the runtime.
#include "library/system_values.h"

#include <cstring>

#include "build_info.h"
#include "core/block.h"
#include "core/context.h"
#include "core/logic.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/routine.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "datatypes/money.h"
#include "interpreter/eval.h"
#include "core/stack.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "kernel/floattext.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"
#include "kernel/temp_roots.h"
#include "library/routines.h"

namespace zel {
namespace system_values {

namespace {

Cell* arg(uint32_t k) { return stack::arg(k); }

// ---- values ----------------------------------------------------------------------

Cell new_block(uint32_t room) {
    Cell b;
    cell::make_series(&b, T_BLOCK, series::new_cells(room));
    return b;
}

// Text from outside (arguments, the build record): a malformed byte becomes
// U+FFFD rather than failing the start.
Cell text(const char* utf8) {
    size_t length = std::strlen(utf8);
    Cell s;
    string::write_cell(&s, uint32_t(length));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(utf8);
    string::append_utf8_lenient(string::buffer_of(&s), bytes, bytes + length);
    return s;
}

// The first value of a literal, or none for an empty text.
Cell literal(const char* source) {
    if (!*source) return statics::none_cell;
    Cell b = lexer::load_text(source, std::strlen(source));
    return block::buffer_length(&b) ? *block::cell_at(&b, 0) : statics::none_cell;
}

Cell issue_or_none(const char* name) { return *name ? word::intern_as(name, T_ISSUE) : statics::none_cell; }

Cell currency_words() {
    Cell list = new_block(money::currency_count());
    temp_roots::Hold hold(&list);
    for (uint32_t i = 1; i <= money::currency_count(); i++) {
        char code[4] = {};
        std::memcpy(code, money::currency_code(i), 3);
        *block::append_slot(&list) = word::intern(code);
    }
    return list;
}

// The global context as an object, also made the context's owner, so that
// system/words and every global word lead back to the same object.
Cell words_object() {
    Cell obj{T_OBJECT, context::global_node, uint32_t(-1), 0};
    *context::owner_of(context::global_node) = obj;
    return obj;
}

// [branch tag ahead date commit message]; none for what the build could not
// tell (no git checkout).
Cell git_record() {
    Cell record = new_block(6);
    temp_roots::Hold hold(&record);
    const char* branch = ZEL_GIT_BRANCH;
    Cell fields[6] = {*branch ? text(branch) : statics::none_cell, issue_or_none(ZEL_GIT_TAG),
                      literal(ZEL_GIT_AHEAD), literal(ZEL_GIT_DATE), issue_or_none(ZEL_GIT_COMMIT),
                      *ZEL_GIT_COMMIT ? text(ZEL_GIT_MESSAGE) : statics::none_cell};
    for (const Cell& f : fields) *block::append_slot(&record) = f;
    return record;
}

// The argument vector, the program first, one string a piece as the system
// handed it over: extract-boot-args takes it apart.
Cell argument_block() {
    Cell args = new_block(uint32_t(runtime::record.argc));
    temp_roots::Hold hold(&args);
    for (int32_t i = 0; i < runtime::record.argc; i++) {
        Cell piece = text(runtime::record.argv[i]);
        *block::append_slot(&args) = piece;
    }
    return args;
}

// ---- the collector's routines, members of system/state/GC only -------------------

void gc_active() { cell::make_logic(arg(0), collector::state.enabled); }
void gc_series_cycles() { cell::make_integer(arg(0), int32_t(memory::record.cycle)); }
void gc_node_cycles() { cell::make_integer(arg(0), int32_t(collector::state.evacuations)); }

const routines::Def GC_ROUTINES[] = {
    {"active?", R"~(return: [logic!])~", gc_active},
    {"series-cycles", R"~(return: [integer!])~", gc_series_cycles},
    {"nodes-cycles", R"~(return: [integer!])~", gc_node_cycles},
};

uint32_t gc_kept[3];

Cell gc_routines() {
    Cell list = new_block(3);
    for (uint32_t k : gc_kept) *block::append_slot(&list) = *roots::at(k);
    return list;
}

// ---- boot-value ---------------------------------------------------------------------

struct BootValue {
    const char* name;
    Cell (*make)();
};

const BootValue BOOT_VALUES[] = {
    {"errors", [] { return *error::catalog(); }},
    {"error", [] { return *error::prototype(); }},
    {"exit-states", lexer::exit_states},
    {"currencies", currency_words},
    {"words", words_object},
    {"version", [] { return text(ZEL_VERSION); }},
    {"build-date", [] { return literal(build::date()); }},
    {"git", git_record},
    {"argv", argument_block},
    {"gc", gc_routines},
};

void boot_value() {
    for (const BootValue& b : BOOT_VALUES) {
        if (symbol::resolve(cell::word_symbol(arg(0))) != symbol::resolve(symbol::intern(b.name))) continue;
        *arg(0) = b.make();
        return;
    }
    error::raise(Err::script_invalid_arg, arg(0));
}

// Fixed ids stay below those of objects made at run time and are given only
// while the library loads, so no script can take one.
void fixed_class() {
    int32_t id = cell::get_int(arg(0));
    if (!interp::eval_state.loading) error::raise(Err::script_protected);
    if (id < 0 || uint32_t(id) >= object::FIRST_CLASS) error::raise(Err::script_out_of_range, arg(0));
    *arg(0) = *arg(1);
    cell::set_object_class(arg(0), uint32_t(id));
    cell::set_object_class(context::owner_of(cell::object_context(arg(0))), uint32_t(id));
}

// The error report reads stack-trace and source-files from system/state.
void use_state() {
    error::use_state(arg(0));
    *arg(0) = statics::unset_cell;
}

void set_float_flag() {
    bool on = logic::is_truthy(arg(1));
    if (symbol::resolve(cell::word_symbol(arg(0))) == symbol::resolve(symbol::intern("pretty?"))) float_::pretty = on;
    else float_::full = on;
    *arg(0) = statics::unset_cell;
}

void add_currency() {
    uint32_t length;
    const uint8_t* name = symbol::name_of(symbol::get(cell::word_symbol(arg(0))), &length);
    cell::make_logic(arg(0), money::add_currency(reinterpret_cast<const char*>(name), length) > 0);
}

void is_interpreted_frame() { cell::make_logic(arg(0), stack::is_interp_frame(nullptr, false)); }

const routines::Def ROUTINES[] = {
    {"boot-value", R"~("Internal Use Only" name [word!])~", boot_value},
    {"fixed-class", R"~("Internal Use Only" id [integer!] value [object!] return: [object!])~", fixed_class},
    {"use-system-state", R"~("Internal Use Only" state [object!])~", use_state},
    {"set-float-flag", R"~("Internal Use Only" flag [word!] value [logic!])~", set_float_flag},
    {"add-currency", R"~("Internal Use Only" code [word!] return: [logic!])~", add_currency},
    {"interpreted-frame?", R"~("Internal Use Only" return: [logic!])~", is_interpreted_frame},
};

bool bound = false;

}  // namespace

void bind() {
    if (bound) return;
    bound = true;
    for (uint32_t i = 0; i < 3; i++) gc_kept[i] = routines::keep(GC_ROUTINES[i].name, GC_ROUTINES[i].spec, GC_ROUTINES[i].fn);
    routines::bind_all(ROUTINES);
}

// The first three routines serve only while the library loads.
void unbind_hand_over() {
    for (uint32_t i = 0; i < 3; i++) {
        Cell w = word::intern(ROUTINES[i].name);
        word::set_value(&w, &statics::unset_cell);
    }
}

}  // namespace system_values
}  // namespace zel
