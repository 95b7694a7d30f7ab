// Ranges of records after rows of a block were reordered: the part inside the block goes with
// its rows, the rest stays, and a range covering the whole block comes back unchanged.

#include "archive/rows/row_ranges.h"

#include <gtest/gtest.h>

#include <vector>

using namespace clivara::archive;

namespace {

bool same(const std::vector<Range>& a, const std::vector<Range>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].firstRow != b[i].firstRow || a[i].lastRow != b[i].lastRow ||
            a[i].firstColumn != b[i].firstColumn || a[i].lastColumn != b[i].lastColumn) {
            return false;
        }
    }
    return true;
}

TEST(RowRanges, PermutedRangesFollowTheirRows) {
    // Rows 1-4 of columns 0-12 reversed.
    const std::vector<int> reversed{4, 3, 2, 1};
    // A one-row range inside the block moves; one right of the block stays.
    EXPECT_TRUE(same(permuteRanges({{1, 1, 0, 2}, {1, 1, 20, 20}}, 1, 0, 12, reversed),
                     {{4, 4, 0, 2}, {1, 1, 20, 20}}));
    // A whole-column range is split and joined again to what it was.
    EXPECT_TRUE(same(permuteRanges({{0, 0xFFFF, 3, 3}}, 1, 0, 12, reversed), {{0, 0xFFFF, 3, 3}}));
    // Rows 1-2 of a range reaching past the block: the moved rows land at 3-4, joined with the
    // outside part below.
    EXPECT_TRUE(
        same(permuteRanges({{1, 2, 0, 0}, {5, 6, 0, 0}}, 1, 0, 12, reversed), {{3, 6, 0, 0}}));
    // A range straddling the block's last column keeps its outside columns in place.
    EXPECT_TRUE(same(permuteRanges({{2, 2, 12, 13}}, 1, 0, 12, reversed),
                     {{3, 3, 12, 12}, {2, 2, 13, 13}}));
}

}  // namespace
