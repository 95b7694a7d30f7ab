// The sheet's drawing after a row deletion and a reordering, on drawings built here record by
// record: groups, an embedded chart's substream, a note whose drawing object goes, and
// drawings laid out in ways that are left as they were.

#include "archive/rows/drawing_anchors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "archive/book/workbook_io.h"
#include "archive/records/biff_stream.h"

using namespace clivara::archive;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes art(std::uint16_t verInstance, std::uint16_t type, const Bytes& body) {
    Bytes out;
    putU16(out, verInstance);
    putU16(out, type);
    putU32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Bytes container(std::uint16_t type, const std::vector<Bytes>& children) {
    Bytes body;
    for (const Bytes& child : children) body.insert(body.end(), child.begin(), child.end());
    return art(0x000F, type, body);
}
Bytes anchor(std::uint16_t flags, int firstRow, int lastRow) {
    Bytes body;
    for (int value : {int{flags}, 1, 0, firstRow, 64, 2, 0, lastRow, 128}) {
        putU16(body, static_cast<std::uint16_t>(value));
    }
    return art(0x0000, 0xF010, body);
}
Bytes fsp(std::uint32_t id) {
    Bytes body;
    putU32(body, id);
    putU32(body, 0x0A00);
    return art(0x0002, 0xF00A, body);
}
Bytes clientData() {
    return art(0x0000, 0xF011, {});
}
Bytes objRecord(std::uint16_t type, std::uint16_t id) {
    Bytes body;
    for (int value : {0x15, 0x12, int{type}, int{id}})
        putU16(body, static_cast<std::uint16_t>(value));
    body.resize(22 + 4, 0);
    return body;
}

// A sheet substream built from records; the drawing container is built whole and split into
// MSODRAWING records at the given lengths.
class SheetBuilder {
  public:
    void add(std::uint16_t id, const Bytes& body) { records_.push_back({id, body}); }
    void drawing(const std::vector<Bytes>& shapes, std::uint32_t count,
                 std::vector<std::size_t>& cuts) {
        Bytes counts;
        putU32(counts, count);
        putU32(counts, 1024 + count);
        std::vector<Bytes> group{container(0xF004, {fsp(1024)})};
        group.insert(group.end(), shapes.begin(), shapes.end());
        drawing_ = container(0xF002, {art(0x0010, 0xF008, counts), container(0xF003, group)});
        cuts_ = cuts;
    }
    // MSODRAWING pieces go where add(0x00EC, {}) placeholders stand, in order.
    std::unique_ptr<WorkbookData> build(SheetData& sheet) {
        auto book = std::make_unique<WorkbookData>();
        Bytes stream;
        putRecord(stream, rec::kBof, Bytes{0x00, 0x06, 0x10, 0x00});
        std::size_t piece = 0, at = 0;
        std::vector<std::pair<std::uint16_t, Bytes>> all;
        for (auto& [id, body] : records_) {
            if (id == rec::kMsoDrawing && body.empty()) {
                const std::size_t end = piece < cuts_.size() ? cuts_[piece] : drawing_.size();
                all.push_back({id, Bytes(drawing_.begin() + static_cast<std::ptrdiff_t>(at),
                                         drawing_.begin() + static_cast<std::ptrdiff_t>(end))});
                at = end;
                ++piece;
            } else {
                all.push_back({id, body});
            }
        }
        sheet.records.push_back({KeptRecord::Source::Stream, rec::kBof, 0, 8});
        for (auto& [id, body] : all) {
            const auto offset = static_cast<std::uint32_t>(stream.size());
            putRecord(stream, id, body);
            sheet.records.push_back({KeptRecord::Source::Stream, id, offset,
                                     static_cast<std::uint32_t>(body.size() + 4)});
        }
        const auto offset = static_cast<std::uint32_t>(stream.size());
        putRecord(stream, rec::kEof, Bytes{});
        sheet.records.push_back({KeptRecord::Source::Stream, rec::kEof, offset, 4});
        book->stream = std::make_shared<const Bytes>(std::move(stream));
        sheet.book = book.get();
        return book;
    }

  private:
    std::vector<std::pair<std::uint16_t, Bytes>> records_;
    Bytes drawing_;
    std::vector<std::size_t> cuts_;
};

Bytes body(const SheetData& sheet, const KeptRecord& record) {
    const auto bytes = recordBytes(*sheet.book, &sheet, record);
    return Bytes(bytes.begin() + 4, bytes.end());
}

// The sheet's MSODRAWING bodies joined, and its record ids in order.
Bytes joinedDrawing(const SheetData& sheet, std::vector<std::uint16_t>& ids) {
    Bytes joined;
    for (const KeptRecord& record : sheet.records) {
        ids.push_back(record.id);
        if (record.id != rec::kMsoDrawing) continue;
        const Bytes part = body(sheet, record);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// The rows of every client anchor in the joined drawing, in order.
std::vector<std::pair<int, int>> anchorRows(const Bytes& joined) {
    std::vector<std::pair<int, int>> rows;
    for (std::size_t at = 0; at + 8 <= joined.size();) {
        const std::uint16_t verInstance = readU16(joined, at), type = readU16(joined, at + 2);
        const std::uint32_t length = readU32(joined, at + 4);
        if ((verInstance & 0xF) == 0xF) {
            at += 8;  // walk into containers
            continue;
        }
        if (type == 0xF010) rows.push_back({readU16(joined, at + 14), readU16(joined, at + 22)});
        at += 8 + length;
    }
    return rows;
}

constexpr std::uint16_t kNote = 0x001C, kMsoDrawing = 0x00EC, kObj = 0x005D, kTxo = 0x01B6,
                        kContinue = 0x003C, kBof = 0x0809, kEof = 0x000A, kSelection = 0x00ED,
                        kOther = 0x0099;

Bytes noteRecord(int row, int objectId) {
    Bytes out;
    for (int value : {row, 0, 0, objectId, 0}) putU16(out, static_cast<std::uint16_t>(value));
    out.push_back(0);
    return out;
}

TEST(DrawingAnchors, DeletedNoteRowTakesTheWholeDrawingObjectAndShapesBelowMoveUp) {
    // A picture on rows 1-2, a note on row 4 (its box on rows 3-5), a group of two shapes on
    // rows 6-7 and a chart on rows 8-12 with its substream; row 4 goes.
    const Bytes picture = container(0xF004, {fsp(1025), anchor(0, 1, 2), clientData()});
    const Bytes noteStart = container(0xF004, {fsp(1026), anchor(2, 3, 5), clientData()});
    const Bytes textbox = art(0x0000, 0xF00D, {});
    Bytes note = noteStart;
    note.insert(note.end(), textbox.begin(), textbox.end());
    patchU32(note, 4, readU32(note, 4) + static_cast<std::uint32_t>(textbox.size()));
    const Bytes group = container(
        0xF003, {container(0xF004, {fsp(1027), anchor(0, 6, 7), clientData()}),
                 container(0xF004, {fsp(1028), art(0x0000, 0xF00F, Bytes(16, 0)), clientData()}),
                 container(0xF004, {fsp(1029), art(0x0000, 0xF00F, Bytes(16, 0)), clientData()})});
    const Bytes chart = container(0xF004, {fsp(1030), anchor(0, 8, 12), clientData()});

    SheetBuilder builder;
    const std::size_t head = 8 + 16 + 8 + container(0xF004, {fsp(1024)}).size();
    std::vector<std::size_t> cuts{head + picture.size(), head + picture.size() + noteStart.size(),
                                  head + picture.size() + note.size(),
                                  head + picture.size() + note.size() + group.size()};
    builder.drawing({picture, note, group, chart}, 7, cuts);
    builder.add(kMsoDrawing, {});
    builder.add(kObj, objRecord(8, 1));
    builder.add(kMsoDrawing, {});
    builder.add(kObj, objRecord(0x19, 2));
    builder.add(kMsoDrawing, {});
    builder.add(kTxo, Bytes(18, 0));
    builder.add(kContinue, Bytes{0, 'x'});
    builder.add(kContinue, Bytes(16, 0));
    builder.add(kOther, Bytes{1, 2});
    builder.add(kContinue, Bytes{3, 4});
    builder.add(kMsoDrawing, {});
    builder.add(kObj, objRecord(0, 3));
    builder.add(kMsoDrawing, {});
    builder.add(kObj, objRecord(5, 4));
    builder.add(kBof, Bytes{0x00, 0x06, 0x20, 0x00});
    builder.add(kEof, {});
    builder.add(kSelection, Bytes(16, 0));
    builder.add(kNote, noteRecord(4, 2));
    SheetData sheet;
    const auto book = builder.build(sheet);

    shiftDrawingAnchors(sheet, 4);
    std::vector<std::uint16_t> ids;
    const Bytes joined = joinedDrawing(sheet, ids);
    // The note's shape, OBJ, text box part, TXO and CONTINUEs are gone (its NOTE goes with the
    // other row records), and the saved selection of shapes; another record's CONTINUE stays,
    // and the chart keeps its substream.
    EXPECT_EQ(ids,
              (std::vector<std::uint16_t>{kBof, kMsoDrawing, kObj, kOther, kContinue, kMsoDrawing,
                                          kObj, kMsoDrawing, kObj, kBof, kEof, kNote, kEof}));
    // Containers hold exactly what is left; the drawing counts one shape less.
    EXPECT_EQ(readU32(joined, 4), joined.size() - 8);
    EXPECT_EQ(readU32(joined, 16), 6U);
    EXPECT_EQ(anchorRows(joined), (std::vector<std::pair<int, int>>{{1, 2}, {5, 6}, {7, 11}}));
}

TEST(DrawingAnchors, ReorderedRowsCarryShapesInsideOneRowAndNoteBoxes) {
    // Rows 1-3 reversed: the picture on row 1 goes to row 3; the one spanning rows 1-2 and the
    // one that keeps its place stay; the box (rows 0-1) of the note on row 1 moves two rows
    // down with its note.
    const Bytes inRow = container(0xF004, {fsp(1025), anchor(0, 1, 1), clientData()});
    const Bytes spanning = container(0xF004, {fsp(1026), anchor(0, 1, 2), clientData()});
    const Bytes fixed = container(0xF004, {fsp(1027), anchor(3, 3, 3), clientData()});
    const Bytes box = container(0xF004, {fsp(1028), anchor(2, 0, 1), clientData()});
    SheetBuilder builder;
    const std::size_t head = 8 + 16 + 8 + container(0xF004, {fsp(1024)}).size();
    std::vector<std::size_t> cuts{head + inRow.size(), head + inRow.size() + spanning.size(),
                                  head + inRow.size() + spanning.size() + fixed.size()};
    builder.drawing({inRow, spanning, fixed, box}, 5, cuts);
    for (std::uint16_t id = 1; id <= 4; ++id) {
        builder.add(kMsoDrawing, {});
        builder.add(kObj, objRecord(id == 4 ? 0x19 : 8, id));
    }
    builder.add(kNote, noteRecord(1, 4));
    SheetData sheet;
    const auto book = builder.build(sheet);

    permuteDrawingAnchors(sheet, 1, 0, 12, {3, 2, 1});
    std::vector<std::uint16_t> ids;
    const Bytes joined = joinedDrawing(sheet, ids);
    EXPECT_EQ(anchorRows(joined),
              (std::vector<std::pair<int, int>>{{3, 3}, {1, 2}, {3, 3}, {2, 3}}));
    EXPECT_EQ(readU32(joined, 16), 5U);
}

TEST(DrawingAnchors, DrawingsItCannotFollowStayAsTheyWere) {
    // A container length that runs past the drawing, a drawing continued in a CONTINUE, a
    // client anchor too short to hold its rows.
    for (int kind = 0; kind < 3; ++kind) {
        const Bytes picture = container(
            0xF004,
            {fsp(1025), kind == 2 ? art(0, 0xF010, Bytes(10, 0)) : anchor(0, 5, 6), clientData()});
        SheetBuilder builder;
        std::vector<std::size_t> cuts;
        builder.drawing({picture}, 2, cuts);
        builder.add(kMsoDrawing, {});
        if (kind == 1) builder.add(kContinue, Bytes{1, 2, 3});
        builder.add(kObj, objRecord(8, 1));
        SheetData sheet;
        const auto book = builder.build(sheet);
        if (kind == 0) {
            Bytes broken = body(sheet, sheet.records[1]);
            patchU32(broken, 4, readU32(broken, 4) + 1);
            Bytes stream(*book->stream);
            std::copy(broken.begin(), broken.end(),
                      stream.begin() + static_cast<std::ptrdiff_t>(sheet.records[1].offset + 4));
            book->stream = std::make_shared<const Bytes>(std::move(stream));
        }
        const std::vector<KeptRecord> before = sheet.records;
        const std::vector<Bytes> beforeBodies = [&] {
            std::vector<Bytes> bodies;
            for (const KeptRecord& record : sheet.records) bodies.push_back(body(sheet, record));
            return bodies;
        }();
        shiftDrawingAnchors(sheet, 1);
        permuteDrawingAnchors(sheet, 1, 0, 12, {6, 5, 4, 3, 2, 1});
        ASSERT_EQ(sheet.records.size(), before.size()) << kind;
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(body(sheet, sheet.records[i]), beforeBodies[i]) << kind << " " << i;
        }
    }
}

}  // namespace
