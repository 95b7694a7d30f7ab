// The printed list's content and its page breaks, without any device.
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>
#include <vector>

#include "archive/book/new_archive.h"
#include "register/customer_list.h"
#include "register/customer_records.h"
#include "register/customer_selection.h"

namespace {

using namespace clivara::customers;

// Ten lines of 10 units a page, no gap; the total needs 15.
PageMeasures tenLines() {
    PageMeasures measures;
    measures.bodyHeight = 100;
    measures.lineHeight = 10;
    measures.totalHeight = 15;
    return measures;
}

// Each page as its slices: {customer, first line, line count}.
std::vector<std::vector<std::array<int, 3>>> shape(const std::vector<ListPage>& pages) {
    std::vector<std::vector<std::array<int, 3>>> out;
    for (const ListPage& page : pages) {
        auto& slices = out.emplace_back();
        for (const BlockSlice& slice : page.slices) {
            slices.push_back({static_cast<int>(slice.customer), slice.firstLine, slice.lineCount});
        }
    }
    return out;
}

TEST(CustomerListPages, BlocksStayWholeAndTheTotalNeedsItsRoom) {
    // Exactly full pages: the next block and the total go on.
    std::vector<ListPage> pages = paginate({4, 6, 3, 5}, tenLines());
    EXPECT_EQ(shape(pages),
              (decltype(shape(pages)){{{0, 0, 4}, {1, 0, 6}}, {{2, 0, 3}, {3, 0, 5}}}));
    EXPECT_FALSE(pages[0].showsTotal);
    EXPECT_TRUE(pages[1].showsTotal);  // 80 used, 15 more fit

    // A block that does not fit moves whole to the next page; the total, with no room left
    // after the last block, gets a page of its own.
    pages = paginate({7, 4, 9}, tenLines());
    EXPECT_EQ(shape(pages), (decltype(shape(pages)){{{0, 0, 7}}, {{1, 0, 4}}, {{2, 0, 9}}, {}}));
    EXPECT_TRUE(pages.back().showsTotal);

    // No customers: one page with the total. Blocks never take less than a line.
    pages = paginate({}, tenLines());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(pages[0].slices.empty() && pages[0].showsTotal);
    EXPECT_EQ(shape(paginate({0, -3}, tenLines())),
              (decltype(shape(pages)){{{0, 0, 1}, {1, 0, 1}}}));
}

TEST(CustomerListPages, BlockTallerThanAPageGoesOnFromTheLineWhereThePageEnded) {
    const std::vector<ListPage> pages = paginate({2, 25, 1}, tenLines());
    EXPECT_EQ(shape(pages),
              (decltype(shape(pages)){
                  {{0, 0, 2}}, {{1, 0, 10}}, {{1, 10, 10}}, {{1, 20, 5}, {2, 0, 1}}}));
    EXPECT_FALSE(pages[1].slices[0].lastSlice);
    EXPECT_FALSE(pages[2].slices[0].lastSlice);
    EXPECT_TRUE(pages[3].slices[0].lastSlice);

    // With a gap after each block, a page holds one line fewer of a tall block.
    PageMeasures gapped = tenLines();
    gapped.blockGap = 5;
    EXPECT_EQ(shape(paginate({12}, gapped)), (decltype(shape(pages)){{{0, 0, 9}}, {{0, 9, 3}}}));
}

TEST(CustomerListContent, ColumnsFramingAndPrintableTexts) {
    clivara::archive::Workbook book = clivara::archive::emptyArchive();
    clivara::archive::Sheet& clienti = *book.sheet("Clienti");
    clienti.setText(2, kNameColumn, "Rossi\r\nS.r.l.");
    clienti.setText(2, 2, "7");
    clienti.setText(2, 3, "01/02/2008");  // the date is not printed
    clienti.setText(2, 4, "Via\tRoma\x01 1\rscala B");
    clienti.setText(2, 12, "nota");  // nor are the notes
    clienti.setText(3, 2, "8");      // no name: not in the list
    clienti.setText(4, kNameColumn, "Ωμέγα");

    CustomerList list(readCustomers(clienti), "Archivio.xls", "07/12/2026");
    ASSERT_EQ(list.customerCount(), 2u);
    EXPECT_EQ(list.cell(0, 0), "Rossi\nS.r.l.");
    EXPECT_EQ(list.cell(0, 1), "7");
    EXPECT_EQ(list.cell(0, 2), "Via Roma  1\nscala B");
    EXPECT_EQ(list.cell(1, 0), "Ωμέγα");
    EXPECT_EQ(list.row(1), 4);
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        EXPECT_NE(kListColumns[c].field, 3);
        EXPECT_LE(kListColumns[c].field, 11);
    }
    EXPECT_EQ(list.printedOnLine(), "Stampato il 07/12/2026");
    EXPECT_EQ(list.totalLine(), "Totale clienti: 2");
    EXPECT_EQ(CustomerList::pageLine(3, 12), "Pagina 3 di 12");
    list.setSelection("rossi", 300);
    EXPECT_EQ(list.selectionLine(), "ricerca \"rossi\": 2 clienti su 300");

    // The customers a printed document shows: all for a text of spaces, else the search's.
    struct Case {
        const char* query;
        std::string shown;
        std::size_t customers;
    };
    for (const Case& c : {Case{" \t ", "", 2}, Case{"  s.r.l.\tROSSI ", "s.r.l. ROSSI", 1},
                          Case{"ωμέγα", "ωμέγα", 1}, Case{"nessuno", "nessuno", 0}}) {
        const CustomerSelection selection = selectCustomers(clienti, c.query);
        EXPECT_EQ(selection.query, c.shown);
        EXPECT_EQ(selection.customers.size(), c.customers) << c.query;
        EXPECT_EQ(selection.allCustomers, 2u);
    }
    EXPECT_EQ(selectCustomers(clienti, "roma").customers.at(0).row, 2);
}

// Needs of ten columns: {widest, typical, least}, all alike but for the ones given.
std::array<ColumnNeed, kListColumnCount> needs(
    std::initializer_list<std::pair<int, ColumnNeed>> some, ColumnNeed rest = {10, 10, 5}) {
    std::array<ColumnNeed, kListColumnCount> out;
    out.fill(rest);
    for (const auto& [c, need] : some) {
        out[static_cast<std::size_t>(c)] = need;
    }
    return out;
}

TEST(CustomerListColumns, WidthsFollowTheTexts) {
    struct Case {
        const char* what;
        double room;
        std::array<ColumnNeed, kListColumnCount> needs;
        std::array<double, kListColumnCount> widths;
    };
    const Case cases[] = {
        {"everything fits: the rest shared evenly",
         120,
         needs({{0, {20, 15, 5}}}),
         {21, 11, 11, 11, 11, 11, 11, 11, 11, 11}},
        // Room 190: a share of 19 holds the narrow columns whole; the two wide ones share
        // the 110 left by their typical widths 30 and 80.
        {"wide columns share by typical width",
         190,
         needs({{0, {200, 30, 5}}, {2, {300, 80, 5}}}),
         {30, 10, 80, 10, 10, 10, 10, 10, 10, 10}},
        // 120 left for three columns weighing 20, 60, 70: 16, 48, 56; the second is below
        // its heading (60) and takes the 12 missing from the widest.
        {"a heading is the least",
         190,
         needs({{0, {200, 20, 5}}, {1, {100, 2, 60}}, {2, {300, 70, 5}}}),
         {16, 60, 44, 10, 10, 10, 10, 10, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto widths = shareListWidth(c.room, c.needs);
        double sum = 0;
        for (std::size_t i = 0; i < kListColumnCount; ++i) {
            EXPECT_NEAR(widths[i], c.widths[i], 1e-9) << i;
            sum += widths[i];
        }
        EXPECT_NEAR(sum, c.room, 1e-9);
    }
}

TEST(CustomerListColumns, NeedsFromTheCellsWidths) {
    // Twenty customers; column 0 has widths 1..20, column 1 one wide text, the others are
    // empty.
    std::vector<float> widths(20 * kListColumnCount, 0.0F);
    for (std::size_t i = 0; i < 20; ++i) {
        widths[i * kListColumnCount] = static_cast<float>(i + 1);
    }
    widths[3 * kListColumnCount + 1] = 50;
    std::array<double, kListColumnCount> headings{};
    headings.fill(2);
    const auto needs = listColumnNeeds(widths, headings, 4);
    EXPECT_DOUBLE_EQ(needs[0].widest, 24);
    EXPECT_DOUBLE_EQ(needs[0].typical, 23);  // nine in ten are no wider than 19
    EXPECT_DOUBLE_EQ(needs[0].least, 6);
    EXPECT_DOUBLE_EQ(needs[1].widest, 54);
    EXPECT_DOUBLE_EQ(needs[1].typical, 4);  // the one wide text does not count
    EXPECT_DOUBLE_EQ(needs[2].widest, 0);
    EXPECT_DOUBLE_EQ(needs[2].least, 6);
    EXPECT_DOUBLE_EQ(listColumnNeeds({}, headings, 4)[0].typical, 0);
}

}  // namespace
