#include "duplicates/DuplicateFinder.h"

#include "duplicates/ContentSimilarity.h"
#include "duplicates/DuplicateSearchState.h"
#include "duplicates/KeepRule.h"
#include "text/NameText.h"
#include "text/TextLoader.h"
#include "values/Numbers.h"
#include "values/ValueText.h"

#include <algorithm>

namespace karv {

namespace {

// Above this the prepared texts of first members are rebuilt when needed instead of kept.
constexpr std::size_t kPreparedCacheBytes = std::size_t{256} << 20;
// Files collected before the first of them is decided: how far the reading runs ahead.
constexpr std::size_t kReadAheadFiles = 64;

} // namespace

void DuplicateFinder::Impl::ask(const std::string& path, std::uint64_t size, std::uint64_t order,
                                const std::optional<FileStat>& stat, std::shared_ptr<const OpenFolder> folder,
                                const CacheLookup& kept) {
    if (cache && cachedRead(stat, kept))
        return; // nothing to read
    if (!readAhead)
        readAhead = std::make_unique<ReadAhead>();
    ListedState listed;
    if (stat)
        listed = {{stat->device, stat->inode, stat->size, stat->modifiedNs}, stat->changedNs};
    tickets.emplace(order, readAhead->submit(path, size, stat ? &listed : nullptr, std::move(folder)));
}

void DuplicateFinder::Impl::queueByContent(const std::string& path, std::uint64_t size, std::uint64_t order,
                                           const std::shared_ptr<const OpenFolder>& folder) {
    if (!cacheFolder.empty() && !cache)
        openCache();
    SizeBucket& bucket = bucketOf(size);
    if (bucket.seen == 0) {
        bucket.seen = 1;
        bucket.firstOrdinal = order;
    } else {
        if (bucket.seen == 1) {
            // The first file of this size will be read as well.
            bucket.seen = 2;
            if (bucket.pending) {
                ask(bucket.pending->path, size, bucket.pending->ordinal, bucket.pending->stat, nullptr,
                    bucket.pending->kept);
            } else {
                const auto first = std::lower_bound(
                    queued.begin(), queued.end(), bucket.firstOrdinal,
                    [](const Queued& entry, std::uint64_t wanted) { return entry.order < wanted; });
                if (first != queued.end() && first->order == bucket.firstOrdinal)
                    ask(first->path, size, first->order, first->stat, first->folder, first->kept);
            }
        }
        ask(path, size, order, currentStat, folder, currentKept);
    }
    queued.push_back(Queued{path, size, order, currentStat, folder, currentKept});
    while (queued.size() > kReadAheadFiles)
        decideNext();
}

void DuplicateFinder::Impl::decideNext() {
    Queued next = std::move(queued.front());
    queued.pop_front();
    currentStat = std::move(next.stat);
    currentKept = next.kept;
    collectByContent(next.path, next.size, next.order);
}

void DuplicateFinder::Impl::drain() {
    if (statAhead && !stopped())
        takeStatted(true);
    statAhead.reset();
    while (!queued.empty() && !stopped())
        decideNext();
    queued.clear();
    tickets.clear();
    // Digests found before a stop are as good as any.
    if (cache)
        cache->save(nowSeconds);
}

std::shared_ptr<const PreparedText> DuplicateFinder::Impl::preparedOf(const std::string& path) {
    const std::function<void()> eventPump = [this] {
        pump();
    };
    LoadedText loaded = loadFileText(path, eventPump);
    return std::make_shared<const PreparedText>(
        ContentSimilarity::prepare(std::move(loaded.text), eventPump));
}

std::optional<bool> DuplicateFinder::Impl::contentSimilarEnough(std::size_t groupIndex,
                                                                const std::string& path,
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

void DuplicateFinder::Impl::collectByName(const std::string& path, std::uint64_t order) {
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

DuplicateFinder::DuplicateFinder(const ScanOptions& options) : m(std::make_unique<Impl>(options, nullptr)) {}

DuplicateFinder::~DuplicateFinder() = default;

void DuplicateFinder::clear() {
    const ScanOptions& options = m->options;
    const RunContext* context = m->context;
    std::string cacheFolder = std::move(m->cacheFolder);
    m = std::make_unique<Impl>(options, context);
    m->cacheFolder = std::move(cacheFolder);
}

void DuplicateFinder::setDigestCacheFolder(std::string folder) {
    m->cacheFolder = std::move(folder);
    m->cache.reset();
}

void DuplicateFinder::setRunContext(const RunContext& context) {
    m->context = &context;
}

void DuplicateFinder::beginFolder(const std::string& folder) {
    const ScanOptions& options = m->options;
    // Its files are stat'ed and read relative to it, while they are near the walk.
    m->currentFolder = std::make_shared<const OpenFolder>(folder);
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
    if (m->options.duplicateKind() == DuplicateKind::Md5 && StatAhead::worthIt()) {
        // Stat'ed on the second core while the walk lists on; collected a little later, in order.
        if (!m->statAhead) {
            if (!m->cacheFolder.empty() && !m->cache)
                m->openCache();
            m->statAhead = std::make_unique<StatAhead>(m->cache.get());
        }
        if (m->statAhead->size() == StatAhead::kSlots)
            m->takeStatted(false);
        // Still full only after a stop: the file would not be decided anyway.
        if (m->statAhead->size() == StatAhead::kSlots)
            return;
        m->statAhead->push({path, size, order, m->currentFolder, knownStat}, knownStat.has_value());
        m->takeStatted(false);
        return;
    }
    m->collectStatted(path, size, order, knownStat ? knownStat : m->statListed(path), m->currentFolder,
                      Impl::CacheLookup{});
}

void DuplicateFinder::Impl::takeStatted(bool all) {
    // Files wait for their status at most this many behind the walk.
    constexpr std::size_t kStatLag = 256;
    while (!stopped()) {
        StatJob* job = statAhead->front(all || statAhead->size() > kStatLag);
        if (job == nullptr)
            return;
        collectStatted(job->path, job->size, job->order, std::move(job->stat), job->folder,
                       {job->looked, job->kept});
        statAhead->pop();
    }
}

void DuplicateFinder::Impl::collectStatted(const std::string& path, std::uint64_t size, std::uint64_t order,
                                           std::optional<FileStat> stat,
                                           const std::shared_ptr<const OpenFolder>& folder,
                                           const CacheLookup& kept) {
    // Listed as its own duplicate, the only copy of a file would be offered for deletion.
    if (stat && !collected.insert(stat->device, stat->inode))
        return;
    currentStat = std::move(stat);
    currentKept = kept;
    switch (options.duplicateKind()) {
    case DuplicateKind::Md5:
    case DuplicateKind::Size: {
        // The size as it is now; a file that cannot be stat'ed cannot be read either.
        if (!currentStat)
            return;
        if (size == 0 || size != currentStat->size)
            size = currentStat->size;
        if (options.duplicateKind() == DuplicateKind::Md5) {
            queueByContent(path, size, order, folder);
            return;
        }
        auto [found, inserted] = byKey.try_emplace(std::to_string(size), groups.size());
        if (inserted)
            newGroup(found->first, path, order, currentStat);
        else
            addMember(groups[found->second], path, currentStat);
        return;
    }
    case DuplicateKind::Name:
        collectByName(path, order);
        return;
    }
}

bool DuplicateFinder::output(RowMaker& rows) {
    return outputDuplicates(rows);
}

bool DuplicateFinder::outputDuplicates(RowMaker& rows) {
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
    const KeepRule rule = m->options.keepRule();
    const ReferenceFolders references(m->options.referenceFolders());
    // Groups formed by size or name hold files whose contents were never compared.
    const bool weak = m->options.duplicateKind() != DuplicateKind::Md5;
    std::uint32_t number = 0;
    for (const Impl::Group* group : listed) {
        m->pump();
        const std::vector<bool> kept = keptMembers(group->members, group->memberStats, rule, references);
        std::vector<std::size_t> shown;
        for (std::size_t i = 0; i < group->members.size(); ++i) {
            if (mode == DuplicateOutput::All || (mode == DuplicateOutput::One && i == 0) ||
                (mode == DuplicateOutput::AllButOne && !kept[i]))
                shown.push_back(i);
        }
        // A group wholly kept lists nothing and takes no number.
        if (!shown.empty())
            ++number;
        for (const std::size_t i : shown)
            rows.add(group->members[i], 0, 0, std::string(), group->memberStats[i], {number, kept[i], weak});
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
