#include "duplicates/ContentCompare.h"

#include "duplicates/ChunkedDigest.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#if defined(KARV_HAVE_XXHASH)
#include <xxhash.h>
#else
#include <openssl/evp.h>
#endif

namespace karv {

namespace {

constexpr std::size_t kBlock = ReadBuffers::kBlock;
// From this size on, the two halves of a file are read at the same time.
constexpr std::uint64_t kSplitBytes = std::uint64_t{1} << 20;
// How many blocks the second half may run ahead of the first.
constexpr std::uint64_t kLeadBlocks = 8;

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

// Reads from `offset` until the buffer is full or the file ends; -1 on error.
long long readFullAt(const ReadOnlyFile& file, char* buffer, std::size_t length, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < length) {
        const long long got = file.readAt(buffer + done, length - done, offset + done);
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

// Reads bytes [begin, end) of `a` (and of `b`, comparing) in blocks, feeding `hasher`. `pause` runs
// between blocks and says whether to stop. Equal when every byte was read (and matched).
CompareOutcome readSpan(const ReadOnlyFile& a, const ReadOnlyFile* b, std::uint64_t begin, std::uint64_t end,
                        Hasher& hasher, const std::function<bool()>& pause, ReadStats& stats, char* bufferA,
                        char* bufferB) {
    // Exactly the expected bytes are read; a file that grew or changed meanwhile shows in its size
    // or time afterwards, and one that shrank ends early.
    for (std::uint64_t at = begin; at < end;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kBlock));
        if (readFullAt(a, bufferA, want, at) != static_cast<long long>(want))
            return CompareOutcome::FirstFailed;
        stats.bytesRead += want;
        if (b != nullptr) {
            if (readFullAt(*b, bufferB, want, at) != static_cast<long long>(want))
                return CompareOutcome::SecondFailed;
            stats.bytesRead += want;
            stats.bytesCompared += want;
            if (std::memcmp(bufferA, bufferB, want) != 0)
                return CompareOutcome::Different;
        }
        hasher.update(bufferA, want);
        stats.bytesDigested += want;
        at += want;
        if (at < end && pause())
            return CompareOutcome::Stopped;
    }
    return CompareOutcome::Equal;
}

ContentHash combined(const ContentHash& first, const ContentHash& second) {
    Hasher hasher;
    hasher.update(reinterpret_cast<const char*>(&first), sizeof first);
    hasher.update(reinterpret_cast<const char*>(&second), sizeof second);
    return hasher.digest();
}

// Hashes a whole file (`b` null) or compares two files of `size` bytes. A large one is read in two
// halves at once, the second on a thread of its own, so both cores copy; its hash is then the hash
// of the two halves' hashes, the same for every file of that size.
CompareOutcome readBoth(const ReadOnlyFile& a, const ReadOnlyFile* b, std::uint64_t size, ContentHash& hash,
                        const ReadControl& control, ReadStats& stats, ReadBuffers& buffers) {
    const std::function<bool()> pause = [&control] {
        return pauseAfter(control);
    };
    Hasher front;
    CompareOutcome outcome = CompareOutcome::Equal;
    if (size < kSplitBytes) {
        outcome = readSpan(a, b, 0, size, front, pause, stats, buffers.first(), buffers.second());
        if (outcome == CompareOutcome::Equal)
            hash = front.digest();
    } else {
        const std::uint64_t middle = size / 2 / kBlock * kBlock;
        Hasher back;
        ReadStats backStats;
        std::atomic<bool> quit{false};
        // The second half keeps pace with the first, whose thread pumps and sees a stop: at most
        // kLeadBlocks ahead, so a stop or a difference ends the reading of both about as soon.
        std::atomic<std::uint64_t> frontBlocks{0};
        std::uint64_t backBlocks = 0;
        const std::function<bool()> quitting = [&] {
            ++backBlocks;
            while (!quit.load(std::memory_order_relaxed) &&
                   backBlocks > frontBlocks.load(std::memory_order_relaxed) + kLeadBlocks)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            return quit.load(std::memory_order_relaxed);
        };
        const std::function<bool()> pacedPause = [&] {
            frontBlocks.fetch_add(1, std::memory_order_relaxed);
            return pauseAfter(control);
        };
        std::future<CompareOutcome> second;
        try {
            second = std::async(std::launch::async, [&] {
                ReadBuffers own;
                return readSpan(a, b, middle, size, back, quitting, backStats, own.first(), own.second());
            });
        } catch (const std::system_error&) {
            // No thread to be had: the second half is read here afterwards.
        }
        outcome = readSpan(a, b, 0, middle, front, pacedPause, stats, buffers.first(), buffers.second());
        frontBlocks = std::numeric_limits<std::uint64_t>::max() / 2;
        if (outcome != CompareOutcome::Equal)
            quit = true;
        if (second.valid()) {
            while (second.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
                if (pauseAfter(control))
                    quit = true;
            }
            const CompareOutcome back_outcome = second.get();
            if (outcome == CompareOutcome::Equal)
                outcome = quit ? CompareOutcome::Stopped : back_outcome;
        } else if (outcome == CompareOutcome::Equal) {
            outcome = readSpan(a, b, middle, size, back, pause, backStats, buffers.first(), buffers.second());
        }
        stats += backStats;
        if (outcome == CompareOutcome::Equal)
            hash = combined(front.digest(), back.digest());
    }
    if (outcome != CompareOutcome::Equal)
        return outcome;
    if (a.changedSinceOpen())
        return CompareOutcome::FirstFailed;
    if (b != nullptr && b->changedSinceOpen())
        return CompareOutcome::SecondFailed;
    return CompareOutcome::Equal;
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

ReadOutcome readPrefix(ReadOnlyFile& file, std::uint64_t expectedSize, ReadBytes& bytes, ReadStats& stats) {
    if (!file.isOpen() || file.size() != expectedSize)
        return ReadOutcome::Failed;
    ++stats.filesOpened;
    // Only the bytes the file should have are asked for: reading on to the end would cost one more
    // call per small file.
    char* into =
        bytes.allocate(static_cast<std::size_t>(std::min<std::uint64_t>(expectedSize, kPrefixBytes)));
    const long long got = readFullAt(file, into, bytes.size(), 0);
    if (got < 0)
        return ReadOutcome::Failed;
    stats.bytesRead += static_cast<std::uint64_t>(got);
    stats.bytesDigested += static_cast<std::uint64_t>(got);
    if (static_cast<std::size_t>(got) != bytes.size())
        return ReadOutcome::Failed;
    return ReadOutcome::Done;
}

ReadOutcome readWholeSmall(ReadOnlyFile& file, std::uint64_t expectedSize, ReadBytes& content,
                           ReadStats& stats) {
    if (!file.isOpen() || file.size() != expectedSize || expectedSize > kWholeReadBytes)
        return ReadOutcome::Failed;
    ++stats.filesOpened;
    char* into = content.allocate(static_cast<std::size_t>(expectedSize));
    const long long got = readFullAt(file, into, content.size(), 0);
    if (got < 0 || static_cast<std::size_t>(got) != content.size())
        return ReadOutcome::Failed;
    stats.bytesRead += content.size();
    stats.bytesDigested += content.size();
    if (!file.unchangedAfterRead())
        return ReadOutcome::Failed;
    return ReadOutcome::Done;
}

std::uint64_t prefixHashOf(std::string_view content) {
    return hashPrefix(content.data(), std::min(content.size(), kPrefixBytes));
}

ContentHash contentHashOf(std::string_view content) {
    Hasher hasher;
    hasher.update(content.data(), content.size());
    return hasher.digest();
}

std::uint32_t contentHashKind() {
#if defined(KARV_HAVE_XXHASH)
    return 1; // XXH3-128; a file of 1 MiB and more as the hash of its two halves' hashes
#else
    return 2; // MD5, the same halves
#endif
}

ReadOutcome wholeFileHash(ReadOnlyFile& file, std::uint64_t expectedSize, ContentHash& hash,
                          const ReadControl& control, ReadStats& stats, ReadBuffers& buffers) {
    if (!file.isOpen() || file.size() != expectedSize)
        return ReadOutcome::Failed;
    const CompareOutcome outcome = readBoth(file, nullptr, expectedSize, hash, control, stats, buffers);
    return outcome == CompareOutcome::Equal     ? ReadOutcome::Done
           : outcome == CompareOutcome::Stopped ? ReadOutcome::Stopped
                                                : ReadOutcome::Failed;
}

CompareOutcome compareFiles(ReadOnlyFile& a, ReadOnlyFile& b, std::uint64_t expectedSize, ContentHash& hash,
                            const ReadControl& control, ReadStats& stats, ReadBuffers& buffers) {
    if (!a.isOpen() || a.size() != expectedSize)
        return CompareOutcome::FirstFailed;
    if (!b.isOpen() || b.size() != expectedSize)
        return CompareOutcome::SecondFailed;
    return readBoth(a, &b, expectedSize, hash, control, stats, buffers);
}

CompareOutcome compareWithFile(std::string_view bytes, ReadOnlyFile& b, ReadStats& stats,
                               ReadBuffers& buffers) {
    if (!b.isOpen() || b.size() != bytes.size())
        return CompareOutcome::SecondFailed;
    char* buffer = buffers.second();
    std::size_t total = 0;
    while (total < bytes.size()) {
        const std::size_t want = std::min(bytes.size() - total, kBlock);
        const long long got = readFullAt(b, buffer, want, total);
        if (got < 0 || static_cast<std::size_t>(got) != want)
            return CompareOutcome::SecondFailed;
        stats.bytesRead += want;
        stats.bytesCompared += want;
        if (std::memcmp(bytes.data() + total, buffer, want) != 0)
            return CompareOutcome::Different;
        total += want;
    }
    if (b.changedSinceOpen())
        return CompareOutcome::SecondFailed;
    return CompareOutcome::Equal;
}

} // namespace karv
