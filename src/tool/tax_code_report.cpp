#include "tool/tax_code_report.h"

#include <algorithm>
#include <string_view>

#include "register/customer_duplicates.h"
#include "register/customer_fields.h"
#include "register/field_hint.h"

namespace clivara::tool {

namespace {

namespace customers = clivara::customers;

std::string guillemets(const std::string& text) {
    return "«" + text + "»";
}

std::string customerAt(const archive::Sheet& clienti, int row) {
    const std::string id = clienti.text(row, customers::kIdColumn);
    return (id.empty() ? std::string("senza ID") : "ID " + id) + " (riga " + std::to_string(row) +
           ", " + guillemets(clienti.text(row, customers::kNameColumn)) + ")";
}

std::string caption(int column) {
    return std::string(customers::fieldCaption(column));
}

}  // namespace

void reportTaxCodes(const archive::Sheet& clienti, std::vector<std::string>& problems) {
    const int last = std::min(clienti.lastUsedRow(), archive::Sheet::kLastRow);
    for (int row = customers::kFirstCustomerRow; row <= last; ++row) {
        if (clienti.isEmpty(row, customers::kNameColumn)) {
            continue;
        }
        for (const int column : {customers::kTaxCodeColumn, customers::kVatNumberColumn}) {
            const std::string code = clienti.text(row, column);
            const std::string hint = customers::fieldHint(column, code, {});
            if (!hint.empty()) {
                const char* invalid =
                    column == customers::kTaxCodeColumn ? " non valido: " : " non valida: ";
                problems.push_back(customerAt(clienti, row) + ": " + caption(column) + " " +
                                   guillemets(code) + invalid + hint + ".");
            }
        }
    }
    for (const customers::SharedCode& group : customers::sharedCodes(clienti)) {
        const std::string_view same = group.column == customers::kTaxCodeColumn
                                          ? "uguale a quello di "
                                          : "uguale a quella di ";
        for (const int row : group.rows) {
            std::string others;
            for (const int other : group.rows) {
                if (other != row) {
                    others += (others.empty() ? "" : ", ") + customerAt(clienti, other);
                }
            }
            problems.push_back(customerAt(clienti, row) + ": " + caption(group.column) + " " +
                               guillemets(clienti.text(row, group.column)) + " " +
                               std::string(same) + others + ".");
        }
    }
}

}  // namespace clivara::tool
