#pragma once

#include <QDateTime>
#include <QString>
#include <filesystem>
#include <optional>

#include "operations/desk_lock.h"

namespace clivara::operations {

// The locks that keep two programs from changing one archive at the same time.
//
// Our own lock is the desk lock beside the archive (src/operations/desk_lock.h): one desk
// at a time holds it, also across a network folder. While the program changes the archive it
// also leaves a ".~lock.Archivio.xls#" in the form LibreOffice writes, so that LibreOffice
// warns whoever opens the archive meanwhile. release() and the destructor remove what this
// lock created, and only while it still holds our own text.
class ArchiveLock {
  public:
    explicit ArchiveLock(std::filesystem::path archive);
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    const std::filesystem::path& archive() const { return archive_; }
    DeskLock& desk() { return desk_; }

    // Who holds the archive in an office suite, read from the suite's lock file beside it
    // (Excel's "~$Archivio.xls" or LibreOffice's ".~lock.Archivio.xls#"): the name, the
    // computer where the lock says it, and since when. Nothing when no such file stands there.
    // A LibreOffice-form lock written by this program is not counted.
    struct SuiteHolder {
        QString who;  // "Maria Bianchi (computer ufficio-2)"
        QDateTime since;
    };
    std::optional<SuiteHolder> officeSuiteHolder() const;

    // An office suite's own lock stands beside the archive (one of ours left behind by a
    // program that ended is not counted; one that cannot be read is).
    static bool suiteLockStands(const std::filesystem::path& archive);

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
    DeskLock desk_;
    QByteArray suiteLockWritten_;  // the content written, empty when none
};

// "dalle 09:12 del 05/03/2025"; empty for an unknown time.
QString sinceText(const QDateTime& when);

}  // namespace clivara::operations
