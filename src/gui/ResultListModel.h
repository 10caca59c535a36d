#pragma once

#include "scan/ResultRow.h"

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include <QAbstractTableModel>

namespace karv {

/// The result list's rows. Rows arrive one by one during a run but are inserted into the view in
/// batches (at each event pump), so a run of a million rows stays responsive. Names and folders
/// keep their raw bytes; they are decoded only for display.
class ResultListModel : public QAbstractTableModel, public ResultSink {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, TimeColumn, CountColumn, FolderColumn, ColumnCount };

    explicit ResultListModel(QObject* parent = nullptr);

    // ResultSink
    void append(ResultRow row) override;
    std::size_t count() const override { return m_rows.size() + m_pending.size(); }
    void clear() override;

    /// Moves the rows appended since the last flush into the view.
    void flush();

    /// A row as the list holds it (pending rows included).
    ResultRow row(std::size_t index) const;
    /// The full raw path of a row: column 4 followed by column 0.
    std::string rowPath(std::size_t index) const;
    /// The row's file now lives at folder (ending in "/") + name, and looks as `stamp` says.
    void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                     const RowStamp& stamp);
    /// Removes one listed row.
    void removeListedRow(std::size_t index);
    /// A row's duplicate group (0: none) and whether it is the group's kept member.
    std::uint32_t rowGroup(std::size_t index) const { return stored(index).group; }
    bool rowKept(std::size_t index) const { return stored(index).kept; }
    /// Marks the row of this exact path as one no action will touch (a loaded row whose file
    /// changed or vanished): shown greyed and struck through. Cleared with the list.
    void markPath(const std::string& path);

    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct StoredRow {
        std::string name;
        std::string sizeText;
        std::string timeText;
        std::string countText;
        std::uint32_t folder = 0; ///< index into m_folders: rows of one folder share its text
        std::uint32_t itemValue = 0;
        RowStamp stamp;
        std::uint32_t group = 0;
        bool kept = false;
        bool weakMatch = false;
    };
    StoredRow store(ResultRow&& row);
    std::uint32_t folderIndex(std::string folder);
    const StoredRow& stored(std::size_t index) const;

    std::deque<StoredRow> m_rows; // grows without moving the rows already listed
    std::vector<StoredRow> m_pending;
    std::vector<std::string> m_folders;
    std::unordered_set<std::string> m_marked;
};

} // namespace karv
