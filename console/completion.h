// Tab completion for the line editor: asks the library's word completion
// (zel-complete-ctx/complete-input, console mode) about the line and the
// cursor and hands back its answer as text, so the editor holds no series
// while keys come in.
#pragma once
#include <string>
#include <vector>

#include "kernel/cell.h"

namespace zel {
namespace completion {

struct Answer {
    std::u32string line;  // the completed line, empty when none
    size_t cursor = 0;    // its cursor
    std::vector<std::u32string> listed;  // candidates to show when several fit
};

// False when nothing completes. An error inside the completion, or an exit
// that leaves it, counts as no completion: the editing goes on.
bool ask(const std::u32string& line, size_t cursor, Answer* answer);
// The characters of a string! value from its head: how the editor holds the
// strings it shows (answers and history lines).
std::u32string text_of(const Cell* string);

}  // namespace completion
}  // namespace zel
