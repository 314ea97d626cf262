// file!: system paths (POSIX here), the "%" mold and its quoting, and the
// file actions' hand-over to the I/O layer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/file.h"
#include "core/stack.h"
#include "core/string.h"
#include "io/file_io.h"
#include "io/lexer.h"
#include "tests/unit/test_support.h"
#include "tests/unit/test_values.h"

using namespace zel;

namespace {

using test_values::text;
using test_values::utf8_of;

std::string local(const std::string& name, bool prepend) {
    Cell target;
    string::write_cell(&target, 16);
    Cell f = text(name, T_FILE);
    file::to_local_path(&f, &target, prepend);
    return utf8_of(target);
}

std::string molded(const std::string& name, bool all = false) {
    Cell buffer, f = text(name, T_FILE);
    string::write_cell(&buffer, 16);
    file::mold(&f, &buffer, false, all, false, nullptr, 0x7FFFFFFF, 0);
    return utf8_of(buffer);
}

std::string cwd() {
    std::string d = std::filesystem::current_path().string();
    return d.back() == '/' ? d : d + "/";
}

// A stand-in I/O layer that records what reached it.
struct Seen {
    std::string action, name;
    bool append, lines, binary;
} seen;
Cell read_answer;

const file::Io fake_io = {
    [](const Cell* f) {
        seen = {"delete", utf8_of(*f), false, false, false};
        return true;
    },
    [](const Cell* f) -> const Cell* {
        seen = {"query", utf8_of(*f), false, false, false};
        return &statics::none_cell;
    },
    [](const Cell* from, const Cell* to) {
        seen = {"rename", utf8_of(*from) + ">" + utf8_of(*to), false, false, false};
        return false;
    },
    [](Cell* f, Cell*, Cell*, bool binary, bool lines) -> const Cell* {
        seen = {"read", utf8_of(*f), false, lines, binary};
        read_answer = text("content", T_STRING);
        return &read_answer;
    },
    [](Cell* f, Cell*, Cell*, Cell*, bool append, bool lines) {
        seen = {"write", utf8_of(*f), append, lines, false};
    },
};

struct FileTest : ::testing::Test {
    void TearDown() override { io::init(); }  // the real layer back for later suites
};

TEST_F(FileTest, LocalPathsArePosix) {
    EXPECT_EQ(local("/c/x", false), "/c/x");
    EXPECT_EQ(local("/c/Windows/x.txt", true), "/c/Windows/x.txt");
    EXPECT_EQ(local("/c", false), "/c");
    EXPECT_EQ(local("//server/share/a", false), "//server/share/a");
    EXPECT_EQ(local("dir/a.txt", false), "dir/a.txt");
    EXPECT_EQ(local("dir/a.txt", true), cwd() + "dir/a.txt");
    EXPECT_EQ(local("", true), cwd());
    EXPECT_EQ(local("caf\xC3\xA9/\xE2\x82\xAC", false), "caf\xC3\xA9/\xE2\x82\xAC");

    Cell f = text("x/\xC3\xA9", T_FILE);
    file::LocalPath p = file::to_local_cstr(&f, true);
    EXPECT_EQ(std::string(p.c_str()), cwd() + "x/\xC3\xA9");
    EXPECT_EQ(p.size(), cwd().size() + 4);
}

TEST_F(FileTest, CurrentDirEndsInASlash) {
    Cell* top = stack::reg.top;
    Cell* dir = file::current_dir();
    EXPECT_EQ(dir, top);
    EXPECT_EQ(utf8_of(*dir), cwd());
    stack::reg.top = top;
}

TEST_F(FileTest, MoldQuotesWhatCannotStandBare) {
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"dir/a.txt", "%dir/a.txt"},
        {"a b", "%\"a b\""},
        {"\xC3\xA9\xC3\xA8.\xE2\x82\xAC", "%\xC3\xA9\xC3\xA8.\xE2\x82\xAC"},  // above 126: bare
        {"", "%\"\""},
        {"!#$&'*+,-./=?_~Az09", "%!#$&'*+,-./=?_~Az09"},
        {"100%", "%\"100%\""},
        {"a;b", "%\"a;b\""},
        {"a[b]", "%\"a[b]\""},
        // characters the lexer reads specially are escaped as it expects
        {"a\"b", "%\"a^(22)b\""},
        {"a^b", "%\"a^^b\""},
        {"a\tb\nc", "%\"a^-b^/c\""},
        {"a \x7F", "%\"a ^~\""},
        {"a\x7F", "%a\x7F"},
        // ":", "@" and the parentheses end a bare file name in the lexer
        {"c:x", "%\"c:x\""},
        {"a@b", "%\"a@b\""},
        {"a(b)", "%\"a(b)\""},
        {"a)", "%\"a)\""},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(c.name), c.expected) << c.name;
    EXPECT_EQ(molded("a b\xC3\xA9", true), "%\"a b^(E9)\"");
}

// What mold writes, the lexer reads back as the same file.
TEST_F(FileTest, MoldLoadsBackAsTheSameFile) {
    const char* names[] = {
        "dir/a.txt", "a b", "a\"b", "a^b", "^", "\"", "a\tb\nc", "c:x", "a@b", "100%", "a%20b", "a;b",
        "x{y}", "[]()", "a(b)", ")", "\xC3\xA9\xE2\x82\xAC", "a \xC3\xA9", "\x01\x1E\x7F", ("a\xC2\x85" "b"), "/c/x", "<x>",
    };
    Cell* top = stack::reg.top;
    for (const char* name : names) {
        for (bool all : {false, true}) {
            std::string text_form = molded(name, all);
            SCOPED_TRACE(text_form);
            Cell block;
            ASSERT_NO_THROW(block = lexer::load_text(text_form.data(), text_form.size()));
            SeriesBuffer* b = node::buffer(cell::series_node(&block));
            ASSERT_EQ(series::length(b), 1u) << text_form;
            Cell loaded = series::cells(b)[0];
            EXPECT_EQ(cell::type(&loaded), uint32_t(T_FILE)) << text_form;
            EXPECT_EQ(utf8_of(loaded), name) << text_form;
        }
        stack::reg.top = top;
    }
}

TEST_F(FileTest, MoldCountsTheLimit) {
    Cell buffer, f = text("abc", T_FILE);
    string::write_cell(&buffer, 16);
    EXPECT_EQ(file::mold(&f, &buffer, false, false, false, nullptr, 100, 0), 96);
    Cell part;
    cell::make_integer(&part, 2);
    string::write_cell(&buffer, 16);
    file::mold(&f, &buffer, false, false, false, &part, 2, 0);
    EXPECT_EQ(utf8_of(buffer), "%ab");
}

TEST_F(FileTest, ActionsHandOverToTheIoLayer) {
    Cell f = text("dir/x.txt", T_FILE), g = text("y.txt", T_FILE);
    file::set_io(nullptr);
    EXPECT_TRUE(test_support::raises(Err::internal_not_done, [&] { file::delete_(&f); }));
    file::set_io(&fake_io);
    EXPECT_EQ(file::delete_(&f), &statics::true_cell);
    EXPECT_EQ(seen.action + " " + seen.name, "delete dir/x.txt");
    EXPECT_EQ(file::query(&f), &statics::none_cell);
    EXPECT_EQ(file::rename(&f, &g), &statics::false_cell);
    EXPECT_EQ(seen.name, "dir/x.txt>y.txt");
    EXPECT_EQ(utf8_of(*file::read(&f, nullptr, nullptr, true, false, false, nullptr)), "content");
    EXPECT_TRUE(seen.binary && !seen.lines);
    EXPECT_EQ(cell::type(file::write(&f, &g, false, true, false, true, nullptr, nullptr, nullptr, nullptr)),
              uint32_t(T_UNSET));
    EXPECT_EQ(seen.action, "write");
    EXPECT_TRUE(seen.append && seen.lines);
    Cell as = g;
    EXPECT_TRUE(test_support::raises(Err::internal_not_done,
                                     [&] { file::read(&f, nullptr, nullptr, false, false, false, &as); }));
    EXPECT_TRUE(test_support::raises(Err::internal_not_done, [&] {
        file::write(&f, &g, false, false, false, false, nullptr, nullptr, &as, nullptr);
    }));
    EXPECT_TRUE(test_support::raises(Err::internal_not_done, [&] {
        file::write(&f, &g, false, false, false, false, nullptr, nullptr, nullptr, &as);
    }));
}

}  // namespace
