// The program's life from start to end: the archive beside the executable, its locks, the
// window, the event loop, and the ways the program is made to end from outside.
#include "operations/program.h"

#include <QApplication>
#include <QSessionManager>
#include <exception>
#include <optional>
#include <string>

#include "operations/archive_access.h"
#include "operations/archive_follower.h"
#include "operations/archive_lock.h"
#include "operations/emergency_end.h"
#include "operations/recovery.h"
#include "operations/shutdown.h"
#include "operations/shutdown_signals.h"
#include "operations/startup.h"
#include "window/form1.h"
#include "window/message_boxes.h"

using namespace clivara::operations;

namespace {

// The desktop session is ending: save as "Esci" does. When the save fails and the session
// manager lets us speak, the reason is shown and the end of the session is cancelled, so
// every change stays; otherwise the program ends as on a signal.
void commitData(Form1& form, QSessionManager& manager) {
    const QString failure = saveArchive(form);
    if (failure.isEmpty()) {
        form.hide();
        QCoreApplication::exit(0);
        return;
    }
    if (manager.allowsInteraction()) {
        form.messageBoxes().inform(
            &form, kProgramTitle,
            QStringLiteral("L'archivio non è stato salvato:\n%1\n\nLa chiusura della sessione "
                           "è stata annullata perché le modifiche non vadano perse.")
                .arg(failure));
        manager.release();
        manager.cancel();
        return;
    }
    endOnRequest(form, 0);
}

// From now on the window changes the archive, with our lock held (or knowingly passed by):
// the journal of the changes, the recovery of what a run that ended badly left (ours, or that
// of the desk whose lock was taken over), the lock's sign of life.
void beginChanging(Form1& form, ArchiveLock& lock, const std::string& takenOverFrom) {
    form.setArchiveReadOnly(false);
    enableRecovery(form);
    offerRecovery(form, takenOverFrom);
    keepLockAlive(form, lock);
}

// Read-only, the archive has become free and the user wants to change it: our lock is taken
// and the archive read again as it is now. False (and the window stays read-only) when
// another desk was quicker.
bool switchToChanging(Form1& form, ArchiveLock& lock) {
    if (lock.desk().acquire() != DeskLock::Result::Acquired) {
        form.messageBoxes().inform(&form, kProgramTitle,
                                   QStringLiteral("Nel frattempo l'archivio è stato preso da "
                                                  "un altro computer: resta aperto in sola "
                                                  "lettura."));
        return false;
    }
    std::optional<clivara::archive::Workbook> book;
    try {
        book.emplace(clivara::archive::Workbook::open(form.archivePath()));
    } catch (const std::exception& error) {
        lock.release();
        form.messageBoxes().inform(&form, kProgramTitle, QString::fromUtf8(error.what()));
        return false;
    }
    lock.writeSuiteLock();
    form.ArchiveBook = std::move(book);
    beginChanging(form, lock, {});
    form.FillCustomerList();
    form.Form_Activate();
    return true;
}

}  // namespace

int runClivara(QApplication& app) {
    ModalMessageBoxes boxes;
    const std::filesystem::path path = archivePathBesideProgram();
    Form1 form(boxes, path);

    // A signal during start-up closes the box on screen and ends the program before the
    // window shows (nothing has changed yet); once the window runs, it saves first.
    bool running = false;
    bool endRequested = false;
    ShutdownSignals signals([&](int number) {
        if (running) {
            endOnRequest(form, number);
        } else {
            endRequested = true;
            QCoreApplication::exit(1);
        }
    });

    // A missing archive is reported before any lock file is made beside it.
    if (!VerifyFile(path)) {
        form.Form_Load();
        return 1;
    }
    ArchiveLock lock(path);
    const AccessDecision decision = chooseArchiveAccess(lock, boxes);
    if (decision.access == ArchiveAccess::Cancel || endRequested || !form.Form_Load() ||
        endRequested) {
        return 1;  // the lock's files are removed on the way out
    }
    if (decision.access == ArchiveAccess::Change) {
        // With the lock held no other program works on the archive: a journal of ours beside
        // it was left by a run that ended without "Esci".
        beginChanging(form, lock, decision.takenOverFrom);
    } else {
        // No lock, no journal, no backup: the window follows what the other desk saves.
        form.setArchiveReadOnly(true);
        const bool lockedByOthers = lock.desk().error() == 0;
        new ArchiveFollower(
            form, [&form, &lock] { return switchToChanging(form, lock); }, lockedByOthers);
    }
    if (endRequested) {
        return 1;
    }

    running = true;
    EmergencyEnd emergencyEnd(form, lock);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager& manager) { commitData(form, manager); });
    form.showAndActivate();
    const int code = QApplication::exec();
    lock.release();
    return code;
}
