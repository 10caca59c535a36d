#include "duplicates/DuplicateSearchState.h"
#include "files/FileFacts.h"

namespace karv {

namespace {

// Bytes of small first members kept in memory, so their later copies need not read them again.
constexpr std::size_t kKeptContentBytes = std::size_t{64} << 20;

} // namespace

std::size_t DuplicateFinder::Impl::newClass(PrefixSet& set, const std::string& path, std::uint64_t order,
                                            const ContentHash* hash, const std::optional<FileStat>& stat) {
    // Content groups are found through their classes, never by a key.
    const std::size_t group = newGroup(std::string(), path, order, stat);
    ContentClass content;
    content.group = group;
    if (hash != nullptr) {
        content.hashKnown = true;
        content.hash = *hash;
    }
    classes.push_back(std::move(content));
    set.classes.push_back(classes.size() - 1);
    // Keep the hash index complete when every earlier class is already in it. A set's first class
    // waits for a second: most sets never get one, and their index would be built for nothing.
    if (hash != nullptr && set.classes.size() > 1 && set.registered + 1 == set.classes.size()) {
        set.byHash[*hash].push_back(classes.size() - 1);
        ++set.registered;
    }
    return group;
}

const std::string& DuplicateFinder::Impl::representative(std::size_t content) {
    return groups[classes[content].group].members.front();
}

void DuplicateFinder::Impl::keep(std::size_t content, FirstRead& first) {
    if (keptContentBytes + first.bytes.size() > kKeptContentBytes)
        return;
    keptContentBytes += first.bytes.size();
    ContentClass& target = classes[content];
    target.kept = true;
    target.content = std::move(first.bytes);
}

std::unique_ptr<ReadOnlyFile> DuplicateFinder::Impl::openFirstMember(std::size_t content) {
    auto file = std::make_unique<ReadOnlyFile>(representative(content));
    if (!file->isOpen() || file->identity() != classes[content].identity)
        return nullptr;
    ++stats.filesOpened;
    return file;
}

const ReadBytes* DuplicateFinder::Impl::keptContent(std::size_t content) {
    ContentClass& candidate = classes[content];
    if (!candidate.kept)
        return nullptr;
    const std::optional<FileStat> now = statFile(representative(content));
    if (now && !now->isDirectory &&
        FileIdentity{now->device, now->inode, now->size, now->modifiedNs} == candidate.identity)
        return &candidate.content;
    keptContentBytes -= candidate.content.size();
    candidate.kept = false;
    candidate.content.release();
    return nullptr;
}

FirstRead DuplicateFinder::Impl::firstReadOf(const std::string& path, std::uint64_t order, std::uint64_t size,
                                             std::unique_ptr<ReadOnlyFile>* file,
                                             const std::optional<FileStat>& stat, const CacheLookup& lookup) {
    if (std::optional<FirstRead> kept = cachedRead(stat, lookup); kept && kept->identity.size == size)
        return std::move(*kept);
    // Only a file that is read is shown as being read.
    showReading(path, size);
    if (const auto ticket = tickets.find(order); ticket != tickets.end()) {
        const ReadAhead::Ticket job = std::move(ticket->second);
        tickets.erase(ticket);
        FirstRead first = readAhead->take(job);
        stats += first.stats;
        rememberRead(first, size);
        return first;
    }
    return readHere(path, size, file);
}

FirstRead DuplicateFinder::Impl::readHere(const std::string& path, std::uint64_t size,
                                          std::unique_ptr<ReadOnlyFile>* file) {
    auto opened = std::make_unique<ReadOnlyFile>(path);
    FirstRead first = readFirst(*opened, size);
    if (file != nullptr)
        *file = std::move(opened);
    stats += first.stats;
    rememberRead(first, size);
    return first;
}

ReadOnlyFile* DuplicateFinder::Impl::readable(const std::string& path, const FirstRead& first,
                                              std::uint64_t size, std::unique_ptr<ReadOnlyFile>& file) {
    if (!file) {
        file = std::make_unique<ReadOnlyFile>(path);
        if (!file->isOpen() || file->size() != size || file->identity() != first.identity)
            return nullptr;
    }
    return file->isOpen() ? file.get() : nullptr;
}

void DuplicateFinder::Impl::startClass(PrefixSet& set, const std::string& path, std::uint64_t order,
                                       std::uint64_t size, const ContentHash* hash,
                                       const std::optional<FileStat>& stat, FirstRead& first) {
    // A small file's content hash came with its bytes.
    const bool small = size <= kWholeReadBytes;
    newClass(set, path, order, small ? &first.contentHash : hash, stat);
    classes.back().identity = first.identity;
    classes.back().changedNs = first.changedNs;
    classes.back().prefixHash = first.prefixHash;
    if (small && !first.fromCache)
        keep(classes.size() - 1, first);
}

bool DuplicateFinder::Impl::settlePending(SizeBucket& bucket, std::uint64_t size) {
    const Pending pending = std::move(*bucket.pending);
    bucket.pending.reset();
    FirstRead first = firstReadOf(pending.path, pending.ordinal, size, nullptr, pending.stat, pending.kept);
    if (first.outcome != ReadOutcome::Done)
        return false;
    startClass(prefixSetOf(bucket, size, first.prefixHash), pending.path, pending.ordinal, size,
               first.fromCache && first.contentKnown ? &first.contentHash : nullptr, pending.stat, first);
    classes.back().hashFromCache = first.fromCache && first.contentKnown;
    return true;
}

bool DuplicateFinder::Impl::registerAll(PrefixSet& set, std::uint64_t size) {
    while (set.registered < set.classes.size()) {
        ContentClass& content = classes[set.classes[set.registered]];
        if (!content.hashKnown && !content.unreadable) {
            const std::size_t index = set.classes[set.registered];
            showReading(representative(index), size);
            ContentHash hash;
            const std::unique_ptr<ReadOnlyFile> theirs = openFirstMember(index);
            const ReadOutcome outcome =
                theirs ? wholeFileHash(*theirs, size, hash, control(), stats, buffers) : ReadOutcome::Failed;
            if (outcome == ReadOutcome::Stopped)
                return false;
            ContentClass& again = classes[index];
            if (outcome == ReadOutcome::Failed) {
                again.unreadable = true;
            } else {
                again.hashKnown = true;
                again.hash = hash;
                remember(theirs->identity(), theirs->changedNs(), again.prefixHash, hash);
            }
        }
        const ContentClass& done = classes[set.classes[set.registered]];
        if (done.hashKnown)
            set.byHash[done.hash].push_back(set.classes[set.registered]);
        ++set.registered;
    }
    return true;
}

bool DuplicateFinder::Impl::bucketReady(SizeBucket& bucket, const std::string& path, std::uint64_t size,
                                        std::uint64_t order) {
    if (!bucket.pending && bucket.prefixSets == 0) {
        // A size met once can never form a group: nothing is read until a second file has it.
        bucket.pending = Pending{path, order, currentStat, currentKept};
        return false;
    }
    if (bucket.pending && !settlePending(bucket, size) && bucket.prefixSets == 0) {
        bucket.pending = Pending{path, order, currentStat, currentKept};
        return false;
    }
    return true;
}

CompareOutcome DuplicateFinder::Impl::compareWithClass(Candidate& mine, std::size_t content,
                                                       ContentHash& hash) {
    if (mine.small()) {
        if (const ReadBytes* theirs = keptContent(content)) {
            if (theirs->view() != mine.first.bytes.view())
                return CompareOutcome::Different;
            hash = mine.first.contentHash;
            return CompareOutcome::Equal;
        }
    }
    const std::unique_ptr<ReadOnlyFile> theirs = openFirstMember(content);
    if (!theirs)
        return CompareOutcome::SecondFailed;
    if (mine.small()) {
        const CompareOutcome outcome = compareWithFile(mine.first.bytes.view(), *theirs, stats, buffers);
        if (outcome == CompareOutcome::Equal)
            hash = mine.first.contentHash;
        return outcome;
    }
    ReadOnlyFile* file = readable(mine.path, mine.first, mine.size, mine.file);
    if (file == nullptr)
        return CompareOutcome::FirstFailed;
    return compareFiles(*file, *theirs, mine.size, hash, control(), stats, buffers);
}

bool DuplicateFinder::Impl::decideAgainstOnly(PrefixSet& set, Candidate& mine) {
    // One candidate: comparing reads each file once, and stops at the first difference.
    const std::size_t only = set.classes[0];
    ContentHash hash;
    switch (compareWithClass(mine, only, hash)) {
    case CompareOutcome::Equal:
        if (stopped())
            return true;
        if (!classes[only].hashKnown) {
            classes[only].hashKnown = true;
            classes[only].hash = hash;
            rememberClass(only);
        }
        remember(mine.first.identity, mine.first.changedNs, mine.first.prefixHash, hash);
        addMember(groups[classes[only].group], mine.path, currentStat);
        return true;
    case CompareOutcome::Different:
        if (stopped())
            return true;
        if (!mine.small()) {
            // Both hashed whole (from the page cache now), so that a later run tells the two apart
            // by the digests it keeps, without reading either.
            decideByHash(set, mine);
            return true;
        }
        startClass(set, mine.path, mine.order, mine.size, nullptr, currentStat, mine.first);
        return true;
    case CompareOutcome::FirstFailed:
    case CompareOutcome::Stopped:
        return true;
    case CompareOutcome::SecondFailed:
        classes[only].unreadable = true;
        break;
    }
    return false;
}

void DuplicateFinder::Impl::decideByHash(PrefixSet& set, Candidate& mine) {
    ContentHash hash;
    if (mine.small()) {
        hash = mine.first.contentHash;
    } else {
        ReadOnlyFile* file = readable(mine.path, mine.first, mine.size, mine.file);
        if (file == nullptr ||
            wholeFileHash(*file, mine.size, hash, control(), stats, buffers) != ReadOutcome::Done)
            return;
        remember(mine.first.identity, mine.first.changedNs, mine.first.prefixHash, hash);
    }
    if (!registerAll(set, mine.size))
        return;
    if (const auto found = set.byHash.find(hash); found != set.byHash.end()) {
        const std::vector<std::size_t> candidates = found->second;
        for (const std::size_t candidate : candidates) {
            if (classes[candidate].unreadable)
                continue;
            ContentHash confirmed;
            const CompareOutcome same = compareWithClass(mine, candidate, confirmed);
            if (same == CompareOutcome::Equal) {
                if (stopped())
                    return;
                addMember(groups[classes[candidate].group], mine.path, currentStat);
                return;
            }
            if (same == CompareOutcome::FirstFailed || same == CompareOutcome::Stopped)
                return;
            if (same == CompareOutcome::SecondFailed)
                classes[candidate].unreadable = true;
        }
    }
    if (stopped())
        return;
    startClass(set, mine.path, mine.order, mine.size, &hash, currentStat, mine.first);
}

void DuplicateFinder::Impl::collectByContent(const std::string& path, std::uint64_t size,
                                             std::uint64_t order) {
    if (stopped())
        return;
    SizeBucket& bucket = bucketOf(size);
    if (!bucketReady(bucket, path, size, order))
        return;
    // A small file is read once, whole, and compared in memory; a larger one is read on from
    // the opening of its prefix.
    Candidate mine{path, size, order, {}, nullptr};
    mine.first = firstReadOf(path, order, size, &mine.file, currentStat, currentKept);
    if (mine.first.fromCache) {
        if (decideFromCache(bucket, mine))
            return;
        showReading(path, size);
        mine.first = readHere(path, size, &mine.file);
    }
    if (mine.first.outcome != ReadOutcome::Done)
        return; // cannot be read: dropped
    PrefixSet& set = prefixSetOf(bucket, size, mine.first.prefixHash);
    if (set.classes.empty()) {
        if (stopped())
            return;
        startClass(set, path, order, size, nullptr, currentStat, mine.first);
        return;
    }
    if (set.classes.size() == 1 && !classes[set.classes[0]].unreadable && decideAgainstOnly(set, mine))
        return;
    decideByHash(set, mine);
}

} // namespace karv
