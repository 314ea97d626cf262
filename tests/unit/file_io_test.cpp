// The file I/O layer under the file! actions, run as Zel source against real
// files in a fresh directory under /tmp that each test makes and removes.
// The bytes on disk are read back with the C++ library, and python3 (os,
// hashlib, datetime) and coreutils serve as oracles for listings, digests
// and modification times.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "core/file.h"
#include "io/file_io.h"
#include "kernel/temp_roots.h"
#include "natives_cases.h"
#include "output_capture.h"

namespace zel {
namespace {

using natives_cases::shell;

struct FileIoTest : natives_cases::NativesTest {
    test_support::TempDir dir{"file-io"};

    void SetUp() override {
        NativesTest::SetUp();
        io::init();  // another suite may have put a stand-in layer in its place
    }

    std::string path(const std::string& name) const { return dir.file(name); }

    // The source with every "%T/" naming the test's directory.
    std::string source(const std::string& code) const {
        std::string out = code;
        for (size_t at; (at = out.find("%T/")) != std::string::npos;) out.replace(at, 3, "%" + dir.path + "/");
        return out;
    }
    std::string eval(const std::string& code) const { return natives_cases::eval_molded(source(code).c_str()); }
    bool raises(const std::string& code, Err id) const {
        std::string text = source(code);
        return test_support::raises(id, [&] { natives_cases::run(text.c_str()); });
    }

    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string get(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(std::filesystem::symlink_status(path(name))); }
};

struct ReadCase {
    const char* content;
    const char* code;
    const char* expected;
};

TEST_F(FileIoTest, ReadsTextBytesPartsAndLines) {
    const ReadCase cases[] = {
        {"hello", "read %T/f", R"("hello")"},
        {"h\xC3\xA9llo", "read %T/f", R"("héllo")"},
        {"hello", "read/binary %T/f", "#{68656C6C6F}"},
        {"hello", "read/part %T/f 2", R"("he")"},
        {"hello", "read/part %T/f 2.9", R"("he")"},
        {"hello", "read/part %T/f 0", R"("")"},
        {"hello", "read/part/binary %T/f 0", "#{}"},
        {"hello", "read/part %T/f 99", R"("hello")"},
        {"hello", "read/part %T/f -1", R"("hello")"},
        {"hello", "read/seek %T/f 3", R"("lo")"},
        {"hello", "read/seek %T/f 0", R"("hello")"},
        {"hello", "read/seek %T/f 9", R"("")"},
        {"hello", "read/part/seek %T/f 2 1", R"("el")"},
        {"hello", "read/binary/seek %T/f 4", "#{6F}"},
        {"", "read %T/f", R"("")"},
        {"", "read/binary %T/f", "#{}"},
        {"", "read/lines %T/f", "[]"},
        {"a\r\nb\n", "read/lines %T/f", R"(["a" "b"])"},
        {"a\n\nb", "read/lines %T/f", R"(["a" "" "b"])"},
        {"\n", "read/lines %T/f", R"([""])"},
        {"a\rb\r", "read/lines %T/f", R"(["a^Mb^M"])"},
        {"x\r\n\r\ny", "read/lines %T/f", R"(["x" "" "y"])"},
        {"ab\ncd\n", "read/lines/seek %T/f 3", R"(["cd"])"},
        {"ab\ncd\n", "read/binary/lines %T/f", "#{61620A63640A}"},
        {"a\r\nb", "read %T/f", R"("a^M^/b")"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.code + std::string(" of ") + c.content);
        put("f", c.content);
        EXPECT_EQ(eval(c.code), c.expected);
    }
}

// A file larger than the read steps, whole and in parts, against the bytes
// written.
TEST_F(FileIoTest, ReadsLargeFiles) {
    std::string bytes;
    for (uint32_t i = 0; i < 200000; i++) bytes += char('a' + i * 7 % 26);
    put("big", bytes);
    EXPECT_EQ(eval("length? read %T/big"), "200000");
    EXPECT_EQ(eval("(read %T/big) = to string! read/binary %T/big"), "true");
    EXPECT_EQ(eval("read/part/seek %T/big 5 131070"), '"' + bytes.substr(131070, 5) + '"');
    EXPECT_EQ(eval("length? read/seek %T/big 70000"), "130000");
}

// A pipe has no size the system can report; its content is read all the
// same.
TEST_F(FileIoTest, ReadsFilesWithoutAReportedSize) {
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    std::string content(70000, 'p');
    content += "end";
    std::thread writer([&] { std::ofstream(path("pipe"), std::ios::binary) << content; });
    Cell got = natives_cases::run(source("read %T/pipe").c_str());
    writer.join();
    EXPECT_EQ(natives_cases::text_of(&got), content);
}

TEST_F(FileIoTest, ReadErrors) {
    put("f", "text");
    put("bad", "a\xFF");
    std::filesystem::create_directory(path("d"));
    const natives_cases::ErrorCase cases[] = {
        {"read %T/missing", Err::access_cannot_open},
        {"read %T/d", Err::access_cannot_open},  // a directory named as a file
        {"read %T/missing/", Err::access_cannot_open},
        {"read %T/f/", Err::access_cannot_open},
        {"read/seek %T/f -2", Err::access_cannot_open},
        {"read %T/bad", Err::access_invalid_utf8},
        {"read/lines %T/bad", Err::access_invalid_utf8},
        {R"(read %"a^@b")", Err::script_invalid_arg},
        {"read/part %T/f 1e20", Err::script_out_of_range},
    };
    for (const auto& c : cases) EXPECT_TRUE(raises(c.code, c.id)) << c.code;
    EXPECT_EQ(eval("read/binary %T/bad"), "#{61FF}");
    EXPECT_EQ(eval("e: try [read %T/missing] e/arg1 = %T/missing"), "true");
}

struct WriteCase {
    const char* before;  // null: no file yet
    const char* code;
    std::string after;
};

TEST_F(FileIoTest, WritesValuesAsBytes) {
    const WriteCase cases[] = {
        {nullptr, R"(write %T/f "héllo")", "h\xC3\xA9llo"},
        {nullptr, "write %T/f #{000102FF}", std::string("\x00\x01\x02\xFF", 4)},
        {nullptr, "write %T/f 12", "12"},
        {nullptr, R"(write %T/f [1 "a" b])", "1 a b"},
        {nullptr, R"(write %T/f "")", ""},
        {nullptr, "write/part %T/f #{01020304} 2", "\x01\x02"},
        {nullptr, R"(write/part %T/f "héllo" 2)", "h\xC3\xA9"},
        {nullptr, R"(write/lines %T/f ["a" #{62} 3 [4 5]])", "a\nb\n3\n4 5\n"},
        {nullptr, R"(write/lines %T/f "x")", "x\n"},
        {nullptr, "write/lines %T/f []", ""},
        {nullptr, R"(write/append %T/f "new")", "new"},
        {nullptr, R"(write/seek %T/f "x" 2)", std::string("\0\0x", 3)},
        {"abcdef", R"(write %T/f "X")", "X"},
        {"abcdef", R"(write/append %T/f "X")", "abcdefX"},
        {"abcdef", R"(write/append/lines %T/f ["X" "Y"])", "abcdefX\nY\n"},
        {"abcdef", R"(write/seek %T/f "XY" 2)", "abXYef"},
        {"abcdef", R"(write/seek %T/f "X" 0)", "Xbcdef"},
        {"abcdef", R"(write/seek %T/f "XYZ" 5)", "abcdeXYZ"},
        {"abcdef", R"(write/seek %T/f "X" 8)", std::string("abcdef\0\0X", 9)},
        {"abcdef", R"(write/append/seek %T/f "X" 1)", "abcdefX"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.code);
        std::filesystem::remove(path("f"));
        if (c.before) put("f", c.before);
        EXPECT_EQ(eval(c.code), "unset");
        EXPECT_EQ(get("f"), c.after);
    }
}

// A write that fails leaves what was there.
TEST_F(FileIoTest, WriteErrors) {
    std::filesystem::create_directory(path("d"));
    const natives_cases::ErrorCase cases[] = {
        {R"(write/seek %T/f "a" -1)", Err::access_cannot_open},
        {R"(write/seek %T/f "a" 1.5)", Err::script_expect_arg},
        {R"(write %T/d/ "a")", Err::access_cannot_open},
        {R"(write %T/d "a")", Err::access_cannot_open},
        {R"(write %T/missing/f "a")", Err::access_cannot_open},
        {R"(write %"a^@b" "a")", Err::script_invalid_arg},
    };
    put("f", "keep");
    for (const auto& c : cases) EXPECT_TRUE(raises(c.code, c.id)) << c.code;
    EXPECT_EQ(get("f"), "keep");
    EXPECT_EQ(eval(R"(e: try [write/seek %T/f "a" 1.5] reduce [e/arg1 e/arg2 e/arg3])"), "[write float! index]");
    EXPECT_FALSE(exists("missing"));
}

// Listings in byte order of the names, sub-directories (and links to them)
// ending in "/", against python3's view of the same directory.
TEST_F(FileIoTest, ListsDirectories) {
    put("b.txt", "");
    put("a", "");
    put("\xC3\xA9.txt", "");
    std::filesystem::create_directory(path("sub"));
    std::filesystem::create_directory_symlink(path("sub"), path("link"));
    std::filesystem::create_symlink(path("nowhere"), path("dangling"));
    put("sub/inner", "");
    const char* oracle =
        "python3 -c \"import os,sys; d=sys.argv[1]; "
        "print(' '.join('%' + n + ('/' if os.path.isdir(os.path.join(d, n)) else '') "
        "for n in sorted(os.listdir(d))))\" ";
    std::string expected = "[" + shell(oracle + dir.path) + "]";
    EXPECT_EQ(expected, "[%a %b.txt %dangling %link/ %sub/ %é.txt]");
    EXPECT_EQ(eval("read %T/"), expected);
    EXPECT_EQ(eval("read %T/sub/.."), expected);
    EXPECT_EQ(eval("read %T/sub/."), "[%inner]");
    EXPECT_EQ(eval("read %T/link/"), "[%inner]");
    std::filesystem::create_directory(path("empty"));
    EXPECT_EQ(eval("read %T/empty/"), "[]");
    EXPECT_EQ(eval("read/lines/part %T/empty/ 1"), "[]");
    EXPECT_TRUE(raises("read %T/missing/", Err::access_cannot_open));
    EXPECT_TRUE(raises("read %T/a/", Err::access_cannot_open));
}

// The root lists its own entries: this system has no drives.
TEST_F(FileIoTest, ListsTheRoot) {
    const char* oracle =
        "python3 -c \"import os; "
        "print(' '.join('%' + n + ('/' if os.path.isdir('/' + n) else '') for n in sorted(os.listdir('/'))))\"";
    EXPECT_EQ(eval("read %/"), "[" + shell(oracle) + "]");
}

// A name that is not UTF-8 is listed with U+FFFD for its bad byte.
TEST_F(FileIoTest, ListsNamesThatAreNotUtf8) {
    put("x\xFFy", "");
    EXPECT_EQ(eval("read %T/"), "[%x\xEF\xBF\xBDy]");
}

// The modification time to the millisecond, in UTC, as python3 reads it.
TEST_F(FileIoTest, QueriesModificationDates) {
    put("f", "x");
    std::filesystem::create_directory(path("d"));
    std::string touch = "TZ=UTC touch -d '2021-03-04 05:06:07.891234567' ";
    ASSERT_EQ(std::system((touch + path("f") + " " + path("d")).c_str()), 0);
    std::string oracle = shell("python3 -c \"import os,sys,datetime; "
                               "print(datetime.datetime.fromtimestamp(os.stat(sys.argv[1]).st_mtime_ns // 10**6 / 1000, "
                               "datetime.timezone.utc).isoformat())\" " + path("f"));
    EXPECT_EQ(oracle, "2021-03-04T05:06:07.891000+00:00");
    const natives_cases::Case cases[] = {
        {"query %T/f", "4-Mar-2021/5:06:07.891"},
        {"query %T/d/", "4-Mar-2021/5:06:07.891"},
        {"query %T/d", "4-Mar-2021/5:06:07.891"},
        {"d: query %T/f reduce [d/year d/month d/day d/hour d/minute d/zone]", "[2021 3 4 5 6 0:00:00]"},
        {"query %T/f/", "none"},
        {"query %T/missing", "none"},
    };
    for (const auto& c : cases) EXPECT_EQ(eval(c.code), c.expected) << c.code;
    // Before 1970 the system counts seconds below zero.
    ASSERT_EQ(std::system(("TZ=UTC touch -d '1960-01-01 00:00:00.5' " + path("f")).c_str()), 0);
    EXPECT_EQ(eval("query %T/f"), "1-Jan-1960/0:00:00.5");
}

TEST_F(FileIoTest, DeletesFilesAndEmptyDirectories) {
    put("f", "x");
    std::filesystem::create_directories(path("full/inner"));
    std::filesystem::create_directory(path("empty"));
    const natives_cases::Case cases[] = {
        {"delete %T/f", "true"},
        {"delete %T/f", "false"},
        {"delete %T/full/", "false"},   // not empty
        {"delete %T/empty", "false"},   // a directory named as a file
        {"delete %T/empty/", "true"},
        {"delete %T/full/inner/..", "false"},
        {"delete %T/full/inner/", "true"},
    };
    for (const auto& c : cases) EXPECT_EQ(eval(c.code), c.expected) << c.code;
    EXPECT_FALSE(exists("f"));
    EXPECT_FALSE(exists("empty"));
    EXPECT_TRUE(exists("full"));
    EXPECT_TRUE(raises(R"(delete %"a^@b")", Err::script_invalid_arg));
}

// A rename never replaces an existing file.
TEST_F(FileIoTest, RenamesWithoutReplacing) {
    put("a", "first");
    put("b", "second");
    std::filesystem::create_directory(path("d"));
    const natives_cases::Case cases[] = {
        {"rename %T/a %T/b", "false"},
        {"rename %T/missing %T/c", "false"},
        {"rename %T/a %T/c", "true"},
        {"rename %T/c %T/d/c", "true"},
        {"rename %T/d/ %T/e/", "true"},
    };
    for (const auto& c : cases) EXPECT_EQ(eval(c.code), c.expected) << c.code;
    EXPECT_EQ(get("b"), "second");
    EXPECT_EQ(get("e/c"), "first");
    EXPECT_FALSE(exists("a"));
    EXPECT_FALSE(exists("d"));
    EXPECT_TRUE(raises(R"(rename %T/b %"a^@b")", Err::script_invalid_arg));
}

// checksum and size? of a file read its bytes through the layer.
TEST_F(FileIoTest, ChecksumOfAFile) {
    put("f", "The quick brown fox\n");
    std::string oracle = shell("python3 -c \"import hashlib,sys; "
                               "print(hashlib.sha256(open(sys.argv[1],'rb').read()).hexdigest().upper())\" " + path("f"));
    EXPECT_EQ(eval("checksum %T/f 'sha256"), "#{" + oracle + "}");
    EXPECT_EQ(eval("size? %T/f"), shell("stat -c %s " + path("f")));
    EXPECT_TRUE(raises("checksum %T/missing 'md5", Err::access_cannot_open));
}

struct DirForm {
    const char* path;
    bool dir;
};

TEST_F(FileIoTest, DirectoryByForm) {
    const DirForm cases[] = {
        {"a/", true},   {"a\\", true},  {".", true},     {"..", true},   {"a/.", true},
        {"a/..", true}, {"a\\..", true}, {"/", true},    {"", false},    {"a", false},
        {"a.", false},  {".a", false},  {"...", false},  {"a/...", false}, {"a..", false},
    };
    for (const DirForm& c : cases) {
        Cell f = test_values::text(c.path, T_FILE);
        EXPECT_EQ(io::is_dir(&f), c.dir) << c.path;
    }
}

TEST_F(FileIoTest, MakesDirectoriesAndTellsWhatExists) {
    Cell d = natives_cases::run(source("%T/new/").c_str());
    temp_roots::Hold hold(&d);
    Cell f = natives_cases::run(source("%T/new/f").c_str());
    EXPECT_FALSE(io::is_exists(&d));
    EXPECT_TRUE(io::make_dir(&d));
    EXPECT_FALSE(io::make_dir(&d));  // already there
    EXPECT_TRUE(io::is_exists(&d));
    EXPECT_FALSE(io::is_exists(&f));
    put("new/f", "");
    EXPECT_TRUE(io::is_exists(&f));
    EXPECT_TRUE(std::filesystem::is_directory(path("new")));
}

// Without a file the bytes go to the console output.
TEST_F(FileIoTest, WritesToTheConsoleWithoutAFile) {
    Cell block = natives_cases::run(R"(["a" #{62} 3])");
    std::string out = output_capture::capture(false, [&] {
        EXPECT_EQ(io::write_file(nullptr, &block, -1, -1, false, true), 6);
    });
    EXPECT_EQ(out, "a\nb\n3\n");
}

struct LinesCase {
    std::string text;
    const char* expected;
};

TEST_F(FileIoTest, SplitsLines) {
    const LinesCase cases[] = {
        {"", "[]"},
        {"a", R"(["a"])"},
        {"a\n", R"(["a"])"},
        {"a\nb", R"(["a" "b"])"},
        {"\n\n", R"(["" ""])"},
        {"\r\n", R"([""])"},
        {"\r", R"(["^M"])"},
        {"a\r\r\nb", R"(["a^M" "b"])"},
        {"\xC3\xA9\r\n\xE2\x82\xAC", R"(["é" "€"])"},
    };
    for (const LinesCase& c : cases) {
        Cell* block = io::split_lines(reinterpret_cast<const uint8_t*>(c.text.data()), uint32_t(c.text.size()));
        EXPECT_EQ(natives_cases::molded(*block), c.expected) << c.expected;
        stack::pop(1);
    }
}

}  // namespace
}  // namespace zel
