#include "gui/ResultListModel.h"

#include "platform/QtDesktop.h"
#include "text/NameText.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

namespace karv {

namespace {

// Neighbouring duplicate groups alternate between the plain background and a light tint, so each
// group reads as one block whatever its size.
QBrush groupShade(std::uint32_t group) {
    const QPalette palette = QGuiApplication::palette();
    const QColor base = palette.color(QPalette::Base);
    if (group % 2 == 1)
        return base;
    const QColor tint = palette.color(QPalette::Highlight);
    auto mix = [](int a, int b) {
        return (a * 85 + b * 15) / 100;
    };
    return QColor(mix(base.red(), tint.red()), mix(base.green(), tint.green()),
                  mix(base.blue(), tint.blue()));
}

} // namespace

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultListModel::setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                                  const RowStamp& stamp) {
    if (index >= count())
        return;
    m_store.setPlace(index, folder, name, stamp);
    if (index < m_listed) {
        const int at = static_cast<int>(index);
        emit dataChanged(this->index(at, NameColumn), this->index(at, FolderColumn));
    }
}

void ResultListModel::removeListedRow(std::size_t index) {
    flush();
    if (index >= m_listed)
        return;
    const int at = static_cast<int>(index);
    beginRemoveRows({}, at, at);
    m_store.erase(index);
    m_listed = m_store.size();
    endRemoveRows();
}

void ResultListModel::append(ResultRow row) {
    m_store.push(std::move(row));
}

void ResultListModel::flush() {
    if (m_listed == m_store.size())
        return;
    beginInsertRows({}, static_cast<int>(m_listed), static_cast<int>(m_store.size()) - 1);
    m_listed = m_store.size();
    endInsertRows();
}

void ResultListModel::clear() {
    beginResetModel();
    m_store.clear();
    m_listed = 0;
    endResetModel();
}

void ResultListModel::setRows(RowStore&& rows) {
    beginResetModel();
    m_store = std::move(rows);
    m_listed = m_store.size();
    endResetModel();
}

ResultRow ResultListModel::row(std::size_t index) const {
    return m_store.row(index);
}

std::string ResultListModel::rowPath(std::size_t index) const {
    return m_store.path(index);
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_listed);
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_listed)
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case NameColumn:
            return qs(displayText(m_store.name(row)));
        case SizeColumn:
            return qs(m_store.text(row, RowStore::Text::Size));
        case TimeColumn:
            return qs(m_store.text(row, RowStore::Text::Time));
        case CountColumn:
            return qs(m_store.text(row, RowStore::Text::Count));
        case FolderColumn:
            return qs(displayText(m_store.folder(row)));
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        // The whole path on every cell: a narrow column cuts it.
        bool legacy = false;
        const std::string shown = displayText(m_store.path(row), &legacy);
        if (legacy)
            return qs(shown + "\n（名称不是 UTF-8 编码，按 GB18030 显示）");
        return qs(shown);
    }
    if (role == Qt::UserRole)
        return m_store.itemValue(row);
    const bool kept = m_store.kept(row);
    if ((role == Qt::ForegroundRole || role == Qt::FontRole) && m_store.marked(row)) {
        if (role == Qt::ForegroundRole)
            return QColor(Qt::gray);
        QFont struck;
        struck.setStrikeOut(true);
        struck.setBold(kept && (index.column() == NameColumn || index.column() == FolderColumn));
        return struck;
    }
    const std::uint32_t group = m_store.group(row);
    if (group != 0 && role == Qt::BackgroundRole)
        return groupShade(group);
    if (kept && role == Qt::FontRole && (index.column() == NameColumn || index.column() == FolderColumn)) {
        // The copy that stays is the one a user must be able to spot at a glance; the value columns
        // keep their width for the plain font.
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return {};
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const headers[] = {"文件名", "文件大小", "文件时间", "内容字数", "所在目录"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(headers[section]) : QVariant();
}

} // namespace karv
