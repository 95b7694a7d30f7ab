// The empty archive that ships with the program. The workbook stream is built record by
// record (a small but complete BIFF8 workbook: fonts, a dd/mm/yyyy format, the standard style
// XFs, a default, a bold and a date cell XF, two worksheets with column widths and bold heading
// cells), wrapped in a compound file, read back as a Workbook, and the headings are written
// into it through the ordinary cell operations.

#include "archive/book/new_archive.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/container/compound_file.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"

namespace clivara::archive {

namespace {

// Record ids used only here.
constexpr std::uint16_t kCodePage = 0x0042, kWindow1 = 0x003D, kFont = 0x0031, kStyle = 0x0293,
                        kColInfo = 0x007D, kWindow2 = 0x023E;

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBofGlobals = 0x0005, kBofWorksheet = 0x0010;
constexpr std::uint16_t kCodePageUtf16 = 1200;

// Font indexes: BIFF never stores a font with index 4, so the fifth FONT record is font 5.
constexpr std::uint16_t kFontNormal = 0, kFontBold = 5;
constexpr std::uint16_t kFormatDayMonthYear = 164;

// XF indexes: 0-14 the standard style XFs, then the cell XFs.
constexpr std::uint16_t kXfDefault = 15, kXfHeading = 16, kXfDate = 17;

constexpr int kCustomerColumns = 13;
constexpr int kClientiDateColumn = 2;  // C, 0-based

// Column widths in characters, A to M.
constexpr std::array<int, kCustomerColumns> kClientiWidths = {32, 6,  11, 30, 7,  20, 5,
                                                              14, 14, 18, 13, 30, 30};
constexpr int kCodiciWidth = 16;

// The class id of an Excel workbook, stored in the root entry.
constexpr ClassId kExcelWorkbookClassId = {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

using Bytes = std::vector<std::uint8_t>;

void record(Bytes& out, std::uint16_t id, const Bytes& body) {
    putRecord(out, id, std::span<const std::uint8_t>(body));
}

Bytes bof(std::uint16_t type) {
    Bytes body;
    putU16(body, kBiff8);
    putU16(body, type);
    putU16(body, 0x0DBB);  // build
    putU16(body, 0x07CC);  // build year
    putU32(body, 0);       // file history flags
    putU32(body, 0x06);    // lowest version that saved the file
    return body;
}

Bytes u16Body(std::uint16_t value) {
    Bytes body;
    putU16(body, value);
    return body;
}

Bytes window1() {
    Bytes body;
    putU16(body, 0);       // left
    putU16(body, 0);       // top
    putU16(body, 0x4000);  // width
    putU16(body, 0x2000);  // height
    putU16(body, 0x0038);  // horizontal and vertical scroll bars, sheet tabs
    putU16(body, 0);       // active sheet
    putU16(body, 0);       // first visible tab
    putU16(body, 1);       // selected tabs
    putU16(body, 0x0258);  // tab bar width ratio
    return body;
}

Bytes font(bool bold) {
    Bytes body;
    putU16(body, 200);                // height in twentieths of a point: 10 pt
    putU16(body, bold ? 0x0001 : 0);  // bold flag (older readers look at it); no italic
    putU16(body, 0x7FFF);             // automatic colour
    putU16(body, bold ? 700 : 400);
    putU16(body, 0);    // no superscript or subscript
    body.push_back(0);  // no underline
    body.push_back(2);  // family: swiss
    body.push_back(0);  // character set: ANSI
    body.push_back(0);
    writeUnicodeString8(body, "Arial");
    return body;
}

Bytes format(std::uint16_t id, std::string_view text) {
    Bytes body;
    putU16(body, id);
    writeUnicodeString16(body, text);
    return body;
}

// An XF: style XFs have no parent; cell XFs have the Normal style (XF 0) as parent and mark
// which attribute groups differ from it.
Bytes xf(std::uint16_t fontIndex, std::uint16_t formatId, bool isStyle, std::uint8_t used) {
    Bytes body;
    putU16(body, fontIndex);
    putU16(body, formatId);
    putU16(body, isStyle ? 0xFFF5 : 0x0001);  // locked; style XF with parent 0xFFF
    body.push_back(0x20);                     // general alignment, bottom
    body.push_back(0);                        // no rotation
    body.push_back(0);                        // no indent
    body.push_back(used);                     // attribute groups (number 0x04, font 0x08)
    putU32(body, 0);                          // no borders
    putU32(body, 0);
    putU16(body, 0x20C0);  // pattern colours: automatic
    return body;
}

Bytes style() {
    Bytes body;
    putU16(body, 0x8000);  // built-in style of XF 0
    body.push_back(0);     // Normal
    body.push_back(0xFF);
    return body;
}

Bytes boundSheet(std::string_view name) {
    Bytes body;
    putU32(body, 0);    // position of the sheet's BOF, patched once known
    body.push_back(0);  // visible
    body.push_back(0);  // worksheet
    writeUnicodeString8(body, name);
    return body;
}

Bytes emptySst() {
    Bytes body;
    putU32(body, 0);  // references
    putU32(body, 0);  // unique strings
    return body;
}

// The sheet's part of the stream: BOF, INDEX, DEFCOLWIDTH, COLINFO, DIMENSIONS, a ROW record
// and formatted empty cells for the heading row, WINDOW2, EOF. The headings themselves are
// written through Sheet::setText, which regenerates the cell table.
Bytes worksheet(std::span<const int> widths, int dateColumn, int headingCells, bool selected) {
    Bytes out;
    record(out, rec::kBof, bof(kBofWorksheet));

    Bytes index;
    putU32(index, 0);
    putU32(index, 0);  // first row
    putU32(index, 1);  // last row + 1
    const std::size_t indexBodyStart = out.size() + 4;
    putU32(index, 0);  // position of DEFCOLWIDTH, patched below (relative to this substream)
    record(out, rec::kIndex, index);
    const std::size_t defColWidthAt = out.size();
    record(out, rec::kDefColWidth, u16Body(8));
    patchU32(out, indexBodyStart + 12, static_cast<std::uint32_t>(defColWidthAt));

    for (std::size_t c = 0; c < widths.size(); ++c) {
        Bytes info;
        putU16(info, static_cast<std::uint16_t>(c));
        putU16(info, static_cast<std::uint16_t>(c));
        putU16(info, static_cast<std::uint16_t>(widths[c] * 256));
        putU16(info, static_cast<int>(c) == dateColumn ? kXfDate : kXfDefault);
        putU16(info, 0x0002);  // width set by the user
        putU16(info, 0);
        record(out, kColInfo, info);
    }

    Bytes dimensions;
    putU32(dimensions, 0);
    putU32(dimensions, 1);
    putU16(dimensions, 0);
    putU16(dimensions, static_cast<std::uint16_t>(headingCells));
    putU16(dimensions, 0);
    record(out, rec::kDimensions, dimensions);

    Bytes row;
    putU16(row, 0);
    putU16(row, 0);
    putU16(row, static_cast<std::uint16_t>(headingCells));
    putU16(row, 0x00FF);  // default height
    putU16(row, 0);
    putU16(row, 0);
    putU16(row, 0x0100);
    putU16(row, kXfDefault);
    record(out, rec::kRow, row);
    for (int c = 0; c < headingCells; ++c) {
        Bytes blank;
        putU16(blank, 0);
        putU16(blank, static_cast<std::uint16_t>(c));
        putU16(blank, kXfHeading);
        record(out, rec::kBlank, blank);
    }

    Bytes window2;
    // Grid, headers, zeros, automatic grid colour, outline symbols; the first sheet selected.
    putU16(window2, selected ? 0x06B6 : 0x00B6);
    putU16(window2, 0);     // top row
    putU16(window2, 0);     // left column
    putU32(window2, 0x40);  // grid colour: automatic
    putU16(window2, 0);
    putU16(window2, 0);
    putU32(window2, 0);
    record(out, kWindow2, window2);
    record(out, rec::kEof, {});
    return out;
}

Bytes workbookStream() {
    Bytes out;
    record(out, rec::kBof, bof(kBofGlobals));
    record(out, kCodePage, u16Body(kCodePageUtf16));
    record(out, kWindow1, window1());
    record(out, rec::kDateMode, u16Body(0));
    for (int i = 0; i < 4; ++i) record(out, kFont, font(false));
    record(out, kFont, font(true));  // font index 5
    record(out, rec::kFormat, format(kFormatDayMonthYear, "dd/mm/yyyy"));
    for (std::uint16_t i = 0; i < 15; ++i) {
        record(out, rec::kXf, xf(kFontNormal, 0, true, i == 0 ? 0x00 : 0xF4));
    }
    record(out, rec::kXf, xf(kFontNormal, 0, false, 0x00));
    record(out, rec::kXf, xf(kFontBold, 0, false, 0x08));
    record(out, rec::kXf, xf(kFontNormal, kFormatDayMonthYear, false, 0x04));
    record(out, kStyle, style());

    const std::size_t clientiSheetAt = out.size() + 4;
    record(out, rec::kBoundSheet, boundSheet("Clienti"));
    const std::size_t codiciSheetAt = out.size() + 4;
    record(out, rec::kBoundSheet, boundSheet("Codici"));
    record(out, rec::kSst, emptySst());
    record(out, rec::kExtSst, u16Body(8));
    record(out, rec::kEof, {});

    const std::array<int, 1> codiciWidths = {kCodiciWidth};
    const Bytes clienti = worksheet(kClientiWidths, kClientiDateColumn, kCustomerColumns, true);
    const Bytes codici = worksheet(codiciWidths, -1, 1, false);

    // Sheet substreams were laid out from position 0; move their INDEX positions.
    auto append = [&out](const Bytes& sheet, std::size_t boundSheetAt) {
        const auto start = static_cast<std::uint32_t>(out.size());
        patchU32(out, boundSheetAt, start);
        out.insert(out.end(), sheet.begin(), sheet.end());
        // The INDEX record follows the 20-byte BOF record; its DEFCOLWIDTH position is at 12.
        const std::size_t field = start + 20 + 4 + 12;
        patchU32(out, field, readU32(out, field) + start);
    };
    append(clienti, clientiSheetAt);
    append(codici, codiciSheetAt);
    return out;
}

}  // namespace

const std::vector<std::string>& customerHeadings() {
    static const std::vector<std::string> headings = {
        "Ragione Sociale", "ID",     "Data",     "Indirizzo", "C.A.P.",
        "Località",        "(PR)",   "Telefono", "Cellulare", "Codice Fiscale",
        "Partita IVA",     "Note 1", "Note 2"};
    return headings;
}

Workbook emptyArchive() {
    CompoundFile container;
    container.rootClassId = kExcelWorkbookClassId;
    CompoundEntry stream;
    stream.name = "Workbook";
    stream.data = workbookStream();
    container.entries.push_back(std::move(stream));
    const std::vector<std::uint8_t> bytes = writeCompoundFile(container);

    Workbook book = Workbook::fromBytes(bytes, "Archivio.xls");
    Sheet& clienti = book.sheetAt(0);
    const auto& headings = customerHeadings();
    for (std::size_t c = 0; c < headings.size(); ++c) {
        clienti.setText(1, static_cast<int>(c) + 1, headings[c]);
    }
    Sheet& codici = book.sheetAt(1);
    codici.setText(1, 1, "Ultimo codice");
    codici.setText(2, 1, "0");
    return book;
}

std::vector<std::uint8_t> emptyArchiveBytes() {
    return emptyArchive().toBytes();
}

}  // namespace clivara::archive
