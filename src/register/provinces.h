#pragma once

#include <string>
#include <string_view>

namespace clivara::customers {

// The province of an abbreviation ("MI" gives "Milano", "EE" "Estero"), in either letter
// case; empty when the list has no such abbreviation. The list (provinces.txt) holds the
// current provinces, abbreviations of former ones an archive may still hold, and "EE" for
// customers abroad.
std::string_view provinceName(std::string_view abbreviation);

// The text of the "(PR)" field as it is stored: a known abbreviation in capitals ("mi" gives
// "MI"), any other text as typed.
std::string provinceAsStored(std::string_view text);

// What is wrong with the text of the "(PR)" field, in plain Italian; empty when nothing is
// (an empty text included).
std::string provinceHint(std::string_view text);

}  // namespace clivara::customers
