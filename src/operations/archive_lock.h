#pragma once

#include <QString>
#include <filesystem>
#include <optional>

class MessageBoxes;

namespace clivara::operations {

// The locks that keep two programs from working on one archive at the same time.
//
// Our own lock is a file beside the archive (".Archivio.xls.clivara-lock") holding the
// process id and the computer's name; it is created exclusively, so only one program can
// hold it. A lock left by a process that no longer runs on this computer is taken over.
// While the program runs it also leaves a ".~lock.Archivio.xls#" in the form LibreOffice
// writes, so that LibreOffice warns whoever opens the archive meanwhile. Every file the lock
// created is removed by release() or the destructor.
class ArchiveLock {
  public:
    explicit ArchiveLock(std::filesystem::path archive);
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    enum class Outcome { Acquired, InUse, Failed };
    // Takes our own lock. On InUse or Failed, message() says why in Italian.
    Outcome acquire();
    const QString& message() const { return message_; }
    const std::filesystem::path& archive() const { return archive_; }

    // Who holds the archive in an office suite, read from the suite's lock file beside it
    // (Excel's "~$Archivio.xls" or LibreOffice's ".~lock.Archivio.xls#"); nothing when no
    // such file stands there. A LibreOffice-form lock written by this program is not counted.
    std::optional<QString> officeSuiteHolder() const;

    // Leaves the LibreOffice-form lock beside the archive, unless a suite's own lock is
    // already there (which is then left alone).
    void writeSuiteLock();

    // Removes the files this lock created; safe to call more than once.
    void release();

    static std::filesystem::path ownLockPath(const std::filesystem::path& archive);
    static std::filesystem::path libreOfficeLockPath(const std::filesystem::path& archive);
    static std::filesystem::path excelLockPath(const std::filesystem::path& archive);

  private:
    std::filesystem::path archive_;
    QString message_;
    bool ownHeld_ = false;
    QByteArray suiteLockWritten_;  // the content written, empty when none
};

// The whole start-up check: takes our lock, and when an office suite holds the archive asks
// (No the default) whether to open it anyway; then leaves the LibreOffice-form lock. False
// when the program must end; the archive and the folder are then as they were.
bool lockArchiveForUse(ArchiveLock& lock, MessageBoxes& boxes);

}  // namespace clivara::operations
