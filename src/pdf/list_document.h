#pragma once

#include <filesystem>
#include <iosfwd>
#include <string_view>

namespace clivara::pdf {

// clivara-archivio elenco: writes the printed customer list of the archive (every customer,
// or those the register's search finds for query) as a PDF file, A4 landscape with 10 mm
// margins, laid out as the window prints it; replaced whole, or left as it was when anything
// fails. Failures go to err in Italian. Returns 0 on success, 2 when the archive cannot be
// read or the PDF not written.
int writeCustomerListPdf(const std::filesystem::path& archive, const std::filesystem::path& pdf,
                         std::string_view query, std::ostream& err);

}  // namespace clivara::pdf
