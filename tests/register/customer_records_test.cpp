// The register read from a workbook: which rows are customers, and their texts.
#include <gtest/gtest.h>

#include "archive/book/new_archive.h"
#include "register/customer_records.h"
#include "register/customer_rows.h"
#include "register/recovery_journal.h"

namespace {

using clivara::archive::Sheet;
using clivara::archive::Workbook;
using namespace clivara::customers;

void putCustomer(Sheet& clienti, int row, const std::string& name, const std::string& id) {
    clienti.setText(row, kNameColumn, name);
    clienti.setText(row, kIdColumn, id);
    clienti.setText(row, 6, "Località " + name);
}

TEST(CustomerRecords, EveryNamedRowFromRowTwoInSheetOrderAcrossGaps) {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    putCustomer(clienti, 2, "Gamma", "3");
    putCustomer(clienti, 3, "Alfa", "1");
    clienti.setText(4, kIdColumn, "99");   // no name: not a customer
    putCustomer(clienti, 7, "Beta", "2");  // after a gap: still a customer
    clienti.setText(8, 14, "right of M");  // a cell outside A-M only

    const std::vector<CustomerRecord> records = readCustomers(clienti);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].row, 2);
    EXPECT_EQ(records[0].name(), "Gamma");
    EXPECT_EQ(records[1].row, 3);
    EXPECT_EQ(records[1].id(), "1");
    EXPECT_EQ(records[2].row, 7);
    EXPECT_EQ(records[2].field(6), "Località Beta");
    EXPECT_EQ(records[2].field(13), "");
}

TEST(CustomerRecords, HeadingsOnlyGiveNoCustomer) {
    const Workbook book = clivara::archive::emptyArchive();
    EXPECT_TRUE(readCustomers(*book.sheet("Clienti")).empty());
    EXPECT_EQ(firstFreeCustomerRow(*book.sheet("Clienti")), 2);
    EXPECT_EQ(counterValue(*book.sheet("Codici")), 0);
}

TEST(CustomerRows, FindsTheUpperRowOfAnIdAndTheFirstGap) {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    putCustomer(clienti, 2, "Alfa", "12");
    putCustomer(clienti, 3, "Beta", "12");
    putCustomer(clienti, 4, "Gamma", "7");
    EXPECT_EQ(findCustomerRowById(clienti, "12"), 2);
    EXPECT_EQ(findCustomerRowById(clienti, "7"), 4);
    EXPECT_EQ(findCustomerRowById(clienti, "012"), 0);
    EXPECT_EQ(findCustomerRowById(clienti, ""), 0);
    EXPECT_EQ(firstFreeCustomerRow(clienti), 5);
    EXPECT_EQ(readCustomer(clienti, 3).name(), "Beta");
}

}  // namespace

// A new customer's cells take the kinds of the customer row above; the first customer, under
// the headings, has none to follow. The journal's replay of an addition writes the same kinds.
TEST(CustomerRows, ANewCustomerFollowsTheKindsOfTheRowAbove) {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    using clivara::archive::CellKind;
    setNewCustomerCell(clienti, 2, 5, "22063");  // first customer: the text decides
    EXPECT_EQ(clienti.kind(2, 5), CellKind::Number);
    clienti.setText(2, 11, "x");
    clienti.setText(2, 11, "22392272825");  // over a text: stays a text
    EXPECT_EQ(clienti.kind(2, 11), CellKind::Text);

    setNewCustomerCell(clienti, 3, 11, "12345678901");
    EXPECT_EQ(clienti.kind(3, 11), CellKind::Text);
    setNewCustomerCell(clienti, 3, 5, "7,5");  // a number as it is shown, under a number
    EXPECT_EQ(clienti.kind(3, 5), CellKind::Number);
    EXPECT_EQ(clienti.text(3, 5), "7,5");

    Workbook replayed = clivara::archive::emptyArchive();
    RegisterChange first{RegisterChange::Kind::Addition, 2, {}, "1"};
    first.fields = {"Alfa", "1", "", "", "22063", "", "", "", "", "", "x"};
    RegisterChange second{RegisterChange::Kind::Addition, 3, {}, "2"};
    second.fields = {"Beta", "2", "", "", "20100", "", "", "", "", "", "12345678901"};
    applyChange(replayed, first);
    applyChange(replayed, second);
    const Sheet& again = *replayed.sheet("Clienti");
    EXPECT_EQ(again.kind(3, 5), CellKind::Number);
    EXPECT_EQ(again.kind(3, 11), CellKind::Text);
    EXPECT_EQ(again.text(3, 11), "12345678901");
}
