// The keys under which two customers count as the same one, and the search for another
// customer sharing a partita IVA, a codice fiscale or a name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/workbook.h"
#include "register/customer_duplicates.h"
#include "register/customer_fields.h"
#include "register/duplicate_key.h"

namespace {

using namespace clivara::customers;
using clivara::archive::Sheet;
using clivara::archive::Workbook;

struct NamePair {
    const char* a;
    const char* b;
    bool same;
};

class NameKeys : public ::testing::TestWithParam<NamePair> {};

TEST_P(NameKeys, MatchAsAPersonReadsThem) {
    const NamePair& p = GetParam();
    EXPECT_EQ(customerNameKey(p.a) == customerNameKey(p.b), p.same)
        << p.a << " -> \"" << customerNameKey(p.a) << "\", " << p.b << " -> \""
        << customerNameKey(p.b) << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    LegalFormsCaseAccentsPunctuation, NameKeys,
    ::testing::Values(
        // Legal forms, however written, at the end of the name.
        NamePair{"Farmacia San Marco", "FARMACIA SAN MARCO S.r.l.", true},
        NamePair{"Farmacia San Marco Srl", "farmacia san marco s. r. l.", true},
        NamePair{"Greco Costruzioni S.p.A.", "Greco Costruzioni SPA", true},
        NamePair{"Greco Costruzioni", "Greco Costruzioni Società per Azioni", true},
        NamePair{"Alimentari Bellini S.n.c.", "Alimentari Bellini & C. snc", true},
        NamePair{"Bianchi Arredamenti S.r.l. unipersonale", "Bianchi Arredamenti", true},
        NamePair{"Rossi S.a.s.", "Rossi", true},
        // Accents, apostrophes, spaces and punctuation.
        NamePair{"Caffè Esposito", "Caffe' Esposito", true},  // the apostrophe joins: "caffe"
        NamePair{"Caffè Esposito", "CAFFE ESPOSITO", true},
        NamePair{"L'Angolo del Libro", "L’angolo  del libro", true},
        NamePair{"Edilizia Ferri - Figli", "Edilizia Ferri, Figli", true},
        NamePair{"Straße Müller GmbH", "strasse muller", true},
        // Different firms stay different; a legal form elsewhere than the end counts.
        NamePair{"Farmacia San Marco", "Farmacia San Marco 2", false},
        NamePair{"Farmacia San Marco", "Farmacia Marco", false},
        NamePair{"SPA Centro Benessere", "Centro Benessere", false},
        NamePair{"Ottica Ricci", "Ottica Rizzi", false}));

TEST(NameKeys, ANameMadeOfALegalFormKeepsItAndEmptyGivesNothing) {
    EXPECT_EQ(customerNameKey("S.p.A."), "spa");
    EXPECT_EQ(customerNameKey("Terme Spa"), "terme");
    EXPECT_EQ(customerNameKey(""), "");
    EXPECT_EQ(customerNameKey(" - . "), "");
    EXPECT_EQ(customerNameKey("Ωμέγα Ελληνικά"), customerNameKey("ΩΜΕΓΑ ελληνικα"));
}

TEST(CodeKeys, IgnoreSpacesCaseAndTheItalianPrefix) {
    EXPECT_EQ(taxCodeKey("rssmra 85t10 a562s"), "RSSMRA85T10A562S");
    EXPECT_EQ(vatNumberKey("IT 01234567897"), "01234567897");
    EXPECT_EQ(vatNumberKey("it01234567897"), "01234567897");
    EXPECT_EQ(vatNumberKey("DE123456789"), "DE123456789");  // another country's prefix stays
    EXPECT_EQ(vatNumberKey("IT0123"), "IT0123");
    EXPECT_EQ(vatNumberKey("  "), "");
}

class Register : public ::testing::Test {
  protected:
    // name, ID, codice fiscale, partita IVA for rows 2, 3, ...
    void fill(const std::vector<std::vector<std::string>>& customers) {
        for (std::size_t i = 0; i < customers.size(); ++i) {
            const int row = static_cast<int>(i) + kFirstCustomerRow;
            clienti().setText(row, kNameColumn, customers[i][0]);
            clienti().setText(row, kIdColumn, customers[i][1]);
            clienti().setText(row, kTaxCodeColumn, customers[i][2]);
            clienti().setText(row, kVatNumberColumn, customers[i][3]);
        }
    }
    Sheet& clienti() { return *book.sheet("Clienti"); }

    Workbook book = clivara::archive::emptyArchive();
};

TEST_F(Register, FindsTheStrongestSharedFieldFirstInSheetOrder) {
    fill({{"Farmacia San Marco S.r.l.", "12", "", "03344556679"},
          {"Rossi Mario", "13", "RSSMRA85T10A562S", ""},
          {"Farmacia Centrale", "14", "", "IT 03344556679"},
          {"", "15", "", "01234567897"},  // no name: not a customer
          {"Bianchi Luca", "16", "rssmra85t10a562s", "01234567897"}});

    // A name alone.
    auto found = findDuplicate(clienti(), {"farmacia san marco", "", ""}, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->field, SharedField::Name);
    EXPECT_EQ(found->row, 2);
    EXPECT_EQ(found->name, "Farmacia San Marco S.r.l.");
    EXPECT_EQ(found->id, "12");

    // The partita IVA wins over a name that matched an earlier row.
    found = findDuplicate(clienti(), {"Farmacia San Marco", "", "IT03344556679"}, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->field, SharedField::VatNumber);
    EXPECT_EQ(found->row, 2);

    // The codice fiscale over the name; the first row carrying it.
    found = findDuplicate(clienti(), {"Bianchi Luca", "RSSMRA85T10A562S", "99999999999"}, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->field, SharedField::TaxCode);
    EXPECT_EQ(found->row, 3);

    // The row without a name is never a match; the row being modified is left out.
    found = findDuplicate(clienti(), {"Nuovo", "", "01234567897"}, 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->row, 6);
    EXPECT_FALSE(findDuplicate(clienti(), {"Nuovo", "", "01234567897"}, 6));
    found = findDuplicate(clienti(), {"Farmacia San Marco", "", "03344556679"}, 2);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->row, 4);

    // Empty fields share nothing.
    EXPECT_FALSE(findDuplicate(clienti(), {"Verdi", "", ""}, 0));
    EXPECT_FALSE(findDuplicate(clienti(), {"", "", ""}, 0));
}

TEST_F(Register, GroupsTheCustomersSharingACode) {
    fill({{"Alfa", "1", "RSSMRA85T10A562S", "01234567897"},
          {"Beta", "2", "", "IT01234567897"},
          {"Gamma", "3", "rssmra85t10a562s", ""},
          {"Delta", "4", "", "03344556679"},
          {"Epsilon", "5", "RSSMRA85T10A562S", "01234567897"},
          // Eleven digits without a leading zero are stored as a number.
          {"Zeta", "6", "", "12345678903"},
          {"Eta", "7", "12345678903", "12345678903"}});
    ASSERT_EQ(clienti().kind(7, kVatNumberColumn), clivara::archive::CellKind::Number);
    const std::vector<SharedCode> groups = sharedCodes(clienti());
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].column, kTaxCodeColumn);
    EXPECT_EQ(groups[0].code, "RSSMRA85T10A562S");
    EXPECT_EQ(groups[0].rows, (std::vector<int>{2, 4, 6}));
    EXPECT_EQ(groups[1].column, kVatNumberColumn);
    EXPECT_EQ(groups[1].rows, (std::vector<int>{2, 3, 6}));
    EXPECT_EQ(groups[2].code, "12345678903");
    EXPECT_EQ(groups[2].rows, (std::vector<int>{7, 8}));

    const auto found = findDuplicate(clienti(), {"Theta", "", "IT12345678903"}, 7);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->row, 8);
}

}  // namespace
