#pragma once

#include "files/FileOps.h"
#include "scan/ResultRow.h"
#include "scan/RowList.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// How a loaded row's file is now, against the identity the list recorded.
enum class ListedState { AsListed, Changed, Vanished };

struct LoadedRow {
    ResultRow row;
    ListedState state = ListedState::AsListed;
};

/// The rows as a saved list (see scan/RowList.h).
std::string savedListText(const std::vector<ResultRow>& rows);

/// Reads a saved list and looks at every file. A row with an identity keeps it, so every action
/// refuses the row while its file is changed or gone; a row without one (a list a script wrote)
/// takes the identity its file has now. False with the bad line in `error` for a list that cannot
/// be read; no row is loaded then.
bool loadSavedList(std::string_view content, files::FileOps& files, std::vector<LoadedRow>& rows,
                   RowListError& error);
/// The same, handing each row on as it is read and looked at, so a long list is never held whole
/// as rows. On failure the rows handed on before the bad line are the caller's to drop.
bool loadSavedList(std::string_view content, files::FileOps& files,
                   const std::function<void(LoadedRow&&)>& each, RowListError& error);

} // namespace karv
