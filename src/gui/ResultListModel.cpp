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

std::uint32_t ResultListModel::folderIndex(std::string folder) {
    if (m_folders.empty() || m_folders.back() != folder)
        m_folders.push_back(std::move(folder));
    return static_cast<std::uint32_t>(m_folders.size() - 1);
}

ResultListModel::StoredRow ResultListModel::store(ResultRow&& row) {
    const std::uint32_t folder = folderIndex(std::move(row.folder));
    return {std::move(row.name),
            std::move(row.sizeText),
            std::move(row.timeText),
            std::move(row.countText),
            folder,
            row.itemValue,
            row.stamp,
            row.group,
            row.kept,
            row.weakMatch};
}

void ResultListModel::setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                                  const RowStamp& stamp) {
    if (index >= count())
        return;
    StoredRow& r = index < m_rows.size() ? m_rows[index] : m_pending[index - m_rows.size()];
    r.folder = folderIndex(folder);
    r.name = name;
    r.stamp = stamp;
    if (index < m_rows.size()) {
        const int at = static_cast<int>(index);
        emit dataChanged(this->index(at, NameColumn), this->index(at, FolderColumn));
    }
}

void ResultListModel::removeListedRow(std::size_t index) {
    flush();
    if (index >= m_rows.size())
        return;
    const int at = static_cast<int>(index);
    beginRemoveRows({}, at, at);
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    endRemoveRows();
}

void ResultListModel::append(ResultRow row) {
    m_pending.push_back(store(std::move(row)));
}

void ResultListModel::flush() {
    if (m_pending.empty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(m_pending.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(m_pending.begin()),
                  std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    endInsertRows();
}

void ResultListModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    m_folders.clear();
    m_marked.clear();
    endResetModel();
}

void ResultListModel::markPath(const std::string& path) {
    m_marked.insert(path);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(m_rows.size()) - 1, ColumnCount - 1));
}

const ResultListModel::StoredRow& ResultListModel::stored(std::size_t index) const {
    return index < m_rows.size() ? m_rows[index] : m_pending[index - m_rows.size()];
}

ResultRow ResultListModel::row(std::size_t index) const {
    const StoredRow& r = stored(index);
    return {r.name,      r.sizeText, r.timeText, r.countText, m_folders[r.folder],
            r.itemValue, r.stamp,    r.group,    r.kept,      r.weakMatch};
}

std::string ResultListModel::rowPath(std::size_t index) const {
    const StoredRow& r = stored(index);
    return m_folders[r.folder] + r.name;
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const StoredRow& r = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case NameColumn:
            return qs(displayText(r.name));
        case SizeColumn:
            return qs(r.sizeText);
        case TimeColumn:
            return qs(r.timeText);
        case CountColumn:
            return qs(r.countText);
        case FolderColumn:
            return qs(displayText(m_folders[r.folder]));
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        // The whole path on every cell: a narrow column cuts it.
        bool legacy = false;
        const std::string shown = displayText(m_folders[r.folder] + r.name, &legacy);
        if (legacy)
            return qs(shown + "\n（名称不是 UTF-8 编码，按 GB18030 显示）");
        return qs(shown);
    }
    if (role == Qt::UserRole)
        return r.itemValue;
    if ((role == Qt::ForegroundRole || role == Qt::FontRole) && !m_marked.empty() &&
        m_marked.count(m_folders[r.folder] + r.name) > 0) {
        if (role == Qt::ForegroundRole)
            return QColor(Qt::gray);
        QFont struck;
        struck.setStrikeOut(true);
        struck.setBold(r.kept && (index.column() == NameColumn || index.column() == FolderColumn));
        return struck;
    }
    if (r.group != 0 && role == Qt::BackgroundRole)
        return groupShade(r.group);
    if (r.kept && role == Qt::FontRole && (index.column() == NameColumn || index.column() == FolderColumn)) {
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
