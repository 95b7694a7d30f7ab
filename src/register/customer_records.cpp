#include "register/customer_records.h"

namespace clivara::customers {

CustomerRecord readCustomer(const archive::Sheet& clienti, int row) {
    CustomerRecord record;
    record.row = row;
    for (int column = 1; column <= kFieldCount; ++column) {
        record.fields[static_cast<std::size_t>(column - 1)] = clienti.text(row, column);
    }
    return record;
}

std::vector<CustomerRecord> readCustomers(const archive::Sheet& clienti) {
    std::vector<CustomerRecord> records;
    const int last = clienti.lastUsedRow();
    if (last >= kFirstCustomerRow) {
        records.reserve(static_cast<std::size_t>(last - kFirstCustomerRow + 1));
    }
    for (int row = kFirstCustomerRow; row <= last; ++row) {
        if (clienti.isEmpty(row, kNameColumn)) {
            continue;
        }
        records.push_back(readCustomer(clienti, row));
    }
    return records;
}

}  // namespace clivara::customers
