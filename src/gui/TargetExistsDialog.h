#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace karv {

class Questioner;

/// "目标文件已存在": asks whether to overwrite, skip or rename when a batch move or copy meets a
/// file of the same name. The answer is a ConflictChoice; closing the window answers none.
/// Overwriting with the check box on replaces every later target of the batch without asking, so
/// that answer is confirmed first through `questioner`'s warning question; declining it leaves the
/// dialog open for another answer.
class TargetExistsDialog : public QDialog {
    Q_OBJECT
public:
    TargetExistsDialog(const QString& target, bool sameForRest, Questioner& questioner,
                       QWidget* parent = nullptr);

    int choice() const { return m_choice; }
    bool sameForRest() const;

    /// Shows the dialog modally and returns its answer; `sameForRest` follows its check box.
    static int ask(const QString& target, bool& sameForRest, Questioner& questioner, QWidget* parent);

private:
    void answer(int choice);

    Questioner& m_questioner;
    QLineEdit* m_target = nullptr;
    QCheckBox* m_same = nullptr;
    int m_choice = 0;
};

} // namespace karv
