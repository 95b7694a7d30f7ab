// Changing a workbook: the binding rule of writing a text, the refusal of an over-long text,
// row deletion with the features anchored to rows, row reordering, and writing back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/container/compound_file.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return "cannot run";
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    if (pclose(pipe) != 0) output = "FAILED: " + output;
    return output;
}

std::string features(const std::filesystem::path& file) {
    return run(std::string(CLIVARA_PYTHON3) + " " + CLIVARA_TESTS_DIR +
               "/archive/workbook_xlrd_cells.py --features '" + file.string() + "'");
}

int xfOf(const Sheet& sheet, int row, int column) {
    const Cell* cell = sheet.data().find(row - 1, column - 1);
    return cell == nullptr ? -1 : cell->xf;
}

TEST(WorkbookEdit, WrittenTextsReadBackExactly) {
    // lo-clienti has a cell format showing dd/mm/yyyy (XF 22); C holds dates, A texts.
    Workbook book = Workbook::open(fixture("lo-clienti.xls"));
    Sheet& sheet = *book.sheet("Clienti");
    const std::size_t xfCount = book.data().xfs.size();
    const int dateXf = xfOf(sheet, 2, 3);
    ASSERT_TRUE(book.data().xfs.at(dateXf).dayMonthYear);

    struct Case {
        int row, column;
        std::string text;
        CellKind kind;
    };
    const std::vector<Case> cases = {
        {30, 1, "42", CellKind::Number},
        {30, 2, "00185", CellKind::Text},
        {30, 3, "-7", CellKind::Number},
        {30, 4, "+7", CellKind::Text},
        {30, 5, "1234567890123456", CellKind::Text},
        {30, 6, "25/12/2020", CellKind::Number},  // a general cell takes the date format
        {30, 7, "31/02/2020", CellKind::Text},
        {30, 8, "7,5", CellKind::Text},
        {2, 3, "01/03/2021", CellKind::Number},  // a date cell keeps its format
        {3, 3, "42", CellKind::Text},            // a whole number in a date cell stays text
        {4, 3, "Società Ωμέγα 😀", CellKind::Text},
    };
    for (const Case& c : cases) {
        const int xfBefore = xfOf(sheet, c.row, c.column);
        sheet.setText(c.row, c.column, c.text);
        EXPECT_EQ(sheet.text(c.row, c.column), c.text);
        EXPECT_EQ(sheet.kind(c.row, c.column), c.kind) << c.text;
        if (xfBefore >= 0) EXPECT_EQ(xfOf(sheet, c.row, c.column), xfBefore) << c.text;
    }
    EXPECT_EQ(xfOf(sheet, 30, 6), dateXf);

    // Emptying: a formatted cell stays as a blank with its format, a plain one goes.
    sheet.setText(2, 3, "");
    EXPECT_TRUE(sheet.isEmpty(2, 3));
    EXPECT_EQ(xfOf(sheet, 2, 3), dateXf);
    sheet.setText(30, 2, "");
    EXPECT_EQ(sheet.data().find(29, 1), nullptr);

    const Workbook reread = Workbook::fromBytes(book.toBytes(), "x.xls");
    EXPECT_EQ(cellTexts(*reread.sheet("Clienti")), cellTexts(sheet));
    EXPECT_EQ(reread.data().xfs.size(), xfCount);

    // Without a dd/mm/yyyy cell format a date stays text.
    Workbook xlwt = Workbook::open(fixture("xlwt-clienti.xls"));
    xlwt.sheet("clienti")->setText(40, 1, "25/12/2020");
    EXPECT_EQ(xlwt.sheet("clienti")->kind(40, 1), CellKind::Text);
}

TEST(WorkbookEdit, OverlongTextsAreRefusedAndChangeNothing) {
    Workbook book = Workbook::open(fixture("lo-clienti.xls"));
    Sheet& sheet = *book.sheet("Clienti");
    const std::string before = sheet.text(2, 1);
    sheet.setText(3, 1, std::string(32767, 'a'));
    EXPECT_EQ(sheet.text(3, 1).size(), 32767u);
    try {
        sheet.setText(2, 1, std::string(32768, 'a'));
        ADD_FAILURE() << "accepted";
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error.problem(), ArchiveProblem::TextTooLong);
    }
    // Characters outside the basic plane count twice, as the format counts them.
    std::string emoji;
    for (int i = 0; i < 16384; ++i) emoji += "😀";
    EXPECT_THROW(sheet.setText(2, 1, emoji), ArchiveError);
    EXPECT_EQ(sheet.text(2, 1), before);

    // The longest text goes into the shared strings and survives a save.
    const Workbook reread = Workbook::fromBytes(book.toBytes(), "x.xls");
    EXPECT_EQ(reread.sheet("Clienti")->text(3, 1), std::string(32767, 'a'));
}

TEST(WorkbookEdit, DeletedRowsTakeMergedCellsLinksNotesAndHeightsAlong) {
    TempDir dir;
    Workbook book = Workbook::open(fixture("lo-features.xls"));
    Sheet& sheet = book.sheetAt(0);
    const std::string row4 = sheet.text(4, 1), row9 = sheet.text(9, 1);
    sheet.deleteRow(3);  // the row of the merged L3:M3
    EXPECT_EQ(sheet.text(3, 1), row4);
    EXPECT_EQ(sheet.text(8, 1), row9);
    sheet.deleteRow(8);  // inside L7:L9 (was L8:L10)
    book.save(dir.path() / "a.xls");
    EXPECT_EQ(features(dir.path() / "a.xls"),
              "merged 6 8 11 12\n"
              "link 3 3 https://www.example.it/clienti\n"
              "note 5 0 Chiamare prima di passare\n"
              "height 0 256\nheight 1 256\nheight 2 256\nheight 3 477\nheight 4 256\n"
              "height 5 256\nheight 6 256\nheight 7 256\n");

    // Deleting the rows of the note and of the link (the tall row) drops them; the file still
    // opens.
    Workbook again = Workbook::fromBytes(readBytes(dir.path() / "a.xls"), "a.xls");
    again.sheetAt(0).deleteRow(6);
    again.sheetAt(0).deleteRow(4);
    again.save(dir.path() / "b.xls");
    EXPECT_EQ(features(dir.path() / "b.xls"),
              "merged 4 6 11 12\n"
              "height 0 256\nheight 1 256\nheight 2 256\nheight 3 256\nheight 4 256\n"
              "height 5 256\n");
    const std::string csv = run("ssconvert '" + (dir.path() / "b.xls").string() + "' '" +
                                (dir.path() / "b.csv").string() + "'");
    EXPECT_EQ(csv.find("FAILED"), std::string::npos) << csv;
}

TEST(WorkbookEdit, PermutedRowsMoveTheirColumnsWithFormatsOnly) {
    Workbook book = Workbook::open(fixture("lo-clienti.xls"));
    Sheet& sheet = *book.sheet("Clienti");
    sheet.setText(2, 14, "fuori 2");
    sheet.setText(4, 14, "fuori 4");
    const std::vector<std::string> a = {sheet.text(2, 1), sheet.text(3, 1), sheet.text(4, 1)};
    const int dateXf = xfOf(sheet, 2, 3);
    sheet.setText(4, 3, "");
    const int xf4 = xfOf(sheet, 4, 3);
    const std::vector<int> order = {2, 0, 1};
    sheet.permuteRows(2, 1, 13, order);
    EXPECT_EQ(sheet.text(2, 1), a[2]);
    EXPECT_EQ(sheet.text(3, 1), a[0]);
    EXPECT_EQ(sheet.text(4, 1), a[1]);
    EXPECT_EQ(sheet.text(2, 14), "fuori 2");  // right of M: stays
    EXPECT_EQ(sheet.text(4, 14), "fuori 4");
    EXPECT_EQ(xfOf(sheet, 2, 3), xf4);
    EXPECT_EQ(xfOf(sheet, 3, 3), dateXf);
    EXPECT_THROW(sheet.permuteRows(2, 1, 13, std::vector<int>{0, 0}), std::invalid_argument);
}

TEST(WorkbookEdit, FormulasStayFormulasWhenRowsBelowThemGo) {
    Workbook book = Workbook::open(fixture("lo-values.xls"));
    Sheet& sheet = book.sheetAt(0);
    const CellTexts before = cellTexts(sheet);
    const auto formulaCount = [&] {
        int count = 0;
        for (const auto& row : sheet.data().rows) {
            for (const auto& cell : row.cells) count += cell.type == CellType::Formula ? 1 : 0;
        }
        return count;
    };
    const int formulas = formulaCount();
    ASSERT_GT(formulas, 0);
    sheet.setText(Sheet::kLastRow, 1, "ultima");
    sheet.deleteRow(Sheet::kLastRow - 1);
    EXPECT_EQ(formulaCount(), formulas);
    EXPECT_TRUE(sheet.data().frozenFormulas.empty());
    EXPECT_EQ(sheet.text(Sheet::kLastRow - 1, 1), "ultima");
    EXPECT_TRUE(sheet.isEmpty(Sheet::kLastRow, 1));
    sheet.deleteRow(Sheet::kLastRow - 1);
    EXPECT_EQ(cellTexts(sheet), before);
    const Workbook reread = Workbook::fromBytes(book.toBytes(), "x.xls");
    EXPECT_EQ(cellTexts(reread.sheetAt(0)), before);
}

// lo-formula-rows with no cell table on its first sheet: its DIMENSIONS, rows and cells are taken
// out, leaving the embedded chart's substream in the sheet (with the chart's own WINDOW2 and
// EOF), and the sheet positions of the BOUNDSHEET records that follow are moved back.
std::vector<std::uint8_t> withoutFirstCellTable() {
    CompoundFile file = readCompoundFile(readBytes(fixture("lo-formula-rows.xls")));
    CompoundEntry* stream = file.findStream("Workbook");
    const std::vector<std::uint8_t> in = stream->data;
    std::vector<std::uint8_t> out;
    std::vector<std::size_t> boundSheets;
    std::size_t removed = 0, sheetStart = 0;
    int substream = 0;  // 1: the globals; 2: the first sheet; 3: inside its chart
    for (std::size_t at = 0; at + 4 <= in.size();) {
        const std::uint16_t id = readU16(in, at);
        const std::size_t end = at + 4 + readU16(in, at + 2);
        if (id == rec::kBof) ++substream;
        if (substream == 2 && sheetStart == 0) sheetStart = at;
        const bool cellTable = id == 0x0200 || id == 0x0208 || id == 0x00D7 || id == 0x00FD ||
                               id == 0x027E || id == 0x0203 || id == 0x0006 || id == 0x04BC ||
                               id == 0x0221 || id == 0x0236 || id == 0x0207 || id == 0x00BD ||
                               id == 0x0201 || id == 0x00BE || id == 0x0205;
        if (substream == 2 && cellTable) {
            removed += end - at;
        } else {
            if (id == 0x0085) boundSheets.push_back(out.size() + 4);
            out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(at),
                       in.begin() + static_cast<std::ptrdiff_t>(end));
        }
        if (id == rec::kEof && substream >= 2) substream = substream == 3 ? 2 : 4;
        at = end;
    }
    for (const std::size_t position : boundSheets) {
        const std::uint32_t sheet = readU32(out, position);
        if (sheet > sheetStart)
            patchU32(out, position, static_cast<std::uint32_t>(sheet - removed));
    }
    stream->data = out;
    return writeCompoundFile(file);
}

TEST(WorkbookEdit, CellsWrittenIntoASheetWithoutCellTableStayOutOfItsChart) {
    const std::vector<std::uint8_t> bytes = withoutFirstCellTable();
    Workbook book = Workbook::fromBytes(bytes, "x.xls");
    Sheet& sheet = book.sheetAt(0);
    ASSERT_TRUE(sheet.isEmpty(1, 1));
    const CellTexts second = cellTexts(book.sheetAt(1));
    ASSERT_FALSE(second.empty());
    sheet.setText(2, 1, "Fuzz Srl");
    sheet.setText(3, 2, "42");
    const Workbook reread = Workbook::fromBytes(book.toBytes(), "y.xls");
    EXPECT_EQ(reread.sheetAt(0).text(2, 1), "Fuzz Srl");
    EXPECT_EQ(reread.sheetAt(0).text(3, 2), "42");
    EXPECT_EQ(cellTexts(reread.sheetAt(1)), second);
}

}  // namespace
