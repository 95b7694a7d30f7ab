#pragma once

// Ranges of a sheet that records elsewhere in the workbook take as their data: the source of a
// pivot table's cache (DCONREF in the globals) and the sources of a sheet's data consolidation
// (DCONREF in that sheet), when they name a sheet of this workbook.

#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// After 0-based row `deleted` of `sheet` went away: the ranges on that sheet move up or lose the
// row. A range that lay only on the deleted row is kept as it was: the record has room for one
// range and no way to say "none".
void shiftSourceRanges(SheetData& sheet, int deleted);

// After rows of `sheet` were reordered: a range follows its rows when they stay one range (a
// range covering the whole block stays as it is); otherwise it is kept as it was.
void permuteSourceRanges(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                         const std::vector<int>& newRowOf);

}  // namespace clivara::archive
