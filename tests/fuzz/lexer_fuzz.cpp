// libFuzzer target for the lexer: every input is scanned in each of the four
// modes, from bytes and through a binary! series. A syntax error is an answer,
// not a finding; a crash, a sanitizer report or a hang is.
#include <cstddef>
#include <cstdint>

#include "console/startup.h"
#include "core/exits.h"
#include "core/stack.h"
#include "core/word.h"
#include "io/lexer.h"
#include "kernel/boot.h"
#include "kernel/collector.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"
#include "kernel/temp_roots.h"

namespace {

void boot_once() {
    static bool booted = false;
    if (booted) return;
    booted = true;
    zel::startup::boot_modules();
    zel::runtime::booting = false;
    zel::lexer::init();
}

// One scan under a try frame; the registers are put back afterwards.
template <class F>
void guarded(F scan) {
    using namespace zel;
    Cell* top = stack::reg.top;
    Cell* base = stack::reg.base;
    stack::Frame* frames = stack::reg.call_top;
    Cell try_word = word::intern("try");
    stack::enter_try(&try_word);
    exits::catch_error(scan);
    stack::reg.top = top;
    stack::reg.base = base;
    stack::reg.call_top = frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zel;
    boot_once();
    if (size > 1u << 16) return 0;
    for (uint32_t mode = lexer::MODE_LOAD; mode <= lexer::MODE_PRESCAN; mode++) {
        lexer::Request request;
        request.mode = lexer::Mode(mode);
        guarded([&] {
            Cell out;
            temp_roots::Hold hold(&out);
            lexer::scan(&out, data, uint32_t(size), request);
        });
    }
    guarded([&] {
        Node n = series::new_bytes(uint32_t(size));
        SeriesBuffer* b = node::buffer(n);
        for (size_t i = 0; i < size; i++) series::head_ptr(b)[i] = data[i];
        b->tail = b->head + uint32_t(size);
        Cell input{T_BINARY, 0, n, 0}, out;
        temp_roots::Hold hold_input(&input), hold_out(&out);
        lexer::scan_binary(&out, &input, -1, lexer::Request{});
    });
    // Nothing evaluates here, so no safe point frees the values scanned.
    static uint32_t runs = 0;
    if (++runs % 64 == 0) collector::collect();
    return 0;
}
