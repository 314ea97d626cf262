// Hash tables: value hashing, probing, growth and the kinds' own rules.
//
// Every routine that allocates may move a buffer of the table (reserve and
// expand reallocate), so the record and the bucket arrays are fetched again
// through their nodes after each allocation; only nodes and positions are kept.
#include "core/hashtable.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/murmur.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/date.h"
#include "kernel/casefold.h"
#include "kernel/fail.h"
#include "kernel/memory_internal.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

namespace zel {
namespace hashtable {

// ---- hashing values -----------------------------------------------------------

// Which part of a value its hash (and the equality that stands in for the
// compare action) reads.
enum HashBy : uint8_t {
    BY_NOTHING, BY_UNSET, BY_NONE, BY_W1, BY_W2, BY_W3, BY_WORD, BY_W12, BY_W23, BY_W123,
    BY_TUPLE, BY_BINARY, BY_STRING, BY_SYMBOL, BY_MONEY, BY_DATE,
};

struct TypeRow {
    uint32_t type;
    HashBy by;
    bool by_identity;  // its hash depends on where something lives
};

static constexpr TypeRow TYPE_ROWS[] = {
    {T_UNSET, BY_UNSET, false},     {T_NONE, BY_NONE, false},
    {T_DATATYPE, BY_W1, false},     {T_LOGIC, BY_W1, false},
    {T_OBJECT, BY_W1, true},        {T_ERROR, BY_W1, true},
    {T_PORT, BY_W1, true},          {T_CHAR, BY_W2, false},
    {T_INTEGER, BY_W2, false},      {T_MAP, BY_W2, true},
    {T_HANDLE, BY_W2, false},       {T_EVENT, BY_W2, true},
    {T_NATIVE, BY_W3, true},        {T_ACTION, BY_W3, true},
    {T_WORD, BY_WORD, false},       {T_SET_WORD, BY_WORD, false},
    {T_LIT_WORD, BY_WORD, false},   {T_GET_WORD, BY_WORD, false},
    {T_REFINEMENT, BY_WORD, false}, {T_ISSUE, BY_WORD, false},
    {T_BLOCK, BY_W12, true},        {T_PAREN, BY_W12, true},
    {T_PATH, BY_W12, true},         {T_LIT_PATH, BY_W12, true},
    {T_SET_PATH, BY_W12, true},     {T_GET_PATH, BY_W12, true},
    {T_HASH, BY_W12, true},         {T_POINT2D, BY_W12, false},
    {T_IMAGE, BY_W12, true},        {T_FLOAT, BY_W23, false},
    {T_PAIR, BY_W23, false},        {T_PERCENT, BY_W23, false},
    {T_TIME, BY_W23, false},        {T_OP, BY_W123, true},
    {T_FUNCTION, BY_W123, true},    {T_TRIPLE, BY_W123, false},
    {T_TYPESET, BY_W123, false},    {T_DATE, BY_DATE, false},
    {T_POINT3D, BY_W123, false},    {T_TUPLE, BY_TUPLE, false},
    {T_BINARY, BY_BINARY, false},   {T_STRING, BY_STRING, false},
    {T_FILE, BY_STRING, false},     {T_URL, BY_STRING, false},
    {T_TAG, BY_STRING, false},      {T_EMAIL, BY_STRING, false},
    {T_REF, BY_STRING, false},      {T_SYMBOL, BY_SYMBOL, false},
    {T_MONEY, BY_MONEY, false},
};

static constexpr std::array<TypeRow, TYPE_TABLE_SIZE> make_type_table() {
    std::array<TypeRow, TYPE_TABLE_SIZE> t{};
    for (uint32_t i = 0; i < TYPE_TABLE_SIZE; i++) t[i] = {i, BY_NOTHING, false};
    for (const TypeRow& r : TYPE_ROWS) t[r.type] = r;
    return t;
}
static constexpr std::array<TypeRow, TYPE_TABLE_SIZE> TYPES = make_type_table();

static const TypeRow& row_of(const Cell* c) {
    uint32_t t = cell::type(c);
    return TYPES[t < TYPE_TABLE_SIZE ? t : 0];
}


uint32_t hash_int(uint32_t key) { return hash::mix(key); }

// The part of a series value from its index (clamped to the tail) on.
struct Span {
    const uint8_t* p;
    uint32_t unit, count;
};

static Span span_of(const Cell* c) {
    SeriesBuffer* b = node::buffer(cell::series_node(c));
    uint32_t unit = series::unit(b) ? series::unit(b) : 1;
    uint32_t length = series::length(b);
    uint32_t index = std::min(uint32_t(cell::series_index(c)), length);
    return {series::head_ptr(b) + index * unit, unit, length - index};
}

static uint32_t fold(uint32_t cp, bool case_sensitive) { return case_sensitive ? cp : case_::convert(cp, true); }

// Each character is one 32-bit block holding its code point, whatever the unit,
// folded to upper case as the text comparison folds it.
static uint32_t hash_string(const Cell* c, bool case_sensitive) {
    Span s = span_of(c);
    uint32_t h = hash::seed;
    for (uint32_t i = 0; i < s.count; i++) {
        h = hash::step(h, fold(string::get_char(s.p + i * s.unit, s.unit), case_sensitive));
    }
    return hash::finish(h, 0, 0, s.count * 4);
}

static uint32_t tuple_length(const Cell* c) { return (c->header >> 19) & 0xF; }

// Until the money module is here its sign flag is unknown, so the header is cut
// to the bare type; equal amounts then still hash alike.
static uint32_t hash_money(const Cell* c) {
    Cell scratch = *c;
    scratch.header = T_MONEY;
    return hash::murmur3(&scratch, sizeof scratch);
}

uint32_t hash_value(const Cell* c, bool case_sensitive) {
    switch (row_of(c).by) {
    case BY_UNSET: return uint32_t(-2);
    case BY_NONE: return uint32_t(-1);
    case BY_W1: return hash_int(c->w1);
    case BY_W2: return hash_int(c->w2);
    case BY_W3: return hash_int(c->w3);
    case BY_WORD: return hash_int(symbol::resolve(c->w2));
    case BY_W12: return hash::murmur3(&c->w1, 8);
    case BY_W23: return hash::murmur3(&c->w2, 8);
    case BY_W123: return hash::murmur3(&c->w1, 12);
    case BY_TUPLE: return hash::murmur3(&c->w1, int32_t(tuple_length(c)));
    case BY_BINARY: {
        Span s = span_of(c);
        return hash::murmur3(s.p, int32_t(s.count));
    }
    case BY_STRING: return hash_string(c, case_sensitive);
    case BY_SYMBOL: {
        uint32_t n;
        const uint8_t* name = symbol::name_of(c, &n);
        return hash::murmur3_ascii_lower(name, n);
    }
    case BY_MONEY: return hash_money(c);
    // Dates equal with other zones, with or without a time and with times
    // a float tolerance apart: only the calendar date is hashed.
    case BY_DATE: return hash_int(c->w1 & ~(date::HAS_TIME | date::ZONE_MASK));
    case BY_NOTHING: break;
    }
    return 0;
}

// ---- equality standing in for the compare action ------------------------------

static bool same_text(const Cell* a, const Cell* b, bool case_sensitive) {
    Span x = span_of(a), y = span_of(b);
    if (x.count != y.count) return false;
    for (uint32_t i = 0; i < x.count; i++) {
        uint32_t ca = string::get_char(x.p + i * x.unit, x.unit);
        uint32_t cb = string::get_char(y.p + i * y.unit, y.unit);
        if (ca != cb && fold(ca, case_sensitive) != fold(cb, case_sensitive)) return false;
    }
    return true;
}

static bool same_bytes(const Cell* a, const Cell* b) {
    Span x = span_of(a), y = span_of(b);
    return x.count == y.count && std::memcmp(x.p, y.p, x.count) == 0;
}

static bool same_names(const Cell* a, const Cell* b, bool exact) {
    uint32_t na, nb;
    const uint8_t* x = symbol::name_of(a, &na);
    const uint8_t* y = symbol::name_of(b, &nb);
    return na == nb && symbol::compare_names(x, y, na, exact) == 0;
}

static bool same_words(const Cell* a, const Cell* b, bool exact) {
    return exact ? cell::word_symbol(a) == cell::word_symbol(b) : symbol::resolve(cell::word_symbol(a)) == symbol::resolve(cell::word_symbol(b));
}

bool same_value(const Cell* a, const Cell* b, uint32_t op) {
    bool exact = op == OP_STRICT_EQUAL;
    if (cell::type(a) != cell::type(b)) {
        return !exact && types::is_symbolic(cell::type(a)) && types::is_symbolic(cell::type(b)) && same_words(a, b, false);
    }
    switch (row_of(a).by) {
    case BY_UNSET:
    case BY_NONE: return true;
    case BY_W1: return a->w1 == b->w1;
    case BY_W2:
        if (cell::type(a) == T_CHAR) return fold(cell::get_char(a), exact) == fold(cell::get_char(b), exact);
        return a->w2 == b->w2;
    case BY_W3: return a->w3 == b->w3;
    case BY_WORD: return same_words(a, b, exact);
    case BY_W12: return a->w1 == b->w1 && a->w2 == b->w2;
    case BY_W23: return a->w2 == b->w2 && a->w3 == b->w3;
    case BY_TUPLE:
        return tuple_length(a) == tuple_length(b) && std::memcmp(&a->w1, &b->w1, tuple_length(a)) == 0;
    case BY_BINARY: return same_bytes(a, b);
    case BY_STRING: return same_text(a, b, exact);
    case BY_SYMBOL: return same_names(a, b, exact);
    case BY_W123:
    case BY_MONEY:
    case BY_DATE:
    case BY_NOTHING: break;
    }
    return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3;
}

EqualFn equal = same_value;

// ---- the record and its arrays -------------------------------------------------

constexpr double LOAD = 0.77;
constexpr uint32_t ENTRY_LIVE = 2;     // header of a record table's live key cell
constexpr uint32_t ENTRY_DELETED = 0;  // and of a deleted one
// A key cell holds its 32-bit key in payload word 1.
static uint32_t entry_key(const Cell* entry) { return entry->w1; }
constexpr uint32_t MAX_BUCKETS = 1u << 28;

static uint32_t* words_of(Node n) { return reinterpret_cast<uint32_t*>(series::raw_bytes(node::buffer(n))); }
static const Cell* keys_of(const Record* r) { return series::cells(node::buffer(r->keys)); }
static uint32_t key_count(const Record* r) { return series::length(node::buffer(r->keys)); }
static bool is_record_kind(uint32_t kind) { return kind >= KIND_RECORDS; }

static uint32_t flag_of(const uint32_t* flags, uint32_t b) { return (flags[b >> 4] >> ((b & 15) * 2)) & 3; }
static void set_flag(uint32_t* flags, uint32_t b, uint32_t v) {
    uint32_t shift = (b & 15) * 2;
    flags[b >> 4] = (flags[b >> 4] & ~(3u << shift)) | (v << shift);
}

static uint32_t power_of_two_from(double request) {
    uint64_t need = uint64_t(request);
    uint64_t c = 4;
    while (c < need) c <<= 1;
    if (c > MAX_BUCKETS) fail::internal("no-memory");
    return uint32_t(c);
}

// A byte series of n words, all bytes fill, its tail at the end.
static Node new_words(uint32_t n, uint8_t fill) {
    Node s = series::new_filled(n * 4, fill);
    SeriesBuffer* b = node::buffer(s);
    b->tail = b->head + n * 4;
    return s;
}

static uint32_t flag_words(uint32_t buckets) { return (buckets + 15) / 16; }

// Fresh bucket arrays, every bucket empty.
static void new_buckets(Node t, uint32_t buckets, uint32_t bound) {
    Node flags = new_words(flag_words(buckets), 0xAA);
    Node entries = new_words(buckets, 0);
    Record* r = record(t);
    r->flags = flags;
    r->entries = entries;
    r->buckets = buckets;
    r->bound = bound;
    r->count = r->occupied = 0;
}

static uint32_t current_stamp() { return memory::record.cycle + 1; }

// ---- probing ---------------------------------------------------------------------

static void probe_start(Node t, uint32_t hash, Probe* p) {
    p->bucket = hash & (record(t)->buckets - 1);
    p->step = 0;
    p->free = -1;
}

// One step of a walk over arrays fetched afresh, so the key comparisons between
// steps may allocate.
static bool probe_next(Node t, Probe* p, int32_t* entry) {
    Walk w = walk_start(t, 0);
    w.probe = *p;
    bool found = walk_next(&w, entry);
    *p = w.probe;
    return found;
}

void take_bucket(Node t, const Probe& p, int32_t entry) {
    Record* r = record(t);
    uint32_t* flags = words_of(r->flags);
    uint32_t b = uint32_t(p.free);
    if (flag_of(flags, b) == BUCKET_EMPTY) r->occupied++;
    r->count++;
    set_flag(flags, b, BUCKET_OCCUPIED);
    words_of(r->entries)[b] = uint32_t(entry);
}

// Marks the bucket deleted; occupied keeps counting it until the next rebuild.
static void drop_bucket(Node t, uint32_t bucket) {
    Record* r = record(t);
    set_flag(words_of(r->flags), bucket, BUCKET_DELETED);
    r->count--;
}

// Walks the probe sequence to its end and takes the free bucket: for keys known
// to be absent (rebuilds).
static uint32_t insert_fresh(Node t, uint32_t hash, int32_t entry) {
    Walk w = walk_start(t, hash);
    int32_t e;
    while (walk_next(&w, &e)) {}
    take_bucket(t, w.probe, entry);
    return uint32_t(w.probe.free);
}

// The bucket holding exactly this entry, or -1.
static int32_t bucket_of_entry(Node t, uint32_t hash, int32_t entry) {
    Walk w = walk_start(t, hash);
    int32_t e;
    while (walk_next(&w, &e)) {
        if (e == entry) return int32_t(w.probe.bucket);
    }
    return -1;
}

static uint32_t key_hash(Node t, uint32_t pos) { return hash_value(keys_of(record(t)) + pos, false); }

// ---- kind 0: lists of equal positions and the position index ------------------
//
// List n (1-based) is cell n - 1 of the extra series: w1 its length, w2 the node
// of a series of 4-byte positions in ascending order; w2 = 0 marks a free cell.
// The header stays none! so that nothing takes the cells for values.

struct List {
    uint32_t* positions;
    uint32_t length;
};

static uint32_t list_length(const Cell* c) { return c->w1; }
static Node list_positions(const Cell* c) { return c->w2; }
static bool is_list_done(const Cell* c) { return c->w3 != 0; }
static void set_list_length(Cell* c, uint32_t n) { c->w1 = n; }
static void set_list_positions(Cell* c, Node n) { c->w2 = n; }
static void set_list_done(Cell* c, bool done) { c->w3 = done ? 1 : 0; }

static Cell* list_cell(const Record* r, uint32_t n) { return series::record_cells(node::buffer(r->extra)) + (n - 1); }

static List list_of(const Record* r, uint32_t n) {
    Cell* c = list_cell(r, n);
    return {words_of(list_positions(c)), list_length(c)};
}

// The positions a bucket entry stands for.
static List positions_of(const Record* r, const int32_t* entry) {
    if (*entry >= 0) return {reinterpret_cast<uint32_t*>(const_cast<int32_t*>(entry)), 1};
    return list_of(r, uint32_t(-*entry));
}

static uint32_t first_position(const Record* r, int32_t entry) {
    return entry >= 0 ? uint32_t(entry) : list_of(r, uint32_t(-entry)).positions[0];
}

static uint32_t index_length(const Record* r) { return series::length(node::buffer(r->index)) / 4; }

static void set_index(Node t, uint32_t pos, int32_t bucket) {
    Record* r = record(t);
    uint32_t have = index_length(r);
    if (pos >= have) {
        // The index holds one entry per position of the block, no more: its
        // room grows by doubling, its length only to the position.
        uint32_t want = pos + 1;
        SeriesBuffer* b = node::buffer(r->index);
        if (b->size - b->head < want * 4) b = series::expand(b, std::max(want, have * 2) * 4);
        std::memset(series::raw_bytes(b) + have * 4, 0xFF, (want - have) * 4);
        b->tail = b->head + want * 4;
    }
    reinterpret_cast<int32_t*>(words_of(r->index))[pos] = bucket;
}

static int32_t index_at(const Record* r, uint32_t pos) {
    return pos < index_length(r) ? reinterpret_cast<const int32_t*>(words_of(r->index))[pos] : -1;
}

// A free list cell, appending one when none is free; answers its number.
static uint32_t new_list(Node t, uint32_t a, uint32_t b) {
    Node positions = series::new_units(4, 4);
    SeriesBuffer* pb = node::buffer(positions);
    uint32_t* p = reinterpret_cast<uint32_t*>(series::raw_bytes(pb));
    p[0] = std::min(a, b);
    p[1] = std::max(a, b);
    pb->tail = pb->head + 8;
    Record* r = record(t);
    SeriesBuffer* xb = node::buffer(r->extra);
    uint32_t lists = series::length(xb);
    uint32_t n = 1;
    while (n <= lists && list_positions(list_cell(r, n))) n++;
    if (n > lists) series::append_slot(xb);
    Cell* c = list_cell(record(t), n);
    c->header = T_NONE;
    set_list_length(c, 2);
    set_list_positions(c, positions);
    set_list_done(c, false);
    return n;
}

static void list_add(Node t, uint32_t n, uint32_t pos) {
    Cell* c = list_cell(record(t), n);
    Node positions = list_positions(c);
    series::reserve(node::buffer(positions), 4);
    c = list_cell(record(t), n);
    uint32_t* p = words_of(positions);
    uint32_t i = list_length(c);
    for (; i > 0 && p[i - 1] > pos; i--) p[i] = p[i - 1];
    p[i] = pos;
    set_list_length(c, list_length(c) + 1);
}

// Takes pos out of its list; one position left turns the bucket back into a
// plain position and frees the list cell.
static void list_remove(Node t, uint32_t bucket, uint32_t n, uint32_t pos) {
    Record* r = record(t);
    Cell* c = list_cell(r, n);
    SeriesBuffer* pb = node::buffer(list_positions(c));
    uint32_t* p = words_of(list_positions(c));
    uint32_t length = list_length(c);
    uint32_t i = uint32_t(std::lower_bound(p, p + length, pos) - p);
    if (i == length || p[i] != pos) return;
    std::memmove(p + i, p + i + 1, (length - i - 1) * 4);
    set_list_length(c, length - 1);
    pb->tail -= 4;
    if (length - 1 == 1) {
        words_of(r->entries)[bucket] = p[0];
        set_list_length(c, 0);
        set_list_positions(c, 0);
    }
}

static void stamp_if_identity(Node t, const Cell* v) {
    Record* r = record(t);
    if (!r->stamp && row_of(v).by_identity) r->stamp = current_stamp();
}

// Indexes a position of a hash! block: a value equal to one already indexed (same
// type, equal under the plain compare) joins that bucket's list.
static void insert_hash_position(Node t, uint32_t pos) {
    const Cell* v = keys_of(record(t)) + pos;
    Probe p;
    int32_t e;
    probe_start(t, hash_value(v, false), &p);
    while (probe_next(t, &p, &e)) {
        Record* r = record(t);
        const Cell* held = keys_of(r) + first_position(r, e);
        if (cell::type(held) != cell::type(v) || !equal(held, v, OP_EQUAL)) continue;
        if (e >= 0) {
            uint32_t n = new_list(t, uint32_t(e), pos);
            words_of(record(t)->entries)[p.bucket] = uint32_t(-int32_t(n));
        } else {
            list_add(t, uint32_t(-e), pos);
        }
        set_index(t, pos, int32_t(p.bucket));
        return;
    }
    take_bucket(t, p, int32_t(pos));
    set_index(t, pos, p.free);
    stamp_if_identity(t, keys_of(record(t)) + pos);
}

// ---- rebuilding --------------------------------------------------------------------

// A hash! index made again for the whole current block.
static void rebuild_hash(Node t, uint32_t buckets, uint32_t bound) {
    new_buckets(t, buckets, bound);
    uint32_t n = key_count(record(t));
    Node index = new_words(n, 0xFF);
    Node extra = series::new_cells(4);
    Record* r = record(t);
    r->index = index;
    r->extra = extra;
    r->stamp = 0;
    for (uint32_t pos = 0; pos < n; pos++) insert_hash_position(t, pos);
}

// Kinds 1 and 2: the live positions rehashed into fresh buckets, in the order of
// their old buckets.
static void rebuild_positions(Node t, uint32_t buckets, uint32_t bound) {
    Record* r = record(t);
    Node old_flags = r->flags, old_entries = r->entries;
    uint32_t old_buckets = r->buckets;
    new_buckets(t, buckets, bound);
    for (uint32_t b = 0; b < old_buckets; b++) {
        if (flag_of(words_of(old_flags), b) != BUCKET_OCCUPIED) continue;
        uint32_t pos = words_of(old_entries)[b];
        insert_fresh(t, key_hash(t, pos), int32_t(pos));
    }
}

// Record tables: every live entry copied into a new entry series and rehashed.
static void rebuild_records(Node t, uint32_t buckets, uint32_t bound) {
    new_buckets(t, buckets, bound);
    Record* r = record(t);
    Node old_keys = r->keys;
    uint32_t size = r->index;
    uint32_t used = node::buffer(old_keys)->tail - node::buffer(old_keys)->head;
    Node keys = series::new_bytes(std::max(used, size));
    record(t)->keys = keys;
    for (uint32_t at = 0; at < used; at += size) {
        const Cell* entry = reinterpret_cast<const Cell*>(series::head_ptr(node::buffer(old_keys)) + at);
        if (entry->header != ENTRY_LIVE) continue;
        SeriesBuffer* kb = node::buffer(keys);
        uint32_t offset = kb->tail - kb->head;
        std::memcpy(series::reserve(kb, size), entry, size);
        insert_fresh(t, hash_int(entry_key(entry)), int32_t(offset));
    }
    record(t)->stamp = current_stamp();
}

static void rebuild(Node t, uint32_t buckets, uint32_t bound) {
    switch (record(t)->kind) {
    case KIND_HASH: rebuild_hash(t, buckets, bound); break;
    case KIND_MAP:
    case KIND_WORDS: rebuild_positions(t, buckets, bound); break;
    default: rebuild_records(t, buckets, bound); break;
    }
}

// The next size: one more bucket than now asked for, or one fewer when fewer
// than half of them are live, then shaped by the kind.
static void grow(Node t) {
    Record* r = record(t);
    uint32_t b = r->buckets;
    bool sparse = uint64_t(r->count) * 2 < b && r->kind != KIND_MAP;
    double request = sparse ? b - 1.0 : b + 1.0;
    uint32_t c;
    uint32_t bound;
    if (r->kind == KIND_HASH) {
        c = power_of_two_from(request * 1.5);
        bound = uint32_t(c * LOAD);
    } else {
        c = power_of_two_from(r->kind == KIND_WORDS ? request * 16 : request);
        bound = uint32_t(c * LOAD + 0.5);
    }
    rebuild(t, c, bound);
}

static bool is_stale(const Record* r) { return r->stamp && r->stamp != current_stamp(); }

// Answers true when it rebuilt the table.
static bool refresh(Node t) {
    Record* r = record(t);
    if (!is_stale(r)) return false;
    rebuild(t, r->buckets, r->bound);
    return true;
}

static bool room_for_one(Node t) {
    bool rebuilt = refresh(t);
    if (record(t)->occupied < record(t)->bound) return rebuilt;
    grow(t);
    return true;
}

bool make_room(Node t) { return room_for_one(t); }

// ---- making and inserting -------------------------------------------------------

Node make(uint32_t n, const Cell* block, uint32_t kind, uint32_t values_per_entry) {
    if (kind == KIND_WORDS && n >= BIG_WORDS_REQUEST) n *= 2;
    n = std::max(n, 4u);
    uint32_t buckets = power_of_two_from(n / LOAD);
    Node t = series::new_bytes(sizeof(Record));
    SeriesBuffer* tb = node::buffer(t);
    std::memset(series::raw_bytes(tb), 0, sizeof(Record));
    tb->tail = tb->head + sizeof(Record);
    record(t)->kind = kind;
    new_buckets(t, buckets, uint32_t(buckets * LOAD));
    if (is_record_kind(kind)) {
        uint32_t size = 16 + 16 * values_per_entry;
        Node keys = series::new_bytes(size * n);
        Record* r = record(t);
        r->index = size;
        r->keys = keys;
        r->stamp = current_stamp();
        return t;
    }
    if (kind == KIND_HASH) {
        Node index = new_words(block ? series::length(node::buffer(cell::series_node(block))) : 0, 0xFF);
        Node extra = series::new_cells(4);
        record(t)->index = index;
        record(t)->extra = extra;
    }
    if (block) {
        record(t)->keys = cell::series_node(block);
        put_block(t, 0, kind == KIND_MAP ? 2 : 1);
    }
    return t;
}

static int32_t put_hash(Node t, uint32_t pos) {
    int32_t bucket = index_at(record(t), pos);
    if (bucket >= 0) delete_(t, keys_of(record(t)) + pos);
    if (room_for_one(t)) return int32_t(pos);  // the rebuild indexed the whole block
    insert_hash_position(t, pos);
    return int32_t(pos);
}

// A map's keys are unique under strict equality; a context's word cells under
// their exact symbol.
static bool same_key(uint32_t kind, const Cell* held, const Cell* v) {
    if (kind == KIND_MAP) return cell::type(held) == cell::type(v) && equal(held, v, OP_STRICT_EQUAL);
    if (cell::type(v) == T_SYMBOL) return same_names(held, v, true);
    return cell::word_symbol(held) == cell::word_symbol(v);
}

static int32_t put_unique(Node t, uint32_t pos) {
    room_for_one(t);
    uint32_t kind = record(t)->kind;
    Probe p;
    int32_t e;
    probe_start(t, key_hash(t, pos), &p);
    while (probe_next(t, &p, &e)) {
        const Cell* keys = keys_of(record(t));
        if (uint32_t(e) == pos || same_key(kind, keys + e, keys + pos)) return e;
    }
    take_bucket(t, p, int32_t(pos));
    return int32_t(pos);
}

static int32_t put_position(Node t, uint32_t pos) {
    return record(t)->kind == KIND_HASH ? put_hash(t, pos) : put_unique(t, pos);
}

int32_t put_value(Node t, const Cell* cell) {
    return put_position(t, uint32_t(cell - keys_of(record(t))));
}

void put_block(Node t, uint32_t start, uint32_t step) {
    for (uint32_t pos = start; pos < key_count(record(t)); pos += step) put_position(t, pos);
}

void put_absent(Node t, uint32_t pos) {
    room_for_one(t);
    insert_fresh(t, key_hash(t, pos), int32_t(pos));
}

// ---- finding -------------------------------------------------------------------------

static bool type_matches(uint32_t held, uint32_t wanted, bool any_word) {
    return held == wanted || (any_word && types::is_symbolic(held) && types::is_symbolic(wanted));
}

// The next position of the cursor's bucket that matches, moving the cursor past it.
static int32_t next_in_bucket(Node t, const Cell* v, FindOptions o, Cursor* c) {
    Record* r = record(t);
    const int32_t* entry = reinterpret_cast<const int32_t*>(words_of(r->entries)) + c->bucket;
    List list = positions_of(r, entry);
    while (c->item < list.length) {
        uint32_t pos = list.positions[c->item++];
        if (!o.case_sensitive || equal(keys_of(r) + pos, v, OP_STRICT_EQUAL)) return int32_t(pos);
    }
    return -1;
}

static int32_t scan(Node t, const Cell* v, FindOptions o, Cursor* c) {
    if (c->step > 0) {
        int32_t pos = next_in_bucket(t, v, o, c);
        if (pos >= 0) return pos;
    }
    Probe p{c->bucket, c->step, -1};
    int32_t e;
    while (probe_next(t, &p, &e)) {
        c->bucket = p.bucket;
        c->step = p.step;
        c->item = 0;
        Record* r = record(t);
        const Cell* held = keys_of(r) + first_position(r, e);
        if (!type_matches(cell::type(held), cell::type(v), o.any_word) || !equal(held, v, OP_EQUAL)) continue;
        int32_t pos = next_in_bucket(t, v, o, c);
        if (pos >= 0) return pos;
    }
    c->step = record(t)->buckets;
    c->item = UINT32_MAX;
    return -1;
}

// The walk over a map's keys until one matches; a miss leaves the walk's end
// in *probe.
template <class Match>
[[gnu::always_inline]] inline int32_t walk_keys(Node t, uint32_t hash, Match match, Probe* probe) {
    Walk w = walk_start(t, hash);
    const Cell* keys = keys_of(record(t));
    int32_t e;
    while (walk_next(&w, &e)) {
        if (match(keys + e)) return e;
    }
    *probe = w.probe;
    return -1;
}

// One walk for each kind of key, out of line so that each is a leaf with
// the registers it needs (the string walk calls out, the others do not).
[[gnu::noinline]] static int32_t find_number_key(Node t, const Cell* v, Probe* probe) {
    uint32_t type = cell::type(v);
    int32_t n = cell::get_int(v);
    return walk_keys(t, hash::mix(uint32_t(n)), [=](const Cell* held) {
        return cell::type(held) == type && cell::get_int(held) == n;
    }, probe);
}

[[gnu::noinline]] static int32_t find_word_key(Node t, const Cell* v, bool case_sensitive, Probe* probe) {
    uint32_t type = cell::type(v), sym = cell::word_symbol(v), canonical = symbol::resolve(sym);
    return walk_keys(t, hash::mix(canonical), [=](const Cell* held) {
        return cell::type(held) == type &&
               (cell::word_symbol(held) == sym ||
                (!case_sensitive && symbol::resolve(cell::word_symbol(held)) == canonical));
    }, probe);
}

[[gnu::noinline]] static int32_t find_text_key(Node t, const Cell* v, bool case_sensitive, Probe* probe) {
    return walk_keys(t, hash_string(v, false), [=](const Cell* held) {
        if (cell::type(held) != T_STRING) return false;
        if (cell::series_index(held) >= 0) return same_text(held, v, case_sensitive);
        return equal(held, v, OP_EQUAL) && (!case_sensitive || equal(held, v, OP_STRICT_EQUAL));
    }, probe);
}

[[gnu::noinline]] static int32_t find_map_key_refreshed(Node t, const Cell* v, bool case_sensitive, Probe* probe) {
    refresh(t);
    return find_map_key(t, v, case_sensitive, probe);
}

// A map's lookup of an integer, char, word or string key, compared in place
// over one walk: such keys match under the table's equality exactly when
// these tests say so (a map's buckets hold single positions, and a string
// matches under strict equality when its characters do), and comparing them
// allocates nothing. Answers -2 for the keys it does not take. Every call
// here is a tail call (a stale table is rebuilt out of line), so the common
// lookup saves no registers on its way to its walk.
int32_t find_map_key(Node t, const Cell* v, bool case_sensitive, Probe* probe) {
    if (is_stale(record(t))) return find_map_key_refreshed(t, v, case_sensitive, probe);
    switch (cell::type(v)) {
    case T_INTEGER:
    case T_CHAR: return find_number_key(t, v, probe);
    case T_WORD:
    case T_SET_WORD:
    case T_GET_WORD:
    case T_LIT_WORD: return find_word_key(t, v, case_sensitive, probe);
    case T_STRING: return cell::series_index(v) < 0 ? -2 : find_text_key(t, v, case_sensitive, probe);
    default: return -2;
    }
}

void put_missed(Node t, const Probe& probe, uint32_t pos) {
    if (room_for_one(t)) insert_fresh(t, key_hash(t, pos), int32_t(pos));
    else take_bucket(t, probe, int32_t(pos));
}

int32_t find(Node t, const Cell* value, FindOptions options, Cursor* cursor) {
    if (!cursor && record(t)->kind == KIND_MAP && !options.any_word) {
        Probe probe;
        int32_t pos = find_map_key(t, value, options.case_sensitive, &probe);
        if (pos != -2) return pos;
    }
    Cursor local;
    Cursor* c = cursor ? cursor : &local;
    refresh(t);
    Probe p;
    probe_start(t, hash_value(value, false), &p);
    *c = {p.bucket, 0, 0};
    return scan(t, value, options, c);
}

int32_t find_next(Node t, const Cell* value, FindOptions options, Cursor* cursor) {
    return scan(t, value, options, cursor);
}

int32_t find_word(Node t, uint32_t sym, bool any_case) {
    uint32_t canonical = symbol::resolve(sym);
    Walk w = walk_start(t, hash_int(canonical));
    const Cell* keys = keys_of(record(t));
    int32_t e;
    while (walk_next(&w, &e)) {
        uint32_t held = cell::word_symbol(&keys[e]);
        if (held == sym || (any_case && symbol::resolve(held) == canonical)) return e;
    }
    return -1;
}

// ---- deleting and shifting -----------------------------------------------------------

static void delete_hash_position(Node t, uint32_t pos) {
    Record* r = record(t);
    int32_t bucket = index_at(r, pos);
    if (bucket < 0) return;
    int32_t e = int32_t(words_of(r->entries)[bucket]);
    if (e >= 0) drop_bucket(t, uint32_t(bucket));
    else list_remove(t, uint32_t(bucket), uint32_t(-e), pos);
    set_index(t, pos, -1);
}

static void delete_record(Node t, const Cell* value) {
    Record* r = record(t);
    Cell* entry = const_cast<Cell*>(value) - 1;
    int32_t offset = int32_t(reinterpret_cast<uint8_t*>(entry) - series::head_ptr(node::buffer(r->keys)));
    int32_t bucket = bucket_of_entry(t, hash_int(entry_key(entry)), offset);
    if (bucket < 0) return;
    drop_bucket(t, uint32_t(bucket));
    entry->header = ENTRY_DELETED;
}

static void delete_position(Node t, uint32_t pos) {
    if (record(t)->kind == KIND_HASH) {
        delete_hash_position(t, pos);
        return;
    }
    int32_t bucket = bucket_of_entry(t, key_hash(t, pos), int32_t(pos));
    if (bucket >= 0) drop_bucket(t, uint32_t(bucket));
}

void delete_(Node t, const Cell* cell) {
    Record* r = record(t);
    if (is_record_kind(r->kind)) delete_record(t, cell);
    else delete_position(t, uint32_t(cell - keys_of(r)));
}

static uint32_t shifted(uint32_t pos, uint32_t from, int32_t delta) {
    return pos >= from ? uint32_t(int32_t(pos) + delta) : pos;
}

// The position index follows the block: entries open up or close at from.
static void shift_index(Node t, uint32_t from, int32_t delta) {
    uint32_t length = index_length(record(t));
    if (from >= length) return;
    if (delta > 0) {
        set_index(t, length + uint32_t(delta) - 1, -1);
        int32_t* idx = reinterpret_cast<int32_t*>(words_of(record(t)->index));
        std::memmove(idx + from + delta, idx + from, (length - from) * 4);
        std::fill(idx + from, idx + from + delta, -1);
        return;
    }
    SeriesBuffer* b = node::buffer(record(t)->index);
    int32_t* idx = reinterpret_cast<int32_t*>(series::raw_bytes(b));
    std::memmove(idx + from + delta, idx + from, (length - from) * 4);
    b->tail -= uint32_t(-delta) * 4;
}

// A hash! index names the bucket of every position, so only the positions
// from `from` on are visited: an edit at or near the tail costs little. Each
// of them moves by delta. A list of equal positions (kept in ascending order)
// is met first at its lowest position from `from` on and has the positions
// from there up moved at once; w3 of its cell marks it done until the second
// pass clears the marks.
static void shift_hash_positions(Node t, uint32_t from, int32_t delta) {
    Record* r = record(t);
    uint32_t length = index_length(r);
    if (from >= length) return;
    const int32_t* idx = reinterpret_cast<const int32_t*>(words_of(r->index));
    uint32_t* entries = words_of(r->entries);
    Cell* lists = series::record_cells(node::buffer(r->extra));
    bool marked = false;
    for (uint32_t pos = from; pos < length; pos++) {
        if (idx[pos] < 0) continue;
        uint32_t& entry = entries[idx[pos]];
        if (int32_t(entry) >= 0) {
            entry = uint32_t(int32_t(entry) + delta);
            continue;
        }
        Cell* c = lists + (uint32_t(-int32_t(entry)) - 1);
        if (is_list_done(c)) continue;
        set_list_done(c, true);
        marked = true;
        uint32_t* p = words_of(list_positions(c));
        uint32_t* end = p + list_length(c);
        for (uint32_t* q = std::lower_bound(p, end, pos); q < end; q++) *q = uint32_t(int32_t(*q) + delta);
    }
    for (uint32_t pos = from; marked && pos < length; pos++) {
        if (idx[pos] < 0) continue;
        int32_t e = int32_t(entries[idx[pos]]);
        if (e < 0) set_list_done(&lists[uint32_t(-e) - 1], false);
    }
    shift_index(t, from, delta);
}

void shift_positions(Node t, uint32_t from, int32_t delta) {
    Record* r = record(t);
    if (r->kind == KIND_HASH) {
        shift_hash_positions(t, from, delta);
        return;
    }
    uint32_t* flags = words_of(r->flags);
    uint32_t* entries = words_of(r->entries);
    for (uint32_t b = 0; b < r->buckets; b++) {
        if (flag_of(flags, b) != BUCKET_OCCUPIED) continue;
        entries[b] = shifted(entries[b], from, delta);
    }
}

void remove_range(Node t, uint32_t first, uint32_t n) {
    if (n == 0) return;
    for (uint32_t pos = first; pos < first + n; pos++) delete_position(t, pos);
    shift_positions(t, first + n, -int32_t(n));
}

// ---- record tables ---------------------------------------------------------------------

static Cell* lookup(Node t, uint32_t key, Probe* p) {
    Walk w = walk_start(t, hash_int(key));
    uint8_t* entries = series::raw_bytes(node::buffer(record(t)->keys));
    int32_t e;
    Cell* found = nullptr;
    while (!found && walk_next(&w, &e)) {
        Cell* entry = reinterpret_cast<Cell*>(entries + e);
        if (entry_key(entry) == key) found = entry + 1;
    }
    *p = w.probe;
    return found;
}

Cell* get(Node t, uint32_t key) {
    refresh(t);
    Probe p;
    return lookup(t, key, &p);
}

Cell* put(Node t, uint32_t key) {
    refresh(t);
    Probe p;
    if (Cell* found = lookup(t, key, &p)) return found;
    if (room_for_one(t)) lookup(t, key, &p);
    Record* r = record(t);
    uint32_t size = r->index;
    SeriesBuffer* kb = node::buffer(r->keys);
    uint32_t offset = kb->tail - kb->head;
    Cell* entry = reinterpret_cast<Cell*>(series::reserve(kb, size));
    *entry = Cell{ENTRY_LIVE, key, 0, 0};
    for (uint32_t i = 1; i < size / 16; i++) cell::make_unset(entry + i);
    take_bucket(t, p, int32_t(offset));
    return entry + 1;
}

// ---- whole tables ------------------------------------------------------------------------

static Node copy_series(Node n) { return n ? series::copy_buffer(node::buffer(n)) : 0; }

Node copy(Node t) {
    Node c = copy_series(t);
    Node flags = copy_series(record(t)->flags);
    Node entries = copy_series(record(t)->entries);
    record(c)->flags = flags;
    record(c)->entries = entries;
    uint32_t kind = record(t)->kind;
    if (is_record_kind(kind)) {
        Node keys = copy_series(record(t)->keys);
        record(c)->keys = keys;
    } else if (kind == KIND_HASH) {
        Node index = copy_series(record(t)->index);
        Node extra = copy_series(record(t)->extra);
        record(c)->index = index;
        record(c)->extra = extra;
        uint32_t lists = series::length(node::buffer(extra));
        for (uint32_t n = 1; n <= lists; n++) {
            Node positions = copy_series(list_positions(list_cell(record(c), n)));
            set_list_positions(list_cell(record(c), n), positions);
        }
    }
    return c;
}

void clear(Node t) {
    Record* r = record(t);
    SeriesBuffer* fb = node::buffer(r->flags);
    std::memset(series::raw_bytes(fb), 0xAA, fb->tail - fb->head);
    r->count = r->occupied = 0;
    if (r->kind == KIND_HASH) {
        SeriesBuffer* ib = node::buffer(r->index);
        std::memset(series::raw_bytes(ib), 0xFF, ib->tail - ib->head);
        SeriesBuffer* xb = node::buffer(r->extra);
        xb->tail = xb->head;
    } else if (is_record_kind(r->kind)) {
        SeriesBuffer* kb = node::buffer(r->keys);
        kb->tail = kb->head;
    }
}

static void mark_records(Record* r, const Marker& m) {
    m.keep(&r->keys);
    uint32_t size = r->index;
    uint32_t first = r->kind == KIND_OWNERSHIP ? 2 : 1;  // the owned value is held weakly
    SeriesBuffer* kb = node::buffer(r->keys);
    for (uint32_t at = 0; at < kb->tail - kb->head; at += size) {
        Cell* entry = reinterpret_cast<Cell*>(series::raw_bytes(kb) + at);
        if (entry->header == ENTRY_LIVE) m.mark_cells(entry + first, entry + size / 16);
    }
}

void mark(Node* t, const Marker& m) {
    if (!m.keep(t)) return;
    Record* r = record(*t);
    m.keep(&r->flags);
    m.keep(&r->entries);
    if (is_record_kind(r->kind)) {
        mark_records(r, m);
        return;
    }
    if (r->kind == KIND_HASH) {
        m.keep(&r->index);
        m.keep(&r->extra);
        Cell* lists = series::record_cells(node::buffer(r->extra));
        uint32_t n = series::length(node::buffer(r->extra));
        for (uint32_t i = 0; i < n; i++) {
            if (lists[i].w2) m.keep(&lists[i].w2);
        }
    }
    if (r->keys && m.keep(&r->keys)) {
        SeriesBuffer* kb = node::buffer(r->keys);
        m.mark_cells(series::record_cells(kb), series::record_cells(kb) + series::length(kb));
    }
}

static bool is_marked(Node n) {
    if (!node::frame_of(n)) return false;
    SeriesBuffer* b = node::buffer(n);
    return b && (b->flags & SER_MARK);
}

void purge_unmarked(Node t) {
    Record* r = record(t);
    uint32_t size = r->index;
    SeriesBuffer* kb = node::buffer(r->keys);
    for (uint32_t at = 0; at < kb->tail - kb->head; at += size) {
        Cell* entry = reinterpret_cast<Cell*>(series::raw_bytes(kb) + at);
        if (entry->header == ENTRY_LIVE && !is_marked(entry_key(entry))) delete_record(t, entry + 1);
    }
}

}  // namespace hashtable

// ---- intmap ---------------------------------------------------------------------------------

namespace intmap {

using hashtable::flag_of;
using hashtable::power_of_two_from;

static void set_buckets(Map* m, uint32_t buckets, uint32_t bound) {
    uint32_t words = (buckets + 15) / 16;
    m->flags = static_cast<uint32_t*>(heap::alloc(words * 4));
    std::memset(m->flags, 0xAA, words * 4);
    m->pairs = static_cast<uint32_t*>(heap::alloc(size_t(buckets) * 8));
    m->buckets = buckets;
    m->bound = bound;
    m->count = m->occupied = 0;
}

// The bucket holding the key, or the empty one where it would go.
static uint32_t slot_of(const Map* m, uint32_t key, bool* found) {
    uint32_t mask = m->buckets - 1;
    uint32_t b = hashtable::hash_int(key) & mask;
    for (uint32_t step = 1;; step++) {
        if (flag_of(m->flags, b) == hashtable::BUCKET_EMPTY) {
            *found = false;
            return b;
        }
        if (m->pairs[2 * b] == key) {
            *found = true;
            return b;
        }
        b = (b + step) & mask;
    }
}

static void store(Map* m, uint32_t b, uint32_t key, uint32_t value) {
    m->flags[b >> 4] &= ~(3u << ((b & 15) * 2));
    m->pairs[2 * b] = key;
    m->pairs[2 * b + 1] = value;
    m->count++;
    m->occupied++;
}

Map* make(uint32_t n) {
    Map* m = static_cast<Map*>(heap::alloc(sizeof(Map)));
    uint32_t buckets = power_of_two_from(std::max(n, 4u) / hashtable::LOAD);
    set_buckets(m, buckets, uint32_t(buckets * hashtable::LOAD));
    return m;
}

static void grow(Map* m) {
    uint32_t* flags = m->flags;
    uint32_t* pairs = m->pairs;
    uint32_t old = m->buckets;
    double request = uint64_t(m->count) * 2 < old ? old - 1.0 : old + 1.0;
    uint32_t c = power_of_two_from(request);
    set_buckets(m, c, uint32_t(c * hashtable::LOAD + 0.5));
    for (uint32_t b = 0; b < old; b++) {
        if (flag_of(flags, b) != hashtable::BUCKET_OCCUPIED) continue;
        bool found;
        store(m, slot_of(m, pairs[2 * b], &found), pairs[2 * b], pairs[2 * b + 1]);
    }
    heap::free(flags);
    heap::free(pairs);
}

void put(Map* m, uint32_t key, uint32_t value) {
    bool found;
    uint32_t b = slot_of(m, key, &found);
    if (found) {
        m->pairs[2 * b + 1] = value;
        return;
    }
    if (m->occupied >= m->bound) {
        grow(m);
        b = slot_of(m, key, &found);
    }
    store(m, b, key, value);
}

bool get(const Map* m, uint32_t key, uint32_t* value) {
    bool found;
    uint32_t b = slot_of(m, key, &found);
    if (found) *value = m->pairs[2 * b + 1];
    return found;
}

void destroy(Map* m) {
    heap::free(m->flags);
    heap::free(m->pairs);
    heap::free(m);
}

}  // namespace intmap
}  // namespace zel
