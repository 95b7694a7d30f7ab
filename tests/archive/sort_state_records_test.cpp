// The sort state (SORTDATA) and watched cells (CELLWATCH) of a sheet built here record by
// record, after row deletions and reorderings: the layouts the format allows, keys that go,
// and records of another layout that stay byte for byte.

#include "archive/rows/sort_state_records.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "archive/book/workbook_io.h"
#include "archive/records/biff_stream.h"

using namespace clivara::archive;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kCellWatch = 0x086C, kSortData = 0x0895, kContinueFrt12 = 0x087F;

Bytes rfx(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    Bytes out;
    for (int value : {firstRow, lastRow, firstColumn, lastColumn})
        putU32(out, static_cast<std::uint32_t>(value));
    return out;
}

// A sort key on values; flagsByte stores the text's flags byte even for an empty list.
Bytes key(const Bytes& range, const std::string& list = "", bool flagsByte = false) {
    Bytes out;
    putU16(out, 0);
    out.insert(out.end(), range.begin(), range.end());
    out.resize(out.size() + 8, 0);
    putU32(out, static_cast<std::uint32_t>(list.size()));
    if (!list.empty() || flagsByte) out.push_back(0);
    out.insert(out.end(), list.begin(), list.end());
    return out;
}

Bytes sortData(bool byColumns, const Bytes& range, const std::vector<Bytes>& keys) {
    Bytes out;
    putU16(out, kSortData);
    out.resize(12, 0);
    putU16(out, byColumns ? 1 : 0);
    out.insert(out.end(), range.begin(), range.end());
    putU32(out, static_cast<std::uint32_t>(keys.size()));
    putU32(out, 0);
    for (const Bytes& k : keys) out.insert(out.end(), k.begin(), k.end());
    return out;
}

Bytes cellWatch(int firstRow, int lastRow, int column) {
    Bytes out;
    putU16(out, kCellWatch);
    putU16(out, 1);
    for (int value : {firstRow, lastRow, column, column})
        putU16(out, static_cast<std::uint16_t>(value));
    out.resize(16, 0);
    return out;
}

// A sheet whose records are the given bodies, owned.
struct TestSheet {
    WorkbookData book;
    SheetData sheet;
    explicit TestSheet(const std::vector<std::pair<std::uint16_t, Bytes>>& records) {
        book.stream = std::make_shared<const Bytes>();
        sheet.book = &book;
        for (const auto& [id, body] : records) {
            Bytes bytes;
            putRecord(bytes, id, body);
            sheet.records.push_back({KeptRecord::Source::Owned, id,
                                     static_cast<std::uint32_t>(sheet.owned.size()),
                                     static_cast<std::uint32_t>(bytes.size())});
            sheet.owned.push_back(std::move(bytes));
        }
    }
    std::vector<Bytes> bodies() const {
        std::vector<Bytes> out;
        for (const KeptRecord& record : sheet.records) {
            const auto bytes = recordBytes(book, &sheet, record);
            out.emplace_back(bytes.begin() + 4, bytes.end());
        }
        return out;
    }
};

TEST(SortStateRecords, DeletedRowsShrinkTheSortStateAndTakeItsKeys) {
    // Sorted left to right: the range B2:F5, keys on rows 3 and 4 across it.
    TestSheet t({{kSortData, sortData(true, rfx(1, 4, 1, 5),
                                      {key(rfx(2, 2, 1, 5)), key(rfx(3, 3, 1, 5), "x,y")})}});
    shiftSortAndWatchRecords(t.sheet, 2);  // row 3: the first key goes
    EXPECT_EQ(t.bodies(),
              std::vector<Bytes>{sortData(true, rfx(1, 3, 1, 5), {key(rfx(2, 2, 1, 5), "x,y")})});
    shiftSortAndWatchRecords(t.sheet, 0);  // above: everything moves up
    EXPECT_EQ(t.bodies(),
              std::vector<Bytes>{sortData(true, rfx(0, 2, 1, 5), {key(rfx(1, 1, 1, 5), "x,y")})});
    shiftSortAndWatchRecords(t.sheet, 1);  // the last key's row: the sort state goes
    EXPECT_TRUE(t.bodies().empty());

    // Sorted top to bottom on one row: the range goes with it; one reaching the sheet's last
    // row keeps reaching it. An empty list stored with its flags byte reads too.
    TestSheet rows({{kSortData, sortData(false, rfx(4, 4, 0, 2), {key(rfx(4, 4, 1, 1))})},
                    {kSortData, sortData(false, rfx(1, 0xFFFF, 0, 2),
                                         {key(rfx(1, 0xFFFF, 0, 0), "", true)})}});
    shiftSortAndWatchRecords(rows.sheet, 4);
    EXPECT_EQ(rows.bodies(), std::vector<Bytes>{sortData(false, rfx(1, 0xFFFF, 0, 2),
                                                         {key(rfx(1, 0xFFFF, 0, 0), "", true)})});
}

TEST(SortStateRecords, WatchedCellsFollowTheirRow) {
    TestSheet t({{kCellWatch, cellWatch(1, 1, 0)},
                 {kCellWatch, cellWatch(3, 3, 2)},
                 {kCellWatch, cellWatch(5, 5, 20)}});
    shiftSortAndWatchRecords(t.sheet, 3);
    EXPECT_EQ(t.bodies(), (std::vector<Bytes>{cellWatch(1, 1, 0), cellWatch(4, 4, 20)}));
    // Rows 1-4 reversed over columns 0-12: the cell in column 20 stays.
    permuteSortAndWatchRecords(t.sheet, 1, 0, 12, {4, 3, 2, 1});
    EXPECT_EQ(t.bodies(), (std::vector<Bytes>{cellWatch(4, 4, 0), cellWatch(4, 4, 20)}));
}

TEST(SortStateRecords, ReorderedRowsKeepAWholeSortStateAndDropASplitOne) {
    const Bytes whole = sortData(false, rfx(1, 4, 0, 12), {key(rfx(1, 4, 0, 0))});
    const Bytes split = sortData(false, rfx(2, 6, 0, 2), {key(rfx(2, 6, 1, 1))});
    const Bytes oneRow = sortData(true, rfx(0, 6, 0, 12), {key(rfx(2, 2, 0, 12))});
    TestSheet t({{kSortData, whole}, {kSortData, split}, {kSortData, oneRow}});
    permuteSortAndWatchRecords(t.sheet, 1, 0, 12, {4, 3, 2, 1});
    // The key row 2 of a left-to-right sort went to row 3 with its cells.
    EXPECT_EQ(t.bodies(), (std::vector<Bytes>{
                              whole, sortData(true, rfx(0, 6, 0, 12), {key(rfx(3, 3, 0, 12))})}));
}

TEST(SortStateRecords, RecordsOfAnotherLayoutStayAsTheyAre) {
    Bytes trailing = sortData(false, rfx(1, 4, 0, 2), {key(rfx(1, 4, 0, 0))});
    trailing.push_back(7);
    const Bytes pastTheSheet = sortData(false, rfx(1, 0xFFFFF, 0, 2), {key(rfx(1, 0xFFFFF, 0, 0))});
    const Bytes shortList = sortData(false, rfx(1, 4, 0, 2), {key(rfx(1, 4, 0, 0), "abc")});
    const Bytes cut(shortList.begin(), shortList.end() - 1);
    const Bytes continued = sortData(false, rfx(1, 4, 0, 2), {key(rfx(1, 4, 0, 0))});
    const Bytes range = cellWatch(2, 3, 0);
    Bytes longWatch = cellWatch(2, 2, 0);
    longWatch.push_back(0);
    TestSheet t({{kSortData, trailing},
                 {kSortData, pastTheSheet},
                 {kSortData, cut},
                 {kSortData, continued},
                 {kContinueFrt12, Bytes(12, 0)},
                 {kCellWatch, range},
                 {kCellWatch, longWatch}});
    const auto before = t.bodies();
    shiftSortAndWatchRecords(t.sheet, 2);
    permuteSortAndWatchRecords(t.sheet, 1, 0, 12, {4, 3, 2, 1});
    EXPECT_EQ(t.bodies(), before);
}

}  // namespace
