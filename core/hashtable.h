// Hash tables: one open-addressing design for the index of a `hash!` block
// (kind 0), the keys of a `map!` (kind 1), the symbol table and the word tables
// of contexts (kind 2), and tables of fixed-size records keyed by a 32-bit
// number (kind 3 and above; the ownership table is kind 4). A small map of
// 32-bit keys to 32-bit values in tracked memory (`intmap`) shares the probing.
//
// A table is the node of a byte series holding its record; the bucket flags,
// bucket entries and keys are series of their own, so the collector moves and
// marks them like any series. Buckets of kinds 0 to 2 hold positions (cell
// indexes from the head) of the key series, never copies of the keys.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace hashtable {

enum Kind : uint32_t {
    KIND_HASH = 0,       // the index of a hash! block; equal values share a bucket
    KIND_MAP = 1,        // the keys of a map!, unique under strict equality
    KIND_WORDS = 2,      // symbol records or the word cells of a context
    KIND_RECORDS = 3,    // fixed-size records keyed by a number
    KIND_OWNERSHIP = 4,  // records that hold their first value weakly
};

// The table's record, eleven words at the head of its own series.
struct Record {
    uint32_t count;     // live buckets
    uint32_t index;     // kind 0: node of the position index; records: entry size in bytes
    uint32_t extra;     // kind 0: node of the lists of equal positions; otherwise 0
    uint32_t flags;     // node of the bucket flags, 2 bits a bucket
    uint32_t entries;   // node of the bucket entries, one 32-bit word a bucket
    uint32_t keys;      // node of the key series (the indexed block, or the entries)
    uint32_t occupied;  // buckets used since the last rebuild, live or deleted
    uint32_t buckets;   // a power of two, at least 4
    uint32_t bound;     // occupied may reach this before a rebuild
    uint32_t kind;
    uint32_t stamp;     // 0, or the collector's cycle count plus one at the last build
};
static_assert(sizeof(Record) == 44, "a table record is eleven words");

// Bucket flag values.
enum BucketState : uint32_t { BUCKET_OCCUPIED = 0, BUCKET_DELETED = 1, BUCKET_EMPTY = 2 };

// Requests from here on are doubled for kind 2, so the symbol table and the
// global context, both made for this many words, get 16,384 buckets.
constexpr uint32_t BIG_WORDS_REQUEST = 4000;

// Comparison ops the tables ask of the compare action.
enum CompareOp : uint32_t { OP_EQUAL = 0, OP_STRICT_EQUAL = 2 };

// Equality of two values under an op. The tables call it through this pointer
// so that the action dispatch can install the datatypes' compare action; until
// then it is same_value.
using EqualFn = bool (*)(const Cell* a, const Cell* b, uint32_t op);
extern EqualFn equal;
// Equality for the types whose hash hash_value computes, read from the same
// payload words as the hash, with text folded to upper case for OP_EQUAL.
bool same_value(const Cell* a, const Cell* b, uint32_t op);

inline Record* record(Node t) { return reinterpret_cast<Record*>(series::raw_bytes(node::buffer(t))); }

// Hashing.
uint32_t hash_int(uint32_t key);
// The hash of a value; without case_sensitive, text is folded to upper case
// first, as the equality that matches it folds.
uint32_t hash_value(const Cell* value, bool case_sensitive);

// A new table for n entries. For kinds 0 and 1 with a block, the block is the
// key series and its values are inserted (a map's keys only); kind 2 takes the
// block as its key series and inserts its cells. values_per_entry is for the
// record kinds.
Node make(uint32_t n, const Cell* block, uint32_t kind, uint32_t values_per_entry);
// Inserts the position of a cell of the key series (kinds 0 to 2) and answers
// the position the table holds for that key: itself, or for kinds 1 and 2 the
// position of an equal key already there.
int32_t put_value(Node t, const Cell* cell);
// Inserts the positions from start on, every step cells.
void put_block(Node t, uint32_t start, uint32_t step);
// Kinds 1 and 2: put_value for the cell at a position of the key series whose
// key the table does not hold yet (the caller has just looked: a map's key
// under strict equality, a context's word by its exact symbol), without
// looking again.
void put_absent(Node t, uint32_t pos);

// A search that can go on: the bucket and the probe step reached, and for a
// list of equal positions how far into it.
struct Cursor {
    uint32_t bucket, step, item;
};
struct FindOptions {
    bool case_sensitive;  // match under strict equality rather than plain
    bool any_word;        // a word matches the words of every word type
};
// The position of a value matching under the options, or -1; cursor (may be
// null) lets find_next walk the other matches.
int32_t find(Node t, const Cell* value, FindOptions options, Cursor* cursor);
int32_t find_next(Node t, const Cell* value, FindOptions options, Cursor* cursor);
// Kind 2: the position of a word of the symbol, or -1; with any_case every
// spelling of the symbol matches.
int32_t find_word(Node t, uint32_t symbol, bool any_case);

// Kinds 0 to 2: marks the bucket of that cell's position deleted. Record
// tables: the cell is an entry's first value cell; the entry is deleted.
void delete_(Node t, const Cell* cell);
// Kinds 0 to 2: deletes the positions [first, first + n) and shifts the ones
// after them down by n, as the block does when it removes those cells.
void remove_range(Node t, uint32_t first, uint32_t n);
// Kinds 0 to 2: adds delta to every position at or after from, as the block
// does when cells are inserted before them.
void shift_positions(Node t, uint32_t from, int32_t delta);

// Record tables: the first value cell of the key's entry, a new entry getting
// unset values; get answers null when the key has no entry. The address is
// good until the table changes.
Cell* put(Node t, uint32_t key);
Cell* get(Node t, uint32_t key);

Node copy(Node t);
void clear(Node t);

// The collector's marking services, handed in so that the tables need not
// know the collector.
struct Marker {
    bool (*keep)(Node* slot);                    // true when newly marked
    void (*mark_cells)(Cell* first, Cell* end);  // marks the values in a range
};
// Keeps the table's series and marks the values it holds; the ownership kind
// leaves out the owned value, so that purge_unmarked can drop dead series.
// The slot receives the table's node again when the collector forwards it.
void mark(Node* t, const Marker& m);
// Record tables: deletes every entry whose key series the last marking left
// unmarked.
void purge_unmarked(Node t);

// A lookup walks the probe sequence of one hash: the k-th probe moves k buckets
// on, so over a power-of-two count the first `buckets` probes visit every
// bucket once.
struct Probe {
    uint32_t bucket;  // the bucket last visited
    uint32_t step;    // probes made so far
    int32_t free;     // first deleted bucket met, else the empty one that ended the walk
};
// Stores the entry in the free bucket the walk found.
void take_bucket(Node t, const Probe& p, int32_t entry);

// Kind 1: find for a key of the kinds a map compares in place (integer!,
// char!, the four word types, string!), matching under strict equality
// with case_sensitive; -2 for any other key. A miss answers -1 and leaves in
// *probe where the key would go, for put_missed.
int32_t find_map_key(Node t, const Cell* key, bool case_sensitive, Probe* probe);
// Kind 1: puts the position of a key that find_map_key has just missed,
// in the bucket its walk ended at unless the table must grow first. Nothing
// may have changed the table in between.
void put_missed(Node t, const Probe& probe, uint32_t pos);

// The walk over bucket arrays fetched once, for callers that match keys their
// own way without allocating (symbol names, symbol ids, numbers): nothing may
// move the arrays while it lasts. Its probe then serves take_bucket.
struct Walk {
    const uint32_t* flags;
    const uint32_t* entries;
    uint32_t mask;
    Probe probe;
};
inline Walk walk_start(Node t, uint32_t hash) {
    const Record* r = record(t);
    uint32_t mask = r->buckets - 1;
    return Walk{reinterpret_cast<const uint32_t*>(series::head_ptr(node::buffer(r->flags))),
                reinterpret_cast<const uint32_t*>(series::head_ptr(node::buffer(r->entries))), mask,
                Probe{hash & mask, 0, -1}};
}
// The entry of the next occupied bucket of the walk, or false when an empty
// bucket or the return to the first bucket ends it.
inline bool walk_next(Walk* w, int32_t* entry) {
    Probe& p = w->probe;
    while (p.step <= w->mask) {
        if (p.step > 0) p.bucket = (p.bucket + p.step) & w->mask;
        p.step++;
        uint32_t state = (w->flags[p.bucket >> 4] >> ((p.bucket & 15) * 2)) & 3;
        if (state == BUCKET_OCCUPIED) {
            *entry = int32_t(w->entries[p.bucket]);
            return true;
        }
        if (p.free < 0) p.free = int32_t(p.bucket);
        if (state == BUCKET_EMPTY) return false;
    }
    return false;
}
// Rebuilds the table when occupied has reached its upper bound, and a table
// keyed by identity when a collection came since it was built; true when it
// rebuilt (a walk made before must be made again).
bool make_room(Node t);

}  // namespace hashtable

// The small map of 32-bit keys to 32-bit values, outside the collected memory
// (the collector's node forwarding uses it while it moves things).
namespace intmap {

struct Map {
    uint32_t count;
    uint32_t* flags;  // 2 bits a bucket as in the tables
    uint32_t* pairs;  // key, value for each bucket
    uint32_t occupied;
    uint32_t buckets;
    uint32_t bound;
};

Map* make(uint32_t n);
// Stores the value of the key, overwriting the one it had.
void put(Map* m, uint32_t key, uint32_t value);
// True when the key is present, its value then in *value.
bool get(const Map* m, uint32_t key, uint32_t* value);
void destroy(Map* m);

}  // namespace intmap
}  // namespace zel
