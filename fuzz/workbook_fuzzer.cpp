// Feeds arbitrary bytes to the workbook reader. Whatever it accepts is exercised lightly and
// written back, and what it writes must open again: a workbook we produce is never refused.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "archive/archive_error.h"
#include "archive/workbook.h"

namespace {

using clivara::archive::ArchiveError;
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

// The edits the program makes on the customer sheet: write a row, swap two rows (as the sort
// does), delete a row. The written row must be found where it went after a save.
void edit(const Workbook& book) {
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    try {
        const Workbook book = Workbook::fromBytes(bytes, "fuzz.xls");
        exercise(book);
        exercise(reopen(book.toBytes()));
        edit(book);
    } catch (const ArchiveError&) {
    }
    return 0;
}
