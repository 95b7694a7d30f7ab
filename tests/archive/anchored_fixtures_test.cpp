// Records anchored to customer rows, in workbooks written by LibreOffice and in records crafted
// from the format's documentation, after a row deletion and a reordering, as another program
// reads the saved file (anchored_records.py over python3-xlrd's compound-file reader).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

// The anchored records of "Clienti" in the saved workbook, one per line, those whose line
// starts with one of `kinds`; xlrd's complaints, if any, come first.
std::string anchored(const Workbook& book, const std::vector<std::string>& kinds) {
    TempDir dir;
    const auto file = dir.path() / "anchored.xls";
    book.save(file);
    const std::string command = std::string(CLIVARA_PYTHON3) + " " + CLIVARA_TESTS_DIR +
                                "/archive/anchored_records.py '" + file.string() + "' Clienti 2>&1";
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
        bool wanted = kinds.empty();
        for (const std::string& kind : kinds) {
            wanted = wanted || line == kind || line.rfind(kind + " ", 0) == 0;
        }
        if (wanted) kept += line + "\n";
    }
    return kept;
}

const std::vector<std::string> kRangeRecords = {"cfheader", "cfheader12", "cf12",
                                                "cfex",     "feat",       "autofilter12"};

// crafted-anchored: customers in rows 2-9; a conditional format on B2:B9 with a CFEX, a newer
// one on C3:C5 and A7:C7, a range editable under protection B4:B6, error warnings off in C2:C9
// and A5, an AUTOFILTER12 on the heading A1.
TEST(AnchoredFixtures, DeletedRowMovesTheNewerRangeRecords) {
    Workbook book = Workbook::open(fixture("crafted-anchored.xls"));
    EXPECT_EQ(anchored(book, kRangeRecords),
              "autofilter12 0-0:0-0\n"
              "feat 2 3-5:1-1\n"
              "feat 3 1-8:2-2 4-4:0-0\n"
              "cfheader 1 1-8:1-1\n"
              "cfex 1 1-8:1-1\n"
              "cfheader12 2 2-4:2-2 6-6:0-2 bound 2-6:0-2\n"
              "cf12\n");

    book.sheet("Clienti")->deleteRow(3);
    EXPECT_EQ(anchored(book, kRangeRecords),
              "autofilter12 0-0:0-0\n"
              "feat 2 2-4:1-1\n"
              "feat 3 1-7:2-2 3-3:0-0\n"
              "cfheader 1 1-7:1-1\n"
              "cfex 1 1-7:1-1\n"
              "cfheader12 2 2-3:2-2 5-5:0-2 bound 2-5:0-2\n"
              "cf12\n");

    // A5 (now A4) held the only cell of a range: that range goes, the rest of the record
    // stays; a header whose every range went takes its rule with it.
    book.sheet("Clienti")->deleteRow(4);
    book.sheet("Clienti")->deleteRow(5);
    EXPECT_EQ(anchored(book, kRangeRecords),
              "autofilter12 0-0:0-0\n"
              "feat 2 2-3:1-1\n"
              "feat 3 1-5:2-2\n"
              "cfheader 1 1-5:1-1\n"
              "cfex 1 1-5:1-1\n"
              "cfheader12 2 2-2:2-2 bound 2-2:2-2\n"
              "cf12\n");
    book.sheet("Clienti")->deleteRow(3);
    EXPECT_EQ(anchored(book, kRangeRecords),
              "autofilter12 0-0:0-0\n"
              "feat 2 2-2:1-1\n"
              "feat 3 1-4:2-2\n"
              "cfheader 1 1-4:1-1\n"
              "cfex 1 1-4:1-1\n");
}

TEST(AnchoredFixtures, ReorderedRowsCarryTheNewerRangeRecords) {
    Workbook book = Workbook::open(fixture("crafted-anchored.xls"));
    // Rows 2-9 reversed over columns A-M: the row of old row r is 11 - r.
    book.sheet("Clienti")->permuteRows(2, 1, 13, std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(anchored(book, kRangeRecords),
              "autofilter12 0-0:0-0\n"
              "feat 2 4-6:1-1\n"
              "feat 3 5-5:0-0 1-8:2-2\n"
              "cfheader 1 1-8:1-1\n"
              "cfex 1 1-8:1-1\n"
              "cfheader12 2 3-3:0-2 5-7:2-2 bound 3-7:0-2\n"
              "cf12\n");
}

}  // namespace
