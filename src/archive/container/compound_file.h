#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "archive/container/atomic_file.h"

namespace clivara::archive {

using ClassId = std::array<std::uint8_t, 16>;

// One stream or storage of a compound file (OLE2), kept whole so it can be written back.
struct CompoundEntry {
    std::string name;  // UTF-8, as stored
    bool isStorage = false;
    ClassId classId{};
    std::vector<std::uint8_t> data;       // streams only
    std::vector<CompoundEntry> children;  // storages only
};

// The root storage's class id and its children.
struct CompoundFile {
    ClassId rootClassId{};
    std::vector<CompoundEntry> entries;

    // The top-level stream whose name equals `name` without regard to letter case.
    CompoundEntry* findStream(std::string_view name);
    const CompoundEntry* findStream(std::string_view name) const;
};

// Reads a compound file held in memory. Raises NotCompoundFile (below) when the bytes are not
// a compound file, FormatViolation when the container is damaged where it matters (sector
// chains that loop or leave the file, impossible sizes, broken directories, streams shorter
// than their chains). Slack that no stream uses is passed over, and a file ending inside its
// last sector reads as if padded with zeros. Never allocates more than the input could hold.
struct NotCompoundFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};
CompoundFile readCompoundFile(std::span<const std::uint8_t> bytes);

// Writes a compound file with 512-byte sectors (what every reader accepts), keeping every
// entry's name, order and class id.
std::vector<std::uint8_t> writeCompoundFile(const CompoundFile& file);
// The same bytes, handed to `write` as they are produced instead of being gathered in memory.
// A write that fails (returns an errno) stops the writing with FormatViolation.
void writeCompoundFile(const CompoundFile& file, const PositionedWrite& write);

}  // namespace clivara::archive
