#include "classify/ClassificationRun.h"

#include "classify/FolderPlan.h"
#include "desktop/Desktop.h"
#include "files/LongPath.h"
#include "scan/Enumerate.h"
#include "scan/OpenFolders.h"
#include "text/NameText.h"
#include "values/ValueText.h"

#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>

namespace karv {

namespace {

// A name that never comes free within this many tries is a failure, not an endless loop.
constexpr int kMaxRenameAttempts = 1000000;

// How many folders the run remembers as existing, and keys of how many folders: enough for the
// folders a run works in at a time, few enough that a deep tree's paths are not all kept.
constexpr std::size_t kRecentFolders = 64;

} // namespace

std::string renamedTarget(const std::string& target, int attempt) {
    const auto slash = target.rfind('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, nameStart) +
           numberedName(std::string_view(target).substr(nameStart), static_cast<std::uint64_t>(attempt));
}

ClassificationRun::ClassificationRun(PlacementFiles& files, std::string logFolder)
    : m_files(files), m_logFolder(std::move(logFolder)) {}

void ClassificationRun::fillContext(const ClassificationSettings& settings) {
    ClassificationContext context;
    context.recurse = settings.recurse;
    context.keepOriginal = settings.keepOriginal;
    // An absolute folder: the logs, the journal and an undo from elsewhere all mean the same files.
    context.target.entryFolder =
        settings.mainListMode ? std::string()
                              : withTrailingSlash(absoluteLexicalPath(settings.folder, m_workingFolder));
    context.target.setTemplate(settings.templateText);
    context.target.batchMode = settings.batchMode;
    context.target.batchNames = splitLines(settings.batchNamesText);
    context.target.batchNumber = 1;
    context.batchSize = parseBatchSize(settings.batchSizeText);
    if (!settings.mainListMode && settings.keywordSearch)
        context.keywordLines = splitLines(settings.keywordText);
    m_context = std::move(context);
}

ClassificationSummary ClassificationRun::run(const ClassificationRequest& request, const RunContext& context,
                                             ClassificationSink& sink) {
    const ClassificationSettings& settings = request.settings;
    if (std::string refusal = prepareLogs(settings); !refusal.empty())
        return summarize(std::move(refusal));
    // Held only while the run goes.
    m_live = &request.live;
    m_run = &context;
    m_sink = &sink;
    m_orderSeed = request.orderSeed;
    m_halted = false;
    m_problem.clear();
    m_reasons = files::FailureTally();
    report(RunStage::Starting, 0, 0, {});
    resetRun(settings);
    {
        // Deep paths (sources, targets, their folders) are reached from the folders just used.
        const files::NearFolders near;
        if (settings.mainListMode)
            runMainList();
        else
            runFolders(m_context.target.entryFolder);
    }
    m_logs.close();
    m_journal.close();
    m_lock.release();
    ClassificationSummary summary = summarize({});
    m_context.shownText.clear();
    m_context.target.batchNames.clear();
    m_rowIds.clear();
    m_listedAs.clear();
    m_live = nullptr;
    m_run = nullptr;
    m_sink = nullptr;
    return summary;
}

std::string ClassificationRun::prepareLogs(const ClassificationSettings& settings) {
    // An empty folder box would mean the root: a tool that moves files never sorts the whole system.
    if (!settings.mainListMode && settings.folder.empty())
        return std::string(kNoFolderChosen);
    if (m_logFolder.empty())
        return {};
    // One run (or undo) per log folder at a time: two would interleave their records.
    if (m_lock.acquire(m_logFolder) == LogFolderLock::Outcome::Busy)
        return busyLogFolderMessage(m_logFolder);
    if (!m_journal.start(m_logFolder, settings.keepOriginal)) {
        const std::string path = logPath(m_logFolder, kJournalName);
        m_lock.release();
        return "无法写入归类记录（" + displayText(path) + "），没有归类任何文件。";
    }
    return {};
}

void ClassificationRun::resetRun(const ClassificationSettings& settings) {
    m_workingFolder = workingFolder();
    fillContext(settings);
    m_knownFolders.clear();
    m_folderKeys.clear();
    m_produced.clear();
    m_seenSources.clear();
    if (!m_logFolder.empty()) {
        m_logs.open(m_logFolder);
        // The logs are this run's own files: a run over the program's folder leaves them alone.
        for (const std::string_view name :
             {kBeforeLogName, kAfterLogName, kFailureLogName, kJournalName, kLockName})
            m_produced.insert(pathKey(producedKey(logPath(m_logFolder, name))));
    }
}

ClassificationSummary ClassificationRun::summarize(std::string refusal) const {
    ClassificationSummary summary;
    if (!refusal.empty()) {
        summary.refusal = std::move(refusal);
        return summary;
    }
    summary.processed = m_context.shownCount;
    summary.failures = m_context.failures;
    summary.stopped = stopped();
    summary.shownText = m_context.shownText;
    if (!m_logFolder.empty())
        summary.failureLogPath = logPath(m_logFolder, kFailureLogName);
    summary.reasons = m_reasons;
    summary.problem = m_problem;
    return summary;
}

void ClassificationRun::pump() const {
    if (m_run->pump)
        m_run->pump();
}

bool ClassificationRun::stopped() const {
    return m_halted || (m_run != nullptr && m_run->stop.stopRequested());
}

void ClassificationRun::report(RunStage stage, std::size_t done, std::size_t total,
                               const std::string& item) const {
    m_run->progress.progress({stage, done, total, item});
}

std::int64_t ClassificationRun::position(RandomPicker& picker, std::size_t count, std::size_t i) {
    if (m_live->randomOrder())
        return picker.draw(1, static_cast<std::int64_t>(count),
                           m_orderSeed ? static_cast<std::int64_t>(*m_orderSeed) : m_run->clock.tickMs());
    return static_cast<std::int64_t>(i);
}

void ClassificationRun::takeListedRows(std::size_t count) {
    auto idOf = [](const std::string& path) -> std::optional<FileId> {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            return std::nullopt;
        return FileId{info.st_dev, info.st_ino};
    };
    m_rowIds.clear();
    m_listedAs.clear();
    std::string lastFolder;
    std::optional<files::Identity> lastFolderId;
    for (std::size_t row = 0; row < count; ++row) {
        if (row % 1024 == 0)
            pump();
        if (const auto path = m_live->listRowPath(row)) {
            const std::string normal = absoluteLexicalPath(*path, m_workingFolder);
            const PathKey key = pathKey(normal);
            if (const auto id = idOf(normal))
                m_rowIds.emplace(key, *id);
            if (const auto file = m_files.identity(normal); file && !file->isFolder) {
                const std::string folder = files::folderOf(normal);
                if (folder != lastFolder || !lastFolderId) {
                    lastFolder = folder;
                    lastFolderId = m_files.identity(folder);
                }
                // The path is filled in when the file's turn comes.
                files::Listed source{{}, *file};
                if (lastFolderId && lastFolderId->isFolder) {
                    source.folderKnown = true;
                    source.folderDevice = lastFolderId->device;
                    source.folderInode = lastFolderId->inode;
                }
                m_listedAs.emplace(key, std::move(source));
            }
        }
        if (stopped())
            return;
    }
}

void ClassificationRun::runMainList() {
    const std::size_t count = m_live->listRowCount();
    // Who each row is, taken before anything moves: a file listed under two spellings (or two hard
    // links) is classified once, and a preview skips exactly the rows the real run skips. And what
    // each file and its folder were then: a file replaced or rewritten while the run works through
    // the list is not acted on.
    takeListedRows(count);
    if (stopped())
        return;
    std::set<FileId> classified;
    RandomPicker picker;
    for (std::size_t i = 1; i <= count; ++i) {
        pump();
        const auto k = static_cast<std::size_t>(position(picker, count, i));
        if (const auto path = m_live->listRowPath(k - 1)) {
            const std::string normal = absoluteLexicalPath(*path, m_workingFolder);
            const auto known = m_rowIds.find(pathKey(normal));
            std::optional<FileId> id;
            if (known != m_rowIds.end()) {
                id = known->second;
            } else if (struct stat info{}; ::lstat(normal.c_str(), &info) == 0) {
                id = FileId{info.st_dev, info.st_ino};
            }
            if (!id || classified.insert(*id).second) {
                const auto as = m_listedAs.find(pathKey(normal));
                files::Listed* listed = as != m_listedAs.end() ? &as->second : nullptr;
                if (listed != nullptr)
                    listed->path = normal;
                classifyFile(normal, count, i, "", listed);
            }
        }
        if (stopped())
            break;
    }
}

void ClassificationRun::runFolders(const std::string& entry) {
    // The folders to visit are fixed before anything moves, so the folders this run creates are
    // never visited and no file is classified twice.
    // A large tree takes a while to list: the window stays responsive and a stop ends the listing.
    report(RunStage::Walking, 0, 0, entry);
    const std::vector<PlannedFolder> plan = folderPlan(entry, m_context.recurse, [this] {
        pump();
        return !stopped();
    });
    if (stopped())
        return;
    PlanWalk walk(plan);
    for (std::size_t i = 0; i < plan.size(); ++i) {
        // A folder that is no longer the one planned has no files for this run.
        const int fd = walk.visit(i) ? walk.current() : -1;
        classifyFolder(walk.text(), fd);
        if (stopped())
            return;
    }
}

void ClassificationRun::classifyFolder(const std::string& folder, int folderFd) {
    report(RunStage::Walking, 0, 0, folder);
    m_context.target.batchNumber = 1;
    m_context.inBatch = 0;
    // A run visits each folder once, so paths seen in another folder never come again.
    m_seenSources.clear();
    std::vector<std::string> files;
    const std::vector<NamePattern> patterns = parsePatternList(m_live->patternList());
    selectEntries(folder, listDirectory(folderFd), patterns, false, files);
    if (m_live->keywordSearch())
        return classifyByKeywords(files);
    RandomPicker picker;
    for (std::size_t i = 1; i <= files.size(); ++i) {
        pump();
        const auto k = static_cast<std::size_t>(position(picker, files.size(), i));
        classifyFile(files[k - 1], files.size(), i, "");
        if (stopped())
            return;
    }
}

void ClassificationRun::classifyByKeywords(const std::vector<std::string>& files) {
    RandomPicker picker;
    std::vector<bool> taken(files.size(), false);
    for (const std::string& line : m_context.keywordLines) {
        std::vector<std::string> matched;
        for (std::size_t j = files.size(); j-- > 0;) {
            if (!taken[j] && keywordLineMatches(nameStem(fileNamePart(files[j])), line)) {
                matched.push_back(files[j]);
                taken[j] = true;
            }
            if (stopped())
                return;
        }
        if (matched.empty())
            continue;
        picker.reset();
        for (std::size_t i = 1; i <= matched.size(); ++i) {
            pump();
            const auto k = static_cast<std::size_t>(position(picker, matched.size(), i));
            classifyFile(matched[k - 1], matched.size(), i, line);
            if (stopped())
                return;
        }
    }
}

std::string ClassificationRun::producedKey(const std::string& path) {
    const std::string folder = folderPart(path);
    auto found = m_folderKeys.find(folder);
    if (found == m_folderKeys.end()) {
        if (m_folderKeys.size() >= kRecentFolders)
            m_folderKeys.clear();
        found = m_folderKeys.emplace(folder, withTrailingSlash(m_files.folderKey(folder))).first;
    }
    return found->second + fileNamePart(path);
}

bool ClassificationRun::createMissingFolders(const std::string& path) {
    const std::string parent = folderPart(path);
    if (parent.empty() || m_knownFolders.count(parent) != 0)
        return true;
    if (!makeMissingFolders(m_files, parent,
                            [this](const std::string& folder) { return m_knownFolders.count(folder) != 0; }))
        return false;
    if (m_knownFolders.size() >= kRecentFolders)
        m_knownFolders.clear();
    m_knownFolders.insert(parent);
    return true;
}

void ClassificationRun::journal(const std::string& source, const std::string& target) {
    if (!m_journal.isOpen())
        return; // a preview
    JournalRecord record;
    record.copy = m_context.keepOriginal;
    record.source = source;
    record.target = target;
    if (const auto id = m_files.identity(target)) {
        record.identityKnown = true;
        record.device = id->device;
        record.inode = id->inode;
        record.size = id->size;
        record.modifiedNs = id->modifiedNs;
    }
    if (!m_journal.append(record)) {
        m_problem =
            "归类记录无法写入（" + displayText(logPath(m_logFolder, kJournalName)) + "），归类已停止。";
        m_halted = true;
    }
}

std::optional<std::string> ClassificationRun::place(const std::string& source, std::string target,
                                                    const files::Listed* listed) {
    m_failureError = 0;
    if (target == source)
        return source; // already where it belongs: nothing to do
    if (target.empty() || target.back() == '/') {
        m_failureError = EINVAL;
        return std::nullopt; // a folder, not a file name: numbering it would invent a name
    }
    createMissingFolders(target);
    bool retried = false;
    for (int attempt = 1; attempt <= kMaxRenameAttempts;) {
        const std::string candidate = attempt == 1 ? target : renamedTarget(target, attempt);
        if (candidate == source)
            return source;
        const PlaceResult result = m_context.keepOriginal ? m_files.copy(source, candidate, listed)
                                                          : m_files.move(source, candidate, listed);
        switch (result) {
        case PlaceResult::Done:
            m_produced.insert(pathKey(producedKey(candidate)));
            journal(source, candidate);
            return candidate;
        case PlaceResult::TargetExists:
            // The same file under another spelling of its path counts as already in place; any other
            // file keeps its name and this one takes the next free one.
            if (m_files.sameFile(source, candidate))
                return candidate;
            attempt = attempt == 1 ? 2 : attempt + 1;
            break;
        case PlaceResult::Failed:
            // A folder the run made may have been removed meanwhile: look again, once.
            if (retried) {
                m_failureError = m_files.lastError();
                return std::nullopt;
            }
            retried = true;
            m_knownFolders.clear();
            createMissingFolders(candidate);
            break;
        }
    }
    m_failureError = EEXIST;
    return std::nullopt;
}

void ClassificationRun::classifyFile(const std::string& sourcePath, std::size_t total, std::size_t index,
                                     std::string_view keywordLine, const files::Listed* listed) {
    // A file listed twice, or one this run has just put in place, is classified once only.
    if (!m_seenSources.insert(pathKey(sourcePath)).second)
        return;
    if (!m_produced.empty() && m_produced.count(pathKey(producedKey(sourcePath))) != 0)
        return;

    const std::string target = buildTargetPath(m_context.target, sourcePath, keywordLine);
    const auto used = place(sourcePath, target, listed);
    const std::string& written = used ? *used : target;
    m_logs.record(sourcePath, written, !used);
    if (!used) {
        ++m_context.failures;
        const files::FailureReason reason = files::reasonOf(m_failureError);
        m_reasons.add(reason, sourcePath);
        m_sink->fileFailed(sourcePath, reason);
    }
    m_sink->fileDone(sourcePath, written, used.has_value());
    report(RunStage::Placing, index, total, sourcePath);
    if (++m_context.inBatch >= m_context.batchSize) {
        ++m_context.target.batchNumber;
        m_context.inBatch = 0;
    }
    if (++m_context.shownCount <= m_context.shownLimit)
        m_context.shownText += displayText(written) + "\r\n";
}

} // namespace karv
