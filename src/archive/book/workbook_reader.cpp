// Reading a BIFF8 workbook stream into the model: the globals' records, the shared strings and
// formats, and each worksheet's records and cell table.

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "archive/archive_error.h"
#include "archive/book/archive_messages.h"
#include "archive/book/workbook_io.h"
#include "archive/container/format_violation.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"
#include "archive/records/old_formats.h"

namespace clivara::archive {

namespace {

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBofGlobals = 0x0005, kBofWorksheet = 0x0010;
constexpr std::uint16_t kWindow2 = 0x023E;

KeptRecord streamRecord(const RecordView& view) {
    KeptRecord kept;
    kept.source = KeptRecord::Source::Stream;
    kept.id = view.id;
    kept.offset = static_cast<std::uint32_t>(view.offset);
    kept.size = static_cast<std::uint32_t>(view.body.size() + 4);
    return kept;
}

KeptRecord marker(KeptRecord::Source source) {
    KeptRecord kept;
    kept.source = source;
    return kept;
}

bool asciiEqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

double decodeRk(std::uint32_t rk) {
    double value = 0;
    if (rk & 0x2) {
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        value = std::bit_cast<double>(bits);
    }
    return (rk & 0x1) ? value / 100.0 : value;
}

// A STRING record's text, possibly continued in CONTINUE records that each start with a
// fresh option byte.
std::string readContinuedString(std::span<const std::uint8_t> first,
                                const std::vector<std::span<const std::uint8_t>>& continues) {
    ByteReader head(first);
    std::size_t count = head.u16();
    if (count == 0 && head.remaining() == 0) return {};
    std::uint8_t flags = head.u8();
    std::u16string units;
    units.reserve(std::min<std::size_t>(count, 8224 * (continues.size() + 1)));
    ByteReader* reader = &head;
    ByteReader part(first);
    std::size_t next = 0;
    while (units.size() < count) {
        if (reader->remaining() == 0) {
            if (next >= continues.size()) throw FormatViolation("STRING record cut short");
            part = ByteReader(continues[next++]);
            reader = &part;
            flags = reader->u8();
            continue;
        }
        if (flags & 0x01) {
            units.push_back(reader->u16());
        } else {
            units.push_back(reader->u8());
        }
    }
    return utf16ToUtf8(units);
}

class SheetReader {
  public:
    SheetReader(WorkbookData& book, SheetData& sheet, std::span<const std::uint8_t> stream)
        : book_(book), sheet_(sheet), stream_(stream) {}

    void read() {
        RecordReader reader(stream_, sheet_.start);
        if (reader.atEnd()) throw FormatViolation("sheet without EOF");
        sheet_.records.push_back(streamRecord(reader.next()));  // the sheet's BOF
        while (true) {
            if (reader.atEnd()) throw FormatViolation("sheet without EOF");
            const RecordView view = reader.next();
            const bool attachment = view.id == rec::kShrFmla || view.id == rec::kArray ||
                                    view.id == rec::kTable || view.id == rec::kString;
            if (!attachment) chain_ = -1;
            switch (view.id) {
                case rec::kEof:
                    sheet_.records.push_back(streamRecord(view));
                    sheet_.end = static_cast<std::uint32_t>(reader.position());
                    finish();
                    return;
                case rec::kBof:
                    skipNested(reader, view);
                    break;
                case rec::kIndex:
                    readIndex(view);
                    break;
                case rec::kDimensions:
                    readDimensions(view);
                    break;
                case rec::kShrFmla:
                case rec::kArray:
                case rec::kTable:
                    readFormulaAttachment(view);
                    break;
                case rec::kString:
                    if (chain_ >= 0 && wantsString_) {
                        readString(reader, view, chain_);
                        wantsString_ = false;
                    }
                    chain_ = -1;  // a STRING closes the formula's records; a stray one is dropped
                    break;
                default:
                    if (isCellTableRecord(view.id)) {
                        readCellTableRecord(view);
                    } else {
                        sheet_.records.push_back(streamRecord(view));
                    }
                    break;
            }
        }
    }

  private:
    static bool isCellTableRecord(std::uint16_t id) {
        switch (id) {
            case rec::kRow:
            case rec::kDbCell:
            case rec::kNumber:
            case rec::kRk:
            case rec::kMulRk:
            case rec::kLabelSst:
            case rec::kLabel:
            case rec::kRString:
            case rec::kBoolErr:
            case rec::kBlank:
            case rec::kMulBlank:
            case rec::kFormula:
            case rec::kFormula2:
            case rec::kFormula4:
                return true;
            default:
                return false;
        }
    }

    // Only the first INDEX is kept; the writer rebuilds it.
    void readIndex(const RecordView& view) {
        if (!sheet_.hadIndex) {
            KeptRecord index = streamRecord(view);
            index.source = KeptRecord::Source::Index;
            sheet_.records.push_back(index);
        }
        sheet_.hadIndex = true;
    }

    void readDimensions(const RecordView& view) {
        if (!dimensionsSeen_) {
            sheet_.records.push_back(marker(KeptRecord::Source::Dimensions));
            // The row count is only a hint, bounded by the sheet's size.
            if (view.body.size() >= 8) {
                sheet_.rows.reserve(std::min<std::size_t>(readU32(view.body, 4), 65536));
            }
        }
        dimensionsSeen_ = true;
    }

    // SHRFMLA, ARRAY and TABLE right after a formula belong to it; elsewhere they are kept.
    void readFormulaAttachment(const RecordView& view) {
        if (chain_ >= 0) {
            append(chain_, view);
            sheet_.formulas[static_cast<std::size_t>(chain_)].ownsSharedRecords = true;
        } else {
            sheet_.records.push_back(streamRecord(view));
        }
    }

    void readCellTableRecord(const RecordView& view) {
        if (!cellTableSeen_) {
            if (!dimensionsSeen_) {
                sheet_.records.push_back(marker(KeptRecord::Source::Dimensions));
                dimensionsSeen_ = true;
            }
            sheet_.records.push_back(marker(KeptRecord::Source::CellTable));
            cellTableSeen_ = true;
        }
        if (view.id == rec::kFormula || view.id == rec::kFormula2 || view.id == rec::kFormula4) {
            chain_ = readFormula(view, wantsString_);
        } else {
            readCell(view);
        }
    }

    // A substream inside the sheet (an embedded chart) is kept as it is.
    void skipNested(RecordReader& reader, const RecordView& bof) {
        sheet_.records.push_back(streamRecord(bof));
        int depth = 1;
        while (depth > 0) {
            if (reader.atEnd()) throw FormatViolation("embedded substream without EOF");
            const RecordView view = reader.next();
            sheet_.records.push_back(streamRecord(view));
            if (view.id == rec::kBof) {
                if (++depth > 8) throw FormatViolation("substreams nested too deep");
            } else if (view.id == rec::kEof) {
                --depth;
            }
        }
    }

    void finish() {
        auto& records = sheet_.records;
        auto find = [&](KeptRecord::Source source) {
            return std::find_if(records.begin(), records.end(),
                                [&](const KeptRecord& r) { return r.source == source; });
        };
        if (!cellTableSeen_) {
            auto dims = find(KeptRecord::Source::Dimensions);
            if (dims != records.end()) {
                records.insert(dims + 1, marker(KeptRecord::Source::CellTable));
            } else {
                // Before the sheet's own WINDOW2 or EOF: an embedded chart's substream has both,
                // and cells written inside it would not be the sheet's on reading.
                int depth = 0;
                auto at =
                    std::find_if(records.begin() + 1, records.end(), [&](const KeptRecord& r) {
                        if (r.id == rec::kBof) ++depth;
                        if (depth == 0) return r.id == kWindow2 || r.id == rec::kEof;
                        if (r.id == rec::kEof) --depth;
                        return false;
                    });
                at = records.insert(at, marker(KeptRecord::Source::CellTable));
                records.insert(at, marker(KeptRecord::Source::Dimensions));
            }
        } else if (!dimensionsSeen_) {
            records.insert(find(KeptRecord::Source::CellTable),
                           marker(KeptRecord::Source::Dimensions));
        }
        if (!sheet_.hadIndex)
            records.insert(records.begin() + 1, marker(KeptRecord::Source::Index));
    }

    Cell& place(int row, int column, std::uint16_t xf, CellType type) {
        if (column > 255) throw FormatViolation("cell column past 256");
        Row& target = sheet_.rowForWrite(row);
        Cell cell;
        cell.column = static_cast<std::uint16_t>(column);
        cell.xf = xf;
        cell.type = type;
        auto& cells = target.cells;
        if (cells.empty() || cells.back().column < cell.column) {
            cells.push_back(cell);
            return cells.back();
        }
        auto at = std::lower_bound(cells.begin(), cells.end(), cell.column,
                                   [](const Cell& c, std::uint16_t col) { return c.column < col; });
        if (at != cells.end() && at->column == cell.column) {
            *at = cell;  // a duplicate cell: the later record wins
            return *at;
        }
        return *cells.insert(at, cell);
    }

    void readCell(const RecordView& view) {
        ByteReader in(view.body);
        if (view.id == rec::kRow) {
            const int row = in.u16();
            const int firstColumn = in.u16();
            const int pastLastColumn = in.u16();
            in.skip(10);
            Row& target = sheet_.rowForWrite(row);
            std::memcpy(target.body.data(), view.body.data(), target.body.size());
            target.hasRecord = true;
            // Room for a customer row's cells in one allocation: the ROW record says how many
            // columns the row spans. The hint is capped, so a file that lies about it cannot
            // make the reader allocate much more than its own size.
            constexpr int kLargestHint = 16;
            if (pastLastColumn > firstColumn && target.cells.empty()) {
                target.cells.reserve(
                    static_cast<std::size_t>(std::min(pastLastColumn - firstColumn, kLargestHint)));
            }
            return;
        }
        if (view.id == rec::kDbCell) return;
        const int row = in.u16();
        const int column = in.u16();
        if (view.id == rec::kMulRk || view.id == rec::kMulBlank) {
            const std::size_t item = view.id == rec::kMulRk ? 6 : 2;
            if (view.body.size() < 6 + item || (view.body.size() - 6) % item != 0) {
                throw FormatViolation("MULRK/MULBLANK of a wrong length");
            }
            const std::size_t count = (view.body.size() - 6) / item;
            const std::size_t last = readU16(view.body, view.body.size() - 2);
            if (last != column + count - 1) throw FormatViolation("MULRK/MULBLANK last column");
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint16_t xf = in.u16();
                const int at = column + static_cast<int>(i);
                if (view.id == rec::kMulRk) {
                    place(row, at, xf, CellType::Number).setNumber(decodeRk(in.u32()));
                } else {
                    place(row, at, xf, CellType::Blank);
                }
            }
            return;
        }
        const std::uint16_t xf = in.u16();
        switch (view.id) {
            case rec::kNumber:
                place(row, column, xf, CellType::Number).setNumber(in.f64());
                break;
            case rec::kRk:
                place(row, column, xf, CellType::Number).setNumber(decodeRk(in.u32()));
                break;
            case rec::kLabelSst: {
                const std::uint32_t index = in.u32();
                if (index >= book_.strings->size()) throw FormatViolation("SST index past table");
                place(row, column, xf, CellType::Text).payload = index;
                ++sheet_.fileLabelSstCount;
                break;
            }
            case rec::kLabel:
            case rec::kRString: {
                const std::string text = readUnicodeString16(in);
                const std::uint32_t index = book_.mutableStrings().add(text);
                place(row, column, xf, CellType::Text).payload = index;
                break;
            }
            case rec::kBoolErr: {
                const std::uint8_t value = in.u8();
                const std::uint8_t isError = in.u8();
                place(row, column, xf, isError ? CellType::Error : CellType::Boolean).payload =
                    value;
                break;
            }
            case rec::kBlank:
                place(row, column, xf, CellType::Blank);
                break;
            default:
                break;
        }
    }

    int readFormula(const RecordView& view, bool& wantsString) {
        ByteReader in(view.body);
        const int row = in.u16();
        const int column = in.u16();
        const std::uint16_t xf = in.u16();
        const auto result = in.take(8);
        Formula formula;
        wantsString = false;
        if (result[6] == 0xFF && result[7] == 0xFF) {
            switch (result[0]) {
                case 0:
                    formula.result = FormulaResult::Text;
                    wantsString = true;
                    break;
                case 1:
                    formula.result = FormulaResult::Boolean;
                    formula.code = result[2];
                    break;
                case 2:
                    formula.result = FormulaResult::Error;
                    formula.code = result[2];
                    break;
                case 3:
                    formula.result = FormulaResult::EmptyText;
                    break;
                default:
                    throw FormatViolation("FORMULA with an unknown result type");
            }
        } else {
            formula.result = FormulaResult::Number;
            double number = 0;
            std::memcpy(&number, result.data(), sizeof number);
            formula.number = number;
        }
        const auto bytes = stream_.subspan(view.offset, view.body.size() + 4);
        formula.records.assign(bytes.begin(), bytes.end());
        const auto index = static_cast<std::uint32_t>(sheet_.formulas.size());
        sheet_.formulas.push_back(std::move(formula));
        place(row, column, xf, CellType::Formula).payload = index;
        return static_cast<int>(index);
    }

    void append(int formula, const RecordView& view) {
        const auto bytes = stream_.subspan(view.offset, view.body.size() + 4);
        auto& records = sheet_.formulas[static_cast<std::size_t>(formula)].records;
        records.insert(records.end(), bytes.begin(), bytes.end());
    }

    void readString(RecordReader& reader, const RecordView& view, int formula) {
        append(formula, view);
        std::vector<std::span<const std::uint8_t>> continues;
        while (reader.peekId() == rec::kContinue) {
            const RecordView part = reader.next();
            append(formula, part);
            continues.push_back(part.body);
        }
        sheet_.formulas[static_cast<std::size_t>(formula)].text =
            readContinuedString(view.body, continues);
    }

    WorkbookData& book_;
    SheetData& sheet_;
    std::span<const std::uint8_t> stream_;
    bool cellTableSeen_ = false;
    bool dimensionsSeen_ = false;
    int chain_ = -1;  // formula whose attached records may follow
    bool wantsString_ = false;
};

struct BoundSheet {
    std::uint32_t position = 0;
    std::uint8_t type = 0;
    std::string name;
    std::uint32_t record = 0;
};

void checkBof(std::span<const std::uint8_t> stream, std::size_t at, std::uint16_t& type,
              const std::string& displayName) {
    RecordReader reader(stream, at);
    const RecordView bof = reader.next();
    if (bof.id != rec::kBof) throw FormatViolation("substream does not start with BOF");
    ByteReader in(bof.body);
    const std::uint16_t version = in.u16();
    type = in.u16();
    if (version < kBiff8)
        throw ArchiveError(ArchiveProblem::OldFormat, messages::oldFormat(displayName));
    if (version != kBiff8) throw FormatViolation("BOF of an unknown version");
}

// Past the EOF that closes the substream starting at `at` (nested substreams included).
std::uint32_t substreamEnd(std::span<const std::uint8_t> stream, std::size_t at) {
    RecordReader reader(stream, at);
    int depth = 0;
    while (true) {
        if (reader.atEnd()) throw FormatViolation("substream without EOF");
        const RecordView view = reader.next();
        if (view.id == rec::kBof) {
            if (++depth > 8) throw FormatViolation("substreams nested too deep");
        } else if (view.id == rec::kEof && --depth == 0) {
            return static_cast<std::uint32_t>(reader.position());
        }
    }
}

// A FILEPASS makes every later body unreadable: look for it before interpreting anything.
void refuseEncrypted(const WorkbookData& book, std::span<const std::uint8_t> stream) {
    RecordReader scan(stream);
    while (true) {
        if (scan.atEnd()) throw FormatViolation("globals without EOF");
        const RecordView view = scan.next();
        if (view.id == rec::kFilePass) {
            throw ArchiveError(ArchiveProblem::Encrypted, messages::encrypted(book.displayName));
        }
        if (view.id == rec::kEof) break;
    }
}

void readSharedStrings(WorkbookData& book, RecordReader& reader, const RecordView& view) {
    if (book.hadSst) throw FormatViolation("a second SST");
    std::vector<std::span<const std::uint8_t>> bodies{view.body};
    while (reader.peekId() == rec::kContinue) bodies.push_back(reader.next().body);
    book.strings = std::make_shared<SharedStrings>(SharedStrings::parse(bodies));
    book.hadSst = true;
    book.globals.push_back(marker(KeptRecord::Source::Sst));
}

// One record of the globals: what the model needs is read, and every record but the string
// table's is kept as it stands.
void readGlobalsRecord(WorkbookData& book, std::vector<BoundSheet>& boundSheets,
                       RecordReader& reader, const RecordView& view) {
    ByteReader in(view.body);
    switch (view.id) {
        case rec::kBoundSheet: {
            BoundSheet sheet;
            sheet.position = in.u32();
            in.u8();
            sheet.type = in.u8();
            sheet.name = readUnicodeString8(in);
            sheet.record = static_cast<std::uint32_t>(book.globals.size());
            boundSheets.push_back(std::move(sheet));
            break;
        }
        case rec::kSst:
            readSharedStrings(book, reader, view);
            return;
        case rec::kExtSst:
            while (reader.peekId() == rec::kContinue) reader.next();
            return;  // written again after the SST
        case rec::kFormat: {
            const std::uint16_t id = in.u16();
            book.formats[id] = readUnicodeString16(in);
            break;
        }
        case rec::kXf: {
            XfInfo xf;
            in.u16();
            xf.formatId = in.u16();
            xf.isStyle = (in.u16() & 0x0004) != 0;
            book.xfs.push_back(xf);
            break;
        }
        case rec::kDateMode:
            book.dateSystem1904 = in.u16() == 1;
            break;
        default:
            break;
    }
    book.globals.push_back(streamRecord(view));
}

void readGlobals(WorkbookData& book, std::vector<BoundSheet>& boundSheets, std::uint32_t& end) {
    const std::span<const std::uint8_t> stream(*book.stream);
    std::uint16_t type = 0;
    checkBof(stream, 0, type, book.displayName);
    if (type != kBofGlobals) throw FormatViolation("the stream does not start with the globals");
    refuseEncrypted(book, stream);

    RecordReader reader(stream);
    while (true) {
        const RecordView view = reader.next();
        readGlobalsRecord(book, boundSheets, reader, view);
        if (view.id == rec::kEof) {
            end = static_cast<std::uint32_t>(reader.position());
            break;
        }
    }
    if (!book.strings) {
        const std::uint8_t emptyTable[8] = {};
        const std::span<const std::uint8_t> body(emptyTable);
        book.strings = std::make_shared<SharedStrings>(
            SharedStrings::parse(std::span<const std::span<const std::uint8_t>>(&body, 1)));
    }
}

void interpretFormats(WorkbookData& book) {
    for (std::size_t i = 0; i < book.xfs.size(); ++i) {
        XfInfo& xf = book.xfs[i];
        const auto format = book.formats.find(xf.formatId);
        if (format != book.formats.end()) {
            xf.style = numberStyleOfFormat(format->second);
            xf.general = asciiEqualNoCase(format->second, "General");
            xf.dayMonthYear = isDayMonthYearFormat(format->second);
        } else {
            xf.style = numberStyleOfBuiltin(xf.formatId);
            xf.general = xf.formatId == 0;
            xf.dayMonthYear = false;
        }
        if (xf.dayMonthYear && !xf.isStyle && book.dayMonthYearXf < 0) {
            book.dayMonthYearXf = static_cast<int>(i);
        }
    }
}

void readStream(WorkbookData& book) {
    std::vector<BoundSheet> boundSheets;
    std::uint32_t globalsEnd = 0;
    readGlobals(book, boundSheets, globalsEnd);
    interpretFormats(book);

    const std::span<const std::uint8_t> stream(*book.stream);
    std::vector<std::size_t> order(boundSheets.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return boundSheets[a].position < boundSheets[b].position;
    });

    // Sheets keep the workbook's order; substreams the stream's order.
    std::vector<int> sheetOf(boundSheets.size(), -1);
    std::size_t worksheets = 0;
    std::vector<std::uint16_t> bofTypes(boundSheets.size());
    for (std::size_t i = 0; i < boundSheets.size(); ++i) {
        if (boundSheets[i].position < globalsEnd || boundSheets[i].position >= stream.size()) {
            throw FormatViolation("sheet position outside the stream");
        }
        checkBof(stream, boundSheets[i].position, bofTypes[i], book.displayName);
        if (bofTypes[i] == kBofWorksheet && boundSheets[i].type == 0) {
            sheetOf[i] = static_cast<int>(worksheets++);
        }
    }
    book.sheets.resize(worksheets);
    std::uint32_t previousEnd = globalsEnd;
    for (const std::size_t i : order) {
        const BoundSheet& bound = boundSheets[i];
        if (bound.position < previousEnd) throw FormatViolation("sheets overlap");
        Substream sub;
        sub.start = bound.position;
        sub.boundSheetRecord = bound.record;
        sub.sheet = sheetOf[i];
        if (sub.sheet >= 0) {
            SheetData& sheet = book.sheets[static_cast<std::size_t>(sub.sheet)];
            sheet.name = bound.name;
            sheet.start = bound.position;
            sheet.book = &book;
            SheetReader(book, sheet, stream).read();
            sub.end = sheet.end;
        } else {
            sub.end = substreamEnd(stream, bound.position);
        }
        previousEnd = sub.end;
        book.substreams.push_back(sub);
    }
}

}  // namespace

std::unique_ptr<WorkbookData> readWorkbook(std::span<const std::uint8_t> bytes,
                                           const std::string& displayName,
                                           std::vector<std::uint8_t>* release) {
    const bool looksLikeZip =
        bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3 && bytes[3] == 4;
    auto book = std::make_unique<WorkbookData>();
    book->displayName = displayName;
    try {
        CompoundFile container = readCompoundFile(bytes);
        if (release != nullptr) {
            release->clear();
            release->shrink_to_fit();
        }
        CompoundEntry* workbook = container.findStream("Workbook");
        if (workbook == nullptr) {
            // The format is the first BOF's, not the stream's name: a "Book" stream may hold
            // BIFF8 and is then read, and saved back, under the name it has.
            workbook = container.findStream("Book");
            if (workbook == nullptr) {
                throw ArchiveError(ArchiveProblem::NotExcel,
                                   messages::notExcel(displayName, false));
            }
            if (!startsWithBiff8Bof(workbook->data)) {
                throw ArchiveError(ArchiveProblem::OldFormat, messages::oldFormat(displayName));
            }
        }
        book->streamName = workbook->name;
        book->stream = std::make_shared<const std::vector<std::uint8_t>>(std::move(workbook->data));
        workbook->data.clear();
        workbook->data.shrink_to_fit();
        // A dual-format file's old stream would no longer match what is saved: drop it.
        if (!asciiEqualNoCase(book->streamName, "Book")) {
            std::erase_if(container.entries, [](const CompoundEntry& entry) {
                return !entry.isStorage && asciiEqualNoCase(entry.name, "Book");
            });
        }
        book->container = std::make_shared<const CompoundFile>(std::move(container));
        readStream(*book);
    } catch (const NotCompoundFile&) {
        if (const auto version = oldestExcelVersion(bytes)) {
            throw ArchiveError(ArchiveProblem::OldFormat,
                               messages::oldestFormat(displayName, *version));
        }
        throw ArchiveError(ArchiveProblem::NotExcel, messages::notExcel(displayName, looksLikeZip));
    } catch (const FormatViolation&) {
        throw ArchiveError(ArchiveProblem::Damaged, messages::damaged(displayName));
    } catch (const std::length_error&) {
        throw ArchiveError(ArchiveProblem::Damaged, messages::damaged(displayName));
    } catch (const std::out_of_range&) {
        throw ArchiveError(ArchiveProblem::Damaged, messages::damaged(displayName));
    }
    return book;
}

}  // namespace clivara::archive
