// call, browse, the command line, the environment and the OS description.
// Children are only local tools (sh, printf, cat, tee, true, false); browse
// meets a stand-in opener put first in PATH, never a real one.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io/os_info.h"
#include "kernel/runtime.h"
#include "natives_cases.h"
#include "platform/process_launch.h"

extern char** environ;

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::check_errors;
using natives_cases::check_values;
using natives_cases::eval_molded;
using natives_cases::run;
using natives_cases::shell;
using natives_cases::text_of;

using ProcessTest = natives_cases::NativesTest;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

size_t open_descriptors() {
    size_t n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d)) n++;
    closedir(d);
    return n;
}

// ---- splitting a command line ---------------------------------------------------

TEST(ProcessCommandLine, SplitsAtWhiteSpaceOutsideQuotes) {
    struct SplitCase {
        const char* line;
        std::vector<std::string> args;
    };
    const SplitCase cases[] = {
        {"printf hi", {"printf", "hi"}},
        {"  a \t b  ", {"a", "b"}},
        {R"(sh -c "echo a  b")", {"sh", "-c", "echo a  b"}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"(x"y z"w)", {"xy zw"}},
        {R"(say \"hi\")", {"say", "\"hi\""}},
        {R"(a\\b c\d)", {"a\\b", "c\\d"}},
        {"", {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(platform::split_command_line(c.line), c.args);
    }
}

// ---- call: results ----------------------------------------------------------------

TEST_F(ProcessTest, ExitStatus) {
    const Case cases[] = {
        {R"(call/wait "true")", "0"},
        {R"(call/wait "false")", "1"},
        {R"(call/wait {sh -c "exit 7"})", "7"},
        {R"(call/wait {sh -c "kill -9 $$"})", "137"},  // 128 + the signal
        {R"(call/console "true")", "0"},                // waits as well
        {R"(call/wait/show "true")", "0"},
        {R"(call/wait "zel-no-such-program-here")", "127"},  // the shell's answer
        {R"(call/wait %/etc/passwd)", "-1"},                 // not executable
        {R"(call/wait %/)", "-1"},
    };
    check_values(cases);
}

TEST_F(ProcessTest, WithoutWaitingAnswersTheProcessIdAndLeavesNoZombie) {
    Cell pid = run(R"(call "true")");
    ASSERT_EQ(cell::type(&pid), uint32_t(T_INTEGER));
    EXPECT_GT(cell::get_int(&pid), 0);
    int status;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);  // no child of ours is left
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(cell::type(&(const Cell&)run(R"(call "zel-no-such-program-here")")), uint32_t(T_INTEGER));
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
}

TEST_F(ProcessTest, ShellCommands) {
    const Case cases[] = {
        // A shell built-in is not a program: the command runs through the shell.
        {R"(out: copy "" call/output "cd / && pwd" out out)", R"("/^/")"},
        {R"~(out: copy "" call/shell/output "printf '%s' $((6 * 7))" out out)~", R"("42")"},
        // Without the shell, its syntax reaches the program as plain arguments.
        {R"(out: copy "" call/output "printf %s|%s a;b $HOME" out out)", R"("a;b|$HOME")"},
    };
    check_values(cases);
}

// ---- call: redirections ---------------------------------------------------------

TEST_F(ProcessTest, CapturesIntoStringsAndBinaries) {
    const Case cases[] = {
        {R"(out: copy "" call/output "printf hello" out out)", R"("hello")"},
        {R"(out: copy "a" call/output "printf bc" out out)", R"("abc")"},  // appended
        {R"(out: copy #{} call/output {printf \001\377} out out)", "#{01FF}"},
        {R"(err: copy "" call/error {sh -c "printf oops >&2"} err err)", R"("oops")"},
        {R"(out: copy "" err: copy "" call/output/error {sh -c "printf 1; printf 2 >&2"} out err reduce [out err])",
         R"(["1" "2"])"},
        {R"(out: copy "" call/input/output "cat" "héllo" out out)", R"("héllo")"},
        {R"(out: copy "" call/input/output "cat" next "abc" out out)", R"("bc")"},
        {R"(out: copy #{} call/input/output "cat" #{00FF10} out out)", "#{00FF10}"},
        {R"(out: copy "" call/input/output "cat" "" out out)", R"("")"},
        {R"(out: copy "" call/input/output "true" "ignored" out out)", R"("")"},  // input never read
    };
    check_values(cases);
}

TEST_F(ProcessTest, MalformedUtf8BecomesReplacementCharacters) {
    Cell out = run(R"(out: copy "" call/output {printf A\377\303} out out)");
    EXPECT_EQ(text_of(&out), "A\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(ProcessTest, FileRedirections) {
    test_support::TempDir dir{"process"};
    write_file(dir.file("in.txt"), "from a file\n");
    std::string in = "%" + dir.file("in.txt"), out = "%" + dir.file("out.txt");
    run(("call/output \"printf abc\" " + out).c_str());
    EXPECT_EQ(eval_molded(("call/output \"printf def\" " + out).c_str()), "0");
    EXPECT_EQ(read_file(dir.file("out.txt")), "abcdef");  // appended
    EXPECT_EQ(eval_molded(("s: copy \"\" call/input/output \"cat\" " + in + " s s").c_str()), R"("from a file^/")");
    run(("call/error {sh -c \"printf e >&2\"} " + out).c_str());
    EXPECT_EQ(read_file(dir.file("out.txt")), "abcdefe");
    const std::string failures[] = {
        "call/input \"cat\" %" + dir.file("missing"),
        "call/input \"cat\" %" + dir.path + "/",  // a directory
        "call/output \"true\" %" + dir.file("no/such/dir"),
    };
    for (const std::string& code : failures) EXPECT_EQ(eval_molded(code.c_str()), "-1") << code;
}

TEST_F(ProcessTest, FileCommandIsOneProgramWhateverItsPathHolds) {
    test_support::TempDir dir{"process"};
    std::string script = dir.file("a b$(touch x)");
    write_file(script, "#!/bin/sh\nprintf 'ran %s' \"$#\"\n");
    chmod(script.c_str(), 0755);
    std::string code = "out: copy \"\" call/output %\"" + script + "\" out out";
    EXPECT_EQ(eval_molded(code.c_str()), R"("ran 0")");
    code = "out: copy \"\" call/shell/output %\"" + script + "\" out out";
    EXPECT_EQ(eval_molded(code.c_str()), R"("ran 0")");
    EXPECT_NE(access("x", F_OK), 0);
    EXPECT_NE(access(dir.file("x").c_str(), F_OK), 0);
    // A bare name is the file in the current directory, not a program in PATH.
    write_file(dir.file("true"), "#!/bin/sh\nprintf local\n");
    chmod(dir.file("true").c_str(), 0755);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    std::string molded = eval_molded(R"(out: copy "" call/output %true out out)");
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(molded, R"("local")");
}

TEST_F(ProcessTest, ChildSeesTheEnvironment) {
    run(R"(set-env "ZEL_PROCESS_VAR" "v=1")");
    EXPECT_EQ(eval_molded(R"(out: copy "" call/output "printenv ZEL_PROCESS_VAR" out out)"), R"("v=1^/")");
    run(R"(set-env "ZEL_PROCESS_VAR" none)");
}

// A child that writes much to both outputs while it reads much: each side
// must be served as it comes, or both processes wait forever.
TEST_F(ProcessTest, LargeStreamsBothWaysDoNotDeadlock) {
    run(R"(big: copy "" loop 40000 [append big "0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEF^/"])");
    Cell same = run(R"(out: copy "" err: copy "" call/input/output/error {sh -c "tee /dev/stderr"} big out err
                       reduce [length? big equal? out big equal? err big])");
    EXPECT_EQ(natives_cases::molded(same), "[2120000 true true]");
}

TEST_F(ProcessTest, LeavesNoDescriptorOpen) {
    size_t before = open_descriptors();
    run(R"(out: copy "" err: copy "" call/input/output/error "cat" "x" out err)");
    run(R"(call/wait "zel-no-such-program-here")");
    run(R"(call "true")");
    run(R"(call/output "true" %/nonexistent-dir/out)");
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(ProcessTest, TextTheSystemCannotTake) {
    const ErrorCase cases[] = {
        {R"(call/wait "printf a^@b")", Err::script_invalid_arg},
        {R"(call/output "true" %"/tmp/a^@b")", Err::script_invalid_arg},
        {R"(call/wait 1)", Err::script_expect_arg},
    };
    check_errors(cases);
    EXPECT_EQ(eval_molded(R"(out: copy "" call/input/output "cat" "a^@b" out length? out)"), "3");  // data may
}

// ---- browse --------------------------------------------------------------------------

// A stand-in opener first in PATH: it writes its arguments, one per line, to a
// file that appears whole when it is done.
struct StandInOpener {
    test_support::TempDir dir{"process"};
    std::string saved_path;
    std::string result;
    StandInOpener() {
        saved_path = getenv("PATH");
        result = dir.file("opened");
        write_file(dir.file("xdg-open"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + result + ".part'\nmv '" + result +
                                             ".part' '" + result + "'\n");
        chmod(dir.file("xdg-open").c_str(), 0755);
        setenv("PATH", (dir.path + ":" + saved_path).c_str(), 1);
    }
    ~StandInOpener() { setenv("PATH", saved_path.c_str(), 1); }
    // The arguments the opener got; it runs on its own, so wait for its file.
    std::string opened() {
        for (int i = 0; i < 2000 && access(result.c_str(), F_OK) != 0; i++) usleep(5000);
        std::string text = read_file(result);
        unlink(result.c_str());
        return text;
    }
};

TEST_F(ProcessTest, BrowseHandsTheTargetToTheOpenerAsOneArgument) {
    StandInOpener opener;
    struct BrowseCase {
        const char* code;
        const char* argument;
    };
    const BrowseCase cases[] = {
        {R"(browse http://example.com/a?b=1&c=2)", "http://example.com/a?b=1&c=2\n"},
        {R"~(browse to url! "http://x/;touch${IFS}pwned $(touch pwned)")~", "http://x/;touch${IFS}pwned $(touch pwned)\n"},
        {R"(browse %"/tmp/a b.txt")", "/tmp/a b.txt\n"},
        {R"(browse %-rf)", "./-rf\n"},  // never taken for an option
    };
    for (const BrowseCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(eval_molded(c.code), "unset");
        EXPECT_EQ(opener.opened(), c.argument);
    }
    EXPECT_NE(access("pwned", F_OK), 0);
    int status;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);  // no zombie
    const ErrorCase errors[] = {
        {R"(browse to url! "--help")", Err::script_invalid_arg},
        {R"(browse %"a^@b")", Err::script_invalid_arg},
        {R"(browse "text")", Err::script_expect_arg},
    };
    check_errors(errors);
}

TEST_F(ProcessTest, BrowseWithoutAnOpenerDoesNothing) {
    std::string saved = getenv("PATH");
    test_support::TempDir empty{"process"};
    setenv("PATH", empty.path.c_str(), 1);
    std::string molded = eval_molded("browse http://example.com");
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(molded, "unset");
}

// ---- environment, OS description, type check ----------------------------------------

TEST_F(ProcessTest, EnvironmentNamesMayStartWithEquals) {
    char** saved = environ;
    char entries[][16] = {"=D:=D:\\x", "A=1=2", "B=", "C"};
    char* fake[] = {entries[0], entries[1], entries[2], entries[3], nullptr};
    environ = fake;
    Cell* map = platform::environment();
    environ = saved;
    EXPECT_EQ(natives_cases::molded(*map), R"(#["=D:" "D:\x" "A" "1=2" "B" "" "C" ""])");
}

TEST(ProcessOsInfo, DescribesFromUnameTexts) {
    struct OsCase {
        const char *system, *release, *version, *machine;
        const char *name, *arch;
        uint8_t numbers[3];
        int32_t build;
    };
    const OsCase cases[] = {
        {"Linux", "6.1.0-18-amd64", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1", "x86_64", "Linux 6.1.0-18-amd64",
         "x86-64", {6, 1, 0}, 1},
        {"Linux", "5.4.300", "#42 SMP", "aarch64", "Linux 5.4.300", "ARM64", {5, 4, 255}, 42},
        {"Linux", "6", "", "armv7l", "Linux 6", "ARM", {6, 0, 0}, 0},
        {"Linux", "4.19.0", "#7", "i686", "Linux 4.19.0", "x86-32", {4, 19, 0}, 7},
        {"Linux", "6.6.1", "#3", "ia64", "Linux 6.6.1", "IA-64", {6, 6, 1}, 3},
        {"Linux", "6.6.1", "#99999999999", "riscv64", "Linux 6.6.1", "Unknown", {6, 6, 1}, 2147483647},
    };
    for (const OsCase& c : cases) {
        SCOPED_TRACE(c.release);
        platform::OsDescription d = platform::describe_os(c.system, c.release, c.version, c.machine);
        EXPECT_EQ(d.name, c.name);
        EXPECT_STREQ(d.arch, c.arch);
        EXPECT_EQ(std::vector<uint8_t>(d.version, d.version + 3), std::vector<uint8_t>(c.numbers, c.numbers + 3));
        EXPECT_EQ(d.build, c.build);
    }
}

TEST_F(ProcessTest, OsInfoFillsTheObjectAsUnameSays) {
    Cell object = run("o: make object! [name: arch: version: build: other: none] o");
    platform::os_info(&object);
    EXPECT_EQ(text_of(&(const Cell&)run("o/name")), "Linux " + shell("uname -r"));
    EXPECT_EQ(eval_molded("reduce [type? o/arch type? o/version type? o/build o/other]"),
              "[word! tuple! integer! none]");
    EXPECT_EQ(eval_molded("o/build"), shell("uname -v | sed 's/^#\\([0-9]*\\).*/\\1/'"));
    if (shell("uname -m") == "x86_64") {
        EXPECT_EQ(eval_molded("o/arch"), "x86-64");
    }
    EXPECT_EQ(eval_molded("o/version/1"), shell("uname -r | cut -d. -f1"));
}

}  // namespace
}  // namespace zel
