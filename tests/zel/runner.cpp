// The Zel test runner: evaluates every case of the Zel test files named on
// the command line and prints each failure, then "N passed, N failed".
//
// A test file is a script: after its header come the cases, each an
// expression block followed by what it must give:
//   - a string: the molded value of the expression's last value;
//   - a word: the id of the error the expression raises.
//     [1 + 2 * 3]          "9"
//     [either () [1] [2]]  no-return
// The cases of a file run in order in the global context, so a case may use
// the words an earlier case set.
//
// The runner is C++ linked with zel-core rather than a Zel script: it keeps
// each case apart (an error, a stray exit or a broken native fails that case
// alone), and it does not lean on the natives under test (try, foreach, mold,
// print, reading files) to report their own failures.
#include <cstdio>
#include <cstring>
#include <string>

#include "console/boot_image.h"
#include "console/startup.h"
#include "core/block.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "datatypes/error.h"
#include "interpreter/eval.h"
#include "kernel/runtime.h"
#include "kernel/temp_roots.h"
#include "kernel/unicode.h"
#include "platform/process.h"

namespace zel {
namespace {

struct Totals {
    uint32_t passed, failed;
};

std::string utf8_of(const Cell* str) {
    uint32_t count = string::get_length(const_cast<Cell*>(str));
    std::string out(size_t(count) * 4, '\0');
    out.resize(utf8::write_string_part(str, count, reinterpret_cast<uint8_t*>(out.data()), out.size()));
    return out;
}

// The text of a value by mold (or form, for an error's report).
std::string text_of(Cell* value, bool molded) {
    Cell* buffer = stack::push_slot();
    string::write_cell(buffer, 64);
    if (molded) actions::mold_dispatch(value, buffer, false, false, false, nullptr, INT32_MAX, 0);
    else actions::form_dispatch(value, buffer, nullptr, INT32_MAX);
    return utf8_of(buffer);
}

struct Outcome {
    bool raised;
    std::string text;  // the molded value, or the error id
    std::string report;
};

// Evaluates the block under a try frame and puts both stacks back after.
Outcome run_case(const Cell* expression) {
    Cell* top = stack::reg.top;
    Cell* base = stack::reg.base;
    stack::Frame* frames = stack::reg.call_top;
    const Cell* name = words::word(words::W_try_);
    stack::enter_try(name);
    Outcome out{};
    bool raised = exits::catch_error([&] {
        interp::eval(name, expression, false);
        if (exits::pending()) {
            exits::clear();
            out.text = "(a non-local exit that nothing took)";
            return;
        }
        out.text = text_of(stack::top(), true);
    });
    if (raised) {
        Cell* error = stack::top();
        out.raised = true;
        out.text = symbol::get_cstr(error::id_symbol(error));
        stack::enter_try(name);
        bool report_failed = exits::catch_error([&] { out.report = text_of(error, false); });
        if (report_failed) out.report = "(the report itself raised an error)";
    }
    stack::reg.top = top;
    stack::reg.base = base;
    stack::reg.call_top = frames;
    return out;
}

bool passes(const Cell* expected, const Outcome& out) {
    if (cell::type(expected) == T_STRING) return !out.raised && out.text == utf8_of(expected);
    return out.raised && out.text == symbol::get_cstr(cell::word_symbol(expected));
}

void report_failure(const char* file, const Cell* expression, const Cell* expected, const Outcome& out) {
    Cell e = *expression, x = *expected;
    std::string expr = text_of(&e, true);
    std::string want = cell::type(expected) == T_STRING ? utf8_of(expected) : "error " + text_of(&x, true);
    std::string got = out.raised ? "error " + out.text : out.text;
    std::printf("FAIL %s: %s\n    expected: %s\n    actual:   %s\n", file, expr.c_str(), want.c_str(),
                got.c_str());
    if (out.raised) std::printf("    %s\n", out.report.c_str());
}

void run_file(const char* path, Totals& totals) {
    Cell code = startup::load_script(path);
    temp_roots::Hold hold(&code);
    uint32_t start = uint32_t(cell::series_index(&code)), i = start;
    while (i < block::buffer_length(&code)) {
        Cell expression = *block::cell_at(&code, i);
        bool pair = i + 1 < block::buffer_length(&code);
        Cell expected = pair ? *block::cell_at(&code, i + 1) : expression;
        uint32_t t = cell::type(&expected);
        if (cell::type(&expression) != T_BLOCK || !pair || (t != T_STRING && t != T_WORD)) {
            std::printf("FAIL %s: case %u is not a block followed by a string or a word\n", path, (i - start) / 2 + 1);
            totals.failed++;
            return;
        }
        temp_roots::Hold hold_case(&expression);
        Outcome out = run_case(&expression);
        if (passes(&expected, out)) {
            totals.passed++;
        } else {
            totals.failed++;
            report_failure(path, &expression, &expected, out);
        }
        i += 2;
    }
}

void run_all() {
    startup::boot();
    Totals totals{};
    for (int32_t k = 1; k < runtime::record.argc; k++) run_file(runtime::record.argv[k], totals);
    std::printf("%u passed, %u failed\n", totals.passed, totals.failed);
    std::fflush(stdout);
    runtime::at_exit(totals.failed ? 1 : 0);
}

}  // namespace

static int run_system(void*) { return runtime::run_rooted(run_all); }

}  // namespace zel

int main(int argc, char** argv) {
    zel::runtime::start(argc, argv);
    zel::boot_image::install();
    constexpr size_t stack_bytes = size_t(1) << 30;
    int status = zel::platform::run_on_large_stack(stack_bytes, zel::run_system, nullptr);
    zel::runtime::at_exit(status);
}
