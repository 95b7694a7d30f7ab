#include "register/customer_duplicates.h"

#include <algorithm>
#include <map>
#include <utility>

#include "register/customer_fields.h"
#include "register/duplicate_key.h"

namespace clivara::customers {

namespace {

// The rows of the customers: from row 2 to the last used row, those with a name.
template <typename Visit>
void forEachCustomerRow(const archive::Sheet& clienti, Visit visit) {
    const int last = std::min(clienti.lastUsedRow(), archive::Sheet::kLastRow);
    for (int row = kFirstCustomerRow; row <= last; ++row) {
        if (!clienti.isEmpty(row, kNameColumn)) {
            visit(row);
        }
    }
}

}  // namespace

std::optional<Duplicate> findDuplicate(const archive::Sheet& clienti, const CustomerKeys& customer,
                                       int excludedRow) {
    const std::string vatNumber = vatNumberKey(customer.vatNumber);
    const std::string taxCode = taxCodeKey(customer.taxCode);
    const std::string name = customerNameKey(customer.name);
    std::optional<Duplicate> found;
    forEachCustomerRow(clienti, [&](int row) {
        if (row == excludedRow || (found && found->field == SharedField::VatNumber)) {
            return;
        }
        std::optional<SharedField> shared;
        if (!vatNumber.empty() && vatNumberKey(clienti.text(row, kVatNumberColumn)) == vatNumber) {
            shared = SharedField::VatNumber;
        } else if (found && found->field == SharedField::TaxCode) {
            return;
        } else if (!taxCode.empty() && taxCodeKey(clienti.text(row, kTaxCodeColumn)) == taxCode) {
            shared = SharedField::TaxCode;
        } else if (!found && !name.empty() &&
                   customerNameKey(clienti.text(row, kNameColumn)) == name) {
            shared = SharedField::Name;
        }
        if (shared && (!found || *shared < found->field)) {
            found = Duplicate{*shared, row, clienti.text(row, kNameColumn),
                              clienti.text(row, kIdColumn)};
        }
    });
    return found;
}

std::vector<SharedCode> sharedCodes(const archive::Sheet& clienti) {
    std::vector<SharedCode> groups;
    for (const int column : {kTaxCodeColumn, kVatNumberColumn}) {
        // Key -> index of its group in `byKey`, in the order of first appearance.
        std::map<std::string, std::size_t> indexOfKey;
        std::vector<SharedCode> byKey;
        forEachCustomerRow(clienti, [&](int row) {
            const std::string code = clienti.text(row, column);
            const std::string key =
                column == kTaxCodeColumn ? taxCodeKey(code) : vatNumberKey(code);
            if (key.empty()) {
                return;
            }
            const auto [at, added] = indexOfKey.try_emplace(key, byKey.size());
            if (added) {
                byKey.push_back(SharedCode{column, code, {}});
            }
            byKey[at->second].rows.push_back(row);
        });
        for (SharedCode& group : byKey) {
            if (group.rows.size() > 1) {
                groups.push_back(std::move(group));
            }
        }
    }
    return groups;
}

}  // namespace clivara::customers
