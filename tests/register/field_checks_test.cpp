// The checks of the tax code, VAT number, postcode and province fields: hints only.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "register/customer_fields.h"
#include "register/field_hint.h"
#include "register/provinces.h"

namespace {

using namespace clivara::customers;

struct Case {
    int field;
    const char* text;
    const char* province;
    const char* hint;  // "" when the text passes
};

class FieldChecks : public ::testing::TestWithParam<Case> {};

TEST_P(FieldChecks, GiveTheExpectedHint) {
    const Case& c = GetParam();
    EXPECT_EQ(fieldHint(c.field, c.text, c.province), c.hint) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FieldChecks,
    ::testing::Values(
        // Persons: a valid code, in lower case too; a wrong check character; omocodia.
        Case{kTaxCodeColumn, "RSSMRA85T10A562S", "", ""},
        Case{kTaxCodeColumn, "rssmra85t10a562s", "", ""},
        Case{kTaxCodeColumn, "RSSMRA85T10A562T", "", "Carattere di controllo errato: atteso S"},
        Case{kTaxCodeColumn, "RSSMRA85T10A56NH", "", ""},
        Case{kTaxCodeColumn, "RSSMRALRT1QA5V2J", "", ""},
        Case{kTaxCodeColumn, "BNCGNN80A41F205A", "", ""},  // a woman: day 41
        Case{kTaxCodeColumn, "RSSMRA85Z10A562S", "",
             "Lettera del mese non valida: Z (ammesse A B C D E H L M P R S T)"},
        Case{kTaxCodeColumn, "RSSMRA85T35A562S", "",
             "Giorno di nascita non valido: 35 (ammessi da 1 a 31, da 41 a 71 per le donne)"},
        Case{kTaxCodeColumn, "RSSMRA85T10A56ZS", "",
             "Al carattere 15 è attesa una cifra (o una lettera di omocodia L M N P Q R S T U V)"},
        Case{kTaxCodeColumn, "RSSMR485T10A562S", "", "Al carattere 6 è attesa una lettera"},
        Case{kTaxCodeColumn, "RSSMRA85T10A562", "",
             "Il codice fiscale deve avere 16 caratteri (11 cifre per una società): ne ha 15"},
        // Companies: eleven digits are checked as a partita IVA.
        Case{kTaxCodeColumn, "01234567897", "", ""},
        Case{kTaxCodeColumn, "01234567890", "", "Cifra di controllo errata: attesa 7"},
        Case{kTaxCodeColumn, "", "", ""},
        // Partite IVA: IT prefix, foreign numbers not checked.
        Case{kVatNumberColumn, "01234567897", "", ""},
        Case{kVatNumberColumn, "IT01234567897", "", ""},
        Case{kVatNumberColumn, "it01234567890", "", "Cifra di controllo errata: attesa 7"},
        Case{kVatNumberColumn, "DE123456789", "", ""},
        Case{kVatNumberColumn, "0123456789", "", "La partita IVA deve avere 11 cifre: ne ha 10"},
        Case{kVatNumberColumn, "0123456789A", "", "La partita IVA deve contenere solo cifre"},
        // Postcodes and provinces; abroad any postcode.
        Case{kPostcodeColumn, "20121", "MI", ""},
        Case{kPostcodeColumn, "2012", "MI", "Il C.A.P. deve avere 5 cifre"},
        Case{kPostcodeColumn, "SW1A 1AA", "EE", ""}, Case{kProvinceColumn, "mi", "", ""},
        Case{kProvinceColumn, "CI", "", ""}, Case{kProvinceColumn, "EE", "", ""},
        Case{kProvinceColumn, "XX", "", "Sigla di provincia sconosciuta: XX"},
        Case{kNameColumn, "anything", "", ""}));

// A known abbreviation is stored in capitals; any other text stays as typed.
TEST(ProvinceAsStored, CapitalisesKnownAbbreviationsOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"mi", "MI"}, {"Mi", "MI"},   {"ee", "EE"},         {"RM", "RM"}, {"m", "m"},
        {"xx", "xx"}, {"mil", "mil"}, {"Zurigo", "Zurigo"}, {"", ""}};
    for (const auto& [typed, stored] : cases) EXPECT_EQ(provinceAsStored(typed), stored) << typed;
}

}  // namespace
