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

FilterRun::FilterRun(AppState& state, FilterRunHost& host) : m_state(state), m_host(host) {}

void FilterRun::setFilterStage(FileFilterStage* stage) {
    m_filter = stage;
    if (stage == nullptr)
        return;
    stage->setEventPump([this] { m_host.pump(); });
    stage->setStopPoll([this] {
        m_host.pump();
        return m_state.operationIdle;
    });
}

void FilterRun::startOrStopRun() {
    if (m_host.startCaption() != kIdleCaption) {
        m_host.setStartCaption(kStoppingCaption);
        m_state.operationIdle = true;
        return;
    }
    m_host.saveControlStates();
    if (!m_state.operationIdle) {
        m_host.showMessage(kBusyMessage);
        return;
    }
    const std::string folder = m_host.chooseFolder(kChooseFolderPrompt, m_host.startTag());
    if (folder.empty())
        return;
    runOn(folder);
}

void FilterRun::runOn(const std::string& chosen) {
    // "/data//" is the folder "/data": one spelling for the level count and for the row paths.
    std::string folder = chosen;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    m_state.scanRoot = folder;
    m_state.scanStartTick = m_host.tickMs();
    m_host.setStartTag(folder);
    m_host.setStartCaption(kRunningCaption);
    m_state.operationIdle = false;
    m_host.updateEnabling();
    walk();
    finish();
}

void FilterRun::walk() {
    const ScanOptions& options = m_host.options();
    m_state.contentFilterText = options.contentText();
    m_state.contentTerms.clear();
    m_state.expressionLimitFiles = 0;
    m_state.expressionLimitFirst.clear();
    if (options.contentFilter() && options.matchMode() == MatchMode::Plain)
        m_state.contentTerms = splitContentTerms(m_state.contentFilterText); // empty terms stay
    m_host.results().clear();
    if (m_duplicates != nullptr)
        m_duplicates->clear();
    m_visited.clear();
    scanDirectory(m_state.scanRoot);

    if (options.duplicateFilter() && m_duplicates != nullptr) {
        // A stopped walk still lists the groups found so far; a second stop ends the listing.
        if (m_state.operationIdle)
            m_state.operationIdle = false;
        m_duplicates->output(*this);
    }
}

void FilterRun::finish() {
    const std::size_t rows = m_host.results().count();
    std::string status = "筛选完毕！共筛选出 " + std::to_string(rows) + " 个文件，耗时 " +
                         elapsedText(m_host.tickMs() - m_state.scanStartTick) + "。请单击按钮操作列表！";
    // A "no match" that was really a search given up must not pass silently.
    if (m_state.expressionLimitFiles > 0)
        status += " 注意：有 " + std::to_string(m_state.expressionLimitFiles) +
                  " 个文件的表达式匹配超出计算上限，已按不匹配处理（第一个：" +
                  displayText(m_state.expressionLimitFirst) + "）。";
    m_host.setStatusText(status);
    m_host.setStartCaption(kIdleCaption);
    m_host.updateEnabling();
    m_state.operationIdle = true;
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

namespace {

std::string childPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace

void FilterRun::scanDirectory(const std::string& folder) {
    OpenFolders open;
    open.openRoot(folder);
    std::string path = folder;
    scanOpenFolder(open, path);
}

void FilterRun::scanOpenFolder(OpenFolders& open, std::string& folder) {
    // Entered once per run: with links followed, cross links would otherwise multiply the walk.
    if (open.known() && !m_visited.emplace(open.device(), open.inode()).second)
        return;

    const ScanOptions& options = m_host.options();
    // Named before the folder is read, so the status shows it while a huge folder is listed.
    m_state.statusActivity = "正在筛选：" + displayText(folder);
    const KeepGoing keepGoing = [this] {
        m_host.pump();
        return !m_state.operationIdle;
    };
    // One read of the folder serves both the files and the sub-folders.
    std::vector<DirectoryEntry> entries = listDirectory(open.current(), keepGoing);
    if (m_state.operationIdle)
        return;
    std::vector<std::size_t> files =
        selectIndices(entries, parsePatternList(options.patternList()), false, keepGoing);
    if (m_state.operationIdle)
        return;
    // A folder without a file to filter is still a point where a stop is seen, so a walk in which
    // nothing fits the patterns can be stopped too.
    if (files.empty()) {
        m_host.pump();
        if (m_state.operationIdle)
            return;
    }

    if (m_filter != nullptr)
        m_filter->beginFolder(folder);
    if (m_duplicates != nullptr && options.duplicateFilter())
        m_duplicates->beginFolder(folder);
    statusRefresh();

    // Paths are made one at a time: a folder of a million files holds its names, not its paths.
    for (const std::size_t index : files) {
        const std::string path = childPath(folder, entries[index].name);
        m_host.pump();
        // A stop clicked while events were handled ends the walk before another file is read: that
        // file could take seconds.
        if (m_state.operationIdle)
            return;
        FileVerdict verdict = m_filter != nullptr ? m_filter->filterFile(path) : FileVerdict{};
        if (verdict.pass && verdict.decided) {
            if (options.duplicateFilter() && m_duplicates != nullptr)
                m_duplicates->collect(path, verdict);
            else
                addResultRow(path, verdict.size, verdict.contentCount, verdict.timeText, verdict.stat);
        }
        if (m_state.operationIdle)
            return;
    }

    const TraversalScope scope = options.scope();
    if (scope == TraversalScope::ThisFolder)
        return;
    if (scope == TraversalScope::Levels) {
        const double levels = std::trunc(leadingNumber(options.levelsText())); // "2.9" is 2 levels
        if (static_cast<double>(folderDepth(m_state.scanRoot, folder)) >= levels)
            return;
    }
    if (m_state.operationIdle)
        return;

    // Links to folders are not followed unless asked (as find and the duplicate finders do): the
    // walk stays inside the chosen tree and always ends.
    std::vector<DirectoryEntry> subfolders;
    for (DirectoryEntry& entry : entries) {
        if (entry.kind == DirectoryEntry::Kind::Folder && (!entry.link || options.followFolderLinks()))
            subfolders.push_back(std::move(entry));
    }
    // The folder's names are not needed while its sub-folders are walked.
    std::vector<DirectoryEntry>().swap(entries);
    std::vector<std::size_t>().swap(files);

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
        if (m_state.operationIdle)
            return;
    }
}

void FilterRun::addResultRow(const std::string& path, std::uint64_t size, std::uint64_t contentCount,
                             const std::string& timeText, const std::optional<FileStat>& knownStat) {
    // One stat serves the size and the times.
    std::optional<FileStat> stat = knownStat;
    bool statRead = stat.has_value();
    auto fileStat = [&]() -> const std::optional<FileStat>& {
        if (!statRead) {
            stat = statFile(path);
            statRead = true;
        }
        return stat;
    };

    if (size == 0 && fileStat())
        size = stat->size;

    ResultRow row;
    row.name = fileNamePart(path);
    row.itemValue = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    row.sizeText = sizeText(size);

    const ScanOptions& options = m_host.options();
    std::string time = timeText;
    if (options.timeFilter()) {
        if (time.empty() && fileStat()) {
            const FileTimes times = fileTimesText(*stat);
            const TimeKind kind = options.timeKind();
            time = kind == TimeKind::Created    ? times.created
                   : kind == TimeKind::Accessed ? times.accessed
                                                : times.modified;
        }
        // An unreadable file has no time; it keeps an empty text rather than a made-up date.
        if (const auto parsed = parseDateTimeText(time))
            time = dateTimeText(*parsed, options.timePart());
    } else if (time.empty() && fileStat()) {
        time = dateTimeText(localDateTime(stat->modified), DateTimeMode::Both);
    }
    row.timeText = std::move(time);
    row.countText = groupedCountText(contentCount);
    row.folder = folderPart(path) + "/";
    if (fileStat()) {
        // Rows come folder by folder: one look at each folder serves all of its rows.
        if (!m_stampedFolder || row.folder != m_stampedFolderPath) {
            m_stampedFolderPath = row.folder;
            m_stampedFolder = statFile(row.folder);
        }
        row.stamp = m_stampedFolder && m_stampedFolder->isDirectory ? rowStamp(*stat, *m_stampedFolder)
                                                                    : rowStamp(*stat);
    }
    m_host.results().append(std::move(row));
}

void FilterRun::statusRefresh() {
    const std::string elapsed = elapsedText(m_host.tickMs() - m_state.scanStartTick);
    if (m_host.startCaption() == kIdleCaption)
        return;
    m_host.scrollToLastRow();
    m_host.setStatusText("(" + elapsed + ") " + m_state.statusActivity);
}

} // namespace karv
