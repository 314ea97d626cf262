// The library's Zel sources: lexed into the boot image in the order the build
// lists them, evaluated from there at start-up, their functions marked as
// library code, and an error in one a fatal start-up error naming the file.
//
// The other unit tests run without evaluating the library, so every test that
// does so runs in a child process (a death test that must end with status 0).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "console/boot_words.h"
#include "core/block.h"
#include "core/exits.h"
#include "core/function.h"
#include "core/support.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "io/lexer.h"
#include "kernel/hooks.h"
#include "kernel/output.h"
#include "kernel/print.h"
#include "library/library.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::eval_molded;

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The source paths of the list in library/library.cmake, in its order.
std::vector<std::string> listed_sources() {
    std::string cmake = file_text(test_support::source_dir() + "/library/library.cmake");
    size_t from = cmake.find("set(ZEL_LIBRARY_SOURCES");
    size_t to = cmake.find(')', from);
    std::istringstream words(cmake.substr(from, to - from));
    std::vector<std::string> names;
    std::string word;
    words >> word;  // set(ZEL_LIBRARY_SOURCES
    while (words >> word) names.push_back(word);
    return names;
}

// Each source's code in the image is what the lexer makes of the file.
TEST(LibraryTest, TheImageHoldsTheListedSourcesInOrder) {
    std::vector<std::string> names = listed_sources();
    Cell sources = *boot::value_at(library::BOOT_SOURCES);
    ASSERT_EQ(cell::type(&sources), T_BLOCK);
    ASSERT_EQ(block::buffer_length(&sources), 2 * names.size());
    for (uint32_t i = 0; i < names.size(); i++) {
        SCOPED_TRACE(names[i]);
        Cell name = *block::cell_at(&sources, 2 * i), code = *block::cell_at(&sources, 2 * i + 1);
        EXPECT_EQ(cell::type(&name), T_FILE);
        EXPECT_EQ(natives_cases::text_of(&name), names[i]);
        std::string text = file_text(test_support::source_dir() + "/" + names[i]);
        Cell lexed = lexer::load_text(text.data(), text.size());
        EXPECT_EQ(test_values::molded(code, true), test_values::molded(lexed, true));
        stack::pop(1);
    }
}

// The child's checks; each mismatch is written to standard error.
bool expect(const std::string& code, const std::string& want) {
    std::string got = eval_molded(code.c_str());
    if (got == want) return true;
    std::fprintf(stderr, "%s\n  expected %s\n  actual   %s\n", code.c_str(), want.c_str(), got.c_str());
    return false;
}

bool is_library(const char* name) {
    Cell w = word::intern(name);
    return interp::is_library(word::get_value(&w));
}

// The return-type code a routine keeps: the id of the datatype its spec
// declares, else -1 (-2: not a routine).
int32_t return_code(const char* name) {
    Cell w = word::intern(name);
    const Cell* r = word::get_value(&w);
    if (cell::type(r) != T_ROUTINE) return -2;
    return cell::get_int(function::extra(r) + function::EXTRA_BUILDER);
}

std::string printed;
void capture(const Cell* text, bool line) {
    printed += natives_cases::text_of(text);
    if (line) printed += "\n";
}

void loaded_library_checks() {
    library::load();
    boot_words::make_library_operators();
    bool ok = true;
    for (const char* name : {"probe", "first", "to-string", "block?", "series?", "parse-trace", "math", "replace",
                             "rejoin", "clock", "quit", "exists?"})
        if (!is_library(name)) {
            std::fprintf(stderr, "%s is not marked\n", name);
            ok = false;
        }
    natives_cases::run("user-fn: func [] [1]");
    if (is_library("user-fn")) ok = false;
    // A function the library keeps in a context of its own, reached through
    // the get-word of parse-trace's body that names it.
    natives_cases::run("trace-callback: none parse body-of :parse-trace rule: ["
                       "some [set w get-word! (if w = first [:on-parse-event] [trace-callback: get w])"
                       " | into rule | skip]]");
    if (!is_library("trace-callback")) {
        std::fprintf(stderr, "on-parse-event is not marked\n");
        ok = false;
    }
    const std::pair<const char*, int32_t> codes[] = {
        {"exists?", T_LOGIC},     {"count-chars", T_INTEGER}, {"stack-size?", T_INTEGER},
        {"frame-index?", T_INTEGER}, {"write-clipboard", T_LOGIC}, {"block?", T_LOGIC},
        {"series?", T_LOGIC},     {"quit-return", -1},        {"set-quiet", -1},
        {"read-clipboard", -1},   {"pick-stack", -1},
    };
    for (const auto& [name, code] : codes)
        if (return_code(name) != code) {
            std::fprintf(stderr, "%s keeps the return code %d\n", name, return_code(name));
            ok = false;
        }
    // A set-path assignment of library code that takes a frame names it
    // eval-set-path; the user's own do not.
    interp::eval_state.loading = true;
    natives_cases::run("lib-set: func [b] [b/1: collect-calls copy []]");
    interp::eval_state.loading = false;
    ok &= expect("b: [0] lib-set b third first b", "eval-set-path");
    ok &= expect("user-set: func [b] [b/1: collect-calls copy []] b: [0] user-set b third first b", "none");
    // An error inside a library body is reported at the user's call.
    ok &= expect("e: try [mod 1 0] e/near", "[mod 1 0]");
    ok &= expect("e: try [also 1 cause-error 'math 'zero-divide []] e/near",
                 "[also 1 cause-error 'math 'zero-divide []]");
    // The user's own code that a library function runs keeps its position.
    ok &= expect("f: func [] [replace [a] 'a does [1 / 0]] e: try [f] e/near", "[1 / 0]");
    ok &= expect("e: try [collect [keep 1 1 / 0]] e/near", "[1 / 0]");
    // The operator of a library function.
    ok &= expect("-7 // 3", "2");
    // What the printing functions print.
    hooks::remove(print::string_value, nullptr);
    hooks::add(capture, nullptr);
    natives_cases::run("x: [1 \"a\"] probe x ?? x ?? zz-no-value ?? x/2 parse-trace \"a\" [\"a\"]");
    hooks::remove(capture, nullptr);
    hooks::add(print::string_value, nullptr);
    const char* want =
        "[1 \"a\"]\nx: [1 \"a\"]\nzz-no-value: unset!\nx/2: \"a\"\n"
        " -->\n"
        "   input: \"a\" \n   match: [\"a\"]   \n"
        "   ==> matched\n"
        " <--\n"
        "return: true\n";
    if (printed != want) {
        std::fprintf(stderr, "printed:\n%s\nexpected:\n%s\n", printed.c_str(), want);
        ok = false;
    }
    std::exit(ok ? 0 : 1);
}

TEST(LibraryDeathTest, LoadedLibraryIsMarkedAndKeepsTheUsersPosition) {
    EXPECT_EXIT(loaded_library_checks(), ::testing::ExitedWithCode(0), "");
}

// A source that fails is reported with its file name, on standard error here
// so that the death test can read it.
void load_broken(const char* name, const char* text) {
    exits::uncaught_handler = nullptr;
    output::attach(2, false);
    Cell sources;
    block::write_cell(&sources, 2);
    library::add_source(&sources, name, text, uint32_t(std::strlen(text)));
    Cell code = *block::cell_at(&sources, 1);
    library::eval_source(name, &code);
}

TEST(LibraryDeathTest, AnErrorInASourceEndsStartUp) {
    EXPECT_EXIT(load_broken("broken.zel", "x: 1 + none"), ::testing::ExitedWithCode(exits::UNCAUGHT_STATUS),
                "\\*\\*\\* Start-up error in library file broken.zel\n\\*\\*\\* Script Error");
    EXPECT_EXIT(load_broken("unclosed.zel", "x: [1"), ::testing::ExitedWithCode(exits::UNCAUGHT_STATUS),
                "\\*\\*\\* Start-up error in library file unclosed.zel\n\\*\\*\\* Syntax Error");
    EXPECT_EXIT(load_broken("thrown.zel", "throw 1"), ::testing::ExitedWithCode(exits::UNCAUGHT_STATUS),
                "\\*\\*\\* Start-up error in library file thrown.zel");
}

}  // namespace
}  // namespace zel
