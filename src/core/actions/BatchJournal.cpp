#include "actions/BatchJournal.h"

#include "actions/BatchTexts.h"
#include "settings/SettingsFiles.h"
#include "text/NameText.h"

namespace karv {

namespace {

constexpr std::string_view kFormatVersion = "1";
constexpr std::string_view kUndoneKind = "undone";

std::string_view actWord(BatchAct act) {
    switch (act) {
    case BatchAct::Copy:
        return "copy";
    case BatchAct::Trash:
        return "trash";
    default:
        return "move";
    }
}

bool actOf(std::string_view word, BatchAct& act) {
    for (const BatchAct candidate : {BatchAct::Move, BatchAct::Copy, BatchAct::Trash}) {
        if (word == actWord(candidate)) {
            act = candidate;
            return true;
        }
    }
    return false;
}

std::string escaped(std::string_view bytes) {
    // A path that is valid UTF-8 stays readable; any other keeps the journal itself valid UTF-8.
    return files::journalEscape(bytes, !isValidUtf8(bytes));
}

/// The numbers of a record line (fields 3 to 9): all given, or all "-".
bool readNumbers(const std::vector<std::string_view>& f, BatchRecord& record) {
    if (f[3] == "-")
        return f[4] == "-" && f[5] == "-" && f[6] == "-" && f[7] == "-" && f[8] == "-" && f[9] == "-";
    files::Identity& id = record.identity;
    record.identityKnown = files::journalNumber(f[3], id.device) && files::journalNumber(f[4], id.inode) &&
                           files::journalNumber(f[5], id.size) && files::journalNumber(f[6], id.modifiedNs) &&
                           files::journalNumber(f[7], id.changedNs);
    if (f[8] == "-" && f[9] == "-")
        return record.identityKnown;
    record.folderKnown =
        files::journalNumber(f[8], record.folderDevice) && files::journalNumber(f[9], record.folderInode);
    return record.identityKnown && record.folderKnown;
}

enum class LineRead { Ok, Damaged, Relative };

LineRead readRecord(const std::vector<std::string_view>& fields, BatchRecord& record) {
    if (fields.size() != 10 || !actOf(fields[0], record.act))
        return LineRead::Damaged;
    const auto source = files::journalUnescape(fields[1]);
    const auto target = files::journalUnescape(fields[2]);
    if (!source || !target || !readNumbers(fields, record))
        return LineRead::Damaged;
    // Undo never resolves a path against whatever folder it happens to run in.
    if (source->empty() || target->empty() || source->front() != '/' || target->front() != '/')
        return LineRead::Relative;
    record.source = *source;
    record.target = *target;
    return LineRead::Ok;
}

} // namespace

std::string batchLogPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + std::string(name);
}

bool BatchJournalWriter::start(const std::string& folder, BatchAct act) {
    if (!m_file.create(batchLogPath(folder, kBatchJournalName)))
        return false;
    std::string header(kBatchJournalMagic);
    header += "\t" + std::string(kFormatVersion) + "\tkarv-tessil " KARV_VERSION "\t" +
              files::journalRunId() + "\t" + files::journalUtcNow() + "\t" + std::string(actWord(act));
    if (!m_file.writeLine(header)) {
        m_file.close();
        return false;
    }
    return true;
}

bool BatchJournalWriter::reopen(const std::string& folder) {
    return m_file.reopen(batchLogPath(folder, kBatchJournalName));
}

bool BatchJournalWriter::append(const BatchRecord& record) {
    std::string line(actWord(record.act));
    line += "\t" + escaped(record.source) + "\t" + escaped(record.target);
    const files::Identity& id = record.identity;
    if (record.identityKnown)
        line += "\t" + std::to_string(id.device) + "\t" + std::to_string(id.inode) + "\t" +
                std::to_string(id.size) + "\t" + std::to_string(id.modifiedNs) + "\t" +
                std::to_string(id.changedNs);
    else
        line += "\t-\t-\t-\t-\t-";
    if (record.identityKnown && record.folderKnown)
        line += "\t" + std::to_string(record.folderDevice) + "\t" + std::to_string(record.folderInode);
    else
        line += "\t-\t-";
    return m_file.writeLine(line);
}

bool BatchJournalWriter::appendUndone(std::size_t recordNumber) {
    return m_file.writeLine(std::string(kUndoneKind) + "\t" + std::to_string(recordNumber));
}

BatchJournalState readBatchJournal(const std::string& folder, BatchJournal& journal, std::string& problem) {
    journal = BatchJournal{};
    const std::string path = batchLogPath(folder, kBatchJournalName);
    std::string content;
    bool missing = false;
    if (!settingsio::readWholeFile(path, content, &missing)) {
        if (missing)
            return BatchJournalState::Missing;
        problem = batchJournalUnreadableText(path);
        return BatchJournalState::Refused;
    }
    auto refuse = [&](std::string text) {
        problem = std::move(text);
        journal = BatchJournal{};
        return BatchJournalState::Refused;
    };
    const auto lines = files::journalLines(content);
    if (lines.empty())
        return refuse(batchJournalForeignText(path));
    const auto header = files::journalFields(lines.front());
    if (header.size() != 6 || header[0] != kBatchJournalMagic || header[1] != kFormatVersion ||
        !actOf(header[5], journal.act))
        return refuse(batchJournalForeignText(path));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = files::journalFields(lines[i]);
        if (fields.size() == 2 && fields[0] == kUndoneKind) {
            std::uint64_t number = 0;
            if (!files::journalNumber(fields[1], number) || number == 0 || number > journal.records.size())
                return refuse(batchJournalDamagedText(path));
            journal.undone[number - 1] = true;
            continue;
        }
        BatchRecord record;
        if (readRecord(fields, record) != LineRead::Ok)
            return refuse(batchJournalDamagedText(path));
        journal.records.push_back(std::move(record));
        journal.undone.push_back(false);
    }
    return BatchJournalState::Read;
}

} // namespace karv
