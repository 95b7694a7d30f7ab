// DCONREF: a range (RefU: first and last row, 16 bits each, first and last column, 8 bits each),
// then an XLUnicodeString naming where it lies. A range in this workbook is named by the
// character 0x02 followed by the sheet's name; any other form names another workbook.

#include "archive/rows/source_ranges.h"

#include <algorithm>
#include <optional>

#include "archive/container/format_violation.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"
#include "archive/rows/row_ranges.h"

namespace clivara::archive {

namespace {

constexpr std::uint16_t kDConRef = 0x0051;

std::string asciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

// The body with its range replaced through `edit`; nullopt when the record names another sheet
// or workbook, or the range does not change.
template <typename Edit>
std::optional<std::vector<std::uint8_t>> edited(std::span<const std::uint8_t> body,
                                                const std::string& sheetName, Edit edit) {
    if (body.size() < 9) return std::nullopt;
    ByteReader in(body.subspan(6));
    const std::string file = readUnicodeString16(in);
    if (file.empty() || file[0] != '\x02' || asciiLower(file.substr(1)) != asciiLower(sheetName)) {
        return std::nullopt;
    }
    const Range range{readU16(body, 0), readU16(body, 2), body[4], body[5]};
    const std::optional<Range> result = edit(range);
    if (!result || (result->firstRow == range.firstRow && result->lastRow == range.lastRow)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(body.begin(), body.end());
    patchU16(out, 0, static_cast<std::uint16_t>(result->firstRow));
    patchU16(out, 2, static_cast<std::uint16_t>(result->lastRow));
    return out;
}

// Every DCONREF of the workbook that names `sheet`, edited.
template <typename Edit>
void editSourceRanges(SheetData& sheet, Edit edit) {
    WorkbookData& book = *sheet.book;
    for (KeptRecord& record : book.globals) {
        if (record.id != kDConRef || !isEditable(record)) continue;
        try {
            const auto bytes = recordBytes(book, nullptr, record);
            if (auto body = edited(bytes.subspan(4), sheet.name, edit)) {
                record = ownedRecord(book.ownedGlobals, record, *body);
            }
        } catch (const FormatViolation&) {
            // a record we cannot read stays as it was
        }
    }
    for (SheetData& other : book.sheets) {
        for (KeptRecord& record : other.records) {
            if (record.id != kDConRef || !isEditable(record)) continue;
            try {
                const auto bytes = recordBytes(book, &other, record);
                if (auto body = edited(bytes.subspan(4), sheet.name, edit)) {
                    record = ownedRecord(other.owned, record, *body);
                    other.changed = true;
                }
            } catch (const FormatViolation&) {
                // a record we cannot read stays as it was
            }
        }
    }
}

}  // namespace

void shiftSourceRanges(SheetData& sheet, int deleted) {
    editSourceRanges(sheet, [&](const Range& range) { return shiftRange(range, deleted); });
}

void permuteSourceRanges(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                         const std::vector<int>& newRowOf) {
    editSourceRanges(sheet, [&](const Range& range) -> std::optional<Range> {
        const auto ranges = permuteRanges({range}, first0, firstColumn0, lastColumn0, newRowOf);
        if (ranges.size() != 1) return std::nullopt;
        return ranges[0];
    });
}

}  // namespace clivara::archive
