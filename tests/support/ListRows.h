#pragma once

#include "actions/ListActions.h"
#include "files/FileFacts.h"
#include "scan/ResultRow.h"

#include <string>
#include <vector>

namespace karv::test {

/// The row a listing makes of `path`: its name, folder and identity as they are now.
inline ResultRow listedRow(const std::string& path) {
    ResultRow row;
    row.name = path.substr(path.rfind('/') + 1);
    row.folder = path.substr(0, path.rfind('/') + 1);
    row.stamp = rowStamp(*statFile(path), *statFile(row.folder));
    return row;
}

/// A list for batches to act on, in memory; a target that exists is never overwritten.
struct MemoryRows : ActionRows, TargetExistsQuestion {
    std::vector<ResultRow> rows;
    std::vector<std::size_t> selectedRows() override { return {}; }
    std::size_t rowCount() override { return rows.size(); }
    ResultRow row(std::size_t index) override { return rows.at(index); }
    void setRowPlace(std::size_t, const std::string&, const std::string&, const RowStamp&) override {}
    void removeRow(std::size_t) override {}
    int askTargetExists(const std::string&, bool&) override { return kConflictNone; }
};

} // namespace karv::test
