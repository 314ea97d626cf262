// Zelbin internals shared by the stream frame and the two record layouts:
// the writer's codec state (positions, the paths of values already written,
// the symbol list), the reader's state (bounds, symbol table view, reference
// paths) and the value builders both readers use.
//
// Neither encoding nor decoding evaluates code, so no collection can run
// while they work: the nodes held here stay valid, and the state lives in
// ordinary C++ containers, emptied by every reset.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/context.h"
#include "core/string_actions.h"
#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace zelbin {

// ---- writer -------------------------------------------------------------------

struct Writer {
    std::vector<uint8_t> out;        // the payload
    uint32_t current = 0;            // position of the next value at this level
    std::vector<uint32_t> path;      // saved positions of the enclosing levels
    std::unordered_map<Node, uint32_t> refs;  // node -> start of its path in store
    std::vector<uint32_t> store;     // per node: path length, then the path
    std::vector<uint32_t> symbols;   // symbol ids in table order
    std::unordered_map<uint32_t, uint32_t> positions;  // symbol id -> table position
    std::vector<uint32_t> offsets;   // name offsets in the names area
    std::string names;               // the names area
    bool fixed = false;
};

extern Writer writer;

void reset();
// Enters a shared value: saves the position and records the path for node.
void enter(Node node);
// Leaves it: the enclosing position comes back.
void leave();
// The recorded path of node (length first), or null.
const uint32_t* find_reference(Node node);
// The table position of the symbol, added when new.
uint32_t symbol_position(uint32_t symbol);
// The node under which a value is shared, or 0 for a value written plainly.
Node sharing_node(const Cell* v);
// True for a word written as a word of the global context.
bool is_global_word(const Cell* word);
// The owner of a word's context (an object! or function!).
const Cell* word_owner(const Cell* word);
// Resets the state and raises access error no-codec naming the value.
[[noreturn]] void refuse(const Cell* v);
// The unit exponent of a text or vector buffer (1, 2, 4, 8 bytes: 0 to 3).
uint32_t unit_log2(uint32_t unit);
// Live pairs of a map (removed pairs have a zeroed value cell).
bool is_live_pair(const Cell* value);

// The compact stream of what the writer holds: header, counts, symbol table
// and payload, as a new binary!.
Cell compact_stream(uint8_t version, uint32_t records);

// ---- reader -------------------------------------------------------------------

// A boot binding read: the value waits here until the whole image has been
// read, so that an image refused half-way has bound no word.
struct Binding {
    Node context;
    int32_t index;
    Cell value;
};
extern std::vector<Binding> boot_bindings;
// Stores every binding read into its word's slot, once a boot stream has been
// read to its end.
void apply_boot_bindings();

// Where a record's value goes: a cell of a block (by node and position, since
// the block may grow meanwhile) or a C++ cell.
struct Place {
    Node block;
    uint32_t index;
    Cell* temp;
    Cell* at() const { return temp ? temp : series::writable_cells(node::buffer(block)) + index; }
};
// A new unset cell at the tail of the block (a block of cells), once per
// record; *cell (when given) receives where it is, which stays put until the
// block itself grows (making other values moves no buffer).
inline Place append_place(Node block, Cell** cell = nullptr) {
    SeriesBuffer* b = node::buffer(block);
    uint32_t index = (b->tail - b->head) / uint32_t(sizeof(Cell));
    Cell* c = series::append_slot(b);
    cell::make_unset(c);
    if (cell) *cell = c;
    return Place{block, index, nullptr};
}

struct Reader {
    const uint8_t* start;   // data start: error positions count from here
    const uint8_t* pos;
    const uint8_t* end;
    const uint8_t* offsets; // symbol offset table (4 bytes each)
    uint32_t symbol_count;
    const uint8_t* names;
    uint32_t names_size;
    std::vector<uint32_t> symbol_ids;  // interned lazily, 0 until met
    std::vector<uint32_t> global_indexes;  // by symbol id: index in the global context + 1, 0 until met
    bool has_symbols;       // flags bit 2: a symbol table follows the counts
    bool codec;
    Node target;
    uint32_t base;          // target length before decoding: path origin
    uint32_t depth;         // nesting of records being read
    bool bound_value;       // the last top-level record was a boot binding
};

[[noreturn]] void corrupt(const Reader& r);
// Byte count left before the end.
inline uint64_t left(const Reader& r) { return uint64_t(r.end - r.pos); }
inline void need(const Reader& r, uint64_t bytes) {
    if (left(r) < bytes) corrupt(r);
}
// The interned symbol id of a table position: met before, from the reader's
// list; else checked, interned and listed by symbol_first_met.
uint32_t symbol_first_met(Reader& r, uint32_t position);
inline uint32_t symbol_at(Reader& r, uint32_t position) {
    if (position < r.symbol_ids.size() && r.symbol_ids[position]) return r.symbol_ids[position];
    return symbol_first_met(r, position);
}
// Raises no-codec naming the datatype of a refused type id.
[[noreturn]] void refuse_type(uint32_t type);
// Guards the C++ stack against hostile nesting: it must not reach the end of
// the machine stack.
constexpr uint32_t MAX_DEPTH = 2048;
struct Nest {
    Reader& r;
    explicit Nest(Reader& reader) : r(reader) {
        if (++r.depth > MAX_DEPTH) corrupt(r);
    }
    ~Nest() { r.depth--; }
};

// Reads the top-level records to the payload end into the target block.
void read_records(Reader& r, void (*read)(Reader&, const Place&));

// The value at a reference path (a copy of its cell).
Cell resolve(Reader& r, const uint32_t* path, uint32_t length);
// The cell a by-reference series record yields: the value reached, given the
// record's type (block and string families), new-line flag and head index.
Cell share_series(Reader& r, const Cell& reached, uint32_t type, uint32_t head);
// The object! or function! (wanted) reached, or the owner of a reached word.
Cell share_owner(Reader& r, const Cell& reached, uint32_t wanted);
// The context node a word by reference takes from the value reached.
Node context_of_reached(Reader& r, const Cell& reached);

// Builders.
bool is_block_family(uint32_t type);
// A word of the global context (the symbol added there when absent): met
// before, its index comes from the reader's list; else global_index_first_met
// looks it up and lists it.
uint32_t global_index_first_met(Reader& r, uint32_t symbol);
inline void make_global_word(Reader& r, Cell* c, uint32_t type, uint32_t symbol) {
    uint32_t known = symbol < r.global_indexes.size() ? r.global_indexes[symbol] : 0;
    if (!known) known = global_index_first_met(r, symbol);
    *c = Cell{type, context::global_node, symbol, type == T_ISSUE ? uint32_t(-1) : known - 1};
}
// Boot form of a bound word: bound to the context of the boot value at root
// (-1: the global context), at index (-1: looked up by its symbol).
void bind_boot_word(Reader& r, const Place& dst, uint32_t type, uint32_t symbol, uint32_t root, int32_t index);
// A boot binding record: the value is kept for the word's slot (in
// boot_bindings), and neither stays in the target block (top level only).
void store_binding(Reader& r, const Place& word, const Cell& value);
// Checks a bound word's stored index against its context.
void check_word_index(Reader& r, const Cell* word);
// A context of the kind for the symbols (distinct ones), values unset.
Node make_context(Reader& r, uint32_t kind, bool on_stack, bool self, const std::vector<uint32_t>& symbols);
// Places the object shell: class id by the codec flag.
void place_object(Reader& r, const Place& dst, Node ctx, int32_t class_id);
// After its values: the change-handler record, when the stream had one.
void finish_object(const Place& dst, bool handlers);
// A function shell over new spec and body blocks; answers the body node.
Node place_function(const Place& dst, Node ctx, uint32_t spec_cells, uint32_t body_cells);
inline Node function_spec(const Place& dst) { return cell::callable_spec(dst.at()); }
void set_function_part(const Place& dst, uint32_t part, const Cell& block);
// The spec's argument words must be the context's words, in order.
void check_function(Reader& r, const Place& dst);
// native!/action! of the index over the spec block held at dst.
void finish_native(Reader& r, const Place& dst, uint32_t type, uint32_t index);
// op! over the callable held at dst.
void finish_op(Reader& r, const Place& dst);
// An error of the code at dst; answers its values node (fields from arg1).
Node place_error(Reader& r, const Place& dst, uint32_t code);
// A new series of the type at dst with room for n units; answers its node.
Node place_block(const Place& dst, uint32_t type, uint32_t n, uint32_t head);
void finish_hash(const Place& dst);
void finish_map(Reader& r, const Place& dst);
void place_string(Reader& r, const Place& dst, uint32_t type, uint32_t head, const uint8_t* bytes,
                  uint32_t count, uint32_t unit);
void place_binary(const Place& dst, uint32_t head, const uint8_t* bytes, uint32_t count);
void place_vector(Reader& r, const Place& dst, uint32_t head, uint32_t element_type, uint32_t width,
                  const uint8_t* bytes, uint32_t count);
void place_bitset(const Place& dst, const uint8_t* bytes, uint32_t count, bool complemented);
void check_date(Reader& r, uint32_t packed, bool timed, double time);
void check_money(Reader& r, const uint8_t bytes[12]);
void check_char(Reader& r, uint32_t code_point);
// Only ids of datatypes that exist.
void check_typeset(Reader& r, const Cell* ts);
// The head index of a series record must lie within its contents.
void check_head(Reader& r, uint32_t head, uint32_t length);
// Reads the little-endian int32 at p.
inline uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
// Reads a little-endian int32 and steps past it.
inline uint32_t get32r(Reader& r) {
    need(r, 4);
    uint32_t w = get32(r.pos);
    r.pos += 4;
    return w;
}
// Appends w as a little-endian int32.
inline void put32(std::vector<uint8_t>& s, uint32_t w) {
    for (int i = 0; i < 32; i += 8) s.push_back(uint8_t(w >> i));
}
// Appends v in 7-bit groups, low first, the high bit marking a group that
// is followed by another.
inline void varint(std::vector<uint8_t>& s, uint32_t v) {
    for (; v >= 0x80; v >>= 7) s.push_back(uint8_t((v & 0x7F) | 0x80));
    s.push_back(uint8_t(v));
}

// The record layouts.
void write_compact(const Cell* value);
// A boot binding: the prefix, the word, then its value; it takes no position.
void write_compact_binding(const Cell* word, const Cell* value);
void write_fixed(const Cell* value);
void read_compact(Reader& r);
void read_fixed(Reader& r);

}  // namespace zelbin
}  // namespace zel
