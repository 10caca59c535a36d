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

void StatisticsRun::runStatistics() {
    if (m_host.runCaption() != kStatisticsIdleCaption) {
        m_stop = true;
        return;
    }
    m_host.saveControlStates();
    m_stop = false;
    m_visited = 0;
    m_host.setRunCaption(kStatisticsStartingCaption);
    m_host.clearRows();
    m_host.setCaptionLeftAligned(true);

    m_recurse = m_host.recurse();
    m_fileThreshold = thresholdValue(m_host.fileThresholdOn(), m_host.fileThresholdText());
    m_folderThreshold = thresholdValue(m_host.folderThresholdOn(), m_host.folderThresholdText());
    // An empty box means the root, as it meant the current drive's root.
    const std::string folder = m_host.folderText();
    countFolder(folder.empty() ? "/" : folder);

    m_host.setCaptionLeftAligned(false);
    m_host.setRunCaption(kStatisticsIdleCaption);
}

void StatisticsRun::countFolder(const std::string& folder) {
    OpenFolders open;
    open.openRoot(folder);
    std::string path = folder;
    countOpenFolder(open, path);
}

void StatisticsRun::countOpenFolder(OpenFolders& open, std::string& folder) {
    m_host.pump();
    m_host.setRunCaption(std::string(kStatisticsReadingCaption) + displayText(folder));
    if (open.loops())
        return; // a folder mounted inside itself: counting it again would never end
    ++m_visited;

    // One read of the folder serves both counts; the pattern list is read again for every folder.
    // A stop that arrives while a large folder is read drops that folder at once; one that came
    // before it is read still lets a small folder be counted, as the run always did.
    bool dropped = false;
    const KeepGoing keepGoing = [this, &dropped] {
        m_host.pump();
        dropped = m_stop;
        return !m_stop;
    };
    std::vector<DirectoryEntry> entries = listDirectory(open.current(), keepGoing);
    const std::uint64_t files =
        dropped ? 0 : countEntries(entries, parsePatternList(m_host.patternList()), false, keepGoing);
    if (dropped)
        return;
    const auto folders =
        static_cast<std::uint64_t>(std::count_if(entries.begin(), entries.end(), [](const DirectoryEntry& e) {
            return e.kind == DirectoryEntry::Kind::Folder;
        }));

    const bool filesOk = m_fileThreshold <= 0 || files >= static_cast<std::uint64_t>(m_fileThreshold);
    const bool foldersOk = m_folderThreshold <= 0 || folders >= static_cast<std::uint64_t>(m_folderThreshold);
    if (filesOk && foldersOk) {
        m_host.appendRow({withTrailingSlash(folder), files, folders});
        m_host.setHeaderCount(m_host.rowCount());
    }

    if (m_stop || !m_recurse)
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
        if (m_stop)
            return;
    }
}

} // namespace karv
