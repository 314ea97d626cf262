// Libraries opened on first use: the loader finds what is there and says what
// is not, and the digests and the HTTP transport fail cleanly, as they fail
// for any other reason, when their library cannot be had.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "io/http.h"
#include "platform/digest.h"
#include "platform/http_curl.h"
#include "platform/shared_library.h"
#include "tests/unit/natives_cases.h"

namespace zel {
namespace {

using platform::SharedLibrary;

TEST(SharedLibraryTest, FindsWhatIsThere) {
    SharedLibrary lib = platform::open_shared_library("libm.so.6");
    ASSERT_NE(lib.handle, nullptr) << lib.failure;
    double (*cosine)(double) = nullptr;
    platform::resolve(&lib, &cosine, "cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.5), std::cos(0.5));
    EXPECT_EQ(lib.failure, "");
}

TEST(SharedLibraryTest, MissingLibrary) {
    SharedLibrary lib = platform::open_shared_library("libzel-no-such-library.so.1");
    EXPECT_EQ(lib.handle, nullptr);
    EXPECT_NE(lib.failure.find("libzel-no-such-library.so.1"), std::string::npos) << lib.failure;
    std::string first = lib.failure;
    EXPECT_EQ(platform::shared_symbol(&lib, "cos"), nullptr);
    EXPECT_EQ(lib.failure, first);
}

// The first miss is the one kept: a later miss or find does not hide it.
TEST(SharedLibraryTest, MissingSymbol) {
    SharedLibrary lib = platform::open_shared_library("libm.so.6");
    ASSERT_NE(lib.handle, nullptr) << lib.failure;
    EXPECT_EQ(platform::shared_symbol(&lib, "zel_no_such_function"), nullptr);
    std::string first = lib.failure;
    EXPECT_NE(first.find("libm.so.6"), std::string::npos) << first;
    EXPECT_NE(first.find("zel_no_such_function"), std::string::npos) << first;
    EXPECT_EQ(platform::shared_symbol(&lib, "zel_another_missing_one"), nullptr);
    EXPECT_NE(platform::shared_symbol(&lib, "sin"), nullptr);
    EXPECT_EQ(lib.failure, first);
}

// The services are checked in a fresh run of this program whose loader path
// puts an empty file first under each soname: the dynamic loader takes the
// file and refuses it, as it would refuse a missing or broken library.
struct WithoutLibrariesTest : natives_cases::NativesTest {
    static void run_child(bool (*check)(), const char* stderr_pattern) {
        // One directory per test: ctest runs the tests at once, in processes
        // of their own, and one removing a shared directory starved the other.
        std::string dir = ::testing::TempDir() + "zel-without-libraries-" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir);
        for (const char* soname : {"libcurl.so.4", "libcrypto.so.3"}) std::ofstream(dir + "/" + soname);
        std::string style = GTEST_FLAG_GET(death_test_style);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        const char* was = std::getenv("LD_LIBRARY_PATH");
        std::string saved = was ? was : "";
        setenv("LD_LIBRARY_PATH", (was ? dir + ":" + saved : dir).c_str(), 1);
        EXPECT_EXIT(std::_Exit(check() ? 0 : 1), ::testing::ExitedWithCode(0), stderr_pattern);
        if (was) {
            setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
        } else {
            unsetenv("LD_LIBRARY_PATH");
        }
        GTEST_FLAG_SET(death_test_style, style);
        std::filesystem::remove_all(dir);
    }
};

const uint8_t* bytes_of(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

// The digest sizes and block sizes of python3's hashlib (digest_size,
// block_size): they stand without the library.
const uint32_t SIZES[platform::DIGEST_KINDS][2] = {{16, 64}, {20, 64}, {32, 64}, {48, 128}, {64, 128}};

bool digests_fail_cleanly() {
    bool sound = true;
    for (uint32_t k = 0; k < platform::DIGEST_KINDS; k++) {
        auto kind = platform::DigestKind(k);
        uint8_t out[platform::DIGEST_MAX_SIZE];
        std::memset(out, 0xAA, sizeof out);
        sound = sound && !platform::digest(kind, bytes_of("abc"), 3, out);
        sound = sound && platform::digest_size(kind) == SIZES[k][0] && platform::digest_block_size(kind) == SIZES[k][1];
        for (uint32_t i = 0; i < SIZES[k][0]; i++) sound = sound && out[i] == 0;
    }
    for (const char* code : {"checksum \"abc\" 'sha256", "checksum/with \"abc\" 'md5 \"key\""}) {
        sound = sound && test_support::raises(Err::internal_feature_na, [&] { natives_cases::run(code); });
    }
    return sound;
}

bool exchanges_fail_cleanly() {
    platform::HttpRequest rq{"http://127.0.0.1:1/", "/", "GET", {}, false, nullptr, 0, 1000, 1000, 1000, 65536, 65536};
    bool sound = true;
    for (int i = 0; i < 2; i++) {
        platform::HttpAnswer answer;
        sound = sound && !platform::http_exchange(rq, &answer) && answer.status == 0;
    }
    http::init();
    return sound && test_support::raises(Err::access_no_connect, [] { natives_cases::run("read http://127.0.0.1:1/"); });
}

TEST_F(WithoutLibrariesTest, DigestsFailAsRefused) { run_child(digests_fail_cleanly, "^$"); }

// Nothing in the error the script sees names the library, so the transport
// says it on the error output, once for all the exchanges.
TEST_F(WithoutLibrariesTest, ExchangesFailAsUnconnected) {
    run_child(exchanges_fail_cleanly, "^zel: HTTP is not available: cannot load libcurl\\.so\\.4 \\([^\n]*\\)\n$");
}

}  // namespace
}  // namespace zel
