#include "classify/ClassificationRun.h"

#include "files/LongPath.h"
#include "scan/Enumerate.h"
#include "text/NameText.h"
#include "values/ValueText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

namespace karv {

namespace {

// A name that never comes free within this many tries is a failure, not an endless loop.
constexpr int kMaxRenameAttempts = 1000000;

} // namespace

std::string renamedTarget(const std::string& target, int attempt) {
    const auto slash = target.rfind('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, nameStart) +
           numberedName(std::string_view(target).substr(nameStart), static_cast<std::uint64_t>(attempt));
}

ClassificationRun::ClassificationRun(ClassificationHost& host, PlacementFiles& files, std::string logFolder)
    : m_host(host), m_files(files), m_logFolder(std::move(logFolder)) {}

void ClassificationRun::fillContext(const ClassificationSettings& settings) {
    ClassificationContext context;
    context.recurse = settings.recurse;
    context.keepOriginal = settings.keepOriginal;
    context.target.entryFolder = settings.mainListMode ? std::string() : withTrailingSlash(settings.folder);
    context.target.setTemplate(settings.templateText);
    context.target.batchMode = settings.batchMode;
    context.target.batchNames = splitLines(settings.batchNamesText);
    context.target.batchNumber = 1;
    context.batchSize = parseBatchSize(settings.batchSizeText);
    if (!settings.mainListMode && settings.keywordSearch)
        context.keywordLines = splitLines(settings.keywordText);
    m_context = std::move(context);
}

void ClassificationRun::runClassification() {
    if (m_host.caption() != kClassifyIdleCaption) {
        m_stop = true;
        return;
    }
    m_host.saveControlStates();
    m_stop = false;
    m_host.setCaption(kClassifyStartingCaption);
    m_host.setCaptionLeftAligned(true);

    const ClassificationSettings settings = m_host.settings();
    fillContext(settings);
    m_knownFolders.clear();
    m_resolved.clear();
    m_produced.clear();
    m_seenSources.clear();
    if (!m_logFolder.empty()) {
        m_logs.open(m_logFolder);
        // The logs are this run's own files: a run over the program's folder leaves them alone.
        for (const std::string_view name : {kBeforeLogName, kAfterLogName, kFailureLogName})
            m_produced.insert(producedKey(logPath(m_logFolder, name)));
    }

    if (settings.mainListMode)
        runMainList();
    else
        runFolders(m_context.target.entryFolder);

    m_logs.close();
    ClassificationSummary summary;
    summary.processed = m_context.shownCount;
    summary.failures = m_context.failures;
    summary.stopped = m_stop;
    summary.shownText = m_context.shownText;
    if (!m_logFolder.empty())
        summary.failureLogPath = logPath(m_logFolder, kFailureLogName);
    m_host.finished(summary);

    m_context.shownText.clear();
    m_context.target.batchNames.clear();
    m_host.setCaptionLeftAligned(false);
    m_host.setCaption(kClassifyIdleCaption);
}

std::int64_t ClassificationRun::position(RandomPicker& picker, std::size_t count, std::size_t i) {
    if (m_host.randomOrder())
        return picker.draw(1, static_cast<std::int64_t>(count), m_host.tickMs());
    return static_cast<std::int64_t>(i);
}

void ClassificationRun::runMainList() {
    const std::size_t count = m_host.listRowCount();
    RandomPicker picker;
    for (std::size_t i = 1; i <= count; ++i) {
        m_host.pump();
        const auto k = static_cast<std::size_t>(position(picker, count, i));
        if (const auto path = m_host.listRowPath(k - 1))
            classifyFile(*path, count, i, "");
        if (m_stop)
            break;
    }
}

std::vector<std::string> ClassificationRun::folderPlan(const std::string& entry, bool recurse,
                                                       const std::function<bool()>& keepGoing) {
    std::vector<std::string> plan{entry};
    if (!recurse)
        return plan;
    // Every folder once, and symbolic links to folders are not entered: the run stays inside the
    // chosen tree and never moves files out of a tree that is only linked into it.
    std::unordered_set<std::string> seen;
    auto identity = [](const std::string& folder) {
        struct stat info {};
        const files::ShortPath at(folder.c_str()); // a tree deeper than the kernel's path limit
        if (!at.ok() || ::fstatat(at.dir(), at.rest(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode))
            return std::string();
        return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    };
    struct stat entryInfo {};
    if (::stat(entry.c_str(), &entryInfo) == 0)
        seen.insert(std::to_string(entryInfo.st_dev) + ":" + std::to_string(entryInfo.st_ino));
    std::vector<std::string> result;
    std::vector<std::string> stack{entry};
    while (!stack.empty()) {
        std::string folder = std::move(stack.back());
        stack.pop_back();
        std::vector<std::string> subfolders;
        enumerateEntries(folder, "*", true, subfolders);
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) {
            const std::string id = identity(*it);
            if (!id.empty() && seen.insert(id).second)
                stack.push_back(*it);
        }
        result.push_back(std::move(folder));
        if (keepGoing && !keepGoing())
            break;
    }
    return result;
}

void ClassificationRun::runFolders(const std::string& entry) {
    // The folders to visit are fixed before anything moves, so the folders this run creates are
    // never visited and no file is classified twice.
    // A large tree takes a while to list: the window stays responsive and a stop ends the listing.
    m_host.setCaption(std::string(kReadingFolderCaption) + displayText(entry));
    const std::vector<std::string> plan = folderPlan(entry, m_context.recurse, [this] {
        m_host.pump();
        return !m_stop;
    });
    if (m_stop)
        return;
    for (const std::string& folder : plan) {
        classifyFolder(folder);
        if (m_stop)
            return;
    }
}

void ClassificationRun::classifyFolder(const std::string& folder) {
    m_host.setCaption(std::string(kReadingFolderCaption) + displayText(folder));
    m_context.target.batchNumber = 1;
    m_context.inBatch = 0;
    std::vector<std::string> files;
    enumerateEntries(folder, m_host.patternList(), false, files);
    RandomPicker picker;

    if (m_host.keywordSearch()) {
        std::vector<bool> taken(files.size(), false);
        for (const std::string& line : m_context.keywordLines) {
            std::vector<std::string> matched;
            for (std::size_t j = files.size(); j-- > 0;) {
                if (!taken[j] && keywordLineMatches(nameStem(fileNamePart(files[j])), line)) {
                    matched.push_back(files[j]);
                    taken[j] = true;
                }
                if (m_stop)
                    return;
            }
            if (matched.empty())
                continue;
            picker.reset();
            for (std::size_t i = 1; i <= matched.size(); ++i) {
                m_host.pump();
                const auto k = static_cast<std::size_t>(position(picker, matched.size(), i));
                classifyFile(matched[k - 1], matched.size(), i, line);
                if (m_stop)
                    return;
            }
        }
        return;
    }

    for (std::size_t i = 1; i <= files.size(); ++i) {
        m_host.pump();
        const auto k = static_cast<std::size_t>(position(picker, files.size(), i));
        classifyFile(files[k - 1], files.size(), i, "");
        if (m_stop)
            return;
    }
}

std::string ClassificationRun::producedKey(const std::string& path) {
    const std::string folder = folderPart(path);
    auto found = m_resolved.find(folder);
    if (found == m_resolved.end())
        found = m_resolved.emplace(folder, withTrailingSlash(m_files.resolvedFolder(folder))).first;
    return found->second + fileNamePart(path);
}

bool ClassificationRun::createMissingFolders(const std::string& path) {
    const std::string parent = folderPart(path);
    if (parent.empty() || m_knownFolders.count(parent) != 0)
        return true;
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (prefix.empty() || m_knownFolders.count(prefix) != 0)
            continue;
        if (!m_files.exists(prefix) && !m_files.makeFolder(prefix))
            return false;
        m_knownFolders.insert(prefix);
    }
    return true;
}

std::optional<std::string> ClassificationRun::place(const std::string& source, std::string target) {
    if (target == source)
        return source; // already where it belongs: nothing to do
    if (target.empty() || target.back() == '/')
        return std::nullopt; // a folder, not a file name: numbering it would invent a name
    createMissingFolders(target);
    bool retried = false;
    for (int attempt = 1; attempt <= kMaxRenameAttempts;) {
        const std::string candidate = attempt == 1 ? target : renamedTarget(target, attempt);
        if (candidate == source)
            return source;
        const PlaceResult result =
            m_context.keepOriginal ? m_files.copy(source, candidate) : m_files.move(source, candidate);
        switch (result) {
        case PlaceResult::Done:
            m_produced.insert(producedKey(candidate));
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
            if (retried)
                return std::nullopt;
            retried = true;
            m_knownFolders.clear();
            createMissingFolders(candidate);
            break;
        }
    }
    return std::nullopt;
}

void ClassificationRun::classifyFile(const std::string& sourcePath, std::size_t total, std::size_t index,
                                     std::string_view keywordLine) {
    // A file listed twice, or one this run has just put in place, is classified once only.
    if (!m_seenSources.insert(sourcePath).second)
        return;
    if (!m_produced.empty() && m_produced.count(producedKey(sourcePath)) != 0)
        return;

    const std::string target = buildTargetPath(m_context.target, sourcePath, keywordLine);
    const auto used = place(sourcePath, target);
    const std::string& written = used ? *used : target;
    m_logs.record(sourcePath, written, !used);
    if (!used)
        ++m_context.failures;
    m_host.fileDone(sourcePath, written, used.has_value());

    m_host.setCaption(shortenForDisplay("    (" + std::to_string(total) + ":" + std::to_string(index) + ") " +
                                            displayText(sourcePath),
                                        kProgressWidth));
    if (++m_context.inBatch >= m_context.batchSize) {
        ++m_context.target.batchNumber;
        m_context.inBatch = 0;
    }
    if (++m_context.shownCount <= m_context.shownLimit)
        m_context.shownText += displayText(written) + "\r\n";
}

} // namespace karv
