#include "settings/TextInput.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Far beyond any real list; stops `/dev/zero` or a runaway producer from filling the memory.
constexpr std::size_t kMaxInputBytes = std::size_t{1} << 30;

} // namespace

bool readToEnd(int fd, std::string& content, std::string& error) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // An inherited non-blocking standard input: wait for data instead of giving up.
                pollfd wait{fd, POLLIN, 0};
                ::poll(&wait, 1, -1);
                continue;
            }
            error = std::strerror(errno);
            return false;
        }
        if (got == 0)
            return true;
        if (content.size() + static_cast<std::size_t>(got) > kMaxInputBytes) {
            error = "larger than 1 GiB";
            return false;
        }
        content.append(chunk, static_cast<std::size_t>(got));
    }
}

void dropByteOrderMark(std::string& text) {
    if (text.starts_with(kByteOrderMark))
        text.erase(0, kByteOrderMark.size());
}

bool readTextInput(const std::string& path, std::string& content, std::string& error) {
    content.clear();
    error.clear();
    const bool standardInput = path == "-";
    // A named pipe waits here for its writer, as a reader of a pipe should.
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok)
        error = std::strerror(errno);
    else if (S_ISDIR(info.st_mode) || S_ISBLK(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "is a folder" : "is a block device";
        ok = false;
    }
    // A file's own size up front: a list of a million rows is not copied again and again as it grows.
    if (ok && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= kMaxInputBytes)
        content.reserve(static_cast<std::size_t>(info.st_size));
    ok = ok && readToEnd(fd, content, error);
    if (!standardInput)
        ::close(fd);
    if (!ok) {
        content.clear();
        return false;
    }
    dropByteOrderMark(content);
    return true;
}

std::vector<std::string> splitTextInput(std::string_view text, bool nulSeparated) {
    const char separator = nulSeparated ? '\0' : '\n';
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t at = text.find(separator, start);
        std::size_t end = at == std::string_view::npos ? text.size() : at;
        if (!nulSeparated && at != std::string_view::npos && end > start && text[end - 1] == '\r')
            --end;
        entries.emplace_back(text.substr(start, end - start));
        if (at == std::string_view::npos)
            break;
        start = at + 1;
    }
    return entries;
}

} // namespace karv
