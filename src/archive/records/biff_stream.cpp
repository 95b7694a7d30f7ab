#include "archive/records/biff_stream.h"

#include <bit>
#include <stdexcept>
#include <string>

#include "archive/container/format_violation.h"

namespace clivara::archive {

namespace {

std::uint16_t loadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t loadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

RecordReader::RecordReader(std::span<const std::uint8_t> stream, std::size_t start)
    : stream_(stream), position_(start) {
    if (position_ > stream_.size()) {
        throw FormatViolation("record reader started past the end of the stream");
    }
}

bool RecordReader::atEnd() const {
    return position_ >= stream_.size();
}

RecordView RecordReader::next() {
    if (stream_.size() - position_ < 4) {
        throw FormatViolation("record header at " + std::to_string(position_) +
                              " runs past the end of the stream");
    }
    const std::uint8_t* header = stream_.data() + position_;
    RecordView view;
    view.id = loadU16(header);
    const std::size_t length = loadU16(header + 2);
    view.offset = position_;
    if (length > kMaxRecordBody) {
        throw FormatViolation("record at " + std::to_string(position_) + " has a body of " +
                              std::to_string(length) + " bytes");
    }
    if (stream_.size() - position_ - 4 < length) {
        throw FormatViolation("record at " + std::to_string(position_) +
                              " runs past the end of the stream");
    }
    view.body = stream_.subspan(position_ + 4, length);
    position_ += 4 + length;
    return view;
}

std::uint16_t RecordReader::peekId() const {
    if (position_ > stream_.size() || stream_.size() - position_ < 2) return 0xFFFF;
    return loadU16(stream_.data() + position_);
}

std::uint8_t ByteReader::u8() {
    return take(1)[0];
}

std::uint16_t ByteReader::u16() {
    return loadU16(take(2).data());
}

std::uint32_t ByteReader::u32() {
    return loadU32(take(4).data());
}

std::int32_t ByteReader::s32() {
    return std::bit_cast<std::int32_t>(u32());
}

double ByteReader::f64() {
    const std::uint8_t* p = take(8).data();
    const std::uint64_t bits =
        static_cast<std::uint64_t>(loadU32(p)) | (static_cast<std::uint64_t>(loadU32(p + 4)) << 32);
    return std::bit_cast<double>(bits);
}

std::span<const std::uint8_t> ByteReader::take(std::size_t count) {
    if (count > remaining()) {
        throw FormatViolation("field of " + std::to_string(count) + " bytes at offset " +
                              std::to_string(position_) + " runs past the end of a record of " +
                              std::to_string(bytes_.size()) + " bytes");
    }
    auto result = bytes_.subspan(position_, count);
    position_ += count;
    return result;
}

void ByteReader::skip(std::size_t count) {
    take(count);
}

void putU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
    }
}

void putF64(std::vector<std::uint8_t>& out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xFF));
    }
}

void patchU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    if (at > bytes.size() || bytes.size() - at < 2) {
        throw std::out_of_range("16-bit patch at " + std::to_string(at) + " outside " +
                                std::to_string(bytes.size()) + " bytes");
    }
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void patchU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    if (at > bytes.size() || bytes.size() - at < 4) {
        throw std::out_of_range("32-bit patch at " + std::to_string(at) + " outside " +
                                std::to_string(bytes.size()) + " bytes");
    }
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 2) {
        throw FormatViolation("16-bit read at " + std::to_string(at) + " outside " +
                              std::to_string(bytes.size()) + " bytes");
    }
    return loadU16(bytes.data() + at);
}

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) {
        throw FormatViolation("32-bit read at " + std::to_string(at) + " outside " +
                              std::to_string(bytes.size()) + " bytes");
    }
    return loadU32(bytes.data() + at);
}

void putRecord(std::vector<std::uint8_t>& out, std::uint16_t id,
               std::span<const std::uint8_t> body) {
    if (body.size() > kMaxRecordBody) {
        throw std::length_error("record " + std::to_string(id) + " body of " +
                                std::to_string(body.size()) + " bytes is too long");
    }
    putU16(out, id);
    putU16(out, static_cast<std::uint16_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace clivara::archive
