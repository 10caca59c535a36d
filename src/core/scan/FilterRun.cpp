#include "scan/FilterRun.h"

#include "scan/Enumerate.h"
#include "scan/OpenFolders.h"
#include "text/Matching.h"
#include "text/NameText.h"
#include "values/DateTimeText.h"
#include "values/Numbers.h"

#include <algorithm>
#include <cmath>

namespace karv {

void FilterRun::setFilterStage(FileFilterStage* stage) {
    m_filter = stage;
    if (stage != nullptr)
        stage->setRunContext(m_context);
}

void FilterRun::setDuplicateStage(DuplicateStage* stage) {
    m_duplicates = stage;
    if (stage != nullptr)
        stage->setRunContext(m_context);
}

void FilterRun::requestStop() {
    if (m_running)
        m_context.stop.requestStop();
}

std::string FilterRun::rootOf(const std::string& chosen) {
    // One spelling for the level count and for the row paths.
    std::string folder = chosen;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

FilterOutcome FilterRun::run(const FilterRequest& request) {
    const std::string folder = rootOf(request.folder);
    m_options = &request.options;
    m_root = folder;
    m_outcome = FilterOutcome{};
    m_outcome.root = folder;
    m_context.stop.reset();
    m_rows.emplace(request.options, m_sink, request.pathsOnly);
    m_running = true;
    walk();
    finish();
    return m_outcome;
}

void FilterRun::walk() {
    const ScanOptions& options = *m_options;
    if (m_filter != nullptr)
        m_filter->beginRun();
    m_sink.clear();
    if (m_duplicates != nullptr)
        m_duplicates->clear();
    m_visited.clear();
    scanDirectory(m_root);
    m_outcome.stopped = stopped();

    if (options.duplicateFilter() && m_duplicates != nullptr) {
        // A stopped walk still lists the groups found so far; a second stop ends the listing.
        m_context.stop.reset();
        const bool cut = m_duplicates->output(*m_rows);
        m_outcome.stopped = m_outcome.stopped || cut;
    }
}

void FilterRun::finish() {
    const std::size_t rows = m_sink.count();
    m_outcome.succeeded = rows;
    if (m_filter != nullptr)
        m_filter->endRun(m_outcome);
    m_running = false;
}

std::uint64_t FilterRun::folderDepth(const std::string& root, const std::string& folder) {
    std::string_view base = root;
    while (!base.empty() && base.back() == '/')
        base.remove_suffix(1);
    std::string_view relative = folder;
    if (relative.starts_with(base))
        relative.remove_prefix(base.size());
    while (!relative.empty() && relative.back() == '/')
        relative.remove_suffix(1);
    return static_cast<std::uint64_t>(std::count(relative.begin(), relative.end(), '/')) + 1;
}

void FilterRun::scanDirectory(const std::string& folder) {
    OpenFolders open;
    open.openRoot(folder);
    std::string path = folder;
    scanOpenFolder(open, path);
    if (!stopped())
        drainQueued(Drain::All);
    dropQueued();
}

void FilterRun::scanOpenFolder(OpenFolders& open, std::string& folder) {
    // Entered once per run: with links followed, cross links would otherwise multiply the walk.
    if (open.known() && !m_visited.emplace(open.device(), open.inode()).second)
        return;

    m_context.progress.progress({RunStage::Walking, m_outcome.processed, 0, folder});
    std::vector<DirectoryEntry> entries;
    std::vector<std::size_t> files;
    if (!listFolder(open, entries, files))
        return;
    if (!filterFiles(open, ++m_folderSerial, folder, entries, files))
        return;
    if (!goesDeeper(folder) || stopped())
        return;
    // The folder's names are not needed while its sub-folders are walked.
    std::vector<std::size_t>().swap(files);
    walkSubfolders(open, folder, entries);
}

bool FilterRun::listFolder(OpenFolders& open, std::vector<DirectoryEntry>& entries,
                           std::vector<std::size_t>& files) {
    const KeepGoing keepGoing = m_context.keepGoingFn();
    // One read of the folder serves both the files and the sub-folders.
    entries = listDirectory(open.current(), keepGoing);
    if (stopped())
        return false;
    files = selectIndices(entries, parsePatternList(m_options->patternList()), false, keepGoing);
    if (stopped())
        return false;
    // A folder without a file to filter is still a point where a stop is seen, so a walk in which
    // nothing fits the patterns can be stopped too.
    return !files.empty() || m_context.keepGoing();
}

bool FilterRun::filterWindow(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (!filterOne(path))
            return false;
    }
    return true;
}

bool FilterRun::filterOne(const std::string& path) {
    const ScanOptions& options = *m_options;
    // A stop clicked while events were handled ends the walk before another file is read: that
    // file could take seconds.
    if (!m_context.keepGoing())
        return false;
    FileVerdict verdict = m_filter != nullptr ? m_filter->filterFile(path) : FileVerdict{};
    if (verdict.decided)
        ++m_outcome.processed;
    if (verdict.pass && verdict.decided) {
        if (options.duplicateFilter() && m_duplicates != nullptr)
            m_duplicates->collect(path, verdict);
        else
            m_rows->add(path, verdict.size, verdict.contentCount, verdict.timeText, verdict.stat);
    }
    return !stopped();
}

void FilterRun::judgeFolder(std::uint64_t serial, const std::string& folder) {
    m_judgedSerial = serial;
    if (m_filter != nullptr)
        m_filter->beginFolder(folder);
    if (m_duplicates != nullptr && m_options->duplicateFilter())
        m_duplicates->beginFolder(folder);
    m_context.progress.progress({RunStage::Filtering, m_outcome.processed, 0, folder});
}

bool FilterRun::goesDeeper(const std::string& folder) const {
    const ScanOptions& options = *m_options;
    const TraversalScope scope = options.scope();
    if (scope == TraversalScope::ThisFolder)
        return false;
    if (scope == TraversalScope::Levels) {
        const double levels = std::trunc(leadingNumber(options.levelsText())); // "2.9" is 2 levels
        if (static_cast<double>(folderDepth(m_root, folder)) >= levels)
            return false;
    }
    return true;
}

void FilterRun::walkSubfolders(OpenFolders& open, std::string& folder, std::vector<DirectoryEntry>& entries) {
    // Links to folders are not followed unless asked (as find and the duplicate finders do): the
    // walk stays inside the chosen tree and always ends.
    const bool followLinks = m_options->followFolderLinks();
    std::vector<DirectoryEntry> subfolders;
    for (DirectoryEntry& entry : entries) {
        if (entry.kind == DirectoryEntry::Kind::Folder && (!entry.link || followLinks))
            subfolders.push_back(std::move(entry));
    }
    std::vector<DirectoryEntry>().swap(entries);

    // One path text grows and shrinks with the walk: 5,000 levels down, each level does not hold
    // a copy of its own path.
    const std::size_t length = folder.size();
    for (const DirectoryEntry& sub : subfolders) {
        open.enter(sub.name, sub.link);
        if (folder.empty() || folder.back() != '/')
            folder += '/';
        folder += sub.name;
        scanOpenFolder(open, folder);
        open.leave();
        folder.resize(length);
        if (stopped())
            return;
    }
}

} // namespace karv
