// Zelbin stream frame: the header (magic, version, flags), the layout's
// counts and symbol table around the payload the record writers produce, and
// the reader's entry that checks the frame and hands the payload to the
// record reader of its layout.
#include <climits>
#include <cstring>

#include "core/block.h"
#include "core/raise.h"
#include "datatypes/binary.h"
#include "io/zelbin.h"
#include "io/zelbin_internal.h"
#include "kernel/lz.h"
#include "kernel/print.h"
#include "kernel/runtime.h"

namespace zel {
namespace zelbin {

bool is_codec = false;

namespace {

constexpr char MAGIC[6] = {'Z', 'E', 'L', 'B', 'I', 'N'};
constexpr uint8_t VERSION = 2;
constexpr uint8_t BOOT_VERSION = 1;
enum Flags : uint8_t { FLAG_COMPACT = 1, FLAG_PACKED = 2, FLAG_SYMBOLS = 4 };

// Every way out of a writer leaves the codec state empty.
struct ResetOnExit {
    ~ResetOnExit() { reset(); }
};

void header(std::vector<uint8_t>& s, uint8_t flags) {
    s.assign(MAGIC, MAGIC + 6);
    s.push_back(VERSION);
    s.push_back(flags);
}

Cell to_binary(const std::vector<uint8_t>& s) {
    Cell c;
    binary::init_empty(&c, uint32_t(s.size()));
    binary::append_bytes(&c, s.data(), uint32_t(s.size()));
    return c;
}

void start_writer(bool fixed) {
    is_codec = true;
    writer.fixed = fixed;
    reset();
}

// A boot image that is no stream at all leaves the program without its
// words: start-up cannot go on, and the status says it failed.
[[noreturn]] void bad_stream(bool codec, const char* boot_message) {
    if (codec) error::raise(Err::script_invalid_data);
    print::chars(boot_message, uint32_t(std::strlen(boot_message)));
    print::char_('\n');
    runtime::at_exit(BOOT_FAILURE_STATUS);
}

// The tracked block an unpacked stream lives in, freed on every way out.
struct Unpacked {
    uint8_t* data = nullptr;
    ~Unpacked() {
        if (data) heap::free(data);
    }
};

}  // namespace

Cell compact_stream(uint8_t version, uint32_t records) {
    bool symbols = !writer.symbols.empty();
    std::vector<uint8_t> s;
    header(s, FLAG_COMPACT | (symbols ? FLAG_SYMBOLS : 0));
    s[6] = version;
    varint(s, records);
    varint(s, uint32_t(writer.out.size()));
    if (symbols) {
        varint(s, uint32_t(writer.symbols.size()));
        varint(s, uint32_t(writer.names.size()));
        for (uint32_t offset : writer.offsets) put32(s, offset);
        s.insert(s.end(), writer.names.begin(), writer.names.end());
    }
    s.insert(s.end(), writer.out.begin(), writer.out.end());
    return to_binary(s);
}

Cell encode_cp(const Cell* value) {
    ResetOnExit guard;
    start_writer(false);
    write_compact(value);
    return compact_stream(VERSION, 1);
}

Cell encode_boot(const Cell* bindings, const Cell* values) {
    ResetOnExit guard;
    start_writer(false);
    uint32_t pairs = block::buffer_length(bindings) / 2;
    for (uint32_t i = 0; i < pairs; i++) {
        Cell word = *block::cell_at(bindings, 2 * i), value = *block::cell_at(bindings, 2 * i + 1);
        write_compact_binding(&word, &value);
    }
    uint32_t count = block::buffer_length(values);
    for (uint32_t i = 0; i < count; i++) {
        Cell value = *block::cell_at(values, i);
        write_compact(&value);
    }
    return compact_stream(BOOT_VERSION, count);
}

Cell encode(const Cell* value) {
    ResetOnExit guard;
    start_writer(true);
    write_fixed(value);
    bool symbols = !writer.symbols.empty();
    std::vector<uint8_t> s;
    header(s, symbols ? FLAG_SYMBOLS : 0);
    put32(s, 1);
    put32(s, uint32_t(writer.out.size()));
    if (symbols) {
        put32(s, uint32_t(writer.symbols.size()));
        put32(s, uint32_t(writer.names.size()));
        for (uint32_t offset : writer.offsets) put32(s, offset);
        s.insert(s.end(), writer.names.begin(), writer.names.end());
    }
    s.insert(s.end(), writer.out.begin(), writer.out.end());
    return to_binary(s);
}

const Cell* decode(const uint8_t* data, const Cell* target, bool codec, int64_t length) {
    // An open length trusts the stream's own counts (the boot image).
    int64_t size = length < 0 ? INT32_MAX : length;
    if (size < 8 || std::memcmp(data, MAGIC, sizeof MAGIC) != 0) bad_stream(codec, "Error: Not a Zelbin file!");
    uint8_t flags = data[7];
    Reader r{};
    r.start = data;
    r.pos = data + 8;
    r.end = data + size;
    r.has_symbols = (flags & FLAG_SYMBOLS) != 0;
    r.codec = codec;
    r.target = cell::series_node(target);
    r.base = block::buffer_length(target);
    boot_bindings.clear();
    Unpacked unpacked;
    if (flags & FLAG_PACKED) {
        uint32_t produced = 0;
        unpacked.data = lz::decompress(r.pos, size_t(r.end - r.pos), &produced);
        if (!unpacked.data) bad_stream(codec, "Error: Zelbin compressed data corrupted!");
        r.start = r.pos = unpacked.data;
        r.end = unpacked.data + produced;
    }
    if (flags & FLAG_COMPACT) read_compact(r);
    else read_fixed(r);
    uint32_t loaded = block::buffer_length(target);
    if (!codec) apply_boot_bindings();  // may grow the root block: the first cell is taken after
    return r.base < loaded ? block::cell_at(target, r.base) : nullptr;
}

}  // namespace zelbin
}  // namespace zel
