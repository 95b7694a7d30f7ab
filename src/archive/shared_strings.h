#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace clivara::archive {

// The workbook's shared string table (SST). Strings keep their indexes for ever: the table
// only grows (new strings are appended), so every LABELSST of the file stays valid.
// Rich-text runs and phonetic blocks of existing strings are kept and written back.
class SharedStrings {
public:
    // Parses the body of the SST record followed by the bodies of the CONTINUE records that
    // follow it, in order. Raises FormatViolation on anything malformed.
    static SharedStrings parse(std::span<const std::span<const std::uint8_t>> bodies);

    std::uint32_t size() const;
    std::string_view text(std::uint32_t index) const;  // UTF-8
    // The index of an existing plain string with this text, or of a newly appended one.
    std::uint32_t add(std::string_view utf8);

    // The SST record (with CONTINUE records as needed, no record over 8,224 bytes) followed by
    // the EXTSST record. totalReferences is cstTotal; streamOffset is the absolute position
    // in the workbook stream where the SST record's header will stand (for EXTSST).
    std::vector<std::uint8_t> serialize(std::uint32_t totalReferences,
                                        std::uint64_t streamOffset) const;

private:
    // Implementation's choice; kept compact (hundreds of thousands of strings).
    std::string arena_;                     // UTF-8 texts back to back
    std::vector<std::uint32_t> offsets_;    // size() + 1 entries into arena_
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> extras_;  // runs/phonetic
    std::vector<std::uint16_t> runCounts_;  // or any other compact form
    mutable std::unordered_map<std::string_view, std::uint32_t> lookup_;
};

}  // namespace clivara::archive
