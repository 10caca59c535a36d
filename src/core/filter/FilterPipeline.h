#pragma once

#include "filter/AheadPool.h"
#include "scan/FilterRun.h"
#include "scan/ScanOptions.h"
#include "text/EarlyAnswer.h"
#include "text/Matching.h"
#include "text/TextLoader.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace karv {

/// The per-file filter pipeline: content, then length, then time, each only while its check box is
/// on and the file still passes. Options are read at the moment each filter needs them, so a change
/// during a run applies to the following files. A file is opened only by the filters that need it,
/// and what one filter read (its facts, its text) is reused by the later ones and by the row.
class FilterPipeline : public FileFilterStage {
public:
    explicit FilterPipeline(const ScanOptions& options);
    ~FilterPipeline() override;

    void setRunContext(const RunContext& context) override { m_context = &context; }
    /// Takes the content filter text and its plain terms, fixed for the run.
    void beginRun() override;
    /// Reports the expression searches that gave up.
    void endRun(FilterOutcome& outcome) override;
    /// Builds the per-folder matchers from the run's filter text.
    void beginFolder(const std::string& folder) override;
    FileVerdict filterFile(const std::string& path) override;
    /// When the plain search of the files' text or their character count is asked and nothing
    /// else needs the run's thread first (no time filter, no expression), and there are cores to
    /// share the work.
    bool readsAhead() const override;
    /// Starts the plain search of the files' text and their character count on worker threads (with
    /// the run's thread, one per core).
    void lookAhead(const std::vector<std::string>& paths, int folder) override;
    bool nextReady() const override;
    void endLookAhead() override;
    /// How many threads search ahead (the machine's cores unless set; below 2, none).
    void setAheadThreads(unsigned threads) { m_aheadThreads = threads; }
    /// The content filter text and plain terms of the run going on or the last one.
    const std::string& contentText() const { return m_run.contentText; }
    const std::vector<std::string>& contentTerms() const { return m_run.contentTerms; }
    /// Sizes of the pieces in which a file's text is read (tests use tiny ones).
    void setStreamSizes(std::size_t headBytes, std::size_t chunkBytes) {
        m_headBytes = headBytes;
        m_chunkBytes = chunkBytes;
    }

private:
    struct FileWork;
    /// What a window's files are read ahead for, as the options said when it started.
    struct AheadSpec {
        bool search = false; ///< the plain search of the text
        bool early = false;  ///< answered from the bytes where it can be
        bool include = true; ///< a hit passes (else it excludes)
        bool count = false;  ///< the character count, of a file the search let pass
        bool tags = false;   ///< the count without tags
        bool blanks = false; ///< the count without blanks
    };
    /// A file's search and count done ahead.
    struct AheadText {
        bool searched = false;
        bool hit = false;
        bool stopped = false;
        std::optional<std::uint64_t> count;
        AheadSpec spec;
    };
    /// A file looked ahead at; its job writes `result` (a deque keeps it in place).
    struct Queued {
        std::string path;
        std::size_t job = AheadPool::kNone; ///< none when nothing is done ahead for it
        bool taken = false;                 ///< its job was waited for
        AheadText result;
    };
    struct Ahead {
        std::deque<Queued> files;
        bool inHand = false; ///< the first of `files` is the file in hand
        std::unique_ptr<AheadPool> pool;
    };
    /// What the filters take as a run starts, and what they report at its end: the files whose
    /// expression search gave up at its limit, and the first of them.
    struct RunValues {
        std::string contentText;
        std::vector<std::string> contentTerms;
        std::optional<EarlyTermAnswer> early; ///< for `contentTerms`, when any can be decided early
        std::uint64_t expressionLimitFiles = 0;
        std::string expressionLimitFirst;
    };

    bool contentPasses(FileWork& work);
    bool lengthPasses(FileWork& work);
    bool timePasses(FileWork& work);
    bool subjectHit(MatchMode mode, std::string_view subject, FileWork& work);
    bool textHit(MatchMode mode, FileWork& work);
    /// What was done ahead for the file in hand, waited for; null when nothing was.
    AheadText* aheadText();
    /// Finds the file in hand among the files looked ahead at, dropping those passed over.
    void findAhead(const std::string& path);
    /// The file in hand is judged: what was done ahead for it goes.
    void doneWithAhead();
    /// Drops the first file looked ahead at, once its job is done.
    void dropFirstAhead();
    unsigned aheadThreads() const;
    /// What the options ask of the window's files; false when nothing can be done ahead.
    bool aheadSpec(AheadSpec& spec) const;
    AheadPool::Job aheadJob(int folder, const std::string& path, AheadText& result) const;
    void readText(FileWork& work, TextConsumer& consumer, EarlyTermAnswer* early = nullptr);
    /// Whether a plain search may end at the first sure hit: nothing else needs the rest of the
    /// file (no character count, and a hit does not exclude the file).
    bool earlyAnswerAllowed() const;

    /// What a long search asks now and then: lets events in, then true to go on.
    KeepGoing stopPoll() const;
    bool stopRequested() const { return m_context != nullptr && m_context->stop.stopRequested(); }

    const ScanOptions& m_options;
    const RunContext* m_context = nullptr;
    RunValues m_run; // of the run going on; empty for a pipeline used without a run
    std::size_t m_headBytes = kStreamHeadBytes;
    std::size_t m_chunkBytes = kStreamChunkBytes;

    // Per-folder matchers. The filter text is captured at run start, so they are compiled again
    // only when it differs from the one they were built from.
    bool m_matchersBuilt = false;
    std::string m_matchersText;
    ContentMatcher m_wildcard;
    ContentMatcher m_expression;

    unsigned m_aheadThreads = 0;
    Ahead m_ahead;
};

} // namespace karv
