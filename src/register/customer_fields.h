#pragma once

#include <array>
#include <string_view>

namespace clivara::customers {

// A customer is one row of "Clienti" from row 2 down; row 1 holds the headings. Field n
// (1 .. 13) is column n of that row.
inline constexpr int kFieldCount = 13;
inline constexpr int kFirstCustomerRow = 2;

// The columns the program itself reads.
inline constexpr int kNameColumn = 1;        // "Ragione Sociale": list entry and sort key
inline constexpr int kIdColumn = 2;          // "ID"
inline constexpr int kPostcodeColumn = 5;    // "C.A.P."
inline constexpr int kProvinceColumn = 7;    // "(PR)"
inline constexpr int kTaxCodeColumn = 10;    // "Codice Fiscale"
inline constexpr int kVatNumberColumn = 11;  // "Partita IVA"

// The caption of each field's label in the window; the two notes have none of their own and
// are called "Note".
inline constexpr std::array<std::string_view, kFieldCount + 1> kFieldCaptions = {
    "",     "Ragione Sociale", "ID",         "Data",           "Indirizzo",   "C.A.P.", "Località",
    "(PR)", "Telefono",        "Cellullare", "Codice Fiscale", "Partita IVA", "Note",   "Note"};

// Field n's caption (n = 1 .. 13).
constexpr std::string_view fieldCaption(int field) {
    return kFieldCaptions.at(static_cast<std::size_t>(field));
}

}  // namespace clivara::customers
