// The digests through libcrypto's EVP interface. The library is opened on the
// first digest, not linked, so that a script without digests never pays for
// loading it; when it cannot be opened every digest fails as a refused one.
#include "platform/digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>

#include "platform/shared_library.h"

namespace zel {
namespace platform {

namespace {

static_assert(DIGEST_MAX_SIZE == EVP_MAX_MD_SIZE);

// The sizes are the algorithms' own, so they stand without the library.
const uint32_t SIZES[DIGEST_KINDS] = {16, 20, 32, 48, 64};
const uint32_t BLOCK_SIZES[DIGEST_KINDS] = {64, 64, 64, 128, 128};
const char* const METHOD_NAMES[DIGEST_KINDS] = {"EVP_md5", "EVP_sha1", "EVP_sha256", "EVP_sha384", "EVP_sha512"};

struct Crypto {
    bool ready;
    decltype(&EVP_MD_CTX_new) context_new;
    decltype(&EVP_MD_CTX_free) context_free;
    decltype(&EVP_DigestInit_ex) init;
    decltype(&EVP_DigestUpdate) update;
    decltype(&EVP_DigestFinal_ex) final;
    decltype(&ERR_clear_error) clear_error;
    decltype(&EVP_md5) methods[DIGEST_KINDS];
};

Crypto load() {
    Crypto c{};
    SharedLibrary lib = open_shared_library("libcrypto.so.3");
    resolve(&lib, &c.context_new, "EVP_MD_CTX_new");
    resolve(&lib, &c.context_free, "EVP_MD_CTX_free");
    resolve(&lib, &c.init, "EVP_DigestInit_ex");
    resolve(&lib, &c.update, "EVP_DigestUpdate");
    resolve(&lib, &c.final, "EVP_DigestFinal_ex");
    resolve(&lib, &c.clear_error, "ERR_clear_error");
    for (uint32_t k = 0; k < DIGEST_KINDS; k++) resolve(&lib, &c.methods[k], METHOD_NAMES[k]);
    c.ready = lib.failure.empty();
    return c;
}

const Crypto& crypto() {
    static const Crypto c = load();
    return c;
}

EVP_MD_CTX* context_of(const DigestState* s) { return static_cast<EVP_MD_CTX*>(s->context); }

// A failure leaves its reasons in the thread's error queue, where the
// transport's use of the same library would read them as its own.
void fail(DigestState* s) {
    crypto().context_free(context_of(s));
    s->context = nullptr;
    crypto().clear_error();
}

}  // namespace

uint32_t digest_size(DigestKind kind) { return SIZES[kind]; }
uint32_t digest_block_size(DigestKind kind) { return BLOCK_SIZES[kind]; }

void digest_begin(DigestState* s, DigestKind kind) {
    const Crypto& c = crypto();
    s->kind = kind;
    s->context = nullptr;
    if (!c.ready) return;
    s->context = c.context_new();
    if (!s->context || !c.init(context_of(s), c.methods[kind](), nullptr)) fail(s);
}

void digest_feed(DigestState* s, const uint8_t* bytes, size_t length) {
    if (s->context && length > 0 && !crypto().update(context_of(s), bytes, length)) fail(s);
}

bool digest_end(DigestState* s, uint8_t* out) {
    bool done = s->context && crypto().final(context_of(s), out, nullptr);
    if (!done) {
        std::memset(out, 0, digest_size(s->kind));
        if (s->context) fail(s);
    }
    if (s->context) crypto().context_free(context_of(s));
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
