// Bytes in: gzip, detection, loading and conversion; text and encoding code out.
#include "text/Encoding.h"
#include "text/Matching.h"
#include "text/NameText.h"
#include "text/Removers.h"
#include "text/StreamSearch.h"
#include "text/TextLoader.h"
#include "values/ValueText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace karv;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkText(const LoadedText& loaded) {
    check(loaded.encodingCode >= kEncodingAnsi && loaded.encodingCode <= kEncodingBig5Hkscs);
    check(isValidUtf8(loaded.text));
    check(loaded.text.find('\0') == std::string::npos);
    check(loaded.text.size() <= kTextByteLimit);
}

/// The same bytes through the file path, without touching the disk.
LoadedText loadThroughFile(std::string_view bytes) {
    const int fd = ::memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0)
        return {};
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    LoadedText loaded = loadFileText("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    return loaded;
}

/// A streamed read's text, with the term search and the count that ran on its pieces.
class Streamed : public TextConsumer {
public:
    explicit Streamed(const std::vector<std::string>& terms)
        : search(terms), count(true, true), crLf(false, false) {}
    void begin() override {
        text.clear();
        search.begin();
        count.begin();
        crLf.begin();
    }
    bool feed(std::string_view piece) override {
        check(!piece.empty() && isValidUtf8(piece));
        text.append(piece);
        search.feed(piece);
        count.feed(piece);
        crLf.feed(piece);
        return false;
    }
    std::string text;
    TermStreamSearch search;
    CharacterCount count;
    CharacterCount crLf;
};

/// Streams `bytes` in pieces of every small size and holds text, search and counts against the
/// whole-text results.
void checkStreamed(std::string_view bytes, const LoadedText& whole) {
    static const std::vector<std::string> terms = {"Invoice", "\xE6\x8A\xA5\xE5\x91\x8A", "\r\n", "<a"};
    // A charset declared in the content is looked for in the head only: such content is read with
    // a head that holds it all.
    const bool gzip = bytes.size() >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B';
    const std::string content = gzip ? gunzipBytes(bytes, 1 << 20) : std::string(bytes);
    const bool declared = findIgnoreAsciiCase(content, "<meta") != std::string_view::npos;
    const bool found = plainTermMatch(whole.text, terms);
    const std::uint64_t stripped = countCharacters(removeBlanks(removeTags(whole.text)));
    const std::uint64_t plain = countCharacters(whole.text);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
        Streamed streamed(terms);
        TextStreamControl control;
        control.headBytes = declared ? content.size() + 1 : 5;
        control.chunkBytes = chunk;
        const StreamedText result = streamTextFromBytes(bytes, streamed, control);
        check(streamed.text == whole.text && result.encodingCode == whole.encodingCode);
        check(streamed.search.found() == found);
        check(streamed.count.count() == stripped && streamed.crLf.count() == plain);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const LoadedText fromMemory = loadTextFromBytes(bytes);
    checkText(fromMemory);
    const LoadedText fromFile = loadThroughFile(bytes);
    checkText(fromFile);
    check(fromFile.text == fromMemory.text && fromFile.encodingCode == fromMemory.encodingCode);
    if (size <= (1 << 16))
        checkStreamed(bytes, fromMemory);

    // The loader's own ANSI decoder must agree with the general converter (D6 D0 fails the UTF-8
    // test, so the content is ANSI unless a meta tag says otherwise).
    const std::string ansi = "\xD6\xD0" + std::string(bytes);
    const LoadedText ansiLoaded = loadTextFromBytes(ansi);
    if (ansiLoaded.encodingCode == kEncodingAnsi)
        check(ansiLoaded.text == convertCharset(ansi.substr(0, ansi.find('\0')), "GB18030"));

    const MarkDetection mark = detectByMarks(bytes);
    check(mark.markLength <= bytes.size());
    const int meta = detectHtmlCharset(bytes);
    check(meta >= 0 && meta <= 3);
    (void)looksLikeUtf8(bytes);

    for (const char* charset : {"GB18030", "BIG5", "BIG5-HKSCS", "UTF-16LE", "UTF-16BE", "UTF-8"}) {
        const std::string converted = convertCharset(bytes, charset, "UTF-8", 1 << 16);
        check(isValidUtf8(converted));
        check(converted.size() <= (1 << 16));
    }
    (void)convertCharset(bytes, "UTF-8", "GB18030", 1 << 16);
    check(gunzipBytes(bytes, 1 << 20).size() <= (1 << 20));
    return 0;
}
