#pragma once

#include "text/ByteSource.h"
#include "text/TextStream.h"

#include <cstddef>
#include <string>

// The reading of a content's head: the part read and decoded in one piece when the whole content
// fits in it.
namespace karv::textio {

/// How the head is read: its limit, the size it is read to next, and at most how much one read
/// takes (an early answer sees the content in growing blocks, so that a hit in the first one ends
/// the read).
struct HeadPlan {
    std::size_t limit;
    std::size_t target;
    std::size_t block;
};

/// The content's head as its reads so far left it.
struct HeadStart {
    HeadPlan plan;
    std::string bytes;
    bool ended = false; ///< the content ended within `bytes`
};

/// The head's first read.
HeadStart firstHeadRead(ContentSource& source, const TextStreamControl& control);

/// Reads the head on from its first read, up to the plan's limit, showing each read to the early
/// answer; stops when that is certain. Returns true when the content ended within the head.
bool readHead(ContentSource& source, const TextStreamControl& control, HeadStart& start);

} // namespace karv::textio
