#include "archive/formulas/formula_blocks.h"

#include <optional>

#include "archive/formulas/formula_row_moves.h"
#include "archive/records/biff_stream.h"

namespace clivara::archive {

namespace {

// Where the tokens of a FORMULA record stand: the record header, then row, column, XF, the
// cached result, flags and a reserved word before the token count.
constexpr std::size_t kTokenCountAt = 4 + 20;

struct Position {
    int row = 0, column = 0;
    bool operator==(const Position&) const = default;
};

const Formula* formulaOf(const SheetData& sheet, const Cell* cell) {
    if (cell == nullptr || cell->type != CellType::Formula ||
        cell->payload >= sheet.formulas.size())
        return nullptr;
    return &sheet.formulas[cell->payload];
}

// The first cell a formula made of one Exp (array) or Table token points at.
std::optional<Position> pointerOf(const Formula& formula) {
    const std::span<const std::uint8_t> records(formula.records);
    if (records.size() < kTokenCountAt + 2 + 5) return std::nullopt;
    if (readU16(records, 2) < 20 + 2 + 5 || readU16(records, kTokenCountAt) != 5) {
        return std::nullopt;
    }
    const std::size_t tokens = kTokenCountAt + 2;
    if (records[tokens] != 0x01 && records[tokens] != 0x02) return std::nullopt;
    return Position{readU16(records, tokens + 1), readU16(records, tokens + 3)};
}

// The block of an ARRAY or TABLE record among a formula cell's records, and whether a
// SHRFMLA record stands beside it.
struct Block {
    Position first;
    int lastRow = 0, lastColumn = 0;
    bool shared = false;
    bool found = false;
};

Block blockOf(const Formula& formula) {
    Block block;
    const std::span<const std::uint8_t> records(formula.records);
    std::size_t at = 0;
    while (records.size() - at >= 4) {
        const std::uint16_t id = readU16(records, at);
        const std::size_t length = readU16(records, at + 2);
        if (length > records.size() - at - 4) break;
        const auto body = records.subspan(at + 4, length);
        if ((id == rec::kArray || id == rec::kTable) && length >= 6 && !block.found) {
            block.first = {readU16(body, 0), body[4]};
            block.lastRow = readU16(body, 2);
            block.lastColumn = body[5];
            block.found = true;
        }
        block.shared = block.shared || id == rec::kShrFmla;
        at += 4 + length;
    }
    return block;
}

}  // namespace

bool freezeArrayOrTableAt(SheetData& sheet, int row0, int column0) {
    const Formula* written = formulaOf(sheet, sheet.find(row0, column0));
    if (written == nullptr) return false;
    // The cell carrying the block: the written one itself, or the first cell it points at.
    Block block;
    Position owner{row0, column0};
    if (written->ownsSharedRecords) block = blockOf(*written);
    if (!block.found) {
        const std::optional<Position> pointer = pointerOf(*written);
        if (!pointer) return false;
        for (std::size_t r = 0; r < sheet.rows.size() && !block.found; ++r) {
            for (const Cell& cell : sheet.rows[r].cells) {
                const Formula* formula = formulaOf(sheet, &cell);
                if (formula == nullptr || !formula->ownsSharedRecords) continue;
                const Block candidate = blockOf(*formula);
                if (candidate.found && candidate.first == *pointer) {
                    block = candidate;
                    owner = {static_cast<int>(r), cell.column};
                    break;
                }
            }
        }
    }
    const bool covers = block.found && block.first.row <= row0 && row0 <= block.lastRow &&
                        block.first.column <= column0 && column0 <= block.lastColumn;
    if (!covers || block.shared) return false;

    // The cells of the block that point at its first cell, and the cell carrying the record.
    for (int r = block.first.row; r <= block.lastRow; ++r) {
        if (static_cast<std::size_t>(r) >= sheet.rows.size()) break;
        for (Cell& cell : sheet.rows[static_cast<std::size_t>(r)].cells) {
            if (cell.column < block.first.column || cell.column > block.lastColumn) continue;
            const Formula* formula = formulaOf(sheet, &cell);
            if (formula == nullptr) continue;
            const bool isOwner = owner == Position{r, cell.column};
            if (isOwner || pointerOf(*formula) == std::optional<Position>(block.first)) {
                cell = cachedValue(cell, *formula, *sheet.book);
            }
        }
    }
    if (Cell* cell = sheet.find(owner.row, owner.column); formulaOf(sheet, cell) != nullptr) {
        *cell = cachedValue(*cell, *formulaOf(sheet, cell), *sheet.book);
    }
    sheet.changed = true;
    return true;
}

}  // namespace clivara::archive
