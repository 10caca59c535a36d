#include "classify/PathKey.h"

#include <cstring>
#include <functional>
#include <memory>
#include <openssl/evp.h>

namespace karv {

// A cryptographic digest: two different paths must never share a fingerprint, or a file could be
// taken for one the run has already handled and be left out. Names are chosen by whoever filled
// the folder, so a fast non-cryptographic hash could be made to collide on purpose.
PathKey pathKey(std::string_view text) {
    // The algorithm fetched once and one context per thread, reused: looking either up for every
    // path would cost more than the digest itself.
    static const std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> sha256(
        EVP_MD_fetch(nullptr, "SHA2-256", nullptr), &EVP_MD_free);
    thread_local const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                                       &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    PathKey key;
    if (!sha256 || !context || EVP_DigestInit_ex(context.get(), sha256.get(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || length < 16) {
        // Only when out of memory: an ordinary hash then, which different paths share only by rare chance.
        key.high = std::hash<std::string_view>{}(text);
        key.low = text.size();
        return key;
    }
    std::memcpy(&key.high, digest, sizeof key.high);
    std::memcpy(&key.low, digest + 8, sizeof key.low);
    return key;
}

} // namespace karv
