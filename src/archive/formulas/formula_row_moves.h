#pragma once

// Formulas follow the rows of a sheet when one is deleted or when rows are reordered, the way
// the spreadsheet application adjusts them: token by token in the cell formulas of every
// sheet, the shared and array formulas, the defined names, the conditional-format and
// validation formulas and the chart series. A formula with a token that cannot follow is
// replaced by its cached value, alone, and listed in SheetData::frozenFormulas.

#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// The cached value of a formula as the plain cell it stands for (its format kept).
Cell cachedValue(const Cell& cell, const Formula& formula, WorkbookData& book);

// To be called just before 0-based row `deleted` of `sheet` is removed (and before the
// records anchored to rows move): rewrites what points at the rows of `sheet`, anywhere in
// its workbook. The sheet's list of frozen formulas follows the rows too.
void followDeletedRowInFormulas(SheetData& sheet, int deleted);

// To be called just before the cells of columns [firstColumn0, lastColumn0] of the rows
// first0 .. first0 + newRowOf.size() - 1 move, row first0 + i to row newRowOf[i]: the formulas
// among those cells move with their rows, relative references following their row as a copy
// would; references from elsewhere keep pointing at the same cells, as after the application's
// Sort. The sheet's list of frozen formulas follows the rows too.
void followPermutedRowsInFormulas(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                                  const std::vector<int>& newRowOf);

}  // namespace clivara::archive
