// ref!: molds with a leading "@", forms without it, and keeps string!'s row
// but for append and path access.
#include <gtest/gtest.h>

#include <string>

#include "core/datatype.h"
#include "core/string.h"
#include "datatypes/ref.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::text;
using test_values::utf8_of;

TEST(Ref, MoldsWithAtAndFormsWithout) {
    Cell r = text("name", T_REF), buffer;
    string::write_cell(&buffer, 16);
    EXPECT_EQ(ref::mold(&r, &buffer, false, false, false, nullptr, 100, 0), 95);
    EXPECT_EQ(utf8_of(buffer), "@name");
    string::write_cell(&buffer, 16);
    types::row(T_REF).form(&r, &buffer, nullptr, 100);
    EXPECT_EQ(utf8_of(buffer), "name");
    string::write_cell(&buffer, 16);
    Cell u = text("\xC3\xA9t\xC3\xA9", T_REF);
    types::row(T_REF).mold(&u, &buffer, false, false, false, nullptr, 100, 0);
    EXPECT_EQ(utf8_of(buffer), "@\xC3\xA9t\xC3\xA9");
}

TEST(Ref, RowKeepsStringActionsButAppend) {
    const ActionRow& row = types::row(T_REF);
    const ActionRow& str = types::row(T_STRING);
    EXPECT_EQ(row.append, nullptr);
    EXPECT_EQ(row.eval_path, nullptr);
    EXPECT_EQ(row.trim, nullptr);
    EXPECT_NE(row.insert, nullptr);
    EXPECT_EQ(row.insert, str.insert);
    EXPECT_EQ(row.form, str.form);
    EXPECT_EQ(row.compare, str.compare);
    EXPECT_NE(row.mold, str.mold);
}

}  // namespace
