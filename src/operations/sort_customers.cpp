#include "archive/sort/sort_archive.h"
#include "operations/customer_rows.h"
#include "operations/undo_change.h"
#include "window/form1.h"

void Form1::SortArchive() {
    clivara::operations::noteUndoSort(
        *this,
        clivara::archive::sortCustomerRows(clivara::operations::requireSheet(*this, "Clienti")));
}
