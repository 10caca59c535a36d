#pragma once

#include "actions/ListActions.h"
#include "files/FileOps.h"
#include "gui/MainListActions.h"
#include "gui/WindowBusy.h"

#include <functional>
#include <string>

#include <QObject>

class QAction;
class QMenu;

namespace karv {

/// The result list's own files: saving the list and loading a saved one (rows whose file changed
/// or vanished since are greyed and refused by every action), and taking back the last batch
/// (撤销上次操作, Ctrl+Z) with its summary under the list. Its items join the list's context menu.
class MainListFiles : public QObject {
    Q_OBJECT
public:
    /// `dataFolder` holds the batches' journal; `menu` is the list's context menu.
    MainListFiles(WindowBusy& busy, std::string dataFolder, const MainListActions::Parts& parts, QMenu* menu,
                  std::function<ActionServices()> services);

    /// Puts the rows of a saved list in place of the list's rows. False, with the reason shown,
    /// when the file cannot be read or is not a saved list; the list then stays as it was.
    bool loadList(const std::string& file);
    void saveList();
    void undoLastBatch();

private:
    QAction* addItem(const char* name, std::string_view caption);
    void showText(const std::string& text);

    WindowBusy& m_busy;
    std::string m_dataFolder;
    MainListActions::Parts m_parts;
    std::function<ActionServices()> m_services;
    files::FileOps m_files;
    QMenu* m_menu;
};

} // namespace karv
