// Every good fixture, edited the way the program edits the customer sheet (new customers with
// numbers, dates and long texts, rows deleted at the top and in the middle, the sort), then
// saved: this layer, python3-xlrd and Gnumeric's ssconvert must all read the saved file alike,
// and ssconvert must not complain of anything it does not already complain of in the original.
//
// With CLIVARA_EDITED_DIR set, the saved files are kept in that folder (tests/manual/ opens
// them in LibreOffice).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

const std::vector<std::string> kGoodFixtures = {
    "crafted-rewrapped.xls",  "gnumeric-clienti.xls",
    "gnumeric-dates1904.xls", "gnumeric-dual.xls",
    "gnumeric-formulas.xls",  "gnumeric-many.xls",
    "gnumeric-unicode.xls",   "gnumeric-text-counter.xls",
    "lo-clienti.xls",         "lo-dates1904.xls",
    "lo-features.xls",        "lo-no-codici.xls",
    "lo-unicode.xls",         "lo-values.xls",
    "xlwt-clienti.xls",       "xlwt-dates1900.xls",
    "xlwt-dates1904.xls",     "xlwt-many-strings.xls",
    "xlwt-numbers.xls",       "lo-anchored.xls",
    "crafted-anchored.xls",   "lo-pivot.xls"};

std::string run(const std::string& command, bool& ok) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        ok = false;
        return "cannot run";
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    ok = pclose(pipe) == 0;
    return output;
}

Sheet& customerSheet(Workbook& book) {
    Sheet* clienti = book.sheet("Clienti");
    return clienti != nullptr ? *clienti : book.sheetAt(0);
}

// Texts long enough to need more than one record: over 255 characters (no LABEL holds it) and
// over 8,224 bytes, once in Latin-1 and once in UTF-16 (the euro sign).
std::string longText(std::size_t length, const std::string& piece) {
    std::string text;
    while (text.size() < length) text += piece;
    return text;
}

void applyEdits(Sheet& sheet) {
    // In lo-features the first deletion falls inside the merged L8:L10 and the second moves
    // the link in D5, the note in A7 and both merged ranges up one row.
    if (const int last = sheet.lastUsedRow(); last > 3) sheet.deleteRow(last - 1);
    sheet.deleteRow(2);
    // New customers right below the run of names in column A, so that the sort takes them in.
    const int added = std::min(sheet.endDown(1, 1), sheet.lastUsedRow()) + 1;
    sheet.setText(added, 1, "Zanetti & Figli S.n.c.");
    sheet.setText(added, 2, "4711");
    sheet.setText(added, 3, "15/03/2021");
    sheet.setText(added, 4, "00185");
    sheet.setText(added, 5, longText(300, "Via dei Mille, "));
    sheet.setText(added, 6, longText(9000, "caffè "));
    sheet.setText(added, 7, longText(8300, "€ 12,50; "));
    sheet.setText(added, 8, "-12");
    sheet.setText(added + 1, 1, "abete rosso");
    sheet.setText(added + 1, 3, "29/02/2024");
    // A renamed customer that the sort takes from the top to the bottom of the range.
    sheet.setText(2, 1, "Zuccheri Srl");
    sheet.setText(2, 12, "nota su\ndue righe");
    sortCustomerRows(sheet);
}

// A CSV as ssconvert writes it: fields separated by commas, quoted when they hold a comma,
// a quote or a line break.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !rows.back().empty()) {
        rows.back().push_back(field);
    } else {
        rows.pop_back();
    }
    return rows;
}

// ssconvert's complaints about a file, one per line, with the file's own name taken out.
std::set<std::string> ssconvertComplaints(const std::filesystem::path& file,
                                          const std::filesystem::path& csvPattern, bool& ok) {
    std::string output =
        run("ssconvert -S '" + file.string() + "' '" + csvPattern.string() + "'", ok);
    std::set<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        for (std::size_t at; (at = line.find(file.string())) != std::string::npos;) {
            line.erase(at, file.string().size());
        }
        if (!line.empty()) lines.insert(line);
        start = end + 1;
    }
    return lines;
}

TEST(EditedFixtures, EditedFilesReadTheSameInXlrdAndSsconvert) {
    TempDir scratch;
    const char* keep = std::getenv("CLIVARA_EDITED_DIR");
    const std::filesystem::path dir = keep != nullptr ? keep : scratch.path();
    std::filesystem::create_directories(dir);

    for (const std::string& name : kGoodFixtures) {
        SCOPED_TRACE(name);
        Workbook book = Workbook::open(fixture(name));
        Sheet& sheet = customerSheet(book);
        applyEdits(sheet);
        const auto file = dir / name;
        book.save(file);

        std::map<std::string, CellTexts> cells;
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            cells[book.sheetAt(i).name()] = cellTexts(book.sheetAt(i));
        }
        const Workbook reread = Workbook::open(file);
        for (std::size_t i = 0; i < reread.sheetCount(); ++i) {
            EXPECT_EQ(cellTexts(reread.sheetAt(i)), cells[reread.sheetAt(i).name()])
                << reread.sheetAt(i).name();
        }

        // ssconvert: no new complaint, and the edited sheet's column A where we hold a text.
        bool ok = true;
        const auto before = ssconvertComplaints(fixture(name), scratch.path() / "orig_%n.csv", ok);
        const auto after = ssconvertComplaints(file, scratch.path() / "edit_%n.csv", ok);
        ASSERT_TRUE(ok);
        for (const std::string& complaint : after) {
            EXPECT_TRUE(before.count(complaint)) << "ssconvert: " << complaint;
        }
        std::size_t index = 0;
        while (&book.sheetAt(index) != &sheet) ++index;
        const auto csvBytes =
            readBytes(scratch.path() / ("edit_" + std::to_string(index) + ".csv"));
        const auto csv = parseCsv(std::string(csvBytes.begin(), csvBytes.end()));
        for (int row = 1; row <= sheet.lastUsedRow(); ++row) {
            if (sheet.kind(row, 1) != CellKind::Text) continue;
            const std::size_t r = static_cast<std::size_t>(row - 1);
            ASSERT_LT(r, csv.size()) << "row " << row;
            ASSERT_FALSE(csv[r].empty()) << "row " << row;
            EXPECT_EQ(csv[r][0], sheet.text(row, 1)) << "row " << row;
        }

        // python3-xlrd, converting by the program's rules on its own, reads the customer
        // sheet and the counter as `clivara-archivio dump` does.
        const auto ours = scratch.path() / "ours.json", theirs = scratch.path() / "xlrd.json";
        const std::string python = std::string(CLIVARA_PYTHON3) + " " + CLIVARA_TESTS_DIR;
        run(std::string(CLIVARA_TOOL) + " dump '" + file.string() + "' > " + ours.string(), ok);
        ASSERT_TRUE(ok);
        const std::string xlrd = run(
            python + "/crosscheck/xlrd_dump.py '" + file.string() + "' > " + theirs.string(), ok);
        ASSERT_TRUE(ok) << xlrd;
        const std::string differences = run(python + "/crosscheck/compare_dumps.py clivara " +
                                                ours.string() + " xlrd " + theirs.string(),
                                            ok);
        EXPECT_TRUE(ok) << differences;
    }
}

}  // namespace
