// Bytes in: gzip, detection, loading and conversion; text and encoding code out.
#include "text/Encoding.h"
#include "text/NameText.h"
#include "text/TextLoader.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const LoadedText fromMemory = loadTextFromBytes(bytes);
    checkText(fromMemory);
    const LoadedText fromFile = loadThroughFile(bytes);
    checkText(fromFile);
    check(fromFile.text == fromMemory.text && fromFile.encodingCode == fromMemory.encodingCode);

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
    std::int64_t position = 0;
    for (int i = 0; i < 4 && position != -2; ++i)
        (void)textBetween(bytes, "<meta", ">", &position);

    for (const char* charset : {"GB18030", "BIG5", "BIG5-HKSCS", "UTF-16LE", "UTF-16BE", "UTF-8"}) {
        const std::string converted = convertCharset(bytes, charset, "UTF-8", 1 << 16);
        check(isValidUtf8(converted));
        check(converted.size() <= (1 << 16));
    }
    (void)convertCharset(bytes, "UTF-8", "GB18030", 1 << 16);
    check(gunzipBytes(bytes, 1 << 20).size() <= (1 << 20));
    return 0;
}
