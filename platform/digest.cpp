#include "platform/digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>

namespace zel {
namespace platform {

namespace {

static_assert(DIGEST_MAX_SIZE == EVP_MAX_MD_SIZE);

const EVP_MD* (*const methods[DIGEST_KINDS])() = {EVP_md5, EVP_sha1, EVP_sha256, EVP_sha384, EVP_sha512};

EVP_MD_CTX* context_of(const DigestState* s) { return static_cast<EVP_MD_CTX*>(s->context); }

// A failure leaves its reasons in the thread's error queue, where the
// transport's use of the same library would read them as its own.
void fail(DigestState* s) {
    EVP_MD_CTX_free(context_of(s));
    s->context = nullptr;
    ERR_clear_error();
}

}  // namespace

uint32_t digest_size(DigestKind kind) { return uint32_t(EVP_MD_get_size(methods[kind]())); }
uint32_t digest_block_size(DigestKind kind) { return uint32_t(EVP_MD_get_block_size(methods[kind]())); }

void digest_begin(DigestState* s, DigestKind kind) {
    s->kind = kind;
    s->context = EVP_MD_CTX_new();
    if (!s->context || !EVP_DigestInit_ex(context_of(s), methods[kind](), nullptr)) fail(s);
}

void digest_feed(DigestState* s, const uint8_t* bytes, size_t length) {
    if (s->context && length > 0 && !EVP_DigestUpdate(context_of(s), bytes, length)) fail(s);
}

bool digest_end(DigestState* s, uint8_t* out) {
    bool done = s->context && EVP_DigestFinal_ex(context_of(s), out, nullptr);
    if (!done) {
        std::memset(out, 0, digest_size(s->kind));
        ERR_clear_error();
    }
    EVP_MD_CTX_free(context_of(s));
    s->context = nullptr;
    return done;
}

bool digest(DigestKind kind, const uint8_t* bytes, size_t length, uint8_t* out) {
    DigestState s;
    digest_begin(&s, kind);
    digest_feed(&s, bytes, length);
    return digest_end(&s, out);
}

}  // namespace platform
}  // namespace zel
