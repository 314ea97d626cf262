// ref!: molds with a leading "@", forms without it, and keeps string!'s row
// but for append and path access.
#include <gtest/gtest.h>

#include <string>

#include "core/datatype.h"
#include "core/string.h"
#include "datatypes/ref.h"
#include "kernel/unicode.h"
#include "tests/unit/test_support.h"

using namespace zel;

namespace {

Cell ref_of(const std::string& utf8) {
    Cell c;
    string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()), &c, string::ENC_UTF8);
    cell::set_type(&c, T_REF);
    return c;
}

std::string chars(const Cell& s) {
    std::string out;
    for (uint32_t i = 0; i < string::get_abs_length(&s); i++) {
        uint8_t b[4];
        uint32_t n = utf8::encode_char(string::char_at(&s, i), b);
        out.append(reinterpret_cast<char*>(b), n);
    }
    return out;
}

}  // namespace

TEST(Ref, MoldsWithAtAndFormsWithout) {
    Cell r = ref_of("name"), buffer;
    string::write_cell(&buffer, 16);
    EXPECT_EQ(ref::mold(&r, &buffer, false, false, false, nullptr, 100, 0), 95);
    EXPECT_EQ(chars(buffer), "@name");
    string::write_cell(&buffer, 16);
    types::row(T_REF).form(&r, &buffer, nullptr, 100);
    EXPECT_EQ(chars(buffer), "name");
    string::write_cell(&buffer, 16);
    Cell u = ref_of("\xC3\xA9t\xC3\xA9");
    types::row(T_REF).mold(&u, &buffer, false, false, false, nullptr, 100, 0);
    EXPECT_EQ(chars(buffer), "@\xC3\xA9t\xC3\xA9");
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
