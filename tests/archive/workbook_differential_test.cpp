// Random sequences of writes, row deletions and row reorderings applied both to a workbook and
// to a plain table; after each sequence, after writing and reading back, and in python3-xlrd's
// reading of the written file, the two must agree cell by cell.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "archive/workbook.h"
#include "workbook_test_support.h"

using clivara::archive::Sheet;
using clivara::archive::Workbook;
using namespace workbook_test;

namespace {

constexpr int kRows = 60;  // rows the sequences touch or pull up
constexpr int kColumns = 256;

using Table = std::vector<std::vector<std::string>>;  // [row - 1][column - 1]

Table tableOf(const Sheet& sheet) {
    Table table(kRows, std::vector<std::string>(kColumns));
    for (const auto& [cell, text] : cellTexts(sheet)) {
        if (cell.first <= kRows) table[cell.first - 1][cell.second - 1] = text;
    }
    return table;
}

CellTexts cellsOf(const Table& table) {
    CellTexts cells;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            if (!table[r][c].empty()) cells[{r + 1, c + 1}] = table[r][c];
        }
    }
    return cells;
}

// Texts chosen to reach every way a text may be stored: canonical whole numbers, texts that
// only look like numbers, dates valid and not, accents, other scripts, long texts.
std::string randomText(std::mt19937& random) {
    static const std::vector<std::string> pool = {"42",
                                                  "-7",
                                                  "0",
                                                  "00185",
                                                  "1655149088",
                                                  "123456789012345",
                                                  "1234567890123456",
                                                  "-0",
                                                  "+5",
                                                  "7,5",
                                                  "1e5",
                                                  " 42",
                                                  "25/12/2020",
                                                  "01/01/1900",
                                                  "29/02/2024",
                                                  "31/02/2021",
                                                  "1/1/2020",
                                                  "28/02/1900",
                                                  "Rossi Mario S.r.l.",
                                                  "àèìòù ÀÈÌ",
                                                  "Ωμέγα Σ",
                                                  "東京 😀",
                                                  "",
                                                  "",
                                                  "VERO",
                                                  "#N/D",
                                                  "  spazio ",
                                                  "riga1\nriga2",
                                                  "€ 10"};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pool.size()) + 2);
    const int choice = pick(random);
    if (choice < static_cast<int>(pool.size())) return pool[choice];
    if (choice == static_cast<int>(pool.size())) return std::string(300, 'x') + "é";
    return "Cliente " + std::to_string(random() % 1000);
}

struct Outcome {
    int sequences = 0;
    std::vector<std::pair<std::filesystem::path, Table>> written;  // for xlrd
};

void runSequences(const std::string& fixtureName, int count, int xlrdEvery, const TempDir& dir,
                  Outcome& outcome) {
    const Workbook original = Workbook::open(fixture(fixtureName));
    const Sheet& originalSheet = *original.sheet("clienti");
    const Table start = tableOf(originalSheet);
    ASSERT_EQ(originalSheet.lastUsedRow() < kRows - 15, true) << fixtureName;
    std::vector<CellTexts> otherSheets;
    for (std::size_t i = 0; i < original.sheetCount(); ++i) {
        otherSheets.push_back(cellTexts(original.sheetAt(i)));
    }

    for (int sequence = 0; sequence < count; ++sequence) {
        std::mt19937 random(static_cast<unsigned>(sequence * 7919 + fixtureName.size()));
        Workbook book = original;
        Sheet& sheet = *book.sheet("CLIENTI");
        Table table = start;
        std::string log;
        const int steps = 1 + static_cast<int>(random() % 12);
        for (int step = 0; step < steps; ++step) {
            const int operation = static_cast<int>(random() % 10);
            if (operation < 6) {
                const int row = 1 + static_cast<int>(random() % 45);
                const int column = 1 + static_cast<int>(random() % 15);
                const std::string text = randomText(random);
                sheet.setText(row, column, text);
                table[row - 1][column - 1] = text;
                log += "set(" + std::to_string(row) + "," + std::to_string(column) + ",'" + text +
                       "') ";
            } else if (operation < 8) {
                const int row = 1 + static_cast<int>(random() % 45);
                sheet.deleteRow(row);
                table.erase(table.begin() + (row - 1));
                table.emplace_back(kColumns);
                log += "delete(" + std::to_string(row) + ") ";
            } else {
                const int first = 1 + static_cast<int>(random() % 25);
                const int rows = 1 + static_cast<int>(random() % 15);
                const int firstColumn = operation == 8 ? 1 : 1 + static_cast<int>(random() % 14);
                const int lastColumn =
                    operation == 8 ? 13 : firstColumn + static_cast<int>(random() % 3);
                std::vector<int> order(rows);
                std::iota(order.begin(), order.end(), 0);
                std::shuffle(order.begin(), order.end(), random);
                sheet.permuteRows(first, firstColumn, lastColumn, order);
                const Table before = table;
                for (int i = 0; i < rows; ++i) {
                    for (int c = firstColumn; c <= lastColumn; ++c) {
                        table[first - 1 + i][c - 1] = before[first - 1 + order[i]][c - 1];
                    }
                }
                log += "permute(" + std::to_string(first) + "," + std::to_string(rows) + ") ";
            }
        }
        const CellTexts expected = cellsOf(table);
        ASSERT_EQ(cellTexts(sheet), expected) << fixtureName << ": " << log;

        const Workbook reread = Workbook::fromBytes(book.toBytes(), fixtureName);
        ASSERT_EQ(reread.sheetCount(), original.sheetCount());
        for (std::size_t i = 0; i < reread.sheetCount(); ++i) {
            const Sheet& other = reread.sheetAt(i);
            ASSERT_EQ(other.name(), original.sheetAt(i).name());
            if (&original.sheetAt(i) == &originalSheet) {
                ASSERT_EQ(cellTexts(other), expected) << fixtureName << " reread: " << log;
            } else {
                ASSERT_EQ(cellTexts(other), otherSheets[i]) << fixtureName << " other sheet";
            }
        }
        // The copy taken before the sequence is untouched by it.
        ASSERT_EQ(cellTexts(originalSheet), cellsOf(start));

        if (sequence % xlrdEvery == 0) {
            const auto path = dir.path() / (fixtureName + "-" + std::to_string(sequence) + ".xls");
            book.save(path);
            outcome.written.emplace_back(path, table);
        }
        ++outcome.sequences;
    }
}

TEST(WorkbookDifferential, RandomEditsAgreeWithAPlainTableAndWithXlrd) {
    TempDir dir;
    Outcome outcome;
    for (const char* name : {"lo-clienti.xls", "gnumeric-clienti.xls", "xlwt-clienti.xls"}) {
        runSequences(name, 800, 40, dir, outcome);
        if (HasFatalFailure()) return;
    }
    EXPECT_GE(outcome.sequences, 2400);

    std::vector<std::filesystem::path> files;
    for (const auto& [path, table] : outcome.written) files.push_back(path);
    XlrdReading reading;
    std::string error;
    ASSERT_TRUE(readWithXlrd(files, reading, error)) << error;
    for (const auto& [path, table] : outcome.written) {
        const auto& sheets = reading[path.string()];
        auto clienti = std::find_if(sheets.begin(), sheets.end(), [](const auto& entry) {
            std::string lower = entry.first;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            return lower == "clienti";
        });
        ASSERT_NE(clienti, sheets.end()) << path;
        EXPECT_EQ(clienti->second, cellsOf(table)) << path;
    }
}

}  // namespace
