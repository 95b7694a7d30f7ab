#pragma once

#include <string>
#include <string_view>

#include "archive/workbook.h"

namespace clivara::customers {

// The row of "Clienti" whose identifier in column B equals id, compared as text exactly
// (case and spaces count, no numeric conversion of id). The walk covers B2 down to the cell
// End(xlDown) reaches from B2 and takes the first match. An empty id matches no row, also
// where the walk passes empty cells. 0 when no row matches.
int findCustomerRowById(const archive::Sheet& clienti, std::string_view id);

// The first row, counting from row 1, whose cell in column A is empty; 0 when every row of
// the sheet is filled.
int firstFreeCustomerRow(const archive::Sheet& clienti);

// Writes one cell of a customer row just added at `row`: a cell takes the kind (text, number,
// date) that the same column has in the customer row above, the row it is added after; where
// there is none (the first customer, an empty cell above), the text decides.
void setNewCustomerCell(archive::Sheet& clienti, int row, int column, std::string_view text);

// The identifier counter (Codici A2) as a number: an empty cell counts as 0, number-like text
// as that number. Anything else throws ArchiveError(NotANumber).
double counterValue(const archive::Sheet& codici);

// The text under which a counter value is shown and stored.
std::string counterText(double value);

}  // namespace clivara::customers
