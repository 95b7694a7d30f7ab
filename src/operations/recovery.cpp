// The journal of confirmed changes as the window uses it: recorded by the handlers, dropped
// after a save, and offered back at the next start after a run that did not end with "Esci".
#include "operations/recovery.h"

#include <QDateTime>
#include <QLineEdit>
#include <exception>

#include "archive/book/change_record.h"
#include "operations/startup.h"
#include "register/change_history.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

using customers::RecoveredRegister;
using customers::RecoveryJournal;
using customers::RegisterChange;

namespace {

QString shownPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

QString shownTime(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

// "c'è 1 modifica non salvata" or "ci sono 3 modifiche non salvate".
QString howMany(int changes) {
    return changes == 1 ? QStringLiteral("c'è 1 modifica non salvata")
                        : QStringLiteral("ci sono %1 modifiche non salvate").arg(changes);
}

QString when(const RecoveredRegister& recovered) {
    if (recovered.firstChange / 60 == recovered.lastChange / 60) {
        return QStringLiteral("del %1").arg(shownTime(recovered.lastChange));
    }
    return QStringLiteral("fatte tra il %1 e il %2")
        .arg(shownTime(recovered.firstChange), shownTime(recovered.lastChange));
}

// Moves the journal's files aside under a dated name, so that this run starts a new one
// without overwriting them. Returns the new name of the main file, empty on failure.
std::filesystem::path setJournalAside(const std::filesystem::path& archive) {
    const std::filesystem::path file = RecoveryJournal::pathFor(archive);
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("-yyyy-MM-dd-HHmmss")).toStdString();
    const std::filesystem::path aside(file.string() + stamp);
    std::error_code ec;
    std::filesystem::rename(file, aside, ec);
    if (ec) return {};
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        std::error_code ignored;
        std::filesystem::rename(file.string() + suffix, aside.string() + suffix, ignored);
    }
    return aside;
}

// Keeps the recovered register beside the archive; the journal goes once the copy is on
// disk, or is set aside when no copy can be written. Returns what to tell the user.
QString keepRecovered(Form1& form, const RecoveredRegister& recovered) {
    const std::filesystem::path copy = recoveredCopyPath(form.archivePath());
    try {
        recovered.book.save(copy);
        RecoveryJournal::remove(form.archivePath());
        return QStringLiteral("Le modifiche non salvate sono conservate nel file\n%1")
            .arg(shownPath(copy));
    } catch (const std::exception& error) {
        const std::filesystem::path aside = setJournalAside(form.archivePath());
        return QStringLiteral(
                   "Non è stato possibile conservarle in un file .xls (%1);\n"
                   "i dati di recupero restano nel file %2")
            .arg(QString::fromUtf8(error.what()),
                 shownPath(aside.empty() ? RecoveryJournal::pathFor(form.archivePath()) : aside));
    }
}

}  // namespace

std::filesystem::path recoveredCopyPath(const std::filesystem::path& archive) {
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss")).toStdString();
    std::filesystem::path copy;
    for (int n = 1;; ++n) {
        copy = archive.parent_path() / (archive.stem().string() + "-recupero-" + stamp +
                                        (n == 1 ? "" : "-" + std::to_string(n)) + ".xls");
        std::error_code ec;
        if (!std::filesystem::exists(copy, ec) || n > 100) return copy;
    }
}

void enableRecovery(Form1& form) {
    const std::optional<customers::ArchiveIdentity> opened =
        customers::statArchive(form.archivePath());
    form.recovery = std::make_shared<Recovery>(form.archivePath(),
                                               opened.value_or(customers::ArchiveIdentity{}));
    if (form.ArchiveBook) form.recovery->openedBook.emplace(*form.ArchiveBook);
}

RegisterChange shownChange(const Form1& form, RegisterChange::Kind kind, int row) {
    RegisterChange change;
    change.kind = kind;
    change.row = row;
    if (kind != RegisterChange::Kind::Deletion) {
        for (int column = 1; column <= customers::kFieldCount; ++column) {
            change.fields[static_cast<std::size_t>(column - 1)] =
                form.fieldText(column).toStdString();
        }
    }
    if (kind == RegisterChange::Kind::Addition) {
        change.counter = form.fieldText(2).toStdString();
    }
    return change;
}

void recordChange(Form1& form, RegisterChange::Kind kind, int row) {
    if (!form.recovery || !form.ArchiveBook) {
        return;
    }
    form.recovery->journal.record(*form.ArchiveBook, shownChange(form, kind, row));
}

void recordTakenBack(Form1& form) {
    if (!form.recovery || !form.ArchiveBook) {
        return;
    }
    try {
        form.recovery->journal.rebase(*form.ArchiveBook);
    } catch (const std::exception& error) {
        form.messageBoxes().inform(&form, kProgramTitle, QString::fromUtf8(error.what()));
    }
}

bool hasUnsavedChanges(const Form1& form) {
    // Every change recorded was taken back again: the workbook is the file as it was read.
    if (form.recovery && !form.recovery->recovered && form.changeHistory && form.ArchiveBook &&
        form.changeHistory->atOpenedState() && archive::unchangedSinceRead(*form.ArchiveBook)) {
        return false;
    }
    return !form.recovery || form.recovery->recovered || form.recovery->journal.holdsChanges();
}

void forgetSavedChanges(Form1& form) {
    if (form.recovery) {
        form.recovery->journal.discard();
    }
}

void offerRecovery(Form1& form, const std::string& takenOverFrom) {
    const std::filesystem::path& archive = form.archivePath();
    RecoveryJournal::adoptUnnamed(archive);
    // The program that ended without "Esci": ours, or that of the desk whose lock was taken
    // over, whose journal becomes ours. Where this computer has a journal of its own as well,
    // the other desk's stays under its computer's name and is offered when that desk starts
    // again.
    QString ended = QStringLiteral("Il programma non era stato chiuso con «Esci»");
    if (!takenOverFrom.empty() &&
        RecoveryJournal::pathFor(archive, takenOverFrom) != RecoveryJournal::pathFor(archive) &&
        RecoveryJournal::moveToThisHost(archive, takenOverFrom)) {
        ended = QStringLiteral("Il programma sul computer %1 non era stato chiuso con «Esci»")
                    .arg(QString::fromStdString(takenOverFrom));
    }
    std::optional<RecoveredRegister> recovered;
    try {
        recovered = RecoveryJournal::read(archive);
    } catch (const std::exception& error) {
        const std::filesystem::path aside = setJournalAside(archive);
        form.messageBoxes().inform(
            nullptr, kProgramTitle,
            QStringLiteral("%1, ma i dati di recupero non si possono leggere:\n%2\n\nSono stati "
                           "lasciati nel file %3.")
                .arg(ended, QString::fromUtf8(error.what()),
                     shownPath(aside.empty() ? RecoveryJournal::pathFor(archive) : aside)));
        return;
    }
    if (!recovered) {
        RecoveryJournal::remove(archive);  // an empty journal: nothing was recorded
        return;
    }

    const std::optional<customers::ArchiveIdentity> now = customers::identifyArchive(archive);
    const bool sameArchive = now && !recovered->archive.sha256.empty() &&
                             now->sha256 == recovered->archive.sha256 &&
                             now->size == recovered->archive.size;
    const QString what = howMany(recovered->changes) + QLatin1Char(' ') + when(*recovered);
    if (!sameArchive) {
        const QString kept = keepRecovered(form, *recovered);
        form.messageBoxes().inform(
            nullptr, kProgramTitle,
            QStringLiteral("%1 e %2.\n\n"
                           "Nel frattempo l'archivio %3 è stato cambiato da un altro programma: "
                           "le modifiche non vengono applicate, perché non vada perso nulla di "
                           "ciò che è stato salvato dopo.\n\n%4\nper un confronto. Il programma "
                           "si apre sull'archivio com'è ora.")
                .arg(ended, what, shownPath(archive), kept));
        return;
    }

    if (form.messageBoxes().askYesNo(
            nullptr, kProgramTitle,
            QStringLiteral("%1 e %2.\n\n%3")
                .arg(ended, what,
                     recovered->changes == 1 ? QStringLiteral("Recuperarla?")
                                             : QStringLiteral("Recuperarle?")))) {
        try {
            form.ArchiveBook = std::move(recovered->book);
            if (form.recovery) {
                form.recovery->recovered = true;
                form.recovery->journal.adopt();
            }
        } catch (const std::exception& error) {
            // The register is recovered in memory; only the journal could not be taken over.
            form.messageBoxes().inform(nullptr, kProgramTitle, QString::fromUtf8(error.what()));
        }
        return;
    }
    const QString kept = keepRecovered(form, *recovered);
    form.messageBoxes().inform(
        nullptr, kProgramTitle,
        QStringLiteral("Le modifiche non vengono recuperate: il programma si apre sull'archivio "
                       "com'è.\n\n%1")
            .arg(kept));
}

}  // namespace clivara::operations
