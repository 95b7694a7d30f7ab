#include "archive/records/shared_strings.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "archive/container/format_violation.h"
#include "archive/records/biff_stream.h"
#include "archive/records/biff_strings.h"

namespace clivara::archive {

namespace {

constexpr std::uint8_t kFlagWide = 0x01;
constexpr std::uint8_t kFlagPhonetic = 0x04;
constexpr std::uint8_t kFlagRich = 0x08;
constexpr std::size_t kMaxAddedLength = 32767;

// Reads a run of record bodies as the table's one logical byte sequence. Header fields and
// run/phonetic bytes pass from one record to the next unchanged; characters that continue in
// the next record start with a fresh option byte, handled by the parser.
class Cursor {
  public:
    explicit Cursor(std::span<const std::span<const std::uint8_t>> bodies) : bodies_(bodies) {}

    std::size_t available() const { return bodies_[record_].size() - position_; }
    const std::uint8_t* data() const { return bodies_[record_].data() + position_; }
    void advance(std::size_t count) { position_ += count; }

    // Steps over exhausted (or empty) records; false when no data is left at all.
    bool settle() {
        while (available() == 0) {
            if (record_ + 1 >= bodies_.size()) return false;
            ++record_;
            position_ = 0;
        }
        return true;
    }

    // Moves to the start of the next non-empty record (for continued characters).
    void nextRecord(const char* what) {
        do {
            if (record_ + 1 >= bodies_.size()) {
                throw FormatViolation(std::string("shared string table ends inside ") + what);
            }
            ++record_;
            position_ = 0;
        } while (available() == 0);
    }

    std::uint8_t byte(const char* what) {
        if (!settle()) {
            throw FormatViolation(std::string("shared string table ends inside ") + what);
        }
        return bodies_[record_][position_++];
    }

    std::uint16_t u16(const char* what) {
        const std::uint8_t lo = byte(what);
        return static_cast<std::uint16_t>(lo | (byte(what) << 8));
    }

    std::uint32_t u32(const char* what) {
        const std::uint32_t lo = u16(what);
        return lo | (static_cast<std::uint32_t>(u16(what)) << 16);
    }

    // Copies count bytes that may span any number of records.
    void copy(std::size_t count, std::vector<std::uint8_t>& out, const char* what) {
        while (count > 0) {
            if (!settle()) {
                throw FormatViolation(std::string("shared string table ends inside ") + what);
            }
            const std::size_t n = std::min(count, available());
            out.insert(out.end(), data(), data() + n);
            position_ += n;
            count -= n;
        }
    }

    std::size_t record() const { return record_; }

  private:
    std::span<const std::span<const std::uint8_t>> bodies_;
    std::size_t record_ = 0;
    std::size_t position_ = 0;
};

void appendLatin1(std::string& out, const std::uint8_t* bytes, std::size_t count) {
    const bool ascii = std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b < 0x80; });
    if (ascii) {
        out.append(reinterpret_cast<const char*>(bytes), count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
}

std::size_t hashText(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

}  // namespace

SharedStrings SharedStrings::parse(std::span<const std::span<const std::uint8_t>> bodies) {
    if (bodies.empty() || bodies[0].size() < 8) {
        throw FormatViolation("shared string table record shorter than its 8-byte header");
    }
    const std::uint32_t unique = readU32(bodies[0], 4);
    if (unique > 0 && bodies[0].size() == 8 && bodies.size() > 1) {
        throw FormatViolation("shared string table continues before its first string");
    }

    std::size_t totalBytes = 0;
    for (const auto& body : bodies) totalBytes += body.size();

    SharedStrings table;
    // Every string takes at least three bytes (count and option byte), so the data bounds
    // the reservation whatever the header claims.
    table.offsets_.reserve(std::min<std::size_t>(unique, totalBytes / 3) + 1);
    table.arena_.reserve(totalBytes);

    Cursor cursor(bodies);
    cursor.advance(8);
    std::u16string units;  // UTF-16 characters of the current string, reused
    std::vector<std::uint8_t> extra;

    for (std::uint32_t index = 0; index < unique; ++index) {
        if (!cursor.settle()) {
            throw FormatViolation("shared string table holds " + std::to_string(index) +
                                  " strings, its header says " + std::to_string(unique));
        }
        std::size_t remaining = cursor.u16("a string header");
        const std::uint8_t flags = cursor.byte("a string header");
        std::uint16_t runCount = 0;
        std::uint32_t phoneticSize = 0;
        if (flags & kFlagRich) runCount = cursor.u16("a string header");
        if (flags & kFlagPhonetic) {
            phoneticSize = cursor.u32("a string header");
            if (phoneticSize > totalBytes) {
                throw FormatViolation("phonetic block of " + std::to_string(phoneticSize) +
                                      " bytes is larger than the table");
            }
        }

        bool wide = (flags & kFlagWide) != 0;
        units.clear();
        while (remaining > 0) {
            if (cursor.available() == 0) {
                cursor.nextRecord("the characters of a string");
                wide = (cursor.data()[0] & kFlagWide) != 0;
                cursor.advance(1);
                continue;
            }
            if (wide) {
                const std::size_t fit = std::min(remaining, cursor.available() / 2);
                if (fit == 0) {
                    throw FormatViolation("UTF-16 character split across records");
                }
                const std::uint8_t* p = cursor.data();
                for (std::size_t k = 0; k < fit; ++k) {
                    units.push_back(static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8)));
                }
                cursor.advance(fit * 2);
                remaining -= fit;
                if (remaining > 0 && cursor.available() != 0) {
                    throw FormatViolation("UTF-16 character split across records");
                }
            } else {
                const std::size_t fit = std::min(remaining, cursor.available());
                if (!units.empty()) {
                    appendUtf8(table.arena_, units);
                    units.clear();
                }
                appendLatin1(table.arena_, cursor.data(), fit);
                cursor.advance(fit);
                remaining -= fit;
            }
        }
        if (!units.empty()) appendUtf8(table.arena_, units);

        if (flags & (kFlagRich | kFlagPhonetic)) {
            if (table.extraBytes_.size() + runCount * 4ull + phoneticSize >
                std::numeric_limits<std::uint32_t>::max()) {
                throw FormatViolation("shared string table's formatting data is too large");
            }
            Extra entry;
            entry.index = index;
            entry.offset = static_cast<std::uint32_t>(table.extraBytes_.size());
            entry.runCount = runCount;
            entry.phoneticSize = phoneticSize;
            entry.flags = static_cast<std::uint8_t>(flags & (kFlagRich | kFlagPhonetic));
            cursor.copy(runCount * std::size_t{4}, table.extraBytes_, "rich-text runs");
            cursor.copy(phoneticSize, table.extraBytes_, "a phonetic block");
            table.extras_.push_back(entry);
        }
        if (table.arena_.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw FormatViolation("shared string table is too large");
        }
        table.offsets_.push_back(static_cast<std::uint32_t>(table.arena_.size()));
    }
    if (cursor.settle()) {
        throw FormatViolation("shared string table holds more strings than its header's " +
                              std::to_string(unique));
    }
    return table;
}

std::uint32_t SharedStrings::size() const {
    return static_cast<std::uint32_t>(offsets_.size() - 1);
}

std::string_view SharedStrings::text(std::uint32_t index) const {
    if (index >= size()) {
        throw FormatViolation("shared string " + std::to_string(index) + " does not exist (" +
                              std::to_string(size()) + " strings)");
    }
    return std::string_view(arena_).substr(offsets_[index], offsets_[index + 1] - offsets_[index]);
}

void SharedStrings::insertLookup(std::uint32_t index) {
    const std::string_view value = text(index);
    const std::size_t mask = lookup_.size() - 1;
    for (std::size_t slot = hashText(value) & mask;; slot = (slot + 1) & mask) {
        if (lookup_[slot] == 0) {
            lookup_[slot] = index + 1;
            ++lookupUsed_;
            return;
        }
        if (text(lookup_[slot] - 1) == value) return;  // the first of equal strings wins
    }
}

void SharedStrings::growLookup() {
    std::vector<std::uint32_t> old = std::move(lookup_);
    lookup_.assign(old.size() * 2, 0);
    lookupUsed_ = 0;
    for (std::uint32_t entry : old) {
        if (entry != 0) insertLookup(entry - 1);
    }
}

SharedStrings::SharedStrings(const SharedStrings& other) {
    other.waitForLookup();
    arena_ = other.arena_;
    offsets_ = other.offsets_;
    extras_ = other.extras_;
    extraBytes_ = other.extraBytes_;
    lookup_ = other.lookup_;
    lookupUsed_ = other.lookupUsed_;
}

SharedStrings& SharedStrings::operator=(const SharedStrings& other) {
    if (this != &other) *this = SharedStrings(other);
    return *this;
}

SharedStrings::SharedStrings(SharedStrings&& other) noexcept {
    *this = std::move(other);
}

SharedStrings& SharedStrings::operator=(SharedStrings&& other) noexcept {
    if (this == &other) return *this;
    waitForLookup();
    other.waitForLookup();
    arena_ = std::move(other.arena_);
    offsets_ = std::move(other.offsets_);
    extras_ = std::move(other.extras_);
    extraBytes_ = std::move(other.extraBytes_);
    lookup_ = std::move(other.lookup_);
    lookupUsed_ = other.lookupUsed_;
    other.offsets_.assign(1, 0);
    other.lookupUsed_ = 0;
    return *this;
}

SharedStrings::~SharedStrings() {
    waitForLookup();
}

void SharedStrings::waitForLookup() const {
    if (building_.valid()) building_.wait();
}

void SharedStrings::buildLookupInBackground() {
    waitForLookup();
    if (!lookup_.empty()) return;
    try {
        building_ = std::async(std::launch::async, [this] {
            try {
                buildLookup();
            } catch (...) {
                // Out of memory: add() tries again, and reports it there.
                lookup_.clear();
                lookupUsed_ = 0;
            }
        });
    } catch (const std::system_error&) {
        // no thread to be had: add() builds the lookup itself
    }
}

void SharedStrings::buildLookup() {
    std::size_t capacity = 16;
    while (capacity < std::size_t{size()} * 2) capacity *= 2;
    lookup_.assign(capacity, 0);
    lookupUsed_ = 0;
    auto extra = extras_.begin();
    for (std::uint32_t i = 0; i < size(); ++i) {
        if (extra != extras_.end() && extra->index == i) {
            ++extra;  // formatted strings are not shared with plain text
            continue;
        }
        insertLookup(i);
    }
}

std::uint32_t SharedStrings::add(std::string_view utf8) {
    if (utf16Length(utf8) > kMaxAddedLength) {
        throw std::length_error("text longer than 32767 characters");
    }
    waitForLookup();
    if (lookup_.empty()) buildLookup();
    const std::size_t mask = lookup_.size() - 1;
    for (std::size_t slot = hashText(utf8) & mask; lookup_[slot] != 0; slot = (slot + 1) & mask) {
        if (text(lookup_[slot] - 1) == utf8) return lookup_[slot] - 1;
    }
    if (size() == std::numeric_limits<std::uint32_t>::max() - 1 ||
        arena_.size() + utf8.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("shared string table is full");
    }
    arena_.append(utf8);
    offsets_.push_back(static_cast<std::uint32_t>(arena_.size()));
    const std::uint32_t index = size() - 1;
    if ((lookupUsed_ + 1) * 2 > lookup_.size()) growLookup();
    insertLookup(index);
    return index;
}

void SharedStrings::truncate(std::uint32_t count) {
    waitForLookup();
    if (count >= size()) return;
    arena_.resize(offsets_[count]);
    offsets_.resize(std::size_t{count} + 1);
    const auto firstDropped =
        std::find_if(extras_.begin(), extras_.end(),
                     [count](const Extra& extra) { return extra.index >= count; });
    if (firstDropped != extras_.end()) {
        extraBytes_.resize(firstDropped->offset);
        extras_.erase(firstDropped, extras_.end());
    }
    // The lookup may point at dropped strings: build it again on the next add().
    lookup_.clear();
    lookupUsed_ = 0;
}

std::vector<std::uint8_t> SharedStrings::serialize(std::uint32_t totalReferences,
                                                   std::uint64_t streamOffset) const {
    std::vector<std::uint8_t> out;
    out.reserve(arena_.size() + std::size_t{size()} * 3 + extraBytes_.size() +
                (arena_.size() / kMaxRecordBody + 2) * 5 + 1100);
    write(out, totalReferences, streamOffset);
    return out;
}

void SharedStrings::appendTo(std::vector<std::uint8_t>& out, std::uint32_t totalReferences) const {
    write(out, totalReferences, out.size());
}

// Appends the records to out; streamOffset is the stream position of out's current end.
void SharedStrings::write(std::vector<std::uint8_t>& out, std::uint32_t totalReferences,
                          std::uint64_t streamOffset) const {
    const std::size_t base = out.size();
    std::size_t recordStart = base;
    auto bodyLength = [&] { return out.size() - recordStart - 4; };
    auto room = [&] { return kMaxRecordBody - bodyLength(); };
    auto closeRecord = [&] {
        patchU16(out, recordStart + 2, static_cast<std::uint16_t>(bodyLength()));
    };
    auto openRecord = [&](std::uint16_t id) {
        recordStart = out.size();
        putU16(out, id);
        putU16(out, 0);
    };

    openRecord(rec::kSst);
    putU32(out, totalReferences);
    putU32(out, size());

    const std::uint32_t bucketSize = std::max<std::uint32_t>(size() / 128 + 1, 8);
    std::vector<std::uint8_t> buckets;
    std::u16string units;
    auto nextExtra = extras_.begin();

    for (std::uint32_t i = 0; i < size(); ++i) {
        const std::string_view value = text(i);
        // ASCII texts (the usual case) are written straight from the arena.
        const bool ascii = std::all_of(value.begin(), value.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        units.clear();
        if (!ascii) appendUtf16(units, value);
        const std::size_t length = ascii ? value.size() : units.size();
        const bool compressed =
            ascii || std::all_of(units.begin(), units.end(), [](char16_t u) { return u <= 0xFF; });
        const std::size_t charSize = compressed ? 1 : 2;
        const Extra* extra = nullptr;
        if (nextExtra != extras_.end() && nextExtra->index == i) extra = &*nextExtra++;
        const std::uint8_t extraFlags = extra ? extra->flags : 0;

        const std::size_t headerSize =
            3 + (extraFlags & kFlagRich ? 2 : 0) + (extraFlags & kFlagPhonetic ? 4 : 0);
        // The header stays in one record together with at least the first character.
        if (room() < headerSize + (length == 0 ? 0 : charSize)) {
            closeRecord();
            openRecord(rec::kContinue);
        }
        if (i % bucketSize == 0) {
            putU32(buckets, static_cast<std::uint32_t>(streamOffset + (out.size() - base)));
            putU16(buckets, static_cast<std::uint16_t>(out.size() - recordStart));
            putU16(buckets, 0);
        }
        putU16(out, static_cast<std::uint16_t>(length));
        out.push_back(static_cast<std::uint8_t>((compressed ? 0 : kFlagWide) | extraFlags));
        if (extraFlags & kFlagRich) putU16(out, extra->runCount);
        if (extraFlags & kFlagPhonetic) putU32(out, extra->phoneticSize);

        std::size_t done = 0;
        while (done < length) {
            std::size_t fit = room() / charSize;
            if (fit == 0) {
                closeRecord();
                openRecord(rec::kContinue);
                out.push_back(compressed ? 0 : kFlagWide);
                continue;
            }
            fit = std::min(fit, length - done);
            if (ascii) {
                out.insert(out.end(), value.begin() + static_cast<std::ptrdiff_t>(done),
                           value.begin() + static_cast<std::ptrdiff_t>(done + fit));
            } else {
                for (std::size_t k = done; k < done + fit; ++k) {
                    out.push_back(static_cast<std::uint8_t>(units[k] & 0xFF));
                    if (!compressed) out.push_back(static_cast<std::uint8_t>(units[k] >> 8));
                }
            }
            done += fit;
        }

        if (extra) {
            const std::uint8_t* bytes = extraBytes_.data() + extra->offset;
            std::size_t left = extra->runCount * std::size_t{4} + extra->phoneticSize;
            while (left > 0) {
                if (room() == 0) {
                    closeRecord();
                    openRecord(rec::kContinue);
                }
                const std::size_t n = std::min(left, room());
                out.insert(out.end(), bytes, bytes + n);
                bytes += n;
                left -= n;
            }
        }
    }
    closeRecord();

    openRecord(rec::kExtSst);
    putU16(out, static_cast<std::uint16_t>(std::min<std::uint32_t>(bucketSize, 0xFFFF)));
    out.insert(out.end(), buckets.begin(), buckets.end());
    closeRecord();
}

}  // namespace clivara::archive
