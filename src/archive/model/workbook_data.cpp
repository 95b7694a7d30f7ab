// The model's own helpers: finding a cell, growing the row table, copying the shared strings
// on write, and the bytes of a kept record.

#include "archive/model/workbook_data.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace clivara::archive {

namespace {

bool sameColumn(const Cell& cell, std::uint16_t column) {
    return cell.column < column;
}

}  // namespace

std::uint64_t nextSheetRevision() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

// ---- cells and rows --------------------------------------------------------------------------

const Cell* SheetData::find(int row0, int column0) const {
    const Row* target = row(row0);
    if (target == nullptr) return nullptr;
    const auto column = static_cast<std::uint16_t>(column0);
    // Customer rows fill their columns from A without gaps, so the cell usually stands at
    // its column's own index (the cells are sorted by column without duplicates).
    if (column < target->cells.size() && target->cells[column].column == column) {
        return &target->cells[column];
    }
    auto at = std::lower_bound(target->cells.begin(), target->cells.end(), column, sameColumn);
    return at != target->cells.end() && at->column == column ? &*at : nullptr;
}

Cell* SheetData::find(int row0, int column0) {
    return const_cast<Cell*>(std::as_const(*this).find(row0, column0));
}

Row& SheetData::rowForWrite(int row0) {
    const auto index = static_cast<std::size_t>(row0);
    if (index >= rows.size()) rows.resize(index + 1);
    return rows[index];
}

SharedStrings& WorkbookData::mutableStrings() {
    if (strings.use_count() > 1) strings = std::make_shared<SharedStrings>(*strings);
    return *strings;
}

std::span<const std::uint8_t> recordBytes(const WorkbookData& book, const SheetData* sheet,
                                          const KeptRecord& record) {
    if (record.source == KeptRecord::Source::Owned) {
        return sheet != nullptr ? sheet->owned.at(record.offset)
                                : book.ownedGlobals.at(record.offset);
    }
    return std::span<const std::uint8_t>(*book.stream).subspan(record.offset, record.size);
}

}  // namespace clivara::archive
