#include "gui/TargetExistsDialog.h"

#include "actions/ListActions.h"
#include "desktop/Desktop.h"
#include "gui/WidgetBuilder.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace karv {

using namespace ui;

TargetExistsDialog::TargetExistsDialog(const QString& target, bool sameForRest, Questioner& questioner,
                                       QWidget* parent)
    : QDialog(parent), m_questioner(questioner) {
    setWindowTitle(u8("目标文件已存在"));
    auto* column = new QVBoxLayout(this);
    m_target = lineEdit("编辑框1", "", this);
    m_target->setText(target);
    m_target->setReadOnly(true);
    m_target->setCursorPosition(0);
    m_target->setMinimumWidth(420);
    column->addWidget(m_target);

    auto* row = new QHBoxLayout;
    const std::pair<const char*, const char*> buttons[] = {
        {"按钮1", "覆盖目标文件"}, {"按钮2", "跳过目标文件"}, {"按钮3", "重命名目标文件"}};
    const int choices[] = {kConflictOverwrite, kConflictSkip, kConflictRename};
    for (int i = 0; i < 3; ++i) {
        QPushButton* action = button(buttons[i].first, buttons[i].second, this);
        action->setAutoDefault(false);
        connect(action, &QPushButton::clicked, this, [this, choice = choices[i]] { answer(choice); });
        row->addWidget(action);
    }
    column->addLayout(row);
    m_same = check("选择框1", "后面执行相同操作", this);
    m_same->setChecked(sameForRest);
    column->addWidget(m_same);
}

void TargetExistsDialog::answer(int choice) {
    if (choice == kConflictOverwrite && sameForRest() &&
        !m_questioner.askDestructive("确定要覆盖目标文件，并且后面遇到的同名目标文件也都直接覆盖吗？"
                                     "被覆盖的文件无法恢复。"))
        return;
    m_choice = choice;
    accept();
}

int TargetExistsDialog::ask(const QString& target, bool& sameForRest, Questioner& questioner,
                            QWidget* parent) {
    TargetExistsDialog dialog(target, sameForRest, questioner, parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
    sameForRest = dialog.sameForRest();
    return dialog.choice();
}

bool TargetExistsDialog::sameForRest() const {
    return m_same->isChecked();
}

} // namespace karv
