#include "archive/formulas/formula_row_moves.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "archive/container/format_violation.h"
#include "archive/formulas/formula_tokens.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"
#include "archive/rows/row_ranges.h"

namespace clivara::archive {

Cell cachedValue(const Cell& cell, const Formula& formula, WorkbookData& book) {
    Cell value = cell;
    value.payload = 0;
    switch (formula.result) {
        case FormulaResult::Number:
            value.type = CellType::Number;
            value.setNumber(formula.number);
            break;
        case FormulaResult::Text:
        case FormulaResult::EmptyText:
            value.type = CellType::Text;
            value.payload = book.mutableStrings().add(
                formula.result == FormulaResult::Text ? formula.text : std::string());
            break;
        case FormulaResult::Boolean:
            value.type = CellType::Boolean;
            value.payload = formula.code != 0 ? 1 : 0;
            break;
        case FormulaResult::Error:
            value.type = CellType::Error;
            value.payload = formula.code;
            break;
    }
    return value;
}

namespace {

constexpr std::uint16_t kExternSheet = 0x0017, kName = 0x0018, kSupBook = 0x01AE, kBrai = 0x1051,
                        kCfHeader12 = 0x0879, kCf12 = 0x087A;
constexpr std::uint16_t kSharedFlag = 0x0008;  // FORMULA grbit: the cell uses a shared formula

// Offsets inside the bodies of the formula records: where the token count stands (the tokens
// follow it).
constexpr std::size_t kFormulaCce = 20, kSharedCce = 8, kArrayCce = 12;

// ---- a formula cell's records ---------------------------------------------------------------

struct Piece {
    std::uint16_t id = 0;
    std::size_t at = 0;    // header position in Formula::records
    std::size_t size = 0;  // body length
};

bool isFormulaId(std::uint16_t id) {
    return id == rec::kFormula || id == rec::kFormula2 || id == rec::kFormula4;
}

std::optional<std::vector<Piece>> piecesOf(std::span<const std::uint8_t> records) {
    std::vector<Piece> pieces;
    std::size_t at = 0;
    while (at < records.size()) {
        if (records.size() - at < 4) return std::nullopt;
        Piece piece{readU16(records, at), at, readU16(records, at + 2)};
        if (piece.size > records.size() - at - 4) return std::nullopt;
        pieces.push_back(piece);
        at += 4 + piece.size;
    }
    if (pieces.empty() || !isFormulaId(pieces.front().id)) return std::nullopt;
    return pieces;
}

// Offset and length of the tokens in a body whose u16 token count stands at cceAt.
std::optional<std::pair<std::size_t, std::size_t>> tokenRange(std::span<const std::uint8_t> body,
                                                              std::size_t cceAt) {
    if (body.size() < cceAt + 2) return std::nullopt;
    const std::size_t cce = readU16(body, cceAt);
    if (cce > body.size() - cceAt - 2) return std::nullopt;
    return std::pair{cceAt + 2, cce};
}

std::optional<std::span<std::uint8_t>> tokensOf(std::span<std::uint8_t> body, std::size_t cceAt) {
    const auto range = tokenRange(body, cceAt);
    if (!range) return std::nullopt;
    return body.subspan(range->first, range->second);
}

std::span<std::uint8_t> bodyOf(Formula& formula, const Piece& piece) {
    return std::span<std::uint8_t>(formula.records).subspan(piece.at + 4, piece.size);
}

// The cell a formula made of one Exp or Table token points at.
struct Pointer {
    TokenKind kind = TokenKind::Exp;
    int row = 0, column = 0;
};

std::optional<Pointer> pointerOf(std::span<const std::uint8_t> tokens) {
    if (tokens.size() != 5 || (tokens[0] != 0x01 && tokens[0] != 0x02)) return std::nullopt;
    return Pointer{tokens[0] == 0x01 ? TokenKind::Exp : TokenKind::Table, readU16(tokens, 1),
                   readU16(tokens, 3)};
}

// ---- the cells of a sheet that hold formulas ---------------------------------------------

struct FormulaCell {
    int row = 0;
    Cell* cell = nullptr;
    Formula& formula(SheetData& sheet) const { return sheet.formulas[cell->payload]; }
};

std::vector<FormulaCell> formulaCells(SheetData& sheet) {
    std::vector<FormulaCell> cells;
    if (sheet.formulas.empty()) {
        return cells;  // no cell can refer to a formula: the walk over every row is not needed
    }
    for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
        for (Cell& cell : sheet.rows[r].cells) {
            if (cell.type == CellType::Formula && cell.payload < sheet.formulas.size()) {
                cells.push_back({static_cast<int>(r), &cell});
            }
        }
    }
    return cells;
}

void freeze(SheetData& sheet, const FormulaCell& at, const std::string& reason) {
    if (at.cell->type != CellType::Formula) return;
    Formula& formula = at.formula(sheet);
    bool isVolatile = false;
    if (const auto pieces = piecesOf(formula.records)) {
        if (const auto tokens = tokensOf(bodyOf(formula, pieces->front()), kFormulaCce)) {
            if (const auto walk = walkFormulaTokens(*tokens)) isVolatile = walk->isVolatile;
        }
    }
    sheet.frozenFormulas.push_back({at.row + 1, at.cell->column + 1, reason, isVolatile});
    *at.cell = cachedValue(*at.cell, formula, *sheet.book);
    sheet.changed = true;
}

// ---- which sheet a 3-D reference names -----------------------------------------------------

class SheetLinks {
  public:
    explicit SheetLinks(const WorkbookData& book) {
        std::vector<int> tabOfRecord(book.globals.size(), -1);
        int tabs = 0, books = 0;
        for (std::size_t i = 0; i < book.globals.size(); ++i) {
            const KeptRecord& record = book.globals[i];
            if (record.source != KeptRecord::Source::Stream &&
                record.source != KeptRecord::Source::Owned) {
                continue;
            }
            if (record.id == rec::kBoundSheet) tabOfRecord[i] = tabs++;
            if (record.id == kSupBook) {
                const auto body = recordBytes(book, nullptr, record).subspan(4);
                if (body.size() == 4 && readU16(body, 2) == 0x0401 && internal_ < 0) {
                    internal_ = books;
                }
                ++books;
            }
            if (record.id == kExternSheet && !externSeen_) {
                externSeen_ = true;
                readExternSheet(book, i);
            }
        }
        tabOfSheet_.assign(book.sheets.size(), -1);
        for (const Substream& sub : book.substreams) {
            if (sub.sheet >= 0 && static_cast<std::size_t>(sub.sheet) < tabOfSheet_.size() &&
                sub.boundSheetRecord < tabOfRecord.size()) {
                tabOfSheet_[static_cast<std::size_t>(sub.sheet)] =
                    tabOfRecord[sub.boundSheetRecord];
            }
        }
    }

    int tabOf(const WorkbookData& book, const SheetData& sheet) const {
        const auto index = static_cast<std::size_t>(&sheet - book.sheets.data());
        return index < tabOfSheet_.size() ? tabOfSheet_[index] : -1;
    }

    SheetTarget target(std::uint16_t ixti, int changedTab) const {
        if (ixti >= entries_.size()) return SheetTarget::Unknown;
        const Entry& entry = entries_[ixti];
        if (entry.book != internal_ || internal_ < 0) return SheetTarget::Other;
        const int first = std::min(entry.first, entry.last);
        const int last = std::max(entry.first, entry.last);
        if (first == changedTab && last == changedTab) return SheetTarget::Changed;
        if (first <= changedTab && changedTab <= last) return SheetTarget::Spanning;
        return SheetTarget::Other;
    }

  private:
    struct Entry {
        int book, first, last;
    };

    void readExternSheet(const WorkbookData& book, std::size_t index) {
        std::vector<std::uint8_t> body;
        for (std::size_t i = index; i < book.globals.size(); ++i) {
            const KeptRecord& record = book.globals[i];
            if (i > index && record.id != rec::kContinue) break;
            const auto bytes = recordBytes(book, nullptr, record);
            body.insert(body.end(), bytes.begin() + 4, bytes.end());
        }
        if (body.size() < 2) return;
        const std::size_t count = std::min<std::size_t>(readU16(body, 0), (body.size() - 2) / 6);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = 2 + 6 * i;
            entries_.push_back({readU16(body, at), static_cast<std::int16_t>(readU16(body, at + 2)),
                                static_cast<std::int16_t>(readU16(body, at + 4))});
        }
    }

    int internal_ = -1;
    bool externSeen_ = false;
    std::vector<Entry> entries_;
    std::vector<int> tabOfSheet_;
};

// ---- shared formulas -------------------------------------------------------------------------

// Gives every cell that uses a shared formula the formula's tokens of its own, so that each
// cell's references can follow its row alone; the SHRFMLA records go. With onlyWhenThreeD, only
// a sheet whose shared formulas hold 3-D references (or unreadable tokens) is changed.
void unshareFormulas(SheetData& sheet, bool onlyWhenThreeD) {
    struct Shared {
        int firstRow, firstColumn, ownerRow, ownerColumn;
        std::vector<std::uint8_t> tokens, extra;
    };
    std::vector<Shared> shared;
    bool threeD = false;
    const auto cells = formulaCells(sheet);
    for (const FormulaCell& at : cells) {
        Formula& formula = at.formula(sheet);
        if (!formula.ownsSharedRecords) continue;
        const auto pieces = piecesOf(formula.records);
        if (!pieces) continue;
        for (const Piece& piece : *pieces) {
            if (piece.id != rec::kShrFmla) continue;
            const auto body = bodyOf(formula, piece);
            const auto range = tokenRange(body, kSharedCce);
            if (body.size() < 6 || !range) continue;
            Shared entry{readU16(body, 0), body[4], at.row, at.cell->column, {}, {}};
            const auto tokens = body.subspan(range->first, range->second);
            entry.tokens.assign(tokens.begin(), tokens.end());
            entry.extra.assign(tokens.end(), body.end());
            const auto walk = walkFormulaTokens(tokens);
            threeD = threeD || !walk ||
                     std::any_of(walk->tokens.begin(), walk->tokens.end(), [](const auto& t) {
                         return t.kind == TokenKind::Ref3d || t.kind == TokenKind::Area3d;
                     });
            shared.push_back(std::move(entry));
        }
    }
    if (shared.empty() || (onlyWhenThreeD && !threeD)) return;

    for (const FormulaCell& at : cells) {
        Formula& formula = at.formula(sheet);
        const auto pieces = piecesOf(formula.records);
        if (!pieces) continue;
        auto head = bodyOf(formula, pieces->front());
        const auto tokens = tokensOf(head, kFormulaCce);
        const auto pointer = tokens ? pointerOf(*tokens) : std::nullopt;
        const Shared* source = nullptr;
        if (pointer && pointer->kind == TokenKind::Exp) {
            for (const Shared& entry : shared) {
                if ((entry.firstRow == pointer->row && entry.firstColumn == pointer->column) ||
                    (entry.ownerRow == pointer->row && entry.ownerColumn == pointer->column)) {
                    source = &entry;
                    break;
                }
            }
        }
        std::vector<std::uint8_t> records;
        bool ownsShared = false;
        if (source != nullptr) {
            std::vector<std::uint8_t> body(head.begin(), head.begin() + kFormulaCce);
            patchU16(body, 14, static_cast<std::uint16_t>(readU16(body, 14) & ~kSharedFlag));
            putU16(body, static_cast<std::uint16_t>(source->tokens.size()));
            const std::size_t tokensAt = body.size();
            body.insert(body.end(), source->tokens.begin(), source->tokens.end());
            body.insert(body.end(), source->extra.begin(), source->extra.end());
            if (body.size() > kMaxRecordBody ||
                !resolveSharedTokens(
                    std::span<std::uint8_t>(body).subspan(tokensAt, source->tokens.size()), at.row,
                    at.cell->column)) {
                freeze(sheet, at, "formula condivisa non leggibile");
                continue;
            }
            putRecord(records, pieces->front().id, body);
        } else {
            const auto& first = pieces->front();
            records.assign(
                formula.records.begin(),
                formula.records.begin() + static_cast<std::ptrdiff_t>(first.at + 4 + first.size));
        }
        for (std::size_t i = 1; i < pieces->size(); ++i) {
            const Piece& piece = (*pieces)[i];
            if (piece.id == rec::kShrFmla) continue;
            ownsShared = ownsShared || piece.id == rec::kArray || piece.id == rec::kTable;
            const auto begin = formula.records.begin() + static_cast<std::ptrdiff_t>(piece.at);
            records.insert(records.end(), begin,
                           begin + static_cast<std::ptrdiff_t>(4 + piece.size));
        }
        formula.records = std::move(records);
        formula.ownsSharedRecords = ownsShared;
    }
    sheet.changed = true;
}

// ---- array formulas and data tables ------------------------------------------------------------

struct Block {
    FormulaCell owner;
    Piece piece;  // the ARRAY or TABLE record among the owner's records
    int firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    std::vector<FormulaCell> members;  // the cells that point at the block, the owner included
};

std::vector<Block> blocksOf(SheetData& sheet, std::uint16_t id) {
    std::vector<Block> blocks;
    const auto cells = formulaCells(sheet);
    for (const FormulaCell& at : cells) {
        Formula& formula = at.formula(sheet);
        if (!formula.ownsSharedRecords) continue;
        const auto pieces = piecesOf(formula.records);
        if (!pieces) continue;
        for (const Piece& piece : *pieces) {
            if (piece.id != id || piece.size < 6) continue;
            const auto body = bodyOf(formula, piece);
            Block block{at, piece, readU16(body, 0), readU16(body, 2), body[4], body[5], {}};
            blocks.push_back(block);
        }
    }
    const TokenKind kind = id == rec::kArray ? TokenKind::Exp : TokenKind::Table;
    for (const FormulaCell& at : cells) {
        Formula& formula = at.formula(sheet);
        const auto pieces = piecesOf(formula.records);
        if (!pieces) continue;
        const auto tokens = tokensOf(bodyOf(formula, pieces->front()), kFormulaCce);
        const auto pointer = tokens ? pointerOf(*tokens) : std::nullopt;
        if (!pointer || pointer->kind != kind) continue;
        for (Block& block : blocks) {
            const bool points =
                (pointer->row == block.firstRow && pointer->column == block.firstColumn) ||
                (pointer->row == block.owner.row && pointer->column == block.owner.cell->column);
            if (points) {
                block.members.push_back(at);
                break;
            }
        }
    }
    for (Block& block : blocks) {
        const bool listed =
            std::any_of(block.members.begin(), block.members.end(),
                        [&](const FormulaCell& m) { return m.cell == block.owner.cell; });
        if (!listed) block.members.push_back(block.owner);
    }
    return blocks;
}

void freezeBlock(SheetData& sheet, const Block& block, const std::string& reason) {
    for (const FormulaCell& member : block.members) freeze(sheet, member, reason);
}

// Moves an array formula `delta` rows: its range and the pointer of every cell in it.
void moveBlock(SheetData& sheet, const Block& block, int delta) {
    auto body = bodyOf(block.owner.formula(sheet), block.piece);
    patchU16(body, 0, static_cast<std::uint16_t>(block.firstRow + delta));
    patchU16(body, 2, static_cast<std::uint16_t>(block.lastRow + delta));
    for (const FormulaCell& member : block.members) {
        Formula& formula = member.formula(sheet);
        const auto pieces = piecesOf(formula.records);
        if (!pieces) continue;
        if (auto tokens = tokensOf(bodyOf(formula, pieces->front()), kFormulaCce)) {
            if (pointerOf(*tokens))
                patchU16(*tokens, 1, static_cast<std::uint16_t>(readU16(*tokens, 1) + delta));
        }
    }
    sheet.changed = true;
}

// Rewrites the tokens of an array formula; false when one cannot follow.
bool rewriteBlockTokens(SheetData& sheet, const Block& block, const RowRewrite& how) {
    auto tokens = tokensOf(bodyOf(block.owner.formula(sheet), block.piece), kArrayCce);
    if (!tokens) return false;
    const RewriteResult result = rewriteFormulaRows(*tokens, how);
    if (result == RewriteResult::Changed) sheet.changed = true;
    return result != RewriteResult::Unsafe;
}

// ---- the cell formulas of one sheet -------------------------------------------------------------

// Rewrites the own tokens of every formula cell for which `how` gives a rewrite; a formula
// whose tokens cannot follow is frozen.
template <typename HowFor>
void rewriteCellFormulas(SheetData& sheet, HowFor howFor) {
    for (const FormulaCell& at : formulaCells(sheet)) {
        const std::optional<RowRewrite> how = howFor(at);
        if (!how) continue;
        Formula& formula = at.formula(sheet);
        const auto pieces = piecesOf(formula.records);
        const auto tokens =
            pieces ? tokensOf(bodyOf(formula, pieces->front()), kFormulaCce) : std::nullopt;
        if (!tokens) {
            freeze(sheet, at, "formula non leggibile");
            continue;
        }
        if (pointerOf(*tokens)) continue;  // follows its array formula or table
        switch (rewriteFormulaRows(*tokens, *how)) {
            case RewriteResult::Unchanged:
                break;
            case RewriteResult::Changed:
                sheet.changed = true;
                break;
            case RewriteResult::Unsafe:
                freeze(sheet, at, "un elemento della formula non può seguire le righe");
                break;
        }
    }
}

// ---- records holding formulas ------------------------------------------------------------------

// Rewrites the tokens at [at, at + length) of `body`; true when the body changed.
bool rewriteIn(std::vector<std::uint8_t>& body, std::size_t at, std::size_t length,
               const RowRewrite& how) {
    if (at > body.size() || length > body.size() - at) return false;
    return rewriteFormulaRows(std::span<std::uint8_t>(body).subspan(at, length), how) ==
           RewriteResult::Changed;
}

// The same for tokens preceded by their u16 count at cceAt.
bool rewriteCounted(std::vector<std::uint8_t>& body, std::size_t cceAt, const RowRewrite& how) {
    const auto range = tokenRange(body, cceAt);
    return range && rewriteIn(body, range->first, range->second, how);
}

// The formulas of conditional formats and validations: their relative references start
// from the first cell of the range they apply to.
void rewriteRuleFormulas(SheetData& sheet, RowRewrite how) {
    const int deleted = how.deleted;
    auto base = [&](int row) {
        how.baseRow = row;
        how.newBaseRow = row > deleted ? row - 1 : row;
    };
    int headerRow = 0, header12Row = 0;
    for (KeptRecord& record : sheet.records) {
        if (!isEditable(record)) continue;
        const std::uint16_t id = record.id;
        if (id != rec::kCfHeader && id != rec::kCf && id != kCfHeader12 && id != kCf12 &&
            id != rec::kDv) {
            continue;
        }
        try {
            const auto bytes = recordBytes(*sheet.book, &sheet, record);
            std::vector<std::uint8_t> body(bytes.begin() + 4, bytes.end());
            bool changed = false;
            if (id == rec::kCfHeader) {
                headerRow = readU16(body, 4);
                continue;
            }
            if (id == kCfHeader12) {
                header12Row = readU16(body, 16);
                continue;
            }
            if (id == rec::kCf) {
                base(headerRow);
                const std::size_t first = readU16(body, 2), second = readU16(body, 4);
                if (body.size() < 6 + first + second) continue;
                const std::size_t at = body.size() - first - second;
                changed = rewriteIn(body, at, first, how);
                changed = rewriteIn(body, at + first, second, how) || changed;
            } else if (id == kCf12) {
                base(header12Row);
                const std::size_t first = readU16(body, 14), second = readU16(body, 16);
                const std::size_t dxf = readU32(body, 18);
                std::size_t at = 22 + (dxf == 0 ? 2 : dxf);
                changed = rewriteIn(body, at, first, how);
                changed = rewriteIn(body, at + first, second, how) || changed;
                at += first + second;
                changed = rewriteCounted(body, at, how) || changed;
            } else {  // DV: flags, four strings, two formulas, then the ranges
                ByteReader in(body);
                in.u32();
                for (int i = 0; i < 4; ++i) readUnicodeString16(in);
                std::size_t formulas[2] = {0, 0};
                for (std::size_t& f : formulas) {
                    f = in.position();
                    const std::size_t length = in.u16();
                    in.skip(2 + length);
                }
                const std::size_t ranges = in.position();
                base(readU16(body, ranges) > 0 ? readU16(body, ranges + 2) : 0);
                for (const std::size_t f : formulas) {
                    changed = rewriteIn(body, f + 4, readU16(body, f), how) || changed;
                }
            }
            if (changed) {
                record = ownedRecord(sheet.owned, record, body);
                sheet.changed = true;
            }
        } catch (const FormatViolation&) {
            // a record we cannot read keeps its formulas as they were
        }
    }
}

// Chart series and labels (BRAI) of charts embedded in a sheet.
void rewriteEmbeddedCharts(SheetData& sheet, const RowRewrite& how) {
    for (KeptRecord& record : sheet.records) {
        if (!isEditable(record) || record.id != kBrai) continue;
        const auto bytes = recordBytes(*sheet.book, &sheet, record);
        std::vector<std::uint8_t> body(bytes.begin() + 4, bytes.end());
        if (rewriteCounted(body, 6, how)) {
            record = ownedRecord(sheet.owned, record, body);
            sheet.changed = true;
        }
    }
}

// Chart sheets: substreams kept as they are, written again when a series changed.
void rewriteChartSheets(WorkbookData& book, const RowRewrite& how) {
    for (Substream& sub : book.substreams) {
        if (sub.sheet >= 0) continue;
        const std::span<const std::uint8_t> bytes =
            sub.rewritten ? std::span<const std::uint8_t>(*sub.rewritten)
                          : std::span<const std::uint8_t>(*book.stream)
                                .subspan(sub.start, sub.end - sub.start);
        try {
            std::vector<std::uint8_t> out;
            bool changed = false;
            RecordReader reader(bytes);
            while (!reader.atEnd()) {
                const RecordView view = reader.next();
                std::vector<std::uint8_t> body(view.body.begin(), view.body.end());
                if (view.id == kBrai) changed = rewriteCounted(body, 6, how) || changed;
                putRecord(out, view.id, body);
            }
            if (changed && out.size() == bytes.size()) {
                sub.rewritten = std::make_shared<const std::vector<std::uint8_t>>(std::move(out));
            }
        } catch (const FormatViolation&) {
            // a substream we cannot walk stays as it is
        }
    }
}

// Defined names: print areas, autofilter ranges, the user's names.
void rewriteNames(WorkbookData& book, RowRewrite how) {
    how.localReferencesOnChangedSheet = false;
    how.relative3dAreOffsets = true;
    for (KeptRecord& record : book.globals) {
        if (!isEditable(record) || record.id != kName) continue;
        const auto bytes = recordBytes(book, nullptr, record);
        std::vector<std::uint8_t> body(bytes.begin() + 4, bytes.end());
        if (body.size() < 15) continue;
        const std::size_t characters = body[3];
        const std::size_t cce = readU16(body, 4);
        const std::size_t at = 15 + characters * ((body[14] & 0x01) ? 2 : 1);
        if (rewriteIn(body, at, cce, how)) record = ownedRecord(book.ownedGlobals, record, body);
    }
}

}  // namespace

void followDeletedRowInFormulas(SheetData& sheet, int deleted) {
    WorkbookData& book = *sheet.book;
    const SheetLinks links(book);
    const int changedTab = links.tabOf(book, sheet);
    RowRewrite how;
    how.mode = RowRewrite::Mode::DeleteRow;
    how.deleted = deleted;
    how.sheetOf = [&links, changedTab](std::uint16_t ixti) {
        return changedTab < 0 ? SheetTarget::Unknown : links.target(ixti, changedTab);
    };

    for (SheetData& other : book.sheets) {
        const bool self = &other == &sheet;
        RowRewrite here = how;
        here.localReferencesOnChangedSheet = self;
        unshareFormulas(other, !self);
        rewriteCellFormulas(other, [&](const FormulaCell& at) -> std::optional<RowRewrite> {
            if (self && at.row == deleted) return std::nullopt;  // goes with its row
            return here;
        });
        for (const Block& block : blocksOf(other, rec::kArray)) {
            const bool across = self && block.firstRow <= deleted && deleted <= block.lastRow;
            if (across) {
                freezeBlock(other, block, "formula matrice sulla riga eliminata");
            } else if (!rewriteBlockTokens(other, block, here)) {
                freezeBlock(other, block, "un elemento della formula non può seguire le righe");
            } else if (self && block.firstRow > deleted) {
                moveBlock(other, block, -1);
            }
        }
        if (self) {
            for (const Block& block : blocksOf(other, rec::kTable)) {
                const auto body = bodyOf(block.owner.formula(other), block.piece);
                int reach = block.lastRow;
                if (body.size() >= 16) {
                    reach = std::max({reach, int{readU16(body, 8)}, int{readU16(body, 12)}});
                }
                if (deleted <= reach) freezeBlock(other, block, "tabella dati spostata");
            }
            rewriteRuleFormulas(other, here);
        }
        RowRewrite charts = how;
        charts.localReferencesOnChangedSheet = false;
        rewriteEmbeddedCharts(other, charts);
    }
    RowRewrite charts = how;
    charts.localReferencesOnChangedSheet = false;
    rewriteNames(book, charts);
    rewriteChartSheets(book, charts);
    // The list of frozen formulas says where their values stand once the rows have moved.
    for (FrozenFormula& frozen : sheet.frozenFormulas) {
        if (frozen.row > 0) frozen.row = shiftRow(frozen.row - 1, deleted).value_or(-1) + 1;
    }
}

void followPermutedRowsInFormulas(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                                  const std::vector<int>& newRowOf) {
    const int count = static_cast<int>(newRowOf.size());
    auto target = [&](int row) { return permutedRow(row, first0, newRowOf); };
    auto inBlock = [&](int row, int column) {
        return row >= first0 && row < first0 + count && column >= firstColumn0 &&
               column <= lastColumn0;
    };
    unshareFormulas(sheet, false);
    rewriteCellFormulas(sheet, [&](const FormulaCell& at) -> std::optional<RowRewrite> {
        if (!inBlock(at.row, at.cell->column) || target(at.row) == at.row) return std::nullopt;
        RowRewrite how;
        how.mode = RowRewrite::Mode::MoveFormula;
        how.delta = target(at.row) - at.row;
        return how;
    });
    for (const Block& block : blocksOf(sheet, rec::kArray)) {
        const bool touched = block.firstRow < first0 + count && block.lastRow >= first0 &&
                             block.firstColumn <= lastColumn0 && block.lastColumn >= firstColumn0;
        if (!touched) continue;
        const bool inside =
            inBlock(block.firstRow, block.firstColumn) && inBlock(block.lastRow, block.lastColumn);
        const int delta = target(block.firstRow) - block.firstRow;
        bool together = inside;
        for (int row = block.firstRow; together && row <= block.lastRow; ++row) {
            together = target(row) - row == delta;
        }
        if (!together) {
            freezeBlock(sheet, block, "formula matrice divisa dall'ordinamento");
            continue;
        }
        if (delta == 0) continue;
        RowRewrite how;
        how.mode = RowRewrite::Mode::MoveFormula;
        how.delta = delta;
        if (!rewriteBlockTokens(sheet, block, how)) {
            freezeBlock(sheet, block, "un elemento della formula non può seguire le righe");
            continue;
        }
        moveBlock(sheet, block, delta);
    }
    for (const Block& block : blocksOf(sheet, rec::kTable)) {
        const bool moved =
            std::any_of(block.members.begin(), block.members.end(), [&](const auto& m) {
                return inBlock(m.row, m.cell->column) && target(m.row) != m.row;
            });
        if (moved) freezeBlock(sheet, block, "tabella dati spostata");
    }
    for (FrozenFormula& frozen : sheet.frozenFormulas) {
        if (frozen.row > 0 && inBlock(frozen.row - 1, frozen.column - 1)) {
            frozen.row = target(frozen.row - 1) + 1;
        }
    }
}

}  // namespace clivara::archive
