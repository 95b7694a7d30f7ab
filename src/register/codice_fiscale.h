#pragma once

#include <string>
#include <string_view>

namespace clivara::customers {

// The check character of a person's codice fiscale from its first fifteen characters (upper
// or lower case): each character's value from the table of odd or of even places, summed,
// modulo 26, as a letter. 0 when first15 is not fifteen letters and digits.
char codiceFiscaleCheckCharacter(std::string_view first15);

// What is wrong with a codice fiscale as typed, in plain Italian; empty when nothing is (an
// empty text included). Sixteen characters are a person's code: the layout of letters and
// digits (a digit may be replaced by a letter of L M N P Q R S T U V where two people would
// share a code), the month letter, the day (1-31, or 41-71 for women) and the check
// character. Eleven digits are a company's code, checked as a partita IVA. Letter case does
// not count, as the window shows the code in capitals.
std::string codiceFiscaleHint(std::string_view text);

}  // namespace clivara::customers
