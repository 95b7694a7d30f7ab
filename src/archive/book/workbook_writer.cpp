// Writing the model back as a workbook stream: the globals as they were (sheet positions, the
// shared strings and their index regenerated), unchanged sheets copied whole, changed sheets
// with a regenerated INDEX, DIMENSIONS and cell table between their own records.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "archive/book/workbook_io.h"
#include "archive/container/large_buffer.h"
#include "archive/records/biff_stream.h"

namespace clivara::archive {

namespace {

constexpr std::size_t kRowsPerBlock = 32;

void appendBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Adds `delta` (modulo 2^32) to the non-zero positions an INDEX body holds.
void shiftIndex(std::span<std::uint8_t> record, std::uint32_t delta) {
    for (std::size_t at = 4 + 12; at + 4 <= record.size(); at += 4) {
        const std::uint32_t position = readU32(record, at);
        if (position != 0) patchU32(record, at, position + delta);
    }
}

std::uint16_t u16(std::size_t value) {
    return static_cast<std::uint16_t>(value);
}
std::uint32_t u32(std::size_t value) {
    return static_cast<std::uint32_t>(value);
}

void putCellHeader(std::vector<std::uint8_t>& out, std::uint16_t id, std::uint16_t length, int row,
                   const Cell& cell) {
    putU16(out, id);
    putU16(out, length);
    putU16(out, u16(row));
    putU16(out, cell.column);
    putU16(out, cell.xf);
}

// The RK form of a number when one holds it exactly.
bool toRk(double value, std::uint32_t& rk) {
    constexpr double kLow = -536870912.0, kHigh = 536870911.0;
    if (std::trunc(value) == value && value >= kLow && value <= kHigh) {
        rk = (static_cast<std::uint32_t>(static_cast<std::int32_t>(value)) << 2) | 0x2;
        return true;
    }
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = static_cast<std::uint32_t>(bits >> 32);
        return true;
    }
    return false;
}

class SheetWriter {
  public:
    SheetWriter(const WorkbookData& book, const SheetData& sheet, std::vector<std::uint8_t>& out)
        : book_(book), sheet_(sheet), out_(out) {}

    void write() {
        std::size_t lastGroup = SIZE_MAX;
        for (std::size_t r = 0; r < sheet_.rows.size(); ++r) {
            const Row& row = sheet_.rows[r];
            if (!row.hasRecord && row.cells.empty()) continue;
            rows_.push_back(static_cast<int>(r));
            if (r / kRowsPerBlock != lastGroup) {
                ++blocks_;
                lastGroup = r / kRowsPerBlock;
            }
        }
        std::size_t indexAt = 0;
        bool hasIndex = false;
        std::uint32_t defColWidth = 0;
        for (const KeptRecord& record : sheet_.records) {
            switch (record.source) {
                case KeptRecord::Source::Index:
                    indexAt = out_.size();
                    hasIndex = true;
                    putU16(out_, rec::kIndex);
                    putU16(out_, u16(16 + 4 * blocks_));
                    out_.resize(out_.size() + 16 + 4 * blocks_, 0);
                    break;
                case KeptRecord::Source::Dimensions:
                    writeDimensions();
                    break;
                case KeptRecord::Source::CellTable:
                    writeCells();
                    break;
                default:
                    if (record.id == rec::kDefColWidth) defColWidth = u32(out_.size());
                    appendBytes(out_, recordBytes(book_, &sheet_, record));
                    break;
            }
        }
        if (hasIndex) {
            const std::size_t body = indexAt + 4;
            if (!rows_.empty()) {
                patchU32(out_, body + 4, u32(rows_.front()));
                patchU32(out_, body + 8, u32(rows_.back() + 1));
            }
            patchU32(out_, body + 12, defColWidth);
            for (std::size_t i = 0; i < dbCells_.size() && i < blocks_; ++i) {
                patchU32(out_, body + 16 + 4 * i, dbCells_[i]);
            }
        }
    }

  private:
    void writeDimensions() {
        std::uint32_t firstRow = 0, lastRow = 0;
        std::uint16_t firstColumn = 0, lastColumn = 0;
        bool any = false;
        for (std::size_t r = 0; r < sheet_.rows.size(); ++r) {
            const auto& cells = sheet_.rows[r].cells;
            if (cells.empty()) continue;
            if (!any) {
                firstRow = u32(r);
                firstColumn = cells.front().column;
                lastColumn = u16(cells.back().column + 1);
                any = true;
            }
            lastRow = u32(r + 1);
            firstColumn = std::min(firstColumn, cells.front().column);
            lastColumn = std::max(lastColumn, u16(cells.back().column + 1));
        }
        putU16(out_, rec::kDimensions);
        putU16(out_, 14);
        putU32(out_, firstRow);
        putU32(out_, lastRow);
        putU16(out_, firstColumn);
        putU16(out_, lastColumn);
        putU16(out_, 0);
    }

    void writeRow(int r) {
        const Row& row = sheet_.rows[static_cast<std::size_t>(r)];
        RowBody body = row.body;
        if (!row.hasRecord) {
            body.fill(0);
            patchU16(body, 6, 0x00FF);
            patchU16(body, 12, 0x0100);
            patchU16(body, 14, 0x000F);
        }
        patchU16(body, 0, u16(r));
        patchU16(body, 2, row.cells.empty() ? 0 : row.cells.front().column);
        patchU16(body, 4, row.cells.empty() ? 0 : u16(row.cells.back().column + 1));
        putRecord(out_, rec::kRow, body);
    }

    void writeCell(int r, const Cell& cell) {
        switch (cell.type) {
            case CellType::Blank:
                putCellHeader(out_, rec::kBlank, 6, r, cell);
                break;
            case CellType::Text:
                putCellHeader(out_, rec::kLabelSst, 10, r, cell);
                putU32(out_, static_cast<std::uint32_t>(cell.payload));
                break;
            case CellType::Number: {
                std::uint32_t rk = 0;
                if (toRk(cell.number(), rk)) {
                    putCellHeader(out_, rec::kRk, 10, r, cell);
                    putU32(out_, rk);
                } else {
                    putCellHeader(out_, rec::kNumber, 14, r, cell);
                    putF64(out_, cell.number());
                }
                break;
            }
            case CellType::Boolean:
            case CellType::Error:
                putCellHeader(out_, rec::kBoolErr, 8, r, cell);
                out_.push_back(static_cast<std::uint8_t>(cell.payload));
                out_.push_back(cell.type == CellType::Error ? 1 : 0);
                break;
            case CellType::Formula: {
                const Formula& formula = sheet_.formulas[cell.payload];
                const std::size_t at = out_.size();
                appendBytes(out_, formula.records);
                patchU16(out_, at + 4, u16(r));
                patchU16(out_, at + 6, cell.column);
                patchU16(out_, at + 8, cell.xf);
                break;
            }
        }
    }

    void writeCells() {
        std::size_t next = 0;
        while (next < rows_.size()) {
            const std::size_t group = static_cast<std::size_t>(rows_[next]) / kRowsPerBlock;
            std::size_t stop = next;
            while (stop < rows_.size() &&
                   static_cast<std::size_t>(rows_[stop]) / kRowsPerBlock == group) {
                ++stop;
            }
            const std::size_t firstRow = out_.size();
            for (std::size_t i = next; i < stop; ++i) writeRow(rows_[i]);
            std::vector<std::size_t> starts;
            for (std::size_t i = next; i < stop; ++i) {
                starts.push_back(out_.size());
                const int r = rows_[i];
                for (const Cell& cell : sheet_.rows[static_cast<std::size_t>(r)].cells) {
                    writeCell(r, cell);
                }
            }
            const std::size_t dbCell = out_.size();
            dbCells_.push_back(u32(dbCell));
            putU16(out_, rec::kDbCell);
            putU16(out_, u16(4 + 2 * starts.size()));
            putU32(out_, u32(dbCell - firstRow));
            for (std::size_t i = 0; i < starts.size(); ++i) {
                const std::size_t from = i == 0 ? firstRow + 20 : starts[i - 1];
                putU16(out_, u16(std::min<std::size_t>(starts[i] - from, 0xFFFF)));
            }
            next = stop;
        }
    }

    const WorkbookData& book_;
    const SheetData& sheet_;
    std::vector<std::uint8_t>& out_;
    std::vector<int> rows_;
    std::size_t blocks_ = 0;
    std::vector<std::uint32_t> dbCells_;
};

std::uint32_t labelSstCount(const SheetData& sheet) {
    if (!sheet.changed) return sheet.fileLabelSstCount;
    std::uint32_t count = 0;
    for (const Row& row : sheet.rows) {
        for (const Cell& cell : row.cells) count += cell.type == CellType::Text ? 1 : 0;
    }
    return count;
}

// The globals, with the string table written where it stood (or before the EOF when the
// workbook had none and now needs one). Returns where each BOUNDSHEET's offset is written.
std::vector<std::size_t> writeGlobals(const WorkbookData& book, std::vector<std::uint8_t>& out) {
    std::uint32_t references = 0;
    for (const SheetData& sheet : book.sheets) references += labelSstCount(sheet);
    const bool writeSst = book.hadSst || book.strings->size() > 0;

    std::vector<std::size_t> boundSheetAt(book.globals.size(), 0);
    for (std::size_t i = 0; i < book.globals.size(); ++i) {
        const KeptRecord& record = book.globals[i];
        if (record.source == KeptRecord::Source::Sst) {
            book.strings->appendTo(out, references);
            continue;
        }
        if (record.id == rec::kEof && writeSst && !book.hadSst) {
            book.strings->appendTo(out, references);
        }
        if (record.id == rec::kBoundSheet) boundSheetAt[i] = out.size() + 4;
        appendBytes(out, recordBytes(book, nullptr, record));
    }
    return boundSheetAt;
}

// A substream that did not change is copied byte for byte; only its INDEX, which holds
// stream offsets, follows the substream's new place.
void copySubstream(const WorkbookData& book, const Substream& sub, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    const auto original =
        std::span<const std::uint8_t>(*book.stream).subspan(sub.start, sub.end - sub.start);
    if (sub.sheet < 0) {
        appendBytes(out, sub.rewritten ? std::span<const std::uint8_t>(*sub.rewritten) : original);
        return;
    }
    const SheetData& sheet = book.sheets[static_cast<std::size_t>(sub.sheet)];
    appendBytes(out, original);
    const auto delta = static_cast<std::uint32_t>(start - sub.start);
    for (const KeptRecord& record : sheet.records) {
        if (record.source == KeptRecord::Source::Index && record.size != 0) {
            const std::size_t at = start + (record.offset - sub.start);
            shiftIndex(std::span<std::uint8_t>(out).subspan(at, record.size), delta);
        }
    }
}

}  // namespace

std::vector<std::uint8_t> writeWorkbookStream(const WorkbookData& book) {
    std::vector<std::uint8_t> out;
    // Room for some growth; only what an unchanged workbook fills is mapped in ahead.
    out.reserve(book.stream->size() + book.stream->size() / 8 + 4096);
    prepareLargeBuffer(out.data(), std::min(out.capacity(), book.stream->size()));

    const std::vector<std::size_t> boundSheetAt = writeGlobals(book, out);
    for (const Substream& sub : book.substreams) {
        patchU32(out, boundSheetAt[sub.boundSheetRecord], u32(out.size()));
        const bool rewrite =
            sub.sheet >= 0 && book.sheets[static_cast<std::size_t>(sub.sheet)].changed;
        if (rewrite) {
            SheetWriter(book, book.sheets[static_cast<std::size_t>(sub.sheet)], out).write();
        } else {
            copySubstream(book, sub, out);
        }
    }
    return out;
}

}  // namespace clivara::archive
