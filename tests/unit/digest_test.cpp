// The digest service over libcrypto: digests of one kind under way side by
// side, and a library whose configuration refuses every algorithm. The
// digests themselves are checked against python3 in checksum_test.cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "interpreter/checksum.h"
#include "platform/digest.h"
#include "test_support.h"

namespace zel {
namespace {

using platform::DigestKind;
using platform::DigestState;

const uint8_t* bytes_of(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

std::string digest_of(DigestKind kind, const char* text) {
    uint8_t out[platform::DIGEST_MAX_SIZE];
    EXPECT_TRUE(platform::digest(kind, bytes_of(text), std::strlen(text), out));
    return std::string(reinterpret_cast<const char*>(out), platform::digest_size(kind));
}

// Two digests of a kind fed in turns, and a whole digest of the same kind
// begun and ended while both are under way: none disturbs another.
TEST(DigestTest, DigestsOfOneKindSideBySide) {
    const char first[] = "The quick brown fox", second[] = "jumps over the lazy dog";
    for (uint32_t k = 0; k < platform::DIGEST_KINDS; k++) {
        DigestKind kind = DigestKind(k);
        std::string whole_first = digest_of(kind, first), whole_second = digest_of(kind, second);
        DigestState a, b;
        platform::digest_begin(&a, kind);
        platform::digest_feed(&a, bytes_of(first), 4);
        platform::digest_begin(&b, kind);
        platform::digest_feed(&b, bytes_of(second), 6);
        EXPECT_EQ(digest_of(kind, first), whole_first) << "kind " << k;
        platform::digest_feed(&a, bytes_of(first) + 4, std::strlen(first) - 4);
        platform::digest_feed(&b, bytes_of(second) + 6, std::strlen(second) - 6);
        uint8_t out_a[platform::DIGEST_MAX_SIZE], out_b[platform::DIGEST_MAX_SIZE];
        ASSERT_TRUE(platform::digest_end(&a, out_a));
        ASSERT_TRUE(platform::digest_end(&b, out_b));
        size_t size = platform::digest_size(kind);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out_a), size), whole_first) << "kind " << k;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out_b), size), whole_second) << "kind " << k;
    }
}

// What the child of the refusal test checks: the service answers false and
// zeros, the sizes still stand, and the checksum module raises instead of
// answering a digest it did not get.
bool refusal_is_reported() {
    test_support::interpreter_ready();
    bool sound = true;
    for (uint32_t k = 0; k < platform::DIGEST_KINDS; k++) {
        DigestKind kind = DigestKind(k);
        uint8_t out[platform::DIGEST_MAX_SIZE];
        std::memset(out, 0xAA, sizeof out);
        sound = sound && !platform::digest(kind, bytes_of("abc"), 3, out);
        for (uint32_t i = 0; i < platform::digest_size(kind); i++) sound = sound && out[i] == 0;
        sound = sound && platform::digest_size(kind) == checksum::digest_size(int32_t(checksum::C_MD5 + k));
    }
    for (int32_t code = checksum::C_MD5; code <= checksum::C_SHA512; code++) {
        sound = sound && test_support::raises(Err::internal_feature_na,
                                              [&] { checksum::digest(bytes_of("abc"), 3, code); });
    }
    for (checksum::Method m : {checksum::M_MD5, checksum::M_SHA512}) {
        sound = sound && test_support::raises(Err::internal_feature_na,
                                              [&] { checksum::hmac(bytes_of("abc"), 3, bytes_of("key"), 3, m); });
    }
    return sound;
}

// A configuration that loads only the base provider leaves the library no
// digest at all. The child is a fresh run of this program, so that the
// library reads that configuration when it starts.
TEST(DigestTest, RefusedAlgorithmsAreReported) {
    std::string conf = ::testing::TempDir() + "zel-digest-base-only.cnf";
    std::ofstream(conf) << "openssl_conf = openssl_init\n"
                           "[openssl_init]\nproviders = provider_sect\n"
                           "[provider_sect]\nbase = base_sect\n"
                           "[base_sect]\nactivate = 1\n";
    std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("OPENSSL_CONF", conf.c_str(), 1);
    EXPECT_EXIT(std::_Exit(refusal_is_reported() ? 0 : 1), ::testing::ExitedWithCode(0), "");
    unsetenv("OPENSSL_CONF");
    GTEST_FLAG_SET(death_test_style, style);
    std::remove(conf.c_str());
}

}  // namespace
}  // namespace zel
