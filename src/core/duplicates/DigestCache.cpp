#include "duplicates/DigestCache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace karv {

namespace {

// "Karv·Tessil digests", the format and the digest kind; then the entries and a checksum.
constexpr std::string_view kMagic = "Karv\xC2\xB7Tessil digests\n";
constexpr std::uint32_t kFormat = 2;
constexpr std::size_t kHeaderBytes = kMagic.size() + 4 + 4 + 8;
constexpr std::size_t kEntryWords = 10;
constexpr std::size_t kEntryBytes = kEntryWords * 8;
constexpr std::size_t kChecksumBytes = sizeof(ContentHash);
constexpr std::int64_t kSecondsPerDay = 86400;

template <typename T> void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T> T take(const char*& at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

std::string encode(const std::vector<const DigestCache::Entry*>& entries) {
    std::string out;
    out.reserve(kHeaderBytes + entries.size() * kEntryBytes + kChecksumBytes);
    out.append(kMagic);
    put(out, kFormat);
    put(out, contentHashKind());
    put(out, static_cast<std::uint64_t>(entries.size()));
    for (const DigestCache::Entry* e : entries) {
        put(out, e->key.device);
        put(out, e->key.inode);
        put(out, e->key.size);
        put(out, e->key.modifiedNs);
        put(out, e->key.changedNs);
        put(out, e->digest.prefixHash);
        put(out, e->digest.contentHash.low);
        put(out, e->digest.contentHash.high);
        put(out, e->usedDay);
        put(out, std::uint64_t{e->digest.contentKnown ? 1u : 0u});
    }
    const ContentHash sum = contentHashOf(out);
    put(out, sum);
    return out;
}

// The entries of a whole cache file of this format and digest kind; nothing for anything else.
std::vector<DigestCache::Entry> decode(std::string_view bytes) {
    if (bytes.size() < kHeaderBytes + kChecksumBytes || bytes.substr(0, kMagic.size()) != kMagic)
        return {};
    const char* at = bytes.data() + kMagic.size();
    const auto format = take<std::uint32_t>(at);
    const auto kind = take<std::uint32_t>(at);
    const auto count = take<std::uint64_t>(at);
    if (format != kFormat || kind != contentHashKind() || count > DigestCache::kMaxEntries ||
        bytes.size() != kHeaderBytes + count * kEntryBytes + kChecksumBytes)
        return {};
    const std::string_view body = bytes.substr(0, bytes.size() - kChecksumBytes);
    const char* sumAt = bytes.data() + body.size();
    if (take<ContentHash>(sumAt) != contentHashOf(body))
        return {};
    std::vector<DigestCache::Entry> entries;
    entries.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        DigestCache::Entry& e = entries.emplace_back();
        e.key.device = take<std::uint64_t>(at);
        e.key.inode = take<std::uint64_t>(at);
        e.key.size = take<std::uint64_t>(at);
        e.key.modifiedNs = take<std::int64_t>(at);
        e.key.changedNs = take<std::int64_t>(at);
        e.digest.prefixHash = take<std::uint64_t>(at);
        e.digest.contentHash.low = take<std::uint64_t>(at);
        e.digest.contentHash.high = take<std::uint64_t>(at);
        e.usedDay = take<std::int64_t>(at);
        e.digest.contentKnown = take<std::uint64_t>(at) == 1;
    }
    return entries;
}

bool byFile(const DigestCache::Entry& a, const DigestCache::Entry& b) {
    if (a.key.device != b.key.device)
        return a.key.device < b.key.device;
    return a.key.inode < b.key.inode;
}

// A file's bytes in one buffer that is not zeroed first: only what read() returned is kept.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::string_view view() const { return {data.get(), size}; }
};

// The whole cache file, or nothing when it is missing, no regular file or too large to be one.
FileBytes readCacheFile(const std::string& path) {
    FileBytes bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return bytes;
    struct stat st {};
    const std::uint64_t limit = kHeaderBytes + DigestCache::kMaxEntries * kEntryBytes + kChecksumBytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= limit &&
        st.st_size > 0) {
        const auto want = static_cast<std::size_t>(st.st_size);
        bytes.data.reset(new char[want]);
        while (bytes.size < want) {
            const ssize_t got = ::read(fd, bytes.data.get() + bytes.size, want - bytes.size);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            bytes.size += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return bytes;
}

bool makeFolder(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// Writes the bytes to a new file in `folder` and renames it over `target`: readers see the old
// file or the new one, whole.
bool replaceFile(const std::string& folder, const std::string& target, const std::string& bytes) {
    std::string temp = folder + "/.digests-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temp.c_str(), target.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

std::int64_t dayOf(std::int64_t seconds) {
    return seconds / kSecondsPerDay;
}

} // namespace

DigestCache::DigestCache(std::string folder) : m_folder(std::move(folder)) {}

std::string DigestCache::filePath(const std::string& folder) {
    return folder + "/digests.cache";
}

void DigestCache::load() {
    if (m_loaded)
        return;
    m_loaded = true;
    if (m_folder.empty())
        return;
    m_entries = decode(readCacheFile(filePath(m_folder)).view());
    // Saved in this order; anything else is put in it rather than trusted to be.
    if (!std::is_sorted(m_entries.begin(), m_entries.end(), byFile))
        std::stable_sort(m_entries.begin(), m_entries.end(), byFile);
}

std::optional<KeptDigest> DigestCache::find(const DigestKey& key, std::int64_t nowSeconds) {
    const Entry* found = lookup(key);
    if (found == nullptr)
        return std::nullopt;
    return use(*found, nowSeconds);
}

const DigestCache::Entry* DigestCache::lookup(const DigestKey& key) const {
    Entry wanted;
    wanted.key = key;
    const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), wanted, byFile);
    if (found == m_entries.end() || found->key != key)
        return nullptr;
    return &*found;
}

KeptDigest DigestCache::use(const Entry& entry, std::int64_t nowSeconds) {
    Entry& found = m_entries[static_cast<std::size_t>(&entry - m_entries.data())];
    // Renewed now and then, not at every use: a run that only finds leaves the file unwritten.
    if (const std::int64_t today = dayOf(nowSeconds); today - found.usedDay >= kRenewAfterDays) {
        found.usedDay = today;
        m_changed = true;
    }
    return found.digest;
}

void DigestCache::remember(const DigestKey& key, const KeptDigest& digest, std::int64_t nowSeconds) {
    if (m_folder.empty())
        return;
    // Merged at the save: a run remembers many files and looks few of them up again.
    m_added.push_back(Entry{key, digest, dayOf(nowSeconds)});
    m_changed = true;
}

bool DigestCache::save(std::int64_t nowSeconds) {
    if (m_folder.empty() || !m_changed)
        return true;
    if (!makeFolder(m_folder))
        return false;
    // One writer at a time; a run that finds another saving leaves its digests unsaved rather
    // than wait.
    const std::string lockPath = m_folder + "/digests.lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (lock < 0)
        return false;
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(lock);
        return false;
    }
    // Per file the entry used last: what this run read (last first), then what it found, then what other runs
    // saved since this one loaded.
    std::vector<Entry> all = std::move(m_added);
    m_added.clear();
    // A file remembered twice in this run (its prefix, later its whole content): the last one.
    std::reverse(all.begin(), all.end());
    all.reserve(all.size() + m_entries.size());
    all.insert(all.end(), m_entries.begin(), m_entries.end());
    for (const Entry& e : decode(readCacheFile(filePath(m_folder)).view()))
        all.push_back(e);
    std::stable_sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) {
        if (a.key.device != b.key.device)
            return a.key.device < b.key.device;
        if (a.key.inode != b.key.inode)
            return a.key.inode < b.key.inode;
        return a.usedDay > b.usedDay;
    });
    const std::int64_t oldest = dayOf(nowSeconds) - kForgetAfterDays;
    std::vector<const Entry*> kept;
    kept.reserve(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bool sameFile =
            i > 0 && all[i].key.device == all[i - 1].key.device && all[i].key.inode == all[i - 1].key.inode;
        if (!sameFile && all[i].usedDay >= oldest)
            kept.push_back(&all[i]);
    }
    if (kept.size() > kMaxEntries) {
        std::nth_element(kept.begin(), kept.begin() + kMaxEntries, kept.end(),
                         [](const Entry* a, const Entry* b) { return a->usedDay > b->usedDay; });
        kept.resize(kMaxEntries);
        // Kept by device and inode, so a load need not sort.
        std::sort(kept.begin(), kept.end(), [](const Entry* a, const Entry* b) { return byFile(*a, *b); });
    }
    const bool saved = replaceFile(m_folder, filePath(m_folder), encode(kept));
    ::close(lock); // releases the lock
    if (saved)
        m_changed = false;
    return saved;
}

DigestCache::Cleared DigestCache::clear(const std::string& folder) {
    if (folder.empty())
        return Cleared::Nothing;
    if (::unlink(filePath(folder).c_str()) == 0)
        return Cleared::Removed;
    return errno == ENOENT ? Cleared::Nothing : Cleared::Failed;
}

} // namespace karv
