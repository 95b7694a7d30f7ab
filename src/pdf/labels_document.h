#pragma once

#include <filesystem>
#include <iosfwd>
#include <string_view>

namespace clivara::pdf {

// clivara-archivio etichette: writes address labels of the archive's customers (every
// customer, or those the register's search finds for query) on sheets of the named format
// (see customers::kLabelFormats; empty: the first) as a PDF file, laid out as the window
// prints them; replaced whole or left as it was when anything fails. Failures go to err in
// Italian. Returns 0 on success, 2 when the format is unknown, the archive cannot be read or
// the PDF not written.
int writeLabelsPdf(const std::filesystem::path& archive, const std::filesystem::path& pdf,
                   std::string_view formatName, std::string_view query, std::ostream& err);

}  // namespace clivara::pdf
