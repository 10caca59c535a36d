#pragma once

#include "duplicates/ContentCompare.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace karv {

/// What a digest is kept for: the file (device, inode) as it was when its bytes were read. A file
/// that differs in any of these (rewritten, grown, touched, replaced, chmod'ed) is read again.
struct DigestKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool operator==(const DigestKey&) const = default;
};

/// The hashes of a file's content the duplicate search decides by: of its first `kPrefixBytes` and
/// of the whole. A large file whose prefix alone ruled it out, or that differed from its only
/// candidate, has only the first.
struct KeptDigest {
    std::uint64_t prefixHash = 0;
    ContentHash contentHash;
    bool contentKnown = true;
};

/// Content digests of earlier duplicate searches, kept in one file of a cache folder, so that a
/// second search over unchanged files need not read them.
///
/// The file starts with the program, the format and the digest kind, and ends with a checksum of
/// everything before it: a file that is cut short, damaged, of another format or another digest
/// kind is ignored and replaced at the next save, never trusted. A save merges with what other runs
/// saved meanwhile under an exclusive lock, writes a new file beside the old one and renames it into
/// place, so a reader always sees a whole file and a crash leaves the old one. Entries not looked
/// up for `kForgetAfterDays` are dropped, and at most `kMaxEntries` are kept (the most recent).
/// A run that adds nothing writes nothing: an entry's day of use is renewed only once it is
/// `kRenewAfterDays` old, so repeated runs over unchanged files leave the file as it is.
class DigestCache {
public:
    static constexpr std::size_t kMaxEntries = 1'000'000;
    static constexpr std::int64_t kForgetAfterDays = 90;
    static constexpr std::int64_t kRenewAfterDays = 7;

    /// `folder` empty: a cache that keeps nothing.
    explicit DigestCache(std::string folder);

    /// Reads the cache file once (one read, the entries taken as they lie); later calls do nothing.
    void load();
    struct Entry;
    /// The digest an earlier run kept for exactly this state of the file, if any.
    std::optional<KeptDigest> find(const DigestKey& key, std::int64_t nowSeconds);
    /// The entry an earlier run kept for exactly this state of the file, or null. Only reads: once
    /// loaded, another thread may look up while this one uses entries and remembers.
    const Entry* lookup(const DigestKey& key) const;
    /// The digest of an entry `lookup` gave, the entry counted as used.
    KeptDigest use(const Entry& entry, std::int64_t nowSeconds);
    /// Keeps a digest computed in this run, for the runs after it.
    void remember(const DigestKey& key, const KeptDigest& digest, std::int64_t nowSeconds);
    /// Writes what this run added or used. False when it could not be written (another run holding
    /// the lock, no space, no permission): the cache is only an aid, the run's result stands.
    bool save(std::int64_t nowSeconds);

    /// The cache file's path in `folder`.
    static std::string filePath(const std::string& folder);

    enum class Cleared { Removed, Nothing, Failed };
    /// Removes the cache file of `folder`.
    static Cleared clear(const std::string& folder);

    struct Entry {
        DigestKey key;
        KeptDigest digest;
        std::int64_t usedDay = 0; ///< days since the epoch when last remembered or renewed
    };

private:
    std::string m_folder;
    bool m_loaded = false;
    bool m_changed = false;
    std::vector<Entry> m_entries; // as loaded, one per file, by device and inode: found by halving
    std::vector<Entry> m_added;   // remembered in this run
};

} // namespace karv
