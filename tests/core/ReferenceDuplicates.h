#pragma once

#include "scan/FilterRun.h"

#include <string>
#include <vector>

namespace karv::test {

/// Duplicate collection exactly as described, step by step and without shortcuts: every file gets
/// its key at once (the chunked MD5 read in full), every file is compared with every group in
/// creation order, the name measure pairs elements greedily, content similarity reloads both texts
/// for each candidate. The fast finder must list the same rows.
class ReferenceDuplicates : public DuplicateStage {
public:
    explicit ReferenceDuplicates(FilterRun& run) : m_run(run) {}

    void clear() override { m_groups.clear(); }
    void beginFolder(const std::string& folder) override;
    void collect(const std::string& path, const FileVerdict& verdict) override;
    bool output(RowMaker& rows) override;

    /// The greedy pairing of the description.
    static int greedyNameSimilarity(const std::string& a, const std::string& b);

private:
    struct Group {
        std::string key;
        std::vector<std::string> members;
    };
    FilterRun& m_run;
    std::vector<Group> m_groups;
    int m_nameThreshold = 0;
    int m_contentThreshold = 0;
};

} // namespace karv::test
