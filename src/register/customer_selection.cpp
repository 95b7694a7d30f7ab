#include "register/customer_selection.h"

#include <algorithm>

#include "register/customer_search.h"

namespace clivara::customers {

std::string normalizedQuery(std::string_view query) {
    std::string out;
    std::size_t at = 0;
    while (at < query.size()) {
        const std::size_t begin = query.find_first_not_of(" \t\r\n", at);
        if (begin == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(query.find_first_of(" \t\r\n", begin), query.size());
        if (!out.empty()) {
            out += ' ';
        }
        out.append(query.substr(begin, end - begin));
        at = end;
    }
    return out;
}

CustomerSelection selectCustomers(const archive::Sheet& clienti, std::string_view query) {
    CustomerSelection selection;
    selection.customers = readCustomers(clienti);
    selection.allCustomers = selection.customers.size();
    selection.query = normalizedQuery(query);
    if (selection.query.empty()) {
        return selection;
    }
    const CustomerSearchIndex index(clienti);
    std::vector<int> rows;
    for (const std::size_t i : index.find(selection.query)) {
        rows.push_back(index.row(i));
    }
    std::sort(rows.begin(), rows.end());
    std::erase_if(selection.customers, [&rows](const CustomerRecord& customer) {
        return !std::binary_search(rows.begin(), rows.end(), customer.row);
    });
    return selection;
}

}  // namespace clivara::customers
