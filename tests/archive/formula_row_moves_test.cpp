// Formulas after a row deletion and after the sort, as other programs read the written file:
// Gnumeric recalculates every formula, python3-xlrd reads the defined names. Then a
// differential check: references and sums on a sheet with random formulas, before and after
// random deletions, against a plain model of the rows.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/book/workbook_io.h"
#include "archive/formulas/formula_tokens.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

using Grid = std::vector<std::vector<std::string>>;

std::string run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
    return output;
}

// Every sheet of the file as Gnumeric shows it after recalculating all formulas.
std::map<std::string, Grid> recalculated(const std::filesystem::path& file,
                                         const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    run("ssconvert --recalc -S '" + file.string() + "' '" + (folder / "%s.csv").string() +
        "' 2>/dev/null");
    std::map<std::string, Grid> sheets;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path());
        Grid grid;
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> fields;
            std::stringstream parts(line);
            std::string field;
            while (std::getline(parts, field, ',')) {
                if (field.size() >= 2 && field.front() == '"')
                    field = field.substr(1, field.size() - 2);
                fields.push_back(field);
            }
            grid.push_back(fields);
        }
        sheets[entry.path().stem().string()] = grid;
    }
    return sheets;
}

std::string at(const Grid& grid, int row, int column) {
    if (row < 1 || static_cast<std::size_t>(row) > grid.size()) return {};
    const auto& fields = grid[static_cast<std::size_t>(row - 1)];
    return static_cast<std::size_t>(column) <= fields.size()
               ? fields[static_cast<std::size_t>(column - 1)]
               : std::string();
}

// Rows 2.. of columns A..E (and F when given) of the customer sheet.
void expectRows(const Grid& grid, const std::vector<std::vector<std::string>>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t c = 0; c < rows[i].size(); ++c) {
            EXPECT_EQ(at(grid, static_cast<int>(i) + 2, static_cast<int>(c) + 1), rows[i][c])
                << "row " << i + 2 << ", column " << c + 1;
        }
    }
}

// The defined names of the file as python3-xlrd resolves them: "name rlo rhi clo chi".
std::string namesOf(const std::filesystem::path& file) {
    const std::string script =
        "import sys, xlrd\n"
        "b = xlrd.open_workbook(sys.argv[1])\n"
        "for n in sorted(b.name_obj_list, key=lambda n: n.name):\n"
        "    try:\n"
        "        s, a, z, c, d = n.area2d()\n"
        "        print(n.name, a, z, c, d)\n"
        "    except Exception:\n"
        "        print(n.name, 'none')\n";
    const std::filesystem::path path = file.parent_path() / "names.py";
    std::ofstream(path) << script;
    return run(std::string(CLIVARA_PYTHON3) + " '" + path.string() + "' '" + file.string() +
               "' 2>&1");
}

class FormulaFixtures : public ::testing::Test {
  protected:
    std::filesystem::path save(const Workbook& book, const std::string& name) {
        const auto path = dir_.path() / name;
        book.save(path);
        return path;
    }
    TempDir dir_;
};

TEST_F(FormulaFixtures, DeletedRowIsFollowedEverywhereInTheLibreOfficeWorkbook) {
    Workbook book = Workbook::open(fixture("lo-formula-rows.xls"));
    book.sheet("Clienti")->deleteRow(4);  // Delta, 30
    EXPECT_TRUE(book.sheet("Clienti")->data().frozenFormulas.empty());
    const auto path = save(book, "deleted.xls");
    const auto sheets = recalculated(path, dir_.path() / "csv");
    ASSERT_EQ(sheets.size(), 2u);
    const Grid& clienti = sheets.at("Clienti");
    // Doppio (shared formula), Totale (absolute area), Seguente (next row), Matrice (array).
    expectRows(clienti, {{"Gamma", "10", "20", "180", "20", "100"},
                         {"Alfa", "20", "40", "180", "#REF!", "200"},
                         {"Beta", "40", "80", "180", "50", ""},
                         {"Epsilon", "50", "100", "180", "60", ""},
                         {"Zeta", "60", "120", "180", "0", ""}});
    EXPECT_EQ(at(clienti, 7, 1), "");
    // Another sheet's references into the customers, and a name used in a formula.
    const Grid& summary = sheets.at("Riepilogo");
    EXPECT_EQ(at(summary, 1, 1), "20");
    EXPECT_EQ(at(summary, 2, 1), "180");
    EXPECT_EQ(at(summary, 3, 1), "40");
    EXPECT_EQ(at(summary, 5, 1), "180");
    EXPECT_EQ(at(summary, 6, 1), "#REF!");

    EXPECT_EQ(namesOf(path),
              "Print_Area 0 6 0 6\nQuinto 3 4 0 1\nTotale 1 6 1 2\n_FilterDatabase 0 6 0 2\n");

    // The conditional format B3>$B$4 lost its absolute row; the validation's $B$7 is $B$6;
    // the chart's ranges shrank.
    const Workbook reread = Workbook::open(path);
    const Sheet& sheet = *reread.sheet("Clienti");
    const std::vector<TokenKind> cf = {TokenKind::RefN, TokenKind::RefError, TokenKind::Other};
    int chartRanges = 0;
    for (const KeptRecord& record : sheet.data().records) {
        const auto body = recordBytes(reread.data(), &sheet.data(), record).subspan(4);
        if (record.id == rec::kCf) {
            const auto walk = walkFormulaTokens(body.subspan(body.size() - 11));
            ASSERT_TRUE(walk);
            std::vector<TokenKind> kinds;
            for (const auto& token : walk->tokens) kinds.push_back(token.kind);
            EXPECT_EQ(kinds, cf);
        }
        if (record.id == 0x1051 && body.size() >= 8 + 11 && body[8] == 0x3B) {
            // The chart's series and categories: rows 2..7 are now 2..6.
            ++chartRanges;
            EXPECT_EQ(readU16(body, 8 + 3), 1);
            EXPECT_EQ(readU16(body, 8 + 5), 5);
        }
        if (record.id == rec::kDv) {
            EXPECT_EQ(readU16(body, 25), 5);  // $B$7 -> $B$6
            EXPECT_EQ(body[24 + 5], 0x4C);    // B3, relative to the range's first cell
        }
    }
    EXPECT_EQ(chartRanges, 2);
    // TODAY() is not frozen; python3-xlrd reads what the model holds.
    const Cell* today = reread.sheet("Riepilogo")->data().find(3, 0);
    ASSERT_NE(today, nullptr);
    EXPECT_EQ(today->type, CellType::Formula);
    XlrdReading xlrd;
    std::string error;
    ASSERT_TRUE(readWithXlrd({path}, xlrd, error)) << error;
    EXPECT_EQ(xlrd[path.string()]["Clienti"], cellTexts(sheet));
}

TEST_F(FormulaFixtures, DeletedRowIsFollowedInTheGnumericWorkbook) {
    Workbook book = Workbook::open(fixture("gnumeric-formula-rows.xls"));
    book.sheet("Clienti")->deleteRow(4);
    const auto path = save(book, "deleted.xls");
    const auto sheets = recalculated(path, dir_.path() / "csv");
    expectRows(sheets.at("Clienti"), {{"Gamma", "10", "20", "180", "20"},
                                      {"Alfa", "20", "40", "180", "#REF!"},
                                      {"Beta", "40", "80", "180", "50"},
                                      {"Epsilon", "50", "100", "180", "60"},
                                      {"Zeta", "60", "120", "180", "0"}});
    const Grid& summary = sheets.at("Riepilogo");
    EXPECT_EQ(at(summary, 1, 1), "20");
    EXPECT_EQ(at(summary, 2, 1), "180");
    EXPECT_EQ(at(summary, 3, 1), "40");
}

// Names of several areas (crafted-union-names.xls: Totale is $B$2:$B$3,$B$5:$B$7, the print
// titles $A:$B,$7:$8) follow a deletion area by area, as python3-xlrd and Gnumeric read them.
TEST_F(FormulaFixtures, NamesOfSeveralAreasFollowTheDeletedRowAreaByArea) {
    Workbook book = Workbook::open(fixture("crafted-union-names.xls"));
    book.sheet("Clienti")->deleteRow(4);  // Delta, outside Totale
    const auto path = save(book, "deleted.xls");
    const std::string script =
        "import sys, xlrd\n"
        "b = xlrd.open_workbook(sys.argv[1])\n"
        "for n in b.name_obj_list:\n"
        "    if n.name in ('Totale', 'Print_Titles'):\n"
        "        print(n.name, [r.coords[2:4] for r in n.result.value])\n";
    const auto scriptPath = dir_.path() / "areas.py";
    std::ofstream(scriptPath) << script;
    EXPECT_EQ(run(std::string(CLIVARA_PYTHON3) + " '" + scriptPath.string() + "' '" +
                  path.string() + "' 2>&1"),
              "Totale [(1, 3), (3, 6)]\nPrint_Titles [(0, 65536), (5, 7)]\n");
    // SUM(Totale): every customer's ID but Delta's, once Gnumeric recalculates.
    EXPECT_EQ(at(recalculated(path, dir_.path() / "csv").at("Riepilogo"), 5, 1), "180");
}

// After the sort each formula sits in its customer's new row; relative references follow the
// row as a copy would, absolute ones and references from elsewhere stay. The array formula over
// two customers that the sort parts is the one formula left as values.
TEST_F(FormulaFixtures, SortedRowsTakeTheirFormulas) {
    for (const char* name : {"lo-formula-rows.xls", "gnumeric-formula-rows.xls"}) {
        SCOPED_TRACE(name);
        const bool libreOffice = std::string(name).starts_with("lo-");
        Workbook book = Workbook::open(fixture(name));
        Sheet& clienti = *book.sheet("Clienti");
        sortCustomerRows(clienti);
        const auto& frozen = clienti.data().frozenFormulas;
        ASSERT_EQ(frozen.size(), libreOffice ? 2u : 0u);
        for (const FrozenFormula& formula : frozen) {
            EXPECT_EQ(formula.column, 6);
            EXPECT_FALSE(formula.isVolatile);
        }
        const auto path = save(book, name);
        const auto sheets = recalculated(path, dir_.path() / (std::string(name) + "-csv"));
        const Grid& grid = sheets.at("Clienti");
        expectRows(grid, {{"Alfa", "20", "40", "210", "40"},
                          {"Beta", "40", "80", "210", "30"},
                          {"Delta", "30", "60", "210", "50"},
                          {"Epsilon", "50", "100", "210", "10"},
                          {"Gamma", "10", "20", "210", "60"},
                          {"Zeta", "60", "120", "210", "0"}});
        if (libreOffice) {
            EXPECT_EQ(at(grid, 2, 6), "200");
            EXPECT_EQ(at(grid, 6, 6), "100");
        }
        const Grid& summary = sheets.at("Riepilogo");
        EXPECT_EQ(at(summary, 1, 1), "40");
        EXPECT_EQ(at(summary, 3, 1), "50");
    }
}

// ---- differential check ----------------------------------------------------------------------

// A formula of the random sheet: a reference to one row, or the sum over a run of rows, of the
// value column; written on the customer sheet itself or, as a 3-D reference, on the other one.
struct ModelFormula {
    bool area = false;
    bool onOtherSheet = false;
    std::vector<int> ids;  // the rows (by identity) it covers
    int owner = -1;        // its own row's identity (on the customer sheet)
    int otherRow = 0;      // its row on the other sheet (0-based)
    std::size_t cell = 0;  // index in the sheet's formula list
};

constexpr int kFirstRow = 20;  // 0-based rows of the random part
constexpr int kRows = 60;
constexpr std::uint16_t kValueColumn = 9, kFormulaColumn = 10;

std::vector<std::uint8_t> formulaRecord(const std::vector<std::uint8_t>& tokens) {
    std::vector<std::uint8_t> body(20, 0);
    patchU16(body, 4, 15);
    putU16(body, static_cast<std::uint16_t>(tokens.size()));
    body.insert(body.end(), tokens.begin(), tokens.end());
    std::vector<std::uint8_t> record;
    putRecord(record, rec::kFormula, body);
    return record;
}

std::vector<std::uint8_t> referenceTokens(bool area, bool threeD, int first, int last) {
    std::vector<std::uint8_t> tokens;
    const std::uint8_t base = threeD ? (area ? 0x3B : 0x3A) : (area ? 0x25 : 0x24);
    tokens.push_back(base);
    if (threeD) putU16(tokens, 0);  // EXTERNSHEET entry 0: the customer sheet
    putU16(tokens, static_cast<std::uint16_t>(first));
    if (area) putU16(tokens, static_cast<std::uint16_t>(last));
    putU16(tokens, 0xC000 | kValueColumn);
    if (area) putU16(tokens, 0xC000 | kValueColumn);
    if (area) {
        tokens.push_back(0x41);  // SUM
        putU16(tokens, 4);
    }
    return tokens;
}

void addFormula(SheetData& sheet, int row0, std::uint16_t column,
                const std::vector<std::uint8_t>& tokens, std::size_t& index) {
    Formula formula;
    formula.records = formulaRecord(tokens);
    index = sheet.formulas.size();
    sheet.formulas.push_back(formula);
    Cell cell;
    cell.column = column;
    cell.xf = 15;
    cell.type = CellType::Formula;
    cell.payload = index;
    auto& cells = sheet.rowForWrite(row0).cells;
    cells.push_back(cell);
    sheet.changed = true;
}

// Our own reading of a formula: "#REF!" or the referenced value / the sum.
std::string evaluate(const Sheet& values, const SheetData& holder, const Cell& cell) {
    if (cell.type != CellType::Formula) return "not a formula";
    const auto& records = holder.formulas[cell.payload].records;
    const std::size_t cce = readU16(records, 24);
    const auto walk = walkFormulaTokens(std::span<const std::uint8_t>(records).subspan(26, cce));
    if (!walk || walk->tokens.empty()) return "unreadable";
    const auto tokens = std::span<const std::uint8_t>(records).subspan(26, cce);
    const FormulaToken& first = walk->tokens.front();
    const std::size_t rows =
        first.at + (first.kind == TokenKind::Ref3d || first.kind == TokenKind::Area3d ? 3 : 1);
    switch (first.kind) {
        case TokenKind::Ref:
        case TokenKind::Ref3d:
            return std::to_string(
                static_cast<long>(values.number(readU16(tokens, rows) + 1, kValueColumn + 1)));
        case TokenKind::Area:
        case TokenKind::Area3d: {
            long sum = 0;
            for (int r = readU16(tokens, rows); r <= readU16(tokens, rows + 2); ++r) {
                sum += static_cast<long>(values.number(r + 1, kValueColumn + 1));
            }
            return std::to_string(sum);
        }
        case TokenKind::RefError:
        case TokenKind::AreaError:
        case TokenKind::RefError3d:
        case TokenKind::AreaError3d:
            return "#REF!";
        default:
            return "unexpected token";
    }
}

TEST(FormulaDifferential, ReferencesAndSumsFollowRandomDeletions) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        auto pick = [&](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        Workbook book = Workbook::open(fixture("lo-formula-rows.xls"));
        Sheet& clienti = *book.sheet("Clienti");
        Sheet& other = *book.sheet("Riepilogo");
        std::vector<int> rowIds;  // identity of the row at kFirstRow + i
        std::map<int, long> valueOf;
        for (int i = 0; i < kRows; ++i) {
            rowIds.push_back(i);
            valueOf[i] = pick(1, 999);
            clienti.setText(kFirstRow + i + 1, kValueColumn + 1, std::to_string(valueOf[i]));
        }
        std::vector<ModelFormula> formulas;
        for (int f = 0; f < 40; ++f) {
            ModelFormula formula;
            formula.area = pick(0, 1) == 1;
            formula.onOtherSheet = pick(0, 3) == 0;
            int first = pick(0, kRows - 1), last = first;
            if (formula.area) last = std::min(kRows - 1, first + pick(0, 8));
            for (int i = first; i <= last; ++i) formula.ids.push_back(i);
            const auto tokens = referenceTokens(formula.area, formula.onOtherSheet,
                                                kFirstRow + first, kFirstRow + last);
            if (formula.onOtherSheet) {
                formula.otherRow = 30 + f;
                addFormula(other.data(), formula.otherRow, 2, tokens, formula.cell);
            } else {
                formula.owner = pick(0, kRows - 1);
                auto& cells = clienti.data().rowForWrite(kFirstRow + formula.owner).cells;
                if (!cells.empty() && cells.back().column >= kFormulaColumn) continue;
                addFormula(clienti.data(), kFirstRow + formula.owner, kFormulaColumn, tokens,
                           formula.cell);
            }
            formulas.push_back(formula);
        }
        for (int d = 0; d < 15 && !rowIds.empty(); ++d) {
            const int position = pick(0, static_cast<int>(rowIds.size()) - 1);
            clienti.deleteRow(kFirstRow + position + 1);
            const int gone = rowIds[static_cast<std::size_t>(position)];
            rowIds.erase(rowIds.begin() + position);
            for (ModelFormula& formula : formulas) std::erase(formula.ids, gone);
        }
        const Workbook reread = Workbook::fromBytes(book.toBytes(), "random.xls");
        for (const Workbook* view : {static_cast<const Workbook*>(&book), &reread}) {
            const Sheet& values = *view->sheet("Clienti");
            const Sheet& summary = *view->sheet("Riepilogo");
            for (const ModelFormula& formula : formulas) {
                std::string expected = "#REF!";
                if (!formula.ids.empty()) {
                    long sum = 0;
                    for (int id : formula.ids) sum += valueOf[id];
                    expected = std::to_string(sum);
                }
                const Cell* cell = nullptr;
                const SheetData* holder = &summary.data();
                if (formula.onOtherSheet) {
                    cell = summary.data().find(formula.otherRow, 2);
                } else {
                    const auto owner = std::find(rowIds.begin(), rowIds.end(), formula.owner);
                    if (owner == rowIds.end()) continue;  // went with its row
                    holder = &values.data();
                    cell = values.data().find(kFirstRow + static_cast<int>(owner - rowIds.begin()),
                                              kFormulaColumn);
                }
                ASSERT_NE(cell, nullptr);
                EXPECT_EQ(evaluate(values, *holder, *cell), expected);
            }
        }
    }
}

}  // namespace
