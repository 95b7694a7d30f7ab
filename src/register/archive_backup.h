#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace clivara::customers {

// Before a save replaces the archive, the file it replaces is kept in the folder "Backup"
// beside it as "<name>-AAAA-MM-GG-hhmmss.xls" (local time). The file is linked, not copied,
// where the file system allows: the save puts a new file in the archive's place, so the link
// alone keeps the old one. Of the backups, the ten newest are kept and, for the last 30 days,
// the newest of each day; older ones are removed. Returns the backup's path, or throws
// ArchiveError(WriteFailed) with the Italian reason; nothing is done when no archive exists.
std::filesystem::path backUpArchive(const std::filesystem::path& archive,
                                    std::chrono::system_clock::time_point now);

// The folder of the backups of an archive.
std::filesystem::path backupFolder(const std::filesystem::path& archive);

}  // namespace clivara::customers
