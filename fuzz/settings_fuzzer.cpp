// Random initial settings files and random sequences of reads and writes. After every step the file
// on disk must equal the store's image, and every key written so far must read back its value.

#include "settings/SettingsFormat.h"
#include "settings/SettingsStore.h"
#include "settings/TextInput.h"
#include "values/Numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fuzzer/FuzzedDataProvider.h>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>

using namespace karv;

namespace {

const std::string& workFolder() {
    // Never destroyed, so the exit handler that removes the folder can still read its name.
    static const std::string& folder = *new std::string([] {
        // tmpfs keeps the per-write fsync cheap; fall back to /tmp elsewhere.
        std::string pattern = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        pattern += "/karv-settings-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(workFolder(), ignored);
        });
        return pattern;
    }());
    return folder;
}

void writeFile(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (!content.empty() && std::fwrite(content.data(), 1, content.size(), file) != content.size())
        std::abort();
    std::fclose(file);
}

// The file as the store sees it: a byte-order mark an editor left before the first header is not
// part of the image (the next write leaves it out).
std::string readFile(const std::string& path) {
    std::string content;
    if (!settingsio::readWholeFile(path, content))
        std::abort();
    dropByteOrderMark(content);
    return content;
}

// Names mostly from a small pool so that sections and keys collide, sometimes arbitrary bytes.
std::string pickName(FuzzedDataProvider& data, const char* const* pool, std::size_t poolSize) {
    if (data.ConsumeBool())
        return pool[data.ConsumeIntegralInRange<std::size_t>(0, poolSize - 1)];
    return data.ConsumeRandomLengthString(12);
}

const char* const kSections[] = {"主界面", "文件归类", "文件统计", "S", "", "[S]"};
const char* const kKeys[] = {"k", "编辑框层次", "按钮开始筛选.标记", "a", "k=", "", "[k", "kk"};

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string path = workFolder() + "/Karv·Tessil.ini";
    const std::string initial = data.ConsumeRandomLengthString(4096);
    writeFile(path, initial);

    int messages = 0;
    SettingsStore store({}, [&](const SettingsMessage&) { ++messages; });
    check(store.openStore(path), "open failed");
    check(store.fileImage() == readFile(path), "image differs from the loaded file");

    std::map<std::pair<std::string, std::string>, std::string> written;
    auto remember = [&](const std::string& section, const std::string& key, const std::string& stored) {
        written[{section, key}] = stored;
    };

    int steps = 0;
    while (data.remaining_bytes() > 0 && steps++ < 64) {
        const std::string imageBefore = store.fileImage();
        switch (data.ConsumeIntegralInRange<int>(0, 6)) {
        case 0: { // raw write
            const std::string section = pickName(data, kSections, std::size(kSections));
            const std::string key = pickName(data, kKeys, std::size(kKeys));
            const std::string value = data.ConsumeRandomLengthString(40);
            const bool storable = isStorableSectionName(section) && isStorableKey(key) &&
                                  value.find("\r\n") == std::string::npos;
            const bool ok = store.writeValue(section, key, value);
            check(ok == storable, "write result does not match the name and value checks");
            if (ok)
                remember(section, key, value);
            else
                check(store.fileImage() == imageBefore, "refused write changed the image");
            break;
        }
        case 1: { // typed writes on the current section
            store.setCurrentSection(pickName(data, kSections, std::size(kSections)));
            const std::string key = pickName(data, kKeys, std::size(kKeys));
            const std::string& section = store.currentSection();
            const bool storable = isStorableSectionName(section) && isStorableKey(key);
            bool ok = false;
            std::string stored;
            switch (data.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: {
                const std::string text = data.ConsumeRandomLengthString(40);
                ok = store.writeText(key, text);
                stored = escapeLineBreaks(text);
                if (ok)
                    check(store.readText(key, "") == unescapeLineBreaks(stored), "text does not read back");
                break;
            }
            case 1: {
                const double number = data.ConsumeFloatingPoint<double>();
                ok = store.writeNumber(key, number);
                stored = settingsNumberText(number);
                break;
            }
            default: {
                const bool flag = data.ConsumeBool();
                ok = store.writeFlag(key, flag);
                stored = settingsFlagText(flag);
                if (ok)
                    check(store.readFlag(key, !flag) == flag, "flag does not read back");
                break;
            }
            }
            check(ok == storable, "typed write result does not match the name checks");
            if (ok)
                remember(section, key, stored);
            break;
        }
        case 2: { // a write requested by a handler while another write pumps events
            const std::string section = pickName(data, kSections, std::size(kSections));
            const std::string outerKey = pickName(data, kKeys, std::size(kKeys));
            const std::string innerKey = pickName(data, kKeys, std::size(kKeys));
            const std::string outerValue = data.ConsumeRandomLengthString(20);
            const std::string innerValue = data.ConsumeRandomLengthString(20);
            const int pumpAt = data.ConsumeIntegralInRange<int>(1, 3);
            if (!isStorableSectionName(section) || !isStorableKey(outerKey) || !isStorableKey(innerKey))
                break;
            store.setCurrentSection(section);
            int pumps = 0;
            bool innerResult = true;
            bool innerRequested = false;
            store.setEventPump([&] {
                if (++pumps == pumpAt && store.writeInProgress()) {
                    innerRequested = true;
                    innerResult = store.writeText(innerKey, innerValue);
                }
            });
            const bool outerResult = store.writeText(outerKey, outerValue);
            store.setEventPump({});
            check(outerResult, "outer write failed");
            check(!innerRequested || !innerResult, "a write requested during a write reported as applied");
            check(store.pendingWrites().empty() && !store.writeInProgress(), "queue not drained");
            remember(section, outerKey, escapeLineBreaks(outerValue));
            if (innerRequested) // applied after the outer one, so it wins when the keys are equal
                remember(section, innerKey, escapeLineBreaks(innerValue));
            break;
        }
        case 3: { // plain reads of anything
            const std::string section = pickName(data, kSections, std::size(kSections));
            const std::string key = pickName(data, kKeys, std::size(kKeys));
            store.readValue(section, key, "");
            store.setCurrentSection(section);
            store.readNumber(key, 0);
            break;
        }
        case 4: { // a batch of writes reaches the disk at its end
            store.beginBatch();
            const int count = data.ConsumeIntegralInRange<int>(1, 5);
            store.setCurrentSection(pickName(data, kSections, std::size(kSections)));
            for (int i = 0; i < count; ++i) {
                const std::string key = pickName(data, kKeys, std::size(kKeys));
                const bool flag = data.ConsumeBool();
                if (store.writeFlag(key, flag))
                    remember(store.currentSection(), key, settingsFlagText(flag));
            }
            check(store.endBatch(), "batch could not be written");
            break;
        }
        case 5: { // reopen: the file must hold everything
            check(store.openStore(path), "reopen failed");
            break;
        }
        default: { // format helpers on raw bytes
            const std::string text = data.ConsumeRandomLengthString(200);
            const std::vector<SettingsListItem> items = parseItemList(text);
            // Pieces of a split never contain a separator, so they survive a second round trip.
            check(parseItemList(itemListText(items, true)) == items, "item list does not round-trip");
            const std::size_t from = data.ConsumeIntegralInRange<std::size_t>(0, text.size());
            const std::size_t to = data.ConsumeIntegralInRange<std::size_t>(0, text.size());
            if (const auto h = headerBetween(text, from, to))
                check(*h < text.size() && text[*h] == '[', "header position is not a [");
            // This process runs in the C locale, where the C library is the reference.
            check(settingsNumberFromText(text) == leadingNumber(text), "number parsing differs from strtod");
            const double number = data.ConsumeFloatingPoint<double>();
            if (std::isfinite(number)) {
                char printed[64];
                std::snprintf(printed, sizeof printed, "%.13g", number);
                check(settingsNumberText(number) == printed, "number text differs from %.13g");
            }
            break;
        }
        }
        check(readFile(path) == store.fileImage(), "file on disk differs from the image");
        for (const auto& [where, value] : written)
            check(store.readValue(where.first, where.second, "\x01<absent>") == value, "written key lost");
    }
    check(messages == 0, "unexpected message");
    return 0;
}
