#pragma once

#include <algorithm>
#include <thread>

namespace karv {

/// The machine's cores, at least one. Asked once: each answer reads a file of the system's, and
/// the tools ask per folder.
inline unsigned machineCores() {
    static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return cores;
}

} // namespace karv
