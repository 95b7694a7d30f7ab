#pragma once

// The sheet's drawing (pictures, charts, note boxes, drop-down buttons) follows its rows: the
// OfficeArt records in the sheet's MSODRAWING records hold one client anchor per shape, a
// cell-based rectangle (first and last row and column, with offsets inside them).

#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// After 0-based row `deleted` went away: anchors follow the rows, a note's box follows its note,
// and the drawing object of every note on the deleted row (its shape, OBJ and TXO) goes with it.
// Called before the NOTE records are shifted. A drawing it cannot read stays as it was.
void shiftDrawingAnchors(SheetData& sheet, int deleted);

// After rows were reordered (newRowOf[i] is the new row of old row first0 + i, for the columns
// firstColumn0..lastColumn0): a note's box goes with its note, and a shape that moves with its
// cells and lies inside one reordered row goes with that row. Called before the NOTE records move.
void permuteDrawingAnchors(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                           const std::vector<int>& newRowOf);

}  // namespace clivara::archive
