// The loaders of percents, tuples, pairs and points in the lexer's scan-only
// mode, which types a token without building its value, and the new-line
// mark a loaded point keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/block.h"
#include "io/lexer.h"
#include "kernel/memory.h"
#include "test_values.h"

namespace zel {
namespace {

using LoadCompoundTest = ::testing::Test;

uint32_t scanned_type(const char* source) {
    Cell out = statics::none_cell;
    lexer::Request r;
    r.mode = lexer::MODE_SCAN;
    return lexer::scan(&out, reinterpret_cast<const uint8_t*>(source), uint32_t(std::strlen(source)), r).type;
}

TEST_F(LoadCompoundTest, ScanModeTypesTheLiterals) {
    struct Case {
        const char* source;
        uint32_t type;
    };
    const Case cases[] = {
        {"50%", T_PERCENT},  {"1.2.3", T_TUPLE},        {"1x2", T_PAIR},
        {"(1, 2)", T_POINT2D}, {"(1, 2, 3)", T_POINT3D}, {"(\n1, 2, 3)", T_POINT3D},
    };
    for (const Case& c : cases) EXPECT_EQ(scanned_type(c.source), c.type) << c.source;
}

TEST_F(LoadCompoundTest, PointsKeepTheNewLineMark) {
    Cell block = test_values::load("a\n(1, 2) b\n(\n3, 4)");
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    ASSERT_EQ(series::length(b), 4u);
    const Cell* cells = series::cells(b);
    EXPECT_EQ(cell::type(cells + 1), uint32_t(T_POINT2D));
    EXPECT_TRUE(cells[1].header & HDR_NEW_LINE);
    EXPECT_EQ(cell::type(cells + 3), uint32_t(T_POINT2D));
    EXPECT_TRUE(cells[3].header & HDR_NEW_LINE);
    EXPECT_FALSE(cells[2].header & HDR_NEW_LINE);
}

}  // namespace
}  // namespace zel
