#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive/workbook.h"

namespace clivara::customers {

// How many formulas each sheet had replaced by their values so far; taken before a change.
struct FrozenFormulaMark {
    std::vector<std::size_t> perSheet;
};

FrozenFormulaMark markFrozenFormulas(const archive::Workbook& book);

// A deletion or a sort replaces a formula by its last value when one of its elements cannot
// follow the rows. A formula that calls a function recalculated at every opening (TODAY, NOW,
// RAND, OFFSET, INDIRECT, CELL, INFO) then stops showing what the office expects of it, so the
// user is told. The Italian warning for such formulas frozen since the mark, or an empty text.
std::string volatileFreezeWarning(const archive::Workbook& book, const FrozenFormulaMark& mark);

// "A1", "P12", "AB3": a cell's name as the spreadsheet application shows it (1-based).
std::string cellName(int row, int column);

}  // namespace clivara::customers
