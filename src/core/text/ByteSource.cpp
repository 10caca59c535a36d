#include "text/ByteSource.h"

#include "text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace karv::textio {

std::size_t statedSize(std::string_view trailer, std::size_t compressedSize) {
    if (trailer.size() < 4)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(trailer.data() + trailer.size() - 4);
    const std::size_t stated =
        std::size_t{b[0]} | std::size_t{b[1]} << 8 | std::size_t{b[2]} << 16 | std::size_t{b[3]} << 24;
    return std::min(stated, compressedSize * 1032);
}

std::size_t GzipSource::read(char* buffer, std::size_t capacity) {
    std::size_t produced = 0;
    while (produced < capacity && !m_finished) {
        if (m_stream.avail_in == 0 && !m_inputDone) {
            const std::size_t got = m_raw.read(m_input.data(), m_input.size());
            if (got == 0)
                m_inputDone = true;
            m_stream.next_in = reinterpret_cast<Bytef*>(m_input.data());
            m_stream.avail_in = static_cast<uInt>(got);
        }
        const std::size_t room = std::min<std::size_t>(capacity - produced, std::size_t{1} << 30);
        m_stream.next_out = reinterpret_cast<Bytef*>(buffer + produced);
        m_stream.avail_out = static_cast<uInt>(room);
        const uInt inputBefore = m_stream.avail_in;
        const int rc = ::inflate(&m_stream, Z_NO_FLUSH);
        const std::size_t made = room - m_stream.avail_out;
        const bool progressed = made != 0 || m_stream.avail_in != inputBefore;
        produced += made;
        switch (rc) {
        case Z_OK:
            break;
        case Z_STREAM_END:
            // Another member may follow; anything else after the member is ignored.
            if (m_stream.avail_in < 2 && !m_inputDone) {
                const std::size_t kept = m_stream.avail_in;
                if (kept == 1)
                    m_input[0] = static_cast<char>(m_stream.next_in[0]);
                const std::size_t got = m_raw.read(m_input.data() + kept, m_input.size() - kept);
                m_stream.next_in = reinterpret_cast<Bytef*>(m_input.data());
                m_stream.avail_in = static_cast<uInt>(kept + got);
                if (got == 0)
                    m_inputDone = true;
            }
            if (m_stream.avail_in >= 2 && m_stream.next_in[0] == 0x1F && m_stream.next_in[1] == 0x8B)
                ::inflateReset(&m_stream);
            else
                m_finished = true;
            break;
        case Z_BUF_ERROR:
            if ((m_stream.avail_in == 0 && m_inputDone) || (!progressed && m_stream.avail_in != 0))
                m_finished = true;
            break;
        default:
            m_finished = true;
            break;
        }
    }
    return produced;
}

Inflated inflateGzip(ContentSource& raw, std::size_t limit, std::size_t sizeHint) {
    Inflated result;
    // Only a hint: the trailer of a corrupt or concatenated file may say anything.
    reserveBulk(result.bytes, std::min(sizeHint, limit));
    GzipSource gzip(raw);
    char output[1 << 16];
    for (;;) {
        // One byte more than the limit allows, to tell a stream that is exactly as long as the
        // limit from a longer one.
        const std::size_t remaining = limit - result.bytes.size();
        const std::size_t room = remaining >= sizeof output ? sizeof output : remaining + 1;
        const std::size_t got = gzip.read(output, room);
        if (result.bytes.size() + got > limit) {
            result.bytes.append(output, limit - result.bytes.size());
            result.truncated = true;
            break;
        }
        result.bytes.append(output, got);
        if (got < room)
            break;
    }
    return result;
}

} // namespace karv::textio

namespace karv {

using namespace textio;

std::string gunzipBytes(std::string_view gzipData, std::size_t maxOutputBytes) {
    MemorySource source(gzipData);
    return inflateGzip(source, maxOutputBytes, statedSize(gzipData, gzipData.size())).bytes;
}

} // namespace karv
