// The text of a text cell as stored, for walks over many rows that must not copy every name.
#include "archive/workbook.h"
#include "archive/workbook_data.h"

namespace clivara::archive {

std::optional<std::string_view> Sheet::storedText(int row, int column) const {
    if (row < 1 || row > kLastRow || column < 1 || column > kLastColumn) {
        return std::nullopt;
    }
    const Cell* cell = data_->find(row - 1, column - 1);
    if (cell == nullptr) {
        return std::nullopt;
    }
    if (cell->type == CellType::Text) {
        return data_->book->strings->text(static_cast<std::uint32_t>(cell->payload));
    }
    if (cell->type == CellType::Formula) {
        const Formula& formula = data_->formulas[cell->payload];
        if (formula.result == FormulaResult::Text) {
            return std::string_view(formula.text);
        }
        if (formula.result == FormulaResult::EmptyText) {
            return std::string_view();
        }
    }
    return std::nullopt;
}

}  // namespace clivara::archive
