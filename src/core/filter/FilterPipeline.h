#pragma once

#include "app/AppState.h"
#include "scan/FilterRun.h"
#include "scan/ScanOptions.h"
#include "text/Matching.h"
#include "text/TextLoader.h"

#include <functional>
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
    void setEventPump(std::function<void()> pump) override { m_pump = std::move(pump); }
    /// Sizes of the pieces in which a file's text is read (tests use tiny ones).
    void setStreamSizes(std::size_t headBytes, std::size_t chunkBytes) {
        m_headBytes = headBytes;
        m_chunkBytes = chunkBytes;
    }
    void setStopPoll(KeepGoing keepGoing) override { m_poll = std::move(keepGoing); }

private:
    struct FileWork;

    bool contentPasses(FileWork& work);
    bool lengthPasses(FileWork& work);
    bool timePasses(FileWork& work);
    bool subjectHit(MatchMode mode, std::string_view subject, FileWork& work);
    bool textHit(MatchMode mode, FileWork& work);
    void readText(FileWork& work, TextConsumer& consumer);

    AppState& m_state;
    const ScanOptions& m_options;
    std::function<void()> m_pump;
    std::size_t m_headBytes = kStreamHeadBytes;
    std::size_t m_chunkBytes = kStreamChunkBytes;
    KeepGoing m_poll;

    // Per-folder matchers. The filter text is captured at run start, so they are compiled again
    // only when it differs from the one they were built from.
    bool m_matchersBuilt = false;
    std::string m_matchersText;
    ContentMatcher m_wildcard;
    ContentMatcher m_expression;
};

} // namespace karv
