#include "duplicates/ChunkedDigest.h"

#include <memory>
#include <openssl/evp.h>
#include <vector>

namespace karv {

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

constexpr std::size_t kReadBlock = 1 << 20;

std::string hexText(const unsigned char* bytes, unsigned length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

bool finishHex(EVP_MD_CTX* context, std::string& out) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context, value, &length) != 1)
        return false;
    out = hexText(value, length);
    return true;
}

} // namespace

std::string md5Hex(std::string_view bytes) {
    DigestContext context(EVP_MD_CTX_new());
    std::string out;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 || !finishHex(context.get(), out))
        return {};
    return out;
}

std::string chunkedFileDigest(const std::string& path, const ReadControl& control, ReadStats* stats) {
    ReadOnlyFile file(path);
    if (!file.isOpen())
        return {};
    if (stats != nullptr)
        ++stats->filesOpened;
    const std::uint64_t size = file.size();
    std::uint64_t chunks = size / kDigestChunkBytes;
    if (chunks < 1)
        chunks = 1;

    DigestContext context(EVP_MD_CTX_new());
    if (!context)
        return {};
    // Sized to the file (one byte more shows growth), and not zero-filled: small files cost little.
    const std::size_t bufferSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kReadBlock - 1) + 1);
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    std::string chunkDigests;
    std::uint64_t total = 0;
    for (std::uint64_t chunk = 1; chunk <= chunks; ++chunk) {
        if (EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1)
            return {};
        const bool last = chunk == chunks;
        std::uint64_t left = kDigestChunkBytes;
        while (last || left > 0) {
            const std::size_t want =
                last ? kReadBlock : static_cast<std::size_t>(std::min<std::uint64_t>(left, kReadBlock));
            const long long got = file.read(buffer.get(), want);
            if (got < 0)
                return {};
            if (got == 0)
                break;
            total += static_cast<std::uint64_t>(got);
            if (stats != nullptr) {
                stats->bytesRead += static_cast<std::uint64_t>(got);
                stats->bytesDigested += static_cast<std::uint64_t>(got);
            }
            if (total > size)
                return {}; // grew while being read: stop instead of chasing a growing file
            if (EVP_DigestUpdate(context.get(), buffer.get(), static_cast<std::size_t>(got)) != 1)
                return {};
            if (!last)
                left -= static_cast<std::uint64_t>(got);
        }
        std::string hex;
        if (!finishHex(context.get(), hex))
            return {};
        chunkDigests += hex;
        if (control.pump)
            control.pump();
        if (control.stopRequested && control.stopRequested() && !last)
            return {};
        if (!last && left > 0)
            break; // the file ended early: it shrank while being read
    }
    if (total != size || file.changedSinceOpen())
        return {};
    return md5Hex(chunkDigests);
}

} // namespace karv
