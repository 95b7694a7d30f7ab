#include "archive/records/biff_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "archive/container/format_violation.h"
#include "archive/records/biff_strings.h"

namespace clivara::archive {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(BiffStream, WalksRecordsAndRefusesBrokenOnes) {
    Bytes stream;
    putRecord(stream, rec::kBof, Bytes{0x00, 0x06, 0x05, 0x00});
    putRecord(stream, rec::kEof, Bytes{});
    putRecord(stream, rec::kSst, Bytes(kMaxRecordBody, 0xAB));
    RecordReader reader(stream);
    EXPECT_EQ(reader.peekId(), rec::kBof);
    RecordView bof = reader.next();
    EXPECT_EQ(bof.id, rec::kBof);
    EXPECT_EQ(bof.offset, 0u);
    EXPECT_EQ(readU16(bof.body, 0), 0x0600);
    RecordView eof = reader.next();
    EXPECT_EQ(eof.offset, 8u);
    EXPECT_TRUE(eof.body.empty());
    EXPECT_EQ(reader.next().body.size(), kMaxRecordBody);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.peekId(), 0xFFFF);
    EXPECT_THROW(reader.next(), FormatViolation);

    // Starting in the middle; a lone id byte; a header cut short; a body past the end; a body
    // longer than a record may be.
    RecordReader middle(stream, 8);
    EXPECT_EQ(middle.next().id, rec::kEof);
    EXPECT_EQ(RecordReader(Bytes{0x0A}).peekId(), 0xFFFF);
    EXPECT_THROW(RecordReader(Bytes{0x0A, 0x00, 0x00}).next(), FormatViolation);
    EXPECT_THROW(RecordReader(Bytes{0x0A, 0x00, 0x05, 0x00, 1, 2}).next(), FormatViolation);
    Bytes tooLong = {0xFC, 0x00, 0x21, 0x20};  // 8225 bytes
    tooLong.resize(4 + 8225);
    EXPECT_THROW(RecordReader(tooLong).next(), FormatViolation);
    EXPECT_THROW(RecordReader(stream, stream.size() + 1), FormatViolation);
    EXPECT_THROW(putRecord(stream, rec::kContinue, Bytes(kMaxRecordBody + 1)), std::length_error);
}

TEST(BiffStream, LittleEndianFieldsRoundTrip) {
    Bytes out;
    putU16(out, 0xBEEF);
    putU32(out, 0xDEADBEEF);
    putF64(out, -1234.5);
    putU32(out, 0xFFFFFFFE);
    EXPECT_EQ(out[0], 0xEF);
    EXPECT_EQ(out[1], 0xBE);
    ByteReader reader(out);
    EXPECT_EQ(reader.u16(), 0xBEEF);
    EXPECT_EQ(reader.u32(), 0xDEADBEEFu);
    EXPECT_EQ(reader.f64(), -1234.5);
    EXPECT_EQ(reader.s32(), -2);
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_THROW(reader.u8(), FormatViolation);

    patchU16(out, 0, 0x1234);
    patchU32(out, 2, 0x01020304);
    EXPECT_EQ(readU16(out, 0), 0x1234);
    EXPECT_EQ(readU32(out, 2), 0x01020304u);
    EXPECT_THROW(readU16(out, out.size() - 1), FormatViolation);
    EXPECT_THROW(readU32(out, out.size() - 3), FormatViolation);
    EXPECT_THROW(readU32(out, SIZE_MAX), FormatViolation);

    // A failed read leaves the position where it was.
    const Bytes shortReaderBytes{1, 2, 3};
    ByteReader shortReader(shortReaderBytes);
    EXPECT_THROW(shortReader.u32(), FormatViolation);
    EXPECT_EQ(shortReader.position(), 0u);
    EXPECT_THROW(shortReader.take(SIZE_MAX), FormatViolation);
    shortReader.skip(3);
    EXPECT_THROW(shortReader.skip(1), FormatViolation);
}

TEST(BiffStrings, Utf8AndUtf16) {
    const std::string text = "Città € 😀 ü";
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide.size(), 12u);  // the emoji takes two units
    EXPECT_EQ(utf16Length(text), 12u);
    EXPECT_EQ(utf16ToUtf8(wide), text);
    // Unpaired surrogates and broken UTF-8 become U+FFFD.
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD83D, u'a'}), "\uFFFDa");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00}), "\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xC3"), u"\uFFFD");
    EXPECT_EQ(utf8ToUtf16("a\xE2\x82"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(utf16Length("\xE2\x82"), 2u);
}

TEST(BiffStrings, UnicodeStringForms) {
    Bytes out;
    writeUnicodeString16(out, "Clienti");
    writeUnicodeString16(out, "€uro");
    writeUnicodeString8(out, "Codici");
    writeUnicodeString8(out, "");
    EXPECT_EQ(out[2], 0x00);       // compressed
    EXPECT_EQ(out[10 + 2], 0x01);  // UTF-16 for the euro sign
    ByteReader reader(out);
    EXPECT_EQ(readUnicodeString16(reader), "Clienti");
    EXPECT_EQ(readUnicodeString16(reader), "€uro");
    EXPECT_EQ(readUnicodeString8(reader), "Codici");
    EXPECT_EQ(readUnicodeString8(reader), "");
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_THROW(writeUnicodeString8(out, std::string(256, 'a')), std::length_error);

    // Latin-1 characters above 0x7F; a zero length with no option byte at the record's end;
    // runs and phonetic data skipped; counts that run past the record.
    const Bytes latinBytes{2, 0, 0, 0xE8, 0xF9};
    ByteReader latin(latinBytes);
    EXPECT_EQ(readUnicodeString16(latin), "èù");
    const Bytes emptyBytes{0, 0};
    ByteReader empty(emptyBytes);
    EXPECT_EQ(readUnicodeString16(empty), "");
    const Bytes richBytes{1, 0, 0x0C, 1, 0, 2, 0, 0, 0, 'x', 9, 9, 9, 9, 7, 7, 'z'};
    ByteReader rich(richBytes);
    EXPECT_EQ(readUnicodeString16(rich), "x");
    EXPECT_EQ(rich.u8(), 'z');
    const Bytes longCountBytes{5, 0, 0, 'a'};
    ByteReader longCount(longCountBytes);
    EXPECT_THROW(readUnicodeString16(longCount), FormatViolation);
    const Bytes oddWideBytes{2, 0, 1, 'a', 0, 'b'};
    ByteReader oddWide(oddWideBytes);
    EXPECT_THROW(readUnicodeString16(oddWide), FormatViolation);
    const Bytes hugeWideBytes{0xFF, 0xFF, 1, 'a', 0};
    ByteReader hugeWide(hugeWideBytes);
    EXPECT_THROW(readUnicodeString16(hugeWide), FormatViolation);
}

}  // namespace
}  // namespace clivara::archive
