#pragma once

// Two records of a sheet that name its cells outside any range list: the sort state the sheet
// keeps of its last sort (SORTDATA: the sorted range and, for each sort key, the cells of that
// key) and the cells shown in the watch window (CELLWATCH, one cell each).

#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// After 0-based row `deleted` of `sheet` went away: a watched cell below the row moves up, one
// on the row goes. The sort state's ranges move up or lose the row; a key that lay only on the
// row goes, and the whole sort state goes when its range or every key did. A record whose layout
// is not the one expected (other lengths, rows past the sheet, continued records) stays as it is.
void shiftSortAndWatchRecords(SheetData& sheet, int deleted);

// After rows of `sheet` were reordered (see permuteAnchoredRecords): a watched cell inside the
// block goes with its row. The sort state's ranges follow their rows when they stay one range
// each (a range covering every reordered row comes back as it was); a sort state whose range or
// a key's range the reordering split goes, as the sheet's own Sort would replace it.
void permuteSortAndWatchRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                                const std::vector<int>& newRowOf);

}  // namespace clivara::archive
