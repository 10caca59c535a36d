#pragma once

#include "actions/ListActions.h"
#include "app/AppState.h"
#include "files/FileOps.h"
#include "gui/MainListActions.h"

#include <functional>
#include <string>

#include <QObject>

class QAction;
class QMenu;

namespace karv {

/// The result list's own files: saving the list and loading a saved one (rows whose file changed
/// or vanished since are greyed and refused by every action), and taking back the last batch
/// (撤销上次操作, Ctrl+Z) with its summary under the list. Its menu opens on a right click beside
/// the rows; a right click on a row still locates that file.
class MainListFiles : public QObject {
    Q_OBJECT
public:
    MainListFiles(AppState& state, const MainListActions::Parts& parts,
                  std::function<ActionServices()> services);

    QMenu* menu() const { return m_menu; }
    /// Puts the rows of a saved list in place of the list's rows. False, with the reason shown,
    /// when the file cannot be read or is not a saved list; the list then stays as it was.
    bool loadList(const std::string& file);
    void saveList();
    void undoLastBatch();

private:
    QAction* addItem(const char* name, std::string_view caption);
    void showText(const std::string& text);

    AppState& m_state;
    MainListActions::Parts m_parts;
    std::function<ActionServices()> m_services;
    files::FileOps m_files;
    QMenu* m_menu;
};

} // namespace karv
