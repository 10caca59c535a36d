#include "gui/KeepRuleControls.h"

#include "gui/WidgetBuilder.h"
#include "platform/QtDesktop.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace karv {

using namespace ui;

namespace {

std::vector<std::string> splitFolders(const std::string& text) {
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('|', start);
        if (end == std::string::npos)
            end = text.size();
        std::string folder = text.substr(start, end - start);
        const std::size_t first = folder.find_first_not_of(' ');
        const std::size_t last = folder.find_last_not_of(' ');
        if (first != std::string::npos)
            folders.push_back(folder.substr(first, last - first + 1));
        start = end + 1;
    }
    return folders;
}

} // namespace

KeepRuleControls::KeepRuleControls(
    QWidget* parent, QGridLayout* grid, int row,
    std::function<std::string(std::string_view prompt, const std::string& initial)> chooseFolder)
    : QObject(parent), m_chooseFolder(std::move(chooseFolder)) {
    m_combo = named(new QComboBox(parent), "组合框保留规则");
    m_combo->addItems(
        {u8("最后找到"), u8("最新"), u8("最旧"), u8("路径最短"), u8("路径最长"), u8("参考目录")});
    m_combo->setCurrentIndex(0);
    m_combo->setAccessibleName(u8("保留"));
    m_combo->setToolTip(u8("每组重复文件中保留哪一个：全部减一不列出它，“选择每组除保留外的文件”不选它"));
    m_folders = lineEdit("编辑框参考目录", "", parent);
    m_folders->setAccessibleName(u8("参考目录"));
    m_folders->setPlaceholderText(u8("参考目录，多个以|隔开"));
    m_folders->setToolTip(u8("这些目录下的文件总是保留，不会被列出；整组都在其中的重复文件不列出"));
    m_choose = button("按钮参考目录", "...", parent);
    m_choose->setAccessibleName(u8("添加参考目录"));
    m_choose->setFixedWidth(40);

    auto* label = ui::label("标签保留", "保留：", parent);
    label->setBuddy(m_combo);
    grid->addWidget(label, row, 0);
    auto* choice = new QHBoxLayout;
    choice->addWidget(m_combo);
    choice->addStretch(1);
    grid->addLayout(choice, row, 1);
    auto* folders = new QHBoxLayout;
    folders->setSpacing(6);
    folders->addWidget(m_folders, 1);
    folders->addWidget(m_choose);
    grid->addLayout(folders, row + 1, 1);

    connect(m_combo, &QComboBox::currentIndexChanged, this, [this] {
        setEnabled(m_enabled);
        emit changed();
    });
    connect(m_choose, &QPushButton::clicked, this, &KeepRuleControls::addFolder);
}

KeepRule KeepRuleControls::rule() const {
    switch (m_combo->currentIndex()) {
    case 1:
        return KeepRule::Newest;
    case 2:
        return KeepRule::Oldest;
    case 3:
        return KeepRule::Shortest;
    case 4:
        return KeepRule::Longest;
    default:
        return KeepRule::Last;
    }
}

std::vector<std::string> KeepRuleControls::referenceFolders() const {
    if (m_combo->currentIndex() != kReferenceItem)
        return {};
    return splitFolders(us(m_folders->text()));
}

void KeepRuleControls::setEnabled(bool enabled) {
    m_enabled = enabled;
    m_combo->setEnabled(enabled);
    const bool folders = enabled && m_combo->currentIndex() == kReferenceItem;
    m_folders->setEnabled(folders);
    m_choose->setEnabled(folders);
}

void KeepRuleControls::addFolder() {
    const std::vector<std::string> known = splitFolders(us(m_folders->text()));
    const std::string folder =
        m_chooseFolder("选择参考目录（其中的文件总是保留）：", known.empty() ? std::string() : known.back());
    if (folder.empty())
        return;
    for (const std::string& one : known)
        if (one == folder)
            return;
    QString text = m_folders->text().trimmed();
    if (!text.isEmpty())
        text += QStringLiteral("|");
    m_folders->setText(text + qs(folder));
}

} // namespace karv
