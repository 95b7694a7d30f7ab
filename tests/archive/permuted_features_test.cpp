// Reordering rows (the sort) carries the merged ranges of the moved rows along, as python3-xlrd
// reads the saved file: a range goes with its rows when they move together, and one whose rows
// part is unmerged, so that it never covers another customer's cells.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

// The merged ranges, links and notes of the first sheet (0-based, xlrd's half-open ranges).
std::string anchored(const Workbook& book, const TempDir& dir) {
    const auto file = dir.path() / "permuted.xls";
    book.save(file);
    const std::string command = std::string(CLIVARA_PYTHON3) + " " + CLIVARA_TESTS_DIR +
                                "/archive/workbook_xlrd_cells.py --features '" + file.string() +
                                "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run";
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    if (pclose(pipe) != 0) return "FAILED: " + output;
    std::string kept;
    for (std::size_t start = 0, end; start < output.size(); start = end + 1) {
        end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        if (line.rfind("height", 0) != 0) kept += line + "\n";
    }
    return kept;
}

TEST(PermutedFeatures, MergedRangesFollowTheirRowsOrAreUnmerged) {
    // lo-features: customers in rows 2-9, merged L3:M3 and L8:L10, a link in D5, a note in A7.
    TempDir dir;
    const Workbook original = Workbook::open(fixture("lo-features.xls"));

    // Reversed: L3:M3 goes with row 3 to row 8; L8:L10 reaches past the reordered rows and its
    // rows part, so it is unmerged; the link and the note go with their rows.
    Workbook reversed = original;
    reversed.sheetAt(0).permuteRows(2, 1, 13, std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(anchored(reversed, dir),
              "merged 7 8 11 13\n"
              "link 5 3 https://www.example.it/clienti\n"
              "note 3 0 Chiamare prima di passare\n");

    // Rows 8-10 moved up together: L8:L10 becomes L2:L4, L3:M3 becomes L6:M6.
    Workbook block = original;
    block.sheetAt(0).permuteRows(2, 1, 13, std::vector<int>{6, 7, 8, 0, 1, 2, 3, 4, 5});
    EXPECT_EQ(anchored(block, dir),
              "merged 1 4 11 12\n"
              "merged 5 6 11 13\n"
              "link 7 3 https://www.example.it/clienti\n"
              "note 9 0 Chiamare prima di passare\n");

    // Rows that do not move keep their ranges, even one reaching into the reordered rows; so
    // does a range right of the reordered columns.
    Workbook swapped = original;
    swapped.sheetAt(0).permuteRows(9, 1, 13, std::vector<int>{0, 1});
    swapped.sheetAt(0).permuteRows(3, 1, 11, std::vector<int>{1, 0});
    EXPECT_EQ(anchored(swapped, dir),
              "merged 2 3 11 13\n"
              "merged 7 10 11 12\n"
              "link 4 3 https://www.example.it/clienti\n"
              "note 6 0 Chiamare prima di passare\n");
}

}  // namespace
