#include "register/codice_fiscale.h"

#include <algorithm>
#include <array>

#include "register/partita_iva.h"

namespace clivara::customers {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The letters that stand for the digits 0 .. 9 in the digit places of a code.
constexpr std::string_view kOmocodiaLetters = "LMNPQRSTUV";
// The month letters, January to December.
constexpr std::string_view kMonthLetters = "ABCDEHLMPRST";

// The value of 0-9 and of A-Z in an odd place (1st, 3rd, ... 15th); a digit counts as the
// letter in the same rank (0 as A, 1 as B, ...).
constexpr std::array<int, 26> kOddValues = {1,  0,  5, 7, 9, 13, 15, 17, 19, 21, 2,  4,  18,
                                            20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};

int rankOf(char c) {
    return isDigit(c) ? c - '0' : c - 'A';
}

// Digit places, counted from 1: year, day and the number of the place of birth.
constexpr bool isDigitPlace(std::size_t place) {
    return place == 7 || place == 8 || place == 10 || place == 11 || place == 13 || place == 14 ||
           place == 15;
}

// The digit a digit place stands for (its omocodia letter decoded); -1 for anything else.
int digitValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    const std::size_t at = kOmocodiaLetters.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string placeText(std::size_t place) {
    return "Al carattere " + std::to_string(place);
}

}  // namespace

char codiceFiscaleCheckCharacter(std::string_view first15) {
    if (first15.size() != 15) {
        return 0;
    }
    int sum = 0;
    for (std::size_t i = 0; i < 15; ++i) {
        const char c = upper(first15[i]);
        if (!isDigit(c) && !isLetter(c)) {
            return 0;
        }
        sum += i % 2 == 0 ? kOddValues[static_cast<std::size_t>(rankOf(c))] : rankOf(c);
    }
    return static_cast<char>('A' + sum % 26);
}

std::string codiceFiscaleHint(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() == 11 && std::all_of(text.begin(), text.end(), isDigit)) {
        return partitaIvaHint(text);  // a company's code is its partita IVA
    }
    if (text.find(' ') != std::string_view::npos) {
        return "Il codice fiscale contiene spazi";
    }
    const std::size_t count = characterCount(text);
    if (count != 16 || text.size() != 16) {
        return "Il codice fiscale deve avere 16 caratteri (11 cifre per una società): ne ha " +
               std::to_string(count);
    }
    std::array<char, 16> code{};
    std::transform(text.begin(), text.end(), code.begin(), upper);
    for (std::size_t place = 1; place <= 16; ++place) {
        const char c = code[place - 1];
        if (isDigitPlace(place)) {
            if (digitValue(c) < 0) {
                return placeText(place) +
                       " è attesa una cifra (o una lettera di omocodia L M N P Q R S T U V)";
            }
        } else if (!isLetter(c)) {
            return placeText(place) + " è attesa una lettera";
        }
    }
    if (kMonthLetters.find(code[8]) == std::string_view::npos) {
        return std::string("Lettera del mese non valida: ") + code[8] +
               " (ammesse A B C D E H L M P R S T)";
    }
    const int day = digitValue(code[9]) * 10 + digitValue(code[10]);
    if (day < 1 || (day > 31 && day < 41) || day > 71) {
        return "Giorno di nascita non valido: " + std::to_string(day) +
               " (ammessi da 1 a 31, da 41 a 71 per le donne)";
    }
    const char expected = codiceFiscaleCheckCharacter(std::string_view(code.data(), 15));
    if (code[15] != expected) {
        return std::string("Carattere di controllo errato: atteso ") + expected;
    }
    return {};
}

}  // namespace clivara::customers
