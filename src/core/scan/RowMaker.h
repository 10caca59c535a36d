#pragma once

#include "files/FileFacts.h"
#include "scan/ResultRow.h"
#include "scan/ScanOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace karv {

/// What a duplicate listing says about a row beyond the file itself.
struct RowMark {
    std::uint32_t group = 0;
    bool kept = false;
    bool weakMatch = false;
};

/// Makes the result list's rows from paths and hands them to a sink: the filter run, the duplicate
/// listing and the window's drops list files the same way. The time column follows the time options.
class RowMaker {
public:
    /// With `pathsOnly` a row holds its name, folder and duplicate mark and nothing read from the
    /// file: no size, times or identity.
    RowMaker(const ScanOptions& options, ResultSink& sink, bool pathsOnly = false)
        : m_options(options), m_sink(sink), m_pathsOnly(pathsOnly) {}

    /// Lists `path`. A size of 0 and an empty time text mean "not known yet": they are read from
    /// the file, with `knownStat` when the caller already read it.
    void add(const std::string& path, std::uint64_t size, std::uint64_t contentCount,
             const std::string& timeText, const std::optional<FileStat>& knownStat = std::nullopt,
             RowMark mark = {});

    const ScanOptions& options() const { return m_options; }
    ResultSink& sink() { return m_sink; }

private:
    const ScanOptions& m_options;
    ResultSink& m_sink;
    bool m_pathsOnly;
    // Each folder a row was stamped in, as it was looked at first: a maker lives for one listing.
    std::unordered_map<std::string, std::optional<FileStat>> m_folderStats;
};

} // namespace karv
