// A written cell keeps its kind: the customer fixtures of the three writers hold C.A.P.s and
// VAT numbers as text beside mobile numbers and other VAT numbers as numbers, and dates in C.
// Rewriting a row, with its own texts or new ones, keeps every cell's kind, for this layer and
// for python3-xlrd; a new row takes the kinds of the row it is added after.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

const std::vector<std::string> kCustomerFixtures = {"lo-clienti.xls", "gnumeric-clienti.xls",
                                                    "xlwt-clienti.xls"};

// Per row "r,c=kind;" for the first 13 columns of the first sheet, as xlrd reads the file.
std::string xlrdKinds(const std::filesystem::path& file) {
    const std::string command = std::string(CLIVARA_PYTHON3) +
                                " -c \"import sys, xlrd; s = xlrd.open_workbook(sys.argv[1])"
                                ".sheet_by_index(0); print(';'.join('%d,%d=%d' % (r, c, "
                                "s.cell_type(r, c)) for r in range(s.nrows) for c in "
                                "range(min(13, s.ncols))))\" '" +
                                file.string() + "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run python3";
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
    return output;
}

int lastCustomerRow(const Sheet& sheet) {
    int row = 2;
    while (!sheet.isEmpty(row + 1, 1)) ++row;
    return row;
}

TEST(CellKind, RewritingEveryRowWithItsOwnTextsKeepsEveryKind) {
    TempDir dir;
    for (const std::string& name : kCustomerFixtures) {
        SCOPED_TRACE(name);
        Workbook book = Workbook::open(fixture(name));
        Sheet& sheet = book.sheetAt(0);
        const int last = lastCustomerRow(sheet);
        std::vector<CellKind> before;
        std::vector<std::string> texts;
        for (int row = 2; row <= last; ++row) {
            for (int column = 1; column <= 13; ++column) {
                before.push_back(sheet.kind(row, column));
                texts.push_back(sheet.text(row, column));
                sheet.setText(row, column, texts.back());
            }
        }
        std::size_t i = 0;
        for (int row = 2; row <= last; ++row) {
            for (int column = 1; column <= 13; ++column, ++i) {
                EXPECT_EQ(sheet.kind(row, column), before[i]) << row << "," << column;
                EXPECT_EQ(sheet.text(row, column), texts[i]) << row << "," << column;
            }
        }
        const auto saved = dir.path() / name;
        book.save(saved);
        EXPECT_EQ(xlrdKinds(saved), xlrdKinds(fixture(name)));
    }
}

TEST(CellKind, NewTextsKeepTheKindOfTheCellTheyReplace) {
    TempDir dir;
    for (const std::string& name : kCustomerFixtures) {
        SCOPED_TRACE(name);
        Workbook book = Workbook::open(fixture(name));
        Sheet& sheet = book.sheetAt(0);
        // Row 2: E '00185' and K '01234567890' are texts, I a number, C a date.
        // Row 3: E '80135' text, K a number. I of rows 3, 5, 6 and 8: numbers.
        ASSERT_EQ(sheet.kind(2, 5), CellKind::Text);
        ASSERT_EQ(sheet.kind(2, 11), CellKind::Text);
        ASSERT_EQ(sheet.kind(3, 11), CellKind::Number);
        struct Case {
            int row, column;
            std::string text;
            CellKind kind;
        };
        const std::vector<Case> cases = {
            {2, 5, "22063", CellKind::Text},           // a C.A.P. stays text
            {2, 11, "22392272825", CellKind::Text},    // so does a VAT number held as text
            {3, 11, "22392272825", CellKind::Number},  // and one held as a number stays one
            {3, 9, "3331234567", CellKind::Number},
            {5, 9, "7,25", CellKind::Number},       // a number as it is shown
            {6, 9, "0331 123456", CellKind::Text},  // not a number: text
            {8, 9, "07", CellKind::Text},
            {2, 9, "7,50", CellKind::Text},          // not as a number is shown
            {2, 3, "01/03/2021", CellKind::Number},  // a date stays a date
            {3, 3, "42", CellKind::Text},            // a number over a date becomes text
            {4, 3, "non ricordo", CellKind::Text},
            {2, 2, "41", CellKind::Number},
            {2, 1, "12345", CellKind::Text},  // a name that is a number stays text
        };
        for (const Case& c : cases) {
            sheet.setText(c.row, c.column, c.text);
            EXPECT_EQ(sheet.text(c.row, c.column), c.text) << c.text;
            EXPECT_EQ(sheet.kind(c.row, c.column), c.kind) << c.row << "," << c.column;
        }
        // What this layer reads, xlrd reads from the saved file.
        const auto saved = dir.path() / name;
        book.save(saved);
        const std::string kinds = xlrdKinds(saved);
        EXPECT_NE(kinds.find("1,4=1;"), std::string::npos) << kinds;   // E2 text
        EXPECT_NE(kinds.find("1,10=1;"), std::string::npos) << kinds;  // K2 text
        EXPECT_NE(kinds.find("2,10=2;"), std::string::npos) << kinds;  // K3 number
        EXPECT_NE(kinds.find("4,8=2;"), std::string::npos) << kinds;   // I5 number
        EXPECT_NE(kinds.find("1,2=3;"), std::string::npos) << kinds;   // C2 date
    }
}

TEST(CellKind, ANewRowTakesTheKindsOfTheRowAbove) {
    for (const std::string& name : kCustomerFixtures) {
        SCOPED_TRACE(name);
        Workbook book = Workbook::open(fixture(name));
        Sheet& sheet = book.sheetAt(0);
        const int above = lastCustomerRow(sheet);
        const int row = above + 1;
        // A row of the same shape as every customer's: the kinds follow the row above, or the
        // text where the cell above is empty.
        const std::vector<std::string> fields = {
            "Nuovo Cliente", "99",         "07/12/2026",       "Via Nuova 1", "22063", "Como", "CO",
            "031 1234",      "3351234567", "NVCLNT80A01C933X", "22392272825", "100",   "12345"};
        for (int column = 1; column <= 13; ++column) {
            sheet.setTextLike(row, column, fields[static_cast<std::size_t>(column - 1)], above);
        }
        for (int column = 1; column <= 13; ++column) {
            const std::string& text = fields[static_cast<std::size_t>(column - 1)];
            EXPECT_EQ(sheet.text(row, column), text);
            const CellKind model = sheet.kind(above, column);
            const CellKind expected =
                model != CellKind::Empty
                    ? model
                    : (text == "99" || text == "3351234567" || text == "22392272825" ||
                               text == "100" || text == "12345" || text == "22063"
                           ? CellKind::Number
                           : CellKind::Text);
            EXPECT_EQ(sheet.kind(row, column), expected) << column << " " << text;
        }
        EXPECT_EQ(sheet.kind(row, 5), CellKind::Text);    // the C.A.P. column holds texts
        EXPECT_EQ(sheet.kind(row, 3), CellKind::Number);  // the dates column holds dates

        // Without a model row (the first customer), the text decides as it always did.
        sheet.setTextLike(row + 1, 5, "22063", 0);
        EXPECT_EQ(sheet.kind(row + 1, 5), CellKind::Number);
        sheet.setTextLike(row + 1, 11, "01234567890", 0);
        EXPECT_EQ(sheet.kind(row + 1, 11), CellKind::Text);
    }
}

// A date with its time, in a cell that shows one, stays a date.
TEST(CellKind, ADateWithItsTimeStaysADate) {
    Workbook book = Workbook::open(fixture("xlwt-dates1900.xls"));
    Sheet& sheet = book.sheetAt(0);
    int found = 0;
    for (int row = 1; row <= sheet.lastUsedRow() && found == 0; ++row) {
        for (int column = 1; column <= 20 && found == 0; ++column) {
            const std::string text = sheet.text(row, column);
            if (sheet.kind(row, column) == CellKind::Number && text.size() == 19 &&
                text[10] == ' ') {
                found = row * 1000 + column;
            }
        }
    }
    ASSERT_NE(found, 0) << "no date-time cell in the fixture";
    const int row = found / 1000, column = found % 1000;
    for (const std::string text : {"24/03/2008 18:30:05", "01/01/2000 00:00:00"}) {
        sheet.setText(row, column, text);
        EXPECT_EQ(sheet.text(row, column), text);
        EXPECT_EQ(sheet.kind(row, column), CellKind::Number) << text;
    }
    sheet.setText(row, column, "24/03/2008 25:00:00");
    EXPECT_EQ(sheet.kind(row, column), CellKind::Text);
}

}  // namespace
