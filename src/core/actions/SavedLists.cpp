#include "actions/SavedLists.h"

namespace karv {

namespace {

ListedState stateOf(const RowStamp& s, const std::optional<files::Identity>& now,
                    const std::optional<files::Identity>& folder) {
    if (!now)
        return ListedState::Vanished;
    const bool same =
        now->device == s.device && now->inode == s.inode && now->size == s.size &&
        now->modifiedNs == s.modifiedNs && now->changedNs == s.changedNs &&
        (!s.folderKnown || (folder && folder->device == s.folderDevice && folder->inode == s.folderInode));
    return same ? ListedState::AsListed : ListedState::Changed;
}

// A loaded row with what its file is now.
LoadedRow lookedAt(ResultRow&& row, files::FileOps& files) {
    LoadedRow loaded{std::move(row), ListedState::AsListed};
    RowStamp& s = loaded.row.stamp;
    const auto now = files.identity(loaded.row.path());
    const auto folder = files.identity(loaded.row.folder.empty() ? "." : loaded.row.folder);
    if (s.known) {
        loaded.state = stateOf(s, now, folder);
    } else if (now) {
        s = {true, now->device, now->inode, now->size, now->modifiedNs, now->changedNs, false, 0, 0};
        if (folder) {
            s.folderKnown = true;
            s.folderDevice = folder->device;
            s.folderInode = folder->inode;
        }
        loaded.row.itemValue = static_cast<std::uint32_t>(now->size);
    } else {
        loaded.state = ListedState::Vanished;
    }
    return loaded;
}

} // namespace

std::string savedListText(const std::vector<ResultRow>& rows) {
    std::string text;
    for (const ResultRow& row : rows)
        text += rowListLine(row);
    return text;
}

bool loadSavedList(std::string_view content, files::FileOps& files, std::vector<LoadedRow>& rows,
                   RowListError& error) {
    rows.clear();
    if (loadSavedList(
            content, files, [&rows](LoadedRow&& row) { rows.push_back(std::move(row)); }, error))
        return true;
    rows.clear();
    return false;
}

bool loadSavedList(std::string_view content, files::FileOps& files,
                   const std::function<void(LoadedRow&&)>& each, RowListError& error) {
    return readRowList(
        content, [&](ResultRow&& row) { each(lookedAt(std::move(row), files)); }, error);
}

} // namespace karv
