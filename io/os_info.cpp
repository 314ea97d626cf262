// Command line, environment and OS description. The command line is rebuilt
// from the argument vector the runtime keeps; the description reads uname.
#include "io/os_info.h"

#include <cstring>
#include <vector>

#include "core/object.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/map.h"
#include "datatypes/tuple.h"
#include "kernel/runtime.h"
#include "platform/os_name.h"
#include "platform/system.h"

namespace zel {
namespace platform {

namespace {

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

struct ArchName {
    const char* machine;
    bool prefix;  // every machine name that starts so
    const char* word;
};
const ArchName ARCH_NAMES[] = {
    {"x86_64", false, "x86-64"}, {"amd64", false, "x86-64"}, {"i386", false, "x86-32"},
    {"i486", false, "x86-32"},   {"i586", false, "x86-32"},  {"i686", false, "x86-32"},
    {"aarch64", false, "ARM64"}, {"arm64", false, "ARM64"},  {"arm", true, "ARM"},
    {"ia64", false, "IA-64"},
};

const char* arch_word(const char* machine) {
    for (const ArchName& a : ARCH_NAMES) {
        bool match = a.prefix ? std::strncmp(machine, a.machine, std::strlen(a.machine)) == 0
                              : std::strcmp(machine, a.machine) == 0;
        if (match) return a.word;
    }
    return "Unknown";
}

// The decimal number at *p, which moves past it; at most limit.
uint32_t read_number(const char*& p, uint32_t limit) {
    uint32_t n = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        uint64_t next = uint64_t(n) * 10 + uint32_t(*p - '0');
        n = next > limit ? limit : uint32_t(next);
    }
    return n;
}

void set_field(Cell* object, const char* name, const Cell* value) {
    Cell field = word::intern(name);
    int32_t index = object::lookup_word(object, &field);
    if (index >= 0) *object::get_values_at(cell::object_context(object), index) = *value;
}

}  // namespace

Cell* environment() {
    std::vector<std::string> entries;
    list_env(entries);
    Cell* out = stack::push_slot();
    map::make_empty(out, uint32_t(entries.size() * 2));
    for (const std::string& e : entries) {
        size_t eq = e.find('=', 1);
        if (eq == std::string::npos) eq = e.size();
        size_t rest = eq < e.size() ? eq + 1 : eq;
        Cell name, value;
        string::load_at(bytes_of(e), uint32_t(eq), &name, string::ENC_UTF8);
        string::load_at(bytes_of(e) + rest, uint32_t(e.size() - rest), &value, string::ENC_UTF8);
        map::put_pair(out, &name, &value, true);
    }
    return out;
}

OsDescription describe_os(const char* system, const char* release, const char* version, const char* machine) {
    OsDescription d{std::string(system) + " " + release, arch_word(machine), {0, 0, 0}, 0};
    const char* p = release;
    for (int i = 0; i < 3; i++) {
        d.version[i] = uint8_t(read_number(p, 255));
        if (*p != '.') break;
        p++;
    }
    const char* hash = std::strchr(version, '#');
    if (hash) {
        const char* digits = hash + 1;
        d.build = int32_t(read_number(digits, 2147483647u));
    }
    return d;
}

void os_info(Cell* object) {
    OsName os;
    if (!os_name(os)) os = {"Linux", "", "", ""};
    OsDescription d =
        describe_os(os.system.c_str(), os.release.c_str(), os.version.c_str(), os.machine.c_str());
    Cell name, arch = word::intern(d.arch), version, build;
    string::load_at(bytes_of(d.name), uint32_t(d.name.size()), &name, string::ENC_UTF8);
    tuple::init_cell(&version, d.version, 3);
    cell::make_integer(&build, d.build);
    set_field(object, "name", &name);
    set_field(object, "arch", &arch);
    set_field(object, "version", &version);
    set_field(object, "build", &build);
}

}  // namespace platform
}  // namespace zel
