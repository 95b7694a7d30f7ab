#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/records/biff_stream.h"

namespace clivara::archive {

// UTF-16 (as stored in BIFF8) to UTF-8 and back. Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);
// Number of UTF-16 code units a UTF-8 text takes (the unit of the format's length limits).
std::size_t utf16Length(std::string_view utf8);
// The same conversions appending to an existing buffer (no allocation when it has room).
// Invalid UTF-8 bytes become U+FFFD, one per byte.
void appendUtf8(std::string& out, std::u16string_view text);
void appendUtf16(std::u16string& out, std::string_view utf8);

// XLUnicodeString with a 16-bit character count (LABEL, FORMAT, STRING) or an 8-bit one
// (BOUNDSHEET8 names): count, option byte (bit 0: UTF-16), characters. Rich-text and phonetic
// flags, where a record allows them, are skipped. Reads from the reader's position.
std::string readUnicodeString16(ByteReader& reader);
std::string readUnicodeString8(ByteReader& reader);
// Writes the same forms, compressed when every character is at most U+00FF.
void writeUnicodeString16(std::vector<std::uint8_t>& out, std::string_view utf8);
void writeUnicodeString8(std::vector<std::uint8_t>& out, std::string_view utf8);

}  // namespace clivara::archive
