#include "stats/FolderStatistics.h"

#include "scan/Enumerate.h"
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
    m_ancestry.clear();
    // An empty box means the root, as it meant the current drive's root.
    const std::string folder = m_host.folderText();
    countFolder(folder.empty() ? "/" : folder);

    m_host.setCaptionLeftAligned(false);
    m_host.setRunCaption(kStatisticsIdleCaption);
}

void StatisticsRun::countFolder(const std::string& folder) {
    m_host.pump();
    m_host.setRunCaption(std::string(kStatisticsReadingCaption) + displayText(folder));
    if (!m_ancestry.enter(folder))
        return; // a link back up the tree: counting it again would never end
    struct Leave {
        FolderAncestry& ancestry;
        ~Leave() { ancestry.leave(); }
    } leave{m_ancestry};
    ++m_visited;

    // One read of the folder serves both counts; the pattern list is read again for every folder.
    const std::vector<DirectoryEntry> entries = listDirectory(folder);
    const std::uint64_t files = countEntries(entries, parsePatternList(m_host.patternList()), false);
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
    const std::string prefix = withTrailingSlash(folder);
    std::vector<std::string> subfolders;
    subfolders.reserve(folders);
    for (const DirectoryEntry& entry : entries)
        if (entry.kind == DirectoryEntry::Kind::Folder && !entry.link)
            subfolders.push_back(prefix + entry.name);
    for (const std::string& subfolder : subfolders) {
        countFolder(subfolder);
        if (m_stop)
            return;
    }
}

} // namespace karv
