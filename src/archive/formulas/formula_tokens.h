#pragma once

// The parsed tokens of a BIFF8 formula (its rgce bytes) and the rewriting of the row numbers
// they hold when rows of a sheet are deleted or when a formula moves to another row. The bytes
// come from the file: the walk checks every token's length against what is left and refuses
// anything it does not know, and the rewriting only ever replaces a token by one of the same
// size, so the jump offsets of IF/CHOOSE tokens and any trailing constant data stay valid.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace clivara::archive {

enum class TokenKind : std::uint8_t {
    Ref,       // one cell, absolute row and column numbers with relative flags
    Area,      // a rectangle of cells, same encoding
    RefN,      // one cell, relative parts stored as offsets from a base cell
    AreaN,     // a rectangle, same encoding as RefN
    Ref3d,     // a cell on the sheet(s) an EXTERNSHEET entry names
    Area3d,    // a rectangle on such sheets
    RefError,  // the error forms of the four above
    AreaError,
    RefError3d,
    AreaError3d,
    Exp,     // the cell of the shared or array formula this cell uses
    Table,   // the cell of the data table this cell belongs to
    Memory,  // a memory area token whose cached rectangles follow the tokens
    Function,
    Other,
};

struct FormulaToken {
    std::size_t at = 0;    // offset of the token's first byte in the rgce
    std::size_t size = 0;  // the whole token, first byte included
    TokenKind kind = TokenKind::Other;
    std::uint16_t function = 0xFFFF;  // Function: the built-in function's number
};

struct TokenWalk {
    std::vector<FormulaToken> tokens;
    bool isVolatile = false;  // marked volatile, or calls NOW, TODAY, RAND, OFFSET, INDIRECT, ...
};

// The tokens of rgce; nothing when a token is unknown or cut short.
std::optional<TokenWalk> walkFormulaTokens(std::span<const std::uint8_t> rgce);

// Where a 3-D reference's EXTERNSHEET entry points, seen from the sheet whose rows change.
enum class SheetTarget : std::uint8_t {
    Changed,   // exactly the sheet whose rows change
    Other,     // another sheet or another workbook
    Spanning,  // several sheets, the changed one among them
    Unknown,   // an entry the workbook does not have
};

struct RowRewrite {
    enum class Mode : std::uint8_t {
        DeleteRow,    // row `deleted` of the changed sheet goes away, the rows below move up
        MoveFormula,  // the formula itself moves `delta` rows; relative rows follow it
    };
    Mode mode = Mode::DeleteRow;
    int deleted = 0;  // 0-based
    int delta = 0;
    // The cell relative (RefN/AreaN) references start from, before and after the change.
    int baseRow = 0;
    int newBaseRow = 0;
    // Plain (not 3-D) references name the changed sheet (a cell formula on that sheet).
    bool localReferencesOnChangedSheet = true;
    // In defined names the relative parts of 3-D references are offsets from wherever the name
    // is used: such a reference cannot follow a row and makes the rewrite Unsafe.
    bool relative3dAreOffsets = false;
    std::function<SheetTarget(std::uint16_t ixti)> sheetOf;  // empty: every 3-D ref is Other
};

enum class RewriteResult : std::uint8_t {
    Unchanged,
    Changed,
    Unsafe,  // a token could not be followed: the bytes are left as they were
};

// Rewrites the row numbers of rgce in place. On Unsafe nothing was changed.
RewriteResult rewriteFormulaRows(std::span<std::uint8_t> rgce, const RowRewrite& how);

// Rewrites a shared formula's tokens into the ordinary ones of the cell (row, column) that uses
// it: offsets become row and column numbers. False (bytes untouched) when a token is unknown.
bool resolveSharedTokens(std::span<std::uint8_t> rgce, int row, int column);

}  // namespace clivara::archive
