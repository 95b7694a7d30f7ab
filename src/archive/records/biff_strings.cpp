#include "archive/records/biff_strings.h"

#include <stdexcept>

#include "archive/container/format_violation.h"

namespace clivara::archive {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes the code point starting at text[i] and advances i. A malformed sequence yields
// U+FFFD and consumes one byte, so every byte is accounted for exactly once.
char32_t decodeUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (text.size() - i < length) {
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if (!isContinuation(c)) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

void appendUtf16Unit(std::vector<std::uint8_t>& out, char16_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

std::string readCharacters(ByteReader& reader, std::size_t count, bool wide) {
    std::string result;
    if (!wide) {
        auto bytes = reader.take(count);
        result.reserve(count);
        for (std::uint8_t b : bytes) appendCodePoint(result, b);
        return result;
    }
    if (count > reader.remaining() / 2) {
        throw FormatViolation("string of " + std::to_string(count) +
                              " UTF-16 characters runs past the end of its record");
    }
    auto bytes = reader.take(count * 2);
    std::u16string units(count, u'\0');
    for (std::size_t k = 0; k < count; ++k) {
        units[k] = static_cast<char16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
    }
    appendUtf8(result, units);
    return result;
}

// The option byte and the optional run count and phonetic size that follow it.
std::string readAfterCount(ByteReader& reader, std::size_t count) {
    const std::uint8_t flags = reader.u8();
    std::size_t runs = 0;
    std::size_t phonetic = 0;
    if (flags & 0x08) runs = reader.u16();
    if (flags & 0x04) {
        const std::int32_t size = reader.s32();
        if (size < 0) throw FormatViolation("negative phonetic block size");
        phonetic = static_cast<std::size_t>(size);
    }
    std::string text = readCharacters(reader, count, (flags & 0x01) != 0);
    reader.skip(runs * 4);
    reader.skip(phonetic);
    return text;
}

bool fitsLatin1(std::u16string_view units) {
    for (char16_t u : units) {
        if (u > 0xFF) return false;
    }
    return true;
}

void writeCharacters(std::vector<std::uint8_t>& out, std::u16string_view units) {
    const bool compressed = fitsLatin1(units);
    out.push_back(compressed ? 0x00 : 0x01);
    if (compressed) {
        for (char16_t u : units) out.push_back(static_cast<std::uint8_t>(u));
    } else {
        for (char16_t u : units) appendUtf16Unit(out, u);
    }
}

}  // namespace

void appendUtf8(std::string& out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                    (static_cast<char32_t>(text[i + 1]) - 0xDC00);
                appendCodePoint(out, cp);
                ++i;
            } else {
                appendCodePoint(out, kReplacement);
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            appendCodePoint(out, kReplacement);
        } else {
            appendCodePoint(out, unit);
        }
    }
}

void appendUtf16(std::u16string& out, std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const char32_t cp = decodeUtf8(utf8, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    appendUtf8(out, text);
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    appendUtf16(out, text);
    return out;
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            ++i;
            ++units;
            continue;
        }
        units += decodeUtf8(utf8, i) >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string readUnicodeString16(ByteReader& reader) {
    const std::size_t count = reader.u16();
    // A writer may leave out the option byte of an empty string at the end of a record.
    if (count == 0 && reader.remaining() == 0) return {};
    return readAfterCount(reader, count);
}

std::string readUnicodeString8(ByteReader& reader) {
    const std::size_t count = reader.u8();
    if (count == 0 && reader.remaining() == 0) return {};
    return readAfterCount(reader, count);
}

void writeUnicodeString16(std::vector<std::uint8_t>& out, std::string_view utf8) {
    const std::u16string units = utf8ToUtf16(utf8);
    if (units.size() > 0xFFFF) {
        throw std::length_error("text of " + std::to_string(units.size()) +
                                " characters does not fit a 16-bit count");
    }
    putU16(out, static_cast<std::uint16_t>(units.size()));
    writeCharacters(out, units);
}

void writeUnicodeString8(std::vector<std::uint8_t>& out, std::string_view utf8) {
    const std::u16string units = utf8ToUtf16(utf8);
    if (units.size() > 0xFF) {
        throw std::length_error("text of " + std::to_string(units.size()) +
                                " characters does not fit an 8-bit count");
    }
    out.push_back(static_cast<std::uint8_t>(units.size()));
    writeCharacters(out, units);
}

}  // namespace clivara::archive
