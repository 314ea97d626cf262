// Page blocks through mmap and munmap: anonymous private mappings, which the
// system hands out zero-filled and page-aligned.
#include "platform/pages.h"

#include <sys/mman.h>

namespace zel {
namespace pages {

static size_t rounded(size_t bytes) { return (bytes + SIZE - 1) & ~(SIZE - 1); }

void* take(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, rounded(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool give_back(void* block, size_t bytes) {
    return block && munmap(block, rounded(bytes)) == 0;
}

}  // namespace pages
}  // namespace zel
