// The start-up's choice between changing the archive and only reading it.
#include "operations/archive_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <optional>

#include "operations/archive_lock.h"
#include "operations/startup.h"
#include "register/recovery_journal.h"
#include "window/message_boxes.h"

namespace clivara::operations {

namespace {

QString shown(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

QDateTime fromSeconds(std::int64_t seconds) {
    return seconds > 0 ? QDateTime::fromSecsSinceEpoch(seconds) : QDateTime();
}

QString atTime(std::int64_t seconds) {
    const QDateTime when = fromSeconds(seconds);
    return QStringLiteral("alle %1 del %2")
        .arg(when.toString(QStringLiteral("HH:mm")), when.toString(QStringLiteral("dd/MM/yyyy")));
}

const QString kReadOnlyOffer =
    QStringLiteral("Si può aprire in sola lettura, per consultare, cercare e stampare.");

// "sul computer pc2 (utente mario, dalle 09:12 del 05/03/2025)"
QString holderText(const LockHolder& holder) {
    QStringList details;
    if (!holder.user.empty()) {
        details << QStringLiteral("utente %1").arg(QString::fromStdString(holder.user));
    }
    if (const QString since = sinceText(fromSeconds(holder.since)); !since.isEmpty()) {
        details << since;
    }
    QString text = QStringLiteral("sul computer %1").arg(QString::fromStdString(holder.host));
    if (!details.isEmpty()) {
        text += QStringLiteral(" (%1)").arg(details.join(QStringLiteral(", ")));
    }
    return text;
}

QString heldBy(const LockState& state) {
    if (!state.holder) {
        return QStringLiteral("da un altro Clivara 2008 (il suo file di blocco non dice quale)");
    }
    return QStringLiteral("da Clivara 2008 ") + holderText(*state.holder);
}

// What the journal of the desk that ended badly holds, as a sentence; empty without one.
QString unsavedChangesOf(const std::filesystem::path& archive, const LockState& state) {
    if (!state.holder) {
        return {};
    }
    const std::optional<customers::JournalSummary> left =
        customers::RecoveryJournal::summary(archive, state.holder->host);
    if (!left) {
        return {};
    }
    const QString host = QString::fromStdString(state.holder->host);
    const QString changes = left->changes == 1
                                ? QStringLiteral("1 modifica non salvata")
                                : QStringLiteral("%1 modifiche non salvate").arg(left->changes);
    return QStringLiteral(
               "\n\nDel computer %1 sono rimasti i dati di recupero: %2, l'ultima %3. "
               "Prendendo l'archivio, verranno proposte per il recupero.")
        .arg(host, changes, atTime(left->lastChange));
}

enum class Answer { ReadOnly, Anyway, TakeOver, Cancel };

Answer ask(MessageBoxes& boxes, const QString& text, const QList<Answer>& answers) {
    QStringList buttons;
    int defaultButton = 0;
    int escapeButton = 0;
    for (int i = 0; i < answers.size(); ++i) {
        switch (answers[i]) {
            case Answer::ReadOnly:
                buttons << kOpenReadOnly;
                defaultButton = i;
                break;
            case Answer::Anyway:
                buttons << kOpenAnyway;
                break;
            case Answer::TakeOver:
                buttons << kTakeOver;
                break;
            case Answer::Cancel:
                buttons << kCancel;
                escapeButton = i;
                break;
        }
    }
    const int chosen =
        boxes.choose(nullptr, kProgramTitle, text, buttons, defaultButton, escapeButton);
    return chosen >= 0 && chosen < answers.size() ? answers[chosen] : Answer::Cancel;
}

AccessDecision decided(ArchiveAccess access, std::string takenOverFrom = {}) {
    return AccessDecision{access, std::move(takenOverFrom)};
}

std::int64_t nowSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}

// Once our own lock is held (or knowingly passed by): an office suite's lock is asked about.
AccessDecision besideOfficeSuite(ArchiveLock& lock, MessageBoxes& boxes,
                                 std::string takenOverFrom) {
    if (const std::optional<ArchiveLock::SuiteHolder> suite = lock.officeSuiteHolder()) {
        QString who = suite->who;
        if (const QString since = sinceText(suite->since); !since.isEmpty()) {
            who += QLatin1Char(' ') + since;
        }
        const QString text =
            QStringLiteral(
                "L'archivio %1 risulta aperto da %2 in un foglio di calcolo.\n"
                "Se è davvero aperto, le modifiche fatte nei due programmi si "
                "sovrascriverebbero.\n(Se quel programma si è chiuso male, il suo file di "
                "blocco è rimasto accanto all'archivio.)\n\n%3")
                .arg(shown(lock.archive()), who, kReadOnlyOffer);
        switch (ask(boxes, text, {Answer::ReadOnly, Answer::Anyway, Answer::Cancel})) {
            case Answer::Anyway:
                break;
            case Answer::ReadOnly:
                lock.release();
                return decided(ArchiveAccess::ReadOnly);
            default:
                lock.release();
                return decided(ArchiveAccess::Cancel);
        }
    }
    lock.writeSuiteLock();
    return decided(ArchiveAccess::Change, std::move(takenOverFrom));
}

AccessDecision readOnlyOrCancel(MessageBoxes& boxes, const QString& text) {
    return ask(boxes, text, {Answer::ReadOnly, Answer::Cancel}) == Answer::ReadOnly
               ? decided(ArchiveAccess::ReadOnly)
               : decided(ArchiveAccess::Cancel);
}

}  // namespace

QString accessProblemText(int error) {
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
        case EBUSY:
        case ETXTBSY:
        case EEXIST:
            return QStringLiteral("il file è aperto da un altro programma");
        default:
            return QStringLiteral("errore di sistema %1").arg(error);
    }
}

int archiveWriteProblem(const std::filesystem::path& archive) {
    struct stat info {};
    if (::stat(archive.c_str(), &info) != 0) {
        return errno;
    }
    if ((info.st_mode & 0222) == 0) {
        return EACCES;
    }
    if (::access(archive.c_str(), W_OK) != 0) {
        return errno;
    }
    // What the mode says is not what a network folder decides (its read-only attribute, a
    // share opened read-only): opening for writing, without writing, asks the server itself.
    const int fd = ::open(archive.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    return 0;
}

AccessDecision chooseArchiveAccess(ArchiveLock& lock, MessageBoxes& boxes) {
    const std::filesystem::path& archive = lock.archive();
    const QString file = shown(archive);
    if (const int problem = archiveWriteProblem(archive); problem != 0) {
        return readOnlyOrCancel(
            boxes, QStringLiteral("L'archivio %1 non si può modificare (%2): il file è di sola "
                                  "lettura, quindi le modifiche non potrebbero essere "
                                  "salvate.\n\n%3\nPer modificarlo, togliere al file "
                                  "l'attributo di sola lettura (o farsi dare il permesso di "
                                  "scrivere) e riavviare il programma.")
                       .arg(file, accessProblemText(problem), kReadOnlyOffer));
    }
    DeskLock& desk = lock.desk();
    // A few rounds: a take-over that another desk won meanwhile is judged again.
    for (int round = 0; round < 3; ++round) {
        const DeskLock::Result result = desk.acquire();
        if (result == DeskLock::Result::Acquired) {
            return besideOfficeSuite(lock, boxes, {});
        }
        if (result == DeskLock::Result::Failed) {
            return readOnlyOrCancel(
                boxes, QStringLiteral("Non si riesce a scrivere nella cartella dell'archivio "
                                      "%1 (%2), quindi le modifiche non potrebbero essere "
                                      "salvate.\n\n%3")
                           .arg(file, accessProblemText(desk.error()), kReadOnlyOffer));
        }
        const LockState state = desk.state();
        if (state.holder && DeskLock::endedHere(*state.holder)) {
            // Left by a program of this computer that no longer runs. Only programs of this
            // computer could judge so at this moment, and they race in far less than this.
            if (desk.takeOver(state, std::chrono::milliseconds(300)) ==
                DeskLock::Result::Acquired) {
                return besideOfficeSuite(lock, boxes, state.holder->host);
            }
            continue;
        }
        if (state.holder && DeskLock::runsHere(*state.holder)) {
            QString who = QStringLiteral("processo %1").arg(state.holder->pid);
            if (!state.holder->user.empty()) {
                who +=
                    QStringLiteral(", utente %1").arg(QString::fromStdString(state.holder->user));
            }
            if (const QString since = sinceText(fromSeconds(state.holder->since));
                !since.isEmpty()) {
                who += QStringLiteral(", ") + since;
            }
            return readOnlyOrCancel(
                boxes, QStringLiteral("L'archivio %1 è già in uso da un altro Clivara 2008 su "
                                      "questo computer (%2).\n\n%3 Quando l'archivio si "
                                      "libera, il programma lo dice.")
                           .arg(file, who, kReadOnlyOffer));
        }
        if (DeskLock::silent(state, nowSeconds())) {
            const QString text =
                QStringLiteral(
                    "L'archivio %1 risulta in uso %2, ma quel programma non dà segni di vita "
                    "%3: probabilmente si è chiuso male (il computer spento, bloccato o fuori "
                    "dalla rete).%4\n\n«%5» lo apre per modificarlo su questo computer. %6")
                    .arg(file, heldBy(state), atTime(state.heartbeat),
                         unsavedChangesOf(archive, state), kTakeOver, kReadOnlyOffer);
            switch (ask(boxes, text, {Answer::TakeOver, Answer::ReadOnly, Answer::Cancel})) {
                case Answer::TakeOver:
                    if (desk.takeOver(state) == DeskLock::Result::Acquired) {
                        return besideOfficeSuite(lock, boxes,
                                                 state.holder ? state.holder->host : "");
                    }
                    boxes.inform(nullptr, kProgramTitle,
                                 QStringLiteral("Nel frattempo l'archivio %1 è stato preso da "
                                                "un altro computer.")
                                     .arg(file));
                    continue;
                case Answer::ReadOnly:
                    return decided(ArchiveAccess::ReadOnly);
                default:
                    return decided(ArchiveAccess::Cancel);
            }
        }
        const QString text =
            QStringLiteral(
                "L'archivio %1 è già in uso %2.\n\n%3 Quando l'archivio si libera, il "
                "programma lo dice.\n\nScegliere «%4» solo se si è certi che su quel computer "
                "il programma non è aperto.")
                .arg(file, heldBy(state), kReadOnlyOffer, kOpenAnyway);
        switch (ask(boxes, text, {Answer::ReadOnly, Answer::Anyway, Answer::Cancel})) {
            case Answer::Anyway:
                // The other desk's lock stays as it is; a save made meanwhile is merged.
                return besideOfficeSuite(lock, boxes, {});
            case Answer::ReadOnly:
                return decided(ArchiveAccess::ReadOnly);
            default:
                return decided(ArchiveAccess::Cancel);
        }
    }
    return decided(ArchiveAccess::ReadOnly);
}

void keepLockAlive(QObject& owner, ArchiveLock& lock) {
    auto* timer = new QTimer(&owner);
    timer->setInterval(std::chrono::milliseconds(DeskLock::kHeartbeatInterval));
    QObject::connect(timer, &QTimer::timeout, timer, [&lock] { lock.desk().heartbeat(); });
    timer->start();
}

}  // namespace clivara::operations
