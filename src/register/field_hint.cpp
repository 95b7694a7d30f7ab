#include "register/field_hint.h"

#include "register/codice_fiscale.h"
#include "register/customer_fields.h"
#include "register/partita_iva.h"
#include "register/postcode.h"
#include "register/provinces.h"

namespace clivara::customers {

bool hasFieldCheck(int field) {
    return field == kPostcodeColumn || field == kProvinceColumn || field == kTaxCodeColumn ||
           field == kVatNumberColumn;
}

std::string fieldHint(int field, std::string_view text, std::string_view province) {
    switch (field) {
        case kPostcodeColumn:
            return postcodeHint(text, province);
        case kProvinceColumn:
            return provinceHint(text);
        case kTaxCodeColumn:
            return codiceFiscaleHint(text);
        case kVatNumberColumn:
            return partitaIvaHint(text);
        default:
            return {};
    }
}

}  // namespace clivara::customers
