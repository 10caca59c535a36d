#pragma once

#include "scan/ResultRow.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace karv {

/// The rows of a long result list, kept small: a million rows in a few tens of megabytes.
///
/// Rows are kept in chunks of `kChunkRows`. A full chunk is packed column by column, each column
/// as the chunk's smallest value and every row's difference from it in as few bytes as the
/// chunk's largest difference needs, so a column that does not change within a chunk takes no
/// byte per row. Names live in the chunk's own bytes; folders are kept once for the whole list.
/// Size, time and count are kept as the numbers their texts were made from (ShownValues) and the
/// texts are made again when asked for; a text made otherwise is kept as it is. The identity
/// stamp is kept whole. Every value comes back exactly as it was stored.
class RowStore {
public:
    static constexpr std::size_t kChunkRows = 256;
    enum class Text { Size, Time, Count };

    RowStore();
    ~RowStore();
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;
    RowStore(RowStore&& other) noexcept;
    RowStore& operator=(RowStore&& other) noexcept;

    void push(ResultRow&& row);
    std::size_t size() const { return m_size; }
    void clear();

    /// The row as it was pushed (its texts made again), with its place as last set.
    ResultRow row(std::size_t index) const;
    std::string name(std::size_t index) const;
    const std::string& folder(std::size_t index) const;
    std::string path(std::size_t index) const { return folder(index) + name(index); }
    std::string text(std::size_t index, Text which) const;
    std::uint32_t itemValue(std::size_t index) const;
    std::uint32_t group(std::size_t index) const;
    bool kept(std::size_t index) const;
    /// A row no action will touch, shown struck through (a loaded row whose file changed).
    bool marked(std::size_t index) const;
    void setMarked(std::size_t index);

    /// The row's file now lives at folder (ending in "/") + name, and looks as `stamp` says.
    void setPlace(std::size_t index, const std::string& folder, const std::string& name,
                  const RowStamp& stamp);
    void erase(std::size_t index);

private:
    enum Column : std::size_t {
        Flags,
        Folder,
        NameLength,
        SizeLength,
        TimeLength,
        CountLength,
        SizeValue,
        CountValue,
        TimeValue,
        ItemDelta,
        Device,
        Inode,
        StampSizeDelta,
        ModifiedNs,
        ChangedDelta,
        FolderDevice,
        FolderInode,
        Group,
        TextStart,
        ColumnCount
    };
    /// One row unpacked: its column values and its bytes (the name, then any texts kept as they are).
    struct Plain {
        std::array<std::uint64_t, ColumnCount> value{};
        std::string bytes;
    };
    struct Chunk {
        bool open = true;
        std::vector<Plain> rows; ///< while open
        std::uint32_t packedRows = 0;
        std::array<std::uint64_t, ColumnCount> base{};
        std::array<std::uint32_t, ColumnCount> at{};
        std::array<std::uint8_t, ColumnCount> width{};
        std::uint32_t textsAt = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t count() const { return open ? rows.size() : packedRows; }
    };
    struct Place {
        const Chunk* chunk;
        std::size_t row;
    };

    Plain toPlain(ResultRow&& row);
    std::uint32_t folderIndex(const std::string& folder);
    static void pack(Chunk& chunk);
    static void unpack(Chunk& chunk);
    static std::uint64_t value(const Place& place, Column column);
    static std::string_view bytes(const Place& place);
    Place place(std::size_t index) const;
    /// The row's plain form, its chunk opened for the change (one chunk besides the last at a time).
    Plain& changeable(std::size_t index);

    std::vector<Chunk> m_chunks;
    std::vector<std::size_t> m_starts; ///< the first row of each chunk
    std::size_t m_size = 0;
    std::size_t m_opened = SIZE_MAX;   ///< a chunk opened for a change, besides the last
    std::deque<std::string> m_folders; // a deque: the map's keys view these texts in place
    std::unordered_map<std::string_view, std::uint32_t> m_folderIndex;
};

} // namespace karv
