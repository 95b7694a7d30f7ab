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
#include "archive/sort_archive.h"
#include "archive/workbook.h"
#include "archive/workbook_data.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    try {
        const Workbook book = Workbook::fromBytes(bytes, "fuzz.xls");
        exercise(book);
        exercise(reopen(book.toBytes()));
        edit(book, bytes);
    } catch (const ArchiveError&) {
    }
    return 0;
}
