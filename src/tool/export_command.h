#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace clivara::tool {

// esporta: writes the customers of "Clienti" to OUT as CSV (OUT ending in .csv) or as vCards
// (.vcf, .vcard), in sheet order: all of them, or with words those the window's search finds
// for the words (joined by spaces into one query). The archive is only read. kExitSound when
// written (one line on out says how many), kExitProblems when no customer matched (OUT is
// left as it was), kExitUnreadable when the archive cannot be read or has no "Clienti", OUT
// has another ending or is the archive itself, or cannot be written (OUT is then as it was).
int exportArchive(const std::filesystem::path& file, const std::filesystem::path& target,
                  const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

}  // namespace clivara::tool
