// The routines that end the process or write to standard output, run in a
// `zel` child on scripts in a temporary directory: the exit status and what
// the child printed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"

namespace {

struct Outcome {
    std::string out;
    int status;
};

class RoutinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        zel_ = zel::test_support::zel_program();
        if (zel_.empty()) GTEST_SKIP() << "no zel program beside the tests";
    }

    Outcome run(const std::string& script) {
        std::string path = dir_.file("script.zel");
        std::ofstream(path) << "Zel []\n" << script;  // the console runs scripts with a header
        std::string command = zel_.string() + " " + path;
        FILE* p = popen(command.c_str(), "r");
        Outcome o{"", -1};
        if (!p) return o;
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
        int status = pclose(p);
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return o;
    }

    std::filesystem::path zel_;
    zel::test_support::TempDir dir_{"routines"};
};

TEST_F(RoutinesTest, QuitEndsTheProcessWithTheStatus) {
    struct Case {
        const char* script;
        const char* out;
        int status;
    };
    const Case cases[] = {
        {"quit-return 3\nprint \"after\"\n", "", 3},
        {"print \"before\"\nquit-return 3\n", "before\n", 3},
        {"prin \"pending\" quit-return 0", "pending", 0},
        {"quit/return 7 print 1", "", 7},
        {"quit print 1", "", 0},
        {"f: does [quit/return 5] f print 1", "", 5},
        {"try [quit-return 4] print 1", "", 4},
        {"q print 1", "", 0},
        // halt stops the script under the console's catch.
        {"halt print 1", "(halted)\n", 1},
        {"quit-return 256 + 9", "", 9},
        // The console's settings hook runs first, only while a console is set.
        {"system: context [console: none] _save-cfg: does [print 1] quit/return 2", "", 2},
        {"system: context [console: 1] _save-cfg: does [print 1] quit/return 2", "1\n", 2},
        {"system: context [console: 1] _save-cfg: does [print 1] q", "1\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        Outcome o = run(c.script);
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.status, c.status);
    }
}

TEST_F(RoutinesTest, WriteStdoutWritesTextBytesAndFormedValues) {
    Outcome o = run("write-stdout \"añ\" write-stdout #{0A62} write-stdout [1 \"x\"] write-stdout 2.5");
    EXPECT_EQ(o.out, "añ\nb1 x2.5");
    EXPECT_EQ(o.status, 0);
    o = run("print 1 print last-lf? write-stdout \"x\" print last-lf?");
    EXPECT_EQ(o.out, "1\ntrue\nxfalse\n");
}

}  // namespace
