#pragma once

#include <string>
#include <vector>

#include "archive/workbook.h"

namespace clivara::tool {

// The findings of `check` about the codici fiscali and partite IVA of "Clienti", one line per
// customer concerned, appended to problems: each code that fails its check, with the reason,
// and each customer that shares its code with others, naming them. A customer is named as
// "ID n (riga r, «name»)" and the field by its caption.
void reportTaxCodes(const archive::Sheet& clienti, std::vector<std::string>& problems);

}  // namespace clivara::tool
