// Non-local exits: which frames each exit pops, where it leaves the registers
// and its value, the errors of exits that find no target, and the way codes
// travel (pending, or as the exception).
#include <gtest/gtest.h>

#include <string>

#include "core/context.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "datatypes/error.h"
#include "test_values.h"

namespace zel {

namespace {

using test_values::enter_call;
using test_values::integer;
using test_values::word_of;

using stack::Frame;
using stack::reg;

using ExitsTest = ::testing::Test;

uint32_t symbol_of(const char* name) { return symbol::intern(name); }

// The registers an exit must leave untouched when it fails, seen when the
// error is raised.
struct Registers {
    Cell* base;
    Cell* top;
    Frame* call_top;
};
Registers at_raise;
void record_registers(const Cell*) { at_raise = {reg.base, reg.top, reg.call_top}; }

// Runs f with the error caught by the try frame the caller pushed; answers
// the error (none when nothing was raised).
template <class F>
Cell catch_in_try(F f) {
    Cell err;
    cell::make_none(&err);
    if (exits::catch_error(f)) {
        stack::adjust_result();
        err = *reg.base;
    }
    return err;
}

TEST_F(ExitsTest, BreakAndContinueReachTheLoopFrame) {
    struct Case {
        bool with_value, is_continue;
        uint32_t code;
        bool value_kept;
    };
    const Case cases[] = {
        {true, false, EXIT_BREAK, true},
        {false, false, EXIT_BREAK, false},
        {false, true, EXIT_CONTINUE, false},
        {true, true, EXIT_CONTINUE, false},
    };
    for (const Case& c : cases) {
        stack::init();
        enter_call("loop", {integer(3)});
        Cell loop_word = word_of("loop");
        Frame* loop = stack::enter_loop(&loop_word);
        Cell* loop_base = reg.base;
        enter_call("if", {integer(1), integer(2)});
        enter_call("break", {integer(5)});
        stack::throw_break(c.with_value, c.is_continue);
        EXPECT_EQ(exits::pending(), c.code);
        EXPECT_EQ(stack::top_frame(), loop);
        EXPECT_EQ(reg.base, loop_base);
        EXPECT_EQ(reg.top, loop_base);
        if (c.value_kept) {
            EXPECT_EQ(cell::get_int(reg.base), 5);
        } else {
            EXPECT_EQ(cell::type(reg.base), uint32_t(T_UNSET));
        }
        exits::clear();
    }
}

TEST_F(ExitsTest, BreakLeavesFunctionsOnTheWayAndRestoresTheirContexts) {
    Node ctx = context::create(1, true, false, 0, context::KIND_FUNCTION);
    enter_call("loop");
    Cell loop_word = word_of("loop"), f = word_of("f");
    Frame* loop = stack::enter_loop(&loop_word);
    stack::enter_func(&f, ctx);
    cell::set_context_values(context::cell_of(ctx), stack::index_of(reg.base));
    enter_call("break");
    stack::throw_break(false, false);
    EXPECT_EQ(stack::top_frame(), loop);
    EXPECT_EQ(cell::context_values(context::cell_of(ctx)), 0u);
}

// Exits that find no target, or a barrier first, raise their throw errors
// with the stacks as they were.
TEST_F(ExitsTest, ExitsWithoutTargetRaiseTheirErrors) {
    struct Case {
        const char* name;
        const char* target;  // the frame pushed below the exit, if any
        bool barrier;        // a barrier between it and the exit
        void (*exit)();
        const char* id;
    };
    const Case cases[] = {
        {"break", nullptr, false, [] { stack::throw_break(false, false); }, "break"},
        {"continue", nullptr, false, [] { stack::throw_break(false, true); }, "continue"},
        {"break", "loop", true, [] { stack::throw_break(true, false); }, "break"},
        {"continue", "loop", true, [] { stack::throw_break(false, true); }, "continue"},
        {"return", nullptr, false, [] { stack::throw_return(true, false); }, "return"},
        {"exit", "function", true, [] { stack::throw_return(false, false); }, "return"},
        {"throw", nullptr, false, [] { stack::throw_value(EXIT_THROW); }, "throw"},
        {"throw", "catch", true, [] { stack::throw_value(EXIT_THROW); }, "throw"},
    };
    error::set_raise_tracer(record_registers);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stack::init();
        Cell try_word = word_of("try"), target = word_of("target");
        stack::enter_try(&try_word);
        if (c.target && std::string(c.target) == "loop") stack::enter_loop(&target);
        if (c.target && std::string(c.target) == "catch") stack::enter_catch(&target);
        if (c.target && std::string(c.target) == "function") {
            stack::enter_native(&target);
            stack::set_catch_return(true);
        }
        if (c.barrier) {
            Cell eval = word_of("eval");
            stack::enter_eval(&eval);
        }
        enter_call("caller-fn", {integer(8)});
        enter_call(c.name, {integer(9), statics::none_cell});
        Registers before = {reg.base, reg.top, reg.call_top};
        Cell err = catch_in_try(c.exit);
        ASSERT_EQ(cell::type(&err), uint32_t(T_ERROR));
        EXPECT_EQ(error::id_symbol(&err), symbol_of(c.id));
        EXPECT_EQ(error::category_symbol(&err), symbol_of("throw"));
        EXPECT_EQ(at_raise.base, before.base);
        EXPECT_EQ(at_raise.top, before.top);
        EXPECT_EQ(at_raise.call_top, before.call_top);
        EXPECT_EQ(exits::pending(), 0u);
    }
    error::set_raise_tracer(nullptr);
}

TEST_F(ExitsTest, ThrowWithoutCatchNamesTheCallerOfThrow) {
    Cell try_word = word_of("try");
    stack::enter_try(&try_word);
    enter_call("thrower-fn");
    enter_call("throw", {integer(1), statics::none_cell});
    Cell err = catch_in_try([] { stack::throw_value(EXIT_THROW); });
    ASSERT_EQ(cell::type(&err), uint32_t(T_ERROR));
    EXPECT_EQ(cell::get_int(error::field(&err, error::FIELD_ARG1)), 1);
    EXPECT_EQ(cell::word_symbol(error::field(&err, error::FIELD_WHERE)), symbol_of("thrower-fn"));
    EXPECT_EQ(reg.pending_error, nullptr);
}

TEST_F(ExitsTest, ReturnAndExitReachTheCatchReturnFrame) {
    struct Case {
        bool with_value;
        uint32_t code;
    };
    for (const Case c : {Case{true, EXIT_RETURN}, Case{false, EXIT_EXIT}}) {
        stack::init();
        enter_call("caller");
        Cell f = word_of("f");
        Frame* fn = stack::enter_native(&f);
        stack::set_catch_return(true);
        Cell* fn_base = reg.base;
        enter_call("either", {integer(1)});
        enter_call("return", {integer(6)});
        stack::throw_return(c.with_value, false);
        EXPECT_EQ(exits::pending(), c.code);
        EXPECT_EQ(stack::top_frame(), fn);
        EXPECT_EQ(reg.base, fn_base);
        EXPECT_EQ(reg.top, fn_base);
        if (c.with_value) {
            EXPECT_EQ(cell::get_int(reg.base), 6);
        } else {
            EXPECT_EQ(cell::type(reg.base), uint32_t(T_UNSET));
        }
        exits::clear();
    }
}

TEST_F(ExitsTest, ReturnWithoutOwnFrameExaminesTheTopFrame) {
    Cell f = word_of("f");
    Frame* fn = stack::enter_native(&f);
    stack::set_catch_return(true);
    Cell* base = reg.base;
    Cell v = integer(4);
    stack::push(&v);
    stack::throw_return(true, true);
    EXPECT_EQ(exits::pending(), uint32_t(EXIT_RETURN));
    EXPECT_EQ(stack::top_frame(), fn);
    EXPECT_EQ(reg.base, base);
    EXPECT_EQ(cell::get_int(reg.base), 4);
}

TEST_F(ExitsTest, ThrowReachesTheCatchFrame) {
    enter_call("catch-native");
    Cell catch_word = word_of("catch");
    Frame* target = stack::enter_catch(&catch_word);
    Cell* catch_base = reg.base;
    enter_call("do");
    Cell name = word_of("my-throw");
    enter_call("throw", {integer(11), name});
    Frame* pending = reg.call_bottom + 1;
    reg.pending_error = pending;
    stack::throw_value(EXIT_THROW);
    EXPECT_EQ(exits::pending(), uint32_t(EXIT_THROW));
    EXPECT_EQ(stack::top_frame(), target);
    EXPECT_EQ(reg.base, catch_base);
    EXPECT_EQ(reg.top, catch_base + 2);
    EXPECT_EQ(cell::get_int(reg.base), 11);
    EXPECT_EQ(cell::word_symbol(&reg.base[1]), cell::word_symbol(&name));
    EXPECT_EQ(reg.pending_error, pending);
    reg.pending_error = nullptr;
}

TEST_F(ExitsTest, ACatchPassesAThrowOnToTheNextCatch) {
    Cell catch_word = word_of("catch");
    enter_call("catch");
    Frame* outer = stack::enter_catch(&catch_word);
    Cell* outer_base = reg.base;
    enter_call("catch");
    stack::enter_catch(&catch_word);
    Cell name = word_of("wanted");
    enter_call("throw", {integer(12), name});
    stack::throw_value(EXIT_THROW);
    exits::clear();
    // The inner catch does not want the name: its frame holds the throw's
    // arguments, and it throws them on from there.
    stack::throw_value(EXIT_THROW);
    EXPECT_EQ(exits::pending(), uint32_t(EXIT_THROW));
    EXPECT_EQ(stack::top_frame(), outer);
    EXPECT_EQ(reg.base, outer_base);
    EXPECT_EQ(cell::get_int(reg.base), 12);
    EXPECT_EQ(cell::word_symbol(&reg.base[1]), cell::word_symbol(&name));
}

TEST_F(ExitsTest, ErrorInsideTryInsideLoopLeavesTheLoopFrame) {
    enter_call("loop", {integer(2)});
    Cell loop_word = word_of("loop");
    Frame* loop = stack::enter_loop(&loop_word);
    Frame* try_native = enter_call("try", {integer(0)});
    Cell* try_base = reg.base;
    Cell try_word = word_of("try");
    stack::enter_try(&try_word);
    enter_call("inner", {integer(1), integer(2)});
    Cell arg = integer(3);
    Cell err = catch_in_try([&] { error::raise(Err::script_no_value, &arg); });
    ASSERT_EQ(cell::type(&err), uint32_t(T_ERROR));
    EXPECT_EQ(error::id_symbol(&err), symbol_of("no-value"));
    EXPECT_EQ(stack::top_frame(), try_native);
    EXPECT_EQ(try_native - 1, loop);
    EXPECT_EQ(reg.base, try_base);
    EXPECT_EQ(reg.top, try_base + 1);
    EXPECT_EQ(cell::word_symbol(error::field(&err, error::FIELD_WHERE)), symbol_of("inner"));
}

TEST_F(ExitsTest, UnrollPlacesTheRegisters) {
    struct Case {
        const char* name;
        uint32_t kind;
        bool keep;
        uint32_t depth;  // frames left
        int base;        // expected base: index of the frame whose own base it is, -1 bottom
        int top;         // expected top: innermost base + 1, or -1 bottom
    };
    // Frames from the bottom: 0 native, 1 try, 2 native, 3 native.
    const Case cases[] = {
        {"try, not kept", stack::KIND_TRY, false, 2, 0, 1},
        {"try, kept", stack::KIND_TRY, true, 2, 1, 1},
        {"none: the bottom", stack::KIND_CATCH, false, 1, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stack::init();
        Cell w = word_of("u"), v = integer(1);
        Cell* own_base[4];
        stack::push(&v);
        for (int i = 0; i < 4; i++) {
            stack::enter_frame(&w, i == 1 ? stack::KIND_TRY : stack::KIND_NATIVE);
            own_base[i] = reg.base;
            stack::push(&v);
            stack::push(&v);
        }
        Cell* innermost = reg.base;
        stack::unroll(c.kind, c.keep);
        EXPECT_EQ(stack::depth(), c.depth);
        EXPECT_EQ(reg.base, c.base < 0 ? reg.bottom : own_base[c.base]);
        EXPECT_EQ(reg.top, c.top < 0 ? reg.bottom : innermost + 1);
    }
}

TEST_F(ExitsTest, UnrollStopsAtABarrierAndRestoresFunctionContexts) {
    Node ctx = context::create(1, true, false, 0, context::KIND_FUNCTION);
    Cell w = word_of("u");
    stack::enter_native(&w);
    stack::enter_eval(&w);
    stack::enter_func(&w, ctx);
    cell::set_context_values(context::cell_of(ctx), stack::index_of(reg.base));
    stack::enter_native(&w);
    Frame* found = stack::unroll(stack::KIND_TRY, false);
    EXPECT_EQ(stack::kind_of(found), uint32_t(stack::KIND_BARRIER));
    EXPECT_EQ(stack::depth(), 2u);
    EXPECT_EQ(cell::context_values(context::cell_of(ctx)), 0u);
}

TEST_F(ExitsTest, NothingLeftWhenTheTargetIsOnTop) {
    Cell w = word_of("u"), v = integer(1);
    stack::enter_loop(&w);
    Cell* base = reg.base;
    stack::push(&v);
    stack::push(&v);
    stack::rewind_loop(true);
    EXPECT_EQ(stack::depth(), 1u);
    EXPECT_EQ(reg.base, base);
    EXPECT_EQ(reg.top, base + 1);
}

TEST_F(ExitsTest, PendingCodesCrossCodeThatCannotTest) {
    // A callback deep in C++ finds a pending break and raises it; the native
    // that started the C++ code gets it back as the pending code.
    auto callback = [] {
        runtime::record.pending_code = EXIT_BREAK;
        exits::raise_pending();
        ADD_FAILURE() << "raise_pending returned";
    };
    EXPECT_EQ(exits::catch_pending(callback), uint32_t(EXIT_BREAK));
    EXPECT_EQ(exits::pending(), uint32_t(EXIT_BREAK));
    exits::clear();
    exits::raise_pending();  // nothing pending: nothing raised
    EXPECT_EQ(exits::catch_pending([] {}), 0u);
    // Errors pass catch_pending; quit passes catch_error.
    EXPECT_THROW(exits::catch_pending([] { throw Throw{EXIT_ERROR}; }), Throw);
    EXPECT_THROW(exits::catch_error([] { throw Throw{EXIT_QUIT}; }), Throw);
    EXPECT_THROW(exits::catch_error([] { throw Throw{EXIT_RETURN}; }), Throw);
}

TEST_F(ExitsTest, UncaughtErrorEndsTheProcess) {
    EXPECT_EXIT(
        {
            exits::uncaught_handler = nullptr;  // the tests' own handler throws instead
            stack::init();
            error::raise(Err::script_no_value, &statics::none_cell);
        },
        ::testing::ExitedWithCode(254), "");
    EXPECT_EXIT(
        {
            exits::uncaught_handler = nullptr;
            stack::init();
            enter_call("outer");
            enter_call("inner");
            error::raise(Err::script_no_value, &statics::none_cell);
        },
        ::testing::ExitedWithCode(254), "");
}

}  // namespace
}  // namespace zel
