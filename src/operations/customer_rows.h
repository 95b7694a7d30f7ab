#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "archive/workbook.h"
#include "register/customer_rows.h"

class Form1;

namespace clivara::operations {

// The sheet of that name (letter case ignored); throws ArchiveError(SheetMissing) when the
// workbook has none, or when no archive is open.
archive::Sheet& requireSheet(Form1& form, std::string_view name);

// The rows and the counter are the register's, without Qt; the handlers use them by these
// names.
using customers::counterText;
using customers::counterValue;
using customers::findCustomerRowById;
using customers::firstFreeCustomerRow;

// The row carrying the identifier shown in the "ID" field, for "Modifica Cliente" and
// "Elimina Cliente". When no row carries it, the message `notFound` is shown (OK only, with
// `title`) and 0 returned; a failure of the search is reported and gives -1. Nothing changes.
int rowOfShownId(Form1& form, const QString& title, const QString& notFound);

// Checks the thirteen fields before an addition or a modification asks its question: an
// empty "Ragione Sociale", or a field longer than a cell can hold, is refused with a message.
// True when the fields can be stored.
bool customerFieldsStorable(Form1& form);

// Longest text a cell holds, in UTF-16 code units as the file stores it.
inline constexpr int kMaxCellTextLength = 32767;

}  // namespace clivara::operations
