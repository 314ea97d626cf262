// Prepared blocks: the decoded form of a block that runs as code, kept in a
// side table by the block's node, so that a block run again and again (a
// loop body, a function body, a branch) is not worked out from its cells on
// every run.
//
// A form is made the second time a block runs (the first run marks the
// buffer SER_RAN), from the cells as they are then; the buffer is marked
// SER_PREPARED, which every writer of its cells clears (its cells are
// written only through series::writable_cells or writable_bytes),
// and the form also records the buffer's head and tail. The evaluator uses a
// form only while the mark and the extent hold, and checks them again after
// everything that may run code; what a form caches from outside the block
// (a word's value, an operator, a callable) is compared where the general
// evaluator would look it up. Any miss runs the general evaluator from that
// expression's position: the general evaluator is the reference.
//
// Each expression is one of a few kinds (a chain of a value and operators
// applied in place, its assignment to a word or a field, a call, a branch,
// return, break), else it is general. A chain may start with a function's
// call whose arguments are chains themselves (calls nested in them), or
// with a paren that calls: such a chain runs code. A form is decoded up to
// the first expression whose end only a run can tell (a call whose
// arguments it does not hold, a general one) and grows as runs find where
// those end.
//
// Forms name nodes: every collection forgets them all (the collector may
// free and reuse nodes and move node frames), as it forgets the evaluator's
// other memos; a form running across a collection notices by the
// generation count and leaves the rest of its block to the general
// evaluator. Their memory is bounded: a block of more than MAX_CELLS cells
// is not prepared, and when the forms together pass MAX_BYTES no more are
// made and a collection is asked for, which forgets them.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "interpreter/form_table.h"
#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace interp {
struct QuickPlan;
}
namespace prepared {

// The types whose cells evaluate to themselves at the start of an expression.
struct SelfEvaluating {
    bool of[256];
    constexpr SelfEvaluating() : of{} {
        for (uint32_t t = 0; t < 256; t++) of[t] = true;
        for (uint32_t t : {T_WORD, T_SET_WORD, T_LIT_WORD, T_LIT_PATH, T_GET_WORD, T_PAREN, T_SET_PATH, T_GET_PATH,
                           T_PATH, T_NATIVE, T_ACTION, T_FUNCTION, T_ROUTINE, T_OP})
            of[t] = false;
    }
};
constexpr SelfEvaluating SELF_EVALUATING;

// What reading a word does with its value: most values are simply pushed.
enum WordClass : uint8_t { WORD_PUSH, WORD_CALL, WORD_SPECIAL };
struct WordClasses {
    WordClass of[256];
    constexpr WordClasses() : of{} {
        of[T_NATIVE] = of[T_ACTION] = of[T_FUNCTION] = of[T_ROUTINE] = WORD_CALL;
        of[T_UNSET] = of[T_OP] = WORD_SPECIAL;
    }
};
constexpr WordClasses WORD_CLASSES;

// The value slot of a form's word as last looked up, for a word of the
// global context or an object's (whose values block moves only with its
// buffer, while function locals live on the value stack): good while
// node::epoch is the same. on: the word is of such a context; epoch 0 never
// matches. Runs fill it in (the form's other parts stay as decoded).
// local: the word is bound to a context whose values live on the value
// stack (a function's), whose slot is read from the context's values index
// without the general lookup's tests: a context's kind is fixed when it is
// made, and a form does not outlive a collection, which alone frees nodes.
struct SlotCache {
    Cell* slot;
    uint64_t epoch;
    bool on;
    bool local;
};

// An operand: a value written in the code, a word's value, an object's field
// (o/x), a paren whose own form is one plain chain, a paren that starts
// with a word holding a callable (run as the general evaluator runs a
// paren: it calls), or a call of a word holding a callable whose arguments
// are all evaluated, each a chain (Form::calls; first operands only). A
// paren holding only a call of an action the evaluator answers in place
// ((pick b i), (length? s)) is L_CALL_PAREN: its value is read from its
// cells as the general evaluator reads it in place, anywhere in a chain.
// Such a call written as a right operand itself (n + length? r), its
// arguments values or words and no operator after them, is L_INLINE_CALL:
// its cells are the form's own.
enum LeafKind : uint8_t { L_VALUE, L_WORD, L_FIELD, L_PAREN, L_CODE_PAREN, L_CALL, L_CALL_PAREN, L_INLINE_CALL };
struct Form;
// An L_CALL_PAREN's call as decoded: its word, the callable the word held
// and the argument list's entries, its arguments (values written in the
// paren, or words), with their slot caches. Good while the paren's buffer
// has the same extent and its cells are these (the evaluator compares them);
// an L_INLINE_CALL's while its form holds.
struct InlineCall {
    uint32_t head, tail;
    uint32_t arity;  // 1 or 2
    Cell word;
    mutable SlotCache word_cache;
    Cell callable;
    Cell args[2];
    mutable SlotCache arg_caches[2];
    Cell entries[2];
};
// The field a path of an object's word and a field word (o/x) names, as a
// run last found it through the evaluator's field_ref: good while
// node::epoch is the same (the field's slot and its word in the object's
// symbol block stay put), the path's buffer has the same extent and cells
// (compared bit for bit: its mark cannot tell, see InlineCall) and its
// word's slot (through the cache) holds the same object, which are all
// field_ref decides from but the field's value. Epoch 0 never matches.
// Runs fill it in. An L_FIELD leaf's, or an E_SET_FIELD's (whose changed
// mark it sets).
struct FieldCache {
    uint64_t epoch;
    uint64_t extent;  // the path's buffer's head and tail as one word
    Cell cells[2];    // the path's word and field word
    Cell object;
    SlotCache word;   // of cells[0]
    Cell* slot;       // the field's value
    Cell* mark;       // the field's word in the object's symbol block
};
struct Leaf {
    Cell cell;  // the code's cell (the callable's word for a call)
    LeafKind kind;
    uint32_t call;  // in Form::calls
    mutable SlotCache cache;  // of an L_WORD
    // An L_CODE_PAREN's own form when a run found it a call alone (the
    // evaluator's call_paren_form), good while the generation is the same.
    mutable uint32_t paren_generation;
    union {
        mutable Form* paren_form;
        const InlineCall* inline_call;  // an L_CALL_PAREN's (or null) or L_INLINE_CALL's (in Form::inline_calls)
        FieldCache* field;              // an L_FIELD's (in Form::fields)
    };
};

// A call in a chain: the callable its word held when decoded, and its
// arguments (args in Form::args, one per argument).
struct CallNode {
    Cell callable;
    uint32_t args, arg_count;
    // A function's call that the evaluator found it cannot answer without
    // its frame (its body runs code, or its context has more words than
    // arguments): not tried again while the form lives.
    mutable bool framed;
    uint8_t pad[7];  // to a power of two: the runners index calls
};
static_assert(sizeof(CallNode) == 32, "a call's size is a power of two: the runners index calls");

// An argument: its chain, and when that is one value written in the code
// or one word with no operator after it, the cell itself (pushed without
// reading the chain).
enum ArgKind : uint8_t { A_VALUE, A_WORD, A_CHAIN, A_CALLS };
struct Arg {
    Cell cell;
    Cell entry;  // the callable's argument-list entry for it
    uint32_t chain;
    uint32_t end;  // the position after it
    ArgKind kind;
    bool word_after;  // a word lies at end: it must not hold an op! now
    uint8_t pad[20];  // to a power of two: the runners index arguments
};
static_assert(sizeof(Arg) == 64, "an argument's size is a power of two: the runners index arguments");

// What an operator does to two integer! operands without its generic
// path: set with the fast path when both its arguments take integers.
enum IntOp : uint8_t {
    INT_NONE, INT_ADD, INT_SUBTRACT, INT_MULTIPLY, INT_REMAINDER,
    INT_EQUAL, INT_NOT_EQUAL, INT_LESSER, INT_LESSER_OR_EQUAL, INT_GREATER, INT_GREATER_OR_EQUAL
};

// An operator after a value: the word, and the op! it held when decoded
// (header and index as one word, and the node of its extra block). fast is
// the evaluator's fast path of that op! (kind, op code, operand types) and
// int_op its integer case, filled on the first run.
struct OpStep {
    Cell word;
    mutable SlotCache cache;
    uint64_t head;
    Node extra;
    bool fast_known;
    bool int_right;  // the right operand is an integer! written in the code
    IntOp int_op;
    std::array<uint8_t, 3> fast;
    uint32_t end;  // the position after the right operand
    Leaf right;
};
static_assert(sizeof(OpStep) == 128, "a step's size is a power of two: the runner indexes and walks steps");

// A value and the operators after it; end is the position after the last
// operand (when a word lies there, the evaluator checks that it holds no
// op! before it takes the chain as a whole expression).
struct Chain {
    Leaf first;
    uint32_t ops, op_count;  // the steps in Form::ops
    uint32_t start;          // where the first operand is
    uint32_t first_end;      // after it (and a call's arguments): the first operator
    uint32_t end;
    bool runs;               // a call or a paren that calls: it runs code
    bool word_after;         // a word lies at end (see Arg::word_after)
    bool word_int;           // a word, one operator and an integer! written in the code (i + 1, n < 10)
    bool int_run;            // its first operator takes an integer! written in the code
    uint8_t pad[40];         // to a power of two: the runners index chains
};
static_assert(sizeof(Chain) == 128, "a chain's size is a power of two: the runners index chains");

enum ExprKind : uint8_t {
    E_GENERAL,     // run by the general evaluator
    E_CHAIN,       // a chain (one that runs code starts with a call or a paren that calls)
    E_SET,         // word: chain
    E_SET_FIELD,   // o/x: chain
    E_CALL,        // a word holding a callable whose arguments the form does not hold
    E_BRANCH,      // if, unless, either: chain that runs no code, blocks written in the code
    E_RETURN,      // return chain that runs no code
    E_BREAK,       // break, continue
    E_LOOP,        // while, until, forever, loop: blocks written in the code (loop's count a chain that runs no code)
};

enum BranchFit : uint8_t { FIT_UNKNOWN, FIT_YES, FIT_NO };

struct Expr {
    ExprKind kind;
    bool runs;       // its chain runs code (Chain::runs, read without the chain)
    bool word_next;  // a word lies at next: it must not hold an op! now
    bool self_update;  // an E_SET of a Chain::word_int chain whose word is the set-word's (n: n + 1)
    uint32_t pos;    // where the expression starts
    uint32_t next;   // where the next starts; 0 until a run finds it
    uint32_t chain;  // in Form::chains
    Cell word;       // the set-word, set-path, or the callable's word
    mutable SlotCache cache;  // of the word: an E_SET's, or the callable's
    mutable SlotCache next_cache;  // of the word at next (word_next)
    Cell callable;   // the value the word held when decoded
    // A branch's condition and blocks (a loop's count and blocks, a
    // return's value) against its native's argument list, learnt on the
    // first run: the list is the callable's own (fixed while the callable
    // compares equal), so the answer holds for the form's life.
    mutable BranchFit fit;
    mutable Cell condition_entry;  // the list's entry for the condition (loop's count, return's value), when they fit
    // An E_CALL of a native or action whose arguments are all chains that
    // run no code (none starting with a paren): its call in Form::calls,
    // the arguments computed from the form before the frame is opened. So
    // too an E_SET whose chain is only such a call (x: reduce [...]): the
    // arguments computed before the assignment's frame and the call's.
    bool held_args;
    // Such a call of an action whose answer may be given without its frame
    // (the evaluator's answer_without_frame: put, pick, select, the
    // queries): a quick form runs it as it runs a chain, and leaves it to
    // the general way when the answer needs the frame. frame_misses counts
    // those runs; past a few the form is no longer quick (a put of a new
    // key on every turn).
    bool frameless;
    mutable uint8_t frame_misses;
    uint32_t call;  // that call in Form::calls; an E_SET_FIELD's path's FieldCache in Form::fields
    // An E_LOOP while whose blocks did not fit turns without its frames:
    // the forms' generation it was refused in, plus one (0: never), so that
    // later entries in that generation do not try again. In the padding.
    mutable uint32_t frameless_refused;
};
static_assert(sizeof(Expr) == 128, "Expr keeps its size");

// A chain or its assignment; pure when it runs no code.
inline bool is_chain(const Expr& e) { return e.kind == E_CHAIN || e.kind == E_SET || e.kind == E_SET_FIELD; }
inline bool is_pure(const Expr& e) { return is_chain(e) && !e.runs; }

// A form another form's run found and keeps for the generation's life
// (forms live apart, so the pointer holds until a collection or a remaking
// counts a new generation); what a run may change in it is checked again
// at each use.
struct FormLink {
    Form* form;
    uint32_t generation;
};

struct Form {
    Node node;
    uint32_t start;  // the block's index the form starts at
    uint32_t head, tail;
    std::vector<Expr> exprs;
    uint32_t count;  // of exprs, when pure
    std::vector<Chain> chains;
    std::vector<OpStep> ops;
    std::vector<CallNode> calls;
    std::vector<Arg> args;  // the calls' arguments
    std::vector<std::unique_ptr<InlineCall>> inline_calls;  // the L_CALL_PAREN leaves'
    std::vector<std::unique_ptr<FieldCache>> fields;        // the L_FIELD leaves' and E_SET_FIELD's
    std::vector<Cell> snapshot;  // the cells when prepared (sanitizer builds)
    bool decoded;    // every expression is in exprs
    bool pure;       // decoded, and every expression a chain or its assignment that runs no code
    bool quick;      // as pure, and branches allowed (if, unless, either), and while
    bool one_call;   // decoded, one expression that runs code: a chain, its assignment, a branch, return
    // decoded, each expression a chain that runs no code, the last maybe a
    // return of one: as a function's body, it only computes its value
    bool answers;
    size_t bytes;
    // Of a one-call form whose expression is a branch: the forms of the
    // blocks it took last (the first block, the second), as runs find them.
    FormLink taken[2];
    // The plan of a loop's quick turns over the form (the evaluator's
    // interp::QuickPlan), kept across the loop's runs and checked at each;
    // plan_bytes counts it.
    struct PlanFree {
        void operator()(interp::QuickPlan* p) const;
    };
    std::unique_ptr<interp::QuickPlan, PlanFree> plan;
    size_t plan_bytes;
};

// A word's slot cache as a form starts it (see SlotCache): on for a word
// of the global context, or, when read (not assigned), of an object's.
SlotCache cache_for(const Cell* word, bool assigned);

// Off with ZEL_PREPARE=0 (read at init).
extern bool enabled;
// Counts the collections that forgot every form.
extern uint32_t generation;

void init();
// The form of the block's node, or null.
extern FormTable<Form> table;
inline Form* find(Node n) { return table.find(n); }
// Whether a form holds for the buffer: unchanged since the form was made.
// The head and tail lie side by side in both, and are compared as one word.
inline bool holds(const Form* f, const SeriesBuffer* b) {
    static_assert(offsetof(Form, tail) == offsetof(Form, head) + 4);
    static_assert(offsetof(SeriesBuffer, tail) == offsetof(SeriesBuffer, head) + 4);
    uint64_t form_extent, buffer_extent;
    std::memcpy(&form_extent, &f->head, sizeof form_extent);
    std::memcpy(&buffer_extent, &b->head, sizeof buffer_extent);
    return (b->flags & SER_PREPARED) && form_extent == buffer_extent;
}
// The k-th expression left to the general evaluator from now on (a run
// found the form cannot take it): the form is then neither pure, quick nor
// one call's.
inline void to_general(Form* f, uint32_t k) {
    f->exprs[k].kind = E_GENERAL;
    f->pure = f->quick = f->one_call = f->answers = false;
}
// The number of arguments of a callable whose arguments are all evaluated
// (see the evaluator's plain_arguments), or -1 (also when its argument list
// is not made yet: nothing is made while decoding). In the evaluator.
int32_t plain_arity(const Cell* callable);
// The entries of the argument list of such a callable (good until memory is
// allocated). In the evaluator.
const Cell* argument_entries(const Cell* callable);
// Whether a call of the callable with held arguments (count of them) may
// be answered without its frame (see Expr::frameless). In the evaluator.
bool frameless_call(const Cell* callable, uint32_t count);
// The value of the word a paren starts with, or null (no word, or no
// value). In the evaluator.
const Cell* paren_head(const Cell* paren);
// Whether a call of the callable with arity held arguments is answered
// without running code when its arguments run none (the evaluator's
// answered_call), by what its body's form says now: a chain that starts
// with it then runs no code, until a run finds otherwise. In the evaluator.
bool answers_in_place(const Cell* callable, uint32_t arity);
// The number of arguments of the call a paren starts with when the
// evaluator answers it in place given plain values for arguments (pick,
// length?, ...), or 0. In the evaluator.
uint32_t paren_inline_arity(const Cell* paren);
// The same for a call of the callable written in a block, or 0.
uint32_t inline_arity_of(const Cell* callable);
// Makes the form of the block (its node and index), or null when it cannot
// be made now or would gain nothing (no expression of it is a chain, its
// assignment, a branch or a return, each of which holds a chain, and it is
// not one call: then the buffer is marked SER_PLAIN and no form is kept);
// marks the buffer SER_PREPARED.
Form* make(const Cell* block);
// Decodes the expression at the position (a run has found it starts there)
// and appends it; false when nothing more can be decoded.
bool extend(Form* f, uint32_t pos);
// Works out again whether the form is pure, quick or one call's, after an
// expression of it was found to run no code.
void settle(Form* f);
// Counts the form's memory again (after it or its plan grew).
void account(Form* f);
// Forgets every form (at each collection).
void forget_all();
// Sanitizer builds: aborts when the cells differ from those the form was
// made from while the buffer's mark says they are unchanged (a writer that
// did not unprepare).
#ifdef ZEL_CHECK_PREPARED
inline void check_unchanged(const Form* f, const SeriesBuffer* b) { check_snapshot(f->snapshot, b, "prepared block"); }
#else
inline void check_unchanged(const Form*, const SeriesBuffer*) {}
#endif

}  // namespace prepared
}  // namespace zel
