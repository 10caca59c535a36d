#include "scan/RowMaker.h"

#include "text/NameText.h"
#include "values/DateTimeText.h"
#include "values/Numbers.h"

namespace karv {

void RowMaker::add(const std::string& path, std::uint64_t size, std::uint64_t contentCount,
                   const std::string& timeText, const std::optional<FileStat>& knownStat, RowMark mark) {
    if (m_pathsOnly) {
        ResultRow row;
        row.name = fileNamePart(path);
        row.folder = folderPart(path) + "/";
        row.group = mark.group;
        row.kept = mark.kept;
        row.weakMatch = mark.weakMatch;
        m_sink.append(std::move(row));
        return;
    }
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
    row.shown.size = size;

    const ScanOptions& options = m_options;
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
        if (const auto parsed = parseDateTimeText(time)) {
            time = dateTimeText(*parsed, options.timePart());
            row.shown.time = *parsed;
            row.shown.timeMode = options.timePart();
        }
    } else if (time.empty() && fileStat()) {
        const DateTime modified = localDateTime(stat->modified);
        time = dateTimeText(modified, DateTimeMode::Both);
        row.shown.time = modified;
    }
    row.timeText = std::move(time);
    row.countText = groupedCountText(contentCount);
    row.shown.count = contentCount;
    row.folder = folderPart(path) + "/";
    if (fileStat()) {
        // One look at each folder serves all of its rows, also when they come group by group.
        auto known = m_folderStats.find(row.folder);
        if (known == m_folderStats.end())
            known = m_folderStats.emplace(row.folder, statFile(row.folder)).first;
        const std::optional<FileStat>& folder = known->second;
        row.stamp = folder && folder->isDirectory ? rowStamp(*stat, *folder) : rowStamp(*stat);
    }
    row.group = mark.group;
    row.kept = mark.kept;
    row.weakMatch = mark.weakMatch;
    m_sink.append(std::move(row));
}

} // namespace karv
