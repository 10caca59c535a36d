#pragma once

// The state of one duplicate search, shared by the files that implement it; not for other users.

#include "duplicates/ContentCompare.h"
#include "duplicates/ContentSimilarity.h"
#include "duplicates/DigestCache.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/FileIdSet.h"
#include "duplicates/FlatIndex.h"
#include "duplicates/ReadAhead.h"
#include "duplicates/Similarity.h"
#include "duplicates/StatAhead.h"
#include "files/FileFacts.h"

#include <deque>
#include <map>
#include <set>
#include <unordered_map>

namespace karv {

struct DuplicateFinder::Impl {
    Impl(const ScanOptions& options, const RunContext* context) : options(options), context(context) {}

    struct Group {
        std::string key;
        std::vector<std::string> members;
        // What each member looked like when it was collected: its row is listed from it, and the
        // row's stamp lets a later action see a file changed since it was judged.
        std::vector<std::optional<FileStat>> memberStats;
        std::uint64_t firstOrdinal = 0;
        NameProfile firstName; // name mode with similarity only
        std::shared_ptr<const PreparedText> prepared;
    };

    /// What the digest cache holds for a file as listed, once looked up (by the stat thread).
    struct CacheLookup {
        bool looked = false;
        const DigestCache::Entry* entry = nullptr;
    };

    // Content mode: the distinct contents met among the files of one size and one prefix.
    struct ContentClass {
        std::size_t group = 0;
        bool hashKnown = false;
        bool unreadable = false;    // its first member could no longer be read: nothing can join it
        bool hashFromCache = false; // the hash is the one kept for its first member as listed
        ContentHash hash;
        std::uint64_t prefixHash = 0;
        // The first member's bytes as read (small files, within a budget). They, and the file
        // itself, stand for the class only while the file still looks as it did when first read.
        bool kept = false;
        ReadBytes content;
        FileIdentity identity; // the first member when it was first read
        std::int64_t changedNs = 0;
    };
    struct PrefixSet {
        std::vector<std::size_t> classes;
        std::size_t registered = 0; // classes before this index are in `byHash` (or unreadable)
        std::unordered_map<ContentHash, std::vector<std::size_t>, ContentHashKey> byHash;
    };
    struct Pending {
        std::string path;
        std::uint64_t ordinal = 0;
        std::optional<FileStat> stat;
        CacheLookup kept;
    };
    struct SizeBucket {
        std::optional<Pending> pending; // the first file of this size, not read yet
        std::uint32_t prefixSets = 0;   // distinct prefixes met among its files
        std::uint8_t seen = 0;          // files of this size queued so far, counted up to 2
        std::uint64_t firstOrdinal = 0; // the first of them
    };
    struct Queued {
        std::string path;
        std::uint64_t size = 0;
        std::uint64_t order = 0;
        std::optional<FileStat> stat;
        std::shared_ptr<const OpenFolder> folder;
        CacheLookup kept;
    };

    const ScanOptions& options;
    const RunContext* context; // null until a run hands it
    std::vector<Group> groups;
    std::vector<ContentClass> classes;
    std::deque<SizeBucket> buckets; // by `bucketIndex`, of the size
    FlatIndex bucketIndex;
    std::deque<PrefixSet> prefixSets; // by `prefixIndex`, of the size and the prefix hash
    FlatIndex prefixIndex;
    std::unordered_map<std::string, std::size_t> byKey;
    // Every file collected so far, by device and inode: a file reached again (a link to it, a
    // folder link, a second fitting pattern, a hard link) is the same file, not a copy of it.
    FileIdSet collected;
    std::map<std::size_t, std::vector<std::size_t>> byNameLength; // element count -> groups
    std::uint64_t ordinal = 0;
    int nameThreshold = 0;
    bool judgeContent = false;
    ReadStats stats;
    ReadBuffers buffers;
    std::size_t preparedCacheBytes = 0;
    std::size_t keptContentBytes = 0;
    std::optional<FileStat> currentStat;                          // of the file being collected
    CacheLookup currentKept;                                      // and the cache's entry for it
    std::shared_ptr<const OpenFolder> currentFolder;              // content mode: the walk's folder
    std::deque<Queued> queued;                                    // content mode: collected, not decided yet
    std::unordered_map<std::uint64_t, ReadAhead::Ticket> tickets; // first reads asked for, by ordinal
    std::string cacheFolder;              // where digests of earlier runs are kept; empty: none
    std::unique_ptr<DigestCache> cache;   // content mode with a cache folder, from the first file on
    std::int64_t nowSeconds = 0;          // wall clock at the start, for the cache's ageing
    std::unique_ptr<ReadAhead> readAhead; // its worker ends before the rest goes
    std::unique_ptr<StatAhead> statAhead; // content mode: files being stat'ed, in walk order

    void pump() const {
        if (context != nullptr && context->pump)
            context->pump();
    }
    ReadControl control() {
        return {[this] { pump(); },
                [this] {
                    return stopped();
                }};
    }

    static void addMember(Group& group, const std::string& path, const std::optional<FileStat>& stat) {
        group.members.push_back(path);
        group.memberStats.push_back(stat);
    }

    std::size_t newGroup(std::string key, const std::string& path, std::uint64_t order,
                         const std::optional<FileStat>& stat) {
        Group group;
        group.key = std::move(key);
        addMember(group, path, stat);
        group.firstOrdinal = order;
        groups.push_back(std::move(group));
        return groups.size() - 1;
    }

    // A file of the folder being walked is stat'ed by its name in it, without a path lookup.
    std::optional<FileStat> statListed(const std::string& path) const {
        if (currentFolder && currentFolder->fd >= 0) {
            if (const char* name = currentFolder->nameOf(path))
                return statFileAt(currentFolder->fd, name);
        }
        return statFile(path);
    }

    void showReading(const std::string& path, std::uint64_t size) {
        if (context == nullptr)
            return;
        RunProgress now{RunStage::Comparing, 0, 0, path};
        now.bytes = size;
        context->progress.progress(now);
    }

    // --- content mode -------------------------------------------------------------------------

    SizeBucket& bucketOf(std::uint64_t size) {
        std::uint32_t at = bucketIndex.find(size, 0);
        if (at == FlatIndex::kNone) {
            at = static_cast<std::uint32_t>(buckets.size());
            buckets.emplace_back();
            bucketIndex.insert(size, 0, at);
        }
        return buckets[at];
    }
    PrefixSet& prefixSetOf(SizeBucket& bucket, std::uint64_t size, std::uint64_t prefixHash) {
        std::uint32_t at = prefixIndex.find(size, prefixHash);
        if (at == FlatIndex::kNone) {
            at = static_cast<std::uint32_t>(prefixSets.size());
            prefixSets.emplace_back();
            prefixIndex.insert(size, prefixHash, at);
            ++bucket.prefixSets;
        }
        return prefixSets[at];
    }

    std::size_t newClass(PrefixSet& set, const std::string& path, std::uint64_t order,
                         const ContentHash* hash, const std::optional<FileStat>& stat);

    const std::string& representative(std::size_t content);

    void keep(std::size_t content, FirstRead& first);

    /// A class's first member opened again, only while it is still the file that was read for it
    /// (same identity, size and last write). One written to since no longer holds the content its
    /// group was formed on: another file equal to its new bytes must not join that group. Reading
    /// it checks at the end that it did not change meanwhile.
    std::unique_ptr<ReadOnlyFile> openFirstMember(std::size_t content);

    /// The kept bytes of a class's first member, while that file is still the one that was read;
    /// otherwise it has to be read again.
    const ReadBytes* keptContent(std::size_t content);

    /// The first read of a file: the digests kept for the file as listed (`stat`) when the cache
    /// has them, else from the read-ahead when it was asked for, else done here (and the file left
    /// open in `file` for further reading).
    FirstRead firstReadOf(const std::string& path, std::uint64_t order, std::uint64_t size,
                          std::unique_ptr<ReadOnlyFile>* file, const std::optional<FileStat>& stat,
                          const CacheLookup& kept);
    FirstRead readHere(const std::string& path, std::uint64_t size, std::unique_ptr<ReadOnlyFile>* file);

    // --- digest cache -------------------------------------------------------------------------

    void openCache();
    /// The digests kept for this state of the file, as a first read that read nothing.
    std::optional<FirstRead> cachedRead(const std::optional<FileStat>& stat, const CacheLookup& kept);
    void remember(const FileIdentity& identity, std::int64_t changedNs, std::uint64_t prefixHash,
                  const ContentHash& hash);
    void rememberClass(std::size_t content);
    /// Keeps what a finished first read found: a small file's whole digest, a large file's prefix.
    void rememberRead(const FirstRead& first, std::uint64_t size);

    /// The file open for reading on: the one of the first read, or opened again if it is still the
    /// file that was read then. Null when it can no longer be read as that file.
    static ReadOnlyFile* readable(const std::string& path, const FirstRead& first, std::uint64_t size,
                                  std::unique_ptr<ReadOnlyFile>& file);

    /// Gives a file whose first read went well a class of its own in `set`.
    void startClass(PrefixSet& set, const std::string& path, std::uint64_t order, std::uint64_t size,
                    const ContentHash* hash, const std::optional<FileStat>& stat, FirstRead& first);

    /// Reads the prefix of a file of the bucket's size and gives it its own class; false when it
    /// cannot be read.
    bool settlePending(SizeBucket& bucket, std::uint64_t size);

    /// Hashes every class of the set that is not in its hash index yet. False on a stop.
    bool registerAll(PrefixSet& set, std::uint64_t size);

    // A stop that arrived while this file was handled: the file is not added, the walk ends.
    bool stopped() const { return context != nullptr && context->stop.stopRequested(); }

    /// The file of one content decision: its path, size, walk order and first read.
    struct Candidate {
        const std::string& path;
        std::uint64_t size = 0;
        std::uint64_t order = 0;
        FirstRead first;
        std::unique_ptr<ReadOnlyFile> file; // open from the first read, when read here
        bool small() const { return size <= kWholeReadBytes; }
    };

    /// Whether a file of `size` is to be read now: not while it is the only one of its size (it
    /// then waits as the bucket's pending file). Reads the pending one first when a second comes.
    bool bucketReady(SizeBucket& bucket, const std::string& path, std::uint64_t size, std::uint64_t order);

    /// Compares the candidate with the first member of a class; on Equal, `hash` is their content
    /// hash.
    CompareOutcome compareWithClass(Candidate& mine, std::size_t content, ContentHash& hash);

    /// Joins the set's one class, or starts a second; false when the search must go on as with
    /// several candidates (the class's first member could not be read).
    bool decideAgainstOnly(PrefixSet& set, Candidate& mine);

    /// Finds the class whose content hash and bytes equal the candidate's among several, or starts
    /// a new one.
    void decideByHash(PrefixSet& set, Candidate& mine);

    /// Decides a candidate known from the cache without reading it: false when its bytes are
    /// needed, as it has the hash of a class whose hash was computed in this run (a match then is
    /// confirmed byte by byte, as for any file read).
    bool decideFromCache(SizeBucket& bucket, Candidate& mine);

    void collectByContent(const std::string& path, std::uint64_t size, std::uint64_t order);

    // --- read-ahead ---------------------------------------------------------------------------

    void ask(const std::string& path, std::uint64_t size, std::uint64_t order,
             const std::optional<FileStat>& stat, std::shared_ptr<const OpenFolder> folder,
             const CacheLookup& kept);

    /// Queues a file for the content search; its first read starts on the second thread as soon as
    /// a second file of its size is known, and files are decided in walk order a few files later.
    void queueByContent(const std::string& path, std::uint64_t size, std::uint64_t order,
                        const std::shared_ptr<const OpenFolder>& folder);

    /// Collects a file whose status is taken (none: it cannot be stat'ed).
    void collectStatted(const std::string& path, std::uint64_t size, std::uint64_t order,
                        std::optional<FileStat> stat, const std::shared_ptr<const OpenFolder>& folder,
                        const CacheLookup& kept);

    /// Collects the files whose status the stat thread has taken, in walk order; with `all` every
    /// file queued there (stat'ed here when the thread has not come to it).
    void takeStatted(bool all);

    void decideNext();

    /// Decides the files still queued, or after a stop drops them.
    void drain();

    // --- name mode ----------------------------------------------------------------------------

    std::shared_ptr<const PreparedText> preparedOf(const std::string& path);

    /// Whether the texts of the group's first member and of `path` are similar enough; no value
    /// when a stop arrived meanwhile.
    std::optional<bool> contentSimilarEnough(std::size_t groupIndex, const std::string& path,
                                             std::shared_ptr<const PreparedText>& mine);

    void collectByName(const std::string& path, std::uint64_t order);
};

} // namespace karv
