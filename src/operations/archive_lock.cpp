#include "operations/archive_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QStringList>
#include <QUrl>
#include <array>
#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace clivara::operations {

namespace {

// The name a LibreOffice-form lock of ours carries as its user name.
const QByteArray kSuiteLockUser = QByteArrayLiteral("Clivara 2008");

// Lock files are small; anything beyond this is not looked at.
constexpr qsizetype kLockReadLimit = 4096;

// Through an SMB client a file can fail to open for a moment, or its removal lag behind: the
// removal of our lock is tried again for this long.
constexpr auto kReleaseRetryFor = std::chrono::milliseconds(3000);
constexpr auto kReleaseRetryStep = std::chrono::milliseconds(100);

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
    return QByteArray::fromStdString(DeskLock::thisHost());
}

QByteArray userName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name) {
        return QByteArray(entry->pw_name);
    }
    const QByteArray fromEnvironment = qgetenv("USER");
    return fromEnvironment.isEmpty() ? QByteArrayLiteral("utente") : fromEnvironment;
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

// The holder named by a LibreOffice lock: its user name (or the account), its computer and
// the time it was written.
ArchiveLock::SuiteHolder libreOfficeHolder(const QByteArray& bytes) {
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
    const QDateTime since = QDateTime::fromString(QString::fromUtf8(fields.value(3)).trimmed(),
                                                  QStringLiteral("dd.MM.yyyy HH:mm"));
    return {who, since};
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

bool isOurSuiteLock(const QByteArray& bytes) {
    return splitSuiteLock(bytes).value(0) == kSuiteLockUser;
}

}  // namespace

ArchiveLock::ArchiveLock(std::filesystem::path archive)
    : archive_(std::move(archive)), desk_(archive_) {}

ArchiveLock::~ArchiveLock() {
    release();
}

std::filesystem::path ArchiveLock::ownLockPath(const std::filesystem::path& archive) {
    return DeskLock::lockPath(archive);
}

std::filesystem::path ArchiveLock::libreOfficeLockPath(const std::filesystem::path& archive) {
    return archive.parent_path() / (".~lock." + archive.filename().string() + "#");
}

std::filesystem::path ArchiveLock::excelLockPath(const std::filesystem::path& archive) {
    return archive.parent_path() / ("~$" + archive.filename().string());
}

std::optional<ArchiveLock::SuiteHolder> ArchiveLock::officeSuiteHolder() const {
    if (const std::optional<QByteArray> bytes = readSmallFile(libreOfficeLockPath(archive_));
        bytes && !isOurSuiteLock(*bytes)) {
        return libreOfficeHolder(*bytes);
    }
    const std::filesystem::path excel = excelLockPath(archive_);
    if (const std::optional<QByteArray> bytes = readSmallFile(excel)) {
        // Excel's owner file says no time: it was written when the workbook was opened.
        struct stat info {};
        QDateTime since;
        if (::stat(excel.c_str(), &info) == 0) {
            since = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(info.st_mtim.tv_sec));
        }
        return SuiteHolder{excelHolder(*bytes), since};
    }
    return std::nullopt;
}

bool ArchiveLock::suiteLockStands(const std::filesystem::path& archive) {
    const std::filesystem::path libreOffice = libreOfficeLockPath(archive);
    if (const std::optional<QByteArray> bytes = readSmallFile(libreOffice)) {
        if (!isOurSuiteLock(*bytes)) return true;
    } else if (::access(libreOffice.c_str(), F_OK) == 0) {
        return true;
    }
    return ::access(excelLockPath(archive).c_str(), F_OK) == 0;
}

void ArchiveLock::writeSuiteLock() {
    const std::filesystem::path path = libreOfficeLockPath(archive_);
    if (const std::optional<QByteArray> existing = readSmallFile(path)) {
        // The suite's own lock stays as it is; so does ours of a desk whose lock was passed
        // by with "Apri comunque".
        if (!isOurSuiteLock(*existing) || !desk_.held()) {
            return;
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
        // Removed only while it is still the file we wrote, and tried until it is gone: a
        // lock of ours left behind would tell every LibreOffice user that we still hold it.
        const std::filesystem::path path = libreOfficeLockPath(archive_);
        const auto deadline = std::chrono::steady_clock::now() + kReleaseRetryFor;
        for (;;) {
            const std::optional<QByteArray> bytes = readSmallFile(path);
            if (bytes && *bytes != suiteLockWritten_) break;  // another program's now
            // The client may close the handle of the read just made only after the unlink
            // arrives, and the server then refuses the removal: tried again, not read again.
            while (bytes && ::unlink(path.c_str()) != 0 && errno != ENOENT &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(kReleaseRetryStep);
            }
            struct stat info {};
            if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) break;
            if (std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(kReleaseRetryStep);
        }
        suiteLockWritten_.clear();
    }
    desk_.release();
}

QString sinceText(const QDateTime& when) {
    if (!when.isValid()) {
        return {};
    }
    return QStringLiteral("dalle %1 del %2")
        .arg(when.toString(QStringLiteral("HH:mm")), when.toString(QStringLiteral("dd/MM/yyyy")));
}

}  // namespace clivara::operations
