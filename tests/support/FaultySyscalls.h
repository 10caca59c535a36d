#pragma once

#include "files/Syscalls.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace karv::test {

/// The kernel's calls, except those the test programs to fail: the nth call of a kind, every call
/// of a kind, or only calls on paths containing a given text (descriptor calls count by the path
/// they were opened with). The *at calls count as their path namesakes (a stat that does not follow
/// links as Lstat, opening a folder as Open), on the path of their folder descriptor plus the name.
class FaultySyscalls : public files::Syscalls {
public:
    enum class Call {
        Open,
        Close,
        Read,
        Write,
        CopyRange,
        Fsync,
        Fstat,
        Stat,
        Lstat,
        Chmod,
        Utimes,
        Rename,
        Link,
        Unlink,
        Mkdir,
        ReadLink,
        Tmpfile ///< an open of a file without a name (O_TMPFILE), on its folder's path
    };

    /// The `nth` call (from 1, counted from now) of `call` fails with `error`.
    void failNth(Call call, int nth, int error, std::string pathContains = {}) {
        m_rules.push_back({call, nth, error, std::move(pathContains), 0});
    }
    /// Every call of `call` fails with `error`.
    void failAll(Call call, int error, std::string pathContains = {}) {
        m_rules.push_back({call, 0, error, std::move(pathContains), 0});
    }
    /// The `nth` call of any kind (from 1, counted from now) fails with `error`.
    void failNthCall(int nth, int error) {
        m_anyNth = m_calls + nth;
        m_anyError = error;
    }
    void clearFaults() {
        m_rules.clear();
        m_anyNth = 0;
    }
    /// How many calls of any kind were made, failed or not.
    int totalCalls() const { return m_calls; }
    /// How many calls of a kind were made, failed or not.
    int count(Call call) const {
        const auto it = m_counts.find(call);
        return it == m_counts.end() ? 0 : it->second;
    }
    /// Runs before every call, e.g. to remove a file between two steps.
    std::function<void(Call, const std::string& path)> before;

    int open(const char* path, int flags, mode_t mode) override {
        if (fails(Call::Open, path))
            return -1;
        const int fd = m_real.open(path, flags, mode);
        if (fd >= 0)
            m_paths[fd] = path;
        return fd;
    }
    int close(int fd) override {
        const std::string path = pathOf(fd);
        m_paths.erase(fd);
        // The descriptor is released even when the close reports an error, as the kernel does.
        const bool failed = fails(Call::Close, path);
        const int result = m_real.close(fd);
        if (failed) {
            errno = m_lastError;
            return -1;
        }
        return result;
    }
    ssize_t read(int fd, void* buffer, size_t size) override {
        return fails(Call::Read, pathOf(fd)) ? -1 : m_real.read(fd, buffer, size);
    }
    ssize_t readAt(int fd, void* buffer, size_t size, off_t offset) override {
        return fails(Call::Read, pathOf(fd)) ? -1 : m_real.readAt(fd, buffer, size, offset);
    }
    ssize_t write(int fd, const void* buffer, size_t size) override {
        return fails(Call::Write, pathOf(fd)) ? -1 : m_real.write(fd, buffer, size);
    }
    ssize_t copyRange(int in, int out, size_t size) override {
        return fails(Call::CopyRange, pathOf(out)) ? -1 : m_real.copyRange(in, out, size);
    }
    int fsync(int fd) override { return fails(Call::Fsync, pathOf(fd)) ? -1 : m_real.fsync(fd); }
    int fstat(int fd, struct stat* info) override {
        return fails(Call::Fstat, pathOf(fd)) ? -1 : m_real.fstat(fd, info);
    }
    int stat(const char* path, struct stat* info) override {
        return fails(Call::Stat, path) ? -1 : m_real.stat(path, info);
    }
    int lstat(const char* path, struct stat* info) override {
        return fails(Call::Lstat, path) ? -1 : m_real.lstat(path, info);
    }
    ssize_t readLink(const char* path, char* buffer, size_t size) override {
        return fails(Call::ReadLink, path) ? -1 : m_real.readLink(path, buffer, size);
    }
    int fchmod(int fd, mode_t mode) override {
        return fails(Call::Chmod, pathOf(fd)) ? -1 : m_real.fchmod(fd, mode);
    }
    int futimens(int fd, const struct timespec times[2]) override {
        return fails(Call::Utimes, pathOf(fd)) ? -1 : m_real.futimens(fd, times);
    }
    int rename(const char* from, const char* to, bool noReplace) override {
        return fails(Call::Rename, std::string(from) + "\n" + to) ? -1 : m_real.rename(from, to, noReplace);
    }
    int link(const char* from, const char* to) override {
        return fails(Call::Link, std::string(from) + "\n" + to) ? -1 : m_real.link(from, to);
    }
    int unlink(const char* path) override { return fails(Call::Unlink, path) ? -1 : m_real.unlink(path); }
    int mkdir(const char* path, mode_t mode) override {
        return fails(Call::Mkdir, path) ? -1 : m_real.mkdir(path, mode);
    }
    int openAt(int dir, const char* name, int flags, mode_t mode) override {
        const std::string path = pathAt(dir, name);
        if (fails((flags & O_TMPFILE) == O_TMPFILE ? Call::Tmpfile : Call::Open, path))
            return -1;
        const int fd = m_real.openAt(dir, name, flags, mode);
        if (fd >= 0)
            m_paths[fd] = path;
        return fd;
    }
    int statAt(int dir, const char* name, struct stat* info, bool followLinks) override {
        return fails(followLinks ? Call::Stat : Call::Lstat, pathAt(dir, name))
                   ? -1
                   : m_real.statAt(dir, name, info, followLinks);
    }
    int renameAt(int fromDir, const char* from, int toDir, const char* to, bool noReplace) override {
        return fails(Call::Rename, pathAt(fromDir, from) + "\n" + pathAt(toDir, to))
                   ? -1
                   : m_real.renameAt(fromDir, from, toDir, to, noReplace);
    }
    int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override {
        return fails(Call::Link, pathAt(fromDir, from) + "\n" + pathAt(toDir, to))
                   ? -1
                   : m_real.linkAt(fromDir, from, toDir, to, flags);
    }
    int unlinkAt(int dir, const char* name) override {
        return fails(Call::Unlink, pathAt(dir, name)) ? -1 : m_real.unlinkAt(dir, name);
    }
    int openFolder(const char* path, bool followLinks) override {
        if (fails(Call::Open, path))
            return -1;
        const int fd = m_real.openFolder(path, followLinks);
        if (fd >= 0)
            m_paths[fd] = path;
        return fd;
    }

private:
    struct Rule {
        Call call;
        int nth; // 0: every call
        int error;
        std::string pathContains;
        int seen;
    };

    std::string pathOf(int fd) const {
        const auto it = m_paths.find(fd);
        return it == m_paths.end() ? std::string() : it->second;
    }
    std::string pathAt(int dir, const char* name) const {
        if (dir < 0)
            return name;
        if (name[0] == '\0')
            return pathOf(dir);
        return pathOf(dir) + "/" + name;
    }

    bool fails(Call call, const std::string& path) {
        ++m_counts[call];
        ++m_calls;
        if (before)
            before(call, path);
        if (m_calls == m_anyNth) {
            m_lastError = m_anyError;
            errno = m_anyError;
            return true;
        }
        for (Rule& rule : m_rules) {
            if (rule.call != call ||
                (!rule.pathContains.empty() && path.find(rule.pathContains) == std::string::npos))
                continue;
            ++rule.seen;
            if (rule.nth == 0 || rule.seen == rule.nth) {
                m_lastError = rule.error;
                errno = rule.error;
                return true;
            }
        }
        return false;
    }

    files::SystemCalls m_real;
    std::vector<Rule> m_rules;
    std::map<Call, int> m_counts;
    std::map<int, std::string> m_paths;
    int m_lastError = 0;
    int m_calls = 0;
    int m_anyNth = 0;
    int m_anyError = 0;
};

} // namespace karv::test
