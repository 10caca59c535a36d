#pragma once

#include "duplicates/FileReading.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace karv {

/// A fast 128-bit content hash (XXH3 when available). Only ever used to pick candidates: equal
/// hashes are confirmed byte by byte before two files are called identical.
struct ContentHash {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    bool operator==(const ContentHash&) const = default;
};

struct ContentHashKey {
    std::size_t operator()(const ContentHash& hash) const { return static_cast<std::size_t>(hash.low); }
};

/// Bytes of the prefix that rules out most pairs of equal size cheaply.
inline constexpr std::size_t kPrefixBytes = 4096;

/// Files up to this size are read whole at their first read (one call instead of a prefix and a
/// second pass), so their content can be compared in memory.
inline constexpr std::size_t kWholeReadBytes = 64 * 1024;

enum class ReadOutcome { Done, Failed, Stopped };

/// Bytes read from a file. Allocated without zeroing: every byte kept is read into first.
class ReadBytes {
public:
    ReadBytes() = default;
    ReadBytes(ReadBytes&& other) noexcept : m_data(std::move(other.m_data)), m_size(other.m_size) {
        other.m_size = 0;
    }
    ReadBytes& operator=(ReadBytes&& other) noexcept {
        m_data = std::move(other.m_data);
        m_size = other.m_size;
        other.m_size = 0;
        return *this;
    }
    /// Room for `size` bytes, their values undefined until written.
    char* allocate(std::size_t size) {
        m_data.reset(size > 0 ? new char[size] : nullptr);
        m_size = size;
        return m_data.get();
    }
    std::size_t size() const { return m_size; }
    std::string_view view() const { return {m_data.get(), m_size}; }
    void release() {
        m_data.reset();
        m_size = 0;
    }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
};

/// Two read buffers kept for a whole run, so reading many small files allocates nothing.
class ReadBuffers {
public:
    static constexpr std::size_t kBlock = 1 << 16;
    char* first();
    char* second();

private:
    std::unique_ptr<char[]> m_first;
    std::unique_ptr<char[]> m_second;
};

/// The first `kPrefixBytes` (or fewer, all the file has) of a file of `expectedSize` bytes.
ReadOutcome readPrefix(ReadOnlyFile& file, std::uint64_t expectedSize, ReadBytes& bytes, ReadStats& stats);
/// Reads a file of `expectedSize` bytes (at most `kWholeReadBytes`) whole; fails when it has
/// another size or changed while it was read.
ReadOutcome readWholeSmall(ReadOnlyFile& file, std::uint64_t expectedSize, ReadBytes& content,
                           ReadStats& stats);
/// The prefix hash and the content hash of bytes already in memory: the same values the file
/// readers give for a file with these bytes.
std::uint64_t prefixHashOf(std::string_view content);
ContentHash contentHashOf(std::string_view content);
/// Which hash `ContentHash` holds in this build (kept digests of another kind are not used).
std::uint32_t contentHashKind();

/// Hash of the whole of an open file, which must have `expectedSize` bytes and must not change
/// while read.
ReadOutcome wholeFileHash(ReadOnlyFile& file, std::uint64_t expectedSize, ContentHash& hash,
                          const ReadControl& control, ReadStats& stats, ReadBuffers& buffers);

enum class CompareOutcome { Equal, Different, FirstFailed, SecondFailed, Stopped };

/// Compares two open files of `expectedSize` bytes byte by byte, stopping at the first difference;
/// either must not change while read. When they are equal, `hash` receives the content hash of
/// both (computed while comparing).
CompareOutcome compareFiles(ReadOnlyFile& first, ReadOnlyFile& second, std::uint64_t expectedSize,
                            ContentHash& hash, const ReadControl& control, ReadStats& stats,
                            ReadBuffers& buffers);

/// Compares bytes already read (a whole small file) with an open file, which must have as many
/// bytes and must not change while read.
CompareOutcome compareWithFile(std::string_view bytes, ReadOnlyFile& other, ReadStats& stats,
                               ReadBuffers& buffers);

} // namespace karv
