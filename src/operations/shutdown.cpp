// Leaving the program: the archive is saved atomically and only then does the program end.
#include "operations/shutdown.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "operations/held_save.h"
#include "operations/merge_at_save.h"
#include "operations/recovery.h"
#include "operations/startup.h"
#include "register/archive_backup.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

QString saveArchive(Form1& form, QString* backupProblem, QString* mergeReport) {
    if (!form.ArchiveBook) {
        return QStringLiteral("Nessun archivio aperto.");
    }
    // Read-only, the file stays untouched, as the office's other programs last saw it.
    if (form.archiveReadOnly()) return {};
    if (!hasUnsavedChanges(form)) {
        // The file stays untouched, as the office's other programs last saw it; a journal
        // whose changes were all taken back holds nothing to recover.
        if (form.recovery && form.recovery->journal.holdsChanges()) {
            forgetSavedChanges(form);
        }
        return {};
    }
    std::filesystem::path backup;
    try {
        if (form.recovery) {
            try {
                backup = clivara::customers::backUpArchive(form.archivePath(),
                                                           std::chrono::system_clock::now());
            } catch (const std::exception& error) {
                if (backupProblem != nullptr) {
                    *backupProblem = QString::fromUtf8(error.what());
                }
            }
        }
        // Another desk's save is kept: ours is merged onto it first.
        const QString merged = mergeOtherDesksSave(form);
        saveWaitingForReaders(*form.ArchiveBook, form.archivePath(), form.messageBoxes(), &form);
        forgetSavedChanges(form);
        if (mergeReport != nullptr) *mergeReport = merged;
        return {};
    } catch (const std::exception& error) {
        // The archive is still the file the backup keeps: the backup goes, and the next try
        // makes the one of that save.
        if (!backup.empty()) {
            std::error_code ignored;
            std::filesystem::remove(backup, ignored);
        }
        const QString reason = QString::fromUtf8(error.what());
        return reason.isEmpty() ? QStringLiteral("Salvataggio non riuscito.") : reason;
    }
}

QString saveRescueCopy(Form1& form) {
    if (!form.ArchiveBook) {
        return {};
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const std::filesystem::path name =
        (form.archivePath().stem().string() + "-recupero-" + stamp.toStdString() + ".xls");
    for (const std::filesystem::path& folder :
         {form.archivePath().parent_path(),
          std::filesystem::path(QDir::homePath().toStdString())}) {
        const std::filesystem::path copy = folder / name;
        try {
            form.ArchiveBook->save(copy);
            return QString::fromStdString(copy.string());
        } catch (const std::exception&) {
            // try the next folder
        }
    }
    return {};
}

void endOnRequest(Form1& form, int signalNumber) {
    QString backupProblem;
    const QString failure = saveArchive(form, &backupProblem);
    if (!backupProblem.isEmpty()) {
        std::fprintf(stderr, "Clivara 2008: %s\n", backupProblem.toLocal8Bit().constData());
    }
    if (failure.isEmpty()) {
        form.hide();
        QCoreApplication::exit(0);
        return;
    }
    const QString copy = saveRescueCopy(form);
    std::fprintf(stderr, "Clivara 2008: segnale %d, archivio non salvato: %s\n", signalNumber,
                 failure.toLocal8Bit().constData());
    if (copy.isEmpty()) {
        std::fprintf(stderr, "Clivara 2008: nemmeno una copia di recupero si è potuta scrivere.\n");
    } else {
        std::fprintf(stderr, "Clivara 2008: le modifiche sono nella copia %s\n",
                     copy.toLocal8Bit().constData());
    }
    form.hide();
    QCoreApplication::exit(1);
}

}  // namespace clivara::operations

using namespace clivara::operations;

void Form1::MnEsci_Click() {
    QString backupProblem;
    QString mergeReport;
    const QString failure = saveArchive(*this, &backupProblem, &mergeReport);
    if (!failure.isEmpty()) {
        // Nothing is lost: the window stays open with every change and "Esci" can be tried
        // again; the file on disk is as it was before.
        messageBoxes().inform(this, kProgramTitle,
                              QStringLiteral("L'archivio non è stato salvato:\n%1\n\nLe "
                                             "modifiche restano nel programma: risolvere il "
                                             "problema e scegliere di nuovo \"Esci\".")
                                  .arg(failure));
        return;
    }
    if (!mergeReport.isEmpty()) {
        messageBoxes().inform(this, kProgramTitle, mergeReport);
    }
    if (!backupProblem.isEmpty()) {
        messageBoxes().inform(this, kProgramTitle,
                              QStringLiteral("L'archivio è stato salvato, ma il file che "
                                             "c'era prima non è stato conservato:\n%1")
                                  .arg(backupProblem));
    }
    hide();
    QCoreApplication::exit(0);
}
