#pragma once

#include <QString>
#include <filesystem>

namespace clivara::operations {

// The program's default title, used by every message box.
inline const QString kProgramTitle = QStringLiteral("Clivara 2008");

// True when the file can be opened for reading; never throws.
bool VerifyFile(const std::filesystem::path& fileName);

// The message shown when the archive is missing or cannot be read.
QString missingArchiveMessage(const std::filesystem::path& archivePath);

// The archive beside the executable: its folder joined with "Archivio.xls".
std::filesystem::path archivePathBesideProgram();

}  // namespace clivara::operations
