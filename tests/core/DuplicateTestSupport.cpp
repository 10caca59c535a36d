#include "DuplicateTestSupport.h"

#include <fcntl.h>
#include <unistd.h>

namespace karv::test {

void sparseFile(const std::string& path, std::uint64_t size, char last) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (size > 0) {
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0 ||
            ::pwrite(fd, &last, 1, static_cast<off_t>(size - 1)) != 1) {
            // The test that needs the file fails on its content.
        }
    }
    ::close(fd);
}

} // namespace karv::test
