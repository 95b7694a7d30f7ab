// Range lists of the newer records that follow rows: conditional formats of the later format
// (CFHEADER12 with its CF12 rules, CFEX tied to a header by its id), shared features (FEAT:
// editable ranges of a protected sheet, cells with error warnings switched off), tables (FEAT11,
// FEAT12) and AUTOFILTER12. On a reordering the older CFHEADER and DV lists follow too.

#include <algorithm>
#include <map>
#include <optional>

#include "archive/container/format_violation.h"
#include "archive/records/biff_stream.h"
#include "archive/rows/row_ranges.h"

namespace clivara::archive {

namespace {

constexpr std::uint16_t kFeat = 0x0868, kFeat11 = 0x0872, kFeat12 = 0x0878, kCfHeader12 = 0x0879,
                        kCf12 = 0x087A, kCfEx = 0x087B, kAutoFilter12 = 0x087E;

// Where the count of a record's range list lies, and where its ranges start.
struct ListPlace {
    std::size_t count, ranges;
};

std::optional<ListPlace> listPlace(std::uint16_t id, std::span<const std::uint8_t> body) {
    switch (id) {
        case rec::kCfHeader:
            return ListPlace{12, 14};
        case kCfHeader12:
            return ListPlace{24, 26};
        case kFeat:
        case kFeat11:
        case kFeat12:
            return ListPlace{19, 27};
        case rec::kDv: {
            const std::size_t at = validationRangesAt(body);
            return ListPlace{at, at + 2};
        }
        default:
            return std::nullopt;
    }
}

// The bound of a conditional-format header and the id that CFEX records name it by.
std::size_t boundAt(std::uint16_t id) {
    return id == rec::kCfHeader ? 4 : 16;
}
int headerId(std::uint16_t id, std::span<const std::uint8_t> body) {
    return readU16(body, id == rec::kCfHeader ? 2 : 14) >> 1;
}
bool isCfHeader(std::uint16_t id) {
    return id == rec::kCfHeader || id == kCfHeader12;
}

std::vector<std::uint8_t> withRanges(std::span<const std::uint8_t> body, ListPlace place,
                                     const std::vector<Range>& ranges) {
    const std::size_t oldCount = readU16(body, place.count);
    const std::size_t tail = place.ranges + 8 * oldCount;
    std::vector<std::uint8_t> out(body.begin(),
                                  body.begin() + static_cast<std::ptrdiff_t>(place.ranges));
    patchU16(out, place.count, static_cast<std::uint16_t>(ranges.size()));
    for (const Range& range : ranges) putRange(out, range, false);
    out.insert(out.end(), body.begin() + static_cast<std::ptrdiff_t>(tail), body.end());
    return out;
}

void putBound(std::vector<std::uint8_t>& body, std::size_t at, const Range& bound) {
    std::vector<std::uint8_t> bytes;
    putRange(bytes, bound, false);
    if (at + bytes.size() > body.size()) throw FormatViolation("bound past its record");
    std::copy(bytes.begin(), bytes.end(), body.begin() + static_cast<std::ptrdiff_t>(at));
}

// The Ref8 of a future-record header (FrtRefHeader), when its flag says it holds one.
bool hasHeaderRange(std::span<const std::uint8_t> body) {
    return body.size() >= 12 && (readU16(body, 2) & 1) != 0;
}

// A record body with its range list replaced through `edit`, and the conditional-format bound
// (and header range) set to the new ranges' bound. nullopt: the record goes.
template <typename Edit>
std::optional<std::vector<std::uint8_t>> editList(std::uint16_t id,
                                                  std::span<const std::uint8_t> body, Edit edit,
                                                  std::optional<Range>& bound) {
    const auto place = listPlace(id, body);
    if (!place) return std::vector<std::uint8_t>(body.begin(), body.end());
    const auto ranges = readRanges(body, place->ranges, readU16(body, place->count), false);
    const auto edited = edit(ranges);
    if (edited.empty()) return std::nullopt;
    auto out = withRanges(body, *place, edited);
    if (out.size() > kMaxRecordBody) throw FormatViolation("range list too long for its record");
    if (isCfHeader(id)) {
        bound = boundOf(edited);
        putBound(out, boundAt(id), *bound);
        if (id == kCfHeader12 && hasHeaderRange(out)) putBound(out, 4, *bound);
    } else if ((id == kFeat11 || id == kFeat12) && hasHeaderRange(out)) {
        putBound(out, 4, boundOf(edited));
    }
    return out;
}

// Rewrites every record of `sheet` through editRanges (range lists) and editHeader (the Ref8
// of a future-record header that holds no list: CF12, AUTOFILTER12). CFEX records take the new
// bound of their header; the CF/CF12 rules and CFEX of a dropped header go with it. Tables are
// never dropped: a table whose rows all went keeps its record as it was.
template <typename EditRanges, typename EditHeader>
void editRecords(SheetData& sheet, EditRanges editRanges, EditHeader editHeader) {
    RecordEditor editor(sheet);
    std::map<int, std::optional<Range>> headers;  // CFEX id -> new bound, nullopt: dropped
    std::vector<std::optional<KeptRecord>> result;
    std::uint16_t dropping = 0;  // the rule record of a dropped header
    for (const KeptRecord& record : sheet.records) {
        if (!isEditable(record)) {
            result.emplace_back(record);
            dropping = 0;
            continue;
        }
        if (dropping != 0 && record.id == dropping) continue;
        dropping = 0;
        const std::uint16_t id = record.id;
        const bool handled = id == rec::kCfHeader || id == kCfHeader12 || id == kFeat ||
                             id == kFeat11 || id == kFeat12 || id == rec::kDv || id == kCf12 ||
                             id == kAutoFilter12;
        if (!handled) {
            result.emplace_back(record);
            continue;
        }
        try {
            const auto old = editor.body(record);
            if (id == kCf12 || id == kAutoFilter12) {
                auto body = old;
                if (hasHeaderRange(body)) {
                    const auto range = editHeader(readRanges(body, 4, 1, false)[0]);
                    if (range) putBound(body, 4, *range);
                }
                result.emplace_back(body == old ? record : editor.replaced(record, body));
                continue;
            }
            std::optional<Range> bound;
            auto body = editList(id, old, editRanges, bound);
            if (!body && (id == kFeat11 || id == kFeat12)) body = old;
            if (isCfHeader(id)) headers[headerId(id, old)] = body ? bound : std::nullopt;
            if (!body) {
                if (isCfHeader(id)) dropping = id == rec::kCfHeader ? rec::kCf : kCf12;
                if (id == rec::kDv) result.emplace_back(std::nullopt);
                continue;
            }
            result.emplace_back(*body == old ? record : editor.replaced(record, *body));
        } catch (const FormatViolation&) {
            result.emplace_back(record);  // a record we cannot follow stays as it was
        }
    }
    std::vector<KeptRecord> records;
    records.reserve(result.size());
    int droppedValidations = 0;
    for (auto& record : result) {
        if (!record) {
            ++droppedValidations;
            continue;
        }
        if (record->id == kCfEx && isEditable(*record)) {
            try {
                auto body = editor.body(*record);
                const auto header = headers.find(readU16(body, 16));
                if (header != headers.end()) {
                    if (!header->second) continue;
                    putBound(body, 4, *header->second);
                    record = editor.replaced(*record, body);
                }
            } catch (const FormatViolation&) {
                // kept as it was
            }
        }
        records.push_back(*record);
    }
    if (droppedValidations > 0) {
        for (KeptRecord& record : records) {
            if (record.id != rec::kDval || !isEditable(record)) continue;
            auto body = editor.body(record);
            if (body.size() < 18) continue;
            const std::uint32_t count = readU32(body, 14);
            const auto dropped = static_cast<std::uint32_t>(droppedValidations);
            patchU32(body, 14, count > dropped ? count - dropped : 0);
            record = editor.replaced(record, body);
        }
    }
    sheet.records = std::move(records);
}

}  // namespace

void shiftNewerRangeRecords(SheetData& sheet, int deleted) {
    editRecords(
        sheet, [&](const std::vector<Range>& ranges) { return shiftRanges(ranges, deleted); },
        [&](const Range& range) { return shiftRange(range, deleted); });
}

void permuteRangeRecords(SheetData& sheet, int first0, int firstColumn0, int lastColumn0,
                         const std::vector<int>& newRowOf) {
    const int count = static_cast<int>(newRowOf.size());
    editRecords(
        sheet,
        [&](const std::vector<Range>& ranges) {
            return permuteRanges(ranges, first0, firstColumn0, lastColumn0, newRowOf);
        },
        [&](const Range& range) -> std::optional<Range> {
            // A one-row header range inside the block goes with its row.
            if (range.firstRow != range.lastRow || range.firstRow < first0 ||
                range.firstRow >= first0 + count || range.firstColumn < firstColumn0 ||
                range.lastColumn > lastColumn0) {
                return range;
            }
            Range moved = range;
            moved.firstRow = moved.lastRow =
                newRowOf[static_cast<std::size_t>(range.firstRow - first0)];
            return moved;
        });
}

}  // namespace clivara::archive
