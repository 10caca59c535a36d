#include "stats/FolderStatistics.h"

#include "scan/Enumerate.h"
#include "scan/OpenFolders.h"
#include "text/NameText.h"
#include "values/Numbers.h"

#include <algorithm>
#include <vector>

namespace karv {

std::string statisticsLine(const StatisticsRow& row, std::string_view lineEnd) {
    std::string line = displayText(row.folder);
    line += ',';
    line += std::to_string(row.files);
    line += ',';
    line += std::to_string(row.folders);
    line += lineEnd;
    return line;
}

std::int64_t thresholdValue(bool on, std::string_view text) {
    return on ? leadingInteger(text) : 0;
}

std::string statisticsCaption(const RunProgress& now) {
    if (now.stage == RunStage::Starting)
        return std::string(kStatisticsStartingCaption);
    return std::string(kStatisticsReadingCaption) + displayText(now.item);
}

namespace {

/// One run's walk: the request, the context and the counts so far.
class StatisticsWalk {
public:
    StatisticsWalk(const StatisticsRequest& request, const RunContext& context, StatisticsSink& sink)
        : m_request(request), m_context(context), m_sink(sink) {}

    RunOutcome run();

private:
    bool stopped() const { return m_context.stop.stopRequested(); }
    void countOpenFolder(OpenFolders& open, std::string& folder);

    const StatisticsRequest& m_request;
    const RunContext& m_context;
    StatisticsSink& m_sink;
    RunOutcome m_outcome;
};

RunOutcome StatisticsWalk::run() {
    m_context.progress.progress({RunStage::Starting, 0, 0, {}});
    // An empty box means the root, as it meant the current drive's root.
    const std::string folder = m_request.folder.empty() ? "/" : m_request.folder;
    OpenFolders open;
    open.openRoot(folder);
    std::string path = folder;
    countOpenFolder(open, path);
    m_outcome.stopped = stopped();
    return m_outcome;
}

void StatisticsWalk::countOpenFolder(OpenFolders& open, std::string& folder) {
    if (m_context.pump)
        m_context.pump();
    m_context.progress.progress({RunStage::Walking, m_outcome.processed, 0, folder});
    if (open.loops())
        return; // a folder mounted inside itself: counting it again would never end
    ++m_outcome.processed;

    // One read of the folder serves both counts; the pattern list is read again for every folder.
    // A stop that arrives while a large folder is read drops that folder at once; one that came
    // before it is read still lets a small folder be counted, as the run always did.
    bool dropped = false;
    const KeepGoing keepGoing = [this, &dropped] {
        dropped = !m_context.keepGoing();
        return !dropped;
    };
    std::vector<DirectoryEntry> entries = listDirectory(open.current(), keepGoing);
    const std::uint64_t files =
        dropped ? 0 : countEntries(entries, parsePatternList(m_request.patternList()), false, keepGoing);
    if (dropped)
        return;
    const auto folders =
        static_cast<std::uint64_t>(std::count_if(entries.begin(), entries.end(), [](const DirectoryEntry& e) {
            return e.kind == DirectoryEntry::Kind::Folder;
        }));

    const std::int64_t fileThreshold = m_request.fileThreshold;
    const std::int64_t folderThreshold = m_request.folderThreshold;
    const bool filesOk = fileThreshold <= 0 || files >= static_cast<std::uint64_t>(fileThreshold);
    const bool foldersOk = folderThreshold <= 0 || folders >= static_cast<std::uint64_t>(folderThreshold);
    if (filesOk && foldersOk) {
        m_sink.appendRow({withTrailingSlash(folder), files, folders});
        ++m_outcome.succeeded;
    }

    if (stopped() || !m_request.recurse)
        return;
    // Links to folders count as sub-folders but are not entered, as the scan does: a link to "/"
    // or cross links between levels would otherwise make the walk endless or exponential.
    std::vector<std::string> subfolders;
    subfolders.reserve(folders);
    for (DirectoryEntry& entry : entries)
        if (entry.kind == DirectoryEntry::Kind::Folder && !entry.link)
            subfolders.push_back(std::move(entry.name));
    std::vector<DirectoryEntry>().swap(entries);
    // One path text grows and shrinks with the walk, rather than a copy per level.
    const std::size_t length = folder.size();
    for (const std::string& subfolder : subfolders) {
        open.enter(subfolder, false);
        if (folder.empty() || folder.back() != '/')
            folder += '/';
        folder += subfolder;
        countOpenFolder(open, folder);
        open.leave();
        folder.resize(length);
        if (stopped())
            return;
    }
}

} // namespace

RunOutcome runStatistics(const StatisticsRequest& request, const RunContext& context, StatisticsSink& sink) {
    return StatisticsWalk(request, context, sink).run();
}

} // namespace karv
