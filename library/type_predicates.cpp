// The type predicates. A datatype predicate compares the argument's type id
// with its own; a type-set predicate tests the id's bit in the typeset its
// word holds at the time of the call, so a script that gives `series!`
// another typeset changes what `series?` answers. Both answer in the
// argument's slot, which is also the result slot: no allocation, one test.
#include "library/type_predicates.h"

#include <cstdint>

#include "core/context.h"
#include "core/datatype.h"
#include "core/raise.h"
#include "core/word.h"
#include "datatypes/typeset.h"
#include "core/stack.h"
#include "library/routines.h"

namespace zel {
namespace type_predicates {

namespace {

#define ZEL_TYPE_SPEC "\"Returns true if the value is this type\" value [any-type!] return: [logic!]"
#define ZEL_SET_SPEC(set) "\"Returns true if the value is any type of " set "\" value [any-type!] return: [logic!]"

template <uint32_t T>
void is_type() {
    Cell* v = stack::arg(0);
    cell::make_logic(v, cell::type(v) == T);
}

const routines::Def TYPE_PREDICATES[] = {
    {"bitset?", ZEL_TYPE_SPEC, is_type<T_BITSET>},       {"binary?", ZEL_TYPE_SPEC, is_type<T_BINARY>},
    {"block?", ZEL_TYPE_SPEC, is_type<T_BLOCK>},         {"char?", ZEL_TYPE_SPEC, is_type<T_CHAR>},
    {"email?", ZEL_TYPE_SPEC, is_type<T_EMAIL>},         {"file?", ZEL_TYPE_SPEC, is_type<T_FILE>},
    {"float?", ZEL_TYPE_SPEC, is_type<T_FLOAT>},         {"get-path?", ZEL_TYPE_SPEC, is_type<T_GET_PATH>},
    {"get-word?", ZEL_TYPE_SPEC, is_type<T_GET_WORD>},   {"hash?", ZEL_TYPE_SPEC, is_type<T_HASH>},
    {"integer?", ZEL_TYPE_SPEC, is_type<T_INTEGER>},     {"issue?", ZEL_TYPE_SPEC, is_type<T_ISSUE>},
    {"lit-path?", ZEL_TYPE_SPEC, is_type<T_LIT_PATH>},   {"lit-word?", ZEL_TYPE_SPEC, is_type<T_LIT_WORD>},
    {"logic?", ZEL_TYPE_SPEC, is_type<T_LOGIC>},         {"map?", ZEL_TYPE_SPEC, is_type<T_MAP>},
    {"none?", ZEL_TYPE_SPEC, is_type<T_NONE>},           {"pair?", ZEL_TYPE_SPEC, is_type<T_PAIR>},
    {"paren?", ZEL_TYPE_SPEC, is_type<T_PAREN>},         {"path?", ZEL_TYPE_SPEC, is_type<T_PATH>},
    {"percent?", ZEL_TYPE_SPEC, is_type<T_PERCENT>},     {"refinement?", ZEL_TYPE_SPEC, is_type<T_REFINEMENT>},
    {"set-path?", ZEL_TYPE_SPEC, is_type<T_SET_PATH>},   {"set-word?", ZEL_TYPE_SPEC, is_type<T_SET_WORD>},
    {"string?", ZEL_TYPE_SPEC, is_type<T_STRING>},       {"tag?", ZEL_TYPE_SPEC, is_type<T_TAG>},
    {"time?", ZEL_TYPE_SPEC, is_type<T_TIME>},           {"typeset?", ZEL_TYPE_SPEC, is_type<T_TYPESET>},
    {"tuple?", ZEL_TYPE_SPEC, is_type<T_TUPLE>},         {"unset?", ZEL_TYPE_SPEC, is_type<T_UNSET>},
    {"url?", ZEL_TYPE_SPEC, is_type<T_URL>},             {"word?", ZEL_TYPE_SPEC, is_type<T_WORD>},
    {"image?", ZEL_TYPE_SPEC, is_type<T_IMAGE>},         {"date?", ZEL_TYPE_SPEC, is_type<T_DATE>},
    {"money?", ZEL_TYPE_SPEC, is_type<T_MONEY>},         {"ref?", ZEL_TYPE_SPEC, is_type<T_REF>},
    {"point2D?", ZEL_TYPE_SPEC, is_type<T_POINT2D>},     {"point3D?", ZEL_TYPE_SPEC, is_type<T_POINT3D>},
    {"handle?", ZEL_TYPE_SPEC, is_type<T_HANDLE>},       {"error?", ZEL_TYPE_SPEC, is_type<T_ERROR>},
    {"action?", ZEL_TYPE_SPEC, is_type<T_ACTION>},       {"native?", ZEL_TYPE_SPEC, is_type<T_NATIVE>},
    {"datatype?", ZEL_TYPE_SPEC, is_type<T_DATATYPE>},   {"function?", ZEL_TYPE_SPEC, is_type<T_FUNCTION>},
    {"object?", ZEL_TYPE_SPEC, is_type<T_OBJECT>},       {"op?", ZEL_TYPE_SPEC, is_type<T_OP>},
    {"routine?", ZEL_TYPE_SPEC, is_type<T_ROUTINE>},     {"vector?", ZEL_TYPE_SPEC, is_type<T_VECTOR>},
};

// The type sets, in the order of their predicates: predicate K reads the
// global word of set K through its slot index.
#define ZEL_TYPE_SETS(X)                                                                                   \
    X(0, "any-list") X(1, "any-block") X(2, "any-function") X(3, "any-object") X(4, "any-path")          \
    X(5, "any-string") X(6, "any-word") X(7, "series") X(8, "number") X(9, "immediate") X(10, "scalar") \
    X(11, "all-word") X(12, "any-point") X(13, "planar")

#define ZEL_SET_WORD(k, set) set "!",
constexpr const char* SETS[] = {ZEL_TYPE_SETS(ZEL_SET_WORD)};
constexpr uint32_t SET_COUNT = sizeof(SETS) / sizeof(SETS[0]);
int32_t set_slots[SET_COUNT];

// Only the error path looks the word up by name.
[[noreturn]] void not_a_typeset(uint32_t k, const Cell* value) {
    Cell w = word::intern(SETS[k]);
    if (cell::type(value) == T_UNSET) error::raise(Err::script_no_value, &w);
    Cell expected, got;
    datatype::write_cell(&expected, T_TYPESET);
    datatype::write_cell(&got, cell::type(value));
    error::raise(Err::script_expect_val, &expected, &got);
}

template <uint32_t K>
void in_set() {
    const Cell* set = series::cells(node::buffer(context::global_values.values)) + set_slots[K];
    if (cell::type(set) != T_TYPESET) not_a_typeset(K, set);
    Cell* v = stack::arg(0);
    cell::make_logic(v, typeset::has(set, cell::type(v)));
}

#define ZEL_SET_PREDICATE(k, set) {set "?", ZEL_SET_SPEC(set), in_set<k>},
const routines::Def SET_PREDICATES[] = {ZEL_TYPE_SETS(ZEL_SET_PREDICATE)};

#undef ZEL_SET_PREDICATE
#undef ZEL_SET_WORD
#undef ZEL_TYPE_SETS
#undef ZEL_TYPE_SPEC
#undef ZEL_SET_SPEC

}  // namespace

void bind() {
    for (uint32_t k = 0; k < SET_COUNT; k++) {
        Cell w = word::intern(SETS[k]);
        set_slots[k] = cell::word_index(&w);
    }
    routines::bind_all(TYPE_PREDICATES);
    routines::bind_all(SET_PREDICATES, SET_COUNT);
}

}  // namespace type_predicates
}  // namespace zel
