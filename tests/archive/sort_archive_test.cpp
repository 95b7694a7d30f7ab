#include "archive/sort/sort_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"

using clivara::archive::emptyArchive;
using clivara::archive::Sheet;
using clivara::archive::sortCustomerRows;
using clivara::archive::Workbook;

namespace {

// A customer row whose thirteen cells all derive from its name, so a row torn apart by the
// sort shows at once.
void writeCustomer(Sheet& sheet, int row, const std::string& name) {
    sheet.setText(row, 1, name);
    for (int column = 2; column <= 13; ++column) {
        sheet.setText(row, column, name + "/" + std::to_string(column));
    }
}

std::vector<std::string> columnA(const Sheet& sheet, int firstRow, int lastRow) {
    std::vector<std::string> names;
    for (int row = firstRow; row <= lastRow; ++row) {
        names.push_back(sheet.text(row, 1));
    }
    return names;
}

class SortCustomerRows : public ::testing::Test {
  protected:
    Workbook book = emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
};

TEST_F(SortCustomerRows, RowsMoveWholeAndHeadingAndOuterColumnsStay) {
    const std::string heading = clienti.text(1, 1);
    writeCustomer(clienti, 2, "Gamma");
    writeCustomer(clienti, 3, "Alfa");
    writeCustomer(clienti, 4, "Beta");
    clienti.setText(2, 14, "fuori N2");  // right of M: stays in its row
    clienti.setText(3, 20, "fuori T3");

    sortCustomerRows(clienti);

    EXPECT_EQ(clienti.text(1, 1), heading);
    EXPECT_EQ(columnA(clienti, 2, 4), (std::vector<std::string>{"Alfa", "Beta", "Gamma"}));
    for (int row = 2; row <= 4; ++row) {
        const std::string name = clienti.text(row, 1);
        for (int column = 2; column <= 13; ++column) {
            EXPECT_EQ(clienti.text(row, column), name + "/" + std::to_string(column));
        }
    }
    EXPECT_EQ(clienti.text(2, 14), "fuori N2");
    EXPECT_EQ(clienti.text(3, 20), "fuori T3");
}

TEST_F(SortCustomerRows, TextOrderIgnoresCaseAndPlacesAccentsBesideTheirLetter) {
    const std::vector<std::string> names = {"zeta",  "Èlite", "Emma", "elfo", "D'Amico", "Dante",
                                            "Dalla", "A11",   "A100", "A1",   "ROSSI",   "rossi"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        clienti.setText(static_cast<int>(i) + 2, 1, names[i]);
    }
    sortCustomerRows(clienti);
    // Equal keys ("ROSSI", "rossi") keep their order.
    EXPECT_EQ(columnA(clienti, 2, 13),
              (std::vector<std::string>{"A1", "A100", "A11", "Dalla", "D'Amico", "Dante", "elfo",
                                        "Èlite", "Emma", "ROSSI", "rossi", "zeta"}));
}

TEST_F(SortCustomerRows, NumbersComeBeforeTextsAndEmptyRowsLast) {
    clienti.setText(2, 1, "Beta");
    clienti.setText(3, 1, "100");
    clienti.setText(4, 1, "007");  // stays text: a leading zero is not a canonical number
    clienti.setText(5, 1, "-5");
    clienti.setText(6, 1, "Alfa");
    sortCustomerRows(clienti);
    EXPECT_EQ(columnA(clienti, 2, 6),
              (std::vector<std::string>{"-5", "100", "007", "Alfa", "Beta"}));
}

TEST_F(SortCustomerRows, RangeStopsAtTheFirstGap) {
    writeCustomer(clienti, 2, "Gamma");
    writeCustomer(clienti, 3, "Beta");
    writeCustomer(clienti, 4, "Alfa");
    writeCustomer(clienti, 7, "Aaa");  // after a gap: outside the range
    sortCustomerRows(clienti);
    EXPECT_EQ(columnA(clienti, 2, 7),
              (std::vector<std::string>{"Alfa", "Beta", "Gamma", "", "", "Aaa"}));
    EXPECT_EQ(clienti.text(7, 13), "Aaa/13");
}

TEST_F(SortCustomerRows, SingleCustomerRangeReachesTheNextFilledCellBelow) {
    // One customer in row 2, A3 empty: the range runs to the next filled cell of column A
    // (row 6), which sorts before the customer and moves up to row 2.
    writeCustomer(clienti, 2, "Zorro");
    writeCustomer(clienti, 6, "Abete");
    clienti.setText(4, 3, "solo C4");  // empty key: sorts after the filled rows, in order
    sortCustomerRows(clienti);
    EXPECT_EQ(clienti.text(2, 1), "Abete");
    EXPECT_EQ(clienti.text(3, 1), "Zorro");
    EXPECT_EQ(clienti.text(3, 13), "Zorro/13");
    EXPECT_EQ(clienti.text(5, 3), "solo C4");
}

TEST_F(SortCustomerRows, NothingToSortLeavesTheSheetAsItWas) {
    const std::vector<std::uint8_t> before = book.toBytes();
    sortCustomerRows(clienti);  // no customers at all
    EXPECT_EQ(book.toBytes(), before);
    writeCustomer(clienti, 2, "Solo");
    sortCustomerRows(clienti);
    EXPECT_EQ(clienti.text(2, 1), "Solo");
    EXPECT_EQ(clienti.text(2, 2), "Solo/2");
}

}  // namespace

namespace {

// After an addition or a change only one row is out of place, and the sort recognises that
// without sorting everything: its answer must be the full stable sort's, equal keys included.
TEST_F(SortCustomerRows, ShortcutForOneRowOutOfPlaceGivesTheFullSortsOrder) {
    const std::vector<std::string> pool = {"alfa", "Alfa", "beta", "D'Amico", "Damico", "èco",
                                           "eco",  "42",   "7",    "",        "zeta",   "Ècco"};
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };
    for (int round = 0; round < 300; ++round) {
        Workbook fresh = emptyArchive();
        Sheet& sheet = *fresh.sheet("Clienti");
        const int count = 2 + static_cast<int>(next(12));
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            names.push_back(pool[next(static_cast<std::uint32_t>(pool.size()))]);
        }
        // Mostly sorted input with one row moved, sometimes a random one.
        if (round % 3 != 0) {
            for (int i = 0; i < count; ++i) {
                sheet.setText(i + 2, 1, names[static_cast<std::size_t>(i)]);
            }
            const auto sorted = clivara::archive::ascendingRowOrder(sheet, 2, count + 1, 1, false);
            std::vector<std::string> inOrder;
            for (const int i : sorted) {
                inOrder.push_back(names[static_cast<std::size_t>(i)]);
            }
            const std::string moved = inOrder[next(static_cast<std::uint32_t>(count))];
            inOrder.erase(std::find(inOrder.begin(), inOrder.end(), moved));
            inOrder.insert(inOrder.begin() + next(static_cast<std::uint32_t>(count)), moved);
            names = inOrder;
        }
        for (int i = 0; i < count; ++i) {
            sheet.setText(i + 2, 1, names[static_cast<std::size_t>(i)]);
        }
        EXPECT_EQ(clivara::archive::ascendingRowOrder(sheet, 2, count + 1, 1, true),
                  clivara::archive::ascendingRowOrder(sheet, 2, count + 1, 1, false))
            << "round " << round;
    }
}

}  // namespace
