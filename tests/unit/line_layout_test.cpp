// The screen form of an edited line: cells of the cursor and the end, and the
// bytes written, for wide characters at a row's end, marks, Tabs, control
// characters, hidden input and a prompt's colour sequence.
#include <gtest/gtest.h>

#include <string>

#include "console/line_layout.h"

using namespace zel;

namespace {

struct Case {
    const char* name;
    std::string prompt;
    std::u32string line;
    size_t cursor;
    bool hidden;
    int32_t origin, columns;
    std::string bytes;
    int32_t at_cursor, at_end;
};

const Case CASES[] = {
    {"plain text", "> ", U"abc", 1, false, 0, 80, "> abc", 3, 5},
    {"from the origin's column", "> ", U"ab", 2, false, 10, 80, "> ab", 14, 14},
    {"wide characters take two cells", "", U"\u65E5\u672C", 1, false, 0, 80, "\xE6\x97\xA5\xE6\x9C\xAC", 2, 4},
    {"emoji take two cells", "", U"\U0001F600x", 2, false, 0, 80, "\xF0\x9F\x98\x80x", 3, 3},
    {"a mark takes none", "", U"e\u0301x", 3, false, 0, 80, "e\xCC\x81x", 2, 2},
    {"a wide character meeting the last column starts the next row", "", U"abc\u65E5", 3, false, 0, 4,
     "abc\xE6\x97\xA5", 4, 6},
    {"a Tab is four spaces", "", U"a\tb", 3, false, 0, 80, "a    b", 6, 6},
    {"control characters show as ^ and a letter", "", U"a\x1b[31mb\x7f", 8, false, 0, 80, "a^[[31mb^?", 10, 10},
    {"hidden input shows stars", "Pw: ", U"\u65E5ab", 3, true, 0, 80, "Pw: ***", 7, 7},
    {"a prompt's colour sequence takes no cell", "\x1b[1;31m>\x1b[0m ", U"x", 1, false, 0, 80,
     "\x1b[1;31m>\x1b[0m x", 3, 3},
    {"a prompt's other control character is shown", "a\x07> ", U"", 0, false, 0, 80, "a^G> ", 5, 5},
};

TEST(LineLayoutTest, PlacesEveryCase) {
    for (const Case& c : CASES) {
        line_layout::Placed p = line_layout::place(c.prompt, c.line, c.cursor, c.hidden, c.origin, c.columns);
        EXPECT_EQ(p.bytes, c.bytes) << c.name;
        EXPECT_EQ(p.cursor, c.at_cursor) << c.name;
        EXPECT_EQ(p.end, c.at_end) << c.name;
    }
}

}  // namespace
