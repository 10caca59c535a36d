#pragma once

#include "files/FileOps.h"

namespace karv::files {

// A descriptor the file operations hold open while they work in a folder; closed on every way out.
// Shared by the parts of FileOps (plain operations, placing, trash), not by its users.
class FileOps::Held {
public:
    explicit Held(Syscalls& calls) : m_sys(calls) {}
    ~Held() {
        if (fd >= 0)
            m_sys.close(fd);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    int fd = -1;

private:
    Syscalls& m_sys;
};

} // namespace karv::files
