#pragma once

#include <filesystem>
#include <iosfwd>

namespace clivara::tool {

// Exit codes of clivara-archivio.
inline constexpr int kExitSound = 0;
inline constexpr int kExitProblems = 1;
inline constexpr int kExitUnreadable = 2;

// Each command writes its report to out and its failures (in Italian) to err, and returns the
// exit code. Errors of the workbook layer are caught here: an unreadable archive gives
// kExitUnreadable with the layer's own message.
int checkArchive(const std::filesystem::path& file, std::ostream& out, std::ostream& err);
// dump: {"sheets": [...], "clienti": [[13 texts of A-M] for rows 1 .. the last row with a
// non-empty cell in A-M], "counter": text of "Codici" A2}; a missing "Clienti" gives
// "clienti": [], a missing "Codici" gives "counter": "".
int dumpArchive(const std::filesystem::path& file, std::ostream& out, std::ostream& err);
int copyArchive(const std::filesystem::path& in, const std::filesystem::path& out,
                std::ostream& err);
int writeNewArchive(const std::filesystem::path& file, bool withSampleCustomers, std::ostream& err);

}  // namespace clivara::tool
