#include "settings/SettingsStore.h"

#include "files/FileOps.h"
#include "settings/SettingsFormat.h"
#include "settings/TextInput.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace karv {

using files::folderOf;
using settingsio::readWholeFile;
using settingsio::replaceFileAtomically;

namespace {

// More appends than this without finding the header means something else keeps changing the file.
constexpr int kMaxSectionAppends = 10;
// A key line inserted in one pass is found in the next; more insertions mean the image is being
// replaced under us by a handler, and we stop rather than grow the file.
constexpr int kMaxKeyInsertions = 10;

bool createEmptyFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

} // namespace

SettingsStore::SettingsStore(EventPump pump, SettingsMessageSink messages)
    : m_pump(std::move(pump)), m_messages(std::move(messages)) {}

SettingsStore::~SettingsStore() {
    // A write that failed earlier (full disk) gets one last chance; the lock goes with the object.
    if (m_writable && !m_diskCurrent)
        replaceFileAtomically(m_path, m_image);
}

void SettingsStore::pumpMessages() {
    if (m_pump)
        m_pump();
}

void SettingsStore::notify(std::string text, bool exclamationIcon) {
    if (m_messages)
        m_messages(SettingsMessage{std::move(text), std::string(kSettingsMessageCaption), exclamationIcon});
}

bool SettingsStore::openStore(const std::string& path) {
    m_lock.release();
    m_path = path;
    m_image.clear();
    m_cache = SectionCache{};
    m_writable = false;
    m_diskCurrent = true;
    if (path.empty())
        return false;
    // Lock before reading: an instance that exits between our read and our lock must not have its
    // last writes overwritten by our older copy.
    const bool locked = m_lock.acquire(path + ".lock");
    bool missing = false;
    const bool loaded = readWholeFile(path, m_image, &missing);
    if (!loaded)
        m_image.clear();
    // A Windows editor puts a byte-order mark before the first header, which would then no longer
    // start the file and the whole first section would be lost. Our own writes never add one. The
    // byte-value files keep every byte: they hold a value exactly, not text of ours.
    dropByteOrderMark(m_image);
    if (!locked)
        return false;
    // A file that exists but cannot be read would be destroyed by our first write.
    const bool usable = loaded || (missing && createEmptyFile(path));
    const std::string folder = folderOf(path);
    if (!usable || ::access(folder.c_str(), W_OK | X_OK) != 0) {
        m_lock.release();
        return false;
    }
    m_writable = true;
    return true;
}

SettingsStore::Lookup SettingsStore::lookupSection(const std::string& section, std::size_t& searchStart,
                                                   std::size_t& headerEnd) {
    if (m_cache.name == section && m_cache.headerPos >= 0 && m_cache.headerEnd >= 0 &&
        static_cast<std::size_t>(m_cache.headerEnd) < m_image.size()) {
        m_cache.trusted = true;
        headerEnd = static_cast<std::size_t>(m_cache.headerEnd);
        return Lookup::Found;
    }
    const std::string header = "[" + section + "]";
    const std::size_t found = m_image.find(header, searchStart);
    m_cache =
        SectionCache{section, found == std::string::npos ? -1 : static_cast<std::int64_t>(found), -1, false};
    if (found == std::string::npos)
        return Lookup::Absent;
    // A header is a whole line. A line that only begins with "[name]" is no boundary for the key
    // lookup, so taking it as a header would let two sections share, and overwrite, one key line.
    const std::size_t after = found + header.size();
    if (!headerStartsLine(m_image, found) ||
        (after < m_image.size() && m_image.compare(after, kLineBreak.size(), kLineBreak) != 0)) {
        searchStart = found + 1;
        return Lookup::Rejected;
    }
    headerEnd = after - 1;
    m_cache.headerEnd = static_cast<std::int64_t>(headerEnd);
    return Lookup::Found;
}

std::string SettingsStore::readValue(std::string_view sectionView, std::string_view keyView,
                                     std::string_view defaultView) {
    // Copies: the pump may run handlers that change whatever the views point into.
    const std::string section(sectionView);
    const std::string key(keyView);
    const std::string defaultValue(defaultView);
    std::size_t searchStart = 0;
    for (;;) {
        pumpMessages();
        std::size_t headerEnd = 0;
        const Lookup lookup = lookupSection(section, searchStart, headerEnd);
        if (lookup == Lookup::Rejected)
            continue;
        if (lookup == Lookup::Absent)
            return defaultValue;
        const auto span = findKeyValue(m_image, headerEnd, key);
        if (!span)
            return defaultValue;
        return m_image.substr(span->start, span->length);
    }
}

bool SettingsStore::writeValue(std::string_view sectionView, std::string_view keyView,
                               std::string_view valueView) {
    const std::string section(sectionView);
    const std::string key(keyView);
    const std::string value(valueView);
    // Anything else could add header or key lines that other lookups would then find.
    if (!isStorableSectionName(section) || !isStorableKey(key) || value.find(kLineBreak) != std::string::npos)
        return false;
    int appends = 0;
    int insertions = 0;
    std::size_t searchStart = 0;
    for (;;) {
        pumpMessages();
        std::size_t headerEnd = 0;
        const Lookup lookup = lookupSection(section, searchStart, headerEnd);
        if (lookup == Lookup::Rejected)
            continue;
        if (lookup == Lookup::Absent) {
            if (!m_image.empty())
                m_image.append(kLineBreak);
            m_image.append("[" + section + "]");
            if (++appends <= kMaxSectionAppends)
                continue;
            persist();
            notify(std::string(kSettingsFailureText), true);
            notify(m_image, false);
            return false;
        }
        if (const auto span = findKeyValue(m_image, headerEnd, key)) {
            m_image.replace(span->start, span->length, value);
            return persist();
        }
        if (++insertions > kMaxKeyInsertions) {
            persist();
            return false;
        }
        m_image.insert(keyInsertionPoint(m_image, headerEnd), std::string(kLineBreak) + key + "=");
    }
}

bool SettingsStore::persist() {
    if (!m_writable)
        return false;
    if (m_batchDepth > 0) {
        m_diskCurrent = false;
        return true;
    }
    m_diskCurrent = replaceFileAtomically(m_path, m_image);
    return m_diskCurrent;
}

void SettingsStore::beginBatch() {
    ++m_batchDepth;
}

bool SettingsStore::endBatch() {
    if (m_batchDepth == 0)
        return true;
    if (--m_batchDepth > 0)
        return true;
    if (!m_writable || m_diskCurrent)
        return true;
    return persist();
}

bool SettingsStore::queueWrite(std::string_view key, std::string value) {
    m_pending.push_back(PendingWrite{m_currentSection, std::string(key), std::move(value)});
    if (m_writeInProgress)
        return false;
    return applyPendingWrites();
}

bool SettingsStore::applyPendingWrites() {
    // A nested call would apply the running request a second time and drop the next one.
    if (m_pending.empty() || m_writeInProgress)
        return false;
    struct InProgress {
        SettingsStore& store;
        explicit InProgress(SettingsStore& s) : store(s) { store.m_writeInProgress = true; }
        ~InProgress() {
            store.m_pending.pop_front();
            store.m_writeInProgress = false;
        }
    };
    bool firstResult = false;
    bool first = true;
    while (!m_pending.empty()) {
        const PendingWrite request = m_pending.front();
        bool result = false;
        {
            InProgress guard(*this);
            result = writeValue(request.section, request.key, request.value);
        }
        if (first) {
            firstResult = result;
            first = false;
        }
    }
    return firstResult;
}

bool SettingsStore::writeText(std::string_view key, std::string_view value) {
    return queueWrite(key, escapeLineBreaks(value));
}

std::string SettingsStore::readText(std::string_view key, std::string_view defaultValue) {
    const std::string section = m_currentSection;
    return unescapeLineBreaks(readValue(section, key, escapeLineBreaks(defaultValue)));
}

bool SettingsStore::writeNumber(std::string_view key, double value) {
    return queueWrite(key, settingsNumberText(value));
}

double SettingsStore::readNumber(std::string_view key, double defaultValue) {
    const std::string section = m_currentSection;
    return settingsNumberFromText(readValue(section, key, settingsNumberText(defaultValue)));
}

bool SettingsStore::writeFlag(std::string_view key, bool value) {
    return queueWrite(key, settingsFlagText(value));
}

bool SettingsStore::readFlag(std::string_view key, bool defaultValue) {
    const std::string section = m_currentSection;
    return settingsFlagFromText(readValue(section, key, settingsFlagText(defaultValue)));
}

std::string SettingsStore::byteValuePath(std::string_view key) const {
    std::string path = folderOf(m_path);
    path.push_back('/');
    path.append(kByteValueFolder);
    path.push_back('/');
    path.append(m_currentSection);
    path.push_back('-');
    path.append(key);
    path.append(kByteValueExtension);
    return path;
}

bool SettingsStore::writeByteValue(std::string_view key, std::string_view bytes) {
    if (!m_writable || !isByteValueName(m_currentSection) || !isByteValueName(key))
        return false;
    const std::string folder = folderOf(m_path) + "/" + std::string(kByteValueFolder);
    ::mkdir(folder.c_str(), 0755); // an existing folder is fine; any other failure shows in the write
    return replaceFileAtomically(byteValuePath(key), bytes);
}

std::string SettingsStore::readByteValue(std::string_view key, std::string_view defaultValue) {
    if (m_path.empty() || !isByteValueName(m_currentSection) || !isByteValueName(key))
        return std::string(defaultValue);
    std::string content;
    if (!readWholeFile(byteValuePath(key), content) || content.empty())
        return std::string(defaultValue);
    return content;
}

} // namespace karv
