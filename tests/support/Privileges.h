#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace karv::test {

/// Root ignores permission bits, so as root the body runs in a child that has become "nobody"
/// (the tree at `root` is handed over first). The body reports through its result.
template <class Body> bool runWithoutPrivileges(const std::string& root, Body body) {
    if (::geteuid() != 0)
        return body();
    if (::chown(root.c_str(), 65534, 65534) != 0)
        return false;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && body() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace karv::test
