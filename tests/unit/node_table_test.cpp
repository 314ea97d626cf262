// The flat node table: it mirrors every slot of every node frame, as frames
// are made (the table grows), nodes taken, set and released, and empty frames
// given back.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/memory.h"
#include "kernel/memory_internal.h"
#include "test_support.h"

namespace zel {
namespace {

// Every node of every live frame finds in the flat table what its frame holds.
void expect_mirrored() {
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next)
        for (uint32_t i = 0; i < NODE_FRAME_NODES; i++)
            ASSERT_EQ(node::buffer(node::of_slot(f, i)), f->slots[i]) << "frame " << f->index << " slot " << i;
}

TEST(NodeTable, MirrorsFramesThroughGrowthAndRelease) {
    test_support::memory_ready();
    expect_mirrored();
    SeriesBuffer marks[3] = {};  // stand-in buffers: only their addresses matter
    std::vector<Node> taken;
    for (uint32_t i = 0; i < 9 * NODE_FRAME_NODES; i++) taken.push_back(node::take());
    for (size_t i = 0; i < taken.size(); i++) node::set(taken[i], &marks[i % 3]);
    expect_mirrored();
    for (size_t i = 0; i < taken.size(); i += 997) {
        EXPECT_EQ(node::buffer(taken[i]), &marks[i % 3]);
        EXPECT_EQ(node::slot(taken[i]), &marks[i % 3]);
    }
    for (Node n : taken) node::release(n);
    expect_mirrored();
    for (size_t i = 0; i < taken.size(); i += 997) EXPECT_EQ(node::buffer(taken[i]), nullptr);
    memory::release_node_frames();
    expect_mirrored();
}

}  // namespace
}  // namespace zel
