#include "duplicates/DuplicateSearchState.h"

#include <chrono>

namespace karv {

void DuplicateFinder::Impl::openCache() {
    nowSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    cache = std::make_unique<DigestCache>(cacheFolder);
    cache->load();
}

std::optional<FirstRead> DuplicateFinder::Impl::cachedRead(const std::optional<FileStat>& stat,
                                                           const CacheLookup& lookup) {
    if (!cache || !stat)
        return std::nullopt;
    const DigestCache::Entry* entry =
        lookup.looked
            ? lookup.entry
            : cache->lookup({stat->device, stat->inode, stat->size, stat->modifiedNs, stat->changedNs});
    const std::optional<KeptDigest> kept =
        entry != nullptr ? std::optional<KeptDigest>(cache->use(*entry, nowSeconds)) : std::nullopt;
    // A small file is kept whole; a prefix alone kept for one is taken for no entry at all.
    if (!kept || (!kept->contentKnown && stat->size <= kWholeReadBytes))
        return std::nullopt;
    FirstRead read;
    read.outcome = ReadOutcome::Done;
    read.fromCache = true;
    read.contentKnown = kept->contentKnown;
    read.prefixHash = kept->prefixHash;
    read.contentHash = kept->contentHash;
    read.identity = {stat->device, stat->inode, stat->size, stat->modifiedNs};
    read.changedNs = stat->changedNs;
    return read;
}

void DuplicateFinder::Impl::remember(const FileIdentity& identity, std::int64_t changedNs,
                                     std::uint64_t prefixHash, const ContentHash& hash) {
    if (cache)
        cache->remember({identity.device, identity.inode, identity.size, identity.modifiedNs, changedNs},
                        {prefixHash, hash}, nowSeconds);
}

void DuplicateFinder::Impl::rememberRead(const FirstRead& first, std::uint64_t size) {
    if (first.outcome != ReadOutcome::Done)
        return;
    if (size <= kWholeReadBytes) {
        remember(first.identity, first.changedNs, first.prefixHash, first.contentHash);
        return;
    }
    // A large file's prefix alone: a later run may set the file apart by it without reading it.
    if (cache)
        cache->remember({first.identity.device, first.identity.inode, first.identity.size,
                         first.identity.modifiedNs, first.changedNs},
                        {first.prefixHash, {}, false}, nowSeconds);
}

void DuplicateFinder::Impl::rememberClass(std::size_t content) {
    const ContentClass& known = classes[content];
    if (known.hashKnown && !known.hashFromCache)
        remember(known.identity, known.changedNs, known.prefixHash, known.hash);
}

bool DuplicateFinder::Impl::decideFromCache(SizeBucket& bucket, Candidate& mine) {
    PrefixSet& set = prefixSetOf(bucket, mine.size, mine.first.prefixHash);
    if (!mine.first.contentKnown) {
        // Only the prefix is known: the file is read unless its prefix starts a set of its own.
        if (!set.classes.empty())
            return false;
        if (!stopped())
            startClass(set, mine.path, mine.order, mine.size, nullptr, currentStat, mine.first);
        return true;
    }
    const ContentHash hash = mine.first.contentHash;
    if (!set.classes.empty()) {
        // Every class's hash is needed: a class whose hash differs holds other bytes for certain.
        if (!registerAll(set, mine.size))
            return true;
        if (const auto found = set.byHash.find(hash); found != set.byHash.end()) {
            for (const std::size_t candidate : found->second) {
                if (classes[candidate].unreadable)
                    continue;
                // Two digests kept for the very states the files were listed in: their bytes were
                // hashed then and have not changed since. A hash computed in this run is confirmed
                // by comparing bytes, as always.
                if (!classes[candidate].hashFromCache)
                    return false;
                if (!stopped())
                    addMember(groups[classes[candidate].group], mine.path, currentStat);
                return true;
            }
        }
    }
    if (stopped())
        return true;
    startClass(set, mine.path, mine.order, mine.size, &hash, currentStat, mine.first);
    classes.back().hashFromCache = true;
    return true;
}

} // namespace karv
