// The program's life from start to end: the archive beside the executable, its locks, the
// window, the event loop, and the ways the program is made to end from outside.
#include "operations/program.h"

#include <QApplication>
#include <QSessionManager>

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
    clivara::operations::ArchiveLock lock(path);
    if (!lockArchiveForUse(lock, boxes) || endRequested || !form.Form_Load() || endRequested) {
        return 1;  // the lock's files are removed on the way out
    }
    // With the lock held no other program works on the archive: a journal beside it was left
    // by a run that ended without "Esci".
    enableRecovery(form);
    offerRecovery(form);
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
