#include "support/TempTree.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace karv::test {

TempTree::TempTree() {
    std::string pattern = (fs::temp_directory_path() / "karv-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

TempTree::~TempTree() {
    std::error_code ec;
    // Folders made unreadable by a test must be opened again before they can be removed.
    for (auto it =
             fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(m_root.c_str(), 0755);
    fs::remove_all(m_root, ec);
}

std::string TempTree::path(std::string_view relative) const {
    return m_root + "/" + std::string(relative);
}

std::string TempTree::file(std::string_view relative, std::string_view content) {
    const std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full;
}

std::string TempTree::folder(std::string_view relative) {
    const std::string full = path(relative);
    fs::create_directories(full);
    return full;
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
