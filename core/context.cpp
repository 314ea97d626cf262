// Contexts: creation, lookup and growth, reading and assigning words, and
// binding blocks.
#include "core/context.h"

#include <algorithm>
#include <vector>

#include "core/block.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/boot.h"
#include "kernel/collector.h"

namespace zel {
namespace context {

Node global_node = 0;
GlobalValues global_values = {0, 0};
static ChangeNotifier change_notifier = nullptr;

void set_change_notifier(ChangeNotifier notifier) { change_notifier = notifier; }

namespace {
void forget_bind_index();
}

void init() {
    datatype::register_({.id = T_CONTEXT, .parent = 0, .name = "context!"});
    static bool registered = false;
    if (!registered) collector::register_(forget_bind_index);
    registered = true;
}

// ---- the global index ---------------------------------------------------------
//
// The slot of each name of the global context by its canonical symbol id (the
// slot + 1; 0 for none), so that a global lookup without regard to case, made
// for every word the lexer reads, is one load instead of a probe walk. Every
// spelling of a global name shares one slot, so the canonical id is key
// enough. The index records the context, the symbol block and the number of
// words it covers; when one of them differs (a fresh global context or
// symbol table, words added past it) it is built again from the words.

struct GlobalIndex {
    std::vector<uint32_t> slots;
    Node context, symbols;
    uint32_t words;
};
static GlobalIndex global_index;

static bool index_covers(Node g) {
    return global_index.context == g && global_index.symbols == symbol::block_node &&
           global_index.words == word_count(cell_of(g));
}

static void index_note(uint32_t canonical, uint32_t slot) {
    std::vector<uint32_t>& s = global_index.slots;
    if (canonical >= s.size()) s.resize(size_t(canonical) * 2, 0);
    if (!s[canonical]) s[canonical] = slot + 1;
}

// Out of line: it runs once per fresh global context, and inlined it would
// cost every lookup the registers its loop needs.
[[gnu::noinline]] static void index_build(Node g) {
    global_index.slots.assign(global_index.slots.size(), 0);
    uint32_t n = word_count(cell_of(g));
    for (uint32_t i = 0; i < n; i++) {
        const Cell* w = word_at(cell_of(g), int32_t(i));
        index_note(symbol::resolve(cell::word_symbol(w)), cell::word_index(w));
    }
    global_index.context = g;
    global_index.symbols = symbol::block_node;
    global_index.words = n;
}

static int32_t global_slot(uint32_t symbol) {
    if (!index_covers(global_node)) index_build(global_node);
    uint32_t canonical = symbol::resolve(symbol);
    const std::vector<uint32_t>& s = global_index.slots;
    return canonical < s.size() ? int32_t(s[canonical]) - 1 : -1;
}

// A word just added at pos keeps the index whole when it covered the words
// before it; a word added under another spelling finds its name noted already.
static void index_added(Node g, uint32_t symbol, int32_t pos) {
    if (global_index.context != g || global_index.symbols != symbol::block_node ||
        global_index.words != uint32_t(pos))
        return;
    index_note(symbol::resolve(symbol), uint32_t(pos));
    global_index.words++;
}

// Its values block starts empty, with room for GLOBAL_WORDS values: every word
// added appends its value, so the values keep pace with the words.
void make_global() {
    global_node = create(GLOBAL_WORDS, false, false, 0, KIND_GLOBAL);
    Node values = cell::context_values(cell_of(global_node));
    SeriesBuffer* b = node::buffer(values);
    b->tail = b->head;
    global_values = {global_node, values};
    global_index.context = 0;
}

void mark_global() {
    collector::mark_context_node(&global_node);
    collector::mark_context_node(&global_values.context);
    collector::mark_series(&global_values.values);
}

// ---- making ----------------------------------------------------------------

static Node unset_values(uint32_t n) {
    Node values = series::new_cells_unset(n);
    SeriesBuffer* b = node::buffer(values);
    b->tail = b->head + n * uint32_t(sizeof(Cell));
    return values;
}

// A copy of the word table of from whose word cells are bound to ctx.
static Node copy_table(Node from, Node ctx) {
    Node table = hashtable::copy(table_of(cell_of(from)));
    Node words = series::copy_buffer(symbols(cell_of(from)));
    hashtable::record(table)->keys = words;
    SeriesBuffer* b = node::buffer(words);
    for (Cell *c = series::record_cells(b), *end = c + series::length(b); c < end; c++) cell::set_word_context(c, ctx);
    return table;
}

static Node new_table(uint32_t n) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(n));
    return hashtable::make(n, &block, hashtable::KIND_WORDS, 0);
}

Node create(uint32_t n, bool on_stack, bool self, Node copy_from, uint32_t kind) {
    if (n < 1) n = 1;
    Node ctx = series::new_cells(2);
    SeriesBuffer* b = node::buffer(ctx);
    b->tail = b->head + 2 * uint32_t(sizeof(Cell));
    Cell* c = series::record_cells(b);
    c->header = T_CONTEXT | (kind << HDR_CTX_KIND_SHIFT) | (on_stack ? uint32_t(HDR_ON_STACK) : 0u) |
                (self ? uint32_t(HDR_SELF) : 0u);
    cell::set_context_table(c, 0);
    cell::set_context_values(c, 0);
    cell::set_context_stack_count(c, 0);
    cell::make_unset(c + 1);
    Node table = copy_from ? copy_table(copy_from, ctx) : new_table(n);
    Node values = on_stack ? 0 : unset_values(n);
    c = cell_of(ctx);
    cell::set_context_table(c, table);
    cell::set_context_values(c, values);
    cell::set_context_stack_count(c, on_stack ? n : 0);
    return ctx;
}

static bool is_spec_word(uint32_t type) {
    return type == T_WORD || type == T_GET_WORD || type == T_LIT_WORD || type == T_REFINEMENT;
}

Node make(const Cell* spec, bool on_stack, bool self, uint32_t kind) {
    Node sn = cell::series_node(spec);
    uint32_t from = uint32_t(cell::series_index(spec)), n = 0;
    for (uint32_t i = from; i < series::length(node::buffer(sn)); i++) {
        n += is_spec_word(cell::type(series::cells(node::buffer(sn)) + i));
    }
    Node ctx = create(n, on_stack, self, 0, kind);
    for (uint32_t i = from; i < series::length(node::buffer(sn)); i++) {
        const Cell* c = series::cells(node::buffer(sn)) + i;
        int32_t added;
        if (is_spec_word(cell::type(c))) lookup_word_in(ctx, cell::word_symbol(c), false, &added);
    }
    Cell* cc = cell_of(ctx);
    uint32_t words = word_count(cc);
    if (on_stack) {
        cell::set_context_stack_count(cc, words);
    } else {
        SeriesBuffer* vb = node::buffer(cell::context_values(cc));
        vb->tail = vb->head + words * uint32_t(sizeof(Cell));
    }
    return ctx;
}

Node clone(Cell* object, uint32_t kind) {
    Node from = cell::object_context(object);
    const Cell* fc = cell_of(from);
    bool on_stack = is_on_stack(fc);
    bool self = (fc->header & HDR_SELF) != 0;
    uint32_t words = word_count(fc);
    Node ctx = create(words, on_stack, self, from, kind);
    if (on_stack) cell::set_context_stack_count(cell_of(ctx), cell::context_stack_count(cell_of(from)));
    cell::set_object_context(object, ctx);
    return ctx;
}

// ---- lookup and growth ------------------------------------------------------

static int32_t position_of(Node ctx, uint32_t symbol, bool any_case) {
    return hashtable::find_word(table_of(cell_of(ctx)), symbol, any_case);
}

int32_t lookup_word(Node ctx, uint32_t symbol, bool any_case) {
    if (any_case && ctx == global_node) return global_slot(symbol);
    int32_t pos = position_of(ctx, symbol, any_case);
    return pos < 0 ? -1 : int32_t(cell::word_index(word_at(cell_of(ctx), pos)));
}

// Appends a word cell for the symbol, bound to ctx at its own position; the
// callers have found no word of that exact spelling.
static int32_t add_symbol(Node ctx, uint32_t symbol) {
    const Cell* cc = cell_of(ctx);
    SeriesBuffer* b = symbols(cc);
    int32_t pos = int32_t(series::length(b));
    Cell* w = series::append_slot(b);
    w->header = T_WORD;
    cell::set_word_context(w, ctx);
    cell::set_word_symbol(w, symbol);
    cell::set_word_index(w, uint32_t(pos));
    hashtable::put_absent(table_of(cell_of(ctx)), uint32_t(pos));
    if (ctx == global_node) index_added(ctx, symbol, pos);
    return pos;
}

int32_t lookup_word_in(Node ctx, uint32_t symbol, bool any_case, int32_t* added) {
    int32_t index = lookup_word(ctx, symbol, any_case);
    if (index < 0) *added = add_symbol(ctx, symbol);
    return index;
}

static void append_unset_value(Node ctx) {
    cell::make_unset(series::append_slot(node::buffer(cell::context_values(cell_of(ctx)))));
}

int32_t find_or_add(Node ctx, const Cell* word) {
    int32_t added;
    int32_t index = lookup_word_in(ctx, cell::word_symbol(word), true, &added);
    if (index >= 0) return index;
    if (!is_on_stack(cell_of(ctx))) append_unset_value(ctx);
    return added;
}

void put(Node ctx, const Cell* word, const Cell* value) {
    Cell copy = *value;
    if (Cell* s = slot(ctx, find_or_add(ctx, word))) *s = copy;
}

bool collect_set_words(Node ctx, const Cell* block) {
    uint32_t before = word_count(cell_of(ctx));
    Node n = cell::series_node(block);
    for (uint32_t i = uint32_t(cell::series_index(block)); i < series::length(node::buffer(n)); i++) {
        Cell w = series::cells(node::buffer(n))[i];
        if (cell::type(&w) == T_SET_WORD) find_or_add(ctx, &w);
    }
    return word_count(cell_of(ctx)) > before;
}

// ---- the global context -----------------------------------------------------

// With any_case and spelling, a later spelling of a name present in the
// context answers the present word under the caller's spelling (a copy kept
// in the root block). Otherwise a spelling without a word cell of its own
// gets one that shares the slot of any other spelling already there, first
// or later, so that one name never has two values; the shared slot is looked
// up before the new cell exists, so the new cell never answers for itself.
Cell add_word(uint32_t symbol, bool any_case, bool spelling) {
    Node g = global_node;
    int32_t pos = position_of(g, symbol, any_case);
    if (pos >= 0) {
        Cell w = *word_at(cell_of(g), pos);
        if (!(any_case && spelling && cell::word_symbol(&w) != symbol)) return w;
        cell::set_word_symbol(&w, symbol);
        return *roots::at(roots::keep(&w));
    }
    int32_t shared = lookup_word(g, symbol, true);
    int32_t added = add_symbol(g, symbol);
    if (shared >= 0) cell::set_word_index(word_at(cell_of(g), added), uint32_t(shared));
    append_unset_value(g);
    return *word_at(cell_of(g), added);
}

Cell add_global(uint32_t symbol) {
    Cell w = add_word(symbol, false, false);
    if (runtime::booting) roots::keep(&w);
    return w;
}

// ---- slots -------------------------------------------------------------------

Cell* slot(Node ctx, int32_t index) {
    const Cell* cc = cell_of(ctx);
    if (!has_values(cc) || index < 0) return nullptr;
    if (!is_on_stack(cc)) return value_at(ctx, index);
    // A word added to a function context after it was made has no cell in
    // the call's values; whatever lies there belongs to someone else.
    if (uint32_t(index) >= cell::context_stack_count(cc)) return nullptr;
    return stack::cell_at(cell::context_values(cc) + uint32_t(index));
}

Cell* get_word_cell(uint32_t symbol, Node ctx) {
    if (is_on_stack(cell_of(ctx))) ctx = global_node;
    return slot(ctx, lookup_word(ctx, symbol, true));
}

// ---- reading and assigning -------------------------------------------------------

static bool is_self(const Cell* word) { return symbol::resolve(cell::word_symbol(word)) == words::symbol(words::S_self); }

Cell* get_word_value(const Cell* word, Node ctx) {
    if (!ctx) error::raise(Err::script_not_defined, word);
    if (cell::word_index(word) < 0) {
        if (cell::word_context(word) && is_self(word)) return owner_of(cell::word_context(word));
        error::raise(Err::script_no_value, word);
    }
    Cell* s = slot(ctx, cell::word_index(word));
    if (!s) error::raise(Err::script_not_in_context, word);
    return s;
}

// Marks the field assigned and, when the owner has a change handler and the
// caller asks for it, tells the owner, with the old value kept on the value
// stack while the handler runs.
static Cell* set_field(Node ctx, Cell* word, const Cell* value, int32_t index, bool notify) {
    word_at(cell_of(ctx), index)->header |= HDR_ASSIGNED;
    Cell* s = value_at(ctx, index);
    Cell* owner = owner_of(ctx);
    if (!notify || !change_notifier || cell::object_handlers(owner) == 0) return cell::copy(value, s);
    Cell* saved_top = stack::reg.top;
    Cell* old = stack::push(s);
    *s = *value;
    Cell owner_copy = *owner;
    change_notifier(&owner_copy, word, old, s);
    stack::reg.top = saved_top;
    return value_at(ctx, index);
}

Cell* set_word_value(Cell* word, const Cell* value, Node ctx, bool notify) {
    if (!ctx) error::raise(Err::script_not_defined, word);
    int32_t index = cell::word_index(word);
    if (index < 0) {
        Cell w = *word;  // the word may lie in a block that grows here
        index = lookup_word(ctx, cell::word_symbol(&w), false);
        if (index < 0) index = find_or_add(ctx, &w);
        cell::set_word_index(word, uint32_t(index));
    }
    Cell* s = slot(ctx, index);
    if (!s) error::raise(Err::script_not_defined, word);
    if (kind_of(cell_of(ctx)) == KIND_OBJECT && !is_on_stack(cell_of(ctx))) {
        return set_field(ctx, word, value, index, notify);
    }
    return cell::copy(value, s);
}

// ---- binding -------------------------------------------------------------------

void bind_word(Node ctx, Cell* word) {
    int32_t index = lookup_word(ctx, cell::word_symbol(word), true);
    if (index < 0) return;
    cell::set_word_context(word, ctx);
    cell::set_word_index(word, uint32_t(index));
}

// A bind looks each word up by its canonical symbol in an index filled once
// from the context's words, instead of walking the context's hash table for
// every word of a deep block (binding the library's objects and functions at
// start-up takes tens of thousands of lookups). Entries carry the stamp of
// the bind that filled them, so nothing is cleared between binds. A symbol
// that two of the context's words share (spellings of one name kept apart by
// a case-sensitive spec) is left to the hash lookup, whose probe order
// decides which word it finds. Binding runs no code, so one index serves.
namespace {
constexpr int32_t SHARED_NAME = -2;
struct BindIndex {
    struct Entry {
        uint32_t stamp;
        int32_t index;  // the word's index, or SHARED_NAME
    };
    std::vector<Entry> by_canonical;
    uint32_t stamp = 0;
    Node filled = 0;        // the context filled last, while no collection ran since
    uint32_t filled_words = 0;

    void fill(Node ctx) {
        const Cell* cc = cell_of(ctx);
        if (ctx == filled && word_count(cc) == filled_words) return;  // binding many blocks to one object
        filled = ctx;
        filled_words = word_count(cc);
        if (++stamp == 0) {
            std::fill(by_canonical.begin(), by_canonical.end(), Entry{0, 0});
            stamp = 1;
        }
        const Cell* words = word_at(cc, 0);
        for (uint32_t pos = 0, count = word_count(cc); pos < count; pos++) {
            uint32_t canonical = symbol::resolve(cell::word_symbol(words + pos));
            if (canonical >= by_canonical.size()) by_canonical.resize(canonical + 1 + canonical / 2, Entry{0, 0});
            Entry& e = by_canonical[canonical];
            e.index = e.stamp == stamp ? SHARED_NAME : int32_t(cell::word_index(words + pos));
            e.stamp = stamp;
        }
    }
};
BindIndex bind_index;

// A collection may free the context filled last and give its node to another.
void forget_bind_index() { bind_index.filled = 0; }

// What a bind reads at every word, taken once: nothing of it moves or
// changes while the bind runs, as it allocates nothing and writes only words.
struct BindRun {
    Node ctx;
    uint32_t self_symbol;  // the canonical symbol of self when the run binds it, else 0
    bool global;
    const Cell* symbols;  // the symbol table's records
    const BindIndex::Entry* entries;
    size_t entry_count;
    uint32_t stamp;
    uint32_t series_flags;  // set on every block bound

    // lookup_word(ctx, symbol, true); for a context other than the global
    // one, through bind_index filled for it.
    int32_t find(uint32_t symbol, uint32_t canonical) const {
        if (global) return lookup_word(ctx, symbol, true);
        if (canonical >= entry_count || entries[canonical].stamp != stamp) return -1;
        int32_t index = entries[canonical].index;
        return index == SHARED_NAME ? lookup_word(ctx, symbol, true) : index;
    }
};

// Binds a word cell (of any type but a block's) as the run asks: a word! self
// with index -1 when the run binds self, any word its context holds to it.
inline void bind_cell(Cell* c, uint32_t t, const BindRun& run) {
    if (!types::is_any_word(t)) return;
    uint32_t symbol = cell::word_symbol(c);
    uint32_t canonical = symbol::resolve_among(run.symbols, symbol);
    int32_t index = -1;
    if (t != T_WORD || canonical != run.self_symbol) {
        index = run.find(symbol, canonical);
        if (index < 0) return;
    }
    cell::set_word_context(c, run.ctx);
    cell::set_word_index(c, uint32_t(index));
}

// Binds the words of the series and of every block in it.
void bind_series(Node series_node, const BindRun& run) {
    if (cycles::find(series_node)) return;
    cycles::push(series_node);
    SeriesBuffer* b = node::buffer(series_node);
    Cell* first = series::writable_cells(b);
    b->flags |= run.series_flags;
    for (Cell *c = first, *end = c + series::length(b); c < end; c++) {
        uint32_t t = cell::type(c);
        if (types::is_any_block(t)) bind_series(cell::series_node(c), run);
        else bind_cell(c, t, run);
    }
    cycles::pop();
}

BindRun start_bind(Node ctx, bool self, uint32_t series_flags) {
    bool global = ctx == global_node;
    if (!global) bind_index.fill(ctx);
    return BindRun{ctx, self ? words::symbol(words::S_self) : 0, global, symbol::record_at(1),
                   bind_index.by_canonical.data(), bind_index.by_canonical.size(), bind_index.stamp, series_flags};
}

// The clone's visit: the words of each buffer made, bound as bind_series
// binds them (the clone itself walks the nested blocks). A buffer just made
// carries no code marks, so there is nothing to unprepare.
struct BindVisit : block::CloneVisit {
    BindRun run;
    explicit BindVisit(const BindRun& r) : block::CloneVisit{fresh_buffer}, run(r) {}
    static void fresh_buffer(block::CloneVisit* self, Node made, Cell* cells, uint32_t count) {
        const BindRun& run = static_cast<BindVisit*>(self)->run;
        node::buffer(made)->flags |= run.series_flags;
        for (Cell *c = cells, *end = cells + count; c < end; c++) {
            uint32_t t = cell::type(c);
            if (!types::is_any_block(t)) bind_cell(c, t, run);
        }
    }
};
}  // namespace

void bind(const Cell* block, Node ctx, bool self) {
    bind_series(cell::series_node(block), start_bind(ctx, self, 0));
}

// Binding the copy as the clone makes it binds what bind would bind over the
// finished copy: the words of the buffers made, each once, and nothing that
// the clone runs depends on them. A block the clone keeps shared is bound by
// a whole bind afterwards, which only binds the copy's words again alike, so
// that the shared block is walked as bind walks it; the flags go likewise to
// every block the copy reaches.
void clone_bound(const Cell* block, Cell* out, Node ctx, uint32_t series_flags) {
    BindVisit visit(start_bind(ctx, false, series_flags));
    block::clone(block, out, true, true, &visit);
    if (visit.shared) bind_series(cell::series_node(out), start_bind(ctx, false, series_flags));
}

}  // namespace context

namespace word {

// A plain slot takes a copy here; the rest goes through set_word_value.
Cell* set_value(Cell* word, const Cell* value) {
    Cell* slot = context::bound_slot<true>(word);
    return slot ? cell::copy(value, slot) : context::set_word_value(word, value, cell::word_context(word), true);
}

}  // namespace word
}  // namespace zel
