#include "text/HeadRead.h"

#include "text/Utf8.h"

#include <algorithm>

namespace karv::textio {

namespace {

HeadPlan headPlan(const ContentSource& source, const TextStreamControl& control) {
    const std::size_t limit = std::max<std::size_t>(control.headBytes, 4);
    const std::size_t hint = source.sizeHint();
    return {limit, std::min(limit, hint > 0 ? hint + 1 : kHeadChunk),
            control.early != nullptr ? kHeadChunk : limit};
}

/// One read of the head, growing the buffer as the content goes on. True when the content ended.
bool readHeadBlock(ContentSource& source, HeadPlan& plan, std::string& head) {
    if (head.size() >= plan.target)
        plan.target = std::min(plan.limit, plan.target * 2);
    reserveBulk(head, plan.target);
    const std::size_t old = head.size();
    const std::size_t want = std::min(plan.target - old, plan.block);
    head.resize(old + want);
    const std::size_t got = source.read(head.data() + old, want);
    head.resize(old + got);
    plan.block = std::min(plan.limit, plan.block * 2);
    return got < want;
}

} // namespace

HeadStart firstHeadRead(ContentSource& source, const TextStreamControl& control) {
    HeadStart start{headPlan(source, control), {}, false};
    start.ended = readHeadBlock(source, start.plan, start.bytes);
    return start;
}

bool readHead(ContentSource& source, const TextStreamControl& control, HeadStart& start) {
    std::string& head = start.bytes;
    bool ended = start.ended;
    std::size_t shown = 0;
    while (true) {
        if (control.early != nullptr && control.early->take(std::string_view(head).substr(shown), ended))
            return ended;
        shown = head.size();
        if (ended)
            return true;
        if (head.size() >= start.plan.limit)
            return false;
        // Reading megabytes from a slow disk takes a while: the window is served between reads.
        if (control.pump)
            control.pump();
        ended = readHeadBlock(source, start.plan, head);
    }
}

} // namespace karv::textio
