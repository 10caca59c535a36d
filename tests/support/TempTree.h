#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace karv::test {

/// A temporary folder that is removed with everything below it when the fixture ends.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    /// Full path of a relative path below the root.
    std::string path(std::string_view relative) const;
    /// Writes a file (creating its folders) and returns its full path.
    std::string file(std::string_view relative, std::string_view content = {});
    /// Creates a folder (and its parents) and returns its full path.
    std::string folder(std::string_view relative);
    /// Creates a symbolic link at `relative` pointing to `target`.
    std::string link(std::string_view relative, const std::string& target);
    /// The content of a file below the root, reached folder by folder (any depth); empty when it
    /// cannot be read.
    std::string read(std::string_view relative) const;
    /// Whether something has this name below the root (any depth).
    bool has(std::string_view relative) const;
    /// Sets the modification and access times (seconds since the epoch).
    void setTimes(std::string_view relative, std::int64_t modified, std::int64_t accessed);

private:
    std::string m_root;
};

/// The whole content of a file; empty when it cannot be read.
std::string contentOf(const std::string& path);
/// True when something (a file, folder or link, even a dangling one) has this name.
bool present(const std::string& path);

} // namespace karv::test
