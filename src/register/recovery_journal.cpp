#include "register/recovery_journal.h"

#include <fcntl.h>
#include <glib.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/archive_error.h"
#include "archive/container/atomic_file.h"
#include "archive/sort/sort_archive.h"
#include "register/customer_rows.h"

namespace clivara::customers {

using archive::ArchiveError;
using archive::ArchiveProblem;
using archive::Workbook;

namespace {

// The order the modification handler writes the cells in: the identifier, the name, C to M.
constexpr std::array<int, kFieldCount> kModificationOrder = {2, 1, 3,  4,  5,  6, 7,
                                                             8, 9, 10, 11, 12, 13};

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string hostName() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
    return name.data();
}

// A computer's name as part of a file name: letters, digits, '.', '-' and '_' stay.
std::string fileNamePart(std::string_view host) {
    std::string part;
    for (const char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        part += plain ? c : '_';
    }
    return part.empty() ? "localhost" : part;
}

// The journal's name in earlier versions, without the computer's name.
std::filesystem::path unnamedPathFor(const std::filesystem::path& archive) {
    return archive.parent_path() / ("." + archive.filename().string() + ".clivara-recupero");
}

std::string sha256Of(const std::vector<std::uint8_t>& bytes) {
    gchar* hex = g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes.data(), bytes.size());
    std::string result = hex != nullptr ? hex : "";
    g_free(hex);
    return result;
}

std::filesystem::path withSuffix(const std::filesystem::path& path, const char* suffix) {
    return std::filesystem::path(path.string() + suffix);
}

void removeFile(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

[[noreturn]] void journalFailed(const std::filesystem::path& file, const std::string& why) {
    throw ArchiveError(
        ArchiveProblem::WriteFailed,
        "I dati di recupero \"" + file.string() + "\" non possono essere scritti: " + why + ".");
}

// One prepared statement, finalised on every way out.
class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql) {
        if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_,
                               nullptr) != SQLITE_OK) {
            statement_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return statement_ != nullptr; }
    sqlite3_stmt* get() const { return statement_; }
    void bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
    void bind(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void bindBlob(int index, const std::vector<std::uint8_t>& bytes) {
        sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_STATIC);
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return sqlite3_step(statement_); }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string text(int column) const {
        const unsigned char* value = sqlite3_column_text(statement_, column);
        const int length = sqlite3_column_bytes(statement_, column);
        return value != nullptr ? std::string(reinterpret_cast<const char*>(value),
                                              static_cast<std::size_t>(length))
                                : std::string();
    }
    std::span<const std::uint8_t> blob(int column) const {
        const void* value = sqlite3_column_blob(statement_, column);
        const int length = sqlite3_column_bytes(statement_, column);
        return {static_cast<const std::uint8_t*>(value), static_cast<std::size_t>(length)};
    }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS journal(id INTEGER PRIMARY KEY CHECK (id = 1), pid INTEGER, "
    "host TEXT, archive_size INTEGER, archive_mtime INTEGER, archive_sha TEXT, base BLOB, "
    "base_seq INTEGER);"
    "CREATE TABLE IF NOT EXISTS changes(seq INTEGER PRIMARY KEY, at INTEGER, kind INTEGER, "
    "row INTEGER, counter TEXT, f1 TEXT, f2 TEXT, f3 TEXT, f4 TEXT, f5 TEXT, f6 TEXT, f7 TEXT, "
    "f8 TEXT, f9 TEXT, f10 TEXT, f11 TEXT, f12 TEXT, f13 TEXT);";

// The files SQLite keeps beside a journal: the rollback journal of the mode in use, and the
// log and shared memory of the write-ahead mode earlier versions used.
constexpr const char* kCompanions[] = {"-journal", "-wal", "-shm"};

// Opens the journal file with the settings every connection uses; nullptr on failure.
//
// The archive may stand in a network folder, where SQLite's write-ahead log cannot work as
// designed: it keeps its index in memory shared between processes, which no network
// filesystem provides across computers. A rollback journal TRUNCATEd after each commit, with
// the lock taken once and kept for the whole run (EXCLUSIVE: no other process reads the
// journal while this one lives, and then no shared memory is used), needs none. Measured with
// bench/journal_modes_probe on a Samba share through a FUSE client: 1.9 ms a change against
// 1.0 ms for the log, and 235 ms for the first change with its base against 1675 ms; on a
// local disk 1.25 ms against 0.22 ms, beside the 4-30 ms the operation takes itself.
sqlite3* openJournal(const std::filesystem::path& file, bool create) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    if (sqlite3_exec(db,
                     "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=TRUNCATE; "
                     "PRAGMA synchronous=FULL;",
                     nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

// A transaction that is rolled back unless committed.
class Transaction {
  public:
    Transaction(sqlite3* db, const std::filesystem::path& file) : db_(db), file_(file) {
        if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail();
        }
        open_ = true;
    }
    ~Transaction() {
        if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void check(int result) {
        if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) fail();
    }
    void commit() {
        check(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
        open_ = false;
    }
    [[noreturn]] void fail() {
        const int code = sqlite3_errcode(db_);
        std::string why = code == SQLITE_FULL ? "disco pieno" : sqlite3_errmsg(db_);
        journalFailed(file_, why);
    }

  private:
    sqlite3* db_;
    const std::filesystem::path& file_;
    bool open_ = false;
};

void syncFolder(const std::filesystem::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::optional<ArchiveIdentity> statArchive(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    ArchiveIdentity identity;
    identity.size = static_cast<std::uint64_t>(info.st_size);
    identity.modifiedNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    return identity;
}

bool sameFileStamp(const ArchiveIdentity& a, const ArchiveIdentity& b) {
    return a.size == b.size && a.modifiedNs == b.modifiedNs && a.inode == b.inode;
}

std::optional<ArchiveIdentity> identifyArchive(const std::filesystem::path& path) {
    std::optional<ArchiveIdentity> identity = statArchive(path);
    if (!identity) return std::nullopt;
    try {
        const std::vector<std::uint8_t> bytes = archive::readWholeFile(path);
        identity->size = bytes.size();
        identity->sha256 = sha256Of(bytes);
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
    return identity;
}

archive::AppliedSort applyChange(Workbook& book, const RegisterChange& change) {
    archive::Sheet* clienti = book.sheet("Clienti");
    archive::Sheet* codici = book.sheet("Codici");
    if (clienti == nullptr || codici == nullptr) {
        throw ArchiveError(ArchiveProblem::SheetMissing,
                           "Nei dati di recupero manca il foglio \"Clienti\" o \"Codici\".");
    }
    switch (change.kind) {
        case RegisterChange::Kind::Addition:
            for (int column = 1; column <= kFieldCount; ++column) {
                setNewCustomerCell(*clienti, change.row, column, change.fields[column - 1]);
            }
            codici->setText(2, 1, change.counter);
            return archive::sortCustomerRows(*clienti);
        case RegisterChange::Kind::Modification:
            for (const int column : kModificationOrder) {
                clienti->setText(change.row, column, change.fields[column - 1]);
            }
            return archive::sortCustomerRows(*clienti);
        case RegisterChange::Kind::Deletion:
            clienti->deleteRow(change.row);
            break;
    }
    return {};
}

RecoveryJournal::RecoveryJournal(std::filesystem::path archive, ArchiveIdentity opened)
    : archive_(std::move(archive)), opened_(std::move(opened)) {}

RecoveryJournal::~RecoveryJournal() {
    close();
}

std::filesystem::path RecoveryJournal::pathFor(const std::filesystem::path& archive) {
    return pathFor(archive, hostName());
}

std::filesystem::path RecoveryJournal::pathFor(const std::filesystem::path& archive,
                                               std::string_view host) {
    return archive.parent_path() /
           ("." + archive.filename().string() + "." + fileNamePart(host) + ".clivara-recupero");
}

std::string RecoveryJournal::thisHost() {
    return hostName();
}

void RecoveryJournal::adoptUnnamed(const std::filesystem::path& archive) {
    const std::filesystem::path unnamed = unnamedPathFor(archive);
    const std::filesystem::path own = pathFor(archive);
    std::error_code ec;
    if (!std::filesystem::exists(unnamed, ec) || std::filesystem::exists(own, ec)) return;
    for (const char* suffix : kCompanions) {
        removeFile(withSuffix(own, suffix));  // a companion left without its journal
        std::error_code ignored;
        std::filesystem::rename(withSuffix(unnamed, suffix), withSuffix(own, suffix), ignored);
    }
    std::filesystem::rename(unnamed, own, ec);
}

void RecoveryJournal::close() {
    if (db_ != nullptr) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

bool RecoveryJournal::discard() {
    close();
    holdsChanges_ = false;
    return remove(archive_);
}

void RecoveryJournal::open() {
    if (db_ != nullptr) return;
    const std::filesystem::path file = pathFor(archive_);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        // A companion left without its main file belongs to a journal that was removed: it
        // must not be read into a new one.
        for (const char* suffix : kCompanions) removeFile(withSuffix(file, suffix));
    }
    db_ = openJournal(file, true);
    if (db_ == nullptr) journalFailed(file, "impossibile aprire il file");
}

void RecoveryJournal::writeOwner() {
    Statement owner(db_, "UPDATE journal SET pid = ?, host = ?");
    owner.bind(1, static_cast<std::int64_t>(::getpid()));
    owner.bind(2, hostName());
    if (!owner.valid() || owner.step() != SQLITE_DONE) {
        journalFailed(pathFor(archive_), sqlite3_errmsg(db_));
    }
}

void RecoveryJournal::record(const Workbook& after, const RegisterChange& change) {
    open();
    const std::filesystem::path file = pathFor(archive_);
    Transaction transaction(db_, file);
    const std::int64_t now = nowSeconds();
    if (!holdsChanges_) {
        // The first change of this run: whatever an earlier journal held is replaced.
        transaction.check(sqlite3_exec(db_, "DELETE FROM changes; DELETE FROM journal;", nullptr,
                                       nullptr, nullptr));
        ArchiveIdentity identity = opened_;
        const std::optional<ArchiveIdentity> current = identifyArchive(archive_);
        const std::optional<ArchiveIdentity> stated = statArchive(archive_);
        if (current && stated && stated->size == opened_.size &&
            stated->modifiedNs == opened_.modifiedNs) {
            identity.sha256 = current->sha256;
        }
        openedHash_ = identity.sha256;
        const std::vector<std::uint8_t> base = after.toBytes();
        Statement insert(db_,
                         "INSERT INTO journal(id, pid, host, archive_size, archive_mtime, "
                         "archive_sha, base, base_seq) VALUES (1, ?, ?, ?, ?, ?, ?, 1)");
        insert.bind(1, static_cast<std::int64_t>(::getpid()));
        insert.bind(2, hostName());
        insert.bind(3, static_cast<std::int64_t>(identity.size));
        insert.bind(4, identity.modifiedNs);
        insert.bind(5, identity.sha256);
        insert.bindBlob(6, base);
        if (!insert.valid()) transaction.fail();
        transaction.check(insert.step());
    }
    Statement insert(db_,
                     "INSERT INTO changes(at, kind, row, counter, f1, f2, f3, f4, f5, f6, f7, "
                     "f8, f9, f10, f11, f12, f13) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                     "?, ?, ?, ?, ?)");
    if (!insert.valid()) transaction.fail();
    insert.bind(1, now);
    insert.bind(2, static_cast<std::int64_t>(change.kind));
    insert.bind(3, static_cast<std::int64_t>(change.row));
    insert.bind(4, change.counter);
    for (int n = 0; n < kFieldCount; ++n) {
        insert.bind(5 + n, change.fields[static_cast<std::size_t>(n)]);
    }
    transaction.check(insert.step());
    transaction.commit();
    holdsChanges_ = true;
}

void RecoveryJournal::rebase(const Workbook& now) {
    if (!holdsChanges_) return;
    open();
    Transaction transaction(db_, pathFor(archive_));
    const std::vector<std::uint8_t> base = now.toBytes();
    Statement update(db_,
                     "UPDATE journal SET base = ?, base_seq = (SELECT COALESCE(MAX(seq), 0) "
                     "FROM changes)");
    if (!update.valid()) transaction.fail();
    update.bindBlob(1, base);
    transaction.check(update.step());
    transaction.commit();
}

void RecoveryJournal::adopt() {
    open();
    Transaction transaction(db_, pathFor(archive_));
    writeOwner();
    Statement hash(db_, "SELECT archive_sha FROM journal WHERE id = 1");
    if (hash.valid() && hash.step() == SQLITE_ROW) openedHash_ = hash.text(0);
    transaction.commit();
    holdsChanges_ = true;
}

bool RecoveryJournal::moveToThisHost(const std::filesystem::path& archive,
                                     std::string_view fromHost) {
    const std::filesystem::path from = pathFor(archive, fromHost);
    const std::filesystem::path to = pathFor(archive);
    if (from == to) return true;
    std::error_code ec;
    if (std::filesystem::exists(to, ec)) return false;  // never over a journal of ours
    for (const char* suffix : kCompanions) {
        removeFile(withSuffix(to, suffix));
        std::error_code ignored;
        std::filesystem::rename(withSuffix(from, suffix), withSuffix(to, suffix), ignored);
    }
    std::filesystem::rename(from, to, ec);
    return !ec;
}

std::optional<RecoveredRegister> RecoveryJournal::read(const std::filesystem::path& archive) {
    return read(archive, hostName());
}

std::optional<JournalSummary> RecoveryJournal::summary(const std::filesystem::path& archive,
                                                       std::string_view host) {
    const std::filesystem::path file = pathFor(archive, host);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    sqlite3* db = openJournal(file, false);
    if (db == nullptr) return std::nullopt;
    struct Closer {
        sqlite3* db;
        ~Closer() { sqlite3_close(db); }
    } closer{db};
    Statement counts(db, "SELECT COUNT(*), MIN(at), MAX(at) FROM changes");
    if (!counts.valid() || counts.step() != SQLITE_ROW || counts.integer(0) == 0) {
        return std::nullopt;
    }
    return JournalSummary{static_cast<int>(counts.integer(0)), counts.integer(1),
                          counts.integer(2)};
}

std::optional<RecoveredRegister> RecoveryJournal::read(const std::filesystem::path& archive,
                                                       std::string_view host) {
    const std::filesystem::path file = pathFor(archive, host);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    sqlite3* db = openJournal(file, false);
    if (db == nullptr) {
        throw ArchiveError(ArchiveProblem::Unreadable, "I dati di recupero \"" + file.string() +
                                                           "\" non possono essere letti.");
    }
    struct Closer {
        sqlite3* db;
        ~Closer() { sqlite3_close(db); }
    } closer{db};
    const auto unreadable = [&] {
        return ArchiveError(ArchiveProblem::Damaged,
                            "I dati di recupero \"" + file.string() +
                                "\" sono danneggiati: " + sqlite3_errmsg(db) + ".");
    };
    // One read transaction, so the base and the changes are seen at the same moment.
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    Statement head(db,
                   "SELECT pid, host, archive_size, archive_mtime, archive_sha, base, base_seq, "
                   "(SELECT COUNT(*) FROM changes), (SELECT MIN(at) FROM changes), "
                   "(SELECT MAX(at) FROM changes) FROM journal WHERE id = 1");
    if (!head.valid()) throw unreadable();
    const int found = head.step();
    if (found == SQLITE_DONE) return std::nullopt;
    if (found != SQLITE_ROW) throw unreadable();
    const int changes = static_cast<int>(head.integer(7));
    if (changes == 0) return std::nullopt;
    RecoveredRegister recovered{
        .pid = static_cast<pid_t>(head.integer(0)),
        .host = head.text(1),
        .archive = {.size = static_cast<std::uint64_t>(head.integer(2)),
                    .modifiedNs = head.integer(3),
                    .sha256 = head.text(4)},
        .firstChange = head.integer(8),
        .lastChange = head.integer(9),
        .changes = changes,
        .book = Workbook::fromBytes(head.blob(5), file.string()),
    };
    const std::int64_t baseSeq = head.integer(6);

    Statement rows(db,
                   "SELECT kind, row, counter, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, "
                   "f12, f13 FROM changes WHERE seq > ? ORDER BY seq");
    if (!rows.valid()) throw unreadable();
    rows.bind(1, baseSeq);
    for (int result = rows.step(); result != SQLITE_DONE; result = rows.step()) {
        if (result != SQLITE_ROW) throw unreadable();
        RegisterChange change;
        const std::int64_t kind = rows.integer(0);
        if (kind < 1 || kind > 3) throw unreadable();
        change.kind = static_cast<RegisterChange::Kind>(kind);
        change.row = static_cast<int>(rows.integer(1));
        change.counter = rows.text(2);
        for (int n = 0; n < kFieldCount; ++n) {
            change.fields[static_cast<std::size_t>(n)] = rows.text(3 + n);
        }
        applyChange(recovered.book, change);
    }
    return recovered;
}

bool RecoveryJournal::remove(const std::filesystem::path& archive) {
    return remove(archive, hostName());
}

bool RecoveryJournal::remove(const std::filesystem::path& archive, std::string_view host) {
    const std::filesystem::path file = pathFor(archive, host);
    // The main file first: a companion left alone is never read (see open()).
    std::error_code ec;
    std::filesystem::remove(file, ec);
    for (const char* suffix : kCompanions) removeFile(withSuffix(file, suffix));
    syncFolder(file.parent_path());
    return !std::filesystem::exists(file, ec);
}

}  // namespace clivara::customers
