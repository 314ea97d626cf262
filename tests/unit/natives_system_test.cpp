// The exception, exit and system natives, as tables of Zel source -> molded
// value or error id, with the operating system's own tools (date, env, stat,
// pwd) as oracles for the clock, the environment and files.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/block.h"
#include "datatypes/memory_stats.h"
#include "natives_cases.h"
#include "platform/system.h"

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::check_errors;
using natives_cases::check_values;
using natives_cases::eval_molded;
using natives_cases::run;
using natives_cases::shell;

using SystemNativesTest = natives_cases::NativesTest;

uint32_t type_of(const Cell& c) { return cell::type(&c); }

// ---- exits -------------------------------------------------------------------------

TEST_F(SystemNativesTest, LoopExits) {
    const Case cases[] = {
        {"loop 3 [break/return 7]", "7"},
        {"n: 0 loop 5 [n: n + 1 continue n: 100] n", "5"},
        {"n: 0 loop 5 [n: n + 1 if n = 2 [break]] n", "2"},
        {"f: func [] [loop 3 [break/return 4]] f", "4"},
        {"n: 0 g: does [break] loop 5 [n: n + 1 g] n", "1"},  // break from inside a function
        {"n: 0 loop 3 [n: n + 1 loop 2 [break]] n", "3"},      // the inner loop only
    };
    check_values(cases);
    const char* unset_results[] = {"while [true] [break/return 5]", "loop 2 [break]"};
    for (const char* code : unset_results) EXPECT_EQ(type_of(run(code)), uint32_t(T_UNSET)) << code;
}

TEST_F(SystemNativesTest, FunctionExits) {
    const Case cases[] = {
        {"f: func [] [return 3 4] f", "3"},
        {"f: func [x] [loop 3 [return x * 2] 1] f 9", "18"},
        {"f: func [x] [if x > 1 [return x] 0] reduce [f 5 f 1]", "[5 0]"},
        {"f: func [n] [either n = 0 [return 0] [return 1 + f n - 1]] f 50", "50"},
    };
    check_values(cases);
    EXPECT_EQ(type_of(run("f: func [] [exit 4] f")), uint32_t(T_UNSET));
}

TEST_F(SystemNativesTest, ThrowAndCatch) {
    const Case cases[] = {
        {"catch [throw 1]", "1"},
        {"catch [1 + 2]", "3"},
        {"catch [throw 1 2]", "1"},
        {"catch [f: does [throw 7] f 8]", "7"},
        {"catch/name [throw/name 1 'A] 'a", "1"},  // names compare without case
        {"catch [catch/name [throw 1] 'a 2]", "1"},  // an unnamed throw passes a named catch
        {"catch/name [catch/name [throw/name 1 'b] [a c] 2] 'b", "1"},
        {"catch/name [throw/name 5 'c] [a c]", "5"},
        {"10 + catch [throw 1]", "11"},
        {"n: 0 loop 3 [n: n + catch [throw 2]] n", "6"},
    };
    check_values(cases);
}

TEST_F(SystemNativesTest, Try) {
    const Case cases[] = {
        {"try [1 + 1]", "2"},
        {"type? try [1 / 0]", "error!"},
        {"n: 0 loop 3 [n: n + 1 try [break]] n", "1"},      // the break passes try
        {"n: 0 loop 3 [n: n + 1 try/all [break]] n", "3"},  // try/all stops it
        {"type? try/all [break]", "error!"},
        {"f: func [] [try [return 5] 6] f", "5"},
        {"catch [try [throw 3] 4]", "3"},
        {"type? try [throw 1]", "error!"},
        {"e: try [1 / 0] e/id", "zero-divide"},
        {"e: try/all [break] e/id", "break"},
        {"e: try/all [throw 1] e/id", "throw"},
        {"f: func [] [try/all [return 1] 2] f", "2"},
        {"type? try/keep [1 / 0]", "error!"},
    };
    check_values(cases);
}

TEST_F(SystemNativesTest, ExitsWithoutTarget) {
    const ErrorCase cases[] = {
        {"throw 1", Err::throw_throw},
        {"return 1", Err::throw_return},
        {"exit", Err::throw_return},
        {"break", Err::throw_break},
        {"continue", Err::throw_continue},
        {"catch/name [throw/name 1 'b] 'a", Err::throw_throw},
        {"catch/name [throw 1] 'a", Err::throw_throw},
        {"catch/name [throw/name 1 'b] [a 1]", Err::script_invalid_refine_arg},
    };
    check_errors(cases);
}

TEST_F(SystemNativesTest, ThrowWithoutCatchNamesItsValue) {
    EXPECT_EQ(eval_molded("e: try [throw 42] e/arg1"), "42");
    EXPECT_EQ(eval_molded("e: try [return 1] e/id"), "return");
}

// ---- memory ----------------------------------------------------------------------

TEST_F(SystemNativesTest, Stats) {
    EXPECT_EQ(type_of(run("stats")), uint32_t(T_INTEGER));
    EXPECT_GT(cell::get_int(&(const Cell&)run("stats")), 0);
    Cell info = run("stats/info");
    ASSERT_EQ(type_of(info), uint32_t(T_BLOCK));
    ASSERT_EQ(block::get_length(&info), 5);
    for (uint32_t i = 0; i < 2; i++) {  // node frames and series frames: [free used total]
        const Cell* frames = block::cell_at(&info, i);
        ASSERT_EQ(cell::type(frames), uint32_t(T_BLOCK));
        ASSERT_GT(block::get_length(frames), 0);
        for (int32_t f = 0; f < block::get_length(frames); f++) {
            const Cell* u = block::cell_at(frames, uint32_t(f));
            ASSERT_EQ(block::get_length(u), 3);
            int32_t free = cell::get_int(block::cell_at(u, 0)), used = cell::get_int(block::cell_at(u, 1));
            EXPECT_EQ(free + used, cell::get_int(block::cell_at(u, 2)));
        }
    }
    EXPECT_EQ(cell::type(block::cell_at(&info, 2)), uint32_t(T_BLOCK));
    int32_t whole = cell::get_int(block::cell_at(&info, 3)), heap = cell::get_int(block::cell_at(&info, 4));
    EXPECT_GT(heap, 0);
    EXPECT_GT(whole, heap);
}

TEST_F(SystemNativesTest, TotalsBeyondTheIntegerRangeAreFloats) {
    Cell* b = block::push_new(2);
    memory::append_total(b, 2147483647.0);
    memory::append_total(b, 2147483648.0);
    EXPECT_EQ(natives_cases::molded(*b), "[2147483647 2147483648.0]");
    stack::pop(1);
    EXPECT_EQ(memory::frame_usage(nullptr, memory::USAGE_WALK), 0.0);
}

TEST_F(SystemNativesTest, Recycle) {
    EXPECT_EQ(type_of(run("recycle")), uint32_t(T_INTEGER));
    EXPECT_EQ(type_of(run("recycle/off")), uint32_t(T_UNSET));
    EXPECT_FALSE(collector::state.enabled);
    uint32_t cycles = memory::record.cycle;
    EXPECT_EQ(type_of(run("recycle")), uint32_t(T_INTEGER));  // still collects when asked
    EXPECT_GT(memory::record.cycle, cycles);
    EXPECT_EQ(type_of(run("recycle/on")), uint32_t(T_UNSET));
    EXPECT_TRUE(collector::state.enabled);
}

// ---- wait ------------------------------------------------------------------------

TEST_F(SystemNativesTest, Wait) {
    const Case cases[] = {
        {"wait 0", "none"},
        {"wait 0.001", "none"},
        {"wait 0:00:00.001", "none"},
        {"wait -5", "none"},        // waits 0
        {"wait -1:00", "none"},
        {"wait 0.0 / 0.0", "none"},  // NaN waits 0
    };
    check_values(cases);
    const ErrorCase errors[] = {
        {"wait [1]", Err::script_invalid_arg},
        {"wait none", Err::script_invalid_arg},
    };
    check_errors(errors);
}

TEST(SleepSpan, NegativeAndNaNAreZeroHugeIsCapped) {
    struct {
        double in, out;
    } cases[] = {
        {2.5, 2.5},
        {0, 0},
        {-1, 0},
        {std::nan(""), 0},
        {-INFINITY, 0},
        {INFINITY, platform::MAX_SLEEP_SECONDS},
        {1e300, platform::MAX_SLEEP_SECONDS},
    };
    for (auto& c : cases) EXPECT_EQ(platform::sleep_span(c.in), c.out) << c.in;
}

// The standard library's steady clock reads the same monotonic clock: its
// reading falls between two of ours (within the rounding of a double).
TEST(MonotonicSeconds, AgreesWithTheSteadyClock) {
    double before = platform::monotonic_seconds();
    double steady = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    double after = platform::monotonic_seconds();
    EXPECT_LE(before, after);
    EXPECT_LE(before, steady + 1e-6);
    EXPECT_LE(steady, after + 1e-6);
}

// ---- now -------------------------------------------------------------------------

// Sets TZ for the test and puts it back afterwards.
struct Zone {
    std::string saved;
    bool had;
    explicit Zone(const char* zone) {
        const char* v = std::getenv("TZ");
        had = v != nullptr;
        if (had) saved = v;
        run((std::string("set-env \"TZ\" \"") + zone + "\"").c_str());
    }
    ~Zone() {
        if (had) setenv("TZ", saved.c_str(), 1);
        else unsetenv("TZ");
    }
};

int32_t int_of(const char* code) { return cell::get_int(&(const Cell&)run(code)); }
double seconds_of(const char* code) { return cell::get_float(&(const Cell&)run(code)); }

// The parts of now against date in the same zone; read again when the
// minute turned while they were read.
void check_now_against_date(const char* zone) {
    Zone tz(zone);
    std::string format = std::string("TZ=") + zone + " date +'%Y %-m %-d %u %-j %-H %-M %z'";
    for (int attempt = 0; attempt < 3; attempt++) {
        std::string before = shell(format);
        int year = int_of("now/year"), month = int_of("now/month"), day = int_of("now/day");
        int weekday = int_of("now/weekday"), yearday = int_of("now/yearday");
        double time = seconds_of("now/time"), zone_offset = seconds_of("now/zone");
        if (shell(format) != before) continue;
        int y, mo, d, wd, yd, h, mi;
        char z[8];
        ASSERT_EQ(std::sscanf(before.c_str(), "%d %d %d %d %d %d %d %7s", &y, &mo, &d, &wd, &yd, &h, &mi, z), 8);
        EXPECT_EQ(year, y);
        EXPECT_EQ(month, mo);
        EXPECT_EQ(day, d);
        EXPECT_EQ(weekday, wd);
        EXPECT_EQ(yearday, yd);
        EXPECT_EQ(int(time) / 3600, h);
        EXPECT_EQ(int(time) / 60 % 60, mi);
        EXPECT_EQ(time, std::floor(time));  // whole seconds without /precise
        int zone_minutes = ((z[1] - '0') * 10 + (z[2] - '0')) * 60 + (z[3] - '0') * 10 + (z[4] - '0');
        EXPECT_EQ(zone_offset, (z[0] == '-' ? -60.0 : 60.0) * zone_minutes);
        return;
    }
    ADD_FAILURE() << "the minute kept turning";
}

TEST_F(SystemNativesTest, NowInKathmandu) { check_now_against_date("Asia/Kathmandu"); }
TEST_F(SystemNativesTest, NowInStJohns) { check_now_against_date("America/St_Johns"); }

TEST_F(SystemNativesTest, NowUtcHasNoZone) {
    Zone tz("Asia/Kathmandu");
    EXPECT_EQ(eval_molded("now/utc/zone"), "0:00:00");
    std::string hour = shell("date -u +%-H");
    double t = seconds_of("now/utc/time");
    if (shell("date -u +%-H") == hour) {
        EXPECT_EQ(std::to_string(int(t) / 3600), hour);
    }
    EXPECT_EQ(eval_molded("now/zone"), "5:45:00");
    const Case cases[] = {
        {"type? now/time/precise", "time!"},  // /precise and /utc are no parts
        {"type? now/yearday/utc", "integer!"},
    };
    check_values(cases);
}

TEST_F(SystemNativesTest, NowRefinementErrors) {
    const ErrorCase cases[] = {
        {"now/year/month", Err::script_bad_refines},
        {"now/time/zone", Err::script_bad_refines},
        {"now/weekday/yearday/utc", Err::script_bad_refines},
    };
    check_errors(cases);
}

// ---- the environment -----------------------------------------------------------------

TEST_F(SystemNativesTest, EnvironmentAgainstEnv) {
    run(R"(set-env "ZEL_H20_VAR" "a b=c")");
    EXPECT_EQ(shell("env | grep '^ZEL_H20_VAR='"), "ZEL_H20_VAR=a b=c");
    EXPECT_EQ(eval_molded(R"(get-env "ZEL_H20_VAR")"), R"("a b=c")");
    EXPECT_EQ(eval_molded("get-env 'ZEL_H20_VAR"), R"("a b=c")");
    EXPECT_EQ(eval_molded(R"(set-env "ZEL_H20_VAR" "")"), R"("")");
    EXPECT_EQ(shell("env | grep '^ZEL_H20_VAR='"), "ZEL_H20_VAR=");
    EXPECT_EQ(eval_molded(R"(get-env "ZEL_H20_VAR")"), R"("")");  // set, and empty
    EXPECT_EQ(eval_molded(R"(set-env "ZEL_H20_VAR" none)"), "none");
    EXPECT_EQ(shell("env | grep -c '^ZEL_H20_VAR=' || true"), "0");
    EXPECT_EQ(eval_molded(R"(get-env "ZEL_H20_VAR")"), "none");
    EXPECT_EQ(eval_molded(R"(get-env "ZEL_H20_NEVER_SET")"), "none");
    EXPECT_EQ(natives_cases::text_of(&(const Cell&)run(R"(get-env "HOME")")), shell("printf %s \"$HOME\""));
}

TEST_F(SystemNativesTest, ListEnv) {
    run(R"(set-env "ZEL_H20_LIST" "x=1")");
    EXPECT_EQ(eval_molded(R"(select list-env "ZEL_H20_LIST")"), R"("x=1")");
    EXPECT_EQ(eval_molded(R"(equal? select list-env "HOME" get-env "HOME")"), "true");
    EXPECT_EQ(eval_molded("type? list-env"), "map!");
    run(R"(set-env "ZEL_H20_LIST" none)");
}

TEST_F(SystemNativesTest, TextTheSystemCannotTake) {
    const ErrorCase cases[] = {
        {R"(get-env "A=B")", Err::script_invalid_arg},
        {R"(get-env "A^@B")", Err::script_invalid_arg},
        {R"(set-env "A=B" "x")", Err::script_invalid_arg},
        {R"(set-env "ZEL_H20_NUL" "a^@b")", Err::script_invalid_arg},
        {R"(set-env "" "x")", Err::script_invalid_arg},  // the system refuses it
        {R"(size? %"/tmp^@x")", Err::script_invalid_arg},
    };
    check_errors(cases);
    EXPECT_EQ(std::getenv("ZEL_H20_NUL"), nullptr);
    EXPECT_EQ(std::getenv("A"), nullptr);
}

// ---- files -------------------------------------------------------------------------

TEST_F(SystemNativesTest, SizeAgainstStat) {
    char path[] = "/tmp/zel-h20-size-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hello, world", 12), 12);
    close(fd);
    std::string code = std::string("size? %") + path;
    EXPECT_EQ(std::to_string(int_of(code.c_str())), shell(std::string("stat -c %s ") + path));
    unlink(path);
    EXPECT_EQ(eval_molded(code.c_str()), "none");  // gone
    EXPECT_EQ(eval_molded("size? %/tmp/"), "none");  // a directory
    EXPECT_EQ(eval_molded("size? %/tmp"), "none");
}

TEST_F(SystemNativesTest, ToLocalFile) {
    const Case cases[] = {
        {"to-local-file %/usr/lib/x.txt", R"("/usr/lib/x.txt")"},
        {"to-local-file/full %/abs", R"("/abs")"},
        {R"(to-local-file "a/b")", R"("a/b")"},
    };
    check_values(cases);
    EXPECT_EQ(natives_cases::text_of(&(const Cell&)run("to-local-file/full %a/b")), shell("pwd -P") + "/a/b");
}

// ---- transcode ----------------------------------------------------------------------

TEST_F(SystemNativesTest, Transcode) {
    const Case cases[] = {
        {R"(transcode "1 [a] b")", "[1 [a] b]"},
        {"transcode #{31203220}", "[1 2]"},
        {R"(transcode "")", "[]"},
        {R"(transcode/next "1 2 3")", R"([1 " 2 3"])"},
        {R"(transcode/next next "x[a b] c")", R"([[a b] " c"])"},
        {"transcode/next #{3120}", "[1 #{20}]"},
        {R"(transcode/next "")", "none"},
        {R"(transcode/one "abc def")", "abc"},
        {R"(transcode/scan "12")", "integer!"},
        {R"(transcode/scan "")", "none"},
        {R"(transcode/prescan "1.5")", "float!"},
        {R"(transcode/part "1 2 3" 3)", "[1 2]"},
        {"s: #{3120322033} transcode/part s skip s 3", "[1 2]"},
        {R"(transcode/into "1 2" [0])", "[0 1 2]"},
        {R"(b: [x] transcode/into "y" b b)", "[x y]"},
    };
    check_values(cases);
    const ErrorCase errors[] = {
        {R"(transcode/part "1 2" #{00})", Err::script_not_same_type},
        {R"(s: "1 2 3" transcode/part s skip s 4)", Err::script_expect_arg},  // a string! is no tail
        {R"(transcode "[1")", Err::syntax_missing},
    };
    check_errors(errors);
}

// ---- later services: the argument checks, then not-done ----------------------------

TEST_F(SystemNativesTest, ArgumentChecksOfLaterServices) {
    const ErrorCase cases[] = {
        {R"(parse/part [1 2] [skip] "x")", Err::script_invalid_refine_arg},
        {R"(checksum "a" 'lzma)", Err::script_invalid_arg},
        {R"(checksum/with "a" 'crc32 "key")", Err::script_invalid_refine_arg},
        {R"(checksum/with "a" 'ADLER32 1)", Err::script_invalid_refine_arg},
        {R"(checksum/with "a" 'hash "key")", Err::script_invalid_refine_arg},
        {R"(checksum/with "a" 'md5 %key)", Err::script_invalid_arg},
        {R"(checksum/with "a" 'md5 1)", Err::script_invalid_refine_arg},
        {R"(compress "abc" 'lzma)", Err::script_invalid_arg},
        {"decompress #{00} 'zlib", Err::script_invalid_data},
    };
    check_errors(cases);
}

}  // namespace
}  // namespace zel
