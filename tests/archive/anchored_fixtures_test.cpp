// Records anchored to customer rows, in workbooks written by LibreOffice and in records crafted
// from the format's documentation, after a row deletion and a reordering, as another program
// reads the saved file (anchored_records.py over python3-xlrd's compound-file reader).
//
// With CLIVARA_EDITED_DIR set, each saved file is kept there as anchored-N.xls (to open them in
// LibreOffice and ssconvert by hand).

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "archive/model/workbook_data.h"
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
    if (const char* keep = std::getenv("CLIVARA_EDITED_DIR")) {
        static int saved = 0;
        std::filesystem::create_directories(keep);
        std::filesystem::copy_file(
            file, std::filesystem::path(keep) / ("anchored-" + std::to_string(++saved) + ".xls"),
            std::filesystem::copy_options::overwrite_existing);
    }
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

const std::vector<std::string> kDrawing = {"note", "drawing", "shape", "xlrd"};

// The drawing of crafted-anchored: the group of all shapes, note boxes for A3 and A6 (shapes
// 1025, 1026: move but do not size), the autofilter's three buttons on row 1 (keep their
// place), the picture at D7 that moves and sizes with row 7 (1030) and a free-floating one
// (1031).
TEST(AnchoredFixtures, DeletedRowTakesItsNoteDrawingAndMovesTheShapesBelow) {
    Workbook book = Workbook::open(fixture("crafted-anchored.xls"));
    book.sheet("Clienti")->deleteRow(3);
    EXPECT_EQ(anchored(book, kDrawing),
              "note 4 0 obj 2\n"
              "drawing shapes 7 last 1031, workbook 8\n"
              "shape 1026 0-2:1-2 flags 2 obj 25 2\n"
              "shape 1027 0-1:0-1 flags 1 obj 20 3\n"
              "shape 1028 0-1:1-2 flags 1 obj 20 4\n"
              "shape 1029 0-1:2-3 flags 1 obj 20 5\n"
              "shape 1030 5-5:3-4 flags 0 obj 8 6\n"
              "shape 1031 6-7:3-3 flags 3 obj 8 7\n"
              "xlrd note 4 0 Nota di Epsilon\n");

    // The last note goes too, and the row of the picture: the picture stays where it was.
    book.sheet("Clienti")->deleteRow(5);
    book.sheet("Clienti")->deleteRow(5);
    EXPECT_EQ(anchored(book, kDrawing),
              "drawing shapes 6 last 1031, workbook 7\n"
              "shape 1027 0-1:0-1 flags 1 obj 20 3\n"
              "shape 1028 0-1:1-2 flags 1 obj 20 4\n"
              "shape 1029 0-1:2-3 flags 1 obj 20 5\n"
              "shape 1030 4-4:3-4 flags 0 obj 8 6\n"
              "shape 1031 6-7:3-3 flags 3 obj 8 7\n");
}

TEST(AnchoredFixtures, ReorderedRowsCarryNoteBoxesAndPicturesInsideTheirRow) {
    Workbook book = Workbook::open(fixture("crafted-anchored.xls"));
    book.sheet("Clienti")->permuteRows(2, 1, 13, std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(anchored(book, kDrawing),
              "note 7 0 obj 1\n"
              "note 4 0 obj 2\n"
              "drawing shapes 8 last 1031, workbook 9\n"
              "shape 1025 5-6:1-2 flags 2 obj 25 1\n"
              "shape 1026 0-2:1-2 flags 2 obj 25 2\n"
              "shape 1027 0-1:0-1 flags 1 obj 20 3\n"
              "shape 1028 0-1:1-2 flags 1 obj 20 4\n"
              "shape 1029 0-1:2-3 flags 1 obj 20 5\n"
              "shape 1030 3-3:3-4 flags 0 obj 8 6\n"
              "shape 1031 6-7:3-3 flags 3 obj 8 7\n"
              "xlrd note 4 0 Nota di Epsilon\n"
              "xlrd note 7 0 Nota di Beta\n");

    // Only columns A-B reordered: the picture in D-E stays, the notes in A go.
    Workbook narrow = Workbook::open(fixture("crafted-anchored.xls"));
    narrow.sheet("Clienti")->permuteRows(6, 1, 2, std::vector<int>{1, 0});
    EXPECT_EQ(anchored(narrow, {"note", "shape 1026", "shape 1030"}),
              "note 2 0 obj 1\n"
              "note 6 0 obj 2\n"
              "shape 1026 2-4:1-2 flags 2 obj 25 2\n"
              "shape 1030 6-6:3-4 flags 0 obj 8 6\n");
}

// crafted-excel-drawing: lo-anchored's drawing laid out as Excel writes it, one container over
// MSODRAWING records between OBJ, TXO and CONTINUE records, the part of "Fisso" (flags 0, rows
// 7-9) going on in a CONTINUE; "Logo" flags 2 (rows 7-8), "Terzo" flags 3 (rows 8-9), "Quarto"
// flags 0 inside row 5. Each record keeps its length: the split points stay.
TEST(AnchoredFixtures, ExcelsDrawingLayoutFollowsTheRowsAsItsFlagsSay) {
    const auto splits = [](const Workbook& book) {
        TempDir dir;
        book.save(dir.path() / "splits.xls");
        const Workbook saved = Workbook::open(dir.path() / "splits.xls");
        std::vector<std::pair<std::uint16_t, std::uint32_t>> out;
        for (const KeptRecord& record : saved.sheet("Clienti")->data().records) {
            if (record.id == 0x00EC || record.id == 0x003C) out.push_back({record.id, record.size});
        }
        return out;
    };
    const Workbook original = Workbook::open(fixture("crafted-excel-drawing.xls"));
    Workbook book = Workbook::open(fixture("crafted-excel-drawing.xls"));
    book.sheet("Clienti")->deleteRow(4);
    EXPECT_EQ(anchored(book, {"note", "shape 1026", "shape 1030", "shape 1031", "shape 1032",
                              "shape 1033"}),
              "note 2 0 obj 1\n"
              "note 4 0 obj 2\n"
              "shape 1026 0-2:1-2 flags 2 obj 25 2\n"
              "shape 1030 5-7:3-4 flags 0 obj 8 6\n"
              "shape 1031 5-6:3-3 flags 2 obj 8 7\n"
              "shape 1032 7-8:3-3 flags 3 obj 8 8\n"
              "shape 1033 3-3:3-3 flags 0 obj 8 9\n");
    EXPECT_EQ(splits(book), splits(original));

    // A sort carries the shape inside one row with it; those over several rows stay.
    Workbook sorted = Workbook::open(fixture("crafted-excel-drawing.xls"));
    sorted.sheet("Clienti")->permuteRows(2, 1, 13, std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(anchored(sorted, {"shape 1030", "shape 1031", "shape 1032", "shape 1033"}),
              "shape 1030 6-8:3-4 flags 0 obj 8 6\n"
              "shape 1031 6-7:3-3 flags 2 obj 8 7\n"
              "shape 1032 7-8:3-3 flags 3 obj 8 8\n"
              "shape 1033 5-5:3-3 flags 0 obj 8 9\n");
    EXPECT_EQ(splits(sorted), splits(original));
}

// The data sources that name "Clienti": lo-pivot's pivot table takes A1:C9 (its DCONREF in the
// globals), the consolidation crafted into "Codici" of crafted-anchored takes B2:B9.
TEST(AnchoredFixtures, DataSourcesOnTheSheetFollowItsRows) {
    Workbook pivot = Workbook::open(fixture("lo-pivot.xls"));
    pivot.sheet("Clienti")->deleteRow(3);
    EXPECT_EQ(anchored(pivot, {"dconref"}), "dconref 0 0-7:0-2 self Clienti\n");
    // Reordered rows inside the source leave it as it is.
    pivot.sheet("Clienti")->permuteRows(2, 1, 13, std::vector<int>{6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(anchored(pivot, {"dconref"}), "dconref 0 0-7:0-2 self Clienti\n");

    Workbook consolidated = Workbook::open(fixture("crafted-anchored.xls"));
    consolidated.sheet("Clienti")->deleteRow(2);
    EXPECT_EQ(anchored(consolidated, {"dconref"}), "dconref 2 1-7:1-1 self Clienti\n");
    // Rows 2 and 3 swapped inside the source: it stays one range, as it was.
    consolidated.sheet("Clienti")->permuteRows(2, 1, 13, std::vector<int>{1, 0});
    EXPECT_EQ(anchored(consolidated, {"dconref"}), "dconref 2 1-7:1-1 self Clienti\n");
    // Deleting in another sheet leaves them alone.
    consolidated.sheet("Codici")->deleteRow(1);
    EXPECT_EQ(anchored(consolidated, {"dconref"}), "dconref 2 1-7:1-1 self Clienti\n");
}

// crafted-anchored's sort state: A2:C9 sorted by B2:B9 descending, then by A2:A9 along a custom
// list; watched cells A1, B4 and C7.
TEST(AnchoredFixtures, SortStateAndWatchedCellsFollowTheRows) {
    Workbook book = Workbook::open(fixture("crafted-anchored.xls"));
    const std::vector<std::string> kinds = {"sortdata", "cellwatch"};
    const std::string keys = " keys 1-7:1-1 desc, 1-7:0-0 asc list Alfa,Beta\n";
    // Row 4 goes: so does the watch on B4; C7 becomes C6 and the sort state loses a row.
    book.sheet("Clienti")->deleteRow(4);
    EXPECT_EQ(anchored(book, kinds),
              "sortdata 1-7:0-2" + keys + "cellwatch 0-0:0-0\ncellwatch 5-5:2-2\n");
    // The customers reversed across A-M: C6 goes with its row to C4; the sort state covers every
    // reordered row and stays as it was.
    book.sheet("Clienti")->permuteRows(2, 1, 13, std::vector<int>{6, 5, 4, 3, 2, 1, 0});
    EXPECT_EQ(anchored(book, kinds),
              "sortdata 1-7:0-2" + keys + "cellwatch 0-0:0-0\ncellwatch 3-3:2-2\n");
    // Rows 6 and 7 swapped across A-B alone: A2:C8 no longer holds its rows together and the
    // sort state goes; C4, right of the moved columns, stays.
    book.sheet("Clienti")->permuteRows(6, 1, 2, std::vector<int>{1, 0});
    EXPECT_EQ(anchored(book, kinds), "cellwatch 0-0:0-0\ncellwatch 3-3:2-2\n");
}

}  // namespace
