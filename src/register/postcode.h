#pragma once

#include <string>
#include <string_view>

namespace clivara::customers {

// What is wrong with the text of the "C.A.P." field, in plain Italian; empty when nothing is
// (an empty text included). An Italian postcode is five digits; a customer abroad (province
// "EE") may have any postcode.
std::string postcodeHint(std::string_view postcode, std::string_view province);

}  // namespace clivara::customers
