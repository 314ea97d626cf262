// The path family and paren!: molds, forms, construction, conversion and
// the action rows they inherit.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/block_search.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/path.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/error_ids.h"
#include "datatypes/typeset.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;
using test_support::raises;

namespace {

using test_values::formed;
using test_values::utf8_of;

Cell block_of(const std::vector<Cell>& cells, uint32_t type = T_BLOCK) {
    Cell b;
    block::write_cell(&b, int32_t(cells.size()));
    for (const Cell& c : cells) block::append_copy(&b, &c);
    cell::set_type(&b, type);
    return b;
}

Cell words_of(const std::vector<const char*>& names, uint32_t type = T_BLOCK) {
    std::vector<Cell> cells;
    for (const char* n : names) cells.push_back(word::intern(n));
    return block_of(cells, type);
}

std::string molded(Cell v, int32_t limit = INT_MAX) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    Cell part;
    cell::make_integer(&part, limit);
    actions::mold_dispatch(&v, &buffer, false, false, false, limit == INT_MAX ? nullptr : &part, limit, 0);
    return utf8_of(&buffer);
}

TEST(PathTest, PathsMoldWithTheirMarks) {
    const struct {
        uint32_t type;
        const char* expected;
    } cases[] = {
        {T_PATH, "a/b"},
        {T_LIT_PATH, "'a/b"},
        {T_SET_PATH, "a/b:"},
        {T_GET_PATH, ":a/b"},
    };
    for (const auto& c : cases) {
        Cell p = words_of({"a", "b"}, c.type);
        EXPECT_EQ(molded(p), c.expected);
        EXPECT_EQ(formed(p), "a/b");
    }
}

TEST(PathTest, PathElementsMoldAsThemselves) {
    Cell paren = words_of({"c", "d"}, T_PAREN);
    Cell get = word::intern("x");
    cell::set_type(&get, T_GET_WORD);
    Cell p = block_of({word::intern("a"), paren, get}, T_PATH);
    EXPECT_EQ(molded(p), "a/(c d)/:x");
    Cell from_index = words_of({"a", "b", "c"}, T_PATH);
    cell::set_series_index(&from_index, 1);
    EXPECT_EQ(molded(from_index), "b/c");
    EXPECT_EQ(molded(words_of({}, T_PATH)), "");
    EXPECT_EQ(molded(words_of({"a", "b", "c"}, T_PATH), 3), "a/b");
}

TEST(PathTest, ParenMoldsInParenthesesAndFormsAsABlock) {
    Cell inner = words_of({"b"}, T_PAREN);
    Cell p = block_of({word::intern("a"), inner}, T_PAREN);
    EXPECT_EQ(molded(p), "(a (b))");
    EXPECT_EQ(formed(p), "a b");
}

TEST(PathTest, SelfContainingValuesMoldWithAMark) {
    Cell p = words_of({"a"}, T_PAREN);
    block::append_copy(&p, &p);
    EXPECT_EQ(molded(p), "(a (...))");
    Cell path = words_of({"a"}, T_PATH);
    block::append_copy(&path, &path);
    EXPECT_EQ(molded(path), "a/...");
}

TEST(PathTest, MakeAPath) {
    Cell type;
    datatype::write_cell(&type, T_PATH);
    Cell zero;
    cell::make_integer(&zero, 0);
    Cell made = *path::make(&type, &zero, T_PATH);
    EXPECT_EQ(cell::type(&made), T_PATH);
    EXPECT_EQ(block::buffer_length(&made), 0u);
    EXPECT_GE(node::buffer(cell::series_node(&made))->size, 16u);

    Cell spec = words_of({"a", "b"});
    Cell from_block = *path::make(&type, &spec, T_SET_PATH);
    EXPECT_EQ(molded(from_block), "a/b:");

    Cell sized;
    cell::make_float(&sized, 4.7);
    EXPECT_GE(node::buffer(cell::series_node(path::make(&type, &sized, T_PATH)))->size, 4 * 16u);

    EXPECT_TRUE(raises(Err::script_bad_make_arg, [&] { path::make(&type, &type, T_PATH); }));
}

TEST(PathTest, ToAPath) {
    Cell type;
    datatype::write_cell(&type, T_PATH);
    Cell spec = words_of({"f"});
    Node ctx = context::make(&spec, false, true, context::KIND_OBJECT);
    Cell object{T_OBJECT, ctx, 1, 0};
    *context::owner_of(ctx) = object;
    Cell from_object = *path::to(&type, &object, T_PATH);
    ASSERT_EQ(block::buffer_length(&from_object), 1u);
    EXPECT_EQ(cell::type(block::cell_at(&from_object, 0)), T_OBJECT);
    EXPECT_EQ(cell::word_context(block::cell_at(&from_object, 0)), ctx);

    Cell set;
    typeset::init_empty(&set);
    typeset::set_bit(&set, T_WORD);
    Cell from_typeset = *path::to(&type, &set, T_LIT_PATH);
    EXPECT_EQ(cell::type(&from_typeset), T_LIT_PATH);
    EXPECT_EQ(cell::type(block::cell_at(&from_typeset, 0)), T_TYPESET);

    Cell from_block = *path::to(&type, &spec, T_GET_PATH);
    EXPECT_EQ(molded(from_block), ":f");
}

// The rows as registered: paths have no sort, random or trim; a paren has
// every block! action; the other path types take path!'s row.
TEST(PathTest, InheritedRows) {
    const ActionRow& block = types::row(T_BLOCK);
    const ActionRow& path = types::row(T_PATH);
    const ActionRow& paren = types::row(T_PAREN);
    EXPECT_EQ(path.sort, nullptr);
    EXPECT_EQ(path.random, nullptr);
    EXPECT_EQ(path.trim, nullptr);
    EXPECT_EQ(path.find, block::find);
    EXPECT_EQ(path.select, block::select);
    EXPECT_EQ(path.put, block::put);
    EXPECT_EQ(path.eval_path, block::eval_path);
    EXPECT_EQ(path.copy, block::copy);
    EXPECT_EQ(path.mold, path::mold);
    EXPECT_EQ(paren.sort, block::sort);
    EXPECT_EQ(paren.random, block.random);
    EXPECT_EQ(paren.trim, block.trim);
    EXPECT_EQ(paren.form, block.form);
    EXPECT_EQ(paren.mold, paren::mold);
    for (uint32_t t : {T_LIT_PATH, T_SET_PATH, T_GET_PATH}) {
        const ActionRow& row = types::row(t);
        EXPECT_EQ(row.form, path::form);
        EXPECT_EQ(row.make, path::make);
        EXPECT_EQ(row.find, block::find);
        EXPECT_EQ(row.sort, nullptr);
        EXPECT_NE(row.mold, path::mold);
    }
}

TEST(PathTest, PathAndLitPathCompareOnlyUnderWordMatching) {
    Cell p = words_of({"a", "b"}, T_PATH), lit = words_of({"a", "b"}, T_LIT_PATH);
    EXPECT_TRUE(actions::compare(&p, &lit, actions::OP_WORD_MATCH));
    EXPECT_FALSE(actions::compare(&p, &lit, actions::OP_EQUAL));
}

TEST(PathTest, PushSetsTheType) {
    Cell c = words_of({"a"});
    Cell* pushed = paren::push(&c);
    EXPECT_EQ(cell::type(pushed), T_PAREN);
    EXPECT_EQ(cell::type(&c), T_PAREN);
    stack::pop(1);
    Cell empty;
    path::write_cell(&empty, 3);
    EXPECT_EQ(cell::type(&empty), T_PATH);
    EXPECT_EQ(block::buffer_length(&empty), 0u);
}

}  // namespace
