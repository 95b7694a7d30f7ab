#include "archive/records/shared_strings.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/container/format_violation.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"

namespace clivara::archive {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Record {
    std::uint16_t id;
    Bytes body;
    std::size_t offset;
};

std::vector<Record> splitRecords(const Bytes& stream) {
    std::vector<Record> records;
    RecordReader reader(stream);
    while (!reader.atEnd()) {
        RecordView view = reader.next();
        records.push_back({view.id, Bytes(view.body.begin(), view.body.end()), view.offset});
    }
    return records;
}

SharedStrings parseBodies(const std::vector<Bytes>& bodies) {
    std::vector<std::span<const std::uint8_t>> spans(bodies.begin(), bodies.end());
    return SharedStrings::parse(spans);
}

// Parses the SST and CONTINUE records of a serialized table.
SharedStrings reparse(const Bytes& stream) {
    std::vector<Bytes> bodies;
    RecordReader reader(stream);
    while (!reader.atEnd()) {
        RecordView view = reader.next();
        if (view.id == rec::kSst || view.id == rec::kContinue) {
            bodies.emplace_back(view.body.begin(), view.body.end());
        }
    }
    return parseBodies(bodies);
}

Bytes sstHeader(std::uint32_t total, std::uint32_t unique) {
    Bytes body;
    putU32(body, total);
    putU32(body, unique);
    return body;
}

void putCompressed(Bytes& out, std::string_view latin1) {
    putU16(out, static_cast<std::uint16_t>(latin1.size()));
    out.push_back(0);
    out.insert(out.end(), latin1.begin(), latin1.end());
}

// Cuts a logical table (header and strings, as if there were no record limit) into record
// bodies of at most kMaxRecordBody bytes. Only valid where no cut falls into a string header
// or its characters.
std::vector<Bytes> chop(const Bytes& logical) {
    std::vector<Bytes> bodies;
    for (std::size_t at = 0; at < logical.size(); at += kMaxRecordBody) {
        const std::size_t end = std::min(logical.size(), at + kMaxRecordBody);
        bodies.emplace_back(logical.begin() + static_cast<std::ptrdiff_t>(at),
                            logical.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return bodies;
}

std::vector<Bytes> sstBodies(const Bytes& stream) {
    std::vector<Bytes> bodies;
    for (const Record& r : splitRecords(stream)) {
        if (r.id == rec::kSst || r.id == rec::kContinue) bodies.push_back(r.body);
    }
    return bodies;
}

void expectThrowsViolation(const std::vector<Bytes>& bodies, const char* what) {
    EXPECT_THROW(parseBodies(bodies), FormatViolation) << what;
}

TEST(SharedStrings, RoundTripsManyStringsAcrossRecords) {
    SharedStrings table;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        std::string s = "Cliente " + std::to_string(i);
        if (i % 7 == 0) s += " città €";
        if (i % 11 == 0) s += " 😀";
        expected.push_back(s);
        EXPECT_EQ(table.add(s), static_cast<std::uint32_t>(i));
    }
    const Bytes stream = table.serialize(12345, 1000);
    for (const Record& r : splitRecords(stream)) EXPECT_LE(r.body.size(), kMaxRecordBody);
    const SharedStrings back = reparse(stream);
    ASSERT_EQ(back.size(), expected.size());
    for (std::uint32_t i = 0; i < back.size(); ++i) ASSERT_EQ(back.text(i), expected[i]);
}

TEST(SharedStrings, ExtSstPointsAtTheFirstStringOfEachBucket) {
    SharedStrings table;
    for (int i = 0; i < 20000; ++i)
        table.add("Nome " + std::to_string(i) + std::string(i % 50, 'x'));
    const std::uint64_t streamOffset = 5000;
    const Bytes stream = table.serialize(20000, streamOffset);
    const std::vector<Record> records = splitRecords(stream);
    ASSERT_EQ(records.back().id, rec::kExtSst);
    const Bytes& ext = records.back().body;
    const std::uint16_t bucketSize = readU16(ext, 0);
    EXPECT_EQ(bucketSize, 20000 / 128 + 1);
    const std::size_t buckets = (ext.size() - 2) / 8;
    EXPECT_EQ(buckets, (20000 + bucketSize - 1) / bucketSize);
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t at = readU32(ext, 2 + 8 * b) - streamOffset;
        const std::size_t inRecord = readU16(ext, 6 + 8 * b);
        // The offset counts from the start of the record header holding the string.
        const std::size_t recordStart = at - inRecord;
        const std::uint16_t id = readU16(stream, recordStart);
        EXPECT_TRUE(id == rec::kSst || id == rec::kContinue) << b;
        const std::string expected =
            std::string(table.text(static_cast<std::uint32_t>(b * bucketSize)));
        ASSERT_EQ(readU16(stream, at), expected.size()) << b;
        // Compare the characters that stand in the same record as the header.
        const std::size_t recordEnd = recordStart + 4 + readU16(stream, recordStart + 2);
        const std::size_t shown = std::min(expected.size(), recordEnd - (at + 3));
        EXPECT_EQ(std::string(stream.begin() + static_cast<std::ptrdiff_t>(at + 3),
                              stream.begin() + static_cast<std::ptrdiff_t>(at + 3 + shown)),
                  expected.substr(0, shown));
    }
    // The SST header carries both counts.
    EXPECT_EQ(readU32(records[0].body, 0), 20000u);
    EXPECT_EQ(readU32(records[0].body, 4), 20000u);
}

// Written where the workbook stream is being built, after 5000 bytes of other records, the
// table is the same bytes with EXTSST counting from the stream's start.
TEST(SharedStrings, AppendedToTheStreamMatchesTheTableWrittenAlone) {
    SharedStrings table;
    for (int i = 0; i < 3000; ++i) table.add("Cliente \xC3\xA8 " + std::to_string(i));
    Bytes stream(5000, 0x11);
    table.appendTo(stream, 4321);
    Bytes expected(5000, 0x11);
    const Bytes alone = table.serialize(4321, 5000);
    expected.insert(expected.end(), alone.begin(), alone.end());
    EXPECT_EQ(stream, expected);
}

TEST(SharedStrings, EmptyTable) {
    const SharedStrings table = parseBodies({sstHeader(0, 0)});
    EXPECT_EQ(table.size(), 0u);
    const std::vector<Record> records = splitRecords(table.serialize(0, 0));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].body, sstHeader(0, 0));
    EXPECT_EQ(records[1].id, rec::kExtSst);
    EXPECT_EQ(records[1].body, (Bytes{8, 0}));
}

TEST(SharedStrings, LongUtf16StringsAndSurrogatePairs) {
    std::string euros;
    for (int i = 0; i < 32767; ++i) euros += "€";
    std::string emoji;
    for (int i = 0; i < 5000; ++i) emoji += "😀";       // pairs, likely split across records
    std::string mixed = std::string(9000, 'a') + "€";  // stored wide as a whole

    SharedStrings table;
    table.add("prima");
    table.add(euros);
    table.add(emoji);
    table.add(mixed);
    table.add("ultima");
    const Bytes stream = table.serialize(5, 0);
    for (const Record& r : splitRecords(stream)) EXPECT_LE(r.body.size(), kMaxRecordBody);
    const SharedStrings back = reparse(stream);
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back.text(1), euros);
    EXPECT_EQ(back.text(2), emoji);
    EXPECT_EQ(back.text(3), mixed);
    EXPECT_EQ(back.text(4), "ultima");
    EXPECT_THROW(table.add(euros + "x"), std::length_error);
}

TEST(SharedStrings, CharactersContinueWithAFreshOptionByte) {
    // "abc" compressed, then the rest in UTF-16 after the split; then a surrogate pair split
    // between two records; then a header ending exactly at a record's end.
    Bytes first = sstHeader(3, 3);
    putU16(first, 5);
    first.push_back(0x00);
    first.insert(first.end(), {'a', 'b', 'c'});
    Bytes second = {0x01, 0xAC, 0x20, 'd', 0};  // option byte, "€d"
    putU16(second, 2);
    second.push_back(0x01);
    second.insert(second.end(), {0x3D, 0xD8});  // high surrogate of U+1F600
    Bytes third = {0x01, 0x00, 0xDE};           // its low surrogate
    putU16(third, 2);
    third.push_back(0x00);  // header of "hi" ends the record
    Bytes fourth = {0x00, 'h', 'i'};
    const SharedStrings table = parseBodies({first, second, third, fourth});
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.text(0), "abc€d");
    EXPECT_EQ(table.text(1), "😀");
    EXPECT_EQ(table.text(2), "hi");
    // Latin-1 characters above 0x7F and lone surrogates.
    Bytes body = sstHeader(2, 2);
    putU16(body, 2);
    body.push_back(0x00);
    body.insert(body.end(), {0xE0, 0xFF});
    putU16(body, 2);
    body.push_back(0x01);
    body.insert(body.end(), {0x00, 0xDC, 'x', 0});
    const SharedStrings latin = parseBodies({body});
    EXPECT_EQ(latin.text(0), "àÿ");
    EXPECT_EQ(latin.text(1), "\uFFFDx");
}

TEST(SharedStrings, RunsAndPhoneticBlocksSurviveAcrossRecords) {
    // Laid out as the writer lays it out, so writing back gives the same bytes: a filler
    // string, then a string whose runs straddle the first record end and whose phonetic block
    // is longer than a record, then a string that starts right after it.
    Bytes logical = sstHeader(7, 4);
    putCompressed(logical, std::string(8198, 'f'));
    putU16(logical, 3);
    logical.push_back(0x0C);
    putU16(logical, 2);
    putU32(logical, 17000);
    logical.insert(logical.end(), {'a', 'b', 'c'});
    logical.insert(logical.end(), {0, 0, 1, 0, 2, 0, 2, 0});
    for (int i = 0; i < 17000; ++i) logical.push_back(static_cast<std::uint8_t>(i * 7));
    putCompressed(logical, "abc");
    putCompressed(logical, "fine");
    const std::vector<Bytes> bodies = chop(logical);
    ASSERT_EQ(bodies.size(), 4u);

    SharedStrings table = parseBodies(bodies);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table.text(1), "abc");
    EXPECT_EQ(table.text(2), "abc");
    EXPECT_EQ(table.text(3), "fine");
    // The formatted "abc" is not shared with plain text; the plain one is.
    EXPECT_EQ(table.add("abc"), 2u);
    EXPECT_EQ(table.add("fine"), 3u);
    EXPECT_EQ(sstBodies(table.serialize(7, 0)), bodies);
}

TEST(SharedStrings, StringsEndingExactlyAtARecordEnd) {
    // The first string fills the SST record; the second starts the CONTINUE record; the third
    // ends its characters at the next record's end and its runs follow in a third record.
    Bytes logical = sstHeader(3, 3);
    putCompressed(logical, std::string(kMaxRecordBody - 8 - 3, 'x'));
    putCompressed(logical, "start");
    putU16(logical, 8224 - 8 - 5);
    logical.push_back(0x08);
    putU16(logical, 1);
    logical.insert(logical.end(), 8224 - 8 - 5, 'r');
    putU32(logical, 0x00050001);
    const std::vector<Bytes> bodies = chop(logical);
    ASSERT_EQ(bodies.size(), 3u);
    ASSERT_EQ(bodies[2].size(), 4u);
    SharedStrings table = parseBodies(bodies);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.text(1), "start");
    EXPECT_EQ(table.text(2), std::string(8224 - 8 - 5, 'r'));
    EXPECT_EQ(sstBodies(table.serialize(3, 0)), bodies);
}

TEST(SharedStrings, MalformedTablesAreRefused) {
    Bytes oneString = sstHeader(1, 1);
    putCompressed(oneString, "a");

    Bytes more = sstHeader(2, 1);
    putCompressed(more, "a");
    putCompressed(more, "b");
    expectThrowsViolation({more}, "more strings than counted");
    expectThrowsViolation({oneString, {0x01, 0x00, 0x00, 'b'}}, "more strings in a CONTINUE");

    Bytes fewer = sstHeader(3, 3);
    putCompressed(fewer, "a");
    putCompressed(fewer, "b");
    expectThrowsViolation({fewer}, "fewer strings than counted");
    expectThrowsViolation({sstHeader(1, 0xFFFFFFFF)}, "huge count, no data");

    Bytes onlyHeader = sstHeader(1, 1);
    Bytes continued;
    putCompressed(continued, "a");
    expectThrowsViolation({onlyHeader, continued}, "CONTINUE before any string");
    expectThrowsViolation({Bytes{1, 0, 0, 0, 1, 0, 0}}, "short SST header");
    expectThrowsViolation({}, "no record at all");

    Bytes longCount = sstHeader(1, 1);
    putU16(longCount, 100);
    longCount.push_back(0);
    longCount.insert(longCount.end(), {'a', 'b'});
    expectThrowsViolation({longCount}, "characters past the data");

    Bytes runs = sstHeader(1, 1);
    putU16(runs, 1);
    runs.push_back(0x08);
    putU16(runs, 0xFFFF);
    runs.push_back('a');
    expectThrowsViolation({runs}, "runs past the data");

    Bytes phonetic = sstHeader(1, 1);
    putU16(phonetic, 1);
    phonetic.push_back(0x04);
    putU32(phonetic, 0x7FFFFFFF);
    phonetic.push_back('a');
    expectThrowsViolation({phonetic}, "phonetic block past the data");

    Bytes splitUnit = sstHeader(1, 1);
    putU16(splitUnit, 2);
    splitUnit.push_back(0x01);
    splitUnit.insert(splitUnit.end(), {'a', 0, 'b'});
    expectThrowsViolation({splitUnit, {0x01, 0x00, 'c', 0}}, "UTF-16 character split");

    Bytes headerCut = sstHeader(1, 1);
    headerCut.push_back(5);
    expectThrowsViolation({headerCut}, "header cut short");

    EXPECT_THROW(parseBodies({oneString}).text(1), FormatViolation);
}

TEST(SharedStrings, AddReusesPlainStringsAndKeepsIndexes) {
    Bytes body = sstHeader(4, 3);
    putCompressed(body, "Rossi");
    putCompressed(body, "Bianchi");
    putCompressed(body, "Rossi");  // duplicates happen in files from elsewhere
    SharedStrings table = parseBodies({body});
    EXPECT_EQ(table.add("Rossi"), 0u);
    EXPECT_EQ(table.add("Bianchi"), 1u);
    EXPECT_EQ(table.add("Verdi"), 3u);
    EXPECT_EQ(table.add(""), 4u);
    EXPECT_EQ(table.add(""), 4u);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(table.add(std::to_string(i)), 5u + i);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(table.add(std::to_string(i)), 5u + i);
    EXPECT_EQ(table.add("Verdi"), 3u);
    EXPECT_EQ(table.text(2), "Rossi");
    const SharedStrings back = reparse(table.serialize(9, 0));
    ASSERT_EQ(back.size(), table.size());
    EXPECT_EQ(back.text(4), "");
    EXPECT_EQ(back.text(1004), "999");
}

// The lookup built on another thread gives what add() would have built itself, whether the
// table is added to, copied, moved, cut back or dropped while it is being built.
TEST(SharedStrings, LookupBuiltInTheBackgroundAnswersAsItsOwn) {
    Bytes body = sstHeader(20000, 20000);
    for (int i = 0; i < 20000; ++i) putCompressed(body, "c" + std::to_string(i));
    std::vector<Bytes> bodies = sstBodies(parseBodies({body}).serialize(20000, 0));
    for (int next = 0; next < 5; ++next) {
        SCOPED_TRACE(next);
        SharedStrings table = parseBodies(bodies);
        table.buildLookupInBackground();
        switch (next) {
            case 0:  // an existing text, then a new one
                EXPECT_EQ(table.add("c19999"), 19999u);
                EXPECT_EQ(table.add("nuovo"), 20000u);
                break;
            case 1: {  // a copy made meanwhile has the lookup too
                SharedStrings copy = table;
                EXPECT_EQ(copy.add("c7"), 7u);
                break;
            }
            case 2: {  // moved away meanwhile
                SharedStrings moved = std::move(table);
                EXPECT_EQ(moved.add("c123"), 123u);
                break;
            }
            case 3:  // cut back meanwhile: the lookup forgets the strings that went
                table.truncate(10);
                EXPECT_EQ(table.add("c15"), 10u);
                break;
            default:  // dropped meanwhile
                break;
        }
    }
    SharedStrings twice = parseBodies(bodies);
    twice.buildLookupInBackground();
    twice.buildLookupInBackground();
    EXPECT_EQ(twice.add("c0"), 0u);
}

// Damaged tables either parse or are refused with FormatViolation; nothing else escapes.
TEST(SharedStrings, DamagedBytesAreRefusedCleanly) {
    SharedStrings table;
    for (int i = 0; i < 300; ++i) table.add("voce " + std::to_string(i) + (i % 3 ? "" : " €😀"));
    const std::vector<Bytes> original = sstBodies(table.serialize(300, 0));
    std::mt19937 random(2008);
    for (int round = 0; round < 3000; ++round) {
        std::vector<Bytes> bodies = original;
        for (int k = 0; k < 1 + round % 4; ++k) {
            Bytes& body = bodies[random() % bodies.size()];
            if (body.empty()) continue;
            body[random() % body.size()] = static_cast<std::uint8_t>(random());
        }
        if (round % 5 == 0) bodies.back().resize(random() % (bodies.back().size() + 1));
        try {
            const SharedStrings parsed = parseBodies(bodies);
            for (std::uint32_t i = 0; i < parsed.size(); ++i) (void)parsed.text(i);
        } catch (const FormatViolation&) {
        }
    }
}

}  // namespace
}  // namespace clivara::archive
