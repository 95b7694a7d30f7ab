#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/workbook.h"

namespace clivara::customers {

// What two customers share, strongest first: a partita IVA names one firm, a codice fiscale
// one person or firm, a name may just look alike.
enum class SharedField { VatNumber, TaxCode, Name };

// Another customer of "Clienti" that seems to be the same as the one in the fields.
struct Duplicate {
    SharedField field = SharedField::Name;
    int row = 0;
    std::string name;
    std::string id;
};

// The customer in the fields: its name, codice fiscale and partita IVA as typed.
struct CustomerKeys {
    std::string_view name;
    std::string_view taxCode;
    std::string_view vatNumber;
};

// The customer of "Clienti" (rows from 2 down with a name) that shares the partita IVA, the
// codice fiscale or the name (compared by the keys of duplicate_key.h) with `customer`,
// leaving out excludedRow (the row being modified; 0 for none). Of several, the one sharing
// the strongest field, and of those the first in sheet order. Nothing when no customer
// shares anything; empty fields are never shared.
std::optional<Duplicate> findDuplicate(const archive::Sheet& clienti, const CustomerKeys& customer,
                                       int excludedRow);

// Customers that carry the same codice fiscale or the same partita IVA: the field (its
// column), the code as the first of them carries it, and their rows in sheet order.
struct SharedCode {
    int column = 0;
    std::string code;
    std::vector<int> rows;
};

// Every codice fiscale and every partita IVA that two or more customers of "Clienti" carry,
// the codici fiscali first, each group in the order of its first row.
std::vector<SharedCode> sharedCodes(const archive::Sheet& clienti);

}  // namespace clivara::customers
