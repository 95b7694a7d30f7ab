#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"
#include "register/customer_fields.h"

struct sqlite3;

namespace clivara::customers {

// Which archive file a journal belongs to: its size and modification time when the program
// opened it, and a SHA-256 of its bytes (empty when the file had already changed under the
// program before the first change was recorded, so that it never matches).
struct ArchiveIdentity {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::string sha256;
    std::uint64_t inode = 0;  // not kept in the journal: a copy elsewhere has another
};

// The same file as far as its size, time and inode tell (the hash is not compared).
bool sameFileStamp(const ArchiveIdentity& a, const ArchiveIdentity& b);

// Size and modification time of a file, without reading it; nothing when it cannot be read.
std::optional<ArchiveIdentity> statArchive(const std::filesystem::path& path);
// Size, time and hash of the file's bytes; nothing when it cannot be read.
std::optional<ArchiveIdentity> identifyArchive(const std::filesystem::path& path);

// One confirmed change, exactly as the workbook received it. An addition writes the thirteen
// texts into `row` of "Clienti" and the counter text into A2 of "Codici"; a modification
// writes the thirteen texts into `row`; a deletion removes `row`. Additions and
// modifications are followed by the sort of the customer rows.
struct RegisterChange {
    enum class Kind : int { Addition = 1, Modification = 2, Deletion = 3 };
    Kind kind = Kind::Addition;
    int row = 0;
    std::array<std::string, kFieldCount> fields;  // fields[0] is column A
    std::string counter;
};

// Makes the change on the workbook as the window's handler made it; gives the reordering
// of the sort that followed it.
archive::AppliedSort applyChange(archive::Workbook& book, const RegisterChange& change);

// What a journal left behind by an earlier run holds.
struct RecoveredRegister {
    pid_t pid = 0;
    std::string host;
    ArchiveIdentity archive;       // the archive that run had opened
    std::int64_t firstChange = 0;  // seconds since 1970, UTC
    std::int64_t lastChange = 0;
    int changes = 0;
    archive::Workbook book;  // the register after its last recorded change
};

// How much a journal left behind holds, without replaying it.
struct JournalSummary {
    int changes = 0;
    std::int64_t firstChange = 0;  // seconds since 1970, UTC
    std::int64_t lastChange = 0;
};

// The journal of the confirmed changes of one run, kept beside the archive in an SQLite file
// of this computer's own (".Archivio.xls.<computer>.clivara-recupero"), so that two desks
// never write one journal, and a desk that takes over the archive of one that ended badly
// finds that desk's journal beside it. Nothing is written until the first change: that one
// stores the whole workbook after it (the base) with the identity of the archive, every later
// one only its own record. Each record is committed and on disk before record() returns; a
// run killed at any moment leaves either the journal before or after the record, never half
// of one. The file works in a network folder too: a rollback journal kept between commits
// and a lock held for the whole run, so no shared memory between processes is needed
// (openJournal in the .cpp says why this mode).
class RecoveryJournal {
  public:
    // archive: the archive file; opened: its identity when the program opened it (size and
    // time; the hash is taken from the file at the first change).
    RecoveryJournal(std::filesystem::path archive, ArchiveIdentity opened);
    ~RecoveryJournal();
    RecoveryJournal(const RecoveryJournal&) = delete;
    RecoveryJournal& operator=(const RecoveryJournal&) = delete;

    // The journal file of an archive on this computer, and on the computer of that name.
    static std::filesystem::path pathFor(const std::filesystem::path& archive);
    static std::filesystem::path pathFor(const std::filesystem::path& archive,
                                         std::string_view host);
    // This computer's name, as the journal's file carries it.
    static std::string thisHost();

    // Records a change already made on `after` (the workbook as it is now). Throws
    // ArchiveError(WriteFailed) with the Italian reason when it cannot be made durable.
    void record(const archive::Workbook& after, const RegisterChange& change);
    // Stores `now` as the new base with nothing to replay on it (after a change that had to be
    // taken back, or after an earlier run's journal was taken over). Throws as record().
    void rebase(const archive::Workbook& now);
    // Continues the journal an earlier run left: this process becomes its owner.
    void adopt();
    // True once something is recorded (by this run or an adopted one).
    bool holdsChanges() const { return holdsChanges_; }
    // The hash of the archive file as it was opened, once the first change has taken it
    // from the unchanged file; empty before or when the file had already changed.
    const std::string& openedHash() const { return openedHash_; }

    // Reads what an earlier run left (on this computer, or on the one named); nothing when no
    // journal holds a change. Throws ArchiveError when the journal cannot be read.
    static std::optional<RecoveredRegister> read(const std::filesystem::path& archive);
    static std::optional<RecoveredRegister> read(const std::filesystem::path& archive,
                                                 std::string_view host);
    // How many changes a journal left behind holds and when they were made; nothing when
    // there is no journal with a change, or it cannot be read.
    static std::optional<JournalSummary> summary(const std::filesystem::path& archive,
                                                 std::string_view host);
    // Removes the journal and its companion files; true when none is left.
    static bool remove(const std::filesystem::path& archive);
    static bool remove(const std::filesystem::path& archive, std::string_view host);
    // The journal another computer left becomes this computer's (after its archive was taken
    // over), unless this computer has one already; true when it did.
    static bool moveToThisHost(const std::filesystem::path& archive, std::string_view fromHost);
    // A journal left under the name of earlier versions (without the computer's name) becomes
    // this computer's, unless this computer already has one.
    static void adoptUnnamed(const std::filesystem::path& archive);

    // Closes the connection and removes the journal (after the archive was saved, or the
    // recovered register was kept elsewhere). True when no journal is left.
    bool discard();
    // Closes the connection without removing anything.
    void close();

  private:
    void open();
    void writeOwner();
    std::filesystem::path archive_;
    ArchiveIdentity opened_;
    sqlite3* db_ = nullptr;
    bool holdsChanges_ = false;
    std::string openedHash_;
};

}  // namespace clivara::customers
