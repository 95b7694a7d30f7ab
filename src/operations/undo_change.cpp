// "Annulla" and "Ripeti": take back the register's last change, or make again the last one
// taken back. No question (the undo is the safety); a report box; the list and the fields show
// the result; the journal holds the register as it now is.
#include "operations/undo_change.h"

#include <QString>
#include <string>

#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "operations/recovery.h"
#include "register/change_history.h"
#include "window/form1.h"
#include "window/message_boxes.h"
#include "window/undo_actions.h"

namespace clivara::operations {

using customers::ChangeHistory;
using customers::RegisterChange;

void beginUndoStep(Form1& form, RegisterChange::Kind kind, int row) {
    if (form.changeHistory && form.ArchiveBook) {
        form.changeHistory->begin(*form.ArchiveBook, kind, row);
    }
}

void noteUndoSort(Form1& form, const archive::AppliedSort& sorted) {
    if (form.changeHistory && form.ArchiveBook) {
        form.changeHistory->noteSort(*form.ArchiveBook, sorted);
    }
}

void commitUndoStep(Form1& form, RegisterChange::Kind kind, int row) {
    if (form.changeHistory && form.ArchiveBook) {
        form.changeHistory->commit(*form.ArchiveBook, shownChange(form, kind, row));
    }
}

namespace {

QString reportOf(RegisterChange::Kind kind, bool redo, const QString& name) {
    switch (kind) {
        case RegisterChange::Kind::Addition:
            return redo
                       ? QStringLiteral("Aggiunta ripetuta: «%1» è di nuovo in archivio.").arg(name)
                       : QStringLiteral("Aggiunta annullata: «%1» non è più in archivio.")
                             .arg(name);
        case RegisterChange::Kind::Modification:
            return redo ? QStringLiteral("Modifica ripetuta: «%1» è di nuovo come modificato.")
                              .arg(name)
                        : QStringLiteral("Modifica annullata: «%1» è di nuovo com'era.").arg(name);
        case RegisterChange::Kind::Deletion:
            break;
    }
    return redo ? QStringLiteral("Eliminazione ripetuta: «%1» non è più in archivio.").arg(name)
                : QStringLiteral("Eliminazione annullata: «%1» è di nuovo in archivio.").arg(name);
}

void clearFields(Form1& form) {
    for (int field = 1; field <= customers::kFieldCount; ++field) {
        form.setFieldText(field, QString());
    }
}

void takeBackOrRedo(Form1& form, bool redo) {
    if (!form.changeHistory || !form.ArchiveBook) return;
    ChangeHistory& history = *form.changeHistory;
    const ChangeHistory::Entry* next = redo ? history.nextRedo() : history.nextUndo();
    if (next == nullptr) return;
    const RegisterChange::Kind kind = next->change.kind;
    const int rowBefore = next->change.row;
    const std::string id = next->id;
    const QString name = QString::fromStdString(next->name);

    const bool done = guardedChange(form, [&] {
        if (redo) {
            history.redo(*form.ArchiveBook);
        } else {
            history.undo(*form.ArchiveBook);
        }
    });
    if (!done) {
        updateUndoActions(form);
        return;
    }
    recordTakenBack(form);  // the journal's base becomes the register as it now is

    // The customer the step brought back is shown in the fields; one it took away is not.
    const bool customerThere =
        redo ? kind != RegisterChange::Kind::Deletion : kind != RegisterChange::Kind::Addition;
    int row = 0;
    if (customerThere) {
        row = rowBefore;
        if (redo) {
            guardedRead(form, [&] {
                row = customers::findCustomerRowById(requireSheet(form, "Clienti"), id);
            });
        }
    }
    form.FillCustomerList();
    if (row > 0) {
        form.loadCustomerRow(row);
    } else {
        clearFields(form);
    }
    updateUndoActions(form);
    form.messageBoxes().inform(&form, QStringLiteral(" Clivara 2008"), reportOf(kind, redo, name));
    guardedRead(form, [&] { form.ReloadCustomerList(); });
}

}  // namespace

}  // namespace clivara::operations

void Form1::mnuAnnulla_Click() {
    clivara::operations::takeBackOrRedo(*this, false);
}

void Form1::mnuRipeti_Click() {
    clivara::operations::takeBackOrRedo(*this, true);
}
