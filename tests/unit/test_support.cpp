// Boots the runtime once for the whole unit-test program, and lets an error that
// nothing catches unwind to the test as an exception (remembering its code)
// instead of ending the process.
#include "test_support.h"

#include <gtest/gtest.h>

#include "console/boot_image.h"
#include "datatypes/error.h"
#include "console/boot_words.h"
#include "console/startup.h"
#include "core/datatype.h"
#include "core/exits.h"
#include "core/stack.h"
#include "core/support.h"
#include "datatypes/error.h"
#include "interpreter/eval.h"
#include "kernel/boot.h"
#include "kernel/runtime.h"

namespace zel {
namespace test_support {

static int32_t last_code = -1;
static load::Scanner boot_scanner = nullptr;

static void on_uncaught(const Cell* error) {
    const Cell* code = error::field(error, error::FIELD_CODE);
    last_code = cell::type(code) == T_INTEGER ? cell::get_int(code) : -1;
    stack::init();
    throw Throw{EXIT_ERROR};
}

void interpreter_ready() {
    static bool booted = false;
    if (booted) return;
    booted = true;
    // As the start-up body does, but with the collector left off (tests hold
    // values in C++ locals that nothing roots, and collect only when they
    // ask) and without evaluating the library.
    boot_image::install();
    startup::boot_modules();
    startup::load_image();
    runtime::booting = false;
    boot_words::make_values();
    exits::uncaught_handler = on_uncaught;
    boot_scanner = load::current_scanner();
}

int32_t take_error_code() {
    int32_t c = last_code;
    last_code = -1;
    return c;
}

struct BootEnvironment : ::testing::Environment {
    void SetUp() override { interpreter_ready(); }
};

// After each test, the hooks the runtime installs at boot are put back and the
// stacks emptied, whatever the test replaced.
struct RestoreHooks : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        stack::init();
        runtime::record.pending_code = 0;
        interp::init();
        load::set_scanner(boot_scanner);
        exits::uncaught_handler = on_uncaught;
    }
};

static ::testing::Environment* const boot_environment =
    ::testing::AddGlobalTestEnvironment(new BootEnvironment);
static const bool hooks_restored = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new RestoreHooks);
    return true;
}();

}  // namespace test_support
}  // namespace zel
