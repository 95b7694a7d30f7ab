#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "archive/workbook.h"

class Form1;

namespace clivara::operations {

// The sheet of that name (letter case ignored); throws ArchiveError(SheetMissing) when the
// workbook has none, or when no archive is open.
archive::Sheet& requireSheet(Form1& form, std::string_view name);

// The row of "Clienti" whose identifier in column B equals id, compared as text exactly
// (case and spaces count, no numeric conversion of id). The walk covers B2 down to the cell
// End(xlDown) reaches from B2 and takes the first match. An empty id matches no row, also
// where the walk passes empty cells. 0 when no row matches.
int findCustomerRowById(const archive::Sheet& clienti, std::string_view id);

// The row carrying the identifier shown in the "ID" field, for "Modifica Cliente" and
// "Elimina Cliente". When no row carries it, the message `notFound` is shown (OK only, with
// `title`) and 0 returned; a failure of the search is reported and gives -1. Nothing changes.
int rowOfShownId(Form1& form, const QString& title, const QString& notFound);

// The first row, counting from row 1, whose cell in column A is empty; 0 when every row of
// the sheet is filled.
int firstFreeCustomerRow(const archive::Sheet& clienti);

// The identifier counter (Codici A2) as a number: an empty cell counts as 0, number-like text
// as that number. Anything else throws ArchiveError(NotANumber).
double counterValue(const archive::Sheet& codici);

// The text under which a counter value is shown and stored.
std::string counterText(double value);

// Checks the thirteen fields before an addition or a modification asks its question: an
// empty "Ragione Sociale", or a field longer than a cell can hold, is refused with a message.
// True when the fields can be stored.
bool customerFieldsStorable(Form1& form);

// Longest text a cell holds, in UTF-16 code units as the file stores it.
inline constexpr int kMaxCellTextLength = 32767;

}  // namespace clivara::operations
