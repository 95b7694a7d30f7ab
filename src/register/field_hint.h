#pragma once

#include <string>
#include <string_view>

namespace clivara::customers {

// The fields that have a check of their own: "C.A.P.", "(PR)", "Codice Fiscale", "Partita IVA".
bool hasFieldCheck(int field);

// What is wrong with the text of field n (1 .. 13) as typed, in plain Italian; empty when
// nothing is, and always for an empty text or a field without a check. province is the text
// of the "(PR)" field, which decides whether an Italian postcode is expected. Nothing here
// refuses or changes a text: the reason is only shown.
std::string fieldHint(int field, std::string_view text, std::string_view province);

}  // namespace clivara::customers
