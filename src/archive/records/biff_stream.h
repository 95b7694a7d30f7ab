#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace clivara::archive {

// Record ids of the BIFF8 workbook stream that the reader and writer handle by name.
namespace rec {
inline constexpr std::uint16_t kFormula = 0x0006, kEof = 0x000A, kFilePass = 0x002F,
                               kContinue = 0x003C, kDateMode = 0x0022, kBoundSheet = 0x0085,
                               kMulRk = 0x00BD, kMulBlank = 0x00BE, kRString = 0x00D6,
                               kDbCell = 0x00D7, kXf = 0x00E0, kMergedCells = 0x00E5, kSst = 0x00FC,
                               kLabelSst = 0x00FD, kExtSst = 0x00FF, kDimensions = 0x0200,
                               kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204,
                               kBoolErr = 0x0205, kFormula2 = 0x0206, kString = 0x0207,
                               kRow = 0x0208, kBof = 0x0809, kIndex = 0x020B, kArray = 0x0221,
                               kTable = 0x0236, kRk = 0x027E, kFormula4 = 0x0406, kShrFmla = 0x04BC,
                               kFormat = 0x041E, kHLink = 0x01B8, kNote = 0x001C,
                               kCfHeader = 0x01B0, kCf = 0x01B1, kDval = 0x01B2, kDv = 0x01BE,
                               kHorizontalPageBreaks = 0x001B, kSelection = 0x001D,
                               kDefColWidth = 0x0055, kXfCrc = 0x087C, kXfExt = 0x087D,
                               kObj = 0x005D, kMsoDrawing = 0x00EC, kTxo = 0x01B6;
}  // namespace rec

inline constexpr std::size_t kMaxRecordBody = 8224;

// One record of the stream: its id, its body, and where its header starts in the stream.
struct RecordView {
    std::uint16_t id = 0;
    std::span<const std::uint8_t> body;
    std::size_t offset = 0;
};

// Walks the records of a workbook stream. A header past the end, a body longer than
// kMaxRecordBody or running past the end raises FormatViolation.
class RecordReader {
  public:
    explicit RecordReader(std::span<const std::uint8_t> stream, std::size_t start = 0);
    bool atEnd() const;
    RecordView next();
    // The id of the next record without consuming it; 0xFFFF at the end.
    std::uint16_t peekId() const;
    std::size_t position() const { return position_; }

  private:
    std::span<const std::uint8_t> stream_;
    std::size_t position_;
};

// Bounds-checked little-endian reading of a record body; reading past the end raises
// FormatViolation.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::int32_t s32();
    double f64();
    std::span<const std::uint8_t> take(std::size_t count);
    void skip(std::size_t count);
    std::size_t remaining() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Little-endian helpers for building and patching records.
void putU16(std::vector<std::uint8_t>& out, std::uint16_t value);
void putU32(std::vector<std::uint8_t>& out, std::uint32_t value);
void putF64(std::vector<std::uint8_t>& out, double value);
void patchU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value);
void patchU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value);
std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at);
// Appends a record header and body; the body must not exceed kMaxRecordBody.
void putRecord(std::vector<std::uint8_t>& out, std::uint16_t id,
               std::span<const std::uint8_t> body);

}  // namespace clivara::archive
