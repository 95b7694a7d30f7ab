#pragma once

#include <span>
#include <vector>

#include "archive/workbook.h"

namespace clivara::archive {

// The first and last row (from 1) of the customer rows that the sort reorders on "Clienti":
// A2 down to the cell End(xlDown) reaches from A2. With one customer or none this runs to
// the next filled cell of column A further down, or to the sheet's last row.
struct SortRange {
    int firstRow = 2;
    int lastRow = 2;
};
SortRange customerSortRange(const Sheet& clienti);

// Ascending order of the rows firstRow..lastRow by the value in `column`, in the order the
// spreadsheet application uses: numbers, then texts, then booleans (FALSO before VERO), then
// errors, then empty cells. Texts compare without regard to case, with accented letters
// beside their base letter, apostrophes and hyphens ignored at first. Rows with equal keys
// keep their order. Returns, for each position, the offset of the row that goes there.
// Rows already in order, or with one row out of place, are recognised without a full sort;
// allowShortcut = false always sorts in full (the two give the same order).
std::vector<int> ascendingRowOrder(const Sheet& sheet, int firstRow, int lastRow, int column,
                                   bool allowShortcut = true);

// The reordering a sort applied to columns A to M: row firstRow + i took what row
// firstRow + order[i] held. No order when the rows were already in order.
struct AppliedSort {
    int firstRow = 2;
    std::vector<int> order;
};

// Sorts the customer rows of "Clienti" by column A: each row moves whole across columns A
// to M with its formatting; row 1, cells right of M and rows outside the range stay.
AppliedSort sortCustomerRows(Sheet& clienti);

}  // namespace clivara::archive
