// A side table of decoded forms by series node: the evaluator's prepared
// blocks and PARSE's rules blocks each keep one. A form is good while its
// buffer keeps the mark its maker set (every writer of the cells clears it)
// and the extent it was made from; the table only owns the forms, finds them
// by node and forgets them all. Forms name nodes, which a collection may
// free and reuse, so their owners forget them at every collection.
//
// Sanitizer builds keep each form's cells as they were when it was made and
// check them where the form is used: a writer that changed them without
// clearing the mark is a fault found at once.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#include "kernel/cell.h"
#include "kernel/memory.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZEL_CHECK_PREPARED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEL_CHECK_PREPARED 1
#endif
#endif

namespace zel {

template <class F>
struct FormTable {
    // By node: large (node numbers run to tens of thousands before a script
    // starts) and sparse, so it lives in zeroed storage of calloc's, whose
    // fresh pages the system zeroes when first touched: only the pages that
    // hold a form are ever touched, not the whole table at each growth.
    F** by_node = nullptr;
    size_t size = 0;
    std::vector<Node> made;  // the nodes whose entry was ever set since the last forget
    size_t bytes = 0;        // what the owner counts as the forms' memory

    FormTable() = default;
    FormTable(const FormTable&) = delete;
    FormTable& operator=(const FormTable&) = delete;

    F* find(Node n) const { return n < size ? by_node[n] : nullptr; }
    // The entry of the node, the table grown to hold it. An empty entry is
    // recorded as made here, so forget reaches whatever the caller puts in it.
    F*& entry(Node n) {
        if (n >= size) grow(std::max<size_t>(size_t(n) + 1, size * 2));
        F*& e = by_node[n];
        if (!e) made.push_back(n);
        return e;
    }
    // Only the entries ever set can be other than null: they alone are copied.
    void grow(size_t count) {
        F** grown = static_cast<F**>(std::calloc(count, sizeof(F*)));
        if (!grown) throw std::bad_alloc();
        for (Node m : made) grown[m] = by_node[m];
        std::free(by_node);
        by_node = grown;
        size = count;
    }
    void forget() {
        for (Node n : made) {
            delete by_node[n];
            by_node[n] = nullptr;
        }
        made.clear();
        bytes = 0;
    }
    ~FormTable() {
        forget();
        std::free(by_node);
    }
};

#ifdef ZEL_CHECK_PREPARED
// Aborts, naming what kind of form it is, when the buffer's cells differ
// from the snapshot taken when the form was made.
void check_snapshot(const std::vector<Cell>& snapshot, const SeriesBuffer* b, const char* what);
#endif

}  // namespace zel
