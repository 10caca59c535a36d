#pragma once

#include "files/FileFacts.h"
#include "text/TextLimits.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <string_view>
#include <zlib.h>

namespace karv {

/// Decompresses gzip data (RFC 1952; concatenated members are decoded one after another).
/// Truncated or corrupt data gives the part decoded before the fault, possibly nothing.
/// Output stops at `maxOutputBytes`, so a small "gzip bomb" cannot exhaust memory.
std::string gunzipBytes(std::string_view gzipData, std::size_t maxOutputBytes = kContentByteLimit);

} // namespace karv

// Where content bytes come from: a file, memory, or gzip content decompressed on the way.
namespace karv::textio {

/// Pulls compressed bytes; returns 0 at the end of the input.
using ByteSource = std::function<std::size_t(char* buffer, std::size_t capacity)>;

struct Inflated {
    std::string bytes;
    bool truncated = false;
};

/// The size a gzip member's trailer states (modulo 4 GiB), as a hint to make room at once. Deflate
/// cannot expand more than about 1032 to 1, so a trailer claiming more is not believed.
std::size_t statedSize(std::string_view trailer, std::size_t compressedSize);

// The first read of a file; larger files go on in chunks.
inline constexpr std::size_t kHeadChunk = 64 * 1024;

class FileHandle {
public:
    explicit FileHandle(const std::string& path) : m_fd(openForReading(path)) {}
    /// The file `name` in the open folder `folder`: no path is looked up again from the root.
    FileHandle(int folder, const char* name) : m_fd(openAt(folder, name)) {}
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return m_fd; }

    /// Reads up to `capacity` bytes, retrying after interruptions; 0 at the end or on an error.
    std::size_t read(char* buffer, std::size_t capacity) {
        std::size_t total = 0;
        while (total < capacity) {
            const ssize_t got = ::read(m_fd, buffer + total, capacity - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

private:
    static int openAt(int folder, const char* name) {
        // As `openForReading`: the access times the time filter compares stay as they were.
        constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
        int fd;
        do
            fd = ::openat(folder, name, kFlags | O_NOATIME);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != EPERM)
            return fd;
        do
            fd = ::openat(folder, name, kFlags);
        while (fd < 0 && errno == EINTR);
        return fd;
    }

    int m_fd;
};

class ContentSource {
public:
    virtual ~ContentSource() = default;
    /// Goes back to the first byte; false when that is not possible.
    virtual bool rewind() = 0;
    /// Whether `rewind` can work at all (asked before reading on in a way that needs it).
    virtual bool canRewind() const { return true; }
    /// Fills `buffer` as far as the content goes; less than `capacity` only at the end.
    virtual std::size_t read(char* buffer, std::size_t capacity) = 0;
    /// The likely length (0 when unknown).
    virtual std::size_t sizeHint() const { return 0; }
};

class MemorySource : public ContentSource {
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    bool rewind() override {
        m_offset = 0;
        return true;
    }
    std::size_t read(char* buffer, std::size_t capacity) override {
        const std::size_t count = std::min(capacity, m_bytes.size() - m_offset);
        std::memcpy(buffer, m_bytes.data() + m_offset, count);
        m_offset += count;
        return count;
    }
    std::size_t sizeHint() const override { return m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_offset = 0;
};

class FileSource : public ContentSource {
public:
    FileSource(FileHandle& file, std::size_t size) : m_file(file), m_size(size) {}
    bool rewind() override { return ::lseek(m_file.fd(), 0, SEEK_SET) == 0; }
    /// A regular file's short read is its end: no second call is made to hear it say so.
    std::size_t read(char* buffer, std::size_t capacity) override {
        std::size_t total = 0;
        while (total < capacity) {
            const ssize_t got = ::read(m_file.fd(), buffer + total, capacity - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += static_cast<std::size_t>(got);
            if (m_regular)
                break;
        }
        return total;
    }
    std::size_t sizeHint() const override { return m_size; }
    /// Set for a regular file, whose reads are short only at its end.
    void setRegular() { m_regular = true; }

private:
    FileHandle& m_file;
    std::size_t m_size;
    bool m_regular = false;
};

/// The decompressed bytes of gzip content, members one after another, as `inflateGzip` gives them.
class GzipSource : public ContentSource {
public:
    explicit GzipSource(ContentSource& raw) : m_raw(raw), m_input(std::size_t{1} << 16, '\0') {
        m_ready = ::inflateInit2(&m_stream, 15 + 16) == Z_OK;
        m_finished = !m_ready;
    }
    ~GzipSource() override {
        if (m_ready)
            ::inflateEnd(&m_stream);
    }
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    bool canRewind() const override { return m_ready && m_raw.canRewind(); }
    bool rewind() override {
        if (!m_ready || !m_raw.rewind() || ::inflateReset(&m_stream) != Z_OK)
            return false;
        m_stream.avail_in = 0;
        m_inputDone = false;
        m_finished = false;
        return true;
    }

    std::size_t read(char* buffer, std::size_t capacity) override;

private:
    ContentSource& m_raw;
    z_stream m_stream{};
    std::string m_input;
    bool m_ready = false;
    bool m_inputDone = false;
    bool m_finished = false;
};

/// Content read through a function (the loader's head, then the rest of the file with the pump).
class FunctionSource : public ContentSource {
public:
    explicit FunctionSource(ByteSource read) : m_read(std::move(read)) {}
    bool rewind() override { return false; }
    bool canRewind() const override { return false; }
    std::size_t read(char* buffer, std::size_t capacity) override { return m_read(buffer, capacity); }

private:
    ByteSource m_read;
};

/// The decompressed bytes of gzip content, up to `limit`; `truncated` when there were more.
Inflated inflateGzip(ContentSource& raw, std::size_t limit, std::size_t sizeHint);

} // namespace karv::textio
