// The window of an archive opened read-only: its title says so, and what would change the
// archive cannot be chosen.
#include <QAction>
#include <QLabel>

#include "window/form1.h"
#include "window/undo_actions.h"

namespace {

const QString kTitle = QStringLiteral("Clivara 2008");
const QString kReadOnlyTitle = QStringLiteral("Clivara 2008 - sola lettura");
const QString kSavedAtExit =
    QStringLiteral("Le modifiche vengono salvate nell'archivio all'uscita con «Esci».");
const QString kNothingSaved = QStringLiteral(
    "Archivio aperto in sola lettura: si può consultare, cercare e stampare, non modificare.");

}  // namespace

void Form1::setArchiveReadOnly(bool readOnly) {
    archiveReadOnly_ = readOnly;
    setWindowTitle(readOnly ? kReadOnlyTitle : kTitle);
    Label[14]->setText(readOnly ? kNothingSaved : kSavedAtExit);
    for (QAction* entry : archiveChangingEntries_) {
        entry->setEnabled(!readOnly);
    }
    // Nothing to take back read-only, and nothing may be made again.
    allowUndoActions(*this, !readOnly);
}

void Form1::addArchiveChangingEntry(QAction* entry) {
    if (entry == nullptr || archiveChangingEntries_.contains(entry)) {
        return;
    }
    archiveChangingEntries_.append(entry);
    entry->setEnabled(!archiveReadOnly_);
}
