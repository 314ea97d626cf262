// The library's Zel sources: embedded in the order the build lists them,
// evaluated at start-up, their functions marked as library code, and an error
// in one a fatal start-up error naming the file.
//
// The other unit tests run without the library, so every test that loads it
// does so in a child process (a death test that must end with status 0).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/boot_words.h"
#include "core/exits.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "kernel/hooks.h"
#include "kernel/output.h"
#include "kernel/print.h"
#include "library/library.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::eval_molded;

std::string source_dir() {
    const char* dir = std::getenv("ZEL_SOURCE_DIR");
    return dir ? dir : ".";
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The file names of the list in library/library.cmake, in its order.
std::vector<std::string> listed_sources() {
    std::string cmake = file_text(source_dir() + "/library/library.cmake");
    size_t from = cmake.find("set(ZEL_LIBRARY_SOURCES");
    size_t to = cmake.find(')', from);
    std::istringstream words(cmake.substr(from, to - from));
    std::vector<std::string> names;
    std::string word;
    words >> word;  // set(ZEL_LIBRARY_SOURCES
    while (words >> word) names.push_back(word);
    return names;
}

TEST(LibraryTest, EmbedsTheListedSourcesInOrder) {
    std::vector<std::string> names = listed_sources();
    ASSERT_EQ(names.size(), library::SOURCE_COUNT);
    for (uint32_t i = 0; i < library::SOURCE_COUNT; i++) {
        const library::Source& s = library::SOURCES[i];
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(s.name, names[i]);
        EXPECT_EQ(std::string(s.text, s.length), file_text(source_dir() + "/library/" + names[i]));
        EXPECT_EQ(s.text[s.length], '\0');
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

std::string printed;
void capture(const Cell* text, bool line) {
    printed += natives_cases::text_of(text);
    if (line) printed += "\n";
}

void loaded_library_checks() {
    library::load();
    boot_words::make_library_operators();
    bool ok = true;
    for (const char* name : {"probe", "first", "to-string", "block?", "parse-trace", "math", "replace"})
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
    // An error inside a library body is reported at the user's call.
    ok &= expect("e: try [mod 1 0] e/near", "[mod 1 0]");
    ok &= expect("e: try [also 1 cause-error 'math 'zero-divide []] e/near",
                 "[also 1 cause-error 'math 'zero-divide []]");
    ok &= expect("f: func [] [replace [a] 'a does [1 / 0]] e: try [f] e/near", "[replace [a] 'a does [1 / 0]]");
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
    library::load_source({name, text, uint32_t(std::strlen(text))});
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
