#pragma once

#include <stdexcept>
#include <string>

namespace clivara::archive {

// Raised inside the reader when bytes break the format's rules. The detail is for
// developers (English); Workbook turns it into an ArchiveError(Damaged) naming the file.
class FormatViolation : public std::runtime_error {
  public:
    explicit FormatViolation(const std::string& detail) : std::runtime_error(detail) {}
};

}  // namespace clivara::archive
