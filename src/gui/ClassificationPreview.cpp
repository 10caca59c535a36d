#include "gui/ClassificationPreview.h"

#include "gui/WidgetBuilder.h"
#include "platform/QtDesktop.h"
#include "text/NameText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace karv {

using namespace ui;

void PreviewRows::fileFailed(const std::string&, files::FailureReason reason) {
    m_failure = reason;
}

void PreviewRows::fileDone(const std::string& source, const std::string& target, bool ok) {
    m_rows.push_back({source, target, ok ? std::nullopt : m_failure});
    m_failure.reset();
}

ClassificationPreviewDialog::ClassificationPreviewDialog(const PreviewRows& rows,
                                                         const ClassificationSummary& summary, bool copy,
                                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(u8("归类预览"));
    setWindowTitle(u8("归类预览"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    QString summaryLine = qs(
        classificationSummaryLine(true, summary.stopped, summary.processed, summary.failures, std::string()));
    if (!summary.reasons.empty())
        summaryLine +=
            "\n" + qs(summary.reasons.summary(+[](const std::string& path) { return displayText(path); }));
    m_summary = named(new QLabel(summaryLine, this), "标签预览摘要");
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    m_list = named(new QTreeWidget(this), "预览列表");
    m_list->setAccessibleName(u8("预览列表"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({u8("源文件"), u8("目标文件"), u8("结果")});
    const QString done = u8(copy ? "将复制" : "将移动");
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.rows().size()));
    for (const PreviewRows::Row& row : rows.rows()) {
        QString result = done;
        if (row.failure)
            result = u8("失败：") + qs(files::reasonText(*row.failure));
        else if (row.source == row.target)
            result = u8("已在目标位置");
        items << new QTreeWidgetItem(
            QStringList{qs(displayText(row.source)), qs(displayText(row.target)), result});
    }
    m_list->addTopLevelItems(items);
    m_list->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_list->setColumnWidth(0, 360);
    m_list->setColumnWidth(1, 360);
    layout->addWidget(m_list, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = named(buttons->addButton(u8("关闭"), QDialogButtonBox::RejectRole), "按钮关闭");
    close->setAccessibleName(u8("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(880, 520);
}

QString ClassificationPreviewDialog::summaryText() const {
    return m_summary->text();
}

} // namespace karv
