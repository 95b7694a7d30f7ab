// The numeric value behind a cell, for ordering rows: numbers and dates as stored, booleans as
// 1 or 0, formulas by their cached result.
#include "archive/model/workbook_data.h"
#include "archive/workbook.h"

namespace clivara::archive {

double Sheet::number(int row, int column) const {
    if (row < 1 || row > kLastRow || column < 1 || column > kLastColumn) {
        return 0;
    }
    const Cell* cell = data_->find(row - 1, column - 1);
    if (cell == nullptr) {
        return 0;
    }
    switch (cell->type) {
        case CellType::Number:
            return cell->number();
        case CellType::Boolean:
            return cell->payload != 0 ? 1 : 0;
        case CellType::Formula: {
            const Formula& formula = data_->formulas[cell->payload];
            if (formula.result == FormulaResult::Number) {
                return formula.number;
            }
            if (formula.result == FormulaResult::Boolean) {
                return formula.code != 0 ? 1 : 0;
            }
            return 0;
        }
        default:
            return 0;
    }
}

}  // namespace clivara::archive
