#include "register/partita_iva.h"

#include <algorithm>
#include <array>

namespace clivara::customers {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Prefixes of VAT numbers of other countries (the European Union's, Northern Ireland's,
// Switzerland's, San Marino's and the United Kingdom's).
constexpr std::array<std::string_view, 30> kForeignPrefixes = {
    "AT", "BE", "BG", "CY", "CZ", "DE", "DK", "EE", "EL", "ES", "FI", "FR", "HR", "HU", "IE",
    "LT", "LU", "LV", "MT", "NL", "PL", "PT", "RO", "SE", "SI", "SK", "XI", "CH", "SM", "GB"};

bool hasForeignPrefix(std::string_view text) {
    if (text.size() < 3) {
        return false;
    }
    const char prefix[2] = {upper(text[0]), upper(text[1])};
    return std::find(kForeignPrefixes.begin(), kForeignPrefixes.end(),
                     std::string_view(prefix, 2)) != kForeignPrefixes.end();
}

}  // namespace

int partitaIvaCheckDigit(std::string_view first10) {
    if (first10.size() != 10 || !std::all_of(first10.begin(), first10.end(), isDigit)) {
        return -1;
    }
    int sum = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        int digit = first10[i] - '0';
        if (i % 2 == 1) {  // the 2nd, 4th, ... digit
            digit *= 2;
            if (digit > 9) {
                digit -= 9;
            }
        }
        sum += digit;
    }
    return (10 - sum % 10) % 10;
}

std::string partitaIvaHint(std::string_view text) {
    if (text.empty() || hasForeignPrefix(text)) {
        return {};
    }
    std::string_view digits = text;
    if (digits.size() >= 2 && upper(digits[0]) == 'I' && upper(digits[1]) == 'T') {
        digits.remove_prefix(2);
    }
    if (digits.find(' ') != std::string_view::npos) {
        return "La partita IVA contiene spazi";
    }
    if (!std::all_of(digits.begin(), digits.end(), isDigit)) {
        return "La partita IVA deve contenere solo cifre";
    }
    if (digits.size() != 11) {
        return "La partita IVA deve avere 11 cifre: ne ha " + std::to_string(digits.size());
    }
    const int expected = partitaIvaCheckDigit(digits.substr(0, 10));
    if (digits[10] - '0' != expected) {
        return "Cifra di controllo errata: attesa " + std::to_string(expected);
    }
    return {};
}

}  // namespace clivara::customers
