// The token walk and the row rules on hand-made token strings: what the walk refuses, how
// references, areas and relative (shared-formula style) references follow a deleted row or a
// moved formula, and when a rewrite must give up.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "archive/formulas/formula_tokens.h"
#include "archive/records/biff_stream.h"

using namespace clivara::archive;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kRelative = 0xC000;  // row and column relative

Bytes ref(int row, std::uint16_t column = kRelative | 1) {
    Bytes out{0x24};
    putU16(out, static_cast<std::uint16_t>(row));
    putU16(out, column);
    return out;
}

Bytes area(int first, int last, std::uint16_t flags = kRelative) {
    Bytes out{0x25};
    putU16(out, static_cast<std::uint16_t>(first));
    putU16(out, static_cast<std::uint16_t>(last));
    putU16(out, flags | 1);
    putU16(out, flags | 1);
    return out;
}

Bytes ref3d(std::uint16_t ixti, int row, std::uint16_t column = kRelative | 1) {
    Bytes out{0x5A};
    putU16(out, ixti);
    putU16(out, static_cast<std::uint16_t>(row));
    putU16(out, column);
    return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

RowRewrite deletion(int row) {
    RowRewrite how;
    how.mode = RowRewrite::Mode::DeleteRow;
    how.deleted = row;
    return how;
}

RowRewrite move(int delta) {
    RowRewrite how;
    how.mode = RowRewrite::Mode::MoveFormula;
    how.delta = delta;
    return how;
}

TEST(FormulaTokens, WalkKnowsEveryTokenLengthAndRefusesTheRest) {
    // IF(A1, "ab", CHOOSE(2, 1.5, TRUE)) with its attribute jumps, a name, a 3-D area.
    Bytes choose{0x19, 0x04};
    putU16(choose, 2);
    putU16(choose, 6);
    putU16(choose, 12);
    putU16(choose, 20);
    const Bytes tokens = join({ref(0), Bytes{0x19, 0x02, 0x05, 0x00}, Bytes{0x17, 2, 0, 'a', 'b'},
                               Bytes{0x17, 1, 1, 'x', 0}, Bytes{0x1E, 2, 0}, choose,
                               Bytes{0x1F, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, Bytes{0x1D, 1},
                               Bytes{0x23, 1, 0, 0, 0}, Bytes{0x3B, 0, 0, 1, 0, 2, 0, 1, 0, 1, 0},
                               Bytes{0x42, 3, 100, 0}, Bytes{0x1C, 0x07}, Bytes{0x03, 0x15}});
    const auto walk = walkFormulaTokens(tokens);
    ASSERT_TRUE(walk);
    EXPECT_EQ(walk->tokens.size(), 14u);
    EXPECT_FALSE(walk->isVolatile);

    // Every prefix that cuts a token short is refused, never read past.
    std::size_t refused = 0;
    for (std::size_t length = 1; length < tokens.size(); ++length) {
        if (!walkFormulaTokens(std::span(tokens).first(length))) ++refused;
    }
    EXPECT_GT(refused, 10u);
    // Unknown tokens: 0x00, the extended 0x18, the reserved 0x1A and 0x2E.
    for (std::uint8_t unknown : {0x00, 0x18, 0x1A, 0x2E, 0x4F}) {
        EXPECT_FALSE(walkFormulaTokens(Bytes{unknown, 0, 0, 0, 0})) << int(unknown);
    }
    // A CHOOSE whose jump table runs past the end.
    EXPECT_FALSE(walkFormulaTokens(Bytes{0x19, 0x04, 0xFF, 0xFF, 0, 0}));
}

TEST(FormulaTokens, VolatileFormulasAreRecognised) {
    EXPECT_TRUE(walkFormulaTokens(Bytes{0x19, 0x01, 0, 0, 0x41, 221, 0})->isVolatile);   // TODAY
    EXPECT_TRUE(walkFormulaTokens(Bytes{0x21, 74, 0})->isVolatile);                      // NOW
    EXPECT_TRUE(walkFormulaTokens(join({ref(1), Bytes{0x42, 1, 148, 0}}))->isVolatile);  // INDIRECT
    EXPECT_FALSE(walkFormulaTokens(Bytes{0x41, 4, 0})->isVolatile);                      // SUM
}

TEST(FormulaTokens, DeletionMovesReferencesBelowAndBreaksThoseOnTheRow) {
    Bytes above = ref(3), on = ref(5), below = ref(9);
    EXPECT_EQ(rewriteFormulaRows(above, deletion(5)), RewriteResult::Unchanged);
    EXPECT_EQ(rewriteFormulaRows(on, deletion(5)), RewriteResult::Changed);
    EXPECT_EQ(on[0], 0x2A);  // the error form keeps the token's size
    EXPECT_EQ(rewriteFormulaRows(below, deletion(5)), RewriteResult::Changed);
    EXPECT_EQ(readU16(below, 1), 8);
    // Absolute rows follow too; the value class of the token is kept.
    Bytes absolute = ref(9, 1);
    absolute[0] = 0x44;
    rewriteFormulaRows(absolute, deletion(2));
    EXPECT_EQ(readU16(absolute, 1), 8);
    Bytes absoluteOn = absolute;
    rewriteFormulaRows(absoluteOn, deletion(8));
    EXPECT_EQ(absoluteOn[0], 0x4A);
}

TEST(FormulaTokens, AreasShrinkAroundTheDeletedRow) {
    struct Case {
        int first, last, deleted;
        int newFirst, newLast;  // -1: #REF!
    };
    const Case cases[] = {
        {2, 6, 4, 2, 5},
        {2, 6, 2, 2, 5},
        {2, 6, 6, 2, 5},
        {2, 6, 1, 1, 5},
        {2, 6, 7, 2, 6},
        {4, 4, 4, -1, -1},
        {6, 2, 4, 5, 2},             // stored upside down
        {0, 0xFFFF, 10, 0, 0xFFFF},  // a whole column stays whole
        {5, 0xFFFF, 1, 4, 0xFFFF},
    };
    for (const Case& c : cases) {
        Bytes tokens = area(c.first, c.last);
        rewriteFormulaRows(tokens, deletion(c.deleted));
        if (c.newFirst < 0) {
            EXPECT_EQ(tokens[0], 0x2B) << c.first << ":" << c.last;
            continue;
        }
        EXPECT_EQ(tokens[0], 0x25);
        EXPECT_EQ(readU16(tokens, 1), c.newFirst) << c.first << ":" << c.last << " - " << c.deleted;
        EXPECT_EQ(readU16(tokens, 3), c.newLast) << c.first << ":" << c.last << " - " << c.deleted;
    }
}

TEST(FormulaTokens, RelativeOffsetsFollowTheirBaseAndTarget) {
    // A RefN one row below its base (row 3): base and target both below the deleted row 1.
    Bytes tokens{0x2C, 1, 0, 0, 0xC0};
    RowRewrite how = deletion(1);
    how.baseRow = 3;
    how.newBaseRow = 2;
    EXPECT_EQ(rewriteFormulaRows(tokens, how), RewriteResult::Unchanged);
    // The base above the deleted row, the target (row 5) below it: the offset shrinks.
    Bytes across{0x2C, 2, 0, 0, 0xC0};
    how = deletion(4);
    how.baseRow = 3;
    how.newBaseRow = 3;
    EXPECT_EQ(rewriteFormulaRows(across, how), RewriteResult::Changed);
    EXPECT_EQ(readU16(across, 1), 1);
    // Upward offsets are negative: row 3 - 2 = row 1, deleted.
    Bytes upward{0x2C, 0xFE, 0xFF, 0, 0xC0};
    how = deletion(1);
    how.baseRow = 3;
    how.newBaseRow = 2;
    EXPECT_EQ(rewriteFormulaRows(upward, how), RewriteResult::Changed);
    EXPECT_EQ(upward[0], 0x2A);

    // Shared tokens resolved for the cell at row 10, column 4: B-relative offsets.
    Bytes shared{0x2C, 0xFF, 0xFF, 0xFE, 0xC0, 0x2D, 0, 0, 2, 0, 0x01, 0x80, 0x01, 0x80};
    ASSERT_TRUE(resolveSharedTokens(shared, 10, 4));
    EXPECT_EQ(shared[0], 0x24);
    EXPECT_EQ(readU16(shared, 1), 9);
    EXPECT_EQ(readU16(shared, 3), 0xC000 | 2);
    EXPECT_EQ(shared[5], 0x25);
    EXPECT_EQ(readU16(shared, 6), 10);
    EXPECT_EQ(readU16(shared, 8), 12);
    EXPECT_EQ(readU16(shared, 10), 0x8001);  // absolute column stays
    Bytes broken{0x2C, 0, 0};
    EXPECT_FALSE(resolveSharedTokens(broken, 1, 1));
}

TEST(FormulaTokens, MovedFormulasTakeTheirRelativeRowsAlong) {
    Bytes tokens = join({ref(4), ref(4, 1), area(2, 3, 0x4000)});
    EXPECT_EQ(rewriteFormulaRows(tokens, move(3)), RewriteResult::Changed);
    EXPECT_EQ(readU16(tokens, 1), 7);   // relative row follows
    EXPECT_EQ(readU16(tokens, 6), 4);   // absolute row stays
    EXPECT_EQ(readU16(tokens, 11), 2);  // column-relative only: rows stay
    // Moving past the first row makes an error, as a copy would.
    Bytes up = ref(1);
    rewriteFormulaRows(up, move(-2));
    EXPECT_EQ(up[0], 0x2A);
    // 3-D references move with the formula too, whatever sheet they name.
    Bytes threeD = ref3d(0, 5);
    rewriteFormulaRows(threeD, move(-1));
    EXPECT_EQ(readU16(threeD, 3), 4);
}

TEST(FormulaTokens, ThreeDReferencesFollowOnlyTheChangedSheet) {
    RowRewrite how = deletion(2);
    how.localReferencesOnChangedSheet = false;
    how.sheetOf = [](std::uint16_t ixti) {
        return ixti == 0   ? SheetTarget::Changed
               : ixti == 1 ? SheetTarget::Other
               : ixti == 2 ? SheetTarget::Spanning
                           : SheetTarget::Unknown;
    };
    Bytes tokens = join({ref3d(0, 5), ref3d(1, 5), ref3d(2, 5), ref(5)});
    EXPECT_EQ(rewriteFormulaRows(tokens, how), RewriteResult::Changed);
    EXPECT_EQ(readU16(tokens, 3), 4);
    EXPECT_EQ(readU16(tokens, 10), 5);
    EXPECT_EQ(readU16(tokens, 17), 5);
    EXPECT_EQ(readU16(tokens, 22), 5);  // a plain reference names the formula's own sheet
    // An entry the workbook does not have: nothing is changed and the caller is told.
    Bytes unknown = join({ref3d(0, 5), ref3d(7, 5)});
    const Bytes before = unknown;
    EXPECT_EQ(rewriteFormulaRows(unknown, how), RewriteResult::Unsafe);
    EXPECT_EQ(unknown, before);
    // In a defined name relative 3-D parts are offsets: they cannot follow a row.
    how.relative3dAreOffsets = true;
    Bytes named = ref3d(0, 5);
    EXPECT_EQ(rewriteFormulaRows(named, how), RewriteResult::Unsafe);
    Bytes absolute = ref3d(0, 5, 1);
    EXPECT_EQ(rewriteFormulaRows(absolute, how), RewriteResult::Changed);
}

TEST(FormulaTokens, MemoryAreasAndUnreadableTokensAreUnsafeUnionsFollow) {
    // A memory area token followed by the reference it caches: the cache would go stale.
    Bytes memory = join({Bytes{0x26, 0, 0, 0, 0, 5, 0}, ref(9)});
    const Bytes before = memory;
    EXPECT_EQ(rewriteFormulaRows(memory, deletion(2)), RewriteResult::Unsafe);
    EXPECT_EQ(memory, before);
    // ... but untouched when nothing it holds moves.
    EXPECT_EQ(rewriteFormulaRows(memory, deletion(20)), RewriteResult::Unchanged);
    // A union of areas (a print title "$A:$B,$7:$8", a name of several ranges) behind a memory
    // function token holding only the union's length: each area follows on its own.
    RowRewrite named = deletion(3);
    named.localReferencesOnChangedSheet = false;
    named.relative3dAreOffsets = true;
    named.sheetOf = [](std::uint16_t) { return SheetTarget::Changed; };
    const auto area3d = [](int first, int last) {
        Bytes out{0x3B, 0, 0};
        for (const int row : {first, last}) putU16(out, static_cast<std::uint16_t>(row));
        putU16(out, 2);
        putU16(out, 2);
        return out;
    };
    for (const std::uint8_t memoryToken : {0x29, 0x49, 0x28, 0x27}) {
        SCOPED_TRACE(memoryToken);
        const Bytes areas = join({area3d(1, 2), area3d(5, 7), area3d(0, 0xFFFF), Bytes{0x10}});
        // The function form holds the length alone, the others 4 bytes before it.
        Bytes unionOf{memoryToken};
        if ((memoryToken & 0x1F) != 0x09) unionOf.resize(5, 0);
        putU16(unionOf, static_cast<std::uint16_t>(areas.size()));
        const std::size_t head = unionOf.size();
        unionOf.insert(unionOf.end(), areas.begin(), areas.end());
        ASSERT_EQ(rewriteFormulaRows(unionOf, named), RewriteResult::Changed);
        EXPECT_EQ(readU16(unionOf, head + 3), 1);  // above the row: stays
        EXPECT_EQ(readU16(unionOf, head + 5), 2);
        EXPECT_EQ(readU16(unionOf, head + 14), 4);  // below: one up
        EXPECT_EQ(readU16(unionOf, head + 16), 6);
        EXPECT_EQ(readU16(unionOf, head + 27), 0xFFFF);  // whole columns stay whole
        EXPECT_EQ(unionOf[head - 2], areas.size());
    }
    Bytes cut = ref(9);
    cut.pop_back();
    EXPECT_EQ(rewriteFormulaRows(cut, deletion(2)), RewriteResult::Unsafe);
}

}  // namespace
