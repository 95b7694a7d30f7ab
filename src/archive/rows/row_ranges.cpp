// Cell ranges of records and how they follow deleted or reordered rows.

#include "archive/rows/row_ranges.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "archive/container/format_violation.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"

namespace clivara::archive {

std::optional<int> shiftRow(int row, int deleted) {
    if (row == deleted) return std::nullopt;
    return row > deleted ? row - 1 : row;
}

std::optional<Range> shiftRange(Range range, int deleted) {
    if (range.lastRow < deleted) return range;
    if (range.firstRow > deleted) {
        --range.firstRow;
        if (range.lastRow != kLastRowIndex) --range.lastRow;
        return range;
    }
    if (range.firstRow == deleted && range.lastRow == deleted) return std::nullopt;
    if (range.lastRow != kLastRowIndex) --range.lastRow;
    return range;
}

int permutedRow(int row, int first0, const std::vector<int>& newRowOf) {
    const int count = static_cast<int>(newRowOf.size());
    return row >= first0 && row < first0 + count ? newRowOf[static_cast<std::size_t>(row - first0)]
                                                 : row;
}

std::vector<Range> readRanges(std::span<const std::uint8_t> body, std::size_t at, std::size_t count,
                              bool byteColumns) {
    std::vector<Range> ranges;
    const std::size_t size = byteColumns ? 6 : 8;
    if (at > body.size() || count > (body.size() - at) / size) {
        throw FormatViolation("range list past its record");
    }
    for (std::size_t i = 0; i < count; ++i, at += size) {
        Range range{readU16(body, at), readU16(body, at + 2), 0, 0};
        if (byteColumns) {
            range.firstColumn = body[at + 4];
            range.lastColumn = body[at + 5];
        } else {
            range.firstColumn = readU16(body, at + 4);
            range.lastColumn = readU16(body, at + 6);
        }
        ranges.push_back(range);
    }
    return ranges;
}

void putRange(std::vector<std::uint8_t>& out, const Range& range, bool byteColumns) {
    putU16(out, static_cast<std::uint16_t>(range.firstRow));
    putU16(out, static_cast<std::uint16_t>(range.lastRow));
    if (byteColumns) {
        out.push_back(static_cast<std::uint8_t>(range.firstColumn));
        out.push_back(static_cast<std::uint8_t>(range.lastColumn));
    } else {
        putU16(out, static_cast<std::uint16_t>(range.firstColumn));
        putU16(out, static_cast<std::uint16_t>(range.lastColumn));
    }
}

std::vector<Range> shiftRanges(const std::vector<Range>& ranges, int deleted) {
    std::vector<Range> kept;
    for (const Range& range : ranges) {
        if (auto shifted = shiftRange(range, deleted)) kept.push_back(*shifted);
    }
    return kept;
}

Range boundOf(const std::vector<Range>& ranges) {
    Range bound = ranges.front();
    for (const Range& range : ranges) {
        bound.firstRow = std::min(bound.firstRow, range.firstRow);
        bound.lastRow = std::max(bound.lastRow, range.lastRow);
        bound.firstColumn = std::min(bound.firstColumn, range.firstColumn);
        bound.lastColumn = std::max(bound.lastColumn, range.lastColumn);
    }
    return bound;
}

std::vector<Range> permuteRanges(const std::vector<Range>& ranges, int first0, int firstColumn0,
                                 int lastColumn0, const std::vector<int>& newRowOf) {
    const int last0 = first0 + static_cast<int>(newRowOf.size()) - 1;
    std::vector<Range> result;
    // Pieces that moved, by their column span, as sets of rows; joined into runs at the end.
    std::map<std::pair<int, int>, std::vector<int>> moved;
    for (const Range& range : ranges) {
        const int top = std::max(range.firstRow, first0), bottom = std::min(range.lastRow, last0);
        const int left = std::max(range.firstColumn, firstColumn0);
        const int right = std::min(range.lastColumn, lastColumn0);
        if (top > bottom || left > right) {
            result.push_back(range);
            continue;
        }
        // The parts outside the block: above, below, then left and right of it.
        if (range.firstRow < top)
            result.push_back({range.firstRow, top - 1, range.firstColumn, range.lastColumn});
        if (range.lastRow > bottom)
            result.push_back({bottom + 1, range.lastRow, range.firstColumn, range.lastColumn});
        if (range.firstColumn < left) result.push_back({top, bottom, range.firstColumn, left - 1});
        if (range.lastColumn > right) result.push_back({top, bottom, right + 1, range.lastColumn});
        auto& rows = moved[{left, right}];
        for (int row = top; row <= bottom; ++row) {
            rows.push_back(newRowOf[static_cast<std::size_t>(row - first0)]);
        }
    }
    for (auto& [columns, rows] : moved) {
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        for (std::size_t i = 0; i < rows.size();) {
            std::size_t j = i;
            while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
            result.push_back({rows[i], rows[j], columns.first, columns.second});
            i = j + 1;
        }
    }
    if (moved.empty()) return result;
    // Join ranges of the same columns that touch, so that a range covering the whole block
    // comes back as it was.
    std::sort(result.begin(), result.end(), [](const Range& a, const Range& b) {
        return std::tie(a.firstColumn, a.lastColumn, a.firstRow) <
               std::tie(b.firstColumn, b.lastColumn, b.firstRow);
    });
    std::vector<Range> joined;
    for (const Range& range : result) {
        if (!joined.empty()) {
            Range& previous = joined.back();
            if (previous.firstColumn == range.firstColumn &&
                previous.lastColumn == range.lastColumn && range.firstRow <= previous.lastRow + 1) {
                previous.lastRow = std::max(previous.lastRow, range.lastRow);
                continue;
            }
        }
        joined.push_back(range);
    }
    return joined;
}

std::size_t validationRangesAt(std::span<const std::uint8_t> body) {
    ByteReader in(body);
    in.u32();
    for (int i = 0; i < 4; ++i) readUnicodeString16(in);
    for (int i = 0; i < 2; ++i) {
        const std::size_t length = in.u16();
        in.skip(2);
        in.skip(length);
    }
    return in.position();
}

bool isEditable(const KeptRecord& record) {
    return record.source == KeptRecord::Source::Stream ||
           record.source == KeptRecord::Source::Owned;
}

std::vector<std::uint8_t> RecordEditor::body(const KeptRecord& record) const {
    const auto bytes = recordBytes(*sheet_.book, &sheet_, record);
    return std::vector<std::uint8_t>(bytes.begin() + 4, bytes.end());
}

KeptRecord ownedRecord(std::vector<std::vector<std::uint8_t>>& owned, const KeptRecord& record,
                       std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> bytes;
    putRecord(bytes, record.id, body);
    KeptRecord kept = record;
    kept.source = KeptRecord::Source::Owned;
    kept.offset = static_cast<std::uint32_t>(owned.size());
    kept.size = static_cast<std::uint32_t>(bytes.size());
    owned.push_back(std::move(bytes));
    return kept;
}

KeptRecord RecordEditor::replaced(const KeptRecord& record, std::span<const std::uint8_t> newBody) {
    return ownedRecord(sheet_.owned, record, newBody);
}

}  // namespace clivara::archive
