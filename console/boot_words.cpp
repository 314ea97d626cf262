// The boot words: the binding records of the boot image (datatype, action
// and native words, made by the build from the datatype registry and the C++
// tables of specs), then the constants, typesets and operators of the
// library.
//
// Each action's spec lists its arguments and refinements in the order the
// action entries (core/dispatch.cpp) read them: refinement i of a spec
// is refinement i of the entry, so the two tables must agree.
#include "console/boot_words.h"

#include <cstring>
#include <iterator>

#include "core/actions.h"
#include "core/block.h"
#include "core/datatype.h"
#include "core/native.h"
#include "core/roots.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/handle.h"
#include "datatypes/typeset.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "io/lexer.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace boot_words {

namespace {

struct ActionDef {
    uint32_t id;
    const char* name;
    const char* spec;  // Zel source of the spec block's contents
};

const ActionDef ACTIONS[] = {
    {ACT_make, "make", R"~("Returns a new value made from a spec for that value's type"
        type [any-type!] "A datatype or a prototype value"
        spec [any-type!] "What the new value is made from"
        return: [any-type!])~"},
    {ACT_random, "random", R"~("Returns a random value of the same type; shuffles a series"
        value [any-type!] "Upper bound, or the series to shuffle (modified)"
        /seed "Restarts the generator from the value"
        /secure "Draws from the operating system's secure generator"
        /only "Picks one value of the series"
        return: [any-type!])~"},
    {ACT_reflect, "reflect", R"~("Returns a detail of a value: spec, body, words, values..."
        value [any-type!]
        field [word!] "The detail asked for; each datatype has its own"
        return: [any-type!])~"},
    {ACT_to, "to", R"~("Converts a value to a datatype"
        type [any-type!] "A datatype or an example value"
        spec [any-type!] "The value to convert"
        return: [any-type!])~"},
    {ACT_form, "form", R"~("Returns the readable text of a value"
        value [any-type!]
        /part "Cuts the text to a length"
        limit [integer!]
        return: [string!])~"},
    {ACT_mold, "mold", R"~("Returns the source text of a value, which loads back"
        value [any-type!]
        /only "Leaves out the outer brackets of a block"
        /all "Writes values in their loadable construction form"
        /flat "Writes no indentation and no line breaks"
        /part "Cuts the text to a length"
        limit [integer!]
        return: [string!])~"},
    {ACT_absolute, "absolute", R"~("Returns the value without its sign"
        value [number! char! pair! time! money! any-point!]
        return: [number! char! pair! time! money! any-point!])~"},
    {ACT_add, "add", R"~("Returns the sum of two values"
        value1 [scalar! vector!]
        value2 [scalar! vector!]
        return: [scalar! vector!])~"},
    {ACT_divide, "divide", R"~("Returns the quotient of two values"
        value1 [scalar! vector!] "The dividend"
        value2 [scalar! vector!] "The divisor"
        return: [scalar! vector!])~"},
    {ACT_multiply, "multiply", R"~("Returns the product of two values"
        value1 [scalar! vector!]
        value2 [scalar! vector!]
        return: [scalar! vector!])~"},
    {ACT_negate, "negate", R"~("Returns the value with its sign changed"
        number [number! bitset! pair! time! money! any-point!]
        return: [number! bitset! pair! time! money! any-point!])~"},
    {ACT_power, "power", R"~("Returns a number raised to a power"
        number [number!] "The base"
        exponent [integer! float!] "The power"
        return: [number!])~"},
    {ACT_remainder, "remainder", R"~("Returns what is left when one value is divided by another"
        value1 [scalar! vector!]
        value2 [scalar! vector!]
        return: [scalar! vector!])~"},
    {ACT_round, "round", R"~("Rounds a value; halves round away from zero unless told otherwise"
        n [number! time! pair! money! any-point!]
        /to "Rounds to a multiple of the scale"
        scale [number! money! time! pair! any-point!] "A value other than zero"
        /even "Halves round to the even neighbour"
        /down "Rounds toward zero (truncates)"
        /half-down "Halves round toward zero"
        /floor "Rounds down"
        /ceiling "Rounds up"
        /half-ceiling "Halves round up"
        return: [number! time! pair! money! any-point!])~"},
    {ACT_subtract, "subtract", R"~("Returns the difference of two values"
        value1 [scalar! vector!]
        value2 [scalar! vector!]
        return: [scalar! vector!])~"},
    {ACT_is_even, "even?", R"~("Returns TRUE when the number divides by 2"
        number [number! char! time! money!]
        return: [logic!])~"},
    {ACT_is_odd, "odd?", R"~("Returns TRUE when the number leaves 1 when divided by 2"
        number [number! char! time! money!]
        return: [logic!])~"},
    {ACT_and_, "and~", R"~("Returns the bitwise or logical AND of two values"
        value1 [logic! integer! char! bitset! binary! typeset! pair! tuple! vector!]
        value2 [logic! integer! char! bitset! binary! typeset! datatype! pair! tuple! vector!]
        return: [logic! integer! char! bitset! binary! typeset! pair! tuple! vector!])~"},
    {ACT_complement, "complement", R"~("Returns the complement of a value"
        value [logic! integer! tuple! bitset! typeset! binary!]
        return: [logic! integer! tuple! bitset! typeset! binary!])~"},
    {ACT_or_, "or~", R"~("Returns the bitwise or logical OR of two values"
        value1 [logic! integer! char! bitset! binary! typeset! pair! tuple! vector!]
        value2 [logic! integer! char! bitset! binary! typeset! datatype! pair! tuple! vector!]
        return: [logic! integer! char! bitset! binary! typeset! pair! tuple! vector!])~"},
    {ACT_xor_, "xor~", R"~("Returns the bitwise or logical exclusive OR of two values"
        value1 [logic! integer! char! bitset! binary! typeset! pair! tuple! vector!]
        value2 [logic! integer! char! bitset! binary! typeset! datatype! pair! tuple! vector!]
        return: [logic! integer! char! bitset! binary! typeset! pair! tuple! vector!])~"},
    {ACT_append, "append", R"~("Inserts values at the tail of a series; returns the series at its head"
        series [series! port! bitset!] "The series to extend (modified)"
        value [any-type!]
        /part "Inserts only this many values"
        length [number! series!]
        /only "Inserts a block as one value"
        /dup "Inserts the values this many times"
        count [integer!]
        return: [series! port! bitset!])~"},
    {ACT_at, "at", R"~("Returns the series at an index"
        series [series! port!]
        index [integer! pair!]
        return: [series! port!])~"},
    {ACT_back, "back", R"~("Returns the series at the index before"
        series [series! port!]
        return: [series! port!])~"},
    {ACT_change, "change", R"~("Replaces values of a series; returns the series after the change"
        series [series! port!] "The series at the place to change (modified)"
        value [any-type!] "The new value"
        /part "Replaces this many values, or up to this position"
        range [number! series!]
        /only "Puts a block in as one value"
        /dup "Puts the new value in this many times"
        count [number!]
        return: [series! port!])~"},
    {ACT_clear, "clear", R"~("Removes the values from the index to the tail; returns the series"
        series [series! port! bitset! map! none!]
        return: [series! port! bitset! map! none!])~"},
    {ACT_copy, "copy", R"~("Returns a copy of a value"
        value [series! any-object! bitset! map!]
        /part "Copies only this many values, or up to this position"
        length [number! series! pair!]
        /deep "Copies the series and objects nested in the value too"
        /types "Copies only nested values of these types"
        kind [datatype! typeset!]
        return: [series! any-object! bitset! map!])~"},
    {ACT_find, "find", R"~("Returns the series at the value found, or NONE"
        series [series! bitset! typeset! port! map! none!]
        value [any-type!]
        /part "Searches only this many values, or up to this position"
        length [number! series!]
        /only "Looks for a series value as one value"
        /case "Tells upper and lower case apart"
        /same "Compares with same? instead of equal?"
        /any "Lets * and ? stand for any text"
        /with "Uses other characters for * and ?"
        wild [string!]
        /skip "Looks only at the start of fixed-size records"
        size [integer!]
        /last "Searches from the tail backwards"
        /reverse "Searches from the index backwards"
        /tail "Returns the series after the match"
        /match "Matches at the index only; returns the series after the match"
        return: [series! bitset! typeset! port! map! none! logic!])~"},
    {ACT_head, "head", R"~("Returns the series at its first index"
        series [series! port!]
        return: [series! port!])~"},
    {ACT_is_head, "head?", R"~("Returns TRUE when the series is at its first index"
        series [series! port!]
        return: [logic!])~"},
    {ACT_is_index, "index?", R"~("Returns the index of a series from its head, or the index of a word in its context"
        series [series! port! any-word!]
        return: [integer!])~"},
    {ACT_insert, "insert", R"~("Inserts values at the index of a series; returns the series after them"
        series [series! port! bitset!] "The series to extend (modified)"
        value [any-type!]
        /part "Inserts only this many values"
        length [number! series!]
        /only "Inserts a block as one value"
        /dup "Inserts the values this many times"
        count [integer!]
        return: [series! port! bitset!])~"},
    {ACT_is_length, "length?", R"~("Returns the number of values from the index to the tail"
        series [series! port! bitset! map! tuple! none!]
        return: [integer! none!])~"},
    {ACT_move, "move", R"~("Moves values from one series position to another"
        origin [series! port!]
        target [series! port!]
        /part "Moves this many values"
        length [integer!]
        return: [series! port!])~"},
    {ACT_next, "next", R"~("Returns the series at the index after"
        series [series! port!]
        return: [series! port!])~"},
    {ACT_pick, "pick", R"~("Returns the value at an index of a series"
        series [series! port! bitset! pair! tuple! money! date! time! any-point! event!]
        index [scalar! any-string! any-word! block! logic!]
        return: [any-type!])~"},
    {ACT_poke, "poke", R"~("Replaces the value at an index of a series; returns the new value"
        series [series! port! bitset!] "(modified)"
        index [scalar! any-string! any-word! block! logic!]
        value [any-type!]
        return: [any-type!])~"},
    {ACT_put, "put", R"~("Sets the value that follows a key; returns the new value"
        series [series! port! map! object!] "(modified)"
        key [scalar! any-string! all-word! binary!]
        value [any-type!]
        /case "Tells upper and lower case apart"
        return: [any-type!])~"},
    {ACT_remove, "remove", R"~("Removes a value at the index; returns the series at the same index"
        series [series! port! bitset! map! none!] "(modified)"
        /part "Removes this many values, or up to this position"
        length [number! char! series!]
        /key "Removes a key of a map"
        key [scalar! any-string! all-word! binary! block!]
        return: [series! port! bitset! map! none!])~"},
    {ACT_reverse, "reverse", R"~("Reverses the order of the values; returns the series at the same index"
        series [series! port! pair! tuple! any-point!] "(modified)"
        /part "Reverses only this many values, or up to this position"
        length [number! series!]
        /skip "Keeps fixed-size records together"
        size [integer!]
        return: [series! port! pair! tuple!])~"},
    {ACT_select, "select", R"~("Returns the value after the value found, or NONE"
        series [series! any-object! map! none!]
        value [any-type!]
        /part "Searches only this many values, or up to this position"
        length [number! series!]
        /only "Looks for a series value as one value"
        /case "Tells upper and lower case apart"
        /same "Compares with same? instead of equal?"
        /any "Lets * and ? stand for any text"
        /with "Uses other characters for * and ?"
        wild [string!]
        /skip "Looks only at the start of fixed-size records"
        size [integer!]
        /last "Searches from the tail backwards"
        /reverse "Searches from the index backwards"
        return: [any-type!])~"},
    {ACT_sort, "sort", R"~("Sorts a series in ascending order; returns the series"
        series [series! port!] "(modified)"
        /case "Tells upper and lower case apart"
        /skip "Sorts fixed-size records by their first value"
        size [integer!]
        /compare "Compares with a record offset, a block or a function"
        comparator [integer! block! any-function!]
        /part "Sorts only this many values, or up to this position"
        length [number! series!]
        /all "Compares whole records"
        /reverse "Sorts in descending order"
        /stable "Keeps equal values in their order"
        return: [series! port!])~"},
    {ACT_skip, "skip", R"~("Returns the series moved by an offset from its index"
        series [series! port!]
        offset [integer! pair!]
        return: [series! port!])~"},
    {ACT_swap, "swap", R"~("Swaps the first values of two series"
        series1 [series! port!] "(modified)"
        series2 [series! port!] "(modified)"
        return: [series! port!])~"},
    {ACT_tail, "tail", R"~("Returns the series at the index after its last value"
        series [series! port!]
        return: [series! port!])~"},
    {ACT_is_tail, "tail?", R"~("Returns TRUE when the series has no value from its index on"
        series [series! port!]
        return: [logic!])~"},
    {ACT_take, "take", R"~("Removes values from a series and returns them"
        series [series! port! none!] "(modified)"
        /part "Takes this many values, or up to this position"
        length [number! series!]
        /deep "Copies the series nested in the values taken"
        /last "Takes from the tail"
        return: [any-type!])~"},
    {ACT_trim, "trim", R"~("Removes spaces from a string, or none values from a block"
        series [series! port!] "(modified)"
        /head "Only at the head"
        /tail "Only at the tail"
        /auto "Indents the lines as the first line is indented"
        /lines "Joins the lines, each run of spaces becoming one space"
        /all "Removes every space"
        /with "Removes these characters instead of spaces"
        str [char! string! binary! integer!]
        return: [series! port!])~"},
    {ACT_create, "create", R"~("Asks a port to create its target"
        port [port! file! url! block!])~"},
    {ACT_close, "close", R"~("Closes a port"
        port [port!])~"},
    {ACT_delete_, "delete", R"~("Deletes a file or empties the target"
        file [any-type!])~"},
    {ACT_modify, "modify", R"~("Changes a property of an aggregate value"
        target [object! series! bitset! map! port!]
        field [word!]
        value [any-type!]
        /case "Tells upper and lower case apart"
        return: [any-type!])~"},
    {ACT_open, "open", R"~("Opens a port, made from a spec when needed"
        port [port! file! url! block!]
        /new "Creates the target, deleting any that exists"
        /read "For reading"
        /write "For writing"
        /seek "For access at any position"
        /allow "With these access rights"
        access [block!]
        return: [port!])~"},
    {ACT_is_open, "open?", R"~("Returns TRUE when the port is open"
        port [port!]
        return: [logic!])~"},
    {ACT_query, "query", R"~("Returns information about a file or port"
        target [file! port!])~"},
    {ACT_read, "read", R"~("Reads from a file, URL or other port"
        source [file! url! port!]
        /part "Reads this many units"
        length [number!]
        /seek "Reads from this position"
        index [number!]
        /binary "Keeps the bytes as they are"
        /lines "Answers a block of lines"
        /info "Answers information about the source"
        /as "Decodes from this encoding (UTF-8 by default)"
        encoding [word!])~"},
    {ACT_rename, "rename", R"~("Renames a file"
        from [port! file! url!]
        to [port! file! url!])~"},
    {ACT_update, "update", R"~("Brings a port's external and internal state together"
        port [port!])~"},
    {ACT_write, "write", R"~("Writes to a file, URL or other port"
        destination [file! url! port!]
        data [any-type!]
        /binary "Writes the bytes as they are"
        /lines "Writes each value of a block as a line"
        /info "Answers information about the destination"
        /append "Writes at the end"
        /part "Writes this many units"
        length [number!]
        /seek "Writes at this position"
        index [number!]
        /allow "With these access rights"
        access [block!]
        /as "Encodes in this encoding (UTF-8 by default)"
        encoding [word!])~"},
};
static_assert(sizeof ACTIONS / sizeof ACTIONS[0] == ACTION_COUNT - 3,
              "every action but eval-path, set-path and compare has a word");

void set_global(const char* name, const Cell* value) {
    Cell w = word::intern(name);
    word::set_value(&w, value);
}

Cell global_value(const char* name) {
    Cell w = word::intern(name);
    return *word::get_value(&w);
}

// A binding record: the set-word of the name and the value it gets.
void add_binding(const Cell* bindings, Cell word, const Cell* value) {
    cell::set_type(&word, T_SET_WORD);
    block::append_copy(bindings, &word);
    block::append_copy(bindings, value);
}

// A native! or action! of the index, its spec lexed from the table text.
void add_callable(const Cell* bindings, const char* name, uint32_t type, uint32_t index, const char* spec_text) {
    Cell spec = lexer::load_text(spec_text, std::strlen(spec_text));
    Cell value;
    native::write_cell(&value, type, index, &spec);
    add_binding(bindings, word::intern(name), &value);
    stack::pop(1);
}

// ---- library values ------------------------------------------------------------

struct CharDef {
    const char* name;
    uint32_t code;
};

const CharDef CHARS[] = {
    {"tab", 9},        {"cr", 13},    {"newline", 10},   {"lf", 10},
    {"escape", 27},    {"slash", 47}, {"sp", 32},        {"space", 32},
    {"null", 0},       {"enter", 13}, {"dot", 46},       {"comma", 44},
    {"dbl-quote", 34},
};

struct LogicDef {
    const char* name;
    bool value;
};

const LogicDef LOGICS[] = {
    {"true", true}, {"false", false}, {"yes", true}, {"on", true},
    {"no", false},  {"off", false},   {"Olvan", false},
};

void make_constants() {
    set_global("none", &statics::none_cell);
    for (const LogicDef& l : LOGICS) {
        Cell v;
        cell::make_logic(&v, l.value);
        set_global(l.name, &v);
    }
    for (const CharDef& c : CHARS) {
        Cell v;
        cell::make_char(&v, c.code);
        set_global(c.name, &v);
    }
    Cell crlf;
    string::write_cell(&crlf, 2);
    temp_roots::Hold hold(&crlf);
    string::append_cstr(&crlf, "\r\n");
    set_global("crlf", &crlf);
    Cell pi;
    cell::make_float(&pi, 3.141592653589793);
    set_global("pi", &pi);
    Cell null_handle;
    handle::init_cell(&null_handle, 0, handle::NONE);
    set_global("null-handle", &null_handle);
}

// A typeset is the union, in order, of the typesets named (already made) and
// of a typeset made from the type ids listed.
struct TypesetDef {
    const char* name;
    const char* unions[6];  // null-terminated
    uint8_t types[8];       // 0-terminated
};

const TypesetDef TYPESETS[] = {
    {"internal!", {}, {T_UNSET}},
    {"external!", {}, {T_EVENT}},
    {"number!", {}, {T_INTEGER, T_FLOAT, T_PERCENT}},
    {"planar!", {}, {T_PAIR, T_POINT2D}},
    {"any-point!", {}, {T_POINT2D, T_POINT3D}},
    {"scalar!", {"number!", "any-point!"}, {T_MONEY, T_CHAR, T_PAIR, T_TUPLE, T_TIME, T_DATE}},
    {"any-word!", {}, {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD}},
    {"all-word!", {"any-word!"}, {T_REFINEMENT, T_ISSUE}},
    {"any-list!", {}, {T_BLOCK, T_PAREN, T_HASH}},
    {"any-path!", {}, {T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH}},
    {"any-block!", {"any-path!", "any-list!"}, {}},
    {"any-function!", {}, {T_NATIVE, T_ACTION, T_OP, T_FUNCTION, T_ROUTINE}},
    {"any-object!", {}, {T_OBJECT, T_ERROR, T_PORT}},
    {"any-string!", {}, {T_STRING, T_FILE, T_URL, T_TAG, T_EMAIL, T_REF}},
    {"series!", {"any-block!", "any-string!"}, {T_BINARY, T_IMAGE, T_VECTOR}},
    {"immediate!", {"scalar!", "all-word!"}, {T_NONE, T_LOGIC, T_DATATYPE, T_TYPESET, T_HANDLE, T_DATE}},
    {"default!", {"series!", "immediate!", "any-object!", "external!", "any-function!"}, {T_MAP, T_BITSET}},
    {"any-type!", {"default!", "internal!"}, {}},
};

// union set1 set2, through the native.
Cell union_of(const Cell& set1, const Cell& set2) {
    Cell name = word::intern("union");
    Cell args[2] = {set1, set2};
    interp::invoke(word::get_value(&name), &name, args, 2);
    Cell result = *stack::top();
    stack::pop(1);
    return result;
}

void make_typeset(const TypesetDef& d) {
    Cell listed;
    typeset::init_empty(&listed);
    for (uint8_t t : d.types)
        if (t) typeset::set_bit(&listed, t);
    Cell set = d.unions[0] ? global_value(d.unions[0]) : listed;
    for (uint32_t i = 1; i < 6 && d.unions[i]; i++) set = union_of(set, global_value(d.unions[i]));
    if (d.unions[0] && d.types[0]) set = union_of(set, listed);
    set_global(d.name, &set);
}

struct OperatorDef {
    const char* op;
    const char* callable;
};

// The operators whose callable is a native or an action.
const OperatorDef OPERATORS[] = {
    {"+", "add"},         {"-", "subtract"},          {"*", "multiply"},
    {"/", "divide"},      {"%", "remainder"},         {"=", "equal?"},
    {"<>", "not-equal?"}, {"==", "strict-equal?"},    {"=?", "same?"},
    {"<", "lesser?"},     {">", "greater?"},          {"<=", "lesser-or-equal?"},
    {">=", "greater-or-equal?"}, {"**", "power"},     {"and", "and~"},
    {"or", "or~"},        {"xor", "xor~"},
};

// The operators whose callable is a library function.
const OperatorDef LIBRARY_OPERATORS[] = {
    {"//", "modulo"},      {"<<", "shift-left"},       {">>", "shift-right"},
    {">>>", "shift-logical"},
};

void make_operator(const OperatorDef& d) {
    Cell proto, callable = global_value(d.callable);
    cell::make_datatype(&proto, T_OP);
    Cell op = *types::row(T_OP).make(&proto, &callable, T_OP);
    set_global(d.op, &op);
}

}  // namespace

// Datatypes in id order, actions in table order, natives in index order.
Cell make_bindings() {
    Cell bindings;
    block::write_cell(&bindings, int32_t(2 * (types::top() + std::size(ACTIONS) + natives::COUNT)));
    temp_roots::Hold hold(&bindings);
    for (uint32_t t = 1; t <= types::top(); t++) {
        Cell word = types::name(t).word;
        if (!word.header) continue;
        Cell datatype;
        cell::make_datatype(&datatype, t);
        add_binding(&bindings, word, &datatype);
    }
    for (const ActionDef& a : ACTIONS) add_callable(&bindings, a.name, T_ACTION, a.id, a.spec);
    for (uint32_t index = 1; index <= natives::COUNT; index++) {
        const natives::NativeDef* d = natives::find(index);
        if (d) add_callable(&bindings, d->name, T_NATIVE, index, d->spec);
    }
    return bindings;
}

const char* action_spec(uint32_t id) {
    for (const ActionDef& a : ACTIONS)
        if (a.id == id) return a.spec;
    return nullptr;
}

void make_values() {
    make_constants();
    for (const TypesetDef& d : TYPESETS) make_typeset(d);
    for (const OperatorDef& d : OPERATORS) make_operator(d);
}

void make_library_operators() {
    for (const OperatorDef& d : LIBRARY_OPERATORS) make_operator(d);
}

}  // namespace boot_words
}  // namespace zel
