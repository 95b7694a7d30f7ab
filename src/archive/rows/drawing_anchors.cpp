// A worksheet's drawing is one OfficeArt drawing container (OfficeArtDgContainer) whose bytes are
// split over the sheet's MSODRAWING records. Between those records stand the records of the
// shape just described: its OBJ, for a text box (a note's box) the TXO with its CONTINUEs, for a
// chart the chart's own substream. The container holds the drawing's counts (FDG: the shapes in
// the drawing, the last shape id) and the group of all shapes (the patriarch SpgrContainer),
// whose children are the sheet's shapes and groups, each placed by a client anchor
// (OfficeArtClientAnchorSheet: flags, then first column, offset, first row, offset, last column,
// offset, last row, offset, 16 bits each).
//
// A part longer than a record holds goes on in CONTINUE records right after its MSODRAWING;
// those are parts of the drawing like the MSODRAWING records.
//
// Here the joined bytes are read, anchors are changed in place, whole shapes are cut out, and
// each MSODRAWING and CONTINUE record gets back what is left of its part, so the records keep
// their split points.

#include "archive/rows/drawing_anchors.h"

#include <map>
#include <optional>

#include "archive/container/format_violation.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/rows/row_ranges.h"

namespace clivara::archive {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::uint16_t kDgContainer = 0xF002, kSpgrContainer = 0xF003, kSpContainer = 0xF004,
                        kFdg = 0xF008, kClientAnchor = 0xF010, kDggContainer = 0xF000,
                        kFdgg = 0xF006;
constexpr std::uint16_t kMsoDrawingGroup = 0x00EB, kMsoDrawingSelection = 0x00ED;
constexpr std::uint16_t kCommonObject = 0x0015, kObjectComment = 0x0019;
// Client anchor flags: the shape keeps its place (does not move with the cells under it), or
// keeps its size (does not size with them).
constexpr std::uint16_t kKeepsPlace = 0x0001, kKeepsSize = 0x0002;
// Offsets inside a client anchor's body.
constexpr std::size_t kAnchorFlags = 0, kFirstColumn = 2, kFirstRow = 6, kFirstRowOffset = 8,
                      kLastColumn = 10, kLastRow = 14, kLastRowOffset = 16;

struct ArtHeader {
    std::uint16_t verInstance, type;
    std::uint32_t length;
    bool container() const { return (verInstance & 0x000F) == 0x000F; }
};

ArtHeader artHeader(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t end) {
    if (end > bytes.size() || at + 8 > end) {
        throw FormatViolation("drawing record past its container");
    }
    const ArtHeader header{readU16(bytes, at), readU16(bytes, at + 2), readU32(bytes, at + 4)};
    if (header.length > end - at - 8) throw FormatViolation("drawing record past its container");
    return header;
}

// One of the sheet's shapes or groups: a child of the patriarch group.
struct Shape {
    std::size_t begin = 0, end = 0;    // its container in the joined bytes
    std::size_t anchor = kNone;        // the body of its client anchor
    std::uint32_t shapes = 0;          // shape containers inside it (a group counts each one)
    std::vector<std::size_t> records;  // indexes into sheet.records: OBJ, TXO, CONTINUE, chart
    int objectId = -1;
    std::uint16_t objectType = 0;
};

struct Piece {  // the part of the joined bytes that one MSODRAWING or its CONTINUE holds
    std::size_t record, begin, end;
    bool continuation = false;  // a CONTINUE after an MSODRAWING
};

struct Drawing {
    std::vector<std::uint8_t> bytes;  // the MSODRAWING bodies joined
    std::vector<Piece> pieces;
    std::size_t patriarch = kNone;  // header of the group of all shapes
    std::size_t counts = kNone;     // body of the FDG
    std::vector<Shape> shapes;
};

std::uint32_t countShapes(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t end,
                          int depth) {
    if (depth > 16) throw FormatViolation("drawing groups nested too deep");
    std::uint32_t count = 0;
    while (at < end) {
        const ArtHeader header = artHeader(bytes, at, end);
        if (header.type == kSpContainer) ++count;
        if (header.container())
            count += countShapes(bytes, at + 8, at + 8 + header.length, depth + 1);
        at += 8 + header.length;
    }
    return count;
}

// The client anchor among the children of a shape container; for a group, the anchor of the
// group's own shape, its first shape container.
std::size_t findAnchor(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t end) {
    while (at < end) {
        const ArtHeader header = artHeader(bytes, at, end);
        if (header.type == kClientAnchor) {
            if (header.length < 18) throw FormatViolation("client anchor too short");
            return at + 8;
        }
        if (header.type == kSpContainer) return findAnchor(bytes, at + 8, at + 8 + header.length);
        at += 8 + header.length;
    }
    return kNone;
}

void readShapes(Drawing& drawing) {
    const std::span<const std::uint8_t> bytes(drawing.bytes);
    const ArtHeader top = artHeader(bytes, 0, bytes.size());
    if (top.type != kDgContainer || !top.container() || 8 + top.length != bytes.size()) {
        throw FormatViolation("the drawing is not one drawing container");
    }
    for (std::size_t at = 8; at < bytes.size();) {
        const ArtHeader header = artHeader(bytes, at, bytes.size());
        if (header.type == kFdg && header.length >= 8) drawing.counts = at + 8;
        if (header.type == kSpgrContainer && drawing.patriarch == kNone) {
            drawing.patriarch = at;
            const std::size_t end = at + 8 + header.length;
            for (std::size_t child = at + 8; child < end;) {
                const ArtHeader item = artHeader(bytes, child, end);
                Shape shape;
                shape.begin = child;
                shape.end = child + 8 + item.length;
                if (item.type == kSpContainer || item.type == kSpgrContainer) {
                    shape.anchor = findAnchor(bytes, child + 8, shape.end);
                    shape.shapes = (item.type == kSpContainer ? 1U : 0U) +
                                   countShapes(bytes, child + 8, shape.end, 0);
                    drawing.shapes.push_back(shape);
                }
                child = shape.end;
            }
        }
        at += 8 + header.length;
    }
    if (drawing.patriarch == kNone || drawing.counts == kNone) {
        throw FormatViolation("drawing without its group of shapes");
    }
}

// The sheet's drawing with the records of each shape, or nothing when the sheet has none or
// it is laid out in a way this code does not follow (then it stays as it is).
std::optional<Drawing> readDrawing(SheetData& sheet) {
    RecordEditor editor(sheet);
    Drawing drawing;
    std::vector<std::pair<std::size_t, std::size_t>> attached;  // record, joined position
    int depth = 0;
    std::uint16_t previous = 0;
    bool previousAttached = false;  // a CONTINUE continues the record before it
    for (std::size_t i = 0; i < sheet.records.size(); ++i) {
        const KeptRecord& record = sheet.records[i];
        if (!isEditable(record)) {
            previous = 0;
            previousAttached = false;
            continue;
        }
        const bool started = !drawing.pieces.empty();
        if (record.id == rec::kBof) ++depth;
        if (depth > 1) {  // an embedded chart's substream goes with the shape before it
            if (started) attached.emplace_back(i, drawing.bytes.size());
            if (record.id == rec::kEof) --depth;
            previous = record.id;
            previousAttached = started;
            continue;
        }
        if (record.id == rec::kEof) --depth;
        bool attach = false;
        const bool continuation = record.id == rec::kContinue && previous == rec::kMsoDrawing;
        if (record.id == rec::kMsoDrawing || continuation) {
            const auto body = editor.body(record);
            drawing.pieces.push_back(
                {i, drawing.bytes.size(), drawing.bytes.size() + body.size(), continuation});
            drawing.bytes.insert(drawing.bytes.end(), body.begin(), body.end());
            previous = rec::kMsoDrawing;  // a further CONTINUE goes on with the drawing
            previousAttached = false;
            continue;
        } else if (started && (record.id == rec::kObj || record.id == rec::kTxo ||
                               (record.id == rec::kContinue && previousAttached))) {
            attached.emplace_back(i, drawing.bytes.size());
            attach = true;
        }
        previous = record.id;
        previousAttached = attach;
    }
    if (drawing.pieces.empty()) return std::nullopt;
    readShapes(drawing);
    // A record that follows the part of the drawing ending at `position` belongs to the shape
    // that part ends in.
    for (const auto& [index, position] : attached) {
        for (Shape& shape : drawing.shapes) {
            if (position <= shape.begin || position > shape.end) continue;
            shape.records.push_back(index);
            if (sheet.records[index].id == rec::kObj && shape.objectId < 0) {
                const auto body = editor.body(sheet.records[index]);
                if (body.size() >= 8 && readU16(body, 0) == kCommonObject) {
                    shape.objectType = readU16(body, 4);
                    shape.objectId = readU16(body, 6);
                }
            }
            break;
        }
    }
    return drawing;
}

// Notes of the sheet by the id of their drawing object: (row, column).
std::map<int, std::pair<int, int>> notesByObject(SheetData& sheet) {
    RecordEditor editor(sheet);
    std::map<int, std::pair<int, int>> notes;
    int depth = 0;
    for (const KeptRecord& record : sheet.records) {
        if (!isEditable(record)) continue;
        if (record.id == rec::kBof) ++depth;
        if (record.id == rec::kEof) --depth;
        if (depth != 1 || record.id != rec::kNote) continue;
        const auto body = editor.body(record);
        if (body.size() < 8) continue;
        notes[readU16(body, 6)] = {readU16(body, 0), readU16(body, 2)};
    }
    return notes;
}

// Moves an anchor's rows by `delta`; false (nothing changed) when that would leave the sheet.
bool moveAnchorRows(std::span<std::uint8_t> bytes, std::size_t anchor, int delta) {
    const int first = readU16(bytes, anchor + kFirstRow) + delta;
    const int last = readU16(bytes, anchor + kLastRow) + delta;
    if (delta == 0 || first < 0 || last > kLastRowIndex) return false;
    patchU16(bytes, anchor + kFirstRow, static_cast<std::uint16_t>(first));
    patchU16(bytes, anchor + kLastRow, static_cast<std::uint16_t>(last));
    return true;
}

// An anchor after row `deleted` went away. A shape below the row moves up; one that keeps its
// place stays (with rows of one height it keeps its place on the page that way too). A shape
// reaching into the row, and sizing with its cells, loses the row's height: an edge that lay
// in the deleted row moves to the start of the row that took its place. A shape that lay
// wholly in the row is kept where it was rather than lost with the row: a picture or chart is
// something the user put there, not a customer's cell.
void shiftAnchor(std::span<std::uint8_t> bytes, std::size_t anchor, int deleted) {
    const std::uint16_t flags = readU16(bytes, anchor + kAnchorFlags);
    if ((flags & kKeepsPlace) != 0) return;
    const int first = readU16(bytes, anchor + kFirstRow);
    const int last = readU16(bytes, anchor + kLastRow);
    if (last < deleted) return;
    if (first > deleted) {
        moveAnchorRows(bytes, anchor, -1);
        return;
    }
    if ((flags & kKeepsSize) != 0 || (first == deleted && last == deleted)) return;
    if (first == deleted) patchU16(bytes, anchor + kFirstRowOffset, 0);
    if (last == deleted) {
        patchU16(bytes, anchor + kLastRowOffset, 0);
    } else if (last != kLastRowIndex) {
        patchU16(bytes, anchor + kLastRow, static_cast<std::uint16_t>(last - 1));
    }
}

// The drawing's MSODRAWING records rewritten from the joined bytes without the removed shapes,
// and the records of those shapes dropped. `original` holds the joined bytes as they were read.
void writeDrawing(SheetData& sheet, const Drawing& drawing, std::span<const std::uint8_t> original,
                  const std::vector<bool>& removed) {
    std::vector<std::uint8_t> bytes = drawing.bytes;
    std::uint32_t removedBytes = 0, removedShapes = 0;
    std::vector<bool> keep(bytes.size(), true);
    std::vector<bool> dropRecord(sheet.records.size(), false);
    for (std::size_t i = 0; i < drawing.shapes.size(); ++i) {
        if (!removed[i]) continue;
        const Shape& shape = drawing.shapes[i];
        removedBytes += static_cast<std::uint32_t>(shape.end - shape.begin);
        removedShapes += shape.shapes;
        for (std::size_t b = shape.begin; b < shape.end; ++b) keep[b] = false;
        for (std::size_t record : shape.records) dropRecord[record] = true;
    }
    if (removedBytes > 0) {
        patchU32(bytes, 4, readU32(bytes, 4) - removedBytes);
        patchU32(bytes, drawing.patriarch + 4,
                 readU32(bytes, drawing.patriarch + 4) - removedBytes);
        const std::uint32_t shapes = readU32(bytes, drawing.counts);
        patchU32(bytes, drawing.counts, shapes > removedShapes ? shapes - removedShapes : 0);
    }
    RecordEditor editor(sheet);
    bool headDropped = false;  // the MSODRAWING before the CONTINUEs that follow went
    for (const Piece& piece : drawing.pieces) {
        std::vector<std::uint8_t> body;
        bool same = true;
        for (std::size_t b = piece.begin; b < piece.end; ++b) {
            if (keep[b]) body.push_back(bytes[b]);
            same = same && keep[b] && bytes[b] == original[b];
        }
        if (!piece.continuation) headDropped = false;
        if (body.empty()) {
            dropRecord[piece.record] = true;
            if (!piece.continuation) headDropped = true;
            continue;
        }
        if (same && !headDropped) continue;
        KeptRecord record = sheet.records[piece.record];
        // A CONTINUE whose MSODRAWING went holds the start of what is left: it becomes one.
        if (headDropped) record.id = rec::kMsoDrawing;
        headDropped = false;
        sheet.records[piece.record] = editor.replaced(record, body);
    }
    if (removedShapes == 0) return;
    // The saved selection of shapes may name a shape that went: the sheet opens with none.
    std::vector<KeptRecord> records;
    records.reserve(sheet.records.size());
    for (std::size_t i = 0; i < sheet.records.size(); ++i) {
        if (!dropRecord[i] && sheet.records[i].id != kMsoDrawingSelection) {
            records.push_back(sheet.records[i]);
        }
    }
    sheet.records = std::move(records);

    // The workbook's drawing group counts the shapes saved in all drawings (FDGG cspSaved).
    // Shape ids are not handed out again, so the id clusters stay as they are.
    WorkbookData& book = *sheet.book;
    for (KeptRecord& record : book.globals) {
        if (record.id != kMsoDrawingGroup || !isEditable(record)) continue;
        const auto stored = recordBytes(book, nullptr, record);
        std::vector<std::uint8_t> body(stored.begin() + 4, stored.end());
        if (body.size() < 32 || readU16(body, 2) != kDggContainer || readU16(body, 10) != kFdgg) {
            break;
        }
        const std::uint32_t saved = readU32(body, 24);
        patchU32(body, 24, saved > removedShapes ? saved - removedShapes : 0);
        std::vector<std::uint8_t> bytesOut;
        putRecord(bytesOut, record.id, body);
        record.source = KeptRecord::Source::Owned;
        record.offset = static_cast<std::uint32_t>(book.ownedGlobals.size());
        record.size = static_cast<std::uint32_t>(bytesOut.size());
        book.ownedGlobals.push_back(std::move(bytesOut));
        break;
    }
}

}  // namespace

void shiftDrawingAnchors(SheetData& sheet, int deleted) {
    try {
        auto drawing = readDrawing(sheet);
        if (!drawing) return;
        const std::vector<std::uint8_t> original = drawing->bytes;
        const auto notes = notesByObject(sheet);
        std::vector<bool> removed(drawing->shapes.size(), false);
        for (std::size_t i = 0; i < drawing->shapes.size(); ++i) {
            const Shape& shape = drawing->shapes[i];
            const auto note =
                shape.objectType == kObjectComment ? notes.find(shape.objectId) : notes.end();
            if (note != notes.end()) {
                // A note's box goes with its note: away with it, or up with it.
                const int row = note->second.first;
                if (row == deleted) {
                    removed[i] = true;
                } else if (row > deleted && shape.anchor != kNone) {
                    moveAnchorRows(drawing->bytes, shape.anchor, -1);
                }
                continue;
            }
            if (shape.anchor != kNone) shiftAnchor(drawing->bytes, shape.anchor, deleted);
        }
        writeDrawing(sheet, *drawing, original, removed);
    } catch (const FormatViolation&) {
        // a drawing we cannot follow stays as it was
    }
}

// On a reordering a note's box moves as far as its note. A picture or chart goes with its row
// when it moves with its cells and lies inside one row of the reordered block and its columns,
// as a picture placed in a customer's row belongs to that customer; any other shape stays, as
// it may span rows that now hold other customers.
void permuteDrawingAnchors(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                           const std::vector<int>& newRowOf) {
    const int count = static_cast<int>(newRowOf.size());
    auto moved = [&](int row, int firstColumn, int lastColumn) -> int {
        if (row < first0 || row >= first0 + count) return row;
        if (firstColumn < firstColumn0 || lastColumn > lastColumn0) return row;
        return newRowOf[static_cast<std::size_t>(row - first0)];
    };
    try {
        auto drawing = readDrawing(sheet);
        if (!drawing) return;
        const std::vector<std::uint8_t> original = drawing->bytes;
        const auto notes = notesByObject(sheet);
        std::span<std::uint8_t> bytes(drawing->bytes);
        for (const Shape& shape : drawing->shapes) {
            if (shape.anchor == kNone) continue;
            const auto note =
                shape.objectType == kObjectComment ? notes.find(shape.objectId) : notes.end();
            if (note != notes.end()) {
                const auto [row, column] = note->second;
                moveAnchorRows(bytes, shape.anchor, moved(row, column, column) - row);
                continue;
            }
            const int firstRow = readU16(bytes, shape.anchor + kFirstRow);
            if ((readU16(bytes, shape.anchor + kAnchorFlags) & kKeepsPlace) != 0 ||
                firstRow != readU16(bytes, shape.anchor + kLastRow)) {
                continue;
            }
            const int target = moved(firstRow, readU16(bytes, shape.anchor + kFirstColumn),
                                     readU16(bytes, shape.anchor + kLastColumn));
            moveAnchorRows(bytes, shape.anchor, target - firstRow);
        }
        writeDrawing(sheet, *drawing, original, std::vector<bool>(drawing->shapes.size(), false));
    } catch (const FormatViolation&) {
        // a drawing we cannot follow stays as it was
    }
}

}  // namespace clivara::archive
