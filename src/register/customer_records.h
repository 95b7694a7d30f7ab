#pragma once

#include <array>
#include <string>
#include <vector>

#include "archive/workbook.h"
#include "register/customer_fields.h"

namespace clivara::customers {

// One customer as the window shows it: the row of "Clienti" it stands in and the thirteen
// cells of columns A to M converted to text (UTF-8), with the conversion used everywhere.
struct CustomerRecord {
    int row = 0;
    std::array<std::string, kFieldCount> fields;

    // Field n (1 .. 13).
    const std::string& field(int n) const { return fields.at(static_cast<std::size_t>(n - 1)); }
    const std::string& name() const { return field(kNameColumn); }
    const std::string& id() const { return field(kIdColumn); }
};

// The thirteen fields of one row of the sheet.
CustomerRecord readCustomer(const archive::Sheet& clienti, int row);

// Every customer of "Clienti" in sheet order: the rows from row 2 down to the last row that
// holds a cell, leaving out the rows whose name (column A) reads as empty text. Gaps in
// column A do not end the register, so no customer is left out of a search or a print.
std::vector<CustomerRecord> readCustomers(const archive::Sheet& clienti);

}  // namespace clivara::customers
