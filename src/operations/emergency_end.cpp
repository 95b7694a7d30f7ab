#include "operations/emergency_end.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "operations/archive_lock.h"
#include "operations/shutdown.h"

namespace clivara::operations {

namespace {

Form1* endingForm = nullptr;
ArchiveLock* endingLock = nullptr;
QtMessageHandler previousHandler = nullptr;
bool exitHookInstalled = false;

// Runs at most once: the first way out that reaches it saves, every later one does nothing.
void saveAndUnlock(const char* why) {
    Form1* form = endingForm;
    ArchiveLock* lock = endingLock;
    endingForm = nullptr;
    endingLock = nullptr;
    if (form == nullptr) {
        return;
    }
    const QString failure = saveArchive(*form);
    if (failure.isEmpty()) {
        std::fprintf(stderr, "Clivara 2008: %s; l'archivio è stato salvato.\n", why);
    } else {
        std::fprintf(stderr,
                     "Clivara 2008: %s; archivio non salvato (%s): le modifiche restano nei "
                     "dati di recupero.\n",
                     why, failure.toLocal8Bit().constData());
    }
    if (lock != nullptr) {
        lock->release();
    }
}

extern "C" void atProcessExit() {
    saveAndUnlock("il programma è terminato senza «Esci»");
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        saveAndUnlock("errore irreparabile");
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    }
}

}  // namespace

EmergencyEnd::EmergencyEnd(Form1& form, ArchiveLock& lock) {
    endingForm = &form;
    endingLock = &lock;
    if (!exitHookInstalled) {
        exitHookInstalled = std::atexit(atProcessExit) == 0;
    }
    previousHandler = qInstallMessageHandler(onQtMessage);
}

EmergencyEnd::~EmergencyEnd() {
    endingForm = nullptr;
    endingLock = nullptr;
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}

}  // namespace clivara::operations
