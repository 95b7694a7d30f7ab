#include "archive/records/old_formats.h"

namespace clivara::archive {

namespace {

std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

}  // namespace

std::optional<std::string> oldestExcelVersion(std::span<const std::uint8_t> bytes) {
    // BOF: id, body length, then the version word and the kind of sheet.
    if (bytes.size() < 8) return std::nullopt;
    const std::uint16_t id = le16(bytes, 0);
    const std::uint16_t length = le16(bytes, 2);
    const std::uint16_t kind = le16(bytes, 6);
    if (length < 4 || length > 16 || bytes.size() < 4u + length) return std::nullopt;
    // Worksheet, chart, macro sheet, and the workbook of Excel 4.0.
    const bool knownKind =
        kind == 0x0010 || kind == 0x0020 || kind == 0x0040 || (id == 0x0409 && kind == 0x0100);
    if (!knownKind) return std::nullopt;
    switch (id) {
        case 0x0009:
            return "Excel 2.x";
        case 0x0209:
            return "Excel 3.0";
        case 0x0409:
            return "Excel 4.0";
        default:
            return std::nullopt;
    }
}

bool startsWithBiff8Bof(std::span<const std::uint8_t> stream) {
    // BOF id 0x0809, a body of at least the version and kind words, version 0x0600.
    return stream.size() >= 8 && le16(stream, 0) == 0x0809 && le16(stream, 2) >= 4 &&
           le16(stream, 4) == 0x0600;
}

}  // namespace clivara::archive
