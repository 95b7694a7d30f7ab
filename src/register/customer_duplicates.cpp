#include "register/customer_duplicates.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "register/customer_fields.h"
#include "register/duplicate_key.h"

namespace clivara::customers {

namespace {

// The rows of the customers: from row 2 to the last used row, those with a name. The name
// and the cells of `columns`, which the visit reads, are fetched from memory a few rows ahead.
template <typename Visit>
void forEachCustomerRow(const archive::Sheet& clienti, std::initializer_list<int> columns,
                        Visit visit) {
    const int last = std::min(clienti.lastUsedRow(), archive::Sheet::kLastRow);
    for (int row = kFirstCustomerRow; row <= last; ++row) {
        clienti.readAhead(row, kNameColumn);
        for (const int column : columns) {
            clienti.readAhead(row, column);
        }
        if (!clienti.isEmpty(row, kNameColumn)) {
            visit(row);
        }
    }
}

// The cell's text, without a copy where the cell holds one.
std::string_view cellText(const archive::Sheet& clienti, int row, int column, std::string& buffer) {
    if (const std::optional<std::string_view> stored = clienti.storedText(row, column)) {
        return *stored;
    }
    buffer = clienti.text(row, column);
    return buffer;
}

// False when the name surely has another key than `key`: its first letter or digit is plain
// ASCII and differs from the key's first character. (The legal forms only go from the end,
// so a key always starts with the name's first letter or digit.) Saves working out the key
// of nearly every name in a search.
bool mayHaveKey(std::string_view name, std::string_view key) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;  // an accent or another script: only the whole key tells
        }
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            return c == key.front();
        }
        if (c >= 'A' && c <= 'Z') {
            return static_cast<char>(c - 'A' + 'a') == key.front();
        }
    }
    return false;  // no letter or digit at all: the key is empty
}

// True when a code is already written as its key: capitals and digits only, and for a
// partita IVA no "IT" before eleven digits.
bool isOwnKey(std::string_view code, bool vatNumber) {
    const bool plain = std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
    return plain && !(vatNumber && code.size() == 13 && code.starts_with("IT"));
}

// Whether a code reads as `key` (already worked out), without working out its own key in
// the usual case.
bool hasKey(std::string_view code, const std::string& key, bool vatNumber) {
    if (isOwnKey(code, vatNumber)) {
        return code == key;
    }
    return (vatNumber ? vatNumberKey(code) : taxCodeKey(code)) == key;
}

}  // namespace

std::optional<Duplicate> findDuplicate(const archive::Sheet& clienti, const CustomerKeys& customer,
                                       int excludedRow) {
    const std::string vatNumber = vatNumberKey(customer.vatNumber);
    const std::string taxCode = taxCodeKey(customer.taxCode);
    const std::string name = customerNameKey(customer.name);
    std::optional<Duplicate> found;
    std::string buffer;
    forEachCustomerRow(clienti, {kVatNumberColumn, kTaxCodeColumn}, [&](int row) {
        if (row == excludedRow || (found && found->field == SharedField::VatNumber)) {
            return;
        }
        std::optional<SharedField> shared;
        if (!vatNumber.empty() &&
            hasKey(cellText(clienti, row, kVatNumberColumn, buffer), vatNumber, true)) {
            shared = SharedField::VatNumber;
        } else if (found && found->field == SharedField::TaxCode) {
            return;
        } else if (!taxCode.empty() &&
                   hasKey(cellText(clienti, row, kTaxCodeColumn, buffer), taxCode, false)) {
            shared = SharedField::TaxCode;
        } else if (!found && !name.empty()) {
            const std::string_view rowName = cellText(clienti, row, kNameColumn, buffer);
            if (mayHaveKey(rowName, name) && customerNameKey(rowName) == name) {
                shared = SharedField::Name;
            }
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
        // Every (key, row), sorted, so that equal keys stand together. A code already written
        // as its key (nearly all) is its own key, seen in the sheet without a copy; the others
        // keep their key in `keys`, whose strings never move.
        std::vector<std::pair<std::string_view, int>> entries;
        std::deque<std::string> keys;
        std::string buffer;
        forEachCustomerRow(clienti, {column}, [&](int row) {
            const std::string_view code = cellText(clienti, row, column, buffer);
            if (code.empty()) {
                return;
            }
            const bool vat = column == kVatNumberColumn;
            if (isOwnKey(code, vat) && code.data() != buffer.data()) {
                entries.emplace_back(code, row);
                return;
            }
            std::string key = vat ? vatNumberKey(code) : taxCodeKey(code);
            if (!key.empty()) {
                entries.emplace_back(keys.emplace_back(std::move(key)), row);
            }
        });
        std::sort(entries.begin(), entries.end());
        const std::size_t first = groups.size();
        for (std::size_t i = 0; i < entries.size();) {
            std::size_t j = i + 1;
            while (j < entries.size() && entries[j].first == entries[i].first) {
                ++j;
            }
            if (j - i > 1) {
                SharedCode group{column, clienti.text(entries[i].second, column), {}};
                for (std::size_t k = i; k < j; ++k) {
                    group.rows.push_back(entries[k].second);
                }
                groups.push_back(std::move(group));
            }
            i = j;
        }
        // In the order of each group's first row.
        std::sort(groups.begin() + static_cast<std::ptrdiff_t>(first), groups.end(),
                  [](const SharedCode& a, const SharedCode& b) { return a.rows[0] < b.rows[0]; });
    }
    return groups;
}

}  // namespace clivara::customers
