#pragma once

// Cell ranges as records store them, and how they follow rows: the shared helpers of the
// records anchored to rows (row_shift.cpp, anchored_ranges.cpp, source_ranges.cpp,
// sort_state_records.cpp) and of the formulas (formula_tokens.cpp, formula_row_moves.cpp).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

inline constexpr int kLastRowIndex = 0xFFFF;

struct Range {
    int firstRow, lastRow, firstColumn, lastColumn;
};

// The row `row` after row `deleted` went away; nullopt when it was that row.
std::optional<int> shiftRow(int row, int deleted);
// The rows of [firstRow, lastRow] after row `deleted` went away; nullopt when the range lay
// only on that row. A range reaching the sheet's last row keeps reaching it.
std::optional<Range> shiftRange(Range range, int deleted);
// Where row `row` went when the rows first0 .. first0 + newRowOf.size() - 1 were reordered,
// row first0 + i to row newRowOf[i]; rows outside the block stay.
int permutedRow(int row, int first0, const std::vector<int>& newRowOf);

// Reads a list of ranges laid out as (u16 row, u16 row, u16 col, u16 col) or, with
// byteColumns, (u16 row, u16 row, u8 col, u8 col); FormatViolation when it runs past `body`.
std::vector<Range> readRanges(std::span<const std::uint8_t> body, std::size_t at, std::size_t count,
                              bool byteColumns);
void putRange(std::vector<std::uint8_t>& out, const Range& range, bool byteColumns);
std::vector<Range> shiftRanges(const std::vector<Range>& ranges, int deleted);
// The smallest range holding every range of a non-empty list.
Range boundOf(const std::vector<Range>& ranges);

// The ranges after the rows of a block were reordered: newRowOf[i] is the new row of the old
// row first0 + i, for the columns firstColumn0..lastColumn0. The part of a range inside the
// block goes with its rows, row by row, the rest stays; neighbouring pieces are joined again.
std::vector<Range> permuteRanges(const std::vector<Range>& ranges, int first0, int firstColumn0,
                                 int lastColumn0, const std::vector<int>& newRowOf);

// Where a DV record's list of ranges starts: after its flags, four strings and two formulas.
std::size_t validationRangesAt(std::span<const std::uint8_t> body);

bool isEditable(const KeptRecord& record);

// `record` with its body replaced by `body`, the new bytes kept in `owned` (a sheet's or the
// globals' store of owned records).
KeptRecord ownedRecord(std::vector<std::vector<std::uint8_t>>& owned, const KeptRecord& record,
                       std::span<const std::uint8_t> body);

// Reads kept records of one sheet and replaces their bodies by owned ones.
class RecordEditor {
  public:
    explicit RecordEditor(SheetData& sheet) : sheet_(sheet) {}
    std::vector<std::uint8_t> body(const KeptRecord& record) const;
    KeptRecord replaced(const KeptRecord& record, std::span<const std::uint8_t> newBody);

  private:
    SheetData& sheet_;
};

// Rewrites the records of newer conditional formats (CFHEADER12, CF12, CFEX), shared features
// (FEAT, FEAT11, FEAT12) and AUTOFILTER12 after row `deleted` was removed. Called after the
// older records were shifted, on the whole record list.
void shiftNewerRangeRecords(SheetData& sheet, int deleted);
// The same records, and the older CFHEADER and DV ranges, after rows were reordered.
void permuteRangeRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                         const std::vector<int>& newRowOf);

}  // namespace clivara::archive
