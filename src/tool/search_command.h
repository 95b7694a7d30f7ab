#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace clivara::tool {

// cerca: the customers of "Clienti" that the window's search finds for the words (joined by
// spaces into one query), one line each in sheet order: row, ID and Ragione Sociale separated
// by tabs (UTF-8). kExitSound when something matched, kExitProblems when nothing did,
// kExitUnreadable when the archive cannot be read or has no "Clienti".
int searchArchive(const std::filesystem::path& file, const std::vector<std::string>& words,
                  std::ostream& out, std::ostream& err);

}  // namespace clivara::tool
