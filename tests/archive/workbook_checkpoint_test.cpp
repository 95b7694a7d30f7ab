#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using clivara::archive::Workbook;

namespace {

// A change that fails half-way is undone through a checkpoint: the workbook must come back
// byte for byte, new strings and all, and stay usable afterwards.
TEST(WorkbookCheckpoint, RollbackRestoresEveryCellAndTheStringTable) {
    for (const char* name : {"lo-clienti.xls", "xlwt-many-strings.xls", "gnumeric-unicode.xls"}) {
        Workbook book = Workbook::open(workbook_test::fixture(name));
        auto& first = book.sheetAt(0);
        first.setText(2, 1, "prima del punto di ripristino");
        const std::vector<std::uint8_t> before = book.toBytes();

        Workbook::Checkpoint checkpoint = book.checkpoint();
        first.setText(2, 1, "una stringa nuova");
        first.setText(40, 3, "un'altra, mai vista");
        first.setText(3, 2, "12345");
        first.deleteRow(2);
        book.rollback(std::move(checkpoint));

        EXPECT_EQ(book.toBytes(), before) << name;
        EXPECT_EQ(book.sheetAt(0).text(2, 1), "prima del punto di ripristino") << name;
        // The table, cut back, still takes and finds strings.
        book.sheetAt(0).setText(5, 5, "una stringa nuova");
        EXPECT_EQ(book.sheetAt(0).text(5, 5), "una stringa nuova") << name;
        const Workbook reread = Workbook::fromBytes(book.toBytes(), name);
        EXPECT_EQ(reread.sheetAt(0).text(5, 5), "una stringa nuova") << name;
        EXPECT_EQ(reread.sheetAt(0).text(2, 1), "prima del punto di ripristino") << name;
    }
}

// A copy made after the checkpoint shares the string table; going back must not disturb it.
TEST(WorkbookCheckpoint, RollbackLeavesCopiesSharingTheTableIntact) {
    Workbook book = clivara::archive::emptyArchive();
    Workbook::Checkpoint checkpoint = book.checkpoint();
    book.sheetAt(0).setText(2, 1, "Rossi S.r.l.");
    const Workbook copy = book;
    book.rollback(std::move(checkpoint));
    EXPECT_EQ(copy.sheetAt(0).text(2, 1), "Rossi S.r.l.");
    EXPECT_TRUE(book.sheetAt(0).isEmpty(2, 1));
}

}  // namespace
