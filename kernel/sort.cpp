// Sorting: a run-adaptive stable merge sort and a quick sort that adapts to
// presorted input, over records addressed by index.
#include "kernel/sort.h"

#include <algorithm>
#include <cstring>

#include "kernel/fail.h"
#include "kernel/runtime.h"

namespace zel {
namespace sort {

static const size_t CELL_SIZE = 16;

// FIXED is the record size when it is known at compile time (cells), so that
// record moves compile to a few loads and stores; 0 takes it from `bytes`.
template <size_t FIXED>
struct Records {
    unsigned char* base;
    size_t bytes;
    Compare compare_fn;
    uintptr_t context1;
    uintptr_t context2;

    size_t size() const { return FIXED ? FIXED : bytes; }
    unsigned char* at(size_t i) const { return base + i * size(); }
    int32_t compare(const void* a, const void* b) const { return compare_fn(a, b, context1, context2); }
    int32_t compare(size_t i, size_t j) const { return compare(at(i), at(j)); }
};

// Word by word when the size allows it: records are mostly cells.
template <class W, class R>
static void swap_words(const R& r, unsigned char* a, unsigned char* b) {
    for (size_t k = 0; k < r.size(); k += sizeof(W)) {
        W x, y;
        std::memcpy(&x, a + k, sizeof(W));
        std::memcpy(&y, b + k, sizeof(W));
        std::memcpy(a + k, &y, sizeof(W));
        std::memcpy(b + k, &x, sizeof(W));
    }
}

template <class R>
static void swap(const R& r, size_t i, size_t j) {
    unsigned char* a = r.at(i);
    unsigned char* b = r.at(j);
    if (r.size() % 8 == 0) swap_words<uint64_t>(r, a, b);
    else if (r.size() % 4 == 0) swap_words<uint32_t>(r, a, b);
    else std::swap_ranges(a, a + r.size(), b);
}

template <class R>
static void reverse(const R& r, size_t lo, size_t hi) {
    for (; lo + 1 < hi; lo++, hi--) swap(r, lo, hi - 1);
}

template <class R>
static void insertion_sort(const R& r, size_t lo, size_t sorted_end, size_t hi) {
    for (size_t i = sorted_end; i < hi; i++)
        for (size_t j = i; j > lo && r.compare(j - 1, j) > 0; j--) swap(r, j - 1, j);
}

// ---- stable merge sort ----

static const size_t MIN_RUN = 24;

// A tracked heap block freed on every path.
struct Scratch {
    unsigned char* data;
    explicit Scratch(size_t bytes) : data(static_cast<unsigned char*>(heap::alloc(bytes))) {}
    ~Scratch() { heap::free(data); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

// The end of the run that starts at start: a non-descending run as it stands,
// a strictly descending one reversed, either lengthened to MIN_RUN records.
template <class R>
static size_t next_run(const R& r, size_t start, size_t n) {
    size_t end = start + 1;
    if (end == n) return end;
    if (r.compare(start, end) <= 0) {
        do end++;
        while (end < n && r.compare(end - 1, end) <= 0);
    } else {
        do end++;
        while (end < n && r.compare(end - 1, end) > 0);
        reverse(r, start, end);
    }
    size_t least = std::min(start + MIN_RUN, n);
    if (end < least) {
        insertion_sort(r, start, end, least);
        end = least;
    }
    return end;
}

// The power of the boundary between [s1, e1) and [e1, e2): one more than the
// number of leading bits that the two runs' midpoints, as fractions of n,
// share. Runs are merged in the order of their boundaries' powers.
static unsigned boundary_power(size_t s1, size_t e1, size_t e2, size_t n) {
    uint64_t a = uint64_t(s1) + e1;
    uint64_t b = uint64_t(e1) + e2;
    unsigned count = 0;
    while ((a < n) == (b < n)) {
        count++;
        if (a >= n) {
            a -= n;
            b -= n;
        }
        a *= 2;
        b *= 2;
    }
    return count + 1;
}

// Merges [lo, mid) and [mid, hi), buffering the shorter run. A record of the
// right run goes first only when the left one sorts strictly after it.
template <class R>
static void merge(const R& r, unsigned char* buffer, size_t lo, size_t mid, size_t hi) {
    size_t sz = r.size();
    size_t left = mid - lo, right = hi - mid;
    if (right < left) {
        std::memcpy(buffer, r.at(mid), right * sz);
        size_t i = mid, j = right, d = hi;
        while (i > lo && j > 0) {
            if (r.compare(r.at(i - 1), buffer + (j - 1) * sz) > 0) std::memcpy(r.at(--d), r.at(--i), sz);
            else std::memcpy(r.at(--d), buffer + --j * sz, sz);
        }
        std::memcpy(r.at(lo), buffer, j * sz);
    } else {
        std::memcpy(buffer, r.at(lo), left * sz);
        size_t i = 0, j = mid, d = lo;
        while (i < left && j < hi) {
            if (r.compare(buffer + i * sz, r.at(j)) > 0) std::memcpy(r.at(d++), r.at(j++), sz);
            else std::memcpy(r.at(d++), buffer + i++ * sz, sz);
        }
        std::memcpy(r.at(d), buffer + i * sz, (left - i) * sz);
    }
}

template <class R>
static void merge_sort(const R& r, unsigned char* buffer, size_t n) {
    struct Run {
        size_t start;
        unsigned power;
    };
    Run stack[64];  // powers rise strictly up the stack and stay below 34
    size_t top = 0;
    size_t s1 = 0, e1 = next_run(r, 0, n);
    while (e1 < n) {
        size_t e2 = next_run(r, e1, n);
        unsigned power = boundary_power(s1, e1, e2, n);
        while (top > 0 && stack[top - 1].power > power) {
            size_t start = stack[--top].start;
            merge(r, buffer, start, s1, e1);
            s1 = start;
        }
        stack[top++] = {s1, power};
        s1 = e1;
        e1 = e2;
    }
    while (top > 0) {
        size_t start = stack[--top].start;
        merge(r, buffer, start, s1, e1);
        s1 = start;
    }
}

void stable(void* base, uint32_t count, uint32_t size, uintptr_t context1, uintptr_t context2,
            Compare compare) {
    if (count < 2) return;
    uint64_t bytes = uint64_t(count) * size;
    if (bytes > UINT32_MAX) fail::raise("script", "out-of-range");
    // The records are sorted in a copy, followed by the merge buffer.
    Scratch work(bytes + uint64_t(count / 2) * size);
    std::memcpy(work.data, base, bytes);
    if (size == CELL_SIZE)
        merge_sort(Records<CELL_SIZE>{work.data, size, compare, context1, context2}, work.data + bytes, count);
    else
        merge_sort(Records<0>{work.data, size, compare, context1, context2}, work.data + bytes, count);
    std::memcpy(base, work.data, bytes);
}

// ---- quick sort ----

static const size_t INSERTION_LIMIT = 7;

// Signed length of the leading run (equal pairs follow either direction),
// then one vote per adjacent pair sampled every 97 records after it.
template <class R>
static int64_t presortedness(const R& r, size_t n) {
    int direction = 0;
    size_t i = 1;
    for (; i < n; i++) {
        int32_t c = r.compare(i - 1, i);
        int sign = (c > 0) - (c < 0);
        if (sign == 0) continue;
        if (direction == 0) direction = sign;
        else if (sign != direction) break;
    }
    int64_t measure = direction > 0 ? -int64_t(i) : int64_t(i);
    for (size_t j = i + 97; j < n; j += 97) {
        int32_t c = r.compare(j - 1, j);
        measure += (c < 0) - (c > 0);
    }
    return measure;
}

template <class R>
static size_t median_of_three(const R& r, size_t a, size_t b, size_t c) {
    if (r.compare(a, b) < 0) {
        if (r.compare(b, c) < 0) return b;
        return r.compare(a, c) < 0 ? c : a;
    }
    if (r.compare(a, c) < 0) return a;
    return r.compare(b, c) < 0 ? c : b;
}

// Presorted input takes the median of the quartiles, which is the middle for
// ascending input and a fair split for pipe-organ shapes; other input the
// median of the first, middle and last of its first records.
template <class R>
static size_t choose_pivot(const R& r, size_t lo, size_t hi, bool presorted) {
    size_t n = hi - lo;
    if (presorted) return median_of_three(r, lo + n / 4, lo + n / 2, lo + 3 * n / 4);
    size_t m = n > 511 ? 63 : n;
    return median_of_three(r, lo, lo + m / 2, lo + m - 1);
}

template <class R>
static void sift_down(const R& r, size_t lo, size_t root, size_t n) {
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= n) return;
        if (child + 1 < n && r.compare(lo + child, lo + child + 1) < 0) child++;
        if (r.compare(lo + root, lo + child) >= 0) return;
        swap(r, lo + root, lo + child);
        root = child;
    }
}

// The fallback when partitions keep coming out lopsided.
template <class R>
static void heap_sort(const R& r, size_t lo, size_t hi) {
    size_t n = hi - lo;
    for (size_t i = n / 2; i-- > 0;) sift_down(r, lo, i, n);
    for (size_t end = n; end-- > 1;) {
        swap(r, lo, lo + end);
        sift_down(r, lo, 0, end);
    }
}

// Three-way partitions around a pivot kept in the array (so only swaps move
// records), recursing into the smaller side.
template <class R>
static void quick_range(const R& r, size_t lo, size_t hi, bool presorted, int depth) {
    while (hi - lo > INSERTION_LIMIT) {
        if (depth-- == 0) {
            heap_sort(r, lo, hi);
            return;
        }
        swap(r, lo, choose_pivot(r, lo, hi, presorted));
        size_t lt = lo, i = lo + 1, gt = hi;  // [lo,lt) less, [lt,i) equal, [gt,hi) greater
        while (i < gt) {
            int32_t c = r.compare(i, lt);
            if (c < 0) swap(r, lt++, i++);
            else if (c > 0) swap(r, i, --gt);
            else i++;
        }
        if (lt - lo < hi - gt) {
            quick_range(r, lo, lt, presorted, depth);
            lo = gt;
        } else {
            quick_range(r, gt, hi, presorted, depth);
            hi = lt;
        }
    }
    insertion_sort(r, lo, lo, hi);
}

template <class R>
static void quick_sort(const R& r, uint32_t count) {
    int64_t measure = presortedness(r, count);
    if (measure == count) return;  // one ascending run
    if (measure == -int64_t(count)) {
        reverse(r, 0, count);
        return;
    }
    if (measure < -2) reverse(r, 0, count);  // mostly descending: make it mostly ascending
    int depth = 0;
    for (uint32_t n = count; n > 1; n >>= 1) depth += 2;
    quick_range(r, 0, count, measure > 2 || measure < -2, depth);
}

void quick(void* base, uint32_t count, uint32_t size, uintptr_t context1, uintptr_t context2,
           Compare compare) {
    if (count < 2) return;
    unsigned char* data = static_cast<unsigned char*>(base);
    if (size == CELL_SIZE) quick_sort(Records<CELL_SIZE>{data, size, compare, context1, context2}, count);
    else quick_sort(Records<0>{data, size, compare, context1, context2}, count);
}

}  // namespace sort
}  // namespace zel
