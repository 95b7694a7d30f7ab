#pragma once

// The workbook model's reader and writer, shared by workbook.cpp and their tests.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

// Reads a whole compound file; throws ArchiveError naming displayName. When `release` is
// given (it holds `bytes`), it is freed as soon as the container has been read.
std::unique_ptr<WorkbookData> readWorkbook(std::span<const std::uint8_t> bytes,
                                           const std::string& displayName,
                                           std::vector<std::uint8_t>* release);

// The workbook stream as it would be written.
std::vector<std::uint8_t> writeWorkbookStream(const WorkbookData& book);

}  // namespace clivara::archive
