#include "archive/sort/sort_archive.h"
#include "operations/customer_rows.h"
#include "window/form1.h"

void Form1::SortArchive() {
    clivara::archive::sortCustomerRows(clivara::operations::requireSheet(*this, "Clienti"));
}
