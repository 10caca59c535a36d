#pragma once

#include "values/Options.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QObject>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace karv {

/// The duplicate group's choice of the member that is kept: the drop-down 组合框保留规则 and, for
/// its last item 参考目录, the reference folders ("|" between them) with a chooser that adds one.
/// Named as the settings store expects, so both are saved with the other control states.
class KeepRuleControls : public QObject {
    Q_OBJECT
public:
    /// The item of 组合框保留规则 that keeps the files under the reference folders.
    static constexpr int kReferenceItem = 5;

    /// Adds the controls to `grid` from `row` on (two rows). `chooseFolder` asks for a folder,
    /// opening on the one given; it returns "" when cancelled.
    KeepRuleControls(
        QWidget* parent, QGridLayout* grid, int row,
        std::function<std::string(std::string_view prompt, const std::string& initial)> chooseFolder);

    /// The rule for the drop-down's item; 参考目录 keeps the member met last when no member lies
    /// under a reference folder.
    KeepRule rule() const;
    /// The reference folders, only while 参考目录 is chosen.
    std::vector<std::string> referenceFolders() const;
    /// Follows the duplicate options: the folders only matter, and can be edited, with 参考目录.
    void setEnabled(bool enabled);

    QComboBox* combo() const { return m_combo; }
    QLineEdit* folders() const { return m_folders; }

signals:
    void changed();

private:
    void addFolder();

    QComboBox* m_combo = nullptr;
    QLineEdit* m_folders = nullptr;
    QPushButton* m_choose = nullptr;
    bool m_enabled = true;
    std::function<std::string(std::string_view, const std::string&)> m_chooseFolder;
};

} // namespace karv
