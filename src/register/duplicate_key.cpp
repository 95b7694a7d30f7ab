#include "register/duplicate_key.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace clivara::customers {

namespace {

// Legal forms as they read once their words are joined without spaces or dots: "S. r. l.",
// "S.r.l." and "srl" all read "srl". Where the form follows "& C." (or "e C.") the "c" is
// part of it.
constexpr std::string_view kLegalForms[] = {
    "srl",
    "srls",
    "srlunipersonale",
    "srlsemplificata",
    "spa",
    "sapa",
    "snc",
    "csnc",
    "ecsnc",
    "sas",
    "csas",
    "ecsas",
    "ss",
    "sc",
    "scarl",
    "scrl",
    "scrls",
    "scpa",
    "soccoop",
    "soccooparl",
    "societacooperativa",
    "societaresponsabilitalimitata",
    "societaaresponsabilitalimitata",
    "societaaresponsabilitalimitatasemplificata",
    "societaperazioni",
    "societainnomecollettivo",
    "societainaccomanditasemplice",
    "societainaccomanditaperazioni",
    "societasemplice",
    "unipersonale",
    "ltd",
    "gmbh",
    "sarl",
    "sa",
    "ag",
    "bv",
    "inc",
    "llc",
};
// The longest form above in words ("societa a responsabilita limitata semplificata").
constexpr std::size_t kMostWordsInAForm = 6;

bool isLegalForm(std::string_view joined) {
    return std::find(std::begin(kLegalForms), std::end(kLegalForms), joined) !=
           std::end(kLegalForms);
}

// Characters that join the letters around them rather than part words: "S.r.l.",
// "Dell'Orto", "Sant’Anna".
bool joinsWords(char32_t c) {
    return c == U'.' || c == U'\'' || c == U'\u2019';
}

// The words of a name in lower case without accents; ASCII names, nearly all of them, take
// the quick way.
std::vector<std::string> asciiWords(std::string_view name) {
    std::vector<std::string> words(1);
    for (const char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            words.back() += c;
        } else if (c >= 'A' && c <= 'Z') {
            words.back() += static_cast<char>(c - 'A' + 'a');
        } else if (!joinsWords(static_cast<char32_t>(c)) && !words.back().empty()) {
            words.emplace_back();
        }
    }
    return words;
}

std::vector<std::string> unicodeWords(std::string_view name) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* decompose = icu::Normalizer2::getNFKDInstance(status);
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(name.data(), static_cast<std::int32_t>(name.size())));
    text.foldCase();  // full folding: "ß" becomes "ss"
    icu::UnicodeString decomposed;
    if (U_SUCCESS(status)) {
        decompose->normalize(text, decomposed, status);
    }
    if (U_FAILURE(status)) {
        decomposed = text;
    }
    std::vector<std::string> words(1);
    icu::UnicodeString word;
    const auto endWord = [&] {
        if (!word.isEmpty()) {
            words.back().clear();
            word.toUTF8String(words.back());
            words.emplace_back();
            word.remove();
        }
    };
    for (std::int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) == U_NON_SPACING_MARK) {
            continue;  // the accent of a decomposed letter
        }
        if (u_isalnum(c)) {
            word.append(c);
        } else if (!joinsWords(static_cast<char32_t>(c))) {
            endWord();
        }
    }
    endWord();
    return words;
}

}  // namespace

std::string customerNameKey(std::string_view name) {
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::vector<std::string> words = ascii ? asciiWords(name) : unicodeWords(name);
    if (words.back().empty()) {
        words.pop_back();
    }
    // Legal forms at the end, one after the other ("S.r.l. unipersonale"), as long as a word
    // of the name itself is left.
    // The longest form that the last words make is taken, so that "& C. snc" goes whole.
    std::size_t formWords = 1;
    while (formWords > 0 && words.size() > 1) {
        formWords = 0;
        const std::size_t most = std::min(kMostWordsInAForm, words.size() - 1);
        std::string joined;
        for (std::size_t count = 1; count <= most; ++count) {
            joined.insert(0, words[words.size() - count]);
            if (isLegalForm(joined)) {
                formWords = count;
            }
        }
        words.resize(words.size() - formWords);
    }
    std::string key;
    for (const std::string& word : words) {
        if (!key.empty()) {
            key += ' ';
        }
        key += word;
    }
    return key;
}

namespace {

std::string capitalsWithoutSpaces(std::string_view text) {
    std::string key;
    key.reserve(text.size());
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return key;
}

}  // namespace

std::string taxCodeKey(std::string_view code) {
    return capitalsWithoutSpaces(code);
}

std::string vatNumberKey(std::string_view number) {
    std::string key = capitalsWithoutSpaces(number);
    if (key.size() == 13 && key.starts_with("IT") &&
        std::all_of(key.begin() + 2, key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        key.erase(0, 2);
    }
    return key;
}

}  // namespace clivara::customers
