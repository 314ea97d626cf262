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

namespace {

struct Outcome {
    std::string out;
    int status;
};

class RoutinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        zel_ = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "zel";
        if (!std::filesystem::exists(zel_)) GTEST_SKIP() << "no zel program beside the tests";
        char dir[] = "/tmp/zel-routines-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    Outcome run(const std::string& script) {
        std::filesystem::path path = dir_ / "script.zel";
        std::ofstream(path) << script;
        std::string command = zel_.string() + " " + path.string();
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

    std::filesystem::path zel_, dir_;
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
        {"halt print 1", "", 0},
        {"quit-return 256 + 9", "", 9},
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
