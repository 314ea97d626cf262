// The checksum module and the digest service: CRC-32, Adler-32, the Internet
// checksum, MD5 and the SHA family, and HMAC, each against python3 (zlib,
// hashlib, hmac) run through popen over the same bytes; the method words;
// the messages of the methods that have no HMAC or no hash; the secure
// random bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/symbol.h"
#include "interpreter/checksum.h"
#include "output_capture.h"
#include "platform/digest.h"
#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace {

using checksum::Digest;
using checksum::Method;

// The test bytes: the same rule in C++ and in the python3 oracle.
std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; i++) out[i] = uint8_t((i * 131 + 7) & 255);
    return out;
}
const char PATTERN_PY[] = "def pattern(n): return bytes((i * 131 + 7) & 255 for i in range(n))\n";

// Lengths about every block boundary of both block sizes, and a large input.
const uint32_t lengths[] = {0,   1,   3,   55,  56,  57,  63,  64,   65,     111,
                            112, 113, 119, 120, 127, 128, 129, 1000, 1u << 20};
const char LENGTHS_PY[] =
    "lengths = [0, 1, 3, 55, 56, 57, 63, 64, 65, 111, 112, 113, 119, 120, 127, 128, 129, 1000, 1 << 20]\n";

// The digests by code, as python3 names them.
struct Algorithm {
    int32_t code;
    Method method;
    const char* name;
};
const Algorithm algorithms[] = {
    {checksum::C_MD5, checksum::M_MD5, "md5"},          {checksum::C_SHA1, checksum::M_SHA1, "sha1"},
    {checksum::C_SHA256, checksum::M_SHA256, "sha256"}, {checksum::C_SHA384, checksum::M_SHA384, "sha384"},
    {checksum::C_SHA512, checksum::M_SHA512, "sha512"},
};
const char NAMES_PY[] = "names = ['md5', 'sha1', 'sha256', 'sha384', 'sha512']\n";

// The lines python3 prints for the program.
std::vector<std::string> python(const std::string& program) {
    std::string out = test_values::run("python3 - <<'EOF'\n" + std::string(PATTERN_PY) + LENGTHS_PY + NAMES_PY +
                                       program + "EOF\n");
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string hex(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; i++) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}
std::string hex(const Digest& d) { return hex(d.bytes, d.size); }

const uint8_t* bytes_of(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

struct ChecksumTest : ::testing::Test {
    void SetUp() override { test_support::interpreter_ready(); }
};

// ---- the checksums ---------------------------------------------------------------

TEST_F(ChecksumTest, ChecksumsMatchPython) {
    std::vector<std::string> expected = python(
        "import zlib\n"
        "def tcp(b):\n"
        "    s = sum(b[i] << 8 | b[i + 1] for i in range(0, len(b) - 1, 2)) + (b[-1] if len(b) % 2 else 0)\n"
        "    while s >> 16: s = (s >> 16) + (s & 0xFFFF)\n"
        "    return ~s & 0xFFFF\n"
        "for n in lengths:\n"
        "    b = pattern(n)\n"
        "    print(zlib.crc32(b), zlib.adler32(b), tcp(b))\n");
    ASSERT_EQ(expected.size(), std::size(lengths));
    for (size_t i = 0; i < std::size(lengths); i++) {
        std::vector<uint8_t> data = pattern(lengths[i]);
        std::ostringstream got;
        got << checksum::crc32(data.data(), lengths[i]) << ' ' << checksum::adler32(data.data(), lengths[i]) << ' '
            << checksum::tcp(data.data(), lengths[i]);
        EXPECT_EQ(got.str(), expected[i]) << "length " << lengths[i];
    }
}

TEST_F(ChecksumTest, KnownChecksums) {
    EXPECT_EQ(checksum::crc32(bytes_of("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(checksum::adler32(bytes_of("abc"), 3), 0x024D0127u);
    struct TcpCase {
        std::vector<uint8_t> data;
        uint32_t sum;
    };
    const TcpCase tcp_cases[] = {
        {{}, 0xFFFF},
        {{0x01}, 0xFFFE},              // the odd byte is a low byte
        {{0x01, 0x02, 0x03}, 0xFEFA},  // 0x0102 + 0x03
        {{0xFF, 0xFF}, 0x0000},
        {{0x80, 0x00, 0x80, 0x00}, 0xFFFE},  // the carry folds back in
    };
    for (const TcpCase& c : tcp_cases) EXPECT_EQ(checksum::tcp(c.data.data(), uint32_t(c.data.size())), c.sum);
}

// A sum of 32 bits would lose the carries of all-ones data past 128 KiB.
TEST_F(ChecksumTest, InternetChecksumOfLongDataKeepsItsCarries) {
    std::vector<uint8_t> ones(1u << 20, 0xFF);
    EXPECT_EQ(checksum::tcp(ones.data(), uint32_t(ones.size())), 0u);
    ones.push_back(0x01);
    EXPECT_EQ(checksum::tcp(ones.data(), uint32_t(ones.size())), 0xFFFEu);
}

// ---- the digests -----------------------------------------------------------------

TEST_F(ChecksumTest, DigestsMatchHashlib) {
    std::vector<std::string> expected = python(
        "import hashlib\n"
        "for name in names:\n"
        "    for n in lengths: print(hashlib.new(name, pattern(n)).hexdigest())\n");
    ASSERT_EQ(expected.size(), std::size(algorithms) * std::size(lengths));
    size_t line = 0;
    for (const Algorithm& a : algorithms) {
        for (uint32_t n : lengths) {
            std::vector<uint8_t> data = pattern(n);
            EXPECT_EQ(hex(checksum::digest(data.data(), n, a.code)), expected[line++]) << a.name << " of " << n;
        }
    }
}

// Fed in pieces of every size from 1 to past a block, a digest is the one of
// the whole buffer.
TEST_F(ChecksumTest, DigestFedInPieces) {
    std::vector<uint8_t> data = pattern(300);
    for (const Algorithm& a : algorithms) {
        platform::DigestKind kind = platform::DigestKind(a.code - checksum::C_MD5);
        uint8_t whole[platform::DIGEST_MAX_SIZE], pieces[platform::DIGEST_MAX_SIZE];
        platform::digest(kind, data.data(), data.size(), whole);
        for (size_t piece = 1; piece <= 130; piece++) {
            platform::DigestState s;
            platform::digest_begin(&s, kind);
            for (size_t at = 0; at < data.size(); at += piece)
                platform::digest_feed(&s, data.data() + at, std::min(piece, data.size() - at));
            platform::digest_end(&s, pieces);
            ASSERT_EQ(hex(pieces, platform::digest_size(kind)), hex(whole, platform::digest_size(kind)))
                << a.name << " in pieces of " << piece;
        }
    }
}

TEST_F(ChecksumTest, DigestCodesAndSizes) {
    const int32_t sizes[][2] = {{-1, 0}, {0, 0}, {1, 0}, {2, 16}, {3, 20}, {4, 32}, {5, 48}, {6, 64}, {7, 0}};
    for (const auto& s : sizes) EXPECT_EQ(checksum::digest_size(s[0]), uint32_t(s[1])) << "code " << s[0];
    for (int32_t code : {-1, 0, 1, 7}) {
        EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { checksum::digest(bytes_of("a"), 1, code); }))
            << "code " << code;
    }
}

// ---- method words -----------------------------------------------------------------

TEST_F(ChecksumTest, MethodWords) {
    struct Case {
        const char* word;
        Method method;
        int32_t code;
    };
    const Case cases[] = {
        {"tcp", checksum::M_TCP, 0},        {"MD5", checksum::M_MD5, 2},       {"Sha1", checksum::M_SHA1, 3},
        {"crc32", checksum::M_CRC32, 1},    {"ADLER32", checksum::M_ADLER32, -1}, {"sha256", checksum::M_SHA256, 4},
        {"sha384", checksum::M_SHA384, 5},  {"SHA512", checksum::M_SHA512, 6}, {"hash", checksum::M_HASH, -1},
    };
    for (const Case& c : cases) {
        Method m = checksum::method_of(symbol::intern(c.word));
        EXPECT_EQ(m, c.method) << c.word;
        if (m < checksum::METHODS) {
            EXPECT_EQ(checksum::method_code(m), c.code) << c.word;
        }
    }
    for (const char* other : {"sha-256", "md4", "crc", "hash!"})
        EXPECT_EQ(checksum::method_of(symbol::intern(other)), checksum::METHODS) << other;
}

// ---- HMAC ---------------------------------------------------------------------------

// Keys empty, short, of the block size and one longer (64 and 128 bytes),
// and long.
TEST_F(ChecksumTest, HmacMatchesPython) {
    const uint32_t key_lengths[] = {0, 3, 64, 65, 128, 129, 200};
    const uint32_t data_lengths[] = {0, 50, 1000};
    std::vector<std::string> expected = python(
        "import hmac\n"
        "for name in names:\n"
        "    for k in [0, 3, 64, 65, 128, 129, 200]:\n"
        "        for n in [0, 50, 1000]: print(hmac.new(pattern(k)[::-1], pattern(n), name).hexdigest())\n");
    ASSERT_EQ(expected.size(), std::size(algorithms) * std::size(key_lengths) * std::size(data_lengths));
    size_t line = 0;
    for (const Algorithm& a : algorithms) {
        for (uint32_t k : key_lengths) {
            std::vector<uint8_t> key = pattern(k);
            std::reverse(key.begin(), key.end());
            for (uint32_t n : data_lengths) {
                std::vector<uint8_t> data = pattern(n);
                EXPECT_EQ(hex(checksum::hmac(data.data(), n, key.data(), k, a.method)), expected[line++])
                    << a.name << ", key " << k << ", data " << n;
            }
        }
    }
}

// A key one byte longer than the block is replaced by its digest; a key of
// the block size is used as it is.
TEST_F(ChecksumTest, HmacHashesOnlyKeysLongerThanTheBlock) {
    for (const Algorithm& a : algorithms) {
        uint32_t block = a.code >= checksum::C_SHA384 ? 128 : 64;
        for (uint32_t k : {block, block + 1}) {
            std::vector<uint8_t> key = pattern(k);
            Digest short_key = checksum::digest(key.data(), k, a.code);
            Digest direct = checksum::hmac(bytes_of("abc"), 3, key.data(), k, a.method);
            Digest through = checksum::hmac(bytes_of("abc"), 3, short_key.bytes, short_key.size, a.method);
            EXPECT_EQ(hex(direct) == hex(through), k > block) << a.name << ", key " << k;
        }
    }
}

TEST_F(ChecksumTest, MethodsWithoutHmacSaySo) {
    for (Method m : {checksum::M_CRC32, checksum::M_TCP, checksum::M_HASH, checksum::M_ADLER32}) {
        Digest d;
        std::string said =
            output_capture::capture(false, [&] { d = checksum::hmac(bytes_of("abc"), 3, bytes_of("k"), 1, m); });
        EXPECT_EQ(said, "The selected algorithm doesn't support HMAC calculation\n") << m;
        EXPECT_EQ(d.size, 0u) << m;
    }
}

// Known MurmurHash3 x86_32 vectors (seed 0, the runtime's), and the bucket
// numbers a table size gives.
TEST_F(ChecksumTest, HashIsTheTablesMurmurHash) {
    struct Vector {
        const char* text;
        uint32_t hash;
    };
    const Vector vectors[] = {
        {"", 0u}, {"hello", 0x248BFA47u}, {"The quick brown fox jumps over the lazy dog", 0x2E4FF723u}};
    for (const Vector& v : vectors) {
        uint32_t n = uint32_t(std::strlen(v.text));
        EXPECT_EQ(checksum::table_hash(bytes_of(v.text), n, 0), v.hash) << v.text;
        EXPECT_EQ(checksum::table_hash(bytes_of(v.text), n, 1000), v.hash % 1000) << v.text;
        EXPECT_EQ(checksum::table_hash(bytes_of(v.text), n, 1), 0u) << v.text;
    }
}

// ---- secure random bytes -------------------------------------------------------------

TEST_F(ChecksumTest, GenRandomFillsTheBuffer) {
    uint8_t a[32] = {}, b[32] = {};
    ASSERT_TRUE(crypto::gen_random(a, sizeof a));
    ASSERT_TRUE(crypto::gen_random(b, sizeof b));
    EXPECT_NE(std::memcmp(a, b, sizeof a), 0);  // equal draws: 1 chance in 2^256
    EXPECT_TRUE(crypto::gen_random(nullptr, 0));
}

}  // namespace
}  // namespace zel
