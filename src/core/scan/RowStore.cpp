#include "scan/RowStore.h"

#include "values/DateTimeText.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace karv {

static_assert(std::endian::native == std::endian::little, "packed columns are read as little-endian");

namespace {

// The flag column's bits.
constexpr std::uint64_t kStampKnown = 1u << 0;
constexpr std::uint64_t kFolderKnown = 1u << 1;
constexpr std::uint64_t kKept = 1u << 2;
constexpr std::uint64_t kWeakMatch = 1u << 3;
constexpr std::uint64_t kMarked = 1u << 4;
// How each value text is kept, two bits each: none (empty), made from its number, kept as it is.
constexpr int kSizeShift = 5;
constexpr int kCountShift = 7;
constexpr int kTimeShift = 9;
constexpr int kTimeModeShift = 11;
enum Kept : std::uint64_t { Empty = 0, Made = 1, AsIs = 2 };

Kept keptAs(std::uint64_t flags, int shift) {
    return static_cast<Kept>((flags >> shift) & 3u);
}

// A date-time as one number that grows with it, so the times of a folder's files differ little.
std::optional<std::uint64_t> packTime(const DateTime& t) {
    if (t.year < 0 || t.year >= (1 << 20) || t.month < 0 || t.month > 15 || t.day < 0 || t.day > 31 ||
        t.hour < 0 || t.hour > 31 || t.minute < 0 || t.minute > 63 || t.second < 0 || t.second > 63)
        return std::nullopt;
    return static_cast<std::uint64_t>(t.year) << 26 | static_cast<std::uint64_t>(t.month) << 22 |
           static_cast<std::uint64_t>(t.day) << 17 | static_cast<std::uint64_t>(t.hour) << 12 |
           static_cast<std::uint64_t>(t.minute) << 6 | static_cast<std::uint64_t>(t.second);
}

DateTime unpackTime(std::uint64_t v) {
    return {static_cast<int>(v >> 26),        static_cast<int>((v >> 22) & 15),
            static_cast<int>((v >> 17) & 31), static_cast<int>((v >> 12) & 31),
            static_cast<int>((v >> 6) & 63),  static_cast<int>(v & 63)};
}

// A row that came without its numbers (a loaded list): its texts are kept as numbers only where
// the number makes the very same text again.
void recoverShown(const ResultRow& row, ShownValues& shown) {
    if (!shown.size && !row.sizeText.empty()) {
        for (const std::uint64_t size : {row.stamp.size, std::uint64_t{row.itemValue}})
            if (sizeText(size) == row.sizeText) {
                shown.size = size;
                break;
            }
    }
    if (!shown.count && !row.countText.empty() && row.countText.size() < 25 &&
        row.countText.find_first_not_of("0123456789,") == std::string::npos) {
        std::uint64_t count = 0;
        bool fits = true;
        for (const char c : row.countText)
            if (c != ',') {
                fits = fits && count <= (UINT64_MAX - 9) / 10;
                count = count * 10 + static_cast<std::uint64_t>(c - '0');
            }
        if (fits && groupedCountText(count) == row.countText)
            shown.count = count;
    }
    if (!shown.time && !row.timeText.empty()) {
        if (const auto parsed = parseDateTimeText(row.timeText))
            for (const DateTimeMode mode :
                 {DateTimeMode::Both, DateTimeMode::DateOnly, DateTimeMode::TimeOnly})
                if (dateTimeText(*parsed, mode) == row.timeText) {
                    shown.time = *parsed;
                    shown.timeMode = mode;
                    break;
                }
    }
}

int widthOf(std::uint64_t range) {
    return (std::bit_width(range) + 7) / 8;
}

} // namespace

RowStore::RowStore() = default;
RowStore::~RowStore() = default;

// The folder map's keys view the deque's texts, which a move of the deque leaves in place.
RowStore::RowStore(RowStore&& other) noexcept
    : m_chunks(std::move(other.m_chunks)), m_starts(std::move(other.m_starts)), m_size(other.m_size),
      m_opened(other.m_opened), m_folders(std::move(other.m_folders)),
      m_folderIndex(std::move(other.m_folderIndex)) {
    other.clear();
}

RowStore& RowStore::operator=(RowStore&& other) noexcept {
    if (this != &other) {
        m_chunks = std::move(other.m_chunks);
        m_starts = std::move(other.m_starts);
        m_size = other.m_size;
        m_opened = other.m_opened;
        m_folders = std::move(other.m_folders);
        m_folderIndex = std::move(other.m_folderIndex);
        other.clear();
    }
    return *this;
}

void RowStore::clear() {
    m_chunks.clear();
    m_starts.clear();
    m_size = 0;
    m_opened = SIZE_MAX;
    m_folderIndex.clear();
    m_folders.clear();
}

std::uint32_t RowStore::folderIndex(const std::string& folder) {
    if (const auto known = m_folderIndex.find(folder); known != m_folderIndex.end())
        return known->second;
    const auto index = static_cast<std::uint32_t>(m_folders.size());
    m_folders.push_back(folder);
    m_folderIndex.emplace(m_folders.back(), index);
    return index;
}

RowStore::Plain RowStore::toPlain(ResultRow&& row) {
    ShownValues shown = row.shown;
    // The numbers are trusted to make the texts again; a maker that breaks that shows in the tests.
    assert(!shown.size || sizeText(*shown.size) == row.sizeText);
    assert(!shown.count || groupedCountText(*shown.count) == row.countText);
    assert(!shown.time || dateTimeText(*shown.time, shown.timeMode) == row.timeText);
    recoverShown(row, shown);
    Plain plain;
    auto& v = plain.value;
    std::uint64_t flags = (row.stamp.known ? kStampKnown : 0) | (row.stamp.folderKnown ? kFolderKnown : 0) |
                          (row.kept ? kKept : 0) | (row.weakMatch ? kWeakMatch : 0);
    plain.bytes = std::move(row.name);
    v[NameLength] = plain.bytes.size();
    // A text is kept as it is only when no number makes it again.
    auto keep = [&](const std::string& text, bool made, int shift, Column length) {
        const Kept how = made ? Made : text.empty() ? Empty : AsIs;
        flags |= static_cast<std::uint64_t>(how) << shift;
        if (how == AsIs) {
            plain.bytes += text;
            v[length] = text.size();
        }
    };
    keep(row.sizeText, shown.size.has_value(), kSizeShift, SizeLength);
    const std::optional<std::uint64_t> time = shown.time ? packTime(*shown.time) : std::nullopt;
    keep(row.timeText, time.has_value(), kTimeShift, TimeLength);
    keep(row.countText, shown.count.has_value(), kCountShift, CountLength);
    if (time)
        flags |= static_cast<std::uint64_t>(shown.timeMode) << kTimeModeShift;
    v[Flags] = flags;
    v[Folder] = folderIndex(row.folder);
    // Where no number makes the size text, the stamp's size stands in, so the differences below stay 0.
    v[SizeValue] = shown.size.value_or(row.stamp.size);
    v[CountValue] = shown.count.value_or(0);
    v[TimeValue] = time.value_or(0);
    v[ItemDelta] = row.itemValue ^ (v[SizeValue] & 0xFFFFFFFFu);
    v[Device] = row.stamp.device;
    v[Inode] = row.stamp.inode;
    v[StampSizeDelta] = row.stamp.size - v[SizeValue];
    v[ModifiedNs] = static_cast<std::uint64_t>(row.stamp.modifiedNs);
    v[ChangedDelta] = static_cast<std::uint64_t>(row.stamp.changedNs) - v[ModifiedNs];
    v[FolderDevice] = row.stamp.folderDevice;
    v[FolderInode] = row.stamp.folderInode;
    v[Group] = row.group;
    return plain;
}

void RowStore::push(ResultRow&& row) {
    if (m_chunks.empty() || !m_chunks.back().open || m_chunks.back().rows.size() >= kChunkRows) {
        if (!m_chunks.empty() && m_chunks.back().open) {
            pack(m_chunks.back());
            if (m_opened + 1 == m_chunks.size())
                m_opened = SIZE_MAX;
        }
        m_chunks.emplace_back();
        m_starts.push_back(m_size);
    }
    m_chunks.back().rows.push_back(toPlain(std::move(row)));
    ++m_size;
}

void RowStore::pack(Chunk& chunk) {
    const std::vector<Plain>& rows = chunk.rows;
    const std::size_t n = rows.size();
    std::array<std::uint64_t, ColumnCount> low, high;
    low.fill(UINT64_MAX);
    high.fill(0);
    std::uint64_t textStart = 0;
    for (const Plain& row : rows) {
        for (std::size_t c = 0; c < ColumnCount; ++c) {
            const std::uint64_t x = c == TextStart ? textStart : row.value[c];
            low[c] = std::min(low[c], x);
            high[c] = std::max(high[c], x);
        }
        textStart += row.bytes.size();
    }
    std::size_t at = 0;
    for (std::size_t c = 0; c < ColumnCount; ++c) {
        chunk.base[c] = n == 0 ? 0 : low[c];
        chunk.width[c] = static_cast<std::uint8_t>(n == 0 ? 0 : widthOf(high[c] - low[c]));
        chunk.at[c] = static_cast<std::uint32_t>(at);
        at += n * chunk.width[c];
    }
    chunk.textsAt = static_cast<std::uint32_t>(at);
    chunk.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(at + textStart);
    std::uint8_t* out = chunk.bytes.get();
    textStart = 0;
    for (std::size_t r = 0; r < n; ++r) {
        for (std::size_t c = 0; c < ColumnCount; ++c) {
            const std::uint64_t x = (c == TextStart ? textStart : rows[r].value[c]) - chunk.base[c];
            std::memcpy(out + chunk.at[c] + r * chunk.width[c], &x, chunk.width[c]);
        }
        std::memcpy(out + at + textStart, rows[r].bytes.data(), rows[r].bytes.size());
        textStart += rows[r].bytes.size();
    }
    chunk.packedRows = static_cast<std::uint32_t>(n);
    chunk.open = false;
    std::vector<Plain>().swap(chunk.rows);
}

void RowStore::unpack(Chunk& chunk) {
    std::vector<Plain> rows(chunk.packedRows);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Place at{&chunk, r};
        for (std::size_t c = 0; c < ColumnCount; ++c)
            rows[r].value[c] = value(at, static_cast<Column>(c));
        rows[r].bytes = bytes(at);
    }
    chunk.rows = std::move(rows);
    chunk.bytes.reset();
    chunk.packedRows = 0;
    chunk.open = true;
}

std::uint64_t RowStore::value(const Place& place, Column column) {
    const Chunk& chunk = *place.chunk;
    if (chunk.open)
        return chunk.rows[place.row].value[column];
    const std::uint8_t width = chunk.width[column];
    std::uint64_t x = 0;
    std::memcpy(&x, chunk.bytes.get() + chunk.at[column] + place.row * width, width);
    return chunk.base[column] + x;
}

std::string_view RowStore::bytes(const Place& place) {
    const Chunk& chunk = *place.chunk;
    if (chunk.open)
        return chunk.rows[place.row].bytes;
    const std::uint64_t length = value(place, NameLength) + value(place, SizeLength) +
                                 value(place, TimeLength) + value(place, CountLength);
    return {reinterpret_cast<const char*>(chunk.bytes.get()) + chunk.textsAt + value(place, TextStart),
            length};
}

RowStore::Place RowStore::place(std::size_t index) const {
    const auto k = static_cast<std::size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), index) -
                                            m_starts.begin() - 1);
    return {&m_chunks[k], index - m_starts[k]};
}

RowStore::Plain& RowStore::changeable(std::size_t index) {
    const auto k = static_cast<std::size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), index) -
                                            m_starts.begin() - 1);
    Chunk& chunk = m_chunks[k];
    if (!chunk.open) {
        // Changes come row after row (a batch, an undo): the chunk stays open until another is changed.
        if (m_opened < m_chunks.size() && m_opened + 1 != m_chunks.size() && m_chunks[m_opened].open)
            pack(m_chunks[m_opened]);
        unpack(chunk);
        m_opened = k;
    }
    return chunk.rows[index - m_starts[k]];
}

std::string RowStore::name(std::size_t index) const {
    const Place at = place(index);
    return std::string(bytes(at).substr(0, value(at, NameLength)));
}

const std::string& RowStore::folder(std::size_t index) const {
    return m_folders[value(place(index), Folder)];
}

std::string RowStore::text(std::size_t index, Text which) const {
    const Place at = place(index);
    const std::uint64_t flags = value(at, Flags);
    const int shift = which == Text::Size ? kSizeShift : which == Text::Time ? kTimeShift : kCountShift;
    switch (keptAs(flags, shift)) {
    case Made:
        if (which == Text::Size)
            return sizeText(value(at, SizeValue));
        if (which == Text::Count)
            return groupedCountText(value(at, CountValue));
        return dateTimeText(unpackTime(value(at, TimeValue)),
                            static_cast<DateTimeMode>((flags >> kTimeModeShift) & 3u));
    case AsIs: {
        std::uint64_t from = value(at, NameLength);
        if (which != Text::Size)
            from += value(at, SizeLength);
        if (which == Text::Count)
            from += value(at, TimeLength);
        const Column length = which == Text::Size   ? SizeLength
                              : which == Text::Time ? TimeLength
                                                    : CountLength;
        return std::string(bytes(at).substr(from, value(at, length)));
    }
    default:
        return {};
    }
}

std::uint32_t RowStore::itemValue(std::size_t index) const {
    const Place at = place(index);
    return static_cast<std::uint32_t>(value(at, ItemDelta) ^ (value(at, SizeValue) & 0xFFFFFFFFu));
}

std::uint32_t RowStore::group(std::size_t index) const {
    return static_cast<std::uint32_t>(value(place(index), Group));
}

bool RowStore::kept(std::size_t index) const {
    return (value(place(index), Flags) & kKept) != 0;
}

bool RowStore::marked(std::size_t index) const {
    return (value(place(index), Flags) & kMarked) != 0;
}

void RowStore::setMarked(std::size_t index) {
    changeable(index).value[Flags] |= kMarked;
}

ResultRow RowStore::row(std::size_t index) const {
    const Place at = place(index);
    const std::uint64_t flags = value(at, Flags);
    ResultRow row;
    row.name = name(index);
    row.sizeText = text(index, Text::Size);
    row.timeText = text(index, Text::Time);
    row.countText = text(index, Text::Count);
    row.folder = m_folders[value(at, Folder)];
    row.itemValue = itemValue(index);
    const std::uint64_t size = value(at, SizeValue);
    const auto modified = value(at, ModifiedNs);
    row.stamp = {(flags & kStampKnown) != 0,
                 value(at, Device),
                 value(at, Inode),
                 size + value(at, StampSizeDelta),
                 static_cast<std::int64_t>(modified),
                 static_cast<std::int64_t>(modified + value(at, ChangedDelta)),
                 (flags & kFolderKnown) != 0,
                 value(at, FolderDevice),
                 value(at, FolderInode)};
    row.group = static_cast<std::uint32_t>(value(at, Group));
    row.kept = (flags & kKept) != 0;
    row.weakMatch = (flags & kWeakMatch) != 0;
    if (keptAs(flags, kSizeShift) == Made)
        row.shown.size = size;
    if (keptAs(flags, kCountShift) == Made)
        row.shown.count = value(at, CountValue);
    if (keptAs(flags, kTimeShift) == Made) {
        row.shown.time = unpackTime(value(at, TimeValue));
        row.shown.timeMode = static_cast<DateTimeMode>((flags >> kTimeModeShift) & 3u);
    }
    return row;
}

void RowStore::setPlace(std::size_t index, const std::string& folder, const std::string& name,
                        const RowStamp& stamp) {
    if (index >= m_size)
        return;
    const std::uint32_t folderAt = folderIndex(folder);
    Plain& plain = changeable(index);
    auto& v = plain.value;
    plain.bytes.replace(0, v[NameLength], name);
    v[NameLength] = name.size();
    v[Folder] = folderAt;
    v[Flags] = (v[Flags] & ~(kStampKnown | kFolderKnown)) | (stamp.known ? kStampKnown : 0) |
               (stamp.folderKnown ? kFolderKnown : 0);
    v[Device] = stamp.device;
    v[Inode] = stamp.inode;
    v[StampSizeDelta] = stamp.size - v[SizeValue];
    v[ModifiedNs] = static_cast<std::uint64_t>(stamp.modifiedNs);
    v[ChangedDelta] = static_cast<std::uint64_t>(stamp.changedNs) - v[ModifiedNs];
    v[FolderDevice] = stamp.folderDevice;
    v[FolderInode] = stamp.folderInode;
}

void RowStore::erase(std::size_t index) {
    if (index >= m_size)
        return;
    changeable(index);
    const auto k = static_cast<std::size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), index) -
                                            m_starts.begin() - 1);
    std::vector<Plain>& rows = m_chunks[k].rows;
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index - m_starts[k]));
    for (std::size_t j = k + 1; j < m_starts.size(); ++j)
        --m_starts[j];
    --m_size;
    if (!rows.empty())
        return;
    m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(k));
    m_starts.erase(m_starts.begin() + static_cast<std::ptrdiff_t>(k));
    if (m_opened == k)
        m_opened = SIZE_MAX;
    else if (m_opened > k && m_opened != SIZE_MAX)
        --m_opened;
}

} // namespace karv
