#pragma once

#include "scan/ResultRow.h"
#include "scan/RowStore.h"

#include <cstdint>
#include <string>

#include <QAbstractTableModel>

namespace karv {

/// The result list's rows. Rows arrive one by one during a run but are inserted into the view in
/// batches (at each event pump), so a run of a million rows stays responsive. Names and folders
/// keep their raw bytes; they are decoded only for display. The rows are kept packed (RowStore):
/// a million of them in a few tens of megabytes.
class ResultListModel : public QAbstractTableModel, public ResultSink {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, TimeColumn, CountColumn, FolderColumn, ColumnCount };

    explicit ResultListModel(QObject* parent = nullptr);

    // ResultSink
    void append(ResultRow row) override;
    std::size_t count() const override { return m_store.size(); }
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
    std::uint32_t rowGroup(std::size_t index) const { return m_store.group(index); }
    bool rowKept(std::size_t index) const { return m_store.kept(index); }
    /// Lists these rows in place of the list's (a loaded list). Rows marked in the store are ones no
    /// action will touch (a loaded row whose file changed or vanished): shown greyed and struck through.
    void setRows(RowStore&& rows);

    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    RowStore m_store;         // the listed rows, then the ones appended since the last flush
    std::size_t m_listed = 0; // rows the view knows of
};

} // namespace karv
