#include "operations/archive_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QStringList>
#include <QUrl>
#include <array>
#include <cerrno>
#include <utility>

#include "operations/startup.h"
#include "window/message_boxes.h"

namespace clivara::operations {

namespace {

// The name a LibreOffice-form lock of ours carries as its user name.
const QByteArray kSuiteLockUser = QByteArrayLiteral("Clivara 2008");

// Lock files are small; anything beyond this is not looked at.
constexpr qsizetype kLockReadLimit = 4096;

QString pathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// At most kLockReadLimit bytes of a file; nothing when it cannot be read.
std::optional<QByteArray> readSmallFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    QByteArray bytes;
    std::array<char, 512> buffer{};
    while (bytes.size() < kLockReadLimit) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        bytes.append(buffer.data(), static_cast<qsizetype>(count));
    }
    ::close(fd);
    if (bytes.size() > kLockReadLimit) {
        bytes.truncate(kLockReadLimit);
    }
    return bytes;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<qsizetype>(count);
    }
    return true;
}

QByteArray hostName() {
    std::array<char, 256> buffer{};
    if (::gethostname(buffer.data(), buffer.size() - 1) != 0) {
        return QByteArrayLiteral("localhost");
    }
    return QByteArray(buffer.data());
}

QByteArray userName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name) {
        return QByteArray(entry->pw_name);
    }
    const QByteArray fromEnvironment = qgetenv("USER");
    return fromEnvironment.isEmpty() ? QByteArrayLiteral("utente") : fromEnvironment;
}

bool processAlive(long pid) {
    if (pid <= 0 || pid > 0x3fffffff) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

struct OwnLockContent {
    long pid = 0;
    QByteArray host;
};

// "<pid>\n<host>\n"; nothing when the text has another form.
std::optional<OwnLockContent> parseOwnLock(const QByteArray& bytes) {
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 2) {
        return std::nullopt;
    }
    bool ok = false;
    const long pid = lines[0].trimmed().toLong(&ok);
    if (!ok || pid <= 0) {
        return std::nullopt;
    }
    return OwnLockContent{pid, lines[1].trimmed()};
}

// Splits a LibreOffice lock entry: fields separated by ',', ended by ';', with '\' escaping
// the next character.
QList<QByteArray> splitSuiteLock(const QByteArray& bytes) {
    QList<QByteArray> fields;
    QByteArray field;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\\' && i + 1 < bytes.size()) {
            field.append(bytes[++i]);
        } else if (c == ',') {
            fields.append(field);
            field.clear();
        } else if (c == ';') {
            break;
        } else {
            field.append(c);
        }
    }
    fields.append(field);
    return fields;
}

QByteArray escapeSuiteField(const QByteArray& text) {
    QByteArray escaped;
    for (const char c : text) {
        if (c == ',' || c == ';' || c == '\\') {
            escaped.append('\\');
        }
        escaped.append(c);
    }
    return escaped;
}

// The holder named by a LibreOffice lock: its user name (or the account) and its computer.
QString libreOfficeHolder(const QByteArray& bytes) {
    const QList<QByteArray> fields = splitSuiteLock(bytes);
    const QString user = QString::fromUtf8(fields.value(0)).trimmed();
    const QString account = QString::fromUtf8(fields.value(1)).trimmed();
    const QString host = QString::fromUtf8(fields.value(2)).trimmed();
    QString who = !user.isEmpty() ? user : account;
    if (who.isEmpty()) {
        who = QStringLiteral("un utente sconosciuto");
    }
    if (!host.isEmpty()) {
        who += QStringLiteral(" (computer %1)").arg(host);
    }
    return who;
}

// The holder named by Excel's owner file: a length byte and the name in the first bytes,
// and from byte 54 a 16-bit length and the name in UTF-16 where the file is long enough.
QString excelHolder(const QByteArray& bytes) {
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 56) {
        const qsizetype length = byteAt(54) | (byteAt(55) << 8);
        if (length > 0 && length <= 53 && 56 + 2 * length <= bytes.size()) {
            QString name;
            for (qsizetype i = 0; i < length; ++i) {
                name.append(
                    QChar(static_cast<char16_t>(byteAt(56 + 2 * i) | (byteAt(57 + 2 * i) << 8))));
            }
            if (!name.trimmed().isEmpty()) {
                return name.trimmed();
            }
        }
    }
    if (!bytes.isEmpty()) {
        const qsizetype length = byteAt(0);
        if (length > 0 && length <= 53 && 1 + length <= bytes.size()) {
            const QString name = QString::fromLatin1(bytes.mid(1, length)).trimmed();
            if (!name.isEmpty()) {
                return name;
            }
        }
    }
    return QStringLiteral("un utente sconosciuto");
}

QString italianReason(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return QStringLiteral("permesso negato");
        case EROFS:
            return QStringLiteral("il disco è di sola lettura");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("il disco è pieno");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("la cartella non esiste");
        default:
            return QStringLiteral("errore di sistema %1").arg(error);
    }
}

bool isOurSuiteLock(const QByteArray& bytes) {
    return splitSuiteLock(bytes).value(0) == kSuiteLockUser;
}

}  // namespace

ArchiveLock::ArchiveLock(std::filesystem::path archive) : archive_(std::move(archive)) {}

ArchiveLock::~ArchiveLock() {
    release();
}

std::filesystem::path ArchiveLock::ownLockPath(const std::filesystem::path& archive) {
    return archive.parent_path() / ("." + archive.filename().string() + ".clivara-lock");
}

std::filesystem::path ArchiveLock::libreOfficeLockPath(const std::filesystem::path& archive) {
    return archive.parent_path() / (".~lock." + archive.filename().string() + "#");
}

std::filesystem::path ArchiveLock::excelLockPath(const std::filesystem::path& archive) {
    return archive.parent_path() / ("~$" + archive.filename().string());
}

ArchiveLock::Outcome ArchiveLock::acquire() {
    if (ownHeld_) {
        return Outcome::Acquired;
    }
    const std::filesystem::path lockPath = ownLockPath(archive_);
    const QByteArray host = hostName();
    const QByteArray content =
        QByteArray::number(static_cast<qlonglong>(::getpid())) + '\n' + host + '\n';
    int failure = 0;
    // Two rounds at most: the second follows the removal of a stale lock.
    for (int round = 0; round < 2; ++round) {
        const int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
            failure = errno;
            ::close(fd);
            if (!written) {
                ::unlink(lockPath.c_str());
                break;
            }
            ownHeld_ = true;
            return Outcome::Acquired;
        }
        if (errno != EEXIST) {
            failure = errno;
            break;
        }
        const std::optional<QByteArray> bytes = readSmallFile(lockPath);
        if (!bytes) {
            continue;  // removed meanwhile: try again
        }
        const std::optional<OwnLockContent> holder = parseOwnLock(*bytes);
        if (holder && holder->host == host && !processAlive(holder->pid)) {
            ::unlink(lockPath.c_str());  // left by a program that no longer runs
            continue;
        }
        QString who;
        if (holder) {
            who = QStringLiteral(" (processo %1 sul computer %2)")
                      .arg(holder->pid)
                      .arg(QString::fromUtf8(holder->host));
        }
        message_ = QStringLiteral(
                       "L'archivio %1 è già in uso da un altro Clivara 2008%2.\n"
                       "Chiudere l'altro programma e riprovare. Se nessun programma lo usa "
                       "più, cancellare il file %3.")
                       .arg(pathText(archive_), who, pathText(lockPath));
        return Outcome::InUse;
    }
    message_ = QStringLiteral(
                   "Impossibile usare l'archivio %1:\nnon si riesce a scrivere nella sua "
                   "cartella (%2), quindi le modifiche non potrebbero essere salvate.")
                   .arg(pathText(archive_), italianReason(failure));
    return Outcome::Failed;
}

std::optional<QString> ArchiveLock::officeSuiteHolder() const {
    if (const std::optional<QByteArray> bytes = readSmallFile(libreOfficeLockPath(archive_));
        bytes && !isOurSuiteLock(*bytes)) {
        return libreOfficeHolder(*bytes);
    }
    if (const std::optional<QByteArray> bytes = readSmallFile(excelLockPath(archive_))) {
        return excelHolder(*bytes);
    }
    return std::nullopt;
}

void ArchiveLock::writeSuiteLock() {
    const std::filesystem::path path = libreOfficeLockPath(archive_);
    if (const std::optional<QByteArray> existing = readSmallFile(path)) {
        if (!isOurSuiteLock(*existing)) {
            return;  // the suite's own lock stays as it is
        }
        ::unlink(path.c_str());  // ours, left behind by a program that no longer runs
    }
    const QByteArray home = QUrl::fromLocalFile(QDir::homePath()).toEncoded();
    const QByteArray content =
        kSuiteLockUser + ',' + escapeSuiteField(userName()) + ',' + escapeSuiteField(hostName()) +
        ',' + QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")).toLatin1() +
        ',' + escapeSuiteField(home) + ';';
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;  // only a courtesy to LibreOffice users: our own lock still protects
    }
    const bool written = writeAll(fd, content);
    ::close(fd);
    if (written) {
        suiteLockWritten_ = content;
    } else {
        ::unlink(path.c_str());
    }
}

void ArchiveLock::release() {
    if (!suiteLockWritten_.isEmpty()) {
        const std::filesystem::path path = libreOfficeLockPath(archive_);
        // Removed only while it is still the file we wrote.
        if (readSmallFile(path) == std::optional<QByteArray>(suiteLockWritten_)) {
            ::unlink(path.c_str());
        }
        suiteLockWritten_.clear();
    }
    if (ownHeld_) {
        ::unlink(ownLockPath(archive_).c_str());
        ownHeld_ = false;
    }
}

bool lockArchiveForUse(ArchiveLock& lock, MessageBoxes& boxes) {
    if (lock.acquire() != ArchiveLock::Outcome::Acquired) {
        boxes.inform(nullptr, kProgramTitle, lock.message());
        return false;
    }
    if (const std::optional<QString> holder = lock.officeSuiteHolder()) {
        const QString question =
            QStringLiteral(
                "L'archivio %1 risulta aperto da %2 in un foglio di calcolo.\n"
                "Se è davvero aperto, le modifiche fatte nei due programmi si "
                "sovrascriverebbero.\n(Se quel programma si è chiuso male, il suo file di "
                "blocco è rimasto accanto all'archivio.)\n\nAprire comunque l'archivio?")
                .arg(QString::fromStdString(lock.archive().string()), *holder);
        if (!boxes.askYesNoDefaultNo(nullptr, kProgramTitle, question)) {
            lock.release();
            return false;
        }
    }
    lock.writeSuiteLock();
    return true;
}

}  // namespace clivara::operations
