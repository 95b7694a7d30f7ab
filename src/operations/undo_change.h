#pragma once

#include "archive/sort/sort_archive.h"
#include "register/recovery_journal.h"

class Form1;

namespace clivara::operations {

// The handlers of "Aggiungi", "Modifica" and "Elimina" record each change in the window's
// history, within their guarded change: begun before the first write (the rows it will write
// are kept), told of the sort, committed at the end with the fields as written.
void beginUndoStep(Form1& form, customers::RegisterChange::Kind kind, int row);
void noteUndoSort(Form1& form, const archive::AppliedSort& sorted);
void commitUndoStep(Form1& form, customers::RegisterChange::Kind kind, int row);

}  // namespace clivara::operations
