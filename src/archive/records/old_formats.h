#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace clivara::archive {

// Excel 2.x, 3.0 and 4.0 wrote a bare record stream, with no compound file around it. When
// the bytes start with the BOF record of one of those versions, the version as the user knows
// it ("Excel 2.x", "Excel 3.0", "Excel 4.0"); otherwise nothing.
std::optional<std::string> oldestExcelVersion(std::span<const std::uint8_t> bytes);

// True when a workbook stream starts with the BOF of BIFF8 (version 0x0600), whatever the
// stream is called: some writers store BIFF8 records under Excel 5.0's name "Book".
bool startsWithBiff8Bof(std::span<const std::uint8_t> stream);

}  // namespace clivara::archive
