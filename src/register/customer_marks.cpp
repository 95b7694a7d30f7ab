#include "register/customer_marks.h"

#include "register/customer_fields.h"
#include "register/field_hint.h"

namespace clivara::customers {

std::string customerFieldMark(const archive::Sheet& clienti, int row, int field) {
    if (!hasFieldCheck(field)) return {};
    const std::string text = clienti.text(row, field);
    if (text.empty()) return {};
    // Only a postcode's check depends on another field: the province says whether it is Italian.
    const std::string province =
        field == kPostcodeColumn ? clienti.text(row, kProvinceColumn) : std::string();
    return fieldHint(field, text, province);
}

bool customerHasMarks(const archive::Sheet& clienti, int row) {
    for (const int field : {kPostcodeColumn, kProvinceColumn, kTaxCodeColumn, kVatNumberColumn}) {
        if (!customerFieldMark(clienti, row, field).empty()) return true;
    }
    return false;
}

}  // namespace clivara::customers
