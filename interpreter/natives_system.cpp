// The exception, exit and system natives: the module table, and the natives
// about memory (stats, recycle), the lexer (transcode), parse (the engine is
// interpreter/parse.h) and the argument checks of checksum, whose engine
// comes with the digests. The other routines live beside this file by concern
// (natives_exits.cpp, natives_os.cpp).
#include "interpreter/natives_system.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/file.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/binary.h"
#include "datatypes/memory_stats.h"
#include "interpreter/checksum.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "interpreter/parse.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace natives {
namespace system {

using stack::reg;

namespace {

inline bool used(const int32_t* refinements, uint32_t i) { return refinements[i] >= 0; }
inline Cell* refinement_arg(const int32_t* refinements, uint32_t i) { return reg.base + refinements[i]; }

// The bytes in use: an integer! while they fit, else a float!.
void answer_usage() {
    double bytes = memory::frame_usage(nullptr, memory::USAGE_TOTAL);
    if (bytes > 2147483647.0) cell::make_float(reg.base, bytes);
    else cell::make_integer(reg.base, int32_t(bytes));
    reg.top = reg.base + 1;
}

// stats/show hands the listing to the library's show-memory-stats.
void show_stats(const Cell* listing) {
    const Cell* printer = context::get_word_cell(symbol::intern("show-memory-stats"), context::global_node);
    if (!printer || cell::type(printer) != T_FUNCTION) error::raise(Err::internal_not_done);
    Cell callable = *printer;
    interp::invoke(&callable, words::word(words::W_tag_anon), listing, 1);
}

// ---- transcode ------------------------------------------------------------------

enum TranscodeRefinement : uint32_t { TC_NEXT, TC_ONE, TC_PRESCAN, TC_SCAN, TC_PART, TC_INTO, TC_TRACE };

lexer::Mode transcode_mode(const int32_t* refinements) {
    if (used(refinements, TC_PRESCAN)) return lexer::MODE_PRESCAN;
    if (used(refinements, TC_SCAN)) return lexer::MODE_SCAN;
    if (used(refinements, TC_NEXT) || used(refinements, TC_ONE)) return lexer::MODE_ONE;
    return lexer::MODE_LOAD;
}

// The /part limit in the source's own units (bytes of a binary!, characters
// of a string!); -1 for the whole input.
int32_t transcode_length(const Cell* source, const int32_t* refinements) {
    if (!used(refinements, TC_PART)) return -1;
    const Cell* part = refinement_arg(refinements, TC_PART);
    int32_t n = cell::type(part) == T_INTEGER ? cell::get_int(part) : -1;
    if (cell::type(part) != T_INTEGER) {
        if (cell::type(part) != cell::type(source)) error::raise(Err::script_not_same_type);
        n = cell::series_index(part) - cell::series_index(source);
    }
    return n < 0 ? 0 : n;
}

// Bytes given to transcode start after a UTF-8 byte-order mark: the
// argument's position moves past it, so /next's rest counts from there too.
void skip_byte_order_mark(Cell* source, int32_t* length) {
    if (cell::type(source) != T_BINARY || (*length >= 0 && *length < 3)) return;
    SeriesBuffer* b = node::buffer(cell::series_node(source));
    uint32_t index = uint32_t(cell::series_index(source));
    if (index + 3 > series::length(b) || std::memcmp(series::head_ptr(b) + index, "\xEF\xBB\xBF", 3) != 0) return;
    cell::set_series_index(source, index + 3);
    if (*length >= 0) *length -= 3;
}

// /next answers [value rest], /one the value; none when no value was read.
void answer_one(const Cell* loaded, const Cell* source, uint32_t consumed, bool with_rest) {
    if (cell::type(loaded) != T_BLOCK || block::get_length(loaded) < 1) {
        cell::make_none(reg.base);
        reg.top = reg.base + 1;
        return;
    }
    Cell value = *block::cell_at(loaded, uint32_t(cell::series_index(loaded)));
    cell::clear_flag(&value);
    if (!with_rest) {
        stack::return_value(&value);
        return;
    }
    Cell rest = *source;
    cell::set_series_index(&rest, uint32_t(cell::series_index(source)) + consumed);
    Cell* pair = block::push_new(2);
    block::append_copy(pair, &value);
    block::append_copy(pair, &rest);
    stack::return_value(pair);
}

// ---- checksum ---------------------------------------------------------------------

using checksum::Method;

Method method_of(const Cell* word) {
    Method m = checksum::method_of(cell::word_symbol(word));
    if (m == checksum::METHODS) error::raise(Err::script_invalid_arg, word);
    return m;
}

bool is_plain_checksum(Method m) { return m == checksum::M_TCP || m == checksum::M_CRC32 || m == checksum::M_ADLER32; }

// The checksums and the hash answer an integer!, the digests and HMACs a
// binary!; the hash's key is its table size. Data and keys are read as
// bytes (a string as its UTF-8 text): nothing below evaluates, so bytes
// encoded for the purpose need no root.
void answer_checksum(Method m, const Cell* key) {
    binary::Bytes data = binary::bytes_of(reg.base);
    uint32_t sum;
    switch (m) {
    case checksum::M_TCP: sum = checksum::tcp(data.p, data.n); break;
    case checksum::M_CRC32: sum = checksum::crc32(data.p, data.n); break;
    case checksum::M_ADLER32: sum = checksum::adler32(data.p, data.n); break;
    case checksum::M_HASH:
        sum = checksum::table_hash(data.p, data.n, key ? uint32_t(cell::get_int(key)) : 0);
        break;
    default: {
        binary::Bytes k = key ? binary::bytes_of(key) : binary::Bytes{};
        checksum::Digest d = key ? checksum::hmac(data.p, data.n, k.p, k.n, m)
                                 : checksum::digest(data.p, data.n, checksum::method_code(m));
        stack::return_value(binary::from_memory(d.bytes, d.size));
        return;
    }
    }
    cell::make_integer(reg.base, int32_t(sum));
    reg.top = reg.base + 1;
}

}  // namespace

void stats(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_stats, refinements);
    bool show = used(refinements, 0);
    if (!show && !used(refinements, 1)) {
        answer_usage();
        return;
    }
    Cell* listing = block::push_new(8);
    memory::frame_usage(listing, memory::USAGE_LIST);
    if (!show) {
        stack::return_value(listing);
        return;
    }
    show_stats(listing);
    if (exits::pending()) return;
    cell::make_unset(reg.base);
    reg.top = reg.base + 1;
}

// A direct recycle collects even while the collector is switched off.
void recycle(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_recycle, refinements);
    bool on = used(refinements, 0), off = used(refinements, 1);
    if (on || off) {
        collector::state.enabled = on;
        cell::make_unset(reg.base);
        reg.top = reg.base + 1;
        return;
    }
    collector::collect();
    answer_usage();
}

void transcode(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_transcode, refinements);
    const Cell* source = reg.base;
    lexer::Request request;
    request.mode = transcode_mode(refinements);
    if (used(refinements, TC_INTO) && request.mode == lexer::MODE_LOAD)
        request.into = refinement_arg(refinements, TC_INTO);
    if (used(refinements, TC_TRACE)) request.callback = refinement_arg(refinements, TC_TRACE);
    int32_t length = transcode_length(source, refinements);
    skip_byte_order_mark(reg.base, &length);
    Cell* out = stack::push(&statics::none_cell);
    lexer::Result r = cell::type(source) == T_BINARY ? lexer::scan_binary(out, source, length, request)
                                                    : lexer::scan_string(out, source, length, request);
    switch (request.mode) {
    case lexer::MODE_SCAN:
    case lexer::MODE_PRESCAN:
        if (r.type) cell::make_datatype(reg.base, r.type);
        else cell::make_none(reg.base);
        reg.top = reg.base + 1;
        return;
    case lexer::MODE_ONE: answer_one(out, source, r.consumed, !used(refinements, TC_ONE)); return;
    default: stack::return_value(out);
    }
}

// The /part limit as an absolute index of the input: a count from the
// input's position (numbers are truncated) or a position in the input itself;
// /part 0 leaves nothing to parse.
int32_t parse_limit(const Cell* part) {
    uint32_t t = cell::type(part);
    int32_t start = cell::series_index(reg.base);
    int64_t end;
    if (t == T_INTEGER) {
        end = int64_t(start) + cell::get_int(part);
    } else if (t == T_FLOAT || t == T_PERCENT) {
        double d = cell::get_float(part);
        end = std::isnan(d) ? start : int64_t(start) + int64_t(std::fmax(-2147483648.0, std::fmin(d, 2147483647.0)));
    } else {
        end = cell::series_index(part);
    }
    return int32_t(std::max<int64_t>(start, std::min<int64_t>(end, INT32_MAX)));
}

void parse(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_parse, refinements);
    int32_t limit = -1;
    if (used(refinements, 1)) {
        const Cell* part = refinement_arg(refinements, 1);
        if (!types::is_number(cell::type(part)) && cell::series_node(part) != cell::series_node(reg.base))
            error::raise(Err::script_invalid_refine_arg, words::refinement(words::R_part), part);
        limit = parse_limit(part);
    }
    const Cell* callback = used(refinements, 2) ? refinement_arg(refinements, 2) : nullptr;
    int32_t op = used(refinements, 0) ? actions::OP_STRICT_EQUAL : actions::OP_EQUAL;
    Cell answer = statics::none_cell;
    temp_roots::Hold hold(&answer);
    if (exits::catch_pending([&] { parse::run(reg.base, reg.base + 1, op, limit, callback, &answer); })) return;
    stack::return_value(&answer);
}

// The hash method's /with is a table size, which must be above 0; a
// digest's /with key is text or bytes, and an integer key is refused.
void checksum(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_checksum, refinements);
    if (cell::type(reg.base) == T_FILE) {
        const Cell* data = file::read(reg.base, nullptr, nullptr, true, false, false, nullptr);
        reg.base[0] = *data;
    }
    uint32_t t = cell::type(reg.base);
    if (t != T_STRING && t != T_BINARY) error::raise(Err::script_invalid_arg, reg.base);
    Method method = method_of(reg.base + 1);
    Cell* spec = nullptr;
    if (used(refinements, 0)) {
        spec = refinement_arg(refinements, 0);
        uint32_t st = cell::type(spec);
        const Cell* with = words::refinement(words::R_with);
        if (is_plain_checksum(method)) error::raise(Err::script_invalid_refine_arg, with, spec);
        if (st != T_STRING && st != T_BINARY && st != T_INTEGER) error::raise(Err::script_invalid_arg, spec);
        if ((method == checksum::M_HASH) != (st == T_INTEGER)) error::raise(Err::script_invalid_refine_arg, with, spec);
        if (st == T_INTEGER && cell::get_int(spec) <= 0) error::raise(Err::script_invalid_arg, spec);
    }
    answer_checksum(method, spec);
}

}  // namespace system

// ---- the module table ---------------------------------------------------------------

namespace {
using namespace system;

constexpr NativeDef defs[] = {
    {NAT_stats, "stats",
     R"~("Returns interpreter statistics" /show "TBD:" /info "Return detailed info: nodes/series/big x free/used/total, total, low-level heap" return: [integer! block!])~",
     stats},
    {NAT_parse, "parse",
     R"~("Process a series using dialected grammar rules" input [binary! any-block! any-string!] rules [block!] /case "Uses case-sensitive comparison" /part "Limit to a length or position" length [number! series!] /trace callback [function! [event [word!] match? [logic!] rule [block!] input [series!] stack [block!] return: [logic!]]] return: [logic! block!])~",
     parse},
    {NAT_try, "try",
     R"~("Tries to DO a block and returns its value or an error" block [block!] /all "Catch also BREAK, CONTINUE, RETURN, EXIT and THROW exceptions" /keep "Capture and save the call stack in the error object")~",
     try_},
    {NAT_break, "break",
     R"~("Breaks out of a loop, while, until, repeat, foreach, etc" /return "Forces the loop function to return a value" value [any-type!])~",
     break_},
    {NAT_continue, "continue", R"~("Throws control back to top of loop")~", continue_},
    {NAT_exit, "exit", R"~("Exits a function, returning no value")~", exit_},
    {NAT_return, "return", R"~("Returns a value from a function" value [any-type!])~", return_},
    {NAT_throw, "throw",
     R"~("Throws control back to a previous catch" value [any-type!] "Value returned from catch" /name "Throws to a named catch" word [word!])~",
     throw_},
    {NAT_catch, "catch",
     R"~("Catches a throw from a block and returns its value" block [block!] "Block to evaluate" /name "Catches a named throw" word [word! block!] "One or more names")~",
     catch_},
    {NAT_to_local_file, "to-local-file",
     R"~("Converts a Zel file path to the local system file path" path [file! string!] /full "Prepends current dir for full path (for relative paths only)" return: [string!])~",
     to_local_file},
    {NAT_wait, "wait",
     R"~("Waits for a duration in seconds or specified time" value [number! time! block! none!] /all "Returns all events in a block")~",
     wait},
    {NAT_checksum, "checksum",
     R"~("Computes a checksum, CRC, hash, or HMAC" data [binary! string! file!] method [word!] "MD5 SHA1 SHA256 SHA384 SHA512 CRC32 TCP ADLER32 hash" /with "Extra value for HMAC key or hash table size; not compatible with TCP/CRC32/ADLER32 methods" spec [any-string! binary! integer!] "String or binary for MD5/SHA* HMAC key, integer for hash table size" return: [integer! binary!])~",
     checksum},
    {NAT_set_env, "set-env",
     R"~("Sets the value of an operating system environment variable (for current process)" var [any-string! any-word!] "Variable to set" value [string! none!] "Value to set, or NONE to unset it")~",
     set_env},
    {NAT_get_env, "get-env",
     R"~("Returns the value of an OS environment variable (for current process)" var [any-string! any-word!] "Variable to get" return: [string! none!])~",
     get_env},
    {NAT_list_env, "list-env", R"~("Returns a map of OS environment variables (for current process)" return: [map!])~", list_env},
    {NAT_now, "now",
     R"~("Returns date and time" /year "Returns year only" /month "Returns month only" /day "Returns day of the month only" /time "Returns time only" /zone "Returns time zone offset from UTC (GMT) only" /date "Returns date only" /weekday "Returns day of the week as integer (Monday is day 1)" /yearday "Returns day of the year (Julian)" /precise "High precision time" /utc "Universal time (no zone)" return: [date! time! integer!])~",
     now},
    {NAT_call, "call",
     R"~("Executes a shell command to run another process" cmd [string! file!] "A shell command or an executable file" /wait "Runs command and waits for exit" /show "Force the display of system's shell window (Windows only)" /console "Runs command with I/O redirected to console (CLI console only at present)" /shell "Forces command to be run from shell" /input in [string! file! binary!] "Redirects in to stdin" /output out [string! file! binary!] "Redirects stdout to out" /error err [string! file! binary!] "Redirects stderr to err" return: [integer!] "0 if success, -1 if error, or a process ID")~",
     call},
    {NAT_is_size, "size?", R"~("Returns the size of a file content" file [file!] return: [integer! none!])~", is_size},
    {NAT_browse, "browse",
     R"~("Opens the URL in a web browser or the file in the associated application" url [url! file!])~", browse},
    {NAT_compress, "compress",
     R"~("Compresses data" data [any-string! binary!] method [word!] "zlib deflate gzip" return: [binary!])~",
     compress},
    {NAT_decompress, "decompress",
     R"~("Decompresses data" data [binary!] method [word!] "zlib deflate gzip" /size "Specify an uncompressed data size (ignored for GZIP)" sz [integer!] "Uncompressed data size; must not be negative" return: [binary!])~",
     decompress},
    {NAT_recycle, "recycle",
     R"~("Recycles unused memory and returns memory amount still in use" /on "Turns on garbage collector; returns nothing" /off "Turns off garbage collector; returns nothing" return: [integer! unset!])~",
     recycle},
    {NAT_transcode, "transcode",
     R"~("Translates UTF-8 binary source to values. Returns one or several values in a block" src [binary! string!] "UTF-8 input buffer; string argument will be UTF-8 encoded" /next "Translate next complete value (blocks as single value)" /one "Translate next complete value, returns the value only" /prescan "Prescans only, do not load values. Returns guessed type." /scan "Scans only, do not load values. Returns recognized type." /part "Translates only part of the input buffer" length [integer! binary!] "Length in bytes or tail position" /into "Optionally provides an output block" dst [block!] /trace callback [function! [event [word!] input [binary! string!] type [word! datatype!] line [integer!] token return: [logic!]] routine! [event [word!] input [binary! string!] type [word! datatype!] line [integer!] token return: [logic!]]] return: [block!])~",
     transcode},
};
static_assert(matches_ids(defs), "a native row out of order or misnamed");

}  // namespace

const Module module_system = {defs, sizeof defs / sizeof defs[0]};

}  // namespace natives
}  // namespace zel
