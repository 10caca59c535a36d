#include "text/TextLoader.h"

#include "text/Detect.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

using namespace textio;

namespace {

constexpr std::size_t kPumpInterval = std::size_t{16} << 20;

} // namespace

LoadedText loadTextFromBytes(std::string_view fileBytes) {
    if (fileBytes.size() >= 2 && fileBytes[0] == '\x1F' && fileBytes[1] == '\x8B') {
        MemorySource source(fileBytes);
        const Inflated inflated =
            inflateGzip(source, kContentByteLimit, statedSize(fileBytes, fileBytes.size()));
        return decodeContent(inflated.bytes, inflated.truncated);
    }
    const bool truncated = fileBytes.size() > kContentByteLimit;
    return decodeContent(fileBytes.substr(0, kContentByteLimit), truncated);
}

LoadedText loadFileText(const std::string& path, const std::function<void()>& pump) {
    FileHandle file(path);
    struct stat info {};
    // Only regular files are read: a FIFO or a device could block or never end.
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};

    // The first chunk is read in one go, not the two magic bytes alone: files of /proc and /sys
    // produce their whole value for the first read and nothing for a read further on. A file that
    // states its size is read first only that far (and a byte more, to see it grew): a small
    // file's load does not clear a whole chunk first.
    constexpr std::size_t kLeastHead = 4096;
    const auto stated = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    const std::size_t first =
        stated == 0 ? kHeadChunk : std::min(kHeadChunk, std::max(kLeastHead, stated + 1));
    std::string head(first, '\0');
    head.resize(file.read(head.data(), head.size()));
    const bool more = head.size() == first; // else the end was reached
    if (head.size() >= 2 && head[0] == '\x1F' && head[1] == '\x8B') {
        std::size_t handed = 0; // bytes of `head` given to the decoder so far
        std::size_t sincePump = 0;
        FunctionSource source([&](char* buffer, std::size_t capacity) -> std::size_t {
            if (handed < head.size()) {
                const std::size_t count = std::min(capacity, head.size() - handed);
                std::memcpy(buffer, head.data() + handed, count);
                handed += count;
                return count;
            }
            if (!more)
                return 0;
            sincePump += capacity;
            if (pump && sincePump >= kPumpInterval) {
                sincePump = 0;
                pump();
            }
            return file.read(buffer, capacity);
        });
        char trailer[4];
        const bool haveTrailer = info.st_size >= 18 && ::pread(file.fd(), trailer, 4, info.st_size - 4) == 4;
        const Inflated inflated = inflateGzip(
            source, kContentByteLimit,
            haveTrailer ? statedSize(std::string_view(trailer, 4), static_cast<std::size_t>(info.st_size))
                        : 0);
        return decodeContent(inflated.bytes, inflated.truncated);
    }

    std::string content = std::move(head);
    const auto expected = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    reserveBulk(content, std::min(expected, kContentByteLimit));
    bool truncated = false;
    if (more) {
        // The expected size is read into one buffer of that size; past it (a file that grew, or one
        // that reports no size) the content grows by appending small chunks.
        const std::size_t goal = std::min(expected, kContentByteLimit);
        char chunk[1 << 16];
        while (true) {
            if (content.size() >= kContentByteLimit) {
                truncated = file.read(chunk, 1) == 1;
                break;
            }
            if (content.size() < goal) {
                const std::size_t want = std::min(goal - content.size(), kPumpInterval);
                const std::size_t old = content.size();
                content.resize(old + want);
                const std::size_t got = file.read(content.data() + old, want);
                content.resize(old + got);
                if (got < want)
                    break;
            } else {
                const std::size_t got =
                    file.read(chunk, std::min(sizeof chunk, kContentByteLimit - content.size()));
                if (got == 0)
                    break;
                content.append(chunk, got);
            }
            if (pump)
                pump();
        }
    }
    return decodeContent(content, truncated, pump);
}

} // namespace karv
