#pragma once

#include "classify/ClassificationRun.h"

#include <optional>
#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace karv {

/// What a preview run would do with each file, in the order the run took them.
class PreviewRows : public ClassificationSink {
public:
    struct Row {
        std::string source;
        std::string target; ///< the name the run would use (a renamed one when the first is taken)
        std::optional<files::FailureReason> failure;
    };

    void fileFailed(const std::string& source, files::FailureReason reason) override;
    void fileDone(const std::string& source, const std::string& target, bool ok) override;
    const std::vector<Row>& rows() const { return m_rows; }

private:
    std::vector<Row> m_rows;
    std::optional<files::FailureReason> m_failure; // reported just before the file's fileDone
};

/// 预览: the planned target of every file, with the files that would fail and why.
class ClassificationPreviewDialog : public QDialog {
    Q_OBJECT
public:
    /// `copy`: the run copies (保留原文件), else it moves.
    ClassificationPreviewDialog(const PreviewRows& rows, const ClassificationSummary& summary, bool copy,
                                QWidget* parent);
    QTreeWidget* list() const { return m_list; }
    QString summaryText() const;

private:
    QLabel* m_summary = nullptr;
    QTreeWidget* m_list = nullptr;
};

} // namespace karv
