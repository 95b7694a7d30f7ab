// The text of a text cell as stored, for walks over many rows that must not copy every name.
#include "archive/workbook.h"

#include <algorithm>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

namespace {

// How many rows ahead of the read each stage of readAhead() works: far enough for memory to
// answer before the walk gets there, near enough that what arrives is still in the cache.
constexpr std::size_t kRowsAhead = 12;

// The cell of a text of the row (0-based column), when the row has one.
const Cell* textCell(const Row& row, std::uint16_t column0) {
    if (column0 < row.cells.size() && row.cells[column0].column == column0) {
        const Cell& cell = row.cells[column0];  // a row without gaps up to the column
        return cell.type == CellType::Text ? &cell : nullptr;
    }
    const auto at =
        std::lower_bound(row.cells.begin(), row.cells.end(), column0,
                         [](const Cell& cell, std::uint16_t c) { return cell.column < c; });
    return at != row.cells.end() && at->column == column0 && at->type == CellType::Text ? &*at
                                                                                        : nullptr;
}

}  // namespace

void Sheet::readAhead(int row, int column) const {
    if (row < 1 || column < 1 || column > kLastColumn) {
        return;
    }
    const std::vector<Row>& rows = data_->rows;
    const auto row0 = static_cast<std::size_t>(row - 1);
    const auto column0 = static_cast<std::uint16_t>(column - 1);
    // Stage by stage, each a step nearer: the row's cell where a row without gaps has it,
    // the place of the text, the text itself.
    if (const std::size_t far = row0 + 3 * kRowsAhead; far < rows.size()) {
        const std::vector<Cell>& cells = rows[far].cells;
        if (!cells.empty()) {
            __builtin_prefetch(cells.data() + std::min<std::size_t>(column0, cells.size() - 1));
        }
    }
    const SharedStrings& strings = *data_->book->strings;
    if (const std::size_t middle = row0 + 2 * kRowsAhead; middle < rows.size()) {
        if (const Cell* cell = textCell(rows[middle], column0)) {
            strings.prefetch(static_cast<std::uint32_t>(cell->payload), 0);
        }
    }
    if (const std::size_t near = row0 + kRowsAhead; near < rows.size()) {
        if (const Cell* cell = textCell(rows[near], column0)) {
            strings.prefetch(static_cast<std::uint32_t>(cell->payload), 1);
        }
    }
}

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
