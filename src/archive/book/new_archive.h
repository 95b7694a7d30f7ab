#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/workbook.h"

namespace clivara::archive {

// The archive that ships with the program: "Clienti" with a bold heading row for the
// thirteen columns and sensible column widths, "Codici" with a heading in A1 and 0 in A2.
std::vector<std::uint8_t> emptyArchiveBytes();
Workbook emptyArchive();

// The thirteen column headings of "Clienti", A to M.
const std::vector<std::string>& customerHeadings();

}  // namespace clivara::archive
