// What the library's printing functions print, run in a `zel` child: clock's
// per-iteration line (its timer replaced by one that answers a fixed time,
// so nothing here is timed) and the memory statistics listing of a given
// block.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace {

class LibraryPrintsTest : public ::testing::Test {
protected:
    void SetUp() override {
        zel_ = test_support::zel_program();
        if (zel_.empty()) GTEST_SKIP() << "no zel program beside the tests";
    }

    std::string run(const std::string& script) {
        std::string path = dir_.file("script.zel");
        std::ofstream(path) << "Zel []\n" << script;  // the console runs scripts with a header
        return test_values::run(zel_.string() + " " + path);
    }

    std::filesystem::path zel_;
    test_support::TempDir dir_{"library-prints"};
};

// The milliseconds per iteration (python3: 1000.0 / n * seconds, and that
// times 1000.0 below 1 ms) keep three digits at most, never fewer than the
// integer part's.
TEST_F(LibraryPrintsTest, ClockShowsTheTimePerIterationShortened) {
    struct Case {
        const char* elapsed;
        int times;
        const char* line;
    };
    const Case cases[] = {
        {"0:00:00.0123456", 1, "12.3 ms\t[1 + 1]\n"},  // 12.3456
        {"0:00:01.5", 1000, "1.5 ms\t[1 + 1]\n"},      // 1.5
        {"0:00:01.2345", 1, "1234 ms\t[1 + 1]\n"},     // 1234.5
        {"0:00:00.1", 1, "100 ms\t[1 + 1]\n"},         // 100.0
        {"0:00:00.000002", 1, "2.0 \u03bcs\t[1 + 1]\n"},  // 0.002 ms, 2.0 us
        {"0:00:02", 3, "666 ms\t[1 + 1]\n"},           // 666.6666666666666
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elapsed);
        std::string script = std::string("dt: func [body [block!]] [do body ") + c.elapsed + "]\n" +
                             "x: clock/times [1 + 1] " + std::to_string(c.times) + " print x\n";
        EXPECT_EQ(run(script), std::string(c.line) + "2\n");
    }
    std::string code(100, 'a');
    EXPECT_EQ(run("dt: func [body [block!]] [do body 0:00:00.5]\nclock [" + code + ": 1]"),
              "500 ms\t[" + code.substr(0, 69) + "\n");
}

TEST_F(LibraryPrintsTest, MemoryStatisticsListTheFramesAndTotals) {
    std::string out = run("show-memory-stats [[[1 2 3] [40 50 60]] [] [100 2000] 5000 600]");
    EXPECT_EQ(out,
              "\n[ Nodes  ] -- Free ----- Used ----- Total --\n"
              "   1:             1           2            3\n"
              "   2:            40          50           60\n"
              "  -- \n  Used     : 52 nodes \n  Allocated: 63 nodes\n"
              "\n[ Series ] -- Free ----- Used ----- Total --\n"
              "               -           -            -\n"
              "  -- \n  Used     : 0 bytes \n  Allocated: 0 bytes\n"
              "\n[ Big    ]\n"
              "   1:           100\n"
              "   2:          2000\n"
              "  -- \n  Allocated: 2100 bytes \n-- \n"
              "Total allocated from OS (virtual):      5000 \n"
              "Total allocated on heap (malloc):       600\n");
    EXPECT_NE(run("stats/show").find("[ Big    ]"), std::string::npos);
}

}  // namespace
}  // namespace zel
