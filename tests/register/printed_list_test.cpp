// The printed list's content and its page breaks, without any device.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "archive/book/new_archive.h"
#include "register/customer_list.h"
#include "register/customer_records.h"

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

    const CustomerList list(readCustomers(clienti), "Archivio.xls", "07/12/2026");
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
    int shares = 0;
    for (const ListColumn& column : kListColumns) {
        shares += column.share;
    }
    EXPECT_EQ(shares, 100);
}

}  // namespace
