#pragma once

#include <cstdint>
#include <string>

namespace karv::test {

/// Creates (or extends) a sparse file of `size` bytes whose last byte is `last`.
void sparseFile(const std::string& path, std::uint64_t size, char last = 'x');

} // namespace karv::test
