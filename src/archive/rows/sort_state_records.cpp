// CELLWATCH: a future-record header with its range (FrtRefHeaderU: the record's id, flags whose
// bit 0 says a range follows, Ref8U of the watched cell), then 4 reserved bytes.
//
// SORTDATA: a future-record header without range (FrtHeader, 12 bytes), 2 bytes of flags, the
// sorted range as an RFX (first and last row, first and last column, 32 bits each), the number
// of sort keys (32 bits, at most 64), the id of the table or filter it belongs to (32 bits),
// then the keys (SortCond12): 2 bytes of flags, the key's range as an RFX, 8 bytes of
// condition data, a 32-bit character count and the custom list's text (a flags byte, then the
// characters, one or two bytes each). Whether an empty list still stores its flags byte is not
// settled, so both readings are tried and the one that ends where the record ends is taken (at
// most one can: the two differ by one byte for each empty list).

#include "archive/rows/sort_state_records.h"

#include <optional>
#include <utility>

#include "archive/container/format_violation.h"
#include "archive/records/biff_stream.h"
#include "archive/rows/row_ranges.h"

namespace clivara::archive {

namespace {

constexpr std::uint16_t kCellWatch = 0x086C, kSortData = 0x0895, kContinueFrt12 = 0x087F;
constexpr std::size_t kCellWatchSize = 16, kWatchedCell = 4;
constexpr std::size_t kSortRange = 14, kKeyCount = 30, kKeys = 38, kMaxKeys = 64;
constexpr std::size_t kKeyRange = 2, kKeyListLength = 26, kKeyFixedSize = 30;

// ---- CELLWATCH --------------------------------------------------------------------------------

struct Watch {
    int row, column;
};

std::optional<Watch> watchedCell(std::span<const std::uint8_t> body) {
    if (body.size() != kCellWatchSize || readU16(body, 0) != kCellWatch ||
        (readU16(body, 2) & 1) == 0) {
        return std::nullopt;
    }
    const Range cell = readRanges(body, kWatchedCell, 1, false)[0];
    if (cell.firstRow != cell.lastRow || cell.firstColumn != cell.lastColumn) return std::nullopt;
    return Watch{cell.firstRow, cell.firstColumn};
}

std::vector<std::uint8_t> watchingRow(std::span<const std::uint8_t> body, int row) {
    std::vector<std::uint8_t> out(body.begin(), body.end());
    patchU16(out, kWatchedCell, static_cast<std::uint16_t>(row));
    patchU16(out, kWatchedCell + 2, static_cast<std::uint16_t>(row));
    return out;
}

// ---- SORTDATA ---------------------------------------------------------------------------------

// An RFX inside the sheet's rows and columns; nullopt for any other.
std::optional<Range> readRfx(std::span<const std::uint8_t> body, std::size_t at) {
    const std::uint32_t fields[4] = {readU32(body, at), readU32(body, at + 4),
                                     readU32(body, at + 8), readU32(body, at + 12)};
    if (fields[0] > fields[1] || fields[1] > static_cast<std::uint32_t>(kLastRowIndex) ||
        fields[2] > fields[3] || fields[3] > 0xFF) {
        return std::nullopt;
    }
    return Range{static_cast<int>(fields[0]), static_cast<int>(fields[1]),
                 static_cast<int>(fields[2]), static_cast<int>(fields[3])};
}

void putRfxRows(std::vector<std::uint8_t>& body, std::size_t at, const Range& range) {
    patchU32(body, at, static_cast<std::uint32_t>(range.firstRow));
    patchU32(body, at + 4, static_cast<std::uint32_t>(range.lastRow));
}

struct Key {
    std::size_t begin, end;  // the key's bytes in the record
    Range range;
};

struct SortState {
    Range range;
    std::vector<Key> keys;
};

// Where the keys lie, when they end exactly where the record does. With flagsAlways, an empty
// custom list keeps the flags byte of its text.
std::optional<std::vector<Key>> keysOf(std::span<const std::uint8_t> body, std::size_t count,
                                       bool flagsAlways) {
    std::vector<Key> keys;
    std::size_t at = kKeys;
    for (std::size_t i = 0; i < count; ++i) {
        if (body.size() - at < kKeyFixedSize) return std::nullopt;
        const std::uint32_t characters = readU32(body, at + kKeyListLength);
        std::size_t end = at + kKeyFixedSize;
        if (characters > 0 || flagsAlways) {
            // The flags byte: bit 0 says two bytes a character, the other bits are zero.
            if (end >= body.size() || (body[end] & 0xFE) != 0) return std::nullopt;
            const std::size_t width = (body[end] & 1) != 0 ? 2 : 1;
            ++end;
            if (characters > (body.size() - end) / width) return std::nullopt;
            end += characters * width;
        }
        const auto range = readRfx(body, at + kKeyRange);
        if (!range) return std::nullopt;
        keys.push_back({at, end, *range});
        at = end;
    }
    if (at != body.size()) return std::nullopt;
    return keys;
}

std::optional<SortState> sortStateOf(std::span<const std::uint8_t> body) {
    if (body.size() < kKeys || readU16(body, 0) != kSortData) return std::nullopt;
    const auto range = readRfx(body, kSortRange);
    const std::uint32_t count = readU32(body, kKeyCount);
    if (!range || count > kMaxKeys) return std::nullopt;
    auto keys = keysOf(body, count, false);
    if (!keys) keys = keysOf(body, count, true);
    if (!keys) return std::nullopt;
    return SortState{*range, std::move(*keys)};
}

// The body once `edit` has moved its ranges (nullopt from `edit`: that range is gone). A key
// whose range is gone is left out when dropKeys holds; otherwise, or when the sorted range or
// every key is gone, the record goes (nullopt).
template <typename Edit>
std::optional<std::vector<std::uint8_t>> editedSortState(std::span<const std::uint8_t> body,
                                                         const SortState& state, Edit edit,
                                                         bool dropKeys) {
    const auto range = edit(state.range);
    if (!range) return std::nullopt;
    std::vector<std::uint8_t> out(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(kKeys));
    putRfxRows(out, kSortRange, *range);
    std::uint32_t kept = 0;
    for (const Key& key : state.keys) {
        const auto moved = edit(key.range);
        if (!moved) {
            if (!dropKeys) return std::nullopt;
            continue;
        }
        const std::size_t at = out.size();
        out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(key.begin),
                   body.begin() + static_cast<std::ptrdiff_t>(key.end));
        putRfxRows(out, at + kKeyRange, *moved);
        ++kept;
    }
    if (kept == 0 && !state.keys.empty()) return std::nullopt;
    patchU32(out, kKeyCount, kept);
    return out;
}

// ---- both -------------------------------------------------------------------------------------

// Rewrites the sheet's CELLWATCH and SORTDATA records: editWatch gives a watched cell's new row
// (nullopt: the record goes), editSort a sort state's new body (nullopt: it goes). Records that
// do not read as expected stay as they are.
template <typename EditWatch, typename EditSort>
void editRecords(SheetData& sheet, EditWatch editWatch, EditSort editSort) {
    RecordEditor editor(sheet);
    std::vector<KeptRecord> result;
    result.reserve(sheet.records.size());
    for (std::size_t i = 0; i < sheet.records.size(); ++i) {
        const KeptRecord& record = sheet.records[i];
        const bool continued =
            i + 1 < sheet.records.size() && sheet.records[i + 1].id == kContinueFrt12;
        if (!isEditable(record) || (record.id != kCellWatch && record.id != kSortData) ||
            continued) {
            result.push_back(record);
            continue;
        }
        try {
            const auto old = editor.body(record);
            std::optional<std::vector<std::uint8_t>> body;
            if (record.id == kCellWatch) {
                const auto watch = watchedCell(old);
                if (!watch) {
                    result.push_back(record);
                    continue;
                }
                const std::optional<int> row = editWatch(*watch);
                if (row) body = *row == watch->row ? old : watchingRow(old, *row);
            } else {
                const auto state = sortStateOf(old);
                if (!state) {
                    result.push_back(record);
                    continue;
                }
                body = editSort(old, *state);
            }
            if (!body) continue;  // the record goes
            result.push_back(*body == old ? record : editor.replaced(record, *body));
        } catch (const FormatViolation&) {
            result.push_back(record);  // a record we cannot follow stays as it was
        }
    }
    sheet.records = std::move(result);
}

}  // namespace

void shiftSortAndWatchRecords(SheetData& sheet, int deleted) {
    editRecords(
        sheet, [&](const Watch& watch) { return shiftRow(watch.row, deleted); },
        [&](std::span<const std::uint8_t> body, const SortState& state) {
            return editedSortState(
                body, state, [&](const Range& range) { return shiftRange(range, deleted); }, true);
        });
}

void permuteSortAndWatchRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                                const std::vector<int>& newRowOf) {
    editRecords(
        sheet,
        [&](const Watch& watch) -> std::optional<int> {
            if (watch.column < firstColumn0 || watch.column > lastColumn0) return watch.row;
            return permutedRow(watch.row, first0, newRowOf);
        },
        [&](std::span<const std::uint8_t> body, const SortState& state) {
            auto follow = [&](const Range& range) -> std::optional<Range> {
                const auto pieces =
                    permuteRanges({range}, first0, firstColumn0, lastColumn0, newRowOf);
                if (pieces.size() != 1) return std::nullopt;
                return pieces[0];
            };
            return editedSortState(body, state, follow, false);
        });
}

}  // namespace clivara::archive
