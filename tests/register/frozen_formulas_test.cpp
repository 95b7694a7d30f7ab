// The warning about formulas calling TODAY, NOW and the like that a deletion or a sort had to
// replace by their values.
#include "register/frozen_formulas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"

namespace {

using namespace clivara::archive;
using clivara::customers::cellName;
using clivara::customers::markFrozenFormulas;
using clivara::customers::volatileFreezeWarning;

using Bytes = std::vector<std::uint8_t>;

// A reference to a row of column A, relative in row and column.
Bytes reference(int row0) {
    Bytes tokens{0x24};
    putU16(tokens, static_cast<std::uint16_t>(row0));
    putU16(tokens, 0xC000);
    return tokens;
}

// A memory token over the reference that follows it: a formula whose references cannot follow
// moved rows, as its cache of them would go stale.
Bytes cached(int row0) {
    Bytes tokens{0x26, 0, 0, 0, 0, 5, 0};
    const Bytes ref = reference(row0);
    tokens.insert(tokens.end(), ref.begin(), ref.end());
    return tokens;
}

const Bytes kToday{0x41, 221, 0};
const Bytes kAdd{0x03};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

void putFormula(Sheet& sheet, int row0, std::uint16_t column0, const Bytes& tokens) {
    Bytes body(20, 0);
    patchU16(body, 4, 15);
    putU16(body, static_cast<std::uint16_t>(tokens.size()));
    body.insert(body.end(), tokens.begin(), tokens.end());
    SheetData& data = sheet.data();
    Formula formula;
    putRecord(formula.records, rec::kFormula, body);
    Cell cell;
    cell.column = column0;
    cell.xf = 15;
    cell.type = CellType::Formula;
    cell.payload = data.formulas.size();
    data.formulas.push_back(formula);
    data.rowForWrite(row0).cells.push_back(cell);
    data.changed = true;
}

Workbook customers(int count) {
    Workbook book = emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    for (int i = 0; i < count; ++i) {
        clienti.setText(2 + i, 1, "Cliente " + std::string(1, static_cast<char>('Z' - i)));
        clienti.setText(2 + i, 2, std::to_string(i + 1));
    }
    return book;
}

TEST(FrozenFormulas, CellNamesAsTheSpreadsheetShowsThem) {
    EXPECT_EQ(cellName(1, 1), "A1");
    EXPECT_EQ(cellName(7, 16), "P7");
    EXPECT_EQ(cellName(3, 26), "Z3");
    EXPECT_EQ(cellName(3, 27), "AA3");
    EXPECT_EQ(cellName(9, 52), "AZ9");
    EXPECT_EQ(cellName(9, 53), "BA9");
    EXPECT_EQ(cellName(65536, 256), "IV65536");
}

// A deletion freezes two formulas whose cached references cannot follow: only the one calling
// TODAY is named. A formula calling TODAY whose references can follow is rewritten, not frozen.
TEST(FrozenFormulas, ADeletionNamesOnlyTheFrozenVolatileFormulas) {
    Workbook book = customers(6);
    Sheet& clienti = *book.sheet("Clienti");
    putFormula(clienti, 5, 15, join({cached(6), kToday, kAdd}));     // P6 = A7 + TODAY()
    putFormula(clienti, 6, 15, cached(6));                           // P7 = A7
    putFormula(clienti, 3, 15, join({reference(6), kToday, kAdd}));  // P4 = A7 + TODAY()

    const auto mark = markFrozenFormulas(book);
    EXPECT_EQ(volatileFreezeWarning(book, mark), "");
    clienti.deleteRow(3);
    ASSERT_EQ(clienti.data().frozenFormulas.size(), 2u);
    EXPECT_EQ(volatileFreezeWarning(book, mark),
              "Una formula che si ricalcola da sola (OGGI, ADESSO, ...) non poteva seguire le "
              "righe spostate ed è stata sostituita dal suo ultimo valore, che non si aggiornerà "
              "più (foglio «Clienti»: P5).");
    // Frozen before the mark: not told again.
    EXPECT_EQ(volatileFreezeWarning(book, markFrozenFormulas(book)), "");
    // The list follows the cells: once the row holding the frozen value goes, it is not named.
    clienti.deleteRow(5);
    EXPECT_EQ(clienti.data().frozenFormulas[0].row, 0);
    EXPECT_EQ(volatileFreezeWarning(book, mark), "");
}

// Many frozen at once, as a sort may do when the formulas lie in the customers' own columns and
// move with their rows: eight named, the rest counted.
TEST(FrozenFormulas, ManyAreNamedByTheirFirstCellsAndCounted) {
    Workbook book = customers(12);
    Sheet& clienti = *book.sheet("Clienti");
    for (int row0 = 1; row0 <= 12; ++row0) {
        putFormula(clienti, row0, 12, join({cached(row0), kToday, kAdd}));
    }
    const auto mark = markFrozenFormulas(book);
    sortCustomerRows(clienti);
    const std::string warning = volatileFreezeWarning(book, mark);
    ASSERT_EQ(clienti.data().frozenFormulas.size(), 12u) << warning;
    EXPECT_TRUE(warning.starts_with("12 formule che si ricalcolano da sole")) << warning;
    EXPECT_NE(warning.find("(foglio «Clienti»: M"), std::string::npos) << warning;
    EXPECT_TRUE(warning.ends_with(" e altre 4).")) << warning;
    // Each is named where its value stands after the sort, which reversed the customers: the
    // formula frozen first, from row 2, now stands in row 13.
    const auto& frozen = clienti.data().frozenFormulas;
    for (std::size_t i = 0; i < frozen.size(); ++i) {
        EXPECT_EQ(frozen[i].column, 13);
        EXPECT_EQ(frozen[i].row, 13 - static_cast<int>(i));
    }
}

}  // namespace
