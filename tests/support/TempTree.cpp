#include "support/TempTree.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace karv::test {

TempTree::TempTree() {
    std::string pattern = (fs::temp_directory_path() / "karv-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

namespace {

// Everything below the open folder `fd` goes, by names relative to it: trees deeper than the
// path limit and folders a test made unreadable are removed too.
void removeBelow(int fd) {
    std::vector<std::string> names;
    if (DIR* dir = ::fdopendir(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir != nullptr) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
            ::fchmodat(fd, name.c_str(), 0700, 0);
            const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                removeBelow(child);
                ::close(child);
            }
            ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.c_str(), 0);
        }
    }
}

// Opens (creating it when missing) the folder `relative` below `root`, one name at a time, so any
// depth can be built: -1 when a step fails.
int openFolder(const std::string& root, std::string_view relative, bool create = true) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd >= 0 && !relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string name(relative.substr(0, slash));
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
        if (name.empty())
            continue;
        if (create)
            ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

} // namespace

TempTree::~TempTree() {
    ::chmod(m_root.c_str(), 0755);
    const int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        removeBelow(fd);
        ::close(fd);
    }
    ::rmdir(m_root.c_str());
}

std::string TempTree::path(std::string_view relative) const {
    return m_root + "/" + std::string(relative);
}

std::string TempTree::file(std::string_view relative, std::string_view content) {
    const std::size_t slash = relative.rfind('/');
    const int dir =
        openFolder(m_root, slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash));
    const std::string name(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    const int fd = dir < 0 ? -1 : ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        throw std::runtime_error("cannot write test file");
    ::close(fd);
    ::close(dir);
    return path(relative);
}

namespace {

// The folder holding `relative` opened step by step, and the last name.
std::pair<int, std::string> parentOf(const std::string& root, std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    if (slash == std::string_view::npos)
        return {::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), std::string(relative)};
    return {openFolder(root, relative.substr(0, slash), false), std::string(relative.substr(slash + 1))};
}

} // namespace

std::string TempTree::read(std::string_view relative) const {
    const auto [dir, name] = parentOf(m_root, relative);
    const int fd = dir < 0 ? -1 : ::openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC);
    std::string content;
    char buffer[4096];
    ssize_t got = 0;
    while (fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<std::size_t>(got));
    if (fd >= 0)
        ::close(fd);
    if (dir >= 0)
        ::close(dir);
    return content;
}

bool TempTree::has(std::string_view relative) const {
    const auto [dir, name] = parentOf(m_root, relative);
    struct stat info {};
    const bool found = dir >= 0 && ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (dir >= 0)
        ::close(dir);
    return found;
}

std::string TempTree::folder(std::string_view relative) {
    const int fd = openFolder(m_root, relative);
    if (fd < 0)
        throw std::runtime_error("cannot make test folder");
    ::close(fd);
    return path(relative);
}

std::string TempTree::link(std::string_view relative, const std::string& target) {
    const std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    if (::symlink(target.c_str(), full.c_str()) != 0)
        throw std::runtime_error("symlink failed");
    return full;
}

void TempTree::setTimes(std::string_view relative, std::int64_t modified, std::int64_t accessed) {
    const std::string full = path(relative);
    struct timespec times[2] = {{static_cast<time_t>(accessed), 0}, {static_cast<time_t>(modified), 0}};
    ::utimensat(AT_FDCWD, full.c_str(), times, 0);
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool present(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace karv::test
