// Case conversion and display width of code points.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "kernel/casefold.h"

using namespace zel;

namespace {

struct CaseTest : ::testing::Test {
    void SetUp() override { case_::init(); }
};

TEST_F(CaseTest, Pairs) {
    struct Case {
        uint32_t cp, upper, lower;
    };
    static const Case cases[] = {
        {'a', 'A', 'a'},          {'Z', 'Z', 'z'},         {'5', '5', '5'},
        {0xE9, 0xC9, 0xE9},       {0xFF, 0x178, 0xFF},     {0x3B1, 0x391, 0x3B1},
        {0xDF, 0xDF, 0xDF},       {0x131, 'I', 0x131},     {0x130, 0x130, 'i'},
        {0x1E943, 0x1E921, 0x1E943}, {0x1E921, 0x1E921, 0x1E943},
        {0x10428, 0x10400, 0x10428}, {0x10400, 0x10400, 0x10428},
        {0xFF5A, 0xFF3A, 0xFF5A}, {0x1F600, 0x1F600, 0x1F600}, {0x10FFFF, 0x10FFFF, 0x10FFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(case_::convert(c.cp, true), c.upper) << std::hex << c.cp;
        EXPECT_EQ(case_::convert(c.cp, false), c.lower) << std::hex << c.cp;
    }
}

// python3's str.upper and str.lower as the oracle: where its answer is one code
// point it is the simple mapping; otherwise the code point has no simple pair.
// Python's database may be older than ours, so only code points it knows are
// compared.
TEST_F(CaseTest, AgreesWithPython) {
    const char* script =
        "import sys,unicodedata as u\n"
        "for c in range(0x110000):\n"
        "  ch=chr(c)\n"
        "  if u.category(ch) in ('Cn','Cs'): continue\n"
        "  up=ch.upper(); lo=ch.lower()\n"
        "  up=ord(up) if len(up)==1 else c\n"
        "  lo=ord(lo) if len(lo)==1 else c\n"
        "  if up!=c or lo!=c: sys.stdout.write('%x %x %x\\n'%(c,up,lo))\n";
    FILE* p = popen(("python3 - <<'EOF'\n" + std::string(script) + "EOF\n").c_str(), "r");
    ASSERT_NE(p, nullptr);
    unsigned c, up, lo;
    int lines = 0;
    while (std::fscanf(p, "%x %x %x", &c, &up, &lo) == 3) {
        lines++;
        EXPECT_EQ(case_::convert(c, true), up) << std::hex << c;
        EXPECT_EQ(case_::convert(c, false), lo) << std::hex << c;
    }
    pclose(p);
    EXPECT_GT(lines, 2000);
}

TEST(DisplayWidth, Table) {
    struct Case {
        uint32_t cp;
        int width;
    };
    static const Case cases[] = {
        {0, 0},        {9, 1},       {31, 1},      {'A', 1},     {0x7F, 1},     {0x9F, 1},
        {0xA0, 1},     {0xAD, 1},    {0x300, 0},   {0x301, 0},   {0x36F, 0},    {0x370, 1},
        {0x488, 0},    {0x1100, 2},  {0x115F, 2},  {0x1160, 1},  {0x4E00, 2},   {0xFF21, 2},
        {0x1F600, 2},  {0x1E944, 0}, {0x1E94A, 0}, {0x1E94B, 1}, {0x20000, 2},  {0x3FFFD, 2},
        {0x3FFFE, 1},  {0xE0100, 0}, {0xE01EF, 0}, {0xE01F0, 1}, {0x10FFFF, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(char_::display_width(c.cp), c.width) << std::hex << c.cp;
}

TEST(DisplayWidth, InRangesBounds) {
    static const CodePair r[] = {{10, 20}, {30, 30}, {40, 50}};
    struct Case {
        uint32_t cp;
        bool in;
    };
    static const Case cases[] = {{9, false}, {10, true}, {20, true}, {21, false}, {30, true},
                                 {31, false}, {40, true}, {50, true}, {51, false}};
    for (const Case& c : cases) EXPECT_EQ(char_::is_in_ranges(c.cp, r, 3), c.in) << c.cp;
    EXPECT_FALSE(char_::is_in_ranges(10, r, 0));
}

}  // namespace
