#pragma once

// The workbook model's reader, writer and row-anchored record updates, shared by
// workbook.cpp and their tests.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive/workbook_data.h"

namespace clivara::archive {

// Reads a whole compound file; throws ArchiveError naming displayName. When `release` is
// given (it holds `bytes`), it is freed as soon as the container has been read.
std::unique_ptr<WorkbookData> readWorkbook(std::span<const std::uint8_t> bytes,
                                           const std::string& displayName,
                                           std::vector<std::uint8_t>* release);

// The workbook stream as it would be written.
std::vector<std::uint8_t> writeWorkbookStream(const WorkbookData& book);

// The bytes of a kept record, header included.
std::span<const std::uint8_t> recordBytes(const WorkbookData& book, const SheetData* sheet,
                                          const KeptRecord& record);

// Updates the records anchored to rows (merged cells, hyperlinks, notes, conditional formats,
// data validation, selections, page breaks) after 0-based row `deleted` was removed.
void shiftAnchoredRecords(SheetData& sheet, int deleted);
// Moves single-cell hyperlinks and notes inside the permuted block with their rows:
// newRowOf[i] is the new 0-based row of the old row first0 + i.
void permuteAnchoredRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                            const std::vector<int>& newRowOf);

}  // namespace clivara::archive
