#include "classify/ClassificationJournal.h"

#include "classify/ClassificationLogs.h"
#include "settings/SettingsFiles.h"
#include "text/NameText.h"

namespace karv {

namespace {

constexpr std::string_view kFormatVersion = "1";
constexpr std::string_view kUndoneKind = "undone";

} // namespace

std::string journalEscape(std::string_view bytes) {
    // A path that is valid UTF-8 stays readable; any other keeps the journal itself valid UTF-8.
    return files::journalEscape(bytes, !isValidUtf8(bytes));
}

std::optional<std::string> journalUnescape(std::string_view text) {
    return files::journalUnescape(text);
}

JournalWriter::~JournalWriter() {
    close();
}

bool JournalWriter::start(const std::string& folder, bool copy) {
    close();
    if (!m_file.create(logPath(folder, kJournalName)))
        return false;
    std::string header(kJournalMagic);
    header += '\t';
    header += kFormatVersion;
    header += "\tkarv-tessil " KARV_VERSION "\t" + files::journalRunId() + "\t" + files::journalUtcNow() +
              "\t" + (copy ? "copy" : "move");
    if (!m_file.writeLine(header)) {
        close();
        return false;
    }
    return true;
}

bool JournalWriter::reopen(const std::string& folder) {
    return m_file.reopen(logPath(folder, kJournalName));
}

bool JournalWriter::append(const JournalRecord& record) {
    std::string line = record.copy ? "copy\t" : "move\t";
    line += journalEscape(record.source) + "\t" + journalEscape(record.target);
    if (record.identityKnown)
        line += "\t" + std::to_string(record.device) + "\t" + std::to_string(record.inode) + "\t" +
                std::to_string(record.size) + "\t" + std::to_string(record.modifiedNs);
    else
        line += "\t-\t-\t-\t-";
    return m_file.writeLine(line);
}

bool JournalWriter::appendUndone(std::size_t recordNumber) {
    return m_file.writeLine(std::string(kUndoneKind) + "\t" + std::to_string(recordNumber));
}

void JournalWriter::close() {
    m_file.close();
}

JournalState readJournal(const std::string& folder, Journal& journal, std::string& problem) {
    journal = Journal{};
    const std::string path = logPath(folder, kJournalName);
    std::string content;
    bool missing = false;
    if (!settingsio::readWholeFile(path, content, &missing)) {
        if (missing)
            return JournalState::Missing;
        problem = "无法读取归类记录（" + displayText(path) + "）";
        return JournalState::Refused;
    }
    auto refuse = [&](std::string_view why) {
        problem = std::string(why) + "（" + displayText(path) + "）";
        journal = Journal{};
        return JournalState::Refused;
    };
    std::size_t from = 0;
    bool headerSeen = false;
    for (;;) {
        const auto end = content.find('\n', from);
        if (end == std::string::npos)
            break; // an unfinished last line: its operation was never recorded as done
        const std::string_view line(content.data() + from, end - from);
        from = end + 1;
        const auto fields = files::journalFields(line);
        if (!headerSeen) {
            if (fields.size() != 6 || fields[0] != kJournalMagic || fields[1] != kFormatVersion ||
                (fields[5] != "move" && fields[5] != "copy"))
                return refuse("这不是本程序写下的归类记录，不予撤销");
            journal.copy = fields[5] == "copy";
            journal.runId = std::string(fields[3]);
            headerSeen = true;
            continue;
        }
        if (fields.size() == 2 && fields[0] == kUndoneKind) {
            std::size_t number = 0;
            if (!files::journalNumber(fields[1], number) || number == 0 || number > journal.records.size())
                return refuse("归类记录已损坏，无法撤销");
            journal.undone[number - 1] = true;
            continue;
        }
        if (fields.size() != 7 || (fields[0] != "move" && fields[0] != "copy"))
            return refuse("归类记录已损坏，无法撤销");
        JournalRecord record;
        record.copy = fields[0] == "copy";
        const auto source = journalUnescape(fields[1]);
        const auto target = journalUnescape(fields[2]);
        if (!source || !target)
            return refuse("归类记录已损坏，无法撤销");
        // Undo never resolves a path against whatever folder it happens to run in.
        if (source->empty() || target->empty() || source->front() != '/' || target->front() != '/')
            return refuse("归类记录中有相对路径，不予撤销");
        record.source = *source;
        record.target = *target;
        if (fields[3] != "-") {
            record.identityKnown = files::journalNumber(fields[3], record.device) &&
                                   files::journalNumber(fields[4], record.inode) &&
                                   files::journalNumber(fields[5], record.size) &&
                                   files::journalNumber(fields[6], record.modifiedNs);
            if (!record.identityKnown)
                return refuse("归类记录已损坏，无法撤销");
        }
        journal.records.push_back(std::move(record));
        journal.undone.push_back(false);
    }
    if (!headerSeen)
        return refuse("这不是本程序写下的归类记录，不予撤销");
    return JournalState::Read;
}

LogFolderLock::Outcome LogFolderLock::acquire(const std::string& folder) {
    switch (m_lock.acquire(logPath(folder, kLockName))) {
    case files::FolderLock::Outcome::Held:
        return Outcome::Held;
    case files::FolderLock::Outcome::Busy:
        return Outcome::Busy;
    case files::FolderLock::Outcome::Failed:
        break;
    }
    return Outcome::Failed;
}

std::string busyLogFolderMessage(const std::string& folder) {
    return "另一个归类或撤销正在使用记录文件夹（" + displayText(folder) + "），请等它结束后再试。";
}

} // namespace karv
