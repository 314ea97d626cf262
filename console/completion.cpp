// The completion runs Zel code in the middle of a line read: it runs under a
// barrier frame, which turns errors and stray exits into an error caught
// here, so the editor never leaves raw mode or its loop through it.
#include "console/completion.h"

#include <algorithm>

#include "core/block.h"
#include "core/exits.h"
#include "core/object.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "kernel/temp_roots.h"
#include "core/runtime_words.h"

namespace zel {
namespace completion {

namespace {

// zel-complete-ctx/complete-input, or null before the library made it. Both
// words are interned before any slot is read: a new word grows the global
// context's values.
const Cell* completer() {
    Cell ctx_word = word::intern("zel-complete-ctx"), fn_word = word::intern("complete-input");
    const Cell* ctx = word::get_value(&ctx_word);
    if (!ctx || cell::type(ctx) != T_OBJECT) return nullptr;
    if (object::lookup_word(ctx, &fn_word) < 0) return nullptr;
    const Cell* fn = object::get_word_cell(ctx, &fn_word);
    return cell::type(fn) == T_FUNCTION ? fn : nullptr;
}

// The answer block: the new line (its index the cursor), then the candidates.
bool read_answer(const Cell* result, Answer* answer) {
    if (cell::type(result) != T_BLOCK) return false;
    uint32_t n = block::buffer_length(result);
    if (n == 0) return false;
    for (uint32_t i = 0; i < n; i++) {
        Cell value = *block::cell_at(result, i);
        if (cell::type(&value) != T_STRING) return false;
        uint32_t index = cell::series_index(&value);
        if (i == 0) {
            answer->line = text_of(&value);
            answer->cursor = std::min<size_t>(index, answer->line.size());
        } else {
            answer->listed.push_back(text_of(&value));
        }
    }
    return true;
}

}  // namespace

std::u32string text_of(const Cell* s) {
    Cell value = *s;
    cell::set_series_index(&value, 0);
    std::u32string out;
    uint32_t n = string::get_abs_length(&value);
    for (uint32_t i = 0; i < n; i++) out += char32_t(string::char_at(&value, i));
    return out;
}

bool ask(const std::u32string& line, size_t cursor, Answer* answer) {
    const Cell* fn = completer();
    if (!fn) return false;
    Cell call[3] = {*fn, statics::none_cell, statics::none_cell};
    temp_roots::Hold hold(call, 3);
    string::write_cell(&call[1], uint32_t(line.size() + 1));
    SeriesBuffer* b = string::buffer_of(&call[1]);
    for (char32_t c : line) b = string::append_char(b, uint32_t(c));
    cell::set_series_index(&call[1], uint32_t(cursor));
    cell::make_logic(&call[2], true);
    Cell* top = stack::reg.top;
    stack::enter_eval(words::word(words::W_tag_anon));
    stack::push(&statics::none_cell);
    bool ok = false;
    // An error has already taken the barrier frame away with it.
    if (!exits::catch_error([&] { interp::invoke(&call[0], words::word(words::W_tag_anon), call + 1, 2); })) {
        ok = !exits::pending() && read_answer(stack::top(), answer);
        exits::clear();
        stack::leave();
    }
    stack::reg.top = top;
    return ok;
}

}  // namespace completion
}  // namespace zel
