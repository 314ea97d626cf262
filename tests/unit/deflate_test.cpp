// Deflate, inflate, zlib and gzip. Oracles: python3's zlib and gzip modules
// (run through popen over the same bytes) and the gzip command decode what we
// encode and encode what we decode; a small bit writer here spells out the
// streams that only a hand can make (fixed layouts and malformed data).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "interpreter/checksum.h"
#include "io/deflate.h"

namespace zel {
namespace {

using Bytes = std::vector<uint8_t>;
using Coder = compress::Coder;

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- running the coders ------------------------------------------------------------

Bytes encode(Coder coder, const Bytes& in) {
    Bytes out(in.size() * 9 / 8 + 64);
    size_t n = out.size();
    EXPECT_EQ(coder(out.data(), &n, in.data(), in.size()), ZIP_DONE);
    out.resize(n);
    return out;
}

// Measures, then decodes into a buffer of exactly the measured size.
int decode(Coder coder, const Bytes& in, Bytes* out) {
    size_t n = 0;
    int rc = coder(nullptr, &n, in.data(), in.size());
    if (rc != ZIP_NO_ROOM) {
        out->clear();
        return rc;
    }
    out->assign(n, 0);
    size_t m = n;
    rc = coder(out->data(), &m, in.data(), in.size());
    EXPECT_EQ(m, n);
    return rc;
}

// ---- oracles -----------------------------------------------------------------------

std::string temp_path(const char* name) {
    return testing::TempDir() + "deflate_test_" + std::to_string(getpid()) + "_" + name;
}

void write_file(const std::string& path, const Bytes& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

// The standard output of a shell command given the bytes on its standard input.
Bytes run_command(const std::string& command, const Bytes& input) {
    std::string path = temp_path("stdin");
    write_file(path, input);
    FILE* p = popen((command + " < " + path).c_str(), "r");
    Bytes out;
    uint8_t chunk[65536];
    size_t n;
    while (p && (n = std::fread(chunk, 1, sizeof chunk, p)) > 0) out.insert(out.end(), chunk, chunk + n);
    int status = p ? pclose(p) : -1;
    EXPECT_EQ(status, 0) << command;
    std::remove(path.c_str());
    return out;
}

// Records carry data between us and python3: a method letter (z zlib,
// d raw deflate, g gzip), a 4-byte little-endian length and the bytes.
// python3 decompresses each record of ours by its method.
const char* PY_DECODE =
    "import sys, zlib, gzip, struct\n"
    "d = sys.stdin.buffer.read(); p = 0\n"
    "while p < len(d):\n"
    "    m = d[p:p + 1]; n = struct.unpack('<I', d[p + 1:p + 5])[0]; x = d[p + 5:p + 5 + n]; p += 5 + n\n"
    "    o = zlib.decompress(x) if m == b'z' else zlib.decompress(x, -15) if m == b'd' else gzip.decompress(x)\n"
    "    sys.stdout.buffer.write(m + struct.pack('<I', len(o)) + o)\n";

// python3 compresses the input in several ways, a record for each.
const char* PY_ENCODE =
    "import sys, zlib, gzip, struct\n"
    "d = sys.stdin.buffer.read(); out = []\n"
    "for level in (0, 1, 6, 9): out.append((b'z', zlib.compress(d, level)))\n"
    "for level, strategy in ((1, 0), (9, 0), (6, zlib.Z_FIXED), (6, zlib.Z_HUFFMAN_ONLY), (6, zlib.Z_RLE)):\n"
    "    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy); out.append((b'd', c.compress(d) + c.flush()))\n"
    "c = zlib.compressobj(6, zlib.DEFLATED, -15); h = len(d) // 2\n"
    "out.append((b'd', c.compress(d[:h]) + c.flush(zlib.Z_FULL_FLUSH) + c.compress(d[h:]) + c.flush()))\n"
    "out.append((b'g', gzip.compress(d, 9, mtime=0)))\n"
    "for m, x in out: sys.stdout.buffer.write(m + struct.pack('<I', len(x)) + x)\n";

struct Record {
    char kind;
    Bytes data;
};

std::vector<Record> python_records(const Bytes& records) {
    std::vector<Record> v;
    for (size_t p = 0; p + 5 <= records.size();) {
        size_t n = records[p + 1] | records[p + 2] << 8 | records[p + 3] << 16 | size_t(records[p + 4]) << 24;
        v.push_back({char(records[p]), Bytes(records.begin() + p + 5, records.begin() + p + 5 + n)});
        p += 5 + n;
    }
    return v;
}

// The script quoted for the shell.
std::string python(const char* script) {
    std::string quoted;
    for (const char* s = script; *s; s++) quoted += *s == '\'' ? std::string("'\\''") : std::string(1, *s);
    return "python3 -c '" + quoted + "'";
}

// ---- inputs ------------------------------------------------------------------------

uint32_t lcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

std::vector<Bytes> inputs() {
    std::vector<Bytes> v = {{}, bytes_of("a"), bytes_of("hello hello hello"), Bytes(300, 'A'), Bytes(70000, 0)};
    Bytes all;
    for (int r = 0; r < 4; r++)
        for (int b = 0; b < 256; b++) all.push_back(uint8_t(b));
    v.push_back(all);
    uint32_t s = 7;
    Bytes noise(50000);
    for (uint8_t& b : noise) b = uint8_t(lcg(s));
    v.push_back(noise);
    // Text of a small vocabulary: many matches at every distance.
    const char* words[] = {"alpha ", "beta ", "gamma\n", "delta, ", "epsilon ", "zeta. ", "eta ", "theta "};
    std::string text;
    while (text.size() < 200000) text += words[lcg(s) % 8];
    v.push_back(bytes_of(text));
    // A block repeated beyond the window: no match may reach back that far.
    Bytes twice(40000);
    for (uint8_t& b : twice) b = uint8_t(lcg(s));
    twice.insert(twice.end(), twice.begin(), twice.end());
    v.push_back(twice);
    // gzip data is wrapped like any other bytes, so that it decodes to itself.
    v.push_back(Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    return v;
}

struct MethodCase {
    const char* name;
    char letter;
    Coder encode;
    Coder decode;
};
const MethodCase methods[] = {
    {"zlib", 'z', zlib::compress, zlib::decompress},
    {"deflate", 'd', deflate::compress, inflate::decompress},
    {"gzip", 'g', gzip::compress, gzip::decompress},
};

// ---- a bit writer for hand-made streams -------------------------------------------

struct BitSink {
    Bytes bytes;
    uint32_t acc = 0, n = 0;
    void bit(uint32_t b) {
        acc |= (b & 1) << n;
        if (++n == 8) {
            bytes.push_back(uint8_t(acc));
            acc = n = 0;
        }
    }
    // A number, least significant bit first.
    void bits(uint32_t v, uint32_t count) {
        for (uint32_t i = 0; i < count; i++) bit(v >> i);
    }
    // A Huffman code, most significant bit first.
    void code(uint32_t c, uint32_t length) {
        for (uint32_t i = length; i-- > 0;) bit(c >> i);
    }
    Bytes done() {
        if (n) bytes.push_back(uint8_t(acc));
        return bytes;
    }
};

// The fixed literal/length code of a symbol.
void fixed_symbol(BitSink& s, uint32_t sym) {
    if (sym < 144) s.code(0x30 + sym, 8);
    else if (sym < 256) s.code(0x190 + sym - 144, 9);
    else if (sym < 280) s.code(sym - 256, 7);
    else s.code(0xC0 + sym - 280, 8);
}

// Canonical codes for code lengths.
std::vector<uint32_t> canonical(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {0}, next[16] = {0};
    for (uint8_t l : lengths) count[l]++;
    count[0] = 0;
    for (uint32_t l = 1, code = 0; l < 16; l++) next[l] = code = (code + count[l - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); i++)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

// A final dynamic block header. The code-length code gives 0-12 four bits
// and 13-18 five (a complete code) unless other lengths are given; seq is the
// run of code-length symbols with their extra values.
struct Dynamic {
    uint32_t nlit, ndist;
    std::vector<uint8_t> lengths;                      // nlit + ndist code lengths
    std::vector<std::array<uint32_t, 2>> seq = {};     // when empty: lengths one by one
    std::vector<uint8_t> cl = std::vector<uint8_t>(19, 0);
};

void dynamic_header(BitSink& s, Dynamic d) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    if (d.cl == std::vector<uint8_t>(19, 0))
        for (int i = 0; i < 19; i++) d.cl[i] = i < 13 ? 4 : 5;
    if (d.seq.empty())
        for (uint8_t l : d.lengths) d.seq.push_back({l, 0});
    s.bits(1, 1);
    s.bits(2, 2);
    s.bits(d.nlit - 257, 5);
    s.bits(d.ndist - 1, 5);
    s.bits(15, 4);
    for (int i = 0; i < 19; i++) s.bits(d.cl[order[i]], 3);
    std::vector<uint32_t> codes = canonical(d.cl);
    static const uint32_t extra_bits[3] = {2, 3, 7};
    for (auto [sym, extra] : d.seq) {
        s.code(codes[sym], d.cl[sym]);
        if (sym >= 16) s.bits(extra, extra_bits[sym - 16]);
    }
}

// Literal/length lengths of 258 symbols giving 'a' 1 bit and 256, 257 two
// bits, and one distance code of 1 bit.
std::vector<uint8_t> small_lengths(uint8_t a, uint8_t eob, uint8_t len3, uint8_t dist0) {
    std::vector<uint8_t> l(259, 0);
    l['a'] = a;
    l[256] = eob;
    l[257] = len3;
    l[258] = dist0;
    return l;
}

// 'a', then a match of 3 at distance 1, then the end: "aaaa".
Bytes small_dynamic(Dynamic d) {
    BitSink s;
    dynamic_header(s, d);
    std::vector<uint8_t> lit(d.lengths.begin(), d.lengths.begin() + d.nlit);
    std::vector<uint32_t> codes = canonical(lit);
    s.code(codes['a'], lit['a']);
    s.code(codes[257], lit[257]);
    s.code(0, 1);
    s.code(codes[256], lit[256]);
    return s.done();
}

// ---- the layouts the encoder must produce ----------------------------------------

TEST(Deflate, EncoderLayouts) {
    EXPECT_EQ(encode(deflate::compress, {}), (Bytes{0x03, 0x00}));
    EXPECT_EQ(encode(zlib::compress, {}), (Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(encode(gzip::compress, {}), (Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // 300 equal bytes: 3 literals, 258 at distance 1, then 39 at distance
    // 258 (the slot still holds the start of the previous step).
    BitSink s;
    s.bits(1, 1);
    s.bits(1, 2);
    for (int i = 0; i < 3; i++) fixed_symbol(s, 'A');
    fixed_symbol(s, 285);
    s.code(0, 5);
    fixed_symbol(s, 273);  // lengths 35-42
    s.bits(39 - 35, 3);
    s.code(16, 5);  // distances 257-384
    s.bits(258 - 257, 7);
    fixed_symbol(s, 256);
    EXPECT_EQ(encode(deflate::compress, Bytes(300, 'A')), s.done());
}

// ---- oracles both ways ----------------------------------------------------------

TEST(Deflate, PythonDecodesOurOutput) {
    Bytes records;
    std::vector<Record> expected;
    for (const Bytes& in : inputs())
        for (const MethodCase& m : methods) {
            Bytes packed = encode(m.encode, in);
            uint32_t n = uint32_t(packed.size());
            records.insert(records.end(), {uint8_t(m.letter), uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
            records.insert(records.end(), packed.begin(), packed.end());
            expected.push_back({m.letter, in});
        }
    std::vector<Record> decoded = python_records(run_command(python(PY_DECODE), records));
    ASSERT_EQ(decoded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(decoded[i].data, expected[i].data) << expected[i].kind << " of " << expected[i].data.size() << " bytes";
}

TEST(Deflate, WeDecodePythonOutput) {
    for (const Bytes& in : inputs()) {
        std::vector<Record> records = python_records(run_command(python(PY_ENCODE), in));
        EXPECT_EQ(records.size(), 11u);
        for (size_t i = 0; i < records.size(); i++) {
            char kind = records[i].kind;
            Coder coder = kind == 'z' ? zlib::decompress : kind == 'd' ? inflate::decompress : gzip::decompress;
            Bytes out;
            EXPECT_EQ(decode(coder, records[i].data, &out), ZIP_DONE) << "record " << i << " of " << in.size() << " bytes";
            EXPECT_EQ(out, in) << "record " << i << " of " << in.size() << " bytes";
        }
    }
}

TEST(Deflate, GzipCommandBothWays) {
    std::string path = temp_path("gzip_input");
    for (const Bytes& in : inputs()) {
        write_file(path, in);
        // gzip names the file in its header when it reads one (FNAME).
        for (std::string command : {"gzip -c -9 " + path, std::string("gzip -c -n -1")}) {
            Bytes out;
            EXPECT_EQ(decode(gzip::decompress, run_command(command, in), &out), ZIP_DONE) << command;
            EXPECT_EQ(out, in) << command;
        }
        EXPECT_EQ(run_command("gzip -dc", encode(gzip::compress, in)), in);
    }
    std::remove(path.c_str());
}

TEST(Deflate, RoundTrips) {
    for (const Bytes& in : inputs())
        for (const MethodCase& m : methods) {
            Bytes out;
            EXPECT_EQ(decode(m.decode, encode(m.encode, in), &out), ZIP_DONE) << m.name;
            EXPECT_EQ(out, in) << m.name;
        }
}

// ---- buffers that are too small ---------------------------------------------------

TEST(Deflate, SmallBuffersCountTheSizeNeeded) {
    constexpr size_t GUARD = 32;
    Bytes in = bytes_of("small buffers, small buffers, small buffers never overflow");
    for (const MethodCase& m : methods) {
        Bytes packed = encode(m.encode, in);
        // Encoding into one byte less: the full size, nothing past the end.
        Bytes out(packed.size() - 1 + GUARD, 0xEE);
        size_t n = packed.size() - 1;
        EXPECT_EQ(m.encode(out.data(), &n, in.data(), in.size()), ZIP_NO_ROOM) << m.name;
        EXPECT_EQ(n, packed.size()) << m.name;
        EXPECT_EQ(Bytes(out.end() - GUARD, out.end()), Bytes(GUARD, 0xEE)) << m.name;
        // Decoding into one byte less: the exact size, the prefix, no more.
        out.assign(in.size() - 1 + GUARD, 0xEE);
        n = in.size() - 1;
        EXPECT_EQ(m.decode(out.data(), &n, packed.data(), packed.size()), ZIP_NO_ROOM) << m.name;
        EXPECT_EQ(n, in.size()) << m.name;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + in.size() - 1), Bytes(in.begin(), in.end() - 1)) << m.name;
        EXPECT_EQ(Bytes(out.end() - GUARD, out.end()), Bytes(GUARD, 0xEE)) << m.name;
    }
    // Below the envelope's own size: code 2 and the input length plus it.
    uint8_t tiny[17];
    size_t n = 5;
    EXPECT_EQ(zlib::compress(tiny, &n, in.data(), in.size()), ZIP_BAD_DATA);
    EXPECT_EQ(n, in.size() + 6);
    n = 17;
    EXPECT_EQ(gzip::compress(tiny, &n, in.data(), in.size()), ZIP_BAD_DATA);
    EXPECT_EQ(n, in.size() + 18);
}

// ---- malformed deflate data ---------------------------------------------------------

struct BadCase {
    const char* what;
    Bytes data;
    int rc;
};

Bytes fixed_stream(std::initializer_list<std::array<uint32_t, 2>> symbols) {
    BitSink s;
    s.bits(1, 1);
    s.bits(1, 2);
    for (auto [sym, dist] : symbols) {
        fixed_symbol(s, sym);
        if (sym > 256) s.code(dist, 5);  // length 3-10 symbols have no extra bits
    }
    return s.done();
}

TEST(Deflate, MalformedRawData) {
    std::vector<uint8_t> good = small_lengths(1, 2, 2, 1);
    std::vector<uint8_t> oversubscribed(19, 4);
    std::vector<uint8_t> incomplete(19, 0);
    for (int i = 0; i < 13; i++) incomplete[i] = 4;
    const BadCase cases[] = {
        {"empty input", {}, ZIP_BAD_DATA},
        {"reserved block type", {0x07}, ZIP_BAD_BLOCK},
        {"stored block past the end", {0x01, 0x05, 0x00, 0xFA, 0xFF, 'a'}, ZIP_BAD_CODE},
        {"stored length check", {0x01, 0x01, 0x00, 0x00, 0x00, 'a'}, ZIP_BAD_CODE},
        {"stored header cut", {0x01, 0x01, 0x00}, ZIP_BAD_DATA},
        {"no final block", {0x00, 0x00, 0x00, 0xFF, 0xFF}, ZIP_BAD_DATA},
        {"distance before the start", fixed_stream({{257, 0}, {256, 0}}), ZIP_BAD_DISTANCE},
        {"distance 2 after one byte", fixed_stream({{'a', 0}, {257, 1}, {256, 0}}), ZIP_BAD_DISTANCE},
        {"length symbol 286", fixed_stream({{'a', 0}, {286, 0}}), ZIP_BAD_CODE},
        {"distance symbol 30", fixed_stream({{'a', 0}, {257, 30}}), ZIP_BAD_CODE},
        {"HLIT above 286", small_dynamic({287, 1, std::vector<uint8_t>(288, 0)}), ZIP_BAD_CODE},
        {"HDIST above 30", small_dynamic({258, 31, std::vector<uint8_t>(289, 0)}), ZIP_BAD_CODE},
        {"over-subscribed code-length code", small_dynamic({258, 1, good, {}, oversubscribed}), ZIP_BAD_CODE},
        {"incomplete code-length code", small_dynamic({258, 1, good, {}, incomplete}), ZIP_BAD_CODE},
        {"repeat with no previous length", small_dynamic({258, 1, good, {{16, 0}}}), ZIP_BAD_CODE},
        {"repeat past the last length", small_dynamic({258, 1, good, {{18, 127}, {18, 127}, {18, 127}}}), ZIP_BAD_CODE},
        {"no end-of-block code", small_dynamic({258, 1, small_lengths(1, 0, 1, 1)}), ZIP_BAD_CODE},
        {"incomplete literal code", small_dynamic({258, 1, small_lengths(1, 2, 0, 1)}), ZIP_BAD_CODE},
        {"over-subscribed literal code", small_dynamic({258, 1, small_lengths(1, 1, 1, 1)}), ZIP_BAD_CODE},
        {"no distance code for a match", small_dynamic({258, 1, small_lengths(1, 2, 2, 0)}), ZIP_BAD_CODE},
    };
    for (const BadCase& c : cases) {
        Bytes out(64);
        size_t n = out.size();
        EXPECT_EQ(inflate::decompress(out.data(), &n, c.data.data(), c.data.size()), c.rc) << c.what;
        n = 0;
        EXPECT_EQ(inflate::decompress(nullptr, &n, c.data.data(), c.data.size()), c.rc) << c.what << " (measuring)";
    }
    // The well-formed neighbours of the cases above.
    Bytes out;
    EXPECT_EQ(decode(inflate::decompress, small_dynamic({258, 1, good}), &out), ZIP_DONE);
    EXPECT_EQ(out, bytes_of("aaaa"));
    EXPECT_EQ(decode(inflate::decompress, {0x01, 0x01, 0x00, 0xFE, 0xFF, 'a'}, &out), ZIP_DONE);
    EXPECT_EQ(out, bytes_of("a"));
    // A lone distance code of one bit: its other pattern matches nothing.
    BitSink s;
    dynamic_header(s, {258, 1, good});
    s.code(0, 1);  // 'a'
    s.code(3, 2);  // length 3
    s.code(1, 1);  // no such distance code
    EXPECT_EQ(decode(inflate::decompress, s.done(), &out), ZIP_BAD_CODE);
}

TEST(Deflate, EveryPrefixIsTruncated) {
    Bytes in = bytes_of("prefixes of a stream end inside a block, prefixes of a stream");
    for (const MethodCase& m : methods) {
        Bytes packed = encode(m.encode, in);
        for (size_t k = 0; k < packed.size(); k++) {
            Bytes part(packed.begin(), packed.begin() + k), out;
            EXPECT_EQ(decode(m.decode, part, &out), ZIP_BAD_DATA) << m.name << " cut at " << k;
        }
    }
}

// ---- envelopes --------------------------------------------------------------------

Bytes with_byte(Bytes b, size_t at, uint8_t value) {
    b[at] = value;
    return b;
}

// A zlib header with the check bits that make it a multiple of 31.
Bytes zlib_header(Bytes z, uint8_t cmf, uint8_t flags) {
    uint32_t flg = flags & 0xE0;
    flg += (31 - (cmf * 256u + flg) % 31) % 31;
    z[0] = cmf;
    z[1] = uint8_t(flg);
    return z;
}

// A gzip member with every optional header field, the header CRC last.
Bytes gzip_with_fields(const Bytes& packed, uint8_t flags, bool good_crc) {
    Bytes g(packed.begin(), packed.begin() + 10);
    g[3] = flags;
    if (flags & 4) {
        Bytes extra = {5, 0, 'x', 'y', 'z', 'w', 'v'};
        g.insert(g.end(), extra.begin(), extra.end());
    }
    if (flags & 8) g.insert(g.end(), {'n', 'a', 'm', 'e', 0});
    if (flags & 16) g.insert(g.end(), {'c', 'o', 'm', 0});
    if (flags & 2) {
        uint32_t crc = checksum::crc32(g.data(), uint32_t(g.size())) ^ (good_crc ? 0 : 1);
        g.insert(g.end(), {uint8_t(crc), uint8_t(crc >> 8)});
    }
    g.insert(g.end(), packed.begin() + 10, packed.end());
    return g;
}

TEST(Deflate, EnvelopeHeadersAndTrailers) {
    Bytes in = bytes_of("envelope checks");
    Bytes z = encode(zlib::compress, in), g = encode(gzip::compress, in);
    size_t zn = z.size(), gn = g.size();
    Bytes unended_name(g.begin(), g.begin() + 10);
    unended_name[3] = 8;
    unended_name.insert(unended_name.end(), 20, 'x');
    const struct {
        const char* what;
        Coder coder;
        Bytes data;
        int rc;
    } cases[] = {
        {"zlib: shorter than its envelope", zlib::decompress, {0x78, 0x01, 0x03, 0x00, 0x00}, ZIP_BAD_DATA},
        {"zlib: check bits", zlib::decompress, with_byte(z, 1, 0x02), ZIP_BAD_DATA},
        {"zlib: method 7", zlib::decompress, zlib_header(z, 0x77, 0), ZIP_BAD_DATA},
        {"zlib: window 8", zlib::decompress, zlib_header(z, 0x88, 0), ZIP_BAD_DATA},
        {"zlib: preset dictionary", zlib::decompress, zlib_header(z, 0x78, 0x20), ZIP_BAD_DATA},
        {"zlib: well-formed header", zlib::decompress, zlib_header(z, 0x78, 0xC0), ZIP_DONE},
        {"zlib: Adler-32", zlib::decompress, with_byte(z, zn - 1, z[zn - 1] ^ 1), ZIP_BAD_DATA},
        {"zlib: level bits are free", zlib::decompress, with_byte(z, 1, 0xDA), ZIP_DONE},
        {"gzip: shorter than 18", gzip::decompress, Bytes(g.begin(), g.begin() + 17), ZIP_BAD_DATA},
        {"gzip: magic", gzip::decompress, with_byte(g, 1, 0x8C), ZIP_BAD_DATA},
        {"gzip: method", gzip::decompress, with_byte(g, 2, 7), ZIP_BAD_DATA},
        {"gzip: reserved flag 32", gzip::decompress, with_byte(g, 3, 32), ZIP_BAD_DATA},
        {"gzip: reserved flag 128", gzip::decompress, with_byte(g, 3, 128), ZIP_BAD_DATA},
        {"gzip: CRC-32", gzip::decompress, with_byte(g, gn - 8, g[gn - 8] ^ 1), ZIP_BAD_DATA},
        {"gzip: size", gzip::decompress, with_byte(g, gn - 4, g[gn - 4] + 1), ZIP_BAD_DATA},
        {"gzip: huge size", gzip::decompress, with_byte(with_byte(g, gn - 1, 0xFF), gn - 2, 0xFF), ZIP_BAD_DATA},
        {"gzip: text flag is free", gzip::decompress, with_byte(g, 3, 1), ZIP_DONE},
        {"gzip: every field", gzip::decompress, gzip_with_fields(g, 2 | 4 | 8 | 16, true), ZIP_DONE},
        {"gzip: header CRC", gzip::decompress, gzip_with_fields(g, 2 | 8, false), ZIP_BAD_DATA},
        {"gzip: name without end", gzip::decompress, unended_name, ZIP_BAD_DATA},
        {"gzip: extra past the end", gzip::decompress, with_byte(gzip_with_fields(g, 4, true), 10, 200), ZIP_BAD_DATA},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(decode(c.coder, c.data, &out), c.rc) << c.what;
        if (c.rc == ZIP_DONE) {
            EXPECT_EQ(out, in) << c.what;
        }
    }
}

// ---- mutated streams -----------------------------------------------------------------

// Whatever the input, decoding ends with a known code, measuring agrees with
// decoding, and a smaller buffer holds a prefix of the same bytes.
void check_mutant(const MethodCase& m, const Bytes& data) {
    size_t measured = 0;
    int rc = m.decode(nullptr, &measured, data.data(), data.size());
    ASSERT_TRUE(rc >= ZIP_DONE && rc <= ZIP_BAD_DISTANCE);
    if (rc != ZIP_NO_ROOM || measured > (1u << 22)) return;
    Bytes full(measured);
    size_t n = measured;
    int full_rc = m.decode(full.data(), &n, data.data(), data.size());
    if (m.decode == inflate::decompress) {
        EXPECT_EQ(full_rc, ZIP_DONE);
    }
    EXPECT_EQ(n, measured);
    Bytes part(measured / 2);
    n = part.size();
    EXPECT_EQ(m.decode(part.data(), &n, data.data(), data.size()), ZIP_NO_ROOM);
    EXPECT_EQ(n, measured);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin()));
}

TEST(Deflate, MutatedStreamsStayInBounds) {
    Bytes text = inputs()[7];
    text.resize(3000);
    std::vector<std::pair<const MethodCase*, Bytes>> seeds;
    for (const MethodCase& m : methods) seeds.push_back({&m, encode(m.encode, text)});
    // python3's raw level 9 output (dynamic blocks) and its zlib level 0 one
    // (stored blocks).
    std::vector<Record> records = python_records(run_command(python(PY_ENCODE), text));
    seeds.push_back({&methods[1], records.at(5).data});
    seeds.push_back({&methods[0], records.at(0).data});
    seeds.push_back({&methods[2], gzip_with_fields(seeds[2].second, 2 | 4 | 8 | 16, true)});
    uint32_t state = 12345;
    for (const auto& [m, seed] : seeds)
        for (int round = 0; round < 600; round++) {
            Bytes data = seed;
            uint32_t kind = lcg(state) % 4;
            size_t at = lcg(state) % data.size();
            if (kind == 0) data[at] ^= uint8_t(1u << (lcg(state) % 8));
            else if (kind == 1) data[at] = uint8_t(lcg(state));
            else if (kind == 2) data.resize(at);
            else for (int k = 0; k < 8; k++) data[lcg(state) % data.size()] ^= uint8_t(lcg(state));
            check_mutant(*m, data);
        }
}

}  // namespace
}  // namespace zel
