#pragma once

#include <cstddef>
#include <string>

namespace karv {

/// Large byte buffers kept for the next file of a run. A run loads file after file; giving each
/// load a fresh buffer makes the system hand out (and clear) new pages every time, which can cost
/// more than reading and searching the file. The spares are per thread.

/// Makes `buffer` hold at least `size` bytes of room, taking a kept spare when one is large
/// enough; the content of `buffer` is kept. Tells whether a spare was taken.
bool takeSpareBuffer(std::string& buffer, std::size_t size);

/// Keeps `buffer`'s memory for a later `takeSpareBuffer` (its content is dropped). Only the
/// largest few are kept.
void keepSpareBuffer(std::string&& buffer);

/// Frees the kept spares, at the end of a run.
void releaseSpareBuffers();

} // namespace karv
