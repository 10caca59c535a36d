#include "duplicates/ContentCompare.h"

#include "duplicates/ChunkedDigest.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#if defined(KARV_HAVE_XXHASH)
#include <xxhash.h>
#else
#include <openssl/evp.h>
#endif

namespace karv {

namespace {

constexpr std::size_t kBlock = ReadBuffers::kBlock;

/// Streaming content hash.
class Hasher {
public:
#if defined(KARV_HAVE_XXHASH)
    Hasher() : m_state(XXH3_createState()) {
        XXH3_128bits_reset(m_state);
    }
    ~Hasher() {
        XXH3_freeState(m_state);
    }
    void update(const char* data, std::size_t length) {
        XXH3_128bits_update(m_state, data, length);
    }
    ContentHash digest() const {
        const XXH128_hash_t value = XXH3_128bits_digest(m_state);
        return {value.low64, value.high64};
    }

private:
    XXH3_state_t* m_state;
#else
    Hasher() : m_context(EVP_MD_CTX_new()) {
        EVP_DigestInit_ex(m_context, EVP_md5(), nullptr);
    }
    ~Hasher() {
        EVP_MD_CTX_free(m_context);
    }
    void update(const char* data, std::size_t length) {
        EVP_DigestUpdate(m_context, data, length);
    }
    ContentHash digest() const {
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        EVP_DigestFinal_ex(m_context, value, &length);
        ContentHash hash;
        std::memcpy(&hash.low, value, 8);
        std::memcpy(&hash.high, value + 8, 8);
        return hash;
    }

private:
    EVP_MD_CTX* m_context;
#endif
public:
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;
};

std::uint64_t hashPrefix(const char* data, std::size_t length) {
#if defined(KARV_HAVE_XXHASH)
    return XXH3_64bits(data, length);
#else
    Hasher hasher;
    hasher.update(data, length);
    return hasher.digest().low;
#endif
}

// Reads until the buffer is full or the file ends; -1 on error.
long long readFull(ReadOnlyFile& file, char* buffer, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const long long got = file.read(buffer + done, length - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(done);
}

// Hands control back between two blocks of a file; true when a stop was requested. Waiting for a
// digest chunk's worth of bytes would keep the window waiting up to a second; the pump itself
// decides how often events are really handled, and a file of one block costs no call.
bool pauseAfter(const ReadControl& control) {
    if (control.pump)
        control.pump();
    return control.stopRequested && control.stopRequested();
}

} // namespace

char* ReadBuffers::first() {
    if (!m_first)
        m_first.reset(new char[kBlock]); // left uninitialised: every byte used is read first
    return m_first.get();
}

char* ReadBuffers::second() {
    if (!m_second)
        m_second.reset(new char[kBlock]);
    return m_second.get();
}

ReadOutcome prefixHash(const std::string& path, std::uint64_t expectedSize, std::uint64_t& hash,
                       ReadStats& stats) {
    ReadOnlyFile file(path);
    return prefixHash(file, expectedSize, hash, stats);
}

ReadOutcome prefixHash(ReadOnlyFile& file, std::uint64_t expectedSize, std::uint64_t& hash,
                       ReadStats& stats) {
    if (!file.isOpen() || file.size() != expectedSize)
        return ReadOutcome::Failed;
    ++stats.filesOpened;
    char buffer[kPrefixBytes];
    // Only the bytes the file should have are asked for: reading on to the end would cost one more
    // call per small file.
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(expectedSize, kPrefixBytes));
    const long long got = readFull(file, buffer, want);
    if (got < 0)
        return ReadOutcome::Failed;
    stats.bytesRead += static_cast<std::uint64_t>(got);
    stats.bytesDigested += static_cast<std::uint64_t>(got);
    if (static_cast<std::size_t>(got) != want)
        return ReadOutcome::Failed;
    hash = hashPrefix(buffer, static_cast<std::size_t>(got));
    return ReadOutcome::Done;
}

ReadOutcome wholeFileHash(const std::string& path, std::uint64_t expectedSize, ContentHash& hash,
                          const ReadControl& control, ReadStats& stats, ReadBuffers& buffers) {
    ReadOnlyFile file(path);
    if (!file.isOpen() || file.size() != expectedSize)
        return ReadOutcome::Failed;
    ++stats.filesOpened;
    return wholeFileHash(file, expectedSize, hash, control, stats, buffers);
}

ReadOutcome wholeFileHash(ReadOnlyFile& file, std::uint64_t expectedSize, ContentHash& hash,
                          const ReadControl& control, ReadStats& stats, ReadBuffers& buffers) {
    if (!file.isOpen() || file.size() != expectedSize || !file.rewind())
        return ReadOutcome::Failed;
    char* buffer = buffers.first();
    Hasher hasher;
    std::uint64_t total = 0;
    // Exactly the expected bytes are read; a file that grew or changed meanwhile shows in its
    // size or time afterwards, and one that shrank ends early.
    while (total < expectedSize) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(expectedSize - total, kBlock));
        const long long got = file.read(buffer, want);
        if (got <= 0)
            return ReadOutcome::Failed;
        total += static_cast<std::uint64_t>(got);
        stats.bytesRead += static_cast<std::uint64_t>(got);
        stats.bytesDigested += static_cast<std::uint64_t>(got);
        hasher.update(buffer, static_cast<std::size_t>(got));
        if (total < expectedSize && pauseAfter(control))
            return ReadOutcome::Stopped;
    }
    if (file.changedSinceOpen())
        return ReadOutcome::Failed;
    hash = hasher.digest();
    return ReadOutcome::Done;
}

CompareOutcome compareFiles(const std::string& first, const std::string& second, std::uint64_t expectedSize,
                            ContentHash& hash, const ReadControl& control, ReadStats& stats,
                            ReadBuffers& buffers) {
    ReadOnlyFile a(first);
    if (!a.isOpen() || a.size() != expectedSize)
        return CompareOutcome::FirstFailed;
    ++stats.filesOpened;
    return compareFiles(a, second, expectedSize, hash, control, stats, buffers);
}

CompareOutcome compareFiles(ReadOnlyFile& a, const std::string& second, std::uint64_t expectedSize,
                            ContentHash& hash, const ReadControl& control, ReadStats& stats,
                            ReadBuffers& buffers) {
    if (!a.isOpen() || a.size() != expectedSize || !a.rewind())
        return CompareOutcome::FirstFailed;
    ReadOnlyFile b(second);
    if (!b.isOpen() || b.size() != expectedSize)
        return CompareOutcome::SecondFailed;
    ++stats.filesOpened;
    char* bufferA = buffers.first();
    char* bufferB = buffers.second();
    Hasher hasher;
    std::uint64_t total = 0;
    // Exactly the expected bytes are read, as in `wholeFileHash`.
    while (total < expectedSize) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(expectedSize - total, kBlock));
        const long long gotA = readFull(a, bufferA, want);
        if (gotA < 0)
            return CompareOutcome::FirstFailed;
        const long long gotB = readFull(b, bufferB, want);
        if (gotB < 0)
            return CompareOutcome::SecondFailed;
        stats.bytesRead += static_cast<std::uint64_t>(gotA + gotB);
        // Equal sizes were checked at opening: a short read means the file shrank meanwhile.
        if (static_cast<std::size_t>(gotA) != want)
            return CompareOutcome::FirstFailed;
        if (static_cast<std::size_t>(gotB) != want)
            return CompareOutcome::SecondFailed;
        stats.bytesCompared += want;
        if (std::memcmp(bufferA, bufferB, want) != 0)
            return CompareOutcome::Different;
        hasher.update(bufferA, want);
        stats.bytesDigested += want;
        total += want;
        if (total < expectedSize && pauseAfter(control))
            return CompareOutcome::Stopped;
    }
    if (a.changedSinceOpen())
        return CompareOutcome::FirstFailed;
    if (b.changedSinceOpen())
        return CompareOutcome::SecondFailed;
    hash = hasher.digest();
    return CompareOutcome::Equal;
}

} // namespace karv
