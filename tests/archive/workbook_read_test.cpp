// Reading: every cell record form, formulas and their cached results, refused inputs, sheet
// lookup, End(xlDown) and emptiness.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/container/compound_file.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Record {
    std::uint16_t id;
    Bytes body;
};

// Little builders for record bodies.
Bytes cellHead(int row, int column, int xf) {
    Bytes out;
    putU16(out, static_cast<std::uint16_t>(row));
    putU16(out, static_cast<std::uint16_t>(column));
    putU16(out, static_cast<std::uint16_t>(xf));
    return out;
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes u16s(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) putU16(out, static_cast<std::uint16_t>(v));
    return out;
}
Bytes u32(std::uint32_t value) {
    Bytes out;
    putU32(out, value);
    return out;
}
Bytes f64(double value) {
    Bytes out;
    putF64(out, value);
    return out;
}
Bytes string16(const std::string& text) {
    Bytes out;
    writeUnicodeString16(out, text);
    return out;
}

// A workbook stream: globals with 16 XFs (the last a general cell XF) plus an XF showing
// dd/mm/yyyy (16), optional SST strings, then one worksheet per entry.
struct StreamLayout {
    std::vector<std::string> strings;
    std::vector<Record> extraGlobals;
    std::vector<std::pair<std::string, std::vector<Record>>> sheets;
    std::uint16_t version = 0x0600;
};

Bytes buildStream(const StreamLayout& layout) {
    Bytes out;
    auto put = [&](std::uint16_t id, const Bytes& body) { putRecord(out, id, body); };
    put(rec::kBof, u16s({layout.version, 0x0005, 0, 0}) + u32(0) + u32(0));
    for (const Record& r : layout.extraGlobals) put(r.id, r.body);
    put(rec::kFormat, u16s({164}) + string16("dd/mm/yyyy"));
    for (int i = 0; i < 16; ++i) put(rec::kXf, u16s({0, 0, i < 15 ? 0xFFF5 : 0x0001}) + Bytes(14));
    put(rec::kXf, u16s({0, 164, 0x0001}) + Bytes(14));
    std::vector<std::size_t> positions;
    for (const auto& sheet : layout.sheets) {
        positions.push_back(out.size() + 4);
        Bytes body = u32(0) + u16s({0});
        writeUnicodeString8(body, sheet.first);
        put(rec::kBoundSheet, body);
    }
    if (!layout.strings.empty()) {
        Bytes sst = u32(0) + u32(static_cast<std::uint32_t>(layout.strings.size()));
        for (const auto& s : layout.strings) sst = sst + string16(s);
        put(rec::kSst, sst);
    }
    put(rec::kEof, {});
    for (std::size_t i = 0; i < layout.sheets.size(); ++i) {
        patchU32(out, positions[i], static_cast<std::uint32_t>(out.size()));
        put(rec::kBof, u16s({layout.version, 0x0010, 0, 0}) + u32(0) + u32(0));
        for (const Record& r : layout.sheets[i].second) {
            if (r.body.size() > kMaxRecordBody) {  // deliberately oversized
                putU16(out, r.id);
                putU16(out, static_cast<std::uint16_t>(r.body.size()));
                out.insert(out.end(), r.body.begin(), r.body.end());
            } else {
                put(r.id, r.body);
            }
        }
        put(rec::kEof, {});
    }
    return out;
}

Bytes container(const Bytes& stream, const std::string& name = "Workbook") {
    CompoundFile file;
    CompoundEntry entry;
    entry.name = name;
    entry.data = stream;
    file.entries.push_back(entry);
    return writeCompoundFile(file);
}

Workbook load(const StreamLayout& layout) {
    return Workbook::fromBytes(container(buildStream(layout)), "Prova.xls");
}

ArchiveProblem problemOf(const Bytes& bytes) {
    try {
        Workbook::fromBytes(bytes, "Prova.xls");
    } catch (const ArchiveError& error) {
        EXPECT_NE(std::string(error.what()).find("\"Prova.xls\""), std::string::npos)
            << error.what();
        return error.problem();
    }
    ADD_FAILURE() << "the workbook was accepted";
    return ArchiveProblem::WriteFailed;
}

Bytes formula(int row, int column, const Bytes& result, std::uint16_t flags = 0) {
    // A formula "=1" (ptgInt 1): the tokens do not matter to the reader.
    return cellHead(row, column, 15) + result + u16s({flags}) + u32(0) + u16s({3}) +
           Bytes{0x1E, 0x01, 0x00};
}
Bytes special(int type, int value) {
    return Bytes{
        static_cast<std::uint8_t>(type), 0, static_cast<std::uint8_t>(value), 0, 0, 0, 0xFF, 0xFF};
}

StreamLayout everyCellForm() {
    StreamLayout layout;
    layout.strings = {"dal SST", ""};
    std::vector<Record> cells = {
        {rec::kNumber, cellHead(0, 0, 15) + f64(7.5)},
        {rec::kRk, cellHead(0, 1, 15) + u32((123u << 2) | 2)},  // 123
        {rec::kRk,
         cellHead(0, 2, 15) + u32((static_cast<std::uint32_t>(-1234) << 2) | 3)},  // -12,34
        {rec::kRk, cellHead(0, 3, 15) + u32(0x3FF80000u)},                         // 1.5
        {rec::kMulRk, u16s({1, 1, 15}) + u32((5u << 2) | 2) + u16s({15}) + u32((250u << 2) | 3) +
                          u16s({16}) + u32((43831u << 2) | 2) + u16s({3})},
        {rec::kLabelSst, cellHead(2, 0, 15) + u32(0)},
        {rec::kLabelSst, cellHead(2, 1, 15) + u32(1)},
        {rec::kLabel, cellHead(2, 2, 15) + string16("€ inline")},
        {rec::kLabel, cellHead(2, 3, 15) + u16s({0})},  // empty, no option byte
        {rec::kRString, cellHead(2, 4, 15) + string16("ricco") + u16s({1, 0, 0})},
        {rec::kBoolErr, cellHead(3, 0, 15) + Bytes{1, 0}},
        {rec::kBoolErr, cellHead(3, 1, 15) + Bytes{0, 0}},
        {rec::kBoolErr, cellHead(3, 2, 15) + Bytes{0x07, 1}},
        {rec::kBlank, cellHead(3, 3, 15)},
        {rec::kMulBlank, u16s({3, 4, 15, 15, 5})},
        {rec::kFormula, formula(4, 0, f64(42))},
        {rec::kFormula2, formula(4, 1, special(0, 0), 0x0008)},
        {rec::kShrFmla, u16s({4, 4}) + Bytes{1, 1} + u16s({0, 1}) + Bytes{0x1E, 0x01, 0x00}},
        {rec::kString, string16("calcolato")},
        {rec::kFormula4, formula(4, 2, special(1, 1))},
        {rec::kFormula, formula(4, 3, special(2, 0x2A))},
        {rec::kFormula, formula(4, 4, special(3, 0))},
    };
    layout.sheets.push_back({"Valori", cells});
    return layout;
}

void expectEveryCellForm(const Sheet& sheet) {
    const std::vector<std::vector<std::string>> expected = {
        {"7,5", "123", "-12,34", "1,5", ""},      {"", "5", "2,5", "01/01/2020", ""},
        {"dal SST", "", "€ inline", "", "ricco"}, {"VERO", "FALSO", "#DIV/0!", "", "", "", ""},
        {"42", "calcolato", "VERO", "#N/D", ""},
    };
    for (std::size_t r = 0; r < expected.size(); ++r) {
        for (std::size_t c = 0; c < expected[r].size(); ++c) {
            EXPECT_EQ(sheet.text(int(r) + 1, int(c) + 1), expected[r][c]) << r + 1 << "," << c + 1;
        }
    }
    EXPECT_EQ(sheet.kind(1, 2), CellKind::Number);
    EXPECT_EQ(sheet.kind(3, 2), CellKind::Text);
    EXPECT_TRUE(sheet.isEmpty(3, 2));
    EXPECT_TRUE(sheet.isEmpty(4, 4));
    EXPECT_EQ(sheet.kind(4, 4), CellKind::Empty);
    EXPECT_EQ(sheet.kind(4, 3), CellKind::Error);
    EXPECT_EQ(sheet.kind(5, 3), CellKind::Boolean);
    EXPECT_EQ(sheet.kind(5, 2), CellKind::Text);
    EXPECT_TRUE(sheet.isEmpty(5, 5));
    EXPECT_FALSE(sheet.isEmpty(5, 4));
}

TEST(WorkbookRead, EveryCellRecordFormAndFormulaResult) {
    const Workbook book = load(everyCellForm());
    ASSERT_EQ(book.sheetCount(), 1u);
    expectEveryCellForm(book.sheetAt(0));
    EXPECT_EQ(book.sheetAt(0).lastUsedRow(), 5);

    // Written back unchanged, and again after a change regenerates the cell table.
    const Workbook same = Workbook::fromBytes(book.toBytes(), "Prova.xls");
    expectEveryCellForm(same.sheetAt(0));
    Workbook changed = book;
    changed.sheetAt(0).setText(20, 1, "nuovo");
    const Workbook rewritten = Workbook::fromBytes(changed.toBytes(), "Prova.xls");
    expectEveryCellForm(rewritten.sheetAt(0));
    EXPECT_EQ(rewritten.sheetAt(0).text(20, 1), "nuovo");
}

TEST(WorkbookRead, DuplicateCellsKeepTheLaterRecord) {
    StreamLayout layout;
    layout.sheets.push_back({"A",
                             {{rec::kNumber, cellHead(0, 0, 15) + f64(1)},
                              {rec::kNumber, cellHead(0, 0, 15) + f64(2)}}});
    EXPECT_EQ(load(layout).sheetAt(0).text(1, 1), "2");
}

TEST(WorkbookRead, BrokenRecordsMakeADamagedWorkbook) {
    auto damaged = [](std::vector<Record> cells, std::vector<std::string> strings = {}) {
        StreamLayout layout;
        layout.strings = std::move(strings);
        layout.sheets.push_back({"A", std::move(cells)});
        return problemOf(container(buildStream(layout)));
    };
    EXPECT_EQ(damaged({{rec::kNumber, cellHead(0, 256, 15) + f64(1)}}), ArchiveProblem::Damaged);
    EXPECT_EQ(
        damaged({{rec::kMulRk, u16s({0, 255, 15}) + u32(2) + u16s({15}) + u32(2) + u16s({256})}}),
        ArchiveProblem::Damaged);
    EXPECT_EQ(damaged({{rec::kMulBlank, u16s({0, 1, 15, 15, 3})}}), ArchiveProblem::Damaged);
    EXPECT_EQ(damaged({{rec::kLabelSst, cellHead(0, 0, 15) + u32(1)}}, {"solo"}),
              ArchiveProblem::Damaged);
    EXPECT_EQ(damaged({{rec::kNumber, cellHead(0, 0, 15)}}), ArchiveProblem::Damaged);
    EXPECT_EQ(damaged({{rec::kLabel, cellHead(0, 0, 15) + Bytes(kMaxRecordBody)}}),
              ArchiveProblem::Damaged);

    Bytes cut = buildStream(everyCellForm());
    cut.resize(cut.size() - 10);
    EXPECT_EQ(problemOf(container(cut)), ArchiveProblem::Damaged);
}

TEST(WorkbookRead, RefusedWorkbooksEachGetTheirOwnProblem) {
    StreamLayout encrypted = everyCellForm();
    encrypted.extraGlobals.push_back({rec::kFilePass, u16s({0, 0x1234, 0x5678})});
    EXPECT_EQ(problemOf(container(buildStream(encrypted))), ArchiveProblem::Encrypted);

    StreamLayout old = everyCellForm();
    old.version = 0x0500;
    EXPECT_EQ(problemOf(container(buildStream(old))), ArchiveProblem::OldFormat);
    // The format is the BOF's: Excel 5.0's stream name holding BIFF5 is old, holding BIFF8 is
    // read like any workbook.
    EXPECT_EQ(problemOf(container(buildStream(old), "Book")), ArchiveProblem::OldFormat);
    EXPECT_NO_THROW(Workbook::fromBytes(container(buildStream(everyCellForm()), "Book"), "x"));
    EXPECT_EQ(problemOf(container(buildStream(everyCellForm()), "Documento")),
              ArchiveProblem::NotExcel);
    // The stream name is found without regard to case.
    EXPECT_NO_THROW(Workbook::fromBytes(container(buildStream(everyCellForm()), "WORKBOOK"), "x"));

    const std::vector<std::pair<std::string, ArchiveProblem>> fixtures = {
        {"bad-empty.xls", ArchiveProblem::Empty},
        {"bad-random.xls", ArchiveProblem::NotExcel},
        {"bad-csv.xls", ArchiveProblem::NotExcel},
        {"bad-xlsx.xls", ArchiveProblem::NotExcel},
        {"bad-no-workbook.xls", ArchiveProblem::NotExcel},
        {"bad-excel95.xls", ArchiveProblem::OldFormat},
        {"bad-excel2.xls", ArchiveProblem::OldFormat},
        {"bad-excel3.xls", ArchiveProblem::OldFormat},
        {"bad-excel4.xls", ArchiveProblem::OldFormat},
        {"bad-password.xls", ArchiveProblem::Encrypted},
        {"bad-long-record.xls", ArchiveProblem::Damaged},
        {"bad-sector-loop.xls", ArchiveProblem::Damaged},
        {"bad-sst-index.xls", ArchiveProblem::Damaged},
        {"bad-truncated.xls", ArchiveProblem::Damaged},
    };
    std::vector<std::string> messages;
    for (const auto& [name, problem] : fixtures) {
        try {
            Workbook::open(fixture(name));
            ADD_FAILURE() << name << " was accepted";
        } catch (const ArchiveError& error) {
            EXPECT_EQ(error.problem(), problem) << name;
            EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
            messages.push_back(error.what());
        }
    }
    // A renamed .xlsx is told apart from other foreign files.
    EXPECT_NE(messages[3].find(".xlsx"), std::string::npos);
    EXPECT_EQ(messages[1].find(".xlsx"), std::string::npos);
    // The oldest formats, with no compound file, are named by their version.
    ASSERT_EQ(messages.size(), fixtures.size());
    EXPECT_NE(messages[5].find("Excel 5.0/95"), std::string::npos);
    EXPECT_NE(messages[6].find("vecchio formato Excel 2.x,"), std::string::npos) << messages[6];
    EXPECT_NE(messages[7].find("vecchio formato Excel 3.0,"), std::string::npos);
    EXPECT_NE(messages[8].find("vecchio formato Excel 4.0,"), std::string::npos);
    EXPECT_NE(messages[8].find("\"Cartella di lavoro Excel 97-2003 (*.xls)\""), std::string::npos);
}

TEST(WorkbookRead, SheetsAreFoundWithoutRegardToCaseAccentsIncluded) {
    StreamLayout layout;
    layout.sheets = {{"Clienti", {}}, {"Società", {}}, {"Codici", {}}};
    Workbook book = load(layout);
    ASSERT_EQ(book.sheetCount(), 3u);
    EXPECT_EQ(book.sheet("CLIENTI"), &book.sheetAt(0));
    EXPECT_EQ(book.sheet("SOCIETÀ"), &book.sheetAt(1));
    EXPECT_EQ(book.sheet("codici")->name(), "Codici");
    EXPECT_EQ(book.sheet("Codic"), nullptr);
    EXPECT_EQ(book.sheetAt(1).lastUsedRow(), 0);

    const Workbook unicode = Workbook::open(fixture("lo-unicode.xls"));
    EXPECT_NE(unicode.sheet("Clienti"), nullptr);
    EXPECT_FALSE(unicode.uses1904DateSystem());
    EXPECT_TRUE(Workbook::open(fixture("lo-dates1904.xls")).uses1904DateSystem());
}

TEST(WorkbookRead, EndDownFollowsRunsAndGaps) {
    StreamLayout layout;
    layout.strings = {"x", ""};
    std::vector<Record> cells;
    for (int row : {1, 2, 3, 6, 9, 10})
        cells.push_back({rec::kLabelSst, cellHead(row, 0, 15) + u32(0)});
    cells.push_back({rec::kLabelSst, cellHead(4, 0, 15) + u32(1)});  // an empty string
    cells.push_back({rec::kBlank, cellHead(7, 0, 15)});
    cells.push_back({rec::kLabelSst, cellHead(65535, 1, 15) + u32(0)});
    layout.sheets.push_back({"A", cells});
    const Workbook book = load(layout);
    const Sheet& sheet = book.sheetAt(0);
    EXPECT_EQ(sheet.endDown(2, 1), 4);  // a run: its last filled cell
    EXPECT_EQ(sheet.endDown(3, 1), 4);
    EXPECT_EQ(sheet.endDown(4, 1), 7);   // end of a run: the next filled cell
    EXPECT_EQ(sheet.endDown(1, 1), 2);   // empty start
    EXPECT_EQ(sheet.endDown(7, 1), 10);  // a single filled cell, blank below
    EXPECT_EQ(sheet.endDown(10, 1), 11);
    EXPECT_EQ(sheet.endDown(11, 1), Sheet::kLastRow);
    EXPECT_EQ(sheet.endDown(12, 1), Sheet::kLastRow);
    EXPECT_EQ(sheet.endDown(1, 2), Sheet::kLastRow);  // the filled cell is the last row itself
    EXPECT_EQ(sheet.endDown(Sheet::kLastRow, 2), Sheet::kLastRow);
    EXPECT_EQ(sheet.lastUsedRow(), Sheet::kLastRow);
}

}  // namespace
