#include "archive/workbook.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <utility>

#include "archive/book/archive_messages.h"
#include "archive/book/workbook_io.h"
#include "archive/container/atomic_file.h"
#include "archive/formulas/formula_blocks.h"
#include "archive/formulas/formula_row_moves.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"
#include "archive/rows/row_shift.h"

namespace clivara::archive {

namespace {

constexpr std::size_t kMaxCellText = 32767;

bool sameColumn(const Cell& cell, std::uint16_t column) {
    return cell.column < column;
}

std::uint64_t nextRevision() {
    return nextSheetRevision();
}

void checkCell(int row, int column) {
    if (row < 1 || row > Sheet::kLastRow || column < 1 || column > Sheet::kLastColumn) {
        throw std::out_of_range("cell (" + std::to_string(row) + ", " + std::to_string(column) +
                                ") outside the sheet");
    }
}

// Replaces every formula of the sheet by its cached value.
void freezeFormulas(SheetData& sheet) {
    if (sheet.formulas.empty()) return;
    for (Row& row : sheet.rows) {
        for (Cell& cell : row.cells) {
            if (cell.type == CellType::Formula) {
                cell = cachedValue(cell, sheet.formulas[cell.payload], *sheet.book);
            }
        }
    }
    sheet.formulas.clear();
    sheet.changed = true;
}

// The XF a new cell takes: the row's own format when it has one, else the default cell XF.
std::uint16_t defaultXf(const SheetData& sheet, int row0) {
    if (const Row* row = sheet.row(row0); row != nullptr && row->hasRecord) {
        const std::uint16_t flags = readU16(row->body, 12);
        if (flags & 0x0080) return static_cast<std::uint16_t>(readU16(row->body, 14) & 0x0FFF);
    }
    const auto& xfs = sheet.book->xfs;
    if (xfs.size() > 15 && !xfs[15].isStyle) return 15;
    for (std::size_t i = 0; i < xfs.size(); ++i) {
        if (!xfs[i].isStyle) return static_cast<std::uint16_t>(i);
    }
    return 15;
}

// The kind of value a written text keeps: that of the cell written over, or of the cell of
// the row a new row follows. Free: the text decides (a canonical whole number becomes a
// number, a dd/MM/yyyy date a date where one can be shown, anything else text).
enum class KeptKind : std::uint8_t { Free, Text, Number, Date };

KeptKind keptKindOf(const SheetData& sheet, const Cell* cell) {
    if (cell == nullptr) return KeptKind::Free;
    const auto numberKind = [&] {
        return sheet.book->styleOfXf(cell->xf) == NumberStyle::Plain ? KeptKind::Number
                                                                     : KeptKind::Date;
    };
    switch (cell->type) {
        case CellType::Text:
            return KeptKind::Text;
        case CellType::Number:
            return numberKind();
        case CellType::Formula:
            if (cell->payload >= sheet.formulas.size()) return KeptKind::Free;
            switch (sheet.formulas[cell->payload].result) {
                case FormulaResult::Number:
                    return numberKind();
                case FormulaResult::Text:
                case FormulaResult::EmptyText:
                    return KeptKind::Text;
                default:
                    return KeptKind::Free;
            }
        default:
            return KeptKind::Free;
    }
}

// A number with a decimal comma as numberToText shows it ("-7,25"), parsed; nothing for any
// other text. Whether it is canonical is for the caller to check by showing it again.
std::optional<double> decimalNumberOf(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma + 1 >= text.size() || text.size() > 40) {
        return std::nullopt;
    }
    std::string plain(text);
    plain[comma] = '.';
    double value = 0;
    const char* end = plain.data() + plain.size();
    const auto [stop, error] = std::from_chars(plain.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// A date with its time as numberToText shows it ("dd/MM/yyyy HH:mm:ss"), as a serial in the
// workbook's date system; nothing for any other text.
std::optional<double> dateTimeOf(std::string_view text, bool dateSystem1904) {
    if (text.size() != 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const StoredForm date = storedFormOf(text.substr(0, 10), true, dateSystem1904);
    if (date.kind != StoredForm::Kind::Date) return std::nullopt;
    int parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::string_view digits = text.substr(11 + 3 * static_cast<std::size_t>(i), 2);
        const auto [stop, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), parts[i]);
        if (error != std::errc() || stop != digits.data() + digits.size()) return std::nullopt;
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
    return date.number + (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
}

std::string valueText(const SheetData& sheet, const Cell& cell) {
    const WorkbookData& book = *sheet.book;
    switch (cell.type) {
        case CellType::Blank:
            return {};
        case CellType::Text:
            return std::string(book.strings->text(static_cast<std::uint32_t>(cell.payload)));
        case CellType::Number:
            return numberToText(cell.number(), book.styleOfXf(cell.xf), book.dateSystem1904);
        case CellType::Boolean:
            return booleanToText(cell.payload != 0);
        case CellType::Error:
            return errorToText(static_cast<std::uint8_t>(cell.payload));
        case CellType::Formula: {
            const Formula& formula = sheet.formulas[cell.payload];
            switch (formula.result) {
                case FormulaResult::Number:
                    return numberToText(formula.number, book.styleOfXf(cell.xf),
                                        book.dateSystem1904);
                case FormulaResult::Text:
                    return formula.text;
                case FormulaResult::EmptyText:
                    return {};
                case FormulaResult::Boolean:
                    return booleanToText(formula.code != 0);
                case FormulaResult::Error:
                    return errorToText(formula.code);
            }
        }
    }
    return {};
}

}  // namespace

// ---- Sheet ----------------------------------------------------------------------------------

const std::string& Sheet::name() const {
    return data_->name;
}

CellKind Sheet::kind(int row, int column) const {
    checkCell(row, column);
    const Cell* cell = data_->find(row - 1, column - 1);
    if (cell == nullptr) return CellKind::Empty;
    switch (cell->type) {
        case CellType::Blank:
            return CellKind::Empty;
        case CellType::Text:
            return CellKind::Text;
        case CellType::Number:
            return CellKind::Number;
        case CellType::Boolean:
            return CellKind::Boolean;
        case CellType::Error:
            return CellKind::Error;
        case CellType::Formula:
            switch (data_->formulas[cell->payload].result) {
                case FormulaResult::Number:
                    return CellKind::Number;
                case FormulaResult::Text:
                case FormulaResult::EmptyText:
                    return CellKind::Text;
                case FormulaResult::Boolean:
                    return CellKind::Boolean;
                case FormulaResult::Error:
                    return CellKind::Error;
            }
    }
    return CellKind::Empty;
}

std::string Sheet::text(int row, int column) const {
    checkCell(row, column);
    const Cell* cell = data_->find(row - 1, column - 1);
    return cell == nullptr ? std::string() : valueText(*data_, *cell);
}

bool Sheet::isEmpty(int row, int column) const {
    checkCell(row, column);
    const Cell* cell = data_->find(row - 1, column - 1);
    if (cell == nullptr) return true;
    switch (cell->type) {
        case CellType::Blank:
            return true;
        case CellType::Text:
            return data_->book->strings->text(static_cast<std::uint32_t>(cell->payload)).empty();
        case CellType::Formula: {
            const Formula& formula = data_->formulas[cell->payload];
            return formula.result == FormulaResult::EmptyText ||
                   (formula.result == FormulaResult::Text && formula.text.empty());
        }
        default:
            return false;
    }
}

void Sheet::setText(int row, int column, std::string_view text) {
    setTextLike(row, column, text, 0);
}

void Sheet::setTextLike(int row, int column, std::string_view text, int modelRow) {
    checkCell(row, column);
    if (modelRow != 0) checkCell(modelRow, column);
    const std::size_t length = utf16Length(text);
    if (length > kMaxCellText) {
        throw ArchiveError(ArchiveProblem::TextTooLong, messages::textTooLong(length));
    }
    SheetData& sheet = *data_;
    sheet.revision = nextRevision();
    WorkbookData& book = *sheet.book;
    const int row0 = row - 1, column0 = column - 1;
    Cell* existing = sheet.find(row0, column0);
    if (existing != nullptr && existing->type == CellType::Formula) {
        if (freezeArrayOrTableAt(sheet, row0, column0)) {
            // An array formula or a data table holds no cell alone: the whole block became
            // its values.
            existing = sheet.find(row0, column0);
        } else if (sheet.formulas[existing->payload].ownsSharedRecords) {
            // Other cells may refer to the shared formula this cell carries.
            freezeFormulas(sheet);
            existing = sheet.find(row0, column0);
        }
    }
    const std::uint16_t defaultFormat = defaultXf(sheet, row0);
    if (text.empty()) {
        if (existing == nullptr) return;
        sheet.changed = true;
        if (existing->xf != defaultFormat) {
            existing->type = CellType::Blank;
            existing->payload = 0;
        } else {
            auto& cells = sheet.rows[static_cast<std::size_t>(row0)].cells;
            cells.erase(cells.begin() + (existing - cells.data()));
        }
        return;
    }

    Cell cell;
    cell.column = static_cast<std::uint16_t>(column0);
    cell.xf = existing != nullptr ? existing->xf : defaultFormat;
    const XfInfo format = cell.xf < book.xfs.size() ? book.xfs[cell.xf] : XfInfo{};
    // A text stays a text and a number a number (a date a date): the office's columns keep
    // one kind. A cell without either takes the kind of the model row's cell, if any.
    KeptKind kept = keptKindOf(sheet, existing);
    const Cell* model = modelRow != 0 ? sheet.find(modelRow - 1, column0) : nullptr;
    if (kept == KeptKind::Free) kept = keptKindOf(sheet, model);
    const bool dateAvailable = kept == KeptKind::Date || format.dayMonthYear ||
                               (format.general && book.dayMonthYearXf >= 0);
    StoredForm form = storedFormOf(text, dateAvailable, book.dateSystem1904);
    bool withTime = false;
    if (kept == KeptKind::Number && form.kind == StoredForm::Kind::Text) {
        if (const auto number = decimalNumberOf(text)) form = {StoredForm::Kind::Number, *number};
    }
    if (kept == KeptKind::Date && form.kind == StoredForm::Kind::Text) {
        if (const auto serial = dateTimeOf(text, book.dateSystem1904)) {
            form = {StoredForm::Kind::Date, *serial};
            withTime = true;
        }
    }
    const bool kindAllowed = kept == KeptKind::Free ||
                             (kept == KeptKind::Number && form.kind == StoredForm::Kind::Number) ||
                             (kept == KeptKind::Date && form.kind == StoredForm::Kind::Date);
    bool stored = false;
    // A whole number in a cell that shows dates would read back as a date: keep it as text.
    const bool numberFits =
        form.kind == StoredForm::Kind::Date || format.style == NumberStyle::Plain;
    if (form.kind != StoredForm::Kind::Text && numberFits && kindAllowed) {
        std::uint16_t xf = cell.xf;
        const NumberStyle wanted = withTime ? NumberStyle::DateTime : NumberStyle::Date;
        if (form.kind == StoredForm::Kind::Date && format.style != wanted) {
            // A date alone takes the workbook's dd/mm/yyyy format; else the model cell's
            // format when it shows the same.
            if (!withTime && book.dayMonthYearXf >= 0) {
                xf = static_cast<std::uint16_t>(book.dayMonthYearXf);
            } else if (model != nullptr && book.styleOfXf(model->xf) == wanted) {
                xf = model->xf;
            }
        }
        // Only a form that reads back as the very same text is taken.
        if (numberToText(form.number, book.styleOfXf(xf), book.dateSystem1904) == text) {
            cell.type = CellType::Number;
            cell.setNumber(form.number);
            cell.xf = xf;
            stored = true;
        }
    }
    if (!stored) {
        cell.type = CellType::Text;
        cell.payload = book.mutableStrings().add(text);
    }
    sheet.changed = true;
    if (existing != nullptr) {
        *existing = cell;
        return;
    }
    auto& cells = sheet.rowForWrite(row0).cells;
    cells.insert(std::lower_bound(cells.begin(), cells.end(), cell.column, sameColumn), cell);
}

int Sheet::endDown(int row, int column) const {
    checkCell(row, column);
    const int limit = std::min<int>(kLastRow, static_cast<int>(data_->rows.size()));
    auto filled = [&](int r) { return r <= limit && !isEmpty(r, column); };
    if (row < kLastRow && filled(row) && filled(row + 1)) {
        int r = row + 1;
        while (r < kLastRow) {
            readAhead(r + 1, column);
            if (!filled(r + 1)) break;
            ++r;
        }
        return r;
    }
    for (int r = row + 1; r <= limit; ++r) {
        readAhead(r, column);
        if (filled(r)) return r;
    }
    return kLastRow;
}

std::uint64_t Sheet::revision() const {
    return data_->revision;
}

int Sheet::lastUsedRow() const {
    for (std::size_t r = data_->rows.size(); r > 0; --r) {
        if (!data_->rows[r - 1].cells.empty()) return static_cast<int>(r);
    }
    return 0;
}

void Sheet::deleteRow(int row) {
    checkCell(row, 1);
    SheetData& sheet = *data_;
    sheet.revision = nextRevision();
    followDeletedRowInFormulas(sheet, row - 1);
    const auto index = static_cast<std::size_t>(row - 1);
    if (index < sheet.rows.size())
        sheet.rows.erase(sheet.rows.begin() + static_cast<std::ptrdiff_t>(index));
    shiftAnchoredRecords(sheet, row - 1);
    sheet.changed = true;
}

void Sheet::permuteRows(int firstRow, int firstColumn, int lastColumn, std::span<const int> order) {
    const int count = static_cast<int>(order.size());
    if (count == 0) return;
    checkCell(firstRow, firstColumn);
    checkCell(firstRow + count - 1, lastColumn);
    if (lastColumn < firstColumn) throw std::invalid_argument("permuteRows: empty column range");
    std::vector<int> newRowOf(order.size(), -1);
    bool identity = true;
    for (int i = 0; i < count; ++i) {
        const int from = order[static_cast<std::size_t>(i)];
        if (from < 0 || from >= count || newRowOf[static_cast<std::size_t>(from)] >= 0) {
            throw std::invalid_argument("permuteRows: order is not a permutation");
        }
        newRowOf[static_cast<std::size_t>(from)] = firstRow - 1 + i;
        identity = identity && from == i;
    }
    if (identity) return;

    SheetData& sheet = *data_;
    sheet.revision = nextRevision();
    followPermutedRowsInFormulas(sheet, firstRow - 1, firstColumn - 1, lastColumn - 1, newRowOf);
    const int first0 = firstRow - 1;
    const auto low = static_cast<std::uint16_t>(firstColumn - 1);
    const auto high = static_cast<std::uint16_t>(lastColumn - 1);
    auto bounds = [&](std::vector<Cell>& cells) {
        auto begin = std::lower_bound(cells.begin(), cells.end(), low, sameColumn);
        auto end =
            std::lower_bound(begin, cells.end(), static_cast<std::uint16_t>(high + 1), sameColumn);
        return std::pair{begin, end};
    };
    // Take the blocks out, then put each into its new row. Rows that keep their place are
    // left alone, and a row whose cells all lie in the moved columns hands over its whole
    // list of cells, so that the common sort after one change copies almost nothing.
    std::vector<std::vector<Cell>> blocks(order.size());
    const int available = std::min<int>(count, static_cast<int>(sheet.rows.size()) - first0);
    for (int i = 0; i < available; ++i) {
        if (order[static_cast<std::size_t>(i)] == i) continue;
        auto& cells = sheet.rows[static_cast<std::size_t>(first0 + i)].cells;
        auto [begin, end] = bounds(cells);
        if (begin == end) continue;
        auto& block = blocks[static_cast<std::size_t>(i)];
        if (begin == cells.begin() && end == cells.end()) {
            block.swap(cells);
        } else {
            block.assign(begin, end);
            cells.erase(begin, end);
        }
    }
    for (int i = 0; i < count; ++i) {
        const int from = order[static_cast<std::size_t>(i)];
        if (from == i) continue;
        auto& block = blocks[static_cast<std::size_t>(from)];
        if (block.empty()) continue;
        auto& cells = sheet.rowForWrite(first0 + i).cells;
        if (cells.empty()) {
            cells.swap(block);
            continue;
        }
        auto [begin, end] = bounds(cells);
        cells.insert(begin, block.begin(), block.end());
    }
    permuteAnchoredRecords(sheet, first0, firstColumn - 1, lastColumn - 1, newRowOf);
    sheet.changed = true;
}

// ---- Workbook -------------------------------------------------------------------------------

Workbook Workbook::open(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes = readWholeFile(path);
    return Workbook(readWorkbook(bytes, path.filename().string(), &bytes));
}

Workbook Workbook::fromBytes(std::span<const std::uint8_t> bytes, const std::string& displayName) {
    return Workbook(readWorkbook(bytes, displayName, nullptr));
}

Workbook::Workbook(std::unique_ptr<WorkbookData> data) : data_(std::move(data)) {
    bindSheets();
}

Workbook::Workbook(const Workbook& other) : data_(std::make_unique<WorkbookData>(*other.data_)) {
    bindSheets();
}

Workbook& Workbook::operator=(const Workbook& other) {
    if (this != &other) {
        data_ = std::make_unique<WorkbookData>(*other.data_);
        bindSheets();
    }
    return *this;
}

Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

void Workbook::bindSheets() {
    sheets_.clear();
    sheets_.reserve(data_->sheets.size());
    for (SheetData& sheetData : data_->sheets) {
        sheetData.book = data_.get();
        sheetData.revision = nextRevision();
        sheets_.push_back(Sheet(&sheetData));
    }
}

std::size_t Workbook::sheetCount() const {
    return sheets_.size();
}
Sheet& Workbook::sheetAt(std::size_t index) {
    return sheets_.at(index);
}
const Sheet& Workbook::sheetAt(std::size_t index) const {
    return sheets_.at(index);
}

Sheet* Workbook::sheet(std::string_view name) {
    const icu::UnicodeString wanted = icu::UnicodeString::fromUTF8(
        icu::StringPiece(name.data(), static_cast<std::int32_t>(name.size())));
    for (Sheet& candidate : sheets_) {
        const icu::UnicodeString have = icu::UnicodeString::fromUTF8(candidate.name());
        if (have.caseCompare(wanted, U_FOLD_CASE_DEFAULT) == 0) return &candidate;
    }
    return nullptr;
}

const Sheet* Workbook::sheet(std::string_view name) const {
    return const_cast<Workbook*>(this)->sheet(name);
}

void Workbook::prepareForChanges() {
    if (data_->strings) data_->strings->buildLookupInBackground();
}

bool Workbook::uses1904DateSystem() const {
    return data_->dateSystem1904;
}

namespace {

// The container as it is written: every entry as read, the workbook stream regenerated.
CompoundFile containerToWrite(const WorkbookData& data) {
    CompoundFile container = *data.container;
    CompoundEntry* stream = container.findStream(data.streamName);
    if (stream == nullptr) throw std::logic_error("workbook stream missing from its container");
    stream->data = writeWorkbookStream(data);
    return container;
}

}  // namespace

std::vector<std::uint8_t> Workbook::toBytes() const {
    return writeCompoundFile(containerToWrite(*data_));
}

void Workbook::save(const std::filesystem::path& path) const {
    const auto notWritten = [&] {
        return ArchiveError(ArchiveProblem::WriteFailed,
                            messages::notWritten(path.filename().string()));
    };
    CompoundFile container;
    try {
        container = containerToWrite(*data_);
    } catch (const ArchiveError&) {
        throw;
    } catch (const std::exception&) {
        throw notWritten();
    }
    // The container goes straight into the temporary file: the bytes of the whole file are
    // never gathered in memory beside the workbook stream.
    replaceFileAtomically(path, [&](const PositionedWrite& write) {
        try {
            writeCompoundFile(container, write);
        } catch (const ArchiveError&) {
            throw;
        } catch (const std::exception&) {
            throw notWritten();
        }
    });
}

}  // namespace clivara::archive
