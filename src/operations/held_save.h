#pragma once

#include <chrono>
#include <filesystem>

class MessageBoxes;
class QWidget;

namespace clivara::archive {
class Workbook;
}

namespace clivara::operations {

// How long a save waits for a file that another computer holds open.
inline constexpr std::chrono::milliseconds kHeldSavePatience{10000};

// Saves the workbook over the archive. A save that fails because another program holds the
// file (a desk or an office suite reading it over the network makes the replacement fail
// with "file exists" or "busy") is tried again for up to `patience`, with the small box
// "Salvataggio in corso…" on screen meanwhile. Throws ArchiveError(WriteFailed) with the
// Italian cause when it does not succeed ("l'archivio è aperto su un altro computer" for a
// held file); the file is then as it was.
void saveWaitingForReaders(const archive::Workbook& book, const std::filesystem::path& archive,
                           MessageBoxes& boxes, QWidget* parent,
                           std::chrono::milliseconds patience = kHeldSavePatience);

// Whether an errno of a failed save means that another program holds the file.
bool heldByAnotherProgram(int error);

}  // namespace clivara::operations
