#pragma once

#include "duplicates/FileReading.h"
#include "scan/FilterRun.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace karv {

/// Duplicate collection and output of a filter run. Files that passed the filters are grouped
/// during the walk by key (content, size or file name; names optionally by similarity, confirmed by
/// content similarity) and the groups with two or more members are listed after the walk.
///
/// Same groups, members and rows as comparing every file with every group in creation order, but
/// found through maps: exact keys are looked up; in content mode a file is read only once a second
/// file of its size appears, a 4 KiB prefix rules most pairs out, and a fast content hash picks the
/// candidate that a byte-by-byte comparison then confirms; name similarity skips groups whose name
/// lengths cannot reach the threshold.
class DuplicateFinder : public DuplicateStage {
public:
    /// `options` are read live, as each folder starts and as each file is collected.
    explicit DuplicateFinder(const ScanOptions& options);
    ~DuplicateFinder() override;

    void clear() override;
    /// Where content digests are kept between runs (the MD5 kind reads a file again only when it
    /// changed since); empty, the default: every file is read.
    void setDigestCacheFolder(std::string folder);
    void setRunContext(const RunContext& context) override;
    /// Reads the similarity settings, as each folder starts.
    void beginFolder(const std::string& folder) override;
    void collect(const std::string& path, const FileVerdict& verdict) override;
    bool output(RowMaker& rows) override;

    /// Adds one file that passed the filters. `size` is what the pipeline read (0: not read).
    void collectDuplicate(const std::string& path, std::uint64_t size,
                          const std::optional<FileStat>& knownStat = std::nullopt);
    /// Lists the groups through `rows`; stops when the run's stop is asked. True when a stop cut the
    /// last decisions or the listing short.
    bool outputDuplicates(RowMaker& rows);

    const ReadStats& readStats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace karv
