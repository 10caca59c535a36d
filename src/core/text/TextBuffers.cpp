#include "text/TextBuffers.h"

#include <array>
#include <utility>

namespace karv {

namespace {

/// Two: while one file is decoded from another charset, its bytes and its text are both alive.
thread_local std::array<std::string, 2> spares;

/// Below this a fresh allocation comes from the heap's own free lists and costs little.
constexpr std::size_t kWorthKeeping = std::size_t{1} << 16;

} // namespace

bool takeSpareBuffer(std::string& buffer, std::size_t size) {
    if (buffer.capacity() >= size)
        return false;
    for (std::string& spare : spares) {
        if (spare.capacity() >= size) {
            spare.assign(buffer);
            buffer.swap(spare);
            spare = std::string();
            return true;
        }
    }
    return false;
}

void keepSpareBuffer(std::string&& buffer) {
    if (buffer.capacity() < kWorthKeeping)
        return;
    std::string* smallest = &spares[0];
    for (std::string& spare : spares) {
        if (spare.capacity() < smallest->capacity())
            smallest = &spare;
    }
    if (buffer.capacity() > smallest->capacity()) {
        buffer.clear();
        smallest->swap(buffer);
    }
}

void releaseSpareBuffers() {
    for (std::string& spare : spares)
        spare = std::string();
}

} // namespace karv
