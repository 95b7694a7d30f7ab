#pragma once

// Array formulas (ARRAY) and data tables (TABLE): a block of cells whose formulas are each a
// single pointer to the block's first cell, which carries the block's record.

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// When the cell at 0-based (row0, column0) belongs to an array formula or a data table,
// replaces every cell of that block by its cached value, the block's record going with the
// first cell's formula, and returns true. Any other cell: nothing changes, false. A block
// whose first cell also carries a shared formula is left alone (other cells may use it).
bool freezeArrayOrTableAt(SheetData& sheet, int row0, int column0);

}  // namespace clivara::archive
