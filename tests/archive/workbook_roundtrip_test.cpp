// Opening and saving with no change keeps every sheet, cell text, cell format and the date
// system, as this layer and as python3-xlrd read the saved file.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/container/atomic_file.h"
#include "archive/model/workbook_data.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

const std::vector<std::string> kGoodFixtures = {
    "crafted-rewrapped.xls", "gnumeric-clienti.xls",  "gnumeric-dates1904.xls",
    "gnumeric-dual.xls",     "gnumeric-formulas.xls", "gnumeric-many.xls",
    "gnumeric-unicode.xls",  "lo-clienti.xls",        "lo-dates1904.xls",
    "lo-features.xls",       "lo-unicode.xls",        "lo-values.xls",
    "xlwt-clienti.xls",      "xlwt-dates1900.xls",    "xlwt-dates1904.xls",
    "xlwt-many-strings.xls", "xlwt-numbers.xls"};

std::vector<int> formatsOf(const Sheet& sheet) {
    std::vector<int> xfs;
    for (const Row& row : sheet.data().rows) {
        for (const Cell& cell : row.cells) xfs.push_back(cell.column * 65536 + cell.xf);
    }
    return xfs;
}

TEST(WorkbookRoundTrip, EveryFixtureSurvivesOpenAndSaveUnchanged) {
    TempDir dir;
    std::vector<std::filesystem::path> files;
    for (const std::string& name : kGoodFixtures) {
        SCOPED_TRACE(name);
        const Workbook original = Workbook::open(fixture(name));
        const auto saved = dir.path() / name;
        original.save(saved);
        files.push_back(fixture(name));
        files.push_back(saved);
        const Workbook reread = Workbook::open(saved);
        ASSERT_EQ(reread.sheetCount(), original.sheetCount());
        EXPECT_EQ(reread.uses1904DateSystem(), original.uses1904DateSystem());
        for (std::size_t i = 0; i < original.sheetCount(); ++i) {
            EXPECT_EQ(reread.sheetAt(i).name(), original.sheetAt(i).name());
            EXPECT_EQ(cellTexts(reread.sheetAt(i)), cellTexts(original.sheetAt(i)));
            EXPECT_EQ(formatsOf(reread.sheetAt(i)), formatsOf(original.sheetAt(i)));
        }
        // A second save gives the very same bytes: nothing drifts from save to save. What
        // save() writes straight into the file is what toBytes() gathers in memory.
        const auto first = readBytes(saved);
        EXPECT_EQ(original.toBytes(), first);
        EXPECT_EQ(reread.toBytes(), first);
    }
    XlrdReading reading;
    std::string error;
    ASSERT_TRUE(readWithXlrd(files, reading, error)) << error;
    for (std::size_t i = 0; i < files.size(); i += 2) {
        EXPECT_EQ(reading[files[i + 1].string()], reading[files[i].string()]) << files[i];
    }
}

TEST(WorkbookRoundTrip, ChangedSheetsKeepTheirOtherRecordsAndFormats) {
    for (const std::string& name : kGoodFixtures) {
        SCOPED_TRACE(name);
        Workbook book = Workbook::open(fixture(name));
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            Sheet& sheet = book.sheetAt(i);
            // Writing a text over an existing text makes the sheet rewrite its cell table.
            sheet.setText(1, 1, sheet.text(1, 1));
            sheet.data().changed = true;
        }
        const Workbook reread = Workbook::fromBytes(book.toBytes(), name);
        const Workbook original = Workbook::open(fixture(name));
        for (std::size_t i = 0; i < original.sheetCount(); ++i) {
            EXPECT_EQ(cellTexts(reread.sheetAt(i)), cellTexts(original.sheetAt(i)));
            EXPECT_EQ(formatsOf(reread.sheetAt(i)), formatsOf(original.sheetAt(i)));
            // Every record other than the regenerated cell table, INDEX and DIMENSIONS is kept.
            std::size_t kept = 0, keptAgain = 0;
            for (const KeptRecord& r : original.sheetAt(i).data().records)
                kept += r.size > 0 && r.source != KeptRecord::Source::Index;
            for (const KeptRecord& r : reread.sheetAt(i).data().records)
                keptAgain += r.size > 0 && r.source != KeptRecord::Source::Index;
            EXPECT_EQ(keptAgain, kept);
        }
    }
}

// The save writes straight into the temporary file: a write that fails on the way leaves the
// archive as it was, no temporary file, and the reason in Italian.
TEST(WorkbookRoundTrip, FailedSaveKeepsTheArchiveAndSaysWhy) {
    TempDir dir;
    const auto file = dir.path() / "Archivio.xls";
    Workbook book = Workbook::open(fixture("lo-clienti.xls"));
    book.save(file);
    const auto before = readBytes(file);
    book.sheetAt(0).setText(2, 1, "Rossi Mario");
    setWriteFailureForTesting(ENOSPC);
    try {
        book.save(file);
        ADD_FAILURE() << "the save did not fail";
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error.problem(), ArchiveProblem::WriteFailed);
        EXPECT_NE(std::string(error.what()).find("disco pieno"), std::string::npos) << error.what();
    }
    setWriteFailureForTesting(0);
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    book.save(file);
    EXPECT_EQ(readBytes(file), book.toBytes());
}

}  // namespace
