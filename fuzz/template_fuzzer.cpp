// Classification templates: random templates, file paths, keyword lines and batch settings through
// the target-path builder and its name helpers.
#include "classify/ClassificationRun.h"
#include "classify/ClassifyParts.h"
#include "classify/TargetPath.h"
#include "text/NameText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

using namespace karv;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "template fuzzer: %s\n", what);
        std::abort();
    }
}

// Templates mostly built from the real symbols, so that substitutions meet and overlap.
std::string pickTemplate(FuzzedDataProvider& data) {
    std::string text;
    const int pieces = data.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < pieces; ++i) {
        if (data.ConsumeBool())
            text += metaSymbolText(
                static_cast<MetaSymbol>(data.ConsumeIntegralInRange<int>(0, kMetaSymbolCount - 1)));
        else
            text += data.ConsumeRandomLengthString(12);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    TargetTemplate target;
    target.setTemplate(pickTemplate(data));
    target.entryFolder = data.ConsumeBool() ? data.ConsumeRandomLengthString(30) : std::string();
    target.batchMode = static_cast<BatchMode>(data.ConsumeIntegralInRange<int>(0, 2));
    const int names = data.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < names; ++i)
        target.batchNames.push_back(data.ConsumeRandomLengthString(8));
    target.batchNumber = data.ConsumeIntegralInRange<std::int64_t>(-3, 1000);

    // Paths that do not exist: the builder must not depend on the file being there.
    const std::string filePath = "/nonexistent-karv-fuzz/" + data.ConsumeRandomLengthString(60);
    const std::string keywordLine = data.ConsumeRandomLengthString(20);
    (void)buildTargetPath(target, filePath, keywordLine);
    (void)batchName(target);

    const std::string part = data.ConsumeRandomLengthString(40);
    const std::string clean = cleanNamePart(part);
    // "\\" and "|" may stand as the trail byte of a GBK character in a name that is not UTF-8.
    const char* reserved = isValidUtf8(part) ? "\\/:*?|<>\"\r\n\t" : "/:*?<>\"\r\n\t";
    check(clean.find_first_of(reserved) == std::string::npos, "a cleaned name keeps a reserved character");
    for (const char c : letterName(data.ConsumeIntegral<std::int64_t>()))
        check(c >= 'A' && c <= 'Z', "a letter name holds something other than capitals");
    check(nameStem(part) + (part.find('.') == std::string::npos ? "" : "." + nameExtension(part)) == part,
          "stem and extension do not make the name");
    (void)renamedTarget(filePath, data.ConsumeIntegralInRange<int>(2, 100000));
    (void)replaceEvery(part, keywordLine, clean);
    (void)parentPath(part);
    (void)keywordLineMatches(part, keywordLine);
    (void)parseBatchSize(part);
    (void)shortenForDisplay(part, data.ConsumeIntegralInRange<std::size_t>(0, 100));
    return 0;
}
