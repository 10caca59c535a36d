#pragma once

#include "app/AppState.h"
#include "scan/FilterRun.h"
#include "scan/ScanOptions.h"
#include "text/Matching.h"

#include <optional>
#include <string>

namespace karv {

/// The per-file filter pipeline: content, then length, then time, each only while its check box is
/// on and the file still passes. Options are read at the moment each filter needs them, so a change
/// during a run applies to the following files. A file is opened only by the filters that need it,
/// and what one filter read (its facts, its text) is reused by the later ones and by the row.
class FilterPipeline : public FileFilterStage {
public:
    FilterPipeline(AppState& state, const ScanOptions& options);
    ~FilterPipeline() override;

    /// Builds the per-folder matchers from the run's filter text.
    void beginFolder(const std::string& folder) override;
    FileVerdict filterFile(const std::string& path) override;
    void setStopPoll(SearchPoll poll) override { m_poll = std::move(poll); }

private:
    struct FileWork;

    bool contentPasses(FileWork& work);
    bool lengthPasses(FileWork& work);
    bool timePasses(FileWork& work);
    bool subjectHit(MatchMode mode, std::string_view subject, FileWork& work);
    const std::string& fileText(FileWork& work);

    AppState& m_state;
    const ScanOptions& m_options;
    SearchPoll m_poll;

    // Per-folder matchers. The filter text is captured at run start, so they are compiled again
    // only when it differs from the one they were built from.
    bool m_matchersBuilt = false;
    std::string m_matchersText;
    ContentMatcher m_wildcard;
    ContentMatcher m_expression;
};

} // namespace karv
