// The search over every field: what a query finds, on files written by LibreOffice and on
// rows written here for the telephone forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "register/customer_search.h"

namespace {

using clivara::archive::Sheet;
using clivara::archive::Workbook;
using clivara::customers::CustomerSearchIndex;
using clivara::customers::foldForSearch;
using clivara::customers::phoneDigits;

std::vector<int> rowsFound(const CustomerSearchIndex& index, const std::string& query) {
    std::vector<int> rows;
    for (const std::size_t i : index.find(query)) rows.push_back(index.row(i));
    return rows;
}

struct Case {
    const char* query;
    std::vector<int> rows;
};

void expectRows(const CustomerSearchIndex& index, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(rowsFound(index, c.query), c.rows) << "query: \"" << c.query << "\"";
    }
}

TEST(SearchFolding, CaseAccentsCompatibilityFormsAndSpaces) {
    EXPECT_EQ(foldForSearch("Perché CITTÀ Çà"), "perche citta ca");
    EXPECT_EQ(foldForSearch("Straße"), "strasse");
    EXPECT_EQ(foldForSearch("ΆΘΉΝΑ ς"), "αθηνα σ");
    EXPECT_EQ(foldForSearch("e\xCC\x81"), "e");  // e + combining acute
    EXPECT_EQ(foldForSearch("\xEF\xAC\x81"
                            "at"),
              "fiat");  // the ligature fi
    EXPECT_EQ(foldForSearch("a\xC2\xA0"
                            "b\tc\nd"),
              "a b c d");
    EXPECT_EQ(foldForSearch("a\xFF"
                            "b"),
              "a\xEF\xBF\xBD"
              "b");  // invalid byte: U+FFFD
    EXPECT_EQ(foldForSearch("東京 😀"), "東京 😀");
}

TEST(SearchFolding, TelephoneDigits) {
    EXPECT_EQ(phoneDigits("06 1656160"), "061656160");
    EXPECT_EQ(phoneDigits(" +39 06/165.61-60 "), "061656160");
    EXPECT_EQ(phoneDigits("0039 (06) 1656160"), "061656160");
    EXPECT_EQ(phoneDigits("+41 22 123"), "4122123");  // another country keeps its prefix
    EXPECT_EQ(phoneDigits("3931234"), "3931234");     // no + and no 00: the digits stay
    EXPECT_EQ(phoneDigits("+39"), "");
    EXPECT_EQ(phoneDigits("Via Roma 12"), "");
    EXPECT_EQ(phoneDigits("12+3"), "");
    EXPECT_EQ(phoneDigits(" - "), "");
}

// Accents, Greek, CJK, emoji, upper and lower case, a row without a name, a gap in column A
// and two rows sharing an ID, as LibreOffice wrote them (sheet named "CLIENTI").
TEST(CustomerSearch, LettersOfEveryKindOnALibreOfficeFile) {
    const Workbook book = Workbook::open(CLIVARA_FIXTURES "/lo-unicode.xls");
    const CustomerSearchIndex index(*book.sheet("Clienti"));
    ASSERT_EQ(index.size(), 8u);  // rows 2-7, 10, 11: the nameless row 8 is no customer
    expectRows(index, {
                          // accents and case, in either direction
                          {"perche", {2}},
                          {"CITTA", {2}},
                          {"Città", {2}},
                          {"aeeiou", {2}},
                          {"ÀÈÉÌÒÙ", {2}},
                          {"çñß", {2}},
                          {"cnss", {2}},
                          // Greek with and without its accents; it is also in row 7's note
                          {"ωμεγα", {3, 7}},
                          {"ΑΘΗΝΑ", {3, 7}},
                          {"ελληνικά", {3, 7}},
                          {"株式会社", {4}},
                          {"🍦", {5}},
                          {"gallo MARIA", {6}},
                          // several words: each anywhere, all of them
                          {"torino 10121", {4}},
                          {"  10121   torino ", {4}},
                          {"grazia genova 16124 gllmgr72e45d969q", {6}},
                          {"roma gallo", {}},
                          // a word in the middle of a field, and in a long note
                          {"elateri", {5}},
                          {"00041", {6}},
                          // after the gap in column A; IDs and numbers as shown
                          {"zeta", {10}},
                          {"ultimo 41", {11}},
                          {"02/01/2009", {10}},
                          // the row without a name is never found
                          {"senza ragione", {}},
                          // nothing typed, and nothing found
                          {"", {}},
                          {"   ", {}},
                          {"xyzzy", {}},
                      });
}

TEST(CustomerSearch, TelephoneNumbersInAnyForm) {
    const Workbook book = Workbook::open(CLIVARA_FIXTURES "/lo-clienti.xls");
    const CustomerSearchIndex index(*book.sheet("Clienti"));
    expectRows(index, {
                          // stored as "06 4455667"
                          {"064455667", {2}},
                          {"06-4455667", {2}},
                          {"06/445.5667", {2}},
                          {"+39 06 4455667", {2}},
                          {"+39064455667", {2}},
                          {"0039 06 4455667", {2}},
                          {"4455667", {2}},
                          // a mobile stored as the number 3331234567
                          {"333 1234567", {2}},
                          {"333-123-4567", {2}},
                          // fields stay apart: the province and the telephone do not join
                          {"rm06", {}},
                          {"rm 06 4455667", {2}},
                      });

    Workbook written = clivara::archive::emptyArchive();
    Sheet& clienti = *written.sheet("Clienti");
    clienti.setText(2, 1, "Uno");
    clienti.setText(2, 8, "+39 06/165.61-60");
    clienti.setText(3, 1, "Due");
    clienti.setText(3, 9, "(06) 1656160");
    clienti.setText(4, 1, "Tre");
    clienti.setText(4, 8, "061656160");
    clienti.setText(5, 1, "Quattro");
    clienti.setText(5, 12, "Chiamare lo 06 1656161 dopo le 17");
    const CustomerSearchIndex own(clienti);
    expectRows(own, {
                        {"061656160", {2, 3, 4}},
                        {"06 1656160", {2, 3, 4}},
                        {"+39 061656160", {2, 3, 4}},
                        {"06 - 1656160", {2, 3, 4}},
                        {"0039 06 165", {2, 3, 4}},
                        {"165", {2, 3, 4, 5}},
                        {"1656161", {5}},
                        // digits of a note that is not a number alone are not joined
                        {"061656161", {}},
                    });
}

// Typing on narrows the last answer; every answer is still what a fresh index gives.
TEST(CustomerSearch, AnswersWhileTypingEqualFreshAnswers) {
    const Workbook book = Workbook::open(CLIVARA_FIXTURES "/lo-clienti.xls");
    const Sheet& clienti = *book.sheet("Clienti");
    const CustomerSearchIndex typing(clienti);
    for (const std::string typed :
         {"r",          "ro",       "rom",       "roma", "roma ", "roma b",       "roma bi",
          "roma b",     "roma",     "+",         "+3",   "+39",   "+39 ",         "+39 0",
          "+39 06",     "+39 06 4", "+39 06 44", "0",    "00",    "003",          "0039",
          "00390",      "003906",   "06",        "06 ",  "06 -",  "06 - ",        "06 - 4",
          "06 - 44556", "(",        "(0",        "(06",  "(06)",  "(06) 4455667", "caff",
          "caffè",      "caffè 0",  "caffè 08"}) {
        EXPECT_EQ(typing.find(typed), CustomerSearchIndex(clienti).find(typed)) << typed;
    }
}

// The rules as written above, customer by customer and field by field, with nothing kept.
std::vector<int> plainSearch(const Sheet& clienti, const std::string& query) {
    const std::string folded = foldForSearch(query);
    std::vector<std::string> words;
    for (std::size_t at = 0; at < folded.size();) {
        const std::size_t end = std::min(folded.find(' ', at), folded.size());
        if (end > at) words.push_back(folded.substr(at, end - at));
        at = end + 1;
    }
    if (words.empty()) return {};
    bool separatorsOnly = false;
    for (const std::string& word : words) {
        separatorsOnly = separatorsOnly || word.find_first_of("0123456789") == std::string::npos;
    }
    const std::string number =
        words.size() > 1 && (words.front().starts_with('+') || words.front().starts_with("00") ||
                             separatorsOnly)
            ? phoneDigits(folded)
            : std::string();
    std::vector<int> rows;
    for (int row = 2; row <= clienti.lastUsedRow(); ++row) {
        if (clienti.isEmpty(row, 1)) continue;
        std::vector<std::string> fields;
        for (int column = 1; column <= 13; ++column) {
            fields.push_back(foldForSearch(clienti.text(row, column)));
            fields.push_back(phoneDigits(fields.back()));
        }
        auto holds = [&](const std::string& needle) {
            return std::any_of(fields.begin(), fields.end(), [&](const std::string& field) {
                return !field.empty() && field.find(needle) != std::string::npos;
            });
        };
        const bool everyWord = std::all_of(words.begin(), words.end(), [&](const std::string& w) {
            const std::string digits = phoneDigits(w);
            return holds(w) || (!digits.empty() && holds(digits));
        });
        if (everyWord || (!number.empty() && holds(number))) rows.push_back(row);
    }
    return rows;
}

// A few thousand customers of every kind of letter and telephone; queries typed on and deleted
// back one character at a time: the index that keeps its answers, a fresh one and the rules
// applied one customer at a time all agree.
TEST(CustomerSearch, TypingAndDeletingAgreeWithThePlainRules) {
    std::mt19937 random(20081209);
    auto pick = [&](const std::vector<std::string>& pool) {
        return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
    };
    const std::vector<std::string> names = {"Rossi",  "ROSSINI", "Caffè", "CAFFE",   "Città",
                                            "perché", "Straße",  "Ωmega", "Bianchi", "d'Arco",
                                            "Rössl",  "Mario",   "Caffé", "ròssi"};
    const std::vector<std::string> phones = {
        "06 1656160",       "+39 06/165.61-60", "(06) 1656161", "061656160",       "333-123-4567",
        "0039 333 1234567", "+41 22 123",       "06 - 44",      "tel. 06 1656160", ""};
    const std::vector<std::string> towns = {
        "Roma", "Città di Castello", "Forlì", "L'Aquila", "MILANO", ""};
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    for (int row = 2; row < 3002; ++row) {
        if (row % 97 == 0) continue;  // now and then a row without a customer
        clienti.setText(row, 1, pick(names) + " " + pick(names) + " " + std::to_string(row));
        clienti.setText(row, 2, std::to_string(row * 7 % 1000));
        clienti.setText(row, 6, pick(towns));
        clienti.setText(row, 8, pick(phones));
        clienti.setText(row, 9, pick(phones));
        clienti.setText(row, 12, "Nota " + pick(names) + " " + pick(phones));
    }
    const std::vector<std::string> typed = {
        "rossi",          "ROSS mario",    "caffe citta",  "perche 06",  "strasse",
        "ωmega",          "ross caff 33",  "061656160",    "06 1656160", "+39 06 165",
        "0039 333 12345", "06 - 1656161",  "(06) 16",      "333-123",    "+41 22",
        "l'aquila",       "forli roma",    "d'arco nota",  "rossl",      "12 rossi 3",
        "nota - 06",      "tel 06 165616", "+39 06 rossi", "06 - nota",  "x"};
    const CustomerSearchIndex pristine(clienti);
    const CustomerSearchIndex typing(clienti);
    auto rowsOf = [](const CustomerSearchIndex& index, const std::vector<std::size_t>& found) {
        std::vector<int> rows;
        for (const std::size_t i : found) rows.push_back(index.row(i));
        return rows;
    };
    std::size_t checked = 0;
    for (std::size_t q = 0; q < typed.size(); ++q) {
        // Typed on from where the last query was left, then deleted back to a random length.
        const std::string& text = typed[q];
        std::vector<std::string> steps;
        for (std::size_t length = 1; length <= text.size(); ++length) {
            steps.push_back(text.substr(0, length));
        }
        const std::size_t back = std::uniform_int_distribution<std::size_t>(0, text.size())(random);
        for (std::size_t length = text.size(); length-- > back;) {
            steps.push_back(text.substr(0, length));
        }
        for (const std::string& step : steps) {
            const std::vector<int> expected = plainSearch(clienti, step);
            CustomerSearchIndex fresh = pristine;
            ASSERT_EQ(rowsOf(typing, typing.find(step)), expected) << "typed: \"" << step << "\"";
            ASSERT_EQ(rowsOf(fresh, fresh.find(step)), expected) << "fresh: \"" << step << "\"";
            checked += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_GT(checked, 100u);  // most steps find someone
}

TEST(CustomerSearch, ShownTextsAndCurrency) {
    Workbook book = Workbook::open(CLIVARA_FIXTURES "/lo-clienti.xls");
    Sheet& clienti = *book.sheet("Clienti");
    const CustomerSearchIndex index(clienti);
    ASSERT_EQ(index.size(), 12u);
    using Shown = CustomerSearchIndex::Shown;
    EXPECT_EQ(index.shown(1, Shown::Name), "Caffè Esposito");
    EXPECT_EQ(index.shown(1, Shown::Town), "Napoli");
    EXPECT_EQ(index.shown(1, Shown::Id), "2");
    EXPECT_EQ(index.shown(1, Shown::TaxOrVatNumber), "SPSGNN65B12F839K");
    // Without a codice fiscale the partita IVA is shown.
    EXPECT_EQ(index.shown(5, Shown::Name), "Hotel Belvedere");
    EXPECT_EQ(index.shown(5, Shown::TaxOrVatNumber), "03456789012");

    EXPECT_TRUE(index.isCurrentFor(clienti));
    EXPECT_FALSE(CustomerSearchIndex().isCurrentFor(clienti));
    // Any change of the sheet, or a copy of the workbook, asks for a new index.
    const Workbook copy = book;
    EXPECT_FALSE(index.isCurrentFor(*copy.sheet("Clienti")));
    clienti.setText(14, 1, "Nuovo Cliente Ωmega");
    EXPECT_FALSE(index.isCurrentFor(clienti));
    const CustomerSearchIndex again(clienti);
    EXPECT_TRUE(again.isCurrentFor(clienti));
    EXPECT_EQ(rowsFound(again, "OMEGA"), std::vector<int>{});
    EXPECT_EQ(rowsFound(again, "ωmega nuovo"), std::vector<int>{14});
    clienti.deleteRow(2);
    EXPECT_FALSE(again.isCurrentFor(clienti));
}

}  // namespace
