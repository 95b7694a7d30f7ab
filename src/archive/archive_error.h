#pragma once

#include <stdexcept>
#include <string>

namespace clivara::archive {

// Why an archive could not be read or written. Each kind carries its own Italian message,
// shown to the user as it stands, so the kinds stay distinct.
enum class ArchiveProblem {
    Missing,       // no file at that path
    Unreadable,    // the file exists but cannot be opened for reading
    Empty,         // zero bytes
    NotExcel,      // not an Excel 97-2003 workbook (random bytes, .xlsx renamed, ...)
    OldFormat,     // Excel 2.x to 5.0/95 workbook: must be saved again as Excel 97-2003
    Encrypted,     // protected by a password
    Damaged,       // a compound file or a workbook stream that breaks the format's rules
    TextTooLong,   // a text longer than a cell can hold
    SheetMissing,  // a sheet the program needs is not in the workbook
    NotANumber,    // a cell that must hold a number holds something else
    WriteFailed,   // the archive could not be saved
};

class ArchiveError : public std::runtime_error {
  public:
    ArchiveError(ArchiveProblem problem, const std::string& italianMessage, int systemError = 0)
        : std::runtime_error(italianMessage), problem_(problem), systemError_(systemError) {}

    ArchiveProblem problem() const noexcept { return problem_; }
    // The errno behind a file that could not be written; 0 when none is known.
    int systemError() const noexcept { return systemError_; }

  private:
    ArchiveProblem problem_;
    int systemError_ = 0;
};

}  // namespace clivara::archive
