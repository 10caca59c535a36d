#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace karv {

/// "目标文件已存在": asks whether to overwrite, skip or rename when a batch move or copy meets a
/// file of the same name. The answer is a ConflictChoice; closing the window answers none.
class TargetExistsDialog : public QDialog {
    Q_OBJECT
public:
    TargetExistsDialog(const QString& target, bool sameForRest, QWidget* parent = nullptr);

    int choice() const { return m_choice; }
    bool sameForRest() const;

    /// Shows the dialog modally and returns its answer; `sameForRest` follows its check box.
    static int ask(const QString& target, bool& sameForRest, QWidget* parent);

private:
    void answer(int choice);

    QLineEdit* m_target = nullptr;
    QCheckBox* m_same = nullptr;
    int m_choice = 0;
};

} // namespace karv
