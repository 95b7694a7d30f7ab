#pragma once

#include <filesystem>
#include <optional>
#include <span>

#include "archive/workbook.h"

namespace clivara::customers {

enum class ExportFormat { Csv, Vcard };

// The format a file name asks for: ".csv" a CSV file, ".vcf" or ".vcard" vCards (letter case
// ignored); nothing for any other name.
std::optional<ExportFormat> exportFormatOf(const std::filesystem::path& file);

// Writes the customers of those rows of "Clienti" to `out` in that format, replacing the file
// atomically (a failed write leaves it as it was). The archive is only read: an `out` that is
// the archive itself (under any name) is refused before anything is written. Failures throw
// ArchiveError(WriteFailed) with the Italian reason.
void exportCustomers(const archive::Sheet& clienti, std::span<const int> rows, ExportFormat format,
                     const std::filesystem::path& out, const std::filesystem::path& archive);

}  // namespace clivara::customers
