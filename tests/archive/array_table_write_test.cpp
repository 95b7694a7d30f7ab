// Writing into an array formula or a data table: whichever cell of the block is written, the
// whole block becomes its cached values and its ARRAY or TABLE record goes, so that no reader
// finds a cell under a block record it does not belong to. Other formulas stay formulas.

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/container/compound_file.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

// How many records of each block kind the saved workbook stream holds.
int blockRecords(const Workbook& book) {
    const CompoundFile file = readCompoundFile(book.toBytes());
    const std::vector<std::uint8_t>& stream = file.findStream("Workbook")->data;
    int count = 0;
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        const std::uint16_t id = readU16(stream, at);
        if (id == rec::kArray || id == rec::kTable) ++count;
        at += 4 + readU16(stream, at + 2);
    }
    return count;
}

bool isFormula(const Sheet& sheet, int row, int column) {
    const Cell* cell = sheet.data().find(row - 1, column - 1);
    return cell != nullptr && cell->type == CellType::Formula;
}

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return "cannot run";
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
    return output;
}

// Both fixtures hold the array formula F2:F3 (cached 100 and 200) beside a shared formula in
// C and SUMs in D; LibreOffice wrote one, Gnumeric the other.
TEST(ArrayAndTableWrites, AnyCellOfAnArrayFormulaTurnsTheBlockIntoValues) {
    TempDir dir;
    for (const std::string name : {"lo-formula-rows.xls", "gnumeric-array-rows.xls"}) {
        for (const int written : {2, 3}) {
            SCOPED_TRACE(name + " F" + std::to_string(written));
            Workbook book = Workbook::open(fixture(name));
            Sheet& sheet = *book.sheet("Clienti");
            ASSERT_TRUE(isFormula(sheet, 2, 6) && isFormula(sheet, 3, 6));
            ASSERT_EQ(blockRecords(book), 1);
            sheet.setText(written, 6, "scritto");
            const int other = written == 2 ? 3 : 2;
            EXPECT_EQ(sheet.text(written, 6), "scritto");
            EXPECT_EQ(sheet.text(other, 6), other == 2 ? "100" : "200");
            EXPECT_FALSE(isFormula(sheet, other, 6));
            EXPECT_EQ(sheet.kind(other, 6), CellKind::Number);
            EXPECT_EQ(blockRecords(book), 0);
            // The block alone: the formulas of C and D are still formulas.
            EXPECT_TRUE(isFormula(sheet, 4, 3));
            EXPECT_TRUE(isFormula(sheet, 4, 4));

            const auto saved = dir.path() / ("F" + std::to_string(written) + name);
            book.save(saved);
            const std::string xlrd = run(std::string(CLIVARA_PYTHON3) +
                                         " -c \"import sys, xlrd; s = xlrd.open_workbook("
                                         "sys.argv[1]).sheet_by_index(0); print(s.col_values(5)"
                                         "[1:3], s.col_values(2)[3])\" '" +
                                         saved.string() + "'");
            EXPECT_EQ(xlrd,
                      written == 2 ? "['scritto', 200.0] 60.0\n" : "[100.0, 'scritto'] 60.0\n");
            // Gnumeric reads the written cell (it read a cell left under the record as empty).
            const auto csv = dir.path() / "foglio.csv";
            run("ssconvert '" + saved.string() + "' '" + csv.string() + "'");
            const std::string lines = run("sed -n 2,3p '" + csv.string() + "' | cut -d, -f6");
            EXPECT_EQ(lines, written == 2 ? "scritto\n200\n" : "100\nscritto\n");
        }
    }
}

// A formula cell as the file holds it: one token pointing at a block's first cell (Exp 0x01
// for an array, Table 0x02 for a data table), a cached number, and the block's record when it
// is the first cell.
void putBlockCell(Sheet& sheet, int row0, int column0, std::uint8_t pointerToken, double cached,
                  std::uint16_t blockId, int firstRow0, int lastRow0, int column0Block) {
    SheetData& data = sheet.data();
    std::vector<std::uint8_t> body;
    putU16(body, static_cast<std::uint16_t>(row0));
    putU16(body, static_cast<std::uint16_t>(column0));
    putU16(body, 15);
    const auto bits = std::bit_cast<std::uint64_t>(cached);
    putU32(body, static_cast<std::uint32_t>(bits));
    putU32(body, static_cast<std::uint32_t>(bits >> 32));
    putU16(body, 0);  // flags
    putU32(body, 0);
    putU16(body, 5);
    body.push_back(pointerToken);
    putU16(body, static_cast<std::uint16_t>(firstRow0));
    putU16(body, static_cast<std::uint16_t>(column0Block));
    Formula formula;
    formula.number = cached;
    putRecord(formula.records, rec::kFormula, body);
    if (row0 == firstRow0) {
        std::vector<std::uint8_t> block;
        putU16(block, static_cast<std::uint16_t>(firstRow0));
        putU16(block, static_cast<std::uint16_t>(lastRow0));
        block.push_back(static_cast<std::uint8_t>(column0Block));
        block.push_back(static_cast<std::uint8_t>(column0Block));
        if (blockId == rec::kTable) {
            // Flags, then the row and column input cells (A1 and B1).
            for (const std::uint16_t word : {0, 0, 0, 0, 1}) putU16(block, word);
        } else {
            // Flags, chn, then the array's own formula: the number 7.
            putU16(block, 0);
            putU32(block, 0);
            putU16(block, 3);
            for (const std::uint8_t b : {0x1E, 0x07, 0x00}) block.push_back(b);
        }
        putRecord(formula.records, blockId, block);
        formula.ownsSharedRecords = true;
    }
    Cell cell;
    cell.column = static_cast<std::uint16_t>(column0);
    cell.xf = 15;
    cell.type = CellType::Formula;
    cell.payload = data.formulas.size();
    data.formulas.push_back(formula);
    auto& cells = data.rowForWrite(row0).cells;
    cells.insert(std::lower_bound(cells.begin(), cells.end(), cell.column,
                                  [](const Cell& c, std::uint16_t col) { return c.column < col; }),
                 cell);
    data.changed = true;
}

// The data table (an Excel-only record) and an array formula made in memory: rows 2-4 of
// column H a table, rows 2-3 of column I an array. Writing the middle cell of the table turns
// the table into values and leaves the array alone, and the other way round.
TEST(ArrayAndTableWrites, AnyCellOfADataTableTurnsTheTableIntoValues) {
    TempDir dir;
    Workbook book = emptyArchive();
    Sheet& sheet = *book.sheet("Clienti");
    for (int r = 1; r <= 3; ++r) putBlockCell(sheet, r, 7, 0x02, 10.0 * r, rec::kTable, 1, 3, 7);
    for (int r = 1; r <= 2; ++r) putBlockCell(sheet, r, 8, 0x01, 7, rec::kArray, 1, 2, 8);
    const Workbook written = Workbook::fromBytes(book.toBytes(), "tabella.xls");
    ASSERT_EQ(blockRecords(written), 2);
    ASSERT_EQ(written.sheet("Clienti")->text(4, 8), "30");

    Workbook table = written;
    Sheet& tableSheet = *table.sheet("Clienti");
    tableSheet.setText(3, 8, "nuovo");
    EXPECT_EQ(blockRecords(table), 1);
    EXPECT_EQ(tableSheet.text(2, 8), "10");
    EXPECT_EQ(tableSheet.text(3, 8), "nuovo");
    EXPECT_EQ(tableSheet.text(4, 8), "30");
    EXPECT_FALSE(isFormula(tableSheet, 2, 8) || isFormula(tableSheet, 4, 8));
    EXPECT_TRUE(isFormula(tableSheet, 2, 9) && isFormula(tableSheet, 3, 9));

    Workbook array = written;
    Sheet& arraySheet = *array.sheet("Clienti");
    arraySheet.setText(3, 9, "");
    EXPECT_EQ(blockRecords(array), 1);
    EXPECT_EQ(arraySheet.text(2, 9), "7");
    EXPECT_TRUE(arraySheet.isEmpty(3, 9));
    EXPECT_TRUE(isFormula(arraySheet, 3, 8));

    // A cell outside every block, and one pointing at a block it lies outside of, change
    // nothing else.
    Workbook outside = written;
    outside.sheet("Clienti")->setText(6, 8, "fuori");
    EXPECT_EQ(blockRecords(outside), 2);

    const auto saved = dir.path() / "tabella.xls";
    table.save(saved);
    const Workbook again = Workbook::open(saved);
    EXPECT_EQ(cellTexts(*again.sheet("Clienti")), cellTexts(tableSheet));
    EXPECT_EQ(run(std::string(CLIVARA_PYTHON3) +
                  " -c \"import sys, xlrd; s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0);"
                  " print(s.col_values(7)[1:4])\" '" +
                  saved.string() + "'"),
              "[10.0, 'nuovo', 30.0]\n");
}

}  // namespace
