// Feeds arbitrary bytes to the workbook reader. Whatever it accepts is exercised lightly and
// written back, and what it writes must open again: a workbook we produce is never refused.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/formulas/formula_tokens.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"

namespace {

using clivara::archive::ArchiveError;
using clivara::archive::Cell;
using clivara::archive::Sheet;
using clivara::archive::Workbook;

void touchSheet(const Sheet& sheet) {
    (void)sheet.name();
    for (int row = 1; row <= 3; ++row) {
        for (int column = 1; column <= 13; column += 4) {
            (void)sheet.text(row, column);
            (void)sheet.isEmpty(row, column);
        }
    }
    const int last = sheet.endDown(1, 1);
    if (last >= 1 && last <= Sheet::kLastRow) (void)sheet.text(last, 1);
    (void)sheet.endDown(Sheet::kLastRow, 1);
    (void)sheet.lastUsedRow();
}

void exercise(const Workbook& book) {
    for (std::size_t i = 0; i < book.sheetCount() && i < 4; ++i) touchSheet(book.sheetAt(i));
    if (const Sheet* customers = book.sheet("clienti")) touchSheet(*customers);
    if (const Sheet* codes = book.sheet("CODICI")) (void)codes->text(2, 1);
    (void)book.uses1904DateSystem();
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

Workbook reopen(const std::vector<std::uint8_t>& bytes) {
    try {
        return Workbook::fromBytes(bytes, "rewritten.xls");
    } catch (const ArchiveError& e) {
        std::fprintf(stderr, "a written workbook does not open again: %s\n", e.what());
        std::abort();
    }
}

// Every cell of two sheets reads the same.
bool sameCells(const Sheet& a, const Sheet& b) {
    const auto& rowsA = a.data().rows;
    const auto& rowsB = b.data().rows;
    const std::size_t count = std::max(rowsA.size(), rowsB.size());
    for (std::size_t r = 0; r < count && r < Sheet::kLastRow; ++r) {
        const int row = static_cast<int>(r) + 1;
        for (const auto* rows : {&rowsA, &rowsB}) {
            if (r >= rows->size()) continue;
            for (const Cell& cell : (*rows)[r].cells) {
                const int column = cell.column + 1;
                if (column > Sheet::kLastColumn) continue;
                if (a.text(row, column) != b.text(row, column)) return false;
            }
        }
    }
    return true;
}

// The edits the program makes on the customer sheet: write a row, swap two rows (as the sort
// does), delete a row. The written row must be found where it went after a save. Then texts
// over one record's length, a date, a deletion and the sort, chosen by the input's last bytes;
// after a save every sheet must read as it did before.
void edit(const Workbook& book, std::span<const std::uint8_t> bytes) {
    Workbook copy = book;
    Sheet* customers = copy.sheet("clienti");
    if (customers == nullptr) return;
    customers->setText(2, 1, "Fuzz Srl");
    customers->setText(2, 2, "42");
    const int order[] = {1, 0};
    customers->permuteRows(2, 1, 13, order);
    customers->deleteRow(4);
    const Workbook again = reopen(copy.toBytes());
    const Sheet* written = again.sheet("clienti");
    if (written == nullptr) fail("the customer sheet is gone after a save");
    if (written->text(3, 1) != "Fuzz Srl" || written->text(3, 2) != "42") {
        fail("an edited row did not survive a save");
    }

    const int pick = bytes.empty() ? 0 : bytes[bytes.size() - 1];
    const int pick2 = bytes.size() < 2 ? 0 : bytes[bytes.size() - 2];
    customers->setText(5, 3, "15/03/2021");
    customers->setText(6, 5, std::string(250 + static_cast<std::size_t>(pick) * 40, 'x'));
    customers->setText(7, 1, "Città € " + std::to_string(pick2));
    customers->deleteRow(1 + pick2 % 12);
    if (pick % 2 == 0) customers->deleteRow(Sheet::kLastRow);
    clivara::archive::sortCustomerRows(*customers);
    const Workbook sorted = reopen(copy.toBytes());
    if (sorted.sheetCount() != copy.sheetCount()) fail("a sheet is gone after a save");
    for (std::size_t i = 0; i < copy.sheetCount(); ++i) {
        if (!sameCells(sorted.sheetAt(i), copy.sheetAt(i))) {
            fail("a sheet reads differently after an edit and a save");
        }
    }
}

// The input's last bytes as formula tokens: the walk and every row rule must stay inside them,
// a refused rewrite must leave them untouched, and what a rewrite leaves must walk again.
void rewriteTokens(std::span<const std::uint8_t> bytes) {
    using namespace clivara::archive;
    const std::size_t length = std::min<std::size_t>(bytes.size(), 96);
    const std::vector<std::uint8_t> tokens(bytes.end() - static_cast<std::ptrdiff_t>(length),
                                           bytes.end());
    (void)walkFormulaTokens(tokens);
    const int pick = tokens.empty() ? 0 : tokens.front();
    for (int variant = 0; variant < 4; ++variant) {
        RowRewrite how;
        how.mode = variant % 2 == 0 ? RowRewrite::Mode::DeleteRow : RowRewrite::Mode::MoveFormula;
        how.deleted = pick * 3;
        how.delta = variant == 1 ? -pick : pick * 250;
        how.baseRow = pick;
        how.newBaseRow = pick > 0 ? pick - 1 : 0;
        how.localReferencesOnChangedSheet = variant < 2;
        how.relative3dAreOffsets = variant == 3;
        how.sheetOf = [](std::uint16_t ixti) { return static_cast<SheetTarget>(ixti % 4); };
        std::vector<std::uint8_t> work = tokens;
        const RewriteResult result = rewriteFormulaRows(work, how);
        if (work.size() != tokens.size()) fail("a rewrite changed the length of the tokens");
        if (result == RewriteResult::Unsafe && work != tokens) fail("a refused rewrite wrote");
        if (result == RewriteResult::Changed && !walkFormulaTokens(work)) {
            fail("rewritten tokens do not walk");
        }
    }
    std::vector<std::uint8_t> shared = tokens;
    if (resolveSharedTokens(shared, pick * 7, pick) && !walkFormulaTokens(shared)) {
        fail("resolved shared tokens do not walk");
    }
}

// The input's last bytes as the tokens of a formula on the customer sheet, with a token count
// that may claim more than there is: deleting and sorting rows must keep it or freeze it.
void editWithFormula(const Workbook& book, std::span<const std::uint8_t> bytes) {
    using namespace clivara::archive;
    Workbook copy = book;
    Sheet* customers = copy.sheet("clienti");
    if (customers == nullptr || bytes.empty()) return;
    const std::size_t length = std::min<std::size_t>(bytes.size(), 64);
    std::vector<std::uint8_t> body(20, 0);
    patchU16(body, 4, 15);
    putU16(body, static_cast<std::uint16_t>(length + (bytes.front() % 3 == 0 ? 9 : 0)));
    body.insert(body.end(), bytes.end() - static_cast<std::ptrdiff_t>(length), bytes.end());
    Formula formula;
    putRecord(formula.records, rec::kFormula, body);
    SheetData& sheet = customers->data();
    Cell cell;
    cell.column = 200;
    cell.xf = 15;
    cell.type = clivara::archive::CellType::Formula;
    cell.payload = sheet.formulas.size();
    sheet.formulas.push_back(formula);
    auto& cells = sheet.rowForWrite(3).cells;
    if (!cells.empty() && cells.back().column >= cell.column) return;
    cells.push_back(cell);
    sheet.changed = true;
    // Writing over a formula cell (an array formula or a data table freezes its block).
    customers->setText(4, 201, "1");
    customers->deleteRow(2 + bytes.back() % 4);
    const int order[] = {2, 0, 1};
    customers->permuteRows(2, 1, 256, order);
    // Formulas replaced by their values are listed where they stand now, or as gone (row 0).
    for (const FrozenFormula& frozen : customers->data().frozenFormulas) {
        if (frozen.row < 0 || frozen.row > Sheet::kLastRow || frozen.column < 1 ||
            frozen.column > 256) {
            fail("a formula replaced by its value is listed outside the sheet");
        }
    }
    (void)reopen(copy.toBytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    rewriteTokens(bytes);
    try {
        const Workbook book = Workbook::fromBytes(bytes, "fuzz.xls");
        exercise(book);
        exercise(reopen(book.toBytes()));
        edit(book, bytes);
        editWithFormula(book, bytes);
    } catch (const ArchiveError&) {
    }
    return 0;
}
