// The datatype registry (name records and action rows, filled once at start-up
// in the fixed registration order) and the actions of datatype!.
#include "core/datatype.h"

#include "core/symbol.h"

#include <cstring>

#include "core/bitset.h"
#include "core/block.h"
#include "core/char.h"
#include "core/context.h"
#include "core/file.h"
#include "core/float.h"
#include "core/function.h"
#include "core/integer.h"
#include "core/logic.h"
#include "core/native.h"
#include "core/object.h"
#include "core/path.h"
#include "core/routine.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/time.h"
#include "core/triple.h"
#include "core/type_groups.h"
#include "core/url.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/event.h"
#include "datatypes/handle.h"
#include "datatypes/hash.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/port.h"
#include "datatypes/ref.h"
#include "datatypes/tag.h"
#include "datatypes/tuple.h"
#include "datatypes/typeset.h"
#include "datatypes/image.h"
#include "datatypes/vector.h"
#include "kernel/memory.h"

namespace zel {
namespace types {

Registry registry{};

namespace {

// The types in registration order, every parent before its children. A type
// whose module registers itself names its init; the others get a row that
// supports nothing, so that ids and order never change as modules arrive.
struct Entry {
    uint32_t id;
    uint32_t parent;
    const char* name;
    void (*init)();
};

const Entry ORDER[] = {
    {T_DATATYPE, 0, "datatype!", datatype::init},
    {T_UNSET, 0, "unset!", unset::init},
    {T_NONE, 0, "none!", none::init},
    {T_LOGIC, 0, "logic!", logic::init},
    {T_SERIES, 0, "series!", series::init},
    {T_BLOCK, T_SERIES, "block!", block::init},
    {T_STRING, T_SERIES, "string!", string::init},
    {T_BINARY, T_STRING, "binary!", binary::register_type},
    {T_INTEGER, 0, "integer!", integer::init},
    {T_SYMBOL, 0, "symbol!", symbol::init},
    {T_CONTEXT, 0, "context!", context::init},
    {T_WORD, T_SYMBOL, "word!", word::init},
    {T_LIT_WORD, T_WORD, "lit-word!", lit_word::init},
    {T_SET_WORD, T_WORD, "set-word!", set_word::init},
    {T_GET_WORD, T_WORD, "get-word!", get_word::init},
    {T_REFINEMENT, T_WORD, "refinement!", refinement::init},
    {T_CHAR, T_INTEGER, "char!", char_::init},
    {T_NATIVE, 0, "native!", native::init},
    {T_ACTION, T_NATIVE, "action!", action::init},
    {T_OP, T_NATIVE, "op!", op::init},
    {T_PATH, T_BLOCK, "path!", path::init},
    {T_LIT_PATH, T_PATH, "lit-path!", lit_path::init},
    {T_SET_PATH, T_PATH, "set-path!", set_path::init},
    {T_GET_PATH, T_PATH, "get-path!", get_path::init},
    {T_FUNCTION, T_CONTEXT, "function!", function::init},
    {T_ROUTINE, T_FUNCTION, "routine!", routine::init},
    {T_PAREN, T_BLOCK, "paren!", paren::init},
    {T_ISSUE, T_WORD, "issue!", issue::init},
    {T_URL, T_STRING, "url!", url::init},
    {T_FILE, T_URL, "file!", file::init},
    {T_OBJECT, 0, "object!", object::init},
    {T_BITSET, 0, "bitset!", bitset::init},
    {T_TRIPLE, 0, "triple!", triple::init},
    {T_FLOAT, 0, "float!", float_::init},
    {T_TYPESET, 0, "typeset!", typeset::register_type},
    {T_ERROR, T_OBJECT, "error!", error::register_type},
    {T_VECTOR, T_STRING, "vector!", vector::register_type},
    {T_MAP, 0, "map!", map::register_type},
    {T_HASH, T_BLOCK, "hash!", hash::register_type},
    {T_PAIR, 0, "pair!", pair::register_type},
    {T_PERCENT, T_FLOAT, "percent!", percent::register_type},
    {T_TUPLE, 0, "tuple!", tuple::register_type},
    {T_TIME, T_FLOAT, "time!", time::init},
    {T_TAG, T_STRING, "tag!", tag::register_type},
    {T_EMAIL, T_STRING, "email!", email::register_type},
    {T_HANDLE, T_INTEGER, "handle!", handle::register_type},
    {T_DATE, 0, "date!", date::register_type},
    {T_PORT, T_OBJECT, "port!", port::register_type},
    {T_MONEY, 0, "money!", money::register_type},
    {T_REF, T_STRING, "ref!", ref::register_type},
    {T_POINT2D, 0, "point2D!", point2D::register_type},
    {T_POINT3D, 0, "point3D!", point3D::register_type},
    {T_IMAGE, T_SERIES, "image!", image::register_type},
};
static_assert(sizeof ORDER / sizeof ORDER[0] == TYPE_COUNT - 2, "every type but event! registers at boot");

void register_entry(const Entry& e) {
    if (e.init)
        e.init();
    else
        datatype::register_({.id = e.id, .parent = e.parent, .name = e.name});
}

}  // namespace

void register_all() {
    for (const Entry& e : ORDER) register_entry(e);
}

void register_event() { register_entry({T_EVENT, 0, "event!", event::register_type}); }

void make_name_words(WordMaker maker) {
    registry.word_maker = maker;
    for (uint32_t t = 1; t <= registry.top; t++) registry.names[t].word = maker(registry.names[t].name);
}

}  // namespace types

namespace datatype {

void register_(const TypeTable& t) {
    using types::registry;
    if (t.id > registry.top) registry.top = t.id;
    types::NameRecord& name = registry.names[t.id];
    name.name = t.name;
    name.length = uint32_t(std::strlen(t.name)) - 1;
    if (registry.word_maker) name.word = registry.word_maker(t.name);
    // Inherited slots copy the parent's entry as it stands now; without a
    // parent there is nothing to inherit and the action is not supported.
    ActionRow& row = registry.rows[t.id];
    const ActionRow& parent = registry.rows[t.parent];
#define ZEL_RESOLVE(member, id, shape) \
    row.member = t.member.inherit ? (t.parent ? parent.member : nullptr) : t.member.fn;
    ZEL_ACTIONS(ZEL_RESOLVE)
#undef ZEL_RESOLVE
}

Cell* append_new(const Cell* block, uint32_t type) {
    Cell* c = block::append_slot(block);
    write_cell(c, type);
    return c;
}

Cell* push(uint32_t type) {
    Cell* c = stack::push_slot();
    write_cell(c, type);
    return c;
}

int32_t append_text(const Cell* buffer, const char* text, uint32_t length, int32_t limit) {
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text), length);
    return limit - int32_t(length);
}

int32_t append_cstr(const Cell* buffer, const char* text, int32_t limit) {
    return append_text(buffer, text, uint32_t(std::strlen(text)), limit);
}

int32_t append_mold(const Cell* buffer, const char* text, uint32_t length, bool all, int32_t limit) {
    if (!all) return append_text(buffer, text, length, limit);
    limit = append_text(buffer, "#(", 2, limit);
    limit = append_text(buffer, text, length, limit);
    return append_text(buffer, ")", 1, limit);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const types::NameRecord& n = types::name(cell::datatype_id(value));
    return append_text(buffer, n.name, n.length, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    const types::NameRecord& n = types::name(cell::datatype_id(value));
    return append_mold(buffer, n.name, n.length + 1, all, limit);
}

// Datatypes are equal or not; they have no order.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    switch (op) {
    case 0: case 1: case 2: case 9: case 12:
        return cell::type(value2) == T_DATATYPE && cell::datatype_id(value2) == cell::datatype_id(value1) ? 0 : 1;
    }
    return -2;
}

void init() {
    register_({.id = T_DATATYPE, .parent = 0, .name = "datatype!", .form = form, .mold = mold,
               .compare = compare});
}

}  // namespace datatype
}  // namespace zel
