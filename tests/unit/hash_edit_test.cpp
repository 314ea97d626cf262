// A hash! against a block! under the same random edits: every find and
// select answers alike after any sequence of inserts, removals, changes,
// takes, sorts and clears.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "natives_cases.h"

using namespace zel;

namespace {

using natives_cases::eval_molded;
using natives_cases::run;

struct HashEditTest : natives_cases::NativesTest {};

// Equal values of several kinds, so that buckets hold lists of positions,
// and text that equals under plain but not under case-sensitive comparison.
const char* const POOL[] = {"1", "2", "3", "7", "2.0", "'a", "'b", "{x}", "{X}", "#\"x\"", "[1]"};

// The same edit, once on h and once on b.
std::string edit(std::mt19937& rng, uint32_t length) {
    std::string v = POOL[rng() % std::size(POOL)];
    std::string at = std::to_string(rng() % (length + 1) + 1);
    auto both = [&](const std::string& form) {
        std::string out;
        for (const char* s : {"h", "b"}) {
            std::string one = form;
            for (size_t p; (p = one.find('S')) != std::string::npos;) one.replace(p, 1, s);
            out += one + " ";
        }
        return out;
    };
    switch (rng() % 10) {
    case 0: return both("append S " + v);
    case 1: return both("insert at S " + at + " " + v);
    case 2: return both("insert/dup at S " + at + " " + v + " 3");
    case 3: return both("remove at S " + at);
    case 4: return both("change at S " + at + " " + v);
    case 5: return both("take S");
    case 6: return both("take/last S");
    case 7: return both("remove/part at S " + at + " 2");
    case 8: return rng() % 4 == 0 ? both("sort S") : both("poke S 1 " + v);
    default: return rng() % 150 == 0 ? both("clear S") : both("append/dup S " + v + " 2");
    }
}

std::string lookups(const char* series, const char* value) {
    std::string s = series, v = value;
    return "reduce [index? any [find " + s + " " + v + " tail " + s + "] index? any [find/case " + s + " " + v +
           " tail " + s + "] index? any [find/last " + s + " " + v + " tail " + s + "] select " + s + " " + v +
           "]";
}

TEST_F(HashEditTest, FindsAsTheBlockDoes) {
    std::mt19937 rng(2026);
    run("h: make hash! [] b: copy []");
    for (int step = 0; step < 3000; step++) {
        Cell n = run("length? b");
        uint32_t length = uint32_t(cell::get_int(&n));
        std::string code = edit(rng, length);
        if (length == 0 && code.find("poke") != std::string::npos) continue;
        SCOPED_TRACE("step " + std::to_string(step) + ": " + code);
        run(code.c_str());
        ASSERT_EQ(eval_molded("to block! h"), eval_molded("b"));
        for (const char* v : POOL)
            ASSERT_EQ(eval_molded(lookups("h", v).c_str()), eval_molded(lookups("b", v).c_str())) << v;
    }
    Cell n = run("length? b");
    EXPECT_GT(cell::get_int(&n), 0);
}

}  // namespace
