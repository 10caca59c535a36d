#include "actions/ListActions.h"

#include "files/FailureReasons.h"
#include "text/Encoding.h"
#include "text/NameText.h"
#include "text/TextLoader.h"
#include "values/ValueText.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace karv {

namespace {

std::string number(std::size_t value) {
    return std::to_string(value);
}

// "(N:i) 正在移动 >> path", built by appending (chains of + on temporaries trip a GCC 12 warning).
std::string progressLine(std::size_t total, std::size_t index, const std::string& doing,
                         const std::string& path) {
    std::string line = "(";
    line.append(number(total)).append(":").append(number(index)).append(") ");
    line.append(doing).append(" >> ").append(displayText(path));
    return line;
}

} // namespace

std::string pathListText(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths)
        text.append(path).append("\n");
    return text;
}

std::string exportFailureText(const std::string& file, int error) {
    std::string reason;
    if (error == EISDIR)
        reason = "同名的文件夹已存在";
    else if (error == ELOOP)
        reason = "符号链接过多或成环";
    else if (const files::FailureReason known = files::reasonOf(error); known != files::FailureReason::Other)
        reason = files::reasonText(known);
    else
        reason.append(files::reasonText(known)).append("：").append(std::strerror(error));
    return "导出失败（" + reason + "），" + displayText(file) + " 没有写入。";
}

ListActions::ListActions(AppState& state, ActionRows& rows, ActionWindow& window, ActionServices services,
                         files::FileOps& files)
    : m_state(state), m_rows(rows), m_window(window), m_services(services), m_files(files) {}

std::string_view ListActions::idleCaption(ActionButton button) {
    switch (button) {
    case ActionButton::Open:
        return "打开";
    case ActionButton::Locate:
        return "定位";
    case ActionButton::View:
        return "查看";
    case ActionButton::CopyPaths:
        return "复制路径";
    case ActionButton::CopyNames:
        return "复制名称";
    case ActionButton::Export:
        return "导出";
    case ActionButton::Copy:
        return "复制";
    case ActionButton::Move:
        return "移动";
    case ActionButton::Delete:
        return "删除";
    }
    return {};
}

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
    m_window.setCaption(button, open ? "打开中" : "定位中");
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
    m_window.setCaption(button, idleCaption(button));
}

void ListActions::showInViewer(std::size_t index) {
    if (index >= m_rows.rowCount())
        return;
    const ResultRow row = m_rows.row(index);
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
    m_window.setCaption(button, "复制中");
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
    m_window.setCaption(button, "复制完成");
    waitWithEvents(1000);
    m_window.setCaption(button, idleCaption(button));
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
    m_window.setCaption(ActionButton::Export, "导出中");
    std::vector<std::string> paths;
    for (std::size_t index = 0; index < m_rows.rowCount(); ++index) {
        paths.push_back(m_rows.row(index).path());
        m_window.pump();
    }
    // On failure the old file, if any, stays whole; the user learns why nothing was written.
    if (const files::Result written = m_files.writeFile(file, pathListText(paths)); !written.ok()) {
        m_window.setCaption(ActionButton::Export, idleCaption(ActionButton::Export));
        m_services.questioner.showMessage(exportFailureText(file, written.error));
        return;
    }
    m_window.setCaption(ActionButton::Export, "完成");
    waitWithEvents(1000);
    m_window.setCaption(ActionButton::Export, idleCaption(ActionButton::Export));
}

std::string ListActions::renamedTarget(const std::string& folder, const std::string& name) {
    std::string candidate = name;
    for (std::uint64_t k = 2; m_files.exists(folder + candidate); ++k)
        candidate = numberedName(name, k);
    return candidate;
}

files::Listed ListActions::listedOf(const ResultRow& row, int& unknown) {
    files::Listed listed{row.path(), {}};
    const RowStamp& stamp = row.stamp;
    listed.identity = {stamp.device, stamp.inode, stamp.size, stamp.modifiedNs, stamp.changedNs, false};
    listed.folderKnown = stamp.folderKnown;
    listed.folderDevice = stamp.folderDevice;
    listed.folderInode = stamp.folderInode;
    // Without a stamp nothing tells that the path still names the listed file: never guessed.
    unknown = stamp.known ? 0 : (m_files.exists(listed.path) ? files::kNotAsListed : ENOENT);
    return listed;
}

std::string ListActions::failuresText(const files::FailureTally& failures) {
    if (failures.empty())
        return {};
    return "。" + failures.summary([](const std::string& path) { return displayText(path); });
}

void ListActions::moveOrCopySelected(bool move) {
    const std::string verb = move ? "移动" : "复制";
    const ActionButton button = move ? ActionButton::Move : ActionButton::Copy;
    if (m_window.caption(button) != idleCaption(button)) {
        m_window.setCaption(button, "停止中");
        m_state.operationIdle = true;
        return;
    }
    if (!m_state.operationIdle) {
        m_services.questioner.showMessage(kBusyRefusal);
        return;
    }
    m_sameForRest = false;
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (selected.empty()) {
        m_services.questioner.showMessage("请先选择要" + verb + "的文件！");
        return;
    }
    const std::size_t total = selected.size();
    std::string folder = m_services.questioner.chooseFolder(
        "将选择的 " + number(total) + " 个文件" + verb + "到的目录：", m_window.tag(button));
    if (folder.empty())
        return;
    if (folder.back() != '/')
        folder += '/';
    m_window.setTag(button, folder);

    m_state.scanStartTick = m_services.clock.tickMs();
    m_window.setCaption(button, "停止");
    m_state.operationIdle = false;
    m_window.setProgressMaximum(static_cast<int>(total));
    m_window.setProgressPosition(0);
    m_window.setProgressText("");

    std::size_t done = 0;
    files::FailureTally failures;
    for (std::size_t i = 1; i <= total; ++i) {
        m_window.pump();
        // A stop clicked while the last file was being handled ends the batch before the next one.
        if (m_state.operationIdle)
            break;
        m_window.setProgressPosition(static_cast<int>(i));
        const std::size_t index = selected[i - 1];
        if (index >= m_rows.rowCount())
            continue;
        const ResultRow row = m_rows.row(index);
        const std::string source = row.path();
        m_window.setProgressText(progressLine(total, i, "正在" + verb, source));
        std::string name = row.name;
        files::Existing existing = files::Existing::Keep;
        std::optional<files::Identity> replacing;
        if (m_files.exists(folder + name)) {
            replacing = m_files.entryIdentity(folder + name);
            if (!(m_sameForRest && m_conflictChoice != kConflictNone)) {
                m_conflictChoice = m_window.askTargetExists(folder + name, m_sameForRest);
                // A stop asked for while the question was open ends the batch before this file.
                if (m_conflictChoice == kConflictNone || m_state.operationIdle)
                    break;
            }
            if (m_conflictChoice == kConflictSkip) {
                if (m_state.operationIdle)
                    break;
                continue;
            }
            if (m_conflictChoice == kConflictRename)
                name = renamedTarget(folder, row.name);
            else
                existing = files::Existing::Replace;
        }
        // Only the file the list showed, unchanged, and over only the file the question was about.
        int error = 0;
        const files::Listed listed = listedOf(row, error);
        if (error == 0)
            error = (move ? m_files.moveListed(listed, folder + name, existing, replacing)
                          : m_files.copyListed(listed, folder + name, existing, replacing))
                        .error;
        if (error == 0) {
            if (move) {
                RowStamp stamp;
                if (const auto now = m_files.identity(folder + name)) {
                    stamp = {true, now->device, now->inode, now->size, now->modifiedNs, now->changedNs};
                    if (const auto into = m_files.identity(folder); into && into->isFolder) {
                        stamp.folderKnown = true;
                        stamp.folderDevice = into->device;
                        stamp.folderInode = into->inode;
                    }
                }
                m_rows.setRowPlace(index, folder, name, stamp);
            }
            ++done;
        } else {
            failures.add(error, source);
        }
        if (m_state.operationIdle)
            break;
    }
    m_window.setProgressPosition(0);
    m_window.setProgressText(
        verb + "完毕！共 " + number(total) + " 个文件，成功" + verb + " " + number(done) + " 个文件，耗时 " +
        elapsedText(m_services.clock.tickMs() - m_state.scanStartTick) + failuresText(failures));
    m_window.setCaption(button, idleCaption(button));
    m_state.operationIdle = true;
}

void ListActions::deleteSelected() {
    if (m_window.caption(ActionButton::Delete) != idleCaption(ActionButton::Delete)) {
        m_window.setCaption(ActionButton::Delete, "停止中");
        m_state.operationIdle = true;
        return;
    }
    if (!m_state.operationIdle) {
        m_services.questioner.showMessage(kBusyRefusal);
        return;
    }
    // The first answer may be stale; the second is the key as it is now.
    m_services.keyboard.ctrlHeld();
    m_window.pump();
    const bool permanent = m_services.keyboard.ctrlHeld();
    const std::vector<std::size_t> selected = m_rows.selectedRows();
    if (selected.empty()) {
        m_services.questioner.showMessage("请先选择要删除的文件！");
        return;
    }
    const std::size_t total = selected.size();
    const std::string count = number(total);
    // A delete for good cannot be undone: its question warns, and Enter alone does not confirm it.
    if (permanent ? !m_services.questioner.askDestructive("确定要彻底删除选择的 " + count + " 个文件吗？")
                  : !m_services.questioner.askOkCancel("确定要将选择的 " + count + " 个文件移到回收站吗？"))
        return;

    m_state.scanStartTick = m_services.clock.tickMs();
    m_window.setCaption(ActionButton::Delete, "停止");
    m_state.operationIdle = false;
    m_window.setProgressMaximum(static_cast<int>(total));
    m_window.setProgressPosition(0);
    m_window.setProgressText("");
    m_rows.scrollToFirstRow();

    std::size_t done = 0;
    files::FailureTally failures;
    // From the bottom up, so that removing a row does not shift the rows still to come.
    for (std::size_t n = total; n >= 1; --n) {
        m_window.pump();
        if (m_state.operationIdle)
            break;
        m_window.setProgressPosition(static_cast<int>(n));
        const std::size_t index = selected[n - 1];
        if (index >= m_rows.rowCount())
            continue;
        const ResultRow row = m_rows.row(index);
        const std::string path = row.path();
        m_window.setProgressText(progressLine(total, n, "正在删除", path));
        // Only the file the list showed, unchanged. A volume without a usable trash refuses; the
        // file then stays, never deleted for good instead.
        int error = 0;
        const files::Listed listed = listedOf(row, error);
        if (error == 0)
            error = (permanent ? m_files.removeListed(listed) : m_files.trashListed(listed)).error;
        if (error == 0) {
            m_rows.removeRow(index);
            ++done;
        } else {
            failures.add(error, path, !permanent);
        }
        if (m_state.operationIdle)
            break;
    }
    m_window.setProgressPosition(0);
    m_window.setProgressText(
        "删除完毕！共 " + count + " 个文件，成功删除 " + number(done) + " 个文件，耗时(" +
        elapsedText(m_services.clock.tickMs() - m_state.scanStartTick) + ")" + failuresText(failures));
    m_window.setCaption(ActionButton::Delete, idleCaption(ActionButton::Delete));
    m_state.operationIdle = true;
}

} // namespace karv
