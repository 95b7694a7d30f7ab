#pragma once

#include <cstddef>
#include <vector>

#include "archive/workbook.h"

namespace clivara::customers {

// The customer rows of "Clienti" in sheet order: from row 2 down to the last row that holds a
// cell, leaving out the rows whose name (column A) reads as empty text, as the search and the
// printed list count them.
std::vector<int> customerRows(const archive::Sheet& clienti);

// The customer rows ordered by one field, ascending: the filled cells first (rows[0 ..
// filled - 1]), the empty ones after them in sheet order.
struct CustomerOrder {
    std::vector<int> rows;
    std::size_t filled = 0;
};

// The customer rows (in sheet order, as customerRows gives them) ordered by field n (1 .. 13)
// for a table of the customers; the sheet itself is not changed. The order is the archive's
// sort (numbers, then texts in Italian collation, case ignored, then the rest), except that an
// "ID" written as text is compared as the number it reads as, and a "Data" written as text as
// the date dd/mm/yyyy it reads as, beside the cells that hold them as numbers and dates.
// Ascending, rows with equal keys keep their sheet order; descending is that order reversed
// for the filled cells, while the empty ones stay at the end either way.
CustomerOrder ascendingCustomerOrder(const archive::Sheet& clienti, const std::vector<int>& rows,
                                     int field);
// The order's rows ascending or descending, as above.
std::vector<int> inDirection(const CustomerOrder& order, bool descending);
std::vector<int> orderCustomerRows(const archive::Sheet& clienti, const std::vector<int>& rows,
                                   int field, bool descending);

}  // namespace clivara::customers
