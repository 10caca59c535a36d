#include "actions/ListActions.h"

#include "text/Encoding.h"
#include "text/FileKind.h"
#include "text/NameText.h"
#include "text/TextLoader.h"
#include "text/ViewTexts.h"

namespace karv {

namespace {

std::string number(std::size_t value) {
    return std::to_string(value);
}

} // namespace

std::string pathListText(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths)
        text.append(path).append("\n");
    return text;
}

ListActions::ListActions(ActionRows& rows, ActionWindow& window, ActionServices services,
                         files::FileOps& files)
    : m_rows(rows), m_window(window), m_services(services), m_files(files) {}

void ListActions::waitWithEvents(int milliseconds) {
    // Counted in steps rather than read from the clock, so a clock that stands still cannot hang it.
    for (int waited = 0; waited < milliseconds; waited += 10) {
        m_window.sleepMs(10);
        m_window.pump();
    }
}

void ListActions::openSelected(bool open) {
    const std::string verb = open ? "打开" : "定位到目录";
    const ActionButton button = open ? ActionButton::Open : ActionButton::Locate;
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (selected.empty()) {
        m_services.questioner.showMessage("请先选择要" + verb + "的文件！");
        return;
    }
    if (selected.size() > 1 && !m_services.questioner.askOkCancel("当前选择了 " + number(selected.size()) +
                                                                  " 个文件，确定要将它们都" + verb + "吗？"))
        return;
    m_window.showState(button, ButtonState::Working);
    for (const std::size_t index : selected) {
        m_window.pump();
        // The events handled meanwhile may have shortened the list.
        if (index >= m_rows.rowCount())
            continue;
        const std::string path = m_rows.row(index).path();
        if (open) {
            m_services.shell.openFile(path);
            waitWithEvents(100);
        } else {
            m_services.shell.showInFileManager(path);
            waitWithEvents(500);
        }
    }
    m_window.showState(button, ButtonState::Idle);
}

void ListActions::showInViewer(std::size_t index) {
    if (index >= m_rows.rowCount())
        return;
    const ResultRow row = m_rows.row(index);
    // Decoding a picture or a program as text only shows noise.
    if (const FileKindInfo kind = fileKindOf(row.path()); kind.kind != FileKind::Text) {
        m_window.setViewerBinary(row.path(), isImageKind(kind.kind), binaryFileText(kind),
                                 "(" + std::string(fileKindName(kind.kind)) + ") " + displayText(row.name));
        return;
    }
    const LoadedText loaded = loadFileText(row.path(), [this] { m_window.pump(); });
    m_window.setViewerContent(loaded.text, "(编码:" + std::string(encodingDisplayName(loaded.encodingCode)) +
                                               ") " + displayText(row.name));
}

void ListActions::viewSelected() {
    m_window.showViewer();
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (!selected.empty())
        showInViewer(selected.front());
}

void ListActions::refreshViewer() {
    if (!m_window.viewerOpen())
        return;
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (!selected.empty())
        showInViewer(selected.front());
}

void ListActions::copySelected(ActionButton button, bool names) {
    m_window.showState(button, ButtonState::Working);
    // The text is what the list shows (names that are not UTF-8 decoded, as the list decodes them);
    // the file URLs carry the exact bytes, so a program that takes them reaches the very files.
    std::string text;
    std::vector<std::string> uris;
    for (const std::size_t index : m_rows.selectedRows()) {
        if (index >= m_rows.rowCount())
            continue;
        const ResultRow row = m_rows.row(index);
        const std::string shownName = displayText(row.name);
        text.append(names ? mainNamePart(shownName) : displayText(row.folder) + shownName).append("\n");
        uris.push_back("file://" + files::encodePathForUrl(row.path()));
        m_window.pump();
    }
    m_services.clipboard.setText(text, uris);
    m_window.showState(button, ButtonState::Done);
    waitWithEvents(1000);
    m_window.showState(button, ButtonState::Idle);
}

void ListActions::copySelectedPaths() {
    copySelected(ActionButton::CopyPaths, false);
}

void ListActions::copySelectedNames() {
    copySelected(ActionButton::CopyNames, true);
}

void ListActions::exportPathList() {
    const std::string file = m_services.questioner.chooseSaveFile(kExportTitle, kExportFilter, "txt");
    if (file.empty())
        return;
    m_window.showState(ActionButton::Export, ButtonState::Working);
    std::vector<std::string> paths;
    for (std::size_t index = 0; index < m_rows.rowCount(); ++index) {
        paths.push_back(m_rows.row(index).path());
        m_window.pump();
    }
    // On failure the old file, if any, stays whole; the user learns why nothing was written.
    if (const files::Result written = m_files.writeFile(file, pathListText(paths)); !written.ok()) {
        m_window.showState(ActionButton::Export, ButtonState::Idle);
        m_services.questioner.showMessage(exportFailureText(file, written.error));
        return;
    }
    m_window.showState(ActionButton::Export, ButtonState::Done);
    waitWithEvents(1000);
    m_window.showState(ActionButton::Export, ButtonState::Idle);
}

std::vector<BatchRow> ListActions::selectedBatchRows(const std::vector<std::size_t>& selected) {
    std::vector<BatchRow> rows;
    rows.reserve(selected.size());
    for (const std::size_t index : selected)
        rows.push_back({index, index < m_rows.rowCount() ? m_rows.row(index) : ResultRow()});
    return rows;
}

std::optional<BatchRequest> ListActions::moveOrCopyRequest(bool move, const std::string& lastFolder) {
    const std::string verb = move ? "移动" : "复制";
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (selected.empty()) {
        m_services.questioner.showMessage("请先选择要" + verb + "的文件！");
        return std::nullopt;
    }
    std::string folder = m_services.questioner.chooseFolder(
        "将选择的 " + number(selected.size()) + " 个文件" + verb + "到的目录：", lastFolder);
    if (folder.empty())
        return std::nullopt;
    if (folder.back() != '/')
        folder += '/';
    return BatchRequest{move ? BatchAct::Move : BatchAct::Copy, selectedBatchRows(selected), folder,
                        kConflictNone};
}

std::optional<BatchRequest> ListActions::deleteRequest() {
    // The first answer may be stale; the second is the key as it is now.
    m_services.keyboard.ctrlHeld();
    m_window.pump();
    const bool permanent = m_services.keyboard.ctrlHeld();
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (selected.empty()) {
        m_services.questioner.showMessage("请先选择要删除的文件！");
        return std::nullopt;
    }
    const std::string count = number(selected.size());
    // Files that only share a size or a name may well differ: the user is told before they go.
    std::string warning;
    for (const std::size_t index : selected) {
        if (m_rows.row(index).weakMatch) {
            warning = kWeakMatchWarning;
            break;
        }
    }
    // A delete for good cannot be undone: its question warns, and Enter alone does not confirm it.
    if (permanent ? !m_services.questioner.askDestructive("确定要彻底删除选择的 " + count + " 个文件吗？" +
                                                          std::string(kCannotBeUndone) + warning)
                  : !m_services.questioner.askOkCancel("确定要将选择的 " + count + " 个文件移到回收站吗？" +
                                                       warning))
        return std::nullopt;
    return BatchRequest{
        permanent ? BatchAct::Remove : BatchAct::Trash, selectedBatchRows(selected), {}, kConflictNone};
}

} // namespace karv
