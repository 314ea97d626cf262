// The key decoder: bytes in, key codes out. A table of sequences fed whole and
// one byte at a time, sequences cut short and broken, and the keys of real
// terminals as their terminfo entries give them (tput is the oracle).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/keys.h"

using namespace zel;

namespace {

using Codes = std::vector<int32_t>;

Codes decode(const std::string& bytes, bool flush_at_end) {
    keys::Decoder d;
    Codes out;
    for (unsigned char b : bytes) {
        int32_t got[2];
        uint32_t n = keys::feed(d, b, got);
        out.insert(out.end(), got, got + n);
    }
    int32_t key;
    if (flush_at_end && keys::flush(d, &key)) out.push_back(key);
    return out;
}

struct Case {
    const char* name;
    std::string bytes;
    Codes codes;
};

const Case CASES[] = {
    {"printable characters", "ab 1", {'a', 'b', ' ', '1'}},
    {"control keys keep their codes", std::string("\r\t\x01\x03\x04\x1a", 6), {13, 9, 1, 3, 4, 26}},
    {"DEL is Backspace", "\x7f\x08", {keys::BACKSPACE, keys::BACKSPACE}},
    {"UTF-8 characters", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", {0xE9, 0x20AC, 0x1F600}},
    {"a stray continuation byte", "\x80" "a", {0xFFFD, 'a'}},
    {"a lead byte cut by an ASCII byte", "\xe2\x82" "a", {0xFFFD, 'a'}},
    {"an overlong form is one malformed key", "\xc0\xaf", {0xFFFD}},
    {"CSI cursor keys", "\x1b[A\x1b[B\x1b[C\x1b[D", {keys::UP, keys::DOWN, keys::RIGHT, keys::LEFT}},
    {"SS3 cursor keys", "\x1bOA\x1bOB\x1bOC\x1bOD", {keys::UP, keys::DOWN, keys::RIGHT, keys::LEFT}},
    {"home and end, both forms", "\x1b[H\x1b[F\x1bOH\x1bOF\x1b[1~\x1b[4~\x1b[7~\x1b[8~",
     {keys::HOME, keys::END, keys::HOME, keys::END, keys::HOME, keys::END, keys::HOME, keys::END}},
    {"editing keys", "\x1b[2~\x1b[3~\x1b[5~\x1b[6~", {keys::INSERT, keys::DELETE, keys::PAGE_UP, keys::PAGE_DOWN}},
    {"function keys", "\x1bOP\x1bOS\x1b[15~\x1b[17~\x1b[21~\x1b[23~\x1b[24~",
     {-31, -34, -35, -36, -40, -41, -42}},
    {"the Linux console's F1 to F5", "\x1b[[A\x1b[[E", {-31, -35}},
    {"modifiers give the plain key", "\x1b[1;5A\x1b[3;2~\x1b[1;3P", {keys::UP, keys::DELETE, -31}},
    {"an unknown sequence has no code", "\x1b[99~\x1b[Zx", {keys::NONE, keys::NONE, 'x'}},
    {"a huge number has no code", "\x1b[99999999999999999999~", {keys::NONE}},
    {"ESC before a plain key", "\x1bx", {keys::ESC, 'x'}},
    {"two ESC keys", "\x1b\x1b", {keys::ESC}},
    {"a control byte breaks a sequence", "\x1b[1\r", {keys::NONE, 13}},
};

TEST(KeysTest, SequencesDecodeWholeAndByteByByte) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.bytes, false), c.codes);
        // Split at every place: the decoder keeps its state between feeds.
        for (size_t cut = 1; cut < c.bytes.size(); cut++) {
            keys::Decoder d;
            Codes out;
            for (const std::string& part : {c.bytes.substr(0, cut), c.bytes.substr(cut)}) {
                for (unsigned char b : part) {
                    int32_t got[2];
                    uint32_t n = keys::feed(d, b, got);
                    out.insert(out.end(), got, got + n);
                }
            }
            EXPECT_EQ(out, c.codes) << "cut at " << cut;
        }
    }
}

TEST(KeysTest, FlushEndsWhatIsUnfinished) {
    const Case cut[] = {
        {"a lone ESC is the Esc key", "\x1b", {keys::ESC}},
        {"a cut CSI sequence has no code", "\x1b[1;", {keys::NONE}},
        {"a cut SS3 sequence has no code", "\x1bO", {keys::NONE}},
        {"a cut UTF-8 character", "\xe2\x82", {0xFFFD}},
        {"nothing pending", "a", {'a'}},
    };
    for (const Case& c : cut) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.bytes, true), c.codes);
    }
    keys::Decoder d;
    int32_t key;
    EXPECT_FALSE(keys::is_pending(d));
    EXPECT_FALSE(keys::flush(d, &key));
}

// The bytes tput gives for a capability of a terminal type; empty when the
// entry lacks it.
std::string tput(const std::string& term, const std::string& cap) {
    FILE* p = popen(("tput -T " + term + " " + cap + " 2>/dev/null").c_str(), "r");
    std::string out;
    if (!p) return out;
    char buf[64];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
}

TEST(KeysTest, TerminfoKeysOfCommonTerminals) {
    struct Cap {
        const char* name;
        int32_t code;
    };
    const Cap caps[] = {
        {"kcuu1", keys::UP},      {"kcud1", keys::DOWN},    {"kcuf1", keys::RIGHT},   {"kcub1", keys::LEFT},
        {"khome", keys::HOME},    {"kend", keys::END},      {"kich1", keys::INSERT},  {"kdch1", keys::DELETE},
        {"kpp", keys::PAGE_UP},   {"knp", keys::PAGE_DOWN}, {"kf1", -31},  {"kf2", -32},  {"kf3", -33},
        {"kf4", -34},  {"kf5", -35},  {"kf6", -36},  {"kf7", -37},  {"kf8", -38},  {"kf9", -39},
        {"kf10", -40}, {"kf11", -41}, {"kf12", -42},
    };
    if (tput("xterm", "kcuu1").empty()) GTEST_SKIP() << "no terminfo";
    for (const char* term : {"xterm", "xterm-256color", "linux", "screen", "tmux-256color", "rxvt", "vt220"}) {
        for (const Cap& cap : caps) {
            std::string bytes = tput(term, cap.name);
            if (bytes.empty()) continue;
            SCOPED_TRACE(std::string(term) + " " + cap.name);
            EXPECT_EQ(decode(bytes, false), Codes{cap.code});
        }
    }
}

}  // namespace
