#pragma once

#include <filesystem>
#include <iosfwd>
#include <string_view>

namespace clivara::print {

// clivara-archivio elenco: writes the printed customer list of the archive (every customer,
// or those the register's search finds for query) as a PDF file
// (replaced whole, or left as it was when anything fails). Needs no display: without a Qt
// application it starts one on the offscreen platform. Failures go to err in Italian.
// Returns 0 on success, 2 when the archive cannot be read or the PDF not written.
int writeCustomerListPdf(const std::filesystem::path& archive, const std::filesystem::path& pdf,
                         std::string_view query, std::ostream& err);

}  // namespace clivara::print
