// The value stack and the call stack: pushes, frames, the leave family,
// overflow, and the listings of active calls.
#include <gtest/gtest.h>

#include "core/context.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "datatypes/error.h"
#include "test_values.h"

namespace zel {

namespace {

using test_values::integer;
using test_values::word_of;

using stack::reg;

using StackTest = ::testing::Test;

uint32_t offset(const Cell* c) { return uint32_t(c - reg.bottom); }

// Raises under a try frame and answers the error (or none).
template <class F>
Cell trap(F f) {
    Cell w = word_of("try");
    stack::enter_try(&w);
    Cell err;
    cell::make_none(&err);
    if (exits::catch_error(f)) {
        stack::adjust_result();
        err = *reg.base;
    } else {
        stack::leave();
    }
    return err;
}

uint32_t id_symbol(const Cell& err) { return cell::type(&err) == T_ERROR ? error::id_symbol(&err) : 0; }

TEST_F(StackTest, EnteringAFrameMakesTheFirstPushTheResult) {
    Cell a = integer(1), b = integer(2), w = word_of("f");
    stack::push(&a);
    Cell* caller_base = reg.base;
    stack::enter_native(&w);
    EXPECT_EQ(reg.base, reg.top);
    stack::push(&b);
    EXPECT_EQ(cell::get_int(reg.base), 2);
    stack::leave();
    EXPECT_EQ(reg.base, caller_base);
    EXPECT_EQ(offset(reg.top), 2u);
    EXPECT_EQ(cell::get_int(stack::top()), 2);
}

TEST_F(StackTest, ValueStackHelpers) {
    Cell a = integer(1), b = integer(2), c = integer(3);
    stack::push(&a);
    stack::push(&b);
    stack::push(&c);
    stack::drop_below();
    EXPECT_EQ(offset(reg.top), 2u);
    EXPECT_EQ(cell::get_int(stack::top()), 3);
    stack::pop(5);
    EXPECT_EQ(reg.top, reg.bottom);
    EXPECT_EQ(stack::top(), reg.bottom);
    stack::return_value(&b);
    EXPECT_EQ(offset(reg.top), 1u);
    EXPECT_EQ(cell::get_int(reg.base), 2);
    EXPECT_EQ(stack::reset(), reg.base);
    EXPECT_EQ(reg.top, reg.base);
    EXPECT_EQ(stack::index_of(reg.bottom), 1u);
    EXPECT_EQ(stack::cell_at(stack::index_of(reg.bottom + 7)), reg.bottom + 7);
}

// The leave family: where top, base and the callee's result end, and whether
// the function context gets its values word back.
TEST_F(StackTest, LeaveFamily) {
    enum Result { KEPT_ON_TOP, COPIED_TO_CALLER, DROPPED };
    struct Case {
        const char* name;
        void (*leave)();
        int top;          // the top afterwards: callee base + top, or -1 for old top - 1
        bool from_caller; // top counted from the caller's base instead
        Result result;
        bool restores;
    };
    const Case cases[] = {
        {"leave", stack::leave, 1, false, KEPT_ON_TOP, false},
        {"leave-func", stack::leave_func, 1, false, KEPT_ON_TOP, true},
        {"leave-last", stack::leave_last, 1, false, COPIED_TO_CALLER, false},
        {"leave-reset", stack::leave_reset, 0, true, DROPPED, false},
        {"leave-drop", stack::leave_drop, 0, false, DROPPED, true},
    };
    Node ctx = context::create(2, true, false, 0, context::KIND_FUNCTION);
    Cell w = word_of("f"), outer = word_of("outer");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stack::init();
        stack::enter_native(&outer);  // keeps the call stack from becoming empty
        Cell caller_value = integer(10), result = integer(42), extra = integer(7);
        stack::push(&caller_value);
        Cell* caller_base = reg.base;
        cell::set_context_values(context::cell_of(ctx), 0);
        stack::enter_func(&w, ctx);
        Cell* callee_base = reg.base;
        cell::set_context_values(context::cell_of(ctx), stack::index_of(callee_base));
        stack::push(&result);
        stack::push(&extra);
        Cell* old_top = reg.top;
        c.leave();
        EXPECT_EQ(reg.base, caller_base);
        Cell* expected_top = c.top < 0 ? old_top - 1 : (c.from_caller ? caller_base : callee_base) + c.top;
        EXPECT_EQ(reg.top, expected_top);
        if (c.result == KEPT_ON_TOP) {
            EXPECT_EQ(cell::get_int(stack::top()), 42);
        }
        EXPECT_EQ(cell::get_int(caller_base), c.result == COPIED_TO_CALLER ? 42 : 10);
        EXPECT_EQ(cell::context_values(context::cell_of(ctx)) == 0, c.restores);
        EXPECT_EQ(stack::depth(), 1u);
    }
}

TEST_F(StackTest, LeaveDropOnTheLastFrameEmptiesBothStacks) {
    Cell w = word_of("f"), v = integer(1);
    stack::push(&v);
    stack::enter_native(&w);
    stack::push(&v);
    stack::push(&v);
    stack::leave_drop();
    EXPECT_EQ(stack::depth(), 0u);
    EXPECT_EQ(reg.top, reg.bottom);
    EXPECT_EQ(reg.base, reg.bottom);
}

TEST_F(StackTest, LeavingAnEmptyCallStackChangesNothing) {
    Cell v = integer(1);
    stack::push(&v);
    stack::leave();
    stack::leave_drop();
    EXPECT_EQ(offset(reg.top), 1u);
    EXPECT_EQ(reg.base, reg.bottom);
}

TEST_F(StackTest, EnterRoutinesWriteTheirHeaders) {
    struct Case {
        stack::Frame* (*enter)(const Cell*);
        uint32_t header;
    };
    const Case cases[] = {
        {stack::enter_native, 0x02000000u}, {stack::enter_try, 0x04000000u},
        {stack::enter_eval, 0x05000000u},   {stack::enter_catch, 0x06000000u},
        {stack::enter_block, 0x87000000u},  {stack::enter_loop, 0x08000000u},
    };
    Cell w = word_of("f");
    for (const Case& c : cases) {
        stack::Frame* f = c.enter(&w);
        EXPECT_EQ(f->header, c.header);
        EXPECT_EQ(f->symbol, cell::word_symbol(&w));
        EXPECT_EQ(f->word_context, cell::word_context(&w));
    }
    Node ctx = context::create(1, true, false, 0, context::KIND_FUNCTION);
    EXPECT_EQ(stack::enter_func(&w, ctx)->header, 0x01000000u);
}

TEST_F(StackTest, FrameFlags) {
    Cell w = word_of("f");
    stack::enter_native(&w);
    stack::set_catch_return(true);
    EXPECT_EQ(stack::top_frame()->header, 0x12000000u);
    stack::set_catch_return(false);
    EXPECT_EQ(stack::top_frame()->header, 0x02000000u);
    stack::set_catch_return(true);
    stack::clear_catch_return(stack::top_frame());
    EXPECT_FALSE(stack::top_frame()->header & stack::CATCH_RETURN);
}

TEST_F(StackTest, GetCallSkipsUnnamedFrames) {
    auto called = [] {
        Cell call = stack::get_call();
        return cell::word_symbol(&call);
    };
    Cell body = *words::word(words::W_tag_body), anon = *words::word(words::W_tag_anon);
    stack::enter_native(&body);
    stack::enter_native(&anon);
    EXPECT_EQ(called(), cell::word_symbol(words::word(words::W_tag_not_found)));
    stack::init();
    Cell f = word_of("outer-call"), g = word_of("inner-call");
    stack::enter_native(&f);
    stack::enter_native(&g);
    stack::enter_native(&body);
    Cell call = stack::get_call();
    EXPECT_EQ(cell::type(&call), T_WORD);
    EXPECT_EQ(cell::word_symbol(&call), cell::word_symbol(&g));
    // A pending-error position makes the walk start below it, once.
    reg.pending_error = reg.call_bottom + 1;
    EXPECT_EQ(called(), cell::word_symbol(&f));
    EXPECT_EQ(reg.pending_error, nullptr);
    EXPECT_EQ(called(), cell::word_symbol(&g));
    // A stale position above call top is not read.
    reg.pending_error = reg.call_top + 5;
    EXPECT_EQ(called(), cell::word_symbol(&g));
}

TEST_F(StackTest, TraceListsNamedFramesAboveTheBottomOne) {
    Cell bottom = word_of("bottom-call"), f = word_of("f-call"), body = *words::word(words::W_tag_body);
    Cell v = integer(0);
    stack::enter_native(&bottom);
    stack::push(&v);
    stack::enter_native(&f);
    stack::push(&v);
    stack::push(&v);
    stack::enter_native(&body);
    stack::enter_native(&f);
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(8));
    stack::trace(&block);
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    ASSERT_EQ(series::length(b), 4u);
    Cell* cells = series::writable_cells(b);
    EXPECT_EQ(cell::type(&cells[0]), T_WORD);
    EXPECT_EQ(cell::word_symbol(&cells[0]), cell::word_symbol(&f));
    EXPECT_EQ(cell::get_int(&cells[1]), 3);  // the saved base of the top frame
    EXPECT_EQ(cell::word_symbol(&cells[2]), cell::word_symbol(&f));
    EXPECT_EQ(cell::get_int(&cells[3]), 0);
}

TEST_F(StackTest, CollectNamesByLevel) {
    Cell fn = word_of("collect-fn"), other = word_of("collect-other");
    Cell function{T_FUNCTION, 0, 0, 0};
    *context::get_word_cell(cell::word_symbol(&fn), context::global_node) = function;
    stack::enter_native(&other);
    stack::enter_native(&fn);
    stack::enter_native(&other);
    struct Case {
        uint32_t level, end, count;
    };
    const Case cases[] = {{1, 3, 1}, {2, 3, 3}, {2, 2, 2}, {2, 99, 3}, {2, 0, 0}};
    for (const Case& c : cases) {
        Cell block;
        cell::make_series(&block, T_BLOCK, series::new_cells(4));
        stack::collect_names(c.level, &block, c.end);
        EXPECT_EQ(series::length(node::buffer(cell::series_node(&block))), c.count) << c.level << " " << c.end;
    }
    Cell text;
    string::write_cell(&text, 16);
    EXPECT_EQ(stack::collect_names_part(2, 3, &text, 100), 100 - 39);  // "collect-other collect-fn collect-other "
    EXPECT_EQ(string::get_length(&text), 39u);
    string::write_cell(&text, 16);
    EXPECT_EQ(stack::collect_names_part(1, 3, &text, 5), -1);
    ASSERT_EQ(string::get_length(&text), 6u);
    EXPECT_TRUE(string::starts_with_cstr(&text, "colle "));
    cell::make_unset(context::get_word_cell(cell::word_symbol(&fn), context::global_node));
}

TEST_F(StackTest, ValueStackOverflow) {
    Cell v = integer(1);
    Cell w = word_of("try");
    stack::enter_try(&w);
    uint32_t pushed = 0;
    static uint32_t top_at_raise;
    error::set_raise_tracer([](const Cell*) { top_at_raise = offset(reg.top); });
    bool raised = exits::catch_error([&] {
        for (;;) {
            stack::push(&v);
            pushed++;
        }
    });
    error::set_raise_tracer(nullptr);
    ASSERT_TRUE(raised);
    EXPECT_EQ(pushed, 19999u);
    EXPECT_EQ(top_at_raise, 19995u);  // four cells fewer than the 19,999
    stack::adjust_result();
    EXPECT_EQ(id_symbol(*reg.base), symbol::intern("stack-overflow"));
    EXPECT_EQ(stack::depth(), 0u);
}

TEST_F(StackTest, CallStackOverflow) {
    Cell w = word_of("f"), v = integer(1);
    stack::push(&v);
    uint32_t entered = 0;
    Cell err = trap([&] {
        for (;;) {
            stack::enter_native(&w);
            entered++;
        }
    });
    EXPECT_EQ(entered + 1, stack::FRAME_COUNT);  // with the try frame: 12,000 frames fit
    EXPECT_EQ(id_symbol(err), symbol::intern("stack-overflow"));
    EXPECT_EQ(stack::depth(), 0u);
}

TEST_F(StackTest, MarkErrorStackSnapshotsTheNames) {
    Cell fn = word_of("snap-fn"), other = word_of("snap-other");
    Cell* value = context::get_word_cell(cell::word_symbol(&fn), context::global_node);
    *value = Cell{T_FUNCTION, 0, 0, 0};
    Cell err = trap([&] {
        stack::enter_native(&fn);
        error::raise(Err::script_no_value, &fn);
    });
    cell::make_unset(context::get_word_cell(cell::word_symbol(&fn), context::global_node));
    ASSERT_EQ(cell::type(&err), uint32_t(T_ERROR));
    // Frames pushed where the failing ones were change nothing: the stack
    // field took the names when the error was raised.
    stack::enter_native(&other);
    stack::enter_native(&other);
    Cell* field = error::field(&err, error::stack_field());
    ASSERT_EQ(cell::type(field), uint32_t(T_BLOCK));
    SeriesBuffer* b = node::buffer(cell::series_node(field));
    ASSERT_EQ(series::length(b), 1u);
    EXPECT_EQ(cell::word_symbol(&series::cells(b)[0]), cell::word_symbol(&fn));
}

}  // namespace
}  // namespace zel
