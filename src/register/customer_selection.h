#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/workbook.h"
#include "register/customer_records.h"

namespace clivara::customers {

// The customers a printed document shows: every customer of "Clienti", or those the
// register's search finds for a text (see CustomerSearchIndex), in sheet order.
struct CustomerSelection {
    std::vector<CustomerRecord> customers;
    std::string query;  // empty: every customer
    std::size_t allCustomers = 0;
};

// A text of spaces only chooses every customer.
CustomerSelection selectCustomers(const archive::Sheet& clienti, std::string_view query);

// The query as it is shown: its words joined by single spaces.
std::string normalizedQuery(std::string_view query);

}  // namespace clivara::customers
