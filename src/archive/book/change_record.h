#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "archive/workbook.h"

namespace clivara::archive {

// What one change of a few rows did to a workbook, kept so that it can be taken back exactly:
// the rows it wrote or removed as they were, the reorderings of rows it applied (as runs of
// rows that moved together), the length of the shared string table and, only where the change
// reached them, the records anchored to rows (formulas, names, conditional formats, drawings,
// notes) and the state of each sheet. It never copies a sheet's cells: what it holds grows
// with the rows the change touched, not with the workbook.
//
// A change that had to replace formulas by their values cannot be taken back this way (the
// formulas of other rows are gone): reversible() is then false.
class ChangeRecord {
  public:
    // Starts recording a change about to be made on `book`.
    explicit ChangeRecord(const Workbook& book);
    ChangeRecord(ChangeRecord&&) noexcept;
    ChangeRecord& operator=(ChangeRecord&&) noexcept;
    ~ChangeRecord();

    // Before the change writes cells of `row` (from 1) of `sheet`: the row as it is now.
    void keepRow(const Workbook& book, const Sheet& sheet, int row);
    // Before sheet.deleteRow(row): the row that goes.
    void keepDeletedRow(const Workbook& book, const Sheet& sheet, int row);
    // After sheet.permuteRows(firstRow, firstColumn, lastColumn, order).
    void notePermutation(const Workbook& book, const Sheet& sheet, int firstRow, int firstColumn,
                         int lastColumn, std::span<const int> order);
    // After the change: keeps the anchored records the change altered and lets the others go.
    void finish(const Workbook& book);

    bool reversible() const;
    // The last reordering noted on `sheet` (from notePermutation), as it was given, with its
    // first row; empty when none was. Made again on the same rows, the change reorders them
    // the same way.
    std::vector<int> lastPermutation(const Workbook& book, const Sheet& sheet, int& firstRow) const;
    // Puts `book`, as the change left it, back as it was before the change.
    void undo(Workbook& book) const;
    // Bytes held, for the figures of the history's memory.
    std::size_t memoryBytes() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// True when no sheet of the workbook was changed since it was read, or every change was taken
// back through ChangeRecord: saving it would write the sheets as the file holds them.
bool unchangedSinceRead(const Workbook& book);

}  // namespace clivara::archive
