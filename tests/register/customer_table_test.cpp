// The customers as the "Rubrica" table and its exports see them: which rows are customers,
// the order by a column, the marks, and the CSV and vCard texts written from the cells.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_error.h"
#include "archive/book/new_archive.h"
#include "archive/sort/sort_archive.h"
#include "register/customer_csv.h"
#include "register/customer_export.h"
#include "register/customer_marks.h"
#include "register/customer_table_order.h"
#include "register/customer_vcard.h"

namespace {

using clivara::archive::Sheet;
using clivara::archive::Workbook;
namespace customers = clivara::customers;

// A text cell whatever the text looks like: over a text, setText keeps a text.
void putText(Sheet& sheet, int row, int column, const std::string& text) {
    sheet.setText(row, column, "x");
    sheet.setText(row, column, text);
}

std::vector<std::string> column(const Sheet& sheet, const std::vector<int>& rows, int field) {
    std::vector<std::string> texts;
    for (const int row : rows) texts.push_back(sheet.text(row, field));
    return texts;
}

TEST(CustomerTable, RowsLeaveOutNamelessOnes) {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    EXPECT_TRUE(customers::customerRows(clienti).empty());
    clienti.setText(2, 1, "Rossi");
    clienti.setText(3, 2, "7");  // an ID without a name is no customer
    clienti.setText(4, 1, "Bianchi");
    EXPECT_EQ(customers::customerRows(clienti), (std::vector<int>{2, 4}));
}

TEST(CustomerTable, OrderByNameIdAndDate) {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    struct Line {
        const char* name;
        const char* id;  // '#' in front: stored as text
        const char* date;
    };
    const std::vector<Line> lines = {
        {"zeta srl", "10", "#03/01/2009"},
        {"Àlfa", "#9", "15/06/2008"},
        {"alfa", "100", ""},
        {"Bianchi", "#2a", "#1/2/2008 10:30"},
        {"bianchi", "", "02/01/2009"},
        {"Éra", "#11", "#non so"},
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int row = static_cast<int>(i) + 2;
        clienti.setText(row, 1, lines[i].name);
        for (const auto& [field, text] : {std::pair{2, lines[i].id}, std::pair{3, lines[i].date}}) {
            if (text[0] == '#') {
                putText(clienti, row, field, text + 1);
            } else if (text[0] != '\0') {
                clienti.setText(row, field, text);
            }
        }
    }
    ASSERT_EQ(clienti.kind(3, 2), clivara::archive::CellKind::Text);
    ASSERT_EQ(clienti.kind(2, 2), clivara::archive::CellKind::Number);
    const std::vector<int> rows = customers::customerRows(clienti);
    struct Case {
        int field;
        bool descending;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        // Italian collation, letter case and accents second; equal keys keep sheet order.
        {1, false, {"alfa", "Àlfa", "Bianchi", "bianchi", "Éra", "zeta srl"}},
        // Numbers by value, texts reading as numbers among them; other texts after; empty last.
        {2, false, {"9", "10", "11", "100", "2a", ""}},
        {2, true, {"2a", "100", "11", "10", "9", ""}},
        // Dates by date, whether stored as dates or as texts.
        {3, false, {"1/2/2008 10:30", "15/06/2008", "02/01/2009", "03/01/2009", "non so", ""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            column(clienti, customers::orderCustomerRows(clienti, rows, c.field, c.descending),
                   c.field),
            c.expected)
            << "field " << c.field << (c.descending ? " descending" : "");
    }
    const std::vector<int> sheetOrder = customers::orderCustomerRows(clienti, rows, 1, false);
    EXPECT_EQ(customers::customerRows(clienti), rows) << "the sheet is not reordered";
    EXPECT_NE(sheetOrder, rows);
}

// IDs and dates of many customers with many equal values, written as numbers, as texts and as
// texts of other forms: the order is always the archive's order made stable by value, whether
// the values alone decide it or the collator must break their ties.
TEST(CustomerTable, OrderByValueAgreesWithTheArchivesOrderByValue) {
    std::mt19937 random(65535);
    struct Round {
        int field;
        std::vector<int> forms;  // of the cells written, see below
    };
    const std::vector<Round> rounds = {
        {2, {0}},    {2, {1, 5}}, {2, {0, 1, 2, 3}}, {2, {0, 1, 2, 3, 4, 5}},
        {3, {1, 5}}, {3, {1, 2}}, {3, {1, 2, 4, 5}}};
    for (const Round& round : rounds) {
        Workbook book = clivara::archive::emptyArchive();
        Sheet& clienti = *book.sheet("Clienti");
        std::vector<std::optional<double>> keys(1502);
        for (int row = 2; row < 1502; ++row) {
            clienti.setText(row, 1, "Cliente " + std::to_string(row));
            const int value = std::uniform_int_distribution<int>(1, 200)(random);
            const int form = round.forms[std::uniform_int_distribution<std::size_t>(
                0, round.forms.size() - 1)(random)];
            const int day = value % 28 + 1;
            const int month = value % 12 + 1;
            const std::string two = (day < 10 ? "0" : "") + std::to_string(day) + "/" +
                                    (month < 10 ? "0" : "") + std::to_string(month);
            const bool id = round.field == 2;
            // 0 a number, 1 a text, 2 and 3 texts of the same value in other forms, 4 no
            // value (a text of another kind), 5 an empty cell.
            std::string text;
            switch (form) {
                case 0:
                    clienti.setText(row, 2, std::to_string(value));
                    break;
                case 1:
                    text = id ? std::to_string(value) : two + "/2008";
                    break;
                case 2:
                    text = id ? "0" + std::to_string(value) : two + "/2008 00:00";
                    break;
                case 3:
                    text = std::to_string(value) + ",0";
                    break;
                case 4:
                    text = id ? std::to_string(value) + "a" : "il " + two;
                    break;
                default:
                    break;
            }
            if (!text.empty()) putText(clienti, row, round.field, text);
            if (form < 4) {
                keys[static_cast<std::size_t>(row)] =
                    id ? value : 2008 * 10000.0 + month * 100 + day;
            }
        }
        const std::vector<int> rows = customers::customerRows(clienti);
        std::vector<int> expected;
        for (const int offset : clivara::archive::ascendingRowOrder(clienti, 2, 1501, round.field))
            expected.push_back(2 + offset);
        const auto filled = static_cast<std::ptrdiff_t>(std::count_if(
            rows.begin(), rows.end(), [&](int row) { return !clienti.isEmpty(row, round.field); }));
        std::stable_sort(expected.begin(), expected.begin() + filled, [&](int a, int b) {
            const auto& ka = keys[static_cast<std::size_t>(a)];
            const auto& kb = keys[static_cast<std::size_t>(b)];
            if (ka.has_value() != kb.has_value()) return ka.has_value();
            return ka.has_value() && *ka < *kb;
        });
        EXPECT_EQ(customers::orderCustomerRows(clienti, rows, round.field, false), expected)
            << "field " << round.field << ", forms " << round.forms.size();
        std::reverse(expected.begin(), expected.begin() + filled);
        EXPECT_EQ(customers::orderCustomerRows(clienti, rows, round.field, true), expected);
    }
}

TEST(CustomerTable, MarksAsTheWindowShowsThem) {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    clienti.setText(2, 1, "Sana");
    clienti.setText(2, 10, "RSSMRA80A01H501U");
    clienti.setText(3, 1, "Da vedere");
    clienti.setText(3, 10, "RSSMRA80A01H501X");  // wrong check letter
    clienti.setText(4, 1, "Estera");
    clienti.setText(4, 5, "1234");  // a foreign postcode where the province is not Italian
    clienti.setText(4, 7, "EE");
    clienti.setText(5, 1, "Cap corto");
    putText(clienti, 5, 5, "0018");
    clienti.setText(5, 7, "RM");
    EXPECT_FALSE(customers::customerHasMarks(clienti, 2));
    EXPECT_TRUE(customers::customerHasMarks(clienti, 3));
    EXPECT_FALSE(customers::customerFieldMark(clienti, 3, 10).empty());
    EXPECT_TRUE(customers::customerFieldMark(clienti, 3, 1).empty());  // a field without check
    EXPECT_FALSE(customers::customerHasMarks(clienti, 4));
    EXPECT_TRUE(customers::customerHasMarks(clienti, 5));
}

Workbook exportBook() {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    const std::vector<std::string> first = {"Caffè \"Roma\"; bar",
                                            "3",
                                            "15/06/2008",
                                            "Via Po, 1",
                                            "00184",
                                            "Roma",
                                            "RM",
                                            "06 1234",
                                            "333 1",
                                            "RSSMRA80A01H501U",
                                            "01234567890",
                                            "riga 1\r\nriga 2",
                                            ""};
    for (int field = 1; field <= 13; ++field) {
        if (!first[field - 1].empty()) clienti.setText(2, field, first[field - 1]);
    }
    clienti.setText(3, 1, "Bianchi");
    return book;
}

TEST(CustomerCsv, BomSemicolonsCrLfQuotedTextsBareNumbers) {
    Workbook book = exportBook();
    Sheet& clienti = *book.sheet("Clienti");
    clienti.setText(1, 13, "");  // a heading left empty takes the field's caption
    const std::vector<int> rows = {3, 2};
    const std::string csv = customers::customersAsCsv(clienti, rows);
    std::string headings;
    for (int field = 1; field <= 13; ++field) {
        const std::string heading = field == 13 ? std::string("Note") : clienti.text(1, field);
        headings += (field > 1 ? ";\"" : "\"") + heading + "\"";
    }
    EXPECT_EQ(csv, "\xEF\xBB\xBF" + headings + "\r\n" + "\"Bianchi\";;;;;;;;;;;;\r\n" +
                       "\"Caffè \"\"Roma\"\"; bar\";3;15/06/2008;\"Via Po, 1\";\"00184\";"
                       "\"Roma\";\"RM\";\"06 1234\";\"333 1\";\"RSSMRA80A01H501U\";"
                       "\"01234567890\";\"riga 1\r\nriga 2\";\r\n");
    EXPECT_EQ(customers::customersAsCsv(clienti, {}), "\xEF\xBB\xBF" + headings + "\r\n");
}

TEST(CustomerVcard, PropertiesEscapesAndFolding) {
    Workbook book = exportBook();
    Sheet& clienti = *book.sheet("Clienti");
    const std::vector<int> rows = {2, 3};
    EXPECT_EQ(customers::customersAsVcards(clienti, rows),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:3\r\n"
              "FN:Caffè \"Roma\"\\; bar\r\nN:;;;;\r\nORG:Caffè \"Roma\"\\; bar\r\n"
              "ADR;TYPE=WORK:;;Via Po\\, 1;Roma;RM;00184;\r\n"
              "TEL;TYPE=WORK,VOICE:06 1234\r\nTEL;TYPE=CELL:333 1\r\n"
              "NOTE:Codice Fiscale: RSSMRA80A01H501U\\nPartita IVA: 01234567890\\nriga 1\\nri\r\n"
              " ga 2\r\nEND:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bianchi\r\nN:;;;;\r\nORG:Bianchi\r\n"
              "END:VCARD\r\n");

    // A long name is folded at 75 bytes, never inside a character.
    const std::string name = std::string(70, 'a') + "èèèèèèèèèè" + std::string(80, 'b');
    clienti.setText(3, 1, name);
    const std::string cards = customers::customersAsVcards(clienti, std::vector<int>{3});
    std::string unfolded;
    std::size_t start = 0;
    while (start < cards.size()) {
        const std::size_t end = cards.find("\r\n", start);
        const std::string line = cards.substr(start, end - start);
        EXPECT_LE(line.size(), 75u) << line;
        EXPECT_NE(static_cast<unsigned char>(line.back()) & 0xC0, 0xC0u) << "cut in a character";
        unfolded += line[0] == ' ' ? line.substr(1) : (unfolded.empty() ? "" : "\n") + line;
        start = end + 2;
    }
    EXPECT_NE(unfolded.find("\nFN:" + name + "\n"), std::string::npos) << unfolded;
}

TEST(CustomerExport, FormatByNameAndNeverOverTheArchive) {
    using customers::ExportFormat;
    EXPECT_EQ(customers::exportFormatOf("a/Rubrica.CSV"), ExportFormat::Csv);
    EXPECT_EQ(customers::exportFormatOf("r.vcf"), ExportFormat::Vcard);
    EXPECT_EQ(customers::exportFormatOf("r.VCard"), ExportFormat::Vcard);
    EXPECT_EQ(customers::exportFormatOf("r.xls"), std::nullopt);
    EXPECT_EQ(customers::exportFormatOf("csv"), std::nullopt);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("clivara-export-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const Workbook book = exportBook();
    const std::filesystem::path archive = folder / "Archivio.xls";
    book.save(archive);
    const auto before = std::filesystem::file_size(archive);
    std::filesystem::create_symlink(archive, folder / "same.csv");
    const std::vector<int> rows = {2};
    EXPECT_THROW(customers::exportCustomers(*book.sheet("Clienti"), rows, ExportFormat::Csv,
                                            folder / "same.csv", archive),
                 clivara::archive::ArchiveError);
    EXPECT_EQ(std::filesystem::file_size(archive), before);
    customers::exportCustomers(*book.sheet("Clienti"), rows, ExportFormat::Vcard,
                               folder / "out.vcf", archive);
    std::ifstream written(folder / "out.vcf", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(written)), {});
    EXPECT_EQ(text, customers::customersAsVcards(*book.sheet("Clienti"), rows));
    std::filesystem::remove_all(folder);
}

}  // namespace
