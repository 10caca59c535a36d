#pragma once

#include <string>

namespace karv {

/// Where the program keeps what it can always compute again (content digests of the duplicate
/// search): $XDG_CACHE_HOME/Karv·Tessil, by default ~/.cache/Karv·Tessil. Not created here. Empty
/// when neither names an absolute folder: then nothing is kept.
std::string cacheFolder();

} // namespace karv
