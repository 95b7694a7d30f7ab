#pragma once

#include <string>
#include <string_view>

namespace clivara::customers {

// The check digit of an Italian partita IVA from its first ten digits: the digits in odd
// places are added as they are, those in even places doubled (less 9 when above 9); the
// check digit brings the sum to a multiple of 10. -1 when first10 is not ten digits.
int partitaIvaCheckDigit(std::string_view first10);

// What is wrong with a partita IVA as typed, in plain Italian; empty when nothing is (an
// empty text included). A leading "IT" is accepted; a number of another country, led by its
// own two-letter prefix (DE, FR, ...), is not checked.
std::string partitaIvaHint(std::string_view text);

}  // namespace clivara::customers
