#pragma once

#include <string>
#include <string_view>

namespace clivara::customers {

// The keys under which two customers count as the same one. Each key is empty when the text
// gives nothing to compare (an empty field), and an empty key matches nothing.

// A company name compared as a person reads it: letter case, accents and punctuation do not
// count, nor does the legal form at the end ("S.r.l.", "Srl", "S.p.A.", "& C. S.n.c.",
// "Società per azioni", ...). "Farmacia San Marco S.r.l." and "FARMACIA SAN MARCO" give
// the same key "farmacia san marco". A name made only of a legal form keeps it.
std::string customerNameKey(std::string_view name);

// A codice fiscale without spaces, in capitals.
std::string taxCodeKey(std::string_view code);

// A partita IVA without spaces, in capitals, and without the prefix "IT" before eleven
// digits, so that "IT01234567897" and "01234567897" are the same number.
std::string vatNumberKey(std::string_view number);

}  // namespace clivara::customers
