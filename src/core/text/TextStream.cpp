#include "text/TextStream.h"

#include "text/ByteSource.h"
#include "text/Detect.h"
#include "text/Gb18030.h"
#include "text/HeadRead.h"
#include "text/Iconv.h"
#include "text/TextBuffers.h"
#include "text/Utf16.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

using namespace textio;

namespace {

/// The UTF-8 test over content that arrives in pieces: the same verdict as `looksLikeUtf8` on
/// the whole, apart from the all-ASCII case, which `nonAscii` tells. A sequence cut off by a
/// piece's end is finished with the next piece's first bytes.
struct Utf8Probe {
    unsigned pending = 0; ///< continuation bytes still expected
    bool nonAscii = false;
    bool failed = false;

    void update(std::string_view piece) {
        const auto* b = reinterpret_cast<const unsigned char*>(piece.data());
        std::size_t i = 0;
        for (; pending > 0 && i < piece.size(); ++i, --pending) {
            if ((b[i] & 0xC0) != 0x80) {
                failed = true;
                return;
            }
        }
        std::string_view rest = piece.substr(i);
        if (failed || rest.empty())
            return;
        // A sequence cut off by the piece's end goes on in the next piece.
        const auto* r = reinterpret_cast<const unsigned char*>(rest.data());
        std::size_t cut = rest.size();
        unsigned carried = 0;
        for (std::size_t back = 1; back <= 3 && back <= rest.size(); ++back) {
            const unsigned char c = r[rest.size() - back];
            if ((c & 0xC0) == 0x80)
                continue;
            // Leads as the test reads them: C0-DF, E0-EF and F0-F4 start two, three, four bytes.
            const unsigned need = c > 0xF4 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (need > back) {
                cut = rest.size() - back;
                carried = need - back;
            }
            break;
        }
        const std::string_view whole = rest.substr(0, cut);
        if (asciiPrefix(whole) != whole.size()) {
            if (!looksLikeUtf8(whole)) {
                failed = true;
                return;
            }
            nonAscii = true;
        }
        if (carried > 0)
            nonAscii = true;
        pending = carried;
    }
    bool passed() const { return !failed && pending == 0; }
};

/// Decodes content of one code piece by piece into the consumer, carrying a character cut off
/// at a piece's end over to the next piece.
class PieceDecoder {
public:
    PieceDecoder(int code, TextConsumer& consumer) : m_code(code), m_consumer(consumer) {}

    /// Decodes `piece`; `last` when the content ends after it. Returns false once no more text is
    /// needed (the consumer is satisfied, or the text ended at a zero character).
    bool take(std::string_view piece, bool last) {
        if (m_over)
            return false;
        if (m_code != kEncodingUtf16Le && m_code != kEncodingUtf16Be) {
            // An empty piece may have no data pointer at all, which memchr must not be given.
            const void* zero = piece.empty() ? nullptr : std::memchr(piece.data(), 0, piece.size());
            if (zero != nullptr) {
                piece =
                    piece.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - piece.data()));
                last = true; // the text ends here
            }
        }
        if (!m_carry.empty()) {
            // The seam: the carried bytes with enough of this piece to end their character.
            constexpr std::size_t kSeam = 16;
            const bool seamIsAll = piece.size() <= kSeam;
            std::string seam = m_carry + std::string(piece.substr(0, kSeam));
            const std::size_t carried = m_carry.size();
            m_carry.clear();
            const std::size_t used = decodeInto(seam, seamIsAll && last);
            if (m_over)
                return false;
            if (seamIsAll) {
                m_carry = seam.substr(used);
                if (last)
                    m_over = true;
                return !m_over;
            }
            if (used < carried) { // cannot happen: a character is at most four bytes
                m_carry = seam.substr(used);
                return true;
            }
            piece.remove_prefix(used - carried);
        }
        const std::size_t used = decodeInto(piece, last);
        m_carry = std::string(piece.substr(used));
        if (last)
            m_over = true;
        return !m_over;
    }

    /// Whether any non-empty text was handed over.
    bool gaveText() const { return m_gaveText; }

private:
    /// Decodes what it can of `bytes` and hands it over; returns the bytes used.
    std::size_t decodeInto(std::string_view bytes, bool last) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t used = bytes.size();
        Decoded decoded;
        switch (m_code) {
        case kEncodingUtf8: {
            if (!last) {
                // A lead byte among the last three may start a character that goes on.
                for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
                    if (b[bytes.size() - back] >= 0xC0) {
                        used = bytes.size() - back;
                        break;
                    }
                }
            }
            const std::string_view whole = bytes.substr(0, used);
            if (validUtf8Prefix(whole) == whole.size()) {
                hand(whole);
                return used;
            }
            decoded = sanitizeUtf8(whole, kTextByteLimit, false);
            break;
        }
        case kEncodingUtf16Le:
        case kEncodingUtf16Be:
            decoded = decodeUtf16(bytes, m_code == kEncodingUtf16Be, kTextByteLimit, false, !last);
            used = decoded.consumed;
            if (decoded.endedAtZero)
                m_over = true;
            break;
        case kEncodingBig5:
        case kEncodingBig5Hkscs:
            decoded = iconvConvert(bytes, encodingCharsetName(m_code), "UTF-8", kTextByteLimit, false, !last);
            used = decoded.consumed;
            break;
        default:
            decoded = decodeGb18030(bytes, kTextByteLimit, false, !last);
            used = decoded.consumed;
            break;
        }
        hand(decoded.text);
        return used;
    }

    void hand(std::string_view text) {
        if (text.empty() || m_satisfied)
            return;
        m_gaveText = true;
        if (!m_satisfied && m_consumer.feed(text)) {
            m_satisfied = true;
            m_over = true;
        }
    }

    int m_code;
    TextConsumer& m_consumer;
    std::string m_carry;
    bool m_over = false;
    bool m_satisfied = false;
    bool m_gaveText = false;
};

enum class PassEnd { Finished, Stopped, AsAnsi, Decided };

/// Tells whether the run should end now; pumps the window first.
bool pauseBetweenPieces(const TextStreamControl& control) {
    if (control.pump)
        control.pump();
    return control.keepGoing && !control.keepGoing();
}

/// Reads `source` from its start to its end and decodes it all as ANSI.
PassEnd ansiPass(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control,
                 std::string& chunk) {
    consumer.begin();
    if (!source.rewind())
        return PassEnd::Finished;
    PieceDecoder decoder(kEncodingAnsi, consumer);
    bool more = true;
    while (more) {
        chunk.resize(control.chunkBytes);
        const std::size_t got = source.read(chunk.data(), chunk.size());
        const bool last = got < chunk.size();
        more = decoder.take(std::string_view(chunk.data(), got), last) && !last;
        if (pauseBetweenPieces(control))
            return PassEnd::Stopped;
    }
    return PassEnd::Finished;
}

/// Content that fitted in the head: judged on its bytes where the consumer can, else decoded as
/// `loadFileText` decodes it and handed over in pieces.
StreamedText streamWhole(std::string& head, std::string& chunk, TextConsumer& consumer,
                         const TextStreamControl& control, const TextStreamControl& steps) {
    StreamedText result;
    const ContentDetection detection = detectContent(head, false);
    consumer.begin();
    // ANSI and UTF-16 content may be judged on its bytes, without decoding it.
    const std::string_view view = head;
    std::string_view body;
    if (detection.code == kEncodingNone && !detection.bodyAscii)
        body = view.substr(0, detection.beforeZero);
    else if ((detection.code == kEncodingUtf16Le || detection.code == kEncodingUtf16Be) &&
             view.size() >= detection.markLength + 2 &&
             (view[detection.markLength] != 0 || view[detection.markLength + 1] != 0))
        body = view.substr(detection.markLength);
    if (!body.empty() &&
        consumer.judgeEncoded(detection.code == kEncodingNone ? kEncodingAnsi : detection.code, body)) {
        result.encodingCode = detection.code == kEncodingNone ? kEncodingAnsi : detection.code;
        keepSpareBuffer(std::move(head));
        keepSpareBuffer(std::move(chunk));
        return result;
    }
    LoadedText loaded = decodeContent(head, false, detection);
    result.encodingCode = loaded.encodingCode;
    result.stopped = feedText(loaded.text, consumer, steps);
    result.whole = true;
    if (control.wholeText != nullptr)
        *control.wholeText = std::move(loaded.text);
    else
        keepSpareBuffer(std::move(loaded.text));
    keepSpareBuffer(std::move(chunk));
    return result;
}

/// The encoding of longer content as its head tells it: marks, then a meta charset; without
/// either, the UTF-8 test over the head (the window served between pieces) chooses between UTF-8
/// and ANSI. `testing` tells whether the test must go on over the rest.
int codeFromHead(std::string_view head, std::size_t chunkBytes, const TextStreamControl& control,
                 bool& testing) {
    const MarkDetection mark = detectByMarks(head);
    int code = mark.code;
    if (code == kEncodingNone)
        code = codeOfHtmlCharset(cutAtZero(head));
    testing = code == kEncodingNone;
    if (!testing)
        return code;
    const std::string_view body = head.substr(mark.markLength);
    Utf8Probe probe;
    for (std::size_t at = 0; at < body.size() && !probe.failed; at += chunkBytes) {
        probe.update(body.substr(at, chunkBytes));
        if (control.pump)
            control.pump();
    }
    if (!probe.failed)
        return kEncodingUtf8; // ASCII decodes the same either way
    testing = false;
    return kEncodingAnsi;
}

/// The pass over content longer than the head: each piece is decoded and, while the encoding is
/// still in question, goes through the UTF-8 test again.
class LongPass {
public:
    LongPass(int code, bool testing, TextConsumer& consumer, const TextStreamControl& steps)
        : m_code(code), m_testing(testing), m_consumer(consumer), m_steps(steps),
          m_decoder(std::make_unique<PieceDecoder>(code, consumer)) {}

    /// Hands one piece to the decoder and the test; tells how the pass goes on (nothing: go on).
    std::optional<PassEnd> take(std::string_view piece, bool last) {
        if (m_testing) {
            const bool nonAsciiBefore = m_probe.nonAscii;
            m_probe.update(piece);
            if (m_probe.failed || (last && !m_probe.passed())) {
                m_testing = false;
                // Text given so far was all ASCII: the same as ANSI, so the rest goes on as ANSI.
                if (nonAsciiBefore)
                    return PassEnd::AsAnsi;
                m_code = kEncodingAnsi;
                if (m_decoding)
                    m_decoder = std::make_unique<PieceDecoder>(kEncodingAnsi, m_consumer);
            }
        }
        if (m_decoding)
            m_decoding = m_decoder->take(piece, last);
        if (!m_decoding && !m_testing && !last)
            return PassEnd::Finished;
        if (pauseBetweenPieces(m_steps))
            return PassEnd::Stopped;
        return std::nullopt;
    }

    /// How a pass that ran to its end ends: all-ASCII content is ANSI, and a conversion that gave
    /// no text falls back to ANSI with the bytes as they are.
    PassEnd settle(PassEnd end) {
        if (end == PassEnd::Finished && m_testing && !m_probe.nonAscii)
            m_code = kEncodingAnsi;
        if (end == PassEnd::Finished && m_code != kEncodingAnsi && !m_decoder->gaveText())
            return PassEnd::AsAnsi;
        return end;
    }

    int code() const { return m_code; }

private:
    int m_code;
    bool m_testing;
    TextConsumer& m_consumer;
    const TextStreamControl& m_steps;
    std::unique_ptr<PieceDecoder> m_decoder;
    Utf8Probe m_probe;
    bool m_decoding = true;
};

/// Runs the pass over the body of the head, then over the rest of the content read in chunks.
PassEnd runLongPass(LongPass& pass, ContentSource& source, std::string_view body, std::string& chunk,
                    std::size_t chunkBytes, EarlyTermAnswer* early) {
    std::optional<PassEnd> end;
    for (std::size_t at = 0; at < body.size() && !end; at += chunkBytes)
        end = pass.take(body.substr(at, chunkBytes), false);
    while (!end) {
        const std::string_view piece = chunk;
        const bool last = chunk.size() < chunkBytes;
        end = pass.take(piece, last);
        if (end || last)
            break;
        chunk.resize(chunkBytes);
        chunk.resize(source.read(chunk.data(), chunk.size()));
        if (early != nullptr && early->take(chunk, chunk.size() < chunkBytes))
            return PassEnd::Decided;
        if (chunk.empty()) {
            end = pass.take({}, true);
            break;
        }
    }
    return pass.settle(end.value_or(PassEnd::Finished));
}

bool decidedEarly(const TextStreamControl& control) {
    return control.early != nullptr && control.early->decided();
}

StreamedText streamContent(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control);

/// Reads on past the head for the early answer alone while it may still come: content longer
/// than the head is mostly a large log or export, and decoding it and testing it for UTF-8 cost
/// far more than the search of its bytes. Ends decided, stopped, or given up (the content is
/// then read again from its start, the usual way).
PassEnd readOnForEarly(ContentSource& source, std::string& chunk, std::size_t chunkBytes,
                       const TextStreamControl& control) {
    EarlyTermAnswer& early = *control.early;
    while (!early.decided() && !early.givenUp()) {
        if (pauseBetweenPieces(control))
            return PassEnd::Stopped;
        chunk.resize(chunkBytes);
        chunk.resize(source.read(chunk.data(), chunk.size()));
        early.take(chunk, chunk.size() < chunkBytes);
    }
    return early.decided() ? PassEnd::Decided : PassEnd::AsAnsi;
}

/// The early answer alone over the rest of the content; when it gives up, the content is read
/// again from its start without it.
StreamedText earlyOnly(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control,
                       std::string& head, std::string& chunk, std::size_t chunkBytes) {
    const PassEnd end = readOnForEarly(source, chunk, chunkBytes, control);
    keepSpareBuffer(std::move(head));
    keepSpareBuffer(std::move(chunk));
    if (end == PassEnd::AsAnsi && source.rewind()) {
        TextStreamControl plain = control;
        plain.early = nullptr;
        return streamContent(source, consumer, plain);
    }
    StreamedText result;
    if (end != PassEnd::Decided)
        consumer.begin();
    result.stopped = end == PassEnd::Stopped;
    result.early = end == PassEnd::Decided;
    return result;
}

StreamedText streamContent(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control,
                           HeadStart start) {
    const std::size_t chunkBytes = std::max<std::size_t>(control.chunkBytes, 1);
    TextStreamControl steps = control;
    steps.chunkBytes = chunkBytes;

    std::string chunk;
    // Content longer than the head by its size is not held at all while the early answer may
    // still come from its bytes.
    if (!start.ended && control.early != nullptr && source.sizeHint() > start.plan.limit &&
        source.canRewind() && !control.early->take(start.bytes, false) && !control.early->givenUp()) {
        takeSpareBuffer(chunk, chunkBytes);
        return earlyOnly(source, consumer, control, start.bytes, chunk, chunkBytes);
    }
    // The head: the whole content when it fits.
    bool ended = readHead(source, control, start);
    std::string head = std::move(start.bytes);
    if (!ended && !decidedEarly(control)) {
        takeSpareBuffer(chunk, chunkBytes);
        chunk.resize(chunkBytes);
        chunk.resize(source.read(chunk.data(), chunk.size()));
        ended = chunk.empty();
        if (control.early != nullptr)
            control.early->take(chunk, chunk.size() < chunkBytes);
    }
    if (!ended && control.early != nullptr && !control.early->givenUp() && source.canRewind())
        return earlyOnly(source, consumer, control, head, chunk, chunkBytes);
    if (decidedEarly(control)) {
        keepSpareBuffer(std::move(head));
        keepSpareBuffer(std::move(chunk));
        StreamedText result;
        result.early = true;
        return result;
    }
    if (ended)
        return streamWhole(head, chunk, consumer, control, steps);

    // Longer content: the encoding from the head, then piece by piece.
    bool testing = false;
    const int code = codeFromHead(head, chunkBytes, control, testing);
    consumer.begin();
    LongPass pass(code, testing, consumer, steps);
    const std::string_view body = std::string_view(head).substr(detectByMarks(head).markLength);
    PassEnd end = runLongPass(pass, source, body, chunk, chunkBytes, control.early);
    keepSpareBuffer(std::move(head));
    StreamedText result;
    result.encodingCode = pass.code();
    if (end == PassEnd::AsAnsi) {
        result.encodingCode = kEncodingAnsi;
        end = ansiPass(source, consumer, steps, chunk);
    }
    keepSpareBuffer(std::move(chunk));
    result.stopped = end == PassEnd::Stopped;
    result.early = end == PassEnd::Decided;
    return result;
}

StreamedText streamContent(ContentSource& source, TextConsumer& consumer, const TextStreamControl& control) {
    return streamContent(source, consumer, control, firstHeadRead(source, control));
}

/// An opened file: gzip content is told by its first bytes, which otherwise start the head, so
/// nothing is read twice.
StreamedText streamOpenFile(FileHandle& file, TextConsumer& consumer, const TextStreamControl& control) {
    struct stat info {};
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
        consumer.begin();
        return {};
    }
    FileSource raw(file, static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)));
    raw.setRegular();
    HeadStart start = firstHeadRead(raw, control);
    const std::string_view first = start.bytes;
    if (first.size() >= 2 && first[0] == '\x1F' && first[1] == '\x8B') {
        keepSpareBuffer(std::move(start.bytes));
        if (!raw.rewind()) {
            consumer.begin();
            return {};
        }
        GzipSource gzip(raw);
        return streamContent(gzip, consumer, control);
    }
    return streamContent(raw, consumer, control, std::move(start));
}

} // namespace

bool feedText(std::string_view text, TextConsumer& consumer, const TextStreamControl& control) {
    const std::size_t step = std::max<std::size_t>(control.chunkBytes, 1);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = std::min(text.size(), at + step);
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        if (consumer.feed(text.substr(at, end - at)))
            return false;
        at = end;
        if (at < text.size() && pauseBetweenPieces(control))
            return true;
    }
    return false;
}

StreamedText streamSourceText(ContentSource& source, TextConsumer& consumer,
                              const TextStreamControl& control) {
    return streamContent(source, consumer, control);
}

StreamedText streamTextFromBytes(std::string_view fileBytes, TextConsumer& consumer,
                                 const TextStreamControl& control) {
    MemorySource raw(fileBytes);
    if (fileBytes.size() >= 2 && fileBytes[0] == '\x1F' && fileBytes[1] == '\x8B') {
        GzipSource gzip(raw);
        return streamContent(gzip, consumer, control);
    }
    return streamContent(raw, consumer, control);
}

StreamedText streamFileText(const std::string& path, TextConsumer& consumer,
                            const TextStreamControl& control) {
    FileHandle file(path);
    return streamOpenFile(file, consumer, control);
}

StreamedText streamFileTextAt(int folder, const std::string& name, TextConsumer& consumer,
                              const TextStreamControl& control) {
    FileHandle file(folder, name.c_str());
    return streamOpenFile(file, consumer, control);
}

} // namespace karv
