#pragma once

// The records anchored to rows that follow a deleted row or a reordered block of rows.

#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// Updates the records anchored to rows (merged cells, hyperlinks, notes, conditional formats,
// data validation, selections, page breaks) after 0-based row `deleted` was removed.
void shiftAnchoredRecords(SheetData& sheet, int deleted);
// Moves single-cell hyperlinks and notes inside the permuted block with their rows:
// newRowOf[i] is the new 0-based row of the old row first0 + i.
void permuteAnchoredRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                            const std::vector<int>& newRowOf);

}  // namespace clivara::archive
