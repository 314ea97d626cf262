// triple!: three integers in one cell; form and mold are its only actions.
#include <gtest/gtest.h>

#include <string>

#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/string.h"
#include "core/triple.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::utf8_of;

using TripleTest = ::testing::Test;

TEST_F(TripleTest, FormAndMoldWriteTheMakeSyntax) {
    struct Case {
        int32_t a, b, c;
        const char* text;
    };
    const Case cases[] = {
        {1, -2, 3, "make triple! [1 -2 3]"},
        {-2147483647 - 1, 2147483647, 0, "make triple! [-2147483648 2147483647 0]"},
    };
    for (const Case& c : cases) {
        Cell t;
        triple::write_cell(&t, c.a, c.b, c.c);
        Cell formed, molded;
        string::write_cell(&formed, 16);
        string::write_cell(&molded, 16);
        int32_t left = actions::form_dispatch(&t, &formed, nullptr, 100);
        actions::mold_dispatch(&t, &molded, false, true, false, nullptr, 100, 0);
        EXPECT_EQ(utf8_of(&formed), c.text);
        EXPECT_EQ(utf8_of(&molded), c.text);
        EXPECT_EQ(left, 100 - int32_t(std::string(c.text).size()));
    }
}

TEST_F(TripleTest, EveryOtherActionIsUnsupported) {
    const ActionRow& row = types::row(T_TRIPLE);
    EXPECT_EQ(types::name(T_TRIPLE).length, 6u);
    EXPECT_EQ(row.make, nullptr);
    EXPECT_EQ(row.compare, nullptr);
    EXPECT_EQ(row.add, nullptr);
    EXPECT_EQ(row.pick, nullptr);
}

}  // namespace
