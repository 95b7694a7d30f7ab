#include "archive/formulas/formula_tokens.h"

#include <algorithm>

#include "archive/rows/row_ranges.h"

namespace clivara::archive {

namespace {

constexpr int kLastRow = 0xFFFF;
constexpr std::uint16_t kRowRelative = 0x8000;
constexpr std::uint16_t kColumnRelative = 0x4000;

std::uint16_t load16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

void store16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Built-in functions whose result changes without any cell changing.
bool isVolatileFunction(std::uint16_t number) {
    switch (number) {
        case 63:   // RAND
        case 74:   // NOW
        case 78:   // OFFSET
        case 125:  // CELL
        case 148:  // INDIRECT
        case 221:  // TODAY
        case 244:  // INFO
            return true;
        default:
            return false;
    }
}

// Size of the operand of a classified token (0x20..0x7F), by its base id; 0 when unknown.
std::size_t classifiedSize(std::uint8_t base, TokenKind& kind) {
    switch (base) {
        case 0x20:
            kind = TokenKind::Other;
            return 8;  // array constant
        case 0x21:
            kind = TokenKind::Function;
            return 3;  // function, fixed arguments
        case 0x22:
            kind = TokenKind::Function;
            return 4;  // function, variable arguments
        case 0x23:
            kind = TokenKind::Other;
            return 5;  // defined name
        case 0x24:
            kind = TokenKind::Ref;
            return 5;
        case 0x25:
            kind = TokenKind::Area;
            return 9;
        case 0x26:
            kind = TokenKind::Memory;
            return 7;  // memory area
        // The other memory tokens hold only the length of the subexpression after them (a
        // name's union of areas is one): same-sized rewrites of that subexpression keep it.
        case 0x27:
            kind = TokenKind::Other;
            return 7;  // memory error
        case 0x28:
            kind = TokenKind::Other;
            return 7;  // memory, no memory
        case 0x29:
            kind = TokenKind::Other;
            return 3;  // memory function
        case 0x2A:
            kind = TokenKind::RefError;
            return 5;
        case 0x2B:
            kind = TokenKind::AreaError;
            return 9;
        case 0x2C:
            kind = TokenKind::RefN;
            return 5;
        case 0x2D:
            kind = TokenKind::AreaN;
            return 9;
        case 0x38:
            kind = TokenKind::Other;
            return 5;  // pivot table name
        case 0x39:
            kind = TokenKind::Other;
            return 7;  // external name
        case 0x3A:
            kind = TokenKind::Ref3d;
            return 7;
        case 0x3B:
            kind = TokenKind::Area3d;
            return 11;
        case 0x3C:
            kind = TokenKind::RefError3d;
            return 7;
        case 0x3D:
            kind = TokenKind::AreaError3d;
            return 11;
        default:
            return 0;
    }
}

// The error form of a reference token, keeping its value class.
std::uint8_t errorForm(std::uint8_t ptg, TokenKind kind) {
    const auto type = static_cast<std::uint8_t>(ptg & 0x60);
    switch (kind) {
        case TokenKind::Ref:
        case TokenKind::RefN:
            return static_cast<std::uint8_t>(type | 0x0A);
        case TokenKind::Area:
        case TokenKind::AreaN:
            return static_cast<std::uint8_t>(type | 0x0B);
        case TokenKind::Ref3d:
            return static_cast<std::uint8_t>(type | 0x1C);
        case TokenKind::Area3d:
            return static_cast<std::uint8_t>(type | 0x1D);
        default:
            return ptg;
    }
}

// One row field of a reference and how it is stored.
struct RowField {
    std::size_t at;       // offset of the u16 row in the rgce
    std::size_t flagsAt;  // offset of the u16 column-and-flags field
};

// The rows a reference's row fields name after the change, or nothing when the reference
// must become an error. `rows` holds the absolute rows (one for a cell, two for an area).
bool deletedRows(int* rows, std::size_t count, int deleted) {
    if (count == 1) {
        const auto row = shiftRow(rows[0], deleted);
        if (row) rows[0] = *row;
        return row.has_value();
    }
    // An area's rows may be stored in either order; an area reaching the last row keeps
    // reaching it.
    const bool ordered = rows[0] <= rows[1];
    const int first = ordered ? rows[0] : rows[1], last = ordered ? rows[1] : rows[0];
    const auto shifted = shiftRange({first, last, 0, 0}, deleted);
    if (!shifted) return false;
    rows[ordered ? 0 : 1] = shifted->firstRow;
    rows[ordered ? 1 : 0] = shifted->lastRow;
    return true;
}

class Rewriter {
  public:
    Rewriter(std::span<std::uint8_t> rgce, const RowRewrite& how) : rgce_(rgce), how_(how) {}

    // False when the token cannot be followed.
    bool apply(const FormulaToken& token) {
        switch (token.kind) {
            case TokenKind::Ref:
            case TokenKind::Area:
            case TokenKind::RefN:
            case TokenKind::AreaN:
                if (how_.mode == RowRewrite::Mode::DeleteRow &&
                    !how_.localReferencesOnChangedSheet) {
                    return true;
                }
                return reference(token, 1);
            case TokenKind::Ref3d:
            case TokenKind::Area3d:
                return reference3d(token);
            default:
                return true;
        }
    }

    bool changed() const { return changed_; }

  private:
    bool reference3d(const FormulaToken& token) {
        const bool relative = anyRowRelative(token, 3);
        if (how_.mode == RowRewrite::Mode::DeleteRow) {
            const SheetTarget target =
                how_.sheetOf ? how_.sheetOf(load16(rgce_, token.at + 1)) : SheetTarget::Other;
            if (target == SheetTarget::Unknown) return false;
            if (target != SheetTarget::Changed) return true;
            if (relative && how_.relative3dAreOffsets) return false;
        } else if (relative && how_.relative3dAreOffsets) {
            return true;  // offsets from where the name is used: nothing moves
        }
        return reference(token, 3);
    }

    bool anyRowRelative(const FormulaToken& token, std::size_t start) const {
        const bool area = token.kind == TokenKind::Area3d || token.kind == TokenKind::Area ||
                          token.kind == TokenKind::AreaN;
        const std::size_t flags = area ? start + 4 : start + 2;
        if (load16(rgce_, token.at + flags) & kRowRelative) return true;
        return area && (load16(rgce_, token.at + flags + 2) & kRowRelative) != 0;
    }

    // Rewrites the row fields starting `start` bytes into the token.
    bool reference(const FormulaToken& token, std::size_t start) {
        const bool area = token.kind == TokenKind::Area || token.kind == TokenKind::AreaN ||
                          token.kind == TokenKind::Area3d;
        const bool offsets = token.kind == TokenKind::RefN || token.kind == TokenKind::AreaN;
        const std::size_t count = area ? 2 : 1;
        RowField fields[2];
        for (std::size_t i = 0; i < count; ++i) {
            fields[i].at = token.at + start + 2 * i;
            fields[i].flagsAt = token.at + start + 2 * count + 2 * i;
        }
        int rows[2] = {0, 0};
        bool relative[2] = {false, false};
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t stored = load16(rgce_, fields[i].at);
            relative[i] = (load16(rgce_, fields[i].flagsAt) & kRowRelative) != 0;
            if (offsets && relative[i]) {
                rows[i] = (how_.baseRow + static_cast<std::int16_t>(stored)) & kLastRow;
            } else {
                rows[i] = stored;
            }
        }
        int after[2] = {rows[0], rows[1]};
        bool valid = true;
        if (how_.mode == RowRewrite::Mode::DeleteRow) {
            valid = deletedRows(after, count, how_.deleted);
        } else if (!offsets) {
            for (std::size_t i = 0; i < count; ++i) {
                if (!relative[i]) continue;
                after[i] = rows[i] + how_.delta;
                valid = valid && after[i] >= 0 && after[i] <= kLastRow;
            }
        }
        if (!valid) {
            rgce_[token.at] = errorForm(rgce_[token.at], token.kind);
            changed_ = true;
            return true;
        }
        const int newBase = how_.mode == RowRewrite::Mode::DeleteRow ? how_.newBaseRow : 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (after[i] == rows[i] && !(offsets && relative[i] && newBase != how_.baseRow)) {
                continue;
            }
            std::uint16_t stored = static_cast<std::uint16_t>(after[i]);
            if (offsets && relative[i]) {
                stored = static_cast<std::uint16_t>((after[i] - newBase) & kLastRow);
            }
            if (stored != load16(rgce_, fields[i].at)) {
                store16(rgce_, fields[i].at, stored);
                changed_ = true;
            }
        }
        return true;
    }

    std::span<std::uint8_t> rgce_;
    const RowRewrite& how_;
    bool changed_ = false;
};

}  // namespace

std::optional<TokenWalk> walkFormulaTokens(std::span<const std::uint8_t> rgce) {
    TokenWalk walk;
    std::size_t at = 0;
    while (at < rgce.size()) {
        const std::uint8_t ptg = rgce[at];
        FormulaToken token;
        token.at = at;
        std::size_t size = 0;
        if (ptg >= 0x20 && ptg <= 0x7F) {
            size = classifiedSize(static_cast<std::uint8_t>((ptg & 0x1F) | 0x20), token.kind);
        } else {
            switch (ptg) {
                case 0x01:
                    token.kind = TokenKind::Exp;
                    size = 5;
                    break;
                case 0x02:
                    token.kind = TokenKind::Table;
                    size = 5;
                    break;
                case 0x17: {  // string constant: length, flags, characters
                    if (rgce.size() - at < 3) return std::nullopt;
                    const std::size_t characters = rgce[at + 1];
                    size = 3 + characters * ((rgce[at + 2] & 0x01) ? 2 : 1);
                    break;
                }
                case 0x19: {  // attribute
                    if (rgce.size() - at < 4) return std::nullopt;
                    const std::uint8_t flags = rgce[at + 1];
                    if (flags & 0x04) {  // CHOOSE: a jump table follows
                        size = 4 + 2 * (static_cast<std::size_t>(load16(rgce, at + 2)) + 1);
                    } else {
                        size = 4;
                    }
                    if (flags & 0x01) walk.isVolatile = true;
                    break;
                }
                case 0x1C:  // error
                case 0x1D:  // boolean
                    size = 2;
                    break;
                case 0x1E:  // integer
                    size = 3;
                    break;
                case 0x1F:  // number
                    size = 9;
                    break;
                default:
                    if (ptg >= 0x03 && ptg <= 0x16) size = 1;  // operators, parentheses
                    break;
            }
        }
        if (size == 0 || size > rgce.size() - at) return std::nullopt;
        token.size = size;
        if (token.kind == TokenKind::Function) {
            const std::size_t number = (ptg & 0x1F) == 0x01 ? at + 1 : at + 2;
            token.function = static_cast<std::uint16_t>(load16(rgce, number) & 0x7FFF);
            if (isVolatileFunction(token.function)) walk.isVolatile = true;
        }
        walk.tokens.push_back(token);
        at += size;
    }
    return walk;
}

RewriteResult rewriteFormulaRows(std::span<std::uint8_t> rgce, const RowRewrite& how) {
    const auto walk = walkFormulaTokens(rgce);
    if (!walk) return RewriteResult::Unsafe;
    std::vector<std::uint8_t> work(rgce.begin(), rgce.end());
    Rewriter rewriter(work, how);
    bool memory = false;
    for (const FormulaToken& token : walk->tokens) {
        if (!rewriter.apply(token)) return RewriteResult::Unsafe;
        memory = memory || token.kind == TokenKind::Memory;
    }
    if (!rewriter.changed()) return RewriteResult::Unchanged;
    // Memory tokens keep the rectangles their references covered: those would go stale.
    if (memory) return RewriteResult::Unsafe;
    std::copy(work.begin(), work.end(), rgce.begin());
    return RewriteResult::Changed;
}

bool resolveSharedTokens(std::span<std::uint8_t> rgce, int row, int column) {
    const auto walk = walkFormulaTokens(rgce);
    if (!walk) return false;
    for (const FormulaToken& token : walk->tokens) {
        if (token.kind != TokenKind::RefN && token.kind != TokenKind::AreaN) continue;
        const std::size_t count = token.kind == TokenKind::AreaN ? 2 : 1;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t rowAt = token.at + 1 + 2 * i;
            const std::size_t flagsAt = token.at + 1 + 2 * count + 2 * i;
            const std::uint16_t stored = load16(rgce, rowAt);
            const std::uint16_t field = load16(rgce, flagsAt);
            if (field & kRowRelative) {
                store16(rgce, rowAt,
                        static_cast<std::uint16_t>((row + static_cast<std::int16_t>(stored)) &
                                                   kLastRow));
            }
            if (field & kColumnRelative) {
                const int offset = static_cast<std::int8_t>(field & 0xFF);
                const auto resolved = static_cast<std::uint16_t>((column + offset) & 0xFF);
                store16(rgce, flagsAt,
                        static_cast<std::uint16_t>((field & (kRowRelative | kColumnRelative)) |
                                                   resolved));
            }
        }
        // RefN/AreaN become Ref/Area of the same class: base id 0x0C -> 0x04, 0x0D -> 0x05.
        rgce[token.at] = static_cast<std::uint8_t>(rgce[token.at] - 0x08);
    }
    return true;
}

}  // namespace clivara::archive
