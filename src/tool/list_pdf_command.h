#pragma once

#include <ostream>
#include <string>

namespace clivara::tool {

// `elenco FILE OUT.pdf`: the printed list is painted with Qt, which the other commands do not
// need, so it is written by the program clivara-elenco standing beside this one, run in this
// process's place. Returns only when that program cannot be run, with the reason on `err`.
int runListPdfProgram(const std::string& archive, const std::string& pdf, std::ostream& err);

}  // namespace clivara::tool
