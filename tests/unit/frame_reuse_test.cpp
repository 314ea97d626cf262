// Series frame pages kept back: the pages of the last series frame given back
// serve the next frame of their size, uncounted while they wait.
#include <gtest/gtest.h>

#include "kernel/memory.h"
#include "kernel/memory_internal.h"
#include "test_support.h"

namespace zel {
namespace {

TEST(FrameReuse, TheLastFreedFrameServesTheNextOfItsSize) {
    test_support::memory_ready();
    memory::Record& r = memory::record;
    memory::drop_spare();
    uint32_t size = r.next_frame_size;
    SeriesFrame* first = memory::new_series_frame();
    uint64_t total = r.total;
    size_t bytes = first->block_bytes;
    memory::free_series_frame(first);
    EXPECT_EQ(r.total, total - ((bytes + PAGE_SIZE - 1) & ~size_t(PAGE_SIZE - 1)));
    r.next_frame_size = size;
    SeriesFrame* again = memory::new_series_frame();
    EXPECT_EQ(again, first);
    EXPECT_EQ(r.total, total);
    EXPECT_EQ(again->free, again->first);
    EXPECT_EQ(size_t(again->end - again->first), size_t(size));
    memory::free_series_frame(again);
    r.next_frame_size = size + PAGE_SIZE;  // another size: fresh pages
    SeriesFrame* other = memory::new_series_frame();
    EXPECT_NE(other, first);
    memory::free_series_frame(other);  // the spare is taken: these go back
    memory::drop_spare();
    EXPECT_EQ(r.total, total - ((bytes + PAGE_SIZE - 1) & ~size_t(PAGE_SIZE - 1)));
    r.next_frame_size = size;
}

}  // namespace
}  // namespace zel
