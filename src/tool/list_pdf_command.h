#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace clivara::tool {

// `elenco FILE OUT.pdf [TESTO...]` and `etichette FILE OUT.pdf [--formato NOME] [TESTO...]`:
// the printed documents are painted with Qt, which the other commands do not need, so they
// are written by the program clivara-elenco standing beside this one, run in this process's
// place with the same arguments (the command first). Returns only when that program cannot
// be run, with the reason on `err`.
int runListPdfProgram(const std::vector<std::string>& args, std::ostream& err);

}  // namespace clivara::tool
