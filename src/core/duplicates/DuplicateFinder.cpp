#include "duplicates/DuplicateFinder.h"

#include "duplicates/ContentCompare.h"
#include "duplicates/ContentSimilarity.h"
#include "duplicates/ReadAhead.h"
#include "duplicates/Similarity.h"
#include "text/NameText.h"
#include "text/TextLoader.h"
#include "values/FileFacts.h"
#include "values/Numbers.h"
#include "values/ValueText.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

namespace karv {

namespace {

// Above this the prepared texts of first members are rebuilt when needed instead of kept.
constexpr std::size_t kPreparedCacheBytes = std::size_t{256} << 20;
// Files collected before the first of them is decided: how far the reading runs ahead.
constexpr std::size_t kReadAheadFiles = 64;
// Bytes of small first members kept in memory, so their later copies need not read them again.
constexpr std::size_t kKeptContentBytes = std::size_t{64} << 20;

} // namespace

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

    // Content mode: the distinct contents met among the files of one size and one prefix.
    struct ContentClass {
        std::size_t group = 0;
        bool hashKnown = false;
        bool unreadable = false; // its first member could no longer be read: nothing can join it
        ContentHash hash;
        // The first member's bytes as read (small files, within a budget). They, and the file
        // itself, stand for the class only while the file still looks as it did when first read.
        bool kept = false;
        std::string content;
        FileIdentity identity; // the first member when it was first read
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
    };
    struct SizeBucket {
        std::optional<Pending> pending; // the first file of this size, not read yet
        std::unordered_map<std::uint64_t, PrefixSet> byPrefix;
        std::uint8_t seen = 0;          // files of this size queued so far, counted up to 2
        std::uint64_t firstOrdinal = 0; // the first of them
    };
    struct Queued {
        std::string path;
        std::uint64_t size = 0;
        std::uint64_t order = 0;
        std::optional<FileStat> stat;
    };

    const ScanOptions& options;
    const RunContext* context; // null until a run hands it
    std::vector<Group> groups;
    std::vector<ContentClass> classes;
    std::unordered_map<std::uint64_t, SizeBucket> bySize;
    std::unordered_map<std::string, std::size_t> byKey;
    // Every file collected so far, by device and inode: a file reached again (a link to it, a
    // folder link, a second fitting pattern, a hard link) is the same file, not a copy of it.
    std::set<std::pair<std::uint64_t, std::uint64_t>> collected;
    std::map<std::size_t, std::vector<std::size_t>> byNameLength; // element count -> groups
    std::uint64_t ordinal = 0;
    int nameThreshold = 0;
    bool judgeContent = false;
    ReadStats stats;
    ReadBuffers buffers;
    std::size_t preparedCacheBytes = 0;
    std::size_t keptContentBytes = 0;
    std::optional<FileStat> currentStat;                          // of the file being collected
    std::deque<Queued> queued;                                    // content mode: collected, not decided yet
    std::unordered_map<std::uint64_t, ReadAhead::Ticket> tickets; // first reads asked for, by ordinal
    std::unique_ptr<ReadAhead> readAhead; // last: its worker ends before the rest goes

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

    void showReading(const std::string& path, std::uint64_t size) {
        if (context == nullptr)
            return;
        RunProgress now{RunStage::Comparing, 0, 0, path};
        now.bytes = size;
        context->progress.progress(now);
    }

    // --- content mode -------------------------------------------------------------------------

    std::size_t newClass(PrefixSet& set, const std::string& path, std::uint64_t order, std::uint64_t size,
                         const ContentHash* hash, const std::optional<FileStat>& stat) {
        const std::size_t group =
            newGroup(std::to_string(size) + "#" + std::to_string(classes.size()), path, order, stat);
        ContentClass content;
        content.group = group;
        if (hash != nullptr) {
            content.hashKnown = true;
            content.hash = *hash;
        }
        classes.push_back(content);
        set.classes.push_back(classes.size() - 1);
        // Keep the hash index complete when every earlier class is already in it.
        if (hash != nullptr && set.registered + 1 == set.classes.size()) {
            set.byHash[*hash].push_back(classes.size() - 1);
            ++set.registered;
        }
        return group;
    }

    const std::string& representative(std::size_t content) {
        return groups[classes[content].group].members.front();
    }

    void keep(std::size_t content, FirstRead& first) {
        if (keptContentBytes + first.bytes.size() > kKeptContentBytes)
            return;
        keptContentBytes += first.bytes.size();
        ContentClass& target = classes[content];
        target.kept = true;
        target.content = std::move(first.bytes);
    }

    /// A class's first member opened again, only while it is still the file that was read for it
    /// (same identity, size and last write). One written to since no longer holds the content its
    /// group was formed on: another file equal to its new bytes must not join that group. Reading
    /// it checks at the end that it did not change meanwhile.
    std::unique_ptr<ReadOnlyFile> openFirstMember(std::size_t content) {
        auto file = std::make_unique<ReadOnlyFile>(representative(content));
        if (!file->isOpen() || file->identity() != classes[content].identity)
            return nullptr;
        ++stats.filesOpened;
        return file;
    }

    /// The kept bytes of a class's first member, while that file is still the one that was read;
    /// otherwise it has to be read again.
    const std::string* keptContent(std::size_t content) {
        ContentClass& candidate = classes[content];
        if (!candidate.kept)
            return nullptr;
        const std::optional<FileStat> now = statFile(representative(content));
        if (now && !now->isDirectory &&
            FileIdentity{now->device, now->inode, now->size, now->modifiedNs} == candidate.identity)
            return &candidate.content;
        keptContentBytes -= candidate.content.size();
        candidate.kept = false;
        std::string().swap(candidate.content);
        return nullptr;
    }

    /// The first read of a file: from the read-ahead when it was asked for, else done here (and the
    /// file left open in `file` for further reading).
    FirstRead firstReadOf(const std::string& path, std::uint64_t order, std::uint64_t size,
                          std::unique_ptr<ReadOnlyFile>* file) {
        FirstRead first;
        if (const auto ticket = tickets.find(order); ticket != tickets.end()) {
            const ReadAhead::Ticket job = std::move(ticket->second);
            tickets.erase(ticket);
            first = readAhead->take(job);
        } else {
            auto opened = std::make_unique<ReadOnlyFile>(path);
            first = readFirst(*opened, size);
            if (file != nullptr)
                *file = std::move(opened);
        }
        stats += first.stats;
        return first;
    }

    /// The file open for reading on: the one of the first read, or opened again if it is still the
    /// file that was read then. Null when it can no longer be read as that file.
    static ReadOnlyFile* readable(const std::string& path, const FirstRead& first, std::uint64_t size,
                                  std::unique_ptr<ReadOnlyFile>& file) {
        if (!file) {
            file = std::make_unique<ReadOnlyFile>(path);
            if (!file->isOpen() || file->size() != size || file->identity() != first.identity)
                return nullptr;
        }
        return file->isOpen() ? file.get() : nullptr;
    }

    /// Gives a file whose first read went well a class of its own in `set`.
    void startClass(PrefixSet& set, const std::string& path, std::uint64_t order, std::uint64_t size,
                    const ContentHash* hash, const std::optional<FileStat>& stat, FirstRead& first) {
        // A small file's content hash came with its bytes.
        const bool small = size <= kWholeReadBytes;
        newClass(set, path, order, size, small ? &first.contentHash : hash, stat);
        classes.back().identity = first.identity;
        if (small)
            keep(classes.size() - 1, first);
    }

    /// Reads the prefix of a file of the bucket's size and gives it its own class; false when it
    /// cannot be read.
    bool settlePending(SizeBucket& bucket, std::uint64_t size) {
        const Pending pending = *bucket.pending;
        bucket.pending.reset();
        showReading(pending.path, size);
        FirstRead first = firstReadOf(pending.path, pending.ordinal, size, nullptr);
        if (first.outcome != ReadOutcome::Done)
            return false;
        startClass(bucket.byPrefix[first.prefixHash], pending.path, pending.ordinal, size, nullptr,
                   pending.stat, first);
        return true;
    }

    /// Hashes every class of the set that is not in its hash index yet. False on a stop.
    bool registerAll(PrefixSet& set, std::uint64_t size) {
        while (set.registered < set.classes.size()) {
            ContentClass& content = classes[set.classes[set.registered]];
            if (!content.hashKnown && !content.unreadable) {
                const std::size_t index = set.classes[set.registered];
                showReading(representative(index), size);
                ContentHash hash;
                const std::unique_ptr<ReadOnlyFile> theirs = openFirstMember(index);
                const ReadOutcome outcome =
                    theirs ? wholeFileHash(*theirs, size, hash, control(), stats, buffers)
                           : ReadOutcome::Failed;
                if (outcome == ReadOutcome::Stopped)
                    return false;
                ContentClass& again = classes[index];
                if (outcome == ReadOutcome::Failed) {
                    again.unreadable = true;
                } else {
                    again.hashKnown = true;
                    again.hash = hash;
                }
            }
            const ContentClass& done = classes[set.classes[set.registered]];
            if (done.hashKnown)
                set.byHash[done.hash].push_back(set.classes[set.registered]);
            ++set.registered;
        }
        return true;
    }

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
    bool bucketReady(SizeBucket& bucket, const std::string& path, std::uint64_t size, std::uint64_t order) {
        if (!bucket.pending && bucket.byPrefix.empty()) {
            // A size met once can never form a group: nothing is read until a second file has it.
            bucket.pending = Pending{path, order, currentStat};
            return false;
        }
        if (bucket.pending && !settlePending(bucket, size) && bucket.byPrefix.empty()) {
            bucket.pending = Pending{path, order, currentStat};
            return false;
        }
        return true;
    }

    /// Compares the candidate with the first member of a class; on Equal, `hash` is their content
    /// hash.
    CompareOutcome compareWithClass(Candidate& mine, std::size_t content, ContentHash& hash) {
        if (mine.small()) {
            if (const std::string* theirs = keptContent(content)) {
                if (*theirs != mine.first.bytes)
                    return CompareOutcome::Different;
                hash = mine.first.contentHash;
                return CompareOutcome::Equal;
            }
        }
        const std::unique_ptr<ReadOnlyFile> theirs = openFirstMember(content);
        if (!theirs)
            return CompareOutcome::SecondFailed;
        if (mine.small()) {
            const CompareOutcome outcome = compareWithFile(mine.first.bytes, *theirs, stats, buffers);
            if (outcome == CompareOutcome::Equal)
                hash = mine.first.contentHash;
            return outcome;
        }
        ReadOnlyFile* file = readable(mine.path, mine.first, mine.size, mine.file);
        if (file == nullptr)
            return CompareOutcome::FirstFailed;
        return compareFiles(*file, *theirs, mine.size, hash, control(), stats, buffers);
    }

    /// Joins the set's one class, or starts a second; false when the search must go on as with
    /// several candidates (the class's first member could not be read).
    bool decideAgainstOnly(PrefixSet& set, Candidate& mine) {
        // One candidate: comparing reads each file once, and stops at the first difference.
        const std::size_t only = set.classes[0];
        ContentHash hash;
        switch (compareWithClass(mine, only, hash)) {
        case CompareOutcome::Equal:
            if (stopped())
                return true;
            classes[only].hashKnown = true;
            classes[only].hash = hash;
            addMember(groups[classes[only].group], mine.path, currentStat);
            return true;
        case CompareOutcome::Different:
            if (stopped())
                return true;
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

    /// Finds the class whose content hash and bytes equal the candidate's among several, or starts
    /// a new one.
    void decideByHash(PrefixSet& set, Candidate& mine) {
        ContentHash hash;
        if (mine.small()) {
            hash = mine.first.contentHash;
        } else {
            ReadOnlyFile* file = readable(mine.path, mine.first, mine.size, mine.file);
            if (file == nullptr ||
                wholeFileHash(*file, mine.size, hash, control(), stats, buffers) != ReadOutcome::Done)
                return;
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

    void collectByContent(const std::string& path, std::uint64_t size, std::uint64_t order) {
        if (stopped())
            return;
        SizeBucket& bucket = bySize[size];
        if (!bucketReady(bucket, path, size, order))
            return;
        showReading(path, size);
        // A small file is read once, whole, and compared in memory; a larger one is read on from
        // the opening of its prefix.
        Candidate mine{path, size, order, {}, nullptr};
        mine.first = firstReadOf(path, order, size, &mine.file);
        if (mine.first.outcome != ReadOutcome::Done)
            return; // cannot be read: dropped
        PrefixSet& set = bucket.byPrefix[mine.first.prefixHash];
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

    // --- read-ahead ---------------------------------------------------------------------------

    void ask(const std::string& path, std::uint64_t size, std::uint64_t order) {
        if (!readAhead)
            readAhead = std::make_unique<ReadAhead>();
        tickets.emplace(order, readAhead->submit(path, size));
    }

    /// Queues a file for the content search; its first read starts on the second thread as soon as
    /// a second file of its size is known, and files are decided in walk order a few files later.
    void queueByContent(const std::string& path, std::uint64_t size, std::uint64_t order) {
        SizeBucket& bucket = bySize[size];
        if (bucket.seen == 0) {
            bucket.seen = 1;
            bucket.firstOrdinal = order;
        } else {
            if (bucket.seen == 1) {
                // The first file of this size will be read as well.
                bucket.seen = 2;
                if (bucket.pending) {
                    ask(bucket.pending->path, size, bucket.pending->ordinal);
                } else {
                    const auto first = std::lower_bound(
                        queued.begin(), queued.end(), bucket.firstOrdinal,
                        [](const Queued& entry, std::uint64_t wanted) { return entry.order < wanted; });
                    if (first != queued.end() && first->order == bucket.firstOrdinal)
                        ask(first->path, size, first->order);
                }
            }
            ask(path, size, order);
        }
        queued.push_back(Queued{path, size, order, currentStat});
        while (queued.size() > kReadAheadFiles)
            decideNext();
    }

    void decideNext() {
        Queued next = std::move(queued.front());
        queued.pop_front();
        currentStat = std::move(next.stat);
        collectByContent(next.path, next.size, next.order);
    }

    /// Decides the files still queued, or after a stop drops them.
    void drain() {
        while (!queued.empty() && !stopped())
            decideNext();
        queued.clear();
        tickets.clear();
    }

    // --- name mode ----------------------------------------------------------------------------

    std::shared_ptr<const PreparedText> preparedOf(const std::string& path) {
        const std::function<void()> eventPump = [this] {
            pump();
        };
        LoadedText loaded = loadFileText(path, eventPump);
        return std::make_shared<const PreparedText>(
            ContentSimilarity::prepare(std::move(loaded.text), eventPump));
    }

    /// Whether the texts of the group's first member and of `path` are similar enough; no value
    /// when a stop arrived meanwhile.
    std::optional<bool> contentSimilarEnough(std::size_t groupIndex, const std::string& path,
                                             std::shared_ptr<const PreparedText>& mine) {
        if (!mine)
            mine = preparedOf(path);
        std::shared_ptr<const PreparedText> theirs = groups[groupIndex].prepared;
        if (!theirs) {
            theirs = preparedOf(groups[groupIndex].members.front());
            const std::size_t bytes = theirs->text.size();
            if (preparedCacheBytes + bytes <= kPreparedCacheBytes) {
                preparedCacheBytes += bytes;
                groups[groupIndex].prepared = theirs;
            }
        }
        pump();
        if (stopped())
            return std::nullopt;
        const std::optional<int> value = ContentSimilarity::compare(*theirs, *mine, [this] {
            pump();
            return !stopped();
        });
        if (!value)
            return std::nullopt;
        return *value > 60;
    }

    void collectByName(const std::string& path, std::uint64_t order) {
        std::string name = fileNamePart(path);
        const auto exact = byKey.find(name);
        std::size_t limit = exact != byKey.end() ? exact->second : groups.size();
        const bool similar = nameThreshold >= 1 && nameThreshold <= 100;
        if (similar && limit > 0) {
            // The first group in creation order whose first member's name is similar enough.
            const NameProfile mine = nameProfile(displayText(name));
            std::shared_ptr<const PreparedText> myText;
            const std::size_t nb = mine.count();
            for (auto& [length, members] : byNameLength) {
                const std::size_t common = std::min(length, nb);
                if (similarityPercent(common, length, nb) < nameThreshold)
                    continue; // lengths alone rule the threshold out
                std::size_t needed = 0;
                while (needed <= common && similarityPercent(needed, length, nb) < nameThreshold)
                    ++needed;
                for (const std::size_t index : members) {
                    if (index >= limit)
                        break;
                    const NameProfile& theirs = groups[index].firstName;
                    if (commonElementsBound(theirs, mine) < needed)
                        continue;
                    if (similarityPercent(commonElements(theirs, mine), length, nb) < nameThreshold)
                        continue;
                    if (judgeContent) {
                        const std::optional<bool> enough = contentSimilarEnough(index, path, myText);
                        if (!enough)
                            return; // stopped: the file is not added, the walk ends
                        if (!*enough)
                            continue;
                    }
                    limit = index;
                    break;
                }
            }
        }
        if (limit < groups.size()) {
            addMember(groups[limit], path, currentStat);
            return;
        }
        NameProfile profile = nameProfile(displayText(name));
        const std::size_t length = profile.count();
        const std::size_t index = newGroup(name, path, order, currentStat);
        groups[index].firstName = std::move(profile);
        byKey.emplace(std::move(name), index);
        byNameLength[length].push_back(index);
    }
};

DuplicateFinder::DuplicateFinder(const ScanOptions& options) : m(std::make_unique<Impl>(options, nullptr)) {}

DuplicateFinder::~DuplicateFinder() = default;

void DuplicateFinder::clear() {
    const ScanOptions& options = m->options;
    const RunContext* context = m->context;
    m = std::make_unique<Impl>(options, context);
}

void DuplicateFinder::setRunContext(const RunContext& context) {
    m->context = &context;
}

void DuplicateFinder::beginFolder(const std::string& /*folder*/) {
    const ScanOptions& options = m->options;
    m->nameThreshold = 0;
    m->judgeContent = false;
    if (options.duplicateKind() != DuplicateKind::Name || !options.similarity())
        return;
    const double value = leadingNumber(options.similarityText());
    // The integer value of the box; anything beyond 0..101 acts like its end of that range.
    m->nameThreshold = value <= 0 ? 0 : value >= 101 ? 101 : static_cast<int>(value);
    m->judgeContent = m->nameThreshold >= 1 && options.judgeContent();
}

void DuplicateFinder::collect(const std::string& path, const FileVerdict& verdict) {
    collectDuplicate(path, verdict.size, verdict.stat);
}

void DuplicateFinder::collectDuplicate(const std::string& path, std::uint64_t size,
                                       const std::optional<FileStat>& knownStat) {
    const std::uint64_t order = m->ordinal++;
    std::optional<FileStat> stat = knownStat;
    if (!stat)
        stat = statFile(path);
    // Listed as its own duplicate, the only copy of a file would be offered for deletion.
    if (stat && !m->collected.emplace(stat->device, stat->inode).second)
        return;
    m->currentStat = stat;
    switch (m->options.duplicateKind()) {
    case DuplicateKind::Md5:
    case DuplicateKind::Size: {
        // The size as it is now; a file that cannot be stat'ed cannot be read either.
        if (!stat)
            return;
        if (size == 0 || size != stat->size)
            size = stat->size;
        if (m->options.duplicateKind() == DuplicateKind::Md5) {
            m->queueByContent(path, size, order);
            return;
        }
        auto [found, inserted] = m->byKey.try_emplace(std::to_string(size), m->groups.size());
        if (inserted)
            m->newGroup(found->first, path, order, stat);
        else
            Impl::addMember(m->groups[found->second], path, stat);
        return;
    }
    case DuplicateKind::Name:
        m->collectByName(path, order);
        return;
    }
}

bool DuplicateFinder::output(FilterRun& run) {
    return outputDuplicates(run);
}

bool DuplicateFinder::outputDuplicates(FilterRun& run) {
    m->drain();
    bool cut = m->stopped();
    // A stop during the last decisions still lets the groups be listed; a further stop ends that.
    if (m->context != nullptr)
        m->context->stop.reset();
    std::vector<const Impl::Group*> listed;
    for (const Impl::Group& group : m->groups) {
        if (group.members.size() >= 2)
            listed.push_back(&group);
    }
    // Groups appear in the order their first members were met.
    std::stable_sort(listed.begin(), listed.end(), [](const Impl::Group* a, const Impl::Group* b) {
        return a->firstOrdinal < b->firstOrdinal;
    });
    const DuplicateOutput mode = m->options.duplicateOutput();
    for (const Impl::Group* group : listed) {
        m->pump();
        const std::size_t count = mode == DuplicateOutput::One         ? 1
                                  : mode == DuplicateOutput::AllButOne ? group->members.size() - 1
                                                                       : group->members.size();
        for (std::size_t i = 0; i < count; ++i)
            run.addResultRow(group->members[i], 0, 0, std::string(), group->memberStats[i]);
        if (m->stopped()) {
            cut = true;
            break;
        }
    }
    return cut;
}

const ReadStats& DuplicateFinder::readStats() const {
    return m->stats;
}

} // namespace karv
