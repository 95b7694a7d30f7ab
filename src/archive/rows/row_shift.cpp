// Records that name rows of their sheet follow the rows when one is deleted or when rows are
// reordered. This file handles merged ranges, hyperlinks, notes, the selection and horizontal
// page breaks, and hands the range lists of conditional formats, validations and shared
// features (anchored_ranges.cpp), the drawing (drawing_anchors.cpp), the data sources of
// pivot tables and consolidations (source_ranges.cpp) and the sort state and watched cells
// (sort_state_records.cpp) to their own passes; formula tokens
// follow in formula_row_moves.cpp.

#include <algorithm>
#include <optional>

#include "archive/container/format_violation.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"
#include "archive/rows/drawing_anchors.h"
#include "archive/rows/row_ranges.h"
#include "archive/rows/row_shift.h"
#include "archive/rows/sort_state_records.h"
#include "archive/rows/source_ranges.h"

namespace clivara::archive {

namespace {

constexpr std::uint16_t kHLinkTooltip = 0x0800;
// The body of a MERGEDCELLS record holding these ranges; nothing when none is left.
std::optional<std::vector<std::uint8_t>> mergedCellsBody(const std::vector<Range>& kept) {
    if (kept.empty()) return std::nullopt;
    std::vector<std::uint8_t> out;
    putU16(out, static_cast<std::uint16_t>(kept.size()));
    for (const Range& range : kept) putRange(out, range, false);
    return out;
}

std::optional<std::vector<std::uint8_t>> shiftMerged(std::span<const std::uint8_t> body,
                                                     int deleted) {
    const std::size_t count = readU16(body, 0);
    std::vector<Range> kept;
    for (const Range& range : shiftRanges(readRanges(body, 2, count, false), deleted)) {
        if (range.firstRow != range.lastRow || range.firstColumn != range.lastColumn) {
            kept.push_back(range);
        }
    }
    return mergedCellsBody(kept);
}

// A record starting (at `at`) with one Ref8 range.
std::optional<std::vector<std::uint8_t>> shiftLeadingRange(std::span<const std::uint8_t> body,
                                                           std::size_t at, int deleted) {
    const auto ranges = readRanges(body, at, 1, false);
    const auto shifted = shiftRange(ranges[0], deleted);
    if (!shifted) return std::nullopt;
    std::vector<std::uint8_t> out(body.begin(), body.end());
    patchU16(out, at, static_cast<std::uint16_t>(shifted->firstRow));
    patchU16(out, at + 2, static_cast<std::uint16_t>(shifted->lastRow));
    return out;
}

std::optional<std::vector<std::uint8_t>> shiftNote(std::span<const std::uint8_t> body,
                                                   int deleted) {
    const auto row = shiftRow(readU16(body, 0), deleted);
    if (!row) return std::nullopt;
    std::vector<std::uint8_t> out(body.begin(), body.end());
    patchU16(out, 0, static_cast<std::uint16_t>(*row));
    return out;
}

std::vector<std::uint8_t> shiftSelection(std::span<const std::uint8_t> body, int deleted) {
    std::vector<std::uint8_t> out(body.begin(), body.end());
    int activeRow = readU16(body, 1);
    const int activeColumn = readU16(body, 3);
    if (activeRow > deleted) patchU16(out, 1, static_cast<std::uint16_t>(--activeRow));
    const std::size_t count = readU16(body, 7);
    const auto ranges = readRanges(body, 9, count, true);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        Range range = ranges[i];
        if (auto shifted = shiftRange(range, deleted)) {
            range = *shifted;
        } else {
            range = {activeRow, activeRow, std::min(activeColumn, 255),
                     std::min(activeColumn, 255)};
        }
        std::vector<std::uint8_t> bytes;
        putRange(bytes, range, true);
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(9 + 6 * i));
    }
    return out;
}

std::vector<std::uint8_t> shiftPageBreaks(std::span<const std::uint8_t> body, int deleted) {
    const std::size_t count = readU16(body, 0);
    if (2 + count * 6 > body.size()) throw FormatViolation("page breaks past their record");
    std::vector<std::uint8_t> entries;
    int previous = -1;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 2 + 6 * i;
        int row = readU16(body, at);
        if (row > deleted) --row;
        if (row == previous) continue;
        previous = row;
        putU16(entries, static_cast<std::uint16_t>(row));
        entries.insert(entries.end(), body.begin() + static_cast<std::ptrdiff_t>(at + 2),
                       body.begin() + static_cast<std::ptrdiff_t>(at + 6));
        ++kept;
    }
    std::vector<std::uint8_t> out;
    putU16(out, static_cast<std::uint16_t>(kept));
    out.insert(out.end(), entries.begin(), entries.end());
    out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(2 + count * 6), body.end());
    return out;
}

// The merged ranges of a MERGEDCELLS body after rows were reordered. A range inside the
// reordered block goes where its rows went when they stay together in order (a one-row range
// always does); any other range whose rows moved is unmerged, so that no value it would
// cover is hidden. nullopt when no range is left.
std::optional<std::vector<std::uint8_t>> permuteMerged(std::span<const std::uint8_t> body,
                                                       int first0, int firstColumn0,
                                                       int lastColumn0,
                                                       const std::vector<int>& newRowOf) {
    const int count = static_cast<int>(newRowOf.size());
    auto target = [&](int row) { return permutedRow(row, first0, newRowOf); };
    std::vector<Range> kept;
    for (Range range : readRanges(body, 2, readU16(body, 0), false)) {
        const bool inside = range.firstRow >= first0 && range.lastRow < first0 + count &&
                            range.firstColumn >= firstColumn0 && range.lastColumn <= lastColumn0;
        const bool overlaps = range.firstRow < first0 + count && range.lastRow >= first0 &&
                              range.firstColumn <= lastColumn0 && range.lastColumn >= firstColumn0;
        if (!overlaps) {
            kept.push_back(range);
            continue;
        }
        const int from = std::max(range.firstRow, first0);
        const int to = std::min(range.lastRow, first0 + count - 1);
        const int shift = target(from) - from;
        bool together = true;
        for (int row = from; row <= to && together; ++row) together = target(row) - row == shift;
        if (together && (shift == 0 || inside)) {
            range.firstRow += shift;
            range.lastRow += shift;
            kept.push_back(range);
        }
    }
    return mergedCellsBody(kept);
}

}  // namespace

void shiftAnchoredRecords(SheetData& sheet, int deleted) {
    shiftDrawingAnchors(sheet, deleted);  // first: it reads the notes' rows as they were
    shiftSourceRanges(sheet, deleted);
    RecordEditor editor(sheet);
    std::vector<KeptRecord> result;
    result.reserve(sheet.records.size());
    bool dropFollowers = false;  // the tooltip of a dropped HLINK
    for (const KeptRecord& record : sheet.records) {
        if (!isEditable(record)) {
            result.push_back(record);
            dropFollowers = false;
            continue;
        }
        if (dropFollowers && record.id == kHLinkTooltip) continue;
        dropFollowers = false;
        std::optional<std::vector<std::uint8_t>> body;
        try {
            const auto old = editor.body(record);
            switch (record.id) {
                case rec::kMergedCells:
                    body = shiftMerged(old, deleted);
                    break;
                case rec::kHLink:
                    body = shiftLeadingRange(old, 0, deleted);
                    dropFollowers = !body;
                    break;
                case kHLinkTooltip:
                    body = shiftLeadingRange(old, 2, deleted);
                    break;
                case rec::kNote:
                    body = shiftNote(old, deleted);
                    break;
                case rec::kSelection:
                    body = shiftSelection(old, deleted);
                    break;
                case rec::kHorizontalPageBreaks:
                    body = shiftPageBreaks(old, deleted);
                    break;
                default:
                    result.push_back(record);
                    continue;
            }
        } catch (const FormatViolation&) {
            result.push_back(record);  // a record we cannot follow stays as it was
            continue;
        }
        if (body) result.push_back(editor.replaced(record, *body));
    }
    sheet.records = std::move(result);
    shiftNewerRangeRecords(sheet, deleted);
    shiftSortAndWatchRecords(sheet, deleted);
}

void permuteAnchoredRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                            const std::vector<int>& newRowOf) {
    permuteDrawingAnchors(sheet, first0, firstColumn0, lastColumn0, newRowOf);
    permuteSourceRanges(sheet, first0, firstColumn0, lastColumn0, newRowOf);
    RecordEditor editor(sheet);
    const int count = static_cast<int>(newRowOf.size());
    auto moved = [&](int row, int firstColumn, int lastColumn) -> int {
        if (row < first0 || row >= first0 + count) return -1;
        if (firstColumn < firstColumn0 || lastColumn > lastColumn0) return -1;
        return newRowOf[static_cast<std::size_t>(row - first0)];
    };
    std::vector<KeptRecord> result;
    result.reserve(sheet.records.size());
    for (KeptRecord& record : sheet.records) {
        if (isEditable(record) && record.id == rec::kMergedCells) {
            try {
                const auto body =
                    permuteMerged(editor.body(record), first0, firstColumn0, lastColumn0, newRowOf);
                if (body) result.push_back(editor.replaced(record, *body));
            } catch (const FormatViolation&) {
                result.push_back(record);  // a record we cannot follow stays as it was
            }
            continue;
        }
        result.push_back(record);
    }
    sheet.records = std::move(result);
    for (KeptRecord& record : sheet.records) {
        if (!isEditable(record)) continue;
        if (record.id != rec::kNote && record.id != rec::kHLink && record.id != kHLinkTooltip) {
            continue;
        }
        auto body = editor.body(record);
        const std::size_t at = record.id == kHLinkTooltip ? 2 : 0;
        if (body.size() < at + 8) continue;
        if (record.id == rec::kNote) {
            const int row = readU16(body, 0), column = readU16(body, 2);
            const int target = moved(row, column, column);
            if (target < 0 || target == row) continue;
            patchU16(body, 0, static_cast<std::uint16_t>(target));
        } else {
            const int firstRow = readU16(body, at), lastRow = readU16(body, at + 2);
            if (firstRow != lastRow) continue;
            const int target = moved(firstRow, readU16(body, at + 4), readU16(body, at + 6));
            if (target < 0 || target == firstRow) continue;
            patchU16(body, at, static_cast<std::uint16_t>(target));
            patchU16(body, at + 2, static_cast<std::uint16_t>(target));
        }
        record = editor.replaced(record, body);
    }
    permuteRangeRecords(sheet, first0, firstColumn0, lastColumn0, newRowOf);
    permuteSortAndWatchRecords(sheet, first0, firstColumn0, lastColumn0, newRowOf);
}

}  // namespace clivara::archive
