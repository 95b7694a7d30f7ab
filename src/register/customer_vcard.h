#pragma once

#include <span>
#include <string>

#include "archive/workbook.h"

namespace clivara::customers {

// The customers of those rows of "Clienti", in the order given, as vCards for an address book
// or a phone: vCard 3.0 (RFC 2426), the version that phones' importers and mail programs all
// read, UTF-8, CR LF line ends, lines longer than 75 bytes folded (never inside a character).
// Each card holds the "ID" as UID; "Ragione Sociale" as FN and ORG (N stays empty: a
// customer is a firm as often as a person); the address ("Indirizzo", "Località", "(PR)",
// "C.A.P.") as a work ADR; "Telefono" as a work TEL and "Cellullare" as a cell TEL; and a
// NOTE with the codice fiscale, the partita IVA and both notes, one to a line. Empty fields
// leave their property out. Texts are escaped as the format wants (\\ \, \; \n).
std::string customersAsVcards(const archive::Sheet& clienti, std::span<const int> rows);

}  // namespace clivara::customers
