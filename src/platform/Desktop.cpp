#include "platform/Desktop.h"

#include <chrono>

namespace karv {

std::int64_t SteadyClock::tickMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace karv
