#include "ReferenceDuplicates.h"

#include "duplicates/ChunkedDigest.h"
#include "duplicates/ContentSimilarity.h"
#include "files/FileFacts.h"
#include "text/NameText.h"
#include "text/TextLoader.h"
#include "values/Numbers.h"
#include "values/ValueText.h"

namespace karv::test {

int ReferenceDuplicates::greedyNameSimilarity(const std::string& a, const std::string& b) {
    const std::vector<std::string> ea = splitCharacters(a);
    const std::vector<std::string> eb = splitCharacters(b);
    if (ea.empty() || eb.empty())
        return 0;
    std::vector<bool> used(eb.size(), false);
    double matches = 0;
    for (const std::string& element : ea) {
        for (std::size_t j = 0; j < eb.size(); ++j) {
            if (!used[j] && eb[j] == element) {
                used[j] = true;
                matches += 1;
                break;
            }
        }
    }
    return static_cast<int>((matches / ea.size() * 100 + matches / eb.size() * 100) / 2);
}

void ReferenceDuplicates::beginFolder(const std::string&) {
    const ScanOptions& options = m_run.options();
    m_nameThreshold = 0;
    m_contentThreshold = 0;
    if (options.duplicateKind() == DuplicateKind::Name && options.similarity()) {
        const double value = leadingNumber(options.similarityText());
        m_nameThreshold = value <= 0 ? 0 : value >= 101 ? 101 : static_cast<int>(value);
        if (m_nameThreshold >= 1 && options.judgeContent())
            m_contentThreshold = 60;
    }
}

void ReferenceDuplicates::collect(const std::string& path, const FileVerdict& verdict) {
    const RunContext& context = m_run.context();
    const ScanOptions& options = m_run.options();
    std::string key;
    switch (options.duplicateKind()) {
    case DuplicateKind::Md5: {
        std::uint64_t size = verdict.size;
        if (size == 0)
            size = fileSize(path);
        RunProgress now{RunStage::Comparing, 0, 0, path};
        now.bytes = size;
        context.progress.progress(now);
        key = chunkedFileDigest(path, {[this] { m_run.context().pump(); },
                                       [&context] {
                                           return context.stop.stopRequested();
                                       }});
        if (context.stop.stopRequested())
            return;
        break;
    }
    case DuplicateKind::Size: {
        const auto stat = statFile(path);
        if (!stat)
            return; // a vanished file has no size to compare
        key = std::to_string(stat->size);
        break;
    }
    case DuplicateKind::Name:
        key = fileNamePart(path);
        break;
    }
    if (key.empty())
        return;
    for (Group& group : m_groups) {
        m_run.context().pump();
        if (group.key == key) {
            group.members.push_back(path);
            return;
        }
        if (m_nameThreshold >= 1) {
            const int s = greedyNameSimilarity(displayText(fileNamePart(group.members.front())),
                                               displayText(fileNamePart(path)));
            if (s >= m_nameThreshold) {
                if (m_contentThreshold >= 1) {
                    const int c =
                        contentSimilarity(loadFileText(group.members.front()).text, loadFileText(path).text);
                    if (c <= 60)
                        continue;
                }
                group.members.push_back(path);
                return;
            }
        }
    }
    m_groups.push_back({key, {path}});
}

bool ReferenceDuplicates::output(RowMaker& rows) {
    const RunContext& context = m_run.context();
    context.stop.reset();
    const DuplicateOutput mode = rows.options().duplicateOutput();
    for (const Group& group : m_groups) {
        const std::size_t m = group.members.size();
        if (m <= 1)
            continue;
        m_run.context().pump();
        const std::size_t count = mode == DuplicateOutput::One ? 1 : mode == DuplicateOutput::All ? m : m - 1;
        for (std::size_t i = 0; i < count; ++i)
            rows.add(group.members[i], 0, 0, std::string());
        if (context.stop.stopRequested())
            return true;
    }
    return false;
}

} // namespace karv::test
