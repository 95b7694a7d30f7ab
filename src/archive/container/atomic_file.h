#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

namespace clivara::archive {

// Replaces the file at path with bytes atomically: a temporary file in the same folder,
// written whole, flushed to disk (fsync), given the old file's permissions, then renamed over
// path, and the folder flushed. On any failure the temporary file is removed, path is left as
// it was, and ArchiveError(WriteFailed) says why in Italian (disk full, no permission,
// read-only folder, ...), naming the file.
void replaceFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Writes bytes at a position of the file being written, going on after short writes; returns
// 0 or the errno. Positions may come in any order; a gap reads back as zeros.
using PositionedWrite =
    std::function<int(std::uint64_t position, std::span<const std::uint8_t> bytes)>;

// The same replacement, with the content written by `fill` straight into the temporary file,
// so that the whole file never has to be held in memory. When a write fails, the temporary
// file is removed and ArchiveError(WriteFailed) names the errno, whatever fill throws then;
// any other exception from fill removes the temporary file and passes on unchanged.
void replaceFileAtomically(const std::filesystem::path& path,
                           const std::function<void(const PositionedWrite& write)>& fill);

// Reads a whole file; ArchiveError(Missing / Unreadable / Empty) with the Italian message.
std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path);

// For tests: while errnoValue is not 0, every write of replaceFileAtomically fails with that
// errno (after the temporary file exists), as a full disk or a failing device would. 0 ends it.
void setWriteFailureForTesting(int errnoValue);

}  // namespace clivara::archive
