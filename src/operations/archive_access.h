#pragma once

#include <QString>
#include <filesystem>
#include <string>

class MessageBoxes;
class QObject;

namespace clivara::operations {

class ArchiveLock;

// How the program opens the archive at start-up.
enum class ArchiveAccess { Change, ReadOnly, Cancel };

struct AccessDecision {
    ArchiveAccess access = ArchiveAccess::Cancel;
    // The computer whose lock was taken over after it ended badly; its journal of changes is
    // offered for recovery. Empty otherwise.
    std::string takenOverFrom;
};

// The buttons of the start-up questions.
inline const QString kOpenReadOnly = QStringLiteral("Apri in sola lettura");
inline const QString kOpenAnyway = QStringLiteral("Apri comunque");
inline const QString kTakeOver = QStringLiteral("Prendi l'archivio");
inline const QString kCancel = QStringLiteral("Annulla");

// 0 when the archive file itself can be written; otherwise the errno why not. A file without
// any write permission counts as read-only also for root, who could write it, as it does for
// the office's other programs.
int archiveWriteProblem(const std::filesystem::path& archive);

// Start-up: how the archive is opened. Where it can be changed, our lock is taken and the
// answer is Change. Where another desk holds it (our lock or an office suite's), or the file
// or its folder cannot be written, the user is told why (who holds it, on which computer,
// since when) and chooses "Apri in sola lettura" (the default) or "Annulla"; "Apri comunque"
// as well for an office suite's lock and for a lock of another computer, which cannot be
// asked whether its program still runs. A lock of another computer that has shown no sign of
// life for longer than a running program allows is offered for take-over ("Prendi
// l'archivio"), with that desk's unsaved changes named where its journal is there. A lock
// left on this computer by a program that has ended is taken over without a question. With
// ReadOnly and Cancel nothing of ours is left beside the archive.
AccessDecision chooseArchiveAccess(ArchiveLock& lock, MessageBoxes& boxes);

// While the program may change the archive: the lock's sign of life, every half minute, for
// as long as `owner` lives.
void keepLockAlive(QObject& owner, ArchiveLock& lock);

// The reason behind an errno of the archive or its folder, in Italian.
QString accessProblemText(int error);

}  // namespace clivara::operations
